#pragma once
// What a query holds between the database and its dataset: the result's
// columns with the kinds their declarations give, the fetched rows packed one
// string per row (a 100,000-row result costs little more than its data), and
// the write-back of edited rows to the one table a query reads from.
#include "platform/db/SQLSchema.h"
#include "platform/db/SQLiteDatabase.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sqlite {

struct ResultColumn {
    std::string name;          // as the result names it (alias or column)
    std::string declaredType;  // empty for an expression
    DeclaredType type;         // from the declaration, or from the values for an expression
    std::string table;         // origin table; empty for an expression
    std::string origin;        // origin column
    bool autoIncrement = false;
    bool keyPart = false;      // part of the origin table's primary key
    bool notNull = false;
    bool hasDefault = false;
    bool writable = false;     // written back on post (a column of the edited table)
};

using Row = std::vector<Value>;

// Rows packed into one string each: a tag byte per value, then 8 bytes for
// numbers or a length and the bytes for text and blobs.
std::string PackRow(const Row& row);
Row UnpackRow(const std::string& packed, std::size_t columnCount);

struct FetchResult {
    std::vector<ResultColumn> columns;
    std::vector<std::string> rows;  // packed
};

// Steps the prepared statement to its end (releasing its read lock), reading
// the columns' origins and declarations. Expression columns get a kind from
// their values: integers, floats, text (sized to the longest value), blobs.
// With fetchRows false only the columns are described (no row is read).
FetchResult FetchAll(Database& db, Statement& statement, bool fetchRows = true);

// Writes edited rows back to one table. A table with a primary key is
// written through its key (the query must read every key column); a keyless
// table (the one-row settings tables) through all its columns, which the
// query must then read, one row at a time.
class TableWriter {
public:
    // The writer for a result whose columns all come from one table, with
    // the columns' keyPart/autoIncrement/writable flags set; nothing when the
    // result is not editable (a join, a view, only expressions).
    static std::optional<TableWriter> ForResult(Database& db, std::vector<ResultColumn>& columns);

    const std::string& Table() const { return table_; }
    bool UsesKey() const { return usesKey_; }

    // Inserts the row's non-null writable values and reads the stored row
    // back (new counter value, defaults), returning it.
    Row Insert(Database& db, const Row& row) const;
    // Writes the changed columns; raises when the row is no longer there.
    // Returns the row as stored.
    Row Update(Database& db, const Row& oldRow, const Row& newRow) const;
    void Delete(Database& db, const Row& oldRow) const;

private:
    TableWriter() = default;
    std::string WhereClause(const Row& oldRow, std::vector<Value>& params) const;
    std::optional<Row> ReadBack(Database& db, const std::string& where, const std::vector<Value>& params) const;

    std::string table_;
    bool usesKey_ = false;
    bool hasRowId_ = true;
    std::vector<ResultColumn> columns_;    // the query's columns (index = result column)
    std::vector<std::size_t> keyColumns_;  // result columns that identify a row
};

// The message when a row to update or delete is gone.
inline constexpr const char* kRowChangedMessage =
    "O registro não foi encontrado: ele foi alterado ou excluído por outro usuário";

}  // namespace sqlite
