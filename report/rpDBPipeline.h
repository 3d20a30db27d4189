#pragma once
// TrpDBPipeline: the pipeline over a dataset of the platform's database
// layer (a TSQLQuery, a TmtMemTable, any TDataSet), followed through a
// TDataSource. Every listing of the billing application prints through one.
//
// A data link tells the pipeline when the dataset opens, closes, moves or
// changes its layout. Field lookups are cached per name; the cache is
// dropped whenever the dataset's fields may have been made anew (open,
// close, layout change, another dataset), so a value is never read through
// a freed field. Bookmarks handed out are integer handles, each standing for
// one copy of the dataset's own bookmark until it is freed.
//
// Without a dataset every operation answers neutrally: BOF and EOF, nothing
// moved, values null or empty.
#include <array>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/db/DB.h"
#include "report/rpPipelineFields.h"

// The data link: three slots, each empty until the pipeline fills it.
class TrpDBDataLink : public TDataLink {
public:
    FAT_CLASS_NAME(TrpDBDataLink)
    std::function<void()> OnActiveChange;
    std::function<void()> OnDataChange;
    std::function<void()> OnLayoutChange;

protected:
    void ActiveChanged() override;
    void CheckBrowseMode() override;
    void DataSetChanged() override;
    void LayoutChanged() override;
};

// The data type a report sees for a dataset field type.
TrpDataType rpFieldTypeToDataType(TFieldType Type);

class TrpDBPipeline : public TrpCustomDataPipeline {
public:
    explicit TrpDBPipeline(TComponent* AOwner);
    ~TrpDBPipeline() override;
    FAT_CLASS(TrpDBPipeline)

    TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* Value);
    bool OpenDataSource() const { return openDataSource_; }
    void SetOpenDataSource(bool Value) { openDataSource_ = Value; }
    bool CloseDataSource() const { return closeDataSource_; }
    void SetCloseDataSource(bool Value) { closeDataSource_ = Value; }
    bool RefreshAfterPost() const { return refreshAfterPost_; }
    void SetRefreshAfterPost(bool Value) { refreshAfterPost_ = Value; }
    // The data source's dataset; nullptr without one.
    TDataSet* DataSet() const;

    // --- Data access
    bool Active() const override;
    void OpenData() override;
    void CloseData() override;
    void DataFirst() override;
    void DataLast() override;
    int DataMoveBy(int N) override;
    bool DataBof() const override;
    bool DataEof() const override;
    int GetBookmark() override;
    void FreeBookmark(int Bookmark) override;
    int CompareBookmarks(int A, int B) override;
    bool BookmarkValid(int Bookmark) const override;
    int BookmarkCount() const override { return static_cast<int>(bookmarks_.size()); }
    void FreeAllBookmarks() override;
    void DataGotoBookmark(int Bookmark) override;
    void GotoBookmark(int Bookmark) override;
    void PrepareTraversal(const std::vector<TrpDataPipeline*>& Pipelines) override;

    // --- Fields
    bool FieldExists(const std::string& FieldName) const override;
    Variant GetFieldValue(const std::string& FieldName) override;
    std::string GetFieldAsString(const std::string& FieldName) override;
    double GetFieldAsDouble(const std::string& FieldName);
    // "{...}" text of a GUID field, or of a text field holding a GUID;
    // empty GUID text otherwise.
    std::string GetFieldAsGuid(const std::string& FieldName);
    // The blob field itself, for pictures; nullptr for other fields.
    TBlobField* GetFieldAsPicture(const std::string& FieldName);
    bool GetFieldIsNull(const std::string& FieldName);
    TrpDataType GetFieldDataType(const std::string& FieldName) override;
    TAlignment GetFieldAlignment(const std::string& FieldName);
    bool GetFieldIsCalculated(const std::string& FieldName);
    void GetFieldNames(TStrings* List) override;
    // The dataset's component name; empty without one.
    std::string GetDataName() const;
    void SetFieldValue(const std::string& FieldName, const Variant& Value);
    // A blob field saves its bytes, any other field its text.
    void SaveFieldToStream(const std::string& FieldName, TStream* Stream);
    // Only blob fields load.
    void LoadFieldFromStream(const std::string& FieldName, TStream* Stream);

    // --- Changes through the pipeline
    void Edit();
    void Insert();
    void Delete();
    void Post();
    // Options: bit 1 case-insensitive, bit 2 partial key. A text longer
    // than the field is cut to its size first.
    bool Locate(const std::string& FieldName, const Variant& Value, int Options);

    void Notification(TComponent* AComponent, TOperation Operation) override;

    // The dataset's field of that name, or nullptr: what GetFieldValue reads.
    TField* DataSetField(const std::string& FieldName) const { return FindDataField(FieldName); }

protected:
    int GetDataFieldSize(const std::string& FieldName) override;
    int GetDataFieldDisplayWidth(const std::string& FieldName) override;
    // The dataset's field of that name, through the cache.
    TField* FindDataField(const std::string& FieldName) const;

private:
    void ActiveChanged();
    void LayoutChanged();
    void ForgetFields() const {
        fieldCache_.clear();
        recentFound_.fill(nullptr);
    }
    static std::size_t RecentSlot(const std::string& Name) {
        return (Name.size() * 31 + (Name.empty() ? 0 : static_cast<unsigned char>(Name.back()))) % kRecentFound;
    }
    const TBookmark* BookmarkOf(int Handle) const;

    TDataSource* dataSource_ = nullptr;
    bool openDataSource_ = true;
    bool closeDataSource_ = false;
    bool refreshAfterPost_ = false;
    std::unique_ptr<TrpDBDataLink> dataLink_;
    TDataSet* rememberedDataSet_ = nullptr;
    // A dataset being freed, which nothing may call into any more. Kept as
    // the component it is told as: freed alone, only that part of it is
    // left by the time the pipeline hears of it, and it is never looked at
    // as a dataset again.
    const TComponent* goingDataSet_ = nullptr;
    mutable std::unordered_map<std::string, TField*> fieldCache_;
    mutable TDataSet* cachedFor_ = nullptr;
    // Entries of an unordered_map stay where they are until erased.
    static constexpr std::size_t kRecentFound = 16;
    mutable std::array<const std::pair<const std::string, TField*>*, kRecentFound> recentFound_{};
    std::unordered_map<int, TBookmark> bookmarks_;
    int nextBookmark_ = 1;
};

// A dataset pipeline whose data source its owner supplies at run time (it
// is not stored).
class TrpChildDBPipeline : public TrpDBPipeline {
public:
    explicit TrpChildDBPipeline(TComponent* AOwner) : TrpDBPipeline(AOwner) {}
    FAT_CLASS(TrpChildDBPipeline)
};

class TrpChildDataSource : public TDataSource {
public:
    explicit TrpChildDataSource(TComponent* AOwner) : TDataSource(AOwner) {}
    FAT_CLASS(TrpChildDataSource)
};

namespace report {
// Every pipeline class the library streams: fields, links, the dataset
// pipelines and the child data source.
void RegisterDataPipelineClasses();
void UnregisterDataPipelineClasses();
}  // namespace report
