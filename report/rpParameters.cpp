#include "report/rpParameters.h"

#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "report/rpExcept.h"
#include "report/rpUtils.h"

namespace {

// The variant kind of a type that cannot be chosen.
constexpr TVarType kVarUnknown = 0x000D;

// Numerically zero (False and the date 0 included); texts and other kinds
// are never taken for zero, so the test cannot fail.
bool IsZero(const Variant& V) {
    if (!VarIsNumeric(V) && V.VarType() != varDate && V.VarType() != varBoolean) return false;
    return V.AsDouble() == 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// TrpParameter

TClass TrpParameter::StaticClassType() {
    using P = TrpParameter;
    static const TClassInfo info =
        TClassBuilder<P>("TrpParameter", TrpRelative::StaticClassType())
            .Enum("DataType", rpTypeInfo<TrpDataType>(), &P::DataType, &P::SetDataType)
            .VariantProp("Value", &P::StoredValue, &P::SetValue)
            .Object("PickList", TStrings::StaticClassType(), &P::PickList, &P::SetPickList)
            .Stored([](const P* p) { return p->HasPickList(); })
            .Build();
    return &info;
}

TrpParameter::TrpParameter(TComponent* AOwner) : TrpRelative(AOwner) {}

TrpParameter::~TrpParameter() = default;

TVarType TrpParameter::DataTypeToVarType(TrpDataType Value) const {
    switch (Value) {
        case dtBoolean: return varBoolean;
        case dtDateTime: return varDate;
        case dtInteger: return varInteger;
        case dtSingle: return varSingle;
        case dtDouble: return varDouble;
        case dtCurrency: return varCurrency;
        case dtString: return varString;
        case dtLargeInt: return varInt64;
        default: return kVarUnknown;
    }
}

TrpDataType TrpParameter::VarTypeToDataType(TVarType Value) const {
    switch (Value) {
        case varSmallint:
        case varInteger:
        case varShortInt:
        case varByte:
        case varWord:
        case varLongWord: return dtInteger;
        case varSingle: return dtSingle;
        case varDouble: return dtDouble;
        case varCurrency: return dtCurrency;
        case varDate: return dtDateTime;
        case varOleStr:
        case varString:
        case varUString: return dtString;
        case varBoolean: return dtBoolean;
        case varInt64: return dtLargeInt;
        default: return dtNotKnown;
    }
}

void TrpParameter::SetDataType(TrpDataType Value) {
    const TVarType kind = DataTypeToVarType(Value);
    if (kind == kVarUnknown)
        throw EParameterError(Format("TrpParameter.SetDataType: %s data type is not supported",
                                     GetEnumName(rpTypeInfo<TrpDataType>(), Value)));
    if (Value == dataType_) return;
    if (!rpIsLoading(this)) {
        // The new value is made in full before anything changes, so that a
        // value that does not convert leaves the parameter as it was.
        Variant converted;
        const std::string* text = value_.TextPtr();
        if (dataType_ == dtString && text != nullptr && text->empty())
            converted = VarAsType(Variant(0), kind);
        else if (Value == dtString && IsZero(value_))
            converted = Variant(std::string());
        else
            converted = VarAsType(value_, kind);
        value_ = std::move(converted);
    }
    dataType_ = Value;
}

void TrpParameter::SetValue(const Variant& V) {
    isNull_ = V.IsEmpty() || V.IsNull();
    if (isNull_) return;
    value_ = VarAsType(V, DataTypeToVarType(dataType_));
    Changed();
}

Variant TrpParameter::StoredValue() const { return isNull_ ? Null() : value_; }

TStrings* TrpParameter::PickList() const {
    if (!pickList_) pickList_ = std::make_unique<TStringList>();
    return pickList_.get();
}

void TrpParameter::SetPickList(TStrings* Value) {
    if (Value == nullptr) {
        if (pickList_) pickList_->Clear();
        return;
    }
    PickList()->Assign(Value);
}

void TrpParameter::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TrpParameter*>(Source);
    if (other == nullptr) {
        TrpRelative::Assign(Source);
        return;
    }
    if (other == this) return;
    if (!SameText(Name(), other->Name())) SetName(other->Name());
    dataType_ = other->dataType_;
    const bool sourceNull = other->isNull_;
    if (other->value_.IsEmpty() || other->value_.IsNull())
        value_ = other->value_;
    else
        SetValue(other->value_);
    // The value is copied even from a null parameter; the flag follows the source.
    isNull_ = sourceNull;
    if (other->pickList_)
        PickList()->Assign(other->pickList_.get());
    else if (pickList_)
        pickList_->Clear();
}

void TrpParameter::Changed() {
    if (OnChange) OnChange(this);
}

void TrpParameter::Loaded() {
    TrpRelative::Loaded();
    // A stream may give Value before DataType; the value follows its type
    // when it can, and stays as read when it cannot.
    if (isNull_) return;
    try {
        value_ = VarAsType(value_, DataTypeToVarType(dataType_));
    } catch (const Exception&) {
    }
}

// ---------------------------------------------------------------------------
// TrpParameterList

TClass TrpParameterList::StaticClassType() {
    using L = TrpParameterList;
    static const TClassInfo info = TClassBuilder<L>("TrpParameterList", TrpRelative::StaticClassType())
                                       .Boolean("InsertMode", &L::InsertMode, &L::SetInsertMode, 1)
                                       .Build();
    return &info;
}

TrpParameterList::TrpParameterList(TComponent* AOwner) : TrpRelative(AOwner) {}

TrpParameterList::~TrpParameterList() {
    // Parameters still asked for but never assigned go first; the listed
    // ones go with the children.
    pending_.clear();
}

TrpParameter* TrpParameterList::Items(int Index) const { return dynamic_cast<TrpParameter*>(Children(Index)); }

TrpParameter* TrpParameterList::FindItem(const std::string& Name) const {
    for (int i = 0; i < ChildCount(); ++i)
        if (TrpParameter* p = Items(i); p != nullptr && AnsiSameText(p->Name(), Name)) return p;
    return nullptr;
}

TrpParameter* TrpParameterList::Add(const std::string& Name) {
    if (FindItem(Name) != nullptr)
        throw EParameterError(Format("TrpParameterList.Add: a Parameter named, %s, already exists.", Name));
    auto parameter = std::make_unique<TrpParameter>(nullptr);
    parameter->SetName(Name);
    InsertComponent(parameter.get());
    parameter->SetParent(this);
    return parameter.release();
}

TrpParameter* TrpParameterList::Add(const std::string& Name, TrpDataType DataType, const Variant& Value) {
    if (FindItem(Name) != nullptr)
        throw EParameterError(Format("TrpParameterList.Add: a Parameter named, %s, already exists.", Name));
    auto parameter = std::make_unique<TrpParameter>(nullptr);
    parameter->SetName(Name);
    parameter->SetDataType(DataType);
    parameter->SetValue(Value);
    InsertComponent(parameter.get());
    parameter->SetParent(this);
    return parameter.release();
}

void TrpParameterList::Remove(const std::string& Name) { delete FindItem(Name); }

void TrpParameterList::Clear() { FreeChildren(); }

TrpParameter* TrpParameterList::GetItemForName(const std::string& Name) {
    if (TrpParameter* p = FindItem(Name)) return p;
    if (!insertMode_)
        throw EParameterError(Format("TrpParameterList.GetItemForName: No parameter named, %s, exists", Name));
    for (const auto& p : pending_)
        if (AnsiSameText(p->Name(), Name)) return p.get();
    auto pending = std::make_unique<TrpParameter>(nullptr);
    pending->SetName(Name);
    TrpParameter* raw = pending.get();
    pending->OnChange = [this, raw](TObject*) { PendingChanged(raw); };
    pending_.push_back(std::move(pending));
    return raw;
}

void TrpParameterList::PendingChanged(TrpParameter* Pending) {
    if (TrpParameter* listed = FindItem(Pending->Name())) {
        // Added meanwhile under the same name: the pending parameter stands for it.
        listed->SetValue(Pending->Value());
        return;
    }
    auto it = pending_.begin();
    while (it != pending_.end() && it->get() != Pending) ++it;
    if (it == pending_.end()) return;
    InsertComponent(Pending);
    Pending->SetParent(this);
    Pending->OnChange = nullptr;
    it->release();
    pending_.erase(it);
}

void TrpParameterList::GetValue(const std::string& Name, Variant& Value) {
    TrpParameter* p = GetItemForName(Name);
    Value = p != nullptr ? p->Value() : Variant(std::string());
}

void TrpParameterList::Assign(TPersistent* Source) {
    if (Source == nullptr) {
        Clear();
        return;
    }
    auto* other = dynamic_cast<TrpParameterList*>(Source);
    if (other == nullptr) {
        TrpRelative::Assign(Source);
        return;
    }
    // Copies first: a copy that fails, or a source that is this very list,
    // cannot leave the list half emptied.
    std::vector<std::unique_ptr<TrpParameter>> copies;
    for (int i = 0; i < other->Count(); ++i)
        if (TrpParameter* source = other->Items(i)) {
            auto copy = std::make_unique<TrpParameter>(nullptr);
            copy->Assign(source);
            copies.push_back(std::move(copy));
        }
    Clear();
    for (auto& copy : copies) {
        InsertComponent(copy.get());
        copy->SetParent(this);
        copy.release();
    }
}

void TrpParameterList::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* /*Root*/) {
    for (int i = 0; i < ChildCount(); ++i)
        if (TrpParameter* p = Items(i)) Proc(p);
}

