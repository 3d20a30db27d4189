// ECB and CBC over streams, files and strings; Base64.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/evp.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cipher/CxProc.h"
#include "cipher/CxString.h"
#include "cipher/CxUtils.h"
#include "tests/cipher/Reference.h"

using cxtest::FromHex;
using cxtest::ToHex;
using testsupport::ReadAll;
using testsupport::TempDir;
using testsupport::WriteAll;

namespace {

const uint8_t kKey[16] = {0x69, 0x13, 0x04, 0x78, 0xB5, 0x35, 0x7E, 0xDC,
                          0xC0, 0xA6, 0x59, 0xCC, 0x1A, 0x5D, 0x98, 0x8C};

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

std::string RunStream(const std::string& input, bool encrypt, bool cbc) {
    TStringStream in(input);
    in.SetPosition(0);
    TMemoryStream out;
    if (cbc) BlowfishEncryptStreamCBC(in, out, kKey, encrypt);
    else BlowfishEncryptStream(in, out, kKey, encrypt);
    return out.DataBytes();
}

// Fixes the clock the CBC vector is taken from, for the length of a test.
class FixedTimer {
public:
    explicit FixedTimer(uint32_t value)
        : previous_(cipher::SetMillisecondTimer([value] { return value; })) {}
    ~FixedTimer() { cipher::SetMillisecondTimer(std::move(previous_)); }

private:
    cipher::MillisecondTimer previous_;
};

// Bytes of a Base64 text, decoded by OpenSSL.
std::string FromBase64(const std::string& text) {
    std::string bytes(text.size() / 4 * 3, '\0');
    const int len = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                    reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    bytes.resize(static_cast<std::size_t>(len));
    // EVP_DecodeBlock keeps the zero bytes the "=" padding stands for.
    for (std::size_t i = text.size(); i > 0 && text[i - 1] == '='; --i) bytes.pop_back();
    return bytes;
}

template <class F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

}  // namespace

TEST(StringEncryption, MatchesTheSecondImplementation) {
    const auto ecb = cxtest::ReferenceLines("ecb");
    ASSERT_GE(ecb.size(), 20u);
    for (const auto& f : ecb) {
        SCOPED_TRACE(f[1] + " " + f[2].substr(0, 40));
        const std::string key = FromHex(f[1]), plain = FromHex(f[2]);
        const auto* k = reinterpret_cast<const uint8_t*>(key.data());
        EXPECT_EQ(BlowfishEncryptString(plain, k, true), f[3]);
        EXPECT_EQ(ToHex(BlowfishEncryptString(f[3], k, false)), f[2]);
    }
    const auto cbc = cxtest::ReferenceLines("cbc");
    ASSERT_GE(cbc.size(), 6u);
    for (const auto& f : cbc) {
        SCOPED_TRACE(f[2] + " " + f[3]);
        FixedTimer timer(static_cast<uint32_t>(std::stoul(f[2])));
        const std::string key = FromHex(f[1]), plain = FromHex(f[3]);
        const auto* k = reinterpret_cast<const uint8_t*>(key.data());
        EXPECT_EQ(BlowfishEncryptStringCBC(plain, k, true), f[4]);
        EXPECT_EQ(ToHex(BlowfishEncryptStringCBC(f[4], k, false)), f[3]);
    }
}

TEST(StringEncryption, EcbTextLengthsFollowTheBlockCount) {
    for (std::size_t n = 0; n < 24; ++n) {
        const std::string text = BlowfishEncryptString(std::string(n, 'x'), kKey, true);
        if (n < 8) {
            EXPECT_EQ(text.size(), 12u);
            EXPECT_TRUE(text.ends_with("=") && !text.ends_with("==")) << n;
        } else if (n < 16) {
            EXPECT_EQ(text.size(), 24u);
            EXPECT_TRUE(text.ends_with("==")) << n;
        } else {
            EXPECT_EQ(text.size(), 32u);
            EXPECT_EQ(text.find('='), std::string::npos) << n;
        }
    }
    // ECB takes no vector from the clock: the stored form is the same at any
    // moment, the one the second implementation worked out.
    for (uint32_t clock : {0u, 123456789u}) {
        FixedTimer timer(clock);
        EXPECT_EQ(BlowfishEncryptString("TRUVE", kKey, true), "USjzVr0X0j4=") << clock;
    }
}

