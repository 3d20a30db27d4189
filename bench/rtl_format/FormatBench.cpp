// Formatting speed against the C library's printf family as the peer. The
// printf results are not the same text (no 15-digit rounding, no
// separators); they mark what a plain conversion costs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>

#include "platform/rtl/Format.h"

namespace {

const double kAmounts[] = {2.675, 1234567.891, -7.125, 0.045, 99.5, 1e-3, 42, 123456.78};

void BM_FormatFloatAmount(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(FormatFloat("#,##0.00", kAmounts[i++ & 7]));
}
BENCHMARK(BM_FormatFloatAmount);

void BM_SnprintfAmount(benchmark::State& state) {
    std::size_t i = 0;
    char buf[64];
    for (auto _ : state) {
        std::snprintf(buf, sizeof buf, "%.2f", kAmounts[i++ & 7]);
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_SnprintfAmount);

void BM_FloatToStr(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(FloatToStr(kAmounts[i++ & 7]));
}
BENCHMARK(BM_FloatToStr);

void BM_SnprintfGeneral(benchmark::State& state) {
    std::size_t i = 0;
    char buf[64];
    for (auto _ : state) {
        std::snprintf(buf, sizeof buf, "%.15g", kAmounts[i++ & 7]);
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_SnprintfGeneral);

void BM_FormatKey(benchmark::State& state) {
    int n = 0;
    for (auto _ : state) benchmark::DoNotOptimize(Format("%8d|%8d", n++, 7));
}
BENCHMARK(BM_FormatKey);

void BM_SnprintfKey(benchmark::State& state) {
    int n = 0;
    char buf[64];
    for (auto _ : state) {
        std::snprintf(buf, sizeof buf, "%8d|%8d", n++, 7);
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_SnprintfKey);

void BM_FormatDateTime(benchmark::State& state) {
    TDateTime v = 45000.5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatDateTime("dd/mm/yyyy hh:nn:ss", v));
        v += 0.001;
    }
}
BENCHMARK(BM_FormatDateTime);

void BM_Strftime(benchmark::State& state) {
    time_t t = 1700000000;
    char buf[64];
    for (auto _ : state) {
        std::tm tm{};
        gmtime_r(&t, &tm);
        std::strftime(buf, sizeof buf, "%d/%m/%Y %H:%M:%S", &tm);
        benchmark::DoNotOptimize(buf);
        t += 86;
    }
}
BENCHMARK(BM_Strftime);

void BM_StrToFloat(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(StrToFloat("1234567,891"));
}
BENCHMARK(BM_StrToFloat);

}  // namespace

BENCHMARK_MAIN();
