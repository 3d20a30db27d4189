#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/rtl/DateUtils.h"

namespace {

struct Ymd {
    int y, m, d;
};

Ymd DecodeYmd(TDateTime v) {
    uint16_t y, m, d;
    DecodeDate(v, y, m, d);
    return {y, m, d};
}

TEST(DateEncoding, EveryDayOfTheCalendarRoundTripsAndWeekdaysCycle) {
    // Walks the calendar day by day through the range where bugs in the leap
    // rules would show (1890-2110), then in wide strides over the whole range.
    TDateTime expected = EncodeDate(1890, 1, 1);
    int dow = DayOfWeek(expected);
    for (int y = 1890; y <= 2110; ++y) {
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; d <= DaysInAMonth(y, m); ++d) {
                const TDateTime v = EncodeDate(y, m, d);
                ASSERT_EQ(v, expected) << y << "-" << m << "-" << d;
                const Ymd back = DecodeYmd(v);
                ASSERT_TRUE(back.y == y && back.m == m && back.d == d) << y << "-" << m << "-" << d;
                ASSERT_EQ(DayOfWeek(v), dow);
                expected += 1;
                dow = dow % 7 + 1;
            }
        }
    }
    for (TDateTime v = -693593; v <= 2958465; v += 997) {
        const Ymd back = DecodeYmd(v);
        ASSERT_EQ(EncodeDate(back.y, back.m, back.d), v);
    }
}

TEST(DateEncoding, KnownDaysAndLeapYears) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 3, 5)), 3);  // a Tuesday
    EXPECT_EQ(DayOfTheWeek(EncodeDate(2024, 3, 10)), 7);  // Sunday, ISO numbering
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_TRUE(IsLeapYear(2024));
    EXPECT_EQ(DaysInMonth(EncodeDate(2024, 2, 10)), 29);
    EXPECT_EQ(MonthDays[0][1], 28);
    EXPECT_EQ(DayOfTheYear(EncodeDate(2024, 12, 31)), 366);
}

TEST(DateEncoding, InvalidPartsRaiseTheClassLibraryMessages) {
    try {
        EncodeDate(2023, 2, 29);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Invalid argument to date encode");
    }
    try {
        EncodeTime(24, 0, 0, 0);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Invalid argument to time encode");
    }
    EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
    EXPECT_THROW(EncodeDate(10000, 1, 1), EConvertError);
    EXPECT_THROW(EncodeDate(2024, 13, 1), EConvertError);
    EXPECT_THROW(EncodeTime(-1, 0, 0, 0), EConvertError);
    EXPECT_THROW(EncodeDateTime(2024, 1, 1, 0, 0, 0, 1000), EConvertError);
    TDateTime untouched = 123;
    EXPECT_FALSE(TryEncodeDate(2024, 4, 31, untouched));
    EXPECT_FALSE(TryEncodeTime(12, 60, 0, 0, untouched));
    EXPECT_EQ(untouched, 123);
}

TEST(DateEncoding, DatesBeforeTheOriginCarryTheirTimeAsAPositiveFraction) {
    // -1.25 is 29/12/1899 06:00, not 28/12/1899 18:00.
    EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
    const Ymd d = DecodeYmd(-1.25);
    EXPECT_TRUE(d.y == 1899 && d.m == 12 && d.d == 29);
    EXPECT_EQ(HourOf(-1.25), 6);
    // Between -1 and 0 the date is the origin itself.
    EXPECT_EQ(DayOf(-0.5), 30);
    EXPECT_EQ(HourOf(-0.5), 12);
    EXPECT_EQ(DateOf(-1.25), -1.0);
    EXPECT_EQ(TimeOf(-1.25), 0.25);
    // Arithmetic follows the calendar, not the raw number.
    EXPECT_EQ(IncHour(EncodeDateTime(1899, 12, 30, 2, 0, 0, 0), -3),
              EncodeDateTime(1899, 12, 29, 23, 0, 0, 0));
    EXPECT_EQ(IncDay(-1.25, 2), 1.25);
    // -0.75 names the same moment as 0.75 (30/12/1899 18:00); arithmetic gives the usual form.
    EXPECT_EQ(IncMinute(-0.75, 0), 0.75);
    EXPECT_TRUE(SameDateTime(-0.75, 0.75));
    EXPECT_EQ(CompareDateTime(-1.25, -1.75), -1);  // 06:00 is earlier than 18:00
}

TEST(DateEncoding, TimeRoundsToTheMillisecondAsAWhole) {
    // Just short of midnight: the next day at 00:00:00.000, never an hour 24.
    uint16_t y, m, d, h, n, s, z;
    DecodeDateTime(45000.99999999999, y, m, d, h, n, s, z);
    EXPECT_EQ(EncodeDate(y, m, d), 45001.0);
    EXPECT_EQ(h + n + s + z, 0);
    DecodeTime(EncodeTime(23, 59, 59, 999), h, n, s, z);
    EXPECT_TRUE(h == 23 && n == 59 && s == 59 && z == 999);
}

