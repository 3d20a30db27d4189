#include "report_output/rpZlibStream.h"

#include <cstdlib>
#include <zlib.h>

struct TrpCustomZlibStream::State {
    z_stream z{};
};

namespace {

// Zero-filled memory, as the format's writers have always given zlib.
voidpf ZlibAlloc(voidpf, uInt Items, uInt Size) { return std::calloc(Items, Size); }
void ZlibFree(voidpf, voidpf Address) { std::free(Address); }

[[noreturn]] void RaiseError() { throw ECompressionError("error"); }

}  // namespace

int rpZlibLevel(TrpCompressionLevel Level) {
    switch (Level) {
        case TrpCompressionLevel::clNone: return 0;
        case TrpCompressionLevel::clFastest: return 1;
        case TrpCompressionLevel::clMax: return 9;
        case TrpCompressionLevel::clDefault: break;
    }
    return Z_DEFAULT_COMPRESSION;
}

TrpCustomZlibStream::TrpCustomZlibStream(TStream* Target)
    : target_(Target), targetPos_(Target != nullptr ? Target->Position() : 0), state_(std::make_unique<State>()) {
    state_->z.zalloc = ZlibAlloc;
    state_->z.zfree = ZlibFree;
    state_->z.next_out = buffer_.data();
    state_->z.avail_out = static_cast<uInt>(BufferSize);
}

TrpCustomZlibStream::~TrpCustomZlibStream() = default;

void TrpCustomZlibStream::Flush(int64_t Count) {
    if (Count <= 0) return;
    if (target_->Position() != targetPos_) target_->SetPosition(targetPos_);
    target_->WriteBuffer(buffer_.data(), Count);
    targetPos_ = target_->Position();
    state_->z.next_out = buffer_.data();
    state_->z.avail_out = static_cast<uInt>(BufferSize);
    if (OnProgress) OnProgress(this);
}

TrpCompressionStream::TrpCompressionStream(TrpCompressionLevel Level, TStream* Target) : TrpCustomZlibStream(Target) {
    if (Target == nullptr) throw ECompressionError("error");
    if (deflateInit(&state_->z, rpZlibLevel(Level)) < 0) RaiseError();
}

TrpCompressionStream::~TrpCompressionStream() {
    if (!finished_) {
        try {
            Finish();
        } catch (...) {
            // Whoever needed the data whole called Finish and saw the error.
        }
    }
    deflateEnd(&state_->z);
}

int64_t TrpCompressionStream::Read(void*, int64_t) { throw ECompressionError("Invalid stream operation"); }

int64_t TrpCompressionStream::Write(const void* Buffer, int64_t Count) {
    if (finished_) throw ECompressionError("Invalid stream operation");
    if (Count <= 0) return 0;
    z_stream& z = state_->z;
    const auto* in = static_cast<const unsigned char*>(Buffer);
    int64_t left = Count;
    while (left > 0) {
        // avail_in is 32-bit: feed very large buffers in slices.
        const auto slice = static_cast<uInt>(std::min<int64_t>(left, 1 << 30));
        z.next_in = const_cast<unsigned char*>(in);
        z.avail_in = slice;
        while (z.avail_in > 0) {
            if (deflate(&z, Z_NO_FLUSH) < 0) RaiseError();
            if (z.avail_out == 0) Flush(BufferSize);
        }
        in += slice;
        left -= slice;
    }
    totalIn_ += Count;
    return Count;
}

int64_t TrpCompressionStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    if (Offset == 0 && Origin == soCurrent) return totalIn_;
    throw ECompressionError("Invalid stream operation");
}

void TrpCompressionStream::Finish() {
    if (finished_) return;
    finished_ = true;
    z_stream& z = state_->z;
    z.next_in = nullptr;
    z.avail_in = 0;
    for (;;) {
        const int rc = deflate(&z, Z_FINISH);
        if (rc < 0 && rc != Z_BUF_ERROR) RaiseError();
        if (z.avail_out == 0) {
            Flush(BufferSize);
            if (rc == Z_STREAM_END) break;
            continue;
        }
        if (rc == Z_STREAM_END) break;
        if (rc == Z_BUF_ERROR) RaiseError();
    }
    Flush(BufferSize - z.avail_out);
}
