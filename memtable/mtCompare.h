#pragma once
// Field lists with per-field compare options, the comparison of field values
// and records, and the key bytes that write that comparison as an order of
// bytes: what an index orders by, and what a locate, a filter and a link
// compare with.
#include <cstdint>
#include <string>
#include <vector>

#include "memtable/mtCommon.h"

class TmtCustomMemTable;

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

// Argument How of CompareRecords. mtBreakOnInequality stops as
// mtBreakOnDifference does, but its result only tells equal records (0) from
// others (not 0, of no meaning as an order): texts are then compared for
// equality, which the collation need not be asked for.
enum TmtCompareHow { mtBreakOnDifference, mtBreakOnLess, mtBreakOnGreater, mtBreakOnLessOrEqual,
                     mtBreakOnGreaterOrEqual, mtBreakOnInequality };

class TmtFieldList : public TObject {
public:
    FAT_CLASS_NAME(TmtFieldList)
    virtual void Clear() { entries_.clear(); }

    int Count() const { return static_cast<int>(entries_.size()); }
    int Add(TField* Field, TmtifoOptions Options);
    int IndexOf(const TField* Field) const;
    void AssignTo(TmtFieldList& Dest) const;
    void MergeOptionsTo(TmtFieldList& Dest) const;

    TField* Fields(int i) const { return entries_[static_cast<std::size_t>(i)].field; }
    int FieldNo(int i) const { return entries_[static_cast<std::size_t>(i)].fieldNo; }
    int FieldOfs(int i) const { return entries_[static_cast<std::size_t>(i)].fieldOfs; }
    void SetFieldOfs(int i, int Ofs, int No) {
        entries_[static_cast<std::size_t>(i)].fieldOfs = Ofs;
        entries_[static_cast<std::size_t>(i)].fieldNo = No;
    }
    TmtifoOptions Options(int i) const { return entries_[static_cast<std::size_t>(i)].options; }
    void SetOptions(int i, TmtifoOptions Value) { entries_[static_cast<std::size_t>(i)].options = Value; }

private:
    struct Entry {
        TField* field;
        int32_t fieldOfs;
        int32_t fieldNo;
        TmtifoOptions options;
    };
    std::vector<Entry> entries_;
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

// Whether values of this type under these options can be written as key
// bytes whose memcmp order is CompareFields' order.
bool IsKeyableField(TFieldType Type, TmtifoOptions Options);
// Appends the key bytes of one value (nullptr: null) to Key: a null sorts
// first (last when descending), texts by the pt-BR sort key the options ask
// for. The bytes of one value never form a prefix of another's, so keys of
// several fields compare field by field.
void AppendKeyBytes(std::string& Key, const uint8_t* Value, int32_t Length, TFieldType Type,
                    TmtifoOptions Options);
// memcmp order of two byte strings, the shorter first on a tie: -1, 0 or 1.
int CompareKeyBytes(const uint8_t* A, std::size_t LengthA, const uint8_t* B, std::size_t LengthB);

}  // namespace memtable
