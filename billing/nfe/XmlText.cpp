#include "billing/nfe/XmlText.h"

#include <cmath>

#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"

namespace billing::nfe {

namespace {

bool IsLatin1Text(std::string_view s) {
    for (std::size_t pos = 0; pos < s.size();) {
        char32_t c = utf8::Next(s, pos);
        if (c > 0xFF || c < 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
    }
    return true;
}

// What a character becomes in a file: the layout accepts only the range
// "!" to "ÿ" plus the blank, so controls become blanks (a line break in a
// note separates words) and everything beyond Latin-1 gets its nearest
// plain form or goes.
void AppendMapped(std::string& out, char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xA0) {
        out += ' ';
        return;
    }
    switch (c) {
        case 0xAA: out += 'a'; return;  // ª
        case 0xBA: out += 'o'; return;  // º
        case 0xB0: out += 'o'; return;  // the degree sign, typed for º
        default: break;
    }
    if (c <= 0xFF) {
        utf8::Append(out, c);
        return;
    }
    switch (c) {
        case 0x2018: case 0x2019: case 0x201A: case 0x2032: out += '\''; return;
        case 0x201C: case 0x201D: case 0x201E: case 0x2033: out += '"'; return;
        case 0x2010: case 0x2011: case 0x2012: case 0x2013: case 0x2014: case 0x2015:
        case 0x2212: case 0x2022: out += '-'; return;
        case 0x2026: out += "..."; return;
        case 0x20AC: out += "EUR"; return;
        case 0x2122: out += "TM"; return;
        case 0x2002: case 0x2003: case 0x2009: case 0x202F: case 0x3000: out += ' '; return;
        default: break;
    }
    // A letter from another alphabet of Latin script keeps its base letter.
    std::string plain = RemoveAccents(utf8::Encode(c));
    if (IsLatin1Text(plain) && plain != utf8::Encode(c)) out += plain;
}

std::string MapChars(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::string_view valid = text;
    std::string repaired;
    if (!utf8::IsValid(text)) {
        repaired = utf8::Repair(text);
        valid = repaired;
    }
    for (std::size_t pos = 0; pos < valid.size();) AppendMapped(out, utf8::Next(valid, pos));
    return out;
}

std::string TrimBlanks(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && s[e - 1] == ' ') --e;
    return std::string(s.substr(b, e - b));
}

std::string Normalize(std::string_view text, bool upper, int maxChars) {
    std::string s = upper ? AnsiUpperCase(text) : std::string(text);
    s = TrimBlanks(MapChars(s));
    if (maxChars >= 0 && Length(s) > maxChars) s = Copy(s, 1, maxChars);
    if (upper) {
        s = RemoveAccents(s);
        // Removing accents may uncover characters outside the range again
        // (it never should, but the file must stay valid whatever it does).
        s = MapChars(s);
    }
    // A cut may end on a blank, which the layout refuses at the end of a text.
    return TrimBlanks(s);
}

}  // namespace

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
