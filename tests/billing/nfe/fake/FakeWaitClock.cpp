#include "tests/billing/nfe/fake/FakeWaitClock.h"

#include <algorithm>
#include <functional>

namespace nfetest {

class FakeWaitClock::Timer : public billing::nfe::WaitTimer {
public:
    explicit Timer(FakeWaitClock* clock) : clock_(clock) { clock_->timers_.push_back(this); }
    ~Timer() override {
        if (clock_ != nullptr) {
            auto& all = clock_->timers_;
            all.erase(std::remove(all.begin(), all.end(), this), all.end());
        }
    }
    void Start(int ms, std::function<void()> tick) override {
        interval_ = ms;
        tick_ = std::move(tick);
        due_ = clock_ != nullptr ? clock_->now_ + ms : -1;
    }
    void Stop() override { due_ = -1; }

    FakeWaitClock* clock_;
    int interval_ = 0;
    std::int64_t due_ = -1;
    std::function<void()> tick_;
};

FakeWaitClock::~FakeWaitClock() {
    for (Timer* t : timers_) t->clock_ = nullptr;
}

billing::nfe::WaitServices FakeWaitClock::Services() {
    billing::nfe::WaitServices s;
    s.make_timer = [this] { return std::make_unique<Timer>(this); };
    s.clock = [this] { return now_; };
    return s;
}

void FakeWaitClock::Advance(int milliseconds) {
    std::int64_t until = now_ + std::max(0, milliseconds);
    for (;;) {
        Timer* next = nullptr;
        for (Timer* t : timers_)
            if (t->due_ >= 0 && t->due_ <= until && (next == nullptr || t->due_ < next->due_)) next = t;
        if (next == nullptr) break;
        now_ = next->due_;
        next->due_ += next->interval_;
        // The tick may stop or destroy its timer: it runs from a copy.
        std::function<void()> tick = next->tick_;
        tick();
    }
    now_ = until;
}

int FakeWaitClock::Running() const {
    return static_cast<int>(std::count_if(timers_.begin(), timers_.end(), [](Timer* t) { return t->due_ >= 0; }));
}

}  // namespace nfetest
