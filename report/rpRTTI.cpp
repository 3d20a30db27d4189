#include "report/rpRTTI.h"

#include <cmath>
#include <mutex>

#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "report/rpEnumRegistry.h"

// ---------------------------------------------------------------------------
// Values

namespace {

// Any number the value holds, as a long double; false for texts, objects...
bool NumberOf(const TrsValue& v, long double& out) {
    if (auto p = std::get_if<int32_t>(&v)) out = *p;
    else if (auto p = std::get_if<float>(&v)) out = *p;
    else if (auto p = std::get_if<double>(&v)) out = *p;
    else if (auto p = std::get_if<long double>(&v)) out = *p;
    else if (auto p = std::get_if<Currency>(&v)) out = static_cast<long double>(p->Raw()) / Currency::Scale;
    else if (auto p = std::get_if<bool>(&v)) out = *p ? 1 : 0;
    else if (auto p = std::get_if<char>(&v)) out = static_cast<unsigned char>(*p);
    else return false;
    return true;
}

}  // namespace

TrsValue rsValueAs(int Code, const TrsValue& Value) {
    long double n = 0;
    const bool numeric = NumberOf(Value, n);
    switch (Code) {
        case rsInteger:
        case rsEnum:
            if (auto p = std::get_if<int32_t>(&Value)) return *p;
            if (numeric && std::isfinite(n) && n >= INT32_MIN && n <= INT32_MAX)
                return static_cast<int32_t>(n);
            return {};
        case rsSingle:
            if (numeric) return static_cast<float>(n);
            return {};
        case rsDouble:
        case rsDateTime:
        case rsDate:
        case rsTime:
            if (auto p = std::get_if<double>(&Value)) return *p;
            if (numeric) return static_cast<double>(n);
            return {};
        case rsExtended:
            if (numeric) return n;
            return {};
        case rsCurrency:
            if (auto p = std::get_if<Currency>(&Value)) return *p;
            if (numeric) {
                try {
                    return Currency::FromDouble(static_cast<double>(n));
                } catch (const EOverflow&) {
                    return {};
                }
            }
            return {};
        case rsChar:
            if (auto p = std::get_if<char>(&Value)) return *p;
            if (auto p = std::get_if<std::string>(&Value); p && p->size() == 1) return (*p)[0];
            if (auto p = std::get_if<int32_t>(&Value); p && *p >= 0 && *p <= 255) return static_cast<char>(*p);
            return {};
        case rsString:
            if (auto p = std::get_if<std::string>(&Value)) return *p;
            if (auto p = std::get_if<char>(&Value)) return std::string(1, *p);
            return {};
        case rsBoolean:
            if (auto p = std::get_if<bool>(&Value)) return *p;
            if (auto p = std::get_if<int32_t>(&Value)) return *p != 0;
            return {};
        case rsVariant:
            if (auto p = std::get_if<Variant>(&Value)) return *p;
            if (auto p = std::get_if<int32_t>(&Value)) return Variant(*p);
            if (auto p = std::get_if<std::string>(&Value)) return Variant(*p);
            if (auto p = std::get_if<char>(&Value)) return Variant(*p);
            if (auto p = std::get_if<bool>(&Value)) return Variant(*p);
            if (auto p = std::get_if<Currency>(&Value)) return Variant(*p);
            if (auto p = std::get_if<float>(&Value)) return Variant(*p);
            if (numeric) return Variant(static_cast<double>(n));
            return {};
        case rsClass:
            if (auto p = std::get_if<TObject*>(&Value)) return *p;
            return {};
        default:
            return {};
    }
}

// ---------------------------------------------------------------------------
// TrsParamList

