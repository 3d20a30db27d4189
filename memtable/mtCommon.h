#pragma once
// The record store behind every memory table: records, their layout, record
// ids and bookmark serials, older versions of changed records, nested
// transaction levels and the tables attached to the store.
//
// A record is one block: a TmtRecord header followed by the data area
// (Data()). Records come in two layouts that share the header:
//
// - The buffer layout of a table's record buffers and key records: the fixed
//   fields (a null-flag byte and the field's native value as
//   platform/db/DB.h describes it, a text taking its full Size * 4 + 1
//   bytes), the calculated fields of the owning table, one bookmark slot per
//   attach slot and the indirect fields (a null-flag byte and a pointer to a
//   heap block holding a 32-bit length and that many bytes).
// - The packed layout of the records the store holds (Flag bit kRecPacked):
//   the same fixed fields except that a text takes a null-flag byte and the
//   32-bit offset where its bytes end, then the calculated fields, the
//   indirect fields, and the texts themselves in their real length, each
//   zero-terminated, in field order. A stored record is thus as long as its
//   values and no longer. No bookmark slots: they belong to buffers.
//
// Slot(), CalcArea() and FieldValue() know both layouts; nothing else may
// compute an offset inside a record. A nil block pointer in a table's record
// buffer reads through to the block of the store record with the same
// RecordID. Values inside the area are always read and written with memcpy:
// nothing in it is aligned.
//
// A stored record may move when a post makes it longer than its block: only
// Records (by RecordID) and the indexes, which hold record ids, may keep a
// reference to a stored record across a post; everything else looks it up
// again by RecordID.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <string>
#include <vector>

#include "platform/db/DB.h"
#include "platform/rtl/SyncObjs.h"

class TmtCustomMemTable;
class TmtFieldList;

FAT_DECLARE_EXCEPTION(EMemTableError, EDatabaseError)
FAT_DECLARE_EXCEPTION(EMemTableFatalError, EMemTableError)
FAT_DECLARE_EXCEPTION(EMemTableInvalidRecord, EMemTableFatalError)
FAT_DECLARE_EXCEPTION(EMemTableDupKey, EMemTableError)
FAT_DECLARE_EXCEPTION(EMemTableFilterError, EMemTableError)
FAT_DECLARE_EXCEPTION(EMemTableLocaleError, EMemTableError)
FAT_DECLARE_EXCEPTION(EMemTableInvalidLocale, EMemTableLocaleError)

constexpr int MT_MAX_FIELDS = 256;
// The longest text field, in characters, and the longest byte field, in
// bytes, that a record holds: the class library's limit on a string field.
// A record buffer gives a text four bytes a character, so a longer size
// would not fit the 32-bit offsets of the layout (or would take gigabytes
// per buffer); a definition beyond it is refused at open.
constexpr int MT_MAX_STRING_SIZE = 8192;

enum TmtPerformance { mtpfFast, mtpfBalanced, mtpfSmall };
enum TmtVersioningMode { mtvm1SinceCheckPoint, mtvmAllSinceCheckPoint };

struct TmtRecord {
    TmtRecord* PrevRecordVersion;
    int32_t RecordNo;
    int32_t RecordID;
    int32_t UniqueRecordID;
    int32_t TransactionLevel;
    uint8_t Flag;          // bit 0: owned by the store (frees its version chain); see kRec...
    uint8_t UpdateStatus;  // TUpdateStatus
    uint16_t BlockUnits;   // packed records: size of the block in 8-byte units (0: not known)

    uint8_t* Data() { return reinterpret_cast<uint8_t*>(this) + HeaderBytes(); }
    const uint8_t* Data() const { return reinterpret_cast<const uint8_t*>(this) + HeaderBytes(); }
    static constexpr int HeaderBytes() { return static_cast<int>((sizeof(TmtRecord) + 7) / 8 * 8); }
};
using PmtRecord = TmtRecord*;

