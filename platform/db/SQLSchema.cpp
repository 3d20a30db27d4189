#include "platform/db/SQLSchema.h"

#include "platform/db/SQLiteDatabase.h"

#include <cctype>

namespace sqlite {

namespace {

std::string Lower(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Trimmed(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    std::size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// "text ( 50 )" -> base "text", size 50; no parentheses -> size -1.
void SplitType(const std::string& declared, std::string& base, int& size) {
    std::string t = Lower(Trimmed(declared));
    size = -1;
    std::size_t open = t.find('(');
    if (open == std::string::npos) {
        base = t;
    } else {
        base = Trimmed(t.substr(0, open));
        std::size_t close = t.find(')', open);
        std::string inner = Trimmed(t.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1));
        std::size_t comma = inner.find(',');
        if (comma != std::string::npos) inner = Trimmed(inner.substr(0, comma));
        if (!inner.empty() && inner.size() < 9 &&
            inner.find_first_not_of("0123456789") == std::string::npos) {
            size = std::stoi(inner);
        }
    }
    // "yes/no", "date/time" and "yes no" as the original's tools write them.
    std::string compact;
    for (char c : base) {
        if (c != ' ' && c != '/' && c != '_') compact += c;
    }
    base = compact;
}

bool OneOf(const std::string& s, std::initializer_list<const char*> names) {
    for (const char* n : names) {
        if (s == n) return true;
    }
    return false;
}

}  // namespace

DeclaredType MapDeclaredType(const std::string& declared) {
    std::string base;
    int size;
    SplitType(declared, base, size);
    DeclaredType r;
    if (base.empty()) return r;
    if (OneOf(base, {"text", "char", "varchar", "nvarchar", "nchar", "character", "string", "alphanumeric",
                     "varyingcharacter", "charactervarying", "nationalcharacter", "nationalcharvarying"})) {
        r.kind = ColumnKind::String;
        r.size = size > 0 ? size : kDefaultTextSize;
    } else if (OneOf(base, {"memo", "longtext", "longchar", "note", "ntext", "clob"})) {
        r.kind = ColumnKind::Memo;
    } else if (OneOf(base, {"double", "float", "real", "single", "float4", "float8", "ieeesingle", "ieeedouble",
                            "number", "numeric", "decimal", "doubleprecision"})) {
        r.kind = ColumnKind::Float;
    } else if (OneOf(base, {"currency", "money"})) {
        r.kind = ColumnKind::Currency;
    } else if (OneOf(base, {"integer", "int", "long", "int4", "integer4", "mediumint"})) {
        r.kind = ColumnKind::Integer;
    } else if (OneOf(base, {"smallint", "short", "int2", "integer2", "byte", "tinyint", "integer1"})) {
        r.kind = ColumnKind::SmallInt;
    } else if (OneOf(base, {"bigint", "int8", "largeint"})) {
        r.kind = ColumnKind::LargeInt;
    } else if (OneOf(base, {"datetime", "date", "time", "timestamp"})) {
        r.kind = ColumnKind::DateTime;
    } else if (OneOf(base, {"yesno", "bit", "logical", "logical1", "boolean", "bool"})) {
        r.kind = ColumnKind::Boolean;
    } else if (OneOf(base, {"counter", "autoincrement", "autoinc", "identity"})) {
        r.kind = ColumnKind::AutoInc;
    } else if (OneOf(base, {"blob", "longbinary", "oleobject", "image", "general", "binary", "varbinary", "bytea"})) {
        r.kind = ColumnKind::Blob;
    }
    return r;
}

std::string ColumnDeclaration(const ColumnDef& column, bool inlineKey) {
    DeclaredType t = MapDeclaredType(column.type);
    std::string base;
    int size;
    SplitType(column.type, base, size);
    std::string decl = QuoteIdentifier(column.name) + " ";
    switch (t.kind) {
    case ColumnKind::Unknown:
        throw ESQLiteError("Tipo de coluna desconhecido: \"" + column.type + "\" (coluna " + column.name + ")");
    case ColumnKind::AutoInc:
        // Only this form makes the engine number new rows itself; the flag
        // it leaves in the schema tells the queries the column is a counter.
        return decl + "INTEGER PRIMARY KEY AUTOINCREMENT";
    case ColumnKind::String:
        decl += "text(" + std::to_string(t.size) + ")";
        break;
    case ColumnKind::Memo:
        decl += "memo";
        break;
    case ColumnKind::Boolean:
        decl += "bit";
        break;
    case ColumnKind::DateTime:
        decl += "datetime";
        break;
    default:
        // The other names are plain words the engine accepts as written.
        decl += base;
        break;
    }
    if (t.kind == ColumnKind::String || t.kind == ColumnKind::Memo) decl += std::string(" COLLATE ") + kTextCollation;
    if (inlineKey) decl += " PRIMARY KEY";
    if (column.notNull || inlineKey) decl += " NOT NULL";
    if (!column.defaultSql.empty()) decl += " DEFAULT " + column.defaultSql;
    return decl;
}

std::string CreateTableSql(const std::string& table, const std::vector<ColumnDef>& columns, bool ifNotExists) {
    if (columns.empty()) throw ESQLiteError("Tabela sem colunas: " + table);
    int keyCount = 0;
    bool hasCounter = false;
    for (const ColumnDef& c : columns) {
        if (c.primaryKey) ++keyCount;
        if (MapDeclaredType(c.type).kind == ColumnKind::AutoInc) {
            if (hasCounter) throw ESQLiteError("A tabela " + table + " só pode ter uma coluna de autonumeração");
            hasCounter = true;
        }
    }
    if (hasCounter && keyCount > 0) {
        bool counterIsKey = false;
        for (const ColumnDef& c : columns) {
            if (c.primaryKey && MapDeclaredType(c.type).kind == ColumnKind::AutoInc) counterIsKey = true;
        }
        if (!counterIsKey || keyCount > 1)
            throw ESQLiteError("A coluna de autonumeração da tabela " + table + " deve ser a sua única chave");
    }
    std::string sql = "CREATE TABLE ";
    if (ifNotExists) sql += "IF NOT EXISTS ";
    sql += QuoteIdentifier(table) + " (";
    bool first = true;
    std::vector<std::string> key;
    for (const ColumnDef& c : columns) {
        if (!first) sql += ", ";
        first = false;
        bool inlineKey = c.primaryKey && keyCount == 1 && MapDeclaredType(c.type).kind != ColumnKind::AutoInc;
        sql += ColumnDeclaration(c, inlineKey);
        if (c.primaryKey && keyCount > 1) key.push_back(QuoteIdentifier(c.name));
    }
    if (!key.empty()) {
        sql += ", PRIMARY KEY (";
        for (std::size_t i = 0; i < key.size(); ++i) sql += (i ? ", " : "") + key[i];
        sql += ")";
    }
    sql += ")";
    return sql;
}

std::string AddColumnSql(const std::string& table, const ColumnDef& column) {
    if (MapDeclaredType(column.type).kind == ColumnKind::AutoInc)
        throw ESQLiteError("Não é possível acrescentar uma coluna de autonumeração à tabela " + table);
    ColumnDef c = column;
    c.primaryKey = false;
    // A new NOT NULL column would need a default for the rows already there.
    c.notNull = false;
    return "ALTER TABLE " + QuoteIdentifier(table) + " ADD COLUMN " + ColumnDeclaration(c);
}

void AlterColumnType(Database& db, const std::string& table, const std::string& column, const std::string& newType) {
    std::vector<ColumnInfo> info = db.TableColumns(table);
    if (info.empty()) throw ESQLiteError("Tabela não encontrada: " + table);
    // The stored name, whatever case the caller wrote.
    std::string tableName = table;
    {
        Statement st(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
        st.BindText(1, table);
        if (st.Step()) tableName = st.ColumnText(0);
    }
    std::vector<ColumnDef> defs;
    bool found = false;
    std::string names;
    for (const ColumnInfo& c : info) {
        ColumnDef d;
        d.name = c.name;
        bool target = Lower(c.name) == Lower(column);
        found = found || target;
        d.type = target ? newType : c.declaredType;
        if (db.IsAutoIncrement(tableName, c.name)) d.type = "counter";
        else if (d.type.empty()) d.type = "blob";  // an undeclared column keeps any value, as a blob column does
        d.notNull = c.notNull;
        d.primaryKey = c.primaryKeyIndex > 0;
        d.defaultSql = c.defaultSql;
        defs.push_back(d);
        if (!names.empty()) names += ", ";
        names += QuoteIdentifier(c.name);
    }
    if (!found) throw ESQLiteError("Coluna não encontrada: " + table + "." + column);
    std::vector<std::string> indexes;
    {
        Statement st(db, "SELECT sql FROM sqlite_master WHERE type = 'index' AND tbl_name = ?1 AND sql IS NOT NULL");
        st.BindText(1, tableName);
        while (st.Step()) indexes.push_back(st.ColumnText(0));
    }
    const std::string temp = tableName + "_alter_tmp";
    Transaction tr(db);
    db.Exec(CreateTableSql(temp, defs));
    db.Exec("INSERT INTO " + QuoteIdentifier(temp) + " (" + names + ") SELECT " + names + " FROM " +
            QuoteIdentifier(tableName));
    // Rows are only moved between the two tables: no foreign-key action may run.
    db.Exec("PRAGMA defer_foreign_keys = ON");
    db.Exec("DROP TABLE " + QuoteIdentifier(tableName));
    db.Exec("ALTER TABLE " + QuoteIdentifier(temp) + " RENAME TO " + QuoteIdentifier(tableName));
    for (const std::string& sql : indexes) db.Exec(sql);
    tr.Commit();
}

namespace {

// Splits a statement into words; "[a b]" and "\"a b\"" stay one word
// (without their quotes), "text ( 15 )" is one word "text(15)".
std::vector<std::string> JetWords(const std::string& sql) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < sql.size()) {
        char c = sql[i];
        if (std::isspace(static_cast<unsigned char>(c)) || c == ';') {
            ++i;
        } else if (c == '[' || c == '"' || c == '`') {
            char close = c == '[' ? ']' : c;
            std::size_t end = sql.find(close, i + 1);
            if (end == std::string::npos) end = sql.size();
            words.push_back(sql.substr(i + 1, end - i - 1));
            i = end + 1;
        } else if (c == '(' && !words.empty()) {
            std::size_t end = sql.find(')', i);
            if (end == std::string::npos) end = sql.size() - 1;
            std::string inner;
            for (char x : sql.substr(i, end - i + 1)) {
                if (!std::isspace(static_cast<unsigned char>(x))) inner += x;
            }
            words.back() += inner;
            i = end + 1;
        } else {
            std::size_t j = i;
            while (j < sql.size() && !std::isspace(static_cast<unsigned char>(sql[j])) && sql[j] != '(' &&
                   sql[j] != ';')
                ++j;
            words.push_back(sql.substr(i, j - i));
            i = j;
        }
    }
    return words;
}

}  // namespace

void ExecuteJetDdl(Database& db, const std::string& statement) {
    std::vector<std::string> w = JetWords(statement);
    auto is = [&](std::size_t i, const char* word) { return i < w.size() && Lower(w[i]) == word; };
    if (!(is(0, "alter") && is(1, "table") && w.size() >= 5)) {
        db.Exec(statement);
        return;
    }
    const std::string& table = w[2];
    std::size_t at = 4;
    if (is(at, "column")) ++at;
    if (at >= w.size()) {
        db.Exec(statement);
        return;
    }
    const std::string& column = w[at];
    std::string type;
    for (std::size_t k = at + 1; k < w.size(); ++k) type += (type.empty() ? "" : " ") + w[k];
    if (is(3, "add") && !type.empty()) {
        db.Exec(AddColumnSql(table, {column, type}));
    } else if (is(3, "alter") && !type.empty()) {
        AlterColumnType(db, table, column, type);
    } else if (is(3, "drop")) {
        db.Exec("ALTER TABLE " + QuoteIdentifier(table) + " DROP COLUMN " + QuoteIdentifier(column));
    } else {
        db.Exec(statement);
    }
}

}  // namespace sqlite
