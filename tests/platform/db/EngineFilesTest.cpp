// The files the engine opens by name, where it opens them: a program
// started with a standard descriptor closed still opens its database (the
// engine fills the slot with the null device, and the guard that refuses
// devices lets that one open through, and no other), and a database reached
// through a symbolic link has its journal beside the file the link leads
// to: what stands there is named, what stands beside the link is nobody's.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/db/SQLiteDatabase.h"
#include "tests/support/DbCheck.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Runs Work in a forked child whose descriptors 0, 1 and 2 are closed, as a
// program started by a launcher or a service without them; its exit code:
// 0 when Work returned true, 1 when false or on an exception, 2 when it had
// to be stopped (an open that waits for ever), 100 + the signal that killed it.
int WithoutStandardDescriptors(const std::function<bool()>& Work) {
    pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        ::alarm(20);  // a wait for ever ends the child, never the suite
        ::close(0);
        ::close(1);
        ::close(2);
        bool ok = false;
        try {
            ok = Work();
        } catch (...) {
        }
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) return WTERMSIG(status) == SIGALRM ? 2 : 100 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool IsNullDevice(int fd) {
    struct stat st {}, null {};
    return ::fstat(fd, &st) == 0 && ::stat("/dev/null", &null) == 0 && S_ISCHR(st.st_mode) &&
           st.st_rdev == null.st_rdev;
}

}  // namespace

// Today's regression: the engine, handed descriptor 0 for the database,
// puts /dev/null in that slot before opening the file again, and the guard
// took that open for a device at the database's name.
TEST(StandardDescriptors, ADatabaseOpensAndSavesWithDescriptorsZeroToTwoClosed) {
    testsupport::TempDir dir;
    const std::string created = dir.file("nova.db"), existing = dir.file("caixa.db");
    {
        sqlite::OpenOptions o;
        o.create = true;
        sqlite::Database db(existing, o);
        db.Exec("create table conta (id integer primary key, nome text)");
    }
    const int code = WithoutStandardDescriptors([&] {
        sqlite::OpenOptions o;
        o.create = true;
        sqlite::Database made(created, o);
        made.Exec("create table nota (numero integer)");
        made.Exec("insert into nota values (1)");
        sqlite::Database db(existing);
        db.Exec("insert into conta values (1, 'luz')");
        // The slots hold the null device, read only: nothing written to a
        // standard stream lands in a database.
        return IsNullDevice(0) && IsNullDevice(1) && IsNullDevice(2);
    });
    EXPECT_EQ(code, 0) << "no database opened with the standard descriptors closed";
    sqlite::Database db(existing);
    sqlite::Statement st(db, "select count(*) from conta");
    ASSERT_TRUE(st.Step());
    EXPECT_EQ(st.ColumnInt64(0), 1);
    st.Reset();
    sqlite::Database made(created);
    sqlite::Statement count(made, "select count(*) from nota");
    ASSERT_TRUE(count.Step());
    EXPECT_EQ(count.ColumnInt64(0), 1);
}

// The way let through is the engine's own filling of a slot, and only that:
// a pipe at the journal's name, which would land in a free slot 0 to 2, is
// still refused at once and named.
TEST(StandardDescriptors, APipeAtTheJournalIsStillRefusedWithDescriptorsClosed) {
    testsupport::TempDir dir;
    const std::string path = dir.file("caixa.db");
    {
        sqlite::OpenOptions o;
        o.create = true;
        sqlite::Database db(path, o);
        db.Exec("create table conta (id integer primary key, nome text)");
    }
    const std::string journal = path + "-journal";
    ASSERT_EQ(::mkfifo(journal.c_str(), 0600), 0);
    const std::string marker = dir.file("mensagem");
    const int code = WithoutStandardDescriptors([&] {
        try {
            sqlite::Database db(path);
            db.Exec("insert into conta values (1, 'luz')");
            return false;
        } catch (const ESQLiteError& e) {
            testsupport::WriteAll(marker, e.Message());
            return e.Message().find("Remova \"" + journal + "\"") != std::string::npos;
        }
    });
    EXPECT_EQ(code, 0) << testsupport::ReadAll(marker);
    struct stat st {};
    ASSERT_EQ(::lstat(journal.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// ---------------------------------------------------------------------------
// A database reached through a link

class LinkedDatabase : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir.file("dados"));
        real = dir.file("dados/caixa.db");
        link = dir.file("atalho.db");
        {
            sqlite::OpenOptions o;
            o.create = true;
            sqlite::Database db(real, o);
            db.Exec("create table conta (id integer primary key, nome text)");
            db.Exec("insert into conta values (1, 'luz'), (2, 'água')");
        }
        fs::create_symlink("dados/caixa.db", link);
        rows = testsupport::DumpTables(real, {"conta"});
    }
    // What a write through the link says (empty: it went in), never waiting
    // long on what stands at the engine's files.
    std::string SaidWritingThroughTheLink() {
        std::string said;
        testsupport::WithWatchdog(20, [&] {
            try {
                sqlite::Database db(link);
                db.Exec("insert into conta values (3, 'gás')");
            } catch (const ESQLiteError& e) {
                said = e.Message();
            }
        });
        return said;
    }
    testsupport::TempDir dir;
    std::string real, link, rows;
};

