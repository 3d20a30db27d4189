// The issued-invoices listing laid out in code over 0, 1, 56, 57 and 10,000
// invoices in SQLite, two passes: where the summary lands, "Página n de N"
// final on every page, totals equal to the SQL sums of the authorised
// invoices, the asterisk beside the others, and a page made again from the
// cache with the same totals.
#include <gtest/gtest.h>

#include <random>

#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "report/rpBands.h"
#include "report/rpDBPipeline.h"
#include "report_output/rpDBText.h"
#include "report_output/rpVariables.h"
#include "tests/platform/db/SQLFileFixture.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

constexpr const char* kMoney = "##,###,###,##0.00";
constexpr const char* kWeight = "###,##0.000";

std::vector<std::string> TextsOf(const std::vector<const CapturedPage*>& Pages, const std::string& Component,
                                 std::vector<int>* PagesOut = nullptr) {
    std::vector<std::string> out;
    for (const CapturedPage* p : Pages)
        for (int i = 0; i < p->Page->DrawCommandCount(); ++i)
            if (p->Makers[static_cast<std::size_t>(i)].second == Component)
                if (auto* t = dynamic_cast<const TrpDrawText*>(p->Page->DrawCommands(i))) {
                    out.push_back(t->Text());
                    if (PagesOut != nullptr) PagesOut->push_back(p->Page->AbsolutePageNo());
                }
    return out;
}

class InvoiceListing : public sqltest::SQLFileFixture {
protected:
    void Fill(sqlite::Database& db) override {
        db.Exec(sqlite::CreateTableSql("Nota_Fiscal", {{"Id_Serie_Documento", "text(3)"},
                                                       {"Id_Nota_Fiscal", "integer"},
                                                       {"Data_Emissao", "text(10)"},
                                                       {"Nome", "text(60)"},
                                                       {"Valor_Total_Nota", "real"},
                                                       {"Valor_ICMS", "real"},
                                                       {"Peso_Bruto", "real"},
                                                       {"Situacao_NFE", "text(20)"}}));
    }

    void InsertInvoices(int Count) {
        std::mt19937 random(403);
        std::uniform_int_distribution<int> cents(100, 9000000);
        std::uniform_int_distribution<int> grams(1, 900000);
        std::uniform_int_distribution<int> state(0, 9);
        auto begin = Query("begin");
        begin->ExecSQL();
        for (int n = 1; n <= Count; ++n) {
            auto q = Query("insert into Nota_Fiscal values (:S, :N, :D, :C, :V, :I, :P, :T)");
            const double value = cents(random) / 100.0;
            q->ParamByName("S")->SetValue(Variant("1"));
            q->ParamByName("N")->SetValue(Variant(n));
            q->ParamByName("D")->SetValue(Variant("14/03/2026"));
            q->ParamByName("C")->SetValue(Variant("Cliente " + std::to_string(n % 37)));
            q->ParamByName("V")->SetValue(Variant(value));
            q->ParamByName("I")->SetValue(Variant(std::round(value * 18) / 100.0));
            q->ParamByName("P")->SetValue(Variant(grams(random) / 1000.0));
            const int s = state(random);
            q->ParamByName("T")->SetValue(Variant(s == 0 ? "CANCELADA" : s == 1 ? "Denegada" : "AUTORIZADA"));
            q->ExecSQL();
        }
        auto commit = Query("commit");
        commit->ExecSQL();
    }

    std::vector<double> AuthorisedSums() {
        auto q = Query(
            "select coalesce(sum(Valor_Total_Nota), 0), coalesce(sum(Valor_ICMS), 0), coalesce(sum(Peso_Bruto), 0) "
            "from Nota_Fiscal where upper(Situacao_NFE) = 'AUTORIZADA'");
        q->Open();
        std::vector<double> out;
        for (int i = 0; i < 3; ++i) out.push_back(q->Fields()->Fields(i)->AsFloat());
        return out;
    }
};

// The listing's report, built as the form defines it (lengths in mm).
struct Listing {
    ReportRig Rig;
    TrpDBPipeline* Pipeline;
    TrpVariable* Totals[3] = {};

