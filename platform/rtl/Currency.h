#pragma once
// The fixed-point money type: a 64-bit integer counting ten-thousandths, so
// that sums of amounts never pick up binary fractions.
#include <compare>
#include <cstdint>

struct Currency {
    int64_t value = 0;  // the amount times 10,000

    static constexpr int64_t Scale = 10000;

    constexpr Currency() = default;

    static constexpr Currency FromRaw(int64_t raw) {
        Currency c;
        c.value = raw;
        return c;
    }
    // Whole units (raises EOverflow beyond the range).
    static Currency FromInt(int64_t units);
    // Takes the value's 15 significant decimal digits first, then rounds half
    // away from zero to four decimals, so 2.00005 becomes 2.0001 although its
    // binary value lies just below the tie. Raises EOverflow for NaN, the
    // infinities and values beyond +-922,337,203,685,477.5807.
    static Currency FromDouble(double v);

    constexpr int64_t Raw() const { return value; }
    double ToDouble() const;

    // Every operation raises EOverflow when the result leaves the range and
    // EZeroDivide on a division by zero; products and quotients round half
    // away from zero to four decimals.
    Currency operator-() const;
    Currency& operator+=(Currency o);
    Currency& operator-=(Currency o);
    Currency& operator*=(int64_t n);
    Currency& operator*=(Currency o);
    Currency& operator/=(int64_t n);
    Currency& operator/=(Currency o);

    friend Currency operator+(Currency a, Currency b) { return a += b; }
    friend Currency operator-(Currency a, Currency b) { return a -= b; }
    friend Currency operator*(Currency a, Currency b) { return a *= b; }
    friend Currency operator*(Currency a, int64_t n) { return a *= n; }
    friend Currency operator*(int64_t n, Currency a) { return a *= n; }
    friend Currency operator/(Currency a, Currency b) { return a /= b; }
    friend Currency operator/(Currency a, int64_t n) { return a /= n; }

    friend constexpr bool operator==(Currency a, Currency b) = default;
    friend constexpr auto operator<=>(Currency a, Currency b) = default;
};
