// Writing a 1,000-page listing as PDF: our device against QPdfWriter and
// libharu, all three fed from the same draw commands in one run. The page
// is built once and its texts renewed for every page, the same work for
// all three writers. Prints seconds, process CPU time (worker threads
// included) and bytes per page for each; ours also runs without workers, all
// deflating on the calling thread.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <hpdf.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

#include "bench/support/RatioReporter.h"
#include "platform/rtl/Strings.h"
#include "report/rpRegister.h"
#include "report/rpUnits.h"
#include "report_output/rpOutputRegister.h"
#include "report_output/rpPDFDevice.h"

namespace {

constexpr int kPages = 1000;
constexpr int kRows = 60;
constexpr int kColumns = 8;

// One listing page whose texts are renewed for each page number.
struct Listing {
    std::unique_ptr<TrpPage> page;
    std::vector<TrpDrawText*> cells;
    TrpDrawText* pageNo = nullptr;
    std::unique_ptr<TPicture> logo;

    Listing() : page(std::make_unique<TrpPage>(nullptr)), logo(std::make_unique<TPicture>()) {
        page->PageDef()->SetmmWidth(210000);
        page->PageDef()->SetmmHeight(297000);
        page->SetFinal(true);
        logo->LoadFromFile(std::string(FAT_SOURCE_DIR) + "/tests/data/gfx/pictures/jpeg_base.jpg");
        auto* image = new TrpDrawImage(nullptr);
        image->Picture()->Assign(logo.get());
        image->SetImageName("logo");
        Box(image, 10000, 8000, 30000, 12000);
        image->SetStretch(true);
        page->AddDrawCommand(image);
        Text("Relatório de Notas Fiscais", 50000, 10000, 120000, true);
        for (int c = 0; c < kColumns; ++c) Text("Coluna " + std::to_string(c + 1), 10000 + c * 24000, 24000, 23000, true);
        for (int r = 0; r < kRows; ++r) {
            const int top = 30000 + r * 4000;
            if (r % 2 == 0) {
                auto* zebra = new TrpDrawShape(nullptr);
                Box(zebra, 10000, top, 190000, 4000);
                zebra->Pen()->SetStyle(psClear);
                zebra->Brush()->SetColor(static_cast<TColor>(0xEEEEEE));
                page->AddDrawCommand(zebra);
            }
            for (int c = 0; c < kColumns; ++c) cells.push_back(Text("", 10000 + c * 24000, top, 23000, false));
            auto* rule = new TrpDrawLine(nullptr);
            Box(rule, 10000, top + 3900, 190000, 100);
            rule->SetLinePosition(lpBottom);
            rule->SetWeight(0.5f);
            page->AddDrawCommand(rule);
        }
        pageNo = Text("", 150000, 280000, 50000, false);
    }

    static void Box(TrpDrawCommand* C, int L, int T, int W, int H) {
        C->SetLeft(L);
        C->SetTop(T);
        C->SetWidth(W);
        C->SetHeight(H);
    }

    TrpDrawText* Text(const std::string& S, int L, int T, int W, bool Bold) {
        auto* t = new TrpDrawText(nullptr);
        TFont f;
        f.SetName("Arial");
        f.SetSize(Bold ? 10 : 8);
        if (Bold) f.SetStyle({fsBold});
        t->SetFont(&f);
        t->SetText(S);
        t->SetTransparent(true);
        Box(t, L, T, W, 3800);
        page->AddDrawCommand(t);
        return t;
    }

