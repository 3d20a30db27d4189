#include "report_output/rpMaxiCode.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "platform/rtl/Strings.h"

namespace {

const char* const kTooLarge = "Code too large for barcode";

// Character code -> value in code sets A..E, -1 when the set lacks it.
struct CodeSets {
    int Value[5][256];
    CodeSets() {
        for (auto& set : Value)
            for (int& v : set) v = -1;
        auto range = [&](int Set, int From, int To, int First) {
            for (int c = From; c <= To; ++c) Value[Set][c] = First + (c - From);
        };
        // A
        range(0, 13, 13, 0), range(0, 65, 90, 1), range(0, 28, 30, 28), range(0, 32, 32, 32), range(0, 34, 58, 34);
        // B
        range(1, 96, 122, 0), range(1, 28, 30, 28), range(1, 123, 123, 32), range(1, 125, 127, 34);
        range(1, 59, 63, 37), range(1, 91, 95, 42), range(1, 32, 32, 47), range(1, 44, 46, 48);
        range(1, 58, 58, 51), range(1, 64, 64, 52), range(1, 33, 33, 53), range(1, 124, 124, 54);
        // C
        range(2, 192, 218, 0), range(2, 28, 30, 28), range(2, 219, 223, 32), range(2, 170, 170, 37);
        range(2, 172, 172, 38), range(2, 177, 179, 39), range(2, 181, 181, 42), range(2, 185, 185, 43);
        range(2, 186, 186, 44), range(2, 188, 190, 45), range(2, 128, 137, 48), range(2, 32, 32, 59);
        // D
        range(3, 224, 250, 0), range(3, 28, 30, 28), range(3, 251, 255, 32), range(3, 161, 161, 37);
        range(3, 168, 168, 38), range(3, 171, 171, 39), range(3, 175, 175, 40), range(3, 176, 176, 41);
        range(3, 180, 180, 42), range(3, 183, 183, 43), range(3, 184, 184, 44), range(3, 187, 187, 45);
        range(3, 191, 191, 46), range(3, 138, 148, 47), range(3, 32, 32, 59);
        // E
        range(4, 0, 26, 0), range(4, 27, 27, 30), range(4, 28, 31, 32), range(4, 159, 159, 36);
        range(4, 160, 160, 37), range(4, 162, 167, 38), range(4, 169, 169, 44), range(4, 173, 173, 45);
        range(4, 174, 174, 46), range(4, 182, 182, 47), range(4, 149, 158, 48), range(4, 32, 32, 59);
    }
};

const CodeSets& Sets() {
    static const CodeSets sets;
    return sets;
}

// Switch codewords (shift, latch) from set F to set T; -1 where the move
// has no shift. A latch of two codewords repeats the one given.
struct Switch {
    int Shift, Latch, LatchCount;
};
Switch SwitchFor(int From, int To) {
    if (To <= 1) {  // to A or B
        if (From <= 1) return {59, 63, 1};
        return {-1, To == 0 ? 58 : 63, 1};
    }
    const int code = To == 2 ? 60 : To == 3 ? 61 : 62;
    return {code, code, 2};
}

// GF(64), primitive polynomial x^6 + x + 1.
struct Galois64 {
    int Exp[128];
    int Log[64];
    Galois64() {
        int v = 1;
        for (int i = 0; i < 63; ++i) {
            Exp[i] = Exp[i + 63] = v;
            Log[v] = i;
            v <<= 1;
            if (v & 64) v ^= 67;
        }
        Log[0] = 0;
    }
    int Mul(int A, int B) const { return A == 0 || B == 0 ? 0 : Exp[Log[A] + Log[B]]; }
};

// Check codewords of Data, highest degree first (generator roots a^1..a^K).
std::vector<int> ReedSolomon(const std::vector<int>& Data, int K) {
    static const Galois64 gf;
    std::vector<int> g(static_cast<std::size_t>(K + 1), 0);
    g[0] = 1;
    for (int i = 1; i <= K; ++i) {
        const int root = gf.Exp[i];
        for (int j = i; j >= 1; --j) g[j] = g[j - 1] ^ gf.Mul(g[j], root);
        g[0] = gf.Mul(g[0], root);
    }
    // g[j] is the coefficient of x^j; the remainder of Data x^K by g.
    std::vector<int> rem(static_cast<std::size_t>(K), 0);
    for (int d : Data) {
        const int feedback = d ^ rem[K - 1];
        for (int j = K - 1; j >= 1; --j) rem[j] = rem[j - 1] ^ gf.Mul(feedback, g[j]);
        rem[0] = gf.Mul(feedback, g[0]);
    }
    return std::vector<int>(rem.rbegin(), rem.rend());
}

int Number(const std::string& S, std::size_t At, int Count, int Base, bool& Ok) {
    Ok = At + Count <= S.size();
    int v = 0;
    for (int i = 0; Ok && i < Count; ++i) {
        const char c = S[At + i];
        if (c >= '0' && c <= '9') v = v * Base + (c - '0');
        else if (Base == 16 && std::isxdigit(static_cast<unsigned char>(c))) v = v * Base + (std::toupper(c) - 'A' + 10);
        else Ok = false;
    }
    return Ok ? v : 0;
}

}  // namespace

