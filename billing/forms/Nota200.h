#pragma once
// Invoice (NF-e) entry: the header of table Nota_Fiscal, its items and
// totals, numbered from the chosen series, checked, saved with its access
// key and offered to the NF-e monitor. The window places and binds; the
// document core (DocumentCore.h with InvoicePolicy) decides.
#include "billing/forms/DocumentForm.h"
#include "billing/forms/DocumentPolicies.h"

class TfrmNota200 : public billing::forms::DocumentForm {
public:
    FAT_CLASS_NAME(TfrmNota200)
    explicit TfrmNota200(TComponent* AOwner);
    ~TfrmNota200() override;

    TSQLQuery* qryNota_Fiscal = nullptr;
    TDataSet* tbNota_Fiscal_Item = nullptr;
    TDataSource* dsDocumento_Item = nullptr;
    TexDBGrid* dbgNota_Fiscal_Item = nullptr;

    TexDBDateTimePicker* dbeData_emissao = nullptr;
    TDBEdit* dbeId_Serie_Documento = nullptr;
    TDBEdit* dbeId_Nota_Fiscal = nullptr;
    TDBEdit* DBEdit3 = nullptr;  // Situacao_NFE
    TexDBDateTimePicker* dbeData_Saida = nullptr;

    TexDBComboDlg* dbeId_CFOP = nullptr;
    TPanel* PCFOP = nullptr;
    TexDBComboDlg* dbeId_Cliente = nullptr;
    TPanel* PCliente = nullptr;
    TPanel* PCliente_Fantasia = nullptr;
    TexDBComboDlg* dbeId_Vendedor = nullptr;
    TPanel* PVendedor = nullptr;
    TexDBComboDlg* dbeId_Transportador = nullptr;
    TPanel* PTransportador = nullptr;
    TexDBComboDlg* dbeId_Conta_Corrente = nullptr;
    TPanel* PConta_Corrente = nullptr;

    TDBEdit* dbeValor_Base_Calculo = nullptr;
    TDBEdit* dbeValor_ICMS = nullptr;
    TDBEdit* dbeValor_Produto = nullptr;
    TDBEdit* dbeValor_Desconto = nullptr;
    TDBEdit* DBEdit1 = nullptr;  // Valor_Frete
    TDBEdit* DBEdit2 = nullptr;  // Valor_Seguro
    TDBEdit* DBEdit4 = nullptr;  // Peso_Bruto
    TDBEdit* DBEdit5 = nullptr;  // Peso_Liquido
    TDBEdit* dbeValor_Total_Nota = nullptr;

    TTabSheet* tsOutros = nullptr;
    TDBComboBox* dbeFinalidade_Emissao = nullptr;
    TDBComboBox* dbeTipo_Emissao = nullptr;
    TDBComboBox* dbeForma_Pagamento = nullptr;
    TDBComboBox* dbeModalidade_Frete = nullptr;
    TDBComboBox* dbeTipo_ImpressaoDANFE = nullptr;
    TDBEdit* dbeNumero_NFE = nullptr;
    TDBEdit* dbeProtocolo_NFe = nullptr;
    TDBEdit* dbeData_Protocolo_NFE = nullptr;
    TDBMemo* DBMemo2 = nullptr;

    // The policy behind the form (its key and transmit seams).
    billing::forms::InvoicePolicy& Policy() const;
    // The search behind "Pesquisar": the chosen invoice's registration id,
    // "" when cancelled.
    std::function<std::string()> SearchInvoice;

    void btnInsertClick(TObject* Sender) override;
    void btnEditClick(TObject* Sender) override;
    void DBButton3Click(TObject* Sender) override;
    void btnPedidoClick(TObject* Sender) override;
    void dbeId_Serie_DocumentoExit(TObject* Sender);
    void dbeData_emissaoExit(TObject* Sender);
    void DBMemo2KeyPress(TObject* Sender, char32_t& Key);
    void Proximo_Numero_NF() { Core->NextNumber(); }
    void Calcula_Total_Produtos() { Core->Calcula_Total_Produtos(); }
    void Carrega_Nota_Fiscal_Item() { Core->LoadItems(); }
    void dbgNota_Fiscal_ItemKeyPress(TObject* Sender, char32_t& Key) { GridKeyPress(Sender, Key); }

protected:
    TWinControl* InsertFocus() const override { return dbeId_Serie_Documento; }
    TWinControl* ShowFocus() const override { return dbeId_Serie_Documento; }
};

// The invoice search, returning the registration id (series and number) of
// the chosen invoice; "" when cancelled.
std::string Pesquisa_Nota_Fiscal_Registro();

extern TfrmNota200* frmNota200;
