// The memory table beside SQLite's in-memory database, in the same run, on a
// billing-like layout: integer key, client and product names, a value and a
// date. Each step is measured on both and the ratio memory table / SQLite of
// the times is printed at the end (below 1: the memory table is faster),
// from the medians of the repetitions when there are several.
//
// Usage: bench_memtable [rows] [shape] [benchmark flags]; the row count
// (100,000 unless given; 10000, 1000000 ...) sizes every step but the
// locates, which stay 10,000, and the changes, 2,000. The shape of the data:
//   repeated  the client names come from 2,000 values, so about rows / 2,000
//             rows share each (the default);
//   distinct  the client names come from rows / 2 values, so that most are
//             held by one or two rows, as in a register of clients;
//   changes   distinct names, and the table changes while it is searched;
//   varied    names as a register of people holds them: a first name and
//             two surnames, with accents and particles ("da", "dos"), 12 to
//             45 characters, no common start, mostly held by one row;
//   walks     varied names, and the steps of walks below;
//   prefixes  varied names: 1,000 partial-key locates of a name's first one
//             to three letters in row order (no index on the name, a plain
//             one and a case-blind one not current; SQLite: the lowest id
//             in the prefix's range of an index), and of eight to fourteen
//             letters with a plain or case-blind index of the name current
//             (SQLite: the first of the range in the index);
//   links     varied names, and the steps of links below;
//   indexes   the client names of repeated, and 10,000 locates by client
//             name with several indexes of the name on the table, one of
//             them current: a plain one beside a case-blind one, a plain
//             one beside a descending one, and all three with each current
//             (SQLite: the first of the name in that order through an
//             index on the name); then the same index sets with each locate
//             case-blind (loCaseInsensitive; SQLite: the lowest id of the
//             name through an index of it COLLATE NOCASE);
//   sorts     varied names: a sort on the client name, and one on the name
//             and the value, each followed by its first locate of a name
//             (a bisection by the records: the sort's deferred keys wait
//             for later searches; SQLite: an index on the same fields,
//             then the first row of the name in it).
// For interleaved repetitions add
// --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true.
//
// Steps of repeated and distinct: append the rows; build an index on the
// client name; 10,000 locates by key; 10,000 locates by client name (the
// first in row order is the one found); 10,000 locates by client name with
// a descending index of the name current (SQLite: the highest id of the
// name, the first in that order); a sort on client and value,
// alone, followed by a walk over every row in its order, and followed by
// one locate of a client name in its order (SQLite: an index on both
// fields, then the first row of the name in it); a
// filtered walk over a number condition and over a text equality (no index
// on either side). Then the memory each side takes per row of (integer key,
// 40-character text, double, date), as the allocator counts it (glibc's
// in-use bytes before and after), without and with an index on the text.
//
// Steps of changes, on a table indexed on the key and on the client name on
// both sides: 2,000 appends; 2,000 edits of the client name and the value of
// a row found by key; 2,000 deletes of a row found by key; 10,000 locates
// by client name with an edit of a row's client name after every 10th.
//
// Steps of varied: those of repeated and distinct, then two mixed runs on a
// table indexed on the key and on the client name on both sides: 10,000
// locates by client name with an append after every 10th, and with a delete
// of a row found by key after every 10th. Between repetitions the appended
// rows are deleted and the deleted ones appended again (not timed), and a
// round of that comes before the first: appends take the slots deletes
// freed, as in a register that has been used for a while.
// Two more on the same table: 10,000 locates by client name with an edit of
// a row's client name once every rows / 1,024 locates, and 2,000 locates by
// client name right after 2,000 such edits (the edits not timed).
//
// Steps of walks (varied names): 1,000 moves of a master table, each with a
// walk of its details (a detail table of the rows, ten per master, shown in
// an index on the link field; SQLite: the indexed select of the master's
// details); 1,000 partial-key locates of a name's first one to six letters,
// with the row order current (SQLite: the lowest id among the names in the
// prefix's range of an index on the name) and with the name's index current
// (SQLite: the first of that range in the index), and the same locates again
// after a first pass that is not timed, as a clerk types into a grid that
// has been searched before; 100 record counts of a
// table with versioning after one delete (SQLite: count(*)).
//
// Steps of links (varied names): 200 master moves, each with a walk of its
// details (ten per master), where the detail's current index is not the
// link's: the row order (SQLite: ordered by id), an index on the value
// (ordered by value); a text link with the link's index current; the
// detail's record count at each move, row order current (count(*)); moves
// with the value index current and the value of the first detail shown
// raised after each walk (SQLite: an update by id); with 2,000 masters
// (rows / 2,000 details each), moves with the value index current, and
// moves that give the first detail (row order) to the next master before
// the count (SQLite: an update of its link, count(*)); and
// with the details of each of 2,000 masters spread over the table (every
// 2,000th row, as a client's invoices arrive over months): the same link
// edit before each count; moves with the value index current; and an edit
// of the link, a delete of the last detail shown and an append of a detail
// before each count, with the value index and the row order current
// (SQLite: the update, delete and insert, count(*)); and
// 1,000 locates on two fields, one of them indexed: Id (a unique key) and
// the client name, and the client name and the value (SQLite: the lowest id
// of the rows that hold both).
//
// The memory table compares texts through the pt-BR collation (sort keys made
// once per value); SQLite through its binary collation, so the text steps do
// more work on our side.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <utility>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "memtable/mtMemTable.h"

namespace {

int kRows = 100000;  // set from the command line before anything runs
enum class Shape { Repeated, Distinct, Changes, Varied, Walks, Prefixes, Links, Indexes, Sorts };
Shape kShape = Shape::Repeated;
constexpr int kLocates = 10000;
constexpr int kChanges = 2000;
constexpr int kChangeEvery = 10;  // locates per change in the mixed step
constexpr int kClients = 2000;

// How many client names the rows draw from.
int ClientValues() {
    if (kShape == Shape::Repeated || kShape == Shape::Indexes) return kClients;
    const bool varied = kShape == Shape::Varied || kShape == Shape::Walks || kShape == Shape::Prefixes ||
                        kShape == Shape::Links || kShape == Shape::Sorts;
    return varied ? kRows : std::max(1, kRows / 2);
}

// A person's name from a number, the same for the same number: a first name,
// now and then a second one or a particle, and two surnames; 12 to 45
// characters.
std::string VariedName(int k) {
    static const char* const first[] = {
        "Ana", "Antônio", "Álvaro", "Ângela", "Beatriz", "Bruno", "Caio", "Carla", "Cecília", "César", "Cláudia",
        "Conceição", "Daniel", "Débora", "Diogo", "Édson", "Eduardo", "Elaine", "Emanuela", "Fábio", "Fernanda",
        "Flávia", "Francisco", "Gabriel", "Gisele", "Gonçalo", "Gustavo", "Heitor", "Helena", "Hugo", "Igor",
        "Inês", "Ingrid", "Irene", "Isaías", "Ivone", "Jéssica", "João", "Joaquim", "José", "Juliana", "Júlio",
        "Karina", "Kátia", "Laís", "Leandro", "Letícia", "Lúcia", "Luís", "Marcelo", "Márcia", "Maria", "Mônica",
        "Natália", "Nélson", "Norberto", "Olívia", "Otávio", "Patrícia", "Paulo", "Priscila", "Quitéria", "Rafael",
        "Raquel", "Renata", "Rúben", "Sabrina", "Sebastião", "Sérgio", "Simão", "Sônia", "Tânia", "Tiago", "Tomás",
        "Úrsula", "Valéria", "Vânia", "Vinícius", "Wagner", "Wilson", "Yara", "Zélia", "Zuleica", "Ênio", "Ícaro",
        "Otília", "Açucena", "Benedito", "Cristóvão", "Dorotéia", "Estêvão", "Fabrício", "Graça", "Henrique",
        "Iracema", "Jandira", "Lázaro", "Moisés", "Noêmia", "Odete", "Pérola", "Régis", "Salomão", "Telma"};
    static const char* const surname[] = {
        "Silva", "Santos", "Oliveira", "Souza", "Rodrigues", "Ferreira", "Alves", "Pereira", "Lima", "Gomes",
        "Ribeiro", "Carvalho", "Araújo", "Gonçalves", "Almeida", "Lopes", "Soares", "Fernandes", "Vieira", "Barbosa",
        "Rocha", "Dias", "Nascimento", "Andrade", "Moreira", "Nunes", "Marques", "Machado", "Mendes", "Freitas",
        "Cardoso", "Ramos", "Simões", "Magalhães", "Guimarães", "Brandão", "Falcão", "Assunção", "Conceição", "Peçanha",
        "Sá", "Lôbo", "Müller", "Teixeira", "Corrêa", "Antunes", "Patrício", "Brito", "Cunha", "Campos", "Monteiro",
        "Mendonça", "Figueiredo", "Queiroz", "Pacheco", "Bezerra", "Cavalcânti", "Galvão", "Aragão", "Beltrão",
        "Damásio", "Estrela", "Fontes", "Garcês", "Holanda", "Imperial", "Jardim", "Leitão", "Macêdo", "Nóbrega",
        "Paixão", "Quaresma", "Resende", "Sampaio", "Tavares", "Uchôa", "Valadão", "Xavier", "Zanetti", "Ávila",
        "Éboli", "Ourives", "Índio", "Úbeda", "Bastião", "Calçada", "Dantas", "Espíndola", "Frazão", "Gusmão",
        "Horácio", "Ipiranga", "Jatobá", "Lacerda", "Melo", "Neves", "Pimentel", "Rebouças", "Severo", "Toledo"};
    static const char* const particle[] = {"", "", "", "", "da ", "de ", "dos ", "das "};
    uint64_t h = static_cast<uint64_t>(k) * 0x9E3779B97F4A7C15ull + 0x2026;
    auto draw = [&](std::size_t n) {
        h ^= h >> 29;
        h *= 0xBF58476D1CE4E5B9ull;
        h ^= h >> 32;
        return static_cast<std::size_t>(h % n);
    };
    for (;;) {
        std::string name = first[draw(std::size(first))];
        if (draw(5) == 0) name += std::string(" ") + first[draw(std::size(first))];
        name += std::string(" ") + particle[draw(std::size(particle))] + surname[draw(std::size(surname))];
        name += std::string(" ") + surname[draw(std::size(surname))];
        std::size_t chars = 0;
        for (unsigned char c : name) chars += (c & 0xC0) != 0x80 ? 1 : 0;
        if (chars >= 12 && chars <= 45) return name;
    }
}

std::string ClientName(int k) {
    if (kShape == Shape::Varied || kShape == Shape::Walks || kShape == Shape::Prefixes || kShape == Shape::Links ||
        kShape == Shape::Sorts)
        return VariedName(k);
    char c[40];
    std::snprintf(c, sizeof c, ClientValues() == kClients ? "Cliente %04d Ltda" : "Cliente %07d Ltda", k);
    return c;
}
constexpr double kValueFilter = 4000;

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
        std::uniform_int_distribution<int> client(0, ClientValues() - 1), product(0, 499), cents(100, 500000),
            day(0, 3650);
        std::vector<Row> r;
        r.reserve(kRows);
        for (int i = 0; i < kRows; ++i) {
            char p[40];
            std::snprintf(p, sizeof p, "Produto %03d", product(rng));
            r.push_back(Row{i + 1, ClientName(client(rng)), p, cents(rng) / 100.0, 42000.0 + day(rng)});
        }
        return r;
    }();
    return rows;
}

// The rows to locate, drawn once. The values sought are copied out of the
// rows before any timing, in the order they are sought: a locate is timed,
// not a read of the benchmark's own rows (a cache miss at every size, which
// both sides would pay alike).
std::vector<int> LocateRows() {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(0, kRows - 1);
    std::vector<int> rows(kLocates);
    for (int& k : rows) k = pick(rng);
    return rows;
}

std::vector<int> LocateIds() {
    std::vector<int> ids;
    ids.reserve(kLocates);
    for (int k : LocateRows()) ids.push_back(Rows()[static_cast<std::size_t>(k)].id);
    return ids;
}

std::vector<std::string> LocateClients() {
    std::vector<std::string> names;
    names.reserve(kLocates);
    for (int k : LocateRows()) names.push_back(Rows()[static_cast<std::size_t>(k)].client);
    return names;
}

