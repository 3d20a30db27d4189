// The printer device: copies and passes over a real report, and what its
// drawing leaves on a page at the printer's resolution.
#include <gtest/gtest.h>

#include "report/rpBands.h"
#include "report/rpBorder.h"
#include "report/rpDialogs.h"
#include "report/rpDrawCommand.h"
#include "report/rpExcept.h"
#include "report/rpPublisher.h"
#include "report_output/rpPrinterDevice.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/report_output/PrinterTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using printertest::FakeBackend;
using printertest::ImageSink;
using printertest::InstalledList;

namespace {

FakeBackend Standard() {
    FakeBackend b;
    printertest::AddStandardQueues(b);
    return b;
}

void Place(TrpDrawCommand* C, int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
    C->SetLeft(Left);
    C->SetTop(Top);
    C->SetWidth(Width);
    C->SetHeight(Height);
}

void SendPagesToImages(TrpPrinterDevice& Device, ImageSink& Sink) {
    Device.Printer()->PageSinkFactory = [&Sink] {
        auto s = std::make_unique<ImageSink>();
        s->Pages = Sink.Pages;
        s->Paint = Sink.Paint;
        return s;
    };
}

// 100 rows of 6 mm on A4: three pages.
class PrinterDeviceCopies : public ::testing::Test {
protected:
    void SetUp() override {
        TrpBandedReport* r = rig_.Report();
        std::vector<std::vector<Variant>> rows;
        for (int i = 1; i <= 100; ++i) rows.push_back({Variant("K" + std::to_string(i))});
        data_ = std::make_unique<reporttest::RowsTable>(std::vector<std::string>{"Key"}, rows);
        r->SetDataPipeline(data_->Pipeline());
        r->CreateDefaultBands();
        r->DetailBand()->SetmmHeight(6000);
        r->PrinterSetup()->SetPrinterName("Laser");
        rig_.Device()->SetPublisher(nullptr);
        sink_.Paint = false;
        SendPagesToImages(device_, sink_);
        device_.OnStartPage = [this](TObject*, TrpPage* Page) { printed_.push_back(Page->AbsolutePageNo()); };
    }
    void TearDown() override { device_.SetPublisher(nullptr); }
    std::vector<int> Print(int Copies, bool Collation, bool Delegate) {
        TrpPrinterSetup* s = rig_.Report()->PrinterSetup();
        s->SetCopies(Copies);
        s->SetCollation(Collation);
        s->SetDelegateCopies(Delegate);
        device_.SetPublisher(rig_.Report()->Publisher());
        device_.ApplyPrinterSetup(s);
        TrpPageRequest all;
        all.SetPageSetting(psAll);
        device_.SetPageRequest(&all);
        device_.RequestPage();
        return printed_;
    }
    FakeBackend backend_ = Standard();
    InstalledList installed_{&backend_};
    reporttest::ReportRig rig_;
    std::unique_ptr<reporttest::RowsTable> data_;
    TrpPrinterDevice device_{nullptr};
    ImageSink sink_;
    std::vector<int> printed_;
};

TEST_F(PrinterDeviceCopies, CollatedCopiesRunTheWholeJobAgain) {
    EXPECT_EQ(Print(3, true, false), (std::vector<int>{1, 2, 3, 1, 2, 3, 1, 2, 3}));
    EXPECT_FALSE(device_.Busy());
    EXPECT_FALSE(device_.Printer()->Printing()) << "one document for all passes, ended";
    EXPECT_EQ(sink_.Pages->size(), 9u);
}

TEST_F(PrinterDeviceCopies, UncollatedCopiesRepeatEachPage) {
    EXPECT_EQ(Print(3, false, false), (std::vector<int>{1, 1, 1, 2, 2, 2, 3, 3, 3}));
}

TEST_F(PrinterDeviceCopies, DelegatedCopiesAreLeftToTheQueue) {
    EXPECT_EQ(Print(3, false, true), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(device_.Printer()->JobSettings().Copies, 3);
}

// Pages of 40 x 30 mm on a queue of 600 dpi without margins.
class PrinterDeviceDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        SendPagesToImages(device_, sink_);
        TrpPageRequest all;
        all.SetPageSetting(psAll);
        device_.SetPageRequest(&all);
    }
    std::unique_ptr<TrpPage> NewPage(int No, TPrinterOrientation Orientation = poPortrait) {
        auto page = std::make_unique<TrpPage>(nullptr);
        TrpPrinterSetup* s = page->PrinterSetup();
        s->SetPrinterName("Etiquetas");
        s->SetPaperName("Custom");
        s->PageDef()->SetmmWidth(40000);
        s->PageDef()->SetmmHeight(30000);
        s->SetOrientation(Orientation);
        page->SetFinal(true);
        page->SetAbsolutePageNo(No);
        page->SetPageNo(No);
        return page;
    }
    void Output(std::initializer_list<TrpPage*> Pages) {
        device_.StartJob();
        for (TrpPage* p : Pages) device_.ReceivePage(p);
        device_.EndJob();
    }
    // Dark pixels down column X from Top to Bottom.
    static int DarkInColumn(const QImage& I, int X, int Top, int Bottom) {
        int n = 0;
        for (int y = Top; y < Bottom; ++y) n += qGray(I.pixel(X, y)) < 128 ? 1 : 0;
        return n;
    }
    static int DarkPixels(const QImage& I) {
        int n = 0;
        for (int y = 0; y < I.height(); ++y)
            for (int x = 0; x < I.width(); ++x) n += qGray(I.pixel(x, y)) < 128 ? 1 : 0;
        return n;
    }
    FakeBackend backend_ = Standard();
    InstalledList installed_{&backend_};
    TrpPrinterDevice device_{nullptr};
    ImageSink sink_;
};

