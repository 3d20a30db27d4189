// Groups while a report generates: where group headers and footers land,
// when they repeat, move a group to a new page or keep it together, the
// events a group sends and the page numbers within a group.
#include <gtest/gtest.h>

#include <sstream>

#include "report/rpCacheManager.h"
#include "report/rpGeneration.h"
#include "report/rpGroup.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

struct Row {
    std::string City;
    std::string Status;
};

// Rows of City and Status, keyed K1, K2, ... in order.
std::vector<std::vector<Variant>> CityRows(const std::vector<std::pair<Row, int>>& Runs) {
    std::vector<std::vector<Variant>> rows;
    for (const auto& [row, count] : Runs)
        for (int i = 0; i < count; ++i)
            rows.push_back({Variant("K" + std::to_string(rows.size() + 1)), Variant(row.City), Variant(row.Status)});
    return rows;
}

// A page header and footer of 10 mm, a detail of 6 mm showing the key, a
// group on City (header 8 mm, footer 7 mm, both showing the city) and,
// when asked, a group inside it on Status (header 5 mm, footer 4 mm).
// The body runs from 16350 down to 280650.
struct GroupRig {
    ReportRig Rig;
    std::unique_ptr<RowsTable> Data;
    TrpGroup* City = nullptr;
    TrpGroup* Status = nullptr;

    explicit GroupRig(const std::vector<std::pair<Row, int>>& Runs, bool Nested = false)
        : Data(std::make_unique<RowsTable>(std::vector<std::string>{"Key", "City", "Status"}, CityRows(Runs))) {
        TrpBandedReport* r = Rig.Report();
        TrpDBPipeline* pipeline = Data->Pipeline();
        r->SetDataPipeline(pipeline);
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(10000);
        Rig.AddText(r->HeaderBand(), "PageHeaderText", 0, 0, 100000, 5000, "Vendas por cidade");
        r->FooterBand()->SetmmHeight(10000);
        Rig.AddText(r->FooterBand(), "PageFooterText", 0, 0, 60000, 4000, "Rodapé");
        r->DetailBand()->SetmmHeight(6000);
        Field(Rig.AddText(r->DetailBand(), "KeyText", 1000, 0, 40000, 5000), "Key");
        City = AddGroup("GrupoCidade", "City", 8000, 7000, "GroupText", "GroupFooterText");
        if (Nested) Status = AddGroup("GrupoSituacao", "Status", 5000, 4000, "InnerText", "InnerFooterText");
    }

    TrpGroup* AddGroup(const std::string& Name, const std::string& FieldName, int32_t HeaderHeight,
                       int32_t FooterHeight, const std::string& HeaderText, const std::string& FooterText) {
        auto* g = new TrpGroup(Rig.Owner());
        g->SetName(Name);
        g->SetReport(Rig.Report());
        g->SetDataPipeline(Data->Pipeline());
        g->SetBreakName(FieldName);
        g->HeaderBand()->SetmmHeight(HeaderHeight);
        g->FooterBand()->SetmmHeight(FooterHeight);
        Field(Rig.AddText(g->HeaderBand(), HeaderText, 0, 0, 50000, std::min<int32_t>(HeaderHeight, 4000)),
              FieldName);
        Field(Rig.AddText(g->FooterBand(), FooterText, 0, 0, 50000, std::min<int32_t>(FooterHeight, 4000)),
              FieldName);
        return g;
    }

    void Field(TestText* Text, const std::string& Name) {
        Text->SetDataPipeline(Data->Pipeline());
        Text->SetDataField(Name);
    }

    std::vector<const CapturedPage*> Pages() const { return Rig.Device()->FinalPages(); }
};

