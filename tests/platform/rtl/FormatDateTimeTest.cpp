#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/rtl/Format.h"

namespace {

const TDateTime kSample = EncodeDateTime(2024, 3, 5, 13, 4, 5, 6);

TEST(FormatDateTimePatterns, NamesNumbersAndNestedFormats) {
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn:ss.zzz", kSample), "05/03/2024 13:04:05.006");
    EXPECT_EQ(FormatDateTime("d/m/yy h:n:s.z", kSample), "5/3/24 13:4:5.6");
    EXPECT_EQ(FormatDateTime("ddd dddd mmm mmmm", kSample), "ter terça-feira mar março");
    EXPECT_EQ(FormatDateTime("ddddd", kSample), "05/03/2024");
    EXPECT_EQ(FormatDateTime("dddddd", kSample), "terça-feira, 5 de março de 2024");
    EXPECT_EQ(FormatDateTime("c", kSample), "05/03/2024 13:04:05");
    EXPECT_EQ(FormatDateTime("c", EncodeDate(2024, 3, 5)), "05/03/2024");
    EXPECT_EQ(FormatDateTime("t|tt", kSample), "13:04|13:04:05");
    EXPECT_EQ(FormatDateTime("yyyymmddhhnnss", kSample), "20240305130405");
    EXPECT_EQ(FormatDateTime("\"Data:\" dd 'de' mmmm", kSample), "Data: 05 de março");
    EXPECT_EQ(FormatDateTime("", kSample), "05/03/2024 13:04:05");
}

TEST(FormatDateTimePatterns, MAfterAnHourMeansMinutes) {
    EXPECT_EQ(FormatDateTime("hh:mm", kSample), "13:04");
    EXPECT_EQ(FormatDateTime("h'h'mm", kSample), "13h04");
    EXPECT_EQ(FormatDateTime("mm hh:mm", kSample), "03 13:04");
    EXPECT_EQ(FormatDateTime("hh dd mm", kSample), "13 05 03");
}

TEST(FormatDateTimePatterns, TwelveHourClockAndMarkers) {
    EXPECT_EQ(FormatDateTime("h:nn am/pm", kSample), "1:04 pm");
    EXPECT_EQ(FormatDateTime("h:nn AM/PM", kSample), "1:04 PM");
    EXPECT_EQ(FormatDateTime("h:nn A/P", EncodeTime(0, 30, 0, 0)), "12:30 A");
    EXPECT_EQ(FormatDateTime("hh ampm", EncodeTime(12, 0, 0, 0)), "12 PM");
    // A marker only counts after the hour it governs.
    EXPECT_EQ(FormatDateTime("am/pm hh", kSample), "pm 13");
    // Quoted text is no marker.
    EXPECT_EQ(FormatDateTime("hh 'am/pm'", kSample), "13 am/pm");
}

TEST(FormatDateTimePatterns, SettingsDriveSeparatorsAndSelfReferringFormatsStop) {
    TFormatSettings fs;
    fs.DateSeparator = '-';
    fs.TimeSeparator = '.';
    fs.ShortDateFormat = "yyyy/mm/dd";
    EXPECT_EQ(DateTimeToStr(kSample, fs), "2024-03-05 13.04.05");
    EXPECT_EQ(DateToStr(kSample, fs), "2024-03-05");
    EXPECT_EQ(TimeToStr(kSample, fs), "13.04.05");
    fs.ShortDateFormat = "ddddd";  // names itself: must not loop forever
    EXPECT_EQ(DateToStr(kSample, fs), "");
    fs.ShortDateFormat = "c";
    EXPECT_NO_THROW(DateTimeToStr(kSample, fs));
}

TEST(FormatDateTimePatterns, DatesBeforeTheOriginAndBadValues) {
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", -1.25), "29/12/1899 06:00");
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", -0.5), "30/12/1899 12:00");
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn:ss.zzz", 45000.99999999999), "16/03/2023 00:00:00.000");
    // No crash and no stray names for values outside the calendar.
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy mmm ddd", std::numeric_limits<double>::quiet_NaN()),
              "00/00/0000  ");
}

