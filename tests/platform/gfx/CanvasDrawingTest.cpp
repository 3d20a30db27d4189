// Drawing: pixels worked out by hand for lines, frames, fills and clipping;
// turned text where it must land; and a whole scene at 96 and 600 dpi
// compared pixel by pixel with committed pictures (tests/data/gfx/golden;
// set FAT_UPDATE_GOLDENS=1 to write them again after a deliberate change).
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Shapes.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kBlack = 0xFF000000;

QRgb At(TImageCanvas& c, int x, int y) { return c.Image().pixel(x, y); }

// The pixels of row y from x0 to x1 (inclusive) as '#' (not white) and '.'.
std::string Row(TImageCanvas& c, int y, int x0, int x1) {
    std::string s;
    for (int x = x0; x <= x1; ++x) s += At(c, x, y) == kWhite ? '.' : '#';
    return s;
}

// The bounding box of every pixel that is not white.
TRect Ink(const QImage& img, const TRect& within) {
    TRect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (int y = std::max(0, within.Top); y < std::min(img.height(), within.Bottom); ++y)
        for (int x = std::max(0, within.Left); x < std::min(img.width(), within.Right); ++x)
            if (img.pixel(x, y) != kWhite) {
                box.Left = std::min(box.Left, x);
                box.Top = std::min(box.Top, y);
                box.Right = std::max(box.Right, x + 1);
                box.Bottom = std::max(box.Bottom, y + 1);
            }
    return box;
}

}  // namespace

TEST(CanvasLines, LineToLeavesOutItsLastPixelAndPensDashInDevicePixels) {
    TImageCanvas c(80, 20, 96);
    c.MoveTo(2, 2);
    c.LineTo(7, 2);
    EXPECT_EQ(Row(c, 2, 0, 9), "..#####...");
    EXPECT_EQ(c.PenPos(), (TPoint{7, 2}));

    struct Case {
        TPenStyle style;
        const char* pixels;
    } cases[] = {
        {psDot, "###...###...###...###...###...###...###...###...###...###..."},
        {psDash, "##################......##################......############"},
        {psDashDot, "#########......###......#########......###......#########..."},
        {psDashDotDot, "#########...###...###...#########...###...###...#########..."},
    };
    int y = 5;
    for (const Case& k : cases) {
        c.Pen()->SetStyle(k.style);
        c.MoveTo(0, y);
        c.LineTo(60, y);
        EXPECT_EQ(Row(c, y, 0, 59), k.pixels) << k.style;
        y += 2;
    }
    // The pattern goes on along a polyline and starts again at MoveTo.
    c.Pen()->SetStyle(psDot);
    c.MoveTo(0, 15);
    c.LineTo(4, 15);
    c.LineTo(10, 15);
    EXPECT_EQ(Row(c, 15, 0, 10), "###...###..");
    c.Pen()->SetStyle(psClear);
    c.MoveTo(0, 17);
    c.LineTo(30, 17);
    EXPECT_EQ(Row(c, 17, 0, 29), std::string(30, '.'));
}

TEST(CanvasLines, SlopedLinesAreOnePixelPerStep) {
    TImageCanvas c(20, 20, 96);
    c.MoveTo(0, 0);
    c.LineTo(10, 5);
    int lit = 0;
    for (int x = 0; x < 20; ++x)
        for (int yy = 0; yy < 20; ++yy)
            if (At(c, x, yy) != kWhite) ++lit;
    EXPECT_EQ(lit, 10);  // one per column, the last left out
    EXPECT_NE(At(c, 0, 0), kWhite);
    EXPECT_EQ(At(c, 10, 5), kWhite);
}

