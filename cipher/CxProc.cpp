#include "cipher/CxProc.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <vector>

namespace cipher {

namespace {
inline uint32_t F(const BlowfishContext& ctx, uint32_t w) {
    return ((ctx.S[0][w >> 24] + ctx.S[1][(w >> 16) & 0xFF]) ^ ctx.S[2][(w >> 8) & 0xFF]) +
           ctx.S[3][w & 0xFF];
}
}  // namespace

void BlowfishEncryptWords(const BlowfishContext& ctx, uint32_t& X0, uint32_t& X1, bool Encrypt) {
    // The round terms come from the block as it entered, so they are the same
    // in every round (and, entering each half an even number of times, cancel).
    // Kept round by round all the same: this is the operation the stored texts
    // were made with.
    const uint32_t f0 = F(ctx, X0);
    const uint32_t f1 = F(ctx, X1);
    uint32_t x0 = X0, x1 = X1;
    if (Encrypt) {
        x0 ^= ctx.P[0];
        for (int i = 1; i <= 15; i += 2) {
            x1 = x1 ^ ctx.P[i] ^ f0;
            x0 = x0 ^ ctx.P[i + 1] ^ f1;
        }
        x1 ^= ctx.P[17];
    } else {
        x1 ^= ctx.P[17];
        for (int i = 16; i >= 2; i -= 2) {
            x0 = x0 ^ ctx.P[i] ^ f1;
            x1 = x1 ^ ctx.P[i - 1] ^ f0;
        }
        x0 ^= ctx.P[0];
    }
    X0 = x0;
    X1 = x1;
}

}  // namespace cipher

void BlowfishInitKey(const uint8_t Key[16], BlowfishContext& ctx) {
    cipher::ScheduleBlowfishKey(ctx, Key, 16,
                                [](const BlowfishContext& c, uint32_t& x0, uint32_t& x1) {
                                    cipher::BlowfishEncryptWords(c, x0, x1, true);
                                });
}

void BlowfishEncryptBlock(const BlowfishContext& ctx, uint8_t* Block, bool Encrypt) {
    uint32_t x0 = cipher::LoadLE32(Block);
    uint32_t x1 = cipher::LoadLE32(Block + 4);
    cipher::BlowfishEncryptWords(ctx, x0, x1, Encrypt);
    cipher::StoreLE32(Block, x0);
    cipher::StoreLE32(Block + 4, x1);
}

void BlowfishEncryptBlock(const BlowfishContext& ctx, BlowfishBlock& Block, bool Encrypt) {
    BlowfishEncryptBlock(ctx, Block.data(), Encrypt);
}

void BlowfishEncryptBlockCBC(const BlowfishContext& ctx, const uint8_t* Prev, uint8_t* Block,
                             bool Encrypt) {
    if (Encrypt) {
        XorMemory(Block, Prev, 8);
        BlowfishEncryptBlock(ctx, Block, true);
    } else {
        BlowfishEncryptBlock(ctx, Block, false);
        XorMemory(Block, Prev, 8);
    }
}

void BlowfishEncryptBlockCBC(const BlowfishContext& ctx, const BlowfishBlock& Prev,
                             BlowfishBlock& Block, bool Encrypt) {
    BlowfishEncryptBlockCBC(ctx, Prev.data(), Block.data(), Encrypt);
}

void XorMemory(void* Dest, const void* Source, uint32_t Size) {
    auto* d = static_cast<uint8_t*>(Dest);
    const auto* s = static_cast<const uint8_t*>(Source);
    uint32_t i = 0;
    for (; i + 4 <= Size; i += 4) {
        uint32_t a, b;
        std::memcpy(&a, d + i, 4);
        std::memcpy(&b, s + i, 4);
        a ^= b;
        std::memcpy(d + i, &a, 4);
    }
    for (; i < Size; ++i) d[i] ^= s[i];
}

// ---------------------------------------------------------------------------
// Streams and files

TCxProgressProc ProgressCallback;
int32_t ProgressInterval = 64;

namespace cipher {

namespace {

MillisecondTimer& TimerSource() {
    static MillisecondTimer timer;
    return timer;
}

[[noreturn]] void InvalidFormat() { throw ECipherException("Invalid file format"); }

// Reads until `count` bytes arrived or the stream has no more.
int64_t ReadFully(TStream& s, uint8_t* buffer, int64_t count) {
    int64_t total = 0;
    while (total < count) {
        const int64_t got = s.Read(buffer + total, count - total);
        if (got <= 0) break;
        total += got;
    }
    return total;
}

// Whole blocks are read, transformed and written in chunks of this size; the
// result is the same as block by block.
constexpr int64_t kChunkBlocks = 8192;

class BlockRunner {
public:
    BlockRunner(TStream& in, TStream& out, const uint8_t key[16], bool encrypt, bool cbc)
        : in_(in), out_(out), encrypt_(encrypt), cbc_(cbc) {
        BlowfishInitKey(key, ctx_);
        size_ = in_.Size();
        pos_ = in_.Position();
    }

