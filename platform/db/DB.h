#pragma once
// The dataset model: TDataSet with the buffered cursor protocol, the fields,
// field and index definitions, data sources and data links.
//
// How a descendant works with TDataSet
// ------------------------------------
// The dataset keeps a ring of record buffers (BufferCount of them plus one
// spare) that the descendant allocates (AllocRecordBuffer), frees
// (FreeRecordBuffer) and fills (GetRecord). The dataset never looks inside a
// buffer: every field value goes through GetFieldData/SetFieldData, every
// position through the bookmark operations, every change through the
// Internal... operations. A descendant keeps its own cursor; the dataset moves
// it with InternalFirst/InternalLast/InternalSetToRecord/InternalGotoBookmark
// and GetRecord(gmNext/gmPrior/gmCurrent) and expects:
//
//   GetRecord(Buffer, gmNext)    moves the cursor to the next record and copies
//                                it into Buffer; grEOF when there is none (the
//                                cursor then stays after the last record).
//   GetRecord(Buffer, gmPrior)   the same backwards; grBOF at the start.
//   GetRecord(Buffer, gmCurrent) copies the record under the cursor; grEOF/grBOF
//                                when the cursor is past an end, grError when
//                                DoCheck is false and the record is gone.
//   Each successful GetRecord stamps the buffer with the record's bookmark and
//   the flag bfCurrent, and computes calculated fields (GetCalcFields).
//   InternalFirst / InternalLast put the cursor before the first / after the
//   last record (a crack, not on a record).
//   InternalSetToRecord(Buffer) puts the cursor on the buffer's record.
//   InternalInitRecord(Buffer)  makes Buffer an empty record (all fields null).
//   InternalPost                in dsEdit writes the active buffer over the
//                               cursor's record; in dsInsert adds it: at the end
//                               when its flag is bfEOF (Append), else before the
//                               cursor's record (Insert). Call the inherited one
//                               first: it checks the required fields.
//   InternalDelete              removes the cursor's record.
//   InternalOpen / InternalClose open and close the cursor; InternalOpen calls
//                               InternalInitFieldDefs, CreateFields when
//                               DefaultFields(), BindFields(true) and sets
//                               BookmarkSize.
//
// Native field buffers (GetFieldData / SetFieldData; DataSize() of a field):
//
//   ftString, ftFixedChar,      UTF-8 bytes and a terminating zero; Size counts
//   ftWideString                characters, so the buffer takes Size * 4 + 1 bytes
//   ftGuid                      38 characters "{...}" and a zero: 39 bytes
//   ftSmallint                  int16_t
//   ftWord                      uint16_t
//   ftBoolean                   int16_t, 0 false, any other value true (written 1)
//   ftInteger, ftAutoInc        int32_t
//   ftLargeint                  int64_t
//   ftFloat, ftCurrency         double
//   ftBCD, ftFMTBcd             Currency (int64_t ten-thousandths)
//   ftDate, ftTime, ftDateTime, double TDateTime (days since 1899-12-30; a date
//   ftTimeStamp                 field keeps whole days, a time field the fraction)
//   ftBytes                     Size bytes
//   ftVarBytes                  uint16_t length, then Size bytes
//   blob kinds                  no buffer: read and written through
//                               CreateBlobStream (TBlobField)
//
// GetFieldData returns false for a null value (Buffer untouched) and true
// otherwise; a null Buffer asks only whether a value is present.
// SetFieldData with a null Buffer makes the field null. A descendant's
// SetFieldData checks that it may write (CheckFieldWrite), lets a data or
// calculated field validate the new value (Field->Validate(Buffer)), stores it
// and then calls NotifyFieldChange(Field).
//
// Which buffer a field reads: GetFieldData/SetFieldData work on
// CurrentRecordBuffer() (the active buffer while browsing or editing, the
// calculation buffer in dsCalcFields, the filter buffer in dsFilter). The
// base Locate and Lookup walk the records with GetRecord into a spare buffer
// and point ActiveBuffer()/CurrentRecordBuffer() at it meanwhile, so a
// descendant that reads through those two needs nothing more for searching.
//
// Filtering: a descendant's GetRecord skips the records it does not accept;
// RecordFilterAccepts(Buffer) runs OnFilterRecord when Filtered, and
// FilterRecordWith(Buffer, Test) runs any test of its own (master keys, a
// filter expression) with the fields reading Buffer.
//
// Calculated and lookup fields (FieldNo() <= 0) live in CalcFieldsSize()
// bytes that a descendant reserves in each record buffer right after
// GetRecordSize() bytes (override ClearCalcFields when they lie elsewhere):
// Field->Offset() is the field's place there (one null-flag byte, then
// DataSize() bytes). ReadCalcField/WriteCalcField do that bookkeeping.
// Closing unbinds the fields and frees default fields after InternalClose.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Collection.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/Currency.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/Object.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/TypInfo.h"
#include "platform/rtl/Variant.h"

class TDataSet;
class TDataSource;
class TDataLink;
class TField;
class TFields;
class TFieldDef;
class TFieldDefs;
class TIndexDefs;
class TBlobField;

// ---------------------------------------------------------------------------
// Errors

FAT_DECLARE_EXCEPTION(EDatabaseError, Exception)

// Raises EDatabaseError; with a component the message is prefixed with its
// name and ": " as the class library does.
[[noreturn]] void DatabaseError(const std::string& Message, TComponent* Component = nullptr);

// The class library's own messages.
namespace dbconsts {
inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* SNotEditMode = "Dataset is not in edit mode.";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* SFieldNotFound = "Field '%s' not found";
inline constexpr const char* SFieldRequired = "Field '%s' must have a value";
inline constexpr const char* SFieldReadOnly = "Field %s is read only";
inline constexpr const char* SRecordNotFound = "Record not found";
inline constexpr const char* SBookmarkInvalid = "Bookmark is not valid for this dataset";
inline constexpr const char* SFieldTypeMismatch = "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const char* SFieldAccessError = "Cannot access field '%s' as type %s";
// What the user typed (or a value read) that the field cannot take: said in
// the user's language, naming the field by its caption (DisplayName), since
// the clerk who reads it knows the form, not the column.
inline constexpr const char* SInvalidIntegerValue = "O valor '%s' não é um número inteiro válido para %s.";
inline constexpr const char* SInvalidFloatValue = "O valor '%s' não é um número válido para %s.";
inline constexpr const char* SInvalidBoolValue = "O valor '%s' não é um valor lógico válido para %s.";
inline constexpr const char* SInvalidDateTimeValue = "O valor '%s' não é uma data e hora válida para %s.";
// Typed by the user into a date, time or date-time field.
inline constexpr const char* SInvalidDateText = "'%s' não é uma data válida para o campo '%s'.";
inline constexpr const char* SInvalidTimeText = "'%s' não é uma hora válida para o campo '%s'.";
inline constexpr const char* SInvalidDateTimeText = "'%s' não é uma data e hora válida para o campo '%s'.";
inline constexpr const char* SFieldRangeError = "O valor %s não é válido para %s: o permitido vai de %s a %s.";
inline constexpr const char* SCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char* SDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* SFieldIndexError = "Field index out of range";
inline constexpr const char* SLookupInfoError = "Lookup information for field '%s' is incomplete";
inline constexpr const char* SDataSetMissing = "Field '%s' has no dataset";
inline constexpr const char* SNotBlobField = "Field '%s' is not a blob field";
inline constexpr const char* SFieldDefNotFound = "Field definition '%s' not found";
inline constexpr const char* SIndexNotFound = "Index '%s' not found";
inline constexpr const char* SKeyValuesCount = "More fields than values";
inline constexpr const char* SBlobNotSupported = "Dataset does not support blob streams";
}  // namespace dbconsts

