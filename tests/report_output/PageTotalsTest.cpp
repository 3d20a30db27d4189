// Page, column and running totals against a model of the printed pages:
// which rows each page (and each column) shows is read from the pages' own
// draw commands, and every footer figure is summed again from that model.
// Pages that end with a group footer, kept groups, one and two passes and
// columns down and across the page, where the record read to find a break
// is the one most easily counted on the wrong page.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "report/rpBands.h"
#include "report/rpGroup.h"
#include "report_output/rpDBText.h"
#include "report_output/rpVariables.h"
#include "tests/report_output/FooterTotals.h"
#include "tests/report_output/OutputTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

struct Layout {
    const char* Name;
    int Rows;
    int GroupSize;
    int Columns;
    bool TwoPass;
    bool KeepTogether;
    bool DynamicDetail;
    bool Across = false;  // the columns filled left to right, row by row
};

// Valor of row I (from 0): no two neighbours alike, so a row counted on
// the wrong page shows in every sum.
int ValueOf(int I) { return (I * 37) % 101 + 1; }

// Rows of Valor and Grupo; a group on Grupo with a header and a footer;
// the page footer holds a running sum and count (totals without a reset
// group) and a page sum and count (variables reset at the page end); in
// columns the column footer holds the same per column.
struct PageTotalsRig {
    ReportRig Rig;
    std::unique_ptr<RowsTable> Data;
    TrpGroup* Group = nullptr;

    explicit PageTotalsRig(const Layout& L) {
        std::vector<std::vector<Variant>> rows;
        for (int i = 0; i < L.Rows; ++i) rows.push_back({Variant(ValueOf(i)), Variant("G" + std::to_string(i / L.GroupSize))});
        Data = std::make_unique<RowsTable>(std::vector<std::string>{"Valor", "Grupo"}, rows);
        TrpBandedReport* r = Rig.Report();
        r->SetDataPipeline(Data->Pipeline());
        r->SetColumns(L.Columns);
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(10000);
        r->FooterBand()->SetmmHeight(10000);
        r->DetailBand()->SetmmHeight(6000);
        if (L.DynamicDetail) r->DetailBand()->SetPrintHeight(phDynamic);
        if (L.Across) r->DetailBand()->SetColumnTraversal(ctLeftToRight);
        if (L.TwoPass) r->SetPassSetting(psTwoPass);
        Group = new TrpGroup(Rig.Owner());
        Group->SetName("Grupo");
        Group->SetReport(r);
        Group->SetDataPipeline(Data->Pipeline());
        Group->SetBreakName("Grupo");
        Group->SetKeepTogether(L.KeepTogether);
        Group->HeaderBand()->SetmmHeight(6000);
        Group->FooterBand()->SetmmHeight(6000);
        Field<TrpDBText>(r->DetailBand(), "Valor", 0);
        Field<TrpDBCalc>(Group->FooterBand(), "TotalGrupo", 0)->SetResetGroup(Group);
        Totals(r->FooterBand(), "Pagina", vePageEnd);
        if (L.Columns > 1) {
            r->CreateBand(btColumnFooter);
            r->ColumnFooterBand()->SetmmHeight(6000);
            Totals(r->ColumnFooterBand(), "Coluna", veColumnEnd);
        }
        r->CreateBand(btSummary);
        r->SummaryBand()->SetmmHeight(6000);
        Field<TrpDBCalc>(r->SummaryBand(), "TotalGeral", 0);
        Rig.Print();
    }

    template <typename T>
    T* Field(TrpBand* Band, const std::string& Name, int32_t Left) {
        auto* c = outputtest::Place<T>(Rig, Band, Name, Left, 0, 14000, 5000);
        c->SetDataPipeline(Data->Pipeline());
        c->SetDataField("Valor");
        return c;
    }

    void Totals(TrpBand* Band, const std::string& Where, TrpVarEventType Reset) {
        outputtest::FooterTotals(Rig, Data->Pipeline(), Band, Where, Reset);
    }

    // Every text Component drew: page (from 1), column (from the band's
    // left edge, the detail's columns numbered left to right) and text.
    struct Drawn {
        int Page;
        int32_t Left;
        std::string Text;
    };
    std::vector<Drawn> Texts(const std::string& Component) const {
        std::vector<Drawn> out;
        const auto pages = Rig.Device()->FinalPages();
        for (std::size_t p = 0; p < pages.size(); ++p)
            for (int i = 0; i < pages[p]->Page->DrawCommandCount(); ++i)
                if (pages[p]->Makers[static_cast<std::size_t>(i)].second == Component)
                    if (auto* t = dynamic_cast<const TrpDrawText*>(pages[p]->Page->DrawCommands(i)))
                        out.push_back({static_cast<int>(p) + 1, t->Left(), t->Text()});
        return out;
    }
};

