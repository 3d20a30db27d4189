#pragma once
// Waiting for the monitor's answer to a request without blocking anything:
// a timer looks for the answer file (then the error file) every step, and
// the wait ends when one is there, when the time allowed has passed on the
// clock, or when its owner cancels it. Nothing sleeps and no event loop is
// run inside: the caller returns to its own loop and hears the outcome
// through the callback. An AnswerWait destroyed or cancelled never calls
// back, so a form that closes mid-wait simply ends its wait. The callback
// runs inside the timer's tick: it must not destroy the wait (its owner
// lets it go later, at the next request or when it closes).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace billing::nfe {

// What drives the wait: Start calls `tick` every `ms` milliseconds until
// Stop (or destruction). The window layer gives a TTimer; tests a hand-moved one.
class WaitTimer {
public:
    virtual ~WaitTimer() = default;
    virtual void Start(int ms, std::function<void()> tick) = 0;
    virtual void Stop() = 0;
};

struct WaitServices {
    std::function<std::unique_ptr<WaitTimer>()> make_timer;
    // Monotonic milliseconds.
    std::function<std::int64_t()> clock;
};

enum class WaitOutcome {
    Answer,    // the answer file, its bytes in `bytes`
    Error,     // the error file, its bytes in `bytes`
    TimedOut,  // nothing usable came in the time allowed
    Unusable,  // a file came but never made sense; `path` names it, `problem` says why
};

struct WaitResult {
    WaitOutcome outcome = WaitOutcome::TimedOut;
    std::string path;
    std::string bytes;
    std::string problem;
    // Another program applied the answer and moved its file (`path` is
    // empty): the waiter only tells what it said.
    bool appliedElsewhere = false;
};

// Whether a wait of this process is looking for the file at path now: the
// poller leaves such an answer to the window that waits for it.
bool AnswerAwaited(const std::string& path);

class AnswerWait {
public:
    // Whether a file's bytes make a complete answer (the monitor may still be
    // writing it); false with `problem` set. Unset, any readable file does.
    using Check = std::function<bool(const std::string& bytes, bool errorFile, std::string& problem)>;
    using Done = std::function<void(const WaitResult& result)>;

    // Looks for `answerPath` and `errorPath` every `stepMs`, for `limitMs` in
    // all; a file that does not make sense gets the remaining steps before it
    // is taken as unusable.
    AnswerWait(WaitServices services, std::string answerPath, std::string errorPath, int stepMs, int limitMs,
               Check check, Done done);
    ~AnswerWait();
    AnswerWait(const AnswerWait&) = delete;
    AnswerWait& operator=(const AnswerWait&) = delete;

    // Asked at each step the files are not there: the answer another
    // program on the same database applied first, if any. `stopped` is
    // told once the wait ends, however it ends.
    void AlsoAsk(std::function<std::optional<WaitResult>()> elsewhere, std::function<void()> stopped = nullptr) {
        elsewhere_ = std::move(elsewhere);
        stopped_ = std::move(stopped);
    }

    // Raises ENFeError when the services are not installed.
    void Start();
    // Ends the wait; the callback is not called.
    void Cancel();
    bool Waiting() const { return waiting_; }

private:
    void Tick();
    void Finish(WaitResult result);

    WaitServices services_;
    std::string answer_, error_;
    int step_, limit_;
    Check check_;
    Done done_;
    std::function<std::optional<WaitResult>()> elsewhere_;
    std::function<void()> stopped_;
    std::unique_ptr<WaitTimer> timer_;
    std::int64_t started_ = 0;
    bool waiting_ = false;
};

}  // namespace billing::nfe
