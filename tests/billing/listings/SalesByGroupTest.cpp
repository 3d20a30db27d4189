#include "billing/listings/SalesByGroup.h"
#include "billing/listings/RowSequencer.h"

#include <vector>

#include <gtest/gtest.h>

#include "memtable/mtMemTable.h"
#include "tests/billing/listings/ListingFixture.h"

using namespace billing::listings;

namespace {

struct Group {
    std::string id, descricao;
    double total = 0, bruto = 0, liquido = 0;
};

// Products of two groups sold on two days of March 2024 (the second late on
// the last day), in invoices of several states, with sales on each side of
// the period.
class Sales : public listingtest::Database {
protected:
    void SetUp() override {
        Database::SetUp();
        Product("00001", "101001001", "Parafuso sextavado");
        Product("00002", "102003004", "Porca");
        Product("00003", "1", "Ferragens");
        Product("00004", "205000001", "Tinta");
        Invoice(1, 10, "0000001", "2024-03-01", "Autorizada", 0, 0, 0, "R10");
        Item("R10", "00001", 10, 50);
        Item("R10", "00002", 4, 20);
        Invoice(1, 11, "0000002", "2024-03-31 18:45:00", "Cancelada", 0, 0, 0, "R11");
        Item("R11", "00001", 5, 25.5);
        Item("R11", "00002", 1, 3);
        Item("R11", "00004", 2, 60);
        Invoice(1, 12, "0000002", "2024-03-10", "Erro", 0, 0, 0, "R12");
        Item("R12", "00002", 2, 8);
        Invoice(1, 13, "0000001", "2024-04-01", "Autorizada", 0, 0, 0, "R13");
        Item("R13", "00001", 100, 1000);
        Invoice(1, 9, "0000001", "2024-02-29 23:59:59", "Autorizada", 0, 0, 0, "R09");
        Item("R09", "00004", 100, 1000);
    }

    static Criteria March() {
        Criteria c;
        c.dataInicial = EncodeDate(2024, 3, 1);
        c.dataFinal = EncodeDate(2024, 3, 31);
        return c;
    }

    static std::vector<Group> Groups(SalesByGroup& Summary) {
        std::vector<Group> out;
        TDataSet* t = Summary.tbResumo();
        for (t->First(); !t->Eof(); t->Next())
            out.push_back({t->FieldByName("Id_Grupo")->AsString(), t->FieldByName("Descricao")->AsString(),
                           t->FieldByName("Total_Venda")->AsFloat(), t->FieldByName("Peso_Bruto")->AsFloat(),
                           t->FieldByName("Peso_Liquido")->AsFloat()});
        return out;
    }
};

}  // namespace

TEST_F(Sales, ProductsOfOneGroupSoldOnTwoDaysFallIntoOneGroupOfTheWholePeriod) {
    SalesByGroup summary(db(), messages());
    ASSERT_TRUE(summary.Gerar_Relatorio(March(), "Admin"));
    // The table is left on its first group for the report.
    EXPECT_EQ(summary.tbResumo()->FieldByName("Id_Grupo")->AsString(), "1");
    std::vector<Group> g = Groups(summary);
    ASSERT_EQ(g.size(), 2u);
    // Group 1: 101001001 and 102003004 on the 1st, the 10th (an Erro
    // invoice) and the 31st: 50 + 20 + 8 + 25.5 + 3, quantities 10 + 4 + 2 + 5 + 1.
    EXPECT_EQ(g[0].id, "1");
    EXPECT_EQ(g[0].descricao, "Ferragens");
    EXPECT_DOUBLE_EQ(g[0].total, 106.5);
    EXPECT_DOUBLE_EQ(g[0].bruto, 22);
    EXPECT_DOUBLE_EQ(g[0].liquido, 22);
    // Group 2 has no product coded "2", so no description.
    EXPECT_EQ(g[1].id, "2");
    EXPECT_EQ(g[1].descricao, "");
    EXPECT_DOUBLE_EQ(g[1].total, 60);
    EXPECT_DOUBLE_EQ(g[1].bruto, 2);
    EXPECT_DOUBLE_EQ(g[1].liquido, 2);
    EXPECT_TRUE(messages().Entries().empty());
}

TEST_F(Sales, AGroupIsDescribedOnlyByAProductWhoseCodeIsExactlyTheGroup) {
    db().Execute("update produto set id_produto_estrutura = '10' where id_produto = '00003'");
    SalesByGroup summary(db(), messages());
    ASSERT_TRUE(summary.Gerar_Relatorio(March(), "Admin"));
    std::vector<Group> g = Groups(summary);
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0].descricao, "");
    EXPECT_DOUBLE_EQ(g[0].total, 106.5);
}

