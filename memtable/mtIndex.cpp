#include "memtable/mtIndex.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include <sys/mman.h>

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

bool IsStringKind(TFieldType t) { return IsTextFieldType(t); }

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

void PutBigEndian(std::string& Key, uint64_t v, int Bytes) {
    char bytes[8];
    for (int i = 0; i < Bytes; ++i) bytes[i] = static_cast<char>((v >> (8 * (Bytes - 1 - i))) & 0xFF);
    Key.append(bytes, static_cast<std::size_t>(Bytes));
}

// A double as an unsigned integer of the same order. -0 is 0 (they compare
// equal), and every NaN is one value above infinity: CompareFields finds a
// NaN equal to anything, which no order can be.
uint64_t DoubleImage(double d) {
    if (d == 0) d = 0.0;
    if (std::isnan(d)) d = std::numeric_limits<double>::quiet_NaN();
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    if (std::isnan(d)) u &= ~(uint64_t{1} << 63);
    return (u >> 63) != 0 ? ~u : (u | (uint64_t{1} << 63));
}

// The image of a stored number (nullptr: null) whose order is the number's,
// null first; 0 for the types no 64-bit image holds with its null.
uint64_t NumberImage(const uint8_t* v, TFieldType Type) {
    if (v == nullptr) return 0;
    switch (Type) {
        case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
            return DoubleImage(ReadValue<double>(v));
        case ftLargeint: case ftBCD: case ftFMTBcd:
            return 0;
        case ftSmallint:
            return (uint64_t{1} << 32) | (static_cast<uint16_t>(ReadValue<int16_t>(v)) ^ 0x8000u);
        case ftWord:
            return (uint64_t{1} << 32) | ReadValue<uint16_t>(v);
        case ftBoolean:
            return (uint64_t{1} << 32) | (ReadValue<int16_t>(v) != 0 ? 1u : 0u);
        default:  // ftInteger, ftAutoInc
            return (uint64_t{1} << 32) | (static_cast<uint32_t>(ReadValue<int32_t>(v)) ^ 0x80000000u);
    }
}

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

// ---------------------------------------------------------------------------
// Index

TmtIndex::TmtIndex(const std::string& Name, TmtCustomMemTable* DataSet, const std::string& Fields,
                   TmtMemTableCompareOptions Options, bool IsSortable, bool IsInternal)
    : name_(Name), dataSet_(DataSet), indexFields_(Fields), options_(Options), isSortable_(IsSortable),
      isInternal_(IsInternal) {
    if (!Fields.empty()) {
        BuildIndexFieldList(DataSet, DataSet, fieldList_, Fields);
        const TmtifoOption opts[] = {mtifoDescending, mtifoCaseInsensitive, mtifoPartial, mtifoIgnoreNull,
                                     mtifoIgnoreLocale};
        for (int bit = 0; bit < 5; ++bit) {
            if (!Options.Contains(static_cast<TmtMemTableCompareOption>(bit))) continue;
            for (int i = 0; i < fieldList_.Count(); ++i) {
                TmtifoOptions o = fieldList_.Options(i);
                o.Include(opts[bit]);
                fieldList_.SetOptions(i, o);
            }
        }
    }
    CheckKeyable();
}

std::unique_ptr<TmtIndex> TmtIndex::CreateFromIndexDef(TIndexDef* IndexDef, TmtCustomMemTable* DataSet) {
    auto index = std::make_unique<TmtIndex>(IndexDef->Name(), DataSet, IndexDef->Fields(),
                                            IndexOptionsToCompareOptions(IndexDef->Options()), true, false);
    TmtFieldList& list = index->IndexFieldList();
    // Per-field options of the definition come on top of the index-wide ones.
    if (!IndexDef->Options().Contains(ixDescending) && !IndexDef->DescFields().empty())
        SetFieldListOptions(DataSet, list, mtifoDescending, IndexDef->DescFields());
    if (!IndexDef->Options().Contains(ixCaseInsensitive) && !IndexDef->CaseInsFields().empty())
        SetFieldListOptions(DataSet, list, mtifoCaseInsensitive, IndexDef->CaseInsFields());
    index->CheckKeyable();
    return index;
}

void TmtIndex::CheckKeyable() {
    pendingKeys_.reset();
    keyable_ = fieldList_.Count() > 0;
    for (int i = 0; i < fieldList_.Count() && keyable_; ++i)
        if (fieldList_.FieldNo(i) <= 0 || !IsKeyableField(fieldList_.Fields(i)->DataType(), fieldList_.Options(i)))
            keyable_ = false;
    keysValid_ = keyable_ && Count() == 0;
}

bool TmtIndex::IsCurrent() const { return dataSet_->CurIndex() == this; }

PmtRecord TmtIndex::RecordAt(int Position) const { return dataSet_->Common()->Record(IdAt(Position)); }

// Inlined where it is called: a function of nothing but prefetches counts
// as free of effects to the optimiser, which then drops the call.
[[gnu::always_inline]] inline void TmtIndex::PrefetchRecordAt(int Position) const {
    const int32_t id = IdAt(Position);
    dataSet_->Common()->PrefetchRecord(id);
    if (!isRowOrder_) {
        const auto* r = static_cast<const char*>(entries_[static_cast<std::size_t>(Position)].hint);
        if (r != nullptr) {
            __builtin_prefetch(r);
            __builtin_prefetch(r + 64);
        }
    }
}

bool TmtIndex::KeysReady() const {
    return keyable_ && keysValid_ && !isRowOrder_ && !dataSet_->OnCompareFields;
}

bool TmtIndex::HasKeys() const {
    // Whoever asks for the keys gets them written. No index is a const
    // object: only the way to it may be.
    if (pendingKeys_ != nullptr) const_cast<TmtIndex*>(this)->MakePendingKeys();
    return KeysReady();
}

bool TmtIndex::KeysForSearch() const {
    // Writing the keys costs about as much as the sort; a bisection by the
    // records costs a few dozen comparisons. Past as many searches as make
    // the keys worth their writing, they are written.
    constexpr int kSearchesBeforeKeys = 64;
    if (pendingKeys_ != nullptr && unkeyedSearches_ < kSearchesBeforeKeys) {
        ++unkeyedSearches_;
        return false;
    }
    return HasKeys();
}

void TmtIndex::BuildKey(PmtRecord Record, int FieldCount, std::string& Key) const {
    Key.clear();
    TmtCommon* common = dataSet_->Common();
    std::string scratch;
    const int n = std::min(FieldCount, fieldList_.Count());
    const bool buffer = !TmtCommon::IsPacked(Record);
    for (int i = 0; i < n; ++i) {
        TField* f = fieldList_.Fields(i);
        const TFieldType type = f->DataType();
        const int ofs = fieldList_.FieldOfs(i);
        // A number in a record buffer (a search's key record): read in place.
        if (buffer && ofs >= 0 && !IsStringKind(type) &&
            (common->FieldFlags(fieldList_.FieldNo(i)) & kFlagIndirect) == 0) {
            const uint8_t* slot = Record->Data() + ofs;
            AppendKeyBytes(Key, slot[0] != 0 ? slot + 1 : nullptr, 8, type, fieldList_.Options(i));
            continue;
        }
        int32_t len = 0;
        const uint8_t* v = common->FieldValueForRead(Record, fieldList_.FieldNo(i), f, len, scratch);
        TextMemo* memo = static_cast<std::size_t>(i) < memo_.size() && memo_[static_cast<std::size_t>(i)].Kept()
                             ? &memo_[static_cast<std::size_t>(i)]
                             : nullptr;
        if (memo != nullptr && v != nullptr) {
            const auto* p = reinterpret_cast<const char*>(v);
            const std::string_view text(p, strnlen(p, static_cast<std::size_t>(std::max(len, 0))));
            std::string_view known;
            if (memo->Find(text, known)) {
                Key += known;
                continue;
            }
            const std::size_t base = Key.size();
            AppendKeyBytes(Key, v, len, f->DataType(), fieldList_.Options(i));
            memo->Add(text, std::string_view(Key).substr(base));
            continue;
        }
        AppendKeyBytes(Key, v, len, f->DataType(), fieldList_.Options(i));
    }
}

namespace {

constexpr int kTagShift = 24;
constexpr uint32_t kNumberBits = (uint32_t{1} << kTagShift) - 1;

uint32_t MemoTag(uint64_t Hash) { return static_cast<uint32_t>(Hash >> 56) << kTagShift; }

}  // namespace

void TmtIndex::TextMemo::Reset(std::size_t Capacity, std::size_t Expected) {
    // Item numbers have 24 bits.
    capacity_ = std::min<std::size_t>(Capacity, kNumberBits - 1);
    items_.clear();
    slots_.clear();
    if (capacity_ == 0) return;
    std::size_t size = 16;
    while (size < Expected * 2) size *= 2;
    slots_.assign(size, 0);
    items_.reserve(std::min(Expected, capacity_));
}

bool TmtIndex::TextMemo::Find(std::string_view Text, std::string_view& Key) const {
    if (items_.empty()) return false;
    const uint64_t h = std::hash<std::string_view>{}(Text);
    const uint32_t tag = MemoTag(h);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = h & mask;; i = (i + 1) & mask) {
        const uint32_t s = slots_[i];
        if (s == 0) return false;
        if ((s & ~kNumberBits) != tag) continue;
        const char* item = items_[(s & kNumberBits) - 1].get();
        const uint32_t textLength = ReadValue<uint32_t>(reinterpret_cast<const uint8_t*>(item));
        if (textLength != Text.size() || std::memcmp(item + 8, Text.data(), Text.size()) != 0) continue;
        Key = std::string_view(item + 8 + textLength, ReadValue<uint32_t>(reinterpret_cast<const uint8_t*>(item) + 4));
        return true;
    }
}

void TmtIndex::TextMemo::Grow() {
    std::fill(slots_.begin(), slots_.end(), 0);
    slots_.resize(slots_.size() * 2, 0);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t n = 0; n < items_.size(); ++n) {
        const char* item = items_[n].get();
        const std::string_view text(item + 8, ReadValue<uint32_t>(reinterpret_cast<const uint8_t*>(item)));
        const uint64_t h = std::hash<std::string_view>{}(text);
        std::size_t i = h & mask;
        while (slots_[i] != 0) i = (i + 1) & mask;
        slots_[i] = MemoTag(h) | static_cast<uint32_t>(n + 1);
    }
}

void TmtIndex::TextMemo::Add(std::string_view Text, std::string_view Key) {
    if (items_.size() >= capacity_ || Text.size() > UINT32_MAX || Key.size() > UINT32_MAX) return;
    std::string_view known;
    if (Find(Text, known)) return;
    std::unique_ptr<char[]> owned(new char[8 + Text.size() + Key.size()]);
    char* item = owned.get();
    WriteValue<uint32_t>(reinterpret_cast<uint8_t*>(item), static_cast<uint32_t>(Text.size()));
    WriteValue<uint32_t>(reinterpret_cast<uint8_t*>(item) + 4, static_cast<uint32_t>(Key.size()));
    std::memcpy(item + 8, Text.data(), Text.size());
    std::memcpy(item + 8 + Text.size(), Key.data(), Key.size());
    items_.push_back(std::move(owned));
    if (items_.size() * 2 > slots_.size()) {
        Grow();  // places every item, this one included
        return;
    }
    const uint64_t h = std::hash<std::string_view>{}(Text);
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = h & mask;
    while (slots_[i] != 0) i = (i + 1) & mask;
    slots_[i] = MemoTag(h) | static_cast<uint32_t>(items_.size());
}

namespace {

// memcmp's sign for the short keys of an index, without the call.
inline int CompareBytes(const uint8_t* A, const uint8_t* B, std::size_t N) {
    while (N >= 8) {
        uint64_t a, b;
        std::memcpy(&a, A, 8);
        std::memcpy(&b, B, 8);
        if (a != b) {
            a = __builtin_bswap64(a);
            b = __builtin_bswap64(b);
            return a < b ? -1 : 1;
        }
        A += 8;
        B += 8;
        N -= 8;
    }
    for (; N > 0; --N, ++A, ++B)
        if (*A != *B) return *A < *B ? -1 : 1;
    return 0;
}

uint64_t PrefixOf(const uint8_t* Bytes, std::size_t Length) {
    if (Length >= 8) {
        uint64_t p;
        std::memcpy(&p, Bytes, 8);
        return __builtin_bswap64(p);
    }
    uint64_t p = 0;
    const std::size_t n = std::min<std::size_t>(Length, 8);
    for (std::size_t i = 0; i < n; ++i) p |= static_cast<uint64_t>(Bytes[i]) << (8 * (7 - i));
    return p;
}

}  // namespace

TmtIndex::Probe TmtIndex::MakeProbe(const std::string& Key) const {
    Probe p;
    p.bytes = reinterpret_cast<const uint8_t*>(Key.data());
    p.length = Key.size();
    p.side = kEachEntry;
    const std::size_t skip = shared_;
    const std::size_t shared = std::min(p.length, skip);
    if (shared > 0) {
        // A few bytes as a rule: compared in place, without a call.
        const uint8_t* sb = SharedBytes();
        std::size_t i = 0;
        while (i < shared && p.bytes[i] == sb[i]) ++i;
        const int c = i == shared ? 0 : (p.bytes[i] < sb[i] ? -1 : 1);
        if (c != 0)
            p.side = c < 0 ? -1 : 1;
        else if (p.length <= skip)
            p.side = 0;  // every entry starts with the probe
    }
    const std::size_t rest = p.length - shared;
    p.prefix = PrefixOf(p.bytes + shared, rest);
    p.mask = rest >= 8 ? ~uint64_t{0} : (rest == 0 ? 0 : ~uint64_t{0} << (8 * (8 - rest)));
    const std::size_t after = rest > 8 ? rest - 8 : 0;
    p.next = after == 0 ? 0 : PrefixOf(p.bytes + shared + 8, after);
    p.nextMask = after >= 8 ? ~uint64_t{0} : (after == 0 ? 0 : ~uint64_t{0} << (8 * (8 - after)));
    return p;
}

uint64_t TmtIndex::PrefixPastShared(const uint8_t* Bytes, std::size_t Length) const {
    const std::size_t skip = std::min<std::size_t>(Length, shared_);
    return PrefixOf(Bytes + skip, Length - skip);
}

void TmtIndex::SetShared(std::size_t Length) {
    EntriesChanged();
    shared_ = static_cast<uint8_t>(std::min<std::size_t>(Length, shared_));
    uint32_t last = UINT32_MAX;
    uint64_t prefix = 0;
    entries_.ForEach([&](Entry& e) {
        // Entries sharing key bytes sit side by side.
        if (e.key != last) {
            last = e.key;
            prefix = PrefixPastShared(KeyBytes(e), KeyLength(e));
        }
        e.prefix = prefix;
    });
}

void TmtIndex::FindSharedBytes() {
    shared_ = 0;
    if (entries_.empty() || !keysValid_) return;
    // Keys in memcmp order: what the first and the last share, all share.
    const Entry& first = entries_.front();
    const Entry& last = entries_.back();
    const uint8_t* a = KeyBytes(first);
    const uint8_t* b = KeyBytes(last);
    const std::size_t n = std::min(KeyLength(first), KeyLength(last));
    std::size_t same = 0;
    while (same < n && a[same] == b[same]) ++same;
    if (same == 0) return;
    shared_ = static_cast<uint8_t>(std::min<std::size_t>(same, UINT8_MAX));
    SetShared(shared_);
}

void TmtIndex::KeepSharedWith(const uint8_t* Bytes, std::size_t Length) {
    if (shared_ == 0) return;
    if (entries_.empty()) {
        shared_ = 0;
        return;
    }
    const uint8_t* shared = SharedBytes();
    const std::size_t n = std::min<std::size_t>(Length, shared_);
    std::size_t same = 0;
    while (same < n && Bytes[same] == shared[same]) ++same;
    if (same < shared_) SetShared(same);
}

int TmtIndex::CompareProbe(const Probe& P, uint64_t Prefix, uint32_t Key) const {
    if (P.side != kEachEntry) return P.side;
    const uint64_t ep = Prefix & P.mask;
    if (P.prefix != ep) return P.prefix < ep ? -1 : 1;
    const std::size_t past = shared_ + std::size_t{8};
    if (P.length <= past) return 0;  // keys of equal prefixes differ only past it
    const uint8_t* bytes = Pool() + Key;
    const uint32_t length = ReadValue<uint32_t>(bytes);
    const std::size_t n = std::min<std::size_t>(P.length, length);
    if (n > past) {
        const int r = CompareBytes(P.bytes + past, bytes + 4 + past, n - past);
        if (r != 0) return r;
    }
    // Keys never hold one another as a prefix unless they are equal on the
    // probe's fields; an entry too short for the probe sorts first.
    return P.length <= length ? 0 : 1;
}

namespace {

constexpr int kMarkStep = 16;
constexpr int kMarkedFrom = 4096;  // entries; below, a bisection stays in the cache

}  // namespace

TmtIndex::Mark TmtIndex::MarkOf(std::size_t Block, std::size_t Local) const {
    const Entry& e = entries_.BlockData(Block)[Local];
    const std::size_t length = KeyLength(e), past = std::size_t{shared_} + 8;
    const uint64_t next = length > past ? PrefixOf(KeyBytes(e) + past, length - past) : 0;
    return Mark{e.prefix, e.key, static_cast<uint32_t>(Local), next};
}

int TmtIndex::CompareMark(const Probe& P, const Mark& M) const {
    if (P.side != kEachEntry) return P.side;
    const uint64_t ep = M.prefix & P.mask;
    if (P.prefix != ep) return P.prefix < ep ? -1 : 1;
    // A difference in the next bytes orders as the keys do: past a key's
    // end its zero padding meets a probe byte above zero, and such a probe,
    // longer than the key, sorts after it.
    const uint64_t next = M.next & P.nextMask;
    if (next != P.next) return P.next < next ? -1 : 1;
    return CompareProbe(P, M.prefix, M.key);
}

bool TmtIndex::HeadsReady() const {
    if (marks_ == nullptr) marks_ = std::make_unique<Marks>();
    Marks& m = *marks_;
    if (m.valid) return true;
    // Making them reads every block's first entry; a search without them
    // reads a few of those, each a miss: worth it once a few searches for
    // every 16 blocks came.
    const std::size_t blocks = entries_.Blocks();
    if (++m.quietSearches < std::max<std::size_t>(2, blocks / 16)) return false;
    m.heads.clear();
    m.heads.reserve(blocks + blocks / 8 + 1);
    for (std::size_t b = 0; b < blocks; ++b) m.heads.push_back(MarkOf(b, 0));
    m.work += blocks;
    m.blocks.assign(blocks, BlockMarks{});
    m.valid = true;
    return true;
}

std::size_t TmtIndex::HeadsBlock(const Probe& P) const {
    const std::vector<Mark>& heads = marks_->heads;
    // The last block whose first entry lies below the probe (or the first).
    std::size_t l = 1, h = heads.size();
    while (l < h) {
        const std::size_t mid = l + (h - l) / 2;
        if (CompareMark(P, heads[mid]) > 0)
            l = mid + 1;
        else
            h = mid;
    }
    return l - 1;
}

bool TmtIndex::HeadsKept() const {
    return Count() >= kMarkedFrom && marks_ != nullptr && marks_->valid && marks_->heads.size() == entries_.Blocks();
}

int TmtIndex::HeadsGuess(const Probe& P, std::size_t B) const {
    const std::vector<Mark>& heads = marks_->heads;
    if (B + 1 >= heads.size()) return -1;
    const uint64_t first = heads[B].prefix & P.mask, last = heads[B + 1].prefix & P.mask;
    if (!(first < P.prefix && P.prefix <= last)) return -1;
    const auto size = static_cast<double>(entries_.BlockSize(B));
    return std::min(static_cast<int>(size) - 1,
                    static_cast<int>(static_cast<double>(P.prefix - first) * size / static_cast<double>(last - first)));
}

