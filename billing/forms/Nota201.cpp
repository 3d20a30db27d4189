#include "billing/forms/Nota201.h"

#include "billing/forms/DocumentPolicies.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/Pesquisa.h"

using namespace billing::forms;

TfrmNota201* frmNota201 = nullptr;

TfrmNota201::TfrmNota201(TComponent* AOwner)
    : DocumentForm(AOwner, "Romaneios - NOTA201", NewShippingListCore, "dsRomaneio_Item", "dbgRomaneio_Item") {
    SetName("frmNota201");
    qryRomaneio = Core->Header();
    tbRomaneio_Item = Core->Items();
    dsRomaneio_Item = dsItems;

    dbeData_emissao = FieldEdit<TexDBDateTimePicker>(pnlTop, "dbeData_emissao", "Data_Emissao", "Data Venda", 8, 4, 110);
    dbeId_Romaneio = FieldEdit<TDBEdit>(pnlTop, "dbeId_Romaneio", "Id_Romaneio", "Romaneio", 130, 4, 90);
    dbeId_Romaneio->SetReadOnly(true);

    TWinControl* g = tsGeral;
    dbeId_Cliente = FieldEdit<TexDBComboDlg>(g, "dbeId_Cliente", "Id_Cliente", "Cliente", 8, 4, 90);
    PCliente = Description(g, "PCliente", 102, 4, 400);
    dbeId_Vendedor = FieldEdit<TexDBComboDlg>(g, "dbeId_Vendedor", "Id_Vendedor", "Vendedor", 8, 44, 70);
    PVendedor = Description(g, "PVendedor", 82, 44, 250);
    dbeId_Transportador =
        FieldEdit<TexDBComboDlg>(g, "dbeId_Transportador", "Id_Transportador", "Transportador", 340, 44, 70);
    PTransportador = Description(g, "PTransportador", 414, 44, 250);
    dbeId_Conta_Corrente =
        FieldEdit<TexDBComboDlg>(g, "dbeId_Conta_Corrente", "Id_Conta_Corrente", "Conta Corrente", 8, 84, 70);
    // Room for an account's description of up to 45 characters.
    PConta_Corrente = Description(g, "PConta_Corrente", 82, 84, 380);
    DBEdit3 = FieldEdit<TDBEdit>(g, "DBEdit3", "Observacao", "Observação", 476, 84, 160);
    // On the client's row, after its name.
    btnPedido->SetBounds(700, 20, 120, 23);
    AddLookup("Cliente", dbeId_Cliente, {PCliente}, Pesquisa_Cliente, false);
    AddLookup("Vendedor", dbeId_Vendedor, {PVendedor}, Pesquisa_Vendedor, true);
    AddLookup("Transportador", dbeId_Transportador, {PTransportador}, Pesquisa_Transportador, true);
    AddLookup("Conta_Corrente", dbeId_Conta_Corrente, {PConta_Corrente}, Pesquisa_Conta_Corrente, true);

    BuildGrid(g, 4, 128, 840, 220, {"Descricao_Abreviada", "Aliquota_ICMS", "Id_Situacao_Tributaria", "Valor_Total"});
    dbgRomaneio_Item = Grid;

    dbeValor_Desconto = FieldEdit<TDBEdit>(g, "dbeValor_Desconto", "Valor_Desconto", "Valor Desconto", 392, 372, 120);
    DBEdit1 = FieldEdit<TDBEdit>(g, "DBEdit1", "Valor_Produto", "Valor Produto", 520, 372, 120);
    DBEdit1->SetReadOnly(true);
    dbeValor_Total = FieldEdit<TDBEdit>(g, "dbeValor_Total", "Valor_Total", "Valor Total", 648, 372, 120);
    dbeValor_Total->SetReadOnly(true);
    for (TDBEdit* e : {dbeValor_Desconto, DBEdit1}) e->OnExit = [this](TObject*) { Calcula_Total_Nota(); };

    frmNota201 = this;
}

TfrmNota201::~TfrmNota201() {
    if (frmNota201 == this) frmNota201 = nullptr;
}

void TfrmNota201::DBButton3Click(TObject*) {
    std::string found = SearchList ? SearchList() : Pesquisa_Romaneio();
    if (!found.empty()) Core->Header()->Locate("id_Romaneio", Variant(found), {});
}
