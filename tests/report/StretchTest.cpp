// Components that stretch: memos carried page after page, components that
// shift below others, regions that grow and keep together, page breaks.
// Text is measured on the fake 600 dpi printer canvas: Courier New 10 is
// 50 pixels a character (2117 thousandths of a millimetre) and a line 96
// pixels (4064). The body of a page runs from 21350 to 278650.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <regex>
#include <sstream>

#include "report/rpCacheManager.h"
#include "report/rpExcept.h"
#include "report/rpLanguage.h"
#include "report/rpMemo.h"
#include "report/rpGeneration.h"
#include "report/rpGroup.h"
#include "report/rpPageBreak.h"
#include "report/rpRTTI.h"
#include "report/rpRegion.h"
#include "report/rpStretchRTTI.h"
#include "report/rpMainReport.h"
#include "report/rpSubReport.h"
#include "report/rpTextLayout.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/FakeCanvas.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

constexpr int32_t kLine = 4064;
constexpr int32_t kBodyTop = 21350;
constexpr int32_t kBodyBottom = 278650;

// The words of a text, without the paragraph-end markup.
std::vector<std::string> Words(const std::string& Text) {
    std::string plain = TrpPlainText::DeleteAll(Text, std::string(TrpTextMarkups::LineBreakMarkup));
    for (char& c : plain)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    std::istringstream in(plain);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// Paragraphs of numbered words, some accented.
std::string Paragraphs(int Count, int WordsEach, const std::string& Tag = "p") {
    static const char* stems[] = {"relatório", "ação", "página", "texto", "nota", "fiscal", "emissão", "valor"};
    std::string text;
    for (int p = 0; p < Count; ++p) {
        if (p > 0) text += "\r\n";
        for (int w = 0; w < WordsEach; ++w) {
            if (w > 0) text += " ";
            text += stems[(p * 7 + w) % 8] + Tag + std::to_string(p) + "." + std::to_string(w);
        }
    }
    return text;
}

// Installs the fake printer canvas for memos for the life of a test.
class StretchTest : public ::testing::Test {
protected:
    void SetUp() override {
        rpSetMeasuringCanvasFactory([] { return std::unique_ptr<TCanvas>(testsupport::FakePrinterCanvas()); });
    }
    void TearDown() override { rpSetMeasuringCanvasFactory(nullptr); }
};

// A report with a header, a detail band over Rows records and a footer.
struct StretchRig {
    ReportRig Rig;
    std::unique_ptr<RowsTable> Data;
    TrpDetailBand* Detail = nullptr;

    explicit StretchRig(int Rows = 1, int32_t DetailHeight = 10000) {
        std::vector<std::vector<Variant>> rows;
        for (int i = 1; i <= Rows; ++i) rows.push_back({Variant("K" + std::to_string(i))});
        Data = std::make_unique<RowsTable>(std::vector<std::string>{"Key"}, rows);
        TrpBandedReport* r = Rig.Report();
        r->SetDataPipeline(Data->Pipeline());
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(15000);
        Rig.AddText(r->HeaderBand(), "HeaderText", 0, 0, 100000, 5000, "Cabeçalho");
        r->FooterBand()->SetmmHeight(12000);
        Rig.AddText(r->FooterBand(), "FooterText", 0, 0, 60000, 4000, "Rodapé");
        Detail = r->DetailBand();
        Detail->SetmmHeight(DetailHeight);
    }

    template <class T>
    T* Add(TrpBand* Band, const std::string& Name, int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
        auto* c = new T(Rig.Owner());
        c->SetName(Name);
        c->SetUserName(Name);
        c->SetBand(Band);
        c->SetBounds(Left, Top, Width, Height);
        return c;
    }

    TrpMemo* AddMemo(const std::string& Name, int32_t Left, int32_t Top, int32_t Width, int32_t Height,
                     const std::string& Text, bool Stretch = true) {
        auto* m = Add<TrpMemo>(Detail, Name, Left, Top, Width, Height);
        m->Font()->SetName("Courier New");
        m->Font()->SetSize(10);
        m->SetText(Text);
        if (Stretch) m->SetStretch(true);
        return m;
    }

    std::vector<const CapturedPage*> Print() {
        Rig.Print();
        return Rig.Device()->FinalPages();
    }
};

struct Placed {
    int Page;
    const TrpDrawCommand* Command;
};

// Every command a component made, page by page (pages from 1).
std::vector<Placed> CommandsOf(const std::vector<const CapturedPage*>& Pages, const std::string& Name) {
    std::vector<Placed> out;
    for (std::size_t p = 0; p < Pages.size(); ++p)
        for (int i = 0; i < Pages[p]->Page->DrawCommandCount(); ++i)
            if (Pages[p]->Makers[static_cast<std::size_t>(i)].second == Name)
                out.push_back({static_cast<int>(p) + 1, Pages[p]->Page->DrawCommands(i)});
    return out;
}

// The words a memo printed over all pages, in order.
std::vector<std::string> PrintedWords(const std::vector<const CapturedPage*>& Pages, const std::string& Name) {
    std::vector<std::string> words;
    for (const Placed& p : CommandsOf(Pages, Name)) {
        auto* t = dynamic_cast<const TrpDrawText*>(p.Command);
        if (t == nullptr) continue;
        for (int l = 0; l < t->WrappedText()->Count(); ++l)
            for (const std::string& w : Words(t->WrappedText()->Strings(l))) words.push_back(w);
    }
    return words;
}

int Lines(const TrpDrawCommand* Command) {
    auto* t = dynamic_cast<const TrpDrawText*>(Command);
    return t != nullptr ? t->WrappedText()->Count() : -1;
}


// A page's dump without its page count, which a one-pass run only knows
// at its end.
std::string WithoutCount(const std::string& Dump) {
    static const std::regex counts(R"(^page (\d+)/\d+ no (\d+)/\d+)");
    return std::regex_replace(Dump, counts, "page $1/? no $2/?", std::regex_constants::format_first_only);
}

// Every page of the run, asked for again alone (last first, so that each
// is made from the state saved at its start), comes back as the run made it.
void ExpectPagesComeBackAlone(StretchRig& S) {
    const auto run = S.Rig.Device()->FinalPages();
    std::vector<std::string> first;
    for (const CapturedPage* p : run) first.push_back(WithoutCount(DumpPage(*p)));
    for (int k = static_cast<int>(run.size()); k >= 1; --k) {
        const std::size_t before = S.Rig.Device()->Pages().size();
        S.Rig.PrintPage(k);
        const auto& sent = S.Rig.Device()->Pages();
        ASSERT_EQ(sent.size(), before + 1) << "page " << k << " alone";
        EXPECT_EQ(WithoutCount(DumpPage(sent.back())), first[static_cast<std::size_t>(k - 1)]) << "page " << k;
    }
}

// --- Memos --------------------------------------------------------------------

TEST_F(StretchTest, JustifiedMemoRunsOverThreePagesWithEveryWordOnce) {
    StretchRig s;
    const std::string text = Paragraphs(10, 60);
    TrpMemo* memo = s.AddMemo("Memo", 1000, 0, 100000, 5000, text);
    memo->SetTextAlignment(taFullJustified);
    const auto pages = s.Print();
    ExpectGolden("memo_three_pages", DumpPages(pages));
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(PrintedWords(pages, "Memo"), Words(text));
    const auto placed = CommandsOf(pages, "Memo");
    ASSERT_EQ(placed.size(), 3u);
    // Full pages hold as many lines as the body has room for, from its top.
    for (int p = 0; p < 2; ++p) {
        EXPECT_EQ(placed[static_cast<std::size_t>(p)].Command->Top(), kBodyTop);
        EXPECT_EQ(Lines(placed[static_cast<std::size_t>(p)].Command), (kBodyBottom - kBodyTop) / kLine);
        EXPECT_EQ(placed[static_cast<std::size_t>(p)].Command->Height(), Lines(placed[static_cast<std::size_t>(p)].Command) * kLine);
    }
    // The markup ends paragraphs only.
    int markups = 0;
    for (const Placed& p : placed) {
        auto* t = dynamic_cast<const TrpDrawText*>(p.Command);
        for (int l = 0; l < t->WrappedText()->Count(); ++l)
            if (t->WrappedText()->Strings(l).find(TrpTextMarkups::LineBreakMarkup) != std::string::npos) ++markups;
    }
    EXPECT_EQ(markups, 10);
    ExpectPagesComeBackAlone(s);
}

TEST_F(StretchTest, MemoThatMustKeepTogetherMovesWholeToTheNextPage) {
    // Each record prints a key and a memo of 13 lines; a page takes four
    // records whole, and the fifth memo moves rather than split.
    StretchRig s(5);
    TestText* key = s.Rig.AddText(s.Detail, "Key", 0, 0, 20000, 4000);
    key->SetDataPipeline(s.Data->Pipeline());
    key->SetDataField("Key");
    TrpMemo* memo = s.AddMemo("Memo", 0, 5000, 100000, 4000, Paragraphs(1, 50, "k"));
    memo->SetKeepTogether(true);
    const auto pages = s.Print();
    const auto placed = CommandsOf(pages, "Memo");
    ASSERT_EQ(placed.size(), 5u);
    std::map<int, int> perPage;
    for (const Placed& p : placed) {
        EXPECT_EQ(Lines(p.Command), Lines(placed[0].Command)) << "split on page " << p.Page;
        ++perPage[p.Page];
    }
    EXPECT_EQ(perPage[1], 4);
    EXPECT_EQ(perPage[2], 1);
    EXPECT_EQ(placed[4].Command->Top(), kBodyTop);
    ExpectGolden("memo_keep_together", DumpPages(pages));
    ExpectPagesComeBackAlone(s);
}

TEST_F(StretchTest, ContinuingMemoThatFindsNoRoomPrintsItsTextOnce) {
    StretchRig s;
    const std::string text = Paragraphs(6, 60, "n");
    TrpMemo* memo = s.AddMemo("Memo", 1000, 0, 100000, 1000, text);
    // On the second page the memo starts so low that not one line fits.
    TrpEngine* engine = dynamic_cast<TrpEngine*>(s.Rig.Report()->Engine());
    memo->OnPrint = [memo, engine](TObject*) {
        memo->SetmmOverFlowOffset(engine->AbsolutePageNo() == 2 ? (kBodyBottom - kBodyTop) - kLine / 2 : 0);
    };
    const auto pages = s.Print();
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(CommandsOf(pages, "Memo").size(), 2u);  // nothing on page 2
    EXPECT_EQ(PrintedWords(pages, "Memo"), Words(text));
    ExpectGolden("memo_no_room_once", DumpPages(pages));
    ExpectPagesComeBackAlone(s);
}

TEST_F(StretchTest, NonStretchingMemoPrintsOnlyWhatFitsItsRectangle) {
    StretchRig s(1, 20000);
    s.AddMemo("Memo", 0, 0, 100000, 3 * kLine + 100, Paragraphs(3, 60), false);
    const auto pages = s.Print();
    ASSERT_EQ(pages.size(), 1u);
    const auto placed = CommandsOf(pages, "Memo");
    ASSERT_EQ(placed.size(), 1u);
    EXPECT_EQ(Lines(placed[0].Command), 3);
    EXPECT_EQ(placed[0].Command->Height(), 3 * kLine + 100);
}

TEST_F(StretchTest, EmptyMemoPrintsNothingAndTakesNoRoom) {
    StretchRig s(2);
    s.AddMemo("Memo", 0, 0, 100000, 4000, "");
    s.Rig.AddText(s.Detail, "After", 0, 6000, 20000, 3000, "depois");
    const auto pages = s.Print();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_TRUE(CommandsOf(pages, "Memo").empty());
    EXPECT_EQ(CommandsOf(pages, "After").size(), 2u);
}

// --- Shift chains -------------------------------------------------------------

TEST_F(StretchTest, MemoShiftingBelowAnotherFollowsItsGrowthOntoTheNextPage) {
    StretchRig s;
    TrpMemo* a = s.AddMemo("A", 0, 0, 100000, 4000, Paragraphs(3, 120, "a"));
    TrpMemo* b = s.AddMemo("B", 0, 6000, 100000, 4000, Paragraphs(1, 10, "b"));
    b->SetShiftRelativeTo(a);
    const auto pages = s.Print();
    ASSERT_EQ(pages.size(), 2u);
    const auto pa = CommandsOf(pages, "A");
    const auto pb = CommandsOf(pages, "B");
    ASSERT_EQ(pa.size(), 2u);
    ASSERT_EQ(pb.size(), 1u);
    EXPECT_EQ(pb[0].Page, 2);
    // The design gap between them (2000) stays below A's last line.
    EXPECT_EQ(pb[0].Command->Top(), pa[1].Command->Top() + pa[1].Command->Height() + 2000);
    EXPECT_EQ(PrintedWords(pages, "B"), Words(Paragraphs(1, 10, "b")));
    ExpectGolden("memo_shift_follows", DumpPages(pages));
    ExpectPagesComeBackAlone(s);
}

TEST_F(StretchTest, DependentWithNoRoomBelowAFinishedTargetGoesOnAloneAtTheNextPageTop) {
    // A fills the page exactly; B, shifting below it, moves to the next page
    // and A, finished, does not come back.
    StretchRig s;
    std::string lines;
    for (int i = 1; i <= (kBodyBottom - kBodyTop) / kLine; ++i) lines += "linha " + std::to_string(i) + "\r\n";
    TrpMemo* a = s.AddMemo("A", 0, 0, 100000, 4000, lines);
    TrpMemo* b = s.AddMemo("B", 0, 6000, 100000, 4000, "depois de A");
    b->SetShiftRelativeTo(a);
    const auto pages = s.Print();
    ASSERT_EQ(pages.size(), 2u);
    const auto pa = CommandsOf(pages, "A");
    const auto pb = CommandsOf(pages, "B");
    ASSERT_EQ(pa.size(), 1u);
    ASSERT_EQ(pb.size(), 1u);
    EXPECT_EQ(pb[0].Page, 2);
    EXPECT_EQ(pb[0].Command->Top(), kBodyTop);
    EXPECT_EQ(PrintedWords(pages, "A"), Words(lines));
    ExpectPagesComeBackAlone(s);
}

TEST_F(StretchTest, ContinuationStartsAtTheOverflowOffsetAndReprintsWhatAsks) {
    StretchRig s;
    s.Rig.AddText(s.Detail, "Label", 0, 0, 20000, 3000, "rótulo");
    s.Rig.AddText(s.Detail, "Again", 30000, 0, 20000, 3000, "de novo")->SetReprintOnOverFlow(true);
    TrpMemo* memo = s.AddMemo("Memo", 0, 4000, 100000, 4000, Paragraphs(4, 90, "o"));
    memo->SetmmOverFlowOffset(3000);
    const auto pages = s.Print();
    const auto placed = CommandsOf(pages, "Memo");
    ASSERT_EQ(placed.size(), 2u);
    EXPECT_EQ(placed[0].Command->Top(), kBodyTop + 4000);
    // Below what the band printed again (the 3000 label), by the offset.
    EXPECT_EQ(placed[1].Command->Top(), kBodyTop + 3000 + 3000);
    // The label printed once: the band continues below it; the one that
    // asks for it prints again on the continuation.
    EXPECT_EQ(CommandsOf(pages, "Label").size(), 1u);
    const auto again = CommandsOf(pages, "Again");
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[1].Page, 2);
    EXPECT_EQ(again[1].Command->Top(), kBodyTop);
    EXPECT_EQ(PrintedWords(pages, "Memo"), Words(Paragraphs(4, 90, "o")));
    ExpectPagesComeBackAlone(s);
}

