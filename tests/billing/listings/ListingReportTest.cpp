// The listings' reports generated over the fixture database: the layout's
// texts at their places, the stripes and the invoice numbers as printed,
// and totals that equal the authorised invoices' sums on every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <map>
#include <set>

#include "billing/listings/InvoiceListing.h"
#include "billing/listings/ListingFormats.h"
#include "billing/listings/ListingReport.h"
#include "billing/listings/SalesByGroup.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "preview/rpPreviewRegister.h"
#include "report/rpDrawCommand.h"
#include "report_output/rpPDFDevice.h"
#include "report_output/rpTextControls.h"
#include "tests/report_output/PageInk.h"
#include "tests/report_output/PdfTestSupport.h"
#include "report/rpMainReport.h"
#include "report/rpPageStore.h"
#include "platform/rtl/Filer.h"
#include "report/rpRegister.h"
#include "report/rpUnits.h"
#include "report_output/rpOutputRegister.h"
#include "tests/billing/listings/ListingFixture.h"
#include "tests/support/report/ReportHarness.h"

namespace {

using namespace billing::listings;
using reporttest::CapturedPage;
using reporttest::CaptureDevice;

class ReportEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        rpSetScreenResolutionProvider([](int) { return 96; });
        report::registerAll();
        report_output::registerAll();
        preview::registerAll();
    }
    void TearDown() override {
        preview::unregisterAll();
        report_output::unregisterAll();
        report::unregisterAll();
        rpSetScreenResolutionProvider(nullptr);
    }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new ReportEnvironment);

struct Printed {
    std::string Text;
    int32_t Left = 0, Top = 0, Right = 0;  // on the page, thousandths of a mm
    int Page = 0;
    TColor Brush = clNone;
};

// Every command of the final pages by its maker's name.
std::multimap<std::string, Printed> Collect(const CaptureDevice& Device) {
    std::multimap<std::string, Printed> out;
    int page = 0;
    for (const CapturedPage* p : Device.FinalPages()) {
        ++page;
        for (int i = 0; i < p->Page->DrawCommandCount(); ++i) {
            TrpDrawCommand* c = p->Page->DrawCommands(i);
            Printed printed;
            printed.Left = c->Left();
            printed.Top = c->Top();
            printed.Right = c->Left() + c->Width();
            printed.Page = page;
            if (auto* t = dynamic_cast<TrpDrawText*>(c)) printed.Text = t->Text();
            if (auto* s = dynamic_cast<TrpDrawShape*>(c)) printed.Brush = s->Brush()->Color();
            out.emplace(p->Makers[static_cast<size_t>(i)].second, printed);
        }
    }
    return out;
}

std::vector<Printed> All(const std::multimap<std::string, Printed>& Map, const std::string& Name) {
    std::vector<Printed> out;
    auto [a, b] = Map.equal_range(Name);
    for (auto it = a; it != b; ++it) out.push_back(it->second);
    return out;
}

// Every page of the report, through Device (left connected for more runs).
void PrintAll(ListingReport& Report, CaptureDevice& Device) {
    Device.SetPublisher(Report.Report()->Publisher());
    static TrpPageRequest all;
    all.SetPageSetting(psAll);
    Device.SetPageRequest(&all);
    Device.RequestPage();
}

int32_t mm(double Value) { return static_cast<int32_t>(std::lround(Value * 1000)); }

// A listing printed whole over Rows, its commands collected.
struct Printing {
    Printing(Listing Kind, TDataSet* Rows, const HeaderTexts& Header) : report(Kind, Source(Rows)) {
        report.SetHeader(Header, CreditLine(Kind, "1.0"));
        PrintAll(report, device);
        printed = Collect(device);
    }
    TDataSource* Source(TDataSet* Rows) {
        source.SetDataSet(Rows);
        return &source;
    }
    TDataSource source{nullptr};
    ListingReport report;
    CaptureDevice device;
    std::multimap<std::string, Printed> printed;
};

class ListingReports : public listingtest::Database {
protected:
    void SetUp() override {
        listingtest::Database::SetUp();
        previous_ = FormatSettings;
        FormatSettings.DecimalSeparator = ',';
        FormatSettings.ThousandSeparator = '.';
        db().Execute("update emitente set nome = :p", {{"p", Variant(std::string("Oske Comércio Ltda"))}});
        Invoice(1, 1234, "0000001", "2024-03-05", "Autorizada", 1500.25, 270.05, 12.5);
        Invoice(1, 1235, "0000002", "2024-03-05", "Cancelada", 999.99, 10, 1);
        Invoice(1, 1236, "0000010", "2024-03-06", "Autorizada", 100.10, 18.02, 0.75);
        Invoice(1, 1237, "0000001", "2024-03-06", "Erro", 5000, 900, 7);
        Invoice(2, 7, "0000002", "2024-03-07", "Denegada", 42, 4.2, 0.2);
    }
    void TearDown() override {
        FormatSettings = previous_;
        listingtest::Database::TearDown();
    }

    Criteria March() const {
        Criteria c = Criteria::Initial(Day(2024, 3, 1));
        c.dataFinal = Day(2024, 3, 31);
        return c;
    }

