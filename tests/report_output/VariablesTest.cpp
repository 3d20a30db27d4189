// Variables over a listing: values computed and reset on their events,
// the page total carried past a record that moved to the next page, blank
// zeros, typed writers, and the system variables (page numbers, counts,
// dates from the fixed clock) as a table.
#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <stdexcept>
#include <vector>

#include "report/rpBands.h"
#include "report/rpDBPipeline.h"
#include "report/rpExcept.h"
#include "report/rpGeneration.h"
#include "report/rpGroup.h"
#include "report/rpPublisher.h"
#include "report/rpUtils.h"
#include "report_output/rpVariables.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/report_output/OutputTestSupport.h"
#include "tests/report_output/PdfTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

struct VarRig {
    ReportRig Rig;
    RowsTable Data;

    explicit VarRig(int Rows)
        : Data({"Valor"}, [Rows] {
              std::vector<std::vector<Variant>> rows;
              for (int i = 1; i <= Rows; ++i) rows.push_back({Variant(i)});
              return rows;
          }()) {
        TrpBandedReport* r = Rig.Report();
        r->SetDataPipeline(Data.Pipeline());
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(10000);
        r->FooterBand()->SetmmHeight(10000);
        r->DetailBand()->SetmmHeight(6000);
        Rig.AddText(r->DetailBand(), "ValorTexto", 0, 0, 30000, 5000)->SetDataPipeline(Data.Pipeline());
        static_cast<TestText*>(Rig.Owner()->FindComponent("ValorTexto"))->SetDataField("Valor");
    }

    template <typename T>
    T* Add(TrpBand* Band, const std::string& Name, int32_t Left = 40000) {
        auto* v = new T(Rig.Owner());
        v->SetName(Name);
        v->SetUserName(Name);
        v->SetBand(Band);
        v->SetBounds(Left, 0, 40000, 5000);
        return v;
    }

    std::vector<std::pair<int, std::string>> Printed(const std::string& Component) const {
        std::vector<std::pair<int, std::string>> out;
        for (const CapturedPage* p : Rig.Device()->FinalPages())
            for (int i = 0; i < p->Page->DrawCommandCount(); ++i)
                if (p->Makers[static_cast<std::size_t>(i)].second == Component)
                    if (auto* t = dynamic_cast<const TrpDrawText*>(p->Page->DrawCommands(i)))
                        out.emplace_back(p->Page->AbsolutePageNo(), t->Text());
        return out;
    }
};

// Adds the current record's Valor to the variable.
void SumValor(TrpVariable* V, TrpDataPipeline* Pipeline) {
    V->SetDataType(dtInteger);
    V->OnCalc = [Pipeline](TObject*, Variant& Value) {
        Value = Variant(Value.AsInteger() + Pipeline->GetFieldValue("Valor").AsInteger());
    };
}

TEST(Variables, ARecordCounterRestartsOnEveryPage) {
    VarRig v(60);
    auto* counter = v.Add<TrpVariable>(v.Rig.Report()->DetailBand(), "Contador");
    counter->SetDataType(dtInteger);
    counter->SetResetType(vePageEnd);
    counter->OnCalc = [](TObject*, Variant& Value) { Value = Variant(Value.AsInteger() + 1); };
    v.Rig.Print();
    const auto printed = v.Printed("Contador");
    ASSERT_EQ(printed.size(), 60U);
    std::map<int, int> expectedNext;
    for (const auto& [page, text] : printed) {
        expectedNext[page] += 1;
        EXPECT_EQ(text, std::to_string(expectedNext[page])) << "page " << page;
    }
    EXPECT_GE(expectedNext.size(), 2U);
}

TEST(Variables, APageTotalInTheFooterCarriesTheRecordThatMovedToTheNextPage) {
    VarRig v(150);
    v.Rig.Report()->DetailBand()->SetPrintHeight(phDynamic);
    auto* total = v.Add<TrpVariable>(v.Rig.Report()->FooterBand(), "TotalPagina", 0);
    SumValor(total, v.Data.Pipeline());
    total->SetResetType(vePageEnd);
    v.Rig.Print();
    std::map<int, long> sums;
    for (const auto& [page, text] : v.Printed("ValorTexto")) sums[page] += std::stol(text);
    const auto footers = v.Printed("TotalPagina");
    ASSERT_GE(footers.size(), 3U);
    for (const auto& [page, text] : footers) EXPECT_EQ(text, std::to_string(sums[page])) << "page " << page;
}

