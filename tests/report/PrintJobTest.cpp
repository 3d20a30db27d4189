// The print job: which events come in which order for each kind of
// output, with fake dialogs registered as the preview layer registers its
// own, and what happens when a dialog or a device class is missing.
#include <gtest/gtest.h>

#include "report/rpDialogRegistry.h"
#include "report/rpDialogs.h"
#include "report/rpExcept.h"
#include "report/rpRTTI.h"
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
// What the user changes in the print dialog, when anything.
std::function<void(TrpCustomPrintDialog*)> printDialogChoice;
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
        if (printDialogChoice) printDialogChoice(this);
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
        printDialogChoice = nullptr;
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
        printDialogChoice = nullptr;
        rpSetUserMessage(nullptr);
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

// A printer device with a real printer behind it: the orientation it was
// given, whether it can print at all, and what the user set in the print
// dialog, which acts on the printer itself.
struct PaperPrinter {
    TPrinterOrientation orientation = poPortrait;
    int copies = 1;
    bool ready = true;
    std::vector<TPrinterOrientation> applied;
};
PaperPrinter thePrinter;

class FakePaperPrinterDevice : public FakePrinterDevice {
public:
    FAT_CLASS(FakePaperPrinterDevice)
    using FakePrinterDevice::FakePrinterDevice;
    bool HasPrinter() const override { return true; }
    // The device stands in for its printer.
    TObject* Printer() const override { return const_cast<FakePaperPrinterDevice*>(this); }
    bool PrinterReady() const override { return thePrinter.ready; }
    void ApplyPrinterSetup(const TrpPrinterSetup* Setup) override {
        thePrinter.orientation = Setup->Orientation();
        thePrinter.copies = Setup->Copies();
        thePrinter.applied.push_back(Setup->Orientation());
    }
    void ReadPrinterSetup(TrpPrinterSetup* Setup) const override {
        Setup->SetOrientation(thePrinter.orientation);
        Setup->SetCopies(thePrinter.copies);
    }
    void StartJob() override {
        FakePrinterDevice::StartJob();
        // What is already made when the pages for this paper start.
        const int cached = Publisher() != nullptr ? Publisher()->CachedPageCount() : -1;
        Log().push_back("cached " + std::to_string(cached));
    }
};

TClass FakePaperPrinterDevice::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<FakePaperPrinterDevice>("FakePaperPrinterDevice", FakePrinterDevice::StaticClassType()).Build();
    return &info;
}

class PrinterJob : public PrintJob {
protected:
    void SetUp() override {
        PrintJob::SetUp();
        thePrinter = PaperPrinter();
        UnregisterDeviceClass(FakePrinterDevice::StaticClassType());
        RegisterDeviceClass(FakePaperPrinterDevice::StaticClassType(), "Printer");
        rpSetUserMessage([this](const std::string& Text) { messages_.push_back(Text); });
        ToPrinter();
        Report()->SetShowCancelDialog(false);
        Report()->Publisher()->SetCachePages(true);
    }
    void TearDown() override {
        UnregisterDeviceClass(FakePaperPrinterDevice::StaticClassType());
        RegisterDeviceClass(FakePrinterDevice::StaticClassType(), "Printer");
        PrintJob::TearDown();
    }
    // A first run leaves its pages in the publisher, and the job stays open
    // as a preview's does for its print button.
    void PrintOnce() {
        Report()->PrintReport();
        ASSERT_EQ(Report()->Publisher()->CachedPageCount(), 3);
        Report()->SetJobStarted(true);
        Log().clear();
        thePrinter.applied.clear();
    }
    std::vector<std::string> messages_;
};

