#include "platform/rtl/TypInfo.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace {

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && Upper(a) == Upper(b);
}

TTypeInfo Make(TTypeKind kind, std::string name) {
    TTypeInfo t;
    t.Kind = kind;
    t.Name = std::move(name);
    return t;
}

TTypeInfo MakeFloat(std::string name, TFloatType ft) {
    TTypeInfo t = Make(tkFloat, std::move(name));
    t.FloatType = ft;
    return t;
}

struct Registry {
    std::mutex lock;
    std::map<std::string, TClass> classes;  // by upper-case name
};

Registry& TheRegistry() {
    static Registry r;
    return r;
}

const TPropInfo& NeedProp(const TObject* Instance, const std::string& PropName) {
    const TPropInfo* p = Instance ? GetPropInfo(Instance, PropName) : nullptr;
    if (p == nullptr) throw EPropertyError("Unknown property: " + PropName);
    return *p;
}

[[noreturn]] void ReadOnly(const std::string& PropName) {
    throw EPropertyError("Property " + PropName + " is read-only");
}

}  // namespace

// ---------------------------------------------------------------------------
// Root metadata

TClass TObject::StaticClassType() {
    static const TClassInfo info = [] {
        TClassInfo i;
        i.Name = "TObject";
        i.Create = [](TComponent*) -> TObject* { return new TObject(); };
        return i;
    }();
    return &info;
}

TClass TObject::ClassType() const { return StaticClassType(); }

bool TObject::InheritsFrom(TClass AClass) const {
    TClass c = ClassType();
    return c != nullptr && c->InheritsFrom(AClass);
}

TClass TPersistent::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TPersistent>("TPersistent", TObject::StaticClassType()).Build();
    return &info;
}

TClass TComponent::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TComponent>("TComponent", TPersistent::StaticClassType())
                                       .String("Name", &TComponent::Name, &TComponent::SetName)
                                       .NotStored()
                                       .Integer("Tag", &TComponent::Tag, &TComponent::SetTag, 0)
                                       .Build();
    return &info;
}

// ---------------------------------------------------------------------------
// Types

const TTypeInfo* TypeInfoInteger() {
    static const TTypeInfo t = [] {
        TTypeInfo i = Make(tkInteger, "Integer");
        i.MinValue = INT32_MIN;
        i.MaxValue = INT32_MAX;
        return i;
    }();
    return &t;
}
const TTypeInfo* TypeInfoInt64() {
    static const TTypeInfo t = [] {
        TTypeInfo i = Make(tkInt64, "Int64");
        i.MinValue = INT64_MIN;
        i.MaxValue = INT64_MAX;
        return i;
    }();
    return &t;
}
const TTypeInfo* TypeInfoBoolean() {
    static const TTypeInfo t = MakeEnumTypeInfo("Boolean", {"False", "True"});
    return &t;
}
const TTypeInfo* TypeInfoDouble() {
    static const TTypeInfo t = MakeFloat("Double", ftDouble);
    return &t;
}
const TTypeInfo* TypeInfoSingle() {
    static const TTypeInfo t = MakeFloat("Single", ftSingle);
    return &t;
}
const TTypeInfo* TypeInfoExtended() {
    static const TTypeInfo t = MakeFloat("Extended", ftExtended);
    return &t;
}
const TTypeInfo* TypeInfoCurrency() {
    static const TTypeInfo t = MakeFloat("Currency", ftCurr);
    return &t;
}
const TTypeInfo* TypeInfoDateTime() {
    static const TTypeInfo t = MakeFloat("TDateTime", ftDouble);
    return &t;
}
const TTypeInfo* TypeInfoString() {
    static const TTypeInfo t = Make(tkLString, "String");
    return &t;
}
const TTypeInfo* TypeInfoVariant() {
    static const TTypeInfo t = Make(tkVariant, "Variant");
    return &t;
}
const TTypeInfo* TypeInfoChar() {
    static const TTypeInfo t = [] {
        TTypeInfo i = Make(tkChar, "Char");
        i.MaxValue = 255;
        return i;
    }();
    return &t;
}
const TTypeInfo* TypeInfoNotifyEvent() {
    static const TTypeInfo t = MakeMethodTypeInfo("TNotifyEvent");
    return &t;
}

