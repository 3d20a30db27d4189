#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "billing/nfe/Monitor.h"
#include "billing/nfe/NFeWriter.h"
#include "platform/rtl/Strings.h"
#include "tests/billing/nfe/Samples.h"
#include "tests/support/TestSupport.h"

using namespace billing::nfe;

namespace {

struct Shown {
    std::string text;
    std::string caption;
};

// A stand-in for the monitor: a script that records its process id in its
// folder and runs until it is told to stop.
class StandIn {
public:
    explicit StandIn(const std::string& body = "while :; do sleep 1; done") {
        static int counter = 0;
        name_ = "standin-monitor-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
        path_ = dir_.file(name_);
        testsupport::WriteAll(path_, "#!/bin/sh\necho $$ > standin.pid\n" + body + "\n");
        chmod(path_.c_str(), 0755);
    }
    ~StandIn() { Stop(); }

    void Stop() {
        pid_t pid = Pid();
        if (pid > 0) kill(pid, SIGTERM);
        for (int i = 0; i < 100 && IsProgramRunning(path_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_t Pid() const {
        std::string text = testsupport::ReadAll(dir_.file("standin.pid"));
        return text.empty() ? 0 : static_cast<pid_t>(std::stol(text));
    }
    const std::string& Path() const { return path_; }
    const testsupport::TempDir& Dir() const { return dir_; }

private:
    testsupport::TempDir dir_;
    std::string name_;
    std::string path_;
};

NFeConfig Config(const std::string& monitor, std::vector<Shown>& shown) {
    NFeConfig c;
    c.programs.monitor = monitor;
    c.programs.start_timeout_ms = 5000;
    c.notify = [&shown](const std::string& text, const std::string& caption) { shown.push_back({text, caption}); };
    return c;
}

}  // namespace

TEST(MonitorPresence, NotInstalledTellsTheUser) {
    testsupport::TempDir dir;
    std::vector<Shown> shown;
    EXPECT_FALSE(Verifica_Monitor_NFE(Config(dir.file("nothing-here"), shown)));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, MsgMonitorNaoInstalado);
    EXPECT_EQ(shown[0].caption, "Atenção");

    // A file that cannot be run is no monitor either.
    testsupport::WriteAll(dir.file("plain"), "#!/bin/sh\n");
    shown.clear();
    EXPECT_FALSE(Verifica_Monitor_NFE(Config(dir.file("plain"), shown)));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, MsgMonitorNaoInstalado);
}

TEST(MonitorPresence, InstalledMonitorIsStartedOnceAndFound) {
    StandIn monitor;
    std::vector<Shown> shown;
    NFeConfig config = Config(monitor.Path(), shown);
    EXPECT_FALSE(IsProgramRunning(monitor.Path()));

    EXPECT_TRUE(Verifica_Monitor_NFE(config));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, MsgMonitorAtivado);
    EXPECT_EQ(shown[0].caption, "Correção Falha");
    EXPECT_TRUE(IsProgramRunning(monitor.Path()));
    // Started in its own folder.
    for (int i = 0; i < 100 && monitor.Pid() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    pid_t first = monitor.Pid();
    EXPECT_GT(first, 0);

    // Running already: nothing shown, nothing started.
    EXPECT_TRUE(Verifica_Monitor_NFE(config));
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(monitor.Pid(), first);

    monitor.Stop();
    EXPECT_FALSE(IsProgramRunning(monitor.Path()));
}

TEST(MonitorPresence, StartThatNeverRunsDoesNotHang) {
    StandIn monitor("exit 0");
    std::vector<Shown> shown;
    NFeConfig config = Config(monitor.Path(), shown);
    config.programs.start_timeout_ms = 300;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(Verifica_Monitor_NFE(config));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, MsgMonitorNaoIniciou);
}

TEST(MonitorPresence, ProcessLookupByProgramName) {
    char self[4096] = {};
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    EXPECT_TRUE(IsProgramRunning(self));
    EXPECT_TRUE(IsProgramRunning(std::filesystem::path(self).filename().string()));
    EXPECT_FALSE(IsProgramRunning("no-such-program-anywhere-4711"));
    EXPECT_FALSE(IsProgramRunning(""));
}

TEST(MonitorPresence, StartingAMissingProgramFails) {
    std::string error;
    EXPECT_FALSE(StartProgram("/nonexistent/program", {}, "/", &error));
    EXPECT_FALSE(error.empty());
}

TEST(MonitorPresence, WriterGoesOnWithoutTheMonitor) {
    testsupport::TempDir dir;
    std::vector<Shown> shown;
    NFeConfig config = Config(dir.file("missing-monitor"), shown);
    config.pasta_nfe_envio = dir.path().string();
    std::string path = Transmitir_NFE(config, nfetest::SampleDocument());
    EXPECT_TRUE(std::filesystem::exists(path));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, MsgMonitorNaoInstalado);
}

// A monitor that takes its time to show up (a launcher handing over to the
// real program, as installed monitors often are) is started once: the check
// returns without waiting for it and without starting it again.
TEST(MonitorPresence, AStartUnderWayIsNeitherWaitedForNorRepeated) {
    testsupport::TempDir dir;
    std::string launcher = dir.file("lancador-" + std::to_string(getpid()));
    testsupport::WriteAll(launcher, "#!/bin/sh\necho $$ >> " + dir.file("starts") + "\nexec sleep 30\n");
    chmod(launcher.c_str(), 0755);
    std::vector<Shown> shown;
    NFeConfig config = Config(launcher, shown);
    config.programs.start_grace_ms = 0;
    Verifica_Monitor_NFE(config);
    Verifica_Monitor_NFE(config);
    std::string starts;
    for (int i = 0; i < 100 && starts.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        starts = testsupport::ReadAll(dir.file("starts"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    starts = testsupport::ReadAll(dir.file("starts"));
    std::vector<pid_t> pids;
    for (std::size_t at = 0, end; (end = starts.find('\n', at)) != std::string::npos; at = end + 1)
        pids.push_back(static_cast<pid_t>(std::stol(starts.substr(at, end - at))));
    for (pid_t pid : pids) kill(pid, SIGTERM);
    EXPECT_EQ(pids.size(), 1u) << "started once";
    for (const Shown& s : shown) EXPECT_NE(s.text, MsgMonitorNaoIniciou) << "a start under way is no failure";
}
