#pragma once
// PDF417: the code becomes codewords (text, byte and numeric compaction of
// the published standard, chosen run by run), Reed-Solomon correction over
// GF(929), and rows of start pattern, row indicators, data columns and stop
// pattern drawn into the symbol rectangle of the base's layout.
//
// The data is UTF-8 and is encoded as code page 1252 bytes, except after a
// "\g000026" (UTF-8) escape, where the characters keep their UTF-8 bytes.
// Sizes that cannot hold the data, and symbols of more than 928 codewords,
// are refused when encoding rather than drawn with impossible dimensions.
#include <cstdint>
#include <vector>

#include "report/rpTypes.h"
#include "report_output/rpStBarcode2D.h"

RP_ENUM(TStPDF417ECCLevels, ecAuto, ecLevel0, ecLevel1, ecLevel2, ecLevel3, ecLevel4, ecLevel5, ecLevel6, ecLevel7,
        ecLevel8)

namespace pdf417 {
extern const uint32_t kClusters[3][929];
}

class TrpStPDF417Barcode : public TrpStCustom2DBarcode {
public:
    FAT_CLASS(TrpStPDF417Barcode)
    TrpStPDF417Barcode();

    bool Truncated() const { return truncated_; }
    void SetTruncated(bool Value);
    TStPDF417ECCLevels ECCLevel() const { return static_cast<TStPDF417ECCLevels>(eccLevel_ + 1); }
    void SetECCLevel(TStPDF417ECCLevels Value);
    int NumRows() const { return numRows_; }
    void SetNumRows(int Value);
    int NumColumns() const { return numColumns_; }
    void SetNumColumns(int Value);

    void SetBarHeight(int Value) override;
    void SetBarHeightToWidth(int Value) override;
    void SetBarWidth(int Value) override;
    void SetRelativeBarHeight(bool Value) override;

    int GetBarCodeWidth(int Available) override;
    int GetBarCodeHeight(int Available) override;
    void GenerateCodewords() override;
    void DrawBarcode(TCanvas* Canvas, const TRect& R) override;

    // After encoding: the whole symbol's codewords in reading order
    // (descriptor, data, padding, correction), its size and level.
    const std::vector<int>& Codewords() const { return codewords_; }
    // The codewords the data took, descriptor included (before padding).
    int UsedCodewords() const { return used_; }
    int Rows() const { return rows_; }
    int Columns() const { return columns_; }
    int Level() const { return level_; }
    int CorrectionCodewords() const { return 1 << (level_ + 1); }

    // The data codewords of Code without descriptor, padding or correction.
    static std::vector<int> Compact(const std::string& Code);

private:
    bool truncated_ = false;
    int eccLevel_ = -1;
    int numRows_ = 0;
    int numColumns_ = 0;
    std::vector<int> codewords_{900};
    int used_ = 1;
    int rows_ = 3;
    int columns_ = 1;
    int level_ = 2;
};
