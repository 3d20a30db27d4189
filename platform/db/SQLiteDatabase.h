#pragma once
// The thin layer over the SQLite library that the connection and the queries
// stand on: one open database file, prepared statements with bound values,
// nested transactions and the text rules every connection gets (the Portuguese
// collation, a LIKE that ignores case in accented letters too, upper/lower for
// the whole alphabet).
//
// Text rules. The original database compared text without regard to case and
// with accents as secondary differences. Every connection registers the
// collation named by kTextCollation (ICU's pt-BR collator at secondary
// strength): "Nota223" = "NOTA223", "não" = "NÃO", but "nao" <> "não", and in
// ORDER BY "a" < "á" < "b". Text columns are declared with it (see SQLSchema.h),
// so "=", "<", ORDER BY, DISTINCT and indexes on them all follow it. LIKE folds
// case code point by code point and keeps accents significant, the same rule
// as "=".
#include "platform/db/TextCollation.h"
#include "platform/rtl/SysUtils.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/db/DB.h"

struct sqlite3;
struct sqlite3_stmt;

// A failure reported by the database engine. Message() is a Portuguese lead
// text followed by the engine's own message; ErrorCode() is the engine's
// extended result code.
class ESQLiteError : public EDatabaseError {
public:
    ESQLiteError(std::string message, int errorCode = 1)
        : EDatabaseError(std::move(message)), errorCode_(errorCode) {}
    const char* ClassName() const noexcept override { return "ESQLiteError"; }
    int ErrorCode() const noexcept { return errorCode_; }
    int PrimaryCode() const noexcept { return errorCode_ & 0xff; }
    // A UNIQUE, NOT NULL, CHECK or foreign-key constraint refused the change.
    bool IsConstraintViolation() const noexcept { return PrimaryCode() == 19; }
    // Another connection held the lock for longer than the busy timeout.
    bool IsBusy() const noexcept { return PrimaryCode() == 5 || PrimaryCode() == 6; }

private:
    int errorCode_;
};

namespace sqlite {

struct Blob {
    std::string bytes;
    bool operator==(const Blob&) const = default;
};

// One value as the engine stores it.
using Value = std::variant<std::monostate, std::int64_t, double, std::string, Blob>;

inline bool IsNull(const Value& v) { return std::holds_alternative<std::monostate>(v); }

enum class JournalMode {
    // The rollback journal keeps the database one file at every moment and
    // works on network shares, where several instances of the program may open
    // the same file; writers wait for each other through the busy timeout.
    Rollback,
    // Write-ahead log: readers never wait for a writer, but every instance must
    // run on the same machine (shared memory); for local single-user files.
    Wal,
};

// Every writable connection runs with synchronous=FULL, whatever the journal.
// With the rollback journal, FULL syncs the journal before the database is
// touched and the database before the journal goes, which is what makes a
// transaction all-or-nothing across a crash or a power cut; NORMAL would
// save one sync per commit but may leave a committed invoice unwritten after
// a power cut, and by then its number may already be printed or sent to the
// tax authority. Invoices are a legal record: the sync is worth its time.
inline constexpr const char* kSynchronousPragma = "PRAGMA synchronous=FULL";

struct OpenOptions {
    bool create = false;          // create the file when it does not exist (fileio::PrivateFileMode)
    bool readOnly = false;
    int busyTimeoutMs = 15000;    // how long a statement waits for another instance's lock
    JournalMode journal = JournalMode::Rollback;
    bool foreignKeys = true;      // enforce the foreign keys a schema declares
    // Asked while a statement waits for another instance's lock, with the
    // number of earlier calls in this wait (0 at its start) and the
    // milliseconds waited so far; false gives up at once (the statement
    // then fails as busy). Unset: the wait ends after busyTimeoutMs. It may
    // show a window: the engine only waits while it runs.
    std::function<bool(int calls, int waitedMs)> onBusy;
};

enum class TransactionMode {
    Deferred,   // takes the write lock at the first write
    Immediate,  // takes the write lock at once: read-then-write sequences never collide
};

struct ColumnInfo {
    std::string name;
    std::string declaredType;
    bool notNull = false;
    int primaryKeyIndex = 0;  // 1-based position in the primary key, 0 when not part of it
    bool hasDefault = false;
    std::string defaultSql;   // the DEFAULT expression as declared
};

class Statement;

class Database {
public:
    Database() = default;
    Database(const std::string& path, const OpenOptions& options = {});
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void Open(const std::string& path, const OpenOptions& options = {});
    // Rolls back an open transaction and releases the file.
    void Close() noexcept;
    bool IsOpen() const { return db_ != nullptr; }
    const std::string& Path() const { return path_; }
    sqlite3* Handle() const { return db_; }

