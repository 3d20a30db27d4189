#pragma once
// How values look inside the NF-e files and the request files. Every text
// that goes between two tags passes through here, so this is the one place
// that decides which characters the tax authority's layout accepts: the
// files are UTF-8, free text is upper case with its letters in plain ASCII,
// line breaks and runs of blanks are one blank, and characters outside the
// layout's range are transliterated to their plain Latin form ("Œuvre" ->
// "OEUVRE") or, when there is none (an emoji), removed.
#include <string>
#include <string_view>

#include "platform/rtl/DateUtils.h"

namespace billing::nfe {

// Free text for an element: upper case, letters in plain ASCII, ordinal
// signs as their capital letter ("1º" -> "1O"), blanks trimmed and single, at
// most `maxChars` characters of content, escaped for XML. Empty when nothing
// is left, which the writers take as "leave the element out".
std::string WXML(std::string_view text, int maxChars = 255);

// A value written as stored (codes, house numbers): only the characters the
// layout forbids are mapped, then trimmed, cut and escaped. No case change;
// an ordinal sign becomes its letter in the case of its word or, in a word
// without letters, of most of the text ("s/nº" -> "s/no", "S/Nº" -> "S/NO").
std::string XmlValue(std::string_view text, int maxChars = 255);

// The unescaped forms of the two above, for length checks; a negative
// `maxChars` cuts nothing.
std::string NormalizeFreeText(std::string_view text, int maxChars = 255);
std::string NormalizeStoredText(std::string_view text, int maxChars = 255);

// True when the text holds nothing but blanks and line breaks (of any kind).
bool IsBlankText(std::string_view text);

// "&", "<", ">", the double quote and the apostrophe as entities.
std::string EscapeXml(std::string_view text);
// The reverse of EscapeXml, plus numeric character references.
std::string UnescapeXml(std::string_view text);

// The value with exactly `decimals` decimals, "." as separator, no grouping,
// halves rounded away from zero ("1234.50", "-7.13").
std::string ValorXML(int decimals, double value);

// "yyyy-mm-dd".
std::string DataXML(TDateTime date);

// The decimal digits of a text, in order ("(41) 3333-4444" -> "4133334444").
std::string OnlyDigits(std::string_view text);

}  // namespace billing::nfe
