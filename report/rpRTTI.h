#pragma once
// The scripting layer's view of report classes. For every class that scripts
// may see there is an adapter, TrsT<Class>RTTI, that lists, describes,
// reads, writes and calls the members of that class on a given object; an
// adapter handles its own member names (compared case-insensitively) and
// passes every other name to its parent adapter, which is its C++ base
// class. Adapters hold no state: each is one shared instance (Instance()),
// and an adapter "class" is a pointer to it.
//
// Adapters are registered in TrsRTTIClassRegistry under the name of the
// class they describe; a lookup finds the adapter of a class or of its
// nearest registered ancestor. The registry is safe to use from any thread
// (report generation in background printing looks adapters up).
//
// Values travel typed (TrsValue), never as raw buffers: an object reference
// keeps its whole pointer, a text its whole length. Method and event
// parameters travel in a TrsParamList, whose descriptors can be bound to the
// caller's variables so that a listener's change is seen by the caller.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/rtl/Currency.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/TypInfo.h"
#include "platform/rtl/Variant.h"

// Scripting data type codes.
enum TrsDataCode : int {
    rsNone = 0,
    rsInteger = 1,   // 32-bit
    rsSingle = 2,
    rsDouble = 3,
    rsExtended = 4,
    rsCurrency = 5,
    rsChar = 6,
    rsString = 7,
    rsDateTime = 8,
    rsDate = 9,
    rsTime = 10,
    rsBoolean = 11,
    rsVariant = 12,
    rsUnknown = 13,  // never copied
    rsClass = 14,
    rsEnum = 15,
    rsMethod = 16
};

// A value as the scripting layer passes it. Per code: 1 and 15 int32_t, 2
// float, 3 and 8..10 double, 4 long double, 5 Currency, 6 char, 7
// std::string, 11 bool, 12 Variant, 14 TObject*; nothing (monostate) for
// the others.
using TrsValue = std::variant<std::monostate, int32_t, float, double, long double, Currency, char, std::string, bool,
                              Variant, TObject*>;

// The value converted to the kind that Code carries (numbers between each
// other, a boolean as 0/1); monostate when it cannot be.
TrsValue rsValueAs(int Code, const TrsValue& Value);

namespace rsdetail {

template <class T>
TrsValue ToValue(const T& v) {
    if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, char> || std::is_same_v<T, float> ||
                  std::is_same_v<T, double> || std::is_same_v<T, long double> || std::is_same_v<T, Currency> ||
                  std::is_same_v<T, std::string> || std::is_same_v<T, Variant>)
        return v;
    else if constexpr (std::is_enum_v<T> || std::is_integral_v<T>)
        return static_cast<int32_t>(v);
    else if constexpr (std::is_pointer_v<T>)
        return static_cast<TObject*>(v);
    else
        static_assert(sizeof(T) == 0, "no scripting value for this type");
}

template <class T>
bool FromValue(const TrsValue& v, T& out) {
    if constexpr (std::is_pointer_v<T>) {
        using U = std::remove_pointer_t<T>;
        TObject* const* o = std::get_if<TObject*>(&v);
        if (o == nullptr) return false;
        if (*o == nullptr) {
            out = nullptr;
            return true;
        }
        U* typed = dynamic_cast<U*>(*o);
        if (typed == nullptr) return false;
        out = typed;
        return true;
    } else if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, Variant> ||
                         std::is_same_v<T, Currency> || std::is_same_v<T, bool> || std::is_same_v<T, char> ||
                         std::is_same_v<T, float> || std::is_same_v<T, double> || std::is_same_v<T, long double>) {
        if (const T* p = std::get_if<T>(&v)) {
            out = *p;
            return true;
        }
        return false;
    } else if constexpr (std::is_enum_v<T> || std::is_integral_v<T>) {
        if (const int32_t* p = std::get_if<int32_t>(&v)) {
            out = static_cast<T>(*p);
            return true;
        }
        return false;
    } else {
        static_assert(sizeof(T) == 0, "no scripting value for this type");
    }
}

// The scripting code of a C++ type, for the values a binding converts to.
template <class T>
constexpr int CodeOf() {
    if constexpr (std::is_same_v<T, bool>) return rsBoolean;
    else if constexpr (std::is_same_v<T, char>) return rsChar;
    else if constexpr (std::is_same_v<T, float>) return rsSingle;
    else if constexpr (std::is_same_v<T, double>) return rsDouble;
    else if constexpr (std::is_same_v<T, long double>) return rsExtended;
    else if constexpr (std::is_same_v<T, Currency>) return rsCurrency;
    else if constexpr (std::is_same_v<T, std::string>) return rsString;
    else if constexpr (std::is_same_v<T, Variant>) return rsVariant;
    else if constexpr (std::is_pointer_v<T>) return rsClass;
    else return rsInteger;
}

}  // namespace rsdetail