TrsParamDescriptor& TrsParamList::Item(int Index) const {
    if (Index < 0 || Index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return *items_[static_cast<std::size_t>(Index)];
}

int TrsParamList::IndexOf(const std::string& Name) const {
    for (int i = 0; i < Count(); ++i)
        if (SameText(items_[static_cast<std::size_t>(i)]->Name, Name)) return i;
    return -1;
}

void TrsParamList::AddParam(const std::string& Name, int DataType, bool IsVar, bool IsConst,
                            const std::string& EnumTypeName, TClass ClassType) {
    auto d = std::make_unique<TrsParamDescriptor>();
    d->Name = Name;
    d->DataType = DataType;
    d->IsVar = IsVar;
    d->IsConst = IsConst;
    d->EnumTypeName = EnumTypeName;
    d->ClassType = ClassType;
    items_.push_back(std::move(d));
}

void TrsParamList::GetParamRec(int Index, TrsParamDescriptor& Descriptor) const {
    const TrsParamDescriptor& d = Item(Index);
    Descriptor.Name = d.Name;
    Descriptor.DataType = d.DataType;
    Descriptor.ClassType = d.ClassType;
    Descriptor.EnumTypeName = d.EnumTypeName;
    Descriptor.IsVar = d.IsVar;
    Descriptor.IsConst = d.IsConst;
    Descriptor.Value = d.Value;
}

namespace {

bool Copies(int code) { return code != rsNone && code != rsUnknown && code != rsMethod && code <= rsMethod && code > 0; }

}  // namespace

bool TrsParamList::SetParamValue(int Index, const TrsValue& Value) {
    if (Index < 0 || Index >= Count()) return false;
    TrsParamDescriptor& d = Item(Index);
    if (!Copies(d.DataType) || !d.Value.Store) return false;
    const TrsValue v = rsValueAs(d.DataType, Value);
    if (std::holds_alternative<std::monostate>(v)) return false;
    return d.Value.Store(v);
}

bool TrsParamList::GetParamValue(int Index, TrsValue& Value) const {
    if (Index < 0 || Index >= Count()) return false;
    const TrsParamDescriptor& d = Item(Index);
    if (!Copies(d.DataType) || !d.Value.Bound()) return false;
    TrsValue v = rsValueAs(d.DataType, d.Value.Load());
    if (std::holds_alternative<std::monostate>(v)) return false;
    Value = std::move(v);
    return true;
}

// ---------------------------------------------------------------------------
// Name lists

namespace {

bool Listed(TStrings* Names, const std::string& Name) {
    for (int i = 0; i < Names->Count(); ++i)
        if (SameText(Names->Get(i), Name)) return true;
    return false;
}

}  // namespace

void AddPropName(TStrings* Names, const std::string& Name) {
    if (Names != nullptr && !Listed(Names, Name)) Names->Add(Name);
}

void AddMethodName(TStrings* Names, const std::string& Name) { AddPropName(Names, Name); }

void RemovePropName(TStrings* Names, const std::string& Name) {
    if (Names == nullptr) return;
    for (int i = Names->Count() - 1; i >= 0; --i)
        if (SameText(Names->Get(i), Name)) Names->Delete(i);
}

void AddPublishedPropNames(TClass AClass, TStrings* Names, TSet<TTypeKind> Kinds) {
    if (AClass == nullptr || Names == nullptr) return;
    for (const TPropInfo* p : AClass->PropList())
        if (Kinds.Contains(p->Kind())) AddPropName(Names, p->Name);
}

int GetRTTIDataType(const TTypeInfo* TypeInfo) {
    if (TypeInfo == nullptr) return rsNone;
    switch (TypeInfo->Kind) {
        case tkInteger: return rsInteger;
        case tkChar: return rsChar;
        case tkEnumeration: return rsEnum;
        case tkFloat:
            switch (TypeInfo->FloatType) {
                case ftSingle: return rsSingle;
                case ftDouble: return rsDouble;
                case ftExtended:
                case ftComp: return rsExtended;
                case ftCurr: return rsCurrency;
            }
            return rsNone;
        case tkString:
        case tkLString:
        case tkWString:
        case tkUString: return rsString;
        case tkClass: return rsClass;
        case tkVariant: return rsVariant;
        default: return rsNone;
    }
}

// ---------------------------------------------------------------------------
// TrsRTTI: the published type information.

namespace {

// The code a published property is read and written with.
int PropCode(const TPropInfo& p) {
    const int code = GetRTTIDataType(p.PropType);
    if (code == rsEnum && p.PropType->Name == "Boolean") return rsBoolean;
    return code;
}

const TPropInfo* PublishedProp(const TObject* AObject, const std::string& Name) {
    if (AObject == nullptr || AObject->ClassType() == nullptr) return nullptr;
    return AObject->ClassType()->FindProp(Name);
}

TSet<TTypeKind> ListedKinds() {
    TSet<TTypeKind> kinds;
    for (int k = tkUnknown; k <= tkUString; ++k) kinds.Include(static_cast<TTypeKind>(k));
    return kinds - TSet<TTypeKind>{tkMethod, tkSet, tkArray, tkRecord, tkInterface, tkUnknown};
}

}  // namespace

TClass TrsRTTI::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrsRTTI>("TrsRTTI", TPersistent::StaticClassType()).Build();
    return &info;
}

