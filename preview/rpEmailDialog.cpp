#include "preview/rpEmailDialog.h"

#include "platform/rtl/Strings.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"
#include "preview/rpPreview.h"
#include "report/rpDevice.h"
#include "report/rpDialogRegistry.h"
#include "report/rpLanguage.h"
#include "report/rpProducer.h"
#include "toolbar/rpToolbar.h"

namespace {

constexpr int kEditLeft = 85, kEditWidth = 840, kEditHeight = 19;
constexpr int kLabelLeft = 25, kLabelWidth = 40, kLabelHeight = 13;
constexpr int kRowGap = 6;
constexpr int kAdvancedHeight = 25;
constexpr const char* kErrorCaption = "Email Error";

std::string Label(int TextNo) { return rpLanguageText(TextNo) + ":"; }

int Height(const std::vector<TControl*>& Row) {
    int h = 0;
    for (TControl* c : Row) h = std::max(h, c->Height());
    return h;
}

void Message(const std::string& Text, const std::string& Caption, TMsgDlgType Type) {
    ui::BoxRequest request;
    request.kind = ui::BoxKind::Message;
    request.caption = Caption;
    request.text = Text;
    request.type = Type;
    request.buttons = {mbOK};
    ui::Dialogs().Show(request);
}

}  // namespace

// --- E-mail dialog ---

TClass TrpEmailDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpEmailDialog>("TrpEmailDialog", TrpCustomEmailDialog::StaticClassType()).Build();
    return &info;
}

TrpEmailDialog::TrpEmailDialog(TComponent* AOwner) : TrpCustomEmailDialog(AOwner) { BuildWindow(); }

TrpEmailDialog::~TrpEmailDialog() = default;

TEdit* TrpEmailDialog::AddRow(int Top, int TextNo, TLabel*& LabelControl) {
    LabelControl = new TLabel(form_.get());
    LabelControl->SetParent(form_.get());
    LabelControl->SetAutoSize(false);
    LabelControl->SetBounds(kLabelLeft, Top + 3, kLabelWidth, kLabelHeight);
    LabelControl->SetCaption(Label(TextNo));
    auto* edit = new TEdit(form_.get());
    edit->SetParent(form_.get());
    edit->SetBounds(kEditLeft, Top, kEditWidth, kEditHeight);
    edit->SetAnchors(TAnchors{akLeft, akTop, akRight});
    return edit;
}

