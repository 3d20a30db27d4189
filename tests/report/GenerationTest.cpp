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
#include "tests/platform/db/SQLFileFixture.h"
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
    // Freed before the report, as a form frees its data after its report.
    std::unique_ptr<RowsTable> Data;
    TrpDBPipeline* Pipeline;
    TrpDetailBand* Detail;

    BandedRig(int Rows, const Layout& L = Layout())
        : Data(std::make_unique<RowsTable>(std::vector<std::string>{"Key", "Amount"}, NumberedRows(Rows))) {
        Build(Data->Pipeline(), L);
    }
    // Over a pipeline of the test's own.
    BandedRig(TrpDBPipeline* Pipeline_, const Layout& L) { Build(Pipeline_, L); }

    void Build(TrpDBPipeline* Pipeline_, const Layout& L) {
        TrpBandedReport* r = Rig.Report();
        Pipeline = Pipeline_;
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

namespace {

// --- Page limit, stops and errors --------------------------------------------

TEST(GenerationRun, PageLimitTwoSendsTwoPagesTheSecondAfterOnEndPage) {
    BandedRig b(120);
    b.Rig.Report()->SetPageLimit(2);
    EventRecorder events(b.Rig.Report()->Engine());
    events.Listen(b.Rig.Device(), {rpevDevicePageReceived});
    b.Rig.Report()->OnEndPage = [&](TObject*) { events.Note("OnEndPage", rpevEndPage); };
    b.Rig.Print();
    EXPECT_EQ(b.Rig.Device()->FinalPages().size(), 2u);
    EXPECT_EQ(events.Trace(), "1:OnEndPage:17\n1:TrpDevice:98\n2:OnEndPage:17\n2:TrpDevice:98\n");
}

std::string PrintAndCatch(ReportRig& Rig) {
    try {
        Rig.Print();
    } catch (const EPrintError& e) {
        return e.what();
    }
    return {};
}

TEST(GenerationRun, StaticBandTallerThanThePageRaisesOnTheFourthPage) {
    {
        SCOPED_TRACE("detail");
        BandedRig b(5);
        b.Detail->SetmmHeight(300000);
        const std::string message = PrintAndCatch(b.Rig);
        EXPECT_NE(message.find("Static height detail band cannot fit on page"), std::string::npos) << message;
        EXPECT_EQ(b.Rig.Device()->FinalPages().size(), 3u);
        EXPECT_EQ(b.Rig.Report()->Engine()->AbsolutePageNo(), 4);
    }
    {
        SCOPED_TRACE("header");
        BandedRig b(5);
        b.Rig.Report()->HeaderBand()->SetmmHeight(300000);
        const std::string message = PrintAndCatch(b.Rig);
        EXPECT_NE(message.find("Static height detail band cannot fit on page"), std::string::npos) << message;
        EXPECT_EQ(b.Rig.Device()->FinalPages().size(), 3u);
    }
}

TEST(GenerationRun, AnErrorPutsThePipelineBackAndReleasesItsBookmarks) {
    BandedRig b(60);
    b.Detail->SetmmHeight(300000);
    PrintAndCatch(b.Rig);
    EXPECT_EQ(b.Pipeline->GetFieldAsString("Key"), "K1");
    EXPECT_EQ(b.Pipeline->BookmarkCount(), 0);
    // Mended, the report prints from its first record with fresh numbers.
    b.Detail->SetmmHeight(6000);
    b.Rig.Print();
    const auto pages = b.Rig.Device()->FinalPages();
    ASSERT_EQ(pages.size(), 3u + 2u);
    EXPECT_EQ(pages[3]->Page->AbsolutePageNo(), 1);
    EXPECT_EQ(pages[3]->Page->AbsolutePageCount(), 1);
    EXPECT_NE(DumpPage(*pages[3]).find("text=\"K1\""), std::string::npos);
    EXPECT_TRUE(pages[4]->Page->LastPage());
}

TEST(GenerationRun, APipelineThatDoesNotOpenStopsTheRunWithItsName) {
    BandedRig b(3);
    // A closed table the pipeline may not open.
    b.Data->Table()->Close();
    b.Pipeline->SetOpenDataSource(false);
    b.Pipeline->SetUserName("Clientes");
    const std::string message = PrintAndCatch(b.Rig);
    EXPECT_NE(message.find(rpLanguageText(40) + ": Clientes"), std::string::npos) << message;
    EXPECT_TRUE(b.Rig.Device()->Pages().empty());
}

TEST(GenerationRun, AStopInTheTenthAfterPrintEndsTheRunAndSentPagesStay) {
    Layout l;
    l.Detail = 30000;  // eight rows a page: row 10 prints on page 2
    BandedRig b(40, l);
    int printed = 0;
    b.Detail->AfterPrint = [&](TObject*) {
        if (++printed == 10) b.Rig.Report()->Engine()->Stop();
    };
    b.Rig.Print();
    EXPECT_EQ(printed, 10);
    ASSERT_EQ(b.Rig.Device()->FinalPages().size(), 1u);
    EXPECT_EQ(b.Rig.Device()->FinalPages()[0]->Page->AbsolutePageNo(), 1);
    // The next request prints the whole report afresh.
    b.Rig.Print();
    const auto pages = b.Rig.Device()->FinalPages();
    ASSERT_EQ(pages.size(), 6u);
    EXPECT_EQ(pages[1]->Page->AbsolutePageNo(), 1);
    EXPECT_NE(DumpPage(*pages[1]).find("text=\"K1\""), std::string::npos);
    EXPECT_TRUE(pages.back()->Page->LastPage());
    EXPECT_NE(DumpPage(*pages.back()).find("text=\"K40\""), std::string::npos);
}

TEST(GenerationRun, ARequestDuringAnotherIsIgnored) {
    EXPECT_DEBUG_DEATH(
        {
            BandedRig b(3);
            b.Detail->AfterPrint = [&](TObject*) {
                TrpPageRequest again;
                b.Rig.Report()->GenerationEngine()->ProcessPageRequest(&again);
            };
            b.Rig.Print();
            // Without the debug check the inner request changes nothing.
            EXPECT_EQ(b.Rig.Device()->FinalPages().size(), 1u);
        },
        "already being served");
}

// --- No data -----------------------------------------------------------------

TEST(GenerationNoData, BlankPageSendsNothing) {
    BandedRig b(0);
    b.Rig.Report()->SetNoDataBehaviors({ndBlankPage});
    b.Rig.Print();
    EXPECT_TRUE(b.Rig.Device()->Pages().empty());
}

TEST(GenerationNoData, MessageOnPageIsCentredArial12) {
    BandedRig b(0);
    b.Rig.Report()->SetNoDataBehaviors({ndBlankReport, ndMessageOnPage});
    b.Rig.Print();
    const auto pages = b.Rig.Device()->FinalPages();
    ASSERT_EQ(pages.size(), 1u);
    const TrpPage* page = pages[0]->Page.get();
    TrpDrawText* message = nullptr;
    bool header = false;
    bool footer = false;
    for (int i = 0; i < page->DrawCommandCount(); ++i) {
        auto* t = dynamic_cast<TrpDrawText*>(page->DrawCommands(i));
        if (t->Text() == rpLanguageText(1034)) message = t;
        header = header || t->Text() == "Relatório de teste";
        footer = footer || t->Text() == "Rodapé";
    }
    EXPECT_TRUE(header);
    EXPECT_TRUE(footer);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->Font()->Name(), "Arial");
    EXPECT_EQ(message->Font()->Size(), 12);
    EXPECT_EQ(message->Width(), 29104);
    EXPECT_EQ(message->Height(), 4763);
    // (197300 - 29104) / 2 from the left margin.
    EXPECT_EQ(message->Left(), 6350 + 84098);
    EXPECT_EQ(message->Alignment(), taCenter);
}

TEST(GenerationNoData, BlankReportWithoutMessageHasNoText) {
    BandedRig b(0);
    b.Rig.Report()->SetNoDataBehaviors({ndBlankReport});
    b.Rig.Print();
    const auto pages = b.Rig.Device()->FinalPages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(DumpPage(*pages[0]).find(rpLanguageText(1034)), std::string::npos);
}

// --- Events ------------------------------------------------------------------

TEST(GenerationEvents, RunHooksOnceThenPerPageEndPageSentFinished) {
    BandedRig b(60);
    TrpCustomEngine* engine = b.Rig.Report()->Engine();
    EventRecorder events(engine);
    events.Listen(engine, {rpevReportBeginning, rpevPipelinesOpened, rpevPageFinished});
    events.Listen(b.Rig.Device(), {rpevDevicePageReceived});
    events.Listen(b.Rig.Report(), {rpevNotifyReportBegin, rpevReportBegin});
    b.Rig.Report()->OnEndPage = [&](TObject*) { events.Note("OnEndPage", rpevEndPage); };
    b.Rig.Print();
    EXPECT_EQ(events.Trace(),
              "0:Report:70\n0:TrpEngine:134\n0:Report:1\n0:TrpEngine:135\n"
              "1:OnEndPage:17\n1:TrpDevice:98\n1:TrpEngine:90\n"
              "2:OnEndPage:17\n2:TrpDevice:98\n2:TrpEngine:90\n");
}

TEST(GenerationEvents, BeforePrintTotalMatchesTheColumnWhenRecordsMoveAtPageEnds) {
    Layout l;
    l.Detail = 7000;
    BandedRig b(157, l);
    int total = 0;
    int calls = 0;
    b.Detail->BeforePrint = [&](TObject*) {
        total += b.Pipeline->GetFieldValue("Amount").AsInteger();
        ++calls;
    };
    b.Rig.Print();
    EXPECT_GT(b.Rig.Device()->FinalPages().size(), 3u);
    EXPECT_EQ(calls, 157);
    EXPECT_EQ(total, 157 * 158 / 2);
}

TEST(GenerationEvents, FootersSeeTheLastRecordPrintedOnTheirPage) {
    BandedRig b(100);
    TestText* last = b.Rig.AddText(b.Rig.Report()->FooterBand(), "LastKey", 100000, 0, 40000, 4000);
    last->SetDataPipeline(b.Pipeline);
    last->SetDataField("Key");
    b.Rig.Print();
    std::vector<std::string> footers;
    for (const CapturedPage* p : b.Rig.Device()->FinalPages())
        for (int i = 0; i < p->Page->DrawCommandCount(); ++i)
            if (p->Makers[static_cast<std::size_t>(i)].second == "LastKey")
                footers.push_back(static_cast<TrpDrawText*>(p->Page->DrawCommands(i))->Text());
    // 42 rows a page.
    EXPECT_EQ(footers, (std::vector<std::string>{"K42", "K84", "K100"}));
}

}  // namespace