// ---------------------------------------------------------------------------
// Enumerations, in the class library's order (ordinals appear in messages).

enum TFieldType {
    ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency,
    ftBCD, ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo,
    ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar,
    ftWideString, ftLargeint, ftADT, ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob,
    ftVariant, ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd, ftFixedWideChar,
    ftWideMemo
};

// "String", "Integer"... as the class library names the kinds in messages.
const char* FieldTypeName(TFieldType Type);
bool IsBlobType(TFieldType Type);

enum TDataSetState {
    dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter, dsNewValue,
    dsOldValue, dsCurValue, dsBlockRead, dsInternalCalc, dsOpening
};
const char* DataSetStateName(TDataSetState State);  // "dsBrowse"...

enum TDataEvent {
    deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll, deLayoutChange,
    deUpdateRecord, deUpdateState, deCheckBrowseMode, dePropertyChange, deFieldListChange,
    deFocusControl, deParentScroll, deConnectChange, deReconcileError, deDisabledStateChange
};

enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF, grError };
enum TBookmarkFlag { bfCurrent, bfBOF, bfEOF, bfInserted };
enum TResyncModeItem { rmExact, rmCenter };
using TResyncMode = TSet<TResyncModeItem>;
enum TDataAction { daFail, daAbort, daRetry };
enum TUpdateStatus { usUnmodified, usModified, usInserted, usDeleted };
enum TLocateOption { loCaseInsensitive, loPartialKey };
using TLocateOptions = TSet<TLocateOption>;
enum TFilterOption { foCaseInsensitive, foNoPartialCompare };
using TFilterOptions = TSet<TFilterOption>;
enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };
enum TBlobStreamMode { bmRead, bmWrite, bmReadWrite };
enum TIndexOption { ixPrimary, ixUnique, ixDescending, ixCaseInsensitive, ixExpression, ixNonMaintained };
using TIndexOptions = TSet<TIndexOption>;
enum TFieldAttribute { faHiddenCol, faReadonly, faRequired, faLink, faUnNamed, faFixed };
using TFieldAttributes = TSet<TFieldAttribute>;
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
// Its runtime type, for published properties and the report scripting layer.
const TTypeInfo* TypeInfoAlignment();
// A control's place in its parent (TAlign: alNone ... alClient).
const TTypeInfo* TypeInfoAlign();

// A record buffer belongs to the descendant that allocated it.
using TRecordBuffer = uint8_t*;
// A bookmark is a copy of the descendant's bookmark data (BookmarkSize bytes);
// an empty one stands for "no bookmark".
using TBookmark = TBytes;

using TDataSetNotifyEvent = std::function<void(TDataSet* DataSet)>;
using TDataSetErrorEvent = std::function<void(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action)>;
using TFilterRecordEvent = std::function<void(TDataSet* DataSet, bool& Accept)>;
using TFieldNotifyEvent = std::function<void(TField* Sender)>;
using TFieldGetTextEvent = std::function<void(TField* Sender, std::string& Text, bool DisplayText)>;
using TFieldSetTextEvent = std::function<void(TField* Sender, const std::string& Text)>;
using TDataChangeEvent = std::function<void(TObject* Sender, TField* Field)>;

// ---------------------------------------------------------------------------
// Field and index definitions

class TFieldDef : public TPersistent {
public:
    FAT_CLASS(TFieldDef)
    TFieldDef(TFieldDefs* Owner, const std::string& Name, TFieldType DataType, int Size,
              bool Required, int FieldNo);

    const std::string& Name() const { return name_; }
    void SetName(const std::string& Value) { name_ = Value; }
    TFieldType DataType() const { return dataType_; }
    void SetDataType(TFieldType Value) { dataType_ = Value; }
    int Size() const { return size_; }
    void SetSize(int Value) { size_ = Value; }
    int Precision() const { return precision_; }
    void SetPrecision(int Value) { precision_ = Value; }
    bool Required() const { return attributes_.Contains(faRequired); }
    void SetRequired(bool Value);
    TFieldAttributes Attributes() const { return attributes_; }
    void SetAttributes(TFieldAttributes Value) { attributes_ = Value; }
    bool InternalCalcField() const { return internalCalc_; }
    void SetInternalCalcField(bool Value) { internalCalc_ = Value; }
    // 1-based position of the field in the record.
    int FieldNo() const { return fieldNo_; }
    void SetFieldNo(int Value) { fieldNo_ = Value; }
    std::string DisplayName() const { return name_; }
    TFieldDefs* Collection() const { return owner_; }

    // The field class for the data type; raises EDatabaseError for kinds
    // without one.
    TField* CreateField(TComponent* Owner);
    void Assign(TPersistent* Source) override;

private:
    TFieldDefs* owner_;
    std::string name_;
    TFieldType dataType_;
    int size_;
    int precision_ = 0;
    TFieldAttributes attributes_;
    bool internalCalc_ = false;
    int fieldNo_;
};

// Streams as a collection of its definitions (a table's "FieldDefs").
class TFieldDefs : public TPersistent, public TStreamedItemList {
public:
    FAT_CLASS(TFieldDefs)
    explicit TFieldDefs(TDataSet* DataSet);
    ~TFieldDefs() override;

    TFieldDef* AddFieldDef();
    TFieldDef* Add(const std::string& Name, TFieldType DataType, int Size = 0, bool Required = false);
    int Count() const { return static_cast<int>(items_.size()); }
    TFieldDef* Items(int Index) const;
    TFieldDef* operator[](int Index) const { return Items(Index); }
    // -1 / nullptr when absent; names compare case-insensitively.
    int IndexOf(const std::string& Name) const;
    TFieldDef* Find(const std::string& Name) const;  // raises SFieldDefNotFound
    void Clear();
    void Delete(int Index);
    // Asks the dataset to describe its fields (InitFieldDefs) when not yet done.
    void Update();
    bool Updated() const { return updated_; }
    void SetUpdated(bool Value) { updated_ = Value; }
    TDataSet* DataSet() const { return dataSet_; }
    void Assign(TPersistent* Source) override;

    int StreamCount() const override { return Count(); }
    TPersistent* StreamItem(int Index) const override { return Items(Index); }
    void StreamClear() override { Clear(); }
    TPersistent* StreamAdd() override { return AddFieldDef(); }

private:
    TDataSet* dataSet_;
    std::vector<std::unique_ptr<TFieldDef>> items_;
    bool updated_ = false;
};

class TIndexDefs;

class TIndexDef : public TPersistent {
public:
    FAT_CLASS(TIndexDef)
    TIndexDef(TIndexDefs* Owner, const std::string& Name, const std::string& Fields, TIndexOptions Options);

    const std::string& Name() const { return name_; }
    void SetName(const std::string& Value) { name_ = Value; }
    // Field names separated by ";".
    const std::string& Fields() const { return fields_; }
    void SetFields(const std::string& Value) { fields_ = Value; }
    TIndexOptions Options() const { return options_; }
    void SetOptions(TIndexOptions Value) { options_ = Value; }
    const std::string& CaseInsFields() const { return caseInsFields_; }
    void SetCaseInsFields(const std::string& Value) { caseInsFields_ = Value; }
    const std::string& DescFields() const { return descFields_; }
    void SetDescFields(const std::string& Value) { descFields_ = Value; }
    const std::string& Expression() const { return expression_; }
    void SetExpression(const std::string& Value) { expression_ = Value; }
    const std::string& Source() const { return source_; }
    void SetSource(const std::string& Value) { source_ = Value; }
    TIndexDefs* Collection() const { return owner_; }
    void Assign(TPersistent* Source) override;

private:
    TIndexDefs* owner_;
    std::string name_, fields_, caseInsFields_, descFields_, expression_, source_;
    TIndexOptions options_;
};