TClass TrpStMaxiCodeBarcode::StaticClassType() {
    using M = TrpStMaxiCodeBarcode;
    static const TClassInfo info =
        TClassBuilder<M>("TrpStMaxiCodeBarcode", TrpStCustom2DBarcode::StaticClassType())
            .Enum("Mode", rpTypeInfo<TStMaxiCodeMode>(), &M::Mode, &M::SetMode, cmMode4)
            .String("CarrierPostalCode", &M::CarrierPostalCode, &M::SetCarrierPostalCode)
            .Integer("CarrierCountryCode", &M::CarrierCountryCode, &M::SetCarrierCountryCode, 0)
            .Integer("CarrierServiceClass", &M::CarrierServiceClass, &M::SetCarrierServiceClass, 0)
            .Boolean("AutoScale", &M::AutoScale, &M::SetAutoScale, true)
            .Float("HorPixelsPerMM", &M::HorPixelsPerMM, &M::SetHorPixelsPerMM, TypeInfoExtended())
            .Float("VerPixelsPerMM", &M::VerPixelsPerMM, &M::SetVerPixelsPerMM, TypeInfoExtended())
            .Integer("Width", &M::Width, &M::SetWidth, 121)
            .Integer("Height", &M::Height, &M::SetHeight, 129)
            .Build();
    return &info;
}

TrpStMaxiCodeBarcode::TrpStMaxiCodeBarcode() {
    GenerateCodewords();
    SetSize(121, 129);
}

void TrpStMaxiCodeBarcode::SetMode(TStMaxiCodeMode Value) { Change(mode_, Value, true); }
void TrpStMaxiCodeBarcode::SetCarrierPostalCode(const std::string& Value) { Change(postalCode_, Value, mode_ <= cmMode3); }
void TrpStMaxiCodeBarcode::SetCarrierCountryCode(int Value) { Change(countryCode_, Value, mode_ <= cmMode3); }
void TrpStMaxiCodeBarcode::SetCarrierServiceClass(int Value) { Change(serviceClass_, Value, mode_ <= cmMode3); }
namespace {
const char* const kNoWidth = "Horizontal size needs to be specified";
const char* const kNoHeight = "Vertical size needs to be specified";
}  // namespace

void TrpStMaxiCodeBarcode::SetAutoScale(bool Value) {
    if (!Value && BarWidth() == 0 && horPixelsPerMM_ == 0) throw E2DBarcodeError(kNoWidth);
    if (!Value && BarHeight() == 0 && verPixelsPerMM_ == 0) throw E2DBarcodeError(kNoHeight);
    Change(autoScale_, Value, false);
}

