// The listings' totals at 100,000 invoices of amounts up to 999.999.999,99:
// every total printed (Nota403's and Nota300's summary, Nota409's group
// rows and sums) equals the one counted here in integer cents, to the cent
// for totals of up to 15 digits.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "billing/listings/InvoiceListing.h"
#include "billing/listings/ListingFormats.h"
#include "billing/listings/ListingReport.h"
#include "billing/listings/SalesByGroup.h"
#include "platform/db/SQLQuery.h"
#include "platform/rtl/Format.h"
#include "report/rpDevice.h"
#include "report/rpDrawCommand.h"
#include "report/rpPage.h"
#include "memtable/mtMemTable.h"
#include "report/rpMainReport.h"
#include "report/rpReport.h"
#include "tests/billing/listings/ListingFixture.h"

namespace {

using namespace billing::listings;

// Keeps, from the final pages only, the texts the named components print.
class TotalsDevice : public TrpDevice {
public:
    explicit TotalsDevice(std::vector<std::string> Names) : TrpDevice(nullptr), names_(std::move(Names)) {}
    bool FinalPagesOnly() const override { return false; }
    void ReceivePage(TrpPage* Page) override {
        TrpDevice::ReceivePage(Page);
        if (Page == nullptr || !Page->Final() || Page->Calculation()) return;
        ++pages_;
        for (int i = 0; i < Page->DrawCommandCount(); ++i) {
            auto* text = dynamic_cast<TrpDrawText*>(Page->DrawCommands(i));
            auto* component = dynamic_cast<TrpComponent*>(Page->DrawCommands(i)->ReportComponent);
            if (text == nullptr || component == nullptr) continue;
            for (const std::string& name : names_)
                if (component->Name() == name) printed[name].push_back(text->Text());
        }
    }
    int Pages() const { return pages_; }
    std::map<std::string, std::vector<std::string>> printed;

private:
    std::vector<std::string> names_;
    int pages_ = 0;
};

// Count thousandths (or hundredths, Decimals 2) as the listings print them:
// thousands parted by dots, the decimals after a comma.
std::string Brazilian(std::int64_t Count, int Decimals) {
    if (Count < 0) return "-" + Brazilian(-Count, Decimals);
    std::int64_t unit = Decimals == 2 ? 100 : 1000;
    std::string whole = std::to_string(Count / unit);
    for (int at = static_cast<int>(whole.size()) - 3; at > 0; at -= 3) whole.insert(static_cast<std::size_t>(at), ".");
    std::string fraction = std::to_string(Count % unit);
    fraction.insert(0, static_cast<std::size_t>(Decimals) - fraction.size(), '0');
    return whole + "," + fraction;
}

class ListingTotals : public listingtest::Database {
protected:
    void SetUp() override {
        listingtest::Database::SetUp();
        Product("P1", "101001001", "Parafuso");
        Product("P2", "201000000", "Tinta");
    }

    // Count invoices of one day, one in ten of random cents up to
    // 999.999.999,99 and the others up to 99.999,99 (so that the totals pass
    // 10^12, where a double sum drifts, and stay within the 15 digits a
    // double prints), and one item each of the invoice's amount; the sums
    // are counted as they go.
    // AllLarge: every invoice up to 999.999.999,99, for totals of 16 digits.
    void Fill(int Count, bool AllLarge = false) {
        std::mt19937_64 random(AllLarge ? 409 : 57);
        std::uniform_int_distribution<std::int64_t> big(1, 99999999999), small(1, AllLarge ? 99999999999 : 9999999);
        std::uniform_int_distribution<std::int64_t> grams(1, 999999999);
        static const char* const states[] = {"Autorizada", "AUTORIZADA", "Cancelada", "Denegada", "Autorizada"};
        db().BeginTrans();
        for (int n = 1; n <= Count; ++n) {
            auto& cents = n % 10 == 0 ? big : small;
            const std::int64_t total = cents(random), icms = cents(random) / 10, peso = grams(random);
            const char* state = states[n % 5];
            const std::string reg = "T" + std::to_string(n);
            Invoice(3, n, n % 2 ? "0000001" : "0000002", "2024-03-02", state, static_cast<double>(total) / 100,
                    static_cast<double>(icms) / 100, static_cast<double>(peso) / 1000, reg);
            const std::string product = n % 3 ? "P1" : "P2";
            Item(reg, product, 1, static_cast<double>(total) / 100);
            if (n % 5 != 2 && n % 5 != 3) {
                totalCents_ += total;
                icmsCents_ += icms;
                grams_ += peso;
            }
            groupCents_[product == "P1" ? "1" : "2"] += total;
        }
        db().CommitTrans();
    }

    static void Print(ListingReport& Report, TotalsDevice& device) {
        device.SetPublisher(Report.Report()->Publisher());
        TrpPageRequest all;
        all.SetPageSetting(psAll);
        device.SetPageRequest(&all);
        device.RequestPage();
        device.SetPublisher(nullptr);
    }

