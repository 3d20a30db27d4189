// Barcodes as a scanner reads them: the data refused rather than changed,
// check digits only when asked for, and the page's draw command carrying
// the data the bars hold, read back by ZXing from the PDF.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/gfx/Canvas.h"
#include "platform/rtl/Strings.h"
#include "report/rpBands.h"
#include "report_output/rpBarCode.h"
#include "report_output/rpBarCodeEncoders.h"
#include "tests/report_output/BarCodeDecode.h"
#include "tests/report_output/BarCodePages.h"
#include "tests/report_output/OutputTestSupport.h"
#include "tests/report_output/PageInk.h"
#include "tests/support/TestSupport.h"
#include "tests/support/report/ReportHarness.h"

namespace {

QImage Paint(TrpDrawBarCode& C, int Dpi) {
    TReferenceCanvas measure;
    C.DrawBarCode(&measure, 0, false, Dpi, Dpi, 0);
    TImageCanvas canvas(C.PixelWidth() + 2, C.PixelHeight() + 2, Dpi);
    canvas.Brush()->SetColor(clWhite);
    canvas.FillRect(TRect{0, 0, C.PixelWidth() + 2, C.PixelHeight() + 2});
    C.DrawBarCode(&canvas, 1, true, Dpi, Dpi, 1);
    return canvas.Image().copy();
}

// The bars' height in Region: the longest run of ink down a column from the
// top row of the region's ink, in the right quarter of the symbol, where no
// text stands under the bars (it starts at the left).
int BarHeight(const QImage& Image, const QRect& Region) {
    const QRect ink = pageink::InkBox(Image, Region);
    if (ink.isNull()) return 0;
    int longest = 0;
    for (int x = ink.right() - ink.width() / 4; x <= ink.right(); ++x) {
        int y = ink.top();
        while (y <= ink.bottom() && qGray(Image.pixel(x, y)) < 160) ++y;
        longest = std::max(longest, y - ink.top());
    }
    return longest;
}

// Symbol Index ("Bars" and the index) of a report's header, 40 mm under the
// one before; the header and its report made with the first.
TrpBarCode* PlaceSymbol(reporttest::ReportRig& Rig, size_t Index, TrpBarCodeType Type, const std::string& Data) {
    TrpBandedReport* r = Rig.Report();
    if (r->HeaderBand() == nullptr) {
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(210000);
    }
    auto* bars = outputtest::Place<TrpBarCode>(Rig, r->HeaderBand(), "Bars" + std::to_string(Index), 10000,
                                               5000 + static_cast<int>(Index) * 40000, 80000, 25000);
    bars->SetBarCodeType(Type);
    bars->SetData(Data);
    return bars;
}

}  // namespace

TEST(PrintedBarCodes, Code128RefusesByNameACharacterItCannotCarryAndChangesNothing) {
    const std::string startB = Cp1252ToUtf8(std::string(1, static_cast<char>(barcode::kStartB)));
    struct Refusal {
        std::string Data, Character;
        bool AutoEncode;
    };
    const Refusal refused[] = {
        {"Nota 2026 ção", "ç", true}, {"AÇÃO", "Ç", true}, {"ó", "ó", true}, {"Nº 5", "º", true},
        {"€", "€", true},             {"Índice", "Í", true}, {"É isso", "É", true},
        {startB + "AÇÃO", "Ç", false}, {startB + "Nº 5", "º", false},
    };
    for (const Refusal& r : refused) {
        barcode::EncodeRequest request;
        request.Type = bcCode128;
        request.Data = r.Data;
        request.AutoEncode = r.AutoEncode;
        const barcode::EncodeResult got = barcode::Encode(request);
        EXPECT_FALSE(got.Valid) << r.Data << " encoded as " << got.Data;
        EXPECT_TRUE(got.Columns.empty()) << r.Data;
        EXPECT_NE(got.Message.find("não carrega o caractere " + r.Character), std::string::npos)
            << r.Data << ": " << got.Message;
    }
    // What it does carry reads back as typed, a control character included.
    for (const std::string text : {std::string("Nota 2026-12"), std::string("Pedido\t42")}) {
        TrpDrawBarCode cmd(nullptr);
        cmd.SetBarCodeType(bcCode128);
        cmd.SetAutoEncode(true);
        cmd.SetData(text);
        cmd.SetmmBarWidth(254);
        const auto d = barcodetest::Decode(Paint(cmd, 300), ZXing::BarcodeFormat::Code128);
        ASSERT_TRUE(d.Valid) << text;
        EXPECT_EQ(d.Text, text);
    }
}

TEST(PrintedBarCodes, MsiAppendsItsCheckDigitOnlyWhenAsked) {
    // Start, twelve modules a digit, stop.
    for (const bool calc : {false, true}) {
        barcode::EncodeRequest request;
        request.Type = bcMSI;
        request.Data = "0139725";
        request.CalcCheckDigit = calc;
        const barcode::EncodeResult got = barcode::Encode(request);
        ASSERT_TRUE(got.Valid);
        EXPECT_EQ(got.Columns.size(), 3u + 12u * (calc ? 8u : 7u) + 6u) << calc;
        EXPECT_EQ(got.Data.size(), calc ? 8u : 7u) << got.Data;
        EXPECT_EQ(got.Data.substr(0, 7), "0139725");
    }
}

