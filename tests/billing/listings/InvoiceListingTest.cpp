#include "billing/listings/InvoiceListing.h"
#include "billing/listings/RowSequencer.h"

#include <vector>

#include <gtest/gtest.h>

#include "platform/db/SQLQuery.h"
#include "tests/billing/listings/ListingFixture.h"

using namespace billing::listings;

namespace {

// Invoices of March 2024 (and one on each side of it), in every state.
class Invoices : public listingtest::Database {
protected:
    void SetUp() override {
        Database::SetUp();
        Invoice(1, 1234, "0000001", "2024-03-01", "Autorizada", 100.50, 18.09, 10.5);
        Invoice(1, 1235, "0000002", "2024-03-05", "Cancelada", 999.99, 180.00, 50.0);
        Invoice(1, 1236, "0000010", "2024-03-10", "Denegada", 300.00, 54.00, 7.0);
        Invoice(1, 1237, "0000002", "2024-03-15", "Erro", 400.00, 72.00, 8.0);
        Invoice(1, 1239, "0000010", "2024-03-20", "autorizada", 49.50, 8.91, 1.5);
        // Late on the period's last day.
        Invoice(2, 1, "0000001", "2024-03-31 18:45:00", "Autorizada", 250.25, 45.05, 2.25);
        Invoice(1, 1233, "0000001", "2024-02-29 23:59:59", "Autorizada", 1.00, 1.00, 1.0);
        Invoice(1, 1238, "0000001", "2024-04-01", "Autorizada", 2.00, 2.00, 2.0);
    }

    static Criteria March() {
        Criteria c;
        c.dataInicial = EncodeDate(2024, 3, 1);
        c.dataFinal = EncodeDate(2024, 3, 31);
        return c;
    }

    // "serie/numero" of every row the listing prints, in order; "" when refused.
    std::vector<std::string> Listed(Listing Kind, const Criteria& C) {
        InvoiceListing listing(Kind, db(), messages());
        std::vector<std::string> out;
        if (!listing.Gerar_Relatorio(C, "Admin")) return out;
        TSQLQuery& q = listing.Query();
        for (q.First(); !q.Eof(); q.Next())
            out.push_back(q.FieldByName("Id_Serie_Documento")->AsString() + "/" +
                          q.FieldByName("Id_Nota_Fiscal")->AsString());
        return out;
    }

    using Rows = std::vector<std::string>;
};

// What one pass of the report gives: each row's stripe and asterisk, and the
// totals printed in the summary.
struct Pass {
    std::vector<TColor> stripes;
    std::vector<std::string> asterisks;
    Totals totals;
};

Pass RunPass(RowSequencer& Rows, Listing Kind, TDataSet& Data) {
    Pass p;
    Rows.StartPass();
    for (Data.First(); !Data.Eof(); Data.Next()) {
        ListingRow row = ListingRow::Read(Kind, Data);
        RowLook look = Rows.BeforePrint(row);
        p.stripes.push_back(look.zebra);
        p.asterisks.push_back(look.asterisco);
        Rows.AfterPrint(row);
    }
    p.totals = Rows.Total();
    return p;
}

constexpr TColor kGrey = 0xE0E0E0;  // red, green and blue 224
constexpr TColor kWhite = 0xFFFFFF;

}  // namespace

// ---------------------------------------------------------------------------
// The query

TEST_F(Invoices, ThePeriodRunsFromItsFirstDayToTheEndOfItsLastInSeriesAndNumberOrder) {
    EXPECT_EQ(Listed(Listing::Nota403, March()), (Rows{"1/1234", "1/1235", "1/1236", "1/1239", "2/1"}));
    Criteria lastDay = March();
    lastDay.dataInicial = lastDay.dataFinal;
    EXPECT_EQ(Listed(Listing::Nota403, lastDay), (Rows{"2/1"}));
    EXPECT_TRUE(messages().Entries().empty());
}

TEST_F(Invoices, TheStateBoxesChooseTheStatesAndErroIsAlwaysLeftOut) {
    struct Case {
        bool autorizada, cancelada, denegada;
        Rows rows;
    };
    const Case cases[] = {
        {true, false, false, {"1/1234", "1/1239", "2/1"}},
        {false, true, false, {"1/1235"}},
        {false, false, true, {"1/1236"}},
        {false, true, true, {"1/1235", "1/1236"}},
        {true, true, false, {"1/1234", "1/1235", "1/1239", "2/1"}},
    };
    for (Listing kind : {Listing::Nota403, Listing::Nota300}) {
        for (const Case& c : cases) {
            Criteria crit = March();
            crit.autorizada = c.autorizada;
            crit.cancelada = c.cancelada;
            crit.denegada = c.denegada;
            EXPECT_EQ(Listed(kind, crit), c.rows)
                << static_cast<int>(kind) << " " << c.autorizada << c.cancelada << c.denegada;
        }
    }
}

