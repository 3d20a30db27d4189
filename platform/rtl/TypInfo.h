#pragma once
// Class metadata written in plain C++: the class registry (classes created by
// name) and the published properties of each class, with typed access by
// name. A class declares FAT_CLASS(TName) in its body and defines
// TName::StaticClassType() with a TClassBuilder:
//
//   TClass TLabel::StaticClassType() {
//       static const TClassInfo info = TClassBuilder<TLabel>("TLabel", TComponent::StaticClassType())
//           .Integer("Width", &TLabel::Width, &TLabel::SetWidth, 65)
//           .String("Caption", &TLabel::Caption, &TLabel::SetCaption)
//           .Event("OnClick", &TLabel::OnClick)
//           .Build();
//       return &info;
//   }
#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/rtl/Component.h"
#include "platform/rtl/Object.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/Variant.h"

// Declares ClassName(), the static metadata and its virtual accessor.
#define FAT_CLASS(Name)                \
    FAT_CLASS_NAME(Name)               \
    static TClass StaticClassType();   \
    TClass ClassType() const override { return StaticClassType(); }

enum TTypeKind {
    tkUnknown,
    tkInteger,
    tkChar,
    tkEnumeration,
    tkFloat,
    tkString,
    tkSet,
    tkClass,
    tkMethod,
    tkWChar,
    tkLString,
    tkWString,
    tkVariant,
    tkArray,
    tkRecord,
    tkInterface,
    tkInt64,
    tkDynArray,
    tkUString
};

enum TFloatType { ftSingle, ftDouble, ftExtended, ftComp, ftCurr };

// The type of a property. Shared, immutable; the predefined ones below and
// one per enumeration or set type of the program.
struct TTypeInfo {
    TTypeKind Kind = tkUnknown;
    std::string Name;                    // "Integer", "Boolean", "TAlignment", "TDateTime"...
    TFloatType FloatType = ftDouble;     // tkFloat
    std::vector<std::string> EnumNames;  // tkEnumeration; for tkSet the element names
    std::int64_t MinValue = 0;           // tkInteger, tkInt64
    std::int64_t MaxValue = 0;
    TClass ClassType = nullptr;          // tkClass: the declared class
    // tkInteger types whose values have names in stored forms (colours
    // "clBlack", character sets "DEFAULT_CHARSET"), as the class library's
    // integer constants: the writer names a value that has a name, the reader
    // takes either form. Both false when there is no name.
    std::function<bool(const std::string& Ident, std::int64_t& Value)> IdentToInt;
    std::function<bool(std::int64_t Value, std::string& Ident)> IntToIdent;
};

// Predefined types.
const TTypeInfo* TypeInfoInteger();   // 32-bit signed
const TTypeInfo* TypeInfoInt64();
const TTypeInfo* TypeInfoBoolean();   // enumeration False, True
const TTypeInfo* TypeInfoDouble();
const TTypeInfo* TypeInfoSingle();
const TTypeInfo* TypeInfoExtended();
const TTypeInfo* TypeInfoCurrency();
const TTypeInfo* TypeInfoDateTime();  // a double named TDateTime
const TTypeInfo* TypeInfoString();    // UTF-8 text
const TTypeInfo* TypeInfoChar();
const TTypeInfo* TypeInfoNotifyEvent();
const TTypeInfo* TypeInfoVariant();

// An enumeration type: its values are 0..Names.size()-1.
TTypeInfo MakeEnumTypeInfo(std::string Name, std::vector<std::string> Names);
// A set type over the values of an enumeration (below 64 of them).
TTypeInfo MakeSetTypeInfo(std::string Name, const TTypeInfo& Elements);
// A class type for tkClass properties.
TTypeInfo MakeClassTypeInfo(TClass AClass);
// A method (event) type, by its name ("TNotifyEvent").
TTypeInfo MakeMethodTypeInfo(std::string Name);

// The value of Default that means "always stored" (the class library's nodefault).
constexpr std::int64_t NoDefault = INT32_MIN;

// One published property. Accessors are filled according to the kind:
// ordinal kinds (integer, char, enumeration, set, boolean) use GetOrd/SetOrd,
// tkInt64 and currency (raw value times 10,000) GetInt64/SetInt64, floats
// GetFloat/SetFloat, strings GetStr/SetStr, classes GetObject/SetObject,
// variants GetVariant/SetVariant, events GetMethodName/SetMethod.
struct TPropInfo {
    std::string Name;
    const TTypeInfo* PropType = nullptr;
    std::int64_t Default = NoDefault;
    int NameIndex = 0;  // declaration position within its class's list
    std::function<bool(const TObject*)> IsStored;  // empty: always stored

