// The print dialog: what the user types becomes the page request, the
// printer setup and the output the producer reads back; what cannot be
// printed keeps the dialog open with a warning.
#include "platform/ui/StdCtrls.h"
#include "preview/rpPrintDialog.h"
#include "report/rpDevice.h"
#include "report/rpPrinterList.h"
#include "tests/preview/DialogTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace previewtest;

namespace {

class TwoPrinters : public TrpPrinterList {
public:
    TrpPrinterInfo* GetPrinterInfo(const std::string& Name) override {
        if (Name == "Default" || Name == epson_.PrinterName()) return &epson_;
        return Name == hp_.PrinterName() ? &hp_ : nullptr;
    }
    std::string DefaultPrinterName() override { return "Epson"; }
    void GetPrinterNames(TStrings* Names) override {
        Names->Add(hp_.PrinterName());
        Names->Add(epson_.PrinterName());
    }

private:
    TrpPrinterInfo hp_{"HP LaserJet"};
    TrpPrinterInfo epson_{"Epson"};
};

class SpreadsheetFile : public TrpFileDevice {
public:
    FAT_CLASS(SpreadsheetFile)
    using TrpFileDevice::TrpFileDevice;
};

TClass SpreadsheetFile::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<SpreadsheetFile>("SpreadsheetFile", TrpFileDevice::StaticClassType()).Build();
    return &info;
}

std::string Joined(TStrings* List) {
    std::string s;
    for (int i = 0; i < List->Count(); ++i) s += (i ? "," : "") + (*List)[i];
    return s;
}

class PrintDialog : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = rpSetPrinterList(&printers_);
        RegisterDeviceClass(SpreadsheetFile::StaticClassType(), "Planilha");
    }
    void TearDown() override {
        UnregisterDeviceClass(SpreadsheetFile::StaticClassType());
        rpSetPrinterList(previous_);
    }
    // Shows the dialog, lets Act change the controls, presses OK.
    bool Run(const std::function<void(TrpPrintDialogForm*)>& Act) {
        Later([this, Act] {
            Act(dialog_.Form());
            dialog_.Form()->OK->Click();
            // A refused choice leaves the dialog up.
            if (dialog_.Form()->ModalResult() == mrNone) dialog_.Form()->Cancel->Click();
        });
        return dialog_.ShowModal();
    }

    TwoPrinters printers_;
    TrpPrinterList* previous_ = nullptr;
    TrpPrintDialog dialog_{nullptr};
};

}  // namespace

TEST_F(PrintDialog, APageListBecomesTheListedPagesNeverARange) {
    const struct {
        const char* typed;
        const char* pages;
    } cases[] = {
        {"1,3-5", "1,3,4,5"}, {"7-3", "3,7"}, {"2,2", "2"}, {"3-", "3"}, {" 10 ; 2", "2,10"},
    };
    for (const auto& c : cases) {
        dialog_.Init();
        ASSERT_TRUE(Run([&](TrpPrintDialogForm* f) { f->PageText->SetText(c.typed); })) << c.typed;
        EXPECT_TRUE(dialog_.Form()->Pages->Checked()) << "typing pages chooses them";
        EXPECT_EQ(dialog_.PageRequest()->PageSetting(), psPageList) << c.typed;
        EXPECT_EQ(Joined(dialog_.PageRequest()->PageList()), c.pages) << c.typed;
    }
}

TEST_F(PrintDialog, AllPagesAndTheCurrentPageAreTheirOwnRequests) {
    dialog_.PageRequest()->SetPageRequested(4);  // as the producer hands its current page
    dialog_.Init();
    ASSERT_TRUE(Run([](TrpPrintDialogForm* f) {
        f->CurrentPage->SetChecked(true);
        f->OddEven->SetItemIndex(2);
    }));
    EXPECT_EQ(dialog_.PageRequest()->PageSetting(), psSinglePage);
    EXPECT_EQ(dialog_.PageRequest()->PageRequested(), 4);
    EXPECT_EQ(dialog_.PageRequest()->PageRange(), prEvenPages);
    dialog_.Init();
    EXPECT_TRUE(dialog_.Form()->CurrentPage->Checked()) << "the dialog opens on the request it holds";
    ASSERT_TRUE(Run([](TrpPrintDialogForm* f) { f->AllPages->SetChecked(true); }));
    EXPECT_EQ(dialog_.PageRequest()->PageSetting(), psAll);
}

