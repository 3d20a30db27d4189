#include "platform/rtl/DateUtils.h"

#include <cmath>
#include <ctime>
#include <limits>

const uint16_t MonthDays[2][12] = {
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};

namespace {

constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;
// 0001-01-01 and 9999-12-31 as TDateTime.
constexpr double kMinDate = -693593.0;
constexpr double kMaxDate = 2958465.0;

// Days since 0001-01-01 of a valid date, day 1 being that date.
int64_t DayNumber(int year, int month, int day) {
    const int64_t y = year - 1;
    int64_t n = y * 365 + y / 4 - y / 100 + y / 400 + day;
    const auto& table = MonthDays[IsLeapYear(year) ? 1 : 0];
    for (int m = 0; m < month - 1; ++m) n += table[m];
    return n;
}

// A value split into whole days and milliseconds of its day, rounded to the
// millisecond as a whole so that 23:59:59.9999 becomes midnight of the next
// day rather than a time of 24:00. False for values outside 0001..9999 and
// for NaN, which would otherwise feed undefined conversions.
bool Split(TDateTime value, int64_t& days, int32_t& msecs) {
    if (!std::isfinite(value) || value < kMinDate - 1 || value > kMaxDate + 1) return false;
    const int64_t total = std::llround(value * MSecsPerDay);
    days = total / MSecsPerDay;  // truncates toward zero, as the date part does
    msecs = static_cast<int32_t>(std::llabs(total % MSecsPerDay));
    return true;
}

// A date (whole days) and a time of day put together the way the class
// library stores them: before the origin the time is subtracted.
TDateTime Compose(double date, double time) {
    return date >= 0 ? date + time : date - time;
}

double TimeFraction(TDateTime value) {
    int64_t days;
    int32_t ms;
    if (!Split(value, days, ms)) return 0;
    return static_cast<double>(ms) / MSecsPerDay;
}

double DatePart(TDateTime value) {
    int64_t days;
    int32_t ms;
    if (!Split(value, days, ms)) return 0;
    return static_cast<double>(days);
}

bool Valid(TDateTime value) {
    int64_t days;
    int32_t ms;
    return Split(value, days, ms);
}

// The moment on a continuous axis: -1.25 (29/12/1899 06:00) lies at -0.75.
// Values outside the calendar stay as they are.
double Linear(TDateTime value) {
    if (value >= 0 || !Valid(value)) return value;
    return DatePart(value) + TimeFraction(value);
}

TDateTime FromLinear(double linear) {
    if (linear >= 0) return linear;
    const double day = std::floor(linear);
    return Compose(day, linear - day);
}

// Saturates instead of overflowing for values far outside the calendar.
int64_t LinearMs(TDateTime value) {
    const double ms = Linear(value) * MSecsPerDay;
    if (std::isnan(ms)) return 0;
    if (ms >= 9.2e18) return std::numeric_limits<int64_t>::max();
    if (ms <= -9.2e18) return std::numeric_limits<int64_t>::min();
    return std::llround(ms);
}

TDateTime FromLinearMs(int64_t ms) {
    const int64_t day = ms >= 0 ? ms / MSecsPerDay : -((-ms + MSecsPerDay - 1) / MSecsPerDay);
    const int64_t rest = ms - day * MSecsPerDay;
    return FromLinear(static_cast<double>(day) + static_cast<double>(rest) / MSecsPerDay);
}

// Steps on the millisecond axis; values outside the calendar and steps that
// would overflow fall back to plain floating-point arithmetic.
TDateTime IncUnits(TDateTime value, int64_t count, int64_t unitMs) {
    int64_t delta, sum;
    if (!Valid(value) || __builtin_mul_overflow(count, unitMs, &delta) ||
        __builtin_add_overflow(LinearMs(value), delta, &sum))
        return FromLinear(Linear(value) + static_cast<double>(count) * unitMs / MSecsPerDay);
    return FromLinearMs(sum);
}

[[noreturn]] void DateEncodeError() { throw EConvertError("Invalid argument to date encode"); }
[[noreturn]] void TimeEncodeError() { throw EConvertError("Invalid argument to time encode"); }

}  // namespace

bool IsLeapYear(int Year) { return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0); }

int DaysInAMonth(int Year, int Month) {
    if (Month < 1 || Month > 12) DateEncodeError();
    return MonthDays[IsLeapYear(Year) ? 1 : 0][Month - 1];
}

