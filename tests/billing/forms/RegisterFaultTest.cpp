// Every register's save and delete against a failed write at each step of
// the disk's work, and against the program dying right after each write: a
// new row, a changed row and a deleted row (with the rows that belong to it:
// a user's rights, a payment term's installments) are in the file whole or
// not at all, the file stays sound, and the clerk is told once.
//
// One table drives it: a line per register says how to open the form, how
// to type a new row, what to change in a stored one, which row to delete and
// which tables the path writes. The forms run in a forked child for the
// kills as they do in the parent: nothing of the window system is shown.
#include <sqlite3.h>

#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "billing/forms/Nota100.h"
#include "billing/forms/Nota101.h"
#include "billing/forms/Nota102.h"
#include "billing/forms/Nota103.h"
#include "billing/forms/Nota104.h"
#include "billing/forms/Nota106.h"
#include "billing/forms/Nota107.h"
#include "billing/forms/Nota108.h"
#include "billing/forms/Nota109.h"
#include "billing/forms/Nota110.h"
#include "billing/forms/Nota111.h"
#include "billing/forms/Nota112.h"
#include "billing/forms/Nota114.h"
#include "billing/forms/Nota116.h"
#include "billing/forms/Nota117.h"
#include "billing/forms/Nota118.h"
#include "billing/forms/Nota119.h"
#include "memtable/mtMemTable.h"
#include "tests/billing/forms/FaultFixture.h"

using billing::forms::RegisterForm;

namespace {

// CI fails every third write and kills after every fourth (the first and the
// last always); FAT_FAULT_ALL=1 takes every one.
constexpr int kFailStep = 3;
constexpr int kKillStep = 4;

// Close: the row typed as for New (Edit where a register has no New) is
// saved by answering Yes to the question the form asks when it closes.
enum class Path { New, Edit, Delete, Close };

const char* PathName(Path P) {
    switch (P) {
    case Path::New: return "New";
    case Path::Edit: return "Edit";
    case Path::Delete: return "Delete";
    case Path::Close: return "SaveOnClose";
    }
    return "";
}

// Failures name the path, not its number.
void PrintTo(Path P, std::ostream* Out) { *Out << PathName(P); }

class RegisterFaultBase;

struct RegisterCase {
    const char* name;
    std::function<RegisterForm*()> make;
    std::vector<std::string> tables;  // what the register's save and delete write
    std::vector<std::string> seed;    // the stored row the edit and the delete start from
    std::function<void(RegisterFaultBase&)> fill;    // a new row, after "Novo"
    std::function<void(RegisterFaultBase&)> change;  // the stored row, after "Editar"
    std::string keyColumn;                           // how the stored row is found
    Variant keyValue;
    std::vector<Path> paths{Path::New, Path::Edit, Path::Delete};
};

const std::vector<RegisterCase>& Cases();

class RegisterFaultBase : public billtest::FaultSessionOn<billtest::MdiSession> {
public:
    TField* F(const std::string& Name) { return form->qry->FieldByName(Name); }
    void Set(const std::string& Name, const std::string& Value) { F(Name)->SetAsString(Value); }
    template <typename T>
    T* As() {
        return static_cast<T*>(form);
    }

protected:
    void SetUp() override {
        MdiSession::SetUp();
        for (const char* sql : {
                 "insert into uf(id_uf, uf) values(35, 'SP'), (33, 'RJ')",
                 "insert into municipio(id_municipio, nome, id_uf) values(3550308, 'São Paulo', 35), "
                 "(3509502, 'Campinas', 35), (3304557, 'Rio de Janeiro', 33)",
                 "insert into vendedor(id_vendedor, nome) values(7, 'Ana Vendas')",
                 "insert into condicao_pagamento(id_condicao_pagamento, descricao, inativo) values(3, '30 dias', 'Não')",
                 "insert into condicao_pagamento_parcela(id_condicao_pagamento, prazo_dias, percentual) "
                 "values(3, 30, 50), (3, 60, 50)",
                 "insert into unidade_medida(id_unidade_medida, descricao) values('UN', 'Unidade')",
                 "insert into situacao_tributaria(id_situacao_tributaria, descricao) values('000', 'Tributada'), "
                 "('040', 'Isenta')",
                 "insert into febraban(id_febraban, nome, nome_fantasia) values(1, 'Banco do Brasil S.A.', 'BANCO X')",
                 "update opcao set id_municipio = 3550308, id_vendedor = 7, id_condicao_pagamento = 3, "
                 "limite_credito = 1500",
             })
            dmdb->ADOConnection->Execute(sql);
    }
    void TearDown() override {
        ReleaseForms();
        MdiSession::TearDown();
    }
    void ReleaseForms() override {
        if (form != nullptr && (form->qry->State() == dsEdit || form->qry->State() == dsInsert)) form->qry->Cancel();
        delete form;
        form = nullptr;
    }

