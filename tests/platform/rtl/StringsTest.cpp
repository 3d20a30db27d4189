#include "platform/rtl/Strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/rtl/SysUtils.h"
#include "tests/support/TestSupport.h"

namespace {

// ---------------------------------------------------------------------------
// Code page 1252

TEST(Cp1252, EveryDefinedByteMatchesTheReferenceTableBothWays) {
    std::ifstream in(testsupport::DataPath("rtl/cp1252.txt"));
    ASSERT_TRUE(in.good());
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        unsigned byte = 0, cp = 0;
        fields >> std::hex >> byte >> cp;
        const std::string one(1, static_cast<char>(byte));
        const std::string expected = utf8::Encode(static_cast<char32_t>(cp));
        EXPECT_EQ(Cp1252ToUtf8(one), expected) << "byte " << byte;
        EXPECT_EQ(Utf8ToCp1252(expected), one) << "byte " << byte;
        ++checked;
    }
    EXPECT_EQ(checked, 251);
}

TEST(Cp1252, AllBytesSurviveARoundTripIncludingTheUndefinedOnes) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::string text = Cp1252ToUtf8(all);
    EXPECT_TRUE(utf8::IsValid(text));
    EXPECT_EQ(Length(text), 256);
    EXPECT_EQ(Utf8ToCp1252(text), all);
}

TEST(Cp1252, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToCp1252("ação € ő 日本 😀"), "a\xE7\xE3o \x80 ? ?? ?");
    // C1 controls that 1252 uses for printable characters have no byte of their own.
    EXPECT_EQ(Utf8ToCp1252("\xC2\x80"), "?");
}

TEST(Cp1252, MalformedUtf8IsReadAsCp1252AndNeverCrashes) {
    // A stray 1252 "é" inside UTF-8 text, a truncated sequence at the end, an
    // encoded surrogate and an overlong slash.
    const std::string bad = "caf\xE9 x\xC3";
    EXPECT_EQ(Utf8ToCp1252(bad), "caf\xE9 x\xC3");
    EXPECT_EQ(utf8::Repair(bad), "café xÃ");
    EXPECT_FALSE(utf8::IsValid(bad));
    EXPECT_EQ(Length(bad), 7);
    EXPECT_EQ(Length("\xED\xA0\x80"), 3);
    EXPECT_EQ(Length("\xC0\xAF"), 2);
    EXPECT_EQ(utf8::Repair("\xF4\x90\x80\x80"), "ô\xC2\x90€€");
    EXPECT_EQ(AnsiUpperCase(bad), "CAFÉ XÃ");
    for (int b = 0x80; b < 0x100; ++b) {
        const std::string s(1, static_cast<char>(b));
        EXPECT_EQ(Length(s), 1);
        EXPECT_EQ(Copy(s, 1, 5), s);
        EXPECT_TRUE(utf8::IsValid(utf8::Repair(s)));
    }
}

// ---------------------------------------------------------------------------
// Counting characters

TEST(CharacterCounting, LengthCountsCharactersNotBytes) {
    EXPECT_EQ(Length(""), 0);
    EXPECT_EQ(Length("ação"), 4);
    EXPECT_EQ(Length("R$ 1.000,00 €"), 13);
    EXPECT_EQ(Length("😀a"), 2);
}

TEST(CharacterCounting, CopyIsOneBasedAndNeverSplitsACharacter) {
    const std::string s = "Ação já";
    EXPECT_EQ(Copy(s, 1, 2), "Aç");
    EXPECT_EQ(Copy(s, 2, 3), "ção");
    EXPECT_EQ(Copy(s, 6, 99), "já");
    EXPECT_EQ(Copy(s, 7), "á");
    EXPECT_EQ(Copy(s, 8, 1), "");
    EXPECT_EQ(Copy(s, 0, 2), "Aç");  // index below 1 counts from 1
    EXPECT_EQ(Copy(s, -3, 1), "A");
    EXPECT_EQ(Copy(s, 2, 0), "");
    EXPECT_EQ(Copy(s, 2, -1), "");
    for (int i = 1; i <= Length(s); ++i)
        for (int n = 0; n <= Length(s); ++n) EXPECT_TRUE(utf8::IsValid(Copy(s, i, n)));
}

