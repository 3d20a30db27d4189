#pragma once
// Running totals kept exact. A double that adds amounts one by one drifts
// once the total passes about 10^12 (its last bits no longer hold the
// cents), and a total of tiny amounts collects the error of every one of
// them. The total is kept instead as an integer count of units of
// 10^-Scale, each amount added with every decimal it was given: the
// shortest digits that read back as its double. The scale widens when an
// amount has more decimals than the total so far; a total of money stays in
// cents, one of 0,00005 amounts in hundred-thousandths, and the double shown
// is the one nearest to the exact total. Only a total that leaves the count
// (38 digits between its first and its last decimal) goes on as a plain
// double sum, from the double it had reached; the count itself never wraps.
//
// The exact total travels beside the double it stands for. When the double
// was changed by other means (a handler set the value by hand), the count no
// longer gives that double back and the sum starts again from that double.
#include <cstdint>
#include <string>

namespace rptotal {

// Units * 10^-Scale; None when the total has no exact count. Trivially
// copyable: page records hold it as bytes.
struct Exact {
    __int128 Units = 0;
    std::int32_t Scale = 0;
    bool None = false;
};

inline constexpr Exact kNone{0, 0, true};

// Value's shortest round-trip digits as an exact count; None for NaN, the
// infinities and values whose digits leave 128 bits.
Exact FromDouble(double Value);
// A count of ten-thousandths (the fixed-point money of the data layer).
Exact FromTenThousandths(std::int64_t Count);
// The exact total in ten-thousandths (the money type's count), rounded half
// away from zero as the money type rounds; false for None and for a total
// past the money type's range.
bool ToTenThousandths(const Exact& Total, std::int64_t& Count);
// The double nearest to the exact total, rounded once; NaN for None.
double ToDouble(const Exact& Total);
double ToDouble(std::int64_t TenThousandths);
// The exact total in plain decimal ("-1234.5600" keeps its scale's zeros);
// empty for None.
std::string ToText(const Exact& Total);

// The text of Shown under a display format, from the exact total when it
// stands for Shown: a total past some 7 x 10^13 has cents the double no
// longer holds. False (Text untouched) for the general and "$" formats, or
// a total that is not exact; the double's own text serves then.
bool FormatText(const Exact& Total, double Shown, const std::string& DisplayFormat, std::string& Text);

// A + B (None when either is None or the sum leaves the count).
Exact Sum(const Exact& A, const Exact& B);
Exact Negate(const Exact& A);

// Shown + Amount, with Total (the exact sum Shown should stand for) brought
// along. Answers the new double.
double Add(Exact& Total, double Shown, double Amount);

// Minuend - Subtrahend for two totals that each stood for their doubles;
// None when either did not.
Exact Difference(const Exact& Minuend, double MinuendShown, const Exact& Subtrahend, double SubtrahendShown);

}  // namespace rptotal
