#pragma once
// The frame for saving a memory table into a stream and loading it back: it
// decides which fields take part, prepares the table around the operation
// (controls, store lock, filter, range, master link, indexes) and restores it
// afterwards, also when the operation fails, and offers compression hooks.
// The byte layout belongs to descendants (SaveDef/SaveData/LoadDef/LoadData
// and DetermineLoadFieldIndex); this base has none, so it refuses to save or
// load rather than write an empty stream or fail for want of fields.
//
// Each flag set holds two bits, value 1 and value 2. For the field-selection
// sets value 1 is the save bit and value 2 the load bit.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/DB.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/Streams.h"

class TmtCustomMemTable;

using TmtFormatFlags = uint8_t;
constexpr TmtFormatFlags mtff1 = 1;  // value 1 (the save bit of field selection)
constexpr TmtFormatFlags mtff2 = 2;  // value 2 (the load bit of field selection)

using TmtFormatCompressEvent = std::function<void(TDataSet* DataSet, TStream* From, TStream* To)>;

class TmtCustomStreamFormat : public TComponent {
public:
    FAT_CLASS(TmtCustomStreamFormat)
    explicit TmtCustomStreamFormat(TComponent* AOwner);
    ~TmtCustomStreamFormat() override;

    // Copies every flag set from another stream format.
    void Assign(TPersistent* Source) override;

    // --- the table drives these (SaveToStreamViaFormat / LoadFromStreamViaFormat)
    void SaveTable(TmtCustomMemTable* DataSet, TStream* Stream);
    void LoadTable(TmtCustomMemTable* DataSet, TStream* Stream);

    // --- flag sets
    TmtFormatFlags DataFieldsFlags() const { return dataFields_; }
    void SetDataFieldsFlags(TmtFormatFlags Value) { dataFields_ = Value; }
    TmtFormatFlags CalcFieldsFlags() const { return calcFields_; }
    void SetCalcFieldsFlags(TmtFormatFlags Value) { calcFields_ = Value; }
    TmtFormatFlags LookupFieldsFlags() const { return lookupFields_; }
    void SetLookupFieldsFlags(TmtFormatFlags Value) { lookupFields_ = Value; }
    TmtFormatFlags NonVisibleFieldsFlags() const { return nonVisibleFields_; }
    void SetNonVisibleFieldsFlags(TmtFormatFlags Value) { nonVisibleFields_ = Value; }
    TmtFormatFlags BlobFieldsFlags() const { return blobFields_; }
    void SetBlobFieldsFlags(TmtFormatFlags Value) { blobFields_ = Value; }
    TmtFormatFlags FilteredFlags() const { return filtered_; }
    void SetFilteredFlags(TmtFormatFlags Value) { filtered_ = Value; }
    TmtFormatFlags IgnoreRangeFlags() const { return ignoreRange_; }
    void SetIgnoreRangeFlags(TmtFormatFlags Value) { ignoreRange_ = Value; }
    TmtFormatFlags IgnoreMasterDetailFlags() const { return ignoreMasterDetail_; }
    void SetIgnoreMasterDetailFlags(TmtFormatFlags Value) { ignoreMasterDetail_ = Value; }
    TmtFormatFlags AppendFlags() const { return append_; }
    void SetAppendFlags(TmtFormatFlags Value) { append_ = Value; }
    TmtFormatFlags FromStartFlags() const { return fromStart_; }
    void SetFromStartFlags(TmtFormatFlags Value) { fromStart_ = Value; }

    // --- state while saving or loading
    TStream* Stream() const { return stream_; }
    // The stream itself, or a temporary one while compressing or decompressing.
    TStream* WorkStream() const { return workStream_; }
    // One entry per field: the field's index, or -1 when it does not take part.
    const std::vector<int>& SaveFieldMap() const { return saveMap_; }
    const std::vector<int>& LoadFieldMap() const { return loadMap_; }
    // The names the load field map was built from.
    TStrings* LoadFieldNames() const { return loadNames_.get(); }

    // --- events
    TmtFormatCompressEvent OnCompress;    // (DataSet, work stream, target stream) after saving
    TmtFormatCompressEvent OnDecompress;  // (DataSet, source stream, work stream) before loading
    TNotifyEvent BeforeSaveData, AfterSaveData, BeforeLoadData, AfterLoadData;

    virtual std::string GetVersion() const { return "1.00"; }
    virtual void DetermineSaveFields(TmtCustomMemTable* DataSet);
    virtual void BeforeSave(TmtCustomMemTable* DataSet);
    virtual void SaveDef(TmtCustomMemTable* DataSet) { (void)DataSet; }
    virtual void SaveData(TmtCustomMemTable* DataSet) { (void)DataSet; }
    virtual void Save(TmtCustomMemTable* DataSet);
    virtual void AfterSave(TmtCustomMemTable* DataSet);
    virtual void GetFieldNames(TmtCustomMemTable* DataSet, TStrings* List);
    virtual void DetermineLoadFields(TmtCustomMemTable* DataSet, int Situation);
    // Position: the entry's place among the names of GetFieldNames (LoadFieldNames), Count: their number.
    virtual bool DetermineLoadFieldIndex(TmtCustomMemTable* DataSet, int Position, int Count, int& MapEntry,
                                         int Situation);
    virtual void BeforeLoad(TmtCustomMemTable* DataSet);
    virtual void LoadDef(TmtCustomMemTable* DataSet) { (void)DataSet; }
    virtual void LoadData(TmtCustomMemTable* DataSet) { (void)DataSet; }
    virtual void Load(TmtCustomMemTable* DataSet);
    virtual void AfterLoad(TmtCustomMemTable* DataSet);

protected:
    // Whether this class has a byte layout of its own: the base has none,
    // every descendant is taken to have one.
    virtual bool HasLayout() const;

private:
    // The restoring half of AfterSave / AfterLoad, run also after a failure.
    void RestoreAfterSave(TmtCustomMemTable* DataSet, bool Succeeded);
    void RestoreAfterLoad(TmtCustomMemTable* DataSet, bool Succeeded);
    bool Takes(TField* Field, TmtFormatFlags Bit) const;

    TStream* stream_ = nullptr;
    TStream* workStream_ = nullptr;
    std::unique_ptr<TMemoryStream> tempStream_;
    bool savedFiltered_ = false, savedRangeActive_ = false;
    TDataSource* savedMaster_ = nullptr;
    bool savedPersistent_ = false, savedEnableIndexes_ = true;
    bool savedIgnoreReadOnly_ = false, savedIgnoreAutoInc_ = false;
    bool prepared_ = false;
    TBookmark bookmark_;
    std::vector<int> saveMap_, loadMap_;
    std::unique_ptr<TStringList> loadNames_;

    TmtFormatFlags dataFields_ = mtff1 | mtff2;
    TmtFormatFlags calcFields_ = 0;
    TmtFormatFlags lookupFields_ = 0;
    TmtFormatFlags nonVisibleFields_ = mtff1 | mtff2;
    TmtFormatFlags blobFields_ = mtff1 | mtff2;
    TmtFormatFlags filtered_ = mtff1;
    TmtFormatFlags ignoreRange_ = mtff1;
    TmtFormatFlags ignoreMasterDetail_ = mtff1;
    TmtFormatFlags append_ = 0;
    TmtFormatFlags fromStart_ = mtff1;
};