const TrsRTTI* TrsRTTI::Instance() {
    static const TrsRTTI adapter;
    return &adapter;
}

void TrsRTTI::GetPropList(TClass AClass, TStrings* Names) const {
    AddPublishedPropNames(AClass, Names, ListedKinds());
}

void TrsRTTI::GetEventList(TClass AClass, TStrings* Names) const {
    AddPublishedPropNames(AClass, Names, TSet<TTypeKind>{tkMethod});
}

TClass TrsRTTI::DescribedClass() const { return TObject::StaticClassType(); }

bool TrsRTTI::GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const {
    const TPropInfo* p = AClass ? AClass->FindProp(Name) : nullptr;
    if (p == nullptr) return false;
    Rec = TrsMemberDescriptor();
    Rec.Name = p->Name;
    Rec.DataType = PropCode(*p);
    Rec.ReadOnly = !p->Writable();
    Rec.Published = true;
    if (Rec.DataType == rsClass) Rec.ClassType = p->PropType->ClassType;
    if (Rec.DataType == rsEnum || Rec.DataType == rsBoolean) Rec.EnumTypeName = p->PropType->Name;
    return true;
}

bool TrsRTTI::CallMethod(TObject*, const std::string&, bool, TrsParamList*) const { return false; }

std::unique_ptr<TrsParamList> TrsRTTI::GetParams(const std::string&) const { return nullptr; }

bool TrsRTTI::GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const {
    const TPropInfo* p = PublishedProp(AObject, Name);
    if (p == nullptr) return false;
    switch (PropCode(*p)) {
        case rsInteger:
        case rsEnum:
            if (!p->GetOrd) return false;
            Value = static_cast<int32_t>(p->GetOrd(AObject));
            return true;
        case rsChar:
            if (!p->GetOrd) return false;
            Value = static_cast<char>(p->GetOrd(AObject));
            return true;
        case rsBoolean:
            if (!p->GetOrd) return false;
            Value = p->GetOrd(AObject) != 0;
            return true;
        case rsClass:
            if (!p->GetObject) return false;
            Value = p->GetObject(AObject);
            return true;
        case rsSingle:
            if (!p->GetFloat) return false;
            Value = static_cast<float>(p->GetFloat(AObject));
            return true;
        case rsDouble:
        case rsDateTime:
        case rsDate:
        case rsTime:
            if (!p->GetFloat) return false;
            Value = static_cast<double>(p->GetFloat(AObject));
            return true;
        case rsExtended:
            if (!p->GetFloat) return false;
            Value = p->GetFloat(AObject);
            return true;
        case rsCurrency:
            if (p->GetInt64) {
                Value = Currency::FromRaw(p->GetInt64(AObject));
                return true;
            }
            if (!p->GetFloat) return false;
            Value = Currency::FromRaw(std::llround(p->GetFloat(AObject) * Currency::Scale));
            return true;
        case rsString:
            if (!p->GetStr) return false;
            Value = p->GetStr(AObject);
            return true;
        case rsVariant:
            if (!p->GetVariant) return false;
            Value = p->GetVariant(AObject);
            return true;
        default:
            return false;
    }
}

