// The short ways FormatFloat and FloatToStrF take for plain patterns and
// whole numbers, compared text for text with the general way over generated
// values: amounts in cents, ties at every decimal, values beside powers of
// ten, random bit patterns, and the edges (negative zero, tiny, huge, NaN).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "platform/rtl/Format.h"
#include "platform/rtl/FormatDecimal.h"

namespace {

std::vector<double> GeneratedValues() {
    std::vector<double> v;
    std::mt19937_64 random(20261207);
    auto below = [&](uint64_t n) { return random() % n; };
    for (int i = 0; i < 60000; ++i) {
        // Amounts as a listing holds them: cents, up to ten billion.
        const double cents = static_cast<double>(below(1000000000000ULL)) / 100;
        v.push_back(i % 2 ? -cents : cents);
        // A tie at one to four decimals, and its neighbours.
        const int decimals = 1 + static_cast<int>(below(4));
        const double tie = (static_cast<double>(below(100000000)) + 0.5) / std::pow(10.0, decimals);
        v.push_back(tie);
        v.push_back(std::nextafter(tie, 0.0));
        v.push_back(-std::nextafter(tie, 1e300));
        // Any bit pattern of a finite double.
        const double any = std::bit_cast<double>(random());
        if (std::isfinite(any)) v.push_back(any);
    }
    for (int e = -20; e <= 17; ++e) {
        const double p = std::pow(10.0, e);
        for (double x : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e300), p * 0.9999999999999999, p * 5})
            for (double sign : {1.0, -1.0}) v.push_back(sign * x);
    }
    for (double x : {0.0, -0.0, 0.5, -0.5, 1.5, 2.5, 0.045, 2.675, 999999.995, 0.0049999999999999, 999999999999999.9,
                     1e15, -1e15, 123456789012345.6, 4.9e-324, -4.9e-324, 2.2250738585072014e-308, 1e300,
                     std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest()})
        v.push_back(x);
    return v;
}

TEST(FormatShortcut, PlainPatternsGiveTheGeneralTextForEveryValue) {
    // The listings' own patterns first, then the other plain shapes.
    const std::vector<std::string> patterns = {"000,000", "##,###,###,##0.00", "###,###,##0.00", "###,##0.000",
                                               "#,##0.00", "0",       "#",                 "0.#",
                                               "#.##",     "00.0#0",  "#,0",               "0.",
                                               "#,##0.0000000000"};
    TFormatSettings us;
    us.DecimalSeparator = '.';
    us.ThousandSeparator = ',';
    TFormatSettings ungrouped;
    ungrouped.ThousandSeparator = '\0';
    const std::vector<const TFormatSettings*> settings = {&FormatSettings, &us, &ungrouped};
    const std::vector<double> values = GeneratedValues();
    ASSERT_GT(values.size(), 250000u);
    long shortWay = 0;
    long failures = 0;
    for (std::size_t p = 0; p < patterns.size(); ++p) {
        const std::string& pattern = patterns[p];
        const TFormatSettings& fs = *settings[p % settings.size()];
        for (double value : values) {
            std::string fast;
            if (!rtlformat::FormatPlainPattern(pattern, value, fs, fast)) continue;
            ++shortWay;
            const std::string general = rtlformat::FormatPattern(pattern, rtlformat::FromDouble(value), true, fs, &value);
            if (fast != general && ++failures <= 20)
                ADD_FAILURE() << pattern << " " << std::hexfloat << value << ": " << fast << " instead of " << general;
        }
    }
    EXPECT_EQ(failures, 0);
    EXPECT_GT(shortWay, static_cast<long>(patterns.size() * values.size() * 3 / 4));
}

TEST(FormatShortcut, OtherPatternsAndValuesTakeTheGeneralWay) {
    std::string out;
    for (const char* pattern : {"", "0.00;(0.00)", "0.00E+00", "'R$' 0.00", ".00", "0.0,0", "0.0.0", "#,##0.00 %"})
        EXPECT_FALSE(rtlformat::FormatPlainPattern(pattern, 1234.5, FormatSettings, out)) << pattern;
    for (double value : {1e15, -1e17, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
        EXPECT_FALSE(rtlformat::FormatPlainPattern("#,##0.00", value, FormatSettings, out)) << value;
    // Through FormatFloat the general way still prints them.
    EXPECT_EQ(FormatFloat("#,##0.00", 1e17), "1E17");
    EXPECT_EQ(FormatFloat("#,##0.00", -std::numeric_limits<double>::infinity()), "-Inf");
    EXPECT_EQ(FormatFloat("#,##0.00", -0.004), "0,00");
    EXPECT_EQ(FormatFloat("000,000", 1234), "001.234");
}

TEST(FormatShortcut, WholeNumbersGiveTheGeneralText) {
    std::mt19937_64 random(7);
    std::vector<double> values = {0.0, -0.0, 1, -1, 999999999999999, -999999999999999, 1e14, 562949953421312};
    for (int i = 0; i < 100000; ++i) {
        const int64_t n = static_cast<int64_t>(random() % 2000000000000000ULL) - 1000000000000000LL;
        values.push_back(static_cast<double>(n >> (i % 48)));
    }
    long failures = 0;
    for (double value : values) {
        std::string fast;
        ASSERT_TRUE(rtlformat::FormatWholeGeneral(value, 15, fast)) << value;
        const std::string general = rtlformat::GeneralForm(rtlformat::FromDouble(value), 15, FormatSettings);
        if (fast != general && ++failures <= 20) ADD_FAILURE() << value << ": " << fast << " instead of " << general;
    }
    EXPECT_EQ(failures, 0);
    std::string out;
    for (double value : {0.5, 1e15, -1e16, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_FALSE(rtlformat::FormatWholeGeneral(value, 15, out)) << value;
    EXPECT_FALSE(rtlformat::FormatWholeGeneral(12345, 4, out)) << "fewer digits round";
    EXPECT_EQ(FloatToStrF(12345, ffGeneral, 4, 0), "1,235E4");
}

}  // namespace
