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

using namespace rstable;

namespace {

// The text of the first parameter, "Name"; false when the caller bound none.
bool NameOf(TrsParamList& Params, std::string& Name) {
    TrsValue v;
    if (!Params.GetParamValue(0, v) || !std::holds_alternative<std::string>(v)) return false;
    Name = std::get<std::string>(v);
    return true;
}

}  // namespace

RP_TABLE_ADAPTER_BODY(TrsTrpParameterListRTTI, TrsTrpRelativeRTTI, TrpParameterList)

const TrsMemberTable& TrsTrpParameterListRTTI::MemberTable() {
    using L = TrpParameterList;
    const TClass parameter = TrpParameter::StaticClassType();
    const TClass list = TrpParameterList::StaticClassType();
    static const TrsMemberTable table{
        Prop<L>("Count", rsInteger, &L::Count),
        WProp<L, bool>("InsertMode", rsBoolean, &L::InsertMode, &L::SetInsertMode),
        Accessor<L>("Values", {{"Name", rsString}, {"Result", rsVariant}},
                    [](L& l, TrsParamList& params, bool Reading) {
                        std::string name;
                        if (!NameOf(params, name)) return false;
                        Variant value;
                        if (Reading) {
                            l.GetValue(name, value);
                            return params.SetParamValue(1, value);
                        }
                        TrsValue v;
                        if (!params.GetParamValue(1, v)) return false;
                        l.GetItemForName(name)->SetValue(std::get<Variant>(v));
                        return true;
                    }),
        Accessor<L>("Items", {{"Name", rsString}, {"Result", rsClass, false, parameter}},
                    [](L& l, TrsParamList& params, bool) {
                        std::string name;
                        return NameOf(params, name) &&
                               params.SetParamValue(1, static_cast<TObject*>(l.GetItemForName(name)));
                    }),
        Accessor<L>("ItemsByIndex", {{"Index", rsInteger}, {"Result", rsClass, false, parameter}},
                    [](L& l, TrsParamList& params, bool) {
                        TrsValue index;
                        if (!params.GetParamValue(0, index)) return false;
                        return params.SetParamValue(1, static_cast<TObject*>(l.Items(std::get<int32_t>(index))));
                    }),
        Method<L>("AddName", {{"Name", rsString}, {"Result", rsClass, false, parameter}},
                  [](L& l, TrsParamList& params) {
                      std::string name;
                      return NameOf(params, name) && params.SetParamValue(1, static_cast<TObject*>(l.Add(name)));
                  }),
        Method<L>("Add",
                  {{"Name", rsString},
                   {"DataType", rsEnum, false, nullptr, "TrpDataType"},
                   {"Value", rsVariant},
                   {"Result", rsClass, false, parameter}},
                  [](L& l, TrsParamList& params) {
                      std::string name;
                      TrsValue type, value;
                      if (!NameOf(params, name) || !params.GetParamValue(1, type) || !params.GetParamValue(2, value)) return false;
                      const int32_t code = std::get<int32_t>(type);
                      if (code < dtBoolean || code > dtGUID) return false;
                      TrpParameter* added = l.Add(name, static_cast<TrpDataType>(code), std::get<Variant>(value));
                      return params.SetParamValue(3, static_cast<TObject*>(added));
                  }),
        Method<L>("InList", {{"Name", rsString}, {"Result", rsBoolean}},
                  [](L& l, TrsParamList& params) {
                      std::string name;
                      return NameOf(params, name) && params.SetParamValue(1, l.InList(name));
                  }),
        Method<L>("Remove", {{"Name", rsString}},
                  [](L& l, TrsParamList& params) {
                      std::string name;
                      if (!NameOf(params, name)) return false;
                      l.Remove(name);
                      return true;
                  }),
        [] {
            // Takes nothing, yet describes its (empty) parameter list.
            TrsMember clear = Procedure<L>("Clear", [](L& l) { l.Clear(); });
            clear.Params = ParamsOf({});
            return clear;
        }(),
        Method<L>("Assign", {{"Source", rsClass, false, list}},
                  [](L& l, TrsParamList& params) {
                      TrsValue source;
                      L* other = nullptr;
                      if (!params.GetParamValue(0, source) || !rsdetail::FromValue(source, other)) return false;
                      l.Assign(other);
                      return true;
                  }),
        // Described, never carried out.
        Method<L>("EqualTo", {{"Source", rsClass, false, list}, {"Result", rsBoolean}},
                  [](L&, TrsParamList&) { return false; }),
    };
    return table;
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
