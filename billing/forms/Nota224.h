#pragma once
// The lock screen: covers the application until the logged-in user types
// his password again. It refuses to close, by any means, until then, and
// cannot be minimised or moved to show the forms behind it.
#include <QWidget>

#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TfrmNota224 : public TForm {
public:
    FAT_CLASS_NAME(TfrmNota224)
    explicit TfrmNota224(TComponent* AOwner);

    TEdit* edtAplicativo = nullptr;
    TEdit* edtUsuario = nullptr;
    TEdit* edtSenha = nullptr;
    TButton* Button1 = nullptr;

    void FormShow(TObject* Sender);
    // True when edtSenha holds the user's password; otherwise the silent
    // abort (after a message only when the user no longer exists, or while
    // the delay of earlier wrong passwords runs). Failures are counted and
    // logged as at the log-in.
    bool Valida_Senha();
    void Button1Click(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);

protected:
    // Minimised, restored or moved aside (the window manager's keys do it
    // even without a title bar), the lock comes back over the whole screen.
    void WindowStateChanged() override { Cover(); }
    void WindowMoved() override { Cover(); }

private:
    void Cover();
    bool unlocked_ = false;
};
