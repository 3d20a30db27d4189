// Published properties of the dataset classes, so that data modules and
// forms stream their datasets, data sources and persistent fields, and so
// that other code can reach a property by name (as the report pipeline asks
// a dataset for its "DataSource" or "MasterSource").
#include "platform/db/DB.h"

const TTypeInfo* TypeInfoAlignment() {
    static const TTypeInfo* t =
        typinfo::Keep(MakeEnumTypeInfo("TAlignment", {"taLeftJustify", "taRightJustify", "taCenter"}));
    return t;
}

const TTypeInfo* TypeInfoAlign() {
    static const TTypeInfo* t =
        typinfo::Keep(MakeEnumTypeInfo("TAlign", {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"}));
    return t;
}

namespace {

const TTypeInfo* FieldKindType() {
    static const TTypeInfo* t = typinfo::Keep(MakeEnumTypeInfo(
        "TFieldKind", {"fkData", "fkCalculated", "fkLookup", "fkInternalCalc", "fkAggregate"}));
    return t;
}

const TTypeInfo* FieldTypeType() {
    static const TTypeInfo* t = typinfo::Keep(MakeEnumTypeInfo(
        "TFieldType",
        {"ftUnknown",   "ftString",   "ftSmallint",  "ftInteger",   "ftWord",       "ftBoolean",
         "ftFloat",     "ftCurrency", "ftBCD",       "ftDate",      "ftTime",       "ftDateTime",
         "ftBytes",     "ftVarBytes", "ftAutoInc",   "ftBlob",      "ftMemo",       "ftGraphic",
         "ftFmtMemo",   "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor",  "ftFixedChar",
         "ftWideString", "ftLargeint", "ftADT",      "ftArray",     "ftReference",  "ftDataSet",
         "ftOraBlob",   "ftOraClob",  "ftVariant",   "ftInterface", "ftIDispatch",  "ftGuid",
         "ftTimeStamp", "ftFMTBcd",   "ftFixedWideChar", "ftWideMemo"}));
    return t;
}

const TTypeInfo* MethodType(const char* name) {
    return typinfo::Keep(MakeMethodTypeInfo(name));
}

}  // namespace

// ---------------------------------------------------------------------------
// Datasets and data sources

TClass TDataSet::StaticClassType() {
    static const TTypeInfo* notify = MethodType("TDataSetNotifyEvent");
    static const TTypeInfo* error = MethodType("TDataSetErrorEvent");
    static const TTypeInfo* filter = MethodType("TFilterRecordEvent");
    static const TClassInfo info =
        TClassBuilder<TDataSet>("TDataSet", TComponent::StaticClassType())
            .Boolean("Active", &TDataSet::Active, &TDataSet::SetActive, 0)
            .Boolean("AutoCalcFields", &TDataSet::AutoCalcFields, &TDataSet::SetAutoCalcFields, 1)
            .String("Filter", &TDataSet::Filter, &TDataSet::SetFilter)
            .Boolean("Filtered", &TDataSet::Filtered, &TDataSet::SetFiltered, 0)
            .Event("BeforeOpen", &TDataSet::BeforeOpen, notify)
            .Event("AfterOpen", &TDataSet::AfterOpen, notify)
            .Event("BeforeClose", &TDataSet::BeforeClose, notify)
            .Event("AfterClose", &TDataSet::AfterClose, notify)
            .Event("BeforeInsert", &TDataSet::BeforeInsert, notify)
            .Event("AfterInsert", &TDataSet::AfterInsert, notify)
            .Event("BeforeEdit", &TDataSet::BeforeEdit, notify)
            .Event("AfterEdit", &TDataSet::AfterEdit, notify)
            .Event("BeforePost", &TDataSet::BeforePost, notify)
            .Event("AfterPost", &TDataSet::AfterPost, notify)
            .Event("BeforeCancel", &TDataSet::BeforeCancel, notify)
            .Event("AfterCancel", &TDataSet::AfterCancel, notify)
            .Event("BeforeDelete", &TDataSet::BeforeDelete, notify)
            .Event("AfterDelete", &TDataSet::AfterDelete, notify)
            .Event("BeforeScroll", &TDataSet::BeforeScroll, notify)
            .Event("AfterScroll", &TDataSet::AfterScroll, notify)
            .Event("BeforeRefresh", &TDataSet::BeforeRefresh, notify)
            .Event("AfterRefresh", &TDataSet::AfterRefresh, notify)
            .Event("OnCalcFields", &TDataSet::OnCalcFields, notify)
            .Event("OnDeleteError", &TDataSet::OnDeleteError, error)
            .Event("OnEditError", &TDataSet::OnEditError, error)
            .Event("OnFilterRecord", &TDataSet::onFilterRecord_, filter)
            .Event("OnNewRecord", &TDataSet::OnNewRecord, notify)
            .Event("OnPostError", &TDataSet::OnPostError, error)
            .Build();
    return &info;
}

void TDataSet::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
    for (TField* f : fields_->List())
        if (f->Owner() == Root && !defaultFields_) Proc(f);
}

TClass TDataSource::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TDataSource>("TDataSource", TComponent::StaticClassType())
            .Boolean("AutoEdit", &TDataSource::AutoEdit, &TDataSource::SetAutoEdit, 1)
            .Object("DataSet", TDataSet::StaticClassType(), &TDataSource::DataSet, &TDataSource::SetDataSet)
            .Boolean("Enabled", &TDataSource::Enabled, &TDataSource::SetEnabled, 1)
            .Event("OnStateChange", &TDataSource::OnStateChange)
            .Event("OnDataChange", &TDataSource::OnDataChange, MethodType("TDataChangeEvent"))
            .Event("OnUpdateData", &TDataSource::OnUpdateData)
            .Build();
    return &info;
}

// ---------------------------------------------------------------------------
// Field and index definitions: a table that keeps its definitions on a form
// streams them as collections of these items.

namespace {

const TTypeInfo* FieldAttributesType() {
    static const TTypeInfo* element = typinfo::Keep(MakeEnumTypeInfo(
        "TFieldAttribute", {"faHiddenCol", "faReadonly", "faRequired", "faLink", "faUnNamed", "faFixed"}));
    static const TTypeInfo* t =
        typinfo::Keep(MakeSetTypeInfo("TFieldAttributes", *element));
    return t;
}

const TTypeInfo* IndexOptionsType() {
    static const TTypeInfo* element = typinfo::Keep(MakeEnumTypeInfo(
        "TIndexOption",
        {"ixPrimary", "ixUnique", "ixDescending", "ixCaseInsensitive", "ixExpression", "ixNonMaintained"}));
    static const TTypeInfo* t = typinfo::Keep(MakeSetTypeInfo("TIndexOptions", *element));
    return t;
}

}  // namespace

TClass TFieldDef::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TFieldDef>("TFieldDef", TPersistent::StaticClassType())
            .String("Name", &TFieldDef::Name, &TFieldDef::SetName)
            .Set("Attributes", FieldAttributesType(), &TFieldDef::Attributes, &TFieldDef::SetAttributes, 0)
            .Enum("DataType", FieldTypeType(), &TFieldDef::DataType, &TFieldDef::SetDataType, ftUnknown)
            .Boolean("InternalCalcField", &TFieldDef::InternalCalcField, &TFieldDef::SetInternalCalcField, 0)
            .Integer("Precision", &TFieldDef::Precision, &TFieldDef::SetPrecision, 0)
            .Integer("Size", &TFieldDef::Size, &TFieldDef::SetSize, 0)
            .Build();
    return &info;
}

