#include "billing/nfe/SendFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "billing/nfe/AnswerFiles.h"
#include "billing/nfe/NFeError.h"
#include "platform/rtl/SafeFile.h"

namespace billing::nfe {

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

namespace {

void CheckFolder(const std::string& folder, const char* what) {
    if (folder.empty())
        throw ENFeError(std::string("A pasta de ") + what + " de NF-e não está configurada.");
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw ENFeError(std::string("A pasta de ") + what + " de NF-e \"" + folder + "\" não existe.");
}

// The longest file name the folder takes (255 bytes on every Linux file system).
constexpr std::size_t kNameMax = 255;

// name + tail cut at its start (at a character's first byte) so the whole
// fits kNameMax.
std::string Fitting(const std::string& name, const std::string& tail) {
    if (name.size() + tail.size() <= kNameMax) return name + tail;
    std::size_t keep = kNameMax > tail.size() ? kNameMax - tail.size() : 0;
    std::size_t from = name.size() - keep;
    while (from < name.size() && (static_cast<unsigned char>(name[from]) & 0xC0) == 0x80) ++from;
    return name.substr(from) + tail;
}

// Tests put a folder on "another file system": a rename into or out of it
// fails as it would there.
std::string& OtherFileSystem() {
    static std::string folder;
    return folder;
}

std::string FolderOf(const std::string& path) {
    return std::filesystem::path(path).parent_path().lexically_normal().string();
}

int RenameNoReplace(const std::string& from, const std::string& to) {
    const std::string& other = OtherFileSystem();
    if (!other.empty() && FolderOf(from) != FolderOf(to) && (FolderOf(from) == other || FolderOf(to) == other))
        return EXDEV;
    return fileio::RenameNoReplace(from, to);
}

std::string BaseName(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// 0 with target set, or the system's error.
int RenameFree(const std::string& from, const std::string& folder, const std::string& name, const std::string& ending,
               std::string& target) {
    for (int n = 0;; ++n) {
        std::string tail = ending + (n == 0 ? std::string() : "." + std::to_string(n));
        target = JoinPath(folder, Fitting(name, tail));
        int err = RenameNoReplace(from, target);
        if (err != EEXIST || n >= 9999) return err;
    }
}

// The file at `path` holds exactly `bytes` (read as an answer is).
bool SameBytes(const std::string& path, const std::string& bytes) {
    try {
        return ReadAnswer(path) == bytes;
    } catch (const Exception&) {
        return false;
    }
}

// Another file system: the file is read as an answer is (never through a
// link, never waiting on a pipe, never more than an answer's size), written
// there under a temporary name, private, and given a free name only when
// complete; the original goes only then, so a failure loses nothing and
// what cannot be read safely stays where it was.
std::string CopyAcross(const std::string& path, const std::string& folder) {
    std::string bytes;
    try {
        bytes = ReadAnswer(path);
    } catch (const Exception& e) {
        throw Exception("O arquivo " + e.Message() + ".");
    }
    std::string name = BaseName(path);
    // The original goes once a copy is in place. Gone already, another
    // program on the same folders finished this move with that very copy.
    auto finish = [&path](const std::string& target) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) throw Exception(fileio::SystemMessagePtBr(errno));
        return target;
    };
    for (int n = 0; n <= 9999; ++n) {
        std::string target = JoinPath(folder, Fitting(name, n == 0 ? std::string() : "." + std::to_string(n)));
        struct stat st {};
        if (::lstat(target.c_str(), &st) == 0) {
            // A copy of these very bytes already there is this file's, made
            // by a move that a kill stopped before the original went, or by
            // another program moving it at the same time: the move only
            // finishes, and one copy stays.
            if (S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) == bytes.size() && SameBytes(target, bytes))
                return finish(target);
            continue;
        }
        fileio::AtomicFile file(target, true);
        file.SetNewFileMode(fileio::PrivateFileMode(target), true);
        file.Write(bytes);
        if (!file.CommitNoReplace()) {
            if (SameBytes(target, bytes)) return finish(target);
            continue;
        }
        if (::unlink(path.c_str()) != 0) {
            int err = errno;
            if (err == ENOENT) return target;
            ::unlink(target.c_str());
            throw Exception(fileio::SystemMessagePtBr(err));
        }
        return target;
    }
    throw Exception(fileio::SystemMessagePtBr(EEXIST));
}

}  // namespace

void SetOtherFileSystemForTests(const std::string& folder) {
    OtherFileSystem() = folder.empty() ? folder : FolderOf(JoinPath(folder, "x"));
}

std::string RenameToFreeName(const std::string& from, const std::string& folder, const std::string& name,
                             const std::string& ending) {
    std::string target;
    int err = RenameFree(from, folder, name, ending, target);
    if (err != 0) throw Exception(fileio::SystemMessage(err));
    return target;
}

std::string MoveToFolder(const std::string& path, const std::string& folder, const char* what) {
    CheckFolder(folder, what);
    std::string target;
    int err = RenameFree(path, folder, BaseName(path), "", target);
    if (err == 0) return target;
    try {
        if (err != EXDEV) throw Exception(fileio::SystemMessage(err));
        target = CopyAcross(path, folder);
    } catch (const Exception& e) {
        throw ENFeError("Não foi possível mover o arquivo \"" + ShownName(path) + "\" para a pasta \"" +
                        ShownName(folder) + "\". " + e.Message());
    }
    return target;
}

std::string WriteToFolder(const std::string& folder, const std::string& name, const std::string& text,
                          const char* what) {
    CheckFolder(folder, what);
    std::string path = JoinPath(folder, name);
    try {
        // The monitor reads files: a pipe or a device at the name is refused, never fed.
        fileio::AtomicFile file(path, true);
        file.Write(text);
        file.Commit();
    } catch (const ENFeError&) {
        throw;
    } catch (const Exception& e) {
        throw ENFeError("Não foi possível gravar o arquivo \"" + path + "\". " + e.Message());
    }
    return path;
}

}  // namespace billing::nfe