TEST_F(PrintDialog, WhatCannotBePrintedIsRefusedWithAWarningAndTheDialogStaysOpen) {
    const struct {
        const char* why;
        std::function<void(TrpPrintDialogForm*)> act;
        const char* warning;
    } cases[] = {
        {"no page", [](TrpPrintDialogForm* f) { f->PageText->SetText("abc"); }, "Informe as páginas"},
        {"no copies", [](TrpPrintDialogForm* f) { f->Copies->SetText("0"); }, "número de cópias"},
        {"copies not a number", [](TrpPrintDialogForm* f) { f->Copies->SetText("2x"); }, "número de cópias"},
        {"file without a name",
         [](TrpPrintDialogForm* f) {
             f->PrintToFile->SetChecked(true);
             f->FileName->SetText("  ");
         },
         "nome do arquivo"},
    };
    dialog_.AllowPrintToFile = true;
    for (const auto& c : cases) {
        Boxes boxes;
        boxes.Expect(c.warning, mrOk);
        dialog_.Init();
        EXPECT_FALSE(Run(c.act)) << c.why;
        EXPECT_EQ(dialog_.PageRequest()->PageSetting(), psAll) << c.why << ": nothing was written";
    }
}

TEST_F(PrintDialog, TheProducersFieldsComeInAndTheChoicesGoBack) {
    dialog_.AllowPrintToFile = true;
    dialog_.SetDeviceType("Planilha");
    dialog_.TextFileName = "/tmp/notas.csv";
    dialog_.PrinterSetup()->SetPrinterName("Default");
    dialog_.PrinterSetup()->SetCopies(2);
    dialog_.Init();
    TrpPrintDialogForm* f = dialog_.Form();
    EXPECT_EQ(Joined(f->Printers->Items()), "HP LaserJet,Epson");
    EXPECT_EQ(f->Printers->Text(), "Epson") << "the default printer is shown by its name";
    EXPECT_TRUE(f->PrintToFile->Checked()) << "the report's file device type";
    EXPECT_EQ(f->FileType->Text(), "Planilha");
    EXPECT_EQ(f->FileName->Text(), "/tmp/notas.csv");
    EXPECT_EQ(f->Copies->Text(), "2");
    EXPECT_FALSE(f->Copies->Enabled()) << "a file has no copies";

    // OK unchanged: the default printer keeps its name "Default".
    ASSERT_TRUE(Run([](TrpPrintDialogForm*) {}));
    EXPECT_TRUE(dialog_.PrintToFile);
    EXPECT_EQ(dialog_.DeviceType(), "Planilha");
    EXPECT_EQ(dialog_.PrinterSetup()->PrinterName(), "Default");

    dialog_.Init();
    ASSERT_TRUE(Run([](TrpPrintDialogForm* f) {
        f->PrintToFile->SetChecked(false);
        f->Printers->SetItemIndex(0);
        f->Copies->SetText("3");
        f->Collation->SetChecked(true);
    }));
    EXPECT_FALSE(dialog_.PrintToFile);
    EXPECT_EQ(dialog_.PrinterSetup()->PrinterName(), "HP LaserJet");
    EXPECT_EQ(dialog_.PrinterSetup()->Copies(), 3);
    EXPECT_TRUE(dialog_.PrinterSetup()->Collation());
}

TEST_F(PrintDialog, FileAndArchiveOutputAreOfferedOnlyWhenTheReportAllowsThem) {
    dialog_.SetDeviceType("Planilha");
    dialog_.Init();
    EXPECT_FALSE(dialog_.Form()->PrintToFile->Visible());
    EXPECT_FALSE(dialog_.Form()->PrintToArchive->Visible());
    ASSERT_TRUE(Run([](TrpPrintDialogForm* f) { f->PrintToFile->SetChecked(true); }));
    EXPECT_FALSE(dialog_.PrintToFile) << "a hidden choice is no choice";

    dialog_.AllowPrintToArchive = true;
    dialog_.Init();
    ASSERT_TRUE(Run([](TrpPrintDialogForm* f) {
        f->PrintToArchive->SetChecked(true);
        f->ArchiveName->SetText("/tmp/notas.raf");
    }));
    EXPECT_TRUE(dialog_.PrintToArchive);
    EXPECT_EQ(dialog_.ArchiveFileName, "/tmp/notas.raf");
}

// From the preview the printer device hands over the screen's stand-in when
// the report's printer is not there: the dialog offers the report's own
// printer, else the default one, and takes it on OK. The rows the report
// does not offer leave no empty band above the buttons.
namespace {

// The printers and, as on a real machine, the screen's stand-in, known by
// name but never listed.
class TwoPrintersAndTheScreen : public TwoPrinters {
public:
    TrpPrinterInfo* GetPrinterInfo(const std::string& Name) override {
        return Name == "Screen" ? &screen_ : TwoPrinters::GetPrinterInfo(Name);
    }

private:
    TrpScreenPrinterInfo screen_;
};

}  // namespace

