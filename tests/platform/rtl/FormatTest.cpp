#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>
#include <limits>

#include "platform/rtl/Format.h"

namespace {

template <class F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const EConvertError& e) {
        return e.Message();
    }
    return "(no exception)";
}

TEST(FormatRounding, DecimalTiesRoundHalfAwayFromZeroOnFifteenDigits) {
    // Their binary values lie just below the tie; typed in decimal they are ties.
    EXPECT_EQ(FormatFloat("0.00", 2.675), "2,68");
    EXPECT_EQ(FormatFloat("0.00", 1.005), "1,01");
    EXPECT_EQ(FormatFloat("0.00", 0.045), "0,05");
    EXPECT_EQ(FormatFloat("0.00", -7.125), "-7,13");
    EXPECT_EQ(FloatToStrF(2.675, ffFixed, 15, 2), "2,68");
    EXPECT_EQ(FloatToStrF(1.005, ffNumber, 15, 2), "1,01");
    EXPECT_EQ(FloatToStrF(0.045, ffCurrency, 15, 2), "R$ 0,05");
    EXPECT_EQ(Format("%.2f", 2.675), "2,68");
    EXPECT_EQ(Format("%n", 1234.565), "1.234,57");
    EXPECT_EQ(Format("%m", -7.125), "-R$ 7,13");
    EXPECT_EQ(FormatFloat("0.0", 0.15), "0,2");
    EXPECT_EQ(FormatFloat("0", 2.5), "3");
    EXPECT_EQ(FormatFloat("0", -2.5), "-3");
    // A value whose sixteenth digit decides nothing: 0.1 + 0.2 is 0.3.
    EXPECT_EQ(FloatToStr(0.1 + 0.2), "0,3");
    // Carries run through every nine.
    EXPECT_EQ(FormatFloat("#,##0.00", 999999.995), "1.000.000,00");
    EXPECT_EQ(FormatFloat("0.00E+00", 9.995), "1,00E+01");
}

// Amounts of 16 significant digits, below 2^46 where a double's step is at
// most 1/128 and so holds every cent, print their cents in every fixed form.
TEST(FormatRounding, SixteenDigitAmountsKeepTheirCents) {
    std::vector<std::int64_t> cents = {1234567890123456, 2868281156069504, 5722532357792283, 1000000000000001,
                                       -4398046511103999};
    std::mt19937_64 random(16);
    for (int i = 0; i < 2000; ++i)
        cents.push_back(static_cast<std::int64_t>(random() % (std::uint64_t{1} << 46) * 100 + random() % 100));
    for (std::int64_t c : cents) {
        const double value = static_cast<double>(c) / 100;
        const std::int64_t m = c < 0 ? -c : c;
        std::string whole = std::to_string(m / 100);
        for (int at = static_cast<int>(whole.size()) - 3; at > 0; at -= 3) whole.insert(static_cast<std::size_t>(at), ".");
        const std::string fraction = std::string(m % 100 < 10 ? "0" : "") + std::to_string(m % 100);
        const std::string sign = c < 0 ? "-" : "";
        const std::string plain = sign + std::to_string(m / 100) + "," + fraction;
        const std::string grouped = sign + whole + "," + fraction;
        SCOPED_TRACE(grouped);
        EXPECT_EQ(FormatFloat("#,##0.00", value), grouped);
        EXPECT_EQ(FormatFloat("0.00", value), plain);
        EXPECT_EQ(FormatFloat("#,##0.00;(#,##0.00)", value), c < 0 ? "(" + whole + "," + fraction + ")" : grouped);
        EXPECT_EQ(FloatToStrF(value, ffNumber, 15, 2), grouped);
        EXPECT_EQ(FloatToStrF(value, ffFixed, 15, 2), plain);
        EXPECT_EQ(Format("%n", value), grouped);
        EXPECT_EQ(Format("%.2f", value), plain);
    }
}

