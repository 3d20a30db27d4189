// A table's walk through its current index: the cursor's moves, the
// record a position names, the count of the records the table shows, and
// the master link whose key's run a walk reads (its field lists and its key
// record).
//
// The rule kept here: a walk and a count see the same records, those of the
// current index that the filter and the master link let through, in that
// index's order; a position (RecNo) is a place in the current index, hidden
// records counted, and one the filter hides is never taken. A link's
// records are read from the current index's run of the key where its order
// keeps them together, else from another index's run placed in the current
// order (MasterRun). What a count or a run has learned holds only while the
// records, the order, the filter and the fields stay as they were (Stamp).
#include <algorithm>

#include "memtable/mtFilter.h"
#include "memtable/mtMemTable.h"

using namespace memtable;

// ---------------------------------------------------------------------------
// Navigation

void TmtCustomMemTable::SetCursorBeforeFirst() { recNo_ = -1; }

void TmtCustomMemTable::SetCursorAfterLast() { recNo_ = curIndex_->Count(); }

void TmtCustomMemTable::InternalFirst() { SetCursorBeforeFirst(); }

void TmtCustomMemTable::InternalLast() { SetCursorAfterLast(); }

TmtCustomMemTable::Stamp TmtCustomMemTable::StampNow() const {
    return Stamp{common_,           curIndex_, common_->Changes(), filterGeneration_, fieldGeneration_,
                 curIndex_->OrderChanges(), curIndex_->Count()};
}

bool TmtCustomMemTable::MasterRun(int& First, int& Last, const std::vector<int32_t>** Rows, int* Count) {
    First = 0;
    Last = curIndex_->Count();
    if (Rows != nullptr) *Rows = nullptr;
    if (!(masterLink_->Active() && masterKeyRecord_ != nullptr && masterIndexList_.Count() > 0)) return false;
    const Stamp now = StampNow();
    if (!(masterRunAt_ == now)) {
        const TmtFieldList& dl = detailIndexList_.Count() > 0 ? detailIndexList_ : indexFieldList_;
        const int n = std::min(masterIndexList_.Count(), dl.Count());
        masterRunValid_ =
            indexes_->RunOf(dl, n, masterKeyRecord_, masterRunFirst_, masterRunLast_, &masterRunExact_);
        // A count of records that another index finds, every one equal to
        // the key, is the length of their run: after an edit of the link
        // it needs none of them placed, and leaves them to be placed when
        // a walk asks.
        if (!masterRunValid_ && Count != nullptr) {
            bool exact = false;
            const int linked = indexes_->LinkCount(dl, n, masterKeyRecord_, autoAddIndexes_, exact);
            if (linked >= 0 && exact) {
                *Count = linked;
                return false;
            }
        }
        // An index other than the current one finds the link's records,
        // which the walk then takes in the current index's order.
        masterRowsValid_ = !masterRunValid_ &&
                           indexes_->LinkRows(dl, n, masterKeyRecord_, autoAddIndexes_, masterRows_, masterRunExact_);
        masterRunAt_ = StampNow();
    }
    if (masterRowsValid_ && Rows != nullptr) {
        *Rows = &masterRows_;
        return true;
    }
    if (!masterRunValid_) return false;
    First = masterRunFirst_;
    Last = masterRunLast_;
    return true;
}

bool TmtCustomMemTable::AcceptsEveryRecord() const {
    if (!isFiltered_) return true;
    if (masterLink_->Active() && masterKeyRecord_ != nullptr && masterIndexList_.Count() > 0) return false;
    return !Filtered() || (filterExpression_ == nullptr && !OnFilterRecord());
}

bool TmtCustomMemTable::FilterFollowsRecords() {
    if (recalcOnIndex_ || OnFilterRecord()) return false;
    if (!Filtered() || filterExpression_ == nullptr) return true;
    // A filter on the time of day lets other records through as the clock
    // runs, the records unchanged.
    return FilterExpressionReadsOnlyRecord(filterExpression_) && !TableFilterReadsTheClock(filterExpression_);
}

