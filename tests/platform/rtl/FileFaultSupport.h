#pragma once
// Ways to make writing a file fail halfway, and to look at what a failure left.
//
// A save path that writes files through the atomic writer is swept like the
// database's: a counting run learns how many writes it makes and how many
// points there are where the program can die between its steps (after each
// write, before and after each rename); then one run fails each write in
// turn with a full disk, and one forked child is killed at each point. Long
// paths sample every Step-th write or point; FAT_FAULT_ALL=1 runs them all.
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/rtl/SafeFile.h"
#include "tests/support/FaultVfs.h"
#include "tests/support/TestSupport.h"

namespace filefaults {

// While alive, no file of this process can grow past `bytes`: a write that
// crosses the limit fails with EFBIG, as it would on a full disk.
class DiskFullAfter {
public:
    explicit DiskFullAfter(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = saved_;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~DiskFullAfter() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    DiskFullAfter(const DiskFullAfter&) = delete;
    DiskFullAfter& operator=(const DiskFullAfter&) = delete;

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = SIG_DFL;
};

// The names in a folder, sorted.
inline std::vector<std::string> Entries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A content large enough to cross a small DiskFullAfter limit.
inline std::string Filler(std::size_t size, char c = 'x') { return std::string(size, c); }

// While alive, watches the atomic writer of this process. Count() counts;
// FailWrite(n) makes the n-th write fail as on a full disk (the file-size
// limit is set at the file's current size for that write alone, so the
// program's other files, its database included, are written normally);
// KillAt(n) kills the process at the n-th point between steps.
class WriteSteps {
public:
    WriteSteps() {
        fileio::SetWriteStepHook([this](fileio::WriteStep s, int fd, const std::string& t) { On(s, fd, t); });
    }
    ~WriteSteps() { fileio::SetWriteStepHook(nullptr); }
    WriteSteps(const WriteSteps&) = delete;
    WriteSteps& operator=(const WriteSteps&) = delete;

    void Count() {
        limit_.reset();
        mode_ = Mode::Count;
        writes_ = stops_ = target_ = 0;
        faulted_.clear();
    }
    void FailWrite(int n) {
        Count();
        mode_ = Mode::Fail;
        target_ = n;
    }
    void KillAt(int n) {
        Count();
        mode_ = Mode::Kill;
        target_ = n;
    }
    void Off() {
        limit_.reset();
        mode_ = Mode::Off;
    }

