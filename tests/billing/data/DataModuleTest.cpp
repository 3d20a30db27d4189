#include "billing/data/Schema.h"
#include "billing/data/dmdbu.h"

#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/IniFiles.h"
#include "platform/rtl/Strings.h"
#include "tests/billing/data/DataTestSupport.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sys/stat.h>

using namespace billing::data;
using billdata_test::DumpFile;
using billdata_test::Scalar;

namespace {

class DataModule : public ::testing::Test {
protected:
    void SetUp() override {
        DefaultMessages().Clear();
        dm = std::make_unique<Tdmdb>(nullptr);
        path = dir.file("fat.db");
        dm->Set_Var("nome_banco_dados", path);
        dm->Set_Var("id_usuario", "Admin");
    }
    void TearDown() override { DefaultMessages().Clear(); }

    sqlite::Database& Db() { return dm->ADOConnection->Database(); }
    std::string Query(const std::string& sql) { return Scalar(Db(), sql); }

    testsupport::TempDir dir;
    std::unique_ptr<Tdmdb> dm;
    std::string path;
};

}  // namespace

// ---------------------------------------------------------------------------
// Opening a database

TEST_F(DataModule, FirstOpenMakesAReadyDatabase) {
    std::vector<std::pair<int, std::string>> status;
    int opened = 0;
    dm->OnStatusText = [&](TObject*, int panel, const std::string& text) { status.emplace_back(panel, text); };
    dm->AfterOpenDatabase = [&](TObject* sender) {
        EXPECT_EQ(sender, dm.get());
        ++opened;
    };
    ASSERT_TRUE(CreateDatabaseFile(path));  // as the first start or the chooser makes it
    ASSERT_TRUE(dm->Abrir_Banco_Dados());
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_TRUE(dm->ADOConnection->Connected());
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(Query("select versao from versao"), kSchemaVersion);

    EXPECT_EQ(Query("select count(*) from emitente"), "1");
    EXPECT_EQ(Query("select nome_fantasia from emitente"), "Quillmar");
    EXPECT_EQ(Query("select id_municipio from emitente"), "4106902");
    EXPECT_EQ(dm->Get_Var("nome_emitente"), "Quillmar Tecnologia em Informática Ltda");

    EXPECT_EQ(Query("select nome from usuario where id_usuario = 'Admin'"), "Admin");
    EXPECT_EQ(Query("select inativo from usuario where id_usuario = 'Admin'"), "Não");
    // "TRUVE" as every installation stores it.
    EXPECT_EQ(Query("select senha from usuario where id_usuario = 'Admin'"), "USjzVr0X0j4=");
    EXPECT_EQ(Query("select count(*) from opcao"), "1");
    EXPECT_EQ(Query("select tipo_impressao_danfe from opcao"), "Retrato");
    for (const char* v : {"pasta_nfe_envio", "pasta_nfe_retorno", "pasta_nfe_arquivamento", "pasta_nfe_erro",
                          "ambiente"}) {
        EXPECT_TRUE(dm->VarExists(v)) << v;
        EXPECT_EQ(dm->Get_Var(v), "");
    }
    ASSERT_EQ(status.size(), 2u);
    EXPECT_EQ(status[0], std::make_pair(1, " " + AnsiLowerCase(path)));
    EXPECT_EQ(status[1], std::make_pair(3, std::string("Quillmar Tecnologia em Informática Ltda")));
    EXPECT_TRUE(DefaultMessages().Entries().empty());
}

TEST_F(DataModule, ReopeningAddsNoRowsAndLoadsTheSettings) {
    ASSERT_TRUE(CreateDatabaseFile(path));
    ASSERT_TRUE(dm->Abrir_Banco_Dados());
    dm->ADOConnection->Execute("update opcao set pasta_nfe_envio = '/srv/nfe/envio', ambiente = '2 - Homologação'");
    dm->ADOConnection->Execute("update emitente set nome = 'Outra Empresa'");
    ASSERT_TRUE(dm->Fechar_Banco_Dados());
    EXPECT_FALSE(dm->ADOConnection->Connected());
    ASSERT_TRUE(dm->Abrir_Banco_Dados());
    EXPECT_EQ(Query("select count(*) from emitente"), "1");
    EXPECT_EQ(Query("select count(*) from opcao"), "1");
    EXPECT_EQ(Query("select count(*) from usuario"), "1");
    EXPECT_EQ(dm->Get_Var("pasta_nfe_envio"), "/srv/nfe/envio");
    EXPECT_EQ(dm->Get_Var("ambiente"), "2 - Homologação");
    EXPECT_EQ(dm->Get_Var("nome_emitente"), "Outra Empresa");
}