bool TrsRTTI::SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const {
    const TPropInfo* p = PublishedProp(AObject, Name);
    if (p == nullptr) return false;
    const int code = PropCode(*p);
    const TrsValue v = rsValueAs(code, Value);
    if (std::holds_alternative<std::monostate>(v)) return false;
    switch (code) {
        case rsInteger:
        case rsEnum:
            if (!p->SetOrd) return false;
            p->SetOrd(AObject, std::get<int32_t>(v));
            return true;
        case rsChar:
            if (!p->SetOrd) return false;
            p->SetOrd(AObject, static_cast<unsigned char>(std::get<char>(v)));
            return true;
        case rsBoolean:
            if (!p->SetOrd) return false;
            p->SetOrd(AObject, std::get<bool>(v) ? 1 : 0);
            return true;
        case rsClass:
            if (!p->SetObject) return false;
            p->SetObject(AObject, std::get<TObject*>(v));
            return true;
        case rsSingle:
            if (!p->SetFloat) return false;
            p->SetFloat(AObject, std::get<float>(v));
            return true;
        case rsDouble:
        case rsDateTime:
        case rsDate:
        case rsTime:
            if (!p->SetFloat) return false;
            p->SetFloat(AObject, std::get<double>(v));
            return true;
        case rsExtended:
            if (!p->SetFloat) return false;
            p->SetFloat(AObject, std::get<long double>(v));
            return true;
        case rsCurrency:
            if (p->SetInt64) {
                p->SetInt64(AObject, std::get<Currency>(v).Raw());
                return true;
            }
            if (!p->SetFloat) return false;
            p->SetFloat(AObject, static_cast<long double>(std::get<Currency>(v).Raw()) / Currency::Scale);
            return true;
        case rsString:
            if (!p->SetStr) return false;
            p->SetStr(AObject, std::get<std::string>(v));
            return true;
        case rsVariant:
            if (!p->SetVariant) return false;
            p->SetVariant(AObject, std::get<Variant>(v));
            return true;
        default:
            return false;
    }
}

void TrsRTTI::GetPropText(TObject* AObject, const std::string& Name, std::string& Text) const {
    Text.clear();
    if (AObject == nullptr) return;
    TrsMemberDescriptor rec;
    if (!GetPropRec(AObject->ClassType(), Name, rec)) return;
    TrsValue value;
    if (!GetPropValue(AObject, Name, value)) return;
    const TrsValue v = rsValueAs(rec.DataType, value);
    switch (rec.DataType) {
        case rsInteger:
            if (auto p = std::get_if<int32_t>(&v)) Text = IntToStr(*p);
            break;
        case rsChar:
            if (auto p = std::get_if<char>(&v)) Text = IntToStr(static_cast<unsigned char>(*p));
            break;
        case rsSingle:
            if (auto p = std::get_if<float>(&v)) Text = FloatToStrF(*p, ffGeneral, 8, 0);
            break;
        case rsDouble:
            if (auto p = std::get_if<double>(&v)) Text = FloatToStrF(*p, ffGeneral, 15, 0);
            break;
        case rsExtended:
            // The runtime keeps 15 significant digits of any float.
            if (auto p = std::get_if<long double>(&v)) Text = FloatToStrF(static_cast<double>(*p), ffGeneral, 18, 0);
            break;
        case rsCurrency:
            if (auto p = std::get_if<Currency>(&v)) Text = CurrToStrF(*p, ffCurrency, 2);
            break;
        case rsString:
            if (auto p = std::get_if<std::string>(&v)) Text = *p;
            break;
        case rsDateTime:
            if (auto p = std::get_if<double>(&v)) Text = DateTimeToStr(*p);
            break;
        case rsDate:
            if (auto p = std::get_if<double>(&v)) Text = DateToStr(*p);
            break;
        case rsTime:
            if (auto p = std::get_if<double>(&v)) Text = TimeToStr(*p);
            break;
        case rsBoolean:
            if (auto p = std::get_if<bool>(&v)) Text = *p ? "True" : "False";
            break;
        case rsVariant:
            if (auto p = std::get_if<Variant>(&v)) Text = VarToStr(*p);
            break;
        case rsEnum:
            if (auto p = std::get_if<int32_t>(&v)) {
                const TTypeInfo* type = EnumRegistry().Find(rec.EnumTypeName);
                if (type == nullptr) {
                    const TPropInfo* prop = PublishedProp(AObject, Name);
                    if (prop != nullptr) type = prop->PropType;
                }
                Text = type ? GetEnumName(type, *p) : IntToStr(*p);
            }
            break;
        default:
            break;
    }
}

bool TrsRTTI::PropExists(TObject* AObject, const std::string& Name) const {
    if (AObject == nullptr) return false;
    TrsMemberDescriptor rec;
    return GetPropRec(AObject->ClassType(), Name, rec);
}

bool TrsRTTI::InheritsFromAdapter(const TrsRTTI* Adapter) const {
    return Adapter != nullptr && ClassType()->InheritsFrom(Adapter->ClassType());
}