bool TmtCustomMemTable::MoveNextRecord(bool ForceFilter) {
    int n = curIndex_->Count();
    walkRow_ = -1;
    if (ForceFilter || isFiltered_) {
        TmtFilterExpression* plain = PlainRecordFilter(ForceFilter);
        // Only the master key's run can hold a record the link lets through.
        int first = 0, last = n;
        const std::vector<int32_t>* rows = nullptr;
        const bool inRun = MasterRun(first, last, &rows);
        if (rows != nullptr) {
            for (auto it = std::upper_bound(rows->begin(), rows->end(), recNo_); it != rows->end(); ++it) {
                indexes_->Step();
                if (FilterRecordOfRun(curIndex_->RecordAt(*it), ForceFilter)) {
                    recNo_ = *it;
                    walkRow_ = it - rows->begin();
                    return true;
                }
            }
            recNo_ = n;
            return false;
        }
        for (int i = std::max(recNo_ + 1, first); i < last; ++i) {
            indexes_->Step();
            PmtRecord r = curIndex_->RecordAt(i);
            if (plain != nullptr ? plain->AcceptsRecord(this, r)
                                 : inRun ? FilterRecordOfRun(r, ForceFilter) : FilterRecord(r, ForceFilter)) {
                recNo_ = i;
                return true;
            }
        }
        recNo_ = n;
        return false;
    }
    if (recNo_ < n - 1) {
        recNo_ = std::max(recNo_ + 1, 0);
        return true;
    }
    recNo_ = n;
    return false;
}

bool TmtCustomMemTable::MovePriorRecord(bool ForceFilter) {
    int n = curIndex_->Count();
    walkRow_ = -1;
    int from = std::min(recNo_, n) - 1;
    if (ForceFilter || isFiltered_) {
        TmtFilterExpression* plain = PlainRecordFilter(ForceFilter);
        int first = 0, last = n;
        const std::vector<int32_t>* rows = nullptr;
        const bool inRun = MasterRun(first, last, &rows);
        if (rows != nullptr) {
            for (auto it = std::upper_bound(rows->begin(), rows->end(), from); it != rows->begin();) {
                --it;
                indexes_->Step();
                if (FilterRecordOfRun(curIndex_->RecordAt(*it), ForceFilter)) {
                    recNo_ = *it;
                    walkRow_ = it - rows->begin();
                    return true;
                }
            }
            recNo_ = -1;
            return false;
        }
        for (int i = std::min(from, last - 1); i >= first; --i) {
            indexes_->Step();
            PmtRecord r = curIndex_->RecordAt(i);
            if (plain != nullptr ? plain->AcceptsRecord(this, r)
                                 : inRun ? FilterRecordOfRun(r, ForceFilter) : FilterRecord(r, ForceFilter)) {
                recNo_ = i;
                return true;
            }
        }
        recNo_ = -1;
        return false;
    }
    if (from >= 0) {
        recNo_ = from;
        return true;
    }
    recNo_ = -1;
    return false;
}

void TmtCustomMemTable::PrefetchWalk(int Step) const {
    // A walk in an index's order reads records from all over the store:
    // the slot of the record 16 rows on and the record 8 rows on are
    // fetched meanwhile, so that each row's two misses overlap with the
    // rows before it instead of coming one after another. A link's records
    // placed in an order of other fields lie all over the index too: their
    // entries come in first, 24 rows on.
    const bool placed = walkRow_ >= 0 && walkRow_ < static_cast<long>(masterRows_.size());
    const long from = placed ? walkRow_ : recNo_;
    const long rows = placed ? static_cast<long>(masterRows_.size()) : curIndex_->Count();
    auto position = [&](long k) {
        if (k < 0 || k >= rows) return -1;
        return placed ? masterRows_[static_cast<std::size_t>(k)] : static_cast<int>(k);
    };
    if (const int entry = position(from + 24 * Step); placed && entry >= 0) curIndex_->PrefetchEntryAt(entry);
    if (const int slot = position(from + 16 * Step); slot >= 0) common_->PrefetchRecord(curIndex_->IdAt(slot));
    if (const int record = position(from + 8 * Step); record >= 0)
        if (PmtRecord r = common_->Record(curIndex_->IdAt(record))) {
            __builtin_prefetch(r);
            __builtin_prefetch(reinterpret_cast<const char*>(r) + 64);
        }
}

