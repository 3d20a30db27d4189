#include "billing/forms/Nota100.h"

#include "billing/data/InscricaoEstadual.h"
#include "billing/data/Utils.h"
#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/Pesquisa.h"
#include "billing/forms/RegisterExtras.h"
#include "platform/db/SQLQuery.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Strings.h"

using namespace billing::forms;

TfrmNota100* frmNota100 = nullptr;

namespace {

constexpr int kFantasiaSize = 25;  // cliente.Nome_Fantasia
constexpr long long kLastCode = 999999;

bool AllDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

bool Editing(const TDataSet* d) { return d->State() == dsEdit || d->State() == dsInsert; }

}  // namespace

TfrmNota100::TfrmNota100(TComponent* AOwner)
    : RegisterForm(AOwner, "Clientes - NOTA100", "Cliente", "select * from Cliente order by Id_Cliente",
                   "Id_Cliente") {
    SetName("frmNota100");
    qryCliente = qry;
    qryCliente->SetName("qryCliente");
    SetBounds(0, 0, 860, 560);

    PageControl1 = Place<TPageControl>(this, pnlDados, "PageControl1", 4, 4, 850, 500);
    PageControl1->SetAlign(alClient);
    auto page = [this](const std::string& Name, const std::string& Caption) {
        auto* t = new TTabSheet(this);
        t->SetName(Name);
        t->SetPageControl(PageControl1);
        t->SetCaption(Caption);
        return t;
    };
    tsGeral = page("tsGeral", "&Geral");
    tsComunicacao = page("tsComunicacao", "Com&unicação");
    tsFinanceiro = page("tsFinanceiro", "F&inanceiro");
    tsObservacoes = page("tsObservacoes", "&Observações");

    auto edit = [this](TWinControl* Parent, const std::string& Field, const std::string& Caption, int Left, int Top,
                       int Width) { return PlaceField<TDBEdit>(this, Parent, Field, Caption, Left, Top, Width); };
    auto lookup = [this](TWinControl* Parent, const std::string& Name, const std::string& Field,
                         const std::string& Caption, int Left, int Top, int Width) {
        return PlaceField<TexDBComboDlg>(this, Parent, Field, Caption, Left, Top, Width, Name);
    };
    auto panel = [this](TWinControl* Parent, const std::string& Name, int Left, int Top, int Width) {
        return PlaceDescricao(this, Parent, Name, Left, Top, Width);
    };
    auto combo = [this](TWinControl* Parent, const std::string& Field, const std::string& Caption, int Left, int Top,
                        int Width, std::initializer_list<const char*> Items) {
        return PlaceLista(this, Parent, Field, Caption, Left, Top, Width, Items);
    };

    // "Geral"
    TWinControl* g = tsGeral;
    dbeId_Cliente = edit(g, "Id_Cliente", "Código", 8, 4, 90);
    dbeData_Cadastro = PlaceField<TexDBDateTimePicker>(this, g, "Data_Cadastro", "Data Cadastro", 110, 4, 110);
    dbeNome = edit(g, "Nome", "Nome", 8, 48, 380);
    dbeNome_Fantasia = edit(g, "Nome_Fantasia", "Nome Fantasia", 400, 48, 200);
    dbeNatureza = combo(g, "Natureza", "Natureza", 612, 48, 110, {"Física", "Jurídica"});
    dbeCPF_CNPJ = edit(g, "CPF_CNPJ", "CNPJ/CPF", 8, 92, 160);
    dbeIE_RG = edit(g, "IE_RG", "IE/RG", 180, 92, 180);
    dbeEndereco = edit(g, "Endereco", "Endereço", 8, 136, 300);
    dbeNumero_Endereco = edit(g, "Numero_Endereco", "Número", 320, 136, 80);
    dbeEndereco_Complemento = edit(g, "Endereco_Complemento", "Complemento", 412, 136, 200);
    dbeBairro = edit(g, "Bairro", "Bairro", 624, 136, 200);
    dbeId_Municipio = lookup(g, "dbeId_Municipio", "Id_Municipio", "Município", 8, 180, 90);
    PMunicipio = panel(g, "PMunicipio", 104, 180, 300);
    PUF_Municipio = panel(g, "PUF_Municipio", 410, 180, 40);
    dbeCep = edit(g, "Cep", "CEP", 462, 180, 90);

    auto* cobranca = Place<TGroupBox>(this, g, "gbCobranca", 4, 226, 836, 150);
    cobranca->SetCaption(" Endereço de Cobrança ");
    dbeEndereco_Cobranca = edit(cobranca, "Endereco_Cobranca", "Endereço", 8, 20, 300);
    dbeNumero_Endereco_Cobranca = edit(cobranca, "Numero_Endereco_Cobranca", "Número", 320, 20, 80);
    dbeEndereco_Cobranca_Complemento =
        edit(cobranca, "Endereco_Cobranca_Complemento", "Complemento", 412, 20, 200);
    dbeBairro_Cobranca = edit(cobranca, "Bairro_Cobranca", "Bairro", 624, 20, 200);
    dbeId_Municipio_Cobranca =
        lookup(cobranca, "dbeId_Municipio_Cobranca", "Id_Municipio_Cobranca", "Município", 8, 66, 90);
    PMunicipio_Cobranca = panel(cobranca, "PMunicipio_Cobranca", 104, 66, 300);
    PUF_Municipio_Cobranca = panel(cobranca, "PUF_Municipio_Cobranca", 410, 66, 40);
    dbeCep_Cobranca = edit(cobranca, "Cep_Cobranca", "CEP", 462, 66, 90);

    dbeBloqueado = PlaceDB<TDBCheckBox>(this, g, "dbeBloqueado", dsMain, "Bloqueado", 8, 388, 110, 23);
    dbeBloqueado->SetCaption("&Bloqueado");
    dbeInativo = PlaceDB<TDBCheckBox>(this, g, "dbeInativo", dsMain, "Inativo", 130, 388, 110, 23);
    dbeInativo->SetCaption("Inati&vo");
    for (TDBCheckBox* c : {dbeBloqueado, dbeInativo}) {
        c->SetValueChecked("Sim");
        c->SetValueUnchecked("Não");
    }
    // The copy of the address, drawn at the foot of the billing address, is
    // no field: Tab reaches it after the page's last field, its letter at once.
    btnDuplica = Place<TButton>(this, g, "btnDuplica", cobranca->Left() + 8, cobranca->Top() + 112, 180, 28);
    btnDuplica->SetCaption("Igu&al ao Correspondência");

    // "Comunicação"
    dbeTelefone = edit(tsComunicacao, "Telefone", "Telefone", 8, 4, 130);
    dbeTelefax = edit(tsComunicacao, "Telefax", "Telefax", 150, 4, 130);
    dbeWebsite = edit(tsComunicacao, "Website", "WebSite", 8, 48, 500);
    dbeEmail = edit(tsComunicacao, "Email", "eMail", 8, 92, 500);

    // "Financeiro"
    TWinControl* f = tsFinanceiro;
    dbeBloqueto = combo(f, "Bloqueto", "Bloqueto", 8, 4, 70, {"Sim", "Não"});
    dbeDias_Protesto = edit(f, "Dias_Protesto", "Dias Protesto", 90, 4, 90);
    dbeJuros_Mora = edit(f, "Juros_Mora", "Juros Mora", 192, 4, 90);
    dbeId_Condicao_Pagamento =
        lookup(f, "dbeId_Condicao_Pagamento", "id_condicao_pagamento", "Condição de Pagamento", 8, 48, 90);
    PCondicao_Pagamento = panel(f, "PCondicao_Pagamento", 104, 48, 300);
    dbeLimite_Credito = edit(f, "Limite_Credito", "Limite de Crédito", 8, 92, 130);
    dbeFaturamento_Minimo = edit(f, "Faturamento_Minimo", "Faturamento Mínimo", 150, 92, 130);
    dbePercentual_Desconto = edit(f, "Percentual_Desconto", "% Desconto", 292, 92, 90);
    dbeId_Vendedor = lookup(f, "dbeId_Vendedor", "Id_Vendedor", "Vendedor Padrão", 8, 136, 90);
    PVendedor = panel(f, "PVendedor", 104, 136, 300);
    dbeTributado = combo(f, "Tributado", "Tributado", 8, 180, 70, {"Sim", "Não"});

    // "Observações"
    dbmObservacao = PlaceDB<TDBMemo>(this, tsObservacoes, "dbmObservacao", dsMain, "Observacao", 4, 4, 830, 440);
    dbmObservacao->SetAlign(alClient);
    KeepKeysInside(dbmObservacao);

    SetEdits(dbeId_Cliente, dbeNome);

    DressFields(qry, {{"Id_Cliente", "######-#;0; ", ""},
                      {"IE_RG", ">a###################;0; ", ""},
                      {"Cep", "99999-999;0; ", ""},
                      {"Cep_Cobranca", "99999-999;0; ", ""},
                      {"Telefone", kTelefoneMask, ""},
                      {"Telefax", kTelefoneMask, ""},
                      {"Limite_Credito", "", "##,###,###,##0.00"},
                      {"Percentual_Desconto", "", "#0.00%"},
                      {"Juros_Mora", "", "##0.00"},
                      {"Dias_Protesto", "", "##0"},
                      {"Faturamento_Minimo", "", "###,###,##0.00"}});

    vendedor_ = {dbeId_Vendedor, PVendedor, "vendedor", "nome", "id_vendedor", [] { return Pesquisa_Vendedor(); }};
    condicao_ = {dbeId_Condicao_Pagamento, PCondicao_Pagamento, "condicao_pagamento", "descricao",
                 "id_condicao_pagamento", [] { return Pesquisa_Condicao_Pagamento(); }};
    AddLookup(vendedor_);
    AddLookup(condicao_);
    BindMunicipio(qry, dbeId_Municipio, PMunicipio, PUF_Municipio);
    BindMunicipio(qry, dbeId_Municipio_Cobranca, PMunicipio_Cobranca, PUF_Municipio_Cobranca);

    dbeId_Cliente->OnExit = [this](TObject*) { Atribui_Codigo_Cliente(); };
    dbeNome->OnExit = [this](TObject*) { Nome_Fantasia(); };
    dbeNatureza->OnExit = [this](TObject*) { Mascara_CPF_CNPJ(); };
    dbeIE_RG->OnExit = [this](TObject* s) { dbeIE_RGExit(s); };
    btnDuplica->OnClick = [this](TObject*) { Duplica_Endereco(); };

    auto natureza = [this] { return qry->FieldByName("natureza")->AsString(); };
    AddCheck("O Código do Cliente não foi informado.", [this] { return !Blank("Id_Cliente"); });
    AddCheck("O número de telefone informado é inválido.",
             [this] { return Valida_Telefone(qry->FieldByName("telefone")->AsString()); });
    AddCheck("O número do telefax informado é inválido.",
             [this] { return Valida_Telefone(qry->FieldByName("telefax")->AsString()); });
    AddCheck("O Nome não foi informado.", [this] { return !Blank("nome"); });
    AddCheck("A data do cadastro não foi informada.", [this] { return !Blank("data_cadastro"); });
    AddCheck("O CPF/CNPJ não foi informado.", [this] { return !Blank("cpf_cnpj"); });
    AddCheck("O CNPJ é inválido.", [this, natureza] {
        return natureza().rfind('J', 0) != 0 || ValidCgc(qry->FieldByName("cpf_cnpj")->AsString());
    });
    // A company's registration is checked against its municipality's state,
    // and so is a rural producer's, who is usually a natural person.
    AddCheck("A Inscrição Estadual informada não é Válida.", [this, natureza] {
        const std::string ie = qry->FieldByName("ie_rg")->AsString();
        const bool stateRule = natureza().rfind('J', 0) == 0 || billing::data::RuralProducerMark(ie);
        return !stateRule || Blank("ie_rg") || ValidarIE(ie, PUF_Municipio->Caption());
    });
    AddCheck("O CPF é inválido.", [this, natureza] {
        return natureza().rfind('F', 0) != 0 || ValidCpf(qry->FieldByName("cpf_cnpj")->AsString());
    });
    AddCheck("O Endereço não foi informado.", [this] { return !Blank("endereco"); });
    AddCheck("O Número do Endereço não foi informado.", [this] { return !Blank("numero_endereco"); });
    AddCheck("O Bairro não foi informado.", [this] { return !Blank("bairro"); });
    AddCheck("O Município não foi informado.", [this] { return !Missing(PMunicipio); });
    AddCheck("O CEP não foi informado.", [this] { return !Blank("cep"); });
    AddCheck("O CEP não é válido.", [this] { return Length(Trim(qry->FieldByName("cep")->AsString())) == 8; });
    AddCheck("O Vendedor Padrão não foi informado.", [this] { return !Missing(PVendedor); });
    AddCheck("A Condição de Pagamento não foi informada.", [this] { return !Missing(PCondicao_Pagamento); });

    // The code is settled first, then the pattern's checks, then the
    // duplicate tests of a new row.
    auto basePost = qry->BeforePost;
    qry->BeforePost = [this, basePost](TDataSet* d) {
        Atribui_Codigo_Cliente();
        basePost(d);
        DuplicateChecks(d);
    };
    ReportKeyClash(qry, [this] {
        return "O Código de Cliente \"" + qry->FieldByName("Id_Cliente")->AsString() + "\" já existe.";
    });

    FocusOnFirstPageOnly(PageControl1);
    auto baseShow = OnShow;
    OnShow = [this, baseShow](TObject* s) {
        PageControl1->SetActivePageIndex(0);
        baseShow(s);
    };
    frmNota100 = this;
}