// What the pages show: the rows on each page and in each column of it.
struct PrintedModel {
    std::map<int32_t, int> columnOf;  // the left edge of a column's rows
    std::map<std::pair<int, int>, std::vector<long>> rows;  // (page, column)
    int pages = 0;

    // Columns are told apart by the left edges of the rows and of the column
    // footers (Footers; a column across the page may hold no row at all).
    PrintedModel(const std::vector<PageTotalsRig::Drawn>& Rows, const std::vector<PageTotalsRig::Drawn>& Footers,
                 int Pages)
        : pages(Pages) {
        for (const auto& r : Rows) columnOf[r.Left] = 0;
        for (const auto& f : Footers) columnOf[f.Left] = 0;
        int c = 0;
        for (auto& [left, column] : columnOf) column = c++;
        for (const auto& r : Rows) rows[{r.Page, columnOf[r.Left]}].push_back(std::stol(r.Text));
    }
    int Column(int32_t Left) const {
        const auto it = columnOf.find(Left);
        return it == columnOf.end() ? -1 : it->second;
    }
    // Sum and count of the rows from the report's start up to page P and
    // column C (all of page P with C < 0), or of that page (or column) alone.
    std::pair<long, long> Upto(int P, int C) const {
        long sum = 0, count = 0;
        for (const auto& [at, values] : rows)
            if (at.first < P || (at.first == P && (C < 0 || at.second <= C)))
                for (long v : values) sum += v, ++count;
        return {sum, count};
    }
    // The first column whose footer prints on page P (the footers print in
    // column order); -1 without rows.
    int FirstFooterColumn(int P) const {
        for (const auto& [at, values] : rows)
            if (at.first == P) return at.second;
        return -1;
    }
    std::pair<long, long> Alone(int P, int C) const {
        long sum = 0, count = 0;
        for (const auto& [at, values] : rows)
            if (at.first == P && (C < 0 || at.second == C))
                for (long v : values) sum += v, ++count;
        return {sum, count};
    }
};

// Prints L and checks every footer figure against the rows that print
// where it stands.
void CheckFooters(const Layout& L) {
    PageTotalsRig t(L);
    const int pages = static_cast<int>(t.Rig.Device()->FinalPages().size());
    const auto drawnRows = t.Texts("Valor");
    // Every row prints once: the model holds the whole report.
    ASSERT_EQ(drawnRows.size(), static_cast<std::size_t>(L.Rows));
    ASSERT_GE(pages, 3);
    const PrintedModel model(drawnRows, t.Texts("AcumuladoColuna"), pages);
    std::ostringstream wrong;
    int figures = 0, wrongFigures = 0;
    std::set<int> wrongPages;
    auto check = [&](const std::string& Name, int Page, int Column, long Expected, const std::string& Text) {
        ++figures;
        if (Text == std::to_string(Expected)) return;
        ++wrongFigures;
        wrongPages.insert(Page);
        if (wrongFigures <= 6)
            wrong << "  " << Name << " página " << Page << (Column >= 0 ? " coluna " + std::to_string(Column + 1) : "")
                  << ": " << Text << " em vez de " << Expected << "\n";
    };
    auto checkAll = [&](const std::string& Where, bool PerColumn) {
        const std::map<std::string, int> expectedFigures{{"Acumulado", 0}, {"Linhas", 1}, {"Soma", 2}, {"Quantas", 3}};
        for (const auto& [name, kind] : expectedFigures) {
            const auto printed = t.Texts(name + Where);
            if (!PerColumn) {
                EXPECT_EQ(printed.size(), static_cast<std::size_t>(pages)) << name + Where;
            }
            for (const auto& d : printed) {
                const int offset = kind * 15000;
                const int column = PerColumn ? model.Column(d.Left - offset) : -1;
                if (PerColumn) {
                    EXPECT_GE(column, 0) << name + Where << " página " << d.Page;
                }
                // Across the page every column's footer prints at the
                // page's end, after all the page's rows: a running figure
                // stands at the page's end in each, and a figure reset at
                // each column's end has the page's rows in the first
                // column's footer and none since in the others.
                const bool across = PerColumn && L.Across;
                const auto upto = model.Upto(d.Page, across ? -1 : column);
                auto alone = model.Alone(d.Page, across ? -1 : column);
                if (across && column != model.FirstFooterColumn(d.Page)) alone = {0, 0};
                const long expected = kind == 0 ? upto.first : kind == 1 ? upto.second : kind == 2 ? alone.first : alone.second;
                check(name + Where, d.Page, column, expected, d.Text);
            }
        }
    };
    checkAll("Pagina", false);
    if (L.Columns > 1) {
        // Each column that holds rows closes with its footer.
        EXPECT_GE(t.Texts("AcumuladoColuna").size(), model.rows.size());
        checkAll("Coluna", true);
    }
    EXPECT_EQ(wrongFigures, 0) << wrongFigures << " de " << figures << " números errados em " << wrongPages.size()
                               << " de " << pages << " páginas:\n"
                               << wrong.str();
    // The group and grand totals count every row of theirs once.
    std::vector<std::string> groupSums;
    long grand = 0;
    for (int g = 0; g * L.GroupSize < L.Rows; ++g) {
        long sum = 0;
        for (int i = g * L.GroupSize; i < std::min(L.Rows, (g + 1) * L.GroupSize); ++i) sum += ValueOf(i);
        groupSums.push_back(std::to_string(sum));
        grand += sum;
    }
    std::vector<std::string> printedGroups;
    for (const auto& d : t.Texts("TotalGrupo")) printedGroups.push_back(d.Text);
    EXPECT_EQ(printedGroups, groupSums);
    const auto printedGrand = t.Texts("TotalGeral");
    ASSERT_EQ(printedGrand.size(), 1U);
    EXPECT_EQ(printedGrand[0].Text, std::to_string(grand));
}