// Streams as a collection of its definitions (a table's "IndexDefs").
class TIndexDefs : public TPersistent, public TStreamedItemList {
public:
    FAT_CLASS(TIndexDefs)
    explicit TIndexDefs(TDataSet* DataSet);
    ~TIndexDefs() override;

    TIndexDef* AddIndexDef();
    TIndexDef* Add(const std::string& Name, const std::string& Fields, TIndexOptions Options);
    int Count() const { return static_cast<int>(items_.size()); }
    TIndexDef* Items(int Index) const;
    TIndexDef* operator[](int Index) const { return Items(Index); }
    int IndexOf(const std::string& Name) const;
    TIndexDef* Find(const std::string& Name) const;  // raises SIndexNotFound
    // The first index whose fields begin with (Partial) or equal Fields, by
    // field names compared case-insensitively; nullptr when none.
    TIndexDef* GetIndexForFields(const std::string& Fields, bool CaseInsensitive) const;
    void Clear();
    void Delete(int Index);
    void Update();
    bool Updated() const { return updated_; }
    void SetUpdated(bool Value) { updated_ = Value; }
    TDataSet* DataSet() const { return dataSet_; }
    void Assign(TPersistent* Source) override;

    int StreamCount() const override { return Count(); }
    TPersistent* StreamItem(int Index) const override { return Items(Index); }
    void StreamClear() override { Clear(); }
    TPersistent* StreamAdd() override { return AddIndexDef(); }

private:
    TDataSet* dataSet_;
    std::vector<std::unique_ptr<TIndexDef>> items_;
    bool updated_ = false;
};

// ---------------------------------------------------------------------------
// Fields

class TField : public TComponent {
public:
    FAT_CLASS(TField)
    explicit TField(TComponent* AOwner);
    ~TField() override;

    // In a component stream a persistent field is written inside its dataset.
    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* Value) override;

    // --- identity and layout
    TDataSet* DataSet() const { return dataSet_; }
    // Adds the field to the dataset's Fields (which then frees it when the
    // dataset goes); the dataset must be closed.
    virtual void SetDataSet(TDataSet* Value);
    const std::string& FieldName() const { return fieldName_; }
    void SetFieldName(const std::string& Value);
    TFieldType DataType() const { return dataType_; }
    TFieldKind FieldKind() const { return fieldKind_; }
    void SetFieldKind(TFieldKind Value);
    bool Calculated() const { return fieldKind_ == fkCalculated; }
    void SetCalculated(bool Value) { SetFieldKind(Value ? fkCalculated : fkData); }
    bool Lookup() const { return fieldKind_ == fkLookup; }
    void SetLookup(bool Value) { SetFieldKind(Value ? fkLookup : fkData); }
    // 1-based position in the record for data fields; -1 for calculated and
    // lookup fields.
    int FieldNo() const { return fieldNo_; }
    // Position among the dataset's fields.
    int Index() const;
    void SetIndex(int Value);
    // Characters for text kinds, bytes for byte kinds, 0 for the others.
    int Size() const { return size_; }
    void SetSize(int Value);
    // Bytes of the native buffer (see the table at the top of this header).
    virtual int DataSize() const { return 0; }
    // Place in the calculated-field area of a record buffer.
    int Offset() const { return offset_; }
    virtual bool IsBlob() const { return false; }
    bool IsIndexField() const;

    // --- presentation
    std::string DisplayLabel() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
    void SetDisplayLabel(const std::string& Value);
    std::string DisplayName() const { return DisplayLabel(); }
    int DisplayWidth() const;
    void SetDisplayWidth(int Value);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment Value);
    const std::string& EditMask() const { return editMask_; }
    // Bound controls show the text in the mask's layout, so they must hear of a change.
    void SetEditMask(const std::string& Value) {
        if (editMask_ == Value) return;
        editMask_ = Value;
        PropertyChanged(false);
    }
    bool Visible() const { return visible_; }
    void SetVisible(bool Value);
    bool Required() const { return required_; }
    void SetRequired(bool Value) { required_ = Value; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool Value);
    const std::string& DefaultExpression() const { return defaultExpression_; }
    void SetDefaultExpression(const std::string& Value) { defaultExpression_ = Value; }
    const std::string& Origin() const { return origin_; }
    void SetOrigin(const std::string& Value) { origin_ = Value; }
    // False for read-only fields and datasets, calculated fields outside
    // dsCalcFields and closed datasets.
    bool CanModify() const;

    // --- lookup fields
    TDataSet* LookupDataSet() const { return lookupDataSet_; }
    void SetLookupDataSet(TDataSet* Value);
    const std::string& KeyFields() const { return keyFields_; }
    void SetKeyFields(const std::string& Value) { keyFields_ = Value; }
    const std::string& LookupKeyFields() const { return lookupKeyFields_; }
    void SetLookupKeyFields(const std::string& Value) { lookupKeyFields_ = Value; }
    const std::string& LookupResultField() const { return lookupResultField_; }
    void SetLookupResultField(const std::string& Value) { lookupResultField_ = Value; }

    // --- values
    bool IsNull() const;
    virtual void Clear() { SetData(nullptr); }
    std::string AsString() const { return GetAsString(); }
    void SetAsString(const std::string& Value) { SetAsStringValue(Value); }
    int AsInteger() const { return GetAsInteger(); }
    void SetAsInteger(int Value) { SetAsIntegerValue(Value); }
    int64_t AsLargeInt() const { return GetAsLargeInt(); }
    void SetAsLargeInt(int64_t Value) { SetAsLargeIntValue(Value); }
    double AsFloat() const { return GetAsFloat(); }
    void SetAsFloat(double Value) { SetAsFloatValue(Value); }
    Currency AsCurrency() const { return GetAsCurrency(); }
    void SetAsCurrency(Currency Value) { SetAsCurrencyValue(Value); }
    bool AsBoolean() const { return GetAsBoolean(); }
    void SetAsBoolean(bool Value) { SetAsBooleanValue(Value); }
    TDateTime AsDateTime() const { return GetAsDateTime(); }
    void SetAsDateTime(TDateTime Value) { SetAsDateTimeValue(Value); }
    Variant AsVariant() const { return GetAsVariant(); }
    void SetAsVariant(const Variant& Value) { SetVarValue(Value); }
    // The value before the pending edit and the value being written, where
    // the dataset keeps them (states dsOldValue and dsNewValue); Null where
    // it does not.
    Variant OldValue() const;
    Variant NewValue() const;
    void SetNewValue(const Variant& Value);
    // Null when the field is null.
    Variant Value() const { return GetAsVariant(); }
    void SetValue(const Variant& Value) { SetVarValue(Value); }
    // The value as shown (DisplayFormat) and as edited (EditFormat), through
    // OnGetText when set.
    std::string DisplayText() const;
    std::string Text() const;
    // Through OnSetText when set, else AsString.
    void SetText(const std::string& Value);

    // --- the native buffer
    bool GetData(void* Buffer) const;
    void SetData(const void* Buffer);
    // Called by the dataset before it stores a new value: OnValidate may read
    // the new value through the field and may raise to refuse it.
    void Validate(const void* Buffer);
    void FocusControl();

    // --- events
    TFieldNotifyEvent OnChange;
    TFieldNotifyEvent OnValidate;
    TFieldGetTextEvent OnGetText;
    TFieldSetTextEvent OnSetText;

    // Called by the dataset after a value changed.
    void Change();
    void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
    friend class TDataSet;
    friend class TFields;
    friend class TFieldDef;
    void SetDataType(TFieldType Value) { dataType_ = Value; }
    void SetFieldNo(int Value) { fieldNo_ = Value; }
    void SetOffset(int Value) { offset_ = Value; }
    virtual void Bind(bool Binding);
    virtual int DefaultDisplayWidth() const { return 10; }
    [[noreturn]] void AccessError(const char* TypeName) const;
    void CheckInactive() const;
    void PropertyChanged(bool LayoutAffected);
    // Reads the native value into Buffer; false when null.
    bool ReadData(void* Buffer) const { return GetData(Buffer); }

    // Kinds override the conversions they support; the others raise
    // "Cannot access field '%s' as type %s".
    virtual std::string GetAsString() const;
    virtual void SetAsStringValue(const std::string& Value);
    virtual int GetAsInteger() const;
    virtual void SetAsIntegerValue(int Value);
    virtual int64_t GetAsLargeInt() const;
    virtual void SetAsLargeIntValue(int64_t Value);
    virtual double GetAsFloat() const;
    virtual void SetAsFloatValue(double Value);
    virtual Currency GetAsCurrency() const;
    virtual void SetAsCurrencyValue(Currency Value);
    virtual bool GetAsBoolean() const;
    virtual void SetAsBooleanValue(bool Value);
    virtual TDateTime GetAsDateTime() const;
    virtual void SetAsDateTimeValue(TDateTime Value);
    virtual Variant GetAsVariant() const;
    virtual void SetVarValue(const Variant& Value);
    // The text for display or editing without OnGetText.
    virtual std::string GetText(bool DisplayText) const { (void)DisplayText; return GetAsString(); }

    TDataSet* dataSet_ = nullptr;
    std::string fieldName_;
    TFieldType dataType_ = ftUnknown;
    TFieldKind fieldKind_ = fkData;
    int fieldNo_ = 0;
    int size_ = 0;
    int offset_ = 0;
    std::string displayLabel_;
    int displayWidth_ = 0;
    TAlignment alignment_ = taLeftJustify;
    std::string editMask_;
    bool visible_ = true;
    bool required_ = false;
    bool readOnly_ = false;
    std::string defaultExpression_;
    std::string origin_;
    TDataSet* lookupDataSet_ = nullptr;
    std::string keyFields_, lookupKeyFields_, lookupResultField_;
    const void* validating_ = nullptr;  // the new value while OnValidate runs
    bool isValidating_ = false;
};

