// Printing end to end: a private print service on 127.0.0.1 with a queue
// that writes PDF files, whose output pdfinfo and pdftoppm judge.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>

#include "report/rpBands.h"
#include "report/rpExcept.h"
#include "report/rpPrinterList.h"
#include "report/rpPrinterSetup.h"
#include "report_output/rpCupsBackend.h"
#include "report_output/rpGraphics.h"
#include "tests/report_output/BarCodePages.h"
#include "tests/report_output/PageInk.h"
#include "tests/support/PrivateSpooler.h"
#include "tests/support/TestSupport.h"
#include "tests/support/report/ReportHarness.h"

namespace {

using testsupport::Shell;
using testsupport::PrivateSpooler;

std::vector<std::pair<double, double>> PageSizes(const std::string& Pdf) {
    std::vector<std::pair<double, double>> sizes;
    const std::string info = Shell("pdfinfo -f 1 -l 99 '" + Pdf + "' 2>/dev/null");
    const std::regex line(R"(Page\s+\d+\s+size:\s+([\d.]+) x ([\d.]+) pts)");
    for (std::sregex_iterator it(info.begin(), info.end(), line), end; it != end; ++it)
        sizes.emplace_back(std::stod((*it)[1]), std::stod((*it)[2]));
    return sizes;
}

// Dark pixels of page N, rendered small in grey.
long Ink(const std::string& Pdf, int Page) {
    const std::string pgm = Shell("pdftoppm -gray -r 20 -f " + std::to_string(Page) + " -l " + std::to_string(Page) +
                                " '" + Pdf + "' 2>/dev/null");
    // P5 header: magic, width, height, maximum, then the bytes.
    std::istringstream in(pgm);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    long dark = 0;
    for (int i = 0; i < w * h; ++i) dark += in.get() < 128 ? 1 : 0;
    return dark;
}

class CupsPrinting : public ::testing::Test {
protected:
    static void SetUpTestSuite() { spooler_ = new PrivateSpooler(); }
    static void TearDownTestSuite() {
        delete spooler_;
        spooler_ = nullptr;
    }
    void SetUp() override {
        if (!spooler_->Running()) GTEST_SKIP() << "no private print service: " << spooler_->SkipReason();
        backend_ = std::make_unique<TrpCupsBackend>(spooler_->Server());
        previousBackend_ = rpSetPrinterBackend(backend_.get());
        list_ = std::make_unique<TrpPrinterList>(backend_.get());
        previousList_ = rpSetPrinterList(list_.get());
        std::vector<std::vector<Variant>> rows;
        for (int i = 1; i <= 100; ++i) rows.push_back({Variant("Linha " + std::to_string(i))});
        data_ = std::make_unique<reporttest::RowsTable>(std::vector<std::string>{"Key"}, rows);
        TrpBandedReport* r = rig_.Report();
        r->SetDataPipeline(data_->Pipeline());
        r->CreateDefaultBands();
        r->DetailBand()->SetmmHeight(6000);
        reporttest::TestText* key = rig_.AddText(r->DetailBand(), "KeyText", 0, 0, 60000, 5000);
        key->SetDataPipeline(data_->Pipeline());
        key->SetDataField("Key");
        rig_.Device()->SetPublisher(nullptr);
        r->SetDeviceType("Printer");
        r->SetShowPrintDialog(false);
        r->SetShowCancelDialog(false);
        r->PrinterSetup()->SetPrinterName(spooler_->Queue());
    }
    void TearDown() override {
        if (list_ == nullptr) return;
        rpSetPrinterList(previousList_);
        rpSetPrinterBackend(previousBackend_);
    }
    // Prints the report and waits for the queue's PDF.
    std::string PrintAndWait() {
        const std::size_t before = spooler_->OutputCount();
        rig_.Report()->PrintReport();
        const std::string pdf = spooler_->WaitForOutput(before);
        if (pdf.empty()) ADD_FAILURE() << "no output; the spooler's log:\n" << spooler_->Log();
        return pdf;
    }
    static void ExpectPages(const std::string& Pdf, std::size_t Count, double W, double H) {
        const auto sizes = PageSizes(Pdf);
        ASSERT_EQ(sizes.size(), Count) << Pdf;
        for (const auto& [w, h] : sizes) {
            EXPECT_NEAR(w, W, 1.0);
            EXPECT_NEAR(h, H, 1.0);
        }
    }
    static PrivateSpooler* spooler_;
    std::unique_ptr<TrpCupsBackend> backend_;
    std::unique_ptr<TrpPrinterList> list_;
    TrpPrinterBackend* previousBackend_ = nullptr;
    TrpPrinterList* previousList_ = nullptr;
    reporttest::ReportRig rig_;
    std::unique_ptr<reporttest::RowsTable> data_;
};

PrivateSpooler* CupsPrinting::spooler_ = nullptr;

TEST_F(CupsPrinting, TheQueueIsListedAndIsTheDefault) {
    TStringList names;
    list_->GetPrinterNames(&names);
    EXPECT_GE(names.IndexOf(spooler_->Queue()), 2);
    EXPECT_EQ(list_->DefaultPrinterName(), spooler_->Queue());
    TrpPrinterInfo* info = list_->GetPrinterInfo("Default");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->PrinterName(), spooler_->Queue());
    EXPECT_EQ(info->DeviceOnPort(), "cups-pdf:/" + spooler_->Queue());
    EXPECT_GE(info->GetCapabilities()->PaperCodes.IndexOf("9"), 0) << "A4 among its papers";
}

