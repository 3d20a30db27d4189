#include "platform/rtl/Variant.h"

#include <gtest/gtest.h>

#include <cmath>
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

namespace {

class VariantBehaviour : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = FormatSettings;
        FormatSettings = TFormatSettings();
    }
    void TearDown() override { FormatSettings = saved_; }
    TFormatSettings saved_;
};

TEST_F(VariantBehaviour, TypeCodesAreTheClassLibraryOnes) {
    EXPECT_EQ(VarType(Variant()), 0);
    EXPECT_EQ(VarType(Null()), 1);
    EXPECT_EQ(VarType(Variant(short{1})), 2);
    EXPECT_EQ(VarType(Variant(1)), 3);
    EXPECT_EQ(VarType(Variant(1.0f)), 4);
    EXPECT_EQ(VarType(Variant(1.0)), 5);
    EXPECT_EQ(VarType(Variant(Currency::FromInt(1))), 6);
    EXPECT_EQ(VarType(VarFromDateTime(1.0)), 7);
    EXPECT_EQ(VarType(Variant(true)), 11);
    EXPECT_EQ(VarType(Variant(static_cast<signed char>(1))), 16);
    EXPECT_EQ(VarType(Variant(static_cast<unsigned char>(1))), 17);
    EXPECT_EQ(VarType(Variant(static_cast<unsigned short>(1))), 18);
    EXPECT_EQ(VarType(Variant(1u)), 19);
    EXPECT_EQ(VarType(Variant(int64_t{1})), 20);
    EXPECT_EQ(VarType(Variant("x")), 0x100);
    EXPECT_EQ(VarType(Variant('x')), 0x100);
    EXPECT_EQ(VarType(Variant::FromString("x", varOleStr)), varOleStr);
    EXPECT_EQ(VarType(Variant::FromBytes("ab")), 0x2011);
    EXPECT_EQ(VarType(VarArrayOf({1, "a"})), 0x200C);
    EXPECT_EQ(VarTypeAsText(varArray | varVariant), "Array Variant");
    EXPECT_THROW(Variant(~0ull), EVariantError);
}

TEST_F(VariantBehaviour, Predicates) {
    EXPECT_TRUE(VarIsNull(Null()));
    EXPECT_FALSE(VarIsNull(Variant()));
    EXPECT_TRUE(VarIsEmpty(Variant()));
    EXPECT_TRUE(VarIsClear(Unassigned()));
    EXPECT_FALSE(VarIsClear(Null()));
    EXPECT_TRUE(VarIsNumeric(Variant(1)));
    EXPECT_TRUE(VarIsNumeric(Variant(true)));
    EXPECT_TRUE(VarIsNumeric(Variant(Currency())));
    EXPECT_FALSE(VarIsNumeric(VarFromDateTime(1)));
    EXPECT_FALSE(VarIsNumeric(Variant("1")));
    EXPECT_TRUE(VarIsStr(Variant("")));
    EXPECT_TRUE(VarIsStr(Variant::FromString("", varUString)));
    EXPECT_FALSE(VarIsStr(Null()));
    EXPECT_TRUE(VarIsFloat(Variant(1.5)));
    EXPECT_FALSE(VarIsFloat(Variant(1)));
}

TEST_F(VariantBehaviour, TextFollowsTheFormatSettings) {
    EXPECT_EQ(Variant(1234.5).AsString(), "1234,5");
    EXPECT_EQ(Variant("2,5").AsDouble(), 2.5);
    EXPECT_EQ(Variant(0.1f).AsString(), "0,1");
    EXPECT_EQ(Variant(Currency::FromDouble(-0.5)).AsString(), "-0,5");
    EXPECT_EQ(VarFromDateTime(EncodeDate(2026, 12, 7) + EncodeTime(18, 5, 0, 0)).AsString(),
              "07/12/2026 18:05:00");
    EXPECT_EQ(VarFromDateTime(EncodeDate(2026, 12, 7)).AsString(), "07/12/2026");
    EXPECT_EQ(Variant("07/12/2026").AsDateTime(), EncodeDate(2026, 12, 7));
    FormatSettings.DecimalSeparator = '.';
    EXPECT_EQ(Variant(1234.5).AsString(), "1234.5");
    EXPECT_EQ(Variant("2.5").AsDouble(), 2.5);
    EXPECT_THROW(Variant("2,5").AsDouble(), EVariantError);
}

