#include "platform/rtl/Masks.h"

#include <algorithm>

namespace {

// Decodes one UTF-8 character; a byte that does not start a well-formed
// sequence stands for itself (the code page 1252 reading of stray bytes is
// not needed for matching, only a stable one-byte character).
char32_t NextChar(const std::string& s, std::size_t& pos) {
    unsigned char b = static_cast<unsigned char>(s[pos]);
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (len <= 1 || pos + static_cast<std::size_t>(len) > s.size()) {
        ++pos;
        return b;
    }
    char32_t cp = b & (0x7F >> len);
    for (int i = 1; i < len; ++i) {
        unsigned char c = static_cast<unsigned char>(s[pos + static_cast<std::size_t>(i)]);
        if ((c & 0xC0) != 0x80) {
            ++pos;
            return b;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    pos += static_cast<std::size_t>(len);
    return cp;
}

// Upper case of the Latin letters Portuguese (and its neighbours) use.
char32_t Fold(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c < 0x80) return c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A pairs upper/lower as even/odd, except in the
        // stretch 0x139..0x148 and 0x179..0x17E where the pairs are odd/even.
        bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddUpper) return (c % 2 == 0) ? c - 1 : c;
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        return (c % 2 == 1) ? c - 1 : c;
    }
    return c;
}

std::vector<char32_t> Decode(const std::string& s) {
    std::vector<char32_t> out;
    for (std::size_t pos = 0; pos < s.size();) out.push_back(NextChar(s, pos));
    return out;
}

[[noreturn]] void Invalid(const std::string& mask, std::size_t position) {
    throw EMaskException("Invalid mask '" + mask + "' at position " + std::to_string(position + 1));
}

bool InSet(const TMask::Token& t, char32_t c) {
    bool hit = false;
    for (auto& r : t.ranges)
        if (c >= r.first && c <= r.second) {
            hit = true;
            break;
        }
    return hit != t.negate;
}

}  // namespace

TMask::TMask(const std::string& MaskValue) {
    std::vector<char32_t> m = Decode(MaskValue);
    for (std::size_t i = 0; i < m.size(); ++i) {
        Token t;
        char32_t c = m[i];
        if (c == '*') {
            // Consecutive stars mean the same as one.
            if (!tokens_.empty() && tokens_.back().kind == Token::AnyRun) continue;
            t.kind = Token::AnyRun;
        } else if (c == '?') {
            t.kind = Token::AnyChar;
        } else if (c == '[') {
            std::size_t open = i;
            t.kind = Token::Set;
            ++i;
            if (i < m.size() && m[i] == '!') {
                t.negate = true;
                ++i;
            }
            bool closed = false;
            while (i < m.size()) {
                if (m[i] == ']' && !t.ranges.empty()) {
                    closed = true;
                    break;
                }
                char32_t lo = Fold(m[i]);
                char32_t hi = lo;
                if (i + 2 < m.size() && m[i + 1] == '-' && m[i + 2] != ']') {
                    hi = Fold(m[i + 2]);
                    i += 2;
                } else if (i + 1 < m.size() && m[i + 1] == '-') {
                    Invalid(MaskValue, i + 1);
                }
                if (lo > hi) std::swap(lo, hi);
                t.ranges.emplace_back(lo, hi);
                ++i;
            }
            if (!closed) Invalid(MaskValue, open);
        } else {
            t.kind = Token::Literal;
            t.ch = Fold(c);
        }
        tokens_.push_back(std::move(t));
    }
}

bool TMask::Matches(const std::string& FileName) const {
    std::vector<char32_t> s = Decode(FileName);
    for (char32_t& c : s) c = Fold(c);
    // reach[j]: the first i tokens can match the first j characters.
    std::vector<char> reach(s.size() + 1, 0), next(s.size() + 1, 0);
    reach[0] = 1;
    for (const Token& t : tokens_) {
        std::fill(next.begin(), next.end(), 0);
        if (t.kind == Token::AnyRun) {
            char any = 0;
            for (std::size_t j = 0; j <= s.size(); ++j) {
                any = static_cast<char>(any | reach[j]);
                next[j] = any;
            }
        } else {
            for (std::size_t j = 0; j < s.size(); ++j) {
                if (!reach[j]) continue;
                bool ok = t.kind == Token::AnyChar || (t.kind == Token::Literal ? s[j] == t.ch : InSet(t, s[j]));
                if (ok) next[j + 1] = 1;
            }
        }
        reach.swap(next);
        if (std::find(reach.begin(), reach.end(), 1) == reach.end()) return false;
    }
    return reach[s.size()] != 0;
}

bool MatchesMask(const std::string& FileName, const std::string& Mask) { return TMask(Mask).Matches(FileName); }
