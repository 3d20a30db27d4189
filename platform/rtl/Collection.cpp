#include "platform/rtl/Collection.h"

#include <algorithm>

TClass TCollectionItem::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TCollectionItem>("TCollectionItem", TPersistent::StaticClassType()).Build();
    return &info;
}

TClass TCollection::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TCollection>("TCollection", TPersistent::StaticClassType()).Collection().Build();
    return &info;
}

TCollectionItem::TCollectionItem(TCollection* Collection) { SetCollection(Collection); }

TCollectionItem::~TCollectionItem() {
    if (collection_ != nullptr) collection_->RemoveItem(this);
}

void TCollectionItem::SetCollection(TCollection* Value) {
    if (Value == collection_) return;
    if (collection_ != nullptr) collection_->RemoveItem(this);
    if (Value != nullptr) Value->InsertItem(this);
}

int TCollectionItem::Index() const {
    if (collection_ == nullptr) return -1;
    auto& v = collection_->items_;
    return static_cast<int>(std::find(v.begin(), v.end(), this) - v.begin());
}

void TCollectionItem::SetIndex(int Value) {
    int current = Index();
    if (current < 0 || Value == current) return;
    auto& v = collection_->items_;
    Value = std::clamp(Value, 0, static_cast<int>(v.size()) - 1);
    v.erase(v.begin() + current);
    v.insert(v.begin() + Value, this);
    Changed(true);
}

std::string TCollectionItem::DisplayName() const { return ClassName(); }

std::string TCollectionItem::GetNamePath() const {
    if (collection_ == nullptr) return ClassName();
    return collection_->GetNamePath() + "[" + std::to_string(Index()) + "]";
}

TPersistent* TCollectionItem::GetOwner() const { return collection_; }

void TCollectionItem::Changed(bool AllItems) {
    if (collection_ != nullptr && collection_->updateCount_ == 0) collection_->Update(AllItems ? nullptr : this);
}

TCollection::TCollection(TClass ItemClass, TPersistent* Owner) : itemClass_(ItemClass), owner_(Owner) {}

TCollection::~TCollection() {
    updateCount_ = 1;  // no change events while going away
    Clear();
}

TCollectionItem* TCollection::Add() {
    if (itemClass_ == nullptr || !itemClass_->Create || !itemClass_->InheritsFrom(TCollectionItem::StaticClassType()))
        throw EInvalidOperation("Collection has no item class");
    auto* item = static_cast<TCollectionItem*>(itemClass_->Create(nullptr));
    item->SetCollection(this);
    return item;
}

TCollectionItem* TCollection::Insert(int Index) {
    TCollectionItem* item = Add();
    item->SetIndex(Index);
    return item;
}

void TCollection::Delete(int Index) { delete Items(Index); }

void TCollection::Clear() {
    if (items_.empty()) return;
    BeginUpdate();
    while (!items_.empty()) delete items_.back();
    EndUpdate();
}

TCollectionItem* TCollection::Items(int Index) const {
    if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return items_[static_cast<std::size_t>(Index)];
}

TCollectionItem* TCollection::FindItemID(int ID) const {
    for (TCollectionItem* i : items_)
        if (i->id_ == ID) return i;
    return nullptr;
}

void TCollection::Assign(TPersistent* Source) {
    auto* src = dynamic_cast<TCollection*>(Source);
    if (src == nullptr) return TPersistent::Assign(Source);
    if (src == this) return;
    BeginUpdate();
    try {
        Clear();
        for (TCollectionItem* i : src->items_) Add()->Assign(i);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TCollection::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) Changed();
}

std::string TCollection::GetNamePath() const {
    if (owner_ == nullptr) return ClassName();
    std::string path = owner_->GetNamePath();
    if (path.empty()) return ClassName();
    return path + "." + (propName_.empty() ? std::string("Items") : propName_);
}

void TCollection::Update(TCollectionItem*) {
    if (OnChange) OnChange(this);
}

void TCollection::Changed() {
    if (updateCount_ == 0) Update(nullptr);
}

void TCollection::InsertItem(TCollectionItem* Item) {
    items_.push_back(Item);
    Item->collection_ = this;
    Item->id_ = nextId_++;
    Changed();
}

void TCollection::RemoveItem(TCollectionItem* Item) {
    auto it = std::find(items_.begin(), items_.end(), Item);
    if (it != items_.end()) items_.erase(it);
    Item->collection_ = nullptr;
    Changed();
}
