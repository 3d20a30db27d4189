#include "report/rpRelatv.h"

#include <algorithm>
#include <atomic>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Strings.h"

TClass TrpRelative::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpRelative>("TrpRelative", TrpCommunicator::StaticClassType()).Build();
    return &info;
}

TrpRelative::TrpRelative(TComponent* AOwner) : TrpCommunicator(AOwner) {}

TrpRelative::~TrpRelative() {
    if (parent_ != nullptr) parent_->RemoveChild(this);
    parent_ = nullptr;
    FreeChildren();
}

bool TrpRelative::WouldCycle(const TrpRelative* NewParent) const {
    for (const TrpRelative* p = NewParent; p != nullptr; p = p->parent_)
        if (p == this) return true;
    return false;
}

void TrpRelative::SetParent(TrpRelative* NewParent) {
    if (!AcceptsParent() || NewParent == parent_ || WouldCycle(NewParent)) return;
    if (parent_ != nullptr) parent_->RemoveChild(this);
    if (NewParent != nullptr) NewParent->AddChild(this);
}

TrpRelative* TrpRelative::Children(int Index) const {
    if (Index < 0 || Index >= ChildCount()) return nullptr;
    return children_[static_cast<std::size_t>(Index)];
}

int TrpRelative::Index() const { return parent_ ? parent_->IndexOfChild(this) : -1; }

void TrpRelative::AddChild(TrpRelative* Child) { InsertChild(ChildCount(), Child); }

void TrpRelative::InsertChild(int Index, TrpRelative* Child) {
    // Listed here exactly when its parent is this: no search of the list.
    if (Child == nullptr || Child->parent_ == this || Child->WouldCycle(this)) return;
    if (Child->parent_ != nullptr && Child->parent_ != this) Child->parent_->RemoveChild(Child);
    Index = std::clamp(Index, 0, ChildCount());
    children_.insert(children_.begin() + Index, Child);
    Child->parent_ = this;
}

// Searched from the end: children are mostly added and freed last first,
// so freeing a page of a thousand commands stays linear.
int TrpRelative::IndexOfChild(const TrpRelative* Child) const {
    auto it = std::find(children_.rbegin(), children_.rend(), Child);
    return it == children_.rend() ? -1 : static_cast<int>(children_.rend() - it) - 1;
}

void TrpRelative::RemoveChild(TrpRelative* Child) {
    auto it = std::find(children_.rbegin(), children_.rend(), Child);
    if (it == children_.rend()) return;
    children_.erase(std::next(it).base());
    if (Child->parent_ == this) Child->parent_ = nullptr;
}

void TrpRelative::FreeChildren() {
    freeingChildren_ = true;
    // A child's destructor takes it out of the list; a snapshot keeps the
    // walk safe whatever a child frees on its way out.
    const std::vector<TrpRelative*> snapshot = children_;
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it)
        if (IndexOfChild(*it) >= 0) delete *it;
    for (TrpRelative* c : children_) c->parent_ = nullptr;
    children_.clear();
    freeingChildren_ = false;
}

void TrpRelative::ForAllChildren(const TrpRelativeProc& Proc, void* Data) {
    const std::vector<TrpRelative*> snapshot = children_;
    for (TrpRelative* c : snapshot)
        if (IndexOfChild(c) >= 0) Proc(c, Data);
    ForEachChild(Proc, Data);
}

void TrpRelative::Transfer(TrpRelative* Source) {
    // Taking over one's own place, or that of an object below, would free the source first.
    if (Source == nullptr || WouldCycle(Source)) return;
    orderedChildren_ = Source->orderedChildren_;
    SetParent(Source->parent_);
    FreeChildren();
    TComponent* sourceOwner = Source->Owner();
    while (Source->ChildCount() > 0) {
        TrpRelative* child = Source->children_.front();
        child->SetParent(this);
        // A child that refuses the move would keep the loop here forever.
        if (child->parent_ != this) Source->RemoveChild(child);
        if (sourceOwner != nullptr && child->Owner() == sourceOwner && Owner() != sourceOwner) child->ChangeOwner(Owner());
    }
}

