#include "billing/forms/Pesquisa.h"

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "memtable/mtMemTable.h"
#include "platform/db/SQLQuery.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"

using namespace billing::forms;

TfrmPesquisa* frmPesquisa = nullptr;
TfrmLocalizar* frmLocalizar = nullptr;

// ---------------------------------------------------------------------------
// TfrmPesquisa

TfrmPesquisa::TfrmPesquisa(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmPesquisa");
    SetCaption("Pesquisa");
    SetPosition(poDesktopCenter);
    SetBounds(0, 0, 620, 420);

    PopupMenu1 = new TPopupMenu(this);
    mnuLocalizar = new TMenuItem(this);
    mnuLocalizar->SetCaption("&Localizar");
    mnuLocalizar->SetShortCut(ShortCut('L', TShiftState{ssCtrl}));
    mnuLocalizar->OnClick = [this](TObject* s) { mnuLocalizarClick(s); };
    mnuOk = new TMenuItem(this);
    mnuOk->SetCaption("&OK");
    mnuOk->OnClick = [this](TObject* s) { mnuOkClick(s); };
    mnuCancelar = new TMenuItem(this);
    mnuCancelar->SetCaption("&Cancelar");
    mnuCancelar->OnClick = [this](TObject* s) { mnuCancelarClick(s); };
    PopupMenu1->Items()->Add(mnuLocalizar);
    PopupMenu1->Items()->Add(mnuOk);
    PopupMenu1->Items()->Add(mnuCancelar);

    auto* bar = Place<TPanel>(this, this, "pnlBotoes", 0, 0, 620, 36);
    bar->SetAlign(alTop);
    btnLocalizar = Place<TButton>(this, bar, "btnLocalizar", 4, 4, 90, 28);
    btnLocalizar->SetCaption("&Localizar");
    btnLocalizar->OnClick = [this](TObject* s) { mnuLocalizarClick(s); };
    BitBtn1 = Place<TButton>(this, bar, "BitBtn1", 98, 4, 90, 28);
    BitBtn1->SetCaption("&OK");
    BitBtn1->OnClick = [this](TObject* s) { mnuOkClick(s); };
    BitBtn2 = Place<TButton>(this, bar, "BitBtn2", 192, 4, 90, 28);
    BitBtn2->SetCaption("&Cancelar");
    BitBtn2->SetCancel(true);
    BitBtn2->OnClick = [this](TObject* s) { BitBtn2Click(s); };

    StatusBar = Place<TStatusBar>(this, this, "StatusBar", 0, 396, 620, 24);
    StatusBar->SetAlign(alBottom);
    StatusBar->AddPanel()->SetText("Registros:");
    StatusBar->Panels(0)->SetWidth(70);
    StatusBar->AddPanel()->SetWidth(90);
    StatusBar->AddPanel()->SetText(" Clique em OK, ou dê um duplo clique para selecionar");
    StatusBar->Panels(2)->SetWidth(400);

    dsMain = new TDataSource(this);
    dsMain->SetName("dsMain");
    dsMain->SetAutoEdit(false);
    dbGrid = Place<TexDBGrid>(this, this, "dbGrid", 0, 36, 620, 360);
    dbGrid->SetAlign(alClient);
    dbGrid->SetDataSource(dsMain);
    dbGrid->SetReadOnly(true);
    dbGrid->SetAlternatingRowColor(true);
    dbGrid->SetOptions(TDBGridOptions{dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgRowSelect,
                                      dgAlwaysShowSelection});
    dbGrid->SetPopupMenu(PopupMenu1);
    dbGrid->OnKeyPress = [this](TObject* s, char32_t& k) { dbGridKeyPress(s, k); };
    dbGrid->OnKeyDown = [this](TObject* s, Word& k, TShiftState sh) { dbGridKeyDown(s, k, sh); };
    dbGrid->OnDblClick = [this](TObject* s) { mnuOkClick(s); };

    OnShow = [this](TObject* s) { FormShow(s); };
    frmPesquisa = this;
}

TfrmPesquisa::~TfrmPesquisa() {
    if (frmPesquisa == this) frmPesquisa = nullptr;
}

