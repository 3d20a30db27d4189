// The print job: which events come in which order for each kind of
// output, with fake dialogs registered as the preview layer registers its
// own, and what happens when a dialog or a device class is missing.
#include <gtest/gtest.h>

#include "report/rpDialogRegistry.h"
#include "report/rpDialogs.h"
#include "report/rpExcept.h"
#include "report/rpGroup.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

// What happened, in order, across the fakes and the report's events.
std::vector<std::string>& Log() {
    static std::vector<std::string> log;
    return log;
}
std::string Joined() {
    std::string s;
    for (const std::string& e : Log()) s += (s.empty() ? "" : ", ") + e;
    return s;
}

bool printDialogAnswer = true;
bool printDialogChoosesBackground = false;
TrpCustomCancelDialog* liveCancelDialog = nullptr;

class FakePreviewer : public TrpCustomPreviewer {
public:
    FAT_CLASS(FakePreviewer)
    using TrpCustomPreviewer::TrpCustomPreviewer;
    bool ShowModal() override {
        Log().push_back("preview modal");
        if (OnActivate) OnActivate();
        Log().push_back("user closes");
        if (OnClose) OnClose();
        return true;
    }
    void Show() override { Log().push_back("preview shown"); }
};

class FakePrintDialog : public TrpCustomPrintDialog {
public:
    FAT_CLASS(FakePrintDialog)
    using TrpCustomPrintDialog::TrpCustomPrintDialog;
    bool ShowModal() override {
        Log().push_back("print dialog");
        BackgroundPrintActive = printDialogChoosesBackground;
        return printDialogAnswer;
    }
};

class FakeCancelDialog : public TrpCustomCancelDialog {
public:
    FAT_CLASS(FakeCancelDialog)
    using TrpCustomCancelDialog::TrpCustomCancelDialog;
    ~FakeCancelDialog() override { liveCancelDialog = nullptr; }
    bool ShowModal() override { return true; }
    void ExecuteModal() override {
        liveCancelDialog = this;
        Log().push_back("cancel dialog modal");
        if (OnStart) OnStart();
    }
    void Show() override {
        liveCancelDialog = this;
        Log().push_back("cancel dialog shown");
    }
    void Close() override {
        if (OnClose) OnClose();
    }
};

// A printer that keeps the number of each page it prints.
class FakePrinterDevice : public TrpDevice {
public:
    FAT_CLASS(FakePrinterDevice)
    using TrpDevice::TrpDevice;
    void StartJob() override {
        TrpDevice::StartJob();
        Log().push_back("device start");
    }
    void ReceivePage(TrpPage* Page) override {
        TrpDevice::ReceivePage(Page);
        if (ShouldOutput()) Log().push_back("page " + std::to_string(Page->AbsolutePageNo()));
    }
    void EndJob() override {
        TrpDevice::EndJob();
        Log().push_back("device end");
    }
};

TClass FakePreviewer::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<FakePreviewer>("FakePreviewer", TrpCustomPreviewer::StaticClassType()).Build();
    return &info;
}
TClass FakePrintDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<FakePrintDialog>("FakePrintDialog", TrpCustomPrintDialog::StaticClassType()).Build();
    return &info;
}
TClass FakeCancelDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<FakeCancelDialog>("FakeCancelDialog", TrpCustomCancelDialog::StaticClassType()).Build();
    return &info;
}
TClass FakePrinterDevice::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<FakePrinterDevice>("FakePrinterDevice", TrpDevice::StaticClassType()).Build();
    return &info;
}

std::vector<std::vector<Variant>> NumberedRows(int Count) {
    std::vector<std::vector<Variant>> rows;
    for (int i = 1; i <= Count; ++i) rows.push_back({Variant("K" + std::to_string(i)), Variant(i)});
    return rows;
}

