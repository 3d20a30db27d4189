#include "tests/support/DbCheck.h"

#include <sqlite3.h>

#ifdef FAT_HAVE_PLATFORM_DB
#include "platform/db/TextRules.h"
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace testsupport {
namespace {

struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Handle = std::unique_ptr<sqlite3, Closer>;

struct Finalizer {
    void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, Finalizer>;

// Read-write, so that the engine rolls a hot journal back as the next
// writer would; never created.
Handle OpenExisting(const std::string& path, std::string& error) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    Handle db(raw);
    if (rc != SQLITE_OK) {
        error = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
        return nullptr;
    }
    sqlite3_busy_timeout(raw, 5000);
#ifdef FAT_HAVE_PLATFORM_DB
    // Text columns and their indexes are declared with the program's
    // collation: without it neither the check nor a dump could read them.
    sqlite::RegisterTextRules(raw);
#endif
    return db;
}

Stmt Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string(sqlite3_errmsg(db)) + " in " + sql);
    return Stmt(raw);
}

std::string Quote(const std::string& name) {
    std::string out = "\"";
    for (char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string ValueText(sqlite3_stmt* st, int col) {
    switch (sqlite3_column_type(st, col)) {
    case SQLITE_NULL: return "null";
    case SQLITE_INTEGER: return "i:" + std::to_string(sqlite3_column_int64(st, col));
    case SQLITE_FLOAT: {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", sqlite3_column_double(st, col));
        return std::string("f:") + buf;
    }
    case SQLITE_BLOB: {
        const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(st, col));
        int n = sqlite3_column_bytes(st, col);
        std::string out = "b:";
        static const char* hex = "0123456789abcdef";
        for (int i = 0; i < n; ++i) {
            out += hex[p[i] >> 4];
            out += hex[p[i] & 15];
        }
        return out;
    }
    default: {
        const auto* p = sqlite3_column_text(st, col);
        return "t:" + std::string(p ? reinterpret_cast<const char*>(p) : "", sqlite3_column_bytes(st, col));
    }
    }
}

// The table's name as the file spells it, or "" when it has none such.
std::string StoredName(sqlite3* db, const std::string& table) {
    Stmt st = Prepare(db, "select name from sqlite_master where type = 'table' and lower(name) = lower(?1)");
    sqlite3_bind_text(st.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st.get()) == SQLITE_ROW) return reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
    return {};
}

std::string Dump(sqlite3* db, const std::vector<std::string>& tables) {
    std::string out;
    for (const std::string& table : tables) {
        std::string name = StoredName(db, table);
        if (name.empty()) {
            out += "table " + table + " <absent>\n";
            continue;
        }
        Stmt st = Prepare(db, "select * from " + Quote(name) + " order by rowid");
        out += "table " + table + "(";
        for (int i = 0; i < sqlite3_column_count(st.get()); ++i)
            out += (i ? ", " : "") + std::string(sqlite3_column_name(st.get(), i));
        out += ")\n";
        int rc;
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
            for (int i = 0; i < sqlite3_column_count(st.get()); ++i) out += (i ? " | " : "  ") + ValueText(st.get(), i);
            out += "\n";
        }
        if (rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
    }
    return out;
}

std::string Integrity(sqlite3* db) {
    Stmt st = Prepare(db, "PRAGMA integrity_check");
    std::string out;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        if (!out.empty()) out += "\n";
        out += reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0));
    }
    if (rc != SQLITE_DONE) return sqlite3_errmsg(db);
    return out;
}

}  // namespace

DbCheck CheckDatabase(const std::string& Path, const std::vector<std::string>& Tables) {
    DbCheck check;
    if (!std::filesystem::exists(Path)) {
        check.integrity = "no file";
        return check;
    }
    std::string error;
    Handle db = OpenExisting(Path, error);
    if (!db) {
        check.integrity = error;
        return check;
    }
    // Opening is lazy: the first read of the schema is what tells a
    // database from any other file.
    char* msg = nullptr;
    if (sqlite3_exec(db.get(), "select count(*) from sqlite_master", nullptr, nullptr, &msg) != SQLITE_OK) {
        check.integrity = msg ? msg : "not a database";
        sqlite3_free(msg);
        return check;
    }
    check.opens = true;
    check.integrity = Integrity(db.get());
    try {
        check.dump = Dump(db.get(), Tables);
    } catch (const std::exception& e) {
        check.dump = std::string("<dump failed: ") + e.what() + ">";
    }
    return check;
}

std::string DumpTables(const std::string& Path, const std::vector<std::string>& Tables) {
    std::string error;
    Handle db = OpenExisting(Path, error);
    if (!db) throw std::runtime_error("cannot open " + Path + ": " + error);
    return Dump(db.get(), Tables);
}

std::vector<std::string> TableNames(const std::string& Path) {
    std::string error;
    Handle db = OpenExisting(Path, error);
    if (!db) throw std::runtime_error("cannot open " + Path + ": " + error);
    Stmt st = Prepare(db.get(),
                      "select name from sqlite_master where type = 'table' and name not like 'sqlite\\_%' escape '\\' "
                      "order by name");
    std::vector<std::string> out;
    while (sqlite3_step(st.get()) == SQLITE_ROW) out.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
    return out;
}

std::string DumpSchema(const std::string& Path) {
    std::string error;
    Handle db = OpenExisting(Path, error);
    if (!db) throw std::runtime_error("cannot open " + Path + ": " + error);
    Stmt st = Prepare(db.get(), "select type, name, sql from sqlite_master where sql is not null order by type, name");
    std::string out;
    while (sqlite3_step(st.get()) == SQLITE_ROW) {
        for (int i = 0; i < 3; ++i) out += (i ? " " : "") + std::string(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), i)));
        out += "\n";
    }
    return out;
}

std::vector<std::string> FilesBeside(const std::string& Path) {
    namespace fs = std::filesystem;
    const fs::path target(Path);
    const std::string stem = target.filename().string();
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(target.parent_path(), ec)) {
        std::string name = entry.path().filename().string();
        if (name != stem && name.compare(0, stem.size(), stem) == 0) out.push_back(name);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> LeftoversOf(const std::string& Path, const std::vector<std::string>& Expected) {
    namespace fs = std::filesystem;
    const fs::path target(Path);
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(target.parent_path(), ec)) {
        std::string name = entry.path().filename().string();
        if (name == target.filename().string()) continue;
        if (std::find(Expected.begin(), Expected.end(), name) != Expected.end()) continue;
        out.push_back(name);
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace testsupport
