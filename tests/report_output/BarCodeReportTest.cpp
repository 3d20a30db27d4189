// Barcodes in a generated report: the commands a run makes, painted on a
// printer-resolution canvas, read back as the field values; encoder errors
// during a run end as the report's print error; the 2D control's stream.
#include <gtest/gtest.h>

#include "platform/gfx/Canvas.h"
#include "report/rpBands.h"
#include "report_output/rp2DBarCode.h"
#include "report_output/rpBarCode.h"
#include "report_output/rpScreenDevice.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/report_output/BarCodeDecode.h"
#include "tests/report_output/BarCodePages.h"
#include "tests/report_output/OutputTestSupport.h"

using namespace outputtest;
using namespace reporttest;

namespace {

QImage OnPrinter(TrpDrawCommand* Command, int Dpi) {
    const int w = static_cast<int>(Command->Width() * Dpi / 25400.0) + 40;
    const int h = static_cast<int>(Command->Height() * Dpi / 25400.0) + 40;
    TImageCanvas canvas(w, h, Dpi);
    canvas.Brush()->SetColor(clWhite);
    canvas.FillRect(TRect{0, 0, w, h});
    if (auto* one = dynamic_cast<TrpDrawBarCode*>(Command)) one->DrawOnPrinter(&canvas, TRect{20, 20, w - 20, h - 20});
    if (auto* two = dynamic_cast<TrpDraw2DBarCode*>(Command))
        two->DrawOnPrinter(&canvas, TRect{20, 20, w - 20, h - 20}, 96);
    return canvas.Image().copy();
}

}  // namespace

TEST(BarCodeReport, FieldValuesPrintAsSymbolsThatReadBack) {
    ReportRig rig;
    RowsTable data({"Ean", "Texto"}, {{Variant("400638133393"), Variant("Nota 1 / série A")},
                                      {Variant("590123412345"), Variant("Nota 2 / série B")}});
    TrpBandedReport* r = rig.Report();
    r->SetDataPipeline(data.Pipeline());
    r->CreateDefaultBands();
    TrpDetailBand* detail = r->DetailBand();
    detail->SetmmHeight(60000);
    auto* ean = Place<TrpDBBarCode>(rig, detail, "Ean", 0, 0, 40000, 15000);
    ean->SetBarCodeType(bcEAN_13);
    ean->SetDataPipeline(data.Pipeline());
    ean->SetDataField("Ean");
    auto* pdf = Place<TrpDB2DBarCode>(rig, detail, "Pdf", 50000, 0, 60000, 20000);
    pdf->SetDataPipeline(data.Pipeline());
    pdf->SetDataField("Texto");
    auto* maxi = Place<Trp2DBarCode>(rig, detail, "Maxi", 120000, 0, 30000, 30000);
    maxi->SetBarCodeType(bcMaxiCode);
    maxi->SetData("MAXI 123");
    rig.Print();
    const auto pages = rig.Device()->FinalPages();
    const auto eans = CommandsOf(pages, "Ean");
    const auto pdfs = CommandsOf(pages, "Pdf");
    const auto maxis = CommandsOf(pages, "Maxi");
    ASSERT_EQ(eans.size(), 2u);
    ASSERT_EQ(pdfs.size(), 2u);
    ASSERT_EQ(maxis.size(), 2u);
    const char* expectedEan[] = {"4006381333931", "5901234123457"};
    const char* expectedText[] = {"Nota 1 / série A", "Nota 2 / série B"};
    for (int dpi : {300, 600})
        for (std::size_t i = 0; i < 2; ++i) {
            auto d = barcodetest::Decode(OnPrinter(eans[i].Command, dpi), ZXing::BarcodeFormat::EAN13);
            ASSERT_TRUE(d.Valid);
            EXPECT_EQ(d.Text, expectedEan[i]);
            d = barcodetest::Decode(OnPrinter(pdfs[i].Command, dpi), ZXing::BarcodeFormat::PDF417);
            ASSERT_TRUE(d.Valid);
            EXPECT_EQ(d.Text, expectedText[i]);
        }
    // MaxiCode modules are whole pixels when the module size is.
    auto* cmd = dynamic_cast<TrpDraw2DBarCode*>(maxis[0].Command);
    ASSERT_NE(cmd, nullptr);
    cmd->SetAutoScale(false);
    cmd->SetBarWidth(10);
    cmd->SetBarHeight(12);
    cmd->SetQuietZone(0);
    auto encoder = cmd->MakeEncoder();
    encoder->SetSize(encoder->BarCodeWidth(), encoder->BarCodeHeight());
    const auto d = barcodetest::Decode(encoder->Bitmap(), ZXing::BarcodeFormat::MaxiCode, true);
    ASSERT_TRUE(d.Valid);
    EXPECT_EQ(d.Text, "MAXI 123");
}