TEST(FormatRounding, ValuesThatRoundToZeroHaveNoMinusSign) {
    EXPECT_EQ(FormatFloat("0.00", -0.001), "0,00");
    EXPECT_EQ(FormatFloat("0.00", -0.0), "0,00");
    EXPECT_EQ(FormatFloat("#,##0.00;(#,##0.00)", -0.004), "0,00");
    EXPECT_EQ(FormatFloat("#,##0.00;(#,##0.00);zero", -0.004), "0,00");
    EXPECT_EQ(FormatFloat("#,##0.00;(#,##0.00);zero", 0.0), "zero");
    EXPECT_EQ(Format("%.2f", -0.001), "0,00");
    EXPECT_EQ(Format("%.0n", -0.4), "0");
    EXPECT_EQ(Format("%m", -0.001), "R$ 0,00");
    EXPECT_EQ(FloatToStrF(-0.004, ffFixed, 15, 2), "0,00");
    EXPECT_EQ(FloatToStrF(-0.004, ffCurrency, 15, 2), "R$ 0,00");
    EXPECT_EQ(FloatToStr(-0.0), "0");
    EXPECT_EQ(FormatCurr("0.00", Currency::FromRaw(-49)), "0,00");
    EXPECT_EQ(CurrToStrF(Currency::FromRaw(-49), ffCurrency, 2), "R$ 0,00");
    // Not zero after rounding: the sign stays.
    EXPECT_EQ(FormatFloat("0.00", -0.005), "-0,01");
}

TEST(FormatSettingsDefaults, AreTheBrazilianOnes) {
    const TFormatSettings fs;
    EXPECT_EQ(fs.DecimalSeparator, ',');
    EXPECT_EQ(fs.ThousandSeparator, '.');
    EXPECT_EQ(fs.ShortDateFormat, "dd/mm/yyyy");
    EXPECT_EQ(fs.CurrencyString, "R$");
    EXPECT_EQ(fs.LongMonthNames[2], "março");
    EXPECT_EQ(fs.LongDayNames[6], "sábado");
    EXPECT_EQ(FloatToStrF(-1234.5, ffCurrency, 15, 2, fs), "-R$ 1.234,50");
    EXPECT_EQ(FormatDateTime("dddddd", EncodeDate(2024, 3, 5), fs), "terça-feira, 5 de março de 2024");
}

TEST(FormatSettingsDefaults, OverloadsTakeTheirOwnSettingsAndTheGlobalIsMutable) {
    TFormatSettings us;
    us.DecimalSeparator = '.';
    us.ThousandSeparator = ',';
    us.CurrencyString = "$";
    us.CurrencyFormat = 0;
    us.NegCurrFormat = 0;
    EXPECT_EQ(FormatFloat("#,##0.00", 1234.5, us), "1,234.50");
    EXPECT_EQ(Format("%m|%m", {1234.5, -2.0}, us), "$1,234.50|($2.00)");
    EXPECT_EQ(StrToFloat("1.5", us), 1.5);

    const TFormatSettings saved = FormatSettings;
    FormatSettings.DecimalSeparator = '.';
    EXPECT_EQ(FloatToStr(2.5), "2.5");
    EXPECT_EQ(StrToFloat("2.5"), 2.5);
    FormatSettings = saved;
    EXPECT_EQ(FloatToStr(2.5), "2,5");
}