    void Fill(int No) {
        page->SetAbsolutePageNo(No);
        page->SetLastPage(No == kPages);
        for (size_t i = 0; i < cells.size(); ++i)
            cells[i]->SetText(i % kColumns == 0 ? std::to_string(No * kRows + static_cast<int>(i / kColumns))
                                                : "Valor " + std::to_string((No * 31 + i * 7) % 100000) + ",00");
        pageNo->SetText("Página " + std::to_string(No) + " de " + std::to_string(kPages));
    }
};

Listing& TheListing() {
    static Listing listing;
    return listing;
}

std::map<std::string, double> g_bytesPerPage;

std::string OutFile(const char* Name) { return (std::filesystem::temp_directory_path() / Name).string(); }

void Record(benchmark::State& State, const std::string& Name, const std::string& File) {
    const double bytes = static_cast<double>(std::filesystem::file_size(File)) / kPages;
    State.counters["bytes_per_page"] = bytes;
    g_bytesPerPage[Name] = bytes;
    // PDF_BENCH_KEEP=1 leaves the files in the temporary folder to be looked at.
    if (std::getenv("PDF_BENCH_KEEP") == nullptr) std::filesystem::remove(File);
    else std::filesystem::rename(File, File + "." + Name + ".pdf");
}

void RunOurs(benchmark::State& State, int Threads) {
    const auto level = static_cast<TrpCompressionLevel>(State.range(0));
    Listing& l = TheListing();
    const std::string file = OutFile("bench_ours.pdf");
    for (auto _ : State) {
        TrpPDFDevice device(nullptr);
        if (Threads >= 0) device.SetCompressionThreads(Threads);
        device.PDFSettings()->SetCompressionLevel(level);
        device.SetFileName(file);
        device.StartJob();
        for (int p = 1; p <= kPages; ++p) {
            l.Fill(p);
            device.ReceivePage(l.page.get());
        }
        device.EndJob();
    }
    Record(State, (Threads == 0 ? "alone" : "ours") + std::to_string(State.range(0)), file);
}

// With the device's workers deflating pages, and with everything on the
// calling thread.
void BM_Ours(benchmark::State& State) { RunOurs(State, -1); }
void BM_OursAlone(benchmark::State& State) { RunOurs(State, 0); }

double Pt(int MM) { return TrpPDFUtils::MMToPoints(MM); }

void BM_QPdfWriter(benchmark::State& State) {
    Listing& l = TheListing();
    const std::string file = OutFile("bench_qt.pdf");
    const QImage logo = l.logo->Graphic()->Image();
    for (auto _ : State) {
        QPdfWriter writer(QString::fromStdString(file));
        writer.setResolution(72);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&writer);
        for (int p = 1; p <= kPages; ++p) {
            l.Fill(p);
            if (p > 1) writer.newPage();
            for (int i = 0; i < l.page->DrawCommandCount(); ++i) {
                TrpDrawCommand* c = l.page->DrawCommands(i);
                const QRectF box(Pt(c->Left()), Pt(c->Top()), Pt(c->Width()), Pt(c->Height()));
                if (auto* t = dynamic_cast<TrpDrawText*>(c)) {
                    QFont f(QString::fromStdString(t->Font()->Name()));
                    f.setPointSizeF(t->Font()->SizeInPoints());
                    f.setBold(t->Font()->Style().Contains(fsBold));
                    painter.setFont(f);
                    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, QString::fromStdString(t->Text()));
                } else if (auto* s = dynamic_cast<TrpDrawShape*>(c)) {
                    painter.fillRect(box, QColor(0xEE, 0xEE, 0xEE));
                } else if (auto* ln = dynamic_cast<TrpDrawLine*>(c)) {
                    painter.setPen(QPen(Qt::black, ln->Weight()));
                    painter.drawLine(box.bottomLeft(), box.bottomRight());
                } else if (dynamic_cast<TrpDrawImage*>(c) != nullptr) {
                    painter.drawImage(box, logo);
                }
            }
        }
        painter.end();
    }
    Record(State, "qt", file);
}

