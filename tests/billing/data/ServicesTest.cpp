#include "billing/data/Schema.h"
#include "billing/data/dmdbu.h"

#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Strings.h"
#include "tests/billing/data/DataTestSupport.h"
#include "tests/cipher/Reference.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <thread>

using namespace billing::data;
using billdata_test::Scalar;

namespace {

class Services : public ::testing::Test {
protected:
    void SetUp() override {
        DefaultMessages().Clear();
        path = dir.file("fat.db");
        dm.Set_Var("nome_banco_dados", path);
        dm.Set_Var("id_usuario", "Admin");
        CreateDatabaseFile(path);
        dm.Abrir_Banco_Dados();
        DefaultMessages().Clear();
    }
    void TearDown() override { DefaultMessages().Clear(); }

    void Exec(const std::string& sql) { dm.ADOConnection->Execute(sql); }
    std::string Query(const std::string& sql) { return Scalar(dm.ADOConnection->Database(), sql); }

    testsupport::TempDir dir;
    Tdmdb dm{nullptr};
    std::string path;
};

}  // namespace

// ---------------------------------------------------------------------------
// Lookups and duplicate tests

TEST_F(Services, FieldValueByKey) {
    Exec("insert into cfop(id_cfop, descricao) values('5102', 'Venda de mercadoria')");
    Exec("insert into vendedor(id_vendedor, nome, percentual_comissao) values(7, 'Carlos', 2.5)");
    EXPECT_EQ(dm.dbGetFieldValue("id_cfop", std::string("5102"), "descricao", "cfop"), "Venda de mercadoria");
    EXPECT_EQ(dm.dbGetFieldValue("id_vendedor", 7, "nome", "vendedor"), "Carlos");
    EXPECT_EQ(dm.dbGetFieldValue("id_vendedor", 8, "nome", "vendedor"), "?");
    // Values read as the forms show them.
    Exec("insert into cliente(id_cliente, nome, data_cadastro) values('0000017', 'Ana', '2009-03-05')");
    EXPECT_EQ(dm.dbGetFieldValue("id_cliente", std::string("0000017"), "data_cadastro", "cliente"), "05/03/2009");
    EXPECT_EQ(dm.dbGetFieldValue("id_vendedor", 7, "percentual_comissao", "vendedor"), "2,5");
    EXPECT_EQ(dm.dbGetFieldValue("id_cliente", std::string("0000017"), "email", "cliente"), "");
    // Text keys compare without regard to case, as the original database did.
    EXPECT_EQ(dm.dbGetFieldValue("id_programa", std::string("Nota223"), "descricao", "programa"),
              "Alteração de Senha");
    // A value is only ever a parameter.
    EXPECT_EQ(dm.dbGetFieldValue("id_cfop", std::string("x' or '1'='1"), "descricao", "cfop"), "?");
    EXPECT_EQ(dm.dbGetFieldValue("id_cfop", std::string("5102\" or \"1\"=\"1"), "descricao", "cfop"), "?");
}

TEST_F(Services, FieldValueRefusesBadNamesAndReportsSqlErrors) {
    EXPECT_THROW(dm.dbGetFieldValue("id_cfop", 1, "descricao from cfop; drop table cfop; --", "cfop"),
                 EDatabaseError);
    EXPECT_THROW(dm.dbGetFieldValue("id_cfop", 1, "descricao", "cfop where 1=1"), EDatabaseError);
    EXPECT_THROW(dm.dbGetFieldValue("", 1, "descricao", "cfop"), EDatabaseError);
    EXPECT_THROW(dm.dbGetFieldValue("id_cfop", 1, "descricao", "nao_existe"), Exception);
    EXPECT_THROW(dm.dbGetFieldValue("id_cfop", 1, "coluna_nao_existe", "cfop"), Exception);
    EXPECT_TRUE(dm.ADOConnection->Database().TableExists("cfop"));
}

