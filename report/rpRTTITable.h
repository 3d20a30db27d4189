#pragma once
// Adapters written as tables. The published properties and events of a
// class come from its metadata through TrsRTTI; an adapter adds only the
// run-time members (properties, indexed members, methods) and the event
// numbers, one row each. TrsTableRTTI<Self, Parent> answers the nine adapter
// operations from the rows and hands every other name to Parent, so an
// adapter class is its row list (Self::MemberTable(), read without virtual
// dispatch so that each level answers from its own rows) and the class it
// describes.
//
// Rows read and write through the model's accessors, never its fields, so
// that every side effect of a setter applies. A read-only row refuses
// SetPropValue (false); a writable row without a setter of its own
// describes a published property and is written through the metadata. An
// indexed row answers nil for an index outside its list instead of
// failing: scripts probe lists by index.
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/rtl/Strings.h"
#include "report/rpRTTI.h"
#include "report/rpTypes.h"

struct TrsMember {
    enum TKind { mkProperty, mkMethod, mkEvent };
    std::string Name;
    TKind Kind = mkProperty;
    int DataType = rsNone;
    TClass ClassType = nullptr;
    std::string EnumTypeName;
    bool ReadOnly = true;
    bool IsArray = false;
    bool IsFunction = false;
    int EventNumber = -1;
    // Listed by GetPropList; an unlisted row answers only when named.
    bool Listed = true;
    // A class that publishes a property of this name answers it through its
    // metadata instead (a line's Position is where it is drawn).
    bool YieldsToPublished = false;
    // monostate when the object is not of the row's class.
    std::function<TrsValue(TObject*)> Get;
    // The value arrives converted to DataType.
    std::function<bool(TObject*, const TrsValue&)> Set;
    std::function<std::unique_ptr<TrsParamList>()> Params;
    // Reading is the caller's flag: true when an indexed member is read.
    std::function<bool(TObject*, TrsParamList*, bool Reading)> Call;
};

class TrsMemberTable {
public:
    TrsMemberTable(std::initializer_list<TrsMember> Members) : members_(Members) {}
    const TrsMember* Find(const std::string& Name) const {
        for (const TrsMember& m : members_)
            if (SameText(m.Name, Name)) return &m;
        return nullptr;
    }
    const std::vector<TrsMember>& Members() const { return members_; }

private:
    std::vector<TrsMember> members_;
};