TEST_F(DataModule, EmptyDatabaseGetsItsFirstRows) {
    // Tables present, no rows at all (a file emptied by hand).
    ASSERT_TRUE(CreateDatabaseFile(path));
    {
        sqlite::Database db(path);
        db.Exec("delete from usuario; delete from opcao; delete from emitente");
    }
    ASSERT_TRUE(dm->Abrir_Banco_Dados());
    EXPECT_EQ(Query("select count(*) from emitente"), "1");
    EXPECT_EQ(Query("select count(*) from opcao"), "1");
    EXPECT_EQ(Query("select senha from usuario where id_usuario = 'admin'"), "USjzVr0X0j4=");
}

TEST_F(DataModule, UpperCasePathIsShownLowerAndOpenedAsIs) {
    std::string upper = dir.file("Dados/FAT.DB");
    std::filesystem::create_directories(dir.file("Dados"));
    ASSERT_TRUE(CreateDatabaseFile(upper));
    dm->Set_Var("nome_banco_dados", upper);
    std::string shown;
    dm->OnStatusText = [&](TObject*, int panel, const std::string& text) {
        if (panel == 1) shown = text;
    };
    ASSERT_TRUE(dm->Abrir_Banco_Dados());
    EXPECT_TRUE(std::filesystem::exists(upper));
    EXPECT_EQ(shown, " " + AnsiLowerCase(upper));
    EXPECT_EQ(dm->ADOConnection->DatabaseName(), upper);
}

TEST_F(DataModule, ConnectionStringKeepsItsEndsAroundTheNewPath) {
    std::string odd = dir.file("a;b \"c\".db");
    dm->Set_Var("nome_banco_dados", odd);
    ASSERT_TRUE(CreateDatabaseFile(odd));
    ASSERT_TRUE(dm->Abrir_Banco_Dados());
    std::string s = dm->ADOConnection->ConnectionString();
    EXPECT_EQ(s.rfind("Provider=SQLite;Password=;User ID=Admin;Data Source=", 0), 0u) << s;
    EXPECT_NE(s.find(";Persist Security Info=True"), std::string::npos);
    EXPECT_EQ(s.find("Mode="), std::string::npos);
    EXPECT_EQ(dm->ADOConnection->DatabaseName(), odd);
    EXPECT_TRUE(std::filesystem::exists(odd));
}

TEST_F(DataModule, ConnectionStringWithoutMarkersIsAFatalMessage) {
    dm->ADOConnection->SetConnectionString("Data Source=" + path);
    ASSERT_TRUE(CreateDatabaseFile(path));
    dm->Set_Var("nome_banco_dados", dir.file("outro.db"));
    ASSERT_TRUE(dm->Abrir_Banco_Dados());
    ASSERT_FALSE(DefaultMessages().Entries().empty());
    EXPECT_EQ(DefaultMessages().Entries()[0].text, "Erro Fatal - Não foi possível abrir o Banco de Dados");
    // The open still goes ahead with the old string.
    EXPECT_EQ(dm->ADOConnection->DatabaseName(), path);
    EXPECT_FALSE(std::filesystem::exists(dir.file("outro.db")));
}

