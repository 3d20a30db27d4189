#pragma once
// Collections: an owned, ordered list of items of one class, streamed as a
// whole ("Items = < item ... end >").
#include <string>
#include <vector>

#include "platform/rtl/TypInfo.h"

class TCollection;

class TCollectionItem : public TPersistent {
public:
    // Joins Collection when given (the collection then owns and frees it).
    explicit TCollectionItem(TCollection* Collection);
    ~TCollectionItem() override;
    TCollectionItem(const TCollectionItem&) = delete;
    TCollectionItem& operator=(const TCollectionItem&) = delete;
    FAT_CLASS(TCollectionItem)

    TCollection* Collection() const { return collection_; }
    // Moves the item to another collection (nullptr: leaves it, unowned).
    void SetCollection(TCollection* Value);
    int Index() const;
    void SetIndex(int Value);
    int ID() const { return id_; }
    virtual std::string DisplayName() const;
    std::string GetNamePath() const override;

protected:
    TPersistent* GetOwner() const override;
    // Tells the collection that this item changed (Update).
    void Changed(bool AllItems);

private:
    TCollection* collection_ = nullptr;
    int id_ = 0;
    friend class TCollection;
};

class TCollection : public TPersistent {
public:
    // Items are made from ItemClass (a TCollectionItem descendant with
    // metadata); Owner is what GetNamePath reports the collection under.
    explicit TCollection(TClass ItemClass, TPersistent* Owner = nullptr);
    ~TCollection() override;
    TCollection(const TCollection&) = delete;
    TCollection& operator=(const TCollection&) = delete;
    FAT_CLASS(TCollection)

    TCollectionItem* Add();
    TCollectionItem* Insert(int Index);
    // Raises EListError "List index out of bounds (%d)".
    void Delete(int Index);
    void Clear();
    int Count() const { return static_cast<int>(items_.size()); }
    TCollectionItem* Items(int Index) const;
    TCollectionItem* FindItemID(int ID) const;
    TClass ItemClass() const { return itemClass_; }
    // Replaces the items with copies of Source's (each item's Assign).
    void Assign(TPersistent* Source) override;
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }
    std::string GetNamePath() const override;
    void SetPropName(const std::string& Name) { propName_ = Name; }

    // Called after any change (Item nullptr: several items changed), unless
    // inside BeginUpdate/EndUpdate; EndUpdate calls it once.
    virtual void Update(TCollectionItem* Item);
    TNotifyEvent OnChange;

protected:
    TPersistent* GetOwner() const override { return owner_; }
    void Changed();

private:
    void InsertItem(TCollectionItem* Item);
    void RemoveItem(TCollectionItem* Item);

    TClass itemClass_;
    TPersistent* owner_;
    std::vector<TCollectionItem*> items_;
    int nextId_ = 0;
    int updateCount_ = 0;
    std::string propName_;
    friend class TCollectionItem;
};

// A list that streams as a collection ("Defs = < item ... end >") while
// keeping its items its own way, as the dataset's field and index
// definitions do. The component stream writes StreamItem(0..n-1) as items
// and, reading, empties the list and fills it through StreamAdd.
class TStreamedItemList {
public:
    virtual ~TStreamedItemList() = default;
    virtual int StreamCount() const = 0;
    virtual TPersistent* StreamItem(int Index) const = 0;
    virtual void StreamClear() = 0;
    // A new empty item at the end, already in the list.
    virtual TPersistent* StreamAdd() = 0;
};
