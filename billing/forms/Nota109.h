#pragma once
// Suppliers. No menu opens this register yet; it is built so that one can.
// No checks, no defaults, no search; closing drops a pending row unasked.
#include "billing/forms/RegisterForm.h"
#include "platform/ui/ComCtrls.h"

class TfrmNota109 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota109)
    explicit TfrmNota109(TComponent* AOwner);
    ~TfrmNota109() override;

    static constexpr const char* kSql = "select * from Fornecedor order by Id_Fornecedor";

    TSQLQuery* qryFornecedor = nullptr;
    TPageControl* PageControl1 = nullptr;
    TDBEdit* dbeId_Fornecedor = nullptr;
    TDBEdit* dbeNome = nullptr;
    TexDBComboDlg* dbeId_Municipio = nullptr;
    TPanel* PMunicipio = nullptr;
    TPanel* PUf_Municipio = nullptr;
    TDBComboBox* dbeNatureza = nullptr;
    TexDBDateTimePicker* dbeData_Cadastro = nullptr;
    TDBMemo* dbeObservacao = nullptr;

    void Mostra_Tudo() override;
};

extern TfrmNota109* frmNota109;
