// Display formats against a table another runtime printed
// (tests/data/report/display_formats.pas, Brazilian settings), the rules the
// table cannot show, and the replaceable display-format class.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <limits>

#include "platform/rtl/Strings.h"
#include "report/rpDisplayFormat.h"
#include "report/rpUtils.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

TrpDataType DataTypeNamed(const std::string& name) {
    const int v = GetEnumValue(rpTypeInfo<TrpDataType>(), name);
    EXPECT_GE(v, 0) << name;
    return static_cast<TrpDataType>(v);
}

// The value a row encodes, as the report would hold it.
Variant ValueOf(const std::string& kind, const std::string& encoded) {
    const std::string tag = encoded.substr(0, 2);
    const std::string v = encoded.substr(2);
    if (tag == "d:") {
        const double d = testsupport::DoubleFromHex(v);
        return kind == "DT" ? Variant::FromDateTime(d) : Variant(d);
    }
    if (tag == "f:") {
        const uint32_t bits = static_cast<uint32_t>(std::stoul(v, nullptr, 16));
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return Variant(f);
    }
    if (tag == "c:") return Variant(Currency::FromRaw(std::stoll(v)));
    if (tag == "i:") {
        const long long n = std::stoll(v);
        if (n >= INT32_MIN && n <= INT32_MAX) return Variant(static_cast<int>(n));
        return Variant(n);
    }
    if (tag == "b:") return Variant(v == "True");
    return Variant(v);
}

std::vector<testsupport::TableRow> Table() { return testsupport::LoadTable("report/display_formats.txt"); }

TEST(DisplayFormatTable, EveryRowAgreesWithTheOtherRuntimeOrItsMark) {
    const auto rows = Table();
    ASSERT_GT(rows.size(), 350u) << "table missing or truncated";
    std::map<std::string, int> agreeing;
    int marked = 0;
    for (const auto& row : rows) {
        ASSERT_GE(row.f.size(), 6u) << "line " << row.line;
        const bool isMarked = row.f.size() >= 8;
        const std::string& expected = isMarked ? row.f[7] : row.f[5];
        const std::string ours = rpFormatValue(row.f[2], DataTypeNamed(row.f[1]), ValueOf(row.f[0], row.f[4]));
        EXPECT_EQ(ours, expected) << "line " << row.line << ": " << row.f[0] << " " << row.f[1] << " ["
                                  << row.f[2] << "] " << row.f[3] << (isMarked ? " (marked " + row.f[6] + ")" : "");
        if (ours == expected) (isMarked ? marked : agreeing[row.f[0]])++;
    }
    EXPECT_GE(agreeing["NUM"], 200);
    EXPECT_GE(agreeing["DT"], 100);
    EXPECT_GE(agreeing["STR"], 20);
    EXPECT_GT(marked, 0);
}

TEST(DisplayFormatTable, MarkedRowsReallyDifferAndNameAReason) {
    std::set<std::string> roundingValues, agreeingValues;
    for (const auto& row : Table()) {
        if (row.f.size() < 8) {
            if (row.f[0] == "NUM") agreeingValues.insert(row.f[3]);
            continue;
        }
        EXPECT_NE(row.f[5], row.f[7]) << "line " << row.line;
        const std::string& reason = row.f[6];
        EXPECT_TRUE(reason == "binary" || reason == "negzero" || reason == "section" || reason == "digits" ||
                    reason == "case" || reason == "chars" || reason == "empty")
            << "line " << row.line << ": " << reason;
        if (reason == "binary" || reason == "negzero") roundingValues.insert(row.f[3]);
    }
    // Amounts whose binary value lies below the tie round differently on purpose...
    for (const char* v : {"1.0049999999999999", "2.6749999999999998", "0.014999999999999999", "999999.995", "-0.001"})
        EXPECT_TRUE(roundingValues.count(v)) << v;
    // ...while 0.005 and 1234.565 lie above it and print alike in both.
    for (const char* v : {"0.0050000000000000001", "1234.5650000000001"}) {
        EXPECT_FALSE(roundingValues.count(v)) << v;
        EXPECT_TRUE(agreeingValues.count(v)) << v;
    }
}

