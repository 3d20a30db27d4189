#include "preview/rpForm.h"

#include "report/rpLanguage.h"

std::string rpCaption(int N, const char* Default) {
    std::string text = rpLanguageText(N);
    return text.empty() ? std::string(Default) : text;
}

TrpForm::TrpForm(TComponent* AOwner) : TForm(AOwner) {
    SetBorderStyle(bsDialog);
    SetBorderIcons({biSystemMenu});
    SetPosition(poScreenCenter);
}

void TrpForm::SetReport(TrpProducer* Value) {
    report_ = Value;
    ReportChanged();
}

void TrpForm::SetLanguageIndex(int Value) {
    languageIndex_ = Value;
    LanguageChanged();
}
