#include "report/rpPipelineFields.h"

#include <algorithm>
#include <cctype>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Strings.h"
#include "report/rpDBPipeline.h"
#include "report/rpExcept.h"

// ---------------------------------------------------------------------------
// TrpField

TClass TrpField::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpField>("TrpField", TrpRelative::StaticClassType())
            .Enum("Alignment", rpTypeInfo<TAlignment>(), &TrpField::Alignment, &TrpField::SetAlignment,
                  taLeftJustify)
            .String("FieldAlias", &TrpField::FieldAlias, &TrpField::SetFieldAlias)
            .String("FieldName", &TrpField::FieldName, &TrpField::SetFieldName)
            .Integer("FieldLength", &TrpField::FieldLength, &TrpField::SetFieldLength, 0)
            .Boolean("IsDetail", &TrpField::IsDetail, &TrpField::SetIsDetail, 0)
            .Boolean("Linkable", &TrpField::Linkable, &TrpField::SetLinkable, 1)
            .Integer("GroupOrder", &TrpField::GroupOrder, &TrpField::SetGroupOrder, -1)
            .Enum("DataType", rpTypeInfo<TrpDataType>(), &TrpField::DataType, &TrpField::SetDataType, dtString)
            .String("DisplayFormat", &TrpField::DisplayFormat, &TrpField::SetDisplayFormat)
            .Integer("DisplayWidth", &TrpField::DisplayWidth, &TrpField::SetDisplayWidth, 0)
            .Boolean("Mandatory", &TrpField::Mandatory, &TrpField::SetMandatory, 0)
            .Integer("Position", &TrpField::FieldPosition, &TrpField::SetFieldPosition, -1)
            .Boolean("Selectable", &TrpField::Selectable, &TrpField::SetSelectable, 1)
            .Integer("SelectOrder", &TrpField::SelectOrder, &TrpField::SetSelectOrder, -1)
            .Boolean("Searchable", &TrpField::Searchable, &TrpField::SetSearchable, 1)
            .Boolean("Search", &TrpField::Search, &TrpField::SetSearch, 0)
            .String("SearchExpression", &TrpField::SearchExpression, &TrpField::SetSearchExpression)
            .Integer("SearchOrder", &TrpField::SearchOrder, &TrpField::SetSearchOrder, -1)
            .Boolean("ShowAllValues", &TrpField::ShowAllValues, &TrpField::SetShowAllValues, 0)
            .Boolean("Sortable", &TrpField::Sortable, &TrpField::SetSortable, 1)
            .Boolean("Sort", &TrpField::Sort, &TrpField::SetSort, 0)
            .Integer("SortOrder", &TrpField::SortOrder, &TrpField::SetSortOrder, -1)
            .Enum("SortType", rpTypeInfo<TrpSortOrderType>(), &TrpField::SortType, &TrpField::SetSortType,
                  soAscending)
            .String("SortExpression", &TrpField::SortExpression, &TrpField::SetSortExpression)
            .String("TableAlias", &TrpField::TableAlias, &TrpField::SetTableAlias)
            .String("TableName", &TrpField::TableName, &TrpField::SetTableName)
            .Build();
    return &info;
}

TrpField::TrpField(TComponent* AOwner) : TrpRelative(AOwner) {}

TrpDataPipeline* TrpField::DataPipeline() const { return dynamic_cast<TrpDataPipeline*>(Parent()); }

void TrpField::SetDataType(TrpDataType Value) {
    if (TrpDataPipeline* p = DataPipeline(); p != nullptr && !p->IsSupportedDataType(Value))
        throw EInvalidPropertyError("DataType not supported by " + p->ClassName());
    a_.dataType = Value;
}

void TrpField::SetMandatory(bool Value) {
    a_.mandatory = Value;
    if (Value) a_.showAllValues = false;
}

void TrpField::SetShowAllValues(bool Value) {
    a_.showAllValues = Value;
    if (Value) a_.mandatory = false;
}

double TrpField::AsDouble() {
    TrpDataPipeline* p = DataPipeline();
    if (p == nullptr) return 0;
    const Variant v = p->GetFieldValue(a_.fieldName);
    if (v.IsNull() || v.IsEmpty()) return 0;
    try {
        return v.AsDouble();
    } catch (const EVariantError&) {
        return 0;
    }
}