TEST(PrintedBarCodes, ThePagesCommandCarriesTheDataTheBarsHold) {
    reporttest::ReportRig rig;
    struct Symbol {
        TrpBarCodeType Type;
        std::string Data;
        ZXing::BarcodeFormat Format;
    };
    const Symbol symbols[] = {{bcUPC_A, "01234567890", ZXing::BarcodeFormat::UPCA},
                              {bcEAN_13, "400638133393", ZXing::BarcodeFormat::EAN13},
                              {bcEAN_8, "9638507", ZXing::BarcodeFormat::EAN8},
                              {bcInt2of5, "12345", ZXing::BarcodeFormat::ITF},
                              {bcMSI, "0139725", ZXing::BarcodeFormat::None}};
    for (size_t i = 0; i < std::size(symbols); ++i)
        PlaceSymbol(rig, i, symbols[i].Type, symbols[i].Data)->SetCalcCheckDigit(true);
    rig.Print();
    const auto pages = rig.Device()->FinalPages();
    ASSERT_EQ(pages.size(), 1u);
    testsupport::TempDir dir;
    const std::string pdf = pageink::WritePdf({pages[0]->Page.get()}, dir.file("bars.pdf"));
    const QImage page = pageink::PdfPicture(pdf, 1, 300);
    ASSERT_FALSE(page.isNull());
    for (size_t i = 0; i < std::size(symbols); ++i) {
        const auto placed = outputtest::CommandsOf(pages, "Bars" + std::to_string(i));
        ASSERT_EQ(placed.size(), 1u);
        auto* cmd = dynamic_cast<TrpDrawBarCode*>(placed[0].Command);
        ASSERT_NE(cmd, nullptr);
        // One check digit more than typed, and the bars hold just that.
        EXPECT_EQ(cmd->Data().size(), symbols[i].Data.size() + 1) << cmd->Data();
        EXPECT_EQ(cmd->Data().substr(0, symbols[i].Data.size()), symbols[i].Data);
        if (symbols[i].Format != ZXing::BarcodeFormat::None) {
            const auto d = barcodetest::Decode(page.copy(pageink::BoxOf(cmd, 300, 20)), symbols[i].Format);
            ASSERT_TRUE(d.Valid) << symbols[i].Data;
            EXPECT_EQ(d.Text, cmd->Data());
        } else {
            // Drawn again from the page, MSI keeps its one check digit.
            TrpDrawBarCode again(nullptr);
            again.Assign(cmd);
            Paint(again, 300);
            EXPECT_EQ(again.EncodedData(), cmd->Data());
        }
    }
}

TEST(PrintedBarCodes, ThePreviewDrawsTheBarsAsTallAsThePdfAtEveryZoom) {
    reporttest::ReportRig rig;
    struct Symbol {
        TrpBarCodeType Type;
        const char* Data;
    };
    const Symbol symbols[] = {
        {bcCode39, "NOTA123"}, {bcCodabar, "A123456B"}, {bcCode128, "NF 000123"}, {bcMSI, "0139725"}};
    for (size_t i = 0; i < std::size(symbols); ++i) PlaceSymbol(rig, i, symbols[i].Type, symbols[i].Data);
    rig.Print();
    const auto pages = rig.Device()->FinalPages();
    ASSERT_EQ(pages.size(), 1u);
    testsupport::TempDir dir;
    const std::string pdf = pageink::WritePdf({pages[0]->Page.get()}, dir.file("bars.pdf"));
    const QImage page = pageink::PdfPicture(pdf, 1, 96);
    ASSERT_FALSE(page.isNull());
    pageink::Keep(page, "pdf-bars.png");
    for (const pageink::Zoom& z : pageink::ReaderZooms()) {
        const pageink::ScreenShot shot = pageink::ScreenPicture(pages[0]->Page.get(), z.Setting, z.Percentage);
        pageink::Keep(shot.Image, std::string("preview-bars-") + z.Name + ".png");
        const double k = shot.Dpi / 96;
        for (size_t i = 0; i < std::size(symbols); ++i) {
            const TrpDrawCommand* cmd = outputtest::CommandsOf(pages, "Bars" + std::to_string(i))[0].Command;
            const int inPdf = BarHeight(page, pageink::BoxOf(cmd, 96, 2));
            ASSERT_GT(inPdf, 10) << symbols[i].Data;
            EXPECT_NEAR(BarHeight(shot.Image, pageink::BoxOf(cmd, shot.Dpi, 2)), inPdf * k, 1.5 + 0.04 * inPdf * k)
                << symbols[i].Data << " at " << z.Name;
        }
    }
}
