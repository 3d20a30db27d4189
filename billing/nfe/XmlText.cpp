#include "billing/nfe/XmlText.h"

#include <cmath>
#include <memory>
#include <string>

#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"

namespace billing::nfe {

namespace {

// A character that separates words: controls (a line break in a note),
// the no-break space and every other Unicode blank.
bool IsBlank(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || u_isUWhiteSpace(static_cast<UChar32>(c));
}

bool IsLatin1Letter(char32_t c) {
    return c == 0xB5 || (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7);
}

// The ordinal signs, and the degree sign typed for them ("2°").
bool IsOrdinal(char32_t c) { return c == 0xAA || c == 0xBA || c == 0xB0; }

// What a file may hold: the layout accepts the blank and "!" to "ÿ"; free
// text holds its letters as plain ASCII, so there only the symbols of
// Latin-1 pass unchanged.
bool Acceptable(char32_t c, bool freeText) {
    if (c >= 0x20 && c <= 0x7E) return true;
    if (c < 0xA1 || c > 0xFF) return false;
    return !(freeText && (IsLatin1Letter(c) || IsOrdinal(c)));
}

bool NeedsTransliteration(char32_t c, bool freeText) {
    if (c <= 0x7F || IsOrdinal(c)) return false;
    return c > 0xFF || (freeText && IsLatin1Letter(c));
}

// Letters of other alphabets and of Latin beyond ASCII in their plain Latin
// form ("Œuvre" -> "OEuvre", "Привет" -> "Privet", curly quotes -> straight
// ones). The micro sign is read as the letter it looks like, as in "µm".
icu::Transliterator& Transliterator() {
    thread_local std::unique_ptr<icu::Transliterator> t = [] {
        UErrorCode err = U_ZERO_ERROR;
        UParseError parse{};
        icu::UnicodeString rules = icu::UnicodeString::fromUTF8(
            ":: NFC ; \\u00B5 > u ; \\u20AC > EUR ; \\u2022 > '-' ; :: Any-Latin ; :: Latin-ASCII ;");
        std::unique_ptr<icu::Transliterator> made(
            icu::Transliterator::createFromRules("nfe-text", rules, UTRANS_FORWARD, parse, err));
        if (U_FAILURE(err) || !made) throw Exception(std::string("ICU: transliterador indisponível: ") + u_errorName(err));
        return made;
    }();
    return *t;
}

// Compatibility forms ("™" -> "TM", "ﬁ" -> "fi") without their marks, for
// what the transliteration leaves outside the accepted range.
std::u32string Decomposed(char32_t c) {
    UErrorCode err = U_ZERO_ERROR;
    const icu::Normalizer2* nfkd = icu::Normalizer2::getNFKDInstance(err);
    std::u32string out;
    if (U_FAILURE(err)) return out;
    icu::UnicodeString d = nfkd->normalize(icu::UnicodeString(static_cast<UChar32>(c)), err);
    if (U_FAILURE(err)) return out;
    for (int32_t i = 0; i < d.length(); i = d.moveIndex32(i, 1)) {
        UChar32 ch = d.char32At(i);
        if (u_charType(ch) != U_NON_SPACING_MARK) out += static_cast<char32_t>(ch);
    }
    return out;
}

void AppendAccepted(std::string& out, char32_t c, bool freeText) {
    if (IsBlank(c)) out += ' ';
    else if (Acceptable(c, freeText)) utf8::Append(out, c);
    else {
        std::u32string d = Decomposed(c);
        bool whole = !d.empty() && !(d.size() == 1 && d[0] == c);
        for (char32_t x : d) whole = whole && (IsBlank(x) || Acceptable(x, freeText));
        if (!whole) return;  // nothing in the layout stands for it (an emoji)
        for (char32_t x : d) {
            if (IsBlank(x)) out += ' ';
            else utf8::Append(out, x);
        }
    }
}

void AppendTransliterated(std::string& out, const std::u32string& run, bool freeText) {
    icu::UnicodeString u;
    for (char32_t c : run) u.append(static_cast<UChar32>(c));
    Transliterator().transliterate(u);
    for (int32_t i = 0; i < u.length(); i = u.moveIndex32(i, 1))
        AppendAccepted(out, static_cast<char32_t>(u.char32At(i)), freeText);
}

bool IsUpper(char32_t c) { return u_isupper(static_cast<UChar32>(c)); }
bool IsLower(char32_t c) { return u_islower(static_cast<UChar32>(c)); }

// The case an ordinal sign takes: that of the nearest letter of its own word
// ("nº" -> "no", "Nº" -> "NO"), else that of most of the text ("Rua 1º de
// Maio" -> "1o"), upper case when nothing tells.
bool OrdinalUpper(const std::u32string& text, std::size_t at, int upper, int lower) {
    auto cased = [](char32_t c) { return IsUpper(c) || IsLower(c); };
    for (std::size_t i = at; i-- > 0 && !IsBlank(text[i]);)
        if (cased(text[i])) return IsUpper(text[i]);
    for (std::size_t i = at + 1; i < text.size() && !IsBlank(text[i]); ++i)
        if (cased(text[i])) return IsUpper(text[i]);
    return upper >= lower;
}

std::string CollapseBlanks(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char ch : s) {
        if (ch == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += ch;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// Free text comes out in capitals with its letters in plain ASCII; a stored
// value keeps its case and its Latin-1 characters. In both, blanks and line
// breaks become one blank, ordinal signs their letter, and characters beyond
// the layout's range their nearest plain form (or nothing, when there is
// none, as for an emoji).
std::string Normalize(std::string_view text, bool freeText, int maxChars) {
    std::u32string cps;
    cps.reserve(text.size());
    int upper = 0, lower = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t c = utf8::Next(text, pos);
        upper += IsUpper(c);
        lower += IsLower(c);
        cps += c;
    }
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < cps.size();) {
        char32_t c = cps[i];
        if (IsOrdinal(c)) {
            bool up = freeText || OrdinalUpper(cps, i, upper, lower);
            char letter = c == 0xAA ? 'a' : 'o';
            out += up ? static_cast<char>(letter - 'a' + 'A') : letter;
            ++i;
        } else if (NeedsTransliteration(c, freeText) && !IsBlank(c)) {
            std::size_t j = i;
            while (j < cps.size() && NeedsTransliteration(cps[j], freeText) && !IsBlank(cps[j])) ++j;
            AppendTransliterated(out, cps.substr(i, j - i), freeText);
            i = j;
        } else {
            AppendAccepted(out, c, freeText);
            ++i;
        }
    }
    if (freeText) out = UpperCase(out);
    out = CollapseBlanks(out);
    if (!out.empty() && out[0] == ' ') out.erase(0, 1);
    // A cut may end on a blank, which the layout refuses at the end of a text.
    if (maxChars >= 0 && Length(out) > maxChars) out = CollapseBlanks(Copy(out, 1, maxChars));
    return out;
}

}  // namespace

bool IsBlankText(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();)
        if (!IsBlank(utf8::Next(text, pos))) return false;
    return true;
}

