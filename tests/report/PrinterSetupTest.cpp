// Print options and page geometry: the paper the locale suggests, the checks
// against a printer's paper list, and the stored form.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Format.h"
#include "report/rpPage.h"
#include "report/rpPrinterList.h"
#include "report/rpPrinterSetup.h"
#include "tests/report/ReportTestSupport.h"

namespace {

// Two printers: a laser with Letter, A4 and an envelope, and a label printer.
class TFakePrinterList : public TrpPrinterList {
public:
    TFakePrinterList() {
        auto laser = std::make_unique<TrpPrinterInfo>("Laser");
        TrpPrinterCapabilities* c = laser->GetCapabilities();
        c->AddPaper("Letter 8 1/2 x 11 in", 1, 2159, 2794);
        c->AddPaper("A4 210 x 297 mm", 9, 2100, 2970);
        c->AddPaper("Envelope #10 4 18 x 9 1/2", 20, 1048, 2413);
        c->AddPaper("Custom", 256, 0, 0);
        c->AddBin("Default", 7);
        c->AddBin("Upper", 1);
        infos["Laser"] = std::move(laser);
        auto labels = std::make_unique<TrpPrinterInfo>("Etiquetas");
        labels->GetCapabilities()->AddPaper("Etiqueta 100 x 50", 300, 1000, 500);
        labels->GetCapabilities()->AddPaper("A4 210 x 297 mm", 9, 2100, 2970);
        infos["Etiquetas"] = std::move(labels);
    }
    TrpPrinterInfo* GetPrinterInfo(const std::string& Name) override {
        auto it = infos.find(Name == "Default" ? std::string("Laser") : Name);
        return it == infos.end() ? nullptr : it->second.get();
    }
    std::string DefaultPrinterName() override { return "Laser"; }
    void GetPrinterNames(TStrings* Names) override {
        Names->Clear();
        for (auto& [name, info] : infos) Names->Add(name);
    }
    std::map<std::string, std::unique_ptr<TrpPrinterInfo>> infos;
};

// Installs the fake list and a locale for one test.
class PrinterSetupTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = rpSetPrinterList(&list_);
        separator_ = FormatSettings.DecimalSeparator;
        FormatSettings.DecimalSeparator = ',';
    }
    void TearDown() override {
        rpSetPrinterList(previous_);
        FormatSettings.DecimalSeparator = separator_;
    }
    TFakePrinterList list_;
    TrpPrinterList* previous_ = nullptr;
    char separator_ = ',';
};

TEST_F(PrinterSetupTest, TheLocaleChoosesA4OrLetter) {
    TrpPrinterSetup a4;
    EXPECT_EQ(a4.PageDef()->mmWidth(), 210000);
    EXPECT_EQ(a4.PageDef()->mmHeight(), 297000);
    FormatSettings.DecimalSeparator = '.';
    TrpPrinterSetup letter;
    EXPECT_EQ(letter.PageDef()->mmWidth(), 215900);
    EXPECT_EQ(letter.PageDef()->mmHeight(), 279401);
    for (TrpPrinterSetup* s : {&a4, &letter}) {
        const TrpPageDef* d = s->PageDef();
        EXPECT_EQ(d->mmMarginLeft(), 6350);
        EXPECT_EQ(d->mmMarginRight(), 6350);
        EXPECT_EQ(d->mmMarginTop(), 6350);
        EXPECT_EQ(d->mmMarginBottom(), 6350);
    }
    EXPECT_EQ(a4.PageDef()->PrintableWidth(), 210000 - 12700);
    EXPECT_EQ(a4.PageDef()->GetPrintableRect().Bottom, 297000 - 6350);
    EXPECT_EQ(a4.Copies(), 1);
    EXPECT_TRUE(a4.Collation());
    EXPECT_EQ(a4.BinName(), "Default");
    EXPECT_EQ(a4.PrinterName(), "Default");
    EXPECT_EQ(a4.Units(), utInches);
}

TEST_F(PrinterSetupTest, InvalidValuesChangeNothing) {
    TrpPrinterSetup s;
    int changes = 0;
    s.OnChange = [&](TObject*) { ++changes; };
    s.SetCopies(0);
    s.SetCopies(-3);
    EXPECT_EQ(s.Copies(), 1);
    EXPECT_EQ(changes, 0);
    s.SetCopies(2);
    EXPECT_EQ(changes, 1);
    s.SetUnits(utMillimeters);
    s.SetMarginLeft(-1.0f);
    EXPECT_EQ(s.PageDef()->mmMarginLeft(), 6350);
    s.SetMarginLeft(10.0f);
    EXPECT_EQ(s.PageDef()->mmMarginLeft(), 10000);
    s.SetPaperHeight(-5.0f);
    EXPECT_EQ(s.PageDef()->mmHeight(), 297000);
}

