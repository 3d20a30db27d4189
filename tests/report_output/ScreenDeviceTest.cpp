// The screen device's pixels at 96 pixels per inch: the zoom and the image
// it is drawn in, lines, borders and shapes as counted pixels, what is left
// undrawn, and which text renderer a command reaches.
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "report/rpDrawCommand.h"
#include "report/rpUnits.h"
#include "report_output/rpScreenDevice.h"
#include "report_output/rpTextControls.h"

namespace {

// A viewer of a given box size and zoom that records what the device asks.
class BoxViewer : public TrpScreenViewer {
public:
    int Width = 600, Height = 400;
    TrpZoomSettingType Zoom = zs100Percent;
    int Percentage = 100;
    int BoxWidth() const override { return Width; }
    int BoxHeight() const override { return Height; }
    TrpZoomSettingType ViewerZoomSetting() const override { return Zoom; }
    int ViewerZoomPercentage() const override { return Percentage; }
    TColor ViewerColor() const override { return clBtnShadow; }
    TColor ViewerPageColor() const override { return clWhite; }
    TrpProducer* ViewerReport() const override { return nullptr; }
    bool PaintBoxVisible() const override { return true; }
    void ShowPaintBox() override {}
    void ShowScrollBox() override {}
    void LockUpdates(bool) override {}
    void CopyToPaintBox(const TRect& R) override { Copied.push_back(R); }
    void UpdateScrollBars() override {}
    void RepaintViewer() override {}
    void StatusChanged() override {}
    void PageChanged() override {}
    void ReportGone() override {}
    std::vector<TRect> Copied;
};

// A4 at 96 ppi, as the inch constant of the units gives it.
constexpr int32_t kA4Width = 210000, kA4Height = 297000;
int Px(int32_t Thousandths) { return static_cast<int>(std::nearbyint(Thousandths / 1000.0 * 0.03937f * 96)); }

class ScreenDevice : public ::testing::Test {
protected:
    void Show(TrpScreenViewer* Viewer = nullptr) {
        device_.SetViewer(Viewer);
        device_.CurrentPage()->PageDef()->SetmmWidth(kA4Width);
        device_.CurrentPage()->PageDef()->SetmmHeight(kA4Height);
        device_.DisplayPage();
    }
    QRgb At(int X, int Y) const { return device_.PageImage()->pixel(X, Y) & 0xFFFFFF; }
    bool Dark(int X, int Y) const { return qGray(At(X, Y)) < 128; }
    // The dark rows of column X between Top and Bottom (exclusive).
    std::vector<int> DarkRows(int X, int Top, int Bottom) const {
        std::vector<int> rows;
        for (int y = Top; y < Bottom; ++y)
            if (Dark(X, y)) rows.push_back(y);
        return rows;
    }
    template <class T>
    T* Add(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
        auto* c = new T(nullptr);
        c->SetLeft(Left);
        c->SetTop(Top);
        c->SetWidth(Width);
        c->SetHeight(Height);
        c->SetPage(device_.CurrentPage());
        return c;
    }
    TrpScreenDevice device_{nullptr};
};

TEST_F(ScreenDevice, HalfZoomCentresAHalfSizePageInAnImageNoSmallerThanTheBoxAndTheMargins) {
    BoxViewer viewer;
    viewer.Zoom = zsPercentage;
    viewer.Percentage = 50;
    for (auto [w, h] : std::vector<std::pair<int, int>>{{600, 400}, {300, 200}, {1200, 900}}) {
        viewer.Width = w;
        viewer.Height = h;
        Show(&viewer);
        const int pw = static_cast<int>(std::nearbyint(Px(kA4Width) * 0.5));
        const int ph = static_cast<int>(std::nearbyint(Px(kA4Height) * 0.5));
        const QImage& image = *device_.PageImage();
        const int margin = 2 * 12;  // 2 x Round(96 x 0.125)
        EXPECT_EQ(image.width(), std::max(w, pw + margin)) << w;
        EXPECT_EQ(image.height(), std::max(h, ph + margin)) << h;
        const int x = (image.width() - pw) / 2, y = (image.height() - ph) / 2;
        EXPECT_EQ(At(x, y), 0xFFFFFFu);
        EXPECT_EQ(At(x + pw - 1, y + ph - 1), 0xFFFFFFu);
        EXPECT_NE(At(x - 1, y), 0xFFFFFFu);
        EXPECT_NE(At(x + pw, y + ph - 1), 0xFFFFFFu);
        EXPECT_NE(At(x, y + ph), 0xFFFFFFu);
        EXPECT_EQ(device_.Zoom(), 50);
    }
}

TEST_F(ScreenDevice, ATinyBoxKeepsTheZoomAndTheImageAboveNothing) {
    BoxViewer viewer;
    for (TrpZoomSettingType zoom : {zsWholePage, zsPageWidth}) {
        for (auto [w, h] : std::vector<std::pair<int, int>>{{0, 0}, {1, 1}, {30, 10}, {10, 60}}) {
            viewer.Zoom = zoom;
            viewer.Width = w;
            viewer.Height = h;
            Show(&viewer);
            EXPECT_GE(device_.Zoom(), 1) << zoom << " " << w << "x" << h;
            EXPECT_GE(device_.PageImage()->width(), 1);
            EXPECT_GE(device_.PageImage()->height(), 1);
        }
    }
    // A screen of one pixel per inch makes the whole-page step nothing: the
    // fitting must still end.
    const TrpScreenResolutionProvider previous = rpSetScreenResolutionProvider([](int) { return 1; });
    viewer.Zoom = zsWholePage;
    viewer.Width = 4;
    viewer.Height = 40;
    Show(&viewer);
    EXPECT_GE(device_.Zoom(), 1);
    rpSetScreenResolutionProvider(previous);
}

TEST_F(ScreenDevice, WholePageFitsTheBoxHeightLessAQuarterInch) {
    BoxViewer viewer;
    viewer.Zoom = zsWholePage;
    viewer.Width = 1200;
    viewer.Height = 800;
    Show(&viewer);
    // 800 - 24 pixels of page height over A4's 1123.
    EXPECT_EQ(device_.Zoom(), static_cast<int>(std::nearbyint((800 - 24) * 100.0 / Px(kA4Height))));
    EXPECT_LE(device_.PageHeight(), 800 - 24 + 6);
}

TEST_F(ScreenDevice, ADoubleBottomLineOfOnePointIsTwoOnePixelLinesTwoApart) {
    Show();
    auto* line = Add<TrpDrawLine>(10000, 10000, 50000, 5000);
    line->SetLinePosition(lpBottom);
    line->SetLineStyle(lsDouble);
    line->SetWeight(1);
    ASSERT_TRUE(device_.Draw(line));
    const int x = (line->DrawLeft + line->DrawRight) / 2;
    const std::vector<int> rows = DarkRows(x, line->DrawTop, line->DrawBottom + 1);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1] - rows[0], 2);
    EXPECT_EQ(rows[1], line->DrawBottom - 1);
}