int DaysInMonth(TDateTime Value) { return DaysInAMonth(YearOf(Value), MonthOf(Value)); }
int DaysInAYear(int Year) { return IsLeapYear(Year) ? 366 : 365; }
int DaysInYear(TDateTime Value) { return DaysInAYear(YearOf(Value)); }

bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Result) {
    if (Year < kMinYear || Year > kMaxYear || Month < 1 || Month > 12 || Day < 1) return false;
    if (Day > MonthDays[IsLeapYear(Year) ? 1 : 0][Month - 1]) return false;
    Result = static_cast<double>(DayNumber(Year, Month, Day) - DateDelta);
    return true;
}

TDateTime EncodeDate(int Year, int Month, int Day) {
    TDateTime result;
    if (!TryEncodeDate(Year, Month, Day, result)) DateEncodeError();
    return result;
}

bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Result) {
    if (Hour < 0 || Hour >= HoursPerDay || Min < 0 || Min >= MinsPerHour || Sec < 0 ||
        Sec >= SecsPerMin || MSec < 0 || MSec >= MSecsPerSec)
        return false;
    const int64_t ms = ((int64_t(Hour) * MinsPerHour + Min) * SecsPerMin + Sec) * MSecsPerSec + MSec;
    Result = static_cast<double>(ms) / MSecsPerDay;
    return true;
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec) {
    TDateTime result;
    if (!TryEncodeTime(Hour, Min, Sec, MSec, result)) TimeEncodeError();
    return result;
}

bool TryEncodeDateTime(int Year, int Month, int Day, int Hour, int Min, int Sec, int MSec,
                       TDateTime& Result) {
    TDateTime date, time;
    if (!TryEncodeDate(Year, Month, Day, date) || !TryEncodeTime(Hour, Min, Sec, MSec, time))
        return false;
    Result = Compose(date, time);
    return true;
}

TDateTime EncodeDateTime(int Year, int Month, int Day, int Hour, int Min, int Sec, int MSec) {
    TDateTime date;
    if (!TryEncodeDate(Year, Month, Day, date)) DateEncodeError();
    TDateTime time;
    if (!TryEncodeTime(Hour, Min, Sec, MSec, time)) TimeEncodeError();
    return Compose(date, time);
}

bool DecodeDateFully(TDateTime Value, uint16_t& Year, uint16_t& Month, uint16_t& Day,
                     uint16_t& DOW) {
    int64_t days;
    int32_t ms;
    int64_t t = 0;
    if (Split(Value, days, ms)) t = days + DateDelta;
    if (t <= 0 || t > DayNumber(kMaxYear, 12, 31)) {
        Year = Month = Day = DOW = 0;
        return false;
    }
    DOW = static_cast<uint16_t>(t % 7 + 1);
    int64_t n = t - 1;  // days since 0001-01-01, zero-based
    int64_t y = 1;
    y += (n / 146097) * 400;
    n %= 146097;
    int64_t c = n / 36524;
    if (c == 4) c = 3;  // the last day of a 400-year cycle
    y += c * 100;
    n -= c * 36524;
    y += (n / 1461) * 4;
    n %= 1461;
    int64_t k = n / 365;
    if (k == 4) k = 3;  // the last day of a leap year
    y += k;
    n -= k * 365;
    const bool leap = IsLeapYear(static_cast<int>(y));
    const auto& table = MonthDays[leap ? 1 : 0];
    int m = 0;
    while (n >= table[m]) n -= table[m++];
    Year = static_cast<uint16_t>(y);
    Month = static_cast<uint16_t>(m + 1);
    Day = static_cast<uint16_t>(n + 1);
    return leap;
}

void DecodeDate(TDateTime Value, uint16_t& Year, uint16_t& Month, uint16_t& Day) {
    uint16_t dow;
    DecodeDateFully(Value, Year, Month, Day, dow);
}

void DecodeTime(TDateTime Value, uint16_t& Hour, uint16_t& Min, uint16_t& Sec, uint16_t& MSec) {
    int64_t days;
    int32_t ms = 0;
    if (!Split(Value, days, ms)) ms = 0;
    Hour = static_cast<uint16_t>(ms / 3600000);
    Min = static_cast<uint16_t>(ms / 60000 % 60);
    Sec = static_cast<uint16_t>(ms / 1000 % 60);
    MSec = static_cast<uint16_t>(ms % 1000);
}

