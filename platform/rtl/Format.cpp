// Number formatting and parsing. Every number is first turned into its
// decimal digits (15 significant for a double, exact for a currency) and all
// rounding happens on those digits, half away from zero.
#include "platform/rtl/Format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "platform/rtl/FormatDecimal.h"
#include "platform/rtl/Strings.h"

TFormatSettings FormatSettings;

using rtlformat::Decimal;
using rtlformat::Special;

namespace {

constexpr int kDoublePrecision = 15;
constexpr int kCurrencyPrecision = 19;
constexpr int kMaxDecimals = 18;

// ---------------------------------------------------------------------------
// FloatToStrF and its relatives, on a decimal.

std::string Mantissa(const Decimal& d, int count, char decimalSeparator) {
    // `count` significant digits, the first before the separator.
    std::string digits = d.digits;
    if (static_cast<int>(digits.size()) < count) digits.append(count - digits.size(), '0');
    if (d.IsZero()) digits.assign(std::max(count, 1), '0');
    std::string out(1, digits[0]);
    if (count > 1) {
        out.push_back(decimalSeparator);
        out.append(digits, 1, count - 1);
    }
    return out;
}

std::string ExponentText(int exponent, bool forceSign, int minDigits) {
    std::string out;
    if (exponent < 0)
        out.push_back('-');
    else if (forceSign)
        out.push_back('+');
    return out + IntToStrZero(exponent < 0 ? -static_cast<long long>(exponent) : exponent, minDigits);
}

}  // namespace

std::string rtlformat::GeneralForm(Decimal d, int precision, const TFormatSettings& fs) {
    rtlformat::RoundToSignificant(d, precision);
    if (d.IsZero()) return "0";
    std::string out = d.negative ? "-" : "";
    if (d.exponent > precision || d.exponent < -4) {
        out += Mantissa(d, static_cast<int>(d.digits.size()), fs.DecimalSeparator);
        out += 'E';
        out += ExponentText(d.exponent - 1, false, 0);
        return out;
    }
    const std::string intPart = rtlformat::IntegerDigits(d);
    out += intPart.empty() ? "0" : intPart;
    const int decimals = static_cast<int>(d.digits.size()) - d.exponent;
    if (decimals > 0) {
        out.push_back(fs.DecimalSeparator);
        out += rtlformat::FractionDigits(d, decimals);
    }
    return out;
}

namespace {

std::string GeneralText(Decimal d, int precision, const TFormatSettings& fs) {
    return rtlformat::GeneralForm(std::move(d), precision, fs);
}

std::string ExponentFormText(Decimal d, int precision, int digits, const TFormatSettings& fs) {
    rtlformat::RoundToSignificant(d, precision);
    std::string out = d.negative ? "-" : "";
    out += Mantissa(d, precision, fs.DecimalSeparator);
    const int exponent = d.IsZero() ? 0 : d.exponent - 1;
    // With no exponent digits asked for, a zero exponent is left out altogether.
    if (digits <= 0 && exponent == 0) return out;
    out += 'E';
    out += ExponentText(exponent, true, std::clamp(digits, 0, 4));
    return out;
}

// Fixed, number and currency: `digits` decimals, thousands when asked.
std::string FixedMagnitude(const Decimal& d, int digits, bool thousands, const TFormatSettings& fs) {
    std::string intPart = rtlformat::IntegerDigits(d);
    if (intPart.empty()) intPart = "0";
    std::string out = thousands ? rtlformat::GroupThousands(intPart, fs.ThousandSeparator) : intPart;
    if (digits > 0) {
        out.push_back(fs.DecimalSeparator);
        out += rtlformat::FractionDigits(d, digits);
    }
    return out;
}

std::string CurrencyText(const std::string& amount, bool negative, const TFormatSettings& fs) {
    const std::string& c = fs.CurrencyString;
    if (!negative) {
        switch (fs.CurrencyFormat) {
            case 0: return c + amount;
            case 1: return amount + c;
            case 3: return amount + " " + c;
            default: return c + " " + amount;
        }
    }
    switch (fs.NegCurrFormat) {
        case 0: return "(" + c + amount + ")";
        case 1: return "-" + c + amount;
        case 2: return c + "-" + amount;
        case 3: return c + amount + "-";
        case 4: return "(" + amount + c + ")";
        case 5: return "-" + amount + c;
        case 6: return amount + "-" + c;
        case 7: return amount + c + "-";
        case 8: return "-" + amount + " " + c;
        case 10: return amount + " " + c + "-";
        case 11: return c + " " + amount + "-";
        case 12: return c + " -" + amount;
        case 13: return amount + "- " + c;
        case 14: return "(" + c + " " + amount + ")";
        case 15: return "(" + amount + " " + c + ")";
        default: return "-" + c + " " + amount;
    }
}

std::string DecimalToStrF(Decimal d, TFloatFormat format, int precision, int digits,
                          int maxPrecision, const TFormatSettings& fs) {
    // One significant digit is too few to tell a value apart; two is the least.
    precision = std::clamp(precision, 2, maxPrecision);
    switch (format) {
        case ffGeneral: return GeneralText(std::move(d), precision, fs);
        case ffExponent: return ExponentFormText(std::move(d), precision, digits, fs);
        case ffFixed:
        case ffNumber:
        case ffCurrency: break;
    }
    digits = std::clamp(digits, 0, kMaxDecimals);
    rtlformat::RoundToDecimals(d, digits);
    const std::string magnitude = FixedMagnitude(d, digits, format != ffFixed, fs);
    if (format == ffCurrency) return CurrencyText(magnitude, d.negative, fs);
    return d.negative ? "-" + magnitude : magnitude;
}

// ---------------------------------------------------------------------------
// FormatFloat patterns.

struct Section {
    std::string_view text;
    int intPlaces = 0;       // "0"/"#" before the point
    int firstIntZero = -1;   // index among them of the first "0"
    int fracPlaces = 0;      // "0"/"#" after the point
    int lastFracZero = -1;   // index among them of the last "0"
    bool thousands = false;
    bool scientific = false;
    bool hasPoint = false;

