// A detail band that walks a pipeline of its own inside each record of the
// report's: where its rows land, and every page made again alone.
#include <gtest/gtest.h>

#include "report/rpGeneration.h"
#include "report/rpGroup.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

std::vector<std::vector<Variant>> Keyed(const std::string& Prefix, int Count) {
    std::vector<std::vector<Variant>> rows;
    for (int i = 1; i <= Count; ++i) rows.push_back({Variant(Prefix + std::to_string(i))});
    return rows;
}

// Customers C1..Cn in the report's pipeline; items I1..Im in the detail
// band's, printed in full under every customer; a group on the customer
// (header 8 mm, footer 7 mm). The body runs from 16350 down to 280650.
struct MasterDetailRig {
    ReportRig Rig;
    RowsTable Customers;
    RowsTable Items;
    TrpGroup* Group = nullptr;

    MasterDetailRig(int CustomerCount, int ItemCount, bool ReportPipeline = true)
        : Customers({"Cliente"}, Keyed("C", CustomerCount), "Clientes"),
          Items({"Item"}, Keyed("I", ItemCount), "Itens") {
        TrpBandedReport* r = Rig.Report();
        if (ReportPipeline) r->SetDataPipeline(Customers.Pipeline());
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(10000);
        r->FooterBand()->SetmmHeight(10000);
        Rig.AddText(r->FooterBand(), "PageFooterText", 0, 0, 60000, 4000, "Rodapé");
        r->DetailBand()->SetDataPipeline(Items.Pipeline());
        r->DetailBand()->SetmmHeight(6000);
        if (ReportPipeline)
            Field(Rig.AddText(r->DetailBand(), "OwnerText", 40000, 0, 30000, 5000), Customers, "Cliente");
        Field(Rig.AddText(r->DetailBand(), "ItemText", 1000, 0, 30000, 5000), Items, "Item");
        if (ReportPipeline) {
            Group = new TrpGroup(Rig.Owner());
            Group->SetName("GrupoCliente");
            Group->SetReport(r);
            Group->SetDataPipeline(Customers.Pipeline());
            Group->SetBreakName("Cliente");
            Group->HeaderBand()->SetmmHeight(8000);
            Group->FooterBand()->SetmmHeight(7000);
            Field(Rig.AddText(Group->HeaderBand(), "GroupText", 0, 0, 50000, 4000), Customers, "Cliente");
            Field(Rig.AddText(Group->FooterBand(), "GroupFooterText", 0, 0, 50000, 4000), Customers, "Cliente");
        }
    }

    void Field(TestText* Text, RowsTable& Data, const std::string& Name) {
        Text->SetDataPipeline(Data.Pipeline());
        Text->SetDataField(Name);
    }

    std::vector<const CapturedPage*> Pages() const { return Rig.Device()->FinalPages(); }

    // Per page: group texts, and each run of rows as first..last item with
    // the customer they print under.
    std::string Outline() const {
        std::string out;
        for (const CapturedPage* p : Pages()) {
            out += "p" + std::to_string(p->Page->AbsolutePageNo()) + ":";
            std::string first, last, owner;
            auto flush = [&] {
                if (!first.empty()) out += " " + owner + "/" + first + (last != first ? ".." + last : "");
                first.clear();
            };
            for (int i = 0; i < p->Page->DrawCommandCount(); ++i) {
                auto* text = dynamic_cast<TrpDrawText*>(p->Page->DrawCommands(i));
                if (text == nullptr) continue;
                const std::string& component = p->Makers[static_cast<std::size_t>(i)].second;
                if (component == "ItemText") {
                    if (first.empty()) first = text->Text();
                    last = text->Text();
                } else if (component == "OwnerText") {
                    if (owner != text->Text()) flush();
                    owner = text->Text();
                } else if (component == "GroupText" || component == "GroupFooterText") {
                    flush();
                    out += (component == "GroupText" ? " G:" : " F:") + text->Text();
                }
            }
            flush();
            out += "\n";
        }
        return out;
    }
};

// The page's dump without its page count, which a one-pass run only knows
// at its end.
std::string CountFree(const std::string& Dump) {
    const std::size_t no = Dump.find(" no ");
    const std::size_t end = Dump.find(" first=");
    if (no == std::string::npos || end == std::string::npos) return Dump;
    const std::size_t slash = Dump.find('/');
    return Dump.substr(0, slash) + Dump.substr(no, Dump.find('/', no) - no) + Dump.substr(end);
}

void ExpectEveryPageAgain(MasterDetailRig& M) {
    std::vector<std::string> run;
    for (const CapturedPage* p : M.Pages()) run.push_back(CountFree(DumpPage(*p)));
    ASSERT_GT(run.size(), 1u);
    for (int k = static_cast<int>(run.size()); k >= 1; --k) {
        M.Rig.PrintPage(k);
        EXPECT_EQ(CountFree(DumpPage(*M.Pages().back())), run[static_cast<std::size_t>(k - 1)]) << "page " << k;
    }
}

TEST(DetailPipeline, EveryRecordOfTheReportPrintsTheDetailsRowsUnderItsGroup) {
    MasterDetailRig m(3, 25);
    m.Rig.Print();
    // 44 rows of 6 mm fit a page; the group bands take 23 mm of it, and the
    // group goes on under its header again.
    EXPECT_EQ(m.Outline(),
              "p1: G:C1 C1/I1..I25 F:C1 G:C2 C2/I1..I15\n"
              "p2: G:C2 C2/I16..I25 F:C2 G:C3 C3/I1..I25 F:C3\n");
    ExpectGolden("detail_pipeline_groups", DumpPages(m.Pages()));
    ExpectEveryPageAgain(m);
}

TEST(DetailPipeline, KeptTogetherGroupsMoveWithBothPositions) {
    // Two groups of 18 rows and their bands fill 246 of the 264 mm.
    MasterDetailRig m(5, 18);
    m.Group->SetKeepTogether(true);
    m.Rig.Print();
    EXPECT_EQ(m.Outline(),
              "p1: G:C1 C1/I1..I18 F:C1 G:C2 C2/I1..I18 F:C2\n"
              "p2: G:C3 C3/I1..I18 F:C3 G:C4 C4/I1..I18 F:C4\n"
              "p3: G:C5 C5/I1..I18 F:C5\n");
    ExpectEveryPageAgain(m);
}

TEST(DetailPipeline, WithoutAReportPipelineTheDetailsOwnDrivesTheRun) {
    MasterDetailRig alone(1, 100, false);
    alone.Rig.Print();
    ASSERT_EQ(alone.Pages().size(), 3u);
    EXPECT_EQ(alone.Outline(), "p1: /I1..I44\np2: /I45..I88\np3: /I89..I100\n");
    ExpectEveryPageAgain(alone);
}

}  // namespace