void TrpEmailDialog::BuildWindow() {
    form_ = std::make_unique<TForm>(nullptr);
    form_->SetCaption("Tessary Email");
    form_->SetBounds(0, 0, 950, 650);
    form_->SetPosition(poScreenCenter);
    BuildMenus();

    TLabel* label = nullptr;
    auto row = [&](int Top, int TextNo, TEdit*& Edit) {
        Edit = AddRow(Top, TextNo, label);
        layout_.push_back({label, Edit});
    };
    row(55, 1081, to_);
    row(80, 1083, cc_);
    row(105, 1087, subject_);
    // The optional rows wait, hidden, at the top of what follows them.
    constexpr int kHiddenTop = 130;
    row(kHiddenTop, 1082, from_);
    row(kHiddenTop, 1084, bcc_);
    row(kHiddenTop, 1085, attach_);
    row(kHiddenTop, 1086, replyTo_);
    row(kHiddenTop, 1077, fileName_);
    // The attach and report rows name their buttons where the label stands.
    auto button = [&](std::vector<TControl*>& Row, int TextNo, TButton*& Button, std::function<void()> Action) {
        Row[0]->SetVisible(false);
        Row.erase(Row.begin());
        Button = new TButton(form_.get());
        Button->SetParent(form_.get());
        Button->SetBounds(21, kHiddenTop, 50, kEditHeight);
        Button->SetCaption(rpLanguageText(TextNo) + "...");
        Button->OnClick = [Action = std::move(Action)](TObject*) { Action(); };
        Row.push_back(Button);
    };
    button(layout_[3 + erAttach], 1085, attachButton_, [this] { AttachClick(); });
    button(layout_[3 + erFileName], 1076, reportButton_, [this] { ReportClick(); });

    advanced_ = new TPanel(form_.get());
    advanced_->SetParent(form_.get());
    advanced_->SetBounds(kLabelLeft, kHiddenTop, 900, kAdvancedHeight);
    advanced_->SetBevelOuter(bvNone);
    auto* typeLabel = new TLabel(form_.get());
    typeLabel->SetParent(advanced_);
    typeLabel->SetBounds(0, 5, 80, kLabelHeight);
    typeLabel->SetCaption(Label(1078));
    fileType_ = new TComboBox(form_.get());
    fileType_->SetParent(advanced_);
    fileType_->SetStyle(csDropDownList);
    fileType_->SetBounds(85, 1, 200, 22);
    std::unique_ptr<TStringList> devices = std::make_unique<TStringList>();
    GetDeviceClasses(devices.get());
    for (int i = 0; i < devices->Count(); ++i) {
        const std::string& name = devices->Strings(i);
        if (!SameText(name, "Screen") && !SameText(name, "Printer")) fileType_->Items()->Add(name);
    }
    deleteFile_ = new TCheckBox(form_.get());
    deleteFile_->SetParent(advanced_);
    deleteFile_->SetBounds(300, 3, 200, 19);
    deleteFile_->SetCaption(rpLanguageText(1089));
    layout_.push_back({advanced_});
    for (std::size_t i = 3; i < layout_.size(); ++i)
        for (TControl* c : layout_[i]) c->SetVisible(false);

    statusBar_ = new TStatusBar(form_.get());
    statusBar_->SetName("sbEmailStatus");
    statusBar_->SetParent(form_.get());
    statusBar_->SetAlign(alBottom);
    statusBar_->SetSimplePanel(true);

    body_ = new TMemo(form_.get());
    body_->SetParent(form_.get());
    body_->SetBounds(kLabelLeft, 145, 900, 460);
    body_->SetAnchors(TAnchors{akLeft, akTop, akRight, akBottom});
    body_->SetScrollBars(ssVertical);
    layout_.push_back({body_});
}

TrpEmailMenu::TrpEmailMenu(TComponent* AOwner) : TrpToolbar(AOwner) { SetMenuBar(true); }
TrpEmailFileMenu::TrpEmailFileMenu(TComponent* AOwner) : TrpSubMenuItem(AOwner) { SetCaption(rpLanguageText(1074)); }
TrpEmailOptionsMenu::TrpEmailOptionsMenu(TComponent* AOwner) : TrpSubMenuItem(AOwner) {
    SetCaption(rpLanguageText(1080));
}
TrpEmailReportMenu::TrpEmailReportMenu(TComponent* AOwner) : TrpSubMenuItem(AOwner) {
    SetCaption(rpLanguageText(1076));
}
TrpEmailConnectionMenu::TrpEmailConnectionMenu(TComponent* AOwner) : TrpSubMenuItem(AOwner) {
    SetCaption(rpLanguageText(1090));
    SetVisible(false);
}
TrpEmailToolbar::TrpEmailToolbar(TComponent* AOwner) : TrpToolbar(AOwner) {}