TEST(CanvasShapes, RectanglesExcludeTheirRightAndBottomEdges) {
    TImageCanvas c(40, 30, 96);
    c.Brush()->SetColor(clRed);
    c.Rectangle(10, 10, 20, 15);
    EXPECT_EQ(Row(c, 10, 8, 21), "..##########..");
    EXPECT_EQ(At(c, 10, 12), kBlack);
    EXPECT_EQ(At(c, 19, 12), kBlack);
    EXPECT_EQ(At(c, 15, 12), 0xFFFF0000u);  // the brush inside
    EXPECT_EQ(At(c, 15, 14), kBlack);
    EXPECT_EQ(At(c, 15, 15), kWhite);
    EXPECT_EQ(At(c, 20, 12), kWhite);

    // Without a pen the fill is one pixel smaller each way.
    c.Pen()->SetStyle(psClear);
    c.Brush()->SetColor(clBlue);
    c.Rectangle(25, 10, 30, 15);
    EXPECT_EQ(Row(c, 10, 24, 30), ".####..");
    EXPECT_EQ(At(c, 25, 14), kWhite);

    // A wide pen: nested frames centred on the edge; inside frame: inside.
    TImageCanvas w(40, 40, 96);
    w.Pen()->SetWidth(3);
    w.Brush()->SetStyle(bsClear);
    w.Rectangle(10, 10, 30, 30);
    EXPECT_EQ(Row(w, 20, 7, 14), "..###...");  // columns 9, 10, 11
    w.Pen()->SetStyle(psInsideFrame);
    TImageCanvas in(40, 40, 96);
    in.Pen()->SetWidth(3);
    in.Pen()->SetStyle(psInsideFrame);
    in.Brush()->SetStyle(bsClear);
    in.Rectangle(10, 10, 30, 30);
    EXPECT_EQ(Row(in, 20, 8, 14), "..###..");  // columns 10, 11, 12
    EXPECT_EQ(Row(in, 20, 26, 31), ".###..");  // columns 27, 28, 29
}

TEST(CanvasShapes, AHatchIsDrawnOverOpaqueWhite) {
    TImageCanvas c(60, 40, 96);
    c.Brush()->SetColor(clBlue);
    c.FillRect(Rect(0, 0, 60, 40));
    for (TBrushStyle style : {bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross}) {
        c.Brush()->SetColor(clRed);
        c.Brush()->SetStyle(style);
        c.FillRect(Rect(10, 10, 42, 34));
        int red = 0, white = 0, other = 0;
        for (int y = 10; y < 34; ++y)
            for (int x = 10; x < 42; ++x) {
                QRgb v = At(c, x, y);
                (v == 0xFFFF0000u ? red : v == kWhite ? white : other)++;
            }
        EXPECT_EQ(other, 0) << style;  // nothing of the blue behind
        EXPECT_GT(red, 24) << style;
        EXPECT_GT(white, red) << style;
        EXPECT_EQ(At(c, 9, 9), 0xFF0000FFu);
        EXPECT_EQ(At(c, 42, 20), 0xFF0000FFu);
    }
    // A clear brush leaves what is there.
    c.Brush()->SetStyle(bsClear);
    c.Rectangle(5, 5, 55, 38);
    EXPECT_EQ(At(c, 7, 7), 0xFF0000FFu);
    EXPECT_EQ(At(c, 5, 7), kBlack);
}

TEST(CanvasShapes, ACircleShapeInAHundredByFortyBoxIsAnEllipseAtThirtyOneOne) {
    gfx::ShapeGeometry g = gfx::ShapeInBox(stCircle, 100, 40, 3);
    ASSERT_EQ(g.Bounds, (TRect{31, 1, 69, 39}));
    TImageCanvas c(100, 40, 96);
    c.Pen()->SetWidth(1);
    c.Brush()->SetColor(clLime);
    c.Ellipse(g.Bounds);
    TRect ink = Ink(c.Image(), TRect{0, 0, 100, 40});
    EXPECT_EQ(ink, g.Bounds);  // 38 x 38, right and bottom excluded
    EXPECT_EQ(At(c, 50, 20), 0xFF00FF00u);
    EXPECT_EQ(At(c, 31, 1), kWhite);  // the corners of the box stay out
}

