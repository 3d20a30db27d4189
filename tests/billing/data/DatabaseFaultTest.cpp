// The database-wide paths against a failed write at each step of the disk's
// work and against the program dying right after each write: making a new
// database (the routine and the first start that calls it), every upgrade
// step from the oldest release, the compaction at exit, and the variable
// store, which must not touch the disk at all.
//
// Each outcome is judged on the file alone, through a connection of its own
// (tests/support/DbCheck.h): it opens, its integrity check says "ok", it
// holds exactly a state the path may leave (before, after, or after a whole
// upgrade step) and nothing is left beside it.
#include "billing/data/Schema.h"
#include "billing/data/SchemaUpgrade.h"
#include "billing/data/dmdbu.h"

#include "platform/db/SQLSchema.h"
#include "platform/rtl/SafeFile.h"
#include "tests/support/DbCheck.h"
#include "tests/support/FaultVfs.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

using namespace billing::data;
namespace fs = std::filesystem;

namespace {

// The whole file: every table's and index's SQL, then every row.
std::string State(const std::string& path) {
    return testsupport::DumpSchema(path) + testsupport::DumpTables(path, testsupport::TableNames(path));
}

std::string Version(const std::string& path) {
    sqlite::OpenOptions o;
    o.readOnly = true;
    sqlite::Database db(path, o);
    return SchemaVersion(db);
}

// How the database layer opens its message for an injected code.
std::string EngineText(int code) {
    return (code & 0xff) == SQLITE_FULL ? "Não há espaço em disco para gravar no banco de dados"
                                        : "Erro de leitura ou gravação no arquivo do banco de dados";
}

// Every few writes of a long path in the ordinary run; all of them with
// FAT_FAULT_ALL=1.
std::vector<int> Sample(int total, int runs) { return testsupport::FaultPlan(total, std::max(1, total / runs)); }

// The program's own open, as the next start does it: a hot journal is
// rolled back, a stray one removed.
void NextStart(const std::string& path) { sqlite::Database db(path); }

class DatabaseFaults : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { DefaultMessages().Clear(); }
    void TearDown() override { DefaultMessages().Clear(); }
    int Code() const { return GetParam(); }

    testsupport::FaultVfs vfs;
    testsupport::TempDir dir;
};

// ---------------------------------------------------------------------------
// Making a new database

class CreationFaults : public DatabaseFaults {
protected:
    void SetUp() override {
        DatabaseFaults::SetUp();
        const std::string reference = dir.file("referencia.db");
        vfs.Count();
        ASSERT_TRUE(CreateDatabaseFile(reference));
        vfs.Off();
        total = vfs.Operations();
        RecordProperty("operations", total);
        whole = State(reference);
    }
    void ExpectWhole(const std::string& path) {
        testsupport::DbCheck check = testsupport::CheckDatabase(path, {});
        EXPECT_TRUE(check.opens);
        EXPECT_EQ(check.integrity, "ok");
        EXPECT_EQ(State(path), whole);
    }
    int total = 0;
    std::string whole;
};

TEST_P(CreationFaults, ANewDatabaseIsWholeOrAbsentAfterAnyFailedWrite) {
    int refused = 0;
    const std::vector<int> plan = Sample(total, 20);
    RecordProperty("runs", static_cast<int>(plan.size()));
    for (int n : plan) {
        SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(total));
        testsupport::TempDir run;
        const std::string path = run.file("empresa.db");
        vfs.Fail(n, Code());
        bool created = false;
        try {
            created = CreateDatabaseFile(path);
        } catch (const Exception& e) {
            ++refused;
            EXPECT_NE(e.Message().find(EngineText(Code())), std::string::npos) << e.Message();
        }
        vfs.Off();
        EXPECT_TRUE(vfs.Faulted());
        if (created) ExpectWhole(path);
        else EXPECT_FALSE(fs::exists(path)) << vfs.FaultedOperation();
        EXPECT_EQ(testsupport::LeftoversOf(path), std::vector<std::string>{}) << vfs.FaultedOperation();
        // Made again on a healthy disk, it is the same file.
        if (!created) {
            EXPECT_TRUE(CreateDatabaseFile(path));
            ExpectWhole(path);
        }
    }
    EXPECT_GT(refused, 0);
}

