// Reports in columns: down the page (the engine moves from column to
// column) and across it (the detail's horizontal engine fills each row),
// with the column headers and footers, a group, the column events, the
// column positions and every page made again alone.
#include <gtest/gtest.h>

#include <map>

#include "report/rpBandEngine.h"
#include "report/rpExcept.h"
#include "report/rpGeneration.h"
#include "report/rpGroup.h"
#include "report/rpMainReport.h"
#include "report/rpSubReport.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

// The first line where two dumps part, both ways; empty when equal.
std::string CountFree(const std::string& Dump) {
    // A one-pass run knows its page count only at its end.
    const std::size_t no = Dump.find(" no ");
    const std::size_t end = Dump.find(" first=");
    if (no == std::string::npos || end == std::string::npos) return Dump;
    const std::size_t slash = Dump.find('/');
    return Dump.substr(0, slash) + Dump.substr(no, Dump.find('/', no) - no) + Dump.substr(end);
}

std::string FirstDifference(const std::string& Again, const std::string& Run) {
    std::size_t a = 0, r = 0;
    for (;;) {
        const std::size_t ae = Again.find('\n', a), re = Run.find('\n', r);
        const std::string al = Again.substr(a, ae == std::string::npos ? std::string::npos : ae - a);
        const std::string rl = Run.substr(r, re == std::string::npos ? std::string::npos : re - r);
        if (al != rl) return "again: " + al + "\nrun:   " + rl;
        if (ae == std::string::npos || re == std::string::npos) return {};
        a = ae + 1;
        r = re + 1;
    }
}

// Keys K1..Kn: CityA rows in Campinas, CityB in Santos, CityC in Sorocaba.
std::vector<std::vector<Variant>> CityRows(int CityA, int CityB, int CityC) {
    std::vector<std::vector<Variant>> rows;
    for (int i = 1; i <= CityA + CityB + CityC; ++i)
        rows.push_back({Variant("K" + std::to_string(i)),
                        Variant(i <= CityA ? "Campinas" : i <= CityA + CityB ? "Santos" : "Sorocaba")});
    return rows;
}

// A4 with 6350 margins; page header and footer of 10 mm, column header and
// footer of 5 mm, a detail of 6 mm (40 mm wide), and a group on the city
// (header 8 mm, footer 7 mm). A column runs from 16350 down to 275650.
struct ColumnRig {
    ReportRig Rig;
    RowsTable Data;
    TrpGroup* City = nullptr;
    std::vector<std::string> Events;

    ColumnRig(int Columns, TrpColumnTraversalType Traversal, int CityA, int CityB, bool Group = true, int CityC = 0)
        : Data({"Key", "City"}, CityRows(CityA, CityB, CityC)) {
        TrpBandedReport* r = Rig.Report();
        r->SetDataPipeline(Data.Pipeline());
        r->SetColumns(Columns);
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(10000);
        Rig.AddText(r->HeaderBand(), "PageHeaderText", 0, 0, 100000, 5000, "Clientes por cidade");
        r->FooterBand()->SetmmHeight(10000);
        Rig.AddText(r->FooterBand(), "PageFooterText", 0, 0, 60000, 4000, "Rodapé");
        r->ColumnHeaderBand()->SetmmHeight(5000);
        Rig.AddText(r->ColumnHeaderBand(), "ColumnHeaderText", 0, 0, 30000, 4000, "Código");
        r->ColumnFooterBand()->SetmmHeight(5000);
        Rig.AddText(r->ColumnFooterBand(), "ColumnFooterText", 0, 0, 30000, 4000, "Fim");
        r->DetailBand()->SetColumnTraversal(Traversal);
        r->DetailBand()->SetmmHeight(6000);
        Field(Rig.AddText(r->DetailBand(), "KeyText", 1000, 0, 40000, 5000), "Key");
        if (Group) {
            City = new TrpGroup(Rig.Owner());
            City->SetName("GrupoCidade");
            City->SetReport(r);
            City->SetDataPipeline(Data.Pipeline());
            City->SetBreakName("City");
            City->HeaderBand()->SetmmHeight(8000);
            City->FooterBand()->SetmmHeight(7000);
            Field(Rig.AddText(City->HeaderBand(), "GroupText", 0, 0, 50000, 4000), "City");
            Field(Rig.AddText(City->FooterBand(), "GroupFooterText", 0, 0, 50000, 4000), "City");
        }
        r->OnStartColumn = [this](TObject*) { Events.push_back("start"); };
        r->OnEndColumn = [this](TObject*) { Events.push_back("end"); };
    }