TEST_F(PrinterDeviceDrawing, APointWideBorderIsNinePixelLinesAndAPointLineEight) {
    auto page = NewPage(1);
    auto* framed = new TrpDrawText(page.get());
    framed->SetPage(page.get());
    framed->SetTransparent(true);
    Place(framed, 5000, 5000, 10000, 10000);
    framed->Border()->SetBorderPositions(TrpBorderPositions{bpLeft, bpTop, bpRight, bpBottom});
    framed->Border()->SetWeight(1);
    framed->Border()->SetVisible(true);
    auto* line = new TrpDrawLine(page.get());
    line->SetPage(page.get());
    Place(line, 20000, 5000, 10000, 10000);
    line->SetLinePosition(lpTop);
    line->SetWeight(1);
    Output({page.get()});
    ASSERT_EQ(sink_.Pages->size(), 1u);
    const QImage& img = *(*sink_.Pages)[0].Image;
    const int mid = static_cast<int>(std::lround(10.0 / 25.4 * 600));   // 10 mm: inside the frame
    const int lineX = static_cast<int>(std::lround(25.0 / 25.4 * 600));  // 25 mm: under the line
    const int top = static_cast<int>(std::lround(4.0 / 25.4 * 600));
    const int middle = static_cast<int>(std::lround(10.0 / 25.4 * 600));
    EXPECT_EQ(DarkInColumn(img, mid, top, middle), 9) << "top side";
    EXPECT_EQ(DarkInColumn(img, mid, middle, img.height()), 9) << "bottom side";
    EXPECT_EQ(DarkInColumn(img, lineX, 0, img.height()), 8) << "the line";

    // A double line is two such lines, the second 2n pixels down.
    auto second = NewPage(2);
    auto* twin = new TrpDrawLine(second.get());
    twin->SetPage(second.get());
    Place(twin, 20000, 5000, 10000, 10000);
    twin->SetLinePosition(lpTop);
    twin->SetLineStyle(lsDouble);
    twin->Pen()->SetWidth(1);
    twin->SetWeight(1);
    Output({second.get()});
    ASSERT_EQ(sink_.Pages->size(), 2u);
    const QImage& two = *(*sink_.Pages)[1].Image;
    const int lineTop = static_cast<int>(std::lround(5.0 / 25.4 * 600));
    EXPECT_EQ(DarkInColumn(two, lineX, 0, two.height()), 16);
    EXPECT_EQ(DarkInColumn(two, lineX, lineTop + 8, lineTop + 16), 0) << "the gap";
}

TEST_F(PrinterDeviceDrawing, SquaresAndCirclesReachingTheDeviceDrawNothing) {
    for (TShapeType kind : {stSquare, stCircle, stRectangle}) {
        auto page = NewPage(1);
        auto* shape = new TrpDrawShape(page.get());
        shape->SetPage(page.get());
        shape->SetShapeType(kind);
        Place(shape, 5000, 5000, 10000, 10000);
        sink_.Pages->clear();
        Output({page.get()});
        ASSERT_EQ(sink_.Pages->size(), 1u);
        const int dark = DarkPixels(*(*sink_.Pages)[0].Image);
        if (kind == stRectangle)
            EXPECT_GT(dark, 0);
        else
            EXPECT_EQ(dark, 0) << static_cast<int>(kind);
    }
}

