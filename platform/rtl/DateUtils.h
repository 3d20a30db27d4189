#pragma once
// Dates and times as the class library keeps them: a double counting days
// since 1899-12-30, the time of day as the fraction. A negative value counts
// days before that origin and still carries its time as a positive fraction
// (-1.25 is 1899-12-29 06:00), which is why the date part is always the
// truncated value and the time part the absolute fraction.
#include <cstdint>

#include "platform/rtl/SysUtils.h"

using TDateTime = double;

constexpr int HoursPerDay = 24;
constexpr int MinsPerHour = 60;
constexpr int SecsPerMin = 60;
constexpr int MSecsPerSec = 1000;
constexpr int MinsPerDay = HoursPerDay * MinsPerHour;
constexpr int SecsPerDay = MinsPerDay * SecsPerMin;
constexpr int MSecsPerDay = SecsPerDay * MSecsPerSec;
// Days from 0001-01-01 to 1899-12-30, the offset of a time stamp's date.
constexpr int DateDelta = 693594;
// 1970-01-01 as a TDateTime.
constexpr TDateTime UnixDateDelta = 25569.0;

// Day counts per month, [leap year][month - 1].
extern const uint16_t MonthDays[2][12];

// The date as days since 0001-01-01 (day 1 is that date) and the time as
// milliseconds since midnight.
struct TTimeStamp {
    int32_t Time = 0;
    int32_t Date = 0;
};

bool IsLeapYear(int Year);
int DaysInAMonth(int Year, int Month);
int DaysInMonth(TDateTime Value);
int DaysInAYear(int Year);
int DaysInYear(TDateTime Value);

// Encoding raises EConvertError "Invalid argument to date encode" /
// "Invalid argument to time encode" on a value out of range; the Try forms
// answer false and leave the result untouched.
bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Result);
TDateTime EncodeDate(int Year, int Month, int Day);
bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Result);
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec);
bool TryEncodeDateTime(int Year, int Month, int Day, int Hour, int Min, int Sec, int MSec,
                       TDateTime& Result);
TDateTime EncodeDateTime(int Year, int Month, int Day, int Hour, int Min, int Sec, int MSec);

void DecodeDate(TDateTime Value, uint16_t& Year, uint16_t& Month, uint16_t& Day);
// Also gives the day of the week (1 = Sunday) and answers whether the year is a leap year.
bool DecodeDateFully(TDateTime Value, uint16_t& Year, uint16_t& Month, uint16_t& Day,
                     uint16_t& DOW);
void DecodeTime(TDateTime Value, uint16_t& Hour, uint16_t& Min, uint16_t& Sec, uint16_t& MSec);
void DecodeDateTime(TDateTime Value, uint16_t& Year, uint16_t& Month, uint16_t& Day,
                    uint16_t& Hour, uint16_t& Min, uint16_t& Sec, uint16_t& MSec);

// The local clock.
TDateTime Now();
TDateTime Date();
TDateTime Time();
inline TDateTime GetTime() { return Time(); }

// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime Value);
// ISO numbering: 1 = Monday ... 7 = Sunday.
int DayOfTheWeek(TDateTime Value);
int DayOfTheYear(TDateTime Value);

int YearOf(TDateTime Value);
int MonthOf(TDateTime Value);
int DayOf(TDateTime Value);
int HourOf(TDateTime Value);
int MinuteOf(TDateTime Value);
int SecondOf(TDateTime Value);
int MilliSecondOf(TDateTime Value);

// Keeps the time of day; the day is clamped to the last day of the target month
// (31 January + 1 month is 28 or 29 February).
TDateTime IncMonth(TDateTime Value, int NumberOfMonths = 1);
TDateTime IncYear(TDateTime Value, int NumberOfYears = 1);
TDateTime IncWeek(TDateTime Value, int NumberOfWeeks = 1);
TDateTime IncDay(TDateTime Value, int NumberOfDays = 1);
TDateTime IncHour(TDateTime Value, int64_t NumberOfHours = 1);
TDateTime IncMinute(TDateTime Value, int64_t NumberOfMinutes = 1);
TDateTime IncSecond(TDateTime Value, int64_t NumberOfSeconds = 1);
TDateTime IncMilliSecond(TDateTime Value, int64_t NumberOfMilliSeconds = 1);

TDateTime DateOf(TDateTime Value);
TDateTime TimeOf(TDateTime Value);
TDateTime StartOfTheDay(TDateTime Value);
TDateTime EndOfTheDay(TDateTime Value);
TDateTime StartOfTheMonth(TDateTime Value);
TDateTime EndOfTheMonth(TDateTime Value);
TDateTime StartOfTheYear(TDateTime Value);
TDateTime EndOfTheYear(TDateTime Value);
TDateTime StartOfAMonth(int Year, int Month);
TDateTime EndOfAMonth(int Year, int Month);

// Whole days/months/years between two moments, never negative.
int64_t DaysBetween(TDateTime A, TDateTime B);
int64_t MonthsBetween(TDateTime A, TDateTime B);
int64_t YearsBetween(TDateTime A, TDateTime B);

bool SameDate(TDateTime A, TDateTime B);
bool SameDateTime(TDateTime A, TDateTime B);
// -1, 0 or 1, comparing to the millisecond.
int CompareDateTime(TDateTime A, TDateTime B);
int CompareDate(TDateTime A, TDateTime B);

TTimeStamp DateTimeToTimeStamp(TDateTime Value);
TDateTime TimeStampToDateTime(const TTimeStamp& Value);
double TimeStampToMSecs(const TTimeStamp& Value);
TTimeStamp MSecsToTimeStamp(double MSecs);

int64_t DateTimeToUnix(TDateTime Value);
TDateTime UnixToDateTime(int64_t Value);