void TrpRelative::SetChildType(int Value) {
    TrpRelative* parent = parent_;
    if (parent != nullptr) parent->RemoveChild(this);
    childType_ = Value;
    if (parent != nullptr) parent->AddChild(this);
}

void TrpRelative::SetPosition(int Value) {
    const TComponentState st = ComponentState();
    if (!st.Contains(csReading) && !st.Contains(csLoading) && parent_ != nullptr) {
        TrpRelative* parent = parent_;
        const int last = parent->ChildCount() - 1;
        const int target = std::clamp(Value, 0, std::max(last, 0));
        if (Index() != target) {
            parent->RemoveChild(this);
            parent->InsertChild(target, this);
        }
        PropertyChange();
    }
    position_ = Value;
}

void TrpRelative::OrderChildren() {
    if (!orderedChildren_ || children_.empty()) return;
    std::vector<TrpRelative*> table(children_.size(), nullptr);
    for (TrpRelative* c : children_) {
        const int p = c->position_;
        if (p >= 0 && p < static_cast<int>(table.size()) && table[static_cast<std::size_t>(p)] == nullptr)
            table[static_cast<std::size_t>(p)] = c;
    }
    for (std::size_t i = 0; i < table.size(); ++i) {
        TrpRelative* c = table[i];
        if (c == nullptr) continue;
        auto it = std::find(children_.begin(), children_.end(), c);
        children_.erase(it);
        children_.insert(children_.begin() + static_cast<std::ptrdiff_t>(i), c);
    }
}

void TrpRelative::PropertyChange() {
    TrpCommunicator::PropertyChange();
    if (parent_ != nullptr) parent_->PropertyChange();
    ChildrenChanged();
}

void TrpRelative::ChangeOwner(TComponent* NewOwner) {
    TComponent* old = Owner();
    if (NewOwner == old) return;
    TrpCommunicator::ChangeOwner(NewOwner);
    const std::vector<TrpRelative*> snapshot = children_;
    for (TrpRelative* c : snapshot)
        if (c->Owner() == old) c->ChangeOwner(NewOwner);
}

void TrpRelative::SetParentComponent(TComponent* Value) {
    if (auto* r = dynamic_cast<TrpRelative*>(Value)) SetParent(r);
}

void TrpRelative::DefineProperties(TFiler* Filer) {
    TrpCommunicator::DefineProperties(Filer);
    Filer->DefineProperty(
        "ChildType", [this](TReader* Reader) { childType_ = Reader->ReadInteger(); }, nullptr, false);
}

void TrpRelative::ReadState(TReader* Reader) {
    TrpCommunicator::ReadState(Reader);
    OrderChildren();
}

// ---------------------------------------------------------------------------
// Scripting

TClass TrsTrpRelativeRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTrpRelativeRTTI>("TrsTrpRelativeRTTI", TrsTComponentRTTI::StaticClassType()).Build();
    return &info;
}

const TrsTrpRelativeRTTI* TrsTrpRelativeRTTI::Instance() {
    static const TrsTrpRelativeRTTI adapter;
    return &adapter;
}

namespace {

const char* const kRelativeMembers[] = {"AllChildCount", "ChildCount",      "ChildType", "FreeingChildren",
                                        "Index",         "OrderedChildren", "Parent",    "Position"};

}  // namespace

void TrsTrpRelativeRTTI::GetPropList(TClass AClass, TStrings* Names) const {
    TrsTComponentRTTI::GetPropList(AClass, Names);
    for (const char* name : kRelativeMembers) AddPropName(Names, name);
}

TClass TrsTrpRelativeRTTI::DescribedClass() const { return TrpRelative::StaticClassType(); }