TEST(DisplayFormatTable, TheBillingInvoiceNumberFormatPadsAndGroups) {
    EXPECT_EQ(rpFormatValue("000,000", dtInteger, Variant(1234)), "001.234");
    EXPECT_EQ(rpFormatValue("##,###,###,##0.00", dtDouble, Variant(1234567.891)), "1.234.567,89");
    EXPECT_EQ(rpFormatValue("###,##0.000", dtDouble, Variant(0.0)), "0,000");
}

TEST(DisplayFormat, BooleansTakeTheirSectionOfTheFormat) {
    EXPECT_EQ(rpFormatValue("Yes;No", dtBoolean, Variant(true)), "Yes");
    EXPECT_EQ(rpFormatValue("Yes;No", dtBoolean, Variant(false)), "No");
    EXPECT_EQ(rpFormatValue(";Not OK", dtBoolean, Variant(true)), "");
    EXPECT_EQ(rpFormatValue("Sim", dtBoolean, Variant(false)), "") << "no ';': the false text is empty";
    EXPECT_EQ(rpFormatValue("Yes;No", dtBoolean, Variant("talvez")), "talvez") << "not a boolean variant";
}

TEST(DisplayFormat, CurrencyFormatsUseTheSystemsCurrencyRendering) {
    // "$" means the locale's currency, with the decimals of the first section.
    EXPECT_EQ(rpFormatValue("$#,0.00;($#,0.00)", dtDouble, Variant(-1234.4)), "-R$ 1.234,40");
    EXPECT_EQ(rpFormatValue("$#,0;-$#,0", dtDouble, Variant(1234.5)), "R$ 1.235");
    EXPECT_EQ(rpFormatValue("", dtCurrency, Variant(5)), "R$ 5,00");
    EXPECT_EQ(rpFormatValue("", dtDouble, Variant(5)), "5");
    EXPECT_EQ(rpFormatValue("", dtDouble, Variant(0.1 + 0.2)), "0,3") << "15 significant digits";
}

TEST(DisplayFormat, NullAndUnassignedGiveEmptyTextForEveryType) {
    for (int t = dtBoolean; t <= dtGUID; ++t) {
        EXPECT_EQ(rpFormatValue("#,0.00", static_cast<TrpDataType>(t), Null()), "");
        EXPECT_EQ(rpFormatValue("", static_cast<TrpDataType>(t), Unassigned()), "");
    }
    for (TrpDataType t : {dtVariant, dtBLOB, dtGraphic, dtNotKnown})
        EXPECT_EQ(rpFormatValue("", t, Variant("x")), "") << GetEnumName(rpTypeInfo<TrpDataType>(), t);
}

TEST(DisplayFormat, TextsGoThroughTheMask) {
    EXPECT_EQ(rpFormatValue("!\\(999\\)\\ 000\\-0000;0; ", dtString, Variant("1134567890")), "(113) 456-7890");
    EXPECT_EQ(rpFormatValue("", dtMemo, Variant("linha")), "linha");
    EXPECT_EQ(rpFormatValue("00000\\-000;0; ", dtChar, Variant("01310100")), "01310-100");
}

TEST(DisplayFormat, WholeNumbersOf64BitsPrintExactly) {
    const long long big = 9007199254740993LL;  // 2^53 + 1: no double holds it
    EXPECT_EQ(rpFormatValue("#,0", dtLargeInt, Variant(big)), "9.007.199.254.740.993");
    EXPECT_EQ(rpFormatValue("", dtLargeInt, Variant(big)), "9007199254740993");
    EXPECT_EQ(rpFormatValue("$#,0;-$#,0", dtLargeInt, Variant(-big)), "-R$ 9.007.199.254.740.993");
    EXPECT_EQ(rpFormatValue("0", dtLargeInt, Variant(std::numeric_limits<long long>::min())),
              "-9223372036854775808");
}

