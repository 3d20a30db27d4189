// The one-dimensional encoders against zint: the element runs of our column
// buffer equal those of the symbol zint prints for the same data (modules
// for module-based types, narrow/wide for the others), quiet zones
// stripped. zint's rows are in data/zint_1d.txt (make_zint_1d.sh).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/rtl/Strings.h"
#include "report_output/rpBarCodeEncoders.h"

using namespace barcode;

namespace {

std::string DataFile(const std::string& Name) { return std::string(FAT_TEST_DATA_DIR) + "/barcode/" + Name; }

std::string HexToBits(const std::string& Hex) {
    std::string bits;
    for (char c : Hex) {
        if (c == ' ') continue;
        const int v = std::stoi(std::string(1, c), nullptr, 16);
        for (int b = 3; b >= 0; --b) bits.push_back((v >> b) & 1 ? '1' : '0');
    }
    return bits;
}

std::string StripZeros(const std::string& S) {
    const auto first = S.find_first_not_of('0');
    if (first == std::string::npos) return {};
    return S.substr(first, S.find_last_not_of('0') - first + 1);
}

// "1110011" -> "3b2s2b"; WideNarrow -> "WbNsWb" by the narrowest run.
std::string Runs(const std::string& Columns, bool WideNarrow) {
    const std::string s = StripZeros(Columns);
    std::vector<std::pair<char, int>> runs;
    for (char c : s) {
        if (!runs.empty() && runs.back().first == c) ++runs.back().second;
        else runs.push_back({c, 1});
    }
    int narrow = 1 << 30;
    for (const auto& r : runs) narrow = std::min(narrow, r.second);
    std::string out;
    for (const auto& [c, n] : runs) {
        out += WideNarrow ? (n > narrow ? "W" : "N") : std::to_string(n);
        out += c == '0' ? 's' : 'b';
    }
    return out;
}

// Postnet as a sequence of tall (T) and short (S) bars.
std::string PostnetBars(const std::string& Columns) {
    std::string out;
    char last = '0';
    for (char c : Columns) {
        if (c != '0' && c != last) out.push_back(c == '2' ? 'T' : 'S');
        last = c;
    }
    return out;
}

TrpBarCodeType TypeNamed(const std::string& Name) {
    static const std::pair<const char*, TrpBarCodeType> kTypes[] = {
        {"bcUPC_A", bcUPC_A},   {"bcUPC_E", bcUPC_E},     {"bcEAN_13", bcEAN_13}, {"bcEAN_8", bcEAN_8},
        {"bcInt2of5", bcInt2of5}, {"bcCode128", bcCode128}, {"bcCode39", bcCode39}, {"bcPostnet", bcPostnet},
        {"bcFIM", bcFIM},       {"bcCodabar", bcCodabar}, {"bcMSI", bcMSI}};
    for (const auto& [n, t] : kTypes)
        if (Name == n) return t;
    ADD_FAILURE() << Name;
    return bcCode39;
}

std::vector<std::string> Split(const std::string& S, char Sep) {
    std::vector<std::string> out;
    std::stringstream in(S);
    std::string part;
    while (std::getline(in, part, Sep)) out.push_back(part);
    if (!S.empty() && S.back() == Sep) out.emplace_back();
    return out;
}

}  // namespace

TEST(OneDimensionalSymbols, ElementRunsEqualZintsForEveryDeterministicType) {
    std::ifstream in(DataFile("zint_1d.txt"));
    ASSERT_TRUE(in) << "zint_1d.txt";
    int rows = 0;
    std::string line;
    while (std::getline(in, line)) {
        const auto f = Split(line, '|');
        ASSERT_EQ(f.size(), 4u) << line;
        SCOPED_TRACE(line);
        EncodeRequest r;
        r.Type = TypeNamed(f[0]);
        r.Data = f[1];
        r.AddOn = f[2];
        r.Narrow = 2;
        r.Wide = 5;
        const EncodeResult got = Encode(r);
        ASSERT_TRUE(got.Valid) << got.Message;
        const auto zrows = Split(f[3], ';');
        const std::string zbits = HexToBits(zrows[0]);
        if (r.Type == bcPostnet) {
            const std::string tall = HexToBits(zrows[0]), all = HexToBits(zrows[1]);
            std::string zcols;
            for (std::size_t i = 0; i < all.size(); ++i) zcols.push_back(tall[i] == '1' ? '2' : all[i]);
            EXPECT_EQ(PostnetBars(got.Columns), PostnetBars(zcols));
        } else if (IsUpcEan(r.Type)) {
            const std::size_t mainModules = r.Type == bcUPC_E ? 51 : r.Type == bcEAN_8 ? 67 : 95;
            // Two pixel columns a module: halve our runs by comparing
            // against zint's doubled.
            std::string z2;
            for (char c : zbits) z2 += std::string(2, c);
            EXPECT_EQ(Runs(got.Columns, false), Runs(z2.substr(0, 2 * mainModules), false));
            EXPECT_EQ(Runs(got.AddOnColumns, false), Runs(z2.substr(2 * mainModules), false));
        } else {
            const bool wideNarrow = r.Type == bcCode39 || r.Type == bcInt2of5 || r.Type == bcCodabar;
            std::string z2;
            for (char c : zbits) z2 += std::string(2, c);
            EXPECT_EQ(Runs(got.Columns, wideNarrow), Runs(wideNarrow ? zbits : z2, wideNarrow));
        }
        ++rows;
    }
    EXPECT_GE(rows, 50);
}

