// The indexes of a table, the row order first, kept through every change of
// a record, and the searches that find records through them: a locate, the
// run of a master's key, a link's records placed in the current order, a
// unique key's check. Which index narrows a search, and how far:
// mtIndexChoice.cpp.
//
// The rule kept here: a search answers what a scan of the current index
// would, its first match in that order, whichever index finds it. Another
// index's run is read only where every match lies inside it, and its
// matches are then placed in the current order. A record's place in the
// current order is kept while its block takes no insert or delete (the
// block's stamp): a place whose block has changed since is read again,
// never trusted.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "memtable/mtIndex.h"
#include "memtable/mtKeyBytes.h"
#include "memtable/mtMemResEng.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/Strings.h"

using namespace memtable;

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
    TmtCustomMemTable::ActivityScope activity(dataSet_, actSearching);

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
    if (!std::is_sorted(Rows.begin(), Rows.end())) std::sort(Rows.begin(), Rows.end());
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
