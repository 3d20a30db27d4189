// The communicator: symmetric links, event broadcasts (also while listeners
// come and go), sort keys, state, and user names.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "report/rpComm.h"
#include "report/rpExcept.h"
#include "report/rpRelatv.h"

namespace {

// A listener that records what it hears and may act on it.
class TRecorder : public TrpCommunicator {
public:
    FAT_CLASS_NAME(TRecorder)
    explicit TRecorder(TComponent* AOwner = nullptr, std::string Key = "") : TrpCommunicator(AOwner), key(Key) {}
    std::string key;
    std::vector<int> heard;
    std::vector<std::pair<TrpCommunicator*, int>> notified;
    std::function<void()> onHear;
    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override {
        heard.push_back(EventNumber);
        TrpCommunicator::EventNotify(Sender, EventNumber, Params);
        if (onHear) onHear();
    }
    void Notify(TrpCommunicator* C, int Operation) override {
        notified.emplace_back(C, Operation);
        TrpCommunicator::Notify(C, Operation);
    }
    std::string GetEventNotifySortKey() const override { return key; }
};

std::vector<TrpCommunicator*> Listeners(const TrpCommunicator& c) {
    std::vector<TrpCommunicator*> out;
    for (int i = 0; i < c.EventNotifyCount(); ++i) out.push_back(c.EventNotifies(i));
    return out;
}

TEST(CommunicatorLinks, FreeingEitherSideCleansTheOther) {
    TRecorder survivor;
    {
        TRecorder doomed;
        survivor.AddNotify(&doomed);
        survivor.AddEventNotify(&doomed);
        ASSERT_EQ(doomed.NotifyCount(), 1) << "links are symmetric";
        ASSERT_EQ(survivor.EventNotifyCount(), 1);
    }
    EXPECT_EQ(survivor.NotifyCount(), 0);
    EXPECT_EQ(survivor.EventNotifyCount(), 0);
    EXPECT_FALSE(survivor.HasNotifyList()) << "an emptied list is dropped";
    EXPECT_FALSE(survivor.HasEventNotifyList());
    ASSERT_EQ(survivor.notified.size(), 1u);
    EXPECT_EQ(survivor.notified[0].second, rpopFreeing);

    TRecorder sender;
    {
        TRecorder listener;
        sender.AddEventNotify(&listener);
        sender.AddEventNotify(&listener);
        EXPECT_EQ(sender.EventNotifyCount(), 1) << "added twice, listed once";
        listener.RemoveNotify(&sender);
        EXPECT_EQ(sender.EventNotifyCount(), 0) << "no event link outlives its link";
    }
}

TEST(CommunicatorLinks, RandomlyFreedObjectsLeaveEverySurvivorClean) {
    std::mt19937 random(20240517);
    for (int round = 0; round < 50; ++round) {
        std::vector<std::unique_ptr<TRecorder>> objects;
        for (int i = 0; i < 12; ++i) objects.push_back(std::make_unique<TRecorder>());
        for (int i = 0; i < 40; ++i) {
            TRecorder* a = objects[random() % objects.size()].get();
            TRecorder* b = objects[random() % objects.size()].get();
            if (random() % 2)
                a->AddEventNotify(b);
            else
                a->AddNotify(b);
            if (random() % 7 == 0) a->RemoveNotify(b);
        }
        std::set<TrpCommunicator*> freed;
        while (objects.size() > 3) {
            const std::size_t k = random() % objects.size();
            freed.insert(objects[k].get());
            objects.erase(objects.begin() + static_cast<std::ptrdiff_t>(k));
            for (const auto& o : objects) {
                for (int i = 0; i < o->NotifyCount(); ++i) {
                    TrpCommunicator* other = o->Notifies(i);
                    ASSERT_EQ(freed.count(other), 0u) << "a freed object stays linked";
                    bool back = false;
                    for (int j = 0; j < other->NotifyCount(); ++j) back = back || other->Notifies(j) == o.get();
                    ASSERT_TRUE(back) << "a link stands on one side only";
                }
                for (TrpCommunicator* l : Listeners(*o)) {
                    ASSERT_EQ(freed.count(l), 0u) << "a freed listener stays listed";
                    bool linked = false;
                    for (int j = 0; j < o->NotifyCount(); ++j) linked = linked || o->Notifies(j) == l;
                    ASSERT_TRUE(linked) << "a listener without a link";
                }
            }
        }
    }
}

TEST(CommunicatorEvents, OnlyListenersWhoseSetHoldsTheNumberHear) {
    TRecorder sender, wants, ignores;
    wants.EventSet().set(35);
    sender.AddEventNotify(&wants);
    sender.AddEventNotify(&ignores);
    sender.SendEventNotify(&sender, 35, nullptr);
    sender.SendEventNotify(&sender, 256, nullptr);
    sender.SendEventNotify(&sender, -1, nullptr);
    EXPECT_EQ(wants.heard, std::vector<int>{35});
    EXPECT_TRUE(ignores.heard.empty());
    std::vector<int> viaHandler;
    wants.OnEventNotify = [&](TObject*, TObject* from, int n, TrsParamList*) {
        EXPECT_EQ(from, &sender);
        viaHandler.push_back(n);
    };
    sender.SendEventNotify(&sender, 35, nullptr);
    EXPECT_EQ(viaHandler, std::vector<int>{35});
    EXPECT_TRUE(sender.LinkedListensTo(35));
    EXPECT_FALSE(sender.LinkedListensTo(36));
    EXPECT_FALSE(sender.LinkedListensTo(300));
}

TEST(CommunicatorEvents, ListenersComingAndGoingDuringABroadcast) {
    TRecorder sender;
    auto a = std::make_unique<TRecorder>(), b = std::make_unique<TRecorder>(), c = std::make_unique<TRecorder>();
    auto late = std::make_unique<TRecorder>();
    for (TRecorder* l : {a.get(), b.get(), c.get(), late.get()}) l->EventSet().set(21);
    sender.AddEventNotify(a.get());
    sender.AddEventNotify(b.get());
    sender.AddEventNotify(c.get());

    // a removes itself: b and c still hear once each.
    a->onHear = [&] { sender.RemoveEventNotify(a.get()); };
    sender.SendEventNotify(&sender, 21, nullptr);
    EXPECT_EQ(a->heard.size(), 1u);
    EXPECT_EQ(b->heard.size(), 1u);
    EXPECT_EQ(c->heard.size(), 1u);

    // b removes c before c's turn, and adds a newcomer: neither hears this one.
    b->onHear = [&] {
        sender.RemoveEventNotify(c.get());
        sender.AddEventNotify(late.get());
    };
    sender.SendEventNotify(&sender, 21, nullptr);
    EXPECT_EQ(b->heard.size(), 2u);
    EXPECT_EQ(c->heard.size(), 1u) << "removed meanwhile: not told";
    EXPECT_TRUE(late->heard.empty()) << "added meanwhile: waits for the next broadcast";

    // b frees the newcomer and itself goes on; a listener freed in the loop is skipped.
    b->onHear = [&] { late.reset(); };
    sender.SendEventNotify(&sender, 21, nullptr);
    EXPECT_EQ(b->heard.size(), 3u);
    EXPECT_EQ(sender.EventNotifyCount(), 1);
}

// Whatever the number of listeners (the broadcast copies a few on the stack,
// many on the heap) and for links as for events: one freed by an earlier one
// during the broadcast is skipped, one added meanwhile waits, and the others
// are each told once, in their order.
TEST(CommunicatorEvents, ABroadcastToFewOrManySkipsTheFreedAndTellsTheRestOnce) {
    for (const std::size_t count : {std::size_t{3}, std::size_t{40}}) {
        for (const bool links : {false, true}) {
            SCOPED_TRACE(std::to_string(count) + (links ? " links" : " listeners"));
            TRecorder sender;
            std::vector<std::unique_ptr<TRecorder>> listeners;
            std::vector<TRecorder*> order;
            for (std::size_t i = 0; i < count; ++i) {
                listeners.push_back(std::make_unique<TRecorder>());
                listeners.back()->EventSet().set(33);
                sender.AddEventNotify(listeners.back().get());
            }
            auto late = std::make_unique<TRecorder>();
            late->EventSet().set(33);
            // Links are told last first, events first first: the first told
            // frees the one told last and brings in a newcomer.
            TRecorder* first = links ? listeners.back().get() : listeners.front().get();
            const std::size_t lastIndex = links ? 0 : count - 1;
            auto hear = [&](TRecorder* l) {
                order.push_back(l);
                if (l != first) return;
                listeners[lastIndex].reset();
                sender.AddEventNotify(late.get());
            };
            for (auto& l : listeners) {
                TRecorder* self = l.get();
                self->onHear = [&, self] { hear(self); };
                if (links) self->OnNotify = [&, self](TObject*, TrpCommunicator*, int) { hear(self); };
            }
            if (links)
                sender.SendNotify(&sender, 77);
            else
                sender.SendEventNotify(&sender, 33, nullptr);
            ASSERT_EQ(order.size(), count - 1);
            EXPECT_EQ(order.front(), first);
            EXPECT_EQ(std::set<TRecorder*>(order.begin(), order.end()).size(), count - 1) << "each told once";
            EXPECT_EQ(std::count(order.begin(), order.end(), late.get()), 0) << "the newcomer waits";
            if (!links) {
                for (std::size_t i = 1; i + 1 < order.size(); ++i) EXPECT_EQ(order[i], listeners[i].get());
            }
        }
    }
}

TEST(CommunicatorEvents, ABroadcastCannotBeMadeToLoop) {
    TRecorder sender, echo;
    echo.EventSet().set(90);
    sender.AddEventNotify(&echo);
    int depth = 0;
    echo.onHear = [&] {
        ++depth;
        sender.SendEventNotify(&sender, 90, nullptr);  // the same event again, from inside
        sender.RemoveEventNotify(&echo);
        sender.AddEventNotify(&echo);  // and back in the list
    };
    sender.SendEventNotify(&sender, 90, nullptr);
    EXPECT_EQ(depth, 1);
    sender.SendEventNotify(&sender, 90, nullptr);
    EXPECT_EQ(depth, 2) << "a later broadcast is not blocked";
}

TEST(CommunicatorEvents, ASenderFreedByItsListenerEndsTheBroadcastQuietly) {
    auto sender = std::make_unique<TRecorder>();
    TRecorder first, second;
    first.EventSet().set(5);
    second.EventSet().set(5);
    sender->AddEventNotify(&first);
    sender->AddEventNotify(&second);
    first.onHear = [&] { sender.reset(); };
    TrpCommunicator* raw = sender.get();
    raw->SendEventNotify(raw, 5, nullptr);
    EXPECT_EQ(second.heard.size(), 0u);
    EXPECT_EQ(first.NotifyCount(), 0);
}

TEST(CommunicatorEvents, ListenersWithKeysAreToldInKeyOrder) {
    TRecorder sender;
    TRecorder plain1, b(nullptr, "b"), A(nullptr, "A"), c(nullptr, "C"), plain2;
    for (TRecorder* l : {&plain1, &b, &A, &c, &plain2}) sender.AddEventNotify(l);
    EXPECT_EQ(Listeners(sender), (std::vector<TrpCommunicator*>{&plain1, &A, &b, &c, &plain2}));
}

TEST(CommunicatorState, IncludeAndExcludeTellOnlyOfChanges) {
    class TStateful : public TrpCommunicator {
    public:
        using TrpCommunicator::TrpCommunicator;
        std::vector<std::uint16_t> changes;
        void StateChange(std::uint16_t f) override { changes.push_back(f); }
    } c(nullptr);
    c.IncludeState(rpstDesigning);
    c.IncludeState(rpstDesigning);
    c.IncludeState(rpstDesigning | rpstUpdating);
    c.ExcludeState(rpstJoined);
    c.ExcludeState(rpstDesigning | rpstJoined);
    EXPECT_EQ(c.changes, (std::vector<std::uint16_t>{1, 513, 9}));
    EXPECT_EQ(c.State(), rpstUpdating);
}

TEST(CommunicatorDestruction, ANotificationThatThrowsDoesNotEscape) {
    TRecorder survivor;
    survivor.OnNotify = [](TObject*, TrpCommunicator*, int) { throw EPrintError("handler failed"); };
    EXPECT_NO_THROW({
        TRecorder doomed;
        doomed.AddEventNotify(&survivor);
    });
    EXPECT_EQ(survivor.NotifyCount(), 0) << "the link went away all the same";
}

// A report object named as the library names them ("rpSampleText1").
class TrpSampleText : public TrpCommunicator {
public:
    FAT_CLASS(TrpSampleText)
    using TrpCommunicator::TrpCommunicator;
};

TClass TrpSampleText::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpSampleText>("TrpSampleText", TrpCommunicator::StaticClassType())
                                       .String("UserName", &TrpSampleText::GetUserName, &TrpSampleText::SetUserName)
                                       .Build();
    return &info;
}