TEST(FormatFunction, TakesEveryArgumentTypeThroughTheVariadicForm) {
    const std::string s = "texto";
    int x = 0;
    EXPECT_EQ(Format("%d %d %u %s %s %s", 42, int64_t(-5), 7u, "abc", s, 'c'),
              "42 -5 7 abc texto c");
    EXPECT_EQ(Format("%f|%m", 1.5, Currency::FromRaw(12345)), "1,50|R$ 1,23");
    EXPECT_EQ(Format("%x|%X|%.4x", 255, 255u, 10), "FF|FF|000A");
    EXPECT_EQ(Format("%u", -1), "4294967295");
    EXPECT_EQ(Format("%u", uint64_t(18446744073709551615ull)), "18446744073709551615");
    EXPECT_EQ(Format("%d", std::numeric_limits<int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(Format("%p", static_cast<void*>(nullptr)), "0000000000000000");
    EXPECT_EQ(Format("%p", &x).size(), 16u);
    EXPECT_EQ(Format("100%%"), "100%");
    EXPECT_EQ(Format("%8d|", 1), "       1|");
}

TEST(FormatFunction, IndexStarAndJustification) {
    EXPECT_EQ(Format("%2:s %0:s %s", "a", "b", "c"), "c a b");
    EXPECT_EQ(Format("%*d|%-*d|", 4, 7, 4, 7), "   7|7   |");
    EXPECT_EQ(Format("%*d|", -4, 7), "7   |");
    EXPECT_EQ(Format("%.*f", 3, 3.14159), "3,142");
    EXPECT_EQ(Format("%*s|", std::string("abc").size() + 2, "abc"), "  abc|");
    EXPECT_EQ(Format("%-8s|%8s|", "Nota", "Fiscal"), "Nota    |  Fiscal|");
    EXPECT_EQ(Format("%.3d|%8.3d|", -7, -7), "-007|    -007|");
}

TEST(FormatFunction, TextWidthsCountCharactersNotBytes) {
    EXPECT_EQ(Format("%6s|", "ação"), "  ação|");
    EXPECT_EQ(Format("%-6s|", "João"), "João  |");
    EXPECT_EQ(Format("%.2s|", "ção"), "çã|");
    EXPECT_EQ(Format("%.1s|", "€x"), "€|");
}

TEST(FormatFunction, BadPatternsRaiseTheClassLibraryMessages) {
    EXPECT_EQ(MessageOf([] { Format("%d", 1.5); }),
              "Format '%d' invalid or incompatible with argument");
    EXPECT_EQ(MessageOf([] { Format("%f", 1); }), "Format '%f' invalid or incompatible with argument");
    EXPECT_EQ(MessageOf([] { Format("%s", 1); }), "Format '%s' invalid or incompatible with argument");
    EXPECT_EQ(MessageOf([] { Format("%d", "a"); }), "Format '%d' invalid or incompatible with argument");
    EXPECT_EQ(MessageOf([] { Format("%s %s", "a"); }), "No argument for format '%s %s'");
    EXPECT_EQ(MessageOf([] { Format("%z", 1); }), "Format '%z' invalid or incompatible with argument");
    EXPECT_EQ(MessageOf([] { Format("abc%"); }), "Format 'abc%' invalid or incompatible with argument");
    EXPECT_EQ(MessageOf([] { Format("%5", 1); }), "Format '%5' invalid or incompatible with argument");
    EXPECT_EQ(MessageOf([] { Format("%s", true); }), "Format '%s' invalid or incompatible with argument");
    EXPECT_EQ(MessageOf([] { Format("%*d", "x", 1); }), "Format '%*d' invalid or incompatible with argument");
    EXPECT_EQ(MessageOf([] { Format("%*d", 1 << 30, 1); }),
              "Format '%*d' invalid or incompatible with argument");
    EXPECT_EQ(MessageOf([] { Format("%99999999d", 1); }),
              "Format '%99999999d' invalid or incompatible with argument");
}

TEST(FormatFloatPatterns, SectionsLiteralsAndPlaces) {
    EXPECT_EQ(FormatFloat("#,##0.00;(#,##0.00)", -1234.5), "(1.234,50)");
    EXPECT_EQ(FormatFloat("#,##0.00;;zero", -5), "-5,00");  // empty section: positive with minus
    EXPECT_EQ(FormatFloat("\"R$ \"#,##0.00", -5), "-R$ 5,00");
    EXPECT_EQ(FormatFloat("0.0 'un;id'", 12.34), "12,3 un;id");
    EXPECT_EQ(FormatFloat("00-00", 12345), "123-45");
    EXPECT_EQ(FormatFloat("0.0####", 841.8902184), "841,89022");
    EXPECT_EQ(FormatFloat("0.0####", 12), "12,0");
    EXPECT_EQ(FormatFloat("###,###,##0;0; ", 0), " ");
    EXPECT_EQ(FormatFloat("###,###,##0;0; ", 1234567), "1.234.567");
    EXPECT_EQ(FormatFloat(".00", 12.5), "12,50");
    EXPECT_EQ(FormatFloat("##0.0E+0", 12345), "123,5E+2");
    EXPECT_EQ(FormatFloat("0.000e-000", 0.00012345), "1,235e-004");
    EXPECT_EQ(FormatFloat("", -12.5), "-12,5");
    EXPECT_EQ(FormatFloat("0.00", 1e20), "1E20");
    EXPECT_EQ(FormatFloat("0;0;0;ignored", 5), "5");
    EXPECT_EQ(FormatFloat("'unclosed", 5), "unclosed");
}

TEST(FloatText, GeneralFormAndSpecialValues) {
    EXPECT_EQ(FloatToStr(1234.5), "1234,5");
    EXPECT_EQ(FloatToStr(1e15), "1E15");
    EXPECT_EQ(FloatToStr(123456789012345), "123456789012345");
    EXPECT_EQ(FloatToStr(0.00001), "0,00001");
    EXPECT_EQ(FloatToStr(0.000001), "1E-6");
    EXPECT_EQ(FloatToStr(1.0 / 3), "0,333333333333333");
    EXPECT_EQ(FloatToStr(std::numeric_limits<double>::quiet_NaN()), "Nan");
    EXPECT_EQ(FloatToStr(std::numeric_limits<double>::infinity()), "+Inf");
    EXPECT_EQ(FormatFloat("0.00", -std::numeric_limits<double>::infinity()), "-Inf");
    EXPECT_EQ(Format("%f", std::numeric_limits<double>::quiet_NaN()), "Nan");
    EXPECT_EQ(FloatToStrF(1234.5678, ffExponent, 3, 4), "1,23E+0003");
    EXPECT_EQ(FloatToStrF(2.5, ffExponent, 4, 0), "2,500");
}

TEST(FloatText, TwoDecimalAmountsSurviveTextAndBack) {
    for (int cents = -200000; cents <= 200000; cents += 7) {
        const double v = cents / 100.0;
        ASSERT_EQ(StrToFloat(FloatToStr(v)), v) << cents;
        ASSERT_EQ(StrToFloat(FormatFloat("0.00", v)), v) << cents;
    }
}

TEST(FloatParsing, AcceptsTheSettingsFormAndRefusesTheRest) {
    EXPECT_EQ(StrToFloat(" -1,5e3 "), -1500.0);
    EXPECT_EQ(StrToFloat(",5"), 0.5);
    EXPECT_EQ(StrToFloat("1e-400"), 0.0);
    double v = 42;
    EXPECT_FALSE(TryStrToFloat("1.5", v));
    EXPECT_FALSE(TryStrToFloat("1.000,5", v));
    EXPECT_FALSE(TryStrToFloat("1e400", v));
    EXPECT_FALSE(TryStrToFloat("Inf", v));
    EXPECT_FALSE(TryStrToFloat("", v));
    EXPECT_FALSE(TryStrToFloat("-", v));
    EXPECT_EQ(v, 42);  // untouched on failure
    EXPECT_EQ(StrToFloatDef("x", 7.5), 7.5);
    EXPECT_EQ(MessageOf([] { StrToFloat("abc"); }), "'abc' is not a valid floating point value");
}

TEST(CurrencyText, ExactDigitsAndParsing) {
    EXPECT_EQ(CurrToStr(Currency::FromRaw(12345000)), "1234,5");
    EXPECT_EQ(CurrToStr(Currency::FromRaw(std::numeric_limits<int64_t>::min())),
              "-922337203685477,5808");
    EXPECT_EQ(FormatCurr("#,##0.0000", Currency::FromRaw(std::numeric_limits<int64_t>::max())),
              "922.337.203.685.477,5807");
    EXPECT_EQ(FormatCurr("#,##0.00", Currency::FromRaw(12345650)), "1.234,57");
    EXPECT_EQ(CurrToStrF(Currency::FromRaw(-26750), ffCurrency, 2), "-R$ 2,68");
    EXPECT_EQ(Format("%.4f", Currency::FromRaw(std::numeric_limits<int64_t>::max())),
              "922337203685477,5807");

    EXPECT_EQ(StrToCurr("1234,5").Raw(), 12345000);
    EXPECT_EQ(StrToCurr("0,00005").Raw(), 1);
    EXPECT_EQ(StrToCurr("-0,00005").Raw(), -1);
    EXPECT_EQ(StrToCurr("1,23456").Raw(), 12346);
    EXPECT_EQ(StrToCurr("1,5e2").Raw(), 1500000);
    EXPECT_EQ(StrToCurr("-922337203685477,5808").Raw(), std::numeric_limits<int64_t>::min());
    Currency c = Currency::FromRaw(9);
    EXPECT_FALSE(TryStrToCurr("922337203685477,5808", c));
    EXPECT_FALSE(TryStrToCurr("1e100", c));
    EXPECT_FALSE(TryStrToCurr("1.5", c));
    EXPECT_EQ(c.Raw(), 9);
    EXPECT_EQ(StrToCurrDef("x", Currency::FromRaw(5)).Raw(), 5);
    EXPECT_EQ(MessageOf([] { StrToCurr("R$ 1"); }), "'R$ 1' is not a valid floating point value");
}

}  // namespace
