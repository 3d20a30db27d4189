// Printed pages read back as a reader reads them: PDF files rasterised by
// pdftoppm and read by pdftotext, the preview's picture at several zooms,
// ink looked for inside the box where it belongs.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "report/rpBands.h"
#include "report/rpMemo.h"
#include "report_output/rpRichText.h"
#include "report_output/rpTextControls.h"
#include "tests/report_output/OutputTestSupport.h"
#include "tests/report_output/PageInk.h"
#include "tests/support/TestSupport.h"
#include "tests/support/report/ReportHarness.h"

namespace {

using pageink::BoxOf;
using pageink::InkBox;
using pageink::InkCount;

struct TurnedLabel {
    int Angle;
    bool AutoSize;
    TrpDrawCommand* Command = nullptr;
};

// Labels turned by 0, 45, 90, 180 and 270 degrees, each sized to its text
// and in a fixed 30 × 30 mm box, printed by a report.
class TurnedLabels : public ::testing::Test {
protected:
    void SetUp() override {
        TrpBandedReport* r = rig_.Report();
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(120000);
        int i = 0;
        for (bool autoSize : {false, true})
            for (int angle : {0, 45, 90, 180, 270}) {
                const std::string name = "L" + std::to_string(i);
                auto* label = outputtest::Place<TrpLabel>(rig_, r->HeaderBand(), name, 2000 + (i % 5) * 39000,
                                                          5000 + (i / 5) * 55000, 30000, 30000);
                label->Font()->SetName("Arial");
                label->Font()->SetSize(12);
                label->SetAutoSize(autoSize);
                label->SetCaption("Giro " + std::to_string(angle));
                if (!autoSize) label->SetBounds(label->mmLeft(), label->mmTop(), 30000, 30000);
                label->SetAngle(angle);
                if (!autoSize) ASSERT_EQ(label->mmWidth(), 30000);
                labels_.push_back({angle, autoSize});
                ++i;
            }
        rig_.Print();
        pages_ = rig_.Device()->FinalPages();
        ASSERT_EQ(pages_.size(), 1u);
        for (size_t k = 0; k < labels_.size(); ++k) {
            const auto found = outputtest::CommandsOf(pages_, "L" + std::to_string(k));
            ASSERT_EQ(found.size(), 1u);
            labels_[k].Command = found[0].Command;
        }
    }
    static std::string Name(const TurnedLabel& L) {
        return std::to_string(L.Angle) + (L.AutoSize ? "° auto-sized" : "° fixed");
    }
    TrpPage* Page() const { return pages_[0]->Page.get(); }