TEST(CharacterCounting, PosCountsCharacters) {
    EXPECT_EQ(Pos("ção", "Ação"), 2);
    EXPECT_EQ(Pos("x", "Ação"), 0);
    EXPECT_EQ(Pos("", "abc"), 0);
    EXPECT_EQ(PosEx("a", "ábaca", 1), 3);
    EXPECT_EQ(PosEx("a", "ábaca", 4), 5);
    EXPECT_EQ(PosEx("a", "ábaca", 6), 0);
    EXPECT_EQ(PosEx("a", "ábaca", 0), 0);
    // A stray lead byte must not match the first half of "é".
    EXPECT_EQ(Pos("\xC3", "é\xC3"), 2);
    EXPECT_EQ(Pos("\xA9", "é"), 0);
}

TEST(CharacterCounting, DeleteAndInsertWorkOnCharacters) {
    std::string s = "coração";
    Delete(s, 5, 2);
    EXPECT_EQ(s, "corao");
    Delete(s, 0, 3);
    EXPECT_EQ(s, "corao");
    Delete(s, 5, 10);
    EXPECT_EQ(s, "cora");
    Delete(s, 9, 1);
    EXPECT_EQ(s, "cora");
    Insert("çã", s, 5);
    EXPECT_EQ(s, "coraçã");
    Insert("!", s, 100);
    EXPECT_EQ(s, "coraçã!");
    Insert(">", s, 0);
    EXPECT_EQ(s, ">coraçã!");
    Insert("ó", s, 7);
    EXPECT_EQ(s, ">coraçóã!");
}

TEST(CharacterCounting, PaddingCountsCharacters) {
    EXPECT_EQ(PadRight("João", 6), "João  ");
    EXPECT_EQ(PadLeft("42", 5, '0'), "00042");
    EXPECT_EQ(PadRight("Conceição", 3), "Conceição");  // never cuts
    EXPECT_EQ(FitRight("Conceição", 8), "Conceiçã");
    EXPECT_EQ(FitRight("Sé", 4, '.'), "Sé..");
    EXPECT_EQ(FitLeft("Sé", 4), "  Sé");
    EXPECT_EQ(FitRight("abc", 0), "");
    EXPECT_EQ(Length(FitRight("ãããããã", 4)), 4);
    EXPECT_EQ(StringOfChar('-', 3), "---");
    EXPECT_EQ(StringOfChar('-', -1), "");
    EXPECT_EQ(StringOfChar("═", 3), "═══");
}

TEST(Trimming, RemovesSpacesAndControlCharactersOnly) {
    EXPECT_EQ(Trim("\t ação \r\n"), "ação");
    EXPECT_EQ(TrimLeft("  a b  "), "a b  ");
    EXPECT_EQ(TrimRight("  a b  "), "  a b");
    EXPECT_EQ(Trim("   "), "");
    // The no-break space is a character, not a blank.
    EXPECT_EQ(Trim("\xC2\xA0x"), "\xC2\xA0x");
}

// ---------------------------------------------------------------------------
// Case and comparison

TEST(Case, PlainCaseChangesAsciiOnly) {
    EXPECT_EQ(UpperCase("ação x"), "AçãO X");
    EXPECT_EQ(LowerCase("AÇÃO X"), "aÇÃo x");
}

TEST(Case, AnsiCaseHandlesPortugueseLetters) {
    EXPECT_EQ(AnsiUpperCase("áàâãä éê í óôõ úü ç"), "ÁÀÂÃÄ ÉÊ Í ÓÔÕ ÚÜ Ç");
    EXPECT_EQ(AnsiLowerCase("ÁÀÂÃÄ ÉÊ Í ÓÔÕ ÚÜ Ç"), "áàâãä éê í óôõ úü ç");
    EXPECT_EQ(AnsiUpperCase("São Paulo"), "SÃO PAULO");
    EXPECT_EQ(AnsiLowerCase("ABC"), "abc");
}