TEST(CommunicatorUserNames, TakenNamesAreRefusedOrNumbered) {
    TComponent form(nullptr);
    auto* a = new TrpSampleText(&form);
    auto* b = new TrpSampleText(&form);
    auto* c = new TrpSampleText(&form);
    a->SetUserName("Label1");
    b->SetUserName("Label1");
    EXPECT_EQ(b->GetUserName(), "") << "taken and ending in a digit: dropped";
    a->SetUserName("Label");
    b->SetUserName("label");
    EXPECT_EQ(b->GetUserName(), "label1") << "taken: the lowest free number";
    c->SetUserName("Label");
    EXPECT_EQ(c->GetUserName(), "Label2");
    c->SetUserName("1abc");
    c->SetUserName("com espaço");
    EXPECT_EQ(c->GetUserName(), "Label2") << "not identifiers: nothing changes";
    a->SetUserName("Label");
    EXPECT_EQ(a->GetUserName(), "Label") << "its own name is no clash";

    TRecorder watcher;
    a->AddNotify(&watcher);
    a->SetUserName("Total");
    ASSERT_FALSE(watcher.notified.empty());
    EXPECT_EQ(watcher.notified.back().second, rpopUserNameChanged);
}

TEST(CommunicatorUserNames, NamesFollowTheComponentNameUntilChosenFreely) {
    TComponent form(nullptr);
    auto* label = new TrpSampleText(&form);
    label->SetName("rpSampleText1");
    EXPECT_EQ(label->GetUserName(), "SampleText1");
    label->SetName("rpSampleText2");
    EXPECT_EQ(label->GetUserName(), "SampleText2");
    TRecorder watcher;
    watcher.EventSet().set(rpevNameChanged);
    label->AddEventNotify(&watcher);
    label->SetUserName("Cliente");
    label->SetName("rpSampleText3");
    EXPECT_EQ(label->GetUserName(), "Cliente") << "a name the user chose stays";
    EXPECT_EQ(watcher.heard, std::vector<int>{rpevNameChanged});

    auto* other = new TrpSampleText(&form);
    other->SetName("Qualquer");
    EXPECT_EQ(other->GetUserName(), "Qualquer");
    auto* clash = new TrpSampleText(&form);
    clash->SetName("rpCliente");  // its derived name "Cliente" is taken
    EXPECT_EQ(clash->GetUserName(), "SampleText1");
}