std::size_t TmtIndex::PrefetchSearch(const std::string& Key) const {
    if (IsStringKind(fieldList_.Fields(0)->DataType()) || !HeadsKept()) return SIZE_MAX;
    const Probe p = MakeProbe(Key);
    if (p.side != kEachEntry) return SIZE_MAX;
    const std::size_t b = HeadsBlock(p);
    if (const int at = HeadsGuess(p, b); at >= 0) __builtin_prefetch(entries_.BlockData(b) + at);
    return b;
}

void TmtIndex::MakeBlockMarks(std::size_t B) const {
    BlockMarks& bm = marks_->blocks[B];
    const std::size_t size = entries_.BlockSize(B);
    bm.items.clear();
    bm.items.reserve(size / kMarkStep + 8);
    bm.runs = false;
    std::size_t changes = 0;  // samples whose key is not the one before
    for (std::size_t i = 0; i < size; i += kMarkStep) {
        if (i > 0 && entries_.BlockData(B)[i].key != bm.items.back().key) ++changes;
        bm.items.push_back(MarkOf(B, i));
    }
    marks_->work += bm.items.size();
    // Long runs of one key (few distinct texts): the marks are instead
    // where the entries' key changes, so that they alone tell where a run
    // starts and a search reads no entry between them. Equal key references
    // only stand in one run (entries are in key order), so the changes lie
    // between samples of different references: with at most every other
    // sample after a change, the stretches read come to at most half the
    // block, and the marks kept are no more than the samples.
    const std::size_t samples = bm.items.size();
    if (changes * 2 > samples) {
        bm.valid = true;
        return;
    }
    const Entry* e = entries_.BlockData(B);
    std::vector<Mark> runs;
    runs.reserve(changes * 2 + 1);
    runs.push_back(bm.items.front());
    auto changesBetween = [&](std::size_t From, std::size_t To) {
        for (std::size_t i = From; i < To && runs.size() <= samples; ++i)
            if (e[i].key != e[i - 1].key) runs.push_back(MarkOf(B, i));
        marks_->work += To - From;
    };
    for (std::size_t j = 1; j < samples; ++j)
        if (bm.items[j].key != bm.items[j - 1].key) changesBetween(bm.items[j - 1].at + 1, bm.items[j].at + 1);
    changesBetween(bm.items.back().at + 1, size);
    if (runs.size() <= samples) {
        bm.items.swap(runs);
        bm.runs = true;
    }
    bm.valid = true;
}

int TmtIndex::MarkedLowerBound(const Probe& P, std::size_t B) const {
    BlockMarks& bm = marks_->blocks[B];
    if (!bm.valid) MakeBlockMarks(B);
    const Entry* e = entries_.BlockData(B);
    const int size = static_cast<int>(entries_.BlockSize(B));
    const Mark* m = bm.items.data();
    const int count = static_cast<int>(bm.items.size());
    uint32_t equalKey = UINT32_MAX;
    auto compareEntry = [&](const Entry& E) {
        if (E.key == equalKey) return 0;
        const int c = CompareProbe(P, E);
        if (c == 0) equalKey = E.key;
        return c;
    };
    // Every 16th mark first, then the marks between the two found.
    for (int k = 0; k < count; k += kMarkStep) __builtin_prefetch(m + k);
    int k = 0;
    while (k < count && CompareMark(P, m[k]) > 0) k += kMarkStep;
    int lo = k == 0 ? 0 : k - kMarkStep + 1, hi = std::min(k, count);
    for (const char* c = reinterpret_cast<const char*>(m + lo); c < reinterpret_cast<const char*>(m + hi); c += 64)
        __builtin_prefetch(c);
    // Marks whose prefix alone puts them below are counted without a branch
    // (a bisection mispredicts about every other step); only those of the
    // probe's own prefix are compared further.
    int below = 0;
    for (int i = lo; i < hi; ++i) below += (m[i].prefix & P.mask) < P.prefix ? 1 : 0;
    int found = lo + below;
    while (found < hi && CompareMark(P, m[found]) > 0) ++found;
    // Between the marks either side of the answer; where the marks are the
    // starts of runs, the entries before the one found hold the key of the
    // mark below the probe, also below.
    hi = found < count ? static_cast<int>(m[found].at) : size;
    lo = bm.runs ? hi : (found == 0 ? 0 : static_cast<int>(m[found - 1].at) + 1);
    if (lo > hi || hi > size) return -1;
    for (const char* c = reinterpret_cast<const char*>(e + lo); c < reinterpret_cast<const char*>(e + hi); c += 64)
        __builtin_prefetch(c);
    below = 0;
    for (int i = lo; i < hi; ++i) below += (e[i].prefix & P.mask) < P.prefix ? 1 : 0;
    int at = lo + below;
    while (at < hi && compareEntry(e[at]) > 0) ++at;
    // The answer is the lower bound only if its neighbours say so, also
    // across the block's ends; marks gone wrong would show here.
    if (at < size && compareEntry(e[at]) > 0) return -1;
    if (at > 0 && compareEntry(e[at - 1]) <= 0) return -1;
    if (at == 0 && B > 0 && CompareProbe(P, entries_.BlockData(B - 1)[entries_.BlockSize(B - 1) - 1]) <= 0) return -1;
    if (at == size && B + 1 < entries_.Blocks() && CompareProbe(P, entries_.BlockData(B + 1)[0]) > 0) return -1;
    return static_cast<int>(entries_.BlockStart(B)) + at;
}

void TmtIndex::MarksInserted(std::size_t Pos, std::size_t BlockBefore, std::size_t Blocks) const {
    ++orderChanges_;
    if (marks_ == nullptr || !marks_->valid) return;
    Marks& m = *marks_;
    const std::size_t blocks = entries_.Blocks();
    if (Blocks == 0 || blocks > Blocks + 1 || blocks < Blocks || m.heads.size() != Blocks) {
        m.Drop();
        return;
    }
    if (blocks == Blocks + 1) {
        // The block split in two halves, each marked again when searched.
        const std::size_t b = BlockBefore;
        m.heads.insert(m.heads.begin() + static_cast<std::ptrdiff_t>(b) + 1, MarkOf(b + 1, 0));
        m.heads[b] = MarkOf(b, 0);
        m.blocks[b] = BlockMarks{};
        m.blocks.insert(m.blocks.begin() + static_cast<std::ptrdiff_t>(b) + 1, BlockMarks{});
        m.work += 2;
        return;
    }
    const std::size_t b = entries_.BlockAt(Pos);
    const auto local = static_cast<uint32_t>(Pos - entries_.BlockStart(b));
    if (local == 0) {
        m.heads[b] = MarkOf(b, 0);
        ++m.work;
    }
    BlockMarks& bm = m.blocks[b];
    if (!bm.valid) return;
    if (bm.runs) {
        // A new run, or a run's new start: marked again at the next search.
        bm.valid = false;
        return;
    }
    // The marked entries from the new one on moved one place up; the new
    // one lies in the stretch between two marks, which grows by one.
    std::size_t after = bm.items.size();
    for (std::size_t k = 0; k < bm.items.size(); ++k)
        if (bm.items[k].at >= local) {
            if (after == bm.items.size()) after = k;
            ++bm.items[k].at;
        }
    const uint32_t from = after == 0 ? 0 : bm.items[after - 1].at + 1;
    const auto to = after < bm.items.size() ? bm.items[after].at : static_cast<uint32_t>(entries_.BlockSize(b));
    if (to - from > 2 * kMarkStep) bm.valid = false;
}

void TmtIndex::MarksErased(std::size_t Local, std::size_t Block, std::size_t Blocks) const {
    ++orderChanges_;
    if (marks_ == nullptr || !marks_->valid) return;
    Marks& m = *marks_;
    const std::size_t blocks = entries_.Blocks();
    if (m.heads.size() != Blocks || (blocks != Blocks && blocks + 1 != Blocks)) {
        m.Drop();
        return;
    }
    if (blocks + 1 == Blocks) {
        // The block's last entry went, and the block with it.
        m.heads.erase(m.heads.begin() + static_cast<std::ptrdiff_t>(Block));
        m.blocks.erase(m.blocks.begin() + static_cast<std::ptrdiff_t>(Block));
        return;
    }
    if (Local == 0) {
        m.heads[Block] = MarkOf(Block, 0);
        ++m.work;
    }
    BlockMarks& bm = m.blocks[Block];
    if (!bm.valid) return;
    if (bm.runs) {
        bm.valid = false;
        return;
    }
    const auto local = static_cast<uint32_t>(Local);
    std::size_t after = 0;
    while (after < bm.items.size() && bm.items[after].at < local) ++after;
    // A mark of the entry that left goes with it, and the stretch around it
    // grows by the marks' gap; the marks past it move one place down.
    if (after < bm.items.size() && bm.items[after].at == local)
        bm.items.erase(bm.items.begin() + static_cast<std::ptrdiff_t>(after));
    for (std::size_t k = after; k < bm.items.size(); ++k) --bm.items[k].at;
    const uint32_t from = after == 0 ? 0 : bm.items[after - 1].at + 1;
    const auto to = after < bm.items.size() ? bm.items[after].at : static_cast<uint32_t>(entries_.BlockSize(Block));
    if (to > from + 2 * kMarkStep) bm.valid = false;
}

int TmtIndex::LowerBound(const Probe& P, std::size_t Block) const {
    const int n = static_cast<int>(entries_.size());
    if (P.side != kEachEntry) return P.side > 0 ? n : 0;
    if (n == 0) return 0;
    const bool text = IsStringKind(fieldList_.Fields(0)->DataType());
    // The block: the last whose first entry lies below the probe. The
    // answer is inside it, or is the first entry of the next.
    std::size_t block = 0;
    bool headed = false;  // the block was told by the copies of the blocks' first entries
    const std::size_t blocks = entries_.Blocks();
    const bool marked = text && n >= kMarkedFrom && HeadsReady() && marks_->heads.size() == blocks;
    if (marked) {
        const int at = MarkedLowerBound(P, HeadsBlock(P));
        if (at >= 0) return at;
        marks_->Drop();  // made again after enough searches
    }
    const uint64_t front = entries_.front().prefix & P.mask, back = entries_.back().prefix & P.mask;
    if (blocks > 1 && !text && n >= kMarkedFrom && HeadsReady() && marks_->heads.size() == blocks) {
        // Once searches come often enough to keep them, the copies of the
        // blocks' first entries tell the block without a wait, and the guess
        // inside it is as near: numbers do not spread evenly (a number's
        // sign and exponent weigh more than its digits).
        block = Block < blocks ? Block : HeadsBlock(P);
        headed = true;
    } else if (blocks > 1 && !text && front < P.prefix && P.prefix <= back) {
        // Numbers spread evenly: the block where the value falls between the
        // ends, or one beside it.
        const auto guess = std::min<std::size_t>(
            static_cast<std::size_t>(static_cast<double>(P.prefix - front) / static_cast<double>(back - front) *
                                     static_cast<double>(n - 1)),
            static_cast<std::size_t>(n) - 1);
        block = entries_.BlockAt(guess);
        // Dense keys (codes, numbers given in sequence) sit where their value
        // falls: the guess and a neighbour answer alone when they bracket the
        // probe, one line read where the ends of blocks would cost several.
        const Entry* at = entries_.BlockData(block);
        const std::size_t local = guess - entries_.BlockStart(block), size = entries_.BlockSize(block);
        if (CompareProbe(P, at[local]) <= 0) {
            if (local > 0 && CompareProbe(P, at[local - 1]) > 0) return static_cast<int>(guess);
        } else if (local + 1 < size && CompareProbe(P, at[local + 1]) <= 0) {
            return static_cast<int>(guess) + 1;
        }
        // Values that do not spread evenly (a number's sign and exponent
        // weigh more than its digits) miss by many blocks: a gallop away
        // from the guess and a bisection of the stretch it crossed, not a
        // block at a time, each block's first entry a wait for memory.
        auto above = [&](std::size_t b) { return CompareProbe(P, entries_.BlockData(b)[0]) > 0; };
        std::size_t lo = block, hi = block + 1;  // the answer's block lies in [lo, hi)
        if (block > 0 && !above(block)) {
            std::size_t step = 1;
            hi = block;
            lo = block > step ? block - step : 0;
            while (lo > 0 && !above(lo)) {
                hi = lo;
                step *= 2;
                lo = lo > step ? lo - step : 0;
            }
        } else {
            std::size_t step = 1;
            while (hi < blocks && above(hi)) {
                lo = hi;
                step *= 2;
                hi = std::min(hi + step, blocks);
            }
        }
        // lo's first entry lies below the probe (or lo is 0), hi's does not.
        while (hi - lo > 1) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (above(mid))
                lo = mid;
            else
                hi = mid;
        }
        block = lo;
    } else {
        for (std::size_t l = 1, h = blocks; l < h;) {
            const std::size_t mid = l + (h - l) / 2;
            if (CompareProbe(P, entries_.BlockData(mid)[0]) > 0)
                l = mid + 1;
            else
                h = mid;
            block = l - 1;
        }
    }
    const Entry* e = entries_.BlockData(block);
    const int base = static_cast<int>(entries_.BlockStart(block));
    int lo = 0, hi = static_cast<int>(entries_.BlockSize(block));
    // Keys whose first bytes spread evenly (numbers) are found near where
    // their value falls between the ends: a guess and a short gallop around
    // it take the place of most of a bisection's probes, each of which
    // would wait for memory.
    if (hi - lo > 64 && !text) {
        int guess = headed ? HeadsGuess(P, block) : -1;
        if (guess < 0) {
            const uint64_t first = e[lo].prefix & P.mask, last = e[hi - 1].prefix & P.mask;
            if (first < P.prefix && P.prefix <= last) {
                if (slope_.first != first || slope_.last != last || slope_.count != hi - lo)
                    slope_ = Slope{first, last, hi - lo,
                                   static_cast<double>(hi - 1 - lo) / static_cast<double>(last - first)};
                guess = std::clamp(lo + static_cast<int>(static_cast<double>(P.prefix - first) * slope_.perUnit),
                                   lo, hi - 1);
            }
        }
        if (guess >= 0) {
            // The answer is the first entry the probe does not exceed.
            if (CompareProbe(P, e[guess]) > 0) {
                int step = 1, from = guess + 1;
                while (from + step - 1 < hi && CompareProbe(P, e[from + step - 1]) > 0) {
                    from += step;
                    step *= 2;
                }
                lo = from;
                hi = std::min(hi, from + step - 1);
            } else {
                int step = 1, to = guess;
                while (to - step >= lo && CompareProbe(P, e[to - step]) <= 0) {
                    to -= step;
                    step *= 2;
                }
                hi = to;
                lo = std::max(lo, to - step + 1);
            }
        }
    }
    // Once an entry equals the probe, the entries sharing its key bytes do
    // too: the rest of a run of one key costs no byte comparison.
    uint32_t equalKey = UINT32_MAX;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        // Both possible next probes are on their way while this one compares.
        __builtin_prefetch(e + lo + (mid - lo) / 2);
        __builtin_prefetch(e + mid + 1 + (hi - mid - 1) / 2);
        const Entry& m = e[mid];
        int c = 0;
        if (m.key != equalKey) {
            c = CompareProbe(P, m);
            if (c == 0) equalKey = m.key;
        }
        if (c > 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return base + lo;
}

int TmtIndex::RunEnd(const Probe& P, int From) const {
    const int n = static_cast<int>(entries_.size());
    if (From >= n || CompareProbe(P, entries_[static_cast<std::size_t>(From)]) != 0) return From;
    // Entries with one key share its bytes: while the shared reference holds,
    // no byte needs comparing. Galloping keeps a short run in one cache line.
    const uint32_t key = entries_[static_cast<std::size_t>(From)].key;
    int whole = -1;  // whether the probe is the whole key; read only when sharing is seen
    auto inRun = [&](int i) {
        const Entry& e = entries_[static_cast<std::size_t>(i)];
        if (e.key == key) {
            if (whole < 0) whole = P.length == KeyLength(entries_[static_cast<std::size_t>(From)]) ? 1 : 0;
            if (whole == 1) return true;
        }
        return CompareProbe(P, e) == 0;
    };
    int lo = From, step = 1, hi = From + 1;
    while (hi < n && inRun(hi)) {
        lo = hi;
        step *= 2;
        hi = lo + step;
    }
    hi = std::min(hi, n);
    while (lo + 1 < hi) {
        int mid = lo + (hi - lo) / 2;
        if (inRun(mid))
            lo = mid;
        else
            hi = mid;
    }
    return hi;
}

void TmtIndex::KeyRun(const std::string& Key, int& First, int& Last, bool FirstOnly, std::size_t Block) const {
    const Probe p = MakeProbe(Key);
    First = LowerBound(p, Block);
    if (FirstOnly)
        Last = First < Count() && CompareProbe(p, entries_[static_cast<std::size_t>(First)]) == 0 ? First + 1 : First;
    else
        Last = RunEnd(p, First);
}

uint32_t TmtIndex::AddKey(const uint8_t* Bytes, std::size_t Length) {
    const auto at = static_cast<uint32_t>(pool_.size());
    // Appended, not resized and then copied over: the bytes are written once.
    uint8_t length[4];
    WriteValue<uint32_t>(length, static_cast<uint32_t>(Length));
    pool_.append(reinterpret_cast<const char*>(length), 4);
    pool_.append(reinterpret_cast<const char*>(Bytes), Length);
    return at;
}

bool TmtIndex::SameKeyAt(int Pos, const std::string& Key) const {
    if (Pos < 0 || Pos >= static_cast<int>(entries_.size())) return false;
    const Entry& e = entries_[static_cast<std::size_t>(Pos)];
    if (!keysValid_) return false;
    return KeyLength(e) == Key.size() && std::memcmp(KeyBytes(e), Key.data(), Key.size()) == 0;
}

uint32_t TmtIndex::KeyFor(int Pos, const std::string& Key) {
    // Records with one key share its bytes: an ordered index holds them side
    // by side, the new one going before them.
    if (SameKeyAt(Pos, Key)) return entries_[static_cast<std::size_t>(Pos)].key;
    if (SameKeyAt(Pos - 1, Key)) return entries_[static_cast<std::size_t>(Pos) - 1].key;
    return AddKey(reinterpret_cast<const uint8_t*>(Key.data()), Key.size());
}

void TmtIndex::CompactPool() {
    if (deadBytes_ < 4096 || deadBytes_ * 2 < pool_.size()) return;
    EntriesChanged();
    std::string pool;
    pool.reserve(pool_.size() - std::min(deadBytes_, pool_.size()));
    // Sharing entries sit side by side; any other sharing is undone, which
    // costs bytes, not correctness.
    uint32_t lastOld = UINT32_MAX, lastNew = 0;
    entries_.ForEach([&](Entry& e) {
        if (e.key == lastOld) {
            e.key = lastNew;
            return;
        }
        const uint32_t length = KeyLength(e) + 4;
        const auto at = static_cast<uint32_t>(pool.size());
        pool.append(pool_, e.key, length);
        lastOld = e.key;
        lastNew = at;
        e.key = at;
    });
    pool_.swap(pool);
    deadBytes_ = 0;
}

void TmtIndex::InsertKeyed(int Pos, PmtRecord Record, const std::string& Key) {
    const int32_t Id = Record->RecordID;
    Pos = std::clamp(Pos, 0, Count());
    if ((SameKeyAt(Pos, Key) && Id > entries_[static_cast<std::size_t>(Pos)].id) ||
        (SameKeyAt(Pos - 1, Key) && Id < entries_[static_cast<std::size_t>(Pos) - 1].id))
        runsById_ = false;
    if ((SameKeyAt(Pos, Key) && Id < entries_[static_cast<std::size_t>(Pos)].id) ||
        (SameKeyAt(Pos - 1, Key) && Id > entries_[static_cast<std::size_t>(Pos) - 1].id))
        runsByIdDown_ = false;
    KeepSharedWith(reinterpret_cast<const uint8_t*>(Key.data()), Key.size());
    const uint32_t key = KeyFor(Pos, Key);
    const uint64_t prefix = PrefixPastShared(reinterpret_cast<const uint8_t*>(Key.data()), Key.size());
    const std::size_t blocks = entries_.Blocks();
    const std::size_t block = blocks == 0 ? 0 : (Pos >= Count() ? blocks - 1 : entries_.BlockAt(static_cast<std::size_t>(Pos)));
    entries_.insert(static_cast<std::size_t>(Pos), Entry{prefix, Id, key, Record});
    MarksInserted(static_cast<std::size_t>(Pos), block, blocks);
}