TEST_F(VariantBehaviour, NullAndEmptyConversions) {
    EXPECT_EQ(VarToStr(Null()), "");
    EXPECT_EQ(VarToStrDef(Null(), "-"), "-");
    EXPECT_EQ(VarToStrDef(Variant(), "-"), "");
    EXPECT_EQ(VarToStrDef(Variant(7), "-"), "7");
    EXPECT_EQ(Variant().AsInteger(), 0);
    EXPECT_EQ(Variant().AsString(), "");
    try {
        Null().AsInteger();
        FAIL();
    } catch (const EVariantError& e) {
        EXPECT_EQ(e.Message(), "Could not convert variant of type (Null) into type (Integer)");
    }
    try {
        Variant("abc").AsInteger();
        FAIL();
    } catch (const EVariantError& e) {
        EXPECT_EQ(e.Message(), "Could not convert variant of type (String) into type (Integer)");
    }
    try {
        Variant(1e20).AsInteger();
        FAIL();
    } catch (const EVariantError& e) {
        EXPECT_EQ(e.Message(), "Overflow while converting variant of type (Double) into type (Integer)");
    }
    EXPECT_THROW(Variant(std::nan("")).AsInt64(), EVariantError);
    EXPECT_THROW(Variant(1e300).AsCurrency(), EVariantError);
    EXPECT_THROW(VarArrayOf({1}).AsString(), EVariantError);
}

TEST_F(VariantBehaviour, WholeNumbersRoundHalfToEven) {
    EXPECT_EQ(Variant(0.5).AsInteger(), 0);
    EXPECT_EQ(Variant(1.5).AsInteger(), 2);
    EXPECT_EQ(Variant(-1.5).AsInt64(), -2);
    EXPECT_EQ(Variant(Currency::FromDouble(2.5)).AsInteger(), 2);
    EXPECT_EQ(Variant(Currency::FromDouble(-2.5)).AsInteger(), -2);
    EXPECT_EQ(Variant(Currency::FromDouble(-2.5001)).AsInteger(), -3);
    EXPECT_EQ(Variant(Currency::FromDouble(3.5)).AsInteger(), 4);
    EXPECT_EQ(Variant(2147483647.4).AsInteger(), 2147483647);
    EXPECT_THROW(Variant(2147483647.6).AsInteger(), EVariantError);
}

TEST_F(VariantBehaviour, AsTypeChecksTheTargetRange) {
    EXPECT_EQ(VarType(VarAsType(Variant("12"), varSmallint)), varSmallint);
    EXPECT_EQ(VarAsType(Variant("12"), varSmallint).AsInteger(), 12);
    EXPECT_THROW(VarAsType(Variant(300), varByte), EVariantError);
    EXPECT_THROW(VarAsType(Variant(-1), varWord), EVariantError);
    EXPECT_EQ(VarAsType(Variant(4000000000.0), varLongWord).AsInt64(), 4000000000);
    EXPECT_EQ(VarAsType(Variant(1.25), varString).AsString(), "1,25");
    EXPECT_EQ(VarAsType(Variant("1,25"), varCurrency).AsCurrency().Raw(), 12500);
    EXPECT_TRUE(VarIsEmpty(VarAsType(Null(), varEmpty)));
    EXPECT_THROW(VarAsType(Null(), varInteger), EVariantError);
    EXPECT_EQ(VarAsType(Variant("ab"), varArray | varByte).AsBytes(), "ab");
}