TEST_F(CreationFaults, ACreationKilledAtAnyWriteLeavesNothingTheNextOneTakesForADatabase) {
    int kills = 0, strays = 0;
    const std::vector<int> plan = Sample(total, 20);
    RecordProperty("runs", static_cast<int>(plan.size()));
    for (int n : plan) {
        SCOPED_TRACE("killed after operation " + std::to_string(n) + " of " + std::to_string(total));
        testsupport::TempDir run;
        const std::string path = run.file("empresa.db");
        kills += testsupport::RunKilled(vfs, n, [&] { CreateDatabaseFile(path); });
        vfs.Off();
        // The half-made file never stands at the database's name.
        EXPECT_FALSE(fs::exists(path));
        const std::vector<std::string> left = testsupport::LeftoversOf(path);
        strays += !left.empty();
        // The next attempt (the next start, the chooser) makes a whole one.
        // What the dead one left is, as far as anyone here can tell, a
        // creation in progress on another machine sharing the folder: it
        // stays, and takes nothing from the new database.
        EXPECT_TRUE(CreateDatabaseFile(path));
        ExpectWhole(path);
        EXPECT_EQ(testsupport::LeftoversOf(path), left);
        // No creation runs again once the database is there: the later
        // starts that open it keep it while fresh, and a day later,
        // unlocked and unchanged, it is abandoned and goes.
        for (bool dayLater : {false, true}) {
            if (dayLater) testsupport::AgeFolder(run.path());
            Tdmdb later(nullptr);
            later.Set_Var("nome_banco_dados", path);
            later.Abrir_Banco_Dados();
            later.Fechar_Banco_Dados();
            EXPECT_EQ(testsupport::LeftoversOf(path), dayLater ? std::vector<std::string>{} : left);
        }
    }
    EXPECT_EQ(kills, static_cast<int>(plan.size()));
    // What makes the clearing needed: a killed creation leaves its work.
    EXPECT_GT(strays, 0);
    RecordProperty("kills", kills);
}

TEST_P(CreationFaults, AFirstStartThatCannotMakeTheDatabaseSaysSoOnceAndStaysAFirstStart) {
    int told = 0;
    const std::vector<int> plan = Sample(total, 12);
    RecordProperty("runs", static_cast<int>(plan.size()));
    for (int n : plan) {
        SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(total));
        testsupport::TempDir run;
        AppFiles files(run.file("faturamento"), {}, {}, [](const std::string&) { return true; });
        const std::string path = run.file("faturamento.db"), ini = run.file("faturamento.ini");
        DefaultMessages().Clear();
        {
            Tdmdb dm(nullptr);
            vfs.Fail(n, Code());
            EXPECT_NO_THROW(dm.LoadStartupFiles(files));
            vfs.Off();
            EXPECT_EQ(dm.Get_Var("nome_banco_dados"), path);
        }
        const auto& shown = DefaultMessages().Entries();
        if (fs::exists(path)) {
            EXPECT_TRUE(shown.empty());
            ExpectWhole(path);
            EXPECT_TRUE(fs::exists(ini));
        } else {
            ++told;
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].caption, "Erro");
            EXPECT_EQ(shown[0].text.rfind("Não foi possível criar o Banco de Dados \"" + path + "\".", 0), 0u)
                << shown[0].text;
            EXPECT_NE(shown[0].text.find(EngineText(Code())), std::string::npos);
            EXPECT_FALSE(fs::exists(ini));
        }
        EXPECT_EQ(testsupport::LeftoversOf(path, {"faturamento.ini"}), std::vector<std::string>{});
        // The next start, on a healthy disk.
        DefaultMessages().Clear();
        Tdmdb next(nullptr);
        next.LoadStartupFiles(files);
        EXPECT_TRUE(DefaultMessages().Entries().empty());
        ExpectWhole(path);
        EXPECT_TRUE(fs::exists(ini));
    }
    EXPECT_GT(told, 0);
}

