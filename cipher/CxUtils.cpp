#include "cipher/CxUtils.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <random>
#include <utility>

#include "cipher/CxProc.h"

namespace {

constexpr uint32_t kGroupConstants[4] = {0x55555555u, 0xAAAAAAAAu, 0x33333333u, 0xCCCCCCCCu};
constexpr uint8_t kFinalPadding[8] = {0x01, 0, 0, 0, 0, 0, 0, 0};

inline uint32_t KeyWord(const uint8_t* key, int i) { return cipher::LoadLE32(key + 4 * i); }

}  // namespace

int32_t IntMin(int32_t a, int32_t b) { return a < b ? a : b; }
int32_t IntMax(int32_t a, int32_t b) { return a > b ? a : b; }

void QuadMix(uint32_t& A, uint32_t& B, uint32_t& C, uint32_t& D) {
    A += D; D += A; A ^= A >> 7;
    B += A; A += B; B ^= B << 13;
    C += B; B += C; C ^= C >> 17;
    D += C; C += D; D ^= D << 9;
    A += D; D += A; A ^= A >> 3;
    B += A; A += B; B ^= B << 7;
    C += B; B += C; C ^= D >> 15;  // D, not C: the stored keys were made this way
    D += C; C += D; D ^= D << 11;
}

void OctoMix(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t& f,
             uint32_t& g, uint32_t& h) {
    a ^= b << 11; d += a; b += c;
    b ^= c >> 2;  e += b; c += d;
    c ^= d << 8;  f += c; d += e;
    d ^= e >> 16; g += d; e += f;
    e ^= f << 10; h += e; f += g;
    f ^= g >> 4;  a += f; g += h;
    g ^= h << 8;  b += g; h += a;
    h ^= a >> 9;  c += h; a += b;
}

void MixBlockInitKey(const uint8_t Key[16], MixBlockContext& ctx, int32_t Rounds, bool Encrypt) {
    ctx.Encrypt = Encrypt ? 1 : 0;
    ctx.Rounds = IntMax(4, IntMin(16, Rounds));
    for (int j = 0; j < 4; ++j) {
        const uint32_t cj = kGroupConstants[j];
        uint32_t a = KeyWord(Key, 0), b = cj, c = KeyWord(Key, 1), d = cj;
        uint32_t e = KeyWord(Key, 2), f = cj, g = KeyWord(Key, 3), h = cj;
        for (int n = 0; n < 8; ++n) OctoMix(a, b, c, d, e, f, g, h);
        uint32_t(*sk)[2] = ctx.SubKeys + 4 * j;
        sk[0][0] = a; sk[0][1] = b;
        sk[1][0] = c; sk[1][1] = d;
        sk[2][0] = e; sk[2][1] = f;
        sk[3][0] = g; sk[3][1] = h;
    }
    if (!Encrypt) {
        for (int lo = 0, hi = ctx.Rounds - 1; lo < hi; ++lo, --hi) {
            std::swap(ctx.SubKeys[lo][0], ctx.SubKeys[hi][0]);
            std::swap(ctx.SubKeys[lo][1], ctx.SubKeys[hi][1]);
        }
    }
}

void MixBlockEncrypt(const MixBlockContext& ctx, uint8_t Block[16]) {
    uint32_t l0 = cipher::LoadLE32(Block), l1 = cipher::LoadLE32(Block + 4);
    uint32_t r0 = cipher::LoadLE32(Block + 8), r1 = cipher::LoadLE32(Block + 12);
    const int32_t rounds = IntMax(4, IntMin(16, ctx.Rounds));
    for (int32_t r = 0; r < rounds; ++r) {
        uint32_t A = l0, B = ctx.SubKeys[r][0], C = l1, D = ctx.SubKeys[r][1];
        QuadMix(A, B, C, D);
        QuadMix(C, D, A, B);  // the halves trade places between the two mixes
        const uint32_t n0 = D ^ C ^ r0;
        const uint32_t n1 = B ^ A ^ r1;
        r0 = l0;
        r1 = l1;
        l0 = n0;
        l1 = n1;
    }
    cipher::StoreLE32(Block, r0);
    cipher::StoreLE32(Block + 4, r1);
    cipher::StoreLE32(Block + 8, l0);
    cipher::StoreLE32(Block + 12, l1);
}