void TrsRTTI::FillPropRec(const std::string& Name, int DataType, bool ReadOnly, TrsMemberDescriptor& Rec) const {
    Rec = TrsMemberDescriptor();
    Rec.Name = Name;
    Rec.DataType = DataType;
    Rec.ReadOnly = ReadOnly;
}

void TrsRTTI::FillMethodRec(const std::string& Name, bool HasParams, TrsMemberDescriptor& Rec) const {
    FillPropRec(Name, rsMethod, true, Rec);
    if (!HasParams) return;
    Rec.Params = GetParams(Name);
    if (Rec.Params && Rec.Params->Count() > 0) {
        TrsParamDescriptor* last = Rec.Params->Items(Rec.Params->Count() - 1);
        if (SameText(last->Name, "Result") && last->DataType == rsClass) Rec.ClassType = last->ClassType;
    }
}

void TrsRTTI::FillConstructorRec(const std::string& Name, TClass Class, TrsMemberDescriptor& Rec) const {
    FillMethodRec(Name, true, Rec);
    if (!Rec.Params) Rec.Params = std::make_shared<TrsParamList>();
    Rec.Params->AddParam("Class", rsClass, false, false, "", Class);
    Rec.Params->AddParam("Result", rsClass, false, false);
    Rec.ClassType = Class;
    Rec.IsFunction = true;
}

void TrsRTTI::FillArrayPropRec(const std::string& Name, TrsMemberDescriptor& Rec) const {
    FillMethodRec(Name, true, Rec);
    Rec.IsArrayProperty = true;
}

void TrsRTTI::FillClassPropRec(const std::string& Name, TClass Class, bool ReadOnly, TrsMemberDescriptor& Rec) const {
    FillPropRec(Name, rsClass, ReadOnly, Rec);
    Rec.ClassType = Class;
}

void TrsRTTI::FillEnumPropRec(const std::string& Name, const std::string& TypeName, bool ReadOnly,
                              TrsMemberDescriptor& Rec) const {
    FillPropRec(Name, rsEnum, ReadOnly, Rec);
    Rec.EnumTypeName = TypeName;
}

void TrsRTTI::FillEventRec(const std::string& Name, int EventNumber, bool HasParams, TrsMemberDescriptor& Rec) const {
    FillMethodRec(Name, HasParams, Rec);
    Rec.EventNumber = EventNumber;
}

// ---------------------------------------------------------------------------
// Root adapters

TClass TrsTObjectRTTI::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrsTObjectRTTI>("TrsTObjectRTTI", TrsRTTI::StaticClassType()).Build();
    return &info;
}

const TrsTObjectRTTI* TrsTObjectRTTI::Instance() {
    static const TrsTObjectRTTI adapter;
    return &adapter;
}

void TrsTObjectRTTI::GetPropList(TClass AClass, TStrings* Names) const {
    TrsRTTI::GetPropList(AClass, Names);
    AddMethodName(Names, "ClassName");
    AddMethodName(Names, "Create");
    AddMethodName(Names, "Free");
}

TClass TrsTObjectRTTI::DescribedClass() const { return TObject::StaticClassType(); }

bool TrsTObjectRTTI::GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const {
    if (SameText(Name, "ClassName")) {
        FillMethodRec("ClassName", true, Rec);
        Rec.IsFunction = true;
    } else if (SameText(Name, "Create")) {
        FillConstructorRec("Create", AClass, Rec);
    } else if (SameText(Name, "Free")) {
        FillMethodRec("Free", false, Rec);
    } else {
        return TrsRTTI::GetPropRec(AClass, Name, Rec);
    }
    return true;
}

std::unique_ptr<TrsParamList> TrsTObjectRTTI::GetParams(const std::string& Name) const {
    if (SameText(Name, "ClassName")) {
        auto list = std::make_unique<TrsParamList>();
        list->AddParam("Result", rsString, false, false);
        return list;
    }
    if (SameText(Name, "Create")) return std::make_unique<TrsParamList>();
    return TrsRTTI::GetParams(Name);
}