void TmtIndex::EraseAt(int Pos) {
    if (isRowOrder_) {
        EntriesChanged();
        if (Pos != Count() - 1) identity_ = false;
        ids_.erase(static_cast<std::size_t>(Pos));
        return;
    }
    const Entry& e = entries_[static_cast<std::size_t>(Pos)];
    if (keysValid_ && !pool_.empty()) {
        // The bytes die with the last entry that shares them.
        const bool shared = (Pos > 0 && entries_[static_cast<std::size_t>(Pos) - 1].key == e.key) ||
                            (Pos + 1 < Count() && entries_[static_cast<std::size_t>(Pos) + 1].key == e.key);
        if (!shared) deadBytes_ += KeyLength(e) + 4;
    }
    const std::size_t blocks = entries_.Blocks(), block = entries_.BlockAt(static_cast<std::size_t>(Pos));
    const std::size_t local = static_cast<std::size_t>(Pos) - entries_.BlockStart(block);
    entries_.erase(static_cast<std::size_t>(Pos));
    MarksErased(local, block, blocks);
    if (entries_.empty()) {
        shared_ = 0;
        EntriesChanged();
    }
    CompactPool();
}

int TmtIndex::CompareRecords(const TmtFieldList* FieldList, PmtRecord KeyRecord, PmtRecord ARecord,
                             bool SortCompare, bool Partial, bool* FullCompare) {
    const TmtFieldList& list = FieldList != nullptr ? *FieldList : fieldList_;
    int r = dataSet_->Common()->CompareRecords(list, 0, KeyRecord, ARecord, false, Partial, 0, FullCompare);
    if (r == 0 && SortCompare) {
        bool kn = KeyRecord->RecordNo < 0, an = ARecord->RecordNo < 0;
        if (kn && an)
            r = KeyRecord->RecordID < ARecord->RecordID ? -1 : (KeyRecord->RecordID > ARecord->RecordID ? 1 : 0);
        else if (!kn && an)
            r = 1;
        else if (kn && !an)
            r = -1;
        else
            r = 0;
        if (list.Count() > 0 && list.Options(0).Contains(mtifoDescending)) r = -r;
    }
    return r;
}

int TmtIndex::FirstEqual(const TmtFieldList* FieldList, PmtRecord KeyRecord, bool Partial, bool& Found) {
    // Lower bound: the first reference that does not sort before the key.
    int lo = 0, hi = Count();
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        if (CompareRecords(FieldList, KeyRecord, RecordAt(mid), false, false) > 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    Found = lo < Count() && CompareRecords(FieldList, KeyRecord, RecordAt(lo), false, Partial) == 0;
    return lo;
}

int TmtIndex::Search(const TmtFieldList* FieldList, PmtRecord KeyRecord, bool& Found, int& Index,
                     bool RespectFilter, bool Partial) {
    TmtCommon* common = dataSet_->Common();
    dataSet_->Progress(0, mtpcSearch);
    int oldActivity = dataSet_->CurrentActivity();
    dataSet_->SetCurrentActivity(actSearching);
    StoreLock lock(common);
    struct Restore {
        TmtCustomMemTable* t;
        int a;
        ~Restore() { t->SetCurrentActivity(a); }
    } restore{dataSet_, oldActivity};
    Found = false;
    Index = -1;
    int result = 0;
    int n = Count();
    if (n == 0) return 0;
    bool filtered = RespectFilter && dataSet_->IsFilteredNow();
    if (!isOrdered_ || isRowOrder_ || n < 21) {
        for (int i = 0; i < n; ++i) {
            if (i % 100 == 0 && i > 0) dataSet_->Progress(i * 100 / n, mtpcSearch);
            PmtRecord r = RecordAt(i);
            if (dataSet_->RecalcOnIndex()) dataSet_->CalcRecordFields(r);
            result = CompareRecords(FieldList, KeyRecord, r, false, Partial);
            if (result == 0 && filtered && !dataSet_->FilterRecord(r, false)) continue;
            if (result == 0 || (Partial && result < 0)) {
                Found = true;
                Index = i;
                dataSet_->Progress(100, mtpcSearch);
                return result;
            }
        }
        Index = n;
        dataSet_->Progress(100, mtpcSearch);
        return result;
    }
    bool hit = false;
    int pos = FirstEqual(FieldList, KeyRecord, Partial, hit);
    Index = pos;
    Found = hit;
    result = hit ? 0 : (pos < n ? -1 : 1);
    if (hit && filtered) {
        // Move to the first record of the equal run that passes the filter.
        Found = false;
        for (int i = pos; i < n; ++i) {
            PmtRecord r = RecordAt(i);
            if (CompareRecords(FieldList, KeyRecord, r, false, Partial) != 0) break;
            if (dataSet_->FilterRecord(r, false)) {
                Found = true;
                Index = i;
                break;
            }
        }
        if (!Found) result = -1;
    }
    dataSet_->Progress(100, mtpcSearch);
    return result;
}

void TmtIndex::FindRecordByID(int RecordID, int& Index) {
    Index = -1;
    const int n = Count();
    if (isRowOrder_) {
        // Record ids are mostly ascending (appends) but not always: an insert
        // in the middle or a reused slot breaks the order.
        const memtable::BlockList<int32_t>& ids = ids_;
        if (identity_) {
            if (RecordID >= 0 && RecordID < n) Index = RecordID;
            return;
        }
        // Appends only, no delete yet: the id is the position.
        if (RecordID >= 0 && RecordID < n && ids[static_cast<std::size_t>(RecordID)] == RecordID) {
            Index = RecordID;
            return;
        }
        // Otherwise the list knows the block that holds the id.
        Index = static_cast<int>(ids.Find(RecordID));
        return;
    }
    for (int i = 0; i < n; ++i) {
        if (entries_[static_cast<std::size_t>(i)].id == RecordID) {
            Index = i;
            return;
        }
    }
}

void TmtIndex::FindRecord(PmtRecord Record, int& Index, bool Partial) {
    StoreLock lock(dataSet_->Common());
    Index = -1;
    int n = Count();
    if (n == 0 || Record == nullptr) return;
    if (isRowOrder_) {
        FindRecordByID(Record->RecordID, Index);
        return;
    }
    int start = 0;
    if (isOrdered_ && n > 5) {
        // Keys a sort left pending are not written for this: the cursor
        // finds its record again after every sort.
        if (KeysReady() && !Partial) {
            std::string& key = scratchKey_;
            BuildKey(Record, fieldList_.Count(), key);
            int first = 0, last = 0;
            KeyRun(key, first, last);
            for (int i = first; i < last; ++i) {
                if (entries_[static_cast<std::size_t>(i)].id == Record->RecordID) {
                    Index = i;
                    return;
                }
            }
            start = first;
        } else {
            bool found = false;
            start = FirstEqual(nullptr, Record, Partial, found);
        }
    }
    for (int pass = 0; pass < 2; ++pass) {
        int from = pass == 0 ? start : 0;
        int to = pass == 0 ? n : start;
        for (int i = from; i < to; ++i) {
            if (i % 100 == 0 && i > from) dataSet_->Progress((i - from) * 100 / std::max(1, to - from), mtpcSearch);
            if (Record->RecordID >= 0 && IdAt(i) == Record->RecordID) {
                Index = i;
                return;
            }
        }
    }
}

void TmtIndex::Claim(int32_t Id) {
    if (const long b = ids_.BlockHolding(Id); b >= 0) claims_.emplace_back(b, Id);
}

template <typename F>
void TmtIndex::ForEachClaimedBlock(F Each) {
    std::sort(claims_.begin(), claims_.end());
    for (std::size_t k = 0; k < claims_.size();) {
        std::size_t e = k;
        while (e < claims_.size() && claims_[e].first == claims_[k].first) ++e;
        if (!Each(static_cast<std::size_t>(claims_[k].first), k, e)) return;
        k = e;
    }
}

int TmtIndex::FirstOf(const std::vector<int32_t>& RecordIDs, uint64_t& Stepped) {
    TmtCommon* common = dataSet_->Common();
    StoreLock lock(common);
    const int n = Count();
    if (RecordIDs.empty() || n == 0) return -1;
    if (isRowOrder_) {
        // Each id's block is known: the first of them in row order is in
        // the earliest block that holds one, where only those are looked
        // for. A reused slot puts a low id late in the order, so the lowest
        // id need not be the first.
        Stepped += RecordIDs.size();
        if (identity_) {
            int32_t low = -1;
            for (int32_t id : RecordIDs)
                if (id >= 0 && id < n && (low < 0 || id < low)) low = id;
            if (low >= 0) return low;
        } else {
            claims_.clear();
            for (int32_t id : RecordIDs) Claim(id);
            long best = -1;
            ForEachClaimedBlock([&](std::size_t Block, std::size_t From, std::size_t To) {
                for (std::size_t k = From; k < To; ++k) {
                    const long p = ids_.FindInRisingBlock(Block, claims_[k].second, Stepped);
                    if (p >= 0 && (best < 0 || p < best)) best = p;
                }
                return best < 0;
            });
            if (best >= 0) return static_cast<int>(best);
        }
    } else if (RecordIDs.size() == 1) {
        int p = -1;
        FindRecord(common->Record(RecordIDs.front()), p);
        return p;
    }
    std::unordered_set<int32_t> wanted(RecordIDs.begin(), RecordIDs.end());
    auto scan = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            if (i % 100 == 0 && i > from) dataSet_->Progress((i - from) * 100 / std::max(1, to - from), mtpcSearch);
            ++Stepped;
            if (wanted.count(IdAt(i)) != 0) return i;
        }
        return -1;
    };
    bool loose = false;  // an order of comparisons that are no order tells nothing
    for (int f = 0; f < fieldList_.Count(); ++f)
        if (fieldList_.Options(f).Contains(mtifoIgnoreNull) || fieldList_.Options(f).Contains(mtifoPartial))
            loose = true;
    if (isRowOrder_ || !isOrdered_ || loose) return scan(0, n);
    // The first of them in this order has the lowest key; among the records
    // of that key, it is the first that the key's run holds.
    int from = 0, to = n;
    if (HasKeys()) {
        std::string low, key;
        bool any = false;
        for (int32_t id : RecordIDs) {
            BuildKey(common->Record(id), fieldList_.Count(), key);
            if (!any || CompareKeyBytes(reinterpret_cast<const uint8_t*>(key.data()), key.size(),
                                        reinterpret_cast<const uint8_t*>(low.data()), low.size()) < 0)
                low.swap(key);
            any = true;
        }
        KeyRun(low, from, to);
    } else {
        PmtRecord low = nullptr;
        for (int32_t id : RecordIDs) {
            PmtRecord r = common->Record(id);
            if (low == nullptr || CompareRecords(nullptr, r, low, false, false) < 0) low = r;
        }
        bool found = false;
        from = FirstEqual(nullptr, low, false, found);
        to = from;
        while (to < n && CompareRecords(nullptr, low, RecordAt(to), false, false) == 0) ++to;
    }
    const int p = scan(from, to);
    return p >= 0 ? p : scan(0, n);
}

void TmtIndex::RowPositionsOf(const std::vector<int32_t>& RecordIDs, std::vector<int32_t>& Positions,
                              uint64_t& Stepped) {
    const int n = Count();
    claims_.clear();
    // Records added together stand together, each as far from its id as
    // the one before: one found in its block tells where the next are,
    // and the next run of them starts where the last one stood.
    long shift = rowShift_;
    bool learned = false;
    for (int32_t id : RecordIDs) {
        if (id < 0) continue;
        if (identity_) {
            if (id < n) Positions.push_back(id);
            continue;
        }
        const long guess = id - shift;
        if (guess >= 0 && guess < n && ids_[static_cast<std::size_t>(guess)] == id) {
            Positions.push_back(static_cast<int32_t>(guess));
            continue;
        }
        if (!learned) {
            learned = true;
            const long b = ids_.BlockHolding(id);
            if (const long p = b < 0 ? -1 : ids_.FindInRisingBlock(static_cast<std::size_t>(b), id, Stepped); p >= 0) {
                Positions.push_back(static_cast<int32_t>(p));
                shift = id - p;
            }
            continue;
        }
        Claim(id);
    }
    rowShift_ = shift;
    // The records of a master, a day, an order were mostly added together:
    // their ids share a few blocks, each read once for all of its own.
    // A block's ids mostly ascend (appends; a reused slot puts one out of
    // place): each is found by its distance from the block's first, else by
    // bisection, unless so many are claimed in the block that reading it
    // once costs less.
    constexpr std::size_t kSearchCost = 16;
    ForEachClaimedBlock([&](std::size_t Block, std::size_t From, std::size_t To) {
        if ((To - From) * kSearchCost <= ids_.BlockSize(Block)) {
            // Those out of place (or gone) are looked for by one read of
            // the block, for all of them.
            missed_.clear();
            for (std::size_t k = From; k < To; ++k) {
                const long p = ids_.FindInRisingBlock(Block, claims_[k].second, Stepped, false);
                if (p >= 0)
                    Positions.push_back(static_cast<int32_t>(p));
                else
                    missed_.push_back(claims_[k].second);
            }
            if (missed_.empty()) return true;
            std::sort(missed_.begin(), missed_.end());
            const int32_t* d = ids_.BlockData(Block);
            const std::size_t size = ids_.BlockSize(Block), start = ids_.BlockStart(Block);
            Stepped += size;
            for (std::size_t j = 0; j < size; ++j)
                if (std::binary_search(missed_.begin(), missed_.end(), d[j]))
                    Positions.push_back(static_cast<int32_t>(start + j));
            return true;
        }
        Stepped += ids_.BlockSize(Block);
        const int32_t low = claims_[From].second, high = claims_[To - 1].second;
        const int32_t* d = ids_.BlockData(Block);
        const std::size_t size = ids_.BlockSize(Block), start = ids_.BlockStart(Block);
        const auto from = claims_.begin() + static_cast<std::ptrdiff_t>(From);
        const auto to = claims_.begin() + static_cast<std::ptrdiff_t>(To);
        for (std::size_t j = 0; j < size; ++j)
            if (d[j] >= low && d[j] <= high &&
                std::binary_search(from, to, std::make_pair(static_cast<long>(Block), d[j])))
                Positions.push_back(static_cast<int32_t>(start + j));
        return true;
    });
}

void TmtIndex::SortByRecords(int L, int R) {
    EntriesChanged();
    TmtCommon* common = dataSet_->Common();
    // Every pair differs once the tie-break by record id applies, so any
    // correct sort gives the one order.
    // A handler's comparison may not be an order at all, nor is one that
    // skips null keys or compares texts partially: std::sort may then run
    // past the ends, where a merge sort stays inside them.
    bool loose = false;
    for (int f = 0; f < fieldList_.Count(); ++f)
        if (fieldList_.Options(f).Contains(mtifoIgnoreNull) || fieldList_.Options(f).Contains(mtifoPartial))
            loose = true;
    if (common->Owner() != nullptr && common->Owner()->OnCompareFields) {
        std::vector<Entry> part;
        entries_.CopyOut(static_cast<std::size_t>(L), static_cast<std::size_t>(R) + 1, part);
        std::stable_sort(part.begin(), part.end(), [this, common](const Entry& a, const Entry& b) {
            return CompareRecords(nullptr, common->Record(a.id), common->Record(b.id), true, false) < 0;
        });
        entries_.CopyIn(static_cast<std::size_t>(L), part);
        return;
    }
    // The values are copied side by side first: comparing them there instead
    // of inside records spread over the heap keeps the sort in the cache.
    // The comparison is the very one CompareRecords makes (How 0, no
    // partial, records of the store).
    const TmtFieldList& list = fieldList_;
    const int nf = list.Count();
    const std::size_t n = static_cast<std::size_t>(R - L + 1);
    std::string arena;
    std::vector<uint32_t> offsets(n * static_cast<std::size_t>(nf));
    std::string scratch;
    for (std::size_t i = 0; i < n; ++i) {
        PmtRecord r = common->Record(entries_[static_cast<std::size_t>(L) + i].id);
        for (int f = 0; f < nf; ++f) {
            int32_t len = 0;
            const uint8_t* v = common->FieldValueForRead(r, list.FieldNo(f), list.Fields(f), len, scratch);
            offsets[i * static_cast<std::size_t>(nf) + static_cast<std::size_t>(f)] = static_cast<uint32_t>(arena.size());
            arena.push_back(v == nullptr ? '\0' : '\1');
            if (v != nullptr) {
                // Aligned to 8 so that numbers read in place.
                while (arena.size() % 8 != 0) arena.push_back('\0');
                std::size_t size = static_cast<std::size_t>(std::max(len, 0));
                if (IsStringKind(list.Fields(f)->DataType()))
                    size = strnlen(reinterpret_cast<const char*>(v), size);
                arena.append(reinterpret_cast<const char*>(v), size);
                arena.push_back('\0');  // texts stay terminated
            }
        }
    }
    struct Item {
        Entry entry;
        uint32_t index;
    };
    std::vector<Item> items(n);
    for (std::size_t i = 0; i < n; ++i) items[i] = Item{entries_[static_cast<std::size_t>(L) + i], static_cast<uint32_t>(i)};
    const bool firstDescending = nf > 0 && list.Options(0).Contains(mtifoDescending);
    const int locale = common->LocaleID();
    auto valueAt = [&](uint32_t off) -> const uint8_t* {
        if (arena[off] == '\0') return nullptr;
        std::size_t p = off + 1;
        while (p % 8 != 0) ++p;
        return reinterpret_cast<const uint8_t*>(arena.data() + p);
    };
    auto compare = [&](const Item& a, const Item& b) {
        int result = 0;
        for (int f = 0; f < nf; ++f) {
            TmtifoOptions opts = list.Options(f);
            const uint8_t* k = valueAt(offsets[a.index * static_cast<uint32_t>(nf) + static_cast<uint32_t>(f)]);
            if (k == nullptr && opts.Contains(mtifoIgnoreNull)) continue;
            const uint8_t* v = valueAt(offsets[b.index * static_cast<uint32_t>(nf) + static_cast<uint32_t>(f)]);
            bool full = true;
            if (k != nullptr && v != nullptr) {
                result = CompareFields(k, v, list.Fields(f)->DataType(), opts, full, locale);
            } else {
                result = (k == nullptr && v == nullptr) ? 0 : (k == nullptr ? -1 : 1);
                if (opts.Contains(mtifoDescending)) result = -result;
            }
            if (result != 0 || !full) break;
        }
        if (result == 0) {
            result = a.entry.id < b.entry.id ? -1 : (a.entry.id > b.entry.id ? 1 : 0);
            if (firstDescending) result = -result;
        }
        return result < 0;
    };
    if (loose)
        std::stable_sort(items.begin(), items.end(), compare);
    else
        std::sort(items.begin(), items.end(), compare);
    for (std::size_t i = 0; i < n; ++i) entries_[static_cast<std::size_t>(L) + i] = items[i].entry;
}