// One line per page: the group bands' texts and tops, runs of details
// collapsed to their first and last key ("D:K1..K30@24350" gives the top of
// the first). The page header and footer are left out.
std::string Outline(const std::vector<const CapturedPage*>& Pages) {
    std::ostringstream out;
    for (const CapturedPage* p : Pages) {
        out << "p" << p->Page->AbsolutePageNo() << ":";
        std::string firstKey, lastKey;
        int32_t firstTop = 0;
        auto flush = [&] {
            if (firstKey.empty()) return;
            out << " D:" << firstKey;
            if (lastKey != firstKey) out << ".." << lastKey;
            out << "@" << firstTop;
            firstKey.clear();
        };
        for (int i = 0; i < p->Page->DrawCommandCount(); ++i) {
            auto* text = dynamic_cast<TrpDrawText*>(p->Page->DrawCommands(i));
            if (text == nullptr) continue;
            const std::string& component = p->Makers[static_cast<std::size_t>(i)].second;
            if (component == "KeyText") {
                if (firstKey.empty()) firstTop = text->Top(), firstKey = text->Text();
                lastKey = text->Text();
                continue;
            }
            flush();
            if (component == "GroupText") out << " G:" << text->Text() << "@" << text->Top();
            if (component == "GroupFooterText") out << " F:" << text->Text() << "@" << text->Top();
            if (component == "InnerText") out << " I:" << text->Text() << "@" << text->Top();
            if (component == "InnerFooterText") out << " IF:" << text->Text() << "@" << text->Top();
        }
        flush();
        out << "\n";
    }
    return out.str();
}

void SetThreshold(GroupRig& G, int32_t Thousandths) {
    G.Rig.Report()->SetUnits(utMMThousandths);
    G.City->SetNewPageThreshold(static_cast<float>(Thousandths));
    ASSERT_EQ(G.City->mmNewPageThreshold(), Thousandths);
}

// --- Where the group bands land ---------------------------------------------

TEST(GroupGoldens, AGroupThatGoesOnRepeatsItsHeaderAtTheTopOfTheNextPage) {
    GroupRig g({{{"Campinas", ""}, 30}, {{"Santos", ""}, 30}, {{"Sorocaba", ""}, 3}});
    g.Rig.Print();
    // Santos starts below the Campinas footer; ten of its rows fit
    // (219350 + 10 x 6000 = 279350), the eleventh goes to page 2 under the
    // repeated header.
    EXPECT_EQ(Outline(g.Pages()),
              "p1: G:Campinas@16350 D:K1..K30@24350 F:Campinas@204350 G:Santos@211350 D:K31..K40@219350\n"
              "p2: G:Santos@16350 D:K41..K60@24350 F:Santos@144350 G:Sorocaba@151350 D:K61..K63@159350 "
              "F:Sorocaba@177350\n");
    ExpectGolden("group_reprinted_headers", DumpPages(g.Pages()));
}

TEST(GroupGoldens, WithoutReprintTheContinuedGroupStartsWithItsRows) {
    GroupRig g({{{"Campinas", ""}, 30}, {{"Santos", ""}, 30}});
    g.City->SetReprintOnSubsequentPage(false);
    g.Rig.Print();
    EXPECT_EQ(Outline(g.Pages()),
              "p1: G:Campinas@16350 D:K1..K30@24350 F:Campinas@204350 G:Santos@211350 D:K31..K40@219350\n"
              "p2: D:K41..K60@16350 F:Santos@136350\n");
}

TEST(GroupGoldens, NewPageStartsEveryGroupButTheFirstOnAFreshPage) {
    GroupRig g({{{"Campinas", ""}, 3}, {{"Santos", ""}, 2}, {{"Sorocaba", ""}, 1}});
    g.City->SetNewPage(true);
    EventRecorder recorder(g.Rig.Report()->Engine());
    recorder.Listen(g.City, {rpevBeforeGroupBreak});
    g.Rig.Print();
    // Each break is announced once, on the page its header prints on.
    EXPECT_EQ(recorder.Trace(), "1:GrupoCidade:28\n2:GrupoCidade:28\n3:GrupoCidade:28\n");
    EXPECT_EQ(Outline(g.Pages()),
              "p1: G:Campinas@16350 D:K1..K3@24350 F:Campinas@42350\n"
              "p2: G:Santos@16350 D:K4..K5@24350 F:Santos@36350\n"
              "p3: G:Sorocaba@16350 D:K6@24350 F:Sorocaba@30350\n");
    ExpectGolden("group_new_page", DumpPages(g.Pages()));
}