class TStringField : public TField {
public:
    FAT_CLASS(TStringField)
    explicit TStringField(TComponent* AOwner);
    int DataSize() const override { return size_ * 4 + 1; }
    // Text kept as typed, trailing blanks included (as the class library's
    // string fields without FixedChar).
    bool FixedChar() const { return fixedChar_; }
    void SetFixedChar(bool Value) { fixedChar_ = Value; }
    // The value; false when null.
    bool GetValue(std::string& Value) const;

protected:
    int DefaultDisplayWidth() const override { return size_; }
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& Value) override;
    int GetAsInteger() const override;
    void SetAsIntegerValue(int Value) override;
    int64_t GetAsLargeInt() const override;
    void SetAsLargeIntValue(int64_t Value) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double Value) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanValue(bool Value) override;
    TDateTime GetAsDateTime() const override;
    void SetAsDateTimeValue(TDateTime Value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& Value) override;
    bool fixedChar_ = false;
};

class TWideStringField : public TStringField {
public:
    FAT_CLASS(TWideStringField)
    explicit TWideStringField(TComponent* AOwner);
};

class TGuidField : public TStringField {
public:
    FAT_CLASS(TGuidField)
    explicit TGuidField(TComponent* AOwner);
    int DataSize() const override { return 39; }
};

class TNumericField : public TField {
public:
    FAT_CLASS(TNumericField)
    explicit TNumericField(TComponent* AOwner);
    // FormatFloat patterns for showing and editing; empty = the kind's default.
    const std::string& DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(const std::string& Value);
    const std::string& EditFormat() const { return editFormat_; }
    void SetEditFormat(const std::string& Value);

protected:
    // The pattern for the text wanted: editing falls back on DisplayFormat.
    const std::string& TextFormat(bool DisplayText) const {
        return (DisplayText || editFormat_.empty()) ? displayFormat_ : editFormat_;
    }
    std::string displayFormat_, editFormat_;
};

class TIntegerField : public TNumericField {
public:
    FAT_CLASS(TIntegerField)
    explicit TIntegerField(TComponent* AOwner);
    int DataSize() const override { return 4; }
    // 0 and 0 mean no range check.
    int MinValue() const { return minValue_; }
    void SetMinValue(int Value) { minValue_ = Value; }
    int MaxValue() const { return maxValue_; }
    void SetMaxValue(int Value) { maxValue_ = Value; }
    bool GetValue(int& Value) const;

protected:
    int DefaultDisplayWidth() const override { return 11; }
    void CheckRange(int64_t Value) const;
    virtual void StoreInteger(int Value);
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& Value) override;
    int GetAsInteger() const override;
    void SetAsIntegerValue(int Value) override;
    int64_t GetAsLargeInt() const override;
    void SetAsLargeIntValue(int64_t Value) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double Value) override;
    Currency GetAsCurrency() const override;
    void SetAsCurrencyValue(Currency Value) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanValue(bool Value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& Value) override;
    std::string GetText(bool DisplayText) const override;
    int minValue_ = 0, maxValue_ = 0;
    int64_t lowLimit_ = INT32_MIN, highLimit_ = INT32_MAX;
};

class TSmallintField : public TIntegerField {
public:
    FAT_CLASS(TSmallintField)
    explicit TSmallintField(TComponent* AOwner);
    int DataSize() const override { return 2; }

protected:
    int DefaultDisplayWidth() const override { return 6; }
    void StoreInteger(int Value) override;
};

class TWordField : public TIntegerField {
public:
    FAT_CLASS(TWordField)
    explicit TWordField(TComponent* AOwner);
    int DataSize() const override { return 2; }

protected:
    int DefaultDisplayWidth() const override { return 5; }
    void StoreInteger(int Value) override;
};

class TAutoIncField : public TIntegerField {
public:
    FAT_CLASS(TAutoIncField)
    explicit TAutoIncField(TComponent* AOwner);
};

class TLargeintField : public TNumericField {
public:
    FAT_CLASS(TLargeintField)
    explicit TLargeintField(TComponent* AOwner);
    int DataSize() const override { return 8; }
    bool GetValue(int64_t& Value) const;

protected:
    int DefaultDisplayWidth() const override { return 15; }
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& Value) override;
    int GetAsInteger() const override;
    void SetAsIntegerValue(int Value) override;
    int64_t GetAsLargeInt() const override;
    void SetAsLargeIntValue(int64_t Value) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double Value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& Value) override;
    std::string GetText(bool DisplayText) const override;
};

class TFloatField : public TNumericField {
public:
    FAT_CLASS(TFloatField)
    explicit TFloatField(TComponent* AOwner);
    int DataSize() const override { return 8; }
    // Shown as money when no DisplayFormat is set.
    bool IsCurrency() const { return currency_; }
    void SetCurrency(bool Value);
    int Precision() const { return precision_; }
    void SetPrecision(int Value);
    double MinValue() const { return minValue_; }
    void SetMinValue(double Value) { minValue_ = Value; }
    double MaxValue() const { return maxValue_; }
    void SetMaxValue(double Value) { maxValue_ = Value; }
    bool GetValue(double& Value) const;

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& Value) override;
    int GetAsInteger() const override;
    void SetAsIntegerValue(int Value) override;
    int64_t GetAsLargeInt() const override;
    void SetAsLargeIntValue(int64_t Value) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double Value) override;
    Currency GetAsCurrency() const override;
    void SetAsCurrencyValue(Currency Value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& Value) override;
    std::string GetText(bool DisplayText) const override;
    bool currency_ = false;
    int precision_ = 15;
    double minValue_ = 0, maxValue_ = 0;
};

class TCurrencyField : public TFloatField {
public:
    FAT_CLASS(TCurrencyField)
    explicit TCurrencyField(TComponent* AOwner);
};

