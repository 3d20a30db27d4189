#pragma once
// Reading tests/data/cipher/reference.txt, the values computed by the second
// implementation (reference.py).
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace cxtest {

inline std::string FromHex(const std::string& hex) {
    if (hex == "-") return {};
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

inline std::string ToHex(const void* data, std::size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    const auto* p = static_cast<const uint8_t*>(data);
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out.empty() ? "-" : out;
}
inline std::string ToHex(const std::string& s) { return ToHex(s.data(), s.size()); }

// The lines of one kind ("key", "block", "ecb", "cbc", "text"), split into fields.
inline std::vector<std::vector<std::string>> ReferenceLines(const std::string& kind) {
    std::ifstream in(testsupport::DataPath("cipher/reference.txt"));
    std::vector<std::vector<std::string>> lines;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::vector<std::string> f;
        std::string field;
        while (fields >> field) f.push_back(field);
        if (!f.empty() && f[0] == kind) lines.push_back(f);
    }
    return lines;
}

}  // namespace cxtest