TEST(DisplayFormat, NotANumberAndInfinitiesPrintAsText) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (TrpDataType t : {dtDouble, dtCurrency, dtSingle, dtExtended}) {
        EXPECT_EQ(rpFormatValue("#,0.00", t, Variant(nan)), "Nan");
        EXPECT_EQ(rpFormatValue("$#,0.00", t, Variant(inf)), "+Inf");
        EXPECT_EQ(rpFormatValue("", t, Variant(-inf)), "-Inf");
    }
}

TEST(DisplayFormat, ReadyMadeListsHoldSampleAndFormat) {
    TStringList list;
    TrpDisplayFormat::Instance()->GetDisplayFormats(dtDateTime, &list);
    ASSERT_EQ(list.Count(), 11);
    EXPECT_EQ(list[0], std::string("3/4/95 1:30:55 PM\x01m/d/yy h:nn:ss AM/PM"));
    EXPECT_EQ(list[5], std::string("4-Mar-95 \x01" "d-mmm-yy")) << "the sample ends with a blank";
    TrpDisplayFormat::Instance()->GetDisplayFormats(dtString, &list);
    ASSERT_EQ(list.Count(), 8);
    EXPECT_EQ(list[6], std::string("Long Time\x01!90:00:00\\ >LL;0; "));
    TrpDisplayFormat::Instance()->GetDisplayFormats(dtLargeInt, &list);
    EXPECT_EQ(list.Count(), 9);
    TrpDisplayFormat::Instance()->GetDisplayFormats(dtBLOB, &list);
    EXPECT_EQ(list.Count(), 0) << "the list is cleared for a type without formats";
}

TEST(DisplayFormat, AProgramMayInstallItsOwnRules) {
    class Shouting : public TrpDisplayFormat {
    public:
        std::string Format(const std::string& F, TrpDataType T, const Variant& V) const override {
            return AnsiUpperCase(TrpDisplayFormat::Format(F, T, V));
        }
    };
    static const Shouting shouting;
    const TrpDisplayFormatClass previous = rpSetDisplayFormatClass(&shouting);
    EXPECT_EQ(rpFormatValue("mmmm", dtDate, Variant::FromDateTime(EncodeDate(2024, 3, 1))), "MARÇO");
    rpSetDisplayFormatClass(nullptr);
    EXPECT_EQ(rpFormatValue("mmmm", dtDate, Variant::FromDateTime(EncodeDate(2024, 3, 1))), "março")
        << "no class set: the library's own";
    rpSetDisplayFormatClass(previous);
}