// ---------------------------------------------------------------------------
// Scripting

TClass TrsTrpParameterListRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTrpParameterListRTTI>("TrsTrpParameterListRTTI", TrsTrpRelativeRTTI::StaticClassType())
            .Build();
    return &info;
}

const TrsTrpParameterListRTTI* TrsTrpParameterListRTTI::Instance() {
    static const TrsTrpParameterListRTTI adapter;
    return &adapter;
}

namespace {

const char* const kIndexed[] = {"Values", "Items", "ItemsByIndex"};
const char* const kMethods[] = {"AddName", "Add", "InList", "Remove", "Clear", "Assign", "EqualTo"};

template <std::size_t N>
bool IsOneOf(const std::string& Name, const char* const (&Names)[N]) {
    for (const char* n : Names)
        if (SameText(Name, n)) return true;
    return false;
}

bool TextParam(TrsParamList* Params, int Index, std::string& Text) {
    TrsValue v;
    if (!Params->GetParamValue(Index, v)) return false;
    const TrsValue t = rsValueAs(rsString, v);
    if (!std::holds_alternative<std::string>(t)) return false;
    Text = std::get<std::string>(t);
    return true;
}

bool VariantParam(TrsParamList* Params, int Index, Variant& Value) {
    TrsValue v;
    if (!Params->GetParamValue(Index, v)) return false;
    const TrsValue t = rsValueAs(rsVariant, v);
    if (!std::holds_alternative<Variant>(t)) return false;
    Value = std::get<Variant>(t);
    return true;
}

}  // namespace