namespace memtable {

namespace {

// The arrays an index is made with are read and written at random once a
// table is large (a table of distinct texts, their keys, their ranks): on
// pages of 4 KiB each such access also misses the address translation,
// whose own tables then miss the cache, a cost that grows with the table.
// Arrays of several MiB ask for huge pages, before anything is written in
// them.
void AdviseHuge(const void* Data, std::size_t Bytes) {
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    if (Data == nullptr || Bytes < 2 * kHuge) return;
    const auto from = (reinterpret_cast<std::uintptr_t>(Data) + kHuge - 1) & ~(kHuge - 1);
    const auto to = (reinterpret_cast<std::uintptr_t>(Data) + Bytes) & ~(kHuge - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

template <typename Vector>
void ReserveHuge(Vector& V, std::size_t Count) {
    V.reserve(Count);
    AdviseHuge(V.data(), V.capacity() * sizeof(V[0]));
}

// One pass of a sort by bytes: From's N items into To by the byte Byte
// gives each, keeping their order among equal bytes, so that passes from
// the least significant byte to the most order the items by all of them.
template <typename T, typename ByteOf>
void PassByByte(const T* From, T* To, std::size_t N, ByteOf&& Byte) {
    std::size_t at[256] = {};
    for (std::size_t i = 0; i < N; ++i) ++at[Byte(From[i])];
    for (std::size_t b = 0, sum = 0; b < 256; ++b) {
        const std::size_t count = at[b];
        at[b] = sum;
        sum += count;
    }
    for (std::size_t i = 0; i < N; ++i) To[at[Byte(From[i])]++] = From[i];
}

// Orders the entries of one rank of a sort by their prefixes (the next
// field's images) and equal prefixes by id, IdsDown for a descending first
// field. They come in the order of the list before, mostly already by id:
// those are then moved by the bytes of the prefix where they differ, a
// pass each, which keeps their order within equal prefixes, instead of a
// comparison sort whose branches go at random (runs of hundreds of rows,
// in a large table, where that is most of the sort). Short runs, and runs
// not yet by id, are compared; runs of one prefix already by id (an index
// of one field) stay as they are.
template <typename Entry>
void SortRun(Entry* First, Entry* Last, bool IdsDown, std::vector<Entry>& Scratch) {
    auto less = [IdsDown](const Entry& a, const Entry& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        return IdsDown ? a.id > b.id : a.id < b.id;
    };
    const auto n = static_cast<std::size_t>(Last - First);
    constexpr std::size_t kCompared = 128;
    bool byId = true;
    uint64_t differ = 0;
    for (std::size_t i = 1; i < n && byId; ++i) {
        byId = IdsDown ? First[i - 1].id > First[i].id : First[i - 1].id < First[i].id;
        differ |= First[i].prefix ^ First[0].prefix;
    }
    if (byId && differ == 0) return;
    if (!byId || n < kCompared) {
        std::sort(First, Last, less);
        return;
    }
    Scratch.resize(n);
    Entry* from = First;
    Entry* to = Scratch.data();
    for (int b = 0; b < 8; ++b) {
        if (((differ >> (8 * b)) & 0xFF) == 0) continue;
        PassByByte(from, to, n, [b](const Entry& e) { return (e.prefix >> (8 * b)) & 0xFF; });
        std::swap(from, to);
    }
    if (from != First) std::copy(from, from + n, First);
}

}  // namespace

// Key bytes of numbered texts, one after another in one buffer, each after
// its 32-bit length as an index's pool holds them: a pool may be these bytes
// as they stand.
struct TextKeys {
    std::string bytes;
    std::vector<std::size_t> ends;
    // Where key k's length is.
    std::size_t Start(std::size_t k) const { return k == 0 ? 0 : ends[k - 1]; }
    std::string_view Key(std::size_t k) const {
        const std::size_t from = Start(k) + 4;
        return std::string_view(bytes.data() + from, ends[k] - from);
    }
    // The next key's bytes are appended to bytes between these two.
    void Begin() { bytes.append(4, '\0'); }
    void End() {
        const std::size_t from = Start(ends.size());
        WriteValue<uint32_t>(reinterpret_cast<uint8_t*>(bytes.data() + from),
                             static_cast<uint32_t>(bytes.size() - from - 4));
        ends.push_back(bytes.size());
    }
    // A key's place, then (once that is in) its bytes.
    void PrefetchPlace(std::size_t k) const { __builtin_prefetch(ends.data() + (k == 0 ? 0 : k - 1)); }
    void PrefetchKey(std::size_t k) const {
        const char* p = bytes.data() + Start(k);
        __builtin_prefetch(p);
        __builtin_prefetch(p + 64);
    }
};

namespace {

// The key bytes of a number's image: the inverse of what SortByKeys makes
// the image of.
void AppendImageKey(std::string& Key, uint64_t Image, TFieldType Type, TmtifoOptions Options) {
    const bool desc = Options.Contains(mtifoDescending);
    const uint64_t v = desc ? ~Image : Image;
    const std::size_t base = Key.size();
    if (v == 0) {
        Key.push_back('\0');
    } else {
        Key.push_back('\1');
        switch (Type) {
            case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
                PutBigEndian(Key, v, 8);
                break;
            case ftSmallint: case ftWord: PutBigEndian(Key, v & 0xFFFFu, 2); break;
            case ftBoolean: Key.push_back((v & 1u) != 0 ? '\1' : '\0'); break;
            default: PutBigEndian(Key, v & 0xFFFFFFFFu, 4); break;
        }
    }
    if (desc)
        for (std::size_t k = base; k < Key.size(); ++k) Key[k] = static_cast<char>(~static_cast<unsigned char>(Key[k]));
}

// The bytes of AppendKeyBytes for a text under the collation (nullptr:
// null), up to the end of its primary weights: the order of whole keys
// wherever these differ.
void AppendPrimaryKeyBytes(std::string& Key, const uint8_t* Value, int32_t Length, TmtifoOptions Options) {
    const std::size_t base = Key.size();
    if (Value == nullptr) {
        Key.push_back('\0');
    } else {
        Key.push_back('\1');
        const auto* p = reinterpret_cast<const char*>(Value);
        const std::string_view text(p, strnlen(p, static_cast<std::size_t>(std::max(Length, 0))));
        if (Options.Contains(mtifoCaseInsensitive))
            AppendAnsiCompactCollationPrimaryText(Key, text);
        else
            AppendAnsiCompactCollationPrimaryStr(Key, text);
    }
    if (Options.Contains(mtifoDescending))
        for (std::size_t k = base; k < Key.size(); ++k) Key[k] = static_cast<char>(~static_cast<unsigned char>(Key[k]));
}

}  // namespace
}  // namespace memtable

namespace {

// The distinct texts of one field while an index is made: an open-addressing
// table over one buffer of their bytes, so that a row whose text was seen
// costs one probe and no node or string of its own. Each text gets the next
// number in the order first seen, and its key bytes the next place in one
// buffer of keys.
class DistinctTexts {
public:
    int64_t nullIndex = -1;

    // Eight bytes at a time, one multiplication each, then mixed so that the
    // low bits (the slot) depend on every byte: a name costs a few cycles
    // where a general-purpose hash takes three multiplications a word and
    // a call. Equal texts alone need equal hashes; the table compares texts.
    static uint64_t Hash(std::string_view Text) {
        constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
        const char* p = Text.data();
        const std::size_t n = Text.size();
        uint64_t h = n * kMultiplier;
        auto word = [](const char* At) {
            uint64_t w;
            std::memcpy(&w, At, 8);
            return w;
        };
        if (n >= 8) {
            for (std::size_t i = 0; i + 8 < n; i += 8) h = (h ^ word(p + i)) * kMultiplier;
            h = (h ^ word(p + n - 8)) * kMultiplier;  // the last eight, overlapping the word before
        } else if (n >= 4) {
            uint32_t a, b;
            std::memcpy(&a, p, 4);
            std::memcpy(&b, p + n - 4, 4);
            h = (h ^ (uint64_t{a} << 32 | b)) * kMultiplier;
        } else if (n > 0) {
            const auto byte = [&](std::size_t i) { return uint64_t{static_cast<unsigned char>(p[i])}; };
            h = (h ^ (byte(0) << 16 | byte(n / 2) << 8 | byte(n - 1))) * kMultiplier;
        }
        h ^= h >> 32;
        h *= 0xD6E8FEB86659FD93ull;
        h ^= h >> 32;
        return h;
    }
    // Starts bringing in the slot where a text of this hash is looked for:
    // rows are looked up a few ahead of their turn, so that the table's
    // misses overlap instead of coming one after another.
    void Prefetch(uint64_t Hash) const {
        if (!slots_.empty()) __builtin_prefetch(slots_.data() + (Hash & (slots_.size() - 1)));
    }
    // Then, once the slot is in, the text it holds, which a row of a text
    // seen before is compared with.
    void PrefetchText(uint64_t Hash) const {
        if (slots_.empty()) return;
        const Slot& s = slots_[Hash & (slots_.size() - 1)];
        if (s.offset != kEmpty) __builtin_prefetch(bytes_.data() + s.offset);
    }
    uint32_t FindOrAdd(std::string_view Text, uint64_t Hash, bool& Added) {
        if ((count_ + 1) * 2 > slots_.size()) Grow();
        const auto h = static_cast<uint32_t>(Hash);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            Slot& s = slots_[i];
            if (s.offset == kEmpty) {
                s = Slot{h, Append(Text)};
                ++count_;
                Added = true;
                return next_ - 1;
            }
            if (s.hash == h && LengthAt(s.offset) == Text.size() &&
                std::memcmp(bytes_.data() + s.offset + kHeader, Text.data(), Text.size()) == 0) {
                Added = false;
                return NumberAt(s.offset);
            }
        }
    }
    std::size_t Taken() const { return next_; }
    // The numbers given so far, null included.
    uint32_t Take() {
        Append(std::string_view());
        return next_ - 1;
    }
    // The text of a number (empty for the one Take gave).
    std::string_view Text(std::size_t k) const {
        const uint32_t at = starts_[k];
        return std::string_view(bytes_.data() + at + kHeader, LengthAt(at));
    }
    // Room for up to Rows texts of about Length bytes.
    void Expect(std::size_t Rows, std::size_t Length) {
        // Kept at most half full: twice as many slots as texts to come.
        std::size_t size = 64;
        while (size < Rows * 2) size *= 2;
        if (size > slots_.size()) Resize(size);
        // Room for every row's text, though about half repeat another's:
        // room never written costs no memory, where a buffer that grows
        // past its room is copied whole into memory written for the first
        // time.
        memtable::ReserveHuge(bytes_, Rows * (Length + kHeader));
        memtable::ReserveHuge(starts_, Rows);
    }
    // Room for the keys of all the texts taken, once the first Made of them
    // are written, at the size those took per byte of text and a little
    // more: an index may keep these bytes as its pool, which room reserved
    // for every row, or doubled on the way, would leave far larger than its
    // keys.
    void ExpectKeys(std::size_t Made) {
        const std::size_t textMade = Made == 0 ? 0 : TextBytesBefore(Made);
        if (Made == 0 || textMade == 0) return;
        const double perByte = static_cast<double>(keys.bytes.size()) / static_cast<double>(textMade);
        const auto rest =
            static_cast<std::size_t>(perByte * static_cast<double>(TextBytesBefore(next_) - textMade) * 1.1);
        memtable::ReserveHuge(keys.bytes, keys.bytes.size() + rest + (next_ - Made) * 8);
        memtable::ReserveHuge(keys.ends, next_);
    }
    template <typename F>
    void ForEach(F&& Visit) const {
        for (const Slot& s : slots_)
            if (s.offset != kEmpty)
                Visit(std::string_view(bytes_.data() + s.offset + kHeader, LengthAt(s.offset)), NumberAt(s.offset));
    }
    // The key bytes of each number, written in the order the numbers were
    // given: NextKey() opens the next one's and takes its bytes, EndKey()
    // closes it.
    std::string& NextKey() {
        keys.Begin();
        return keys.bytes;
    }
    void EndKey() { keys.End(); }
    // The key bytes of every number, one text after another once they are
    // all known, rather than between look-ups that would push the
    // collation's tables out of the cache; with Primary, those bytes cut
    // after the texts' primary weights (a text under the collation only).
    void WriteKeys(TFieldType Type, TmtifoOptions Options, bool Primary) {
        constexpr std::size_t kFirstKeys = 64;
        for (std::size_t k = 0; k < Taken(); ++k) {
            if (k == kFirstKeys) ExpectKeys(k);
            const std::string_view text = Text(k);
            const uint8_t* value =
                static_cast<int64_t>(k) == nullIndex ? nullptr : reinterpret_cast<const uint8_t*>(text.data());
            if (Primary)
                memtable::AppendPrimaryKeyBytes(NextKey(), value, static_cast<int32_t>(text.size()), Options);
            else
                memtable::AppendKeyBytes(NextKey(), value, static_cast<int32_t>(text.size()), Type, Options);
            EndKey();
        }
    }
    // Once no text is looked up any more: the table's room goes, the texts
    // and keys stay.
    void DropLookup() { std::vector<Slot>().swap(slots_); }
    std::size_t Keys() const { return keys.ends.size(); }
    std::string_view Key(std::size_t k) const { return keys.Key(k); }
    memtable::TextKeys keys;

private:
    static constexpr uint32_t kEmpty = ~uint32_t{0};
    // 8 bytes: a table of twice as many slots as a million texts stays at
    // 16 MB. The text's number and length lie before its bytes, which a
    // text found is compared with anyway.
    struct Slot {
        uint32_t hash = 0;
        uint32_t offset = kEmpty;  // of the text's number, then length, then bytes
    };
    static constexpr std::size_t kHeader = 8;
    uint32_t NumberAt(uint32_t At) const {
        return memtable::ReadValue<uint32_t>(reinterpret_cast<const uint8_t*>(bytes_.data()) + At);
    }
    uint32_t LengthAt(uint32_t At) const {
        return memtable::ReadValue<uint32_t>(reinterpret_cast<const uint8_t*>(bytes_.data()) + At + 4);
    }
    // A text numbered next; its place.
    uint32_t Append(std::string_view Text) {
        const auto at = static_cast<uint32_t>(bytes_.size());
        uint32_t header[2] = {next_++, static_cast<uint32_t>(Text.size())};
        bytes_.append(reinterpret_cast<const char*>(header), kHeader);
        bytes_.append(Text);
        starts_.push_back(at);
        return at;
    }
    // The bytes of the texts numbered below K, without their headers.
    std::size_t TextBytesBefore(std::size_t K) const {
        return (K < next_ ? starts_[K] : bytes_.size()) - K * kHeader;
    }
    void Grow() { Resize(std::max<std::size_t>(64, slots_.size() * 2)); }
    void Resize(std::size_t Size) {
        std::vector<Slot> old;
        memtable::ReserveHuge(old, Size);
        old.resize(Size);
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const Slot& s : old) {
            if (s.offset == kEmpty) continue;
            std::size_t i = s.hash & mask;
            while (slots_[i].offset != kEmpty) i = (i + 1) & mask;
            slots_[i] = s;
        }
    }
    std::vector<Slot> slots_;
    std::string bytes_;
    std::vector<uint32_t> starts_;  // by number
    std::size_t count_ = 0;
    uint32_t next_ = 0;
};

}  // namespace

// What the keys of a sorted index are made from, while they are not written
// yet: the key bytes of the distinct texts of its first two fields and the
// text of each rank. A text field's image is its text's rank. A field ranked
// through keys cut after their primary weights keeps its texts instead,
// whose whole keys are written when first needed.
struct TmtIndex::ImageKeys {
    memtable::TextKeys texts[2];
    std::vector<uint32_t> textOfRank[2];
    bool ranked[2] = {false, false};
    std::unique_ptr<DistinctTexts> unkeyed[2];
};

TmtIndex::~TmtIndex() = default;

