// The band loop: how often a band prints, where its objects land, what
// happens when it does not fit, and the detail band's record step.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "report/rpBandEngine.h"
#include "report/rpExcept.h"
#include "report/rpGroup.h"
#include "report/rpLanguage.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

std::vector<std::vector<Variant>> Keys(int Count) {
    std::vector<std::vector<Variant>> rows;
    for (int i = 1; i <= Count; ++i) rows.push_back({Variant("K" + std::to_string(i))});
    return rows;
}

// A report over Rows keys: a 10000 header with "H", a 5000 detail with the
// key, a 10000 footer with "F".
struct Rig {
    ReportRig R;
    RowsTable Data;
    TrpDBPipeline* Pipeline;
    TrpDetailBand* Detail;

    explicit Rig(int Rows) : Data({"Key"}, Keys(Rows)) {
        Pipeline = Data.Pipeline();
        R.Report()->SetDataPipeline(Pipeline);
        R.Report()->CreateDefaultBands();
        R.Report()->HeaderBand()->SetmmHeight(10000);
        R.AddText(R.Report()->HeaderBand(), "H", 0, 0, 20000, 4000, "H");
        Detail = R.Report()->DetailBand();
        Detail->SetmmHeight(5000);
        TestText* key = R.AddText(Detail, "Key", 0, 0, 20000, 4000);
        key->SetDataPipeline(Pipeline);
        key->SetDataField("Key");
        R.Report()->FooterBand()->SetmmHeight(10000);
        R.AddText(R.Report()->FooterBand(), "F", 0, 0, 20000, 4000, "F");
    }

    // The texts of every final page, "|" between pages.
    std::string Texts() const {
        std::string s;
        for (const CapturedPage* p : R.Device()->FinalPages()) {
            if (!s.empty()) s += "|";
            for (int i = 0; i < p->Page->DrawCommandCount(); ++i) {
                if (i > 0) s += " ";
                s += static_cast<TrpDrawText*>(p->Page->DrawCommands(i))->Text();
            }
        }
        return s;
    }
};

TEST(BandEngine, BandsPerRecordPrintsEachRecordThatOften) {
    Rig r(2);
    r.Detail->SetBandsPerRecord(3);
    r.R.Print();
    EXPECT_EQ(r.Texts(), "H K1 K1 K1 K2 K2 K2 F");
}

TEST(BandEngine, PrintCountTwoPrintsAHeaderTwicePerPage) {
    Rig r(1);
    r.R.Report()->HeaderBand()->SetPrintCount(2);
    r.R.Print();
    EXPECT_EQ(r.Texts(), "H H K1 F");
    const TrpPage* page = r.R.Device()->FinalPages()[0]->Page.get();
    EXPECT_EQ(page->DrawCommands(0)->Top(), 6350);
    EXPECT_EQ(page->DrawCommands(1)->Top(), 16350);
    EXPECT_EQ(page->DrawCommands(2)->Top(), 26350);
}

TEST(BandEngine, AnInvisibleBandTakesNoRoomButStillEndsItsPrint) {
    Rig r(2);
    TrpHeaderBand* header = r.R.Report()->HeaderBand();
    header->SetVisible(false);
    int afterPrint = 0;
    header->AfterPrint = [&](TObject*) { ++afterPrint; };
    r.R.Print();
    EXPECT_EQ(r.Texts(), "K1 K2 F");
    EXPECT_EQ(r.R.Device()->FinalPages()[0]->Page->DrawCommands(0)->Top(), 6350);
    EXPECT_EQ(afterPrint, 1);
}

TEST(BandEngine, AnInvisibleDetailStillWalksTheRecords) {
    Rig r(5);
    r.Detail->SetVisible(false);
    TrpBand* summary = r.R.Report()->CreateBand(btSummary);
    TestText* last = r.R.AddText(summary, "Last", 0, 0, 20000, 4000);
    last->SetDataPipeline(r.Pipeline);
    last->SetDataField("Key");
    r.R.Print();
    EXPECT_EQ(r.Texts(), "H K5 F");
}

TEST(BandEngine, ObjectsDrawInBandOrderWhateverTheirLevel) {
    Rig r(1);
    TrpHeaderBand* header = r.R.Report()->HeaderBand();
    // Shifting with the band puts the first object in the last level.
    TestText* first = r.R.AddText(header, "First", 30000, 0, 20000, 4000, "1");
    header->SendObjectToBack(first);
    first->SetAnchors({atLeft, atBottom});
    r.R.Print();
    EXPECT_EQ(r.Texts(), "1 H K1 F");
}