// A report of 120 rows (three pages) whose events write to the log, with
// the fakes registered for its run.
class PrintJob : public ::testing::Test {
protected:
    void SetUp() override {
        Log().clear();
        printDialogAnswer = true;
        printDialogChoosesBackground = false;
        RegisterFormClass(TrpCustomPreviewer::StaticClassType(), FakePreviewer::StaticClassType());
        RegisterFormClass(TrpCustomPrintDialog::StaticClassType(), FakePrintDialog::StaticClassType());
        RegisterFormClass(TrpCustomCancelDialog::StaticClassType(), FakeCancelDialog::StaticClassType());
        RegisterDeviceClass(FakePrinterDevice::StaticClassType(), "Printer");
        data_ = std::make_unique<RowsTable>(std::vector<std::string>{"Key", "Amount"}, NumberedRows(120));
        TrpBandedReport* r = rig_.Report();
        r->SetDataPipeline(data_->Pipeline());
        r->CreateDefaultBands();
        r->DetailBand()->SetmmHeight(6000);
        TestText* key = rig_.AddText(r->DetailBand(), "KeyText", 0, 0, 40000, 4000);
        key->SetDataPipeline(data_->Pipeline());
        key->SetDataField("Key");
        auto note = [](const char* Name) { return [Name](TObject*) { Log().push_back(Name); }; };
        r->BeforePrint = note("BeforePrint");
        r->AfterPrint = note("AfterPrint");
        r->OnCancel = note("OnCancel");
        r->OnCancelDialogCreate = note("OnCancelDialogCreate");
        r->OnCancelDialogClose = note("OnCancelDialogClose");
        r->OnAssignPreviewFormSettings = note("OnAssignPreviewFormSettings");
        r->OnPreviewFormCreate = note("OnPreviewFormCreate");
        r->OnPreviewFormClose = note("OnPreviewFormClose");
        r->OnPrintDialogCreate = note("OnPrintDialogCreate");
        r->OnPrintDialogClose = note("OnPrintDialogClose");
        r->OnPrintingComplete = note("OnPrintingComplete");
    }
    void TearDown() override {
        rpSetBackgroundPrintHandler(nullptr);
        UnregisterDeviceClass(FakePrinterDevice::StaticClassType());
        UnregisterFormClass(TrpCustomCancelDialog::StaticClassType());
        UnregisterFormClass(TrpCustomPrintDialog::StaticClassType());
        UnregisterFormClass(TrpCustomPreviewer::StaticClassType());
    }
    // To a printer only the job's own device prints.
    void ToPrinter() {
        rig_.Device()->SetPublisher(nullptr);
        rig_.Report()->SetDeviceType("Printer");
        ASSERT_EQ(rig_.Report()->DeviceType(), "Printer");
    }
    TrpBandedReport* Report() { return rig_.Report(); }

    ReportRig rig_;
    std::unique_ptr<RowsTable> data_;
};

TEST_F(PrintJob, AModalPreviewRunsTheJobWhenActiveAndEndsItWhenClosed) {
    Report()->PrintReport();
    EXPECT_EQ(Joined(),
              "OnAssignPreviewFormSettings, OnPreviewFormCreate, preview modal, BeforePrint, user closes, AfterPrint, "
              "OnPreviewFormClose");
    EXPECT_EQ(rig_.Device()->FinalPages().size(), 3u) << "the preview's device was served";
    EXPECT_FALSE(Report()->Producing());
}

TEST_F(PrintJob, APreviewNotModalRunsTheJobAtOnceAndStaysOpen) {
    Report()->SetModalPreview(false);
    Report()->PrintReport();
    EXPECT_EQ(Joined(), "OnAssignPreviewFormSettings, OnPreviewFormCreate, preview shown, BeforePrint");
    EXPECT_TRUE(Report()->Producing()) << "until the preview closes";
    ASSERT_NE(Report()->PreviewForm(), nullptr);
    Report()->PreviewForm()->OnClose();
    EXPECT_FALSE(Report()->Producing());
    EXPECT_EQ(Log().back(), "OnPreviewFormClose");
}

TEST_F(PrintJob, APrinterRunGoesThroughBothDialogs) {
    ToPrinter();
    Report()->PrintReport();
    EXPECT_EQ(Joined(),
              "OnPrintDialogCreate, print dialog, OnPrintDialogClose, OnCancelDialogCreate, cancel dialog modal, "
              "BeforePrint, device start, page 1, page 2, page 3, device end, AfterPrint, OnPrintingComplete, "
              "OnCancelDialogClose");
    EXPECT_FALSE(Report()->Producing());
    EXPECT_EQ(Report()->PrinterDevice(), nullptr) << "the job's device goes with the job";
    EXPECT_EQ(Report()->CancelDialog(), nullptr);
}

