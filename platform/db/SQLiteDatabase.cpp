#include "platform/db/SQLiteDatabase.h"
#include "platform/db/TextRules.h"

#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"

#include <sqlite3.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/locid.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

namespace sqlite {

namespace {

// ---------------------------------------------------------------- messages

// The sentence the user reads first; the engine's own text follows it, for
// whoever supports him.
std::string LeadText(int rc) {
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "O banco de dados está em uso por outro usuário; tente novamente.";
    case SQLITE_CONSTRAINT:
        return "A gravação viola uma restrição do banco de dados.";
    case SQLITE_READONLY:
        if (rc == SQLITE_READONLY_DIRECTORY)
            return "O banco de dados está em uma pasta somente leitura; o programa precisa gravar nessa pasta. "
                   "Coloque o arquivo numa pasta em que o usuário possa gravar.";
        return "O arquivo do banco de dados é somente leitura; o programa precisa gravar nele.";
    case SQLITE_CANTOPEN:
        return "Não foi possível abrir o arquivo do banco de dados.";
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return "O arquivo não é um banco de dados válido ou está danificado.";
    case SQLITE_FULL:
        return "Não há espaço em disco para gravar no banco de dados.";
    case SQLITE_IOERR:
        return "Erro de leitura ou gravação no arquivo do banco de dados.";
    case SQLITE_MISMATCH:
        return "Tipo de dado incompatível com a coluna.";
    case SQLITE_TOOBIG:
        return "Valor grande demais para o banco de dados.";
    default:
        return "Erro no banco de dados.";
    }
}

// A file that cannot be opened: its folder usually says why.
std::string OpenLeadText(int rc, const std::string& path) {
    if ((rc & 0xff) == SQLITE_CANTOPEN) {
        // The folder the engine works in: the one a link leads to.
        const std::string engineFile = EngineFileName(path);
        std::string folder = engineFile.find('/') == std::string::npos
                                 ? "."
                                 : engineFile.substr(0, engineFile.find_last_of('/') + 1);
        if (folder.empty()) folder = "/";
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return "A pasta do banco de dados não existe.";
        if (::access(folder.c_str(), W_OK) != 0) return LeadText(SQLITE_READONLY_DIRECTORY);
    }
    return LeadText(rc);
}

std::string OpenFailure(int rc, const std::string& path, const std::string& engineText) {
    return OpenLeadText(rc, path) + "\r\nArquivo: \"" + path + "\"\r\n\r\nMensagem do banco de dados: " + engineText;
}

// ---------------------------------------------------------------- UTF-8

// Decodes one code point; malformed bytes come out as U+FFFD one byte at a
// time, so no input can make the matcher read past the end.
char32_t NextCodePoint(const unsigned char*& p, const unsigned char* end) {
    unsigned char c = *p++;
    if (c < 0x80) return c;
    int extra = 0;
    char32_t cp = 0;
    if ((c & 0xE0) == 0xC0) { extra = 1; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { extra = 2; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { extra = 3; cp = c & 0x07; }
    else return 0xFFFD;
    if (end - p < extra) return 0xFFFD;
    for (int i = 0; i < extra; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0xFFFD;
    }
    for (int i = 0; i < extra; ++i) cp = (cp << 6) | (p[i] & 0x3F);
    p += extra;
    return cp;
}

std::u32string FoldedCodePoints(const char* text, std::size_t len) {
    std::u32string out;
    out.reserve(len);
    auto p = reinterpret_cast<const unsigned char*>(text);
    auto end = p + len;
    while (p < end) out.push_back(static_cast<char32_t>(u_foldCase(static_cast<UChar32>(NextCodePoint(p, end)), U_FOLD_CASE_DEFAULT)));
    return out;
}

// SQL LIKE over folded code points: "%" any run, "_" one character, the
// escape character makes the next one literal.
bool LikeMatch(const std::u32string& s, const std::u32string& p, char32_t escape) {
    std::size_t si = 0, pi = 0;
    std::size_t starP = std::u32string::npos, starS = 0;
    while (si < s.size()) {
        if (pi < p.size()) {
            char32_t pc = p[pi];
            if (escape != 0 && pc == escape && pi + 1 < p.size()) {
                if (p[pi + 1] == s[si]) { pi += 2; ++si; continue; }
            } else if (pc == U'%') {
                starP = pi++;
                starS = si;
                continue;
            } else if (pc == U'_' || pc == s[si]) {
                ++pi; ++si;
                continue;
            }
        }
        if (starP == std::u32string::npos) return false;
        pi = starP + 1;
        si = ++starS;
    }
    while (pi < p.size() && p[pi] == U'%') ++pi;
    return pi == p.size();
}

// ---------------------------------------------------------------- collation

// The program has one pt-BR comparison: the database orders text columns
// exactly as AnsiCompareText does, so rows read in the database's order are
// in the order every other part of the program expects (a report's
// master/detail link among them).
int CollationCallback(void*, int lenA, const void* a, int lenB, const void* b) {
    return AnsiCompareText(std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(lenA)),
                           std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(lenB)));
}

// ---------------------------------------------------------------- SQL functions

std::string ArgText(sqlite3_value* v) {
    auto t = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return t ? std::string(t, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string();
}

void LikeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    // LIKE(pattern, text [, escape])
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
    }
    std::string pattern = ArgText(argv[0]);
    std::string text = ArgText(argv[1]);
    char32_t escape = 0;
    if (argc == 3) {
        std::string e = ArgText(argv[2]);
        std::u32string ecp = FoldedCodePoints(e.data(), e.size());
        if (ecp.size() != 1) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
        escape = ecp[0];
    }
    sqlite3_result_int(ctx, Like(text, pattern, escape) ? 1 : 0);
}

void UpperFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) { sqlite3_result_null(ctx); return; }
    std::string r = UpperText(ArgText(argv[0]));
    sqlite3_result_text(ctx, r.data(), static_cast<int>(r.size()), SQLITE_TRANSIENT);
}

void LowerFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) { sqlite3_result_null(ctx); return; }
    std::string r = LowerText(ArgText(argv[0]));
    sqlite3_result_text(ctx, r.data(), static_cast<int>(r.size()), SQLITE_TRANSIENT);
}

bool SameTextAscii(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x < 0x80) x = static_cast<unsigned char>(std::tolower(x));
        if (y < 0x80) y = static_cast<unsigned char>(std::tolower(y));
        if (x != y) return false;
    }
    return true;
}

std::string StripPrefix(const std::string& name) {
    if (!name.empty() && (name[0] == ':' || name[0] == '@' || name[0] == '$')) return name.substr(1);
    return name;
}

// ---------------------------------------------------------------- dates

// Days from 1970-01-01 for a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

constexpr std::int64_t kEpochOffset = 25569;  // 1970-01-01 as a day count from 1899-12-30
constexpr std::int64_t kMsPerDay = 86400000;

std::string Pad(std::int64_t v, int width) {
    std::string s = std::to_string(v < 0 ? -v : v);
    while (static_cast<int>(s.size()) < width) s.insert(s.begin(), '0');
    return v < 0 ? "-" + s : s;
}

bool ReadDigits(std::string_view t, std::size_t& i, int count, int& out) {
    out = 0;
    for (int k = 0; k < count; ++k, ++i) {
        if (i >= t.size() || t[i] < '0' || t[i] > '9') return false;
        out = out * 10 + (t[i] - '0');
    }
    return true;
}

}  // namespace

void RegisterTextRules(sqlite3* db) {
    sqlite3_create_collation_v2(db, kTextCollation, SQLITE_UTF8, nullptr, CollationCallback, nullptr);
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "like", 2, flags, nullptr, LikeFunction, nullptr, nullptr);
    sqlite3_create_function(db, "like", 3, flags, nullptr, LikeFunction, nullptr, nullptr);
    for (const char* name : {"upper", "ucase"})
        sqlite3_create_function(db, name, 1, flags, nullptr, UpperFunction, nullptr, nullptr);
    for (const char* name : {"lower", "lcase"})
        sqlite3_create_function(db, name, 1, flags, nullptr, LowerFunction, nullptr, nullptr);
}

// ==================================================================== helpers

