#include "tests/support/FakeCanvas.h"

#include <string_view>

namespace testsupport {

TFakeMeasureCanvas::TFakeMeasureCanvas(int PixelsPerInchX, int PixelsPerInchY)
    : detail::FakeDevice(PixelsPerInchX, PixelsPerInchY), TCanvas(&device) {}

int TFakeMeasureCanvas::Thousandths(char32_t Char, bool FixedPitch) {
    if (FixedPitch) return 600;
    static constexpr std::u32string_view narrow = U" iljI.,:;!|'";
    static constexpr std::u32string_view wide = U"mwMW";
    if (narrow.find(Char) != std::u32string_view::npos) return 250;
    if (wide.find(Char) != std::u32string_view::npos) return 833;
    if (Char >= U'A' && Char <= U'Z') return 667;
    return 500;
}

namespace {
bool Fixed(TFont& f) { return f.Pitch() == fpFixed || f.Name().rfind("Courier", 0) == 0; }
}  // namespace

double TFakeMeasureCanvas::CharAdvance(char32_t Char) {
    double em = Font()->SizeInPoints() * PixelsPerInchX() / 72.0;
    return em * Thousandths(Char, Fixed(*Font())) / 1000.0;
}

gfx::FontMetricsF TFakeMeasureCanvas::MeasureFont() {
    double emY = Font()->SizeInPoints() * PixelsPerInchY() / 72.0;
    double emX = Font()->SizeInPoints() * PixelsPerInchX() / 72.0;
    gfx::FontMetricsF m;
    m.EmHeight = emY;
    m.Ascent = 0.9 * emY;
    m.Descent = 0.25 * emY;
    m.InternalLeading = 0.15 * emY;
    m.ExternalLeading = 0;
    m.AveCharWidth = (Fixed(*Font()) ? 0.6 : 0.5) * emX;
    m.MaxCharWidth = (Fixed(*Font()) ? 0.6 : 0.833) * emX;
    m.UnderlinePosition = 0.1 * emY;
    m.UnderlineThickness = 0.05 * emY;
    m.StrikeoutPosition = 0.3 * emY;
    m.StrikeoutSize = 0.05 * emY;
    m.Weight = Font()->Style().Contains(fsBold) ? 700 : 400;
    m.FixedPitch = Fixed(*Font());
    return m;
}

std::unique_ptr<TFakeMeasureCanvas> FakeScreenCanvas() { return std::make_unique<TFakeMeasureCanvas>(96, 96); }
std::unique_ptr<TFakeMeasureCanvas> FakePrinterCanvas() { return std::make_unique<TFakeMeasureCanvas>(600, 600); }
std::unique_ptr<TFakeMeasureCanvas> FakeNonSquareCanvas() { return std::make_unique<TFakeMeasureCanvas>(360, 180); }

}  // namespace testsupport
