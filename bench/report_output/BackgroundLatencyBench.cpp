// How responsive the window thread stays while a 500-page PDF prints. A
// 10 ms timer on the main thread records how late each tick fires; the
// median, 99th percentile and worst lateness are reported as counters (in
// milliseconds), once with the report printing on the background worker
// and once with the same report printed in the foreground, for contrast.
//
// The report: a detail band of 10 mm per record (a code, a text and a
// value from a memory table), 25 records to an A4 page, 12,500 records.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "memtable/mtMemTable.h"
#include "platform/rtl/Format.h"
#include "report/rpBandedReport.h"
#include "report/rpBands.h"
#include "report/rpDBPipeline.h"
#include "report/rpRegister.h"
#include "report/rpUtils.h"
#include "report_output/rpBackgroundPrint.h"
#include "report_output/rpDBText.h"
#include "report_output/rpOutputRegister.h"
#include "report_output/rpTextControls.h"

namespace {

constexpr int kPages = 500;
constexpr int kRecordsPerPage = 25;
constexpr int kTickMs = 10;

// The form that owns the report, its table and pipeline; the worker builds
// its own through the registered factory.
class TBenchOwner : public TComponent {
public:
    explicit TBenchOwner(TComponent* AOwner) : TComponent(AOwner) {
        table = std::make_unique<TmtMemTable>(nullptr);
        table->FieldDefs()->Add("Codigo", ftInteger);
        table->FieldDefs()->Add("Descricao", ftString, 40);
        table->FieldDefs()->Add("Valor", ftFloat);
        table->Open();
        for (int i = 0; i < kPages * kRecordsPerPage; ++i)
            table->AppendRecord({Variant(i + 1), Variant("Serviço prestado nº " + std::to_string(i + 1)),
                                 Variant((i % 1000) * 3.25)});
        source.SetDataSet(table.get());
        pipeline = new TrpDBPipeline(this);
        pipeline->SetName("plItens");
        pipeline->SetDataSource(&source);
        report = new TrpBandedReport(this);
        report->SetName("Report");
        report->SetDataPipeline(pipeline);
        TrpPageDef* def = report->PrinterSetup()->PageDef();
        def->SetmmWidth(210000);
        def->SetmmHeight(297000);
    }
    FAT_CLASS(TBenchOwner)

    // The layout the definition carries; the worker's copy gets it from the stream.
    void Design() {
        report->CreateDefaultBands();
        TrpBand* detail = report->DetailBand();
        detail->SetmmHeight(10000);
        const char* fields[] = {"Codigo", "Descricao", "Valor"};
        const int lefts[] = {0, 25000, 150000};
        const int widths[] = {20000, 120000, 40000};
        for (int i = 0; i < 3; ++i) {
            auto* text = new TrpDBText(this);
            text->SetName(std::string("db") + fields[i]);
            text->SetBand(detail);
            text->SetDataPipeline(pipeline);
            text->SetDataField(fields[i]);
            text->SetBounds(lefts[i], 2000, widths[i], 5000);
        }
        auto* title = new TrpLabel(this);
        title->SetName("lblTitulo");
        title->SetBand(report->HeaderBand());
        title->SetCaption("Serviços prestados");
        title->SetBounds(0, 0, 80000, 6000);
    }

    std::unique_ptr<TmtMemTable> table;
    TDataSource source{nullptr};
    TrpDBPipeline* pipeline = nullptr;
    TrpBandedReport* report = nullptr;
};

QCoreApplication* App() {
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return app;
}

int PageCount(const std::string& File) {
    std::ifstream in(File, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string pdf = text.str();
    int count = 0;
    for (std::size_t at = pdf.find("/Type /Page"); at != std::string::npos; at = pdf.find("/Type /Page", at + 1))
        if (pdf.compare(at, 12, "/Type /Pages") != 0) ++count;
    return count;
}

// Runs the event loop with the ticking timer while Print runs (it returns
// at once for the background, after the whole job in the foreground) and
// until Done says the job is over; the lateness of every tick, in ms.
std::vector<double> TickLateness(const std::function<void()>& Print, const std::function<bool()>& Done) {
    std::vector<double> late;
    QElapsedTimer clock;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(kTickMs);
    qint64 last = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        late.push_back(std::max(0.0, (now - last) / 1e6 - kTickMs));
        last = now;
    });
    QEventLoop loop;
    QTimer check;
    check.setInterval(1);
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (Done()) loop.quit();
    });
    clock.start();
    timer.start();
    check.start();
    QTimer::singleShot(0, [&] { Print(); });
    loop.exec();
    return late;
}

