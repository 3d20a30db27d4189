// The block primitive. The tables and the key schedule are checked against
// OpenSSL's textbook Blowfish on the published test vectors (driving our
// schedule with a textbook block function); our own block operation, which is
// not the textbook one, is pinned by the values of the second implementation
// and by the properties that follow from its definition.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "cipher/CxProc.h"
#include "tests/cipher/Reference.h"

using cxtest::FromHex;
using cxtest::ToHex;

namespace {

uint32_t TextbookF(const BlowfishContext& c, uint32_t x) {
    return ((c.S[0][x >> 24] + c.S[1][(x >> 16) & 255]) ^ c.S[2][(x >> 8) & 255]) + c.S[3][x & 255];
}

// The published Blowfish round structure: F of the running half, halves swapped.
void TextbookEncrypt(const BlowfishContext& c, uint32_t& l, uint32_t& r) {
    for (int i = 0; i < 16; ++i) {
        l ^= c.P[i];
        r ^= TextbookF(c, l);
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= c.P[16];
    l ^= c.P[17];
}

uint32_t LoadBE(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

std::string TextbookEncryptBlock(const BlowfishContext& c, const std::string& plain) {
    const auto* p = reinterpret_cast<const uint8_t*>(plain.data());
    uint32_t l = LoadBE(p), r = LoadBE(p + 4);
    TextbookEncrypt(c, l, r);
    uint8_t out[8] = {uint8_t(l >> 24), uint8_t(l >> 16), uint8_t(l >> 8), uint8_t(l),
                      uint8_t(r >> 24), uint8_t(r >> 16), uint8_t(r >> 8), uint8_t(r)};
    return ToHex(out, 8);
}

void TextbookSchedule(BlowfishContext& c, const std::string& key) {
    cipher::ScheduleBlowfishKey(c, reinterpret_cast<const uint8_t*>(key.data()), key.size(),
                                TextbookEncrypt);
}

std::string OpenSslEncrypt(const std::string& key, const std::string& plain, BF_KEY& bf) {
    BF_set_key(&bf, static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(key.data()));
    unsigned char out[8];
    BF_ecb_encrypt(reinterpret_cast<const unsigned char*>(plain.data()), out, &bf, BF_ENCRYPT);
    return ToHex(out, 8);
}

void ExpectSameSchedule(const BlowfishContext& ours, const BF_KEY& theirs) {
    for (int i = 0; i < 18; ++i) ASSERT_EQ(ours.P[i], theirs.P[i]) << "P[" << i << "]";
    for (int b = 0; b < 4; ++b)
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(ours.S[b][i], theirs.S[256 * b + i]) << "S" << b << "[" << i << "]";
}

// Eric Young's Blowfish ECB test set: key, plain text, cipher text.
const char* const kPublishedVectors[][3] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

}  // namespace

TEST(BlowfishTables, PublishedVectorsAgreeWithOpenSsl) {
    for (const auto& v : kPublishedVectors) {
        SCOPED_TRACE(v[0]);
        const std::string key = FromHex(v[0]), plain = FromHex(v[1]);
        BF_KEY bf;
        const std::string openssl = OpenSslEncrypt(key, plain, bf);
        EXPECT_EQ(openssl, v[2]);  // the oracle itself is the published Blowfish

        BlowfishContext ctx;
        TextbookSchedule(ctx, key);
        ExpectSameSchedule(ctx, bf);
        EXPECT_EQ(TextbookEncryptBlock(ctx, plain), openssl);
    }
}

TEST(BlowfishTables, ScheduleMatchesOpenSslForEveryKeyLength) {
    // The variable-key-length part of the same set: prefixes of one key.
    const std::string longKey = FromHex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
    const std::string plain = FromHex("FEDCBA9876543210");
    for (std::size_t n = 1; n <= longKey.size(); ++n) {
        SCOPED_TRACE(n);
        const std::string key = longKey.substr(0, n);
        BF_KEY bf;
        const std::string openssl = OpenSslEncrypt(key, plain, bf);
        BlowfishContext ctx;
        TextbookSchedule(ctx, key);
        ExpectSameSchedule(ctx, bf);
        EXPECT_EQ(TextbookEncryptBlock(ctx, plain), openssl);
    }
    // The two ends of the published list for this set.
    BF_KEY bf;
    EXPECT_EQ(OpenSslEncrypt(longKey.substr(0, 1), plain, bf), "F9AD597C49DB005E");
    EXPECT_EQ(OpenSslEncrypt(longKey, plain, bf), "05044B62FA52D080");
}

TEST(BlowfishTables, InitialTablesAreTheDigitsOfPi) {
    EXPECT_EQ(cipher::tables::kInitialP[0], 0x243F6A88u);
    EXPECT_EQ(cipher::tables::kInitialP[1], 0x85A308D3u);
    EXPECT_EQ(cipher::tables::kInitialP[17], 0x8979FB1Bu);
    EXPECT_EQ(cipher::tables::kInitialS[0][0], 0xD1310BA6u);
    EXPECT_EQ(cipher::tables::kInitialS[0][1], 0x98DFB5ACu);
    EXPECT_EQ(cipher::tables::kInitialS[3][255], 0x3AC372E6u);
}

TEST(BlowfishBlock, MatchesTheSecondImplementation) {
    const auto lines = cxtest::ReferenceLines("block");
    ASSERT_GE(lines.size(), 12u);
    for (const auto& f : lines) {
        SCOPED_TRACE(f[1] + " " + f[2]);
        BlowfishContext ctx;
        BlowfishInitKey(reinterpret_cast<const uint8_t*>(FromHex(f[1]).data()), ctx);
        const std::string plain = FromHex(f[2]);
        BlowfishBlock block;
        std::memcpy(block.data(), plain.data(), 8);
        BlowfishEncryptBlock(ctx, block, true);
        EXPECT_EQ(ToHex(block.data(), 8), f[3]);
        std::memcpy(block.data(), plain.data(), 8);
        BlowfishEncryptBlock(ctx, block, false);
        EXPECT_EQ(ToHex(block.data(), 8), f[4]);
    }
}

TEST(BlowfishBlock, WorkedValuesOfTheZeroKey) {
    // With the all-zero key (the component's key before any is generated) the
    // round terms cancel and the zero block encrypts to the exclusive-or of
    // the even and of the odd P-entries of the keyed context.
    BlowfishContext ctx;
    const uint8_t zero[16] = {};
    BlowfishInitKey(zero, ctx);
    uint32_t even = 0, odd = 0;
    for (int i = 0; i < 18; i += 2) {
        even ^= ctx.P[i];
        odd ^= ctx.P[i + 1];
    }
    EXPECT_EQ(even, 0x69B57E7Du);
    EXPECT_EQ(odd, 0x8EE76924u);
    // The schedule's first block is the zero block under the initial tables,
    // so its first two entries are the same sums over the digits of pi:
    // 243F6A88 ^ 13198A2E ^ A4093822 ^ ... ^ 9216D5D9 and 85A308D3 ^ ... ^ 8979FB1B.
    EXPECT_EQ(ctx.P[0], 0x0D434CEEu);
    EXPECT_EQ(ctx.P[1], 0xBA799B04u);
    BlowfishBlock block{};
    BlowfishEncryptBlock(ctx, block, true);
    EXPECT_EQ(ToHex(block.data(), 8), "7D7EB5692469E78E");  // words stay little-endian, unswapped
}

TEST(BlowfishBlock, PropertiesOfTheOperation) {
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        uint8_t key[16];
        for (auto& b : key) b = uint8_t(rng());
        BlowfishContext ctx;
        BlowfishInitKey(key, ctx);
        BlowfishBlock plain, other;
        for (auto& b : plain) b = uint8_t(rng());
        other = plain;
        other[rng() % 8] ^= uint8_t(1u << (rng() % 8));

        BlowfishBlock a = plain;
        BlowfishEncryptBlock(ctx, a, true);
        EXPECT_NE(a, plain);
        BlowfishBlock back = a;
        BlowfishEncryptBlock(ctx, back, false);
        EXPECT_EQ(back, plain);  // decrypting inverts encrypting
        BlowfishEncryptBlock(ctx, back = a, true);
        EXPECT_EQ(back, plain);  // and so does encrypting twice

        BlowfishBlock b = other;
        BlowfishEncryptBlock(ctx, b, true);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(a[i] ^ b[i], plain[i] ^ other[i]);
    }
}

TEST(BlowfishBlock, ChainingStepLeavesPrevAlone) {
    BlowfishContext ctx;
    const uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    BlowfishInitKey(key, ctx);
    const BlowfishBlock prev = {9, 8, 7, 6, 5, 4, 3, 2};
    const BlowfishBlock plain = {'T', 'R', 'U', 'V', 'E', 0, 0, 5};
    BlowfishBlock block = plain;
    BlowfishEncryptBlockCBC(ctx, prev, block, true);
    BlowfishBlock expected = plain;
    for (int i = 0; i < 8; ++i) expected[i] ^= prev[i];
    BlowfishEncryptBlock(ctx, expected, true);
    EXPECT_EQ(block, expected);
    EXPECT_EQ(prev, (BlowfishBlock{9, 8, 7, 6, 5, 4, 3, 2}));
    BlowfishEncryptBlockCBC(ctx, prev, block, false);
    EXPECT_EQ(block, plain);
}

TEST(BlowfishBlock, XorMemoryHandlesEveryLengthAndAlignment) {
    for (uint32_t offset = 0; offset < 4; ++offset)
        for (uint32_t size = 0; size <= 13; ++size) {
            uint8_t dest[20], src[20], expected[20];
            for (int i = 0; i < 20; ++i) {
                dest[i] = uint8_t(i * 37 + 1);
                src[i] = uint8_t(i * 91 + 5);
                expected[i] = dest[i];
            }
            for (uint32_t i = 0; i < size; ++i) expected[offset + i] ^= src[3 - offset + i];
            XorMemory(dest + offset, src + 3 - offset, size);
            EXPECT_EQ(0, std::memcmp(dest, expected, 20)) << offset << "/" << size;
        }
}
