#pragma once
// The memory table: a dataset whose records live in a record store
// (mtCommon.h) that several attached tables may share, ordered and searched
// through indexes (mtIndex.h), with versioning, nested transactions,
// master/detail linking, auto-increment fields and copying to and from any
// other dataset.
#include <functional>
#include <memory>
#include <string>

#include "memtable/mtCommon.h"
#include "memtable/mtIndex.h"
#include "memtable/mtMemResEng.h"
#include "platform/db/DB.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/TypInfo.h"

// Defined by the stream-format and delta-handler units; the table only holds
// references to them.
class TmtCustomStreamFormat;
class TmtCustomDeltaHandler;
class TmtFilterExpression;

enum TmtProgressCode { mtpcLoad, mtpcSave, mtpcEmpty, mtpcPack, mtpcCheckPoint, mtpcSearch, mtpcCopy,
                       mtpcUpdate, mtpcSort };
using TmtProgressCodes = TSet<TmtProgressCode>;
enum TmtMemTableStorageType { mtstDataSet, mtstStream, mtstBinaryStream, mtstFile, mtstBinaryFile };

// Copy options of LoadFromDataSet / SaveToDataSet (bit values).
enum : uint16_t {
    mtcpoStructure = 1,
    mtcpoOnlyActiveFields = 2,
    mtcpoProperties = 4,
    mtcpoLookup = 8,
    mtcpoCalculated = 16,
    mtcpoAppend = 32,
    mtcpoFieldIndex = 64,
    mtcpoDontDisableIndexes = 128,
    mtcpoIgnoreErrors = 256,
    mtcpoStringAsWideString = 512,
    mtcpoUTF8Conversion = 1024,
};
using TmtCopyTableOptions = uint16_t;

// Flags of UpdateToDataSetEx.
enum : uint16_t { mtufEdit = 1, mtufAppend = 2, mtufDontClear = 4 };
using TmtUpdateFlags = uint16_t;

class TmtCustomMemTable;

using TmtProgressEvent = std::function<void(TDataSet* DataSet, int Percentage, TmtProgressCode Code)>;
using TmtAcceptEvent = std::function<void(TDataSet* DataSet, bool& Accept)>;
using TmtFieldEvent = std::function<void(TDataSet* DataSet, int FieldNo, TField* Field)>;
using TmtBlobStreamEvent = std::function<void(TDataSet* DataSet, TStream* From, TStream* To)>;
using TmtSetupFieldEvent = std::function<void(TDataSet* DataSet, TField* Field, uint8_t& FieldFlags)>;
using TmtSetupFieldPropertiesEvent = std::function<void(TDataSet* DataSet, TField* Field)>;
// Buffer and Size give the bytes to transform; the handler puts the result
// into ResultBuffer and its length into Size.
using TmtCompressFieldEvent = std::function<void(TDataSet* DataSet, TField* Field, const void* Buffer, int& Size,
                                                 std::string& ResultBuffer)>;
using TmtStorageEvent = std::function<void(TDataSet* DataSet, TmtMemTableStorageType StorageType, TStream* Stream)>;
using TmtCompareFieldsEvent =
    std::function<void(TDataSet* DataSet, TField* AFld, const void* KeyField, const void* AField,
                       TFieldType FieldType, TmtifoOptions Options, bool& FullCompare, int& Result)>;

namespace memtable {

// The stream-format unit installs these so that the table can drive a
// format it does not know; until then a table with a format raises
// "Stream formats are not available.".
struct FormatDriver {
    std::function<void(TmtCustomMemTable* Table, TStream* Stream, TmtCustomStreamFormat* Format)> Save;
    std::function<void(TmtCustomMemTable* Table, TStream* Stream, TmtCustomStreamFormat* Format)> Load;
};
void SetFormatDriver(FormatDriver Driver);
const FormatDriver& GetFormatDriver();

// Internal activity of a table (what it is busy with).
enum Activity { actNone = 0, actLoading = 1, actSaving = 2, actEmptying = 3, actSearching = 6, actUpdating = 7,
                actSorting = 8 };

}  // namespace memtable

