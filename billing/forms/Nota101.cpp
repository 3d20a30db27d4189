#include "billing/forms/Nota101.h"

#include "billing/data/Utils.h"
#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/Pesquisa.h"
#include "billing/forms/RegisterExtras.h"
#include "platform/rtl/Strings.h"

using namespace billing::forms;

TfrmNota101* frmNota101 = nullptr;

TfrmNota101::TfrmNota101(TComponent* AOwner)
    : RegisterForm(AOwner, "Cadastro de Produtos - NOTA101", "Produto",
                   "select * from produto order by id_produto_estrutura", "id_produto_estrutura") {
    SetName("frmNota101");
    qryProduto = qry;
    qryProduto->SetName("qryProduto");
    SetBounds(0, 0, 860, 420);

    auto edit = [this](TWinControl* Parent, const std::string& Field, const std::string& Caption, int Left, int Top,
                       int Width) { return PlaceField<TDBEdit>(this, Parent, Field, Caption, Left, Top, Width); };
    auto panel = [this](TWinControl* Parent, const std::string& Name, int Left, int Top, int Width) {
        return PlaceDescricao(this, Parent, Name, Left, Top, Width);
    };
    auto lookup = [this](TWinControl* Parent, const std::string& Field, const std::string& Caption, int Left,
                         int Top) { return PlaceField<TexDBComboDlg>(this, Parent, Field, Caption, Left, Top, 70); };

    TWinControl* d = pnlDados;
    dbeId_Produto_estrutura = edit(d, "Id_Produto_estrutura", "Código", 12, 8, 120);
    dbeDescricao_Abreviada = edit(d, "Descricao_Abreviada", "Desc Abreviada", 144, 8, 200);
    dbeDescricao = edit(d, "Descricao", "Descrição", 356, 8, 380);
    dbeTipo = PlaceLista(this, d, "Tipo", "Tipo", 12, 52, 110, {"Analítica", "Redutora", "Título"});
    dbeId_Produto = edit(d, "Id_Produto", "Reduzida", 134, 52, 70);
    dbeId_Unidade_Medida = lookup(d, "Id_Unidade_Medida", "Un Medida", 216, 52);
    PUnidade_Medida = panel(d, "PUnidade_Medida", 292, 52, 200);
    dbePreco_Venda = edit(d, "Preco_Venda", "Preço de Venda", 12, 96, 120);
    dbeFator_Peso = edit(d, "Fator_Peso", "Fator Peso", 144, 96, 90);
    dbeEAN = edit(d, "EAN", "EAN", 246, 96, 140);
    dbePeca = edit(d, "Peca", "Peça", 398, 96, 80);

    auto taxes = [&](const std::string& Name, const std::string& Caption, const std::string& Suffix, TPanel*& Panel,
                     TDBEdit*& Aliquota, TexDBComboDlg*& Cst, TDBEdit*& Reducao, int Left) {
        auto* g = Place<TGroupBox>(this, d, Name, Left, 148, 410, 110);
        g->SetCaption(Caption);
        Aliquota = edit(g, "Aliq_ICMS_" + Suffix, "Aliq. ICMS", 12, 24, 70);
        Cst = lookup(g, "Id_CST_" + Suffix, "Sit. Trib", 94, 24);
        Panel = panel(g, "PSituacao_Tributaria_" + Suffix, 170, 24, 230);
        Reducao = edit(g, "RBC_" + Suffix, "Redução", 12, 64, 100);
        return g;
    };
    gbEstadual = taxes("gbEstadual", " Impostos - No Estado ", "Estadual", PSituacao_Tributaria_Estadual,
                       dbeAliq_ICMS_Estadual, dbeId_CST_Estadual, dbeRBC_Estadual, 8);
    gbInterestadual = taxes("gbInterestadual", " Impostos - Fora do Estado ", "Interestadual",
                            PSituacao_Tributaria_Interestadual, dbeAliq_ICMS_Interestadual, dbeId_CST_Interestadual,
                            dbeRBC_Interestadual, 428);

    SetEdits(dbeId_Produto_estrutura, dbeDescricao_Abreviada);
    DressFields(qry, {{"Id_Produto", "#####;0; ", ""},
                      {"EAN", "##############;0; ", ""},
                      // Its own decimals, up to the four an invoice's price takes.
                      {"Preco_Venda", "", "###,###,##0.00##"},
                      {"Fator_Peso", "", "##0.0000"},
                      {"Peca", "", "###,###0"},
                      {"Aliq_ICMS_Estadual", "", "#0.00"},
                      {"RBC_Estadual", "", "#0.000000"},
                      {"Aliq_ICMS_Interestadual", "", "#0.00"},
                      {"RBC_Interestadual", "", "#0.000000"}});
    // The structured code is typed and shown through the product mask of
    // the moment; what is stored stays its digits.
    TDataSetNotifyEvent dressed = qry->AfterOpen;
    qry->AfterOpen = [dressed](TDataSet* ds) {
        if (dressed) dressed(ds);
        ds->FieldByName("Id_Produto_estrutura")->SetEditMask(dmdb->Get_Var("mascara_produto"));
    };

    unidade_ = {dbeId_Unidade_Medida, PUnidade_Medida, "Unidade_Medida", "descricao", "id_unidade_Medida",
                [] { return Pesquisa_Unidade_Medida(); }};
    cstEstadual_ = {dbeId_CST_Estadual, PSituacao_Tributaria_Estadual, "situacao_tributaria", "descricao",
                    "id_situacao_tributaria", [] { return Pesquisa_Situacao_Tributaria(); }};
    cstInterestadual_ = {dbeId_CST_Interestadual, PSituacao_Tributaria_Interestadual, "situacao_tributaria",
                         "descricao", "id_situacao_tributaria", [] { return Pesquisa_Situacao_Tributaria(); }};
    AddLookup(unidade_);
    AddLookup(cstEstadual_);
    AddLookup(cstInterestadual_);

    dbeId_Produto_estrutura->OnExit = [this](TObject*) { Atribui_Codigo_Produto(); };
    dbeId_Produto->OnExit = [this](TObject*) { Atribui_Codigo_Produto(); };
    dbeDescricao_Abreviada->OnExit = [this](TObject* s) { dbeDescricao_AbreviadaExit(s); };

    AddCheck("O Código Estruturado do produto não foi informado.", [this] { return !Blank("Id_Produto_estrutura"); });
    AddCheck("A Descrição Abreviada não foi informado.", [this] { return !Blank("Descricao_Abreviada"); });
    AddCheck("A Descrição não foi informado.", [this] { return !Blank("Descricao"); });
    AddCheck("O Tipo de Produto não foi informado.", [this] { return !Blank("tipo"); });
    AddCheck("A Unidade de Medida não foi informado.", [this] { return !Missing(PUnidade_Medida); });
    AddCheck("O código da CST no estado não foi informado.",
             [this] { return !Missing(PSituacao_Tributaria_Estadual); });
    AddCheck("O código da CST fora do estado não foi informado.",
             [this] { return !Missing(PSituacao_Tributaria_Interestadual); });
    AddUniqueKey("id_produto", "O Código do Produto ");
    AddUniqueKey("id_produto_estrutura", "O Código Estruturado ");
    ReportKeyClash(qry, [this] {
        return "O Código do Produto \"" + qry->FieldByName("id_produto")->AsString() + "\" já existe.";
    });
    frmNota101 = this;
}

