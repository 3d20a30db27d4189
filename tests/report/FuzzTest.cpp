// 100,000 random inputs each to the readers of untrusted text: page lists a
// user types, language modules found on disk, version texts from a
// download, and edit masks with their values. Each must end, without a
// crash or a leak (the sanitizer build watches), in a result that keeps the
// reader's promises.
#include <gtest/gtest.h>

#include <random>

#include "platform/rtl/MaskUtils.h"
#include "platform/rtl/Strings.h"
#include "report/rpLanguage.h"
#include "report/rpUtils.h"

namespace {

constexpr int kRounds = 100000;

std::string Pick(std::mt19937& random, const std::vector<std::string>& pieces, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += pieces[random() % pieces.size()];
    return out;
}

TEST(Fuzz, PageListsStaySortedBoundedAndUnique) {
    std::mt19937 random(1);
    // Numbers never run into each other (that would make them huge and every
    // range a capped one); the cap has its own test.
    const std::vector<std::string> numbers = {"1", "2", "7", "12", "99", "0", "150", "00"};
    const std::vector<std::string> separators = {"-", "-", ",", " ", ";", "a", "é", "--", ""};
    TStringList list;
    for (int round = 0; round < kRounds; ++round) {
        std::string text;
        for (int k = static_cast<int>(random() % 8); k > 0; --k)
            text += numbers[random() % numbers.size()] + separators[random() % (separators.size() - 1)];
        text += separators[random() % separators.size()];
        if (round % 9973 == 0) text += "-" + std::to_string(random() % 1000000000);
        rpTextToPageList(text, &list, true);
        long long previous = -1;
        for (int i = 0; i < list.Count(); ++i) {
            const long long page = std::stoll(list[i]);
            ASSERT_GT(page, previous) << text;
            ASSERT_LE(page, 99999999) << text;
            previous = page;
        }
        ASSERT_LE(list.Count(), 9 * 100002) << text;
    }
}

TEST(Fuzz, LanguageModulesGiveNumberedValidTexts) {
    std::mt19937 random(2);
    const std::vector<std::string> pieces = {"1", "23", "=", "\n", "\r\n", " ", "texto", "\xEF\xBB\xBF", "\xC3",
                                             "\xA7", "\xFF", std::string(1, '\0'), "é", "#", "4294967296"};
    for (int round = 0; round < kRounds; ++round) {
        std::string bytes = Pick(random, pieces, static_cast<int>(random() % 16));
        if (round % 1000 == 0) bytes += "9=" + std::string(random() % 3000, 'x');
        for (const auto& [n, text] : report::ParseLanguageModule(bytes)) {
            ASSERT_GE(n, 0);
            ASSERT_FALSE(text.empty());
            ASSERT_TRUE(utf8::IsValid(text));
            ASSERT_LE(utf8::CharCount(text), 1023u);
        }
    }
}

TEST(Fuzz, VersionTextsGiveNumbersInRange) {
    std::mt19937 random(3);
    const std::vector<std::string> pieces = {"0", "1", "9", ".", ".", "99999", "a", " ", "-", "é"};
    for (int round = 0; round < kRounds; ++round) {
        const std::string text = Pick(random, pieces, static_cast<int>(random() % 10));
        const int32_t v = rpVersionToInteger(text);
        ASSERT_GE(v, 0) << text;
    }
}

TEST(Fuzz, MaskLayoutsHaveOneCharacterPerPlace) {
    std::mt19937 random(4);
    const std::vector<std::string> maskPieces = {"0", "9", "#", "L", "l", "A", "a", "C", "c", ">", "<", "<>",
                                                 "!", "\\", "/", ":", "_", "-", "(", ";", ";0", ";1", "ç", " "};
    const std::vector<std::string> valuePieces = {"1", "a", "Z", "ç", "€", " ", "-", "(", "ß", "\xFF"};
    for (int round = 0; round < kRounds; ++round) {
        const std::string mask = Pick(random, maskPieces, static_cast<int>(random() % 10));
        const std::string value = Pick(random, valuePieces, static_cast<int>(random() % 12));
        const std::string shown = FormatMaskText(mask, value);
        const maskutils::ParsedMask parsed = maskutils::ParseEditMask(mask);
        if (parsed.Empty())
            ASSERT_EQ(shown, value) << mask;
        else
            ASSERT_EQ(utf8::CharCount(shown), parsed.places.size()) << mask << " / " << value;
    }
}

}  // namespace