void TrsTrpParameterListRTTI::GetPropList(TClass AClass, TStrings* Names) const {
    TrsTrpRelativeRTTI::GetPropList(AClass, Names);
    AddPropName(Names, "Count");
    AddPropName(Names, "InsertMode");
    for (const char* name : kIndexed) AddPropName(Names, name);
    for (const char* name : kMethods) AddMethodName(Names, name);
}

TClass TrsTrpParameterListRTTI::DescribedClass() const { return TrpParameterList::StaticClassType(); }

bool TrsTrpParameterListRTTI::GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const {
    if (SameText(Name, "Count")) {
        FillPropRec("Count", rsInteger, true, Rec);
    } else if (SameText(Name, "InsertMode")) {
        FillPropRec("InsertMode", rsBoolean, false, Rec);
    } else if (IsOneOf(Name, kIndexed)) {
        FillArrayPropRec(Name, Rec);
    } else if (IsOneOf(Name, kMethods)) {
        FillMethodRec(Name, true, Rec);
        const bool function = SameText(Name, "AddName") || SameText(Name, "Add") || SameText(Name, "InList") ||
                              SameText(Name, "EqualTo");
        Rec.IsFunction = function;
    } else {
        return TrsTrpRelativeRTTI::GetPropRec(AClass, Name, Rec);
    }
    return true;
}

