// A grouped listing over an SQLite query, two passes: every printed total
// equals the same aggregate computed by SQL and formatted by FormatFloat,
// the group header's look-ahead total is final on the group's first page,
// "Página n de N" is final on every page, and a page made again from the
// cache prints the same totals. The listing dresses as the application's
// listings do: a JPEG logo and a rule in the page header, zebra stripes
// behind every other row, a rule above each group's totals.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "platform/rtl/Format.h"
#include "report/rpBands.h"
#include "report/rpDBPipeline.h"
#include "report/rpGroup.h"
#include "report_output/rpDBText.h"
#include "report_output/rpGraphics.h"
#include "report_output/rpImages.h"
#include "report_output/rpVariables.h"
#include "tests/platform/db/SQLFileFixture.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/report_output/OutputTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

class ListingOverSql : public sqltest::SQLFileFixture {
protected:
    // The logo is decoded before the database opens: the leak checker of the
    // sanitized build loses its way in the thread-local storage of an image
    // plugin loaded after SQLite, and fails a program that leaks nothing.
    void SetUp() override {
        Logo.LoadFromFile(testsupport::DataPath("gfx/pictures/jpeg_base.jpg"));
        ASSERT_EQ(Logo.Width(), 16);
        sqltest::SQLFileFixture::SetUp();
    }

    TPicture Logo;

    void Fill(sqlite::Database& db) override {
        db.Exec(sqlite::CreateTableSql(
            "Notas", {{"Numero", "integer"}, {"Cliente", "text(40)"}, {"Situacao", "text(20)"}, {"Valor", "real"}}));
    }

    void Insert(int Numero, const std::string& Cliente, const std::string& Situacao, double Valor) {
        auto q = Query("insert into Notas (Numero, Cliente, Situacao, Valor) values (:N, :C, :S, :V)");
        q->ParamByName("N")->SetValue(Variant(Numero));
        q->ParamByName("C")->SetValue(Variant(Cliente));
        q->ParamByName("S")->SetValue(Variant(Situacao));
        q->ParamByName("V")->SetValue(Variant(Valor));
        q->ExecSQL();
    }

    // One aggregate per client, in client order: a row of its values.
    std::map<std::string, std::vector<double>> Aggregates() {
        std::map<std::string, std::vector<double>> out;
        auto q = Query(
            "select Cliente, sum(Valor), count(*), min(Valor), max(Valor), avg(Valor) from Notas "
            "where Situacao = 'AUTORIZADA' group by Cliente");
        q->Open();
        while (!q->Eof()) {
            std::vector<double> row;
            for (int i = 1; i <= 5; ++i) row.push_back(q->Fields()->Fields(i)->AsFloat());
            out[q->Fields()->Fields(0)->AsString()] = row;
            q->Next();
        }
        return out;
    }
};

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

// The commands of one component, each with the number of its page.
std::vector<std::pair<int, const TrpDrawCommand*>> CommandsOn(const std::vector<const CapturedPage*>& Pages,
                                                              const std::string& Component) {
    std::vector<std::pair<int, const TrpDrawCommand*>> out;
    for (const CapturedPage* p : Pages)
        for (int i = 0; i < p->Page->DrawCommandCount(); ++i)
            if (p->Makers[static_cast<std::size_t>(i)].second == Component)
                out.emplace_back(p->Page->AbsolutePageNo(), p->Page->DrawCommands(i));
    return out;
}