TfrmNota100::~TfrmNota100() {
    qry->OnPostError = nullptr;
    if (frmNota100 == this) frmNota100 = nullptr;
}

std::string TfrmNota100::Search() { return Pesquisa_Cliente(); }

std::string TfrmNota100::CodigoCliente(long long Number) {
    if (Number < 0 || Number > kLastCode) return {};
    std::string body = IntToStrZero(Number, 6);
    return body + Dv(body);
}

std::string TfrmNota100::NomeFantasiaDe(const std::string& Nome) {
    // A blank typed before the name is no word of it, and the blank after
    // the first word is none either: stored, it would show in every search
    // and document ("Mercado ").
    std::string nome = TrimLeft(Nome);
    int blank = Pos(" ", nome);
    if (blank == 0) return {};
    return Copy(Copy(nome, 1, blank - 1), 1, kFantasiaSize);
}

bool TfrmNota100::Valida_Telefone(const std::string& Text) {
    std::string t = Trim(Text);
    if (t.empty()) return true;
    // Area code and number: 10 digits, 11 for a mobile number.
    return AllDigits(t) && (t.size() == 10 || t.size() == 11);
}

bool TfrmNota100::ValidarIE(const std::string& Ie, const std::string& Uf) {
    return billing::data::ValidarIE(Trim(Ie), Trim(Uf));
}