// Fixed-point decimal kept as Currency (four decimals).
class TBCDField : public TNumericField {
public:
    FAT_CLASS(TBCDField)
    explicit TBCDField(TComponent* AOwner);
    int DataSize() const override { return 8; }
    bool IsCurrency() const { return currency_; }
    void SetCurrency(bool Value) { currency_ = Value; }
    int Precision() const { return precision_; }
    void SetPrecision(int Value) { precision_ = Value; }
    bool GetValue(Currency& Value) const;

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& Value) override;
    int GetAsInteger() const override;
    void SetAsIntegerValue(int Value) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double Value) override;
    Currency GetAsCurrency() const override;
    void SetAsCurrencyValue(Currency Value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& Value) override;
    std::string GetText(bool DisplayText) const override;
    bool currency_ = false;
    int precision_ = 18;
};

class TBooleanField : public TField {
public:
    FAT_CLASS(TBooleanField)
    explicit TBooleanField(TComponent* AOwner);
    int DataSize() const override { return 2; }
    // "True text;False text"; AsString gives and takes these texts.
    const std::string& DisplayValues() const { return displayValues_; }
    void SetDisplayValues(const std::string& Value);
    bool GetValue(bool& Value) const;

protected:
    int DefaultDisplayWidth() const override;
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& Value) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanValue(bool Value) override;
    int GetAsInteger() const override;
    void SetAsIntegerValue(int Value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& Value) override;
    std::string displayValues_;
    std::string trueText_ = "True", falseText_ = "False";
};

class TDateTimeField : public TField {
public:
    FAT_CLASS(TDateTimeField)
    explicit TDateTimeField(TComponent* AOwner);
    int DataSize() const override { return 8; }
    // FormatDateTime pattern for showing; empty = the short date (and time).
    const std::string& DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(const std::string& Value);
    bool GetValue(TDateTime& Value) const;

protected:
    int DefaultDisplayWidth() const override { return 18; }
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& Value) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double Value) override;
    TDateTime GetAsDateTime() const override;
    void SetAsDateTimeValue(TDateTime Value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& Value) override;
    std::string GetText(bool DisplayText) const override;
    // The value as this kind keeps it (whole days, a fraction, or both).
    virtual TDateTime Normalize(TDateTime Value) const { return Value; }
    virtual std::string DefaultFormat() const;
    std::string displayFormat_;
};

class TDateField : public TDateTimeField {
public:
    FAT_CLASS(TDateField)
    explicit TDateField(TComponent* AOwner);

protected:
    int DefaultDisplayWidth() const override { return 10; }
    TDateTime Normalize(TDateTime Value) const override;
    std::string DefaultFormat() const override;
};

class TTimeField : public TDateTimeField {
public:
    FAT_CLASS(TTimeField)
    explicit TTimeField(TComponent* AOwner);

protected:
    int DefaultDisplayWidth() const override { return 10; }
    TDateTime Normalize(TDateTime Value) const override;
    std::string DefaultFormat() const override;
};

// Bytes kept as a string of bytes in the accessors.
class TBytesField : public TField {
public:
    FAT_CLASS(TBytesField)
    explicit TBytesField(TComponent* AOwner);
    int DataSize() const override { return size_; }

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& Value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& Value) override;
};

class TVarBytesField : public TBytesField {
public:
    FAT_CLASS(TVarBytesField)
    explicit TVarBytesField(TComponent* AOwner);
    int DataSize() const override { return size_ + 2; }

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& Value) override;
};

class TBlobField : public TField {
public:
    FAT_CLASS(TBlobField)
    explicit TBlobField(TComponent* AOwner);
    bool IsBlob() const override { return true; }
    TFieldType BlobType() const { return dataType_; }
    void SetBlobType(TFieldType Value);
    int BlobSize() const;
    // Raised value bytes: through the dataset's blob stream.
    void LoadFromStream(TStream* Stream);
    void SaveToStream(TStream* Stream) const;
    void LoadFromFile(const std::string& FileName);
    void SaveToFile(const std::string& FileName) const;
    void Clear() override;
    // Marked by the blob stream when it writes back.
    bool Modified() const { return modified_; }
    void SetModified(bool Value) { modified_ = Value; }

protected:
    std::string ReadBytes() const;
    void WriteBytes(const std::string& Bytes);
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& Value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& Value) override;
    std::string GetText(bool DisplayText) const override;
    bool modified_ = false;
};

class TMemoField : public TBlobField {
public:
    FAT_CLASS(TMemoField)
    explicit TMemoField(TComponent* AOwner);

protected:
    std::string GetText(bool DisplayText) const override;
};

class TWideMemoField : public TMemoField {
public:
    FAT_CLASS(TWideMemoField)
    explicit TWideMemoField(TComponent* AOwner);
};

class TGraphicField : public TBlobField {
public:
    FAT_CLASS(TGraphicField)
    explicit TGraphicField(TComponent* AOwner);
};

// The dataset's list of fields, in record order. It does not own the fields:
// TDataSet frees them (see TField::SetDataSet).
class TFields : public TObject {
public:
    FAT_CLASS_NAME(TFields)
    explicit TFields(TDataSet* DataSet) : dataSet_(DataSet) {}

    int Count() const { return static_cast<int>(list_.size()); }
    TField* Fields(int Index) const;  // raises SFieldIndexError
    TField* operator[](int Index) const { return Fields(Index); }
    TField* FindField(const std::string& FieldName) const;
    TField* FieldByName(const std::string& FieldName) const;
    TField* FieldByNumber(int FieldNo) const;
    int IndexOf(const TField* Field) const;
    void GetFieldNames(TStrings* List) const;
    TDataSet* DataSet() const { return dataSet_; }
    const std::vector<TField*>& List() const { return list_; }

private:
    friend class TField;
    friend class TDataSet;
    void Add(TField* Field);
    void Remove(TField* Field);
    void SetFieldIndex(TField* Field, int Value);
    void Clear() { list_.clear(); }

    TDataSet* dataSet_;
    std::vector<TField*> list_;
};

// ---------------------------------------------------------------------------
// TDataSet

class TDataSet : public TComponent {
public:
    FAT_CLASS(TDataSet)
    explicit TDataSet(TComponent* AOwner);
    // A descendant calls Close() in its own destructor: by the time this one
    // runs, the descendant's buffers and cursor are gone.
    ~TDataSet() override;

    // --- opening
    bool Active() const { return state_ != dsInactive; }
    void SetActive(bool Value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    TDataSetState State() const { return state_; }
    // EDatabaseError "Cannot perform this operation on a closed/open dataset".
    void CheckActive() const;
    void CheckInactive() const;
    void Loaded() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    // The persistent fields that Root owns are streamed as this dataset's children.
    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;

    // --- navigation
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    // Returns the number of records moved (negative backwards).
    int MoveBy(int Distance);
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    bool IsEmpty() const;
    // 1-based position; -1 when unknown.
    int RecNo() const { return GetRecNo(); }
    void SetRecNo(int Value) { SetRecNoValue(Value); }
    int RecordCount() const { return GetRecordCount(); }
    void Refresh();
    void Resync(TResyncMode Mode);
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ != 0; }

    // --- changes
    void Append();
    void Insert();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    // Posts or cancels a pending edit (cancels when nothing was modified).
    void CheckBrowseMode();
    void UpdateRecord();
    bool Modified() const { return modified_; }
    bool CanModify() const { return GetCanModify(); }
    void ClearFields();
    // Append + field values in field order + Post; a null variant skips a field.
    void AppendRecord(const std::vector<Variant>& Values);
    void InsertRecord(const std::vector<Variant>& Values);
    void SetFields(const std::vector<Variant>& Values);