TEST_F(PrinterSetupTest, OrientationExchangesTheSidesButNotTheMargins) {
    TrpPrinterSetup s;
    s.SetUnits(utMillimeters);
    s.SetMarginTop(20.0f);
    int changes = 0;
    s.OnPageDefChange = [&](TObject*) { ++changes; };
    s.SetOrientation(poLandscape);
    EXPECT_EQ(s.PageDef()->mmWidth(), 297000);
    EXPECT_EQ(s.PageDef()->mmHeight(), 210000);
    EXPECT_EQ(s.PageDef()->mmMarginTop(), 20000);
    EXPECT_EQ(s.PageDef()->mmMarginLeft(), 6350);
    EXPECT_EQ(changes, 1);
    s.SetOrientation(poLandscape);
    EXPECT_EQ(changes, 1) << "no change, no notice";
}

TEST_F(PrinterSetupTest, AGeometryChangeCanBeRefused) {
    TrpPrinterSetup s;
    s.SetUnits(utMillimeters);
    int32_t offered = 0;
    s.OnBeforePageDefChange = [&](TObject*, TrpPageDef* candidate, bool& allow) {
        offered = candidate->mmMarginBottom();
        allow = false;
    };
    s.SetMarginBottom(15.0f);
    EXPECT_EQ(offered, 15000);
    EXPECT_EQ(s.PageDef()->mmMarginBottom(), 6350);
    s.SetOrientation(poLandscape);
    EXPECT_EQ(s.Orientation(), poPortrait);
    s.SetActive(false);
    s.SetMarginBottom(15.0f);
    EXPECT_EQ(s.PageDef()->mmMarginBottom(), 15000) << "an inactive setup asks nobody";
}

TEST_F(PrinterSetupTest, AnEnvelopeTurnsThePageToLandscape) {
    TrpPrinterSetup s;
    s.SetUnits(utMMThousandths);
    s.SetPrinterName("Laser");
    s.SetPaperName("Envelope #10 4 18 x 9 1/2");
    EXPECT_EQ(s.Orientation(), poLandscape);
    EXPECT_EQ(s.PageDef()->mmWidth(), 241300);
    EXPECT_EQ(s.PageDef()->mmHeight(), 104800);
    EXPECT_EQ(s.PaperSize(), 20);
    EXPECT_EQ(s.PaperName(), "Envelope #10 4 18 x 9 1/2");
}

TEST_F(PrinterSetupTest, ACustomPaperWithinAMillimetreOfAListedOneTakesItsName) {
    TrpPrinterSetup s;
    s.SetPrinterName("Laser");
    s.SetUnits(utMMThousandths);
    s.SetPaperName("Custom");
    s.SetPaperWidth(209100);
    EXPECT_EQ(s.PaperName(), "A4 210 x 297 mm") << "0.9 mm off";
    EXPECT_EQ(s.PaperSize(), 9);
    s.SetPaperWidth(208000);
    EXPECT_EQ(s.PaperName(), "Custom") << "2 mm off";
    EXPECT_EQ(s.PaperSize(), 256);
}

TEST_F(PrinterSetupTest, AnUnknownPrinterKeepsTheOldOne) {
    TrpPrinterSetup s;
    s.SetPrinterName("Laser");
    TrpPrinterInfo* laser = s.PrinterInfo();
    ASSERT_NE(laser, nullptr);
    s.SetPrinterName("Matricial");
    EXPECT_EQ(s.PrinterName(), "Laser");
    EXPECT_EQ(s.PrinterInfo(), laser);
    s.SetPrinterName("Current");
    EXPECT_EQ(s.PrinterName(), "Default");
    EXPECT_EQ(s.PrinterDescription(), "Laser");
}

TEST_F(PrinterSetupTest, ChangingPrinterKeepsThePaperByItsCode) {
    TrpPrinterSetup s;
    s.SetPrinterName("Laser");
    s.SetPaperName("A4 210 x 297 mm");
    s.SetPrinterName("Etiquetas");
    EXPECT_EQ(s.PaperName(), "A4 210 x 297 mm");
    EXPECT_EQ(s.PaperSize(), 9);
}

TEST_F(PrinterSetupTest, BinsAndListsComeFromThePrinter) {
    TrpPrinterSetup s;
    EXPECT_EQ(s.Bin(), -1);
    s.SetPrinterName("Laser");
    s.SetBinName("Upper");
    EXPECT_EQ(s.Bin(), 1);
    s.SetBinName("Current");
    EXPECT_EQ(s.BinName(), "Default");
    EXPECT_EQ(s.Bin(), -1);
    TStringList names;
    s.GetBinNames(&names);
    EXPECT_EQ(names.CommaText(), "Default,Upper");
    s.GetPrinterNames(&names);
    EXPECT_EQ(names.CommaText(), "Etiquetas,Laser");

    rpSetPrinterList(nullptr);
    TrpPrinterSetup none;
    EXPECT_EQ(none.PrinterInfo(), nullptr);
    EXPECT_EQ(none.PaperSize(), 0);
    none.GetPaperNames(&names);
    EXPECT_EQ(names.CommaText(), "Custom");
    none.GetBinNames(&names);
    EXPECT_EQ(names.CommaText(), "Default");
}

