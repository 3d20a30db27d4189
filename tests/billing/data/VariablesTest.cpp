#include "billing/data/Schema.h"
#include "billing/data/dmdbu.h"

#include "platform/rtl/IniFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace billing::data;

namespace {

class Variables : public ::testing::Test {
protected:
    void SetUp() override { DefaultMessages().Clear(); }
    void TearDown() override { DefaultMessages().Clear(); }
    Tdmdb dm{nullptr};
    testsupport::TempDir dir;
};

AppFiles FilesIn(const testsupport::TempDir& dir, std::vector<std::string> args = {}) {
    return AppFiles(dir.file("faturamento"), std::move(args), {}, [](const std::string&) { return true; });
}

}  // namespace

TEST_F(Variables, NamesIgnoreCase) {
    dm.Set_Var("X", "a");
    EXPECT_EQ(dm.Get_Var("x"), "a");
    dm.Set_Var("Id_Usuario", "ana");
    EXPECT_EQ(dm.Get_Var("ID_USUARIO"), "ana");
    dm.Set_Var("AÇÃO", "1");
    EXPECT_EQ(dm.Get_Var("ação"), "1");
    EXPECT_TRUE(DefaultMessages().Entries().empty());
}

TEST_F(Variables, SettingTwiceKeepsOneRowWithTheLastValue) {
    dm.Set_Var("pasta", "um");
    dm.Set_Var("PASTA", "dois");
    dm.Set_Var("outra", "três");
    EXPECT_EQ(dm.Get_Var("pasta"), "dois");
    EXPECT_EQ(dm.tbVar->RecordCount(), 2);
    // Names are stored in lower case.
    ASSERT_TRUE(dm.tbVar->Locate("id_variable", std::string("pasta"), {}));
    EXPECT_EQ(dm.tbVar->FieldByName("id_variable")->AsString(), "pasta");
}

TEST_F(Variables, LongValuesAreKeptWhole) {
    std::string folder = "/home/usuario/" + std::string(300, 'p') + "/NFe/Envio/çã";
    dm.Set_Var("pasta_nfe_envio", folder);
    EXPECT_EQ(dm.Get_Var("pasta_nfe_envio"), folder);
    dm.Set_Var("vazio", "");
    EXPECT_EQ(dm.Get_Var("vazio"), "");
    EXPECT_TRUE(dm.VarExists("vazio"));
}

TEST_F(Variables, UnknownNameShowsTheInternalErrorAndGivesEmpty) {
    EXPECT_EQ(dm.Get_Var("Nada"), "");
    ASSERT_EQ(DefaultMessages().Entries().size(), 1u);
    const auto& m = DefaultMessages().Entries()[0];
    EXPECT_EQ(m.text, "Erro Interno do sistema, a variável de ambiente \"nada\" não foi encontrada.");
    EXPECT_EQ(m.caption, "Erro");
    EXPECT_EQ(m.icon, MessageIcon::Exclamation);
    EXPECT_FALSE(dm.VarExists("nada"));
    EXPECT_EQ(DefaultMessages().Entries().size(), 1u);
}

TEST_F(Variables, StartWithoutIniWritesItWithTheDefaults) {
    AppFiles files = FilesIn(dir);
    dm.LoadStartupFiles(files);
    std::string ini = dir.file("faturamento.ini");
    ASSERT_TRUE(std::filesystem::exists(ini));
    TIniFile f(ini);
    EXPECT_EQ(f.ReadString("Database", "Database", "?"), dir.file("faturamento.db"));
    EXPECT_EQ(f.ReadString("Database", "User", "?"), "");
    EXPECT_EQ(dm.Get_Var("nome_arquivo_ini"), ini);
    EXPECT_EQ(dm.Get_Var("nome_banco_dados"), dir.file("faturamento.db"));
    EXPECT_EQ(dm.Get_Var("id_usuario"), "");
    EXPECT_EQ(dm.Get_Var("mascara_produto"), "#.##.###.###;0; ");
    EXPECT_EQ(dm.Get_Var("nome_aplicativo"), "Quillmar OSKE 1.44 [Faturamento]");
    // The program itself is never touched.
    EXPECT_FALSE(std::filesystem::exists(dir.file("faturamento")));
    // The default database is ready for the login.
    EXPECT_TRUE(std::filesystem::exists(dir.file("faturamento.db")));
}

TEST_F(Variables, StartReadsTheDatabaseAndLastUserFromTheIni) {
    std::string ini = dir.file("outro.ini");
    testsupport::WriteAll(ini, "; escolhido pelo usuário\n[Database]\nDatabase=/dados/empresa.db\nUser=maria\n");
    dm.LoadStartupFiles(FilesIn(dir, {ini}));
    EXPECT_EQ(dm.Get_Var("nome_arquivo_ini"), ini);
    EXPECT_EQ(dm.Get_Var("nome_banco_dados"), "/dados/empresa.db");
    EXPECT_EQ(dm.Get_Var("id_usuario"), "maria");
    EXPECT_FALSE(std::filesystem::exists(dir.file("faturamento.ini")));
    // A database named elsewhere is not made up.
    EXPECT_FALSE(std::filesystem::exists("/dados/empresa.db"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("faturamento.db")));
}