void DecodeDateTime(TDateTime Value, uint16_t& Year, uint16_t& Month, uint16_t& Day,
                    uint16_t& Hour, uint16_t& Min, uint16_t& Sec, uint16_t& MSec) {
    DecodeDate(Value, Year, Month, Day);
    DecodeTime(Value, Hour, Min, Sec, MSec);
}

TDateTime Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm local{};
    const time_t secs = ts.tv_sec;
    localtime_r(&secs, &local);
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
           EncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec,
                      static_cast<int>(ts.tv_nsec / 1000000));
}

TDateTime Date() { return std::trunc(Now()); }

TDateTime Time() {
    const TDateTime now = Now();
    return now - std::trunc(now);
}

int DayOfWeek(TDateTime Value) {
    uint16_t y, m, d, dow;
    DecodeDateFully(Value, y, m, d, dow);
    return dow;
}

int DayOfTheWeek(TDateTime Value) {
    const int dow = DayOfWeek(Value);
    return dow == 1 ? 7 : dow - 1;
}

int DayOfTheYear(TDateTime Value) {
    uint16_t y, m, d;
    DecodeDate(Value, y, m, d);
    if (y == 0) return 0;
    return static_cast<int>(DayNumber(y, m, d) - DayNumber(y, 1, 1) + 1);
}

int YearOf(TDateTime Value) {
    uint16_t y, m, d;
    DecodeDate(Value, y, m, d);
    return y;
}

int MonthOf(TDateTime Value) {
    uint16_t y, m, d;
    DecodeDate(Value, y, m, d);
    return m;
}

int DayOf(TDateTime Value) {
    uint16_t y, m, d;
    DecodeDate(Value, y, m, d);
    return d;
}

int HourOf(TDateTime Value) {
    uint16_t h, n, s, z;
    DecodeTime(Value, h, n, s, z);
    return h;
}

int MinuteOf(TDateTime Value) {
    uint16_t h, n, s, z;
    DecodeTime(Value, h, n, s, z);
    return n;
}

int SecondOf(TDateTime Value) {
    uint16_t h, n, s, z;
    DecodeTime(Value, h, n, s, z);
    return s;
}

int MilliSecondOf(TDateTime Value) {
    uint16_t h, n, s, z;
    DecodeTime(Value, h, n, s, z);
    return z;
}

TDateTime IncMonth(TDateTime Value, int NumberOfMonths) {
    uint16_t y, m, d;
    DecodeDate(Value, y, m, d);
    if (y == 0) DateEncodeError();
    int64_t months = int64_t(y) * 12 + (m - 1) + NumberOfMonths;
    if (months < 0) DateEncodeError();
    const int year = static_cast<int>(months / 12);
    const int month = static_cast<int>(months % 12) + 1;
    if (year < kMinYear || year > kMaxYear) DateEncodeError();
    const int day = std::min<int>(d, MonthDays[IsLeapYear(year) ? 1 : 0][month - 1]);
    return Compose(EncodeDate(year, month, day), TimeFraction(Value));
}

TDateTime IncYear(TDateTime Value, int NumberOfYears) {
    return IncMonth(Value, NumberOfYears * 12);
}

TDateTime IncWeek(TDateTime Value, int NumberOfWeeks) { return IncDay(Value, NumberOfWeeks * 7); }

TDateTime IncDay(TDateTime Value, int NumberOfDays) {
    return IncUnits(Value, NumberOfDays, MSecsPerDay);
}

TDateTime IncHour(TDateTime Value, int64_t NumberOfHours) {
    return IncUnits(Value, NumberOfHours, 3600000);
}

TDateTime IncMinute(TDateTime Value, int64_t NumberOfMinutes) {
    return IncUnits(Value, NumberOfMinutes, 60000);
}

TDateTime IncSecond(TDateTime Value, int64_t NumberOfSeconds) {
    return IncUnits(Value, NumberOfSeconds, 1000);
}

TDateTime IncMilliSecond(TDateTime Value, int64_t NumberOfMilliSeconds) {
    return IncUnits(Value, NumberOfMilliSeconds, 1);
}

TDateTime DateOf(TDateTime Value) { return DatePart(Value); }
TDateTime TimeOf(TDateTime Value) { return TimeFraction(Value); }
TDateTime StartOfTheDay(TDateTime Value) { return DatePart(Value); }