TEST(Variables, AtAPageEndCarryOnlyNumbersCarryAndOtherKindsStartAfresh) {
    VarRig v(150);
    TrpBand* footer = v.Rig.Report()->FooterBand();
    v.Rig.Report()->DetailBand()->SetPrintHeight(phDynamic);
    TrpDataPipeline* pipeline = v.Data.Pipeline();
    std::map<std::string, std::vector<Variant>> resets;
    auto add = [&](const std::string& Name, TrpDataType Type, std::function<Variant(const Variant&)> Calc) {
        auto* var = v.Add<TrpVariable>(footer, Name, 0);
        var->SetDataType(Type);
        var->SetResetType(vePageEnd);
        var->OnCalc = [Calc](TObject*, Variant& Value) { Value = Calc(Value); };
        var->OnReset = [&resets, Name](TObject*, Variant& Value) { resets[Name].push_back(Value); };
    };
    auto valor = [pipeline] { return pipeline->GetFieldValue("Valor").AsInteger(); };
    add("Inteiro", dtInteger, [&](const Variant& V) { return Variant(V.AsInteger() + valor()); });
    add("Real", dtDouble, [&](const Variant& V) { return Variant(V.AsDouble() + valor() / 4.0); });
    add("Moeda", dtCurrency, [&](const Variant& V) {
        return Variant(V.AsCurrency() + Currency::FromRaw(static_cast<std::int64_t>(valor()) * 5000));
    });
    add("Marca", dtBoolean, [](const Variant&) { return Variant(true); });
    add("Letra", dtChar, [](const Variant&) { return Variant(std::string("X")); });
    const TDateTime someDay = 36925.5;
    add("Dia", dtDateTime, [someDay](const Variant&) { return Variant::FromDateTime(someDay); });
    v.Rig.Print();

    const auto& ints = resets["Inteiro"];
    ASSERT_GE(ints.size(), 2U);
    for (const char* name : {"Real", "Moeda", "Marca", "Letra", "Dia"}) ASSERT_EQ(resets[name].size(), ints.size()) << name;
    int carries = 0;
    for (std::size_t i = 0; i < ints.size(); ++i) {
        const int carried = ints[i].AsInteger();
        if (carried == 0) continue;
        ++carries;
        // The record that moved starts the next page in every numeric kind.
        EXPECT_DOUBLE_EQ(resets["Real"][i].AsDouble(), carried / 4.0);
        EXPECT_EQ(resets["Moeda"][i].AsCurrency().Raw(), static_cast<std::int64_t>(carried) * 5000);
        EXPECT_FALSE(resets["Marca"][i].AsBoolean()) << "reset " << i;
        EXPECT_EQ(resets["Letra"][i].AsString(), "") << "reset " << i;
        EXPECT_DOUBLE_EQ(resets["Dia"][i].AsDateTime(), rpNow()) << "reset " << i;
    }
    EXPECT_GE(carries, 1);
    // What the footers print agrees: each page's sum is its own rows'.
    std::map<int, long> sums;
    for (const auto& [page, text] : v.Printed("ValorTexto")) sums[page] += std::stol(text);
    for (const auto& [page, text] : v.Printed("Inteiro")) EXPECT_EQ(text, std::to_string(sums[page])) << page;
}

TEST(Variables, NullLeavesTheValueAndTypedWritersSwitchTheType) {
    TrpVariable v(nullptr);
    v.SetDataType(dtInteger);
    v.SetValue(Variant(42));
    v.SetValue(Variant::MakeNull());
    v.SetValue(Variant());
    EXPECT_EQ(v.Value().AsInteger(), 42);
    v.SetAsCurrency(12.5);
    EXPECT_EQ(v.DataType(), dtCurrency);
    EXPECT_DOUBLE_EQ(v.Value().AsDouble(), 12.5);
    v.SetAsString("abc");
    EXPECT_EQ(v.DataType(), dtString);
    EXPECT_EQ(v.Value().AsString(), "abc");
    v.SetDataType(dtChar);
    v.SetValue(Variant("xyz"));
    EXPECT_EQ(v.Value().AsString(), "x");
    // A type from dtVariant on is refused.
    v.SetDataType(dtVariant);
    EXPECT_EQ(v.DataType(), dtChar);
}

// A money total holds what the money type holds (some 922 trillion reais):
// an amount or a sum past that is said, never dropped from the total or
// wrapped around. Expected sums are cents added as integers.
TEST(Variables, AMoneyTotalPastTheMoneyRangeIsRefusedNeverDroppedOrWrapped) {
    struct Case {
        std::vector<double> Amounts;
        std::int64_t Cents;
        bool Refused;  // the total cannot hold the last amount
    };
    const std::vector<Case> cases = {
        {{200e12, 200e12, 200e12, 200e12}, 80000000000000000, false},
        {{500e12}, 50000000000000000, false},
        {{-900e12, 1.5}, -89999999999999850, false},
        {{900e12, -900e12, -0.01}, -1, false},
        {{200e12, 200e12, 200e12, 200e12, 200e12}, 0, true},
        {{-500e12, -500e12}, 0, true},
        {{1e300}, 0, true},
    };
    for (const Case& c : cases) {
        TrpVariable v(nullptr);
        v.SetDataType(dtCurrency);
        if (c.Refused) {
            for (std::size_t i = 0; i + 1 < c.Amounts.size(); ++i) v.Accumulate(c.Amounts[i]);
            const std::int64_t before = v.Value().AsCurrency().Raw();
            EXPECT_THROW(v.Accumulate(c.Amounts.back()), EOverflow) << c.Amounts.size();
            EXPECT_EQ(v.Value().AsCurrency().Raw(), before) << "a refused amount leaves the total as it was";
        } else {
            for (double a : c.Amounts) v.Accumulate(a);
            EXPECT_EQ(v.Value().AsCurrency().Raw(), c.Cents * 100) << c.Amounts.size();
        }
    }
}

