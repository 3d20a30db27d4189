#pragma once
// Synchronisation between threads: a recursive critical section, a thread
// helper with a queue of calls the main thread runs for it, and event objects
// (manual or automatic reset, optionally shared by name within the process).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/rtl/Object.h"
#include "platform/rtl/SysUtils.h"

constexpr std::uint32_t INFINITE = 0xFFFFFFFFu;

enum TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// Recursive, as the Windows critical section: the thread that holds it may
// enter again and must leave as many times.
class TCriticalSection : public TObject {
public:
    FAT_CLASS_NAME(TCriticalSection)
    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }
    void Acquire() { Enter(); }
    void Release() { Leave(); }
    bool TryEnter() { return mutex_.try_lock(); }

private:
    std::recursive_mutex mutex_;
};

// Holds a critical section for a scope.
class TCriticalSectionLock {
public:
    explicit TCriticalSectionLock(TCriticalSection& cs) : cs_(cs) { cs_.Enter(); }
    ~TCriticalSectionLock() { cs_.Leave(); }
    TCriticalSectionLock(const TCriticalSectionLock&) = delete;
    TCriticalSectionLock& operator=(const TCriticalSectionLock&) = delete;

private:
    TCriticalSection& cs_;
};

// An event object. Events created with the same non-empty name share one
// state while any of them lives: the first creation decides manual or
// automatic reset and the initial state, later ones join it (as the
// operating system's named events do).
class TEvent : public TObject {
public:
    explicit TEvent(bool ManualReset = true, bool InitialState = false, const std::string& Name = "");
    ~TEvent() override;
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;
    FAT_CLASS_NAME(TEvent)

    void SetEvent();
    void ResetEvent();
    // Waits up to Timeout milliseconds (INFINITE for no limit). An
    // automatic-reset event lets one waiter through per SetEvent.
    TWaitResult WaitFor(std::uint32_t Timeout = INFINITE);
    const std::string& Name() const { return name_; }
    bool ManualReset() const;

    struct State;

private:
    std::shared_ptr<State> state_;
    std::string name_;
};

// A manual-reset event that starts unsignalled.
class TSimpleEvent : public TEvent {
public:
    TSimpleEvent() : TEvent(true, false) {}
    FAT_CLASS_NAME(TSimpleEvent)
};

// A thread: derive, override Execute, call Start. Before destroying a started
// thread, Terminate it and WaitFor it (the derived part of the object is gone
// by the time this class's destructor runs, so Execute must have ended); the
// destructor still joins as a last resort. An exception leaving Execute is
// kept in FatalException instead of ending the program.
class TThread : public TObject {
public:
    TThread();
    ~TThread() override;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    FAT_CLASS_NAME(TThread)

    // Raises EInvalidOperation "Thread already started" on a second call.
    void Start();
    // Waits for Execute to end and gives ReturnValue. Called on the main
    // thread it keeps running the calls other threads queued with
    // Synchronize, so a worker waiting for the main thread cannot deadlock it.
    int WaitFor();
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    bool Finished() const { return control_->finished; }
    bool Started() const { return started_; }
    int ReturnValue() const { return returnValue_; }
    void SetReturnValue(int Value) { returnValue_ = Value; }
    std::exception_ptr FatalException() const;
    std::thread::id ThreadID() const { return thread_.get_id(); }

    // Runs Method on the main thread and waits for it. On the main thread it
    // runs at once. An exception raised by Method is raised again here.
    static void Synchronize(const std::function<void()>& Method);
    // Puts Method on the main thread's queue without waiting.
    static void Queue(std::function<void()> Method);
    // Runs the queued calls; the main loop calls it. Waits up to Timeout ms
    // for a first call when the queue is empty. True when it ran any.
    static bool CheckSynchronize(std::uint32_t Timeout = 0);
    static bool IsMainThread();

protected:
    virtual void Execute() = 0;

private:
    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> started_{false};
    std::atomic<int> returnValue_{0};
    // What the running thread touches after Execute: shared, so that it
    // stays valid even if Execute ended by deleting its own object.
    struct Control {
        std::mutex lock;
        std::condition_variable done;
        std::atomic<bool> finished{false};
        // Execute waits for Start to finish storing the thread: a thread that
        // frees itself must not do so while Start still writes into it.
        bool launched = false;
        std::condition_variable launchedCv;
        std::exception_ptr fatal;
    };
    std::shared_ptr<Control> control_ = std::make_shared<Control>();
};

// The id of the thread that started the program (the first one to use this
// unit's statics counts as main when the program has not set it).
void SetMainThreadId(std::thread::id Id);
