#include "billing/data/LoginDelay.h"

#include <algorithm>
#include <chrono>

#include "platform/rtl/Strings.h"

namespace billing::data {

LoginDelay::LoginDelay(std::function<std::int64_t()> ClockMs) { SetClock(std::move(ClockMs)); }

void LoginDelay::SetClock(std::function<std::int64_t()> ClockMs) {
    if (!ClockMs) {
        ClockMs = [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                .count();
        };
    }
    clock_ = std::move(ClockMs);
}

int LoginDelay::DelayAfter(int Failures) {
    if (Failures < kFreeLoginFailures) return 0;
    int doublings = std::min(Failures - kFreeLoginFailures, 15);
    return std::min(kMaxLoginDelayMs, 1000 << doublings);
}

std::string LoginDelay::Key(const std::string& User) { return AnsiUpperCase(Trim(User)); }

int LoginDelay::Remaining(const std::string& User) const {
    auto it = users_.find(Key(User));
    if (it == users_.end()) return 0;
    std::int64_t left = it->second.until - clock_();
    return left > 0 ? static_cast<int>(left) : 0;
}

void LoginDelay::Failed(const std::string& User) {
    Entry& e = users_[Key(User)];
    ++e.failures;
    e.until = clock_() + DelayAfter(e.failures);
}

void LoginDelay::Succeeded(const std::string& User) { users_.erase(Key(User)); }

LoginDelay& LoginDelays() {
    static LoginDelay delays;
    return delays;
}

std::string LoginDelayMessage(int RemainingMs) {
    int seconds = (RemainingMs + 999) / 1000;
    return "Foram digitadas senhas incorretas seguidas para este Usuário. Aguarde " + std::to_string(seconds) +
           (seconds == 1 ? " segundo" : " segundos") + " para tentar novamente.";
}

}  // namespace billing::data
