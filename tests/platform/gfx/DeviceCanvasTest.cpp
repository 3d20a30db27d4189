// Devices: a printer page reached through its interface, the off-screen
// canvas that matches a device, bitmaps drawn transparent and stretched, and
// the geometry rules of shapes, lines and turned texts.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <memory>

#include "platform/gfx/DeviceCanvas.h"
#include "platform/gfx/Shapes.h"

namespace {

// A printer page as the printer layer gives one: a painter with a transform
// of its own (the page's margins) over a surface at 300 dpi.
class TestPage : public gfx::IPageDevice {
public:
    TestPage() : image(1000, 600, QImage::Format_RGB32) {
        image.fill(Qt::white);
        painter.begin(&image);
        painter.translate(50, 40);
    }
    ~TestPage() override { painter.end(); }
    QPainter* Painter() override { return &painter; }
    int PixelsPerInchX() const override { return 300; }
    int PixelsPerInchY() const override { return 300; }
    TSize Size() const override { return TSize{900, 520}; }
    QImage image;
    QPainter painter;
};

// A 4 x 2 bitmap: white, black, white, red / black, white, white, black.
std::unique_ptr<TBitmap> Sample() {
    auto b = std::make_unique<TBitmap>();
    b->SetSize(4, 2);
    TCanvas* c = b->Canvas();
    c->SetPixel(1, 0, clBlack);
    c->SetPixel(3, 0, clRed);
    c->SetPixel(0, 1, clBlack);
    c->SetPixel(3, 1, clBlack);
    return b;
}

}  // namespace

TEST(PrinterPage, ACanvasDrawsOnAPageThroughItsInterface) {
    TestPage page;
    TCanvas c(&page);
    EXPECT_EQ(c.PixelsPerInchX(), 300);
    EXPECT_EQ(c.Font()->PixelsPerInch(), 300);
    EXPECT_TRUE(c.CanDraw());
    c.Brush()->SetColor(clRed);
    c.Pen()->SetStyle(psClear);
    c.FillRect(Rect(0, 0, 10, 10));
    page.painter.end();
    EXPECT_EQ(page.image.pixel(50, 40), 0xFFFF0000u);  // inside the page's margins
    EXPECT_EQ(page.image.pixel(59, 49), 0xFFFF0000u);
    EXPECT_EQ(page.image.pixel(60, 40), 0xFFFFFFFFu);
    EXPECT_EQ(page.image.pixel(0, 0), 0xFFFFFFFFu);
    page.painter.begin(&page.image);

    // Measuring on the page is the reference measure at the page's scale.
    TReferenceCanvas ref;
    for (TCanvas* k : std::initializer_list<TCanvas*>{&c, &ref}) {
        k->Font()->SetName("Courier New");
        k->Font()->SetSize(10);
    }
    EXPECT_NEAR(c.TextWidthF("Nota Fiscal 000123"), ref.TextWidthF("Nota Fiscal 000123") / 2, 1e-9);
    // 18 characters of 1229/2048 em at 10 points and 300 dpi.
    EXPECT_NEAR(c.TextWidthF("Nota Fiscal 000123"), 18 * 1229.0 / 2048 * 10 * 300 / 72, 1e-9);
}

TEST(PrinterPage, TheReferenceDeviceMeasuresAndDrawsNothing) {
    TReferenceCanvas ref;
    EXPECT_FALSE(ref.CanDraw());
    EXPECT_EQ(ref.PixelsPerInchX(), 600);
    ref.Rectangle(0, 0, 100, 100);
    ref.TextOut(0, 0, "nada");
    EXPECT_EQ(ref.Pixel(1, 1), clNone);
    EXPECT_GT(ref.TextWidth("nada"), 0);
}

TEST(DeviceHelpers, ATransparentBitmapLeavesItsWhitePixelsOut) {
    auto b = Sample();
    TImageCanvas c(8, 4, 96);
    c.Brush()->SetColor(clYellow);
    c.FillRect(Rect(0, 0, 8, 4));
    rpDrawTransparentBitmap(&c, Rect(0, 0, 8, 4), b.get(), SRCAND);  // stretched twice each way
    QImage& img = c.Image();
    EXPECT_EQ(img.pixel(0, 0), 0xFFFFFF00u);  // white: the yellow stays
    EXPECT_EQ(img.pixel(1, 1), 0xFFFFFF00u);
    EXPECT_EQ(img.pixel(2, 0), 0xFF000000u);
    EXPECT_EQ(img.pixel(3, 1), 0xFF000000u);
    EXPECT_EQ(img.pixel(6, 1), 0xFFFF0000u);  // colours other than white stay
    EXPECT_EQ(img.pixel(0, 2), 0xFF000000u);
    EXPECT_EQ(img.pixel(4, 3), 0xFFFFFF00u);
}

