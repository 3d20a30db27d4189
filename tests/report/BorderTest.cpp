// The report font and the border: what they store, how a border copies and
// what its weight is worth on screen, on paper and around turned text.
#include <gtest/gtest.h>

#include "report/rpBorder.h"
#include "report/rpUtils.h"
#include "tests/report/ReportTestSupport.h"

namespace {

using reporttest::FakePrinter;

TEST(ReportFont, AStreamRecordsThePointSizeOnly) {
    TrpFont font;
    font.SetSize(12);
    EXPECT_TRUE(IsStoredProp(&font, GetPropInfo(&font, "Size")));
    EXPECT_FALSE(IsStoredProp(&font, GetPropInfo(&font, "Height")));
    EXPECT_EQ(GetOrdProp(&font, "Height"), -16) << "12 points at 96 pixels per inch, still readable";
    EXPECT_EQ(GetClass("TrpFont"), TrpFont::StaticClassType()) << "registered for streaming";
    TFont plain;
    EXPECT_TRUE(IsStoredProp(&plain, GetPropInfo(&plain, "Height"))) << "the platform's font is unchanged";
}

TEST(ReportBorder, StartsHiddenBlackSolidOnePoint) {
    TrpBorder border;
    EXPECT_FALSE(border.Visible());
    EXPECT_TRUE(border.BorderPositions().Empty());
    EXPECT_EQ(border.Color(), clBlack);
    EXPECT_EQ(border.Style(), psSolid);
    EXPECT_EQ(border.Weight(), 1.0f);
}

TEST(ReportBorder, AssignCopiesTheFiveValuesThroughTheirWriters) {
    TrpBorder source, target;
    source.SetBorderPositions({bpLeft, bpBottom});
    source.SetColor(clRed);
    source.SetStyle(psDot);
    source.SetVisible(true);
    source.SetWeight(2.25f);
    int changes = 0;
    target.OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, &target);
        ++changes;
    };
    target.Assign(&source);
    EXPECT_EQ(changes, 5);
    EXPECT_EQ(target.BorderPositions(), (TrpBorderPositions{bpLeft, bpBottom}));
    EXPECT_TRUE(target.PreviousPositions().Empty());
    EXPECT_EQ(target.Color(), clRed);
    EXPECT_EQ(target.Style(), psDot);
    EXPECT_TRUE(target.Visible());
    EXPECT_EQ(target.Weight(), 2.25f);
    target.Assign(&source);
    EXPECT_EQ(changes, 5) << "nothing changed, nothing told";
    TPen pen;
    EXPECT_THROW(target.Assign(&pen), EConvertError);
    target.SetBorderPositions({bpTop});
    EXPECT_EQ(target.PreviousPositions(), (TrpBorderPositions{bpLeft, bpBottom}));
    EXPECT_EQ(GetEnumProp(&target, "Style"), "psDot") << "published for streaming";
}

TEST(ReportBorder, WeightsInThousandthsAndScreenPixels) {
    TrpBorder border;
    // 1 point = 1/72 in; 0.013888 in / 0.03937 * 1000 = 352.77 -> 353.
    EXPECT_EQ(border.mmWeight(), 353);
    EXPECT_EQ(border.spWeight(), 1);  // 96 / 72 = 1.33
    border.SetWeight(0.5f);
    EXPECT_EQ(border.spWeight(), 1) << "0.667 rounds to 1";
    border.SetWeight(0);
    EXPECT_EQ(border.spWeight(), 1) << "a weight of 0 still draws one pixel";
    border.SetWeight(3);
    EXPECT_EQ(border.spWeight(), 4);
    EXPECT_EQ(border.mmWeight(), 1058);  // 3 / 72 / 0.03937 * 1000 = 1058.33
}

TEST(ReportBorder, TurnedTextStartsInsideTheSidesItsQuadrantFaces) {
    TrpBorder border;
    border.SetWeight(3);  // 4 screen pixels
    border.SetBorderPositions({bpLeft, bpTop, bpRight, bpBottom});
    struct Case {
        int angle, x, y;
    };
    for (const Case& c : {Case{45, 104, 96}, Case{90, 104, 96}, Case{135, 96, 96}, Case{270, 96, 104},
                          Case{0, 104, 104}, Case{300, 104, 104}})
        EXPECT_EQ(rpBorderAdjustedOrigin(border, c.angle, 100, 100, nullptr), (TPoint{c.x, c.y})) << c.angle;
    border.SetBorderPositions({bpTop});
    EXPECT_EQ(rpBorderAdjustedOrigin(border, 45, 100, 100, nullptr), (TPoint{100, 100})) << "only drawn sides count";
    // On a printer of 600 x 300 dpi, 3 points are 25 and 12.5 -> 12 pixels.
    const FakePrinter printer(600, 300);
    border.SetBorderPositions({bpLeft, bpTop});
    EXPECT_EQ(rpBorderAdjustedOrigin(border, 0, 100, 100, &printer), (TPoint{125, 112}));
}

TEST(ReportBorder, RectanglesAreMadeFromTheirSides) {
    const TRect r = rpMakeRect(1, 2, 30, 40);
    EXPECT_EQ(r.Left, 1);
    EXPECT_EQ(r.Top, 2);
    EXPECT_EQ(r.Width(), 29);
    EXPECT_EQ(r.Height(), 38);
}

}  // namespace
