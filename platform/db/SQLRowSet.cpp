#include "platform/db/SQLRowSet.h"
#include "platform/rtl/Strings.h"

#include <cctype>
#include <cstring>
#include <limits>

namespace sqlite {

namespace {

enum Tag : unsigned char { TagNull = 0, TagInt = 1, TagFloat = 2, TagText = 3, TagBlob = 4 };

void PutRaw(std::string& out, const void* p, std::size_t n) { out.append(static_cast<const char*>(p), n); }

void PutLength(std::string& out, std::uint64_t n) {
    // Variable-length: seven bits a byte, high bit set when more follow.
    do {
        unsigned char b = static_cast<unsigned char>(n & 0x7F);
        n >>= 7;
        if (n) b |= 0x80;
        out += static_cast<char>(b);
    } while (n);
}

std::uint64_t GetLength(const std::string& in, std::size_t& pos) {
    std::uint64_t n = 0;
    int shift = 0;
    while (pos < in.size()) {
        unsigned char b = static_cast<unsigned char>(in[pos++]);
        n |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) break;
        shift += 7;
    }
    return n;
}

// Moves pos past one value; fills v when given.
void ReadValue(const std::string& in, std::size_t& pos, Value* v) {
    unsigned char tag = static_cast<unsigned char>(in.at(pos++));
    switch (tag) {
    case TagInt: {
        std::int64_t x;
        std::memcpy(&x, in.data() + pos, 8);
        pos += 8;
        if (v) *v = x;
        break;
    }
    case TagFloat: {
        double x;
        std::memcpy(&x, in.data() + pos, 8);
        pos += 8;
        if (v) *v = x;
        break;
    }
    case TagText:
    case TagBlob: {
        std::size_t n = static_cast<std::size_t>(GetLength(in, pos));
        if (v) {
            if (tag == TagText) *v = in.substr(pos, n);
            else *v = Blob{in.substr(pos, n)};
        }
        pos += n;
        break;
    }
    default:
        if (v) *v = std::monostate{};
        break;
    }
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

std::string PackRow(const Row& row) {
    std::string out;
    for (const Value& v : row) {
        switch (v.index()) {
        case 1: {
            out += static_cast<char>(TagInt);
            std::int64_t x = std::get<std::int64_t>(v);
            PutRaw(out, &x, 8);
            break;
        }
        case 2: {
            out += static_cast<char>(TagFloat);
            double x = std::get<double>(v);
            PutRaw(out, &x, 8);
            break;
        }
        case 3: {
            out += static_cast<char>(TagText);
            const std::string& s = std::get<std::string>(v);
            PutLength(out, s.size());
            out += s;
            break;
        }
        case 4: {
            out += static_cast<char>(TagBlob);
            const std::string& s = std::get<Blob>(v).bytes;
            PutLength(out, s.size());
            out += s;
            break;
        }
        default:
            out += static_cast<char>(TagNull);
            break;
        }
    }
    return out;
}

Row UnpackRow(const std::string& packed, std::size_t columnCount) {
    Row row(columnCount);
    std::size_t pos = 0;
    for (std::size_t i = 0; i < columnCount && pos < packed.size(); ++i) ReadValue(packed, pos, &row[i]);
    return row;
}

FetchResult FetchAll(Database& db, Statement& st, bool fetchRows) {
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
        Row row(static_cast<std::size_t>(n));
        while (fetchRows && st.Step()) {
            for (int i = 0; i < n; ++i) {
                auto idx = static_cast<std::size_t>(i);
                row[idx] = st.ColumnValue(i);
                if (r.columns[idx].type.kind != ColumnKind::Unknown) continue;
                switch (row[idx].index()) {
                case 1: seen[idx] |= 1; break;
                case 2: seen[idx] |= 2; break;
                case 3: {
                    seen[idx] |= 4;
                    const std::string& s = std::get<std::string>(row[idx]);
                    longest[idx] = std::max(longest[idx], CharCount(s));
                    if (allDates[idx] && !LooksLikeIsoDate(s)) allDates[idx] = false;
                    break;
                }
                case 4: seen[idx] |= 8; break;
                default: break;
                }
            }
            r.rows.push_back(PackRow(row));
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

Row TableWriter::Update(Database& db, const Row& oldRow, const Row& newRow) const {
    std::string sets;
    std::vector<Value> params;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (!columns_[i].writable || oldRow.at(i) == newRow.at(i)) continue;
        if (!sets.empty()) sets += ", ";
        sets += QuoteIdentifier(columns_[i].origin) + " = ?";
        params.push_back(newRow[i]);
    }
    if (sets.empty()) return newRow;
    std::vector<Value> whereParams;
    std::string where = WhereClause(oldRow, whereParams);
    std::string target = where;
    std::int64_t rowId = 0;
    if (hasRowId_) {
        // The one row the old values identify, even among identical rows.
        Statement find(db, "SELECT rowid FROM " + QuoteIdentifier(table_) + " WHERE " + where + " LIMIT 1");
        BindAll(find, whereParams);
        if (!find.Step()) throw ESQLiteError(kRowChangedMessage, 1);
        rowId = find.ColumnInt64(0);
        find.Reset();
        target = "rowid = ?";
        whereParams = {Value{rowId}};
    }
    for (Value& v : whereParams) params.push_back(v);
    Statement st(db, "UPDATE " + QuoteIdentifier(table_) + " SET " + sets + " WHERE " + target);
    BindAll(st, params);
    st.Run();
    if (db.Changes() == 0) throw ESQLiteError(kRowChangedMessage, 1);
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

void TableWriter::Delete(Database& db, const Row& oldRow) const {
    std::vector<Value> params;
    std::string where = WhereClause(oldRow, params);
    std::string sql = "DELETE FROM " + QuoteIdentifier(table_) + " WHERE ";
    if (hasRowId_) sql += "rowid = (SELECT rowid FROM " + QuoteIdentifier(table_) + " WHERE " + where + " LIMIT 1)";
    else sql += where;
    Statement st(db, sql);
    BindAll(st, params);
    st.Run();
    if (db.Changes() == 0) throw ESQLiteError(kRowChangedMessage, 1);
}

}  // namespace sqlite