void TrpStMaxiCodeBarcode::SetHorPixelsPerMM(double Value) {
    if (Value == 0 && BarWidth() == 0 && !autoScale_) throw E2DBarcodeError(kNoWidth);
    Change(horPixelsPerMM_, Value, false);
}

void TrpStMaxiCodeBarcode::SetVerPixelsPerMM(double Value) {
    if (Value == 0 && BarHeight() == 0 && !autoScale_) throw E2DBarcodeError(kNoHeight);
    Change(verPixelsPerMM_, Value, false);
}

void TrpStMaxiCodeBarcode::SetBarWidth(int Value) {
    if (Value == 0 && horPixelsPerMM_ == 0 && !autoScale_) throw E2DBarcodeError(kNoWidth);
    TrpStCustom2DBarcode::SetBarWidth(Value);
}

void TrpStMaxiCodeBarcode::SetBarHeight(int Value) {
    if (Value == 0 && verPixelsPerMM_ == 0 && !autoScale_) throw E2DBarcodeError(kNoHeight);
    TrpStCustom2DBarcode::SetBarHeight(Value);
}

double TrpStMaxiCodeBarcode::ModuleWidth() const {
    if (autoScale_) return PixelsPerInchX() * 1.003937 / 29;
    return BarWidth() != 0 ? BarWidth() : horPixelsPerMM_ * 27 / 29;
}

double TrpStMaxiCodeBarcode::ModuleHeight() const {
    if (autoScale_) return PixelsPerInchY() * 0.959449 / 29;
    return BarHeight() != 0 ? BarHeight() : std::round(verPixelsPerMM_ * 25) / 29;
}

int TrpStMaxiCodeBarcode::GetBarCodeWidth(int) {
    return static_cast<int>(std::lround(30 * ModuleWidth() + ModuleWidth() / 2));
}

int TrpStMaxiCodeBarcode::GetBarCodeHeight(int) {
    return static_cast<int>(std::lround(33 * ModuleHeight() - 33 * ModuleHeight() / 6));
}

