// Field lists, the comparison of field values and of records, and the key
// bytes that write that comparison as an order of bytes.
//
// CompareFields is the order of one field; CompareRecords, the order of a
// field list, field after field, with a table's OnCompareFields taking the
// place of CompareFields where it is set. Indexes, sorts, locates and links
// all compare through these two, so that each order is defined once.
//
// The rule kept here: a value's key bytes compare under memcmp as
// CompareFields compares the value (the same order and the same ties) and
// never begin another value's, so that keys of several fields compare field
// by field. The one exception is a NaN, which CompareFields finds equal to
// anything and the keys put above every number: no order does both. What no
// key bytes can write (a partial text, a null left out, a handler's
// comparison) is compared from the records.
#include <algorithm>
#include <cstring>

#include "memtable/mtCompare.h"
#include "memtable/mtKeyBytes.h"
#include "memtable/mtMemResEng.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"

using namespace memtable;

// ---------------------------------------------------------------------------
// Field lists

int TmtFieldList::Add(TField* Field, TmtifoOptions Options) {
    if (Count() >= MT_MAX_FIELDS) throw EMemTableError(mtres::TooManyFieldDefs);
    entries_.push_back(Entry{Field, -1, Field != nullptr ? Field->FieldNo() : 0, Options});
    return Count() - 1;
}

int TmtFieldList::IndexOf(const TField* Field) const {
    for (int i = 0; i < Count(); ++i)
        if (entries_[static_cast<std::size_t>(i)].field == Field) return i;
    return -1;
}

void TmtFieldList::AssignTo(TmtFieldList& Dest) const { Dest.entries_ = entries_; }

void TmtFieldList::MergeOptionsTo(TmtFieldList& Dest) const {
    int n = std::min(Count(), Dest.Count());
    for (int i = 0; i < n; ++i) Dest.entries_[static_cast<std::size_t>(i)].options += entries_[static_cast<std::size_t>(i)].options;
}

namespace memtable {

bool IsIndexableType(TFieldType Type) {
    if (!IsSupportedFieldType(Type)) return false;
    if (Type == ftBytes || Type == ftVarBytes || IsBlobFieldType(Type)) return false;
    return Type != ftADT && Type != ftArray;
}

namespace {

struct NameSpec {
    std::string name;
    std::string letters;
};

std::vector<NameSpec> SplitSpecs(const std::string& text) {
    std::vector<NameSpec> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        std::string part = Trim(text.substr(start, end - start));
        if (!part.empty()) {
            NameSpec s;
            std::size_t colon = part.find(':');
            if (colon == std::string::npos) {
                s.name = part;
            } else {
                s.name = Trim(part.substr(0, colon));
                s.letters = UpperCase(part.substr(colon + 1));
            }
            out.push_back(s);
        }
        start = end + 1;
    }
    return out;
}

}  // namespace

void BuildIndexFieldList(TmtCustomMemTable* Table, TDataSet* DataSet, TmtFieldList& List,
                         const std::string& FieldNames) {
    List.Clear();
    for (const NameSpec& s : SplitSpecs(FieldNames)) {
        TmtifoOptions opts;
        for (char c : s.letters) {
            switch (c) {
                case 'C': opts.Include(mtifoCaseInsensitive); break;
                case 'D': opts.Include(mtifoDescending); break;
                case 'N': opts.Include(mtifoIgnoreNull); break;
                case 'P': opts.Include(mtifoPartial); break;
                case 'L': opts.Include(mtifoIgnoreLocale); break;
                default: break;
            }
        }
        TField* field = DataSet->FieldByName(s.name);
        TFieldKind kind = field->FieldKind();
        bool kindOk = kind == fkData || kind == fkCalculated || kind == fkLookup || kind == fkInternalCalc;
        if (!kindOk || !IsIndexableType(field->DataType()))
            DatabaseError(Format(mtres::CantIndexField, field->DisplayName()));
        if ((kind == fkCalculated || kind == fkLookup) && Table != nullptr && DataSet == Table)
            Table->SetRecalcOnIndex(true);
        List.Add(field, opts);
    }
    for (int i = 0; i < List.Count(); ++i) {
        TField* f = List.Fields(i);
        int ofs = -1;
        if (Table != nullptr && DataSet == Table && Table->Common()->LayoutDone())
            ofs = Table->Common()->GetFieldOffset(f);
        List.SetFieldOfs(i, ofs, f->FieldNo());
    }
}