// Only the first start and the chooser's "new" make a database: an emptied
// file or another program's database is damaged, and stays as it is.
TEST_F(DataModule, AnEmptyOrForeignFileIsReportedAsDamagedAndNeverInitialised) {
    std::string foreign = dir.file("outro.db");
    {
        sqlite::OpenOptions options;
        options.create = true;
        sqlite::Database db(foreign, options);
        db.Exec("create table clientes(nome text)");
    }
    for (const auto& [file, found] : {std::pair{path, std::string("vazio")}, {foreign, std::string("tabelas")}}) {
        SCOPED_TRACE(file);
        if (file == path) testsupport::WriteAll(path, "");
        std::string before = DumpFile(file);
        dm->Set_Var("nome_banco_dados", file);
        try {
            dm->Abrir_Banco_Dados();
            ADD_FAILURE() << "opened";
        } catch (const ESQLiteError& e) {
            EXPECT_EQ(e.Message().rfind("O arquivo não é um banco de dados válido ou está danificado.", 0), 0u);
            EXPECT_NE(e.Message().find(found), std::string::npos) << e.Message();
        }
        EXPECT_FALSE(dm->ADOConnection->Connected());
        EXPECT_EQ(DumpFile(file), before) << "left as it was";
    }
}

TEST_F(DataModule, FileThatIsNotADatabaseRaisesAndRunsNothingAfter) {
    testsupport::WriteAll(path, "isto não é um banco de dados, apenas texto comum........................");
    int opened = 0;
    dm->AfterOpenDatabase = [&](TObject*) { ++opened; };
    EXPECT_THROW(dm->Abrir_Banco_Dados(), Exception);
    EXPECT_EQ(opened, 0);
    EXPECT_FALSE(dm->VarExists("nome_emitente"));
}

// Another instance in the middle of a save holds the write lock: the log-in
// still opens and checks the file, and a save here asks soon whether to go
// on waiting instead of freezing; Não gives up without writing.
TEST_F(DataModule, AnotherInstancesWriteLockNeitherBlocksTheOpenNorFreezesASave) {
    ASSERT_TRUE(CreateDatabaseFile(path));
    dm->AskWhileWaiting();
    ASSERT_TRUE(dm->Abrir_Banco_Dados());  // the first open makes Admin and the settings
    dm->Fechar_Banco_Dados();
    sqlite::Database other(path);
    other.Exec("BEGIN IMMEDIATE");
    other.Exec("update opcao set dias_protesto = 9");
    ASSERT_TRUE(dm->Abrir_Banco_Dados());
    EXPECT_TRUE(DefaultMessages().Entries().empty()) << "the open waited for nobody";

    DefaultMessages().QueueAnswer(true);   // go on waiting once...
    DefaultMessages().QueueAnswer(false);  // ...then give up
    try {
        dm->ADOConnection->Execute("update opcao set dias_protesto = 5");
        ADD_FAILURE() << "written under another instance's lock";
    } catch (const ESQLiteError& e) {
        EXPECT_TRUE(e.IsBusy()) << e.Message();
    }
    ASSERT_EQ(DefaultMessages().Entries().size(), 2u);
    EXPECT_NE(DefaultMessages().Entries()[0].text.find(Tdmdb::kWaitingForOtherUser), std::string::npos);
    other.Exec("COMMIT");
    EXPECT_EQ(Query("select dias_protesto from opcao"), "9");
}

TEST_F(DataModule, OpeningUpgradesAnOldFile) {
    ASSERT_TRUE(CreateDatabaseFile(path));
    {
        sqlite::Database db(path);
        db.Exec("ALTER TABLE produto DROP COLUMN Peca");
        db.Exec("update versao set versao = '1.6'");
    }
    ASSERT_TRUE(dm->Abrir_Banco_Dados());
    EXPECT_EQ(dm->LastUpgrade().fromVersion, "1.6");
    EXPECT_EQ(Query("select versao from versao"), kSchemaVersion);
    EXPECT_TRUE(billdata_test::HasColumn(Db(), "produto", "Peca"));
}

TEST_F(DataModule, AMissingFileIsAnErrorNamingItAndNoneIsMade) {
    int opened = 0;
    dm->AfterOpenDatabase = [&](TObject*) { ++opened; };
    try {
        dm->Abrir_Banco_Dados();
        ADD_FAILURE() << "opened";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "O Banco de Dados \"" + path + "\" não foi encontrado.");
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(dm->ADOConnection->Connected());
    EXPECT_EQ(opened, 0);
}