void TfrmNota100::NewRow(TDataSet* DataSet) {
    DataSet->FieldByName("data_cadastro")->SetAsDateTime(Date());
    DataSet->FieldByName("bloqueto")->SetAsString("Sim");
    DataSet->FieldByName("natureza")->SetAsString("Jurídica");
    DataSet->FieldByName("tributado")->SetAsString("Sim");
    DataSet->FieldByName("bloqueado")->SetAsString("Não");
    DataSet->FieldByName("inativo")->SetAsString("Não");

    if (auto opcao = Opcoes(); !opcao->IsEmpty()) {
        Variant municipio = opcao->FieldByName("id_municipio")->Value();
        DataSet->FieldByName("id_municipio")->SetValue(municipio);
        DataSet->FieldByName("id_municipio_cobranca")->SetValue(municipio);
        for (const char* column : {"id_vendedor", "id_condicao_pagamento", "limite_credito"})
            DataSet->FieldByName(column)->SetValue(opcao->FieldByName(column)->Value());
    }

    long long next = 1;
    {
        TSQLQuery max(nullptr);
        max.SetConnection(dmdb->ADOConnection);
        max.SetSQL("select max(id_cliente) as id_max from Cliente");
        max.Open();
        if (!max.IsEmpty()) {
            // A stored code that is not a number starts the count again.
            std::string body = Trim(Copy(max.FieldByName("id_max")->AsString(), 1, 6));
            if (AllDigits(body)) next = StrToInt64(body) + 1;
        }
    }
    std::string code = CodigoCliente(next);
    if (code.empty()) {
        DataSet->FieldByName("Id_Cliente")->Clear();
        Box("Os Códigos de Cliente chegaram ao último, 999999. Informe um código livre.", "Atenção");
    } else {
        DataSet->FieldByName("Id_Cliente")->SetAsString(code);
    }
    Mostra_Tudo();
}

