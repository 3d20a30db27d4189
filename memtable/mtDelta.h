#pragma once
// The delta handler: walks the changes versioning has recorded in a memory
// table's store and hands each changed record to one of its virtual
// operations, so that a descendant can apply inserts, updates and deletes
// elsewhere. The base does nothing with them.
#include "memtable/mtCommon.h"
#include "platform/db/DB.h"
#include "platform/rtl/Component.h"

class TmtCustomMemTable;
class TmtCustomDeltaHandler;

namespace memtable {
void LinkDeltaHandler(TmtCustomMemTable* Table, TmtCustomDeltaHandler* Handler);
}

class TmtCustomDeltaHandler : public TComponent {
public:
    FAT_CLASS(TmtCustomDeltaHandler)
    explicit TmtCustomDeltaHandler(TComponent* AOwner);
    ~TmtCustomDeltaHandler() override;

    // The table served. Setting it also makes this the table's DeltaHandler;
    // the table's previous handler loses its table.
    TmtCustomMemTable* DataSet() const { return dataSet_; }
    void SetDataSet(TmtCustomMemTable* Value);
    // The newest and the oldest version of the record being resolved. The
    // newest is looked up by its id on every call: a post from a hook may
    // have moved it.
    PmtRecord CurrentRecord() const;
    PmtRecord OrigRecord() const { return origRecord_; }

    // Hands every record of the store to the operation for its state. The
    // table's lock and AttachedAutoRefresh are restored whatever happens.
    virtual void Resolve();

    void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
    virtual void BeforeRecord() {}
    // Each may change State and set Retry to be called again for the same record.
    virtual void InsertRecord(bool& Retry, TUpdateStatus& State) { (void)Retry; (void)State; }
    virtual void DeleteRecord(bool& Retry, TUpdateStatus& State) { (void)Retry; (void)State; }
    virtual void ModifyRecord(bool& Retry, TUpdateStatus& State) { (void)Retry; (void)State; }
    virtual void UnmodifiedRecord(bool& Retry, TUpdateStatus& State) { (void)Retry; (void)State; }
    virtual void AfterRecord() {}

private:
    friend void memtable::LinkDeltaHandler(TmtCustomMemTable*, TmtCustomDeltaHandler*);
    TmtCustomMemTable* dataSet_ = nullptr;
    PmtRecord currentRecord_ = nullptr;
    int currentID_ = -1;
    PmtRecord origRecord_ = nullptr;
};

namespace memtable {
// Both sides of the link between a table and its delta handler (nullptr
// unlinks): the table's DeltaHandler, the handler's DataSet, the previous
// partners of both let go, and free notification so that neither keeps a
// partner that is gone.
void LinkDeltaHandler(TmtCustomMemTable* Table, TmtCustomDeltaHandler* Handler);
}  // namespace memtable
