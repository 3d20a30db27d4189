// MaxiCode codewords: the structured carrier message, code-set switching,
// escapes, padding and capacity, as ISO/IEC 16023 lays them down.
#include <gtest/gtest.h>

#include <map>

#include "report_output/rpMaxiCode.h"
#include "tests/report_output/BarCodeDecode.h"
#include "platform/gfx/Pictures.h"
#include "platform/rtl/TypInfo.h"
#include "report_output/rpPDF417.h"

namespace {

std::vector<int> Head(const std::vector<int>& V, std::size_t N) { return {V.begin(), V.begin() + N}; }

}  // namespace

TEST(MaxiCode, CarrierFieldsBecomeTheFirstTenCodewords) {
    struct Case {
        std::string Postal;
        TStMaxiCodeMode Mode;
        std::vector<int> Expected;
    };
    const Case cases[] = {
        {"12345", cmMode2, {18, 14, 48, 0, 0, 16, 1, 18, 7, 0}},
        {"12345", cmMode3, {18, 14, 48, 0, 0, 16, 1, 18, 7, 0}},
        {"b1", cmMode2, {3, 8, 8, 8, 24, 44, 0, 18, 7, 0}},
    };
    for (const Case& c : cases) {
        TrpStMaxiCodeBarcode m;
        m.SetMode(c.Mode);
        m.SetCarrierPostalCode(c.Postal);
        m.SetCarrierCountryCode(840);
        m.SetCarrierServiceClass(1);
        EXPECT_EQ(std::vector<int>(m.Codewords().begin(), m.Codewords().begin() + 10), c.Expected) << c.Postal;
    }
    TrpStMaxiCodeBarcode m;
    m.SetMode(cmMode2);
    EXPECT_THROW(m.SetCarrierPostalCode(""), E2DBarcodeError);
    EXPECT_EQ(m.CarrierPostalCode(), "000000000");
}

TEST(MaxiCode, CodeSetsShiftOrLatchByLookingPastTheNextCharacter) {
    struct Case {
        std::string Code;
        std::vector<int> Expected;
        int Pad;
    };
    const Case cases[] = {
        {"aBCD", {59, 1, 2, 3, 4}, 33},
        {"aBc", {63, 1, 63, 2, 63, 3}, 33},
        {"\xC3\x80", {60, 60, 0, 58}, 33},  // character 192
        {"\x01", {62, 62, 1}, 28},
        {"\\E000003", {27, 3}, 33},
        {"\\E000040", {27, 32, 40}, 33},
        {"\\E002000", {27, 48, 31, 16}, 33},
        {"\\E100000", {27, 56, 24, 26, 32}, 33},
        {"\\GS\\NS\\C12\\\\", {29, 31, 12, 63, 43}, 33},
    };
    for (const Case& c : cases) {
        TrpStMaxiCodeBarcode m;
        m.SetCode(c.Code);
        EXPECT_EQ(Head(m.Message(), c.Expected.size()), c.Expected) << c.Code;
        EXPECT_EQ(m.Message()[c.Expected.size()], c.Pad) << c.Code;
        EXPECT_EQ(m.Message().size(), 145u);
    }
}

TEST(MaxiCode, CapacityAndEscapesOutOfRangeAreRefused) {
    struct Case {
        TStMaxiCodeMode Mode;
        int Length;
        bool Fits;
    };
    for (const Case& c : {Case{cmMode4, 84, true}, Case{cmMode4, 85, false}, Case{cmMode5, 68, true},
                          Case{cmMode5, 69, false}}) {
        TrpStMaxiCodeBarcode m;
        m.SetMode(c.Mode);
        const std::string code(static_cast<std::size_t>(c.Length), 'A');
        if (c.Fits) {
            m.SetCode(code);
            EXPECT_EQ(m.MessageLength(), c.Length);
        } else {
            EXPECT_THROW(m.SetCode(code), E2DBarcodeError);
            EXPECT_EQ(m.Code(), "");
        }
    }
    TrpStMaxiCodeBarcode m;
    EXPECT_THROW(m.SetCode("\\300"), E2DBarcodeError);
    EXPECT_THROW(m.SetCode("\\C64"), E2DBarcodeError);
    m.SetCode("\\C63");
    for (int v : m.Codewords()) EXPECT_LT(v, 64);
}

TEST(MaxiCode, ModulesFollowTheResolutionAndModeSixIsLaidOutAsModeFour) {
    TrpStMaxiCodeBarcode m;
    m.SetResolution(96, 96);
    EXPECT_NEAR(m.ModuleWidth(), 3.3235, 2e-4);
    EXPECT_NEAR(m.ModuleHeight(), 3.1762, 1e-4);
    m.SetMode(cmMode6);
    m.SetCode("ABC");
    EXPECT_EQ(m.Codewords()[0], 6);
    EXPECT_EQ(m.Codewords()[1], 1);
    EXPECT_EQ(m.Codewords()[3], 3);
    EXPECT_EQ(m.Codewords()[4], 33);
}

