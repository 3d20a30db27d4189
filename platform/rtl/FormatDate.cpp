// Date-time patterns and the reading of typed dates and times.
#include <cctype>
#include <cmath>

#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool StartsWithNoCase(std::string_view s, std::size_t pos, std::string_view word) {
    if (pos + word.size() > s.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (Upper(s[pos + i]) != Upper(word[i])) return false;
    return true;
}

// Whether an am/pm marker follows in the rest of the pattern, which makes
// the hours count on a 12-hour clock.
bool AmPmAhead(std::string_view fmt, std::size_t pos) {
    char quote = 0;
    for (std::size_t i = pos; i < fmt.size(); ++i) {
        const char c = fmt[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (Upper(c) == 'A' && (StartsWithNoCase(fmt, i, "am/pm") ||
                                       StartsWithNoCase(fmt, i, "a/p") ||
                                       StartsWithNoCase(fmt, i, "ampm"))) {
            return true;
        }
    }
    return false;
}

// Date and time parts are never negative: their digits, padded with zeros
// to Width, written straight into the text (a row of a listing prints a
// date in each of its passes).
void AppendNumber(std::string& out, unsigned Value, int Width) {
    char digits[12];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + Value % 10);
        Value /= 10;
    } while (Value != 0);
    for (int k = n; k < Width; ++k) out.push_back('0');
    while (n > 0) out.push_back(digits[--n]);
}

struct Parts {
    uint16_t year = 0, month = 0, day = 0, dow = 0;
    uint16_t hour = 0, minute = 0, second = 0, msec = 0;
    bool hasTime = false;
};

void AppendPattern(std::string& out, std::string_view fmt, const Parts& p,
                   const TFormatSettings& fs, int depth) {
    // Patterns that name other patterns nest at most this deep, so that a
    // short date format naming itself cannot loop.
    if (depth > 3) return;
    char lastToken = ' ';
    std::size_t i = 0;
    const std::size_t n = fmt.size();
    auto count = [&](char upper) {
        std::size_t c = 0;
        while (i < n && Upper(fmt[i]) == upper) {
            ++i;
            ++c;
        }
        return static_cast<int>(c);
    };
    while (i < n) {
        const char c = fmt[i];
        char token = Upper(c);
        if (token >= 'A' && token <= 'Z') {
            if (token == 'M' && lastToken == 'H') token = 'N';
            lastToken = token;
        }
        switch (token) {
            case 'Y': {
                const int k = count(Upper(c));
                AppendNumber(out, k <= 2 ? p.year % 100u : p.year, k <= 2 ? 2 : 4);
                break;
            }
            case 'M': {
                const int k = count('M');
                if (k == 1)
                    AppendNumber(out, p.month, 1);
                else if (k == 2)
                    AppendNumber(out, p.month, 2);
                else if (p.month >= 1 && p.month <= 12)
                    out += k == 3 ? fs.ShortMonthNames[p.month - 1] : fs.LongMonthNames[p.month - 1];
                break;
            }
            case 'D': {
                const int k = count('D');
                if (k == 1)
                    AppendNumber(out, p.day, 1);
                else if (k == 2)
                    AppendNumber(out, p.day, 2);
                else if (k <= 4) {
                    if (p.dow >= 1 && p.dow <= 7)
                        out += k == 3 ? fs.ShortDayNames[p.dow - 1] : fs.LongDayNames[p.dow - 1];
                } else if (k == 5)
                    AppendPattern(out, fs.ShortDateFormat, p, fs, depth + 1);
                else
                    AppendPattern(out, fs.LongDateFormat, p, fs, depth + 1);
                break;
            }
            case 'H': {
                const int k = count('H');
                int hour = p.hour;
                if (AmPmAhead(fmt, i)) {
                    hour %= 12;
                    if (hour == 0) hour = 12;
                }
                AppendNumber(out, static_cast<unsigned>(hour), k == 1 ? 1 : 2);
                break;
            }
            case 'N': {
                const int k = count(Upper(c));
                AppendNumber(out, p.minute, k == 1 ? 1 : 2);
                break;
            }
            case 'S': {
                const int k = count('S');
                AppendNumber(out, p.second, k == 1 ? 1 : 2);
                break;
            }
            case 'Z': {
                const int k = count('Z');
                AppendNumber(out, p.msec, k < 3 ? 1 : 3);
                break;
            }
            case 'T': {
                const int k = count('T');
                AppendPattern(out, k == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, p, fs, depth + 1);
                break;
            }
            case 'C': {
                count('C');
                AppendPattern(out, fs.ShortDateFormat, p, fs, depth + 1);
                if (p.hasTime) {
                    out.push_back(' ');
                    AppendPattern(out, fs.LongTimeFormat, p, fs, depth + 1);
                }
                break;
            }
            case 'A': {
                const bool pm = p.hour >= 12;
                if (StartsWithNoCase(fmt, i, "am/pm")) {
                    // The marker keeps the letter case the pattern gives it.
                    out.append(fmt.substr(pm ? i + 3 : i, 2));
                    i += 5;
                } else if (StartsWithNoCase(fmt, i, "a/p")) {
                    out.push_back(fmt[pm ? i + 2 : i]);
                    i += 3;
                } else if (StartsWithNoCase(fmt, i, "ampm")) {
                    out += pm ? fs.TimePMString : fs.TimeAMString;
                    i += 4;
                } else {
                    out.push_back(c);
                    ++i;
                }
                break;
            }
            case '/':
                out.push_back(fs.DateSeparator);
                ++i;
                break;
            case ':':
                out.push_back(fs.TimeSeparator);
                ++i;
                break;
            case '\'':
            case '"': {
                const std::size_t end = fmt.find(c, i + 1);
                if (end == std::string_view::npos) {
                    out.append(fmt.substr(i + 1));
                    i = n;
                } else {
                    out.append(fmt.substr(i + 1, end - i - 1));
                    i = end + 1;
                }
                break;
            }
            default:
                out.push_back(c);
                ++i;
                break;
        }
    }
}