    // The path of one register, from a freshly opened database.
    billtest::SavePath PathOf(const RegisterCase& C, Path P) {
        auto open = [this, &C] {
            form = C.make();
            form->DoCreate();
            form->Show();
        };
        auto locate = [this, &C] {
            if (C.keyColumn.empty()) return;  // a register of one row
            ASSERT_TRUE(form->qry->Locate(C.keyColumn, C.keyValue, {})) << C.name;
        };
        auto typeNew = [this, &C, open] {
            open();
            form->btnInsert->Click();
            C.fill(*this);
            form->Mostra_Tudo();
        };
        auto change = [this, &C, open, locate] {
            open();
            locate();
            form->btnEdit->Click();
            C.change(*this);
            form->Mostra_Tudo();
        };
        billtest::SavePath path;
        path.Tables = C.tables;
        switch (P) {
        case Path::New:
            path.Prepare = typeNew;
            path.Act = [this] { form->btnSave->Click(); };
            break;
        case Path::Edit:
            path.Prepare = change;
            path.Act = [this] { form->btnSave->Click(); };
            break;
        case Path::Close:
            if (C.fill) path.Prepare = typeNew;
            else path.Prepare = change;
            // A refused save keeps the form open with the row: closing
            // again asks again.
            path.Act = [this] { form->Close(); };
            path.Confirm = "Deseja salvar as alterações ?";
            break;
        case Path::Delete:
            path.Prepare = [open, locate] {
                open();
                locate();
            };
            path.Act = [this] { form->btnDelete->Click(); };
            path.Confirm = "Confirma a exclusão do Registro ?";
            break;
        }
        return path;
    }
    void Seed(const RegisterCase& C) {
        for (const std::string& sql : C.seed) dmdb->ADOConnection->Execute(sql);
    }