TBlobField* TrpField::AsPicture() {
    auto* p = dynamic_cast<TrpDBPipeline*>(DataPipeline());
    return p != nullptr ? p->GetFieldAsPicture(a_.fieldName) : nullptr;
}

std::string TrpField::AsString() {
    TrpDataPipeline* p = DataPipeline();
    return p != nullptr ? p->GetFieldAsString(a_.fieldName) : std::string();
}

bool TrpField::IsNull() {
    TrpDataPipeline* p = DataPipeline();
    if (p == nullptr) return true;
    const Variant v = p->GetFieldValue(a_.fieldName);
    return v.IsNull() || v.IsEmpty();
}

Variant TrpField::Value() {
    TrpDataPipeline* p = DataPipeline();
    return p != nullptr ? p->GetFieldValue(a_.fieldName) : Null();
}

bool TrpField::IsEqual(const TrpField& o) const { return a_ == o.a_; }

void TrpField::Assign(TPersistent* Source) {
    auto* o = dynamic_cast<TrpField*>(Source);
    if (o == nullptr) {
        TrpRelative::Assign(Source);
        return;
    }
    a_ = o->a_;
}

void TrpField::DefineProperties(TFiler* Filer) {
    TrpRelative::DefineProperties(Filer);
    // Older streams carry a visibility flag that no longer means anything.
    Filer->DefineProperty("Visible", [](TReader* r) { r->ReadBoolean(); }, nullptr, false);
}

// ---------------------------------------------------------------------------
// TrpMasterFieldLink

TClass TrpMasterFieldLink::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpMasterFieldLink>("TrpMasterFieldLink", TrpRelative::StaticClassType())
            .String("MasterFieldName", &TrpMasterFieldLink::MasterFieldName, &TrpMasterFieldLink::SetMasterFieldName)
            .String("DetailFieldName", &TrpMasterFieldLink::DetailFieldName, &TrpMasterFieldLink::SetDetailFieldName)
            .Enum("DetailSortOrder", rpTypeInfo<TrpSortOrderType>(), &TrpMasterFieldLink::DetailSortOrder,
                  &TrpMasterFieldLink::SetDetailSortOrder, soAscending)
            .Boolean("IsCaseSensitive", &TrpMasterFieldLink::IsCaseSensitive, &TrpMasterFieldLink::SetIsCaseSensitive,
                     0)
            .Enum("CollationType", rpTypeInfo<TrpCollationType>(), &TrpMasterFieldLink::CollationType,
                  &TrpMasterFieldLink::SetCollationType, ctANSI)
            .Enum("GuidCollationType", rpTypeInfo<TrpGuidCollationType>(), &TrpMasterFieldLink::GuidCollationType,
                  &TrpMasterFieldLink::SetGuidCollationType, gcMSSQLServer)
            .Build();
    return &info;
}

TrpMasterFieldLink::TrpMasterFieldLink(TComponent* AOwner) : TrpRelative(AOwner) {}

TrpMasterFieldLink::~TrpMasterFieldLink() = default;

void TrpMasterFieldLink::SetParent(TrpRelative* NewParent) { TrpRelative::SetParent(NewParent); }

// ---------------------------------------------------------------------------
// Comparison

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

std::string UpperText(const std::string& s) { return AnsiUpperCase(s); }

int CompareTexts(const std::string& d, const std::string& m, const TrpMasterFieldLink& link) {
    const bool cs = link.IsCaseSensitive();
    switch (link.CollationType()) {
        case ctANSI: return Sign(cs ? AnsiCompareStr(d, m) : AnsiCompareText(d, m));
        case ctASCII: return Sign(cs ? CompareStr(d, m) : CompareText(d, m));
        case ctVariant:
            return cs ? rpCompareVariants(Variant(d), Variant(m))
                      : rpCompareVariants(Variant(UpperText(d)), Variant(UpperText(m)));
    }
    return 0;
}

}  // namespace

TrpGuidBytes rpTextToGuid(const std::string& Text) {
    TrpGuidBytes g{};
    std::string hex;
    std::string t = Text;
    if (t.size() == 38 && t.front() == '{' && t.back() == '}') t = t.substr(1, 36);
    if (t.size() != 36 || t[8] != '-' || t[13] != '-' || t[18] != '-' || t[23] != '-') return TrpGuidBytes{};
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) continue;
        if (HexDigit(t[i]) < 0) return TrpGuidBytes{};
        hex.push_back(t[i]);
    }
    std::uint8_t text[16];
    for (int i = 0; i < 16; ++i)
        text[i] = static_cast<std::uint8_t>(HexDigit(hex[static_cast<std::size_t>(2 * i)]) * 16 +
                                            HexDigit(hex[static_cast<std::size_t>(2 * i + 1)]));
    // The first three groups are little-endian numbers in memory.
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i) g[static_cast<std::size_t>(i)] = text[order[i]];
    return g;
}