TEST_F(StretchTest, StopPositionCapsGrowth) {
    StretchRig s;
    TrpMemo* memo = s.AddMemo("Memo", 0, 0, 100000, 4000, Paragraphs(1, 60, "s"));
    memo->SetmmStopPosition(30000);
    memo->SetmmBottomOffset(1000);
    const auto pages = s.Print();
    const auto placed = CommandsOf(pages, "Memo");
    ASSERT_GE(placed.size(), 2u);
    // Down to 30000 into the band less the bottom offset: 7 lines a page.
    for (const Placed& p : placed) {
        EXPECT_EQ(p.Command->Top(), kBodyTop);
        EXPECT_LE(p.Command->Top() + p.Command->Height(), kBodyTop + 30000 - 1000);
    }
    EXPECT_EQ(Lines(placed[0].Command), (30000 - 1000) / kLine);
    EXPECT_EQ(PrintedWords(pages, "Memo"), Words(Paragraphs(1, 60, "s")));
    ExpectGolden("memo_stop_position", DumpPages(pages));
    ExpectPagesComeBackAlone(s);
}

TEST(ShiftChain, ClosingALoopIsRefusedWithText342AndKeepsTheOldValue) {
    TComponent owner(nullptr);
    auto* a = new TrpMemo(&owner);
    auto* b = new TrpMemo(&owner);
    auto* c = new TrpMemo(&owner);
    b->SetShiftRelativeTo(a);
    c->SetShiftRelativeTo(b);
    try {
        a->SetShiftRelativeTo(c);
        FAIL() << "a loop was accepted";
    } catch (const EInvalidPropertyError& e) {
        EXPECT_EQ(e.Message(), rpLanguageText(342));
        EXPECT_FALSE(rpLanguageText(342).empty());
    }
    EXPECT_EQ(a->ShiftRelativeTo(), nullptr);
    EXPECT_EQ(a->ShifterCount(), 1);
    EXPECT_THROW(a->SetShiftRelativeTo(b), EInvalidPropertyError);
    EXPECT_EQ(a->ShiftRelativeTo(), nullptr);
    // A component already shifting keeps its target when a loop is refused.
    auto* d = new TrpMemo(&owner);
    d->SetShiftRelativeTo(c);
    EXPECT_THROW(b->SetShiftRelativeTo(d), EInvalidPropertyError);
    EXPECT_EQ(b->ShiftRelativeTo(), a);
    EXPECT_EQ(a->ShifterCount(), 1);
    EXPECT_THROW(a->SetShiftRelativeTo(a), EInvalidPropertyError);
    EXPECT_FALSE(rpValidShiftRelativeTo(b, a));
    EXPECT_TRUE(rpValidShiftRelativeTo(a, c));
    EXPECT_TRUE(rpValidShiftRelativeTo(a, nullptr));
}