// The changes, drawn once: new rows to append, rows to edit (by key, with
// a new client name and value), rows to delete (by key, each once).
struct Changes {
    std::vector<Row> appended;
    std::vector<std::pair<int, Row>> edits;  // key, new values
    std::vector<int> deleted;
};

const Changes& TheChanges() {
    static const Changes c = [] {
        std::mt19937 rng(58);
        std::uniform_int_distribution<int> client(0, ClientValues() - 1), cents(100, 500000), pick(0, kRows - 1);
        Changes r;
        for (int i = 0; i < kChanges; ++i)
            r.appended.push_back(Row{kRows + 1 + i, ClientName(client(rng)), "Produto 001", cents(rng) / 100.0, 42000});
        for (int i = 0; i < kChanges + kLocates / kChangeEvery; ++i)
            r.edits.push_back({pick(rng) + 1, Row{0, ClientName(client(rng)), "", cents(rng) / 100.0, 0}});
        std::vector<int> all(static_cast<std::size_t>(kRows));
        for (int i = 0; i < kRows; ++i) all[static_cast<std::size_t>(i)] = i + 1;
        std::shuffle(all.begin(), all.end(), rng);
        r.deleted.assign(all.begin(), all.begin() + std::min(kChanges, kRows));
        return r;
    }();
    return c;
}

int ExpectedValueRows() {
    int n = 0;
    for (const Row& r : Rows()) n += r.value > kValueFilter ? 1 : 0;
    return n;
}

// The name of the text filter: one the rows hold.
const std::string& ClientFilter() {
    static const std::string name = ClientName(123);
    return name;
}

int ExpectedClientRows() {
    int n = 0;
    for (const Row& r : Rows()) n += r.client == ClientFilter() ? 1 : 0;
    return n;
}

// --- memory table

std::unique_ptr<TmtMemTable> NewTable() {
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->FieldDefs()->Add("Id", ftInteger);
    t->FieldDefs()->Add("Cliente", ftString, 50);
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
    const auto ids = LocateIds();
    for (auto _ : state) {
        int found = 0;
        for (int id : ids) found += t->Locate("Id", id, {}) ? 1 : 0;
        if (found != kLocates) throw std::runtime_error("locate by key missed");
    }
}

// The 10,000 locates by client name, in whatever index is current.
void LocateEveryName(benchmark::State& state, TmtMemTable& t, bool blind = false) {
    const auto names = LocateClients();
    const TLocateOptions options = blind ? TLocateOptions{loCaseInsensitive} : TLocateOptions{};
    for (auto _ : state) {
        int found = 0;
        for (const std::string& name : names) found += t.Locate("Cliente", name, options) ? 1 : 0;
        if (found != kLocates) throw std::runtime_error("locate by name missed");
    }
}

void MemLocateName(benchmark::State& state) {
    auto t = FilledTable(true);
    LocateEveryName(state, *t);
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

// A sort, then a walk over every row in its order, reading a field of each:
// a listing, whose rows come from wherever the records lie.
void MemSortWalk(benchmark::State& state) {
    auto t = FilledTable(false);
    TField* id = t->FieldByName("Id");
    for (auto _ : state) {
        t->SortOn("Cliente;Valor", {});
        long long sum = 0;
        int n = 0;
        for (t->First(); !t->Eof(); t->Next()) {
            sum += id->AsInteger();
            ++n;
        }
        benchmark::DoNotOptimize(sum);
        if (n != kRows) throw std::runtime_error("sort walk: " + std::to_string(n) + " rows");
        state.PauseTiming();
        t->SetIndexFieldNames("");
        t->DeleteIndex("__MT__SORT");
        state.ResumeTiming();
    }
}

// A sort, then one locate of a client name in its order: what a grid shows
// when the clerk sorts and then types a name.
void MemSortLocateOn(benchmark::State& state, const char* fields) {
    auto t = FilledTable(false);
    const auto names = LocateClients();
    std::size_t k = 0;
    for (auto _ : state) {
        t->SortOn(fields, {});
        if (!t->Locate("Cliente", names[k++ % names.size()], {})) throw std::runtime_error("sort locate missed");
        state.PauseTiming();
        t->SetIndexFieldNames("");
        t->DeleteIndex("__MT__SORT");
        state.ResumeTiming();
    }
}
void MemSortLocate(benchmark::State& state) { MemSortLocateOn(state, "Cliente;Valor"); }
void MemSortOneLocate(benchmark::State& state) { MemSortLocateOn(state, "Cliente"); }

// A walk over the rows a filter lets through, reading a field of each.
void MemFilteredWalk(benchmark::State& state, const std::string& filter, int expected) {
    auto t = FilledTable(false);
    t->SetFilter(filter);
    t->SetFiltered(true);
    TField* id = t->FieldByName("Id");
    for (auto _ : state) {
        int n = 0;
        long long sum = 0;
        for (t->First(); !t->Eof(); t->Next()) {
            sum += id->AsInteger();
            ++n;
        }
        benchmark::DoNotOptimize(sum);
        if (n != expected) throw std::runtime_error("filtered walk: " + std::to_string(n) + " rows");
    }
}

void MemFilterNumber(benchmark::State& state) {
    MemFilteredWalk(state, "Valor > " + std::to_string(static_cast<int>(kValueFilter)), ExpectedValueRows());
}

void MemFilterText(benchmark::State& state) {
    MemFilteredWalk(state, "Cliente = '" + ClientFilter() + "'", ExpectedClientRows());
}

// A table indexed on the key and on the client name, as the changes find it.
std::unique_ptr<TmtMemTable> ChangingTable() { return FilledTable(true); }

void AppendRow(TmtMemTable* t, const Row& r) {
    t->Append();
    t->FieldByName("Id")->SetAsInteger(r.id);
    t->FieldByName("Cliente")->SetAsString(r.client);
    t->FieldByName("Produto")->SetAsString(r.product);
    t->FieldByName("Valor")->SetAsFloat(r.value);
    t->FieldByName("Data")->SetAsDateTime(r.date);
    t->Post();
}

void EditRow(TmtMemTable* t, int id, const Row& values) {
    if (!t->Locate("Id", id, {})) throw std::runtime_error("edit: key missed");
    t->Edit();
    t->FieldByName("Cliente")->SetAsString(values.client);
    t->FieldByName("Valor")->SetAsFloat(values.value);
    t->Post();
}

void MemChangeAppend(benchmark::State& state) {
    auto t = ChangingTable();
    for (auto _ : state) {
        for (const Row& r : TheChanges().appended) AppendRow(t.get(), r);
        state.PauseTiming();
        for (const Row& r : TheChanges().appended) {
            if (!t->Locate("Id", r.id, {})) throw std::runtime_error("append missed");
            t->Delete();
        }
        state.ResumeTiming();
    }
}

void MemChangeEdit(benchmark::State& state) {
    auto t = ChangingTable();
    const auto& edits = TheChanges().edits;
    for (auto _ : state) {
        for (int i = 0; i < kChanges; ++i) EditRow(t.get(), edits[static_cast<std::size_t>(i)].first,
                                                   edits[static_cast<std::size_t>(i)].second);
    }
}

void MemChangeDelete(benchmark::State& state) {
    auto t = ChangingTable();
    for (auto _ : state) {
        for (int id : TheChanges().deleted) {
            if (!t->Locate("Id", id, {})) throw std::runtime_error("delete: key missed");
            t->Delete();
        }
        state.PauseTiming();
        for (int id : TheChanges().deleted) AppendRow(t.get(), Rows()[static_cast<std::size_t>(id) - 1]);
        state.ResumeTiming();
    }
}

void MemChangeMixed(benchmark::State& state) {
    auto t = ChangingTable();
    const auto names = LocateClients();
    const auto& edits = TheChanges().edits;
    for (auto _ : state) {
        int found = 0;
        for (int i = 0; i < kLocates; ++i) {
            found += t->Locate("Cliente", names[static_cast<std::size_t>(i)], {}) ? 1 : 0;
            if (i % kChangeEvery == kChangeEvery - 1) {
                const auto& e = edits[static_cast<std::size_t>(kChanges + i / kChangeEvery)];
                EditRow(t.get(), e.first, e.second);
            }
        }
        benchmark::DoNotOptimize(found);
    }
}

// The mixed runs of varied: the rows appended after every 10th locate, with
// keys past the table's and names some rows hold already; the rows deleted,
// each once.
const std::vector<Row>& MixedAppends() {
    static const std::vector<Row> rows = [] {
        std::mt19937 rng(59);
        std::uniform_int_distribution<int> client(0, ClientValues() - 1), cents(100, 500000);
        std::vector<Row> r;
        for (int i = 0; i < kLocates / kChangeEvery; ++i)
            r.push_back(Row{2 * kRows + 1 + i, ClientName(client(rng)), "Produto 002", cents(rng) / 100.0, 42001});
        return r;
    }();
    return rows;
}

const std::vector<int>& MixedDeletes() {
    static const std::vector<int> ids = [] {
        std::vector<int> all(static_cast<std::size_t>(kRows));
        for (int i = 0; i < kRows; ++i) all[static_cast<std::size_t>(i)] = i + 1;
        std::shuffle(all.begin(), all.end(), std::mt19937(60));
        all.resize(std::min<std::size_t>(all.size(), kLocates / kChangeEvery));
        return all;
    }();
    return ids;
}

void MemDeleteById(TmtMemTable* t, int id) {
    if (!t->Locate("Id", id, {})) throw std::runtime_error("delete: key missed");
    t->Delete();
}

void MemMixed(benchmark::State& state, bool appends) {
    auto t = ChangingTable();
    const auto names = LocateClients();
    const auto& added = MixedAppends();
    const auto& deleted = MixedDeletes();
    // What the rounds undo, done once before the first.
    auto undo = [&] {
        if (appends) {
            for (const Row& r : added) MemDeleteById(t.get(), r.id);
        } else {
            for (int id : deleted) AppendRow(t.get(), Rows()[static_cast<std::size_t>(id) - 1]);
        }
    };
    if (appends) {
        for (const Row& r : added) AppendRow(t.get(), r);
    } else {
        for (int id : deleted) MemDeleteById(t.get(), id);
    }
    undo();
    for (auto _ : state) {
        int found = 0;
        for (int i = 0; i < kLocates; ++i) {
            found += t->Locate("Cliente", names[static_cast<std::size_t>(i)], {}) ? 1 : 0;
            if (i % kChangeEvery == kChangeEvery - 1) {
                const std::size_t k = static_cast<std::size_t>(i / kChangeEvery);
                if (appends)
                    AppendRow(t.get(), added[k]);
                else
                    MemDeleteById(t.get(), deleted[k]);
            }
        }
        benchmark::DoNotOptimize(found);
        state.PauseTiming();
        undo();
        state.ResumeTiming();
    }
}

// Locates between changes that come about once every rows / 1,024 locates:
// an index that rebuilds its search aids after so many quiet searches sees
// each change throw the rebuild away. Each change edits a row's client name
// (a row found by key).
int SparseChangeEvery() { return std::max(1, kRows / 1024); }

void MemMixedSparse(benchmark::State& state) {
    auto t = ChangingTable();
    const auto names = LocateClients();
    const auto& edits = TheChanges().edits;
    const int every = SparseChangeEvery();
    std::size_t edit = 0;
    for (auto _ : state) {
        int found = 0;
        for (int i = 0; i < kLocates; ++i) {
            found += t->Locate("Cliente", names[static_cast<std::size_t>(i)], {}) ? 1 : 0;
            if (i % every == every - 1) {
                const auto& e = edits[edit++ % edits.size()];
                EditRow(t.get(), e.first, e.second);
            }
        }
        benchmark::DoNotOptimize(found);
    }
}

// 2,000 text locates right after 2,000 edits (not timed): the searches that
// follow a bulk change.
void MemLocateAfterEdits(benchmark::State& state) {
    auto t = ChangingTable();
    const auto names = LocateClients();
    const auto& edits = TheChanges().edits;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < kChanges; ++i)
            EditRow(t.get(), edits[static_cast<std::size_t>(i)].first, edits[static_cast<std::size_t>(i)].second);
        state.ResumeTiming();
        int found = 0;
        for (int i = 0; i < kChanges; ++i) found += t->Locate("Cliente", names[static_cast<std::size_t>(i)], {}) ? 1 : 0;
        benchmark::DoNotOptimize(found);
    }
}

