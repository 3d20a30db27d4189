#include "platform/rtl/Component.h"

#include <algorithm>

#include "platform/rtl/TypInfo.h"

namespace {

std::string IdentKey(const std::string& a) {
    std::string key = a;
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return key;
}

bool SameIdent(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

std::string UpperIdent(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

}  // namespace

bool IsValidIdent(const std::string& Ident) {
    if (Ident.empty()) return false;
    auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
    if (!alpha(Ident[0])) return false;
    for (char c : Ident)
        if (!alpha(c) && !(c >= '0' && c <= '9')) return false;
    return true;
}

// ---------------------------------------------------------------------------
// TPersistent

void TPersistent::Assign(TPersistent* Source) {
    if (Source != nullptr) {
        Source->AssignTo(this);
        return;
    }
    AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* Dest) { Dest->AssignError(this); }

void TPersistent::AssignError(TPersistent* Source) {
    std::string sourceName = Source ? Source->ClassName() : std::string("nil");
    throw EConvertError("Cannot assign a " + sourceName + " to a " + ClassName());
}

std::string TPersistent::GetNamePath() const {
    std::string s = ClassName();
    TPersistent* owner = GetOwner();
    if (owner != nullptr) {
        std::string path = owner->GetNamePath();
        if (!path.empty()) s = path + "." + s;
    }
    return s;
}

void TPersistent::DefineProperties(TFiler*) {}

// ---------------------------------------------------------------------------
// TComponent

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    Destroying();
    NotifyFreeNotifies();
    DestroyComponents();
    if (owner_ != nullptr) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int Index) const {
    if (Index < 0 || Index >= ComponentCount())
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return components_[static_cast<std::size_t>(Index)];
}

int TComponent::ComponentIndex() const {
    if (owner_ == nullptr) return -1;
    auto& list = owner_->components_;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TComponent::SetComponentIndex(int Value) {
    if (owner_ == nullptr) return;
    int current = ComponentIndex();
    if (current < 0) return;
    auto& list = owner_->components_;
    int count = static_cast<int>(list.size());
    if (Value < 0) Value = 0;
    if (Value >= count) Value = count - 1;
    if (Value == current) return;
    list.erase(list.begin() + current);
    list.insert(list.begin() + Value, this);
    owner_->RebuildHearers();
}

long long& TComponent::ListVisits() {
    static long long visits = 0;
    return visits;
}

void TComponent::RebuildHearers() {
    hearers_.clear();
    for (TComponent* c : components_)
        if (c->Hears()) hearers_.push_back(c);
}

void TComponent::SetHearsSiblings(bool Value) {
    if (Value == hearsSiblings_) return;
    hearsSiblings_ = Value;
    if (owner_ == nullptr) return;
    if (Value) {
        owner_->RebuildHearers();
        return;
    }
    if (Hears()) return;
    // Declared by the constructor, just after the owner took it in: last.
    auto& list = owner_->hearers_;
    if (auto it = std::find(list.rbegin(), list.rend(), this); it != list.rend()) list.erase(std::next(it).base());
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
    if (AName.empty()) return nullptr;
    auto it = names_.find(IdentKey(AName));
    return it == names_.end() ? nullptr : it->second;
}

void TComponent::IndexName(TComponent* AComponent) {
    if (AComponent->name_.empty()) return;
    if (!names_.emplace(IdentKey(AComponent->name_), AComponent).second) ++duplicates_;
}

void TComponent::UnindexName(TComponent* AComponent) {
    if (AComponent->name_.empty()) return;
    const std::string key = IdentKey(AComponent->name_);
    auto it = names_.find(key);
    if (it == names_.end() || it->second != AComponent) {
        if (duplicates_ > 0) --duplicates_;
        return;
    }
    names_.erase(it);
    if (duplicates_ == 0) return;
    // Another sibling of the same name now answers for it.
    for (TComponent* c : components_) {
        if (c != AComponent && SameIdent(c->name_, AComponent->name_)) {
            names_.emplace(key, c);
            --duplicates_;
            return;
        }
    }
}

void TComponent::ChangeName(const std::string& NewName) {
    if (owner_ != nullptr) owner_->UnindexName(this);
    name_ = NewName;
    if (owner_ != nullptr) owner_->IndexName(this);
}

void TComponent::InsertComponent(TComponent* AComponent) {
    if (AComponent == nullptr) return;
    if (AComponent == this) throw EComponentError("A component cannot own itself");
    for (TComponent* o = owner_; o != nullptr; o = o->owner_)
        if (o == AComponent) throw EComponentError("A component cannot own one of its owners");
    ValidateInsert(AComponent);
    ValidateRename(AComponent, "", AComponent->name_);
    if (AComponent->owner_ != nullptr) AComponent->owner_->RemoveComponent(AComponent);
    Insert(AComponent);
    if (state_.Contains(csDesigning)) AComponent->SetDesigning(true);
    Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
    if (AComponent == nullptr || AComponent->owner_ != this) return;
    Notification(AComponent, opRemove);
    Remove(AComponent);
}

void TComponent::Insert(TComponent* AComponent) {
    const bool heardBefore = Hears();
    components_.push_back(AComponent);
    if (AComponent->Hears()) hearers_.push_back(AComponent);
    AComponent->owner_ = this;
    IndexName(AComponent);
    // Owning something, it passes news on to it: its owner tells it.
    if (!heardBefore && Hears() && owner_ != nullptr) owner_->RebuildHearers();
}

void TComponent::Remove(TComponent* AComponent) {
    const bool heardBefore = Hears();
    if (TakeOutFromEnd(components_, AComponent)) {
        if (AComponent->Hears()) TakeOutFromEnd(hearers_, AComponent);
        UnindexName(AComponent);
    }
    AComponent->owner_ = nullptr;
    // Owning nothing any more, one that hears no siblings leaves its
    // owner's list of those told.
    if (heardBefore && !Hears() && owner_ != nullptr) TakeOutFromEnd(owner_->hearers_, this);
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent* instance = components_.back();
        // Everyone hears of the removal while the instance is still whole.
        instance->Destroying();
        RemoveComponent(instance);
        instance->NotifyFreeNotifies();
        delete instance;
    }
}

void TComponent::Destroying() {
    if (state_.Contains(csDestroying)) return;
    state_.Include(csDestroying);
    for (TComponent* c : components_) c->Destroying();
}

void TComponent::Unlink(TComponent* A, TComponent* B) {
    auto drop = [](std::vector<TComponent*>& v, TComponent* x) {
        v.erase(std::remove(v.begin(), v.end(), x), v.end());
    };
    drop(A->freeNotifies_, B);
    drop(B->freeNotifies_, A);
}

void TComponent::NotifyFreeNotifies() {
    // Links are dropped before each call, so a handler that frees other
    // components or changes links cannot leave this loop on a dangling entry.
    while (!freeNotifies_.empty()) {
        TComponent* other = freeNotifies_.back();
        Unlink(this, other);
        other->Notification(this, opRemove);
    }
}

void TComponent::FreeNotification(TComponent* AComponent) {
    if (AComponent == nullptr || AComponent == this) return;
    if (owner_ == nullptr || AComponent->owner_ != owner_) {
        if (std::find(freeNotifies_.begin(), freeNotifies_.end(), AComponent) == freeNotifies_.end()) {
            freeNotifies_.push_back(AComponent);
            AComponent->freeNotifies_.push_back(this);
            AComponent->state_.Include(csFreeNotification);
        }
    }
    state_.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
    if (AComponent == nullptr) return;
    Unlink(this, AComponent);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
    // Links are kept on both sides: without any, there is none to drop (and
    // a form of thousands of components closes without looking for them).
    if (Operation == opRemove && AComponent != nullptr && !freeNotifies_.empty()) RemoveFreeNotification(AComponent);
    // The list may shrink while children react; walk it from the end and
    // clamp the index each time.
    std::size_t i = hearers_.size();
    while (i > 0) {
        --i;
        ++ListVisits();
        hearers_[i]->Notification(AComponent, Operation);
        if (i > hearers_.size()) i = hearers_.size();
    }
}

void TComponent::SetName(const std::string& NewName) {
    if (NewName == name_) return;
    if (!NewName.empty() && !IsValidIdent(NewName))
        throw EComponentError("''" + NewName + "'' is not a valid component name");
    if (owner_ != nullptr)
        owner_->ValidateRename(this, name_, NewName);
    else
        ValidateRename(nullptr, name_, NewName);
    ChangeName(NewName);
}

void TComponent::ValidateRename(TComponent* AComponent, const std::string& CurName, const std::string& NewName) {
    if (AComponent == nullptr || NewName.empty()) return;
    if (SameIdent(CurName, NewName)) return;
    TComponent* existing = FindComponent(NewName);
    if (existing != nullptr && existing != AComponent)
        throw EComponentError("A component named " + NewName + " already exists");
}

std::string TComponent::GetNamePath() const { return name_; }

void TComponent::Loaded() { state_.Exclude(csLoading); }

void TComponent::GetChildren(const std::function<void(TComponent*)>&, TComponent*) {}

void TComponent::SetDesigning(bool Value, bool SetChildren) {
    SetComponentStateFlag(csDesigning, Value);
    if (SetChildren)
        for (TComponent* c : components_) c->SetDesigning(Value, true);
}

void TComponent::SetInline(bool Value) { SetComponentStateFlag(csInline, Value); }

void TComponent::SetAncestor(bool Value) { UpdateFlags(csAncestor, Value); }

void TComponent::SetComponentStateFlag(TComponentStateItem Item, bool Value) {
    if (Value)
        state_.Include(Item);
    else
        state_.Exclude(Item);
}

void TComponent::UpdateFlags(TComponentStateItem Item, bool Value) {
    SetComponentStateFlag(Item, Value);
    for (TComponent* c : components_) c->UpdateFlags(Item, Value);
}

void TComponent::RegisterMethod(const std::string& Name, std::any Handler) {
    if (!methods_) methods_ = std::make_unique<std::map<std::string, std::any>>();
    (*methods_)[UpperIdent(Name)] = std::move(Handler);
}

const std::any* TComponent::MethodAddress(const std::string& Name) const {
    if (!methods_) return nullptr;
    auto it = methods_->find(UpperIdent(Name));
    return it == methods_->end() ? nullptr : &it->second;
}