    // An invoice listing of the invoices from First (to Last, when given), as
    // the named components printed it.
    void PrintInvoices(Listing Kind, TDateTime First, std::optional<TDateTime> Last, TotalsDevice& device) {
        InvoiceListing invoices(Kind, db(), messages());
        Criteria c = Criteria::Initial(First);
        if (Last) c.dataFinal = *Last;
        ASSERT_TRUE(invoices.Gerar_Relatorio(c, "Admin"));
        TDataSource rows(nullptr);
        rows.SetDataSet(&invoices.Query());
        ListingReport report(Kind, &rows);
        report.SetHeader(invoices.Header(), CreditLine(Kind, "1.0"));
        Print(report, device);
    }

    // The sales by group of March: each group's total and the grand total
    // against the integer cents the rows were made of.
    void ExpectSalesByGroupInCents() {
        SalesByGroup sales(db(), messages());
        Criteria c = Criteria::Initial(Day(2024, 3, 1));
        c.dataFinal = Day(2024, 3, 31);
        ASSERT_TRUE(sales.Gerar_Relatorio(c, "Admin"));
        TDataSource rows(nullptr);
        rows.SetDataSet(sales.tbResumo());
        ListingReport report(Listing::Nota409, &rows);
        report.SetHeader(sales.Header(), CreditLine(Listing::Nota409, "1.0"));
        TotalsDevice device({"rpDBText3", "rpDBCalc1"});
        Print(report, device);
        std::vector<std::string> expectedGroups;
        std::int64_t all = 0;
        for (const auto& [group, sum] : groupCents_) {
            expectedGroups.push_back(Brazilian(sum, 2));
            all += sum;
        }
        EXPECT_EQ(device.printed.at("rpDBText3"), expectedGroups);
        ASSERT_EQ(device.printed.at("rpDBCalc1").size(), 1u);
        EXPECT_EQ(device.printed.at("rpDBCalc1")[0], Brazilian(all, 2));
    }

