#include "billing/forms/InformaSenha.h"

#include "billing/forms/FormUtils.h"
#include "platform/rtl/Strings.h"

using namespace billing::forms;

TfrmInformaSenha::TfrmInformaSenha(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmInformaSenha");
    SetCaption("Informe a Senha");
    SetBorderStyle(bsDialog);
    SetPosition(poDesktopCenter);
    SetBounds(0, 0, 340, 150);
    PlaceLabel(this, this, "Esta opção exige que seja informada a senha.", 16, 12);
    edtSenha = Place<TEdit>(this, this, "edtSenha", 80, 44, 160, 23);
    edtSenha->SetPasswordChar('*');
    PlaceLabel(this, this, "Senha", 16, 48, edtSenha);
    Button1 = Place<TButton>(this, this, "Button1", 130, 90, 90, 28);
    Button1->SetCaption("&OK");
    Button1->SetDefault(true);
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    Button2 = Place<TButton>(this, this, "Button2", 226, 90, 90, 28);
    Button2->SetCaption("&Cancelar");
    Button2->SetCancel(true);
    Button2->OnClick = [this](TObject* s) { Button2Click(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
}

void TfrmInformaSenha::FormShow(TObject*) {
    edtSenha->Clear();
    SetActiveControl(edtSenha);
}

void TfrmInformaSenha::Button1Click(TObject*) {
    if (Trim(edtSenha->Text()).empty()) {
        ShowMessage("Informe a senha !");
        return;
    }
    SetModalResult(mrOk);
}

void TfrmInformaSenha::Button2Click(TObject*) { SetModalResult(mrCancel); }