    bool HasPlaces() const { return intPlaces + fracPlaces > 0; }
};

std::vector<std::string_view> SplitSections(std::string_view fmt) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    char quote = 0;
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        const char c = fmt[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            out.push_back(fmt.substr(start, i - start));
            start = i + 1;
            if (out.size() == 2) break;
        }
    }
    if (out.size() < 3) out.push_back(fmt.substr(start));
    if (out.size() == 3 && out[2].find(';') != std::string_view::npos) {
        // A fourth section is ignored.
        std::vector<std::string_view> again = SplitSections(out[2]);
        out[2] = again[0];
    }
    return out;
}

bool IsExponentAt(std::string_view s, std::size_t i) {
    return (s[i] == 'E' || s[i] == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-');
}

Section Analyse(std::string_view text) {
    Section s;
    s.text = text;
    char quote = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '0' || c == '#') {
            if (s.hasPoint) {
                if (c == '0') s.lastFracZero = s.fracPlaces;
                ++s.fracPlaces;
            } else {
                if (c == '0' && s.firstIntZero < 0) s.firstIntZero = s.intPlaces;
                ++s.intPlaces;
            }
        } else if (c == '.') {
            s.hasPoint = true;
        } else if (c == ',') {
            s.thousands = true;
        } else if (IsExponentAt(text, i)) {
            s.scientific = true;
            break;
        }
    }
    return s;
}

// Writes a section with the digits already rounded for it.
std::string RenderSection(const Section& s, const Decimal& value, const TFormatSettings& fs) {
    std::string intDigits;
    std::string fracDigits;
    int sciExponent = 0;
    if (s.scientific) {
        const int total = s.intPlaces + s.fracPlaces;
        std::string digits = value.digits;
        if (static_cast<int>(digits.size()) < total) digits.append(total - digits.size(), '0');
        intDigits = digits.substr(0, s.intPlaces);
        fracDigits = digits.substr(s.intPlaces, s.fracPlaces);
        sciExponent = value.IsZero() ? 0 : value.exponent - s.intPlaces;
    } else {
        intDigits = rtlformat::IntegerDigits(value);
        const int minInt = s.firstIntZero < 0 ? 0 : s.intPlaces - s.firstIntZero;
        if (static_cast<int>(intDigits.size()) < minInt)
            intDigits.insert(0, minInt - intDigits.size(), '0');
        fracDigits = rtlformat::FractionDigits(value, s.fracPlaces);
    }
    // Optional decimals drop their trailing zeros.
    const std::size_t minFrac = static_cast<std::size_t>(s.lastFracZero + 1);
    while (fracDigits.size() > minFrac && fracDigits.back() == '0') fracDigits.pop_back();

    std::string out;
    const std::string_view text = s.text;
    const int intCount = static_cast<int>(intDigits.size());
    const int extra = intCount - s.intPlaces;  // digits beyond the placeholders go to the first
    int intIndex = 0;
    int fracIndex = 0;
    bool afterPoint = false;
    bool pointWritten = false;
    auto emitInt = [&](int from, int to) {
        for (int p = from; p < to; ++p) {
            out.push_back(intDigits[p]);
            const int rest = intCount - 1 - p;
            if (s.thousands && rest > 0 && rest % 3 == 0 && fs.ThousandSeparator != '\0')
                out.push_back(fs.ThousandSeparator);
        }
    };
    auto writePoint = [&]() {
        if (pointWritten) return;
        pointWritten = true;
        // A pattern without integer places still shows the integer digits.
        if (s.intPlaces == 0) emitInt(0, intCount);
        if (!fracDigits.empty()) out.push_back(fs.DecimalSeparator);
    };
    char quote = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                out.push_back(c);
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '0' || c == '#') {
            if (!afterPoint) {
                const int k = intIndex++;
                if (k == 0)
                    emitInt(0, std::max(extra + 1, 0));
                else if (extra + k >= 0)
                    emitInt(extra + k, extra + k + 1);
            } else {
                const int j = fracIndex++;
                if (j < static_cast<int>(fracDigits.size())) out.push_back(fracDigits[j]);
            }
        } else if (c == '.') {
            if (!afterPoint) {
                afterPoint = true;
                writePoint();
            }
        } else if (c == ',') {
            // Only marks thousands grouping.
        } else if (s.scientific && IsExponentAt(text, i)) {
            if (!pointWritten && s.intPlaces == 0) writePoint();
            out.push_back(c);
            const bool forceSign = text[i + 1] == '+';
            std::size_t j = i + 2;
            int minDigits = 0;
            while (j < text.size() && text[j] == '0') {
                ++minDigits;
                ++j;
            }
            out += ExponentText(sciExponent, forceSign, std::min(minDigits, 4));
            i = j - 1;
            // Anything after the exponent is literal text.
            for (std::size_t k = j; k < text.size(); ++k) {
                const char t = text[k];
                if (quote) {
                    if (t == quote)
                        quote = 0;
                    else
                        out.push_back(t);
                } else if (t == '\'' || t == '"') {
                    quote = t;
                } else {
                    out.push_back(t);
                }
            }
            break;
        } else {
            out.push_back(c);
        }
    }
    if (!pointWritten && s.intPlaces == 0 && intCount > 0 && s.HasPlaces()) emitInt(0, intCount);
    return out;
}

}  // namespace

