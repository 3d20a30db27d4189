// The parent and child tree of report objects beside their ownership.
#include <gtest/gtest.h>

#include <random>

#include "platform/rtl/Filer.h"
#include "report/rpRelatv.h"

namespace {

// Records the order in which children go.
class TNode : public TrpRelative {
public:
    FAT_CLASS_NAME(TNode)
    explicit TNode(TComponent* AOwner, std::vector<std::string>* Log = nullptr, std::string Tag = "")
        : TrpRelative(AOwner), log(Log), tag(std::move(Tag)) {}
    ~TNode() override {
        // How many children the parent still lists as this one goes.
        if (log) log->push_back(tag + (Parent() ? " " + std::to_string(Parent()->ChildCount()) : ""));
    }
    using TrpRelative::OrderChildren;
    std::vector<std::string>* log;
    std::string tag;
};

std::vector<TrpRelative*> ChildrenOf(const TrpRelative& r) {
    std::vector<TrpRelative*> out;
    for (int i = 0; i < r.ChildCount(); ++i) out.push_back(r.Children(i));
    return out;
}

TEST(Relatives, SettingThePositionMovesAndClamps) {
    TNode parent(nullptr);
    auto* a = new TNode(nullptr);
    auto* b = new TNode(nullptr);
    auto* c = new TNode(nullptr);
    for (TNode* n : {a, b, c}) n->SetParent(&parent);
    b->SetPosition(99);
    EXPECT_EQ(ChildrenOf(parent), (std::vector<TrpRelative*>{a, c, b}));
    EXPECT_EQ(b->Position(), 99) << "the value is stored as given";
    b->SetPosition(-5);
    EXPECT_EQ(ChildrenOf(parent), (std::vector<TrpRelative*>{b, a, c}));
    EXPECT_EQ(b->Index(), 0);
    EXPECT_EQ(c->Index(), 2);
    TNode orphan(nullptr);
    EXPECT_EQ(orphan.Index(), -1);
}

TEST(Relatives, FreeingAParentFreesItsChildrenLastFirst) {
    std::vector<std::string> log;
    auto* parent = new TNode(nullptr, &log, "parent");
    for (const char* t : {"a", "b", "c"}) (new TNode(nullptr, &log, t))->SetParent(parent);
    delete parent;
    // Last first, and each leaves the list before the next goes.
    EXPECT_EQ(log, (std::vector<std::string>{"parent", "c 3", "b 2", "a 1"}));
}

TEST(Relatives, AChildFreedOnItsOwnLeavesItsParent) {
    TComponent form(nullptr);
    auto* parent = new TNode(&form);
    auto* child = new TNode(&form);
    child->SetParent(parent);
    delete child;
    EXPECT_EQ(parent->ChildCount(), 0);
    // Freeing the form frees owner and parent alike without freeing anything twice.
    (new TNode(&form))->SetParent(parent);
    (new TNode(&form))->SetParent(parent);
}

TEST(Relatives, AnObjectCannotBecomeItsOwnAncestor) {
    TNode root(nullptr);
    auto* mid = new TNode(nullptr);
    auto* leaf = new TNode(nullptr);
    mid->SetParent(&root);
    leaf->SetParent(mid);
    root.SetParent(leaf);
    mid->SetParent(mid);
    EXPECT_EQ(root.Parent(), nullptr);
    EXPECT_EQ(mid->Parent(), &root);
    EXPECT_EQ(leaf->Parent(), mid);
    mid->AddChild(&root);
    EXPECT_EQ(mid->ChildCount(), 1) << "the list operations refuse the ring too";
    leaf->SetParent(&root);
    EXPECT_EQ(ChildrenOf(root), (std::vector<TrpRelative*>{mid, leaf}));
    EXPECT_EQ(mid->ChildCount(), 0);
}

TEST(Relatives, TransferTakesOverPlaceAndChildrenInOrder) {
    TComponent form(nullptr), other(nullptr);
    auto* top = new TNode(&form);
    auto* source = new TNode(&form);
    source->SetParent(top);
    source->SetOrderedChildren(true);
    std::vector<TrpRelative*> kids;
    for (int i = 0; i < 3; ++i) {
        kids.push_back(new TNode(&form));
        kids.back()->SetParent(source);
    }
    auto* target = new TNode(&other);
    (new TNode(&other))->SetParent(target);  // freed by the transfer
    target->Transfer(source);
    EXPECT_EQ(ChildrenOf(*target), kids);
    EXPECT_EQ(source->ChildCount(), 0);
    EXPECT_EQ(target->Parent(), top);
    EXPECT_TRUE(target->OrderedChildren());
    for (TrpRelative* k : kids) EXPECT_EQ(k->Owner(), &other) << "children of the source's owner change owner";
    EXPECT_EQ(other.ComponentCount(), 4);

    target->Transfer(target);
    EXPECT_EQ(ChildrenOf(*target), kids) << "from itself: nothing happens";
    source->SetParent(target);
    target->Transfer(source);
    EXPECT_EQ(source->Parent(), target) << "from an object below: refused";
    EXPECT_EQ(target->ChildCount(), 4);
}

TEST(Relatives, StoredPositionsOrderTheChildrenAfterLoading) {
    TNode parent(nullptr);
    parent.SetOrderedChildren(true);
    std::vector<TNode*> kids;
    for (int i = 0; i < 4; ++i) {
        kids.push_back(new TNode(nullptr));
        kids.back()->SetParent(&parent);
        kids.back()->SetComponentStateFlag(csLoading, true);
    }
    kids[0]->SetPosition(2);
    kids[1]->SetPosition(0);
    kids[2]->SetPosition(7);  // out of range: stays where it is
    kids[3]->SetPosition(1);
    EXPECT_EQ(ChildrenOf(parent), (std::vector<TrpRelative*>{kids[0], kids[1], kids[2], kids[3]}))
        << "while loading the value is only stored";
    parent.OrderChildren();
    EXPECT_EQ(ChildrenOf(parent), (std::vector<TrpRelative*>{kids[1], kids[3], kids[0], kids[2]}));
}

TEST(Relatives, ChangingTheKindFilesTheChildAgainAndOwnersFollow) {
    TComponent first(nullptr), second(nullptr);
    auto* parent = new TNode(&first);
    auto* a = new TNode(&first);
    auto* b = new TNode(&first);
    auto* foreign = new TNode(&second);
    for (TNode* n : {a, b, foreign}) n->SetParent(parent);
    a->SetChildType(2);
    EXPECT_EQ(a->ChildType(), 2);
    EXPECT_EQ(ChildrenOf(*parent), (std::vector<TrpRelative*>{b, foreign, a}));
    parent->ChangeOwner(&second);
    EXPECT_EQ(a->Owner(), &second);
    EXPECT_EQ(b->Owner(), &second);
    EXPECT_EQ(first.ComponentCount(), 0);
}

TEST(Relatives, RandomTreesFreedInRandomOrderLeaveNoTrace) {
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        TComponent owner(nullptr);
        std::vector<TNode*> nodes;
        for (int i = 0; i < 15; ++i) nodes.push_back(new TNode(&owner));
        for (int i = 0; i < 40; ++i) nodes[random() % nodes.size()]->SetParent(nodes[random() % nodes.size()]);
        while (owner.ComponentCount() > 0) {
            delete owner.Components(static_cast<int>(random() % owner.ComponentCount()));
            for (int i = 0; i < owner.ComponentCount(); ++i) {
                auto* n = static_cast<TNode*>(owner.Components(i));
                if (n->Parent()) {
                    ASSERT_GE(n->Parent()->IndexOfChild(n), 0);
                }
                for (int k = 0; k < n->ChildCount(); ++k) ASSERT_EQ(n->Children(k)->Parent(), n);
            }
        }
    }
}

