#include "platform/os/Process.h"

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
    EXPECT_FALSE(os::StartProgram("no-such-program-anywhere-4711", {}, {}, &error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(os::StartProgram("sh", {"-c", "true"}, dir.file("no-such-folder"), &error));
    EXPECT_FALSE(error.empty());
}