    // --- fields
    TFields* Fields() const { return fields_.get(); }
    int FieldCount() const { return fields_->Count(); }
    TField* FieldByName(const std::string& FieldName) const;
    TField* FindField(const std::string& FieldName) const;
    TField* FieldByNumber(int FieldNo) const;
    TFieldDefs* FieldDefs() const { return fieldDefs_.get(); }
    TIndexDefs* IndexDefs() const { return indexDefs_.get(); }
    // Names separated by ";"; raises SFieldNotFound for a missing one.
    void GetFieldList(std::vector<TField*>& List, const std::string& FieldNames) const;
    void GetFieldNames(TStrings* List) const;
    // One name: its value; several: an array of values.
    Variant FieldValues(const std::string& FieldName) const;
    void SetFieldValues(const std::string& FieldName, const Variant& Value);
    bool DefaultFields() const { return defaultFields_; }
    bool AutoCalcFields() const { return autoCalcFields_; }
    void SetAutoCalcFields(bool Value) { autoCalcFields_ = Value; }
    int CalcFieldsSize() const { return calcFieldsSize_; }

    // --- bookmarks
    TBookmark GetBookmark() const;
    void GotoBookmark(const TBookmark& Bookmark);
    void FreeBookmark(TBookmark& Bookmark) const { Bookmark.clear(); }
    TBookmark Bookmark() const { return GetBookmark(); }
    void SetBookmark(const TBookmark& Value) { GotoBookmark(Value); }
    bool BookmarkAvailable() const;
    // Whether the bookmark still names a record of this dataset. The base
    // accepts any non-empty bookmark of the right size while open.
    virtual bool BookmarkValid(const TBookmark& Bookmark) const;
    // <0, 0, >0 by record order; 0 when the dataset cannot compare.
    virtual int CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) const;

    // --- searching
    // Moves to the first record whose KeyFields (";"-separated) match
    // KeyValues (one value, or an array with one value per field). Returns
    // false and stays put when none does.
    virtual bool Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options);
    // The ResultFields values of the first matching record, without moving;
    // null when none matches.
    virtual Variant Lookup(const std::string& KeyFields, const Variant& KeyValues,
                           const std::string& ResultFields);

    // Moves to the next record (GoForward) or the prior one that the filter
    // accepts, from the first or last one when Restart; the base finds
    // nothing. Found() tells how the last search went.
    virtual bool FindRecord(bool Restart, bool GoForward);
    bool FindFirst() { return FindRecord(true, true); }
    bool FindLast() { return FindRecord(true, false); }
    bool FindNext() { return FindRecord(false, true); }
    bool FindPrior() { return FindRecord(false, false); }
    bool Found() const { return found_; }

    // Records fetched for reading only: while above 0 the dataset is in
    // dsBlockRead and controls are not told about each move.
    int BlockReadSize() const { return blockReadSize_; }
    virtual void SetBlockReadSize(int Value);

    // --- filtering (the descendant decides which records its GetRecord skips)
    bool Filtered() const { return filtered_; }
    void SetFiltered(bool Value) { SetFilteredValue(Value); }
    const std::string& Filter() const { return filterText_; }
    void SetFilter(const std::string& Value) { SetFilterText(Value); }
    TFilterOptions FilterOptions() const { return filterOptions_; }
    void SetFilterOptions(TFilterOptions Value) { SetFilterOptionsValue(Value); }
    const TFilterRecordEvent& OnFilterRecord() const { return onFilterRecord_; }
    void SetOnFilterRecord(const TFilterRecordEvent& Value) { SetOnFilterRecordValue(Value); }

    // --- blobs
    // A stream over the blob field of the active record. The caller owns it;
    // destroying a stream opened for writing stores its bytes into the record.
    virtual std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode);

    // --- master/detail and links
    TDataSource* DataSource() const { return GetDataSource(); }
    bool IsLinkedTo(TDataSource* DataSource) const;
    virtual bool IsSequenced() const { return true; }
    // Whether the field belongs to the current index (for controls that sort).
    virtual bool GetIsIndexField(TField* Field) const { (void)Field; return false; }
    virtual TUpdateStatus UpdateStatus() const { return usUnmodified; }

    // --- buffers as links and controls see them
    int BufferCount() const { return bufferCount_; }
    int ActiveRecordIndex() const { return activeRecord_; }
    int BufferedRecordCount() const { return recordCount_; }
    TRecordBuffer ActiveBuffer() const;

    // --- field data exchange (see the top of this header)
    virtual bool GetFieldData(TField* Field, void* Buffer) const;
    virtual void SetFieldData(TField* Field, const void* Buffer);

    // --- notifications
    virtual void DataEvent(TDataEvent Event, intptr_t Info);
    // Moves on with every event (told to the links or not), state change
    // and cursor move: a field read twice under one stamp reads the same.
    std::uint64_t ChangeStamp() const { return changeStamp_; }

    // Field's value read with the dataset in State for the duration (what
    // OldValue and NewValue ask); a descendant answers for states it keeps.
    virtual Variant GetStateFieldValue(TDataSetState State, TField* Field);
    virtual void SetStateFieldValue(TDataSetState State, TField* Field, const Variant& Value);

    // --- events
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
    TDataSetNotifyEvent OnNewRecord, OnCalcFields;
    TDataSetErrorEvent OnPostError, OnDeleteError, OnEditError;

