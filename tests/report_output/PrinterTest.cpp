// The printer's job settings mirrored to and from its setup, the options a
// queue is sent, and the document brackets.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "report/rpExcept.h"
#include "report/rpRTTI.h"
#include "report_output/rpPrinter.h"
#include "tests/report_output/PrinterTestSupport.h"
#include "tests/support/TestSupport.h"

using printertest::FakeBackend;
using printertest::ImageSink;
using printertest::InstalledList;

namespace {

class PrinterTest : public ::testing::Test {
protected:
    static FakeBackend Standard() {
        FakeBackend b;
        printertest::AddStandardQueues(b);
        return b;
    }
    // A printer on Laser whose pages go to images.
    std::unique_ptr<TrpPrinter> Laser() {
        auto p = std::make_unique<TrpPrinter>();
        p->SetPrinterName("Laser");
        p->PageSinkFactory = [this] {
            auto sink = std::make_unique<ImageSink>();
            sink->Pages = sink_.Pages;
            return sink;
        };
        return p;
    }
    FakeBackend backend_ = Standard();
    InstalledList installed_{&backend_};
    ImageSink sink_;
};

TEST_F(PrinterTest, CopiesGoToTheQueueOnlyWhenItMakesThemUncollated) {
    struct Case {
        bool Collation, Delegate;
        int Expected;
    };
    for (const Case& c : {Case{true, false, 1}, Case{true, true, 1}, Case{false, true, 3}, Case{false, false, 1}}) {
        auto p = Laser();
        TrpPrinterSetup s;
        s.SetPrinterName("Laser");
        s.SetCopies(3);
        s.SetCollation(c.Collation);
        s.SetDelegateCopies(c.Delegate);
        p->SetPrinterSetup(&s);
        EXPECT_EQ(p->JobSettings().Copies, c.Expected) << c.Collation << c.Delegate;
        const TrpBackendJob job = rpJobOptions(p->JobSettings(), p->PrinterInfo(), "x");
        std::map<std::string, std::string> o(job.Options.begin(), job.Options.end());
        EXPECT_EQ(o["copies"], std::to_string(c.Expected));
        EXPECT_EQ(o["multiple-document-handling"], c.Expected > 1 ? "separate-documents-uncollated-copies" : "");
    }
}

TEST_F(PrinterTest, ACustomLandscapePaperIsSentAsItsPortraitSize) {
    auto p = Laser();
    p->SetPrinterName("Etiquetas");
    TrpPrinterSetup s;
    s.SetPrinterName("Etiquetas");
    s.SetUnits(utMillimeters);
    s.SetPaperName("Custom");
    s.PageDef()->SetmmWidth(123000);
    s.PageDef()->SetmmHeight(77000);
    s.SetOrientation(poLandscape);
    s.PageDef()->SetmmWidth(150000);
    s.PageDef()->SetmmHeight(100000);
    p->SetPrinterSetup(&s);
    const TrpJobSettings& j = p->JobSettings();
    EXPECT_EQ(j.PaperWidth, 1000);
    EXPECT_EQ(j.PaperLength, 1500);
    EXPECT_EQ(j.PaperCode, 256);
    EXPECT_EQ(j.Orientation, 2);
    EXPECT_NE(j.Fields & TrpJobSettings::jfPaperWidth, 0u);
    const TrpBackendJob job = rpJobOptions(j, p->PrinterInfo(), "Relatório");
    EXPECT_EQ(job.Options[0], (std::pair<std::string, std::string>("media", "Custom.100x150mm")));
}

TEST_F(PrinterTest, SidesTraysAndMediaBecomeTheQueuesOptions) {
    struct Case {
        TrpDuplexType Duplex;
        std::string Sides;
    };
    for (const Case& c : {Case{dpNone, "one-sided"}, Case{dpHorizontal, "two-sided-short-edge"},
                          Case{dpVertical, "two-sided-long-edge"}}) {
        auto p = Laser();
        TrpPrinterSetup s;
        s.SetPrinterName("Laser");
        s.SetPaperName("A4 210 x 297 mm");
        s.SetBinName("tray-2");
        s.SetDuplex(c.Duplex);
        p->SetPrinterSetup(&s);
        EXPECT_EQ(p->JobSettings().Duplex, static_cast<int>(c.Duplex) + 1);
        const TrpBackendJob job = rpJobOptions(p->JobSettings(), p->PrinterInfo(), "x");
        std::map<std::string, std::string> o(job.Options.begin(), job.Options.end());
        EXPECT_EQ(o["sides"], c.Sides);
        EXPECT_EQ(o["media"], "iso_a4_210x297mm");
        EXPECT_EQ(o["media-source"], "tray-2");
        EXPECT_EQ(o["copies"], "1");
    }
}

TEST_F(PrinterTest, SettingsReadBackIntoTheSetup) {
    auto p = Laser();
    TrpJobSettings j;
    j.Printer = "Laser";
    j.Fields = TrpJobSettings::jfOrientation | TrpJobSettings::jfDefaultSource;  // no paper-size flag
    j.PaperCode = 256;
    j.PaperWidth = 1000;
    j.PaperLength = 1500;
    j.Orientation = 1;
    j.Source = 1;  // the queue's own default tray
    p->SetJobSettings(j);
    TrpPrinterSetup* s = p->GetPrinterSetup();
    EXPECT_EQ(s->PageDef()->mmWidth(), 100000) << "code 256 sets the size whatever the flags";
    EXPECT_EQ(s->PageDef()->mmHeight(), 150000);
    EXPECT_EQ(s->BinName(), "Default");
    j.Source = 2;
    p->SetJobSettings(j);
    EXPECT_EQ(p->GetPrinterSetup()->BinName(), "tray-2");
}

TEST_F(PrinterTest, WhilePrintingTheNameStaysAndNewSettingsWaitForTheNextPage) {
    auto p = Laser();
    TrpPrinterSetup s;
    s.SetPrinterName("Laser");
    s.SetPaperName("A4 210 x 297 mm");
    p->SetPrinterSetup(&s);
    p->BeginDoc();
    p->SetPrinterName("Etiquetas");
    EXPECT_EQ(p->PrinterName(), "Laser");
    p->NewPage();
    TrpJobSettings landscape = p->JobSettings();
    landscape.Orientation = 2;
    p->SetJobSettings(landscape);
    EXPECT_EQ(p->JobSettings().Orientation, 1) << "pending until the next page";
    p->EndPage();
    p->NewPage();
    EXPECT_EQ(p->JobSettings().Orientation, 2);
    p->EndPage();
    p->EndDoc();
    ASSERT_EQ(sink_.Pages->size(), 2u);
    EXPECT_FALSE((*sink_.Pages)[0].Format.Landscape);
    EXPECT_TRUE((*sink_.Pages)[1].Format.Landscape);
    EXPECT_EQ((*sink_.Pages)[0].Format.OffsetX, 99) << "4.2 mm of margin at 600 dpi";
    EXPECT_EQ(p->PixelsPerInch(0), 600);
}

TEST_F(PrinterTest, TheScreenCannotPrintAndARefusingQueueIsReported) {
    TrpPrinter screen;
    screen.SetPrinterName("Screen");
    try {
        screen.BeginDoc();
        FAIL() << "printed on the screen";
    } catch (const EPrintError& e) {
        EXPECT_EQ(e.Message(),
                  "A impressora \"Screen\" só mede as páginas e não imprime: escolha uma das impressoras instaladas.");
    }
    EXPECT_FALSE(screen.Printing());

    TrpPrinter laser;
    laser.SetPrinterName("Laser");
    backend_.Refusal = "Destination \"Laser\" is not accepting jobs.";
    laser.BeginDoc();
    laser.NewPage();
    laser.EndPage();
    try {
        laser.EndDoc();
        FAIL() << "a refused job ended as printed";
    } catch (const EPrintError& e) {
        EXPECT_EQ(e.Message(), backend_.Refusal);
    }
    EXPECT_FALSE(laser.Printing());
    backend_.Refusal.clear();
    laser.BeginDoc();
    laser.NewPage();
    laser.EndPage();
    laser.EndDoc();
    ASSERT_EQ(backend_.Jobs.size(), 1u);
    EXPECT_EQ(backend_.Jobs[0].Head.substr(0, 5), "%PDF-") << "the queue is sent a PDF";
}

// Printing to a file whose name a pipe already holds is refused before
// anything is opened, as a file device's save is.
TEST_F(PrinterTest, PrintingToAFileWhereAPipeStandsIsRefused) {
    testsupport::TempDir dir;
    const std::string fifo = dir.file("saida.pdf");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto p = Laser();
    p->SetOutputFileName(fifo);
    try {
        p->BeginDoc();
        FAIL() << "printed into the pipe";
    } catch (const Exception& e) {
        EXPECT_NE(e.Message().find("\"" + fifo + "\" não foi gravado: com esse nome existe um pipe (FIFO)"),
                  std::string::npos)
            << e.Message();
    }
    EXPECT_FALSE(p->Printing());
}

TEST_F(PrinterTest, ThePropertiesDialogChangesTheSettingsAndTellsSo) {
    auto p = Laser();
    int told = 0;
    p->OnDevModeChange = [&told](TObject*) { ++told; };
    EXPECT_FALSE(p->ShowPrinterProperties()) << "no dialog installed";
    auto previous = rpSetPrinterPropertiesDialog([](TrpCustomPrinter&, TrpJobSettings& S) {
        S.Copies = 4;
        return true;
    });
    EXPECT_TRUE(p->ShowPrinterProperties());
    rpSetPrinterPropertiesDialog(previous);
    EXPECT_EQ(p->JobSettings().Copies, 4);
    EXPECT_EQ(told, 1);
}

}  // namespace