TEST(BandEngine, AnObjectThatUsesNoRoomMakesNoCommand) {
    Rig r(1);
    r.R.AddText(r.R.Report()->HeaderBand(), "Empty", 30000, 0, 20000, 0, "vazio");
    r.R.Print();
    EXPECT_EQ(r.Texts(), "H K1 F");
}

TEST(BandEngine, DetailEngineTakesOnlyADetailBand) {
    ReportRig rig;
    rig.Report()->CreateDefaultBands();
    try {
        TrpDetailBandEngine engine(rig.Report()->HeaderBand());
        FAIL() << "a header band was taken";
    } catch (const ETessaryError& e) {
        EXPECT_STREQ(e.what(), "TrpDetailBandEngine.SetBand: Band must be a TrpDetailBand.");
    }
    TrpDetailBandEngine engine(rig.Report()->DetailBand());
    EXPECT_EQ(engine.Band(), rig.Report()->DetailBand());
}

TEST(BandEngine, ARecordThatMovesToTheNextPageFiresItsEventsThereOnly) {
    // 16350 down to 280650 is 264300 of body: 52 details of 5000 on page 1.
    Rig r(60);
    std::vector<int> beforePages;
    std::vector<int> afterPages;
    TrpCustomEngine* engine = r.R.Report()->Engine();
    r.Detail->BeforePrint = [&](TObject*) { beforePages.push_back(engine->AbsolutePageNo()); };
    r.Detail->AfterPrint = [&](TObject*) { afterPages.push_back(engine->AbsolutePageNo()); };
    r.R.Print();
    ASSERT_EQ(beforePages.size(), 60u);
    ASSERT_EQ(afterPages.size(), 60u);
    EXPECT_EQ(std::count(beforePages.begin(), beforePages.end(), 1), 52);
    EXPECT_EQ(beforePages, afterPages);
}

TEST(BandEngine, AHeaderLeftOffTheFirstPagePrintsFromTheSecond) {
    Rig r(60);
    r.R.Report()->HeaderBand()->SetPrintOnFirstPage(false);
    r.R.Print();
    const auto pages = r.R.Device()->FinalPages();
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(static_cast<TrpDrawText*>(pages[0]->Page->DrawCommands(0))->Text(), "K1");
    EXPECT_EQ(static_cast<TrpDrawText*>(pages[1]->Page->DrawCommands(0))->Text(), "H");
}

TEST(BandEngine, ATitlePrintsOnceAndWithNewPageAlone) {
    {
        Rig r(60);
        TrpBand* title = r.R.Report()->CreateBand(btTitle);
        title->SetmmHeight(8000);
        r.R.AddText(title, "T", 0, 0, 20000, 4000, "T");
        r.R.Print();
        const std::string texts = r.Texts();
        EXPECT_EQ(texts.rfind("T "), 0u) << texts;
        EXPECT_EQ(std::count(texts.begin(), texts.end(), 'T'), 1);
    }
    {
        Rig r(2);
        auto* title = static_cast<TrpTitleBand*>(r.R.Report()->CreateBand(btTitle));
        title->SetNewPage(true);
        r.R.AddText(title, "T", 0, 0, 20000, 4000, "T");
        r.R.Print();
        // The title's page ends with it: the header starts the next one.
        EXPECT_EQ(r.Texts(), "T F|H K1 K2 F");
    }
}

TEST(BandEngine, ASummaryWithNewPageStartsOneWhenTheBodyPrinted) {
    Rig r(2);
    auto* summary = static_cast<TrpSummaryBand*>(r.R.Report()->CreateBand(btSummary));
    summary->SetNewPage(true);
    r.R.AddText(summary, "S", 0, 0, 20000, 4000, "S");
    r.R.Print();
    EXPECT_EQ(r.Texts(), "H K1 K2 F|H S F");
}

TEST(BandEngine, ThePageStyleDoesNotStartTheBody) {
    Rig r(0);
    r.R.Report()->SetNoDataBehaviors({ndBlankReport});
    TrpBand* style = r.R.Report()->CreateBand(btPageStyle);
    r.R.AddText(style, "P", 0, 0, 20000, 4000, "P");
    auto* summary = static_cast<TrpSummaryBand*>(r.R.Report()->CreateBand(btSummary));
    summary->SetNewPage(true);
    r.R.AddText(summary, "S", 0, 0, 20000, 4000, "S");
    r.R.Print();
    EXPECT_EQ(r.Texts(), "P H S F");
}

