// Exact totals: sums and averages of values of no to ten decimals, money and
// not, against the sums counted here on the decimal digits as written, and
// the texts a database total prints for them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "report/rpBands.h"
#include "report/rpGroup.h"
#include "report_output/rpDBText.h"
#include "report_output/rpExactTotal.h"
#include "report_output/rpVariables.h"
#include "report/rpDisplayFormat.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/report_output/OutputTestSupport.h"

using namespace reporttest;
using namespace outputtest;

namespace {

// Decimal text counted in units of 10^-10.
constexpr int kScale = 10;

__int128 Units(const std::string& Text) {
    __int128 v = 0;
    int decimals = -1;
    bool negative = false;
    for (char c : Text) {
        if (c == '-') {
            negative = true;
        } else if (c == '.') {
            decimals = 0;
        } else {
            v = v * 10 + (c - '0');
            if (decimals >= 0) ++decimals;
        }
    }
    for (int d = decimals < 0 ? 0 : decimals; d < kScale; ++d) v *= 10;
    return negative ? -v : v;
}

// Units as plain decimal text, all ten decimals ("-12.3400000000").
std::string Plain(__int128 v) {
    const bool negative = v < 0;
    if (negative) v = -v;
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
        v /= 10;
    } while (v != 0);
    if (digits.size() <= kScale) digits.insert(0, kScale + 1 - digits.size(), '0');
    digits.insert(digits.size() - kScale, ".");
    return (negative ? "-" : "") + digits;
}