TDateTime EndOfTheDay(TDateTime Value) {
    return Compose(DatePart(Value), EncodeTime(23, 59, 59, 999));
}

TDateTime StartOfAMonth(int Year, int Month) { return EncodeDate(Year, Month, 1); }

TDateTime EndOfAMonth(int Year, int Month) {
    return Compose(EncodeDate(Year, Month, DaysInAMonth(Year, Month)), EncodeTime(23, 59, 59, 999));
}

TDateTime StartOfTheMonth(TDateTime Value) {
    uint16_t y, m, d;
    DecodeDate(Value, y, m, d);
    return StartOfAMonth(y, m);
}

TDateTime EndOfTheMonth(TDateTime Value) {
    uint16_t y, m, d;
    DecodeDate(Value, y, m, d);
    return EndOfAMonth(y, m);
}

TDateTime StartOfTheYear(TDateTime Value) { return EncodeDate(YearOf(Value), 1, 1); }

TDateTime EndOfTheYear(TDateTime Value) { return EndOfAMonth(YearOf(Value), 12); }

int64_t DaysBetween(TDateTime A, TDateTime B) {
    // Wide enough for the distance between two saturated values.
    __int128 diff = static_cast<__int128>(LinearMs(A)) - LinearMs(B);
    if (diff < 0) diff = -diff;
    diff /= MSecsPerDay;
    return static_cast<int64_t>(diff);
}

int64_t MonthsBetween(TDateTime A, TDateTime B) {
    if (Linear(A) > Linear(B)) std::swap(A, B);
    uint16_t y1, m1, d1, y2, m2, d2;
    DecodeDate(A, y1, m1, d1);
    DecodeDate(B, y2, m2, d2);
    int64_t months = (int64_t(y2) * 12 + m2) - (int64_t(y1) * 12 + m1);
    // A month is complete only once the later day and time reach the earlier ones.
    const double restA = d1 + TimeFraction(A);
    const double restB = d2 + TimeFraction(B);
    if (months > 0 && restB < restA) --months;
    return months;
}

int64_t YearsBetween(TDateTime A, TDateTime B) { return MonthsBetween(A, B) / 12; }

bool SameDate(TDateTime A, TDateTime B) { return DatePart(A) == DatePart(B); }

bool SameDateTime(TDateTime A, TDateTime B) { return LinearMs(A) == LinearMs(B); }

int CompareDateTime(TDateTime A, TDateTime B) {
    const int64_t a = LinearMs(A), b = LinearMs(B);
    return a < b ? -1 : (a > b ? 1 : 0);
}

int CompareDate(TDateTime A, TDateTime B) {
    const double a = DatePart(A), b = DatePart(B);
    return a < b ? -1 : (a > b ? 1 : 0);
}

TTimeStamp DateTimeToTimeStamp(TDateTime Value) {
    int64_t days;
    int32_t ms;
    TTimeStamp ts;
    if (!Split(Value, days, ms)) return ts;
    ts.Date = static_cast<int32_t>(days + DateDelta);
    ts.Time = ms;
    return ts;
}

TDateTime TimeStampToDateTime(const TTimeStamp& Value) {
    return Compose(static_cast<double>(Value.Date - DateDelta),
                   static_cast<double>(Value.Time) / MSecsPerDay);
}

double TimeStampToMSecs(const TTimeStamp& Value) {
    return static_cast<double>(Value.Date) * MSecsPerDay + Value.Time;
}

TTimeStamp MSecsToTimeStamp(double MSecs) {
    TTimeStamp ts;
    if (!std::isfinite(MSecs) || std::fabs(MSecs) > 1e18) return ts;
    const int64_t total = std::llround(MSecs);
    ts.Date = static_cast<int32_t>(total / MSecsPerDay);
    ts.Time = static_cast<int32_t>(total % MSecsPerDay);
    return ts;
}

int64_t DateTimeToUnix(TDateTime Value) {
    const double secs = (Linear(Value) - UnixDateDelta) * SecsPerDay;
    if (std::isnan(secs)) return 0;
    if (secs >= 9.2e18) return std::numeric_limits<int64_t>::max();
    if (secs <= -9.2e18) return std::numeric_limits<int64_t>::min();
    return std::llround(secs);
}

TDateTime UnixToDateTime(int64_t Value) {
    return FromLinear(static_cast<double>(Value) / SecsPerDay + UnixDateDelta);
}
