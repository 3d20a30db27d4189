#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/rtl/Lists.h"
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

// The texts above mixed with any character below U+0800 (where the keys read
// a table), characters that take part in contractions and prefix mappings
// ("L·"), combining marks, characters beyond the table and broken UTF-8.
std::vector<std::string> WideTexts(int count, unsigned seed) {
    static const char* const pieces[] = {
        "L\xC2\xB7", "l\xC2\xB7", "\xC2\xB7", "a\xCC\x81" /* a + combining acute */, "\xCC\xA3",
        "\xD0\x98\xCC\x86", "\xD8\xA7\xD9\x93", "\xE2\x82\xAC" /* euro */, "\xE4\xB8\xAD", "\xF0\x9F\x98\x80",
        "\xE0\xB9\x80\xE0\xB8\x81" /* Thai prevowel */, "\x80", "\xE2\x82" /* cut */, "\t", "1", "10", "ae", "\xC3\xA6"};
    const auto base = RandomTexts(count, seed);
    std::mt19937 rng(seed + 1);
    std::uniform_int_distribution<int> len(0, 4);
    std::uniform_int_distribution<int> kind(0, 3);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<char32_t> cp(0, 0x7FF);
    std::vector<std::string> out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        std::string s = base[static_cast<std::size_t>(i)];
        for (int n = len(rng); n > 0; --n) {
            if (kind(rng) == 0) s += pieces[pick(rng)];
            else utf8::Append(s, cp(rng));
        }
        out.push_back(s);
    }
    return out;
}

using KeyFunction = std::string (*)(std::string_view);

// Compares the keys' order with the comparisons' on every pair of texts, or
// on neighbours and a fixed stride (many near-equal pairs); returns how many
// different texts the case-insensitive comparison called equal (-1 after a
// failure, which it reports).
int CheckKeysAgainstComparisons(const std::vector<std::string>& texts, KeyFunction strKey, KeyFunction textKey,
                                bool everyPair = false) {
    std::vector<std::string> strKeys, textKeys;
    for (const auto& t : texts) {
        strKeys.push_back(strKey(t));
        textKeys.push_back(textKey(t));
    }
    int equalText = 0;
    auto check = [&](std::size_t i, std::size_t j) {
        const auto& a = texts[i];
        const auto& b = texts[j];
        if (Sign(AnsiCompareStr(a, b)) != KeyCompare(strKeys[i], strKeys[j])) {
            ADD_FAILURE() << "case-sensitive: '" << a << "' / '" << b << "'";
            return false;
        }
        const int t = Sign(AnsiCompareText(a, b));
        if (t != KeyCompare(textKeys[i], textKeys[j])) {
            ADD_FAILURE() << "case-insensitive: '" << a << "' / '" << b << "'";
            return false;
        }
        if (t == 0 && a != b) ++equalText;
        return true;
    };
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (everyPair) {
            for (std::size_t j = 0; j < texts.size(); ++j)
                if (!check(i, j)) return -1;
        } else if (i + 1 < texts.size()) {
            for (std::size_t j : {i + 1, (i * 7919) % texts.size()})
                if (!check(i, j)) return -1;
        }
    }
    return equalText;
}

