#include "platform/rtl/Strings.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uset.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/usearch.h>

#include "platform/rtl/Format.h"
#include "platform/rtl/SysUtils.h"

namespace {

// The upper half of code page 1252 from 0x80 to 0x9F; the five positions the
// code page leaves undefined keep their C1 control, as Windows converts them.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsCont(unsigned char b) { return (b & 0xC0) == 0x80; }

// Length of the well-formed sequence starting at `pos`, or 0 when the byte
// there does not start one.
std::size_t SequenceLength(std::string_view s, std::size_t pos) {
    const auto at = [&](std::size_t i) -> unsigned char {
        return static_cast<unsigned char>(s[i]);
    };
    const unsigned char b = at(pos);
    if (b < 0x80) return 1;
    const std::size_t left = s.size() - pos;
    if (b >= 0xC2 && b <= 0xDF) return (left >= 2 && IsCont(at(pos + 1))) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        if (left < 3) return 0;
        const unsigned char b1 = at(pos + 1);
        const unsigned char lo = b == 0xE0 ? 0xA0 : 0x80;
        const unsigned char hi = b == 0xED ? 0x9F : 0xBF;  // no surrogates
        return (b1 >= lo && b1 <= hi && IsCont(at(pos + 2))) ? 3 : 0;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        if (left < 4) return 0;
        const unsigned char b1 = at(pos + 1);
        const unsigned char lo = b == 0xF0 ? 0x90 : 0x80;
        const unsigned char hi = b == 0xF4 ? 0x8F : 0xBF;
        return (b1 >= lo && b1 <= hi && IsCont(at(pos + 2)) && IsCont(at(pos + 3))) ? 4 : 0;
    }
    return 0;
}

// Byte length of the character at `pos` (malformed bytes count one).
std::size_t CharBytes(std::string_view s, std::size_t pos) {
    const std::size_t n = SequenceLength(s, pos);
    return n == 0 ? 1 : n;
}

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

icu::UnicodeString ToUnicode(std::string_view s) {
    if (utf8::IsValid(s))
        return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
    icu::UnicodeString u;
    std::size_t pos = 0;
    while (pos < s.size()) u.append(static_cast<UChar32>(utf8::Next(s, pos)));
    return u;
}

const icu::Locale& Portuguese() {
    static const icu::Locale locale("pt", "BR");
    return locale;
}

std::string FromUnicode(const icu::UnicodeString& u) {
    std::string out;
    u.toUTF8String(out);
    return out;
}

// Finds `sub` in `s` from byte `from`, accepting only a match that starts and
// ends on character boundaries (so a stray byte in `sub` never matches half
// of a character). Returns the byte offset and the matched character's index
// (0-based) through `charIndex`, which on entry is the index of `from`.
std::size_t FindChars(std::string_view s, std::string_view sub, std::size_t from,
                      std::size_t& charIndex) {
    std::size_t walker = from;
    while (true) {
        const std::size_t hit = s.find(sub, walker);
        if (hit == std::string_view::npos) return hit;
        while (walker < hit) {
            walker += CharBytes(s, walker);
            ++charIndex;
        }
        if (walker == hit) {
            std::size_t end = hit;
            while (end < hit + sub.size()) end += CharBytes(s, end);
            if (end == hit + sub.size()) return hit;
            walker += CharBytes(s, walker);
            ++charIndex;
        }
        // walker moved past a hit that began inside a character: search on.
    }
}

UCollator* OpenCollator(UColAttributeValue strength) {
    UErrorCode err = U_ZERO_ERROR;
    UCollator* c = ucol_open("pt_BR", &err);
    if (U_FAILURE(err) || !c) {
        err = U_ZERO_ERROR;
        c = ucol_open("", &err);  // root collation orders Portuguese alike
    }
    if (c) {
        err = U_ZERO_ERROR;
        ucol_setStrength(c, strength);
    }
    return c;
}

// Per-thread collators: opening one costs far more than a comparison, and a
// collator must not be shared between threads without a lock.
UCollator* Collator(UColAttributeValue strength) {
    struct Holder {
        UCollator* c = nullptr;
        ~Holder() {
            if (c) ucol_close(c);
        }
    };
    thread_local Holder tertiary, secondary, primary;
    Holder& h = strength == UCOL_SECONDARY ? secondary : strength == UCOL_PRIMARY ? primary : tertiary;
    if (!h.c) h.c = OpenCollator(strength);
    return h.c;
}

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

int Collate(std::string_view a, std::string_view b, UColAttributeValue strength) {
    UCollator* c = Collator(strength);
    if (!c) return Sign(a.compare(b));
    std::string ra, rb;
    if (!utf8::IsValid(a)) {
        ra = utf8::Repair(a);
        a = ra;
    }
    if (!utf8::IsValid(b)) {
        rb = utf8::Repair(b);
        b = rb;
    }
    UErrorCode err = U_ZERO_ERROR;
    const UCollationResult r =
        ucol_strcollUTF8(c, a.data(), static_cast<int32_t>(a.size()), b.data(),
                         static_cast<int32_t>(b.size()), &err);
    if (U_FAILURE(err)) return Sign(a.compare(b));
    return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
}

[[noreturn]] void InvalidInteger(std::string_view s) {
    throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
}