class TmtCustomMemTable : public TDataSet {
public:
    FAT_CLASS(TmtCustomMemTable)
    explicit TmtCustomMemTable(TComponent* AOwner);
    ~TmtCustomMemTable() override;

    // ===== public operations
    void EmptyTable();
    virtual void Lock();
    virtual void Unlock();
    virtual void StartTransaction();
    virtual void Commit();
    virtual void Rollback();
    void AddIndex(const std::string& Name, const std::string& Fields, TIndexOptions Options);
    void DeleteIndex(const std::string& Name);
    void SwitchToIndex(TmtIndex* Index);
    virtual void Progress(int Percent, TmtProgressCode Code);

    // Locate, lookup and copying.
    bool Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) override;
    Variant Lookup(const std::string& KeyFields, const Variant& KeyValues, const std::string& ResultFields) override;
    // Position of the matching record in the current index, or -1.
    int LocateRecord(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options);
    // The parsed key field list of a locate, with the options applied; made
    // once per text and options while the table is open (Scratch when the
    // cache is full).
    const TmtFieldList& LocateFieldList(const std::string& KeyFields, TLocateOptions Options, TmtFieldList& Scratch);
    virtual void SyncCursorWith(TDataSet* DataSet);
    void CreateTableAs(TDataSet* Source, TmtCopyTableOptions CopyOptions);
    TField* CopyField(TField* Field);
    static void CopyFieldProperties(TField* Source, TField* Dest);
    static void CopyFieldsProperties(TDataSet* Source, TDataSet* Dest);
    virtual int CopyRecords(TDataSet* Source, TDataSet* Destination, int Limit, bool UTF8Conversion,
                            bool IgnoreErrors);
    virtual void LoadFromDataSet(TDataSet* Source, TmtCopyTableOptions CopyOptions);
    virtual void SaveToDataSet(TDataSet* Destination, TmtCopyTableOptions CopyOptions);
    int UpdateRecords(TDataSet* Source, TDataSet* Destination, const std::string& KeyFields, TmtUpdateFlags Flags,
                      int Limit);
    virtual void UpdateToDataSetEx(TDataSet* Destination, const std::string& KeyFields, TmtUpdateFlags Flags);
    virtual void UpdateToDataSet(TDataSet* Destination, const std::string& KeyFields);
    // Writes a variant into a record buffer or key record of this table.
    void SetFieldValue(PmtRecord Record, TField* Field, const Variant& Value);
    void PopulateRecord(PmtRecord Record, const std::string& FieldNames, const Variant& Values);
    void PopulateRecordFromList(PmtRecord Record, const TmtFieldList& List, const Variant& Values);

    // Stream formats (the formats themselves live in their own unit).
    virtual void SaveToStreamViaFormat(TStream* Stream, TmtCustomStreamFormat* Format);
    virtual void LoadFromStreamViaFormat(TStream* Stream, TmtCustomStreamFormat* Format);

    // ===== dataset overrides
    bool BookmarkValid(const TBookmark& Bookmark) const override;
    int CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) const override;
    std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
    bool GetFieldData(TField* Field, void* Buffer) const override;
    void SetFieldData(TField* Field, const void* Buffer) override;
    bool IsSequenced() const override { return !Filtered(); }
    bool FindRecord(bool Restart, bool GoForward) override;
    bool GetIsIndexField(TField* Field) const override { return indexFieldList_.IndexOf(Field) >= 0; }
    void SetBlockReadSize(int Value) override;
    TUpdateStatus UpdateStatus() const override;
    void DataEvent(TDataEvent Event, intptr_t Info) override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void Loaded() override;
    void DefineProperties(TFiler* Filer) override;

    // ===== properties
    TmtCommon* Common() const { return common_; }
    TmtIndexes* Indexes() const { return indexes_.get(); }
    TmtIndex* CurIndex() const { return curIndex_; }
    int AttachIndex() const { return attachIndex_; }
    void SetAttachIndex(int Value) { attachIndex_ = Value; }
    TmtCustomMemTable* AttachedTo() const { return attachedTo_; }
    void SetAttachedTo(TmtCustomMemTable* Value);
    bool AttachedAutoRefresh() const { return attachedAutoRefresh_; }
    void SetAttachedAutoRefresh(bool Value) { attachedAutoRefresh_ = Value; }
    int AttachMaxCount() const { return common_->AttachMaxCount(); }
    void SetAttachMaxCount(int Value) { common_->SetAttachMaxCount(Value); }
    int AutoIncMinValue() const { return common_->AutoIncMin(); }
    void SetAutoIncMinValue(int Value) { common_->SetAutoIncMin(Value); }
    TField* AutoIncField() const { return autoIncField_; }
    bool DesignActivation() const { return designActivation_; }
    void SetDesignActivation(bool Value) { designActivation_ = Value; }
    bool EnableIndexes() const { return enableIndexes_; }
    void SetEnableIndexes(bool Value) { enableIndexes_ = Value; }
    bool AutoAddIndexes() const { return autoAddIndexes_; }
    void SetAutoAddIndexes(bool Value) { autoAddIndexes_ = Value; }
    bool AutoReposition() const { return autoReposition_; }
    void SetAutoReposition(bool Value) { autoReposition_ = Value; }
    const std::string& IndexFieldNames() const { return indexFieldNames_; }
    void SetIndexFieldNames(const std::string& Value);
    const std::string& IndexName() const { return indexName_; }
    void SetIndexName(const std::string& Value);
    bool RecalcOnIndex() const { return recalcOnIndex_; }
    void SetRecalcOnIndex(bool Value) { recalcOnIndex_ = Value; }
    bool RecalcOnFetch() const { return recalcOnFetch_; }
    void SetRecalcOnFetch(bool Value) { recalcOnFetch_ = Value; }
    const std::string& SortFields() const { return sortFields_; }
    void SetSortFields(const std::string& Value) { sortFields_ = Value; }
    TmtMemTableCompareOptions SortOptions() const { return sortOptions_; }
    void SetSortOptions(TmtMemTableCompareOptions Value) { sortOptions_ = Value; }
    // Sorts by SortFields / SortOptions through an index of its own.
    void SortDefault();
    void Sort(TmtMemTableCompareOptions Options);
    void SortOn(const std::string& FieldNames, TmtMemTableCompareOptions Options);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool Value) { readOnly_ = Value; }
    TmtPerformance Performance() const { return common_->Performance(); }
    void SetPerformance(TmtPerformance Value);
    bool Standalone() const { return common_->Standalone(); }
    void SetStandalone(bool Value);
    const std::string& PersistentFile() const { return persistentFile_; }
    void SetPersistentFile(const std::string& Value) { persistentFile_ = Value; }
    bool StoreDataOnForm() const { return storeDataOnForm_; }
    void SetStoreDataOnForm(bool Value) { storeDataOnForm_ = Value; }
    bool Persistent() const { return persistent_; }
    void SetPersistent(bool Value) { persistent_ = Value; }
    bool PersistentBackup() const { return persistentBackup_; }
    void SetPersistentBackup(bool Value) { persistentBackup_ = Value; }
    const std::string& PersistentBackupExt() const { return persistentBackupExt_; }
    void SetPersistentBackupExt(const std::string& Value) { persistentBackupExt_ = Value; }
    bool PersistentSaved() const { return persistentSaved_; }
    TmtProgressCodes ProgressFlags() const { return progressFlags_; }
    void SetProgressFlags(TmtProgressCodes Value) { progressFlags_ = Value; }
    int LoadLimit() const { return loadLimit_; }
    void SetLoadLimit(int Value) { loadLimit_ = Value; }
    int LoadCount() const { return loadCount_; }
    bool LoadedCompletely() const { return loadedCompletely_; }
    void SetLoadedCompletely(bool Value) { loadedCompletely_ = Value; }
    int SaveLimit() const { return saveLimit_; }
    void SetSaveLimit(int Value) { saveLimit_ = Value; }
    int SaveCount() const { return saveCount_; }
    bool SavedCompletely() const { return savedCompletely_; }
    void SetSavedCompletely(bool Value) { savedCompletely_ = Value; }
    bool EnableVersioning() const { return common_->EnableVersioning(); }
    void SetEnableVersioning(bool Value) { common_->SetEnableVersioning(Value); }
    TmtVersioningMode VersioningMode() const { return common_->VersioningMode(); }
    void SetVersioningMode(TmtVersioningMode Value) { common_->SetVersioningMode(Value); }
    int TransactionLevel() const { return common_->TransactionLevel(); }
    const std::string& MasterFields() const { return masterFields_; }
    void SetMasterFields(const std::string& Value);
    const std::string& DetailFields() const { return detailFields_; }
    void SetDetailFields(const std::string& Value);
    TDataSource* MasterSource() const;
    void SetMasterSource(TDataSource* Value);
    std::string Version() const { return mtres::Version; }
    int LanguageID() const { return common_->LanguageID(); }
    void SetLanguageID(int Value) { common_->SetLanguageID(Value); }
    int SortID() const { return common_->SortID(); }
    void SetSortID(int Value) { common_->SetSortID(Value); }
    int SubLanguageID() const { return common_->SubLanguageID(); }
    void SetSubLanguageID(int Value) { common_->SetSubLanguageID(Value); }
    int LocaleID() const { return common_->LocaleID(); }
    void SetLocaleID(int Value) { common_->SetLocaleID(Value); }
    bool RangeIgnoreNullKeyValues() const { return rangeIgnoreNullKeyValues_; }
    void SetRangeIgnoreNullKeyValues(bool Value) { rangeIgnoreNullKeyValues_ = Value; }
    bool RangeActive() const { return rangeActive_; }
    TmtCustomStreamFormat* DefaultFormat() const { return defaultFormat_; }
    void SetDefaultFormat(TmtCustomStreamFormat* Value) { SetFormat(defaultFormat_, Value); }
    TmtCustomStreamFormat* CommaTextFormat() const { return commaTextFormat_; }
    void SetCommaTextFormat(TmtCustomStreamFormat* Value) { SetFormat(commaTextFormat_, Value); }
    TmtCustomStreamFormat* PersistentFormat() const { return persistentFormat_; }
    void SetPersistentFormat(TmtCustomStreamFormat* Value) { SetFormat(persistentFormat_, Value); }
    TmtCustomStreamFormat* AllDataFormat() const { return allDataFormat_; }
    void SetAllDataFormat(TmtCustomStreamFormat* Value) { SetFormat(allDataFormat_, Value); }
    TmtCustomStreamFormat* FormFormat() const { return formFormat_; }
    void SetFormFormat(TmtCustomStreamFormat* Value) { SetFormat(formFormat_, Value); }
    TmtCustomDeltaHandler* DeltaHandler() const { return deltaHandler_; }
    // Links both ways: the handler's DataSet becomes this table and the
    // previous handler loses it.
    void SetDeltaHandler(TmtCustomDeltaHandler* Value);
    int CurrentActivity() const { return activity_; }
    void SetCurrentActivity(int Value) { activity_ = Value; }
    // The activity for as long as it lives: the one before comes back at
    // its end, however the work ends.
    class ActivityScope {
    public:
        ActivityScope(TmtCustomMemTable* Table, int Value) : table_(Table), old_(Table->CurrentActivity()) {
            Table->SetCurrentActivity(Value);
        }
        ~ActivityScope() { table_->SetCurrentActivity(old_); }
        ActivityScope(const ActivityScope&) = delete;
        ActivityScope& operator=(const ActivityScope&) = delete;

    private:
        TmtCustomMemTable* table_;
        int old_;
    };
    bool IgnoreReadOnly() const { return ignoreReadOnly_; }
    void SetIgnoreReadOnly(bool Value) { ignoreReadOnly_ = Value; }
    bool IgnoreAutoIncPopulation() const { return ignoreAutoInc_; }
    void SetIgnoreAutoIncPopulation(bool Value) { ignoreAutoInc_ = Value; }
    bool IsFilteredNow() const { return isFiltered_; }
    // The record an index filter is deciding about.
    PmtRecord IndexFilterRecord() const { return indexFilterRecord_; }
    void SetIndexFilterRecord(PmtRecord Value) { indexFilterRecord_ = Value; }
    void* ParsedFilterExpression() const { return filterExpression_; }
    // The record whose fields are read in the current state.
    PmtRecord GetActiveRecord() const;
    int CurRecNo() const { return recNo_; }
    void ClipRecNo(int Value) { recNo_ = Value; }
    void SetCurIndexRaw(TmtIndex* Index) {
        curIndex_ = Index;
        ++filterGeneration_;
    }
    bool IsCursorOpenForIndexes() const { return cursorOpen_; }
    // Changes whenever the table opens or closes, when its fields may have
    // been made again: what was resolved against them must be again.
    uint64_t FieldGeneration() const { return fieldGeneration_; }

    // ===== hooks for indexes and the store
    virtual void SetCursorBeforeFirst();
    virtual void SetCursorAfterLast();
    // Starts fetching the records a walk in direction Step reads next.
    void PrefetchWalk(int Step) const;
    virtual bool MoveNextRecord(bool ForceFilter);
    virtual bool MovePriorRecord(bool ForceFilter);
    virtual void UpdateIsFiltered();
    virtual void DoOnFilterRecord(TDataSet* DataSet, bool& Accept);
    virtual void ApplyMasterValues();
    virtual void RefilterAndFirst();
    // True when the record passes the table's filter (range, master link,
    // OnFilterRecord, filter expression).
    bool FilterRecord(PmtRecord Record, bool ForceFilter);
    // The filter expression when it is all of the test FilterRecord makes and
    // reads only the records' own fields: the caller may evaluate it on each
    // record directly. nullptr otherwise.
    TmtFilterExpression* PlainRecordFilter(bool ForceFilter);
    // Evaluates a parsed filter expression for a record (the expression unit
    // overrides this); the base accepts every record.
    virtual bool EvaluateFilterExpression(void* Expression, PmtRecord Record);
    // Parses a filter text into an expression (the expression unit overrides
    // this); the base parses nothing, so the text filters nothing.
    virtual void* ParseFilterExpression(const std::string& Text, TFilterOptions Options);
    virtual void FreeFilterExpression(void* Expression);
    // Whether evaluating the expression reads only the record under test, so
    // that the table need not show that record to its fields first.
    virtual bool FilterExpressionReadsOnlyRecord(void* Expression);
    // Computes the calculated fields of a store record (RecalcOnIndex).
    void CalcRecordFields(PmtRecord Record);
    void SetLastChangePos(int Value) { lastChangePos_ = Value; }
    // Empties buffers and indexes before the store clears its records.
    void EmptyBuffersAndIndexes();
    // Reads the index definitions again (remove stale, add missing, rebuild).
    void SyncIndexDefs();
    void DoRefresh();
    void CloseFromStore();

    // ===== events
    TmtProgressEvent OnProgress;
    TmtAcceptEvent OnLoadRecord, OnSaveRecord;
    TmtFieldEvent OnLoadField, OnSaveField;
    TmtBlobStreamEvent OnCompressBlobStream, OnDecompressBlobStream;
    TmtSetupFieldEvent OnSetupField;
    TmtSetupFieldPropertiesEvent OnSetupFieldProperties;
    TmtCompressFieldEvent OnCompressField, OnDecompressField;
    TmtStorageEvent OnSave, OnLoad;
    TmtCompareFieldsEvent OnCompareFields;
    TmtFilterIndexEvent OnFilterIndex;

