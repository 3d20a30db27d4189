#pragma once
// MaxiCode: the data becomes the 144 six-bit codewords of the symbol (code
// sets A to E with shifts and latches, the structured carrier message of
// modes 2 and 3, Reed-Solomon correction over GF(64)).
//
// No six-bit codeword ever holds 64 or more: a decimal escape above 255 or
// a codeword escape above 63 is refused with "Invalid Codeword".
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "report/rpTypes.h"
#include "report_output/rpStBarcode2D.h"

RP_ENUM(TStMaxiCodeMode, cmMode2, cmMode3, cmMode4, cmMode5, cmMode6)

namespace maxicode {
extern const int16_t kPlacement[33][30];
}

class TrpStMaxiCodeBarcode : public TrpStCustom2DBarcode {
public:
    FAT_CLASS(TrpStMaxiCodeBarcode)
    TrpStMaxiCodeBarcode();

    TStMaxiCodeMode Mode() const { return mode_; }
    void SetMode(TStMaxiCodeMode Value);
    const std::string& CarrierPostalCode() const { return postalCode_; }
    void SetCarrierPostalCode(const std::string& Value);
    int CarrierCountryCode() const { return countryCode_; }
    void SetCarrierCountryCode(int Value);
    int CarrierServiceClass() const { return serviceClass_; }
    void SetCarrierServiceClass(int Value);
    bool AutoScale() const { return autoScale_; }
    void SetAutoScale(bool Value);
    // The resolution used when AutoScale is off and BarWidth/BarHeight are 0.
    double HorPixelsPerMM() const { return horPixelsPerMM_; }
    void SetHorPixelsPerMM(double Value);
    double VerPixelsPerMM() const { return verPixelsPerMM_; }
    void SetVerPixelsPerMM(double Value);
    void SetBarWidth(int Value) override;
    void SetBarHeight(int Value) override;

    // Module size in pixels at the bitmap's resolution.
    double ModuleWidth() const;
    double ModuleHeight() const;

    int GetBarCodeWidth(int Available) override;
    int GetBarCodeHeight(int Available) override;
    void GenerateCodewords() override;
    void DrawBarcode(TCanvas* Canvas, const TRect& R) override;

    // After encoding: the message codewords (145, padded) and the symbol's.
    const std::vector<int>& Message() const { return message_; }
    int MessageLength() const { return messageLength_; }
    const std::array<int, 144>& Codewords() const { return codewords_; }

private:
    TStMaxiCodeMode mode_ = cmMode4;
    std::string postalCode_ = "000000000";
    int countryCode_ = 0;
    int serviceClass_ = 0;
    bool autoScale_ = true;
    double horPixelsPerMM_ = 4.0;
    double verPixelsPerMM_ = 4.0;
    std::vector<int> message_;
    int messageLength_ = 0;
    std::array<int, 144> codewords_{};
};
