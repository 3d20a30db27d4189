#include "platform/rtl/SyncObjs.h"

#include <chrono>
#include <deque>
#include <map>

struct TEvent::State {
    std::mutex lock;
    std::condition_variable cv;
    bool manualReset = true;
    bool signaled = false;
};

namespace {

// Named events: the name keeps its state while any TEvent holds it.
struct NamedEvents {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<TEvent::State>> byName;
};

NamedEvents& Named() {
    static NamedEvents n;
    return n;
}

struct SyncQueue {
    std::mutex lock;
    std::condition_variable cv;
    std::deque<std::function<void()>> calls;
    std::thread::id mainThread = std::this_thread::get_id();
};

SyncQueue& Sync() {
    static SyncQueue q;
    return q;
}

// Makes sure the main thread is recorded while the program is still single-threaded.
const bool kMainRecorded = (Sync(), true);

}  // namespace

// ---------------------------------------------------------------------------
// TEvent

TEvent::TEvent(bool ManualReset, bool InitialState, const std::string& Name) : name_(Name) {
    if (!Name.empty()) {
        NamedEvents& n = Named();
        std::lock_guard<std::mutex> guard(n.lock);
        auto& slot = n.byName[Name];
        state_ = slot.lock();
        if (!state_) {
            state_ = std::make_shared<State>();
            state_->manualReset = ManualReset;
            state_->signaled = InitialState;
            slot = state_;
        }
        return;
    }
    state_ = std::make_shared<State>();
    state_->manualReset = ManualReset;
    state_->signaled = InitialState;
}

TEvent::~TEvent() {
    if (name_.empty()) return;
    NamedEvents& n = Named();
    std::lock_guard<std::mutex> guard(n.lock);
    state_.reset();
    auto it = n.byName.find(name_);
    if (it != n.byName.end() && it->second.expired()) n.byName.erase(it);
}

void TEvent::SetEvent() {
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        state_->signaled = true;
    }
    if (state_->manualReset)
        state_->cv.notify_all();
    else
        state_->cv.notify_one();
}

void TEvent::ResetEvent() {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->signaled = false;
}

bool TEvent::ManualReset() const { return state_->manualReset; }

TWaitResult TEvent::WaitFor(std::uint32_t Timeout) {
    std::unique_lock<std::mutex> guard(state_->lock);
    auto ready = [this] { return state_->signaled; };
    if (Timeout == INFINITE)
        state_->cv.wait(guard, ready);
    else if (!state_->cv.wait_for(guard, std::chrono::milliseconds(Timeout), ready))
        return wrTimeout;
    if (!state_->manualReset) state_->signaled = false;
    return wrSignaled;
}

// ---------------------------------------------------------------------------
// TThread

void SetMainThreadId(std::thread::id Id) {
    SyncQueue& q = Sync();
    std::lock_guard<std::mutex> guard(q.lock);
    q.mainThread = Id;
}

bool TThread::IsMainThread() {
    SyncQueue& q = Sync();
    std::lock_guard<std::mutex> guard(q.lock);
    return q.mainThread == std::this_thread::get_id();
}

TThread::TThread() = default;

TThread::~TThread() {
    Terminate();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();  // a thread deleting itself cannot join itself
        else
            WaitFor();
    }
}

void TThread::Start() {
    if (started_.exchange(true)) throw EInvalidOperation("Thread already started");
    thread_ = std::thread([this, control = control_] {
        {
            std::unique_lock<std::mutex> guard(control->lock);
            control->launchedCv.wait(guard, [&] { return control->launched; });
        }
        std::exception_ptr fatal;
        try {
            Execute();
        } catch (...) {
            fatal = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> guard(control->lock);
            control->fatal = fatal;
            control->finished = true;
        }
        control->done.notify_all();
        // Wake a main thread waiting in CheckSynchronize for this thread.
        Sync().cv.notify_all();
    });
    {
        std::lock_guard<std::mutex> guard(control_->lock);
        control_->launched = true;
    }
    control_->launchedCv.notify_all();
}

int TThread::WaitFor() {
    if (!started_) return returnValue_;
    if (IsMainThread()) {
        while (!control_->finished) CheckSynchronize(10);
    } else {
        std::unique_lock<std::mutex> guard(control_->lock);
        control_->done.wait(guard, [this] { return control_->finished.load(); });
    }
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    return returnValue_;
}

std::exception_ptr TThread::FatalException() const {
    std::lock_guard<std::mutex> guard(control_->lock);
    return control_->fatal;
}

void TThread::Synchronize(const std::function<void()>& Method) {
    if (IsMainThread()) {
        Method();
        return;
    }
    struct Call {
        std::mutex lock;
        std::condition_variable cv;
        bool done = false;
        std::exception_ptr error;
    };
    auto call = std::make_shared<Call>();
    Queue([call, &Method] {
        try {
            Method();
        } catch (...) {
            call->error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> guard(call->lock);
            call->done = true;
        }
        call->cv.notify_all();
    });
    std::unique_lock<std::mutex> guard(call->lock);
    call->cv.wait(guard, [&] { return call->done; });
    if (call->error) std::rethrow_exception(call->error);
}

void TThread::Queue(std::function<void()> Method) {
    SyncQueue& q = Sync();
    {
        std::lock_guard<std::mutex> guard(q.lock);
        q.calls.push_back(std::move(Method));
    }
    q.cv.notify_all();
}

bool TThread::CheckSynchronize(std::uint32_t Timeout) {
    SyncQueue& q = Sync();
    std::deque<std::function<void()>> calls;
    {
        std::unique_lock<std::mutex> guard(q.lock);
        if (q.calls.empty() && Timeout > 0)
            q.cv.wait_for(guard, std::chrono::milliseconds(Timeout), [&] { return !q.calls.empty(); });
        calls.swap(q.calls);
    }
    for (auto& c : calls) c();
    return !calls.empty();
}
