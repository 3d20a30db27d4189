#pragma once
// TrpRelative: a report object with a parent and an ordered list of
// children beside its component ownership. A report holds its bands, a band
// its components, a region or subreport its own children, a page its draw
// commands; the child list is what the engine, the band engines and the
// designer walk, while the owner only decides who frees the object.
//
// Invariants: an object stands in its parent's child list exactly when its
// Parent is that parent; no object is its own ancestor; freeing a parent
// frees its children, last first, each leaving the list as it goes; freeing
// a child takes it out of its parent's list. Descendants that keep children
// of several kinds override the "all children" operations and may file a
// child by its ChildType, but every change goes through SetParent.
#include <functional>
#include <string>
#include <vector>

#include "report/rpComm.h"
#include "report/rpRTTI.h"
#include "report/rpRTTITable.h"

class TrpRelative;
using TrpRelativeProc = std::function<void(TrpRelative* Child, void* Data)>;

class TrpRelative : public TrpCommunicator {
public:
    explicit TrpRelative(TComponent* AOwner);
    ~TrpRelative() override;
    FAT_CLASS(TrpRelative)

    virtual bool StoresDesignPosition() const { return false; }
    // True for draw commands: what a page asks of each child it takes.
    virtual bool IsDrawCommand() const { return false; }
    virtual void ChildrenChanged() {}

    TrpRelative* Parent() const { return parent_; }
    TrpRelative* GetParent() const { return parent_; }
    // Leaves the old parent's list and joins the new one's (at the end). A
    // parent that is the object itself or one of its descendants is refused
    // (nothing changes), as is any parent for a class that takes none.
    virtual void SetParent(TrpRelative* NewParent);
    // True when NewParent may not become this object's parent: it is this
    // object or stands below it.
    bool WouldCycle(const TrpRelative* NewParent) const;

    int ChildCount() const { return static_cast<int>(children_.size()); }
    // nullptr outside 0..ChildCount-1.
    TrpRelative* Children(int Index) const;
    virtual int GetAllChildCount() const { return ChildCount(); }
    virtual TrpRelative* GetAllChild(int Index) const { return Children(Index); }
    // The position in the parent's child list; -1 without a parent.
    int Index() const;

    virtual void AddChild(TrpRelative* Child);
    virtual void InsertChild(int Index, TrpRelative* Child);
    virtual int IndexOfChild(const TrpRelative* Child) const;
    virtual void RemoveChild(TrpRelative* Child);
    // Frees every child, last first.
    void FreeChildren();
    bool FreeingChildren() const { return freeingChildren_; }
    // Proc for every direct child, then ForEachChild (deeper levels in descendants).
    void ForAllChildren(const TrpRelativeProc& Proc, void* Data);
    virtual void ForEachChild(const TrpRelativeProc&, void*) {}

    // Takes over Source's place, ordering flag and children; Source keeps
    // nothing. Transfer from itself does nothing.
    virtual void Transfer(TrpRelative* Source);

    int ChildType() const { return childType_; }
    // Files the object anew with its parent under the new kind.
    void SetChildType(int Value);
    bool OrderedChildren() const { return orderedChildren_; }
    void SetOrderedChildren(bool Value) { orderedChildren_ = Value; }
    int Position() const { return position_; }
    // Outside stream reading, moves the object to that index among its
    // parent's children (clamped to the list).
    void SetPosition(int Value);

    void PropertyChange() override;
    void ChangeOwner(TComponent* NewOwner) override;

    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override { return parent_; }
    void SetParentComponent(TComponent* Value) override;
    void ReadState(TReader* Reader) override;
    // Older stored forms carry ChildType; it is read, never written.
    void DefineProperties(TFiler* Filer) override;

protected:
    // Places children with a stored Position at that index, once loaded.
    void OrderChildren();
    // Whether this class takes a parent at all.
    virtual bool AcceptsParent() const { return true; }

private:
    TrpRelative* parent_ = nullptr;
    std::vector<TrpRelative*> children_;
    int childType_ = 0;
    bool freeingChildren_ = false;
    bool orderedChildren_ = false;
    int position_ = -1;
};

// UserName (writable), for every report object: reports, bands, fields and
// pages answer it through their relative adapter.
RP_TABLE_ADAPTER(TrsTrpCommunicatorRTTI, TrsTComponentRTTI)
// The relative's scripting members: AllChildCount, ChildCount, ChildType,
// FreeingChildren, Index, OrderedChildren, Parent, Position.
RP_TABLE_ADAPTER(TrsTrpRelativeRTTI, TrsTrpCommunicatorRTTI)

namespace report {
// Registered once however many units ask (a use counter).
void RegisterRelativeClasses();
void UnregisterRelativeClasses();
}  // namespace report