// Parses an integer the way the class library's conversions accept it:
// leading blanks, a sign, decimal digits or "$"/"0x" hexadecimal. `maxHex`
// is the largest unsigned hexadecimal value allowed (hexadecimal may spell
// the two's complement of a negative number, as in "$FFFFFFFF" = -1).
bool ParseInt(std::string_view s, int64_t lo, int64_t hi, uint64_t maxHex, int64_t& out) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        neg = s[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < s.size() && s[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= s.size()) return false;
    uint64_t acc = 0;
    const uint64_t limit = hex ? maxHex
                               : (neg ? static_cast<uint64_t>(-(lo + 1)) + 1
                                      : static_cast<uint64_t>(hi));
    for (; i < s.size(); ++i) {
        const char c = s[i];
        unsigned d;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            d = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            d = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        const unsigned base = hex ? 16 : 10;
        if (acc > (limit - d) / base) return false;
        acc = acc * base + d;
    }
    int64_t v;
    if (hex) {
        // A hexadecimal spelling covers the type's whole bit pattern.
        if (maxHex == std::numeric_limits<uint32_t>::max())
            v = static_cast<int32_t>(static_cast<uint32_t>(acc));
        else
            v = static_cast<int64_t>(acc);
        if (neg) {
            if (v == std::numeric_limits<int64_t>::min() || -v < lo) return false;
            v = -v;
        }
    } else {
        v = neg ? static_cast<int64_t>(0 - acc) : static_cast<int64_t>(acc);
    }
    out = v;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------

namespace utf8 {

char32_t Cp1252Char(unsigned char b) {
    if (b >= 0x80 && b <= 0x9F) return kCp1252High[b - 0x80];
    return b;
}

char32_t Next(std::string_view s, std::size_t& pos) {
    const std::size_t n = SequenceLength(s, pos);
    const auto at = [&](std::size_t i) -> char32_t {
        return static_cast<unsigned char>(s[pos + i]);
    };
    char32_t cp;
    switch (n) {
        case 1: cp = at(0); break;
        case 2: cp = ((at(0) & 0x1F) << 6) | (at(1) & 0x3F); break;
        case 3: cp = ((at(0) & 0x0F) << 12) | ((at(1) & 0x3F) << 6) | (at(2) & 0x3F); break;
        case 4:
            cp = ((at(0) & 0x07) << 18) | ((at(1) & 0x3F) << 12) | ((at(2) & 0x3F) << 6) |
                 (at(3) & 0x3F);
            break;
        default:
            cp = Cp1252Char(static_cast<unsigned char>(s[pos]));
            pos += 1;
            return cp;
    }
    pos += n;
    return cp;
}

void Append(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string Encode(char32_t cp) {
    std::string out;
    Append(out, cp);
    return out;
}

bool IsValid(std::string_view s) {
    std::size_t pos = 0;
    while (pos < s.size()) {
        // Plain ASCII, the common case, eight bytes at a time.
        while (pos + 8 <= s.size()) {
            uint64_t w;
            std::memcpy(&w, s.data() + pos, 8);
            if ((w & 0x8080808080808080ULL) != 0) break;
            pos += 8;
        }
        if (pos >= s.size()) break;
        if (static_cast<unsigned char>(s[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const std::size_t n = SequenceLength(s, pos);
        if (n == 0) return false;
        pos += n;
    }
    return true;
}

std::string Repair(std::string_view s) {
    if (IsValid(s)) return std::string(s);
    std::string out;
    out.reserve(s.size() + 8);
    std::size_t pos = 0;
    while (pos < s.size()) Append(out, Next(s, pos));
    return out;
}

std::size_t ByteOffset(std::string_view s, std::size_t charIndex) {
    std::size_t pos = 0;
    while (charIndex > 0 && pos < s.size()) {
        pos += CharBytes(s, pos);
        --charIndex;
    }
    return pos;
}

std::size_t CharCount(std::string_view s) {
    std::size_t count = 0;
    std::size_t pos = 0;
    while (pos < s.size()) {
        pos += static_cast<unsigned char>(s[pos]) < 0x80 ? 1 : CharBytes(s, pos);
        ++count;
    }
    return count;
}

}  // namespace utf8

// ---------------------------------------------------------------------------

std::string Cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char c : bytes) utf8::Append(out, utf8::Cp1252Char(static_cast<unsigned char>(c)));
    return out;
}

std::string Utf8ToCp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t cp = utf8::Next(text, pos);
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        char byte = '?';
        for (int i = 0; i < 32; ++i) {
            if (kCp1252High[i] == cp) {
                byte = static_cast<char>(0x80 + i);
                break;
            }
        }
        out.push_back(byte);
    }
    return out;
}

// ---------------------------------------------------------------------------

int Length(std::string_view s) { return static_cast<int>(utf8::CharCount(s)); }

std::string Copy(std::string_view s, int index, int count) {
    if (count <= 0) return {};
    if (index < 1) index = 1;
    const std::size_t start = utf8::ByteOffset(s, static_cast<std::size_t>(index - 1));
    if (start >= s.size()) return {};
    const std::size_t len = utf8::ByteOffset(s.substr(start), static_cast<std::size_t>(count));
    return std::string(s.substr(start, len));
}

std::string Copy(std::string_view s, int index) {
    if (index < 1) index = 1;
    const std::size_t start = utf8::ByteOffset(s, static_cast<std::size_t>(index - 1));
    return std::string(s.substr(start));
}

int PosEx(std::string_view sub, std::string_view s, int offset) {
    if (sub.empty() || offset < 1) return 0;
    const std::size_t from = utf8::ByteOffset(s, static_cast<std::size_t>(offset - 1));
    if (from >= s.size()) return 0;
    std::size_t charIndex = static_cast<std::size_t>(offset - 1);
    const std::size_t hit = FindChars(s, sub, from, charIndex);
    return hit == std::string_view::npos ? 0 : static_cast<int>(charIndex + 1);
}

int Pos(std::string_view sub, std::string_view s) { return PosEx(sub, s, 1); }
int AnsiPos(std::string_view sub, std::string_view s) { return PosEx(sub, s, 1); }

void Delete(std::string& s, int index, int count) {
    if (index < 1 || count <= 0) return;
    const std::size_t start = utf8::ByteOffset(s, static_cast<std::size_t>(index - 1));
    if (start >= s.size()) return;
    const std::size_t len =
        utf8::ByteOffset(std::string_view(s).substr(start), static_cast<std::size_t>(count));
    s.erase(start, len);
}

void Insert(std::string_view sub, std::string& s, int index) {
    if (index < 1) index = 1;
    const std::size_t at = utf8::ByteOffset(s, static_cast<std::size_t>(index - 1));
    s.insert(at, sub);
}

std::string PadRight(std::string_view s, int width, char ch) {
    std::string out(s);
    const int len = Length(s);
    if (len < width) out.append(static_cast<std::size_t>(width - len), ch);
    return out;
}

std::string PadLeft(std::string_view s, int width, char ch) {
    const int len = Length(s);
    if (len >= width) return std::string(s);
    std::string out(static_cast<std::size_t>(width - len), ch);
    out.append(s);
    return out;
}

std::string FitRight(std::string_view s, int width, char ch) {
    if (width <= 0) return {};
    return PadRight(Copy(s, 1, width), width, ch);
}

std::string FitLeft(std::string_view s, int width, char ch) {
    if (width <= 0) return {};
    return PadLeft(Copy(s, 1, width), width, ch);
}

std::string StringOfChar(char ch, int count) {
    return count > 0 ? std::string(static_cast<std::size_t>(count), ch) : std::string();
}

std::string StringOfChar(std::string_view ch, int count) {
    std::string out;
    if (count <= 0 || ch.empty()) return out;
    const std::string_view one = ch.substr(0, CharBytes(ch, 0));
    out.reserve(one.size() * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) out.append(one);
    return out;
}

std::string Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

std::string TrimLeft(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1])) --n;
    return std::string(s.substr(0, n));
}

// ---------------------------------------------------------------------------