TTypeInfo MakeEnumTypeInfo(std::string Name, std::vector<std::string> Names) {
    TTypeInfo t = Make(tkEnumeration, std::move(Name));
    t.MinValue = 0;
    t.MaxValue = static_cast<std::int64_t>(Names.size()) - 1;
    t.EnumNames = std::move(Names);
    return t;
}

TTypeInfo MakeSetTypeInfo(std::string Name, const TTypeInfo& Elements) {
    TTypeInfo t = Make(tkSet, std::move(Name));
    t.EnumNames = Elements.EnumNames;
    t.MinValue = 0;
    t.MaxValue = static_cast<std::int64_t>(t.EnumNames.size()) - 1;
    return t;
}

TTypeInfo MakeClassTypeInfo(TClass AClass) {
    TTypeInfo t = Make(tkClass, AClass ? AClass->Name : std::string("TObject"));
    t.ClassType = AClass;
    return t;
}

TTypeInfo MakeMethodTypeInfo(std::string Name) { return Make(tkMethod, std::move(Name)); }

const TTypeInfo* typinfo::Intern(std::shared_ptr<TTypeInfo> t) {
    static std::mutex lock;
    static std::vector<std::shared_ptr<TTypeInfo>> kept;
    std::lock_guard<std::mutex> guard(lock);
    for (auto& k : kept)
        if (k->Kind == t->Kind && k->ClassType == t->ClassType && k->Name == t->Name) return k.get();
    kept.push_back(std::move(t));
    return kept.back().get();
}

bool TPropInfo::Writable() const {
    return SetOrd || SetInt64 || SetFloat || SetStr || SetObject || SetMethod || SetVariant;
}

// ---------------------------------------------------------------------------
// TClassInfo

bool TClassInfo::InheritsFrom(TClass AClass) const {
    for (TClass c = this; c != nullptr; c = c->Parent)
        if (c == AClass) return true;
    return false;
}

std::vector<const TPropInfo*> TClassInfo::PropList() const {
    std::vector<TClass> chain;
    for (TClass c = this; c != nullptr; c = c->Parent) chain.push_back(c);
    std::vector<const TPropInfo*> out;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        for (const TPropInfo& p : (*it)->Props) {
            // A redeclared property replaces the inherited one in place.
            auto same = std::find_if(out.begin(), out.end(), [&](const TPropInfo* q) { return SameName(q->Name, p.Name); });
            if (same != out.end())
                *same = &p;
            else
                out.push_back(&p);
        }
    return out;
}

const TPropInfo* TClassInfo::FindProp(const std::string& PropName) const {
    for (TClass c = this; c != nullptr; c = c->Parent)
        for (const TPropInfo& p : c->Props)
            if (SameName(p.Name, PropName)) return &p;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Registry

void RegisterClass(TClass AClass) {
    if (AClass == nullptr) return;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto key = Upper(AClass->Name);
    auto it = r.classes.find(key);
    if (it != r.classes.end() && it->second != AClass)
        throw EFilerError("A class named " + AClass->Name + " already exists");
    r.classes[key] = AClass;
}

void RegisterClasses(std::initializer_list<TClass> Classes) {
    for (TClass c : Classes) RegisterClass(c);
}

void UnRegisterClass(TClass AClass) {
    if (AClass == nullptr) return;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.classes.find(Upper(AClass->Name));
    if (it != r.classes.end() && it->second == AClass) r.classes.erase(it);
}

TClass GetClass(const std::string& ClassName) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.classes.find(Upper(ClassName));
    return it == r.classes.end() ? nullptr : it->second;
}

TClass FindClass(const std::string& ClassName) {
    TClass c = GetClass(ClassName);
    if (c == nullptr) throw EClassNotFound("Class " + ClassName + " not found");
    return c;
}

TObject* CreateInstance(TClass AClass, TComponent* AOwner) {
    if (AClass == nullptr || !AClass->Create)
        throw EClassNotFound("Cannot create an instance of " + (AClass ? AClass->Name : std::string("nil")));
    return AClass->Create(AOwner);
}