TEST(StringEncryption, CbcVectorFollowsTheClock) {
    std::string first, second;
    {
        FixedTimer t(1000);
        first = BlowfishEncryptStringCBC("TRUVE", kKey, true);
    }
    {
        FixedTimer t(2000);
        second = BlowfishEncryptStringCBC("TRUVE", kKey, true);
    }
    EXPECT_NE(first, second);
    EXPECT_EQ(first.size(), 24u);  // vector block + final block
    EXPECT_EQ(BlowfishEncryptStringCBC(first, kKey, false), "TRUVE");
    EXPECT_EQ(BlowfishEncryptStringCBC(second, kKey, false), "TRUVE");
    // Without a fixed clock, a round trip still holds.
    EXPECT_EQ(BlowfishEncryptStringCBC(BlowfishEncryptStringCBC("abc", kKey, true), kKey, false), "abc");
}

TEST(StringEncryption, DamagedTextRaisesInsteadOfReturningGarbage) {
    const std::string good = BlowfishEncryptString("1234567890", kKey, true);  // 16 bytes
    // Not a whole number of blocks: 12 bytes of valid Base64.
    EXPECT_EQ(MessageOf([&] { BlowfishEncryptString(good.substr(0, 16), kKey, false); }),
              "Invalid file format");
    // Empty text: no block at all.
    EXPECT_EQ(MessageOf([&] { BlowfishEncryptString("", kKey, false); }), "Invalid file format");
    EXPECT_THROW(BlowfishEncryptString("", kKey, false), ECipherException);
    // A final block whose count byte lies beyond the block.
    BlowfishContext ctx;
    BlowfishInitKey(kKey, ctx);
    BlowfishBlock block = {'a', 'b', 'c', 0, 0, 0, 0, 200};
    BlowfishEncryptBlock(ctx, block, true);
    const std::string badCount = cipher::Base64Encode(std::string(block.begin(), block.end()));
    EXPECT_THROW(BlowfishEncryptString(badCount, kKey, false), ECipherException);
    // A wrong key mostly trips over the count byte too; when it does not, it
    // yields other bytes, never more than seven.
    uint8_t wrong[16] = {};
    try {
        EXPECT_LE(BlowfishEncryptString(good, wrong, false).size(), 15u);
    } catch (const ECipherException&) {
    }
    // Characters outside the alphabet, a line break, a blank, misplaced padding.
    for (const std::string& bad :
         std::vector<std::string>{good.substr(0, 23) + "-", good + "\r\n", " " + good.substr(1),
                                  "=" + good.substr(1), good.substr(0, 21) + "=A=", good.substr(0, 22) + "=A"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(MessageOf([&] { BlowfishEncryptString(bad, kKey, false); }), "Invalid Base64 Character");
    }
    // Text cut inside a group of four.
    EXPECT_EQ(MessageOf([&] { BlowfishEncryptString(good.substr(0, 22), kKey, false); }),
              "Invalid Base64 length");
    // Nothing of the above touched a valid text.
    EXPECT_EQ(BlowfishEncryptString(good, kKey, false), "1234567890");
}

TEST(StringEncryption, ArbitraryInputNeverCrashes) {
    // Whatever a damaged database field holds, decryption returns or raises.
    std::mt19937 rng(99);
    const std::string chars = "ABCxyz019+/=\n -*";
    int decoded = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string text(rng() % 40, ' ');
        for (auto& c : text) c = (i % 3 == 0) ? static_cast<char>(rng()) : chars[rng() % chars.size()];
        if (i % 3 == 2) text = cipher::Base64Encode(RandomBytes(8 * (1 + rng() % 4), rng()));  // random blocks
        for (const bool cbc : {false, true}) {
            try {
                const std::string plain = cbc ? BlowfishEncryptStringCBC(text, kKey, false)
                                              : BlowfishEncryptString(text, kKey, false);
                EXPECT_LT(plain.size(), text.size());
                ++decoded;
            } catch (const Exception&) {
            }
        }
    }
    EXPECT_GT(decoded, 0);
}