TGetResult TmtCustomMemTable::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) {
    (void)DoCheck;
    StoreLock lock(common_);
    int n = curIndex_->Count();
    switch (GetMode) {
        case gmCurrent:
            if (recNo_ >= n) return grEOF;
            if (recNo_ < 0) return grBOF;
            if (isFiltered_ && !FilterRecord(curIndex_->RecordAt(recNo_), false))
                return grEOF;
            break;
        case gmNext:
            if (!MoveNextRecord(false)) return grEOF;
            PrefetchWalk(1);
            break;
        case gmPrior:
            if (!MovePriorRecord(false)) return grBOF;
            PrefetchWalk(-1);
            break;
    }
    PmtRecord src = curIndex_->RecordAt(recNo_);
    PmtRecord buf = Rec(Buffer);
    // The transfer writes every value, null flag and header field of the
    // buffer; its own blocks go first so that its indirect fields read
    // through to the store.
    common_->ClearIndirect(buf);
    common_->TransferRecord(src, buf);
    buf->RecordNo = recNo_;
    buf->Flag = 0;
    uint8_t* slot = BookmarkSlot(buf);
    WriteValue<int32_t>(slot, src->RecordID);
    WriteValue<int32_t>(slot + 4, src->UniqueRecordID);
    slot[8] = static_cast<uint8_t>(bfCurrent);
    if (recalcOnFetch_) GetCalcFields(Buffer);
    return grOK;
}

int TmtCustomMemTable::GetRecNo() const {
    if (!Active() || IsEmpty()) return -1;
    TRecordBuffer b = ActiveBuffer();
    if (b == nullptr) return -1;
    int no = Rec(b)->RecordNo;
    return no < 0 ? -1 : no + 1;
}

void TmtCustomMemTable::SetRecNoValue(int Value) {
    CheckBrowseMode();
    if (Value == GetRecNo()) return;
    int count = curIndex_->Count();
    if (Value < 1 || Value > count) return;
    // RecNo is the position in the current index, filtered or not: moving by
    // the difference would count only the records the filter lets through
    // and land elsewhere. A position the filter hides is not taken.
    if (isFiltered_) {
        StoreLock lock(common_);
        if (!FilterRecord(curIndex_->RecordAt(Value - 1), false)) return;
    }
    DoBeforeScroll();
    recNo_ = Value - 1;
    Resync({rmCenter});
    DoAfterScroll();
}

int TmtCustomMemTable::GetRecordCount() const {
    if (!Active()) DatabaseError(dbconsts::SDataSetClosed, const_cast<TmtCustomMemTable*>(this));
    StoreLock lock(common_);
    // Versions of deleted records make the table filtered without hiding
    // anything: the count is the index's.
    if (AcceptsEveryRecord()) return curIndex_->Count();
    auto* self = const_cast<TmtCustomMemTable*>(this);
    const Stamp now = StampNow();
    if (countValue_ >= 0 && countAt_ == now) return countValue_;
    int first = 0, last = curIndex_->Count();
    const std::vector<int32_t>* rows = nullptr;
    // Nothing but the link hides a record: the count may come from the
    // length of the link's run, its records not placed.
    int linked = -1;
    const bool inRun = self->MasterRun(first, last, &rows, !Filtered() && !recalcOnIndex_ ? &linked : nullptr);
    int n = 0;
    // Every record the link's own index found equals the key, and nothing
    // else hides one: the count is theirs, no record read.
    if (linked >= 0) {
        n = linked;
        last = first;
    } else if (inRun && rows == nullptr && masterRunExact_ && !Filtered() && !recalcOnIndex_) {
        // The current index's run of the key, every record of it equal to
        // the key: its length.
        n = last - first;
        last = first;
    } else if (rows != nullptr && masterRunExact_ && !Filtered() && !recalcOnIndex_) {
        n = static_cast<int>(rows->size());
    } else if (rows != nullptr) {
        for (int32_t i : *rows) {
            indexes_->Step();
            if (self->FilterRecordOfRun(curIndex_->RecordAt(i), false)) ++n;
        }
    }
    for (int i = first; rows == nullptr && i < last; ++i) {
        indexes_->Step();
        PmtRecord r = curIndex_->RecordAt(i);
        if (inRun ? self->FilterRecordOfRun(r, false) : self->FilterRecord(r, false)) ++n;
    }
    // Counted once until the records or the filter change, where nothing
    // else (a handler, a calculated field) may decide otherwise next time.
    if (self->FilterFollowsRecords()) {
        self->countAt_ = now;
        self->countValue_ = n;
    }
    return n;
}