// A class may publish a property under one of the relative's names (a
// line's Position is where it is drawn): the published one wins.
bool TrsTrpRelativeRTTI::GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const {
    if (AClass != nullptr && AClass->FindProp(Name) != nullptr) return TrsTComponentRTTI::GetPropRec(AClass, Name, Rec);
    if (SameText(Name, "AllChildCount") || SameText(Name, "ChildCount") || SameText(Name, "Index"))
        FillPropRec(Name, rsInteger, true, Rec);
    else if (SameText(Name, "ChildType") || SameText(Name, "Position"))
        FillPropRec(Name, rsInteger, false, Rec);
    else if (SameText(Name, "FreeingChildren"))
        FillPropRec(Name, rsBoolean, true, Rec);
    else if (SameText(Name, "OrderedChildren"))
        FillPropRec(Name, rsBoolean, false, Rec);
    else if (SameText(Name, "Parent"))
        FillClassPropRec(Name, TrpRelative::StaticClassType(), false, Rec);
    else
        return TrsTComponentRTTI::GetPropRec(AClass, Name, Rec);
    return true;
}

bool TrsTrpRelativeRTTI::GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const {
    auto* r = dynamic_cast<TrpRelative*>(AObject);
    if (r == nullptr || r->ClassType()->FindProp(Name) != nullptr)
        return TrsTComponentRTTI::GetPropValue(AObject, Name, Value);
    if (SameText(Name, "AllChildCount")) Value = static_cast<int32_t>(r->GetAllChildCount());
    else if (SameText(Name, "ChildCount")) Value = static_cast<int32_t>(r->ChildCount());
    else if (SameText(Name, "ChildType")) Value = static_cast<int32_t>(r->ChildType());
    else if (SameText(Name, "FreeingChildren")) Value = r->FreeingChildren();
    else if (SameText(Name, "Index")) Value = static_cast<int32_t>(r->Index());
    else if (SameText(Name, "OrderedChildren")) Value = r->OrderedChildren();
    else if (SameText(Name, "Parent")) Value = static_cast<TObject*>(r->Parent());
    else if (SameText(Name, "Position")) Value = static_cast<int32_t>(r->Position());
    else return TrsTComponentRTTI::GetPropValue(AObject, Name, Value);
    return true;
}

bool TrsTrpRelativeRTTI::SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const {
    auto* r = dynamic_cast<TrpRelative*>(AObject);
    if (r == nullptr || r->ClassType()->FindProp(Name) != nullptr)
        return TrsTComponentRTTI::SetPropValue(AObject, Name, Value);
    if (SameText(Name, "ChildType") || SameText(Name, "Position")) {
        const TrsValue v = rsValueAs(rsInteger, Value);
        if (!std::holds_alternative<int32_t>(v)) return false;
        if (SameText(Name, "ChildType"))
            r->SetChildType(std::get<int32_t>(v));
        else
            r->SetPosition(std::get<int32_t>(v));
        return true;
    }
    if (SameText(Name, "OrderedChildren")) {
        const TrsValue v = rsValueAs(rsBoolean, Value);
        if (!std::holds_alternative<bool>(v)) return false;
        r->SetOrderedChildren(std::get<bool>(v));
        return true;
    }
    if (SameText(Name, "Parent")) {
        const TrsValue v = rsValueAs(rsClass, Value);
        if (!std::holds_alternative<TObject*>(v)) return false;
        TObject* o = std::get<TObject*>(v);
        auto* parent = dynamic_cast<TrpRelative*>(o);
        if (o != nullptr && parent == nullptr) return false;
        r->SetParent(parent);
        return true;
    }
    for (const char* name : kRelativeMembers)
        if (SameText(Name, name)) return false;  // read-only
    return TrsTComponentRTTI::SetPropValue(AObject, Name, Value);
}

namespace report {

namespace {
std::atomic<int> relativeUses{0};
}

void RegisterRelativeClasses() {
    if (relativeUses++ > 0) return;
    RegisterClass(TrpRelative::StaticClassType());
    RegisterRTTIClass(TrsTrpRelativeRTTI::Instance());
}

void UnregisterRelativeClasses() {
    if (relativeUses.load() <= 0 || --relativeUses > 0) return;
    UnregisterRTTIClass(TrsTrpRelativeRTTI::Instance());
    UnRegisterClass(TrpRelative::StaticClassType());
}

}  // namespace report