TEST_F(CreationFaults, AFirstStartKilledAtAnyWriteIsAFirstStartAgainNextTime) {
    int kills = 0;
    const std::vector<int> plan = Sample(total, 12);
    RecordProperty("runs", static_cast<int>(plan.size()));
    for (int n : plan) {
        SCOPED_TRACE("killed after operation " + std::to_string(n) + " of " + std::to_string(total));
        testsupport::TempDir run;
        AppFiles files(run.file("faturamento"), {}, {}, [](const std::string&) { return true; });
        const std::string path = run.file("faturamento.db");
        kills += testsupport::RunKilled(vfs, n, [&] {
            Tdmdb dm(nullptr);
            dm.LoadStartupFiles(files);
        });
        vfs.Off();
        EXPECT_FALSE(fs::exists(run.file("faturamento.ini")));
        // The next start, a day later: what the killed one left is
        // provably abandoned by then, and goes.
        testsupport::AgeFolder(run.path());
        Tdmdb next(nullptr);
        next.LoadStartupFiles(files);
        EXPECT_TRUE(DefaultMessages().Entries().empty());
        ExpectWhole(path);
        EXPECT_EQ(testsupport::LeftoversOf(path, {"faturamento.ini"}), std::vector<std::string>{});
    }
    EXPECT_GT(kills, 0);
    RecordProperty("kills", kills);
}

namespace {

// Another process holding a writer's lock on a file, as a program on
// another machine (or in another pid namespace) making it does, whatever
// process id the file's name carries: until Release.
class LockHolder {
public:
    explicit LockHolder(const std::string& Path) {
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(release_) != 0) return;
        child_ = ::fork();
        if (child_ == 0) {
            int fd = ::open(Path.c_str(), O_RDWR | O_CLOEXEC);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            lock.l_len = 1;  // the first byte, as a creation locks it
            char ok = fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &lock) == 0 ? 'y' : 'n';
            (void)!::write(ready[1], &ok, 1);
            char c;
            (void)!::read(release_[0], &c, 1);
            ::_exit(0);
        }
        char ok = 'n';
        (void)!::read(ready[0], &ok, 1);
        locked_ = ok == 'y';
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~LockHolder() { Release(); }
    bool Locked() const { return locked_; }
    void Release() {
        if (child_ <= 0) return;
        (void)!::write(release_[1], "x", 1);
        ::waitpid(child_, nullptr, 0);
        ::close(release_[0]);
        ::close(release_[1]);
        child_ = -1;
    }

private:
    pid_t child_ = -1;
    int release_[2] = {-1, -1};
    bool locked_ = false;
};

}  // namespace