TEST_F(LinkedDatabase, TheEnginesFileIsTheOneTheLinkLeadsTo) {
    EXPECT_EQ(sqlite::JournalPath(link), fs::canonical(real).string() + "-journal");
    // What the engine itself says once it has the file open.
    sqlite::Database db(link);
    EXPECT_EQ(std::string(sqlite3_filename_journal(sqlite3_db_filename(db.Handle(), "main"))),
              sqlite::JournalPath(link));
}

// A pipe at the journal the engine really uses (beside the file the link
// leads to) is refused at once, with the message that names it; the engine
// alone would say only "unable to open database file".
TEST_F(LinkedDatabase, APipeAtTheTargetsJournalIsRefusedNamingItAndNeverWaitedOn) {
    const std::string journal = fs::canonical(real).string() + "-journal";
    ASSERT_EQ(::mkfifo(journal.c_str(), 0600), 0);
    const std::string said = SaidWritingThroughTheLink();
    EXPECT_NE(said.find("Remova \"" + journal + "\""), std::string::npos) << said;
    EXPECT_NE(said.find("um arquivo especial"), std::string::npos) << said;
    struct stat st {};
    ASSERT_EQ(::lstat(journal.c_str(), &st), 0) << "the clerk removes it, not the program";
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    fs::remove(journal);
    EXPECT_EQ(testsupport::DumpTables(real, {"conta"}), rows);
}

// What stands beside the link is no file of the engine's: a pipe there
// neither stops the database nor is touched, and a plain file there (a
// leftover journal, to a reader who looks beside the link) is not removed
// as one.
TEST_F(LinkedDatabase, WhatStandsBesideTheLinkIsNobodysAndTheDatabaseWorks) {
    const std::string besideLink = link + "-journal";
    ASSERT_EQ(::mkfifo(besideLink.c_str(), 0600), 0);
    EXPECT_EQ(sqlite::JournalObstacle(link), "");
    testsupport::WithWatchdog(20, [&] {
        sqlite::Database db(link);
        db.Exec("insert into conta values (3, 'gás')");
    });
    EXPECT_NE(testsupport::DumpTables(real, {"conta"}).find("gás"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::lstat(besideLink.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    fs::remove(besideLink);
    testsupport::WriteAll(besideLink, std::string(512, '\0'));
    { sqlite::Database db(link); }
    EXPECT_EQ(testsupport::ReadAll(besideLink), std::string(512, '\0'));
}

// A journal its writer left before its header was complete, beside the
// file the link leads to, goes at the next open through the link.
TEST_F(LinkedDatabase, AHeaderlessJournalBesideTheTargetIsRemovedAtTheNextOpen) {
    const std::string journal = fs::canonical(real).string() + "-journal";
    testsupport::WriteAll(journal, std::string(512, '\0'));
    sqlite::Database db(link);
    EXPECT_FALSE(fs::exists(journal));
    EXPECT_EQ(testsupport::DumpTables(real, {"conta"}), rows);
}

// The write-ahead log beside the file is looked at by every open as the
// journal is: a pipe there is named as well.
TEST_F(LinkedDatabase, APipeAtTheTargetsLogIsNamedToo) {
    const std::string log = fs::canonical(real).string() + "-wal";
    ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0);
    const std::string said = SaidWritingThroughTheLink();
    EXPECT_NE(said.find("Remova \"" + log + "\""), std::string::npos) << said;
    fs::remove(log);
    EXPECT_EQ(testsupport::DumpTables(real, {"conta"}), rows);
}
