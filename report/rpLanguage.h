#pragma once
// Language texts: every message, caption and hint of the report library is
// a numbered text. rpLanguageText(N) asks the language modules loaded for
// the current language, in the order their base names were added, and takes
// the first non-empty text; when none has it, the program's own table
// answers (Portuguese), and a number no table holds gives an empty text.
//
// A language module is a UTF-8 text file named base name + "." + the
// language's three-letter code ("txPrint.ptb"), one "N=text" line per
// message ("18=Página"). Lines that are not of that form are skipped; a
// malformed byte becomes its code page 1252 character; a text keeps at most
// 1023 characters. A bare base name is looked for beside the program, then
// in the current folder.
//
// One resource manager serves the process; it is made on first use and
// guarded by a lock, and once the library is unregistered it is freed and
// not made again (lookups then use the own table only).
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/Format.h"
#include "report/rpTypes.h"

// The three-letter code of a language ("ptb"), the module file extension.
const char* rpLanguageCode(TrpLanguageType Language);

// The text of message number N.
std::string rpLanguageText(int N);
// Every tag ("<page>", "<pagecount>", ...) turned into "%s".
std::string rpTagsToFormat(const std::string& Text);
// Text N with its tags filled, in the order they stand in the text, by the
// arguments in turn (numbers in decimal). A tag without an argument becomes
// empty; a "%" of the text stays as it is.
std::string rpFormatLanguageText(int N, const std::vector<TVarRec>& Args);
// The same filling on any text.
std::string rpFillTags(const std::string& Text, const std::vector<TVarRec>& Args);

// The program's own table; empty for a number it does not hold.
std::string rpOwnLanguageText(int N);
// The numbers the own table holds.
std::vector<int> rpOwnLanguageNumbers();

namespace report {
// "N=text" lines of a module file, read as the file format says.
std::map<int, std::string> ParseLanguageModule(std::string_view Bytes);
}  // namespace report

class TrpResourceManager {
public:
    TrpResourceManager() = default;
    ~TrpResourceManager() = default;
    TrpResourceManager(const TrpResourceManager&) = delete;
    TrpResourceManager& operator=(const TrpResourceManager&) = delete;

    // Loads the modules for Language. False (language unchanged) when it is
    // not lgDefault and no module of it could be loaded.
    bool SetLanguage(TrpLanguageType Language);
    TrpLanguageType Language() const;
    // A new base name is loaded at once for the current language.
    void AddModule(const std::string& BaseName);
    void RemoveModule(const std::string& BaseName);
    int LoadedCount() const;
    std::vector<std::string> Modules() const;
    std::string Text(int N) const;

private:
    struct Module {
        std::string baseName;
        bool loaded = false;
        std::map<int, std::string> texts;
    };
    void Load(Module& m);
    void Unload(Module& m);

    mutable std::mutex lock_;
    TrpLanguageType language_ = lgDefault;
    std::vector<Module> modules_;
    int loadedCount_ = 0;
    bool loadedMark_ = false;
};

// The process's manager, made on first use; nullptr once the library was
// unregistered.
std::shared_ptr<TrpResourceManager> rpResourceManager();

namespace report {
// Frees the manager for good (called by unregisterAll).
void FinalizeLanguage();
// Lets a manager be made again after FinalizeLanguage (registerAll).
void InitializeLanguage();
}  // namespace report