TEST(Base64, AgreesWithOpenSsl) {
    for (std::size_t n : {0, 1, 2, 3, 44, 45, 46, 89, 90, 1000, 49151, 49152, 49153, 200000}) {
        const std::string bytes = RandomBytes(n, static_cast<unsigned>(n));
        std::string expected(4 * ((n + 2) / 3) + 1, '\0');
        const int len = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(expected.data()),
                                        reinterpret_cast<const unsigned char*>(bytes.data()),
                                        static_cast<int>(n));
        expected.resize(static_cast<std::size_t>(len));
        TStringStream in(bytes);
        in.SetPosition(0);
        TMemoryStream out;
        Base64EncodeStream(in, out);
        ASSERT_EQ(out.DataBytes(), expected) << n;  // one line, no breaks

        TStringStream text(expected);
        text.SetPosition(0);
        TMemoryStream decoded;
        Base64DecodeStream(text, decoded);
        ASSERT_EQ(decoded.DataBytes(), bytes) << n;
    }
}

TEST(StreamEncryption, RoundTripsAndSizes) {
    for (std::size_t n : {0, 1, 7, 8, 9, 1000003}) {
        SCOPED_TRACE(n);
        const std::string plain = RandomBytes(n, 5);
        const std::string ecb = RunStream(plain, true, false);
        EXPECT_EQ(ecb.size(), (n / 8 + 1) * 8);
        EXPECT_EQ(RunStream(ecb, false, false), plain);
        const std::string cbc = RunStream(plain, true, true);
        EXPECT_EQ(cbc.size(), (n / 8 + 2) * 8);
        EXPECT_EQ(RunStream(cbc, false, true), plain);
    }
    // A whole number of blocks gains a whole final block of zeros and count 0,
    // the block an empty text encrypts to (values of the second implementation).
    const std::string eight = RunStream("12345678", true, false);
    EXPECT_EQ(eight, FromBase64("NEiVNM0h5QMFeqYA+BfSOw=="));
    EXPECT_EQ(eight.substr(8), FromBase64("BXqmAPgX0js="));
}

TEST(StreamEncryption, ReadsFromTheCurrentPositionAndLeavesTrailingBytes) {
    const std::string plain = "prefix--the part that counts";
    TStringStream in(plain);
    in.SetPosition(8);
    TMemoryStream enc;
    BlowfishEncryptStream(in, enc, kKey, true);
    EXPECT_EQ(RunStream(enc.DataBytes(), false, false), plain.substr(8));

    // Bytes after the last whole block are ignored on decryption.
    TStringStream withTail(enc.DataBytes() + "xyz");
    withTail.SetPosition(0);
    TMemoryStream out;
    BlowfishEncryptStream(withTail, out, kKey, false);
    EXPECT_EQ(out.DataBytes(), plain.substr(8));
    EXPECT_EQ(withTail.Position(), static_cast<int64_t>(enc.Size()));
}

TEST(StreamEncryption, TruncatedInputFailsAfterWritingWhatItCould) {
    const std::string enc = RunStream(RandomBytes(100, 9), true, false);  // 104 bytes
    for (const bool cbc : {false, true}) {
        EXPECT_THROW(RunStream("", false, cbc), ECipherException);
        EXPECT_THROW(RunStream("1234567", false, cbc), ECipherException);
    }
    EXPECT_THROW(RunStream("12345678", false, true), ECipherException);  // a vector and nothing else

    // Decrypting a stream whose count byte is damaged keeps the blocks before it.
    std::string damaged = enc;
    damaged[103] ^= 0x40;
    TStringStream in(damaged);
    in.SetPosition(0);
    TMemoryStream out;
    EXPECT_THROW(BlowfishEncryptStream(in, out, kKey, false), ECipherException);
    EXPECT_EQ(out.Size(), 96);
}

