#pragma once
// Field lists with per-field compare options, the comparison of field values
// and records, and the indexes of a memory table.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "memtable/mtCommon.h"

class TmtCustomMemTable;
class TmtIndex;

enum TmtifoOption { mtifoDescending, mtifoCaseInsensitive, mtifoPartial, mtifoIgnoreNull, mtifoIgnoreLocale };
using TmtifoOptions = TSet<TmtifoOption>;

enum TmtMemTableCompareOption {
    mtcoDescending,
    mtcoCaseInsensitive,
    mtcoPartialKey,
    mtcoIgnoreNullKey,
    mtcoIgnoreLocale,
    mtcoUnique,
    mtcoNonMaintained
};
using TmtMemTableCompareOptions = TSet<TmtMemTableCompareOption>;

using TmtUpdateStatusSet = TSet<TUpdateStatus>;

// Argument How of CompareRecords.
enum TmtCompareHow { mtBreakOnDifference, mtBreakOnLess, mtBreakOnGreater, mtBreakOnLessOrEqual,
                     mtBreakOnGreaterOrEqual };

class TmtFieldList : public TObject {
public:
    FAT_CLASS_NAME(TmtFieldList)
    virtual void Clear() { count_ = 0; }

    int Count() const { return count_; }
    int Add(TField* Field, TmtifoOptions Options);
    int IndexOf(const TField* Field) const;
    void AssignTo(TmtFieldList& Dest) const;
    void MergeOptionsTo(TmtFieldList& Dest) const;

    TField* Fields(int i) const { return fields_[i]; }
    int FieldNo(int i) const { return fieldNo_[i]; }
    int FieldOfs(int i) const { return fieldOfs_[i]; }
    void SetFieldOfs(int i, int Ofs, int No) { fieldOfs_[i] = Ofs; fieldNo_[i] = No; }
    TmtifoOptions Options(int i) const { return options_[i]; }
    void SetOptions(int i, TmtifoOptions Value) { options_[i] = Value; }

private:
    int count_ = 0;
    std::array<int32_t, MT_MAX_FIELDS> fieldOfs_{};
    std::array<int32_t, MT_MAX_FIELDS> fieldNo_{};
    std::array<TField*, MT_MAX_FIELDS> fields_{};
    std::array<TmtifoOptions, MT_MAX_FIELDS> options_{};
};

namespace memtable {

// Fills List from "Name:DC;Id" (option letters C, D, N, P, L).
void BuildIndexFieldList(TmtCustomMemTable* Table, TDataSet* DataSet, TmtFieldList& List,
                         const std::string& FieldNames);
void SetFieldListOptions(TmtCustomMemTable* Table, TmtFieldList& List, TmtifoOption Option,
                         const std::string& FieldNames);
bool IsFieldListPrefix(TmtCustomMemTable* Table, const TmtFieldList& IndexList, const TmtFieldList& SearchList);
TmtMemTableCompareOptions IndexOptionsToCompareOptions(TIndexOptions Options);
// Text of a field list: the names joined with ";".
std::string FieldListText(const TmtFieldList& List);
bool IsIndexableType(TFieldType Type);

// Compares two stored values of one type; -1, 0 or 1. The string kinds are
// zero-terminated UTF-8.
int CompareFields(const uint8_t* A, const uint8_t* B, TFieldType FieldType, TmtifoOptions Options,
                  bool& FullCompare, int LocaleID);

}  // namespace memtable

using TmtFilterIndexEvent = std::function<void(TDataSet* DataSet, TmtIndex* Index, bool& Accept)>;

class TmtIndex : public TObject {
public:
    FAT_CLASS_NAME(TmtIndex)
    TmtIndex(const std::string& Name, TmtCustomMemTable* DataSet, const std::string& Fields,
             TmtMemTableCompareOptions Options, bool IsSortable, bool IsInternal);
    static std::unique_ptr<TmtIndex> CreateFromIndexDef(TIndexDef* IndexDef, TmtCustomMemTable* DataSet);

    int CompareRecords(const TmtFieldList* FieldList, PmtRecord KeyRecord, PmtRecord ARecord, bool SortCompare,
                       bool Partial, bool* FullCompare = nullptr);
    // Returns the last comparison; Found and Index as the search found them.
    int Search(const TmtFieldList* FieldList, PmtRecord KeyRecord, bool& Found, int& Index, bool RespectFilter,
               bool Partial);
    void FindRecord(PmtRecord Record, int& Index, bool Partial = false);
    void FindRecordByID(int RecordID, int& Index);
    void Sort(int L, int R);
    void Clear();
    void LoadIndex();
    void ReSort();
    void Rebuild();
    bool FilterRecord(PmtRecord Record);
    // Keeps the row order by record identity, for a reload after the store
    // replaced records (a rollback frees the referenced ones).
    void RememberOrder();
    // The row order at the start of each open transaction level, so that a
    // rollback puts restored records back in their places.
    void PushLevelOrder();
    void PopLevelOrder(bool Restore);

    // Incremental maintenance of one change (0 insert, 1 modify, 2 delete).
    void Reflect(int Change, PmtRecord OldRecord, PmtRecord NewRecord, int RecordPos, bool DontVersion);

