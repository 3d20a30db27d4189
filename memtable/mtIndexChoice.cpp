// Which index a locate narrows by, and how the matches it finds there come
// to stand in the table's current order.
//
// Each way is weighed by the entries it reads: the current index's run
// (found by its keys, or by the bytes every case of a case-blind text's
// keys begin with, or by bisection) up to its first match; another index's
// run whole, and its matches placed in the current order, unless its first
// entry (ascending ids) or its last (a descending index's run, descending
// ids) is the answer; the current order's own run or its start, which
// Search reads first for as many entries as the other way costs where the
// run's length promises a match soon. A count needs a run's length only.
//
// The rule kept here: the answer is the first match in the current order,
// so the current index is taken wherever it narrows the search as far as
// any other and its keys find its run. Read in its own order, the run gives
// the answer at its first match, and the work stops there: it is what lies
// before the answer, never the rest of the run. (Where that run also holds
// records the search does not match, the key's other cases, an index whose
// run holds the matches alone tells a miss at once.) Another index narrows
// only where the current one does not as far; of several that narrow as
// far, one whose run's first entry is the answer (a unique key; a run of
// whole keys in record id order while the current order is ascending row
// order), else the one whose keys find the shortest run, whose matches are
// then placed in the current order. Indexes that merely tie keep no
// preference of their own: neither the last added nor another order of the
// same field.
#include <algorithm>
#include <cstring>

#include "memtable/mtIndex.h"
#include "memtable/mtMemResEng.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/Strings.h"

using namespace memtable;

TmtIndexes::Narrowing TmtIndexes::NarrowingOf(const TmtIndex* Index, const TmtFieldList& Search,
                                              TmtFieldList* Coarse) const {
    // An index narrows a search over its leading fields only while every
    // record the search accepts lies in one run of the index's order, found
    // by a comparison that agrees with that order (Coarse). Past a field
    // whose run is coarser than the index's own order the later fields are
    // no longer in order within it. What the run holds beyond the search's
    // own matches is checked record by record.
    Narrowing n;
    TmtIndex* cur = dataSet_->CurIndex();
    if (Coarse != nullptr) Coarse->Clear();
    if (Index->IsFiltered() || Index->OnFilterIndex || Index->FilterExpression() != nullptr) return n;
    if (Index->UpdateStatusSet() != cur->UpdateStatusSet()) return n;
    const TmtFieldList& il = Index->IndexFieldList();
    // Comparisons that skip null keys or stop at the shorter text are no
    // order: a sort by them need not be in order even on its first field.
    for (int i = 0; i < il.Count(); ++i)
        if (il.Options(i).Contains(mtifoIgnoreNull) || il.Options(i).Contains(mtifoPartial)) return n;
    bool exact = true, keyed = Index->KeysForSearch();
    for (int i = 0; i < Search.Count() && i < il.Count(); ++i) {
        const TmtifoOptions io = il.Options(i), so = Search.Options(i);
        if (so.Contains(mtifoIgnoreNull) || so.Contains(mtifoPartial)) break;
        TmtifoOptions co = io;
        bool same = true, coarser = false;
        if (IsTextFieldType(il.Fields(i)->DataType())) {
            const bool iL = io.Contains(mtifoIgnoreLocale), iC = io.Contains(mtifoCaseInsensitive);
            const bool sL = so.Contains(mtifoIgnoreLocale), sC = so.Contains(mtifoCaseInsensitive);
            if (iL) {
                // Byte order keeps together only what its own equality
                // calls equal: identical texts, or ASCII-folded ones.
                if (sC && (!iC || !sL)) break;
                same = sL == iL && sC == iC;
            } else if (sL != iL || sC != iC) {
                // Every equality a search may ask for is finer than the
                // locale's case-insensitive one, which agrees with both
                // locale orders.
                co.Include(mtifoCaseInsensitive);
                coarser = !iC;
                same = !sL && sC;
            }
        }
        ++n.fields;
        if (!same) exact = false;
        if (co != io) keyed = false;
        if (Coarse != nullptr) {
            Coarse->Add(il.Fields(i), co);
            Coarse->SetFieldOfs(i, il.FieldOfs(i), il.FieldNo(i));
        }
        if (coarser) break;
    }
    n.exact = exact && n.fields == Search.Count();
    n.keyed = keyed && n.fields > 0;
    return n;
}