TEST_F(PrinterJob, PagesMadeForAnotherOrientationAreMadeAgain) {
    PrintOnce();
    printDialogChoice = [](TrpCustomPrintDialog*) { thePrinter.orientation = poLandscape; };
    Report()->PrintReport();
    EXPECT_EQ(Joined(),
              "OnPrintDialogCreate, print dialog, OnPrintDialogClose, OnCancelDialogCreate, BeforePrint, "
              "device start, cached 0, page 1, page 2, page 3, page 4, page 5, device end, AfterPrint, "
              "OnPrintingComplete")
        << "the portrait pages are gone; the landscape ones are more";
    EXPECT_EQ(thePrinter.applied, std::vector<TPrinterOrientation>{poPortrait})
        << "the printer gets the report's setup before the dialog";
    EXPECT_EQ(Report()->PrinterSetup()->Orientation(), poPortrait) << "the dialog's choice is not kept";
    EXPECT_FALSE(Report()->SetupChanged());
    EXPECT_FALSE(Report()->Producing());
}

TEST_F(PrinterJob, TheSameSetupKeepsThePagesAndSavingKeepsTheChoice) {
    PrintOnce();
    Report()->PrintReport();
    EXPECT_NE(Joined().find("cached 3"), std::string::npos) << Joined();
    // Printer choices the user makes stay with the report when asked to.
    Log().clear();
    Report()->SetSavePrinterSetup(true);
    printDialogChoice = [](TrpCustomPrintDialog*) { thePrinter.orientation = poLandscape; };
    Report()->SetJobStarted(true);
    Report()->PrintReport();
    EXPECT_NE(Joined().find("cached 0, page 1, page 2"), std::string::npos) << Joined();
    EXPECT_EQ(Report()->PrinterSetup()->Orientation(), poLandscape);
    // Pages of a changed run do not outlive it; the next run starts the
    // printer on the kept choice and makes landscape pages.
    EXPECT_EQ(Report()->Publisher()->CachedPageCount(), 0);
    Log().clear();
    printDialogChoice = nullptr;
    Report()->PrintReport();
    EXPECT_EQ(thePrinter.applied.back(), poLandscape);
    EXPECT_NE(Joined().find("page 4, page 5, device end"), std::string::npos) << Joined();
}

TEST_F(PrinterJob, ThePrintDialogEditsThePrinterDevicesPrinter) {
    bool given = false;
    printDialogChoice = [this, &given](TrpCustomPrintDialog* Dialog) {
        given = Dialog->Printer != nullptr && Dialog->Printer == Report()->PrinterDevice();
    };
    Report()->PrintReport();
    EXPECT_TRUE(given);
}

TEST_F(PrinterJob, TheCopiesChosenInTheDialogReachThePrinterWithoutUndoingItsOwnChanges) {
    printDialogChoice = [](TrpCustomPrintDialog* Dialog) {
        EXPECT_EQ(Dialog->PrinterSetup()->Copies(), 1) << "the dialog opens on the printer's setup";
        Dialog->PrinterSetup()->SetCopies(3);
        thePrinter.orientation = poLandscape;  // as a driver's own page does
    };
    Report()->SetSavePrinterSetup(true);
    Report()->PrintReport();
    EXPECT_EQ(thePrinter.copies, 3);
    EXPECT_EQ(thePrinter.orientation, poLandscape);
    EXPECT_EQ(Report()->PrinterSetup()->Copies(), 3);
}

TEST_F(PrinterJob, APrinterThatCannotPrintIsToldAndNothingIsMade) {
    thePrinter.ready = false;
    Report()->PrinterSetup()->SetOrientation(poLandscape);
    printDialogChoice = [](TrpCustomPrintDialog*) { thePrinter.orientation = poPortrait; };
    Report()->PrintReport();
    EXPECT_EQ(Joined(), "OnPrintDialogCreate, print dialog, OnPrintDialogClose");
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], "O Windows não pode imprimir devido a um problema com a configuração da impressora atual.");
    EXPECT_EQ(Report()->PrinterSetup()->Orientation(), poLandscape);
    EXPECT_EQ(Report()->PrinterDevice(), nullptr);
    EXPECT_FALSE(Report()->Producing());
    EXPECT_EQ(Report()->Publisher()->DeviceCount(), 0);
    // Without the dialog it is the same.
    Log().clear();
    Report()->SetShowPrintDialog(false);
    Report()->PrintReport();
    EXPECT_EQ(Joined(), "OnPrintDialogCreate");
    EXPECT_EQ(messages_.size(), 2u);
    // Once the printer works again the run prints.
    Log().clear();
    thePrinter.ready = true;
    Report()->PrintReport();
    EXPECT_NE(Joined().find("page 3"), std::string::npos) << Joined();
}