// What a first start or the chooser finds beside the database in a shared
// folder: the half-made copies of other programs' creations. The process id
// in a copy's name says nothing of its writer here (another machine, or
// another pid namespace, where an id that runs nothing here, or runs
// someone else, is a live program). A copy is removed only when provably
// abandoned: nobody holds its writer's lock AND it has not changed for a
// day. A second name of the database itself (a creation killed after
// linking it into place) goes at once; the database stays as it is.
TEST(DeadCreations, OnlyWorkProvablyAbandonedIsRemovedWhateverProcessIdItsNameCarries) {
    testsupport::TempDir run;
    const std::string path = run.file("empresa.db");
    ASSERT_TRUE(CreateDatabaseFile(path));
    const std::string whole = State(path);
    const std::string gone = std::to_string(testsupport::EndedProcess());
    const std::string someoneElse = std::to_string(::getppid());  // runs here, but is no creation
    auto name = [](const std::string& pid, int n) { return ".empresa.db.novo-" + pid + "-" + std::to_string(n); };

    // Killed between putting the file in place and removing its own name:
    // the leftover is a second name of the database itself.
    const std::string secondName = name(gone, 0);
    ASSERT_EQ(::link(path.c_str(), run.file(secondName).c_str()), 0);
    // Being made on a machine whose locks this one sees: locked, a day old.
    const std::string lockedOld = name(gone, 1);
    testsupport::WriteAll(run.file(lockedOld), "em andamento noutra máquina");
    LockHolder writer(run.file(lockedOld));
    ASSERT_TRUE(writer.Locked());
    testsupport::AgeFile(run.file(lockedOld));
    // Being made on a share whose locks stay on each mount: no lock seen,
    // its writer's id runs nothing here, and it changed a moment ago.
    const std::string unlockedFresh = name(gone, 2);
    testsupport::WriteAll(run.file(unlockedFresh), "em andamento, lock invisível");
    testsupport::WriteAll(run.file(unlockedFresh + "-journal"), std::string(512, '\0'));
    // Abandoned a day ago, whatever id it carries: a dead one, or one that
    // runs someone else here; with its journal, and a journal alone.
    const std::string abandonedDead = name(gone, 3), abandonedLive = name(someoneElse, 4);
    const std::string loneJournal = name(gone, 5) + "-journal";
    for (const std::string& f : {abandonedDead, abandonedDead + "-journal", abandonedLive, loneJournal}) {
        testsupport::WriteAll(run.file(f), "abandonado");
        testsupport::AgeFile(run.file(f));
    }
    // The journal of a copy still being made stays with it, however old.
    testsupport::AgeFile(run.file(unlockedFresh + "-journal"));
    // Another database's leftovers are not this one's.
    const std::string other = ".outro.db.novo-" + gone + "-0";
    testsupport::WriteAll(run.file(other), "de outro arquivo");
    testsupport::AgeFile(run.file(other));

    RemoveDeadCreations(path);
    EXPECT_EQ(testsupport::LeftoversOf(path),
              (std::vector<std::string>{name(gone, 1), name(gone, 2), name(gone, 2) + "-journal", other}));
    EXPECT_EQ(State(path), whole);
    // Its writer done with it, the copy a day old is abandoned.
    writer.Release();
    RemoveDeadCreations(path);
    EXPECT_EQ(testsupport::LeftoversOf(path),
              (std::vector<std::string>{name(gone, 2), name(gone, 2) + "-journal", other}));
    // And so, a day later, is the one whose writer's lock was never seen.
    testsupport::AgeFile(run.file(unlockedFresh));
    ASSERT_FALSE(CreateDatabaseFile(path));  // the first start's own clearing
    EXPECT_EQ(testsupport::LeftoversOf(path), std::vector<std::string>{other});
    EXPECT_EQ(State(path), whole);
}

// Two programs making the same database in one shared folder, each with
// the same process id in its own pid namespace: neither takes the other's
// work for its own nor removes it; one database results, whole.
TEST(DeadCreations, ACreationNeverTakesOverNorRemovesAFileOfItsOwnProcessIdMadeBySomeoneElse) {
    testsupport::TempDir run;
    const std::string path = run.file("empresa.db");
    const std::string pid = std::to_string(::getpid());
    std::vector<std::string> others;
    for (int n = 0; n < 4; ++n) {
        const std::string f = ".empresa.db.novo-" + pid + "-" + std::to_string(n);
        testsupport::WriteAll(run.file(f), "de outra máquina");
        others.push_back(f);
    }
    std::sort(others.begin(), others.end());
    ASSERT_TRUE(CreateDatabaseFile(path));
    EXPECT_EQ(testsupport::LeftoversOf(path), others);
    for (const std::string& f : others) EXPECT_EQ(testsupport::ReadAll(run.file(f)), "de outra máquina") << f;
    testsupport::DbCheck check = testsupport::CheckDatabase(path, {});
    EXPECT_TRUE(check.opens);
    EXPECT_EQ(check.integrity, "ok");
}

// ---------------------------------------------------------------------------
// The upgrade from the oldest release