namespace memtable {

// Header size rounded so that the data area starts 8-byte aligned.
inline constexpr int kRecordHeaderSize = TmtRecord::HeaderBytes();
// A null-flag byte and a block pointer.
inline constexpr int kIndirectSlotSize = 1 + static_cast<int>(sizeof(void*));
// A bookmark slot: RecordID, UniqueRecordID (32-bit each), the flag byte, padding.
inline constexpr int kBookmarkSlotSize = 12;
// Bookmark data: RecordID, UniqueRecordID, TableID.
inline constexpr int kBookmarkSize = 12;
// A text field of a packed record: the null flag and where its bytes end.
inline constexpr int kPackedTextSlotSize = 5;

// Flag bits of a record header.
inline constexpr uint8_t kRecOwned = 1;   // owned by the store: frees its chain of versions
inline constexpr uint8_t kRecPacked = 2;  // packed layout (a record the store holds)
inline constexpr uint8_t kRecHeap = 4;    // packed record in a block of its own, not in the store's pages

inline constexpr uint8_t kFlagIndirect = 1;
inline constexpr uint8_t kFlagCompressed = 2;
inline constexpr uint8_t kFlagChanged = 4;

// A length-prefixed heap block.
uint8_t* NewBlock(const void* Bytes, int32_t Length);
int32_t BlockLength(const uint8_t* Block);
inline const uint8_t* BlockBytes(const uint8_t* Block) { return Block + 4; }
void FreeBlock(uint8_t* Block);

// Asks for large pages behind a large block that is about to be filled: a
// random read in an array of a million items then misses the address
// translation cache once per 2 MiB instead of once per 4 KiB, and the block
// is faulted in 512 times less often. Only whole large pages inside the block
// are concerned, so the rest of the heap is left as it was.
void AdviseLargePages(const void* Data, std::size_t Bytes);

// The allocator of a vector that may grow to millions of items, read at
// random: each block it takes gets large pages before the items move in.
template <typename T>
struct LargePageAllocator {
    using value_type = T;
    LargePageAllocator() = default;
    template <typename U>
    LargePageAllocator(const LargePageAllocator<U>&) noexcept {}
    T* allocate(std::size_t Count) {
        auto* p = static_cast<T*>(::operator new(Count * sizeof(T)));
        AdviseLargePages(p, Count * sizeof(T));
        return p;
    }
    void deallocate(T* Block, std::size_t) noexcept { ::operator delete(Block); }
    template <typename U>
    bool operator==(const LargePageAllocator<U>&) const noexcept { return true; }
};

template <typename T>
inline T ReadValue(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}
template <typename T>
inline void WriteValue(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof(T));
}

bool IsBlobFieldType(TFieldType Type);
bool IsSupportedFieldType(TFieldType Type);
bool IsVariableSizeType(TFieldType Type);
// The kinds whose native value is zero-terminated UTF-8.
inline bool IsTextFieldType(TFieldType Type) {
    return Type == ftString || Type == ftFixedChar || Type == ftWideString || Type == ftFixedWideChar ||
           Type == ftGuid;
}

// The pages the stored records of one store are cut from. A record is freed
// back to the list of blocks of its size, so that the next record of that
// size takes its place; the pages themselves go only when the store is
// cleared. Under the address sanitizer every block is a heap block of its
// own, so that a stale reference to a freed record is still caught.
class RecordPages {
public:
    RecordPages() = default;
    ~RecordPages() { Reset(); }
    RecordPages(const RecordPages&) = delete;
    RecordPages& operator=(const RecordPages&) = delete;

    // A block of at least Bytes bytes; Units gets its size in 8-byte units
    // and Heap whether it lives outside the pages.
    void* Allocate(std::size_t Bytes, uint16_t& Units, bool& Heap);
    void Release(void* Block, uint16_t Units, bool Heap);
    // Drops every page; the blocks cut from them must all be released.
    void Reset();

private:
    static constexpr std::size_t kMaxUnits = 512;  // blocks of up to 4 KB come from the pages
    // The page size of a store past 16 MB: the tail of its last page is
    // then little per record.
    static constexpr std::size_t kLargePage = std::size_t{4} << 20;
    std::vector<void*> free_ = std::vector<void*>(kMaxUnits + 1, nullptr);
    std::vector<void*> pages_;
    uint8_t* next_ = nullptr;
    std::size_t left_ = 0;
    std::size_t pageSize_ = 4096;
    std::size_t pageBytes_ = 0;
};

}  // namespace memtable

class TmtCommon : public TObject {
public:
    FAT_CLASS_NAME(TmtCommon)
    explicit TmtCommon(TmtCustomMemTable* Owner);
    ~TmtCommon() override;
    TmtCommon(const TmtCommon&) = delete;
    TmtCommon& operator=(const TmtCommon&) = delete;

    void Lock();
    void Unlock();