TEST_F(Services, DuplicateKeyTest) {
    Exec("insert into usuario_programa(id_usuario, id_programa) values('ana', 'NOTA100')");
    Exec("insert into nota_fiscal(id_nota_fiscal, id_serie_documento) values(10, 1)");
    EXPECT_TRUE(dm.JaExisteChave({std::string("ana"), std::string("NOTA100")}, {"id_usuario", "id_programa"},
                                 "usuario_programa"));
    EXPECT_TRUE(dm.JaExisteChave({std::string("ANA"), std::string("nota100")}, {"id_usuario", "id_programa"},
                                 "usuario_programa"));
    EXPECT_FALSE(dm.JaExisteChave({std::string("ana"), std::string("NOTA101")}, {"id_usuario", "id_programa"},
                                  "usuario_programa"));
    EXPECT_TRUE(dm.JaExisteChave({10, 1}, {"Id_Nota_Fiscal", "Id_Serie_Documento"}, "nota_fiscal"));
    EXPECT_FALSE(dm.JaExisteChave({10, 2}, {"Id_Nota_Fiscal", "Id_Serie_Documento"}, "nota_fiscal"));
    EXPECT_FALSE(dm.JaExisteChave({std::string("' or 1=1 --")}, {"id_usuario"}, "usuario_programa"));
    EXPECT_THROW(dm.JaExisteChave({1}, {"a", "b"}, "cfop"), EDatabaseError);
    EXPECT_THROW(dm.JaExisteChave({}, {}, "cfop"), EDatabaseError);
}

// ---------------------------------------------------------------------------
// New keys

TEST_F(Services, NewKeyIsMaxPlusOne) {
    TSQLQuery q(nullptr);
    q.SetConnection(dm.ADOConnection);
    q.SetSQL("select * from vendedor");
    q.Open();
    q.Append();
    dm.Id_Generator("id_vendedor", "vendedor", &q);
    EXPECT_EQ(q.FieldByName("id_vendedor")->AsInteger(), 1);  // empty table
    q.FieldByName("nome")->SetAsString("Primeiro");
    q.Post();

    Exec("insert into vendedor(id_vendedor, nome) values(41, 'Quadragésimo primeiro')");
    q.Append();
    dm.Id_Generator("Id_Vendedor", "Vendedor", &q);
    EXPECT_EQ(q.FieldByName("id_vendedor")->AsInteger(), 42);
    q.Cancel();
    // A number handed out is not handed out again, even when its row was
    // never saved...
    q.Append();
    dm.Id_Generator("id_vendedor", "vendedor", &q);
    EXPECT_EQ(q.FieldByName("id_vendedor")->AsInteger(), 43);
    q.Post();
    // ...and once the table has caught up, the reservations are spent.
    q.Append();
    dm.Id_Generator("id_vendedor", "vendedor", &q);
    EXPECT_EQ(q.FieldByName("id_vendedor")->AsInteger(), 44);
    EXPECT_EQ(Query(std::string("select valor from ") + kKeyReservationTable), "44");
    EXPECT_EQ(Query(std::string("select count(*) from ") + kKeyReservationTable), "1");
    q.Cancel();
    EXPECT_THROW(dm.Id_Generator("id_vendedor; delete from vendedor", "vendedor", &q), EDatabaseError);
}

TEST_F(Services, TwoInstancesNeverGetTheSameKey) {
    dm.Fechar_Banco_Dados();
    constexpr int kPerInstance = 40;
    std::vector<int> keys[2];
    std::string errors[2];
    auto worker = [&](int n) {
        try {
            Tdmdb other(nullptr);
            other.Set_Var("nome_banco_dados", path);
            other.Set_Var("id_usuario", "Admin");
            other.ADOConnection->SetConnectionString("Data Source=" + path);
            other.ADOConnection->Open();
            TSQLQuery q(nullptr);
            q.SetConnection(other.ADOConnection);
            q.SetSQL("select * from condicao_pagamento");
            q.Open();
            for (int i = 0; i < kPerInstance; ++i) {
                q.Append();
                other.Id_Generator("id_condicao_pagamento", "condicao_pagamento", &q);
                keys[n].push_back(q.FieldByName("id_condicao_pagamento")->AsInteger());
                // Every other number is saved, the rest abandoned, as users do.
                if (i % 2 == 0) {
                    q.FieldByName("descricao")->SetAsString("Instância " + std::to_string(n));
                    q.Post();
                } else {
                    q.Cancel();
                }
            }
        } catch (const std::exception& e) {
            errors[n] = e.what();
        }
    };
    std::thread a(worker, 0), b(worker, 1);
    a.join();
    b.join();
    ASSERT_EQ(errors[0], "");
    ASSERT_EQ(errors[1], "");
    std::set<int> all;
    for (auto& k : keys)
        for (int v : k) EXPECT_TRUE(all.insert(v).second) << "key " << v << " given twice";
    EXPECT_EQ(all.size(), 2u * kPerInstance);
    sqlite::Database db(path);
    EXPECT_EQ(Scalar(db, "select count(*) from condicao_pagamento"), std::to_string(kPerInstance));
}