TEST_F(PrinterDeviceDrawing, TextStaysInItsRectangleOnTheSideItIsAlignedTo) {
    for (TrpTextAlignment a : {taLeftJustified, taRightJustified}) {
        auto page = NewPage(1);
        auto* text = new TrpDrawText(page.get());
        text->SetPage(page.get());
        Place(text, 5000, 5000, 30000, 6000);
        text->SetTransparent(true);
        text->SetText("Olá");
        text->Font()->SetName("Arial");
        text->Font()->SetSize(12);
        text->SetTextAlignment(a);
        sink_.Pages->clear();
        Output({page.get()});
        ASSERT_EQ(sink_.Pages->size(), 1u);
        const QImage& img = *(*sink_.Pages)[0].Image;
        int left = img.width(), right = -1, top = img.height(), bottom = -1;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qGray(img.pixel(x, y)) < 128) {
                    left = std::min(left, x), right = std::max(right, x);
                    top = std::min(top, y), bottom = std::max(bottom, y);
                }
        ASSERT_GE(right, 0) << "the text was drawn";
        const int x0 = 118, x1 = 827, y0 = 118, y1 = 260;  // 5..35 mm, 5..11 mm at 600 dpi
        EXPECT_GE(left, x0);
        EXPECT_LE(right, x1);
        EXPECT_GE(top, y0);
        EXPECT_LE(bottom, y1);
        if (a == taLeftJustified)
            EXPECT_LT(left - x0, 30);
        else
            EXPECT_LT(x1 - right, 30);
    }
}

TEST_F(PrinterDeviceDrawing, ATransparentPictureLeavesItsWhiteOut) {
    for (bool transparent : {true, false}) {
        auto page = NewPage(1);
        auto* under = new TrpDrawShape(page.get());
        under->SetPage(page.get());
        Place(under, 5000, 5000, 10000, 10000);
        under->Brush()->SetColor(clRed);
        under->Pen()->SetColor(clRed);
        // A picture of 10 x 10 screen pixels: black left half, white right half.
        TBitmap bitmap;
        bitmap.SetSize(10, 10);
        bitmap.Canvas()->Brush()->SetColor(clWhite);
        bitmap.Canvas()->FillRect(TRect{0, 0, 10, 10});
        bitmap.Canvas()->Brush()->SetColor(clBlack);
        bitmap.Canvas()->FillRect(TRect{0, 0, 5, 10});
        auto* image = new TrpDrawImage(page.get());
        image->SetPage(page.get());
        Place(image, 5000, 5000, 10000, 10000);
        image->Picture()->Assign(&bitmap);
        image->SetStretch(true);
        image->SetTransparent(transparent);
        sink_.Pages->clear();
        Output({page.get()});
        ASSERT_EQ(sink_.Pages->size(), 1u);
        const QImage& img = *(*sink_.Pages)[0].Image;
        const int y = static_cast<int>(std::lround(10.0 / 25.4 * 600));
        const QColor left(img.pixel(static_cast<int>(std::lround(7.0 / 25.4 * 600)), y));
        const QColor right(img.pixel(static_cast<int>(std::lround(13.0 / 25.4 * 600)), y));
        EXPECT_EQ(left, QColor(Qt::black)) << transparent;
        EXPECT_EQ(right, transparent ? QColor(Qt::red) : QColor(Qt::white));
    }
}

TEST_F(PrinterDeviceDrawing, OrientationChangesInsideOneJob) {
    auto first = NewPage(1);
    auto second = NewPage(2, poLandscape);
    auto third = NewPage(3);
    Output({first.get(), second.get(), third.get()});
    ASSERT_EQ(sink_.Pages->size(), 3u);
    EXPECT_EQ((*sink_.Pages)[0].Image->width(), 945);  // 40 mm at 600 dpi
    EXPECT_EQ((*sink_.Pages)[0].Image->height(), 709);
    EXPECT_EQ((*sink_.Pages)[1].Image->width(), 709) << "turned";
    EXPECT_EQ((*sink_.Pages)[2].Image->width(), 945);
    EXPECT_EQ(backend_.Jobs.size(), 0u) << "images, not a queue";
}

}  // namespace