std::string rtlformat::FormatPattern(std::string_view fmt, const Decimal& given, bool fromDouble,
                                     const TFormatSettings& fs, const double* source) {
    Decimal value = given;
    const std::vector<std::string_view> sections = SplitSections(fmt);
    auto pick = [&](bool negative, bool zero, bool& addMinus) -> std::string_view {
        addMinus = false;
        if (zero && sections.size() >= 3 && !sections[2].empty()) return sections[2];
        if (negative && !zero) {
            if (sections.size() >= 2 && !sections[1].empty()) return sections[1];
            addMinus = true;
        }
        return sections[0];
    };
    bool addMinus = false;
    std::string_view text = pick(value.negative, value.IsZero(), addMinus);
    Section s = Analyse(text);
    // An empty pattern, or numbers too large for fixed digits, print in general form.
    const bool huge = fromDouble && !s.scientific && value.exponent >= 18;
    if (text.empty() || huge)
        return GeneralText(value, fromDouble ? kDoublePrecision : kCurrencyPrecision, fs);

    if (source != nullptr && !s.scientific) value = rtlformat::FromDoubleFor(*source, s.fracPlaces);
    Decimal rounded = value;
    if (s.scientific) {
        rtlformat::RoundToSignificant(rounded, std::max(s.intPlaces + s.fracPlaces, 1));
    } else {
        rtlformat::RoundToDecimals(rounded, s.fracPlaces);
    }
    if (rounded.IsZero() && value.negative) {
        // A negative amount that rounds to zero prints as a zero of the
        // positive section: no minus sign, no parentheses.
        text = sections[0];
        addMinus = false;
        s = Analyse(text);
        if (text.empty()) return "0";
    }
    std::string out = RenderSection(s, rounded, fs);
    return addMinus ? "-" + out : out;
}