// Amounts written as decimals, the reference sums counted from their digits
// in 128-bit ten-thousandths (the money type's unit), never through a double.
__int128 TenThousandthsOf(const std::string& Decimal) {
    const bool negative = Decimal[0] == '-';
    __int128 units = 0;
    int decimals = -1;
    for (char c : Decimal.substr(negative ? 1 : 0)) {
        if (c == '.') {
            decimals = 0;
            continue;
        }
        units = units * 10 + (c - '0');
        if (decimals >= 0) ++decimals;
    }
    for (int d = std::max(decimals, 0); d < 4; ++d) units *= 10;
    return negative ? -units : units;
}

// A sum of whole cents as the Brazilian format prints it: 922.337.203.685.477,50.
std::string Reais(__int128 TenThousandths) {
    const bool negative = TenThousandths < 0;
    __int128 cents = (negative ? -TenThousandths : TenThousandths) / 100;
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(cents % 10)));
        cents /= 10;
    } while (cents != 0);
    while (digits.size() < 3) digits.insert(digits.begin(), '0');
    std::string whole = digits.substr(0, digits.size() - 2);
    for (int at = static_cast<int>(whole.size()) - 3; at > 0; at -= 3) whole.insert(static_cast<std::size_t>(at), ".");
    return (negative ? "-" : "") + whole + "," + digits.substr(digits.size() - 2);
}

double AmountOf(const std::string& Decimal) {
    double v = 0;
    std::from_chars(Decimal.data(), Decimal.data() + Decimal.size(), v);
    // The case's digits are the double's own: the double stands for them.
    char back[64];
    const auto end = std::to_chars(back, back + sizeof back, v, std::chars_format::fixed).ptr;
    EXPECT_EQ(std::string(back, end), Decimal) << "não é um valor que o double guarde tal qual";
    return v;
}

// Each amount counts at the digits it was given, also past 9 x 10^11, where
// ten thousand times the amount no longer fits a double's 53 bits.
TEST(Variables, AMoneyTotalAddsEachAmountAtItsOwnDigits) {
    const std::vector<std::vector<std::string>> cases = {
        {"461168601842738.75", "461168601842738.75"},
        {"-461168601842738.75", "-461168601842738.75"},
        {"230584300921369.25", "230584300921369.25", "230584300921369.25", "230584300921369.25"},
        {"1234567890123.45", "0.05", "9876543210987.65", "-0.01"},
        {"987654321098.77", "987654321098.77", "987654321098.77"},
        {"123456789012345.6", "-98765432109876.5", "0.07"},
        {"900000000000.01", "900000000000.03", "900000000000.05"},
        {"72057594037927.94", "144115188075855.88", "0.5"},
    };
    for (const auto& amounts : cases) {
        TrpVariable v(nullptr);
        v.SetDataType(dtCurrency);
        __int128 expected = 0;
        for (const std::string& a : amounts) {
            v.Accumulate(AmountOf(a));
            expected += TenThousandthsOf(a);
        }
        EXPECT_EQ(Reais(v.Value().AsCurrency().Raw()), Reais(expected)) << amounts.front();
        EXPECT_TRUE(v.Value().AsCurrency().Raw() == expected) << amounts.front();
    }
}