// File devices that tell which file they were given.
class FakeTextFile : public TrpTextFileDevice {
public:
    FAT_CLASS(FakeTextFile)
    using TrpTextFileDevice::TrpTextFileDevice;
    void StartJob() override {
        TrpTextFileDevice::StartJob();
        std::string line = "K1";
        if (OnSaveText) OnSaveText(this, line);
        Log().push_back(ClassName() + " " + FileName() + " type " + std::to_string(TextFileType()) + " " + line);
    }
    void ReceivePage(TrpPage* Page) override {
        TrpTextFileDevice::ReceivePage(Page);
        if (ShouldOutput()) Log().push_back("file page " + std::to_string(Page->AbsolutePageNo()));
    }
};

// A file device that writes PDF and so publishes its PDF options.
class FakePdfFile : public TrpFileDevice {
public:
    FAT_CLASS(FakePdfFile)
    using TrpFileDevice::TrpFileDevice;
    TrpPDFSettings* PDFSettings() const { return pdf_.get(); }
    void SetPDFSettings(TrpPDFSettings* Value) { pdf_->Assign(Value); }
    void StartJob() override {
        TrpFileDevice::StartJob();
        Log().push_back(ClassName() + " " + FileName() + " by " + pdf_->Author());
    }

private:
    std::unique_ptr<TrpPDFSettings> pdf_ = std::make_unique<TrpPDFSettings>();
};

TClass FakePdfFile::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<FakePdfFile>("FakePdfFile", TrpFileDevice::StaticClassType())
            .Object("PDFSettings", TrpPDFSettings::StaticClassType(), &FakePdfFile::PDFSettings,
                    &FakePdfFile::SetPDFSettings)
            .Build();
    return &info;
}

class FakeArchive : public TrpArchiveDevice {
public:
    FAT_CLASS(FakeArchive)
    using TrpArchiveDevice::TrpArchiveDevice;
    void StartJob() override {
        TrpArchiveDevice::StartJob();
        Log().push_back(ClassName() + " " + FileName());
    }
    void ReceivePage(TrpPage* Page) override {
        TrpArchiveDevice::ReceivePage(Page);
        if (ShouldOutput()) Log().push_back("archive page " + std::to_string(Page->AbsolutePageNo()));
    }
};

TClass FakeTextFile::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<FakeTextFile>("FakeTextFile", TrpTextFileDevice::StaticClassType()).Build();
    return &info;
}
TClass FakeArchive::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<FakeArchive>("FakeArchive", TrpArchiveDevice::StaticClassType()).Build();
    return &info;
}

class FileJob : public PrinterJob {
protected:
    void SetUp() override {
        PrinterJob::SetUp();
        RegisterDeviceClass(FakeTextFile::StaticClassType(), "TextFile");
        RegisterDeviceClass(FakeArchive::StaticClassType(), "ArchiveFile");
        Report()->SetTextFileName("/tmp/saida.txt");
        Report()->SetArchiveFileName("/tmp/saida.raf");
        Report()->SetTextFileType(ftTab);
    }
    void TearDown() override {
        UnregisterDeviceClass(FakeArchive::StaticClassType());
        UnregisterDeviceClass(FakeTextFile::StaticClassType());
        PrinterJob::TearDown();
    }
};