// The plain patterns print in one pass over a buffer, with the same
// rounding as the general way: the double's 15 significant digits first,
// then half away from zero at the pattern's last decimal.
bool rtlformat::FormatPlainPattern(std::string_view fmt, double value, const TFormatSettings& fs,
                                   std::string& out) {
    constexpr int kMaxPlaces = 40;
    int intPlaces = 0;
    int fracPlaces = 0;
    int firstIntZero = -1;
    int lastFracZero = -1;
    bool thousands = false;
    bool point = false;
    for (const char c : fmt) {
        if (c == '0' || c == '#') {
            if (point) {
                if (c == '0') lastFracZero = fracPlaces;
                ++fracPlaces;
            } else {
                if (c == '0' && firstIntZero < 0) firstIntZero = intPlaces;
                ++intPlaces;
            }
        } else if (c == ',' && !point) {
            thousands = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    // Below 10^15 a double's digits reach at least its units.
    if (intPlaces == 0 || intPlaces > kMaxPlaces || fracPlaces > kMaxPlaces || !(std::fabs(value) < 1e15))
        return false;

    // digits[0, count) = 0.d1d2... x 10^exponent, as FromDouble gives them.
    char digits[24];
    int count = 0;
    int exponent = 0;
    const bool negative = value < 0;
    if (value != 0) {
        // The shortest digits that read back as the value are its fifteen
        // when there are no more than fifteen of them: a double is finer
        // than fifteen digits' steps, so no other fifteen-digit decimal lies
        // as near. Amounts typed in decimal are mostly such.
        char buf[40];
        auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
        int shortest = 0;
        for (const char* q = buf; q < res.ptr && *q != 'e'; ++q) shortest += *q >= '0' && *q <= '9';
        // Beyond fifteen they are kept when fifteen would not reach past the
        // pattern's last decimal: the double holds those cents.
        const char* mark = std::find(buf, res.ptr, 'e');
        int sciExponent = 0;
        if (mark + 1 < res.ptr) std::from_chars(mark + 1 + (mark[1] == '+' ? 1 : 0), res.ptr, sciExponent);
        if (shortest > kDoublePrecision && kDoublePrecision - (sciExponent + 1) > fracPlaces)
            res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, kDoublePrecision - 1);
        const char* p = buf + (negative ? 1 : 0);
        const char* end = res.ptr;
        for (; p < end && *p != 'e'; ++p)
            if (*p != '.') digits[count++] = *p;
        int e = 0;
        if (p < end) {
            ++p;
            if (*p == '+') ++p;
            std::from_chars(p, end, e);
        }
        exponent = e + 1;
        while (count > 0 && digits[count - 1] == '0') --count;
    }
    // Round at the last decimal the pattern has.
    const int keep = exponent + fracPlaces;
    if (count > 0 && keep < count) {
        if (keep < 0) {
            count = 0;
        } else {
            const bool up = digits[keep] >= '5';
            count = keep;
            if (up) {
                int i = count - 1;
                while (i >= 0 && digits[i] == '9') digits[i--] = '0';
                if (i >= 0) {
                    ++digits[i];
                } else {
                    std::memmove(digits + 1, digits, static_cast<std::size_t>(count));
                    digits[0] = '1';
                    ++count;
                    ++exponent;
                }
            }
            while (count > 0 && digits[count - 1] == '0') --count;
        }
    }
    if (count == 0) exponent = 0;

    // Integer digits, padded to the pattern's zeros.
    char whole[kMaxPlaces + 24];
    int wholeCount = 0;
    const int minInt = firstIntZero < 0 ? 0 : intPlaces - firstIntZero;
    const int natural = count > 0 && exponent > 0 ? exponent : 0;
    for (int i = natural; i < minInt; ++i) whole[wholeCount++] = '0';
    for (int i = 0; i < natural; ++i) whole[wholeCount++] = i < count ? digits[i] : '0';
    // Decimals, the optional ones without their trailing zeros.
    char fraction[kMaxPlaces];
    int fractionCount = 0;
    for (int i = 0; i < fracPlaces; ++i) {
        const int index = exponent + i;
        fraction[fractionCount++] = count > 0 && index >= 0 && index < count ? digits[index] : '0';
    }
    while (fractionCount > lastFracZero + 1 && fraction[fractionCount - 1] == '0') --fractionCount;

    char text[2 * kMaxPlaces + 64];
    int n = 0;
    if (negative && count > 0) text[n++] = '-';
    const bool group = thousands && fs.ThousandSeparator != '\0';
    for (int i = 0; i < wholeCount; ++i) {
        text[n++] = whole[i];
        const int rest = wholeCount - 1 - i;
        if (group && rest > 0 && rest % 3 == 0) text[n++] = fs.ThousandSeparator;
    }
    if (fractionCount > 0) {
        text[n++] = fs.DecimalSeparator;
        std::memcpy(text + n, fraction, static_cast<std::size_t>(fractionCount));
        n += fractionCount;
    }
    out.assign(text, static_cast<std::size_t>(n));
    return true;
}

bool rtlformat::FormatWholeGeneral(double value, int precision, std::string& out) {
    if (precision < kDoublePrecision || !(std::fabs(value) < 1e15) || value != std::trunc(value)) return false;
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value));
    out.assign(buf, res.ptr);
    return true;
}

namespace {

std::string FormatDecimalPattern(std::string_view fmt, const Decimal& value, bool fromDouble,
                                 const TFormatSettings& fs) {
    return rtlformat::FormatPattern(fmt, value, fromDouble, fs);
}

// ---------------------------------------------------------------------------
// Format.

[[noreturn]] void InvalidFormat(std::string_view fmt) {
    throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
}

[[noreturn]] void MissingArgument(std::string_view fmt) {
    throw EConvertError("No argument for format '" + std::string(fmt) + "'");
}

std::string HexText(uint64_t v, int minDigits) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), digits[v & 15]);
        v >>= 4;
    } while (v);
    if (static_cast<int>(out.size()) < minDigits) out.insert(0, minDigits - out.size(), '0');
    return out;
}

std::string IntegerText(bool negative, uint64_t magnitude, int precision) {
    std::string digits = std::to_string(magnitude);
    if (static_cast<int>(digits.size()) < precision) digits.insert(0, precision - digits.size(), '0');
    return negative ? "-" + digits : digits;
}

uint64_t Magnitude(int64_t v) {
    return v < 0 ? uint64_t(0) - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

Decimal ArgDecimal(const TVarRec& arg, int& maxPrecision) {
    if (arg.VType == TVarRec::vtCurrency) {
        maxPrecision = kCurrencyPrecision;
        return rtlformat::FromCurrency(arg.VCurrency);
    }
    maxPrecision = kDoublePrecision;
    return rtlformat::FromDouble(arg.VExtended);
}

}  // namespace

std::string Format(std::string_view Fmt, const std::vector<TVarRec>& Args) {
    return Format(Fmt, Args, FormatSettings);
}