TEST_F(CupsPrinting, PapersReachThePaper) {
    struct Case {
        const char* Paper;
        double W, H;
    };
    for (const Case& c : {Case{"A4 210 x 297 mm", 595.3, 841.9}, Case{"Letter 8 1/2 x 11 in", 612, 792}}) {
        rig_.Report()->PrinterSetup()->SetPaperName(c.Paper);
        ExpectPages(PrintAndWait(), 3, c.W, c.H);
    }
}

// The queue's driver knows portrait sizes only (landscape pages come out
// turned on them) and makes a size of its own into its default: the job's
// PDF itself is judged, written to the setup's output file.
TEST_F(CupsPrinting, TheJobsPdfHasTheLandscapeAndOwnSizes) {
    struct Case {
        bool Custom;
        TPrinterOrientation Orientation;
        double W, H;
    };
    int n = 0;
    for (const Case& c : {Case{false, poLandscape, 841.9, 595.3}, Case{true, poPortrait, 283.5, 425.2},
                          Case{true, poLandscape, 425.2, 283.5}}) {
        TrpPrinterSetup* s = rig_.Report()->PrinterSetup();
        s->SetOrientation(poPortrait);
        if (c.Custom) {
            s->SetPaperName("Custom");
            s->PageDef()->SetmmWidth(100000);
            s->PageDef()->SetmmHeight(150000);
        } else {
            s->SetPaperName("A4 210 x 297 mm");
        }
        s->SetOrientation(c.Orientation);
        const std::string file = spooler_->File("saida" + std::to_string(++n) + ".pdf");
        s->SetOutputFileName(file);
        rig_.Report()->PrintReport();
        const auto sizes = PageSizes(file);
        ASSERT_FALSE(sizes.empty()) << file;
        for (const auto& [w, h] : sizes) {
            EXPECT_NEAR(w, c.W, 1.0) << n;
            EXPECT_NEAR(h, c.H, 1.0) << n;
        }
    }
}

TEST_F(CupsPrinting, CollatedCopiesComeOutInDocumentOrder) {
    TrpPrinterSetup* s = rig_.Report()->PrinterSetup();
    s->SetPaperName("A4 210 x 297 mm");
    s->SetCopies(2);
    s->SetCollation(true);
    const std::string pdf = PrintAndWait();
    ExpectPages(pdf, 6, 595.3, 841.9);
    // Each page's ink tells it: page 3 holds only the last lines, and pages
    // 1 and 2 differ in their numbers. Uncollated copies would pair them.
    std::vector<long> ink;
    for (int p = 1; p <= 6; ++p) ink.push_back(Ink(pdf, p));
    for (std::size_t p = 0; p < 3; ++p) EXPECT_EQ(ink[p], ink[p + 3]) << "page " << p + 1;
    EXPECT_NE(ink[0], ink[1]);
    EXPECT_LT(2 * ink[2], ink[0]);
    EXPECT_LT(2 * ink[2], ink[1]);
}

