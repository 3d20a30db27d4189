#pragma once
// A report page holding a linear and a stacked symbol (Code 128, PDF417)
// as the generic PDF renderer and the printer paint them, and
// reading a written PDF's pages back as pictures at a resolution, as
// pdftoppm rasterises them, for the decoder.
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
};

// In the order the band makes their commands.
inline const std::vector<Sample>& Samples() {
    static const std::vector<Sample> samples = {
        {"Linear", ZXing::BarcodeFormat::Code128, "NF 000123-4/A"},
        {"Stacked", ZXing::BarcodeFormat::PDF417, "Nota fiscal 123, série 1"},
    };
    return samples;
}

// The samples one under the other on Band, from Top (thousandths of mm).
inline void PlaceSamples(reporttest::ReportRig& Rig, TrpBand* Band, int32_t Top) {
    const auto& s = Samples();
    auto* linear = outputtest::Place<TrpBarCode>(Rig, Band, s[0].Name, 10000, Top, 60000, 15000);
    linear->SetBarCodeType(bcCode128);
    linear->SetData(s[0].Text);
    auto* stacked = outputtest::Place<Trp2DBarCode>(Rig, Band, s[1].Name, 10000, Top + 25000, 80000, 25000);
    stacked->SetData(s[1].Text);
}

// Page Page of the PDF, rendered by pdftoppm at Dpi.
inline QImage PdfPage(const std::string& Pdf, int Page, int Dpi) {
    testsupport::TempDir dir;
    const std::string stem = dir.file("page");
    filetest::Shell("pdftoppm -r " + std::to_string(Dpi) + " -gray -png -singlefile -f " + std::to_string(Page) +
                    " -l " + std::to_string(Page) + " '" + Pdf + "' '" + stem + "'");
    return QImage(QString::fromStdString(stem + ".png"));
}

}  // namespace barcodetest