TEST(ShiftChain, AChainAlreadyLoopingIsWalkedOnce) {
    TComponent owner(nullptr);
    auto* a = new TrpMemo(&owner);
    auto* b = new TrpMemo(&owner);
    auto* c = new TrpMemo(&owner);
    // As a stream may hold it: the checks are skipped while loading.
    a->SetComponentStateFlag(csLoading, true);
    b->SetComponentStateFlag(csLoading, true);
    a->SetShiftRelativeTo(b);
    b->SetShiftRelativeTo(a);
    a->SetComponentStateFlag(csLoading, false);
    b->SetComponentStateFlag(csLoading, false);
    EXPECT_TRUE(rpValidShiftRelativeTo(a, c));
    EXPECT_FALSE(rpValidShiftRelativeTo(a, b));
}

TEST(ShiftChain, TargetsAndDependentsForgetEachOtherWhenFreed) {
    TComponent owner(nullptr);
    auto* a = new TrpMemo(&owner);
    auto* b = new TrpMemo(&owner);
    auto* c = new TrpMemo(&owner);
    b->SetShiftRelativeTo(a);
    c->SetShiftRelativeTo(a);
    EXPECT_TRUE(a->Stretch());
    EXPECT_EQ(a->ShifterCount(), 2);
    // Stretch stays on while dependents exist.
    a->SetStretch(false);
    EXPECT_TRUE(a->Stretch());
    delete b;
    EXPECT_EQ(a->ShifterCount(), 1);
    delete a;
    EXPECT_EQ(c->ShiftRelativeTo(), nullptr);
    c->SetStretch(true);
    c->SetStretch(false);
    EXPECT_FALSE(c->Stretch());
}

TEST(ShiftChain, APageBreakStretchesExactlyWhileItShiftsBelowAnother) {
    TComponent owner(nullptr);
    auto* memo = new TrpMemo(&owner);
    auto* pageBreak = new TrpPageBreak(&owner);
    EXPECT_FALSE(pageBreak->Stretch());
    EXPECT_TRUE(pageBreak->ParentWidth());
    pageBreak->SetShiftRelativeTo(memo);
    EXPECT_TRUE(pageBreak->Stretch());
    pageBreak->SetShiftRelativeTo(nullptr);
    EXPECT_FALSE(pageBreak->Stretch());
    EXPECT_EQ(memo->ShifterCount(), 0);
}

TEST(ShiftChain, ReprintOnOverflowAndTheBottomAnchorGiveWayToStretching) {
    TComponent owner(nullptr);
    auto* a = new TrpMemo(&owner);
    auto* b = new TrpMemo(&owner);
    b->SetShiftRelativeTo(a);
    b->SetStretch(true);
    b->SetReprintOnOverFlow(true);
    EXPECT_EQ(b->ShiftRelativeTo(), nullptr);
    EXPECT_FALSE(b->Stretch());
    EXPECT_TRUE(b->ReprintOnOverFlow());
    b->SetStretch(true);
    EXPECT_FALSE(b->ReprintOnOverFlow());
    b->SetAnchors({atLeft, atBottom});
    EXPECT_FALSE(b->Anchors().Contains(atBottom));
}

// --- Memo text and page records ---------------------------------------------------

TEST(MemoText, TextBufferIsAStringAndEmptyForNoText) {
    TComponent owner(nullptr);
    auto* memo = new TrpMemo(&owner);
    memo->SetText("");
    EXPECT_EQ(memo->GetTextBuffer(), "");
    memo->SetText("primeira\r\nação");
    EXPECT_EQ(memo->GetTextBuffer(), "primeira\nação\n");
    EXPECT_EQ(memo->GetMemoStream()->Size(), static_cast<int64_t>(memo->GetTextBuffer().size()));
}

TEST(MemoText, FormattingAReportsMemosRewritesTheirTextFromTheirLinesUntouched) {
    const TFormatSettings saved = FormatSettings;
    FormatSettings.DecimalSeparator = ',';
    TComponent owner(nullptr);
    auto* report = new TrpCustomReport(&owner);
    report->CreateDefaultBands();
    auto* header = new TrpMemo(&owner);
    header->SetBand(report->GetBand(btHeader));
    header->SetText("Valor 10.50 em R$.");
    auto* detail = new TrpDBMemo(&owner);
    detail->SetBand(report->GetBand(btDetail));
    detail->SetAutoDisplay(false);
    detail->SetText("Obs. do pedido");
    // Lines changed behind the memos' backs reach the stored text.
    header->StoredLines()->Add("linha 2.1");
    // With AutoDisplay on again a refresh would clear what it holds; the
    // pass does not ask for the data.
    detail->StoredLines()->Add("sem campo");
    auto* dataMemo = new TrpDBMemo(&owner);
    dataMemo->SetBand(report->GetBand(btDetail));
    dataMemo->StoredLines()->Add("guardado");
    auto* empty = new TrpMemo(&owner);
    empty->SetBand(report->GetBand(btFooter));

    rpFormatReportMemos(report);
    rpFormatReportMemos(nullptr);

    auto streamText = [](TrpCustomMemo* Memo) {
        TMemoryStream* stream = Memo->GetMemoStream();
        std::string text(static_cast<std::size_t>(stream->Size()), '\0');
        stream->SetPosition(0);
        if (!text.empty()) stream->Read(text.data(), static_cast<int64_t>(text.size()));
        return text;
    };
    EXPECT_EQ(header->StoredLines()->Text(), "Valor 10.50 em R$.\nlinha 2.1\n");
    EXPECT_EQ(streamText(header), "Valor 10.50 em R$.\nlinha 2.1\n");
    EXPECT_EQ(streamText(detail), "Obs. do pedido\nsem campo\n");
    EXPECT_EQ(dataMemo->StoredLines()->Text(), "guardado\n");
    EXPECT_EQ(streamText(dataMemo), "guardado\n");
    EXPECT_EQ(empty->StoredLines()->Count(), 0);
    EXPECT_EQ(streamText(empty), "");
    FormatSettings = saved;
}

TEST(PageRecords, KeepEveryPrintablesStateForAPageMadeAgainAlone) {
    TComponent owner(nullptr);
    auto* memo = new TrpMemo(&owner);
    auto* pageBreak = new TrpPageBreak(&owner);
    auto* region = new TrpRegion(&owner);
    auto* label = new TestText(&owner);
    TrpCacheManager manager(nullptr);
    manager.ResetFromList({memo, pageBreak, region, label});
    label->SetPrinted(true);
    // Page 0: the memo stopped at byte 37 and overflowed, the break is
    // behind, the region is half printed.
    memo->SetStartPos(37);
    memo->SetOverFlow(true);
    memo->SetPrinted(false);
    memo->SetKeptTogether(true);
    pageBreak->SetOverFlow(true);
    region->SetOverFlow(true);
    region->SetKeptTogether(true);
    region->SetPrinted(true);
    manager.SavePage(0);
    label->SetPrinted(false);
    memo->SetStartPos(0);
    memo->SetOverFlow(false);
    memo->SetPrinted(true);
    memo->SetKeptTogether(false);
    pageBreak->SetOverFlow(false);
    region->SetOverFlow(false);
    region->SetKeptTogether(false);
    region->SetPrinted(false);
    manager.SavePage(1);
    manager.RestorePage(0);
    EXPECT_EQ(memo->StartPos(), 37);
    EXPECT_TRUE(memo->OverFlow());
    EXPECT_FALSE(memo->Printed());
    EXPECT_TRUE(memo->KeptTogether());
    EXPECT_TRUE(pageBreak->OverFlow());
    EXPECT_TRUE(region->OverFlow());
    EXPECT_TRUE(region->KeptTogether());
    EXPECT_TRUE(region->Printed());
    EXPECT_TRUE(label->Printed());
    manager.RestorePage(1);
    EXPECT_FALSE(label->Printed());
    EXPECT_EQ(memo->StartPos(), 0);
    EXPECT_FALSE(pageBreak->OverFlow());
    EXPECT_FALSE(region->Printed());
    EXPECT_EQ(memo->CacheRecordSize(), 16);
    EXPECT_EQ(pageBreak->CacheRecordSize(), 12);
    EXPECT_EQ(region->CacheRecordSize(), 20);
}

// --- Regions ------------------------------------------------------------------