TEST(MaxiCode, SymbolsReadBackInModesTwoToFive) {
    struct Case {
        TStMaxiCodeMode Mode;
        std::string Code;
    };
    const Case cases[] = {{cmMode2, "Nota fiscal 123"}, {cmMode3, "Nota fiscal 123"}, {cmMode4, "Ação 2026 / R$ 10,00"},
                          {cmMode5, "MAXICODE MODE 5"}};
    for (const Case& c : cases) {
        TrpStMaxiCodeBarcode m;
        m.SetAutoScale(false);
        m.SetBarWidth(12);
        m.SetBarHeight(14);
        m.SetQuietZone(0);
        m.SetMode(c.Mode);
        m.SetCarrierPostalCode(c.Mode == cmMode3 ? "B1A2C3" : "123456789");
        m.SetCarrierCountryCode(76);
        m.SetCarrierServiceClass(1);
        m.SetCode(c.Code);
        m.SetSize(m.BarCodeWidth(), m.BarCodeHeight());
        const auto d = barcodetest::Decode(m.Bitmap(), ZXing::BarcodeFormat::MaxiCode, true);
        ASSERT_TRUE(d.Valid) << c.Code;
        EXPECT_NE(d.Text.find(c.Code), std::string::npos) << d.Text;
        if (c.Mode <= cmMode3) {
            // The carrier fields: postcode, country and class, in that order.
            const std::string postal = c.Mode == cmMode3 ? "B1A2C3" : "123456789";
            const auto p = d.Text.find(postal), country = d.Text.find("076"), service = d.Text.find("001");
            ASSERT_NE(p, std::string::npos) << d.Text;
            ASSERT_NE(country, std::string::npos) << d.Text;
            ASSERT_NE(service, std::string::npos) << d.Text;
            EXPECT_LT(p, country) << d.Text;
            EXPECT_LT(country, service) << d.Text;
        }
    }
}

TEST(MaxiCode, EveryByteValueReadsBackInModesFourAndFive) {
    for (TStMaxiCodeMode mode : {cmMode4, cmMode5})
        for (int from = 0; from < 256; from += 16) {
            std::string code, raw;
            for (int b = from; b < from + 16; ++b) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\%03d", b);
                code += esc;
                // ZXing reads the carriage return of code set A as a line
                // feed, from zint's symbols as from ours.
                raw.push_back(static_cast<char>(b == 13 ? 10 : b));
            }
            TrpStMaxiCodeBarcode m;
            m.SetAutoScale(false);
            m.SetBarWidth(10);
            m.SetBarHeight(12);
            m.SetQuietZone(0);
            m.SetMode(mode);
            m.SetCode(code);
            m.SetSize(m.BarCodeWidth(), m.BarCodeHeight());
            const auto d = barcodetest::Decode(m.Bitmap(), ZXing::BarcodeFormat::MaxiCode, true);
            ASSERT_TRUE(d.Valid) << from;
            EXPECT_EQ(d.Bytes.substr(0, raw.size()), raw) << from;
        }
}

TEST(MaxiCode, ModeSixReadsBackWithoutLeadingCharacters) {
    TrpStMaxiCodeBarcode m;
    m.SetAutoScale(false);
    m.SetBarWidth(10);
    m.SetBarHeight(12);
    m.SetQuietZone(0);
    m.SetMode(cmMode6);
    m.SetCode("READER PROGRAMMING");
    m.SetSize(m.BarCodeWidth(), m.BarCodeHeight());
    const auto d = barcodetest::Decode(m.Bitmap(), ZXing::BarcodeFormat::MaxiCode, true);
    ASSERT_TRUE(d.Valid);
    EXPECT_EQ(d.Text, "READER PROGRAMMING");
}

TEST(MaxiCode, AManualSizeNeedsAWidthAndAHeight) {
    TrpStMaxiCodeBarcode m;
    m.SetBarWidth(0);
    m.SetHorPixelsPerMM(0);
    EXPECT_THROW(m.SetAutoScale(false), E2DBarcodeError);
    EXPECT_TRUE(m.AutoScale());
    m.SetHorPixelsPerMM(8.7);
    m.SetAutoScale(false);
    EXPECT_NEAR(m.ModuleWidth(), 8.7 * 27 / 29, 1e-9);
    EXPECT_THROW(m.SetHorPixelsPerMM(0), E2DBarcodeError);
    EXPECT_DOUBLE_EQ(m.HorPixelsPerMM(), 8.7);
}