std::string QuoteIdentifier(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string DateTimeToIso(double dateTime) {
    // Beyond the years 0001..9999 there is no date to write, and the
    // conversions below would overflow.
    if (!std::isfinite(dateTime) || dateTime < -693593.0 || dateTime >= 2958466.0)
        throw ESQLiteError("Data fora do intervalo válido", SQLITE_MISMATCH);
    // The day is the integral part; the time is the fraction's magnitude, also
    // for dates before 1899-12-30.
    double dayPart = std::trunc(dateTime);
    std::int64_t ms = std::llround(std::fabs(dateTime - dayPart) * kMsPerDay);
    std::int64_t days = static_cast<std::int64_t>(dayPart);
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        days += dateTime < 0 ? -1 : 1;
    }
    std::int64_t y;
    unsigned m, d;
    CivilFromDays(days - kEpochOffset, y, m, d);
    std::string out = Pad(y, 4) + "-" + Pad(m, 2) + "-" + Pad(d, 2);
    if (ms != 0) {
        std::int64_t s = ms / 1000;
        out += " " + Pad(s / 3600, 2) + ":" + Pad(s / 60 % 60, 2) + ":" + Pad(s % 60, 2);
        if (ms % 1000 != 0) out += "." + Pad(ms % 1000, 3);
    }
    return out;
}

bool IsoToDateTime(std::string_view text, double& dateTime) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    int y, m, d, hh = 0, nn = 0, ss = 0, ms = 0;
    if (!ReadDigits(text, i, 4, y) || i >= text.size() || text[i++] != '-') return false;
    if (!ReadDigits(text, i, 2, m) || i >= text.size() || text[i++] != '-') return false;
    if (!ReadDigits(text, i, 2, d)) return false;
    if (m < 1 || m > 12 || d < 1) return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > kDays[m - 1] + (m == 2 && leap ? 1 : 0)) return false;
    if (i < text.size() && (text[i] == ' ' || text[i] == 'T')) {
        ++i;
        if (!ReadDigits(text, i, 2, hh) || i >= text.size() || text[i++] != ':') return false;
        if (!ReadDigits(text, i, 2, nn)) return false;
        if (i < text.size() && text[i] == ':') {
            ++i;
            if (!ReadDigits(text, i, 2, ss)) return false;
            if (i < text.size() && text[i] == '.') {
                ++i;
                int digits = 0;
                int frac = 0;
                while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
                    if (digits < 3) { frac = frac * 10 + (text[i] - '0'); ++digits; }
                    ++i;
                }
                if (digits == 0) return false;
                while (digits++ < 3) frac *= 10;
                ms = frac;
            }
        }
        if (hh > 23 || nn > 59 || ss > 59) return false;
    }
    while (i < text.size() && text[i] == ' ') ++i;
    if (i != text.size()) return false;
    std::int64_t days = DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) + kEpochOffset;
    double frac = ((hh * 3600.0 + nn * 60.0 + ss) * 1000.0 + ms) / kMsPerDay;
    dateTime = days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
    return true;
}

int CompareText(const std::string& a, const std::string& b) { return AnsiCompareText(a, b); }

bool Like(const std::string& text, const std::string& pattern, char32_t escape) {
    if (escape != 0) escape = static_cast<char32_t>(u_foldCase(static_cast<UChar32>(escape), U_FOLD_CASE_DEFAULT));
    return LikeMatch(FoldedCodePoints(text.data(), text.size()), FoldedCodePoints(pattern.data(), pattern.size()),
                     escape);
}

std::string UpperText(const std::string& text) {
    std::string out;
    icu::UnicodeString::fromUTF8(text).toUpper(icu::Locale("pt", "BR")).toUTF8String(out);
    return out;
}

std::string LowerText(const std::string& text) {
    std::string out;
    icu::UnicodeString::fromUTF8(text).toLower(icu::Locale("pt", "BR")).toUTF8String(out);
    return out;
}

// ==================================================================== Database

namespace {

// Every file the engine opens by name (the database, its journal, its
// temporary files) is opened without waiting and must be a regular file: a
// pipe put at the journal's name by anyone who can write in a shared folder
// would otherwise hold the next save in the open or the first read for
// ever, and a device would take or give whatever it does. The engine then
// fails the open as a file it cannot open, and the message names the file
// to remove (JournalObstacle). Folders (opened to sync a rename) and the
// random source the engine reads pass.
int OpenWithoutWaiting(const char* path, int flags, int mode) {
    int fd = ::open(path, flags | O_NONBLOCK, static_cast<mode_t>(mode));
    if (fd < 0) return fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    bool randomSource = S_ISCHR(st.st_mode) && std::strcmp(path, "/dev/urandom") == 0;
    // Given a standard descriptor (0 to 2, closed by whoever started the
    // program) for a file, the engine puts the null device there, read
    // only, and opens the file again: nothing written to a standard stream
    // may land in a database. That open passes, and only that one.
    bool standardSlot = fd <= 2 && std::strcmp(path, "/dev/null") == 0 && (flags & O_ACCMODE) == O_RDONLY &&
                        (flags & O_CREAT) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) == 1 &&
                        minor(st.st_rdev) == 3;
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !randomSource && !standardSlot) {
        ::close(fd);
        errno = ENXIO;
        return -1;
    }
    if ((flags & O_NONBLOCK) == 0) {
        int now = ::fcntl(fd, F_GETFL);
        if (now >= 0) ::fcntl(fd, F_SETFL, now & ~O_NONBLOCK);
    }
    return fd;
}