    reporttest::ReportRig rig_;
    std::vector<const reporttest::CapturedPage*> pages_;
    std::vector<TurnedLabel> labels_;
};

TEST_F(TurnedLabels, PdfPrintsEveryTurnedLabelInsideItsOwnBox) {
    testsupport::TempDir dir;
    const std::string file = pageink::WritePdf({Page()}, dir.file("turned.pdf"));
    const QImage page = pageink::PdfPicture(file, 1, 150);
    ASSERT_FALSE(page.isNull());
    pageink::Keep(page, "pdf-turned.png");
    for (const TurnedLabel& l : labels_) {
        const QRect inside = BoxOf(l.Command, 150, 3);
        // Some ink in the box, and none in the ring around it.
        EXPECT_GT(InkCount(page, inside), 40) << Name(l);
        EXPECT_EQ(InkCount(page, BoxOf(l.Command, 150, pageink::Px(4000, 150))), InkCount(page, inside)) << Name(l);
    }
}

TEST_F(TurnedLabels, ThePreviewScalesTurnedTextWithTheZoom) {
    const pageink::ScreenShot full = pageink::ScreenPicture(Page(), zs100Percent, 100);
    struct Zoom {
        TrpZoomSettingType Setting;
        int Percentage;
        const char* Name;
    };
    for (const Zoom z : {Zoom{zsPercentage, 50, "50"}, Zoom{zsPercentage, 200, "200"}, Zoom{zsWholePage, 0, "whole"},
                         Zoom{zsPageWidth, 0, "width"}}) {
        const pageink::ScreenShot shot = pageink::ScreenPicture(Page(), z.Setting, z.Percentage);
        pageink::Keep(shot.Image, std::string("preview-turned-") + z.Name + ".png");
        const double ratio = shot.Dpi / full.Dpi;
        for (const TurnedLabel& l : labels_) {
            const QRect at100 = InkBox(full.Image, BoxOf(l.Command, full.Dpi, 2));
            const QRect inside = BoxOf(l.Command, shot.Dpi, 2);
            const QRect ink = InkBox(shot.Image, inside);
            ASSERT_FALSE(at100.isNull()) << Name(l);
            ASSERT_FALSE(ink.isNull()) << Name(l) << " at " << z.Name;
            EXPECT_NEAR(ink.width(), at100.width() * ratio, 3 + 0.1 * at100.width() * ratio) << Name(l) << " at " << z.Name;
            EXPECT_NEAR(ink.height(), at100.height() * ratio, 3 + 0.1 * at100.height() * ratio)
                << Name(l) << " at " << z.Name;
            // Labels stand 9 mm apart: a ring of 4 mm around the box is theirs.
            const int ring = pageink::Px(4000, shot.Dpi);
            EXPECT_EQ(InkCount(shot.Image, BoxOf(l.Command, shot.Dpi, ring)), InkCount(shot.Image, inside))
                << Name(l) << " leaves its box at " << z.Name;
        }
    }
}

// Clusters of inked columns of Region, parted by at least Gap blank columns:
// the words of a line as the eye separates them.
std::vector<QRect> InkRuns(const QImage& Image, const QRect& Region, int Gap) {
    std::vector<QRect> runs;
    const QRect area = Region.intersected(Image.rect());
    int blank = Gap;
    for (int x = area.left(); x <= area.right(); ++x) {
        const QRect column = InkBox(Image, QRect(x, area.top(), 1, area.height()));
        if (column.isNull()) {
            ++blank;
            continue;
        }
        if (blank >= Gap || runs.empty()) runs.push_back(column);
        else runs.back() = runs.back().united(column);
        blank = 0;
    }
    return runs;
}

// The lines of ink in Region, each cut to its ink.
std::vector<QRect> InkLineBoxes(const QImage& Image, const QRect& Region) {
    std::vector<QRect> lines;
    bool inLine = false;
    const QRect area = Region.intersected(Image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const QRect row = InkBox(Image, QRect(area.left(), y, area.width(), 1));
        if (!row.isNull() && inLine) lines.back() = lines.back().united(row);
        else if (!row.isNull()) lines.push_back(row);
        inLine = !row.isNull();
    }
    return lines;
}

int InkLines(const QImage& Image, const QRect& Region) {
    return static_cast<int>(InkLineBoxes(Image, Region).size());
}

// A report whose first page is written to PDF and drawn by the preview at
// 100 %, both kept as pictures.
struct PrintedPage {
    reporttest::ReportRig Rig;
    testsupport::TempDir Dir;
    std::string Pdf;
    QImage PdfImage;
    pageink::ScreenShot Screen;

    void Print(const std::string& Name) {
        Rig.Print();
        std::vector<TrpPage*> pages;
        for (const auto* p : Rig.Device()->FinalPages()) pages.push_back(p->Page.get());
        Pdf = pageink::WritePdf(pages, Dir.file("page.pdf"));
        PdfImage = pageink::PdfPicture(Pdf, 1, 96);
        Screen = pageink::ScreenPicture(pages[0], zs100Percent, 100);
        pageink::Keep(PdfImage, "pdf-" + Name + ".png");
        pageink::Keep(Screen.Image, "preview-" + Name + ".png");
    }
    std::vector<outputtest::Placed> Commands(const std::string& Name) {
        return outputtest::CommandsOf(Rig.Device()->FinalPages(), Name);
    }
};

TEST(PrintedRichText, AStretchingTextPrintsItsLastLine) {
    const std::string head = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 ";
    std::string words;
    for (int i = 0; i < 40; ++i) words += "palavra" + std::to_string(i) + " ";
    // The lines of ink of the text, stretching from a low box or fixed in
    // a box tall enough for all of it: the same, in the file and on screen.
    auto lines = [&](const std::string& Body, bool Stretch, std::vector<int>& Out) {
        PrintedPage p;
        TrpBandedReport* r = p.Rig.Report();
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(Stretch ? 10000 : 90000);
        auto* rich = outputtest::Place<TrpRichText>(p.Rig, r->HeaderBand(), "Rich", 5000, 2000, 80000,
                                                    Stretch ? 5000 : 80000);
        rich->SetRichText(head + Body);
        rich->SetStretch(Stretch);
        p.Print(Stretch ? "rich-stretch" : "rich-fixed");
        const auto placed = p.Commands("Rich");
        ASSERT_EQ(placed.size(), 1u) << Body;
        Out = {InkLines(p.PdfImage, BoxOf(placed[0].Command, 96, 40)),
               InkLines(p.Screen.Image, BoxOf(placed[0].Command, p.Screen.Dpi, 40))};
    };
    for (const std::string body : {std::string("Linha A\\par Linha B\\par Linha C}"),
                                   std::string("Linha A\\par Linha B\\par Linha C\\par}"), words + "fim}"}) {
        std::vector<int> stretched, fixed;
        lines(body, true, stretched);
        lines(body, false, fixed);
        EXPECT_GE(fixed[0], 3) << body;
        EXPECT_EQ(fixed[1], fixed[0]) << body;
        EXPECT_EQ(stretched, fixed) << body;
    }
}

TEST(PrintedMemo, TabsGoToTheTabStopsInEveryAlignmentOnEveryDevice) {
    PrintedPage p;
    TrpBandedReport* r = p.Rig.Report();
    r->CreateDefaultBands();
    r->HeaderBand()->SetmmHeight(100000);
    const TrpTextAlignment alignments[] = {taLeftJustified, taRightJustified, taCentered, taFullJustified};
    for (int i = 0; i < 4; ++i) {
        auto* memo = outputtest::Place<TrpMemo>(p.Rig, r->HeaderBand(), "Memo" + std::to_string(i), 5000,
                                                5000 + i * 20000, 120000, 8000);
        memo->Font()->SetName("Arial");
        memo->Font()->SetSize(10);
        memo->SetTextAlignment(alignments[i]);
        memo->SetText("Parafuso\t10\t1,50");
    }
    p.Print("memo-tabs");
    const std::string text = pageink::PdfText(p.Pdf, "-layout");
    const std::regex row("Parafuso +10 +1,50");
    EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), row), std::sregex_iterator()), 4) << text;
    for (int i = 0; i < 4; ++i) {
        const auto placed = p.Commands("Memo" + std::to_string(i));
        ASSERT_EQ(placed.size(), 1u);
        // Three words parted by the tab's room, with nothing drawn for the tab.
        const QRect inPdf = BoxOf(placed[0].Command, 96, 1);
        const QRect onScreen = BoxOf(placed[0].Command, p.Screen.Dpi, 1);
        const auto pdfRuns = InkRuns(p.PdfImage, inPdf, 8);
        const auto screenRuns = InkRuns(p.Screen.Image, onScreen, 8);
        ASSERT_EQ(pdfRuns.size(), 3u) << "alignment " << i;
        ASSERT_EQ(screenRuns.size(), 3u) << "alignment " << i;
        for (size_t k = 0; k < 3; ++k) EXPECT_NEAR(pdfRuns[k].left(), screenRuns[k].left(), 3) << i << " " << k;
    }
}

