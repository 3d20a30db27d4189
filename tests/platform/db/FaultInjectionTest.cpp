// A transaction against every failed write, sync and truncate: the file
// stays a sound database holding the rows from before or the rows from after,
// never a mix, and the failure reaches the caller as an I/O or disk-full error.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <string>

#include "platform/db/SQLiteDatabase.h"
#include "tests/support/FaultVfs.h"
#include "tests/support/TestSupport.h"

namespace {

using testsupport::FaultVfs;

std::string Dump(sqlite::Database& db) {
    sqlite::Statement st(db, "select id, nome, valor from conta order by id");
    std::string out;
    while (st.Step()) out += st.ColumnText(0) + "|" + st.ColumnText(1) + "|" + st.ColumnText(2) + "\n";
    return out;
}

std::string Integrity(sqlite::Database& db) {
    sqlite::Statement st(db, "PRAGMA integrity_check");
    std::string out;
    while (st.Step()) out += st.ColumnText(0);
    return out;
}

class KillInjection : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("contas.db");
        sqlite::OpenOptions o;
        o.create = true;
        sqlite::Database db(path, o);
        db.Exec("create table conta (id integer primary key, nome text, valor double)");
        // Enough rows that a change touches several pages and the journal
        // holds more than one of them.
        sqlite::Transaction tr(db);
        for (int i = 1; i <= 400; ++i)
            db.Execute("insert into conta values (:id, :nome, :valor)", {"id", "nome", "valor"},
                       {std::int64_t{i}, std::string(60, char('a' + i % 26)), double(i)});
        tr.Commit();
        before = Dump(db);
        pristine = testsupport::ReadAll(path);
    }

    // The change under test: many pages rewritten, rows added and removed.
    static void Change(sqlite::Database& db, bool inTransaction) {
        std::optional<sqlite::Transaction> tr;
        if (inTransaction) tr.emplace(db);
        db.Exec("update conta set valor = valor * 2, nome = upper(nome) where id % 3 = 0");
        db.Exec("delete from conta where id > 350");
        db.Execute("insert into conta values (1000, 'nova', 1.5)");
        if (tr) tr->Commit();
    }

    // One run: the file as it was, the change with operation n failing.
    // Returns whether the change reported a failure.
    bool RunWithFault(FaultVfs& vfs, int n, bool inTransaction) {
        testsupport::WriteAll(path, pristine);
        std::filesystem::remove(path + "-journal");
        sqlite::Database db(path);
        vfs.Fail(n, code);
        bool failed = false;
        try {
            Change(db, inTransaction);
        } catch (const ESQLiteError& e) {
            failed = true;
            EXPECT_TRUE(e.PrimaryCode() == SQLITE_IOERR || e.PrimaryCode() == SQLITE_FULL) << e.Message();
        }
        vfs.Off();
        return failed;
    }

    // One run in a child killed right after operation n; false when the
    // change ended first.
    bool RunKilledAt(FaultVfs& vfs, int n, bool inTransaction) {
        testsupport::WriteAll(path, pristine);
        std::filesystem::remove(path + "-journal");
        return testsupport::RunKilled(vfs, n, [&] {
            sqlite::Database db(path);
            Change(db, inTransaction);
        });
    }

    int code = SQLITE_IOERR_WRITE;
    testsupport::TempDir dir;
    std::string path;
    std::string before;
    std::string pristine;
};

// The same runs with each failure code.
class FaultInjection : public KillInjection, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        code = GetParam();
        KillInjection::SetUp();
    }
};

