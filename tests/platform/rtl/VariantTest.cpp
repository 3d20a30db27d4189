#include "platform/rtl/Variant.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/rtl/Format.h"
#include "platform/rtl/SysUtils.h"
#include "tests/support/TestSupport.h"

namespace {

// ---------------------------------------------------------------------------
// The reference table (tests/data/rtl/variant_oracle.txt, printed by the
// Pascal program beside it) and the cases where this runtime deliberately
// answers otherwise (variant_deviations.txt, each with its reason).

struct Row {
    std::string kase, op, result;
};

std::vector<Row> ReadRows(const std::string& file, bool withReason) {
    std::ifstream in(testsupport::DataPath(file));
    std::vector<Row> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        std::size_t start = 0;
        while (true) {
            const std::size_t tab = line.find('\t', start);
            f.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (f.size() < (withReason ? 4u : 3u)) {
            ADD_FAILURE() << "bad line in " << file << ": " << line;
            continue;
        }
        rows.push_back({f[0], f[1], f[2]});
    }
    return rows;
}

double ParseNumber(const std::string& s) { return std::strtod(s.c_str(), nullptr); }

// Builds the variant a case names: "int:42", "str:abc", "null"...
Variant Make(const std::string& c) {
    const std::size_t colon = c.find(':');
    const std::string kind = c.substr(0, colon);
    const std::string lit = colon == std::string::npos ? "" : c.substr(colon + 1);
    if (kind == "empty") return Variant();
    if (kind == "null") return Null();
    if (kind == "bool") return Variant(lit == "T");
    if (kind == "small") return Variant(static_cast<short>(std::stoi(lit)));
    if (kind == "int") return Variant(std::stoi(lit));
    if (kind == "int64") return Variant(std::stoll(lit));
    if (kind == "byte") return Variant(static_cast<unsigned char>(std::stoi(lit)));
    if (kind == "dbl") return Variant(ParseNumber(lit));
    if (kind == "cur") return Variant(Currency::FromDouble(ParseNumber(lit)));
    if (kind == "date") return VarFromDateTime(ParseNumber(lit));
    if (kind == "str") return Variant(lit);
    ADD_FAILURE() << "unknown case " << c;
    return Variant();
}

// The table's spelling of a result value.
std::string Show(const Variant& v) {
    const TVarType t = v.VarType();
    auto num = [](double d) {
        std::ostringstream o;
        o.precision(17);
        o << d;
        return o.str();
    };
    switch (t) {
        case varEmpty: return "empty";
        case varNull: return "null";
        case varBoolean: return v.AsBoolean() ? "bool:T" : "bool:F";
        case varSmallint:
        case varShortInt:
        case varByte:
        case varWord:
        case varInteger: return "int:" + std::to_string(v.AsInteger());
        case varLongWord:
        case varInt64: return "int64:" + std::to_string(v.AsInt64());
        case varSingle:
        case varDouble: return "dbl:" + num(v.AsDouble());
        case varCurrency: return "cur:" + num(v.AsDouble());
        case varDate: return "date:" + num(v.AsDouble());
        default: return "str:" + v.AsString();
    }
}

// Normalises the table's spelling of a value so that it compares with Show().
std::string Canonical(const std::string& shown) {
    for (const char* prefix : {"dbl:", "cur:", "date:"}) {
        const std::string p = prefix;
        if (shown.rfind(p, 0) == 0) {
            std::ostringstream o;
            o.precision(17);
            o << ParseNumber(shown.substr(p.size()));
            return p + o.str();
        }
    }
    return shown;
}

// Runs one operation of the table and gives its result in the table's form;
// an exception becomes "EXC <message>".
std::string RunCase(const std::string& kase, const std::string& op) {
    try {
        const std::size_t bar = kase.find('|');
        if (bar == std::string::npos) {
            const Variant v = Make(kase);
            auto num = [](double d) {
                std::ostringstream o;
                o.precision(17);
                o << d;
                return o.str();
            };
            if (op == "Integer") return std::to_string(v.AsInteger());
            if (op == "Int64") return std::to_string(v.AsInt64());
            if (op == "Double") return num(v.AsDouble());
            if (op == "Currency") return std::to_string(v.AsCurrency().Raw());
            if (op == "Boolean") return v.AsBoolean() ? "True" : "False";
            if (op == "String") return "[" + v.AsString() + "]";
            if (op == "Date") return num(VarToDateTime(v));
            if (op == "VarToStr") return "[" + VarToStr(v) + "]";
            if (op == "neg") return Show(-v);
            if (op == "not") return Show(VarNot(v));
        } else {
            const Variant a = Make(kase.substr(0, bar));
            const Variant b = Make(kase.substr(bar + 1));
            auto tf = [](bool x) { return std::string(x ? "True" : "False"); };
            if (op == "=") return tf(a == b);
            if (op == "<") return tf(a < b);
            if (op == ">") return tf(a > b);
            if (op == "VarCompareValue") {
                switch (VarCompareValue(a, b)) {
                    case vrEqual: return "Equal";
                    case vrLessThan: return "Less";
                    case vrGreaterThan: return "Greater";
                    case vrNotEqual: return "NotEqual";
                }
            }
            if (op == "+") return Show(a + b);
            if (op == "-") return Show(a - b);
            if (op == "*") return Show(a * b);
            if (op == "/") return Show(a / b);
            if (op == "div") return Show(VarIntDiv(a, b));
            if (op == "mod") return Show(a % b);
            if (op == "and") return Show(a & b);
            if (op == "or") return Show(a | b);
        }
        return "unknown operation " + op;
    } catch (const Exception& e) {
        return "EXC " + e.Message();
    }
}

bool IsNumericOp(const std::string& op) { return op == "Double" || op == "Date"; }

// Results compare by value: numbers by their double, operations by the
// canonical spelling; errors by their message when the reference gives the
// class library's conversion message, otherwise only as "an error".
void ExpectSame(const std::string& kase, const std::string& op, const std::string& expected,
                const std::string& actual) {
    SCOPED_TRACE(kase + "  " + op);
    if (expected == "?") return;
    if (expected.rfind("EXC ", 0) == 0) {
        ASSERT_EQ(actual.rfind("EXC ", 0), 0u) << "expected an error, got " << actual;
        if (expected.rfind("EXC Could not convert", 0) == 0) {
            EXPECT_EQ(actual, expected);
        }
        return;
    }
    if (IsNumericOp(op)) {
        EXPECT_EQ(ParseNumber(actual), ParseNumber(expected)) << actual;
        return;
    }
    EXPECT_EQ(Canonical(actual), Canonical(expected));
}

class VariantTable : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = FormatSettings;
        FormatSettings = TFormatSettings();  // the Brazilian defaults
    }
    void TearDown() override { FormatSettings = saved_; }
    TFormatSettings saved_;
};

TEST_F(VariantTable, AgreesWithTheReferenceExceptForTheListedDeviations) {
    const std::vector<Row> table = ReadRows("rtl/variant_oracle.txt", false);
    ASSERT_GT(table.size(), 400u);
    std::map<std::pair<std::string, std::string>, std::string> deviations;
    for (const Row& r : ReadRows("rtl/variant_deviations.txt", true))
        deviations[{r.kase, r.op}] = r.result;
    std::size_t used = 0;
    for (const Row& r : table) {
        const auto dev = deviations.find({r.kase, r.op});
        std::string expected = r.result;
        if (dev != deviations.end()) {
            expected = dev->second;
            ++used;
            EXPECT_NE(Canonical(expected), Canonical(r.result))
                << "deviation equals the reference: " << r.kase << " " << r.op;
        }
        ExpectSame(r.kase, r.op, expected, RunCase(r.kase, r.op));
    }
    EXPECT_EQ(used, deviations.size()) << "a deviation names a case the table lacks";
}

}  // namespace