bool TmtIndexes::LeadOf(const TmtIndex* Index, const TmtFieldList& Search, TmtFieldList& Lead) const {
    Lead.Clear();
    const TmtFieldList& il = Index->IndexFieldList();
    uint64_t taken = 0;
    // A partial text that matches only its start ends the comparison as a
    // match: the fields after it need not be equal, and do not narrow.
    int fields = std::min(Search.Count(), 64);
    for (int j = 0; j < fields; ++j)
        if (Search.Options(j).Contains(mtifoPartial)) fields = j + 1;
    for (int i = 0; i < il.Count(); ++i) {
        int k = -1;
        for (int j = 0; j < fields && k < 0; ++j)
            if ((taken >> j & 1) == 0 && Search.Fields(j) == il.Fields(i)) k = j;
        if (k < 0) break;
        taken |= uint64_t{1} << k;
        Lead.Add(Search.Fields(k), Search.Options(k));
        Lead.SetFieldOfs(Lead.Count() - 1, Search.FieldOfs(k), Search.FieldNo(k));
    }
    return Lead.Count() > 0;
}

TmtIndex* TmtIndexes::NarrowingIndex(const TmtFieldList& Search, PmtRecord KeyRecord, Narrowing& How,
                                     bool& LeadExact) {
    TmtIndex* cur = dataSet_->CurIndex();
    candidates_.clear();
    int top = 0;
    for (int i = Count() - 1; i >= 0; --i) {
        TmtIndex* idx = Items(i);
        if (idx->IsRowOrder() || !idx->IsOrdered()) continue;
        if (!LeadOf(idx, Search, tryLead_)) continue;
        Narrowing n = NarrowingOf(idx, tryLead_, nullptr);
        if (n.fields == 0) continue;
        const bool exactLead = n.exact;
        n.exact = n.exact && tryLead_.Count() == Search.Count();
        // A unique key's run is one record at most.
        const bool unique = idx->IndexOptions().Contains(mtcoUnique) && n.keyed && exactLead &&
                            n.fields >= idx->IndexFieldList().Count();
        candidates_.push_back({idx, n, exactLead, unique});
        top = std::max(top, n.fields);
    }
    const Candidate* pick = nullptr;
    int tied = 0;
    for (const Candidate& c : candidates_) {
        if (c.how.fields != top) continue;
        ++tied;
        // Read in its own order the current index's run answers at its
        // first match; where every entry of the run matches (a case-blind
        // search of a case-sensitive index: one run of every case of the
        // key, found by bisection), that is its first entry, whether or
        // not keys find the run.
        if (c.index == cur && (c.how.keyed || c.how.exact)) {
            pick = &c;
            break;
        }
    }
    // Where the current index's run also holds records the search does not
    // match (the key's other cases), it is read up to its first match, or
    // whole when none is there: an index whose run holds the matches alone
    // tells the latter at once.
    if (pick != nullptr && !pick->how.exact)
        for (const Candidate& c : candidates_) {
            if (c.how.fields != top || !c.how.exact || !c.how.keyed) continue;
            c.index->BuildKey(KeyRecord, c.how.fields, probe_);
            int a = 0, b = 0;
            c.index->KeyRun(probe_, a, b, true);
            if (a == b) pick = &c;
            break;
        }
    // Where the first entry of a run is the answer, its end is never
    // looked for; where its last is (a descending index's run, in
    // descending id order), the run's end alone is.
    for (const Candidate& c : candidates_) {
        if (pick != nullptr) break;
        if (c.how.fields != top) continue;
        if (c.unique || (c.how.exact && c.how.keyed && PlacedById(c.index) &&
                         c.how.fields >= c.index->IndexFieldList().Count() &&
                         (c.index->RunsInIdOrder() || c.index->RunsInIdOrderDown())))
            pick = &c;
    }
    if (pick == nullptr && tied > 0) {
        int bestRun = -1;
        for (const Candidate& c : candidates_) {
            if (c.how.fields != top) continue;
            if (pick == nullptr) pick = &c;
            if (tied == 1) break;
            if (!c.how.keyed) continue;
            c.index->BuildKey(KeyRecord, c.how.fields, probe_);
            int a = 0, b = 0;
            c.index->KeyRun(probe_, a, b);
            if (bestRun < 0 || b - a < bestRun) {
                bestRun = b - a;
                pick = &c;
            }
        }
    }
    if (pick == nullptr) return nullptr;
    How = pick->how;
    LeadExact = pick->exactLead;
    LeadOf(pick->index, Search, lead_);
    return pick->index;
}

