// Edit masks read once for the whole program: the layout FormatMaskText
// prints, and what the parser tells the masked edits. (The designer's eight
// masks are also checked against another runtime in the report tests.)
#include <gtest/gtest.h>

#include "platform/rtl/Format.h"
#include "platform/rtl/MaskUtils.h"

namespace {

TEST(FormatMaskText, ValuesWithoutLiteralsFillThePlacesFromTheLeftOrAfterBangFromTheRight) {
    struct Case {
        const char* mask;
        const char* value;
        const char* shown;
    };
    for (const Case& c : {Case{"00000\\-000;0; ", "01310100", "01310-100"},
                          Case{"00000\\-000;0; ", "0131", "0131 -   "},      // short: blanks at the end
                          Case{"00000\\-000;0; ", "0131010099", "01310-100"},  // long: the end is lost
                          Case{"!00000\\-000;0; ", "0131", "    0-131"},     // "!": against the right
                          Case{"!99999;0; ", "1234567", "34567"},            // ...losing the start
                          Case{"(##) ####-####;0; ", "1134567890", "(11) 3456-7890"},
                          Case{"000;0;*", "", "   "}}) {                     // nothing typed: all blank
        EXPECT_EQ(FormatMaskText(c.mask, c.value), c.shown) << c.mask << " / " << c.value;
    }
}

TEST(FormatMaskText, ValuesWithLiteralsAreReadFromTheLeftMatchingTheLiterals) {
    EXPECT_EQ(FormatMaskText("00000\\-000;1;_", "01310-100"), "01310-100");
    EXPECT_EQ(FormatMaskText("!99/99/00;1; ", "31/12/99"), "31/12/99");
    // A value that lacks the literals still fills the places in order.
    EXPECT_EQ(FormatMaskText("\\(999\\)\\ 000\\-0000;1; ", "5551234567"), "(555) 123-4567");
    EXPECT_EQ(FormatMaskText("90:00", "12:34"), "12:34") << "no second field: literals are saved";
}

TEST(FormatMaskText, CaseDirectivesConvertTheLettersThatFollow) {
    EXPECT_EQ(FormatMaskText(">LL<ll;0; ", "abCD"), "ABcd");
    EXPECT_EQ(FormatMaskText(">LL<>ll;0; ", "abCD"), "ABCD") << "\"<>\" stops converting";
    EXPECT_EQ(FormatMaskText(">LLL;0; ", "açã"), "AÇÃ") << "accented letters too";
    EXPECT_EQ(FormatMaskText(">L;0; ", "ß"), "ß") << "a letter whose capital is two keeps its place";
}

TEST(FormatMaskText, CountsCharactersAndTakesSeparatorsFromTheSettings) {
    EXPECT_EQ(FormatMaskText("ccc-ccc;0; ", "ação€x"), "açã-o€x");
    TFormatSettings us;
    us.DateSeparator = '-';
    us.TimeSeparator = '.';
    EXPECT_EQ(FormatMaskText("99/99 90:00;0; ", "31121230", us), "31-12 12.30");
    EXPECT_EQ(FormatMaskText("00_00;0;*", "1234"), "12 34") << "\"_\" is a blank of the layout";
    EXPECT_EQ(FormatMaskText("\\L\\0L0;0; ", "a1"), "L0a1") << "escaped mask characters are literals";
    EXPECT_EQ(FormatMaskText("LL\\", "abc"), "ab") << "a lone \"\\\" at the end is dropped";
}

TEST(FormatMaskText, AMaskWithoutPlacesLeavesTheValueAlone) {
    EXPECT_EQ(FormatMaskText("", "texto"), "texto");
    EXPECT_EQ(FormatMaskText(";0;_", "texto"), "texto");
    EXPECT_EQ(FormatMaskText("!<>", "texto"), "texto");
}

TEST(ParseEditMask, ReadsTheThreeFieldsAndThePlaces) {
    const maskutils::ParsedMask m = maskutils::ParseEditMask(">LL\\;0;0;*");
    EXPECT_FALSE(m.saveLiterals);
    EXPECT_EQ(m.blank, U'*');
    ASSERT_EQ(m.places.size(), 4u);
    EXPECT_TRUE(m.places[0].caseMark);
    EXPECT_EQ(m.places[0].charCase, maskutils::CharCase::Upper);
    EXPECT_TRUE(m.places[0].required);
    EXPECT_TRUE(m.places[2].literal) << "an escaped \";\" is a literal, not a field end";
    EXPECT_EQ(m.places[2].ch, U';');
    EXPECT_EQ(m.places[3].kind, '0');
    EXPECT_EQ(m.InputCount(), 3);

    const maskutils::ParsedMask d = maskutils::ParseEditMask("9a#");
    EXPECT_TRUE(d.saveLiterals);
    EXPECT_EQ(d.blank, U'_');
    for (const auto& p : d.places) EXPECT_FALSE(p.required) << p.kind;
    EXPECT_EQ(maskutils::ParseEditMask("0;1;ã").blank, U'ã');
}

}  // namespace
