#include "report/rpTreeNodes.h"

#include "platform/rtl/Strings.h"

TClass TrpTreeNode::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpTreeNode>("TrpTreeNode", TrpRelative::StaticClassType()).Build();
    return &info;
}

TrpTreeNode::TrpTreeNode(TComponent* AOwner) : TrpRelative(AOwner) {}

namespace {

// A new, unowned node of the class Source was made as.
std::unique_ptr<TrpTreeNode> NewNodeLike(const TrpTreeNode& Source, TComponent* Owner) {
    TClass cls = Source.ClassType();
    TObject* made = (cls != nullptr && cls->Create) ? cls->Create(Owner) : nullptr;
    std::unique_ptr<TObject> holder(made);
    auto* node = dynamic_cast<TrpTreeNode*>(made);
    if (node == nullptr) throw EInvalidOperation(Source.ClassName() + " cannot be created by class");
    holder.release();
    return std::unique_ptr<TrpTreeNode>(node);
}

}  // namespace

TrpTreeNode* TrpTreeNode::Add() {
    std::unique_ptr<TrpTreeNode> node = NewNodeLike(*this, this);
    node->SetParent(this);
    return node.release();
}

void TrpTreeNode::Assign(TPersistent* Source) {
    if (dynamic_cast<TrpTreeNode*>(Source) != nullptr) return;
    TrpRelative::Assign(Source);
}

TrpTreeNode* TrpTreeNode::ChildNodes(int Index) const { return dynamic_cast<TrpTreeNode*>(Children(Index)); }

TrpTreeNode* TrpTreeNode::ParentNode() const { return dynamic_cast<TrpTreeNode*>(Parent()); }

int TrpTreeNode::Level() const {
    int level = 0;
    for (const TrpTreeNode* p = ParentNode(); p != nullptr; p = p->ParentNode()) ++level;
    return level;
}

int TrpTreeNode::AbsoluteChildNodeCount() const {
    int count = ChildNodeCount();
    for (int i = 0; i < ChildNodeCount(); ++i)
        if (const TrpTreeNode* c = ChildNodes(i)) count += c->AbsoluteChildNodeCount();
    return count;
}

TrpTreeNode* TrpTreeNode::GetFirstChild() const { return ChildNodeCount() > 0 ? ChildNodes(0) : nullptr; }

TrpTreeNode* TrpTreeNode::GetLastChild() const {
    return ChildNodeCount() > 0 ? ChildNodes(ChildNodeCount() - 1) : nullptr;
}

TrpTreeNode* TrpTreeNode::GetLastChildDescendent() const {
    TrpTreeNode* node = GetLastChild();
    while (node != nullptr && node->ChildNodeCount() > 0) node = node->GetLastChild();
    return node;
}

TrpTreeNode* TrpTreeNode::GetNextSibling() const {
    TrpTreeNode* parent = ParentNode();
    if (parent == nullptr) return nullptr;
    const int index = parent->IndexOfChild(this);
    return index + 1 < parent->ChildNodeCount() ? parent->ChildNodes(index + 1) : nullptr;
}

TrpTreeNode* TrpTreeNode::GetPreviousSibling() const {
    TrpTreeNode* parent = ParentNode();
    if (parent == nullptr) return nullptr;
    const int index = parent->IndexOfChild(this);
    return index > 0 ? parent->ChildNodes(index - 1) : nullptr;
}

TrpTreeNode* TrpTreeNode::GetNext() const {
    if (TrpTreeNode* first = GetFirstChild()) return first;
    for (const TrpTreeNode* node = this; node != nullptr; node = node->ParentNode())
        if (TrpTreeNode* next = node->GetNextSibling()) return next;
    return nullptr;
}

TrpTreeNode* TrpTreeNode::GetPrevious() const {
    if (TrpTreeNode* previous = GetPreviousSibling()) {
        TrpTreeNode* deepest = previous->GetLastChildDescendent();
        return deepest != nullptr ? deepest : previous;
    }
    return ParentNode();
}

std::unique_ptr<TrpTreeNode> TrpTreeNode::BuildClone(bool Recurse) const {
    std::unique_ptr<TrpTreeNode> clone = NewNodeLike(*this, nullptr);
    clone->Assign(const_cast<TrpTreeNode*>(this));
    if (Recurse)
        for (int i = 0; i < ChildNodeCount(); ++i)
            if (const TrpTreeNode* child = ChildNodes(i)) {
                std::unique_ptr<TrpTreeNode> copy = child->BuildClone(true);
                copy->SetParent(clone.get());
                copy.release();  // the clone's children go with it
            }
    return clone;
}

