#include "platform/rtl/Currency.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "platform/rtl/SysUtils.h"

namespace {

using Wide = __int128;

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

[[noreturn]] void Overflow() { throw EOverflow("Arithmetic overflow"); }

int64_t Checked(Wide v) {
    if (v > kMax || v < kMin) Overflow();
    return static_cast<int64_t>(v);
}

// n / d rounded half away from zero (d != 0).
Wide DivRound(Wide n, Wide d) {
    Wide q = n / d;
    Wide r = n % d;
    if (r < 0) r = -r;
    const Wide ad = d < 0 ? -d : d;
    if (2 * r >= ad) q += ((n < 0) != (d < 0)) ? -1 : 1;
    return q;
}

Wide Pow10(int n) {
    Wide p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

}  // namespace

Currency Currency::FromInt(int64_t units) { return FromRaw(Checked(Wide(units) * Scale)); }

Currency Currency::FromDouble(double v) {
    if (std::isnan(v)) throw EOverflow("Invalid floating point operation");
    if (std::isinf(v)) throw EOverflow("Floating point overflow");
    if (v == 0) return Currency();
    // The shortest correctly rounded 15-digit decimal form of the value:
    // "d.dddddddddddddde+XX".
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    if (res.ec != std::errc()) throw EOverflow("Floating point overflow");
    const char* p = buf;
    const bool neg = *p == '-';
    if (neg) ++p;
    Wide digits = 0;
    for (; p < res.ptr && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits = digits * 10 + (*p - '0');
    int exponent = 0;
    if (p < res.ptr) std::from_chars(p[1] == '+' ? p + 2 : p + 1, res.ptr, exponent);
    // value = digits * 10^(exponent - 14); raw = value * 10^4.
    const int shift = exponent - 10;
    Wide raw;
    if (shift >= 0) {
        if (shift > 6) throw EOverflow("Floating point overflow");
        raw = digits * Pow10(shift);
    } else if (shift < -16) {
        raw = 0;
    } else {
        raw = DivRound(digits, Pow10(-shift));
    }
    if (neg) raw = -raw;
    if (raw > kMax || raw < kMin) throw EOverflow("Floating point overflow");
    return FromRaw(static_cast<int64_t>(raw));
}

double Currency::ToDouble() const { return static_cast<double>(value) / Scale; }

Currency Currency::operator-() const { return FromRaw(Checked(-Wide(value))); }

Currency& Currency::operator+=(Currency o) {
    value = Checked(Wide(value) + o.value);
    return *this;
}

Currency& Currency::operator-=(Currency o) {
    value = Checked(Wide(value) - o.value);
    return *this;
}

Currency& Currency::operator*=(int64_t n) {
    value = Checked(Wide(value) * n);
    return *this;
}

Currency& Currency::operator*=(Currency o) {
    value = Checked(DivRound(Wide(value) * o.value, Scale));
    return *this;
}

Currency& Currency::operator/=(int64_t n) {
    if (n == 0) throw EZeroDivide("Division by zero");
    value = Checked(DivRound(Wide(value), n));
    return *this;
}

Currency& Currency::operator/=(Currency o) {
    if (o.value == 0) throw EZeroDivide("Division by zero");
    value = Checked(DivRound(Wide(value) * Scale, o.value));
    return *this;
}