    // --- records
    // A record in the buffer layout (record buffers, key records), every
    // field null.
    PmtRecord AllocRecord();
    void InitRecord(PmtRecord Record);
    void FreeRecord(PmtRecord Record, bool FreeIndirect, bool FreeVersions);
    void ClearIndirect(PmtRecord Record);
    // Header and values of Source (either layout) into the buffer Dest; an
    // indirect field takes only its null flag, its block stays where it is.
    void TransferRecord(PmtRecord Source, PmtRecord Dest);
    // The values of the buffer Source into the stored record Dest, indirect
    // blocks moving over. Returns the stored record: a new block, taking
    // Dest's place in Records, when the values no longer fit Dest's.
    PmtRecord MoveRecord(PmtRecord Source, PmtRecord Dest);
    // A new stored (packed) record with Source's header and values.
    PmtRecord CopyRecord(PmtRecord Source, bool CopyIndirect);
    void AppendRecord(PmtRecord Record);
    void DeleteRecord(PmtRecord Record);
    void RemoveRecord(PmtRecord Record);
    void Clear();
    int RecordCount() const { return static_cast<int>(records_.size()); }
    // The record in a slot; nullptr for a free slot or an id out of range.
    PmtRecord Record(int RecordID) const {
        return static_cast<unsigned>(RecordID) < records_.size() ? records_[static_cast<std::size_t>(RecordID)]
                                                                 : nullptr;
    }
    // Starts bringing a record's slot in Records into the cache.
    void PrefetchRecord(int RecordID) const {
        if (static_cast<unsigned>(RecordID) < records_.size()) __builtin_prefetch(records_.data() + RecordID);
    }
    // The store record with a buffer's RecordID (nullptr when there is none).
    PmtRecord StoreRecordOf(PmtRecord Record) const;
    // Records after the preceding appends: room for Count more without the
    // list growing on the way.
    void ReserveRecords(int Count);

    static bool IsPacked(const TmtRecord* Record) { return (Record->Flag & memtable::kRecPacked) != 0; }
    // The null-flag byte of data field FieldNo in Record, in whichever layout
    // it has; nullptr for a field without a place.
    uint8_t* Slot(PmtRecord Record, int FieldNo) const {
        if (!ValidFieldNo(FieldNo)) return nullptr;
        int ofs = IsPacked(Record) ? packedOfs_[static_cast<std::size_t>(FieldNo)]
                                   : fieldOfs_[static_cast<std::size_t>(FieldNo)];
        return ofs < 0 ? nullptr : Record->Data() + ofs;
    }
    // Start of the calculated-field area of Record.
    uint8_t* CalcArea(PmtRecord Record) const {
        return Record->Data() + (IsPacked(Record) ? packedStartCalculated_ : startCalculated_);
    }
    // Whether a data field is a text held in its real length in packed records.
    bool IsPackedText(int FieldNo) const {
        return ValidFieldNo(FieldNo) && textIndex_[static_cast<std::size_t>(FieldNo)] >= 0;
    }
    // Writes a text (nullptr: null) into a stored record's packed text field.
    // Returns the record, moved to a new block when it no longer fits.
    PmtRecord WritePackedText(PmtRecord Record, int FieldNo, const char* Text, std::size_t Length);

    uint8_t* GetFieldPointer(PmtRecord Record, TField* Field) const;
    // Offsets in the buffer layout.
    int GetFieldOffset(TField* Field) const;
    int GetFieldOffsetByNo(int FieldNo) const;
    int GetFieldSize(TFieldType FieldType, int Size) const;
    bool IsIndirectField(TFieldType FieldType, int Size) const;
    uint8_t FieldFlags(int FieldNo) const;
    void SetFieldFlag(int FieldNo, uint8_t Flag) {
        if (ValidFieldNo(FieldNo)) {
            fieldFlags_[static_cast<std::size_t>(FieldNo)] |= Flag;
            if ((Flag & memtable::kFlagChanged) != 0) anyChanged_ = true;
        }
    }
    void LayoutRecord(int FieldCount);
    // Raises the layout's error for a definition of a type the store cannot hold.
    static void CheckSupportedTypes(TFieldDefs* Defs);
    // Refuses a text or byte field whose size a record cannot hold.
    static void CheckFieldSize(const std::string& Name, TFieldType Type, int Size);
    void ClearModifiedFlags();
    bool AnyFieldChanged() const { return anyChanged_; }

