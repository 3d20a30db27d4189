#include "billing/nfe/SendFolder.h"

#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

std::string MoveToFolder(const std::string& path, const std::string& folder, const char* what) {
    CheckFolder(folder, what);
    std::size_t slash = path.find_last_of('/');
    std::string target = JoinPath(folder, slash == std::string::npos ? path : path.substr(slash + 1));
    if (::rename(path.c_str(), target.c_str()) == 0) return target;
    int err = errno;
    try {
        // Another file system: copied whole first, so that a failure loses nothing.
        if (err != EXDEV) throw Exception(fileio::SystemMessage(err));
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
