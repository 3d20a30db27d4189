#pragma once
// Units of measure of products. The code is typed, in upper case; a unit
// that products use cannot be deleted.
#include "billing/forms/RegisterForm.h"

class TfrmNota119 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota119)
    explicit TfrmNota119(TComponent* AOwner);
    ~TfrmNota119() override;

    static constexpr const char* kSql = "select * from Unidade_Medida order by Id_Unidade_Medida";
    static constexpr const char* kCountSql = "select Count(id_produto) as qtd_produto from Produto where "
                                             "id_Unidade_Medida = :pid_Unidade_Medida";

    TSQLQuery* qryUnidade_Medida = nullptr;
    TDBEdit* dbeId_Unidade_Medida = nullptr;
    TDBEdit* dbeDescricao = nullptr;

protected:
    std::string Search() override;
    void BeforeChecks(TDataSet* DataSet) override;
};

extern TfrmNota119* frmNota119;