    std::int64_t totalCents_ = 0, icmsCents_ = 0, grams_ = 0;
    std::map<std::string, std::int64_t> groupCents_;
    listingtest::BrazilianNumbers numbers_;
};

TEST_F(ListingTotals, EveryTotalOfAHundredThousandInvoicesIsExactToTheCent) {
    constexpr int kInvoices = 100000;
    Fill(kInvoices);
    // Past 10^12 reais, where doubles drift, within 15 digits.
    ASSERT_GT(totalCents_, 100000000000000);
    ASSERT_LT(totalCents_, 1000000000000000);
    const std::vector<std::string> totals = {"vValor_Total_Nota", "vValor_ICMS", "vPeso_Bruto"};
    for (Listing kind : {Listing::Nota403, Listing::Nota300}) {
        SCOPED_TRACE(kind == Listing::Nota403 ? "Nota403" : "Nota300");
        TotalsDevice device(totals);
        PrintInvoices(kind, Day(2024, 3, 2),
                      kind == Listing::Nota403 ? std::optional<TDateTime>(Day(2024, 3, 31)) : std::nullopt, device);
        EXPECT_GT(device.Pages(), 1000);
        ASSERT_EQ(device.printed.at("vValor_Total_Nota").size(), 1u);
        EXPECT_EQ(device.printed.at("vValor_Total_Nota")[0], Brazilian(totalCents_, 2));
        EXPECT_EQ(device.printed.at("vValor_ICMS")[0], Brazilian(icmsCents_, 2));
        EXPECT_EQ(device.printed.at("vPeso_Bruto")[0], Brazilian(grams_, 3));
    }
    ExpectSalesByGroupInCents();
}

// Totals of 16 significant digits (up to some 7 x 10^13, where a double still
// holds every cent) and a single amount of 16 digits print their cents.
TEST_F(ListingTotals, SixteenDigitAmountsAndTotalsPrintTheirCents) {
    {
        SCOPED_TRACE("one amount");
        constexpr std::int64_t kCents = 1234567890123456;
        Invoice(3, 1, "0000001", "2024-03-02", "Autorizada", static_cast<double>(kCents) / 100, 0, 0, "U1");
        TotalsDevice device({"rpDBText7", "vValor_Total_Nota"});
        PrintInvoices(Listing::Nota403, Day(2024, 3, 2), std::nullopt, device);
        EXPECT_EQ(device.printed.at("rpDBText7"), std::vector<std::string>{Brazilian(kCents, 2)});
        EXPECT_EQ(device.printed.at("vValor_Total_Nota"), std::vector<std::string>{Brazilian(kCents, 2)});
        db().Execute("delete from nota_fiscal");
    }
    constexpr int kInvoices = 100000;
    Fill(kInvoices, true);
    ASSERT_GT(totalCents_, 1000000000000000);
    std::int64_t all = 0;
    for (const auto& [group, sum] : groupCents_) all += sum;
    // Below 2^46 a double's step is at most 1/128: each cent is a double of its own.
    ASSERT_LT(all, (std::int64_t{1} << 46) * 100);
    {
        SCOPED_TRACE("Nota403");
        TotalsDevice device({"vValor_Total_Nota", "vValor_ICMS"});
        PrintInvoices(Listing::Nota403, Day(2024, 3, 2), Day(2024, 3, 31), device);
        ASSERT_EQ(device.printed.at("vValor_Total_Nota").size(), 1u);
        EXPECT_EQ(device.printed.at("vValor_Total_Nota")[0], Brazilian(totalCents_, 2));
        EXPECT_EQ(device.printed.at("vValor_ICMS")[0], Brazilian(icmsCents_, 2));
    }
    SCOPED_TRACE("Nota409");
    ExpectSalesByGroupInCents();
}

// Items stored as quantity times price, with more decimals than an invoice
// states, count in the sales summary as their invoices state them: each to
// the cent, halves away from zero, negative items and a group that crosses
// zero alike. The stored values keep their decimals.
TEST_F(ListingTotals, TheSalesSummaryAddsEachItemAsItsInvoiceStatesIt) {
    Product("P3", "301000000", "Arruela");
    struct Sale {
        const char* produto;
        double quantidade, preco;
        std::int64_t stated;  // the item's cents on the invoice, written by hand
    };
    struct Nota {
        const char* registro;
        const char* emissao;
        const char* situacao;
        std::vector<Sale> items;
    };
    const std::map<std::string, std::string> grupo = {{"P1", "1"}, {"P2", "2"}, {"P3", "3"}};
    // Group 1: 26,27 + 61,29 + 1,18 + 13,13 + 234,90 + 1,18 = 337,95, whose
    // stored values add up to 337,9325.
    const std::vector<Nota> notas = {
        {"A1", "2024-03-04", "Autorizada", {{"P1", 3, 8.755, 2627}, {"P1", 7, 8.755, 6129}}},
        {"A2", "2024-03-05", "Autorizada",
         {{"P1", 0.5, 2.35, 118}, {"P1", 1.5, 8.755, 1313}, {"P1", 100, 2.349, 23490}, {"P1", 0.5, 2.35, 118}}},
        {"A3", "2024-03-06", "Erro",
         {{"P2", 1.5, 8.755, 1313}, {"P2", -7, 8.755, -6129}, {"P2", -0.5, 2.35, -118}, {"P2", 3, 8.755, 2627}}},
        {"A4", "2024-03-31 18:00:00", "Cancelada", {{"P3", 0.5, 0.01, 1}, {"P3", -1, 0.01, -1}}},
    };
    std::vector<double> stored;
    int numero = 0;
    for (const Nota& n : notas) {
        std::int64_t cents = 0;
        for (const Sale& s : n.items) cents += s.stated;
        Invoice(3, ++numero, "0000001", n.emissao, n.situacao, static_cast<double>(cents) / 100, 0, 0, n.registro);
        for (const Sale& s : n.items) {
            stored.push_back(s.quantidade * s.preco);
            Item(n.registro, s.produto, s.quantidade, stored.back());
            groupCents_[grupo.at(s.produto)] += s.stated;
        }
    }
    ExpectSalesByGroupInCents();
    TSQLQuery items;
    items.SetConnection(&db());
    items.SetSQL("select valor_total from nota_fiscal_item order by rowid");
    items.Open();
    std::vector<double> after;
    for (; !items.Eof(); items.Next()) after.push_back(items.FieldByName("valor_total")->AsFloat());
    EXPECT_EQ(after, stored);
}

// Invoices of 9 x 10^37 reais: three of them pass the total's exact count
// (and the 128 bits under it). The totals go on as the double sum of the
// amounts, above zero and below it, and print it as the column prints a
// value.
TEST_F(ListingTotals, TotalsPastTheExactCountPrintTheDoubleSumOfTheInvoices) {
    for (int n = 1; n <= 3; ++n)
        Invoice(3, n, "0000001", "2024-03-02", "Autorizada", 9e37, -9e37, 0, "E" + std::to_string(n));
    double total = 0, icms = 0;
    for (int n = 1; n <= 3; ++n) {
        total += 9e37;
        icms += -9e37;
    }
    for (Listing kind : {Listing::Nota403, Listing::Nota300}) {
        SCOPED_TRACE(kind == Listing::Nota403 ? "Nota403" : "Nota300");
        TotalsDevice device({"vValor_Total_Nota", "vValor_ICMS"});
        PrintInvoices(kind, Day(2024, 3, 2), std::nullopt, device);
        const auto& columns = TotalColumns(kind);
        EXPECT_EQ(device.printed.at("vValor_Total_Nota"),
                  std::vector<std::string>{FormatColumn(columns[0], Variant(total))});
        EXPECT_EQ(device.printed.at("vValor_ICMS"), std::vector<std::string>{FormatColumn(columns[1], Variant(icms))});
    }
}

}  // namespace
