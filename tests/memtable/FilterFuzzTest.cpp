// Random filter texts evaluated against a row with nulls: every outcome is a
// value or one of the system's own exceptions, never a crash.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "memtable/mtFilter.h"
#include "platform/rtl/Strings.h"

namespace {

const std::vector<std::string> kOperands = {
    "A", "B", "N", "D", "S", "0", "1", "-3", "2.5", "NULL", "TRUE", "'x'", "'12'", "'07/12/2026'", "'a*'",
    "GETDATE()", "UPPER(S)", "SUBSTRING(S, 2)", "SUBSTRING(S, A, B)", "YEAR(D)", "DATE(D)", "TIME(N)",
    "TRIM(S)", "DATE('2026', 'yyyy')", "HOUR(S)"};
const std::vector<std::string> kBinary = {" = ", " <> ", " < ", " >= ", " + ", " - ", " * ", " / ",
                                          " MOD ", " % ", " AND ", " OR ", " LIKE "};

std::string RandomExpr(std::mt19937& rng, int depth) {
    const unsigned r = rng() % 10;
    if (depth <= 0 || r < 3) return kOperands[rng() % kOperands.size()];
    if (r == 3) return "NOT (" + RandomExpr(rng, depth - 1) + ")";
    if (r == 4) return "(" + RandomExpr(rng, depth - 1) + ") IS NULL";
    if (r == 5) {
        std::string list = RandomExpr(rng, depth - 1) + " IN (";
        const int n = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < n; ++i) list += (i ? ", " : "") + RandomExpr(rng, depth - 2);
        return list + ")";
    }
    return "(" + RandomExpr(rng, depth - 1) + kBinary[rng() % kBinary.size()] + RandomExpr(rng, depth - 1) + ")";
}

TEST(FilterFuzz, RandomExpressionsNeverCrash) {
    std::mt19937 rng(7);
    const Variant date = Variant::FromDateTime(EncodeDate(2026, 12, 7));
    const auto row = [&](const std::string& name) -> Variant {
        const std::string n = UpperCase(name);
        if (n == "A") return 3;
        if (n == "B") return Null();
        if (n == "N") return 0;
        if (n == "D") return date;
        return Variant("ação  ");
    };
    int values = 0, errors = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string text = RandomExpr(rng, 4);
        try {
            TExprParser parser(text, i % 2 ? TFilterOptions{foCaseInsensitive} : TFilterOptions{});
            memtable::FilterResultAccepts(memtable::EvaluateFilter(parser.Root(), row));
            ++values;
        } catch (const Exception&) {
            ++errors;
        }
    }
    EXPECT_GT(values, 5000);
    EXPECT_GT(errors, 100);
}

}  // namespace