void GuardEngineOpens() {
    static std::once_flag once;
    std::call_once(once, [] {
        sqlite3_vfs* vfs = sqlite3_vfs_find("unix");
        if (vfs != nullptr && vfs->iVersion >= 3 && vfs->xSetSystemCall != nullptr)
            vfs->xSetSystemCall(vfs, "open", reinterpret_cast<sqlite3_syscall_ptr>(&OpenWithoutWaiting));
    });
}

}  // namespace

Database::Database(const std::string& path, const OpenOptions& options) { Open(path, options); }

Database::~Database() { Close(); }

void Database::Open(const std::string& path, const OpenOptions& options) {
    Close();
    GuardEngineOpens();
    int flags = options.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (options.create && !options.readOnly) flags |= SQLITE_OPEN_CREATE;
    flags |= SQLITE_OPEN_NOMUTEX;  // a connection belongs to one thread
    sqlite3* db = nullptr;
    // Every path given here names a file: the engine would take ":memory:"
    // for a database that vanishes at close, with all that was written to it.
    std::string file = path == ":memory:" ? "./" + path : path;
    // The engine would create the file readable by every user of the
    // machine, whatever it holds; made here first, it is private from its
    // first byte. A file that exists keeps its permissions.
    bool madeHere = false;
    if ((flags & SQLITE_OPEN_CREATE) != 0) {
        int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            madeHere = true;
            ::fchmod(fd, fileio::PrivateFileMode(file));
            ::close(fd);
        }
    }
    int rc = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        int code = db ? sqlite3_extended_errcode(db) : rc;
        sqlite3_close_v2(db);
        if (madeHere) ::unlink(file.c_str());
        throw ESQLiteError(OpenFailure(code, path, msg), code);
    }
    db_ = db;
    path_ = path;
    level_ = 0;
    sqlite3_extended_result_codes(db_, 1);
    busyTimeoutMs_ = options.busyTimeoutMs;
    onBusy_ = options.onBusy;
    noWait_ = false;
    sqlite3_busy_handler(db_, &Database::BusyCallback, this);
    // Statements carried over from the original dialect write text between
    // double quotes ("Admin"); the engine reads such a word as text when no
    // column has that name, whatever default it was built with.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
    RegisterTextRules(db_);
    try {
        // Reading the schema here makes a file that is not a database fail at
        // the open, not at the first query.
        Exec("SELECT count(*) FROM sqlite_master");
        if (!options.readOnly) {
            Exec(options.journal == JournalMode::Wal ? "PRAGMA journal_mode=WAL" : "PRAGMA journal_mode=DELETE");
            Exec(kSynchronousPragma);
            if (options.journal == JournalMode::Rollback) DropLeftoverJournal(options.busyTimeoutMs);
        }
        Exec(options.foreignKeys ? "PRAGMA foreign_keys=ON" : "PRAGMA foreign_keys=OFF");
    } catch (const ESQLiteError& e) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
        path_.clear();
        if (madeHere) ::unlink(file.c_str());
        // Something at the journal's name (or the log's) fails the first
        // read as a file the engine cannot open: the message names it.
        const int primary = e.ErrorCode() & 0xff;
        if (primary == SQLITE_CANTOPEN || primary == SQLITE_IOERR) {
            if (std::string obstacle = JournalObstacle(path); !obstacle.empty())
                throw ESQLiteError(JournalObstacleMessage(path, obstacle, "não pode ser aberto",
                                                          "abra o Banco de Dados novamente") +
                                       "\r\n\r\nMensagem do banco de dados: " + sqlite3_errstr(e.ErrorCode()),
                                   e.ErrorCode());
        }
        throw ESQLiteError(OpenFailure(e.ErrorCode(), path, sqlite3_errstr(e.ErrorCode())), e.ErrorCode());
    }
}

