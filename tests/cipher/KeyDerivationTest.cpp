// Pass-phrase key derivation, against the second implementation and its own
// invariants.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>

#include "cipher/CxUtils.h"
#include "tests/cipher/Reference.h"

using cxtest::FromHex;
using cxtest::ToHex;

TEST(PassphraseToKey, MatchesTheSecondImplementation) {
    // Covers the empty phrase (eight bytes of padding), 7 bytes (one byte of
    // padding), 8 and 9 bytes, case, more than 256 bytes (the digest ring
    // wraps) and a request for 300 bytes.
    const auto lines = cxtest::ReferenceLines("key");
    ASSERT_GE(lines.size(), 10u);
    for (const auto& f : lines) {
        SCOPED_TRACE(f[1].substr(0, 40) + " " + f[2]);
        const std::string phrase = FromHex(f[1]);
        const int size = std::stoi(f[2]);
        std::string key(static_cast<std::size_t>(size), '\xEE');
        PassphraseToKey(reinterpret_cast<uint8_t*>(key.data()), size, phrase);
        const std::string expected = FromHex(f[3]);
        ASSERT_EQ(expected.size(), std::min<std::size_t>(256, size));
        EXPECT_EQ(ToHex(key.substr(0, expected.size())), f[3]);
        // Nothing is written beyond the 256 bytes of the digest.
        for (std::size_t i = expected.size(); i < key.size(); ++i) ASSERT_EQ(key[i], '\xEE');
    }
}

TEST(PassphraseToKey, DefaultPassphraseKeyIsPinned) {
    uint8_t key[16];
    PassphraseToKey(key, 16, std::string("BRISKO-TALV"));
    EXPECT_EQ(ToHex(key, 16), "69130478B5357EDCC0A659CC1A5D988C");
    // The pointer form with the same bytes agrees.
    uint8_t again[16];
    PassphraseToKey(again, 16, "BRISKO-TALV", 11);
    EXPECT_EQ(0, std::memcmp(key, again, 16));
    // A length of zero or less folds in nothing.
    uint8_t none[16], negative[16];
    PassphraseToKey(none, 16, "", 0);
    PassphraseToKey(negative, 16, "BRISKO-TALV", -3);
    EXPECT_EQ(ToHex(none, 16), "0BD132AA831C56AC1F92E61084A342D2");
    EXPECT_EQ(0, std::memcmp(none, negative, 16));
}

TEST(PassphraseToKey, ShortRequestIsAPrefixOfALongOne) {
    uint8_t k16[16], k256[256];
    PassphraseToKey(k16, 16, std::string("senha"));
    PassphraseToKey(k256, 256, std::string("senha"));
    EXPECT_EQ(0, std::memcmp(k16, k256, 16));
    uint8_t untouched[4] = {1, 2, 3, 4};
    PassphraseToKey(untouched, 0, std::string("senha"));
    PassphraseToKey(untouched, -5, std::string("senha"));
    EXPECT_EQ(ToHex(untouched, 4), "01020304");
}

TEST(MixHash, SplitUpdatesGiveTheSameDigest) {
    std::mt19937 rng(11);
    std::string data(700, '\0');
    for (auto& c : data) c = static_cast<char>(rng());
    uint8_t whole[256];
    PassphraseToKey(whole, 256, data);
    for (int trial = 0; trial < 10; ++trial) {
        MixHashContext ctx;
        MixHashInit(ctx);
        std::size_t pos = 0;
        while (pos < data.size()) {
            const std::size_t n = std::min<std::size_t>(rng() % 20, data.size() - pos);
            MixHashUpdate(ctx, data.data() + pos, static_cast<int32_t>(n));
            pos += n;
        }
        uint8_t split[256];
        MixHashFinal(ctx, split, 256);
        ASSERT_EQ(0, std::memcmp(whole, split, 256)) << trial;
    }
}

TEST(MixHash, InitialStateIsPiAndFiftyFives) {
    MixHashContext ctx;
    MixHashInit(ctx);
    EXPECT_EQ(ToHex(ctx.Digest, 12), "243F6A8885A308D313198A2E");
    EXPECT_EQ(ToHex(ctx.Digest + 249, 7), "5486AF7C72E993");
    EXPECT_EQ(ToHex(ctx.Key, 16), std::string(32, '5'));
    EXPECT_EQ(ctx.DigestIndex, 0);
    EXPECT_EQ(ctx.KeyIndex, 0);
    // Eight bytes of input mix the key once and bring its index back to 0.
    MixHashUpdate(ctx, "12345678", 8);
    EXPECT_EQ(ctx.KeyIndex, 0);
    EXPECT_EQ(ctx.DigestIndex, 8);
    EXPECT_NE(ToHex(ctx.Key + 8, 8), std::string(16, '5'));  // the mix reached bytes 8-15
}

TEST(MixBlock, DecryptionScheduleInvertsEncryption) {
    std::mt19937 rng(3);
    // Fewer than 4 rounds are raised to 4, more than 16 lowered to 16.
    const std::pair<int, int> cases[] = {{2, 4}, {4, 4}, {5, 5}, {8, 8}, {13, 13}, {16, 16}, {40, 16}};
    for (auto [rounds, used] : cases) {
        uint8_t key[16], block[16], original[16];
        for (auto& b : key) b = uint8_t(rng());
        for (auto& b : block) b = uint8_t(rng());
        std::memcpy(original, block, 16);
        MixBlockContext enc, dec;
        MixBlockInitKey(key, enc, rounds, true);
        MixBlockInitKey(key, dec, rounds, false);
        EXPECT_EQ(enc.Rounds, used) << rounds;
        EXPECT_EQ(enc.Encrypt, 1);
        EXPECT_EQ(dec.Encrypt, 0);
        MixBlockEncrypt(enc, block);
        EXPECT_NE(0, std::memcmp(block, original, 16));
        MixBlockEncrypt(dec, block);
        EXPECT_EQ(0, std::memcmp(block, original, 16)) << rounds;
        // Only the first Rounds pairs are reversed.
        for (int i = enc.Rounds; i < 16; ++i) {
            EXPECT_EQ(enc.SubKeys[i][0], dec.SubKeys[i][0]);
            EXPECT_EQ(enc.SubKeys[i][1], dec.SubKeys[i][1]);
        }
    }
}
