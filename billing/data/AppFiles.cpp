#include "billing/data/AppFiles.h"

#include "platform/rtl/SafeFile.h"
#include "platform/rtl/SysUtils.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace billing::data {

namespace {

// Same file or same path: the INI must never be written over the program.
bool SameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

}  // namespace

std::string AppFiles::WithExtension(const std::string& path, const std::string& ext) {
    std::size_t slash = path.find_last_of('/');
    std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.find_last_of('.');
    // A leading dot names a hidden file, not an extension.
    bool hasExt = dot != std::string::npos && dot > nameStart;
    std::string result = hasExt ? path.substr(0, dot) + ext : path + ext;
    if (result == path) result = path + ext;
    return result;
}

std::string AppFiles::CurrentExecutable() {
    std::error_code ec;
    fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

AppFiles::AppFiles(std::string exePath, std::vector<std::string> args, EnvLookup getEnv, WritableCheck isWritable)
    : exePath_(std::move(exePath)) {
    if (!getEnv) {
        getEnv = [](const std::string& name) {
            const char* v = std::getenv(name.c_str());
            return std::string(v ? v : "");
        };
    }
    if (!isWritable) {
        isWritable = [](const std::string& folder) { return ::access(folder.c_str(), W_OK) == 0; };
    }

    fs::path exe(exePath_);
    std::string folder = exe.has_parent_path() ? exe.parent_path().string() : std::string(".");
    iniFile_ = WithExtension(exePath_, kIniExtension);
    databaseFile_ = WithExtension(exePath_, kDatabaseExtension);
    // Files already beside the program stay in use even when the folder
    // cannot be written: starting over in the user's folders would show an
    // empty database in place of the one there.
    std::error_code ec;
    bool present = fs::exists(iniFile_, ec) || fs::exists(databaseFile_, ec);
    if (!present && !isWritable(folder)) {
        userFolders_ = true;
        std::string program = WithExtension(exe.filename().string(), "");
        if (program.empty()) program = "faturamento";
        std::string home = getEnv("HOME");
        std::string config = getEnv("XDG_CONFIG_HOME");
        std::string data = getEnv("XDG_DATA_HOME");
        // Relative values are invalid by the XDG rules and are ignored.
        if (config.empty() || config[0] != '/') config = home + "/.config";
        if (data.empty() || data[0] != '/') data = home + "/.local/share";
        std::string base = exe.filename().string();
        iniFile_ = WithExtension(config + "/" + program + "/" + base, kIniExtension);
        databaseFile_ = WithExtension(data + "/" + program + "/" + base, kDatabaseExtension);
    }
    if (!args.empty() && !args[0].empty() && !SameFile(args[0], exePath_)) iniFile_ = args[0];
}

void AppFiles::EnsureFolders() const {
    for (const std::string& file : {iniFile_, databaseFile_}) {
        fs::path parent = fs::path(file).parent_path();
        if (parent.empty()) continue;
        // Made as the database's own file is: private, or the group's in a
        // set-group-ID folder.
        if (int err = fileio::MakeFolders(parent.string()); err != 0)
            throw EOSError("Não foi possível criar a pasta \"" + parent.string() + "\": " +
                           fileio::SystemMessagePtBr(err));
    }
}

}  // namespace billing::data
