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
        Rig.AddText(r->HeaderBand(), "HeaderText", 0, 0, 100000, 5000, "Relatório de teste");
        Detail = r->DetailBand();
        Detail->SetmmHeight(L.Detail);
        TestText* key = Rig.AddText(Detail, "KeyText", 1000, 0, 40000, std::min<int32_t>(L.Detail, 5000));
        key->SetDataPipeline(Pipeline);
        key->SetDataField("Key");
        r->FooterBand()->SetmmHeight(L.Footer);
        Rig.AddText(r->FooterBand(), "FooterText", 0, 1000, 60000, 4000, "Rodapé");
        if (L.WithSummary) {
            TrpBand* summary = r->CreateBand(btSummary);
            summary->SetmmHeight(L.Summary);
            Rig.AddText(summary, "SummaryText", 0, 0, 80000, 5000, "Total");
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
