#pragma once
// The settings: the one row of table opcao with the register ids new
// documents start from, the billing defaults, the printers and automatic
// printing of each document, and the NF-e folders, certificate, DANFE layout,
// copies and environment. The row is made when the database opens; this
// form only edits it. A save takes effect at once: the NF-e folders and the
// environment are read again into the variable store.
#include <functional>
#include <string>
#include <vector>

#include "billing/controls/DBBButton.h"
#include "billing/forms/RegisterForm.h"
#include "platform/db/SQLQuery.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"

class TfrmNota115 : public TForm {
public:
    FAT_CLASS_NAME(TfrmNota115)
    explicit TfrmNota115(TComponent* AOwner);
    ~TfrmNota115() override;

    static constexpr const char* kSql = "select * from Opcao";
    static constexpr const char* kTipoMessage = "O Tipo de Impressão para DANFE não foi informado.";
    static constexpr const char* kCopiasMessage = "Informe um valor correto para o número de cópias de DANFE.";
    static constexpr const char* kFiltroCertificado =
        "Certificado Digital (*.pfx)|*.pfx|Certificado Digital (*.p12)|*.p12";

    TSQLQuery* qryOpcao = nullptr;
    TDataSource* dsMain = nullptr;
    TPageControl* PageControl1 = nullptr;
    TPanel* pnlBotoes = nullptr;

    // "Valores Padrão"
    TexDBComboDlg* dbeId_Municipio = nullptr;
    TPanel* PMunicipio = nullptr;
    TPanel* PUf_Municipio = nullptr;
    TexDBComboDlg* dbeId_cfop = nullptr;
    TPanel* PCFOP = nullptr;
    TexDBComboDlg* dbeId_unidade_Medida = nullptr;
    TPanel* PUnidade_Medida = nullptr;
    TexDBComboDlg* dbeId_vendedor = nullptr;
    TPanel* PVendedor = nullptr;
    TexDBComboDlg* dbeId_Transportador = nullptr;
    TPanel* PTransportador = nullptr;
    TexDBComboDlg* dbeId_Cliente = nullptr;
    TPanel* PCliente = nullptr;
    TexDBComboDlg* dbeId_Condicao_Pagamento = nullptr;
    TPanel* PCondicao_Pagamento = nullptr;
    TDBEdit* DBEdit10 = nullptr;  // Limite_Credito
    TDBEdit* DBEdit3 = nullptr;   // Numero_Proximo_Romaneio
    TexDBComboDlg* dbeId_Serie_Documento = nullptr;
    TDBCheckBox* DBCheckBox1 = nullptr;  // pode_alterar_serie
    // "Cobança"
    TexDBComboDlg* exDBComboDlg5 = nullptr;  // Id_Conta_Corrente
    TPanel* PConta_Corrente = nullptr;
    TDBEdit* DBEdit1 = nullptr;  // Dias_Protesto
    TDBEdit* DBEdit2 = nullptr;  // Juros_Mora
    // "Impressoras"
    TDBComboBox* cbImpressora_Danfe = nullptr;
    TDBComboBox* cbImpressora_Romaneio = nullptr;
    TDBComboBox* cbImpressora_Boleto = nullptr;
    TDBComboBox* cbImpressora_Relatorio = nullptr;
    TDBComboBox* cbImpressora_Promissoria = nullptr;
    TDBCheckBox* DBCheckBox2 = nullptr;  // IA_Danfe
    TDBCheckBox* DBCheckBox3 = nullptr;  // IA_Romaneio
    TDBCheckBox* DBCheckBox4 = nullptr;  // IA_Boleto
    TDBCheckBox* DBCheckBox5 = nullptr;  // IA_Promissoria
    // "NF-e "
    TexDBComboDlg* exDBComboDlg6 = nullptr;  // Pasta_NFe_Envio
    TexDBComboDlg* exDBComboDlg7 = nullptr;  // Pasta_NFe_Arquivamento
    TexDBComboDlg* exDBComboDlg1 = nullptr;  // Pasta_NFe_Retorno
    TexDBComboDlg* exDBComboDlg8 = nullptr;  // Pasta_NFe_Erro
    TexDBComboDlg* exDBComboDlg9 = nullptr;  // Arquivo_Certificado_Digital
    TDBComboBox* DBComboBox1 = nullptr;      // Tipo_Impressao_DANFE
    TDBComboBox* DBComboBox3 = nullptr;      // Ambiente
    TDBEdit* DBEdit4 = nullptr;              // copias_danfe

    TDBButton* DBButton1 = nullptr;  // Editar
    TDBButton* DBButton2 = nullptr;  // Salvar
    TDBButton* DBButton3 = nullptr;  // Desfazer
    TDBButton* DBButton4 = nullptr;  // Fechar

    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
    void FormCloseQuery(TObject* Sender, bool& CanClose);
    void DBButton1Click(TObject* Sender);
    void DBButton2Click(TObject* Sender);
    void DBButton3Click(TObject* Sender);
    void DBButton4Click(TObject* Sender);
    void Mostra_Tudo();
    void Mostra_Vendedor();
    void Mostra_Transportador();
    void Mostra_CFOP();
    void Mostra_Unidade_Medida();
    void Mostra_Cliente();
    void Mostra_Municipio();
    void Mostra_Condicao_Pagamento();
    void Mostra_Conta_Corrente();
    // The folder browser for one NF-e folder ("Envio", "Retorno",
    // "Arquivamento" or "Erro"), starting from the column's text; a chosen
    // folder replaces it.
    void Nome_Pasta(const std::string& Which, const std::string& Column);
    // The certificate file (.pfx or .p12).
    void Arquivo_Certificado();
    // The printers of the five pick lists, from the data module.
    void Carrega_Impressoras();

    // The text the last refused save showed ("" when none).
    const std::string& LastErrors() const { return lastErrors_; }

private:
    TexDBComboDlg* Lookup(TWinControl* Parent, const std::string& Name, const std::string& Field,
                          const std::string& Caption, int Top, int Width);
    TPanel* Description(TWinControl* Parent, const std::string& Name, int Left, int Top, int Width);
    TDBComboBox* PickList(TWinControl* Parent, const std::string& Name, const std::string& Field,
                          const std::string& Caption, int Top);
    TDBCheckBox* Flag(TWinControl* Parent, const std::string& Name, const std::string& Field,
                      const std::string& Caption, int Left, int Top, int Width);
    TDBButton* Button(const std::string& Name, const std::string& Caption, TAcao Acao, int Left);
    bool Editing() const;
    void BeforePostChecks(TDataSet* DataSet);

    std::vector<billing::forms::LookupField> lookups_;
    billing::forms::SaveChecks checks_;
    std::string lastErrors_;
};

extern TfrmNota115* frmNota115;