// A parameter's link to the caller's variable.
struct TrsBinding {
    std::function<TrsValue()> Load;
    std::function<bool(const TrsValue&)> Store;  // empty for a const parameter
    bool Bound() const { return static_cast<bool>(Load); }
};

class TrsParamDescriptor : public TObject {
public:
    FAT_CLASS_NAME(TrsParamDescriptor)
    std::string Name;
    int32_t DataType = rsNone;
    TClass ClassType = nullptr;  // code 14
    std::string EnumTypeName;    // code 15
    bool IsVar = false;          // the listener may change it
    bool IsConst = false;
    TrsBinding Value;            // unbound until BindParam
};

// The parameters of a method or event, named, in the order of adding; a
// method with a result has a last parameter named "Result". The list owns
// its descriptors.
class TrsParamList {
public:
    TrsParamList() = default;
    TrsParamList(const TrsParamList&) = delete;
    TrsParamList& operator=(const TrsParamList&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& Names(int Index) const { return Item(Index).Name; }
    TrsParamDescriptor* Items(int Index) const { return &Item(Index); }
    // Case-insensitive; -1 when absent.
    int IndexOf(const std::string& Name) const;

    // Appends an unbound descriptor.
    void AddParam(const std::string& Name, int DataType, bool IsVar, bool IsConst,
                  const std::string& EnumTypeName = "", TClass ClassType = nullptr);
    // A copy of the descriptor at Index (binding included).
    void GetParamRec(int Index, TrsParamDescriptor& Descriptor) const;

    // Links parameter Index to the caller's variable; the variable's type
    // decides how values convert. Raises EListError outside the list.
    template <class T>
    TrsParamDescriptor* BindParam(int Index, T* Address) {
        TrsParamDescriptor& d = Item(Index);
        d.Value.Load = [Address] { return rsdetail::ToValue(*Address); };
        d.Value.Store = [Address](const TrsValue& v) {
            return rsdetail::FromValue(rsValueAs(rsdetail::CodeOf<T>(), v), *Address);
        };
        return &d;
    }
    // A read-only link: listeners read the variable, SetParamValue changes nothing.
    template <class T>
    TrsParamDescriptor* BindConstParam(int Index, const T* Address) {
        TrsParamDescriptor& d = Item(Index);
        d.Value.Load = [Address] { return rsdetail::ToValue(*Address); };
        d.Value.Store = nullptr;
        return &d;
    }

    // Copies a value into / out of the bound variable, as the descriptor's
    // code says. False (nothing copied) for codes 0, 13 and 16, an unbound or
    // const parameter, an index outside the list, or a value of another kind.
    bool SetParamValue(int Index, const TrsValue& Value);
    bool GetParamValue(int Index, TrsValue& Value) const;

private:
    TrsParamDescriptor& Item(int Index) const;
    std::vector<std::unique_ptr<TrsParamDescriptor>> items_;
};

// A member as an adapter describes it.
struct TrsMemberDescriptor {
    std::string Name;
    TClass ClassType = nullptr;  // class-typed property, class result, or the class a constructor makes
    std::string EnumTypeName;
    int DataType = rsNone;
    bool Published = false;
    bool ReadOnly = false;
    bool IsFunction = false;
    bool IsArrayProperty = false;
    int32_t EventNumber = -1;
    std::shared_ptr<TrsParamList> Params;  // shared by copies of the descriptor
};

// The scripting code of a published property's type: integer 1, character 6,
// enumeration 15, floats by kind (single 2, double and date-time 3,
// extended 4, currency 5), texts 7, class 14, variant 12, anything else 0.
int GetRTTIDataType(const TTypeInfo* TypeInfo);

void AddPropName(TStrings* Names, const std::string& Name);
void AddMethodName(TStrings* Names, const std::string& Name);
void RemovePropName(TStrings* Names, const std::string& Name);
// Appends the published properties of AClass whose kinds are in Kinds.
void AddPublishedPropNames(TClass AClass, TStrings* Names, TSet<TTypeKind> Kinds);

class TrsRTTI : public TPersistent {
public:
    FAT_CLASS(TrsRTTI)
    static const TrsRTTI* Instance();