TEST(SortKey, OrderAndEqualityAreThoseOfTheComparisonOnRandomAccentedTexts) {
    // The case-insensitive ties must really be exercised.
    EXPECT_GT(CheckKeysAgainstComparisons(RandomTexts(10000, 20261207), AnsiSortKeyStr, AnsiSortKeyText), 0);
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

std::string CompactStr(std::string_view s) {
    std::string key;
    AppendAnsiCompactCollationKeyStr(key, s);
    return key;
}

std::string CompactText(std::string_view s) {
    std::string key;
    AppendAnsiCompactCollationKeyText(key, s);
    return key;
}

TEST(CollationKey, OrderAndEqualityAreThoseOfTheComparisonOnAnyCharacters) {
    for (const auto& texts : {RandomTexts(10000, 7), WideTexts(10000, 20261208)}) {
        EXPECT_GT(CheckKeysAgainstComparisons(texts, AnsiCollationKeyStr, AnsiCollationKeyText), 0);
        EXPECT_GT(CheckKeysAgainstComparisons(texts, CompactStr, CompactText), 0);
    }
}

// The text (with no zero byte, as a field's) read back from its
// case-sensitive key, whichever way the key was made: from the table of
// characters, the collator's own key for texts the table lacks, and invalid
// bytes.
TEST(CollationKey, CaseSensitiveCompactKeysEndInTheirText) {
    std::vector<std::string> texts = {"", "a", "João da Silva", "ÁLVARO", std::string(300, 'a') + "\xCC\x81",
                                      "a\xFF", "\xC3", "\u0e40\u0e01", "L\u00b7l", "\xef\xac\x80", "\U0001F600x",
                                      "\u0378", "가나", "ǅẞæ\u0301"};
    for (const auto& more : {RandomTexts(2000, 11), WideTexts(2000, 20261209)}) texts.insert(texts.end(), more.begin(), more.end());
    for (const std::string& t : texts)
        if (t.find('\0') == std::string::npos) EXPECT_EQ(AnsiCompactCollationKeyStrText(CompactStr(t)), t) << t;
    EXPECT_EQ(AnsiCompactCollationKeyStrText("abc"), "");
}

// Runs of the common weight longer than one short code holds, ended by each
// kind of weight.
TEST(CollationKey, CompactKeysOfLongTextsOrderAsTheComparison) {
    std::vector<std::string> texts;
    for (int k : {125, 126, 127, 252, 253})
        for (const char* tail : {"", "a", "\xC3\xA1", "A", "b", "\xCC\x81"}) texts.push_back(std::string(k, 'a') + tail);
    EXPECT_GT(CheckKeysAgainstComparisons(texts, CompactStr, CompactText, true), 0);
}

TEST(CollationKey, NeighboursThatFormAContractionAreReadTogether) {
    // The collation reads "L·" (a prefix mapping) and a letter with a
    // combining mark together; the keys must not read them one by one.
    // Every text of up to three of these pieces against every other.
    const char* const pieces[] = {"L", "l", "\xC2\xB7", "a", "\xC3\xA1", "\xCC\x81", "z", "-"};
    std::vector<std::string> texts{""};
    for (std::size_t from = 0, to = texts.size(), round = 0; round < 3; ++round, from = to, to = texts.size())
        for (std::size_t i = from; i < to; ++i)
            for (const char* p : pieces) texts.push_back(texts[i] + p);
    EXPECT_GE(CheckKeysAgainstComparisons(texts, AnsiCollationKeyStr, AnsiCollationKeyText, true), 0);
    EXPECT_GE(CheckKeysAgainstComparisons(texts, CompactStr, CompactText, true), 0);
}

// The keys cut after their primary weights begin the whole keys, so that
// they order as the comparison wherever they differ; texts that differ only
// in accents or case tie on them.
TEST(CollationKey, PrimaryCutsBeginTheWholeKeysAndTieOnLettersAlone) {
    using Cut = void (*)(std::string&, std::string_view);
    const std::pair<Cut, KeyFunction> kinds[] = {{AppendAnsiCompactCollationPrimaryStr, CompactStr},
                                                 {AppendAnsiCompactCollationPrimaryText, CompactText}};
    for (const auto& texts : {RandomTexts(3000, 31), WideTexts(3000, 32)})
        for (const auto& [cut, whole] : kinds)
            for (const std::string& text : texts) {
                std::string key = "before";
                cut(key, text);
                ASSERT_EQ(whole(text).compare(0, key.size() - 6, key, 6), 0) << "'" << text << "'";
            }
    for (const auto& [cut, whole] : kinds) {
        std::string a, b;
        cut(a, "Conceição");
        cut(b, "CONCEICAO");
        EXPECT_EQ(a, b);
        EXPECT_NE(whole("Conceição"), whole("CONCEICAO"));
    }
}

// The list's sort against a stable sort that runs the comparison itself:
// the same order, and lines the comparison calls equal keep their order.
TEST(CollationKey, StringListSortsAsTheComparisonWithTiesInPlace) {
    const auto texts = WideTexts(3000, 99);
    for (bool caseSensitive : {false, true}) {
        TStringList list;
        list.SetCaseSensitive(caseSensitive);
        std::vector<std::pair<std::string, int>> expected;
        for (int i = 0; i < static_cast<int>(texts.size()); ++i) {
            list.AddObject(texts[static_cast<std::size_t>(i)], reinterpret_cast<TObject*>(static_cast<std::intptr_t>(i + 1)));
            expected.emplace_back(texts[static_cast<std::size_t>(i)], i + 1);
        }
        std::stable_sort(expected.begin(), expected.end(), [caseSensitive](const auto& a, const auto& b) {
            return (caseSensitive ? AnsiCompareStr(a.first, b.first) : AnsiCompareText(a.first, b.first)) < 0;
        });
        int changes = 0;
        list.OnChange = [&changes](TObject*) { ++changes; };
        list.Sort();
        EXPECT_EQ(changes, 1);
        ASSERT_EQ(list.Count(), static_cast<int>(expected.size()));
        for (int i = 0; i < list.Count(); ++i) {
            ASSERT_EQ(list.Get(i), expected[static_cast<std::size_t>(i)].first) << "line " << i;
            ASSERT_EQ(reinterpret_cast<std::intptr_t>(list.Objects(i)), expected[static_cast<std::size_t>(i)].second)
                << "line " << i << " '" << list.Get(i) << "'";
        }
        // A sorted list finds what it holds through the same order.
        list.SetSorted(true);
        for (int i = 0; i < list.Count(); i += 97) {
            int index = -1;
            EXPECT_TRUE(list.Find(list.Get(i), index));
            EXPECT_EQ(list.CompareStrings(list.Get(index), list.Get(i)), 0);
        }
    }
}

// A descendant with a comparison of its own is sorted by it.
TEST(CollationKey, DescendantComparisonIsHonoured) {
    struct ByLength : TStringList {
        int CompareStrings(const std::string& a, const std::string& b) const override {
            return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
        }
    };
    ByLength list;
    for (const char* s : {"ccc", "a", "bb", "zz", "b"}) list.Add(s);
    list.Sort();
    EXPECT_EQ(list.CommaText(), "a,b,bb,zz,ccc");
}

}  // namespace