void Report(benchmark::State& state, std::vector<double> Late, int Pages) {
    std::sort(Late.begin(), Late.end());
    auto at = [&](double q) {
        return Late.empty() ? 0.0 : Late[std::min(Late.size() - 1, static_cast<std::size_t>(q * Late.size()))];
    };
    state.counters["ticks"] = static_cast<double>(Late.size());
    state.counters["median_ms"] = at(0.5);
    state.counters["p99_ms"] = at(0.99);
    state.counters["max_ms"] = Late.empty() ? 0.0 : Late.back();
    state.counters["pages"] = Pages;
}

struct Fixture {
    Fixture() {
        App();
        RegisterClass(TBenchOwner::StaticClassType());
        rpRegisterBackgroundOwner("TBenchOwner", []() -> TComponent* { return new TBenchOwner(nullptr); });
        owner = std::make_unique<TBenchOwner>(nullptr);
        owner->Design();
        owner->report->SetShowPrintDialog(false);
        owner->report->SetShowCancelDialog(false);
        owner->report->SetDeviceType("PDF");
        folder = std::filesystem::temp_directory_path() / ("bench_background_" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
    }
    ~Fixture() {
        owner.reset();
        rpUnregisterBackgroundOwner("TBenchOwner");
        std::filesystem::remove_all(folder);
    }
    std::unique_ptr<TBenchOwner> owner;
    std::filesystem::path folder;
};

void BM_TickLatenessWhilePrintingInTheBackground(benchmark::State& state) {
    Fixture f;
    TrpBackgroundPrintManager* manager = rpBackgroundPrintManager();
    int completed = 0;
    std::string error;
    manager->OnRequestComplete = [&](TObject*) { ++completed; };
    manager->OnPrintError = [&](TObject*, const std::exception& e) { error = e.what(); };
    const std::string file = (f.folder / "fundo.pdf").string();
    std::vector<double> late;
    for (auto _ : state) {
        completed = 0;
        f.owner->report->SetTextFileName(file);
        f.owner->report->BackgroundPrintSettings()->SetEnabled(true);
        f.owner->report->BackgroundPrintSettings()->SetActive(true);
        late = TickLateness([&] { f.owner->report->PrintReport(); }, [&] { return completed > 0; });
    }
    manager->OnRequestComplete = nullptr;
    manager->OnPrintError = nullptr;
    if (!error.empty()) state.SkipWithError(error.c_str());
    Report(state, late, PageCount(file));
}

void BM_TickLatenessWhilePrintingInTheForeground(benchmark::State& state) {
    Fixture f;
    const std::string file = (f.folder / "frente.pdf").string();
    std::vector<double> late;
    for (auto _ : state) {
        bool done = false;
        f.owner->report->SetTextFileName(file);
        f.owner->report->BackgroundPrintSettings()->SetEnabled(false);
        f.owner->report->BackgroundPrintSettings()->SetActive(false);
        late = TickLateness(
            [&] {
                f.owner->report->PrintReport();
                done = true;
            },
            [&] { return done; });
    }
    Report(state, late, PageCount(file));
}

BENCHMARK(BM_TickLatenessWhilePrintingInTheBackground)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TickLatenessWhilePrintingInTheForeground)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

TClass TBenchOwner::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TBenchOwner>("TBenchOwner", TComponent::StaticClassType()).Build();
    return &info;
}

int main(int argc, char** argv) {
    report::registerAll();
    report_output::registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    report_output::unregisterAll();
    report::unregisterAll();
    return 0;
}