void BM_Libharu(benchmark::State& State) {
    Listing& l = TheListing();
    const std::string file = OutFile("bench_haru.pdf");
    const std::string jpeg = std::string(FAT_SOURCE_DIR) + "/tests/data/gfx/pictures/jpeg_base.jpg";
    for (auto _ : State) {
        HPDF_Doc pdf = HPDF_New(nullptr, nullptr);
        HPDF_SetCompressionMode(pdf, HPDF_COMP_ALL);
        HPDF_Font regular = HPDF_GetFont(pdf, "Helvetica", "WinAnsiEncoding");
        HPDF_Font bold = HPDF_GetFont(pdf, "Helvetica-Bold", "WinAnsiEncoding");
        HPDF_Image logo = HPDF_LoadJpegImageFromFile(pdf, jpeg.c_str());
        for (int p = 1; p <= kPages; ++p) {
            l.Fill(p);
            HPDF_Page page = HPDF_AddPage(pdf);
            HPDF_Page_SetSize(page, HPDF_PAGE_SIZE_A4, HPDF_PAGE_PORTRAIT);
            const double height = HPDF_Page_GetHeight(page);
            for (int i = 0; i < l.page->DrawCommandCount(); ++i) {
                TrpDrawCommand* c = l.page->DrawCommands(i);
                const double x = Pt(c->Left()), w = Pt(c->Width()), h = Pt(c->Height());
                const double y = height - Pt(c->Top()) - h;
                if (auto* t = dynamic_cast<TrpDrawText*>(c)) {
                    HPDF_Page_BeginText(page);
                    HPDF_Page_SetFontAndSize(page, t->Font()->Style().Contains(fsBold) ? bold : regular,
                                             static_cast<HPDF_REAL>(t->Font()->SizeInPoints()));
                    HPDF_Page_TextOut(page, static_cast<HPDF_REAL>(x), static_cast<HPDF_REAL>(y + h - 8),
                                      Utf8ToCp1252(t->Text()).c_str());
                    HPDF_Page_EndText(page);
                } else if (dynamic_cast<TrpDrawShape*>(c) != nullptr) {
                    HPDF_Page_SetRGBFill(page, 0.933f, 0.933f, 0.933f);
                    HPDF_Page_Rectangle(page, static_cast<HPDF_REAL>(x), static_cast<HPDF_REAL>(y),
                                        static_cast<HPDF_REAL>(w), static_cast<HPDF_REAL>(h));
                    HPDF_Page_Fill(page);
                    HPDF_Page_SetRGBFill(page, 0, 0, 0);
                } else if (auto* ln = dynamic_cast<TrpDrawLine*>(c)) {
                    HPDF_Page_SetLineWidth(page, ln->Weight());
                    HPDF_Page_MoveTo(page, static_cast<HPDF_REAL>(x), static_cast<HPDF_REAL>(y));
                    HPDF_Page_LineTo(page, static_cast<HPDF_REAL>(x + w), static_cast<HPDF_REAL>(y));
                    HPDF_Page_Stroke(page);
                } else if (dynamic_cast<TrpDrawImage*>(c) != nullptr) {
                    HPDF_Page_DrawImage(page, logo, static_cast<HPDF_REAL>(x), static_cast<HPDF_REAL>(y),
                                        static_cast<HPDF_REAL>(w), static_cast<HPDF_REAL>(h));
                }
            }
        }
        HPDF_SaveToFile(pdf, file.c_str());
        HPDF_Free(pdf);
    }
    Record(State, "haru", file);
}

BENCHMARK(BM_Ours)
    ->Arg(static_cast<int>(TrpCompressionLevel::clFastest))
    ->Arg(static_cast<int>(TrpCompressionLevel::clDefault))
    ->Arg(static_cast<int>(TrpCompressionLevel::clMax))
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_OursAlone)
    ->Arg(static_cast<int>(TrpCompressionLevel::clDefault))
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
// CPU time is the whole process's, workers included, for all three.
BENCHMARK(BM_QPdfWriter)->Iterations(1)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_Libharu)->Iterations(1)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    rpSetScreenResolutionProvider([](int) { return 96; });
    report::registerAll();
    report_output::registerAll();
    benchmark::Initialize(&argc, argv);
    const std::string def = std::to_string(static_cast<int>(TrpCompressionLevel::clDefault));
    benchratio::RatioReporter reporter("1,000-page listing, time against peer",
                                       {{"ours (clDefault) / QPdfWriter", "BM_Ours/" + def, "BM_QPdfWriter"},
                                        {"ours (clDefault) / libharu", "BM_Ours/" + def, "BM_Libharu"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nbytes per page:\n");
    for (const auto& [name, bytes] : g_bytesPerPage) std::printf("  %-10s %10.0f\n", name.c_str(), bytes);
    benchmark::Shutdown();
    report_output::unregisterAll();
    report::unregisterAll();
    return 0;
}