std::string UpperCase(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string LowerCase(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string AnsiUpperCase(std::string_view s) {
    if (IsAscii(s)) return UpperCase(s);
    icu::UnicodeString u = ToUnicode(s);
    u.toUpper(Portuguese());
    return FromUnicode(u);
}

std::string AnsiLowerCase(std::string_view s) {
    if (IsAscii(s)) return LowerCase(s);
    icu::UnicodeString u = ToUnicode(s);
    u.toLower(Portuguese());
    return FromUnicode(u);
}

int CompareStr(std::string_view a, std::string_view b) { return Sign(a.compare(b)); }
bool SameStr(std::string_view a, std::string_view b) { return a == b; }

int CompareText(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareText(a, b) == 0;
}

int AnsiCompareStr(std::string_view a, std::string_view b) {
    if (a == b) return 0;
    const int r = Collate(a, b, UCOL_TERTIARY);
    // Strings the collation cannot tell apart (ignorable characters, other
    // normal forms) still differ: keep a total order so sorted lists and
    // duplicate checks never merge them.
    return r != 0 ? r : CompareStr(a, b);
}

int AnsiCompareText(std::string_view a, std::string_view b) {
    if (a == b) return 0;
    return Collate(a, b, UCOL_SECONDARY);
}

namespace {

// ICU sort keys end in one zero byte and hold none before it, so a key is
// never a proper prefix of another and bytes appended after it only decide
// between texts whose keys are equal.
void AppendSortKey(std::string& out, std::string_view s, UColAttributeValue strength) {
    std::string repaired;
    if (!utf8::IsValid(s)) {
        repaired = utf8::Repair(s);
        s = repaired;
    }
    UCollator* c = Collator(strength);
    if (!c) {
        out.append(s);
        return;
    }
    UErrorCode err = U_ZERO_ERROR;
    thread_local std::vector<UChar> wide;
    wide.resize(s.size() + 1);
    int32_t wideLen = 0;
    u_strFromUTF8(wide.data(), static_cast<int32_t>(wide.size()), &wideLen, s.data(),
                  static_cast<int32_t>(s.size()), &err);
    if (U_FAILURE(err)) {
        out.append(s);
        return;
    }
    const std::size_t base = out.size();
    std::size_t room = static_cast<std::size_t>(wideLen) * 4 + 16;
    out.resize(base + room);
    int32_t n = ucol_getSortKey(c, wide.data(), wideLen, reinterpret_cast<uint8_t*>(out.data() + base),
                                static_cast<int32_t>(room));
    if (n > static_cast<int32_t>(room)) {
        room = static_cast<std::size_t>(n);
        out.resize(base + room);
        n = ucol_getSortKey(c, wide.data(), wideLen, reinterpret_cast<uint8_t*>(out.data() + base),
                            static_cast<int32_t>(room));
    }
    out.resize(base + static_cast<std::size_t>(n > 0 ? n : 0));
}

}  // namespace

void AppendAnsiSortKeyStr(std::string& Out, std::string_view s) {
    // AnsiCompareStr breaks collation ties by byte order: so does the key.
    AppendSortKey(Out, s, UCOL_TERTIARY);
    Out.append(s.data(), s.size());
}

void AppendAnsiSortKeyText(std::string& Out, std::string_view s) { AppendSortKey(Out, s, UCOL_SECONDARY); }

std::string AnsiSortKeyStr(std::string_view s) {
    std::string key;
    AppendAnsiSortKeyStr(key, s);
    return key;
}

std::string AnsiSortKeyText(std::string_view s) {
    std::string key;
    AppendAnsiSortKeyText(key, s);
    return key;
}

namespace {

// Collation-element keys. The collation compares texts level by level: first
// the sequences of their elements' non-zero primary weights, then of their
// secondary weights, then of their tertiary weights (case bits left out, as
// they are when neither a case level nor a case order is asked for). A key
// that writes those sequences one after another, the bytes of each weight in
// order and a separator byte below any weight byte between the levels,
// therefore compares with memcmp as the collation does.
//
// The elements of most characters do not depend on their neighbours, so the
// elements of every such character below U+0800 are read from the collator
// once per process and a text made only of them needs no collator at all.
// A character that ends a contraction ("L·") or a prefix mapping, or a
// combining mark, makes its text go through the collator's own element
// iterator, which gives the same weights for the rest.

constexpr char32_t kElementTableLimit = 0x800;
constexpr char kLevelSeparator = '\x01';
// The weight byte most characters of a Latin text carry past the primary level.
constexpr unsigned char kCommonWeight = 0x05;

struct CharElements {
    bool simple = false;
    // One secondary and one tertiary weight byte, both the common one (see
    // kCommonWeight below): as most letters without an accent are.
    bool plain = false;
    std::uint8_t primaryLen = 0, secondaryLen = 0, tertiaryLen = 0;
    std::uint8_t primary[16], secondary[8], tertiary[8];
};

struct LevelBytes {
    std::string primary, secondary, tertiary;
    void clear() {
        primary.clear();
        secondary.clear();
        tertiary.clear();
    }
};

// One element's weights, without the zero bytes that end a short weight.
void AddElement(std::uint32_t p, std::uint32_t s, std::uint32_t t, LevelBytes& out) {
    for (int shift = 24; shift >= 0 && p != 0; shift -= 8) {
        const auto b = static_cast<char>((p >> shift) & 0xFF);
        if (b == 0) break;
        out.primary += b;
    }
    if (s != 0) {
        out.secondary += static_cast<char>(s >> 8);
        if (s & 0xFF) out.secondary += static_cast<char>(s & 0xFF);
    }
    if (t != 0) {
        out.tertiary += static_cast<char>(t >> 8);
        if (t & 0xFF) out.tertiary += static_cast<char>(t & 0xFF);
    }
}

// The element iterator hands each element out as a first half (the high
// halves of the primary weight, the high bytes of the secondary and tertiary
// weights) and, when the rest is not zero, a continuation marked by 0xC0 in
// its low byte (the low halves). The tertiary weights lose their case bits.
bool CollationElements(UCollator* collator, const UChar* text, int32_t length, LevelBytes& out) {
    UErrorCode err = U_ZERO_ERROR;
    UCollationElements* it = ucol_openElements(collator, text, length, &err);
    if (U_FAILURE(err) || !it) return false;
    std::uint32_t first = 0;
    bool pending = false;
    auto flush = [&](std::uint32_t second) {
        const std::uint32_t p = (first & 0xFFFF0000u) | (second >> 16);
        const std::uint32_t s = (((first >> 8) & 0xFF) << 8) | ((second >> 8) & 0xFF);
        const std::uint32_t t = ((first & 0x3F) << 8) | (second & 0x3F);
        AddElement(p, s, t, out);
    };
    bool ok = true;
    for (;;) {
        const int32_t ce = ucol_next(it, &err);
        if (U_FAILURE(err)) {
            ok = false;
            break;
        }
        if (ce == UCOL_NULLORDER) break;
        const auto u = static_cast<std::uint32_t>(ce);
        if (pending && (u & 0xC0) == 0xC0) {
            flush(u);
            pending = false;
            continue;
        }
        if (pending) flush(0);
        first = u;
        pending = true;
    }
    if (ok && pending) flush(0);
    ucol_closeElements(it);
    return ok;
}

struct ElementTable {
    bool usable = false;  // the collator's options are the ones these keys assume
    CharElements chars[kElementTableLimit];
};

// The collator's contractions (and prefix mappings), each as its code
// points: asked of the collator once, a long search of its tables that
// both the element table and the cuts of contractions read. Known is false
// when the collator could not tell them.
struct ContractionList {
    std::vector<std::vector<UChar32>> all;
    bool known = false;
};

const ContractionList& Contractions() {
    static const ContractionList* list = [] {
        auto* v = new ContractionList();  // kept for the life of the process
        UCollator* c = Collator(UCOL_TERTIARY);
        if (!c) return v;
        UErrorCode err = U_ZERO_ERROR;
        USet* contractions = uset_openEmpty();
        ucol_getContractionsAndExpansions(c, contractions, nullptr, true, &err);
        v->known = U_SUCCESS(err);
        UChar buf[64];
        for (int32_t i = 0, n = U_SUCCESS(err) ? uset_getItemCount(contractions) : 0; i < n; ++i) {
            UChar32 start = 0, end = 0;
            UErrorCode e = U_ZERO_ERROR;
            const int32_t len = uset_getItem(contractions, i, &start, &end, buf, 64, &e);
            if (U_FAILURE(e) || len <= 0) continue;
            std::vector<UChar32> cps;
            for (int32_t j = 0; j < len;) {
                UChar32 cp;
                U16_NEXT(buf, j, len, cp);
                cps.push_back(cp);
            }
            v->all.push_back(std::move(cps));
        }
        uset_close(contractions);
        return v;
    }();
    return *list;
}

const ElementTable& Elements() {
    static const ElementTable* table = [] {
        auto* t = new ElementTable();  // kept for the life of the process
        UCollator* c = OpenCollator(UCOL_TERTIARY);
        if (!c) return t;
        UErrorCode err = U_ZERO_ERROR;
        const bool plain = ucol_getAttribute(c, UCOL_FRENCH_COLLATION, &err) == UCOL_OFF &&
                           ucol_getAttribute(c, UCOL_ALTERNATE_HANDLING, &err) == UCOL_NON_IGNORABLE &&
                           ucol_getAttribute(c, UCOL_CASE_LEVEL, &err) == UCOL_OFF &&
                           ucol_getAttribute(c, UCOL_CASE_FIRST, &err) == UCOL_OFF &&
                           ucol_getAttribute(c, UCOL_NUMERIC_COLLATION, &err) == UCOL_OFF;
        // Characters whose elements depend on what comes before them.
        std::vector<bool> dependent(kElementTableLimit, false);
        if (!Contractions().known) {
            ucol_close(c);
            return t;
        }
        for (const std::vector<UChar32>& cps : Contractions().all) {
            // Only a contraction made of table characters can occur in a
            // text the table serves; its first character is harmless alone.
            const bool inTable = std::all_of(cps.begin(), cps.end(), [](UChar32 cp) {
                return cp >= 0 && static_cast<char32_t>(cp) < kElementTableLimit;
            });
            if (!inTable) continue;
            for (std::size_t j = 1; j < cps.size(); ++j) dependent[static_cast<std::size_t>(cps[j])] = true;
        }
        LevelBytes levels;
        for (char32_t cp = 0; cp < kElementTableLimit; ++cp) {
            CharElements& e = t->chars[cp];
            // A text of characters that start with a base character is in the
            // form the collator reads without normalizing.
            if (dependent[cp] ||
                u_getIntPropertyValue(static_cast<UChar32>(cp), UCHAR_LEAD_CANONICAL_COMBINING_CLASS) != 0)
                continue;
            const UChar unit = static_cast<UChar>(cp);
            levels.clear();
            if (!CollationElements(c, &unit, 1, levels)) continue;
            if (levels.primary.size() > sizeof e.primary || levels.secondary.size() > sizeof e.secondary ||
                levels.tertiary.size() > sizeof e.tertiary)
                continue;
            e.primaryLen = static_cast<std::uint8_t>(levels.primary.size());
            e.secondaryLen = static_cast<std::uint8_t>(levels.secondary.size());
            e.tertiaryLen = static_cast<std::uint8_t>(levels.tertiary.size());
            std::memcpy(e.primary, levels.primary.data(), e.primaryLen);
            std::memcpy(e.secondary, levels.secondary.data(), e.secondaryLen);
            std::memcpy(e.tertiary, levels.tertiary.data(), e.tertiaryLen);
            e.simple = true;
            e.plain = e.secondaryLen == 1 && e.tertiaryLen == 1 && e.secondary[0] == kCommonWeight &&
                      e.tertiary[0] == kCommonWeight;
        }
        ucol_close(c);
        t->usable = plain && U_SUCCESS(err);
        return t;
    }();
    return *table;
}

// The weights of the character at I of a text, I moved past it; null for a
// character the table does not cover whole (beyond two UTF-8 bytes,
// malformed, or with weights of its own kind), whose key is made the long way.
inline const CharElements* NextTableElements(const ElementTable& table, std::string_view s, std::size_t& i) {
    char32_t cp = static_cast<unsigned char>(s[i]);
    if (cp < 0x80) {
        ++i;
    } else if (cp >= 0xC2 && cp <= 0xDF && i + 1 < s.size() && (static_cast<unsigned char>(s[i + 1]) & 0xC0) == 0x80) {
        cp = ((cp & 0x1F) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3F);
        i += 2;
    } else {
        return nullptr;
    }
    const CharElements& e = table.chars[cp];
    return e.simple ? &e : nullptr;
}

// Each table character's weights of a text, copied whole as fixed-size
// blocks to P, Q and R (room for the longest weights of every character),
// each pointer moved past what the character held: a text of twenty
// characters costs a few dozen stores, not sixty appends. False for a text
// with a character outside the table.
bool CopyTableWeights(const ElementTable& table, std::string_view s, char*& P, char*& Q, char*& R) {
    // Local copies: stores through char pointers could change the pointers
    // themselves as far as the compiler knows, which would keep them in memory.
    char* p = P;
    char* q = Q;
    char* r = R;
    for (std::size_t i = 0; i < s.size();) {
        const CharElements* ep = NextTableElements(table, s, i);
        if (ep == nullptr) return false;
        const CharElements& e = *ep;
        std::memcpy(p, e.primary, sizeof e.primary);
        std::memcpy(q, e.secondary, sizeof e.secondary);
        std::memcpy(r, e.tertiary, sizeof e.tertiary);
        p += e.primaryLen;
        q += e.secondaryLen;
        r += e.tertiaryLen;
    }
    P = p;
    Q = q;
    R = r;
    return true;
}

// The levels of a text made only of table characters; false for any other.
bool TableElements(const ElementTable& table, std::string_view s, LevelBytes& out) {
    constexpr std::size_t kP = sizeof CharElements::primary, kS = sizeof CharElements::secondary,
                          kT = sizeof CharElements::tertiary;
    out.primary.resize(s.size() * kP + kP);
    out.secondary.resize(s.size() * kS + kS);
    out.tertiary.resize(s.size() * kT + kT);
    char* p = out.primary.data();
    char* q = out.secondary.data();
    char* r = out.tertiary.data();
    if (!CopyTableWeights(table, s, p, q, r)) return false;
    out.primary.resize(static_cast<std::size_t>(p - out.primary.data()));
    out.secondary.resize(static_cast<std::size_t>(q - out.secondary.data()));
    out.tertiary.resize(static_cast<std::size_t>(r - out.tertiary.data()));
    return true;
}

// False when the collator's options are not those the keys assume: the keys
// are then the collator's own sort keys, for every text alike.
bool ElementLevels(std::string_view s, LevelBytes& out) {
    const ElementTable& table = Elements();
    if (!table.usable) return false;
    out.clear();
    if (TableElements(table, s, out)) return true;
    out.clear();
    std::string repaired;
    if (!utf8::IsValid(s)) {
        repaired = utf8::Repair(s);
        s = repaired;
    }
    thread_local std::vector<UChar> wide;
    wide.resize(s.size() + 1);
    int32_t wideLen = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strFromUTF8(wide.data(), static_cast<int32_t>(wide.size()), &wideLen, s.data(),
                  static_cast<int32_t>(s.size()), &err);
    if (U_FAILURE(err)) return false;
    UCollator* c = Collator(UCOL_TERTIARY);
    return c && CollationElements(c, wide.data(), wideLen, out);
}

void AppendCollationKey(std::string& out, std::string_view s, bool caseSensitive) {
    thread_local LevelBytes levels;
    if (!ElementLevels(s, levels)) {
        if (caseSensitive)
            AppendAnsiSortKeyStr(out, s);
        else
            AppendAnsiSortKeyText(out, s);
        return;
    }
    const std::size_t tail = caseSensitive ? levels.tertiary.size() + s.size() + 2 : 0;
    out.reserve(out.size() + levels.primary.size() + levels.secondary.size() + 1 + tail);
    out += levels.primary;
    out += kLevelSeparator;
    out += levels.secondary;
    if (!caseSensitive) return;
    out += kLevelSeparator;
    out += levels.tertiary;
    // Texts the collation cannot tell apart are ordered by their bytes, as
    // AnsiCompareStr orders them.
    out += '\0';
    out.append(s.data(), s.size());
}

// Keys written with their runs of the common weight byte past the primary
// level made short. Most characters of a Latin text carry the common
// secondary and tertiary weights, so those levels are mostly one byte
// repeated: as long as the primary level, and as costly to store and to
// compare. A run of k common bytes followed by a byte x becomes one byte that
// orders as the run does against any other (low codes ascending in k when x
// sorts below the common byte, high codes descending in k when it sorts
// above), then x; a run too long for one code writes a middle code and goes
// on. The result orders and ties as the key itself, and no key's result is a
// prefix of another's unless the keys are.
constexpr std::size_t kLongestRun = 126;    // low codes 0x01..0x7E
constexpr unsigned char kRunGoesOn = 0x7F;  // kLongestRun common bytes, more to come

// The level bytes [From, To) then End, compacted, at Out; returns the end.
char* CompactLevel(char* Out, const unsigned char* From, const unsigned char* To, unsigned char End) {
    constexpr uint64_t kCommonWord = 0x0101010101010101ull * kCommonWeight;
    for (;;) {
        const unsigned char* q = From;
        // Eight bytes at a time: the first byte that is not the common one
        // is the lowest non-zero byte of the word xor the common bytes.
        while (To - q >= 8) {
            uint64_t w;
            std::memcpy(&w, q, 8);
            w ^= kCommonWord;
            if (w != 0) {
                if constexpr (std::endian::native == std::endian::little)
                    q += __builtin_ctzll(w) / 8;
                else
                    q += __builtin_clzll(w) / 8;
                break;
            }
            q += 8;
        }
        while (q < To && *q == kCommonWeight) ++q;
        std::size_t run = static_cast<std::size_t>(q - From);
        for (; run >= kLongestRun; run -= kLongestRun) *Out++ = static_cast<char>(kRunGoesOn);
        const unsigned char x = q < To ? *q : End;
        *Out++ = static_cast<char>(x < kCommonWeight ? 0x01 + run : 0xFF - run);
        *Out++ = static_cast<char>(x);
        if (q >= To) return Out;
        From = q + 1;
    }
}

// A key as AppendCollationKey makes it, compacted: the bytes up to the first
// level separator and those past the first zero (the text's own bytes) stay
// as they are; the levels between are read as if a zero ended them.
void AppendCompacted(std::string& Key, std::string_view Collation) {
    const auto* c = reinterpret_cast<const unsigned char*>(Collation.data());
    const std::size_t size = Collation.size();
    const void* separator = size == 0 ? nullptr : std::memchr(c, kLevelSeparator, size);
    if (separator == nullptr) {
        Key += Collation;
        Key.push_back('\0');
        return;
    }
    const auto primaryEnd = static_cast<std::size_t>(static_cast<const unsigned char*>(separator) - c);
    const void* zero = std::memchr(c + primaryEnd + 1, 0, size - primaryEnd - 1);
    const std::size_t levelsEnd =
        zero == nullptr ? size : static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - c);
    // Written through a pointer into room for the longest result: at most two
    // bytes for each level byte and for the zero that ends the levels.
    const std::size_t base = Key.size();
    Key.resize(base + primaryEnd + 1 + 2 * (levelsEnd - primaryEnd) + (size - levelsEnd) + 1);
    char* out = Key.data() + base;
    std::memcpy(out, c, primaryEnd + 1);
    out = CompactLevel(out + primaryEnd + 1, c + primaryEnd + 1, c + levelsEnd, 0);
    if (levelsEnd < size) {
        std::memcpy(out, c + levelsEnd + 1, size - levelsEnd - 1);
        out += size - levelsEnd - 1;
        *out++ = '\0';
    }
    Key.resize(static_cast<std::size_t>(out - Key.data()));
}

// The compacted key of a text made only of table characters, written at once
// from the table; false (and Key as it was) for any other text.
// Room in bytes that are written before they are read: growing it clears
// nothing, where a string resized for every key would clear all the room
// that the whole blocks of weights need, many times what the key keeps.
class ScratchRoom {
public:
    char* Room(std::size_t n) {
        if (n > size_) {
            size_ = std::max(n, 2 * size_);
            bytes_ = std::make_unique_for_overwrite<char[]>(size_);
        }
        return bytes_.get();
    }

private:
    std::unique_ptr<char[]> bytes_;
    std::size_t size_ = 0;
};

// A level compacted as CompactLevel does it, byte by byte as the weights
// come: the run of common bytes so far is a count, and a byte of another
// weight writes the run's code and itself.
class LevelCompactor {
public:
    explicit LevelCompactor(char* Out) : out_(Out) {}
    void Common() { ++run_; }
    void Byte(unsigned char B) {
        if (B == kCommonWeight) {
            ++run_;
            return;
        }
        Close(B);
    }
    // Ends the level with End; returns the end of what was written.
    char* Finish(unsigned char End) {
        Close(End);
        return out_;
    }

private:
    void Close(unsigned char X) {
        for (; run_ >= kLongestRun; run_ -= kLongestRun) *out_++ = static_cast<char>(kRunGoesOn);
        *out_++ = static_cast<char>(X < kCommonWeight ? 0x01 + run_ : 0xFF - run_);
        *out_++ = static_cast<char>(X);
        run_ = 0;
    }
    char* out_;
    std::size_t run_ = 0;
};

bool AppendCompactedFromTable(const ElementTable& table, std::string& Key, std::string_view s, bool caseSensitive) {
    constexpr std::size_t kP = sizeof CharElements::primary, kS = sizeof CharElements::secondary,
                          kT = sizeof CharElements::tertiary;
    thread_local ScratchRoom levels, out;
    // The compacted levels: at most two bytes for each weight byte and two
    // for the end.
    char* const q0 = levels.Room(2 * s.size() * (kS + kT) + 8);
    char* const r0 = q0 + 2 * s.size() * kS + 4;
    LevelCompactor secondary(q0), tertiary(r0);
    // Room for the primary weights, the two compacted levels and the text;
    // the key takes only what was written.
    char* const start = out.Room(s.size() * (kP + 2 * (kS + kT) + 1) + 8);
    char* p = start;
    for (std::size_t i = 0; i < s.size();) {
        const CharElements* ep = NextTableElements(table, s, i);
        if (ep == nullptr) return false;
        const CharElements& e = *ep;
        std::memcpy(p, e.primary, sizeof e.primary);
        p += e.primaryLen;
        if (e.plain) {
            secondary.Common();
            tertiary.Common();
            continue;
        }
        for (std::uint8_t k = 0; k < e.secondaryLen; ++k) secondary.Byte(e.secondary[k]);
        for (std::uint8_t k = 0; k < e.tertiaryLen; ++k) tertiary.Byte(e.tertiary[k]);
    }
    *p++ = kLevelSeparator;
    const char* const q = secondary.Finish(caseSensitive ? kLevelSeparator : 0);
    std::memcpy(p, q0, static_cast<std::size_t>(q - q0));
    p += q - q0;
    if (caseSensitive) {
        const char* const r = tertiary.Finish(0);
        std::memcpy(p, r0, static_cast<std::size_t>(r - r0));
        p += r - r0;
        std::memcpy(p, s.data(), s.size());
        p += s.size();
        *p++ = '\0';
    }
    Key.append(start, static_cast<std::size_t>(p - start));
    return true;
}

void AppendCompactCollationKey(std::string& Key, std::string_view s, bool caseSensitive) {
    const ElementTable& table = Elements();
    if (table.usable && AppendCompactedFromTable(table, Key, s, caseSensitive)) return;
    thread_local std::string key;
    key.clear();
    AppendCollationKey(key, s, caseSensitive);
    AppendCompacted(Key, key);
}

}  // namespace

namespace {

// Calls Cut(cp, head) for every proper start of a contraction, ending on
// cp, whose primary weights are not the start of the whole contraction's;
// head holds the start's weights, or is null where they are unknown.
template <class F>
void ForEachWeighingCut(F Cut) {
    for (const std::vector<UChar32>& cps : Contractions().all) {
        std::string whole;
        for (UChar32 cp : cps) utf8::Append(whole, static_cast<char32_t>(cp));
        LevelBytes all, head;
        const bool known = ElementLevels(whole, all);
        std::string part;
        for (std::size_t j = 0; j + 1 < cps.size(); ++j) {
            utf8::Append(part, static_cast<char32_t>(cps[j]));
            const bool headKnown = ElementLevels(part, head);
            if (known && headKnown && all.primary.compare(0, head.primary.size(), head.primary) == 0) continue;
            Cut(cps[j], headKnown ? &head : nullptr);
        }
    }
}

// The cuts of the contractions, made once in one pass over them (which the
// first partial key of a process waits for).
//
// starts: characters after which a contraction (or a prefix mapping) may go
// on and change the primary weights already there: a text ending in one may
// begin a longer text whose primary weights do not begin with its own (Thai
// "เ" before "ก" sorts after it). Contractions that only add to them ("l"
// and "l·") are not such. Sorted.
//
// weights: the primary weights of every such start that a text may end on
// where the whole contraction weighs otherwise (a Thai or Lao prevowel
// before its consonant): a text cut there weighs the same as another text,
// while its whole key does not start with those weights.
struct WeighingCuts {
    std::vector<UChar32> starts;
    std::vector<std::string> weights;  // sorted, no empty one
    std::size_t longest = 0;
    bool lastByte[256] = {};
    bool Holds(std::string_view w) const { return std::binary_search(weights.begin(), weights.end(), w); }
};

const WeighingCuts& ContractionCuts() {
    static const WeighingCuts* cuts = [] {
        auto* t = new WeighingCuts();  // kept for the life of the process
        ForEachWeighingCut([&](UChar32 cp, const LevelBytes* head) {
            t->starts.push_back(cp);
            if (head != nullptr && !head->primary.empty()) t->weights.push_back(head->primary);
        });
        std::sort(t->starts.begin(), t->starts.end());
        t->starts.erase(std::unique(t->starts.begin(), t->starts.end()), t->starts.end());
        std::sort(t->weights.begin(), t->weights.end());
        t->weights.erase(std::unique(t->weights.begin(), t->weights.end()), t->weights.end());
        for (const std::string& w : t->weights) {
            t->longest = std::max(t->longest, w.size());
            t->lastByte[static_cast<unsigned char>(w.back())] = true;
        }
        return t;
    }();
    return *cuts;
}

bool StartsContraction(UChar32 cp) {
    const std::vector<UChar32>& starts = ContractionCuts().starts;
    for (UChar32 c : {cp, u_tolower(cp), u_toupper(cp), u_totitle(cp)})
        if (std::binary_search(starts.begin(), starts.end(), c)) return true;
    return false;
}

// How many bytes at the end of the weights Primary may be those of a cut
// contraction start, the most such.
std::size_t CutContractionTail(std::string_view Primary) {
    const WeighingCuts& cuts = ContractionCuts();
    if (Primary.empty() || !cuts.lastByte[static_cast<unsigned char>(Primary.back())]) return 0;
    for (std::size_t n = std::min(cuts.longest, Primary.size()); n > 0; --n)
        if (cuts.Holds(Primary.substr(Primary.size() - n))) return n;
    return 0;
}

}  // namespace

bool AppendAnsiCollationPrefix(std::string& Out, std::string_view s) {
    if (!Elements().usable || !utf8::IsValid(s)) return false;
    // Characters whose weights may still change with the next one are left
    // out, and so is anything after a character with no weights of its own
    // (a combining mark may join what precedes it in the other text).
    std::size_t end = s.size();
    while (end > 0) {
        std::size_t start = end - 1;
        while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) --start;
        UChar32 cp = 0;
        int32_t at = static_cast<int32_t>(start);
        U8_NEXT(reinterpret_cast<const uint8_t*>(s.data()), at, static_cast<int32_t>(end), cp);
        if (cp >= 0 && !StartsContraction(cp) && u_getCombiningClass(cp) == 0 &&
            u_getIntPropertyValue(cp, UCHAR_LEAD_CANONICAL_COMBINING_CLASS) == 0)
            break;
        end = start;
    }
    thread_local LevelBytes levels;
    if (!ElementLevels(s.substr(0, end), levels)) return false;
    std::string_view prefix = levels.primary;
    // A text whose first characters weigh as s's may end them on the start
    // of a contraction ("กเ" weighs as "เก"): its whole key starts with the
    // weights before that start only. Those of s, less any tail a cut start
    // may weigh, begin its key; so does any shorter start of them.
    thread_local LevelBytes whole;
    const LevelBytes* all = &levels;
    if (end < s.size()) {
        if (!ElementLevels(s, whole)) return false;
        all = &whole;
    }
    const std::string_view weights = all->primary;
    const std::size_t tail = CutContractionTail(weights);
    if (tail > 0 || all != &levels) {
        const std::string_view kept = weights.substr(0, weights.size() - tail);
        std::size_t common = 0;
        while (common < kept.size() && common < prefix.size() && kept[common] == prefix[common]) ++common;
        prefix = prefix.substr(0, common);
    }
    Out += prefix;
    return true;
}

