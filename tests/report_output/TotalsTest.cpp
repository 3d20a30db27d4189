// Database texts and totals over a grouped listing: the field formatted by
// its display format, blanks, repeated values left out across a page
// break, each kind of total per group, a footer total when the last record
// moves to the next page, look-ahead totals in the group header, and pages
// made again from the page cache.
#include <gtest/gtest.h>

#include <map>

#include "report/rpBands.h"
#include "report/rpGeneration.h"
#include "report/rpGroup.h"
#include "report/rpMainReport.h"
#include "report/rpSubReport.h"
#include "report_output/rpDBText.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

// Rows of Grupo (text) and Valor (integer); a detail of DetailHeight, a
// group on Grupo with a header and footer of 6 mm.
struct TotalsRig {
    ReportRig Rig;
    std::unique_ptr<RowsTable> Data;
    TrpGroup* Group = nullptr;

    TotalsRig(const std::vector<std::pair<std::string, int>>& Rows, int32_t DetailHeight = 6000) {
        std::vector<std::vector<Variant>> rows;
        for (const auto& [g, v] : Rows) rows.push_back({Variant(v), Variant(g)});
        if (rows.empty()) rows.push_back({Variant(0), Variant("")});
        Data = std::make_unique<RowsTable>(std::vector<std::string>{"Valor", "Grupo"}, rows);
        if (Rows.empty()) Data->Table()->Delete();
        TrpBandedReport* r = Rig.Report();
        r->SetDataPipeline(Data->Pipeline());
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(10000);
        r->FooterBand()->SetmmHeight(10000);
        r->DetailBand()->SetmmHeight(DetailHeight);
        Group = new TrpGroup(Rig.Owner());
        Group->SetName("GrupoX");
        Group->SetReport(r);
        Group->SetDataPipeline(Data->Pipeline());
        Group->SetBreakName("Grupo");
        Group->HeaderBand()->SetmmHeight(6000);
        Group->FooterBand()->SetmmHeight(6000);
    }

    template <typename T>
    T* Add(TrpBand* Band, const std::string& Name, const std::string& Field, int32_t Left = 0) {
        auto* c = new T(Rig.Owner());
        c->SetName(Name);
        c->SetUserName(Name);
        c->SetBand(Band);
        c->SetBounds(Left, 0, 30000, 5000);
        c->SetDataPipeline(Data->Pipeline());
        c->SetDataField(Field);
        return c;
    }

    TrpDBCalc* Total(const std::string& Name, TrpDBCalcType Type, TrpBand* Band = nullptr, int32_t Left = 0) {
        auto* c = Add<TrpDBCalc>(Band != nullptr ? Band : Group->FooterBand(), Name, "Valor", Left);
        c->SetDBCalcType(Type);
        c->SetResetGroup(Group);
        return c;
    }

    // The texts a component printed, page by page, in order.
    std::vector<std::pair<int, std::string>> Printed(const std::string& Component) const {
        std::vector<std::pair<int, std::string>> out;
        for (const CapturedPage* p : Rig.Device()->FinalPages())
            for (int i = 0; i < p->Page->DrawCommandCount(); ++i)
                if (p->Makers[static_cast<std::size_t>(i)].second == Component)
                    if (auto* t = dynamic_cast<const TrpDrawText*>(p->Page->DrawCommands(i)))
                        out.emplace_back(p->Page->AbsolutePageNo(), t->Text());
        return out;
    }
    std::vector<std::string> Texts(const std::string& Component) const {
        std::vector<std::string> out;
        for (const auto& [page, text] : Printed(Component)) out.push_back(text);
        return out;
    }
};

using Texts = std::vector<std::string>;