protected:
    // ===== the dataset protocol
    TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(TRecordBuffer& Buffer) override;
    TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
    int GetRecordSize() const override;
    void InternalOpen() override;
    void InternalClose() override;
    bool IsCursorOpen() const override { return cursorOpen_; }
    void InternalInitFieldDefs() override;
    void InternalFirst() override;
    void InternalLast() override;
    void InternalAddRecord(const void* Buffer, bool Append) override;
    void InternalDelete() override;
    void InternalPost() override;
    void InternalCancel() override;
    void InternalInitRecord(TRecordBuffer Buffer) override;
    void InternalGotoBookmark(const void* Bookmark) override;
    void InternalSetToRecord(TRecordBuffer Buffer) override;
    void GetBookmarkData(TRecordBuffer Buffer, void* Data) const override;
    void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override;
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) const override;
    void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
    int GetRecNo() const override;
    void SetRecNoValue(int Value) override;
    int GetRecordCount() const override;
    bool GetCanModify() const override { return !readOnly_; }
    TDataSource* GetDataSource() const override;
    void ClearCalcFields(TRecordBuffer Buffer) override;
    void CloseBlob(TField* Field) override;
    void DoBeforeOpen() override;
    void DoAfterOpen() override;
    void DoBeforeClose() override;
    void DoAfterPost() override;
    void DoAfterDelete() override;
    void DoBeforePost() override;
    void DoBeforeInsert() override;
    void DoOnNewRecord() override;
    void SetFilteredValue(bool Value) override;
    void SetFilterText(const std::string& Value) override;
    void SetOnFilterRecordValue(const TFilterRecordEvent& Value) override;