TEST_F(ScreenDevice, BorderPassesFollowTheWeightInPoints) {
    Show();
    struct Case {
        float Weight;
        size_t Passes;
    };
    int32_t top = 10000;
    for (Case c : {Case{0.5f, 1}, Case{1, 1}, Case{2, 3}, Case{3, 4}}) {
        auto* text = Add<TrpDrawText>(10000, top, 60000, 10000);
        text->SetTransparent(true);
        text->Border()->SetVisible(true);
        text->Border()->SetBorderPositions(TrpBorderPositions{bpTop});
        text->Border()->SetWeight(c.Weight);
        ASSERT_TRUE(device_.Draw(text));
        const int x = (text->DrawLeft + text->DrawRight) / 2;
        EXPECT_EQ(DarkRows(x, text->DrawTop, text->DrawBottom).size(), c.Passes) << c.Weight;
        EXPECT_TRUE(Dark(x, text->DrawTop));
        top += 15000;
    }
}

TEST_F(ScreenDevice, SquaresAndCirclesLeaveTheImageUntouched) {
    Show();
    const QImage before = device_.PageImage()->copy();
    for (TShapeType kind : {stSquare, stRoundSquare, stCircle}) {
        auto* shape = Add<TrpDrawShape>(10000, 10000, 40000, 40000);
        shape->SetShapeType(kind);
        shape->Brush()->SetColor(clRed);
        EXPECT_TRUE(device_.Draw(shape));
    }
    EXPECT_EQ(*device_.PageImage(), before);
    auto* rectangle = Add<TrpDrawShape>(10000, 10000, 40000, 40000);
    rectangle->Brush()->SetColor(clRed);
    device_.Draw(rectangle);
    EXPECT_NE(*device_.PageImage(), before);
}