TClass TFieldDefs::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TFieldDefs>("TFieldDefs", TPersistent::StaticClassType()).Build();
    return &info;
}

TClass TIndexDef::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TIndexDef>("TIndexDef", TPersistent::StaticClassType())
            .String("Name", &TIndexDef::Name, &TIndexDef::SetName)
            .String("CaseInsFields", &TIndexDef::CaseInsFields, &TIndexDef::SetCaseInsFields)
            .String("DescFields", &TIndexDef::DescFields, &TIndexDef::SetDescFields)
            .String("Expression", &TIndexDef::Expression, &TIndexDef::SetExpression)
            .String("Fields", &TIndexDef::Fields, &TIndexDef::SetFields)
            .Set("Options", IndexOptionsType(), &TIndexDef::Options, &TIndexDef::SetOptions, 0)
            .String("Source", &TIndexDef::Source, &TIndexDef::SetSource)
            .Build();
    return &info;
}

TClass TIndexDefs::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TIndexDefs>("TIndexDefs", TPersistent::StaticClassType()).Build();
    return &info;
}

// ---------------------------------------------------------------------------
// Fields

TComponent* TField::GetParentComponent() const { return dataSet_; }

void TField::SetParentComponent(TComponent* Value) {
    if (auto* ds = dynamic_cast<TDataSet*>(Value)) SetDataSet(ds);
}

