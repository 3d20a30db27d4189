// Plain text layout on the fake canvases. The font is 12 points: at 96 dpi
// an "a" is 8 pixels (2117 thousandths of a millimetre), a blank or an "i" 4
// (1058) and a line 18 pixels (4763); at 600 dpi an "a" is 50 pixels (again
// 2117) and a line 115 pixels (4868). Widths below are counted in "a"s:
// 4 a = 32 px = 8467, "aa bb" = 36 px = 9525, 5 a = 40 px = 10583,
// 10 a = 80 px = 21167 (pixels / 96 / 0.03937 x 1000, rounded).
#include <gtest/gtest.h>

#include <random>

#include "platform/rtl/Strings.h"
#include "report/rpTextLayout.h"
#include "tests/support/FakeCanvas.h"

namespace {

constexpr int kA4 = 8467, kAaBb = 9525, kA5 = 10583, kA10 = 21167, kLine96 = 4763, kLine600 = 4868;
constexpr int kTall = 1000000000;

TFont TwelvePoints() {
    TFont f;
    f.SetName("Sans");
    f.SetSize(12);
    return f;
}

struct Wrap {
    std::unique_ptr<testsupport::TFakeMeasureCanvas> Canvas = testsupport::FakeScreenCanvas();
    TFont Font = TwelvePoints();
    bool CharWrap = false;
    TrpTextAlignment Alignment = taLeftJustified;
    TrpWrapOptions Options;
    TStringList* TabStops = nullptr;
    int32_t StartPos = 0;
    int32_t MaxWidth = -1;

    std::vector<std::string> operator()(const std::string& Text, int Width, int Height = kTall, int Top = 0) {
        TStringList lines;
        Options.Canvas = Canvas.get();
        Options.MaxLineWidth = &MaxWidth;
        TrpPlainText::WrapText(Text, TRect{0, Top, Width, Top + Height}, &lines, StartPos, nullptr, TabStops, 0,
                               CharWrap, &Font, false, Alignment, Options);
        std::vector<std::string> out;
        for (int i = 0; i < lines.Count(); ++i) out.push_back(lines[i]);
        return out;
    }
};

using Lines = std::vector<std::string>;

std::vector<std::string> Tokens(const std::string& Text) {
    TrpPlainTextParser p;
    p.SetText(Text);
    std::vector<std::string> out;
    for (std::string t = p.NextToken(); !t.empty(); t = p.NextToken()) out.push_back(t);
    return out;
}

}  // namespace

TEST(PlainTextParser, SplitsWordsBlanksTabsAndEveryKindOfLineBreak) {
    EXPECT_EQ(Tokens("a  b\r\nc\rd\ne$\xC2\xB6" "f\tg"),
              (Lines{"a", " ", " ", "b", "\r\n", "c", "\r\n", "d", "\r\n", "e", "\r\n", "f", "\t", "g"}));
    // A dollar sign not followed by the pilcrow is an ordinary character;
    // an accented word stays whole.
    EXPECT_EQ(Tokens("$x a\xC3\xA7\xC3\xA3o $"), (Lines{"$x", " ", "a\xC3\xA7\xC3\xA3o", " ", "$"}));
    EXPECT_EQ(Tokens(std::string("ab\0cd", 5)), (Lines{"ab"}));
    EXPECT_TRUE(Tokens("").empty());
}

TEST(PlainTextParser, APositionInsideACharacterMovesToTheNextBoundary) {
    TrpPlainTextParser p;
    p.SetText("\xC3\xA9t\xC3\xA9");  // "été"
    p.SetPosition(1);
    EXPECT_EQ(p.NextToken(), "t\xC3\xA9");
    p.SetPosition(10);
    EXPECT_TRUE(p.Eof());
}

TEST(WrapText, BreaksAtBlanksAndDropsTheBlankAtTheBreak) {
    Wrap w;
    EXPECT_EQ(w("aa bb cc", kAaBb), (Lines{"aa bb", "cc"}));
    EXPECT_EQ(w.StartPos, 8);
    EXPECT_EQ(w.MaxWidth, kAaBb);
    w.StartPos = 0;
    EXPECT_EQ(w("aa ", kAaBb), (Lines{"aa"}));  // a trailing blank
}

TEST(WrapText, ALongWordIsBrokenByCharactersEvenWithoutCharWrap) {
    Wrap w;
    EXPECT_EQ(w("aaaaaa", kA4), (Lines{"aaaa", "aa"}));
    w.StartPos = 0;
    EXPECT_EQ(w("aa bbbb", kA4), (Lines{"aa", "bbbb"}));
    w.StartPos = 0;
    w.CharWrap = true;
    EXPECT_EQ(w("aa bbbb", kA4), (Lines{"aa b", "bbb"}));
}