// ---------------------------------------------------------------------------
// Rights and the user log

TEST_F(Services, AdminInAnyCasePassesWithoutQueryOrMessage) {
    Tdmdb offline(nullptr);
    offline.Set_Var("nome_banco_dados", dir.file("nao_existe.db"));
    offline.ADOConnection->SetConnectionString("Data Source=" + dir.file("nao_existe.db"));
    for (const char* user : {"Admin", "admin", "ADMIN", "aDmIn"}) {
        offline.Set_Var("id_usuario", user);
        EXPECT_TRUE(offline.Usuario_Permissao("Nota100")) << user;
    }
    EXPECT_FALSE(offline.ADOConnection->Connected());
    EXPECT_FALSE(std::filesystem::exists(dir.file("nao_existe.db")));
    EXPECT_TRUE(DefaultMessages().Entries().empty());
}

TEST_F(Services, RightsComeFromUserPrograms) {
    Exec("insert into usuario_programa(id_usuario, id_programa) values('maria', 'NOTA100')");
    dm.Set_Var("id_usuario", "maria");
    EXPECT_TRUE(dm.Usuario_Permissao("Nota100"));
    EXPECT_TRUE(DefaultMessages().Entries().empty());
    EXPECT_FALSE(dm.Usuario_Permissao("Nota101"));
    ASSERT_EQ(DefaultMessages().Entries().size(), 1u);
    EXPECT_EQ(DefaultMessages().Entries()[0].text, "Você não tem permissão para acessar esta opção.");
    EXPECT_EQ(DefaultMessages().Entries()[0].caption, "Atenção");
    EXPECT_EQ(DefaultMessages().Entries()[0].icon, MessageIcon::Exclamation);
    // "Administrador" is an ordinary user.
    dm.Set_Var("id_usuario", "Administrador");
    EXPECT_FALSE(dm.Usuario_Permissao("Nota100"));
}

TEST_F(Services, UserLogRow) {
    dm.Set_Var("id_usuario", "maria");
    TDateTime before = Now();
    dm.Usuario_Log("NOTA220", "Usuário fez o Login no Sistema");
    TDateTime after = Now();
    EXPECT_EQ(Query("select count(*) from usuario_log"), "1");
    EXPECT_EQ(Query("select id_usuario from usuario_log"), "maria");
    EXPECT_EQ(Query("select id_programa from usuario_log"), "NOTA220");
    EXPECT_EQ(Query("select descricao from usuario_log"), "Usuário fez o Login no Sistema");
    double day = 0;
    ASSERT_TRUE(sqlite::IsoToDateTime(Query("select data from usuario_log"), day));
    EXPECT_EQ(day, std::floor(day)) << "date without time";
    EXPECT_TRUE(day == std::floor(before) || day == std::floor(after));
    std::string hora = Query("select hora from usuario_log");
    ASSERT_EQ(hora.size(), 8u) << hora;
    EXPECT_EQ(hora[2], ':');
    EXPECT_EQ(hora[5], ':');
    // Quotes in the text are data, not SQL.
    dm.Usuario_Log("NOTA100", "Cliente \"D'Ávila\" alterado');--");
    EXPECT_EQ(Query("select descricao from usuario_log where id_programa = 'NOTA100'"),
              "Cliente \"D'Ávila\" alterado');--");
}

