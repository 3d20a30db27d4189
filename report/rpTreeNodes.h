#pragma once
// TrpTreeNode: the relative's parent/child links read as a tree that can be
// walked in pre-order (GetNext/GetPrevious), by siblings and by levels. The
// report outline's nodes descend from it; scripts reach it through
// TrsTrpTreeNodeRTTI.
//
// Invariants: a node's child nodes are its relative children, in their
// order; its parent node is its relative parent when that parent is a tree
// node, otherwise it has none (and counts as a root for Level and the
// sibling walks). A node never becomes a child of itself or of one of its
// descendants (the relative refuses it), so every walk ends.
//
// Ownership: children made by Add are owned by their parent node; clones
// have no owner and are freed by the parent they were given, or by whoever
// holds the pointer CloneNode returned when there was no parent.
#include <cstdint>
#include <memory>

#include "report/rpRelatv.h"

class TrpMath {
public:
    static int32_t Max(int32_t A, int32_t B) { return A > B ? A : B; }
};

class TrpTreeNode : public TrpRelative {
public:
    explicit TrpTreeNode(TComponent* AOwner);
    FAT_CLASS(TrpTreeNode)

    virtual bool IsTreeNode() const { return true; }
    // A new node of this node's class, owned by this node and last among its children.
    virtual TrpTreeNode* Add();

    // A tree node has no values of its own to copy; descendants add theirs.
    void Assign(TPersistent* Source) override;

    int ChildNodeCount() const { return ChildCount(); }
    // nullptr outside 0..ChildNodeCount-1 and for a child that is no tree node.
    TrpTreeNode* ChildNodes(int Index) const;
    TrpTreeNode* ParentNode() const;
    void SetParentNode(TrpTreeNode* Value) { SetParent(Value); }
    // Tree-node ancestors above this node.
    int Level() const;
    // Every node below this one.
    int AbsoluteChildNodeCount() const;

    TrpTreeNode* GetFirstChild() const;
    TrpTreeNode* GetLastChild() const;
    // Down the last children to a node without children; nullptr when this
    // node has none.
    TrpTreeNode* GetLastChildDescendent() const;
    TrpTreeNode* GetNextSibling() const;
    TrpTreeNode* GetPreviousSibling() const;
    // Pre-order successor and predecessor; nullptr past either end.
    TrpTreeNode* GetNext() const;
    TrpTreeNode* GetPrevious() const;

    // A copy of this node (and, with Recurse, of everything below it) placed
    // last under NewParent, which frees it. The copy is built apart and
    // placed once complete, so NewParent may stand anywhere, even below this
    // node, without the copy copying itself.
    TrpTreeNode* CloneNode(TrpTreeNode& NewParent, bool Recurse);
    // A copy without a parent; the caller owns it.
    std::unique_ptr<TrpTreeNode> CloneNode(bool Recurse);

private:
    std::unique_ptr<TrpTreeNode> BuildClone(bool Recurse) const;
};

// Scripting: AbsoluteChildNodeCount, ChildNodeCount, Level (read-only),
// ChildNodes (indexed, read-only), ParentNode (writing it moves the node),
// and the methods Add, Assign, CloneNode, GetFirstChild, GetLastChild,
// GetLastChildDescendent, GetNext, GetNextSibling, GetPrevious,
// GetPreviousSibling. A clone made without a parent belongs to the script,
// which frees it.
RP_TABLE_ADAPTER(TrsTrpTreeNodeRTTI, TrsTrpRelativeRTTI)

namespace report {
void RegisterTreeNodeClasses();
void UnregisterTreeNodeClasses();
}  // namespace report