    TFormatSettings previous_;
};

TEST_F(ListingReports, IssuedInvoicesPrintTheLayoutStripesNumbersAndTotals) {
    InvoiceListing listing(Listing::Nota403, db(), messages());
    ASSERT_TRUE(listing.Gerar_Relatorio(March(), "Admin"));
    TDataSource rows(nullptr);
    rows.SetDataSet(&listing.Query());
    ListingReport report(Listing::Nota403, &rows);
    report.SetHeader(listing.Header(), CreditLine(Listing::Nota403, "1.0"));
    report.SetZebra(true);
    CaptureDevice device;
    PrintAll(report, device);
    auto printed = Collect(device);

    // Header texts at the layout's places (the header band stands at the top margin).
    const struct {
        const char* Name;
        const char* Text;
        double Left, Top;
    } header[] = {
        {"lblEmitente", "Oske Comércio Ltda", 25.7, 2.4},
        {"rpLabel14", "Sys: OSKE", 3.7, 2.4},
        {"rpLabel13", "Prg: NOTA403", 3.4, 7.9},
        {"lblUsuario", "Usuário: Admin", 3.4, 12.7},
        {"lblTitulo", "Notas Fiscais Emitidas entre: 01/03/2024 E 31/03/2024", 41.5, 7.4},
        {"lblClassificacao", "Classificada por (Série + Número Nota)", 41.5, 12.2},
        {"rpSystemVariable2", "Página 1 de 1", 160.6, 7.4},
        {"lblColuna5", "Total Nota", 116.9, 19.1},
    };
    for (const auto& h : header) {
        auto found = All(printed, h.Name);
        ASSERT_EQ(found.size(), 1u) << h.Name;
        EXPECT_EQ(found[0].Text, h.Text) << h.Name;
        EXPECT_NEAR(found[0].Left, mm(6.35 + h.Left), 100) << h.Name;
        EXPECT_NEAR(found[0].Top, mm(6.35 + h.Top), 100) << h.Name;
    }

    // Rows: "Erro" left out; numbers as "000,000"; the asterisk beside the
    // invoices that are not authorised; stripes grey, white, grey...
    const auto numbers = All(printed, "rpDBText2");
    ASSERT_EQ(numbers.size(), 4u);
    EXPECT_EQ(numbers[0].Text, "001.234");
    EXPECT_EQ(numbers[3].Text, "000.007");
    const auto asterisks = All(printed, "lblAsterisco");
    std::vector<std::string> marks;
    for (const auto& a : asterisks) marks.push_back(a.Text);
    // Empty captions print nothing, so only the marked rows leave a text.
    EXPECT_EQ(std::count(marks.begin(), marks.end(), "*"), 2);
    const auto stripes = All(printed, "PZebrado");
    ASSERT_EQ(stripes.size(), 4u);
    EXPECT_EQ(stripes[0].Brush, static_cast<TColor>(0xE0E0E0));
    EXPECT_EQ(stripes[1].Brush, clWhite);
    EXPECT_EQ(stripes[2].Brush, static_cast<TColor>(0xE0E0E0));
    EXPECT_EQ(stripes[0].Top, mm(6.35 + 24.1));

    // Totals: the authorised invoices only, as the columns print them.
    const auto& formats = TotalColumns(Listing::Nota403);
    auto total = All(printed, "vValor_Total_Nota");
    ASSERT_EQ(total.size(), 1u);
    EXPECT_EQ(total[0].Text, FormatColumn(formats[0], Variant(1500.25 + 100.10)));
    EXPECT_EQ(total[0].Text, "1.600,35");
    EXPECT_EQ(All(printed, "vPeso_Bruto")[0].Text, "13,250");

    // A second run prints the same totals (they start again at each pass).
    device.RequestPage();
    auto again = Collect(device);
    auto totals = All(again, "vValor_Total_Nota");
    ASSERT_EQ(totals.size(), 2u);
    EXPECT_EQ(totals[1].Text, "1.600,35");
    EXPECT_EQ(All(again, "PZebrado")[4].Brush, static_cast<TColor>(0xE0E0E0));
}

// Pages kept compactly, as the benchmark's page list keeps them, come back
// as they were generated: the same commands, byte for byte in stored form.
class StoringCapture : public CaptureDevice {
public:
    void ReceivePage(TrpPage* Page) override {
        CaptureDevice::ReceivePage(Page);
        if (Page != nullptr && Page->Final() && !Page->Calculation()) Store.Add(Page);
    }
    report::PageStore Store;
};

std::string Stored(TrpPage* Page) {
    TMemoryStream out;
    WriteComponent(out, Page);
    return std::string(static_cast<const char*>(out.Memory()), static_cast<std::size_t>(out.Size()));
}