// Each step changes one thing a text hangs on: the remembered text must give
// way to what a fresh formatting gives, and the step must really change it.
TEST(DisplayFormatMemo, AnyChangeInWhatTheTextHangsOnFormatsAnew) {
    const TFormatSettings saved = FormatSettings;
    FormatSettings = TFormatSettings();
    struct Step {
        const char* what;
        std::function<void()> change;
        std::string format;
        TrpDataType type;
        Variant value;
    };
    const TDateTime noon = EncodeDate(2024, 3, 1) + 0.5;
    const Variant day = Variant::FromDateTime(noon);
    const std::string longName(40, 'a');
    const std::vector<Step> steps = {
        {"first", {}, "#,##0.00", dtDouble, Variant(1234.5)},
        {"value", {}, "#,##0.00", dtDouble, Variant(1234.25)},
        {"format", {}, "#,##0.0", dtDouble, Variant(1234.25)},
        {"decimal separator", [] { FormatSettings.DecimalSeparator = '.'; }, "#,##0.0", dtDouble, Variant(1234.25)},
        {"thousands separator", [] { FormatSettings.ThousandSeparator = ' '; }, "#,##0.0", dtDouble,
         Variant(1234.25)},
        {"currency", {}, "$#,0.00", dtDouble, Variant(-2.5)},
        {"currency text", [] { FormatSettings.CurrencyString = "US$"; }, "$#,0.00", dtDouble, Variant(-2.5)},
        {"negative currency form", [] { FormatSettings.NegCurrFormat = 0; }, "$#,0.00", dtDouble, Variant(-2.5)},
        {"currency decimals", {}, "", dtCurrency, Variant(Currency::FromInt(3))},
        {"currency decimals changed", [] { FormatSettings.CurrencyDecimals = 0; }, "", dtCurrency,
         Variant(Currency::FromInt(3))},
        {"boolean", {}, "Sim;Nao", dtBoolean, Variant(true)},
        {"same bits, other type", {}, "Sim;Nao", dtBoolean, Variant(-1)},
        {"number text", [] { FormatSettings = TFormatSettings(); }, "0.00", dtDouble, Variant("1,5")},
        {"number text, other separator", [] { FormatSettings.DecimalSeparator = '.'; }, "0.00", dtDouble,
         Variant("1,5")},
        {"date", [] { FormatSettings = TFormatSettings(); }, "", dtDate, day},
        {"data type", {}, "", dtDateTime, day},
        {"short date format", [] { FormatSettings.ShortDateFormat = "yyyy-mm-dd"; }, "", dtDateTime, day},
        {"month names", {}, "mmmm", dtDate, day},
        {"month names changed", [] { FormatSettings.LongMonthNames[2] = "Marzo"; }, "mmmm", dtDate, day},
        {"time", {}, "", dtTime, day},
        {"time separator", [] { FormatSettings.TimeSeparator = 'h'; }, "", dtTime, day},
        {"month names in the short date", [] { FormatSettings.ShortDateFormat = "d mmm yyyy"; }, "", dtDate, day},
        {"short month names", [] { FormatSettings.ShortMonthNames[2] = "MAR"; }, "", dtDate, day},
        {"day names in the long date", {}, "dddddd", dtDate, day},
        {"long day names", [] { FormatSettings.LongDayNames[5] = "viernes"; }, "dddddd", dtDate, day},
        {"text", {}, "", dtString, Variant(longName)},
        {"longer text", {}, "", dtString, Variant(longName + "b")},
        {"mask", [] { FormatSettings = TFormatSettings(); }, "!99/99/00;0; ", dtString, Variant("010324")},
        {"mask's separator", [] { FormatSettings.DateSeparator = '-'; }, "!99/99/00;0; ", dtString,
         Variant("010324")},
    };
    TrpFormatMemo memo;
    std::string previous;
    for (const Step& step : steps) {
        if (step.change) step.change();
        std::string fresh;
        try {
            fresh = TrpDisplayFormat::Instance()->Format(step.format, step.type, step.value);
        } catch (const std::exception& e) {
            fresh = std::string("raised ") + e.what();
        }
        EXPECT_NE(fresh, previous) << step.what << ": the step changes nothing";
        for (int again = 0; again < 2; ++again) {
            std::string remembered;
            try {
                remembered = memo.Format(step.format, step.type, step.value);
            } catch (const std::exception& e) {
                remembered = std::string("raised ") + e.what();
            }
            EXPECT_EQ(remembered, fresh) << step.what << (again ? ", asked again" : "");
        }
        previous = fresh;
    }
    FormatSettings = saved;
}

TEST(DisplayFormatMemo, AnotherDisplayFormatClassIsAskedEveryTime) {
    class Counting : public TrpDisplayFormat {
    public:
        std::string Format(const std::string&, TrpDataType, const Variant&) const override {
            return std::to_string(++calls);
        }
        mutable int calls = 0;
    };
    static const Counting counting;
    TrpFormatMemo memo;
    EXPECT_EQ(memo.Format("0", dtInteger, Variant(7)), "7");
    const TrpDisplayFormatClass previous = rpSetDisplayFormatClass(&counting);
    EXPECT_EQ(memo.Format("0", dtInteger, Variant(7)), "1");
    EXPECT_EQ(memo.Format("0", dtInteger, Variant(7)), "2");
    rpSetDisplayFormatClass(previous);
    EXPECT_EQ(memo.Format("0", dtInteger, Variant(7)), "7");
}

}  // namespace
