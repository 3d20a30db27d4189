#include "platform/rtl/SafeFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <sys/wait.h>

#include <filesystem>
#include <functional>

#include "platform/rtl/IniFiles.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/Streams.h"
#include "tests/platform/rtl/FileFaultSupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::ReadAll;
using testsupport::TempDir;
using testsupport::WriteAll;

namespace {

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

}  // namespace

TEST(AtomicFile, TargetChangesOnlyAtCommit) {
    TempDir dir;
    std::string target = dir.file("notas.dat");
    WriteAll(target, "old content");
    {
        fileio::AtomicFile f(target);
        f.Write("new ");
        // Halfway through, a reader still sees the whole old file.
        EXPECT_EQ(ReadAll(target), "old content");
        EXPECT_EQ(fs::path(f.TempPath()).parent_path(), fs::path(target).parent_path());
        f.Write("content");
        f.Commit();
        EXPECT_TRUE(f.Committed());
    }
    EXPECT_EQ(ReadAll(target), "new content");
    EXPECT_EQ(filefaults::Entries(dir.path()), std::vector<std::string>{"notas.dat"});
}

TEST(AtomicFile, DestroyedWithoutCommitLeavesOldFileAndNoTemporary) {
    TempDir dir;
    std::string target = dir.file("a.ini");
    WriteAll(target, "keep me");
    try {
        fileio::AtomicFile f(target);
        f.Write("half of a new fi");
        throw std::runtime_error("crash while writing");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(ReadAll(target), "keep me");
    EXPECT_EQ(filefaults::Entries(dir.path()), std::vector<std::string>{"a.ini"});

    // A new file that was never committed does not appear at all.
    { fileio::AtomicFile f(dir.file("new.txt")); f.Write("x"); }
    EXPECT_FALSE(fs::exists(dir.file("new.txt")));
    EXPECT_EQ(filefaults::Entries(dir.path()).size(), 1u);
}

TEST(AtomicFile, FullDiskHalfwayReportsErrorAndKeepsOldFile) {
    TempDir dir;
    std::string target = dir.file("big.dat");
    WriteAll(target, "previous");
    {
        filefaults::DiskFullAfter limit(4096);
        EXPECT_THROW(fileio::WriteFileAtomic(target, filefaults::Filler(100000)), EWriteError);
    }
    EXPECT_EQ(ReadAll(target), "previous");
    EXPECT_EQ(filefaults::Entries(dir.path()), std::vector<std::string>{"big.dat"});
}

TEST(AtomicFile, KeepsPermissionsOfOldFileAndUsesUmaskForNewOne) {
    TempDir dir;
    std::string target = dir.file("secret.cfg");
    WriteAll(target, "a");
    chmod(target.c_str(), 0640);
    fileio::WriteFileAtomic(target, "b");
    EXPECT_EQ(ModeOf(target), 0640u);

    mode_t old = umask(027);
    fileio::WriteFileAtomic(dir.file("fresh.cfg"), "c");
    umask(old);
    // mkstemp's 0600 would hide the file from the group.
    EXPECT_EQ(ModeOf(dir.file("fresh.cfg")), 0640u);
}

// In a shared folder a link at the final name may be another user's, set
// to make us overwrite a file of ours: the link itself is replaced, through
// every writer (atomic write, created stream), and nothing is made or
// changed where it points.
TEST(AtomicFile, ALinkAtTheNameIsReplacedNeverFollowed) {
    TempDir dir;
    std::string victim = dir.file("faturamento.db");
    WriteAll(victim, "the clerk's data");
    chmod(victim.c_str(), 0600);
    const std::string missing = dir.file("never-made.ini");
    struct Case {
        const char* link;
        std::string pointsAt;
        bool stream;
    } cases[] = {
        {"Report.pdf", victim, false},
        {"relatorio.txt", victim, true},
        {"dangling.ini", missing, false},
    };
    for (const Case& c : cases) {
        const std::string name = dir.file(c.link);
        fs::create_symlink(c.pointsAt, name);
        if (c.stream) {
            TFileStream out(name, fmCreate);
            out.WriteBuffer("report", 6);
            out.Commit();
        } else {
            fileio::WriteFileAtomic(name, "report");
        }
        EXPECT_FALSE(fs::is_symlink(name)) << c.link;
        EXPECT_EQ(ReadAll(name), "report") << c.link;
    }
    EXPECT_EQ(ReadAll(victim), "the clerk's data");
    EXPECT_EQ(ModeOf(victim), 0600u);
    EXPECT_FALSE(fs::exists(missing));
    // A device's other name (a printer's) is written to and stays a link.
    fs::create_symlink("/dev/null", dir.file("impressora"));
    fileio::AtomicFile device(dir.file("impressora"));
    EXPECT_TRUE(device.Direct());
    device.Write("page 1\f");
    device.Commit();
    EXPECT_TRUE(fs::is_symlink(dir.file("impressora")));
}

TEST(AtomicFile, RefusesWhatCannotBeReplaced) {
    TempDir dir;
    fs::create_directory(dir.path() / "folder");
    try {
        fileio::AtomicFile f(dir.file("folder"));
        FAIL() << "a folder was accepted as a file";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file \"" + dir.file("folder") + "\". Is a directory");
    }
    EXPECT_THROW(fileio::AtomicFile(dir.file("missing/sub/file.txt")), EFCreateError);

    if (geteuid() != 0) {
        // Renaming over a read-only file would silently bypass its protection.
        std::string ro = dir.file("readonly.txt");
        WriteAll(ro, "locked");
        chmod(ro.c_str(), 0444);
        EXPECT_THROW(fileio::WriteFileAtomic(ro, "changed"), EFCreateError);
        EXPECT_EQ(ReadAll(ro), "locked");
    }
}

