// PDF417: module rows against zint for fixed sizes, read back by ZXing for
// levels, sizes, compaction mixes and every byte value, and the choices
// the encoder makes on its own.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "platform/gfx/Canvas.h"
#include "report_output/rpPDF417.h"
#include "tests/report_output/BarCodeDecode.h"

namespace {

std::vector<std::string> Split(const std::string& S, char Sep) {
    std::vector<std::string> out;
    std::stringstream in(S);
    std::string part;
    while (std::getline(in, part, Sep)) out.push_back(part);
    return out;
}

// The symbol drawn one pixel a module and a row, without quiet zone.
std::vector<std::string> ModuleRows(TrpStPDF417Barcode& B) {
    B.SetQuietZone(0);
    B.SetBarWidth(1);
    B.SetBarHeight(1);
    B.SetSize(B.GetBarCodeWidth(0), B.Rows());
    std::vector<std::string> rows;
    const QImage& img = B.Bitmap();
    for (int y = 0; y < img.height(); ++y) {
        std::string bits;
        for (int x = 0; x < img.width(); ++x) bits.push_back(qGray(img.pixel(x, y)) < 128 ? '1' : '0');
        rows.push_back(bits);
    }
    return rows;
}

std::string HexToBits(const std::string& Hex, std::size_t Length) {
    std::string bits;
    for (char c : Hex) {
        if (c == ' ') continue;
        const int v = std::stoi(std::string(1, c), nullptr, 16);
        for (int b = 3; b >= 0; --b) bits.push_back((v >> b) & 1 ? '1' : '0');
    }
    return bits.substr(0, Length);
}

barcodetest::Decoded Read(TrpStPDF417Barcode& B, int Dpi) {
    B.SetSize(B.GetBarCodeWidth(0) + 20, B.GetBarCodeHeight(0) + 20);
    QImage image;
    int w = 0, h = 0;
    B.RenderToResolution(image, Dpi, w, h, Dpi);
    return barcodetest::Decode(image, ZXing::BarcodeFormat::PDF417);
}

}  // namespace

TEST(PDF417, FixedSizesDrawTheRowsZintDraws) {
    std::ifstream in(std::string(FAT_TEST_DATA_DIR) + "/barcode/zint_pdf417.txt");
    ASSERT_TRUE(in);
    std::string line;
    int cases = 0;
    while (std::getline(in, line)) {
        SCOPED_TRACE(line.substr(0, 60));
        const auto f = Split(line, '|');
        ASSERT_EQ(f.size(), 6u);
        TrpStPDF417Barcode b;
        b.SetCode(f[0]);
        b.SetECCLevel(static_cast<TStPDF417ECCLevels>(std::stoi(f[3]) + 1));
        b.SetNumRows(std::stoi(f[1]));
        b.SetNumColumns(std::stoi(f[2]));
        b.SetTruncated(f[4] == "1");
        const auto ours = ModuleRows(b);
        const auto theirs = Split(f[5], ';');
        ASSERT_EQ(ours.size(), theirs.size());
        for (std::size_t r = 0; r < ours.size(); ++r) EXPECT_EQ(ours[r], HexToBits(theirs[r], ours[r].size())) << r;
        ++cases;
    }
    EXPECT_EQ(cases, 7);
}

TEST(PDF417, SymbolsReadBackAtEveryLevelSizeAndCompaction) {
    std::string allBytes;
    for (int b = 0; b < 256; ++b) {
        char esc[8];
        std::snprintf(esc, sizeof esc, "\\x%02X", b);
        allBytes += esc;
    }
    std::string allBytesRaw;
    for (int b = 0; b < 256; ++b) allBytesRaw.push_back(static_cast<char>(b));
    struct Case {
        std::string Code, Expected;
        int Level, Rows, Cols;
        bool Truncated;
    };
    const std::string mix = "Nota 0012345678901234567 R$ 1.234,56; ok!";
    std::vector<Case> cases;
    for (int level = 0; level <= 8; ++level) cases.push_back({mix, mix, level, 0, 0, false});
    cases.push_back({mix, mix, -1, 0, 0, false});
    cases.push_back({mix, mix, -1, 0, 8, false});
    cases.push_back({mix, mix, -1, 30, 0, false});
    cases.push_back({mix, mix, 3, 25, 6, false});
    cases.push_back({mix, mix, -1, 0, 0, true});
    cases.push_back({"abcDEF ghi,./ 123 +-*", "abcDEF ghi,./ 123 +-*", -1, 0, 0, false});
    cases.push_back({"\\g000026ção", "ção", -1, 0, 0, false});
    cases.push_back({"ção", "ção", -1, 0, 0, false});
    for (int dpi : {300, 600})
        for (const Case& c : cases) {
            SCOPED_TRACE(c.Code + " level " + std::to_string(c.Level) + " dpi " + std::to_string(dpi));
            TrpStPDF417Barcode b;
            b.SetCode(c.Code);
            b.SetECCLevel(static_cast<TStPDF417ECCLevels>(c.Level + 1));
            b.SetNumRows(c.Rows);
            b.SetNumColumns(c.Cols);
            b.SetTruncated(c.Truncated);
            const auto d = Read(b, dpi);
            ASSERT_TRUE(d.Valid);
            EXPECT_EQ(d.Text, c.Expected);
        }
    TrpStPDF417Barcode b;
    b.SetCode(allBytes);
    const auto d = Read(b, 300);
    ASSERT_TRUE(d.Valid);
    EXPECT_EQ(d.Bytes, allBytesRaw);
}