template <class Self, class Parent>
class TrsTableRTTI : public Parent {
public:
    void GetPropList(TClass AClass, TStrings* Names) const override {
        Parent::GetPropList(AClass, Names);
        for (const TrsMember& m : Self::MemberTable().Members())
            if (m.Kind != TrsMember::mkEvent && m.Listed) AddPropName(Names, m.Name);
    }
    void GetEventList(TClass AClass, TStrings* Names) const override {
        Parent::GetEventList(AClass, Names);
        for (const TrsMember& m : Self::MemberTable().Members())
            if (m.Kind == TrsMember::mkEvent) AddPropName(Names, m.Name);
    }
    bool GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const override {
        const TrsMember* m = RowFor(AClass, Name);
        if (m == nullptr) return Parent::GetPropRec(AClass, Name, Rec);
        switch (m->Kind) {
            case TrsMember::mkEvent:
                this->FillEventRec(m->Name, m->EventNumber, static_cast<bool>(m->Params), Rec);
                break;
            case TrsMember::mkMethod:
                if (m->IsArray)
                    this->FillArrayPropRec(m->Name, Rec);
                else
                    this->FillMethodRec(m->Name, static_cast<bool>(m->Params), Rec);
                Rec.IsFunction = m->IsFunction;
                break;
            case TrsMember::mkProperty:
                this->FillPropRec(m->Name, m->DataType, m->ReadOnly, Rec);
                Rec.ClassType = m->ClassType;
                Rec.EnumTypeName = m->EnumTypeName;
                break;
        }
        if (m->Params) Rec.Params = m->Params();
        if (AClass != nullptr && AClass->FindProp(m->Name) != nullptr) Rec.Published = true;
        return true;
    }
    std::unique_ptr<TrsParamList> GetParams(const std::string& Name) const override {
        const TrsMember* m = Self::MemberTable().Find(Name);
        if (m == nullptr || !m->Params) return Parent::GetParams(Name);
        return m->Params();
    }
    bool CallMethod(TObject* AObject, const std::string& Name, bool Flag, TrsParamList* Params) const override {
        const TrsMember* m = Self::MemberTable().Find(Name);
        if (m == nullptr || !m->Call) return Parent::CallMethod(AObject, Name, Flag, Params);
        return m->Call(AObject, Params, Flag);
    }
    bool GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const override {
        const TrsMember* m = RowFor(AObject, Name);
        if (m == nullptr || !m->Get) return Parent::GetPropValue(AObject, Name, Value);
        TrsValue v = m->Get(AObject);
        if (std::holds_alternative<std::monostate>(v)) return Parent::GetPropValue(AObject, Name, Value);
        Value = std::move(v);
        return true;
    }
    bool SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const override {
        const TrsMember* m = RowFor(AObject, Name);
        if (m == nullptr) return Parent::SetPropValue(AObject, Name, Value);
        if (m->Kind != TrsMember::mkProperty || m->ReadOnly) return false;
        if (!m->Set) return Parent::SetPropValue(AObject, Name, Value);
        const TrsValue v = rsValueAs(m->DataType, Value);
        if (std::holds_alternative<std::monostate>(v) && m->DataType != rsClass) return false;
        return m->Set(AObject, v);
    }

private:
    static const TrsMember* RowFor(TClass AClass, const std::string& Name) {
        const TrsMember* m = Self::MemberTable().Find(Name);
        if (m != nullptr && m->YieldsToPublished && AClass != nullptr && AClass->FindProp(m->Name) != nullptr)
            return nullptr;
        return m;
    }
    static const TrsMember* RowFor(TObject* AObject, const std::string& Name) {
        return RowFor(AObject != nullptr ? AObject->ClassType() : nullptr, Name);
    }
};

// Declares a table adapter: its class, its instance and its rows.
#define RP_TABLE_ADAPTER(Name, Parent)                     \
    class Name : public TrsTableRTTI<Name, Parent> {       \
    public:                                                \
        FAT_CLASS(Name)                                    \
        static const Name* Instance();                     \
        TClass DescribedClass() const override;            \
        static const TrsMemberTable& MemberTable();        \
    };