protected:
    friend class TField;
    friend class TFieldDefs;
    friend class TIndexDefs;
    friend class TDataSource;
    friend class TDataLink;

    // ===== the protocol a descendant implements =====
    virtual TRecordBuffer AllocRecordBuffer() = 0;
    virtual void FreeRecordBuffer(TRecordBuffer& Buffer) = 0;
    virtual TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) = 0;
    virtual int GetRecordSize() const { return 0; }
    virtual void InternalOpen() = 0;
    virtual void InternalClose() = 0;
    virtual bool IsCursorOpen() const = 0;
    virtual void InternalInitFieldDefs() {}
    virtual void InternalFirst() = 0;
    virtual void InternalLast() = 0;
    virtual void InternalAddRecord(const void* Buffer, bool Append);
    virtual void InternalDelete() = 0;
    // Checks the required fields; descendants call it first.
    virtual void InternalPost();
    virtual void InternalCancel() {}
    virtual void InternalEdit() {}
    virtual void InternalInsert() {}
    virtual void InternalInitRecord(TRecordBuffer Buffer) = 0;
    virtual void InternalGotoBookmark(const void* Bookmark) = 0;
    virtual void InternalSetToRecord(TRecordBuffer Buffer) = 0;
    // Re-reads the data; the base does nothing.
    virtual void InternalRefresh() {}
    // Called from inside an exception handler; the base lets the exception
    // go on to the caller.
    virtual void InternalHandleException();
    // Drops whatever a blob stream keeps of Field's value in the active buffer.
    virtual void CloseBlob(TField* Field) { (void)Field; }
    virtual void GetBookmarkData(TRecordBuffer Buffer, void* Data) const = 0;
    virtual void SetBookmarkData(TRecordBuffer Buffer, const void* Data) = 0;
    virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) const = 0;
    virtual void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) = 0;
    virtual int GetRecNo() const { return -1; }
    virtual void SetRecNoValue(int Value) { (void)Value; }
    virtual int GetRecordCount() const { return -1; }
    virtual bool GetCanModify() const { return true; }
    virtual TDataSource* GetDataSource() const { return nullptr; }
    // Zeroes the calculated-field area of a buffer (CalcFieldsSize bytes that
    // start at GetRecordSize()); override when the area lies elsewhere.
    virtual void ClearCalcFields(TRecordBuffer Buffer);
    // Computes lookup and calculated fields of Buffer in state dsCalcFields.
    virtual void CalculateFields(TRecordBuffer Buffer);
    virtual void GetCalcFields(TRecordBuffer Buffer);
    // InternalInitRecord, ClearCalcFields and the flag bfInserted.
    virtual void InitRecord(TRecordBuffer Buffer);

    // Steps of the public operations a descendant may extend.
    virtual void DoBeforeOpen() { if (BeforeOpen) BeforeOpen(this); }
    virtual void DoAfterOpen() { if (AfterOpen) AfterOpen(this); }
    virtual void DoBeforeClose() { if (BeforeClose) BeforeClose(this); }
    virtual void DoAfterClose() { if (AfterClose) AfterClose(this); }
    virtual void DoBeforeInsert() { if (BeforeInsert) BeforeInsert(this); }
    virtual void DoAfterInsert() { if (AfterInsert) AfterInsert(this); }
    virtual void DoBeforeEdit() { if (BeforeEdit) BeforeEdit(this); }
    virtual void DoAfterEdit() { if (AfterEdit) AfterEdit(this); }
    virtual void DoBeforePost() { if (BeforePost) BeforePost(this); }
    virtual void DoAfterPost() { if (AfterPost) AfterPost(this); }
    virtual void DoBeforeCancel() { if (BeforeCancel) BeforeCancel(this); }
    virtual void DoAfterCancel() { if (AfterCancel) AfterCancel(this); }
    virtual void DoBeforeDelete() { if (BeforeDelete) BeforeDelete(this); }
    virtual void DoAfterDelete() { if (AfterDelete) AfterDelete(this); }
    virtual void DoBeforeScroll() { if (BeforeScroll) BeforeScroll(this); }
    virtual void DoAfterScroll() { if (AfterScroll) AfterScroll(this); }
    virtual void DoBeforeRefresh() { if (BeforeRefresh) BeforeRefresh(this); }
    virtual void DoAfterRefresh() { if (AfterRefresh) AfterRefresh(this); }
    // Default expressions, then OnNewRecord.
    virtual void DoOnNewRecord();
    virtual void DoOnCalcFields() { if (OnCalcFields) OnCalcFields(this); }
    // The filter setters store the value; an override applies it (refetches).
    virtual void SetFilteredValue(bool Value);
    virtual void SetFilterText(const std::string& Value);
    virtual void SetFilterOptionsValue(TFilterOptions Value);
    virtual void SetOnFilterRecordValue(const TFilterRecordEvent& Value);
    virtual void CheckCanModify() const;
    // Opening and closing around InternalOpen/InternalClose.
    virtual void OpenCursor(bool InfoQuery);
    virtual void CloseCursor();
    virtual void SetBufListSize(int Value);
    virtual void SetBufferCount(int Value);

    // ===== helpers for descendants =====
    // Describes the fields (InternalInitFieldDefs) when FieldDefs is not up to date.
    void InitFieldDefs();
    // One field per field definition (default fields).
    void CreateFields();
    // Field definitions from the persistent data fields, when there are none.
    void InitFieldDefsFromFields();
    void DestroyFields();
    // Tells every link of every data source, disabled or not, that Field is
    // about to be freed, so that none keeps it past its end: a link can be
    // cut off from the dataset's events (DisableControls, a disabled source)
    // while a close frees the fields it shows.
    void FieldLeaving(TField* Field);
    // Connects data fields to their definitions and lays out the
    // calculated-field area.
    virtual void BindFields(bool Binding);
    int BookmarkSize() const { return bookmarkSize_; }
    void SetBookmarkSize(int Value) { bookmarkSize_ = Value; }
    TRecordBuffer CalcBuffer() const { return calcBuffer_; }
    // The buffer of the record OnFilterRecord is deciding about (dsFilter).
    TRecordBuffer FilterBuffer() const { return filterBuffer_; }
    // The buffer that field reads and writes use in the current state:
    // active buffer in browse/edit/insert (nullptr when empty in browse),
    // calculation buffer in dsCalcFields, filter buffer in dsFilter.
    TRecordBuffer CurrentRecordBuffer() const;
    // Raises SNotEditMode outside the writing states and SFieldReadOnly for
    // read-only fields (outside dsSetKey/dsCalcFields).
    void CheckFieldWrite(TField* Field) const;
    // Sends the field-change event unless the state is dsCalcFields, dsFilter
    // or dsNewValue.
    void NotifyFieldChange(TField* Field);
    // Runs OnFilterRecord for Buffer in state dsFilter; true when no handler
    // or not Filtered.
    bool RecordFilterAccepts(TRecordBuffer Buffer);
    // Runs Test in state dsFilter with Buffer as the filter buffer, so that
    // the fields read that record (a descendant's own record tests: master
    // keys, ranges, filter expressions).
    bool FilterRecordWith(TRecordBuffer Buffer, const std::function<bool()>& Test);
    // The calculated-field area helpers (area = the start of that area).
    static bool ReadCalcField(const uint8_t* Area, const TField* Field, void* Buffer);
    static void WriteCalcField(uint8_t* Area, const TField* Field, const void* Buffer);
    TDataSetState SetTempState(TDataSetState Value);
    void RestoreState(TDataSetState Value);
    void SetState(TDataSetState Value);
    void SetModified(bool Value) { modified_ = Value; }
    void SetFound(bool Value) { found_ = Value; }
    void ClearBuffers();
    void ActivateBuffers();
    void CursorPosChanged() {
        currentRecord_ = -1;
        ++changeStamp_;
    }
    // For a descendant that points the fields at another record meanwhile.
    void TouchRecords() { ++changeStamp_; }
    void UpdateCursorPos();
    void SetCurrentRecord(int Index);
    bool GetNextRecord();
    bool GetPriorRecord();
    int GetNextRecords();
    int GetPriorRecords();
    void UpdateBufferCount();
    TRecordBuffer Buffer(int Index) const { return buffers_[Index]; }
    void SetBof(bool Value) { bof_ = Value; }
    void SetEof(bool Value) { eof_ = Value; }
    void CheckRequiredFields();

private:
    void DoInternalOpen();
    void FreeFieldBuffers() {}
    void BeginInsertAppend();
    void EndInsertAppend();
    void MoveBuffer(int CurIndex, int NewIndex);
    void CheckOperation(const std::function<void()>& Operation, const TDataSetErrorEvent& ErrorEvent);
    void AddDataSource(TDataSource* Source);
    void RemoveDataSource(TDataSource* Source);
    void AddField(TField* Field);
    void RemoveField(TField* Field);
    void CalculateLookupField(TField* Field);
    // Walks every record from the first with the cursor alone (no events,
    // buffers untouched) until Match answers true for the record made
    // current; returns whether one did. The cursor is then on that record.
    bool ScanRecords(const std::function<bool()>& Match);
    bool RecordMatches(const std::vector<TField*>& Fields, const Variant& KeyValues,
                       TLocateOptions Options) const;
    void FreeAllBuffers();

    TDataSetState state_ = dsInactive;
    bool bof_ = true;
    bool eof_ = true;
    bool modified_ = false;
    bool streamedActive_ = false;
    bool defaultFields_ = false;
    bool autoCalcFields_ = true;
    bool internalOpenComplete_ = false;
    bool filtered_ = false;
    bool found_ = false;
    int blockReadSize_ = 0;
    std::string filterText_;
    TFilterOptions filterOptions_;
    TFilterRecordEvent onFilterRecord_;

    std::vector<TRecordBuffer> buffers_;  // bufferCount_ + 1 entries while open
    int bufferCount_ = 0;
    int recordCount_ = 0;
    int activeRecord_ = 0;
    int currentRecord_ = -1;
    int bookmarkSize_ = 0;
    int calcFieldsSize_ = 0;
    TRecordBuffer calcBuffer_ = nullptr;
    TRecordBuffer filterBuffer_ = nullptr;
    TRecordBuffer scanBuffer_ = nullptr;  // the record Locate/Lookup examine

    int disableCount_ = 0;
    std::uint64_t changeStamp_ = 0;
    TDataSetState disableState_ = dsInactive;
    TDataEvent enableEvent_ = deDataSetChange;

    std::unique_ptr<TFields> fields_;
    std::unique_ptr<TFieldDefs> fieldDefs_;
    std::unique_ptr<TIndexDefs> indexDefs_;
    std::vector<TDataSource*> dataSources_;
    bool destroying_ = false;
};