// A file as the first release left it, made by taking every step back from
// the newest one down, with rows in the tables that the steps rebuild.
std::string MakeVersion10(const std::string& path) {
    EXPECT_TRUE(CreateDatabaseFile(path));
    sqlite::Database db(path);
    const auto& steps = UpgradeSteps();
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        for (auto a = step->actions.rbegin(); a != step->actions.rend(); ++a) {
            bool has = false;
            for (const sqlite::ColumnInfo& c : db.TableColumns(a->table))
                has = has || sqlite::CompareText(c.name, a->column) == 0;
            switch (a->kind) {
            case UpgradeAction::AddProgram:
                db.Execute("delete from programa where id_programa = :p", {"p"}, {a->table});
                break;
            case UpgradeAction::AddColumn:
                if (has) db.Exec("ALTER TABLE " + a->table + " DROP COLUMN " + a->column);
                break;
            case UpgradeAction::DropColumn:
                if (!has) db.Exec("ALTER TABLE " + a->table + " ADD COLUMN " + a->column + " text(50)");
                break;
            case UpgradeAction::AlterColumn:
            case UpgradeAction::WidenColumn:
                if (has) sqlite::AlterColumnType(db, a->table, a->column, "text(1)");
                break;
            case UpgradeAction::AddIndex:
                db.Exec("DROP INDEX IF EXISTS " + sqlite::QuoteIdentifier(a->column));
                break;
            }
        }
    }
    db.Exec("update versao set versao = '1.0'");
    sqlite::Transaction tr(db);
    for (int i = 1; i <= 150; ++i) {
        const std::string id = std::to_string(i);
        db.Execute("insert into cliente(id_cliente, nome) values(:id, :nome)", {"id", "nome"},
                   {id, "Cliente número " + id + std::string(30, 'x')});
        db.Execute("insert into nota_fiscal(id_registro, id_nota_fiscal, id_serie_documento, valor_total_nota, "
                   "dados_adicionais) values(:r, :n, 1, :v, 'observação')",
                   {"r", "n", "v"}, {id, std::int64_t{i}, i * 1.25});
    }
    db.Exec("insert into opcao(tipo_impressao_danfe, impressora_nota_fiscal) values('Retrato', 'HP')");
    db.Exec("insert into conta_corrente(id_conta_corrente, conta, conta_dv) values(1, '12345', '7')");
    tr.Commit();
    return path;
}

class UpgradeFaults : public DatabaseFaults {
protected:
    void SetUp() override {
        DatabaseFaults::SetUp();
        path = dir.file("empresa.db");
        MakeVersion10(path);
        ASSERT_EQ(Version(path), "1.0");
        pristine = testsupport::ReadAll(path);
        states["1.0"] = State(path);
        // The file after each whole step: what a failed or killed upgrade
        // may leave, according to the version it records.
        for (const UpgradeStep& step : UpgradeSteps()) {
            Restore();
            sqlite::Database db(path);
            UpgradeSchema(db, step.version);
            db.Close();
            ASSERT_EQ(Version(path), step.version);
            states[step.version] = State(path);
        }
        Restore();
        vfs.Count();
        {
            sqlite::Database db(path);
            UpgradeResult r = UpgradeSchema(db);
            EXPECT_EQ(r.repairs, 0) << "the old file must need no repairs outside the steps";
        }
        vfs.Off();
        total = vfs.Operations();
        RecordProperty("operations", total);
        after = State(path);
        ASSERT_EQ(after, states[kSchemaVersion]);
    }
    void Restore() {
        testsupport::WriteAll(path, pristine);
        fs::remove(path + "-journal");
    }
    // The file holds exactly the state of the version it records.
    void ExpectAStepBoundary() {
        testsupport::DbCheck check = testsupport::CheckDatabase(path, {});
        EXPECT_TRUE(check.opens);
        EXPECT_EQ(check.integrity, "ok");
        const std::string version = Version(path);
        ASSERT_EQ(states.count(version), 1u) << version;
        EXPECT_EQ(State(path), states[version]) << "at version " << version;
        EXPECT_EQ(testsupport::LeftoversOf(path), std::vector<std::string>{});
    }
    std::string path, pristine, after;
    std::map<std::string, std::string> states;
    int total = 0;
};

