#include "billing/data/LoginDelay.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <chrono>

#include "platform/db/SQLSchema.h"
#include "platform/rtl/Strings.h"

namespace billing::data {

namespace {

// A count older than this starts again: the rows of names typed once and
// never again do not pile up for ever.
constexpr std::int64_t kForgetAfterMs = 24LL * 60 * 60 * 1000;

}  // namespace

void EnsureLoginFailureTable(sqlite::Database& db) {
    db.Exec(sqlite::CreateTableSql(kLoginFailureTable,
                                   {{"chave", "text(255)", true, true},
                                    {"falhas", "integer", true, false},
                                    {"ultima", "integer", true, false}},
                                   true));
}

std::string LoginKey(const std::string& Typed, const std::string& FoundId) {
    return AnsiUpperCase(Trim(FoundId.empty() ? Typed : FoundId));
}

LoginDelay::LoginDelay(std::function<std::int64_t()> ClockMs) { SetClock(std::move(ClockMs)); }

void LoginDelay::SetClock(std::function<std::int64_t()> ClockMs) {
    if (!ClockMs) {
        ClockMs = [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
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

int LoginDelay::Remaining(sqlite::Database& Db, const std::string& Key) const {
    sqlite::Statement st(Db, std::string("select falhas, ultima from ") + kLoginFailureTable + " where chave = ?1");
    st.BindText(1, Key);
    if (!st.Step()) return 0;
    const std::int64_t failures = st.ColumnInt64(0);
    const std::int64_t last = st.ColumnInt64(1);
    st.Reset();
    const int delay = DelayAfter(static_cast<int>(std::min<std::int64_t>(failures, 1000)));
    const std::int64_t now = clock_();
    if (last > now) {
        // Written by a machine whose clock is ahead: counted from now, and
        // stored so, or the wait would start again at every try until this
        // clock caught up with that one.
        try {
            Db.Execute(std::string("update ") + kLoginFailureTable +
                           " set ultima = :pagora where chave = :pchave and ultima > :pagora",
                       {"pagora", "pchave"}, {now, Key});
        } catch (const std::exception&) {
            // A file that cannot be written still waits no longer than the delay.
        }
        return delay;
    }
    const std::int64_t left = last + delay - now;
    return static_cast<int>(std::clamp<std::int64_t>(left, 0, delay));
}

void LoginDelay::Failed(sqlite::Database& Db, const std::string& Key) {
    const std::int64_t now = clock_();
    sqlite::Transaction tr(Db);
    Db.Execute(std::string("delete from ") + kLoginFailureTable + " where ultima < :pantes", {"pantes"},
               {now - kForgetAfterMs});
    const std::int64_t changed =
        Db.Execute(std::string("update ") + kLoginFailureTable +
                       " set falhas = falhas + 1, ultima = :pultima where chave = :pchave",
                   {"pultima", "pchave"}, {now, Key});
    if (changed == 0)
        Db.Execute(std::string("insert into ") + kLoginFailureTable +
                       "(chave, falhas, ultima) values(:pchave, 1, :pultima)",
                   {"pchave", "pultima"}, {Key, now});
    tr.Commit();
}

void LoginDelay::Succeeded(sqlite::Database& Db, const std::string& Key) {
    Db.Execute(std::string("delete from ") + kLoginFailureTable + " where chave = :pchave", {"pchave"}, {Key});
}

LoginDelay& LoginDelays() {
    static LoginDelay delays;
    return delays;
}

std::string LoginDelayMessage(int RemainingMs) {
    int seconds = (RemainingMs + 999) / 1000;
    return "Foram digitadas senhas incorretas seguidas para este Usuário. Aguarde " + std::to_string(seconds) +
           (seconds == 1 ? " segundo" : " segundos") + " para tentar novamente.";
}

bool HasInvisibleCharacter(std::string_view Text) {
    if (!utf8::IsValid(Text)) return true;
    for (std::size_t pos = 0; pos < Text.size();) {
        const auto c = static_cast<UChar32>(utf8::Next(Text, pos));
        if (c == U' ') continue;
        switch (u_charType(c)) {
        case U_CONTROL_CHAR:
        case U_FORMAT_CHAR:
        case U_SPACE_SEPARATOR:
        case U_LINE_SEPARATOR:
        case U_PARAGRAPH_SEPARATOR:
        case U_UNASSIGNED:
        case U_PRIVATE_USE_CHAR:
        case U_SURROGATE: return true;
        default: break;
        }
        if (u_hasBinaryProperty(c, UCHAR_DEFAULT_IGNORABLE_CODE_POINT)) return true;
    }
    return false;
}

const char* const kInvisibleCharacterInName =
    "O nome do Usuário contém um caractere invisível ou de controle (como um hífen oculto ou um espaço de "
    "largura zero). Digite o nome de novo, só com letras, números e sinais visíveis.";

}  // namespace billing::data