void MemMixedAppend(benchmark::State& state) { MemMixed(state, true); }
void MemMixedDelete(benchmark::State& state) { MemMixed(state, false); }

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

void SqlInsertRow(sqlite3_stmt* s, const Row& r) {
    sqlite3_bind_int(s, 1, r.id);
    sqlite3_bind_text(s, 2, r.client.c_str(), static_cast<int>(r.client.size()), SQLITE_STATIC);
    sqlite3_bind_text(s, 3, r.product.c_str(), static_cast<int>(r.product.size()), SQLITE_STATIC);
    sqlite3_bind_double(s, 4, r.value);
    sqlite3_bind_double(s, 5, r.date);
    if (sqlite3_step(s) != SQLITE_DONE) throw std::runtime_error("insert");
    sqlite3_reset(s);
}

void SqlFill(Db& d) {
    d.Exec("BEGIN");
    sqlite3_stmt* s = d.Prepare("INSERT INTO t (id, cliente, produto, valor, data) VALUES (?, ?, ?, ?, ?)");
    for (const Row& r : Rows()) SqlInsertRow(s, r);
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
    const auto ids = LocateIds();
    sqlite3_stmt* s = d.Prepare("SELECT id, cliente, produto, valor, data FROM t WHERE id = ?");
    for (auto _ : state) {
        int found = 0;
        for (int id : ids) {
            sqlite3_bind_int(s, 1, id);
            if (sqlite3_step(s) == SQLITE_ROW) ++found;
            sqlite3_reset(s);
        }
        if (found != kLocates) throw std::runtime_error("sqlite key missed");
    }
    sqlite3_finalize(s);
}

// The first matching row in row order, as Locate finds it; with Last the
// last one, the first of a descending index.
// Each locate of the bench's names through one index and one statement that
// answers a name with one row.
void SqlLocateNamesBy(benchmark::State& state, const char* IndexDdl, const char* Query) {
    Db d;
    SqlFill(d);
    d.Exec(IndexDdl);
    const auto names = LocateClients();
    sqlite3_stmt* s = d.Prepare(Query);
    for (auto _ : state) {
        int found = 0;
        for (const std::string& c : names) {
            sqlite3_bind_text(s, 1, c.c_str(), static_cast<int>(c.size()), SQLITE_STATIC);
            if (sqlite3_step(s) == SQLITE_ROW) ++found;
            sqlite3_reset(s);
        }
        if (found != kLocates) throw std::runtime_error("sqlite name missed");
    }
    sqlite3_finalize(s);
}
void SqlLocateNameEnd(benchmark::State& state, bool Last) {
    SqlLocateNamesBy(state, "CREATE INDEX by_cliente ON t (cliente)",
                     Last ? "SELECT id, cliente, produto, valor, data FROM t WHERE id = "
                            "(SELECT max(id) FROM t WHERE cliente = ?)"
                          : "SELECT id, cliente, produto, valor, data FROM t WHERE id = "
                            "(SELECT min(id) FROM t WHERE cliente = ?)");
}
void SqlLocateName(benchmark::State& state) { SqlLocateNameEnd(state, false); }
// Case-blind: the lowest id of the name in any case through an index of the
// name that ignores case (COLLATE NOCASE).
void SqlLocateNameNoCase(benchmark::State& state) {
    SqlLocateNamesBy(state, "CREATE INDEX by_cliente_nocase ON t (cliente COLLATE NOCASE)",
                     "SELECT id, cliente, produto, valor, data FROM t WHERE id = "
                     "(SELECT min(id) FROM t WHERE cliente = ? COLLATE NOCASE)");
}
void SqlLocateNameLast(benchmark::State& state) { SqlLocateNameEnd(state, true); }

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

// The sorted order kept (an index on both fields), then the first row of a
// client name in it.
void SqlSortLocateOn(benchmark::State& state, bool two) {
    Db d;
    SqlFill(d);
    const auto names = LocateClients();
    std::size_t k = 0;
    for (auto _ : state) {
        d.Exec(two ? "CREATE INDEX by_cliente_valor ON t (cliente, valor)" : "CREATE INDEX by_cliente_valor ON t (cliente)");
        sqlite3_stmt* s = d.Prepare(two ? "SELECT id FROM t WHERE cliente = ? ORDER BY cliente, valor LIMIT 1"
                                        : "SELECT id FROM t WHERE cliente = ? ORDER BY cliente LIMIT 1");
        const std::string& c = names[k++ % names.size()];
        sqlite3_bind_text(s, 1, c.c_str(), static_cast<int>(c.size()), SQLITE_STATIC);
        if (sqlite3_step(s) != SQLITE_ROW) throw std::runtime_error("sqlite sort locate missed");
        sqlite3_finalize(s);
        state.PauseTiming();
        d.Exec("DROP INDEX by_cliente_valor");
        state.ResumeTiming();
    }
}
void SqlSortLocate(benchmark::State& state) { SqlSortLocateOn(state, true); }
void SqlSortOneLocate(benchmark::State& state) { SqlSortLocateOn(state, false); }

void SqlFilteredWalk(benchmark::State& state, const char* sql, const std::function<void(sqlite3_stmt*)>& bind,
                     int expected) {
    Db d;
    SqlFill(d);
    sqlite3_stmt* s = d.Prepare(sql);
    for (auto _ : state) {
        bind(s);
        int n = 0;
        long long sum = 0;
        while (sqlite3_step(s) == SQLITE_ROW) {
            sum += sqlite3_column_int(s, 0);
            ++n;
        }
        sqlite3_reset(s);
        benchmark::DoNotOptimize(sum);
        if (n != expected) throw std::runtime_error("sqlite filtered walk");
    }
    sqlite3_finalize(s);
}

// Sorting every row, then reading each, as a walk in an index's order does.
void SqlSortWalk(benchmark::State& state) {
    SqlFilteredWalk(state, "SELECT id FROM t ORDER BY cliente, valor", [](sqlite3_stmt*) {}, kRows);
}

void SqlFilterNumber(benchmark::State& state) {
    SqlFilteredWalk(
        state, "SELECT id FROM t WHERE valor > ?", [](sqlite3_stmt* s) { sqlite3_bind_double(s, 1, kValueFilter); },
        ExpectedValueRows());
}

void SqlFilterText(benchmark::State& state) {
    SqlFilteredWalk(
        state, "SELECT id FROM t WHERE cliente = ?",
        [](sqlite3_stmt* s) { sqlite3_bind_text(s, 1, ClientFilter().c_str(), -1, SQLITE_STATIC); }, ExpectedClientRows());
}

void SqlChanging(Db& d) {
    SqlFill(d);
    d.Exec("CREATE INDEX by_cliente ON t (cliente)");
}

void SqlEditRow(sqlite3_stmt* s, int id, const Row& values) {
    sqlite3_bind_text(s, 1, values.client.c_str(), static_cast<int>(values.client.size()), SQLITE_STATIC);
    sqlite3_bind_double(s, 2, values.value);
    sqlite3_bind_int(s, 3, id);
    if (sqlite3_step(s) != SQLITE_DONE) throw std::runtime_error("update");
    sqlite3_reset(s);
}

// The statements that add and remove one row, on a table ready for changes.
struct SqlRowStatements {
    Db d;
    sqlite3_stmt* ins;
    sqlite3_stmt* del;
    SqlRowStatements() {
        SqlChanging(d);
        ins = d.Prepare("INSERT INTO t (id, cliente, produto, valor, data) VALUES (?, ?, ?, ?, ?)");
        del = d.Prepare("DELETE FROM t WHERE id = ?");
    }
    ~SqlRowStatements() {
        sqlite3_finalize(ins);
        sqlite3_finalize(del);
    }
    void Delete(int id) {
        sqlite3_bind_int(del, 1, id);
        if (sqlite3_step(del) != SQLITE_DONE) throw std::runtime_error("delete");
        sqlite3_reset(del);
    }
};

// Each change is a statement of its own, as each post is on our side.
void SqlChangeAppend(benchmark::State& state) {
    SqlRowStatements sql;
    for (auto _ : state) {
        for (const Row& r : TheChanges().appended) SqlInsertRow(sql.ins, r);
        state.PauseTiming();
        for (const Row& r : TheChanges().appended) sql.Delete(r.id);
        state.ResumeTiming();
    }
}

void SqlChangeEdit(benchmark::State& state) {
    Db d;
    SqlChanging(d);
    sqlite3_stmt* s = d.Prepare("UPDATE t SET cliente = ?, valor = ? WHERE id = ?");
    const auto& edits = TheChanges().edits;
    for (auto _ : state)
        for (int i = 0; i < kChanges; ++i)
            SqlEditRow(s, edits[static_cast<std::size_t>(i)].first, edits[static_cast<std::size_t>(i)].second);
    sqlite3_finalize(s);
}

void SqlChangeDelete(benchmark::State& state) {
    SqlRowStatements sql;
    for (auto _ : state) {
        for (int id : TheChanges().deleted) sql.Delete(id);
        state.PauseTiming();
        for (int id : TheChanges().deleted) SqlInsertRow(sql.ins, Rows()[static_cast<std::size_t>(id) - 1]);
        state.ResumeTiming();
    }
}

// The changing table in SQLite with the locate by client name and the edit
// of a row the edit steps use.
struct SqlEditing {
    Db d;
    std::vector<std::string> names = LocateClients();
    const decltype(Changes::edits)& edits = TheChanges().edits;
    sqlite3_stmt* locate = nullptr;
    sqlite3_stmt* update = nullptr;
    SqlEditing() {
        SqlChanging(d);
        locate = d.Prepare(
            "SELECT id, cliente, produto, valor, data FROM t WHERE id = (SELECT min(id) FROM t WHERE cliente = ?)");
        update = d.Prepare("UPDATE t SET cliente = ?, valor = ? WHERE id = ?");
    }
    ~SqlEditing() {
        sqlite3_finalize(locate);
        sqlite3_finalize(update);
    }
};

// Text locates with an edit after every Every of them; EditAt picks the
// edit made after the k-th run of locates.
template <class Pick>
void SqlLocatesWithEdits(benchmark::State& state, int Every, Pick EditAt) {
    SqlEditing sql;
    const auto& names = sql.names;
    const auto& edits = sql.edits;
    sqlite3_stmt* s = sql.locate;
    sqlite3_stmt* upd = sql.update;
    std::size_t runs = 0;
    for (auto _ : state) {
        int found = 0;
        for (int i = 0; i < kLocates; ++i) {
            const std::string& c = names[static_cast<std::size_t>(i)];
            sqlite3_bind_text(s, 1, c.c_str(), static_cast<int>(c.size()), SQLITE_STATIC);
            if (sqlite3_step(s) == SQLITE_ROW) ++found;
            sqlite3_reset(s);
            if (i % Every == Every - 1) {
                const auto& e = edits[EditAt(runs++, edits.size())];
                SqlEditRow(upd, e.first, e.second);
            }
        }
        benchmark::DoNotOptimize(found);
    }
}

void SqlChangeMixed(benchmark::State& state) {
    // The same edits in every repetition, after those the change cases make.
    const std::size_t perRepetition = static_cast<std::size_t>(kLocates / kChangeEvery);
    SqlLocatesWithEdits(state, kChangeEvery, [perRepetition](std::size_t k, std::size_t) {
        return static_cast<std::size_t>(kChanges) + k % perRepetition;
    });
}

