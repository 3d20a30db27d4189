#include "memtable/mtIndex.h"

#include <algorithm>

#include "memtable/mtMemResEng.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"

using namespace memtable;

// ---------------------------------------------------------------------------
// Field lists

int TmtFieldList::Add(TField* Field, TmtifoOptions Options) {
    if (count_ >= MT_MAX_FIELDS) throw EMemTableError(mtres::TooManyFieldDefs);
    int i = count_++;
    fields_[i] = Field;
    options_[i] = Options;
    fieldNo_[i] = Field != nullptr ? Field->FieldNo() : 0;
    fieldOfs_[i] = -1;
    return i;
}

int TmtFieldList::IndexOf(const TField* Field) const {
    for (int i = 0; i < count_; ++i)
        if (fields_[i] == Field) return i;
    return -1;
}

void TmtFieldList::AssignTo(TmtFieldList& Dest) const {
    Dest.Clear();
    for (int i = 0; i < count_; ++i) {
        Dest.fields_[i] = fields_[i];
        Dest.options_[i] = options_[i];
        Dest.fieldOfs_[i] = fieldOfs_[i];
        Dest.fieldNo_[i] = fieldNo_[i];
    }
    Dest.count_ = count_;
}

void TmtFieldList::MergeOptionsTo(TmtFieldList& Dest) const {
    int n = std::min(count_, Dest.count_);
    for (int i = 0; i < n; ++i) Dest.options_[i] += options_[i];
}

