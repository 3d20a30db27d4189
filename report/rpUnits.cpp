#include "report/rpUnits.h"

#include <cfenv>
#include <climits>
#include <cmath>
#include <mutex>

#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"

namespace {

constexpr long double K = rpInchesPerMillimetre;  // the single value, widened exactly
constexpr int kDefaultScreenPpi = 96;

std::mutex& ProviderLock() {
    static std::mutex lock;
    return lock;
}

TrpScreenResolutionProvider& Provider() {
    static TrpScreenResolutionProvider provider;
    return provider;
}

// Halves to even: the rounding mode the program never changes.
long double Nearest(long double v) { return std::nearbyintl(v); }

int32_t Saturate(long double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<long double>(INT32_MAX)) return INT32_MAX;
    if (v <= static_cast<long double>(INT32_MIN)) return INT32_MIN;
    return static_cast<int32_t>(v);
}

int32_t Times100(int32_t v) { return Saturate(static_cast<long double>(v) * 100); }

long double PrinterPpi(int Axis, const TObject* Printer) {
    if (const auto* device = dynamic_cast<const TrpDeviceResolution*>(Printer)) {
        const int ppi = device->PixelsPerInch(Axis);
        if (ppi > 0) return ppi;
    }
    return rpScreenPixelsPerInch(Axis);
}

}  // namespace

TrpScreenResolutionProvider rpSetScreenResolutionProvider(TrpScreenResolutionProvider NewProvider) {
    std::lock_guard<std::mutex> guard(ProviderLock());
    TrpScreenResolutionProvider old = std::move(Provider());
    Provider() = std::move(NewProvider);
    return old;
}

int rpScreenPixelsPerInch(int Axis) {
    std::lock_guard<std::mutex> guard(ProviderLock());
    const int ppi = Provider() ? Provider()(Axis) : kDefaultScreenPpi;
    return ppi > 0 ? ppi : kDefaultScreenPpi;
}

int32_t rpRoundHalfEven(long double Value) {
    // Only the default mode (to nearest, ties to even) is ever in force.
    return Saturate(Nearest(Value));
}

float rpFromMMThousandths(int32_t Value, TrpUnitType Unit, int Axis, const TObject* Printer) {
    const long double m = Value;
    switch (Unit) {
        case utScreenPixels: return static_cast<float>(Nearest(m / 1000 * K * rpScreenPixelsPerInch(Axis)));
        case utInches: return static_cast<float>(Nearest(m / 1000 * K * 10000) / 10000);
        case utMillimeters: return static_cast<float>(m / 1000);
        case utPrinterPixels: return static_cast<float>(Nearest(m / 1000 * K * PrinterPpi(Axis, Printer)));
        case utMMThousandths: return static_cast<float>(m);
    }
    return 0;
}

int32_t rpToMMThousandths(TrpUnitType Unit, int Axis, const TObject* Printer, float Value) {
    const long double v = Value;
    switch (Unit) {
        case utScreenPixels: return rpRoundHalfEven(v / rpScreenPixelsPerInch(Axis) / K * 1000);
        case utInches: return rpRoundHalfEven(v / K * 1000);
        case utMillimeters: return rpRoundHalfEven(v * 1000);
        case utPrinterPixels: return rpRoundHalfEven(v / PrinterPpi(Axis, Printer) / K * 1000);
        case utMMThousandths: return Saturate(std::trunc(v));
    }
    return 0;
}

float rpFromScreenPixels(int32_t Pixels, TrpUnitType Unit, int Axis, const TObject* Printer) {
    return rpFromMMThousandths(rpToMMThousandths(utScreenPixels, Axis, Printer, static_cast<float>(Pixels)), Unit,
                               Axis, Printer);
}

int32_t rpToScreenPixels(TrpUnitType Unit, int Axis, const TObject* Printer, float Value) {
    const float pixels =
        rpFromMMThousandths(rpToMMThousandths(Unit, Axis, Printer, Value), utScreenPixels, 0, Printer);
    return Saturate(std::trunc(static_cast<long double>(pixels)));
}

float rpFromTenthsOfMM(int32_t Value, TrpUnitType Unit, int Axis, const TObject* Printer) {
    switch (Unit) {
        case utScreenPixels:
        case utPrinterPixels: return rpFromMMThousandths(Times100(Value), Unit, Axis, Printer);
        case utInches:
            return rpFromScreenPixels(
                rpToScreenPixels(utMMThousandths, Axis, Printer, static_cast<float>(Times100(Value))), utInches,
                Axis, Printer);
        case utMillimeters: return static_cast<float>(Nearest(static_cast<long double>(Value) / 10));
        case utMMThousandths: return static_cast<float>(Times100(Value));
    }
    return 0;
}

int32_t rpToTenthsOfMM(TrpUnitType Unit, int Axis, const TObject* Printer, float Value) {
    switch (Unit) {
        case utScreenPixels:
        case utPrinterPixels: return rpToMMThousandths(Unit, Axis, Printer, Value) / 100;
        case utInches: {
            const float m = rpFromScreenPixels(rpToScreenPixels(utInches, Axis, Printer, Value), utMMThousandths,
                                               Axis, Printer);
            return Saturate(std::trunc(static_cast<long double>(m) / 100));
        }
        case utMillimeters: return rpRoundHalfEven(static_cast<long double>(Value) * 10);
        case utMMThousandths: return rpRoundHalfEven(static_cast<long double>(Value) / 100);
    }
    return 0;
}

void rpConvertListToUnits(TStrings* List, TrpUnitType Unit, int Axis, const TObject* Printer) {
    if (List == nullptr) return;
    for (int i = 0; i < List->Count(); ++i) {
        const float v = rpFromMMThousandths(StrToInt(Trim(List->Get(i))), Unit, Axis, Printer);
        List->Put(i, FloatToStrF(v, ffGeneral, 7, 0));
    }
}

void rpConvertListFromUnits(TStrings* List, TrpUnitType Unit, int Axis, const TObject* Printer) {
    if (List == nullptr) return;
    for (int i = 0; i < List->Count(); ++i) {
        const double v = StrToFloat(Trim(List->Get(i)));
        List->Put(i, IntToStr(rpToMMThousandths(Unit, Axis, Printer, static_cast<float>(v))));
    }
}