TEST(GroupGoldens, KeepTogetherMovesAGroupOnceThenLetsItSplit) {
    // A fills page 1 all but 9300; B (8000 + 60000 + 7000) does not fit
    // there and moves whole to page 2; C is taller than a page: it moves
    // once to page 3 and then runs on to page 4.
    GroupRig g({{{"A", ""}, 40}, {{"B", ""}, 10}, {{"C", ""}, 50}});
    g.City->SetKeepTogether(true);
    g.Rig.Print();
    EXPECT_EQ(Outline(g.Pages()),
              "p1: G:A@16350 D:K1..K40@24350 F:A@264350\n"
              "p2: G:B@16350 D:K41..K50@24350 F:B@84350\n"
              "p3: G:C@16350 D:K51..K92@24350\n"
              "p4: G:C@16350 D:K93..K100@24350 F:C@72350\n");
    ExpectGolden("group_keep_together", DumpPages(g.Pages()));
}

TEST(GroupGeneration, AKeptGroupAtTheTopOfTheBodySplitsAtOnce) {
    // Nothing stands above it: a new page would give it no more room.
    GroupRig g({{{"A", ""}, 45}, {{"B", ""}, 1}});
    g.City->SetKeepTogether(true);
    g.Rig.Print();
    EXPECT_EQ(Outline(g.Pages()),
              "p1: G:A@16350 D:K1..K42@24350\n"
              "p2: G:A@16350 D:K43..K45@24350 F:A@42350 G:B@49350 D:K46@57350 F:B@63350\n");
}

TEST(GroupGeneration, AKeptGroupMovesWithEveryBandOfItsRecords) {
    // Three bands per record: B's first record would split after its
    // first band (at 273350); the whole group moves and prints all three
    // bands of each record on page 2.
    GroupRig g({{{"A", ""}, 13}, {{"B", ""}, 2}});
    g.City->SetKeepTogether(true);
    g.Rig.Report()->DetailBand()->SetBandsPerRecord(3);
    g.Rig.Print();
    EXPECT_EQ(Outline(g.Pages()),
              "p1: G:A@16350 D:K1..K13@24350 F:A@258350\n"
              "p2: G:B@16350 D:K14..K15@24350 F:B@60350\n");
    const auto pages = g.Pages();
    ASSERT_EQ(pages.size(), 2u);
    int keys = 0;
    for (int i = 0; i < pages[1]->Page->DrawCommandCount(); ++i)
        if (pages[1]->Makers[static_cast<std::size_t>(i)].second == "KeyText") ++keys;
    EXPECT_EQ(keys, 6);
}

TEST(GroupGeneration, EveryFooterPrintsBeforeTheSummary) {
    GroupRig g({{{"Campinas", "ativo"}, 1}, {{"Santos", "ativo"}, 1}}, true);
    TrpBand* summary = g.Rig.Report()->CreateBand(btSummary);
    summary->SetmmHeight(9000);
    g.Rig.AddText(summary, "SummaryText", 0, 0, 50000, 4000, "Total geral");
    g.Rig.Print();
    const std::string dump = DumpPages(g.Pages());
    EXPECT_EQ(Outline(g.Pages()),
              "p1: G:Campinas@16350 I:ativo@24350 D:K1@29350 IF:ativo@35350 F:Campinas@39350 G:Santos@46350 "
              "I:ativo@54350 D:K2@59350 IF:ativo@65350 F:Santos@69350\n");
    EXPECT_NE(dump.find("component=SummaryText rect=6350,76350,"), std::string::npos) << dump;
}

TEST(GroupGoldens, OverOneRecordEachHeaderAndFooterPrintsOnce) {
    GroupRig g({{{"Campinas", "ativo"}, 1}}, true);
    g.Rig.Print();
    EXPECT_EQ(Outline(g.Pages()),
              "p1: G:Campinas@16350 I:ativo@24350 D:K1@29350 IF:ativo@35350 F:Campinas@39350\n");
    ExpectGolden("group_one_record", DumpPages(g.Pages()));
}

TEST(GroupGoldens, AnOuterBreakRestartsTheInnerGroupEvenOnAnEqualValue) {
    GroupRig g({{{"Campinas", "ativo"}, 2}, {{"Campinas", "inativo"}, 1}, {{"Santos", "inativo"}, 2}}, true);
    g.Rig.Print();
    EXPECT_EQ(Outline(g.Pages()),
              "p1: G:Campinas@16350 I:ativo@24350 D:K1..K2@29350 IF:ativo@41350 I:inativo@45350 D:K3@50350 "
              "IF:inativo@56350 F:Campinas@60350 G:Santos@67350 I:inativo@75350 D:K4..K5@80350 "
              "IF:inativo@92350 F:Santos@96350\n");
    ExpectGolden("group_nested", DumpPages(g.Pages()));
}