TEST(Relatives, OlderStoredFormsGiveTheChildKindWhichIsNeverWrittenAgain) {
    TStringStream text("object Node: TrpRelative\n  ChildType = 3\n  Tag = 1\nend\n");
    std::unique_ptr<TComponent> read(ReadComponentAnyForm(text, nullptr));
    auto* node = dynamic_cast<TrpRelative*>(read.get());
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->ChildType(), 3);
    EXPECT_EQ(node->Tag(), 1);
    TMemoryStream binary;
    WriteComponent(binary, node);
    binary.SetPosition(0);
    TStringStream back;
    ObjectBinaryToText(binary, back);
    EXPECT_EQ(back.DataString().find("ChildType"), std::string::npos) << back.DataString();
}

TEST(Relatives, ScriptingSeesTheTree) {
    const TrsRTTI* a = TrsTrpRelativeRTTI::Instance();
    TNode parent(nullptr);
    auto* child = new TNode(nullptr);
    TrsValue v;
    ASSERT_TRUE(a->SetPropValue(child, "Parent", static_cast<TObject*>(&parent)));
    ASSERT_TRUE(a->GetPropValue(&parent, "childcount", v));
    EXPECT_EQ(std::get<int32_t>(v), 1);
    ASSERT_TRUE(a->GetPropValue(child, "Index", v));
    EXPECT_EQ(std::get<int32_t>(v), 0);
    EXPECT_FALSE(a->SetPropValue(child, "ChildCount", int32_t{4})) << "read-only";
    std::string text;
    a->GetPropText(child, "FreeingChildren", text);
    EXPECT_EQ(text, "False");
    TrsMemberDescriptor rec;
    ASSERT_TRUE(a->GetPropRec(TrpRelative::StaticClassType(), "Parent", rec));
    EXPECT_EQ(rec.ClassType, TrpRelative::StaticClassType());
    EXPECT_FALSE(rec.ReadOnly);
}

}  // namespace