TEST(PrintedRichText, HiddenTextIsNotPrintedAndTableRowsAreTabbedLines) {
    const std::string head = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 ";
    PrintedPage p;
    TrpBandedReport* r = p.Rig.Report();
    r->CreateDefaultBands();
    r->HeaderBand()->SetmmHeight(100000);
    auto add = [&](const std::string& Name, int Top, const std::string& Body) {
        auto* rich = outputtest::Place<TrpRichText>(p.Rig, r->HeaderBand(), Name, 5000, Top, 150000, 30000);
        rich->SetRichText(head + Body + "}");
    };
    add("Hidden", 2000, "Antes {\\v oculto }depois");
    add("Plain", 12000, "Antes depois");
    add("Table", 30000,
        "\\trowd\\cellx2000\\cellx6000\\cellx8000 \\intbl C\\'f3digo\\cell Descri\\'e7\\'e3o\\cell Valor\\cell\\row "
        "\\trowd\\cellx2000\\cellx6000\\cellx8000 \\intbl 001\\cell Parafuso\\cell 1,50\\cell\\row "
        "\\pard Depois da tabela.\\par");
    p.Print("rich-hidden-table");
    auto box = [&](const std::string& Name, const QImage& Image, double Dpi) {
        return InkBox(Image, BoxOf(p.Commands(Name)[0].Command, Dpi));
    };
    for (const auto& [image, dpi] : {std::pair{p.PdfImage, 96.0}, std::pair{p.Screen.Image, p.Screen.Dpi}}) {
        // The hidden words take no room: the line inks as the one without them.
        EXPECT_NEAR(box("Hidden", image, dpi).width(), box("Plain", image, dpi).width(), 2);
        const QRect table = BoxOf(p.Commands("Table")[0].Command, dpi);
        EXPECT_EQ(InkLines(image, table), 3);
        // Each row's cells parted by at least a tab's room.
        const QRect firstRow = InkBox(image, table);
        const auto cells = InkRuns(image, QRect(table.left(), firstRow.top(), table.width(), 10), 15);
        EXPECT_EQ(cells.size(), 3u);
    }
}

// A report of the one row of Data whose detail holds a memo "Memo" in Arial
// of Size points, stretching over the pages its text takes.
TrpMemo* StretchingMemo(PrintedPage& P, reporttest::RowsTable& Data, int Size) {
    TrpBandedReport* r = P.Rig.Report();
    r->SetDataPipeline(Data.Pipeline());
    r->CreateDefaultBands();
    r->DetailBand()->SetmmHeight(6000);
    auto* memo = outputtest::Place<TrpMemo>(P.Rig, r->DetailBand(), "Memo", 5000, 0, 120000, 5000);
    memo->Font()->SetName("Arial");
    memo->Font()->SetSize(Size);
    memo->SetStretch(true);
    return memo;
}