TEST(WrapText, EveryKindOfHardBreakEndsALine) {
    for (const char* text : {"aa\r\nbb", "aa\rbb", "aa\nbb", "aa$\xC2\xB6" "bb"}) {
        Wrap w;
        EXPECT_EQ(w(text, kA10), (Lines{"aa", "bb"})) << text;
    }
    Wrap w;
    EXPECT_EQ(w("aa\r\n\r\nbb", kA10), (Lines{"aa", "", "bb"}));
}

TEST(WrapText, OneOrTwoBlanksAfterASoftBreakGoThreeStay) {
    Wrap w;
    EXPECT_EQ(w("aaaa bb", kA4), (Lines{"aaaa", "bb"}));
    w.StartPos = 0;
    EXPECT_EQ(w("aaaa  bb", kA4), (Lines{"aaaa", "bb"}));
    w.StartPos = 0;
    EXPECT_EQ(w("aaaa   bb", kA4), (Lines{"aaaa", "   bb"}));
    // After a hard break the blanks are the paragraph's own.
    w.StartPos = 0;
    EXPECT_EQ(w("aa\r\n bb", kA4), (Lines{"aa", " bb"}));
}

TEST(WrapText, WhatDoesNotFitContinuesWhereTheNextRunStarts) {
    Wrap w;
    // Two lines of 4763 fit 10000; the third does not.
    EXPECT_EQ(w("aa bb cc dd", 4233, 10000), (Lines{"aa", "bb"}));
    EXPECT_EQ(w.StartPos, 5);  // the blank before "cc"
    EXPECT_EQ(w("aa bb cc dd", 4233, 10000), (Lines{"cc", "dd"}));
    EXPECT_EQ(w.StartPos, 11);
}

TEST(WrapText, AWordSplitAtAPageEndGoesOnOnTheNextPage) {
    Wrap w;
    const int onePage = 2 * kLine96 - 1;  // room for one line
    EXPECT_EQ(w("aaaaaa bb", kA4, onePage), (Lines{"aaaa"}));
    EXPECT_EQ(w.StartPos, 4);
    EXPECT_EQ(w("aaaaaa bb", kA4, onePage), (Lines{"aa"}));
    EXPECT_EQ(w.StartPos, 7);
    EXPECT_EQ(w("aaaaaa bb", kA4, onePage), (Lines{"bb"}));
    EXPECT_EQ(w.StartPos, 9);
}

TEST(WrapText, ANewPageAfterAParagraphEndKeepsTheParagraphsBlanks) {
    Wrap w;
    const int onePage = 2 * kLine96 - 1;
    EXPECT_EQ(w("aa\r\n bb", kA4, onePage), (Lines{"aa"}));
    EXPECT_EQ(w.StartPos, 4);
    EXPECT_EQ(w("aa\r\n bb", kA4, onePage), (Lines{" bb"}));  // as in one piece
}

TEST(WrapText, ARectangleLowerThanALineLaysOutNothingAndKeepsThePosition) {
    Wrap w;
    w.StartPos = 3;
    EXPECT_TRUE(w("aa bb cc", kA10, kLine96).empty());
    EXPECT_EQ(w.StartPos, 3);
    // A continuing text with nothing left lays out nothing and does not
    // start over.
    w.StartPos = 8;
    EXPECT_TRUE(w("aa bb cc", kA10).empty());
    EXPECT_EQ(w.StartPos, 8);
}

TEST(WrapText, EmptyTextAndATextEndingInANul) {
    Wrap w;
    EXPECT_TRUE(w("", kA10).empty());
    EXPECT_EQ(w.StartPos, 0);
    const std::string withNul("aa bb\0cc", 8);
    EXPECT_EQ(w(withNul, kA10), (Lines{"aa bb"}));
    // The text ends at the NUL: nothing is left to continue with.
    EXPECT_EQ(w.StartPos, 8);
    EXPECT_TRUE(w(withNul, kA10).empty());
}

TEST(WrapText, FullJustificationMarksTheLastLineOfEachParagraph) {
    Wrap w;
    w.Alignment = taFullJustified;
    EXPECT_EQ(w("aa bb cc\r\ndd", kAaBb), (Lines{"aa bb", "cc$\xC2\xB6", "dd$\xC2\xB6"}));
    w.StartPos = 0;
    w.Options.JustifyLastLine = true;
    EXPECT_EQ(w("aa bb cc\r\ndd", kAaBb), (Lines{"aa bb", "cc", "dd"}));
}