TEST(DeviceHelpers, StretchDrawCopiesNearestPixelsWithTheRasterOperation) {
    auto b = Sample();
    TImageCanvas c(12, 6, 96);
    c.Brush()->SetColor(clBlue);
    c.FillRect(Rect(0, 0, 12, 6));
    rpStretchDrawDIB(&c, Rect(0, 0, 12, 6), b.get(), SRCCOPY);  // three times each way
    QImage& img = c.Image();
    EXPECT_EQ(img.pixel(0, 0), 0xFFFFFFFFu);  // copied, white included
    EXPECT_EQ(img.pixel(2, 2), 0xFFFFFFFFu);
    EXPECT_EQ(img.pixel(3, 0), 0xFF000000u);
    EXPECT_EQ(img.pixel(5, 2), 0xFF000000u);
    EXPECT_EQ(img.pixel(9, 0), 0xFFFF0000u);
    EXPECT_EQ(img.pixel(11, 5), 0xFF000000u);
    // SRCAND is the transparent drawing on every device.
    TImageCanvas d(4, 2, 96);
    d.Brush()->SetColor(clBlue);
    d.FillRect(Rect(0, 0, 4, 2));
    rpStretchDrawDIB(&d, Rect(0, 0, 4, 2), b.get(), SRCAND);
    EXPECT_EQ(d.Image().pixel(0, 0), 0xFF0000FFu);
    EXPECT_EQ(d.Image().pixel(1, 0), 0xFF000000u);
    // An empty bitmap draws nothing.
    TBitmap empty;
    rpStretchDrawDIB(&d, Rect(0, 0, 4, 2), &empty, SRCCOPY);
    EXPECT_EQ(d.Image().pixel(0, 0), 0xFF0000FFu);
}

TEST(DeviceHelpers, ACompatibleCanvasMatchesItsDeviceAndRendersOntoIt) {
    TImageCanvas device(400, 200, 600);
    device.Font()->SetName("Arial");
    device.Font()->SetSize(10);
    device.Brush()->SetColor(clAqua);
    device.FillRect(Rect(0, 0, 400, 200));
    TrpDeviceCompatibleCanvas off(&device, 100, 50);
    EXPECT_EQ(off.PixelsPerInchY(), 600);
    EXPECT_EQ(off.Font()->Size(), 10);  // the same points at the device's resolution
    EXPECT_EQ(off.Font()->Height(), -83);
    EXPECT_EQ(off.Font()->Name(), "Arial");
    EXPECT_EQ(off.Image().pixel(99, 49), 0xFFFFFFFFu);  // white to start with
    EXPECT_DOUBLE_EQ(off.TextWidthF("Página"), device.TextWidthF("Página"));
    off.Brush()->SetColor(clBlack);
    off.FillRect(Rect(10, 10, 20, 20));
    off.RenderToDevice(Rect(100, 100, 200, 150), SRCAND);
    QImage& img = device.Image();
    EXPECT_EQ(img.pixel(100, 100), 0xFF00FFFFu);  // white left out
    EXPECT_EQ(img.pixel(115, 115), 0xFF000000u);
    off.RenderToDevice(Rect(0, 0, 100, 50), SRCCOPY);
    EXPECT_EQ(device.Image().pixel(0, 0), 0xFFFFFFFFu);
}

TEST(ShapeRules, ShapesLinesAndAnglesWorkedByHand) {
    gfx::ShapeGeometry circle = gfx::ShapeInBox(stCircle, 100, 40, 3);
    EXPECT_EQ(circle.Bounds, (TRect{31, 1, 69, 39}));
    EXPECT_EQ(circle.Bounds.Width(), 38);
    EXPECT_EQ(circle.Bounds.Height(), 38);
    EXPECT_EQ(circle.XRadius, 10);
    EXPECT_EQ(circle.YRadius, 10);
    EXPECT_EQ(circle.Kind, stEllipse);
    gfx::ShapeGeometry square = gfx::ShapeInBox(stRoundSquare, 30, 50, 1);  // pen 1: no inset
    EXPECT_EQ(square.Bounds, (TRect{0, 10, 30, 40}));
    EXPECT_EQ(square.Kind, stRoundRect);
    EXPECT_EQ(square.XRadius, 7);
    gfx::ShapeGeometry rect = gfx::ShapeInBox(stRectangle, 100, 40, 4);
    EXPECT_EQ(rect.Bounds, (TRect{2, 2, 98, 38}));
    EXPECT_EQ(gfx::ShapeInBox(stSquare, 10, 10, 0).Kind, stRectangle);

    EXPECT_EQ(gfx::PenWidthForWeight(0.75, 96), 1);
    EXPECT_EQ(gfx::PenWidthForWeight(0.75, 120), 1);  // 1.25
    EXPECT_EQ(gfx::PenWidthForWeight(1.5, 96), 2);
    EXPECT_EQ(gfx::PenWidthForWeight(1.5, 600), 12);  // 12.5, halves to even
    EXPECT_EQ(gfx::PenWidthForWeight(2.25, 96), 3);
    EXPECT_DOUBLE_EQ(gfx::WeightForPenWidth(1, 96), 0.75);
    EXPECT_EQ(gfx::RoundHalfEven(2.5), 2);
    EXPECT_EQ(gfx::RoundHalfEven(3.5), 4);
    EXPECT_EQ(gfx::RoundHalfEven(-2.5), -2);

    int angle = 45;
    EXPECT_TRUE(gfx::NormalizeTextAngle(-90, angle));
    EXPECT_EQ(angle, 270);
    EXPECT_TRUE(gfx::NormalizeTextAngle(-359, angle));
    EXPECT_EQ(angle, 1);
    EXPECT_FALSE(gfx::NormalizeTextAngle(360, angle));
    EXPECT_FALSE(gfx::NormalizeTextAngle(-360, angle));
    EXPECT_EQ(angle, 1);
    EXPECT_TRUE(gfx::NormalizeTextAngle(0, angle));
    EXPECT_EQ(angle, 0);
}
