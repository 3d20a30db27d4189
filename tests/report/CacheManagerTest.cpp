// The page cache: where each object's record lies, saving and restoring
// pages, truncation, moving to temporary files when memory runs out, and
// that no cache file is ever left in the temporary folder.
#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Streams.h"
#include "report/rpCacheManager.h"
#include "report/rpExcept.h"
#include "report/rpLanguage.h"
#include "report/rpReport.h"
#include "tests/report/ReportTestSupport.h"

namespace {

// An object whose whole state is one number; its record carries the number
// and then bytes derived from it, so that a record read from the wrong
// place is seen.
class StateObject : public TrpCacheable {
public:
    explicit StateObject(int RecordSize) : TrpCacheable(nullptr) { SetCacheRecordSize(RecordSize); }

    void SaveToCache(int Page) override {
        TrpCacheRecord record(CacheRecordSize());
        record.PutInt(0, value);
        for (int i = 4; i < CacheRecordSize(); ++i) record.PutBool(i, ((value + i) & 0xFF) != 0);
        WriteCacheRecord(Page, record.Data());
    }
    void RestoreFromCache(int Page) override {
        TrpCacheRecord record(CacheRecordSize());
        if (ReadCacheRecord(Page, record.Data())) value = record.GetInt(0);
    }
    void ResetCache(int Page) override {
        ++resets;
        resetPage = Page;
    }

    int value = 0;
    int resets = 0;
    int resetPage = -1;
};

// Three "bands" of 20 bytes and two "stretchables" of 12, registered
// band, band, stretchable, band, stretchable.
struct Objects {
    Objects()
        : band1(20), band2(20), stretch1(12), band3(20), stretch2(12),
          list{&band1, &band2, &stretch1, &band3, &stretch2} {}
    StateObject band1, band2, stretch1, band3, stretch2;
    std::vector<StateObject*> list;

    std::vector<TrpCacheable*> Cacheables() const { return {list.begin(), list.end()}; }
    // Page p of object k carries 1000 * (k + 1) + p.
    void SetPage(int Page) {
        for (std::size_t k = 0; k < list.size(); ++k) list[k]->value = 1000 * static_cast<int>(k + 1) + Page;
    }
    void SavePages(TrpCacheManager& Manager, int Count) {
        for (int p = 0; p < Count; ++p) {
            SetPage(p);
            Manager.SavePage(p);
        }
    }
};

std::string Dump(TStream* Stream) {
    Stream->Seek(0, soBeginning);
    return Stream->ReadAllBytes();
}

std::vector<std::string> Dumps(const TrpCacheManager& Manager) {
    std::vector<std::string> out;
    for (int i = 0; i < Manager.StreamCount(); ++i) out.push_back(Dump(Manager.Streams(i)));
    return out;
}

// A temporary folder of the test's own, to see what is left in it.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = rpGetTempPath() + "cachetestXXXXXX";
        path_ = mkdtemp(pattern.data());
        path_ += "/";
    }
    ~TempFolder() { ::rmdir(path_.c_str()); }
    const std::string& Path() const { return path_; }
    int Entries() const {
        int count = 0;
        if (DIR* d = ::opendir(path_.c_str())) {
            while (const dirent* e = ::readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") ++count;
            ::closedir(d);
        }
        return count;
    }

private:
    std::string path_;
};

TEST(CacheManager, RecordsOfOneSizeShareAStreamPageByPage) {
    Objects o;
    TrpCacheManager manager(nullptr);
    manager.ResetFromList(o.Cacheables());
    ASSERT_EQ(manager.StreamCount(), 2);
    EXPECT_EQ(manager.StreamRecordSize(0), 20);
    EXPECT_EQ(manager.StreamRecordSize(1), 12);
    EXPECT_EQ(o.band3.CachePosition(), 2);
    EXPECT_EQ(o.band3.CacheCount(), 3);
    EXPECT_EQ(o.stretch2.CachePosition(), 1);
    EXPECT_EQ(o.stretch2.CacheCount(), 2);

    o.SavePages(manager, 5);
    EXPECT_EQ(manager.HighestPage(), 4);
    EXPECT_EQ(o.band3.CacheRecordOffset(4), 280);
    const std::vector<std::string> dumps = Dumps(manager);
    ASSERT_EQ(dumps[0].size(), 300u) << "5 pages of three 20-byte records";
    ASSERT_EQ(dumps[1].size(), 120u) << "5 pages of two 12-byte records";
    // The third band's page-4 record: 4004 = 0x0FA4, little-endian.
    EXPECT_EQ(dumps[0].substr(280, 4), std::string("\xA4\x0F\x00\x00", 4));
    // The second stretchable's page-3 record at (3 * 2 + 1) * 12 = 84: 5003 = 0x138B.
    EXPECT_EQ(dumps[1].substr(84, 4), std::string("\x8B\x13\x00\x00", 4));
}

