#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/rtl/Strings.h"

namespace {

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

int KeyCompare(const std::string& a, const std::string& b) {
    const int r = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (r != 0) return Sign(r);
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Texts built from pieces a register holds: accented letters in both cases,
// blanks, digits, punctuation, ignorable characters and broken UTF-8.
std::vector<std::string> RandomTexts(int count, unsigned seed) {
    static const char* const pieces[] = {
        "a", "A", "á", "Á", "à", "ã", "Ã", "â", "e", "é", "É", "ê", "i", "í", "o", "ó", "õ",
        "Õ", "ô", "u", "ú", "ü", "c", "ç", "Ç", "n", "ñ", "z", "Z", " ", "-", ".", "0", "9",
        "'", "ß", "\xC2\xAD" /* soft hyphen */, "\xFF", "\xC3" /* cut sequence */, "João",
        "JOÃO", "joao", "Conceição", "CONCEICAO"};
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> len(0, 6);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::vector<std::string> out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        std::string s;
        for (int n = len(rng); n > 0; --n) s += pieces[pick(rng)];
        out.push_back(s);
    }
    return out;
}

TEST(SortKey, OrderAndEqualityAreThoseOfTheComparisonOnRandomAccentedTexts) {
    const auto texts = RandomTexts(10000, 20261207);
    std::vector<std::string> strKeys, textKeys;
    for (const auto& t : texts) {
        strKeys.push_back(AnsiSortKeyStr(t));
        textKeys.push_back(AnsiSortKeyText(t));
    }
    int equalText = 0;
    // Neighbours and a fixed stride: 20,000 pairs with many near-equal ones.
    for (std::size_t i = 0; i + 1 < texts.size(); ++i) {
        for (std::size_t j : {i + 1, (i * 7919) % texts.size()}) {
            const auto& a = texts[i];
            const auto& b = texts[j];
            ASSERT_EQ(Sign(AnsiCompareStr(a, b)), KeyCompare(strKeys[i], strKeys[j]))
                << "'" << a << "' / '" << b << "'";
            const int t = Sign(AnsiCompareText(a, b));
            ASSERT_EQ(t, KeyCompare(textKeys[i], textKeys[j])) << "'" << a << "' / '" << b << "'";
            if (t == 0 && a != b) ++equalText;
        }
    }
    EXPECT_GT(equalText, 0);  // the case-insensitive ties were really exercised
}

TEST(SortKey, CaseInsensitiveKeysTieOnlyWhereTheComparisonDoes) {
    EXPECT_EQ(AnsiSortKeyText("João"), AnsiSortKeyText("JOÃO"));
    EXPECT_NE(AnsiSortKeyText("João"), AnsiSortKeyText("Joao"));
    EXPECT_NE(AnsiSortKeyStr("João"), AnsiSortKeyStr("JOÃO"));
    EXPECT_LT(AnsiSortKeyText("a"), AnsiSortKeyText("á"));
    EXPECT_LT(AnsiSortKeyText("á"), AnsiSortKeyText("b"));
    EXPECT_LT(AnsiSortKeyText(""), AnsiSortKeyText("a"));
    // Invalid UTF-8 gets a key like the comparison's repaired text.
    EXPECT_EQ(KeyCompare(AnsiSortKeyStr("a\xFF"), AnsiSortKeyStr("a\xFF")), 0);
    EXPECT_EQ(Sign(AnsiCompareStr("a\xFF", "a")),
              KeyCompare(AnsiSortKeyStr("a\xFF"), AnsiSortKeyStr("a")));
}

TEST(SortKey, AppendedKeysLeaveWhatWasThereAndGrowAsNeeded) {
    // Long texts of letters with several weights each make a key longer than
    // the first guess of its size.
    std::string longText;
    for (int i = 0; i < 300; ++i) longText += "ǅẞæ\u0301";
    for (const std::string& t : {std::string(), std::string("João"), std::string("a\xFF"), longText}) {
        std::string str = "before", text = "before";
        AppendAnsiSortKeyStr(str, t);
        AppendAnsiSortKeyText(text, t);
        EXPECT_EQ(str, "before" + AnsiSortKeyStr(t));
        EXPECT_EQ(text, "before" + AnsiSortKeyText(t));
    }
    // Order still follows the comparison for texts whose keys had to grow.
    EXPECT_EQ(Sign(AnsiCompareStr(longText, longText + "a")),
              KeyCompare(AnsiSortKeyStr(longText), AnsiSortKeyStr(longText + "a")));
}

}  // namespace
