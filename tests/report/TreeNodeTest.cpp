// Tree nodes: walks in pre-order, levels and counts, copies of subtrees,
// and what scripts see of them.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "report/rpTreeNodes.h"

namespace {

// A node with a value of its own, as the outline's nodes carry a caption.
class TLabelledNode : public TrpTreeNode {
public:
    explicit TLabelledNode(TComponent* AOwner) : TrpTreeNode(AOwner) {}
    FAT_CLASS(TLabelledNode)
    void Assign(TPersistent* Source) override {
        if (auto* other = dynamic_cast<TLabelledNode*>(Source)) label = other->label;
        TrpTreeNode::Assign(Source);
    }
    std::string label;
};

TClass TLabelledNode::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TLabelledNode>("TLabelledNode", TrpTreeNode::StaticClassType()).Build();
    return &info;
}

TLabelledNode* AddLabelled(TrpTreeNode* parent, const std::string& label) {
    auto* node = dynamic_cast<TLabelledNode*>(parent->Add());
    node->label = label;
    return node;
}

std::string LabelOf(const TrpTreeNode* node) {
    if (node == nullptr) return "nil";
    auto* l = dynamic_cast<const TLabelledNode*>(node);
    return l ? l->label : "?";
}

// The labels of a subtree in pre-order, children in brackets.
std::string Shape(const TrpTreeNode* node) {
    std::string s = LabelOf(node);
    if (node->ChildNodeCount() == 0) return s;
    s += "(";
    for (int i = 0; i < node->ChildNodeCount(); ++i) s += (i ? " " : "") + Shape(node->ChildNodes(i));
    return s + ")";
}

// root ( A ( A1 ) B ), the shape the walks are checked on, plus a deeper
// branch below B for the descendant walks.
struct Tree {
    TLabelledNode root{nullptr};
    TLabelledNode *a, *a1, *b, *b1, *b1x;
    Tree() {
        root.label = "root";
        a = AddLabelled(&root, "A");
        a1 = AddLabelled(a, "A1");
        b = AddLabelled(&root, "B");
        b1 = AddLabelled(b, "B1");
        b1x = AddLabelled(b1, "B1x");
    }
};

TEST(TreeNodes, PreOrderWalksBothWaysAndEndsAtEitherEnd) {
    Tree t;
    std::vector<std::string> forward;
    for (const TrpTreeNode* n = &t.root; n != nullptr; n = n->GetNext()) forward.push_back(LabelOf(n));
    EXPECT_EQ(forward, (std::vector<std::string>{"root", "A", "A1", "B", "B1", "B1x"}));
    std::vector<std::string> backward;
    for (const TrpTreeNode* n = t.b1x; n != nullptr; n = n->GetPrevious()) backward.push_back(LabelOf(n));
    EXPECT_EQ(backward, (std::vector<std::string>{"B1x", "B1", "B", "A1", "A", "root"}));

    TLabelledNode lone(nullptr);
    EXPECT_EQ(lone.GetNext(), nullptr);
    EXPECT_EQ(lone.GetPrevious(), nullptr);
}

