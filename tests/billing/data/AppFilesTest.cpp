#include "billing/data/AppFiles.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include <sys/stat.h>

using billing::data::AppFiles;

namespace {

AppFiles::EnvLookup Env(std::map<std::string, std::string> values) {
    return [values](const std::string& name) {
        auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    };
}

AppFiles::WritableCheck Writable(bool yes) {
    return [yes](const std::string&) { return yes; };
}

}  // namespace

TEST(AppFiles, NamesFollowTheExecutable) {
    AppFiles plain("/opt/fat/faturamento", {}, Env({}), Writable(true));
    EXPECT_EQ(plain.IniFileName(), "/opt/fat/faturamento.ini");
    EXPECT_EQ(plain.DatabaseFileName(), "/opt/fat/faturamento.db");
    EXPECT_FALSE(plain.UsesUserFolders());

    AppFiles withExt("/opt/fat/Faturamento.EXE", {}, Env({}), Writable(true));
    EXPECT_EQ(withExt.IniFileName(), "/opt/fat/Faturamento.ini");
    EXPECT_EQ(withExt.DatabaseFileName(), "/opt/fat/Faturamento.db");

    // A dot in a folder name is not an extension.
    AppFiles dottedFolder("/home/a.b/fat", {}, Env({}), Writable(true));
    EXPECT_EQ(dottedFolder.IniFileName(), "/home/a.b/fat.ini");
}

TEST(AppFiles, NeverNamesTheExecutableItself) {
    EXPECT_EQ(AppFiles::WithExtension("/x/prog.ini", ".ini"), "/x/prog.ini.ini");
    EXPECT_EQ(AppFiles::WithExtension("/x/.hidden", ".ini"), "/x/.hidden.ini");
    AppFiles iniNamed("/x/prog.ini", {}, Env({}), Writable(true));
    EXPECT_NE(iniNamed.IniFileName(), iniNamed.ExePath());

    // An argument naming the program is not taken as the INI file.
    testsupport::TempDir dir;
    std::string exe = dir.file("prog");
    testsupport::WriteAll(exe, "\x7f" "ELF");
    AppFiles sameAsExe(exe, {exe}, Env({}), Writable(true));
    EXPECT_EQ(sameAsExe.IniFileName(), exe + ".ini");
}

TEST(AppFiles, FirstArgumentNamesTheIni) {
    AppFiles f("/opt/fat/faturamento", {"/tmp/outro.ini", "ignored"}, Env({}), Writable(true));
    EXPECT_EQ(f.IniFileName(), "/tmp/outro.ini");
    EXPECT_EQ(f.DatabaseFileName(), "/opt/fat/faturamento.db");
}

TEST(AppFiles, ReadOnlyInstallUsesTheUserFolders) {
    AppFiles xdg("/usr/bin/faturamento", {}, Env({{"HOME", "/home/ana"}, {"XDG_CONFIG_HOME", "/cfg"},
                                                  {"XDG_DATA_HOME", "/data"}}),
                 Writable(false));
    EXPECT_TRUE(xdg.UsesUserFolders());
    EXPECT_EQ(xdg.IniFileName(), "/cfg/faturamento/faturamento.ini");
    EXPECT_EQ(xdg.DatabaseFileName(), "/data/faturamento/faturamento.db");

    // Unset or relative XDG variables fall back to the home folders.
    AppFiles home("/usr/bin/fat.bin", {}, Env({{"HOME", "/home/ana"}, {"XDG_CONFIG_HOME", "rel"}}), Writable(false));
    EXPECT_EQ(home.IniFileName(), "/home/ana/.config/fat/fat.ini");
    EXPECT_EQ(home.DatabaseFileName(), "/home/ana/.local/share/fat/fat.db");

    // The argument still wins for the INI.
    AppFiles arg("/usr/bin/faturamento", {"/etc/fat.ini"}, Env({{"HOME", "/h"}}), Writable(false));
    EXPECT_EQ(arg.IniFileName(), "/etc/fat.ini");
    EXPECT_EQ(arg.DatabaseFileName(), "/h/.local/share/faturamento/faturamento.db");
}

TEST(AppFiles, AReadOnlyFolderThatHoldsTheFilesKeepsThem) {
    // Files already beside the program are used where they are: moving to
    // the user's folders would start an empty database there and hide them.
    for (const char* present : {"faturamento.ini", "faturamento.db"}) {
        testsupport::TempDir dir;
        testsupport::WriteAll(dir.file(present), "");
        AppFiles f(dir.file("faturamento"), {}, Env({{"HOME", "/home/ana"}}), Writable(false));
        EXPECT_FALSE(f.UsesUserFolders()) << present;
        EXPECT_EQ(f.IniFileName(), dir.file("faturamento.ini"));
        EXPECT_EQ(f.DatabaseFileName(), dir.file("faturamento.db"));
    }
    // Neither there: the user's folders.
    testsupport::TempDir empty;
    AppFiles f(empty.file("faturamento"), {}, Env({{"HOME", "/home/ana"}}), Writable(false));
    EXPECT_TRUE(f.UsesUserFolders());
    EXPECT_EQ(f.DatabaseFileName(), "/home/ana/.local/share/faturamento/faturamento.db");
}

TEST(AppFiles, EnsureFoldersCreatesMissingUserFolders) {
    testsupport::TempDir dir;
    std::string home = dir.path().string();
    AppFiles f("/usr/bin/faturamento", {}, Env({{"HOME", home}}), Writable(false));
    f.EnsureFolders();
    EXPECT_TRUE(std::filesystem::is_directory(home + "/.config/faturamento"));
    EXPECT_TRUE(std::filesystem::is_directory(home + "/.local/share/faturamento"));
}

// The folders made for the INI file and the database follow the database's
// own rule whatever the umask: the owner's alone, or the group's under a
// set-group-ID folder (a shared home for a group of clerks).
TEST(AppFiles, MadeFoldersArePrivateOrTheGroupsUnderASetGroupIdFolder) {
    mode_t old = ::umask(022);
    for (unsigned homeMode : {0755u, 02775u}) {
        SCOPED_TRACE(homeMode);
        testsupport::TempDir dir;
        std::string home = dir.path().string();
        ASSERT_EQ(::chmod(home.c_str(), homeMode), 0);
        AppFiles f("/usr/bin/faturamento", {}, Env({{"HOME", home}}), Writable(false));
        f.EnsureFolders();
        for (const char* made : {"/.config", "/.config/faturamento", "/.local", "/.local/share/faturamento"}) {
            struct stat st {};
            ASSERT_EQ(::stat((home + made).c_str(), &st), 0) << made;
            EXPECT_EQ(st.st_mode & 07777, homeMode == 02775u ? 02770u : 0700u) << made;
        }
    }
    ::umask(old);
}