    void Field(TestText* Text, const std::string& Name) {
        Text->SetDataPipeline(Data.Pipeline());
        Text->SetDataField(Name);
    }

    std::vector<const CapturedPage*> Pages() const { return Rig.Device()->FinalPages(); }

    // Per page and column (from where the command stands): the column
    // header "H", group texts, runs of keys as first..last with the top of
    // the first, the column footer "E".
    std::string Outline() const {
        const int32_t width = Rig.Report()->mmColumnWidth();
        std::string out;
        for (const CapturedPage* p : Pages()) {
            std::map<int, std::string> columns;
            std::map<int, std::pair<std::string, std::string>> runs;
            auto flush = [&](int c) {
                auto& [first, last] = runs[c];
                if (!first.empty()) columns[c] += " " + first + (last != first ? ".." + last : "");
                first.clear();
            };
            for (int i = 0; i < p->Page->DrawCommandCount(); ++i) {
                auto* text = dynamic_cast<TrpDrawText*>(p->Page->DrawCommands(i));
                if (text == nullptr) continue;
                const std::string& component = p->Makers[static_cast<std::size_t>(i)].second;
                if (component == "PageHeaderText" || component == "PageFooterText") continue;
                const int c = (text->Left() - 6350) / width;
                if (component == "KeyText") {
                    auto& [first, last] = runs[c];
                    if (first.empty()) first = text->Text() + "@" + std::to_string(text->Top());
                    last = text->Text();
                    continue;
                }
                flush(c);
                if (component == "ColumnHeaderText") columns[c] += " H@" + std::to_string(text->Top());
                if (component == "ColumnFooterText") columns[c] += " E@" + std::to_string(text->Top());
                if (component == "GroupText") columns[c] += " G:" + text->Text();
                if (component == "GroupFooterText") columns[c] += " F:" + text->Text();
            }
            out += "p" + std::to_string(p->Page->AbsolutePageNo()) + ":";
            for (auto& [c, text] : columns) {
                flush(c);
                out += " c" + std::to_string(c) + "[" + text + " ]";
            }
            out += "\n";
        }
        return out;
    }

    void ExpectEveryPageAgain() {
        std::vector<std::string> run;
        for (const CapturedPage* p : Pages()) run.push_back(CountFree(DumpPage(*p)));
        ASSERT_GT(run.size(), 1u);
        for (int k = static_cast<int>(run.size()); k >= 1; --k) {
            Rig.PrintPage(k);
            EXPECT_EQ(FirstDifference(CountFree(DumpPage(*Pages().back())), run[static_cast<std::size_t>(k - 1)]), "")
                << "page " << k;
        }
    }
};

// --- Down the page -------------------------------------------------------------

TEST(ColumnsDown, TwoColumnsFillTheFirstThenTheSecondAndRepeatTheGroupHeader) {
    // A column holds 41 rows under its header and its group header; the
    // footer stands on the page footer.
    ColumnRig c(2, ctTopToBottom, 50, 60);
    c.Rig.Print();
    EXPECT_EQ(c.Outline(),
              "p1: c0[ H@16350 G:Campinas K1@29350..K41 E@275650 ] "
              "c1[ H@16350 G:Campinas K42@29350..K50 F:Campinas G:Santos K51@98350..K79 E@275650 ]\n"
              "p2: c0[ H@16350 G:Santos K80@29350..K110 F:Santos E@275650 ]\n")
        << "a column not reached has neither header nor footer";
    ExpectGolden("columns_down_two", DumpPages(c.Pages()));
    c.ExpectEveryPageAgain();
}

TEST(ColumnsDown, ThreeColumnsAndTheColumnEventsPerColumn) {
    ColumnRig c(3, ctTopToBottom, 70, 80);
    c.Rig.Print();
    ASSERT_EQ(c.Pages().size(), 2u);
    ExpectGolden("columns_down_three", DumpPages(c.Pages()));
    const std::string outline = c.Outline();
    EXPECT_EQ(outline.substr(0, outline.find(" c1")), "p1: c0[ H@16350 G:Campinas K1@29350..K41 E@275650 ]");
    // Each column that starts sends its start, then its end.
    std::vector<std::string> expected;
    for (std::size_t at = outline.find("H@"); at != std::string::npos; at = outline.find("H@", at + 1))
        expected.insert(expected.end(), {"start", "end"});
    EXPECT_EQ(c.Events, expected);
    c.Events.clear();
    c.ExpectEveryPageAgain();
}

