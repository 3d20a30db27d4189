#include "platform/rtl/Currency.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/rtl/SysUtils.h"

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

TEST(CurrencyConversion, DecimalTiesRoundAwayFromZeroAfterFifteenDigits) {
    // Each of these lies just below its tie in binary; read as the decimal
    // the user typed, it is a tie and rounds away from zero.
    EXPECT_EQ(Currency::FromDouble(2.00005).Raw(), 20001);
    EXPECT_EQ(Currency::FromDouble(1.23455).Raw(), 12346);
    EXPECT_EQ(Currency::FromDouble(-7.12345).Raw(), -71235);
    EXPECT_EQ(Currency::FromDouble(0.00005).Raw(), 1);
    EXPECT_EQ(Currency::FromDouble(-0.00005).Raw(), -1);
    EXPECT_EQ(Currency::FromDouble(1234567.89015).Raw(), 12345678902);
    // Below and above the tie.
    EXPECT_EQ(Currency::FromDouble(0.000049999).Raw(), 0);
    EXPECT_EQ(Currency::FromDouble(0.00015001).Raw(), 2);
    EXPECT_EQ(Currency::FromDouble(-0.00014999).Raw(), -1);
}

TEST(CurrencyConversion, ExactValuesAndTinyValues) {
    EXPECT_EQ(Currency::FromDouble(0.0).Raw(), 0);
    EXPECT_EQ(Currency::FromDouble(-0.0).Raw(), 0);
    EXPECT_EQ(Currency::FromDouble(0.1).Raw(), 1000);
    EXPECT_EQ(Currency::FromDouble(19.99).Raw(), 199900);
    EXPECT_EQ(Currency::FromDouble(0.1 + 0.2).Raw(), 3000);
    EXPECT_EQ(Currency::FromDouble(1e-20).Raw(), 0);
    EXPECT_EQ(Currency::FromDouble(-1e-300).Raw(), 0);
    EXPECT_EQ(Currency::FromDouble(900000000000000.0).Raw(), 9000000000000000000);
    EXPECT_EQ(Currency::FromDouble(123456789012345.0).Raw(), 1234567890123450000);
}

TEST(CurrencyConversion, ToDoubleGivesTheNearestDouble) {
    EXPECT_EQ(Currency::FromRaw(12345).ToDouble(), 1.2345);
    EXPECT_EQ(Currency::FromRaw(-1).ToDouble(), -0.0001);
    EXPECT_EQ(Currency::FromInt(-12).ToDouble(), -12.0);
    for (double v : {0.01, 2.675, 1.005, 99999.9999, -0.07})
        EXPECT_EQ(Currency::FromDouble(v).ToDouble(), v) << v;
}

TEST(CurrencyConversion, OutOfRangeAndNonNumbersRaise) {
    EXPECT_THROW(Currency::FromDouble(1e15), EOverflow);
    EXPECT_THROW(Currency::FromDouble(-1e300), EOverflow);
    EXPECT_THROW(Currency::FromDouble(std::nan("")), EOverflow);
    EXPECT_THROW(Currency::FromDouble(INFINITY), EOverflow);
    EXPECT_THROW(Currency::FromInt(kMax / 10000 + 1), EOverflow);
    EXPECT_EQ(Currency::FromInt(kMax / 10000).Raw(), kMax / 10000 * 10000);
}

TEST(CurrencyArithmetic, SumsAreExact) {
    Currency total;
    for (int i = 0; i < 10; ++i) total += Currency::FromDouble(0.1);
    EXPECT_EQ(total, Currency::FromInt(1));
    EXPECT_EQ(Currency::FromDouble(5.5) - Currency::FromDouble(7.25), Currency::FromDouble(-1.75));
    EXPECT_EQ((-Currency::FromRaw(5)).Raw(), -5);
}

TEST(CurrencyArithmetic, ProductsAndQuotientsRoundHalfAwayFromZero) {
    // 1.5 * 1.0001 = 1.50015 -> 1.5002
    EXPECT_EQ((Currency::FromDouble(1.5) * Currency::FromDouble(1.0001)).Raw(), 15002);
    EXPECT_EQ((Currency::FromDouble(-1.5) * Currency::FromDouble(1.0001)).Raw(), -15002);
    EXPECT_EQ((Currency::FromDouble(0.0001) * Currency::FromDouble(0.4999)).Raw(), 0);
    EXPECT_EQ((Currency::FromDouble(3.25) * 4).Raw(), 130000);
    EXPECT_EQ((3 * Currency::FromDouble(-0.5)).Raw(), -15000);
    EXPECT_EQ((Currency::FromInt(1) / 3).Raw(), 3333);
    EXPECT_EQ((Currency::FromInt(2) / 3).Raw(), 6667);
    EXPECT_EQ((Currency::FromInt(-2) / 3).Raw(), -6667);
    EXPECT_EQ((Currency::FromInt(2) / -3).Raw(), -6667);
    EXPECT_EQ((Currency::FromRaw(5) / 2).Raw(), 3);
    EXPECT_EQ((Currency::FromRaw(-5) / 2).Raw(), -3);
    EXPECT_EQ((Currency::FromInt(1) / Currency::FromInt(3)).Raw(), 3333);
    EXPECT_EQ((Currency::FromDouble(10) / Currency::FromDouble(0.0004)).Raw(), 250000000);
    // Large operands do not overflow on the way (128-bit intermediates).
    EXPECT_EQ((Currency::FromInt(900000000) * Currency::FromInt(1000)).Raw(), 9000000000000000000 / 1000);
    EXPECT_EQ((Currency::FromInt(90000000000) * Currency::FromInt(10000)).Raw(), 9000000000000000000);
}

TEST(CurrencyArithmetic, OverflowAndDivisionByZeroRaise) {
    EXPECT_THROW(Currency::FromRaw(kMax) + Currency::FromRaw(1), EOverflow);
    EXPECT_THROW(Currency::FromRaw(kMin) - Currency::FromRaw(1), EOverflow);
    EXPECT_THROW(-Currency::FromRaw(kMin), EOverflow);
    EXPECT_THROW(Currency::FromRaw(kMax) * 2, EOverflow);
    EXPECT_THROW(Currency::FromInt(1000000000) * Currency::FromInt(1000000000), EOverflow);
    EXPECT_THROW(Currency::FromRaw(kMax) / Currency::FromRaw(1), EOverflow);
    EXPECT_THROW(Currency::FromInt(1) / 0, EZeroDivide);
    EXPECT_THROW(Currency::FromInt(1) / Currency(), EZeroDivide);
    // A failed operation leaves the operand as it was.
    Currency c = Currency::FromRaw(kMax);
    EXPECT_THROW(c += Currency::FromRaw(1), EOverflow);
    EXPECT_EQ(c.Raw(), kMax);
}

TEST(CurrencyArithmetic, Comparison) {
    EXPECT_LT(Currency::FromDouble(-0.0001), Currency());
    EXPECT_GT(Currency::FromDouble(1.0001), Currency::FromInt(1));
    EXPECT_EQ(Currency::FromDouble(2.5), Currency::FromRaw(25000));
    EXPECT_NE(Currency::FromDouble(2.5), Currency::FromRaw(25001));
}

}  // namespace