void TmtIndex::SortByKeys() {
    // The keys of every record, made here from the records themselves. A
    // text is keyed once per distinct value, and the first two fields sort
    // by 64-bit images of their order (a text by the rank of its key among
    // the distinct ones), so that the sort itself compares integers; key
    // bytes decide only where the images cannot.
    EntriesChanged();
    pendingKeys_.reset();
    keysValid_ = false;
    TmtCommon* common = dataSet_->Common();
    const int nf = fieldList_.Count();
    const std::size_t n = entries_.size();
    pool_.clear();
    shared_ = 0;
    deadBytes_ = 0;
    std::vector<DistinctTexts> distinct(static_cast<std::size_t>(nf));
    bool exact[2] = {true, true};
    bool ranked[2] = {false, false};
    bool primary[2] = {false, false};  // ranked through keys cut after the primary weights
    // A 64-bit number and its null do not fit in an image of 64 bits.
    for (int f = 0; f < std::min(nf, 2); ++f)
        switch (fieldList_.Fields(f)->DataType()) {
            case ftLargeint: case ftBCD: case ftFMTBcd: exact[f] = false; break;
            default: break;
        }
    // An image that leaves its field's order to the key bytes hides the next
    // field's order: images count only up to the first such field.
    const bool useSecond = nf > 1 && exact[0];
    const bool needBytes = nf > 2 || !exact[0] || (nf > 1 && !exact[1]);
    // Where the images alone order the entries, a key is written after the
    // sort from its images, once per distinct key, instead of once per row
    // and compacted afterwards.
    const bool keysLater = !needBytes;
    for (int f = 0; f < std::min(nf, 2); ++f) ranked[f] = IsStringKind(fieldList_.Fields(f)->DataType());
    // A text first, and images that order alone: the rows go straight to
    // their places once the texts are ranked (see below), with no list of
    // items between.
    const bool textFirst = keysLater && ranked[0];
    struct Item {
        uint64_t image[2];
        int32_t id;
        uint32_t offset, length;
        PmtRecord record;
    };
    std::vector<Item> items(textFirst ? 0 : n);
    std::string key, scratch;
    // The number of each row's text, field by field, made first: a row's
    // look-up in the table of distinct texts is started several rows ahead.
    std::vector<std::vector<uint32_t>> textNumbers(static_cast<std::size_t>(nf));
    // A text first and a number second: the number's image of each row, read
    // from the record while its text is (a second pass over every record
    // would read them all from memory again).
    TField* second = nf > 1 ? fieldList_.Fields(1) : nullptr;
    const bool secondImages = textFirst && second != nullptr && !ranked[1];
    const bool secondDescending = second != nullptr && fieldList_.Options(1).Contains(mtifoDescending);
    std::vector<uint64_t> imagesOfSecond(secondImages ? n : 0);
    // A text first: the entries' ids in their present order, read block by
    // block once, for the rows' look-ups and then their placing (which
    // writes the entries over).
    std::vector<int32_t> ids;
    if (textFirst) {
        ReserveHuge(ids, n);
        entries_.ForEach([&](const Entry& e) { ids.push_back(e.id); });
    }
    std::string secondScratch;  // not the text's, which may still be in use
    auto imageOfSecond = [&](PmtRecord Record) {
        int32_t len = 0;
        const uint64_t image = NumberImage(
            common->FieldValueForRead(Record, fieldList_.FieldNo(1), second, len, secondScratch), second->DataType());
        return secondDescending ? ~image : image;
    };
    {
        struct Text {
            const uint8_t* value;  // nullptr: null
            int32_t length;
            uint64_t hash;
            PmtRecord record;
        };
        // The texts of the rows between the one looked up and the one whose
        // slot is being fetched.
        constexpr std::size_t kAhead = 16, kRing = 32;
        Text texts[kRing];
        for (int f = 0; f < nf; ++f) {
            TField* field = fieldList_.Fields(f);
            const TFieldType type = field->DataType();
            if (!IsStringKind(type)) continue;
            const TmtifoOptions opts = fieldList_.Options(f);
            DistinctTexts& d = distinct[static_cast<std::size_t>(f)];
            // Texts a field decompresses land in one scratch buffer: those
            // are looked up at once, not ahead.
            const bool stable = fieldList_.FieldNo(f) <= 0 ||
                                (common->FieldFlags(fieldList_.FieldNo(f)) & kFlagCompressed) == 0 ||
                                common->Owner() == nullptr || !common->Owner()->OnDecompressField;
            std::vector<uint32_t>& numbers = textNumbers[static_cast<std::size_t>(f)];
            ReserveHuge(numbers, n);
            numbers.resize(n);
            auto read = [&](std::size_t i) {
                int32_t len = 0;
                PmtRecord record = common->Record(textFirst ? ids[i] : entries_[i].id);
                const uint8_t* v = common->FieldValueForRead(record, fieldList_.FieldNo(f), field, len, scratch);
                Text t{v, len, 0, record};
                if (v != nullptr) {
                    const auto* p = reinterpret_cast<const char*>(v);
                    t.length = static_cast<int32_t>(strnlen(p, static_cast<std::size_t>(std::max(len, 0))));
                    t.hash = DistinctTexts::Hash(std::string_view(p, static_cast<std::size_t>(t.length)));
                }
                return t;
            };
            auto number = [&](const Text& t) {
                if (t.value == nullptr) {
                    if (d.nullIndex < 0) d.nullIndex = d.Take();
                    return static_cast<uint32_t>(d.nullIndex);
                }
                bool added = false;
                return d.FindOrAdd(
                    std::string_view(reinterpret_cast<const char*>(t.value), static_cast<std::size_t>(t.length)),
                    t.hash, added);
            };
            // A sort's texts, mostly distinct (too many to keep for later
            // searches), are ranked through keys cut after their primary
            // weights, which mostly order them alone: whole keys are made
            // for the texts those leave tied, and for all of them only when
            // a search or a change first needs them (a listing never may).
            auto writeKeys = [&] {
                // Texts too many to keep for the searches (below) are looked
                // up no more: their table's room goes before the keys take
                // theirs, which can then be the same memory.
                if (d.Taken() * 8 > n) d.DropLookup();
                const bool cut =
                    keysOnDemand_ && textFirst && f < 2 && !opts.Contains(mtifoIgnoreLocale) && d.Taken() * 8 > n;
                if (f < 2) primary[f] = cut;
                d.WriteKeys(type, opts, cut);
            };
            const bool withImages = f == 0 && secondImages;
            if (!stable) {
                for (std::size_t i = 0; i < n; ++i) {
                    const Text t = read(i);
                    numbers[i] = number(t);
                    if (withImages) imagesOfSecond[i] = imageOfSecond(t.record);
                }
                writeKeys();
                continue;
            }
            // Rows spread over the table tell whether its texts are mostly
            // distinct (a register of clients) rather than few and repeated:
            // those get room for all of them at once, not through every
            // doubling of the table and of the buffers.
            constexpr std::size_t kSample = 1024;
            if (n >= 64 * kSample) {
                std::unordered_set<std::string_view> seen;
                std::size_t bytes = 0;
                for (std::size_t k = 0; k < kSample; ++k) {
                    const Text t = read(k * (n / kSample));
                    if (t.value == nullptr) continue;
                    seen.emplace(reinterpret_cast<const char*>(t.value), static_cast<std::size_t>(t.length));
                    bytes += static_cast<std::size_t>(t.length);
                }
                if (seen.size() * 100 >= kSample * 97) d.Expect(n, bytes / kSample);
            }
            for (std::size_t i = 0; i < std::min(n, kAhead); ++i) texts[i] = read(i);
            for (std::size_t i = 0; i < n; ++i) {
                if (i + kAhead < n) {
                    Text& t = texts[(i + kAhead) % kRing];
                    t = read(i + kAhead);
                    if (t.value != nullptr) d.Prefetch(t.hash);
                }
                if (i + kAhead / 2 < n && texts[(i + kAhead / 2) % kRing].value != nullptr)
                    d.PrefetchText(texts[(i + kAhead / 2) % kRing].hash);
                numbers[i] = number(texts[i % kRing]);
                if (withImages) imagesOfSecond[i] = imageOfSecond(texts[i % kRing].record);
            }
            writeKeys();
        }
    }
    for (std::size_t i = 0; i < n && !textFirst; ++i) {
        Item& item = items[i];
        item.id = entries_[i].id;
        item.image[0] = item.image[1] = 0;
        PmtRecord r = common->Record(item.id);
        item.record = r;
        key.clear();
        for (int f = 0; f < nf; ++f) {
            TField* field = fieldList_.Fields(f);
            const TFieldType type = field->DataType();
            const TmtifoOptions opts = fieldList_.Options(f);
            const bool desc = opts.Contains(mtifoDescending);
            if (IsStringKind(type)) {
                DistinctTexts& d = distinct[static_cast<std::size_t>(f)];
                const uint32_t at = textNumbers[static_cast<std::size_t>(f)][i];
                if (!keysLater) key += d.Key(at);
                if (f < 2) item.image[f] = at;  // made a rank below
                continue;
            }
            int32_t len = 0;
            const uint8_t* v = common->FieldValueForRead(r, fieldList_.FieldNo(f), field, len, scratch);
            if (!keysLater) AppendKeyBytes(key, v, len, type, opts);
            if (f >= 2) continue;
            const uint64_t image = NumberImage(v, type);
            item.image[f] = desc ? ~image : image;
        }
        if (keysLater) continue;
        if (i == 0) pool_.reserve((key.size() + 4) * n + 16);
        item.offset = AddKey(reinterpret_cast<const uint8_t*>(key.data()), key.size()) + 4;
        item.length = static_cast<uint32_t>(key.size());
    }
    // Ranks of the distinct texts, equal keys sharing one.
    std::vector<uint32_t> textOfRank[2], rankOf[2];
    for (int f = 0; f < std::min(nf, 2); ++f) {
        if (!ranked[f]) continue;
        DistinctTexts& d = distinct[static_cast<std::size_t>(f)];
        const std::size_t keys = d.Keys();
        // The 8 key bytes of each text past those all share ("Cliente ..."),
        // side by side with its number, decide most comparisons without
        // reaching the keys.
        std::size_t common = keys == 0 ? 0 : d.Key(0).size();
        for (std::size_t k = 1; k < keys && common > 0; ++k) {
            const std::string_view a = d.Key(0), b = d.Key(k);
            std::size_t same = 0;
            const std::size_t most = std::min(common, b.size());
            while (same < most && a[same] == b[same]) ++same;
            common = same;
        }
        struct Head {
            uint64_t head;
            uint32_t number;
            uint32_t more;  // the four key bytes after the head
        };
        std::vector<Head> order;
        ReserveHuge(order, keys);
        order.resize(keys);
        auto headAt = [&](uint32_t k, std::size_t from) {
            const std::string_view b = d.Key(k);
            return from >= b.size() ? uint64_t{0}
                                    : PrefixOf(reinterpret_cast<const uint8_t*>(b.data()) + from, b.size() - from);
        };
        // The 16 key bytes after each head too, by number, read in the same
        // pass over the keys: texts of one head (a first name) are ordered
        // by them without a read of their keys, each elsewhere, and most are
        // then told apart (a first name, a particle and most of a surname).
        struct Tail {
            uint64_t first, second;
        };
        std::vector<Tail> tails;
        ReserveHuge(tails, keys);
        tails.resize(keys);
        for (std::size_t k = 0; k < keys; ++k) {
            const auto at = static_cast<uint32_t>(k);
            tails[k] = Tail{headAt(at, common + 8), headAt(at, common + 16)};
            order[k] = Head{headAt(at, common), at, static_cast<uint32_t>(tails[k].first >> 32)};
        }
        // By the heads and the four bytes after them, a byte at a time from
        // the last, over the bytes where they differ at all: a pass over the
        // heads per byte instead of a comparison sort's branches taken at
        // random. The runs of one head and four bytes more are a few names
        // (a first name and the start of a surname), not a hundred.
        uint64_t differ = 0, differMore = 0;
        for (const Head& h : order) {
            differ |= h.head ^ order[0].head;
            differMore |= h.more ^ order[0].more;
        }
        if ((differ | differMore) != 0) {
            std::vector<Head> moved;
            ReserveHuge(moved, keys);
            moved.resize(keys);
            auto pass = [&](auto byteOf) {
                PassByByte(order.data(), moved.data(), keys, byteOf);
                order.swap(moved);
            };
            for (int shift = 0; shift < 32; shift += 8)
                if (((differMore >> shift) & 0xFF) != 0)
                    pass([shift](const Head& h) { return (h.more >> shift) & 0xFF; });
            for (int shift = 0; shift < 64; shift += 8)
                if (((differ >> shift) & 0xFF) != 0)
                    pass([shift](const Head& h) { return (h.head >> shift) & 0xFF; });
        }
        // Texts of one head are ordered by their next eight key bytes, and
        // so on (names that share a first name share their first heads):
        // integers compared in a small run, not whole keys. A zero-padded
        // head orders as the bytes do, a key that ends first sorting first;
        // runs still tied when their keys are used up, or small, compare
        // whole keys.
        auto byKey = [&](const Head& a, const Head& b) { return d.Key(a.number) < d.Key(b.number); };
        struct Run {
            std::size_t from, to, offset;
        };
        std::vector<Run> runs;
        // With keys cut after the primary weights: the positions whose cut
        // key is the one before's.
        std::vector<std::size_t> tied;
        auto pushRuns = [&](std::size_t from, std::size_t to, std::size_t offset) {
            for (std::size_t i = from; i < to;) {
                std::size_t j = i + 1;
                while (j < to && order[j].head == order[i].head) ++j;
                if (j - i > 1) runs.push_back(Run{i, j, offset});
                i = j;
            }
        };
        // The runs of one head (and four bytes) by their tails; texts still
        // tied go on below from the bytes past the tails.
        struct Tailed {
            Tail tail;
            uint32_t number;
        };
        std::vector<Tailed> tailed;
        for (std::size_t i = 0; i < keys;) {
            std::size_t j = i + 1;
            while (j < keys && order[j].head == order[i].head && order[j].more == order[i].more) ++j;
            if (j - i > 1) {
                tailed.clear();
                // Fetched ahead over the runs to come as well: most are a few
                // texts, fewer than a fetch takes to come in.
                constexpr std::size_t kAheadTails = 16;
                for (std::size_t k = i; k < j; ++k) {
                    if (k + kAheadTails < keys) __builtin_prefetch(tails.data() + order[k + kAheadTails].number);
                    tailed.push_back(Tailed{tails[order[k].number], order[k].number});
                }
                // Both words at once, with no branch between them.
                std::sort(tailed.begin(), tailed.end(), [](const Tailed& a, const Tailed& b) {
                    return (a.tail.first < b.tail.first) |
                           ((a.tail.first == b.tail.first) & (a.tail.second < b.tail.second));
                });
                for (std::size_t k = i, t = 0; k < j;) {
                    std::size_t u = t + 1;
                    while (u < tailed.size() && tailed[u].tail.first == tailed[t].tail.first &&
                           tailed[u].tail.second == tailed[t].tail.second)
                        ++u;
                    for (std::size_t v = t; v < u; ++v)
                        order[k + v - t] = Head{tailed[v].tail.second, tailed[v].number, 0};
                    if (u - t > 1) runs.push_back(Run{k, k + u - t, common + 16});
                    k += u - t;
                    t = u;
                }
            }
            i = j;
        }
        while (!runs.empty()) {
            const Run run = runs.back();
            runs.pop_back();
            const auto first = order.begin() + static_cast<std::ptrdiff_t>(run.from);
            const auto last = order.begin() + static_cast<std::ptrdiff_t>(run.to);
            const std::size_t next = run.offset + 8;
            bool longer = false;
            for (auto it = first; it != last && !longer; ++it) longer = d.Key(it->number).size() > next;
            if (run.to - run.from <= 8 || !longer) {
                std::sort(first, last, byKey);
                if (primary[f])
                    for (auto it = first + 1; it != last; ++it)
                        if (d.Key(it->number) == d.Key((it - 1)->number)) tied.push_back(it - order.begin());
                continue;
            }
            // The texts of a run lie anywhere among the keys: the bytes of
            // those a few ahead are on their way, their places before them.
            constexpr std::ptrdiff_t kAheadKeys = 8;
            const char* keyBytes = d.keys.bytes.data();
            for (auto it = first; it != last; ++it) {
                if (last - it > 2 * kAheadKeys) d.keys.PrefetchPlace((it + 2 * kAheadKeys)->number);
                if (last - it > kAheadKeys)
                    __builtin_prefetch(keyBytes + d.keys.Start((it + kAheadKeys)->number) + 4 + next);
                it->head = headAt(it->number, next);
            }
            std::sort(first, last, [](const Head& a, const Head& b) { return a.head < b.head; });
            pushRuns(run.from, run.to, next);
        }
        // Texts whose cut keys tie, by their whole keys: those tied still
        // share a rank.
        std::vector<std::size_t> sharing;  // positions whose whole key is the one before's
        if (primary[f] && !tied.empty()) {
            std::sort(tied.begin(), tied.end());
            const TFieldType type = fieldList_.Fields(f)->DataType();
            const TmtifoOptions opts = fieldList_.Options(f);
            std::vector<std::pair<std::string, uint32_t>> whole;
            for (std::size_t t = 0; t < tied.size();) {
                // A tie is a position and the ones after it that tie too.
                const std::size_t from = tied[t] - 1;
                std::size_t to = tied[t] + 1;
                for (++t; t < tied.size() && tied[t] == to; ++t) ++to;
                whole.clear();
                for (std::size_t k = from; k < to; ++k) {
                    const uint32_t number = order[k].number;
                    const std::string_view text = d.Text(number);
                    std::string key;
                    AppendKeyBytes(key,
                                   static_cast<int64_t>(number) == d.nullIndex
                                       ? nullptr
                                       : reinterpret_cast<const uint8_t*>(text.data()),
                                   static_cast<int32_t>(text.size()), type, opts);
                    whole.emplace_back(std::move(key), number);
                }
                std::sort(whole.begin(), whole.end());
                for (std::size_t k = from; k < to; ++k) {
                    order[k].number = whole[k - from].second;
                    if (k > from && whole[k - from].first == whole[k - from - 1].first) sharing.push_back(k);
                }
            }
        }
        std::vector<uint32_t>& rank = rankOf[f];
        ReserveHuge(rank, keys);
        rank.resize(keys);
        // A key that tells case apart ends with the text itself (the
        // collation's ties broken by the bytes), or is the text's bytes:
        // distinct texts then have distinct keys, and each its own rank,
        // with no key read again.
        const bool ownRanks = !fieldList_.Options(f).Contains(mtifoCaseInsensitive);
        uint32_t r = 0;
        for (std::size_t k = 0, shared = 0; k < keys; ++k) {
            bool same = false;
            if (primary[f]) {
                same = shared < sharing.size() && sharing[shared] == k;
                shared += same ? 1 : 0;
            } else {
                same = k > 0 && !ownRanks && d.Key(order[k].number) == d.Key(order[k - 1].number);
            }
            if (k > 0 && !same) ++r;
            rank[order[k].number] = r;
            if (r == textOfRank[f].size()) textOfRank[f].push_back(order[k].number);
        }
        for (Item& item : items) item.image[f] = rank[item.image[f]];
    }
    const bool firstDescending = nf > 0 && fieldList_.Options(0).Contains(mtifoDescending);
    // Few distinct texts (a value every 8th row at least): their keys are
    // kept for the searches and inserts to come.
    memo_.clear();
    memo_.resize(static_cast<std::size_t>(nf));
    for (int f = 0; f < nf; ++f) {
        DistinctTexts& d = distinct[static_cast<std::size_t>(f)];
        if (d.Keys() == 0 || d.Keys() * 8 > n) continue;
        TextMemo& memo = memo_[static_cast<std::size_t>(f)];
        memo.Reset(std::max<std::size_t>(4096, d.Keys() * 2), d.Keys());
        d.ForEach([&](std::string_view text, uint32_t at) { memo.Add(text, d.Key(at)); });
    }
    // What keys are made from when they are made from images.
    auto takeImages = [&] {
        auto images = std::make_unique<ImageKeys>();
        for (int f = 0; f < std::min(nf, 2); ++f) {
            const auto uf = static_cast<std::size_t>(f);
            images->ranked[f] = ranked[f];
            images->textOfRank[f] = std::move(textOfRank[f]);
            if (primary[f]) {
                // The cut keys served their turn; the texts wait for theirs.
                distinct[uf].keys = memtable::TextKeys();
                distinct[uf].DropLookup();
                images->unkeyed[f] = std::make_unique<DistinctTexts>(std::move(distinct[uf]));
                continue;
            }
            images->texts[f] = std::move(distinct[uf].keys);
        }
        return images;
    };
    if (textFirst) {
        // Each row to its rank's place, the second field's image in the
        // entry's prefix and the rank in its key; then only the rows of one
        // rank are compared, a small run that stays in the cache however
        // large the table (a sort of the whole list misses it at every
        // level). The keys are written from the images, at once or, for a
        // sort, at the first search or change that needs them: a sort for a
        // listing may never see one.
        const std::vector<uint32_t>& rank0 = rankOf[0];
        // Each row's rank, written over its text's number as the ranks are
        // counted: the rows are then placed without looking either up again.
        std::vector<uint32_t>& ranks0 = textNumbers[0];
        const std::size_t ranks = textOfRank[0].size();
        std::vector<uint32_t> next;
        ReserveHuge(next, ranks + 1);
        next.resize(ranks + 1, 0);
        for (std::size_t i = 0; i < n; ++i) {
            const uint32_t r = rank0[ranks0[i]];
            ranks0[i] = r;
            ++next[r + 1];
        }
        for (std::size_t r = 0; r < ranks; ++r) next[r + 1] += next[r];
        // Each entry is written over at its row's place, anywhere in the
        // list: its rank's next place and that place are fetched in turn
        // over the rows ahead.
        constexpr std::size_t kAheadRows = 8;
        for (std::size_t i = 0; i < n; ++i) {
            if (i + 2 * kAheadRows < n) __builtin_prefetch(next.data() + ranks0[i + 2 * kAheadRows]);
            if (i + kAheadRows < n) {
                const std::size_t to = next[ranks0[i + kAheadRows]];
                if (to < n) __builtin_prefetch(&entries_[to], 1);
            }
            const int32_t id = ids[i];
            const uint64_t image =
                ranked[1] ? rankOf[1][textNumbers[1][i]] : (secondImages ? imagesOfSecond[i] : 0);
            const uint32_t r = ranks0[i];
            entries_[next[r]++] = Entry{image, id, r, common->Record(id)};
        }
        // next[r] is now where rank r + 1 starts.
        std::vector<Entry> run, scratch;
        for (std::size_t r = 0, from = 0; r < ranks; from = next[r], ++r) {
            const std::size_t to = next[r];
            if (to - from < 2) continue;
            // In its block where it fits in one, as most do.
            const std::size_t block = entries_.BlockAt(from);
            const std::size_t start = entries_.BlockStart(block);
            if (to - start <= entries_.BlockSize(block)) {
                Entry* at = entries_.BlockData(block);
                SortRun(at + (from - start), at + (to - start), firstDescending, scratch);
                continue;
            }
            entries_.CopyOut(from, to, run);
            SortRun(run.data(), run.data() + run.size(), firstDescending, scratch);
            entries_.CopyIn(from, run);
        }
        pendingKeys_ = takeImages();
        unkeyedSearches_ = 0;
        runsById_ = !firstDescending;
        runsByIdDown_ = firstDescending;
        if (!keysOnDemand_) MakePendingKeys();
        return;
    }
    if (!useSecond)
        for (Item& item : items) item.image[1] = 0;
    const uint8_t* pool = Pool();
    auto less = [&](const Item& a, const Item& b) {
        if (a.image[0] != b.image[0]) return a.image[0] < b.image[0];
        if (a.image[1] != b.image[1]) return a.image[1] < b.image[1];
        if (needBytes) {
            const int c = CompareKeyBytes(pool + a.offset, a.length, pool + b.offset, b.length);
            if (c != 0) return c < 0;
        }
        return firstDescending ? a.id > b.id : a.id < b.id;
    };
    const std::size_t ranks = ranked[0] ? distinct[0].Keys() : 0;
    if (ranked[0] && ranks <= n) {
        // A text first: its ranks are dense and few, so the items go to their
        // rank's place in one pass and only the items of one rank are
        // compared, a small run that stays in the cache however large the
        // table (a sort of the whole list misses it at every level).
        std::vector<uint32_t> start(ranks + 1, 0);
        for (const Item& item : items) ++start[item.image[0] + 1];
        for (std::size_t r = 0; r < ranks; ++r) start[r + 1] += start[r];
        std::vector<Item> placed(n);
        std::vector<uint32_t> next(start.begin(), start.end() - 1);
        for (const Item& item : items) placed[next[item.image[0]]++] = item;
        for (std::size_t r = 0; r < ranks; ++r)
            if (start[r + 1] - start[r] > 1) std::sort(placed.begin() + start[r], placed.begin() + start[r + 1], less);
        items.swap(placed);
    } else {
        std::sort(items.begin(), items.end(), less);
    }
    if (keysLater) {
        std::unique_ptr<ImageKeys> images = takeImages();
        runsById_ = !firstDescending;
        runsByIdDown_ = firstDescending;
        WriteImageKeys(*images, [&](std::size_t i) {
            Entry& e = entries_[i];
            e.id = items[i].id;
            e.hint = items[i].record;
            return std::pair<uint64_t, uint64_t>(items[i].image[0], items[i].image[1]);
        });
        return;
    }
    // Neighbours with one key share its bytes; the copies left over go in
    // one compaction, which keeps an index of few distinct values small.
    for (std::size_t i = 0; i < n; ++i) {
        Entry& e = entries_[i];
        const Item& item = items[i];
        e.id = item.id;
        e.hint = item.record;
        e.prefix = PrefixOf(pool + item.offset, item.length);
        const bool same = i > 0 && item.image[0] == items[i - 1].image[0] && item.image[1] == items[i - 1].image[1] &&
                          (!needBytes || CompareKeyBytes(pool + item.offset, item.length, pool + items[i - 1].offset,
                                                         items[i - 1].length) == 0);
        if (same) {
            e.key = entries_[i - 1].key;
            deadBytes_ += item.length + 4;
        } else {
            e.key = item.offset - 4;
        }
    }
    keysValid_ = true;
    runsById_ = !firstDescending;
    runsByIdDown_ = firstDescending;
    CompactPool();
    FindSharedBytes();
}


