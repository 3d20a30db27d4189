// LIKE against an independent matcher: tests/data/memtable/filter/mask_cases.txt
// holds masks, names and Python fnmatch's verdict (letter case ignored),
// written by mask_cases.py beside it.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "memtable/mtFilter.h"
#include "platform/rtl/Masks.h"
#include "platform/rtl/Strings.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(FilterMask, LikeAgreesWithFnmatch) {
    std::ifstream in(testsupport::DataPath("memtable/filter/mask_cases.txt"));
    ASSERT_TRUE(in.good());
    std::string line;
    int cases = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t t1 = line.find('\t');
        const std::size_t t2 = line.find('\t', t1 + 1);
        ASSERT_NE(t2, std::string::npos) << line;
        const std::string mask = line.substr(0, t1);
        const std::string name = line.substr(t1 + 1, t2 - t1 - 1);
        const bool expected = line.substr(t2 + 1) == "1";
        ++cases;
        EXPECT_EQ(MatchesMask(name, mask), expected) << "mask [" << mask << "] name [" << name << "]";
        // The same verdict through a parsed filter over a field.
        TExprParser parser("Name LIKE " + QuotedStr(mask), {});
        const Variant v = memtable::EvaluateFilter(parser.Root(), [&](const std::string&) { return Variant(name); });
        EXPECT_EQ(v.AsBoolean(), expected) << "mask [" << mask << "] name [" << name << "]";
    }
    EXPECT_GE(cases, 3000);
}

}  // namespace
