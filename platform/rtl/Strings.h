#pragma once
// Text routines. Every string is UTF-8; every index, count and length below
// counts characters (code points), never bytes, so that a column width or a
// fixed-width field never cuts a character in half.
//
// Malformed UTF-8: a byte that does not start a well-formed sequence (a stray
// continuation byte, a truncated or overlong sequence, an encoded surrogate)
// is read as ONE character, the code page 1252 character with that byte value.
// Such text most likely came from an unconverted 1252 source, so this keeps
// what the user typed: Length counts it once, Copy keeps the byte as it is,
// Utf8ToCp1252 gives the byte back and Cp1252ToUtf8/utf8::Repair turn it
// into proper UTF-8. Nothing here ever reads past the end of a string.
#include <concepts>
#include <cstdint>
#include <type_traits>
#include <initializer_list>
#include <string>
#include <string_view>

// ---------------------------------------------------------------------------
// Code page 1252: the one place where the original bytes are made.

// Every byte maps: the five positions 1252 leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) become the C1 controls U+0081... as Windows does, so any byte
// string survives Cp1252ToUtf8 followed by Utf8ToCp1252.
std::string Cp1252ToUtf8(std::string_view bytes);
// A character without a 1252 byte becomes "?".
std::string Utf8ToCp1252(std::string_view text);

namespace utf8 {

// Decodes the character starting at byte `pos` (which must be < s.size()),
// advancing `pos` past it. A malformed byte yields its 1252 character and
// advances one byte.
char32_t Next(std::string_view s, std::size_t& pos);
// Appends the UTF-8 form of `cp` (a value outside Unicode becomes U+FFFD).
void Append(std::string& out, char32_t cp);
std::string Encode(char32_t cp);
// True when every byte belongs to a well-formed sequence.
bool IsValid(std::string_view s);
// The text with every malformed byte replaced by its 1252 character.
std::string Repair(std::string_view s);
// Byte offset of the character with 0-based index `charIndex`; s.size() when
// the string has fewer characters.
std::size_t ByteOffset(std::string_view s, std::size_t charIndex);
// Number of characters.
std::size_t CharCount(std::string_view s);
// The code page 1252 character of a byte.
char32_t Cp1252Char(unsigned char b);

}  // namespace utf8

// ---------------------------------------------------------------------------
// Character-counting routines, 1-based as the class library's.

int Length(std::string_view s);
// Up to `count` characters from character `index` (1-based). An index below 1
// counts from 1, as the class library does; past the end gives "".
std::string Copy(std::string_view s, int index, int count);
// Everything from character `index` to the end.
std::string Copy(std::string_view s, int index);
// Character position (1-based) of the first `sub` in `s`; 0 when absent or
// when `sub` is empty.
int Pos(std::string_view sub, std::string_view s);
// As Pos, searching from character `offset` (1-based).
int PosEx(std::string_view sub, std::string_view s, int offset = 1);
int AnsiPos(std::string_view sub, std::string_view s);
// Removes `count` characters from character `index`.
void Delete(std::string& s, int index, int count);
// Inserts `sub` before character `index`; past the end appends.
void Insert(std::string_view sub, std::string& s, int index);

// Padding to a width of `width` characters. These never truncate: a longer
// string comes back unchanged.
std::string PadRight(std::string_view s, int width, char ch = ' ');
std::string PadLeft(std::string_view s, int width, char ch = ' ');
// Exactly `width` characters: padded as above, or cut to its first `width`
// characters (for fixed-width file fields).
std::string FitRight(std::string_view s, int width, char ch = ' ');
std::string FitLeft(std::string_view s, int width, char ch = ' ');

std::string StringOfChar(char ch, int count);
// `count` copies of one character given as UTF-8 ("·", "═").
std::string StringOfChar(std::string_view ch, int count);

// Characters up to and including ' ' (spaces and control characters).
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// ---------------------------------------------------------------------------
// Case and comparison.

// ASCII letters only, as the class library's.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
// Every letter, accented ones included (full Unicode case mapping, pt-BR).
std::string AnsiUpperCase(std::string_view s);
std::string AnsiLowerCase(std::string_view s);

// Byte order (which is code point order for UTF-8); <0, 0, >0.
int CompareStr(std::string_view a, std::string_view b);
bool SameStr(std::string_view a, std::string_view b);
// Byte order with ASCII letters folded to upper case.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);