void SqlMixed(benchmark::State& state, bool appends) {
    SqlRowStatements sql;
    const auto names = LocateClients();
    const auto& added = MixedAppends();
    const auto& deleted = MixedDeletes();
    sqlite3_stmt* s = sql.d.Prepare(
        "SELECT id, cliente, produto, valor, data FROM t WHERE id = (SELECT min(id) FROM t WHERE cliente = ?)");
    auto undo = [&] {
        if (appends) {
            for (const Row& r : added) sql.Delete(r.id);
        } else {
            for (int id : deleted) SqlInsertRow(sql.ins, Rows()[static_cast<std::size_t>(id) - 1]);
        }
    };
    if (appends) {
        for (const Row& r : added) SqlInsertRow(sql.ins, r);
    } else {
        for (int id : deleted) sql.Delete(id);
    }
    undo();
    for (auto _ : state) {
        int found = 0;
        for (int i = 0; i < kLocates; ++i) {
            const std::string& c = names[static_cast<std::size_t>(i)];
            sqlite3_bind_text(s, 1, c.c_str(), static_cast<int>(c.size()), SQLITE_STATIC);
            if (sqlite3_step(s) == SQLITE_ROW) ++found;
            sqlite3_reset(s);
            if (i % kChangeEvery == kChangeEvery - 1) {
                const std::size_t k = static_cast<std::size_t>(i / kChangeEvery);
                if (appends)
                    SqlInsertRow(sql.ins, added[k]);
                else
                    sql.Delete(deleted[k]);
            }
        }
        benchmark::DoNotOptimize(found);
        state.PauseTiming();
        undo();
        state.ResumeTiming();
    }
    sqlite3_finalize(s);
}

void SqlMixedSparse(benchmark::State& state) {
    SqlLocatesWithEdits(state, SparseChangeEvery(), [](std::size_t k, std::size_t n) { return k % n; });
}

void SqlLocateAfterEdits(benchmark::State& state) {
    SqlEditing sql;
    const auto& names = sql.names;
    const auto& edits = sql.edits;
    sqlite3_stmt* s = sql.locate;
    sqlite3_stmt* upd = sql.update;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < kChanges; ++i)
            SqlEditRow(upd, edits[static_cast<std::size_t>(i)].first, edits[static_cast<std::size_t>(i)].second);
        state.ResumeTiming();
        int found = 0;
        for (int i = 0; i < kChanges; ++i) {
            const std::string& c = names[static_cast<std::size_t>(i)];
            sqlite3_bind_text(s, 1, c.c_str(), static_cast<int>(c.size()), SQLITE_STATIC);
            if (sqlite3_step(s) == SQLITE_ROW) ++found;
            sqlite3_reset(s);
        }
        benchmark::DoNotOptimize(found);
    }
}

void SqlMixedAppend(benchmark::State& state) { SqlMixed(state, true); }
void SqlMixedDelete(benchmark::State& state) { SqlMixed(state, false); }

// --- bytes per row, as the allocator counts them

struct WideRow {
    int id;
    std::string text;  // 40 characters
    double value;
    double date;
};

const std::vector<WideRow>& WideRows() {
    static const std::vector<WideRow> rows = [] {
        std::mt19937 rng(40);
        std::uniform_int_distribution<int> cents(100, 500000), day(0, 3650);
        std::vector<WideRow> r;
        r.reserve(kRows);
        for (int i = 0; i < kRows; ++i) {
            char t[64];
            std::snprintf(t, sizeof t, "Cliente %06d Comercio de Produtos Ltda", static_cast<int>(rng() % 1000000));
            std::string text(t);
            text.resize(40, '.');
            r.push_back(WideRow{i + 1, text, cents(rng) / 100.0, 42000.0 + day(rng)});
        }
        return r;
    }();
    return rows;
}

std::size_t HeapInUse() {
    struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

struct RowBytes {
    double plain = 0, indexed = 0;
};

RowBytes MemRowBytes() {
    WideRows();
    const std::size_t before = HeapInUse();
    RowBytes r;
    {
        auto t = std::make_unique<TmtMemTable>(nullptr);
        t->FieldDefs()->Add("Id", ftInteger);
        t->FieldDefs()->Add("Texto", ftString, 40);
        t->FieldDefs()->Add("Valor", ftFloat);
        t->FieldDefs()->Add("Data", ftDate);
        t->Open();
        TField* id = t->FieldByName("Id");
        TField* text = t->FieldByName("Texto");
        TField* value = t->FieldByName("Valor");
        TField* date = t->FieldByName("Data");
        for (const WideRow& w : WideRows()) {
            t->Append();
            id->SetAsInteger(w.id);
            text->SetAsString(w.text);
            value->SetAsFloat(w.value);
            date->SetAsDateTime(w.date);
            t->Post();
        }
        r.plain = static_cast<double>(HeapInUse() - before) / kRows;
        t->AddIndex("ByTexto", "Texto", {});
        r.indexed = static_cast<double>(HeapInUse() - before) / kRows;
    }
    return r;
}

RowBytes SqlRowBytes() {
    WideRows();
    const std::size_t before = HeapInUse();
    RowBytes r;
    {
        sqlite3* db = nullptr;
        if (sqlite3_open(":memory:", &db) != SQLITE_OK) throw std::runtime_error("sqlite open");
        auto exec = [&](const char* sql) {
            if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db));
        };
        exec("CREATE TABLE w (id INTEGER PRIMARY KEY, texto TEXT, valor REAL, data REAL)");
        exec("BEGIN");
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO w VALUES (?, ?, ?, ?)", -1, &s, nullptr);
        for (const WideRow& w : WideRows()) {
            sqlite3_bind_int(s, 1, w.id);
            sqlite3_bind_text(s, 2, w.text.c_str(), static_cast<int>(w.text.size()), SQLITE_STATIC);
            sqlite3_bind_double(s, 3, w.value);
            sqlite3_bind_double(s, 4, w.date);
            if (sqlite3_step(s) != SQLITE_DONE) throw std::runtime_error("insert");
            sqlite3_reset(s);
        }
        sqlite3_finalize(s);
        exec("COMMIT");
        r.plain = static_cast<double>(HeapInUse() - before) / kRows;
        exec("CREATE INDEX w_texto ON w (texto)");
        r.indexed = static_cast<double>(HeapInUse() - before) / kRows;
        sqlite3_close(db);
    }
    return r;
}

// --- walks: master/detail, partial keys, record count

constexpr int kMasterMoves = 1000;
constexpr int kPartialLocates = 1000;
constexpr int kCounts = 100;
constexpr int kDetailsPerMaster = 10;

int Masters() { return std::max(1, kRows / kDetailsPerMaster); }
// The master of a detail row: spread over the table, not in runs.
int MasterOf(int id) { return static_cast<int>((static_cast<long long>(id) * 7919) % Masters()); }

// Master (Id) and detail (Id, Mestre, Valor) tables, the detail shown in an
// index on Mestre and linked to the master.
struct MemLink {
    std::unique_ptr<TmtMemTable> master, detail;
    std::unique_ptr<TDataSource> source;
    MemLink() {
        master = std::make_unique<TmtMemTable>(nullptr);
        master->FieldDefs()->Add("Id", ftInteger);
        master->Open();
        for (int m = 0; m < Masters(); ++m) {
            master->Append();
            master->FieldByName("Id")->SetAsInteger(m);
            master->Post();
        }
        detail = std::make_unique<TmtMemTable>(nullptr);
        detail->FieldDefs()->Add("Id", ftInteger);
        detail->FieldDefs()->Add("Mestre", ftInteger);
        detail->FieldDefs()->Add("Valor", ftFloat);
        detail->Open();
        for (const Row& r : Rows()) {
            detail->Append();
            detail->FieldByName("Id")->SetAsInteger(r.id);
            detail->FieldByName("Mestre")->SetAsInteger(MasterOf(r.id));
            detail->FieldByName("Valor")->SetAsFloat(r.value);
            detail->Post();
        }
        detail->AddIndex("PorMestre", "Mestre", {});
        detail->SetIndexName("PorMestre");
        source = std::make_unique<TDataSource>(nullptr);
        source->SetDataSet(master.get());
        detail->SetMasterFields("Id");
        detail->SetMasterSource(source.get());
        master->First();
    }
    ~MemLink() { detail->SetMasterSource(nullptr); }
};

void MemMasterDetail(benchmark::State& state) {
    MemLink link;
    TField* value = link.detail->FieldByName("Valor");
    for (auto _ : state) {
        long long rows = 0;
        double sum = 0;
        for (int k = 0; k < kMasterMoves; ++k) {
            link.master->Next();
            if (link.master->Eof()) link.master->First();
            for (link.detail->First(); !link.detail->Eof(); link.detail->Next()) {
                sum += value->AsFloat();
                ++rows;
            }
        }
        if (rows < kMasterMoves) throw std::runtime_error("master/detail walk found too few");
        benchmark::DoNotOptimize(sum);
    }
}

// The prefixes typed, drawn once: the first one to six letters of a name
// the rows hold.
std::vector<std::string> Prefixes() {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> pick(0, kRows - 1);
    std::vector<std::string> r;
    for (int i = 0; i < kPartialLocates; ++i) {
        const std::string& name = Rows()[static_cast<std::size_t>(pick(rng))].client;
        std::size_t cut = 0;
        for (int chars = 0; cut < name.size() && chars < 1 + i % 6; ++chars) {
            ++cut;
            while (cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) ++cut;
        }
        r.push_back(name.substr(0, cut));
    }
    return r;
}

void MemPartial(benchmark::State& state, bool indexCurrent, bool again = false) {
    auto t = FilledTable(true);
    if (indexCurrent) t->SetIndexName("ByCliente");
    const auto prefixes = Prefixes();
    if (again)
        for (const std::string& p : prefixes) t->Locate("Cliente", p, {loPartialKey});
    for (auto _ : state) {
        int found = 0;
        for (const std::string& p : prefixes) found += t->Locate("Cliente", p, {loPartialKey}) ? 1 : 0;
        if (found != kPartialLocates) throw std::runtime_error("partial locate missed");
    }
}
void MemPartialRowOrder(benchmark::State& state) { MemPartial(state, false); }
void MemPartialIndex(benchmark::State& state) { MemPartial(state, true); }
void MemPartialIndexAgain(benchmark::State& state) { MemPartial(state, true, true); }

void MemCountVersioned(benchmark::State& state) {
    auto t = NewTable();
    t->SetEnableVersioning(true);
    Fill(t.get());
    t->First();
    t->Delete();
    for (auto _ : state) {
        long long n = 0;
        for (int k = 0; k < kCounts; ++k) n += t->RecordCount();
        if (n != static_cast<long long>(kCounts) * (kRows - 1)) throw std::runtime_error("record count");
    }
}

void SqlMasterDetail(benchmark::State& state) {
    Db d;
    d.Exec("CREATE TABLE m (id INTEGER PRIMARY KEY)");
    d.Exec("CREATE TABLE det (id INTEGER PRIMARY KEY, mestre INTEGER, valor REAL)");
    d.Exec("BEGIN");
    sqlite3_stmt* im = d.Prepare("INSERT INTO m (id) VALUES (?)");
    for (int m = 0; m < Masters(); ++m) {
        sqlite3_bind_int(im, 1, m);
        if (sqlite3_step(im) != SQLITE_DONE) throw std::runtime_error("insert");
        sqlite3_reset(im);
    }
    sqlite3_finalize(im);
    sqlite3_stmt* id = d.Prepare("INSERT INTO det (id, mestre, valor) VALUES (?, ?, ?)");
    for (const Row& r : Rows()) {
        sqlite3_bind_int(id, 1, r.id);
        sqlite3_bind_int(id, 2, MasterOf(r.id));
        sqlite3_bind_double(id, 3, r.value);
        if (sqlite3_step(id) != SQLITE_DONE) throw std::runtime_error("insert");
        sqlite3_reset(id);
    }
    sqlite3_finalize(id);
    d.Exec("COMMIT");
    d.Exec("CREATE INDEX por_mestre ON det (mestre)");
    // A master cursor that moves row by row, and its details.
    sqlite3_stmt* next = d.Prepare("SELECT id FROM m WHERE id > ? ORDER BY id LIMIT 1");
    sqlite3_stmt* details = d.Prepare("SELECT id, mestre, valor FROM det WHERE mestre = ? ORDER BY mestre");
    int current = 0;
    for (auto _ : state) {
        long long rows = 0;
        double sum = 0;
        for (int k = 0; k < kMasterMoves; ++k) {
            sqlite3_bind_int(next, 1, current);
            current = sqlite3_step(next) == SQLITE_ROW ? sqlite3_column_int(next, 0) : 0;
            sqlite3_reset(next);
            sqlite3_bind_int(details, 1, current);
            while (sqlite3_step(details) == SQLITE_ROW) {
                sum += sqlite3_column_double(details, 2);
                ++rows;
            }
            sqlite3_reset(details);
        }
        if (rows < kMasterMoves) throw std::runtime_error("sqlite master/detail walk found too few");
        benchmark::DoNotOptimize(sum);
    }
    sqlite3_finalize(next);
    sqlite3_finalize(details);
}