std::unique_ptr<TrsParamList> TrsTrpParameterListRTTI::GetParams(const std::string& Name) const {
    const TClass parameter = TrpParameter::StaticClassType();
    const TClass list = TrpParameterList::StaticClassType();
    auto params = std::make_unique<TrsParamList>();
    if (SameText(Name, "Values")) {
        params->AddParam("Name", rsString, false, false);
        params->AddParam("Result", rsVariant, false, false);
    } else if (SameText(Name, "Items") || SameText(Name, "AddName")) {
        params->AddParam("Name", rsString, false, false);
        params->AddParam("Result", rsClass, false, false, "", parameter);
    } else if (SameText(Name, "ItemsByIndex")) {
        params->AddParam("Index", rsInteger, false, false);
        params->AddParam("Result", rsClass, false, false, "", parameter);
    } else if (SameText(Name, "Add")) {
        params->AddParam("Name", rsString, false, false);
        params->AddParam("DataType", rsEnum, false, false, "TrpDataType");
        params->AddParam("Value", rsVariant, false, false);
        params->AddParam("Result", rsClass, false, false, "", parameter);
    } else if (SameText(Name, "InList")) {
        params->AddParam("Name", rsString, false, false);
        params->AddParam("Result", rsBoolean, false, false);
    } else if (SameText(Name, "Remove")) {
        params->AddParam("Name", rsString, false, false);
    } else if (SameText(Name, "Clear")) {
        // no parameters
    } else if (SameText(Name, "Assign")) {
        params->AddParam("Source", rsClass, false, false, "", list);
    } else if (SameText(Name, "EqualTo")) {
        params->AddParam("Source", rsClass, false, false, "", list);
        params->AddParam("Result", rsBoolean, false, false);
    } else {
        return TrsTrpRelativeRTTI::GetParams(Name);
    }
    return params;
}