void MixHashInit(MixHashContext& ctx) {
    ctx.DigestIndex = 0;
    // The first 2048 bits of the fraction of pi: the P-array followed by the
    // start of the first S-box, each word most significant byte first.
    for (int i = 0; i < 64; ++i) {
        const uint32_t w = i < 18 ? cipher::tables::kInitialP[i] : cipher::tables::kInitialS[0][i - 18];
        ctx.Digest[4 * i] = uint8_t(w >> 24);
        ctx.Digest[4 * i + 1] = uint8_t(w >> 16);
        ctx.Digest[4 * i + 2] = uint8_t(w >> 8);
        ctx.Digest[4 * i + 3] = uint8_t(w);
    }
    ctx.KeyIndex = 0;
    std::memset(ctx.Key, 0x55, sizeof ctx.Key);
}

void MixHashUpdate(MixHashContext& ctx, const void* Data, int32_t Length) {
    const auto* p = static_cast<const uint8_t*>(Data);
    // A context that did not come from MixHashInit must not index outside
    // its arrays.
    ctx.DigestIndex &= 0xFF;
    if (ctx.KeyIndex < 0 || ctx.KeyIndex > 7) ctx.KeyIndex = 0;
    for (int32_t n = 0; n < Length; ++n) {
        const uint8_t x = p[n];
        ctx.Digest[ctx.DigestIndex] ^= x;
        ctx.DigestIndex = (ctx.DigestIndex + 1) & 0xFF;
        ctx.Key[ctx.KeyIndex] ^= x;
        if (++ctx.KeyIndex == 8) {
            // Input reaches only key bytes 0-7; the mix spreads it over all 16.
            uint32_t A = KeyWord(ctx.Key, 3), B = KeyWord(ctx.Key, 2);
            uint32_t C = KeyWord(ctx.Key, 1), D = KeyWord(ctx.Key, 0);
            for (int k = 0; k < 4; ++k) QuadMix(A, B, C, D);
            cipher::StoreLE32(ctx.Key, A);
            cipher::StoreLE32(ctx.Key + 4, B);
            cipher::StoreLE32(ctx.Key + 8, C);
            cipher::StoreLE32(ctx.Key + 12, D);
            ctx.KeyIndex = 0;
        }
    }
}

void MixHashFinal(MixHashContext& ctx, uint8_t* Digest, int32_t DigestSize) {
    if (ctx.KeyIndex < 0 || ctx.KeyIndex > 7) ctx.KeyIndex = 0;
    MixHashUpdate(ctx, kFinalPadding, 8 - ctx.KeyIndex);
    MixBlockContext schedule;
    MixBlockInitKey(ctx.Key, schedule, 8, true);
    for (int b = 0; b < 16; ++b) MixBlockEncrypt(schedule, ctx.Digest + 16 * b);
    const int32_t n = IntMin(256, DigestSize);
    if (n > 0) std::memcpy(Digest, ctx.Digest, static_cast<std::size_t>(n));
}

void PassphraseToKey(uint8_t* Key, int32_t KeySize, const void* Data, int32_t DataLength) {
    MixHashContext ctx;
    MixHashInit(ctx);
    MixHashUpdate(ctx, Data, DataLength);
    MixHashFinal(ctx, Key, KeySize);
}

void PassphraseToKey(uint8_t* Key, int32_t KeySize, std::string_view Passphrase) {
    // Longer pass phrases than a 32-bit length can tell are folded in pieces;
    // the hash does not care how its input is split.
    MixHashContext ctx;
    MixHashInit(ctx);
    std::size_t pos = 0;
    while (pos < Passphrase.size()) {
        const std::size_t piece = std::min<std::size_t>(Passphrase.size() - pos, INT32_MAX);
        MixHashUpdate(ctx, Passphrase.data() + pos, static_cast<int32_t>(piece));
        pos += piece;
    }
    MixHashFinal(ctx, Key, KeySize);
}

void RandomKeyBytes(uint8_t* Key, int32_t Size) {
    const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    std::random_device device;
    std::seed_seq seed{static_cast<uint32_t>(now), static_cast<uint32_t>(uint64_t(now) >> 32),
                       device(), device()};
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int32_t i = 0; i < Size; ++i) Key[i] = static_cast<uint8_t>(byte(generator));
}