std::string Format(std::string_view Fmt, const std::vector<TVarRec>& Args,
                   const TFormatSettings& Settings) {
    std::string out;
    std::size_t argIndex = 0;
    std::size_t i = 0;
    const std::size_t n = Fmt.size();
    auto nextArg = [&]() -> const TVarRec& {
        if (argIndex >= Args.size()) MissingArgument(Fmt);
        return Args[argIndex++];
    };
    // A number of the pattern, or "*" taking it from the arguments.
    auto readNumber = [&]() -> std::optional<int> {
        if (i < n && Fmt[i] == '*') {
            ++i;
            const TVarRec& a = nextArg();
            // Any integer type may carry a width, as long as it is a sensible one.
            int64_t v;
            if (a.VType == TVarRec::vtInteger || a.VType == TVarRec::vtInt64)
                v = a.VInt64;
            else if (a.VType == TVarRec::vtUInt64 && a.VUInt64 <= 1000000)
                v = static_cast<int64_t>(a.VUInt64);
            else
                InvalidFormat(Fmt);
            if (v > 1000000 || v < -1000000) InvalidFormat(Fmt);
            return static_cast<int>(v);
        }
        if (i >= n || Fmt[i] < '0' || Fmt[i] > '9') return std::nullopt;
        int64_t v = 0;
        while (i < n && Fmt[i] >= '0' && Fmt[i] <= '9') {
            v = v * 10 + (Fmt[i++] - '0');
            if (v > 1000000) InvalidFormat(Fmt);
        }
        return static_cast<int>(v);
    };

    while (i < n) {
        const char c = Fmt[i];
        if (c != '%') {
            out.push_back(c);
            ++i;
            continue;
        }
        ++i;
        if (i >= n) InvalidFormat(Fmt);
        if (Fmt[i] == '%') {
            out.push_back('%');
            ++i;
            continue;
        }
        // [index:][-][width][.precision]type
        bool left = false;
        std::optional<int> number;
        if (i < n && Fmt[i] != '-') number = readNumber();
        if (number && i < n && Fmt[i] == ':') {
            if (*number < 0) InvalidFormat(Fmt);
            argIndex = static_cast<std::size_t>(*number);
            ++i;
            number.reset();
        } else if (!number && i < n && Fmt[i] == ':') {
            InvalidFormat(Fmt);
        }
        if (!number) {
            if (i < n && Fmt[i] == '-') {
                left = true;
                ++i;
            }
            number = readNumber();
        }
        int width = number.value_or(0);
        if (width < 0) {
            // A negative width from "*" justifies left, as the minus sign would.
            left = true;
            width = -width;
        }
        int precision = -1;
        if (i < n && Fmt[i] == '.') {
            ++i;
            precision = std::max(readNumber().value_or(0), 0);
        }
        if (i >= n) InvalidFormat(Fmt);
        const char type = Fmt[i++];
        const char lower = static_cast<char>(type >= 'A' && type <= 'Z' ? type + 32 : type);
        std::string text;
        switch (lower) {
            case 'd':
            case 'u':
            case 'x': {
                const TVarRec& a = nextArg();
                uint64_t mag;
                bool negative = false;
                if (a.VType == TVarRec::vtInteger || a.VType == TVarRec::vtInt64) {
                    if (lower == 'd') {
                        negative = a.VInt64 < 0;
                        mag = Magnitude(a.VInt64);
                    } else if (a.VType == TVarRec::vtInteger) {
                        // A 32-bit integer shows its two's complement as unsigned and in hex.
                        mag = static_cast<uint32_t>(static_cast<int32_t>(a.VInt64));
                    } else {
                        mag = static_cast<uint64_t>(a.VInt64);
                    }
                } else if (a.VType == TVarRec::vtUInt64) {
                    mag = a.VUInt64;
                } else {
                    InvalidFormat(Fmt);
                }
                text = lower == 'x' ? HexText(mag, precision) : IntegerText(negative, mag, precision);
                break;
            }
            case 'e':
            case 'f':
            case 'g':
            case 'n':
            case 'm': {
                const TVarRec& a = nextArg();
                if (a.VType != TVarRec::vtExtended && a.VType != TVarRec::vtCurrency)
                    InvalidFormat(Fmt);
                const Special special =
                    a.VType == TVarRec::vtExtended ? rtlformat::Classify(a.VExtended) : Special::None;
                if (special != Special::None) {
                    text = rtlformat::SpecialText(special);
                    break;
                }
                int maxPrecision;
                Decimal d = ArgDecimal(a, maxPrecision);
                if (a.VType != TVarRec::vtCurrency && (lower == 'f' || lower == 'n' || lower == 'm')) {
                    const int places = precision >= 0 ? precision : lower == 'm' ? Settings.CurrencyDecimals : 2;
                    d = rtlformat::FromDoubleFor(a.VExtended, std::clamp(places, 0, kMaxDecimals));
                }
                switch (lower) {
                    case 'e':
                        text = DecimalToStrF(d, ffExponent, precision < 0 ? 15 : precision, 3,
                                             maxPrecision, Settings);
                        break;
                    case 'f':
                        text = DecimalToStrF(d, ffFixed, maxPrecision, precision < 0 ? 2 : precision,
                                             maxPrecision, Settings);
                        break;
                    case 'g':
                        text = DecimalToStrF(d, ffGeneral, precision < 0 ? 15 : precision, 3,
                                             maxPrecision, Settings);
                        break;
                    case 'n':
                        text = DecimalToStrF(d, ffNumber, maxPrecision, precision < 0 ? 2 : precision,
                                             maxPrecision, Settings);
                        break;
                    default:
                        text = DecimalToStrF(d, ffCurrency, maxPrecision,
                                             precision < 0 ? Settings.CurrencyDecimals : precision,
                                             maxPrecision, Settings);
                        break;
                }
                break;
            }
            case 's': {
                const TVarRec& a = nextArg();
                if (a.VType != TVarRec::vtString) InvalidFormat(Fmt);
                text = precision >= 0 ? rtlformat::CutChars(a.VString, precision) : a.VString;
                break;
            }
            case 'p': {
                const TVarRec& a = nextArg();
                if (a.VType != TVarRec::vtPointer) InvalidFormat(Fmt);
                text = HexText(reinterpret_cast<uintptr_t>(a.VPointer), 2 * sizeof(void*));
                break;
            }
            default:
                InvalidFormat(Fmt);
        }
        const std::size_t chars = rtlformat::CharCount(text);
        if (static_cast<std::size_t>(width) > chars) {
            const std::string pad(width - chars, ' ');
            text = left ? text + pad : pad + text;
        }
        out += text;
    }
    return out;
}

