#pragma once
// The fields of a pipeline and its master/detail field links.
//
// TrpField describes one field the report reads by name (type, alias,
// widths, search and sort attributes); its values come from the pipeline it
// is a child of. TrpMasterFieldLink ties one detail field to one master
// field with the order and collation the detail's rows follow.
// TrpCustomDataPipeline keeps both lists as children, builds the field list
// from its data when AutoCreateFields is on, and compares the detail's
// current record with its master's through the links.
//
// The comparison is the one the rows were sorted by: a default link
// (ctANSI, not case-sensitive) uses AnsiCompareText, which is also the
// routine behind the database's PTBR collation, so rows the database
// ordered are met in the order the link expects.
#include <string>
#include <vector>

#include "report/rpPipeline.h"
#include "report/rpUtils.h"

class TBlobField;
class TrpCustomDataPipeline;

class TrpField : public TrpRelative {
public:
    explicit TrpField(TComponent* AOwner);
    FAT_CLASS(TrpField)

    TAlignment Alignment() const { return a_.alignment; }
    void SetAlignment(TAlignment Value) { a_.alignment = Value; }
    const std::string& FieldAlias() const { return a_.fieldAlias; }
    void SetFieldAlias(const std::string& Value) { a_.fieldAlias = Value; }
    const std::string& FieldName() const { return a_.fieldName; }
    virtual void SetFieldName(const std::string& Value) { a_.fieldName = Value; }
    int FieldLength() const { return a_.fieldLength; }
    void SetFieldLength(int Value) { a_.fieldLength = Value; }
    bool IsDetail() const { return a_.isDetail; }
    void SetIsDetail(bool Value) { a_.isDetail = Value; }
    bool Linkable() const { return a_.linkable; }
    void SetLinkable(bool Value) { a_.linkable = Value; }
    int GroupOrder() const { return a_.groupOrder; }
    void SetGroupOrder(int Value) { a_.groupOrder = Value; }
    TrpDataType DataType() const { return a_.dataType; }
    // Refused with EInvalidPropertyError when the pipeline does not support it.
    void SetDataType(TrpDataType Value);
    const std::string& DisplayFormat() const { return a_.displayFormat; }
    void SetDisplayFormat(const std::string& Value) { a_.displayFormat = Value; }
    int DisplayWidth() const { return a_.displayWidth; }
    void SetDisplayWidth(int Value) { a_.displayWidth = Value; }
    bool Mandatory() const { return a_.mandatory; }
    // Mandatory and ShowAllValues exclude each other.
    void SetMandatory(bool Value);
    int FieldPosition() const { return a_.position; }
    void SetFieldPosition(int Value) { a_.position = Value; }
    bool Selectable() const { return a_.selectable; }
    void SetSelectable(bool Value) { a_.selectable = Value; }
    int SelectOrder() const { return a_.selectOrder; }
    void SetSelectOrder(int Value) { a_.selectOrder = Value; }
    bool Searchable() const { return a_.searchable; }
    void SetSearchable(bool Value) { a_.searchable = Value; }
    bool Search() const { return a_.search; }
    void SetSearch(bool Value) { a_.search = Value; }
    const std::string& SearchExpression() const { return a_.searchExpression; }
    virtual void SetSearchExpression(const std::string& Value) { a_.searchExpression = Value; }
    int SearchOrder() const { return a_.searchOrder; }
    void SetSearchOrder(int Value) { a_.searchOrder = Value; }
    bool ShowAllValues() const { return a_.showAllValues; }
    void SetShowAllValues(bool Value);
    bool Sortable() const { return a_.sortable; }
    void SetSortable(bool Value) { a_.sortable = Value; }
    bool Sort() const { return a_.sort; }
    void SetSort(bool Value) { a_.sort = Value; }
    int SortOrder() const { return a_.sortOrder; }
    void SetSortOrder(int Value) { a_.sortOrder = Value; }
    TrpSortOrderType SortType() const { return a_.sortType; }
    void SetSortType(TrpSortOrderType Value) { a_.sortType = Value; }
    const std::string& SortExpression() const { return a_.sortExpression; }
    void SetSortExpression(const std::string& Value) { a_.sortExpression = Value; }
    const std::string& TableAlias() const { return a_.tableAlias; }
    void SetTableAlias(const std::string& Value) { a_.tableAlias = Value; }
    const std::string& TableName() const { return a_.tableName; }
    void SetTableName(const std::string& Value) { a_.tableName = Value; }

    // The pipeline the field belongs to (its parent), when it is one.
    TrpDataPipeline* DataPipeline() const;
    double AsDouble();
    // The data's blob field a picture is read from; none without a
    // database pipeline or for a field that is not a blob.
    TBlobField* AsPicture();
    std::string AsString();
    bool IsNull();
    Variant Value();

    // Every attribute above.
    bool IsEqual(const TrpField& Other) const;
    void Assign(TPersistent* Source) override;
    void DefineProperties(TFiler* Filer) override;

private:
    // Every attribute a field has, compared and copied as a whole.
    struct Attributes {
        TAlignment alignment = taLeftJustify;
        std::string fieldAlias, fieldName;
        int fieldLength = 0;
        bool isDetail = false;
        bool linkable = true;
        int groupOrder = -1;
        TrpDataType dataType = dtString;
        std::string displayFormat;
        int displayWidth = 0;
        bool mandatory = false;
        int position = -1;
        bool selectable = true;
        int selectOrder = -1;
        bool searchable = true;
        bool search = false;
        std::string searchExpression;
        int searchOrder = -1;
        bool showAllValues = false;
        bool sortable = true;
        bool sort = false;
        int sortOrder = -1;
        TrpSortOrderType sortType = soAscending;
        std::string sortExpression, tableAlias, tableName;
        bool operator==(const Attributes&) const = default;
    };
    Attributes a_;
};

