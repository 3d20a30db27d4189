#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/rtl/Component.h"

namespace {

// Records every notification it gets, and can hold a reference it must drop.
class TWatcher : public TComponent {
public:
    using TComponent::TComponent;
    FAT_CLASS_NAME(TWatcher)
    TComponent* Ref = nullptr;
    std::vector<std::pair<TComponent*, TOperation>> Log;
    std::vector<std::string>* Destroyed = nullptr;
    ~TWatcher() override {
        if (Destroyed) Destroyed->push_back(Name());
    }
    void Notification(TComponent* AComponent, TOperation Operation) override {
        TComponent::Notification(AComponent, Operation);
        Log.emplace_back(AComponent, Operation);
        if (Operation == opRemove && AComponent == Ref) Ref = nullptr;
    }
};

class TPoint2 : public TPersistent {
public:
    FAT_CLASS_NAME(TPoint2)
    int X = 0;
    void Assign(TPersistent* Source) override {
        if (auto* p = dynamic_cast<TPoint2*>(Source)) {
            X = p->X;
            return;
        }
        TPersistent::Assign(Source);
    }
};

class TOther : public TPersistent {
public:
    FAT_CLASS_NAME(TOther)
};

TEST(ComponentOwnership, OwnerFreesChildrenLastFirstAndChildLeavesOwner) {
    std::vector<std::string> destroyed;
    auto* owner = new TComponent(nullptr);
    for (const char* n : {"A", "B", "C"}) {
        auto* w = new TWatcher(owner);
        w->SetName(n);
        w->Destroyed = &destroyed;
    }
    ASSERT_EQ(owner->ComponentCount(), 3);
    EXPECT_EQ(owner->Components(1)->Name(), "B");
    EXPECT_EQ(owner->Components(1)->ComponentIndex(), 1);
    EXPECT_THROW(owner->Components(3), EListError);

    delete owner->FindComponent("b");  // deleting a child takes it out of its owner
    EXPECT_EQ(owner->ComponentCount(), 2);
    EXPECT_EQ(owner->FindComponent("B"), nullptr);

    delete owner;
    EXPECT_EQ(destroyed, (std::vector<std::string>{"B", "C", "A"}));
}

TEST(ComponentOwnership, InsertMovesBetweenOwnersAndRejectsCycles) {
    TComponent a(nullptr), b(nullptr);
    auto* child = new TComponent(&a);
    b.InsertComponent(child);
    EXPECT_EQ(child->Owner(), &b);
    EXPECT_EQ(a.ComponentCount(), 0);
    EXPECT_EQ(b.ComponentCount(), 1);
    EXPECT_THROW(child->InsertComponent(&b), EComponentError);
    EXPECT_THROW(b.InsertComponent(&b), EComponentError);
    b.RemoveComponent(child);
    EXPECT_EQ(child->Owner(), nullptr);
    delete child;
}

TEST(ComponentNames, UniqueAmongSiblingsIgnoringCase) {
    TComponent owner(nullptr);
    auto* a = new TComponent(&owner);
    auto* b = new TComponent(&owner);
    a->SetName("Edit1");
    try {
        b->SetName("EDIT1");
        FAIL() << "duplicate accepted";
    } catch (const EComponentError& e) {
        EXPECT_EQ(e.Message(), "A component named EDIT1 already exists");
    }
    EXPECT_EQ(b->Name(), "");
    a->SetName("edit1");  // renaming itself with another case is fine
    EXPECT_EQ(owner.FindComponent("EDIT1"), a);
    // A component with a taken name cannot join the owner either.
    TComponent stray(nullptr);
    stray.SetName("Edit1");
    EXPECT_THROW(owner.InsertComponent(&stray), EComponentError);
    EXPECT_EQ(stray.Owner(), nullptr);
    // Unowned components may share names.
    TComponent other(nullptr);
    other.SetName("Edit1");
}

TEST(ComponentNames, InvalidIdentifiersRefused) {
    TComponent c(nullptr);
    for (const char* bad : {"1abc", "a b", "ação", "a-b", "."}) {
        try {
            c.SetName(bad);
            FAIL() << bad;
        } catch (const EComponentError& e) {
            EXPECT_EQ(e.Message(), std::string("''") + bad + "'' is not a valid component name");
        }
    }
    c.SetName("_ok9");
    EXPECT_EQ(c.Name(), "_ok9");
    c.SetName("");
    EXPECT_EQ(c.Name(), "");
}

TEST(ComponentNotification, SiblingsHearInsertAndRemove) {
    TComponent owner(nullptr);
    auto* watcher = new TWatcher(&owner);
    auto* c = new TComponent(&owner);
    ASSERT_FALSE(watcher->Log.empty());
    EXPECT_EQ(watcher->Log.back(), std::make_pair(c, opInsert));
    watcher->Ref = c;
    delete c;
    EXPECT_EQ(watcher->Log.back(), std::make_pair(c, opRemove));
    EXPECT_EQ(watcher->Ref, nullptr);
}

TEST(ComponentNotification, FreeNotificationAcrossOwnersBothWays) {
    auto* ownerA = new TComponent(nullptr);
    auto* ownerB = new TComponent(nullptr);
    auto* target = new TWatcher(ownerA);
    auto* watcher = new TWatcher(ownerB);
    watcher->Ref = target;
    target->FreeNotification(watcher);
    EXPECT_TRUE(target->ComponentState().Contains(csFreeNotification));
    ASSERT_EQ(watcher->FreeNotifies().size(), 1u);

    delete ownerA;  // target dies with its owner: watcher drops its reference
    EXPECT_EQ(watcher->Ref, nullptr);
    EXPECT_TRUE(watcher->FreeNotifies().empty());
    delete ownerB;
}

TEST(ComponentNotification, DestroyingTheWatcherLeavesNoDanglingLink) {
    TComponent target(nullptr);
    auto* watcher = new TWatcher(nullptr);
    target.FreeNotification(watcher);
    delete watcher;
    EXPECT_TRUE(target.FreeNotifies().empty());  // ASan would catch a later call through it
    auto* again = new TWatcher(nullptr);
    target.FreeNotification(again);
    target.RemoveFreeNotification(again);
    EXPECT_TRUE(again->FreeNotifies().empty());
    delete again;
}

TEST(ComponentNotification, HandlerFreeingAnotherWatcherIsSafe) {
    // A notification handler that frees another subscriber of the same target.
    struct TKiller : TComponent {
        using TComponent::TComponent;
        TComponent* Victim = nullptr;
        void Notification(TComponent* A, TOperation Op) override {
            TComponent::Notification(A, Op);
            if (Op == opRemove && Victim && A != Victim) {
                TComponent* v = Victim;
                Victim = nullptr;
                delete v;
            }
        }
    };
    auto* target = new TComponent(nullptr);
    auto* killer = new TKiller(nullptr);
    auto* victim = new TWatcher(nullptr);
    killer->Victim = victim;
    target->FreeNotification(victim);
    target->FreeNotification(killer);
    delete target;
    EXPECT_EQ(killer->Victim, nullptr);
    delete killer;
}

TEST(ComponentState, DestroyingAndDesigningFlags) {
    struct TProbe : TComponent {
        using TComponent::TComponent;
        bool* sawDestroying = nullptr;
        void Notification(TComponent* A, TOperation Op) override {
            TComponent::Notification(A, Op);
            if (Op == opRemove && sawDestroying) *sawDestroying = A->ComponentState().Contains(csDestroying);
        }
    };
    bool saw = false;
    auto* owner = new TComponent(nullptr);
    auto* probe = new TProbe(owner);
    probe->sawDestroying = &saw;
    new TComponent(owner);
    owner->SetDesigning(true);
    EXPECT_TRUE(owner->Components(1)->ComponentState().Contains(csDesigning));
    auto* late = new TComponent(owner);
    EXPECT_TRUE(late->ComponentState().Contains(csDesigning));
    owner->SetComponentStateFlag(csLoading, true);
    owner->Loaded();
    EXPECT_FALSE(owner->ComponentState().Contains(csLoading));
    delete owner;
    EXPECT_TRUE(saw);  // siblings are flagged before anyone hears of their removal
}

TEST(PersistentAssign, ErrorNamesBothClasses) {
    TPoint2 a, b;
    a.X = 7;
    b.Assign(&a);
    EXPECT_EQ(b.X, 7);
    TOther other;
    try {
        b.Assign(&other);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a TOther to a TPoint2");
    }
    try {
        other.Assign(nullptr);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a nil to a TOther");
    }
}

TEST(ComponentMethods, RegisteredHandlersFoundByNameIgnoringCase) {
    TComponent root(nullptr);
    int calls = 0;
    root.RegisterMethod("ButtonClick", TNotifyEvent([&](TObject*) { ++calls; }));
    const std::any* h = root.MethodAddress("buttonclick");
    ASSERT_NE(h, nullptr);
    std::any_cast<const TNotifyEvent&>(*h)(nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(root.MethodAddress("Other"), nullptr);
}

}  // namespace
