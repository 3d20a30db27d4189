// Background printing: the report's definition crosses to a worker through
// the component stream, the copy prints there while the test's event loop
// keeps running, and errors come back as texts on the window thread.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <filesystem>
#include <mutex>
#include <thread>

#include "report/rpBandedReport.h"
#include "report/rpDialogRegistry.h"
#include "report/rpDialogs.h"
#include "report/rpExcept.h"
#include "report_output/rpBackgroundPrint.h"
#include "report_output/rpPDFDevice.h"
#include "report_output/rpTextControls.h"
#include "tests/report_output/FakeFileDevice.h"
#include "tests/support/TestSupport.h"
#include "tests/support/report/ReportHarness.h"

namespace {

namespace fs = std::filesystem;
using outputtest::FakeFileDevice;

// The headless owner the application's factory builds on the worker.
class TBackgroundOwner : public TComponent {
public:
    explicit TBackgroundOwner(TComponent* AOwner) : TComponent(AOwner) {}
    FAT_CLASS(TBackgroundOwner)
};

// The dialogs a print job may open, standing in for the preview's windows:
// each records the thread that made it. Qt allows widgets on the window
// thread only, so none may be made on the worker.
struct DialogThreads {
    std::mutex lock;
    std::vector<std::pair<std::string, std::thread::id>> made;
    void Made(const std::string& Kind) {
        std::lock_guard<std::mutex> guard(lock);
        made.emplace_back(Kind, std::this_thread::get_id());
    }
};
DialogThreads& Dialogs() {
    static DialogThreads threads;
    return threads;
}

class TRecordingPrintDialog : public TrpCustomPrintDialog {
public:
    explicit TRecordingPrintDialog(TComponent* AOwner) : TrpCustomPrintDialog(AOwner) { Dialogs().Made("print"); }
    FAT_CLASS(TRecordingPrintDialog)
    bool ShowModal() override { return true; }
};

class TRecordingCancelDialog : public TrpCustomCancelDialog {
public:
    explicit TRecordingCancelDialog(TComponent* AOwner) : TrpCustomCancelDialog(AOwner) { Dialogs().Made("cancel"); }
    FAT_CLASS(TRecordingCancelDialog)
    bool ShowModal() override { return true; }
    void ExecuteModal() override {
        if (OnStart) OnStart();
    }
    void Show() override {}
    void Close() override {
        if (OnClose) OnClose();
    }
};

class TRecordingNoDataDialog : public TrpCustomNoDataDialog {
public:
    explicit TRecordingNoDataDialog(TComponent* AOwner) : TrpCustomNoDataDialog(AOwner) { Dialogs().Made("nodata"); }
    FAT_CLASS(TRecordingNoDataDialog)
    bool ShowModal() override { return true; }
};

QCoreApplication* App() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? QCoreApplication::instance()
                                                                 : new QCoreApplication(argc, argv);
    return app;
}

TrpBandedReport* MakeReport(TComponent* Owner, bool WithBands) {
    auto* report = new TrpBandedReport(Owner);
    report->SetName("Report");
    TrpPageDef* def = report->PrinterSetup()->PageDef();
    def->SetmmWidth(210000);
    def->SetmmHeight(297000);
    if (!WithBands) return report;
    report->CreateDefaultBands();
    auto* label = new TrpLabel(Owner);
    label->SetName("Titulo");
    label->SetBand(report->DetailBand());
    label->SetBounds(1000, 2000, 80000, 6000);
    label->SetCaption("Relatório de março");
    return report;
}

class BackgroundPrintTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        RegisterClass(TBackgroundOwner::StaticClassType());
        RegisterDeviceClass(FakeFileDevice::StaticClassType(), "Fake");
        previousClock_ = rpSetClock([] { return reporttest::RigMoment(); });
        rpRegisterBackgroundOwner("TBackgroundOwner", [this]() -> TComponent* {
            if (factoryDelayMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(factoryDelayMs_));
            auto owner = std::make_unique<TBackgroundOwner>(nullptr);
            if (!factoryLeavesReportOut_) MakeReport(owner.get(), false);
            return owner.release();
        });
        manager_ = rpBackgroundPrintManager();
        ASSERT_NE(manager_, nullptr);
        manager_->OnPrintError = [this](TObject*, const std::exception& e) { errors_.push_back(e.what()); };
        manager_->OnRequestComplete = [this](TObject*) { ++completed_; };
        rpSetUserMessage([this](const std::string& Text) { boxes_.push_back(Text); });
        owner_ = std::make_unique<TBackgroundOwner>(nullptr);
        report_ = MakeReport(owner_.get(), true);
        report_->SetShowPrintDialog(false);
        report_->SetShowCancelDialog(false);
    }
    void TearDown() override {
        manager_->Clear();
        QCoreApplication::processEvents();
        manager_->OnPrintError = nullptr;
        manager_->OnRequestComplete = nullptr;
        TrpBackgroundPrintThread::SetWaitRounds(40);
        FakeFileDevice::PageDelayMs = 0;
        rpSetUserMessage(nullptr);
        owner_.reset();
        rpUnregisterBackgroundOwner("TBackgroundOwner");
        UnregisterDeviceClass(FakeFileDevice::StaticClassType());
        rpSetClock(previousClock_);
    }
    void PrintInBackground(const std::string& File) {
        report_->SetDeviceType("Fake");
        report_->SetTextFileName(dir_.file(File));
        report_->BackgroundPrintSettings()->SetEnabled(true);
        report_->BackgroundPrintSettings()->SetActive(true);
        report_->PrintReport();
    }
    // Runs the event loop until Count requests completed; the number of
    // rounds it ran tells that the loop was not held up meanwhile.
    int RunUntilCompleted(int Count) {
        QElapsedTimer timer;
        timer.start();
        int rounds = 0;
        while (completed_ < Count && timer.elapsed() < 20000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ++rounds;
        }
        return rounds;
    }

    testsupport::TempDir dir_;
    TrpClock previousClock_;
    TrpBackgroundPrintManager* manager_ = nullptr;
    std::unique_ptr<TBackgroundOwner> owner_;
    TrpBandedReport* report_ = nullptr;
    std::vector<std::string> errors_;
    std::vector<std::string> boxes_;
    int completed_ = 0;
    std::atomic<int> factoryDelayMs_{0};
    std::atomic<bool> factoryLeavesReportOut_{false};
};

}  // namespace