bool TrsTObjectRTTI::CallMethod(TObject* AObject, const std::string& Name, bool Flag, TrsParamList* Params) const {
    if (SameText(Name, "Create")) {
        if (Params == nullptr || Params->Count() < 2) return false;
        TClass cls = Params->Items(0)->ClassType;
        if (cls == nullptr || !cls->Create) return false;
        TObject* made = cls->Create(nullptr);
        if (!Params->SetParamValue(1, made)) {
            delete made;
            return false;
        }
        return true;
    }
    if (SameText(Name, "Free")) {
        delete AObject;
        return true;
    }
    if (SameText(Name, "ClassName")) {
        if (Params == nullptr || AObject == nullptr) return false;
        return Params->SetParamValue(0, AObject->ClassName());
    }
    return TrsRTTI::CallMethod(AObject, Name, Flag, Params);
}

TClass TrsTPersistentRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTPersistentRTTI>("TrsTPersistentRTTI", TrsTObjectRTTI::StaticClassType()).Build();
    return &info;
}

const TrsTPersistentRTTI* TrsTPersistentRTTI::Instance() {
    static const TrsTPersistentRTTI adapter;
    return &adapter;
}

void TrsTPersistentRTTI::GetPropList(TClass AClass, TStrings* Names) const {
    TrsTObjectRTTI::GetPropList(AClass, Names);
    AddMethodName(Names, "Assign");
}

TClass TrsTPersistentRTTI::DescribedClass() const { return TPersistent::StaticClassType(); }

bool TrsTPersistentRTTI::GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const {
    if (SameText(Name, "Assign")) {
        FillMethodRec("Assign", true, Rec);
        return true;
    }
    return TrsTObjectRTTI::GetPropRec(AClass, Name, Rec);
}

std::unique_ptr<TrsParamList> TrsTPersistentRTTI::GetParams(const std::string& Name) const {
    if (SameText(Name, "Assign")) {
        auto list = std::make_unique<TrsParamList>();
        list->AddParam("Source", rsClass, false, false, "", TPersistent::StaticClassType());
        return list;
    }
    return TrsTObjectRTTI::GetParams(Name);
}

bool TrsTPersistentRTTI::CallMethod(TObject* AObject, const std::string& Name, bool Flag,
                                    TrsParamList* Params) const {
    if (SameText(Name, "Assign")) {
        auto* target = dynamic_cast<TPersistent*>(AObject);
        TrsValue source;
        if (target == nullptr || Params == nullptr || !Params->GetParamValue(0, source)) return false;
        target->Assign(dynamic_cast<TPersistent*>(std::get<TObject*>(source)));
        return true;
    }
    return TrsTObjectRTTI::CallMethod(AObject, Name, Flag, Params);
}

TClass TrsTComponentRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTComponentRTTI>("TrsTComponentRTTI", TrsTPersistentRTTI::StaticClassType()).Build();
    return &info;
}

const TrsTComponentRTTI* TrsTComponentRTTI::Instance() {
    static const TrsTComponentRTTI adapter;
    return &adapter;
}

void TrsTComponentRTTI::GetPropList(TClass AClass, TStrings* Names) const {
    TrsTPersistentRTTI::GetPropList(AClass, Names);
    AddPropName(Names, "Owner");
    AddPropName(Names, "Tag");
}

TClass TrsTComponentRTTI::DescribedClass() const { return TComponent::StaticClassType(); }

bool TrsTComponentRTTI::GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const {
    if (SameText(Name, "Owner")) {
        FillClassPropRec("Owner", TComponent::StaticClassType(), true, Rec);
        return true;
    }
    if (SameText(Name, "Tag")) {
        FillPropRec("Tag", rsInteger, false, Rec);
        return true;
    }
    return TrsTPersistentRTTI::GetPropRec(AClass, Name, Rec);
}

std::unique_ptr<TrsParamList> TrsTComponentRTTI::GetParams(const std::string& Name) const {
    if (SameText(Name, "Create")) {
        auto list = std::make_unique<TrsParamList>();
        list->AddParam("Owner", rsClass, false, false, "", TComponent::StaticClassType());
        return list;
    }
    return TrsTPersistentRTTI::GetParams(Name);
}

