// A producer's print run with the real dialogs: the print dialog's choices
// reach the file device, the cancel dialog runs the job from its timer and
// goes when the job ends; a producer freed under an open preview tells it
// first.
#include "platform/ui/StdCtrls.h"
#include "preview/rpCancelDialog.h"
#include "preview/rpPrintDialog.h"
#include "report/rpDevice.h"
#include "report/rpDialogRegistry.h"
#include "tests/preview/DialogTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace previewtest;
using namespace reporttest;

namespace {

std::vector<std::string>& Log() {
    static std::vector<std::string> log;
    return log;
}

std::string Joined() {
    std::string s;
    for (const std::string& e : Log()) s += (s.empty() ? "" : ", ") + e;
    return s;
}

// A file device that notes the pages it writes and its file's name.
class RecordingFile : public TrpFileDevice {
public:
    FAT_CLASS(RecordingFile)
    using TrpFileDevice::TrpFileDevice;
    void ReceivePage(TrpPage* Page) override {
        TrpFileDevice::ReceivePage(Page);
        if (ShouldOutput()) Log().push_back(FileName() + " page " + std::to_string(Page->AbsolutePageNo()));
    }
};

TClass RecordingFile::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<RecordingFile>("RecordingFile", TrpFileDevice::StaticClassType()).Build();
    return &info;
}

bool freeingTold = false;

class OpenPreview : public TrpCustomPreviewer {
public:
    FAT_CLASS(OpenPreview)
    using TrpCustomPreviewer::TrpCustomPreviewer;
    ~OpenPreview() override { Log().push_back(freeingTold ? "preview freed after the notice" : "preview freed"); }
    bool ShowModal() override { return true; }
    void Show() override {}
    void ReportFreeing() override {
        TrpCustomPreviewer::ReportFreeing();
        freeingTold = Report() == nullptr;
    }
};

TClass OpenPreview::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<OpenPreview>("OpenPreview", TrpCustomPreviewer::StaticClassType()).Build();
    return &info;
}

std::vector<std::vector<Variant>> Rows(int Count) {
    std::vector<std::vector<Variant>> rows;
    for (int i = 1; i <= Count; ++i) rows.push_back({Variant("K" + std::to_string(i))});
    return rows;
}

// A three-page listing sent to the recording file device.
class ProducerDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        Log().clear();
        RegisterDeviceClass(RecordingFile::StaticClassType(), "Gravador");
        TrpBandedReport* r = rig_.Report();
        r->SetDataPipeline(data_.Pipeline());
        r->CreateDefaultBands();
        r->DetailBand()->SetmmHeight(6000);
        rig_.Device()->SetPublisher(nullptr);
        r->SetDeviceType("Gravador");
        r->SetAllowPrintToFile(true);
        r->SetTextFileName("/tmp/vendas.txt");
        auto note = [](const char* Name) { return [Name](TObject*) { Log().push_back(Name); }; };
        r->BeforePrint = note("BeforePrint");
        r->AfterPrint = note("AfterPrint");
        r->OnPrintDialogClose = note("OnPrintDialogClose");
        r->OnCancelDialogCreate = note("OnCancelDialogCreate");
        r->OnCancelDialogClose = note("OnCancelDialogClose");
        r->OnPrintingComplete = note("OnPrintingComplete");
    }
    void TearDown() override { UnregisterDeviceClass(RecordingFile::StaticClassType()); }

    ReportRig rig_;
    RowsTable data_{{"Key"}, Rows(120)};
};

}  // namespace

TEST_F(ProducerDialogs, ThePagesChosenInThePrintDialogGoToTheFileWhileTheCancelDialogShows) {
    bool cancelDialogUp = false;
    rig_.Report()->BeforePrint = [&](TObject*) {
        cancelDialogUp = OpenForm<TrpCancelDialogForm>() != nullptr;
        Log().push_back("BeforePrint");
    };
    WhenOpen<TrpPrintDialogForm>([](TrpPrintDialogForm* form) {
        EXPECT_TRUE(form->PrintToFile->Checked());
        form->PageText->SetText("1,3");
        form->FileName->SetText("/tmp/escolhido.txt");
        form->OK->Click();
    });
    rig_.Report()->PrintReport();
    EXPECT_EQ(Joined(),
              "OnPrintDialogClose, OnCancelDialogCreate, BeforePrint, /tmp/escolhido.txt page 1, "
              "/tmp/escolhido.txt page 3, AfterPrint, OnPrintingComplete, OnCancelDialogClose");
    EXPECT_TRUE(cancelDialogUp) << "the job ran inside the shown cancel dialog";
    EXPECT_EQ(rig_.Report()->CancelDialog(), nullptr);
    EXPECT_EQ(OpenForm<TrpCancelDialogForm>(), nullptr);
    EXPECT_FALSE(rig_.Report()->Producing());
}

TEST_F(ProducerDialogs, CancellingThePrintDialogPrintsNothing) {
    WhenOpen<TrpPrintDialogForm>([](TrpPrintDialogForm* form) { form->Cancel->Click(); });
    rig_.Report()->PrintReport();
    EXPECT_EQ(Joined(), "OnPrintDialogClose");
    EXPECT_FALSE(rig_.Report()->Producing());
}

TEST_F(ProducerDialogs, AProducerFreedUnderAnOpenPreviewTellsItFirst) {
    const TClass previous = GetFormClass(TrpCustomPreviewer::StaticClassType());
    RegisterFormClass(TrpCustomPreviewer::StaticClassType(), OpenPreview::StaticClassType());
    freeingTold = false;
    {
        ReportRig rig;
        rig.Report()->SetModalPreview(false);
        rig.Report()->SetShowPrintDialog(false);
        rig.Report()->PrintReport();
        ASSERT_NE(rig.Report()->PreviewForm(), nullptr);
    }
    EXPECT_EQ(Joined(), "preview freed after the notice");
    if (previous != nullptr)
        RegisterFormClass(TrpCustomPreviewer::StaticClassType(), previous);
    else
        UnregisterFormClass(TrpCustomPreviewer::StaticClassType());
}
