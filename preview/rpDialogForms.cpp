#include "preview/rpDialogForms.h"

#include "platform/rtl/TypInfo.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/StdCtrls.h"
#include "report/rpLanguage.h"
#include "report/rpTemplate.h"

namespace {

enum : int {
    txOK = 1052,
    txCancel = 1053,
    txNoDataCaption = 1063,
    txNoData = 1034,
    txTemplateError = 1064,
    txYes = 1065,
    txYesToAll = 1066,
    txNo = 1067,
    txSearch = 1068,
};

template <typename T>
T* Place(TWinControl* Parent, int Left, int Top, int Width, int Height) {
    auto* c = new T(Parent);
    c->SetParent(Parent);
    c->SetBounds(Left, Top, Width, Height);
    return c;
}

TLabel* MessageLabel(TWinControl* Parent, int Left, int Top, int Width, int Height) {
    TLabel* label = Place<TLabel>(Parent, Left, Top, Width, Height);
    label->SetAutoSize(false);
    label->SetWordWrap(true);
    return label;
}

std::string StrProp(TComponent* Field, const char* Name) {
    const TPropInfo* prop = Field->ClassType()->FindProp(Name);
    return prop != nullptr && prop->GetStr ? prop->GetStr(Field) : std::string();
}

}  // namespace

// ---------------------------------------------------------------------------

TClass TrpNoDataDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpNoDataDialog>("TrpNoDataDialog", TrpCustomNoDataDialog::StaticClassType()).Build();
    return &info;
}

TrpNoDataDialog::TrpNoDataDialog(TComponent* AOwner)
    : TrpCustomNoDataDialog(AOwner), form_(std::make_unique<TrpForm>(nullptr)) {
    form_->SetBounds(0, 0, 320, 110);
    message_ = MessageLabel(form_.get(), 12, 14, 296, 40);
    message_->SetAlignment(taCenter);
    ok_ = Place<TButton>(form_.get(), 120, 66, 80, 26);
    ok_->SetDefault(true);
    ok_->SetCancel(true);
    ok_->SetModalResult(mrOk);
    Captions();
}

TrpNoDataDialog::~TrpNoDataDialog() = default;

void TrpNoDataDialog::SetReport(TrpProducer* Value) {
    TrpCustomNoDataDialog::SetReport(Value);
    form_->SetReport(Value);
}

void TrpNoDataDialog::SetLanguageIndex(int Value) {
    TrpCustomNoDataDialog::SetLanguageIndex(Value);
    form_->SetLanguageIndex(Value);
    Captions();
}

void TrpNoDataDialog::Captions() {
    form_->SetCaption(rpCaption(txNoDataCaption, "Sem dados"));
    message_->SetCaption(rpCaption(txNoData, "Nenhum dado encontrado."));
    ok_->SetCaption(rpCaption(txOK, "OK"));
}

bool TrpNoDataDialog::ShowModal() { return form_->ShowModal() == mrOk; }

// ---------------------------------------------------------------------------

TClass TrpTemplateDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpTemplateDialog>("TrpTemplateDialog", TrpCustomTemplateDialog::StaticClassType()).Build();
    return &info;
}

std::string TrpTemplateDialog::Title() const { return Mode() == tdOpen ? "Abrir modelo" : "Salvar modelo"; }

std::string TrpTemplateDialog::Filter() {
    return "Modelos de relatório (*.rtm)|*.rtm|Todos os arquivos (*.*)|*.*";
}

bool TrpTemplateDialog::ShowModal() {
    TrpTemplate* t = Template();
    if (t == nullptr) return false;
    std::unique_ptr<TOpenDialog> files =
        Mode() == tdOpen ? std::make_unique<TOpenDialog>(nullptr) : std::make_unique<TSaveDialog>(nullptr);
    files->SetTitle(Title());
    files->SetFilter(Filter());
    files->SetDefaultExt(t->FileExtension().empty() ? "rtm" : t->FileExtension());
    files->SetFileName(FileName().empty() ? t->FileName() : FileName());
    files->SetOptions(Mode() == tdOpen ? TOpenOptions{ofHideReadOnly, ofFileMustExist}
                                       : TOpenOptions{ofHideReadOnly, ofOverwritePrompt});
    if (!files->Execute()) return false;
    SetFileName(files->FileName());
    // The template keeps its own file name and place when the choice fails.
    const std::string oldName = t->FileName();
    const TrpSaveToType oldTo = t->SaveTo();
    try {
        t->SetSaveTo(stFile);
        t->SetFileName(FileName());
        if (Mode() == tdOpen)
            t->LoadFromFile();
        else
            t->SaveToFile();
        return true;
    } catch (const std::exception& e) {
        t->SetFileName(oldName);
        t->SetSaveTo(oldTo);
        MessageDlg((Mode() == tdOpen ? "Não foi possível abrir o modelo " : "Não foi possível salvar o modelo ") +
                       FileName() + ".\n" + e.what(),
                   mtError, TMsgDlgButtons{mbOK});
        return false;
    }
}

// ---------------------------------------------------------------------------

TClass TrpTemplateErrorDialog::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpTemplateErrorDialog>(
                                       "TrpTemplateErrorDialog", TrpCustomTemplateErrorDialog::StaticClassType())
                                       .Build();
    return &info;
}