TEST_F(ScreenDevice, ARectangleFillsInsideItsFrameOfThePenWidth) {
    Show();
    auto* shape = Add<TrpDrawShape>(10000, 10000, 40000, 20000);
    shape->Pen()->SetWidth(3);
    shape->Brush()->SetColor(clYellow);
    device_.Draw(shape);
    const int x = (shape->DrawLeft + shape->DrawRight) / 2;
    // Three frame rows at the top, then red.
    EXPECT_EQ(DarkRows(x, shape->DrawTop, shape->DrawTop + 6), (std::vector<int>{shape->DrawTop, shape->DrawTop + 1,
                                                                                  shape->DrawTop + 2}));
    EXPECT_EQ(At(x, shape->DrawTop + 4), 0xFFFF00u);
    EXPECT_TRUE(Dark(x, shape->DrawBottom - 1));
    EXPECT_FALSE(Dark(x, shape->DrawBottom));
}

TEST_F(ScreenDevice, ACommandBeyondThePageWidthIsNotDrawn) {
    Show();
    const QImage before = device_.PageImage()->copy();
    auto* line = Add<TrpDrawLine>(kA4Width + 1000, 10000, 20000, 5000);
    line->SetWeight(4);
    device_.DrawPage(device_.CurrentPage());
    EXPECT_EQ(*device_.PageImage(), before);
    EXPECT_EQ(line->DrawRight, 0);
}

class RendererProbe : public TrpScreenDevice {
public:
    using TrpScreenDevice::TrpScreenDevice;
    std::vector<std::string> Calls;

protected:
    void DrawPlainText(TrpDrawText* C) override { Calls.push_back("plain " + C->Text()); }
    void DrawRotatedText(TrpDrawText* C) override { Calls.push_back("rotated " + C->Text()); }
};

TEST(ScreenDeviceText, TurnedTextGoesToTheRotatedRendererAndTheRestToThePlainOne) {
    RendererProbe device(nullptr);
    device.CurrentPage()->PageDef()->SetmmWidth(kA4Width);
    device.CurrentPage()->PageDef()->SetmmHeight(kA4Height);
    device.DisplayPage();
    for (int angle : {0, 90, 270}) {
        TrpDrawText text(nullptr);
        text.SetAngle(angle);
        text.SetText(std::to_string(angle));
        text.SetWidth(20000);
        text.SetHeight(5000);
        EXPECT_TRUE(device.Draw(&text));
    }
    EXPECT_EQ(device.Calls, (std::vector<std::string>{"plain 0", "rotated 90", "rotated 270"}));
}

TEST_F(ScreenDevice, TextIsWrittenInsideItsRectangleAndTurnedTextToo) {
    Show();
    for (int angle : {0, 90}) {
        auto* text = Add<TrpDrawText>(10000 + angle * 500, 10000, 40000, 40000);
        text->SetAngle(angle);
        text->SetText("Faturamento");
        text->Font()->SetName("Arial");
        text->Font()->SetSize(12);
        text->SetTransparent(true);
        device_.Draw(text);
        int inside = 0, outside = 0;
        for (int y = text->DrawTop - 5; y < text->DrawBottom + 5; ++y)
            for (int x = text->DrawLeft - 5; x < text->DrawRight + 5; ++x)
                if (Dark(x, y)) (text->DrawRect().Contains(TPoint{x, y}) ? inside : outside)++;
        EXPECT_GT(inside, 20) << angle;
        EXPECT_EQ(outside, 0) << angle;
    }
}

