#pragma once
// Report parameters: named, typed values that a report carries for its
// event handlers and scripts. TrpParameterList holds them as its children
// (and owns them); a parameter's name is its component name, unique in the
// list regardless of letter case.
//
// A parameter's Value always holds a variant of the kind its DataType
// names; only the kinds in DataTypeToVarType can be chosen. A Null
// assignment sets IsNull and keeps the previous Value.
//
// Insert mode: asking the list for a name it does not hold gives a pending
// parameter of that name, outside the list; the first value set on it puts
// it into the list under that name. Each pending parameter keeps the name it
// was asked for, however many other names are asked for before it is
// assigned, and one name asked twice gives the same pending parameter. When
// the name has meanwhile been added to the list, values set on the pending
// parameter go to the listed one.
//
// Stream form: the list is a component whose children are its parameters;
// a parameter stores DataType, Value (Null when IsNull) and a non-empty
// PickList.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Lists.h"
#include "platform/rtl/Variant.h"
#include "report/rpRelatv.h"
#include "report/rpTypes.h"

class TrpParameter : public TrpRelative {
public:
    explicit TrpParameter(TComponent* AOwner);
    ~TrpParameter() override;
    FAT_CLASS(TrpParameter)

    TrpDataType DataType() const { return dataType_; }
    // Raises EParameterError for a type without a variant kind. Outside
    // loading, the value is converted to the new kind first; when that
    // fails, type and value stay as they were and the error goes on.
    void SetDataType(TrpDataType Value);
    const Variant& Value() const { return value_; }
    // Unassigned or Null sets IsNull and changes nothing else; any other
    // value is stored converted to the DataType's kind and Changed fires.
    virtual void SetValue(const Variant& V);
    bool IsNull() const { return isNull_; }
    // Made on first use.
    TStrings* PickList() const;
    void SetPickList(TStrings* Value);
    bool HasPickList() const { return pickList_ != nullptr && pickList_->Count() > 0; }

    // From another parameter: name, data type, null flag, value and pick
    // list. Other sources are refused.
    void Assign(TPersistent* Source) override;

    virtual void Changed();
    virtual TrpDataType VarTypeToDataType(TVarType Value) const;
    // varUnknown (13) for a type that cannot be chosen.
    virtual TVarType DataTypeToVarType(TrpDataType Value) const;

    void Loaded() override;

    TNotifyEvent OnChange;

private:
    // What the stream stores for Value: Null for a null parameter.
    Variant StoredValue() const;

    TrpDataType dataType_ = dtString;
    Variant value_ = Variant(std::string());
    bool isNull_ = false;
    mutable std::unique_ptr<TStringList> pickList_;
};

class TrpParameterList : public TrpRelative {
public:
    explicit TrpParameterList(TComponent* AOwner);
    ~TrpParameterList() override;
    FAT_CLASS(TrpParameterList)

    bool InsertMode() const { return insertMode_; }
    void SetInsertMode(bool Value) { insertMode_ = Value; }

    int Count() const { return ChildCount(); }
    // nullptr outside 0..Count-1.
    TrpParameter* Items(int Index) const;

    // Raises EParameterError when the name is taken (letter case aside).
    TrpParameter* Add(const std::string& Name);
    // Type and value are checked before anything is added: an unsupported
    // type or a value that does not convert leaves the list as it was.
    TrpParameter* Add(const std::string& Name, TrpDataType DataType, const Variant& Value);
    TrpParameter* FindItem(const std::string& Name) const;
    bool InList(const std::string& Name) const { return FindItem(Name) != nullptr; }
    void Remove(const std::string& Name);
    void Clear();

    // The listed parameter; in insert mode a pending one for a missing name
    // (see the top of the file); otherwise EParameterError.
    virtual TrpParameter* GetItemForName(const std::string& Name);
    virtual void GetValue(const std::string& Name, Variant& Value);

    // From another list: copies of its parameters replace this list's, all
    // made before anything is cleared. From nothing: clears.
    void Assign(TPersistent* Source) override;

    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;
    TComponent* GetChildOwner() override { return this; }

private:
    void PendingChanged(TrpParameter* Pending);

    bool insertMode_ = true;
    std::vector<std::unique_ptr<TrpParameter>> pending_;
};

// Scripting: Count, InsertMode, the indexed Values (default), Items and
// ItemsByIndex, and the methods AddName, Add, InList, Remove, Clear, Assign
// and EqualTo (described, never carried out).
RP_TABLE_ADAPTER(TrsTrpParameterListRTTI, TrsTrpRelativeRTTI)

namespace report {
void RegisterParameterClasses();
void UnregisterParameterClasses();
}  // namespace report
