#pragma once
// What every billing form shares: message boxes with the billing captions and
// icons, the browse and edit looks, centring, the Enter and arrow keys moving
// between fields, and small builders that keep the forms' layout code short.
#include <string>

#include <QWidget>

#include "billing/data/Messages.h"
#include "platform/db/DB.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

namespace billing::forms {

// A box with OK, the given caption and icon.
void Box(const std::string& Text, const std::string& Caption, TMsgDlgType Type = mtWarning);
// A box telling a notice, with the icon its caption calls for (a "Sucesso"
// informs).
void Notice(const std::string& Text, const std::string& Caption);
// A Yes/No question with the question icon; true for Yes.
bool AskYesNo(const std::string& Text, const std::string& Caption);
// A Yes/No/Cancel question with the question icon: mrYes, mrNo or mrCancel.
// Esc and the box's close button answer mrCancel, so that neither ever
// stands for a choice that throws work away.
TModalResult AskYesNoCancel(const std::string& Text, const std::string& Caption);
// A box captioned "Atenção" with the exclamation icon, then the silent abort.
[[noreturn]] void Refuse(const std::string& Text, const std::string& Caption = "Atenção");

// The data services' messages shown through the window layer's dialogs.
class UiMessages : public billing::data::IMessages {
public:
    void ShowMessage(const std::string& text) override;
    void MessageBox(const std::string& text, const std::string& caption, billing::data::MessageIcon icon) override;
    bool Confirm(const std::string& text, const std::string& caption) override;
};
// Installs one UiMessages for the life of the program, and the window
// layer's access to controls that the data module's ChangeColor uses
// (idempotent).
void InstallUiMessages();
void InstallControlAccess();

// Browse look (data controls locked, form colour) or edit look (window
// colour): the data module's rules over this layer's controls.
void ChangeColor(TCustomForm* Form, bool Editing);
// Left := (screen width - width) / 2; Top := (screen height - 140 - height) / 2,
// never below 0; a child of the main window moved up or left as far as it
// takes to lie whole inside the workspace.
void CenterForm(TCustomForm* Form);
// Keeps Control in the middle of the form's client area whenever the form
// changes size (a maximised form's only panel).
void KeepCentred(TCustomForm* Form, TControl* Control);
// Anchors a grid (or memo) to all four edges of its parent, so that it grows
// with a maximised form instead of leaving an empty area beside it.
void Stretch(TControl* Control);
// Tab (and Enter) walk Parent's windowed children as they are read: row by
// row from the top, each row from the left.
void ReadingOrder(TWinControl* Parent);
// Enter and Down move to the next control, Up to the previous one.
void NavigationKeyDown(TCustomForm* Form, Word& Key);
// The Enter character is swallowed, so no control beeps at it.
void SwallowEnter(char32_t& Key);
// Both of the above on a form with KeyPreview.
void InstallNavigation(TCustomForm* Form);

// Builders: a control owned by Owner, placed in Parent at the given bounds.
template <typename T>
T* Place(TComponent* Owner, TWinControl* Parent, const std::string& Name, int Left, int Top, int Width, int Height) {
    T* c = new T(Owner);
    if (!Name.empty()) c->SetName(Name);
    c->SetParent(Parent);
    c->SetBounds(Left, Top, Width, Height);
    return c;
}
// A data-aware control placed like Place and bound to Field of Source.
template <typename T>
T* PlaceDB(TComponent* Owner, TWinControl* Parent, const std::string& Name, TDataSource* Source,
           const std::string& Field, int Left, int Top, int Width, int Height) {
    T* c = Place<T>(Owner, Parent, Name, Left, Top, Width, Height);
    c->SetDataSource(Source);
    c->SetDataField(Field);
    return c;
}
// A row of the usuario table, read through the data module's connection.
struct UserRecord {
    std::string id;
    std::string senha;
    std::string inativo;
};
// False when no user has this id (compared without regard to case).
bool FindUser(const std::string& Id, UserRecord& Out);

// One try of a password at the log-in or at the lock screen, counted per
// user as the register found it (Found; nullptr when no user has the typed
// name) in the database, so that every instance slows down the same
// guessing (billing/data/LoginDelay.h).
class PasswordTry {
public:
    PasswordTry(const std::string& Typed, const UserRecord* Found);
    // True while the delay of earlier failures runs, after a box that says
    // how long: the password must not even be looked at.
    bool Waiting() const;
    // Counts the failure and writes What under Program in the user log; a
    // count or a log that cannot be written does not let the guess through.
    void Failed(const std::string& Program, const std::string& What) const;
    void Succeeded() const;

private:
    std::string key_;
    std::string user_;  // as the log names it
};

TLabel* PlaceLabel(TComponent* Owner, TWinControl* Parent, const std::string& Caption, int Left, int Top,
                   TWinControl* Focus = nullptr);

}  // namespace billing::forms
