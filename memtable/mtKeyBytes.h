#pragma once
// What the comparison, an index and an index's build share of the key
// bytes: which types key as texts, how a number is written big-endian and a
// double as an integer of its order, and how the first eight bytes of a key
// are read back as the integer an entry keeps. For memtable/'s own files:
// no other includes it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "memtable/mtCommon.h"

namespace memtable {

inline bool IsStringKind(TFieldType t) { return IsTextFieldType(t); }

inline void PutBigEndian(std::string& Key, uint64_t v, int Bytes) {
    char bytes[8];
    for (int i = 0; i < Bytes; ++i) bytes[i] = static_cast<char>((v >> (8 * (Bytes - 1 - i))) & 0xFF);
    Key.append(bytes, static_cast<std::size_t>(Bytes));
}

// A double as an unsigned integer of the same order. -0 is 0 (they compare
// equal), and every NaN is one value above infinity: CompareFields finds a
// NaN equal to anything, which no order can be.
inline uint64_t DoubleImage(double d) {
    if (d == 0) d = 0.0;
    if (std::isnan(d)) d = std::numeric_limits<double>::quiet_NaN();
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    if (std::isnan(d)) u &= ~(uint64_t{1} << 63);
    return (u >> 63) != 0 ? ~u : (u | (uint64_t{1} << 63));
}

inline uint64_t PrefixOf(const uint8_t* Bytes, std::size_t Length) {
    if (Length >= 8) {
        uint64_t p;
        std::memcpy(&p, Bytes, 8);
        return __builtin_bswap64(p);
    }
    uint64_t p = 0;
    const std::size_t n = std::min<std::size_t>(Length, 8);
    for (std::size_t i = 0; i < n; ++i) p |= static_cast<uint64_t>(Bytes[i]) << (8 * (7 - i));
    return p;
}

}  // namespace memtable
