// Pages broken where a title asks for it, in one column or several, and
// groups kept together below a title: every text printed once, where the
// one-column report or the page's own geometry puts it, read back from the
// PDF by pdftotext and pdftoppm.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "report/rpBands.h"
#include "report/rpGroup.h"
#include "report/rpPageBreak.h"
#include "report_output/rpDBText.h"
#include "report_output/rpTextControls.h"
#include "report_output/rpVariables.h"
#include "tests/report_output/OutputTestSupport.h"
#include "tests/report_output/PageInk.h"
#include "tests/support/TestSupport.h"
#include "tests/support/report/ReportHarness.h"

namespace {

using pageink::InkCount;
using pageink::Px;

constexpr double kDpi = 72;

std::vector<std::vector<Variant>> Keys(int Count) {
    std::vector<std::vector<Variant>> rows;
    for (int i = 1; i <= Count; ++i) rows.push_back({Variant("K" + std::to_string(i)), Variant("G" + std::to_string((i - 1) / 10))});
    return rows;
}

template <class T>
T* Text(reporttest::ReportRig& Rig, TrpBand* Band, const std::string& Name, int32_t Left, int32_t Top,
        int32_t Width = 60000) {
    auto* t = outputtest::Place<T>(Rig, Band, Name, Left, Top, Width, 5000);
    t->SetAutoSize(false);
    t->Font()->SetName("Arial");
    t->Font()->SetSize(10);
    t->SetTransparent(true);
    return t;
}

// The final pages of Rig as a PDF file in Dir.
std::string Pdf(reporttest::ReportRig& Rig, testsupport::TempDir& Dir, const std::string& Name) {
    std::vector<TrpPage*> pages;
    for (const auto* p : Rig.Device()->FinalPages()) pages.push_back(p->Page.get());
    return pageink::WritePdf(pages, Dir.file(Name + ".pdf"));
}

int Occurrences(const std::string& Text, const std::string& Word) {
    const std::regex whole("(^|[^A-Za-z0-9])" + Word + "($|[^A-Za-z0-9])");
    return static_cast<int>(std::distance(std::sregex_iterator(Text.begin(), Text.end(), whole), std::sregex_iterator()));
}

// --- A title that breaks the page -------------------------------------------------

// A title whose page break (or whose NewPage) ends the first page, a page
// header naming the page at its right edge, and 120 keys down Columns
// columns. The page header stands where its design puts it on every page.
struct TitleBreak {
    reporttest::ReportRig Rig;
    reporttest::RowsTable Data{{"Key", "Group"}, Keys(120)};
    static constexpr int32_t kHeaderLeft = 140000;

    TitleBreak(int Columns, bool NewPage) {
        TrpBandedReport* r = Rig.Report();
        r->SetDataPipeline(Data.Pipeline());
        r->SetColumns(Columns);
        r->CreateDefaultBands();
        r->CreateBand(btTitle);
        r->HeaderBand()->SetmmHeight(10000);
        auto* page = Text<TrpSystemVariable>(Rig, r->HeaderBand(), "PageText", kHeaderLeft, 2000, 57000);
        page->SetVarType(vtPageNoDesc);
        page->SetTextAlignment(taRightJustified);
        TrpTitleBand* title = r->TitleBand();
        title->SetmmHeight(30000);
        Text<TrpLabel>(Rig, title, "Before", 0, 1000)->SetCaption("Antes da quebra");
        if (NewPage) {
            title->SetNewPage(true);
        } else {
            outputtest::Place<TrpPageBreak>(Rig, title, "Break", 0, 10000, 50000, 3000);
            Text<TrpLabel>(Rig, title, "After", 0, 15000)->SetCaption("Depois da quebra");
        }
        r->DetailBand()->SetmmHeight(6000);
        auto* key = Text<TrpDBText>(Rig, r->DetailBand(), "KeyText", 1000, 500, 30000);
        key->SetDataPipeline(Data.Pipeline());
        key->SetDataField("Key");
        // Groups of ten keys: whole groups went missing with the text.
        auto* group = new TrpGroup(Rig.Owner());
        group->SetName("KeyGroup");
        group->SetReport(r);
        group->SetDataPipeline(Data.Pipeline());
        group->SetBreakName("Group");
        group->HeaderBand()->SetmmHeight(6000);
        auto* name = Text<TrpDBText>(Rig, group->HeaderBand(), "GroupText", 0, 500, 30000);
        name->SetDataPipeline(Data.Pipeline());
        name->SetDataField("Group");
        Rig.Print();
    }