template <typename ImagesOf>
void TmtIndex::WriteImageKeys(const ImageKeys& Images, ImagesOf&& ImagesAt) {
    // Keys come in the entries' order, a text's from its rank: the text keys
    // of the next ranks are fetched meanwhile, first their places, then
    // their bytes. Entries of one image pair share one key.
    const int nf = fieldList_.Count();
    const std::size_t n = entries_.size();
    const std::vector<uint32_t>& texts = Images.textOfRank[0];
    constexpr std::size_t kAhead = 8;
    std::size_t fetched = 0;  // ranks whose places are on their way
    std::string key;
    std::pair<uint64_t, uint64_t> last{};
    pool_.clear();
    deadBytes_ = 0;
    shared_ = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::pair<uint64_t, uint64_t> image = ImagesAt(i);
        Entry& e = entries_[i];
        if (i > 0 && image == last) {
            e.key = entries_[i - 1].key;
            e.prefix = entries_[i - 1].prefix;
            continue;
        }
        last = image;
        if (Images.ranked[0])
            for (; fetched < std::min(texts.size(), image.first + 2 * kAhead); ++fetched) {
                Images.texts[0].PrefetchPlace(texts[fetched]);
                if (fetched >= kAhead) Images.texts[0].PrefetchKey(texts[fetched - kAhead]);
            }
        key.clear();
        for (int f = 0; f < std::min(nf, 2); ++f) {
            const uint64_t v = f == 0 ? image.first : image.second;
            if (Images.ranked[f])
                key += Images.texts[f].Key(Images.textOfRank[f][v]);
            else
                AppendImageKey(key, v, fieldList_.Fields(f)->DataType(), fieldList_.Options(f));
        }
        if (i == 0) {
            // Room for every distinct key: a text's at the average size of
            // the texts' keys (the first in order, often among the shortest,
            // would leave the pool to grow by copies of itself), the rest
            // at the first key's size.
            const std::size_t keys = nf == 1 && Images.ranked[0] ? texts.size() : n;
            const memtable::TextKeys& first = Images.texts[0];
            const std::size_t text = Images.ranked[0] ? first.Key(texts[image.first]).size() + 4 : 0;
            const std::size_t average =
                Images.ranked[0] && !first.ends.empty() ? first.bytes.size() / first.ends.size() + 1 : text;
            ReserveHuge(pool_, keys * (average + key.size() + 4 - text + key.size() / 8) + 16);
        }
        e.key = AddKey(reinterpret_cast<const uint8_t*>(key.data()), key.size());
        e.prefix = PrefixOf(reinterpret_cast<const uint8_t*>(key.data()), key.size());
    }
    keysValid_ = true;
    FindSharedBytes();
}

bool TmtIndex::AdoptPendingKeys(ImageKeys& Images) {
    // One text field whose distinct texts have distinct keys: the keys, one
    // per text, are already those of the ranks, written once and stored as a
    // pool stores them. Entries of one rank share their text's key.
    // A large index copies them in key order instead: the last steps of a
    // search that the marks do not serve (an index changing between
    // searches) then read keys side by side, where keys in the order their
    // texts came would each be a miss of their own.
    constexpr std::size_t kAdoptedEntries = std::size_t{1} << 18;
    memtable::TextKeys& texts = Images.texts[0];
    if (fieldList_.Count() != 1 || !Images.ranked[0] || fieldList_.Options(0).Contains(mtifoCaseInsensitive) ||
        texts.bytes.size() >= UINT32_MAX || entries_.size() > kAdoptedEntries)
        return false;
    const std::vector<uint32_t>& textOfRank = Images.textOfRank[0];
    // Keys longer than foreseen grew the buffer by doubling: the pool keeps
    // only what it holds.
    if (texts.bytes.capacity() > texts.bytes.size() + texts.bytes.size() / 2) texts.bytes.shrink_to_fit();
    pool_.swap(texts.bytes);
    deadBytes_ = 0;
    shared_ = 0;
    // The keys come in rank order, each somewhere in the pool: the places
    // and bytes of the next ranks are fetched meanwhile.
    constexpr std::size_t kAhead = 8;
    std::size_t fetched = 0;
    const std::size_t n = entries_.size();
    uint32_t lastRank = UINT32_MAX, lastKey = 0;
    uint64_t lastPrefix = 0;
    for (std::size_t i = 0; i < n; ++i) {
        Entry& e = entries_[i];
        const uint32_t rank = e.key;
        if (rank != lastRank) {
            for (; fetched < std::min<std::size_t>(textOfRank.size(), rank + 2 * kAhead); ++fetched) {
                texts.PrefetchPlace(textOfRank[fetched]);
                if (fetched >= kAhead) __builtin_prefetch(Pool() + texts.Start(textOfRank[fetched - kAhead]));
            }
            const std::size_t at = texts.Start(textOfRank[rank]);
            lastRank = rank;
            lastKey = static_cast<uint32_t>(at);
            lastPrefix = PrefixOf(Pool() + at + 4, memtable::ReadValue<uint32_t>(Pool() + at));
        }
        e.key = lastKey;
        e.prefix = lastPrefix;
    }
    keysValid_ = true;
    FindSharedBytes();
    return true;
}

void TmtIndex::MakePendingKeys() {
    std::unique_ptr<ImageKeys> images = std::move(pendingKeys_);
    if (images == nullptr) return;
    EntriesChanged();
    for (int f = 0; f < std::min(fieldList_.Count(), 2); ++f) {
        std::unique_ptr<DistinctTexts>& texts = images->unkeyed[f];
        if (texts == nullptr) continue;
        texts->WriteKeys(fieldList_.Fields(f)->DataType(), fieldList_.Options(f), false);
        images->texts[f] = std::move(texts->keys);
        texts.reset();
    }
    if (AdoptPendingKeys(*images)) return;
    WriteImageKeys(*images, [&](std::size_t i) {
        const Entry& e = entries_[i];
        return std::pair<uint64_t, uint64_t>(e.key, e.prefix);
    });
}

void TmtIndex::Sort(int L, int R) {
    EntriesChanged();
    if (isRowOrder_) return;  // the row order is the order records were placed in
    // Part of the list sorts by keys, which the rest must then have.
    if (pendingKeys_ != nullptr && !(L <= 0 && R >= Count() - 1)) MakePendingKeys();
    pendingKeys_.reset();
    if (L < 0) L = 0;
    if (R >= Count()) R = Count() - 1;
    if (L >= R) {
        if (keyable_ && !keysValid_ && L == 0 && R <= 0) SortByKeys();
        return;
    }
    TmtCommon* common = dataSet_->Common();
    const bool byRecords = !keyable_ || (common->Owner() != nullptr && common->Owner()->OnCompareFields);
    if (byRecords) {
        SortByRecords(L, R);
        // The order now is the comparison's, which keys may not follow.
        keysValid_ = false;
    } else if (L == 0 && R == Count() - 1) {
        SortByKeys();
    } else {
        // Part of the list: its keys are made again from the records.
        runsById_ = false;
        runsByIdDown_ = false;
        std::string key;
        // The entries outside the range have no bytes to share without keys.
        if (!keysValid_) shared_ = 0;
        for (int i = L; i <= R; ++i) {
            Entry& e = entries_[static_cast<std::size_t>(i)];
            BuildKey(common->Record(e.id), fieldList_.Count(), key);
            if (keysValid_ && !pool_.empty()) deadBytes_ += KeyLength(e) + 4;  // high when shared: compacts sooner
            KeepSharedWith(reinterpret_cast<const uint8_t*>(key.data()), key.size());
            e.key = AddKey(reinterpret_cast<const uint8_t*>(key.data()), key.size());
            e.prefix = PrefixPastShared(reinterpret_cast<const uint8_t*>(key.data()), key.size());
        }
        const bool firstDescending = fieldList_.Options(0).Contains(mtifoDescending);
        auto keyOf = [&](const Entry& e) { return std::make_pair(KeyBytes(e), KeyLength(e)); };
        std::vector<Entry> part;
        entries_.CopyOut(static_cast<std::size_t>(L), static_cast<std::size_t>(R) + 1, part);
        std::sort(part.begin(), part.end(), [&](const Entry& a, const Entry& b) {
            if (a.prefix != b.prefix) return a.prefix < b.prefix;
            auto [ka, la] = keyOf(a);
            auto [kb, lb] = keyOf(b);
            const int c = CompareKeyBytes(ka, la, kb, lb);
            if (c != 0) return c < 0;
            return firstDescending ? a.id > b.id : a.id < b.id;
        });
        entries_.CopyIn(static_cast<std::size_t>(L), part);
        // Equal keys share bytes, also with the neighbours of the range.
        const int from = keysValid_ ? std::max(L, 1) : L + 1, to = keysValid_ ? std::min(R + 1, Count() - 1) : R;
        for (int i = from; i <= to; ++i) {
            Entry& a = entries_[static_cast<std::size_t>(i) - 1];
            Entry& b = entries_[static_cast<std::size_t>(i)];
            auto [ka, la] = keyOf(a);
            auto [kb, lb] = keyOf(b);
            if (a.key != b.key && CompareKeyBytes(ka, la, kb, lb) == 0) b.key = a.key;
        }
        CompactPool();
    }
    isOrdered_ = true;
}

void TmtIndex::Clear() {
    EntriesChanged();
    pendingKeys_.reset();
    ids_.clear();
    entries_.clear();
    pool_.clear();
    shared_ = 0;
    deadBytes_ = 0;
    keysValid_ = keyable_;
    runsById_ = true;
    runsByIdDown_ = true;
    isOrdered_ = false;
    idsAscending_ = true;
    identity_ = true;
}

bool TmtIndex::FilterRecord(PmtRecord Record) {
    if (!isFiltered_ && !OnFilterIndex && !dataSet_->OnFilterIndex && filterExpression_ == nullptr) return true;
    PmtRecord old = dataSet_->IndexFilterRecord();
    dataSet_->SetIndexFilterRecord(Record);
    struct Restore {
        TmtCustomMemTable* t;
        PmtRecord r;
        ~Restore() { t->SetIndexFilterRecord(r); }
    } restore{dataSet_, old};
    bool accept = true;
    if (OnFilterIndex) OnFilterIndex(dataSet_, this, accept);
    if (accept && dataSet_->OnFilterIndex) dataSet_->OnFilterIndex(dataSet_, this, accept);
    if (accept && filterExpression_ != nullptr) accept = dataSet_->EvaluateFilterExpression(filterExpression_, Record);
    return accept;
}

void TmtIndex::LoadIndex() {
    TmtCommon* common = dataSet_->Common();
    std::vector<std::pair<int32_t, int32_t>> order;
    if (isRowOrder_) {
        // The row order is the order records were placed in, which a reload
        // must keep: the order this table saved before the store changed
        // under it (a rollback or a commit), even an empty one; else this
        // index's; only a table opening on a store that other tables filled
        // takes theirs. Once open, what the other tables of the store show
        // decides nothing here: an idle table beside it changes no answer.
        const TmtIndex* from = this;
        const bool opening = orderFromOthers_;
        orderFromOthers_ = false;
        if (opening && ids_.empty() && !orderSaved_) {
            for (TmtCustomMemTable* t : common->AttachedTables()) {
                if (t == nullptr || t == dataSet_ || !t->Active()) continue;
                TmtIndex* ro = t->Indexes()->RowOrderIndex();
                if (ro != nullptr && ro->Count() > 0) {
                    from = ro;
                    break;
                }
            }
        }
        if (orderSaved_) {
            order = std::move(savedOrder_);
            savedOrder_.clear();
            orderSaved_ = false;
        } else {
            for (int i = 0; i < from->Count(); ++i) {
                PmtRecord r = from->RecordAt(i);
                if (r != nullptr) order.emplace_back(r->RecordID, r->UniqueRecordID);
            }
        }
    }
    Clear();
    StoreLock lock(common);
    auto wanted = [&](PmtRecord r) {
        if (r == nullptr) return false;
        auto status = static_cast<TUpdateStatus>(r->UpdateStatus);
        if (!updateStatusSet_.Contains(status)) return false;
        if (status == usDeleted && !common->EnableVersioning()) return false;
        return FilterRecord(r);
    };
    EntriesChanged();
    auto take = [&](PmtRecord r) {
        if (isRowOrder_)
            ids_.push_back(r->RecordID);
        else
            entries_.push_back(Entry{0, r->RecordID, 0, r});
    };
    std::vector<uint8_t> taken(static_cast<std::size_t>(common->RecordCount()), 0);
    for (const auto& [id, uid] : order) {
        PmtRecord r = common->Record(id);
        if (r == nullptr || r->UniqueRecordID != uid || taken[static_cast<std::size_t>(id)] != 0) continue;
        taken[static_cast<std::size_t>(id)] = 1;
        if (wanted(r)) take(r);
    }
    for (int id = 0; id < common->RecordCount(); ++id) {
        if (taken[static_cast<std::size_t>(id)] != 0) continue;
        PmtRecord r = common->Record(id);
        if (wanted(r)) take(r);
    }
    // Entries without keys until the sort makes them.
    keysValid_ = keyable_ && entries_.empty();
    runsById_ = entries_.empty();
    runsByIdDown_ = entries_.empty();
    idsAscending_ = true;
    for (std::size_t i = 1; i < ids_.size() && idsAscending_; ++i)
        if (ids_[i - 1] > ids_[i]) idsAscending_ = false;
    identity_ = true;
    for (std::size_t i = 0; i < ids_.size() && identity_; ++i)
        if (ids_[i] != static_cast<int32_t>(i)) identity_ = false;
}

void TmtIndex::RememberOrder() {
    orderSaved_ = true;
    savedOrder_.clear();
    for (int i = 0; i < Count(); ++i)
        if (PmtRecord r = RecordAt(i)) savedOrder_.emplace_back(r->RecordID, r->UniqueRecordID);
}

void TmtIndex::PushLevelOrder() {
    std::vector<std::pair<int32_t, int32_t>> order;
    order.reserve(static_cast<std::size_t>(Count()));
    for (int i = 0; i < Count(); ++i)
        if (PmtRecord r = RecordAt(i)) order.emplace_back(r->RecordID, r->UniqueRecordID);
    levelOrders_.push_back(std::move(order));
}

void TmtIndex::PopLevelOrder(bool Restore) {
    if (levelOrders_.empty() || !Restore) {
        // A commit keeps the order as it stands.
        RememberOrder();
        if (!levelOrders_.empty()) levelOrders_.pop_back();
        return;
    }
    // Records placed during the level keep their places after the ones
    // that were there before it.
    std::vector<std::pair<int32_t, int32_t>> order = std::move(levelOrders_.back());
    for (int i = 0; i < Count(); ++i)
        if (PmtRecord r = RecordAt(i)) order.emplace_back(r->RecordID, r->UniqueRecordID);
    savedOrder_ = std::move(order);
    orderSaved_ = true;
    levelOrders_.pop_back();
}

void TmtIndex::ReSort() {
    if (isSortable_) {
        dataSet_->Progress(0, mtpcSort);
        int oldActivity = dataSet_->CurrentActivity();
        dataSet_->SetCurrentActivity(actSorting);
        struct Restore {
            TmtCustomMemTable* t;
            int a;
            ~Restore() { t->SetCurrentActivity(a); }
        } restore{dataSet_, oldActivity};
        {
            StoreLock lock(dataSet_->Common());
            Sort(0, Count() - 1);
            isOrdered_ = true;
            if (options_.Contains(mtcoUnique)) {
                const bool keys = HasKeys();
                for (int i = 1; i < Count(); ++i) {
                    bool same;
                    if (keys) {
                        const Entry& a = entries_[static_cast<std::size_t>(i - 1)];
                        const Entry& b = entries_[static_cast<std::size_t>(i)];
                        same = a.key == b.key || (a.prefix == b.prefix &&
                                                  CompareKeyBytes(KeyBytes(a), KeyLength(a), KeyBytes(b),
                                                                  KeyLength(b)) == 0);
                    } else {
                        same = CompareRecords(nullptr, RecordAt(i - 1), RecordAt(i), false, false) == 0;
                    }
                    if (same) {
                        isOrdered_ = false;
                        throw EMemTableDupKey(mtres::DupKey);
                    }
                }
            }
        }
        dataSet_->Progress(100, mtpcSort);
    } else if (isRowOrder_) {
        isOrdered_ = true;
    }
}

void TmtIndex::Rebuild() {
    if (dataSet_->Active() || dataSet_->IsCursorOpenForIndexes()) {
        LoadIndex();
        if (Count() > 0)
            ReSort();
        else
            isOrdered_ = true;
    } else {
        isOrdered_ = true;
    }
    if (IsCurrent() && dataSet_->CurRecNo() >= Count()) dataSet_->ClipRecNo(Count() - 1);
}

int TmtIndex::InsertionPoint(PmtRecord Record) {
    if (!isOrdered_) return Count();
    if (HasKeys()) {
        BuildKey(Record, fieldList_.Count(), scratchKey_);
        return LowerBound(MakeProbe(scratchKey_));
    }
    bool found = false;
    return FirstEqual(nullptr, Record, false, found);
}

void TmtIndex::InsertAt(int Pos, PmtRecord Record) {
    Pos = std::clamp(Pos, 0, Count());
    if (isRowOrder_) {
        EntriesChanged();
        if (Pos != Count() || (!ids_.empty() && ids_.back() > Record->RecordID)) idsAscending_ = false;
        if (Pos != Count() || Record->RecordID != Count()) identity_ = false;
        if (Pos == Count())
            ids_.push_back(Record->RecordID);
        else
            ids_.insert(static_cast<std::size_t>(Pos), Record->RecordID);
        return;
    }
    MakePendingKeys();  // a new entry has no image
    if (keyable_ && keysValid_) {
        std::string key;
        BuildKey(Record, fieldList_.Count(), key);
        InsertKeyed(Pos, Record, key);
    } else {
        EntriesChanged();
        entries_.insert(static_cast<std::size_t>(Pos), Entry{0, Record->RecordID, 0, Record});
    }
}

int TmtIndex::RemoveReference(PmtRecord Record, int Hint) {
    int n = Count();
    if (Hint >= 0 && Hint < n && IdAt(Hint) == Record->RecordID) {
        EraseAt(Hint);
        return Hint;
    }
    int pos = -1;
    if (isRowOrder_)
        FindRecordByID(Record->RecordID, pos);
    else if (isOrdered_)
        FindRecord(Record, pos);
    if (pos < 0 || IdAt(pos) != Record->RecordID) {
        pos = -1;
        for (int i = 0; i < n; ++i)
            if (IdAt(i) == Record->RecordID) {
                pos = i;
                break;
            }
    }
    if (pos >= 0) EraseAt(pos);
    return pos;
}