// ---------------------------------------------------------------------------
// Passwords

// The stored form of a password, as the second implementation of the cipher
// (tests/data/cipher/reference.py) worked it out under the program's pass
// phrase: what a database of any installation holds for it.
std::string ReferenceStoredForm(const std::string& password) {
    for (const auto& f : cxtest::ReferenceLines("text"))
        if (cxtest::FromHex(f[1]) == "BRISKO-TALV" && cxtest::FromHex(f[2]) == password) return f[3];
    ADD_FAILURE() << "no reference for " << password;
    return {};
}

TEST_F(Services, PasswordsAreStoredAsEveryInstallationStoresThem) {
    // The default password, as a new database and every older one hold it.
    EXPECT_EQ(dm.Criptografa("TRUVE"), "USjzVr0X0j4=");
    EXPECT_EQ(dm.DeCriptografa("USjzVr0X0j4="), "TRUVE");
    int checked = 0;
    for (const auto& f : cxtest::ReferenceLines("text")) {
        if (cxtest::FromHex(f[1]) != "BRISKO-TALV") continue;
        const std::string plain = cxtest::FromHex(f[2]);
        EXPECT_EQ(dm.Criptografa(plain), f[3]) << plain;
        EXPECT_EQ(dm.DeCriptografa(f[3]), plain) << plain;
        ++checked;
    }
    EXPECT_GE(checked, 6);
    // Lengths across the block boundaries come back whole.
    for (int n : {1, 7, 8, 9, 20})
        EXPECT_EQ(dm.DeCriptografa(dm.Criptografa(std::string(static_cast<std::size_t>(n), 'Z'))),
                  std::string(static_cast<std::size_t>(n), 'Z'));
    EXPECT_EQ(dm.DeCriptografa(""), "");
    EXPECT_THROW(dm.DeCriptografa("não é base64"), Exception);
}

TEST_F(Services, StoredPasswordsAreNeverCut) {
    // 8 to 15 characters make 24 characters of Base64, 16 to 20 make 32.
    EXPECT_EQ(dm.EncryptPassword("abcdefgh").size(), 24u);
    EXPECT_EQ(dm.EncryptPassword(std::string(15, 'x')).size(), 24u);
    std::string twenty = dm.EncryptPassword("minha senha é longa!");
    EXPECT_EQ(twenty, ReferenceStoredForm("MINHA SENHA É LONGA!"));
    TSQLQuery q(nullptr);
    q.SetConnection(dm.ADOConnection);
    q.SetSQL("select * from usuario");
    q.Open();
    q.Append();
    q.FieldByName("id_usuario")->SetAsString("joana");
    q.FieldByName("senha")->SetAsString(twenty);
    q.FieldByName("inativo")->SetAsString("Não");
    q.Post();
    q.Close();
    std::string stored = Query("select senha from usuario where id_usuario = 'joana'");
    EXPECT_EQ(stored, twenty);
    EXPECT_TRUE(dm.PasswordMatches("MINHA SENHA É LONGA!", stored));
}

TEST_F(Services, PasswordsCompareInUpperCaseAccentsIncluded) {
    std::string admin = Query("select senha from usuario where id_usuario = 'Admin'");
    EXPECT_TRUE(dm.PasswordMatches("truve", admin));
    EXPECT_TRUE(dm.PasswordMatches("TrUvE", admin));
    EXPECT_FALSE(dm.PasswordMatches("truv", admin));
    EXPECT_FALSE(dm.PasswordMatches("", admin));

    EXPECT_EQ(dm.EncryptPassword("josé"), ReferenceStoredForm("JOSÉ"));
    EXPECT_EQ(dm.EncryptPassword("senha ção"), "Vj/oSLk3FfhKeqYA+BfSOg==");
    EXPECT_TRUE(dm.PasswordMatches("JOSÉ", ReferenceStoredForm("JOSÉ")));
    EXPECT_TRUE(dm.PasswordMatches("josé", ReferenceStoredForm("JOSÉ")));
    EXPECT_FALSE(dm.PasswordMatches("jose", ReferenceStoredForm("JOSÉ")));
    // Older files hold passwords upper-cased in a to z only.
    EXPECT_TRUE(dm.PasswordMatches("josé", ReferenceStoredForm("JOSé")));
    EXPECT_TRUE(dm.PasswordMatches("JOSÉ", ReferenceStoredForm("JOSé")));
    // An empty stored password opens with an empty one and nothing else.
    EXPECT_TRUE(dm.PasswordMatches("", ""));
    EXPECT_FALSE(dm.PasswordMatches("x", ""));
    EXPECT_FALSE(dm.PasswordMatches("x", "%%%lixo%%%"));
}