void SetFieldListOptions(TmtCustomMemTable* Table, TmtFieldList& List, TmtifoOption Option,
                         const std::string& FieldNames) {
    (void)Table;
    std::vector<std::string> names;
    for (const NameSpec& s : SplitSpecs(FieldNames)) names.push_back(s.name);
    for (int i = 0; i < List.Count(); ++i) {
        bool named = false;
        for (const std::string& n : names)
            if (SameText(n, List.Fields(i)->FieldName())) named = true;
        TmtifoOptions o = List.Options(i);
        if (named)
            o.Include(Option);
        else
            o.Exclude(Option);
        List.SetOptions(i, o);
    }
}

bool IsFieldListPrefix(TmtCustomMemTable* Table, const TmtFieldList& IndexList, const TmtFieldList& SearchList) {
    (void)Table;
    if (IndexList.Count() < SearchList.Count()) return false;
    for (int i = 0; i < SearchList.Count(); ++i)
        if (IndexList.Fields(i) != SearchList.Fields(i)) return false;
    return true;
}

TmtMemTableCompareOptions IndexOptionsToCompareOptions(TIndexOptions Options) {
    TmtMemTableCompareOptions r;
    if (Options.Contains(ixUnique)) r.Include(mtcoUnique);
    if (Options.Contains(ixDescending)) r.Include(mtcoDescending);
    if (Options.Contains(ixCaseInsensitive)) r.Include(mtcoCaseInsensitive);
    if (Options.Contains(ixNonMaintained)) r.Include(mtcoNonMaintained);
    return r;
}

std::string FieldListText(const TmtFieldList& List) {
    std::string s;
    for (int i = 0; i < List.Count(); ++i) {
        if (i > 0) s += ";";
        s += List.Fields(i)->FieldName();
    }
    return s;
}