std::string NormalizeFreeText(std::string_view text, int maxChars) {
    return Normalize(text, true, maxChars);
}

std::string NormalizeStoredText(std::string_view text, int maxChars) {
    return Normalize(text, false, maxChars);
}

std::string EscapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char ch : text) {
        switch (ch) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += ch;
        }
    }
    return out;
}

std::string UnescapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '&') {
            std::size_t semi = text.find(';', i);
            if (semi != std::string_view::npos && semi - i <= 10) {
                std::string_view ent = text.substr(i + 1, semi - i - 1);
                std::string rep;
                if (ent == "amp") rep = "&";
                else if (ent == "lt") rep = "<";
                else if (ent == "gt") rep = ">";
                else if (ent == "quot") rep = "\"";
                else if (ent == "apos") rep = "'";
                else if (ent.size() > 1 && ent[0] == '#') {
                    char32_t cp = 0;
                    bool ok = true;
                    bool hex = ent[1] == 'x' || ent[1] == 'X';
                    for (std::size_t k = hex ? 2 : 1; k < ent.size() && ok; ++k) {
                        char d = ent[k];
                        int v = (d >= '0' && d <= '9')   ? d - '0'
                                : (hex && d >= 'a' && d <= 'f') ? d - 'a' + 10
                                : (hex && d >= 'A' && d <= 'F') ? d - 'A' + 10
                                                                : -1;
                        if (v < 0 || cp > 0x10FFFF) ok = false;
                        else cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(v);
                    }
                    if (ok && ent.size() > (hex ? 2u : 1u)) rep = utf8::Encode(cp);
                }
                if (!rep.empty()) {
                    out += rep;
                    i = semi + 1;
                    continue;
                }
            }
        }
        out += text[i++];
    }
    return out;
}

std::string WXML(std::string_view text, int maxChars) {
    return EscapeXml(NormalizeFreeText(text, maxChars));
}

std::string XmlValue(std::string_view text, int maxChars) {
    return EscapeXml(NormalizeStoredText(text, maxChars));
}

std::string ValorXML(int decimals, double value) {
    if (decimals < 0) decimals = 0;
    TFormatSettings settings;
    settings.DecimalSeparator = '.';
    settings.ThousandSeparator = ',';
    std::string mask = "################0";
    if (decimals > 0) mask += "." + std::string(static_cast<std::size_t>(decimals), '0');
    std::string s = FormatFloat(mask, value, settings);
    for (char& ch : s)
        if (ch == ',') ch = '.';
    return s;
}

std::string DataXML(TDateTime date) {
    uint16_t y = 0, m = 0, d = 0;
    DecodeDate(date, y, m, d);
    return IntToStrZero(y, 4) + "-" + IntToStrZero(m, 2) + "-" + IntToStrZero(d, 2);
}

std::string OnlyDigits(std::string_view text) {
    std::string out;
    for (char ch : text)
        if (ch >= '0' && ch <= '9') out += ch;
    return out;
}

}  // namespace billing::nfe