void TrpEmailDialog::BuildMenus() {
    dock_ = new TrpTBTDock(form_.get());
    dock_->SetParent(form_.get());
    dock_->SetAlign(alTop);
    dock_->SetHeight(200);
    TrpToolImageList* images = GetToolImageList();

    menu_ = new TrpEmailMenu(form_.get());
    menu_->SetCurrentDock(dock_);
    auto item = [](TrpSubMenuItem* Menu, int TextNo, std::function<void()> Action) {
        TrpTBTCustomItem* i = Menu->AddItem();
        i->SetCaption(rpLanguageText(TextNo));
        i->OnClick = [Action = std::move(Action)](TObject*) { Action(); };
        return i;
    };
    TrpSubMenuItem* file = new TrpEmailFileMenu(nullptr);
    menu_->Items()->Add(file);
    item(file, 1075, [this] { NewClick(); })->SetImageIndex(images->GetImageIndexNoDefault("RPNEW"));
    item(file, 6, [this] { form_->Close(); });

    TrpSubMenuItem* options = new TrpEmailOptionsMenu(nullptr);
    menu_->Items()->Add(options);
    rowItems_[erAttach] = item(options, 1085, [this] { ToggleRow(erAttach); });
    rowItems_[erBCC] = item(options, 1084, [this] { ToggleRow(erBCC); });
    rowItems_[erFrom] = item(options, 1082, [this] { ToggleRow(erFrom); });
    rowItems_[erReplyTo] = item(options, 1086, [this] { ToggleRow(erReplyTo); });
    previewItem_ = item(options, 1088, [this] { PreviewClick(); });
    TrpSubMenuItem* report = new TrpEmailReportMenu(nullptr);
    options->Add(report);
    rowItems_[erFileName] = item(report, 1077, [this] { ToggleRow(erFileName); });
    rowItems_[erAdvanced] = item(report, 1079, [this] { ToggleRow(erAdvanced); });

    connectionMenu_ = new TrpEmailConnectionMenu(nullptr);
    menu_->Items()->Add(connectionMenu_);
    item(connectionMenu_, 1091, [this] { LoginClick(); });

    toolbar_ = new TrpEmailToolbar(form_.get());
    toolbar_->SetCurrentDock(dock_);
    send_ = toolbar_->AddButton();
    send_->SetCaption(rpLanguageText(1092));
    send_->SetImageIndex(images->GetImageIndexNoDefault("RPEMAIL"));
    send_->SetDisplayMode(nbdmImageAndText);
    send_->OnClick = [this](TObject*) { SendClick(); };
    dock_->ArrangeToolbars();
}

std::vector<TControl*> TrpEmailDialog::Controls() const {
    std::vector<TControl*> all;
    for (const auto& row : layout_) all.insert(all.end(), row.begin(), row.end());
    return all;
}

void TrpEmailDialog::ToggleRow(TRow Row) {
    rows_[Row] = !rows_[Row];
    const bool shown = rows_[Row];
    if (rowItems_[Row] != nullptr) rowItems_[Row]->SetChecked(shown);
    const std::size_t index = 3 + static_cast<std::size_t>(Row);
    const int delta = (Height(layout_[index]) + kRowGap) * (shown ? 1 : -1);
    for (TControl* c : layout_[index]) c->SetVisible(shown);
    // The rows after it stand below it (hidden ones wait at the top of
    // what follows them): all move; the body keeps its bottom edge.
    for (std::size_t i = index + 1; i < layout_.size(); ++i)
        for (TControl* c : layout_[i]) {
            if (c == body_)
                c->SetBounds(c->Left(), c->Top() + delta, c->Width(), c->Height() - delta);
            else
                c->SetTop(c->Top() + delta);
        }
}

void TrpEmailDialog::SetEmailSettings(TrpEmailSettings* Value) {
    TrpCustomEmailDialog::SetEmailSettings(Value);
    TrpEmailSettings* s = EmailSettings();
    to_->SetText(s->Recipients()->CommaText());
    cc_->SetText(s->CarbonCopy()->CommaText());
    bcc_->SetText(s->BlindCarbonCopy()->CommaText());
    attach_->SetText(s->Attachments()->CommaText());
    subject_->SetText(s->Subject());
    from_->SetText(s->FromAddress());
    replyTo_->SetText(s->ReplyTo());
    fileName_->SetText(s->FileName());
    body_->Lines()->Assign(s->Body());
    deleteFile_->SetChecked(s->DeleteFile());
    fileType_->SetItemIndex(fileType_->Items()->IndexOf(s->ReportFormat()));
    previewItem_->SetChecked(s->PreviewInEmailClient());
    // What goes with the message, where the user sees it without opening
    // the hidden rows.
    const int attached = s->Attachments()->Count() + (s->FileName().empty() ? 0 : 1);
    statusBar_->SetSimpleText(attached == 0 ? std::string("Nenhum anexo")
                                            : (attached == 1 ? std::string("1 anexo")
                                                             : std::to_string(attached) + " anexos") +
                                                  (s->FileName().empty() ? "" : ": " + s->FileName()));
}