    std::vector<const reporttest::CapturedPage*> Pages() const { return Rig.Device()->FinalPages(); }
};

// Where the title's and the header's texts stand: page, left and top.
std::map<std::string, std::vector<std::string>> PageTop(const TitleBreak& T) {
    std::map<std::string, std::vector<std::string>> out;
    for (const char* name : {"Before", "After", "PageText"})
        for (const auto& placed : outputtest::CommandsOf(T.Pages(), name))
            out[name].push_back(std::to_string(placed.Page) + "@" + std::to_string(placed.Command->Left()) + "," +
                                std::to_string(placed.Command->Top()));
    return out;
}

TEST(TitleBreaks, EveryColumnCountPrintsAllTheTextWithTheHeaderInItsPlace) {
    testsupport::TempDir dir;
    for (bool newPage : {false, true}) {
        const TitleBreak one(1, newPage);
        const auto expected = PageTop(one);
        ASSERT_EQ(expected.at("Before").size(), 1u);
        ASSERT_EQ(expected.at("Before")[0].substr(0, 2), "1@");
        for (int columns : {2, 3}) {
            SCOPED_TRACE(std::to_string(columns) + " columns, " + (newPage ? "title on a page of its own" : "page break"));
            TitleBreak t(columns, newPage);
            // The title and the header as one column has them: the first page
            // holds the title up to its break, the header never moves right
            // (the columns only make fewer pages).
            auto placed = PageTop(t);
            ASSERT_FALSE(placed["PageText"].empty());
            ASSERT_LE(placed["PageText"].size(), expected.at("PageText").size());
            placed["PageText"].resize(expected.at("PageText").size(), "(no page)");
            auto model = expected;
            for (std::size_t k = PageTop(t).at("PageText").size(); k < model["PageText"].size(); ++k)
                model["PageText"][k] = "(no page)";
            EXPECT_EQ(placed, model);
            const std::string file = Pdf(t.Rig, dir, "title" + std::to_string(columns) + std::to_string(newPage));
            const std::string text = pageink::PdfText(file);
            const int pageCount = static_cast<int>(t.Pages().size());
            for (int k = 1; k <= 120; ++k) EXPECT_EQ(Occurrences(text, "K" + std::to_string(k)), 1) << "K" << k;
            for (int g = 0; g < 12; ++g) EXPECT_GE(Occurrences(text, "G" + std::to_string(g)), 1) << "G" << g;
            EXPECT_EQ(Occurrences(text, "Antes da quebra"), 1);
            EXPECT_EQ(Occurrences(text, "Depois da quebra"), newPage ? 0 : 1);
            for (int n = 1; n <= pageCount; ++n) {
                // The header's page number inks inside the header's design box.
                const QImage image = pageink::PdfPicture(file, n, static_cast<int>(kDpi));
                pageink::Keep(image, "title-break-" + std::to_string(columns) + (newPage ? "-newpage" : "") + "-p" +
                                         std::to_string(n) + ".png");
                const auto header = outputtest::CommandsOf(t.Pages(), "PageText");
                bool onPage = false;
                for (const auto& h : header) onPage |= h.Page == n;
                if (!onPage) continue;
                const int32_t top = t.Rig.Report()->PrinterSetup()->PageDef()->mmMarginTop();
                const QRect box(Px(6350 + TitleBreak::kHeaderLeft, kDpi), 0, Px(57000, kDpi),
                                Px(top + 60000, kDpi));
                EXPECT_GT(InkCount(image, box), 20) << "page " << n;
                EXPECT_EQ(Occurrences(text, "Página " + std::to_string(n)), 1) << "page " << n;
            }
        }
    }
}

// --- A group kept together below a tall title -------------------------------------

// A title Title thousandths tall, then groups of ten 10 mm rows under a
// 10 mm header, each kept together, down Columns columns; no page header or
// footer.
struct KeptBelowTitle {
    reporttest::ReportRig Rig;
    reporttest::RowsTable Data{{"Key", "Group"}, Keys(30)};