TEST_F(ListingReports, PagesKeptCompactlyComeBackAsGenerated) {
    const char* const clients[] = {"0000001", "0000002", "0000010"};
    for (int i = 0; i < 80; ++i)
        Invoice(3, 100 + i, clients[i % 3], "2024-03-08", i % 3 ? "Autorizada" : "Cancelada", 10.5 * i, 1.89 * i,
                0.25 * i);
    InvoiceListing listing(Listing::Nota403, db(), messages());
    ASSERT_TRUE(listing.Gerar_Relatorio(March(), "Admin"));
    TDataSource rows(nullptr);
    rows.SetDataSet(&listing.Query());
    ListingReport report(Listing::Nota403, &rows);
    report.SetHeader(listing.Header(), CreditLine(Listing::Nota403, "1.0"));
    report.SetZebra(true);
    StoringCapture device;
    PrintAll(report, device);
    const auto pages = device.FinalPages();
    ASSERT_EQ(device.Store.Count(), static_cast<int>(pages.size()));
    ASSERT_GE(pages.size(), 2u);
    for (std::size_t p = 0; p < pages.size(); ++p) {
        TrpPage* generated = pages[p]->Page.get();
        std::unique_ptr<TrpPage> back = device.Store.Page(static_cast<int>(p));
        ASSERT_EQ(back->DrawCommandCount(), generated->DrawCommandCount());
        for (int i = 0; i < generated->DrawCommandCount(); ++i) {
            EXPECT_EQ(back->DrawCommands(i)->ClassType(), generated->DrawCommands(i)->ClassType());
            EXPECT_TRUE(back->DrawCommands(i)->IsEqual(generated->DrawCommands(i))) << "page " << p << ", " << i;
        }
        EXPECT_EQ(Stored(back.get()), Stored(generated)) << "page " << p;
        EXPECT_EQ(device.Store.IndexOfPage(generated->AbsolutePageNo()), static_cast<int>(p));
    }
}

TEST_F(ListingReports, LongAmountsDatesAndTheUserPrintWhole) {
    Invoice(3, 1, "0000001", "2024-03-08", "Autorizada", 12345678.9, 1234567.89, 99999.999);
    dm.Set_Var("id_usuario", "Administrador");
    InvoiceListing listing(Listing::Nota403, db(), messages());
    ASSERT_TRUE(listing.Gerar_Relatorio(March(), dm.Get_Var("id_usuario")));
    TDataSource rows(nullptr);
    rows.SetDataSet(&listing.Query());
    ListingReport report(Listing::Nota403, &rows);
    report.SetHeader(listing.Header(), CreditLine(Listing::Nota403, "1.0"));
    CaptureDevice device;
    PrintAll(report, device);
    // A text prints whole when it fits its box or its box grows to it.
    const std::set<std::string> whole = {"lblUsuario",        "rpDBText3",   "rpDBText7",  "rpDBText6",
                                         "rpDBText8",         "vValor_Total_Nota", "vValor_ICMS", "vPeso_Bruto"};
    std::set<std::string> seen;
    for (const CapturedPage* p : device.FinalPages())
        for (int i = 0; i < p->Page->DrawCommandCount(); ++i) {
            auto* t = dynamic_cast<TrpDrawText*>(p->Page->DrawCommands(i));
            const std::string& name = p->Makers[static_cast<size_t>(i)].second;
            if (t == nullptr || whole.count(name) == 0) continue;
            seen.insert(name);
            const int32_t needed = rpMeasureText(t->Text(), t->Font(), false, 0, false).cx;
            EXPECT_TRUE(t->AutoSize() || needed <= t->Width()) << name << " \"" << t->Text() << "\"";
        }
    EXPECT_EQ(seen, whole);
    auto printed = Collect(device);
    EXPECT_EQ(All(printed, "lblUsuario")[0].Text, "Usuário: Administrador");
    EXPECT_EQ(All(printed, "vValor_Total_Nota")[0].Text, "12.347.279,25");
}

TEST_F(ListingReports, WithoutZebraNoStripePrints) {
    InvoiceListing listing(Listing::Nota300, db(), messages());
    Criteria today = Criteria::Initial(Day(2024, 3, 5));
    ASSERT_TRUE(listing.Gerar_Relatorio(today, "Admin"));
    TDataSource rows(nullptr);
    rows.SetDataSet(&listing.Query());
    ListingReport report(Listing::Nota300, &rows);
    report.SetHeader(listing.Header(), CreditLine(Listing::Nota300, "1.0"));
    CaptureDevice device;
    PrintAll(report, device);
    auto printed = Collect(device);
    EXPECT_TRUE(All(printed, "PZebrado").empty());
    EXPECT_EQ(All(printed, "rpDBText2").size(), 2u);
    EXPECT_EQ(All(printed, "lblEmitente")[0].Left, mm(6.35 + 29.1));
    EXPECT_EQ(All(printed, "vValor_Total_Nota")[0].Text, "1.500,25");
}

// A print queue names the job, and a PDF queue or an e-mail its file, after
// the pages' document name: the listing's own title, written so that a file
// name can hold it, never the library's "Report".
TEST_F(ListingReports, EachPrintedPageCarriesTheListingsTitleAsItsDocumentName) {
    InvoiceListing listing(Listing::Nota403, db(), messages());
    ASSERT_TRUE(listing.Gerar_Relatorio(March(), "Admin"));
    Printing run(Listing::Nota403, &listing.Query(), listing.Header());
    ASSERT_FALSE(run.device.FinalPages().empty());
    for (const CapturedPage* page : run.device.FinalPages())
        EXPECT_EQ(page->Page->DocumentName(), "Notas Fiscais Emitidas entre 01-03-2024 E 31-03-2024");
}