void TfrmPesquisa::FormShow(TObject*) {
    TDataSet* data = dsMain->DataSet();
    int count = data != nullptr && data->Active() ? data->RecordCount() : 0;
    StatusBar->Panels(1)->SetText(FormatFloat("###,###,##0;0; ", count));
    SetActiveControl(dbGrid);
}

void TfrmPesquisa::mnuOkClick(TObject*) { SetModalResult(mrOk); }
void TfrmPesquisa::mnuCancelarClick(TObject*) { SetModalResult(mrCancel); }
void TfrmPesquisa::BitBtn2Click(TObject*) { SetModalResult(mrCancel); }
void TfrmPesquisa::mnuLocalizarClick(TObject*) { Dialogo_Localizar(""); }

void TfrmPesquisa::Dialogo_Localizar(const std::string& Inicio) {
    TfrmLocalizar dialog(this);
    dialog.dsMain->SetDataSet(dsMain->DataSet());
    dialog.CampoDefault = CampoDefault;
    if (!Inicio.empty()) dialog.edtLocalizar->SetText(Inicio);
    dialog.ShowModal();
}

void TfrmPesquisa::dbGridKeyPress(TObject*, char32_t& Key) {
    // A typed letter starts a search with that letter instead of reaching
    // the read-only grid.
    if (Key >= 32 && Key <= 128) {
        char32_t typed = Key;
        Key = 0;
        std::string text;
        if (typed < 0x80) text = std::string(1, static_cast<char>(typed));
        else text = "\xC2\x80";  // code 128, as one character
        Dialogo_Localizar(text);
    }
}

void TfrmPesquisa::dbGridKeyDown(TObject*, Word& Key, TShiftState) {
    if (Key == VK_RETURN) {
        Key = 0;
        SetModalResult(mrOk);
    } else if (Key == VK_ESCAPE) {
        Key = 0;
        SetModalResult(mrCancel);
    }
}

// ---------------------------------------------------------------------------
// TfrmLocalizar

TfrmLocalizar::TfrmLocalizar(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmLocalizar");
    SetCaption("Localizar");
    SetBorderStyle(bsDialog);
    SetPosition(poDesktopCenter);
    SetBounds(0, 0, 400, 200);

    cbFields = Place<TComboBox>(this, this, "cbFields", 110, 12, 270, 23);
    cbFields->SetStyle(csDropDownList);
    PlaceLabel(this, this, "E&xaminar:", 16, 16, cbFields);
    edtLocalizar = Place<TEdit>(this, this, "edtLocalizar", 110, 42, 270, 23);
    edtLocalizar->SetAutoSelect(false);
    // Its own letter: "&OK" has the O.
    PlaceLabel(this, this, "&Localizar:", 16, 46, edtLocalizar);
    cbCoincidir = Place<TComboBox>(this, this, "cbCoincidir", 110, 72, 270, 23);
    cbCoincidir->SetStyle(csDropDownList);
    cbCoincidir->Items()->Add("Qualquer parte do Campo");
    cbCoincidir->Items()->Add("Campo Inteiro");
    PlaceLabel(this, this, "Coincin&dir:", 16, 76, cbCoincidir);
    chkMaiscula = Place<TCheckBox>(this, this, "chkMaiscula", 110, 102, 270, 23);
    chkMaiscula->SetCaption("Diferenciar &Maiúsculas de Minúsculas");
    btnOk = Place<TButton>(this, this, "btnOk", 194, 140, 90, 28);
    btnOk->SetCaption("&OK");
    btnOk->SetDefault(true);
    btnOk->OnClick = [this](TObject* s) { btnOkClick(s); };
    btnCancelar = Place<TButton>(this, this, "btnCancelar", 290, 140, 90, 28);
    btnCancelar->SetCaption("&Cancelar");
    btnCancelar->SetCancel(true);
    btnCancelar->OnClick = [this](TObject* s) { btnCancelarClick(s); };

    auto* fields = new TmtMemTable(this);
    fields->SetName("tbFields");
    fields->FieldDefs()->Add("campo_nome", ftString, 60);
    fields->FieldDefs()->Add("campo_label", ftString, 60);
    tbFields = fields;
    dsMain = new TDataSource(this);
    OnShow = [this](TObject* s) { FormShow(s); };
    frmLocalizar = this;
}

