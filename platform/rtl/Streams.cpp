#include "platform/rtl/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>

#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/TypInfo.h"

// ---------------------------------------------------------------------------
// TStream

TClass TStream::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TStream>("TStream", TObject::StaticClassType()).Build();
    return &info;
}

TClass TMemoryStream::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TMemoryStream>("TMemoryStream", TStream::StaticClassType()).Build();
    return &info;
}

int64_t TStream::Seek(int64_t offset, int origin) {
    switch (origin) {
        case soFromBeginning: return Seek(offset, soBeginning);
        case soFromCurrent: return Seek(offset, soCurrent);
        case soFromEnd: return Seek(offset, soEnd);
    }
    throw EStreamError("Invalid stream seek origin (" + std::to_string(origin) + ")");
}

int64_t TStream::Position() { return Seek(int64_t{0}, soCurrent); }

void TStream::SetPosition(int64_t position) { Seek(position, soBeginning); }

int64_t TStream::Size() {
    int64_t pos = Seek(int64_t{0}, soCurrent);
    int64_t size = Seek(int64_t{0}, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::SetSize(int64_t) {}

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count <= 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    constexpr int64_t kChunk = 64 * 1024;
    std::vector<char> buf(static_cast<std::size_t>(std::min(count, kChunk)));
    int64_t left = count;
    while (left > 0) {
        int64_t n = std::min(left, kChunk);
        source.ReadBuffer(buf.data(), n);
        WriteBuffer(buf.data(), n);
        left -= n;
    }
    return count;
}

std::string TStream::ReadAllBytes() {
    int64_t left = Size() - Position();
    std::string out;
    if (left <= 0) return out;
    out.resize(static_cast<std::size_t>(left));
    int64_t n = Read(out.data(), left);
    out.resize(static_cast<std::size_t>(std::max<int64_t>(n, 0)));
    return out;
}

// ---------------------------------------------------------------------------
// TMemoryStream

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    int64_t size = Size();
    if (count <= 0 || position_ < 0 || position_ >= size) return 0;
    int64_t n = std::min(count, size - position_);
    std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0 || position_ < 0) return 0;
    int64_t end = position_ + count;
    // A write past the end leaves zeros in the gap, never stale memory.
    if (end > Size()) data_.resize(static_cast<std::size_t>(end));
    std::memcpy(data_.data() + position_, buffer, static_cast<std::size_t>(count));
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    switch (origin) {
        case soBeginning: position_ = offset; break;
        case soCurrent: position_ += offset; break;
        case soEnd: position_ = Size() + offset; break;
    }
    return position_;
}

void TMemoryStream::SetSize(int64_t size) {
    if (size < 0) throw EStreamError("Invalid stream size (" + std::to_string(size) + ")");
    data_.resize(static_cast<std::size_t>(size));
    if (position_ > size) position_ = size;
}

void TMemoryStream::SetCapacity(int64_t capacity) {
    if (capacity > Size()) data_.reserve(static_cast<std::size_t>(capacity));
}

void TMemoryStream::Clear() {
    data_.clear();
    data_.shrink_to_fit();
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream) {
    stream.SetPosition(0);
    int64_t count = stream.Size();
    std::vector<uint8_t> bytes(static_cast<std::size_t>(std::max<int64_t>(count, 0)));
    stream.ReadBuffer(bytes.data(), count);
    data_ = std::move(bytes);
    position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    std::string bytes = fileio::ReadFileBytes(fileName);
    data_.assign(bytes.begin(), bytes.end());
    position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& stream) { stream.WriteBuffer(data_.data(), Size()); }

void TMemoryStream::SaveToFile(const std::string& fileName) {
    TFileStream file(fileName, fmCreate);
    SaveToStream(file);
    file.Commit();
}

// ---------------------------------------------------------------------------
// TBytesStream, TStringStream

TBytesStream::TBytesStream(const TBytes& bytes) { data_ = bytes; }

TStringStream::TStringStream(std::string_view data) { data_.assign(data.begin(), data.end()); }