TEST_F(DataModule, ADatabaseTheProgramCannotWriteIsReportedAndLeftAlone) {
    ASSERT_TRUE(CreateDatabaseFile(path));
    std::string before = DumpFile(path);
    // The folder: the engine could not even keep its journal there.
    dm->CanWrite = [&](const std::string& p) { return p != dir.path().string(); };
    try {
        dm->Abrir_Banco_Dados();
        ADD_FAILURE() << "opened";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message().find("\"" + path + "\""), std::string::npos) << e.Message();
        EXPECT_NE(e.Message().find("pasta somente leitura"), std::string::npos) << e.Message();
    }
    // The file itself.
    dm->CanWrite = [&](const std::string& p) { return p != path; };
    try {
        dm->Abrir_Banco_Dados();
        ADD_FAILURE() << "opened";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message().find("arquivo somente leitura"), std::string::npos) << e.Message();
    }
    EXPECT_FALSE(dm->ADOConnection->Connected());
    EXPECT_EQ(DumpFile(path), before);
    dm->CanWrite = nullptr;  // the file system's own answer again
    EXPECT_TRUE(dm->Abrir_Banco_Dados());
}

// A link left at the engine's journal name blocks every open with "unable to
// open database file": the message names the cause and the file to remove,
// whether the link leads nowhere, to another file or to a folder; once it is
// removed the database opens.
TEST_F(DataModule, ALinkAtTheJournalsNameIsNamedWithTheFileToRemove) {
    ASSERT_TRUE(CreateDatabaseFile(path));
    std::string before = DumpFile(path);
    const std::string journal = path + "-journal";
    testsupport::WriteAll(dir.file("outro"), "x");
    for (const std::string& target : {dir.file("nenhum"), dir.file("outro"), dir.path().string()}) {
        SCOPED_TRACE(target);
        std::filesystem::create_symlink(target, journal);
        try {
            dm->Abrir_Banco_Dados();
            ADD_FAILURE() << "opened";
        } catch (const Exception& e) {
            EXPECT_NE(e.Message().find("atalho (link simbólico)"), std::string::npos) << e.Message();
            EXPECT_NE(e.Message().find("Remova \"" + journal + "\""), std::string::npos) << e.Message();
        }
        EXPECT_FALSE(dm->ADOConnection->Connected());
        EXPECT_TRUE(std::filesystem::is_symlink(journal)) << "the clerk removes it, not the program";
        std::filesystem::remove(journal);
    }
    EXPECT_EQ(DumpFile(path), before);
    EXPECT_EQ(testsupport::ReadAll(dir.file("outro")), "x");
    EXPECT_TRUE(dm->Abrir_Banco_Dados());
}