TEST_F(PrintJob, WithoutDialogsThePrinterRunIsTheJobAlone) {
    ToPrinter();
    Report()->SetShowPrintDialog(false);
    Report()->SetShowCancelDialog(false);
    Report()->PrintReport();
    EXPECT_EQ(Joined(),
              "OnPrintDialogCreate, OnCancelDialogCreate, BeforePrint, device start, page 1, page 2, page 3, "
              "device end, AfterPrint, OnPrintingComplete");
}

TEST_F(PrintJob, MissingPrintAndCancelDialogsLeaveTheRunToGoOn) {
    UnregisterFormClass(TrpCustomPrintDialog::StaticClassType());
    UnregisterFormClass(TrpCustomCancelDialog::StaticClassType());
    ToPrinter();
    Report()->PrintReport();
    EXPECT_EQ(Joined(),
              "OnPrintDialogCreate, OnCancelDialogCreate, BeforePrint, device start, page 1, page 2, page 3, "
              "device end, AfterPrint, OnPrintingComplete");
}

TEST_F(PrintJob, APrintDialogCancelledPrintsNothing) {
    ToPrinter();
    printDialogAnswer = false;
    Report()->PrintReport();
    EXPECT_EQ(Joined(), "OnPrintDialogCreate, print dialog, OnPrintDialogClose");
    EXPECT_FALSE(Report()->Producing());
}

TEST_F(PrintJob, ACancelWhileGeneratingStopsThePagesAndSkipsTheCompletion) {
    ToPrinter();
    int printed = 0;
    Report()->DetailBand()->AfterPrint = [&](TObject*) {
        // The user presses cancel while page 2 is made; a second print
        // request meanwhile is not acted on.
        if (++printed == 60) {
            Report()->PrintReport();
            ASSERT_NE(liveCancelDialog, nullptr);
            liveCancelDialog->OnCancel();
        }
    };
    Report()->PrintReport();
    EXPECT_EQ(Joined(),
              "OnPrintDialogCreate, print dialog, OnPrintDialogClose, OnCancelDialogCreate, cancel dialog modal, "
              "BeforePrint, device start, page 1, OnCancel, AfterPrint, OnCancelDialogClose");
    EXPECT_FALSE(Report()->Producing());
    // The engine is ready for a new run.
    Log().clear();
    Report()->ResetPrintState();
    Report()->DetailBand()->AfterPrint = nullptr;
    Report()->SetShowPrintDialog(false);
    Report()->SetShowCancelDialog(false);
    Report()->PrintReport();
    EXPECT_NE(Joined().find("page 1, page 2, page 3"), std::string::npos) << Joined();
}

TEST_F(PrintJob, ABackgroundChoiceHandsTheJobOver) {
    ToPrinter();
    printDialogChoosesBackground = true;
    Report()->BackgroundPrintSettings()->SetEnabled(true);
    rpSetBackgroundPrintHandler([](TrpProducer*, TrpPageRequest* Request, const std::string& Device,
                                   const std::string&, const std::string&) {
        Log().push_back("hand-off " + Device + (Request != nullptr ? " with request" : ""));
    });
    Report()->PrintReport();
    EXPECT_EQ(Joined(),
              "OnPrintDialogCreate, print dialog, OnPrintDialogClose, OnCancelDialogCreate, hand-off Printer with "
              "request");
    EXPECT_FALSE(Report()->Producing());
}

TEST_F(PrintJob, NoPreviewerRegisteredIsAnError) {
    UnregisterFormClass(TrpCustomPreviewer::StaticClassType());
    EXPECT_THROW(Report()->PrintReport(), EPrintError);
    EXPECT_FALSE(Report()->Producing());
    EXPECT_TRUE(Log().empty());
}

TEST_F(PrintJob, ADeviceClassGoneByPrintTimeIsNamedInTheError) {
    ToPrinter();
    UnregisterDeviceClass(FakePrinterDevice::StaticClassType());
    try {
        Report()->PrintReport();
        FAIL() << "no error";
    } catch (const EPrintError& e) {
        EXPECT_NE(std::string(e.what()).find("\"Printer\""), std::string::npos) << e.what();
    }
    EXPECT_FALSE(Report()->Producing());
}