TEST_F(PrinterSetupTest, AssignAndComparisons) {
    TrpPrinterSetup a;
    a.SetPrinterName("Laser");
    a.SetCopies(3);
    a.SetCollation(false);
    a.SetDuplex(dpVertical);
    a.SetDocumentName("Notas");
    a.SetOrientation(poLandscape);
    TrpPrinterSetup b;
    EXPECT_FALSE(b.IsEqual(&a));
    b.Assign(&a);
    EXPECT_TRUE(b.IsEqual(&a));
    EXPECT_TRUE(b.SamePaper(&a));
    EXPECT_EQ(b.PrinterInfo(), a.PrinterInfo());
    b.SetMarginLeft(1.0f);
    EXPECT_FALSE(b.IsEqual(&a));
    EXPECT_TRUE(b.SamePaper(&a));
    TrpPageRequest other;
    EXPECT_THROW(b.Assign(&other), EConvertError);
}

std::string AsText(TComponent* Component) {
    TMemoryStream binary;
    WriteComponent(binary, Component);
    binary.SetPosition(0);
    TStringStream text;
    ObjectBinaryToText(binary, text);
    return text.DataString();
}

TEST_F(PrinterSetupTest, TheGeometryIsStoredExactlyAndReadWithoutChecks) {
    TrpPage page(nullptr);
    page.PrinterSetup()->SetPrinterName("Laser");
    page.PrinterSetup()->SetPaperName("A4 210 x 297 mm");
    page.PrinterSetup()->SetUnits(utMillimeters);
    page.PrinterSetup()->SetMarginTop(12.5f);
    const std::string text = AsText(&page);
    for (const char* line : {"PrinterSetup.mmMarginBottom = 6350", "PrinterSetup.mmMarginLeft = 6350",
                             "PrinterSetup.mmMarginRight = 6350", "PrinterSetup.mmMarginTop = 12500",
                             "PrinterSetup.mmPaperHeight = 297000", "PrinterSetup.mmPaperWidth = 210000",
                             "PrinterSetup.PaperSize = 9"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    EXPECT_EQ(text.find("PrinterSetup.MarginTop ="), std::string::npos) << "unit values are not stored";

    // A stored paper code becomes a name once the setup is asked for it.
    TStringStream form(
        "object Page: TrpPage\n"
        "  PrinterSetup.PrinterName = 'Laser'\n"
        "  PrinterSetup.PaperName = 'Custom'\n"
        "  PrinterSetup.mmPaperHeight = 104800\n"
        "  PrinterSetup.mmPaperWidth = 241300.7\n"
        "  PrinterSetup.PaperSize = 20\n"
        "end\n");
    std::unique_ptr<TComponent> read(ReadComponentAnyForm(form, nullptr));
    auto* back = dynamic_cast<TrpPage*>(read.get());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->PageDef()->mmWidth(), 241300) << "a stored fraction is cut off";
    EXPECT_EQ(back->PrinterSetup()->PendingPaperCode(), 20);
    EXPECT_EQ(back->PrinterSetup()->PaperName(), "Envelope #10 4 18 x 9 1/2");
    EXPECT_EQ(back->PrinterSetup()->PendingPaperCode(), 0);
}

TEST_F(PrinterSetupTest, WhileTheOwnerReadsThePaperSizeWaitsForUpdatePageSize) {
    TComponent owner(nullptr);
    TrpPrinterSetup s(&owner);
    owner.SetComponentStateFlag(csReading, true);
    s.SetPaperWidth(5.0f);
    s.SetPaperHeight(4.0f);
    EXPECT_EQ(s.PageDef()->mmWidth(), 210000);
    owner.SetComponentStateFlag(csReading, false);
    s.UpdatePageSize();
    EXPECT_EQ(s.PageDef()->mmWidth(), 127000);
    EXPECT_EQ(s.PageDef()->mmHeight(), 101600);
}

}  // namespace

namespace {

TEST_F(PrinterSetupTest, PrinterPixelsAskForThePrinter) {
    TrpPrinterSetup s;
    reporttest::FakePrinter printer(300, 600);
    s.OnGetPrinter = [&](TObject*, TObject*& p) { p = &printer; };
    s.SetUnits(utPrinterPixels);
    EXPECT_NEAR(s.MarginLeft(), 75.0f, 0.01f) << "a quarter inch at 300 dpi";
    EXPECT_NEAR(s.MarginTop(), 150.0f, 0.01f) << "a quarter inch at 600 dpi";
}

TEST_F(PrinterSetupTest, TwoThreadsAssigningIntoEachOtherFinish) {
    TrpPrinterSetup a, b;
    a.SetCopies(2);
    b.SetCopies(3);
    std::thread one([&] {
        for (int i = 0; i < 2000; ++i) a.Assign(&b);
    });
    std::thread two([&] {
        for (int i = 0; i < 2000; ++i) b.Assign(&a);
    });
    one.join();
    two.join();
    EXPECT_EQ(a.Copies(), b.Copies());
}

}  // namespace