void SqlPartial(benchmark::State& state, bool indexCurrent, bool again = false) {
    Db d;
    SqlFill(d);
    d.Exec("CREATE INDEX by_cliente ON t (cliente)");
    const auto prefixes = Prefixes();
    // The prefix's range of the index: from the prefix to the prefix with a
    // byte above every UTF-8 byte.
    sqlite3_stmt* s = d.Prepare(
        indexCurrent
            ? "SELECT id, cliente, produto, valor, data FROM t WHERE cliente >= ?1 AND cliente < ?2 "
              "ORDER BY cliente LIMIT 1"
            : "SELECT id, cliente, produto, valor, data FROM t WHERE id = "
              "(SELECT min(id) FROM t WHERE cliente >= ?1 AND cliente < ?2)");
    std::vector<std::string> ends;
    for (const std::string& p : prefixes) ends.push_back(p + "\xff");
    auto pass = [&] {
        int found = 0;
        for (std::size_t i = 0; i < prefixes.size(); ++i) {
            sqlite3_bind_text(s, 1, prefixes[i].c_str(), static_cast<int>(prefixes[i].size()), SQLITE_STATIC);
            sqlite3_bind_text(s, 2, ends[i].c_str(), static_cast<int>(ends[i].size()), SQLITE_STATIC);
            if (sqlite3_step(s) == SQLITE_ROW) ++found;
            sqlite3_reset(s);
        }
        return found;
    };
    if (again) pass();
    for (auto _ : state)
        if (pass() != kPartialLocates) throw std::runtime_error("sqlite prefix missed");
    sqlite3_finalize(s);
}
void SqlPartialRowOrder(benchmark::State& state) { SqlPartial(state, false); }
void SqlPartialIndex(benchmark::State& state) { SqlPartial(state, true); }
void SqlPartialIndexAgain(benchmark::State& state) { SqlPartial(state, true, true); }

void SqlCountVersioned(benchmark::State& state) {
    Db d;
    SqlFill(d);
    d.Exec("DELETE FROM t WHERE id = 1");
    sqlite3_stmt* s = d.Prepare("SELECT count(*) FROM t");
    for (auto _ : state) {
        long long n = 0;
        for (int k = 0; k < kCounts; ++k) {
            if (sqlite3_step(s) != SQLITE_ROW) throw std::runtime_error("count");
            n += sqlite3_column_int64(s, 0);
            sqlite3_reset(s);
        }
        if (n != static_cast<long long>(kCounts) * (kRows - 1)) throw std::runtime_error("sqlite count");
    }
    sqlite3_finalize(s);
}

// --- prefixes: short partial keys with the row order current, long ones
// with an index of the name current

// The first Least to Most characters of names the rows hold.
std::vector<std::string> PrefixesOf(int Least, int Most, unsigned Seed) {
    std::mt19937 rng(Seed);
    std::uniform_int_distribution<int> pick(0, kRows - 1);
    std::vector<std::string> r;
    for (int i = 0; i < kPartialLocates; ++i) {
        const std::string& name = Rows()[static_cast<std::size_t>(pick(rng))].client;
        std::size_t cut = 0;
        for (int chars = 0; cut < name.size() && chars < Least + i % (Most - Least + 1); ++chars) {
            ++cut;
            while (cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) ++cut;
        }
        r.push_back(name.substr(0, cut));
    }
    return r;
}

// Row order current; Index: 0 none on the name, 1 a plain one, 2 a
// case-blind one, present and not current.
void MemShortPrefix(benchmark::State& state, int Index) {
    auto t = NewTable();
    Fill(t.get());
    if (Index == 1) t->AddIndex("ByCliente", "Cliente", {});
    if (Index == 2) t->AddIndex("ByClienteCI", "Cliente", {ixCaseInsensitive});
    const auto prefixes = PrefixesOf(1, 3, 17);
    for (auto _ : state) {
        int found = 0;
        for (const std::string& p : prefixes) found += t->Locate("Cliente", p, {loPartialKey}) ? 1 : 0;
        if (found != kPartialLocates) throw std::runtime_error("short partial locate missed");
    }
}
void MemShortNoIndex(benchmark::State& state) { MemShortPrefix(state, 0); }
void MemShortIndex(benchmark::State& state) { MemShortPrefix(state, 1); }
void MemShortIndexCI(benchmark::State& state) { MemShortPrefix(state, 2); }

// Keys of 8 to 14 characters, the name's index current: plain or case-blind.
void MemLongPrefix(benchmark::State& state, bool CaseBlind) {
    auto t = NewTable();
    Fill(t.get());
    t->AddIndex("ByCliente", "Cliente", CaseBlind ? TIndexOptions{ixCaseInsensitive} : TIndexOptions{});
    t->SetIndexName("ByCliente");
    const auto prefixes = PrefixesOf(8, 14, 23);
    for (auto _ : state) {
        int found = 0;
        for (const std::string& p : prefixes) found += t->Locate("Cliente", p, {loPartialKey}) ? 1 : 0;
        if (found != kPartialLocates) throw std::runtime_error("long partial locate missed");
    }
}
void MemLongIndex(benchmark::State& state) { MemLongPrefix(state, false); }
void MemLongIndexCI(benchmark::State& state) { MemLongPrefix(state, true); }

// SQLite: an index on the name; the lowest id in the prefix's range (short
// keys, row order) or the first of the range in the index (long keys).
void SqlPrefixRange(benchmark::State& state, bool First, int Least, int Most, unsigned Seed) {
    Db d;
    SqlFill(d);
    d.Exec("CREATE INDEX by_cliente ON t (cliente)");
    const auto prefixes = PrefixesOf(Least, Most, Seed);
    sqlite3_stmt* s = d.Prepare(
        First ? "SELECT id, cliente, produto, valor, data FROM t WHERE cliente >= ?1 AND cliente < ?2 "
                "ORDER BY cliente LIMIT 1"
              : "SELECT id, cliente, produto, valor, data FROM t WHERE id = "
                "(SELECT min(id) FROM t WHERE cliente >= ?1 AND cliente < ?2)");
    std::vector<std::string> ends;
    for (const std::string& p : prefixes) ends.push_back(p + "\xff");
    for (auto _ : state) {
        int found = 0;
        for (std::size_t i = 0; i < prefixes.size(); ++i) {
            sqlite3_bind_text(s, 1, prefixes[i].c_str(), static_cast<int>(prefixes[i].size()), SQLITE_STATIC);
            sqlite3_bind_text(s, 2, ends[i].c_str(), static_cast<int>(ends[i].size()), SQLITE_STATIC);
            if (sqlite3_step(s) == SQLITE_ROW) ++found;
            sqlite3_reset(s);
        }
        if (found != kPartialLocates) throw std::runtime_error("sqlite prefix range missed");
    }
    sqlite3_finalize(s);
}
void SqlShortPrefix(benchmark::State& state) { SqlPrefixRange(state, false, 1, 3, 17); }
void SqlLongPrefix(benchmark::State& state) { SqlPrefixRange(state, true, 8, 14, 23); }

// --- links: master/detail through an index that is not current, locates on two fields

constexpr int kLinkMoves = 200;
constexpr int kTwoFieldLocates = 1000;

// The master's name of a text link: a person's name, one per master.
std::string LinkName(int master) { return VariedName(master * 7 + 3); }

enum class LinkOrder { RowOrder, Value, Link };

// Many details per master: as many masters as client names in repeated, so
// rows / 2,000 details each (50 at 100,000 rows, 500 at a million), appended
// together as the items of an order are.
int LinkMasters(bool many) { return many ? std::min(kClients, Masters()) : Masters(); }
// Spread: a master's details lie all over the table, every 2,000th row (a
// client's invoices arrive over months, not together).
int LinkMasterOf(int id, bool many, bool spread = false) {
    if (many && spread) return (id - 1) % LinkMasters(true);
    return many ? static_cast<int>(static_cast<long long>(id - 1) * LinkMasters(true) / kRows) : MasterOf(id);
}

// Master (Id, Nome) and detail (Id, Mestre, Nome, Valor), linked on Mestre
// or on Nome, the link's index defined and the detail shown in Order.
struct MemLinked {
    std::unique_ptr<TmtMemTable> master, detail;
    std::unique_ptr<TDataSource> source;
    MemLinked(bool text, LinkOrder order, bool many = false, bool spread = false) {
        const int masters = LinkMasters(many);
        master = std::make_unique<TmtMemTable>(nullptr);
        master->FieldDefs()->Add("Id", ftInteger);
        master->FieldDefs()->Add("Nome", ftString, 50);
        master->Open();
        for (int m = 0; m < masters; ++m) {
            master->Append();
            master->FieldByName("Id")->SetAsInteger(m);
            master->FieldByName("Nome")->SetAsString(LinkName(m));
            master->Post();
        }
        detail = std::make_unique<TmtMemTable>(nullptr);
        detail->FieldDefs()->Add("Id", ftInteger);
        detail->FieldDefs()->Add("Mestre", ftInteger);
        detail->FieldDefs()->Add("Nome", ftString, 50);
        detail->FieldDefs()->Add("Valor", ftFloat);
        detail->Open();
        for (const Row& r : Rows()) {
            detail->Append();
            detail->FieldByName("Id")->SetAsInteger(r.id);
            detail->FieldByName("Mestre")->SetAsInteger(LinkMasterOf(r.id, many, spread));
            detail->FieldByName("Nome")->SetAsString(LinkName(LinkMasterOf(r.id, many, spread)));
            detail->FieldByName("Valor")->SetAsFloat(r.value);
            detail->Post();
        }
        if (many) {
            // A register in use: a detail deleted and appended again, so that
            // row order and the order of the slots differ.
            detail->First();
            std::vector<std::pair<TField*, Variant>> values;
            for (int f = 0; f < detail->FieldCount(); ++f)
                values.emplace_back(detail->Fields()->Fields(f), detail->Fields()->Fields(f)->Value());
            detail->Delete();
            detail->Append();
            for (auto& [field, v] : values) field->SetValue(v);
            detail->Post();
        }
        detail->AddIndex("Link", text ? "Nome" : "Mestre", {});
        detail->AddIndex("PorValor", "Valor", {});
        if (order == LinkOrder::Value) detail->SetIndexName("PorValor");
        if (order == LinkOrder::Link) detail->SetIndexName("Link");
        source = std::make_unique<TDataSource>(nullptr);
        source->SetDataSet(master.get());
        detail->SetDetailFields(text ? "Nome" : "Mestre");
        detail->SetMasterFields(text ? "Nome" : "Id");
        detail->SetMasterSource(source.get());
        master->First();
    }
    ~MemLinked() { detail->SetMasterSource(nullptr); }
};

