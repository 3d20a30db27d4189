#pragma once
// A report page holding a linear, a stacked and a matrix symbol (Code 128,
// PDF417, MaxiCode) as the generic PDF renderer and the printer paint them,
// and
// reading a written PDF's pages back as pictures at a resolution, as
// pdftoppm rasterises them, for the decoder.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <QImage>

#include "report/rpBands.h"
#include "report_output/rp2DBarCode.h"
#include "report_output/rpBarCode.h"
#include "tests/report_output/BarCodeDecode.h"
#include "tests/report_output/OutputTestSupport.h"
#include "tests/report_output/PdfTestSupport.h"
#include "tests/support/TestSupport.h"

namespace barcodetest {

struct Sample {
    const char* Name;
    ZXing::BarcodeFormat Format;
    const char* Text;
    // ZXing reads MaxiCode only as a pure symbol, cut out of the page.
    bool Pure = false;
};

// In the order the band makes their commands.
inline const std::vector<Sample>& Samples() {
    static const std::vector<Sample> samples = {
        {"Linear", ZXing::BarcodeFormat::Code128, "NF 000123-4/A"},
        {"Stacked", ZXing::BarcodeFormat::PDF417, "Nota fiscal 123, série 1"},
        {"Maxi", ZXing::BarcodeFormat::MaxiCode, "FATURA 2026", true},
    };
    return samples;
}

// The samples one under the other on Band, from Top (thousandths of mm);
// the MaxiCode last and without caption, so that it is the page's last ink.
inline void PlaceSamples(reporttest::ReportRig& Rig, TrpBand* Band, int32_t Top) {
    const auto& s = Samples();
    auto* linear = outputtest::Place<TrpBarCode>(Rig, Band, s[0].Name, 10000, Top, 60000, 15000);
    linear->SetBarCodeType(bcCode128);
    linear->SetData(s[0].Text);
    auto* stacked = outputtest::Place<Trp2DBarCode>(Rig, Band, s[1].Name, 10000, Top + 25000, 80000, 25000);
    stacked->SetData(s[1].Text);
    auto* maxi = outputtest::Place<Trp2DBarCode>(Rig, Band, s[2].Name, 10000, Top + 60000, 45000, 45000);
    maxi->SetBarCodeType(bcMaxiCode);
    maxi->SetData(s[2].Text);
    maxi->SetPrintHumanReadable(false);
}

// Page Page of the PDF, rendered by pdftoppm at Dpi.
inline QImage PdfPage(const std::string& Pdf, int Page, int Dpi) {
    testsupport::TempDir dir;
    const std::string stem = dir.file("page");
    filetest::Shell("pdftoppm -r " + std::to_string(Dpi) + " -gray -png -singlefile -f " + std::to_string(Page) +
                    " -l " + std::to_string(Page) + " '" + Pdf + "' '" + stem + "'");
    return QImage(QString::fromStdString(stem + ".png"));
}

// The last block of ink on the page (rows of ink with no blank band of Gap
// rows inside), cut to its ink.
inline QImage LastInk(const QImage& Page, int Gap) {
    const QImage grey = Page.convertToFormat(QImage::Format_Grayscale8);
    auto inkIn = [&](int y, int& l, int& r) {
        const uchar* line = grey.constScanLine(y);
        bool any = false;
        for (int x = 0; x < grey.width(); ++x)
            if (line[x] < 128) {
                l = any ? std::min(l, x) : x;
                r = x;
                any = true;
            }
        return any;
    };
    int bottom = grey.height() - 1, l = 0, r = 0;
    while (bottom >= 0 && !inkIn(bottom, l, r)) --bottom;
    if (bottom < 0) return {};
    int left = l, right = r, top = bottom;
    for (int y = bottom, blank = 0; y >= 0 && blank < Gap; --y) {
        int a = 0, b = 0;
        if (inkIn(y, a, b)) {
            blank = 0;
            top = y;
            left = std::min(left, a);
            right = std::max(right, b);
        } else {
            ++blank;
        }
    }
    return grey.copy(left, top, right - left + 1, bottom - top + 1);
}

// Reads every sample on the page (rendered at 300 dpi) and compares.
inline void ExpectSamplesReadBack(const QImage& Page) {
    for (const auto& s : Samples()) {
        const auto d = s.Pure ? Decode(LastInk(Page, 60), s.Format, true) : Decode(Page, s.Format);
        EXPECT_TRUE(d.Valid) << s.Name;
        EXPECT_EQ(d.Text, s.Text) << s.Name;
    }
}

}  // namespace barcodetest
