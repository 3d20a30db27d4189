#include "billing/nfe/AnswerFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "billing/nfe/NFeError.h"
#include "billing/nfe/SendFolder.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"

namespace billing::nfe {

namespace {

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Renames `path` where it lies to its name + ending (or a free name that
// fits); "" when done, else the system's reason. `renamed` gets the new path.
std::string RenameInPlace(const std::string& path, const std::string& ending, std::string* renamed = nullptr) {
    try {
        std::string target = RenameToFreeName(path, FolderOf(path), ExtractFileName(path), ending);
        if (renamed != nullptr) *renamed = target;
        return {};
    } catch (const Exception& e) {
        return e.Message();
    }
}

}  // namespace

bool AnswerGone(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

std::string MoveHandled(const std::string& path, const NFeConfig& config) {
    try {
        MoveToFolder(path, config.pasta_nfe_erro, "erro");
        return {};
    } catch (const ENFeError& e) {
        // Out of the return folder is all this move is for.
        if (AnswerGone(path)) return {};
        std::string renamed;
        std::string why = RenameInPlace(path, ".handled", &renamed);
        if (why.empty())
            return e.Message() + " O arquivo foi renomeado para \"" + ShownName(ExtractFileName(renamed)) + "\".";
        return e.Message() + " Também não foi possível renomeá-lo (" + why + ").";
    }
}

std::string MoveInvalid(const std::string& path, const NFeConfig& config) {
    // Renamed first: from then on no look at the folder takes it for an answer.
    std::string invalid;
    if (!RenameInPlace(path, ".invalid", &invalid).empty()) return path;
    try {
        return MoveToFolder(invalid, config.pasta_nfe_erro, "erro");
    } catch (const ENFeError&) {
        return invalid;
    }
}

std::string ReadAnswer(const std::string& path, struct stat* opened) {
    // No link is followed at the name and nothing waits on a pipe or a
    // device: only what is plainly a small file is read.
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        if (err == ELOOP) throw Exception("é um atalho, não um arquivo");
        throw Exception(fileio::SystemMessage(err));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw Exception(fileio::SystemMessage(errno));
    if (!S_ISREG(st.st_mode)) throw Exception("não é um arquivo comum");
    if (opened != nullptr) *opened = st;
    auto tooLarge = [] {
        return Exception("tem mais de " + std::to_string(kAnswerSizeLimit / 1024) + " KB, mais do que uma resposta");
    };
    if (static_cast<std::uint64_t>(st.st_size) > kAnswerSizeLimit) throw tooLarge();
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw Exception(fileio::SystemMessage(errno));
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        // It may be growing while read.
        if (bytes.size() > kAnswerSizeLimit) throw tooLarge();
    }
    return bytes;
}

namespace {

// Characters that move or reorder what follows them on screen, or that are
// not seen at all: line and paragraph separators, NEL and the other C1
// controls, the direction marks, overrides and isolates (which can make a
// name read backwards), and the format characters, joiners, fillers and
// selectors that show nothing, so that two names that look alike differ
// visibly where they differ.
bool MovesText(char32_t c) {
    struct Range {
        char32_t from, to;
    };
    static constexpr Range kHidden[] = {
        {0x0080, 0x009F}, {0x00AD, 0x00AD}, {0x034F, 0x034F}, {0x0600, 0x0605}, {0x061C, 0x061C},
        {0x06DD, 0x06DD}, {0x070F, 0x070F}, {0x08E2, 0x08E2}, {0x115F, 0x1160}, {0x17B4, 0x17B5},
        {0x180B, 0x180F}, {0x200B, 0x200F}, {0x2028, 0x202E}, {0x2060, 0x206F}, {0x3164, 0x3164},
        {0xFE00, 0xFE0F}, {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0}, {0xFFF9, 0xFFFB}, {0x110BD, 0x110BD},
        {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
    };
    for (const Range& r : kHidden)
        if (c >= r.from && c <= r.to) return true;
    return false;
}

}  // namespace

std::string ShownName(const std::string& name) {
    static const char* const kHex = "0123456789ABCDEF";
    const std::string text = utf8::Repair(name);
    std::string out;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t start = pos;
        const char32_t cp = utf8::Next(text, pos);
        if (cp >= 0x80) {
            if (MovesText(cp)) {
                out += "\\u";
                // Four digits, or as many as a code point beyond them takes.
                for (int shift = cp > 0xFFFF ? 16 : 12; shift >= 0; shift -= 4) out += kHex[(cp >> shift) & 15];
            } else {
                out.append(text, start, pos - start);
            }
            continue;
        }
        const auto c = static_cast<unsigned char>(cp);
        if (c >= 0x20 && c != 0x7F) {
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (end < text.size() || !line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string JoinedLines(const std::string& bytes) {
    std::string out;
    for (const std::string& line : SplitLines(utf8::Repair(bytes))) out += line;
    return out;
}

}  // namespace billing::nfe
