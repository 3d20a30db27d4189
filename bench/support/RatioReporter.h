#pragma once
// The ratio lines a benchmark program prints at its end: each case's time
// against its peer's in the same run. With --benchmark_repetitions the ratio
// is taken from the medians of the repetitions, so that one repetition that
// met a busy moment of the machine does not decide it; a run without
// repetitions has only its one time to give.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace benchratio {

struct Ratio {
    std::string label;  // what the line says
    std::string ours;   // benchmark names ("BM_Query" matches "BM_Query/iterations:3" too)
    std::string peer;
};

class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter(std::string title, std::vector<Ratio> ratios)
        : title_(std::move(title)), ratios_(std::move(ratios)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            const double seconds = r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
            if (r.run_type == Run::RT_Aggregate) {
                if (r.aggregate_name == "median") median_[r.run_name.str()] = seconds;
            } else {
                last_[r.run_name.str()] = seconds;
                ++repetitions_[r.run_name.str()];
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%s\n", title_.c_str());
        for (const Ratio& r : ratios_) {
            const Time a = Find(r.ours), b = Find(r.peer);
            if (a.seconds <= 0 || b.seconds <= 0) continue;
            std::printf("  %-44s %6.2f  (%s vs %s, %s)\n", r.label.c_str(), a.seconds / b.seconds,
                        Format(a.seconds).c_str(), Format(b.seconds).c_str(),
                        a.median && b.median ? "medians" : "single runs");
        }
    }

private:
    struct Time {
        double seconds = -1;
        bool median = false;
    };

    Time Find(const std::string& name) const {
        auto matches = [&name](const std::string& run) {
            return run == name || (run.size() > name.size() && run.compare(0, name.size(), name) == 0 &&
                                   run[name.size()] == '/');
        };
        for (const auto& [run, seconds] : median_)
            if (matches(run)) return {seconds, true};
        for (const auto& [run, seconds] : last_) {
            // Repetitions without their median (all but one failed, say)
            // give no honest figure.
            if (matches(run)) return repetitions_.at(run) == 1 ? Time{seconds, false} : Time{};
        }
        return {};
    }

    static std::string Format(double seconds) {
        char buf[32];
        if (seconds >= 1e-3) std::snprintf(buf, sizeof buf, "%.2f ms", seconds * 1e3);
        else std::snprintf(buf, sizeof buf, "%.1f us", seconds * 1e6);
        return buf;
    }

    std::string title_;
    std::vector<Ratio> ratios_;
    std::map<std::string, double> median_;
    std::map<std::string, double> last_;
    std::map<std::string, int> repetitions_;
};

// The program's main: runs the benchmarks the command line selects and
// prints the ratios.
inline int RunWithRatios(int argc, char** argv, const std::string& title, std::vector<Ratio> ratios) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter(title, std::move(ratios));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace benchratio