// The pt-BR collation ("a" < "á" < "b"). AnsiCompareStr tells case and
// accents apart and returns 0 only for identical strings; AnsiCompareText
// ignores case but not accents ("AÇÃO" equals "ação", not "acao").
int AnsiCompareStr(std::string_view a, std::string_view b);
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameStr(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);
// The same collation on letters alone: case and accents ignored, as a clerk
// searches ("sao paulo" equals "São Paulo"). AnsiContainsLetters finds `sub`
// anywhere in `text` by that rule; an empty `sub` is contained in nothing.
int AnsiCompareLetters(std::string_view a, std::string_view b);
bool AnsiSameLetters(std::string_view a, std::string_view b);
bool AnsiContainsLetters(std::string_view text, std::string_view sub);
// Byte strings whose memcmp order is exactly AnsiCompareStr's (resp.
// AnsiCompareText's) order, equal exactly when those return 0. Made once per
// value, they let indexes and sorts compare with memcmp instead of running the
// collation on every comparison. Invalid UTF-8 is repaired first, as the
// comparisons do.
std::string AnsiSortKeyStr(std::string_view s);
std::string AnsiSortKeyText(std::string_view s);
// The same keys appended to Out, which allocates nothing once it has the room:
// for keys made again and again into one buffer (searches).
void AppendAnsiSortKeyStr(std::string& Out, std::string_view s);
void AppendAnsiSortKeyText(std::string& Out, std::string_view s);
// Keys for sorting many texts at once (a list's Sort): the same order and
// ties as AnsiCompareStr / AnsiCompareText, made several times faster than the
// keys above from a table of each character's collation elements, but longer
// and in bytes of their own: compare them only with keys from the same
// function, and keep AnsiSortKeyStr/Text for keys that are stored.
std::string AnsiCollationKeyStr(std::string_view s);
std::string AnsiCollationKeyText(std::string_view s);
// The same keys with the runs of the common weight past the primary level
// written short (shorter keys, the same order and ties): for keys kept in
// memory in great numbers, as an index's are.
void AppendAnsiCompactCollationKeyStr(std::string& Out, std::string_view s);
void AppendAnsiCompactCollationKeyText(std::string& Out, std::string_view s);
// The text a key of AppendAnsiCompactCollationKeyStr was made from, read
// back: every such key ends in a zero byte, the text's bytes and a zero
// byte, so a text holding no zero byte (a field's) is those between the
// last two. Empty for bytes that are no such key.
std::string_view AnsiCompactCollationKeyStrText(std::string_view Key);
// Bytes that begin the keys above (either kind) of every text whose first
// Length(s) characters equal s under AnsiCompareStr or AnsiCompareText: the
// keys of such texts form one run of their memcmp order, so a search for a
// prefix reads that run alone. False when the keys allow no such bytes.
bool AppendAnsiCollationPrefix(std::string& Out, std::string_view s);
// The bytes of the compact keys above (either kind) up to the end of their
// primary weights (the letters without their accents and case), separator
// included. Two texts whose cut keys differ have keys in the same order;
// texts whose cut keys tie need their whole keys. Several times cheaper than
// the whole keys: for ranking many texts that their letters alone mostly
// order.
void AppendAnsiCompactCollationPrimaryStr(std::string& Out, std::string_view s);
void AppendAnsiCompactCollationPrimaryText(std::string& Out, std::string_view s);

// "Ação é ótima" -> "Acao e otima": letters lose their diacritics.
std::string RemoveAccents(std::string_view s);

// ---------------------------------------------------------------------------
// Numbers.

std::string IntToStr(int value);
std::string IntToStr(long value);
std::string IntToStr(long long value);
std::string IntToStr(unsigned value);
std::string IntToStr(unsigned long value);
std::string IntToStr(unsigned long long value);
// The decimal digits of value left-filled with "0" up to width characters,
// the codes' form ("0000123"). A value with more digits keeps them all (never
// cut); a negative one keeps its "-" in front of the zero-filled digits
// ("-0042" for width 5), the most negative included.
std::string IntToStrZero(long long value, int width);
namespace textdetail {
std::string HexDigits(uint64_t bits, int digits);
}
// Upper-case hexadecimal, at least `digits` digits; a negative value gives
// the two's complement of its own type (IntToHex(-1, 2) == "FFFFFFFF" for an
// int, sixteen F for an int64_t).
template <std::integral T>
std::string IntToHex(T value, int digits = 1) {
    return textdetail::HexDigits(static_cast<uint64_t>(static_cast<std::make_unsigned_t<T>>(value)),
                                 digits);
}