TEST(AtomicFile, DevicesAndPipesAreWrittenInPlace) {
    TempDir dir;
    std::string fifo = dir.file("printer.pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    {
        fileio::AtomicFile f(fifo);
        EXPECT_TRUE(f.Direct());
        f.Write("page 1\f");
        f.Commit();
    }
    char buf[16] = {};
    EXPECT_EQ(read(reader, buf, sizeof buf), 7);
    EXPECT_EQ(std::string(buf, 7), "page 1\f");
    close(reader);
    struct stat st {};
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the pipe was replaced by a file";
    EXPECT_EQ(filefaults::Entries(dir.path()), std::vector<std::string>{"printer.pipe"});
}

TEST(AtomicFile, ReadFileBytes) {
    TempDir dir;
    std::string bytes("a\0b\xff\r\n", 6);
    WriteAll(dir.file("bin"), bytes);
    EXPECT_EQ(fileio::ReadFileBytes(dir.file("bin")), bytes);
    WriteAll(dir.file("empty"), "");
    EXPECT_EQ(fileio::ReadFileBytes(dir.file("empty")), "");
    try {
        fileio::ReadFileBytes(dir.file("missing"));
        FAIL() << "a missing file was read";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file \"" + dir.file("missing") + "\". No such file or directory");
    }
    EXPECT_THROW(fileio::ReadFileBytes(dir.path().string()), EFOpenError);
}

// A pipe, or a device, where a settings file or any file the program reads
// or writes by name should be: nothing opened at that name waits for
// another program to open the pipe's other end. Each is refused, the
// reading ones naming the file in Portuguese, and the pipe stays a pipe.
TEST(AtomicFile, NothingOpenedByNameWaitsOnAPipe) {
    TempDir dir;
    const std::string fifo = dir.file("faturamento.ini");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        const char* what;
        std::function<void()> run;
        const char* said;  // how the refusal starts ("": any)
    };
    const std::string notAFile = "O arquivo \"" + fifo + "\" não pode ser lido: com esse nome existe um pipe (FIFO)";
    const std::vector<Case> cases = {
        {"read whole", [&] { fileio::ReadFileBytes(fifo); }, ""},
        {"settings read", [&] { TMemIniFile ini(fifo); }, ""},
        {"settings reread", [&] { TIniFile(fifo).ReadString("NFe", "Monitor", ""); }, ""},
        {"lines read", [&] { TStringList().LoadFromFile(fifo); }, ""},
        {"stream opened", [&] { TFileStream(fifo, fmOpenRead); }, ""},
        {"settings written", [&] {
             // Read while still a file; the pipe comes before the write.
             const std::string later = dir.file("depois.ini");
             WriteAll(later, "[NFe]\n");
             TMemIniFile ini(later);
             ini.WriteString("NFe", "Monitor", "uninfe");
             fs::remove(later);
             ASSERT_EQ(mkfifo(later.c_str(), 0600), 0);
             ini.UpdateFile();
         }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string message;
        testsupport::WithWatchdog(20, [&] {
            try {
                c.run();
            } catch (const Exception& e) {
                message = e.Message();
            }
        });
        ASSERT_FALSE(message.empty()) << "the pipe was taken for a file";
        const bool written = std::string(c.what) == "settings written";
        const std::string name = written ? dir.file("depois.ini") : fifo;
        const std::string expected =
            written ? "O arquivo \"" + name + "\" não foi gravado: com esse nome existe um pipe" : notAFile;
        EXPECT_EQ(message.rfind(expected, 0), 0u) << message;
        struct stat st {};
        ASSERT_EQ(lstat(name.c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode));
    }
}