TClass TField::StaticClassType() {
    static const TTypeInfo* notify = MethodType("TFieldNotifyEvent");
    static const TClassInfo info =
        TClassBuilder<TField>("TField", TComponent::StaticClassType())
            .Enum("Alignment", TypeInfoAlignment(), &TField::Alignment, &TField::SetAlignment)
            .String("DefaultExpression", &TField::DefaultExpression, &TField::SetDefaultExpression)
            .String("DisplayLabel", &TField::DisplayLabel, &TField::SetDisplayLabel)
            .Stored([](const TField* f) { return !f->displayLabel_.empty(); })
            .Integer("DisplayWidth", &TField::DisplayWidth, &TField::SetDisplayWidth)
            .Stored([](const TField* f) { return f->displayWidth_ > 0; })
            .String("EditMask", &TField::EditMask, &TField::SetEditMask)
            .Enum("FieldKind", FieldKindType(), &TField::FieldKind, &TField::SetFieldKind, fkData)
            .String("FieldName", &TField::FieldName, &TField::SetFieldName)
            .String("KeyFields", &TField::KeyFields, &TField::SetKeyFields)
            .Object("LookupDataSet", TDataSet::StaticClassType(), &TField::LookupDataSet, &TField::SetLookupDataSet)
            .String("LookupKeyFields", &TField::LookupKeyFields, &TField::SetLookupKeyFields)
            .String("LookupResultField", &TField::LookupResultField, &TField::SetLookupResultField)
            .String("Origin", &TField::Origin, &TField::SetOrigin)
            .Boolean("ReadOnly", &TField::ReadOnly, &TField::SetReadOnly, 0)
            .Boolean("Required", &TField::Required, &TField::SetRequired, 0)
            .Boolean("Visible", &TField::Visible, &TField::SetVisible, 1)
            .Event("OnChange", &TField::OnChange, notify)
            .Event("OnGetText", &TField::OnGetText, MethodType("TFieldGetTextEvent"))
            .Event("OnSetText", &TField::OnSetText, MethodType("TFieldSetTextEvent"))
            .Event("OnValidate", &TField::OnValidate, notify)
            .Build();
    return &info;
}

TClass TStringField::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TStringField>("TStringField", TField::StaticClassType())
                                       .Boolean("FixedChar", &TStringField::FixedChar, &TStringField::SetFixedChar, 0)
                                       .Integer("Size", &TStringField::Size, &TStringField::SetSize, 20)
                                       .Build();
    return &info;
}

TClass TWideStringField::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TWideStringField>("TWideStringField", TStringField::StaticClassType()).Build();
    return &info;
}

TClass TGuidField::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TGuidField>("TGuidField", TStringField::StaticClassType()).Build();
    return &info;
}

TClass TNumericField::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TNumericField>("TNumericField", TField::StaticClassType())
            .String("DisplayFormat", &TNumericField::DisplayFormat, &TNumericField::SetDisplayFormat)
            .String("EditFormat", &TNumericField::EditFormat, &TNumericField::SetEditFormat)
            .Build();
    return &info;
}

TClass TIntegerField::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TIntegerField>("TIntegerField", TNumericField::StaticClassType())
            .Integer("MaxValue", &TIntegerField::MaxValue, &TIntegerField::SetMaxValue, 0)
            .Integer("MinValue", &TIntegerField::MinValue, &TIntegerField::SetMinValue, 0)
            .Build();
    return &info;
}

TClass TSmallintField::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TSmallintField>("TSmallintField", TIntegerField::StaticClassType()).Build();
    return &info;
}

TClass TWordField::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TWordField>("TWordField", TIntegerField::StaticClassType()).Build();
    return &info;
}

TClass TAutoIncField::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TAutoIncField>("TAutoIncField", TIntegerField::StaticClassType()).Build();
    return &info;
}