// Decimal, or hexadecimal with "$", "0x" or "0X"; an optional sign; leading
// blanks allowed. Raises EConvertError "'%s' is not a valid integer value".
int StrToInt(std::string_view s);
int StrToIntDef(std::string_view s, int def);
bool TryStrToInt(std::string_view s, int& value);
int64_t StrToInt64(std::string_view s);
int64_t StrToInt64Def(std::string_view s, int64_t def);
bool TryStrToInt64(std::string_view s, int64_t& value);

// "-1"/"0", or "True"/"False" with useBoolStrs.
std::string BoolToStr(bool value, bool useBoolStrs = false);
// "True"/"False" in any case, or a number (non-zero is true) written with the
// current decimal separator. Raises EConvertError "'%s' is not a valid
// boolean value".
bool StrToBool(std::string_view s);
bool StrToBoolDef(std::string_view s, bool def);
bool TryStrToBool(std::string_view s, bool& value);

// ---------------------------------------------------------------------------
// Pieces and searches (characters, as everywhere here).

std::string LeftStr(std::string_view s, int count);
std::string RightStr(std::string_view s, int count);
std::string MidStr(std::string_view s, int start, int count);
std::string DupeString(std::string_view s, int count);
// The Text forms ignore case, accented letters included; an empty `sub` is
// contained in nothing but starts and ends everything.
bool AnsiContainsStr(std::string_view text, std::string_view sub);
bool AnsiContainsText(std::string_view text, std::string_view sub);
bool AnsiStartsStr(std::string_view sub, std::string_view text);
bool AnsiStartsText(std::string_view sub, std::string_view text);
bool AnsiEndsStr(std::string_view sub, std::string_view text);
bool AnsiEndsText(std::string_view sub, std::string_view text);

// ---------------------------------------------------------------------------
// Quoting and replacing.

// 'It''s' form.
std::string QuotedStr(std::string_view s);
std::string AnsiQuotedStr(std::string_view s, char quote);
// Removes the quotes of a quoted string and undoubles the inner ones; text
// that does not start with `quote` comes back unchanged.
std::string AnsiDequotedStr(std::string_view s, char quote);

enum TReplaceFlag { rfReplaceAll = 1, rfIgnoreCase = 2 };
// A set of TReplaceFlag: {rfReplaceAll, rfIgnoreCase} or {}.
struct TReplaceFlags {
    unsigned bits = 0;
    TReplaceFlags() = default;
    TReplaceFlags(TReplaceFlag f) : bits(static_cast<unsigned>(f)) {}
    TReplaceFlags(std::initializer_list<TReplaceFlag> flags) {
        for (TReplaceFlag f : flags) bits |= static_cast<unsigned>(f);
    }
    bool Contains(TReplaceFlag f) const { return (bits & static_cast<unsigned>(f)) != 0; }
};
// rfIgnoreCase folds accented letters too.
std::string StringReplace(std::string_view s, std::string_view oldPattern,
                          std::string_view newPattern, TReplaceFlags flags = {});

// Character position (1-based) of the last character of `s` that occurs in
// `delimiters`; 0 when none.
int LastDelimiter(std::string_view delimiters, std::string_view s);
// Whether character `index` (1-based) of `s` occurs in `delimiters`.
bool IsDelimiter(std::string_view delimiters, std::string_view s, int index);

// ---------------------------------------------------------------------------
// File names (POSIX paths).

inline constexpr char PathDelim = '/';
std::string ExtractFileName(std::string_view path);
// The folder part with its trailing delimiter ("/a/b/" for "/a/b/c.txt").
std::string ExtractFilePath(std::string_view path);
// The folder without its trailing delimiter, except for the root ("/").
std::string ExtractFileDir(std::string_view path);
// The extension with its dot (".txt"); "" when none.
std::string ExtractFileExt(std::string_view path);
std::string ChangeFileExt(std::string_view path, std::string_view ext);
std::string IncludeTrailingPathDelimiter(std::string_view path);
std::string ExcludeTrailingPathDelimiter(std::string_view path);