void Database::DropLeftoverJournal(int busyTimeoutMs) {
    namespace fs = std::filesystem;
    // The engine's journal, beside the file a link leads to.
    const char* engineFile = sqlite3_db_filename(db_, "main");
    const std::string journal =
        engineFile != nullptr && *engineFile != '\0' ? sqlite3_filename_journal(engineFile) : JournalPath(path_);
    std::error_code ec;
    struct stat st {};
    if (::lstat(journal.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    // Only the holder of the write lock may have a journal of its own; once
    // we hold it, a journal on disk belongs to nobody. A hot one was rolled
    // back by the first read above; what remains is one a writer that died
    // left before its header was complete, which the engine would leave
    // there until the next write. Another instance writing now keeps its
    // journal: we do not wait for its lock, it is not ours to judge.
    (void)busyTimeoutMs;
    noWait_ = true;
    bool locked = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (locked) {
        fs::remove(journal, ec);
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    noWait_ = false;
}

int Database::BusyCallback(void* self, int calls) {
    auto* d = static_cast<Database*>(self);
    if (d->noWait_) return 0;
    auto now = std::chrono::steady_clock::now();
    if (calls == 0) d->busySince_ = now;
    int waited = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now - d->busySince_).count());
    if (d->onBusy_) {
        d->inBusyHandler_ = true;
        bool more = false;
        try {
            more = d->onBusy_(calls, waited);
        } catch (...) {
            // Nothing may cross the engine's C frames: a failing question gives up.
        }
        d->inBusyHandler_ = false;
        if (!more) return 0;
    } else if (waited >= d->busyTimeoutMs_) {
        return 0;
    }
    sqlite3_sleep(calls < 5 ? 2 : 20);
    return 1;
}

void Database::Close() noexcept {
    if (db_ == nullptr) return;
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
    db_ = nullptr;
    level_ = 0;
}

void Database::CheckOpen() const {
    if (db_ == nullptr) throw ESQLiteError("O banco de dados não está aberto", SQLITE_MISUSE);
}

std::string EngineFileName(const std::string& databasePath) {
    if (databasePath.empty()) return databasePath;
    // The engine's own answer: it resolves every link on the way, so its
    // journal lies beside the file a link leads to, never beside the link.
    sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    if (vfs == nullptr || vfs->xFullPathname == nullptr || vfs->mxPathname <= 0) return databasePath;
    std::vector<char> full(static_cast<std::size_t>(vfs->mxPathname) + 1, '\0');
    // SQLITE_OK_SYMLINK when a link was resolved on the way.
    if ((vfs->xFullPathname(vfs, databasePath.c_str(), vfs->mxPathname + 1, full.data()) & 0xff) != SQLITE_OK)
        return databasePath;
    return full.data();
}

std::string JournalPath(const std::string& databasePath) { return EngineFileName(databasePath) + "-journal"; }

namespace {

struct Obstacle {
    std::string name;  // the engine's file at which it stands
    std::string what;  // what stands there, in Portuguese
};

// What stands at an engine's file name that is no plain file nor link.
const char* NotAFile(const struct stat& st) { return S_ISDIR(st.st_mode) ? "uma pasta" : "um arquivo especial"; }

// Every open looks at the rollback journal and at the write-ahead log
// beside the file (a log found there is opened, with its index), and a
// write makes the journal: each is a plain file or nothing.
Obstacle FindObstacle(const std::string& databasePath) {
    if (databasePath.empty()) return {};
    const std::string file = EngineFileName(databasePath);
    struct stat wal {};
    const bool hasWal = ::lstat((file + "-wal").c_str(), &wal) == 0;
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        if (std::strcmp(suffix, "-shm") == 0 && !hasWal) break;
        const std::string name = file + suffix;
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0 || S_ISREG(st.st_mode)) continue;
        return {name, S_ISLNK(st.st_mode) ? "um atalho (link simbólico)" : NotAFile(st)};
    }
    return {};
}

}  // namespace

std::string JournalObstacle(const std::string& databasePath) { return FindObstacle(databasePath).what; }

