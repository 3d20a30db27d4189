// Generating banded reports page by page: what reaches the device, in what
// order, and where the bands land.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "report/rpBandEngine.h"
#include "report/rpExcept.h"
#include "report/rpLanguage.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

// The body's bottom on A4 with 6350 margins: 297000 - 6350.
constexpr int32_t kPrintableBottom = 290650;
constexpr int32_t kTopMargin = 6350;

std::vector<std::vector<Variant>> NumberedRows(int Count) {
    std::vector<std::vector<Variant>> rows;
    for (int i = 1; i <= Count; ++i) rows.push_back({Variant("K" + std::to_string(i)), Variant(i)});
    return rows;
}

// Header, detail, summary and footer, each with a text; the detail shows
// the row's key.
struct Layout {
    int32_t Header = 15000;
    int32_t Detail = 6000;
    int32_t Summary = 10000;
    int32_t Footer = 12000;
    bool WithSummary = true;
};

struct BandedRig {
    ReportRig Rig;
    RowsPipeline* Pipeline;
    TrpDetailBand* Detail;

    BandedRig(int Rows, const Layout& L = Layout()) {
        TrpBandedReport* r = Rig.Report();
        Pipeline = new RowsPipeline(Rig.Owner(), {"Key", "Amount"}, NumberedRows(Rows));
        Pipeline->SetName("Rows");
        r->SetDataPipeline(Pipeline);
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(L.Header);
        Rig.AddText(r->HeaderBand(), "HeaderText", 0, 0, 100000, std::min<int32_t>(L.Header, 5000), "Relatório de teste");
        Detail = r->DetailBand();
        Detail->SetmmHeight(L.Detail);
        TestText* key = Rig.AddText(Detail, "KeyText", 1000, 0, 40000, std::min<int32_t>(L.Detail, 5000));
        key->SetDataPipeline(Pipeline);
        key->SetDataField("Key");
        r->FooterBand()->SetmmHeight(L.Footer);
        Rig.AddText(r->FooterBand(), "FooterText", 0, 0, 60000, std::min<int32_t>(L.Footer, 4000), "Rodapé");
        if (L.WithSummary) {
            TrpBand* summary = r->CreateBand(btSummary);
            summary->SetmmHeight(L.Summary);
            Rig.AddText(summary, "SummaryText", 0, 0, 80000, std::min<int32_t>(L.Summary, 5000), "Total");
        }
    }
};

TEST(Generation, OneRowMakesOnePageWithEveryBand) {
    BandedRig b(1);
    b.Rig.Print();
    const auto pages = b.Rig.Device()->FinalPages();
    ASSERT_EQ(pages.size(), 1u);
    const std::string dump = DumpPage(*pages[0]);
    EXPECT_NE(dump.find("text=\"K1\""), std::string::npos) << dump;
    EXPECT_NE(dump.find("text=\"Total\""), std::string::npos) << dump;
    EXPECT_NE(dump.find("text=\"Rodapé\""), std::string::npos) << dump;
}

}  // namespace