// ---------------------------------------------------------------------------
// Access by name

const TPropInfo* GetPropInfo(const TObject* Instance, const std::string& PropName) {
    return Instance ? GetPropInfo(Instance->ClassType(), PropName) : nullptr;
}

const TPropInfo* GetPropInfo(TClass AClass, const std::string& PropName) {
    return AClass ? AClass->FindProp(PropName) : nullptr;
}

std::vector<const TPropInfo*> GetPropList(TClass AClass) {
    return AClass ? AClass->PropList() : std::vector<const TPropInfo*>{};
}

bool IsPublishedProp(const TObject* Instance, const std::string& PropName) {
    return GetPropInfo(Instance, PropName) != nullptr;
}

bool IsStoredProp(const TObject* Instance, const TPropInfo* PropInfo) {
    return PropInfo != nullptr && (!PropInfo->IsStored || PropInfo->IsStored(Instance));
}

std::string GetEnumName(const TTypeInfo* TypeInfo, std::int64_t Value) {
    if (TypeInfo == nullptr || Value < 0 || Value >= static_cast<std::int64_t>(TypeInfo->EnumNames.size()))
        return {};
    return TypeInfo->EnumNames[static_cast<std::size_t>(Value)];
}

int GetEnumValue(const TTypeInfo* TypeInfo, const std::string& Name) {
    if (TypeInfo == nullptr) return -1;
    for (std::size_t i = 0; i < TypeInfo->EnumNames.size(); ++i)
        if (SameName(TypeInfo->EnumNames[i], Name)) return static_cast<int>(i);
    return -1;
}

std::int64_t GetOrdProp(const TObject* Instance, const std::string& PropName) {
    const TPropInfo& p = NeedProp(Instance, PropName);
    if (p.GetOrd) return p.GetOrd(Instance);
    if (p.GetInt64) return p.GetInt64(Instance);
    if (p.GetObject) return static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(p.GetObject(Instance)));
    throw EPropertyError("Invalid property type: " + PropName);
}

void SetOrdProp(TObject* Instance, const std::string& PropName, std::int64_t Value) {
    const TPropInfo& p = NeedProp(Instance, PropName);
    if (p.SetOrd) return p.SetOrd(Instance, Value);
    if (p.SetInt64) return p.SetInt64(Instance, Value);
    if (p.GetOrd || p.GetInt64) ReadOnly(PropName);
    throw EPropertyError("Invalid property type: " + PropName);
}

std::string GetEnumProp(const TObject* Instance, const std::string& PropName) {
    const TPropInfo& p = NeedProp(Instance, PropName);
    if (p.Kind() != tkEnumeration) throw EPropertyError("Invalid property type: " + PropName);
    return GetEnumName(p.PropType, p.GetOrd(Instance));
}

void SetEnumProp(TObject* Instance, const std::string& PropName, const std::string& Value) {
    const TPropInfo& p = NeedProp(Instance, PropName);
    if (p.Kind() != tkEnumeration) throw EPropertyError("Invalid property type: " + PropName);
    int v = GetEnumValue(p.PropType, Value);
    if (v < 0) throw EPropertyError("Invalid enumeration name: " + Value);
    if (!p.SetOrd) ReadOnly(PropName);
    p.SetOrd(Instance, v);
}

std::int64_t GetInt64Prop(const TObject* Instance, const std::string& PropName) {
    const TPropInfo& p = NeedProp(Instance, PropName);
    if (p.GetInt64) return p.GetInt64(Instance);
    if (p.GetOrd) return p.GetOrd(Instance);
    throw EPropertyError("Invalid property type: " + PropName);
}

void SetInt64Prop(TObject* Instance, const std::string& PropName, std::int64_t Value) {
    SetOrdProp(Instance, PropName, Value);
}

long double GetFloatProp(const TObject* Instance, const std::string& PropName) {
    const TPropInfo& p = NeedProp(Instance, PropName);
    if (p.GetFloat) return p.GetFloat(Instance);
    throw EPropertyError("Invalid property type: " + PropName);
}