TEST(Comparison, PlainComparisonsUseBytesAndAsciiCase) {
    EXPECT_LT(CompareStr("a", "b"), 0);
    EXPECT_GT(CompareStr("b", "B"), 0);
    EXPECT_EQ(CompareStr("x", "x"), 0);
    EXPECT_EQ(CompareText("abc", "ABC"), 0);
    EXPECT_LT(CompareText("abc", "ABD"), 0);
    EXPECT_LT(CompareText("a", "ab"), 0);
    EXPECT_TRUE(SameText("Nota", "NOTA"));
    EXPECT_FALSE(SameText("ação", "AÇÃO"));  // ASCII rules only
    EXPECT_FALSE(SameText("a", "ab"));
}

// Plain ASCII names are compared without the collator: the answer must be
// the collator's, which this table checks case by case.
TEST(Comparison, SameTextOfPlainNamesAgreesWithTheCollation) {
    const std::pair<const char*, const char*> cases[] = {
        {"Valor_ICMS", "valor_icms"}, {"Id_Nota", "Id_Nota "}, {"a-b", "ab"}, {"A.B", "a.b"},
        {"x1", "X1"},                 {"", ""},               {"[Nome]", "[nome]"}, {"a b", "ab"},
    };
    for (const auto& [a, b] : cases) EXPECT_EQ(AnsiSameText(a, b), AnsiCompareText(a, b) == 0) << a << " / " << b;
}

