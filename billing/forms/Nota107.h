#pragma once
// The company's bank accounts: bank, branch, account with its check digit
// and the assignor code of bank slips. The description is composed from the
// account's parts whenever one of them changes, and always before a save.
#include <string>

#include "billing/forms/RegisterForm.h"

namespace billing::forms {

// "1 - BANCO X / Ag. 1234 C/C 56789-0": the bank's code, its name as the
// panel shows it, branch, account and check digit; cut to the 45 characters
// the description column holds.
std::string composeDescription(const std::string& Febraban, const std::string& Banco, const std::string& Agencia,
                               const std::string& Conta, const std::string& ContaDv);
inline constexpr int kDescricaoContaSize = 45;

}  // namespace billing::forms

class TfrmNota107 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota107)
    explicit TfrmNota107(TComponent* AOwner);
    ~TfrmNota107() override;

    static constexpr const char* kSql = "select * from Conta_Corrente order by Id_Conta_Corrente";

    TSQLQuery* qryConta_Corrente = nullptr;
    TDBEdit* dbeId_Conta_Corrente = nullptr;
    TexDBComboDlg* dbeId_Febraban = nullptr;
    TPanel* PFebraban = nullptr;
    TDBEdit* DBEdit2 = nullptr;  // agencia
    TDBEdit* DBEdit3 = nullptr;  // conta
    TDBEdit* DBEdit4 = nullptr;  // conta_dv
    TDBEdit* dbeCodigo_Cedente = nullptr;
    TDBText* dbtDescricao = nullptr;
    TDBCheckBox* dbeInativo = nullptr;

    void Mostra_Febraban();
    // The description from the row's parts (only while the row is edited).
    void Atualiza_Descricao();

protected:
    std::string Search() override;
    void NewRow(TDataSet* DataSet) override;
    void BeforeChecks(TDataSet* DataSet) override;

private:
    billing::forms::LookupField febraban_;
};

extern TfrmNota107* frmNota107;
