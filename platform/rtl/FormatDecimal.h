#pragma once
// The decimal form every number passes through before it is printed, shared
// by the number and the date formatting units. Internal to platform/rtl.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rtl/Currency.h"

struct TFormatSettings;

namespace rtlformat {

// value = (negative ? -1 : 1) * 0.digits * 10^exponent; digits holds no
// leading and no trailing zeros, and is empty for zero.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
    bool IsZero() const { return digits.empty(); }
};

enum class Special { None, NaN, PosInf, NegInf };

Special Classify(double value);
// The text the class library prints for NaN and the infinities.
std::string SpecialText(Special s);

// The value's `precision` significant decimal digits (15 for the rounding
// rule), correctly rounded from its binary value.
Decimal FromDouble(double value, int precision = 15);
// The digits a double prints with at `decimals` places: its 15 significant
// digits when they reach past that place (so 1.0049999999999999 from some
// arithmetic still prints as 1.005 would), else the shortest digits that
// read back as the value. A double holds the cents of 12345678901234.56,
// which fifteen digits would round to 12345678901234.6. From 10^15 on, the
// fifteen digits as ever.
Decimal FromDoubleFor(double value, int decimals);
// Exact: a currency or a 64-bit integer holds at most 19 digits.
Decimal FromCurrency(Currency value);
Decimal FromInt64(int64_t value);

// Half away from zero. A result of zero loses its sign.
void RoundToDecimals(Decimal& d, int decimals);
void RoundToSignificant(Decimal& d, int count);

// Digits before the point ("" below one) and exactly `count` after it.
std::string IntegerDigits(const Decimal& d);
std::string FractionDigits(const Decimal& d, int count);

// Inserts the separator every three digits from the right.
std::string GroupThousands(std::string_view digits, char separator);

// A FormatFloat/FormatCurr/FormatInt64 pattern applied to a decimal: the
// general way, which every pattern can take (fromDouble: the digits came
// from a double, and numbers of 18 digits or more print in general form).
// source: the double value came from, whose digits are then taken as
// FromDoubleFor gives them for the pattern's decimals.
std::string FormatPattern(std::string_view fmt, const Decimal& value, bool fromDouble, const TFormatSettings& fs,
                          const double* source = nullptr);
// The general form of FloatToStrF with `precision` significant digits.
std::string GeneralForm(Decimal d, int precision, const TFormatSettings& fs);

// Shorter ways for what reports print most, giving exactly the text of the
// general way; false when fmt or value is not theirs.
// A finite double under a pattern of one section made only of "0", "#",
// grouping commas before an optional point ("#,##0.00", "000,000").
bool FormatPlainPattern(std::string_view fmt, double value, const TFormatSettings& fs, std::string& out);
// The general form of a whole double below 10^15 in size, at 15 digits.
bool FormatWholeGeneral(double value, int precision, std::string& out);

// Character counting for widths; never cuts a UTF-8 sequence.
std::size_t CharCount(std::string_view s);
std::string CutChars(std::string_view s, std::size_t count);

}  // namespace rtlformat
