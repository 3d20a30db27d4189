#pragma once
// Slows down password guessing at the log-in: after three failures in a row
// for one user name, every further attempt must wait a delay that doubles
// with each failure, up to kMaxLoginDelayMs; a success clears the count.
// The name is counted whether or not such a user exists, so the delay tells
// nothing about the register. Kept per process: the log-in window asks it
// before it looks at the password.
#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace billing::data {

inline constexpr int kFreeLoginFailures = 3;
inline constexpr int kMaxLoginDelayMs = 30000;

class LoginDelay {
public:
    // Clock in milliseconds (a steady one unless given).
    explicit LoginDelay(std::function<std::int64_t()> ClockMs = nullptr);

    // The delay that follows `Failures` failures in a row: none for the
    // first three, then 1 s, 2 s, 4 s... never more than kMaxLoginDelayMs.
    static int DelayAfter(int Failures);

    // Milliseconds before User may try again (0: now).
    int Remaining(const std::string& User) const;
    void Failed(const std::string& User);
    void Succeeded(const std::string& User);

    void SetClock(std::function<std::int64_t()> ClockMs);

private:
    struct Entry {
        int failures = 0;
        std::int64_t until = 0;
    };
    static std::string Key(const std::string& User);
    std::function<std::int64_t()> clock_;
    std::map<std::string, Entry> users_;
};

// The program's one counter.
LoginDelay& LoginDelays();

// What the clerk reads while a delay runs, with the seconds left.
std::string LoginDelayMessage(int RemainingMs);

}  // namespace billing::data