// A database chosen through a symbolic link: the engine keeps its journal
// beside the file the link leads to, so that is where the open looks. A
// pipe there is refused at once with the message that names it (the engine
// alone says only "unable to open database file"); a pipe beside the link,
// where no journal ever goes, stops nothing and is left as it is.
TEST_F(DataModule, ADatabaseReachedThroughALinkIsJudgedByTheJournalBesideItsTarget) {
    std::filesystem::create_directory(dir.file("dados"));
    const std::string real = dir.file("dados/empresa.db");
    ASSERT_TRUE(CreateDatabaseFile(real));
    std::filesystem::create_symlink("dados/empresa.db", path);
    const std::string before = DumpFile(real);
    const std::string targetJournal = std::filesystem::canonical(real).string() + "-journal";
    const std::string besideLink = path + "-journal";

    ASSERT_EQ(::mkfifo(targetJournal.c_str(), 0600), 0);
    testsupport::WithWatchdog(20, [&] {
        try {
            dm->Abrir_Banco_Dados();
            ADD_FAILURE() << "opened";
        } catch (const Exception& e) {
            EXPECT_NE(e.Message().find("O Banco de Dados \"" + path + "\" não pode ser aberto"), std::string::npos)
                << e.Message();
            EXPECT_NE(e.Message().find("Remova \"" + targetJournal + "\""), std::string::npos) << e.Message();
        }
    });
    EXPECT_FALSE(dm->ADOConnection->Connected());
    struct stat st {};
    ASSERT_EQ(::lstat(targetJournal.c_str(), &st), 0) << "the clerk removes it, not the program";
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    std::filesystem::remove(targetJournal);
    EXPECT_EQ(DumpFile(real), before);

    ASSERT_EQ(::mkfifo(besideLink.c_str(), 0600), 0);
    testsupport::WithWatchdog(20, [&] { EXPECT_TRUE(dm->Abrir_Banco_Dados()); });
    EXPECT_TRUE(dm->ADOConnection->Connected());
    Db().Exec("create table anotacao (texto text)");
    Db().Exec("insert into anotacao values ('salvo')");
    ASSERT_EQ(::lstat(besideLink.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(Scalar(Db(), "select count(*) from anotacao"), "1");
}

// The folder that must take writes is the one the engine writes its
// journal into: the target's, not the link's.
TEST_F(DataModule, ALinkedDatabaseIsJudgedWritableByItsTargetsFolder) {
    std::filesystem::create_directory(dir.file("dados"));
    const std::string real = dir.file("dados/empresa.db");
    ASSERT_TRUE(CreateDatabaseFile(real));
    std::filesystem::create_symlink("dados/empresa.db", path);
    const std::string targetFolder = std::filesystem::canonical(dir.file("dados")).string();
    dm->CanWrite = [&](const std::string& p) { return p != targetFolder; };
    try {
        dm->Abrir_Banco_Dados();
        ADD_FAILURE() << "opened";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message().find("pasta somente leitura (\"" + targetFolder + "\")"), std::string::npos)
            << e.Message();
    }
    // The link's own folder may be read-only: nothing is written there.
    const std::string linkFolder = std::filesystem::canonical(dir.path()).string();
    dm->CanWrite = [&](const std::string& p) { return p != linkFolder; };
    EXPECT_TRUE(dm->Abrir_Banco_Dados());
}

// The same link put there while the program runs fails every save with the
// engine's "unable to open database file": the save's message names the
// cause and the file to remove as the open's does, for every kind of thing
// at that name; nothing is written, and once it is removed saves go through.
TEST_F(DataModule, ALinkPutAtTheJournalsNameWhileRunningIsNamedAtTheSave) {
    ASSERT_TRUE(CreateDatabaseFile(path));
    ASSERT_TRUE(dm->Abrir_Banco_Dados());
    auto& db = dm->ADOConnection->Database();
    db.Exec("create table anotacao (texto text)");
    const std::string journal = path + "-journal";
    testsupport::WriteAll(dir.file("outro"), "x");
    struct Obstacle {
        std::function<void()> plant;
        const char* named;
    };
    const std::vector<Obstacle> obstacles = {
        {[&] { std::filesystem::create_symlink(dir.file("nenhum"), journal); }, "atalho (link simbólico)"},
        {[&] { std::filesystem::create_symlink(dir.file("outro"), journal); }, "atalho (link simbólico)"},
        {[&] { std::filesystem::create_symlink(dir.path(), journal); }, "atalho (link simbólico)"},
        {[&] { std::filesystem::create_directory(journal); }, "uma pasta"},
    };
    for (const Obstacle& o : obstacles) {
        SCOPED_TRACE(o.named);
        o.plant();
        try {
            db.Execute("insert into anotacao(texto) values(:ptexto)", {"ptexto"}, {std::string("salvo")});
            ADD_FAILURE() << "saved";
        } catch (const Exception& e) {
            EXPECT_NE(e.Message().find(o.named), std::string::npos) << e.Message();
            EXPECT_NE(e.Message().find("Remova \"" + journal + "\""), std::string::npos) << e.Message();
        }
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(journal)))
            << "the clerk removes it, not the program";
        std::filesystem::remove(journal);
    }
    EXPECT_EQ(testsupport::ReadAll(dir.file("outro")), "x");
    db.Execute("insert into anotacao(texto) values(:ptexto)", {"ptexto"}, {std::string("salvo")});
    sqlite::Statement st(db, "select count(*) from anotacao");
    ASSERT_TRUE(st.Step());
    EXPECT_EQ(st.ColumnInt64(0), 1);
}

