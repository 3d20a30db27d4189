#include "tests/support/Mutate.h"

#include <algorithm>

namespace testsupport {

std::string MutateBytes(std::string s, std::mt19937& rng) {
    auto pick = [&](std::size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    static const unsigned char interesting[] = {0x00, 0x01, 0x02, 0x06, 0x0A, 0x0B, 0x0E, 0x0C,
                                                0x13, 0x15, 0x7F, 0x80, 0xF1, 0xF2, 0xFF};
    int edits = 1 + static_cast<int>(pick(4));
    for (int e = 0; e < edits && !s.empty(); ++e) {
        std::size_t at = pick(s.size());
        switch (pick(8)) {
            case 0: s[at] = static_cast<char>(s[at] ^ (1 << pick(8))); break;
            case 1: s[at] = static_cast<char>(interesting[pick(sizeof interesting)]); break;
            case 2: s[at] = static_cast<char>(pick(256)); break;
            case 3: s.insert(at, 1, static_cast<char>(interesting[pick(sizeof interesting)])); break;
            case 4: s.erase(at, 1 + pick(8)); break;
            case 5: s.resize(at); break;
            case 6: {
                // A length or count field made huge.
                std::string big = pick(2) ? std::string("\xFF\xFF\xFF\x7F", 4) : std::string("\x00\x00\x00\x80", 4);
                s.replace(at, std::min<std::size_t>(4, s.size() - at), big);
                break;
            }
            default: {
                // A chunk repeated: duplicate properties, nested lists, objects.
                std::size_t len = 1 + pick(std::min<std::size_t>(40, s.size() - at));
                s.insert(at, s.substr(at, len));
                break;
            }
        }
    }
    return s;
}

}  // namespace testsupport