namespace memtable {

bool IsIndexableType(TFieldType Type) {
    if (!IsSupportedFieldType(Type)) return false;
    if (Type == ftBytes || Type == ftVarBytes || IsBlobFieldType(Type)) return false;
    return Type != ftADT && Type != ftArray;
}

namespace {

bool IsStringKind(TFieldType t) {
    return t == ftString || t == ftFixedChar || t == ftWideString || t == ftFixedWideChar || t == ftGuid;
}

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

}  // namespace

int CompareFields(const uint8_t* A, const uint8_t* B, TFieldType FieldType, TmtifoOptions Options,
                  bool& FullCompare, int LocaleID) {
    (void)LocaleID;  // the platform offers one collation: pt-BR
    FullCompare = true;
    int r = 0;
    switch (FieldType) {
        case ftString: case ftFixedChar: case ftGuid: case ftWideString: case ftFixedWideChar: {
            std::string_view a(reinterpret_cast<const char*>(A));
            std::string_view b(reinterpret_cast<const char*>(B));
            std::string cut;
            if (Options.Contains(mtifoPartial)) {
                int la = Length(a), lb = Length(b);
                if (la != lb) {
                    FullCompare = false;
                    if (la < lb) {
                        b = b.substr(0, utf8::ByteOffset(b, static_cast<std::size_t>(la)));
                    }
                }
            }
            if (Options.Contains(mtifoIgnoreLocale))
                r = Options.Contains(mtifoCaseInsensitive) ? CompareText(a, b) : CompareStr(a, b);
            else
                r = Options.Contains(mtifoCaseInsensitive) ? AnsiCompareText(a, b) : AnsiCompareStr(a, b);
            r = SignOf(r);
            break;
        }
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
    for (int i = 0; i < n; ++i) {
        TmtifoOptions opts = FieldList.Options(i);
        if (How != 0) opts.Exclude(mtifoDescending);
        if (Partial) opts.Include(mtifoPartial);
        TField* field = FieldList.Fields(i);
        int fno = FieldList.FieldNo(i);
        int32_t lk = 0, la = 0;
        std::string sk, sa;
        const uint8_t* k = FieldValueForRead(KeyRecord, fno, field, lk, sk);
        if (k == nullptr && (IgnoreNull || opts.Contains(mtifoIgnoreNull))) continue;
        const uint8_t* a = FieldValueForRead(ARecord, fno, field, la, sa);
        if (k != nullptr && a != nullptr) {
            if (owner_ != nullptr && owner_->OnCompareFields) {
                result = 0;
                owner_->OnCompareFields(owner_, field, k, a, field->DataType(), opts, fullCompare, result);
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
            case 0: stop = result != 0 || !fullCompare; break;
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
    return index;
}

bool TmtIndex::IsCurrent() const { return dataSet_->CurIndex() == this; }

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
        if (CompareRecords(FieldList, KeyRecord, references_[static_cast<std::size_t>(mid)], false, false) > 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    Found = lo < Count() &&
            CompareRecords(FieldList, KeyRecord, references_[static_cast<std::size_t>(lo)], false, Partial) == 0;
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
    if (references_.empty()) return 0;
    bool filtered = RespectFilter && dataSet_->IsFilteredNow();
    int n = Count();
    if (!isOrdered_ || isRowOrder_ || n < 21) {
        for (int i = 0; i < n; ++i) {
            if (i % 100 == 0 && i > 0) dataSet_->Progress(i * 100 / n, mtpcSearch);
            PmtRecord r = references_[static_cast<std::size_t>(i)];
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
            PmtRecord r = references_[static_cast<std::size_t>(i)];
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
    int n = Count();
    auto idAt = [&](int i) { return references_[static_cast<std::size_t>(i)]->RecordID; };
    // Record ids are mostly ascending (appends) but not always: an insert in
    // the middle or a reused slot breaks the order. Bisection is only a
    // shortcut; its answer is checked and a scan settles the rest.
    for (int dir = 0; dir < 2 && n > 0; ++dir) {
        int lo = 0, hi = n - 1;
        while (lo <= hi) {
            int mid = lo + (hi - lo) / 2;
            int id = idAt(mid);
            if (id == RecordID) {
                Index = mid;
                return;
            }
            bool goRight = dir == 0 ? id < RecordID : id > RecordID;
            if (goRight)
                lo = mid + 1;
            else
                hi = mid - 1;
        }
    }
    for (int i = 0; i < n; ++i) {
        if (idAt(i) == RecordID) {
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
        if (Index >= 0 && references_[static_cast<std::size_t>(Index)] != Record &&
            references_[static_cast<std::size_t>(Index)]->RecordID != Record->RecordID)
            Index = -1;
        return;
    }
    int start = 0;
    if (isOrdered_ && n > 5) {
        bool found = false;
        start = FirstEqual(nullptr, Record, Partial, found);
    }
    for (int pass = 0; pass < 2; ++pass) {
        int from = pass == 0 ? start : 0;
        int to = pass == 0 ? n : start;
        for (int i = from; i < to; ++i) {
            if (i % 100 == 0 && i > from) dataSet_->Progress((i - from) * 100 / std::max(1, to - from), mtpcSearch);
            PmtRecord r = references_[static_cast<std::size_t>(i)];
            if (r == Record || (Record->RecordID >= 0 && r->RecordID == Record->RecordID)) {
                Index = i;
                return;
            }
        }
    }
}

void TmtIndex::Sort(int L, int R) {
    if (L >= R) return;
    auto first = references_.begin() + L;
    auto last = references_.begin() + R + 1;
    TmtCommon* common = dataSet_->Common();
    // Every pair differs once the tie-break by record id applies, so any
    // correct sort gives the one order.
    if (common->Owner() != nullptr && common->Owner()->OnCompareFields) {
        std::sort(first, last, [this](PmtRecord a, PmtRecord b) { return CompareRecords(nullptr, a, b, true, false) < 0; });
        isOrdered_ = true;
        return;
    }
    // The keys are copied side by side first: comparing them there instead
    // of inside records spread over the heap keeps the sort in the cache.
    // The comparison is the very one CompareRecords makes (How 0, no
    // partial, records of the store).
    const TmtFieldList& list = fieldList_;
    const int nf = list.Count();
    const std::size_t n = static_cast<std::size_t>(R - L + 1);
    std::string arena;
    std::vector<uint32_t> offsets(n * static_cast<std::size_t>(nf));
    for (std::size_t i = 0; i < n; ++i) {
        PmtRecord r = references_[static_cast<std::size_t>(L) + i];
        for (int f = 0; f < nf; ++f) {
            int32_t len = 0;
            std::string scratch;
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
        PmtRecord rec;
        uint32_t index;
        int32_t id;
    };
    std::vector<Item> items(n);
    for (std::size_t i = 0; i < n; ++i) {
        PmtRecord r = references_[static_cast<std::size_t>(L) + i];
        items[i] = Item{r, static_cast<uint32_t>(i), r->RecordID};
    }
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
            result = a.id < b.id ? -1 : (a.id > b.id ? 1 : 0);
            if (firstDescending) result = -result;
        }
        return result < 0;
    };
    std::sort(items.begin(), items.end(), compare);
    for (std::size_t i = 0; i < n; ++i) references_[static_cast<std::size_t>(L) + i] = items[i].rec;
    isOrdered_ = true;
}

void TmtIndex::Clear() {
    references_.clear();
    isOrdered_ = false;
    idsAscending_ = true;
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
        // must keep: take it from this index, or from another table that
        // shares the store.
        const std::vector<PmtRecord>* from = &references_;
        if (references_.empty()) {
            for (TmtCustomMemTable* t : common->AttachedTables()) {
                if (t == nullptr || t == dataSet_ || !t->Active()) continue;
                TmtIndex* ro = t->Indexes()->RowOrderIndex();
                if (ro != nullptr && !ro->References().empty()) {
                    from = &ro->References();
                    break;
                }
            }
        }
        if (!savedOrder_.empty()) {
            order = std::move(savedOrder_);
            savedOrder_.clear();
        } else {
            for (PmtRecord r : *from) order.emplace_back(r->RecordID, r->UniqueRecordID);
        }
    }
    Clear();
    StoreLock lock(common);
    references_.reserve(static_cast<std::size_t>(isFiltered_ ? 100 : common->RecordCount()));
    auto wanted = [&](PmtRecord r) {
        if (r == nullptr) return false;
        auto status = static_cast<TUpdateStatus>(r->UpdateStatus);
        if (!updateStatusSet_.Contains(status)) return false;
        if (status == usDeleted && !common->EnableVersioning()) return false;
        return FilterRecord(r);
    };
    std::vector<uint8_t> taken(static_cast<std::size_t>(common->RecordCount()), 0);
    for (const auto& [id, uid] : order) {
        PmtRecord r = common->Record(id);
        if (r == nullptr || r->UniqueRecordID != uid || taken[static_cast<std::size_t>(id)] != 0) continue;
        taken[static_cast<std::size_t>(id)] = 1;
        if (wanted(r)) references_.push_back(r);
    }
    for (int id = 0; id < common->RecordCount(); ++id) {
        if (taken[static_cast<std::size_t>(id)] != 0) continue;
        PmtRecord r = common->Record(id);
        if (wanted(r)) references_.push_back(r);
    }
    idsAscending_ = true;
    for (std::size_t i = 1; i < references_.size() && idsAscending_; ++i)
        if (references_[i - 1]->RecordID > references_[i]->RecordID) idsAscending_ = false;
}

void TmtIndex::RememberOrder() {
    savedOrder_.clear();
    for (PmtRecord r : references_) savedOrder_.emplace_back(r->RecordID, r->UniqueRecordID);
}

void TmtIndex::PushLevelOrder() {
    std::vector<std::pair<int32_t, int32_t>> order;
    order.reserve(references_.size());
    for (PmtRecord r : references_) order.emplace_back(r->RecordID, r->UniqueRecordID);
    levelOrders_.push_back(std::move(order));
}

void TmtIndex::PopLevelOrder(bool Restore) {
    if (levelOrders_.empty()) {
        if (Restore) RememberOrder();
        return;
    }
    if (Restore) {
        // Records placed during the level keep their places after the ones
        // that were there before it.
        std::vector<std::pair<int32_t, int32_t>> order = std::move(levelOrders_.back());
        for (PmtRecord r : references_) order.emplace_back(r->RecordID, r->UniqueRecordID);
        savedOrder_ = std::move(order);
    }
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
                for (int i = 1; i < Count(); ++i) {
                    if (CompareRecords(nullptr, references_[static_cast<std::size_t>(i - 1)],
                                       references_[static_cast<std::size_t>(i)], false, false) == 0) {
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
        if (!references_.empty())
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
    bool found = false;
    return FirstEqual(nullptr, Record, false, found);
}

void TmtIndex::InsertAt(int Pos, PmtRecord Record) {
    Pos = std::clamp(Pos, 0, Count());
    if (Pos != Count() || (!references_.empty() && references_.back()->RecordID > Record->RecordID))
        idsAscending_ = false;
    references_.insert(references_.begin() + Pos, Record);
}

int TmtIndex::RemoveReference(PmtRecord Record, int Hint) {
    int n = Count();
    if (Hint >= 0 && Hint < n && references_[static_cast<std::size_t>(Hint)] == Record) {
        references_.erase(references_.begin() + Hint);
        return Hint;
    }
    int pos = -1;
    if (isRowOrder_)
        FindRecordByID(Record->RecordID, pos);
    else if (isOrdered_)
        FindRecord(Record, pos);
    if (pos < 0 || references_[static_cast<std::size_t>(pos)] != Record) {
        auto it = std::find(references_.begin(), references_.end(), Record);
        pos = it == references_.end() ? -1 : static_cast<int>(it - references_.begin());
    }
    if (pos >= 0) references_.erase(references_.begin() + pos);
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
    switch (Change) {
        case 0: {  // insert
            if (isFiltered_ && !FilterRecord(NewRecord)) return;
            if (!updateStatusSet_.Contains(usInserted) &&
                !updateStatusSet_.Contains(static_cast<TUpdateStatus>(NewRecord->UpdateStatus)))
                return;
            int pos;
            if (isRowOrder_)
                pos = (current && RecordPos >= 0) ? std::max(RecordPos - 1, 0) : Count();
            else
                pos = InsertionPoint(NewRecord);
            pos = std::clamp(pos, 0, Count());
            InsertAt(pos, NewRecord);
            if (current) dataSet_->SetLastChangePos(pos);
            break;
        }
        case 2: {  // delete
            if (updateStatusSet_.Contains(usDeleted) && common->EnableVersioning() && !DontVersion) {
                auto status = static_cast<TUpdateStatus>(OldRecord->UpdateStatus);
                if (!updateStatusSet_.Contains(status) && (!isFiltered_ || FilterRecord(OldRecord)))
                    InsertAt(InsertionPoint(OldRecord), OldRecord);
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
            if (updateStatusSet_.Contains(usModified) &&
                CompareRecords(nullptr, OldRecord, NewRecord, false, false) == 0) {
                if (current) dataSet_->SetLastChangePos(RecordPos);
                return;
            }
            RemoveReference(OldRecord, current ? RecordPos : -1);
            if (isFiltered_ && !FilterRecord(NewRecord)) return;
            if (!updateStatusSet_.Contains(usModified)) return;
            int pos = InsertionPoint(NewRecord);
            InsertAt(pos, OldRecord);  // the store record takes the new values next
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
    for (int i = Count() - 1; i >= 0; --i) {
        TmtIndex* idx = Items(i);
        idx->Clear();
        if (idx == rowOrder_) continue;
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

bool TmtIndexes::IndexUsableFor(const TmtIndex* Index, const TmtFieldList& Search) const {
    // An index narrows a search only when every record the search accepts
    // lies in one run of the index's order; the run is then checked record by
    // record with the search's own options.
    TmtIndex* cur = dataSet_->CurIndex();
    if (Index->IsFiltered() || Index->OnFilterIndex || Index->FilterExpression() != nullptr) return false;
    if (Index->UpdateStatusSet() != cur->UpdateStatusSet()) return false;
    const TmtFieldList& il = Index->IndexFieldList();
    for (int i = 0; i < Search.Count(); ++i) {
        TmtifoOptions so = Search.Options(i), io = il.Options(i);
        if (so.Contains(mtifoPartial) || so.Contains(mtifoIgnoreNull)) return false;
        if (!IsStringKind(Search.Fields(i)->DataType())) continue;
        bool sl = so.Contains(mtifoIgnoreLocale), il2 = io.Contains(mtifoIgnoreLocale);
        bool sci = so.Contains(mtifoCaseInsensitive), ici = io.Contains(mtifoCaseInsensitive);
        if (il2) {
            // Byte order: only identical texts, or ASCII-folded ones in a
            // folded index, sit together.
            if (sci && !ici) return false;
            if (!sl && sci) return false;
        }
    }
    return true;
}

int TmtIndexes::SequentialSearch(const TmtFieldList& FieldList, PmtRecord KeyRecord, bool RespectFilter,
                                 bool Nearest, bool& Found) {
    TmtIndex* cur = dataSet_->CurIndex();
    bool filtered = RespectFilter && dataSet_->IsFilteredNow();
    TmtCommon* common = dataSet_->Common();
    int n = cur->Count();
    for (int i = 0; i < n; ++i) {
        if (i % 100 == 0 && i > 0) dataSet_->Progress(i * 100 / n, mtpcSearch);
        PmtRecord r = cur->References()[static_cast<std::size_t>(i)];
        if (dataSet_->RecalcOnIndex()) dataSet_->CalcRecordFields(r);
        int c = common->CompareRecords(FieldList, 0, KeyRecord, r, false, false, 0);
        if (c == 0 || (Nearest && c < 0)) {
            if (filtered && !dataSet_->FilterRecord(r, false)) continue;
            Found = true;
            return i;
        }
    }
    Found = false;
    return -1;
}

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

    TmtIndex* use = nullptr;
    bool canNarrow = !Nearest && !dataSet_->RecalcOnIndex() && cur->IsOrdered() && cur->Count() >= 21;
    if (canNarrow) {
        for (int i = Count() - 1; i >= 0; --i) {
            TmtIndex* idx = Items(i);
            if (idx->IsRowOrder() || !idx->IsOrdered()) continue;
            if (!IsFieldListPrefix(dataSet_, idx->IndexFieldList(), FieldList)) continue;
            if (!IndexUsableFor(idx, FieldList)) continue;
            use = idx;
            break;
        }
        if (use == nullptr && AutoAddIndex) {
            std::string name = std::string(mtres::AutoIndexPrefix) + FieldListText(FieldList);
            if (Get(name) == nullptr) dataSet_->AddIndex(name, FieldListText(FieldList), {ixCaseInsensitive});
            TmtIndex* idx = Get(name);
            if (idx != nullptr && !idx->IsOrdered()) idx->Rebuild();
            if (idx != nullptr && IndexUsableFor(idx, FieldList)) use = idx;
        }
    }
    int result = 0;
    if (use != nullptr) {
        // The run of records that the index cannot tell apart from the key.
        TmtFieldList coarse;
        const TmtFieldList& il = use->IndexFieldList();
        for (int i = 0; i < FieldList.Count(); ++i) {
            TmtifoOptions o = il.Options(i);
            TmtifoOptions so = FieldList.Options(i);
            // A case-insensitive locale compare is coarser than, and agrees
            // with, the case-sensitive order of a locale index.
            if ((so.Contains(mtifoCaseInsensitive) || so.Contains(mtifoIgnoreLocale)) &&
                !o.Contains(mtifoIgnoreLocale))
                o.Include(mtifoCaseInsensitive);
            coarse.Add(il.Fields(i), o);
            coarse.SetFieldOfs(i, il.FieldOfs(i), il.FieldNo(i));
        }
        bool hit = false;
        const auto& refs = use->References();
        auto bound = [&](bool upper) {
            int lo = 0, hi = use->Count();
            while (lo < hi) {
                int mid = lo + (hi - lo) / 2;
                int c = common->CompareRecords(coarse, 0, KeyRecord, refs[static_cast<std::size_t>(mid)], false, false, 0);
                if (upper ? c >= 0 : c > 0)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            return lo;
        };
        int first = bound(false);
        int last = first < use->Count() ? bound(true) : first;
        // Where the run's equality is the search's own, every record of the
        // run matches and needs no second look.
        bool exact = true;
        for (int i = 0; i < coarse.Count(); ++i) {
            TmtifoOptions a = coarse.Options(i), b = FieldList.Options(i);
            a.Exclude(mtifoDescending);
            b.Exclude(mtifoDescending);
            if (IsStringKind(coarse.Fields(i)->DataType()) && a != b) exact = false;
        }
        bool filtered = RespectFilter && dataSet_->IsFilteredNow();
        int best = -1;
        // In a row order of ascending ids the first match is the one with
        // the lowest id: one search instead of one per match.
        bool byId = use != cur && cur->IsRowOrder() && cur->IdsAscending();
        int bestId = -1;
        for (int i = first; i < last; ++i) {
            PmtRecord r = refs[static_cast<std::size_t>(i)];
            if (!exact && common->CompareRecords(FieldList, 0, KeyRecord, r, false, false, 0) != 0) continue;
            if (filtered && !dataSet_->FilterRecord(r, false)) continue;
            if (use == cur) {
                best = i;
                break;
            }
            if (byId) {
                if (bestId < 0 || r->RecordID < bestId) bestId = r->RecordID;
                continue;
            }
            int p = -1;
            cur->FindRecord(r, p);
            if (p >= 0 && (best < 0 || p < best)) best = p;
        }
        if (byId && bestId >= 0) cur->FindRecordByID(bestId, best);
        hit = best >= 0;
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

void TmtIndexes::CheckRecordUniqueness(PmtRecord Record, PmtRecord ActualRecord) {
    if (!dataSet_->EnableIndexes()) return;
    TmtCommon* common = dataSet_->Common();
    StoreLock lock(common);
    for (auto& up : indexes_) {
        TmtIndex* idx = up.get();
        if (!idx->Enabled() || idx->IndexOptions().Contains(mtcoNonMaintained) ||
            !idx->IndexOptions().Contains(mtcoUnique))
            continue;
        const auto& refs = idx->References();
        int start = 0;
        if (idx->IsOrdered()) {
            int lo = 0, hi = idx->Count();
            while (lo < hi) {
                int mid = lo + (hi - lo) / 2;
                if (idx->CompareRecords(nullptr, Record, refs[static_cast<std::size_t>(mid)], false, false) > 0)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            start = lo;
        }
        for (int i = start; i < idx->Count(); ++i) {
            PmtRecord r = refs[static_cast<std::size_t>(i)];
            int c = idx->CompareRecords(nullptr, Record, r, false, false);
            if (c == 0) {
                if (r != ActualRecord) throw EMemTableDupKey(mtres::DupKey);
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