TClass TBackgroundOwner::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TBackgroundOwner>("TBackgroundOwner", TComponent::StaticClassType()).Build();
    return &info;
}

TEST_F(BackgroundPrintTest, TheCopyPrintsWhatTheReportPrintsInTheForegroundWhileTheLoopRuns) {
    FakeFileDevice device(nullptr);
    device.SetPublisher(report_->Publisher());
    device.SetFileName(dir_.file("frente.fak"));
    report_->RunPrintJob();
    device.SetPublisher(nullptr);

    FakeFileDevice::PageDelayMs = 100;
    PrintInBackground("fundo.fak");
    EXPECT_EQ(manager_->Count(), 1);
    const int rounds = RunUntilCompleted(1);
    ASSERT_EQ(completed_, 1);
    EXPECT_TRUE(errors_.empty()) << errors_.front();
    EXPECT_GT(rounds, 5);
    const std::string foreground = testsupport::ReadAll(dir_.file("frente.fak"));
    EXPECT_NE(foreground.find("TrpDrawText 7350 21579 Relatório de março"), std::string::npos) << foreground;
    EXPECT_EQ(testsupport::ReadAll(dir_.file("fundo.fak")), foreground);
}

TClass TRecordingPrintDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TRecordingPrintDialog>("TRecordingPrintDialog", TrpCustomPrintDialog::StaticClassType()).Build();
    return &info;
}
TClass TRecordingCancelDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TRecordingCancelDialog>("TRecordingCancelDialog", TrpCustomCancelDialog::StaticClassType()).Build();
    return &info;
}
TClass TRecordingNoDataDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TRecordingNoDataDialog>("TRecordingNoDataDialog", TrpCustomNoDataDialog::StaticClassType()).Build();
    return &info;
}

// The copy is told not to ask anything: the print and cancel dialogs the
// report shows in the foreground are made on the window thread only.
TEST_F(BackgroundPrintTest, NoDialogIsMadeOnTheWorkerThread) {
    const std::vector<std::pair<TClass, TClass>> kinds{
        {TrpCustomPrintDialog::StaticClassType(), TRecordingPrintDialog::StaticClassType()},
        {TrpCustomCancelDialog::StaticClassType(), TRecordingCancelDialog::StaticClassType()},
        {TrpCustomNoDataDialog::StaticClassType(), TRecordingNoDataDialog::StaticClassType()}};
    std::vector<TClass> before;
    for (const auto& [abstract, recording] : kinds) {
        before.push_back(GetFormClass(abstract));
        RegisterFormClass(abstract, recording);
    }
    Dialogs().made.clear();
    report_->SetShowPrintDialog(true);
    report_->SetShowCancelDialog(true);
    PrintInBackground("dialogos.fak");
    RunUntilCompleted(1);
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (before[i] != nullptr)
            RegisterFormClass(kinds[i].first, before[i]);
        else
            UnregisterFormClass(kinds[i].first);
    }
    ASSERT_EQ(completed_, 1);
    EXPECT_TRUE(errors_.empty()) << errors_.front();
    EXPECT_TRUE(fs::exists(dir_.file("dialogos.fak")));
    ASSERT_FALSE(Dialogs().made.empty());
    EXPECT_EQ(Dialogs().made[0].first, "print");
    for (const auto& [kind, thread] : Dialogs().made)
        EXPECT_EQ(thread, std::this_thread::get_id()) << kind << " made on the worker";
}