TEST(ColumnsDown, AKeptGroupMovesToTheNextColumnWhole) {
    // Each city takes 195 of a column's 259 mm.
    ColumnRig c(2, ctTopToBottom, 30, 30, true, 30);
    c.City->SetKeepTogether(true);
    c.Rig.Print();
    EXPECT_EQ(c.Outline(),
              "p1: c0[ H@16350 G:Campinas K1@29350..K30 F:Campinas E@275650 ] "
              "c1[ H@16350 G:Santos K31@29350..K60 F:Santos E@275650 ]\n"
              "p2: c0[ H@16350 G:Sorocaba K61@29350..K90 F:Sorocaba E@275650 ]\n");
    c.ExpectEveryPageAgain();
}

// --- Across the page -------------------------------------------------------------

TEST(ColumnsAcross, TwoColumnsFillEachRowAndANewRowStartsOneBandBelow) {
    ColumnRig c(2, ctLeftToRight, 5, 3);
    c.Rig.Print();
    // The column headers stand over the first row; the group ends the row
    // it stands in.
    EXPECT_EQ(c.Outline(),
              "p1: c0[ G:Campinas H@24350 K1@29350..K5 F:Campinas G:Santos K6@62350..K8 F:Santos E@275650 ] "
              "c1[ H@24350 K2@29350..K7 E@275650 ]\n");
    // Row by row: K1 K2, K3 K4, K5; below the group bands K6 K7, K8.
    std::vector<int32_t> tops;
    const CapturedPage* page = c.Pages().front();
    for (int i = 0; i < page->Page->DrawCommandCount(); ++i)
        if (page->Makers[static_cast<std::size_t>(i)].second == "KeyText") tops.push_back(page->Page->DrawCommands(i)->Top());
    EXPECT_EQ(tops, (std::vector<int32_t>{29350, 29350, 35350, 35350, 41350, 62350, 62350, 68350}));
    ExpectGolden("columns_across_two", DumpPages(c.Pages()));
}

TEST(ColumnsAcross, ThreeColumnsOverPagesWithAGroup) {
    ColumnRig c(3, ctLeftToRight, 100, 80);
    c.Rig.Print();
    ASSERT_EQ(c.Pages().size(), 2u);
    ExpectGolden("columns_across_three", DumpPages(c.Pages()));
    c.ExpectEveryPageAgain();
}

TEST(ColumnsBothWays, TwoPassesGiveThePagesOfOneWithTheirCount) {
    for (TrpColumnTraversalType traversal : {ctTopToBottom, ctLeftToRight}) {
        SCOPED_TRACE(traversal == ctTopToBottom ? "down" : "across");
        ColumnRig one(2, traversal, 60, 90);
        one.Rig.Print();
        ColumnRig two(2, traversal, 60, 90);
        two.Rig.Report()->SetPassSetting(psTwoPass);
        two.Rig.Print();
        ASSERT_EQ(two.Pages().size(), one.Pages().size());
        // The commands are the same; the page's own line tells the pass.
        auto body = [](const CapturedPage* Page) {
            const std::string dump = DumpPage(*Page);
            return dump.substr(dump.find('\n'));
        };
        for (std::size_t i = 0; i < one.Pages().size(); ++i)
            EXPECT_EQ(FirstDifference(body(two.Pages()[i]), body(one.Pages()[i])), "") << "page " << i + 1;
        two.ExpectEveryPageAgain();
    }
}

// --- Column positions -------------------------------------------------------------

TEST(ColumnPositions, AThirdColumnWithoutAPositionStopsTheRunNamingIt) {
    for (TrpColumnTraversalType traversal : {ctTopToBottom, ctLeftToRight}) {
        SCOPED_TRACE(traversal == ctTopToBottom ? "down" : "across");
        ColumnRig c(3, traversal, 150, 0, false);
        TStringList positions;
        positions.Add("6350");
        positions.Add("80000");
        c.Rig.Report()->SetUnits(utMMThousandths);
        c.Rig.Report()->SetColumnPositions(&positions);
        try {
            c.Rig.Print();
            ADD_FAILURE() << "the third column has no position";
        } catch (const EPrintError& e) {
            EXPECT_NE(std::string(e.what()).find("Não há posição definida para a coluna 3."), std::string::npos)
                << e.what();
        }
    }
}

TEST(ColumnPositions, StoredPositionsPlaceTheColumns) {
    ColumnRig c(2, ctLeftToRight, 2, 0, false);
    TStringList positions;
    positions.Add("10000");
    positions.Add("120000");
    c.Rig.Report()->SetUnits(utMMThousandths);
    c.Rig.Report()->SetColumnPositions(&positions);
    c.Rig.Print();
    std::vector<int32_t> lefts;
    const TrpPage* page = c.Pages().front()->Page.get();
    for (int i = 0; i < page->DrawCommandCount(); ++i)
        if (c.Pages().front()->Makers[static_cast<std::size_t>(i)].second == "KeyText")
            lefts.push_back(page->DrawCommands(i)->Left());
    EXPECT_EQ(lefts, (std::vector<int32_t>{11000, 121000}));
}

}  // namespace