std::string FormatFloat(std::string_view Fmt, double Value) {
    return FormatFloat(Fmt, Value, FormatSettings);
}

std::string FormatFloat(std::string_view Fmt, double Value, const TFormatSettings& Settings) {
    const Special special = rtlformat::Classify(Value);
    if (special != Special::None) return rtlformat::SpecialText(special);
    std::string out;
    if (rtlformat::FormatPlainPattern(Fmt, Value, Settings, out)) return out;
    return rtlformat::FormatPattern(Fmt, rtlformat::FromDouble(Value), true, Settings, &Value);
}

std::string FormatDecimalText(std::string_view Fmt, std::string_view Number) {
    Decimal d;
    std::size_t i = 0;
    if (i < Number.size() && Number[i] == '-') {
        d.negative = true;
        ++i;
    }
    int whole = 0;
    bool point = false;
    for (; i < Number.size(); ++i) {
        const char c = Number[i];
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            d.digits.push_back(c);
            if (!point) ++whole;
        } else {
            return {};
        }
    }
    if (d.digits.empty()) return {};
    std::size_t lead = 0;
    while (lead < d.digits.size() && d.digits[lead] == '0') ++lead;
    d.digits.erase(0, lead);
    d.exponent = whole - static_cast<int>(lead);
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    if (d.digits.empty()) d = Decimal{};
    return rtlformat::FormatPattern(Fmt, d, false, FormatSettings);
}

std::string FormatCurr(std::string_view Fmt, Currency Value) {
    return FormatCurr(Fmt, Value, FormatSettings);
}

std::string FormatCurr(std::string_view Fmt, Currency Value, const TFormatSettings& Settings) {
    return FormatDecimalPattern(Fmt, rtlformat::FromCurrency(Value), false, Settings);
}

std::string FormatInt64(std::string_view Fmt, int64_t Value) {
    return FormatInt64(Fmt, Value, FormatSettings);
}

std::string FormatInt64(std::string_view Fmt, int64_t Value, const TFormatSettings& Settings) {
    return FormatDecimalPattern(Fmt, rtlformat::FromInt64(Value), false, Settings);
}

std::string FloatToStr(double Value) { return FloatToStr(Value, FormatSettings); }

std::string FloatToStr(double Value, const TFormatSettings& Settings) {
    return FloatToStrF(Value, ffGeneral, kDoublePrecision, 0, Settings);
}

std::string FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits) {
    return FloatToStrF(Value, Format, Precision, Digits, FormatSettings);
}

std::string FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits,
                        const TFormatSettings& Settings) {
    const Special special = rtlformat::Classify(Value);
    if (special != Special::None) return rtlformat::SpecialText(special);
    std::string out;
    if (Format == ffGeneral && rtlformat::FormatWholeGeneral(Value, Precision, out)) return out;
    const bool fixed = Format == ffFixed || Format == ffNumber || Format == ffCurrency;
    const Decimal d = fixed ? rtlformat::FromDoubleFor(Value, std::clamp(Digits, 0, kMaxDecimals))
                            : rtlformat::FromDouble(Value);
    return DecimalToStrF(d, Format, Precision, Digits, kDoublePrecision, Settings);
}

std::string CurrToStr(Currency Value) { return CurrToStr(Value, FormatSettings); }

std::string CurrToStr(Currency Value, const TFormatSettings& Settings) {
    return DecimalToStrF(rtlformat::FromCurrency(Value), ffGeneral, kCurrencyPrecision, 0,
                         kCurrencyPrecision, Settings);
}