    static int32_t mm(double Value) { return static_cast<int32_t>(std::lround(Value * 1000)); }

    explicit Listing(TrpDBPipeline* APipeline) : Pipeline(APipeline) {
        TrpBandedReport* r = Rig.Report();
        r->SetDataPipeline(Pipeline);
        r->CreateDefaultBands();
        r->CreateBand(btSummary);
        r->SetPassSetting(psTwoPass);
        r->HeaderBand()->SetmmHeight(mm(24.1));
        r->DetailBand()->SetmmHeight(mm(4.5));
        r->SummaryBand()->SetmmHeight(mm(7.7));
        r->FooterBand()->SetmmHeight(mm(5.8));

        Label(r->HeaderBand(), "lblEmitente", "Faturamento Exemplo Ltda", 25.7, 2.4, 154.5, taCentered);
        Label(r->HeaderBand(), "rpLabel14", "Sys: OSKE", 3.7, 2.4, 17.5);
        Label(r->HeaderBand(), "rpLabel13", "Prg: NOTA403", 3.4, 7.9, 23.1);
        Label(r->HeaderBand(), "lblTitulo", "Notas Fiscais Emitidas entre: 14/03/2026 E 14/03/2026", 41.5, 7.4, 115.4,
              taCentered);
        auto* pages = Place(new TrpSystemVariable(Rig.Owner()), r->HeaderBand(), "rpSystemVariable2", 160.6, 7.4, 33.9);
        pages->SetVarType(vtPageSetDesc);
        pages->SetTextAlignment(taRightJustified);
        auto* printed = Place(new TrpSystemVariable(Rig.Owner()), r->HeaderBand(), "rpSystemVariable1", 160.6, 12.2,
                              33.9);
        printed->SetVarType(vtPrintDateTime);
        printed->SetTextAlignment(taRightJustified);
        const std::vector<std::pair<const char*, double>> titles{{"Série", 4.0},       {"NF", 15.1},
                                                                 {"Emissão", 34.7},    {"Cliente", 53.4},
                                                                 {"Total Nota", 116.9}, {"Total ICMS", 136.0},
                                                                 {"Peso Bruto", 155.6}, {"Situação", 175.2}};
        for (const auto& [title, left] : titles)
            Label(r->HeaderBand(), std::string("Titulo") + std::to_string(static_cast<int>(left)), title, left, 19.1,
                  18);

        Field(r->DetailBand(), "rpDBText1", "Id_Serie_Documento", 4.0, 8.2, "", taRightJustified);
        Field(r->DetailBand(), "rpDBText2", "Id_Nota_Fiscal", 14.8, 14.8, "000,000");
        auto* asterisk = Label(r->DetailBand(), "lblAsterisco", "", 30.2, 0.3, 2.4);
        asterisk->SetAutoSize(false);
        Field(r->DetailBand(), "rpDBText3", "Data_Emissao", 34.1, 17.2, "");
        Field(r->DetailBand(), "rpDBText4", "Nome", 53.2, 59.8, "");
        Field(r->DetailBand(), "rpDBText7", "Valor_Total_Nota", 116.4, 17.2, kMoney, taRightJustified);
        Field(r->DetailBand(), "rpDBText6", "Valor_ICMS", 136.3, 17.2, "###,###,##0.00", taRightJustified);
        Field(r->DetailBand(), "rpDBText8", "Peso_Bruto", 155.6, 17.2, kWeight, taRightJustified);
        Field(r->DetailBand(), "rpDBText9", "Situacao_NFE", 175.4, 19.3, "");

        Label(r->SummaryBand(), "rpLabel10", "* Não são consideradas na totalização", 3.7, 1.9, 54.6);
        Label(r->SummaryBand(), "rpLabel5", "TOTAIS", 99.7, 1.6, 12.7);
        const char* names[3] = {"vValor_Total_Nota", "vValor_ICMS", "vPeso_Bruto"};
        const double lefts[3] = {116.4, 136.3, 155.6};
        for (int i = 0; i < 3; ++i) {
            Totals[i] = Place(new TrpVariable(Rig.Owner()), r->SummaryBand(), names[i], lefts[i], 1.3, 17.2);
            Totals[i]->SetDataType(dtDouble);
            Totals[i]->SetDisplayFormat(i == 2 ? kWeight : kMoney);
            Totals[i]->SetTextAlignment(taRightJustified);
        }
        Label(r->FooterBand(), "Credito", "Emitido pelo sistema de faturamento", 2.9, 0.5, 193.1, taRightJustified);

        r->DetailBand()->BeforePrint = [this, asterisk](TObject*) {
            const bool authorised = UpperCase(Pipeline->GetFieldAsString("Situacao_NFE")) == "AUTORIZADA";
            asterisk->SetCaption(authorised ? "" : "*");
        };
        r->DetailBand()->AfterPrint = [this](TObject*) {
            if (UpperCase(Pipeline->GetFieldAsString("Situacao_NFE")) != "AUTORIZADA") return;
            const char* fields[3] = {"Valor_Total_Nota", "Valor_ICMS", "Peso_Bruto"};
            for (int i = 0; i < 3; ++i)
                Totals[i]->SetValue(
                    Variant(Totals[i]->Value().AsDouble() + Pipeline->GetFieldValue(fields[i]).AsDouble()));
        };
    }