TEST(CanvasClipping, NothingIsDrawnOutsideTheClipRectangle) {
    TImageCanvas c(50, 50, 96);
    c.SetClipRect(Rect(10, 10, 30, 30));
    c.Brush()->SetColor(clBlack);
    c.FillRect(Rect(0, 0, 50, 50));
    EXPECT_EQ(Ink(c.Image(), TRect{0, 0, 50, 50}), (TRect{10, 10, 30, 30}));
    c.IntersectClipRect(Rect(20, 0, 50, 50));
    EXPECT_EQ(*c.ClipRect(), (TRect{20, 10, 30, 30}));
    c.SetClipRect(std::nullopt);
    c.MoveTo(0, 40);
    c.LineTo(50, 40);
    EXPECT_EQ(At(c, 0, 40), kBlack);
}

TEST(CanvasText, TextRectKeepsTheInkInsideItsRectangle) {
    TImageCanvas c(300, 60, 96);
    c.Font()->SetName("Arial");
    c.Font()->SetSize(14);
    c.Brush()->SetStyle(bsClear);
    TRect r{40, 10, 120, 40};
    c.TextRect(r, 20, 12, "Texto longo demais para o retângulo");
    TRect ink = Ink(c.Image(), TRect{0, 0, 300, 60});
    EXPECT_GE(ink.Left, r.Left);
    EXPECT_LE(ink.Right, r.Right);
    EXPECT_GT(ink.Width(), 60);  // it does fill the rectangle's width
    // A solid brush fills the whole rectangle first.
    TImageCanvas d(100, 40, 96);
    d.Brush()->SetColor(clYellow);
    d.TextRect(Rect(10, 10, 50, 30), 12, 12, "");
    EXPECT_EQ(Ink(d.Image(), TRect{0, 0, 100, 40}), (TRect{10, 10, 50, 30}));
}

TEST(CanvasText, TurnedTextLandsCounterClockwiseAroundItsPoint) {
    const std::string text = "Relatório";
    TReferenceCanvas m;
    m.Font()->SetName("Arial");
    m.Font()->SetSize(12);
    // At 600 dpi, measured on the reference device scaled to 96.
    double w = m.TextWidthF(text) * 96 / 600;
    double h = (m.ExactTextMetrics().Ascent + m.ExactTextMetrics().Descent) * 96 / 600;
    const int X = 100, Y = 100;
    struct Case {
        int angle;
        double left, top, right, bottom;  // where the cell lies
    } cases[] = {
        {0, X, Y, X + w, Y + h},
        {900, X, Y - w, X + h, Y},
        {1800, X - w, Y - h, X, Y},
        {2700, X - h, Y, X, Y + w},
    };
    for (const Case& k : cases) {
        TImageCanvas c(200, 200, 96);
        c.Font()->SetName("Arial");
        c.Font()->SetSize(12);
        c.Brush()->SetStyle(bsClear);
        c.SetFontAngle(k.angle);
        c.TextOut(X, Y, text);
        TRect ink = Ink(c.Image(), TRect{0, 0, 200, 200});
        EXPECT_GE(ink.Left, std::floor(k.left) - 1) << k.angle;
        EXPECT_GE(ink.Top, std::floor(k.top) - 1) << k.angle;
        EXPECT_LE(ink.Right, std::ceil(k.right) + 1) << k.angle;
        EXPECT_LE(ink.Bottom, std::ceil(k.bottom) + 1) << k.angle;
        // The long side of the ink runs along the text.
        bool across = k.angle == 0 || k.angle == 1800;
        EXPECT_GT(across ? ink.Width() : ink.Height(), 0.9 * w) << k.angle;
    }
    // 45 degrees: up and to the right.
    TImageCanvas c(200, 200, 96);
    c.Font()->SetName("Arial");
    c.Font()->SetSize(12);
    c.SetFontAngle(450);
    c.Brush()->SetStyle(bsClear);
    c.TextOut(X, Y, text);
    TRect ink = Ink(c.Image(), TRect{0, 0, 200, 200});
    EXPECT_GE(ink.Left, X - 1);
    EXPECT_LE(ink.Bottom, Y + static_cast<int>(h) + 2);
    double r2 = std::sqrt(2.0);
    EXPECT_GE(ink.Right - X, w / r2);  // the baseline's far end...
    EXPECT_LE(ink.Right - X, (w + h) / r2 + 2);  // ...and the cell's far corner
    EXPECT_GE(Y - ink.Top, w / r2 - h);
    EXPECT_LE(Y - ink.Top, w / r2 + 1);
}