// ---------------------------------------------------------------------------
// Compaction

TEST_F(DataModule, CompactionShrinksTheClosedFileKeepingItsRows) {
    ASSERT_TRUE(CreateDatabaseFile(path));
    ASSERT_TRUE(dm->Abrir_Banco_Dados());
    dm->ADOConnection->BeginTrans();
    for (int i = 1; i <= 3000; ++i)
        dm->ADOConnection->Execute("insert into vendedor(id_vendedor, nome, email) values(:pid, :pnome, :pemail)",
                                   {"pid", "pnome", "pemail"},
                                   {std::int64_t{i}, std::string("Vendedor ") + std::to_string(i),
                                    std::string(200, 'x')});
    dm->ADOConnection->CommitTrans();
    dm->ADOConnection->Execute("delete from vendedor where id_vendedor > 10");
    dm->Fechar_Banco_Dados();
    auto before = std::filesystem::file_size(path);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    ino_t inode = st.st_ino;
    ASSERT_TRUE(dm->Compactar_Banco_Dados()) << dm->CompactError();
    EXPECT_LT(std::filesystem::file_size(path), before);
    // Compacted in place: instances that hold the file keep seeing it.
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_ino, inode);
    sqlite::Database db(path);
    EXPECT_EQ(Scalar(db, "select count(*) from vendedor"), "10");
    EXPECT_EQ(Scalar(db, "pragma integrity_check"), "ok");
}

TEST_F(DataModule, CompactionThatCannotRunLeavesTheFileAsItWas) {
    ASSERT_TRUE(CreateDatabaseFile(path));
    ASSERT_TRUE(dm->Abrir_Banco_Dados());
    dm->ADOConnection->Execute("insert into cfop(id_cfop, descricao) values('5102', 'Venda')");
    dm->ADOConnection->Execute("delete from cfop");

    // Still open: refused.
    EXPECT_FALSE(dm->Compactar_Banco_Dados());
    EXPECT_FALSE(dm->CompactError().empty());
    dm->Fechar_Banco_Dados();

    // Another instance holds the write lock.
    std::string before = DumpFile(path);
    auto size = std::filesystem::file_size(path);
    sqlite::Database other(path);
    other.Begin();
    other.Exec("insert into cfop(id_cfop, descricao) values('6102', 'Fora')");
    EXPECT_FALSE(dm->Compactar_Banco_Dados());
    EXPECT_NE(dm->CompactError().find("compactar"), std::string::npos);
    other.Rollback();
    other.Close();
    EXPECT_EQ(std::filesystem::file_size(path), size);
    EXPECT_EQ(DumpFile(path), before);

    // A missing file.
    dm->Set_Var("nome_banco_dados", dir.file("nada.db"));
    EXPECT_FALSE(dm->Compactar_Banco_Dados());
    EXPECT_FALSE(std::filesystem::exists(dir.file("nada.db")));
    EXPECT_TRUE(DefaultMessages().Entries().empty());
}

TEST_F(DataModule, PathTheEngineReadsAsMemoryIsStillAFile) {
    // The engine takes the name ":memory:" for a database that lives only
    // until it is closed: all typed in would vanish at exit.
    std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    struct Back {
        std::filesystem::path to;
        ~Back() { std::filesystem::current_path(to); }
    } back{before};
    dm->Set_Var("nome_banco_dados", ":memory:");
    ASSERT_TRUE(CreateDatabaseFile(":memory:"));
    ASSERT_TRUE(dm->Abrir_Banco_Dados());
    dm->ADOConnection->Execute("insert into cfop(id_cfop, descricao) values('5102', 'Venda')");
    dm->Fechar_Banco_Dados();
    EXPECT_TRUE(std::filesystem::exists(dir.file(":memory:")));
    ASSERT_TRUE(dm->Abrir_Banco_Dados());
    EXPECT_EQ(Query("select descricao from cfop where id_cfop = '5102'"), "Venda");
}