    // Runs one or more statements without parameters.
    void Exec(const std::string& sql);
    // Runs one or more statements; every ":name" in them takes the value of
    // the same name (matched without regard to case) from names/values.
    // Returns the rows changed by the statements.
    std::int64_t Execute(const std::string& sql, const std::vector<std::string>& names = {},
                         const std::vector<Value>& values = {});

    std::int64_t Changes() const;
    std::int64_t LastInsertRowId() const;

    // Transactions nest: the outermost level is a real transaction, inner
    // levels are savepoints, so rolling back an inner level undoes only its
    // own work. Begin returns the new level (1 for the outermost).
    int Begin(TransactionMode mode = TransactionMode::Immediate);
    void Commit();
    void Rollback();
    int TransactionLevel() const { return level_; }
    bool InTransaction() const { return level_ > 0; }

    bool TableExists(const std::string& table);
    // The columns of a table as declared; empty when the table does not exist.
    std::vector<ColumnInfo> TableColumns(const std::string& table);
    // The declared primary-key columns in key order; empty for keyless tables.
    std::vector<std::string> PrimaryKey(const std::string& table);
    // True when the column is an INTEGER PRIMARY KEY AUTOINCREMENT.
    bool IsAutoIncrement(const std::string& table, const std::string& column);

    // True while onBusy runs (it may show a window whose event loop runs
    // timers): nothing may use the connection then, its statement is
    // still under way.
    bool InBusyWait() const { return inBusyHandler_; }

    // Raises ESQLiteError for a result code with the connection's message.
    [[noreturn]] void Fail(int rc, const std::string& context = {}) const;

private:
    void CheckOpen() const;
    // Removes a journal that no live writer owns and that the engine did not
    // take as hot (a writer killed before the journal's header reached the
    // disk): nothing is left beside the file after an open.
    void DropLeftoverJournal(int busyTimeoutMs);

    static int BusyCallback(void* self, int calls);
    bool inBusyHandler_ = false;