TEST(WrapText, AutoSizeBreaksOnlyAtHardBreaksAndReportsTheWidestLine) {
    Wrap w;
    w.Options.AutoSize = true;
    EXPECT_EQ(w("aaaa aaaa aa\r\naa", kA4), (Lines{"aaaa aaaa aa", "aa"}));
    EXPECT_EQ(w.MaxWidth, 23283);  // 10 a and 2 blanks: 88 px
}

TEST(WrapText, AWidthOfZeroOrLessStillEndsWithOneCharacterPerLine) {
    for (int width : {0, -500}) {
        Wrap w;
        EXPECT_EQ(w("ab cd", width), (Lines{"a", "b", "c", "d"})) << width;
        EXPECT_EQ(w.StartPos, 5);
    }
}

TEST(WrapText, AccentedWordsAreBrokenBetweenCharacters) {
    Wrap w;
    w.CharWrap = true;
    // "ação é" : every letter 8 px; two letters a line.
    const std::string text = "a\xC3\xA7\xC3\xA3o \xC3\xA9";
    EXPECT_EQ(w(text, 4233), (Lines{"a\xC3\xA7", "\xC3\xA3o", "\xC3\xA9"}));
    w.StartPos = 0;
    EXPECT_EQ(w(text, 4233, 2 * kLine96 - 1), (Lines{"a\xC3\xA7"}));
    EXPECT_EQ(w.StartPos, 3);  // bytes: a, then the two of the cedilla
    EXPECT_EQ(w(text, 4233, 2 * kLine96 - 1), (Lines{"\xC3\xA3o"}));
    w.StartPos = 0;
    const Lines narrow = w(text, 100);  // narrower than any letter
    EXPECT_EQ(narrow.size(), 5u);
    for (const auto& line : narrow) EXPECT_TRUE(utf8::IsValid(line)) << line;
}

TEST(WrapText, TabsAtALineStartAndTabStopsInThousandths) {
    Wrap w;
    // Default stops every 8 average widths (64 px): the tab waits for the
    // next line and starts it.
    EXPECT_EQ(w("aaaaaaaa \tbb", kA10), (Lines{"aaaaaaaa", "\tbb"}));
    // One stop of 2117 thousandths is 8 px at 96 dpi, 50 at 600: "\taa" is
    // 24 px or 150 px, 6350 either way.
    TStringList stops;
    stops.Add("2117");
    for (bool printer : {false, true}) {
        Wrap t;
        if (printer) t.Canvas = testsupport::FakePrinterCanvas();
        t.TabStops = &stops;
        EXPECT_EQ(t("\taa", kA10), (Lines{"\taa"}));
        EXPECT_EQ(t.MaxWidth, 6350) << printer;
    }
}

TEST(WrapText, EachCanvasConvertsWithItsOwnResolution) {
    // 14290 holds three lines of 4763 (96 dpi) but two of 4868 (600 dpi).
    Wrap screen;
    EXPECT_EQ(screen("aa bb cc dd", 4233, 14290), (Lines{"aa", "bb", "cc"}));
    Wrap printer;
    printer.Canvas = testsupport::FakePrinterCanvas();
    EXPECT_EQ(printer("aa bb cc dd", 4233, 14290), (Lines{"aa", "bb"}));
    int32_t lineHeight = 0;
    EXPECT_EQ(TrpPlainText::CalcLinesPerHeight(&printer.Font, 0, lineHeight, nullptr, 14290, printer.Canvas.get()), 2);
    EXPECT_EQ(lineHeight, kLine600);
    // 20000 thousandths are 76 px at 96 dpi: four lines of 18.
    EXPECT_EQ(TrpPlainText::CalcLinesPerHeight(&screen.Font, 0, lineHeight, nullptr, 20000, screen.Canvas.get()), 4);
    EXPECT_EQ(lineHeight, kLine96);
}

