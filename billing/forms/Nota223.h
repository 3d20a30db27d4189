#pragma once
// The password change of the logged-in user.
#include <QWidget>

#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TFrmNota223 : public TForm {
public:
    FAT_CLASS_NAME(TFrmNota223)
    explicit TFrmNota223(TComponent* AOwner);
    ~TFrmNota223() override;

    TPanel* PUsuario = nullptr;
    TEdit* edtAtual = nullptr;
    TEdit* edtNova = nullptr;
    TEdit* edtRedigita = nullptr;
    TButton* btnOk = nullptr;
    TButton* btnCancel = nullptr;

    void FormShow(TObject* Sender);
    // Every refusal is a box and the silent abort; the form stays open.
    void btnOkClick(TObject* Sender);
    void btnCancelClick(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
};

extern TFrmNota223* FrmNota223;