    sqlite3* db_ = nullptr;
    std::string path_;
    int level_ = 0;
    int busyTimeoutMs_ = 15000;
    bool noWait_ = false;  // while a lock is only tried
    std::function<bool(int, int)> onBusy_;
    std::chrono::steady_clock::time_point busySince_;
};

class Statement {
public:
    // Prepares the first statement of sql; Tail() is what follows it.
    Statement(Database& db, const std::string& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    const std::string& Tail() const { return tail_; }
    // False for a text that holds only blanks or comments.
    bool Valid() const { return stmt_ != nullptr; }
    bool ReadOnly() const;

    int ParameterCount() const;
    // 1-based, with its prefix (":name"); empty for "?".
    std::string ParameterName(int index) const;
    // 1-based index of the first parameter named name (with or without its
    // ":" prefix), compared without regard to case; 0 when absent.
    int ParameterIndex(const std::string& name) const;

    void Bind(int index, const Value& value);
    void BindNull(int index);
    void BindInt64(int index, std::int64_t value);
    void BindDouble(int index, double value);
    void BindText(int index, const std::string& value);
    void BindBlob(int index, const std::string& bytes);
    void ClearBindings();

    // Advances to the next row; false when done. Raises on failure, after
    // which the statement is reset.
    bool Step();
    // Runs to the end, for statements that return no rows.
    void Run();
    void Reset();

    int ColumnCount() const;
    std::string ColumnName(int col) const;
    std::string ColumnDeclType(int col) const;   // empty for an expression
    std::string ColumnTableName(int col) const;  // origin table, empty for an expression
    std::string ColumnOriginName(int col) const; // origin column, empty for an expression
    bool ColumnIsNull(int col) const;
    std::int64_t ColumnInt64(int col) const;
    double ColumnDouble(int col) const;
    std::string ColumnText(int col) const;
    Value ColumnValue(int col) const;
    sqlite3_stmt* Handle() const { return stmt_; }

private:
    Database& db_;
    sqlite3_stmt* stmt_ = nullptr;
    std::string tail_;
};

// Begins a transaction at construction and rolls it back at destruction
// unless Commit was called.
class Transaction {
public:
    explicit Transaction(Database& db, TransactionMode mode = TransactionMode::Immediate);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit();

private:
    Database& db_;
    bool done_ = false;
};

// "name" quoted as an identifier, inner quotes doubled.
std::string QuoteIdentifier(const std::string& name);

// The name the engine gives a database file: its full path with every
// symbolic link on the way resolved as the engine resolves them. The
// engine's journal and write-ahead log lie beside that file, which for a
// database reached through a link is the file the link leads to, not the
// link.
std::string EngineFileName(const std::string& databasePath);
// The engine's rollback journal beside a database file (and its
// write-ahead log, with the log's index) is always a plain file. Anything
// else at its name (a link, a pipe or a device another user or a tool put
// there) makes every open and every write fail with "unable to open
// database file", which names neither the cause nor the file. What stands
// at the first such name, in Portuguese ("um atalho (link simbólico)",
// "uma pasta", "um arquivo especial"), or "" when nothing or a plain file
// does. Looked for where the engine looks: beside EngineFileName.
std::string JournalObstacle(const std::string& databasePath);
// The journal's name beside the file, as the engine names it.
std::string JournalPath(const std::string& databasePath);
// The same for the database's own name (a link there followed): "uma
// pasta" or "um arquivo especial" (a pipe, a device, a socket) when that is
// what stands there, a link to nothing named with where it leads, "" when
// a plain file or nothing does. The engine would
// fail its open with "unable to open database file", and a name taken for
// missing would be offered for a new database that cannot be made there.
std::string DatabaseObstacle(const std::string& databasePath);
// "O Banco de Dados \"<path>\" <cannot>: com esse nome existe <obstacle>,
// não um arquivo do banco de dados."
std::string DatabaseObstacleMessage(const std::string& databasePath, const std::string& obstacle,
                                    const std::string& cannot);
// The clerk's explanation of such an obstacle, naming the file to remove:
// `cannot` says what cannot be done ("não pode ser aberto"), `retry` what
// to do once it is removed ("abra o Banco de Dados novamente").
std::string JournalObstacleMessage(const std::string& databasePath, const std::string& obstacle,
                                   const std::string& cannot, const std::string& retry);

// Dates are stored as ISO-8601 text: "yyyy-mm-dd" for a date without time,
// "yyyy-mm-dd hh:nn:ss" with a time, ".zzz" appended when there are
// milliseconds. A date alone sorts before the same date with any time, so
// text order is time order.
std::string DateTimeToIso(double dateTime);
// Reads the forms above (also with "T" between date and time); false when the
// text is not a date.
bool IsoToDateTime(std::string_view text, double& dateTime);

// The text rules of the connection, usable outside SQL too.
int CompareText(const std::string& a, const std::string& b);
bool Like(const std::string& text, const std::string& pattern, char32_t escape = 0);
std::string UpperText(const std::string& text);
std::string LowerText(const std::string& text);

}  // namespace sqlite