// Amounts are right-justified: a total ends where the amounts above it end,
// and every amount of a row sits on the row's line.
TEST_F(ListingReports, TotalsEndUnderTheirColumnsAndARowsAmountsShareItsLine) {
    Product("P1", "101001001", "Parafuso");
    Invoice(1, 50, "0000001", "2024-03-05", "Autorizada", 0, 0, 0, "R50");
    Item("R50", "P1", 2, 10.0);
    SalesByGroup sales(db(), messages());
    ASSERT_TRUE(sales.Gerar_Relatorio(March(), "Admin"));
    auto printed = Printing(Listing::Nota409, sales.tbResumo(), sales.Header()).printed;
    for (auto [amount, total] : {std::pair{"rpDBText3", "rpDBCalc1"}, {"rpDBText4", "rpDBCalc2"},
                                 {"rpDBText5", "rpDBCalc3"}}) {
        SCOPED_TRACE(total);
        ASSERT_FALSE(All(printed, amount).empty());
        ASSERT_EQ(All(printed, total).size(), 1u);
        EXPECT_EQ(All(printed, total)[0].Right, All(printed, amount)[0].Right);
    }

    InvoiceListing listing(Listing::Nota403, db(), messages());
    ASSERT_TRUE(listing.Gerar_Relatorio(March(), "Admin"));
    printed = Printing(Listing::Nota403, &listing.Query(), listing.Header()).printed;
    const auto totals = All(printed, "rpDBText7"), icms = All(printed, "rpDBText6"), pesos = All(printed, "rpDBText8");
    ASSERT_EQ(pesos.size(), totals.size());
    ASSERT_FALSE(pesos.empty());
    for (std::size_t i = 0; i < pesos.size(); ++i) {
        EXPECT_EQ(pesos[i].Top, totals[i].Top) << "row " << i;
        EXPECT_EQ(icms[i].Top, totals[i].Top) << "row " << i;
    }
    for (auto [amount, total] : {std::pair{"rpDBText7", "vValor_Total_Nota"}, {"rpDBText6", "vValor_ICMS"},
                                 {"rpDBText8", "vPeso_Bruto"}}) {
        SCOPED_TRACE(total);
        ASSERT_EQ(All(printed, total).size(), 1u);
        EXPECT_EQ(All(printed, total)[0].Right, All(printed, amount)[0].Right);
    }
}

TEST_F(ListingReports, SalesByGroupSumsTheGroupsAndStartsWhite) {
    Product("P1", "101001001", "Parafuso");
    Product("P2", "102003004", "Porca");
    Product("G1", "1", "Ferragens");
    Product("P3", "201000000", "Tinta");
    Invoice(1, 50, "0000001", "2024-03-05", "Autorizada", 0, 0, 0, "R50");
    Invoice(1, 51, "0000001", "2024-03-06", "Cancelada", 0, 0, 0, "R51");
    Item("R50", "P1", 2, 10.0);
    Item("R50", "P2", 3, 20.5);
    Item("R51", "P1", 1, 5.0);
    Item("R51", "P3", 4, 40.0);
    SalesByGroup sales(db(), messages());
    ASSERT_TRUE(sales.Gerar_Relatorio(March(), "Admin"));
    TDataSource rows(nullptr);
    rows.SetDataSet(sales.tbResumo());
    ListingReport report(Listing::Nota409, &rows);
    report.SetHeader(sales.Header(), CreditLine(Listing::Nota409, "1.0"));
    report.SetZebra(true);
    CaptureDevice device;
    PrintAll(report, device);
    auto printed = Collect(device);
    std::vector<std::string> groups, descriptions;
    for (const auto& p : All(printed, "rpDBText1")) groups.push_back(p.Text);
    for (const auto& p : All(printed, "rpDBText2")) descriptions.push_back(p.Text);
    EXPECT_EQ(groups, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(descriptions, (std::vector<std::string>{"Ferragens", ""}));  // no product is "2" alone
    EXPECT_EQ(All(printed, "rpDBText3")[0].Text, "35,50");
    EXPECT_EQ(All(printed, "rpDBCalc1")[0].Text, "75,50");
    EXPECT_EQ(All(printed, "rpDBCalc2")[0].Text, "10,00");
    const auto stripes = All(printed, "PZebrado");
    ASSERT_EQ(stripes.size(), 2u);
    EXPECT_EQ(stripes[0].Brush, clWhite);
    EXPECT_EQ(stripes[1].Brush, static_cast<TColor>(0xE0E0E0));
    EXPECT_EQ(All(printed, "rpLabel13")[0].Text, "Prg: NOTA409");
}

}  // namespace

