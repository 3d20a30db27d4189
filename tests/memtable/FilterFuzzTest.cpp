// Random filter texts evaluated against a row with nulls: every outcome is a
// value or one of the system's own exceptions, never a crash.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "memtable/mtFilter.h"
#include "platform/rtl/Strings.h"
#include "tests/memtable/RandomFilter.h"

namespace {

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
        const std::string text = mttest::RandomFilterText(rng, 4);
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
