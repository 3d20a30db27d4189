#include "report_output/rpExactTotal.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/rtl/Format.h"

namespace rptotal {

namespace {

// Counts stay below 10^38 so that every step of widening is checked on a
// value that still fits. Two such counts may still add past what 128 bits
// hold (their sum reaches 2 x 10^38, the count's range ends near 1.7 x
// 10^38): sums are checked as they are made.
constexpr int kMaxDigits = 38;

__int128 PowerOfTen(int n) {
    __int128 p = 1;
    for (int i = 0; i < n; ++i) p *= 10;
    return p;
}

const __int128 kLimit = PowerOfTen(kMaxDigits);

bool Fits(__int128 v) { return v < kLimit && v > -kLimit; }

// Units brought to a finer scale; false when they would leave the count.
bool Widen(Exact& e, int scale) {
    if (scale > kMaxDigits * 2) return false;
    for (; e.Scale < scale; ++e.Scale) {
        __int128 next;
        if (__builtin_mul_overflow(e.Units, static_cast<__int128>(10), &next) || !Fits(next)) return false;
        e.Units = next;
    }
    return true;
}

// Trailing zeros of the count go, so that the next widening has room.
void Trim(Exact& e) {
    if (e.Units == 0) {
        e.Scale = 0;
        return;
    }
    while (e.Scale > 0 && e.Units % 10 == 0) {
        e.Units /= 10;
        --e.Scale;
    }
}

std::string Digits(__int128 v) {
    unsigned __int128 m = v < 0 ? static_cast<unsigned __int128>(-(v + 1)) + 1 : static_cast<unsigned __int128>(v);
    std::string out;
    do {
        out.insert(out.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
    } while (m != 0);
    return out;
}

}  // namespace

Exact FromDouble(double Value) {
    if (!std::isfinite(Value)) return kNone;
    if (Value == 0) return Exact{};
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::scientific);
    const char* p = buf;
    const char* end = res.ptr;
    const bool negative = *p == '-';
    if (negative) ++p;
    __int128 units = 0;
    int count = 0;
    for (; p < end && *p != 'e'; ++p) {
        if (*p < '0' || *p > '9') continue;
        units = units * 10 + (*p - '0');
        ++count;
    }
    int exponent = 0;
    if (p < end) {
        ++p;
        if (*p == '+') ++p;
        std::from_chars(p, end, exponent);
    }
    // d.ddd x 10^exponent = units x 10^(exponent - count + 1)
    Exact e;
    e.Units = negative ? -units : units;
    const int shift = exponent - count + 1;
    if (shift >= 0) {
        if (!Widen(e, shift)) return kNone;
        e.Scale = 0;  // the widening above multiplied by 10^shift
    } else {
        e.Scale = -shift;
    }
    Trim(e);
    return e;
}

Exact FromTenThousandths(std::int64_t Count) {
    Exact e;
    e.Units = Count;
    e.Scale = 4;
    Trim(e);
    return e;
}

std::string ToText(const Exact& Total) {
    if (Total.None) return {};
    std::string digits = Digits(Total.Units < 0 ? -Total.Units : Total.Units);
    if (Total.Scale > 0) {
        if (static_cast<int>(digits.size()) <= Total.Scale)
            digits.insert(0, static_cast<std::size_t>(Total.Scale) - digits.size() + 1, '0');
        digits.insert(digits.size() - static_cast<std::size_t>(Total.Scale), 1, '.');
    }
    return Total.Units < 0 ? "-" + digits : digits;
}

double ToDouble(const Exact& Total) {
    if (Total.None) return std::numeric_limits<double>::quiet_NaN();
    if (Total.Units == 0) return 0;
    // from_chars rounds the exact decimal once, to the nearest double; the
    // digits are the count's magnitude, its sign goes in front.
    std::string text = Digits(Total.Units);
    if (Total.Units < 0) text.insert(text.begin(), '-');
    if (Total.Scale != 0) text += "e-" + std::to_string(Total.Scale);
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

bool ToTenThousandths(const Exact& Total, std::int64_t& Count) {
    if (Total.None) return false;
    __int128 units = Total.Units;
    if (Total.Scale <= 4) {
        Exact wide = Total;
        if (!Widen(wide, 4)) return false;
        units = wide.Units;
    } else {
        // A count holds fewer than 39 digits: dropping more leaves less than
        // half a unit.
        const int drop = Total.Scale - 4;
        if (drop > kMaxDigits) {
            units = 0;
        } else {
            const __int128 divisor = PowerOfTen(drop);
            const __int128 magnitude = units < 0 ? -units : units;
            const __int128 rest = magnitude % divisor;
            __int128 q = magnitude / divisor;
            if (rest >= divisor - rest) ++q;
            units = units < 0 ? -q : q;
        }
    }
    if (units > std::numeric_limits<std::int64_t>::max() || units < std::numeric_limits<std::int64_t>::min())
        return false;
    Count = static_cast<std::int64_t>(units);
    return true;
}

double ToDouble(std::int64_t TenThousandths) { return ToDouble(FromTenThousandths(TenThousandths)); }

Exact Negate(const Exact& A) {
    Exact e = A;
    e.Units = -e.Units;
    return e;
}

Exact Sum(const Exact& A, const Exact& B) {
    if (A.None || B.None) return kNone;
    Exact a = A;
    Exact b = B;
    const int scale = a.Scale > b.Scale ? a.Scale : b.Scale;
    if (!Widen(a, scale) || !Widen(b, scale)) return kNone;
    Exact s;
    s.Scale = scale;
    if (__builtin_add_overflow(a.Units, b.Units, &s.Units) || !Fits(s.Units)) return kNone;
    Trim(s);
    return s;
}

double Add(Exact& Total, double Shown, double Amount) {
    Exact base = Total;
    // NaN never compares equal: a count that stands for nothing starts over.
    if (base.None || !(ToDouble(base) == Shown)) base = FromDouble(Shown);
    const Exact s = Sum(base, FromDouble(Amount));
    if (s.None) {
        Total = kNone;
        return Shown + Amount;
    }
    Total = s;
    return ToDouble(s);
}

Exact Difference(const Exact& Minuend, double MinuendShown, const Exact& Subtrahend, double SubtrahendShown) {
    if (Minuend.None || Subtrahend.None || !(ToDouble(Minuend) == MinuendShown) ||
        !(ToDouble(Subtrahend) == SubtrahendShown))
        return kNone;
    return Sum(Minuend, Negate(Subtrahend));
}

bool FormatText(const Exact& Total, double Shown, const std::string& DisplayFormat, std::string& Text) {
    if (Total.None || DisplayFormat.empty() || !(ToDouble(Total) == Shown)) return false;
    for (const char c : DisplayFormat)
        if (c == '$' || c == 'E' || c == 'e' || c == '"' || c == '\'') return false;
    std::string text = FormatDecimalText(DisplayFormat, ToText(Total));
    if (text.empty()) return false;
    Text = std::move(text);
    return true;
}

}  // namespace rptotal