namespace {

TEST_F(ListingReports, ThePdfOfTheIssuedInvoicesShowsTheTotalsLine) {
    InvoiceListing listing(Listing::Nota403, db(), messages());
    ASSERT_TRUE(listing.Gerar_Relatorio(March(), "Admin"));
    TDataSource rows(nullptr);
    rows.SetDataSet(&listing.Query());
    ListingReport report(Listing::Nota403, &rows);
    report.SetHeader(listing.Header(), CreditLine(Listing::Nota403, "1.0"));
    CaptureDevice device;
    PrintAll(report, device);
    // The final pages, as a PDF file.
    const std::string file = dir.file("nota403.pdf");
    TrpPDFDevice pdf(nullptr);
    pdf.SetFileName(file);
    pdf.StartJob();
    for (const CapturedPage* p : device.FinalPages()) pdf.ReceivePage(p->Page.get());
    pdf.EndJob();
    const auto text = filetest::Shell("pdftotext -layout " + file + " -");
    ASSERT_EQ(text.Status, 0);
    EXPECT_NE(text.Output.find("* Não são consideradas na totalização"), std::string::npos) << text.Output;
    const size_t totais = text.Output.find("TOTAIS");
    ASSERT_NE(totais, std::string::npos) << text.Output;
    const std::string line = text.Output.substr(totais, text.Output.find('\n', totais) - totais);
    EXPECT_NE(line.find("1.600,35"), std::string::npos) << line;
    EXPECT_NE(line.find("288,07"), std::string::npos) << line;
    EXPECT_NE(line.find("13,250"), std::string::npos) << line;
    EXPECT_NE(text.Output.find("001.234"), std::string::npos);
}

}  // namespace

namespace {

// Where a text's ink lies: its measured width placed in its box by its
// alignment (a fixed box clips it; an auto-sized one is the text's own).
struct Ink {
    std::string Name, Text;
    int32_t Left, Top, Right, Bottom;
};

Ink InkOf(const std::string& Name, TrpDrawText* T) {
    const int32_t w = rpMeasureText(T->Text(), T->Font(), false, 0, false).cx;
    int32_t left = T->Left();
    if (T->TextAlignment() == taRightJustified) left = T->Left() + T->Width() - w;
    if (T->TextAlignment() == taCentered) left = T->Left() + (T->Width() - w) / 2;
    int32_t right = left + w;
    if (!T->AutoSize()) {
        left = std::max(left, T->Left());
        right = std::min(right, T->Left() + T->Width());
    }
    return {Name, T->Text(), left, T->Top(), right, T->Top() + T->Height()};
}

// Every pair of texts whose ink touches on a page, and every text whose ink
// crosses a vertical rule beside it: one line each.
std::vector<std::string> Crowding(const CaptureDevice& Device) {
    std::vector<std::string> found;
    int page = 0;
    for (const CapturedPage* p : Device.FinalPages()) {
        ++page;
        std::vector<Ink> inks;
        std::vector<std::pair<int32_t, std::pair<int32_t, int32_t>>> rules;  // x, top..bottom
        for (int i = 0; i < p->Page->DrawCommandCount(); ++i) {
            TrpDrawCommand* c = p->Page->DrawCommands(i);
            const std::string& name = p->Makers[static_cast<size_t>(i)].second;
            if (auto* t = dynamic_cast<TrpDrawText*>(c)) {
                if (!Trim(t->Text()).empty()) inks.push_back(InkOf(name, t));
            } else if (auto* l = dynamic_cast<TrpDrawLine*>(c)) {
                if (l->LinePosition() == lpLeft) rules.push_back({l->Left(), {l->Top(), l->Top() + l->Height()}});
            }
        }
        for (size_t a = 0; a < inks.size(); ++a) {
            const Ink& x = inks[a];
            for (size_t b = a + 1; b < inks.size(); ++b) {
                const Ink& y = inks[b];
                if (x.Left < y.Right && y.Left < x.Right && x.Top < y.Bottom && y.Top < x.Bottom)
                    found.push_back("page " + std::to_string(page) + ": " + x.Name + " \"" + x.Text + "\" touches " +
                                    y.Name + " \"" + y.Text + "\"");
            }
            for (const auto& [rx, span] : rules)
                if (x.Left < rx && rx < x.Right && x.Top < span.second && span.first < x.Bottom)
                    found.push_back("page " + std::to_string(page) + ": " + x.Name + " \"" + x.Text +
                                    "\" crosses the rule at " + std::to_string(rx));
        }
    }
    return found;
}

class CrowdedListings : public ListingReports {
protected:
    // Invoices From..To over March with amounts up to 999.999.999,99, every
    // status, long client names, and items in a handful of product groups.
    void Fill(int From, int To) {
        static const char* const states[] = {"Autorizada", "Em Digitação", "Cancelada", "Denegada",
                                             "Erro",       "Transmitida",  "Inutilizada"};
        if (From == 1) {
            Client("0000020", "Distribuidora de Materiais de Construção Irmãos Albuquerque Ltda");
            Product("G1", "1", "Ferragens, parafusos, porcas, arruelas e fixadores de todas as medidas em aço");
            Product("G2", "2", "Tintas");
            Product("P1", "101001001", "Parafuso");
            Product("P2", "201000000", "Tinta");
        }
        db().BeginTrans();
        for (int n = From; n <= To; ++n) {
            const double big = n % 3 == 1 ? 999999999.99 : n % 3 == 2 ? 1234567.89 : 42.0;
            const std::string reg = "Q" + std::to_string(n);
            const int day = n % 28 + 1;
            Invoice(9, n, n % 2 ? "0000020" : "0000001", "2024-03-" + std::string(day < 10 ? "0" : "") +
                                                               std::to_string(day),
                    states[n % 7], big, big, n % 5 == 0 ? 999999.999 : 12.5, reg);
            Item(reg, n % 2 ? "P1" : "P2", 1, big);
        }
        db().CommitTrans();
    }