TfrmNota101::~TfrmNota101() {
    qry->OnPostError = nullptr;
    qry->AfterOpen = nullptr;
    if (frmNota101 == this) frmNota101 = nullptr;
}

std::string TfrmNota101::Search() { return Pesquisa_Produto_Estrutura(); }

void TfrmNota101::NewRow(TDataSet* DataSet) { DataSet->FieldByName("tipo")->SetAsString("Analítica"); }

std::string TfrmNota101::CodigoReduzido(const std::string& Reduzida, const std::string& Estruturado) {
    std::string s = Trim(Reduzida);
    if (s.empty()) s = Copy(Estruturado, 1, 5);
    int n = 0;
    if (!TryStrToInt(s, n) || n < 0) n = 0;
    return IntToStrZero(n, 5);
}

void TfrmNota101::Atribui_Codigo_Produto() {
    if (qry->State() != dsInsert) return;
    qry->FieldByName("Id_Produto")
        ->SetAsString(CodigoReduzido(qry->FieldByName("Id_Produto")->AsString(),
                                     qry->FieldByName("Id_Produto_estrutura")->AsString()));
}

void TfrmNota101::dbeDescricao_AbreviadaExit(TObject*) {
    if (qry->State() != dsEdit && qry->State() != dsInsert) return;
    if (!Blank("descricao")) return;
    qry->FieldByName("descricao")->SetAsString(Trim(qry->FieldByName("descricao_abreviada")->AsString()));
}

void TfrmNota101::Mostra_Unidade_Medida() { Mostra(unidade_); }

void TfrmNota101::Mostra_Situacao_Tributaria() {
    Mostra(cstEstadual_);
    Mostra(cstInterestadual_);
}

void TfrmNota101::btnInsertClick(TObject* Sender) {
    dbeId_Produto->SetReadOnly(false);
    RegisterForm::btnInsertClick(Sender);
}

void TfrmNota101::btnEditClick(TObject* Sender) {
    dbeId_Produto->SetReadOnly(true);
    RegisterForm::btnEditClick(Sender);
}