    std::function<std::int64_t(const TObject*)> GetOrd;
    std::function<void(TObject*, std::int64_t)> SetOrd;
    std::function<std::int64_t(const TObject*)> GetInt64;
    std::function<void(TObject*, std::int64_t)> SetInt64;
    std::function<long double(const TObject*)> GetFloat;
    std::function<void(TObject*, long double)> SetFloat;
    std::function<std::string(const TObject*)> GetStr;
    std::function<void(TObject*, const std::string&)> SetStr;
    std::function<TObject*(const TObject*)> GetObject;
    std::function<void(TObject*, TObject*)> SetObject;
    std::function<Variant(const TObject*)> GetVariant;
    std::function<void(TObject*, const Variant&)> SetVariant;
    // The name of the handler set from a stream ("" when none, or when the
    // handler was set in code and has no name).
    std::function<std::string(const TObject*)> GetMethodName;
    // Sets the handler found under Name (Handler nullptr clears it); false
    // when the handler's type does not fit the event.
    std::function<bool(TObject*, const std::any* Handler, const std::string& Name)> SetMethod;

    TTypeKind Kind() const { return PropType ? PropType->Kind : tkUnknown; }
    bool Writable() const;
};

class TClassInfo {
public:
    std::string Name;
    TClass Parent = nullptr;
    // Makes an instance (components with Owner); empty for abstract classes.
    std::function<TObject*(TComponent* Owner)> Create;
    bool IsComponent = false;
    bool IsCollection = false;
    std::vector<TPropInfo> Props;  // own properties, in declaration order

    bool InheritsFrom(TClass AClass) const;
    // Own and inherited properties, ancestors' first.
    std::vector<const TPropInfo*> PropList() const;
    // Case-insensitive, own first then inherited.
    const TPropInfo* FindProp(const std::string& PropName) const;
};

namespace typinfo {

// Event handlers set from a stream carry their name with them, so that the
// writer can name them again; a handler set in code has no name.
template <typename F>
struct NamedHandler;

template <typename R, typename... Args>
struct NamedHandler<std::function<R(Args...)>> {
    std::string name;
    std::function<R(Args...)> fn;
    R operator()(Args... args) const { return fn(std::forward<Args>(args)...); }
};

template <typename T, typename M>
decltype(auto) Get(const T* obj, M m) {
    if constexpr (std::is_member_object_pointer_v<M>)
        return (obj->*m);
    else
        return std::invoke(m, const_cast<T*>(obj));
}

template <typename T, typename M, typename V>
void Set(T* obj, M m, V&& v) {
    if constexpr (std::is_member_object_pointer_v<M>)
        obj->*m = std::forward<V>(v);
    else
        std::invoke(m, obj, std::forward<V>(v));
}

}  // namespace typinfo

template <typename T>
class TClassBuilder {
public:
    TClassBuilder(std::string Name, TClass Parent) {
        info_.Name = std::move(Name);
        info_.Parent = Parent;
        info_.IsComponent = std::is_base_of_v<TComponent, T>;
        if constexpr (!std::is_abstract_v<T>) {
            if constexpr (std::is_base_of_v<TComponent, T> && std::is_constructible_v<T, TComponent*>)
                info_.Create = [](TComponent* owner) -> TObject* { return new T(owner); };
            else if constexpr (!std::is_base_of_v<TComponent, T> && std::is_default_constructible_v<T>)
                info_.Create = [](TComponent*) -> TObject* { return new T(); };
            else if constexpr (!std::is_base_of_v<TComponent, T> && std::is_constructible_v<T, std::nullptr_t>)
                info_.Create = [](TComponent*) -> TObject* { return new T(nullptr); };  // collection items
        }
    }