namespace {

void AppendCompactPrimary(std::string& Out, std::string_view s, bool caseSensitive) {
    const ElementTable& table = Elements();
    if (table.usable) {
        // The primary weights as AppendCompactedFromTable writes them, each
        // character's copied whole into room for the longest.
        thread_local ScratchRoom room;
        char* const start = room.Room(s.size() * sizeof CharElements::primary + 1);
        char* p = start;
        bool whole = true;
        for (std::size_t i = 0; i < s.size() && whole;) {
            const CharElements* e = NextTableElements(table, s, i);
            whole = e != nullptr;
            if (!whole) break;
            std::memcpy(p, e->primary, sizeof e->primary);
            p += e->primaryLen;
        }
        if (whole) {
            *p++ = kLevelSeparator;
            Out.append(start, static_cast<std::size_t>(p - start));
            return;
        }
    }
    // Any other text: its whole key, cut.
    thread_local std::string key;
    key.clear();
    AppendCompactCollationKey(key, s, caseSensitive);
    const std::size_t cut = key.find(kLevelSeparator);
    Out.append(key, 0, cut == std::string::npos ? key.size() : cut + 1);
}

}  // namespace

void AppendAnsiCompactCollationPrimaryStr(std::string& Out, std::string_view s) { AppendCompactPrimary(Out, s, true); }
void AppendAnsiCompactCollationPrimaryText(std::string& Out, std::string_view s) {
    AppendCompactPrimary(Out, s, false);
}

