#include "platform/os/Process.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/TestSupport.h"

namespace {

// The started program runs on its own; wait (bounded) for what it leaves behind.
std::string WaitForFile(const std::string& path, const std::string& untilContains) {
    for (int i = 0; i < 200; ++i) {
        std::string text = testsupport::ReadAll(path);
        if (text.find(untilContains) != std::string::npos) return text;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return testsupport::ReadAll(path);
}

}  // namespace

TEST(StartProgram, BareNameIsFoundOnPathAndRunsInTheFolderWithItsArguments) {
    testsupport::TempDir dir;
    std::string error;
    // The browser and the calculator are started by bare name, like this shell.
    ASSERT_TRUE(os::StartProgram("sh", {"-c", "{ pwd; echo \"$1\"; echo fim; } > saida.txt", "sh", "ação & 'x'"},
                                 dir.path().string(), &error))
        << error;
    std::string text = WaitForFile(dir.file("saida.txt"), "fim");
    EXPECT_EQ(text, std::filesystem::canonical(dir.path()).string() + "\nação & 'x'\nfim\n");
}

TEST(StartProgram, MissingProgramOrFolderIsReportedNotStarted) {
    testsupport::TempDir dir;
    std::string error;
    // Said in the user's language, not the system's "No such file or directory".
    EXPECT_FALSE(os::StartProgram("no-such-program-anywhere-4711", {}, {}, &error));
    EXPECT_EQ(error, "O programa \"no-such-program-anywhere-4711\" não foi encontrado neste computador.");
    error.clear();
    EXPECT_FALSE(os::StartProgram("sh", {"-c", "true"}, dir.file("no-such-folder"), &error));
    EXPECT_EQ(error, "Não foi possível entrar na pasta \"" + dir.file("no-such-folder") +
                         "\" para iniciar o programa \"sh\": arquivo ou pasta inexistente.");
    error.clear();
    std::string plain = dir.file("texto.txt");
    testsupport::WriteAll(plain, "nada");
    EXPECT_FALSE(os::StartProgram(plain, {}, {}, &error));
    if (::geteuid() != 0) {
        EXPECT_EQ(error, "O programa \"" + plain + "\" não tem permissão para ser executado.");
    } else {
        EXPECT_FALSE(error.empty());  // the superuser may run it, and the kernel refuses the format
    }
}

TEST(StartProgram, AProgramIsFoundOnThePathOrNotAtAll) {
    testsupport::TempDir dir;
    std::string tool = dir.file("ferramenta");
    testsupport::WriteAll(tool, "#!/bin/sh\n");
    ::chmod(tool.c_str(), 0755);
    testsupport::WriteAll(dir.file("dados"), "x");
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", ("/nonexistent:" + dir.path().string()).c_str(), 1);
    EXPECT_EQ(os::FindProgram("ferramenta"), tool);
    EXPECT_EQ(os::FindProgram("dados"), "") << "not executable";
    EXPECT_EQ(os::FindProgram("no-such-program-anywhere-4711"), "");
    ::setenv("PATH", oldPath.c_str(), 1);
    EXPECT_EQ(os::FindProgram(tool), tool);
    EXPECT_EQ(os::FindProgram(""), "");
}

// The NF-e monitor and its DANFE printer may be named by a bare name in the
// settings, as a shell would find them.
TEST(FindProgram, BareNameIsTheFirstExecutableOnPathAndAPathIsTakenAsItIs) {
    testsupport::TempDir dir;
    std::filesystem::create_directory(dir.path() / "a");
    std::filesystem::create_directory(dir.path() / "b");
    std::filesystem::create_directory(dir.path() / "c");
    testsupport::WriteAll(dir.file("a/monitor"), "not a program");  // not executable: skipped
    testsupport::WriteAll(dir.file("b/monitor"), "#!/bin/sh\n");
    testsupport::WriteAll(dir.file("c/monitor"), "#!/bin/sh\n");
    std::filesystem::permissions(dir.path() / "b/monitor", std::filesystem::perms::owner_all);
    std::filesystem::permissions(dir.path() / "c/monitor", std::filesystem::perms::owner_all);
    std::filesystem::create_directory(dir.path() / "a/folder");  // a folder is no program

    const char* old = getenv("PATH");
    std::string saved = old ? old : "";
    setenv("PATH", (dir.file("a") + ":" + dir.file("b") + ":" + dir.file("c")).c_str(), 1);
    std::string found = os::FindProgram("monitor");
    std::string missing = os::FindProgram("no-such-program-4711");
    std::string folder = os::FindProgram("folder");
    setenv("PATH", saved.c_str(), 1);

    EXPECT_EQ(found, dir.file("b") + "/monitor");
    EXPECT_EQ(missing, "");
    EXPECT_EQ(folder, "");
    EXPECT_EQ(os::FindProgram(dir.file("c/monitor")), dir.file("c/monitor"));
    EXPECT_EQ(os::FindProgram(dir.file("a/monitor")), "");
    EXPECT_EQ(os::FindProgram(""), "");
}