    int Writes() const { return writes_; }
    int Stops() const { return stops_; }
    // The file whose write was failed; empty when the run never reached it.
    const std::string& Faulted() const { return faulted_; }

private:
    enum class Mode { Off, Count, Fail, Kill };
    void On(fileio::WriteStep step, int fd, const std::string& target) {
        if (mode_ == Mode::Off) return;
        if (step == fileio::WriteStep::BeforeWrite) {
            if (++writes_ == target_ && mode_ == Mode::Fail) {
                faulted_ = target;
                off_t at = ::lseek(fd, 0, SEEK_CUR);
                limit_.emplace(static_cast<rlim_t>(at < 0 ? 0 : at));
            }
            return;
        }
        limit_.reset();
        if (++stops_ == target_ && mode_ == Mode::Kill) ::raise(SIGKILL);
    }
    Mode mode_ = Mode::Off;
    int writes_ = 0;
    int stops_ = 0;
    int target_ = 0;
    std::string faulted_;
    std::optional<DiskFullAfter> limit_;
};

// The temporary files the atomic writer left in a folder.
inline std::vector<std::string> Temporaries(const std::filesystem::path& dir) {
    std::vector<std::string> found;
    for (const std::string& name : Entries(dir))
        if (name.size() > 1 && name[0] == '.' && name.find(".tmp-") != std::string::npos) found.push_back(name);
    return found;
}

// A path that writes files, as a sweep drives it.
struct FileSavePath {
    std::function<void()> Prepare;             // the old files and the program's state, before each run
    std::function<void()> Act;                 // the save; failures go where the program sends them
    std::function<std::string()> Files;        // the content of the files the path writes, as one text
    std::vector<std::filesystem::path> Folders;  // where they are: no temporary file may stay there
    // After a run whose write failed: what the clerk was told.
    std::function<void()> CheckFailure;
    // After the run that follows a kill; Half says that the kill left
    // neither the old files nor the new ones, which without this check is a
    // finding of its own.
    std::function<void(bool Half)> CheckNextRun;
};

struct FileSweepFigures {
    int writes = 0;  // writes of one run
    int stops = 0;   // points between steps of one run
    int failed = 0;  // runs with a write failed
    int kills = 0;   // children killed
};

// The run that learns the path's writes and points, and the files before
// and after it.
inline void CountingRun(WriteSteps& Steps, const FileSavePath& Path, FileSweepFigures& F, std::string& Before,
                        std::string& After) {
    Path.Prepare();
    Before = Path.Files();
    Steps.Count();
    Path.Act();
    Steps.Off();
    F.writes = Steps.Writes();
    F.stops = Steps.Stops();
    After = Path.Files();
    EXPECT_NE(Before, After) << "the counting run must write";
    EXPECT_GT(F.writes, 0);
}

// Counts, then fails each chosen write: the files hold the old content or
// the new one, no temporary file stays, and (CheckFailure) the clerk was told.
inline FileSweepFigures FailEachWrite(WriteSteps& Steps, const FileSavePath& Path, int Step) {
    FileSweepFigures f;
    std::string before, after;
    CountingRun(Steps, Path, f, before, after);
    for (int n : testsupport::FaultPlan(f.writes, Step)) {
        SCOPED_TRACE("write " + std::to_string(n) + " of " + std::to_string(f.writes));
        Path.Prepare();
        Steps.FailWrite(n);
        Path.Act();
        Steps.Off();
        EXPECT_FALSE(Steps.Faulted().empty()) << "the run did not reach the write";
        ++f.failed;
        const std::string now = Path.Files();
        EXPECT_TRUE(now == before || now == after) << "neither the old files nor the new ones after a failed write to "
                                                    << Steps.Faulted() << ":\n" << now;
        for (const auto& dir : Path.Folders) EXPECT_EQ(Temporaries(dir), std::vector<std::string>{}) << dir;
        if (Path.CheckFailure) Path.CheckFailure();
    }
    return f;
}

// Counts, then kills a forked child at each chosen point: the files hold the
// old content or the new one (or CheckNextRun accepts the half), and the
// next run, a day later, writes the new content and leaves no temporary
// file, cleaning up what the killed one left (a leftover is taken for
// abandoned only once unchanged for a day: fileio::ClaimAbandoned).
inline FileSweepFigures KillAtEachStep(WriteSteps& Steps, const FileSavePath& Path, int Step) {
    FileSweepFigures f;
    std::string before, after;
    CountingRun(Steps, Path, f, before, after);
    for (int n : testsupport::FaultPlan(f.stops, Step)) {
        SCOPED_TRACE("killed at point " + std::to_string(n) + " of " + std::to_string(f.stops));
        Path.Prepare();
        bool killed = testsupport::KilledInChild([&] {
            Steps.KillAt(n);
            Path.Act();
        });
        EXPECT_TRUE(killed) << "the child ran to its end";
        f.kills += killed;
        const std::string now = Path.Files();
        bool half = now != before && now != after;
        if (half && !Path.CheckNextRun) ADD_FAILURE() << "neither the old files nor the new ones:\n" << now;
        for (const auto& dir : Path.Folders) testsupport::AgeFolder(dir);
        Path.Act();
        EXPECT_EQ(Path.Files(), after) << "the next run";
        for (const auto& dir : Path.Folders)
            EXPECT_EQ(Temporaries(dir), std::vector<std::string>{}) << "left after the next run in " << dir;
        if (Path.CheckNextRun) Path.CheckNextRun(half);
    }
    return f;
}

// The two sweeps, as the parameter of a test that runs both on one path.
enum class Fault { FailedWrite, Killed };
inline auto BothFaults() { return ::testing::Values(Fault::FailedWrite, Fault::Killed); }
inline std::string FaultName(const ::testing::TestParamInfo<Fault>& p) {
    return p.param == Fault::FailedWrite ? "FailedWrite" : "Killed";
}

// Runs the sweep the parameter names, checking that it ran every planned run.
inline FileSweepFigures Sweep(Fault Kind, const FileSavePath& Path, int Step = 1) {
    WriteSteps steps;
    FileSweepFigures f = Kind == Fault::FailedWrite ? FailEachWrite(steps, Path, Step) : KillAtEachStep(steps, Path, Step);
    if (Kind == Fault::FailedWrite) {
        EXPECT_EQ(f.failed, static_cast<int>(testsupport::FaultPlan(f.writes, Step).size()));
    } else {
        EXPECT_EQ(f.kills, static_cast<int>(testsupport::FaultPlan(f.stops, Step).size()));
    }
    return f;
}

}  // namespace filefaults