TfrmLocalizar::~TfrmLocalizar() {
    if (frmLocalizar == this) frmLocalizar = nullptr;
}

void TfrmLocalizar::FormShow(TObject*) {
    SetCaption("Localizar");
    if (!tbFields->Active()) tbFields->Open();
    while (!tbFields->IsEmpty()) tbFields->Delete();
    std::string remembered;
    TDataSet* data = dsMain->DataSet();
    if (cbFields->Items()->Count() == 0 && data != nullptr) {
        cbFields->SetSorted(true);
        for (int i = 0; i < data->FieldCount(); ++i) {
            TField* f = data->Fields()->Fields(i);
            if (IsBlobType(f->DataType())) continue;
            tbFields->Append();
            tbFields->FieldByName("campo_nome")->SetAsString(f->FieldName());
            tbFields->FieldByName("campo_label")->SetAsString(f->DisplayLabel());
            tbFields->Post();
            cbFields->Items()->Add(f->DisplayLabel());
            if (AnsiUpperCase(f->FieldName()) == AnsiUpperCase(CampoDefault)) remembered = f->DisplayLabel();
        }
    }
    // A search without a default column (or one its query lacks) still
    // starts on a column a clerk types into: the first text one.
    if (remembered.empty() && data != nullptr) {
        for (int i = 0; i < data->FieldCount() && remembered.empty(); ++i) {
            TField* f = data->Fields()->Fields(i);
            if (f->DataType() == ftString || f->DataType() == ftWideString) remembered = f->DisplayLabel();
        }
        if (remembered.empty() && cbFields->Items()->Count() > 0) remembered = cbFields->Items()->Strings(0);
    }
    cbFields->SetItemIndex(cbFields->Items()->IndexOf(remembered));
    cbCoincidir->SetItemIndex(0);
    SetActiveControl(edtLocalizar);
    if (!edtLocalizar->Text().empty()) {
        edtLocalizar->SetSelLength(0);
        edtLocalizar->SetSelStart(static_cast<int>(QString::fromStdString(edtLocalizar->Text()).size()));
    }
}

void TfrmLocalizar::btnOkClick(TObject*) {
    bool whole = cbCoincidir->Text() == "Campo Inteiro";
    bool matchCase = chkMaiscula->Checked();
    std::string label = cbFields->Text();
    std::string text = edtLocalizar->Text();
    if (!tbFields->Active() || !tbFields->Locate("campo_label", label, {})) {
        ShowMessage("Erro interno ao localizar campo \"" + label + "\"");
    } else if (TDataSet* data = dsMain->DataSet(); data != nullptr) {
        std::string field = tbFields->FieldByName("campo_nome")->AsString();
        bool found;
        if (whole && matchCase) {
            found = data->Locate(field, text, {});
        } else {
            found = FindAnywhere(data, field, text, matchCase, whole);
        }
        if (!found)
            Box("\"" + text + "\" não foi encontrado em \"" + label + "\".", "Localizar", mtInformation);
    }
    SetModalResult(mrOk);
}

bool TfrmLocalizar::FindAnywhere(TDataSet* Data, const std::string& Field, const std::string& Text, bool MatchCase,
                                 bool Whole) {
    if (Text.empty() || !Data->Active()) return false;
    TField* f = Data->FieldByName(Field);
    TBookmark start = Data->GetBookmark();
    bool found = false;
    Data->DisableControls();
    try {
        for (Data->First(); !Data->Eof(); Data->Next()) {
            std::string value = f->AsString();
            // Without the case box a clerk types names as they come, without
            // accents or capitals: only the letters count.
            const bool match = Whole       ? AnsiSameLetters(value, Text)
                               : MatchCase ? AnsiContainsStr(value, Text)
                                           : AnsiContainsLetters(value, Text);
            if (match) {
                found = true;
                break;
            }
        }
        // Not found: the row the user was on.
        if (!found && !start.empty() && Data->BookmarkValid(start)) Data->GotoBookmark(start);
    } catch (...) {
        Data->EnableControls();
        throw;
    }
    Data->EnableControls();
    return found;
}