TEST_F(ListingOverSql, GroupTotalsEqualTheSqlAggregatesFormattedByFormatFloat) {
    std::mt19937 random(28);
    std::uniform_int_distribution<int> cents(1, 500000);
    const std::vector<std::string> clients{"Alfa Comércio", "Beta Serviços", "Gama Indústria"};
    const std::vector<int> counts{70, 3, 45};
    int numero = 1;
    for (std::size_t c = 0; c < clients.size(); ++c)
        for (int i = 0; i < counts[c]; ++i) Insert(numero++, clients[c], "AUTORIZADA", cents(random) / 100.0);
    const auto expected = Aggregates();

    auto query = Query("select Numero, Cliente, Valor from Notas where Situacao = 'AUTORIZADA' "
                       "order by Cliente, Numero");
    TDataSource source(nullptr);
    source.SetDataSet(query.get());
    TrpDBPipeline pipeline(nullptr);
    pipeline.SetName("Notas");
    pipeline.SetDataSource(&source);
    {
        ReportRig rig;
        TrpBandedReport* r = rig.Report();
        r->SetDataPipeline(&pipeline);
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(12000);
        r->FooterBand()->SetmmHeight(8000);
        r->DetailBand()->SetmmHeight(5000);
        const std::string jpeg = testsupport::ReadAll(testsupport::DataPath("gfx/pictures/jpeg_base.jpg"));
        auto* logo = outputtest::Place<TrpImage>(rig, r->HeaderBand(), "Logo", 150000, 0, 40000, 10000);
        logo->SetPicture(&Logo);
        logo->SetStretch(true);
        logo->SetMaintainAspectRatio(true);
        auto* title = new TrpLabel(rig.Owner());
        title->SetBand(r->HeaderBand());
        title->SetCaption("Notas fiscais emitidas");
        auto* headRule = outputtest::Place<TrpLine>(rig, r->HeaderBand(), "Cabecalho", 0, 11000, 190000, 1000);
        headRule->SetPosition(lpBottom);
        headRule->SetStyle(lsDouble);
        // Behind the row's texts, drawn first; only rows of even number.
        auto* stripe = outputtest::Place<TrpShape>(rig, r->DetailBand(), "Zebra", 0, 0, 190000, 5000);
        stripe->Brush()->SetColor(static_cast<TColor>(0xEEEEEE));
        stripe->Pen()->SetStyle(psClear);
        r->DetailBand()->BeforePrint = [&](TObject*) {
            stripe->SetVisible(std::stoi(pipeline.GetFieldAsString("Numero")) % 2 == 0);
        };
        auto add = [&](auto* c, TrpBand* band, const std::string& name, const std::string& field, int32_t left) {
            c->SetName(name);
            c->SetBand(band);
            c->SetBounds(left, 0, 30000, 4000);
            c->SetDataPipeline(&pipeline);
            c->SetDataField(field);
            return c;
        };
        add(new TrpDBText(rig.Owner()), r->DetailBand(), "Numero", "Numero", 0);
        add(new TrpDBText(rig.Owner()), r->DetailBand(), "Valor", "Valor", 40000)->SetDisplayFormat("#,##0.00");
        auto* group = new TrpGroup(rig.Owner());
        group->SetReport(r);
        group->SetDataPipeline(&pipeline);
        group->SetBreakName("Cliente");
        group->SetReprintOnSubsequentPage(true);
        group->HeaderBand()->SetmmHeight(6000);
        group->FooterBand()->SetmmHeight(6000);
        add(new TrpDBText(rig.Owner()), group->HeaderBand(), "Cliente", "Cliente", 0);
        auto calc = [&](TrpBand* band, const std::string& name, TrpDBCalcType type, int32_t left) {
            auto* c = add(new TrpDBCalc(rig.Owner()), band, name, "Valor", left);
            c->SetDBCalcType(type);
            c->SetResetGroup(group);
            if (type != dcCount) c->SetDisplayFormat("#,##0.00");
            return c;
        };
        calc(group->HeaderBand(), "Previa", dcSum, 100000)->SetLookAhead(true);
        auto* totalRule = outputtest::Place<TrpLine>(rig, group->FooterBand(), "Traco", 0, 0, 190000, 1000);
        totalRule->SetWeight(1.5f);
        calc(group->FooterBand(), "Soma", dcSum, 0);
        calc(group->FooterBand(), "Contagem", dcCount, 30000);
        calc(group->FooterBand(), "Minimo", dcMinimum, 60000);
        calc(group->FooterBand(), "Maximo", dcMaximum, 90000);
        calc(group->FooterBand(), "Media", dcAverage, 120000);
        auto* pages = new TrpSystemVariable(rig.Owner());
        pages->SetName("Paginas");
        pages->SetBand(r->FooterBand());
        pages->SetVarType(vtPageSetDesc);
        ASSERT_EQ(r->PassSetting(), psTwoPass);

        rig.Print();
        const auto final = rig.Device()->FinalPages();
        ASSERT_GE(final.size(), 3U);

        std::vector<std::string> sums, headSums, countsText, mins, maxs, avgs;
        for (const auto& [client, row] : expected) {
            sums.push_back(FormatFloat("#,##0.00", row[0]));
            countsText.push_back(FormatFloat("0", row[1]));
            mins.push_back(FormatFloat("#,##0.00", row[2]));
            maxs.push_back(FormatFloat("#,##0.00", row[3]));
            avgs.push_back(FormatFloat("#,##0.00", row[4]));
        }
        EXPECT_EQ(TextsOf(final, "Soma"), sums);
        EXPECT_EQ(TextsOf(final, "Contagem"), countsText);
        EXPECT_EQ(TextsOf(final, "Minimo"), mins);
        EXPECT_EQ(TextsOf(final, "Maximo"), maxs);
        EXPECT_EQ(TextsOf(final, "Media"), avgs);
        // The first client's header repeats on the next page with the same
        // final total; every header shows its group's final sum.
        std::vector<std::string> clientsPrinted = TextsOf(final, "Cliente");
        std::vector<std::string> heads = TextsOf(final, "Previa");
        ASSERT_EQ(heads.size(), clientsPrinted.size());
        std::vector<std::string> names;
        for (const auto& [client, row] : expected) names.push_back(client);
        for (std::size_t i = 0; i < heads.size(); ++i) {
            const auto it = expected.find(clientsPrinted[i]);
            ASSERT_NE(it, expected.end()) << clientsPrinted[i];
            EXPECT_EQ(heads[i], FormatFloat("#,##0.00", it->second[0])) << clientsPrinted[i];
        }
        EXPECT_GT(heads.size(), names.size());

        const std::string count = std::to_string(final.size());
        const auto pageTexts = TextsOf(final, "Paginas");
        ASSERT_EQ(pageTexts.size(), final.size());
        for (std::size_t i = 0; i < final.size(); ++i)
            EXPECT_EQ(pageTexts[i], "Página " + std::to_string(i + 1) + " de " + count);

        // Dressing: the logo and the header rule on every page, a stripe
        // behind each even row and nowhere else, a rule over each group's
        // totals on the totals' page.
        const auto logos = CommandsOn(final, "Logo");
        ASSERT_EQ(logos.size(), final.size());
        for (const auto& [page, command] : logos) {
            auto* image = dynamic_cast<const TrpDrawImage*>(command);
            ASSERT_NE(image, nullptr);
            ASSERT_NE(image->Picture()->Graphic(), nullptr);
            EXPECT_EQ(image->Picture()->Graphic()->FileBytes(), jpeg) << "page " << page;
            EXPECT_EQ(image->Picture()->Graphic()->ClassName(), "TJPEGImage");
        }
        EXPECT_EQ(CommandsOn(final, "Cabecalho").size(), final.size());
        std::vector<std::pair<int, int32_t>> evenRows, stripes;
        for (const auto& [page, command] : CommandsOn(final, "Numero"))
            if (std::stoi(dynamic_cast<const TrpDrawText*>(command)->Text()) % 2 == 0)
                evenRows.emplace_back(page, command->Top());
        for (const auto& [page, command] : CommandsOn(final, "Zebra")) {
            auto* shape = dynamic_cast<const TrpDrawShape*>(command);
            ASSERT_NE(shape, nullptr);
            EXPECT_EQ(shape->Pen()->Style(), psClear);
            EXPECT_EQ(shape->Brush()->Color(), static_cast<TColor>(0xEEEEEE));
            // Laid out in screen pixels: the row's height to within one.
            EXPECT_NEAR(shape->Height(), 5000, 265);
            stripes.emplace_back(page, command->Top());
        }
        EXPECT_EQ(stripes, evenRows);
        EXPECT_EQ(evenRows.size(), 59U);
        std::vector<std::pair<int, int32_t>> rules, totals;
        for (const auto& [page, command] : CommandsOn(final, "Traco")) {
            auto* line = dynamic_cast<const TrpDrawLine*>(command);
            ASSERT_NE(line, nullptr);
            EXPECT_EQ(line->LinePosition(), lpTop);
            EXPECT_FLOAT_EQ(line->Weight(), 1.5f);
            rules.emplace_back(page, command->Top());
        }
        for (const auto& [page, command] : CommandsOn(final, "Soma")) totals.emplace_back(page, command->Top());
        EXPECT_EQ(rules, totals);
        ExpectGolden("output_listing_sql_first_page", DumpPages({final[0]}));

        // Page 2 made alone from its saved state.
        const std::vector<const CapturedPage*> pageTwo{final[1]};
        const auto values = TextsOf(pageTwo, "Valor");
        const auto heads2 = TextsOf(pageTwo, "Previa");
        const std::size_t before = rig.Device()->Pages().size();
        rig.PrintPage(2);
        ASSERT_GT(rig.Device()->Pages().size(), before);
        const std::vector<const CapturedPage*> again{&rig.Device()->Pages().back()};
        EXPECT_EQ(TextsOf(again, "Valor"), values);
        EXPECT_EQ(TextsOf(again, "Previa"), heads2);
        EXPECT_EQ(CommandsOn(again, "Zebra").size(), CommandsOn(pageTwo, "Zebra").size());
        EXPECT_EQ(CommandsOn(again, "Logo").size(), 1U);
        EXPECT_EQ(TextsOf(again, "Paginas"), (std::vector<std::string>{"Página 2 de " + count}));
        r->SetDataPipeline(nullptr);
    }
}

}  // namespace