std::string Digits(__int128 v) {
    std::string out;
    do {
        out.insert(out.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
        v /= 10;
    } while (v != 0);
    return out;
}

// Units rounded half away from zero to Decimals and written as a listing
// writes them: dots between thousands, a comma before the decimals.
std::string Brazilian(__int128 v, int Decimals) {
    const bool negative = v < 0;
    if (negative) v = -v;
    __int128 step = 1, unit = 1;
    for (int d = Decimals; d < kScale; ++d) step *= 10;
    for (int d = 0; d < Decimals; ++d) unit *= 10;
    v = (v + step / 2) / step;
    std::string whole = Digits(v / unit);
    for (int at = static_cast<int>(whole.size()) - 3; at > 0; at -= 3) whole.insert(static_cast<std::size_t>(at), ".");
    std::string fraction = Digits(v % unit);
    fraction.insert(0, static_cast<std::size_t>(Decimals) - fraction.size(), '0');
    const std::string out = whole + (Decimals > 0 ? "," + fraction : "");
    return negative && v != 0 ? "-" + out : out;
}

// Plain text without the zeros the exact total does not keep.
std::string Trimmed(std::string Text) {
    while (!Text.empty() && Text.back() == '0') Text.pop_back();
    if (!Text.empty() && Text.back() == '.') Text.pop_back();
    return Text;
}

double Read(const std::string& Text) { return std::strtod(Text.c_str(), nullptr); }

struct Case {
    std::vector<std::string> Values;  // added in turn, Repeat times over
    int Repeat;
};

std::vector<Case> Cases() {
    std::vector<Case> cases = {
        {{"0.00005"}, 20},
        {{"0.00004"}, 1000},
        {{"1.234567"}, 1000},
        {{"0.1", "0.2"}, 1},
        {{"19.99", "0.01", "1234.56"}, 333},
        {{"999999999.99"}, 100000},
        {{"0.0000000001"}, 12345},
        {{"7"}, 1000},
        {{"12.5", "-0.75", "3.333"}, 77},
        {{"12345.6789012345"}, 10},
        {{"0.3333333333", "0.6666666667"}, 50},
        {{"-5.55", "5.55"}, 9},
        // Debits: totals below zero, and totals that cross it both ways.
        {{"-1500.00", "-250.50"}, 1},
        {{"-0.01"}, 10000},
        {{"100.10", "-200.25"}, 50},
        {{"-999999999.99", "1000000000.01"}, 1000},
        {{"-0.0000000001", "-12345678.9"}, 333},
        {{"-7", "3", "3"}, 40},
    };
    // Values of every count of decimals, money among them, drawn at random.
    std::mt19937_64 random(20261208);
    for (int decimals = 0; decimals <= kScale; ++decimals) {
        Case c{{}, 1};
        for (int i = 0; i < 2000; ++i) {
            const int d = decimals == 2 ? 2 : static_cast<int>(random() % (decimals + 1));
            std::string digits = std::to_string(random() % 1000000000000ULL);
            // At most 15 significant digits: the value as written is its double's.
            if (digits.size() > 15) digits.resize(15);
            while (static_cast<int>(digits.size()) <= d) digits.insert(0, "0");
            if (d > 0) digits.insert(digits.size() - static_cast<std::size_t>(d), ".");
            c.Values.push_back(i % 7 == 3 ? "-" + digits : digits);
        }
        cases.push_back(c);
        // The same values with the signs the other way round: a total below zero.
        for (std::string& v : c.Values) v = v[0] == '-' ? v.substr(1) : "-" + v;
        cases.push_back(c);
    }
    return cases;
}

TEST(ExactTotal, ASumIsTheExactSumOfTheDigitsEachValueWasWrittenWith) {
    for (const Case& c : Cases()) {
        rptotal::Exact exact;
        double shown = 0;
        __int128 expected = 0;
        for (int r = 0; r < c.Repeat; ++r)
            for (const std::string& v : c.Values) {
                shown = rptotal::Add(exact, shown, Read(v));
                expected += Units(v);
            }
        SCOPED_TRACE(c.Values.front() + " x" + std::to_string(c.Repeat));
        ASSERT_FALSE(exact.None);
        EXPECT_EQ(rptotal::ToText(exact), Trimmed(Plain(expected)).empty() ? "0" : Trimmed(Plain(expected)));
        EXPECT_EQ(shown, Read(Plain(expected)));
    }
}

// A banded report over a memory table of number fields, driven by a
// pipeline over it; the caller appends the rows.
struct TableReport {
    explicit TableReport(std::initializer_list<std::pair<const char*, TFieldType>> Fields) {
        for (const auto& [name, type] : Fields) table.FieldDefs()->Add(name, type, 0);
        table.Open();
        source.SetDataSet(&table);
        pipeline.SetDataSource(&source);
        Report()->SetDataPipeline(&pipeline);
        Report()->CreateDefaultBands();
        Report()->DetailBand()->SetmmHeight(100);
    }
    TrpBandedReport* Report() { return rig.Report(); }
    TmtMemTable table{nullptr};
    TDataSource source{nullptr};
    TrpDBPipeline pipeline{nullptr};
    ReportRig rig;
};

TEST(ExactTotal, DatabaseSumsAndAveragesAndVariablesPrintTheExactTotal) {
    struct Listing {
        std::string Value;
        int Rows;
        std::string Format;
        int Decimals;
    };
    const std::vector<Listing> listings = {
        {"0.00005", 20, "0.00000", 5},
        {"0.00004", 1000, "0.00000", 5},
        {"1.234567", 1000, "#,##0.000000", 6},
        {"0.1", 30, "0.0000000000", 10},
        {"19.99", 700, "#,##0.00", 2},
        {"0.0000012345", 4000, "0.0000000000", 10},
    };
    for (const Listing& l : listings) {
        SCOPED_TRACE(l.Value + " x" + std::to_string(l.Rows));
        TableReport t({{"Valor", ftFloat}});
        for (int i = 0; i < l.Rows; ++i) t.table.AppendRecord({Variant(Read(l.Value))});
        t.table.First();
        ReportRig& rig = t.rig;
        TrpDBPipeline& pipeline = t.pipeline;
        TrpBandedReport* r = t.Report();
        r->CreateBand(btSummary);
        r->SummaryBand()->SetmmHeight(10000);
        auto calc = [&](const std::string& Name, TrpDBCalcType Type, int32_t Left) {
            auto* c = Place<TrpDBCalc>(rig, r->SummaryBand(), Name, Left, 0, 40000, 5000);
            c->SetDataPipeline(&pipeline);
            c->SetDataField("Valor");
            c->SetDBCalcType(Type);
            c->SetDisplayFormat(l.Format);
            return c;
        };
        calc("Soma", dcSum, 0);
        calc("Media", dcAverage, 50000);
        rig.Print();
        const auto sums = CommandsOf(rig.Device()->FinalPages(), "Soma");
        const auto averages = CommandsOf(rig.Device()->FinalPages(), "Media");
        ASSERT_EQ(sums.size(), 1u);
        ASSERT_EQ(averages.size(), 1u);
        const __int128 sum = Units(l.Value) * l.Rows;
        EXPECT_EQ(dynamic_cast<TrpDrawText*>(sums[0].Command)->Text(), Brazilian(sum, l.Decimals));
        EXPECT_EQ(dynamic_cast<TrpDrawText*>(averages[0].Command)->Text(), Brazilian(Units(l.Value), l.Decimals));

        // A variable's total of the same values.
        TrpVariable v(nullptr);
        v.SetDataType(dtDouble);
        for (int i = 0; i < l.Rows; ++i) v.Accumulate(Read(l.Value));
        EXPECT_EQ(v.Value().AsDouble(), Read(Plain(sum)));
    }
}

// Totals past 2^46 reais, where a double's step passes half a cent: the
// total of two amounts that each hold their cents prints the cents of the
// exact sum, on a variable and on a database sum.
TEST(ExactTotal, TotalsTheDoubleNoLongerHoldsToTheCentPrintTheirExactCents) {
    std::mt19937_64 random(46);
    std::vector<std::pair<std::int64_t, std::int64_t>> pairs;
    for (int i = 0; i < 300; ++i)
        pairs.emplace_back(3500000000000000 + static_cast<std::int64_t>(random() % 1000000000000000),
                           3500000000000000 + static_cast<std::int64_t>(random() % 1000000000000000));
    auto reais = [](std::int64_t Cents) { return static_cast<double>(Cents) / 100; };
    auto units = [](std::int64_t Cents) { return static_cast<__int128>(Cents) * 100000000; };
    for (const auto& [a, b] : pairs) {
        const std::string expected = Brazilian(units(a) + units(b), 2);
        SCOPED_TRACE(expected);
        TrpVariable v(nullptr);
        v.SetDataType(dtDouble);
        v.SetDisplayFormat("#,##0.00");
        v.Accumulate(reais(a));
        v.Accumulate(reais(b));
        std::string text;
        v.GetPrintText(text);
        EXPECT_EQ(text, expected);
    }
    TableReport t({{"Valor", ftFloat}, {"Par", ftInteger}});
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        t.table.AppendRecord({Variant(reais(pairs[i].first)), Variant(static_cast<int>(i))});
        t.table.AppendRecord({Variant(reais(pairs[i].second)), Variant(static_cast<int>(i))});
    }
    t.table.First();
    ReportRig& rig = t.rig;
    TrpDBPipeline& pipeline = t.pipeline;
    TrpBandedReport* r = t.Report();
    auto* group = new TrpGroup(rig.Owner());
    group->SetName("PorPar");
    group->SetReport(r);
    group->SetDataPipeline(&pipeline);
    group->SetBreakName("Par");
    group->FooterBand()->SetmmHeight(5000);
    auto* sum = Place<TrpDBCalc>(rig, group->FooterBand(), "Soma", 0, 0, 40000, 4000);
    sum->SetDataPipeline(&pipeline);
    sum->SetDataField("Valor");
    sum->SetDBCalcType(dcSum);
    sum->SetDisplayFormat("#,##0.00");
    sum->SetResetGroup(group);
    rig.Print();
    const auto printed = CommandsOf(rig.Device()->FinalPages(), "Soma");
    ASSERT_EQ(printed.size(), pairs.size());
    for (std::size_t i = 0; i < pairs.size(); ++i)
        EXPECT_EQ(dynamic_cast<TrpDrawText*>(printed[i].Command)->Text(),
                  Brazilian(units(pairs[i].first) + units(pairs[i].second), 2));
}

