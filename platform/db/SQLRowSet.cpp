#include "platform/db/SQLRowSet.h"
#include "platform/rtl/Strings.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

namespace sqlite {

namespace {

enum Tag : unsigned char { TagNull = 0, TagInt = 1, TagFloat = 2, TagText = 3, TagBlob = 4 };

// Lengths are variable: seven bits a byte, high bit set when more follow.
std::size_t LengthSize(std::uint64_t n) {
    std::size_t size = 1;
    while (n >>= 7) ++size;
    return size;
}

char* WriteLength(char* out, std::uint64_t n) {
    do {
        unsigned char b = static_cast<unsigned char>(n & 0x7F);
        n >>= 7;
        if (n) b |= 0x80;
        *out++ = static_cast<char>(b);
    } while (n);
    return out;
}

void PutLength(std::string& out, std::uint64_t n) {
    char buf[10];
    out.append(buf, static_cast<std::size_t>(WriteLength(buf, n) - buf));
}

std::uint64_t GetLength(std::string_view in, std::size_t& pos) {
    std::uint64_t n = 0;
    int shift = 0;
    while (pos < in.size() && shift < 64) {
        unsigned char b = static_cast<unsigned char>(in[pos++]);
        n |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) break;
        shift += 7;
    }
    return n;
}

void PutNumber(std::string& out, Tag tag, const void* eightBytes) {
    out += static_cast<char>(tag);
    out.append(static_cast<const char*>(eightBytes), 8);
}

void PutBytes(std::string& out, Tag tag, const char* p, std::size_t n) {
    out += static_cast<char>(tag);
    PutLength(out, n);
    out.append(p, n);
}

std::size_t CharCount(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s) {
        if ((c & 0xC0) != 0x80) ++n;
    }
    return n;
}

bool LooksLikeIsoDate(const std::string& s) {
    double d;
    return s.size() >= 10 && s[4] == '-' && s[7] == '-' && IsoToDateTime(s, d);
}

void BindAll(Statement& st, const std::vector<Value>& params) {
    for (std::size_t i = 0; i < params.size(); ++i) st.Bind(static_cast<int>(i + 1), params[i]);
}

}  // namespace

void AppendPacked(std::string& out, const Value& v) {
    switch (v.index()) {
    case 1: PutNumber(out, TagInt, &std::get<std::int64_t>(v)); break;
    case 2: PutNumber(out, TagFloat, &std::get<double>(v)); break;
    case 3: {
        const std::string& t = std::get<std::string>(v);
        PutBytes(out, TagText, t.data(), t.size());
        break;
    }
    case 4: {
        const std::string& b = std::get<Blob>(v).bytes;
        PutBytes(out, TagBlob, b.data(), b.size());
        break;
    }
    default: out += static_cast<char>(TagNull); break;
    }
}

std::string PackRow(const Row& row) {
    std::string out;
    for (const Value& v : row) AppendPacked(out, v);
    return out;
}

Cell ReadCell(std::string_view in, std::size_t pos, std::size_t* end) {
    Cell c;
    if (pos < in.size()) {
        const auto tag = static_cast<unsigned char>(in[pos++]);
        switch (tag) {
        case TagInt:
        case TagFloat:
            if (in.size() - pos < 8) {
                pos = in.size();
                break;
            }
            if (tag == TagInt) {
                c.kind = Cell::Integer;
                std::memcpy(&c.integer, in.data() + pos, 8);
            } else {
                c.kind = Cell::Float;
                std::memcpy(&c.real, in.data() + pos, 8);
            }
            pos += 8;
            break;
        case TagText:
        case TagBlob: {
            const std::uint64_t n = GetLength(in, pos);
            const std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(n, in.size() - pos));
            c.kind = tag == TagText ? Cell::Text : Cell::Blob;
            c.bytes = in.substr(pos, len);
            pos += len;
            break;
        }
        default:
            break;
        }
    }
    if (end) *end = pos;
    return c;
}

