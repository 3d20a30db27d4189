// Bands: height and its listeners, object order, kinds' own settings, the
// page style's pages, and the state records saved per page.
#include <gtest/gtest.h>

#include "platform/rtl/Streams.h"
#include "tests/report/ModelTestSupport.h"

namespace reporttest {
namespace {

using Bands = ModelFixture;

TEST_F(Bands, AListenerMayRefuseANewHeightButTheBandStillResets) {
    auto* detail = AddBand<TrpDetailBand>();
    TEventListener listener({rpevHeightQuery, rpevHeightChanged, rpevBandReset});
    int32_t asked = 0;
    listener.answer = [&](TObject*, int event, TrsParamList* params) {
        if (event != rpevHeightQuery) return;
        TrsValue v;
        params->GetParamValue(params->IndexOf("NewHeight"), v);
        asked = std::get<int32_t>(v);
        params->SetParamValue(params->IndexOf("IsValid"), TrsValue(false));
    };
    detail->AddEventNotify(&listener);
    detail->SetmmHeight(20000);
    EXPECT_EQ(asked, 20000);
    EXPECT_EQ(detail->mmHeight(), 13229);
    EXPECT_EQ(listener.heard, (std::vector<int>{rpevHeightQuery, rpevBandReset}));

    listener.answer = nullptr;
    listener.heard.clear();
    detail->SetmmHeight(-40);
    EXPECT_EQ(detail->mmHeight(), 0) << "a negative height is none";
    EXPECT_EQ(listener.heard, (std::vector<int>{rpevHeightQuery, rpevHeightChanged, rpevBandReset}));
    detail->RemoveEventNotify(&listener);
}

TEST_F(Bands, HeightInUnitsConvertsToThousandthsOfAMillimetre) {
    auto* header = AddBand<TrpHeaderBand>();
    header->SetHeight(1.0f);  // inches
    EXPECT_EQ(header->mmHeight(), 25400);
    report->SetUnits(utMillimeters);
    header->SetHeight(12.5f);
    EXPECT_EQ(header->mmHeight(), 12500);
}

TEST_F(Bands, MovingObjectsKeepsEveryObjectOnce) {
    auto* detail = AddBand<TrpDetailBand>();
    TrpTestLabel* a = AddLabel(detail);
    TrpTestLabel* b = AddLabel(detail);
    TrpTestLabel* c = AddLabel(detail);
    detail->MoveObject(0, 99);
    EXPECT_EQ(detail->Objects(0), b);
    EXPECT_EQ(detail->Objects(1), c);
    EXPECT_EQ(detail->Objects(2), a);
    // Out of range: nothing moves and nothing is lost or doubled.
    detail->MoveObject(3, 0);
    detail->MoveObject(-1, 0);
    detail->MoveObject(1, -4);
    ASSERT_EQ(detail->ObjectCount(), 3);
    EXPECT_EQ(detail->Objects(0), b);
    EXPECT_EQ(detail->Objects(1), c);
    EXPECT_EQ(detail->Objects(2), a);
    a->SendToBack();
    EXPECT_EQ(detail->Objects(0), a);
    b->BringToFront();
    EXPECT_EQ(detail->Objects(2), b);
}

TEST_F(Bands, ObjectsLeaveTheirBandWhenFreedOrMoved) {
    auto* detail = AddBand<TrpDetailBand>();
    auto* header = AddBand<TrpHeaderBand>();
    TrpTestLabel* a = AddLabel(detail);
    detail->AddSave(a);
    detail->AddVariable(a);
    a->SetBand(header);
    EXPECT_EQ(detail->ObjectCount(), 0);
    EXPECT_EQ(detail->SaveCount(), 0);
    EXPECT_EQ(detail->VariableCount(), 0);
    delete a;
    EXPECT_EQ(header->ObjectCount(), 0);
    TEventListener listener({rpevObjectAdded, rpevObjectRemoved});
    header->AddEventNotify(&listener);
    TrpTestLabel* b = AddLabel(header);
    b->SetBand(nullptr);
    EXPECT_EQ(listener.heard, (std::vector<int>{rpevObjectAdded, rpevObjectRemoved}));
    header->RemoveEventNotify(&listener);
    delete b;
}

TEST_F(Bands, AStretchingObjectMakesItsBandDynamicForGood) {
    auto* detail = AddBand<TrpDetailBand>();
    auto* memo = new TrpTestLabel(form.get());
    memo->stretch = true;
    memo->SetBand(detail);
    EXPECT_EQ(detail->PrintHeight(), phDynamic);
    memo->SetBand(nullptr);
    EXPECT_EQ(detail->PrintHeight(), phDynamic);
    delete memo;
}

TEST_F(Bands, KindSettingsKeepTheirLimits) {
    auto* detail = AddBand<TrpDetailBand>();
    detail->SetBandsPerRecord(0);
    EXPECT_EQ(detail->BandsPerRecord(), 1);
    detail->SetPrintCount(-3);
    EXPECT_EQ(detail->PrintCount(), 0);
    EXPECT_EQ(detail->PrintKind(), TrpBandPrintKind::Records);
    detail->SetPrintCount(5);
    EXPECT_EQ(detail->PrintKind(), TrpBandPrintKind::Count);
    detail->SetPrintHeight(phDynamic);
    detail->SetColumnTraversal(ctLeftToRight);
    EXPECT_EQ(detail->PrintHeight(), phStatic) << "left to right makes it static";
    detail->SetPrintHeight(phDynamic);
    EXPECT_EQ(detail->PrintHeight(), phStatic);

    auto* footer = AddBand<TrpFooterBand>();
    footer->SetPrintHeight(phDynamic);
    EXPECT_EQ(footer->PrintHeight(), phStatic);
    auto* columnFooter = AddBand<TrpColumnFooterBand>();
    columnFooter->SetPrintHeight(phDynamic);
    EXPECT_EQ(columnFooter->PrintHeight(), phStatic);
    auto* header = AddBand<TrpHeaderBand>();
    header->SetPrintHeight(phDynamic);
    EXPECT_EQ(header->PrintHeight(), phDynamic);
    EXPECT_TRUE(header->PrintOnFirstPage());
    EXPECT_TRUE(header->PrintOnLastPage());
}

TEST_F(Bands, BandsTakeTheirCaptionsAndUserNames) {
    report->CreateDefaultBands();
    EXPECT_EQ(report->GetBand(btHeader)->Caption(), "Cabeçalho");
    EXPECT_EQ(report->GetBand(btDetail)->Caption(), "Detalhe");
    EXPECT_EQ(report->GetBand(btFooter)->Caption(), "Rodapé");
    EXPECT_EQ(report->GetBand(btHeader)->UserName(), "Header");
    auto* pipeline = new TTestPipeline(form.get());
    TrpGroup* g = AddGroup();
    g->SetDataPipeline(pipeline);
    g->SetBreakName("Cliente");
    EXPECT_EQ(g->HeaderBand()->Caption(), "Cabeçalho do Grupo [0]: Cliente");
    EXPECT_EQ(g->FooterBand()->Caption(), "Rodapé do Grupo [0]: Cliente");
    EXPECT_EQ(report->GetUserName(), "Report");
    EXPECT_EQ(report->PrinterSetup()->DocumentName(), "Report");
}

TEST_F(Bands, APageStyleWithValidPagesPrintsOnThoseOnly) {
    auto* style = AddBand<TrpPageStyle>();
    style->SetValidPages("1,3");
    EXPECT_EQ(style->PageSetting(), psPageList);
    EXPECT_TRUE(style->PrintsOnPage(1, 0));
    EXPECT_FALSE(style->PrintsOnPage(2, 0));
    EXPECT_TRUE(style->PrintsOnPage(3, 0));
    style->SetPageSetting(psLastPage);
    EXPECT_FALSE(style->PrintsOnPage(4, 0)) << "the last page is not known yet";
    EXPECT_TRUE(style->PrintsOnPage(4, 4));
    style->SetPageSetting(psPageRange);
    style->SetStartPage(2);
    style->SetEndPage(3);
    EXPECT_FALSE(style->PrintsOnPage(1, 0));
    EXPECT_TRUE(style->PrintsOnPage(3, 0));
    EXPECT_FALSE(style->PrintsOnPage(4, 0));
    report->SetPrinting(true);
    style->SetPageSetting(psAll);
    EXPECT_EQ(style->PageSetting(), psPageRange) << "no change while the report prints";
    report->SetPrinting(false);
}

// --- Records saved per page ---

TEST_F(Bands, ABandRecordSitsAtItsPageAndPositionAndReadsBack) {
    TMemoryStream stream;
    std::vector<TrpDetailBand*> bands;
    for (int i = 0; i < 3; ++i) {
        bands.push_back(AddBand<TrpDetailBand>());
        bands[i]->SetCacheStream(&stream);
        bands[i]->SetCacheCount(3);
        bands[i]->SetCachePosition(i);
    }
    EXPECT_EQ(bands[2]->CacheRecordOffset(4), 280) << "(4 x 3 + 2) x 20";
    for (int page = 0; page <= 4; ++page)
        for (int i = 0; i < 3; ++i) {
            bands[i]->SetCurrentLevel(page * 10 + i);
            bands[i]->SetObjectLimit(-i);
            bands[i]->SetOverFlow(i == 1);
            bands[i]->SetPartialGeneration(page == 2);
            bands[i]->SetPartialAdjustment(1000 * page);
            bands[i]->SetPrintPositionBreak(true);
            bands[i]->SaveToCache(page);
        }
    EXPECT_EQ(stream.Size(), 5 * 3 * 20);
    bands[2]->RestoreFromCache(2);
    EXPECT_EQ(bands[2]->CurrentLevel(), 22);
    EXPECT_EQ(bands[2]->ObjectLimit(), -2);
    EXPECT_FALSE(bands[2]->OverFlow());
    EXPECT_TRUE(bands[2]->PartialGeneration());
    EXPECT_EQ(bands[2]->PartialAdjustment(), 2000);
    bands[1]->RestoreFromCache(0);
    EXPECT_TRUE(bands[1]->OverFlow());
    EXPECT_EQ(bands[1]->CurrentLevel(), 1);
    // Beyond the stream's end: nothing is read, the state stays.
    bands[1]->RestoreFromCache(9);
    EXPECT_EQ(bands[1]->CurrentLevel(), 1);
    for (auto* b : bands) b->SetCacheStream(nullptr);
}

TEST_F(Bands, TheBandRecordLayoutIsFixed) {
    TMemoryStream stream;
    auto* title = AddBand<TrpTitleBand>();
    title->SetCacheStream(&stream);
    title->SetCacheCount(1);
    title->SetCurrentLevel(0x01020304);
    title->SetObjectLimit(7);
    title->SetOverFlow(true);
    title->SetPartialAdjustment(-1);
    title->SetPrintingSection(true);
    title->SetFirstPrinted(true);
    title->SaveToCache(0);
    const std::string bytes = stream.DataBytes();
    const std::string expected("\x04\x03\x02\x01"
                               "\x07\x00\x00\x00"
                               "\x01\x00\x00\x00"
                               "\xff\xff\xff\xff"
                               "\x00\x01\x01\x00",
                               20);
    EXPECT_EQ(bytes, expected);
    title->SetCacheStream(nullptr);
}

TEST_F(Bands, GroupHeaderRecordsCarryTheBreakFlags) {
    TMemoryStream stream;
    TrpGroup* g = AddGroup();
    TrpGroupHeaderBand* header = g->HeaderBand();
    EXPECT_EQ(header->CacheRecordSize(), 24);
    header->SetCacheStream(&stream);
    header->SetCacheCount(1);
    header->SetAlreadyPageBreak(true);
    header->SaveToCache(0);
    header->SetAlreadyPageBreak(false);
    header->SetAlreadyColumnBreak(true);
    header->SaveToCache(1);
    header->RestoreFromCache(0);
    EXPECT_TRUE(header->AlreadyPageBreak());
    EXPECT_FALSE(header->AlreadyColumnBreak());
    header->RestoreFromCache(1);
    EXPECT_FALSE(header->AlreadyPageBreak());
    EXPECT_TRUE(header->AlreadyColumnBreak());
    header->SetCacheStream(nullptr);
}

TEST_F(Bands, InitObjectsSortsObjectsIntoLevels) {
    auto* detail = AddBand<TrpDetailBand>();
    TrpTestLabel* plain = AddLabel(detail);
    TrpTestLabel* shifted = AddLabel(detail);
    shifted->SetShiftWithParent(true);
    TrpTestLabel* stretched = AddLabel(detail);
    stretched->SetStretchWithParent(true);
    auto* memo = new TrpTestLabel(form.get());
    memo->stretch = true;
    memo->SetBand(detail);
    detail->SetOverFlow(true);
    detail->SetCurrentLevel(3);
    detail->InitObjects();
    EXPECT_EQ(detail->Level(1), std::vector<TrpComponent*>{plain});
    EXPECT_EQ(detail->Level(2), std::vector<TrpComponent*>{memo});
    EXPECT_EQ(detail->Level(3), std::vector<TrpComponent*>{stretched});
    EXPECT_EQ(detail->Level(4), std::vector<TrpComponent*>{shifted});
    EXPECT_FALSE(detail->OverFlow());
    EXPECT_EQ(detail->CurrentLevel(), 0);
    EXPECT_EQ(detail->PartialAdjustment(), detail->mmHeight());
    EXPECT_EQ(memo->IndexInBandOrder(), 3);
}

TEST_F(Bands, BandEventsRunTheirHandlerBeforeTheBroadcast) {
    auto* detail = AddBand<TrpDetailBand>();
    std::vector<int> order;
    detail->BeforePrint = [&](TObject*) { order.push_back(-1); };
    detail->AfterGenerate = [&](TObject*) { order.push_back(-2); };
    TEventListener listener({rpevBeforePrint, rpevAfterPrint, rpevBeforeGenerate, rpevAfterGenerate});
    listener.answer = [&](TObject*, int e, TrsParamList*) { order.push_back(e); };
    detail->AddEventNotify(&listener);
    detail->DoBeforePrint();
    detail->DoAfterPrint();
    detail->DoBeforeGenerate();
    detail->DoAfterGenerate();
    EXPECT_EQ(order, (std::vector<int>{-1, 24, 23, 26, -2, 25}));
    detail->RemoveEventNotify(&listener);
}

}  // namespace
}  // namespace reporttest