void AppendAnsiCompactCollationKeyStr(std::string& Out, std::string_view s) { AppendCompactCollationKey(Out, s, true); }

std::string_view AnsiCompactCollationKeyStrText(std::string_view Key) {
    // No weight byte and no text byte is zero: the levels end in one, and
    // the text follows them (as AnsiCompareStr breaks the collation's ties
    // by the bytes).
    if (Key.size() < 2 || Key.back() != '\0') return {};
    const void* zero = memrchr(Key.data(), 0, Key.size() - 1);
    if (zero == nullptr) return {};
    const std::size_t start = static_cast<std::size_t>(static_cast<const char*>(zero) - Key.data());
    return Key.substr(start + 1, Key.size() - start - 2);
}
void AppendAnsiCompactCollationKeyText(std::string& Out, std::string_view s) {
    AppendCompactCollationKey(Out, s, false);
}

std::string AnsiCollationKeyText(std::string_view s) {
    std::string key;
    AppendCollationKey(key, s, false);
    return key;
}

std::string AnsiCollationKeyStr(std::string_view s) {
    std::string key;
    AppendCollationKey(key, s, true);
    return key;
}

bool AnsiSameStr(std::string_view a, std::string_view b) { return a == b; }
namespace {

bool PrintableAscii(std::string_view s) {
    for (char c : s)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

}  // namespace

bool AnsiSameText(std::string_view a, std::string_view b) {
    // Field and component names are looked up by this for every row: in
    // printable ASCII the collation tells apart exactly what differs other
    // than in case, so it is not asked.
    if (PrintableAscii(a) && PrintableAscii(b)) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
        return true;
    }
    return AnsiCompareText(a, b) == 0;
}