    // Ordinal properties. G is a const member function or a data member; S a
    // member function taking the value or a data member (omit S with nullptr
    // for a read-only property).
    template <typename G, typename S>
    TClassBuilder& Ordinal(std::string Name, const TTypeInfo* Type, G Get, S Setter, std::int64_t Default = NoDefault) {
        TPropInfo p = Start(std::move(Name), Type, Default);
        p.GetOrd = [Get](const TObject* o) -> std::int64_t {
            return static_cast<std::int64_t>(typinfo::Get(static_cast<const T*>(o), Get));
        };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetOrd = [Setter](TObject* o, std::int64_t v) {
                using V = std::decay_t<decltype(typinfo::Get(static_cast<const T*>(o), std::declval<G>()))>;
                typinfo::Set(static_cast<T*>(o), Setter, static_cast<V>(v));
            };
        return Add(std::move(p));
    }
    template <typename G, typename S>
    TClassBuilder& Integer(std::string Name, G Get, S Setter, std::int64_t Default = NoDefault) {
        return Ordinal(std::move(Name), TypeInfoInteger(), Get, Setter, Default);
    }
    template <typename G, typename S>
    TClassBuilder& Boolean(std::string Name, G Get, S Setter, std::int64_t Default = NoDefault) {
        return Ordinal(std::move(Name), TypeInfoBoolean(), Get, Setter, Default);
    }
    // Enumerations: the C++ enum's values are the positions in Type's names.
    template <typename G, typename S>
    TClassBuilder& Enum(std::string Name, const TTypeInfo* Type, G Get, S Setter, std::int64_t Default = NoDefault) {
        return Ordinal(std::move(Name), Type, Get, Setter, Default);
    }
    // Sets: the getter returns a TSet<E> (or its bits as an integer).
    template <typename G, typename S>
    TClassBuilder& Set(std::string Name, const TTypeInfo* Type, G Get, S Setter, std::int64_t Default = NoDefault) {
        TPropInfo p = Start(std::move(Name), Type, Default);
        p.GetOrd = [Get](const TObject* o) -> std::int64_t {
            return static_cast<std::int64_t>(Bits(typinfo::Get(static_cast<const T*>(o), Get)));
        };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetOrd = [Setter](TObject* o, std::int64_t v) {
                using V = std::decay_t<decltype(typinfo::Get(static_cast<const T*>(o), std::declval<G>()))>;
                typinfo::Set(static_cast<T*>(o), Setter, FromBits<V>(static_cast<std::uint64_t>(v)));
            };
        return Add(std::move(p));
    }
    template <typename G, typename S>
    TClassBuilder& Int64(std::string Name, G Get, S Setter) {
        TPropInfo p = Start(std::move(Name), TypeInfoInt64(), NoDefault);
        p.GetInt64 = [Get](const TObject* o) -> std::int64_t {
            return static_cast<std::int64_t>(typinfo::Get(static_cast<const T*>(o), Get));
        };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetInt64 = [Setter](TObject* o, std::int64_t v) { typinfo::Set(static_cast<T*>(o), Setter, v); };
        return Add(std::move(p));
    }
    // Currency: getter and setter deal in Currency (or the raw scaled int64).
    template <typename G, typename S>
    TClassBuilder& CurrencyProp(std::string Name, G Get, S Setter) {
        TPropInfo p = Start(std::move(Name), TypeInfoCurrency(), NoDefault);
        p.GetInt64 = [Get](const TObject* o) -> std::int64_t {
            return RawOf(typinfo::Get(static_cast<const T*>(o), Get));
        };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetInt64 = [Setter](TObject* o, std::int64_t v) {
                using V = std::decay_t<decltype(typinfo::Get(static_cast<const T*>(o), std::declval<G>()))>;
                typinfo::Set(static_cast<T*>(o), Setter, FromRaw<V>(v));
            };
        p.GetFloat = [Get](const TObject* o) -> long double {
            return static_cast<long double>(RawOf(typinfo::Get(static_cast<const T*>(o), Get))) / 10000.0L;
        };
        return Add(std::move(p));
    }
    // Floats: double (Type TypeInfoDouble, TypeInfoDateTime), long double
    // (TypeInfoExtended) or float (TypeInfoSingle).
    template <typename G, typename S>
    TClassBuilder& Float(std::string Name, G Get, S Setter, const TTypeInfo* Type = TypeInfoDouble()) {
        TPropInfo p = Start(std::move(Name), Type, NoDefault);
        p.GetFloat = [Get](const TObject* o) -> long double {
            return static_cast<long double>(typinfo::Get(static_cast<const T*>(o), Get));
        };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetFloat = [Setter](TObject* o, long double v) {
                using V = std::decay_t<decltype(typinfo::Get(static_cast<const T*>(o), std::declval<G>()))>;
                typinfo::Set(static_cast<T*>(o), Setter, static_cast<V>(v));
            };
        return Add(std::move(p));
    }
    template <typename G, typename S>
    TClassBuilder& DateTime(std::string Name, G Get, S Setter) {
        return Float(std::move(Name), Get, Setter, TypeInfoDateTime());
    }
    template <typename G, typename S>
    TClassBuilder& String(std::string Name, G Get, S Setter) {
        TPropInfo p = Start(std::move(Name), TypeInfoString(), NoDefault);
        p.GetStr = [Get](const TObject* o) -> std::string {
            return std::string(typinfo::Get(static_cast<const T*>(o), Get));
        };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetStr = [Setter](TObject* o, const std::string& v) { typinfo::Set(static_cast<T*>(o), Setter, v); };
        return Add(std::move(p));
    }
    // A variant: getter returns a Variant (or a const reference to one),
    // setter takes one. Streamed with the value's own kind, so a stored
    // integer reads back as an integer and a text as a text.
    template <typename G, typename S>
    TClassBuilder& VariantProp(std::string Name, G Get, S Setter) {
        TPropInfo p = Start(std::move(Name), TypeInfoVariant(), NoDefault);
        p.GetVariant = [Get](const TObject* o) -> Variant {
            return Variant(typinfo::Get(static_cast<const T*>(o), Get));
        };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetVariant = [Setter](TObject* o, const Variant& v) { typinfo::Set(static_cast<T*>(o), Setter, v); };
        return Add(std::move(p));
    }
    // A class-typed property: an owned persistent (font, collection, strings:
    // its properties are streamed in place), or a reference to a component
    // (streamed by name). The getter returns a pointer.
    template <typename G, typename S>
    TClassBuilder& Object(std::string Name, TClass Class, G Get, S Setter) {
        TPropInfo p = Start(std::move(Name), ClassType(Class), NoDefault);
        p.GetObject = [Get](const TObject* o) -> TObject* {
            return static_cast<TObject*>(typinfo::Get(static_cast<const T*>(o), Get));
        };
        if constexpr (!std::is_null_pointer_v<S>)
            p.SetObject = [Setter](TObject* o, TObject* v) {
                using V = std::decay_t<decltype(typinfo::Get(static_cast<const T*>(o), std::declval<G>()))>;
                V typed = nullptr;
                if (v != nullptr) {
                    typed = dynamic_cast<V>(v);
                    if (typed == nullptr) throw EInvalidCast("Invalid class typecast");
                }
                typinfo::Set(static_cast<T*>(o), Setter, typed);
            };
        return Add(std::move(p));
    }
    // An event: a std::function data member; Type names the event type
    // (TNotifyEvent by default).
    template <typename F>
    TClassBuilder& Event(std::string Name, F T::*Member, const TTypeInfo* Type = TypeInfoNotifyEvent()) {
        TPropInfo p = Start(std::move(Name), Type, NoDefault);
        p.GetMethodName = [Member](const TObject* o) -> std::string {
            const F& f = static_cast<const T*>(o)->*Member;
            if (!f) return {};
            auto* named = f.template target<typinfo::NamedHandler<F>>();
            return named ? named->name : std::string();
        };
        p.SetMethod = [Member](TObject* o, const std::any* handler, const std::string& name) -> bool {
            F& f = static_cast<T*>(o)->*Member;
            if (handler == nullptr) {
                f = nullptr;
                return true;
            }
            const F* fn = std::any_cast<F>(handler);
            if (fn == nullptr) return false;
            f = typinfo::NamedHandler<F>{name, *fn};
            return true;
        };
        return Add(std::move(p));
    }
    // Stored test of the property added last.
    TClassBuilder& Stored(std::function<bool(const T*)> Pred) {
        info_.Props.back().IsStored = [Pred](const TObject* o) { return Pred(static_cast<const T*>(o)); };
        return *this;
    }
    TClassBuilder& NotStored() {
        info_.Props.back().IsStored = [](const TObject*) { return false; };
        return *this;
    }
    TClassBuilder& Collection() {
        info_.IsCollection = true;
        return *this;
    }
    TClassInfo Build() { return std::move(info_); }

private:
    TPropInfo Start(std::string Name, const TTypeInfo* Type, std::int64_t Default) {
        TPropInfo p;
        p.Name = std::move(Name);
        p.PropType = Type;
        p.Default = Default;
        p.NameIndex = static_cast<int>(info_.Props.size());
        return p;
    }
    TClassBuilder& Add(TPropInfo p) {
        info_.Props.push_back(std::move(p));
        return *this;
    }
    const TTypeInfo* ClassType(TClass Class) {
        types_.push_back(std::make_shared<TTypeInfo>(MakeClassTypeInfo(Class)));
        return KeepType(types_.back());
    }
    static const TTypeInfo* KeepType(const std::shared_ptr<TTypeInfo>& t);
    template <typename V>
    static std::uint64_t Bits(const V& v) {
        if constexpr (std::is_integral_v<V>)
            return static_cast<std::uint64_t>(v);
        else
            return v.Bits();
    }
    template <typename V>
    static V FromBits(std::uint64_t b) {
        if constexpr (std::is_integral_v<V>)
            return static_cast<V>(b);
        else
            return V::FromBits(b);
    }
    template <typename V>
    static std::int64_t RawOf(const V& v) {
        if constexpr (std::is_integral_v<V>)
            return static_cast<std::int64_t>(v);
        else
            return v.Raw();
    }
    template <typename V>
    static V FromRaw(std::int64_t r) {
        if constexpr (std::is_integral_v<V>)
            return static_cast<V>(r);
        else
            return V::FromRaw(r);
    }

