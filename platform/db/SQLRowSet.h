#pragma once
// What a query holds between the database and its dataset: the result's
// columns with the kinds their declarations give, the fetched rows packed
// one after another in large blocks (a 100,000-row result costs a few dozen
// allocations and little more than its data), and the write-back of edited
// rows to the one table a query reads from.
#include "platform/db/SQLSchema.h"
#include "platform/db/SQLiteDatabase.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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

// A packed row: per value a tag byte, then 8 bytes for numbers or a length
// (seven bits a byte) and the bytes for text and blobs.
std::string PackRow(const Row& row);
void AppendPacked(std::string& out, const Value& value);
Row UnpackRow(std::string_view packed, std::size_t columnCount);

// One value of a packed row, read where it lies.
struct Cell {
    enum Kind : unsigned char { Null, Integer, Float, Text, Blob };
    Kind kind = Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string_view bytes;  // text or blob
};
// The offsets of the first columnCount values (fewer when the row is short).
void CellOffsets(std::string_view packed, std::size_t columnCount, std::vector<std::uint32_t>& offsets);
// The value starting at offset; *end gets the offset after it.
Cell ReadCell(std::string_view packed, std::size_t offset, std::size_t* end = nullptr);
Value CellValue(const Cell& cell);

// Packed rows one after another in blocks that never move: a row's view
// stays valid until Clear, whatever is added after it.
class RowStore {
public:
    std::string_view Add(std::string_view packed);
    // Room for a row of size bytes, to be filled before the next call.
    char* Reserve(std::size_t size);
    void Clear();

private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t used_ = 0;
    std::size_t capacity_ = 0;
};

// A fetched row and the number that identifies it while the rows are held
// (its bookmark).
struct StoredRow {
    std::string_view packed;  // in the store
    std::int64_t id = 0;
};

struct FetchResult {
    std::vector<ResultColumn> columns;
    RowStore store;
    std::vector<StoredRow> rows;
};

// Steps the prepared statement to its end (releasing its read lock), reading
// the columns' origins and declarations, and numbering the rows from nextId
// on. Expression columns get a kind from their values: integers, floats,
// text (sized to the longest value), blobs. With fetchRows false only the
// columns are described (no row is read).
FetchResult FetchAll(Database& db, Statement& statement, std::int64_t& nextId, bool fetchRows = true);

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
    // Writes the changed columns; raises ERowChanged when the row is no
    // longer there or, with wholeRow, when any column read differs from what
    // the file now holds (another user saved it meanwhile). Returns the row
    // as stored.
    Row Update(Database& db, const Row& oldRow, const Row& newRow, bool wholeRow = false) const;
    void Delete(Database& db, const Row& oldRow, bool wholeRow = false) const;

private:
    TableWriter() = default;
    std::string WhereClause(const Row& oldRow, std::vector<Value>& params) const;
    std::optional<Row> ReadBack(Database& db, const std::string& where, const std::vector<Value>& params) const;
    // The rowid (0 without one) of the row oldRow names, after checking it
    // is there and, with wholeRow, that it still holds every value read.
    std::int64_t Locate(Database& db, const Row& oldRow, bool wholeRow) const;

    std::string table_;
    bool usesKey_ = false;
    bool hasRowId_ = true;
    std::vector<ResultColumn> columns_;    // the query's columns (index = result column)
    std::vector<std::size_t> keyColumns_;  // result columns that identify a row
};

// The message when a row to update or delete is gone.
inline constexpr const char* kRowChangedMessage =
    "O registro não foi encontrado: ele foi alterado ou excluído por outro usuário";

// The row a save or a delete started from is no longer the row in the file:
// another connection changed or deleted it. Nothing was written.
class ERowChanged : public ESQLiteError {
public:
    explicit ERowChanged(std::string message = kRowChangedMessage) : ESQLiteError(std::move(message), 1) {}
    const char* ClassName() const noexcept override { return "ERowChanged"; }
};

// A UNIQUE or PRIMARY KEY constraint refused the write: the columns the
// engine names ("UNIQUE constraint failed: T.a, T.b" gives {"a", "b"}),
// empty for any other error.
std::vector<std::string> UniqueViolationColumns(const ESQLiteError& e);

}  // namespace sqlite
