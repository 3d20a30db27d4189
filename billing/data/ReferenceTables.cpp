#include "billing/data/ReferenceTables.h"

#include <string_view>

namespace billing::data {

namespace reference {
extern const char k_uf[];
extern const char k_municipio[];
extern const char k_febraban[];
}  // namespace reference

namespace {

std::vector<std::string> SplitTabs(std::string_view line) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (;;) {
        std::size_t tab = line.find('\t', start);
        cells.emplace_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) return cells;
        start = tab + 1;
    }
}

ReferenceTable Parse(const std::string& name, std::string_view text) {
    ReferenceTable table{name, {}, {}};
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        if (table.columns.empty()) {
            table.columns = SplitTabs(line);
            continue;
        }
        std::vector<std::string> row = SplitTabs(line);
        // A short or long row is a fault of the data file, never of a database.
        if (row.size() != table.columns.size())
            throw Exception("Tabela de referência " + name + ": linha com " + std::to_string(row.size()) +
                            " colunas em vez de " + std::to_string(table.columns.size()) + ": " + std::string(line));
        table.rows.push_back(std::move(row));
    }
    return table;
}

std::vector<ReferenceTable> Build() {
    std::vector<ReferenceTable> tables;
    tables.push_back(Parse("uf", reference::k_uf));
    ReferenceTable municipio = Parse("municipio", reference::k_municipio);
    municipio.columns.push_back("id_uf");
    for (std::vector<std::string>& row : municipio.rows) row.push_back(row[0].substr(0, 2));
    tables.push_back(std::move(municipio));
    tables.push_back(Parse("febraban", reference::k_febraban));
    return tables;
}

bool Empty(sqlite::Database& db, const std::string& table) {
    sqlite::Statement st(db, "select 1 from " + sqlite::QuoteIdentifier(table) + " limit 1");
    return !st.Step();
}

}  // namespace

const std::vector<ReferenceTable>& ReferenceTables() {
    static const std::vector<ReferenceTable> tables = Build();
    return tables;
}

SeedResult SeedReferenceTables(sqlite::Database& db) {
    SeedResult result;
    auto wanted = [&db](const ReferenceTable& t) { return db.TableExists(t.name) && Empty(db, t.name); };
    bool any = false;
    for (const ReferenceTable& t : ReferenceTables()) any = any || wanted(t);
    if (!any) return result;  // the usual open: no write lock taken
    // Checked again under the write lock: two instances opening the same new
    // file fill it once.
    sqlite::Transaction tr(db);
    for (const ReferenceTable& t : ReferenceTables()) {
        if (!wanted(t)) continue;
        std::string sql = "insert into " + sqlite::QuoteIdentifier(t.name) + "(";
        std::string values;
        for (std::size_t i = 0; i < t.columns.size(); ++i) {
            sql += (i ? ", " : "") + sqlite::QuoteIdentifier(t.columns[i]);
            values += (i ? ", ?" : "?") + std::to_string(i + 1);
        }
        sqlite::Statement st(db, sql + ") values(" + values + ")");
        for (const std::vector<std::string>& row : t.rows) {
            for (std::size_t i = 0; i < row.size(); ++i) {
                // Codes are numbers in their tables (id_uf, id_municipio, id_febraban).
                if (t.columns[i].rfind("id_", 0) == 0) st.BindInt64(static_cast<int>(i + 1), std::stoll(row[i]));
                else st.BindText(static_cast<int>(i + 1), row[i]);
            }
            st.Run();
            ++result.rowsInserted;
        }
        ++result.tablesFilled;
    }
    tr.Commit();
    return result;
}

}  // namespace billing::data