TEST(DateEncoding, NonNumbersAndOutOfRangeValuesDecodeToZerosWithoutCrashing) {
    for (double bad : {std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity(), 1e300, -1e300, -693594.0}) {
        const Ymd d = DecodeYmd(bad);
        EXPECT_TRUE(d.y == 0 && d.m == 0 && d.d == 0) << bad;
        EXPECT_EQ(HourOf(bad), 0);
        EXPECT_THROW(IncMonth(bad), EConvertError);
    }
    EXPECT_TRUE(std::isnan(IncDay(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(IncDay(1e300), 1e300 + 1);
    // Steps too large for milliseconds and spans between absurd values must not overflow.
    EXPECT_GT(IncHour(EncodeDate(2024, 1, 1), std::numeric_limits<int64_t>::max()), 1e14);
    EXPECT_GT(DaysBetween(1e300, -1e300), int64_t(100000000000));
    EXPECT_EQ(DateTimeToUnix(1e300), std::numeric_limits<int64_t>::max());
}

TEST(DateArithmetic, IncMonthClampsTheDayAndKeepsTheTime) {
    EXPECT_EQ(IncMonth(EncodeDate(2024, 1, 31)), EncodeDate(2024, 2, 29));
    EXPECT_EQ(IncMonth(EncodeDate(2023, 1, 31)), EncodeDate(2023, 2, 28));
    EXPECT_EQ(IncMonth(EncodeDate(2024, 3, 31), -1), EncodeDate(2024, 2, 29));
    EXPECT_EQ(IncMonth(EncodeDate(2024, 11, 15), 3), EncodeDate(2025, 2, 15));
    EXPECT_EQ(IncMonth(EncodeDate(2024, 1, 15), -13), EncodeDate(2022, 12, 15));
    EXPECT_EQ(IncMonth(EncodeDateTime(2024, 1, 31, 8, 30, 0, 0)), EncodeDateTime(2024, 2, 29, 8, 30, 0, 0));
    EXPECT_EQ(IncMonth(-1.25), EncodeDateTime(1900, 1, 29, 6, 0, 0, 0));
    EXPECT_EQ(IncYear(EncodeDate(2024, 2, 29)), EncodeDate(2025, 2, 28));
    EXPECT_THROW(IncMonth(EncodeDate(9999, 12, 1)), EConvertError);
    EXPECT_THROW(IncMonth(EncodeDate(1, 1, 1), -1), EConvertError);
}

TEST(DateArithmetic, MonthAndYearBoundsAndSpans) {
    const TDateTime v = EncodeDateTime(2024, 2, 10, 15, 0, 0, 0);
    EXPECT_EQ(StartOfTheMonth(v), EncodeDate(2024, 2, 1));
    EXPECT_EQ(EndOfTheMonth(v), EncodeDateTime(2024, 2, 29, 23, 59, 59, 999));
    EXPECT_EQ(StartOfTheYear(v), EncodeDate(2024, 1, 1));
    EXPECT_EQ(EndOfTheDay(v), EncodeDateTime(2024, 2, 10, 23, 59, 59, 999));
    EXPECT_EQ(DaysBetween(EncodeDate(2024, 3, 1), EncodeDate(2024, 2, 1)), 29);
    EXPECT_EQ(DaysBetween(EncodeDateTime(2024, 1, 1, 12, 0, 0, 0), EncodeDate(2024, 1, 2)), 0);
    EXPECT_EQ(MonthsBetween(EncodeDate(2024, 1, 31), EncodeDate(2024, 2, 29)), 0);
    EXPECT_EQ(MonthsBetween(EncodeDate(2024, 1, 15), EncodeDate(2024, 3, 15)), 2);
    EXPECT_EQ(YearsBetween(EncodeDate(2000, 2, 29), EncodeDate(2024, 2, 28)), 23);
    EXPECT_TRUE(SameDate(EncodeDateTime(2024, 1, 1, 1, 0, 0, 0), EncodeDate(2024, 1, 1)));
    EXPECT_FALSE(SameDateTime(EncodeDateTime(2024, 1, 1, 1, 0, 0, 0), EncodeDate(2024, 1, 1)));
}

TEST(DateArithmetic, TimeStampsAndUnixTime) {
    const TDateTime v = EncodeDateTime(2024, 3, 5, 13, 45, 30, 250);
    const TTimeStamp ts = DateTimeToTimeStamp(v);
    EXPECT_EQ(ts.Date, 45356 + DateDelta);
    EXPECT_EQ(ts.Time, ((13 * 60 + 45) * 60 + 30) * 1000 + 250);
    EXPECT_EQ(TimeStampToDateTime(ts), v);
    EXPECT_EQ(MSecsToTimeStamp(TimeStampToMSecs(ts)).Time, ts.Time);
    EXPECT_EQ(TimeStampToMSecs(DateTimeToTimeStamp(EncodeDate(1, 1, 1))), double(MSecsPerDay));
    EXPECT_EQ(DateTimeToUnix(EncodeDate(1970, 1, 2)), 86400);
    EXPECT_EQ(UnixToDateTime(1709646330), EncodeDateTime(2024, 3, 5, 13, 45, 30, 0));
}

TEST(DateArithmetic, ClockAgreesWithItself) {
    const TDateTime now = Now();
    EXPECT_GT(now, EncodeDate(2020, 1, 1));
    EXPECT_LE(std::fabs(Date() - std::trunc(now)), 1.0);
    EXPECT_GE(Time(), 0.0);
    EXPECT_LT(Time(), 1.0);
}

}  // namespace