int rpCompareLinkValues(const Variant& Detail, const Variant& Master, const TrpMasterFieldLink& Link,
                        TrpDataType DetailType) {
    const bool dn = Detail.IsNull() || Detail.IsEmpty();
    const bool mn = Master.IsNull() || Master.IsEmpty();
    int r = 0;
    if (dn && mn)
        r = 0;
    else if (dn)
        r = -1;
    else if (mn)
        r = 1;
    else if (DetailType == dtGUID &&
             (Link.GuidCollationType() == gcGuid || Link.GuidCollationType() == gcMSSQLServer)) {
        const TrpGuidBytes a = rpTextToGuid(VarToStr(Detail));
        const TrpGuidBytes b = rpTextToGuid(VarToStr(Master));
        r = Link.GuidCollationType() == gcGuid ? rpCompareGuidWords(a, b) : rpCompareGuidNodes(a, b);
    } else if (!(VarIsStr(Detail) && VarIsStr(Master))) {
        try {
            const TVariantRelationship rel = VarCompareValue(Detail, Master);
            r = rel == vrGreaterThan ? 1 : (rel == vrEqual ? 0 : -1);
        } catch (const EVariantError&) {
            // A text against a number: their texts still give one order.
            r = CompareTexts(VarToStr(Detail), VarToStr(Master), Link);
        }
    } else {
        r = CompareTexts(*Detail.TextPtr(), *Master.TextPtr(), Link);
    }
    if (r != 0 && Link.DetailSortOrder() == soDescending) r = -r;
    return r;
}

// ---------------------------------------------------------------------------
// TrpCustomDataPipeline

TClass TrpCustomDataPipeline::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCustomDataPipeline>("TrpCustomDataPipeline", TrpDataPipeline::StaticClassType())
            .Boolean("AutoCreateFields", &TrpCustomDataPipeline::AutoCreateFields,
                     &TrpCustomDataPipeline::SetAutoCreateFields, 1)
            // The master is stored by name (MasterDataPipelineName) and found
            // once the form is loaded; the link text is not kept.
            .Object("MasterDataPipeline", TrpDataPipeline::StaticClassType(),
                    &TrpCustomDataPipeline::MasterDataPipeline, &TrpCustomDataPipeline::SetMasterDataPipeline)
            .NotStored()
            .String("MasterFieldLinks", &TrpCustomDataPipeline::MasterFieldLinks,
                    &TrpCustomDataPipeline::SetMasterFieldLinks)
            .NotStored()
            .Build();
    return &info;
}

TrpCustomDataPipeline::TrpCustomDataPipeline(TComponent* AOwner) : TrpDataPipeline(AOwner) {}

TrpCustomDataPipeline::~TrpCustomDataPipeline() {
    SetDestroying();
    // The children go with TrpRelative; the lists must not outlive them.
    freeingLinks_ = true;
}

void TrpCustomDataPipeline::AddChild(TrpRelative* Child) {
    TrpDataPipeline::AddChild(Child);
    if (auto* f = dynamic_cast<TrpField*>(Child)) {
        fields_.push_back(f);
    } else if (auto* l = dynamic_cast<TrpMasterFieldLink*>(Child)) {
        links_.push_back(l);
        ResetLinkState(LinkRangeIndex() != nullptr);
    }
}

void TrpCustomDataPipeline::RemoveChild(TrpRelative* Child) {
    TrpDataPipeline::RemoveChild(Child);
    fields_.erase(std::remove(fields_.begin(), fields_.end(), Child), fields_.end());
    if (currentField_ == Child) currentField_ = nullptr;
    const auto n = links_.size();
    links_.erase(std::remove(links_.begin(), links_.end(), Child), links_.end());
    if (links_.size() != n && !Destroying()) ResetLinkState(false);
}

void TrpCustomDataPipeline::Notify(TrpCommunicator* Communicator, int Operation) {
    TrpDataPipeline::Notify(Communicator, Operation);
}