std::string DatabaseObstacle(const std::string& databasePath) {
    struct stat st {};
    if (databasePath.empty()) return "";
    if (::stat(databasePath.c_str(), &st) != 0) {
        // A link that leads nowhere (its file gone, or round in a loop) is
        // no missing database: a database made there would land elsewhere,
        // or nowhere.
        if ((errno != ENOENT && errno != ELOOP) || ::lstat(databasePath.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return "";
        std::error_code ec;
        const std::string target = std::filesystem::read_symlink(databasePath, ec).string();
        return "um atalho (link simbólico) para \"" + target + "\", que não leva a nenhum arquivo";
    }
    return S_ISREG(st.st_mode) ? "" : NotAFile(st);
}

std::string DatabaseObstacleMessage(const std::string& databasePath, const std::string& obstacle,
                                    const std::string& cannot) {
    return "O Banco de Dados \"" + databasePath + "\" " + cannot + ": com esse nome existe " + obstacle +
           ", não um arquivo do banco de dados.";
}

std::string JournalObstacleMessage(const std::string& databasePath, const std::string& obstacle,
                                   const std::string& cannot, const std::string& retry) {
    const std::string file = EngineFileName(databasePath);
    std::string journal = FindObstacle(databasePath).name;
    if (journal.empty()) journal = file + "-journal";
    // Reached through a link (at its name or on the way), the file the
    // engine works on is the one the link leads to, and its journal lies
    // beside that one.
    std::error_code ec;
    const std::filesystem::path named = std::filesystem::absolute(databasePath, ec).lexically_normal();
    const bool linked = !ec && named.string() != file;
    const std::string beside = linked ? "ao lado do arquivo a que ele leva (\"" + file + "\")" : "ao lado dele";
    return "O Banco de Dados \"" + databasePath + "\" " + cannot + ": " + beside + ", no nome \"" + journal +
           "\" que o banco de dados usa para o seu diário de gravação, existe " + obstacle +
           ", não um arquivo do banco de dados.\r\nRemova \"" + journal + "\" (não faz parte dos dados) e " + retry +
           ".";
}

void Database::Fail(int rc, const std::string& context) const {
    int code = db_ ? sqlite3_extended_errcode(db_) : rc;
    if ((code & 0xff) != (rc & 0xff)) code = rc;
    std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    std::string lead = LeadText(code);
    // Something put at the journal's name while the program runs fails the
    // next save as it would have failed the open (a link the journal's
    // open, a folder its first write): said the same way, naming the file.
    if ((code & 0xff) == SQLITE_CANTOPEN || (code & 0xff) == SQLITE_IOERR) {
        if (std::string obstacle = JournalObstacle(path_); !obstacle.empty())
            lead = JournalObstacleMessage(path_, obstacle, "não pode ser gravado", "grave novamente");
    }
    std::string text = lead + "\r\n\r\nMensagem do banco de dados: " + msg;
    if (!context.empty()) text += " [" + context + "]";
    throw ESQLiteError(text, code);
}

void Database::Exec(const std::string& sql) {
    CheckOpen();
    char* err = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
    if (err) sqlite3_free(err);
    if (rc != SQLITE_OK) Fail(rc, sql);
}

std::int64_t Database::Execute(const std::string& sql, const std::vector<std::string>& names,
                               const std::vector<Value>& values) {
    CheckOpen();
    std::int64_t total = 0;
    std::string rest = sql;
    // Several statements change the database together or not at all.
    std::optional<Transaction> tr;
    {
        Statement first(*this, rest);
        if (!first.Tail().empty()) tr.emplace(*this);
    }
    while (!rest.empty()) {
        Statement st(*this, rest);
        rest = st.Tail();
        if (!st.Valid()) break;
        for (int i = 1; i <= st.ParameterCount(); ++i) {
            std::string pname = StripPrefix(st.ParameterName(i));
            bool bound = false;
            for (std::size_t k = 0; k < names.size() && k < values.size(); ++k) {
                if (SameTextAscii(StripPrefix(names[k]), pname)) {
                    st.Bind(i, values[k]);
                    bound = true;
                    break;
                }
            }
            if (!bound) throw ESQLiteError("Parâmetro sem valor: " + st.ParameterName(i), SQLITE_RANGE);
        }
        st.Run();
        if (!st.ReadOnly()) total += Changes();
    }
    if (tr) tr->Commit();
    return total;
}

std::int64_t Database::Changes() const { return db_ ? sqlite3_changes64(db_) : 0; }

std::int64_t Database::LastInsertRowId() const { return db_ ? sqlite3_last_insert_rowid(db_) : 0; }

int Database::Begin(TransactionMode mode) {
    CheckOpen();
    if (level_ > 0 && sqlite3_get_autocommit(db_)) level_ = 0;  // the engine already rolled back
    if (level_ == 0) {
        Exec(mode == TransactionMode::Immediate ? "BEGIN IMMEDIATE" : "BEGIN DEFERRED");
    } else {
        Exec("SAVEPOINT fat_level_" + std::to_string(level_ + 1));
    }
    return ++level_;
}

void Database::Commit() {
    CheckOpen();
    if (level_ == 0) throw ESQLiteError("Não há transação ativa para confirmar", SQLITE_MISUSE);
    if (sqlite3_get_autocommit(db_)) {
        // A failure such as a full disk made the engine roll everything back:
        // reporting the commit as done would lose the work silently.
        level_ = 0;
        throw ESQLiteError("A transação foi desfeita pelo banco de dados e não pôde ser confirmada", SQLITE_ABORT);
    }
    if (level_ == 1) {
        Exec("COMMIT");  // on failure (busy) the transaction stays open at level 1
    } else {
        Exec("RELEASE fat_level_" + std::to_string(level_));
    }
    --level_;
}

void Database::Rollback() {
    CheckOpen();
    if (level_ == 0) throw ESQLiteError("Não há transação ativa para desfazer", SQLITE_MISUSE);
    if (sqlite3_get_autocommit(db_)) {
        level_ = 0;
        return;
    }
    if (level_ == 1) {
        Exec("ROLLBACK");
    } else {
        std::string name = "fat_level_" + std::to_string(level_);
        Exec("ROLLBACK TO " + name + "; RELEASE " + name);
    }
    --level_;
}

bool Database::TableExists(const std::string& table) {
    Statement st(*this, "SELECT 1 FROM sqlite_master WHERE type IN ('table','view') AND name = ?1 COLLATE NOCASE");
    st.BindText(1, table);
    bool found = st.Step();
    st.Reset();
    return found;
}

std::vector<ColumnInfo> Database::TableColumns(const std::string& table) {
    std::vector<ColumnInfo> cols;
    Statement st(*this, "SELECT name, type, \"notnull\", pk, dflt_value IS NOT NULL, dflt_value FROM pragma_table_info(?1)");
    st.BindText(1, table);
    while (st.Step()) {
        ColumnInfo c;
        c.name = st.ColumnText(0);
        c.declaredType = st.ColumnText(1);
        c.notNull = st.ColumnInt64(2) != 0;
        c.primaryKeyIndex = static_cast<int>(st.ColumnInt64(3));
        c.hasDefault = st.ColumnInt64(4) != 0;
        c.defaultSql = st.ColumnText(5);
        cols.push_back(std::move(c));
    }
    return cols;
}

std::vector<std::string> Database::PrimaryKey(const std::string& table) {
    std::vector<ColumnInfo> cols = TableColumns(table);
    std::vector<std::string> key;
    for (int pos = 1;; ++pos) {
        bool found = false;
        for (const ColumnInfo& c : cols) {
            if (c.primaryKeyIndex == pos) {
                key.push_back(c.name);
                found = true;
            }
        }
        if (!found) break;
    }
    return key;
}

bool Database::IsAutoIncrement(const std::string& table, const std::string& column) {
    CheckOpen();
    int autoinc = 0;
    int rc = sqlite3_table_column_metadata(db_, nullptr, table.c_str(), column.c_str(), nullptr, nullptr, nullptr,
                                           nullptr, &autoinc);
    return rc == SQLITE_OK && autoinc != 0;
}

// ==================================================================== Statement

Statement::Statement(Database& db, const std::string& sql) : db_(db) {
    if (!db.IsOpen()) throw ESQLiteError("O banco de dados não está aberto", SQLITE_MISUSE);
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db.Handle(), sql.c_str(), static_cast<int>(sql.size()), &stmt_, &tail);
    if (rc != SQLITE_OK) {
        stmt_ = nullptr;
        db.Fail(rc, sql);
    }
    if (tail != nullptr) tail_ = std::string(tail, sql.c_str() + sql.size());
    // Nothing left but blanks: no further statement.
    if (tail_.find_first_not_of(" \t\r\n;") == std::string::npos) tail_.clear();
}

Statement::~Statement() {
    if (stmt_) sqlite3_finalize(stmt_);
}

bool Statement::ReadOnly() const { return stmt_ == nullptr || sqlite3_stmt_readonly(stmt_) != 0; }

int Statement::ParameterCount() const { return stmt_ ? sqlite3_bind_parameter_count(stmt_) : 0; }

std::string Statement::ParameterName(int index) const {
    const char* n = stmt_ ? sqlite3_bind_parameter_name(stmt_, index) : nullptr;
    return n ? n : "";
}

int Statement::ParameterIndex(const std::string& name) const {
    std::string wanted = StripPrefix(name);
    for (int i = 1; i <= ParameterCount(); ++i) {
        if (SameTextAscii(StripPrefix(ParameterName(i)), wanted)) return i;
    }
    return 0;
}

void Statement::Bind(int index, const Value& value) {
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) BindNull(index);
            else if constexpr (std::is_same_v<T, std::int64_t>) BindInt64(index, v);
            else if constexpr (std::is_same_v<T, double>) BindDouble(index, v);
            else if constexpr (std::is_same_v<T, std::string>) BindText(index, v);
            else BindBlob(index, v.bytes);
        },
        value);
}