TEST(BandEngine, ADynamicBandCutOffContinuesOnTheNextPageMovedUp) {
    Rig r(1);
    TrpBand* summary = r.R.Report()->CreateBand(btSummary);
    summary->SetPrintHeight(phDynamic);
    summary->SetmmHeight(270000);
    r.R.AddText(summary, "A", 0, 0, 20000, 4000, "A");
    r.R.AddText(summary, "B", 0, 260000, 20000, 4000, "B");
    r.R.Print();
    EXPECT_EQ(r.Texts(), "H K1 A F|H B F");
    const auto pages = r.R.Device()->FinalPages();
    ASSERT_EQ(pages.size(), 2u);
    // Below the header, as the first object of the band's continuation.
    EXPECT_EQ(pages[1]->Page->DrawCommands(1)->Top(), 16350);
    auto* band = static_cast<TrpCustomBand*>(summary);
    EXPECT_FALSE(band->PartialGeneration());
    EXPECT_EQ(band->CurrentLevel(), 0);
    EXPECT_EQ(band->ObjectLimit(), 0);
}

TEST(BandEngine, ADynamicBandGrowsToItsLowestObject) {
    Rig r(1);
    TrpBand* summary = r.R.Report()->CreateBand(btSummary);
    summary->SetPrintHeight(phDynamic);
    r.R.AddText(summary, "A", 0, 0, 20000, 4000, "A");
    r.R.AddText(summary, "B", 0, 30000, 20000, 4000, "B");
    r.R.Print();
    auto* band = static_cast<TrpCustomBand*>(summary);
    EXPECT_EQ(band->SpaceUsed(), 34000);
}

// --- Message pump --------------------------------------------------------------

struct PumpGuard {
    ~PumpGuard() { rpSetMessagePump(nullptr); }
};

TEST(MessagePump, RunsDuringGenerationAndSeesAStop) {
    PumpGuard guard;
    Rig r(200);
    int calls = 0;
    rpSetMessagePump([&] {
        if (++calls == 100) r.R.Report()->Engine()->Stop();
    });
    r.R.Print();
    EXPECT_GE(calls, 100);
    // Stopped on the first page: nothing was sent.
    EXPECT_TRUE(r.R.Device()->FinalPages().empty());
}

TEST(MessagePump, ThrottledPumpRunsAtMostOncePerInterval) {
    TDateTime now = 0;
    int processed = 0;
    auto pump = rpThrottledPump([&] { ++processed; }, [&] { return now; }, 0.001);
    pump();
    now = 0.0004;
    pump();
    pump();
    EXPECT_EQ(processed, 1);
    now = 0.0010;
    pump();
    EXPECT_EQ(processed, 2);
    now = 0.0015;
    pump();
    EXPECT_EQ(processed, 2);
}

// --- Page requests -------------------------------------------------------------

TEST(GenerationRequests, ASinglePageIsReachedForwardPageByPage) {
    Rig r(150);  // 52 rows a page: three pages
    r.R.PrintPage(2);
    auto pages = r.R.Device()->FinalPages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0]->Page->AbsolutePageNo(), 2);
    ASSERT_EQ(r.R.Device()->Pages().size(), 2u);
    EXPECT_TRUE(r.R.Device()->Pages()[0].Page->Calculation());
    r.R.PrintPage(3);
    pages = r.R.Device()->FinalPages();
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[1]->Page->AbsolutePageNo(), 3);
    EXPECT_TRUE(pages[1]->Page->LastPage());
}

}  // namespace