TEST(Regions, ARegionIsNeverAddedToItselfNorToARegionItHolds) {
    TComponent owner(nullptr);
    auto* outer = new TrpRegion(&owner);
    auto* inner = new TrpRegion(&owner);
    EXPECT_FALSE(outer->AddObject(outer));
    EXPECT_TRUE(outer->AddObject(inner));
    EXPECT_FALSE(inner->AddObject(outer));
    auto* deepest = new TrpRegion(&owner);
    EXPECT_TRUE(inner->AddObject(deepest));
    EXPECT_FALSE(deepest->AddObject(outer));
    EXPECT_EQ(outer->ObjectCount(), 1);
    EXPECT_EQ(inner->ObjectCount(), 1);
    EXPECT_EQ(deepest->ObjectCount(), 0);
    // A page break never sits in a region.
    auto* pageBreak = new TrpPageBreak(&owner);
    EXPECT_FALSE(outer->AddObject(pageBreak));
    EXPECT_EQ(pageBreak->ParentRegion(), nullptr);
    // A component made the region's target of shifting is refused too.
    auto* memo = new TrpMemo(&owner);
    outer->AddObject(memo);
    EXPECT_FALSE(rpValidShiftRelativeTo(outer, memo));
    EXPECT_THROW(memo->SetShiftRelativeTo(outer), EInvalidPropertyError);
}

TEST(Regions, HeldComponentsMoveWithTheRegionWhileDesigningOnly) {
    TComponent owner(nullptr);
    auto* region = new TrpRegion(&owner);
    auto* memo = new TrpMemo(&owner);
    memo->SetBounds(1000, 2000, 30000, 4000);
    region->AddObject(memo);
    region->SetComponentStateFlag(csDesigning, true);
    region->SetBounds(5000, 7000, 60000, 20000);
    EXPECT_EQ(memo->mmLeft(), 6000);
    EXPECT_EQ(memo->mmTop(), 9000);
    region->SetmmTop(6000);
    EXPECT_EQ(memo->mmTop(), 8000);
    region->SetmmWidth(70000);  // a resize moves nothing
    EXPECT_EQ(memo->mmLeft(), 6000);
    region->SetComponentStateFlag(csDesigning, false);
    region->SetmmLeft(0);
    EXPECT_EQ(memo->mmLeft(), 6000);
}

TEST(Regions, HeldComponentsFollowTheRegionsPlaceInTheBandAndIntoAnotherBand) {
    TComponent owner(nullptr);
    TrpCustomReport report(&owner);
    report.CreateDefaultBands();
    TrpBand* detail = report.GetBand(btDetail);
    auto make = [&](const std::string& Name) {
        auto* m = new TrpMemo(&owner);
        m->SetName(Name);
        m->SetBand(detail);
        return m;
    };
    auto* region = new TrpRegion(&owner);
    region->SetName("Region");
    region->SetBand(detail);
    TrpMemo* a = make("A");
    TrpMemo* b = make("B");
    TrpMemo* loose = make("Loose");
    region->AddObject(a);
    region->AddObject(b);
    auto order = [detail] {
        std::string names;
        for (int i = 0; i < detail->ObjectCount(); ++i) names += detail->Objects(i)->Name() + " ";
        return names;
    };
    EXPECT_EQ(order(), "Region A B Loose ");
    region->BringToFront();
    EXPECT_EQ(order(), "Loose Region A B ");
    region->SendToBack();
    EXPECT_EQ(order(), "Region A B Loose ");
    EXPECT_EQ(region->GetNextSibling(), loose);
    TrpBand* header = report.GetBand(btHeader);
    region->SetBand(header);
    EXPECT_EQ(a->Band(), header);
    EXPECT_EQ(b->Band(), header);
    EXPECT_EQ(loose->Band(), detail);
}

TEST(Regions, TransparencyFollowsTheBrushAndAStretchingMemoMakesTheRegionStretch) {
    TComponent owner(nullptr);
    auto* region = new TrpRegion(&owner);
    region->SetTransparent(true);
    EXPECT_EQ(region->Brush()->Style(), bsClear);
    region->SetTransparent(false);
    EXPECT_EQ(region->Brush()->Style(), bsSolid);
    region->Brush()->SetStyle(bsClear);
    EXPECT_TRUE(region->Transparent());
    auto* memo = new TrpMemo(&owner);
    memo->SetStretch(true);
    EXPECT_FALSE(region->Stretch());
    region->AddObject(memo);
    EXPECT_TRUE(region->Stretch());
    delete memo;
    EXPECT_EQ(region->ObjectCount(), 0);
}

TEST_F(StretchTest, RegionKeptTogetherLeavesNothingAndPrintsWholeOnTheNextPage) {
    // Each record's region grows with its memo to 46640: five fit a page,
    // the sixth would split and moves whole.
    StretchRig s(6);
    auto* region = s.Add<TrpRegion>(s.Detail, "Region", 0, 0, 120000, 20000);
    region->SetKeepTogether(true);
    TestText* key = s.Rig.AddText(s.Detail, "Key", 1000, 1000, 20000, 4000);
    key->SetDataPipeline(s.Data->Pipeline());
    key->SetDataField("Key");
    region->AddObject(key);
    TrpMemo* memo = s.AddMemo("Memo", 1000, 6000, 100000, 4000, Paragraphs(1, 40, "r"));
    region->AddObject(memo);
    TestText* tail = s.Rig.AddText(s.Detail, "Tail", 30000, 1000, 20000, 4000, "fim");
    region->AddObject(tail);
    EXPECT_TRUE(region->Stretch());
    const auto pages = s.Print();
    ExpectGolden("region_keep_together", DumpPages(pages));
    ASSERT_EQ(pages.size(), 2u);
    const auto regions = CommandsOf(pages, "Region");
    ASSERT_EQ(regions.size(), 6u);
    EXPECT_EQ(regions[4].Page, 1);
    EXPECT_EQ(regions[5].Page, 2);
    EXPECT_EQ(regions[5].Command->Top(), kBodyTop);
    EXPECT_EQ(regions[5].Command->Height(), regions[0].Command->Height());
    // Every part of the sixth record is on page 2, nothing of it on page 1.
    for (const std::string name : {"Key", "Memo", "Tail"}) {
        const auto placed = CommandsOf(pages, name);
        ASSERT_EQ(placed.size(), 6u) << name;
        EXPECT_EQ(placed[5].Page, 2) << name;
        EXPECT_EQ(placed[5].Command->Top() - regions[5].Command->Top(),
                  placed[0].Command->Top() - regions[0].Command->Top())
            << name;
    }
    const auto memos = CommandsOf(pages, "Memo");
    EXPECT_EQ(Lines(memos[5].Command), Lines(memos[0].Command));
    ExpectPagesComeBackAlone(s);
}

TEST_F(StretchTest, RegionTallerThanAPageMovesOnceThenSplits) {
    StretchRig s(1);
    s.Rig.AddText(s.Detail, "Before", 0, 0, 40000, 4000, "antes");
    auto* region = s.Add<TrpRegion>(s.Detail, "Region", 0, 5000, 120000, 10000);
    region->SetKeepTogether(true);
    TrpMemo* memo = s.AddMemo("Memo", 1000, 6000, 100000, 4000, Paragraphs(6, 60, "t"));
    region->AddObject(memo);
    const auto pages = s.Print();
    ASSERT_GE(pages.size(), 3u);
    const auto placed = CommandsOf(pages, "Memo");
    ASSERT_GE(placed.size(), 2u);
    EXPECT_EQ(placed[0].Page, 2);  // moved once, off the page that held "antes"
    EXPECT_EQ(placed[1].Page, 3);  // then split
    EXPECT_EQ(PrintedWords(pages, "Memo"), Words(Paragraphs(6, 60, "t")));
    ExpectGolden("region_taller_than_page", DumpPages(pages));
    ExpectPagesComeBackAlone(s);
}

TEST_F(StretchTest, CircleRegionWiderThanHighIsACircleOfItsHeightCentred) {
    StretchRig s(1, 30000);
    auto* region = s.Add<TrpRegion>(s.Detail, "Region", 10000, 2000, 60000, 20000);
    region->SetShapeType(stCircle);
    region->Pen()->SetWidth(1001);
    const auto pages = s.Print();
    const auto placed = CommandsOf(pages, "Region");
    ASSERT_EQ(placed.size(), 1u);
    auto* shape = dynamic_cast<const TrpDrawShape*>(placed[0].Command);
    ASSERT_NE(shape, nullptr);
    // Inset by half the pen (500) on every side: 59000 x 19000, a circle of
    // 19000 centred across (20000 further right).
    EXPECT_EQ(shape->ShapeType(), stEllipse);
    EXPECT_EQ(shape->Width(), 19000);
    EXPECT_EQ(shape->Height(), 19000);
    EXPECT_EQ(shape->Left(), 6350 + 10000 + 500 + 20000);
    EXPECT_EQ(shape->Top(), kBodyTop + 2000 + 500);
    ExpectGolden("region_circle", DumpPages(pages));
    ExpectPagesComeBackAlone(s);
}

// --- Several records ------------------------------------------------------------

