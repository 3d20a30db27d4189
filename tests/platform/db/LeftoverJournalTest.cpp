// A journal beside the database that no live writer owns and that the
// engine does not take as hot (its writer died before the header reached
// the disk) goes at the next open; a live writer's journal stays.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>

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