TEST(PageTotals, EveryPageAndColumnFooterFigureSumsTheRowsThatPrintOnItsPageOrColumn) {
    const Layout layouts[] = {
        {"grupos de 3", 300, 3, 1, false, false, false},
        {"grupos de 3, duas passagens", 300, 3, 1, true, false, false},
        {"grupos de 1", 120, 1, 1, false, false, false},
        {"grupos de 5, detalhe dinâmico", 200, 5, 1, false, false, true},
        {"um grupo só, detalhe dinâmico", 150, 150, 1, false, false, true},
        {"grupos de 7 mantidos juntos", 600, 7, 1, false, true, false},
        {"grupos de 6 mantidos juntos, duas passagens", 500, 6, 1, true, true, false},
        {"grupos de 3 em 2 colunas", 400, 3, 2, false, false, false},
        {"grupos de 4 em 3 colunas", 500, 4, 3, false, false, false},
        {"grupos de 3 em 2 colunas, duas passagens", 300, 3, 2, true, false, false},
        {"grupos de 5 mantidos juntos em 2 colunas", 500, 5, 2, false, true, false},
        {"grupos de 4 mantidos juntos em 3 colunas, duas passagens", 500, 4, 3, true, true, false},
    };
    for (const Layout& L : layouts) {
        SCOPED_TRACE(L.Name);
        CheckFooters(L);
    }
}

// Across the page a page that ends with a group's footer has read the next
// group's first row: the column footers, printed at the page's end, leave
// it to the next page as the page footer does.
TEST(PageTotals, ColumnFootersAcrossThePageCountOnlyTheRowsOfTheirPage) {
    const Layout layouts[] = {
        {"grupos de 3 em 2 colunas", 400, 3, 2, false, false, false, true},
        {"grupos de 3 mantidos juntos em 2 colunas", 400, 3, 2, false, true, false, true},
        {"grupos de 5 em 2 colunas, duas passagens", 400, 5, 2, true, false, false, true},
        {"grupos de 4 mantidos juntos em 2 colunas, duas passagens", 400, 4, 2, true, true, false, true},
        {"grupos de 4 em 3 colunas", 500, 4, 3, false, false, false, true},
        {"grupos de 7 mantidos juntos em 3 colunas", 600, 7, 3, false, true, false, true},
        {"grupos de 2 em 3 colunas, duas passagens", 300, 2, 3, true, false, false, true},
        {"grupos de 5 mantidos juntos em 3 colunas, duas passagens", 500, 5, 3, true, true, false, true},
        {"grupos de 1 em 2 colunas", 200, 1, 2, false, false, false, true},
    };
    for (const Layout& L : layouts) {
        SCOPED_TRACE(L.Name);
        CheckFooters(L);
    }
}


}  // namespace