// Defines what RP_TABLE_ADAPTER declares but the rows.
#define RP_TABLE_ADAPTER_BODY(Name, Parent, Described)                                                      \
    TClass Name::StaticClassType() {                                                                        \
        static const TClassInfo info = TClassBuilder<Name>(#Name, Parent::StaticClassType()).Build();       \
        return &info;                                                                                       \
    }                                                                                                       \
    const Name* Name::Instance() {                                                                          \
        static const Name adapter;                                                                          \
        return &adapter;                                                                                    \
    }                                                                                                       \
    TClass Name::DescribedClass() const { return Described::StaticClassType(); }

// A unit's adapters, registered in their order and unregistered in reverse.
inline void RegisterRTTIClasses(const std::vector<TrsRTTIClass>& Adapters) {
    for (TrsRTTIClass a : Adapters) RegisterRTTIClass(a);
}
inline void UnregisterRTTIClasses(const std::vector<TrsRTTIClass>& Adapters) {
    for (auto it = Adapters.rbegin(); it != Adapters.rend(); ++it) UnregisterRTTIClass(*it);
}

// Row builders. C is the described class; an accessor is a member function
// of C or anything callable with a C&.
namespace rstable {

template <class C, class F>
TrsMember Prop(const std::string& Name, int DataType, F Get) {
    TrsMember m;
    m.Name = Name;
    m.DataType = DataType;
    m.Get = [Get](TObject* o) -> TrsValue {
        auto* c = dynamic_cast<C*>(o);
        if (c == nullptr) return {};
        auto v = std::invoke(Get, *c);
        return rsdetail::ToValue(v);
    };
    return m;
}

// A writable row; T is the setter's value type. A setter that answers a
// bool refuses a value by answering false.
template <class C, class T, class F, class S>
TrsMember WProp(const std::string& Name, int DataType, F Get, S Set) {
    TrsMember m = Prop<C>(Name, DataType, Get);
    m.ReadOnly = false;
    m.Set = [Set](TObject* o, const TrsValue& v) {
        auto* c = dynamic_cast<C*>(o);
        if (c == nullptr) return false;
        T x{};
        if (!rsdetail::FromValue(rsValueAs(rsdetail::CodeOf<T>(), v), x)) return false;
        if constexpr (std::is_same_v<std::invoke_result_t<S, C&, T&>, bool>) {
            return std::invoke(Set, *c, x);
        } else {
            std::invoke(Set, *c, x);
            return true;
        }
    };
    return m;
}

template <class C, class F>
TrsMember ClassProp(const std::string& Name, TClass Class, F Get) {
    TrsMember m = Prop<C>(Name, rsClass, [Get](C& c) { return static_cast<TObject*>(std::invoke(Get, c)); });
    m.ClassType = Class;
    return m;
}

template <class C, class T, class F, class S>
TrsMember WClassProp(const std::string& Name, TClass Class, F Get, S Set) {
    TrsMember m = WProp<C, T>(
        Name, rsClass, [Get](C& c) { return static_cast<TObject*>(std::invoke(Get, c)); }, Set);
    m.ClassType = Class;
    return m;
}

template <class C, class F>
TrsMember EnumProp(const std::string& Name, const std::string& TypeName, F Get) {
    TrsMember m = Prop<C>(Name, rsEnum, [Get](C& c) { return static_cast<int32_t>(std::invoke(Get, c)); });
    m.EnumTypeName = TypeName;
    return m;
}

// A number outside an enumeration of the library is no value of it.
template <class T>
bool InEnumeration(int32_t Value) {
    if constexpr (std::is_enum_v<T> && requires { rpEnumDecl<T>::Values; })
        return Value >= 0 && Value < static_cast<int32_t>(rpTypeInfo<T>()->EnumNames.size());
    else
        return true;
}

template <class C, class T, class F, class S>
TrsMember WEnumProp(const std::string& Name, const std::string& TypeName, F Get, S Set) {
    TrsMember m = WProp<C, int32_t>(
        Name, rsEnum, [Get](C& c) { return static_cast<int32_t>(std::invoke(Get, c)); },
        [Set](C& c, int32_t v) {
            if (!InEnumeration<T>(v)) return false;
            if constexpr (std::is_same_v<std::invoke_result_t<S, C&, T>, bool>) {
                return std::invoke(Set, c, static_cast<T>(v));
            } else {
                std::invoke(Set, c, static_cast<T>(v));
                return true;
            }
        });
    m.EnumTypeName = TypeName;
    return m;
}

// Params is a list of (name, code, by reference) of the event's parameters.
struct TrsParam {
    TrsParam(std::string AName, int ADataType, bool AIsVar = false, TClass AClassType = nullptr,
             std::string AEnumTypeName = {})
        : Name(std::move(AName)),
          DataType(ADataType),
          IsVar(AIsVar),
          ClassType(AClassType),
          EnumTypeName(std::move(AEnumTypeName)) {}
    std::string Name;
    int DataType = rsNone;
    bool IsVar = false;
    TClass ClassType = nullptr;
    std::string EnumTypeName;
};

inline std::function<std::unique_ptr<TrsParamList>()> ParamsOf(std::vector<TrsParam> Params) {
    return [Params] {
        auto list = std::make_unique<TrsParamList>();
        for (const TrsParam& p : Params) list->AddParam(p.Name, p.DataType, p.IsVar, false, p.EnumTypeName, p.ClassType);
        return list;
    };
}

inline TrsMember Event(const std::string& Name, int Number, std::vector<TrsParam> Params = {}) {
    TrsMember m;
    m.Name = Name;
    m.Kind = TrsMember::mkEvent;
    m.DataType = rsMethod;
    m.EventNumber = Number;
    if (!Params.empty()) m.Params = ParamsOf(std::move(Params));
    return m;
}

// A method without parameters or result.
template <class C, class F>
TrsMember Procedure(const std::string& Name, F Do) {
    TrsMember m;
    m.Name = Name;
    m.Kind = TrsMember::mkMethod;
    m.DataType = rsMethod;
    m.Call = [Do](TObject* o, TrsParamList*, bool) {
        auto* c = dynamic_cast<C*>(o);
        if (c == nullptr) return false;
        std::invoke(Do, *c);
        return true;
    };
    return m;
}

// A method whose parameters the caller binds; Do reads them and writes
// "Result" itself.
template <class C, class F>
TrsMember Method(const std::string& Name, std::vector<TrsParam> Params, F Do) {
    TrsMember m;
    m.Name = Name;
    m.Kind = TrsMember::mkMethod;
    m.DataType = rsMethod;
    m.IsFunction = !Params.empty() && SameText(Params.back().Name, "Result");
    m.Params = ParamsOf(std::move(Params));
    m.Call = [Do](TObject* o, TrsParamList* list, bool) {
        auto* c = dynamic_cast<C*>(o);
        if (c == nullptr || list == nullptr) return false;
        return Do(*c, *list);
    };
    return m;
}

// An indexed member whose parameters the caller binds; Do(c, list, Reading)
// reads them and writes "Result" itself, and decides what a write does.
template <class C, class F>
TrsMember Accessor(const std::string& Name, std::vector<TrsParam> Params, F Do) {
    TrsMember m = Method<C>(Name, std::move(Params), [](C&, TrsParamList&) { return false; });
    m.Call = [Do](TObject* o, TrsParamList* list, bool Reading) {
        auto* c = dynamic_cast<C*>(o);
        if (c == nullptr || list == nullptr) return false;
        return Do(*c, *list, Reading);
    };
    m.IsArray = true;
    m.IsFunction = false;
    return m;
}

// A published property under its scripting type: reads and writes go
// through the class's metadata.
inline TrsMember Published(const std::string& Name, int DataType, std::string EnumTypeName = {}) {
    TrsMember m;
    m.Name = Name;
    m.DataType = DataType;
    m.EnumTypeName = std::move(EnumTypeName);
    m.ReadOnly = false;
    return m;
}

// The row, answering only when named.
inline TrsMember Unlisted(TrsMember m) {
    m.Listed = false;
    return m;
}

// The row, giving way to a published property of the same name.
inline TrsMember Yielding(TrsMember m) {
    m.YieldsToPublished = true;
    return m;
}

// An indexed member: "Index" in, "Result" (an object of Class) out; nil
// outside 0..Count-1.
template <class C, class N, class F>
TrsMember Indexed(const std::string& Name, TClass Class, N Count, F Item) {
    TrsMember m = Method<C>(Name, {{"Index", rsInteger}, {"Result", rsClass, false, Class}},
                            [Count, Item](C& c, TrsParamList& list) {
                                TrsValue index;
                                if (!list.GetParamValue(0, index)) return false;
                                const int32_t i = std::get<int32_t>(index);
                                TObject* result = nullptr;
                                if (i >= 0 && i < static_cast<int32_t>(std::invoke(Count, c)))
                                    result = std::invoke(Item, c, i);
                                list.SetParamValue(1, TrsValue(std::in_place_type<TObject*>, result));
                                return true;
                            });
    m.IsArray = true;
    m.IsFunction = true;
    return m;
}

}  // namespace rstable