TEST_F(Invoices, TheStatesAreBoundValuesNotTextInTheStatement) {
    TSQLQuery q;
    Criteria c = March();
    c.cancelada = false;
    PrepareInvoiceQuery(q, Listing::Nota403, c);
    const std::string sql = q.SQL()->Text();
    EXPECT_EQ(sql.find('"'), std::string::npos) << sql;
    EXPECT_EQ(sql.find('\''), std::string::npos) << sql;
    EXPECT_EQ(sql.find("Erro"), std::string::npos) << sql;
    EXPECT_EQ(sql.find("Cancelada"), std::string::npos) << sql;
    // A range typed with quotes is a value like any other.
    c.idClienteInicial = "0\" or \"1\"=\"1";
    c.idClienteFinal = "0000001' or '1'='1";
    EXPECT_EQ(Listed(Listing::Nota403, c), (Rows{"1/1234", "2/1"}));
}

TEST_F(Invoices, TheClientRangeHoldsBothEnds) {
    Criteria c = March();
    c.idClienteInicial = "0000002";
    c.idClienteFinal = "0000010";
    EXPECT_EQ(Listed(Listing::Nota403, c), (Rows{"1/1235", "1/1236", "1/1239"}));
    c.idClienteFinal = "0000009";
    EXPECT_EQ(Listed(Listing::Nota403, c), (Rows{"1/1235"}));
}

TEST_F(Invoices, TheDailyListingHasNoClientRange) {
    TSQLQuery q;
    Criteria c = Criteria::Initial(EncodeDate(2024, 3, 31));
    c.idClienteInicial = "0000005";
    c.idClienteFinal = "0000005";
    PrepareInvoiceQuery(q, Listing::Nota300, c);
    EXPECT_EQ(q.Params()->FindParam("pid_cliente_inicial"), nullptr);
    EXPECT_EQ(Listed(Listing::Nota300, c), (Rows{"2/1"}));
}

TEST_F(Invoices, NoInvoiceForTheCriteriaIsSaidAndNothingPrints) {
    Criteria c = March();
    c.dataInicial = c.dataFinal = EncodeDate(2024, 3, 2);
    InvoiceListing listing(Listing::Nota403, db(), messages());
    EXPECT_FALSE(listing.Gerar_Relatorio(c, "Admin"));
    ASSERT_EQ(messages().Entries().size(), 1u);
    EXPECT_EQ(messages().Entries()[0].text, "Não existem Notas Fiscais para as condições Solicitadas.");
    EXPECT_EQ(messages().Entries()[0].caption, "Atenção");
    EXPECT_FALSE(listing.Query().Active());
    // Only Erro in the period is no invoice either.
    messages().Clear();
    c.dataInicial = c.dataFinal = EncodeDate(2024, 3, 15);
    EXPECT_FALSE(listing.Gerar_Relatorio(c, "Admin"));
    EXPECT_EQ(messages().LastText(), kSemNotas);
}

TEST_F(Invoices, RefusedCriteriaRunNoQuery) {
    Criteria c = March();
    c.autorizada = c.cancelada = c.denegada = false;
    InvoiceListing listing(Listing::Nota403, db(), messages());
    EXPECT_FALSE(listing.Gerar_Relatorio(c, "Admin"));
    EXPECT_EQ(messages().LastText(), kNenhumaSituacao);
    EXPECT_EQ(messages().Entries().size(), 1u);
    EXPECT_FALSE(listing.Query().Active());
}

TEST_F(Invoices, ARunLeavesTheQueryOnItsFirstRowWithTheHeaderTexts) {
    InvoiceListing listing(Listing::Nota403, db(), messages());
    ASSERT_TRUE(listing.Gerar_Relatorio(March(), "joana"));
    EXPECT_TRUE(listing.Query().Active());
    EXPECT_FALSE(listing.Query().Eof());
    EXPECT_EQ(listing.Query().FieldByName("Id_Nota_Fiscal")->AsInteger(), 1234);
    EXPECT_EQ(listing.Query().FieldByName("Nome")->AsString(), "Ana Comércio");
    EXPECT_EQ(listing.Header().usuario, "Usuário: joana");
    EXPECT_EQ(listing.Header().titulo, "Notas Fiscais Emitidas entre: 01/03/2024 E 31/03/2024");
}

// ---------------------------------------------------------------------------
// The rows

TEST_F(Invoices, AnInvoiceNotAuthorisedGetsAnAsteriskAndStaysOutOfTheTotals) {
    for (Listing kind : {Listing::Nota403, Listing::Nota300}) {
        InvoiceListing listing(kind, db(), messages());
        ASSERT_TRUE(listing.Gerar_Relatorio(March(), "Admin"));
        RowSequencer rows(kind);
        Pass p = RunPass(rows, kind, listing.Query());
        // 1234 Autorizada, 1235 Cancelada, 1236 Denegada, 1239 autorizada, 2/1 Autorizada.
        EXPECT_EQ(p.asterisks, (std::vector<std::string>{"", "*", "*", "", ""}));
        EXPECT_DOUBLE_EQ(p.totals.valores[0], 400.25);
        EXPECT_DOUBLE_EQ(p.totals.valores[1], 72.05);
        EXPECT_DOUBLE_EQ(p.totals.valores[2], 14.25);
    }
}