void Statement::BindNull(int index) {
    int rc = sqlite3_bind_null(stmt_, index);
    if (rc != SQLITE_OK) db_.Fail(rc);
}

void Statement::BindInt64(int index, std::int64_t value) {
    int rc = sqlite3_bind_int64(stmt_, index, value);
    if (rc != SQLITE_OK) db_.Fail(rc);
}

void Statement::BindDouble(int index, double value) {
    int rc = sqlite3_bind_double(stmt_, index, value);
    if (rc != SQLITE_OK) db_.Fail(rc);
}

void Statement::BindText(int index, const std::string& value) {
    int rc = sqlite3_bind_text64(stmt_, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    if (rc != SQLITE_OK) db_.Fail(rc);
}

void Statement::BindBlob(int index, const std::string& bytes) {
    int rc = sqlite3_bind_blob64(stmt_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) db_.Fail(rc);
}

void Statement::ClearBindings() {
    if (stmt_) sqlite3_clear_bindings(stmt_);
}

bool Statement::Step() {
    if (!stmt_) return false;
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    sqlite3_reset(stmt_);
    // The statement text would only puzzle the user here: the engine names
    // the table and column a constraint protects.
    db_.Fail(rc);
}

void Statement::Run() {
    while (Step()) {
    }
    Reset();
}

void Statement::Reset() {
    if (stmt_) sqlite3_reset(stmt_);
}

int Statement::ColumnCount() const { return stmt_ ? sqlite3_column_count(stmt_) : 0; }

std::string Statement::ColumnName(int col) const {
    const char* n = sqlite3_column_name(stmt_, col);
    return n ? n : "";
}

std::string Statement::ColumnDeclType(int col) const {
    const char* n = sqlite3_column_decltype(stmt_, col);
    return n ? n : "";
}

std::string Statement::ColumnTableName(int col) const {
    const char* n = sqlite3_column_table_name(stmt_, col);
    return n ? n : "";
}

std::string Statement::ColumnOriginName(int col) const {
    const char* n = sqlite3_column_origin_name(stmt_, col);
    return n ? n : "";
}

bool Statement::ColumnIsNull(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }

std::int64_t Statement::ColumnInt64(int col) const { return sqlite3_column_int64(stmt_, col); }

double Statement::ColumnDouble(int col) const { return sqlite3_column_double(stmt_, col); }

std::string Statement::ColumnText(int col) const {
    auto t = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
    if (!t) return {};
    return std::string(t, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col)));
}

Value Statement::ColumnValue(int col) const {
    switch (sqlite3_column_type(stmt_, col)) {
    case SQLITE_INTEGER:
        return sqlite3_column_int64(stmt_, col);
    case SQLITE_FLOAT:
        return sqlite3_column_double(stmt_, col);
    case SQLITE_TEXT:
        return ColumnText(col);
    case SQLITE_BLOB: {
        auto p = static_cast<const char*>(sqlite3_column_blob(stmt_, col));
        return Blob{p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col))) : std::string()};
    }
    default:
        return std::monostate{};
    }
}

// ==================================================================== Transaction

Transaction::Transaction(Database& db, TransactionMode mode) : db_(db) { db_.Begin(mode); }

Transaction::~Transaction() {
    if (!done_) {
        try {
            db_.Rollback();
        } catch (...) {
        }
    }
}

void Transaction::Commit() {
    db_.Commit();
    done_ = true;
}

}  // namespace sqlite