    // The names of the scriptable members and events.
    virtual void GetPropList(TClass AClass, TStrings* Names) const;
    virtual void GetEventList(TClass AClass, TStrings* Names) const;
    virtual TClass DescribedClass() const;
    virtual bool GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const;
    // For an indexed property Flag is true when it is being read.
    virtual bool CallMethod(TObject* AObject, const std::string& Name, bool Flag, TrsParamList* Params) const;
    // A new list describing a method's parameters, or nullptr.
    virtual std::unique_ptr<TrsParamList> GetParams(const std::string& Name) const;
    virtual bool GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const;
    // The member's value as text; empty for a name the adapter does not know.
    virtual void GetPropText(TObject* AObject, const std::string& Name, std::string& Text) const;
    virtual bool SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const;

    bool PropExists(TObject* AObject, const std::string& Name) const;
    // True when this adapter's class is Adapter's or descends from it.
    bool InheritsFromAdapter(const TrsRTTI* Adapter) const;

protected:
    void FillPropRec(const std::string& Name, int DataType, bool ReadOnly, TrsMemberDescriptor& Rec) const;
    void FillMethodRec(const std::string& Name, bool HasParams, TrsMemberDescriptor& Rec) const;
    void FillConstructorRec(const std::string& Name, TClass Class, TrsMemberDescriptor& Rec) const;
    void FillArrayPropRec(const std::string& Name, TrsMemberDescriptor& Rec) const;
    void FillClassPropRec(const std::string& Name, TClass Class, bool ReadOnly, TrsMemberDescriptor& Rec) const;
    void FillEnumPropRec(const std::string& Name, const std::string& TypeName, bool ReadOnly,
                         TrsMemberDescriptor& Rec) const;
    void FillEventRec(const std::string& Name, int EventNumber, bool HasParams, TrsMemberDescriptor& Rec) const;
};

using TrsRTTIClass = const TrsRTTI*;

// TObject's members: "ClassName", "Create" (a constructor), "Free".
class TrsTObjectRTTI : public TrsRTTI {
public:
    FAT_CLASS(TrsTObjectRTTI)
    static const TrsTObjectRTTI* Instance();
    void GetPropList(TClass AClass, TStrings* Names) const override;
    TClass DescribedClass() const override;
    bool GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const override;
    bool CallMethod(TObject* AObject, const std::string& Name, bool Flag, TrsParamList* Params) const override;
    std::unique_ptr<TrsParamList> GetParams(const std::string& Name) const override;
};

// TPersistent's "Assign". Not registered: a plain persistent gets the TObject adapter.
class TrsTPersistentRTTI : public TrsTObjectRTTI {
public:
    FAT_CLASS(TrsTPersistentRTTI)
    static const TrsTPersistentRTTI* Instance();
    void GetPropList(TClass AClass, TStrings* Names) const override;
    TClass DescribedClass() const override;
    bool GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const override;
    bool CallMethod(TObject* AObject, const std::string& Name, bool Flag, TrsParamList* Params) const override;
    std::unique_ptr<TrsParamList> GetParams(const std::string& Name) const override;
};

// TComponent's "Owner" (read-only) and "Tag"; "Create" takes the owner first.
class TrsTComponentRTTI : public TrsTPersistentRTTI {
public:
    FAT_CLASS(TrsTComponentRTTI)
    static const TrsTComponentRTTI* Instance();
    void GetPropList(TClass AClass, TStrings* Names) const override;
    TClass DescribedClass() const override;
    bool GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const override;
    bool CallMethod(TObject* AObject, const std::string& Name, bool Flag, TrsParamList* Params) const override;
    std::unique_ptr<TrsParamList> GetParams(const std::string& Name) const override;
    bool GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const override;
    bool SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const override;
};

// One list of (described class name, adapter) for the process.
class TrsRTTIClassRegistry {
public:
    // The adapter of AClass: one registered under its name, else the
    // registered adapter of its nearest described ancestor; nullptr when none.
    static TrsRTTIClass GetRTTIClass(TClass AClass);
    // The adapters registered, in order.
    static std::vector<TrsRTTIClass> Adapters();
};

// A second adapter for a class already described is ignored; the first stays.
void RegisterRTTIClass(TrsRTTIClass Adapter);
// Removes the entry only when it holds this very adapter.
void UnregisterRTTIClass(TrsRTTIClass Adapter);

namespace report {
// The root adapters (TObject, TComponent).
void RegisterRootAdapters();
void UnregisterRootAdapters();
}  // namespace report