    CaptureDevice& Print(Listing Kind) {
        // The last run's report lets go of its rows before they go.
        device_.reset();
        report_.reset();
        rows_.SetDataSet(nullptr);
        sales_.reset();
        invoices_.reset();
        device_ = std::make_unique<CaptureDevice>();
        if (Kind == Listing::Nota409) {
            sales_ = std::make_unique<SalesByGroup>(db(), messages());
            EXPECT_TRUE(sales_->Gerar_Relatorio(March(), "Administrador"));
            rows_.SetDataSet(sales_->tbResumo());
            report_ = std::make_unique<ListingReport>(Kind, &rows_);
            report_->SetHeader(sales_->Header(), CreditLine(Kind, "1.0"));
        } else {
            invoices_ = std::make_unique<InvoiceListing>(Kind, db(), messages());
            Criteria c = March();
            if (Kind == Listing::Nota300) c = Criteria::Initial(Day(2024, 3, 2));
            EXPECT_TRUE(invoices_->Gerar_Relatorio(c, "Administrador"));
            rows_.SetDataSet(&invoices_->Query());
            report_ = std::make_unique<ListingReport>(Kind, &rows_);
            report_->SetHeader(invoices_->Header(), CreditLine(Kind, "1.0"));
        }
        PrintAll(*report_, *device_);
        return *device_;
    }

