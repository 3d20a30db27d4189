#pragma once
// Sellers: chosen as a client's default seller and on invoices. Typing into
// a field starts an edit here; the code is generated.
#include "billing/forms/RegisterForm.h"

class TfrmNota102 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota102)
    explicit TfrmNota102(TComponent* AOwner);
    ~TfrmNota102() override;

    static constexpr const char* kSql = "select * from Vendedor order by Id_Vendedor";

    TSQLQuery* qryVendedor = nullptr;
    TDBEdit* dbeId_Vendedor = nullptr;
    TDBEdit* dbeNome = nullptr;
    TDBEdit* dbePercentual_Comissao = nullptr;
    TDBEdit* dbeEmail = nullptr;

protected:
    std::string Search() override;
};

extern TfrmNota102* frmNota102;
