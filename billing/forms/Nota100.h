#pragma once
// Clients: the people and companies invoices are made out to. A client's
// code is six digits and a check digit; the CPF or CNPJ is checked by the
// client's nature and a company's state registration by its municipality's
// state; the billing address can be copied from the main one; a new client
// takes the settings row's defaults.
#include <string>

#include "billing/forms/RegisterForm.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/StdCtrls.h"

class TfrmNota100 : public billing::forms::RegisterForm {
public:
    FAT_CLASS_NAME(TfrmNota100)
    explicit TfrmNota100(TComponent* AOwner);
    ~TfrmNota100() override;

    TSQLQuery* qryCliente = nullptr;  // the register's query
    TPageControl* PageControl1 = nullptr;
    TTabSheet* tsGeral = nullptr;
    TTabSheet* tsComunicacao = nullptr;
    TTabSheet* tsFinanceiro = nullptr;
    TTabSheet* tsObservacoes = nullptr;

    TDBEdit* dbeId_Cliente = nullptr;
    TexDBDateTimePicker* dbeData_Cadastro = nullptr;
    TDBEdit* dbeNome = nullptr;
    TDBEdit* dbeNome_Fantasia = nullptr;
    TDBComboBox* dbeNatureza = nullptr;
    TDBEdit* dbeCPF_CNPJ = nullptr;
    TDBEdit* dbeIE_RG = nullptr;
    TDBEdit* dbeEndereco = nullptr;
    TDBEdit* dbeNumero_Endereco = nullptr;
    TDBEdit* dbeEndereco_Complemento = nullptr;
    TDBEdit* dbeBairro = nullptr;
    TexDBComboDlg* dbeId_Municipio = nullptr;
    TPanel* PMunicipio = nullptr;
    TPanel* PUF_Municipio = nullptr;
    TDBEdit* dbeCep = nullptr;
    TDBEdit* dbeEndereco_Cobranca = nullptr;
    TDBEdit* dbeNumero_Endereco_Cobranca = nullptr;
    TDBEdit* dbeEndereco_Cobranca_Complemento = nullptr;
    TDBEdit* dbeBairro_Cobranca = nullptr;
    TexDBComboDlg* dbeId_Municipio_Cobranca = nullptr;
    TPanel* PMunicipio_Cobranca = nullptr;
    TPanel* PUF_Municipio_Cobranca = nullptr;
    TDBEdit* dbeCep_Cobranca = nullptr;
    TButton* btnDuplica = nullptr;  // "Igual ao Correspondência"
    TDBCheckBox* dbeBloqueado = nullptr;
    TDBCheckBox* dbeInativo = nullptr;
    TDBEdit* dbeTelefone = nullptr;
    TDBEdit* dbeTelefax = nullptr;
    TDBEdit* dbeWebsite = nullptr;
    TDBEdit* dbeEmail = nullptr;
    TDBComboBox* dbeBloqueto = nullptr;
    TDBEdit* dbeDias_Protesto = nullptr;
    TDBEdit* dbeJuros_Mora = nullptr;
    TexDBComboDlg* dbeId_Condicao_Pagamento = nullptr;
    TPanel* PCondicao_Pagamento = nullptr;
    TDBEdit* dbeLimite_Credito = nullptr;
    TDBEdit* dbeFaturamento_Minimo = nullptr;
    TDBEdit* dbePercentual_Desconto = nullptr;
    TexDBComboDlg* dbeId_Vendedor = nullptr;
    TPanel* PVendedor = nullptr;
    TDBComboBox* dbeTributado = nullptr;
    TDBMemo* dbmObservacao = nullptr;

    // The code of a new row, or the one typed: six digits and their check
    // digit; a code that holds no number is cleared.
    void Atribui_Codigo_Cliente();
    // Empty, or exactly ten digits (area code and number).
    static bool Valida_Telefone(const std::string& Text);
    // Whether Ie is a registration of the state Uf (billing/data's check).
    static bool ValidarIE(const std::string& Ie, const std::string& Uf);
    void Mascara_CPF_CNPJ();
    // A blank fantasy name takes the name's first word.
    void Nome_Fantasia();
    // The main address becomes the billing address.
    void Duplica_Endereco();
    void Mostra_Vendedor();
    void Mostra_Condicao_Pagamento();
    void Mostra_Municipio();
    void Mostra_Municipio_Cobranca();
    void Mostra_Tudo() override;
    void dbeIE_RGExit(TObject* Sender);

    // Six digits (zero-filled) and their check digit; "" past 999999.
    static std::string CodigoCliente(long long Number);
    // The leading part of Nome up to and including its first blank, cut to
    // the fantasy-name column; "" for a name of one word.
    static std::string NomeFantasiaDe(const std::string& Nome);

protected:
    std::string Search() override;
    void NewRow(TDataSet* DataSet) override;
    void btnInsertClick(TObject* Sender) override;
    void btnEditClick(TObject* Sender) override;

private:
    void DuplicateChecks(TDataSet* DataSet);
    Lookup vendedor_{};
    Lookup condicao_{};
};

extern TfrmNota100* frmNota100;