Parts Decode(TDateTime value) {
    Parts p;
    DecodeDateFully(value, p.year, p.month, p.day, p.dow);
    DecodeTime(value, p.hour, p.minute, p.second, p.msec);
    p.hasTime = p.hour != 0 || p.minute != 0 || p.second != 0 || p.msec != 0;
    return p;
}

// ---------------------------------------------------------------------------
// Reading.

class Scanner {
public:
    explicit Scanner(std::string_view s) : s_(s) {}
    bool AtEnd() const { return pos_ >= s_.size(); }
    std::size_t Pos() const { return pos_; }
    void SetPos(std::size_t p) { pos_ = p; }
    void Blanks() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
    }
    bool Number(int& value, int& digits) {
        Blanks();
        std::size_t start = pos_;
        int64_t v = 0;
        while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9' && pos_ - start < 9)
            v = v * 10 + (s_[pos_++] - '0');
        digits = static_cast<int>(pos_ - start);
        value = static_cast<int>(v);
        return digits > 0;
    }
    bool Char(char c) {
        Blanks();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool Word(std::string_view w) {
        Blanks();
        if (w.empty() || !StartsWithNoCase(s_, pos_, w)) return false;
        pos_ += w.size();
        return true;
    }

private:
    std::string_view s_;
    std::size_t pos_ = 0;
};

enum class DateOrder { DMY, MDY, YMD };

DateOrder OrderOf(std::string_view fmt) {
    for (char c : fmt) {
        switch (Upper(c)) {
            case 'D': return DateOrder::DMY;
            case 'M': return DateOrder::MDY;
            case 'Y': return DateOrder::YMD;
            default: break;
        }
    }
    return DateOrder::DMY;
}

int CurrentYear() { return YearOf(Now()); }

// A year typed with one or two digits lands within the century window.
int ExpandYear(int year, int digits, const TFormatSettings& fs) {
    if (digits > 2 || year > 99) return year;
    const int current = CurrentYear();
    const int window = fs.TwoDigitYearCenturyWindow;
    const int century = current - window;
    year += (window > 0 ? century : current) / 100 * 100;
    if (window > 0 && year < century) year += 100;
    return year;
}

bool ScanDate(Scanner& sc, TDateTime& result, const TFormatSettings& fs) {
    int n1, n2, n3, l1, l2, l3 = 0;
    if (!sc.Number(n1, l1) || !sc.Char(fs.DateSeparator) || !sc.Number(n2, l2)) return false;
    const DateOrder order = OrderOf(fs.ShortDateFormat);
    int y, m, d;
    int yearDigits = 4;
    const std::size_t mark = sc.Pos();
    if (sc.Char(fs.DateSeparator) && sc.Number(n3, l3)) {
        switch (order) {
            case DateOrder::MDY: m = n1, d = n2, y = n3, yearDigits = l3; break;
            case DateOrder::YMD: y = n1, m = n2, d = n3, yearDigits = l1; break;
            default: d = n1, m = n2, y = n3, yearDigits = l3; break;
        }
    } else {
        // Day and month alone mean the current year.
        sc.SetPos(mark);
        y = CurrentYear();
        if (order == DateOrder::DMY)
            d = n1, m = n2;
        else
            m = n1, d = n2;
    }
    y = ExpandYear(y, yearDigits, fs);
    // A trailing separator, as in "25/12/", is accepted.
    return TryEncodeDate(y, m, d, result);
}