class TrpMasterFieldLink : public TrpRelative {
public:
    explicit TrpMasterFieldLink(TComponent* AOwner);
    ~TrpMasterFieldLink() override;
    FAT_CLASS(TrpMasterFieldLink)

    const std::string& MasterFieldName() const { return masterFieldName_; }
    void SetMasterFieldName(const std::string& Value) { masterFieldName_ = Value; }
    const std::string& DetailFieldName() const { return detailFieldName_; }
    void SetDetailFieldName(const std::string& Value) { detailFieldName_ = Value; }
    TrpSortOrderType DetailSortOrder() const { return detailSortOrder_; }
    void SetDetailSortOrder(TrpSortOrderType Value) { detailSortOrder_ = Value; }
    bool IsCaseSensitive() const { return caseSensitive_; }
    void SetIsCaseSensitive(bool Value) { caseSensitive_ = Value; }
    TrpCollationType CollationType() const { return collationType_; }
    void SetCollationType(TrpCollationType Value) { collationType_ = Value; }
    TrpGuidCollationType GuidCollationType() const { return guidCollationType_; }
    void SetGuidCollationType(TrpGuidCollationType Value) { guidCollationType_ = Value; }

    void SetParent(TrpRelative* NewParent) override;

private:
    std::string masterFieldName_, detailFieldName_;
    TrpSortOrderType detailSortOrder_ = soAscending;
    bool caseSensitive_ = false;
    TrpCollationType collationType_ = ctANSI;
    TrpGuidCollationType guidCollationType_ = gcMSSQLServer;
};

// One link's comparison of a detail value with a master value: <0 when the
// detail comes before the master in the link's order, 0 equal, >0 after.
// DetailType is the detail field's type (GUID collations apply to dtGUID).
int rpCompareLinkValues(const Variant& Detail, const Variant& Master, const TrpMasterFieldLink& Link,
                        TrpDataType DetailType);
// "{00112233-4455-6677-8899-AABBCCDDEEFF}" (braces optional) in the
// in-memory layout of a GUID; all zero when the text is no GUID.
TrpGuidBytes rpTextToGuid(const std::string& Text);

class TrpCustomDataPipeline : public TrpDataPipeline {
public:
    explicit TrpCustomDataPipeline(TComponent* AOwner);
    ~TrpCustomDataPipeline() override;
    FAT_CLASS(TrpCustomDataPipeline)

    // --- Fields
    int FieldCount();
    TrpField* Fields(int Index);
    TrpField* CurrentField() const { return currentField_; }
    void SetCurrentField(TrpField* Value) { currentField_ = Value; }
    // The field with that alias (compared case-insensitively); nullptr when none.
    TrpField* FieldObjects(const std::string& FieldAlias);
    // The value of the field with that alias; an empty or null value
    // becomes its type's default (False, 0, an empty text).
    Variant FieldValues(const std::string& FieldAlias);
    // Refused with EInvalidPropertyError for a type the pipeline does not support.
    TrpField* CreateField(const std::string& FieldName, TrpDataType DataType, int Length);
    // Position of a field name among the data's field names; -1 when absent.
    int IndexOfFieldName(const std::string& FieldName);
    bool AutoCreateFields() const { return autoCreateFields_; }
    void SetAutoCreateFields(bool Value);
    // The data definition changed: the fields are built again on next use.
    void FieldListChanged();
    void FreeFields();

    // --- Links
    int LinkCount() const { return static_cast<int>(links_.size()); }
    TrpMasterFieldLink* Links(int Index) const;
    TrpMasterFieldLink* AddLink(TrpDataPipeline* MasterPipeline, const std::string& MasterFieldAlias,
                                const std::string& DetailFieldAlias);
    void FreeLinks() override;
    bool IsLinked() const override { return MasterDataPipeline() != nullptr && !links_.empty(); }

    std::string GetFieldDisplayName(const std::string& FieldName) const override;
    std::string GetFieldName(const std::string& FieldAlias) const override;
    bool FieldExists(const std::string& FieldName) const override;

    void AddChild(TrpRelative* Child) override;
    void RemoveChild(TrpRelative* Child) override;
    void Notify(TrpCommunicator* Communicator, int Operation) override;
    void Loaded() override;
    // Streamed inside the pipeline: its fields, then its links.
    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;
    bool DesignOnly() const { return designOnly_; }
    void SetDesignOnly(bool Value) { designOnly_ = Value; }

protected:
    int CompareWithMaster() override;
    // Builds the fields when they are due.
    void CheckFields();
    // Field size and display width of the data's field (0 here).
    virtual int GetDataFieldSize(const std::string& /*FieldName*/) { return 0; }
    virtual int GetDataFieldDisplayWidth(const std::string& /*FieldName*/) { return 0; }

private:
    void BuildFields();
    TrpField* MakeField(const std::string& FieldName, TrpDataType DataType);
    TrpField* FindFieldByName(const std::string& FieldName) const;
    [[noreturn]] void UnsupportedType() const;

    bool autoCreateFields_ = true;
    bool fieldListChanged_ = false;
    bool designOnly_ = false;
    bool freeingLinks_ = false;
    TrpField* currentField_ = nullptr;
    std::vector<TrpField*> fields_;
    std::vector<TrpMasterFieldLink*> links_;
    // Detail types per link, read once per comparison.
    std::vector<TrpDataType> linkTypes_;
};

namespace report {
// Part of RegisterDataPipelineClasses (rpDBPipeline.h).
void RegisterPipelineClasses();
void UnregisterPipelineClasses();
}  // namespace report