    template <typename T>
    T* Place(T* C, TrpBand* Band, const std::string& Name, double Left, double Top, double Width) {
        C->SetName(Name);
        C->SetUserName(Name);
        C->SetBand(Band);
        C->SetAutoSize(false);
        C->SetBounds(mm(Left), mm(Top), mm(Width), mm(4.0));
        return C;
    }

    TrpLabel* Label(TrpBand* Band, const std::string& Name, const std::string& Caption, double Left, double Top,
                    double Width, TrpTextAlignment Align = taLeftJustified) {
        auto* l = Place(new TrpLabel(Rig.Owner()), Band, Name, Left, Top, Width);
        l->SetCaption(Caption);
        l->SetTextAlignment(Align);
        l->SetTransparent(true);
        return l;
    }

    TrpDBText* Field(TrpBand* Band, const std::string& Name, const std::string& DataField, double Left, double Width,
                     const std::string& Format, TrpTextAlignment Align = taLeftJustified) {
        auto* t = Place(new TrpDBText(Rig.Owner()), Band, Name, Left, 0.3, Width);
        t->SetDataPipeline(Pipeline);
        t->SetDataField(DataField);
        t->SetDisplayFormat(Format);
        t->SetTextAlignment(Align);
        return t;
    }
};

TEST_F(InvoiceListing, SummaryPlacementPageCountsAndTotalsMatchSql) {
    // (invoices, pages expected, page of the summary)
    // Without invoices nothing prints (the form says so before it runs).
    const std::vector<std::tuple<int, std::size_t, int>> cases{{0, 0, 0}, {1, 1, 1}, {56, 2, 2}, {57, 2, 2}};
    int inserted = 0;
    for (const auto& [count, pagesExpected, summaryPage] : cases) {
        auto wipe = Query("delete from Nota_Fiscal");
        wipe->ExecSQL();
        InsertInvoices(count);
        inserted = count;
        const auto sums = AuthorisedSums();
        auto query = Query("select * from Nota_Fiscal order by Id_Serie_Documento, Id_Nota_Fiscal");
        TDataSource source(nullptr);
        source.SetDataSet(query.get());
        TrpDBPipeline pipeline(nullptr);
        pipeline.SetName("DBPipeline1");
        pipeline.SetDataSource(&source);
        {
            Listing l(&pipeline);
            l.Rig.Print();
            const auto final = l.Rig.Device()->FinalPages();
            EXPECT_EQ(final.size(), pagesExpected) << count;
            if (pagesExpected == 0) {
                l.Rig.Report()->SetDataPipeline(nullptr);
                continue;
            }
            std::vector<int> totalPages;
            const auto total = TextsOf(final, "vValor_Total_Nota", &totalPages);
            ASSERT_EQ(total.size(), 1U) << count;
            EXPECT_EQ(totalPages[0], summaryPage) << count;
            EXPECT_EQ(total[0], FormatFloat(kMoney, sums[0])) << count;
            EXPECT_EQ(TextsOf(final, "vValor_ICMS")[0], FormatFloat(kMoney, sums[1])) << count;
            EXPECT_EQ(TextsOf(final, "vPeso_Bruto")[0], FormatFloat(kWeight, sums[2])) << count;
            std::vector<int> rowPages;
            const auto numbers = TextsOf(final, "rpDBText2", &rowPages);
            EXPECT_EQ(numbers.size(), static_cast<std::size_t>(count));
            if (count == 56) {
                // The 56 rows fill page 1: the summary stands alone on page 2.
                EXPECT_EQ(std::count(rowPages.begin(), rowPages.end(), 2), 0);
            }
            if (count >= 1) EXPECT_EQ(numbers.front(), "000.001");
            const auto pageTexts = TextsOf(final, "rpSystemVariable2");
            ASSERT_EQ(pageTexts.size(), final.size());
            for (std::size_t i = 0; i < final.size(); ++i)
                EXPECT_EQ(pageTexts[i], "Página " + std::to_string(i + 1) + " de " + std::to_string(final.size()));
            // Every invoice not authorised carries the asterisk.
            const auto states = TextsOf(final, "rpDBText9");
            const auto marks = TextsOf(final, "lblAsterisco");
            ASSERT_EQ(states.size(), marks.size());
            for (std::size_t i = 0; i < states.size(); ++i)
                EXPECT_EQ(marks[i], UpperCase(states[i]) == "AUTORIZADA" ? "" : "*") << i;
            l.Rig.Report()->SetDataPipeline(nullptr);
        }
    }
    EXPECT_EQ(inserted, 57);
}