// A report whose money total cannot hold its rows stops as any report error
// does, in the clerk's words, and the file of the same name from before stays
// whole: no page of a wrong total goes out.
TEST(Variables, AMoneyTotalPastTheRangeStopsTheReportAndKeepsTheEarlierFile) {
    testsupport::TempDir dir;
    const std::string pdf = dir.file("totais.pdf");
    auto print = [&pdf](const std::vector<std::string>& Amounts) {
        std::vector<std::vector<Variant>> rows;
        for (std::size_t i = 0; i < Amounts.size(); ++i) rows.push_back({Variant(static_cast<int>(i))});
        RowsTable data({"Linha"}, rows);
        ReportRig rig;
        TrpBandedReport* r = rig.Report();
        r->SetDataPipeline(data.Pipeline());
        r->CreateDefaultBands();
        r->DetailBand()->SetmmHeight(6000);
        r->CreateBand(btSummary);
        r->SummaryBand()->SetmmHeight(6000);
        auto* total = outputtest::Place<TrpVariable>(rig, r->SummaryBand(), "Total", 0, 0, 80000, 5000);
        total->SetDataType(dtCurrency);
        total->SetDisplayFormat("#,0.00");
        TrpDataPipeline* pipeline = data.Pipeline();
        r->DetailBand()->BeforePrint = [&](TObject*) {
            const std::string& amount = Amounts[static_cast<std::size_t>(pipeline->GetFieldValue("Linha").AsInteger())];
            if (amount == "falha") throw std::runtime_error("falha do manipulador");
            total->Accumulate(AmountOf(amount));
        };
        rig.Device()->SetPublisher(nullptr);
        r->SetDeviceType("PDF");
        r->SetShowPrintDialog(false);
        r->SetShowCancelDialog(false);
        r->SetTextFileName(pdf);
        r->PrintReport();
    };
    const std::vector<std::string> fits = {"461168601842738.75", "461168601842738.75"};
    print(fits);
    const std::string text = filetest::Shell("pdftotext " + pdf + " -").Output;
    EXPECT_NE(text.find(Reais(TenThousandthsOf(fits[0]) * 2)), std::string::npos) << text;
    const std::string before = testsupport::ReadAll(pdf);

    struct Failing {
        std::vector<std::string> Amounts;
        std::vector<std::string> Said;
    };
    const std::vector<Failing> failing = {
        {{"461168601842738.75", "461168601842738.75", "0.5"}, {"Não foi possível gerar o relatório.", "tipo moeda"}},
        {{"-461168601842738.75", "-461168601842738.75", "-0.5"}, {"Não foi possível gerar o relatório.", "tipo moeda"}},
        // Any other error that ends the run leaves the earlier file too.
        {{"1.5", "falha"}, {"falha do manipulador"}},
    };
    for (const Failing& f : failing) {
        std::string message = "nenhum erro";
        try {
            print(f.Amounts);
        } catch (const EPrintError& e) {
            message = e.Message();
        } catch (const std::exception& e) {
            message = e.what();
        }
        for (const std::string& said : f.Said) EXPECT_NE(message.find(said), std::string::npos) << message;
        const std::string after = testsupport::ReadAll(pdf);
        EXPECT_TRUE(after == before) << "o arquivo de antes (" << before.size() << " bytes) foi trocado por um de "
                                     << after.size() << " bytes";
        std::size_t files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) files += entry.is_regular_file();
        EXPECT_EQ(files, 1U) << "sobrou um arquivo ao lado";
    }
}

TEST(Variables, BlankWhenZeroBlanksNumbersOnly) {
    TrpVariable money(nullptr);
    money.SetAsCurrency(0);
    money.SetBlankWhenZero(true);
    EXPECT_EQ(money.GetText(), "");
    money.SetAsCurrency(3);
    EXPECT_NE(money.GetText(), "");
    TrpVariable text(nullptr);
    text.SetBlankWhenZero(true);
    text.SetAsString("0");
    EXPECT_EQ(text.GetText(), "0");
}

TEST(Variables, SystemVariablesPrintPageNumbersCountsAndTheFixedMoment) {
    VarRig v(100);
    struct Case {
        TrpVarType Type;
        std::string Format;
    };
    const std::vector<Case> cases{{vtPageNo, ""},        {vtPageCount, ""},        {vtPageSet, ""},  {vtPageSetDesc, ""},
                                  {vtPrintDateTime, "dd/mm/yyyy hh:nn"}, {vtDate, "dd/mm/yyyy"},
                                  {vtTime, "hh:nn"}};
    int left = 0;
    for (const Case& c : cases) {
        auto* s = v.Add<TrpSystemVariable>(v.Rig.Report()->FooterBand(), "Sistema" + std::to_string(c.Type), left);
        s->SetVarType(c.Type);
        s->SetDisplayFormat(c.Format);
        left += 25000;
    }
    auto* calc = v.Add<TrpCalc>(v.Rig.Report()->FooterBand(), "Calculo", left);
    calc->SetCalcType(ctPageSetDesc);
    EXPECT_EQ(v.Rig.Report()->PassSetting(), psTwoPass);
    v.Rig.Print();
    const auto pages = v.Rig.Device()->FinalPages();
    ASSERT_GE(pages.size(), 3U);
    const std::string count = std::to_string(pages.size());
    const auto pageNo = v.Printed("Sistema" + std::to_string(vtPageNo));
    const auto pageCount = v.Printed("Sistema" + std::to_string(vtPageCount));
    const auto pageSet = v.Printed("Sistema" + std::to_string(vtPageSet));
    const auto pageSetDesc = v.Printed("Sistema" + std::to_string(vtPageSetDesc));
    ASSERT_EQ(pageSet.size(), pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        EXPECT_EQ(pageNo[i].second, n);
        EXPECT_EQ(pageCount[i].second, count);
        EXPECT_EQ(pageSet[i].second, n + " de " + count);
        EXPECT_EQ(pageSetDesc[i].second, "Página " + n + " de " + count);
        EXPECT_EQ(v.Printed("Calculo")[i].second, pageSetDesc[i].second);
    }
    EXPECT_EQ(v.Printed("Sistema" + std::to_string(vtPrintDateTime)).front().second, "14/03/2026 09:30");
    EXPECT_EQ(v.Printed("Sistema" + std::to_string(vtDate)).front().second, "14/03/2026");
    EXPECT_EQ(v.Printed("Sistema" + std::to_string(vtTime)).front().second, "09:30");
}

