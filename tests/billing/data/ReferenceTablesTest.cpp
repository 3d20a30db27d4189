// A new database comes with every state, every municipality with its IBGE
// code and the banks' compensation codes; an older one whose tables are empty
// gets them at its upgrade; what a clerk wrote is never replaced. The counts
// per state are IBGE's published ones, the check digit is IBGE's rule
// computed here, independently of the data.
#include "billing/data/ReferenceTables.h"
#include "billing/data/Schema.h"
#include "billing/data/SchemaUpgrade.h"

#include "tests/billing/data/DataTestSupport.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace billing::data;
using namespace billdata_test;

namespace {

// IBGE's Divisão Territorial Brasileira: municipalities per state (with the
// Federal District and Fernando de Noronha), Boa Esperança do Norte (MT)
// counted since its installation in 2025.
const std::map<std::string, int> kPerState = {
    {"RO", 52},  {"AC", 22},  {"AM", 62},  {"RR", 15},  {"PA", 144}, {"AP", 16},  {"TO", 139},
    {"MA", 217}, {"PI", 224}, {"CE", 184}, {"RN", 167}, {"PB", 223}, {"PE", 185}, {"AL", 102},
    {"SE", 75},  {"BA", 417}, {"MG", 853}, {"ES", 78},  {"RJ", 92},  {"SP", 645}, {"PR", 399},
    {"SC", 295}, {"RS", 497}, {"MS", 79},  {"MT", 142}, {"GO", 246}, {"DF", 1}};

// IBGE's check digit: the first six digits weighted 1, 2, 1, 2, 1, 2, the
// digits of each product added, and the digit that completes the next ten.
int IbgeDigit(const std::string& code) {
    int sum = 0;
    for (int i = 0; i < 6; ++i) {
        int p = (code[i] - '0') * (i % 2 ? 2 : 1);
        sum += p / 10 + p % 10;
    }
    return (10 - sum % 10) % 10;
}

// Whether text is well-formed UTF-8 (no overlong forms, no surrogates).
bool WellFormedUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (n < 0 || i + n >= s.size() + (n == 0)) return false;
        char32_t cp = n == 0 ? c : c & (0x3f >> n);
        for (int k = 1; k <= n; ++k) {
            unsigned char t = s[i + k];
            if ((t & 0xc0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3f);
        }
        if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) ||
            (cp >= 0xd800 && cp <= 0xdfff) || cp > 0x10ffff)
            return false;
        i += n + 1;
    }
    return true;
}

class ReferenceRows : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("novo.db");
        ASSERT_TRUE(CreateDatabaseFile(path));
        db.Open(path);
    }
    testsupport::TempDir dir;
    std::string path;
    sqlite::Database db;
};

}  // namespace

TEST_F(ReferenceRows, ANewDatabaseHoldsEveryStateAndEveryMunicipalityAsIbgeCountsThem) {
    std::map<std::string, int> perState;
    sqlite::Statement st(db, "select uf.uf, count(*) from municipio join uf on uf.id_uf = municipio.id_uf "
                             "group by uf.uf");
    while (st.Step()) perState[st.ColumnText(0)] = static_cast<int>(st.ColumnInt64(1));
    EXPECT_EQ(perState, kPerState);
    EXPECT_EQ(Scalar(db, "select count(*) from uf"), "27");
    EXPECT_EQ(Scalar(db, "select count(*) from municipio"), "5571");
    // No municipality outside a state, and every state's code is its codes' prefix.
    EXPECT_EQ(Scalar(db, "select count(*) from municipio where id_uf not in (select id_uf from uf) "
                         "or id_municipio / 100000 <> id_uf"),
              "0");
    // The issuer's default, as the register joins it.
    EXPECT_EQ(Scalar(db, "select municipio.nome || '/' || uf.uf from municipio join uf on uf.id_uf = "
                         "municipio.id_uf where id_municipio = 4106902"),
              "Curitiba/PR");
}

TEST_F(ReferenceRows, EveryCodeCarriesIbgesCheckDigitSaveTheNineIbgePublishedAsExceptions) {
    const std::set<std::string> exceptions = {"2201919", "2201988", "2202251", "2611533", "3117836",
                                              "3152131", "4305871", "5203939", "5203962"};
    std::set<std::string> off;
    int codes = 0;
    sqlite::Statement st(db, "select id_municipio from municipio");
    while (st.Step()) {
        std::string code = st.ColumnText(0);
        ++codes;
        ASSERT_EQ(code.size(), 7u) << code;
        if (IbgeDigit(code) != code[6] - '0') off.insert(code);
    }
    EXPECT_EQ(codes, 5571);
    EXPECT_EQ(off, exceptions);
}

