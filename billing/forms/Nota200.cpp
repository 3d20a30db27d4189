#include "billing/forms/Nota200.h"

#include "billing/forms/DocumentPolicies.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/Pesquisa.h"
#include "platform/rtl/Strings.h"

using namespace billing::forms;

TfrmNota200* frmNota200 = nullptr;

std::string Pesquisa_Nota_Fiscal_Registro() {
    return Pesquisa({"Nota Fiscal",
                     "SELECT Nota_Fiscal.Id_Nota_Fiscal, Nota_Fiscal.Id_Serie_Documento, Nota_Fiscal.Data_Emissao, "
                     "Cliente.Nome_Fantasia, Nota_Fiscal.Valor_Total_Nota, Nota_Fiscal.Id_Registro FROM Cliente "
                     "INNER JOIN Nota_Fiscal ON Cliente.Id_Cliente = Nota_Fiscal.Id_Cliente order by id_nota_fiscal",
                     "id_registro", "id_nota_fiscal"},
                    {"id_nota_fiscal;NF", "id_serie_documento;Série", "data_emissao;Dt Emissão",
                     "nome_fantasia;Nome Fantasia", "valor_total_nota;Valor Total", "id_registro;Registro"});
}

TfrmNota200::TfrmNota200(TComponent* AOwner)
    : DocumentForm(AOwner, "Nota Fiscais Eletrônicas (NF-e) - NOTA200", NewInvoiceCore, "dsDocumento_Item",
                   "dbgNota_Fiscal_Item") {
    SetName("frmNota200");
    qryNota_Fiscal = Core->Header();
    tbNota_Fiscal_Item = Core->Items();
    dsDocumento_Item = dsItems;

    // Top panel
    TWinControl* top = pnlTop;
    dbeData_emissao = FieldEdit<TexDBDateTimePicker>(top, "dbeData_emissao", "Data_Emissao", "Data Venda", 8, 4, 110);
    dbeId_Serie_Documento =
        FieldEdit<TDBEdit>(top, "dbeId_Serie_Documento", "Id_Serie_Documento", "Série / NF", 130, 4, 50);
    dbeId_Nota_Fiscal = FieldEdit<TDBEdit>(top, "dbeId_Nota_Fiscal", "Id_Nota_Fiscal", "", 184, 4, 80);
    dbeId_Nota_Fiscal->SetReadOnly(true);
    DBEdit3 = FieldEdit<TDBEdit>(top, "DBEdit3", "Situacao_NFE", "Situação NF-e", 280, 4, 150);
    DBEdit3->SetReadOnly(true);
    dbeData_Saida = FieldEdit<TexDBDateTimePicker>(top, "dbeData_Saida", "Data_Saida", "Data Saída", 450, 4, 110);
    dbeId_Serie_Documento->OnExit = [this](TObject* s) { dbeId_Serie_DocumentoExit(s); };
    dbeData_emissao->OnExit = [this](TObject* s) { dbeData_emissaoExit(s); };

    // "Geral"
    TWinControl* g = tsGeral;
    // Three rows of lookups, so that the items and every total fit the page
    // on a 1024 x 768 screen.
    dbeId_CFOP = FieldEdit<TexDBComboDlg>(g, "dbeId_CFOP", "Id_CFOP", "CFOP", 8, 4, 70);
    PCFOP = Description(g, "PCFOP", 82, 4, 300);
    dbeId_Conta_Corrente =
        FieldEdit<TexDBComboDlg>(g, "dbeId_Conta_Corrente", "Id_Conta_Corrente", "Conta Corrente", 396, 4, 70);
    // To the grid's right edge: an account's description has up to 45 characters.
    PConta_Corrente = Description(g, "PConta_Corrente", 470, 4, 374);
    dbeId_Cliente = FieldEdit<TexDBComboDlg>(g, "dbeId_Cliente", "Id_Cliente", "Cliente", 8, 44, 90);
    PCliente = Description(g, "PCliente", 102, 44, 330);
    PCliente_Fantasia = Description(g, "PCliente_Fantasia", 436, 44, 200);
    dbeId_Vendedor = FieldEdit<TexDBComboDlg>(g, "dbeId_Vendedor", "Id_Vendedor", "Vendedor", 8, 84, 70);
    PVendedor = Description(g, "PVendedor", 82, 84, 250);
    dbeId_Transportador =
        FieldEdit<TexDBComboDlg>(g, "dbeId_Transportador", "Id_Transportador", "Transportador", 340, 84, 70);
    PTransportador = Description(g, "PTransportador", 414, 84, 250);
    // Beside the carrier, where the panels leave it in sight (and Tab finds
    // it as it reads).
    btnPedido->SetBounds(700, 100, 120, 23);
    AddLookup("CFOP", dbeId_CFOP, {PCFOP}, Pesquisa_cfop, false);
    AddLookup("Cliente", dbeId_Cliente, {PCliente, PCliente_Fantasia}, Pesquisa_Cliente, false);
    AddLookup("Vendedor", dbeId_Vendedor, {PVendedor}, Pesquisa_Vendedor, true);
    AddLookup("Transportador", dbeId_Transportador, {PTransportador}, Pesquisa_Transportador, true);
    AddLookup("Conta_Corrente", dbeId_Conta_Corrente, {PConta_Corrente}, Pesquisa_Conta_Corrente, true);

    BuildGrid(g, 4, 128, 840, 180, {"Descricao_Abreviada", "Valor_Total"});
    dbgNota_Fiscal_Item = Grid;

    auto total = [this, g](const std::string& Name, const std::string& Field, const std::string& Caption, int Left,
                           int Top, bool ReadOnly) {
        TDBEdit* e = FieldEdit<TDBEdit>(g, Name, Field, Caption, Left, Top, 120);
        e->SetReadOnly(ReadOnly);
        if (!ReadOnly) e->OnExit = [this](TObject*) { Calcula_Total_Nota(); };
        return e;
    };
    dbeValor_Base_Calculo = total("dbeValor_Base_Calculo", "Valor_Base_Calculo", "Base Cálculo ICMS", 8, 330, true);
    dbeValor_ICMS = total("dbeValor_ICMS", "Valor_ICMS", "Valor ICMS", 136, 330, true);
    dbeValor_Produto = total("dbeValor_Produto", "Valor_Produto", "Valor Produtos", 264, 330, true);
    dbeValor_Desconto = total("dbeValor_Desconto", "Valor_Desconto", "Valor Desconto", 392, 330, false);
    DBEdit1 = total("DBEdit1", "Valor_Frete", "Valor do Frete", 520, 330, false);
    DBEdit2 = total("DBEdit2", "Valor_Seguro", "Valor do Seguro", 648, 330, false);
    DBEdit4 = total("DBEdit4", "Peso_Bruto", "Peso Bruto", 8, 372, true);
    DBEdit5 = total("DBEdit5", "Peso_Liquido", "Peso Liquído", 136, 372, true);
    dbeValor_Total_Nota = total("dbeValor_Total_Nota", "Valor_Total_Nota", "Valor Total Nota", 648, 372, true);
    // The weights share the discount's handler, as they always did.
    for (TDBEdit* w : {DBEdit4, DBEdit5}) w->OnExit = [this](TObject*) { Calcula_Total_Nota(); };

    // "Outros"
    tsOutros = new TTabSheet(this);
    tsOutros->SetName("tsOutros");
    tsOutros->SetPageControl(PageControl1);
    tsOutros->SetCaption("&Outros");
    TWinControl* o = tsOutros;
    dbeFinalidade_Emissao = FixedList(o, "dbeFinalidade_Emissao", "Finalidade_Emissao", "Finalidade Emissão", 8, 4,
                                      200, {"1 - NF-e normal", "2 - NF-e complementar", "3 - NF-e de Ajuste"});
    dbeTipo_Emissao = FixedList(o, "dbeTipo_Emissao", "Tipo_Emissao", "Tipo Emissão", 220, 4, 200,
                                {"1 - Normal", "2 - Contingência", "3 - Contingência SCAN"});
    dbeForma_Pagamento = FixedList(o, "dbeForma_Pagamento", "Forma_Pagamento", "Forma de Pagamento", 432, 4, 200,
                                   {"0 - Pagamento a Vista", "1 - Pagamento a Prazo", "2 - Outros"});
    dbeModalidade_Frete = FixedList(o, "dbeModalidade_Frete", "Modalidade_Frete", "Modalidade do Frete", 8, 48, 200,
                                    {"0 - Por conta do Emitente", "1 - Por conta do Destinatário"});
    dbeTipo_ImpressaoDANFE = FixedList(o, "dbeTipo_ImpressaoDANFE", "Tipo_Impressao_DANFE", "Impressão DANFE", 220,
                                       48, 200, {"1 - Retrato", "2 - Paisagem"});
    dbeNumero_NFE = FieldEdit<TDBEdit>(o, "dbeNumero_NFE", "Numero_NFe", "Chave Acesso NF-e", 8, 92, 380);
    dbeProtocolo_NFe = FieldEdit<TDBEdit>(o, "dbeProtocolo_NFe", "Protocolo_NFe", "Protocolo NF-e", 400, 92, 200);
    dbeData_Protocolo_NFE =
        FieldEdit<TDBEdit>(o, "dbeData_Protocolo_NFE", "Data_Protocolo_NFe", "Data Protocolo NF-e", 612, 92, 140);
    for (TDBEdit* e : {dbeNumero_NFE, dbeProtocolo_NFe, dbeData_Protocolo_NFE}) e->SetReadOnly(true);
    DBMemo2 = PlaceDB<TDBMemo>(this, o, "DBMemo2", dsMain, "Dados_Adicionais_Contribuinte", 8, 156, 820, 120);
    PlaceLabel(this, o, "Dados Adicionais de Interesse do Contribuinte", 8, 140, DBMemo2);
    DBMemo2->SetMaxLength(250);
    KeepKeysInside(DBMemo2);
    DBMemo2->OnKeyPress = [this](TObject* s, char32_t& k) { DBMemo2KeyPress(s, k); };

    // Editar and Excluir follow the invoice's NF-e state, so a window kept in
    // front while its invoice is authorised or cancelled shows at once that
    // it can no longer change.
    auto changeable = [this] { return StateAllows(qryNota_Fiscal->FieldByName("Situacao_NFE")->AsString()); };
    btnEdit->Allowed = changeable;
    btnDelete->Allowed = changeable;

    frmNota200 = this;
}

