// Groups (membership, breaks, exclusive settings) and the producer's
// structure (device name, version, print state, guarded options).
#include <gtest/gtest.h>

#include "report/rpDevice.h"
#include "tests/report/ModelTestSupport.h"

namespace reporttest {
namespace {

using Groups = ModelFixture;

TEST_F(Groups, KeepTogetherAndNewPageExcludeEachOther) {
    TrpGroup* g = AddGroup();
    g->SetNewPage(true);
    g->SetNewColumn(true);
    g->SetKeepTogether(true);
    EXPECT_FALSE(g->NewPage());
    EXPECT_FALSE(g->NewColumn());
    g->SetNewPage(true);
    EXPECT_FALSE(g->KeepTogether());
    EXPECT_TRUE(g->NewPage());
}

TEST_F(Groups, BreaksComparePreciselyAndListenersMayChangeTheValue) {
    auto* pipeline = new TTestPipeline(form.get());
    TrpGroup* g = AddGroup();
    g->SetDataPipeline(pipeline);
    g->SetBreakName("Cliente");
    pipeline->fields["Cliente"] = "abc";
    g->ResetLinkedCalcs();
    EXPECT_FALSE(g->CheckForBreak());
    pipeline->fields["Cliente"] = "ABC";
    EXPECT_TRUE(g->CheckForBreak()) << "case counts";
    EXPECT_TRUE(g->BreakPending());
    EXPECT_TRUE(g->HeaderBand()->Generation());
    EXPECT_TRUE(g->FooterBand()->Generation());
    EXPECT_FALSE(g->CheckForBreak());

    g->OnGetBreakValue = [](TObject*, std::string& value) { value += "!"; };
    TEventListener listener({rpevGetBreakValue});
    listener.answer = [](TObject*, int, TrsParamList* params) {
        TrsValue v;
        params->GetParamValue(0, v);
        params->SetParamValue(0, TrsValue(std::get<std::string>(v) + "?"));
    };
    g->AddEventNotify(&listener);
    EXPECT_EQ(g->GetBreakValue(), "ABC!?");
    g->RemoveEventNotify(&listener);
}

TEST_F(Groups, AnEmptyPipelineAlwaysBreaks) {
    auto* pipeline = new TTestPipeline(form.get());
    pipeline->record = false;
    TrpGroup* g = AddGroup();
    g->SetDataPipeline(pipeline);
    g->SetBreakName("Cliente");
    g->ResetLinkedCalcs();
    EXPECT_TRUE(g->CheckForBreak());
}

TEST_F(Groups, ACustomBreakNeedsATextComponent) {
    report->CreateDefaultBands();
    TrpTestLabel* label = AddLabel(report->GetBand(btDetail));
    label->SetName("Cidade");
    label->SetCaption("Santos");
    TrpGroup* g = AddGroup();
    g->SetBreakType(btCustomField);
    g->SetBreakName("Ninguem");
    EXPECT_EQ(g->BreakName(), "") << "no component of that name";
    g->SetBreakName("Cidade");
    EXPECT_EQ(g->BreakName(), "Cidade");
    EXPECT_EQ(g->BreakComponent(), label);
    EXPECT_EQ(g->GetBreakValue(), "Santos");
    delete label;
    EXPECT_EQ(g->BreakComponent(), nullptr);
}

TEST_F(Groups, BreakTypeStaysWhileTheReportPrints) {
    TrpGroup loose(form.get());
    loose.SetBreakType(btCustomField);
    EXPECT_EQ(loose.BreakType(), btDataField) << "a group without a report keeps its break type";
    TrpGroup* g = AddGroup();
    report->SetPrinting(true);
    g->SetBreakType(btCustomField);
    EXPECT_EQ(g->BreakType(), btDataField);
    report->SetPrinting(false);
    g->SetBreakType(btCustomField);
    EXPECT_EQ(g->BreakType(), btCustomField);
}

TEST_F(Groups, AfterTheBreakTheInstanceCountsAndTheRetryIsFree) {
    TrpGroup* g = AddGroup();
    std::vector<std::string> order;
    g->AfterGroupBreak = [&](TObject*) { order.push_back("after"); };
    g->BeforeGroupBreak = [&](TObject*) { order.push_back("before"); };
    g->DoBeforeGroupBreak();
    g->DoAfterGroupBreak();
    EXPECT_EQ(order, (std::vector<std::string>{"before", "after"}));
    EXPECT_EQ(g->GroupInstance(), 1);
    EXPECT_FALSE(g->KeptTogetherDone());
}

TEST_F(Groups, GroupRecordsReadBack) {
    TMemoryStream stream;
    TrpGroup* g = AddGroup();
    g->SetCacheStream(&stream);
    g->SetCacheCount(1);
    g->SetFirstPage(3);
    g->SetLastPage(5);
    g->DoAfterGroupBreak();
    g->DoAfterGroupBreak();
    g->SaveToCache(0);
    g->ResetCache(0);
    EXPECT_EQ(g->GroupInstance(), 0);
    g->RestoreFromCache(0);
    EXPECT_EQ(g->FirstPage(), 3);
    EXPECT_EQ(g->LastPage(), 5);
    EXPECT_EQ(g->GroupInstance(), 2);
    g->SetCacheStream(nullptr);
}

TEST_F(Groups, AFreedPipelineIsForgotten) {
    auto* pipeline = new TTestPipeline(form.get());
    TrpGroup* g = AddGroup();
    g->SetDataPipeline(pipeline);
    delete pipeline;
    EXPECT_EQ(g->DataPipeline(), nullptr);
}

// --- Producer ---

class TNamedDevice : public TrpDevice {
public:
    explicit TNamedDevice(TComponent* AOwner) : TrpDevice(AOwner) {}
    FAT_CLASS(TNamedDevice)
};

}  // namespace
}  // namespace reporttest