    const std::string& Name() const { return name_; }
    std::vector<PmtRecord>& References() { return references_; }
    const std::vector<PmtRecord>& References() const { return references_; }
    int Count() const { return static_cast<int>(references_.size()); }
    TmtCustomMemTable* DataSet() const { return dataSet_; }
    const std::string& IndexFields() const { return indexFields_; }
    TmtFieldList& IndexFieldList() { return fieldList_; }
    const TmtFieldList& IndexFieldList() const { return fieldList_; }
    TmtMemTableCompareOptions IndexOptions() const { return options_; }
    bool IsOrdered() const { return isOrdered_; }
    void SetIsOrdered(bool Value) { isOrdered_ = Value; }
    bool IsSortable() const { return isSortable_; }
    bool IsRowOrder() const { return isRowOrder_; }
    // Row order only: the references are in ascending RecordID order (no
    // insert in the middle, no reused slot), so a record id is a position.
    bool IdsAscending() const { return idsAscending_; }
    void SetIsRowOrder(bool Value) { isRowOrder_ = Value; }
    bool IsInternal() const { return isInternal_; }
    int Ordinal() const { return ordinal_; }
    void SetOrdinal(int Value) { ordinal_ = Value; }
    bool IsFiltered() const { return isFiltered_; }
    void SetIsFiltered(bool Value) { isFiltered_ = Value; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value) { enabled_ = Value; }
    TmtUpdateStatusSet UpdateStatusSet() const { return updateStatusSet_; }
    void SetUpdateStatusSet(TmtUpdateStatusSet Value) { updateStatusSet_ = Value; }
    // Parsed filter expression; evaluated by the filter-expression unit.
    void* FilterExpression() const { return filterExpression_; }
    void SetFilterExpression(void* Value) { filterExpression_ = Value; }

    TmtFilterIndexEvent OnFilterIndex;

private:
    int FirstEqual(const TmtFieldList* FieldList, PmtRecord KeyRecord, bool Partial, bool& Found);
    int InsertionPoint(PmtRecord Record);
    void InsertAt(int Pos, PmtRecord Record);
    int RemoveReference(PmtRecord Record, int Hint);
    bool IsCurrent() const;

    std::string name_;
    std::vector<PmtRecord> references_;
    TmtCustomMemTable* dataSet_;
    std::string indexFields_;
    TmtFieldList fieldList_;
    TmtMemTableCompareOptions options_;
    bool isOrdered_ = false;
    bool isSortable_ = false;
    bool isRowOrder_ = false;
    bool idsAscending_ = true;
    bool isInternal_ = false;
    int ordinal_ = 0;
    bool isFiltered_ = false;
    bool enabled_ = true;
    TmtUpdateStatusSet updateStatusSet_{usUnmodified, usModified, usInserted};
    void* filterExpression_ = nullptr;
    std::vector<std::pair<int32_t, int32_t>> savedOrder_;  // (RecordID, UniqueRecordID)
    std::vector<std::vector<std::pair<int32_t, int32_t>>> levelOrders_;
};

class TmtIndexes : public TObject {
public:
    FAT_CLASS_NAME(TmtIndexes)
    explicit TmtIndexes(TmtCustomMemTable* DataSet);
    ~TmtIndexes() override;
    TmtIndexes(const TmtIndexes&) = delete;
    TmtIndexes& operator=(const TmtIndexes&) = delete;

    void Clear();
    int Count() const { return static_cast<int>(indexes_.size()); }
    TmtIndex* Items(int i) const { return indexes_[static_cast<std::size_t>(i)].get(); }
    TmtIndex* Get(const std::string& Name) const;
    TmtIndex* GetByFieldNames(const std::string& FieldNames) const;
    TmtIndex* AddIndex(std::unique_ptr<TmtIndex> Index);
    TmtIndex* Add(TIndexDef* IndexDef);
    void DeleteIndex(TmtIndex* Index);
    void EmptyAll();
    void ReBuildAll();
    void MarkAllDirty();
    // Finds the record matching KeyRecord on FieldList; Index is its position
    // in the table's current index. Uses another index to narrow the search
    // only where that gives the same answer as a scan of the current index.
    int Search(const TmtFieldList& FieldList, PmtRecord KeyRecord, bool& Found, int& Index, bool AutoAddIndex,
               bool RespectFilter, bool Nearest);
    void CheckRecordUniqueness(PmtRecord Record, PmtRecord ActualRecord);
    void ReflectToIndexes(int Change, PmtRecord OldRecord, PmtRecord NewRecord, int RecordPos, bool DontVersion);
    TmtIndex* RowOrderIndex() const { return rowOrder_; }
    void RememberRowOrder();

private:
    int SequentialSearch(const TmtFieldList& FieldList, PmtRecord KeyRecord, bool RespectFilter, bool Nearest,
                         bool& Found);
    bool IndexUsableFor(const TmtIndex* Index, const TmtFieldList& Search) const;

    TmtCustomMemTable* dataSet_;
    std::vector<std::unique_ptr<TmtIndex>> indexes_;
    TmtIndex* rowOrder_ = nullptr;
};