TEST_F(VariantBehaviour, VariantArrays) {
    Variant keys = VarArrayOf({1, "São Paulo", Null()});
    EXPECT_TRUE(VarIsArray(keys));
    EXPECT_FALSE(VarIsArray(Variant(1)));
    EXPECT_EQ(VarArrayDimCount(keys), 1);
    EXPECT_EQ(VarArrayLowBound(keys, 1), 0);
    EXPECT_EQ(VarArrayHighBound(keys, 1), 2);
    EXPECT_EQ(keys[1].AsString(), "São Paulo");
    EXPECT_TRUE(VarIsNull(VarArrayGet(keys, 2)));
    EXPECT_THROW(keys[3], EVariantError);
    EXPECT_THROW(keys[-1], EVariantError);
    EXPECT_THROW(VarArrayHighBound(Variant(1), 1), EVariantError);
    EXPECT_THROW(Variant(1)[0], EVariantError);

    // A copy does not see later changes to the original.
    Variant copy = keys;
    VarArrayPut(keys, Variant(2), 0);
    EXPECT_EQ(keys[0].AsInteger(), 2);
    EXPECT_EQ(copy[0].AsInteger(), 1);

    Variant slots = VarArrayCreate(0, 50, varVariant);
    EXPECT_EQ(VarArrayHighBound(slots, 1), 50);
    EXPECT_TRUE(VarIsEmpty(slots[50]));
    slots.PutElement(50, "x");
    EXPECT_EQ(slots[50].AsString(), "x");

    Variant shifted = VarArrayCreate(1, 2, varVariant);
    EXPECT_EQ(shifted.LowBound(), 1);
    EXPECT_THROW(shifted[0], EVariantError);
    EXPECT_TRUE(VarIsEmpty(shifted[2]));
    EXPECT_EQ(VarArrayOf({}).HighBound(), -1);
}

TEST_F(VariantBehaviour, ByteArrays) {
    Variant bytes = Variant::FromBytes(std::string("\x00\xFF\x10", 3));
    EXPECT_EQ(bytes.LowBound(), 0);
    EXPECT_EQ(bytes.HighBound(), 2);
    EXPECT_EQ(VarType(bytes[1]), varByte);
    EXPECT_EQ(bytes[1].AsInteger(), 255);
    bytes.PutElement(0, 65);
    EXPECT_EQ(bytes.AsBytes(), std::string("A\xFF\x10", 3));
    EXPECT_THROW(bytes.PutElement(0, 256), EVariantError);
    Variant made = VarArrayCreate(0, 1, varByte);
    EXPECT_EQ(made.AsBytes(), std::string(2, '\0'));
    EXPECT_EQ(VarArrayOf({1, 2}).AsBytes(), "\x01\x02");
}

TEST_F(VariantBehaviour, ArraysCompareElementByElement) {
    EXPECT_TRUE(VarArrayOf({1, "a"}) == VarArrayOf({1.0, "a"}));
    EXPECT_FALSE(VarArrayOf({1, "a"}) == VarArrayOf({1, "b"}));
    EXPECT_FALSE(VarArrayOf({1}) == VarArrayOf({1, 2}));
    EXPECT_FALSE(VarArrayOf({1}) == Variant(1));
    EXPECT_EQ(VarCompareValue(VarArrayOf({Null()}), VarArrayOf({Null()})), vrEqual);
    EXPECT_THROW((void)(VarArrayOf({1}) < VarArrayOf({2})), EVariantError);
}

TEST_F(VariantBehaviour, ComparisonOfMixedValues) {
    EXPECT_TRUE(Variant("10") > Variant(9));
    EXPECT_TRUE(Variant("10") < Variant("9"));  // two texts compare as texts
    EXPECT_TRUE(Variant(Currency::FromDouble(0.1)) == Variant(0.1));
    EXPECT_TRUE(Variant(int64_t{9000000000000000000}) > Variant(Currency::FromInt(1)));
    EXPECT_TRUE(Variant(1) <= Variant(1));
    EXPECT_TRUE(Null() < Variant(-1e300));
    EXPECT_TRUE(Variant() < Null());
    EXPECT_FALSE(VarSameValue(Variant("abc"), Variant(1)));
    EXPECT_TRUE(VarSameValue(Variant("1"), Variant(1)));
    EXPECT_THROW((void)(Variant("abc") == Variant(1)), EVariantError);
    const Variant day = VarFromDateTime(EncodeDate(2026, 12, 7));
    EXPECT_TRUE(day == Variant("07/12/2026"));
    EXPECT_TRUE(Variant("06/12/2026") < day);
    EXPECT_THROW((void)(day == Variant("ontem")), EVariantError);
}