// A report stored by a version before 4.0.
class OldReport : public TrpBandedReport {
public:
    using TrpBandedReport::TrpBandedReport;
    void MarkOld() { SetConvertedFromPre40(true); }
};

TEST_F(PrintJob, AnOldReportWaitsItsSecondBeforeItsFirstPrint) {
    TComponent owner(nullptr);
    auto* report = new OldReport(&owner);
    report->SetShowPrintDialog(false);
    report->SetShowCancelDialog(false);
    report->SetDeviceType("Printer");
    report->CreateDefaultBands();
    report->MarkOld();
    std::vector<std::string> messages;
    rpSetUserMessage([&](const std::string& Text) { messages.push_back(Text); });
    std::function<void()> tick;
    int pumped = 0;
    int timerMs = 0;
    bool writerIgnored = false;
    TrpConversionWait wait;
    wait.StartTimer = [&](int Ms, std::function<void()> Tick) {
        timerMs = Ms;
        tick = std::move(Tick);
    };
    wait.Pump = [&] {
        if (++pumped == 3) {
            report->SetShowCancelDialog(true);
            writerIgnored = !report->ShowCancelDialog();
            tick();
        }
    };
    const TrpConversionWait previous = rpSetConversionWait(wait);
    report->BeforePrint = [](TObject*) { Log().push_back("BeforePrint"); };
    report->OnPrintingComplete = [](TObject*) { Log().push_back("OnPrintingComplete"); };
    report->PrintReport();
    rpSetConversionWait(previous);
    rpSetUserMessage(nullptr);
    EXPECT_EQ(timerMs, 1000);
    EXPECT_EQ(pumped, 3);
    EXPECT_TRUE(writerIgnored) << "the writers guarded by Printing hold still during the wait";
    EXPECT_EQ(messages, (std::vector<std::string>{"This report will be converted to 4.0 format before printing."}));
    EXPECT_FALSE(report->ConvertedFromPre40());
    EXPECT_FALSE(report->Printing());
    EXPECT_EQ(Joined(), "BeforePrint, device start, page 1, device end, OnPrintingComplete");
}

class FakeFileDevice : public FakePrinterDevice {
public:
    FAT_CLASS(FakeFileDevice)
    using FakePrinterDevice::FakePrinterDevice;
};

TClass FakeFileDevice::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<FakeFileDevice>("FakeFileDevice", FakePrinterDevice::StaticClassType()).Build();
    return &info;
}

TEST_F(PrintJob, AFileRunIsAPrinterRunWithTheFileDevice) {
    RegisterDeviceClass(FakeFileDevice::StaticClassType(), "TextFile");
    rig_.Device()->SetPublisher(nullptr);
    Report()->SetDeviceType("TextFile");
    Report()->PrintReport();
    UnregisterDeviceClass(FakeFileDevice::StaticClassType());
    EXPECT_EQ(Joined(),
              "OnPrintDialogCreate, print dialog, OnPrintDialogClose, OnCancelDialogCreate, cancel dialog modal, "
              "BeforePrint, device start, page 1, page 2, page 3, device end, AfterPrint, OnPrintingComplete, "
              "OnCancelDialogClose");
}

TEST_F(PrintJob, TheJobMakesTheDetailAndTheBandsOfEveryGroupBeforeItStarts) {
    TComponent owner(nullptr);
    auto* report = new TrpBandedReport(&owner);
    for (const char* name : {"GrupoA", "GrupoB"}) {
        auto* group = new TrpGroup(&owner);
        group->SetName(name);
        group->SetReport(report);
    }
    ASSERT_EQ(report->HeaderBand(), nullptr);
    ASSERT_EQ(report->GetBand(btDetail), nullptr);
    report->SetShowPrintDialog(false);
    report->SetShowCancelDialog(false);
    report->SetDeviceType("Printer");
    report->PrintReport();
    // The groups brought their bands: the default set is not wanted, the
    // detail band is.
    EXPECT_NE(report->GetBand(btDetail), nullptr);
    for (int g = 0; g < 2; ++g) {
        EXPECT_NE(report->GroupHeaderBand(g), nullptr) << g;
        EXPECT_NE(report->GroupFooterBand(g), nullptr) << g;
    }
}

}  // namespace
