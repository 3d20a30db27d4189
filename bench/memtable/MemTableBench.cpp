// The memory table beside SQLite's in-memory database, in the same run, on a
// billing-like layout: integer key, client and product names, a value and a
// date. Each step is measured on both and the ratio memory table / SQLite of
// the times is printed at the end (below 1: the memory table is faster).
//
// Steps: append 100,000 rows; build an index on the client name; 10,000
// locates by key; 10,000 locates by client name; a sort on client and value.
// The memory table compares texts through the pt-BR collation (ICU); SQLite
// through its binary collation, so the text steps do more work on our side.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "memtable/mtMemTable.h"

namespace {

constexpr int kRows = 100000;
constexpr int kLocates = 10000;
constexpr int kClients = 2000;

struct Row {
    int id;
    std::string client;
    std::string product;
    double value;
    double date;
};

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = [] {
        std::mt19937 rng(2026);
        std::uniform_int_distribution<int> client(0, kClients - 1), product(0, 499), cents(100, 500000),
            day(0, 3650);
        std::vector<Row> r;
        r.reserve(kRows);
        for (int i = 0; i < kRows; ++i) {
            char c[40], p[40];
            std::snprintf(c, sizeof c, "Cliente %04d Ltda", client(rng));
            std::snprintf(p, sizeof p, "Produto %03d", product(rng));
            r.push_back(Row{i + 1, c, p, cents(rng) / 100.0, 42000.0 + day(rng)});
        }
        return r;
    }();
    return rows;
}

std::vector<int> LocateKeys() {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(0, kRows - 1);
    std::vector<int> keys(kLocates);
    for (int& k : keys) k = pick(rng);
    return keys;
}

// --- memory table

std::unique_ptr<TmtMemTable> NewTable() {
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->FieldDefs()->Add("Id", ftInteger);
    t->FieldDefs()->Add("Cliente", ftString, 30);
    t->FieldDefs()->Add("Produto", ftString, 20);
    t->FieldDefs()->Add("Valor", ftFloat);
    t->FieldDefs()->Add("Data", ftDate);
    t->Open();
    return t;
}

void Fill(TmtMemTable* t) {
    TField* id = t->FieldByName("Id");
    TField* client = t->FieldByName("Cliente");
    TField* product = t->FieldByName("Produto");
    TField* value = t->FieldByName("Valor");
    TField* date = t->FieldByName("Data");
    for (const Row& r : Rows()) {
        t->Append();
        id->SetAsInteger(r.id);
        client->SetAsString(r.client);
        product->SetAsString(r.product);
        value->SetAsFloat(r.value);
        date->SetAsDateTime(r.date);
        t->Post();
    }
}

std::unique_ptr<TmtMemTable> FilledTable(bool indexed) {
    auto t = NewTable();
    Fill(t.get());
    if (indexed) {
        t->AddIndex("PK", "Id", {ixUnique});
        t->AddIndex("ByCliente", "Cliente", {});
    }
    return t;
}

void MemAppend(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto t = NewTable();
        state.ResumeTiming();
        Fill(t.get());
        benchmark::DoNotOptimize(t->RecordCount());
        state.PauseTiming();
        t.reset();
        state.ResumeTiming();
    }
}

void MemIndex(benchmark::State& state) {
    auto t = FilledTable(false);
    for (auto _ : state) {
        t->AddIndex("ByCliente", "Cliente", {});
        state.PauseTiming();
        t->DeleteIndex("ByCliente");
        state.ResumeTiming();
    }
}

void MemLocateKey(benchmark::State& state) {
    auto t = FilledTable(true);
    auto keys = LocateKeys();
    for (auto _ : state) {
        int found = 0;
        for (int k : keys) found += t->Locate("Id", Rows()[static_cast<std::size_t>(k)].id, {}) ? 1 : 0;
        if (found != kLocates) throw std::runtime_error("locate by key missed");
    }
}

void MemLocateName(benchmark::State& state) {
    auto t = FilledTable(true);
    auto keys = LocateKeys();
    for (auto _ : state) {
        int found = 0;
        for (int k : keys) found += t->Locate("Cliente", Rows()[static_cast<std::size_t>(k)].client, {}) ? 1 : 0;
        if (found != kLocates) throw std::runtime_error("locate by name missed");
    }
}

void MemSort(benchmark::State& state) {
    auto t = FilledTable(false);
    for (auto _ : state) {
        t->SortOn("Cliente;Valor", {});
        t->First();
        benchmark::DoNotOptimize(t->FieldByName("Id")->AsInteger());
        state.PauseTiming();
        t->SetIndexFieldNames("");
        t->DeleteIndex("__MT__SORT");
        state.ResumeTiming();
    }
}

// --- SQLite

struct Db {
    sqlite3* db = nullptr;
    Db() {
        if (sqlite3_open(":memory:", &db) != SQLITE_OK) throw std::runtime_error("sqlite open");
        Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, cliente TEXT, produto TEXT, valor REAL, data REAL)");
    }
    ~Db() { sqlite3_close(db); }
    void Exec(const char* sql) {
        char* err = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
            std::string m = err ? err : "?";
            sqlite3_free(err);
            throw std::runtime_error(m);
        }
    }
    sqlite3_stmt* Prepare(const char* sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db));
        return s;
    }
};