TEST(Variables, AGroupThatRestartsPageNumbersPrintsItsOwnPagesAndCountInOneAndTwoPasses) {
    // Three groups of 6 mm rows, each starting a page: 100 rows take three
    // pages, 60 two and 20 one. N is the page within its group, M the
    // group's pages.
    const std::vector<std::vector<int>> layouts{{100, 100, 100}, {100, 20, 60}};
    const std::vector<std::pair<TrpVarType, std::string>> cases{
        {vtPageNo, "N"}, {vtPageCount, "M"}, {vtPageSet, "N de M"}, {vtPageSetDesc, "Página N de M"}};
    for (const std::vector<int>& layout : layouts)
    for (TrpPassSettingType pass : {psOnePass, psTwoPass}) {
        SCOPED_TRACE((pass == psOnePass ? "one pass, rows " : "two passes, rows ") + std::to_string(layout[1]));
        std::vector<std::vector<Variant>> rows;
        std::vector<std::pair<std::string, std::string>> numbers;
        const char* cities[] = {"Campinas", "Santos", "Sorocaba"};
        for (std::size_t g = 0; g < layout.size(); ++g) {
            for (int i = 1; i <= layout[g]; ++i) rows.push_back({Variant(cities[g]), Variant(i)});
            const int pages = (layout[g] + 41) / 42;
            for (int k = 1; k <= pages; ++k) numbers.emplace_back(std::to_string(k), std::to_string(pages));
        }
        ReportRig rig;
        RowsTable data({"Cidade", "Valor"}, rows);
        TrpBandedReport* r = rig.Report();
        r->SetDataPipeline(data.Pipeline());
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(10000);
        r->FooterBand()->SetmmHeight(10000);
        r->DetailBand()->SetmmHeight(6000);
        auto* group = new TrpGroup(rig.Owner());
        group->SetReport(r);
        group->SetDataPipeline(data.Pipeline());
        group->SetBreakName("Cidade");
        group->SetNewPage(true);
        group->SetResetPageNo(true);
        group->HeaderBand()->SetmmHeight(8000);
        for (std::size_t c = 0; c < cases.size(); ++c) {
            auto* v = new TrpSystemVariable(rig.Owner());
            v->SetBand(r->FooterBand());
            v->SetBounds(static_cast<int32_t>(c) * 45000, 0, 40000, 5000);
            v->SetVarType(cases[c].first);
        }
        r->SetPassSetting(pass);
        // Two passes: the pages a printer gets. One pass: the pages a preview
        // keeps, brought up to date as the later pages of their group come.
        r->Publisher()->SetCachePages(true);
        rig.Print();
        std::vector<const TrpPage*> shown;
        for (const CapturedPage* p : rig.Device()->FinalPages()) shown.push_back(p->Page.get());
        if (pass == psOnePass) {
            shown.clear();
            for (int k = 0; k < r->Publisher()->CachedPageCount(); ++k) shown.push_back(r->Publisher()->CachedPages(k));
        }
        ASSERT_EQ(shown.size(), numbers.size());
        for (std::size_t k = 0; k < shown.size(); ++k) {
            std::map<int, std::string> texts;
            for (int i = 0; i < shown[k]->DrawCommandCount(); ++i)
                if (auto* t = dynamic_cast<const TrpDrawVar*>(shown[k]->DrawCommands(i))) texts[t->VarType()] = t->Text();
            for (const auto& [type, pattern] : cases) {
                std::string expected = std::regex_replace(pattern, std::regex("N"), numbers[k].first);
                expected = std::regex_replace(expected, std::regex("M"), numbers[k].second);
                EXPECT_EQ(texts[type], expected) << "page " << k + 1;
            }
        }
    }
}