TEST(OneDimensionalSymbols, CheckDigitsAreThePublishedOnes) {
    EXPECT_EQ(UpcEanCheckDigit("01234567890"), 5);
    EXPECT_EQ(UpcEanCheckDigit("400638133393"), 1);
    EXPECT_EQ(PostnetCheckDigit("555551237"), 2);
    EXPECT_EQ(MsiCheckDigit("1234567"), 4);
    EncodeRequest r;
    r.Type = bcUPC_A;
    r.Data = "01234567890";
    EXPECT_EQ(Encode(r).Data, "012345678905");
    r.Type = bcMSI;
    r.Data = "1234567";
    EXPECT_EQ(Encode(r).Data, "12345674");
}

namespace {

std::string Bytes(std::initializer_list<int> Values) {
    std::string s;
    for (int v : Values) s.push_back(static_cast<char>(v));
    return s;
}

}  // namespace

TEST(OneDimensionalSymbols, AutomaticCode128ChoosesStartCodeAndShift) {
    struct Case {
        std::string In, Out;
    };
    const Case cases[] = {
        {"1234", Bytes({kStartC}) + "1234"},
        {"A1", Bytes({kStartA}) + "A1"},
        {"AB1234", Bytes({kStartA}) + "AB" + Bytes({kCodeC}) + "1234"},
        {"AB12", Bytes({kStartA}) + "AB" + Bytes({kCodeC}) + "12"},
        {"abcd", Bytes({kStartB}) + "abcd"},
        {"12345", Bytes({kStartC}) + "1234" + Bytes({kCodeA}) + "5"},
        {Bytes({kFNC1}) + "0112", Bytes({kStartC, kFNC1}) + "0112"},
        {"a" + Bytes({211}) + "b", Bytes({kStartB}) + "a" + Bytes({kShift, 211}) + "b"},
    };
    for (const Case& c : cases) EXPECT_EQ(AutoEncodeCode128(c.In), c.Out) << c.In;
}

TEST(OneDimensionalSymbols, Code128RefusesBrokenDataAndDrawsNothing) {
    struct Case {
        std::string Data;
        const char* Fragment;
    };
    const Case cases[] = {
        {"123", "início"},                                         // no start character
        {Cp1252ToUtf8(Bytes({kStartC}) + "123"), "segundo dígito"},  // lone digit in set C
        {Cp1252ToUtf8(Bytes({kStartC}) + "1A"), "pares"},
        {Cp1252ToUtf8(Bytes({kStartA}) + "a"), "conjunto B"},
        {Cp1252ToUtf8(Bytes({kStartB, kStartA})), "meio"},
    };
    for (const Case& c : cases) {
        EncodeRequest r;
        r.Type = bcCode128;
        r.Data = c.Data;
        const EncodeResult got = Encode(r);
        EXPECT_FALSE(got.Valid);
        EXPECT_NE(got.Message.find(c.Fragment), std::string::npos) << got.Message;
        EXPECT_TRUE(got.Columns.empty());
    }
}

TEST(OneDimensionalSymbols, ColumnBuffersGrowAndRefusePastTheirLimit) {
    EncodeRequest r;
    r.Type = bcCode39;
    r.Data = std::string(300, 'A');  // 300 x 16 modules, at 10 and 30 pixels
    r.Narrow = 10;
    r.Wide = 30;
    const EncodeResult big = Encode(r);
    EXPECT_TRUE(big.Valid);
    EXPECT_GT(big.Columns.size(), 8000u);
    r.Data = std::string(1000, 'A');
    const EncodeResult tooBig = Encode(r);
    EXPECT_FALSE(tooBig.Valid);
    EXPECT_NE(tooBig.Message.find("65535"), std::string::npos);
    EXPECT_TRUE(tooBig.Columns.empty());
}
