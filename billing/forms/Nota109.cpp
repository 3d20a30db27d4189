#include "billing/forms/Nota109.h"

#include "billing/forms/FormUtils.h"
#include "billing/forms/RegisterExtras.h"

using namespace billing::forms;

TfrmNota109* frmNota109 = nullptr;

TfrmNota109::TfrmNota109(TComponent* AOwner)
    : RegisterForm(AOwner, "Fornecedores - NOTA109", "Fornecedor", kSql, "Id_Fornecedor") {
    SetName("frmNota109");
    qryFornecedor = qry;
    qryFornecedor->SetName("qryFornecedor");
    SetBounds(0, 0, 860, 430);
    PageControl1 = PlacePages();
    TTabSheet* geral = AddPage(PageControl1, "&Geral");
    TTabSheet* comunicacao = AddPage(PageControl1, "Com&unicação");
    TTabSheet* observacao = AddPage(PageControl1, "&Observação");

    struct Line {
        const char* name;
        const char* field;
        const char* caption;
        int left, top, width;
    };
    auto edits = [this](TTabSheet* p, std::initializer_list<Line> lines) {
        for (const Line& l : lines) {
            PlaceLabeled<TDBEdit>(this, p, l.name, dsMain, l.field, l.caption, l.left, l.left + 90, l.top, l.width);
        }
    };
    edits(geral, {{"dbeId_Fornecedor", "Id_Fornecedor", "Código", 12, 12, 80},
                  {"dbeNome", "Nome", "Nome", 12, 40, 400},
                  {"dbeEndereco", "Endereco", "Endereço", 12, 68, 280},
                  {"dbeNumero_Endereco", "Numero_Endereco", "Número", 400, 68, 90},
                  {"dbeComplemento_Endereco", "Complemento_Endereco", "Complemento", 12, 96, 200},
                  {"dbeBairro", "Bairro", "Bairro", 400, 96, 200},
                  {"dbeCep", "Cep", "CEP", 12, 124, 90}});
    dbeId_Fornecedor = static_cast<TDBEdit*>(FindComponent("dbeId_Fornecedor"));
    dbeNome = static_cast<TDBEdit*>(FindComponent("dbeNome"));
    // Made in the order the page reads, which is the order Tab takes.
    dbeId_Municipio = PlaceLabeled<TexDBComboDlg>(this, geral, "dbeId_Municipio", dsMain, "Id_Municipio", "Município", 12, 102, 152, 90);
    PMunicipio = Place<TPanel>(this, geral, "PMunicipio", 198, 152, 300, 23);
    PMunicipio->SetAlignment(taLeftJustify);
    PUf_Municipio = Place<TPanel>(this, geral, "PUf_Municipio", 502, 152, 40, 23);
    dbeNatureza = PlaceLabeled<TDBComboBox>(this, geral, "dbeNatureza", dsMain, "Natureza", "Natureza", 12, 102, 180, 110);
    dbeNatureza->SetStyle(csDropDownList);
    for (const char* n : {"Física", "Jurídica"}) dbeNatureza->Items()->Add(n);
    edits(geral, {{"dbeCpf_Cnpj", "cpf_cnpj", "CPF/CNPJ", 400, 180, 160},
                  {"dbeRG_IE", "RG_IE", "RG/IE", 12, 208, 160},
                  {"dbeInscricao_Estadual", "Inscricao_Estadual", "Insc. Estadual", 400, 208, 160},
                  {"dbeId_Condicao_Pagamento", "Id_Condicao_Pagamento", "Cond. Pagto", 12, 236, 80}});
    dbeData_Cadastro = PlaceLabeled<TexDBDateTimePicker>(this, geral, "dbeData_Cadastro", dsMain, "Data_Cadastro", "Cadastro", 400, 490, 236, 110);
    edits(comunicacao, {{"dbeTelefone", "Telefone", "Telefone", 12, 12, 130},
                        {"dbeTelefax", "Telefax", "Telefax", 12, 40, 130},
                        {"dbeWebsite", "Website", "WebSite", 12, 68, 500},
                        {"dbeEmail", "Email", "eMail", 12, 96, 500}});
    dbeObservacao = PlaceDB<TDBMemo>(this, observacao, "dbeObservacao", dsMain, "Observacao", 12, 12, 820, 320);
    KeepKeysInside(dbeObservacao);
    SetEdits(dbeId_Fornecedor, dbeNome);
    DressFields(qry, {{"Cep", "#####-###;0; ", ""},
                      {"Telefone", kTelefoneMask, ""},
                      {"Telefax", kTelefoneMask, ""}});
    WithoutSearch();
    CloseWithoutAsking();

    BindMunicipio(qry, dbeId_Municipio, PMunicipio, PUf_Municipio);
    frmNota109 = this;
}

TfrmNota109::~TfrmNota109() {
    if (frmNota109 == this) frmNota109 = nullptr;
}

void TfrmNota109::Mostra_Tudo() {
    MostraMunicipio(dbeId_Municipio->Field(), PMunicipio, PUf_Municipio);
}