namespace {

template <typename T>
int Sign(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int SignOf(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }


bool IsTextType(TFieldType FieldType) {
    switch (FieldType) {
        case ftString: case ftFixedChar: case ftGuid: case ftWideString: case ftFixedWideChar: return true;
        default: return false;
    }
}

// Two zero-terminated UTF-8 texts, as CompareFields compares them. With
// EqualOnly the result only tells equal (0) from different (1): the texts
// are then compared as AnsiSameStr and AnsiSameText do, without opening a
// collator for texts whose bytes already tell (a search by a name at
// start-up would otherwise load the collation's data for nothing).
int CompareTexts(const uint8_t* A, const uint8_t* B, TmtifoOptions Options, bool& FullCompare, bool EqualOnly) {
    std::string_view a(reinterpret_cast<const char*>(A));
    std::string_view b(reinterpret_cast<const char*>(B));
    if (Options.Contains(mtifoPartial)) {
        int la = Length(a), lb = Length(b);
        if (la != lb) {
            FullCompare = false;
            if (la < lb) {
                b = b.substr(0, utf8::ByteOffset(b, static_cast<std::size_t>(la)));
            }
        }
    }
    const bool caseInsensitive = Options.Contains(mtifoCaseInsensitive);
    if (Options.Contains(mtifoIgnoreLocale)) return SignOf(caseInsensitive ? CompareText(a, b) : CompareStr(a, b));
    if (EqualOnly) return (caseInsensitive ? AnsiSameText(a, b) : AnsiSameStr(a, b)) ? 0 : 1;
    return SignOf(caseInsensitive ? AnsiCompareText(a, b) : AnsiCompareStr(a, b));
}

}  // namespace

int CompareFields(const uint8_t* A, const uint8_t* B, TFieldType FieldType, TmtifoOptions Options,
                  bool& FullCompare, int LocaleID) {
    (void)LocaleID;  // the platform offers one collation: pt-BR
    FullCompare = true;
    int r = 0;
    switch (FieldType) {
        case ftString: case ftFixedChar: case ftGuid: case ftWideString: case ftFixedWideChar:
            r = CompareTexts(A, B, Options, FullCompare, false);
            break;
        case ftSmallint:
            r = Sign(ReadValue<int16_t>(A), ReadValue<int16_t>(B));
            break;
        case ftInteger: case ftAutoInc:
            r = Sign(ReadValue<int32_t>(A), ReadValue<int32_t>(B));
            break;
        case ftWord:
            r = Sign(ReadValue<uint16_t>(A), ReadValue<uint16_t>(B));
            break;
        case ftBoolean: {
            bool a = ReadValue<int16_t>(A) != 0, b = ReadValue<int16_t>(B) != 0;
            r = Sign(static_cast<int>(a), static_cast<int>(b));
            break;
        }
        case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
            r = Sign(ReadValue<double>(A), ReadValue<double>(B));
            break;
        case ftLargeint: case ftBCD: case ftFMTBcd:
            r = Sign(ReadValue<int64_t>(A), ReadValue<int64_t>(B));
            break;
        default:
            r = 0;
            break;
    }
    if (Options.Contains(mtifoDescending)) r = -r;
    return r;
}

// --- key bytes

namespace {

void AppendTextKey(std::string& Key, std::string_view Text, TmtifoOptions Options) {
    if (Options.Contains(mtifoIgnoreLocale)) {
        // CompareStr and CompareText: bytes, the latter with a-z folded. The
        // terminator sorts the shorter of two texts with one start first.
        const std::size_t base = Key.size();
        Key.append(Text);
        if (Options.Contains(mtifoCaseInsensitive))
            for (std::size_t i = base; i < Key.size(); ++i)
                if (Key[i] >= 'a' && Key[i] <= 'z') Key[i] = static_cast<char>(Key[i] - 32);
        Key.push_back('\0');
    } else {
        // The collation-element keys: the order and ties of AnsiCompareText
        // and AnsiCompareStr, made several times faster than the collator's
        // own sort keys. Index keys live only in memory and are compared only
        // with one another, so their bytes may be these. A zero byte, which no
        // weight and no text byte is, ends the value, so that no text's key is
        // a prefix of another's and the next field's bytes compare only
        // between equal texts.
        if (Options.Contains(mtifoCaseInsensitive))
            AppendAnsiCompactCollationKeyText(Key, Text);
        else
            AppendAnsiCompactCollationKeyStr(Key, Text);
    }
}

}  // namespace

bool IsKeyableField(TFieldType Type, TmtifoOptions Options) {
    if (Options.Contains(mtifoPartial) || Options.Contains(mtifoIgnoreNull)) return false;
    switch (Type) {
        case ftString: case ftFixedChar: case ftGuid: case ftWideString: case ftFixedWideChar:
        case ftSmallint: case ftInteger: case ftAutoInc: case ftWord: case ftBoolean:
        case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
        case ftLargeint: case ftBCD: case ftFMTBcd:
            return true;
        default:
            return false;
    }
}

void AppendKeyBytes(std::string& Key, const uint8_t* Value, int32_t Length, TFieldType Type, TmtifoOptions Options) {
    const std::size_t base = Key.size();
    if (Value == nullptr) {
        Key.push_back('\0');
    } else {
        Key.push_back('\1');
        switch (Type) {
            case ftString: case ftFixedChar: case ftGuid: case ftWideString: case ftFixedWideChar: {
                const auto* p = reinterpret_cast<const char*>(Value);
                AppendTextKey(Key, std::string_view(p, strnlen(p, static_cast<std::size_t>(std::max(Length, 0)))),
                              Options);
                break;
            }
            case ftSmallint: PutBigEndian(Key, static_cast<uint16_t>(ReadValue<int16_t>(Value)) ^ 0x8000u, 2); break;
            case ftWord: PutBigEndian(Key, ReadValue<uint16_t>(Value), 2); break;
            case ftInteger: case ftAutoInc:
                PutBigEndian(Key, static_cast<uint32_t>(ReadValue<int32_t>(Value)) ^ 0x80000000u, 4);
                break;
            case ftBoolean: Key.push_back(ReadValue<int16_t>(Value) != 0 ? '\1' : '\0'); break;
            case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
                PutBigEndian(Key, DoubleImage(ReadValue<double>(Value)), 8);
                break;
            case ftLargeint: case ftBCD: case ftFMTBcd:
                PutBigEndian(Key, static_cast<uint64_t>(ReadValue<int64_t>(Value)) ^ (uint64_t{1} << 63), 8);
                break;
            default: break;
        }
    }
    if (Options.Contains(mtifoDescending))
        for (std::size_t i = base; i < Key.size(); ++i) Key[i] = static_cast<char>(~static_cast<unsigned char>(Key[i]));
}

int CompareKeyBytes(const uint8_t* A, std::size_t LengthA, const uint8_t* B, std::size_t LengthB) {
    const int r = std::memcmp(A, B, std::min(LengthA, LengthB));
    if (r != 0) return r < 0 ? -1 : 1;
    return LengthA == LengthB ? 0 : (LengthA < LengthB ? -1 : 1);
}

}  // namespace memtable