TEST(CanvasText, ASolidBrushFillsTheCellAndTheColourIsTheFonts) {
    TImageCanvas c(200, 40, 96);
    c.Font()->SetName("Arial");
    c.Font()->SetSize(10);
    c.Font()->SetColor(clBlue);
    c.Brush()->SetColor(clYellow);
    c.TextOut(10, 5, "iiiii");
    double w = c.TextWidthF("iiiii");
    TTextMetric tm;
    c.GetTextMetrics(tm);
    EXPECT_EQ(At(c, 10, 5), 0xFFFFFF00u);  // the cell's corner: yellow
    EXPECT_EQ(At(c, 9, 5), kWhite);
    EXPECT_EQ(At(c, 10 + static_cast<int>(w) + 1, 5), kWhite);
    bool blue = false;  // the glyphs, anti-aliased over the yellow
    for (int x = 10; x < 10 + w; ++x)
        for (int y = 5; y < 5 + tm.tmHeight; ++y) {
            QRgb v = At(c, x, y);
            blue = blue || (qBlue(v) > 178 && qRed(v) < 77 && qGreen(v) < 77);
        }
    EXPECT_TRUE(blue);
    EXPECT_EQ(c.PenPos().X, 10 + c.TextWidth("iiiii"));
}

TEST(CanvasThreads, ImagesDrawOnWorkerThreadsAsOnTheMainThread) {
    auto draw = [] {
        TImageCanvas c(160, 60, 96);
        c.Font()->SetName("Times New Roman");
        c.Font()->SetSize(12);
        c.Brush()->SetStyle(bsCross);
        c.Brush()->SetColor(clNavy);
        c.Rectangle(5, 5, 60, 55);
        c.SetFontAngle(300);
        c.Brush()->SetStyle(bsClear);
        c.TextOut(70, 50, "Nota fiscal");
        return c.Image().copy();
    };
    QImage here = draw();
    std::vector<QImage> there(4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) threads.emplace_back([&, i] { there[i] = draw(); });
    for (auto& t : threads) t.join();
    for (const QImage& img : there) EXPECT_TRUE(img == here);
}

// ---------------------------------------------------------------------------
// The scene.