TEST(PrintedMemo, AJustifiedParagraphCutByThePageEndIsSpreadToThePagesLastLine) {
    reporttest::RowsTable data({"Nome"}, {{Variant("Ana")}});
    PrintedPage p;
    TrpMemo* memo = StretchingMemo(p, data, 10);
    memo->SetTextAlignment(taFullJustified);
    std::string text;
    const char* words[] = {"nota", "fiscal", "de", "venda", "emitida", "em", "março", "pelo", "emitente", "ao"};
    for (int i = 0; i < 900; ++i) text += std::string(words[i % 10]) + (i % 7 == 0 ? "s " : " ");
    memo->SetText(text + "fim.");
    p.Print("memo-justified");
    const auto placed = p.Commands("Memo");
    ASSERT_GE(placed.size(), 2u);
    for (const auto& part : placed) {
        if (part.Page > 1) break;  // the pictures are of the first page
        const QRect pdfBox = BoxOf(part.Command, 96);
        const QRect screenBox = BoxOf(part.Command, p.Screen.Dpi);
        const auto inPdf = InkLineBoxes(p.PdfImage, pdfBox);
        const auto onScreen = InkLineBoxes(p.Screen.Image, screenBox);
        ASSERT_GT(inPdf.size(), 10u);
        ASSERT_EQ(onScreen.size(), inPdf.size());
        // Every line of the cut paragraph reaches the right edge, the last too.
        for (size_t i = 0; i < inPdf.size(); ++i) {
            EXPECT_NEAR(inPdf[i].right(), pdfBox.right(), 3) << "line " << i + 1 << " of " << inPdf.size();
            EXPECT_NEAR(onScreen[i].right(), screenBox.right(), 3) << "line " << i + 1 << " of " << onScreen.size();
        }
    }
}

TEST(PrintedMemo, AStretchingMemosLinesStandWhereThePdfPutsThemAtEveryZoom) {
    reporttest::RowsTable data({"Nome"}, {{Variant("Ana")}});
    PrintedPage p;
    TrpMemo* memo = StretchingMemo(p, data, 11);
    // Letters without ascenders or descenders: lines stay apart at 50 %.
    std::string text;
    const char* words[] = {"casa", "mesa", "nove", "som", "verme", "cana", "ama", "uva", "sem", "mar"};
    for (int i = 0; i < 1400; ++i) text += std::string(words[i % 10]) + (i % 40 == 39 ? "\r\n" : " ");
    memo->SetText(text + "fim");
    p.Print("memo-pitch");
    const auto placed = p.Commands("Memo");
    ASSERT_GE(placed.size(), 2u);
    std::vector<TrpPage*> pages;
    for (const auto* c : p.Rig.Device()->FinalPages()) pages.push_back(c->Page.get());
    for (const auto& part : placed) {
        auto* cmd = dynamic_cast<TrpDrawText*>(part.Command);
        ASSERT_NE(cmd, nullptr);
        const int lines = cmd->WrappedText()->Count();
        const QImage pdf = pageink::PdfPicture(p.Pdf, part.Page, 96);
        const auto inPdf = InkLineBoxes(pdf, BoxOf(cmd, 96, 2));
        ASSERT_EQ(static_cast<int>(inPdf.size()), lines) << "page " << part.Page;
        for (const pageink::Zoom& z : pageink::ReaderZooms()) {
            const pageink::ScreenShot shot = pageink::ScreenPicture(pages[static_cast<size_t>(part.Page) - 1], z.Setting,
                                                                    z.Percentage);
            pageink::Keep(shot.Image, "preview-memo-pitch-p" + std::to_string(part.Page) + "-" + z.Name + ".png");
            const double k = shot.Dpi / 96;
            const auto onScreen = InkLineBoxes(shot.Image, BoxOf(cmd, shot.Dpi, 2));
            // Every line whole inside the memo's box, at the PDF's place.
            ASSERT_EQ(onScreen.size(), inPdf.size()) << "page " << part.Page << " at " << z.Name;
            for (size_t i = 0; i < inPdf.size(); ++i) {
                EXPECT_NEAR(onScreen[i].top(), inPdf[i].top() * k, 1.5 + k) << "line " << i + 1 << " at " << z.Name;
                EXPECT_GE(onScreen[i].height(), inPdf[i].height() * k - 1.5 - k)
                    << "line " << i + 1 << " cut at " << z.Name;
            }
        }
    }
}

}  // namespace
