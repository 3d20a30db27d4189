// Rotated text geometry against a table worked out step by step in
// tests/data/report/rotated_text.py (its working is in the comments of
// rotated_text.txt), and small placements worked by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "report/rpRotatedText.h"
#include "tests/support/FakeCanvas.h"

namespace {

TrpTextAlignment AlignmentNamed(const std::string& Name) {
    if (Name == "right") return taRightJustified;
    if (Name == "centre") return taCentered;
    return taLeftJustified;
}

TFont TwelvePoints() {
    TFont f;
    f.SetName("Sans");
    f.SetSize(12);
    return f;
}

}  // namespace

TEST(RotatedText, TheTurnedBoxAndItsOriginFollowTheHandWorkedTable) {
    std::ifstream in(std::string(FAT_TEST_DATA_DIR) + "/report/rotated_text.txt");
    ASSERT_TRUE(in) << "rotated_text.txt missing";
    TRect rect;
    int W = 0, H = 0, border = 0, rows = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream s(line);
        std::string word;
        if (line.rfind("rect", 0) == 0) {
            s >> word >> rect.Left >> rect.Top >> rect.Right >> rect.Bottom >> word >> W >> H >> word >> border;
            continue;
        }
        int angle = 0, wrap = 0;
        std::string align, bar;
        TrpTurnedBox e;
        TPoint origin, drawOrigin;
        TRect draw;
        s >> angle >> align >> wrap >> bar >> e.BoxW >> e.BoxH >> e.TextLen >> e.TextH >> e.ExtentX >> e.ExtentY >>
            bar >> origin.X >> origin.Y >> bar >> draw.Left >> draw.Top >> draw.Right >> draw.Bottom >>
            drawOrigin.X >> drawOrigin.Y;
        ASSERT_FALSE(s.fail()) << line;
        SCOPED_TRACE(line);
        const TrpTextAlignment a = AlignmentNamed(align);
        const auto bounds = TrpRotatedText::PlaceText(W, H, rect, border, a, wrap != 0, angle, false);
        EXPECT_EQ(bounds.Box.BoxW, e.BoxW);
        EXPECT_EQ(bounds.Box.BoxH, e.BoxH);
        EXPECT_EQ(bounds.Box.TextLen, e.TextLen);
        EXPECT_EQ(bounds.Box.TextH, e.TextH);
        EXPECT_EQ(bounds.Box.ExtentX, e.ExtentX);
        EXPECT_EQ(bounds.Box.ExtentY, e.ExtentY);
        EXPECT_EQ(bounds.Origin, origin);
        const auto drawn = TrpRotatedText::PlaceText(W, H, rect, border, a, wrap != 0, angle, true);
        EXPECT_EQ(drawn.Rect, draw);
        EXPECT_EQ(drawn.Origin, drawOrigin);
        ++rows;
    }
    EXPECT_EQ(rows, 2 * 9 * 3 * 2);
}

TEST(RotatedText, AlignTextRectPlacesByQuadrantAndCentresTowardZero) {
    // Container 10 x 20 at (100, 200), text 7 x 25: dX = -3, dY = 5.
    struct Case {
        int Angle;
        TrpTextAlignment Alignment;
        int Left, Top;
    };
    const Case cases[] = {
        {30, taLeftJustified, 100, 195},  {30, taRightJustified, 103, 200},  {120, taLeftJustified, 103, 195},
        {120, taRightJustified, 100, 200}, {200, taLeftJustified, 103, 200}, {200, taRightJustified, 100, 195},
        {300, taLeftJustified, 100, 200},  {300, taRightJustified, 103, 195}, {0, taLeftJustified, 100, 200},
        {90, taLeftJustified, 100, 195},   {91, taLeftJustified, 103, 195},  {450, taLeftJustified, 100, 195},
        // -3 / 2 is -1 and 5 / 2 is 2, both toward zero.
        {45, taCentered, 101, 198},        {-90, taCentered, 101, 198},
    };
    for (const auto& c : cases) {
        TRect r;
        TrpRotatedText::AlignTextRect(c.Angle, c.Alignment, 100, 200, r, 10, 20, 7, 25);
        EXPECT_EQ(r.Left, c.Left) << c.Angle << " " << c.Alignment;
        EXPECT_EQ(r.Top, c.Top) << c.Angle << " " << c.Alignment;
        EXPECT_EQ(r.Right, c.Left + 7);
        EXPECT_EQ(r.Bottom, c.Top + 25);
    }
}

