#pragma once
// A write-only stream that deflates what is written into a target stream in
// the zlib format (RFC 1950 around RFC 1951 data). The PDF writer sends every
// content stream and image through it.
//
// Output leaves in whole 65,536-byte pieces while writing; the rest, with the
// final block and the checksum, only at Finish. Finish is where a failure of
// the last writes is reported: callers that need a complete stream call it.
// The destructor finishes a stream that was not finished, swallowing errors
// (a destructor must not throw while an exception is already unwinding).
//
// The target is not owned. Its position is remembered, so that a caller who
// moved it between writes (a PDF writer patching a length) does not corrupt
// the data: every write goes back to where the stream left off.
#include <array>
#include <cstdint>
#include <memory>

#include "platform/rtl/SysUtils.h"
#include "platform/rtl/Streams.h"
#include "report/rpSettings.h"

FAT_DECLARE_EXCEPTION(EZlibError, Exception)
FAT_DECLARE_EXCEPTION(ECompressionError, EZlibError)

class TrpCustomZlibStream : public TStream {
public:
    static constexpr int64_t BufferSize = 65536;

    explicit TrpCustomZlibStream(TStream* Target);
    ~TrpCustomZlibStream() override;
    TrpCustomZlibStream(const TrpCustomZlibStream&) = delete;
    TrpCustomZlibStream& operator=(const TrpCustomZlibStream&) = delete;

    TNotifyEvent OnProgress;

protected:
    // Writes the buffer's first Count bytes to the target at the remembered
    // position.
    void Flush(int64_t Count);

    TStream* target_;
    int64_t targetPos_;
    struct State;
    std::unique_ptr<State> state_;
    std::array<unsigned char, BufferSize> buffer_{};
};

class TrpCompressionStream : public TrpCustomZlibStream {
public:
    TrpCompressionStream(TrpCompressionLevel Level, TStream* Target);
    ~TrpCompressionStream() override;

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    // Only Seek(0, soCurrent): the number of bytes written so far.
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    using TStream::Seek;

    // Ends the data (final block, checksum) and writes the rest to the
    // target. Further writes raise ECompressionError.
    void Finish();
    bool Finished() const { return finished_; }

private:
    bool finished_ = false;
    int64_t totalIn_ = 0;
};

// zlib's level for each of ours.
int rpZlibLevel(TrpCompressionLevel Level);