// With Edit, the value of the first detail shown is raised after each walk,
// as a clerk does while moving the master. With Move (and Count), the first
// detail goes to the next master before the count: an edit of the link.
// With Mixed (and Count), besides the edit of the link, the last detail
// shown is deleted and a detail of the master appended before the count.
void MemLinkWalk(benchmark::State& state, bool text, LinkOrder order, bool count, bool edit = false,
                 bool many = false, bool move = false, bool spread = false, bool mixed = false) {
    MemLinked link(text, order, many, spread);
    TField* detailId = link.detail->FieldByName("Id");
    int nextId = kRows + 1;
    TField* value = link.detail->FieldByName("Valor");
    TField* masterId = link.master->FieldByName("Id");
    TField* linked = link.detail->FieldByName("Mestre");
    const int masters = LinkMasters(many);
    for (auto _ : state) {
        long long rows = 0;
        double sum = 0;
        for (int k = 0; k < kLinkMoves; ++k) {
            link.master->Next();
            if (link.master->Eof()) link.master->First();
            if (move) {
                link.detail->First();
                if (!link.detail->Eof()) {
                    link.detail->Edit();
                    linked->SetAsInteger((masterId->AsInteger() + 1) % masters);
                    link.detail->Post();
                }
            }
            if (mixed) {
                link.detail->Last();
                if (!link.detail->Bof() && !link.detail->Eof()) link.detail->Delete();
                link.detail->Append();
                detailId->SetAsInteger(nextId++);
                value->SetAsFloat(nextId % 1000);
                link.detail->Post();
            }
            if (count) {
                rows += link.detail->RecordCount();
                continue;
            }
            for (link.detail->First(); !link.detail->Eof(); link.detail->Next()) {
                sum += value->AsFloat();
                ++rows;
            }
            if (edit) {
                link.detail->First();
                if (link.detail->Eof()) continue;
                link.detail->Edit();
                value->SetAsFloat(value->AsFloat() + 1);
                link.detail->Post();
            }
        }
        if (rows < kLinkMoves) throw std::runtime_error("linked walk found too few");
        benchmark::DoNotOptimize(sum);
    }
}
void MemLinkRowOrder(benchmark::State& state) { MemLinkWalk(state, false, LinkOrder::RowOrder, false); }
void MemLinkByValue(benchmark::State& state) { MemLinkWalk(state, false, LinkOrder::Value, false); }
void MemLinkText(benchmark::State& state) { MemLinkWalk(state, true, LinkOrder::Link, false); }
void MemLinkTextRowOrder(benchmark::State& state) { MemLinkWalk(state, true, LinkOrder::RowOrder, false); }
void MemLinkCount(benchmark::State& state) { MemLinkWalk(state, false, LinkOrder::RowOrder, true); }
void MemLinkByValueEdits(benchmark::State& state) { MemLinkWalk(state, false, LinkOrder::Value, false, true); }
void MemLinkManyByValue(benchmark::State& state) { MemLinkWalk(state, false, LinkOrder::Value, false, false, true); }
void MemLinkMoveCount(benchmark::State& state) { MemLinkWalk(state, false, LinkOrder::RowOrder, true, false, true, true); }
void MemLinkSpreadMoveCount(benchmark::State& state) {
    MemLinkWalk(state, false, LinkOrder::RowOrder, true, false, true, true, true);
}
void MemLinkSpreadByValue(benchmark::State& state) {
    MemLinkWalk(state, false, LinkOrder::Value, false, false, true, false, true);
}
void MemLinkSpreadMixedCount(benchmark::State& state) {
    MemLinkWalk(state, false, LinkOrder::Value, true, false, true, true, true, true);
}
void MemLinkSpreadMixedCountRowOrder(benchmark::State& state) {
    MemLinkWalk(state, false, LinkOrder::RowOrder, true, false, true, true, true, true);
}

