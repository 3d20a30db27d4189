#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/rtl/SyncObjs.h"

namespace {

class TCounter : public TThread {
public:
    TCriticalSection* Lock = nullptr;
    int* Shared = nullptr;
    int Rounds = 0;

protected:
    void Execute() override {
        for (int i = 0; i < Rounds; ++i) {
            TCriticalSectionLock guard(*Lock);
            Lock->Enter();  // recursive entry by the holder must not deadlock
            ++*Shared;
            Lock->Leave();
        }
        SetReturnValue(Rounds);
    }
};

TEST(SyncObjs, CriticalSectionIsRecursiveAndExcludesOthers) {
    TCriticalSection cs;
    int shared = 0;
    std::vector<std::unique_ptr<TCounter>> threads;
    for (int i = 0; i < 4; ++i) {
        auto t = std::make_unique<TCounter>();
        t->Lock = &cs;
        t->Shared = &shared;
        t->Rounds = 2000;
        t->Start();
        threads.push_back(std::move(t));
    }
    for (auto& t : threads) EXPECT_EQ(t->WaitFor(), 2000);
    EXPECT_EQ(shared, 8000);
}

class TThrower : public TThread {
protected:
    void Execute() override { throw EConvertError("boom"); }
};

class TLooper : public TThread {
protected:
    void Execute() override {
        while (!Terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

TEST(SyncObjs, ThreadKeepsFatalExceptionAndStopsOnTerminate) {
    TThrower t;
    t.Start();
    t.WaitFor();
    ASSERT_TRUE(t.FatalException());
    EXPECT_THROW(std::rethrow_exception(t.FatalException()), EConvertError);
    EXPECT_THROW(t.Start(), EInvalidOperation);

    auto looper = std::make_unique<TLooper>();
    looper->Start();
    EXPECT_FALSE(looper->Finished());
    looper->Terminate();
    looper->WaitFor();
    EXPECT_TRUE(looper->Finished());
}

class TSyncer : public TThread {
public:
    std::thread::id RanOn;

protected:
    void Execute() override {
        Synchronize([this] { RanOn = std::this_thread::get_id(); });
    }
};

TEST(SyncObjs, SynchronizeRunsOnMainThreadWhileItWaits) {
    ASSERT_TRUE(TThread::IsMainThread());
    TSyncer t;
    t.Start();
    t.WaitFor();  // drains the queue; would deadlock otherwise
    EXPECT_EQ(t.RanOn, std::this_thread::get_id());
}

class TSelfFreeing : public TThread {
public:
    TEvent* Gone = nullptr;
    ~TSelfFreeing() override { Gone->SetEvent(); }

protected:
    void Execute() override { delete this; }
};

TEST(SyncObjs, ThreadMayFreeItselfAtTheEndOfExecute) {
    TSimpleEvent gone;
    auto* t = new TSelfFreeing;
    t->Gone = &gone;
    t->Start();
    EXPECT_EQ(gone.WaitFor(5000), wrSignaled);
    // Give the thread time to finish its epilogue; the sanitizer would flag
    // any use of the freed object there.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

TEST(SyncObjs, EventsManualAndAutoReset) {
    TEvent manual(true, false);
    EXPECT_EQ(manual.WaitFor(0), wrTimeout);
    manual.SetEvent();
    EXPECT_EQ(manual.WaitFor(0), wrSignaled);
    EXPECT_EQ(manual.WaitFor(0), wrSignaled);  // stays signalled
    manual.ResetEvent();
    EXPECT_EQ(manual.WaitFor(10), wrTimeout);

    TEvent automatic(false, true);
    EXPECT_EQ(automatic.WaitFor(0), wrSignaled);
    EXPECT_EQ(automatic.WaitFor(0), wrTimeout);  // one waiter per signal

    TSimpleEvent simple;
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        simple.SetEvent();
    });
    EXPECT_EQ(simple.WaitFor(5000), wrSignaled);
    setter.join();
}

TEST(SyncObjs, NamedEventsAreSharedAcrossObjectsAndThreads) {
    auto first = std::make_unique<TEvent>(true, false, "fat.test.print");
    std::atomic<int> woke{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            TEvent mine(false, true, "fat.test.print");  // joins: settings of the first win
            if (mine.WaitFor(5000) == wrSignaled) ++woke;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    TEvent(true, false, "fat.test.print").SetEvent();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woke, 3);
    EXPECT_TRUE(first->ManualReset());
    first.reset();
    // With every holder gone the name starts afresh.
    TEvent fresh(false, false, "fat.test.print");
    EXPECT_FALSE(fresh.ManualReset());
    EXPECT_EQ(fresh.WaitFor(0), wrTimeout);
    TEvent other(true, false, "fat.test.other");
    other.SetEvent();
    EXPECT_EQ(fresh.WaitFor(0), wrTimeout);
}

}  // namespace