TEST_F(ReferenceRows, NamesAreUtf8WithTheirAccentsAndTheBanksAreKnownByCode) {
    const std::map<int, std::string> towns = {
        {3550308, "São Paulo"},      {5300108, "Brasília"},       {2111300, "São Luís"},
        {1501402, "Belém"},          {4205407, "Florianópolis"},  {5208707, "Goiânia"},
        {2408102, "Natal"},          {5101837, "Boa Esperança do Norte"},
        {3106200, "Belo Horizonte"}, {2611606, "Recife"},         {4314902, "Porto Alegre"},
        {1200401, "Rio Branco"},     {2408409, "Olho-d'Água do Borges"}};
    for (const auto& [code, name] : towns)
        EXPECT_EQ(Scalar(db, "select nome from municipio where id_municipio = " + std::to_string(code)), name);
    int accented = 0;
    for (const char* table : {"municipio", "febraban"}) {
        sqlite::Statement st(db, std::string("select nome from ") + table);
        while (st.Step()) {
            std::string name = st.ColumnText(0);
            EXPECT_TRUE(WellFormedUtf8(name)) << name;
            EXPECT_EQ(name.find('?'), std::string::npos) << name;
            EXPECT_FALSE(name.empty());
            for (unsigned char c : name) accented += c >= 0x80;
        }
    }
    EXPECT_GT(accented, 1000);  // accents not stripped on the way

    const std::map<int, std::string> banks = {{1, "BCO DO BRASIL S.A."},
                                              {104, "CAIXA ECONOMICA FEDERAL"},
                                              {237, "BCO BRADESCO S.A."},
                                              {341, "ITAÚ UNIBANCO S.A."},
                                              {33, "BCO SANTANDER (BRASIL) S.A."}};
    for (const auto& [code, name] : banks)
        EXPECT_EQ(Scalar(db, "select nome_fantasia from febraban where id_febraban = " + std::to_string(code)), name);
    EXPECT_EQ(Scalar(db, "select nome from febraban where id_febraban = 104"), "Caixa Econômica Federal");
    // The longest registered names stay whole in their columns.
    EXPECT_EQ(Scalar(db, "select max(length(nome)) from febraban"), "147");
}

TEST_F(ReferenceRows, AnUpgradeFillsEmptyTablesOnlyAndLeavesWhatTheClerkWrote) {
    db.Exec("delete from municipio");
    db.Exec("delete from febraban");
    db.Exec("insert into febraban(id_febraban, nome, nome_fantasia) values(999, 'Banco da Casa', 'CASA')");
    db.Exec("update uf set uf = 'XX' where id_uf = 41");
    db.Exec("update versao set versao = '1.8'");
    UpgradeResult r = UpgradeSchema(db);
    EXPECT_EQ(r.toVersion, kSchemaVersion);
    EXPECT_EQ(r.referenceRows, 5571);
    EXPECT_EQ(Scalar(db, "select count(*) from municipio"), "5571");
    EXPECT_EQ(Scalar(db, "select uf from uf where id_uf = 41"), "XX");
    EXPECT_EQ(Scalar(db, "select count(*) || nome from febraban"), "1Banco da Casa");

    std::string before = Dump(db);
    EXPECT_EQ(UpgradeSchema(db).referenceRows, 0);
    EXPECT_EQ(Dump(db), before);
}

TEST_F(ReferenceRows, AFillThatFailsHalfWayLeavesEveryTableEmpty) {
    for (const char* table : {"uf", "municipio", "febraban"}) db.Exec(std::string("delete from ") + table);
    db.Exec("create trigger recusa before insert on febraban when new.id_febraban = 341 "
            "begin select raise(abort, 'recusado'); end");
    EXPECT_THROW(SeedReferenceTables(db), Exception);
    for (const char* table : {"uf", "municipio", "febraban"})
        EXPECT_EQ(Scalar(db, std::string("select count(*) from ") + table), "0") << table;
    EXPECT_FALSE(db.InTransaction());
}

// The earlier bank list wrapped the names holding a comma in double quotes.
// A new database has none; one seeded by that release is mended at its next
// open, and a quote a clerk typed inside a name is left alone.
TEST_F(ReferenceRows, BankNamesCarryNoStrayQuotesInNewFilesAndOlderOnesAreMendedAtTheirUpgrade) {
    EXPECT_EQ(Scalar(db, "select count(*) from febraban where nome like '%\"%' or nome_fantasia like '%\"%'"), "0");
    EXPECT_EQ(Scalar(db, "select nome_fantasia from febraban where id_febraban = 584"),
              "CCC POUP E INV DOS ESTADOS DO PR, SP E RJ");

    // As the earlier release left them.
    db.Exec("update febraban set nome_fantasia = '\"' || nome_fantasia || '\"' where id_febraban in (582, 584)");
    db.Exec("update febraban set nome = 'Banco \"Casa\" Ltda' where id_febraban = 1");
    db.Exec("insert into febraban(id_febraban, nome, nome_fantasia) values(998, '\"', '\"\"')");
    UpgradeResult r = UpgradeSchema(db);
    EXPECT_EQ(r.repairs, 1);
    EXPECT_EQ(Scalar(db, "select nome_fantasia from febraban where id_febraban = 582"),
              "CCC POUP INV DE MS, GO, DF E TO");
    EXPECT_EQ(Scalar(db, "select nome_fantasia from febraban where id_febraban = 584"),
              "CCC POUP E INV DOS ESTADOS DO PR, SP E RJ");
    EXPECT_EQ(Scalar(db, "select nome from febraban where id_febraban = 1"), "Banco \"Casa\" Ltda");
    EXPECT_EQ(Scalar(db, "select nome || '|' || nome_fantasia from febraban where id_febraban = 998"), "\"|");

    std::string before = Dump(db);
    EXPECT_EQ(UpgradeSchema(db).repairs, 0);
    EXPECT_EQ(Dump(db), before);
}
