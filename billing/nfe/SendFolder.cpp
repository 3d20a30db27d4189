#include "billing/nfe/SendFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdio>

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

// rename() that fails with EEXIST instead of replacing the target.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the flag: a second link cannot replace either.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    if (::unlink(from.c_str()) != 0) {
        int err = errno;
        ::unlink(to.c_str());
        return err;
    }
    return 0;
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

}  // namespace

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
        // Another file system: copied whole first, so that a failure loses nothing.
        if (err != EXDEV) throw Exception(fileio::SystemMessage(err));
        target = JoinPath(folder, Fitting(BaseName(path), ""));
        for (int n = 1; ::access(target.c_str(), F_OK) == 0; ++n)
            target = JoinPath(folder, Fitting(BaseName(path), "." + std::to_string(n)));
        fileio::WriteFileAtomic(target, fileio::ReadFileBytes(path));
        if (::unlink(path.c_str()) != 0) throw Exception(fileio::SystemMessage(errno));
    } catch (const Exception& e) {
        throw ENFeError("Não foi possível mover o arquivo \"" + path + "\" para a pasta \"" + folder + "\". " +
                        e.Message());
    }
    return target;
}

std::string WriteToFolder(const std::string& folder, const std::string& name, const std::string& text,
                          const char* what) {
    CheckFolder(folder, what);
    std::string path = JoinPath(folder, name);
    try {
        fileio::AtomicFile file(path);
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
