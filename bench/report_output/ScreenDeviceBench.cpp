// An A4 page of 500 texts (50 lines of 10 columns, Arial 8, the listing's
// shape) rendered by the screen device: the image built at the zoom, the
// page filled and every command placed and written. At whole page in a
// 1024 x 768 box and at 250 %; the budgets are 50 ms and 150 ms.
//
// Beside it, in the same run, the same 500 strings written straight with a
// QPainter at the same places into an image of the same size: what the
// device's conversions, font scaling and canvas cost on top of Qt's own
// text drawing. The ratios are printed at the end.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "bench/support/RatioReporter.h"
#include "report/rpDrawCommand.h"
#include "report/rpRegister.h"
#include "report/rpUnits.h"
#include "report_output/rpOutputRegister.h"
#include "report_output/rpScreenDevice.h"

namespace {

constexpr int kLines = 50, kColumns = 10;

class Box : public TrpScreenViewer {
public:
    TrpZoomSettingType Zoom = zsWholePage;
    int Percentage = 100;
    int BoxWidth() const override { return 1024; }
    int BoxHeight() const override { return 768; }
    TrpZoomSettingType ViewerZoomSetting() const override { return Zoom; }
    int ViewerZoomPercentage() const override { return Percentage; }
    TColor ViewerColor() const override { return clBtnShadow; }
    TColor ViewerPageColor() const override { return clWhite; }
    TrpProducer* ViewerReport() const override { return nullptr; }
    bool PaintBoxVisible() const override { return true; }
    void ShowPaintBox() override {}
    void ShowScrollBox() override {}
    void LockUpdates(bool) override {}
    void CopyToPaintBox(const TRect&) override {}
    void UpdateScrollBars() override {}
    void RepaintViewer() override {}
    void StatusChanged() override {}
    void PageChanged() override {}
    void ReportGone() override {}
};

struct Page {
    Page() {
        device.SetViewer(&box);
        TrpPage* page = device.CurrentPage();
        page->PageDef()->SetmmWidth(210000);
        page->PageDef()->SetmmHeight(297000);
        for (int line = 0; line < kLines; ++line)
            for (int col = 0; col < kColumns; ++col) {
                auto* t = new TrpDrawText(nullptr);
                t->SetLeft(6350 + col * 19700);
                t->SetTop(12000 + line * 5400);
                t->SetWidth(19000);
                t->SetHeight(4200);
                t->Font()->SetName("Arial");
                t->Font()->SetSize(8);
                t->SetTransparent(true);
                t->SetTextAlignment(col >= 6 ? taRightJustified : taLeftJustified);
                t->SetText(col >= 6 ? std::to_string(line * 1000 + col * 37) + ",50"
                                    : "Cliente " + std::to_string(line * kColumns + col));
                t->SetPage(page);
            }
    }
    Box box;
    TrpScreenDevice device{nullptr};
};

void Render(benchmark::State& State, TrpZoomSettingType Zoom, int Percentage) {
    Page p;
    p.box.Zoom = Zoom;
    p.box.Percentage = Percentage;
    for (auto _ : State) {
        p.device.DisplayPage();
        benchmark::DoNotOptimize(p.device.PageImage()->constBits());
    }
    State.counters["zoom"] = p.device.Zoom();
}

void BM_ScreenWholePage(benchmark::State& State) { Render(State, zsWholePage, 100); }
void BM_Screen250Percent(benchmark::State& State) { Render(State, zsPercentage, 250); }

// The peer: the same strings at the same places, straight through Qt.
void Hand(benchmark::State& State, TrpZoomSettingType Zoom, int Percentage) {
    Page p;
    p.box.Zoom = Zoom;
    p.box.Percentage = Percentage;
    p.device.DisplayPage();
    const QSize size = p.device.PageImage()->size();
    const double scale = p.device.Zoom() / 100.0;
    std::vector<std::pair<QRect, QString>> texts;
    for (int i = 0; i < p.device.CurrentPage()->DrawCommandCount(); ++i) {
        auto* t = static_cast<TrpDrawText*>(p.device.CurrentPage()->DrawCommands(i));
        texts.emplace_back(QRect(t->DrawLeft, t->DrawTop, t->DrawRight - t->DrawLeft, t->DrawBottom - t->DrawTop),
                           QString::fromStdString(t->Text()));
    }
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(static_cast<int>(8 * 96 / 72.0 * scale + 0.5));
    for (auto _ : State) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::gray);
        QPainter painter(&image);
        painter.setFont(font);
        for (const auto& [rect, text] : texts) painter.drawText(rect, Qt::AlignLeft | Qt::AlignTop, text);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_QtWholePage(benchmark::State& State) { Hand(State, zsWholePage, 100); }
void BM_Qt250Percent(benchmark::State& State) { Hand(State, zsPercentage, 250); }

BENCHMARK(BM_ScreenWholePage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QtWholePage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Screen250Percent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Qt250Percent)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Qt's own text drawing (the peer) needs its application; run it with
    // QT_QPA_PLATFORM=offscreen.
    QGuiApplication app(argc, argv);
    rpSetScreenResolutionProvider([](int) { return 96; });
    report::registerAll();
    report_output::registerAll();
    benchmark::Initialize(&argc, argv);
    benchratio::RatioReporter reporter("Screen device / QPainter alone, same strings and places:",
                                       {{"whole page (budget 50 ms)", "BM_ScreenWholePage", "BM_QtWholePage"},
                                        {"250 % (budget 150 ms)", "BM_Screen250Percent", "BM_Qt250Percent"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    report_output::unregisterAll();
    report::unregisterAll();
    return 0;
}
