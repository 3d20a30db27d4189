// One-dimensional barcodes painted by their draw command through TCanvas on
// an image, read back by ZXing (Codabar also by zbarimg, which keeps the
// start and stop letters), in every orientation at 300 and 600 dpi; and
// the control's rules for its properties and data.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "platform/gfx/Canvas.h"
#include "platform/rtl/Strings.h"
#include "report_output/rpBarCode.h"
#include "tests/report_output/BarCodeDecode.h"
#include "tests/support/TestSupport.h"

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

struct Recorder {
    std::vector<std::string> Messages;
    TrpBarCodeMessageSink Previous;
    Recorder() {
        Previous = rpSetBarCodeMessageSink([this](const std::string& M) { Messages.push_back(M); });
    }
    ~Recorder() { rpSetBarCodeMessageSink(std::move(Previous)); }
};

std::string Zbar(const QImage& Image) {
    const std::string path = testing::TempDir() + "/codabar_zbar.png";
    QImage framed(Image.width() + 80, Image.height() + 80, QImage::Format_RGB32);
    framed.fill(Qt::white);
    {
        QPainter p(&framed);
        p.drawImage(40, 40, Image);
    }
    framed.save(QString::fromStdString(path));
    std::string out;
    if (FILE* f = popen(("zbarimg --raw -q '" + path + "' 2>/dev/null").c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, f)) out += buf;
        pclose(f);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

}  // namespace

TEST(BarCodeDrawing, EveryReadableTypeDecodesInEveryOrientationAtPrinterResolutions) {
    Recorder recorder;
    const std::string startA = Cp1252ToUtf8("\xD0");
    struct Case {
        TrpBarCodeType Type;
        std::string Data, AddOn, Expected;
        bool AutoEncode;
    };
    const Case cases[] = {
        {bcUPC_A, "01234567890", "", "012345678905", false},
        {bcUPC_A, "01234567890", "12", "012345678905 12", false},
        {bcUPC_E, "012345", "", "00123457", false},
        {bcEAN_13, "400638133393", "", "4006381333931", false},
        {bcEAN_13, "400638133393", "51234", "4006381333931 51234", false},
        {bcEAN_8, "9638507", "", "96385074", false},
        {bcInt2of5, "0123456789", "", "0123456789", false},
        {bcInt2of5, "12345", "", "123457", false},
        {bcCode128, "AB1234", "", "AB1234", true},
        {bcCode128, "Nota 2026-12", "", "Nota 2026-12", true},
        {bcCode128, startA + "HELLO", "", "HELLO", false},
        {bcCode39, "BARCODE-39", "", "BARCODE-39", false},
        {bcCodabar, "A01234B", "", "01234", false},
    };
    for (int dpi : {300, 600})
        for (TrpBarCodeOrientation o : {orLeftToRight, orRightToLeft, orTopToBottom, orBottomToTop})
            for (const Case& c : cases) {
                SCOPED_TRACE(c.Data + " " + c.AddOn + " dpi " + std::to_string(dpi) + " orientation " +
                             std::to_string(o));
                TrpDrawBarCode cmd(nullptr);
                cmd.SetBarCodeType(c.Type);
                cmd.SetData(c.Data);
                cmd.SetAddOnCode(c.AddOn);
                cmd.SetAutoEncode(c.AutoEncode);
                cmd.SetOrientation(o);
                cmd.SetmmBarWidth(barcode::IsUpcEan(c.Type) ? 330 : 254);
                const QImage image = Paint(cmd, dpi);
                const auto d = barcodetest::Decode(image, ZXing::BarcodeFormat::LinearCodes);
                ASSERT_TRUE(d.Valid);
                EXPECT_EQ(d.Text, c.Expected);
                if (c.Type == bcCodabar && o == orLeftToRight) {
                    EXPECT_EQ(Zbar(image), "A01234B");
                }
            }
    EXPECT_TRUE(recorder.Messages.empty());
}

TEST(BarCodeDrawing, BarsFillWholePixelsInBarColourOnly) {
    TrpDrawBarCode cmd(nullptr);
    cmd.SetBarCodeType(bcCode128);
    cmd.SetAutoEncode(true);
    cmd.SetData("1234");
    cmd.SetPrintHumanReadable(false);
    const QImage image = Paint(cmd, 300);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            ASSERT_TRUE(qGray(p) == 0 || qGray(p) == 255) << x << "," << y;
        }
    // A module of 0.01 inch is three columns at 300 dpi.
    EXPECT_EQ(cmd.ModulePixels(300), 3);
    EXPECT_EQ(cmd.Columns().size() % 3, 0u);
}