void TfrmLocalizar::btnCancelarClick(TObject*) { SetModalResult(mrCancel); }

// ---------------------------------------------------------------------------
// The lookup routine and the registers' lookups

namespace billing::forms {

std::string Pesquisa(const LookupParams& Params, const std::vector<std::string>& Columns) {
    std::string result;
    TSQLQuery query(nullptr);
    query.SetConnection(dmdb->ADOConnection);
    query.SetSQL(Params[1]);
    query.Open();
    // Money reads as money: "230,00", not "230".
    for (TField* field : query.Fields()->List()) {
        auto* number = dynamic_cast<TFloatField*>(field);
        const std::string name = AnsiLowerCase(field->FieldName());
        if (number != nullptr && (name.rfind("valor", 0) == 0 || name.rfind("preco", 0) == 0))
            number->SetDisplayFormat("###,###,##0.00");
    }
    for (const std::string& column : Columns) {
        std::string name = dmdb->XParamStr(column, 1);
        if (name.empty()) continue;
        TField* field = query.FieldByName(name);
        field->SetDisplayLabel(dmdb->XParamStr(column, 2));
        if (!dmdb->XParamStr(column, 3).empty()) field->SetEditMask("##.###.###/####-##;0; ");
        // Only a whole number is a width ("12abc" or "7.5" is a mistake, not
        // 12 or 7); anything else keeps the field's own.
        int width = 0;
        if (TryStrToInt(Trim(dmdb->XParamStr(column, 4)), width) && width > 0) field->SetDisplayWidth(width);
    }
    TfrmPesquisa form(nullptr);
    form.dsMain->SetDataSet(&query);
    form.SetCaption("Pesquisar - " + Params[0]);
    form.CampoDefault = Params[3];
    if (form.ShowModal() == mrOk && !query.IsEmpty()) {
        if (TField* key = query.FindField(Params[2]); key != nullptr) result = key->AsString();
    }
    form.dsMain->SetDataSet(nullptr);
    return result;
}

}  // namespace billing::forms

using billing::forms::Pesquisa;

std::string Pesquisa_cfop() {
    return Pesquisa({"CFOP", "select id_cfop, descricao from cfop order by descricao", "id_cfop", "descricao"},
                    {"id_cfop;CFOP", "descricao;Descriçao"});
}

std::string Pesquisa_Cliente() {
    return Pesquisa({"Cliente", "select id_cliente, nome_fantasia, nome from Cliente order by nome_fantasia",
                     "id_cliente", "nome_fantasia"},
                    {"id_cliente;Código", "nome_fantasia;Nome Fantasia", "nome;Nome"});
}

std::string Pesquisa_Vendedor() {
    return Pesquisa({"Vendedor", "select id_vendedor, nome from Vendedor order by nome", "id_vendedor", "nome"},
                    {"id_vendedor;Código", "nome;Nome"});
}

std::string Pesquisa_Usuario() {
    return Pesquisa({"Usuario", "select id_usuario, nome from Usuario order by nome", "id_usuario", "nome"},
                    {"id_Usuario;Usuario", "nome;Nome"});
}

std::string Pesquisa_Transportador() {
    return Pesquisa({"Transportador",
                     "select id_transportador, nome, modelo_veiculo, placa_veiculo from Transportador order by nome",
                     "id_transportador", ""},
                    {"id_transportador;Código", "nome;Nome", "Modelo_Veiculo;Modelo", "Placa_Veiculo;Placa"});
}

std::string Pesquisa_Unidade_Medida() {
    return Pesquisa({"Unidade Medida", "select id_unidade_Medida, descricao from Unidade_Medida order by descricao",
                     "id_unidade_medida", "descricao"},
                    {"id_unidade_Medida;UN", "descricao;Descrição"});
}

std::string Pesquisa_Conta_Corrente() {
    return Pesquisa({"Conta Corrente",
                     "select id_conta_corrente, descricao from Conta_Corrente order by Descricao",
                     "id_conta_corrente", "descricao"},
                    {"id_conta_corrente;Código", "descricao;Descricao"});
}

