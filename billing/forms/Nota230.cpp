#include "billing/forms/Nota230.h"

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/NFeWaits.h"
#include "billing/nfe/AnswerFiles.h"
#include "billing/nfe/NFeError.h"
#include "billing/nfe/NFeLoader.h"
#include "billing/nfe/NFeServices.h"
#include "billing/nfe/NFeSettings.h"

using namespace billing::forms;

TfrmNota230* frmNota230 = nullptr;

TfrmNota230::TfrmNota230(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmNota230");
    SetCaption("Verificar Status Serviço NF-e - NOTA230");
    SetFormStyle(fsMDIChild);
    SetBorderStyle(bsSingle);
    SetBorderIcons(TBorderIcons{biSystemMenu, biMinimize});
    SetBounds(0, 0, 460, 300);
    mStatus = Place<TMemo>(this, this, "mStatus", 12, 12, 436, 200);
    mStatus->SetReadOnly(true);
    Button1 = Place<TButton>(this, this, "Button1", 252, 224, 95, 30);
    Button1->SetCaption("&Verificar");
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    Button2 = Place<TButton>(this, this, "Button2", 353, 224, 95, 30);
    Button2->SetCaption("Fec&har");
    Button2->SetCancel(true);
    Button2->OnClick = [this](TObject* s) { Button2Click(s); };
    CenterForm(this);
    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
    frmNota230 = this;
}

TfrmNota230::~TfrmNota230() {
    wait_.reset();
    if (frmNota230 == this) frmNota230 = nullptr;
}

void TfrmNota230::FormShow(TObject*) { billing::nfe::CopiarPastasNFe(*dmdb); }

void TfrmNota230::Button1Click(TObject*) {
    if (Waiting()) return;
    mStatus->Lines()->Clear();
    mStatus->Lines()->Add("Comunicando com o Servidor SEFAZ, aguarde...");
    mStatus->Lines()->Add("");
    try {
        wait_ = billing::nfe::Consultar_Status_Servico(
            *dmdb->ADOConnection, billing::nfe::Config_NFe(*dmdb),
            [this](const std::string& text, const std::string& failure) { Answered(text, failure); },
            TimerWaitServices());
        Button1->SetEnabled(false);
    } catch (const billing::nfe::ENFeError& e) {
        Answered({}, e.Message());
    }
}

void TfrmNota230::Answered(const std::string& Text, const std::string& Failure) {
    Button1->SetEnabled(true);
    if (!Failure.empty()) {
        mStatus->Lines()->Add(Failure);
        Box(Failure, "Erro");
        return;
    }
    for (const std::string& line : billing::nfe::SplitLines(Text)) mStatus->Lines()->Add(line);
}

void TfrmNota230::Button2Click(TObject*) { Close(); }
