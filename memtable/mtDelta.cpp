#include "memtable/mtDelta.h"

#include "memtable/mtMemTable.h"

TmtCustomDeltaHandler::TmtCustomDeltaHandler(TComponent* AOwner) : TComponent(AOwner) {}

TmtCustomDeltaHandler::~TmtCustomDeltaHandler() {
    if (dataSet_ != nullptr && dataSet_->DeltaHandler() == this) dataSet_->SetDeltaHandler(nullptr);
    dataSet_ = nullptr;
}

void TmtCustomDeltaHandler::SetDataSet(TmtCustomMemTable* Value) {
    if (Value == nullptr) {
        if (dataSet_ != nullptr) memtable::LinkDeltaHandler(dataSet_, nullptr);
        return;
    }
    memtable::LinkDeltaHandler(Value, this);
}

namespace memtable {

void LinkDeltaHandler(TmtCustomMemTable* Table, TmtCustomDeltaHandler* Handler) {
    if (Table == nullptr) return;
    TmtCustomDeltaHandler* previous = Table->DeltaHandler();
    if (previous != nullptr && previous != Handler) {
        previous->dataSet_ = nullptr;
        previous->RemoveFreeNotification(Table);
    }
    if (Handler != nullptr && Handler->dataSet_ != nullptr && Handler->dataSet_ != Table) {
        TmtCustomMemTable* old = Handler->dataSet_;
        if (old->DeltaHandler() == Handler) old->SetDeltaHandler(nullptr);
        Handler->RemoveFreeNotification(old);
    }
    Table->SetDeltaHandler(Handler);
    if (Handler != nullptr) {
        Handler->dataSet_ = Table;
        Handler->FreeNotification(Table);
    }
}

}  // namespace memtable

void TmtCustomDeltaHandler::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == dataSet_) dataSet_ = nullptr;
}

namespace {

PmtRecord Oldest(PmtRecord Record) {
    while (Record->PrevRecordVersion != nullptr) Record = Record->PrevRecordVersion;
    return Record;
}

}  // namespace

PmtRecord TmtCustomDeltaHandler::CurrentRecord() const {
    if (currentRecord_ == nullptr || dataSet_ == nullptr) return nullptr;
    return dataSet_->Common()->Record(currentID_);
}

void TmtCustomDeltaHandler::Resolve() {
    if (dataSet_ == nullptr) throw EMemTableError("Delta handler is not assigned to any memorytables.");
    TmtCustomMemTable* table = dataSet_;
    const bool autoRefresh = table->AttachedAutoRefresh();
    table->SetAttachedAutoRefresh(false);
    TmtCommon* common = table->Common();
    table->Lock();
    struct Restore {
        TmtCustomDeltaHandler* self;
        TmtCustomMemTable* table;
        bool autoRefresh;
        ~Restore() {
            self->currentRecord_ = nullptr;
            self->origRecord_ = nullptr;
            table->Unlock();
            table->SetAttachedAutoRefresh(autoRefresh);
        }
    } restore{this, table, autoRefresh};
    // A hook may add records; the count is read again every round.
    for (int i = 0; i < common->RecordCount(); ++i) {
        PmtRecord record = common->Record(i);
        if (record == nullptr) continue;
        currentRecord_ = record;
        currentID_ = i;
        origRecord_ = Oldest(record);
        const bool deleted = record->UpdateStatus == usDeleted;
        const bool inserted = origRecord_->UpdateStatus == usInserted;
        TUpdateStatus state;
        if (deleted && inserted) state = usUnmodified;
        else if (deleted) state = usDeleted;
        else if (inserted) state = usInserted;
        else state = static_cast<TUpdateStatus>(record->UpdateStatus);
        BeforeRecord();
        bool retry;
        do {
            retry = false;
            switch (state) {
                case usUnmodified: UnmodifiedRecord(retry, state); break;
                case usModified: ModifyRecord(retry, state); break;
                case usInserted: InsertRecord(retry, state); break;
                case usDeleted: DeleteRecord(retry, state); break;
            }
        } while (retry);
        AfterRecord();
    }
    currentRecord_ = nullptr;
    origRecord_ = nullptr;
    if (autoRefresh) common->RefreshTables(table);
}