void CellOffsets(std::string_view packed, std::size_t columnCount, std::vector<std::uint32_t>& offsets) {
    offsets.resize(columnCount);
    std::size_t pos = 0, n = 0;
    const std::size_t size = packed.size();
    while (n < columnCount && pos < size) {
        offsets[n++] = static_cast<std::uint32_t>(pos);
        switch (static_cast<unsigned char>(packed[pos++])) {
        case TagInt:
        case TagFloat: pos += 8; break;
        case TagText:
        case TagBlob: {
            const std::uint64_t len = GetLength(packed, pos);
            pos += static_cast<std::size_t>(std::min<std::uint64_t>(len, size - std::min(pos, size)));
            break;
        }
        default: break;
        }
    }
    offsets.resize(n);
}

Value CellValue(const Cell& c) {
    switch (c.kind) {
    case Cell::Integer: return c.integer;
    case Cell::Float: return c.real;
    case Cell::Text: return std::string(c.bytes);
    case Cell::Blob: return sqlite::Blob{std::string(c.bytes)};
    default: return std::monostate{};
    }
}

Row UnpackRow(std::string_view packed, std::size_t columnCount) {
    Row row(columnCount);
    std::size_t pos = 0;
    for (std::size_t i = 0; i < columnCount && pos < packed.size(); ++i) row[i] = CellValue(ReadCell(packed, pos, &pos));
    return row;
}

// ==================================================================== RowStore

namespace {
constexpr std::size_t kBlockSize = 256 * 1024;
}

char* RowStore::Reserve(std::size_t size) {
    if (capacity_ - used_ < size || blocks_.empty()) {
        // A row larger than a block gets a block of its own.
        const std::size_t blockSize = std::max(kBlockSize, size);
        blocks_.push_back(std::unique_ptr<char[]>(new char[blockSize]));
        used_ = 0;
        capacity_ = blockSize;
    }
    char* at = blocks_.back().get() + used_;
    used_ += size;
    return at;
}

std::string_view RowStore::Add(std::string_view packed) {
    char* at = Reserve(packed.size());
    if (!packed.empty()) std::memcpy(at, packed.data(), packed.size());
    return {at, packed.size()};
}

void RowStore::Clear() {
    blocks_.clear();
    blocks_.shrink_to_fit();
    used_ = capacity_ = 0;
}