TEST_F(CupsPrinting, PrintedBarcodesReadBackFromTheQueuesPdf) {
    TrpHeaderBand* header = rig_.Report()->HeaderBand();
    ASSERT_NE(header, nullptr);
    header->SetmmHeight(120000);
    barcodetest::PlaceSamples(rig_, header, 0);
    rig_.Report()->DetailBand()->SetVisible(false);  // the symbols alone
    rig_.Report()->PrinterSetup()->SetPaperName("A4 210 x 297 mm");
    const std::string pdf = PrintAndWait();
    ASSERT_FALSE(pdf.empty());
    const QImage page = barcodetest::PdfPage(pdf, 1, 300);
    ASSERT_FALSE(page.isNull()) << pdf;
    barcodetest::ExpectSamplesReadBack(page);
}

TEST_F(CupsPrinting, AStoppedQueueIsReportedNotPrinted) {
    Shell("cupsdisable -h " + spooler_->Server() + " " + spooler_->Queue() + " 2>&1");
    list_->Refresh();
    try {
        rig_.Report()->PrintReport();
        ADD_FAILURE() << "a stopped queue took the job as printed";
    } catch (const EPrintError& e) {
        EXPECT_NE(e.Message().find(spooler_->Queue()), std::string::npos) << e.Message();
    }
    Shell("cupsenable -h " + spooler_->Server() + " " + spooler_->Queue() + " 2>&1");
}

TEST_F(CupsPrinting, RoundedRectanglesAndSquaresPrintWithRoundedCorners) {
    TrpHeaderBand* header = rig_.Report()->HeaderBand();
    ASSERT_NE(header, nullptr);
    header->SetmmHeight(120000);
    rig_.Report()->DetailBand()->SetVisible(false);  // the shapes alone
    rig_.Report()->PrinterSetup()->SetPaperName("A4 210 x 297 mm");
    // A box of 60 x 30 mm: the square is 30 mm a side, and both round their
    // corners with an ellipse of a quarter of the shorter side.
    const TShapeType kinds[] = {stRoundRect, stRoundSquare};
    for (int i = 0; i < 2; ++i) {
        auto* shape = outputtest::Place<TrpShape>(rig_, header, "Shape" + std::to_string(i), 20000, 10000 + i * 60000,
                                                  60000, 30000);
        shape->SetShape(kinds[i]);
    }
    const std::string pdf = PrintAndWait();
    ASSERT_FALSE(pdf.empty());
    const int dpi = 150;
    const QImage page = barcodetest::PdfPage(pdf, 1, dpi);
    ASSERT_FALSE(page.isNull()) << pdf;
    pageink::Keep(page, "printer-round-shapes.png");
    const auto px = [&](double Mm) { return Mm / 25.4 * dpi; };
    struct Expected {
        double W, H, Radius;  // mm
    };
    const Expected expected[] = {{60, 30, 3.75}, {30, 30, 3.75}};
    for (int i = 0; i < 2; ++i) {
        // Each shape alone in its band of the page, 60 mm apart.
        const QRect band(0, static_cast<int>(px(5 + i * 60)), page.width(), static_cast<int>(px(55)));
        const pageink::Outline o = pageink::OutlineOf(page, band);
        ASSERT_FALSE(o.Box.isNull()) << "shape " << i;
        const Expected& e = expected[i];
        EXPECT_NEAR(o.Box.width(), px(e.W), px(1)) << "shape " << i;
        EXPECT_NEAR(o.Box.height(), px(e.H), px(1)) << "shape " << i;
        // Straight sides between rounded corners: not an ellipse's touch,
        // not a sharp corner's full run.
        EXPECT_GE(o.TopRun, px(e.W - 2 * e.Radius - 1)) << "shape " << i;
        EXPECT_LE(o.TopRun, px(e.W - e.Radius / 2)) << "shape " << i;
        EXPECT_GE(o.LeftRun, px(e.H - 2 * e.Radius - 1)) << "shape " << i;
        EXPECT_LE(o.LeftRun, px(e.H - e.Radius / 2)) << "shape " << i;
    }
}

}  // namespace