namespace {

TEST(MessagePump, TheApplicationPumpRunsQueuedWorkWhileGenerating) {
    PumpGuard guard;
    int argc = 1;
    char name[] = "test_report";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    rpInstallApplicationMessagePump();
    bool ran = false;
    QMetaObject::invokeMethod(&app, [&] { ran = true; }, Qt::QueuedConnection);
    Rig r(3);
    r.R.Print();
    EXPECT_TRUE(ran);
}

TEST(MessagePump, TheApplicationPumpDoesNothingHeadless) {
    PumpGuard guard;
    rpInstallApplicationMessagePump();
    Rig r(3);
    r.R.Print();
    EXPECT_EQ(r.Texts(), "H K1 K2 K3 F");
}

// --- Fixed print positions -------------------------------------------------------

// A 5000 summary with "S", printed at Position.
TrpBand* FixedSummary(Rig& r, int32_t Position) {
    TrpBand* summary = r.R.Report()->CreateBand(btSummary);
    summary->SetmmHeight(5000);
    summary->SetmmPrintPosition(Position);
    r.R.AddText(summary, "S", 0, 0, 20000, 4000, "S");
    return summary;
}

TEST(BandEngine, AFixedPrintPositionMovesTheBandDown) {
    Rig r(1);
    FixedSummary(r, 200000);
    r.R.Print();
    EXPECT_EQ(r.Texts(), "H K1 S F");
    EXPECT_EQ(r.R.Device()->FinalPages()[0]->Page->DrawCommands(2)->Top(), 200000);
}

TEST(BandEngine, AFixedPrintPositionAlreadyPassedGoesToTheNextPage) {
    Rig r(10);
    FixedSummary(r, 30000);
    r.R.Print();
    EXPECT_EQ(r.Texts(), "H K1 K2 K3 K4 K5 K6 K7 K8 K9 K10 F|H S F");
    EXPECT_EQ(r.R.Device()->FinalPages()[1]->Page->DrawCommands(1)->Top(), 30000);
}

TEST(BandEngine, AFixedPrintPositionBelowThePageBottomStopsTheRun) {
    Rig r(1);
    FixedSummary(r, 285000);
    try {
        r.R.Print();
        FAIL() << "no error";
    } catch (const EPrintError& e) {
        EXPECT_NE(std::string(e.what()).find(rpLanguageText(415) + "."), std::string::npos) << e.what();
    }
    EXPECT_TRUE(r.R.Device()->FinalPages().empty());
}

TEST(BandEngine, ABandWithoutRoomFiresItsAfterPrintOnThePageItPrintsOn) {
    Rig r(52);  // the details fill page 1
    TrpBand* summary = FixedSummary(r, 0);
    std::vector<int> pages;
    summary->AfterPrint = [&](TObject*) { pages.push_back(r.R.Report()->Engine()->AbsolutePageNo()); };
    r.R.Print();
    EXPECT_EQ(pages, std::vector<int>{2});
}

}  // namespace

namespace {

TEST(GenerationRequests, ASecondRunAfterTheBandsChangedPrintsTheNewBands) {
    Rig r(2);
    r.R.Print();
    EXPECT_EQ(r.Texts(), "H K1 K2 F");
    delete r.R.Report()->HeaderBand();
    TrpBand* header = r.R.Report()->CreateBand(btHeader);
    r.R.AddText(header, "N", 0, 0, 20000, 4000, "N");
    r.R.Report()->ResetPrintState();
    r.R.Print();
    EXPECT_EQ(r.Texts(), "H K1 K2 F|N K1 K2 F");
}

}  // namespace

namespace {

TEST(BandEngine, AFooterLeftOffTheLastPage) {
    Rig r(60);
    r.R.Report()->FooterBand()->SetPrintOnLastPage(false);
    r.R.Print();
    EXPECT_EQ(r.Texts().substr(r.Texts().rfind('|')), "|H K53 K54 K55 K56 K57 K58 K59 K60");
    EXPECT_NE(r.Texts().find("K52 F|"), std::string::npos);
}

TEST(BandEngine, ADetailPrintCountEndsThePageAfterThatManyRecords) {
    Rig r(12);
    r.Detail->SetPrintCount(5);
    r.R.Print();
    EXPECT_EQ(r.Texts(), "H K1 K2 K3 K4 K5 F|H K6 K7 K8 K9 K10 F|H K11 K12 F");
}

TEST(BandEngine, ThePageStylePrintsOnlyOnThePagesItNames) {
    Rig r(150);
    auto* style = static_cast<TrpPageStyle*>(r.R.Report()->CreateBand(btPageStyle));
    r.R.AddText(style, "P", 150000, 0, 20000, 4000, "P");
    style->SetValidPages("1,3");
    r.R.Print();
    std::vector<bool> styled;
    for (const CapturedPage* p : r.R.Device()->FinalPages())
        styled.push_back(static_cast<TrpDrawText*>(p->Page->DrawCommands(0))->Text() == "P");
    EXPECT_EQ(styled, (std::vector<bool>{true, false, true}));
}

TEST(BandEngine, ADynamicBandWithoutRoomForAnythingTellsTheEngine) {
    Rig r(52);  // 4300 left below the details
    TrpBand* summary = r.R.Report()->CreateBand(btSummary);
    summary->SetPrintHeight(phDynamic);
    r.R.AddText(summary, "S", 0, 0, 20000, 6000, "S");
    EventRecorder events(r.R.Report()->Engine());
    events.Listen(r.R.Report()->Engine(), {rpevNoRoomForDynamicBand});
    r.R.Print();
    EXPECT_EQ(events.Trace(), "1:TrpEngine:139\n");
    EXPECT_EQ(r.Texts().substr(r.Texts().rfind('|')), "|H S F");
}

}  // namespace