FetchResult FetchAll(Database& db, Statement& st, std::int64_t& nextId, bool fetchRows) {
    FetchResult r;
    int n = st.ColumnCount();
    r.columns.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        ResultColumn& c = r.columns[static_cast<std::size_t>(i)];
        c.name = st.ColumnName(i);
        c.declaredType = st.ColumnDeclType(i);
        c.table = st.ColumnTableName(i);
        c.origin = st.ColumnOriginName(i);
        c.type = MapDeclaredType(c.declaredType);
        if (!c.table.empty() && !c.origin.empty() && db.IsAutoIncrement(c.table, c.origin))
            c.type.kind = ColumnKind::AutoInc;
    }
    // What the values say, for the columns that have no declaration.
    std::vector<int> seen(static_cast<std::size_t>(n), 0);  // bit 1 int, 2 float, 4 text, 8 blob
    std::vector<std::size_t> longest(static_cast<std::size_t>(n), 0);
    std::vector<bool> allDates(static_cast<std::size_t>(n), true);
    try {
        // Each value goes from the engine's own copy straight into the store:
        // its size first, then its bytes, with no Value or string on the way.
        sqlite3_stmt* handle = st.Handle();
        struct Source {
            int type;
            std::int64_t integer;
            double real;
            const char* bytes;
            std::size_t length;
        };
        std::vector<Source> values(static_cast<std::size_t>(n));
        std::vector<char> describe(static_cast<std::size_t>(n));
        for (std::size_t i = 0; i < describe.size(); ++i) describe[i] = r.columns[i].type.kind == ColumnKind::Unknown;
        while (fetchRows && st.Step()) {
            std::size_t size = 0;
            for (int i = 0; i < n; ++i) {
                auto idx = static_cast<std::size_t>(i);
                Source& v = values[idx];
                sqlite3_value* value = sqlite3_column_value(handle, i);
                v.type = sqlite3_value_type(value);
                switch (v.type) {
                case SQLITE_INTEGER: v.integer = sqlite3_value_int64(value); size += 9; break;
                case SQLITE_FLOAT: v.real = sqlite3_value_double(value); size += 9; break;
                case SQLITE_TEXT:
                case SQLITE_BLOB: {
                    v.bytes = v.type == SQLITE_TEXT ? reinterpret_cast<const char*>(sqlite3_value_text(value))
                                                    : static_cast<const char*>(sqlite3_value_blob(value));
                    v.length = v.bytes ? static_cast<std::size_t>(sqlite3_value_bytes(value)) : 0;
                    size += 1 + LengthSize(v.length) + v.length;
                    break;
                }
                default: size += 1; break;
                }
                if (!describe[idx]) continue;
                switch (v.type) {
                case SQLITE_INTEGER: seen[idx] |= 1; break;
                case SQLITE_FLOAT: seen[idx] |= 2; break;
                case SQLITE_TEXT: {
                    seen[idx] |= 4;
                    const std::string s(v.bytes ? v.bytes : "", v.length);
                    longest[idx] = std::max(longest[idx], CharCount(s));
                    if (allDates[idx] && !LooksLikeIsoDate(s)) allDates[idx] = false;
                    break;
                }
                case SQLITE_BLOB: seen[idx] |= 8; break;
                default: break;
                }
            }
            char* const row = r.store.Reserve(size);
            char* out = row;
            for (const Source& v : values) {
                switch (v.type) {
                case SQLITE_INTEGER:
                    *out++ = static_cast<char>(TagInt);
                    std::memcpy(out, &v.integer, 8);
                    out += 8;
                    break;
                case SQLITE_FLOAT:
                    *out++ = static_cast<char>(TagFloat);
                    std::memcpy(out, &v.real, 8);
                    out += 8;
                    break;
                case SQLITE_TEXT:
                case SQLITE_BLOB:
                    *out++ = static_cast<char>(v.type == SQLITE_TEXT ? TagText : TagBlob);
                    out = WriteLength(out, v.length);
                    if (v.length) std::memcpy(out, v.bytes, v.length);
                    out += v.length;
                    break;
                default: *out++ = static_cast<char>(TagNull); break;
                }
            }
            r.rows.push_back(StoredRow{std::string_view(row, size), nextId++});
        }
    } catch (...) {
        st.Reset();
        throw;
    }
    st.Reset();
    for (std::size_t i = 0; i < r.columns.size(); ++i) {
        DeclaredType& t = r.columns[i].type;
        if (t.kind != ColumnKind::Unknown) continue;
        if (seen[i] & 8) {
            t.kind = ColumnKind::Blob;
        } else if (seen[i] & 4) {
            if (allDates[i] && !(seen[i] & 3)) {
                t.kind = ColumnKind::DateTime;
            } else if (longest[i] > 4096) {
                t.kind = ColumnKind::Memo;
            } else {
                t.kind = ColumnKind::String;
                t.size = static_cast<int>(std::max<std::size_t>(longest[i], 1));
                if (seen[i] & 3) t.size = std::max(t.size, 32);
            }
        } else if (seen[i] & 2) {
            t.kind = ColumnKind::Float;
        } else if (seen[i] & 1) {
            t.kind = ColumnKind::LargeInt;
        } else {
            t.kind = ColumnKind::String;
            t.size = kDefaultTextSize;
        }
    }
    return r;
}

// ==================================================================== TableWriter

