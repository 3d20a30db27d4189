#pragma once
// Slows down password guessing at the log-in and at the lock screen: after
// three failures in a row for one user, every further attempt must wait a
// delay that doubles with each failure, up to kMaxLoginDelayMs; a success
// clears the count.
//
// The count is kept per user as the register finds the user (the stored
// id, whatever spelling the database matched it by: its comparison ignores
// case and characters it holds for nothing), and in the database itself
// (table kLoginFailureTable), so that another instance of the program, or a
// new start, sees the same count. A name no user has is counted by its
// upper-case spelling, so the delay tells nothing about the register. The
// windows ask before they look at the password.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/db/SQLiteDatabase.h"

namespace billing::data {

inline constexpr int kFreeLoginFailures = 3;
inline constexpr int kMaxLoginDelayMs = 30000;
// chave (the user as counted), falhas (failures in a row), ultima (the
// last failure, milliseconds since 1970).
inline constexpr const char* kLoginFailureTable = "falha_login";

// Makes the table where it is missing (a database of an older release).
void EnsureLoginFailureTable(sqlite::Database& db);

// The name a failure counts under: the found user's stored id, else the
// typed name; either upper-cased and trimmed.
std::string LoginKey(const std::string& Typed, const std::string& FoundId);

class LoginDelay {
public:
    // Clock in milliseconds since 1970 (the system's unless given): the
    // instances that share a database share its time.
    explicit LoginDelay(std::function<std::int64_t()> ClockMs = nullptr);

    // The delay that follows `Failures` failures in a row: none for the
    // first three, then 1 s, 2 s, 4 s... never more than kMaxLoginDelayMs.
    static int DelayAfter(int Failures);

    // Milliseconds before Key (see LoginKey) may try again (0: now). A
    // clock set back never makes the wait longer than the delay itself.
    int Remaining(sqlite::Database& Db, const std::string& Key) const;
    // Counts a failure, in one transaction: two instances failing at once
    // both count.
    void Failed(sqlite::Database& Db, const std::string& Key);
    void Succeeded(sqlite::Database& Db, const std::string& Key);

    void SetClock(std::function<std::int64_t()> ClockMs);

private:
    std::function<std::int64_t()> clock_;
};

// The program's one clock for the counts.
LoginDelay& LoginDelays();

// What the clerk reads while a delay runs, with the seconds left.
std::string LoginDelayMessage(int RemainingMs);

// A character that shows nothing or moves nothing on screen: controls,
// format characters (soft hyphen, zero-width space and joiners, direction
// marks), characters the collation ignores, spaces other than the plain
// one, and bytes that are no UTF-8. A user name holding one would be a
// second spelling of a name that looks the same.
bool HasInvisibleCharacter(std::string_view Text);
// The refusal of such a name.
extern const char* const kInvisibleCharacterInName;

}  // namespace billing::data