    explicit KeptBelowTitle(int32_t Title, int Columns = 1) {
        TrpBandedReport* r = Rig.Report();
        r->SetDataPipeline(Data.Pipeline());
        r->SetColumns(Columns);
        r->CreateBand(btTitle);
        r->CreateBand(btDetail);
        TrpTitleBand* title = r->TitleBand();
        title->SetmmHeight(Title);
        Text<TrpLabel>(Rig, title, "TitleText", 0, 0)->SetCaption("Relatório de teste");
        auto* group = new TrpGroup(Rig.Owner());
        group->SetName("KeyGroup");
        group->SetReport(r);
        group->SetDataPipeline(Data.Pipeline());
        group->SetBreakName("Group");
        group->SetKeepTogether(true);
        group->HeaderBand()->SetmmHeight(10000);
        group->FooterBand()->SetmmHeight(0);
        auto* name = Text<TrpDBText>(Rig, group->HeaderBand(), "GroupText", 0, 1000);
        name->SetDataPipeline(Data.Pipeline());
        name->SetDataField("Group");
        r->DetailBand()->SetmmHeight(10000);
        auto* key = Text<TrpDBText>(Rig, r->DetailBand(), "KeyText", 20000, 1000, 30000);
        key->SetDataPipeline(Data.Pipeline());
        key->SetDataField("Key");
        Rig.Print();
    }
};

TEST(KeptGroups, AGroupRightBelowATallTitleMovesWholeToTheNextPage) {
    // The printable page is 284.3 mm: a group needs 110 mm.
    const int32_t top = 6350;
    const int32_t foot = 297000 - 6350;
    testsupport::TempDir dir;
    for (int32_t titleHeight : {200000, 100000}) {
        SCOPED_TRACE("title of " + std::to_string(titleHeight / 1000) + " mm");
        KeptBelowTitle t(titleHeight);
        // A model of the pages: each group goes where the page has room for all
        // of it, else at the top of the next page.
        std::map<std::string, std::pair<int, int32_t>> expected;  // key: page, row top
        int page = 1;
        int32_t y = top + titleHeight;
        for (int g = 0; g < 3; ++g) {
            if (y + 110000 > foot) {
                ++page;
                y = top;
            }
            y += 10000;
            for (int k = 1; k <= 10; ++k, y += 10000) expected["K" + std::to_string(g * 10 + k)] = {page, y};
        }
        const std::string file = Pdf(t.Rig, dir, "kept" + std::to_string(titleHeight));
        const int pages = static_cast<int>(t.Rig.Device()->FinalPages().size());
        std::map<int, QImage> images;
        for (int n = 1; n <= pages; ++n) {
            images[n] = pageink::PdfPicture(file, n, static_cast<int>(kDpi));
            pageink::Keep(images[n], "kept-below-title-" + std::to_string(titleHeight / 1000) + "-p" +
                                         std::to_string(n) + ".png");
        }
        ASSERT_EQ(pages, page);
        for (const auto& [key, where] : expected) {
            const auto placed = outputtest::CommandsOf(t.Rig.Device()->FinalPages(), "KeyText");
            // Ink of the key's row on its page, none at that place elsewhere.
            const QRect row(Px(6350 + 20000, kDpi), Px(where.second + 1000, kDpi), Px(30000, kDpi), Px(5000, kDpi));
            for (int n = 1; n <= page; ++n) {
                const bool here = n == where.first;
                bool drawn = false;
                for (const auto& p : placed)
                    if (p.Page == n && p.Command->Top() == where.second + 1000 &&
                        dynamic_cast<TrpDrawText*>(p.Command)->Text() == key)
                        drawn = true;
                EXPECT_EQ(drawn, here) << key << " on page " << n;
                if (here) {
                    EXPECT_GT(InkCount(images[n], row), 5) << key << " on page " << n;
                }
            }
        }
    }
}

TEST(KeptGroups, DownColumnsAGroupBelowATallTitleStaysInOneColumn) {
    // The printable page is 284.3 mm: a group needs 110 mm, a column is a
    // third or a half of the 197.3 mm printable width.
    const int32_t top = 6350;
    const int32_t foot = 297000 - 6350;
    testsupport::TempDir dir;
    for (int columns : {2, 3}) {
        for (int32_t titleHeight : {100000, 150000, 180000, 200000, 220000}) {
            SCOPED_TRACE(std::to_string(columns) + " columns, title of " + std::to_string(titleHeight / 1000) + " mm");
            KeptBelowTitle t(titleHeight, columns);
            const int32_t width = 197300 / columns;
            // A model of the columns: the columns of the first page start under
            // the title. A group goes where its column has room for all of it;
            // else to the next column when this one holds a group, and to the
            // next page when it holds none (every column of the page starts as
            // low).
            std::map<std::string, std::string> expected;  // key: page, column, row top
            int page = 1, column = 0;
            int32_t columnTop = top + titleHeight, y = columnTop;
            for (int g = 0; g < 3; ++g) {
                if (y + 110000 > foot) {
                    if (y > columnTop && column + 1 < columns) {
                        ++column;
                    } else {
                        ++page;
                        column = 0;
                        columnTop = top;
                    }
                    y = columnTop;
                }
                y += 10000;
                for (int k = 1; k <= 10; ++k, y += 10000)
                    expected["K" + std::to_string(g * 10 + k)] = std::to_string(page) + " c" + std::to_string(column) +
                                                                  " @" + std::to_string(y + 1000);
            }
            std::map<std::string, std::string> placed;
            for (const auto& p : outputtest::CommandsOf(t.Rig.Device()->FinalPages(), "KeyText"))
                placed[dynamic_cast<TrpDrawText*>(p.Command)->Text()] +=
                    std::to_string(p.Page) + " c" + std::to_string((p.Command->Left() - 6350) / width) + " @" +
                    std::to_string(p.Command->Top());
            EXPECT_EQ(placed, expected);
            EXPECT_EQ(static_cast<int>(t.Rig.Device()->FinalPages().size()), page);
            // Each page asked for alone places its keys as the whole run did.
            for (int n = page; n >= 1; --n) {
                std::map<std::string, std::string> run, alone;
                for (const auto& p : outputtest::CommandsOf(t.Rig.Device()->FinalPages(), "KeyText"))
                    if (p.Page == n)
                        run[dynamic_cast<TrpDrawText*>(p.Command)->Text()] =
                            std::to_string(p.Command->Left()) + "," + std::to_string(p.Command->Top());
                t.Rig.PrintPage(n);
                const auto& again = t.Rig.Device()->Pages().back();
                for (int i = 0; i < again.Page->DrawCommandCount(); ++i)
                    if (again.Makers[static_cast<std::size_t>(i)].second == "KeyText")
                        alone[dynamic_cast<TrpDrawText*>(again.Page->DrawCommands(i))->Text()] =
                            std::to_string(again.Page->DrawCommands(i)->Left()) + "," +
                            std::to_string(again.Page->DrawCommands(i)->Top());
                EXPECT_EQ(alone, run) << "page " << n << " alone";
            }
            if (titleHeight == 200000) {
                const std::string file = Pdf(t.Rig, dir, "kept-columns" + std::to_string(columns));
                for (int n = 1; n <= page; ++n)
                    pageink::Keep(pageink::PdfPicture(file, n, static_cast<int>(kDpi)),
                                  "kept-below-title-" + std::to_string(columns) + "-columns-p" + std::to_string(n) +
                                      ".png");
            }
        }
    }
}

}  // namespace
