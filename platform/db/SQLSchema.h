#pragma once
// Declared column types and the DDL the schema code writes.
//
// The database keeps each column's declared type as written ("text(50)",
// "double", "datetime", ...), and the queries derive their field kinds from
// it, so a table created here reads back with the same kinds and sizes the
// original database gave. Text columns carry the connection's collation, so
// comparisons on them ignore case.
#include <string>
#include <vector>

namespace sqlite {

enum class ColumnKind {
    Unknown,   // no declaration (an expression): the value decides
    String,    // text(n), char(n), varchar(n): Size characters
    Memo,      // memo, longtext, note
    Float,     // double, float, real, single
    Currency,  // currency, money
    Integer,   // integer, long, int
    SmallInt,  // smallint, short, byte
    LargeInt,  // bigint
    DateTime,  // datetime, date, time: stored as ISO-8601 text
    Boolean,   // yes/no, bit, logical
    AutoInc,   // counter, autoincrement
    Blob,      // blob, longbinary, oleobject, image
};

struct DeclaredType {
    ColumnKind kind = ColumnKind::Unknown;
    int size = 0;  // characters, for String
};

// Default size of a text column declared without one, as the original engine.
inline constexpr int kDefaultTextSize = 255;

// Reads a declared type; case and blanks do not matter.
DeclaredType MapDeclaredType(const std::string& declared);

struct ColumnDef {
    std::string name;
    std::string type;         // as the schema writes it: "text(50)", "date/time", "counter"...
    bool notNull = false;
    bool primaryKey = false;  // part of the table's key (several make a composite key)
    std::string defaultSql = {};  // an SQL expression for DEFAULT, empty for none
};

// The declaration a column gets in CREATE TABLE / ADD COLUMN: the declared
// type kept readable by MapDeclaredType, text types with the text collation,
// "counter" as INTEGER PRIMARY KEY AUTOINCREMENT. Raises EDatabaseError for a
// type it does not know.
std::string ColumnDeclaration(const ColumnDef& column, bool inlineKey = false);

// "CREATE TABLE" with every name quoted; a single key column becomes an
// inline PRIMARY KEY, several a table constraint. A counter column is always
// the key by itself.
std::string CreateTableSql(const std::string& table, const std::vector<ColumnDef>& columns,
                           bool ifNotExists = false);

// "ALTER TABLE ... ADD COLUMN ..." for one column (no key, no counter).
std::string AddColumnSql(const std::string& table, const ColumnDef& column);

class Database;

// Gives a column a new declared type, as the original engine's
// "ALTER TABLE t ALTER COLUMN c type" did (the engine here cannot change a
// column in place): the table is rebuilt with the same columns, key, defaults
// and indexes in one transaction, keeping every row. Raises ESQLiteError when
// the table or the column does not exist.
void AlterColumnType(Database& db, const std::string& table, const std::string& column, const std::string& newType);

// Runs one schema statement written in the original engine's dialect:
//   ALTER TABLE t ADD [COLUMN] c type    -> AddColumnSql (text with the collation)
//   ALTER TABLE t ALTER [COLUMN] c type  -> AlterColumnType
//   ALTER TABLE t DROP [COLUMN] c        -> the engine's own DROP COLUMN
// Names may be written in brackets. Any other statement runs as written.
// Failures raise as the original's did (a column already there, a column
// missing), so an upgrade step can ignore them the same way.
void ExecuteJetDdl(Database& db, const std::string& statement);

}  // namespace sqlite
