#pragma once
// Running totals of money kept exact. A double that adds amounts one by one
// drifts once the total passes about 10^12 (its last bits no longer hold
// the cents), so a listing's grand total came out a few reais off. The
// total is kept instead as an integer count of ten-thousandths, each amount
// rounded to that as it is added: a total of two-decimal amounts is then
// exact to the cent up to 15 digits, and the double shown is the nearest
// one to it.
//
// The exact count travels beside the double it stands for. When the double
// was changed by other means (a handler set the value by hand), the count
// no longer gives that double back and the sum starts again from the
// double, rounded to ten-thousandths.
#include <cmath>
#include <cstdint>
#include <limits>

namespace rptotal {

// Ten-thousandths beyond this leave an integer count: such totals stay a
// plain double sum.
inline constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 4;
inline constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::min();

// The double nearest to Count ten-thousandths, rounded once.
inline double ToDouble(std::int64_t Count) {
    if (Count == kNone) return std::numeric_limits<double>::quiet_NaN();
    return static_cast<double>(Count / 10000) + static_cast<double>(Count % 10000) / 10000.0;
}

// Value in ten-thousandths, or kNone when it has no such count.
inline std::int64_t FromDouble(double Value) {
    if (!std::isfinite(Value) || std::fabs(Value) * 10000.0 >= static_cast<double>(kLimit)) return kNone;
    return std::llround(Value * 10000.0);
}

// Shown + Amount, with Count (the exact total that Shown should stand for)
// brought along. Answers the new double.
inline double Add(std::int64_t& Count, double Shown, double Amount) {
    std::int64_t base = Count;
    // NaN never compares equal: a count that stands for nothing starts over.
    if (base == kNone || !(ToDouble(base) == Shown)) base = FromDouble(Shown);
    const std::int64_t step = FromDouble(Amount);
    if (base == kNone || step == kNone || std::llabs(base) >= kLimit || std::llabs(step) >= kLimit ||
        std::llabs(base + step) >= kLimit) {
        Count = kNone;
        return Shown + Amount;
    }
    Count = base + step;
    return ToDouble(Count);
}

// Minuend - Subtrahend for two totals that each stood for their doubles;
// kNone when either did not.
inline std::int64_t Difference(std::int64_t Minuend, double MinuendShown, std::int64_t Subtrahend,
                               double SubtrahendShown) {
    if (Minuend == kNone || Subtrahend == kNone || !(ToDouble(Minuend) == MinuendShown) ||
        !(ToDouble(Subtrahend) == SubtrahendShown))
        return kNone;
    return Minuend - Subtrahend;
}

}  // namespace rptotal