    RegisterForm* form = nullptr;
};

using FaultParam = std::tuple<std::size_t, Path, int>;

class RegisterSaveFaults : public RegisterFaultBase, public ::testing::WithParamInterface<FaultParam> {};

TEST_P(RegisterSaveFaults, EachFailedWriteLeavesTheOldRowsOrTheNewOnesAndOneMessage) {
    const auto& [index, path, code] = GetParam();
    const RegisterCase& c = Cases()[index];
    Seed(c);
    billtest::SweepFigures f = Sweep(PathOf(c, path), code, kFailStep);
    // Some write must have been refused, or the sweep proved nothing.
    EXPECT_GT(f.refused, 0);
    RecordProperty("operations", f.operations);
    RecordProperty("runs", f.runs);
}

using KillParam = std::tuple<std::size_t, Path>;

class RegisterKills : public RegisterFaultBase, public ::testing::WithParamInterface<KillParam> {};

TEST_P(RegisterKills, KilledAfterAnyWriteTheNextStartFindsTheOldRowsOrTheNewOnes) {
    const auto& [index, path] = GetParam();
    const RegisterCase& c = Cases()[index];
    Seed(c);
    int kills = KillSweep(PathOf(c, path), kKillStep);
    EXPECT_GT(kills, 0);
    RecordProperty("kills", kills);
}

// ---------------------------------------------------------------------------
// The registers

template <typename T>
std::function<RegisterForm*()> Make() {
    return [] { return new T(nullptr); };
}

const std::vector<RegisterCase>& Cases() {
    static const std::vector<RegisterCase> cases = {
        {"Clients", Make<TfrmNota100>(), {"cliente"},
         {"insert into cliente(id_cliente, nome, natureza, cpf_cnpj, endereco, numero_endereco, bairro, cep, "
          "id_municipio, id_municipio_cobranca, id_vendedor, id_condicao_pagamento, data_cadastro, bloqueto, "
          "tributado, bloqueado, inativo) values('0000426', 'João Pereira', 'Física', '11144477735', 'Rua A', '5', "
          "'Centro', '01001000', 3550308, 3550308, 7, 3, '2010-06-01', 'Sim', 'Sim', 'Não', 'Não')"},
         [](RegisterFaultBase& t) {
             t.Set("Nome", "Maria da Silva");
             t.Set("Natureza", "Física");
             t.Set("CPF_CNPJ", "52998224725");
             t.Set("Endereco", "Rua das Flores");
             t.Set("Numero_Endereco", "12");
             t.Set("Bairro", "Centro");
             t.Set("Cep", "01001000");
             t.F("Data_Cadastro")->SetAsDateTime(EncodeDate(2010, 6, 15));
         },
         [](RegisterFaultBase& t) {
             t.Set("Nome", "João Pereira Neto");
             t.Set("Telefone", "1132105400");
         },
         "Id_Cliente", Variant("0000426")},
        {"Products", Make<TfrmNota101>(), {"produto"},
         {"insert into produto(id_produto, id_produto_estrutura, descricao_abreviada, descricao, tipo, "
          "id_unidade_medida, id_cst_estadual, id_cst_interestadual) values('11111', '111110000', 'PORCA', "
          "'Porca sextavada', 'Analítica', 'UN', '000', '040')"},
         [](RegisterFaultBase& t) {
             t.Set("Id_Produto_estrutura", "123456789");
             t.As<TfrmNota101>()->Atribui_Codigo_Produto();
             t.Set("Descricao_Abreviada", "Parafuso");
             t.Set("Descricao", "Parafuso sextavado");
             t.Set("Id_Unidade_Medida", "UN");
             t.Set("Id_CST_Estadual", "000");
             t.Set("Id_CST_Interestadual", "040");
         },
         [](RegisterFaultBase& t) {
             t.Set("Descricao", "Porca sextavada M8");
             t.F("Preco_Venda")->SetAsFloat(1.25);
         },
         "Id_Produto", Variant("11111")},
        {"Sellers", Make<TfrmNota102>(), {"vendedor"},
         {"insert into vendedor(id_vendedor, nome, percentual_comissao) values(8, 'Bruno Lima', 2)"},
         [](RegisterFaultBase& t) { t.Set("Nome", "Carla Dias"); },
         [](RegisterFaultBase& t) { t.F("Percentual_Comissao")->SetAsFloat(3.5); },
         "Id_Vendedor", Variant(8)},
        {"Carriers", Make<TfrmNota103>(), {"transportador"},
         {"insert into transportador(id_transportador, nome, natureza, cpf_cnpj, endereco, id_municipio) "
          "values(5, 'Fretes Ltda', 'Jurídica', '11222333000181', 'Rua B', 3550308)"},
         [](RegisterFaultBase& t) {
             t.Set("Nome", "Transportes Rápidos");
             t.Set("Natureza", "Física");
             t.Set("CPF_CNPJ", "52998224725");
             t.Set("Endereco", "Rodovia 10, km 3");
             t.F("Id_Municipio")->SetAsInteger(3509502);
         },
         [](RegisterFaultBase& t) { t.Set("Placa_Veiculo", "ABC1234"); },
         "Id_Transportador", Variant(5), {Path::New, Path::Edit, Path::Delete, Path::Close}},
        {"Cfop", Make<TfrmNota104>(), {"cfop"},
         {"insert into cfop(id_cfop, descricao, tipo) values('5102', 'Venda de mercadoria', 'Saída')"},
         [](RegisterFaultBase& t) {
             t.Set("Id_CFOP", "6102");
             t.Set("Descricao", "Venda fora do estado");
         },
         [](RegisterFaultBase& t) { t.Set("Descricao", "Venda de mercadoria adquirida"); },
         "Id_CFOP", Variant("5102")},
        {"TaxSituations", Make<TfrmNota106>(), {"situacao_tributaria"},
         {"insert into situacao_tributaria(id_situacao_tributaria, descricao) values('090', 'Outras')"},
         [](RegisterFaultBase& t) {
             t.Set("Id_Situacao_Tributaria", "020");
             t.Set("Descricao", "Com redução de base de cálculo");
         },
         [](RegisterFaultBase& t) { t.Set("Descricao", "Outras situações"); },
         "Id_Situacao_Tributaria", Variant("090")},
        {"BankAccounts", Make<TfrmNota107>(), {"conta_corrente"},
         {"insert into conta_corrente(id_conta_corrente, id_febraban, agencia, conta, conta_dv, descricao, inativo) "
          "values(4, 1, '1234', '56789', '0', '1 - BANCO X / Ag. 1234 C/C 56789-0', 'Não')"},
         [](RegisterFaultBase& t) {
             t.F("id_febraban")->SetAsInteger(1);
             t.Set("agencia", "0001");
             t.Set("conta", "12345");
             t.Set("conta_dv", "6");
         },
         [](RegisterFaultBase& t) { t.Set("conta_dv", "9"); },
         "id_conta_corrente", Variant(4)},
        {"PaymentTerms", Make<TfrmNota108>(), {"condicao_pagamento", "condicao_pagamento_parcela"},
         {"insert into condicao_pagamento(id_condicao_pagamento, descricao, inativo) values(5, '30/60/90', 'Não')",
          "insert into condicao_pagamento_parcela(id_condicao_pagamento, prazo_dias, percentual) "
          "values(5, 30, 40), (5, 60, 30), (5, 90, 30)"},
         [](RegisterFaultBase& t) {
             t.Set("descricao", "À vista e 28 dias");
             TDataSet* grid = t.As<TfrmNota108>()->tbTemp;
             for (auto [days, share] : {std::pair{0, 50.0}, std::pair{28, 50.0}}) {
                 grid->Append();
                 grid->FieldByName("prazo_dias")->SetAsInteger(days);
                 grid->FieldByName("percentual")->SetAsFloat(share);
                 grid->Post();
             }
         },
         [](RegisterFaultBase& t) {
             t.Set("descricao", "45/75");
             TDataSet* grid = t.As<TfrmNota108>()->tbTemp;
             static_cast<TmtMemTable*>(grid)->EmptyTable();
             for (auto [days, share] : {std::pair{45, 60.0}, std::pair{75, 40.0}}) {
                 grid->Append();
                 grid->FieldByName("prazo_dias")->SetAsInteger(days);
                 grid->FieldByName("percentual")->SetAsFloat(share);
                 grid->Post();
             }
         },
         "id_condicao_pagamento", Variant(5), {Path::New, Path::Edit, Path::Delete, Path::Close}},
        {"Suppliers", Make<TfrmNota109>(), {"fornecedor"},
         {"insert into fornecedor(id_fornecedor, nome, cpf_cnpj) values('0000010', 'Aço Forte Ltda', "
          "'11222333000181')"},
         [](RegisterFaultBase& t) {
             t.Set("Id_Fornecedor", "0000020");
             t.Set("Nome", "Metais do Sul Ltda");
             t.Set("Natureza", "Jurídica");
         },
         [](RegisterFaultBase& t) { t.Set("Telefone", "1132105400"); },
         "Id_Fornecedor", Variant("0000010")},
        // One row only, made when the database opens: nothing to add or delete.
        {"Issuer", Make<TfrmNota110>(), {"emitente"},
         {"update emitente set nome = 'Indústria de Parafusos Ltda', cnpj = '12345678000195', "
          "inscricao_estadual = '1012345689', endereco = 'Rua XV', numero_endereco = '100', "
          "id_municipio = 3550308"},
         nullptr,
         [](RegisterFaultBase& t) {
             t.Set("Nome", "Indústria de Parafusos S.A.");
             t.Set("Bairro", "Centro");
         },
         "", Variant(), {Path::Edit, Path::Close}},
        // The users' own save, with its rights, has its sweep beside the
        // invoice's; here the new user and the delete.
        {"Users", Make<TfrmNota111>(), {"usuario", "usuario_programa"},
         {"insert into usuario(id_usuario, nome, senha, inativo) values('bia', 'Bia Nunes', 'x', 'Não')",
          "insert into usuario_programa(id_usuario, id_programa) values('bia', 'NOTA100'), ('bia', 'NOTA101')"},
         [](RegisterFaultBase& t) {
             auto* users = t.As<TfrmNota111>();
             t.Set("Id_Usuario", "davi");
             t.Set("Nome", "Davi Rocha");
             t.Set("Senha", "segredo");
             for (const char* program : {"NOTA100", "NOTA103", "NOTA114"}) {
                 ASSERT_TRUE(users->tbTemp->Locate("Id_programa", Variant(program), {}));
                 users->tbTemp->Edit();
                 users->tbTemp->FieldByName("Permitido")->SetAsString("Sim");
                 users->tbTemp->Post();
             }
         },
         nullptr, "Id_Usuario", Variant("bia"), {Path::New, Path::Delete, Path::Close}},
        {"PrinterModels", Make<TfrmNota112>(), {"modelo_impressora"},
         {"insert into modelo_impressora(id_modelo_impressora, condensa_15cpp, impressao_normal) "
          "values('EPSON LX-300', '#15', '#18')"},
         [](RegisterFaultBase& t) {
             t.Set("Id_Modelo_Impressora", "OKIDATA 320");
             t.Set("Condensa_15cpp", "#27#15");
             t.Set("Impressao_Normal", "#27#18");
         },
         [](RegisterFaultBase& t) { t.Set("Condensa_20cpp", "#27#77"); },
         "Id_Modelo_Impressora", Variant("EPSON LX-300")},
        {"Programs", Make<TfrmNota114>(), {"programa"},
         {"insert into programa(id_programa, tipo, descricao) values('NOTA998', 'Rotina', 'Rotina de teste')"},
         [](RegisterFaultBase& t) {
             t.Set("Id_Programa", "NOTA999");
             t.Set("Descricao", "Nova rotina");
         },
         [](RegisterFaultBase& t) { t.Set("Descricao", "Rotina de teste alterada"); },
         "Id_Programa", Variant("NOTA998")},
        {"BankCodes", Make<TfrmNota116>(), {"febraban"},
         {"insert into febraban(id_febraban, nome, nome_fantasia) values(341, 'Itaú Unibanco S.A.', 'ITAU')"},
         [](RegisterFaultBase& t) {
             t.F("id_febraban")->SetAsInteger(237);
             t.Set("Nome", "Banco Bradesco S.A.");
             t.Set("Nome_Fantasia", "BRADESCO");
         },
         [](RegisterFaultBase& t) { t.Set("Nome_Fantasia", "ITAÚ"); },
         "id_febraban", Variant(341)},
        // The engine numbers titles: its sequence is written with the row.
        {"TitlesReceivable", Make<TfrmNota117>(), {"titulo_receber", "sqlite_sequence"},
         {"insert into titulo_receber(id_cliente, id_conta_corrente, valor_titulo, nosso_numero, gerou_arquivo) "
          "values('0000426', 4, 100, '00000000001', 'Não')"},
         [](RegisterFaultBase& t) {
             t.Set("Id_Cliente", "0000426");
             t.F("Valor_Titulo")->SetAsFloat(250.5);
             t.F("Data_Vencimento")->SetAsDateTime(EncodeDate(2010, 7, 15));
             t.Set("Nosso_Numero", "00000000002");
         },
         [](RegisterFaultBase& t) { t.F("Valor_Desconto")->SetAsFloat(10); },
         "Id_Titulo_Receber", Variant(1)},
        {"Series", Make<TfrmNota118>(), {"serie_documento"},
         {"insert into serie_documento(id_serie_documento, proximo_numero) values(2, 57)"},
         [](RegisterFaultBase& t) { t.F("Proximo_Numero")->SetAsInteger(1); },
         [](RegisterFaultBase& t) { t.F("Proximo_Numero")->SetAsInteger(100); },
         "Id_Serie_Documento", Variant(2)},
        {"Units", Make<TfrmNota119>(), {"unidade_medida"},
         {"insert into unidade_medida(id_unidade_medida, descricao) values('KG', 'Quilograma')"},
         [](RegisterFaultBase& t) {
             t.Set("Id_Unidade_Medida", "CX");
             t.Set("Descricao", "Caixa");
         },
         [](RegisterFaultBase& t) { t.Set("Descricao", "Quilo"); },
         "Id_Unidade_Medida", Variant("KG")},
    };
    return cases;
}

std::vector<FaultParam> FaultParams() {
    std::vector<FaultParam> out;
    for (std::size_t i = 0; i < Cases().size(); ++i)
        for (Path p : Cases()[i].paths)
            for (int code : {SQLITE_IOERR_WRITE, SQLITE_FULL}) out.emplace_back(i, p, code);
    return out;
}

std::vector<KillParam> KillParams() {
    std::vector<KillParam> out;
    // Closing writes what the save button writes: its kills would repeat them.
    for (std::size_t i = 0; i < Cases().size(); ++i)
        for (Path p : Cases()[i].paths)
            if (p != Path::Close) out.emplace_back(i, p);
    return out;
}

INSTANTIATE_TEST_SUITE_P(Registers, RegisterSaveFaults, ::testing::ValuesIn(FaultParams()),
                         [](const auto& info) {
                             return std::string(Cases()[std::get<0>(info.param)].name) + "_" +
                                    PathName(std::get<1>(info.param)) + "_" +
                                    testsupport::FaultCodeName(std::get<2>(info.param));
                         });
INSTANTIATE_TEST_SUITE_P(Registers, RegisterKills, ::testing::ValuesIn(KillParams()), [](const auto& info) {
    return std::string(Cases()[std::get<0>(info.param)].name) + "_" + PathName(std::get<1>(info.param));
});

}  // namespace