// The pairs of boxes of one page that share some of their area, by maker
// and text ("p1 A 'relatório…' / Key 'R2'").
std::vector<std::string> OverlappingBoxes(const std::vector<const CapturedPage*>& Pages) {
    auto said = [](const CapturedPage* P, int I) {
        const TrpDrawCommand* c = P->Page->DrawCommands(I);
        auto* t = dynamic_cast<const TrpDrawText*>(c);
        return P->Makers[static_cast<std::size_t>(I)].second + " '" + (t != nullptr ? t->Text().substr(0, 16) : "") +
               "'@" + std::to_string(c->Top()) + "+" + std::to_string(c->Height());
    };
    std::vector<std::string> out;
    for (std::size_t p = 0; p < Pages.size(); ++p) {
        const TrpPage* page = Pages[p]->Page.get();
        for (int i = 0; i < page->DrawCommandCount(); ++i)
            for (int j = i + 1; j < page->DrawCommandCount(); ++j) {
                const TrpDrawCommand* a = page->DrawCommands(i);
                const TrpDrawCommand* b = page->DrawCommands(j);
                if (a->Left() < b->Left() + b->Width() && b->Left() < a->Left() + a->Width() &&
                    a->Top() < b->Top() + b->Height() && b->Top() < a->Top() + a->Height())
                    out.push_back("p" + std::to_string(p + 1) + " " + said(Pages[p], i) + " / " + said(Pages[p], j));
            }
    }
    return out;
}

// Records R1, R2, ... of one group, each with memo texts A, B and C of its
// own (every word tagged with its record): a group header, a key at the
// top of the detail band, and a group footer and a summary after the last.
struct RecordsRig : StretchRig {
    std::unique_ptr<RowsTable> Rows;
    std::vector<std::string> Texts[3];

    RecordsRig(int Count, int WordsOfA) {
        std::vector<std::vector<Variant>> rows;
        for (int r = 1; r <= Count; ++r) {
            std::vector<Variant> row{Variant("R" + std::to_string(r)), Variant("G")};
            for (int t = 0; t < 3; ++t) {
                const std::string tag = std::string(1, static_cast<char>('a' + t)) + std::to_string(r) + "-";
                Texts[t].push_back(Paragraphs(1, t == 0 ? WordsOfA : 6, tag));
                row.push_back(Variant(Texts[t].back()));
            }
            rows.push_back(row);
        }
        Rows = std::make_unique<RowsTable>(std::vector<std::string>{"Key", "Grp", "A", "B", "C"}, rows, "Rows", 8000);
        Rig.Report()->SetDataPipeline(Rows->Pipeline());
        Field(Rig.AddText(Detail, "Key", 0, 0, 20000, 3000), "Key");
        auto* group = new TrpGroup(Rig.Owner());
        group->SetReport(Rig.Report());
        group->SetDataPipeline(Rows->Pipeline());
        group->SetBreakName("Grp");
        group->HeaderBand()->SetmmHeight(5000);
        Field(Rig.AddText(group->HeaderBand(), "GroupHeaderText", 0, 0, 60000, 5000), "Grp");
        group->FooterBand()->SetmmHeight(6000);
        Rig.AddText(group->FooterBand(), "GroupFooterText", 0, 0, 60000, 5000, "fim do grupo");
        TrpBand* summary = Rig.Report()->CreateBand(btSummary);
        summary->SetmmHeight(6000);
        Rig.AddText(summary, "SummaryText", 0, 0, 60000, 5000, "resumo");
    }

    void Field(TrpComponent* C, const std::string& Name) {
        if (auto* t = dynamic_cast<TestText*>(C)) t->SetDataField(Name);
        if (auto* m = dynamic_cast<TrpDBMemo*>(C)) m->SetDataField(Name);
        C->SetDataPipeline(Rows->Pipeline());
    }

    TrpDBMemo* AddMemoOf(const std::string& Name, int32_t Top) {
        auto* m = Add<TrpDBMemo>(Detail, Name, 0, Top, 100000, kLine + 100);
        m->Font()->SetName("Courier New");
        m->Font()->SetSize(10);
        Field(m, Name);
        m->SetStretch(true);
        return m;
    }

    // Every word of text T over all records, in record order.
    std::vector<std::string> WordsOf(int T) const {
        std::vector<std::string> all;
        for (const std::string& text : Texts[T])
            for (const std::string& w : Words(text)) all.push_back(w);
        return all;
    }
};

