// A journal beside the database that no live writer owns and that the
// engine does not take as hot (its writer died before the header reached
// the disk) goes at the next open; a live writer's journal stays.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/db/SQLiteDatabase.h"
#include "tests/support/DbCheck.h"
#include "tests/support/TestSupport.h"

namespace {

class LeftoverJournal : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("caixa.db");
        sqlite::OpenOptions o;
        o.create = true;
        sqlite::Database db(path, o);
        db.Exec("create table conta (id integer primary key, nome text)");
        db.Exec("insert into conta values (1, 'luz'), (2, 'água')");
        rows = testsupport::DumpTables(path, {"conta"});
    }
    sqlite3* Raw() {
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        return db;
    }
    testsupport::TempDir dir;
    std::string path, rows;
};

TEST_F(LeftoverJournal, AJournalWithoutAHeaderIsRemovedByTheNextOpenAndTheRowsStay) {
    const std::string journal = path + "-journal";
    // What a writer killed between creating its journal and syncing the
    // header leaves: zeros where the header would be.
    testsupport::WriteAll(journal, std::string(512, '\0'));
    {
        // The engine by itself reads past it and leaves it there.
        sqlite3* raw = Raw();
        ASSERT_EQ(sqlite3_exec(raw, "select count(*) from conta", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(raw);
        ASSERT_TRUE(std::filesystem::exists(journal));
    }
    sqlite::Database db(path);
    EXPECT_FALSE(std::filesystem::exists(journal));
    EXPECT_EQ(testsupport::DumpTables(path, {"conta"}), rows);
    // The connection writes as usual afterwards.
    db.Exec("insert into conta values (3, 'gás')");
    EXPECT_FALSE(std::filesystem::exists(journal));
}

TEST_F(LeftoverJournal, ALiveWritersJournalIsLeftAloneAndItsTransactionCommits) {
    sqlite3* writer = Raw();
    ASSERT_EQ(sqlite3_exec(writer, "PRAGMA journal_mode=DELETE; BEGIN IMMEDIATE; "
                                   "update conta set nome = 'energia' where id = 1",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    const std::string journal = path + "-journal";
    ASSERT_TRUE(std::filesystem::exists(journal));
    {
        sqlite::OpenOptions o;
        o.busyTimeoutMs = 50;
        sqlite::Database other(path, o);
        EXPECT_TRUE(std::filesystem::exists(journal));
    }
    EXPECT_EQ(sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(writer);
    EXPECT_FALSE(std::filesystem::exists(journal));
    EXPECT_NE(testsupport::DumpTables(path, {"conta"}).find("t:energia"), std::string::npos);
}

TEST_F(LeftoverJournal, AReadOnlyOpenTouchesNothing) {
    const std::string journal = path + "-journal";
    testsupport::WriteAll(journal, std::string(512, '\0'));
    sqlite::OpenOptions o;
    o.readOnly = true;
    sqlite::Database db(path, o);
    EXPECT_TRUE(std::filesystem::exists(journal));
}

}  // namespace

// A pipe or a device put at the journal's name while the program runs (anyone
// who can write in a shared folder can): the next save, and a read by
// another connection that must look at the journal, are refused at once
// with the message that names the file to remove; the engine never waits on
// it, and the rows stay as they were.
TEST_F(LeftoverJournal, APipeOrADeviceAtTheJournalsNameIsRefusedNamingItAndNeverWaitedOn) {
    const std::string journal = path + "-journal";
    sqlite::Database db(path);
    struct Obstacle {
        const char* what;
        std::function<bool()> plant;
    };
    const std::vector<Obstacle> obstacles = {
        {"pipe", [&] { return ::mkfifo(journal.c_str(), 0600) == 0; }},
        // The null device's numbers: a device node, made only where allowed.
        {"device", [&] { return ::mknod(journal.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0; }},
    };
    for (const Obstacle& o : obstacles) {
        SCOPED_TRACE(o.what);
        if (!o.plant()) continue;
        std::vector<std::string> said;
        testsupport::WithWatchdog(20, [&] {
            try {
                db.Exec("insert into conta values (3, 'gás')");
                said.push_back("");
            } catch (const ESQLiteError& e) {
                said.push_back(e.Message());
            }
            try {
                sqlite::OpenOptions readOnly;
                readOnly.readOnly = true;
                sqlite::Database reader(path, readOnly);
                sqlite::Statement st(reader, "select count(*) from conta");
                st.Step();
                said.push_back("");
            } catch (const ESQLiteError& e) {
                said.push_back(e.Message());
            }
        });
        ASSERT_EQ(said.size(), 2u);
        EXPECT_NE(said[0].find("Remova \"" + journal + "\""), std::string::npos) << said[0];
        // The reader may also find it refused at its open; never waiting is what counts.
        struct stat st {};
        ASSERT_EQ(::lstat(journal.c_str(), &st), 0) << "the clerk removes it, not the program";
        EXPECT_FALSE(S_ISREG(st.st_mode));
        std::filesystem::remove(journal);
        EXPECT_EQ(testsupport::DumpTables(path, {"conta"}), rows);
    }
}
