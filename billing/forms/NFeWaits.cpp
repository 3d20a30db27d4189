#include "billing/forms/NFeWaits.h"

#include <memory>

#include <QWidget>

#include "platform/ui/ExtCtrls.h"

namespace billing::forms {

namespace {

class FormTimer : public billing::nfe::WaitTimer {
public:
    FormTimer() : timer_(std::make_unique<TTimer>(nullptr)) { timer_->SetEnabled(false); }
    void Start(int ms, std::function<void()> tick) override {
        timer_->SetEnabled(false);
        timer_->SetInterval(ms);
        timer_->OnTimer = [tick = std::move(tick)](TObject*) { tick(); };
        timer_->SetEnabled(true);
    }
    void Stop() override { timer_->SetEnabled(false); }

private:
    std::unique_ptr<TTimer> timer_;
};

}  // namespace

billing::nfe::WaitServices TimerWaitServices() {
    billing::nfe::WaitServices s;
    s.make_timer = [] { return std::make_unique<FormTimer>(); };
    s.clock = [] { return ui::TimerClockNow(); };
    return s;
}

}  // namespace billing::forms