TEST(CacheManager, ARestoredPageGivesEveryObjectTheStateOfThatPage) {
    Objects o;
    TrpCacheManager manager(nullptr);
    manager.ResetFromList(o.Cacheables());
    o.SavePages(manager, 6);
    for (int page : {3, 0, 5, 1}) {
        o.SetPage(99);
        manager.RestorePage(page);
        for (std::size_t k = 0; k < o.list.size(); ++k)
            EXPECT_EQ(o.list[k]->value, 1000 * static_cast<int>(k + 1) + page) << "page " << page << " object " << k;
    }
}

TEST(CacheManager, TruncatingKeepsWholePagesBelowTheCut) {
    Objects o;
    TrpCacheManager manager(nullptr);
    manager.ResetFromList(o.Cacheables());
    o.SavePages(manager, 5);
    manager.Truncate(2);
    EXPECT_EQ(manager.HighestPage(), 1);
    EXPECT_EQ(manager.Streams(0)->Size(), 2 * 3 * 20);
    EXPECT_EQ(manager.Streams(1)->Size(), 2 * 2 * 12);
    EXPECT_EQ(o.band1.resets, 0) << "no reset unless asked for";

    manager.SetTruncateResets(true);
    manager.Truncate(1);
    for (const StateObject* object : o.list) {
        EXPECT_EQ(object->resets, 1);
        EXPECT_EQ(object->resetPage, 1);
        EXPECT_EQ(object->CachePageCount(), 0);
    }
    EXPECT_EQ(manager.Streams(0)->Size(), 60);

    // Cutting above what is kept makes no page count as saved.
    manager.Truncate(7);
    EXPECT_EQ(manager.HighestPage(), 0);
    EXPECT_EQ(manager.Streams(0)->Size(), 60);
}

TEST(CacheManager, APageNeverSavedIsNeverRestored) {
    Objects o;
    TrpCacheManager manager(nullptr);
    manager.ResetFromList(o.Cacheables());
    o.SavePages(manager, 3);
    manager.Truncate(2);
    o.band1.value = 77;
#ifdef NDEBUG
    for (int page : {2, 5, -1}) EXPECT_THROW(manager.RestorePage(page), EPrintError) << page;
    EXPECT_EQ(o.band1.value, 77) << "the object keeps its state";
    manager.Clear();
    EXPECT_THROW(manager.RestorePage(0), EPrintError) << "the state of an earlier run is gone";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(manager.RestorePage(2), "never saved");
    EXPECT_DEATH(manager.RestorePage(-1), "never saved");
    manager.Clear();
    EXPECT_DEATH(manager.RestorePage(0), "never saved");
#endif
}

TEST(CacheManager, AWriteBeyondTheEndFillsTheGapWithZeros) {
    Objects o;
    TrpCacheManager manager(nullptr);
    manager.ResetFromList(o.Cacheables());
    o.SetPage(3);
    manager.SavePage(3);
    const std::string bytes = Dump(manager.Streams(0));
    ASSERT_EQ(bytes.size(), 4u * 3 * 20);
    EXPECT_EQ(bytes.substr(0, 180), std::string(180, '\0'));
    EXPECT_EQ(bytes.substr(180, 4), std::string("\xEB\x03\x00\x00", 4)) << "1003 at page 3's first record";
}

TEST(CacheManager, MemoryAndFileCachesHoldTheSameBytes) {
    TempFolder folder;
    Objects inMemory, forced, spilled, switched;
    TrpCacheManager memory(nullptr), full(nullptr), partly(nullptr), files(nullptr);
    for (TrpCacheManager* m : {&memory, &full, &partly, &files}) m->SetTempFolder(folder.Path());
    full.SetMemoryLimit(0);      // the first write already fails
    partly.SetMemoryLimit(250);  // fails in the middle of the run
    memory.ResetFromList(inMemory.Cacheables());
    full.ResetFromList(forced.Cacheables());
    partly.ResetFromList(spilled.Cacheables());
    files.ResetFromList(switched.Cacheables());
    files.SwitchToFiles();

    inMemory.SavePages(memory, 7);
    forced.SavePages(full, 7);
    spilled.SavePages(partly, 7);
    switched.SavePages(files, 7);
    EXPECT_EQ(memory.Mode(), 0);
    for (TrpCacheManager* m : {&full, &partly, &files}) {
        EXPECT_EQ(m->Mode(), 1);
        EXPECT_EQ(m->CacheFileNames().size(), 2u);
        EXPECT_EQ(m->MemoryInUse(), 0);
        EXPECT_EQ(Dumps(*m), Dumps(memory));
    }
    EXPECT_EQ(folder.Entries(), 0) << "cache files leave the folder once open";

    spilled.SetPage(-1);
    partly.RestorePage(2);
    EXPECT_EQ(spilled.band3.value, 4002);
    EXPECT_EQ(spilled.stretch2.value, 5002);

    for (const std::string& name : partly.CacheFileNames()) EXPECT_EQ(name.rfind(folder.Path() + "cch", 0), 0u) << name;
    // Another program's file that took a freed name is not the cache's.
    const std::string reused = partly.CacheFileNames().front();
    { TFileStream other(reused, fmCreate); other.WriteBytes("outro"); }
    partly.Clear();
    EXPECT_TRUE(partly.CacheFileNames().empty());
    EXPECT_EQ(partly.StreamCount(), 0);
    EXPECT_EQ(folder.Entries(), 1);
    ::unlink(reused.c_str());
    EXPECT_EQ(folder.Entries(), 0);
}