TEST(Totals, EachKindOfTotalRestartsAtTheGroupBreak) {
    TotalsRig t({{"A", 5}, {"A", 3}, {"A", 7}, {"B", 10}, {"B", 4}});
    t.Total("Soma", dcSum, nullptr, 0);
    t.Total("Contagem", dcCount, nullptr, 30000);
    t.Total("Minimo", dcMinimum, nullptr, 60000);
    t.Total("Maximo", dcMaximum, nullptr, 90000);
    t.Total("Media", dcAverage, nullptr, 120000)->SetDisplayFormat("0.00");
    t.Rig.Print();
    EXPECT_EQ(t.Texts("Soma"), (Texts{"15", "14"}));
    EXPECT_EQ(t.Texts("Contagem"), (Texts{"3", "2"}));
    EXPECT_EQ(t.Texts("Minimo"), (Texts{"3", "4"}));
    EXPECT_EQ(t.Texts("Maximo"), (Texts{"7", "10"}));
    EXPECT_EQ(t.Texts("Media"), (Texts{"5,00", "7,00"}));
}

TEST(Totals, ARunningTotalInTheDetailGrowsRecordByRecord) {
    TotalsRig t({{"A", 2}, {"A", 3}, {"B", 4}});
    t.Total("Acumulado", dcSum, t.Rig.Report()->DetailBand());
    t.Add<TrpDBText>(t.Rig.Report()->DetailBand(), "ValorTexto", "Valor", 40000);
    t.Rig.Print();
    EXPECT_EQ(t.Texts("ValorTexto"), (Texts{"2", "3", "4"}));
    EXPECT_EQ(t.Texts("Acumulado"), (Texts{"2", "5", "4"}));
}

TEST(Totals, AnAverageOverNoRecordsPrintsZeroAndBlankWhenZeroLeavesItOut) {
    TrpDBCalc avg(nullptr);
    avg.SetDBCalcType(dcAverage);
    avg.Init();
    EXPECT_EQ(avg.GetText(), "0");
    avg.SetBlankWhenZero(true);
    EXPECT_EQ(avg.GetText(), "");
    // A minimum starts from the first value after a reset, not from 0.
    TrpDBCalc low(nullptr);
    low.SetDBCalcType(dcMinimum);
    low.Reset();
    EXPECT_EQ(low.GetText(), "0");
}

TEST(Totals, DisplayFormatsGoThroughTheBrazilianNumberSettings) {
    TotalsRig t({{"A", 1234}, {"A", 0}});
    auto* padded = t.Add<TrpDBText>(t.Rig.Report()->DetailBand(), "Padded", "Valor");
    padded->SetDisplayFormat("000,000");
    auto* blank = t.Add<TrpDBText>(t.Rig.Report()->DetailBand(), "Blank", "Valor", 40000);
    blank->SetBlankWhenZero(true);
    auto* text = t.Add<TrpDBText>(t.Rig.Report()->DetailBand(), "AsText", "Grupo", 80000);
    text->SetBlankWhenZero(true);
    t.Rig.Print();
    EXPECT_EQ(t.Texts("Padded"), (Texts{"001.234", "000.000"}));
    EXPECT_EQ(t.Texts("Blank"), (Texts{"1234", ""}));
    EXPECT_EQ(t.Texts("AsText"), (Texts{"A", "A"}));
}

TEST(Totals, BlankWhenZeroBlanksANumberButNotTheTextZero) {
    RowsTable data({"Texto"}, {{Variant("0")}});
    ReportRig rig;
    rig.Report()->SetDataPipeline(data.Pipeline());
    rig.Report()->CreateDefaultBands();
    auto* t = new TrpDBText(rig.Owner());
    t->SetBand(rig.Report()->DetailBand());
    t->SetDataPipeline(data.Pipeline());
    t->SetDataField("Texto");
    t->SetBlankWhenZero(true);
    std::string printed = "?";
    t->OnFormat = [&](TObject*, const std::string&, TrpDataType, const Variant&, std::string& Text) {
        printed = Text;
    };
    rig.Print();
    EXPECT_EQ(printed, "0");
}