private:
    // The bytes a field of these flags keeps in its block: through
    // OnCompressField into Packed for a compressed field, else Bytes; Size
    // follows.
    const uint8_t* StoredBytes(TField* Field, uint8_t Flags, const uint8_t* Bytes, int& Size, std::string& Packed);
    // AddIndex; with KeysOnDemand, an index whose keys may wait for the first
    // search or change that needs them (a sort's).
    void AddIndexWith(const std::string& Name, const std::string& Fields, TIndexOptions Options,
                      bool KeysOnDemand);
    friend class TmtCommon;
    friend class TmtIndex;
    friend class TmtIndexes;
    friend class TmtBulkLoad;
    struct FilterScope;
    // Whether records may be added straight to the store (TmtBulkLoad).
    bool CanLoadDirectly() const;
    // Adds a filled buffer to the store as a post of an inserted record would.
    void AppendBufferDirectly(PmtRecord Buffer);

    PmtRecord Rec(TRecordBuffer Buffer) const { return reinterpret_cast<PmtRecord>(Buffer); }
    uint8_t* BookmarkSlot(PmtRecord Record) const;
    bool IsValidBookmark(const void* Data) const;
    PmtRecord RecordOfBookmark(const void* Data) const;
    int PositionOfRecord(PmtRecord Record) const;
    void SetStoreOf(TmtCommon* Common, bool Own);
    void MakeOwnStore();
    void RebuildIndexesFromDefs();
    void BuildMasterDetailLists();
    void CheckIndexDefsOfAttached();
    void LoadPersistentFile();
    void SavePersistentFile();
    void AssertActiveRecordAvailable() const;
    int InsertPositionOfBuffer(PmtRecord Buffer) const;
    void ApplyIndexText();
    void SetFormat(TmtCustomStreamFormat*& Slot, TmtCustomStreamFormat* Value);
    void ResetToFirst();
    bool GotoBookmarkData(const void* Data, bool RaiseWhenStale);
    TmtIndex* EnsureIndexFor(const std::string& Name, const std::string& Fields, TIndexOptions Options);
    // Frees the records laid out by the current store that the table keeps
    // for itself (master key, locate key) and forgets parsed locate lists.
    void FreeKeyRecords();

    TmtCommon* common_ = nullptr;
    std::unique_ptr<TmtCommon> ownStore_;
    int attachIndex_ = 0;
    std::unique_ptr<TmtIndexes> indexes_;
    TmtIndex* curIndex_ = nullptr;
    TmtCustomMemTable* attachedTo_ = nullptr;
    TmtCustomStreamFormat* defaultFormat_ = nullptr;
    TmtCustomStreamFormat* commaTextFormat_ = nullptr;
    TmtCustomStreamFormat* persistentFormat_ = nullptr;
    TmtCustomStreamFormat* formFormat_ = nullptr;
    TmtCustomStreamFormat* allDataFormat_ = nullptr;
    TmtCustomDeltaHandler* deltaHandler_ = nullptr;
    bool linkingDeltaHandler_ = false;
    PmtRecord filterRecord_ = nullptr;
    PmtRecord overrideRecord_ = nullptr;  // Lookup reads a store record directly
    PmtRecord masterKeyRecord_ = nullptr;
    PmtRecord locateKey_ = nullptr;
    bool locateKeyBusy_ = false;
    struct LocateList {
        std::string fields;
        bool ci = false, partial = false;
        TmtFieldList list;
    };
    std::vector<std::unique_ptr<LocateList>> locateLists_;
    PmtRecord indexFilterRecord_ = nullptr;
    bool enableIndexes_ = true;
    bool autoAddIndexes_ = false;
    bool designActivation_ = true;
    bool activationLock_ = false;
    bool openWhenOwnerLoaded_ = false;
    int activity_ = memtable::actNone;
    void* filterExpression_ = nullptr;
    std::unique_ptr<TMasterDataLink> masterLink_;
    bool cursorOpen_ = false;
    int recNo_ = -1;
    int lastChangePos_ = -1;
    int insertPos_ = -1;
    int loadLimit_ = -1, loadCount_ = -1, saveLimit_ = -1, saveCount_ = -1;
    bool loadedCompletely_ = false, savedCompletely_ = false;
    bool attachedAutoRefresh_ = true;
    TField* autoIncField_ = nullptr;
    bool recalcOnFetch_ = true, recalcOnIndex_ = false, readOnly_ = false;
    bool persistent_ = false, persistentBackup_ = false, persistentSaved_ = false, storeDataOnForm_ = false;
    std::string persistentFile_, persistentBackupExt_;
    std::unique_ptr<TMemoryStream> formData_;
    bool ignoreReadOnly_ = false, ignoreAutoInc_ = false;
    TmtFieldList masterIndexList_, detailIndexList_, indexFieldList_;
    std::string indexFieldNames_, detailFields_, masterFields_, indexName_, sortFields_;
    TmtMemTableCompareOptions sortOptions_;
    bool autoReposition_ = false;
    bool rangeIgnoreNullKeyValues_ = true;
    bool rangeActive_ = false;
    bool isFiltered_ = false;
    bool inAfterOpen_ = false;
    uint64_t fieldGeneration_ = 0;
    // By field number, what a write into a record buffer needs of a field,
    // read once at open instead of asked of the field at every write.
    struct FieldInfo {
        int bufferOfs = -1;  // null flag in the buffer layout; -1 for an indirect field
        int slotBytes = 0;   // value bytes of the fixed slot
        int dataSize = 0;    // the field's native buffer
        int maxChars = 0;    // texts: characters at most
        bool text = false;
    };
    std::vector<FieldInfo> fieldInfo_;
    void BuildFieldInfo();
    // Writes a native value (nullptr: null) into a fixed field of a record
    // buffer, as SetFieldData stores it, with nothing told.
    void WriteBufferField(PmtRecord Record, int FieldNo, const void* Buffer);
    // The master link's run of the current index and the count of records
    // that pass the filter, each worked out once for the records, the
    // filter and the index they were found in (Stamp). The index's order
    // changes (order) cover what moves its entries without changing a
    // record: a commit or a rollback rebuilds every index, and records of
    // equal keys go back to slot order.
    struct Stamp {
        const TmtCommon* common = nullptr;
        const TmtIndex* index = nullptr;
        uint64_t changes = 0, filter = 0, fields = 0, order = 0;
        int entries = -1;
        bool operator==(const Stamp&) const = default;
    };
    Stamp StampNow() const;
    uint64_t filterGeneration_ = 0;
    Stamp masterRunAt_;
    bool masterRunValid_ = false;
    int masterRunFirst_ = 0, masterRunLast_ = 0;
    Stamp countAt_;
    int countValue_ = -1;
    // The positions of the current index that may hold records of the
    // master's key: [First, Last); false (the whole index) when the master
    // link filters nothing or the index does not keep a key's records
    // together.
    // Rows, when not null, gets the positions themselves, ascending, where
    // the current index's order scatters them and another index finds them.
    // Count, when not null, gets the number of the master's records where
    // that is known without placing them (else it is left alone).
    bool MasterRun(int& First, int& Last, const std::vector<int32_t>** Rows = nullptr, int* Count = nullptr);
    std::vector<int32_t> masterRows_;
    bool masterRowsValid_ = false;
    // Where in masterRows_ the last move through them stopped (-1: the
    // move went otherwise), for the walk to fetch the rows ahead.
    long walkRow_ = -1;
    // Every record of the run or the rows equals the master key on the link.
    bool masterRunExact_ = false;
    // FilterRecord for a record of the master's run or rows.
    bool FilterRecordOfRun(PmtRecord Record, bool ForceFilter);
    // Whether FilterRecord (without ForceFilter) accepts every record.
    bool AcceptsEveryRecord() const;
    // Whether what FilterRecord decides follows from the records, the
    // filter text and the master key alone (no handler, nothing computed).
    bool FilterFollowsRecords();
    bool filterReadsRecord_ = false;
    uint64_t filterReadsRecordAt_ = ~uint64_t{0};
    void* filterReadsRecordOf_ = nullptr;
    std::vector<void*> parsedHere_;  // expressions the base parser made (and knows the type of)
    TmtProgressCodes progressFlags_{mtpcLoad, mtpcSave, mtpcCopy};
};