TrpTreeNode* TrpTreeNode::CloneNode(TrpTreeNode& NewParent, bool Recurse) {
    std::unique_ptr<TrpTreeNode> clone = BuildClone(Recurse);
    clone->SetParent(&NewParent);
    return clone.release();
}

std::unique_ptr<TrpTreeNode> TrpTreeNode::CloneNode(bool Recurse) { return BuildClone(Recurse); }

// ---------------------------------------------------------------------------
// Scripting

using namespace rstable;

namespace {

template <class F>
TrsMember NodeFunction(const char* Name, F Do) {
    return Method<TrpTreeNode>(Name, {{"Result", rsClass, false, TrpTreeNode::StaticClassType()}},
                               [Do](TrpTreeNode& n, TrsParamList& list) {
                                   return list.SetParamValue(0, static_cast<TObject*>(std::invoke(Do, n)));
                               });
}

}  // namespace

RP_TABLE_ADAPTER_BODY(TrsTrpTreeNodeRTTI, TrsTrpRelativeRTTI, TrpTreeNode)

const TrsMemberTable& TrsTrpTreeNodeRTTI::MemberTable() {
    using N = TrpTreeNode;
    const TClass node = TrpTreeNode::StaticClassType();
    static const TrsMemberTable table{
        Prop<N>("AbsoluteChildNodeCount", rsInteger, &N::AbsoluteChildNodeCount),
        Prop<N>("ChildNodeCount", rsInteger, &N::ChildNodeCount),
        Prop<N>("Level", rsInteger, &N::Level),
        Accessor<N>("ChildNodes", {{"Index", rsInteger}, {"Result", rsClass, false, node}},
                    [](N& n, TrsParamList& list, bool Reading) {
                        // Read-only: a write asks for nothing this adapter does.
                        TrsValue index;
                        if (!Reading || !list.GetParamValue(0, index)) return false;
                        return list.SetParamValue(1, static_cast<TObject*>(n.ChildNodes(std::get<int32_t>(index))));
                    }),
        WClassProp<N, N*>("ParentNode", node, &N::ParentNode, &N::SetParentNode),
        Method<N>("CloneNode", {{"aNewParent", rsClass, false, node}, {"aRecurse", rsBoolean}, {"Result", rsClass, false, node}},
                  [](N& n, TrsParamList& list) {
                      TrsValue parentValue, recurse;
                      if (!list.GetParamValue(0, parentValue) || !list.GetParamValue(1, recurse)) return false;
                      N* parent = nullptr;
                      if (!rsdetail::FromValue(parentValue, parent)) return false;
                      const bool deep = std::get<bool>(recurse);
                      N* clone = parent != nullptr ? n.CloneNode(*parent, deep) : n.CloneNode(deep).release();
                      if (!list.SetParamValue(2, static_cast<TObject*>(clone))) {
                          // Nobody would ever hear of a parentless clone: it goes now.
                          if (parent == nullptr) delete clone;
                          return false;
                      }
                      return true;
                  }),
        NodeFunction("Add", &N::Add),
        NodeFunction("GetFirstChild", &N::GetFirstChild),
        NodeFunction("GetLastChild", &N::GetLastChild),
        NodeFunction("GetLastChildDescendent", &N::GetLastChildDescendent),
        NodeFunction("GetNext", &N::GetNext),
        NodeFunction("GetNextSibling", &N::GetNextSibling),
        NodeFunction("GetPrevious", &N::GetPrevious),
        NodeFunction("GetPreviousSibling", &N::GetPreviousSibling),
    };
    return table;
}

namespace report {

void RegisterTreeNodeClasses() {
    RegisterRelativeClasses();
    RegisterClass(TrpTreeNode::StaticClassType());
    RegisterRTTIClass(TrsTrpTreeNodeRTTI::Instance());
}

void UnregisterTreeNodeClasses() {
    UnregisterRTTIClass(TrsTrpTreeNodeRTTI::Instance());
    UnRegisterClass(TrpTreeNode::StaticClassType());
    UnregisterRelativeClasses();
}

}  // namespace report