// The text is formatted once per record and reused for the draw command;
// whatever it hangs on may change between the two.
TEST(Totals, ADatabaseTextAskedAgainFollowsEveryChangeSinceItsLastText) {
    RowsTable data({"Valor"}, {{Variant(1234)}, {Variant(1234)}, {Variant(0)}});
    ReportRig rig;
    TrpDBText text(nullptr);
    text.SetDataPipeline(data.Pipeline());
    text.SetDataField("Valor");
    data.Pipeline()->Open();
    data.Pipeline()->First();
    EXPECT_EQ(text.GetText(), "1234");
    text.SetDisplayFormat("#,##0.00");
    EXPECT_EQ(text.GetText(), "1.234,00");
    FormatSettings.ThousandSeparator = '_';
    EXPECT_EQ(text.GetText(), "1_234,00");
    FormatSettings.ThousandSeparator = '.';
    data.Table()->Edit();
    data.Table()->FieldByName("Valor")->SetAsInteger(4321);
    data.Table()->Post();
    EXPECT_EQ(text.GetText(), "4.321,00");
    data.Pipeline()->Next();
    EXPECT_EQ(text.GetText(), "1.234,00");
    data.Pipeline()->Next();
    EXPECT_EQ(text.GetText(), "0,00");
    text.SetBlankWhenZero(true);
    EXPECT_EQ(text.GetText(), "");
    text.SetBlankWhenZero(false);
    EXPECT_EQ(text.GetText(), "0,00");
    // The handler hears every request, with the text of an empty format.
    int heard = 0;
    text.OnFormat = [&](TObject*, const std::string&, TrpDataType, const Variant&, std::string& Text) {
        ++heard;
        Text += "!";
    };
    EXPECT_EQ(text.GetText(), "0!");
    EXPECT_EQ(text.GetText(), "0!");
    EXPECT_EQ(heard, 2);
    text.OnFormat = nullptr;
    EXPECT_EQ(text.GetText(), "0,00");
    data.Pipeline()->Close();
}

// The same text remembered between requests must follow the table however
// it changed: moved or edited with the controls off (no link hears it), a
// lookup pointing the fields at another record meanwhile, another field.
TEST(Totals, ADatabaseTextFollowsTheTableWhateverMovedOrChangedIt) {
    RowsTable data({"Nome", "Valor"}, {{Variant("Ana"), Variant(1)}, {Variant("Bruno"), Variant(2)}});
    TrpDBText text(nullptr);
    text.SetDataPipeline(data.Pipeline());
    text.SetDataField("Nome");
    data.Pipeline()->Open();
    data.Pipeline()->First();
    TmtMemTable* table = data.Table();
    ASSERT_EQ(text.GetText(), "Ana");
    table->DisableControls();
    table->Next();
    EXPECT_EQ(text.GetText(), "Bruno") << "moved with the controls off";
    table->Edit();
    table->FieldByName("Nome")->SetAsString("Bia");
    EXPECT_EQ(text.GetText(), "Bia") << "edited, not yet posted";
    table->Cancel();
    EXPECT_EQ(text.GetText(), "Bruno") << "edit cancelled";
    table->EnableControls();
    EXPECT_EQ(table->Lookup("Valor", Variant(1), "Nome").AsString(), "Ana");
    EXPECT_EQ(text.GetText(), "Bruno") << "after a lookup of another record";
    table->Prior();
    text.SetDataField("Valor");
    EXPECT_EQ(text.GetText(), "1");
    data.Pipeline()->Close();
}

TEST(Totals, RepeatedValuesAreLeftOutAndReprintedAtTheTopOfTheNextPageWhenAsked) {
    // 50 rows of A then one B; the detail is 6 mm, so A runs over a page.
    std::vector<std::pair<std::string, int>> rows(50, {"A", 1});
    rows.push_back({"B", 1});
    for (bool reprint : {false, true}) {
        TotalsRig t(rows);
        auto* g = t.Add<TrpDBText>(t.Rig.Report()->DetailBand(), "GrupoTexto", "Grupo");
        g->SetSuppressRepeatedValues(true);
        g->SetReprintOnSubsequent(reprint);
        g->SetResetGroup(nullptr);
        t.Rig.Print();
        const auto printed = t.Printed("GrupoTexto");
        std::vector<std::pair<int, std::string>> expected{{1, "A"}};
        if (reprint) expected.push_back({2, "A"});
        expected.push_back({2, "B"});
        EXPECT_EQ(printed, expected) << "reprint " << reprint;
    }
}