void SqlFill(Db& d) {
    d.Exec("BEGIN");
    sqlite3_stmt* s = d.Prepare("INSERT INTO t (id, cliente, produto, valor, data) VALUES (?, ?, ?, ?, ?)");
    for (const Row& r : Rows()) {
        sqlite3_bind_int(s, 1, r.id);
        sqlite3_bind_text(s, 2, r.client.c_str(), static_cast<int>(r.client.size()), SQLITE_STATIC);
        sqlite3_bind_text(s, 3, r.product.c_str(), static_cast<int>(r.product.size()), SQLITE_STATIC);
        sqlite3_bind_double(s, 4, r.value);
        sqlite3_bind_double(s, 5, r.date);
        if (sqlite3_step(s) != SQLITE_DONE) throw std::runtime_error("insert");
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    d.Exec("COMMIT");
}

void SqlAppend(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto d = std::make_unique<Db>();
        state.ResumeTiming();
        SqlFill(*d);
        state.PauseTiming();
        d.reset();
        state.ResumeTiming();
    }
}

void SqlIndex(benchmark::State& state) {
    Db d;
    SqlFill(d);
    for (auto _ : state) {
        d.Exec("CREATE INDEX by_cliente ON t (cliente)");
        state.PauseTiming();
        d.Exec("DROP INDEX by_cliente");
        state.ResumeTiming();
    }
}

void SqlLocateKey(benchmark::State& state) {
    Db d;
    SqlFill(d);
    auto keys = LocateKeys();
    sqlite3_stmt* s = d.Prepare("SELECT id, cliente, produto, valor, data FROM t WHERE id = ?");
    for (auto _ : state) {
        int found = 0;
        for (int k : keys) {
            sqlite3_bind_int(s, 1, Rows()[static_cast<std::size_t>(k)].id);
            if (sqlite3_step(s) == SQLITE_ROW) ++found;
            sqlite3_reset(s);
        }
        if (found != kLocates) throw std::runtime_error("sqlite key missed");
    }
    sqlite3_finalize(s);
}

void SqlLocateName(benchmark::State& state) {
    Db d;
    SqlFill(d);
    d.Exec("CREATE INDEX by_cliente ON t (cliente)");
    auto keys = LocateKeys();
    // The first matching row in row order, as Locate finds it.
    sqlite3_stmt* s = d.Prepare(
        "SELECT id, cliente, produto, valor, data FROM t WHERE id = (SELECT min(id) FROM t WHERE cliente = ?)");
    for (auto _ : state) {
        int found = 0;
        for (int k : keys) {
            const std::string& c = Rows()[static_cast<std::size_t>(k)].client;
            sqlite3_bind_text(s, 1, c.c_str(), static_cast<int>(c.size()), SQLITE_STATIC);
            if (sqlite3_step(s) == SQLITE_ROW) ++found;
            sqlite3_reset(s);
        }
        if (found != kLocates) throw std::runtime_error("sqlite name missed");
    }
    sqlite3_finalize(s);
}

void SqlSort(benchmark::State& state) {
    Db d;
    SqlFill(d);
    sqlite3_stmt* s = d.Prepare("SELECT id FROM t ORDER BY cliente, valor");
    for (auto _ : state) {
        // The first row comes only after the whole sort, as with the table.
        if (sqlite3_step(s) != SQLITE_ROW) throw std::runtime_error("sort");
        benchmark::DoNotOptimize(sqlite3_column_int(s, 0));
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (!r.error_occurred) time_[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nTime ratio, memory table / SQLite in memory (below 1: the memory table is faster)\n");
        Ratio("append 100,000 rows     ", "MemAppend", "SqlAppend");
        Ratio("build index on a string ", "MemIndex", "SqlIndex");
        Ratio("10,000 locates by key   ", "MemLocateKey", "SqlLocateKey");
        Ratio("10,000 locates by name  ", "MemLocateName", "SqlLocateName");
        Ratio("sort on two fields      ", "MemSort", "SqlSort");
    }

private:
    void Ratio(const char* label, const std::string& ours, const std::string& theirs) {
        auto a = Find(ours), b = Find(theirs);
        if (a < 0 || b <= 0) return;
        std::printf("  %s %6.2f  (%.1f ms vs %.1f ms)\n", label, a / b, a, b);
    }
    double Find(const std::string& prefix) const {
        for (const auto& [name, t] : time_)
            if (name.rfind(prefix, 0) == 0) return t;
        return -1;
    }
    std::map<std::string, double> time_;
};

}  // namespace

BENCHMARK(MemAppend)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(SqlAppend)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(MemIndex)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(SqlIndex)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(MemLocateKey)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(SqlLocateKey)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(MemLocateName)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(SqlLocateName)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(MemSort)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(SqlSort)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