TEST_P(UpgradeFaults, AFailedWriteLeavesTheFileAtTheLastWholeStepAndTheNextOpenFinishes) {
    int refused = 0;
    std::set<std::string> stoppedAt;
    const std::vector<int> plan = Sample(total, 12);
    RecordProperty("runs", static_cast<int>(plan.size()));
    for (int n : plan) {
        SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(total));
        Restore();
        bool failed = false;
        {
            sqlite::Database db(path);
            vfs.Fail(n, Code());
            try {
                UpgradeSchema(db);
            } catch (const ESQLiteError& e) {
                failed = true;
                EXPECT_EQ(e.Message().rfind(EngineText(Code()), 0), 0u) << e.Message();
            }
            vfs.Off();
        }
        EXPECT_TRUE(vfs.Faulted());
        ExpectAStepBoundary();
        if (failed) {
            ++refused;
            stoppedAt.insert(Version(path));
        } else {
            EXPECT_EQ(State(path), after) << vfs.FaultedOperation();
        }
        // The next open, on a healthy disk, goes on from there.
        {
            sqlite::Database db(path);
            UpgradeSchema(db);
        }
        EXPECT_EQ(State(path), after);
    }
    EXPECT_GT(refused, 0);
    // Failures fell inside several steps, not only the first.
    EXPECT_GT(stoppedAt.size(), 2u);
}

TEST_F(UpgradeFaults, AnUpgradeKilledAtAnyWriteIsAtAWholeStepAtTheNextStart) {
    int kills = 0;
    std::set<std::string> stoppedAt;
    const std::vector<int> plan = Sample(total, 12);
    RecordProperty("runs", static_cast<int>(plan.size()));
    for (int n : plan) {
        SCOPED_TRACE("killed after operation " + std::to_string(n) + " of " + std::to_string(total));
        Restore();
        kills += testsupport::RunKilled(vfs, n, [&] {
            sqlite::Database db(path);
            UpgradeSchema(db);
        });
        vfs.Off();
        NextStart(path);
        ExpectAStepBoundary();
        stoppedAt.insert(Version(path));
        {
            sqlite::Database db(path);
            UpgradeSchema(db);
        }
        EXPECT_EQ(State(path), after);
    }
    EXPECT_GT(kills, 0);
    EXPECT_GT(stoppedAt.size(), 2u);
    RecordProperty("kills", kills);
}

// ---------------------------------------------------------------------------
// Compaction at exit

class CompactionFaults : public DatabaseFaults {
protected:
    void SetUp() override {
        DatabaseFaults::SetUp();
        path = dir.file("empresa.db");
        ASSERT_TRUE(CreateDatabaseFile(path));
        {
            // Rows enough for many pages, most of them deleted again: room
            // for the compaction to give back.
            sqlite::Database db(path);
            sqlite::Transaction tr(db);
            for (int i = 1; i <= 600; ++i)
                db.Execute("insert into cliente(id_cliente, nome, observacao) values(:id, :nome, :obs)",
                           {"id", "nome", "obs"},
                           {std::to_string(i), "Cliente " + std::to_string(i), std::string(200, 'o')});
            db.Exec("delete from cliente where cast(id_cliente as integer) % 5 <> 0");
            tr.Commit();
        }
        pristine = testsupport::ReadAll(path);
        before = State(path);
        dm.Set_Var("nome_banco_dados", path);
        vfs.Count();
        ASSERT_TRUE(dm.Compactar_Banco_Dados()) << dm.CompactError();
        vfs.Off();
        total = vfs.Operations();
        RecordProperty("operations", total);
        compacted = fs::file_size(path);
        ASSERT_LT(compacted, pristine.size());
        ASSERT_EQ(State(path), before);
    }
    void Restore() {
        // In place: the inode stays, as it does for the program.
        testsupport::WriteAll(path, pristine);
        fs::remove(path + "-journal");
    }
    ino_t Inode() const {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_ino;
    }
    void ExpectSameRows() {
        testsupport::DbCheck check = testsupport::CheckDatabase(path, {});
        EXPECT_TRUE(check.opens);
        EXPECT_EQ(check.integrity, "ok");
        EXPECT_EQ(State(path), before);
        EXPECT_EQ(testsupport::LeftoversOf(path), std::vector<std::string>{});
        const auto size = fs::file_size(path);
        EXPECT_TRUE(size == pristine.size() || size == compacted) << size;
    }
    Tdmdb dm{nullptr};
    std::string path, pristine, before;
    std::uintmax_t compacted = 0;
    int total = 0;
};