TfrmNota200::~TfrmNota200() {
    if (frmNota200 == this) frmNota200 = nullptr;
}

InvoicePolicy& TfrmNota200::Policy() const { return static_cast<InvoicePolicy&>(Core->Policy()); }

void TfrmNota200::btnInsertClick(TObject* Sender) {
    dbeId_Serie_Documento->SetReadOnly(false);
    DocumentForm::btnInsertClick(Sender);
}

void TfrmNota200::btnEditClick(TObject* Sender) {
    // A saved invoice keeps its series: its key and its items carry it.
    dbeId_Serie_Documento->SetReadOnly(true);
    DocumentForm::btnEditClick(Sender);
}

void TfrmNota200::DBButton3Click(TObject*) {
    std::string found = SearchInvoice ? SearchInvoice() : Pesquisa_Nota_Fiscal_Registro();
    // Series first, then the number in its last seven digits.
    if (found.size() < 8) return;
    int serie = StrToIntDef(found.substr(0, found.size() - 7), -1);
    int numero = StrToIntDef(found.substr(found.size() - 7), -1);
    if (serie < 0 || numero < 0) return;
    Core->Header()->Locate("Id_Serie_Documento;Id_Nota_Fiscal", VarArrayOf({Variant(serie), Variant(numero)}), {});
}

void TfrmNota200::btnPedidoClick(TObject*) {
    Box("Esta opção permitirá importar pedidos digitados diretamente pelos vendedores !", "Em desenvolvimento");
}

void TfrmNota200::dbeId_Serie_DocumentoExit(TObject*) { Proximo_Numero_NF(); }

void TfrmNota200::dbeData_emissaoExit(TObject*) {
    if (dbeId_CFOP->CanFocus()) dbeId_CFOP->SetFocus();
}

void TfrmNota200::DBMemo2KeyPress(TObject*, char32_t& Key) {
    // One paragraph: the NF-e's additional information has no line breaks.
    if (Key == 13) Key = 0;
}
