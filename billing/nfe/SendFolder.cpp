#include "billing/nfe/SendFolder.h"

#include <sys/stat.h>

#include "billing/nfe/NFeError.h"
#include "platform/rtl/SafeFile.h"

namespace billing::nfe {

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string WriteToFolder(const std::string& folder, const std::string& name, const std::string& text,
                          const char* what) {
    if (folder.empty())
        throw ENFeError(std::string("A pasta de ") + what + " de NF-e não está configurada.");
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw ENFeError(std::string("A pasta de ") + what + " de NF-e \"" + folder + "\" não existe.");
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