std::string CurrToStrF(Currency Value, TFloatFormat Format, int Digits) {
    return CurrToStrF(Value, Format, Digits, FormatSettings);
}

std::string CurrToStrF(Currency Value, TFloatFormat Format, int Digits,
                       const TFormatSettings& Settings) {
    return DecimalToStrF(rtlformat::FromCurrency(Value), Format, kCurrencyPrecision, Digits,
                         kCurrencyPrecision, Settings);
}

std::string Int64ToStrF(int64_t Value, TFloatFormat Format, int Digits) {
    return Int64ToStrF(Value, Format, Digits, FormatSettings);
}

std::string Int64ToStrF(int64_t Value, TFloatFormat Format, int Digits, const TFormatSettings& Settings) {
    return DecimalToStrF(rtlformat::FromInt64(Value), Format, kCurrencyPrecision, Digits, kCurrencyPrecision,
                         Settings);
}

// ---------------------------------------------------------------------------
// Parsing.

namespace {

// Sign, digits with at most one decimal separator, optional exponent; blanks
// around are allowed. Gives the number in the C form that from_chars reads.
bool NormaliseNumber(std::string_view s, char decimalSeparator, std::string& out) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    s = s.substr(b, e - b);
    out.clear();
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        if (s[i] == '-') out.push_back('-');
        ++i;
    }
    bool digits = false, point = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            out.push_back(c);
        } else if (c == decimalSeparator && !point) {
            point = true;
            out.push_back('.');
        } else {
            break;
        }
    }
    if (!digits) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        out.push_back('e');
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) out.push_back(s[i++]);
        bool expDigits = false;
        for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
            expDigits = true;
            out.push_back(s[i]);
        }
        if (!expDigits) return false;
    }
    return i == s.size();
}

[[noreturn]] void InvalidFloat(std::string_view s) {
    throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
}

}  // namespace

bool TryStrToFloat(std::string_view S, double& Value) { return TryStrToFloat(S, Value, FormatSettings); }

bool TryStrToFloat(std::string_view S, double& Value, const TFormatSettings& Settings) {
    std::string text;
    if (!NormaliseNumber(S, Settings.DecimalSeparator, text)) return false;
    double v = 0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size()) {
        // Underflow reads as zero; overflow is no number.
        if (res.ec == std::errc::result_out_of_range) {
            const std::size_t e = text.find('e');
            if (e != std::string::npos && text[e + 1] == '-') {
                Value = 0;
                return true;
            }
        }
        return false;
    }
    Value = v == 0 ? 0.0 : v;
    return true;
}

namespace {

bool AllDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "5.000" or "1.234.567": a first group of one to three digits that is not a
// lone zero nor starts with one, then groups of exactly three. Returns the
// digits, or nothing.
std::optional<std::string> Grouped(std::string_view s, char mark) {
    std::string digits;
    std::size_t start = 0;
    bool first = true;
    for (;;) {
        const std::size_t end = s.find(mark, start);
        const std::string_view group = s.substr(start, end == std::string_view::npos ? s.size() - start : end - start);
        if (!AllDigits(group)) return std::nullopt;
        if (first ? (group.size() > 3 || group[0] == '0') : group.size() != 3) return std::nullopt;
        digits.append(group);
        first = false;
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return digits;
}

}  // namespace

std::string AmountAsWritten(std::string_view S, const TFormatSettings& Settings) {
    const char dec = Settings.DecimalSeparator;
    const char mark = Settings.ThousandSeparator;
    const std::string original(S);
    if (mark == 0 || mark == dec) return original;
    std::string_view s = S;
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    std::string sign;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        sign = std::string(1, s[0]);
        s.remove_prefix(1);
    }
    if (s.find(mark) == std::string_view::npos) return original;
    const std::size_t point = s.find(dec);
    if (point != std::string_view::npos) {
        const std::string_view whole = s.substr(0, point), fraction = s.substr(point + 1);
        if (fraction.find(mark) != std::string_view::npos) return original;
        const std::optional<std::string> digits = Grouped(whole, mark);
        return digits ? sign + *digits + dec + std::string(fraction) : original;
    }
    if (const std::optional<std::string> digits = Grouped(s, mark)) return sign + *digits;
    // One mark that cannot be a thousands mark: the keypad's decimal point.
    if (std::count(s.begin(), s.end(), mark) == 1) {
        std::string t(s);
        std::replace(t.begin(), t.end(), mark, dec);
        return sign + t;
    }
    return original;
}

bool TAmountTyping::KeyPressed(char32_t& Key, std::string& Text, int Caret, int Selected,
                               const TFormatSettings& Settings) {
    const char dec = Settings.DecimalSeparator, mark = Settings.ThousandSeparator;
    if (dec == '.' || mark != '.') return false;
    if (Key != U'.' && Key != static_cast<unsigned char>(dec)) return false;
    const std::size_t comma = Text.find(dec);
    // Caret and selection count characters: only a plain text lines them up
    // with the bytes.
    const bool ascii = std::all_of(Text.begin(), Text.end(), [](char c) { return (c & 0x80) == 0; });
    if (pointAsSeparator_ && ascii && Selected == 0 && comma != std::string::npos && Caret >= 0 &&
        static_cast<std::size_t>(Caret) > comma && Text.find(dec, comma + 1) == std::string::npos) {
        // A second separator after the one a "." made: that "." was a
        // thousands mark. The key then means what it says.
        Text[comma] = mark;
        pointAsSeparator_ = false;
        return true;
    }
    if (Key == U'.' && comma == std::string::npos) {
        Key = static_cast<unsigned char>(dec);
        pointAsSeparator_ = true;
    } else if (Key != U'.') {
        pointAsSeparator_ = false;
    }
    return false;
}

