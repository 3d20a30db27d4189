#pragma once
// Titles receivable: one bank-collection title per invoice installment. No
// menu opens this register yet and nothing prints its bank slips; it is
// built so that the financial menu can open it later.
#include "billing/forms/RegisterForm.h"

class TfrmNota117 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota117)
    explicit TfrmNota117(TComponent* AOwner);
    ~TfrmNota117() override;

    static constexpr const char* kSql = "select * from titulo_receber order by id_titulo_receber";

    TSQLQuery* qryTitulo_Receber = nullptr;
    TDBEdit* dbeId_Titulo_Receber = nullptr;  // numbered by the database
    TexDBComboDlg* dbeId_Cliente = nullptr;
    TPanel* PCliente = nullptr;
    TexDBComboDlg* dbeId_Conta_Corrente = nullptr;
    TPanel* PConta_Corrente = nullptr;
    TDBCheckBox* dbeGerou_Arquivo = nullptr;
};

extern TfrmNota117* frmNota117;