// Adds many records to a memory table for a loader (copying from a dataset,
// a stream format's LoadData): Append, the fields' setters, Post, as with the
// table itself. When nothing could notice the difference (Direct: the table
// is open in browse state with its controls disabled, and has no handler of
// the per-record events, no master link, default expression, required field,
// auto-increment numbering or other attached table to refresh), a record is
// written straight into a buffer and added to the store at Post, without
// the dataset's insert and post protocol, its state changes and its
// re-reading of the record; the fields' own conversions, checks and events
// still run. Otherwise every call goes to the table, so that every handler
// runs as before. The cursor ends on the last record added.
class TmtBulkLoad {
public:
    explicit TmtBulkLoad(TmtCustomMemTable* Table);
    ~TmtBulkLoad();
    TmtBulkLoad(const TmtBulkLoad&) = delete;
    TmtBulkLoad& operator=(const TmtBulkLoad&) = delete;

    bool Direct() const { return buffer_ != nullptr; }
    void Append();
    void Post();
    void Cancel();
    // Writes a field's native value (as SetData takes it) into the record
    // being added. Without a handler on the field (OnValidate, OnChange) and
    // calculated fields to follow, the bytes go straight into the record;
    // otherwise through the field's SetData, which tells them.
    void SetNative(TField* Field, const void* Buffer);
    int Count() const { return count_; }

private:
    TmtCustomMemTable* table_;
    PmtRecord buffer_ = nullptr;
    PmtRecord oldOverride_ = nullptr;
    TDataSetState oldState_ = dsInactive;
    bool pending_ = false;
    int count_ = 0;
};

class TmtMemTable : public TmtCustomMemTable {
public:
    FAT_CLASS(TmtMemTable)
    explicit TmtMemTable(TComponent* AOwner) : TmtCustomMemTable(AOwner) {}
    ~TmtMemTable() override;
};
