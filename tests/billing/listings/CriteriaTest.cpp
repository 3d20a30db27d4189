#include "billing/listings/CriteriaTable.h"
#include "billing/listings/Listing.h"
#include "billing/listings/ListingFormats.h"

#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "memtable/mtMemTable.h"

#include "tests/billing/listings/ListingFixture.h"

using namespace billing::listings;
using billing::data::MessageIcon;
using billing::data::RecordingMessages;

namespace {

Criteria March() {
    Criteria c;
    c.dataInicial = EncodeDate(2024, 3, 1);
    c.dataFinal = EncodeDate(2024, 3, 31);
    return c;
}

}  // namespace

TEST(ListingCriteria, EachRefusalHasItsMessageInTheOrderTheFormChecks) {
    Criteria c = March();
    EXPECT_FALSE(CriteriaError(Listing::Nota403, c));

    Criteria dates = c;
    dates.dataFinal = EncodeDate(2024, 2, 29);
    dates.idClienteInicial = "0000009";
    dates.idClienteFinal = "0000001";
    dates.autorizada = dates.cancelada = dates.denegada = false;
    // Dates first, then clients, then the state boxes.
    EXPECT_EQ(CriteriaError(Listing::Nota403, dates).value_or(""), kDataInicialMaior);
    EXPECT_EQ(CriteriaError(Listing::Nota409, dates).value_or(""), kDataInicialMaior);
    dates.dataFinal = c.dataFinal;
    EXPECT_EQ(CriteriaError(Listing::Nota403, dates).value_or(""), kClienteInicialMaior);
    dates.idClienteFinal = "9999999";
    EXPECT_EQ(CriteriaError(Listing::Nota403, dates).value_or(""), kNenhumaSituacao);
    // Any one box is enough.
    for (bool Criteria::*box : {&Criteria::autorizada, &Criteria::cancelada, &Criteria::denegada}) {
        Criteria one = dates;
        one.*box = true;
        EXPECT_FALSE(CriteriaError(Listing::Nota403, one));
    }
}

TEST(ListingCriteria, EachListingChecksOnlyTheCriteriaItHas) {
    Criteria c = March();
    c.idClienteInicial = "0000009";
    c.idClienteFinal = "0000001";
    // Nota300 has no client range; Nota409 neither, and no state boxes.
    EXPECT_FALSE(CriteriaError(Listing::Nota300, c));
    EXPECT_FALSE(CriteriaError(Listing::Nota409, c));
    c.autorizada = c.cancelada = c.denegada = false;
    EXPECT_EQ(CriteriaError(Listing::Nota300, c).value_or(""), kNenhumaSituacao);
    EXPECT_FALSE(CriteriaError(Listing::Nota409, c));
}

TEST(ListingCriteria, APeriodOfOneDayIsNotRefusedForTheTimeOfDayItsPickersCarry) {
    Criteria c;
    c.dataInicial = EncodeDate(2024, 3, 1) + 0.75;
    c.dataFinal = EncodeDate(2024, 3, 1) + 0.25;
    EXPECT_FALSE(CriteriaError(Listing::Nota403, c));
    // The whole of the next day before the first is still refused.
    c.dataFinal = EncodeDate(2024, 2, 29) + 0.99;
    EXPECT_EQ(CriteriaError(Listing::Nota403, c).value_or(""), kDataInicialMaior);
}

TEST(ListingCriteria, ClientCodesCompareAsTheirTexts) {
    Criteria c = March();
    // "2" sorts after "10" as text, so this range is refused as the form
    // always did; zero-filled codes compare as their numbers.
    c.idClienteInicial = "2";
    c.idClienteFinal = "10";
    EXPECT_EQ(CriteriaError(Listing::Nota403, c).value_or(""), kClienteInicialMaior);
    c.idClienteInicial = "0000002";
    c.idClienteFinal = "0000010";
    EXPECT_FALSE(CriteriaError(Listing::Nota403, c));
}

TEST(ListingCriteria, ARefusalIsShownInAnAttentionBox) {
    RecordingMessages box;
    Criteria c = March();
    EXPECT_TRUE(CheckCriteria(Listing::Nota403, c, box));
    EXPECT_TRUE(box.Entries().empty());
    c.autorizada = c.cancelada = c.denegada = false;
    EXPECT_FALSE(CheckCriteria(Listing::Nota403, c, box));
    ASSERT_EQ(box.Entries().size(), 1u);
    EXPECT_EQ(box.Entries()[0].text, "Não foi selecionada nenhuma Situação.");
    EXPECT_EQ(box.Entries()[0].caption, "Atenção");
    EXPECT_EQ(box.Entries()[0].icon, MessageIcon::Exclamation);
}

