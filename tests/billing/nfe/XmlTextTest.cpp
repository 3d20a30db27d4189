#include <gtest/gtest.h>

#include <string>

#include "billing/nfe/XmlText.h"
#include "platform/rtl/Strings.h"

using namespace billing::nfe;

TEST(FreeText, UpperCaseWithoutAccentsEscapedOnce) {
    EXPECT_EQ(WXML("  Pão & Cia  "), "PAO &amp; CIA");
    EXPECT_EQ(WXML("a<b"), "A&lt;B");
    EXPECT_EQ(WXML("x > \"y\" 'z'"), "X &gt; &quot;Y&quot; &#39;Z&#39;");
    EXPECT_EQ(WXML("&lt;"), "&amp;LT;");  // the user's text, not an entity
    EXPECT_EQ(WXML("Ação, coração, ÉPOCA, Über"), "ACAO, CORACAO, EPOCA, UBER");
}

// An ordinal sign is a letter of its text, in that text's case: free text is
// all capitals, a stored value follows its word, or most of the text.
TEST(FreeText, OrdinalsFollowTheCaseOfTheirText) {
    EXPECT_EQ(WXML("Rua 1º de Maio, 2ª travessa"), "RUA 1O DE MAIO, 2A TRAVESSA");
    EXPECT_EQ(WXML("nº 5"), "NO 5");
    EXPECT_EQ(WXML("Art. 2°"), "ART. 2O");
    EXPECT_EQ(XmlValue("s/nº"), "s/no");
    EXPECT_EQ(XmlValue("S/Nº"), "S/NO");
    EXPECT_EQ(XmlValue("Rua 1º de Maio"), "Rua 1o de Maio");
    EXPECT_EQ(XmlValue("RUA 1º DE MAIO, 2ª"), "RUA 1O DE MAIO, 2A");
    EXPECT_EQ(XmlValue("1º"), "1O");
}

TEST(FreeText, BlankGivesEmpty) {
    EXPECT_EQ(WXML(""), "");
    EXPECT_EQ(WXML("   \t \r\n "), "");
}

TEST(FreeText, CutToMaximumAndNeverEndsOnBlank) {
    std::string longText(300, 'a');
    EXPECT_EQ(WXML(longText), std::string(255, 'A'));
    EXPECT_EQ(WXML(std::string(254, 'b') + "&" + std::string(10, 'c')),
              std::string(254, 'B') + "&amp;");
    // The cut falls on a blank: the layout refuses a trailing blank.
    EXPECT_EQ(WXML(std::string(254, 'd') + " eeee"), std::string(254, 'D'));
    EXPECT_EQ(WXML("abc def", 4), "ABC");
    EXPECT_EQ(Length(NormalizeFreeText(std::string(400, 'x'), 5000)), 400);
}

TEST(FreeText, LineBreaksAndRunsOfBlanksBecomeOneBlank) {
    EXPECT_EQ(WXML("linha 1\r\nlinha 2\tfim"), "LINHA 1 LINHA 2 FIM");
    EXPECT_EQ(WXML("a \r\n\r\n   b\xC2\xA0\xC2\xA0" "c\xE3\x80\x80" "d"), "A B C D");  // no-break and wide blanks too
    EXPECT_EQ(XmlValue("Casa\r\n\r\n2   fundos"), "Casa 2 fundos");
}

// Nothing typed is lost: letters beyond the layout's range are written in
// their plain Latin form, as ICU's Latin-ASCII transliteration gives it.
TEST(FreeText, LettersOutsideTheLayoutAreTransliterated) {
    EXPECT_EQ(WXML("Œuvre"), "OEUVRE");
    EXPECT_EQ(WXML("5 µm"), "5 UM");
    EXPECT_EQ(WXML("Straße Ærø Þór"), "STRASSE AERO THOR");
    EXPECT_EQ(WXML("Łódź"), "LODZ");
    EXPECT_EQ(WXML("Привет"), "PRIVET");
    EXPECT_EQ(WXML("“aspas” ‘simples’ – traço… 10€ ™"), "&quot;ASPAS&quot; &#39;SIMPLES&#39; - TRACO... 10EUR TM");
    // Symbols the layout accepts stay as they are.
    EXPECT_EQ(WXML("§ 2 ± 3"), "§ 2 ± 3");
    // A stored value keeps what the layout accepts (µ, accents) and case.
    EXPECT_EQ(XmlValue("Œuvre µ Ação"), "OEuvre µ Ação");
}