TEST(Variables, OldCalcsBecomeVariablesWhenLoadingEnds) {
    for (int version : {3000, 4000}) {
        ReportRig rig;
        rig.Report()->CreateDefaultBands();
        TrpBand* band = rig.Report()->DetailBand();
        auto* custom = new TrpCalc(rig.Owner());
        custom->SetName("Custom1");
        custom->SetBand(band);
        custom->SetCalcType(ctCustom);
        custom->SetCustomType(dtInteger);
        custom->SetBounds(1000, 500, 20000, 4000);
        custom->SetDisplayFormat("0000");
        auto* page = new TrpCalc(rig.Owner());
        page->SetName("Pagina1");
        page->SetBand(band);
        page->SetCalcType(ctPageNo);
        page->SetTextAlignment(taRightJustified);
        band->Convert(version);
        band->FinishConversion();
        auto* variable = dynamic_cast<TrpVariable*>(rig.Owner()->FindComponent("Custom1"));
        auto* system = dynamic_cast<TrpSystemVariable*>(rig.Owner()->FindComponent("Pagina1"));
        if (version >= 3999) {
            EXPECT_EQ(variable, nullptr);
            EXPECT_EQ(system, nullptr);
            EXPECT_NE(dynamic_cast<TrpCalc*>(rig.Owner()->FindComponent("Custom1")), nullptr);
            continue;
        }
        ASSERT_NE(variable, nullptr);
        ASSERT_NE(system, nullptr);
        EXPECT_EQ(variable->DataType(), dtInteger);
        EXPECT_EQ(variable->Band(), band);
        EXPECT_EQ(variable->mmLeft(), 1000);
        EXPECT_EQ(variable->mmTop(), 500);
        EXPECT_EQ(variable->mmWidth(), 20000);
        EXPECT_EQ(variable->DisplayFormat(), "0000");
        EXPECT_EQ(system->VarType(), vtPageNo);
        EXPECT_EQ(system->TextAlignment(), taRightJustified);
        for (int i = 0; i < band->ObjectCount(); ++i) EXPECT_EQ(dynamic_cast<TrpCalc*>(band->Objects(i)), nullptr);
    }
}

TEST(Variables, OldCalcTypesAndTextsFollowTheirRules) {
    TrpCalc calc(nullptr);
    // Only a custom calc takes a text or a custom type.
    calc.SetText("ignorado");
    calc.SetCustomType(dtInteger);
    EXPECT_EQ(calc.CustomType(), dtString);
    EXPECT_EQ(calc.GetDataType(), dtDate);
    calc.SetCalcType(ctCustom);
    calc.SetText("livre");
    EXPECT_EQ(calc.CustomValue().AsString(), "livre");
    const std::vector<std::pair<std::string, TrpDataType>> legacy{
        {"ftSmallint", dtInteger}, {"ftFloat", dtDouble}, {"ftCurrency", dtDouble}, {"ftBoolean", dtBoolean},
        {"ftDate", dtDate},        {"ftTime", dtTime},    {"ftDateTime", dtDateTime}, {"ftString", dtString}};
    for (const auto& [identifier, type] : legacy) {
        calc.SetLegacyDataType(identifier);
        EXPECT_EQ(calc.CustomType(), type) << identifier;
    }
    calc.SetLegacyDataType("ftFloat");
    calc.SetLegacyDataType("ftBlob");
    EXPECT_EQ(calc.CustomType(), dtDouble);
}

TEST(Variables, EachCalcEventComputesAsOftenAsItOccurs) {
    struct Case {
        TrpVarEventType Calc;
        const char* Name;
        int Expected;  // -1: once per page
    };
    const std::vector<Case> cases{{veTraversal, "traversal", 60},
                                  {vePageStart, "page start", -1},
                                  {vePageEnd, "page end", -1},
                                  {veReportStart, "report start", 1}};
    for (const Case& c : cases) {
        VarRig v(60);
        auto* counter = v.Add<TrpVariable>(v.Rig.Report()->FooterBand(), "Contador");
        counter->SetDataType(dtInteger);
        counter->SetCalcType(c.Calc);
        int computed = 0;
        int resets = 0;
        counter->OnCalc = [&computed](TObject*, Variant& Value) {
            ++computed;
            Value = Variant(Value.AsInteger() + 1);
        };
        counter->OnReset = [&resets](TObject*, Variant&) { ++resets; };
        EventRecorder recorder(v.Rig.Report()->Engine());
        recorder.Listen(counter, {rpevVariableCalc, rpevVariableReset});
        v.Rig.Print();
        const int pages = static_cast<int>(v.Rig.Device()->FinalPages().size());
        ASSERT_GE(pages, 2);
        const int expected = c.Expected < 0 ? pages : c.Expected;
        EXPECT_EQ(computed, expected) << c.Name;
        int sent33 = 0;
        int sent34 = 0;
        for (const auto& e : recorder.Entries()) {
            sent33 += e.Event == rpevVariableCalc ? 1 : 0;
            sent34 += e.Event == rpevVariableReset ? 1 : 0;
        }
        EXPECT_EQ(sent33, computed) << c.Name;
        EXPECT_EQ(sent34, resets) << c.Name;
        // Reset as the run starts and at the report's end, never per page.
        EXPECT_EQ(resets, 2) << c.Name;
    }
}