TEST(ClientCode, IsWrittenAsSevenDigitsAndAClearedCodeIsZero) {
    EXPECT_EQ(Formata_Codigo("").value_or("?"), "0000000");
    EXPECT_EQ(Formata_Codigo("   ").value_or("?"), "0000000");
    EXPECT_EQ(Formata_Codigo("42").value_or("?"), "0000042");
    EXPECT_EQ(Formata_Codigo(" 0042 ").value_or("?"), "0000042");
    EXPECT_EQ(Formata_Codigo("9999999").value_or("?"), "9999999");
    EXPECT_EQ(Formata_Codigo("0000000").value_or("?"), "0000000");
}

TEST(ClientCode, ATextThatIsNoCodeIsRefused) {
    for (const char* bad : {"abc", "12a", "1 2", "-5", "+5", "1.5", "12345678", "١٢"})
        EXPECT_FALSE(Formata_Codigo(bad)) << bad;
}

TEST(ClientCode, LeavingTheEditWithNoNumberRestoresThePreviousCodeWithAMessage) {
    RecordingMessages box;
    EXPECT_EQ(ClientCodeExit("", "0000042", box), "0000000");
    EXPECT_EQ(ClientCodeExit("17", "0000042", box), "0000017");
    EXPECT_TRUE(box.Entries().empty());
    EXPECT_EQ(ClientCodeExit("x17", "0000042", box), "0000042");
    ASSERT_EQ(box.Entries().size(), 1u);
    EXPECT_EQ(box.Entries()[0].text, kCodigoClienteInvalido);
    EXPECT_EQ(box.Entries()[0].caption, "Atenção");
    EXPECT_EQ(box.Entries()[0].icon, MessageIcon::Exclamation);
}

TEST(CriteriaTable, AShownFormHoldsTodayAndEveryClientAndReadsBackTheBoxes) {
    TComponent owner(nullptr);
    TmtMemTable* t = NewCriteriaTable(&owner, Listing::Nota403);
    ShowCriteria(*t, Listing::Nota403, EncodeDate(2026, 12, 7) + 0.5);
    EXPECT_EQ(t->FieldByName("id_cliente_inicial")->AsString(), "0000000");
    EXPECT_EQ(t->FieldByName("id_cliente_final")->AsString(), "9999999");
    EXPECT_EQ(t->FieldByName("Cancelada")->AsString(), "Sim");
    Criteria c = ReadCriteria(*t, Listing::Nota403, true, false, true);
    EXPECT_EQ(std::trunc(c.dataInicial), EncodeDate(2026, 12, 7));
    EXPECT_EQ(std::trunc(c.dataFinal), EncodeDate(2026, 12, 7));
    EXPECT_EQ(c.idClienteInicial, "0000000");
    EXPECT_EQ(c.idClienteFinal, "9999999");
    EXPECT_TRUE(c.autorizada);
    EXPECT_FALSE(c.cancelada);
    EXPECT_TRUE(c.denegada);
    // Shown again, the one row is filled again rather than a second added.
    t->FieldByName("id_cliente_final")->SetAsString("0000005");
    t->Post();
    ShowCriteria(*t, Listing::Nota403, EncodeDate(2026, 12, 8));
    EXPECT_EQ(t->FieldByName("id_cliente_final")->AsString(), "9999999");
    t->Post();
    EXPECT_EQ(t->RecordCount(), 1);
}

TEST(CriteriaTable, OnlyTheDailyAndSummaryFieldsThoseListingsHave) {
    TComponent owner(nullptr);
    TmtMemTable* daily = NewCriteriaTable(&owner, Listing::Nota300);
    ShowCriteria(*daily, Listing::Nota300, EncodeDate(2026, 12, 7));
    EXPECT_EQ(daily->FindField("id_cliente_inicial"), nullptr);
    EXPECT_EQ(daily->FieldByName("Denegada")->AsString(), "Sim");
    TComponent form(nullptr);
    TmtMemTable* summary = NewCriteriaTable(&form, Listing::Nota409);
    ShowCriteria(*summary, Listing::Nota409, EncodeDate(2026, 12, 7));
    EXPECT_EQ(summary->FindField("Autorizada"), nullptr);
    EXPECT_FALSE(CriteriaError(Listing::Nota409, ReadCriteria(*summary, Listing::Nota409, false, false, false)));
}

