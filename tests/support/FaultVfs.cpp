#include "tests/support/FaultVfs.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace testsupport {
namespace {

FaultVfs* active = nullptr;
sqlite3_vfs* realVfs = nullptr;

// Our handle first, the real VFS's handle right behind it.
struct FaultFile {
    sqlite3_file base;
    const char* name;
    sqlite3_file* real;
};

sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<FaultFile*>(f)->real; }

int Gate(sqlite3_file* f, const char* what) {
    if (active == nullptr) return SQLITE_OK;
    const char* name = reinterpret_cast<FaultFile*>(f)->name;
    return active->Next(what, name ? name : "");
}

int xClose(sqlite3_file* f) {
    sqlite3_file* r = Real(f);
    return r->pMethods ? r->pMethods->xClose(r) : SQLITE_OK;
}
int xRead(sqlite3_file* f, void* buf, int n, sqlite3_int64 off) {
    return Real(f)->pMethods->xRead(Real(f), buf, n, off);
}
void After() {
    if (active != nullptr) active->Done();
}
int xWrite(sqlite3_file* f, const void* buf, int n, sqlite3_int64 off) {
    if (int rc = Gate(f, "write")) return rc;
    int rc = Real(f)->pMethods->xWrite(Real(f), buf, n, off);
    After();
    return rc;
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
    if (int rc = Gate(f, "truncate")) return rc;
    int rc = Real(f)->pMethods->xTruncate(Real(f), size);
    After();
    return rc;
}
int xSync(sqlite3_file* f, int flags) {
    if (int rc = Gate(f, "sync")) return rc;
    int rc = Real(f)->pMethods->xSync(Real(f), flags);
    After();
    return rc;
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size) { return Real(f)->pMethods->xFileSize(Real(f), size); }
int xLock(sqlite3_file* f, int lock) { return Real(f)->pMethods->xLock(Real(f), lock); }
int xUnlock(sqlite3_file* f, int lock) { return Real(f)->pMethods->xUnlock(Real(f), lock); }
int xCheckReservedLock(sqlite3_file* f, int* out) { return Real(f)->pMethods->xCheckReservedLock(Real(f), out); }
int xFileControl(sqlite3_file* f, int op, void* arg) { return Real(f)->pMethods->xFileControl(Real(f), op, arg); }
int xSectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int xDeviceCharacteristics(sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); }
int xShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    if (Real(f)->pMethods->iVersion < 2) return SQLITE_IOERR;
    return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
}
int xShmLock(sqlite3_file* f, int offset, int n, int flags) {
    if (Real(f)->pMethods->iVersion < 2) return SQLITE_IOERR;
    return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void xShmBarrier(sqlite3_file* f) {
    if (Real(f)->pMethods->iVersion >= 2) Real(f)->pMethods->xShmBarrier(Real(f));
}
int xShmUnmap(sqlite3_file* f, int deleteFlag) {
    if (Real(f)->pMethods->iVersion < 2) return SQLITE_OK;
    return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag);
}
// Pages are never handed out mapped: every change then goes through xWrite,
// where it is counted.
int xFetch(sqlite3_file*, sqlite3_int64, int, void** out) {
    *out = nullptr;
    return SQLITE_OK;
}
int xUnfetch(sqlite3_file*, sqlite3_int64, void*) { return SQLITE_OK; }

const sqlite3_io_methods kMethods = {
    3,         xClose,      xRead,       xWrite,    xTruncate,  xSync,    xFileSize,
    xLock,     xUnlock,     xCheckReservedLock,     xFileControl,         xSectorSize,
    xDeviceCharacteristics, xShmMap,     xShmLock,  xShmBarrier, xShmUnmap, xFetch,
    xUnfetch,
};

constexpr int kHeader = (sizeof(FaultFile) + 7) & ~7;

int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    auto* ff = reinterpret_cast<FaultFile*>(f);
    ff->name = name;
    ff->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(f) + kHeader);
    ff->real->pMethods = nullptr;
    int rc = realVfs->xOpen(realVfs, name, ff->real, flags, outFlags);
    ff->base.pMethods = ff->real->pMethods ? &kMethods : nullptr;
    return rc;
}

}  // namespace

FaultVfs::FaultVfs() {
    if (active != nullptr) throw std::logic_error("only one FaultVfs at a time");
    real_ = sqlite3_vfs_find(nullptr);
    realVfs = real_;
    vfs_ = new sqlite3_vfs(*real_);
    vfs_->szOsFile = kHeader + real_->szOsFile;
    vfs_->zName = "fat-fault";
    vfs_->pNext = nullptr;
    vfs_->xOpen = xOpen;
    active = this;
    sqlite3_vfs_register(vfs_, 1);
}

FaultVfs::~FaultVfs() {
    sqlite3_vfs_unregister(vfs_);
    sqlite3_vfs_register(real_, 1);
    active = nullptr;
    delete vfs_;
}

void FaultVfs::Count() {
    mode_ = Mode::Count;
    count_ = 0;
    faulted_ = false;
    faultedWhat_.clear();
}

void FaultVfs::Fail(int operation, int code) {
    Count();
    mode_ = Mode::Fail;
    target_ = operation;
    code_ = code;
}

void FaultVfs::KillAfter(int operation) {
    Count();
    mode_ = Mode::Kill;
    target_ = operation;
}

void FaultVfs::Off() { mode_ = Mode::Off; }

void FaultVfs::Done() {
    if (mode_ == Mode::Kill && count_ == target_) ::raise(SIGKILL);
}

int FaultVfs::Next(const char* what, const char* file) {
    if (mode_ == Mode::Off) return 0;
    ++count_;
    if (mode_ == Mode::Fail && count_ == target_) {
        faulted_ = true;
        faultedWhat_ = std::string(what) + " " + file;
        return code_;
    }
    return 0;
}

std::vector<int> FaultPlan(int Total, int Step) {
    const char* all = std::getenv("FAT_FAULT_ALL");
    if (all != nullptr && std::strcmp(all, "1") == 0) Step = 1;
    if (Step < 1) Step = 1;
    std::vector<int> plan;
    for (int n = 1; n <= Total; n += Step) plan.push_back(n);
    if (Total > 0 && plan.back() != Total) plan.push_back(Total);
    // FAT_FAULT_FIGURES=1 prints each sweep's size, for the record of what
    // a run covered.
    const char* figures = std::getenv("FAT_FAULT_FIGURES");
    if (figures != nullptr && std::strcmp(figures, "1") == 0) {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::fprintf(stderr, "fault-plan %s.%s: %d operations, %zu runs\n", test ? test->test_suite_name() : "?",
                     test ? test->name() : "?", Total, plan.size());
    }
    return plan;
}

bool RunKilled(FaultVfs& Vfs, int Operation, const std::function<void()>& Work) {
    return KilledInChild([&] {
        Vfs.KillAfter(Operation);
        Work();
    });
}

std::string FaultCodeName(int Code) { return (Code & 0xff) == SQLITE_FULL ? "DiskFull" : "IoError"; }

}  // namespace testsupport