TEST_F(StretchTest, WhatShiftsBelowAStretchingMemoStaysAboveTheNextRecordAndTheClosingBands) {
    struct Case {
        std::string Name;
        int Records;
        int Dependents;     // memos shifting in a chain below A
        bool Subreport;     // a child subreport shifting below A
    };
    const std::vector<Case> cases{{"B below A", 3, 1, false},
                                  {"C below B below A", 3, 2, false},
                                  {"child subreport below A", 3, 0, true},
                                  {"C below B below A over pages", 12, 2, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        RecordsRig s(c.Records, 14);
        TrpStretchable* above = s.AddMemoOf("A", 4000);
        for (int d = 1; d <= c.Dependents; ++d) {
            TrpDBMemo* m = s.AddMemoOf(d == 1 ? "B" : "C", 4000 + d * (kLine + 2000));
            m->SetShiftRelativeTo(above);
            above = m;
        }
        if (c.Subreport) {
            auto* sub = s.Add<TrpSubReport>(s.Detail, "Sub", 0, 4000 + kLine + 2000, 100000, 2000);
            sub->SetParentWidth(false);
            sub->SetShiftRelativeTo(above);
            TrpDetailBand* items = sub->Report()->DetailBand();
            items->SetmmHeight(5000);
            s.Field(s.Rig.AddText(items, "Child", 0, 0, 60000, 4000), "Key");
        }
        const auto pages = s.Print();
        EXPECT_EQ(OverlappingBoxes(pages), std::vector<std::string>{});
        EXPECT_EQ(PrintedWords(pages, "A"), s.WordsOf(0));
        if (c.Dependents >= 1) EXPECT_EQ(PrintedWords(pages, "B"), s.WordsOf(1));
        if (c.Dependents >= 2) EXPECT_EQ(PrintedWords(pages, "C"), s.WordsOf(2));
        std::vector<std::string> keys;
        for (int r = 1; r <= c.Records; ++r) keys.push_back("R" + std::to_string(r));
        auto texts = [&pages](const std::string& Name) {
            std::vector<std::string> out;
            for (const Placed& p : CommandsOf(pages, Name)) out.push_back(dynamic_cast<const TrpDrawText*>(p.Command)->Text());
            return out;
        };
        EXPECT_EQ(texts("Key"), keys);
        if (c.Subreport) EXPECT_EQ(texts("Child"), keys);
        EXPECT_EQ(CommandsOf(pages, "GroupFooterText").size(), 1u);
        EXPECT_EQ(CommandsOf(pages, "SummaryText").size(), 1u);
        ExpectPagesComeBackAlone(s);
    }
}

// --- Page breaks ----------------------------------------------------------------

TEST_F(StretchTest, PageBreakBetweenTwoLabelsSendsTheSecondToTheNextPage) {
    StretchRig s(1, 40000);
    s.Detail->SetPrintHeight(phDynamic);
    s.Rig.AddText(s.Detail, "First", 0, 0, 40000, 4000, "primeiro");
    s.Add<TrpPageBreak>(s.Detail, "Break", 0, 5000, 1000, 300);
    s.Rig.AddText(s.Detail, "Second", 0, 6000, 40000, 4000, "segundo");
    const auto pages = s.Print();
    ASSERT_EQ(pages.size(), 2u);
    const auto first = CommandsOf(pages, "First");
    const auto second = CommandsOf(pages, "Second");
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(first[0].Page, 1);
    EXPECT_EQ(second[0].Page, 2);
    EXPECT_EQ(second[0].Command->Top(), kBodyTop + 1000);
    ExpectGolden("page_break_between_labels", DumpPages(pages));
    ExpectPagesComeBackAlone(s);
}

TEST_F(StretchTest, TwoPageBreaksMakeThreePagesAndAnInvisibleOneNone) {
    for (bool visible : {true, false}) {
        SCOPED_TRACE(visible ? "visible" : "invisible");
        StretchRig s(1, 40000);
        s.Detail->SetPrintHeight(phDynamic);
        s.Rig.AddText(s.Detail, "One", 0, 0, 40000, 4000, "um");
        auto* b1 = s.Add<TrpPageBreak>(s.Detail, "Break1", 0, 5000, 1000, 300);
        s.Rig.AddText(s.Detail, "Two", 0, 6000, 40000, 4000, "dois");
        auto* b2 = s.Add<TrpPageBreak>(s.Detail, "Break2", 0, 11000, 1000, 300);
        s.Rig.AddText(s.Detail, "Three", 0, 12000, 40000, 4000, "três");
        b1->SetVisible(visible);
        b2->SetVisible(visible);
        const auto pages = s.Print();
        ASSERT_EQ(pages.size(), visible ? 3u : 1u);
        for (const auto& [name, page] : std::map<std::string, int>{{"One", 1}, {"Two", 2}, {"Three", 3}}) {
            const auto placed = CommandsOf(pages, name);
            ASSERT_EQ(placed.size(), 1u) << name;
            EXPECT_EQ(placed[0].Page, visible ? page : 1) << name;
        }
        ExpectGolden(visible ? "page_break_two" : "page_break_invisible", DumpPages(pages));
        ExpectPagesComeBackAlone(s);
    }
}

TEST_F(StretchTest, WhatStandsAboveAPageBreakPrintsOnThePageTheBreakEnds) {
    // Memo A at 4000 stretches far below the break at 8000; B stands below
    // both, where A never reaches.
    struct Case {
        std::string Name;
        int WordsOfA;
        std::set<std::string> BreakOn;  // the records whose break is visible
    };
    const std::vector<Case> cases{{"on the second record", 14, {"R2"}},
                                  {"on every record", 14, {"R1", "R2", "R3", "R4"}},
                                  {"below a memo running over the page", 260, {"R1", "R2", "R3", "R4"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        RecordsRig s(4, c.WordsOfA);
        s.Detail->SetmmHeight(30000);
        s.AddMemoOf("A", 4000);
        auto* pageBreak = s.Add<TrpPageBreak>(s.Detail, "Break", 0, 8000, 1000, 300);
        TrpDBMemo* b = s.AddMemoOf("B", 26000);
        b->SetStretch(false);
        b->SetmmHeight(2 * kLine + 100);
        TrpDataPipeline* rows = s.Rows->Pipeline();
        s.Detail->BeforePrint = [&c, pageBreak, rows](TObject*) {
            pageBreak->SetVisible(c.BreakOn.count(rows->GetFieldValue("Key").AsString()) > 0);
        };
        const auto pages = s.Print();
        EXPECT_EQ(OverlappingBoxes(pages), std::vector<std::string>{});
        EXPECT_EQ(PrintedWords(pages, "A"), s.WordsOf(0));
        EXPECT_EQ(PrintedWords(pages, "B"), s.WordsOf(1));
        // A record whose break shows ends its page with A; its B opens the next.
        EXPECT_EQ(CommandsOf(pages, "Key").size(), 4u);
        const auto as = CommandsOf(pages, "A");
        const auto bs = CommandsOf(pages, "B");
        ASSERT_EQ(bs.size(), 4u);
        for (std::size_t r = 0; r < 4; ++r) {
            const std::string key = "R" + std::to_string(r + 1);
            int lastOfA = 0;
            for (const Placed& p : as)
                if (dynamic_cast<const TrpDrawText*>(p.Command)->Text().find("a" + std::to_string(r + 1) + "-") !=
                    std::string::npos)
                    lastOfA = p.Page;
            EXPECT_EQ(bs[r].Page, lastOfA + (c.BreakOn.count(key) > 0 ? 1 : 0)) << key;
        }
        ExpectPagesComeBackAlone(s);
    }
}

TEST_F(StretchTest, RandomLayoutsPrintEveryWordOnceInOrderAndPagesComeBackAlone) {
    std::mt19937 random(20261207);
    auto pick = [&random](int From, int To) { return std::uniform_int_distribution<int>(From, To)(random); };
    for (int run = 0; run < 60; ++run) {
        const int rows = pick(1, 5);
        StretchRig s(rows, pick(3000, 20000));
        s.Rig.Report()->HeaderBand()->SetmmHeight(pick(5000, 80000));
        TestText* key = s.Rig.AddText(s.Detail, "Key", 0, 0, 20000, 3000);
        key->SetDataPipeline(s.Data->Pipeline());
        key->SetDataField("Key");
        const std::string textA = Paragraphs(pick(1, 4), pick(1, 90), "a");
        const std::string textB = Paragraphs(pick(1, 2), pick(1, 40), "b");
        TrpMemo* a = s.AddMemo("A", pick(0, 20000), pick(3000, 15000), pick(30000, 150000), pick(1000, 8000), textA);
        a->SetmmBottomOffset(pick(0, 3000));
        a->SetKeepTogether(pick(0, 1) == 1);
        a->SetCharWrap(pick(0, 3) == 0);
        const bool withB = pick(0, 1) == 1;
        if (withB) {
            TrpMemo* b = s.AddMemo("B", pick(0, 20000), a->mmTop() + a->mmHeight() + pick(0, 5000), pick(30000, 150000),
                                   pick(1000, 8000), textB);
            b->SetShiftRelativeTo(a);
        }
        SCOPED_TRACE("run " + std::to_string(run));
        const auto pages = s.Print();
        std::vector<std::string> wantA, wantB;
        for (int r = 0; r < rows; ++r) {
            for (const std::string& w : Words(textA)) wantA.push_back(w);
            for (const std::string& w : Words(textB)) wantB.push_back(w);
        }
        // Character wrapping may split a word over two lines: compare the letters.
        auto joined = [](const std::vector<std::string>& Words_) {
            std::string all;
            for (const std::string& w : Words_) all += w;
            return all;
        };
        if (a->CharWrap())
            EXPECT_EQ(joined(PrintedWords(pages, "A")), joined(wantA));
        else
            EXPECT_EQ(PrintedWords(pages, "A"), wantA);
        if (withB) {
            EXPECT_EQ(PrintedWords(pages, "B"), wantB);
        }
        EXPECT_EQ(CommandsOf(pages, "Key").size(), static_cast<std::size_t>(rows));
        // Nothing prints below the body's bottom.
        for (const CapturedPage* p : pages)
            for (int i = 0; i < p->Page->DrawCommandCount(); ++i)
                if (p->Makers[static_cast<std::size_t>(i)].first == "TrpDetailBand") {
                    EXPECT_LE(p->Page->DrawCommands(i)->Top() + p->Page->DrawCommands(i)->Height(), kBodyBottom);
                }
        ExpectPagesComeBackAlone(s);
    }
}

// --- Runs -------------------------------------------------------------------------

TEST_F(StretchTest, RunningAReportTwiceGivesTheSamePages) {
    StretchRig s(3);
    TrpMemo* a = s.AddMemo("A", 0, 0, 100000, 4000, Paragraphs(2, 90, "x"));
    TrpMemo* b = s.AddMemo("B", 0, 6000, 100000, 4000, Paragraphs(1, 20, "y"));
    b->SetShiftRelativeTo(a);
    s.Rig.Print();
    const std::string first = DumpPages(s.Rig.Device()->FinalPages());
    const std::size_t count = s.Rig.Device()->FinalPages().size();
    s.Rig.Print();
    const auto all = s.Rig.Device()->FinalPages();
    ASSERT_EQ(all.size(), 2 * count);
    const std::vector<const CapturedPage*> second(all.begin() + static_cast<long>(count), all.end());
    EXPECT_EQ(DumpPages(second), first);
    EXPECT_GE(count, 2u);
}

}  // namespace

namespace streamtest {

// A form that streams the report objects it owns at its top level.
class TMemoForm : public TComponent {
public:
    explicit TMemoForm(TComponent* AOwner) : TComponent(AOwner) {}
    FAT_CLASS(TMemoForm)
    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override {
        for (int i = 0; i < ComponentCount(); ++i)
            if (Components(i)->GetParentComponent() == nullptr && Root == this) Proc(Components(i));
    }
};

}  // namespace streamtest

TClass streamtest::TMemoForm::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TMemoForm>("TMemoForm", TComponent::StaticClassType()).Build();
    return &info;
}

namespace {

TEST(MemoStream, MemosAndRegionsReadBackWithTheirSettingsShiftTargetsAndMembers) {
    RegisterClass(streamtest::TMemoForm::StaticClassType());
    {
        streamtest::TMemoForm form(nullptr);
        auto* report = new TrpCustomReport(&form);
        report->SetName("Report1");
        report->CreateDefaultBands();
        TrpBand* detail = report->GetBand(btDetail);
        auto* a = new TrpMemo(&form);
        a->SetName("MemoA");
        a->SetBand(detail);
        a->SetText("primeira linha\r\nsegunda, com ação");
        a->SetStretch(true);
        a->SetKeepTogether(true);
        a->SetCharWrap(true);
        a->SetmmLeading(350);
        a->SetmmBottomOffset(1200);
        a->SetmmOverFlowOffset(800);
        a->SetmmStopPosition(90000);
        auto* b = new TrpMemo(&form);
        b->SetName("MemoB");
        b->SetBand(detail);
        b->SetShiftRelativeTo(a);

        TMemoryStream stream;
        WriteComponent(stream, &form);
        stream.Seek(0, soBeginning);
        streamtest::TMemoForm copy(nullptr);
        ReadComponent(stream, &copy);
        auto* ra = dynamic_cast<TrpMemo*>(copy.FindComponent("MemoA"));
        auto* rb = dynamic_cast<TrpMemo*>(copy.FindComponent("MemoB"));
        ASSERT_NE(ra, nullptr);
        ASSERT_NE(rb, nullptr);
        EXPECT_EQ(ra->GetText(), a->GetText());
        EXPECT_TRUE(ra->Stretch());
        EXPECT_TRUE(ra->KeepTogether());
        EXPECT_TRUE(ra->CharWrap());
        EXPECT_EQ(ra->mmLeading(), 350);
        EXPECT_EQ(ra->mmBottomOffset(), 1200);
        EXPECT_EQ(ra->mmOverFlowOffset(), 800);
        EXPECT_EQ(ra->mmStopPosition(), 90000);
        EXPECT_EQ(rb->ShiftRelativeTo(), ra);
        EXPECT_EQ(ra->ShifterCount(), 1);
        EXPECT_EQ(ra->Band(), ra->Band()->Report()->GetBand(btDetail));
    }
    {
        // A region and what it holds.
        streamtest::TMemoForm form(nullptr);
        auto* report = new TrpCustomReport(&form);
        report->SetName("Report1");
        report->CreateDefaultBands();
        TrpBand* detail = report->GetBand(btDetail);
        auto* region = new TrpRegion(&form);
        region->SetName("Region1");
        region->SetBand(detail);
        region->SetKeepTogether(true);
        region->SetShapeType(stRoundRect);
        auto* memo = new TrpMemo(&form);
        memo->SetName("Memo1");
        memo->SetBand(detail);
        memo->SetStretch(true);
        auto* outside = new TrpMemo(&form);
        outside->SetName("Outside");
        outside->SetBand(detail);
        region->AddObject(memo);
        TMemoryStream stream;
        WriteComponent(stream, &form);
        stream.Seek(0, soBeginning);
        streamtest::TMemoForm copy(nullptr);
        ReadComponent(stream, &copy);
        auto* rr = dynamic_cast<TrpRegion*>(copy.FindComponent("Region1"));
        auto* rm = dynamic_cast<TrpMemo*>(copy.FindComponent("Memo1"));
        auto* ro = dynamic_cast<TrpMemo*>(copy.FindComponent("Outside"));
        ASSERT_NE(rr, nullptr);
        ASSERT_NE(rm, nullptr);
        ASSERT_NE(ro, nullptr);
        EXPECT_TRUE(rr->KeepTogether());
        EXPECT_TRUE(rr->Stretch());
        ASSERT_EQ(rr->ObjectCount(), 1);
        EXPECT_EQ(rr->Objects(0), rm);
        EXPECT_EQ(rm->Region(), rr);
        EXPECT_EQ(ro->ParentRegion(), nullptr);
    }
    UnRegisterClass(streamtest::TMemoForm::StaticClassType());
}

}  // namespace

namespace {

TEST(StretchScripting, MemoAndRegionMembersByName) {
    TComponent owner(nullptr);
    auto* memo = new TrpMemo(&owner);
    const TrsRTTI* memoAdapter = TrsRTTIClassRegistry::GetRTTIClass(TrpMemo::StaticClassType());
    ASSERT_EQ(memoAdapter, TrsTrpCustomMemoRTTI::Instance());
    EXPECT_TRUE(memoAdapter->SetPropValue(memo, "CharWrap", TrsValue(true)));
    EXPECT_TRUE(memo->CharWrap());
    EXPECT_TRUE(memoAdapter->SetPropValue(memo, "Text", TrsValue(std::string("um\ndois"))));
    TrsValue value;
    ASSERT_TRUE(memoAdapter->GetPropValue(memo, "Lines", value));
    ASSERT_TRUE(std::holds_alternative<TObject*>(value));
    EXPECT_EQ(dynamic_cast<TStrings*>(std::get<TObject*>(value))->Count(), 2);
    // What generation lays out and the stored length are read only.
    EXPECT_FALSE(memoAdapter->SetPropValue(memo, "PrintLines", TrsValue(static_cast<TObject*>(nullptr))));
    EXPECT_FALSE(memoAdapter->SetPropValue(memo, "mmLeading", TrsValue(int32_t{5})));
    memo->SetmmLeading(2646);  // ten screen pixels
    ASSERT_TRUE(memoAdapter->GetPropValue(memo, "spLeading", value));
    EXPECT_EQ(std::get<int32_t>(value), 10);

    auto* region = new TrpRegion(&owner);
    auto* inside = new TrpMemo(&owner);
    region->AddObject(inside);
    const TrsRTTI* regionAdapter = TrsRTTIClassRegistry::GetRTTIClass(TrpRegion::StaticClassType());
    ASSERT_EQ(regionAdapter, TrsTrpCustomRegionRTTI::Instance());
    ASSERT_TRUE(regionAdapter->GetPropValue(region, "ObjectCount", value));
    EXPECT_EQ(std::get<int32_t>(value), 1);
    auto params = regionAdapter->GetParams("Objects");
    ASSERT_NE(params, nullptr);
    int32_t index = 0;
    TObject* result = nullptr;
    params->BindParam(0, &index);
    params->BindParam(1, &result);
    ASSERT_TRUE(regionAdapter->CallMethod(region, "Objects", false, params.get()));
    EXPECT_EQ(result, inside);
    EXPECT_FALSE(regionAdapter->SetPropValue(region, "ObjectCount", TrsValue(int32_t{3})));
}

// --- Data memos ----------------------------------------------------------------

// Records of a key and an observation, in a memory table.
std::unique_ptr<RowsTable> Observations(const std::vector<std::string>& Texts) {
    std::vector<std::vector<Variant>> rows;
    for (std::size_t i = 0; i < Texts.size(); ++i)
        rows.push_back({Variant("K" + std::to_string(i + 1)), Variant(Texts[i])});
    return std::make_unique<RowsTable>(std::vector<std::string>{"Key", "Obs"}, rows, "Obs", 8000);
}

TrpDBMemo* AddDBMemo(StretchRig& S, RowsTable& Table, const std::string& Name, int32_t Top, bool Stretch = true) {
    S.Rig.Report()->SetDataPipeline(Table.Pipeline());
    auto* m = S.Add<TrpDBMemo>(S.Detail, Name, 0, Top, 100000, 4000);
    m->Font()->SetName("Courier New");
    m->Font()->SetSize(10);
    m->SetDataPipeline(Table.Pipeline());
    m->SetDataField("Obs");
    m->SetmmHeight(kLine + 100);
    if (Stretch) m->SetStretch(true);
    return m;
}

// The text of each command a component made, page by page.
std::vector<std::pair<int, std::string>> TextsOf(const std::vector<const CapturedPage*>& Pages, const std::string& Name) {
    std::vector<std::pair<int, std::string>> out;
    for (const Placed& p : CommandsOf(Pages, Name)) {
        auto* t = dynamic_cast<const TrpDrawText*>(p.Command);
        std::string text;
        for (int l = 0; t != nullptr && l < t->WrappedText()->Count(); ++l) text += t->WrappedText()->Strings(l) + "|";
        out.emplace_back(p.Page, text);
    }
    return out;
}

TEST_F(StretchTest, DataMemoRunsItsRecordsAcrossAPageBreakWithEveryWordOnce) {
    // The second record's text does not fit what is left of the first page.
    const std::vector<std::string> texts = {Paragraphs(2, 40, "a"), Paragraphs(4, 70, "b"), Paragraphs(1, 12, "c")};
    auto table = Observations(texts);
    StretchRig s;
    TestText* key = s.Rig.AddText(s.Detail, "Key", 0, 0, 20000, 4000);
    key->SetDataPipeline(table->Pipeline());
    key->SetDataField("Key");
    AddDBMemo(s, *table, "Obs", 5000);
    const auto pages = s.Print();
    ExpectGolden("dbmemo_page_break", DumpPages(pages));
    ASSERT_EQ(pages.size(), 2u);
    std::vector<std::string> expected;
    for (const std::string& t : texts)
        for (const std::string& w : Words(t)) expected.push_back(w);
    EXPECT_EQ(PrintedWords(pages, "Obs"), expected);
    const auto placed = CommandsOf(pages, "Obs");
    ASSERT_EQ(placed.size(), 4u);
    EXPECT_EQ(placed[1].Page, 1);
    EXPECT_EQ(placed[2].Page, 2);
    // The continuation starts at the top of the body, the keys print once.
    EXPECT_EQ(placed[2].Command->Top(), kBodyTop);
    EXPECT_EQ(CommandsOf(pages, "Key").size(), 3u);
    ExpectPagesComeBackAlone(s);
}

TEST_F(StretchTest, DataMemoWithoutAutoDisplayKeepsItsTextWhenTheRecordChanges) {
    auto table = Observations({"primeiro", "segundo", "terceiro"});
    StretchRig s(1, 6000);
    TrpDBMemo* shown = AddDBMemo(s, *table, "Shown", 0, false);
    TrpDBMemo* kept = AddDBMemo(s, *table, "Kept", 0, false);
    kept->SetmmLeft(110000);
    kept->SetmmWidth(60000);
    kept->SetAutoDisplay(false);
    kept->SetText("texto fixo");
    ASSERT_EQ(kept->GetLines()->Count(), 1);
    EXPECT_EQ(kept->GetLines()->Strings(0), "texto fixo");
    const auto pages = s.Print();
    const std::vector<std::pair<int, std::string>> shownTexts = {{1, "primeiro|"}, {1, "segundo|"}, {1, "terceiro|"}};
    EXPECT_EQ(TextsOf(pages, "Shown"), shownTexts);
    const std::vector<std::pair<int, std::string>> keptTexts = {{1, "texto fixo|"}, {1, "texto fixo|"}, {1, "texto fixo|"}};
    EXPECT_EQ(TextsOf(pages, "Kept"), keptTexts);
    // Turning it back on takes the record's text again.
    table->Pipeline()->Open();
    table->Pipeline()->First();
    kept->SetAutoDisplay(true);
    ASSERT_EQ(kept->GetLines()->Count(), 1);
    EXPECT_EQ(kept->GetLines()->Strings(0), "primeiro");
}

TEST_F(StretchTest, OnGetMemoAndItsListenersFillTheLinesWhilePrinting) {
    auto table = Observations({"um", "dois"});
    StretchRig s(1, 12000);
    TrpDBMemo* memo = AddDBMemo(s, *table, "Memo", 0, false);
    memo->SetmmHeight(3 * kLine);
    int calls = 0;
    memo->OnGetMemo = [&calls, memo, &table](TObject* Sender, TStrings* Lines) {
        EXPECT_EQ(Sender, memo);
        ++calls;
        Lines->Add("campo " + table->Pipeline()->GetFieldAsString("Obs"));
    };
    // A listener of event 86 gets the same list and adds to it.
    TrpCommunicator listener(nullptr);
    listener.EventSet().set(rpevGetMemo);
    std::vector<std::string> heard;
    listener.OnEventNotify = [&heard](TObject*, TObject*, int Event, TrsParamList* Params) {
        ASSERT_NE(Params, nullptr);
        ASSERT_EQ(Params->Count(), 1);
        EXPECT_EQ(Params->Names(0), "Lines");
        TrsValue v;
        ASSERT_TRUE(Params->GetParamValue(0, v));
        auto* lines = dynamic_cast<TStrings*>(std::get<TObject*>(v));
        ASSERT_NE(lines, nullptr);
        heard.push_back(std::to_string(Event) + ":" + lines->Strings(0));
        lines->Add("do ouvinte");
    };
    memo->AddEventNotify(&listener);
    // Outside printing nobody is asked and the text is empty.
    EXPECT_EQ(memo->GetLines()->Count(), 0);
    EXPECT_EQ(calls, 0);
    const auto pages = s.Print();
    const std::vector<std::pair<int, std::string>> expected = {{1, "campo um|do ouvinte|"}, {1, "campo dois|do ouvinte|"}};
    EXPECT_EQ(TextsOf(pages, "Memo"), expected);
    EXPECT_GE(calls, 2);
    ASSERT_GE(heard.size(), 2u);
    EXPECT_EQ(heard.front(), "86:campo um");
    memo->RemoveEventNotify(&listener);
}

TEST_F(StretchTest, RepeatedValuesAreLeftOutButPrintAgainAtTheTopOfEachPage) {
    // Sixty records, the first fifty alike: one value on each page for the
    // run of equal values, then every change.
    std::vector<std::string> texts(50, "mesmo valor");
    for (int i = 0; i < 10; ++i) texts.push_back(i % 3 == 2 ? "outro" : "valor " + std::to_string(i / 3));
    auto table = Observations(texts);
    StretchRig s(1, 6000);
    TestText* key = s.Rig.AddText(s.Detail, "Key", 0, 0, 20000, 4000);
    key->SetDataPipeline(table->Pipeline());
    key->SetDataField("Key");
    TrpDBMemo* memo = AddDBMemo(s, *table, "Obs", 0, false);
    memo->SetmmLeft(30000);
    memo->SetmmWidth(100000);
    memo->SetSuppressRepeatedValues(true);
    EXPECT_TRUE(memo->IsCalculated());
    EXPECT_TRUE(memo->EventSet().test(rpevRecordTraversed));
    const auto pages = s.Print();
    ASSERT_EQ(pages.size(), 2u);
    const std::size_t perPage = CommandsOf({pages[0]}, "Key").size();
    ASSERT_LT(perPage, 50u);
    std::vector<std::pair<int, std::string>> expected = {{1, "mesmo valor|"}, {2, "mesmo valor|"}};
    // The values after the run: each differs from the one before it.
    for (int i = 0; i < 10; ++i) expected.push_back({2, (i % 3 == 2 ? "outro" : "valor " + std::to_string(i / 3)) + "|"});
    // "valor 0" twice in a row prints once, and so on.
    std::vector<std::pair<int, std::string>> collapsed;
    for (const auto& e : expected)
        if (collapsed.empty() || collapsed.back() != e) collapsed.push_back(e);
    EXPECT_EQ(TextsOf(pages, "Obs"), collapsed);
    EXPECT_EQ(CommandsOf(pages, "Key").size(), 60u);
    ExpectGolden("dbmemo_repeated_values", DumpPages(pages));
    ExpectPagesComeBackAlone(s);
    // Off again, nothing is left out.
    memo->SetSuppressRepeatedValues(false);
    EXPECT_FALSE(memo->EventSet().test(rpevRecordTraversed));
    const std::size_t before = s.Rig.Device()->Pages().size();
    s.Rig.Print();
    std::vector<const CapturedPage*> again;
    for (std::size_t i = before; i < s.Rig.Device()->Pages().size(); ++i) again.push_back(&s.Rig.Device()->Pages()[i]);
    EXPECT_EQ(CommandsOf(again, "Obs").size(), 60u);
}

TEST_F(StretchTest, DataMemoWithoutDataOrFieldPrintsNothing) {
    auto table = Observations({"algo"});
    StretchRig s(1, 6000);
    TrpDBMemo* noField = AddDBMemo(s, *table, "NoField", 0);
    noField->SetDataField("");
    TrpDBMemo* unknown = AddDBMemo(s, *table, "Unknown", 0);
    unknown->SetDataField("NaoExiste");
    const auto pages = s.Print();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_TRUE(CommandsOf(pages, "NoField").empty());
    EXPECT_TRUE(CommandsOf(pages, "Unknown").empty());
}

TEST_F(StretchTest, RepeatedValueAfterAGroupBreakPrintsAgain) {
    std::vector<std::vector<Variant>> rows;
    for (const char* grp : {"A", "A", "B", "B", "B"}) rows.push_back({Variant(std::string(grp)), Variant(std::string("igual"))});
    RowsTable table({"Grp", "Obs"}, rows, "Obs", 200);
    StretchRig s(1, 5000);
    TrpDBMemo* memo = AddDBMemo(s, table, "Obs", 0, false);
    memo->SetSuppressRepeatedValues(true);
    TestText* key = s.Rig.AddText(s.Detail, "Grp", 110000, 0, 20000, 4000);
    key->SetDataPipeline(table.Pipeline());
    key->SetDataField("Grp");
    auto* group = new TrpGroup(s.Rig.Owner());
    group->SetName("Grupo");
    group->SetReport(s.Rig.Report());
    group->SetDataPipeline(table.Pipeline());
    group->SetBreakName("Grp");
    const auto pages = s.Print();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(CommandsOf(pages, "Grp").size(), 5u);
    const auto placed = CommandsOf(pages, "Obs");
    ASSERT_EQ(placed.size(), 2u);
    // Beside the first A and the first B.
    const auto keys = CommandsOf(pages, "Grp");
    EXPECT_EQ(placed[0].Command->Top(), keys[0].Command->Top());
    EXPECT_EQ(placed[1].Command->Top(), keys[2].Command->Top());
}

TEST(DataMemoScripting, AdapterAddsAutoDisplayAndTheGetMemoEvent) {
    const TrsRTTI* a = TrsRTTIClassRegistry::GetRTTIClass(TrpDBMemo::StaticClassType());
    ASSERT_EQ(a, TrsTrpDBMemoRTTI::Instance());
    EXPECT_EQ(TrsRTTIClassRegistry::GetRTTIClass(TrpMemo::StaticClassType()), TrsTrpCustomMemoRTTI::Instance());
    TrsMemberDescriptor rec;
    ASSERT_TRUE(a->GetPropRec(TrpDBMemo::StaticClassType(), "OnGetMemo", rec));
    EXPECT_EQ(rec.EventNumber, 86);
    ASSERT_NE(rec.Params, nullptr);
    ASSERT_EQ(rec.Params->Count(), 1);
    EXPECT_EQ(rec.Params->Names(0), "Lines");
    EXPECT_EQ(rec.Params->Items(0)->ClassType, TStrings::StaticClassType());
    ASSERT_TRUE(a->GetPropRec(TrpDBMemo::StaticClassType(), "autodisplay", rec));
    EXPECT_EQ(rec.DataType, rsBoolean);
    EXPECT_FALSE(rec.ReadOnly);
    ASSERT_TRUE(a->GetPropRec(TrpDBMemo::StaticClassType(), "PrintLines", rec)) << "the memo's members stay";
    TStringList events;
    a->GetEventList(TrpDBMemo::StaticClassType(), &events);
    EXPECT_GE(events.IndexOf("OnGetMemo"), 0);

    TComponent owner(nullptr);
    auto* memo = new TrpDBMemo(&owner);
    TrsValue v;
    ASSERT_TRUE(a->GetPropValue(memo, "AutoDisplay", v));
    EXPECT_EQ(std::get<bool>(v), true);
    ASSERT_TRUE(a->SetPropValue(memo, "AutoDisplay", TrsValue(false)));
    EXPECT_FALSE(memo->AutoDisplay());
    EXPECT_FALSE(a->SetPropValue(memo, "AutoDisplay", TrsValue(std::string("talvez"))));
    EXPECT_FALSE(memo->AutoDisplay());
}

}  // namespace