std::string Pesquisa_Condicao_Pagamento() {
    return Pesquisa({"Condição Pagamento",
                     "select id_condicao_pagamento, descricao from Condicao_Pagamento order by descricao",
                     "id_condicao_pagamento", "descricao"},
                    {"id_condicao_pagamento;Código", "descricao;Descrição"});
}

std::string Pesquisa_Nota_Fiscal() {
    return Pesquisa({"Nota Fiscal",
                     "SELECT Nota_Fiscal.Id_Nota_Fiscal, Nota_Fiscal.Id_Serie_Documento, Nota_Fiscal.Data_Emissao, "
                     "Cliente.Nome_Fantasia, Nota_Fiscal.Valor_Total_Nota FROM Cliente INNER JOIN Nota_Fiscal ON "
                     "Cliente.Id_Cliente = Nota_Fiscal.Id_Cliente order by id_nota_fiscal",
                     "id_nota_fiscal", "id_nota_fiscal"},
                    {"id_nota_fiscal;NF", "id_serie_documento;Série", "data_emissao;Dt Emissão",
                     "nome_fantasia;Nome Fantasia", "valor_total_nota;Valor Total"});
}

std::string Pesquisa_Romaneio() {
    return Pesquisa({"Romaneios",
                     "SELECT Romaneio.Id_Romaneio, Romaneio.Data_Emissao, Cliente.Nome_Fantasia, Romaneio.Valor_Total "
                     "FROM Cliente INNER JOIN Romaneio ON Cliente.Id_Cliente = Romaneio.Id_Cliente ORDER BY "
                     "Romaneio.Id_Romaneio",
                     "id_romaneio", "id_romaneio"},
                    {"id_romaneio;Romaneio", "data_emissao;Data", "nome_fantasia;Nome Cliente",
                     "valor_total;Valor Total"});
}

std::string Pesquisa_Produto_Estrutura() {
    return Pesquisa({"Produto", "select id_produto_estrutura, descricao from produto order by id_produto_estrutura",
                     "id_produto_estrutura", "descricao"},
                    {"id_produto_estrutura;Código", "descricao;Descriçao"});
}

std::string Pesquisa_Produto() {
    // The text is a literal, not a column: single quotes for SQLite.
    return Pesquisa({"Produto",
                     "select id_produto, descricao_abreviada from produto where Tipo <> 'Título' order by "
                     "descricao_abreviada",
                     "id_produto", "descricao_abreviada"},
                    {"id_produto;Reduzida", "descricao_abreviada;Descriçao"});
}

std::string Pesquisa_Febraban() {
    // The clerk knows a bank by the name it is registered under ("Banco do
    // Brasil S.A."), not by the clearing house's abbreviation ("BCO DO
    // BRASIL S.A."): the search shows and looks in the full name, the short
    // one beside it.
    return Pesquisa({"Febraban", "select id_febraban, nome, nome_fantasia from febraban order by nome", "id_febraban",
                     "nome"},
                    {"id_febraban;Código", "nome;Nome;;42", "nome_fantasia;Fantasia;;22"});
}

std::string Pesquisa_Situacao_Tributaria() {
    return Pesquisa({"Situação Tributária",
                     "select id_situacao_tributaria, descricao from situacao_tributaria order by id_situacao_tributaria",
                     "id_situacao_tributaria", "descricao"},
                    {"id_situacao_tributaria;Código", "descricao;Descrição"});
}

std::string Pesquisa_Municipio() {
    return Pesquisa({"Municípios",
                     "SELECT Municipio.id_municipio, Municipio.nome, UF.uf from UF INNER JOIN Municipio ON UF.id_uf = "
                     "Municipio.id_uf ORDER BY Municipio.nome",
                     "id_municipio", "nome"},
                    {"id_municipio;Código", "nome;Nome", "uf;UF"});
}

std::string Pesquisa_Serie_Documento() {
    return Pesquisa({"Série Documento", "SELECT * from Serie_Documento", "id_serie_documento", "id_serie_documento"},
                    {"id_serie_documento;Série", "proximo_numero;Próximo Número"});
}