TEST_P(CompactionFaults, AFailedWriteLeavesTheFileAsItWasAndIsReported) {
    int refused = 0;
    const ino_t inode = Inode();
    const std::vector<int> plan = Sample(total, 15);
    RecordProperty("runs", static_cast<int>(plan.size()));
    for (int n : plan) {
        SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(total));
        Restore();
        vfs.Fail(n, Code());
        bool done = dm.Compactar_Banco_Dados();
        vfs.Off();
        EXPECT_TRUE(vfs.Faulted());
        EXPECT_EQ(Inode(), inode);
        ExpectSameRows();
        if (!done) {
            ++refused;
            EXPECT_EQ(dm.CompactError().rfind("Não foi possível compactar o Banco de Dados: " + EngineText(Code()), 0),
                      0u)
                << dm.CompactError();
            EXPECT_EQ(fs::file_size(path), pristine.size());
        } else {
            EXPECT_EQ(fs::file_size(path), compacted);
        }
    }
    EXPECT_GT(refused, 0);
}

TEST_F(CompactionFaults, ACompactionKilledAtAnyWriteLosesNothing) {
    int kills = 0;
    const std::vector<int> plan = Sample(total, 15);
    RecordProperty("runs", static_cast<int>(plan.size()));
    for (int n : plan) {
        SCOPED_TRACE("killed after operation " + std::to_string(n) + " of " + std::to_string(total));
        Restore();
        kills += testsupport::RunKilled(vfs, n, [&] { dm.Compactar_Banco_Dados(); });
        vfs.Off();
        NextStart(path);
        ExpectSameRows();
    }
    EXPECT_GT(kills, 0);
    RecordProperty("kills", kills);
}

// ---------------------------------------------------------------------------
// The variable store

TEST_P(DatabaseFaults, TheVariableStoreNeverWritesTheDisk) {
    // An open database beside it, as in the running program: a write of the
    // store that went to any file would be counted by one of the two gates.
    const std::string path = dir.file("empresa.db");
    ASSERT_TRUE(CreateDatabaseFile(path));
    Tdmdb dm(nullptr);
    dm.Set_Var("nome_banco_dados", path);
    dm.Set_Var("id_usuario", "");
    ASSERT_TRUE(dm.Abrir_Banco_Dados());
    int fileWrites = 0;
    fileio::SetWriteStepHook([&](fileio::WriteStep, int, const std::string&) { ++fileWrites; });
    const auto listing = testsupport::LeftoversOf(path);
    // Every write of the disk fails: the store does not notice.
    vfs.Fail(1, Code());
    for (int i = 0; i < 50; ++i) dm.Set_Var("Variavel_" + std::to_string(i % 7), std::string(300, char('a' + i % 26)));
    dm.Set_Var("pasta_nfe_envio", "/dados/nfe/envio");
    EXPECT_EQ(dm.Get_Var("PASTA_NFE_ENVIO"), "/dados/nfe/envio");
    EXPECT_EQ(dm.Get_Var("variavel_6"), std::string(300, char('a' + 48 % 26)));
    EXPECT_FALSE(vfs.Faulted());
    EXPECT_EQ(vfs.Operations(), 0);
    vfs.Off();
    fileio::SetWriteStepHook(nullptr);
    EXPECT_EQ(fileWrites, 0);
    EXPECT_EQ(testsupport::LeftoversOf(path), listing);
    EXPECT_TRUE(DefaultMessages().Entries().empty());
    dm.Fechar_Banco_Dados();
}

auto CodeName = [](const auto& info) { return testsupport::FaultCodeName(info.param); };
INSTANTIATE_TEST_SUITE_P(Codes, CreationFaults, ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL), CodeName);
INSTANTIATE_TEST_SUITE_P(Codes, UpgradeFaults, ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL), CodeName);
INSTANTIATE_TEST_SUITE_P(Codes, CompactionFaults, ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL), CodeName);
INSTANTIATE_TEST_SUITE_P(Codes, DatabaseFaults, ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL), CodeName);

}  // namespace