namespace {

TEST(GenerationEvents, RunHooksComeOncePerJobNotPerRequest) {
    BandedRig b(120);
    TrpCustomEngine* engine = b.Rig.Report()->Engine();
    EventRecorder events(engine);
    events.Listen(engine, {rpevReportBeginning, rpevPipelinesOpened});
    b.Rig.PrintPage(1);
    b.Rig.PrintPage(2);
    EXPECT_EQ(events.Trace(), "0:TrpEngine:134\n0:TrpEngine:135\n");
    b.Rig.Report()->ResetPrintState();
    b.Rig.Print();
    EXPECT_EQ(events.Trace(), "0:TrpEngine:134\n0:TrpEngine:135\n0:TrpEngine:134\n0:TrpEngine:135\n");
}

}  // namespace

namespace {

TEST(GenerationRun, AReportFreedFromItsOwnEventGoesWhenTheRequestEnds) {
    BandedRig b(100);
    TrpBandedReport* report = b.Rig.Report();
    TComponent* owner = b.Rig.Owner();
    int printed = 0;
    b.Detail->AfterPrint = [&](TObject*) {
        if (++printed == 3) report->Release();
    };
    b.Rig.Print();
    EXPECT_EQ(printed, 3);
    EXPECT_EQ(owner->FindComponent("Report"), nullptr);
    EXPECT_TRUE(b.Rig.Device()->FinalPages().empty());
}

}  // namespace