// ---------------------------------------------------------------------------
// Lists, text and the rest

TEST_F(Services, ParameterLists) {
    EXPECT_EQ(dm.XParamCount(""), 0);
    EXPECT_EQ(dm.XParamCount("   "), 0);
    EXPECT_EQ(dm.XParamCount("a"), 1);
    EXPECT_EQ(dm.XParamCount("a;b;"), 3);
    EXPECT_EQ(dm.XParamCount(" a;b "), 2);
    EXPECT_EQ(dm.XParamStr("a;b", 1), "a");
    EXPECT_EQ(dm.XParamStr("a;b", 2), "b");
    EXPECT_EQ(dm.XParamStr("a;b", 3), "");
    EXPECT_EQ(dm.XParamStr("a; b ;c", 2), " b ");
    EXPECT_EQ(dm.XParamStr("a;b;", 3), "");
    EXPECT_EQ(dm.XParamStr("a;b", 0), "");
    EXPECT_EQ(dm.XParamStr("", 1), "");
}

TEST_F(Services, CentringAndRegistrationDigits) {
    EXPECT_EQ(dm.Centraliza_Texto("abcd", 0, 10), 4);
    EXPECT_EQ(dm.Centraliza_Texto("ação", 0, 10), 4) << "characters, not bytes";
    EXPECT_EQ(dm.Centraliza_Texto("abc", 0, 10), 4);   // 3.5 truncated
    EXPECT_EQ(dm.Centraliza_Texto("", 10, 20), 16);
    EXPECT_EQ(dm.Centraliza_Texto(std::string(30, 'x'), 0, 10), -9);  // -10 + 1: truncated towards zero
    EXPECT_EQ(dm.CorrigeIE(" 123.456.789-01 "), "12345678901");
    EXPECT_EQ(dm.CorrigeIE("ISENTO"), "");
    EXPECT_EQ(dm.CorrigeIE(""), "");
    // A São Paulo rural producer's "P" stays; Paraná's "PR" prefix does not.
    EXPECT_EQ(dm.CorrigeIE(" p-01100424.3/002 "), "P011004243002");
    EXPECT_EQ(dm.CorrigeIE("PR12345"), "12345");
    EXPECT_EQ(dm.VersaoAplicativo(), "1.44");
}

TEST_F(Services, EmptyingTheBusinessTables) {
    Exec("insert into cliente(id_cliente, nome) values('0000017', 'Cliente')");
    Exec("insert into nota_fiscal(id_nota_fiscal, id_serie_documento) values(1, 1)");
    Exec("insert into cfop(id_cfop) values('5102')");
    dm.ZeraBancoDados();
    for (const char* t : {"cliente", "nota_fiscal", "cfop", "emitente"})
        EXPECT_EQ(Query(std::string("select count(*) from ") + t), "0") << t;
    EXPECT_EQ(Query("select count(*) from usuario"), "1");
    EXPECT_EQ(Query("select count(*) from opcao"), "1");
}