TEST(CommunicatorUserNames, MovingToAnotherOwnerKeepsNamesUnique) {
    TComponent first(nullptr), second(nullptr);
    auto* here = new TrpSampleText(&first);
    auto* there = new TrpSampleText(&second);
    here->SetUserName("Total");
    there->SetUserName("Total");
    here->ChangeOwner(&second);
    EXPECT_EQ(here->Owner(), &second);
    EXPECT_EQ(first.ComponentCount(), 0);
    EXPECT_EQ(here->GetUserName(), "SampleText1");
    EXPECT_EQ(there->GetUserName(), "Total");
}

TEST(CommunicatorNames, UniqueComponentNamesAreNeverTaken) {
    TComponent owner(nullptr);
    auto named = [&](const char* n) {
        auto* c = new TrpSampleText(&owner);
        c->SetName(n);
        return c;
    };
    EXPECT_EQ(rpUniqueComponentName("Base", &owner, nullptr), "Base1");
    named("Base1");
    named("Base2");
    named("Base4");
    EXPECT_EQ(rpUniqueComponentName("Base", &owner, nullptr), "Base3");
    TComponent other(nullptr);
    for (const char* n : {"Base01", "Base1", "Base2"}) (new TrpSampleText(&other))->SetName(n);
    EXPECT_EQ(rpUniqueComponentName("Base", &other, nullptr), "Base3") << "\"01\" is no clash for Base1";
    (new TComponent(&other))->SetName("Base3");
    EXPECT_EQ(rpUniqueComponentName("Base", &other, nullptr), "Base4") << "a name of any class is taken";
    EXPECT_EQ(rpUniqueComponentName("Base", nullptr, nullptr), "Base");
    TrpSampleText* self = named("Base3");
    EXPECT_EQ(rpUniqueComponentName("Base", &owner, nullptr), "Base5");
    EXPECT_EQ(rpUniqueComponentName("Base", &owner, self), "Base3") << "its own name is no clash";
}

}  // namespace