    TClassInfo info_;
    std::vector<std::shared_ptr<TTypeInfo>> types_;
};

namespace typinfo {
// Keeps a type alive for the life of the program (class property types).
const TTypeInfo* Intern(std::shared_ptr<TTypeInfo> t);
// The same for a type made by value (MakeEnumTypeInfo and the like).
inline const TTypeInfo* Keep(TTypeInfo t) { return Intern(std::make_shared<TTypeInfo>(std::move(t))); }
}  // namespace typinfo

template <typename T>
const TTypeInfo* TClassBuilder<T>::KeepType(const std::shared_ptr<TTypeInfo>& t) {
    return typinfo::Intern(t);
}

// ---------------------------------------------------------------------------
// The class registry.

void RegisterClass(TClass AClass);
void RegisterClasses(std::initializer_list<TClass> Classes);
void UnRegisterClass(TClass AClass);
// nullptr when no class of that name is registered (case-insensitive).
TClass GetClass(const std::string& ClassName);
// Raises EClassNotFound "Class %s not found".
TClass FindClass(const std::string& ClassName);
// Creates an instance of a registered class; components get AOwner.
TObject* CreateInstance(TClass AClass, TComponent* AOwner = nullptr);

// ---------------------------------------------------------------------------
// Access by name, as the class library's type-information routines.