TEST(DateParsing, FullDatesInTheShortFormatOrder) {
    EXPECT_EQ(StrToDate("05/03/2024"), EncodeDate(2024, 3, 5));
    EXPECT_EQ(StrToDate(" 5/3/2024 "), EncodeDate(2024, 3, 5));
    EXPECT_EQ(StrToDate("05/03/2024/"), EncodeDate(2024, 3, 5));
    TFormatSettings iso;
    iso.ShortDateFormat = "yyyy-mm-dd";
    iso.DateSeparator = '-';
    EXPECT_EQ(StrToDate("2024-03-05", iso), EncodeDate(2024, 3, 5));
    TFormatSettings us;
    us.ShortDateFormat = "mm/dd/yyyy";
    EXPECT_EQ(StrToDate("03/05/2024", us), EncodeDate(2024, 3, 5));
    try {
        StrToDate("31/02/2024");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'31/02/2024' is not a valid date");
    }
    TDateTime v = 7;
    for (const char* bad : {"", "abc", "05-03-2024", "05/03/2024 x", "/03/2024", "05/", "0/1/2024"})
        EXPECT_FALSE(TryStrToDate(bad, v)) << bad;
    EXPECT_EQ(v, 7);
    EXPECT_EQ(StrToDateDef("x", 3.0), 3.0);
}

TEST(DateParsing, ShortYearsFollowTheCenturyWindow) {
    const int current = YearOf(Now());
    TFormatSettings fs;  // window of 50 years
    // The year 50 years back is the earliest a two-digit year can mean.
    const int earliest = current - 50;
    EXPECT_EQ(YearOf(StrToDate(Format("01/01/%.2d", earliest % 100), fs)), earliest);
    EXPECT_EQ(YearOf(StrToDate(Format("01/01/%.2d", (earliest - 1) % 100), fs)), earliest + 99);
    EXPECT_EQ(YearOf(StrToDate(Format("01/01/%.2d", current % 100), fs)), current);
    // Three or four digits are taken as typed.
    EXPECT_EQ(YearOf(StrToDate("01/01/0024", fs)), 24);
    fs.TwoDigitYearCenturyWindow = 0;  // the current century
    EXPECT_EQ(YearOf(StrToDate("01/01/99", fs)), current / 100 * 100 + 99);
    // Day and month alone mean this year.
    EXPECT_EQ(StrToDate("25/12", fs), EncodeDate(current, 12, 25));
}

TEST(DateParsing, TimesWithSecondsFractionsAndMarkers) {
    EXPECT_EQ(StrToTime("13:45"), EncodeTime(13, 45, 0, 0));
    EXPECT_EQ(StrToTime("13:45:30"), EncodeTime(13, 45, 30, 0));
    EXPECT_EQ(StrToTime("13:45:30,5"), EncodeTime(13, 45, 30, 500));
    EXPECT_EQ(StrToTime("14"), EncodeTime(14, 0, 0, 0));
    EXPECT_EQ(StrToTime("1:30 PM"), EncodeTime(13, 30, 0, 0));
    EXPECT_EQ(StrToTime("12:00 am"), 0.0);
    EXPECT_EQ(StrToTime("AM 11:15"), EncodeTime(11, 15, 0, 0));
    TDateTime v = 9;
    for (const char* bad : {"25:00", "12:60", "13:00 PM", "0:10 AM", "xx", "12:", "12:00:"})
        EXPECT_FALSE(TryStrToTime(bad, v)) << bad;
    EXPECT_EQ(v, 9);
    try {
        StrToTime("25:00");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'25:00' is not a valid time");
    }
}

TEST(DateParsing, DateTimesIncludingBeforeTheOrigin) {
    EXPECT_EQ(StrToDateTime("05/03/2024 13:45"), EncodeDateTime(2024, 3, 5, 13, 45, 0, 0));
    EXPECT_EQ(StrToDateTime("05/03/2024"), EncodeDate(2024, 3, 5));
    EXPECT_EQ(StrToDateTime("13:45"), EncodeTime(13, 45, 0, 0));
    EXPECT_EQ(StrToDateTime("29/12/1899 06:00"), -1.25);
    EXPECT_THROW(StrToDateTime("05/03/2024 25:00"), EConvertError);
    try {
        StrToDateTime("xx");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'xx' is not a valid date and time");
    }
    EXPECT_EQ(StrToDateTimeDef("", 2.0), 2.0);
}

TEST(DateParsing, WrittenDateTimesReadBackToTheSecond) {
    for (TDateTime v = -36500.3; v < 80000; v += 123.4567) {
        const std::string text = DateTimeToStr(v);
        TDateTime back;
        ASSERT_TRUE(TryStrToDateTime(text, back)) << text;
        ASSERT_EQ(FormatDateTime("dd/mm/yyyy hh:nn:ss", back), text.size() > 10 ? text : text + " 00:00:00")
            << text;
    }
}

}  // namespace
