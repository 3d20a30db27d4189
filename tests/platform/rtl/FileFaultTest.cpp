// The runtime's own file writers against a full disk at each write and a
// kill between each of their steps: an INI file, a string list and a memory
// stream saved to a file are whole old or whole new, and a temporary file a
// killed writer left is removed by the next write of that file.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "platform/rtl/IniFiles.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Streams.h"
#include "tests/platform/rtl/FileFaultSupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::ReadAll;
using testsupport::TempDir;
using testsupport::WriteAll;

namespace {

using filefaults::Fault;
using filefaults::Sweep;

class RuntimeWriters : public ::testing::TestWithParam<Fault> {
protected:
    TempDir dir;
    std::string target = dir.file("dados.txt");
    std::string error;  // the message of the last failed save
    // Runs a save as a caller does: a failure is caught and kept.
    void Save(const std::function<void()>& Work) {
        error.clear();
        try {
            Work();
        } catch (const Exception& e) {
            error = e.Message();
        }
    }
    // Expected: how the failure starts ("" for the file's own message).
    filefaults::FileSavePath Path(std::function<void()> Work, std::string Expected = "") {
        filefaults::FileSavePath p;
        p.Prepare = [this] {
            WriteAll(target, "[Database]\r\nDatabase=/dados/antigo.db\r\nUser=ana\r\n");
            error.clear();
        };
        p.Act = [this, Work] { Save(Work); };
        p.Files = [this] { return ReadAll(target); };
        p.Folders = {dir.path()};
        if (Expected.empty()) Expected = "Cannot write file \"" + target + "\". File too large";
        p.CheckFailure = [this, Expected] {
            // The caller learns which file and why, as the system says it.
            EXPECT_EQ(error.rfind(Expected, 0), 0u) << error;
        };
        return p;
    }
};

}  // namespace

// Right after the kill nobody can tell the killed writer's file from one a
// writer elsewhere is making (a share whose locks stay on each mount): it
// stays. A day later, unlocked and unchanged, it is abandoned and goes; a
// live writer's file stays however old it looks, its lock held.
TEST(WriteSteps, ATemporaryFileOfAKilledWriterIsRemovedByAWriteADayLaterAndThatOfALiveOneIsKept) {
    TempDir dir;
    std::string target = dir.file("notas.ini");
    WriteAll(target, "old");
    // One of this process's own, still being written: never taken for an orphan.
    fileio::AtomicFile mine(target);
    mine.Write("in progress");
    bool killed = testsupport::KilledInChild([&] {
        fileio::AtomicFile f(target);
        f.Write("half of the new");
        ::raise(SIGKILL);
    });
    ASSERT_TRUE(killed);
    std::vector<std::string> left = filefaults::Temporaries(dir.path());
    ASSERT_EQ(left.size(), 2u);
    std::string orphan = fs::path(mine.TempPath()).filename() == left[0] ? left[1] : left[0];
    EXPECT_EQ(fileio::OrphanedTemporaries(target), std::vector<std::string>{});
    testsupport::AgeFolder(dir.path());
    EXPECT_EQ(fileio::OrphanedTemporaries(target), std::vector<std::string>{dir.file(orphan)});
    EXPECT_EQ(ReadAll(target), "old");
    // Another file's temporary files are not this target's.
    WriteAll(dir.file(".notas.ini.bak.tmp-1-abc"), "x");
    fileio::WriteFileAtomic(target, "new");
    EXPECT_EQ(ReadAll(target), "new");
    EXPECT_EQ(filefaults::Entries(dir.path()),
              (std::vector<std::string>{".notas.ini.bak.tmp-1-abc", fs::path(mine.TempPath()).filename().string(),
                                        "notas.ini"}));
}

TEST(WriteSteps, TheWriterIdIsReadOnlyFromANameThatCarriesOne) {
    EXPECT_EQ(fileio::WriterOf(".a.ini.tmp-4321-Xy12Ab", ".a.ini.tmp-"), 4321);
    EXPECT_EQ(fileio::WriterOf(".a.ini.tmp-Xy12Ab", ".a.ini.tmp-"), 0);  // written before ids were kept
    EXPECT_EQ(fileio::WriterOf(".a.ini.tmp-4321", ".a.ini.tmp-"), 0);
    EXPECT_EQ(fileio::WriterOf(".b.ini.tmp-4321-Xy", ".a.ini.tmp-"), 0);
    EXPECT_FALSE(fileio::WriterGone(static_cast<long>(::getpid())));
    EXPECT_FALSE(fileio::WriterGone(0));
}

TEST_P(RuntimeWriters, AnIniFileChangedByOneUpdateIsWholeOldOrWholeNew) {
    filefaults::FileSweepFigures f = Sweep(GetParam(), Path([this] {
        TMemIniFile ini(target);
        ini.WriteString("Database", "Database", "/dados/novo.db");
        ini.WriteString("Database", "User", "bruno");
        ini.UpdateFile();
    }));
    EXPECT_EQ(f.writes, 1);
    // After the write, before the rename, after the rename.
    EXPECT_EQ(f.stops, 3);
}

TEST_P(RuntimeWriters, AStringListSavedToAFileIsWholeOldOrWholeNew) {
    // A write per line: every tenth of them (FAT_FAULT_ALL=1 for all).
    filefaults::FileSweepFigures f = Sweep(GetParam(), Path([this] {
        TStringList list;
        for (int i = 0; i < 200; ++i) list.Add("linha " + std::to_string(i) + " com acentuação");
        list.SaveToFile(target);
    }), 10);
    EXPECT_EQ(f.writes, 200);
}

TEST_P(RuntimeWriters, AStreamWrittenPieceByPieceIsWholeOldOrWholeNew) {
    filefaults::FileSweepFigures f = Sweep(GetParam(), Path([this] {
        TFileStream file(target, fmCreate);
        for (int i = 0; i < 5; ++i) file.WriteBuffer(std::string(1000, static_cast<char>('a' + i)).data(), 1000);
        file.Commit();
    }, "Stream write error"));
    EXPECT_EQ(f.writes, 5);
    EXPECT_EQ(f.stops, 7);
}

INSTANTIATE_TEST_SUITE_P(Faults, RuntimeWriters, filefaults::BothFaults(), filefaults::FaultName);