bool TrsTComponentRTTI::CallMethod(TObject* AObject, const std::string& Name, bool Flag, TrsParamList* Params) const {
    if (SameText(Name, "Create")) {
        if (Params == nullptr || Params->Count() < 3) return false;
        TrsValue ownerValue;
        if (!Params->GetParamValue(0, ownerValue)) return false;
        auto* owner = dynamic_cast<TComponent*>(std::get<TObject*>(ownerValue));
        TClass cls = Params->Items(1)->ClassType;
        if (cls == nullptr || !cls->Create) return false;
        TObject* made = cls->Create(owner);
        if (!Params->SetParamValue(2, made)) {
            auto* component = dynamic_cast<TComponent*>(made);
            if (component == nullptr || component->Owner() == nullptr) delete made;
            return false;
        }
        return true;
    }
    return TrsTPersistentRTTI::CallMethod(AObject, Name, Flag, Params);
}

bool TrsTComponentRTTI::GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const {
    auto* c = dynamic_cast<TComponent*>(AObject);
    if (c != nullptr && SameText(Name, "Owner")) {
        Value = static_cast<TObject*>(c->Owner());
        return true;
    }
    if (c != nullptr && SameText(Name, "Tag")) {
        Value = static_cast<int32_t>(c->Tag());
        return true;
    }
    return TrsTPersistentRTTI::GetPropValue(AObject, Name, Value);
}

bool TrsTComponentRTTI::SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const {
    auto* c = dynamic_cast<TComponent*>(AObject);
    if (c != nullptr && SameText(Name, "Tag")) {
        const TrsValue v = rsValueAs(rsInteger, Value);
        if (!std::holds_alternative<int32_t>(v)) return false;
        c->SetTag(std::get<int32_t>(v));
        return true;
    }
    if (SameText(Name, "Owner")) return false;
    return TrsTPersistentRTTI::SetPropValue(AObject, Name, Value);
}

// ---------------------------------------------------------------------------
// Registry

namespace {

struct RegistryEntry {
    std::string described;
    TrsRTTIClass adapter;
};

struct Registry {
    std::mutex lock;
    std::vector<RegistryEntry> entries;
};

// Made on first use by whichever thread comes first; the language makes
// that safe.
Registry& TheRegistry() {
    static Registry r;
    return r;
}

}  // namespace

void RegisterRTTIClass(TrsRTTIClass Adapter) {
    if (Adapter == nullptr || Adapter->DescribedClass() == nullptr) return;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    const std::string& name = Adapter->DescribedClass()->Name;
    for (const RegistryEntry& e : r.entries)
        if (SameText(e.described, name)) return;
    RegisterClass(Adapter->ClassType());
    r.entries.push_back({name, Adapter});
}

void UnregisterRTTIClass(TrsRTTIClass Adapter) {
    if (Adapter == nullptr || Adapter->DescribedClass() == nullptr) return;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    const std::string& name = Adapter->DescribedClass()->Name;
    for (auto it = r.entries.begin(); it != r.entries.end(); ++it) {
        if (!SameText(it->described, name)) continue;
        // Another unit's adapter for the same class stays registered.
        if (it->adapter != Adapter) return;
        UnRegisterClass(Adapter->ClassType());
        r.entries.erase(it);
        return;
    }
}

TrsRTTIClass TrsRTTIClassRegistry::GetRTTIClass(TClass AClass) {
    if (AClass == nullptr) return nullptr;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    for (const RegistryEntry& e : r.entries)
        if (SameText(e.described, AClass->Name)) return e.adapter;
    TrsRTTIClass found = nullptr;
    for (const RegistryEntry& e : r.entries) {
        if (!AClass->InheritsFrom(e.adapter->DescribedClass())) continue;
        if (found == nullptr || e.adapter->InheritsFromAdapter(found)) found = e.adapter;
    }
    return found;
}

std::vector<TrsRTTIClass> TrsRTTIClassRegistry::Adapters() {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    std::vector<TrsRTTIClass> out;
    for (const RegistryEntry& e : r.entries) out.push_back(e.adapter);
    return out;
}

namespace report {

void RegisterRootAdapters() {
    RegisterRTTIClass(TrsTObjectRTTI::Instance());
    RegisterRTTIClass(TrsTComponentRTTI::Instance());
}

void UnregisterRootAdapters() {
    UnregisterRTTIClass(TrsTComponentRTTI::Instance());
    UnregisterRTTIClass(TrsTObjectRTTI::Instance());
}

}  // namespace report