std::optional<TableWriter> TableWriter::ForResult(Database& db, std::vector<ResultColumn>& columns) {
    std::string table;
    for (const ResultColumn& c : columns) {
        if (c.table.empty()) continue;
        if (table.empty()) table = c.table;
        else if (!SameText(table, c.table)) return std::nullopt;  // a join
    }
    if (table.empty()) return std::nullopt;
    std::vector<ColumnInfo> info = db.TableColumns(table);
    if (info.empty()) return std::nullopt;  // a view or a table of another schema

    TableWriter w;
    w.table_ = table;
    try {
        Statement probe(db, "SELECT rowid FROM " + QuoteIdentifier(table) + " LIMIT 0");
    } catch (const ESQLiteError&) {
        w.hasRowId_ = false;
    }
    // Each origin column is written once, from its first appearance.
    for (std::size_t i = 0; i < columns.size(); ++i) {
        ResultColumn& c = columns[i];
        c.writable = false;
        if (c.table.empty()) continue;
        bool repeated = false;
        for (std::size_t j = 0; j < i; ++j) {
            if (columns[j].writable && SameText(columns[j].origin, c.origin)) repeated = true;
        }
        if (repeated) continue;
        c.writable = true;
        for (const ColumnInfo& ci : info) {
            if (SameText(ci.name, c.origin)) {
                c.keyPart = ci.primaryKeyIndex > 0;
                c.notNull = ci.notNull;
                c.hasDefault = ci.hasDefault;
            }
        }
    }
    std::vector<std::string> key = db.PrimaryKey(table);
    std::vector<std::size_t> keyCols;
    for (const std::string& k : key) {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (columns[i].writable && SameText(columns[i].origin, k)) {
                keyCols.push_back(i);
                break;
            }
        }
    }
    if (!key.empty() && keyCols.size() == key.size()) {
        w.usesKey_ = true;
        w.keyColumns_ = keyCols;
    } else {
        // Without the key, a row is found by its values: only a result that
        // holds every column of a keyless table tells its rows apart well
        // enough (rows equal in all of them are interchangeable). Anything
        // less could write over another row that merely looks the same.
        std::size_t writableCount = 0;
        for (const ResultColumn& c : columns) writableCount += c.writable ? 1 : 0;
        if (!key.empty() || !w.hasRowId_ || writableCount != info.size()) {
            for (ResultColumn& c : columns) c.writable = false;
            return std::nullopt;
        }
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (columns[i].writable) w.keyColumns_.push_back(i);
        }
    }
    w.columns_ = columns;
    return w;
}

std::string TableWriter::WhereClause(const Row& oldRow, std::vector<Value>& params) const {
    std::string where;
    for (std::size_t i : keyColumns_) {
        if (!where.empty()) where += " AND ";
        where += QuoteIdentifier(columns_[i].origin) + " IS ?";
        params.push_back(oldRow.at(i));
    }
    return where;
}

std::optional<Row> TableWriter::ReadBack(Database& db, const std::string& where,
                                         const std::vector<Value>& params) const {
    std::string sql = "SELECT ";
    bool first = true;
    for (const ResultColumn& c : columns_) {
        if (!c.writable) continue;
        if (!first) sql += ", ";
        first = false;
        sql += QuoteIdentifier(c.origin);
    }
    sql += " FROM " + QuoteIdentifier(table_) + " WHERE " + where + " LIMIT 1";
    Statement st(db, sql);
    BindAll(st, params);
    if (!st.Step()) return std::nullopt;
    Row row(columns_.size());
    int k = 0;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (columns_[i].writable) row[i] = st.ColumnValue(k++);
    }
    st.Reset();
    return row;
}

Row TableWriter::Insert(Database& db, const Row& row) const {
    std::string names, marks;
    std::vector<Value> params;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const ResultColumn& c = columns_[i];
        if (!c.writable || IsNull(row.at(i))) continue;
        if (!names.empty()) {
            names += ", ";
            marks += ", ";
        }
        names += QuoteIdentifier(c.origin);
        marks += "?";
        params.push_back(row[i]);
    }
    std::string sql = "INSERT INTO " + QuoteIdentifier(table_);
    sql += names.empty() ? std::string(" DEFAULT VALUES") : " (" + names + ") VALUES (" + marks + ")";
    Statement st(db, sql);
    BindAll(st, params);
    st.Run();
    Row stored = row;
    std::optional<Row> back;
    if (hasRowId_) {
        back = ReadBack(db, "rowid = ?", {Value{db.LastInsertRowId()}});
    } else if (usesKey_) {
        std::vector<Value> keyParams;
        std::string where = WhereClause(row, keyParams);
        back = ReadBack(db, where, keyParams);
    }
    if (back) {
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (columns_[i].writable) stored[i] = (*back)[i];
        }
    }
    return stored;
}

