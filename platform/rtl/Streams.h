#pragma once
// The stream family: a sequence of bytes with a position, in memory or on disk.
// Files created through TFileStream appear under their name only when complete
// (see platform/rtl/SafeFile.h).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/Object.h"
#include "platform/rtl/SysUtils.h"

using TBytes = std::vector<uint8_t>;

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

// The older integer origins, still used by callers of Seek(offset, int).
constexpr int soFromBeginning = 0;
constexpr int soFromCurrent = 1;
constexpr int soFromEnd = 2;

// Open modes and share flags of TFileStream. The share flags are accepted and
// ignored: Linux has no mandatory file sharing.
constexpr uint16_t fmCreate = 0xFF00;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;
// With fmCreate: a file the user named, made only where nothing or a regular
// file stands (fileio::AtomicFile's regularFileOnly); a pipe or a device at
// the name is refused and never opened, however the name changes meanwhile.
constexpr uint16_t fmRegularFileOnly = 0x0080;

// How text is stored in a file: UTF-8, or the Windows code page 1252 of older files.
enum class TEncoding { UTF8, ANSI };

namespace textio {

// The text of a file's bytes, as UTF-8. A UTF-8 byte order mark is dropped
// and means UTF-8 whatever was asked. Asked for UTF8, bytes that are not
// valid UTF-8 are read as code page 1252 (a file written by an older Windows
// program); `encoding` tells which one was used.
struct DecodedText {
    std::string text;
    TEncoding encoding = TEncoding::UTF8;
    bool bom = false;
};
DecodedText Decode(std::string_view bytes, TEncoding requested = TEncoding::UTF8);
// UTF-8 text to a file's bytes; in ANSI a character outside code page 1252
// becomes "?". `bom` only applies to UTF8.
std::string Encode(std::string_view text, TEncoding encoding, bool bom = false);

}  // namespace textio

class TStream : public TObject {
public:
    FAT_CLASS_NAME(TStream)
    // Streams have class metadata of their own (no published properties), so
    // that a member typed as a stream is described as one, not as TObject.
    static TClass StaticClassType();
    TClass ClassType() const override { return StaticClassType(); }

    // Transfers up to count bytes and returns how many were transferred.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Returns the new position.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    int64_t Seek(int64_t offset, int origin);

    int64_t Position();
    void SetPosition(int64_t position);
    virtual int64_t Size();
    virtual void SetSize(int64_t size);

    // Transfer exactly count bytes: EReadError "Stream read error" /
    // EWriteError "Stream write error" otherwise.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);

    // Copies count bytes from source's current position; count 0 copies the
    // whole source from its start. Returns the number of bytes copied.
    int64_t CopyFrom(TStream& source, int64_t count);
    int64_t CopyFrom(TStream* source, int64_t count) { return CopyFrom(*source, count); }

    // Convenience for callers that move strings of bytes.
    void WriteBytes(std::string_view bytes) { WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size())); }
    // Everything from the current position to the end.
    std::string ReadAllBytes();
};

class TMemoryStream : public TStream {
public:
    FAT_CLASS_NAME(TMemoryStream)
    static TClass StaticClassType();
    TClass ClassType() const override { return StaticClassType(); }

    TMemoryStream() = default;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    using TStream::Seek;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    void SetSize(int64_t size) override;

    // The bytes; valid until the size changes.
    void* Memory() { return data_.data(); }
    const void* Memory() const { return data_.data(); }
    int64_t Capacity() const { return static_cast<int64_t>(data_.capacity()); }
    void SetCapacity(int64_t capacity);
    void Clear();

    // Replaces the content with the whole of the stream / file; position 0.
    void LoadFromStream(TStream& stream);
    void LoadFromStream(TStream* stream) { LoadFromStream(*stream); }
    void LoadFromFile(const std::string& fileName);
    // Writes the whole content (position is not used).
    void SaveToStream(TStream& stream);
    void SaveToStream(TStream* stream) { SaveToStream(*stream); }
    void SaveToFile(const std::string& fileName);

    // The content as a string of bytes.
    std::string DataBytes() const { return std::string(data_.begin(), data_.end()); }

protected:
    std::vector<uint8_t> data_;
    int64_t position_ = 0;
};

class TBytesStream : public TMemoryStream {
public:
    FAT_CLASS_NAME(TBytesStream)
    TBytesStream() = default;
    explicit TBytesStream(const TBytes& bytes);
    // A copy of the content (Size bytes).
    TBytes Bytes() const { return TBytes(data_.begin(), data_.end()); }
};

// A stream over a string of bytes (no conversion: UTF-8 text stays UTF-8).
class TStringStream : public TBytesStream {
public:
    FAT_CLASS_NAME(TStringStream)
    TStringStream() = default;
    explicit TStringStream(std::string_view data);

    std::string DataString() const { return DataBytes(); }
    // Reads up to count bytes from the current position.
    std::string ReadString(int64_t count);
    void WriteString(std::string_view s);
};

namespace fileio {
class AtomicFile;
}

class TFileStream : public TStream {
public:
    FAT_CLASS_NAME(TFileStream)

    // fmCreate writes a new file through a temporary file beside it, which
    // takes the file's name when the stream is destroyed normally or on
    // Commit(); destroyed while an exception unwinds, the stream leaves the
    // previous file as it was. Other modes open an existing file.
    // Errors: EFOpenError "Cannot open file \"%s\". <reason>",
    //         EFCreateError "Cannot create file \"%s\". <reason>".
    TFileStream(const std::string& fileName, uint16_t mode);
    TFileStream(const std::string& fileName, uint16_t mode, uint32_t rights);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    using TStream::Seek;
    int64_t Size() override;
    void SetSize(int64_t size) override;

    const std::string& FileName() const { return fileName_; }
    int Handle() const { return fd_; }

    // For a created file: makes it appear under its name now, reporting any
    // failure (the destructor cannot). Further writes raise EWriteError.
    // After a failed write (a full disk) the content is known to be torn:
    // it is dropped and Commit raises EWriteError, and so is it on destruction.
    void Commit();
    // The errno of the write that failed on a created file (0: none failed).
    int WriteError() const { return writeError_; }
    // For a created file: drops what was written; the previous file stays.
    void Discard();

private:
    std::string fileName_;
    int fd_ = -1;
    std::unique_ptr<fileio::AtomicFile> atomic_;
    int uncaughtAtOpen_ = 0;
    int writeError_ = 0;  // errno of a failed write to a created file
};