void SqlLinkWalk(benchmark::State& state, bool text, LinkOrder order, bool count, bool edit = false,
                 bool many = false, bool move = false, bool spread = false, bool mixed = false) {
    const int masters = LinkMasters(many);
    Db d;
    d.Exec("CREATE TABLE m (id INTEGER PRIMARY KEY, nome TEXT)");
    d.Exec("CREATE TABLE det (id INTEGER PRIMARY KEY, mestre INTEGER, nome TEXT, valor REAL)");
    d.Exec("BEGIN");
    sqlite3_stmt* im = d.Prepare("INSERT INTO m (id, nome) VALUES (?, ?)");
    for (int m = 0; m < masters; ++m) {
        const std::string name = LinkName(m);
        sqlite3_bind_int(im, 1, m);
        sqlite3_bind_text(im, 2, name.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(im) != SQLITE_DONE) throw std::runtime_error("insert");
        sqlite3_reset(im);
    }
    sqlite3_finalize(im);
    sqlite3_stmt* id = d.Prepare("INSERT INTO det (id, mestre, nome, valor) VALUES (?, ?, ?, ?)");
    for (const Row& r : Rows()) {
        const std::string name = LinkName(LinkMasterOf(r.id, many, spread));
        sqlite3_bind_int(id, 1, r.id);
        sqlite3_bind_int(id, 2, LinkMasterOf(r.id, many, spread));
        sqlite3_bind_text(id, 3, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(id, 4, r.value);
        if (sqlite3_step(id) != SQLITE_DONE) throw std::runtime_error("insert");
        sqlite3_reset(id);
    }
    sqlite3_finalize(id);
    d.Exec("COMMIT");
    d.Exec(text ? "CREATE INDEX link ON det (nome)" : "CREATE INDEX link ON det (mestre)");
    d.Exec("CREATE INDEX por_valor ON det (valor)");
    sqlite3_stmt* next = d.Prepare("SELECT id, nome FROM m WHERE id > ? ORDER BY id LIMIT 1");
    std::string sql = count ? "SELECT count(*) FROM det WHERE " : "SELECT id, valor FROM det WHERE ";
    sql += text ? "nome = ?" : "mestre = ?";
    if (!count)
        sql += order == LinkOrder::RowOrder ? " ORDER BY id"
               : order == LinkOrder::Value  ? " ORDER BY valor"
                                            : (text ? " ORDER BY nome" : " ORDER BY mestre");
    sqlite3_stmt* details = d.Prepare(sql.c_str());
    sqlite3_stmt* raise = d.Prepare("UPDATE det SET valor = valor + 1 WHERE id = ?");
    sqlite3_stmt* firstOf = d.Prepare("SELECT min(id) FROM det WHERE mestre = ?");
    sqlite3_stmt* relink = d.Prepare("UPDATE det SET mestre = ? WHERE id = ?");
    sqlite3_stmt* lastOf = d.Prepare(order == LinkOrder::Value
                                         ? "SELECT id FROM det WHERE mestre = ? ORDER BY valor DESC LIMIT 1"
                                         : "SELECT max(id) FROM det WHERE mestre = ?");
    sqlite3_stmt* drop = d.Prepare("DELETE FROM det WHERE id = ?");
    sqlite3_stmt* add = d.Prepare("INSERT INTO det (id, mestre, nome, valor) VALUES (?, ?, '', ?)");
    int nextId = kRows + 1;
    int current = 0;
    for (auto _ : state) {
        long long rows = 0;
        double sum = 0;
        for (int k = 0; k < kLinkMoves; ++k) {
            sqlite3_bind_int(next, 1, current);
            if (sqlite3_step(next) == SQLITE_ROW) {
                current = sqlite3_column_int(next, 0);
                if (text)
                    sqlite3_bind_text(details, 1, reinterpret_cast<const char*>(sqlite3_column_text(next, 1)), -1,
                                      SQLITE_TRANSIENT);
            } else {
                current = -1;
            }
            sqlite3_reset(next);
            if (current < 0) {
                current = -1;
                continue;
            }
            if (move) {
                sqlite3_bind_int(firstOf, 1, current);
                if (sqlite3_step(firstOf) == SQLITE_ROW && sqlite3_column_type(firstOf, 0) != SQLITE_NULL) {
                    sqlite3_bind_int(relink, 1, (current + 1) % masters);
                    sqlite3_bind_int(relink, 2, sqlite3_column_int(firstOf, 0));
                    if (sqlite3_step(relink) != SQLITE_DONE) throw std::runtime_error("update");
                    sqlite3_reset(relink);
                }
                sqlite3_reset(firstOf);
            }
            if (mixed) {
                sqlite3_bind_int(lastOf, 1, current);
                if (sqlite3_step(lastOf) == SQLITE_ROW && sqlite3_column_type(lastOf, 0) != SQLITE_NULL) {
                    sqlite3_bind_int(drop, 1, sqlite3_column_int(lastOf, 0));
                    if (sqlite3_step(drop) != SQLITE_DONE) throw std::runtime_error("delete");
                    sqlite3_reset(drop);
                }
                sqlite3_reset(lastOf);
                sqlite3_bind_int(add, 1, nextId++);
                sqlite3_bind_int(add, 2, current);
                sqlite3_bind_double(add, 3, nextId % 1000);
                if (sqlite3_step(add) != SQLITE_DONE) throw std::runtime_error("insert");
                sqlite3_reset(add);
            }
            if (!text) sqlite3_bind_int(details, 1, current);
            int first = -1;
            while (sqlite3_step(details) == SQLITE_ROW) {
                if (count) {
                    rows += sqlite3_column_int(details, 0);
                } else {
                    if (first < 0) first = sqlite3_column_int(details, 0);
                    sum += sqlite3_column_double(details, 1);
                    ++rows;
                }
            }
            sqlite3_reset(details);
            if (edit && first >= 0) {
                sqlite3_bind_int(raise, 1, first);
                if (sqlite3_step(raise) != SQLITE_DONE) throw std::runtime_error("update");
                sqlite3_reset(raise);
            }
        }
        if (rows < kLinkMoves / 2) throw std::runtime_error("sqlite linked walk found too few");
        benchmark::DoNotOptimize(sum);
    }
    sqlite3_finalize(next);
    sqlite3_finalize(details);
    sqlite3_finalize(raise);
    sqlite3_finalize(firstOf);
    sqlite3_finalize(relink);
    sqlite3_finalize(lastOf);
    sqlite3_finalize(drop);
    sqlite3_finalize(add);
}
void SqlLinkRowOrder(benchmark::State& state) { SqlLinkWalk(state, false, LinkOrder::RowOrder, false); }
void SqlLinkByValue(benchmark::State& state) { SqlLinkWalk(state, false, LinkOrder::Value, false); }
void SqlLinkText(benchmark::State& state) { SqlLinkWalk(state, true, LinkOrder::Link, false); }
void SqlLinkTextRowOrder(benchmark::State& state) { SqlLinkWalk(state, true, LinkOrder::RowOrder, false); }
void SqlLinkCount(benchmark::State& state) { SqlLinkWalk(state, false, LinkOrder::RowOrder, true); }
void SqlLinkByValueEdits(benchmark::State& state) { SqlLinkWalk(state, false, LinkOrder::Value, false, true); }
void SqlLinkManyByValue(benchmark::State& state) { SqlLinkWalk(state, false, LinkOrder::Value, false, false, true); }
void SqlLinkMoveCount(benchmark::State& state) { SqlLinkWalk(state, false, LinkOrder::RowOrder, true, false, true, true); }
void SqlLinkSpreadMoveCount(benchmark::State& state) {
    SqlLinkWalk(state, false, LinkOrder::RowOrder, true, false, true, true, true);
}
void SqlLinkSpreadByValue(benchmark::State& state) {
    SqlLinkWalk(state, false, LinkOrder::Value, false, false, true, false, true);
}
void SqlLinkSpreadMixedCount(benchmark::State& state) {
    SqlLinkWalk(state, false, LinkOrder::Value, true, false, true, true, true, true);
}

// The rows sought by two fields, drawn once; every other one with a value
// of another row in the second field: a miss.
std::vector<std::pair<const Row*, const Row*>> TwoFieldKeys() {
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> pick(0, kRows - 1);
    std::vector<std::pair<const Row*, const Row*>> r;
    for (int i = 0; i < kTwoFieldLocates; ++i) {
        const Row* a = &Rows()[static_cast<std::size_t>(pick(rng))];
        const Row* b = i % 2 == 0 ? a : &Rows()[static_cast<std::size_t>(pick(rng))];
        r.emplace_back(a, b);
    }
    return r;
}

// Locate("Id;Cliente") with a unique key on Id, or Locate("Cliente;Valor")
// with an index on Cliente, the row order current.
void MemLocateTwo(benchmark::State& state, bool byId) {
    auto t = FilledTable(true);
    const auto keys = TwoFieldKeys();
    for (auto _ : state) {
        int found = 0;
        for (const auto& [a, b] : keys)
            found += (byId ? t->Locate("Id;Cliente", VarArrayOf({a->id, b->client}), {})
                           : t->Locate("Cliente;Valor", VarArrayOf({a->client, b->value}), {}))
                         ? 1
                         : 0;
        if (found < kTwoFieldLocates / 2) throw std::runtime_error("two-field locate missed");
    }
}
void MemLocateIdCliente(benchmark::State& state) { MemLocateTwo(state, true); }
void MemLocateClienteValor(benchmark::State& state) { MemLocateTwo(state, false); }

void SqlLocateTwo(benchmark::State& state, bool byId) {
    Db d;
    SqlFill(d);
    d.Exec("CREATE INDEX t_cliente ON t (cliente)");
    const auto keys = TwoFieldKeys();
    sqlite3_stmt* s = d.Prepare(byId ? "SELECT min(id) FROM t WHERE id = ? AND cliente = ?"
                                     : "SELECT min(id) FROM t WHERE cliente = ? AND valor = ?");
    for (auto _ : state) {
        int found = 0;
        for (const auto& [a, b] : keys) {
            if (byId) {
                sqlite3_bind_int(s, 1, a->id);
                sqlite3_bind_text(s, 2, b->client.c_str(), -1, SQLITE_STATIC);
            } else {
                sqlite3_bind_text(s, 1, a->client.c_str(), -1, SQLITE_STATIC);
                sqlite3_bind_double(s, 2, b->value);
            }
            if (sqlite3_step(s) == SQLITE_ROW && sqlite3_column_type(s, 0) != SQLITE_NULL) ++found;
            sqlite3_reset(s);
        }
        if (found < kTwoFieldLocates / 2) throw std::runtime_error("sqlite two-field locate missed");
    }
    sqlite3_finalize(s);
}
void SqlLocateIdCliente(benchmark::State& state) { SqlLocateTwo(state, true); }
void SqlLocateClienteValor(benchmark::State& state) { SqlLocateTwo(state, false); }

// Locates by client name with several indexes of the name on the table,
// one of them current: the first match in its order is the answer. Plain
// "ByCliente", case-blind "ByClienteCI", descending "ByClienteDesc"; the
// current one is added first, so that it is never the last added. SQLite: the lowest id of the name (the highest where the
// current index is descending, whose equal names stand last id first)
// through an index on the name.
enum class NameIndex { Plain, CaseBlind, Descending };

void MemLocateNameIndexes(benchmark::State& state, std::initializer_list<NameIndex> indexes, NameIndex current,
                          bool blind = false) {
    auto t = NewTable();
    Fill(t.get());
    auto name = [](NameIndex i) {
        return i == NameIndex::Plain ? "ByCliente" : i == NameIndex::CaseBlind ? "ByClienteCI" : "ByClienteDesc";
    };
    auto add = [&](NameIndex i) {
        t->AddIndex(name(i), "Cliente",
                    i == NameIndex::Plain       ? TIndexOptions{}
                    : i == NameIndex::CaseBlind ? TIndexOptions{ixCaseInsensitive}
                                                : TIndexOptions{ixDescending});
    };
    add(current);
    for (NameIndex i : indexes)
        if (i != current) add(i);
    t->SetIndexName(name(current));
    LocateEveryName(state, *t, blind);
}
void MemNamePlainBesideCI(benchmark::State& state) {
    MemLocateNameIndexes(state, {NameIndex::Plain, NameIndex::CaseBlind}, NameIndex::Plain);
}
void MemNamePlainBesideDesc(benchmark::State& state) {
    MemLocateNameIndexes(state, {NameIndex::Plain, NameIndex::Descending}, NameIndex::Plain);
}
void MemNameThreePlain(benchmark::State& state) {
    MemLocateNameIndexes(state, {NameIndex::Plain, NameIndex::CaseBlind, NameIndex::Descending}, NameIndex::Plain);
}
void MemNameThreeCI(benchmark::State& state) {
    MemLocateNameIndexes(state, {NameIndex::Plain, NameIndex::CaseBlind, NameIndex::Descending},
                         NameIndex::CaseBlind);
}
void MemNameThreeDesc(benchmark::State& state) {
    MemLocateNameIndexes(state, {NameIndex::Plain, NameIndex::CaseBlind, NameIndex::Descending},
                         NameIndex::Descending);
}
void MemNameDescOnly(benchmark::State& state) {
    MemLocateNameIndexes(state, {NameIndex::Descending}, NameIndex::Descending);
}
// The same index sets, each locate with loCaseInsensitive.
void MemBlindPlainOnly(benchmark::State& state) { MemLocateNameIndexes(state, {NameIndex::Plain}, NameIndex::Plain, true); }
void MemBlindPlainBesideCI(benchmark::State& state) {
    MemLocateNameIndexes(state, {NameIndex::Plain, NameIndex::CaseBlind}, NameIndex::Plain, true);
}
void MemBlindPlainBesideDesc(benchmark::State& state) {
    MemLocateNameIndexes(state, {NameIndex::Plain, NameIndex::Descending}, NameIndex::Plain, true);
}
void MemBlindThreePlain(benchmark::State& state) {
    MemLocateNameIndexes(state, {NameIndex::Plain, NameIndex::CaseBlind, NameIndex::Descending}, NameIndex::Plain,
                         true);
}
void MemBlindThreeCI(benchmark::State& state) {
    MemLocateNameIndexes(state, {NameIndex::Plain, NameIndex::CaseBlind, NameIndex::Descending},
                         NameIndex::CaseBlind, true);
}
void MemBlindThreeDesc(benchmark::State& state) {
    MemLocateNameIndexes(state, {NameIndex::Plain, NameIndex::CaseBlind, NameIndex::Descending},
                         NameIndex::Descending, true);
}
void MemBlindDescOnly(benchmark::State& state) {
    MemLocateNameIndexes(state, {NameIndex::Descending}, NameIndex::Descending, true);
}
void MemBlindDescBesideCI(benchmark::State& state) {
    MemLocateNameIndexes(state, {NameIndex::Descending, NameIndex::CaseBlind}, NameIndex::Descending, true);
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            const std::string name = r.run_name.function_name;
            // The median of the repetitions when there are several, else the one run.
            if (r.run_type == Run::RT_Aggregate) {
                if (r.aggregate_name == "median") {
                    median_[name] = r.GetAdjustedRealTime();
                    medianCpu_[name] = r.GetAdjustedCPUTime();
                }
            } else {
                single_[name] = r.GetAdjustedRealTime();
                singleCpu_[name] = r.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const char* shape = kShape == Shape::Links      ? "links and two-field locates (varied names)"
                            : kShape == Shape::Indexes ? "several indexes of the name (2,000 values)"
                            : kShape == Shape::Sorts ? "a sort, then its first locate (varied names)"
                            : kShape == Shape::Walks ? "walks, partial keys and counts (varied names)"
                            : kShape == Shape::Prefixes ? "partial keys, short and long (varied names)"
                            : kShape == Shape::Repeated ? "repeated names (2,000 values)"
                            : kShape == Shape::Distinct ? "mostly distinct names (rows / 2 values)"
                            : kShape == Shape::Varied   ? "varied names of people (as many values as rows, no common start)"
                                                        : "changes while searching (distinct names)";
        std::printf("\nTime ratio at %d rows, %s, memory table / SQLite in memory (below 1: the memory table is "
                    "faster)%s\n",
                    kRows, shape, median_.empty() ? "" : ", medians of the repetitions");
        std::printf("Text steps compare in pt-BR collation order on our side and in byte order (BINARY) on "
                    "SQLite's.\n");
        // Beside the ratio of the times, the ratio of the processor times:
        // on a shared machine a step may wait for a processor while it
        // runs, which the elapsed time counts and the processor time not.
        std::printf("  %-42s %6s  %7s  %s\n", "", "ratio", "target", "times (processor-time ratio)");
        if (kShape == Shape::Prefixes) {
            Ratio("1,000 locates of 1-3 letters, no name index", "MemShortNoIndex", "SqlShortPrefix", "<= 1.00");
            Ratio("the same, a name index not current", "MemShortIndex", "SqlShortPrefix", "<= 1.00");
            Ratio("the same, a case-blind one not current", "MemShortIndexCI", "SqlShortPrefix", "<= 1.00");
            Ratio("1,000 locates of 8-14 letters, name index", "MemLongIndex", "SqlLongPrefix", "<= 1.00");
            Ratio("the same, case-blind name index", "MemLongIndexCI", "SqlLongPrefix", "<= 1.00");
            return;
        }
        if (kShape == Shape::Walks) {
            Ratio("1,000 master moves, each with its details", "MemMasterDetail", "SqlMasterDetail", "");
            Ratio("1,000 partial-key locates, row order", "MemPartialRowOrder", "SqlPartialRowOrder", "");
            Ratio("1,000 partial-key locates, name index", "MemPartialIndex", "SqlPartialIndex", "");
            Ratio("the same 1,000 again, name index", "MemPartialIndexAgain", "SqlPartialIndexAgain", "");
            Ratio("100 counts, versioned, after a delete", "MemCountVersioned", "SqlCountVersioned", "");
            return;
        }
        if (kShape == Shape::Links) {
            Ratio("200 master moves, row order current", "MemLinkRowOrder", "SqlLinkRowOrder", "<= 1.00");
            Ratio("200 master moves, value index current", "MemLinkByValue", "SqlLinkByValue", "<= 1.00");
            Ratio("200 moves, value index, an edit each", "MemLinkByValueEdits", "SqlLinkByValueEdits", "<= 1.00");
            Ratio("200 master moves, text link, its index", "MemLinkText", "SqlLinkText", "<= 1.00");
            Ratio("200 master moves, text link, row order", "MemLinkTextRowOrder", "SqlLinkTextRowOrder", "<= 1.00");
            Ratio("200 detail counts, row order current", "MemLinkCount", "SqlLinkCount", "<= 1.00");
            Ratio("200 moves, 2,000 masters, value index", "MemLinkManyByValue", "SqlLinkManyByValue", "<= 1.00");
            Ratio("200 link edits, each before a count", "MemLinkMoveCount", "SqlLinkMoveCount", "<= 1.00");
            Ratio("200 link edits, details spread, count", "MemLinkSpreadMoveCount", "SqlLinkSpreadMoveCount",
                  "<= 1.00");
            Ratio("200 moves, details spread, value index", "MemLinkSpreadByValue", "SqlLinkSpreadByValue", "<= 1.00");
            Ratio("200 edits, deletes, appends, counts (value)", "MemLinkSpreadMixedCount", "SqlLinkSpreadMixedCount",
                  "<= 1.00");
            Ratio("the same, row order current", "MemLinkSpreadMixedCountRowOrder", "SqlLinkSpreadMixedCount",
                  "<= 1.00");
            Ratio("1,000 locates on Id;Cliente, key on Id", "MemLocateIdCliente", "SqlLocateIdCliente", "<= 1.00");
            Ratio("1,000 locates on Cliente;Valor", "MemLocateClienteValor", "SqlLocateClienteValor", "<= 1.00");
            return;
        }
        if (kShape == Shape::Indexes) {
            Ratio("plain current, a case-blind one beside", "MemNamePlainBesideCI", "SqlLocateName", "<= 1.00");
            Ratio("plain current, a descending one beside", "MemNamePlainBesideDesc", "SqlLocateName", "<= 1.00");
            Ratio("all three, plain current", "MemNameThreePlain", "SqlLocateName", "<= 1.00");
            Ratio("all three, case-blind current", "MemNameThreeCI", "SqlLocateName", "<= 1.00");
            Ratio("all three, descending current", "MemNameThreeDesc", "SqlLocateNameLast", "<= 1.00");
            Ratio("case-blind, plain alone", "MemBlindPlainOnly", "SqlLocateNameNoCase", "<= 1.00");
            Ratio("case-blind, plain current, case-blind beside", "MemBlindPlainBesideCI", "SqlLocateNameNoCase",
                  "<= 1.00");
            Ratio("case-blind, plain current, descending beside", "MemBlindPlainBesideDesc", "SqlLocateNameNoCase",
                  "<= 1.00");
            Ratio("case-blind, all three, plain current", "MemBlindThreePlain", "SqlLocateNameNoCase", "<= 1.00");
            Ratio("case-blind, all three, case-blind current", "MemBlindThreeCI", "SqlLocateNameNoCase", "<= 1.00");
            Ratio("case-blind, all three, descending current", "MemBlindThreeDesc", "SqlLocateNameNoCase", "<= 1.00");
            Ratio("case-blind, descending alone", "MemBlindDescOnly", "SqlLocateNameNoCase", "<= 1.00");
            Ratio("case-blind, descending current, case-blind", "MemBlindDescBesideCI", "SqlLocateNameNoCase",
                  "<= 1.00");
            return;
        }
        if (kShape == Shape::Sorts) {
            Ratio("sort on the name, then locate a name", "MemSortOneLocate", "SqlSortOneLocate", "<= 1.00");
            Ratio("sort on two fields, then locate a name", "MemSortLocate", "SqlSortLocate", "<= 1.00");
            return;
        }
        if (kShape == Shape::Changes) {
            Ratio("2,000 appends, text and key indexes", "MemChangeAppend", "SqlChangeAppend", "<= 1.00");
            Ratio("2,000 edits of the indexed text", "MemChangeEdit", "SqlChangeEdit", "<= 1.00");
            Ratio("2,000 deletes", "MemChangeDelete", "SqlChangeDelete", "<= 1.00");
            Ratio("10,000 text locates, an edit every 10th", "MemChangeMixed", "SqlChangeMixed", "<= 1.00");
            return;
        }
        Ratio("append the rows", "MemAppend", "SqlAppend", "<= 0.60");
        Ratio("build an index on a text field", "MemIndex", "SqlIndex", "<= 0.70");
        Ratio("10,000 locates by key", "MemLocateKey", "SqlLocateKey", "<= 0.40");
        Ratio("10,000 locates by a non-unique text field", "MemLocateName", "SqlLocateName", "<= 0.40");
        Ratio("the same, a descending index current", "MemNameDescOnly", "SqlLocateNameLast", "<= 1.00");
        Ratio("sort on two fields", "MemSort", "SqlSort", "<= 0.70");
        Ratio("sort on two fields, then walk every row", "MemSortWalk", "SqlSortWalk", "<= 0.70");
        Ratio("sort on two fields, then locate a name", "MemSortLocate", "SqlSortLocate", "<= 1.00");
        Ratio("filtered scan, number", "MemFilterNumber", "SqlFilterNumber", "<= 1.00");
        Ratio("filtered scan, text equality", "MemFilterText", "SqlFilterText", "<= 1.50");
        if (kShape == Shape::Varied) {
            Ratio("10,000 text locates, an append every 10th", "MemMixedAppend", "SqlMixedAppend", "<= 1.00");
            Ratio("10,000 text locates, a delete every 10th", "MemMixedDelete", "SqlMixedDelete", "<= 1.00");
            Ratio("10,000 text locates, an edit every rows/1,024", "MemMixedSparse", "SqlMixedSparse", "<= 0.60");
            Ratio("2,000 text locates after 2,000 edits", "MemLocateAfterEdits", "SqlLocateAfterEdits", "<= 0.60");
        }
        const RowBytes mem = MemRowBytes(), sql = SqlRowBytes();
        std::printf("\nBytes per row (integer, 40-character text, double, date), as the allocator counts them\n");
        std::printf("  memory table %6.1f  (%.1f with an index on the text)   target <= 130\n", mem.plain,
                    mem.indexed);
        std::printf("  SQLite       %6.1f  (%.1f with an index on the text)\n", sql.plain, sql.indexed);
    }

private:
    void Ratio(const char* label, const std::string& ours, const std::string& theirs, const char* target) {
        double a = Find(ours), b = Find(theirs);
        if (a < 0 || b <= 0) return;
        const double ca = Find(ours, true), cb = Find(theirs, true);
        std::printf("  %-42s %6.2f  %7s  (%.1f ms vs %.1f ms; %.2f)\n", label, a / b, target, a, b,
                    cb > 0 ? ca / cb : 0.0);
    }
    double Find(const std::string& name, bool cpu = false) const {
        const auto& medians = cpu ? medianCpu_ : median_;
        const auto& singles = cpu ? singleCpu_ : single_;
        auto m = medians.find(name);
        if (m != medians.end()) return m->second;
        auto s = singles.find(name);
        return s != singles.end() ? s->second : -1;
    }
    std::map<std::string, double> median_, single_, medianCpu_, singleCpu_;
};

}  // namespace