// ---------------------------------------------------------------------------
// Record comparison

int TmtCommon::CompareRecords(const TmtFieldList& FieldList, int MaxFields, PmtRecord KeyRecord, PmtRecord ARecord,
                              bool IgnoreNull, bool Partial, int How, bool* FullCompareOut) {
    if (FullCompareOut != nullptr) *FullCompareOut = true;
    if (KeyRecord == nullptr || ARecord == nullptr) return 0;
    int n = FieldList.Count();
    if (MaxFields > 0 && MaxFields < n) n = MaxFields;
    bool fullCompare = true;
    int result = 0;
    std::string sk, sa;
    for (int i = 0; i < n; ++i) {
        TmtifoOptions opts = FieldList.Options(i);
        if (How != 0) opts.Exclude(mtifoDescending);
        if (Partial) opts.Include(mtifoPartial);
        TField* field = FieldList.Fields(i);
        int fno = FieldList.FieldNo(i);
        int32_t lk = 0, la = 0;
        const uint8_t* k = FieldValueForRead(KeyRecord, fno, field, lk, sk);
        if (k == nullptr && (IgnoreNull || opts.Contains(mtifoIgnoreNull))) continue;
        const uint8_t* a = FieldValueForRead(ARecord, fno, field, la, sa);
        if (k != nullptr && a != nullptr) {
            if (owner_ != nullptr && owner_->OnCompareFields) {
                result = 0;
                owner_->OnCompareFields(owner_, field, k, a, field->DataType(), opts, fullCompare, result);
            } else if (How == mtBreakOnInequality && IsTextType(field->DataType())) {
                fullCompare = true;
                result = CompareTexts(k, a, opts, fullCompare, true);
            } else {
                result = CompareFields(k, a, field->DataType(), opts, fullCompare, localeID_);
            }
        } else {
            result = (k == nullptr && a == nullptr) ? 0 : (k == nullptr ? -1 : 1);
            if (opts.Contains(mtifoDescending)) result = -result;
        }
        if (!fullCompare && FullCompareOut != nullptr) *FullCompareOut = false;
        bool stop = false;
        switch (How) {
            case mtBreakOnDifference: case mtBreakOnInequality: stop = result != 0 || !fullCompare; break;
            case 1: stop = result < 0; break;
            case 2: stop = result > 0; break;
            case 3: stop = result <= 0; break;
            case 4: stop = result >= 0; break;
            default: break;
        }
        if (stop) break;
    }
    return result;
}