// ---------------------------------------------------------------------------
// Data sources and links

class TDataSource : public TComponent {
public:
    FAT_CLASS(TDataSource)
    explicit TDataSource(TComponent* AOwner);
    ~TDataSource() override;

    TDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TDataSet* Value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value);
    // Typing into a linked control starts an edit.
    bool AutoEdit() const { return autoEdit_; }
    void SetAutoEdit(bool Value) { autoEdit_ = Value; }
    TDataSetState State() const { return state_; }
    // Starts an edit when AutoEdit and the dataset is browsing.
    void Edit();
    bool IsLinkedTo(TDataSet* DataSet) const;
    const std::vector<TDataLink*>& DataLinks() const { return dataLinks_; }
    void Notification(TComponent* AComponent, TOperation Operation) override;

    TNotifyEvent OnStateChange;
    TDataChangeEvent OnDataChange;
    TNotifyEvent OnUpdateData;

private:
    friend class TDataSet;
    friend class TDataLink;
    void DataEvent(TDataEvent Event, intptr_t Info);
    void NotifyDataLinks(TDataEvent Event, intptr_t Info);
    void UpdateState();
    void SetStateValue(TDataSetState Value);
    void AddDataLink(TDataLink* Link);
    void RemoveDataLink(TDataLink* Link);

    TDataSet* dataSet_ = nullptr;
    bool enabled_ = true;
    bool autoEdit_ = true;
    TDataSetState state_ = dsInactive;
    std::vector<TDataLink*> dataLinks_;
};

class TDataLink : public TPersistent {
public:
    FAT_CLASS_NAME(TDataLink)
    TDataLink();
    ~TDataLink() override;

    TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* Value);
    TDataSet* DataSet() const;
    // The data source is enabled and its dataset open.
    bool Active() const { return active_; }
    // The dataset is in edit or insert state (and the link not read-only).
    bool Editing() const { return editing_; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool Value);
    // The link's row within its window of BufferCount rows.
    int ActiveRecord() const;
    void SetActiveRecord(int Value);
    int BufferCount() const { return bufferCount_; }
    void SetBufferCount(int Value);
    // Rows of the window that hold records.
    int RecordCount() const;
    // Starts an edit through the data source (AutoEdit); true when editing.
    bool Edit();
    void UpdateRecord();

protected:
    friend class TDataSource;
    virtual void ActiveChanged() {}
    virtual void CheckBrowseMode() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    virtual void DataSetScrolled(int Distance) { (void)Distance; DataSetChanged(); }
    virtual void EditingChanged() {}
    virtual void FocusControl(TField** Field) { (void)Field; }
    virtual void LayoutChanged() { DataSetChanged(); }
    virtual void RecordChanged(TField* Field) { (void)Field; }
    virtual void UpdateData() {}
    virtual void DataEvent(TDataEvent Event, intptr_t Info);
    // Field is about to be freed; a link that holds it lets it go without
    // telling its control (which may not be listening yet).
    virtual void FieldLeaving(TField* Field) { (void)Field; }
    bool Updating() const { return updating_; }

private:
    friend class TDataSet;
    void UpdateState();
    void SetActive(bool Value);
    void SetEditing(bool Value);
    void UpdateRange();

    TDataSource* dataSource_ = nullptr;
    bool active_ = false;
    bool editing_ = false;
    bool readOnly_ = false;
    bool updating_ = false;
    int bufferCount_ = 1;
    int firstRecord_ = 0;
};

// Binds one field of a data source to a data-aware control.
class TFieldDataLink : public TDataLink {
public:
    FAT_CLASS_NAME(TFieldDataLink)
    TFieldDataLink() = default;

    TField* Field() const { return field_; }
    const std::string& FieldName() const { return fieldName_; }
    void SetFieldName(const std::string& Value);
    TComponent* Control() const { return control_; }
    void SetControl(TComponent* Value) { control_ = Value; }
    // The field can be written: the link is active, the field exists and
    // can be modified, and the link is not read-only.
    bool CanModify() const;
    // The control's pending change was not yet written into the field.
    bool IsModified() const { return modified_; }
    // Called by the control when its text changes.
    void Modified() { modified_ = true; }
    // Drops the pending change and shows the field's value again.
    void Reset();
    // The caption the control is shown under: a field without a display
    // label of its own takes it whenever the link finds it (a query's
    // fields are made anew at each opening).
    void SetCaption(const std::string& Value);

    TNotifyEvent OnDataChange;
    TNotifyEvent OnEditingChange;
    TNotifyEvent OnUpdateData;
    TNotifyEvent OnActiveChange;
    // Asked to focus the control when a field of this link wants the user's
    // attention (a required field left empty); the request then ends here.
    TNotifyEvent OnFocusControl;

protected:
    void ActiveChanged() override;
    void EditingChanged() override;
    void FocusControl(TField** Field) override;
    void LayoutChanged() override;
    void RecordChanged(TField* Field) override;
    void UpdateData() override;
    void FieldLeaving(TField* Field) override;

private:
    void UpdateField();
    void SetField(TField* Value);
    void ApplyCaption();

    TField* field_ = nullptr;
    std::string fieldName_;
    std::string caption_;
    TComponent* control_ = nullptr;
    bool modified_ = false;
};

// Follows a master dataset for a detail dataset: OnMasterChange runs when the
// master's current record (or one of its key fields) changes, OnMasterDisable
// when the master closes or the link loses its fields.
class TMasterDataLink : public TDataLink {
public:
    FAT_CLASS_NAME(TMasterDataLink)
    explicit TMasterDataLink(TDataSet* DataSet);

    TDataSet* DetailDataSet() const { return detail_; }
    // The master's key fields, ";"-separated.
    const std::string& FieldNames() const { return fieldNames_; }
    void SetFieldNames(const std::string& Value);
    const std::vector<TField*>& Fields() const { return fields_; }

    TNotifyEvent OnMasterChange;
    TNotifyEvent OnMasterDisable;

protected:
    void ActiveChanged() override;
    void CheckBrowseMode() override;
    void LayoutChanged() override;
    void RecordChanged(TField* Field) override;
    // A key field leaving drops them all: a shorter key would match other rows.
    void FieldLeaving(TField* Field) override;

private:
    TDataSet* detail_;
    std::string fieldNames_;
    std::vector<TField*> fields_;
};

namespace db {

// A memory stream for one blob field of the active record, for datasets
// that keep a blob as a string of bytes: it starts with Initial (unless the
// mode is bmWrite) and, when destroyed after a write, hands its bytes to
// Store (nullptr bytes for an emptied blob) and sends the field-change event.
// Opening for writing checks the dataset's state and the field's read-only
// flag first.
class BlobBufferStream : public TMemoryStream {
public:
    using StoreFn = std::function<void(const std::string* Bytes)>;
    BlobBufferStream(TField* Field, TBlobStreamMode Mode, const std::string* Initial, StoreFn Store);
    ~BlobBufferStream() override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    void SetSize(int64_t Size) override;

private:
    TField* field_;
    TBlobStreamMode mode_;
    StoreFn store_;
    bool modified_ = false;
};

// Splits "A;B;C" into names, trimming blanks and skipping empty parts.
std::vector<std::string> SplitFieldNames(const std::string& Names);

}  // namespace db