std::string TAmountTyping::Left(std::string_view Text, const TFormatSettings& Settings) const {
    const char dec = Settings.DecimalSeparator, mark = Settings.ThousandSeparator;
    std::string text(Text);
    if (pointAsSeparator_ && dec != '.' && mark == '.') {
        // "5.000" typed: its point, shown as the separator, had three digits
        // after it and nothing more: as written in Brazil, five thousand.
        const std::string t = Trim(text);
        const std::size_t comma = t.find(dec);
        if (comma != std::string::npos && t.find(dec, comma + 1) == std::string::npos &&
            t.find(mark) == std::string::npos && t.size() - comma - 1 == 3) {
            std::string candidate = t;
            candidate[comma] = mark;
            if (AmountAsWritten(candidate, Settings).find(dec) == std::string::npos) text = candidate;
        }
    }
    return AmountAsWritten(text, Settings);
}

double StrToFloat(std::string_view S) { return StrToFloat(S, FormatSettings); }

double StrToFloat(std::string_view S, const TFormatSettings& Settings) {
    double v;
    if (!TryStrToFloat(S, v, Settings)) InvalidFloat(S);
    return v;
}

double StrToFloatDef(std::string_view S, double Default) {
    return StrToFloatDef(S, Default, FormatSettings);
}

double StrToFloatDef(std::string_view S, double Default, const TFormatSettings& Settings) {
    double v;
    return TryStrToFloat(S, v, Settings) ? v : Default;
}

bool TryStrToCurr(std::string_view S, Currency& Value) { return TryStrToCurr(S, Value, FormatSettings); }

bool TryStrToCurr(std::string_view S, Currency& Value, const TFormatSettings& Settings) {
    std::string text;
    if (!NormaliseNumber(S, Settings.DecimalSeparator, text)) return false;
    // Read the digits exactly so that "0,00005" rounds to 0,0001 as typed.
    Decimal d;
    std::size_t i = 0;
    if (text[i] == '-') {
        d.negative = true;
        ++i;
    }
    int pointPos = -1;
    int count = 0;
    for (; i < text.size() && text[i] != 'e'; ++i) {
        if (text[i] == '.') {
            pointPos = count;
            continue;
        }
        d.digits.push_back(text[i]);
        ++count;
    }
    long exp = 0;
    if (i < text.size()) {
        const char* first = text.data() + i + 1;
        if (*first == '+') ++first;
        if (std::from_chars(first, text.data() + text.size(), exp).ec != std::errc()) return false;
        if (exp > 100 || exp < -100) {
            if (exp > 0) return false;
            Value = Currency();
            return true;
        }
    }
    d.exponent = (pointPos < 0 ? count : pointPos) + static_cast<int>(exp);
    std::size_t lead = 0;
    while (lead < d.digits.size() && d.digits[lead] == '0') {
        ++lead;
        --d.exponent;
    }
    d.digits.erase(0, lead);
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    if (d.digits.empty()) {
        Value = Currency();
        return true;
    }
    rtlformat::RoundToDecimals(d, 4);
    if (d.IsZero()) {
        Value = Currency();
        return true;
    }
    const int places = d.exponent + 4;  // digits of the raw value
    if (places > 19) return false;
    std::string raw = d.digits;
    if (static_cast<int>(raw.size()) < places) raw.append(places - raw.size(), '0');
    uint64_t mag = 0;
    if (std::from_chars(raw.data(), raw.data() + raw.size(), mag).ec != std::errc()) return false;
    const uint64_t limit = d.negative ? uint64_t(std::numeric_limits<int64_t>::max()) + 1
                                      : uint64_t(std::numeric_limits<int64_t>::max());
    if (mag > limit) return false;
    Value = Currency::FromRaw(d.negative ? static_cast<int64_t>(uint64_t(0) - mag)
                                         : static_cast<int64_t>(mag));
    return true;
}

Currency StrToCurr(std::string_view S) { return StrToCurr(S, FormatSettings); }

Currency StrToCurr(std::string_view S, const TFormatSettings& Settings) {
    Currency v;
    if (!TryStrToCurr(S, v, Settings)) InvalidFloat(S);
    return v;
}

Currency StrToCurrDef(std::string_view S, Currency Default) {
    return StrToCurrDef(S, Default, FormatSettings);
}

Currency StrToCurrDef(std::string_view S, Currency Default, const TFormatSettings& Settings) {
    Currency v;
    return TryStrToCurr(S, v, Settings) ? v : Default;
}