TEST(WrapText, PageByPageGivesTheLinesOfOneUnlimitedWrap) {
    const std::vector<std::string> vocabulary = {"a", "nota", "fiscal", "emiss\xC3\xA3o", "a\xC3\xA7\xC3\xA3o",
                                                 "iiiiiiiiiiiiiiiiiiiiiii", "mmmmmmmmmmmmmmmmm", "WW", "\tx", "  ",
                                                 "   ", "\r\n", "$\xC2\xB6", "\xC3\x89rico"};
    std::mt19937 rng(20261207);
    for (int round = 0; round < 200; ++round) {
        std::string text;
        const int words = 1 + static_cast<int>(rng() % 80);
        for (int i = 0; i < words; ++i) {
            if (!text.empty() && rng() % 3) text += ' ';
            text += vocabulary[rng() % vocabulary.size()];
        }
        const int width = 2000 + static_cast<int>(rng() % 30000);
        Wrap whole;
        whole.CharWrap = rng() % 2;
        whole.Alignment = rng() % 2 ? taFullJustified : taLeftJustified;
        const Lines expected = whole(text, width);

        Wrap paged;
        paged.CharWrap = whole.CharWrap;
        paged.Alignment = whole.Alignment;
        Lines got;
        for (int page = 0; page < 1000 && paged.StartPos < static_cast<int>(text.size()); ++page) {
            const int height = kLine96 + 1 + static_cast<int>(rng() % (5 * kLine96));
            const int before = paged.StartPos;
            const Lines lines = paged(text, width, height, static_cast<int>(rng() % 1000));
            ASSERT_TRUE(!lines.empty() || paged.StartPos >= static_cast<int>(text.size()))
                << "stuck at " << before << " in round " << round;
            got.insert(got.end(), lines.begin(), lines.end());
        }
        std::size_t same = 0;
        while (same < got.size() && same < expected.size() && got[same] == expected[same]) ++same;
        ASSERT_EQ(got, expected) << "round " << round << ", first difference at line " << same << ": ["
                                 << (same < got.size() ? got[same] : "") << "] for ["
                                 << (same < expected.size() ? expected[same] : "") << "]";
    }
}

TEST(PlainText, JustifyLineSpreadsTheRestOverTheBlanks) {
    auto canvas = testsupport::FakeScreenCanvas();
    canvas->SetFont(TwelvePoints());
    std::string line = " aa bb  ";
    TrpPlainText::JustifyLine(canvas.get(), line, TRect{0, 0, 100, 10}, {});
    EXPECT_EQ(line, "aa bb");
    EXPECT_EQ(canvas->TextWidth(line), 100);
    // A single word is spread letter by letter.
    std::string word = "abc";
    TrpPlainText::JustifyLine(canvas.get(), word, TRect{0, 0, 100, 10}, {});
    EXPECT_EQ(word, "a b c");
    EXPECT_EQ(canvas->TextWidth(word), 100);
    std::string empty;
    TrpPlainText::JustifyLine(canvas.get(), empty, TRect{0, 0, 100, 10}, {});
    EXPECT_EQ(canvas->TextWidth("aa bb"), 36);  // justification reset
}

TEST(PlainText, CalcTabStopsConvertsOnlyToPixelsAndSkipsBadEntries) {
    TStringList list;
    for (const char* s : {"2117", "x", "1.5", "", "4233"}) list.Add(s);
    std::vector<int> offsets{99};
    EXPECT_EQ(TrpPlainText::CalcTabStops(utMillimeters, &list, nullptr, offsets), 0);
    EXPECT_TRUE(offsets.empty());
    EXPECT_EQ(TrpPlainText::CalcTabStops(utScreenPixels, &list, nullptr, offsets), 2);
    EXPECT_EQ(offsets, (std::vector<int>{8, 16}));
    TStringList many;
    for (int i = 1; i <= 150; ++i) many.Add(std::to_string(i * 1000));
    EXPECT_EQ(TrpPlainText::CalcTabStops(utScreenPixels, &many, nullptr, offsets), 100);
    // 20 metres is 75590 px at 96 dpi; the tabbed width is not cut to 16 bits.
    TStringList far;
    far.Add("20000000");
    TrpPlainText::CalcTabStops(utScreenPixels, &far, nullptr, offsets);
    ASSERT_EQ(offsets, (std::vector<int>{75590}));
    auto canvas = testsupport::FakeScreenCanvas();
    canvas->SetFont(TwelvePoints());
    EXPECT_EQ(TrpPlainText::GetTabbedTextWidth(canvas.get(), "\ta", offsets), 75598);
}

TEST(PlainText, WordsAndDeleteAll) {
    EXPECT_EQ(TrpPlainText::WordCount("  aa bb  "), 2);
    EXPECT_EQ(TrpPlainText::WordPosition(2, "  aa bb  "), 6);
    EXPECT_EQ(TrpPlainText::WordPosition(3, "  aa bb  "), 0);
    EXPECT_EQ(TrpPlainText::ExtractWord(2, "  aa bb  "), "bb");
    EXPECT_EQ(TrpPlainText::ExtractWord(1, "a;b", ";"), "a");
    EXPECT_EQ(TrpPlainText::DeleteAll("aabb", "ab"), "");
    EXPECT_EQ(TrpPlainText::DeleteAll("x$\xC2\xB6y", "$\xC2\xB6"), "xy");
}