TEST(Totals, AFooterTotalLeavesOutTheRecordThatMovedToTheNextPage) {
    // The page body holds 44 details of 6 mm after a 6 mm group header;
    // the footer band of 6 mm below the 44th no longer fits.
    std::vector<std::pair<std::string, int>> rows;
    for (int i = 1; i <= 60; ++i) rows.push_back({"A", i});
    TotalsRig t(rows);
    auto* pageTotal = t.Total("TotalPagina", dcSum, t.Rig.Report()->FooterBand());
    pageTotal->SetResetGroup(nullptr);
    t.Add<TrpDBText>(t.Rig.Report()->DetailBand(), "ValorTexto", "Valor");
    // A band of dynamic height that finds no room is what makes the
    // footer total drop the record it already counted.
    t.Rig.Report()->DetailBand()->SetPrintHeight(phDynamic);
    int noRoom = 0;
    pageTotal->OnCalc = [&](TObject*) {};
    EventRecorder recorder(t.Rig.Report()->Engine());
    recorder.Listen(t.Rig.Report()->Engine(), {rpevNoRoomForDynamicBand});
    t.Rig.Print();
    const auto values = t.Printed("ValorTexto");
    const auto totals = t.Printed("TotalPagina");
    ASSERT_GE(totals.size(), 2U);
    for (const auto& e : recorder.Entries()) noRoom += e.Event == rpevNoRoomForDynamicBand ? 1 : 0;
    EXPECT_GE(noRoom, 1);
    std::map<int, long> sums;
    for (const auto& [page, text] : values) sums[page] += std::stol(text);
    // The footer of each page holds the running total of what that page and
    // the pages before it printed: no record of the next page.
    long running = 0;
    for (const auto& [page, text] : totals) {
        running += sums[page];
        EXPECT_EQ(text, std::to_string(running)) << "page " << page;
    }
}

TEST(Totals, ALookAheadTotalInTheGroupHeaderIsFinalOnTheGroupsFirstPage) {
    std::vector<std::pair<std::string, int>> rows;
    for (int i = 1; i <= 60; ++i) rows.push_back({"A", i});
    for (int i = 1; i <= 3; ++i) rows.push_back({"B", 100 * i});
    TotalsRig t(rows);
    auto* ahead = t.Total("Previa", dcSum, t.Group->HeaderBand());
    ahead->SetLookAhead(true);
    EXPECT_EQ(t.Rig.Report()->PassSetting(), psTwoPass);
    t.Group->SetReprintOnSubsequentPage(true);
    t.Rig.Print();
    const auto printed = t.Printed("Previa");
    ASSERT_GE(printed.size(), 3U);
    EXPECT_EQ(printed.front(), (std::pair<int, std::string>{1, "1830"}));
    EXPECT_EQ(printed.back().second, "600");
    for (std::size_t i = 0; i + 1 < printed.size(); ++i) EXPECT_EQ(printed[i].second, "1830") << i;
}

TEST(Totals, APageMadeAgainFromTheCacheShowsTheSameTotals) {
    std::vector<std::pair<std::string, int>> rows;
    for (int i = 1; i <= 100; ++i) rows.push_back({i <= 70 ? "A" : "B", i});
    TotalsRig t(rows);
    t.Total("Acumulado", dcSum, t.Rig.Report()->DetailBand());
    auto* pageTotal = t.Total("TotalPagina", dcSum, t.Rig.Report()->FooterBand());
    pageTotal->SetResetGroup(nullptr);
    t.Rig.Print();
    const auto first = t.Printed("Acumulado");
    const auto firstFooter = t.Printed("TotalPagina");
    ASSERT_GE(t.Rig.Device()->FinalPages().size(), 3U);
    const std::size_t before = t.Rig.Device()->Pages().size();
    t.Rig.PrintPage(2);
    ASSERT_GT(t.Rig.Device()->Pages().size(), before);
    const CapturedPage& again = t.Rig.Device()->Pages().back();
    std::vector<std::string> regenerated;
    std::string footer;
    for (int i = 0; i < again.Page->DrawCommandCount(); ++i) {
        auto* text = dynamic_cast<const TrpDrawText*>(again.Page->DrawCommands(i));
        if (text == nullptr) continue;
        if (again.Makers[static_cast<std::size_t>(i)].second == "Acumulado") regenerated.push_back(text->Text());
        if (again.Makers[static_cast<std::size_t>(i)].second == "TotalPagina") footer = text->Text();
    }
    std::vector<std::string> expected;
    for (const auto& [page, text] : first)
        if (page == 2) expected.push_back(text);
    EXPECT_EQ(regenerated, expected);
    for (const auto& [page, text] : firstFooter)
        if (page == 2) EXPECT_EQ(footer, text);
}