namespace {

// --- Goldens -----------------------------------------------------------------

void PrintGolden(int Rows, const std::string& Name) {
    BandedRig b(Rows);
    if (Rows == 0) b.Rig.Report()->SetNoDataBehaviors({ndBlankReport, ndMessageOnPage});
    b.Rig.Print();
    ExpectGolden(Name, DumpPages(b.Rig.Device()->FinalPages()));
}

TEST(GenerationGoldens, HeaderDetailSummaryFooterOverNoRow) { PrintGolden(0, "banded_0_rows"); }
TEST(GenerationGoldens, HeaderDetailSummaryFooterOverOneRow) { PrintGolden(1, "banded_1_row"); }
TEST(GenerationGoldens, HeaderDetailSummaryFooterOver37Rows) { PrintGolden(37, "banded_37_rows"); }
TEST(GenerationGoldens, HeaderDetailSummaryFooterOver120Rows) { PrintGolden(120, "banded_120_rows"); }

TEST(GenerationGoldens, LastDetailFillingThePageSendsTheSummaryToANewPage) {
    // The body runs from 6350 + 15000 = 21350 down to 297000 - 6350 - 12000
    // = 278650: 257300, which 50 details of 5146 fill exactly.
    Layout l;
    l.Detail = 5146;
    BandedRig b(50, l);
    b.Rig.Print();
    const auto pages = b.Rig.Device()->FinalPages();
    ASSERT_EQ(pages.size(), 2u);
    const std::string first = DumpPage(*pages[0]);
    const std::string second = DumpPage(*pages[1]);
    EXPECT_NE(first.find("text=\"K50\""), std::string::npos);
    EXPECT_EQ(first.find("text=\"Total\""), std::string::npos);
    EXPECT_NE(second.find("text=\"Total\""), std::string::npos);
    EXPECT_EQ(second.find("band=TrpDetailBand"), std::string::npos);
    ExpectGolden("banded_exact_fill", first + second);
}

// --- Invariants --------------------------------------------------------------

struct Checked {
    int Pages = 0;
};

// What holds for every report: each key on exactly one page, the body
// between the top margin and the page bottom without overlaps, pages
// numbered 1..n with one first and one last, and no more pages than the
// rows need.
void CheckInvariants(const BandedRig& b, int Rows, const Layout& L, const std::string& Context) {
    SCOPED_TRACE(Context);
    const auto pages = b.Rig.Device()->FinalPages();
    std::map<std::string, int> seen;
    int firsts = 0;
    int lasts = 0;
    const int32_t bodyBottom = kPrintableBottom - L.Footer;
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const TrpPage* page = pages[p]->Page.get();
        EXPECT_EQ(page->AbsolutePageNo(), static_cast<int>(p) + 1);
        firsts += page->FirstPage() ? 1 : 0;
        lasts += page->LastPage() ? 1 : 0;
        std::vector<std::pair<int32_t, int32_t>> body;
        for (int i = 0; i < page->DrawCommandCount(); ++i) {
            auto* t = dynamic_cast<TrpDrawText*>(page->DrawCommands(i));
            ASSERT_NE(t, nullptr);
            const std::string& band = pages[p]->Makers[static_cast<std::size_t>(i)].first;
            if (band == "TrpFooterBand") {
                EXPECT_GE(t->Top(), bodyBottom);
                EXPECT_LE(t->Top() + t->Height(), kPrintableBottom);
                continue;
            }
            EXPECT_GE(t->Top(), kTopMargin);
            EXPECT_LE(t->Top() + t->Height(), bodyBottom) << t->Text();
            body.emplace_back(t->Top(), t->Top() + t->Height());
            if (band == "TrpDetailBand") ++seen[t->Text()];
        }
        std::sort(body.begin(), body.end());
        for (std::size_t i = 1; i < body.size(); ++i) EXPECT_LE(body[i - 1].second, body[i].first);
    }
    for (int r = 1; r <= Rows; ++r) EXPECT_EQ(seen["K" + std::to_string(r)], 1) << "K" << r;
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(Rows));
    if (!pages.empty()) {
        EXPECT_EQ(firsts, 1);
        EXPECT_EQ(lasts, 1);
        EXPECT_TRUE(pages.back()->Page->LastPage());
    }
    // A page gives the body what header and footer leave, and holds as
    // many whole details as fit there; the summary may need one more page.
    const int32_t body = kPrintableBottom - kTopMargin - L.Header - L.Footer;
    const int perPage = std::max(body / L.Detail, 1);
    EXPECT_LE(static_cast<int>(pages.size()), (Rows + perPage - 1) / perPage + 2);
}

TEST(GenerationInvariants, HoldOnTheGoldenLayouts) {
    for (int rows : {1, 37, 120}) {
        BandedRig b(rows);
        b.Rig.Print();
        CheckInvariants(b, rows, Layout(), std::to_string(rows) + " rows");
    }
}

TEST(GenerationInvariants, HoldOnRandomLayoutsAndRowCounts) {
    std::mt19937 random(20260314);
    for (int run = 0; run < 200; ++run) {
        Layout l;
        l.Header = std::uniform_int_distribution<int32_t>(1000, 40000)(random);
        l.Detail = std::uniform_int_distribution<int32_t>(1000, 60000)(random);
        l.Summary = std::uniform_int_distribution<int32_t>(1000, 50000)(random);
        l.Footer = std::uniform_int_distribution<int32_t>(1000, 30000)(random);
        l.WithSummary = std::uniform_int_distribution<int>(0, 3)(random) != 0;
        const int rows = std::uniform_int_distribution<int>(1, 150)(random);
        BandedRig b(rows, l);
        b.Rig.Print();
        CheckInvariants(b, rows, l,
                        "run " + std::to_string(run) + ": " + std::to_string(rows) + " rows, header " +
                            std::to_string(l.Header) + ", detail " + std::to_string(l.Detail) + ", summary " +
                            std::to_string(l.Summary) + ", footer " + std::to_string(l.Footer));
        if (HasFailure()) break;
    }
}

}  // namespace