TrpTemplateErrorDialog::TrpTemplateErrorDialog(TComponent* AOwner)
    : TrpCustomTemplateErrorDialog(AOwner), form_(std::make_unique<TrpForm>(nullptr)) {
    form_->SetBounds(0, 0, 420, 170);
    message_ = MessageLabel(form_.get(), 12, 12, 396, 100);
    yes_ = Place<TButton>(form_.get(), 80, 128, 80, 26);
    yes_->SetDefault(true);
    yes_->SetModalResult(mrYes);
    yesToAll_ = Place<TButton>(form_.get(), 166, 128, 110, 26);
    yesToAll_->SetModalResult(mrYesToAll);
    no_ = Place<TButton>(form_.get(), 282, 128, 80, 26);
    no_->SetCancel(true);
    no_->SetModalResult(mrNo);
    Captions();
}

TrpTemplateErrorDialog::~TrpTemplateErrorDialog() = default;

void TrpTemplateErrorDialog::SetLanguageIndex(int Value) {
    TrpCustomTemplateErrorDialog::SetLanguageIndex(Value);
    form_->SetLanguageIndex(Value);
    Captions();
}

void TrpTemplateErrorDialog::SetErrorMessage(const std::string& Value) {
    TrpCustomTemplateErrorDialog::SetErrorMessage(Value);
    message_->SetCaption(Value);
}

void TrpTemplateErrorDialog::Captions() {
    form_->SetCaption(rpCaption(txTemplateError, "Erro ao ler o modelo"));
    yes_->SetCaption(rpCaption(txYes, "&Sim"));
    yesToAll_->SetCaption(rpCaption(txYesToAll, "Sim para &todos"));
    no_->SetCaption(rpCaption(txNo, "&Não"));
}

bool TrpTemplateErrorDialog::ShowModal() {
    switch (form_->ShowModal()) {
        case mrYes: SetAnswer(taIgnore); return true;
        case mrYesToAll: SetAnswer(taIgnoreAll); return true;
        default: SetAnswer(taCancel); return false;
    }
}

// ---------------------------------------------------------------------------

TClass TrpAutoSearchDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpAutoSearchDialog>("TrpAutoSearchDialog", TrpCustomAutoSearchDialog::StaticClassType())
            .Build();
    return &info;
}

TrpAutoSearchDialog::TrpAutoSearchDialog(TComponent* AOwner)
    : TrpCustomAutoSearchDialog(AOwner), form_(std::make_unique<TrpForm>(nullptr)) {
    form_->SetBounds(0, 0, 420, 100);
    ok_ = Place<TButton>(form_.get(), 238, 60, 80, 26);
    ok_->SetDefault(true);
    ok_->OnClick = [this](TObject*) {
        StoreValues();
        form_->SetModalResult(mrOk);
    };
    cancel_ = Place<TButton>(form_.get(), 326, 60, 80, 26);
    cancel_->SetCancel(true);
    cancel_->SetModalResult(mrCancel);
    form_->OnClose = [this](TObject*, TCloseAction&) {
        if (OnClose) OnClose();
    };
    Captions();
}

TrpAutoSearchDialog::~TrpAutoSearchDialog() { form_->OnClose = nullptr; }

void TrpAutoSearchDialog::SetLanguageIndex(int Value) {
    TrpCustomAutoSearchDialog::SetLanguageIndex(Value);
    form_->SetLanguageIndex(Value);
    Captions();
}

void TrpAutoSearchDialog::Captions() {
    form_->SetCaption(rpCaption(txSearch, "Pesquisa"));
    ok_->SetCaption(rpCaption(txOK, "OK"));
    cancel_->SetCaption(rpCaption(txCancel, "Cancelar"));
}

void TrpAutoSearchDialog::Init() {
    for (TLabel* l : labels_) delete l;
    for (TEdit* e : edits_) delete e;
    labels_.clear();
    edits_.clear();
    int top = 12;
    for (TComponent* field : AutoSearchFields()) {
        std::string caption = StrProp(field, "FieldAlias");
        if (caption.empty()) caption = StrProp(field, "FieldName");
        if (caption.empty()) caption = field->Name();
        TLabel* label = Place<TLabel>(form_.get(), 12, top + 4, 160, 20);
        label->SetCaption(caption);
        TEdit* edit = Place<TEdit>(form_.get(), 180, top, 226, 24);
        edit->SetText(StrProp(field, "SearchExpression"));
        labels_.push_back(label);
        edits_.push_back(edit);
        top += 32;
    }
    form_->SetBounds(form_->Left(), form_->Top(), 420, top + 48);
    ok_->SetTop(top + 8);
    cancel_->SetTop(top + 8);
}

void TrpAutoSearchDialog::StoreValues() {
    const auto& fields = AutoSearchFields();
    for (std::size_t i = 0; i < fields.size() && i < edits_.size(); ++i) {
        const TPropInfo* prop = fields[i]->ClassType()->FindProp("SearchExpression");
        if (prop != nullptr && prop->SetStr) prop->SetStr(fields[i], edits_[i]->Text());
    }
}

bool TrpAutoSearchDialog::ShowModal() { return form_->ShowModal() == mrOk; }