std::string RemoveAccents(std::string_view s) {
    if (IsAscii(s)) return std::string(s);
    UErrorCode err = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(err);
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(err);
    if (U_FAILURE(err)) return utf8::Repair(s);
    const icu::UnicodeString decomposed = nfd->normalize(ToUnicode(s), err);
    if (U_FAILURE(err)) return utf8::Repair(s);
    icu::UnicodeString stripped;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 cp = decomposed.char32At(i);
        if (u_charType(cp) != U_NON_SPACING_MARK) stripped.append(cp);
        i += U16_LENGTH(cp);
    }
    const icu::UnicodeString composed = nfc->normalize(stripped, err);
    return FromUnicode(U_FAILURE(err) ? stripped : composed);
}

// ---------------------------------------------------------------------------

std::string IntToStr(int value) { return std::to_string(value); }
std::string IntToStr(long value) { return std::to_string(value); }
std::string IntToStr(long long value) { return std::to_string(value); }
std::string IntToStr(unsigned value) { return std::to_string(value); }
std::string IntToStr(unsigned long value) { return std::to_string(value); }
std::string IntToStr(unsigned long long value) { return std::to_string(value); }

std::string IntToStrZero(long long value, int width) {
    const bool negative = value < 0;
    // Negating the most negative value overflows; its magnitude does fit
    // the unsigned type.
    const unsigned long long magnitude =
        negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    std::string digits = std::to_string(magnitude);
    const int room = width - (negative ? 1 : 0);
    if (static_cast<int>(digits.size()) < room) digits.insert(0, static_cast<std::size_t>(room) - digits.size(), '0');
    return negative ? "-" + digits : digits;
}

