#pragma once
// Pass-phrase key derivation: the library's own mixing hash, made of two
// word-mixing steps and a small 128-bit block cipher that serves only it.
// Every stored user password is encrypted under a key made here, so each
// operation below is exact to the bit.
#include <cstdint>
#include <string_view>

struct MixHashContext {
    int32_t DigestIndex;
    uint8_t Digest[256];
    int32_t KeyIndex;
    uint8_t Key[16];
};

struct MixBlockContext {
    uint8_t Encrypt;
    int32_t Rounds;
    uint32_t SubKeys[16][2];
};

int32_t IntMin(int32_t a, int32_t b);
int32_t IntMax(int32_t a, int32_t b);

void QuadMix(uint32_t& A, uint32_t& B, uint32_t& C, uint32_t& D);
void OctoMix(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t& f,
             uint32_t& g, uint32_t& h);

void MixBlockInitKey(const uint8_t Key[16], MixBlockContext& ctx, int32_t Rounds, bool Encrypt);
void MixBlockEncrypt(const MixBlockContext& ctx, uint8_t Block[16]);

void MixHashInit(MixHashContext& ctx);
void MixHashUpdate(MixHashContext& ctx, const void* Data, int32_t Length);
// Consumes the context: its digest is encrypted in place. At most 256 bytes
// are written, however many are asked for.
void MixHashFinal(MixHashContext& ctx, uint8_t* Digest, int32_t DigestSize);

// KeySize bytes of key material (at most 256 are written) from a pass phrase.
void PassphraseToKey(uint8_t* Key, int32_t KeySize, const void* Data, int32_t DataLength);
// The pass phrase given as its bytes (one byte a character, no terminator).
void PassphraseToKey(uint8_t* Key, int32_t KeySize, std::string_view Passphrase);

// Size random bytes from a generator reseeded from the clock. Good enough for
// a throwaway key; nothing stored depends on it.
void RandomKeyBytes(uint8_t* Key, int32_t Size);