TEST_F(PrintDialog, APrinterThatIsNotThereGivesWayToTheReportsOrTheDefaultPrinter) {
    TwoPrintersAndTheScreen printers;
    rpSetPrinterList(&printers);
    struct Restore {
        TrpPrinterList* List;
        ~Restore() { rpSetPrinterList(List); }
    } restore{&printers_};
    reporttest::ReportRig rig;
    for (const std::string own : {std::string("HP LaserJet"), std::string("Default"), std::string("Gone")}) {
        rig.Report()->PrinterSetup()->SetPrinterName(own);
        dialog_.SetReport(rig.Report());
        dialog_.PrinterSetup()->SetPrinterName("Screen");
        dialog_.Init();
        const std::string expected = own == "HP LaserJet" ? own : "Epson";
        EXPECT_EQ(dialog_.Form()->Printers->Text(), expected) << own;
        ASSERT_TRUE(Run([](TrpPrintDialogForm*) {}));
        EXPECT_EQ(dialog_.PrinterSetup()->PrinterName(), expected) << own;
    }
    dialog_.SetReport(nullptr);
    TrpPrintDialogForm* f = dialog_.Form();
    const int rangeBottom = f->RangeBox->Top() + f->RangeBox->Height();
    EXPECT_LE(f->OK->Top() - rangeBottom, 16);
    EXPECT_LE(f->Height() - (f->OK->Top() + f->OK->Height()), 16);
    dialog_.AllowPrintToFile = true;
    dialog_.Init();
    EXPECT_GT(f->OK->Top(), f->FileName->Top() + f->FileName->Height()) << "the file rows come first";
}

// With no print service the list holds only the screen's stand-in and
// "Default", which is that same screen: the dialog offers neither, chooses
// the output that can be written, or says that no printer is installed.
TEST_F(PrintDialog, WithoutAPrinterTheDialogChoosesWhatCanPrintOrSaysNoneIsInstalled) {
    TrpPrinterList none(nullptr);
    rpSetPrinterList(&none);
    struct Restore {
        TrpPrinterList* List;
        ~Restore() { rpSetPrinterList(List); }
    } restore{&printers_};
    const struct {
        bool file, archive;
        bool fileChosen, archiveChosen;
    } cases[] = {
        {true, true, true, false},
        {false, true, false, true},
        {false, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("file ") + (c.file ? "allowed" : "not allowed") + ", archive " +
                     (c.archive ? "allowed" : "not allowed"));
        for (const std::string& setup : {std::string("Default"), std::string("Screen"), std::string()}) {
            dialog_.AllowPrintToFile = c.file;
            dialog_.AllowPrintToArchive = c.archive;
            dialog_.PrintToFile = dialog_.PrintToArchive = false;
            dialog_.SetDeviceType("Printer");
            dialog_.PrinterSetup()->SetPrinterName(setup);
            dialog_.Init();
            TrpPrintDialogForm* f = dialog_.Form();
            EXPECT_EQ(f->Printers->Items()->Count(), 0) << setup;
            EXPECT_FALSE(f->Printers->Visible());
            EXPECT_TRUE(f->NoPrinter->Visible());
            EXPECT_EQ(f->NoPrinter->Caption(), "Nenhuma impressora está instalada.");
            EXPECT_EQ(f->PrintToFile->Checked(), c.fileChosen) << setup;
            EXPECT_EQ(f->PrintToArchive->Checked(), c.archiveChosen) << setup;
        }
        Boxes boxes;
        if (c.fileChosen || c.archiveChosen) {
            ASSERT_TRUE(Run([&c](TrpPrintDialogForm* f) {
                (c.fileChosen ? f->FileName : f->ArchiveName)->SetText("/tmp/notas.out");
            }));
            EXPECT_EQ(dialog_.PrintToFile, c.fileChosen);
            EXPECT_EQ(dialog_.PrintToArchive, c.archiveChosen);
            if (c.fileChosen) {
                EXPECT_EQ(dialog_.DeviceType(), (*dialog_.FileDeviceNames())[0]);
            }
        } else {
            boxes.Expect("Nenhuma impressora está instalada.", mrOk);
            EXPECT_FALSE(Run([](TrpPrintDialogForm*) {}));
        }
    }
}