TEST(TreeNodes, NeighboursLevelsAndCountsOfEveryNode) {
    Tree t;
    struct Row {
        TrpTreeNode* node;
        const char *first, *last, *lastDescendent, *next, *previous, *parent;
        int level, childCount, allBelow;
    };
    const Row rows[] = {
        {&t.root, "A", "B", "B1x", "nil", "nil", "nil", 0, 2, 5},
        {t.a, "A1", "A1", "A1", "B", "nil", "root", 1, 1, 1},
        {t.a1, "nil", "nil", "nil", "nil", "nil", "A", 2, 0, 0},
        {t.b, "B1", "B1", "B1x", "nil", "A", "root", 1, 1, 2},
        {t.b1x, "nil", "nil", "nil", "nil", "nil", "B1", 3, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(LabelOf(r.node));
        EXPECT_EQ(LabelOf(r.node->GetFirstChild()), r.first);
        EXPECT_EQ(LabelOf(r.node->GetLastChild()), r.last);
        EXPECT_EQ(LabelOf(r.node->GetLastChildDescendent()), r.lastDescendent);
        EXPECT_EQ(LabelOf(r.node->GetNextSibling()), r.next);
        EXPECT_EQ(LabelOf(r.node->GetPreviousSibling()), r.previous);
        EXPECT_EQ(LabelOf(r.node->ParentNode()), r.parent);
        EXPECT_EQ(r.node->Level(), r.level);
        EXPECT_EQ(r.node->ChildNodeCount(), r.childCount);
        EXPECT_EQ(r.node->AbsoluteChildNodeCount(), r.allBelow);
    }
    EXPECT_EQ(t.root.ChildNodes(2), nullptr);
    EXPECT_EQ(t.root.ChildNodes(-1), nullptr);
    EXPECT_EQ(TrpMath::Max(-3, -7), -3);
    EXPECT_EQ(TrpMath::Max(INT32_MIN, 0), 0);
}

TEST(TreeNodes, AParentThatIsNoTreeNodeMakesTheNodeARoot) {
    TrpRelative holder(nullptr);
    auto* a = new TLabelledNode(nullptr);
    auto* b = new TLabelledNode(nullptr);
    a->SetParent(&holder);
    b->SetParent(&holder);
    EXPECT_EQ(a->ParentNode(), nullptr);
    EXPECT_EQ(a->Level(), 0);
    EXPECT_EQ(a->GetNextSibling(), nullptr);
    EXPECT_EQ(b->GetPrevious(), nullptr);
    EXPECT_EQ(a->GetNext(), nullptr);
}

TEST(TreeNodes, AddMakesANodeOfTheSameClassOwnedByItsParent) {
    Tree t;
    EXPECT_EQ(t.a1->ClassType(), TLabelledNode::StaticClassType());
    EXPECT_EQ(t.a1->Owner(), t.a);
    EXPECT_EQ(t.a->Owner(), &t.root);
    TrpTreeNode plain(nullptr);
    EXPECT_EQ(plain.Add()->ClassType(), TrpTreeNode::StaticClassType());
    EXPECT_TRUE(plain.IsTreeNode());
    // Freeing a node in the middle takes its subtree with it.
    delete t.b;
    EXPECT_EQ(Shape(&t.root), "root(A(A1))");
}

TEST(TreeNodes, ClonesCopyOneNodeOrAWholeSubtree) {
    Tree t;
    TLabelledNode target(nullptr);
    target.label = "T";

    TrpTreeNode* single = t.b->CloneNode(target, false);
    EXPECT_EQ(Shape(single), "B");
    EXPECT_EQ(single->ParentNode(), &target);
    EXPECT_EQ(single->Owner(), nullptr);

    TrpTreeNode* deep = t.b->CloneNode(target, true);
    EXPECT_EQ(Shape(&target), "T(B B(B1(B1x)))");
    EXPECT_NE(deep->GetFirstChild(), t.b1) << "children are copies, not moved";
    EXPECT_EQ(Shape(&t.root), "root(A(A1) B(B1(B1x)))");

    // Without a parent the copy belongs to the caller.
    std::unique_ptr<TrpTreeNode> free = t.a->CloneNode(true);
    EXPECT_EQ(Shape(free.get()), "A(A1)");
    EXPECT_EQ(free->Parent(), nullptr);
}

TEST(TreeNodes, ACloneUnderItsOwnDescendantCopiesTheSubtreeAsItWas) {
    Tree t;
    TrpTreeNode* copy = t.b->CloneNode(*t.b1x, true);
    EXPECT_EQ(Shape(t.b), "B(B1(B1x(B(B1(B1x)))))");
    EXPECT_EQ(copy->Level(), 4);
    EXPECT_EQ(t.root.AbsoluteChildNodeCount(), 8);
}

TEST(TreeNodes, ANodeNeverMovesBelowItself) {
    Tree t;
    for (TrpTreeNode* below : {static_cast<TrpTreeNode*>(t.b), static_cast<TrpTreeNode*>(t.b1),
                               static_cast<TrpTreeNode*>(t.b1x)}) {
        t.b->SetParentNode(below);
        EXPECT_EQ(t.b->ParentNode(), &t.root);
    }
    EXPECT_EQ(Shape(&t.root), "root(A(A1) B(B1(B1x)))");
    t.b1->SetParentNode(t.a1);
    EXPECT_EQ(Shape(&t.root), "root(A(A1(B1(B1x))) B)");
}

// --- Scripting -----------------------------------------------------------

const TrsRTTI* Adapter() { return TrsRTTIClassRegistry::GetRTTIClass(TLabelledNode::StaticClassType()); }

TObject* CallFunction(TrpTreeNode* node, const std::string& name) {
    TrsMemberDescriptor rec;
    EXPECT_TRUE(Adapter()->GetPropRec(node->ClassType(), name, rec)) << name;
    TObject* result = nullptr;
    rec.Params->BindParam(0, &result);
    EXPECT_TRUE(Adapter()->CallMethod(node, name, false, rec.Params.get())) << name;
    return result;
}

TEST(TreeNodeScripting, TheAdapterDescribesAndCallsEveryMember) {
    ASSERT_EQ(Adapter(), TrsTrpTreeNodeRTTI::Instance());
    Tree t;
    const std::map<std::string, TrpTreeNode*> functions = {
        {"GetFirstChild", t.a},   {"getlastchild", t.b},       {"GetLastChildDescendent", t.b1x},
        {"GetNext", t.a},         {"GetNextSibling", nullptr}, {"GetPrevious", nullptr},
        {"GetPreviousSibling", nullptr}};
    for (const auto& [name, expected] : functions) EXPECT_EQ(CallFunction(&t.root, name), expected) << name;
    EXPECT_EQ(CallFunction(t.b1, "GetPrevious"), t.b);

    auto* added = dynamic_cast<TrpTreeNode*>(CallFunction(t.a1, "Add"));
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->ParentNode(), t.a1);

    TrsValue v;
    ASSERT_TRUE(Adapter()->GetPropValue(&t.root, "ABSOLUTECHILDNODECOUNT", v));
    EXPECT_EQ(std::get<int32_t>(v), 6);
    ASSERT_TRUE(Adapter()->GetPropValue(t.b1x, "Level", v));
    EXPECT_EQ(std::get<int32_t>(v), 3);
    ASSERT_TRUE(Adapter()->GetPropValue(t.b1x, "ParentNode", v));
    EXPECT_EQ(std::get<TObject*>(v), t.b1);
    EXPECT_FALSE(Adapter()->SetPropValue(&t.root, "ChildNodeCount", TrsValue(int32_t{9})));

    TStringList names;
    Adapter()->GetPropList(TLabelledNode::StaticClassType(), &names);
    for (const char* name : {"AbsoluteChildNodeCount", "ChildNodeCount", "Level", "ChildNodes", "ParentNode", "Add",
                             "Assign", "CloneNode", "GetNext", "Parent", "Position"})
        EXPECT_GE(names.IndexOf(name), 0) << name;
}

