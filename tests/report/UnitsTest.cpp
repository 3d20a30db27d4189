// Units of length, with the figures stored reports depend on: one constant
// of 0.03937 inches per millimetre (a single), long double arithmetic and
// halves to even. Expected values are worked by hand from that constant.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "report/rpUnits.h"
#include "tests/report/ReportTestSupport.h"

namespace {

using reporttest::FakePrinter;

TEST(Units, TheRoundingHelperTakesHalvesToEven) {
    struct Case {
        long double in;
        int32_t out;
    };
    for (const Case& c : {Case{0.5L, 0}, Case{1.5L, 2}, Case{2.5L, 2}, Case{-1.5L, -2}, Case{-0.5L, 0},
                          Case{3.5000001L, 4}, Case{1e12L, INT32_MAX}, Case{-1e12L, INT32_MIN}})
        EXPECT_EQ(rpRoundHalfEven(c.in), c.out) << static_cast<double>(c.in);
    EXPECT_EQ(rpRoundHalfEven(std::numeric_limits<long double>::quiet_NaN()), 0);
}

TEST(Units, ScreenPixelsAtNinetySixPerInch) {
    // 50 / 96 / 0.03937 * 1000 = 13229.1...
    EXPECT_EQ(rpToMMThousandths(utScreenPixels, 0, nullptr, 50), 13229);
    // The no-data text box of 110 x 18 and a 65 x 17 one.
    EXPECT_EQ(rpToMMThousandths(utScreenPixels, 0, nullptr, 65), 17198);
    EXPECT_EQ(rpToMMThousandths(utScreenPixels, 1, nullptr, 17), 4498);
    EXPECT_EQ(rpToMMThousandths(utScreenPixels, 0, nullptr, 110), 29104);
    EXPECT_EQ(rpToMMThousandths(utScreenPixels, 1, nullptr, 18), 4763);
    EXPECT_EQ(rpToMMThousandths(utScreenPixels, 0, nullptr, 96), 25400);
    EXPECT_EQ(rpFromMMThousandths(25400, utScreenPixels, 0, nullptr), 96.0f);
}

TEST(Units, InchesMillimetresAndThousandths) {
    // 25.4 * 0.03937 = 0.999998 -> four decimals -> 1.0; 1 / 0.03937 * 1000 = 25400.05 -> 25400.
    EXPECT_EQ(rpFromMMThousandths(25400, utInches, 0, nullptr), 1.0f);
    EXPECT_EQ(rpToMMThousandths(utInches, 0, nullptr, 1.0f), 25400);
    EXPECT_EQ(rpFromMMThousandths(279400, utMillimeters, 0, nullptr), 279.4f);
    EXPECT_EQ(rpToMMThousandths(utMillimeters, 0, nullptr, 6.35f), 6350);
    EXPECT_EQ(rpToMMThousandths(utMMThousandths, 0, nullptr, 12.9f), 12) << "truncated";
    EXPECT_EQ(rpToMMThousandths(utMMThousandths, 0, nullptr, -12.9f), -12);
    EXPECT_EQ(rpFromMMThousandths(-777, utMMThousandths, 0, nullptr), -777.0f);
    // The single 0.0005 is a hair above 0.0005: times 1000 in long double it
    // rounds to 1 (in float arithmetic it would be exactly 0.5, hence 0).
    EXPECT_EQ(rpToMMThousandths(utMillimeters, 0, nullptr, 0.0005f), 1);
    EXPECT_EQ(rpToMMThousandths(utMillimeters, 0, nullptr, 0.0025f), 2) << "2.5 -> 2";
}

TEST(Units, PrintersGiveTheirOwnResolutionPerAxis) {
    const FakePrinter printer(600, 300);
    // 25400 thousandths are 0.999998 in -> 599.9988 and 299.9994 device pixels.
    EXPECT_EQ(rpFromMMThousandths(25400, utPrinterPixels, 0, &printer), 600.0f);
    EXPECT_EQ(rpFromMMThousandths(25400, utPrinterPixels, 1, &printer), 300.0f);
    EXPECT_EQ(rpToMMThousandths(utPrinterPixels, 1, &printer, 300), 25400);
    // Without a printer (or with an object that is none) the screen answers.
    const TObject notAPrinter;
    EXPECT_EQ(rpFromMMThousandths(25400, utPrinterPixels, 0, nullptr), 96.0f);
    EXPECT_EQ(rpFromMMThousandths(25400, utPrinterPixels, 0, &notAPrinter), 96.0f);
    EXPECT_EQ(rpToScreenPixels(utPrinterPixels, 0, &printer, 600), 96);
    EXPECT_EQ(rpFromScreenPixels(96, utMillimeters, 0, nullptr), 25.4f);
}

TEST(Units, TheScreenResolutionComesFromTheProvider) {
    const TrpScreenResolutionProvider previous = rpSetScreenResolutionProvider([](int axis) { return axis == 1 ? 72 : 120; });
    EXPECT_EQ(rpFromMMThousandths(25400, utScreenPixels, 0, nullptr), 120.0f);
    EXPECT_EQ(rpFromMMThousandths(25400, utScreenPixels, 1, nullptr), 72.0f);
    rpSetScreenResolutionProvider([](int) { return 0; });
    EXPECT_EQ(rpScreenPixelsPerInch(0), 96) << "a provider that knows nothing gives way to 96";
    rpSetScreenResolutionProvider(previous);
    EXPECT_EQ(rpScreenPixelsPerInch(0), 96);
}

TEST(Units, PaperSizesInTenthsOfAMillimetre) {
    EXPECT_EQ(rpFromTenthsOfMM(2794, utMillimeters, 0, nullptr), 279.0f) << "whole millimetres";
    EXPECT_EQ(rpFromTenthsOfMM(2100, utMMThousandths, 0, nullptr), 210000.0f);
    EXPECT_EQ(rpToTenthsOfMM(utMillimeters, 0, nullptr, 297.04f), 2970);
    EXPECT_EQ(rpToTenthsOfMM(utMMThousandths, 0, nullptr, 210050.0f), 2100) << "2100.5 -> 2100";
    // A4 width in inches goes through screen pixels: 2100 tenths -> 793.70 px
    // -> 794 -> 210080 thousandths -> 8.27085 in -> 8.2708; and back:
    // 8.2708 in -> 210079 -> 794 px -> 210080 -> 2100 tenths.
    EXPECT_EQ(rpFromTenthsOfMM(2100, utInches, 0, nullptr), 8.2708f);
    EXPECT_EQ(rpToTenthsOfMM(utInches, 0, nullptr, 8.2708f), 2100);
    EXPECT_EQ(rpToTenthsOfMM(utScreenPixels, 0, nullptr, 96), 254);
    EXPECT_EQ(rpFromTenthsOfMM(254, utScreenPixels, 0, nullptr), 96.0f);
}

TEST(Units, UnknownUnitsAndHugeValuesGiveNoCrash) {
    const auto bad = static_cast<TrpUnitType>(9);
    EXPECT_EQ(rpToMMThousandths(bad, 0, nullptr, 5), 0);
    EXPECT_EQ(rpFromMMThousandths(5, bad, 0, nullptr), 0.0f);
    EXPECT_EQ(rpFromTenthsOfMM(5, bad, 0, nullptr), 0.0f);
    EXPECT_EQ(rpToTenthsOfMM(bad, 0, nullptr, 5), 0);
    EXPECT_EQ(rpToMMThousandths(utInches, 0, nullptr, 1e30f), INT32_MAX);
    EXPECT_EQ(rpToMMThousandths(utInches, 0, nullptr, std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(rpFromTenthsOfMM(INT32_MAX, utMMThousandths, 0, nullptr), static_cast<float>(INT32_MAX));
}

TEST(Units, ListsOfLengthsConvertEntryByEntry) {
    TStringList list;
    list.SetText("25400\n12700\n0");
    rpConvertListToUnits(&list, utInches, 0, nullptr);
    EXPECT_EQ(list.Text(), "1\n0,5\n0\n");
    rpConvertListFromUnits(&list, utInches, 0, nullptr);
    EXPECT_EQ(list.Text(), "25400\n12700\n0\n");
    list.SetText("abc");
    EXPECT_THROW(rpConvertListFromUnits(&list, utMillimeters, 0, nullptr), EConvertError);
}

}  // namespace