TEST_F(ScreenDevice, FindClickableCountsTheRectangleEdgesIn) {
    Show();
    auto* a = Add<TrpDrawShape>(10000, 10000, 10000, 10000);
    a->SetClickable(true);
    auto* b = Add<TrpDrawShape>(30000, 10000, 10000, 10000);
    b->SetClickable(true);
    device_.DrawPage(device_.CurrentPage());
    TrpDrawCommand* hit = nullptr;
    EXPECT_TRUE(device_.FindClickable(a->DrawLeft, a->DrawTop, hit));
    EXPECT_EQ(hit, a);
    EXPECT_TRUE(device_.FindClickable(b->DrawRight, b->DrawBottom, hit));
    EXPECT_EQ(hit, b);
    EXPECT_FALSE(device_.FindClickable(a->DrawRight + 1, a->DrawTop, hit));
    EXPECT_EQ(hit, nullptr);
}

TEST_F(ScreenDevice, RedrawCoversTheOldTextAndCopiesOnlyItsRectangle) {
    BoxViewer viewer;
    Show(&viewer);
    auto* text = Add<TrpDrawText>(10000, 10000, 40000, 8000);
    text->SetText("Página 1 de 9");
    text->SetTransparent(true);
    device_.Draw(text);
    const QImage drawn = device_.PageImage()->copy();
    text->SetText("");
    EXPECT_TRUE(device_.Redraw(text));
    EXPECT_TRUE(text->Transparent());
    ASSERT_EQ(viewer.Copied.size(), 1u);
    EXPECT_EQ(viewer.Copied[0], text->DrawRect());
    // The old value is gone: the rectangle is the text's colour again.
    int dark = 0;
    for (int y = text->DrawTop; y < text->DrawBottom; ++y)
        for (int x = text->DrawLeft; x < text->DrawRight; ++x) dark += Dark(x, y);
    EXPECT_EQ(dark, 0);
    EXPECT_NE(*device_.PageImage(), drawn);
}

// A name fitted to its box on the reference device (the listings cut it at
// its last whole character that fits) is shown whole: the ink of the text in
// its own box is the ink of the same text in a box with room to spare.
TEST_F(ScreenDevice, AFittedTextShowsEveryLetterItHoldsAtEveryZoom) {
    BoxViewer viewer;
    viewer.Zoom = zsPercentage;
    struct Case {
        const char* Text;
        const char* Font;
        int Size;
        bool Bold;
    };
    const std::vector<Case> cases = {{"MÉIER INDI", "Arial", 8, false},    {"Comé", "Arial", 8, false},
                                     {"MMMMMMMMMMM", "Arial", 8, true},     {"JOSÉ DA SILVA M", "Times New Roman", 9, false},
                                     {"Distribuidora Ômega", "Courier New", 8, false}};
    for (int zoom : {100, 200}) {
        viewer.Percentage = zoom;
        Show(&viewer);
        int wider = 0;
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            const int32_t top = 10000 + static_cast<int32_t>(i) * 12000;
            auto make = [&](int32_t Left, int32_t Width) {
                auto* t = Add<TrpDrawText>(Left, top, Width, 5000);
                t->Font()->SetName(c.Font);
                t->Font()->SetSize(c.Size);
                if (c.Bold) t->Font()->SetStyle(TFontStyles{fsBold});
                t->SetText(c.Text);
                t->SetTransparent(true);
                return t;
            };
            auto* fitted = make(10000, 0);
            fitted->SetWidth(rpMeasureTextWidth(c.Text, fitted->Font()));
            auto* roomy = make(100000, 80000);
            device_.Draw(fitted);
            device_.Draw(roomy);
            const int shift = roomy->DrawLeft - fitted->DrawLeft;
            int inkRight = 0, differing = 0;
            for (int y = fitted->DrawTop - 2; y < fitted->DrawBottom + 2; ++y)
                for (int x = fitted->DrawLeft - 4; x < fitted->DrawLeft + shift - 4; ++x) {
                    if (Dark(x + shift, y)) inkRight = std::max(inkRight, x + 1);
                    differing += Dark(x, y) != Dark(x + shift, y);
                }
            wider += inkRight > fitted->DrawRight;
            EXPECT_EQ(differing, 0) << c.Text << " at " << zoom << "%";
        }
        // The faces on screen do run past the reference widths.
        EXPECT_GT(wider, 0) << zoom << "%";
    }
}

}  // namespace
