// A master/detail walk through report pipelines: N masters, each with 10
// details, the details sorted on the link key, over memory tables; the
// walk a detail band makes (every master, every detail of it). Measured
// for 1,000, 2,000, 5,000 and 10,000 masters: the time per master should
// stay flat (the link steps from where it stands and remembers each
// master's detail range, so the whole walk is linear).
//
// Beside it, in the same run, the same merge done by hand on the two
// datasets without pipelines: what the pipeline's events, state checks and
// link comparisons cost on top of moving the data. The ratio pipeline /
// hand walk is printed per size at the end (from the medians when run with
// --benchmark_repetitions).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "memtable/mtMemTable.h"
#include "platform/rtl/Strings.h"
#include "report/rpDBPipeline.h"
#include "report/rpRegister.h"

namespace {

constexpr int kDetailsPerMaster = 10;

std::string Key(int i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "K%07d", i);
    return buf;
}

struct Data {
    explicit Data(int Masters) {
        master = std::make_unique<TmtMemTable>(nullptr);
        master->FieldDefs()->Add("Id", ftInteger);
        master->FieldDefs()->Add("Key", ftString, 10);
        master->Open();
        detail = std::make_unique<TmtMemTable>(nullptr);
        detail->FieldDefs()->Add("Id", ftInteger);
        detail->FieldDefs()->Add("Key", ftString, 10);
        detail->FieldDefs()->Add("Valor", ftFloat);
        detail->Open();
        for (int m = 0; m < Masters; ++m) {
            master->AppendRecord({Variant(m), Variant(Key(m))});
            for (int d = 0; d < kDetailsPerMaster; ++d)
                detail->AppendRecord({Variant(m * kDetailsPerMaster + d), Variant(Key(m)), Variant(d * 1.5)});
        }
        masterSource.SetDataSet(master.get());
        detailSource.SetDataSet(detail.get());
    }
    std::unique_ptr<TmtMemTable> master, detail;
    TDataSource masterSource{nullptr}, detailSource{nullptr};
};

std::map<int, double> pipelineNs, handNs;

void BM_PipelineMasterDetail(benchmark::State& state) {
    const int masters = static_cast<int>(state.range(0));
    Data data(masters);
    TrpDBPipeline master(nullptr), detail(nullptr);
    master.SetName("plMaster");
    detail.SetName("plDetail");
    master.SetDataSource(&data.masterSource);
    detail.SetDataSource(&data.detailSource);
    master.Open();
    detail.Open();
    detail.AddLink(&master, "Key", "Key");
    std::vector<TrpDataPipeline*> all{&master, &detail};
    long rows = 0;
    for (auto _ : state) {
        detail.PrepareTraversal(all);
        master.PrepareTraversal(all);
        double sum = 0;
        master.First();
        while (!master.Eof()) {
            detail.First();
            while (!detail.Eof()) {
                sum += detail.GetFieldValue("Valor").AsDouble();
                ++rows;
                detail.Next();
            }
            master.Next();
        }
        benchmark::DoNotOptimize(sum);
    }
    if (rows != static_cast<long>(state.iterations()) * masters * kDetailsPerMaster)
        state.SkipWithError("the walk missed detail rows");
    state.SetItemsProcessed(rows);
    detail.SetDataSource(nullptr);
    master.SetDataSource(nullptr);
}

// The same merge with the datasets alone.
void BM_HandMasterDetail(benchmark::State& state) {
    const int masters = static_cast<int>(state.range(0));
    Data data(masters);
    TField* mKey = data.master->FieldByName("Key");
    TField* dKey = data.detail->FieldByName("Key");
    TField* value = data.detail->FieldByName("Valor");
    long rows = 0;
    for (auto _ : state) {
        double sum = 0;
        data.detail->First();
        for (data.master->First(); !data.master->Eof(); data.master->Next()) {
            const std::string key = mKey->AsString();
            while (!data.detail->Eof() && AnsiCompareText(dKey->AsString(), key) < 0) data.detail->Next();
            while (!data.detail->Eof() && AnsiCompareText(dKey->AsString(), key) == 0) {
                sum += value->AsFloat();
                ++rows;
                data.detail->Next();
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(rows);
}

BENCHMARK(BM_PipelineMasterDetail)->Arg(1000)->Arg(2000)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HandMasterDetail)->Arg(1000)->Arg(2000)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Prints, per size, the time per master of each walk and their ratio.
class Reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            // With repetitions, the median stands for the size.
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
            const std::string name = r.run_name.function_name + "/" + r.run_name.args;
            const auto slash = name.find('/');
            if (slash == std::string::npos || r.iterations == 0) continue;
            const int n = std::stoi(name.substr(slash + 1));
            const double ns = r.GetAdjustedRealTime() * 1e6 / n;  // ms -> ns per master
            (name.rfind("BM_Pipeline", 0) == 0 ? pipelineNs : handNs)[n] = ns;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nmasters   pipeline ns/master   hand ns/master   ratio\n");
        for (const auto& [n, p] : pipelineNs) {
            const double h = handNs.count(n) ? handNs[n] : 0;
            std::printf("%7d   %18.0f   %14.0f   %5.2f\n", n, p, h, h > 0 ? p / h : 0.0);
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    report::registerAll();
    benchmark::Initialize(&argc, argv);
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    report::unregisterAll();
    return 0;
}