TEST_F(Variables, ADatabaseGoneFromBesideTheProgramIsNotMadeAgain) {
    dm.LoadStartupFiles(FilesIn(dir));  // the first start makes it
    std::string database = dir.file("faturamento.db");
    ASSERT_TRUE(std::filesystem::exists(database));
    std::filesystem::remove(database);
    // The next start: the INI is there, so a missing database is the
    // login's to report, never replaced by an empty one.
    Tdmdb next(nullptr);
    next.LoadStartupFiles(FilesIn(dir));
    EXPECT_EQ(next.Get_Var("nome_banco_dados"), database);
    EXPECT_FALSE(std::filesystem::exists(database));
}

TEST_F(Variables, IniWithoutTheSectionKeepsTheValues) {
    std::string ini = dir.file("f.ini");
    testsupport::WriteAll(ini, "[Outra]\nDatabase=/nao/usar.db\n");
    dm.Set_Var("nome_arquivo_ini", ini);
    dm.Set_Var("nome_banco_dados", "/atual.db");
    dm.Set_Var("id_usuario", "joao");
    dm.Arquivo_Ini("LE");
    EXPECT_EQ(dm.Get_Var("nome_banco_dados"), "/atual.db");
    EXPECT_EQ(dm.Get_Var("id_usuario"), "joao");
}

TEST_F(Variables, SavingKeepsCommentsAndOtherSections) {
    std::string ini = dir.file("f.ini");
    testsupport::WriteAll(ini, "; configuração\n[Outra]\nChave=1\n[Database]\nDatabase=/velho.db\nUser=x\n");
    dm.Set_Var("nome_arquivo_ini", ini);
    dm.Set_Var("nome_banco_dados", "/novo.db");
    dm.Set_Var("id_usuario", "ana");
    dm.Arquivo_Ini("Salva");
    EXPECT_EQ(testsupport::ReadAll(ini),
              "; configuração\n[Outra]\nChave=1\n[Database]\nDatabase=/novo.db\nUser=ana\n");
    // Any other mode only opens and closes the file.
    dm.Set_Var("nome_banco_dados", "/mudou.db");
    dm.Arquivo_Ini("qualquer");
    EXPECT_EQ(dm.Get_Var("nome_banco_dados"), "/mudou.db");
    EXPECT_NE(testsupport::ReadAll(ini).find("/novo.db"), std::string::npos);
}

TEST_F(Variables, NeverWritesTheIniOverAProgram) {
    std::string program = dir.file("faturamento");
    std::string elf = std::string("\x7f" "ELF\x02\x01\x01", 7) + std::string(64, '\0');
    testsupport::WriteAll(program, elf);
    dm.Set_Var("nome_arquivo_ini", program);
    dm.Set_Var("nome_banco_dados", "/x.db");
    dm.Set_Var("id_usuario", "");
    EXPECT_THROW(dm.Arquivo_Ini("Salva"), EIniFileException);
    EXPECT_EQ(testsupport::ReadAll(program), elf);
}

TEST_F(Variables, OddNamesKeepTheirOwnValues) {
    // A name longer than the stored name column, and two that share their
    // first characters, must still be one variable each.
    std::string longName = "pasta_de_arquivamento_das_notas_fiscais_eletronicas";
    std::string otherLong = "pasta_de_arquivamento_das_notas_fiscais_de_servico";
    dm.Set_Var(longName, "um");
    dm.Set_Var(otherLong, "dois");
    dm.Set_Var(longName, "três");
    EXPECT_EQ(dm.Get_Var(longName), "três");
    EXPECT_EQ(dm.Get_Var(otherLong), "dois");
    // Names that differ only by spaces, or that look like wildcards, are
    // not taken for one another.
    dm.Set_Var("a b", "1");
    dm.Set_Var("a  b", "2");
    dm.Set_Var("a%", "3");
    dm.Set_Var("a*", "4");
    dm.Set_Var("", "5");
    EXPECT_EQ(dm.Get_Var("a b"), "1");
    EXPECT_EQ(dm.Get_Var("a  b"), "2");
    EXPECT_EQ(dm.Get_Var("a%"), "3");
    EXPECT_EQ(dm.Get_Var("a*"), "4");
    EXPECT_EQ(dm.Get_Var(""), "5");
    EXPECT_FALSE(dm.VarExists("a"));
    EXPECT_FALSE(dm.VarExists("a_"));
    EXPECT_TRUE(DefaultMessages().Entries().empty());

    // A name too long to keep whole is refused, not cut to match another.
    std::string huge(300, 'v');
    dm.Set_Var(huge.substr(0, 255), "curto");
    EXPECT_THROW(dm.Set_Var(huge, "longo"), EDatabaseError);
    EXPECT_EQ(dm.Get_Var(huge.substr(0, 255)), "curto");
    EXPECT_FALSE(dm.VarExists(huge));
    EXPECT_EQ(dm.Get_Var(huge), "");
    EXPECT_EQ(DefaultMessages().Entries().size(), 1u);
}

TEST_F(Variables, NeverWritesTheIniOverADatabase) {
    // "faturamento dados.db" by mistake: the first argument names the INI,
    // and saving it would turn the database into a text file.
    std::string database = dir.file("dados.db");
    ASSERT_TRUE(CreateDatabaseFile(database));
    std::string before = testsupport::ReadAll(database);
    dm.Set_Var("nome_arquivo_ini", database);
    dm.Set_Var("nome_banco_dados", database);
    dm.Set_Var("id_usuario", "ana");
    EXPECT_THROW(dm.Arquivo_Ini("Salva"), EIniFileException);
    EXPECT_EQ(testsupport::ReadAll(database), before);
}