TEST(BarCodeReport, AnEncoderErrorDuringARunIsThePrintErrorOfTheReport) {
    ReportRig rig;
    TrpBandedReport* r = rig.Report();
    r->CreateDefaultBands();
    auto* pdf = Place<Trp2DBarCode>(rig, r->DetailBand(), "Pdf", 0, 0, 60000, 20000);
    pdf->SetNumRows(3);
    pdf->SetData(std::string(900, 'A'));  // three rows cannot hold it
    bool printError = false;
    try {
        rig.Print();
    } catch (const EPrintError& e) {
        printError = std::string(e.Message()).find("Code too large for barcode") != std::string::npos;
    }
    EXPECT_TRUE(printError);
}

TEST(BarCodeReport, ANew2DBarcodeIsAPDF417OfItsNameAndStreamsItsBarHeightAndColour) {
    auto form = std::make_unique<TOutputForm>(nullptr);
    auto* bc = new Trp2DBarCode(form.get());
    bc->SetName("Two1");
    EXPECT_EQ(bc->BarCodeType(), bcPDF417);
    EXPECT_EQ(bc->Data(), "2DBarCode");
    EXPECT_GT(bc->mmWidth(), 0);
    auto copy = StreamedCopy(form.get());
    auto* back = dynamic_cast<Trp2DBarCode*>(copy->FindComponent("Two1"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->BarHeight(), 8);
    EXPECT_EQ(back->Color(), clBlack);
}

TEST(BarCodeReport, TheScreenDeviceShowsBarcodesThatReadBack) {
    TrpScreenDevice device(nullptr);
    device.CurrentPage()->PageDef()->SetmmWidth(210000);
    device.CurrentPage()->PageDef()->SetmmHeight(297000);
    device.DisplayPage();
    auto* bars = new TrpDrawBarCode(nullptr);
    bars->SetBarCodeType(bcCode128);
    bars->SetAutoEncode(true);
    bars->SetData("TELA 42");
    TReferenceCanvas measure;
    bars->DrawBarCode(&measure, 0, false, 96, 96, 0);
    bars->SetLeft(10000);
    bars->SetTop(10000);
    bars->SetWidth(static_cast<int32_t>(bars->PixelWidth() * 25400 / 96));
    bars->SetHeight(static_cast<int32_t>(bars->PixelHeight() * 25400 / 96));
    bars->SetPage(device.CurrentPage());
    auto* symbol = new TrpDraw2DBarCode(nullptr);
    symbol->SetData("TELA PDF417");
    symbol->SetLeft(10000);
    symbol->SetTop(60000);
    symbol->Measure(96);
    symbol->SetPage(device.CurrentPage());
    ASSERT_TRUE(device.Draw(bars));
    ASSERT_TRUE(device.Draw(symbol));
    auto d = barcodetest::Decode(device.PageImage()->copy(bars->DrawLeft, bars->DrawTop, bars->DrawRight - bars->DrawLeft,
                                                          bars->DrawBottom - bars->DrawTop),
                                 ZXing::BarcodeFormat::Code128);
    ASSERT_TRUE(d.Valid);
    EXPECT_EQ(d.Text, "TELA 42");
    d = barcodetest::Decode(device.PageImage()->copy(symbol->DrawLeft, symbol->DrawTop,
                                                     symbol->DrawRight - symbol->DrawLeft,
                                                     symbol->DrawBottom - symbol->DrawTop),
                            ZXing::BarcodeFormat::PDF417);
    ASSERT_TRUE(d.Valid);
    EXPECT_EQ(d.Text, "TELA PDF417");
}

TEST(BarCodeReport, SymbolsInAPdfArePicturesOfTheGenericRendererThatReadBack) {
    ReportRig rig;
    TrpBandedReport* r = rig.Report();
    r->CreateDefaultBands();
    r->DetailBand()->SetmmHeight(120000);
    barcodetest::PlaceSamples(rig, r->DetailBand(), 0);
    testsupport::TempDir dir;
    const std::string pdf = dir.file("simbolos.pdf");
    rig.Device()->SetPublisher(nullptr);
    r->SetDeviceType("PDF");
    r->SetShowPrintDialog(false);
    r->SetShowCancelDialog(false);
    r->SetTextFileName(pdf);
    r->PrintReport();
    filetest::Shell("qpdf --qdf --object-streams=disable --stream-data=uncompress " + pdf + " " + pdf + ".qdf");
    const std::string content = testsupport::ReadAll(pdf + ".qdf");
    for (const char* name : {"/rpGeneric0 Do", "/rpGeneric1 Do", "/rpGeneric2 Do"})
        EXPECT_NE(content.find(name), std::string::npos) << name;
    const QImage page = barcodetest::PdfPage(pdf, 1, 300);
    ASSERT_FALSE(page.isNull()) << pdf;
    barcodetest::ExpectSamplesReadBack(page);
}