TEST(CacheManager, AKilledRunLeavesNoCacheFile) {
    TempFolder folder;
    int ready[2], hold[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(hold), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        ::close(hold[1]);
        {
            Objects o;
            TrpCacheManager manager(nullptr);
            manager.SetTempFolder(folder.Path());
            manager.SetMemoryLimit(100);
            manager.ResetFromList(o.Cacheables());
            o.SavePages(manager, 10);
            const char files = static_cast<char>('0' + manager.CacheFileNames().size());
            (void)!::write(ready[1], &files, 1);
            char c;
            (void)!::read(hold[0], &c, 1);  // killed while waiting here
        }
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(hold[0]);
    char files = 0;
    ASSERT_EQ(::read(ready[0], &files, 1), 1);
    EXPECT_EQ(files, '2') << "the child's cache went to files";
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    ::close(ready[0]);
    ::close(hold[1]);
    EXPECT_EQ(folder.Entries(), 0);
}

TEST(CacheManager, NoMemoryAndNoFileStopsTheRunWithAClearError) {
    Objects o;
    TrpCustomReport report(nullptr);
    TrpCacheManager manager(&report);
    manager.SetTempFolder("/nonexistent-folder-for-the-cache/");
    manager.SetMemoryLimit(0);
    manager.ResetFromList(o.Cacheables());
    report.Engine()->SetGenerating(true);
    o.SetPage(0);
    try {
        manager.SavePage(0);
        FAIL() << "no error";
    } catch (const EPrintError& e) {
        EXPECT_FALSE(rpLanguageText(284).empty());
        EXPECT_EQ(e.Message(), rpLanguageText(284));
    }
    EXPECT_TRUE(report.Engine()->Stopped());
    report.Engine()->SetGenerating(false);
    EXPECT_EQ(manager.Mode(), 0) << "the memory streams are kept";
}

// Run in a child process whose files may not grow past 200 bytes.
int SaveWithSmallFiles(const std::string& Folder) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{200, 200};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
    Objects o;
    TrpCacheManager manager(nullptr);
    manager.SetTempFolder(Folder);
    manager.ResetFromList(o.Cacheables());
    manager.SwitchToFiles();
    try {
        o.SavePages(manager, 10);
    } catch (const EPrintError& e) {
        return e.Message() == rpLanguageText(284) && manager.HighestPage() == 2 ? 0 : 3;
    }
    return 1;
}

TEST(CacheManager, AFileThatCannotGrowStopsTheRunWithAClearError) {
    TempFolder folder;
    // Pages 0..2 fit (180 bytes); page 3's records do not.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(SaveWithSmallFiles(folder.Path()));
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no error, 2: no file size limit, 3: another error or page count";
    EXPECT_EQ(folder.Entries(), 0);
}

TEST(CacheManager, RegistrationFollowsTheObjects) {
    Objects o;
    TrpCacheManager manager(nullptr);
    manager.ResetFromList(o.Cacheables());
    manager.Register(&o.band1);
    manager.Register(nullptr);
    EXPECT_EQ(manager.CacheableCount(), 5);

    manager.Unregister(&o.band2);
    EXPECT_EQ(o.band2.CacheStream(), nullptr);
    EXPECT_EQ(manager.CacheableCount(), 4);
    {
        auto late = std::make_unique<StateObject>(20);
        manager.Register(late.get());
        EXPECT_EQ(manager.CacheableCount(), 5);
    }
    EXPECT_EQ(manager.CacheableCount(), 4) << "a freed object leaves the manager";

    // Positions are put right before the next save: band3 is now second.
    o.SavePages(manager, 2);
    EXPECT_EQ(o.band3.CachePosition(), 1);
    EXPECT_EQ(o.band3.CachePageCount(), 0) << "the pages saved before this one";
}

TEST(CacheManager, ResetTakesTheReportsEngineBandsAndGroups) {
    TrpCustomReport report(nullptr);
    report.CreateDefaultBands();
    TrpCacheManager manager(&report);
    manager.Reset();
    ASSERT_EQ(manager.CacheableCount(), 1 + report.BandCount());
    EXPECT_EQ(manager.Cacheables(0), report.Engine());
    for (int i = 0; i < report.BandCount(); ++i) {
        EXPECT_EQ(manager.Cacheables(i + 1), report.Bands(i));
        EXPECT_EQ(report.Bands(i)->CachePosition(), i);
    }
    manager.SavePage(0);
    manager.SavePage(1);
    ASSERT_GE(manager.StreamCount(), 1);
    EXPECT_EQ(manager.Streams(0)->Size(), 2 * report.BandCount() * manager.StreamRecordSize(0));
    manager.RestorePage(0);
    manager.Clear();
    EXPECT_EQ(manager.CacheableCount(), 0);
    EXPECT_EQ(report.Bands(0)->CacheStream(), nullptr);
}

}  // namespace