std::int64_t TableWriter::Locate(Database& db, const Row& oldRow, bool wholeRow) const {
    std::vector<Value> whereParams;
    std::string where = WhereClause(oldRow, whereParams);
    std::int64_t rowId = 0;
    if (hasRowId_) {
        // The one row the old values identify, even among identical rows.
        Statement find(db, "SELECT rowid FROM " + QuoteIdentifier(table_) + " WHERE " + where + " LIMIT 1");
        BindAll(find, whereParams);
        if (!find.Step()) throw ERowChanged();
        rowId = find.ColumnInt64(0);
        find.Reset();
        where = "rowid = ?";
        whereParams = {Value{rowId}};
    }
    std::optional<Row> now = ReadBack(db, where, whereParams);
    if (!now) throw ERowChanged();
    if (wholeRow) {
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (columns_[i].writable && (*now)[i] != oldRow.at(i)) throw ERowChanged();
        }
    }
    return rowId;
}

Row TableWriter::Update(Database& db, const Row& oldRow, const Row& newRow, bool wholeRow) const {
    std::string sets;
    std::vector<Value> params;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (!columns_[i].writable || oldRow.at(i) == newRow.at(i)) continue;
        if (!sets.empty()) sets += ", ";
        sets += QuoteIdentifier(columns_[i].origin) + " = ?";
        params.push_back(newRow[i]);
    }
    // Even a save that changes nothing here may belong to a larger one (a
    // document whose items changed): the row it read must still be there.
    if (sets.empty() && !wholeRow) return newRow;
    std::int64_t rowId = Locate(db, oldRow, wholeRow);
    if (sets.empty()) return newRow;
    std::vector<Value> whereParams;
    std::string target;
    if (hasRowId_) {
        target = "rowid = ?";
        whereParams = {Value{rowId}};
    } else {
        target = WhereClause(oldRow, whereParams);
    }
    for (Value& v : whereParams) params.push_back(v);
    Statement st(db, "UPDATE " + QuoteIdentifier(table_) + " SET " + sets + " WHERE " + target);
    BindAll(st, params);
    st.Run();
    if (db.Changes() == 0) throw ERowChanged();
    Row stored = newRow;
    std::optional<Row> back;
    if (hasRowId_) {
        back = ReadBack(db, "rowid = ?", {Value{rowId}});
    } else {
        std::vector<Value> keyParams;
        std::string w = WhereClause(newRow, keyParams);
        back = ReadBack(db, w, keyParams);
    }
    if (back) {
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (columns_[i].writable) stored[i] = (*back)[i];
        }
    }
    return stored;
}

void TableWriter::Delete(Database& db, const Row& oldRow, bool wholeRow) const {
    std::vector<Value> params;
    std::string sql = "DELETE FROM " + QuoteIdentifier(table_) + " WHERE ";
    if (hasRowId_) {
        params = {Value{Locate(db, oldRow, wholeRow)}};
        sql += "rowid = ?";
    } else {
        if (wholeRow) Locate(db, oldRow, wholeRow);
        sql += WhereClause(oldRow, params);
    }
    Statement st(db, sql);
    BindAll(st, params);
    st.Run();
    if (db.Changes() == 0) throw ERowChanged();
}

std::vector<std::string> UniqueViolationColumns(const ESQLiteError& e) {
    std::vector<std::string> columns;
    if (e.ErrorCode() != SQLITE_CONSTRAINT_UNIQUE && e.ErrorCode() != SQLITE_CONSTRAINT_PRIMARYKEY) return columns;
    const std::string message = e.Message();
    const std::string mark = "constraint failed: ";
    std::size_t at = message.find(mark);
    if (at == std::string::npos) return columns;
    std::string list = message.substr(at + mark.size());
    list = list.substr(0, list.find(" ["));  // the statement the layer below appends
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t comma = list.find(',', start);
        std::string item = Trim(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        std::size_t dot = item.rfind('.');
        if (dot != std::string::npos) item = item.substr(dot + 1);
        if (!item.empty()) columns.push_back(item);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return columns;
}

}  // namespace sqlite
