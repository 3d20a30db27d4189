#pragma once
// Shipping-list (romaneio) entry: the header of table Romaneio with its
// items and totals, numbered from the settings' counter, CFOP 5102, without
// series, key or transmission. The window places and binds; the document
// core (DocumentCore.h with ShippingListPolicy) decides.
#include "billing/forms/DocumentForm.h"

class TfrmNota201 : public billing::forms::DocumentForm {
public:
    FAT_CLASS_NAME(TfrmNota201)
    explicit TfrmNota201(TComponent* AOwner);
    ~TfrmNota201() override;

    TSQLQuery* qryRomaneio = nullptr;
    TDataSet* tbRomaneio_Item = nullptr;
    TDataSource* dsRomaneio_Item = nullptr;
    TexDBGrid* dbgRomaneio_Item = nullptr;

    TexDBDateTimePicker* dbeData_emissao = nullptr;
    TDBEdit* dbeId_Romaneio = nullptr;
    TexDBComboDlg* dbeId_Cliente = nullptr;
    TPanel* PCliente = nullptr;
    TexDBComboDlg* dbeId_Vendedor = nullptr;
    TPanel* PVendedor = nullptr;
    TexDBComboDlg* dbeId_Transportador = nullptr;
    TPanel* PTransportador = nullptr;
    TexDBComboDlg* dbeId_Conta_Corrente = nullptr;
    TPanel* PConta_Corrente = nullptr;
    TDBEdit* DBEdit3 = nullptr;  // Observacao
    TDBEdit* dbeValor_Desconto = nullptr;
    TDBEdit* DBEdit1 = nullptr;  // Valor_Produto
    TDBEdit* dbeValor_Total = nullptr;

    // The search behind "Pesquisar": the chosen list's number, "" when cancelled.
    std::function<std::string()> SearchList;

    void DBButton3Click(TObject* Sender) override;
    void Proximo_Numero_Romaneio() { Core->NextNumber(); }
    void Calcula_Total_Produtos() { Core->Calcula_Total_Produtos(); }
    void Carrega_Romaneio_Item() { Core->LoadItems(); }
    void dbgRomaneio_ItemKeyPress(TObject* Sender, char32_t& Key) { GridKeyPress(Sender, Key); }

protected:
    TWinControl* InsertFocus() const override { return dbeData_emissao; }
    TWinControl* ShowFocus() const override { return dbeId_Romaneio; }
};

extern TfrmNota201* frmNota201;