void TmtIndex::Reflect(int Change, PmtRecord OldRecord, PmtRecord NewRecord, int RecordPos, bool DontVersion) {
    TmtCommon* common = dataSet_->Common();
    bool current = IsCurrent();
    // The current index is what the cursor walks: it is kept up to date even
    // while indexes are switched off, or new records would be invisible.
    bool maintained = !options_.Contains(mtcoNonMaintained) && ((dataSet_->EnableIndexes() && enabled_) || current);
    if (!maintained) {
        if (!(isRowOrder_ && Change == 1)) isOrdered_ = false;
        // A deleted record must never stay behind in any index: it is about
        // to be freed.
        if (Change == 2 && !(updateStatusSet_.Contains(usDeleted) && common->EnableVersioning() && !DontVersion))
            RemoveReference(OldRecord, -1);
        return;
    }
    const bool keys = HasKeys();
    // Where Record's key goes: before every entry with an equal key.
    auto insertSorted = [&](PmtRecord KeyOf, int32_t Id) {
        int pos;
        if (keys) {
            BuildKey(KeyOf, fieldList_.Count(), scratchKey_);
            pos = isOrdered_ ? LowerBound(MakeProbe(scratchKey_)) : Count();
            InsertKeyed(pos, KeyOf, scratchKey_);
        } else {
            pos = InsertionPoint(KeyOf);
            pos = std::clamp(pos, 0, Count());
            entries_.insert(static_cast<std::size_t>(pos), Entry{0, Id, 0, KeyOf});
            EntriesChanged();
            if (keyable_) keysValid_ = false;
        }
        return pos;
    };
    switch (Change) {
        case 0: {  // insert
            if (isFiltered_ && !FilterRecord(NewRecord)) return;
            if (!updateStatusSet_.Contains(usInserted) &&
                !updateStatusSet_.Contains(static_cast<TUpdateStatus>(NewRecord->UpdateStatus)))
                return;
            int pos;
            if (isRowOrder_) {
                pos = (current && RecordPos >= 0) ? std::max(RecordPos - 1, 0) : Count();
                pos = std::clamp(pos, 0, Count());
                InsertAt(pos, NewRecord);
            } else {
                pos = insertSorted(NewRecord, NewRecord->RecordID);
            }
            if (current) dataSet_->SetLastChangePos(pos);
            break;
        }
        case 2: {  // delete
            if (updateStatusSet_.Contains(usDeleted) && common->EnableVersioning() && !DontVersion) {
                auto status = static_cast<TUpdateStatus>(OldRecord->UpdateStatus);
                if (!updateStatusSet_.Contains(status) && (!isFiltered_ || FilterRecord(OldRecord))) {
                    if (isRowOrder_)
                        InsertAt(Count(), OldRecord);
                    else
                        insertSorted(OldRecord, OldRecord->RecordID);
                }
                return;
            }
            int pos = RemoveReference(OldRecord, current ? RecordPos : -1);
            if (current) dataSet_->SetLastChangePos(pos);
            break;
        }
        case 1: {  // modify
            if (isRowOrder_) {
                if (current) dataSet_->SetLastChangePos(RecordPos);
                return;
            }
            if (keys) {
                std::string newKey;
                BuildKey(NewRecord, fieldList_.Count(), newKey);
                int oldPos = -1;
                if (current && RecordPos >= 0 && RecordPos < Count() && IdAt(RecordPos) == OldRecord->RecordID)
                    oldPos = RecordPos;
                else
                    FindRecord(OldRecord, oldPos);
                bool same;
                if (oldPos >= 0) {
                    const Entry& e = entries_[static_cast<std::size_t>(oldPos)];
                    same = CompareKeyBytes(KeyBytes(e), KeyLength(e), reinterpret_cast<const uint8_t*>(newKey.data()),
                                           newKey.size()) == 0;
                } else {
                    BuildKey(OldRecord, fieldList_.Count(), scratchKey_);
                    same = scratchKey_ == newKey;
                }
                if (updateStatusSet_.Contains(usModified) && same) {
                    if (current) dataSet_->SetLastChangePos(RecordPos);
                    return;
                }
                if (oldPos >= 0)
                    EraseAt(oldPos);
                else
                    RemoveReference(OldRecord, -1);
                if (isFiltered_ && !FilterRecord(NewRecord)) return;
                if (!updateStatusSet_.Contains(usModified)) return;
                int pos = isOrdered_ ? LowerBound(MakeProbe(newKey)) : Count();
                InsertKeyed(pos, OldRecord, newKey);
                if (current) {
                    dataSet_->SetLastChangePos(pos);
                    NewRecord->RecordNo = pos;
                }
                return;
            }
            if (updateStatusSet_.Contains(usModified) &&
                CompareRecords(nullptr, OldRecord, NewRecord, false, false) == 0) {
                if (current) dataSet_->SetLastChangePos(RecordPos);
                return;
            }
            RemoveReference(OldRecord, current ? RecordPos : -1);
            if (isFiltered_ && !FilterRecord(NewRecord)) return;
            if (!updateStatusSet_.Contains(usModified)) return;
            int pos = InsertionPoint(NewRecord);
            pos = std::clamp(pos, 0, Count());
            // The store record takes the new values next.
            entries_.insert(static_cast<std::size_t>(pos), Entry{0, OldRecord->RecordID, 0, OldRecord});
            EntriesChanged();
            if (keyable_) keysValid_ = false;
            if (current) {
                dataSet_->SetLastChangePos(pos);
                NewRecord->RecordNo = pos;
            }
            break;
        }
        default:
            break;
    }
}

// ---------------------------------------------------------------------------
// The collection

TmtIndexes::TmtIndexes(TmtCustomMemTable* DataSet) : dataSet_(DataSet) {
    auto ro = std::make_unique<TmtIndex>(mtres::RowOrderIndexName, DataSet, "", TmtMemTableCompareOptions{}, false,
                                         true);
    ro->SetIsRowOrder(true);
    ro->SetIsOrdered(true);
    rowOrder_ = ro.get();
    indexes_.push_back(std::move(ro));
}

TmtIndexes::~TmtIndexes() = default;

void TmtIndexes::Clear() {
    placesIndex_ = nullptr;
    for (int i = Count() - 1; i >= 0; --i) {
        TmtIndex* idx = Items(i);
        idx->Clear();
        if (idx == rowOrder_) {
            idx->SetOrderFromOthers(true);
            continue;
        }
        if (dataSet_->CurIndex() == idx) dataSet_->SetCurIndexRaw(rowOrder_);
        indexes_.erase(indexes_.begin() + i);
    }
    rowOrder_->SetOrdinal(0);
}

TmtIndex* TmtIndexes::Get(const std::string& Name) const {
    for (const auto& i : indexes_)
        if (AnsiSameText(i->Name(), Name)) return i.get();
    return nullptr;
}

TmtIndex* TmtIndexes::GetByFieldNames(const std::string& FieldNames) const {
    for (const auto& i : indexes_)
        if (!i->IsRowOrder() && AnsiSameText(i->IndexFields(), FieldNames)) return i.get();
    return nullptr;
}

TmtIndex* TmtIndexes::AddIndex(std::unique_ptr<TmtIndex> Index) {
    Index->SetOrdinal(Count());
    indexes_.push_back(std::move(Index));
    return indexes_.back().get();
}

TmtIndex* TmtIndexes::Add(TIndexDef* IndexDef) {
    if (IndexDef->Name().empty() || IndexDef->Fields().empty()) throw EMemTableError(mtres::MissingIndexDef);
    return AddIndex(TmtIndex::CreateFromIndexDef(IndexDef, dataSet_));
}

void TmtIndexes::DeleteIndex(TmtIndex* Index) {
    if (Index == nullptr || Index == rowOrder_) return;
    if (placesIndex_ == Index) placesIndex_ = nullptr;
    if (dataSet_->CurIndex() == Index) dataSet_->SetCurIndexRaw(rowOrder_);
    for (std::size_t i = 0; i < indexes_.size(); ++i) {
        if (indexes_[i].get() != Index) continue;
        indexes_.erase(indexes_.begin() + static_cast<std::ptrdiff_t>(i));
        for (std::size_t j = i; j < indexes_.size(); ++j) indexes_[j]->SetOrdinal(indexes_[j]->Ordinal() - 1);
        return;
    }
}

void TmtIndexes::EmptyAll() {
    for (auto& i : indexes_) {
        i->Clear();
        i->SetIsOrdered(true);  // nothing left to sort
    }
}

void TmtIndexes::ReBuildAll() {
    for (auto& i : indexes_) i->Rebuild();
}

void TmtIndexes::MarkAllDirty() {
    for (auto& i : indexes_) i->SetIsOrdered(false);
}

void TmtIndexes::RememberRowOrder() { rowOrder_->RememberOrder(); }

int TmtIndexes::SequentialSearch(const TmtFieldList& FieldList, PmtRecord KeyRecord, bool RespectFilter,
                                 bool Nearest, bool& Found) {
    TmtIndex* cur = dataSet_->CurIndex();
    bool filtered = RespectFilter && dataSet_->IsFilteredNow();
    TmtCommon* common = dataSet_->Common();
    int n = cur->Count();
    for (int i = 0; i < n; ++i) {
        if (i % 100 == 0 && i > 0) dataSet_->Progress(i * 100 / n, mtpcSearch);
        PmtRecord r = cur->RecordAt(i);
        ++stepped_;
        if (dataSet_->RecalcOnIndex()) dataSet_->CalcRecordFields(r);
        // Without Nearest only equality counts.
        int c = common->CompareRecords(FieldList, 0, KeyRecord, r, false, false,
                                       Nearest ? mtBreakOnDifference : mtBreakOnInequality);
        if (c == 0 || (Nearest && c < 0)) {
            if (filtered && !dataSet_->FilterRecord(r, false)) continue;
            Found = true;
            return i;
        }
    }
    Found = false;
    return -1;
}