TEST(GroupGeneration, BreaksAreExactAndCaseSensitive) {
    GroupRig g({{{"santos", ""}, 1}, {{"Santos", ""}, 1}, {{"Santos", ""}, 1}, {{"Santos ", ""}, 1}});
    g.Rig.Print();
    EXPECT_EQ(Outline(g.Pages()),
              "p1: G:santos@16350 D:K1@24350 F:santos@30350 G:Santos@37350 D:K2..K3@45350 F:Santos@57350 "
              "G:Santos @64350 D:K4@72350 F:Santos @78350\n");
}

TEST(GroupGeneration, AFooterThatDoesNotFitMovesBelowItsRepeatedHeader) {
    // 42 rows of A end at 276350: the footer (7000) has no room left.
    GroupRig g({{{"A", ""}, 42}, {{"B", ""}, 1}});
    g.Rig.Print();
    EXPECT_EQ(Outline(g.Pages()),
              "p1: G:A@16350 D:K1..K42@24350\n"
              "p2: G:A@16350 F:A@24350 G:B@31350 D:K43@39350 F:B@45350\n");
}

TEST(GroupGeneration, AnOrphanedFooterGoesAloneWhenItsHeaderIsNotWanted) {
    GroupRig g({{{"A", ""}, 42}, {{"B", ""}, 1}});
    g.City->SetHeaderForOrphanedFooter(false);
    g.Rig.Print();
    EXPECT_EQ(Outline(g.Pages()),
              "p1: G:A@16350 D:K1..K42@24350\n"
              "p2: F:A@16350 G:B@23350 D:K43@31350 F:B@37350\n");
}

TEST(GroupGeneration, AThresholdMovesTheGroupWhenTooLittleRoomIsLeft) {
    // After A's footer (at 49350) 231300 is left: a threshold one above
    // moves B, one equal to it does not.
    GroupRig g({{{"A", ""}, 3}, {{"B", ""}, 2}});
    SetThreshold(g, 231301);
    g.Rig.Print();
    EXPECT_EQ(Outline(g.Pages()),
              "p1: G:A@16350 D:K1..K3@24350 F:A@42350\n"
              "p2: G:B@16350 D:K4..K5@24350 F:B@36350\n");
    GroupRig h({{{"A", ""}, 3}, {{"B", ""}, 2}});
    SetThreshold(h, 231300);
    h.Rig.Print();
    EXPECT_EQ(Outline(h.Pages()), "p1: G:A@16350 D:K1..K3@24350 F:A@42350 G:B@49350 D:K4..K5@57350 F:B@69350\n");
}

TEST(GroupGeneration, AThresholdAboveThePrintableHeightEndsWithEveryGroupOnItsOwnPage) {
    // No page can ever leave that much room: each group moves once and then
    // prints, and the run ends.
    GroupRig g({{{"A", ""}, 3}, {{"B", ""}, 2}, {{"C", ""}, 1}});
    SetThreshold(g, 400000);
    g.Rig.Print();
    EXPECT_EQ(Outline(g.Pages()),
              "p1: G:A@16350 D:K1..K3@24350 F:A@42350\n"
              "p2: G:B@16350 D:K4..K5@24350 F:B@36350\n"
              "p3: G:C@16350 D:K6@24350 F:C@30350\n");
}

// --- Events ----------------------------------------------------------------

TEST(GroupEvents, ResetBeforeAndAfterBreakComeInRecordOrder) {
    GroupRig g({{{"A", ""}, 2}, {{"B", ""}, 1}});
    EventRecorder recorder(g.Rig.Report()->Engine());
    recorder.Listen(g.City, {rpevAfterGroupBreak, rpevBeforeGroupBreak, rpevGroupBreak});
    std::vector<std::string> handlers;
    g.City->BeforeGroupBreak = [&](TObject*) {
        handlers.push_back("antes " + g.Data->Pipeline()->GetFieldAsString("City"));
    };
    g.City->AfterGroupBreak = [&](TObject*) {
        handlers.push_back("depois " + g.Data->Pipeline()->GetFieldAsString("City"));
    };
    g.Rig.Print();
    // 68 when the run resets the group and at the break found on K3; 28
    // before each header, 27 after each footer.
    EXPECT_EQ(recorder.Trace(),
              "0:GrupoCidade:68\n1:GrupoCidade:28\n1:GrupoCidade:68\n1:GrupoCidade:27\n1:GrupoCidade:28\n"
              "1:GrupoCidade:27\n");
    // The footer's handler still sees the group's own last record.
    EXPECT_EQ(handlers, (std::vector<std::string>{"antes A", "depois A", "antes B", "depois B"}));
}