// What the published descriptions of the layout say, checked on the
// placement table: 33 rows of 30 and 29 modules in turn; 864 data modules
// carrying each bit of the 144 codewords once; the rightmost two modules of
// the first row dark; outside the primary ring and the right-hand strip a
// codeword is a block of three rows of two modules, read from the top right
// to the bottom left, its first module the most significant bit.
TEST(MaxiCode, ThePlacementKeepsThePublishedLayout) {
    std::map<int, std::pair<int, int>> at;
    for (int row = 0; row < 33; ++row)
        for (int col = 0; col < 30; ++col) {
            const int n = maxicode::kPlacement[row][col];
            if (n > 0) EXPECT_TRUE(at.emplace(n, std::make_pair(row, col)).second) << n << " placed twice";
        }
    ASSERT_EQ(at.size(), 864u);
    EXPECT_EQ(at.begin()->first, 1);
    EXPECT_EQ(at.rbegin()->first, 864);
    EXPECT_EQ(maxicode::kPlacement[0][28], -1);
    EXPECT_EQ(maxicode::kPlacement[0][29], -1);
    for (int row = 1; row < 33; row += 2) EXPECT_EQ(maxicode::kPlacement[row][29], 0) << "row " << row;
    // Codewords 21 to 136 (from zero: 20 to 135).
    for (int cw = 20; cw < 136; ++cw) {
        const auto [r, c] = at[cw * 6 + 1];
        const std::pair<int, int> expected[6] = {{r, c},     {r, c - 1},     {r + 1, c},
                                                 {r + 1, c - 1}, {r + 2, c}, {r + 2, c - 1}};
        for (int bit = 0; bit < 6; ++bit) EXPECT_EQ(at[cw * 6 + bit + 1], expected[bit]) << "codeword " << cw + 1;
    }
}

// The encoders set up by name, as a stored form names their members, and
// their picture taken by name: an independent reader finds the data.
TEST(MaxiCode, EncodersSetByNameDrawWhatTheyWereGiven) {
    TrpStMaxiCodeBarcode m;
    SetOrdProp(&m, "AutoScale", 0);
    SetOrdProp(&m, "BarWidth", 12);
    SetOrdProp(&m, "BarHeight", 14);
    SetOrdProp(&m, "QuietZone", 0);
    SetEnumProp(&m, "Mode", "cmMode2");
    SetStrProp(&m, "CarrierPostalCode", "123456789");
    SetOrdProp(&m, "CarrierCountryCode", 76);
    SetOrdProp(&m, "CarrierServiceClass", 1);
    SetStrProp(&m, "Code", "Nota fiscal 123");
    SetOrdProp(&m, "Width", GetOrdProp(&m, "BarCodeWidth"));
    SetOrdProp(&m, "Height", GetOrdProp(&m, "BarCodeHeight"));
    auto* picture = dynamic_cast<TBitmap*>(GetObjectProp(&m, "Bitmap"));
    ASSERT_NE(picture, nullptr);
    const auto d = barcodetest::Decode(picture->Image(), ZXing::BarcodeFormat::MaxiCode, true);
    ASSERT_TRUE(d.Valid);
    EXPECT_NE(d.Text.find("Nota fiscal 123"), std::string::npos) << d.Text;
    EXPECT_NE(d.Text.find("123456789"), std::string::npos) << d.Text;

    TrpStPDF417Barcode p;
    SetStrProp(&p, "Code", "NF-e 35260112345678000190550010000001231000001230");
    SetEnumProp(&p, "ECCLevel", "ecLevel4");
    SetOrdProp(&p, "NumColumns", 6);
    EXPECT_EQ(p.Level(), 4);
    EXPECT_EQ(p.Columns(), 6);
    SetOrdProp(&p, "BarWidth", 3);
    SetOrdProp(&p, "BarHeight", 9);
    p.SetSize(p.GetBarCodeWidth(0) + 20, p.GetBarCodeHeight(0) + 20);
    auto* symbol = dynamic_cast<TBitmap*>(GetObjectProp(&p, "Bitmap"));
    ASSERT_NE(symbol, nullptr);
    const auto e = barcodetest::Decode(symbol->Image(), ZXing::BarcodeFormat::PDF417);
    ASSERT_TRUE(e.Valid);
    EXPECT_EQ(e.Text, "NF-e 35260112345678000190550010000001231000001230");
    // A refused value by name leaves the encoder as it was.
    EXPECT_THROW(SetOrdProp(&p, "QuietZone", -1), E2DBarcodeError);
    EXPECT_EQ(p.QuietZone(), 8);
}
