#include "platform/rtl/MaskUtils.h"

#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"

namespace maskutils {

namespace {

std::u32string Decode(std::string_view s) {
    std::u32string out;
    std::size_t pos = 0;
    while (pos < s.size()) out.push_back(utf8::Next(s, pos));
    return out;
}

// The mask's fields, split at the ";" that no "\" escapes (escapes count only
// in the mask field); the third field keeps any later ";".
std::vector<std::u32string> Fields(const std::u32string& mask) {
    std::vector<std::u32string> out(1);
    for (std::size_t i = 0; i < mask.size(); ++i) {
        const char32_t c = mask[i];
        if (c == U'\\' && out.size() == 1 && i + 1 < mask.size()) {
            out.back() += c;
            out.back() += mask[++i];
        } else if (c == U';' && out.size() < 3) {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

bool IsInputKind(char32_t c) {
    switch (c) {
        case U'L': case U'l': case U'A': case U'a': case U'C': case U'c': case U'0': case U'9': case U'#':
            return true;
        default:
            return false;
    }
}

}  // namespace

int ParsedMask::InputCount() const {
    int n = 0;
    for (const MaskSlot& s : places) n += s.literal ? 0 : 1;
    return n;
}

ParsedMask ParseEditMask(std::string_view Mask) { return ParseEditMask(Mask, FormatSettings); }

ParsedMask ParseEditMask(std::string_view Mask, const TFormatSettings& Settings) {
    ParsedMask out;
    const std::vector<std::u32string> f = Fields(Decode(Mask));
    if (f.size() >= 2 && !f[1].empty() && f[1][0] == U'0') out.saveLiterals = false;
    if (f.size() >= 3 && !f[2].empty()) out.blank = f[2][0];
    const std::u32string& m = f[0];
    CharCase charCase = CharCase::Keep;
    bool caseMark = false;
    for (std::size_t i = 0; i < m.size(); ++i) {
        char32_t c = m[i];
        MaskSlot s;
        if (c == U'!') {
            out.rightAligned = true;
            continue;
        }
        if (c == U'>' || c == U'<') {
            const char32_t other = c == U'>' ? U'<' : U'>';
            if (i + 1 < m.size() && m[i + 1] == other) {
                ++i;
                charCase = CharCase::Keep;
            } else {
                charCase = c == U'>' ? CharCase::Upper : CharCase::Lower;
            }
            caseMark = true;
            continue;
        }
        if (IsInputKind(c)) {
            s.kind = static_cast<char>(c);
            s.required = c == U'L' || c == U'A' || c == U'C' || c == U'0';
            s.charCase = charCase;
        } else {
            if (c == U'\\') {
                if (i + 1 >= m.size()) break;
                c = m[++i];
            } else if (c == U':') {
                c = static_cast<unsigned char>(Settings.TimeSeparator);
            } else if (c == U'/') {
                c = static_cast<unsigned char>(Settings.DateSeparator);
            } else if (c == U'_') {
                c = U' ';
            }
            s.literal = true;
            s.ch = c;
        }
        s.caseMark = caseMark;
        caseMark = false;
        out.places.push_back(s);
    }
    return out;
}

char32_t ApplyCase(char32_t c, CharCase charCase) {
    if (charCase == CharCase::Keep || c < 0x41) return c;
    const std::string one = utf8::Encode(c);
    const std::string converted = charCase == CharCase::Upper ? AnsiUpperCase(one) : AnsiLowerCase(one);
    // A letter whose other case takes two characters (ß) keeps its place as it is.
    const std::u32string cps = Decode(converted);
    return cps.size() == 1 ? cps[0] : c;
}

}  // namespace maskutils

std::string FormatMaskText(std::string_view EditMask, std::string_view Value) {
    return FormatMaskText(EditMask, Value, FormatSettings);
}

std::string FormatMaskText(std::string_view EditMask, std::string_view Value, const TFormatSettings& Settings) {
    using maskutils::MaskSlot;
    const maskutils::ParsedMask mask = maskutils::ParseEditMask(EditMask, Settings);
    if (mask.Empty()) return std::string(Value);
    const std::u32string value = maskutils::Decode(Value);
    std::u32string out;
    out.reserve(mask.places.size());
    if (mask.saveLiterals) {
        std::size_t k = 0;
        for (const MaskSlot& s : mask.places) {
            if (s.literal) {
                out += s.ch;
                if (k < value.size() && value[k] == s.ch) ++k;
            } else {
                out += k < value.size() ? maskutils::ApplyCase(value[k++], s.charCase) : U' ';
            }
        }
    } else {
        const std::size_t places = static_cast<std::size_t>(mask.InputCount());
        // Which character of the value goes to input place 0: a short value
        // laid out against the right starts before the value ("negative"),
        // a long one against the right starts inside it.
        const std::ptrdiff_t first = mask.rightAligned ? static_cast<std::ptrdiff_t>(value.size()) -
                                                             static_cast<std::ptrdiff_t>(places)
                                                       : 0;
        std::ptrdiff_t k = first;
        for (const MaskSlot& s : mask.places) {
            if (s.literal) {
                out += s.ch;
                continue;
            }
            const bool filled = k >= 0 && k < static_cast<std::ptrdiff_t>(value.size());
            out += filled ? maskutils::ApplyCase(value[static_cast<std::size_t>(k)], s.charCase) : U' ';
            ++k;
        }
    }
    std::string text;
    for (char32_t c : out) utf8::Append(text, c);
    return text;
}
