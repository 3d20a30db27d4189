// The query against the engine it stands on: opening a 100,000-row result
// through TSQLQuery (fetch, pack, field access while walking every row; and
// the open alone) against stepping the same statement by hand (reading the
// one column the walk reads, and reading every column: what any copy of the
// rows costs, the floor under a query that holds its rows),
// and ordering by a text column under the Portuguese collation against byte
// order.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include <sqlite3.h>

#include "bench/support/RatioReporter.h"
#include "platform/db/SQLQuery.h"
#include "platform/db/SQLSchema.h"

namespace {

// A file of its own, removed at exit.
struct BenchDatabase {
    std::string path;
    ~BenchDatabase() { std::filesystem::remove(path); }
};

const std::string& BenchFile() {
    static const BenchDatabase file{[] {
        std::string p = (std::filesystem::temp_directory_path() /
                         ("bench-db-sql-" + std::to_string(::getpid()) + ".db")).string();
        std::filesystem::remove(p);
        sqlite::OpenOptions o;
        o.create = true;
        sqlite::Database db(p, o);
        db.Exec(sqlite::CreateTableSql("produto", {{"Id_Produto", "integer", false, true},
                                                   {"Descricao", "text(50)"},
                                                   {"Preco_Venda", "double"}}));
        db.Exec("CREATE TABLE produto_bin (Id_Produto integer primary key, Descricao text, Preco_Venda double)");
        db.Exec(
            "with recursive n(i) as (select 1 union all select i + 1 from n where i < 100000) "
            "insert into produto select i, (case i % 3 when 0 then 'Ação ' when 1 then 'cabo ' else 'ÁGUA ' end) "
            "|| (i * 7919 % 100000), i * 0.37 from n");
        db.Exec("insert into produto_bin select * from produto");
        return p;
    }()};
    return file.path;
}

// The query over the whole table, on a connection of its own.
struct ProductQuery {
    TSQLConnection conn;
    TSQLQuery q;
    ProductQuery() {
        conn.SetDatabaseName(BenchFile());
        q.SetConnection(&conn);
        q.SetSQL("select * from produto order by Id_Produto");
    }
};

void BM_QueryOpenAndWalk(benchmark::State& state) {
    ProductQuery p;
    TSQLQuery& q = p.q;
    for (auto _ : state) {
        q.Open();
        double total = 0;
        TField* price = q.FieldByName("Preco_Venda");
        for (q.First(); !q.Eof(); q.Next()) total += price->AsFloat();
        benchmark::DoNotOptimize(total);
        q.Close();
    }
}
BENCHMARK(BM_QueryOpenAndWalk)->Unit(benchmark::kMillisecond);

// The open alone: fetching and packing, without the walk.
void BM_QueryOpenOnly(benchmark::State& state) {
    ProductQuery p;
    for (auto _ : state) {
        p.q.Open();
        p.q.Close();
    }
}
BENCHMARK(BM_QueryOpenOnly)->Unit(benchmark::kMillisecond);

void BM_RawStatementWalk(benchmark::State& state) {
    sqlite::Database db(BenchFile());
    for (auto _ : state) {
        sqlite::Statement st(db, "select * from produto order by Id_Produto");
        double total = 0;
        while (st.Step()) total += st.ColumnDouble(2);
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_RawStatementWalk)->Unit(benchmark::kMillisecond);

void BM_RawStatementReadAll(benchmark::State& state) {
    sqlite::Database db(BenchFile());
    for (auto _ : state) {
        sqlite::Statement st(db, "select * from produto order by Id_Produto");
        sqlite3_stmt* h = st.Handle();
        double total = 0;
        std::size_t bytes = 0;
        while (st.Step()) {
            for (int i = 0; i < 3; ++i) {
                sqlite3_value* v = sqlite3_column_value(h, i);
                switch (sqlite3_value_type(v)) {
                case SQLITE_INTEGER: bytes += static_cast<std::size_t>(sqlite3_value_int64(v)); break;
                case SQLITE_FLOAT: total += sqlite3_value_double(v); break;
                case SQLITE_TEXT:
                    benchmark::DoNotOptimize(sqlite3_value_text(v));
                    bytes += static_cast<std::size_t>(sqlite3_value_bytes(v));
                    break;
                default: break;
                }
            }
        }
        benchmark::DoNotOptimize(total);
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_RawStatementReadAll)->Unit(benchmark::kMillisecond);

void BM_OrderByCollatedText(benchmark::State& state) {
    sqlite::Database db(BenchFile());
    for (auto _ : state) {
        sqlite::Statement st(db, "select Descricao from produto order by Descricao");
        std::int64_t n = 0;
        while (st.Step()) ++n;
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_OrderByCollatedText)->Unit(benchmark::kMillisecond);

void BM_OrderByBinaryText(benchmark::State& state) {
    sqlite::Database db(BenchFile());
    for (auto _ : state) {
        sqlite::Statement st(db, "select Descricao from produto_bin order by Descricao");
        std::int64_t n = 0;
        while (st.Step()) ++n;
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_OrderByBinaryText)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return benchratio::RunWithRatios(
        argc, argv, "Time ratio (lower is better)",
        {{"TSQLQuery open + walk / raw statement", "BM_QueryOpenAndWalk", "BM_RawStatementWalk"},
         {"TSQLQuery open alone / raw statement", "BM_QueryOpenOnly", "BM_RawStatementWalk"},
         {"raw, every column read / raw statement", "BM_RawStatementReadAll", "BM_RawStatementWalk"},
         {"ORDER BY pt-BR text / ORDER BY byte order", "BM_OrderByCollatedText", "BM_OrderByBinaryText"}});
}