bool TrsTrpParameterListRTTI::CallMethod(TObject* AObject, const std::string& Name, bool Flag,
                                         TrsParamList* Params) const {
    auto* list = dynamic_cast<TrpParameterList*>(AObject);
    if (list == nullptr) return TrsTrpRelativeRTTI::CallMethod(AObject, Name, Flag, Params);
    if (SameText(Name, "Clear")) {
        list->Clear();
        return true;
    }
    if (SameText(Name, "EqualTo")) return false;
    if (Params == nullptr) return TrsTrpRelativeRTTI::CallMethod(AObject, Name, Flag, Params);
    std::string name;
    if (SameText(Name, "Values")) {
        if (!TextParam(Params, 0, name)) return false;
        if (Flag) {
            Variant value;
            list->GetValue(name, value);
            return Params->SetParamValue(1, value);
        }
        Variant value;
        if (!VariantParam(Params, 1, value)) return false;
        list->GetItemForName(name)->SetValue(value);
        return true;
    }
    if (SameText(Name, "Items")) {
        if (!TextParam(Params, 0, name)) return false;
        return Params->SetParamValue(1, static_cast<TObject*>(list->GetItemForName(name)));
    }
    if (SameText(Name, "ItemsByIndex")) {
        TrsValue index;
        if (!Params->GetParamValue(0, index)) return false;
        const TrsValue i = rsValueAs(rsInteger, index);
        if (!std::holds_alternative<int32_t>(i)) return false;
        return Params->SetParamValue(1, static_cast<TObject*>(list->Items(std::get<int32_t>(i))));
    }
    if (SameText(Name, "AddName")) {
        if (!TextParam(Params, 0, name)) return false;
        return Params->SetParamValue(1, static_cast<TObject*>(list->Add(name)));
    }
    if (SameText(Name, "Add")) {
        TrsValue type;
        Variant value;
        if (!TextParam(Params, 0, name) || !Params->GetParamValue(1, type) || !VariantParam(Params, 2, value))
            return false;
        const TrsValue t = rsValueAs(rsEnum, type);
        if (!std::holds_alternative<int32_t>(t)) return false;
        const int32_t code = std::get<int32_t>(t);
        if (code < dtBoolean || code > dtGUID) return false;
        return Params->SetParamValue(3, static_cast<TObject*>(list->Add(name, static_cast<TrpDataType>(code), value)));
    }
    if (SameText(Name, "InList")) {
        if (!TextParam(Params, 0, name)) return false;
        return Params->SetParamValue(1, list->InList(name));
    }
    if (SameText(Name, "Remove")) {
        if (!TextParam(Params, 0, name)) return false;
        list->Remove(name);
        return true;
    }
    if (SameText(Name, "Assign")) {
        TrsValue source;
        if (!Params->GetParamValue(0, source)) return false;
        const TrsValue s = rsValueAs(rsClass, source);
        if (!std::holds_alternative<TObject*>(s)) return false;
        TObject* o = std::get<TObject*>(s);
        auto* other = dynamic_cast<TrpParameterList*>(o);
        if (o != nullptr && other == nullptr) return false;
        list->Assign(other);
        return true;
    }
    return TrsTrpRelativeRTTI::CallMethod(AObject, Name, Flag, Params);
}

bool TrsTrpParameterListRTTI::GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const {
    auto* list = dynamic_cast<TrpParameterList*>(AObject);
    if (list == nullptr) return TrsTrpRelativeRTTI::GetPropValue(AObject, Name, Value);
    if (SameText(Name, "Count"))
        Value = static_cast<int32_t>(list->Count());
    else if (SameText(Name, "InsertMode"))
        Value = list->InsertMode();
    else
        return TrsTrpRelativeRTTI::GetPropValue(AObject, Name, Value);
    return true;
}

bool TrsTrpParameterListRTTI::SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const {
    auto* list = dynamic_cast<TrpParameterList*>(AObject);
    if (list == nullptr) return TrsTrpRelativeRTTI::SetPropValue(AObject, Name, Value);
    if (SameText(Name, "InsertMode")) {
        const TrsValue v = rsValueAs(rsBoolean, Value);
        if (!std::holds_alternative<bool>(v)) return false;
        list->SetInsertMode(std::get<bool>(v));
        return true;
    }
    if (SameText(Name, "Count")) return false;
    return TrsTrpRelativeRTTI::SetPropValue(AObject, Name, Value);
}

namespace report {

void RegisterParameterClasses() {
    RegisterRelativeClasses();
    RegisterClasses({TrpParameter::StaticClassType(), TrpParameterList::StaticClassType()});
    RegisterRTTIClass(TrsTrpParameterListRTTI::Instance());
}

void UnregisterParameterClasses() {
    UnregisterRTTIClass(TrsTrpParameterListRTTI::Instance());
    UnRegisterClass(TrpParameterList::StaticClassType());
    UnRegisterClass(TrpParameter::StaticClassType());
    UnregisterRelativeClasses();
}

}  // namespace report
