// The system's printer list, read from the print service's "lpstat -e" with
// a stand-in lpstat put first on PATH, and the provider a test installs.
#include "platform/os/Printers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// PATH holds only the stand-in's folder (and, when Keep, the usual ones
// after it) for the life of the object.
class PathWith {
public:
    PathWith(const std::string& Folder, bool Keep) {
        const char* old = std::getenv("PATH");
        saved_ = old != nullptr ? old : "";
        std::string value = Folder;
        if (Keep && !saved_.empty()) value += ":" + saved_;
        setenv("PATH", value.c_str(), 1);
    }
    ~PathWith() { setenv("PATH", saved_.c_str(), 1); }

private:
    std::string saved_;
};

void StandIn(const testsupport::TempDir& Dir, const std::string& Script) {
    std::string path = Dir.file("lpstat");
    testsupport::WriteAll(path, "#!/bin/sh\n" + Script);
    fs::permissions(path, fs::perms::owner_all);
}

}  // namespace

TEST(SystemPrinters, TheQueuesLpstatListsComeBackInItsOrder) {
    testsupport::TempDir dir;
    // Answers only the option that lists the queue names.
    StandIn(dir, "[ \"$1\" = \"-e\" ] || exit 2\nprintf 'Laser_Financeiro\\nPDF\\r\\n\\nMatricial-LPT \\n'\n");
    PathWith path(dir.path().string(), true);
    os::SystemPrinters system;
    EXPECT_EQ(system.Printers(), (std::vector<std::string>{"Laser_Financeiro", "PDF", "Matricial-LPT"}));
}

TEST(SystemPrinters, NoPrintServiceMeansNoPrinters) {
    testsupport::TempDir dir;
    {
        // lpstat present, the service down: it complains and fails.
        StandIn(dir, "echo 'lpstat: Bad file descriptor' >&2\necho partial\nexit 1\n");
        PathWith path(dir.path().string(), true);
        EXPECT_TRUE(os::SystemPrinters().Printers().empty());
    }
    {
        testsupport::TempDir empty;
        PathWith path(empty.path().string(), false);  // no lpstat anywhere
        EXPECT_TRUE(os::SystemPrinters().Printers().empty());
    }
}

TEST(SystemPrinters, AServiceThatNeverAnswersIsGivenUpOn) {
    testsupport::TempDir dir;
    StandIn(dir, "echo Laser\nexec sleep 30\n");
    PathWith path(dir.path().string(), true);
    os::SystemPrinters system(100);
    EXPECT_TRUE(system.Printers().empty());
}

TEST(ReadProgramOutput, GivesTheWholeOutputAndTheExitStatus) {
    std::string out;
    std::string big(100000, 'x');
    ASSERT_TRUE(os::ReadProgramOutput("sh", {"-c", "printf '%s' \"$1\"; echo erro >&2", "sh", big}, out, 10000));
    EXPECT_EQ(out, big);  // more than one pipe's worth, stderr kept out
    EXPECT_FALSE(os::ReadProgramOutput("sh", {"-c", "exit 3"}, out, 10000));
    EXPECT_FALSE(os::ReadProgramOutput("/no/such/program", {}, out, 10000));
}

TEST(PrinterProvider, AnInstalledProviderIsTheOneInUseUntilRemoved) {
    struct Fake : os::PrinterProvider {
        std::vector<std::string> Printers() override { return {"A", "B"}; }
    } fake;
    os::PrinterProvider* before = os::SetPrinterProvider(&fake);
    EXPECT_EQ(before, nullptr);
    EXPECT_EQ(os::Printers().Printers(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(os::SetPrinterProvider(nullptr), &fake);
    EXPECT_NE(&os::Printers(), static_cast<os::PrinterProvider*>(&fake));
}