TmtIndex* TmtIndexes::AutoAddedIndex(const TmtFieldList& FieldList, const TmtFieldList& Search, PmtRecord KeyRecord,
                                     Narrowing& How, bool& Prefix) {
    std::string name = std::string(mtres::AutoIndexPrefix) + FieldListText(FieldList);
    if (Get(name) == nullptr) dataSet_->AddIndex(name, FieldListText(FieldList), {ixCaseInsensitive});
    TmtIndex* idx = Get(name);
    if (idx == nullptr) return nullptr;
    if (!idx->IsOrdered()) idx->Rebuild();
    if (Search.Options(0).Contains(mtifoPartial)) {
        TmtIndex* use = PrefixIndex(Search, KeyRecord);
        Prefix = use != nullptr;
        return use;
    }
    How = NarrowingOf(idx, Search, nullptr);
    return How.fields > 0 ? idx : nullptr;
}

TmtIndex* TmtIndexes::PrefixIndex(const TmtFieldList& FieldList, PmtRecord KeyRecord) {
    // A record matches only where its first text, cut to the key's length,
    // equals the key's under the collation: then its key starts with the
    // key text's primary weights, and so does every other such record's.
    TField* field = FieldList.Fields(0);
    const TmtifoOptions so = FieldList.Options(0);
    if (so.Contains(mtifoIgnoreLocale) || so.Contains(mtifoIgnoreNull) || !IsTextFieldType(field->DataType()))
        return nullptr;
    if (dataSet_->OnCompareFields) return nullptr;
    TmtCommon* common = dataSet_->Common();
    int32_t length = 0;
    std::string scratch;
    const uint8_t* v = common->FieldValueForRead(KeyRecord, FieldList.FieldNo(0), field, length, scratch);
    if (v == nullptr) return nullptr;
    const auto* p = reinterpret_cast<const char*>(v);
    const std::string_view text(p, strnlen(p, static_cast<std::size_t>(std::max(length, 0))));
    prefixText_.assign(text);
    // Any index of the field whose order is a plain one: the current index
    // first (its first match is the answer), then the last one defined.
    prefixList_.Clear();
    prefixList_.Add(field, TmtifoOptions(so).Exclude(mtifoPartial));
    prefixList_.SetFieldOfs(0, FieldList.FieldOfs(0), FieldList.FieldNo(0));
    TmtIndex* cur = dataSet_->CurIndex();
    TmtIndex* use = nullptr;
    for (int i = Count(); i >= 0 && use == nullptr; --i) {
        TmtIndex* idx = i == Count() ? cur : Items(i);
        if (idx->IsRowOrder() || !idx->IsOrdered() || (i < Count() && idx == cur)) continue;
        if (!IsFieldListPrefix(dataSet_, idx->IndexFieldList(), prefixList_)) continue;
        if (idx->IndexFieldList().Options(0).Contains(mtifoIgnoreLocale)) continue;
        if (NarrowingOf(idx, prefixList_, nullptr).fields == 0 || !idx->HasKeys()) continue;
        use = idx;
    }
    if (use == nullptr) return nullptr;
    // The bytes of a value present, then the weights (see AppendKeyBytes).
    probe_.assign(1, '\1');
    if (!AppendAnsiCollationPrefix(probe_, text)) return nullptr;
    if (use->IndexFieldList().Options(0).Contains(mtifoDescending))
        for (char& c : probe_) c = static_cast<char>(~static_cast<unsigned char>(c));
    return use;
}

bool TmtIndexes::PlacedById(const TmtIndex* Use) const {
    const TmtIndex* cur = dataSet_->CurIndex();
    return Use != cur && cur->IsRowOrder() && cur->IdsAscending();
}

int TmtIndexes::FirstInCurrent(int32_t LowestId) {
    TmtIndex* cur = dataSet_->CurIndex();
    int best = -1;
    if (LowestId >= 0) {
        dataSet_->Common()->PrefetchRecord(LowestId);
        cur->FindRecordByID(LowestId, best);
        ++stepped_;
    }
    if (!matches_.empty()) best = cur->FirstOf(matches_, stepped_);
    return best;
}