namespace {

TEST(BandEngine, TheDetailBandKeepsItsStateInItsEngine) {
    ReportRig rig;
    rig.Report()->CreateDefaultBands();
    TrpDetailBand* detail = rig.Report()->DetailBand();
    auto* engine = dynamic_cast<TrpVerticalBandEngine*>(detail->BandEngine());
    ASSERT_NE(engine, nullptr);
    detail->SetPartialAdjustment(1234);
    detail->SetOutOfSpace(true);
    EXPECT_EQ(engine->State().PartialAdjustment, 1234);
    EXPECT_TRUE(engine->State().OutOfSpace);
    engine->State().Count = 7;
    EXPECT_EQ(detail->Count(), 7);
    // Other bands keep their own.
    TrpHeaderBand* header = rig.Report()->HeaderBand();
    EXPECT_EQ(typeid(*header->BandEngine()), typeid(TrpBandEngine));
    header->SetCount(3);
    EXPECT_EQ(header->Count(), 3);
    EXPECT_EQ(detail->Count(), 7);
}

}  // namespace

namespace {

TEST(BandedReport, IsKnownToTheStreamingRegistryAndMakesItsBandsByKind) {
    ASSERT_EQ(GetClass("TrpBandedReport"), TrpBandedReport::StaticClassType());
    ReportRig rig;
    TrpBandedReport* r = rig.Report();
    EXPECT_EQ(r->BandCount(), 0);
    // Only the detail band's reader makes its band.
    EXPECT_EQ(r->HeaderBand(), nullptr);
    TrpDetailBand* detail = r->DetailBand();
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(r->DetailBand(), detail);
    EXPECT_EQ(r->BandCount(), 1);
    // A second band of a kind is never made.
    TrpBand* title = r->CreateBand(btTitle);
    EXPECT_EQ(r->CreateBand(btTitle), title);
    EXPECT_EQ(r->TitleBand(), title);
    // Groups get their header and footer with the default bands.
    auto* group = new TrpGroup(rig.Owner());
    group->SetReport(r);
    delete group->HeaderBand();
    delete group->FooterBand();
    ASSERT_EQ(r->GroupHeaderBand(0), nullptr);
    r->CreateDefaultBands();
    EXPECT_NE(r->GroupHeaderBand(0), nullptr);
    EXPECT_NE(r->GroupFooterBand(0), nullptr);
    EXPECT_EQ(r->GroupHeaderBand(0)->Group(), group);
    // The report had bands: no header or footer is added.
    EXPECT_EQ(r->HeaderBand(), nullptr);
    EXPECT_EQ(r->FooterBand(), nullptr);
}

}  // namespace

namespace {

TEST(BandedReport, WithoutAPipelineTheDetailPrintsOnce) {
    ReportRig rig;
    TrpBandedReport* r = rig.Report();
    r->CreateDefaultBands();
    rig.AddText(r->HeaderBand(), "H", 0, 0, 20000, 4000, "H");
    rig.AddText(r->DetailBand(), "D", 0, 0, 20000, 4000, "D");
    rig.AddText(r->FooterBand(), "F", 0, 0, 20000, 4000, "F");
    rig.Print();
    const auto pages = rig.Device()->FinalPages();
    ASSERT_EQ(pages.size(), 1u);
    std::string texts;
    for (int i = 0; i < pages[0]->Page->DrawCommandCount(); ++i)
        texts += static_cast<TrpDrawText*>(pages[0]->Page->DrawCommands(i))->Text();
    EXPECT_EQ(texts, "HDF");
    EXPECT_TRUE(pages[0]->Page->LastPage());
}

}  // namespace
