#include "billing/forms/FormUtils.h"

#include <algorithm>
#include <vector>

#include <QMdiArea>

#include "billing/data/FormLook.h"
#include "billing/data/LoginDelay.h"
#include "billing/data/dmdbu.h"
#include "platform/db/SQLiteDatabase.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/DBGrids.h"

namespace billing::forms {

namespace {

ui::BoxRequest MessageRequest(const std::string& Text, const std::string& Caption, TMsgDlgType Type,
                              TMsgDlgButtons Buttons) {
    ui::BoxRequest r;
    r.kind = ui::BoxKind::Message;
    r.caption = Caption;
    r.text = Text;
    r.type = Type;
    r.buttons = Buttons;
    r.defaultButton = Buttons.Contains(mbYes) ? mbYes : mbOK;
    return r;
}

TMsgDlgType TypeOf(billing::data::MessageIcon Icon) {
    using billing::data::MessageIcon;
    switch (Icon) {
    case MessageIcon::Information: return mtInformation;
    case MessageIcon::Exclamation: return mtWarning;
    case MessageIcon::Error: return mtError;
    case MessageIcon::Question: return mtConfirmation;
    case MessageIcon::None: break;
    }
    return mtCustom;
}

}  // namespace

void Box(const std::string& Text, const std::string& Caption, TMsgDlgType Type) {
    ui::Dialogs().Show(MessageRequest(Text, Caption, Type, TMsgDlgButtons{mbOK}));
}

void Notice(const std::string& Text, const std::string& Caption) {
    Box(Text, Caption, TypeOf(billing::data::NoticeIcon(Caption)));
}

bool AskYesNo(const std::string& Text, const std::string& Caption) {
    return ui::Dialogs().Show(MessageRequest(Text, Caption, mtConfirmation, mbYesNo)).result == mrYes;
}

TModalResult AskYesNoCancel(const std::string& Text, const std::string& Caption) {
    TModalResult answer = ui::Dialogs().Show(MessageRequest(Text, Caption, mtConfirmation, mbYesNoCancel)).result;
    return answer == mrYes || answer == mrNo ? answer : mrCancel;
}

void Refuse(const std::string& Text, const std::string& Caption) {
    Box(Text, Caption, mtWarning);
    Abort();
}

void UiMessages::ShowMessage(const std::string& text) { ::ShowMessage(text); }

void UiMessages::MessageBox(const std::string& text, const std::string& caption, billing::data::MessageIcon icon) {
    Box(text, caption, TypeOf(icon));
}

bool UiMessages::Confirm(const std::string& text, const std::string& caption) { return AskYesNo(text, caption); }

void InstallUiMessages() {
    static UiMessages messages;
    billing::data::SetMessages(&messages);
    InstallControlAccess();
}

void InstallControlAccess() {
    billing::data::ControlAccess access;
    access.GetColor = [](TComponent* c, std::int64_t& Color) {
        auto* control = dynamic_cast<TControl*>(c);
        if (control == nullptr) return false;
        Color = static_cast<std::uint32_t>(control->Color());
        return true;
    };
    access.SetColor = [](TComponent* c, std::int64_t Color) {
        if (auto* control = dynamic_cast<TControl*>(c)) control->SetColor(static_cast<TColor>(Color));
    };
    access.SetEnabled = [](TComponent* c, bool Enabled) {
        if (auto* control = dynamic_cast<TControl*>(c)) control->SetEnabled(Enabled);
    };
    access.GetReadOnly = [](TComponent* c) {
        if (auto* e = dynamic_cast<TCustomEdit*>(c)) return e->ReadOnly();
        if (auto* m = dynamic_cast<TCustomMemo*>(c)) return m->ReadOnly();
        if (auto* g = dynamic_cast<TCustomDBGrid*>(c)) return g->ReadOnly();
        return false;
    };
    access.SetReadOnly = [](TComponent* c, bool ReadOnly) {
        if (auto* e = dynamic_cast<TCustomEdit*>(c)) e->SetReadOnly(ReadOnly);
        else if (auto* m = dynamic_cast<TCustomMemo*>(c)) m->SetReadOnly(ReadOnly);
        else if (auto* g = dynamic_cast<TCustomDBGrid*>(c)) g->SetReadOnly(ReadOnly);
    };
    billing::data::SetControlAccess(std::move(access));
}

void ChangeColor(TCustomForm* Form, bool Editing) {
    if (Form == nullptr) return;
    InstallControlAccess();
    billing::data::ChangeColor(Form, Editing);
}

void CenterForm(TCustomForm* Form) {
    if (Form == nullptr || Screen == nullptr) return;
    int left = (Screen->Width() - Form->Width()) / 2;
    int top = (Screen->Height() - 140 - Form->Height()) / 2;
    // A child of the main window is moved up or left as far as it takes to
    // show it whole inside the workspace (on a small screen the rule above
    // puts its bottom under the status bar).
    TCustomForm* main = Application != nullptr ? Application->MainForm() : nullptr;
    if (Form->FormStyle() == fsMDIChild && main != nullptr && main != Form && main->MdiArea() != nullptr) {
        const QWidget* area = main->MdiArea()->viewport();
        left = std::min(left, area->width() - Form->Width());
        top = std::min(top, area->height() - Form->Height());
    }
    Form->SetLeft(std::max(0, left));
    Form->SetTop(std::max(0, top));
}

void KeepCentred(TCustomForm* Form, TControl* Control) {
    auto centre = [Form, Control] {
        Control->SetBounds(std::max(0, (Form->ClientWidth() - Control->Width()) / 2),
                           std::max(0, (Form->ClientHeight() - Control->Height()) / 2), Control->Width(),
                           Control->Height());
    };
    auto previous = Form->OnResize;
    Form->OnResize = [previous, centre](TObject* Sender) {
        if (previous) previous(Sender);
        centre();
    };
    centre();
}

void Stretch(TControl* Control) { Control->SetAnchors(TAnchors{akLeft, akTop, akRight, akBottom}); }

void ReadingOrder(TWinControl* Parent) {
    std::vector<TWinControl*> children;
    for (int i = 0; i < Parent->ControlCount(); ++i)
        if (auto* w = dynamic_cast<TWinControl*>(Parent->Controls(i))) children.push_back(w);
    std::stable_sort(children.begin(), children.end(), [](const TWinControl* a, const TWinControl* b) {
        return a->Top() != b->Top() ? a->Top() < b->Top() : a->Left() < b->Left();
    });
    for (std::size_t i = 0; i < children.size(); ++i) children[i]->SetTabOrder(static_cast<int>(i));
}

void NavigationKeyDown(TCustomForm* Form, Word& Key) {
    if (Form == nullptr) return;
    // On a button Enter presses it, as the user expects.
    if (Key == VK_RETURN && dynamic_cast<TButton*>(Form->ActiveControl()) != nullptr) return;
    // The arrows move between the rows of a grid, never out of it.
    if ((Key == VK_DOWN || Key == VK_UP) && dynamic_cast<TCustomDBGrid*>(Form->ActiveControl()) != nullptr) return;
    // In a list the arrows choose the next or previous item; Enter and Tab
    // leave it.
    if ((Key == VK_DOWN || Key == VK_UP) && dynamic_cast<TCustomComboBox*>(Form->ActiveControl()) != nullptr) return;
    if (Key == VK_RETURN || Key == VK_DOWN) {
        Form->SelectNext(Form->ActiveControl(), true, true);
        Key = 0;
    } else if (Key == VK_UP) {
        Form->SelectNext(Form->ActiveControl(), false, true);
        Key = 0;
    }
}

void SwallowEnter(char32_t& Key) {
    if (Key == U'\r' || Key == U'\n') Key = 0;
}

void InstallNavigation(TCustomForm* Form) {
    Form->SetKeyPreview(true);
    Form->OnKeyDown = [Form](TObject*, Word& Key, TShiftState) { NavigationKeyDown(Form, Key); };
    Form->OnKeyPress = [](TObject*, char32_t& Key) { SwallowEnter(Key); };
}

bool FindUser(const std::string& Id, UserRecord& Out) {
    sqlite::Statement st(dmdb->ADOConnection->Database(), "select * from usuario where id_usuario = :pid_usuario");
    st.BindText(1, Id);
    if (!st.Step()) return false;
    Out = UserRecord{};
    for (int c = 0; c < st.ColumnCount(); ++c) {
        std::string name = AnsiLowerCase(st.ColumnName(c));
        std::string value = st.ColumnIsNull(c) ? std::string() : st.ColumnText(c);
        if (name == "senha") Out.senha = value;
        else if (name == "inativo") Out.inativo = value;
        else if (name == "id_usuario") Out.id = value;
    }
    return true;
}

PasswordTry::PasswordTry(const std::string& Typed, const UserRecord* Found)
    : key_(billing::data::LoginKey(Typed, Found != nullptr ? Found->id : std::string())),
      user_(Found != nullptr && !Found->id.empty() ? Found->id : Typed) {}

bool PasswordTry::Waiting() const {
    const int wait = billing::data::LoginDelays().Remaining(dmdb->ADOConnection->Database(), key_);
    if (wait <= 0) return false;
    Box(billing::data::LoginDelayMessage(wait), "Atenção");
    return true;
}

void PasswordTry::Failed(const std::string& Program, const std::string& What) const {
    try {
        billing::data::LoginDelays().Failed(dmdb->ADOConnection->Database(), key_);
    } catch (const std::exception&) {
        // The try has failed whatever the file says.
    }
    try {
        dmdb->Usuario_Log(Program, What, user_);
    } catch (const std::exception&) {
    }
}

void PasswordTry::Succeeded() const {
    billing::data::LoginDelays().Succeeded(dmdb->ADOConnection->Database(), key_);
}

TLabel* PlaceLabel(TComponent* Owner, TWinControl* Parent, const std::string& Caption, int Left, int Top,
                   TWinControl* Focus) {
    auto* l = new TLabel(Owner);
    l->SetParent(Parent);
    l->SetCaption(Caption);
    l->SetLeft(Left);
    l->SetTop(Top);
    if (Focus != nullptr) l->SetFocusControl(Focus);
    return l;
}

}  // namespace billing::forms