void TrpEmailDialog::SetConnectionVisible(bool Value) { connectionMenu_->SetVisible(Value); }

bool TrpEmailDialog::ConnectionVisible() const { return connectionMenu_->Visible(); }

bool TrpEmailDialog::ShowModal() { return form_->ShowModal() == mrOk; }

void TrpEmailDialog::ReadFields() {
    TrpEmailSettings* s = EmailSettings();
    s->Recipients()->SetCommaText(to_->Text());
    s->CarbonCopy()->SetCommaText(cc_->Text());
    s->BlindCarbonCopy()->SetCommaText(bcc_->Text());
    s->Attachments()->SetCommaText(attach_->Text());
    s->SetSubject(subject_->Text());
    s->SetFromAddress(from_->Text());
    s->SetReplyTo(replyTo_->Text());
    s->SetFileName(fileName_->Text());
    s->Body()->Assign(body_->Lines());
    if (fileType_->ItemIndex() >= 0) s->SetReportFormat(fileType_->Items()->Strings(fileType_->ItemIndex()));
    s->SetDeleteFile(deleteFile_->Checked());
}

bool TrpEmailDialog::SendClick() {
    ReadFields();
    TrpEmailSettings* s = EmailSettings();
    if (s->Recipients()->Count() == 0) {
        Message("At least one recipient required.", kErrorCaption, mtError);
        return false;
    }
    if (s->FileName().empty()) {
        Message("Please choose a file name.", kErrorCaption, mtError);
        return false;
    }
    form_->SetModalResult(mrOk);
    return true;
}

void TrpEmailDialog::NewClick() {
    for (TEdit* e : {to_, cc_, subject_, from_, bcc_, attach_, replyTo_, fileName_}) e->SetText("");
    body_->Lines()->Clear();
    EmailSettings()->SetHostAddress("");
    EmailSettings()->SetUserName("");
    EmailSettings()->SetPassword("");
}

void TrpEmailDialog::AttachClick() {
    TOpenDialog dialog(nullptr);
    dialog.SetTitle("Insert Attachment");
    dialog.SetOptions(TOpenOptions{ofHideReadOnly, ofAllowMultiSelect, ofFileMustExist});
    if (!dialog.Execute()) return;
    TStringList chosen;
    for (const std::string& file : dialog.Files()) chosen.Add(file);
    const std::string current = attach_->Text();
    attach_->SetText(current.empty() ? chosen.CommaText() : current + "," + chosen.CommaText());
}

void TrpEmailDialog::ReportClick() {
    TSaveDialog dialog(nullptr);
    dialog.SetTitle("File Name");
    dialog.SetOptions(TOpenOptions{ofHideReadOnly, ofOverwritePrompt});
    if (dialog.Execute()) fileName_->SetText(dialog.FileName());
}

void TrpEmailDialog::LoginClick() {
    TrpEmailLoginDialog login(nullptr);
    TrpEmailSettings* s = EmailSettings();
    login.SetHostAddress(s->HostAddress());
    login.SetUserName(s->UserName());
    login.SetPassword(s->Password());
    if (!login.ShowModal()) return;
    s->SetHostAddress(login.HostAddress());
    s->SetUserName(login.UserName());
    s->SetPassword(login.Password());
}

void TrpEmailDialog::PreviewClick() {
    TrpEmailSettings* s = EmailSettings();
    s->SetPreviewInEmailClient(!s->PreviewInEmailClient());
    previewItem_->SetChecked(s->PreviewInEmailClient());
}