TEST_P(FaultInjection, ATransactionIsAllOldOrAllNewAfterAnyFailedWrite) {
    FaultVfs vfs;
    std::string after;
    {
        testsupport::WriteAll(path, pristine);
        sqlite::Database db(path);
        vfs.Count();
        Change(db, true);
        vfs.Off();
        after = Dump(db);
    }
    const int total = vfs.Operations();
    ASSERT_GE(total, 4) << "journal write, journal sync, database write, database sync at least";

    int failures = 0;
    for (int n : testsupport::FaultPlan(total, 1)) {
        SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(total));
        bool failed = RunWithFault(vfs, n, true);
        EXPECT_TRUE(vfs.Faulted());
        // A fresh connection, as the next start of the program would open it:
        // a journal left hot by the failure is rolled back here.
        sqlite::Database db(path);
        EXPECT_EQ(Integrity(db), "ok");
        std::string now = Dump(db);
        if (failed) {
            ++failures;
            EXPECT_EQ(now, before) << vfs.FaultedOperation();
        } else {
            EXPECT_EQ(now, after) << vfs.FaultedOperation();
        }
    }
    EXPECT_GT(failures, 0);
}

TEST_P(FaultInjection, WithoutTheTransactionAFailedWriteLeavesAMixSoTheShimBites) {
    FaultVfs vfs;
    {
        testsupport::WriteAll(path, pristine);
        sqlite::Database db(path);
        vfs.Count();
        Change(db, false);
        vfs.Off();
    }
    const int total = vfs.Operations();
    std::string after;
    {
        sqlite::Database db(path);
        after = Dump(db);
    }
    bool mixed = false;
    for (int n = 1; n <= total && !mixed; ++n) {
        RunWithFault(vfs, n, false);
        sqlite::Database db(path);
        EXPECT_EQ(Integrity(db), "ok");
        std::string now = Dump(db);
        mixed = now != before && now != after;
    }
    EXPECT_TRUE(mixed) << "a failure between the statements must be visible without the transaction";
}

TEST_F(KillInjection, AProcessKilledAtAnyWriteLeavesAllOldOrAllNew) {
    FaultVfs vfs;
    std::string after;
    {
        testsupport::WriteAll(path, pristine);
        sqlite::Database db(path);
        vfs.Count();
        Change(db, true);
        vfs.Off();
        after = Dump(db);
    }
    const int total = vfs.Operations();
    int kills = 0;
    for (int n = 1; n <= total; ++n) {
        SCOPED_TRACE("killed after operation " + std::to_string(n) + " of " + std::to_string(total));
        kills += RunKilledAt(vfs, n, true);
        // The next start rolls a hot journal back.
        sqlite::Database db(path);
        EXPECT_EQ(Integrity(db), "ok");
        std::string now = Dump(db);
        EXPECT_TRUE(now == before || now == after);
        if (n < total) EXPECT_EQ(now, before) << "nothing is committed before the last sync";
    }
    EXPECT_EQ(kills, total);
    RecordProperty("kills", kills);
}

TEST_F(KillInjection, WithoutTheTransactionAKillLeavesAMixSoTheKillBites) {
    FaultVfs vfs;
    {
        testsupport::WriteAll(path, pristine);
        sqlite::Database db(path);
        vfs.Count();
        Change(db, false);
        vfs.Off();
    }
    const int total = vfs.Operations();
    std::string after;
    {
        sqlite::Database db(path);
        after = Dump(db);
    }
    bool mixed = false;
    for (int n = 1; n <= total && !mixed; ++n) {
        RunKilledAt(vfs, n, false);
        sqlite::Database db(path);
        EXPECT_EQ(Integrity(db), "ok");
        std::string now = Dump(db);
        mixed = now != before && now != after;
    }
    EXPECT_TRUE(mixed);
}

TEST(FaultInjectionSettings, ConnectionsUseTheRollbackJournalWithFullSync) {
    testsupport::TempDir dir;
    sqlite::OpenOptions o;
    o.create = true;
    sqlite::Database db(dir.file("a.db"), o);
    sqlite::Statement mode(db, "PRAGMA journal_mode");
    ASSERT_TRUE(mode.Step());
    EXPECT_EQ(mode.ColumnText(0), "delete");
    sqlite::Statement sync(db, "PRAGMA synchronous");
    ASSERT_TRUE(sync.Step());
    EXPECT_EQ(sync.ColumnText(0), "2");  // FULL
}

INSTANTIATE_TEST_SUITE_P(Codes, FaultInjection, ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL),
                         [](const auto& info) { return testsupport::FaultCodeName(info.param); });

}  // namespace