TEST(CriteriaTable, LeavingAClientEditWritesTheCodeOrKeepsThePreviousOne) {
    TComponent owner(nullptr);
    RecordingMessages box;
    TmtMemTable* t = NewCriteriaTable(&owner, Listing::Nota403);
    ShowCriteria(*t, Listing::Nota403, EncodeDate(2026, 12, 7));
    t->Post();
    ClientEditExit(*t, "id_cliente_inicial", "35", box);
    EXPECT_EQ(t->FieldByName("id_cliente_inicial")->AsString(), "0000035");
    ClientEditExit(*t, "id_cliente_inicial", "", box);
    EXPECT_EQ(t->FieldByName("id_cliente_inicial")->AsString(), "0000000");
    EXPECT_TRUE(box.Entries().empty());
    ClientEditExit(*t, "id_cliente_final", "12O", box);
    EXPECT_EQ(t->FieldByName("id_cliente_final")->AsString(), "9999999");
    EXPECT_EQ(box.LastText(), kCodigoClienteInvalido);
}

// ---------------------------------------------------------------------------
// Printed formats

namespace {

std::string Printed(Listing Kind, const std::string& Field, const Variant& Value) {
    for (const ColumnFormat& c : DetailColumns(Kind))
        if (c.field == Field) return FormatColumn(c, Value);
    ADD_FAILURE() << "no column " << Field;
    return {};
}

}  // namespace

TEST(ListingFormats, InvoiceNumbersPrintWithSixDigitsAndTheBrazilianThousandsSeparator) {
    EXPECT_EQ(Printed(Listing::Nota403, "Id_Nota_Fiscal", Variant(1234)), "001.234");
    EXPECT_EQ(Printed(Listing::Nota403, "Id_Nota_Fiscal", Variant(7)), "000.007");
    EXPECT_EQ(Printed(Listing::Nota300, "Id_Nota_Fiscal", Variant(1234567)), "1.234.567");
}

TEST(ListingFormats, ValuesAndWeightsPrintAsTheColumnsAsk) {
    EXPECT_EQ(Printed(Listing::Nota403, "Valor_Total_Nota", Variant(1234567.891)), "1.234.567,89");
    EXPECT_EQ(Printed(Listing::Nota403, "Valor_Total_Nota", Variant(0.0)), "0,00");
    EXPECT_EQ(Printed(Listing::Nota403, "Valor_ICMS", Variant(2.675)), "2,68");
    EXPECT_EQ(Printed(Listing::Nota403, "Peso_Bruto", Variant(1234.5)), "1.234,500");
    EXPECT_EQ(Printed(Listing::Nota409, "Peso_Liquido", Variant(22.0)), "22,00");
    EXPECT_EQ(Printed(Listing::Nota409, "Total_Venda", Variant(106.5)), "106,50");
    // The totals of the invoice listings: value and ICMS alike, weight in kilograms to the gram.
    const std::vector<ColumnFormat>& totals = TotalColumns(Listing::Nota403);
    ASSERT_EQ(totals.size(), 3u);
    EXPECT_EQ(FormatColumn(totals[0], Variant(400.25)), "400,25");
    EXPECT_EQ(FormatColumn(totals[1], Variant(12345678.9)), "12.345.678,90");
    EXPECT_EQ(FormatColumn(totals[2], Variant(14.25)), "14,250");
    for (const ColumnFormat& c : TotalColumns(Listing::Nota409))
        EXPECT_EQ(FormatColumn(c, Variant(1234.5)), "1.234,50") << c.field;
}

// ---------------------------------------------------------------------------
// Header and footer texts

using ListingHeader = listingtest::Database;

TEST_F(ListingHeader, NamesTheIssuerThePeriodTheUserAndTheOrder) {
    db().Execute("update emitente set nome = :pnome", {{"pnome", Variant("Metalúrgica Irmãos Souza")}});
    HeaderTexts h = MakeHeader(db(), Listing::Nota403, March(), "Admin");
    EXPECT_EQ(h.emitente, "Metalúrgica Irmãos Souza");
    EXPECT_EQ(h.programa, "Prg: NOTA403");
    EXPECT_EQ(h.usuario, "Usuário: Admin");
    EXPECT_EQ(h.titulo, "Notas Fiscais Emitidas entre: 01/03/2024 E 31/03/2024");
    EXPECT_EQ(h.classificacao, "Classificada por (Série + Número Nota)");

    h = MakeHeader(db(), Listing::Nota409, March(), "maria");
    EXPECT_EQ(h.programa, "Prg: NOTA409");
    EXPECT_EQ(h.titulo, "Resumo venda por Grupo: 01/03/2024 E 31/03/2024");
    EXPECT_EQ(h.classificacao, "Classificada por (Código Grupo)");
    EXPECT_EQ(h.usuario, "Usuário: maria");

    EXPECT_EQ(MakeHeader(db(), Listing::Nota300, March(), "Admin").programa, "Prg: NOTA300");
}

TEST_F(ListingHeader, WithoutAnIssuerTheNameIsQuestionMarks) {
    db().Execute("delete from emitente");
    EXPECT_EQ(MakeHeader(db(), Listing::Nota403, March(), "Admin").emitente, "??????");
}
