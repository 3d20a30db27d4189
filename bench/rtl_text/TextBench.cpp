// Sorting names with the pt-BR collation against plain byte order (the
// floor): a string list's sort (one collation key per name, then byte
// comparisons), the cached per-thread collator run on every comparison, and
// a collator opened for every comparison (what the cache saves).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include <unicode/ucol.h>

#include "bench/support/RatioReporter.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/Strings.h"

namespace {

std::vector<std::string> Names() {
    const char* first[] = {"João", "José", "Álvaro", "Ângela", "Conceição", "Érico", "Otávio",
                           "Úrsula", "maria", "MARCOS", "Ítalo", "Cecília"};
    const char* last[] = {"da Silva", "Gonçalves", "Araújo", "Magalhães", "Brandão", "Antônio",
                          "Simões", "Lourenço"};
    std::vector<std::string> out;
    for (int round = 0; round < 10; ++round)
        for (const char* f : first)
            for (const char* l : last) out.push_back(std::string(f) + " " + l + " " + std::to_string(round));
    return out;
}

void BM_SortAnsiCompareText(benchmark::State& state) {
    const std::vector<std::string> names = Names();
    for (auto _ : state) {
        std::vector<std::string> v = names;
        std::sort(v.begin(), v.end(),
                  [](const std::string& a, const std::string& b) { return AnsiCompareText(a, b) < 0; });
        benchmark::DoNotOptimize(v.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}
BENCHMARK(BM_SortAnsiCompareText);

// Both case options: the list copied and sorted, as the byte-order case
// copies and sorts its vector.
void StringListSort(benchmark::State& state, bool caseSensitive) {
    const std::vector<std::string> names = Names();
    TStringList source;
    for (const std::string& n : names) source.Add(n);
    source.SetCaseSensitive(caseSensitive);
    for (auto _ : state) {
        TStringList list;
        list.SetCaseSensitive(caseSensitive);
        list.Assign(source);
        list.Sort();
        benchmark::DoNotOptimize(list.Count());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}

void BM_StringListSortText(benchmark::State& state) { StringListSort(state, false); }
BENCHMARK(BM_StringListSortText);

void BM_StringListSortStr(benchmark::State& state) { StringListSort(state, true); }
BENCHMARK(BM_StringListSortStr);

void BM_SortCollatorPerComparison(benchmark::State& state) {
    const std::vector<std::string> names = Names();
    for (auto _ : state) {
        std::vector<std::string> v = names;
        std::sort(v.begin(), v.end(), [](const std::string& a, const std::string& b) {
            UErrorCode err = U_ZERO_ERROR;
            UCollator* c = ucol_open("pt_BR", &err);
            ucol_setStrength(c, UCOL_SECONDARY);
            const UCollationResult r = ucol_strcollUTF8(c, a.data(), static_cast<int32_t>(a.size()),
                                                        b.data(), static_cast<int32_t>(b.size()), &err);
            ucol_close(c);
            return r == UCOL_LESS;
        });
        benchmark::DoNotOptimize(v.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}
BENCHMARK(BM_SortCollatorPerComparison);

void BM_SortByteOrder(benchmark::State& state) {
    const std::vector<std::string> names = Names();
    for (auto _ : state) {
        std::vector<std::string> v = names;
        std::sort(v.begin(), v.end());
        benchmark::DoNotOptimize(v.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}
BENCHMARK(BM_SortByteOrder);

void BM_LengthAndCopy(benchmark::State& state) {
    const std::string s = "Avenida Conceição de Magalhães, 1234 - São João del-Rei - MG";
    for (auto _ : state) {
        benchmark::DoNotOptimize(Length(s));
        benchmark::DoNotOptimize(Copy(s, 10, 20));
    }
}
BENCHMARK(BM_LengthAndCopy);

}  // namespace

int main(int argc, char** argv) {
    return benchratio::RunWithRatios(
        argc, argv, "Time ratio to a byte-order sort of the same 960 names (lower is better)",
        {{"string list sort, case-insensitive pt-BR", "BM_StringListSortText", "BM_SortByteOrder"},
         {"string list sort, case-sensitive pt-BR", "BM_StringListSortStr", "BM_SortByteOrder"},
         {"std::sort comparing with AnsiCompareText", "BM_SortAnsiCompareText", "BM_SortByteOrder"}});
}