void SetFloatProp(TObject* Instance, const std::string& PropName, long double Value) {
    const TPropInfo& p = NeedProp(Instance, PropName);
    if (p.SetFloat) return p.SetFloat(Instance, Value);
    if (p.PropType && p.PropType->Kind == tkFloat && p.PropType->FloatType == ftCurr) {
        if (!p.SetInt64) ReadOnly(PropName);
        long double scaled = Value * 10000.0L;
        p.SetInt64(Instance, static_cast<std::int64_t>(scaled < 0 ? scaled - 0.5 : scaled + 0.5));
        return;
    }
    if (p.GetFloat) ReadOnly(PropName);
    throw EPropertyError("Invalid property type: " + PropName);
}

std::string GetStrProp(const TObject* Instance, const std::string& PropName) {
    const TPropInfo& p = NeedProp(Instance, PropName);
    if (p.GetStr) return p.GetStr(Instance);
    throw EPropertyError("Invalid property type: " + PropName);
}

void SetStrProp(TObject* Instance, const std::string& PropName, const std::string& Value) {
    const TPropInfo& p = NeedProp(Instance, PropName);
    if (p.SetStr) return p.SetStr(Instance, Value);
    if (p.GetStr) ReadOnly(PropName);
    throw EPropertyError("Invalid property type: " + PropName);
}

Variant GetVariantProp(const TObject* Instance, const std::string& PropName) {
    const TPropInfo& p = NeedProp(Instance, PropName);
    if (p.GetVariant) return p.GetVariant(Instance);
    throw EPropertyError("Invalid property type: " + PropName);
}

void SetVariantProp(TObject* Instance, const std::string& PropName, const Variant& Value) {
    const TPropInfo& p = NeedProp(Instance, PropName);
    if (p.SetVariant) return p.SetVariant(Instance, Value);
    if (p.GetVariant) ReadOnly(PropName);
    throw EPropertyError("Invalid property type: " + PropName);
}

TObject* GetObjectProp(const TObject* Instance, const std::string& PropName) {
    const TPropInfo& p = NeedProp(Instance, PropName);
    if (p.GetObject) return p.GetObject(Instance);
    throw EPropertyError("Invalid property type: " + PropName);
}

void SetObjectProp(TObject* Instance, const std::string& PropName, TObject* Value) {
    const TPropInfo& p = NeedProp(Instance, PropName);
    if (p.SetObject) return p.SetObject(Instance, Value);
    if (p.GetObject) ReadOnly(PropName);
    throw EPropertyError("Invalid property type: " + PropName);
}

std::string GetMethodProp(const TObject* Instance, const std::string& PropName) {
    const TPropInfo& p = NeedProp(Instance, PropName);
    if (p.GetMethodName) return p.GetMethodName(Instance);
    throw EPropertyError("Invalid property type: " + PropName);
}

std::string SetToString(const TTypeInfo* SetType, std::uint64_t Value, bool Brackets) {
    std::string s;
    if (SetType != nullptr)
        for (std::size_t i = 0; i < SetType->EnumNames.size() && i < 64; ++i)
            if (Value & (std::uint64_t{1} << i)) {
                if (!s.empty()) s += ',';
                s += SetType->EnumNames[i];
            }
    return Brackets ? "[" + s + "]" : s;
}

std::uint64_t StringToSet(const TTypeInfo* SetType, const std::string& Value) {
    std::string v = Value;
    auto trim = [](std::string t) {
        std::size_t a = t.find_first_not_of(" \t");
        std::size_t b = t.find_last_not_of(" \t");
        return a == std::string::npos ? std::string() : t.substr(a, b - a + 1);
    };
    v = trim(v);
    if (!v.empty() && v.front() == '[') v.erase(0, 1);
    if (!v.empty() && v.back() == ']') v.pop_back();
    std::uint64_t result = 0;
    std::size_t start = 0;
    while (start <= v.size()) {
        std::size_t comma = v.find(',', start);
        std::string item = trim(v.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!item.empty()) {
            int e = GetEnumValue(SetType, item);
            if (e < 0 || e >= 64) throw EPropertyError("Invalid enumeration name: " + item);
            result |= std::uint64_t{1} << e;
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return result;
}