void TfrmNota100::Atribui_Codigo_Cliente() {
    if (qry->State() != dsInsert) return;
    TField* id = qry->FieldByName("Id_Cliente");
    std::string body = Trim(Copy(id->AsString(), 1, 6));
    if (AllDigits(body)) id->SetAsString(CodigoCliente(StrToInt64(body)));
    else id->Clear();
}

void TfrmNota100::DuplicateChecks(TDataSet* DataSet) {
    if (DataSet->State() != dsInsert) return;
    std::string code = DataSet->FieldByName("Id_Cliente")->AsString();
    auto duplicate = [](const std::string& Value) { return "O Código de Cliente \"" + Value + "\" já existe."; };
    if (dmdb->JaExisteChave({Variant(code)}, {"id_cliente"}, "Cliente")) Refuse(duplicate(code));
    // Codes written by other releases may carry another check digit: the
    // six-digit body alone names the client.
    {
        TSQLQuery body(nullptr);
        body.SetConnection(dmdb->ADOConnection);
        body.SetSQL("select id_cliente from cliente where substr(id_cliente, 1, 6) = :pcorpo");
        body.ParamByName("pcorpo")->SetValue(Variant(Copy(code, 1, 6)));
        body.Open();
        std::string existing = body.IsEmpty() ? std::string() : body.FieldByName("id_cliente")->AsString();
        body.Close();
        if (!existing.empty()) Refuse(duplicate(existing));
    }
    std::string cpfCnpj = DataSet->FieldByName("cpf_cnpj")->AsString();
    if (dmdb->JaExisteChave({Variant(cpfCnpj)}, {"cpf_cnpj"}, "Cliente"))
        Refuse("O CPF/CNPJ \"" + cpfCnpj + "\" já existe.");
}