// Two writers of one shared folder on different machines: the process id in
// the other's temporary file means nothing here (no such process runs on
// this machine), but its writer holds the file's lock while writing it, so
// a save here leaves it alone, however old it looks (a clock hours off); one
// its writer abandoned (no lock held, unchanged for a day) is removed. The
// other writer's save then completes.
TEST(AtomicFile, ATemporaryFileBeingWrittenElsewhereIsKeptWhateverProcessIdItsNameCarries) {
    TempDir dir;
    const std::string target = dir.file("notas.ini");
    WriteAll(target, "old");
    // A process id that runs nothing on this machine.
    const pid_t gone = testsupport::EndedProcess();
    ASSERT_TRUE(fileio::WriterGone(gone));
    const std::string prefix = dir.file(".notas.ini.tmp-" + std::to_string(gone) + "-");
    const std::string writing = prefix + "Rm0te1", abandoned = prefix + "Aband0";
    WriteAll(abandoned, "left by a writer that died");
    // The other machine's writer, as the shared folder's server shows it: a
    // lock on its open file.
    WriteAll(writing, "half of the other machine's");
    int other = open(writing.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    ASSERT_GE(other, 0);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(other, F_OFD_SETLK, &lock), 0);
    testsupport::AgeFile(abandoned);
    testsupport::AgeFile(writing);

    EXPECT_EQ(fileio::OrphanedTemporaries(target), std::vector<std::string>{abandoned});
    fileio::WriteFileAtomic(target, "this machine's");
    EXPECT_EQ(ReadAll(target), "this machine's");
    EXPECT_FALSE(fs::exists(abandoned));
    ASSERT_TRUE(fs::exists(writing)) << "another machine's file was removed while being written";
    // The other writer finishes: its rename finds its file.
    ASSERT_EQ(write(other, " rest", 5), 5);
    EXPECT_EQ(rename(writing.c_str(), target.c_str()), 0);
    close(other);
    EXPECT_EQ(ReadAll(target), "half of the other machine's rest");
}

// A share whose locks stay on each mount: the other machine's writer holds
// its lock, but this machine never sees it, so the lock alone would let a
// save here remove the other's temporary file in flight (its save then
// failing with "arquivo ou pasta inexistente"). A file that changed lately
// is nobody's to remove, whatever process id its name carries; the same
// file, a day unchanged, is abandoned and goes.
TEST(AtomicFile, ATemporaryFileWhoseLockThisMachineCannotSeeIsKeptWhileItIsRecent) {
    TempDir dir;
    const std::string target = dir.file("notas.ini");
    WriteAll(target, "old");
    const pid_t gone = testsupport::EndedProcess();
    const std::string writing = dir.file(".notas.ini.tmp-" + std::to_string(gone) + "-Rm0te1");
    // Written a moment ago on the other machine; no lock visible here.
    WriteAll(writing, "half of the other machine's");
    EXPECT_EQ(fileio::OrphanedTemporaries(target), std::vector<std::string>{});
    fileio::WriteFileAtomic(target, "this machine's");
    EXPECT_EQ(ReadAll(target), "this machine's");
    ASSERT_TRUE(fs::exists(writing)) << "another machine's file was removed while being written";
    // Also one whose name carries a process id that runs someone else here.
    const std::string another = dir.file(".notas.ini.tmp-" + std::to_string(getppid()) + "-Rm0te2");
    WriteAll(another, "another machine's");
    fileio::WriteFileAtomic(target, "this machine's again");
    EXPECT_TRUE(fs::exists(another));
    // The other writer finishes: its rename finds its file.
    int fd = open(writing.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, " rest", 5), 5);
    close(fd);
    EXPECT_EQ(rename(writing.c_str(), target.c_str()), 0);
    EXPECT_EQ(ReadAll(target), "half of the other machine's rest");
    // A day later, nobody having touched it, the other is abandoned.
    testsupport::AgeFile(another);
    EXPECT_EQ(fileio::OrphanedTemporaries(target), std::vector<std::string>{another});
    fileio::WriteFileAtomic(target, "a day later");
    EXPECT_FALSE(fs::exists(another));
}

// A program started with its standard error closed: the temporary file
// would get descriptor 2, and a library's warning written meanwhile would
// land in the file being saved. The file is written through another
// descriptor, and the standard error goes nowhere.
TEST(AtomicFile, AWarningWrittenWhileSavingWithTheStandardErrorClosedNeverLandsInTheFile) {
    TempDir dir;
    const std::string target = dir.file("notas.ini");
    WriteAll(target, "old");
    pid_t child = fork();
    if (child == 0) {
        close(STDERR_FILENO);
        try {
            fileio::AtomicFile f(target);
            f.Write("new");
            static const char warning[] = "QFont: aviso\n";
            (void)!write(STDERR_FILENO, warning, sizeof warning - 1);
            f.Commit();
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadAll(target), "new");
}
