#pragma once
// A measuring canvas that needs no font: every character's advance is a
// fixed share of the em from a small table, the same on every machine, so
// that layout can be tested with widths worked out by hand. It draws
// nothing. The em is points x dpi / 72 on each axis, as on a real canvas.
//
// Advances, in thousandths of the em: blank and the narrow characters
// "iljI.,:;!|'" 250; "mwMW" 833; other capitals 667; everything else 500.
// A fixed-pitch font (Pitch fpFixed, or a name starting "Courier") gives 600
// for every character. Ascent 900, descent 250 (a cell of 1.15 em), no
// external leading, average width 500, maximum 833.
#include <memory>

#include "platform/gfx/Canvas.h"

namespace testsupport {

namespace detail {
struct FakeDevice {
    FakeDevice(int dpiX, int dpiY) : device(dpiX, dpiY) {}
    gfx::MeasureOnlyDevice device;
};
}  // namespace detail

class TFakeMeasureCanvas : private detail::FakeDevice, public TCanvas {
public:
    TFakeMeasureCanvas(int PixelsPerInchX, int PixelsPerInchY);
    // The em advance of a character, in thousandths.
    static int Thousandths(char32_t Char, bool FixedPitch);

protected:
    double CharAdvance(char32_t Char) override;
    gfx::FontMetricsF MeasureFont() override;
};

// The screen (96 dpi), a laser printer (600 dpi) and a dot-matrix printer
// whose dots are not square (360 x 180 dpi).
std::unique_ptr<TFakeMeasureCanvas> FakeScreenCanvas();
std::unique_ptr<TFakeMeasureCanvas> FakePrinterCanvas();
std::unique_ptr<TFakeMeasureCanvas> FakeNonSquareCanvas();

}  // namespace testsupport