TClass reporttest::TNamedDevice::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TNamedDevice>("TNamedDevice", TrpDevice::StaticClassType()).Build();
    return &info;
}

namespace reporttest {
namespace {

using Producer = ModelFixture;

TEST_F(Producer, AnUnknownDeviceNameIsRefused) {
    EXPECT_EQ(report->DeviceType(), "Screen");
    report->SetDeviceType("Plotter");
    EXPECT_EQ(report->DeviceType(), "Screen");
    RegisterDeviceClass(TNamedDevice::StaticClassType(), "Printer");
    report->SetDeviceKind(0);
    EXPECT_EQ(report->DeviceType(), "Printer");
    report->SetDeviceKind(2);
    EXPECT_EQ(report->DeviceType(), "Printer") << "no text file device is registered";
    UnregisterDeviceClass(TNamedDevice::StaticClassType());
}

TEST_F(Producer, VersionIsOldUntilLoaded) {
    EXPECT_EQ(report->Version(), "1.0");
    EXPECT_EQ(report->VersionNo(), 1000);
}

TEST_F(Producer, ResetPrintStateWaitsWhilePrinting) {
    report->SetJobStarted(true);
    report->SetPrinting(true);
    report->ResetPrintState();
    EXPECT_TRUE(report->JobStarted());
    report->SetPrinting(false);
    report->ResetPrintState();
    EXPECT_FALSE(report->JobStarted());
}

TEST_F(Producer, OptionsDoNotChangeWhilePrinting) {
    report->SetPrinting(true);
    report->SetShowPrintDialog(false);
    report->SetAllowPrintToFile(true);
    report->SetTextFileName("saida.txt");
    report->SetModalPreview(false);
    EXPECT_TRUE(report->ShowPrintDialog());
    EXPECT_FALSE(report->AllowPrintToFile());
    EXPECT_EQ(report->TextFileName(), "");
    EXPECT_TRUE(report->ModalPreview());
    report->SetPrinting(false);
    report->SetShowPrintDialog(false);
    EXPECT_FALSE(report->ShowPrintDialog());
}

TEST_F(Producer, ReportBeginAndEndAreAnnouncedOnceEach) {
    TEventListener listener({rpevReportBegin, rpevReportEnd, rpevNotifyReportBegin});
    report->AddEventNotify(&listener);
    report->ReportBegin();
    report->ReportBegin();
    report->NotifyReportBegin();
    report->ReportEnd();
    report->ReportEnd();
    EXPECT_EQ(listener.heard, (std::vector<int>{rpevReportBegin, rpevNotifyReportBegin, rpevReportEnd}));
    report->RemoveEventNotify(&listener);
}

TEST_F(Producer, UnitsReachThePrinterSetup) {
    report->SetUnits(utMillimeters);
    EXPECT_EQ(report->PrinterSetup()->Units(), utMillimeters);
}

TEST_F(Producer, APageRequestFromThePublisherFiresTheEvent) {
    TrpPageRequest* seen = nullptr;
    report->OnPageRequest = [&](TObject*, TrpPageRequest* r) { seen = r; };
    TEventListener listener({rpevPageRequest});
    report->AddEventNotify(&listener);
    TrpPageRequest request;
    report->Publisher()->OnPageRequest(report->Publisher(), &request);
    EXPECT_EQ(seen, &request);
    EXPECT_EQ(listener.heard, std::vector<int>{rpevPageRequest});
    report->RemoveEventNotify(&listener);
}

}  // namespace
}  // namespace reporttest

namespace reporttest {
namespace {

using EngineSections = ModelFixture;

TEST_F(EngineSections, ABandGeneratesInTheSectionsItsFlagsName) {
    TrpGroup* g = AddGroup();
    const TrpBandTypeFlags header = g->HeaderBand()->GetBandTypeFlags();
    EXPECT_TRUE(rpBandGeneratesIn(header, {TrpEngineSection::GroupHeader}));
    EXPECT_TRUE(rpBandGeneratesIn(header, {TrpEngineSection::PageHeader})) << "it reprints on following pages";
    EXPECT_FALSE(rpBandGeneratesIn(header, {TrpEngineSection::Detail, TrpEngineSection::GroupFooter}));
    g->SetReprintOnSubsequentPage(false);
    EXPECT_FALSE(rpBandGeneratesIn(g->HeaderBand()->GetBandTypeFlags(), {TrpEngineSection::PageHeader}));
    EXPECT_FALSE(rpBandGeneratesIn({}, {TrpEngineSection::Detail}));
}

}  // namespace
}  // namespace reporttest
