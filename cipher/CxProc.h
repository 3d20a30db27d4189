#pragma once
// The block primitive of the cipher library: a Blowfish key schedule and an
// 8-byte block function.
//
// The block function is NOT the published Blowfish: every round takes its
// S-box indexes from the block as it was on entry, not from the running
// halves, and the halves are not swapped at the end. Words are little-endian.
// The password texts stored by the billing application were made with exactly
// this function, so it has to stay this way.
//
// Know what it is worth: as the round terms never change within a block, they
// cancel, and a block comes out XORed with two words fixed by the key. Under
// the billing application's fixed pass phrase this hides stored passwords
// from casual reading and nothing more.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/rtl/Streams.h"
#include "platform/rtl/SysUtils.h"

// Malformed cipher text: truncated, not a whole number of blocks, or a final
// block whose byte count cannot be right ("Invalid file format").
FAT_DECLARE_EXCEPTION(ECipherException, Exception)

struct BlowfishContext {
    uint32_t P[18];
    uint32_t S[4][256];
};

using BlowfishBlock = std::array<uint8_t, 8>;

// Keys a context from 16 key bytes (all zeros is a valid key).
void BlowfishInitKey(const uint8_t Key[16], BlowfishContext& ctx);
// Encrypts or decrypts one 8-byte block in place.
void BlowfishEncryptBlock(const BlowfishContext& ctx, uint8_t* Block, bool Encrypt);
void BlowfishEncryptBlock(const BlowfishContext& ctx, BlowfishBlock& Block, bool Encrypt);
// One chaining step. Prev is left alone: the caller moves it on.
void BlowfishEncryptBlockCBC(const BlowfishContext& ctx, const uint8_t* Prev, uint8_t* Block,
                             bool Encrypt);
void BlowfishEncryptBlockCBC(const BlowfishContext& ctx, const BlowfishBlock& Prev,
                             BlowfishBlock& Block, bool Encrypt);
// Dest[i] ^= Source[i] for i < Size.
void XorMemory(void* Dest, const void* Source, uint32_t Size);

// ---------------------------------------------------------------------------
// Whole streams and files.
//
// ECB: each full 8-byte block encrypted in turn, then always one final block
// holding the remaining 0-7 bytes, zeros, and their count in byte 7; so the
// output is 1 to 8 bytes longer than the input. CBC: the same, chained, after
// a first block holding the encrypted initial vector (taken from the clock).
// Decryption reads from the input's position to its end; bytes after the last
// whole block are ignored. Truncated input raises ECipherException
// "Invalid file format"; what was written before stays in the output stream.

void BlowfishEncryptStream(TStream& InStream, TStream& OutStream, const uint8_t Key[16],
                           bool Encrypt);
void BlowfishEncryptStreamCBC(TStream& InStream, TStream& OutStream, const uint8_t Key[16],
                              bool Encrypt);
// The output file takes its name only when complete, so a file may be
// encrypted onto itself (or onto another name of itself) and a failure leaves
// any previous output file as it was.
void BlowfishEncryptFile(const std::string& InFile, const std::string& OutFile,
                         const uint8_t Key[16], bool Encrypt);
void BlowfishEncryptFileCBC(const std::string& InFile, const std::string& OutFile,
                            const uint8_t Key[16], bool Encrypt);

// Progress of the stream routines: called with the input position and size
// every ProgressInterval bytes of input (never when the interval is 0 or
// less), and once at the end.
using TCxProgressProc = std::function<void(int64_t Position, int64_t Size)>;
extern TCxProgressProc ProgressCallback;
extern int32_t ProgressInterval;

namespace cipher {

// The millisecond timer the CBC initial vector is made from (the system's
// monotonic clock unless replaced); returns the previous source. For tests
// that need a reproducible vector.
using MillisecondTimer = std::function<uint32_t()>;
MillisecondTimer SetMillisecondTimer(MillisecondTimer timer);
uint32_t MillisecondTime();

namespace tables {
// The fraction of pi in hexadecimal, eight digits to a word.
extern const uint32_t kInitialP[18];
extern const uint32_t kInitialS[4][256];
}  // namespace tables

inline uint32_t LoadLE32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void StoreLE32(uint8_t* p, uint32_t w) {
    p[0] = uint8_t(w);
    p[1] = uint8_t(w >> 8);
    p[2] = uint8_t(w >> 16);
    p[3] = uint8_t(w >> 24);
}

// The block function on the two words of a block (X0 = bytes 0-3, X1 = bytes 4-7).
void BlowfishEncryptWords(const BlowfishContext& ctx, uint32_t& X0, uint32_t& X1, bool Encrypt);

// The Blowfish key schedule over a key of any length (1..72 bytes), driven by
// the given block function `encrypt(ctx, x0, x1)`. BlowfishInitKey runs it over
// 16 bytes with the function above; with the published block function it is
// the published Blowfish schedule, which lets the tables be checked against
// the published test vectors.
template <class EncryptWords>
void ScheduleBlowfishKey(BlowfishContext& ctx, const uint8_t* key, std::size_t keyLength,
                         EncryptWords&& encrypt) {
    for (int i = 0; i < 18; ++i) ctx.P[i] = tables::kInitialP[i];
    for (int b = 0; b < 4; ++b)
        for (int i = 0; i < 256; ++i) ctx.S[b][i] = tables::kInitialS[b][i];
    std::size_t j = 0;
    for (int i = 0; i < 18; ++i) {
        uint32_t w = 0;
        for (int k = 0; k < 4; ++k) {
            w = (w << 8) | key[j];
            if (++j == keyLength) j = 0;
        }
        ctx.P[i] ^= w;
    }
    uint32_t x0 = 0, x1 = 0;
    for (int i = 0; i < 18; i += 2) {
        encrypt(static_cast<const BlowfishContext&>(ctx), x0, x1);
        ctx.P[i] = x0;
        ctx.P[i + 1] = x1;
    }
    for (int b = 0; b < 4; ++b)
        for (int i = 0; i < 256; i += 2) {
            encrypt(static_cast<const BlowfishContext&>(ctx), x0, x1);
            ctx.S[b][i] = x0;
            ctx.S[b][i + 1] = x1;
        }
}

}  // namespace cipher