TEST(StreamEncryption, ProgressIsReportedAtEveryInterval) {
    std::vector<std::pair<int64_t, int64_t>> calls;
    ProgressCallback = [&](int64_t pos, int64_t size) { calls.emplace_back(pos, size); };
    RunStream(std::string(1000, 'p'), true, false);
    ASSERT_EQ(calls.size(), 15u + 1u);  // 64, 128, ..., 960, then the end
    EXPECT_EQ(calls.front(), std::make_pair(int64_t(64), int64_t(1000)));
    EXPECT_EQ(calls[14].first, 960);
    EXPECT_EQ(calls.back(), std::make_pair(int64_t(1000), int64_t(1000)));

    calls.clear();
    ProgressInterval = 0;  // only the final report, never a division by zero
    RunStream(std::string(1000, 'p'), true, true);
    EXPECT_EQ(calls.size(), 1u);
    ProgressInterval = 64;
    ProgressCallback = nullptr;
}

class FileEncryption : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(FileEncryption, MatchesTheSecondImplementation) {
    int checked = 0;
    for (const auto& f : cxtest::ReferenceLines("ecb")) {
        if (f[1] != ToHex(kKey, 16)) continue;
        SCOPED_TRACE(f[2].substr(0, 40));
        WriteAll(dir.file("plain"), FromHex(f[2]));
        BlowfishEncryptFile(dir.file("plain"), dir.file("ecb"), kKey, true);
        EXPECT_EQ(ReadAll(dir.file("ecb")), FromBase64(f[3]));
        ++checked;
    }
    EXPECT_GE(checked, 8);
}

TEST_F(FileEncryption, RoundTripsEverySizeInBothModes) {
    for (std::size_t n : {0, 1, 8, 1000003}) {
        SCOPED_TRACE(n);
        const std::string plain = RandomBytes(n, 17);
        WriteAll(dir.file("plain"), plain);
        BlowfishEncryptFile(dir.file("plain"), dir.file("ecb"), kKey, true);
        EXPECT_EQ(ReadAll(dir.file("ecb")), RunStream(plain, true, false));
        BlowfishEncryptFile(dir.file("ecb"), dir.file("back"), kKey, false);
        EXPECT_EQ(ReadAll(dir.file("back")), plain);
        BlowfishEncryptFileCBC(dir.file("plain"), dir.file("cbc"), kKey, true);
        EXPECT_EQ(std::filesystem::file_size(dir.file("cbc")), (n / 8 + 2) * 8);
        BlowfishEncryptFileCBC(dir.file("cbc"), dir.file("back"), kKey, false);
        EXPECT_EQ(ReadAll(dir.file("back")), plain);
    }
}

TEST_F(FileEncryption, OntoItselfKeepsTheContent) {
    const std::string plain = RandomBytes(300001, 23);
    const std::string path = dir.file("data");
    WriteAll(path, plain);
    BlowfishEncryptFile(path, path, kKey, true);
    EXPECT_EQ(ReadAll(path), RunStream(plain, true, false));
    BlowfishEncryptFile(path, path, kKey, false);
    EXPECT_EQ(ReadAll(path), plain);

    // Another name of the same file: a hard link and a symbolic link.
    ASSERT_EQ(0, ::link(path.c_str(), dir.file("hard").c_str()));
    BlowfishEncryptFileCBC(path, dir.file("hard"), kKey, true);
    BlowfishEncryptFileCBC(dir.file("hard"), dir.file("hard"), kKey, false);
    EXPECT_EQ(ReadAll(dir.file("hard")), plain);
    EXPECT_EQ(ReadAll(path), plain);
    // The link read as the input; an output name that is a link is replaced,
    // never written through.
    std::filesystem::create_symlink(path, dir.file("soft"));
    BlowfishEncryptFile(dir.file("soft"), path, kKey, true);
    BlowfishEncryptFile(dir.file("soft"), path, kKey, false);
    EXPECT_EQ(ReadAll(path), plain);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("soft")));
}

TEST_F(FileEncryption, FailureLeavesThePreviousOutputAlone) {
    WriteAll(dir.file("damaged"), "short");  // less than a block
    WriteAll(dir.file("out"), "previous content");
    EXPECT_THROW(BlowfishEncryptFile(dir.file("damaged"), dir.file("out"), kKey, false), ECipherException);
    EXPECT_EQ(ReadAll(dir.file("out")), "previous content");
    EXPECT_THROW(BlowfishEncryptFile(dir.file("missing"), dir.file("out"), kKey, true), EFOpenError);
    EXPECT_EQ(ReadAll(dir.file("out")), "previous content");
    // No temporary file is left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 2);
}
