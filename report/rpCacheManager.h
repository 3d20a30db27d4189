#pragma once
// TrpCacheManager: keeps the per-page state records of a report's cacheable
// objects (engine, groups, bands, stretchables), so that any page can be
// generated again alone from the state saved at its start.
//
// Records of one size share one stream; the record of an object for page p
// starts at (p * count of that size + position) * size. Streams live in
// memory until memory runs out (or, in tests, until a set limit is passed);
// then every stream moves, whole, into a temporary file and the write is
// tried again. Those files are removed from the folder as soon as they are
// open: the cache lives in open handles only, so nothing is left behind by
// Clear, by the manager's end or by a run that is killed.
//
// Invariants: every registered object listens nowhere else for the manager
// (the manager is its event listener for 48 and 49 and nothing more); an
// object's stream, count and position are right after AssignStreams and
// SetCounts and are put right again (Refresh) before each save or restore,
// since objects may have come and gone meanwhile. A page is restored only
// when it was saved since the last Clear or truncation below it.
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "report/rpCache.h"
#include "report/rpComm.h"

class TStream;
class TrpCustomReport;

class TrpCacheManager : public TrpCommunicator {
public:
    // Report may be nullptr: a region keeps a manager of its own for the
    // objects it holds and fills it with ResetFromList.
    explicit TrpCacheManager(TrpCustomReport* Report, TComponent* AOwner = nullptr);
    ~TrpCacheManager() override;
    FAT_CLASS(TrpCacheManager)

    // Clear, then the report's engine, groups, bands and their objects.
    void Reset();
    void ResetFromList(const std::vector<TrpCacheable*>& List);

    // Every object saves its state of Page / takes it back.
    void SavePage(int Page);
    // A page that was never saved is a fault of the caller: it stops debug
    // builds and otherwise raises EPrintError before any object is touched.
    void RestorePage(int Page);
    // Forgets Page and every later page. With TruncateResets, the objects
    // reset their state for Page as well.
    void Truncate(int Page);

    void Register(TrpCacheable* Object);
    void Unregister(TrpCacheable* Object);
    // Resets and unregisters every object and frees the streams, and with
    // them the cache files.
    void Clear();
    void AssignStreams();
    void SetCounts();
    void Refresh(TrpCacheable* Object);

    int CacheableCount() const { return static_cast<int>(cacheables_.size()); }
    TrpCacheable* Cacheables(int Index) const { return cacheables_.at(static_cast<std::size_t>(Index)); }
    int StreamCount() const { return static_cast<int>(sizes_.size()); }
    TStream* Streams(int Index) const { return sizes_.at(static_cast<std::size_t>(Index)).stream.get(); }
    // The record size whose records Streams(Index) holds.
    int StreamRecordSize(int Index) const { return sizes_.at(static_cast<std::size_t>(Index)).size; }
    int HighestPage() const { return highestPage_; }
    // 0 memory streams, 1 temporary files.
    int Mode() const { return mode_; }
    bool TruncateResets() const { return truncateResets_; }
    void SetTruncateResets(bool Value) { truncateResets_ = Value; }
    // Names the cache files were made under (already gone from the folder).
    const std::vector<std::string>& CacheFileNames() const { return cacheFileNames_; }
    const std::string& TempFolder() const { return tempFolder_; }
    void SetTempFolder(const std::string& Value) { tempFolder_ = Value; }
    TrpCustomReport* Report() const { return report_; }

    // Bytes all memory streams together may hold before the cache moves to
    // files; no limit but the memory itself by default.
    std::int64_t MemoryLimit() const { return memoryLimit_; }
    void SetMemoryLimit(std::int64_t Value) { memoryLimit_ = Value; }
    std::int64_t MemoryInUse() const;
    // Moves every stream into a temporary file now (what running out of
    // memory does). EPrintError when a file cannot be made; the memory
    // streams are then kept as they were.
    void SwitchToFiles();

    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override;
    void Notify(TrpCommunicator* Communicator, int Operation) override;

private:
    struct SizeEntry {
        int size = 0;
        // Cacheables of this size, less one.
        int last = 0;
        std::unique_ptr<TStream> stream;
    };

    SizeEntry* FindSize(int Size);
    std::unique_ptr<TStream> NewStream();
    std::unique_ptr<TStream> NewFileStream();
    [[noreturn]] void Fail();

    TrpCustomReport* report_;
    std::vector<std::string> cacheFileNames_;
    std::vector<SizeEntry> sizes_;
    std::vector<TrpCacheable*> cacheables_;
    int highestPage_ = -1;
    std::string tempFolder_;
    int mode_ = 0;
    bool truncateResets_ = false;
    std::int64_t memoryLimit_ = std::numeric_limits<std::int64_t>::max();
};