namespace {

// The same report over an SQLite query prints what it prints over a memory
// table.
class GenerationOverSql : public sqltest::SQLFileFixture {
protected:
    void Fill(sqlite::Database& db) override {
        db.Exec(sqlite::CreateTableSql("Clientes", {{"Key", "text(20)"}, {"Amount", "integer"}}));
    }
};

TEST_F(GenerationOverSql, ThirtySevenRowsMatchTheMemoryTableGolden) {
    // Inserted out of order: the query's order is the report's.
    for (int i = 37; i >= 1; --i) {
        auto q = Query("insert into Clientes (Key, Amount) values (:Key, :Amount)");
        q->ParamByName("Key")->SetValue(Variant("K" + std::to_string(i)));
        q->ParamByName("Amount")->SetValue(Variant(i));
        q->ExecSQL();
    }
    auto query = Query("select Key, Amount from Clientes order by Amount");
    TDataSource source(nullptr);
    source.SetDataSet(query.get());
    {
        TrpDBPipeline pipeline(nullptr);
        pipeline.SetName("Rows");
        pipeline.SetDataSource(&source);
        BandedRig b(&pipeline, Layout());
        b.Rig.Print();
        ExpectGolden("banded_37_rows", DumpPages(b.Rig.Device()->FinalPages()));
        b.Rig.Report()->SetDataPipeline(nullptr);
    }
}

}  // namespace

namespace {

TEST(GenerationRun, WithErrorsSuppressedAFailedRunEndsQuietlyAndTheNextOneWorks) {
    BandedRig b(5);
    b.Rig.Report()->Engine()->SetSuppressErrors(true);
    b.Detail->SetmmHeight(300000);
    EXPECT_EQ(PrintAndCatch(b.Rig), "");
    EXPECT_EQ(b.Rig.Device()->FinalPages().size(), 3u);
    b.Detail->SetmmHeight(6000);
    b.Rig.Print();
    ASSERT_EQ(b.Rig.Device()->FinalPages().size(), 4u);
    EXPECT_NE(DumpPage(*b.Rig.Device()->FinalPages()[3]).find("text=\"K5\""), std::string::npos);
}

}  // namespace