// --- Login dialog ---

TClass TrpEmailLoginDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpEmailLoginDialog>("TrpEmailLoginDialog", TrpCustomReportDialog::StaticClassType()).Build();
    return &info;
}

TrpEmailLoginDialog::TrpEmailLoginDialog(TComponent* AOwner)
    : TrpCustomReportDialog(AOwner), form_(std::make_unique<TForm>(nullptr)) {
    form_->SetCaption("Login");
    form_->SetBounds(0, 0, 330, 160);
    form_->SetPosition(poScreenCenter);
    auto field = [this](int Top, const char* Caption) {
        auto* label = new TLabel(form_.get());
        label->SetParent(form_.get());
        label->SetBounds(10, Top + 3, 90, 13);
        label->SetCaption(Caption);
        auto* edit = new TEdit(form_.get());
        edit->SetParent(form_.get());
        edit->SetBounds(105, Top, 210, 21);
        return edit;
    };
    edtHostAddr = field(10, "Host Address:");
    edtUserName = field(40, "User Name:");
    edtPass = field(70, "Password:");
    edtPass->SetPasswordChar('*');
    auto button = [this](int Left, const char* Caption, std::function<void()> Action) {
        auto* b = new TButton(form_.get());
        b->SetParent(form_.get());
        b->SetBounds(Left, 105, 75, 25);
        b->SetCaption(Caption);
        b->OnClick = [Action = std::move(Action)](TObject*) { Action(); };
        return b;
    };
    button(80, "OK", [this] {
        btnOkClick();
        form_->SetModalResult(mrOk);
    });
    button(160, "Cancel", [this] { form_->SetModalResult(mrCancel); });
    button(240, "Test", [this] { btnTestClick(); });
}

TrpEmailLoginDialog::~TrpEmailLoginDialog() = default;

bool TrpEmailLoginDialog::ShowModal() { return form_->ShowModal() == mrOk; }

void TrpEmailLoginDialog::SetHostAddress(const std::string& Value) {
    hostAddress_ = Value;
    edtHostAddr->SetText(Value);
}

void TrpEmailLoginDialog::SetUserName(const std::string& Value) {
    userName_ = Value;
    edtUserName->SetText(Value);
}

void TrpEmailLoginDialog::SetPassword(const std::string& Value) {
    password_ = Value;
    edtPass->SetText(Value);
}

void TrpEmailLoginDialog::btnOkClick() {
    hostAddress_ = edtHostAddr->Text();
    userName_ = edtUserName->Text();
    password_ = edtPass->Text();
}

bool TrpEmailLoginDialog::btnTestClick() {
    std::unique_ptr<TrpSMTPCustom> smtp = TrpSMTPPlugIn::CreateInstance();
    if (!smtp) return false;
    smtp->HostAddress = edtHostAddr->Text();
    smtp->UserName = edtUserName->Text();
    smtp->Password = edtPass->Text();
    const bool ok = smtp->LogOn();
    if (ok)
        Message("Test Successful", "Login", mtInformation);
    else if (!smtp->LastError().empty())
        Message(smtp->LastError(), kErrorCaption, mtError);
    smtp->LogOff();
    return ok;
}

namespace preview {

void RegisterEmailDialogs() {
    RegisterFormClass(TrpCustomEmailDialog::StaticClassType(), TrpEmailDialog::StaticClassType());
    rpSetPreviewEmailAction([](TrpProducer* Report) {
        TrpEmail email;
        email.AddReport(Report);
        try {
            email.Send();
        } catch (const std::exception& e) {
            Message(e.what(), kErrorCaption, mtError);
        }
    });
}

void UnregisterEmailDialogs() {
    rpSetPreviewEmailAction(nullptr);
    UnregisterFormClass(TrpCustomEmailDialog::StaticClassType());
}

}  // namespace preview