namespace {

// A sought number that is no number: no stored value equals it (a NaN is
// never stored), though every comparison would call it equal.
bool KeyHoldsNaN(TmtCommon* Common, const TmtFieldList& FieldList, PmtRecord KeyRecord) {
    std::string scratch;
    for (int i = 0; i < FieldList.Count(); ++i) {
        switch (FieldList.Fields(i)->DataType()) {
            case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime: case ftTimeStamp: break;
            default: continue;
        }
        int32_t length = 0;
        const uint8_t* v = Common->FieldValueForRead(KeyRecord, FieldList.FieldNo(i), FieldList.Fields(i), length,
                                                     scratch);
        if (v != nullptr && std::isnan(ReadValue<double>(v))) return true;
    }
    return false;
}

namespace {

// The entries of Index whose fields under Coarse (a comparison the index's
// order refines) equal the key's: [First, Last), by two binary searches.
// With FirstOnly, Last stops after the run's first entry: one search.
void CoarseRun(TmtCommon* Common, TmtIndex* Index, const TmtFieldList& Coarse, PmtRecord KeyRecord, int& First,
               int& Last, bool FirstOnly = false) {
    auto bound = [&](bool upper) {
        int lo = 0, hi = Index->Count();
        while (lo < hi) {
            int mid = lo + (hi - lo) / 2;
            int c = Common->CompareRecords(Coarse, 0, KeyRecord, Index->RecordAt(mid), false, false, 0);
            if (upper ? c >= 0 : c > 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    };
    First = bound(false);
    if (FirstOnly)
        Last = First < Index->Count() &&
                       Common->CompareRecords(Coarse, 0, KeyRecord, Index->RecordAt(First), false, false, 0) == 0
                   ? First + 1
                   : First;
    else
        Last = First < Index->Count() ? bound(true) : First;
}

}  // namespace


}  // namespace

int TmtIndexes::Search(const TmtFieldList& FieldList, PmtRecord KeyRecord, bool& Found, int& Index,
                       bool AutoAddIndex, bool RespectFilter, bool Nearest) {
    TmtCommon* common = dataSet_->Common();
    StoreLock lock(common);
    Found = false;
    Index = -1;
    TmtIndex* cur = dataSet_->CurIndex();
    dataSet_->Progress(0, mtpcSearch);
    int oldActivity = dataSet_->CurrentActivity();
    dataSet_->SetCurrentActivity(actSearching);
    struct Restore {
        TmtCustomMemTable* t;
        int a;
        ~Restore() { t->SetCurrentActivity(a); }
    } restore{dataSet_, oldActivity};

    if (KeyHoldsNaN(common, FieldList, KeyRecord)) {
        dataSet_->Progress(100, mtpcSearch);
        return -1;
    }
    TmtIndex* use = nullptr;
    Narrowing how;
    bool canNarrow = !Nearest && !dataSet_->RecalcOnIndex() && cur->IsOrdered() && cur->Count() >= 21;
    // The partial option compares texts by their start; any other field it
    // leaves compared exactly, as the narrowing may then take it.
    const TmtFieldList* narrowList = &FieldList;
    bool partial = false;
    for (int i = 0; i < FieldList.Count(); ++i) partial = partial || FieldList.Options(i).Contains(mtifoPartial);
    if (canNarrow && partial) {
        FieldList.AssignTo(partialList_);
        for (int i = 0; i < partialList_.Count(); ++i) {
            TmtifoOptions o = partialList_.Options(i);
            if (!IsStringKind(partialList_.Fields(i)->DataType())) o.Exclude(mtifoPartial);
            partialList_.SetOptions(i, o);
        }
        narrowList = &partialList_;
    }
    // A partial text first: the run of an index on it whose keys start with
    // the text's.
    bool prefix = false, restOnly = false;
    if (canNarrow && partial && narrowList->Options(0).Contains(mtifoPartial)) {
        use = PrefixIndex(*narrowList, KeyRecord);
        prefix = use != nullptr;
    }
    if (canNarrow && !prefix) {
        // An index whose first fields are some of the search's, in any
        // order, narrows by them; the run is checked on the rest.
        bool leadExact = false;
        use = NarrowingIndex(*narrowList, KeyRecord, how, leadExact);
        if (use != nullptr) {
            narrowList = &lead_;
            // Where the run's records all equal the key on the index's
            // fields, the other fields alone are compared.
            restOnly = leadExact && !how.exact;
            if (restOnly) {
                rest_.Clear();
                for (int i = 0; i < FieldList.Count(); ++i) {
                    bool inLead = false;
                    for (int j = 0; j < lead_.Count(); ++j) inLead = inLead || lead_.Fields(j) == FieldList.Fields(i);
                    if (inLead) continue;
                    rest_.Add(FieldList.Fields(i), FieldList.Options(i));
                    rest_.SetFieldOfs(rest_.Count() - 1, FieldList.FieldOfs(i), FieldList.FieldNo(i));
                }
            }
        } else if (AutoAddIndex) {
            use = AutoAddedIndex(FieldList, *narrowList, KeyRecord, how, prefix);
        }
    }
    int result = 0;
    if (use != nullptr) {
        // The comparison that finds the run, where the keys do not.
        if (!prefix && !how.keyed) NarrowingOf(use, *narrowList, &coarse_);
        const TmtFieldList& il = use->IndexFieldList();
        // Where the run's equality is the search's own, every record of the
        // run matches and needs no second look.
        const bool exact = !prefix && how.exact;
        bool filtered = RespectFilter && dataSet_->IsFilteredNow();
        // In a row order of ascending ids the first match is the one with
        // the lowest id: one search instead of one per match.
        const bool byId = PlacedById(use);
        int first = 0, last = 0;
        // Whether the run's first entry is the answer, its end not looked for.
        bool firstOnly = false;
        // In the index's own order the answer is the first match of the
        // run, mostly its first entry: the end of the run, a search of its
        // own that reads the keys past it, is looked for only when that
        // entry is not the answer. (A filter may search the table again,
        // over the key: then the end is found first.)
        bool runEnds = true;
        if (prefix) {
            runEnds = use != cur || filtered;
            use->KeyRun(probe_, first, last, !runEnds);
            runEnds = runEnds || first == last;
            if (first < last) use->PrefetchRecordAt(first);
        } else if (how.keyed) {
            use->BuildKey(KeyRecord, how.fields, probe_);
            // Where every entry of the run matches and the run is in id
            // order, its first entry is the answer: the rest is not read.
            // Only a run of one whole key is in id order: a search on the
            // first fields of an index spans several.
            const bool wholeKey = how.fields >= il.Count();
            // In the index's own order the first match is the answer
            // whether or not every entry matches: the end of the run is
            // looked for only when its first entry is not the answer.
            const bool own = use == cur && !filtered;
            firstOnly = own || (exact && !filtered && byId && wholeKey && use->RunsInIdOrder());
            use->KeyRun(probe_, first, last, firstOnly);
            // A run in descending id order (a descending index) is the same
            // run read backwards: its last entry is the lowest id.
            if (!firstOnly && exact && !filtered && byId && wholeKey && use->RunsInIdOrderDown() && first < last)
                first = last - 1;
            if (own && !exact) runEnds = first == last;
            // The record is read soon: it is on its way while the rest of the
            // search runs.
            if (first < last) use->PrefetchRecordAt(first);
        } else {
            // Every entry of the run matching, in the index's own order
            // its first is the answer.
            // A case-blind text on a case-sensitive index of the collation:
            // the keys of every case of it begin with its case-blind key, its
            // last byte the separator after which the case-sensitive keys go
            // on. Else the comparison's bisection.
            if (CaseBlindProbe(use, *narrowList, KeyRecord))
                use->KeyRun(probe_, first, last, use == cur && exact && !filtered);
            else
                CoarseRun(common, use, coarse_, KeyRecord, first, last, use == cur && exact && !filtered);
        }
        int best = -1;
        int bestId = -1;
        matches_.clear();
        bool settled = false;
        // The other way: the current order itself, from the start of its
        // run of the key where it keeps one, else from its start. Where the
        // run found here is long beside what the current order holds for
        // each record of it, the first match there is likely near: it is
        // read first, for as many entries as the run and its placing would
        // cost, so that the answer costs at most about twice the cheaper
        // way's entries.
        if (!prefix && use != cur && !firstOnly && last - first > 8) {
            const int runLength = last - first;
            int from = 0, to = cur->Count();
            const std::string useProbe = probe_;
            if (!cur->IsRowOrder()) RunOf(FieldList, 1, KeyRecord, from, to);
            probe_ = useProbe;
            const long budget = 2L * runLength;
            const long expected = (to - from) / (runLength + 1L);
            if (2 * expected <= budget) {
                const int end = static_cast<int>(std::min<long>(to, from + budget));
                for (int k = from; k < end; ++k) {
                    ++stepped_;
                    if (k + 8 < end) common->PrefetchRecord(cur->IdAt(k + 8));
                    PmtRecord r = cur->RecordAt(k);
                    if (common->CompareRecords(FieldList, 0, KeyRecord, r, false, false, mtBreakOnInequality) != 0)
                        continue;
                    if (filtered && !dataSet_->FilterRecord(r, false)) continue;
                    best = k;
                    break;
                }
                // Read whole, the current run (or order) has the answer.
                settled = best >= 0 || end == to;
            }
        }
        // A prefix's run is read entry by entry until the first match, as
        // far as the accented and other-case texts before it go. Runs of
        // entries whose start letters are not the key's are gone past; the
        // others are read first by a test of their texts' start that costs
        // no collation, from the entries' keys where they hold the texts,
        // else from the records, those a few steps ahead on their way.
        const bool inPrefix = prefix;
        const bool blind = narrowList->Options(0).Contains(mtifoCaseInsensitive);
        TmtIndex::PrefixProbe probe;
        bool keyTexts = false;
        if (inPrefix) {
            probe = use->MakePrefixProbe(prefixText_, blind);
            if (!(blind && FoldCase(prefixText_, prefixFolded_))) prefixFolded_.clear();
            std::string_view unused;
            keyTexts = first < last && use->KeyText(first, unused);
        }
        const int ahead = inPrefix && !keyTexts ? 8 : 0;
        TField* prefixField = narrowList->Fields(0);
        const int prefixFieldNo = narrowList->FieldNo(0);
        // Another order than the index's: its first match may come long
        // before the end of the prefix's run (a letter or two of distinct
        // names has thousands). That order is read first, as far as the run
        // is long: the answer costs at most twice the cheaper road.
        if (prefix && use != cur) {
            const int n = cur->Count();
            const int budget = std::min(n, last - first);
            for (int i = 0; i < budget; ++i) {
                ++stepped_;
                if (i + 8 < budget) common->PrefetchRecord(cur->IdAt(i + 8));
                PmtRecord r = cur->RecordAt(i);
                int32_t length = 0;
                const uint8_t* v = common->FieldValueForRead(r, prefixFieldNo, prefixField, length, scratch_);
                // A null starts with no text.
                if (v == nullptr) continue;
                const auto* c = reinterpret_cast<const char*>(v);
                const std::string_view text(c, strnlen(c, static_cast<std::size_t>(std::max(length, 0))));
                if (!MayStartWith(text, prefixText_, prefixFolded_, blind)) continue;
                if (common->CompareRecords(FieldList, 0, KeyRecord, r, false, false, mtBreakOnInequality) != 0)
                    continue;
                if (filtered && !dataSet_->FilterRecord(r, false)) continue;
                best = i;
                break;
            }
            // Read whole, the order has the answer, found or not.
            settled = best >= 0 || budget == n;
        }
        // The letters of a run of entries cost a read of each: worth it only
        // once the entries read one by one hold no answer.
        constexpr int kBeforeRuns = 16;
        int i = settled ? last : first;
        for (;;) {
            for (; i < last; ++i) {
                if (probe.usable && i - first >= kBeforeRuns &&
                    (i - first == kBeforeRuns || i % TmtIndex::kPrefixRun == 0)) {
                    const int next = use->NextPossible(i, last, probe);
                    if (next != i) {
                        i = next - 1;
                        continue;
                    }
                }
                ++stepped_;
                if (ahead > 0 && i + ahead < last) use->PrefetchRecordAt(i + ahead);
                if (keyTexts && i + 8 < last) use->PrefetchKeyAt(i + 8);
                const int32_t id = use->IdAt(i);
                if (byId && bestId >= 0 && id > bestId) continue;
                PmtRecord r = nullptr;
                if (inPrefix) {
                    std::string_view text;
                    bool known = keyTexts && use->KeyText(i, text);
                    if (!known) {
                        r = common->Record(id);
                        int32_t length = 0;
                        const uint8_t* v = common->FieldValueForRead(r, prefixFieldNo, prefixField, length, scratch_);
                        if (v != nullptr) {
                            const auto* c = reinterpret_cast<const char*>(v);
                            text = std::string_view(c, strnlen(c, static_cast<std::size_t>(std::max(length, 0))));
                            known = true;
                        }
                    }
                    if (known && !MayStartWith(text, prefixText_, prefixFolded_, blind)) continue;
                }
                if (!exact) {
                    if (r == nullptr) r = common->Record(id);
                    if (common->CompareRecords(restOnly ? rest_ : FieldList, 0, KeyRecord, r, false, false,
                                               mtBreakOnInequality) != 0)
                        continue;
                }
                if (filtered) {
                    if (r == nullptr) r = common->Record(id);
                    if (!dataSet_->FilterRecord(r, false)) continue;
                }
                if (use == cur) {
                    best = i;
                    break;
                }
                if (byId) {
                    if (bestId < 0 || id < bestId) bestId = id;
                    continue;
                }
                matches_.push_back(id);
            }
            if (best >= 0 || runEnds) break;
            // The run's first entry was not the answer: the rest of it.
            last = use->KeyRunEnd(probe_, last);
            runEnds = true;
        }
        if (!settled && (bestId >= 0 || !matches_.empty())) best = FirstInCurrent(bestId);
        const bool hit = best >= 0;
        Found = hit;
        Index = hit ? best : -1;
        result = hit ? 0 : -1;
    } else {
        Index = SequentialSearch(FieldList, KeyRecord, RespectFilter, Nearest, Found);
        result = Found ? 0 : -1;
    }
    dataSet_->Progress(100, mtpcSearch);
    return result;
}

namespace {

// The first Fields fields of FieldList, with their offsets, into Out.
void FirstFields(const TmtFieldList& FieldList, int Fields, TmtFieldList& Out) {
    Out.Clear();
    for (int i = 0; i < Fields && i < FieldList.Count(); ++i) {
        Out.Add(FieldList.Fields(i), FieldList.Options(i));
        Out.SetFieldOfs(i, FieldList.FieldOfs(i), FieldList.FieldNo(i));
    }
}

}  // namespace

bool TmtIndexes::CaseBlindProbe(TmtIndex* Use, const TmtFieldList& Search, PmtRecord KeyRecord) {
    if (!Use->IsOrdered() || !Use->KeysForSearch() || Search.Count() == 0 || dataSet_->OnCompareFields) return false;
    const TmtFieldList& il = Use->IndexFieldList();
    TField* field = il.Fields(0);
    const TmtifoOptions io = il.Options(0), so = Search.Options(0);
    if (Search.Fields(0) != field || !IsTextFieldType(field->DataType())) return false;
    if (io.Contains(mtifoIgnoreLocale) || io.Contains(mtifoCaseInsensitive) || so.Contains(mtifoIgnoreLocale) ||
        !so.Contains(mtifoCaseInsensitive) || so.Contains(mtifoPartial) || so.Contains(mtifoIgnoreNull))
        return false;
    int32_t length = 0;
    const uint8_t* v =
        dataSet_->Common()->FieldValueForRead(KeyRecord, Search.FieldNo(0), field, length, scratch_);
    if (v == nullptr) return false;
    const auto* p = reinterpret_cast<const char*>(v);
    const std::string_view text(p, strnlen(p, static_cast<std::size_t>(std::max(length, 0))));
    probe_.assign(1, '\1');
    AppendAnsiCompactCollationKeyText(probe_, text);
    if (probe_.size() < 2 || probe_.back() != '\0') return false;
    probe_.back() = '\x01';
    // The text's own case-sensitive key must begin so: else the two kinds
    // of key part ways for it, and the bisection decides.
    prefixFolded_.assign(1, '\1');
    AppendAnsiCompactCollationKeyStr(prefixFolded_, text);
    if (prefixFolded_.compare(0, probe_.size(), probe_) != 0) return false;
    if (io.Contains(mtifoDescending))
        for (char& c : probe_) c = static_cast<char>(~static_cast<unsigned char>(c));
    return true;
}

bool TmtIndexes::RunOf(const TmtFieldList& FieldList, int Fields, PmtRecord KeyRecord, int& First, int& Last,
                       bool* Exact) {
    TmtIndex* cur = dataSet_->CurIndex();
    if (Exact != nullptr) *Exact = false;
    First = 0;
    Last = cur->Count();
    if (cur->IsRowOrder() || !cur->IsOrdered() || dataSet_->RecalcOnIndex() || Fields <= 0) return false;
    TmtCommon* common = dataSet_->Common();
    StoreLock lock(common);
    FirstFields(FieldList, Fields, runList_);
    if (!IsFieldListPrefix(dataSet_, cur->IndexFieldList(), runList_)) return false;
    // A number that is no number equals everything to the comparison: no
    // run holds what it matches.
    if (KeyHoldsNaN(common, runList_, KeyRecord)) return false;
    const Narrowing how = NarrowingOf(cur, runList_, &runCoarse_);
    if (how.fields == 0) return false;
    if (how.keyed) {
        cur->BuildKey(KeyRecord, how.fields, probe_);
        cur->KeyRun(probe_, First, Last);
        if (Exact != nullptr) *Exact = how.exact;
        return true;
    }
    CoarseRun(common, cur, runCoarse_, KeyRecord, First, Last);
    return true;
}

TmtIndex* TmtIndexes::LinkRun(const TmtFieldList& FieldList, int Fields, PmtRecord KeyRecord, bool AutoAdd,
                              int& First, int& Last, bool& Exact) {
    First = Last = 0;
    Exact = false;
    TmtIndex* cur = dataSet_->CurIndex();
    if (dataSet_->RecalcOnIndex() || Fields <= 0) return nullptr;
    TmtCommon* common = dataSet_->Common();
    FirstFields(FieldList, Fields, runList_);
    if (KeyHoldsNaN(common, runList_, KeyRecord)) return nullptr;
    TmtIndex* use = nullptr;
    Narrowing how;
    auto consider = [&](TmtIndex* idx) {
        if (idx == cur || idx->IsRowOrder() || !idx->IsOrdered()) return;
        if (!IsFieldListPrefix(dataSet_, idx->IndexFieldList(), runList_)) return;
        const Narrowing n = NarrowingOf(idx, runList_, nullptr);
        // The more fields it narrows by, the shorter the run; keys find it
        // without reading records.
        if (n.fields > how.fields || (n.fields == how.fields && n.fields > 0 && n.keyed && !how.keyed)) {
            use = idx;
            how = n;
        }
    };
    for (int i = Count() - 1; i >= 0; --i) consider(Items(i));
    if (use == nullptr && AutoAdd) {
        // As a locate does: an index of its own for the link, kept.
        const std::string fields = FieldListText(runList_);
        const std::string name = std::string(mtres::AutoIndexPrefix) + fields;
        if (Get(name) == nullptr) dataSet_->AddIndex(name, fields, {ixCaseInsensitive});
        if (TmtIndex* idx = Get(name)) {
            if (!idx->IsOrdered()) idx->Rebuild();
            consider(idx);
        }
    }
    if (use == nullptr) return nullptr;
    if (how.keyed) {
        use->BuildKey(KeyRecord, how.fields, probe_);
        use->KeyRun(probe_, First, Last);
    } else {
        NarrowingOf(use, runList_, &runCoarse_);
        CoarseRun(common, use, runCoarse_, KeyRecord, First, Last);
    }
    Exact = how.exact && how.keyed;
    return use;
}

bool TmtIndexes::LinkRows(const TmtFieldList& FieldList, int Fields, PmtRecord KeyRecord, bool AutoAdd,
                          std::vector<int32_t>& Rows, bool& Exact) {
    Rows.clear();
    StoreLock lock(dataSet_->Common());
    int first = 0, last = 0;
    TmtIndex* use = LinkRun(FieldList, Fields, KeyRecord, AutoAdd, first, last, Exact);
    if (use == nullptr) return false;
    PositionsInCurrent(use, first, last, Rows);
    std::sort(Rows.begin(), Rows.end());
    return true;
}

int TmtIndexes::LinkCount(const TmtFieldList& FieldList, int Fields, PmtRecord KeyRecord, bool AutoAdd,
                          bool& Exact) {
    StoreLock lock(dataSet_->Common());
    int first = 0, last = 0;
    if (LinkRun(FieldList, Fields, KeyRecord, AutoAdd, first, last, Exact) == nullptr) return -1;
    // The run's index holds the records of the current index's states and
    // filters none: where the current one filters none either, both hold
    // the same records.
    const TmtIndex* cur = dataSet_->CurIndex();
    if (cur->IsFiltered() || cur->OnFilterIndex || cur->FilterExpression() != nullptr) return -1;
    return last - first;
}

void TmtIndexes::PositionsInCurrent(TmtIndex* Index, int First, int Last, std::vector<int32_t>& Rows) {
    TmtIndex* cur = dataSet_->CurIndex();
    TmtCommon* common = dataSet_->Common();
    stepped_ += static_cast<uint64_t>(std::max(Last - First, 0));
    if (cur->IsRowOrder()) {
        linkIds_.clear();
        for (int i = First; i < Last; ++i) linkIds_.push_back(Index->IdAt(i));
        cur->RowPositionsOf(linkIds_, Rows, stepped_);
        return;
    }
    // A record's place, once known, gives its position while its block of
    // the index takes no change. A record not placed, or whose block has
    // changed, is found by its key among the few entries of that key. Where
    // its key has many entries (a status, a city), the block it stood in is
    // read again, else the key's run: each places every record it holds at
    // once. Besides, each link reads the index on from where the last one
    // stopped, kSweep entries for each record it searched for, so that links
    // that go all over the table come to find their records placed as one
    // reading of the index would leave them, none of them reading more than
    // that many times its own records. An index without keys is read whole,
    // once until it changes.
    constexpr int kFewOfAKey = 32, kSweep = 16;
    if (placesIndex_ != cur || placesEpoch_ != cur->PlaceEpoch()) {
        placeOf_.clear();
        placesIndex_ = cur;
        placesEpoch_ = cur->PlaceEpoch();
        placesWhole_ = false;
        swept_ = 0;
    }
    const bool keyed = cur->IsOrdered() && cur->HasKeys();
    int searched = 0;
    auto place = [&](int32_t id, int pos) {
        if (static_cast<std::size_t>(id) >= placeOf_.size()) placeOf_.resize(static_cast<std::size_t>(id) + 1);
        placeOf_[static_cast<std::size_t>(id)] =
            pos >= 0 ? cur->PlaceOf(pos) : TmtIndex::Place{cur->LastPlaceStamp(), kAbsent};
    };
    // Records to search for go a few at a time: their keys first, then the
    // searches, whose first entries are on their way meanwhile, as are the
    // records of the next few.
    int found[kPlaceBatch];
    std::size_t blocks[kPlaceBatch];
    for (int from = First; from < Last; from += kPlaceBatch) {
        const int to = std::min(Last, from + kPlaceBatch);
        for (int i = from; i < to; ++i) {
            if (keyed && i + kPlaceBatch < Last) Index->PrefetchRecordAt(i + kPlaceBatch);
            const int32_t id = Index->IdAt(i);
            int& pos = found[i - from];
            pos = id < 0 ? -1 : PlacedAt(cur, id, !keyed);
            if (pos == -2 && keyed) {
                std::string& key = placeKeys_[static_cast<std::size_t>(i - from)];
                cur->BuildKey(common->Record(id), cur->IndexFieldList().Count(), key);
                blocks[i - from] = cur->PrefetchSearch(key);
            }
        }
        for (int i = from; i < to; ++i) {
            const int32_t id = Index->IdAt(i);
            int pos = found[i - from];
            if (pos == -2 && keyed) {
                const std::string& key = placeKeys_[static_cast<std::size_t>(i - from)];
                ++searched;
                // The first of its key is mostly the record itself.
                int a = 0, b = 0;
                cur->KeyRun(key, a, b, true, blocks[i - from]);
                if (b > a && cur->IdAt(a) != id) b = cur->KeyRunEnd(key, b);
                if (b - a <= kFewOfAKey) {
                    stepped_ += static_cast<uint64_t>(b - a);
                    pos = -1;
                    for (int k = a; k < b && pos < 0; ++k)
                        if (cur->IdAt(k) == id) pos = k;
                    place(id, pos);
                } else if (pos = PlacedAt(cur, id, true); pos == -2) {
                    ReadPlaces(cur, a, b);
                    pos = PlacedAt(cur, id, false);
                    if (pos == -2) place(id, pos = -1);
                }
            }
            // Read whole by a record before it in this batch, maybe.
            if (pos == -2) pos = PlacedAt(cur, id, true);
            if (pos == -2) {
                ReadPlaces(cur, 0, cur->Count());
                placesWhole_ = true;
                pos = PlacedAt(cur, id, false);
            }
            if (pos >= 0) Rows.push_back(pos);
        }
    }
    if (searched > 0 && swept_ < cur->Count()) {
        const int from = swept_;
        swept_ = static_cast<int>(std::min<int64_t>(cur->Count(), from + int64_t{kSweep} * searched));
        ReadPlaces(cur, from, swept_);
        if (from == 0 && swept_ == cur->Count()) placesWhole_ = true;
    }
}

int TmtIndexes::PlacedAt(TmtIndex* Cur, int32_t Id, bool ReadBlock) {
    const auto at = static_cast<std::size_t>(Id);
    for (int pass = 0;; ++pass) {
        if (at >= placeOf_.size()) return placesWhole_ && Cur->LastPlaceStamp() == placesStamp_ ? -1 : -2;
        const TmtIndex::Place p = placeOf_[at];
        if (p.stamp == 0) return placesWhole_ && Cur->LastPlaceStamp() == placesStamp_ ? -1 : -2;
        if (p.at == kAbsent) return p.stamp == Cur->LastPlaceStamp() ? -1 : -2;
        const int pos = Cur->PositionOf(p);
        if (pos >= 0) return pos;
        if (!ReadBlock) return -2;
        // Its block has changed: every record of the block it stood in
        // takes its new place there, this one too unless it has left.
        int first = 0, last = 0;
        Cur->BlockRange(p, first, last);
        if (pass > 0 || first == last) {
            placeOf_[at] = {};
            return -2;
        }
        ReadPlaces(Cur, first, last);
        if (placeOf_[at].stamp == p.stamp && placeOf_[at].at == p.at) {
            placeOf_[at] = {};
            return -2;
        }
    }
}

void TmtIndexes::ReadPlaces(TmtIndex* Cur, int First, int Last) {
    stepped_ += static_cast<uint64_t>(std::max(Last - First, 0));
    if (First == 0 && Last == Cur->Count()) {
        placeOf_.assign(placeOf_.size(), TmtIndex::Place{});
        placesStamp_ = Cur->LastPlaceStamp();
    }
    // Block by block: the places of one block differ in their offsets only.
    for (int k = First; k < Last;) {
        TmtIndex::Place p = Cur->PlaceOf(k);
        int from = 0, to = 0;
        Cur->BlockRange(p, from, to);
        const int end = p.stamp != 0 && to > k ? std::min(to, Last) : k + 1;
        for (; k < end; ++k, ++p.at) {
            const int32_t id = Cur->IdAt(k);
            if (id < 0) continue;
            const auto at = static_cast<std::size_t>(id);
            if (at >= placeOf_.size()) placeOf_.resize(at + 1);
            placeOf_[at] = p;
        }
    }
}

void TmtIndexes::CheckRecordUniqueness(PmtRecord Record, PmtRecord ActualRecord) {
    if (!dataSet_->EnableIndexes()) return;
    bool anyUnique = false;
    for (auto& up : indexes_) anyUnique = anyUnique || up->IndexOptions().Contains(mtcoUnique);
    if (!anyUnique) return;
    TmtCommon* common = dataSet_->Common();
    StoreLock lock(common);
    for (auto& up : indexes_) {
        TmtIndex* idx = up.get();
        if (!idx->Enabled() || idx->IndexOptions().Contains(mtcoNonMaintained) ||
            !idx->IndexOptions().Contains(mtcoUnique))
            continue;
        const int32_t actual = ActualRecord != nullptr ? ActualRecord->RecordID : -1;
        if (idx->IsOrdered() && idx->HasKeys()) {
            idx->BuildKey(Record, idx->IndexFieldList().Count(), probe_);
            int first = 0, last = 0;
            idx->KeyRun(probe_, first, last);
            for (int i = first; i < last; ++i)
                if (idx->IdAt(i) != actual) throw EMemTableDupKey(mtres::DupKey);
            continue;
        }
        int start = 0;
        if (idx->IsOrdered()) {
            int lo = 0, hi = idx->Count();
            while (lo < hi) {
                int mid = lo + (hi - lo) / 2;
                if (idx->CompareRecords(nullptr, Record, idx->RecordAt(mid), false, false) > 0)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            start = lo;
        }
        for (int i = start; i < idx->Count(); ++i) {
            PmtRecord r = idx->RecordAt(i);
            int c = idx->CompareRecords(nullptr, Record, r, false, false);
            if (c == 0) {
                if (r != ActualRecord && idx->IdAt(i) != actual) throw EMemTableDupKey(mtres::DupKey);
                continue;
            }
            if (idx->IsOrdered()) break;
        }
    }
}

void TmtIndexes::ReflectToIndexes(int Change, PmtRecord OldRecord, PmtRecord NewRecord, int RecordPos,
                                  bool DontVersion) {
    for (auto& i : indexes_) i->Reflect(Change, OldRecord, NewRecord, RecordPos, DontVersion);
}