TEST_F(Services, WebSiteGoesToTheDesktopBrowser) {
    std::string bin = dir.file("bin");
    std::filesystem::create_directories(bin);
    std::string record = dir.file("aberto.txt");
    std::string script = bin + "/xdg-open";
    testsupport::WriteAll(script, "#!/bin/sh\nprintf '%s' \"$1\" > '" + record + ".tmp' && mv '" + record +
                                      ".tmp' '" + record + "'\n");
    ::chmod(script.c_str(), 0755);
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
    dm.Abrir_WebSite("https://www.exemplo.gov.br/consulta?a=1&b=2");
    ::setenv("PATH", oldPath.c_str(), 1);
    for (int i = 0; i < 200 && !std::filesystem::exists(record); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_EQ(testsupport::ReadAll(record), "https://www.exemplo.gov.br/consulta?a=1&b=2");
    EXPECT_TRUE(DefaultMessages().Entries().empty());
}

TEST_F(Services, WebSiteWithoutABrowserSaysSo) {
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", dir.file("vazio").c_str(), 1);
    dm.Abrir_WebSite("https://www.exemplo.gov.br");
    ::setenv("PATH", oldPath.c_str(), 1);
    ASSERT_EQ(DefaultMessages().Entries().size(), 1u);
    const auto& box = DefaultMessages().Entries()[0];
    EXPECT_NE(box.text.find("https://www.exemplo.gov.br"), std::string::npos);
    // Why, and what to do, in Portuguese.
    EXPECT_NE(box.text.find("O programa \"xdg-open\" não foi encontrado neste computador."), std::string::npos)
        << box.text;
    EXPECT_NE(box.text.find("xdg-utils"), std::string::npos) << box.text;
    EXPECT_EQ(box.text.find("No such file"), std::string::npos) << box.text;
    EXPECT_EQ(box.icon, MessageIcon::Error);
}

TEST_F(Services, WebSiteWithAnOpenerThatFindsNoBrowserSaysSo) {
    // The desktop's opener is there, the browser is not: it says so on its
    // error output and ends with its code for "no method".
    std::string bin = dir.file("bin");
    std::filesystem::create_directories(bin);
    std::string script = bin + "/xdg-open";
    testsupport::WriteAll(script, "#!/bin/sh\necho \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n");
    ::chmod(script.c_str(), 0755);
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
    dm.Abrir_WebSite("https://www.exemplo.gov.br");
    ::setenv("PATH", oldPath.c_str(), 1);
    ASSERT_EQ(DefaultMessages().Entries().size(), 1u);
    const auto& box = DefaultMessages().Entries()[0];
    EXPECT_NE(box.text.find("https://www.exemplo.gov.br"), std::string::npos) << box.text;
    EXPECT_NE(box.text.find("Nenhum navegador de internet está instalado"), std::string::npos) << box.text;
    EXPECT_EQ(box.text.find("no method"), std::string::npos) << box.text;
    EXPECT_EQ(box.icon, MessageIcon::Error);
}

TEST_F(Services, PasswordsAreTwentyCharactersAtMostAndNeverBlank) {
    // Twenty, as the login's edit takes them; accented letters count one each.
    const std::string twenty = std::string(14, 'x') + "çççççç";
    ASSERT_EQ(Length(twenty), 20);
    std::string stored = dm.EncryptPassword(twenty);
    EXPECT_LE(stored.size(), static_cast<std::size_t>(kPasswordColumnSize));
    EXPECT_TRUE(dm.PasswordMatches(twenty, stored));
    EXPECT_EQ(dm.PasswordRefusal(twenty), "");
    // One more is refused with the message the forms show.
    EXPECT_EQ(dm.PasswordRefusal(twenty + "x"), "A senha deve ter no máximo 20 caracteres.");
    try {
        dm.EncryptPassword(twenty + "x");
        ADD_FAILURE() << "stored";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "A senha deve ter no máximo 20 caracteres.");
    }
    // A blank one would leave the user with a password the login never takes.
    for (const std::string& blank : {std::string(), std::string("   ")}) {
        EXPECT_EQ(dm.PasswordRefusal(blank), "A senha não pode ficar em branco.");
        EXPECT_THROW(dm.EncryptPassword(blank), EDatabaseError);
    }
    // Typing a longer one at the login is a wrong password, not an error.
    EXPECT_FALSE(dm.PasswordMatches(std::string(48, 'x'), stored));
}
