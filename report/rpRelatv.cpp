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

using namespace rstable;

RP_TABLE_ADAPTER_BODY(TrsTrpCommunicatorRTTI, TrsTComponentRTTI, TrpCommunicator)

const TrsMemberTable& TrsTrpCommunicatorRTTI::MemberTable() {
    static const TrsMemberTable table{
        WProp<TrpCommunicator, std::string>("UserName", rsString, &TrpCommunicator::UserName,
                                            &TrpCommunicator::SetUserName),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpRelativeRTTI, TrsTrpCommunicatorRTTI, TrpRelative)

const TrsMemberTable& TrsTrpRelativeRTTI::MemberTable() {
    using R = TrpRelative;
    static const TrsMemberTable table{
        Yielding(Prop<R>("AllChildCount", rsInteger, &R::GetAllChildCount)),
        Yielding(Prop<R>("ChildCount", rsInteger, &R::ChildCount)),
        Yielding(WProp<R, int32_t>("ChildType", rsInteger, &R::ChildType, &R::SetChildType)),
        Yielding(Prop<R>("FreeingChildren", rsBoolean, &R::FreeingChildren)),
        Yielding(Prop<R>("Index", rsInteger, &R::Index)),
        Yielding(WProp<R, bool>("OrderedChildren", rsBoolean, &R::OrderedChildren, &R::SetOrderedChildren)),
        Yielding(WClassProp<R, TrpRelative*>("Parent", TrpRelative::StaticClassType(), &R::Parent, &R::SetParent)),
        Yielding(WProp<R, int32_t>("Position", rsInteger, &R::Position, &R::SetPosition)),
    };
    return table;
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