TEST(Totals, ASingleRecordPrintsInBothPassModes) {
    for (bool twoPass : {false, true}) {
        TotalsRig t({{"A", 7}});
        t.Add<TrpDBText>(t.Rig.Report()->DetailBand(), "ValorTexto", "Valor");
        if (twoPass) t.Rig.Report()->SetPassSetting(psTwoPass);
        t.Rig.Print();
        EXPECT_EQ(t.Texts("ValorTexto"), (Texts{"7"})) << twoPass;
    }
}

TEST(Totals, DescriptionsNameTheKindAndTheField) {
    TrpDBCalc calc(nullptr);
    calc.SetUserName("Total");
    calc.SetDBCalcType(dcCount);
    EXPECT_EQ(calc.GetDescription(), "Total: Contar(*)");
    calc.SetDBCalcType(dcAverage);
    EXPECT_EQ(calc.GetDescription(), "Total: Média(?)");
    calc.SetDataField("Valor");
    EXPECT_EQ(calc.GetDescription(), "Total: Média(Valor)");
    TrpDBText text(nullptr);
    text.SetUserName("Campo");
    EXPECT_EQ(text.GetDescription(), "Campo");
}

}  // namespace

namespace {

// A look-ahead total in the child of a subreport printed for each parent
// record: every child shows its own final total, not the last child's.
TEST(Totals, ALookAheadTotalInASubreportShowsEachChildsOwnTotal) {
    ReportRig rig;
    RowsTable masters({"Id", "Nome"}, {{Variant(1), Variant("Ana")}, {Variant(2), Variant("Bruno")}, {Variant(3), Variant("Carla")}},
                      "Clientes");
    RowsTable items({"Id", "Valor"},
                    {{Variant(1), Variant(1)}, {Variant(1), Variant(2)}, {Variant(2), Variant(10)},
                     {Variant(2), Variant(20)}, {Variant(2), Variant(30)}, {Variant(3), Variant(100)}},
                    "Itens");
    masters.Pipeline()->Open();
    items.Pipeline()->Open();
    items.Pipeline()->AddLink(masters.Pipeline(), "Id", "Id");
    TrpBandedReport* r = rig.Report();
    r->SetDataPipeline(masters.Pipeline());
    r->CreateDefaultBands();
    r->DetailBand()->SetmmHeight(8000);
    auto* sub = new TrpSubReport(rig.Owner());
    sub->SetName("Sub");
    sub->SetBand(r->DetailBand());
    sub->SetBounds(10000, 0, 120000, 2000);
    TrpChildReport* child = sub->Report();
    child->SetDataPipeline(items.Pipeline());
    child->CreateDefaultBands();
    child->DetailBand()->SetmmHeight(6000);
    auto* total = new TrpDBCalc(rig.Owner());
    total->SetName("Total");
    total->SetUserName("Total");
    total->SetBand(child->DetailBand());
    total->SetBounds(0, 0, 30000, 5000);
    total->SetDataPipeline(items.Pipeline());
    total->SetDataField("Valor");
    total->SetLookAhead(true);
    r->SetPassSetting(psTwoPass);
    rig.Print();
    std::vector<std::string> printed;
    for (const CapturedPage* p : rig.Device()->FinalPages())
        for (int i = 0; i < p->Page->DrawCommandCount(); ++i)
            if (p->Makers[static_cast<std::size_t>(i)].second == "Total")
                printed.push_back(static_cast<const TrpDrawText*>(p->Page->DrawCommands(i))->Text());
    EXPECT_EQ(printed, (std::vector<std::string>{"3", "3", "60", "60", "60", "100"}));
}

}  // namespace