// Debits: the sums, averages and variables of totals below zero print and
// read back below zero under every format, the general one and those the
// exact count leaves to the double ("$", exponents, quoted text) included.
TEST(ExactTotal, TotalsBelowZeroPrintAndReadBackBelowZeroUnderEveryFormat) {
    // The texts a summary's sum and average of the values print under a format.
    auto printed = [](const std::vector<double>& Values, const std::string& Format) {
        TableReport t({{"Valor", ftFloat}});
        for (double v : Values) t.table.AppendRecord({Variant(v)});
        t.table.First();
        TrpBandedReport* r = t.Report();
        r->CreateBand(btSummary);
        r->SummaryBand()->SetmmHeight(10000);
        for (auto [name, type, left] : {std::tuple{"Soma", dcSum, 0}, std::tuple{"Media", dcAverage, 50000}}) {
            auto* c = Place<TrpDBCalc>(t.rig, r->SummaryBand(), name, left, 0, 40000, 5000);
            c->SetDataPipeline(&t.pipeline);
            c->SetDataField("Valor");
            c->SetDBCalcType(type);
            c->SetDisplayFormat(Format);
        }
        t.rig.Print();
        const auto pages = t.rig.Device()->FinalPages();
        const auto sums = CommandsOf(pages, "Soma");
        const auto averages = CommandsOf(pages, "Media");
        EXPECT_EQ(sums.size(), 1u);
        EXPECT_EQ(averages.size(), 1u);
        if (sums.size() != 1 || averages.size() != 1) return std::pair<std::string, std::string>();
        return std::pair{dynamic_cast<TrpDrawText*>(sums[0].Command)->Text(),
                         dynamic_cast<TrpDrawText*>(averages[0].Command)->Text()};
    };
    // The two debits of a statement, as a clerk reads them on paper.
    EXPECT_EQ(printed({-1500.0, -250.5}, ""), (std::pair<std::string, std::string>{"-1750,5", "-875,25"}));
    struct Listing {
        std::vector<std::string> Values;  // in turn
    };
    const std::vector<Listing> listings = {
        {{"-1500.00", "-250.50"}},
        {{"19.99", "-20.00"}},                        // crosses zero once, ends at -0,01
        {{"-0.01", "0.02", "-0.03", "0.04", "-0.05"}},  // crosses it at every row
        {{"-123456789.12", "-0.01", "100000000"}},
        {{"-0.00005", "-0.00005", "-0.00005"}},
    };
    const std::vector<std::string> formats = {"", "#,##0.00", "R$ #,##0.00", "\"R$\" #,##0.00", "0.00E+00", "#,##0.00000"};
    for (const Listing& l : listings) {
        __int128 sum = 0;
        std::vector<double> values;
        for (const std::string& v : l.Values) {
            sum += Units(v);
            values.push_back(Read(v));
        }
        const double total = Read(Plain(sum));
        const double average = Read(Plain(sum)) / static_cast<double>(l.Values.size());
        ASSERT_LT(total, 0);
        for (const std::string& format : formats) {
            SCOPED_TRACE(l.Values.front() + "... under \"" + format + "\"");
            const auto [sumPrinted, averagePrinted] = printed(values, format);
            // The model's total under the format, through the display format alone.
            const TrpDisplayFormat& shown = *TrpDisplayFormat::Instance();
            const std::string sumText = format == "#,##0.00" ? Brazilian(sum, 2)
                                        : format == "#,##0.00000" ? Brazilian(sum, 5)
                                                                   : shown.Format(format, dtDouble, Variant(total));
            EXPECT_EQ(sumPrinted, sumText);
            EXPECT_EQ(averagePrinted, shown.Format(format, dtDouble, Variant(average)));

            TrpVariable v(nullptr);
            v.SetDataType(dtDouble);
            v.SetDisplayFormat(format);
            for (double x : values) v.Accumulate(x);
            EXPECT_EQ(v.Value().AsDouble(), total);
            std::string text;
            v.GetPrintText(text);
            EXPECT_EQ(text, sumText);
        }
    }
}