TEST(PDF417, TheEncoderChoosesCompactionSizeAndLevelAsTheStandardAllows) {
    TrpStPDF417Barcode empty;
    EXPECT_EQ(empty.Rows(), 5);
    EXPECT_EQ(empty.Columns(), 2);
    EXPECT_EQ(empty.Level(), 2);
    EXPECT_EQ(empty.CorrectionCodewords(), 8);
    EXPECT_EQ(empty.Codewords()[0], 2);  // the descriptor: 10 - 8

    EXPECT_EQ(TrpStPDF417Barcode::Compact("123456789012345").front(), 902);
    EXPECT_NE(TrpStPDF417Barcode::Compact("1234567890123").front(), 902);
    const auto twelve = TrpStPDF417Barcode::Compact("\\xE9\\xE9\\xE9\\xE9\\xE9\\xE9\\xE9\\xE9\\xE9\\xE9\\xE9\\xE9");
    EXPECT_EQ(twelve.front(), 924);
    EXPECT_EQ(twelve.size(), 11u);
    const auto thirteen =
        TrpStPDF417Barcode::Compact("\\xE9\\xE9\\xE9\\xE9\\xE9\\xE9\\xE9\\xE9\\xE9\\xE9\\xE9\\xE9\\xE9");
    EXPECT_EQ(thirteen.front(), 901);
    EXPECT_EQ(thirteen.size(), 12u);

    // Extended channels as ISO/IEC 15438 numbers them.
    EXPECT_EQ(TrpStPDF417Barcode::Compact("\\g000026"), (std::vector<int>{927, 26}));
    EXPECT_EQ(TrpStPDF417Barcode::Compact("\\g001000"), (std::vector<int>{926, 0, 100}));
    EXPECT_EQ(TrpStPDF417Barcode::Compact("\\g810900"), (std::vector<int>{925, 0}));
    EXPECT_THROW(TrpStPDF417Barcode::Compact("\\g811800"), E2DBarcodeError);
}

TEST(PDF417, SizesThatCannotHoldTheCodeAreRefusedAndTheOldValueStays) {
    TrpStPDF417Barcode b;
    EXPECT_THROW(b.SetNumColumns(31), E2DBarcodeError);
    EXPECT_THROW(b.SetNumRows(91), E2DBarcodeError);
    b.SetCode(std::string(600, 'A'));
    try {
        b.SetNumRows(3);  // 30 columns of 3 rows hold 90 codewords at most
        FAIL();
    } catch (const E2DBarcodeError& e) {
        EXPECT_EQ(std::string(e.Message()), "Code too large for barcode");
    }
    EXPECT_EQ(b.NumRows(), 0);
    try {
        b.SetNumColumns(1);  // 90 rows of one column
        FAIL();
    } catch (const E2DBarcodeError& e) {
        EXPECT_EQ(std::string(e.Message()), "Code too large for barcode");
    }
    EXPECT_EQ(b.NumColumns(), 0);
    try {
        b.SetCode(std::string(2000, 'A'));  // over 928 codewords
        FAIL();
    } catch (const E2DBarcodeError& e) {
        EXPECT_EQ(std::string(e.Message()), "Code too large for barcode");
    }
    EXPECT_EQ(b.Code(), std::string(600, 'A'));
}

// The published rules for a symbol character: 17 modules in four bars and
// four spaces of 1 to 6 modules, bar first, and the cluster its bar widths
// give, K = (b1 - b2 + b3 - b4 + 9) mod 9, the cluster of its row; no
// pattern serves twice. The order of values within a cluster has no
// published rule, so the decoding tests above stand for it.
TEST(PDF417, EveryClusterPatternKeepsThePublishedCharacterRules) {
    std::set<uint32_t> seen;
    for (int k = 0; k < 3; ++k)
        for (int value = 0; value < 929; ++value) {
            const uint32_t p = pdf417::kClusters[k][value];
            std::vector<int> runs;
            for (int bit = 16; bit >= 0; --bit) {
                const bool bar = (p >> bit) & 1;
                if (bit == 16 || bar != (((p >> (bit + 1)) & 1) != 0)) runs.push_back(0);
                ++runs.back();
            }
            ASSERT_LT(p, 1u << 17) << k << " " << value;
            ASSERT_TRUE((p >> 16) & 1) << k << " " << value << ": starts with a bar";
            ASSERT_EQ(runs.size(), 8u) << k << " " << value;
            for (int r : runs) ASSERT_TRUE(r >= 1 && r <= 6) << k << " " << value;
            EXPECT_EQ((runs[0] - runs[2] + runs[4] - runs[6] + 9) % 9, 3 * k) << value;
            EXPECT_TRUE(seen.insert(p).second) << k << " " << value << " repeats a pattern";
        }
}