TEST_F(BackgroundPrintTest, APdfPrintedInTheBackgroundEqualsTheForegroundOneByteForByte) {
    {
        TrpPDFDevice device(nullptr);
        device.SetPDFSettings(report_->PDFSettings());
        device.SetPublisher(report_->Publisher());
        device.SetFileName(dir_.file("frente.pdf"));
        report_->RunPrintJob();
        device.SetPublisher(nullptr);
    }
    report_->SetDeviceType("PDF");
    report_->SetTextFileName(dir_.file("fundo.pdf"));
    report_->BackgroundPrintSettings()->SetEnabled(true);
    report_->BackgroundPrintSettings()->SetActive(true);
    report_->PrintReport();
    RunUntilCompleted(1);
    ASSERT_EQ(completed_, 1);
    EXPECT_TRUE(errors_.empty()) << errors_.front();
    const std::string foreground = testsupport::ReadAll(dir_.file("frente.pdf"));
    EXPECT_EQ(foreground.substr(0, 5), "%PDF-");
    // Made at the report's pinned moment, not the machine's.
    EXPECT_NE(foreground.find("/CreationDate (D:20260314093000)"), std::string::npos);
    EXPECT_EQ(testsupport::ReadAll(dir_.file("fundo.pdf")), foreground);
}

TEST_F(BackgroundPrintTest, ScreenAndProducersThatAreNotReportsAndUnknownOwnersAreRefused) {
    auto expectRefused = [](const std::function<void()>& Work, const std::string& Text) {
        try {
            Work();
            ADD_FAILURE() << "not refused: " << Text;
        } catch (const EBackgroundPrintError& e) {
            EXPECT_EQ(std::string(e.what()), Text);
        }
    };
    expectRefused([&] { manager_->Print(report_, nullptr, "", "", "Screen"); },
                  "TrpBackgroundPrintRequest.Create: The producer's device cannot be a screen device for background "
                  "printing.");
    TrpProducer producer(owner_.get());
    expectRefused([&] { manager_->Print(&producer, nullptr, "", "", "Fake"); },
                  "TrpBackgroundPrintManager.Print: Background printing not supported for TrpProducer");
    TComponent plainOwner(nullptr);
    TrpBandedReport* orphan = MakeReport(&plainOwner, true);
    expectRefused([&] { manager_->Print(orphan, nullptr, "", "", "Fake"); },
                  "TrpBackgroundPrintRequest.Create: Não há como criar em segundo plano uma cópia de TComponent.");
    EXPECT_EQ(manager_->Count(), 0);
}

TEST_F(BackgroundPrintTest, ASlowContainerReleasesTheWaitWithTheTimeOutAndStillPrints) {
    TrpBackgroundPrintThread::SetWaitRounds(4);
    factoryDelayMs_ = 1600;
    PrintInBackground("lento.fak");
    RunUntilCompleted(1);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0],
              "TrpBackgroundPrintThread.PrintInBackground: 1 second timeout exceeded for background printing thread "
              "to create report container");
    EXPECT_NE(testsupport::ReadAll(dir_.file("lento.fak")).find("TrpDrawText 7350 21579"), std::string::npos);
}

TEST_F(BackgroundPrintTest, AMissingProducerIsReportedOnceThroughTheEventOrElseInABox) {
    factoryLeavesReportOut_ = true;
    PrintInBackground("a.fak");
    RunUntilCompleted(1);
    EXPECT_EQ(errors_, std::vector<std::string>{
                           "TrpBackgroundContainerAdapter.CreateContainer: Cannot find producer in owner: Report"});
    // A later good request does not report the old error again.
    factoryLeavesReportOut_ = false;
    PrintInBackground("b.fak");
    RunUntilCompleted(2);
    EXPECT_EQ(errors_.size(), 1u);
    EXPECT_TRUE(fs::exists(dir_.file("b.fak")));

    manager_->OnPrintError = nullptr;
    factoryLeavesReportOut_ = true;
    PrintInBackground("c.fak");
    RunUntilCompleted(3);
    EXPECT_EQ(boxes_, std::vector<std::string>{
                          "TrpBackgroundContainerAdapter.CreateContainer: Cannot find producer in owner: Report"});
}

TEST_F(BackgroundPrintTest, TwoRequestsPrintInOrderAndClearCancelsTheRunningOneAndDropsTheRest) {
    FakeFileDevice::PageDelayMs = 300;
    PrintInBackground("1.fak");
    PrintInBackground("2.fak");
    EXPECT_EQ(manager_->Count(), 2);
    RunUntilCompleted(1);
    EXPECT_TRUE(fs::exists(dir_.file("1.fak")));
    EXPECT_FALSE(fs::exists(dir_.file("2.fak")));
    RunUntilCompleted(2);
    EXPECT_TRUE(fs::exists(dir_.file("2.fak")));
    EXPECT_EQ(manager_->Count(), 0);

    // A page that takes long, cut short by Clear.
    FakeFileDevice::PageDelayMs = 1500;
    PrintInBackground("longo.fak");
    PrintInBackground("nunca.fak");
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    manager_->Clear();
    EXPECT_EQ(manager_->Count(), 0);
    EXPECT_FALSE(fs::exists(dir_.file("nunca.fak")));
    EXPECT_TRUE(errors_.empty());
}