std::string TStringStream::ReadString(int64_t count) {
    std::string out;
    if (count <= 0) return out;
    out.resize(static_cast<std::size_t>(std::min(count, std::max<int64_t>(Size() - Position(), 0))));
    int64_t n = Read(out.data(), static_cast<int64_t>(out.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

void TStringStream::WriteString(std::string_view s) { Write(s.data(), static_cast<int64_t>(s.size())); }

// ---------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : TFileStream(fileName, mode, 0666) {}

TFileStream::TFileStream(const std::string& fileName, uint16_t mode, uint32_t rights)
    : fileName_(fileName), uncaughtAtOpen_(std::uncaught_exceptions()) {
    if ((mode & fmCreate) == fmCreate) {
        atomic_ = std::make_unique<fileio::AtomicFile>(fileName, (mode & fmRegularFileOnly) != 0);
        atomic_->SetNewFileMode(rights);
        fd_ = atomic_->Fd();
        return;
    }
    int flags = O_CLOEXEC;
    switch (mode & 3) {
        case fmOpenWrite: flags |= O_WRONLY; break;
        case fmOpenReadWrite: flags |= O_RDWR; break;
        default: flags |= O_RDONLY; break;
    }
    // Opened without waiting: a pipe at the name would hold the open until
    // another program opened its other end. A pipe or a socket is refused.
    fd_ = ::open(fileName.c_str(), flags | O_NONBLOCK);
    if (fd_ < 0) {
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + fileio::SystemMessage(errno));
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + fileio::SystemMessage(EISDIR));
    }
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw EFOpenError(fileio::NotAFileMessage(fileName, st));
    }
    int now = ::fcntl(fd_, F_GETFL);
    if (now >= 0) ::fcntl(fd_, F_SETFL, now & ~O_NONBLOCK);
}

TFileStream::~TFileStream() {
    if (atomic_) {
        if (std::uncaught_exceptions() > uncaughtAtOpen_ || writeError_ != 0) {
            atomic_->Discard();
        } else {
            // A failed commit removes the temporary file and keeps the old
            // one; callers that must know call Commit() themselves.
            try {
                atomic_->Commit();
            } catch (const std::exception&) {
            }
        }
        return;
    }
    if (fd_ >= 0) ::close(fd_);
}

void TFileStream::Commit() {
    if (!atomic_) return;
    fd_ = -1;
    if (writeError_ != 0) {
        atomic_->Discard();
        throw EWriteError("Cannot write file \"" + fileName_ + "\". " + fileio::SystemMessage(writeError_));
    }
    atomic_->Commit();
}

void TFileStream::Discard() {
    if (!atomic_) return;
    fd_ = -1;
    atomic_->Discard();
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    if (fd_ < 0 || count <= 0) return 0;
    char* p = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::read(fd_, p + done, static_cast<std::size_t>(count - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return done > 0 ? done : -1;
        }
        if (n == 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    if (fd_ < 0 || count <= 0) return 0;
    const char* p = static_cast<const char*>(buffer);
    int64_t done = 0;
    if (atomic_) fileio::NoteWriteStep(fileio::WriteStep::BeforeWrite, fd_, atomic_->TargetPath());
    while (done < count) {
        ssize_t n = ::write(fd_, p + done, static_cast<std::size_t>(count - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (atomic_) {
                writeError_ = errno;
                fileio::NoteWriteStep(fileio::WriteStep::AfterWrite, fd_, atomic_->TargetPath());
            }
            return done > 0 ? done : -1;
        }
        done += n;
    }
    if (atomic_) fileio::NoteWriteStep(fileio::WriteStep::AfterWrite, fd_, atomic_->TargetPath());
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    if (fd_ < 0) return -1;
    int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    return ::lseek(fd_, offset, whence);
}

int64_t TFileStream::Size() {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
    return st.st_size;
}

void TFileStream::SetSize(int64_t size) {
    if (fd_ < 0 || size < 0 || ::ftruncate(fd_, size) != 0) {
        throw EStreamError("Cannot set the size of file \"" + fileName_ + "\". " +
                           fileio::SystemMessage(fd_ < 0 ? EBADF : size < 0 ? EINVAL : errno));
    }
    Seek(size, soBeginning);
}

// ---------------------------------------------------------------------------
// Text files

namespace textio {

DecodedText Decode(std::string_view bytes, TEncoding requested) {
    DecodedText out;
    static constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (bytes.substr(0, 3) == kBom) {
        out.bom = true;
        bytes.remove_prefix(3);
        requested = TEncoding::UTF8;
    }
    // The one place that decides how a text file is read.
    if (requested == TEncoding::UTF8 && utf8::IsValid(bytes)) {
        out.text.assign(bytes);
        out.encoding = TEncoding::UTF8;
    } else {
        out.text = Cp1252ToUtf8(bytes);
        out.encoding = TEncoding::ANSI;
    }
    return out;
}

std::string Encode(std::string_view text, TEncoding encoding, bool bom) {
    if (encoding == TEncoding::ANSI) return Utf8ToCp1252(text);
    std::string out;
    if (bom) out = "\xEF\xBB\xBF";
    out.append(text);
    return out;
}

}  // namespace textio
