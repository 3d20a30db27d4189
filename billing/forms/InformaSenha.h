#pragma once
// A prompt for an access code; the caller reads edtSenha after mrOk.
#include <QWidget>

#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TfrmInformaSenha : public TForm {
public:
    FAT_CLASS_NAME(TfrmInformaSenha)
    explicit TfrmInformaSenha(TComponent* AOwner);

    TEdit* edtSenha = nullptr;
    TButton* Button1 = nullptr;
    TButton* Button2 = nullptr;

    void FormShow(TObject* Sender);
    void Button1Click(TObject* Sender);
    void Button2Click(TObject* Sender);
};
