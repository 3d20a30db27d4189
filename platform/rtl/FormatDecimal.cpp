#include "platform/rtl/FormatDecimal.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "platform/rtl/Strings.h"

namespace rtlformat {

namespace {

void StripTrailingZeros(Decimal& d) {
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    if (d.digits.empty()) {
        d.negative = false;
        d.exponent = 0;
    }
}

// Keeps the first `keep` digits, rounding half away from zero on the first
// digit dropped. The digits are already decimal, so a tie is a real tie.
void KeepDigits(Decimal& d, int keep) {
    if (d.IsZero() || keep >= static_cast<int>(d.digits.size())) return;
    if (keep < 0) {
        d.digits.clear();
        StripTrailingZeros(d);
        return;
    }
    const bool up = d.digits[keep] >= '5';
    d.digits.resize(keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[i] == '9') d.digits[i--] = '0';
        if (i >= 0) {
            ++d.digits[i];
        } else {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        }
    }
    StripTrailingZeros(d);
}

}  // namespace

Special Classify(double value) {
    if (std::isnan(value)) return Special::NaN;
    if (std::isinf(value)) return value > 0 ? Special::PosInf : Special::NegInf;
    return Special::None;
}

std::string SpecialText(Special s) {
    switch (s) {
        case Special::NaN: return "Nan";
        case Special::PosInf: return "+Inf";
        case Special::NegInf: return "-Inf";
        case Special::None: break;
    }
    return "";
}

Decimal FromDouble(double value, int precision) {
    Decimal d;
    if (value == 0 || !std::isfinite(value)) return d;
    if (precision < 1) precision = 1;
    if (precision > 17) precision = 17;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific,
                                   precision - 1);
    std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
    std::size_t i = 0;
    if (text[i] == '-') {
        d.negative = true;
        ++i;
    }
    for (; i < text.size() && text[i] != 'e'; ++i)
        if (text[i] >= '0' && text[i] <= '9') d.digits.push_back(text[i]);
    int exp = 0;
    if (i < text.size()) {
        ++i;
        if (text[i] == '+') ++i;
        std::from_chars(text.data() + i, text.data() + text.size(), exp);
    }
    d.exponent = exp + 1;
    std::size_t lead = 0;
    while (lead < d.digits.size() && d.digits[lead] == '0') ++lead;
    d.digits.erase(0, lead);
    StripTrailingZeros(d);
    return d;
}

Decimal FromDoubleFor(double value, int decimals) {
    if (value == 0 || !std::isfinite(value)) return Decimal{};
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    int shortest = 0;
    const char* q = buf;
    for (; q < res.ptr && *q != 'e'; ++q) shortest += *q >= '0' && *q <= '9';
    int exponent = 0;
    if (q + 1 < res.ptr) std::from_chars(q + 1 + (q[1] == '+' ? 1 : 0), res.ptr, exponent);
    ++exponent;  // 0.d1d2... x 10^exponent
    // From 10^15 on a double is coarser than its units and keeps to fifteen.
    if (shortest <= 15 || exponent > 15 || 15 - exponent > decimals) return FromDouble(value, 15);
    return FromDouble(value, shortest);
}

Decimal FromScaled(int64_t raw, int scale) {
    Decimal d;
    if (raw == 0) return d;
    d.negative = raw < 0;
    // The magnitude of the smallest int64 does not fit an int64.
    uint64_t mag = raw < 0 ? uint64_t(0) - static_cast<uint64_t>(raw) : static_cast<uint64_t>(raw);
    std::string text = std::to_string(mag);
    d.digits = text;
    d.exponent = static_cast<int>(text.size()) - scale;
    StripTrailingZeros(d);
    return d;
}

Decimal FromCurrency(Currency value) { return FromScaled(value.Raw(), 4); }

Decimal FromInt64(int64_t value) { return FromScaled(value, 0); }

void RoundToDecimals(Decimal& d, int decimals) { KeepDigits(d, d.exponent + decimals); }

void RoundToSignificant(Decimal& d, int count) { KeepDigits(d, count); }

std::string IntegerDigits(const Decimal& d) {
    if (d.IsZero() || d.exponent <= 0) return "";
    std::string out = d.digits.substr(0, std::min<std::size_t>(d.digits.size(), d.exponent));
    out.append(d.exponent - out.size(), '0');
    return out;
}

std::string FractionDigits(const Decimal& d, int count) {
    std::string out;
    if (count <= 0) return out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        const int index = d.exponent + i;  // index into digits of the i-th decimal
        if (!d.IsZero() && index >= 0 && index < static_cast<int>(d.digits.size()))
            out.push_back(d.digits[index]);
        else
            out.push_back('0');
    }
    return out;
}

std::string GroupThousands(std::string_view digits, char separator) {
    std::string out;
    const std::size_t n = digits.size();
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(digits[i]);
        const std::size_t rest = n - 1 - i;
        if (rest > 0 && rest % 3 == 0 && separator != '\0') out.push_back(separator);
    }
    return out;
}

std::size_t CharCount(std::string_view s) { return utf8::CharCount(s); }

std::string CutChars(std::string_view s, std::size_t count) {
    return std::string(s.substr(0, utf8::ByteOffset(s, count)));
}

}  // namespace rtlformat