TClass TLargeintField::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TLargeintField>("TLargeintField", TNumericField::StaticClassType()).Build();
    return &info;
}

TClass TFloatField::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TFloatField>("TFloatField", TNumericField::StaticClassType())
            .Boolean("currency", &TFloatField::IsCurrency, &TFloatField::SetCurrency, 0)
            .Float("MaxValue", &TFloatField::MaxValue, &TFloatField::SetMaxValue)
            .Stored([](const TFloatField* f) { return f->MaxValue() != 0; })
            .Float("MinValue", &TFloatField::MinValue, &TFloatField::SetMinValue)
            .Stored([](const TFloatField* f) { return f->MinValue() != 0; })
            .Integer("Precision", &TFloatField::Precision, &TFloatField::SetPrecision, 15)
            .Build();
    return &info;
}

TClass TCurrencyField::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TCurrencyField>("TCurrencyField", TFloatField::StaticClassType()).Build();
    return &info;
}

TClass TBCDField::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TBCDField>("TBCDField", TNumericField::StaticClassType())
                                       .Boolean("currency", &TBCDField::IsCurrency, &TBCDField::SetCurrency, 0)
                                       .Integer("Precision", &TBCDField::Precision, &TBCDField::SetPrecision, 18)
                                       .Integer("Size", &TBCDField::Size, &TBCDField::SetSize, 4)
                                       .Build();
    return &info;
}

TClass TBooleanField::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TBooleanField>("TBooleanField", TField::StaticClassType())
            .String("DisplayValues", &TBooleanField::DisplayValues, &TBooleanField::SetDisplayValues)
            .Build();
    return &info;
}

TClass TDateTimeField::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TDateTimeField>("TDateTimeField", TField::StaticClassType())
            .String("DisplayFormat", &TDateTimeField::DisplayFormat, &TDateTimeField::SetDisplayFormat)
            .Build();
    return &info;
}

TClass TDateField::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TDateField>("TDateField", TDateTimeField::StaticClassType()).Build();
    return &info;
}

TClass TTimeField::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TTimeField>("TTimeField", TDateTimeField::StaticClassType()).Build();
    return &info;
}

TClass TBytesField::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TBytesField>("TBytesField", TField::StaticClassType())
                                       .Integer("Size", &TBytesField::Size, &TBytesField::SetSize, 16)
                                       .Build();
    return &info;
}

TClass TVarBytesField::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TVarBytesField>("TVarBytesField", TBytesField::StaticClassType()).Build();
    return &info;
}

TClass TBlobField::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TBlobField>("TBlobField", TField::StaticClassType())
                                       .Enum("BlobType", FieldTypeType(), &TBlobField::BlobType, &TBlobField::SetBlobType)
                                       .Integer("Size", &TBlobField::Size, &TBlobField::SetSize, 0)
                                       .Build();
    return &info;
}

TClass TMemoField::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TMemoField>("TMemoField", TBlobField::StaticClassType()).Build();
    return &info;
}

TClass TWideMemoField::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TWideMemoField>("TWideMemoField", TMemoField::StaticClassType()).Build();
    return &info;
}

TClass TGraphicField::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TGraphicField>("TGraphicField", TBlobField::StaticClassType()).Build();
    return &info;
}

namespace {

// Streams name these classes; they are found by name when a form is read.
const bool registered = (RegisterClasses({TDataSource::StaticClassType(),    TStringField::StaticClassType(),
                                          TWideStringField::StaticClassType(), TGuidField::StaticClassType(),
                                          TIntegerField::StaticClassType(),  TSmallintField::StaticClassType(),
                                          TWordField::StaticClassType(),     TAutoIncField::StaticClassType(),
                                          TLargeintField::StaticClassType(), TFloatField::StaticClassType(),
                                          TCurrencyField::StaticClassType(), TBCDField::StaticClassType(),
                                          TBooleanField::StaticClassType(),  TDateTimeField::StaticClassType(),
                                          TDateField::StaticClassType(),     TTimeField::StaticClassType(),
                                          TBytesField::StaticClassType(),    TVarBytesField::StaticClassType(),
                                          TBlobField::StaticClassType(),     TMemoField::StaticClassType(),
                                          TWideMemoField::StaticClassType(), TGraphicField::StaticClassType()}),
                         true);

}  // namespace