TEST(GroupEvents, BandEventsComeBeforeEachPrintAndTheValueIsReadOncePerRecordStep) {
    GroupRig g({{{"A", ""}, 2}, {{"B", ""}, 1}});
    EventRecorder recorder(g.Rig.Report()->Engine());
    recorder.Listen(g.City, {rpevGroupHeaderBand, rpevGroupFooterBand, rpevGetBreakValue});
    g.Rig.Print();
    // 31 at the reset and after K1 and K2; no step is made past the last
    // record.
    EXPECT_EQ(recorder.Trace(), "0:GrupoCidade:31\n1:GrupoCidade:29\n1:GrupoCidade:31\n1:GrupoCidade:31\n"
                                "1:GrupoCidade:30\n1:GrupoCidade:29\n1:GrupoCidade:30\n");
}

TEST(GroupEvents, AHandlerThatChangesTheValueDecidesTheBreak) {
    // Only the first letter counts: Campinas and Curitiba are one group.
    GroupRig g({{{"Campinas", ""}, 1}, {{"Curitiba", ""}, 1}, {{"Santos", ""}, 1}});
    g.City->OnGetBreakValue = [](TObject*, std::string& Value) { Value = Value.substr(0, 1); };
    g.Rig.Print();
    EXPECT_EQ(Outline(g.Pages()),
              "p1: G:Campinas@16350 D:K1..K2@24350 F:Curitiba@36350 G:Santos@43350 D:K3@51350 F:Santos@57350\n");
}

TEST(GroupEvents, AGroupMovedByKeepTogetherAnnouncesItsBreakAgainOnItsNewPage) {
    GroupRig g({{{"A", ""}, 40}, {{"B", ""}, 10}});
    g.City->SetKeepTogether(true);
    EventRecorder recorder(g.Rig.Report()->Engine());
    recorder.Listen(g.City, {rpevAfterGroupBreak, rpevBeforeGroupBreak});
    g.Rig.Print();
    EXPECT_EQ(recorder.Trace(), "1:GrupoCidade:28\n1:GrupoCidade:27\n1:GrupoCidade:28\n2:GrupoCidade:28\n"
                                "2:GrupoCidade:27\n");
    EXPECT_EQ(g.City->GroupInstance(), 2);
    EXPECT_FALSE(g.City->KeptTogetherDone());
}

// --- Page numbers within a group ---------------------------------------------

std::string PageNumbers(const std::vector<const CapturedPage*>& Pages) {
    std::string numbers;
    for (const CapturedPage* p : Pages)
        numbers += std::to_string(p->Page->PageNo()) + "/" + std::to_string(p->Page->PageCount()) + " ";
    return numbers;
}

TEST(GroupPages, PageNumbersStartAgainWithEachGroup) {
    GroupRig g({{{"A", ""}, 50}, {{"B", ""}, 3}});
    g.City->SetNewPage(true);
    g.City->SetResetPageNo(true);
    g.Rig.Print();
    const auto pages = g.Pages();
    ASSERT_EQ(pages.size(), 3u);
    // In one pass page 1 cannot know yet that A ends on page 2.
    EXPECT_EQ(PageNumbers(pages), "1/1 2/2 1/1 ");
    EXPECT_EQ(pages[2]->Page->AbsolutePageNo(), 3);
}