    std::unique_ptr<InvoiceListing> invoices_;
    std::unique_ptr<SalesByGroup> sales_;
    TDataSource rows_{nullptr};
    std::unique_ptr<ListingReport> report_;
    std::unique_ptr<CaptureDevice> device_;
};

TEST_F(CrowdedListings, NoTextTouchesAnotherOrARuleWhateverTheAmountsAndCounts) {
    // Ten thousand invoices only with the full counts.
    const char* all = std::getenv("FAT_FAULT_ALL");
    std::vector<int> counts = {1, 120};
    if (all != nullptr && std::string(all) == "1") counts.push_back(10000);
    int filled = 0;
    for (int count : counts) {
        Fill(filled + 1, count);
        filled = count;
        for (Listing kind : {Listing::Nota300, Listing::Nota403, Listing::Nota409}) {
            SCOPED_TRACE("listing " + std::to_string(static_cast<int>(kind)) + ", " + std::to_string(count) +
                         " invoices");
            CaptureDevice& device = Print(kind);
            ASSERT_FALSE(device.FinalPages().empty());
            // The widest amount is there to crowd its neighbours.
            const std::string widest = kind == Listing::Nota409 ? "rpDBCalc1" : "rpDBText7";
            const auto amounts = All(Collect(device), widest);
            EXPECT_TRUE(std::any_of(amounts.begin(), amounts.end(),
                                    [](const Printed& a) { return a.Text.size() >= 14; }));
            const auto crowded = Crowding(device);
            EXPECT_TRUE(crowded.empty()) << crowded.size() << " texts crowded, first: " << crowded.front();
            // The statuses and amounts are whole: nothing cut at its box.
            const std::set<std::string> whole =
                kind == Listing::Nota409
                    ? std::set<std::string>{"rpDBText3", "rpDBText4", "rpDBText5", "rpDBCalc1", "rpDBCalc2",
                                            "rpDBCalc3"}
                    : std::set<std::string>{"rpDBText6", "rpDBText7", "rpDBText8", "rpDBText9", "vValor_Total_Nota",
                                            "vValor_ICMS", "vPeso_Bruto"};
            for (const CapturedPage* p : device.FinalPages())
                for (int i = 0; i < p->Page->DrawCommandCount(); ++i)
                    if (auto* t = dynamic_cast<TrpDrawText*>(p->Page->DrawCommands(i)))
                        if (whole.count(p->Makers[static_cast<size_t>(i)].second) > 0)
                            EXPECT_LE(rpMeasureText(t->Text(), t->Font(), false, 0, false).cx, t->Width())
                                << p->Makers[static_cast<size_t>(i)].second << " \"" << t->Text() << "\"";
            if (kind != Listing::Nota403 || count != 120) continue;
            // As a reader copies it from the PDF: the totals apart from the
            // label and each other, a status whole.
            const std::string file = dir.file("crowded.pdf");
            TrpPDFDevice pdf(nullptr);
            pdf.SetFileName(file);
            pdf.StartJob();
            for (const CapturedPage* p : device.FinalPages()) pdf.ReceivePage(p->Page.get());
            pdf.EndJob();
            if (const char* shots = std::getenv("FAT_SHOTS"))
                filetest::Shell("pdftoppm -r 150 -png -f " + std::to_string(device.FinalPages().size()) + " " + file +
                                " " + shots + "/listing-403");
            const std::string text = filetest::Shell("pdftotext " + file + " -").Output;
            EXPECT_NE(text.find("Em Digitação"), std::string::npos);
            for (const char* name : {"vValor_Total_Nota", "vValor_ICMS", "vPeso_Bruto"}) {
                const std::string total = All(Collect(device), name).back().Text;
                const size_t at = text.find(total);
                ASSERT_NE(at, std::string::npos) << total << "\n" << text.substr(text.size() - 400);
                EXPECT_TRUE(at > 0 && std::isspace(static_cast<unsigned char>(text[at - 1]))) << total;
                EXPECT_TRUE(std::isspace(static_cast<unsigned char>(text[at + total.size()]))) << total;
            }
        }
    }
}

// The printed page as pdftoppm draws it, each text's ink found inside its
// command's box: what a reader sees of the columns.
class ReadColumns : public CrowdedListings {
protected:
    static constexpr int kDpi = 300;
    void Write(CaptureDevice& Device, const std::string& Name) {
        pdf_ = dir.file(Name + ".pdf");
        TrpPDFDevice pdf(nullptr);
        pdf.SetFileName(pdf_);
        pdf.StartJob();
        for (const CapturedPage* p : Device.FinalPages()) pdf.ReceivePage(p->Page.get());
        pdf.EndJob();
        pictures_.clear();
        pageink::Keep(Picture(static_cast<int>(Device.FinalPages().size())), Name + ".png");
    }
    const QImage& Picture(int Page) {
        auto it = pictures_.find(Page);
        if (it == pictures_.end()) it = pictures_.emplace(Page, pageink::PdfPicture(pdf_, Page, kDpi)).first;
        return it->second;
    }
    // The ink of a command on its page, within its box grown by Margin pixels.
    QRect InkOf(int Page, const TrpDrawCommand* C, int Margin = 0) {
        return pageink::InkBox(Picture(Page), pageink::BoxOf(C, kDpi, Margin));
    }
    // Where a figure ends stands on its line: the ink of the last figures.
    int Baseline(int Page, const TrpDrawText* C) {
        const QRect ink = InkOf(Page, C, 2);
        if (ink.isNull()) return -1;
        const int em = pageink::Px(static_cast<int>(C->Font()->Size() * 25400 / 72), kDpi);
        const QRect figures(ink.right() - em * 9 / 10, ink.top(), em * 9 / 10 + 1, ink.height());
        return pageink::InkBox(Picture(Page), figures).bottom();
    }
    std::string pdf_;
    std::map<int, QImage> pictures_;
};

TEST_F(ReadColumns, LongNamesEndAtAWholeCharacterInsideTheirColumn) {
    Fill(1, 30);
    const std::string longName = "Distribuidora de Materiais de Construção Irmãos Albuquerque Ltda";
    struct Column {
        Listing Kind;
        const char* Name;
        std::string Full;  // the value as the data has it
    };
    for (const Column& c : {Column{Listing::Nota403, "rpDBText4", longName}, Column{Listing::Nota300, "rpDBText4", longName},
                            Column{Listing::Nota409, "rpDBText2",
                                   "Ferragens, parafusos, porcas, arruelas e fixadores de todas as medidas em aço"}}) {
        SCOPED_TRACE(c.Name + std::string(" of listing ") + std::to_string(static_cast<int>(c.Kind)));
        CaptureDevice& device = Print(c.Kind);
        Write(device, "nomes-" + std::to_string(static_cast<int>(c.Kind)));
        int seen = 0;
        int page = 0;
        for (const CapturedPage* p : device.FinalPages()) {
            ++page;
            for (int i = 0; i < p->Page->DrawCommandCount(); ++i) {
                auto* t = dynamic_cast<TrpDrawText*>(p->Page->DrawCommands(i));
                if (t == nullptr || p->Makers[static_cast<size_t>(i)].second != c.Name) continue;
                if (t->Text().empty() || c.Full.compare(0, 12, t->Text(), 0, 12) != 0) continue;
                ++seen;
                // Whole characters of the name, in a readable font, that fit.
                EXPECT_EQ(c.Full.compare(0, t->Text().size(), t->Text()), 0) << t->Text();
                EXPECT_TRUE(utf8::IsValid(t->Text())) << t->Text();
                EXPECT_GE(t->Font()->Size(), 8) << t->Text();
                const int32_t box = t->AutoSize() ? mm(95) : t->Width();
                EXPECT_LE(rpMeasureTextWidth(t->Text(), t->Font()), box) << t->Text();
                // No glyph cut at the box's edge: the ink stops short of it.
                const QRect ink = InkOf(page, t);
                ASSERT_FALSE(ink.isNull()) << t->Text();
                EXPECT_LT(ink.right(), pageink::Px(t->Left() + box, kDpi) - 1) << t->Text();
                const QRect beyond(pageink::Px(t->Left() + box, kDpi), ink.top(), pageink::Px(1500, kDpi), ink.height());
                EXPECT_EQ(pageink::InkCount(Picture(page), beyond), 0) << t->Text() << " leaves its box";
            }
        }
        EXPECT_GT(seen, 0);
    }
}

TEST_F(ReadColumns, AmountsKeepTheRowsLineAndAReadableSizeAndTheirColumnGrowsForTheWidest) {
    Fill(1, 120);
    // Authorised invoices enough for a total of eleven figures before the
    // cents: at 6 points it is wider than the column as drawn.
    for (int n = 1; n <= 12; ++n)
        Invoice(8, n, "0000001", "2024-03-20", "Autorizada", 999999999.99, 999999999.99, 999999.999);
    for (Listing kind : {Listing::Nota403, Listing::Nota409}) {
        SCOPED_TRACE("listing " + std::to_string(static_cast<int>(kind)));
        CaptureDevice& device = Print(kind);
        Write(device, "valores-" + std::to_string(static_cast<int>(kind)));
        const bool sales = kind == Listing::Nota409;
        const std::set<std::string> amounts =
            sales ? std::set<std::string>{"rpDBText3", "rpDBText4", "rpDBText5"}
                  : std::set<std::string>{"rpDBText7", "rpDBText6"};
        const std::set<std::string> totals = sales ? std::set<std::string>{"rpDBCalc1", "rpDBCalc2", "rpDBCalc3"}
                                                   : std::set<std::string>{"vValor_Total_Nota", "vValor_ICMS", "vPeso_Bruto"};
        const std::string rowMark = sales ? "rpDBText1" : "rpDBText3";  // the group, the date
        int page = 0, rows = 0, shrunk = 0;
        std::vector<int> totalLines;
        for (const CapturedPage* p : device.FinalPages()) {
            ++page;
            std::vector<const TrpDrawCommand*> rules;  // the page's column rules
            std::map<int32_t, int> rowLine;             // a row's bottom: where its mark stands
            for (int i = 0; i < p->Page->DrawCommandCount(); ++i)
                if (auto* l = dynamic_cast<TrpDrawLine*>(p->Page->DrawCommands(i)); l && l->LinePosition() == lpLeft)
                    rules.push_back(l);
            for (int i = 0; i < p->Page->DrawCommandCount(); ++i) {
                auto* t = dynamic_cast<TrpDrawText*>(p->Page->DrawCommands(i));
                if (t != nullptr && p->Makers[static_cast<size_t>(i)].second == rowMark && !t->Text().empty())
                    rowLine[t->Top() + t->Height()] = Baseline(page, t);
            }
            for (int i = 0; i < p->Page->DrawCommandCount(); ++i) {
                auto* t = dynamic_cast<TrpDrawText*>(p->Page->DrawCommands(i));
                const std::string& name = p->Makers[static_cast<size_t>(i)].second;
                const bool total = totals.count(name) > 0;
                if (t == nullptr || (!total && amounts.count(name) == 0) || t->Text().empty()) continue;
                EXPECT_GE(t->Font()->Size(), 6) << name << " \"" << t->Text() << "\"";
                shrunk += t->Font()->Size() < 10 ? 1 : 0;
                // Between the rules of its column, whatever its width: its
                // ink in the column touches neither rule.
                const int32_t middle = t->Left() + t->Width() / 2;
                int32_t left = 0, right = mm(210);
                for (const TrpDrawCommand* r : rules) {
                    if (r->Top() > t->Top() + t->Height() || r->Top() + r->Height() < t->Top()) continue;
                    if (r->Left() <= middle) left = std::max(left, r->Left());
                    else right = std::min(right, r->Left());
                }
                const QRect row = pageink::BoxOf(t, kDpi);
                const QRect column(pageink::Px(left, kDpi) + 6, row.top(),
                                   pageink::Px(right, kDpi) - 1 - (pageink::Px(left, kDpi) + 6), row.height());
                const QRect ink = pageink::InkBox(Picture(page), column);
                ASSERT_FALSE(ink.isNull()) << name;
                EXPECT_GT(ink.left(), column.left() + 1) << name << " \"" << t->Text() << "\"";
                EXPECT_LT(ink.right(), column.right() - 1) << name << " \"" << t->Text() << "\"";
                // Figures of at least 6 points: more than half an em tall.
                const int line = Baseline(page, t);
                EXPECT_GE(line - ink.top(), pageink::Px(6 * 25400 / 72, kDpi) / 2) << name << " \"" << t->Text() << "\"";
                if (total) {
                    totalLines.push_back(line);
                    continue;
                }
                // On the line of its row, as the row's date or group stands.
                const auto mark = rowLine.find(t->Top() + t->Height());
                ASSERT_NE(mark, rowLine.end()) << name << " \"" << t->Text() << "\"";
                if (mark->second >= 0) {
                    ++rows;
                    EXPECT_NEAR(line, mark->second, 1) << name << " \"" << t->Text() << "\" on page " << page;
                }
            }
        }
        EXPECT_GT(rows, 0);
        EXPECT_GT(shrunk, 0) << "the data is to crowd the columns";
        ASSERT_EQ(totalLines.size(), 3u);
        for (int line : totalLines) EXPECT_NEAR(line, totalLines[0], 1) << "the totals stand on one line";
    }
}

}  // namespace