std::string textdetail::HexDigits(uint64_t bits, int digits) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    do {
        out.push_back(kHex[bits & 0xF]);
        bits >>= 4;
    } while (bits != 0);
    while (static_cast<int>(out.size()) < digits) out.push_back('0');
    std::reverse(out.begin(), out.end());
    return out;
}

bool TryStrToInt(std::string_view s, int& value) {
    int64_t v;
    if (!ParseInt(s, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                  std::numeric_limits<uint32_t>::max(), v))
        return false;
    value = static_cast<int>(v);
    return true;
}

int StrToInt(std::string_view s) {
    int v;
    if (!TryStrToInt(s, v)) InvalidInteger(s);
    return v;
}

int StrToIntDef(std::string_view s, int def) {
    int v;
    return TryStrToInt(s, v) ? v : def;
}

bool TryStrToInt64(std::string_view s, int64_t& value) {
    return ParseInt(s, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                    std::numeric_limits<uint64_t>::max(), value);
}

int64_t StrToInt64(std::string_view s) {
    int64_t v;
    if (!TryStrToInt64(s, v)) InvalidInteger(s);
    return v;
}

int64_t StrToInt64Def(std::string_view s, int64_t def) {
    int64_t v;
    return TryStrToInt64(s, v) ? v : def;
}

std::string BoolToStr(bool value, bool useBoolStrs) {
    if (useBoolStrs) return value ? "True" : "False";
    return value ? "-1" : "0";
}

bool TryStrToBool(std::string_view s, bool& value) {
    if (SameText(s, "True")) {
        value = true;
        return true;
    }
    if (SameText(s, "False")) {
        value = false;
        return true;
    }
    double d;
    if (s.empty() || IsBlank(s.front()) || !TryStrToFloat(s, d)) return false;
    value = d != 0;
    return true;
}

bool StrToBool(std::string_view s) {
    bool v;
    if (!TryStrToBool(s, v))
        throw EConvertError("'" + std::string(s) + "' is not a valid boolean value");
    return v;
}

bool StrToBoolDef(std::string_view s, bool def) {
    bool v;
    return TryStrToBool(s, v) ? v : def;
}

// ---------------------------------------------------------------------------

std::string LeftStr(std::string_view s, int count) { return Copy(s, 1, count); }

std::string RightStr(std::string_view s, int count) {
    if (count <= 0) return {};
    const int len = Length(s);
    return count >= len ? std::string(s) : Copy(s, len - count + 1);
}

std::string MidStr(std::string_view s, int start, int count) { return Copy(s, start, count); }

std::string DupeString(std::string_view s, int count) {
    std::string out;
    if (count <= 0) return out;
    out.reserve(s.size() * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) out.append(s);
    return out;
}

bool AnsiContainsStr(std::string_view text, std::string_view sub) { return Pos(sub, text) > 0; }

bool AnsiContainsText(std::string_view text, std::string_view sub) {
    if (sub.empty()) return false;
    return Pos(AnsiUpperCase(sub), AnsiUpperCase(text)) > 0;
}

int AnsiCompareLetters(std::string_view a, std::string_view b) {
    if (a == b) return 0;
    return Collate(a, b, UCOL_PRIMARY);
}

bool AnsiSameLetters(std::string_view a, std::string_view b) { return AnsiCompareLetters(a, b) == 0; }