bool ScanTime(Scanner& sc, TDateTime& result, const TFormatSettings& fs) {
    int base = -1;
    auto scanMarker = [&]() {
        if (sc.Word(fs.TimeAMString) || sc.Word("AM"))
            base = 0;
        else if (sc.Word(fs.TimePMString) || sc.Word("PM"))
            base = 12;
    };
    scanMarker();
    int hour, minute = 0, second = 0, msec = 0, digits;
    if (!sc.Number(hour, digits)) return false;
    if (sc.Char(fs.TimeSeparator)) {
        if (!sc.Number(minute, digits)) return false;
        if (sc.Char(fs.TimeSeparator)) {
            if (!sc.Number(second, digits)) return false;
            if (sc.Char(fs.DecimalSeparator) || sc.Char('.')) {
                int fraction;
                if (!sc.Number(fraction, digits)) return false;
                // The digits after the point are a fraction of the second.
                while (digits < 3) fraction *= 10, ++digits;
                while (digits > 3) fraction /= 10, --digits;
                msec = fraction;
            }
        }
    }
    if (base < 0) scanMarker();
    if (base >= 0) {
        if (hour == 0 || hour > 12) return false;
        if (hour == 12) hour = 0;
        hour += base;
    }
    sc.Blanks();
    return TryEncodeTime(hour, minute, second, msec, result);
}

[[noreturn]] void Invalid(std::string_view s, const char* what) {
    throw EConvertError("'" + std::string(s) + "' is not a valid " + what);
}

}  // namespace

std::string FormatDateTime(std::string_view Fmt, TDateTime Value) {
    return FormatDateTime(Fmt, Value, FormatSettings);
}

std::string FormatDateTime(std::string_view Fmt, TDateTime Value, const TFormatSettings& Settings) {
    std::string out;
    const Parts p = Decode(Value);
    AppendPattern(out, Fmt.empty() ? std::string_view("c") : Fmt, p, Settings, 0);
    return out;
}

std::string DateToStr(TDateTime Value) { return DateToStr(Value, FormatSettings); }
std::string DateToStr(TDateTime Value, const TFormatSettings& Settings) {
    return FormatDateTime("ddddd", Value, Settings);
}

std::string TimeToStr(TDateTime Value) { return TimeToStr(Value, FormatSettings); }
std::string TimeToStr(TDateTime Value, const TFormatSettings& Settings) {
    return FormatDateTime("tt", Value, Settings);
}

std::string DateTimeToStr(TDateTime Value) { return DateTimeToStr(Value, FormatSettings); }
std::string DateTimeToStr(TDateTime Value, const TFormatSettings& Settings) {
    return FormatDateTime("c", Value, Settings);
}

bool TryStrToDate(std::string_view S, TDateTime& Value) {
    return TryStrToDate(S, Value, FormatSettings);
}

bool TryStrToDate(std::string_view S, TDateTime& Value, const TFormatSettings& Settings) {
    Scanner sc(S);
    TDateTime d;
    if (!ScanDate(sc, d, Settings)) return false;
    sc.Char(Settings.DateSeparator);
    sc.Blanks();
    if (!sc.AtEnd()) return false;
    Value = d;
    return true;
}

bool TryStrToTime(std::string_view S, TDateTime& Value) {
    return TryStrToTime(S, Value, FormatSettings);
}

bool TryStrToTime(std::string_view S, TDateTime& Value, const TFormatSettings& Settings) {
    Scanner sc(S);
    TDateTime t;
    if (!ScanTime(sc, t, Settings) || !sc.AtEnd()) return false;
    Value = t;
    return true;
}

bool TryStrToDateTime(std::string_view S, TDateTime& Value) {
    return TryStrToDateTime(S, Value, FormatSettings);
}

bool TryStrToDateTime(std::string_view S, TDateTime& Value, const TFormatSettings& Settings) {
    Scanner sc(S);
    TDateTime d;
    if (ScanDate(sc, d, Settings)) {
        sc.Blanks();
        if (sc.AtEnd()) {
            Value = d;
            return true;
        }
        TDateTime t;
        if (ScanTime(sc, t, Settings) && sc.AtEnd()) {
            Value = d >= 0 ? d + t : d - t;
            return true;
        }
    }
    return TryStrToTime(S, Value, Settings);
}

TDateTime StrToDate(std::string_view S) { return StrToDate(S, FormatSettings); }
TDateTime StrToDate(std::string_view S, const TFormatSettings& Settings) {
    TDateTime v;
    if (!TryStrToDate(S, v, Settings)) Invalid(S, "date");
    return v;
}

TDateTime StrToTime(std::string_view S) { return StrToTime(S, FormatSettings); }
TDateTime StrToTime(std::string_view S, const TFormatSettings& Settings) {
    TDateTime v;
    if (!TryStrToTime(S, v, Settings)) Invalid(S, "time");
    return v;
}

TDateTime StrToDateTime(std::string_view S) { return StrToDateTime(S, FormatSettings); }
TDateTime StrToDateTime(std::string_view S, const TFormatSettings& Settings) {
    TDateTime v;
    if (!TryStrToDateTime(S, v, Settings)) Invalid(S, "date and time");
    return v;
}

TDateTime StrToDateDef(std::string_view S, TDateTime Default) {
    TDateTime v;
    return TryStrToDate(S, v) ? v : Default;
}

TDateTime StrToDateTimeDef(std::string_view S, TDateTime Default) {
    TDateTime v;
    return TryStrToDateTime(S, v) ? v : Default;
}