namespace {

TEST_F(PrinterTest, ScriptsReachTheSetupThroughItsAdapter) {
    const TrsRTTI* adapter = TrsRTTIClassRegistry::GetRTTIClass(TrpPrinterSetup::StaticClassType());
    ASSERT_NE(adapter, nullptr);
    TStringList names;
    adapter->GetPropList(TrpPrinterSetup::StaticClassType(), &names);
    for (const char* n : {"Bin", "Units", "DelegateCopies", "PrinterName"}) EXPECT_GE(names.IndexOf(n), 0) << n;
    TrpPrinterSetup s;
    s.SetPrinterName("Laser");
    int changes = 0;
    s.OnChange = [&changes](TObject*) { ++changes; };
    EXPECT_TRUE(adapter->SetPropValue(&s, "delegatecopies", TrsValue(true)));
    EXPECT_TRUE(s.DelegateCopies());
    EXPECT_EQ(changes, 0) << "written without an event";
    EXPECT_TRUE(adapter->SetPropValue(&s, "BinName", TrsValue(std::string("tray-2"))));
    EXPECT_EQ(changes, 1);
    TrsValue v;
    ASSERT_TRUE(adapter->GetPropValue(&s, "Bin", v));
    EXPECT_EQ(std::get<int32_t>(v), 2);
    EXPECT_FALSE(adapter->SetPropValue(&s, "Bin", TrsValue(int32_t{1}))) << "read-only";
    ASSERT_TRUE(adapter->GetPropValue(&s, "BinNames", v));
    auto* bins = dynamic_cast<TStrings*>(std::get<TObject*>(v));
    ASSERT_NE(bins, nullptr);
    EXPECT_EQ(bins->Count(), 5);
}

}  // namespace
