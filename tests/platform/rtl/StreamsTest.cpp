#include "platform/rtl/Streams.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "tests/platform/rtl/FileFaultSupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::ReadAll;
using testsupport::TempDir;
using testsupport::WriteAll;

TEST(MemoryStream, ReadWriteSeekAndGrowth) {
    TMemoryStream m;
    m.WriteBytes("abcdef");
    EXPECT_EQ(m.Size(), 6);
    EXPECT_EQ(m.Position(), 6);
    EXPECT_EQ(m.Seek(-2, soCurrent), 4);
    EXPECT_EQ(m.Seek(int64_t{1}, soFromBeginning), 1);
    EXPECT_EQ(m.Seek(int64_t{0}, soFromEnd), 6);

    // Writing past the end fills the gap with zeros.
    m.SetPosition(8);
    m.WriteBytes("Z");
    ASSERT_EQ(m.Size(), 9);
    EXPECT_EQ(m.DataBytes(), std::string("abcdef\0\0Z", 9));

    // Overwrite in the middle does not change the size.
    m.SetPosition(2);
    m.WriteBytes("XY");
    EXPECT_EQ(m.Size(), 9);
    EXPECT_EQ(std::memcmp(m.Memory(), "abXYef", 6), 0);

    // Shrinking pulls the position back.
    m.SetPosition(9);
    m.SetSize(3);
    EXPECT_EQ(m.Position(), 3);
    EXPECT_EQ(m.DataBytes(), "abX");
    m.Clear();
    EXPECT_EQ(m.Size(), 0);
    EXPECT_EQ(m.Position(), 0);
}

TEST(MemoryStream, ShortReadsAndTheBufferRoutines) {
    TStringStream s("12345");
    char buf[8] = {};
    s.SetPosition(3);
    EXPECT_EQ(s.Read(buf, 8), 2) << "Read returns what there is";
    EXPECT_EQ(std::string(buf, 2), "45");
    EXPECT_EQ(s.Read(buf, 8), 0);

    s.SetPosition(3);
    try {
        s.ReadBuffer(buf, 3);
        FAIL() << "short ReadBuffer did not raise";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Stream read error");
    }
    // A position before the start reads nothing instead of memory before the buffer.
    s.SetPosition(-4);
    EXPECT_EQ(s.Read(buf, 2), 0);
    EXPECT_EQ(s.Write("x", 1), 0);
    s.ReadBuffer(buf, 0);  // nothing asked, nothing to fail
}

TEST(StringStream, DataStringReadStringWriteString) {
    TStringStream s("ação");
    EXPECT_EQ(s.Size(), 6) << "bytes, not characters";
    EXPECT_EQ(s.ReadString(3), "a\xC3\xA7");
    EXPECT_EQ(s.ReadString(100), "\xC3\xA3o");
    s.WriteString("!");
    EXPECT_EQ(s.DataString(), "ação!");

    TBytesStream b(TBytes{1, 2, 3});
    EXPECT_EQ(b.Bytes(), (TBytes{1, 2, 3}));
    EXPECT_EQ(b.Position(), 0);
}

TEST(Stream, CopyFrom) {
    TStringStream src("0123456789");
    src.SetPosition(4);
    TMemoryStream dst;
    // Count 0 copies the whole source from its start, wherever it stood.
    EXPECT_EQ(dst.CopyFrom(src, 0), 10);
    EXPECT_EQ(dst.DataBytes(), "0123456789");

    src.SetPosition(2);
    TMemoryStream part;
    EXPECT_EQ(part.CopyFrom(&src, 3), 3);
    EXPECT_EQ(part.DataBytes(), "234");
    EXPECT_EQ(src.Position(), 5);

    // More than the source holds: nothing is claimed to be copied that was not.
    src.SetPosition(8);
    TMemoryStream tail;
    EXPECT_THROW(tail.CopyFrom(src, 5), EReadError);

    // Larger than one internal chunk.
    std::string big(200000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    TStringStream bigSrc(big);
    TMemoryStream bigDst;
    bigDst.CopyFrom(bigSrc, 0);
    EXPECT_EQ(bigDst.DataBytes(), big);
}

TEST(MemoryStream, FilesAndOtherStreams) {
    TempDir dir;
    TMemoryStream m;
    m.WriteBytes(std::string("bin\0ary", 7));
    m.SaveToFile(dir.file("m.bin"));
    EXPECT_EQ(ReadAll(dir.file("m.bin")), std::string("bin\0ary", 7));

    TMemoryStream n;
    n.LoadFromFile(dir.file("m.bin"));
    EXPECT_EQ(n.Size(), 7);
    EXPECT_EQ(n.Position(), 0);

    TStringStream s("from a stream");
    s.SetPosition(5);
    n.LoadFromStream(s);
    EXPECT_EQ(n.DataBytes(), "from a stream");
    TStringStream out;
    n.SaveToStream(out);
    EXPECT_EQ(out.DataString(), "from a stream");

    EXPECT_THROW(n.LoadFromFile(dir.file("absent")), EFOpenError);
}

TEST(FileStream, OpenModes) {
    TempDir dir;
    std::string path = dir.file("data.txt");
    WriteAll(path, "hello world");
    {
        TFileStream f(path, fmOpenRead | fmShareDenyWrite);
        EXPECT_EQ(f.Size(), 11);
        char buf[5];
        f.ReadBuffer(buf, 5);
        EXPECT_EQ(std::string(buf, 5), "hello");
        EXPECT_EQ(f.Write("x", 1), -1) << "read-only handle";
        EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);
        f.SetPosition(9);
        EXPECT_THROW(f.ReadBuffer(buf, 5), EReadError);
    }
    {
        TFileStream f(path, fmOpenReadWrite);
        f.Seek(int64_t{6}, soFromBeginning);
        f.WriteBytes("WORLD");
        f.SetSize(8);
        EXPECT_EQ(f.Position(), 8);
    }
    EXPECT_EQ(ReadAll(path), "hello WO");
    {
        TFileStream f(path, fmOpenWrite);
        f.WriteBytes("J");
    }
    EXPECT_EQ(ReadAll(path), "Jello WO");

    try {
        TFileStream f(dir.file("nope.txt"), fmOpenRead);
        FAIL() << "opened a missing file";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file \"" + dir.file("nope.txt") + "\". No such file or directory");
    }
    EXPECT_THROW(TFileStream(dir.path().string(), fmOpenRead), EFOpenError);
    try {
        TFileStream f(dir.file("no/such/folder.txt"), fmCreate);
        FAIL() << "created a file in a missing folder";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(),
                  "Cannot create file \"" + dir.file("no/such/folder.txt") + "\". No such file or directory");
    }
}

