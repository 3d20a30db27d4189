#pragma once
// A clock for the answer waits that moves only when a test says so: every
// timer the waits start ticks in time order as Advance passes its turn.
#include <cstdint>
#include <vector>

#include "billing/nfe/AnswerWait.h"

namespace nfetest {

class FakeWaitClock {
public:
    FakeWaitClock() = default;
    ~FakeWaitClock();
    FakeWaitClock(const FakeWaitClock&) = delete;
    FakeWaitClock& operator=(const FakeWaitClock&) = delete;

    billing::nfe::WaitServices Services();
    std::int64_t Now() const { return now_; }
    // Moves the time on, running each tick that falls due on the way.
    void Advance(int milliseconds);
    // Timers running now.
    int Running() const;

private:
    class Timer;
    friend class Timer;
    std::int64_t now_ = 0;
    std::vector<Timer*> timers_;
};

}  // namespace nfetest