TEST_F(Sales, TheLastDayCountsToItsEnd) {
    Criteria c = March();
    c.dataInicial = c.dataFinal;
    SalesByGroup summary(db(), messages());
    ASSERT_TRUE(summary.Gerar_Relatorio(c, "Admin"));
    std::vector<Group> g = Groups(summary);
    ASSERT_EQ(g.size(), 2u);
    EXPECT_DOUBLE_EQ(g[0].total, 28.5);
    EXPECT_DOUBLE_EQ(g[1].total, 60);
}

TEST_F(Sales, ASecondRunStartsFromAnEmptySummary) {
    SalesByGroup summary(db(), messages());
    ASSERT_TRUE(summary.Gerar_Relatorio(March(), "Admin"));
    Criteria first = March();
    first.dataFinal = first.dataInicial;
    ASSERT_TRUE(summary.Gerar_Relatorio(first, "Admin"));
    std::vector<Group> g = Groups(summary);
    ASSERT_EQ(g.size(), 1u);
    EXPECT_DOUBLE_EQ(g[0].total, 70);
    EXPECT_DOUBLE_EQ(g[0].bruto, 14);
}

TEST_F(Sales, NoSaleInThePeriodIsSaidAndRefusedDatesRunNothing) {
    SalesByGroup summary(db(), messages());
    Criteria c = March();
    c.dataInicial = c.dataFinal = EncodeDate(2024, 3, 2);
    EXPECT_FALSE(summary.Gerar_Relatorio(c, "Admin"));
    EXPECT_EQ(messages().LastText(), "Não existem Notas Fiscais para as condições Solicitadas.");
    EXPECT_EQ(messages().Entries().back().caption, "Atenção");
    messages().Clear();
    c.dataInicial = EncodeDate(2024, 3, 3);
    EXPECT_FALSE(summary.Gerar_Relatorio(c, "Admin"));
    EXPECT_EQ(messages().LastText(), "A data Inicial maior que a final.");
    EXPECT_EQ(messages().Entries().size(), 1u);
}

TEST_F(Sales, TheFirstGroupIsWhiteAndTheTotalsHoldEveryGroupInEveryPass) {
    SalesByGroup summary(db(), messages());
    RowSequencer rows(Listing::Nota409);
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(summary.Gerar_Relatorio(March(), "Admin"));
        for (int pass = 0; pass < 2; ++pass) {
            rows.StartPass();
            std::vector<TColor> stripes;
            TDataSet* t = summary.tbResumo();
            for (t->First(); !t->Eof(); t->Next()) {
                ListingRow row = ListingRow::Read(Listing::Nota409, *t);
                RowLook look = rows.BeforePrint(row);
                stripes.push_back(look.zebra);
                EXPECT_EQ(look.asterisco, "");
                rows.AfterPrint(row);
            }
            EXPECT_EQ(stripes, (std::vector<TColor>{0xFFFFFF, 0xE0E0E0})) << run << pass;
            EXPECT_DOUBLE_EQ(rows.Total().valores[0], 166.5) << run << pass;
            EXPECT_DOUBLE_EQ(rows.Total().valores[1], 24) << run << pass;
            EXPECT_DOUBLE_EQ(rows.Total().valores[2], 24) << run << pass;
        }
    }
}

TEST_F(Sales, ProductsWithoutAStructuredCodeShareOneUnnamedGroup) {
    db().Execute("insert into produto(id_produto, descricao) values('00005', 'Avulso')");
    Product("00006", "", "Sem código");
    Item("R10", "00005", 1, 7);
    Item("R11", "00005", 2, 9);
    Item("R11", "00006", 3, 11);
    SalesByGroup summary(db(), messages());
    ASSERT_TRUE(summary.Gerar_Relatorio(March(), "Admin"));
    std::vector<Group> g = Groups(summary);
    ASSERT_EQ(g.size(), 3u);
    EXPECT_EQ(g[0].id, "");
    EXPECT_EQ(g[0].descricao, "");
    EXPECT_DOUBLE_EQ(g[0].total, 27);
    EXPECT_DOUBLE_EQ(g[0].bruto, 6);
    EXPECT_EQ(g[1].id, "1");
    EXPECT_EQ(g[2].id, "2");
}