TEST(GroupPages, TheSecondPassAndAPageMadeAgainKnowWhereTheGroupEnds) {
    // A on pages 1-2, B on 3-4: when A ends, the pages of A kept in the
    // cache learn its last page.
    GroupRig g({{{"A", ""}, 50}, {{"B", ""}, 60}});
    g.City->SetNewPage(true);
    g.City->SetResetPageNo(true);
    g.Rig.Report()->SetPassSetting(psTwoPass);
    g.Rig.Print();
    EXPECT_EQ(PageNumbers(g.Pages()), "1/2 2/2 1/2 2/2 ");

    GroupRig h({{{"A", ""}, 50}, {{"B", ""}, 60}});
    h.City->SetNewPage(true);
    h.City->SetResetPageNo(true);
    h.Rig.Print();
    EXPECT_EQ(PageNumbers(h.Pages()), "1/1 2/2 1/1 2/2 ");
    h.Rig.PrintPage(3);
    h.Rig.PrintPage(1);
    const auto pages = h.Pages();
    ASSERT_EQ(pages.size(), 6u);
    EXPECT_EQ(PageNumbers({pages[4], pages[5]}), "1/2 1/2 ");
}

// --- Page records of the group bands -----------------------------------------

TEST(GroupBands, TheMarkToPrintAndTheBreakFlagsTravelWithThePageRecord) {
    GroupRig g({{{"A", ""}, 1}});
    TrpGroupHeaderBand* header = g.City->HeaderBand();
    TrpCacheManager cache(nullptr);
    cache.ResetFromList({header, g.City->FooterBand()});
    header->SetGeneration(true);
    header->SetAlreadyPageBreak(true);
    g.City->FooterBand()->SetGeneration(true);
    cache.SavePage(0);
    header->SetGeneration(false);
    header->SetAlreadyPageBreak(false);
    g.City->FooterBand()->SetGeneration(false);
    cache.SavePage(1);
    cache.RestorePage(0);
    EXPECT_TRUE(header->Generation());
    EXPECT_TRUE(header->AlreadyPageBreak());
    EXPECT_FALSE(header->AlreadyColumnBreak());
    EXPECT_TRUE(g.City->FooterBand()->Generation());
    cache.RestorePage(1);
    EXPECT_FALSE(header->Generation());
    EXPECT_FALSE(g.City->FooterBand()->Generation());
}

}  // namespace

namespace {

// --- Group pages made again alone ----------------------------------------------

// A page's dump without its page count, which a one-pass run only knows
// at its end.
std::string CountFree(const std::string& Dump) {
    const std::size_t no = Dump.find(" no ");
    const std::size_t end = Dump.find(" first=");
    if (no == std::string::npos || end == std::string::npos) return Dump;
    const std::size_t slash = Dump.find('/');
    return Dump.substr(0, slash) + Dump.substr(no, Dump.find('/', no) - no) + Dump.substr(end);
}

void ExpectEveryPageAgain(GroupRig& G) {
    G.Rig.Print();
    std::vector<std::string> run;
    for (const CapturedPage* p : G.Pages()) run.push_back(CountFree(DumpPage(*p)));
    ASSERT_FALSE(run.empty());
    for (int k = static_cast<int>(run.size()); k >= 1; --k) {
        G.Rig.PrintPage(k);
        EXPECT_EQ(CountFree(DumpPage(*G.Pages().back())), run[static_cast<std::size_t>(k - 1)]) << "page " << k;
    }
}

TEST(GroupRegeneration, EveryPageOfEveryGroupGoldenComesBackAlone) {
    {
        SCOPED_TRACE("reprinted headers");
        GroupRig g({{{"Campinas", ""}, 30}, {{"Santos", ""}, 30}, {{"Sorocaba", ""}, 3}});
        ExpectEveryPageAgain(g);
    }
    {
        SCOPED_TRACE("new page");
        GroupRig g({{{"Campinas", ""}, 3}, {{"Santos", ""}, 2}, {{"Sorocaba", ""}, 1}});
        g.City->SetNewPage(true);
        ExpectEveryPageAgain(g);
    }
    {
        SCOPED_TRACE("keep together");
        GroupRig g({{{"A", ""}, 40}, {{"B", ""}, 10}, {{"C", ""}, 50}});
        g.City->SetKeepTogether(true);
        ExpectEveryPageAgain(g);
    }
    {
        SCOPED_TRACE("one record");
        GroupRig g({{{"Campinas", "ativo"}, 1}}, true);
        ExpectEveryPageAgain(g);
    }
    {
        SCOPED_TRACE("nested over pages");
        GroupRig g({{{"Campinas", "ativo"}, 25}, {{"Campinas", "inativo"}, 30}, {{"Santos", "inativo"}, 40}}, true);
        ExpectEveryPageAgain(g);
    }
}

}  // namespace