// --- The summary in columns -------------------------------------------------------------

namespace {

// A section (or child) subreport in the summary of a listing in columns:
// its title names it and its detail lists 12 items.
struct SummarySection {
    ColumnRig C;
    RowsTable Items;

    SummarySection(int Columns, TrpColumnTraversalType Traversal, int Rows, TrpPrintBehaviorType Behavior)
        : C(std::max(Columns, 2), Traversal, Rows, 0, false), Items({"Item"}, ItemRows(), "Itens") {
        TrpBandedReport* r = C.Rig.Report();
        // One column keeps the column bands the rig made for two.
        r->SetColumns(Columns);
        auto* summary = static_cast<TrpBand*>(r->CreateBand(btSummary));
        summary->SetmmHeight(8000);
        auto* sub = new TrpSubReport(C.Rig.Owner());
        sub->SetName("Secao");
        sub->SetBand(summary);
        sub->SetBounds(0, 0, 60000, 6000);
        sub->SetPrintBehavior(Behavior);
        TrpChildReport* child = sub->Report();
        child->SetDataPipeline(Items.Pipeline());
        auto* title = static_cast<TrpBand*>(child->CreateBand(btTitle));
        title->SetmmHeight(8000);
        C.Rig.AddText(title, "SectionTitle", 0, 0, 80000, 5000, "Resumo por item");
        child->DetailBand()->SetmmHeight(6000);
        TestText* item = C.Rig.AddText(child->DetailBand(), "SectionItem", 0, 0, 40000, 5000);
        item->SetDataPipeline(Items.Pipeline());
        item->SetDataField("Item");
    }

    static std::vector<std::vector<Variant>> ItemRows() {
        std::vector<std::vector<Variant>> rows;
        for (int i = 1; i <= 12; ++i) rows.push_back({Variant("Item " + std::to_string(i))});
        return rows;
    }

    std::vector<std::string> Printed(const std::string& Component) const {
        std::vector<std::string> out;
        for (const CapturedPage* p : C.Pages())
            for (int i = 0; i < p->Page->DrawCommandCount(); ++i)
                if (p->Makers[static_cast<std::size_t>(i)].second == Component)
                    if (auto* t = dynamic_cast<const TrpDrawText*>(p->Page->DrawCommands(i))) out.push_back(t->Text());
        return out;
    }
};

}  // namespace

TEST(SummaryInColumns, ASectionInTheSummaryPrintsWhicheverColumnTheSummaryStartsIn) {
    // A column holds 42 rows under its header.
    const struct {
        int Columns;
        TrpColumnTraversalType Traversal;
        int Rows;
        TrpPrintBehaviorType Behavior;
    } cases[] = {
        {2, ctTopToBottom, 5, pbSection},  {2, ctTopToBottom, 20, pbSection}, {2, ctTopToBottom, 39, pbSection},
        {3, ctTopToBottom, 50, pbSection}, {3, ctTopToBottom, 5, pbSection},  {1, ctTopToBottom, 20, pbSection},
        {2, ctTopToBottom, 60, pbSection}, {2, ctLeftToRight, 20, pbSection}, {2, ctTopToBottom, 20, pbChild},
    };
    std::vector<std::string> items;
    for (int i = 1; i <= 12; ++i) items.push_back("Item " + std::to_string(i));
    for (const auto& k : cases) {
        SCOPED_TRACE(std::to_string(k.Columns) + " columns, " + std::to_string(k.Rows) + " rows, " +
                     (k.Traversal == ctTopToBottom ? "down" : "across") + (k.Behavior == pbSection ? ", section" : ", child"));
        SummarySection s(k.Columns, k.Traversal, k.Rows, k.Behavior);
        s.C.Rig.Print();
        // A child prints its title only outside its parent's band.
        EXPECT_EQ(s.Printed("SectionTitle"),
                  k.Behavior == pbSection ? std::vector<std::string>{"Resumo por item"} : std::vector<std::string>{});
        EXPECT_EQ(s.Printed("SectionItem"), items);
        EXPECT_EQ(s.Printed("KeyText").size(), static_cast<std::size_t>(k.Rows));
        if (k.Behavior == pbSection) s.C.ExpectEveryPageAgain();
    }
}
