// Barcodes through the printer device: painted straight onto the printer's
// 600 dpi page and read back from it.
#include <gtest/gtest.h>

#include "report/rpDrawCommand.h"
#include "report_output/rp2DBarCode.h"
#include "report_output/rpBarCode.h"
#include "report_output/rpPrinterDevice.h"
#include "tests/report_output/BarCodeDecode.h"
#include "tests/report_output/PrinterTestSupport.h"

TEST(BarCodePrinter, BarcodesOnAPrintedPageReadBack) {
    printertest::FakeBackend backend;
    printertest::AddStandardQueues(backend);
    printertest::InstalledList installed(&backend);
    TrpPrinterDevice device(nullptr);
    printertest::ImageSink sink;
    device.Printer()->PageSinkFactory = [&sink] {
        auto s = std::make_unique<printertest::ImageSink>();
        s->Pages = sink.Pages;
        return s;
    };
    TrpPageRequest all;
    all.SetPageSetting(psAll);
    device.SetPageRequest(&all);
    TrpPage page(nullptr);
    page.PrinterSetup()->SetPrinterName("Etiquetas");
    page.PrinterSetup()->SetPaperName("Custom");
    page.PrinterSetup()->PageDef()->SetmmWidth(100000);
    page.PrinterSetup()->PageDef()->SetmmHeight(80000);
    page.SetFinal(true);
    page.SetAbsolutePageNo(1);
    page.SetPageNo(1);
    auto* bars = new TrpDrawBarCode(nullptr);
    bars->SetBarCodeType(bcEAN_13);
    bars->SetData("789100031550");
    bars->SetmmBarWidth(330);
    bars->SetLeft(5000);
    bars->SetTop(5000);
    bars->SetWidth(45000);
    bars->SetHeight(25000);
    bars->SetPage(&page);
    auto* symbol = new TrpDraw2DBarCode(nullptr);
    symbol->SetData("Impressora 600 dpi");
    symbol->SetLeft(5000);
    symbol->SetTop(40000);
    symbol->Measure(96);
    symbol->SetPage(&page);
    device.StartJob();
    device.ReceivePage(&page);
    device.EndJob();
    ASSERT_EQ(sink.Pages->size(), 1u);
    const QImage& image = *(*sink.Pages)[0].Image;
    auto cut = [&](TrpDrawCommand* C) {
        return image.copy(C->DrawLeft, C->DrawTop, C->DrawRight - C->DrawLeft + 200, C->DrawBottom - C->DrawTop + 200);
    };
    auto d = barcodetest::Decode(cut(bars), ZXing::BarcodeFormat::EAN13);
    ASSERT_TRUE(d.Valid);
    EXPECT_EQ(d.Text, "7891000315507");
    d = barcodetest::Decode(cut(symbol), ZXing::BarcodeFormat::PDF417);
    ASSERT_TRUE(d.Valid);
    EXPECT_EQ(d.Text, "Impressora 600 dpi");
}