TEST_F(InvoiceListing, TenThousandInvoicesTotalAsSqlAndAPageMadeAgainKeepsTheTotals) {
    InsertInvoices(10000);
    const auto sums = AuthorisedSums();
    auto query = Query("select * from Nota_Fiscal order by Id_Serie_Documento, Id_Nota_Fiscal");
    TDataSource source(nullptr);
    source.SetDataSet(query.get());
    TrpDBPipeline pipeline(nullptr);
    pipeline.SetName("DBPipeline1");
    pipeline.SetDataSource(&source);
    {
        Listing l(&pipeline);
        l.Rig.Print();
        const auto final = l.Rig.Device()->FinalPages();
        // 56 rows a page: 179 pages, the summary on the last with the 32 left.
        ASSERT_EQ(final.size(), 179U);
        std::vector<int> totalPages;
        const auto total = TextsOf(final, "vValor_Total_Nota", &totalPages);
        ASSERT_EQ(total.size(), 1U);
        EXPECT_EQ(totalPages[0], 179);
        EXPECT_EQ(total[0], FormatFloat(kMoney, sums[0]));
        EXPECT_EQ(TextsOf(final, "vValor_ICMS")[0], FormatFloat(kMoney, sums[1]));
        EXPECT_EQ(TextsOf(final, "vPeso_Bruto")[0], FormatFloat(kWeight, sums[2]));
        const auto pageTexts = TextsOf(final, "rpSystemVariable2");
        ASSERT_EQ(pageTexts.size(), 179U);
        EXPECT_EQ(pageTexts.front(), "Página 1 de 179");
        EXPECT_EQ(pageTexts.back(), "Página 179 de 179");

        const std::size_t before = l.Rig.Device()->Pages().size();
        l.Rig.PrintPage(179);
        ASSERT_GT(l.Rig.Device()->Pages().size(), before);
        const std::vector<const CapturedPage*> again{&l.Rig.Device()->Pages().back()};
        EXPECT_EQ(TextsOf(again, "vValor_Total_Nota"), total);
        EXPECT_EQ(TextsOf(again, "rpSystemVariable2"), (std::vector<std::string>{"Página 179 de 179"}));
        l.Rig.Report()->SetDataPipeline(nullptr);
    }
}

}  // namespace