    // The value bytes of a field in a record: for an indirect field the
    // block's contents (read through to the store when the record has no
    // block of its own), for a text its zero-terminated bytes, else the
    // bytes after the null flag. Null = nullptr. Length gets the byte count
    // (a text's counts its terminator).
    const uint8_t* FieldValue(PmtRecord Record, int FieldNo, TField* Field, int32_t& Length) const;
    // Same, decompressed through the owner's OnDecompressField when the
    // field is compressed; Scratch keeps the decompressed bytes alive.
    const uint8_t* FieldValueForRead(PmtRecord Record, int FieldNo, TField* Field, int32_t& Length,
                                     std::string& Scratch) const;

    // --- comparison (mtIndex.cpp)
    int CompareRecords(const TmtFieldList& FieldList, int MaxFields, PmtRecord KeyRecord, PmtRecord ARecord,
                       bool IgnoreNull, bool Partial, int How, bool* FullCompareOut = nullptr);

    // --- settings
    bool Standalone() const { return standalone_; }
    void SetStandalone(bool Value);
    int AttachMaxCount() const { return attachMaxCount_; }
    void SetAttachMaxCount(int Value);
    int LocaleID() const { return localeID_; }
    void SetLocaleID(int Value);
    int LanguageID() const { return languageID_; }
    void SetLanguageID(int Value);
    int SubLanguageID() const { return subLanguageID_; }
    void SetSubLanguageID(int Value);
    int SortID() const { return sortID_; }
    void SetSortID(int Value);
    TmtPerformance Performance() const { return performance_; }
    void SetPerformance(TmtPerformance Value);
    bool EnableVersioning() const { return enableVersioning_; }
    void SetEnableVersioning(bool Value);
    TmtVersioningMode VersioningMode() const { return versioningMode_; }
    void SetVersioningMode(TmtVersioningMode Value);
    int32_t AutoIncMin() const { return autoIncMin_; }
    void SetAutoIncMin(int32_t Value);
    int32_t AutoIncMax() const { return autoIncMax_; }
    void SetAutoIncMax(int32_t Value);
    bool IsDataModified() const { return isDataModified_; }
    void SetIsDataModified(bool Value);
    int TransactionLevel() const { return transactionLevel_; }
    void IncTransactionLevel();
    void DecTransactionLevel();
    int DeletedCount() const { return deletedCount_; }
    void IncDeletedCount() { ++deletedCount_; }
    // Grows at every change of the records: an add, a removal, a change
    // passed to the indexes, a clear or a rollback. What a table works out
    // from its records (how many pass its filter) holds while it stays.
    uint64_t Changes() const { return changes_; }
    void NoteChange() { ++changes_; }
    int32_t TableID() const { return tableID_; }
    bool LockedByTable() const { return lockedByTable_; }
    void SetLockedByTable(bool Value) { lockedByTable_ = Value; }
    TmtCustomMemTable* Owner() const { return owner_; }

    // --- layout
    int FieldCount() const { return fieldCount_; }
    int DataRecordSize() const { return dataRecordSize_; }
    int TotalRecordSize() const { return totalRecordSize_; }
    int DataSize() const { return dataSize_; }
    int CalcFieldsSize() const { return calcFieldsSize_; }
    int StartCalculated() const { return startCalculated_; }
    int StartBookmarks() const { return startBookmarks_; }
    int StartIndirect() const { return startIndirect_; }
    int IndirectCount() const { return indirectCount_; }
    bool LayoutDone() const { return totalRecordSize_ > 0; }

    // --- attached tables
    void AttachTable(TmtCustomMemTable* Table);
    void DetachTable(TmtCustomMemTable* Table);
    int AttachIndexOf(const TmtCustomMemTable* Table) const;
    const std::vector<TmtCustomMemTable*>& AttachedTables() const { return attachedTables_; }
    bool IsAnyTableActive() const;
    void CloseTables(TmtCustomMemTable* Except);
    void RefreshTables(TmtCustomMemTable* Except);
    void EmptyTables();
    void RebuildIndexes();
    void MarkIndexesDirty();
    void UpdateIndexes();
    void ReflectToIndexes(TmtCustomMemTable* Table, int Change, bool DontVersion, int RecordPos,
                          PmtRecord OldRecord, PmtRecord NewRecord);