void TrpStMaxiCodeBarcode::GenerateCodewords() {
    std::vector<int> message;
    std::array<int, 144> symbol{};
    int modeNumber = mode_ == cmMode4 ? 4 : mode_ == cmMode5 ? 5 : mode_ == cmMode6 ? 6 : 2;
    if (mode_ <= cmMode3) {
        bool digits = true;
        for (char c : postalCode_)
            if (c < '0' || c > '9') digits = false;
        modeNumber = digits ? 2 : 3;
        uint64_t postal = 0;
        if (digits) {
            char* end = nullptr;
            const long long v = postalCode_.empty() ? -1 : std::strtoll(postalCode_.c_str(), &end, 10);
            if (v < 0 || v > 2147483647LL) throw E2DBarcodeError("Invalid Postal Code");
            postal = (static_cast<uint64_t>(v) & 0x3FFFFFFF) |
                     ((static_cast<uint64_t>(utf8::CharCount(postalCode_)) & 63) << 30);
        } else {
            std::string text = postalCode_ + "      ";
            for (int i = 0; i < 6; ++i) {
                int c = static_cast<unsigned char>(text[i]);
                if (c >= 'a' && c <= 'z') c -= 32;
                int v = Sets().Value[0][c];
                if (v < 0) v = 32;
                postal = (postal << 6) | static_cast<uint64_t>(v);
            }
        }
        const uint64_t m = static_cast<uint64_t>(modeNumber) | (postal << 4) |
                           ((static_cast<uint64_t>(countryCode_) & 1023) << 40) |
                           ((static_cast<uint64_t>(serviceClass_) & 1023) << 50);
        for (int k = 0; k < 10; ++k) symbol[k] = static_cast<int>((m >> (6 * k)) & 63);
    } else {
        symbol[0] = modeNumber;
    }

    // The data: UTF-8 read as code page 1252 characters, escapes interpreted.
    const std::string raw = Utf8ToCp1252(Code());
    int set = 0;
    auto addChar = [&](int C, std::size_t NextUnread) {
        if (Sets().Value[set][C] >= 0) {
            message.push_back(Sets().Value[set][C]);
            return;
        }
        int target = 0;
        while (Sets().Value[target][C] < 0) ++target;
        const bool ahead = NextUnread + 1 < raw.size() &&
                           Sets().Value[set][static_cast<unsigned char>(raw[NextUnread + 1])] >= 0;
        const Switch sw = SwitchFor(set, target);
        if (ahead && sw.Shift >= 0) {
            message.push_back(sw.Shift);
        } else {
            for (int k = 0; k < sw.LatchCount; ++k) message.push_back(sw.Latch);
            set = target;
        }
        message.push_back(Sets().Value[target][C]);
    };
    for (std::size_t i = 0; i < raw.size();) {
        const unsigned char c = static_cast<unsigned char>(raw[i]);
        if (c == '\\' && i + 1 < raw.size()) {
            const char n = raw[i + 1];
            const char n2 = i + 2 < raw.size() ? static_cast<char>(std::toupper(raw[i + 2])) : 0;
            const char up = static_cast<char>(std::toupper(n));
            bool ok = false;
            if (n == '\\') {
                addChar('\\', i + 2);
                i += 2;
                continue;
            }
            if (n >= '0' && n <= '9') {
                bool digits = false;
                int v = Number(raw, i + 1, 3, 10, digits);
                if (i + 4 <= raw.size()) {
                    if (v > 255) throw E2DBarcodeError("Invalid Codeword");
                    addChar(v, i + 4);
                    i += 4;
                    continue;
                }
            } else if (up == 'X' && i + 4 <= raw.size()) {
                const int v = Number(raw, i + 2, 2, 16, ok);
                addChar(v, i + 4);
                i += 4;
                continue;
            } else if (up == 'C' && i + 4 <= raw.size()) {
                const int v = Number(raw, i + 2, 2, 10, ok);
                if (v > 63) throw E2DBarcodeError("Invalid Codeword");
                message.push_back(v);
                i += 4;
                continue;
            } else if ((up == 'F' || up == 'G' || up == 'R' || up == 'N') && n2 == 'S') {
                if (up == 'N') message.push_back(31);
                else addChar(up == 'F' ? 28 : up == 'G' ? 29 : 30, i + 3);
                i += 3;
                continue;
            } else if (up == 'E' && n2 == 'O' && i + 3 < raw.size() && std::toupper(raw[i + 3]) == 'T') {
                addChar(4, i + 4);
                i += 4;
                continue;
            } else if (up == 'E') {
                const int v = Number(raw, i + 2, 6, 10, ok);
                if (ok) {
                    if (v > 999999) throw E2DBarcodeError("GLI value out of range");
                    message.push_back(27);
                    if (v < 32) {
                        message.push_back(v);
                    } else if (v < 1024) {
                        message.push_back(32 | (v >> 6));
                        message.push_back(v & 63);
                    } else if (v < 32768) {
                        message.push_back(48 | (v >> 12));
                        message.push_back((v >> 6) & 63);
                        message.push_back(v & 63);
                    } else {
                        message.push_back(56 | (v >> 18));
                        message.push_back((v >> 12) & 63);
                        message.push_back((v >> 6) & 63);
                        message.push_back(v & 63);
                    }
                    i += 8;
                    continue;
                }
            }
        }
        addChar(c, i + 1);
        ++i;
    }
    const int length = static_cast<int>(message.size());
    if (length > 84 || (mode_ == cmMode5 && length > 68)) throw E2DBarcodeError(kTooLarge);
    if (set == 2 || set == 3) {
        message.push_back(58);
        set = 0;
    }
    const int pad = set == 4 ? 28 : 33;
    while (message.size() < 145) message.push_back(pad);
    message.resize(145);

    // Mode 6 is laid out as mode 4, as ISO/IEC 16023 lays it out: with
    // codewords 1-9 left empty a reader takes them for nine characters.
    if (mode_ == cmMode4 || mode_ == cmMode5 || mode_ == cmMode6) {
        for (int k = 0; k < 9; ++k) symbol[1 + k] = message[k];
        const int count = mode_ == cmMode5 ? 68 : 84;
        for (int k = 0; k < count; ++k) symbol[20 + k] = message[9 + k];
    } else {
        for (int k = 0; k < 84; ++k) symbol[20 + k] = message[k];
    }
    const std::vector<int> primary = ReedSolomon(std::vector<int>(symbol.begin(), symbol.begin() + 10), 10);
    for (int k = 0; k < 10; ++k) symbol[10 + k] = primary[k];
    const bool enhanced = mode_ == cmMode5;
    const int dataHalf = enhanced ? 34 : 42, checkHalf = enhanced ? 28 : 20;
    const int checkStart = 20 + 2 * dataHalf;
    for (int half = 0; half < 2; ++half) {
        std::vector<int> data;
        for (int k = 0; k < dataHalf; ++k) data.push_back(symbol[20 + 2 * k + half]);
        const std::vector<int> check = ReedSolomon(data, checkHalf);
        for (int k = 0; k < checkHalf; ++k) symbol[checkStart + 2 * k + half] = check[k];
    }
    message_ = std::move(message);
    messageLength_ = length;
    codewords_ = symbol;
}