namespace {

struct Scene {
    QImage image;
    std::vector<TRect> textAreas;  // where anti-aliased text may differ
};

Scene DrawScene(int dpi) {
    double s = dpi / 96.0;
    auto S = [&](double v) { return static_cast<int>(std::lround(v * s)); };
    TImageCanvas c(S(420), S(300), dpi);
    Scene scene;
    // One-pixel lines in the five pen styles.
    for (int i = 0; i < 5; ++i) {
        c.Pen()->SetStyle(static_cast<TPenStyle>(i));
        c.MoveTo(S(10), S(10 + 8 * i));
        c.LineTo(S(250), S(10 + 8 * i));
    }
    c.Pen()->SetStyle(psDashDot);
    c.Pen()->SetColor(clRed);
    c.MoveTo(S(270), S(10));
    c.LineTo(S(270), S(50));
    c.LineTo(S(400), S(50));
    c.Pen()->SetColor(clBlack);
    c.Pen()->SetStyle(psSolid);
    // Hatches over a grey stripe: white behind every hatch.
    c.Brush()->SetColor(clSilver);
    c.FillRect(Rect(S(10), S(60), S(410), S(100)));
    for (int i = 0; i < 6; ++i) {
        c.Brush()->SetColor(i % 2 ? clNavy : clRed);
        c.Brush()->SetStyle(static_cast<TBrushStyle>(bsHorizontal + i));
        c.Rectangle(S(15 + 65 * i), S(65), S(75 + 65 * i), S(95));
    }
    // Shapes: the circle of a 100 x 40 shape with a 3-pixel pen, a rounded
    // rectangle, a polygon, a frame.
    gfx::ShapeGeometry g = gfx::ShapeInBox(stCircle, S(100), S(40), S(3));
    c.Pen()->SetWidth(S(3));
    c.Brush()->SetStyle(bsSolid);
    c.Brush()->SetColor(clYellow);
    c.Ellipse(g.Bounds.Left + S(10), g.Bounds.Top + S(110), g.Bounds.Right + S(10), g.Bounds.Bottom + S(110));
    c.Pen()->SetWidth(1);
    c.Pen()->SetStyle(psDot);
    c.Brush()->SetColor(clAqua);
    c.RoundRect(S(120), S(110), S(220), S(150), S(20), S(20));
    c.Pen()->SetStyle(psSolid);
    c.Brush()->SetColor(clFuchsia);
    c.Polygon({Point(S(20), S(200)), Point(S(70), S(160)), Point(S(110), S(210))});
    c.Brush()->SetColor(clGreen);
    c.FrameRect(Rect(S(125), S(215), S(225), S(245)));
    // Turned text around one point, and at 45 degrees.
    c.Font()->SetName("Arial");
    c.Font()->SetSize(10);
    c.Brush()->SetStyle(bsClear);
    for (int a : {0, 900, 1800, 2700}) {
        c.SetFontAngle(a);
        c.TextOut(S(330), S(190), "Giro " + std::to_string(a / 10));
    }
    scene.textAreas.push_back(TRect{S(250), S(105), S(415), S(275)});
    c.SetFontAngle(450);
    c.TextOut(S(20), S(290), "Quarenta e cinco");
    scene.textAreas.push_back(TRect{S(15), S(215), S(120), S(295)});
    // Clipped text on a solid brush.
    c.SetFontAngle(0);
    c.Brush()->SetStyle(bsSolid);
    c.Brush()->SetColor(clCream);
    c.Font()->SetName("Times New Roman");
    c.Font()->SetStyle({fsBold, fsUnderline});
    c.TextRect(Rect(S(130), S(220), S(220), S(240)), S(120), S(222), "Texto cortado pelo retângulo");
    scene.textAreas.push_back(TRect{S(130), S(220), S(220), S(240)});
    scene.image = c.Image().convertToFormat(QImage::Format_RGB32);
    return scene;
}

void CompareWithGolden(int dpi) {
    Scene scene = DrawScene(dpi);
    std::string path = testsupport::DataPath("gfx/golden/scene_" + std::to_string(dpi) + ".png");
    if (const char* update = std::getenv("FAT_UPDATE_GOLDENS"); update && *update == '1') {
        ASSERT_TRUE(scene.image.save(QString::fromStdString(path), "PNG"));
        GTEST_SKIP() << "wrote " << path;
    }
    QImage golden(QString::fromStdString(path));
    ASSERT_FALSE(golden.isNull()) << path;
    golden = golden.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(golden.size(), scene.image.size());
    auto inText = [&](int x, int y) {
        for (const TRect& r : scene.textAreas)
            if (r.Contains(TPoint{x, y})) return true;
        return false;
    };
    int exactMisses = 0, textMisses = 0;
    for (int y = 0; y < golden.height(); ++y)
        for (int x = 0; x < golden.width(); ++x) {
            QRgb a = golden.pixel(x, y), b = scene.image.pixel(x, y);
            if (a == b) continue;
            if (!inText(x, y)) {
                if (exactMisses++ < 5) ADD_FAILURE() << "pixel (" << x << ", " << y << ") at " << dpi << " dpi";
                continue;
            }
            int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
            if (d > 64) ++textMisses;
        }
    EXPECT_EQ(exactMisses, 0);
    EXPECT_EQ(textMisses, 0);
    if (exactMisses || textMisses) {
        std::string out = "/tmp/scene_" + std::to_string(dpi) + "_actual.png";
        scene.image.save(QString::fromStdString(out), "PNG");
        ADD_FAILURE() << "the drawing is in " << out;
    }
}

}  // namespace

TEST(CanvasGolden, SceneAt96Dpi) { CompareWithGolden(96); }
TEST(CanvasGolden, SceneAt600Dpi) { CompareWithGolden(600); }