// The count's limits: a total whose count reaches 38 digits stays exact;
// one that would leave the count (or the 128 bits under it, some 1.7 x
// 10^38) goes on as the double sum, and is exact again once the double
// it reached has a count. Nothing wraps.
TEST(ExactTotal, ATotalPastTheCountGoesOnAsTheDoubleSumAndNeverWraps) {
    const std::string tenTo37 = "1" + std::string(37, '0');
    struct Step {
        double Amount;
        std::string Exact;  // the count's text after the step; empty: no count
    };
    struct Limit {
        const char* Name;
        std::vector<Step> Steps;
    };
    const std::vector<Limit> limits = {
        {"nine times ten to the 37th, twice", {{9e37, "9" + std::string(37, '0')}, {9e37, ""}}},
        {"the same below zero", {{-9e37, "-9" + std::string(37, '0')}, {-9e37, ""}}},
        {"38 digits that fit", {{5e37, "5" + std::string(37, '0')}, {4e37, "9" + std::string(37, '0')}}},
        {"below zero to the last digit that fits",
         {{-5e37, "-5" + std::string(37, '0')}, {-4e37, "-9" + std::string(37, '0')}, {9e37, "0"}}},
        {"38 digits between the first and the last decimal",
         {{1e20, "1" + std::string(20, '0')}, {1e-17, "1" + std::string(20, '0') + "." + std::string(16, '0') + "1"}}},
        {"39 of them", {{1e21, "1" + std::string(21, '0')}, {1e-17, ""}}},
        // Back within the count, the double reached (9 x 10^37 once more,
        // doubling and halving being exact) is counted again.
        {"out and back", {{9e37, "9" + std::string(37, '0')}, {9e37, ""}, {-9e37, ""}, {-9e37, "0"},
                          {0.01, "0.01"}, {-0.02, "-0.01"}}},
        {"out and back below zero", {{-9e37, "-9" + std::string(37, '0')}, {-9e37, ""}, {9e37, ""}, {9e37, "0"},
                                     {-1e37, "-" + tenTo37}}},
        {"an amount past the count", {{-1e37, "-" + tenTo37}, {1.7e38, ""}}},
    };
    for (const Limit& l : limits) {
        SCOPED_TRACE(l.Name);
        rptotal::Exact exact;
        double shown = 0, model = 0;
        for (const Step& s : l.Steps) {
            shown = rptotal::Add(exact, shown, s.Amount);
            model += s.Amount;
            SCOPED_TRACE(s.Exact);
            if (s.Exact.empty()) {
                EXPECT_TRUE(exact.None);
                // Past the count the double sum goes on, as a double adds.
                EXPECT_EQ(shown, model);
            } else {
                ASSERT_FALSE(exact.None);
                EXPECT_EQ(rptotal::ToText(exact), s.Exact);
                EXPECT_EQ(shown, Read(s.Exact));
                model = shown;
            }
        }
    }
    // Two counts each within the count whose sum leaves 128 bits.
    const rptotal::Exact a = rptotal::FromDouble(9.9e37);
    ASSERT_FALSE(a.None);
    EXPECT_TRUE(rptotal::Sum(a, a).None);
    EXPECT_TRUE(rptotal::Sum(rptotal::Negate(a), rptotal::Negate(a)).None);
    EXPECT_EQ(rptotal::ToText(rptotal::Sum(a, rptotal::Negate(a))), "0");
}

}  // namespace