TEST(Variables, ALookAheadVariableInAGroupHeaderShowsTheGroupsFinalValue) {
    // Valor 1..60 in groups of 20 by tens of the row: sums 210, 610, 1010.
    VarRig v(60);
    auto* group = new TrpGroup(v.Rig.Owner());
    group->SetReport(v.Rig.Report());
    group->SetDataPipeline(v.Data.Pipeline());
    group->OnGetBreakValue = [&v](TObject*, std::string& Value) {
        Value = std::to_string((v.Data.Pipeline()->GetFieldValue("Valor").AsInteger() - 1) / 20);
    };
    group->SetBreakType(btCustomField);
    group->HeaderBand()->SetmmHeight(6000);
    auto* total = v.Add<TrpVariable>(group->HeaderBand(), "Previa", 0);
    SumValor(total, v.Data.Pipeline());
    total->SetResetType(veGroupEnd);
    total->SetResetComponent(group);
    total->SetLookAhead(true);
    EXPECT_EQ(v.Rig.Report()->PassSetting(), psTwoPass);
    v.Rig.Print();
    // A header repeated on the next page shows the same final value.
    std::vector<std::string> texts;
    for (const auto& [page, text] : v.Printed("Previa"))
        if (texts.empty() || texts.back() != text) texts.push_back(text);
    EXPECT_EQ(texts, (std::vector<std::string>{"210", "610", "1010"}));
}

// A variable told to compute on one pipeline's records and reset on
// another's keeps both after a save and a load; a variable on its band's
// default keeps none.
TEST(Variables, PipelinesChosenForComputeAndResetSurviveASavedAndReloadedReport) {
    using namespace outputtest;
    TOutputForm form(nullptr);
    auto* report = new TrpBandedReport(&form);
    report->SetName("Report1");
    report->CreateDefaultBands();
    auto* notas = new TrpDBPipeline(&form);
    notas->SetName("Notas");
    auto* clientes = new TrpDBPipeline(&form);
    clientes->SetName("Clientes");
    auto* total = new TrpVariable(&form);
    total->SetName("Total1");
    total->SetBand(report->DetailBand());
    total->SetCalcType(veDataPipelineTraversal);
    total->SetCalcComponent(notas);
    total->SetResetType(veDataPipelineTraversal);
    total->SetResetComponent(clientes);
    auto* plain = new TrpVariable(&form);
    plain->SetName("Contador1");
    plain->SetBand(report->DetailBand());

    auto copy = StreamedCopy(&form);
    auto* t = FindIn<TrpVariable>(copy.get(), "Total1");
    auto* c = FindIn<TrpVariable>(copy.get(), "Contador1");
    ASSERT_NE(t, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(t->CalcType(), veDataPipelineTraversal);
    EXPECT_EQ(t->CalcComponent(), FindIn<TrpDBPipeline>(copy.get(), "Notas"));
    EXPECT_EQ(t->ResetComponent(), FindIn<TrpDBPipeline>(copy.get(), "Clientes"));
    EXPECT_NE(t->CalcComponent(), nullptr);
    EXPECT_EQ(c->CalcComponent(), nullptr);
    EXPECT_EQ(c->ResetComponent(), nullptr);

    // The copy streams the same links again.
    auto again = StreamedCopy(copy.get());
    auto* t2 = FindIn<TrpVariable>(again.get(), "Total1");
    ASSERT_NE(t2, nullptr);
    EXPECT_EQ(t2->CalcComponent(), FindIn<TrpDBPipeline>(again.get(), "Notas"));
    EXPECT_EQ(t2->ResetComponent(), FindIn<TrpDBPipeline>(again.get(), "Clientes"));
}

// Custom calcs running over the records: a page made again from the cache
// starts from the values the page started with, not from where the run
// ended.
TEST(Variables, APageMadeAgainShowsTheCustomCalcValuesOfTheFirstRun) {
    VarRig v(100);
    TrpBand* detail = v.Rig.Report()->DetailBand();
    auto* whole = v.Add<TrpCalc>(detail, "SomaInteira", 80000);
    whole->SetCalcType(ctCustom);
    whole->SetCustomType(dtInteger);
    auto* half = v.Add<TrpCalc>(detail, "SomaMetade", 120000);
    half->SetCalcType(ctCustom);
    half->SetCustomType(dtDouble);
    half->SetDisplayFormat("0.0");
    auto* odd = v.Add<TrpCalc>(detail, "Impar", 160000);
    odd->SetCalcType(ctCustom);
    odd->SetCustomType(dtBoolean);
    TrpDataPipeline* data = v.Data.Pipeline();
    whole->OnCalc = [whole, data](TObject*) {
        whole->SetCustomValue(Variant(whole->CustomValue().AsInteger() + data->GetFieldValue("Valor").AsInteger()));
    };
    half->OnCalc = [half, data](TObject*) {
        half->SetCustomValue(Variant(half->CustomValue().AsDouble() + data->GetFieldValue("Valor").AsInteger() / 2.0));
    };
    odd->OnCalc = [odd](TObject*) { odd->SetCustomValue(Variant(!odd->CustomValue().AsBoolean())); };
    // The program computes them as each record is about to print.
    detail->BeforePrint = [whole, half, odd](TObject*) {
        whole->Compute();
        half->Compute();
        odd->Compute();
    };
    v.Rig.Print();
    ASSERT_GE(v.Rig.Device()->FinalPages().size(), 3U);
    const auto first = std::map<std::string, std::vector<std::pair<int, std::string>>>{
        {"SomaInteira", v.Printed("SomaInteira")}, {"SomaMetade", v.Printed("SomaMetade")}, {"Impar", v.Printed("Impar")}};
    ASSERT_FALSE(first.at("SomaInteira").empty());
    // The run printed running sums: the first row's 1 and the last's 5050.
    EXPECT_EQ(first.at("SomaInteira").front().second, "1");
    EXPECT_EQ(first.at("SomaInteira").back().second, "5050");

    const std::size_t before = v.Rig.Device()->Pages().size();
    v.Rig.PrintPage(2);
    ASSERT_GT(v.Rig.Device()->Pages().size(), before);
    const CapturedPage& again = v.Rig.Device()->Pages().back();
    for (const auto& [name, printed] : first) {
        std::vector<std::string> expected, regenerated;
        for (const auto& [page, text] : printed)
            if (page == 2) expected.push_back(text);
        for (int i = 0; i < again.Page->DrawCommandCount(); ++i)
            if (again.Makers[static_cast<std::size_t>(i)].second == name)
                if (auto* t = dynamic_cast<const TrpDrawText*>(again.Page->DrawCommands(i)))
                    regenerated.push_back(t->Text());
        ASSERT_FALSE(expected.empty()) << name;
        EXPECT_EQ(regenerated, expected) << name;
    }
}

}  // namespace