TEST(Comparison, LocaleComparisonFollowsPortugueseCollation) {
    EXPECT_LT(AnsiCompareStr("a", "á"), 0);
    EXPECT_LT(AnsiCompareStr("á", "b"), 0);
    EXPECT_LT(AnsiCompareStr("ação", "acaz"), 0);  // byte order would put it last
    EXPECT_LT(AnsiCompareText("Érico", "Fabio"), 0);
    EXPECT_EQ(AnsiCompareText("AÇÃO", "ação"), 0);
    EXPECT_TRUE(AnsiSameText("AÇÃO", "ação"));
    EXPECT_FALSE(AnsiSameText("ação", "acao"));
    EXPECT_NE(AnsiCompareStr("AÇÃO", "ação"), 0);
    EXPECT_FALSE(AnsiSameStr("AÇÃO", "ação"));
    EXPECT_TRUE(AnsiSameStr("ação", "ação"));

    std::vector<std::string> names = {"Zé", "ábaco", "Abel", "abel", "Açores", "acude", "b", "Álvaro"};
    std::sort(names.begin(), names.end(),
              [](const std::string& x, const std::string& y) { return AnsiCompareText(x, y) < 0; });
    EXPECT_EQ(names.front(), "ábaco");
    EXPECT_EQ(names.back(), "Zé");
    const auto at = [&](const std::string& n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
    EXPECT_LT(at("Abel"), at("Açores"));
    EXPECT_LT(at("Açores"), at("acude"));
    EXPECT_LT(at("acude"), at("Álvaro"));
    EXPECT_LT(at("Álvaro"), at("b"));
}

TEST(Comparison, LocaleComparisonIsATotalOrderOnDistinctStrings) {
    // Canonically equivalent spellings (precomposed and combining accent)
    // collate alike but are different strings.
    const std::string composed = "\xC3\xA1";
    const std::string combining = "a\xCC\x81";
    EXPECT_NE(AnsiCompareStr(composed, combining), 0);
    EXPECT_EQ(AnsiCompareStr(composed, combining), -AnsiCompareStr(combining, composed));
}

TEST(Comparison, LocaleComparisonWorksFromManyThreads) {
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i)
                if (AnsiCompareText("ÁGUA", "água") != 0 || AnsiCompareStr("a", "b") >= 0) ++wrong;
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(Accents, RemoveAccentsKeepsTheBaseLetters) {
    EXPECT_EQ(RemoveAccents("Ação É ótima, Conceição, pinguim: agüentar"),
              "Acao E otima, Conceicao, pinguim: aguentar");
    EXPECT_EQ(RemoveAccents("ÁÀÂÃÄ ÉÊ Í ÓÔÕ ÚÜ Ç ñ"), "AAAAA EE I OOO UU C n");
    EXPECT_EQ(RemoveAccents("plain 123"), "plain 123");
    EXPECT_EQ(RemoveAccents("a\xCC\x81"), "a");
    EXPECT_EQ(RemoveAccents("S\xE3o"), "Sao");  // stray 1252 byte
}

// ---------------------------------------------------------------------------
// Numbers

TEST(Integers, IntToStrZeroFillsWithZerosAndNeverCuts) {
    EXPECT_EQ(IntToStrZero(123, 7), "0000123");
    EXPECT_EQ(IntToStrZero(0, 3), "000");
    EXPECT_EQ(IntToStrZero(0, 0), "0");
    EXPECT_EQ(IntToStrZero(7, -1), "7");
    EXPECT_EQ(IntToStrZero(1234567, 5), "1234567");
    EXPECT_EQ(IntToStrZero(-42, 5), "-0042");
    EXPECT_EQ(IntToStrZero(-42, 2), "-42");
    EXPECT_EQ(IntToStrZero(9223372036854775807LL, 20), "09223372036854775807");
    EXPECT_EQ(IntToStrZero(-9223372036854775807LL - 1, 3), "-9223372036854775808");
    EXPECT_EQ(IntToStrZero(-9223372036854775807LL - 1, 21), "-09223372036854775808");
}

TEST(Integers, IntToStrAndIntToHex) {
    EXPECT_EQ(IntToStr(0), "0");
    EXPECT_EQ(IntToStr(-42), "-42");
    EXPECT_EQ(IntToStr(int64_t{-9223372036854775807} - 1), "-9223372036854775808");
    EXPECT_EQ(IntToStr(std::size_t{18446744073709551615u}), "18446744073709551615");
    EXPECT_EQ(IntToHex(255, 1), "FF");
    EXPECT_EQ(IntToHex(255, 6), "0000FF");
    EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
    EXPECT_EQ(IntToHex(int64_t{-1}, 2), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(IntToHex(0, 0), "0");
}

TEST(Integers, StrToIntAcceptsTheLibrarySpellings) {
    EXPECT_EQ(StrToInt("123"), 123);
    EXPECT_EQ(StrToInt(" \t12"), 12);
    EXPECT_EQ(StrToInt("+5"), 5);
    EXPECT_EQ(StrToInt("-0"), 0);
    EXPECT_EQ(StrToInt("$1F"), 31);
    EXPECT_EQ(StrToInt("0x1f"), 31);
    EXPECT_EQ(StrToInt("-$10"), -16);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(StrToInt64("-9223372036854775808"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
}

TEST(Integers, StrToIntRejectsBadTextAndOverflow) {
    for (const char* bad : {"", "12 ", "1e3", "$-10", "- 5", "0x", "abc", "1.0", "2147483648",
                            "-2147483649", "$100000000", "99999999999999999999"}) {
        int v = 7;
        EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
        EXPECT_EQ(v, 7);
        EXPECT_EQ(StrToIntDef(bad, -1), -1) << bad;
    }
    try {
        StrToInt("12a");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'12a' is not a valid integer value");
    }
    EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
    EXPECT_EQ(StrToInt64Def("x", 9), 9);
}

// ---------------------------------------------------------------------------
// Quoting, replacing, delimiters

TEST(Quoting, QuoteAndDequote) {
    EXPECT_EQ(QuotedStr("it's"), "'it''s'");
    EXPECT_EQ(QuotedStr(""), "''");
    EXPECT_EQ(AnsiQuotedStr("say \"hi\"", '"'), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(AnsiDequotedStr("'ab''c'", '\''), "ab'c");
    EXPECT_EQ(AnsiDequotedStr("abc", '\''), "abc");
    EXPECT_EQ(AnsiDequotedStr("'abc", '\''), "abc");
    EXPECT_EQ(AnsiDequotedStr("'ab'c'", '\''), "ab");
    EXPECT_EQ(AnsiDequotedStr("'", '\''), "");
    EXPECT_EQ(AnsiDequotedStr(QuotedStr("São 'x'"), '\''), "São 'x'");
}

TEST(Replacing, FlagsSelectAllAndCase) {
    EXPECT_EQ(StringReplace("aaa", "a", "b"), "baa");
    EXPECT_EQ(StringReplace("aAa", "a", "b", rfReplaceAll), "bAb");
    EXPECT_EQ(StringReplace("aAa", "a", "b", {rfReplaceAll, rfIgnoreCase}), "bbb");
    EXPECT_EQ(StringReplace("abc", "", "x", rfReplaceAll), "abc");
    EXPECT_EQ(StringReplace("aaaa", "aa", "a", rfReplaceAll), "aa");  // no rescanning
    EXPECT_EQ(StringReplace("1.234,56", ".", "", rfReplaceAll), "1234,56");
}

TEST(Replacing, IgnoringCaseFoldsAccentedLettersAndKeepsTheRest) {
    EXPECT_EQ(StringReplace("AÇÃO e ação", "ação", "X", {rfReplaceAll, rfIgnoreCase}), "X e X");
    EXPECT_EQ(StringReplace("Ébano É", "é", "e", {rfIgnoreCase}), "ebano É");
    EXPECT_EQ(StringReplace("São Paulo", "PAULO", "Vicente", {rfIgnoreCase}), "São Vicente");
    EXPECT_EQ(StringReplace("xé", "\xA9", "!", {rfReplaceAll}), "xé");
}

TEST(Delimiters, CountCharacters) {
    EXPECT_EQ(LastDelimiter(".\\", "a\\b.c"), 4);
    EXPECT_EQ(LastDelimiter(".", "ção.txt"), 4);
    EXPECT_EQ(LastDelimiter("x", "abc"), 0);
    EXPECT_EQ(LastDelimiter("ç", "açaí ç!"), 6);
    EXPECT_TRUE(IsDelimiter(".", "á.b", 2));
    EXPECT_FALSE(IsDelimiter(".", "á.b", 1));
    EXPECT_FALSE(IsDelimiter(".", "á.b", 9));
    EXPECT_FALSE(IsDelimiter(".", "á.b", 0));
}

TEST(FileNames, PosixPaths) {
    EXPECT_EQ(ExtractFileName("/a/b/nota.xml"), "nota.xml");
    EXPECT_EQ(ExtractFileName("/a/b/"), "");
    EXPECT_EQ(ExtractFilePath("/a/b/nota.xml"), "/a/b/");
    EXPECT_EQ(ExtractFilePath("nota.xml"), "");
    EXPECT_EQ(ExtractFileExt("f.tar.gz"), ".gz");
    EXPECT_EQ(ExtractFileExt("a.b/c"), "");
    EXPECT_EQ(ExtractFileExt("/x/.bashrc"), "");
    EXPECT_EQ(ExtractFileExt("f."), ".");
    EXPECT_EQ(ChangeFileExt("/a.b/c", ".x"), "/a.b/c.x");
    EXPECT_EQ(ChangeFileExt("c.txt", ""), "c");
    EXPECT_EQ(ChangeFileExt("/dados/faturamento.exe", ".ini"), "/dados/faturamento.ini");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp"), "/tmp/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/"), "/tmp/");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/tmp/"), "/tmp");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
}

}  // namespace

namespace {

TEST(Booleans, TextAndBack) {
    EXPECT_EQ(BoolToStr(true), "-1");
    EXPECT_EQ(BoolToStr(false), "0");
    EXPECT_EQ(BoolToStr(true, true), "True");
    EXPECT_TRUE(StrToBool("true"));
    EXPECT_FALSE(StrToBool("FALSE"));
    EXPECT_FALSE(StrToBool("0"));
    EXPECT_TRUE(StrToBool("-1"));
    EXPECT_TRUE(StrToBool("0,5"));
    EXPECT_TRUE(StrToBoolDef("yes", true));
    EXPECT_FALSE(StrToBoolDef(" true", false));
    bool v = true;
    EXPECT_FALSE(TryStrToBool("", v));
    try {
        StrToBool("sim");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'sim' is not a valid boolean value");
    }
}

TEST(Pieces, CountCharactersAndFoldAccentedCase) {
    EXPECT_EQ(LeftStr("Ação", 2), "Aç");
    EXPECT_EQ(LeftStr("Ação", 9), "Ação");
    EXPECT_EQ(RightStr("Ação", 2), "ão");
    EXPECT_EQ(RightStr("Ação", 0), "");
    EXPECT_EQ(RightStr("Ação", 9), "Ação");
    EXPECT_EQ(MidStr("Ação já", 3, 3), "ão ");
    EXPECT_EQ(DupeString("ab", 3), "ababab");
    EXPECT_EQ(DupeString("ab", 0), "");
    EXPECT_TRUE(AnsiContainsText("INFORMAÇÃO", "ção"));
    EXPECT_FALSE(AnsiContainsText("informação", "cao"));
    EXPECT_FALSE(AnsiContainsText("abc", ""));
    EXPECT_FALSE(AnsiContainsStr("INFORMAÇÃO", "ção"));
    EXPECT_TRUE(AnsiStartsText("ÁG", "água"));
    EXPECT_TRUE(AnsiStartsText("", "água"));
    EXPECT_FALSE(AnsiStartsText("águas", "água"));
    EXPECT_TRUE(AnsiStartsStr("ág", "água"));
    EXPECT_FALSE(AnsiStartsStr("ÁG", "água"));
    EXPECT_TRUE(AnsiEndsText("-NFE.XML", "3512-nfe.xml"));
    EXPECT_TRUE(AnsiEndsStr("-nfe.xml", "3512-nfe.xml"));
    EXPECT_FALSE(AnsiEndsStr("-NFE.XML", "3512-nfe.xml"));
    EXPECT_TRUE(AnsiEndsText("", "x"));
}

TEST(FileNames, ExtractFileDirKeepsTheRoot) {
    EXPECT_EQ(ExtractFileDir("/a/b/c.txt"), "/a/b");
    EXPECT_EQ(ExtractFileDir("c.txt"), "");
    EXPECT_EQ(ExtractFileDir("/c.txt"), "/");
}

}  // namespace

namespace {

// Random bytes, biased towards UTF-8 lead and continuation bytes so that
// sequences are often almost but not quite well-formed.
std::string RandomBytes(std::mt19937& rng, std::size_t maxLen) {
    static const unsigned char kPool[] = {'a', 'Z', ' ', '.', 0x00, 0x7F, 0x80, 0x81, 0x9F, 0xA9,
                                          0xBF, 0xC0, 0xC2, 0xC3, 0xDF, 0xE0, 0xE2, 0xED, 0xEF,
                                          0xF0, 0xF4, 0xF5, 0xFF};
    std::uniform_int_distribution<std::size_t> len(0, maxLen);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kPool) - 1);
    std::uniform_int_distribution<int> any(0, 255);
    std::string s(len(rng), '\0');
    for (char& c : s) c = static_cast<char>(any(rng) < 200 ? kPool[pick(rng)] : any(rng));
    return s;
}

TEST(MalformedText, EveryRoutineCopesWithArbitraryBytes) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 2000; ++round) {
        const std::string s = RandomBytes(rng, 12);
        const std::string repaired = utf8::Repair(s);
        ASSERT_TRUE(utf8::IsValid(repaired));
        EXPECT_EQ(Length(repaired), Length(s));
        EXPECT_EQ(Utf8ToCp1252(repaired), Utf8ToCp1252(s));
        EXPECT_EQ(Utf8ToCp1252(s).size(), static_cast<std::size_t>(Length(s)));
        // Cutting into characters and joining gives the bytes back.
        std::string joined;
        for (int i = 1; i <= Length(s); ++i) joined += Copy(s, i, 1);
        EXPECT_EQ(joined, s);
        const std::string other = RandomBytes(rng, 4);
        const int at = Pos(other, s);
        if (at > 0) {
            EXPECT_EQ(Copy(s, at, Length(other)), other);
        }
        EXPECT_TRUE(utf8::IsValid(AnsiUpperCase(s)));
        EXPECT_TRUE(utf8::IsValid(RemoveAccents(s)));
        EXPECT_EQ(AnsiCompareText(s, other), -AnsiCompareText(other, s));
        EXPECT_EQ(AnsiCompareStr(s, s), 0);
        StringReplace(s, other, "x", {rfReplaceAll, rfIgnoreCase});
        std::string edited = s;
        Delete(edited, 2, 3);
        Insert(other, edited, 3);
        EXPECT_EQ(Length(FitRight(s, 5)), 5);
    }
}

}  // namespace
