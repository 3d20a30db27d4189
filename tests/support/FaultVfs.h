#pragma once
// A SQLite VFS for tests that fails one chosen write. While a FaultVfs lives
// it is the engine's default VFS, so every connection the code under test
// opens goes through it without knowing; at destruction the previous default
// is back.
//
// It wraps the default VFS and counts the operations that change a file:
// xWrite, xSync and xTruncate, on the database, its journal and anything else
// the engine writes. A run is one of:
//   Count()          counts and passes everything through; Operations() tells
//                    how many a path makes, to plan the faulty runs;
//   Fail(n, code)    the n-th operation (1-based) returns code (SQLITE_IOERR_*
//                    or SQLITE_FULL) without touching the file; the others
//                    pass, so the engine may recover as it would on a real
//                    transient fault;
//   KillAfter(n)     the n-th operation runs and then the process is killed
//                    (SIGKILL): what it wrote is in the file, nothing after
//                    it is; meant for a forked child (see RunKilled);
//   Off()            passes everything, counts nothing.
// Faulted() tells whether the chosen operation was reached.
#include <functional>
#include <string>
#include <vector>

struct sqlite3_vfs;

namespace testsupport {

class FaultVfs {
public:
    FaultVfs();
    ~FaultVfs();
    FaultVfs(const FaultVfs&) = delete;
    FaultVfs& operator=(const FaultVfs&) = delete;

    void Count();
    void Fail(int operation, int code);
    void KillAfter(int operation);
    void Off();

    int Operations() const { return count_; }
    bool Faulted() const { return faulted_; }
    // "write", "sync" or "truncate" and the file name of the failed operation.
    const std::string& FaultedOperation() const { return faultedWhat_; }

    // Called by the wrapped files: the code to return instead of running the
    // operation, or 0 to run it.
    int Next(const char* what, const char* file);
    // Called after an operation ran.
    void Done();

private:
    enum class Mode { Off, Count, Fail, Kill };
    Mode mode_ = Mode::Off;
    int count_ = 0;
    int target_ = 0;
    int code_ = 0;
    bool faulted_ = false;
    std::string faultedWhat_;
    sqlite3_vfs* real_ = nullptr;
    sqlite3_vfs* vfs_ = nullptr;
};

// The operations to fail on a path that makes Total of them: every one, or
// every Step-th (always the first and the last) so that long paths stay
// inside the suite's time. FAT_FAULT_ALL=1 in the environment runs every one;
// FAT_FAULT_FIGURES=1 prints each plan's size on the error output.
std::vector<int> FaultPlan(int Total, int Step);

// Runs Work in a forked child whose process is killed right after the
// Operation-th write, sync or truncate; returns true when the child died
// that way, false when it ran to its end first. Work must not touch
// anything the parent's other threads hold (no window system).
bool RunKilled(FaultVfs& Vfs, int Operation, const std::function<void()>& Work);

// "IoError" or "DiskFull", for the names of parametrised tests.
std::string FaultCodeName(int Code);

}  // namespace testsupport