    // --- transactions
    void RollbackTransaction();
    void CommitTransaction();

private:
    bool ValidFieldNo(int FieldNo) const { return FieldNo > 0 && FieldNo <= MT_MAX_FIELDS; }
    void LayoutFixed(TFieldDefs* Defs);
    void LayoutIndirect(TFieldDefs* Defs);
    void LayoutPacked();
    void NewTableID();
    // A packed record with room for DataBytes bytes of data, header cleared.
    PmtRecord AllocPacked(std::size_t DataBytes);
    void ReleaseBlock(PmtRecord Record);
    // Bytes the texts of a buffer take in a packed record; Lengths, when
    // given, gets the byte count of the first kKnownLengths texts.
    static constexpr std::size_t kKnownLengths = 16;
    std::size_t PackedTextBytes(PmtRecord Buffer, uint32_t* Lengths = nullptr) const;
    // Bytes of data of a packed record.
    std::size_t PackedDataBytes(PmtRecord Record) const;
    std::size_t Capacity(PmtRecord Record) const;
    // The fixed, calculated and text values of Source into Dest (packed, with
    // room for them); indirect slots keep Dest's pointers and take Source's
    // null flags.
    void PackValues(PmtRecord Source, PmtRecord Dest, const uint32_t* Lengths = nullptr) const;
    static void CopyHeader(PmtRecord Source, PmtRecord Dest);
    uint8_t* IndirectSlot(PmtRecord Record, int Index) const {
        return Record->Data() + (IsPacked(Record) ? packedStartIndirect_ : startIndirect_) +
               Index * memtable::kIndirectSlotSize;
    }

    // Runs of fixed non-text fields, contiguous in both layouts.
    struct CopyRun {
        int bufferOfs, packedOfs, bytes;
    };
    // A text held in its real length in packed records.
    struct TextField {
        int fieldNo, bufferOfs, packedOfs, maxBytes;
    };
    std::vector<int32_t> packedOfs_;
    std::vector<int16_t> textIndex_;  // by field number: index in texts_, -1 for other fields
    std::vector<CopyRun> runs_;
    std::vector<TextField> texts_;
    int packedStartCalculated_ = 0, packedStartIndirect_ = 0, packedStartTexts_ = 0;
    bool anyChanged_ = false;
    memtable::RecordPages pages_;

    TCriticalSection lock_;
    // The thread holding lock_ and how many times over: a nested Lock by
    // that thread is a count, not another round through the mutex.
    std::atomic<std::thread::id> lockOwner_{};
    int lockDepth_ = 0;
    bool standalone_ = false;
    std::vector<PmtRecord, memtable::LargePageAllocator<PmtRecord>> records_;
    TmtCustomMemTable* owner_;
    int fieldCount_ = 0;
    std::vector<int32_t> fieldOfs_;
    std::vector<uint8_t> fieldFlags_;
    int languageID_ = 0, subLanguageID_ = 0, sortID_ = 0, localeID_ = 0;
    int32_t tableID_ = -1;
    int bookmarkArraySize_ = 0;
    int dataRecordSize_ = 0;
    int totalRecordSize_ = 0;
    int dataSize_ = 0;
    int calcFieldsSize_ = 0;
    int startCalculated_ = 0, startBookmarks_ = 0, startIndirect_ = 0;
    int indirectSize_ = 0;
    int indirectCount_ = 0;
    bool isDataModified_ = false;
    int32_t autoIncMin_ = 0, autoIncMax_ = 0;
    int deletedCount_ = 0;
    uint64_t changes_ = 0;
    int32_t uniqueRecordIDCounter_ = 0;
    int32_t recordIDCounter_ = 0;
    TmtPerformance performance_ = mtpfFast;
    int attachMaxCount_ = 1;
    std::vector<TmtCustomMemTable*> attachedTables_;
    std::vector<int32_t> deletedSlots_;
    TmtVersioningMode versioningMode_ = mtvm1SinceCheckPoint;
    bool enableVersioning_ = false;
    int transactionLevel_ = 0;
    bool lockedByTable_ = false;
};

namespace memtable {

// Holds a store's lock for a scope.
class StoreLock {
public:
    explicit StoreLock(TmtCommon* Common) : common_(Common) { common_->Lock(); }
    ~StoreLock() { common_->Unlock(); }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

private:
    TmtCommon* common_;
};

// Holds a store's lock for a scope when Take is set: a table's own record
// buffers are its alone and need none.
class StoreLockIf {
public:
    StoreLockIf(TmtCommon* Common, bool Take) : common_(Take ? Common : nullptr) {
        if (common_ != nullptr) common_->Lock();
    }
    ~StoreLockIf() {
        if (common_ != nullptr) common_->Unlock();
    }
    StoreLockIf(const StoreLockIf&) = delete;
    StoreLockIf& operator=(const StoreLockIf&) = delete;

private:
    TmtCommon* common_;
};

}  // namespace memtable