TEST(BarCodeDrawing, RefusedDataIsReportedToTheSinkAndDrawsOnlyTheBackground) {
    Recorder recorder;
    TrpDrawBarCode cmd(nullptr);
    cmd.SetBarCodeType(bcCode128);
    cmd.SetData(Cp1252ToUtf8("\xD2") + "123");  // a lone digit left in set C
    const QImage image = Paint(cmd, 300);
    ASSERT_EQ(recorder.Messages.size(), 1u);
    EXPECT_NE(recorder.Messages[0].find("segundo dígito"), std::string::npos);
    EXPECT_FALSE(cmd.DataValid());
    for (int y = 1; y + 1 < image.height(); ++y)
        for (int x = 1; x + 1 < image.width(); ++x) ASSERT_EQ(qGray(image.pixel(x, y)), 255);
    // While printing nothing is shown.
    TrpDrawBarCode printing(nullptr);
    printing.SetBarCodeType(bcCode128);
    printing.SetData(cmd.Data());
    printing.SetPrinting(true);
    Paint(printing, 300);
    EXPECT_EQ(recorder.Messages.size(), 1u);
}

TEST(BarCodeControl, PropertyRulesKeepTheOldValueAndSay) {
    Recorder recorder;
    TrpBarCode bc(nullptr);
    bc.SetBarCodeType(bcPostnet);
    EXPECT_TRUE(bc.AutoSize());
    EXPECT_FALSE(bc.PrintHumanReadable());
    EXPECT_EQ(bc.Data(), "012345678");
    EXPECT_EQ(bc.mmBarWidth(), 508);

    bc.SetBarCodeType(bcUPC_A);
    bc.SetAddOnCode("123");
    EXPECT_EQ(bc.AddOnCode(), "");
    bc.SetAddOnCode("12");
    EXPECT_EQ(bc.AddOnCode(), "12");
    bc.SetBarCodeType(bcCode39);
    bc.SetAddOnCode("12");
    EXPECT_EQ(bc.AddOnCode(), "");

    bc.SetAutoEncode(true);
    EXPECT_FALSE(bc.AutoEncode());
    bc.SetBarCodeType(bcCode128);
    EXPECT_TRUE(bc.AutoEncode());

    bc.SetUnits(utInches);
    bc.SetBarWidth(0.004f);
    EXPECT_NEAR(bc.BarWidth(), 0.004, 1e-4);
    bc.SetBarWidth(0.1f);
    EXPECT_NEAR(bc.BarWidth(), 0.1, 1e-4);
    const std::size_t before = recorder.Messages.size();
    bc.SetBarWidth(0.2f);
    EXPECT_NEAR(bc.BarWidth(), 0.1, 1e-4);
    EXPECT_EQ(recorder.Messages.size(), before + 1);

    bc.SetBarCodeType(bcEAN_13);
    bc.SetData("12345");
    EXPECT_FALSE(bc.DataValid());
    bc.SetData("400638133393");
    EXPECT_TRUE(bc.DataValid());
}

TEST(BarCodeControl, ADataAwareBarcodeWithoutDataShowsItsSampleOnlyWhenNotPrinting) {
    TrpDBBarCode bc(nullptr);
    EXPECT_EQ(bc.GetData(), "DBBarCode");
    bc.SetBarCodeType(bcEAN_8);
    EXPECT_EQ(bc.GetData(), "20123451");
}

TEST(BarCodeControl, ScriptsReadAndWriteItsPropertiesByName) {
    TrsRTTIClass adapter = TrsRTTIClassRegistry::GetRTTIClass(TrpBarCode::StaticClassType());
    ASSERT_NE(adapter, nullptr);
    TrpBarCode bc(nullptr);
    TrsMemberDescriptor rec;
    ASSERT_TRUE(adapter->GetPropRec(TrpBarCode::StaticClassType(), "BarCodeType", rec));
    EXPECT_EQ(rec.EnumTypeName, "TrpBarCodeType");
    EXPECT_TRUE(adapter->SetPropValue(&bc, "Data", TrsValue(std::string("ABC-1"))));
    EXPECT_EQ(bc.Data(), "ABC-1");
    TrsValue v;
    ASSERT_TRUE(adapter->GetPropValue(&bc, "CalcCheckDigit", v));
    EXPECT_EQ(std::get<bool>(v), true);
}