    void Run() {
        const int64_t remaining = std::max<int64_t>(0, size_ - pos_);
        int64_t count = remaining / 8;
        if (encrypt_) ++count;
        if (cbc_) {
            if (encrypt_) {
                // Two successive reads of the timer.
                const uint32_t w0 = MillisecondTime();
                const uint32_t w1 = MillisecondTime();
                StoreLE32(prev_, w0);
                StoreLE32(prev_ + 4, w1);
                BlowfishEncryptBlock(ctx_, prev_, true);
                out_.WriteBuffer(prev_, 8);
            } else {
                std::fill(prev_, prev_ + 8, uint8_t(0));
                pos_ += ReadFully(in_, prev_, 8);
                --count;
            }
        }
        FullBlocks(count - 1);
        FinalBlock();
        if (ProgressCallback) ProgressCallback(pos_, size_);
    }

private:
    void Transform(uint8_t* block) {
        if (!cbc_) {
            BlowfishEncryptBlock(ctx_, block, encrypt_);
        } else if (encrypt_) {
            BlowfishEncryptBlockCBC(ctx_, prev_, block, true);
            std::copy(block, block + 8, prev_);
        } else {
            uint8_t cipherText[8];
            std::copy(block, block + 8, cipherText);
            BlowfishEncryptBlockCBC(ctx_, prev_, block, false);
            std::copy(cipherText, cipherText + 8, prev_);
        }
    }

    void FullBlocks(int64_t blocks) {
        if (blocks <= 0) return;
        std::vector<uint8_t> buffer(static_cast<std::size_t>(std::min(blocks, kChunkBlocks) * 8));
        const bool report = ProgressCallback && ProgressInterval > 0;
        while (blocks > 0) {
            const int64_t want = std::min(blocks, kChunkBlocks);
            const int64_t got = ReadFully(in_, buffer.data(), want * 8);
            const int64_t whole = got / 8;
            for (int64_t b = 0; b < whole; ++b) {
                Transform(buffer.data() + 8 * b);
                if (report) {
                    // Written block by block as far as a caller can tell: what
                    // the callback sees is the position after this block.
                    out_.WriteBuffer(buffer.data() + 8 * b, 8);
                    pos_ += 8;
                    if (pos_ % ProgressInterval == 0) ProgressCallback(pos_, size_);
                }
            }
            if (!report) {
                out_.WriteBuffer(buffer.data(), whole * 8);
                pos_ += whole * 8;
            }
            if (whole < want) {
                pos_ += got - whole * 8;
                InvalidFormat();
            }
            blocks -= want;
        }
    }

    void FinalBlock() {
        uint8_t block[8] = {};
        if (encrypt_) {
            const int tail = static_cast<int>(std::max<int64_t>(0, size_ - pos_) % 8);
            const int64_t got = ReadFully(in_, block, tail);
            pos_ += got;
            if (got < tail) InvalidFormat();
            block[7] = static_cast<uint8_t>(tail);
            Transform(block);
            out_.WriteBuffer(block, 8);
        } else {
            const int64_t got = ReadFully(in_, block, 8);
            pos_ += got;
            if (got < 8) InvalidFormat();
            Transform(block);
            // A count beyond 7 means a wrong key or damaged data; writing it
            // would reach past the block.
            if (block[7] > 7) InvalidFormat();
            out_.WriteBuffer(block, block[7]);
        }
    }

    TStream& in_;
    TStream& out_;
    bool encrypt_;
    bool cbc_;
    BlowfishContext ctx_;
    uint8_t prev_[8] = {};
    int64_t size_ = 0;
    int64_t pos_ = 0;
};

void EncryptFile(const std::string& inFile, const std::string& outFile, const uint8_t key[16],
                 bool encrypt, bool cbc) {
    TFileStream in(inFile, fmOpenRead | fmShareDenyWrite);
    // The created stream writes beside the target and takes its name on
    // Commit, so the input, even when it is the same file, is read whole first.
    TFileStream out(outFile, fmCreate);
    try {
        BlockRunner(in, out, key, encrypt, cbc).Run();
    } catch (...) {
        out.Discard();
        throw;
    }
    out.Commit();
}

}  // namespace

MillisecondTimer SetMillisecondTimer(MillisecondTimer timer) {
    MillisecondTimer previous = std::move(TimerSource());
    TimerSource() = std::move(timer);
    return previous;
}

uint32_t MillisecondTime() {
    if (TimerSource()) return TimerSource()();
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

}  // namespace cipher

void BlowfishEncryptStream(TStream& InStream, TStream& OutStream, const uint8_t Key[16],
                           bool Encrypt) {
    cipher::BlockRunner(InStream, OutStream, Key, Encrypt, false).Run();
}

void BlowfishEncryptStreamCBC(TStream& InStream, TStream& OutStream, const uint8_t Key[16],
                              bool Encrypt) {
    cipher::BlockRunner(InStream, OutStream, Key, Encrypt, true).Run();
}

void BlowfishEncryptFile(const std::string& InFile, const std::string& OutFile,
                         const uint8_t Key[16], bool Encrypt) {
    cipher::EncryptFile(InFile, OutFile, Key, Encrypt, false);
}

void BlowfishEncryptFileCBC(const std::string& InFile, const std::string& OutFile,
                            const uint8_t Key[16], bool Encrypt) {
    cipher::EncryptFile(InFile, OutFile, Key, Encrypt, true);
}
