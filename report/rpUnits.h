#pragma once
// Units of length. Every position and size of the report model is an
// integer in thousandths of a millimetre; a report's Units only chooses how
// a user reads and types them. Every conversion uses one constant, inches
// per millimetre, held as the single-precision 0.03937 (not 1/25.4): stored
// reports depend on the lengths it gives, so it must never be "corrected".
// The arithmetic runs in long double on the single values the model holds,
// and rounds to nearest with halves to even.
//
// Pixel conversions take an axis: 1 is vertical, anything else horizontal.
// The screen's resolution comes from a provider the program installs (96
// pixels per inch until then); a printer's from the object given, when it
// offers one (TrpDeviceResolution), else the screen's.
#include <cstdint>
#include <functional>

#include "platform/rtl/Lists.h"
#include "report/rpTypes.h"

constexpr float rpInchesPerMillimetre = 0.03937f;

// What a printer offers the conversions: its pixels per inch on an axis.
class TrpDeviceResolution {
public:
    virtual ~TrpDeviceResolution() = default;
    virtual int PixelsPerInch(int Axis) const = 0;
};

// The screen's pixels per inch on an axis; nullptr restores 96. Returns the
// provider it replaces.
using TrpScreenResolutionProvider = std::function<int(int Axis)>;
TrpScreenResolutionProvider rpSetScreenResolutionProvider(TrpScreenResolutionProvider Provider);
int rpScreenPixelsPerInch(int Axis = 0);

// Nearest whole number, halves to even (0.5 -> 0, 1.5 -> 2, 2.5 -> 2,
// -1.5 -> -2), kept within the 32-bit range; NaN gives 0.
int32_t rpRoundHalfEven(long double Value);

// Conversions to and from thousandths of a millimetre. Printer is used only
// when it offers a resolution. A unit outside TrpUnitType gives 0.
float rpFromMMThousandths(int32_t Value, TrpUnitType Unit, int Axis, const TObject* Printer);
int32_t rpToMMThousandths(TrpUnitType Unit, int Axis, const TObject* Printer, float Value);
float rpFromScreenPixels(int32_t Pixels, TrpUnitType Unit, int Axis, const TObject* Printer);
int32_t rpToScreenPixels(TrpUnitType Unit, int Axis, const TObject* Printer, float Value);
// Paper sizes, exchanged in tenths of a millimetre.
float rpFromTenthsOfMM(int32_t Value, TrpUnitType Unit, int Axis, const TObject* Printer);
int32_t rpToTenthsOfMM(TrpUnitType Unit, int Axis, const TObject* Printer, float Value);
// Lists of lengths (tab stops, column positions): thousandths to the unit,
// each written in general format with 7 significant digits; and back, each
// read as a number (EConvertError on a text that is none).
void rpConvertListToUnits(TStrings* List, TrpUnitType Unit, int Axis, const TObject* Printer);
void rpConvertListFromUnits(TStrings* List, TrpUnitType Unit, int Axis, const TObject* Printer);