void TrpStMaxiCodeBarcode::DrawBarcode(TCanvas* Canvas, const TRect& R) {
    const double mw = ModuleWidth(), mh = ModuleHeight();
    const TColor dark = Canvas->Brush()->Color();
    Canvas->Pen()->SetStyle(psClear);
    const int g = (static_cast<int>(std::lround(mw)) + 1) / 8 + 1;
    for (int row = 0; row < 33; ++row)
        for (int col = 0; col < 30; ++col) {
            const int n = maxicode::kPlacement[row][col];
            bool on = n == -1;
            if (n >= 1) on = (codewords_[(n - 1) / 6] >> (5 - (n - 1) % 6)) & 1;
            if (!on) continue;
            int x = static_cast<int>(std::lround(col * mw + (row % 2 == 1 ? mw / 2 : 0))) + R.Left;
            int y = static_cast<int>(std::lround(row * (mh - mh / 6))) + R.Top;
            int w, h;
            if (mw >= 4) {
                x += g;
                y += g;
                w = static_cast<int>(std::lround(mw - g));
                h = static_cast<int>(std::lround(mh - g));
            } else {
                w = static_cast<int>(std::lround(mw));
                h = static_cast<int>(std::lround(mh));
            }
            if (w < 4 || h < 4) {
                Canvas->Ellipse(x, y, x + w, y + h);
            } else {
                Canvas->Polygon({{x + w / 2, y},
                                 {x + w, y + h / 4},
                                 {x + w, y + h - h / 4},
                                 {x + w / 2, y + h},
                                 {x, y + h - h / 4},
                                 {x, y + h / 4}});
            }
        }
    // The bull's-eye: three dark rings about the centre.
    const int cx = static_cast<int>(std::lround(14.5 * mw)) + R.Left;
    const int cy = static_cast<int>(std::lround(16.5 * mh * 0.8660254)) + R.Top;
    Canvas->Pen()->SetStyle(psSolid);
    Canvas->Pen()->SetColor(dark);
    Canvas->Pen()->SetWidth(std::max(1, static_cast<int>(std::lround(mw - mh / 6))));
    Canvas->Brush()->SetColor(BackgroundColor());
    for (double radius : {4.0, 2.5, 1.0}) {
        const int rx = static_cast<int>(std::lround(radius * mw)), ry = static_cast<int>(std::lround(radius * mh));
        Canvas->Ellipse(cx - rx, cy - ry, cx + rx, cy + ry);
    }
    Canvas->Brush()->SetColor(dark);
}