TEST(FileStream, CreatedFileAppearsWhenTheStreamIsDone) {
    TempDir dir;
    std::string path = dir.file("report.txt");
    WriteAll(path, "old report");
    {
        TFileStream f(path, fmCreate);
        f.WriteBytes("new ");
        EXPECT_EQ(ReadAll(path), "old report") << "readers never see a half-written file";
        f.WriteBytes("report");
        // A created file can be read back through the same stream.
        f.SetPosition(0);
        char buf[3];
        f.ReadBuffer(buf, 3);
        EXPECT_EQ(std::string(buf, 3), "new");
        EXPECT_EQ(f.Size(), 10);
    }
    EXPECT_EQ(ReadAll(path), "new report");
    EXPECT_EQ(filefaults::Entries(dir.path()), std::vector<std::string>{"report.txt"});

    {
        TFileStream f(dir.file("b.txt"), fmCreate);
        f.WriteBytes("committed");
        f.Commit();
        EXPECT_EQ(ReadAll(dir.file("b.txt")), "committed");
        EXPECT_THROW(f.WriteBytes("too late"), EWriteError);
    }
    EXPECT_EQ(ReadAll(dir.file("b.txt")), "committed");
}

TEST(FileStream, ExceptionWhileCreatingKeepsThePreviousFile) {
    TempDir dir;
    std::string path = dir.file("nfe.xml");
    WriteAll(path, "<previous/>");
    try {
        TFileStream f(path, fmCreate);
        f.WriteBytes("<nfe><half");
        throw std::runtime_error("generator failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(ReadAll(path), "<previous/>");
    EXPECT_EQ(filefaults::Entries(dir.path()), std::vector<std::string>{"nfe.xml"});

    // A stream created while another exception is already unwinding (in a
    // destructor or catch-all cleanup) still commits when it ends normally.
    struct WritesInDestructor {
        std::string path;
        ~WritesInDestructor() {
            TFileStream f(path, fmCreate);
            f.WriteBytes("cleanup log");
        }
    };
    try {
        WritesInDestructor w{dir.file("cleanup.log")};
        throw std::runtime_error("unwinding");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(ReadAll(dir.file("cleanup.log")), "cleanup log");

    // Explicit discard.
    {
        TFileStream f(path, fmCreate);
        f.WriteBytes("abandoned");
        f.Discard();
    }
    EXPECT_EQ(ReadAll(path), "<previous/>");
}

TEST(FileStream, FailedWriteNeverReplacesTheFile) {
    TempDir dir;
    std::string path = dir.file("db.bak");
    WriteAll(path, "safe copy");
    {
        filefaults::DiskFullAfter limit(4096);
        TFileStream f(path, fmCreate);
        std::string chunk(1000, 'z');
        EXPECT_THROW({
            for (int i = 0; i < 10; ++i) f.WriteBuffer(chunk.data(), 1000);
        }, EWriteError);
        // The caller swallowed the error and lets the stream end normally:
        // the torn copy must still not take the file's name.
    }
    EXPECT_EQ(ReadAll(path), "safe copy");
    EXPECT_EQ(filefaults::Entries(dir.path()), std::vector<std::string>{"db.bak"});

    {
        filefaults::DiskFullAfter limit(4096);
        TFileStream f(path, fmCreate);
        std::string big(8000, 'y');
        EXPECT_EQ(f.Write(big.data(), 8000), 4096);
        EXPECT_THROW(f.Commit(), EWriteError);
    }
    EXPECT_EQ(ReadAll(path), "safe copy");
    EXPECT_EQ(filefaults::Entries(dir.path()), std::vector<std::string>{"db.bak"});
}

TEST(FileStream, NewFileRightsAndExistingPermissions) {
    TempDir dir;
    mode_t old = umask(022);
    { TFileStream f(dir.file("r.txt"), fmCreate, 0640); }
    umask(old);
    struct stat st {};
    stat(dir.file("r.txt").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}