TrpMasterFieldLink* TrpCustomDataPipeline::Links(int Index) const {
    return Index >= 0 && Index < LinkCount() ? links_[static_cast<std::size_t>(Index)] : nullptr;
}

void TrpCustomDataPipeline::FreeLinks() {
    if (IsLoadingOrReading() || freeingLinks_) return;
    freeingLinks_ = true;
    while (!links_.empty()) delete links_.back();
    freeingLinks_ = false;
    ResetLinkState(false);
}

TrpMasterFieldLink* TrpCustomDataPipeline::AddLink(TrpDataPipeline* MasterPipeline, const std::string& MasterFieldAlias,
                                                   const std::string& DetailFieldAlias) {
    if (MasterPipeline != nullptr) SetMasterDataPipeline(MasterPipeline);
    if (MasterDataPipeline() == nullptr || MasterDataPipeline() != MasterPipeline)
        throw EDataError("TrpCustomDataPipeline.AddLink: Unable to create link, MasterDataPipeline is nil");
    auto* link = new TrpMasterFieldLink(Owner());
    link->SetName(rpUniqueComponentName(Name() + "rpMasterFieldLink", Owner(), link));
    link->SetDetailFieldName(GetFieldName(DetailFieldAlias));
    link->SetMasterFieldName(MasterPipeline->GetFieldName(MasterFieldAlias));
    link->SetParent(this);
    return link;
}

int TrpCustomDataPipeline::CompareWithMaster() {
    TrpDataPipeline* master = MasterDataPipeline();
    if (master == nullptr) return 0;
    for (TrpMasterFieldLink* link : links_) {
        const Variant d = GetFieldValue(link->DetailFieldName());
        const Variant m = ReadMasterValue(link->MasterFieldName());
        TrpDataType type = dtNotKnown;
        if (link->GuidCollationType() == gcGuid || link->GuidCollationType() == gcMSSQLServer) {
            TrpField* f = FindFieldByName(link->DetailFieldName());
            type = f != nullptr ? f->DataType() : GetFieldDataType(link->DetailFieldName());
        }
        const int r = rpCompareLinkValues(d, m, *link, type);
        if (r != 0) return r;
    }
    return 0;
}

void TrpCustomDataPipeline::SetAutoCreateFields(bool Value) {
    if (Value == autoCreateFields_) return;
    autoCreateFields_ = Value;
    if (Value) {
        fieldListChanged_ = true;
        CheckFields();
    }
}

void TrpCustomDataPipeline::FieldListChanged() { fieldListChanged_ = true; }

void TrpCustomDataPipeline::FreeFields() {
    while (!fields_.empty()) delete fields_.back();
    fieldListChanged_ = true;
}

void TrpCustomDataPipeline::CheckFields() {
    if (!fieldListChanged_ || !autoCreateFields_ || IsLoadingOrReading() || Destroying() || buildingFields_) return;
    BuildFields();
}

void TrpCustomDataPipeline::BuildFields() {
    buildingFields_ = true;
    try {
        while (!fields_.empty()) delete fields_.back();
        TStringList names;
        GetFieldNames(&names);
        for (int i = 0; i < names.Count(); ++i) {
            const std::string& name = names.Strings(i);
            TrpField* f = MakeField(name, GetFieldDataType(name));
            f->SetFieldAlias(name);
            f->SetFieldLength(GetDataFieldSize(name));
            f->SetDisplayWidth(GetDataFieldDisplayWidth(name));
            f->SetFieldPosition(i);
            const TrpDataType t = f->DataType();
            const bool plain = t != dtBLOB && t != dtMemo && t != dtGraphic && t != dtNotKnown;
            f->SetSearchable(plain);
            f->SetSortable(plain);
        }
    } catch (...) {
        buildingFields_ = false;
        fieldListChanged_ = false;
        throw;
    }
    buildingFields_ = false;
    fieldListChanged_ = false;
    DataChange();
}

void TrpCustomDataPipeline::UnsupportedType() const {
    throw EInvalidPropertyError("DataType not supported by " + ClassName());
}