const TPropInfo* GetPropInfo(const TObject* Instance, const std::string& PropName);
const TPropInfo* GetPropInfo(TClass AClass, const std::string& PropName);
std::vector<const TPropInfo*> GetPropList(TClass AClass);
bool IsPublishedProp(const TObject* Instance, const std::string& PropName);
bool IsStoredProp(const TObject* Instance, const TPropInfo* PropInfo);
// The name of an enumeration value; "" outside the range.
std::string GetEnumName(const TTypeInfo* TypeInfo, std::int64_t Value);
// The value of an enumeration name (case-insensitive); -1 when unknown.
int GetEnumValue(const TTypeInfo* TypeInfo, const std::string& Name);

// Typed access; EPropertyError "Unknown property: %s" for an unknown name and
// "Property %s is read-only" when there is no setter.
std::int64_t GetOrdProp(const TObject* Instance, const std::string& PropName);
void SetOrdProp(TObject* Instance, const std::string& PropName, std::int64_t Value);
std::string GetEnumProp(const TObject* Instance, const std::string& PropName);
void SetEnumProp(TObject* Instance, const std::string& PropName, const std::string& Value);
std::int64_t GetInt64Prop(const TObject* Instance, const std::string& PropName);
void SetInt64Prop(TObject* Instance, const std::string& PropName, std::int64_t Value);
long double GetFloatProp(const TObject* Instance, const std::string& PropName);
void SetFloatProp(TObject* Instance, const std::string& PropName, long double Value);
std::string GetStrProp(const TObject* Instance, const std::string& PropName);
void SetStrProp(TObject* Instance, const std::string& PropName, const std::string& Value);
TObject* GetObjectProp(const TObject* Instance, const std::string& PropName);
void SetObjectProp(TObject* Instance, const std::string& PropName, TObject* Value);
std::string GetMethodProp(const TObject* Instance, const std::string& PropName);
Variant GetVariantProp(const TObject* Instance, const std::string& PropName);
void SetVariantProp(TObject* Instance, const std::string& PropName, const Variant& Value);

// Set properties as text "[a,b]" (element names), as the class library.
std::string SetToString(const TTypeInfo* SetType, std::uint64_t Value, bool Brackets = true);
std::uint64_t StringToSet(const TTypeInfo* SetType, const std::string& Value);