PmtRecord TmtCustomMemTable::GetActiveRecord() const {
    if (overrideRecord_ != nullptr) return overrideRecord_;
    switch (State()) {
        case dsBrowse:
            return IsEmpty() ? nullptr : Rec(ActiveBuffer());
        case dsEdit: case dsInsert: case dsNewValue: case dsCurValue: case dsBlockRead: case dsSetKey:
            return ActiveBuffer() == nullptr ? nullptr : Rec(ActiveBuffer());
        case dsCalcFields: case dsInternalCalc:
            return Rec(CalcBuffer());
        case dsFilter:
            return filterRecord_;
        case dsOldValue: {
            if (ActiveBuffer() == nullptr) return nullptr;
            PmtRecord b = Rec(ActiveBuffer());
            if (b->RecordID < 0) return b;
            PmtRecord r = common_->Record(b->RecordID);
            if (r == nullptr) return b;
            while (r->PrevRecordVersion != nullptr) r = r->PrevRecordVersion;
            return r;
        }
        default:
            return nullptr;
    }
}

TUpdateStatus TmtCustomMemTable::UpdateStatus() const {
    PmtRecord r = Active() ? GetActiveRecord() : nullptr;
    if (r == nullptr) return TDataSet::UpdateStatus();
    return static_cast<TUpdateStatus>(r->UpdateStatus);
}

// ---------------------------------------------------------------------------
// Master/detail

void TmtCustomMemTable::BuildMasterDetailLists() {
    TDataSet* master = masterLink_->DataSet();
    if (master != nullptr && !masterFields_.empty())
        BuildIndexFieldList(this, master, masterIndexList_, masterFields_);
    else
        masterIndexList_.Clear();
    if (!detailFields_.empty())
        BuildIndexFieldList(this, this, detailIndexList_, detailFields_);
    else
        detailIndexList_.Clear();
    ++filterGeneration_;
}

TDataSource* TmtCustomMemTable::GetDataSource() const { return masterLink_ ? masterLink_->DataSource() : nullptr; }

TDataSource* TmtCustomMemTable::MasterSource() const { return GetDataSource(); }

void TmtCustomMemTable::SetMasterSource(TDataSource* Value) {
    if (Value != nullptr && IsLinkedTo(Value)) DatabaseError(mtres::SelfReferencingMaster, this);
    masterLink_->SetDataSource(Value);
    if (Active()) {
        BuildMasterDetailLists();
        UpdateIsFiltered();
    }
}

void TmtCustomMemTable::SetMasterFields(const std::string& Value) {
    masterFields_ = Value;
    masterLink_->SetFieldNames(Value);
    if (Active()) {
        BuildMasterDetailLists();
        ApplyMasterValues();
    }
}

void TmtCustomMemTable::SetDetailFields(const std::string& Value) {
    detailFields_ = Value;
    if (Active()) {
        BuildMasterDetailLists();
        ApplyMasterValues();
    }
}

void TmtCustomMemTable::ApplyMasterValues() {
    UpdateIsFiltered();
    if (!Active()) return;
    if (masterIndexList_.Count() == 0 && !masterFields_.empty()) BuildMasterDetailLists();
    if (masterIndexList_.Count() > 0) {
        StoreLock lock(common_);
        if (masterKeyRecord_ == nullptr) masterKeyRecord_ = common_->AllocRecord();
        const TmtFieldList& dl = detailIndexList_.Count() > 0 ? detailIndexList_ : indexFieldList_;
        int n = std::min(masterIndexList_.Count(), dl.Count());
        for (int i = 0; i < n; ++i) SetFieldValue(masterKeyRecord_, dl.Fields(i), masterIndexList_.Fields(i)->Value());
    }
    UpdateIsFiltered();
    CheckBrowseMode();
    First();
}

void TmtCustomMemTable::RefilterAndFirst() {
    UpdateIsFiltered();
    if (Active()) First();
}
