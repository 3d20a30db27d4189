#pragma once
// "Manutenção Manual (Master)": the person in charge overwrites an invoice's
// NF-e protocol and state by hand, after typing the master access code. Only
// the invoice "Localizar" found is saved: its series and number stay locked
// until "Nova", and each correction is written to the user log.
#include <functional>
#include <string>

#include <QWidget>

#include "platform/ui/DBCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TfrmNota225 : public TForm {
public:
    FAT_CLASS_NAME(TfrmNota225)
    explicit TfrmNota225(TComponent* AOwner);
    ~TfrmNota225() override;

    TDataSet* tbTemp = nullptr;
    TDataSource* dsTemp = nullptr;
    TDBEdit* dbeId_Serie_Documento = nullptr;
    TDBEdit* dbeId_Nota_Fiscal = nullptr;
    TButton* Button1 = nullptr;  // Localizar
    TDBEdit* DBEdit3 = nullptr;  // nome_fantasia
    TDBEdit* DBEdit4 = nullptr;  // data_emissao
    TDBEdit* dbeProtocolo_nfe = nullptr;
    TDBComboBox* DBComboBox1 = nullptr;
    TButton* btnNova = nullptr;
    TButton* btnOk = nullptr;
    TButton* btnCancel = nullptr;

    // Asks the access code: false when cancelled. The default shows TfrmInformaSenha.
    std::function<bool(std::string& Typed)> AskAccessCode;

    void FormShow(TObject* Sender);
    void Nova();
    void Button1Click(TObject* Sender);
    void btnOkClick(TObject* Sender);
    void btnCancelClick(TObject* Sender);
    // Whether "Localizar" found the invoice now in the input.
    bool Found() const { return found_; }

private:
    void Lock(bool Found);
    bool found_ = false;
    int foundSerie_ = 0, foundNumero_ = 0;  // what "Localizar" found: what is saved
};

extern TfrmNota225* frmNota225;
