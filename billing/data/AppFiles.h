#pragma once
// Where the program keeps its INI file and its database.
//
// Both are named after the executable: its extension replaced, or one
// appended when it has none ("faturamento" -> "faturamento.ini",
// "faturamento.db"). When the executable's folder cannot be written (a
// system-wide install) and holds neither of them, they go to the user's
// configuration and data folders instead ($XDG_CONFIG_HOME or ~/.config,
// $XDG_DATA_HOME or ~/.local/share, each with a folder named after the
// program). Files already beside the program are always used there. A first
// command-line argument names the INI file. Neither name is ever the
// executable itself.
#include <functional>
#include <string>
#include <vector>

namespace billing::data {

class AppFiles {
public:
    using EnvLookup = std::function<std::string(const std::string& name)>;
    using WritableCheck = std::function<bool(const std::string& folder)>;

    // exePath: the running program's full path. args: the command-line
    // arguments after the program name. getEnv and isWritable default to the
    // process environment and the file system's own answer.
    AppFiles(std::string exePath, std::vector<std::string> args, EnvLookup getEnv = {},
             WritableCheck isWritable = {});

    // The running program's path, as /proc/self/exe gives it.
    static std::string CurrentExecutable();

    const std::string& ExePath() const { return exePath_; }
    const std::string& IniFileName() const { return iniFile_; }
    const std::string& DatabaseFileName() const { return databaseFile_; }
    // True when the names went to the user's folders.
    bool UsesUserFolders() const { return userFolders_; }

    // Creates the folders the INI file and the database live in (the user's
    // folders do not exist on a fresh account).
    void EnsureFolders() const;

    static constexpr const char* kIniExtension = ".ini";
    static constexpr const char* kDatabaseExtension = ".db";

    // path with its extension replaced by ext, or ext appended when the file
    // name has none; never returns path itself (a file already named with
    // ext gets ext appended once more).
    static std::string WithExtension(const std::string& path, const std::string& ext);

private:
    std::string exePath_;
    std::string iniFile_;
    std::string databaseFile_;
    bool userFolders_ = false;
};

}  // namespace billing::data
