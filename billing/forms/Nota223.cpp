#include "billing/forms/Nota223.h"

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"

using namespace billing::forms;

TFrmNota223* FrmNota223 = nullptr;

TFrmNota223::TFrmNota223(TComponent* AOwner) : TForm(AOwner) {
    SetName("FrmNota223");
    SetCaption("Alterar Senha - NOTA223");
    SetFormStyle(fsMDIChild);
    SetBorderStyle(bsSingle);
    SetBorderIcons(TBorderIcons{biSystemMenu, biMinimize});
    SetBounds(0, 0, 420, 300);

    PUsuario = Place<TPanel>(this, this, "PUsuario", 16, 12, 380, 28);
    edtAtual = Place<TEdit>(this, this, "edtAtual", 170, 54, 160, 23);
    edtAtual->SetPasswordChar('*');
    PlaceLabel(this, this, "Senha &Atual", 16, 58, edtAtual);
    edtNova = Place<TEdit>(this, this, "edtNova", 170, 84, 160, 23);
    edtNova->SetPasswordChar('*');
    PlaceLabel(this, this, "&Nova Senha", 16, 88, edtNova);
    edtRedigita = Place<TEdit>(this, this, "edtRedigita", 170, 114, 160, 23);
    edtRedigita->SetPasswordChar('*');
    PlaceLabel(this, this, "&Redigite Nova Senha", 16, 118, edtRedigita);
    auto* note = Place<TLabel>(this, this, "lblAtencao", 16, 150, 380, 60);
    note->SetWordWrap(true);
    note->SetAutoSize(false);
    note->SetCaption("Atenção: A senha é sua chave de entrada no sistema, portanto, ao alterar tenha certeza de que "
                     "irá lembrar-se da mesma quando for acessar o sistema novamente.");
    btnOk = Place<TButton>(this, this, "btnOk", 210, 224, 90, 28);
    btnOk->SetCaption("&OK");
    btnOk->OnClick = [this](TObject* s) { btnOkClick(s); };
    btnCancel = Place<TButton>(this, this, "btnCancel", 306, 224, 90, 28);
    btnCancel->SetCaption("&Cancelar");
    btnCancel->SetCancel(true);  // Esc
    btnCancel->OnClick = [this](TObject* s) { btnCancelClick(s); };

    CenterForm(this);
    InstallNavigation(this);
    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
}

TFrmNota223::~TFrmNota223() {
    if (FrmNota223 == this) FrmNota223 = nullptr;
}

void TFrmNota223::FormShow(TObject*) {
    PUsuario->SetCaption(dmdb->Get_Var("id_usuario"));
    SetActiveControl(edtAtual);
}

void TFrmNota223::btnOkClick(TObject*) {
    std::string user = dmdb->Get_Var("id_usuario");
    UserRecord row;
    if (!FindUser(user, row)) Refuse("O Usuário \"" + user + "\" não está cadastrado.", "Usuário Inválido");
    if (AnsiSameText(Trim(row.inativo), "Sim") && !AnsiSameText(user, "Administrador"))
        Refuse("O Usuário \"" + user + "\" está com o acesso desabilitado.\r\n\r\nEntre em contato com o Administrador do Sistema",
               "Usuário Desabilitado");
    // The same upper-casing the login uses (accented letters included), so
    // a password set here opens the login.
    std::string current = AnsiUpperCase(edtAtual->Text());
    std::string fresh = AnsiUpperCase(edtNova->Text());
    std::string retyped = AnsiUpperCase(edtRedigita->Text());
    if (!dmdb->PasswordMatches(current, row.senha))
        Refuse("A \"senha atual\" informada não está correta. Tente novamente.", "Senha Incorreta");
    if (fresh != retyped) Refuse("A \"nova senha\" não é igual a \"redigitada\". Tente novamente.", "Senha Incorreta");
    // Blank or longer than the login takes: the user could never log in again.
    std::string refusal = dmdb->PasswordRefusal(fresh);
    if (!refusal.empty()) Refuse(refusal, "Senha Incorreta");
    if (fresh == current) Refuse("A \"nova senha\" não pode ser igual a anterior. Tente novamente.", "Senha Incorreta");
    dmdb->ADOConnection->Execute("update usuario set senha = :Psenha where usuario.id_usuario = :PId_Usuario",
                                 {{"Psenha", Variant(dmdb->EncryptPassword(fresh))}, {"PId_Usuario", Variant(row.id)}});
    Box("Sua senha foi alterada com sucesso.", "Sucesso", mtInformation);
    Close();
}

void TFrmNota223::btnCancelClick(TObject*) { Close(); }

void TFrmNota223::FormClose(TObject*, TCloseAction& Action) { Action = caFree; }
