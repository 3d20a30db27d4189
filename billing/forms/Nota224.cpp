#include "billing/forms/Nota224.h"

#include <QTimer>

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/Desktop.h"

using namespace billing::forms;

TfrmNota224::TfrmNota224(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmNota224");
    SetCaption("Bloquear Aplicativo - NOTA224");
    SetBorderStyle(bsNone);
    SetBorderIcons(TBorderIcons{});
    SetFormStyle(fsStayOnTop);
    SetBounds(0, 0, 640, 420);
    SetWindowState(wsMaximized);

    auto* panel = Place<TPanel>(this, this, "pnlCentro", 120, 60, 400, 260);
    auto* title = PlaceLabel(this, panel, "Aplicativo Bloqueado ! - NOTA224", 16, 14);
    title->SetFontBold(true);
    title->SetFontSize(12);
    PlaceLabel(this, panel, "Para desbloquear o Aplicativo, informe a sua senha.", 16, 44);
    edtAplicativo = Place<TEdit>(this, panel, "edtAplicativo", 110, 80, 270, 23);
    edtAplicativo->SetReadOnly(true);
    edtAplicativo->SetTabStop(false);
    PlaceLabel(this, panel, "Aplicativo", 16, 84, edtAplicativo);
    edtUsuario = Place<TEdit>(this, panel, "edtUsuario", 110, 110, 160, 23);
    edtUsuario->SetReadOnly(true);
    edtUsuario->SetTabStop(false);
    PlaceLabel(this, panel, "Usuário", 16, 114, edtUsuario);
    edtSenha = Place<TEdit>(this, panel, "edtSenha", 110, 140, 160, 23);
    edtSenha->SetPasswordChar('*');
    edtSenha->SetCharCase(ecUpperCase);
    PlaceLabel(this, panel, "&Senha", 16, 144, edtSenha);
    Button1 = Place<TButton>(this, panel, "Button1", 290, 200, 90, 28);
    Button1->SetCaption("&OK");
    Button1->SetDefault(true);
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    KeepCentred(this, panel);

    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
}

void TfrmNota224::Cover() {
    QWidget* w = OuterWidget();
    // After the event that asked for it, so as not to fight the window
    // manager in the middle of its own change.
    QTimer::singleShot(0, w, [w] {
        if (!w->isVisible()) return;
        QRect area = ui::AvailableScreenArea(w);
        bool covering = w->isMaximized() && !w->isMinimized() && w->geometry().contains(area);
        if (covering) return;
        w->setGeometry(area);
        w->showMaximized();
        w->raise();
        w->activateWindow();
    });
}

void TfrmNota224::FormShow(TObject*) {
    unlocked_ = false;
    edtAplicativo->SetText(dmdb->Get_Var("nome_aplicativo"));
    edtUsuario->SetText(dmdb->Get_Var("id_usuario"));
    SetActiveControl(edtSenha);
    Cover();
}

bool TfrmNota224::Valida_Senha() {
    // Closing after the OK button asks again: the password was taken once.
    if (unlocked_) return true;
    std::string user = dmdb->Get_Var("id_usuario");
    UserRecord row;
    if (!FindUser(user, row)) Refuse("O Usuário \"" + user + "\" não está cadastrado.", "Usuário Inválido");
    auto retype = [this] {
        edtSenha->SelectAll();
        if (edtSenha->CanFocus()) edtSenha->SetFocus();
        Abort();
    };
    // Guessing here is slowed down as at the log-in, on the same count.
    PasswordTry attempt(user, &row);
    if (attempt.Waiting()) retype();
    if (!dmdb->PasswordMatches(edtSenha->Text(), row.senha)) {
        // An empty field is no try: closing the window with it counts nothing.
        if (!Trim(edtSenha->Text()).empty())
            attempt.Failed("NOTA224", "Tentativa de desbloqueio com senha incorreta");
        retype();
    }
    attempt.Succeeded();
    unlocked_ = true;
    try {
        dmdb->Usuario_Log("NOTA224", "Usuário desbloqueou o Aplicativo");
    } catch (const std::exception&) {
        // The right password unlocks whatever the log says.
    }
    return true;
}

void TfrmNota224::Button1Click(TObject*) {
    if (Valida_Senha()) SetModalResult(mrOk);
}

void TfrmNota224::FormClose(TObject*, TCloseAction& Action) {
    // Whatever asked for the close (the button, the keyboard, the window
    // manager), only the right password lets the form go.
    try {
        Valida_Senha();
    } catch (const EAbort&) {
        Action = caNone;
    }
}
