#pragma once
// CFOP: the fiscal operation codes of invoices. The code is typed; a code
// that invoices use cannot be deleted.
#include "billing/forms/RegisterForm.h"

class TfrmNota104 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota104)
    explicit TfrmNota104(TComponent* AOwner);
    ~TfrmNota104() override;

    static constexpr const char* kSql = "select * from CFOP order by id_cfop";
    static constexpr const char* kCountSql =
        "select Count(id_nota_fiscal) as qtd_nota from Nota_Fiscal where id_cfop = :pid_cfop";

    TSQLQuery* qryCFOP = nullptr;
    TDBEdit* dbeId_CFOP = nullptr;
    TDBEdit* dbeDescricao = nullptr;
    TDBComboBox* dbeTipo = nullptr;

protected:
    std::string Search() override;
    void NewRow(TDataSet* DataSet) override;
};

extern TfrmNota104* frmNota104;