TEST(RotatedText, CalcOriginForAngleRoundsHalvesToEven) {
    // Width 7 and height 5 halved: 3.5 -> 4, 2.5 -> 2.
    TPoint o;
    TrpRotatedText::CalcOriginForAngle({100, 200}, 10, taCentered, o, 5, 7);
    EXPECT_EQ(o, (TPoint{96, 202}));
    TrpRotatedText::CalcOriginForAngle({100, 200}, 100, taCentered, o, 5, 7);
    EXPECT_EQ(o, (TPoint{104, 202}));
    TrpRotatedText::CalcOriginForAngle({100, 200}, 270, taCentered, o, 5, 7);
    EXPECT_EQ(o, (TPoint{104, 198}));
    TrpRotatedText::CalcOriginForAngle({100, 200}, 360, taCentered, o, 5, 7);
    EXPECT_EQ(o, (TPoint{96, 198}));
    TrpRotatedText::CalcOriginForAngle({100, 200}, 10, taRightJustified, o, 5, 7);
    EXPECT_EQ(o, (TPoint{93, 205}));
}

TEST(RotatedText, AnglesAreTakenModulo360) {
    EXPECT_EQ(TrpRotatedText::NormalAngle(405), 45);
    EXPECT_EQ(TrpRotatedText::NormalAngle(-45), 315);
    EXPECT_EQ(TrpRotatedText::Quadrant(360), 4);
    EXPECT_EQ(TrpRotatedText::Quadrant(-270), 1);
    const auto a = TrpRotatedText::CalcTurnedBox(20000, 10000, 15000, 5000, 405, false, 0);
    // 45 degrees worked by hand: c = s = 0.707, hc = hs = 3535,
    // wc = ws = 10000 - 3535 = 6465, length sqrt(2) x 6465 = 9142.9.
    EXPECT_EQ(a.TextLen, 9143);
    EXPECT_EQ(a.ExtentX, 10000);
    const auto b = TrpRotatedText::CalcTurnedBox(20000, 10000, 15000, 5000, -45, false, 0);
    const auto c = TrpRotatedText::CalcTurnedBox(20000, 10000, 15000, 5000, 315, false, 0);
    EXPECT_EQ(b.TextLen, c.TextLen);
    EXPECT_EQ(b.ExtentY, c.ExtentY);
    EXPECT_DOUBLE_EQ(b.ws, c.ws);
}

TEST(RotatedText, AnEmptyTextInAnEmptyBoxGivesRatiosOfZero) {
    for (bool wrap : {false, true}) {
        for (int angle : {0, 45, 90, 180}) {
            const auto b = TrpRotatedText::CalcTurnedBox(0, 0, 0, 0, angle, wrap, 0);
            EXPECT_EQ(b.RatioC, 0.0) << angle << wrap;
            EXPECT_EQ(b.RatioS, 0.0) << angle << wrap;
            const TPoint o = TrpRotatedText::BoxOrigin(b, 10, 20, 0, angle, taCentered);
            EXPECT_EQ(o.X, 10) << angle;
        }
    }
}

TEST(RotatedText, TheTextIsMeasuredUnturnedWithTheCanvasResolution) {
    const TFont font = TwelvePoints();
    // "aa" is 16 x 18 px at 96 dpi and 100 x 115 px at 600 dpi.
    auto screen = testsupport::FakeScreenCanvas();
    EXPECT_EQ(TrpRotatedText::CalcTextExtent(screen.get(), "aa", &font, taLeftJustified, 90), (TSize{4233, 4763}));
    auto printer = testsupport::FakePrinterCanvas();
    EXPECT_EQ(TrpRotatedText::CalcTextExtent(printer.get(), "aa", &font, taCentered, 0), (TSize{4233, 4868}));
}

TEST(RotatedText, CalcTextRectPlacesAWrappedBoxAndAddsAShownBorder) {
    const TFont font = TwelvePoints();
    auto screen = testsupport::FakeScreenCanvas();
    const TRect area{0, 0, 10000, 20000};
    // At 90 degrees the 4233 x 4763 text stands up: a box 4763 wide and
    // 4233 high, put at the area's foot and drawn upward from its bottom.
    const auto p = TrpRotatedText::CalcTextRect(screen.get(), "aa", &font, area, nullptr, taLeftJustified, true, 90);
    EXPECT_EQ(p.Box.BoxW, 4763);
    EXPECT_EQ(p.Box.BoxH, 4233);
    EXPECT_EQ(p.Rect.Left, 0);
    EXPECT_EQ(p.Rect.Top, 15767);
    EXPECT_EQ(p.Rect.Bottom, 20000);
    EXPECT_EQ(p.Origin, (TPoint{0, 20000}));
    const auto bounds =
        TrpRotatedText::CalcTextBounds(screen.get(), "aa", &font, area, nullptr, taLeftJustified, true, 90);
    EXPECT_EQ(bounds.Origin, (TPoint{0, 4233}));

    TrpBorder border;
    border.SetWeight(2);
    border.SetVisible(false);
    EXPECT_EQ(TrpRotatedText::CalcTextBounds(screen.get(), "aa", &font, area, &border, taLeftJustified, true, 90)
                  .Box.BoxW,
              4763);
    border.SetVisible(true);
    ASSERT_GT(border.mmWeight(), 0);
    EXPECT_EQ(TrpRotatedText::CalcTextBounds(screen.get(), "aa", &font, area, &border, taLeftJustified, true, 90)
                  .Box.BoxW,
              4763 + 2 * border.mmWeight());
}