namespace {

std::u16string Utf16Of(std::string_view s) {
    std::string repaired;
    if (!utf8::IsValid(s)) {
        repaired = utf8::Repair(s);
        s = repaired;
    }
    std::u16string out(s.size() + 1, u'\0');
    int32_t n = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strFromUTF8(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &n, s.data(),
                  static_cast<int32_t>(s.size()), &err);
    out.resize(U_SUCCESS(err) ? static_cast<std::size_t>(n) : 0);
    return out;
}

// Where the first match of `sub` in `text` begins, in UTF-16 units, under
// the letters-only collation; -1 when there is none.
int32_t FirstLetterMatch(std::string_view text, std::string_view sub) {
    if (sub.empty() || text.empty()) return -1;
    UCollator* c = Collator(UCOL_PRIMARY);
    const std::u16string t = Utf16Of(text), p = Utf16Of(sub);
    if (!c || t.empty() || p.empty()) return -1;
    UErrorCode err = U_ZERO_ERROR;
    UStringSearch* search = usearch_openFromCollator(reinterpret_cast<const UChar*>(p.data()),
                                                     static_cast<int32_t>(p.size()),
                                                     reinterpret_cast<const UChar*>(t.data()),
                                                     static_cast<int32_t>(t.size()), c, nullptr, &err);
    if (U_FAILURE(err) || !search) return -1;
    const int32_t at = usearch_first(search, &err);
    usearch_close(search);
    return U_FAILURE(err) || at == USEARCH_DONE ? -1 : at;
}

}  // namespace

bool AnsiContainsLetters(std::string_view text, std::string_view sub) { return FirstLetterMatch(text, sub) >= 0; }

bool AnsiStartsStr(std::string_view sub, std::string_view text) {
    return text.substr(0, std::min(sub.size(), text.size())) == sub;
}

bool AnsiStartsText(std::string_view sub, std::string_view text) {
    const int n = Length(sub);
    return n <= Length(text) && AnsiLowerCase(Copy(text, 1, n)) == AnsiLowerCase(sub);
}

bool AnsiEndsStr(std::string_view sub, std::string_view text) {
    return sub.size() <= text.size() && text.substr(text.size() - sub.size()) == sub;
}

bool AnsiEndsText(std::string_view sub, std::string_view text) {
    const int n = Length(sub);
    return n <= Length(text) && AnsiLowerCase(RightStr(text, n)) == AnsiLowerCase(sub);
}

// ---------------------------------------------------------------------------

std::string AnsiQuotedStr(std::string_view s, char quote) {
    std::string out;
    out.reserve(s.size() + 2);
    out.push_back(quote);
    for (char c : s) {
        out.push_back(c);
        if (c == quote) out.push_back(c);
    }
    out.push_back(quote);
    return out;
}

std::string QuotedStr(std::string_view s) { return AnsiQuotedStr(s, '\''); }

std::string AnsiDequotedStr(std::string_view s, char quote) {
    if (s.empty() || s[0] != quote) return std::string(s);
    std::string out;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i] == quote) {
            if (i + 1 < s.size() && s[i + 1] == quote) {
                out.push_back(quote);
                ++i;
            } else {
                break;  // the closing quote; anything after it is dropped
            }
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

namespace {

// Code points with simple case folding, and each one's byte offset in the
// original string (plus a final entry for the end).
struct Folded {
    std::u32string cps;
    std::vector<std::size_t> offsets;
};

Folded Fold(std::string_view s) {
    Folded f;
    std::size_t pos = 0;
    while (pos < s.size()) {
        f.offsets.push_back(pos);
        const char32_t cp = utf8::Next(s, pos);
        f.cps.push_back(static_cast<char32_t>(u_foldCase(static_cast<UChar32>(cp), U_FOLD_CASE_DEFAULT)));
    }
    f.offsets.push_back(s.size());
    return f;
}

}  // namespace

std::string StringReplace(std::string_view s, std::string_view oldPattern,
                          std::string_view newPattern, TReplaceFlags flags) {
    if (oldPattern.empty()) return std::string(s);
    const bool all = flags.Contains(rfReplaceAll);
    std::string out;
    out.reserve(s.size());
    if (!flags.Contains(rfIgnoreCase)) {
        std::size_t from = 0;
        std::size_t charIndex = 0;
        while (from <= s.size()) {
            const std::size_t hit = FindChars(s, oldPattern, from, charIndex);
            if (hit == std::string_view::npos) break;
            out.append(s.substr(from, hit - from));
            out.append(newPattern);
            from = hit + oldPattern.size();
            charIndex = 0;  // only positions matter here, not indices
            if (!all) break;
        }
        out.append(s.substr(std::min(from, s.size())));
        return out;
    }
    const Folded hay = Fold(s);
    const Folded needle = Fold(oldPattern);
    std::size_t copied = 0;  // code point index already copied to `out`
    std::size_t i = 0;
    while (i + needle.cps.size() <= hay.cps.size()) {
        if (std::equal(needle.cps.begin(), needle.cps.end(), hay.cps.begin() + static_cast<std::ptrdiff_t>(i))) {
            out.append(s.substr(hay.offsets[copied], hay.offsets[i] - hay.offsets[copied]));
            out.append(newPattern);
            i += needle.cps.size();
            copied = i;
            if (!all) break;
        } else {
            ++i;
        }
    }
    out.append(s.substr(hay.offsets[copied]));
    return out;
}

namespace {
bool ContainsChar(std::string_view set, std::string_view ch) {
    std::size_t pos = 0;
    while (pos < set.size()) {
        const std::size_t n = CharBytes(set, pos);
        if (set.substr(pos, n) == ch) return true;
        pos += n;
    }
    return false;
}
}  // namespace

int LastDelimiter(std::string_view delimiters, std::string_view s) {
    int found = 0;
    int index = 0;
    std::size_t pos = 0;
    while (pos < s.size()) {
        const std::size_t n = CharBytes(s, pos);
        ++index;
        if (ContainsChar(delimiters, s.substr(pos, n))) found = index;
        pos += n;
    }
    return found;
}

bool IsDelimiter(std::string_view delimiters, std::string_view s, int index) {
    if (index < 1) return false;
    const std::size_t pos = utf8::ByteOffset(s, static_cast<std::size_t>(index - 1));
    if (pos >= s.size()) return false;
    return ContainsChar(delimiters, s.substr(pos, CharBytes(s, pos)));
}

// ---------------------------------------------------------------------------

std::string ExtractFileName(std::string_view path) {
    const std::size_t slash = path.rfind(PathDelim);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ExtractFileDir(std::string_view path) {
    const std::size_t slash = path.rfind(PathDelim);
    if (slash == std::string_view::npos) return {};
    return std::string(path.substr(0, slash == 0 ? 1 : slash));
}

std::string ExtractFilePath(std::string_view path) {
    const std::size_t slash = path.rfind(PathDelim);
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

namespace {
// Byte offset of the extension's dot, or npos. A name that only starts with
// a dot (".profile") has no extension.
std::size_t ExtDot(std::string_view path) {
    const std::size_t slash = path.rfind(PathDelim);
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < nameStart || dot == nameStart)
        return std::string_view::npos;
    return dot;
}
}  // namespace

std::string ExtractFileExt(std::string_view path) {
    const std::size_t dot = ExtDot(path);
    return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
    const std::size_t dot = ExtDot(path);
    std::string out(dot == std::string_view::npos ? path : path.substr(0, dot));
    out.append(ext);
    return out;
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
    std::string out(path);
    if (out.empty() || out.back() != PathDelim) out.push_back(PathDelim);
    return out;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
    std::string out(path);
    if (out.size() > 1 && out.back() == PathDelim) out.pop_back();
    return out;
}