TEST(TreeNodeScripting, ChildNodesIsReadOnlyAndParentNodeRefusesCycles) {
    Tree t;
    TrsMemberDescriptor rec;
    ASSERT_TRUE(Adapter()->GetPropRec(t.root.ClassType(), "ChildNodes", rec));
    EXPECT_TRUE(rec.IsArrayProperty);
    EXPECT_EQ(rec.ClassType, TrpTreeNode::StaticClassType());
    int32_t index = 1;
    TObject* child = nullptr;
    rec.Params->BindParam(0, &index);
    rec.Params->BindParam(1, &child);
    EXPECT_FALSE(Adapter()->CallMethod(&t.root, "ChildNodes", false, rec.Params.get()));
    EXPECT_EQ(child, nullptr);
    ASSERT_TRUE(Adapter()->CallMethod(&t.root, "ChildNodes", true, rec.Params.get()));
    EXPECT_EQ(child, t.b);

    EXPECT_TRUE(Adapter()->SetPropValue(t.a, "ParentNode", TrsValue(static_cast<TObject*>(t.b1x))));
    EXPECT_EQ(t.a->ParentNode(), t.b1x);
    EXPECT_TRUE(Adapter()->SetPropValue(t.b, "ParentNode", TrsValue(static_cast<TObject*>(t.a1))));
    EXPECT_EQ(t.b->ParentNode(), &t.root) << "A1 now stands below B";
    TStringList notANode;
    EXPECT_FALSE(Adapter()->SetPropValue(t.b, "ParentNode", TrsValue(static_cast<TObject*>(&notANode))));
}

TEST(TreeNodeScripting, CloneNodeWithAndWithoutANewParent) {
    Tree t;
    TrsMemberDescriptor rec;
    ASSERT_TRUE(Adapter()->GetPropRec(t.root.ClassType(), "clonenode", rec));
    ASSERT_EQ(rec.Params->Count(), 3);
    EXPECT_EQ(rec.Params->Names(0), "aNewParent");
    EXPECT_EQ(rec.Params->Names(1), "aRecurse");
    TObject* parent = t.a1;
    bool recurse = true;
    TObject* result = nullptr;
    rec.Params->BindParam(0, &parent);
    rec.Params->BindParam(1, &recurse);
    rec.Params->BindParam(2, &result);
    ASSERT_TRUE(Adapter()->CallMethod(t.b, "CloneNode", false, rec.Params.get()));
    EXPECT_EQ(Shape(t.a), "A(A1(B(B1(B1x))))");
    EXPECT_EQ(dynamic_cast<TrpTreeNode*>(result)->ParentNode(), t.a1);

    // Without a parent the script holds the copy and frees it.
    parent = nullptr;
    recurse = false;
    ASSERT_TRUE(Adapter()->CallMethod(t.b, "CloneNode", false, rec.Params.get()));
    auto* loose = dynamic_cast<TrpTreeNode*>(result);
    ASSERT_NE(loose, nullptr);
    EXPECT_EQ(loose->Parent(), nullptr);
    EXPECT_EQ(Shape(loose), "B");
    EXPECT_TRUE(Adapter()->CallMethod(loose, "Free", false, nullptr));
}

}  // namespace