void TfrmNota100::Mascara_CPF_CNPJ() { AplicaMascaraCpfCnpj(qry); }

void TfrmNota100::Nome_Fantasia() {
    if (!Editing(qry) || !Blank("nome_fantasia")) return;
    qry->FieldByName("nome_fantasia")->SetAsString(NomeFantasiaDe(qry->FieldByName("nome")->AsString()));
}

void TfrmNota100::Duplica_Endereco() {
    if (!Editing(qry)) return;
    const char* const pairs[][2] = {{"endereco", "endereco_cobranca"},
                                    {"endereco_complemento", "endereco_cobranca_complemento"},
                                    {"bairro", "bairro_cobranca"},
                                    {"Id_Municipio", "Id_Municipio_cobranca"},
                                    {"numero_endereco", "numero_endereco_cobranca"},
                                    {"cep", "cep_cobranca"}};
    for (const auto& p : pairs) qry->FieldByName(p[1])->SetValue(qry->FieldByName(p[0])->Value());
    Mostra_Municipio_Cobranca();
}

void TfrmNota100::dbeIE_RGExit(TObject*) {
    if (!Editing(qry)) return;
    TField* ie = qry->FieldByName("ie_rg");
    ie->SetAsString(dmdb->CorrigeIE(ie->AsString()));
}

void TfrmNota100::Mostra_Vendedor() { Mostra(vendedor_); }
void TfrmNota100::Mostra_Condicao_Pagamento() { Mostra(condicao_); }

void TfrmNota100::Mostra_Municipio() {
    MostraMunicipio(qry->Active() ? qry->FieldByName("Id_Municipio") : nullptr, PMunicipio, PUF_Municipio);
}

void TfrmNota100::Mostra_Municipio_Cobranca() {
    MostraMunicipio(qry->Active() ? qry->FieldByName("Id_Municipio_Cobranca") : nullptr, PMunicipio_Cobranca,
                    PUF_Municipio_Cobranca);
}

void TfrmNota100::Mostra_Tudo() {
    RegisterForm::Mostra_Tudo();  // seller and payment terms
    Mostra_Municipio();
    Mostra_Municipio_Cobranca();
    Mascara_CPF_CNPJ();
}

void TfrmNota100::btnInsertClick(TObject* Sender) {
    dbeId_Cliente->SetReadOnly(false);
    RegisterForm::btnInsertClick(Sender);
}

void TfrmNota100::btnEditClick(TObject*) {
    dbeId_Cliente->SetReadOnly(true);
    ChangeColor(this, true);
    if (PageControl1->ActivePageIndex() == 0 && dbeNome->CanFocus()) dbeNome->SetFocus();
}