TEST_F(FileJob, EachFileDeviceTakesItsOwnFileName) {
    Report()->SetShowPrintDialog(false);
    Report()->OnSaveText = [](TObject*, std::string& Text) { Text += ";salvo"; };
    // After the handler, event 9's listeners may change the text too.
    TrpCommunicator listener(nullptr);
    listener.EventSet().set(rpevSaveText);
    listener.OnEventNotify = [](TObject*, TObject*, int, TrsParamList* Params) {
        TrsValue text;
        ASSERT_TRUE(Params->GetParamValue(Params->IndexOf("Text"), text));
        Params->SetParamValue(Params->IndexOf("Text"), TrsValue{std::get<std::string>(text) + ";ouvido"});
    };
    Report()->AddEventNotify(&listener);
    Report()->SetDeviceType("TextFile");
    Report()->PrintReport();
    Report()->RemoveEventNotify(&listener);
    EXPECT_EQ(Joined(),
              "OnPrintDialogCreate, OnCancelDialogCreate, BeforePrint, FakeTextFile /tmp/saida.txt type 1 "
              "K1;salvo;ouvido, "
              "file page 1, file page 2, file page 3, AfterPrint, OnPrintingComplete");
    EXPECT_EQ(Report()->FileDevice(), nullptr) << "the file device goes with the job";

    Log().clear();
    Report()->SetDeviceType("ArchiveFile");
    Report()->PrintReport();
    EXPECT_EQ(Joined(),
              "OnPrintDialogCreate, OnCancelDialogCreate, BeforePrint, FakeArchive /tmp/saida.raf, archive page 1, "
              "archive page 2, archive page 3, AfterPrint, OnPrintingComplete");
    EXPECT_TRUE(messages_.empty()) << "a file run needs no printer";
}

TEST_F(FileJob, APdfFileGetsTheReportsPdfOptions) {
    RegisterDeviceClass(FakePdfFile::StaticClassType(), "PDFFile");
    Report()->SetShowPrintDialog(false);
    Report()->PDFSettings()->SetAuthor("Fulano");
    Report()->SetDeviceType("PDFFile");
    Report()->PrintReport();
    UnregisterDeviceClass(FakePdfFile::StaticClassType());
    EXPECT_NE(Joined().find("FakePdfFile /tmp/saida.txt by Fulano"), std::string::npos) << Joined();
}

TEST_F(FileJob, TheDialogsChoiceOfFileWins) {
    // From the printer to a text file named in the dialog, page 2 alone.
    printDialogChoice = [](TrpCustomPrintDialog* Dialog) {
        Dialog->PrintToFile = true;
        Dialog->SetDeviceType("TextFile");
        Dialog->TextFileName = "/tmp/escolhido.txt";
        Dialog->PageRequest()->SetPageSetting(psSinglePage);
        Dialog->PageRequest()->SetPageRequested(2);
    };
    Report()->PrintReport();
    EXPECT_NE(Joined().find("FakeTextFile /tmp/escolhido.txt type 1 K1, file page 2, AfterPrint"),
              std::string::npos)
        << Joined();
    EXPECT_EQ(Joined().find("page 1"), std::string::npos) << Joined();
    EXPECT_EQ(Joined().find("device start"), std::string::npos) << "the printer is not fed";

    // From a text file type to an archive chosen in the dialog.
    Log().clear();
    Report()->SetDeviceType("TextFile");
    printDialogChoice = [](TrpCustomPrintDialog* Dialog) {
        Dialog->PrintToArchive = true;
        Dialog->SetDeviceType("ArchiveFile");
        Dialog->ArchiveFileName = "/tmp/escolhido.raf";
    };
    Report()->PrintReport();
    EXPECT_NE(Joined().find("FakeArchive /tmp/escolhido.raf, archive page 1"), std::string::npos) << Joined();

    // The dialog turns a file type back to paper: the printer device prints.
    Log().clear();
    printDialogChoice = nullptr;
    Report()->PrintReport();
    EXPECT_NE(Joined().find("device start, cached"), std::string::npos) << Joined();
}

}  // namespace
