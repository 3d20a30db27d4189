#pragma once
// Helpers shared by the billing data tests: whole-database dumps to compare
// before and after, and the column list of a table.
#include "platform/db/SQLiteDatabase.h"

#include <string>
#include <vector>

namespace billdata_test {

// Every schema statement and every row of every table, as text.
inline std::string Dump(sqlite::Database& db) {
    std::string out;
    std::vector<std::string> tables;
    {
        sqlite::Statement st(db, "select name, sql from sqlite_master where sql is not null order by name");
        while (st.Step()) {
            out += st.ColumnText(1) + "\n";
            tables.push_back(st.ColumnText(0));
        }
    }
    for (const std::string& t : tables) {
        if (t.rfind("sqlite_", 0) == 0) continue;
        sqlite::Statement probe(db, "select type from sqlite_master where name = ?1");
        probe.BindText(1, t);
        if (!probe.Step() || probe.ColumnText(0) != "table") continue;
        sqlite::Statement st(db, "select * from " + sqlite::QuoteIdentifier(t) + " order by rowid");
        while (st.Step()) {
            out += t + ":";
            for (int c = 0; c < st.ColumnCount(); ++c) out += (st.ColumnIsNull(c) ? "<null>" : st.ColumnText(c)) + "|";
            out += "\n";
        }
    }
    return out;
}

inline std::string DumpFile(const std::string& path) {
    sqlite::Database db(path);
    return Dump(db);
}

// The declared type of a column ("" when the column does not exist).
inline std::string ColumnType(sqlite::Database& db, const std::string& table, const std::string& column) {
    for (const sqlite::ColumnInfo& c : db.TableColumns(table)) {
        if (sqlite::CompareText(c.name, column) == 0) return c.declaredType;
    }
    return {};
}

inline bool HasColumn(sqlite::Database& db, const std::string& table, const std::string& column) {
    for (const sqlite::ColumnInfo& c : db.TableColumns(table)) {
        if (sqlite::CompareText(c.name, column) == 0) return true;
    }
    return false;
}

inline std::string Scalar(sqlite::Database& db, const std::string& sql) {
    sqlite::Statement st(db, sql);
    if (!st.Step() || st.ColumnIsNull(0)) return {};
    return st.ColumnText(0);
}

}  // namespace billdata_test