TEST(FreeText, CharactersWithoutAPlainFormAreRemoved) {
    EXPECT_EQ(WXML("caf\xC3\xA9 \xF0\x9F\x98\x80 ok"), "CAFE OK");  // an emoji goes
    EXPECT_EQ(WXML("\x01\x02zero\x7F"), "ZERO");
    // Bytes of an unconverted code page 1252 source are read as 1252 characters.
    EXPECT_EQ(WXML("p\xE3o"), "PAO");
    std::string out = WXML("Łódź ǅ Ω \xE2\x82\xAC");
    EXPECT_TRUE(utf8::IsValid(out));
    for (std::size_t pos = 0; pos < out.size();) EXPECT_LE(utf8::Next(out, pos), 0x7Eu);
}

// A text of which nothing is left is not a blank one: the writer tells the
// two apart.
TEST(FreeText, BlankAndEmptiedAreTold) {
    EXPECT_EQ(WXML("\xF0\x9F\x98\x80"), "");
    EXPECT_FALSE(IsBlankText("\xF0\x9F\x98\x80"));
    EXPECT_TRUE(IsBlankText(" \r\n\t\xC2\xA0"));
    EXPECT_TRUE(IsBlankText(""));
}

TEST(StoredValue, EscapedAndMappedWithoutCaseChange) {
    EXPECT_EQ(XmlValue(" s/nº & <b> "), "s/no &amp; &lt;b&gt;");
}

TEST(Unescape, ReversesEscapeAndReadsReferences) {
    std::string text = "a & b < c > \"d\" 'e'";
    EXPECT_EQ(UnescapeXml(EscapeXml(text)), text);
    EXPECT_EQ(UnescapeXml("Autoriza&#231;&#xE3;o &apos;ok&apos; &bogus; &"), "Autorização 'ok' &bogus; &");
}

TEST(Amounts, FixedDecimalsWithPoint) {
    EXPECT_EQ(ValorXML(2, 1234.5), "1234.50");
    EXPECT_EQ(ValorXML(3, 12), "12.000");
    EXPECT_EQ(ValorXML(4, 0), "0.0000");
    EXPECT_EQ(ValorXML(2, -7.125), "-7.13");
    EXPECT_EQ(ValorXML(2, 1234567.891), "1234567.89");
    EXPECT_EQ(ValorXML(2, 2.675), "2.68");
    EXPECT_EQ(ValorXML(2, -0.001), "0.00");
    EXPECT_EQ(ValorXML(2, 12345678901.25), "12345678901.25");
}

TEST(Dates, YearMonthDay) {
    EXPECT_EQ(DataXML(EncodeDate(2009, 3, 5)), "2009-03-05");
    EXPECT_EQ(DataXML(EncodeDateTime(2010, 12, 31, 23, 59, 59, 0)), "2010-12-31");
}

TEST(Codes, ZeroFilledNumbersAreTheProgramsOneRoutineSafeOnTheMostNegative) {
    // Keys, series and dates of the NF-e files are filled by the same routine
    // as every other code; its magnitude of the most negative value is exact.
    EXPECT_EQ(IntToStrZero(35, 2) + IntToStrZero(1, 3) + IntToStrZero(123, 9), "35001000000123");
    EXPECT_EQ(IntToStrZero(-9223372036854775807LL - 1, 3), "-9223372036854775808");
}