namespace {

// Text values have no room in the fixed page record: a page made again
// alone must still start from the text its first making started from.
TEST(Variables, APageMadeAgainShowsTheTextValuesOfTheFirstRun) {
    VarRig v(100);
    TrpBand* detail = v.Rig.Report()->DetailBand();
    auto* counted = v.Add<TrpVariable>(detail, "Contagem", 80000);
    counted->OnCalc = [](TObject*, Variant& Value) {
        Value = Variant(std::to_string(std::atoi(Value.AsString().c_str()) + 1) + " notas");
    };
    auto* number = v.Add<TrpVariable>(detail, "Numero", 160000);
    number->SetDataType(dtInteger);
    number->OnCalc = [](TObject*, Variant& Value) { Value = Variant(Value.AsInteger() + 1); };
    auto* custom = v.Add<TrpCalc>(detail, "Rotulo", 120000);
    custom->SetCalcType(ctCustom);
    custom->OnCalc = [custom](TObject*) {
        custom->SetCustomValue(Variant(custom->CustomValue().AsString() + "x"));
    };
    detail->BeforePrint = [custom](TObject*) { custom->Compute(); };
    v.Rig.Print();
    ASSERT_GE(v.Rig.Device()->FinalPages().size(), 3U);
    const auto first = std::map<std::string, std::vector<std::pair<int, std::string>>>{
        {"Contagem", v.Printed("Contagem")}, {"Rotulo", v.Printed("Rotulo")}, {"Numero", v.Printed("Numero")}};
    EXPECT_EQ(first.at("Contagem").back().second, "100 notas");

    v.Rig.PrintPage(2);
    const CapturedPage& again = v.Rig.Device()->Pages().back();
    for (const auto& [name, printed] : first) {
        std::vector<std::string> expected, regenerated;
        for (const auto& [page, text] : printed)
            if (page == 2) expected.push_back(text);
        for (int i = 0; i < again.Page->DrawCommandCount(); ++i)
            if (again.Makers[static_cast<std::size_t>(i)].second == name)
                if (auto* t = dynamic_cast<const TrpDrawText*>(again.Page->DrawCommands(i)))
                    regenerated.push_back(t->Text());
        ASSERT_FALSE(expected.empty()) << name;
        EXPECT_EQ(regenerated, expected) << name;
    }
}

}  // namespace