TrpField* TrpCustomDataPipeline::MakeField(const std::string& FieldName, TrpDataType DataType) {
    if (!IsSupportedDataType(DataType)) UnsupportedType();
    auto* f = new TrpField(Owner());
    try {
        f->SetName(rpUniqueComponentName(Name() + "rpField", Owner(), f));
    } catch (...) {
        delete f;
        throw;
    }
    f->SetFieldName(FieldName);
    f->SetParent(this);
    f->SetDataType(DataType);
    f->SetAlignment(DataType == dtInteger || DataType == dtDouble || DataType == dtLongint ? taRightJustify
                                                                                              : taLeftJustify);
    return f;
}

TrpField* TrpCustomDataPipeline::CreateField(const std::string& FieldName, TrpDataType DataType, int Length) {
    TrpField* f = MakeField(FieldName, DataType);
    f->SetDisplayWidth(Length);
    f->SetFieldLength(Length);
    return f;
}

int TrpCustomDataPipeline::FieldCount() {
    CheckFields();
    return static_cast<int>(fields_.size());
}

TrpField* TrpCustomDataPipeline::Fields(int Index) {
    CheckFields();
    return Index >= 0 && Index < static_cast<int>(fields_.size()) ? fields_[static_cast<std::size_t>(Index)]
                                                                   : nullptr;
}

TrpField* TrpCustomDataPipeline::FieldObjects(const std::string& FieldAlias) {
    CheckFields();
    for (TrpField* f : fields_)
        if (AnsiSameText(f->FieldAlias(), FieldAlias)) return f;
    return nullptr;
}

TrpField* TrpCustomDataPipeline::FindFieldByName(const std::string& FieldName) const {
    for (TrpField* f : fields_)
        if (AnsiSameText(f->FieldName(), FieldName)) return f;
    return nullptr;
}

Variant TrpCustomDataPipeline::FieldValues(const std::string& FieldAlias) {
    TrpField* f = FieldObjects(FieldAlias);
    if (f == nullptr) return Null();
    const Variant v = GetFieldValue(f->FieldName());
    const bool blank = v.IsNull() || v.IsEmpty() || (VarIsStr(v) && v.TextPtr()->empty());
    if (!blank) return v;
    switch (f->DataType()) {
        case dtBoolean: return Variant(false);
        case dtDate:
        case dtTime:
        case dtDateTime:
        case dtInteger:
        case dtSingle:
        case dtDouble:
        case dtExtended:
        case dtCurrency:
        case dtLongint: return Variant(0);
        case dtChar:
        case dtString:
        case dtMemo: return Variant(std::string());
        default: return v.IsEmpty() ? Null() : v;
    }
}

int TrpCustomDataPipeline::IndexOfFieldName(const std::string& FieldName) {
    TStringList names;
    GetFieldNames(&names);
    for (int i = 0; i < names.Count(); ++i)
        if (AnsiSameText(names.Strings(i), FieldName)) return i;
    return -1;
}

std::string TrpCustomDataPipeline::GetFieldDisplayName(const std::string& FieldName) const {
    TrpField* f = FindFieldByName(FieldName);
    return f != nullptr && !f->FieldAlias().empty() ? f->FieldAlias() : FieldName;
}

std::string TrpCustomDataPipeline::GetFieldName(const std::string& FieldAlias) const {
    for (TrpField* f : fields_)
        if (AnsiSameText(f->FieldAlias(), FieldAlias)) return f->FieldName();
    return FieldAlias;
}

bool TrpCustomDataPipeline::FieldExists(const std::string& FieldName) const {
    return FindFieldByName(FieldName) != nullptr;
}

void TrpCustomDataPipeline::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* /*Root*/) {
    for (TrpField* f : std::vector<TrpField*>(fields_)) Proc(f);
    for (TrpMasterFieldLink* l : std::vector<TrpMasterFieldLink*>(links_)) Proc(l);
}

void TrpCustomDataPipeline::Loaded() {
    TrpDataPipeline::Loaded();
    // Fields read from the stream stay as they were stored.
    if (!fields_.empty()) fieldListChanged_ = false;
}

// ---------------------------------------------------------------------------
// Registration

namespace report {

void RegisterPipelineClasses() {
    RegisterClass(TrpField::StaticClassType());
    RegisterClass(TrpMasterFieldLink::StaticClassType());
    RegisterClass(TrpCustomDataPipeline::StaticClassType());
}

void UnregisterPipelineClasses() {
    UnRegisterClass(TrpCustomDataPipeline::StaticClassType());
    UnRegisterClass(TrpMasterFieldLink::StaticClassType());
    UnRegisterClass(TrpField::StaticClassType());
}

}  // namespace report
