#pragma once
// TrpCacheable: a report object whose run-time state changes from page to
// page (the engine, groups, bands, stretchables). At the start of each page
// it writes a small fixed-size record of that state into a stream shared by
// every object with the same record size, and reads it back when the page is
// generated again, so that any page can be made without the pages before it.
// The streams and the bookkeeping below belong to the page cache manager,
// which assigns CacheStream, CacheCount and CachePosition.
#include <cstdint>
#include <string>

#include "report/rpRelatv.h"

class TStream;

// Events a cacheable sends to its cache manager.
enum : int {
    rpevCacheWriteFailed = 48,
    rpevCacheFileFailed = 49,
};

class TrpCacheable : public TrpRelative {
public:
    explicit TrpCacheable(TComponent* AOwner);
    FAT_CLASS(TrpCacheable)

    // Empty here; each cacheable class reads or writes its own record.
    virtual void ResetCache(int /*Page*/) {}
    virtual void RestoreFromCache(int /*Page*/) {}
    virtual void SaveToCache(int /*Page*/) {}

    int CacheCount() const { return cacheCount_; }
    void SetCacheCount(int Value) { cacheCount_ = Value; }
    int CachePageCount() const { return cachePageCount_; }
    void SetCachePageCount(int Value) { cachePageCount_ = Value; }
    int CachePosition() const { return cachePosition_; }
    void SetCachePosition(int Value) { cachePosition_ = Value; }
    int CacheRecordSize() const { return cacheRecordSize_; }
    TStream* CacheStream() const { return cacheStream_; }
    void SetCacheStream(TStream* Value) { cacheStream_ = Value; }

    // Byte offset of this object's record for Page.
    std::int64_t CacheRecordOffset(int Page) const;

protected:
    void SetCacheRecordSize(int Value) { cacheRecordSize_ = Value; }
    // Reads this object's record of Page into Buffer (CacheRecordSize bytes).
    // False, Buffer untouched, without a stream or when the record lies
    // beyond the end of the stream: the object keeps its present state.
    bool ReadCacheRecord(int Page, void* Buffer);
    // Writes the record of Page. A stream that refuses the bytes makes the
    // object send event 48, so that the manager can move to temporary files,
    // and the write is tried once more; false when it fails again.
    bool WriteCacheRecord(int Page, const void* Buffer);

private:
    bool TryWrite(int Page, const void* Buffer);

    int cacheCount_ = 0;
    int cachePageCount_ = -1;
    int cachePosition_ = 0;
    int cacheRecordSize_ = 0;
    TStream* cacheStream_ = nullptr;
};

// Packs plain values into a cache record and back, in declaration order,
// little-endian as the records were always laid out.
class TrpCacheRecord {
public:
    explicit TrpCacheRecord(int Size) : bytes_(static_cast<std::size_t>(Size), '\0') {}
    void* Data() { return bytes_.data(); }
    const void* Data() const { return bytes_.data(); }
    void PutInt(int At, std::int32_t Value);
    std::int32_t GetInt(int At) const;
    void PutBool(int At, bool Value) { bytes_.at(static_cast<std::size_t>(At)) = Value ? 1 : 0; }
    bool GetBool(int At) const { return bytes_.at(static_cast<std::size_t>(At)) != 0; }

private:
    std::string bytes_;
};
