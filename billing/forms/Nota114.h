#pragma once
// The register of program codes the rights refer to.
#include "billing/forms/RegisterForm.h"

class TfrmNota114 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota114)
    explicit TfrmNota114(TComponent* AOwner);
    ~TfrmNota114() override;

    TSQLQuery* qryPrograma = nullptr;
    TDBEdit* dbeId_Programa = nullptr;
    TDBEdit* dbeDescricao = nullptr;
    TDBComboBox* dbeTipo = nullptr;

protected:
    void NewRow(TDataSet* DataSet) override;
};

extern TfrmNota114* frmNota114;