namespace {

TEST(PrinterDeviceWithoutQueues, ReportsLayOutAndPrintingEndsOnTheScreenPrinter) {
    FakeBackend none;
    InstalledList installed(&none);
    reporttest::ReportRig rig;
    rig.Report()->CreateDefaultBands();
    rig.AddText(rig.Report()->DetailBand(), "Texto", 0, 0, 40000, 5000, "Olá");
    rig.Print();
    EXPECT_FALSE(rig.Device()->FinalPages().empty()) << "laid out against the screen";
    EXPECT_EQ(rig.Report()->PrinterSetup()->PrinterDescription(), "Screen");
    rig.Device()->SetPublisher(nullptr);
    rig.Report()->SetDeviceType("Printer");
    rig.Report()->SetShowPrintDialog(false);
    rig.Report()->SetShowCancelDialog(false);
    try {
        rig.Report()->PrintReport();
        ADD_FAILURE() << "printing on the screen ended as printed";
    } catch (const EPrintError& e) {
        EXPECT_EQ(e.Message(), "Nenhuma impressora está instalada.");
    }
    EXPECT_FALSE(rig.Report()->Printing());
}

}  // namespace

namespace {

// Keeps every progress text it is given.
class RecordingCancelDialog : public TrpCustomCancelDialog {
public:
    RecordingCancelDialog() : TrpCustomCancelDialog(nullptr) {}
    bool ShowModal() override { return true; }
    void ExecuteModal() override {}
    void Show() override {}
    void Close() override {}
    std::vector<std::string> Texts;

protected:
    void PrintProgressChanged() override { Texts.push_back(PrintProgress()); }
};

TEST_F(PrinterDeviceCopies, TheCancelDialogHearsWhichPageGoesWhere) {
    RecordingCancelDialog dialog;
    device_.SetCancelDialog(&dialog);
    rig_.Report()->PrinterSetup()->SetDocumentName("Notas");
    Print(2, true, false);
    device_.SetCancelDialog(nullptr);
    ASSERT_GE(dialog.Texts.size(), 4u);
    EXPECT_EQ(dialog.Texts[0], "Acessando os dados...");
    EXPECT_EQ(dialog.Texts[1], "Imprimindo a página 1 do Relatório Notas em Laser");
    // The second pass knows the last page: the count is told too.
    EXPECT_EQ(dialog.Texts.back(), "Imprimindo a Página 3 de 3 do Relatório Notas em Laser");
}

}  // namespace

// A text holding tabs prints its pieces at the tab stops, not the tab as a
// missing glyph: three words apart, the right-aligned one against its edge.
TEST_F(PrinterDeviceDrawing, TabsInATextGoToTheTabStops) {
    auto page = NewPage(1);
    for (TAlignment a : {taLeftJustify, taRightJustify}) {
        auto* text = new TrpDrawText(page.get());
        text->SetPage(page.get());
        text->SetTransparent(true);
        text->SetText("Par\t10\t1,5");
        text->SetAlignment(a);
        text->SetTextAlignment(a == taLeftJustify ? taLeftJustified : taRightJustified);
        TFont font;
        font.SetName("Arial");
        font.SetSize(8);
        text->SetFont(&font);
        Place(text, 2000, a == taLeftJustify ? 5000 : 15000, 36000, 5000);
    }
    Output({page.get()});
    ASSERT_EQ(sink_.Pages->size(), 1u);
    const QImage& img = *(*sink_.Pages)[0].Image;
    for (int row : {0, 1}) {
        const int top = static_cast<int>(std::lround((row == 0 ? 5.0 : 15.0) / 25.4 * 600));
        const int bottom = top + static_cast<int>(std::lround(5.0 / 25.4 * 600));
        std::vector<std::pair<int, int>> runs;  // inked columns parted by 40 blank ones
        int blank = 40;
        for (int x = 0; x < img.width(); ++x) {
            const bool ink = DarkInColumn(img, x, top, bottom) > 0;
            if (!ink) {
                ++blank;
                continue;
            }
            if (blank >= 40) runs.push_back({x, x});
            runs.back().second = x;
            blank = 0;
        }
        ASSERT_EQ(runs.size(), 3u) << "row " << row;
        if (row == 1) {
            EXPECT_NEAR(runs.back().second, std::lround(38.0 / 25.4 * 600), 12) << "right-aligned";
        }
    }
}