TEST_F(VariantBehaviour, ArithmeticKeepsTheKindOfItsOperands) {
    const Variant big = Variant(2147483647) + Variant(1);
    EXPECT_EQ(VarType(big), varInt64);
    EXPECT_EQ(big.AsInt64(), 2147483648);
    EXPECT_EQ(VarType(Variant(short{1}) + Variant(short{2})), varInteger);
    EXPECT_THROW(Variant(int64_t{9223372036854775807}) + Variant(1), EOverflow);
    // Currency sums are exact.
    Variant total = Variant(Currency());
    for (int i = 0; i < 10; ++i) total = total + Variant(Currency::FromDouble(0.1));
    EXPECT_EQ(VarType(total), varCurrency);
    EXPECT_EQ(total.AsCurrency(), Currency::FromInt(1));
    EXPECT_EQ((Variant(Currency::FromInt(1)) / Variant(3)).AsCurrency().Raw(), 3333);
    // Dates move by days; their difference is a number.
    const Variant day = VarFromDateTime(EncodeDate(2026, 12, 7));
    EXPECT_EQ(VarType(day + Variant(1)), varDate);
    EXPECT_EQ(VarType(Variant(1) + day), varDate);
    EXPECT_EQ(VarType(day - day), varDouble);
    // Unassigned counts as zero or as an empty text.
    EXPECT_EQ((Variant() + Variant(5)).AsInteger(), 5);
    EXPECT_EQ((Variant(5) - Variant()).AsInteger(), 5);
    EXPECT_EQ((Variant() + Variant("ab")).AsString(), "ab");
    EXPECT_EQ((Variant("ab") + Variant()).AsString(), "ab");
    EXPECT_TRUE(VarIsNull(Null() * Variant(2)));
    EXPECT_TRUE(VarIsNull(-Null()));
    EXPECT_TRUE(VarIsNull(VarNot(Null())));
}

TEST_F(VariantBehaviour, DivisionByZeroRaises) {
    EXPECT_THROW(Variant(7) / Variant(0), EZeroDivide);
    EXPECT_THROW(Variant(7.5) / Variant(0.0), EZeroDivide);
    EXPECT_THROW(VarIntDiv(Variant(7), Variant(0)), EZeroDivide);
    EXPECT_THROW(Variant(7) % Variant(0.4), EZeroDivide);
    EXPECT_THROW(Variant(Currency::FromInt(7)) / Variant(0), EZeroDivide);
    EXPECT_THROW(Variant() / Variant(), EZeroDivide);
    EXPECT_EQ((Variant(int64_t{-9223372036854775807} - 1) % Variant(-1)).AsInt64(), 0);
    EXPECT_THROW(VarIntDiv(Variant(int64_t{-9223372036854775807} - 1), Variant(-1)), EOverflow);
}

TEST_F(VariantBehaviour, LogicalAndBitwiseOperators) {
    EXPECT_EQ(VarType(Variant(true) & Variant(false)), varBoolean);
    EXPECT_FALSE((Variant(true) & Variant(false)).AsBoolean());
    EXPECT_TRUE((Variant(true) | Variant(false)).AsBoolean());
    EXPECT_TRUE((Variant(true) ^ Variant(false)).AsBoolean());
    EXPECT_EQ((Variant(6) ^ Variant(3)).AsInteger(), 5);
    EXPECT_EQ((~Variant(0)).AsInteger(), -1);
    EXPECT_FALSE(VarNot(Variant(true)).AsBoolean());
    EXPECT_EQ(VarIntDiv(Variant(-7), Variant(2)).AsInteger(), -3);
}

}  // namespace
