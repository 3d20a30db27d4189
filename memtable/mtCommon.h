#pragma once
// The record store behind every memory table: records, their layout, record
// ids and bookmark serials, older versions of changed records, nested
// transaction levels and the tables attached to the store.
//
// A record is one heap block: a TmtRecord header followed by the data area.
// The data area holds, in this order: the fixed fields (a null-flag byte and
// the field's native value as platform/db/DB.h describes it), the calculated
// fields of the owning table, one bookmark slot per attach slot and the
// indirect fields (a null-flag byte and a pointer to a heap block holding a
// 32-bit length and that many bytes). A nil block pointer in a table's record
// buffer reads through to the block of the store record with the same
// RecordID. Values inside the area are always read and written with memcpy:
// nothing in it is aligned.
#include <cstdint>
#include <cstring>
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

enum TmtPerformance { mtpfFast, mtpfBalanced, mtpfSmall };
enum TmtVersioningMode { mtvm1SinceCheckPoint, mtvmAllSinceCheckPoint };

struct TmtRecord {
    int32_t RecordNo;
    int32_t RecordID;
    int32_t UniqueRecordID;
    uint8_t Flag;          // bit 0: owned by the store (frees its version chain)
    uint8_t UpdateStatus;  // TUpdateStatus
    int32_t TransactionLevel;
    TmtRecord* PrevRecordVersion;
    uint8_t* Data;
};
using PmtRecord = TmtRecord*;

namespace memtable {

// Header size rounded so that the data area starts 8-byte aligned.
inline constexpr int kRecordHeaderSize = static_cast<int>((sizeof(TmtRecord) + 7) / 8 * 8);
// A null-flag byte and a block pointer.
inline constexpr int kIndirectSlotSize = 1 + static_cast<int>(sizeof(void*));
// A bookmark slot: RecordID, UniqueRecordID (32-bit each), the flag byte, padding.
inline constexpr int kBookmarkSlotSize = 12;
// Bookmark data: RecordID, UniqueRecordID, TableID.
inline constexpr int kBookmarkSize = 12;

inline constexpr uint8_t kFlagIndirect = 1;
inline constexpr uint8_t kFlagCompressed = 2;
inline constexpr uint8_t kFlagChanged = 4;

// A length-prefixed heap block.
uint8_t* NewBlock(const void* Bytes, int32_t Length);
int32_t BlockLength(const uint8_t* Block);
inline const uint8_t* BlockBytes(const uint8_t* Block) { return Block + 4; }
void FreeBlock(uint8_t* Block);

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
    PmtRecord AllocRecord();
    void InitRecord(PmtRecord Record);
    void FreeRecord(PmtRecord Record, bool FreeIndirect, bool FreeVersions);
    void ClearIndirect(PmtRecord Record);
    void TransferRecord(PmtRecord Source, PmtRecord Dest);
    void MoveRecord(PmtRecord Source, PmtRecord Dest);
    PmtRecord CopyRecord(PmtRecord Source, bool CopyIndirect);
    void AppendRecord(PmtRecord Record);
    void DeleteRecord(PmtRecord Record);
    void RemoveRecord(PmtRecord Record);
    void Clear();
    int RecordCount() const { return static_cast<int>(records_.size()); }
    // The record in a slot; nullptr for a free slot or an id out of range.
    PmtRecord Record(int RecordID) const;
    // The store record with a buffer's RecordID (nullptr when there is none).
    PmtRecord StoreRecordOf(PmtRecord Record) const;

    uint8_t* GetFieldPointer(PmtRecord Record, TField* Field) const;
    int GetFieldOffset(TField* Field) const;
    int GetFieldOffsetByNo(int FieldNo) const;
    int GetFieldSize(TFieldType FieldType, int Size) const;
    bool IsIndirectField(TFieldType FieldType, int Size) const;
    uint8_t FieldFlags(int FieldNo) const;
    void SetFieldFlag(int FieldNo, uint8_t Flag) { if (ValidFieldNo(FieldNo)) fieldFlags_[FieldNo] |= Flag; }
    void LayoutRecord(int FieldCount);
    // Raises the layout's error for a definition of a type the store cannot hold.
    static void CheckSupportedTypes(TFieldDefs* Defs);
    void ClearModifiedFlags();
    bool AnyFieldChanged() const;

    // The value bytes of a field in a record: for an indirect field the
    // block's contents (read through to the store when the record has no
    // block of its own), else the bytes after the null flag. Null = nullptr.
    // Length gets the byte count.
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
    void NewTableID();

    TCriticalSection lock_;
    bool standalone_ = false;
    std::vector<PmtRecord> records_;
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

}  // namespace memtable
