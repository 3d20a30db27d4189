// The compression stream against Python's zlib, the reference inflater.
#include <gtest/gtest.h>

#include "report_output/rpZlibStream.h"
#include "tests/report_output/PdfTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using filetest::Shell;

std::string Deflate(const std::string& Data, TrpCompressionLevel Level) {
    TMemoryStream out;
    TrpCompressionStream z(Level, &out);
    z.WriteBytes(Data);
    z.Finish();
    return out.DataBytes();
}

// Python inflates the file and prints the length and a checksum of what it got.
std::string Inflated(const std::string& File) {
    return Shell("/usr/bin/python3 -c \"import zlib,sys;d=zlib.decompress(open(sys.argv[1],'rb').read());"
               "print(len(d), zlib.crc32(d))\" " + File)
        .Output;
}

std::string Expected(const std::string& Data) {
    testsupport::TempDir dir;
    testsupport::WriteAll(dir.file("raw"), Data);
    return Shell("/usr/bin/python3 -c \"import zlib,sys;d=open(sys.argv[1],'rb').read();print(len(d), zlib.crc32(d))\" " +
               dir.file("raw"))
        .Output;
}

// A target that counts the pieces written to it.
class PieceStream : public TMemoryStream {
public:
    int64_t Write(const void* Buffer, int64_t Count) override {
        pieces.push_back(Count);
        return TMemoryStream::Write(Buffer, Count);
    }
    std::vector<int64_t> pieces;
};

// A target whose disk is full.
class FullStream : public TMemoryStream {
public:
    int64_t Write(const void*, int64_t) override { return 0; }
};

}  // namespace

TEST(CompressionStream, PythonInflatesEveryLevelWithTheHeaderOfThatLevel) {
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "Nota fiscal " + std::to_string(i * 7919 % 1000) + ";";
    struct Case {
        TrpCompressionLevel level;
        unsigned char flg;
    } cases[] = {{TrpCompressionLevel::clNone, 0x01},
                 {TrpCompressionLevel::clFastest, 0x01},
                 {TrpCompressionLevel::clDefault, 0x9C},
                 {TrpCompressionLevel::clMax, 0xDA}};
    testsupport::TempDir dir;
    for (const std::string& data : {std::string(), text}) {
        for (const auto& c : cases) {
            const std::string z = Deflate(data, c.level);
            ASSERT_GE(z.size(), 2u);
            EXPECT_EQ(static_cast<unsigned char>(z[0]), 0x78);
            EXPECT_EQ(static_cast<unsigned char>(z[1]), c.flg) << static_cast<int>(c.level);
            testsupport::WriteAll(dir.file("z"), z);
            EXPECT_EQ(Inflated(dir.file("z")), Expected(data)) << static_cast<int>(c.level);
            if (c.level == TrpCompressionLevel::clNone)
                EXPECT_EQ(static_cast<unsigned char>(z[2]) & 0x06, 0) << "a stored block";
        }
    }
}

TEST(CompressionStream, LargeOutputLeavesIn64KiBPiecesAndTheRestAtFinish) {
    std::string noise(300000, '\0');
    uint32_t x = 12345;
    for (char& c : noise) {
        x = x * 1103515245 + 12345;
        c = static_cast<char>(x >> 24);
    }
    PieceStream target;
    int progress = 0;
    {
        TrpCompressionStream z(TrpCompressionLevel::clNone, &target);
        z.OnProgress = [&](TObject*) { ++progress; };
        z.WriteBytes(noise);
        EXPECT_EQ(z.Seek(0, soCurrent), 300000);
        ASSERT_FALSE(target.pieces.empty()) << "full buffers go out while writing";
        for (int64_t p : target.pieces) EXPECT_EQ(p, 65536);
        z.Finish();
    }
    EXPECT_EQ(progress, static_cast<int>(target.pieces.size()));
    EXPECT_LT(target.pieces.back(), 65536);
    testsupport::TempDir dir;
    testsupport::WriteAll(dir.file("z"), target.DataBytes());
    EXPECT_EQ(Inflated(dir.file("z")), Expected(noise));
}

TEST(CompressionStream, AFailedWriteIsReportedByFinishNeverByTheDestructor) {
    FullStream full;
    auto z = std::make_unique<TrpCompressionStream>(TrpCompressionLevel::clDefault, &full);
    z->WriteBytes("abc");
    EXPECT_THROW(z->Finish(), EWriteError);
    EXPECT_NO_THROW(z.reset());
    TMemoryStream ok;
    TrpCompressionStream y(TrpCompressionLevel::clDefault, &ok);
    EXPECT_THROW(y.Read(nullptr, 1), ECompressionError);
    EXPECT_THROW(y.Seek(1, soBeginning), ECompressionError);
}