TEST_F(Invoices, TheFirstRowIsGreyInEveryPassAndEveryRun) {
    for (Listing kind : {Listing::Nota403, Listing::Nota300}) {
        InvoiceListing listing(kind, db(), messages());
        RowSequencer rows(kind);
        const std::vector<TColor> zebra{kGrey, kWhite, kGrey, kWhite, kGrey};
        for (int run = 0; run < 2; ++run) {
            ASSERT_TRUE(listing.Gerar_Relatorio(March(), "Admin"));
            for (int pass = 0; pass < 2; ++pass) {
                Pass p = RunPass(rows, kind, listing.Query());
                EXPECT_EQ(p.stripes, zebra) << "run " << run << " pass " << pass;
                // The totals printed are those of the authorised rows, never
                // an earlier pass's added again.
                EXPECT_DOUBLE_EQ(p.totals.valores[0], 400.25) << "run " << run << " pass " << pass;
                EXPECT_DOUBLE_EQ(p.totals.valores[2], 14.25) << "run " << run << " pass " << pass;
            }
        }
    }
}

TEST_F(Invoices, AnOddNumberOfRowsStillStartsTheNextPassGrey) {
    Criteria c = March();
    c.autorizada = false;
    c.denegada = false;  // one row only
    InvoiceListing listing(Listing::Nota403, db(), messages());
    ASSERT_TRUE(listing.Gerar_Relatorio(c, "Admin"));
    RowSequencer rows(Listing::Nota403);
    RunPass(rows, Listing::Nota403, listing.Query());
    Pass second = RunPass(rows, Listing::Nota403, listing.Query());
    EXPECT_EQ(second.stripes, (std::vector<TColor>{kGrey}));
    EXPECT_EQ(second.asterisks, (std::vector<std::string>{"*"}));
    EXPECT_DOUBLE_EQ(second.totals.valores[0], 0.0);
}

TEST_F(Invoices, TheIssuedListingAddsARowAfterItPrintsAndTheDailyListingBefore) {
    ListingRow row;
    row.situacao = "Autorizada";
    row.valores[0] = 10;
    RowSequencer issued(Listing::Nota403), daily(Listing::Nota300);
    issued.BeforePrint(row);
    daily.BeforePrint(row);
    EXPECT_DOUBLE_EQ(issued.Total().valores[0], 0);
    EXPECT_DOUBLE_EQ(daily.Total().valores[0], 10);
    issued.AfterPrint(row);
    daily.AfterPrint(row);
    EXPECT_DOUBLE_EQ(issued.Total().valores[0], 10);
    EXPECT_DOUBLE_EQ(daily.Total().valores[0], 10);
    EXPECT_EQ(issued.Counter(), 1);
    EXPECT_EQ(daily.Counter(), 1);
}

// Only an authorised invoice counts, whatever the case of its state; a state
// that merely looks like it (accents, spaces) does not.
TEST_F(Invoices, OnlyAnAuthorisedStateCountsInTheTotalsWhateverItsCase) {
    const struct {
        const char* state;
        bool counted;
    } cases[] = {{"Autorizada", true},   {"AUTORIZADA", true},  {"autorizada", true},
                 {"autor\xc4\xb1zada", true},  // dotless i: its capital is a plain I
                 {"Autorizad\xc3\xa1", false}, {"Autorizada ", false}, {"", false},
                 {"Cancelada", false},   {"Em Digita\xc3\xa7\xc3\xa3o", false}};
    // One sequencer asked in turn, twice over, as a listing's rows ask it.
    RowSequencer shared(Listing::Nota403);
    for (int round = 0; round < 2; ++round)
        for (const auto& c : cases) {
            ListingRow row;
            row.situacao = c.state;
            RowSequencer rows(Listing::Nota403);
            EXPECT_EQ(rows.Totalled(row), c.counted) << c.state;
            EXPECT_EQ(shared.Totalled(row), c.counted) << c.state;
            EXPECT_EQ(shared.BeforePrint(row).asterisco, c.counted ? "" : "*") << c.state;
        }
}

// The reader keeps the fields it found; a reopened query frees them and
// makes new ones, which it must find again.
TEST_F(Invoices, ARowReaderFindsTheFieldsAgainAfterTheQueryIsReopened) {
    InvoiceListing listing(Listing::Nota403, db(), messages());
    ListingRowReader reader(Listing::Nota403);
    ASSERT_TRUE(listing.Gerar_Relatorio(March(), "Admin"));
    TSQLQuery& q = listing.Query();
    q.First();
    ListingRow row = reader.Read(q);
    EXPECT_DOUBLE_EQ(row.valores[0], 100.50);
    EXPECT_EQ(row.situacao, "Autorizada");

    Criteria late = March();
    late.dataInicial = EncodeDate(2024, 3, 20);
    ASSERT_TRUE(listing.Gerar_Relatorio(late, "Admin"));
    q.First();
    row = reader.Read(q);
    EXPECT_DOUBLE_EQ(row.valores[0], 49.50);
    EXPECT_DOUBLE_EQ(row.valores[1], 8.91);
    EXPECT_DOUBLE_EQ(row.valores[2], 1.5);
    EXPECT_EQ(row.situacao, "autorizada");
}