int main(int argc, char** argv) {
    // A leading plain number is the row count; the rest is Google Benchmark's.
    if (argc > 1 && argv[1][0] >= '0' && argv[1][0] <= '9') {
        kRows = std::max(kClients, std::atoi(argv[1]));
        for (int i = 1; i + 1 < argc; ++i) argv[i] = argv[i + 1];
        --argc;
    }
    if (argc > 1 && argv[1][0] != '-') {
        const std::string shape = argv[1];
        if (shape == "repeated")
            kShape = Shape::Repeated;
        else if (shape == "distinct")
            kShape = Shape::Distinct;
        else if (shape == "changes")
            kShape = Shape::Changes;
        else if (shape == "varied")
            kShape = Shape::Varied;
        else if (shape == "walks")
            kShape = Shape::Walks;
        else if (shape == "prefixes")
            kShape = Shape::Prefixes;
        else if (shape == "links")
            kShape = Shape::Links;
        else if (shape == "indexes")
            kShape = Shape::Indexes;
        else if (shape == "sorts")
            kShape = Shape::Sorts;
        else {
            std::fprintf(stderr, "shape: repeated, distinct, changes, varied, walks, prefixes, links, indexes or sorts\n");
            return 2;
        }
        for (int i = 1; i + 1 < argc; ++i) argv[i] = argv[i + 1];
        --argc;
    }
    // Small tables repeat more, so that a step is not one timer tick.
    const int iterations = std::max(3, 300000 / kRows);
    using Step = std::pair<const char*, void (*)(benchmark::State&)>;
    const std::initializer_list<Step> changes{
        {"MemChangeAppend", MemChangeAppend}, {"SqlChangeAppend", SqlChangeAppend},
        {"MemChangeEdit", MemChangeEdit},     {"SqlChangeEdit", SqlChangeEdit},
        {"MemChangeDelete", MemChangeDelete}, {"SqlChangeDelete", SqlChangeDelete},
        {"MemChangeMixed", MemChangeMixed},   {"SqlChangeMixed", SqlChangeMixed}};
    const std::initializer_list<Step> steps{
        {"MemAppend", MemAppend},             {"SqlAppend", SqlAppend},
        {"MemIndex", MemIndex},               {"SqlIndex", SqlIndex},
        {"MemLocateKey", MemLocateKey},       {"SqlLocateKey", SqlLocateKey},
        {"MemLocateName", MemLocateName},     {"SqlLocateName", SqlLocateName},
        {"MemNameDescOnly", MemNameDescOnly}, {"SqlLocateNameLast", SqlLocateNameLast},
        {"MemSort", MemSort},                 {"SqlSort", SqlSort},
        {"MemSortWalk", MemSortWalk},         {"SqlSortWalk", SqlSortWalk},
        {"MemSortLocate", MemSortLocate},     {"SqlSortLocate", SqlSortLocate},
        {"MemFilterNumber", MemFilterNumber}, {"SqlFilterNumber", SqlFilterNumber},
        {"MemFilterText", MemFilterText},     {"SqlFilterText", SqlFilterText}};
    const std::initializer_list<Step> mixed{{"MemMixedAppend", MemMixedAppend}, {"SqlMixedAppend", SqlMixedAppend},
                                            {"MemMixedDelete", MemMixedDelete}, {"SqlMixedDelete", SqlMixedDelete},
                                            {"MemMixedSparse", MemMixedSparse}, {"SqlMixedSparse", SqlMixedSparse},
                                            {"MemLocateAfterEdits", MemLocateAfterEdits},
                                            {"SqlLocateAfterEdits", SqlLocateAfterEdits}};
    const std::initializer_list<Step> walks{
        {"MemMasterDetail", MemMasterDetail},       {"SqlMasterDetail", SqlMasterDetail},
        {"MemPartialRowOrder", MemPartialRowOrder}, {"SqlPartialRowOrder", SqlPartialRowOrder},
        {"MemPartialIndex", MemPartialIndex},       {"SqlPartialIndex", SqlPartialIndex},
        {"MemPartialIndexAgain", MemPartialIndexAgain}, {"SqlPartialIndexAgain", SqlPartialIndexAgain},
        {"MemCountVersioned", MemCountVersioned},   {"SqlCountVersioned", SqlCountVersioned}};
    const std::initializer_list<Step> prefixes{
        {"MemShortNoIndex", MemShortNoIndex}, {"MemShortIndex", MemShortIndex},
        {"MemShortIndexCI", MemShortIndexCI}, {"SqlShortPrefix", SqlShortPrefix},
        {"MemLongIndex", MemLongIndex},       {"MemLongIndexCI", MemLongIndexCI},
        {"SqlLongPrefix", SqlLongPrefix}};
    const std::initializer_list<Step> links{
        {"MemLinkRowOrder", MemLinkRowOrder},           {"SqlLinkRowOrder", SqlLinkRowOrder},
        {"MemLinkByValue", MemLinkByValue},             {"SqlLinkByValue", SqlLinkByValue},
        {"MemLinkByValueEdits", MemLinkByValueEdits},   {"SqlLinkByValueEdits", SqlLinkByValueEdits},
        {"MemLinkText", MemLinkText},                   {"SqlLinkText", SqlLinkText},
        {"MemLinkTextRowOrder", MemLinkTextRowOrder},   {"SqlLinkTextRowOrder", SqlLinkTextRowOrder},
        {"MemLinkCount", MemLinkCount},                 {"SqlLinkCount", SqlLinkCount},
        {"MemLinkManyByValue", MemLinkManyByValue},     {"SqlLinkManyByValue", SqlLinkManyByValue},
        {"MemLinkMoveCount", MemLinkMoveCount},         {"SqlLinkMoveCount", SqlLinkMoveCount},
        {"MemLinkSpreadMoveCount", MemLinkSpreadMoveCount}, {"SqlLinkSpreadMoveCount", SqlLinkSpreadMoveCount},
        {"MemLinkSpreadByValue", MemLinkSpreadByValue}, {"SqlLinkSpreadByValue", SqlLinkSpreadByValue},
        {"MemLinkSpreadMixedCount", MemLinkSpreadMixedCount}, {"SqlLinkSpreadMixedCount", SqlLinkSpreadMixedCount},
        {"MemLinkSpreadMixedCountRowOrder", MemLinkSpreadMixedCountRowOrder},
        {"MemLocateIdCliente", MemLocateIdCliente},     {"SqlLocateIdCliente", SqlLocateIdCliente},
        {"MemLocateClienteValor", MemLocateClienteValor}, {"SqlLocateClienteValor", SqlLocateClienteValor}};
    const std::initializer_list<Step> indexes{
        {"MemNamePlainBesideCI", MemNamePlainBesideCI},     {"MemNamePlainBesideDesc", MemNamePlainBesideDesc},
        {"MemNameThreePlain", MemNameThreePlain},           {"MemNameThreeCI", MemNameThreeCI},
        {"SqlLocateName", SqlLocateName},                   {"MemNameThreeDesc", MemNameThreeDesc},
        {"SqlLocateNameLast", SqlLocateNameLast},
        {"MemBlindPlainOnly", MemBlindPlainOnly},           {"MemBlindPlainBesideCI", MemBlindPlainBesideCI},
        {"MemBlindPlainBesideDesc", MemBlindPlainBesideDesc}, {"MemBlindThreePlain", MemBlindThreePlain},
        {"MemBlindThreeCI", MemBlindThreeCI},               {"MemBlindThreeDesc", MemBlindThreeDesc},
        {"MemBlindDescOnly", MemBlindDescOnly},             {"MemBlindDescBesideCI", MemBlindDescBesideCI},
        {"SqlLocateNameNoCase", SqlLocateNameNoCase}};
    const std::initializer_list<Step> sorts{
        {"MemSortOneLocate", MemSortOneLocate}, {"SqlSortOneLocate", SqlSortOneLocate},
        {"MemSortLocate", MemSortLocate},       {"SqlSortLocate", SqlSortLocate}};
    for (auto [name, fn] : kShape == Shape::Sorts      ? sorts
                           : kShape == Shape::Indexes  ? indexes
                           : kShape == Shape::Links    ? links
                           : kShape == Shape::Prefixes ? prefixes
                           : kShape == Shape::Walks  ? walks
                           : kShape == Shape::Changes ? changes
                                                      : steps)
        benchmark::RegisterBenchmark(name, fn)->Unit(benchmark::kMillisecond)->Iterations(iterations);
    if (kShape == Shape::Varied)
        for (auto [name, fn] : mixed)
            benchmark::RegisterBenchmark(name, fn)->Unit(benchmark::kMillisecond)->Iterations(iterations);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
