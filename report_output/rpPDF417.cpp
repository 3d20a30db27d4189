#include "report_output/rpPDF417.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/rtl/Strings.h"

namespace {

constexpr int kPrime = 929;
const char* const kTooLarge = "Code too large for barcode";

// A byte of the data, or a codeword given by an escape.
struct Item {
    int Byte = -1;
    int Codeword = -1;
};

int Digits(const std::string& S, std::size_t At, int Count, int Base) {
    if (At + Count > S.size()) return -1;
    int v = 0;
    for (int i = 0; i < Count; ++i) {
        const char c = S[At + i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (Base == 16 && std::isxdigit(static_cast<unsigned char>(c))) d = std::toupper(c) - 'A' + 10;
        else return -1;
        v = v * Base + d;
    }
    return v;
}

std::vector<Item> ReadCode(const std::string& Code) {
    std::vector<Item> items;
    bool utf8Bytes = false;  // after ECI 26 the characters keep their UTF-8 bytes
    auto addChar = [&](std::size_t& i) {
        std::size_t start = i;
        const char32_t cp = utf8::Next(Code, i);
        if (utf8Bytes) {
            for (std::size_t k = start; k < i; ++k) items.push_back({static_cast<unsigned char>(Code[k]), -1});
        } else {
            const std::string b = Utf8ToCp1252(utf8::Encode(cp));
            items.push_back({static_cast<unsigned char>(b[0]), -1});
        }
    };
    for (std::size_t i = 0; i < Code.size();) {
        if (Code[i] != '\\' || i + 1 >= Code.size()) {
            addChar(i);
            continue;
        }
        const char n = Code[i + 1];
        int v;
        if (n == '\\') {
            items.push_back({'\\', -1});
            i += 2;
        } else if ((v = Digits(Code, i + 1, 3, 10)) >= 0) {
            items.push_back({v & 0xFF, -1});
            i += 4;
        } else if ((n == 'x' || n == 'X') && (v = Digits(Code, i + 2, 2, 16)) >= 0) {
            items.push_back({v, -1});
            i += 4;
        } else if ((n == 'c' || n == 'C') && (v = Digits(Code, i + 2, 3, 10)) >= 0) {
            items.push_back({-1, v});
            i += 5;
        } else if ((n == 'g' || n == 'G') && (v = Digits(Code, i + 2, 6, 10)) >= 0) {
            // Extended channel interpretations as ISO/IEC 15438 numbers them.
            if (v <= 899) {
                items.push_back({-1, 927});
                items.push_back({-1, v});
            } else if (v <= 810899) {
                items.push_back({-1, 926});
                items.push_back({-1, v / 900 - 1});
                items.push_back({-1, v % 900});
            } else if (v <= 811799) {
                items.push_back({-1, 925});
                items.push_back({-1, v - 810900});
            } else {
                throw E2DBarcodeError("GLI value out of range");
            }
            utf8Bytes = v == 26;
            i += 8;
        } else {
            items.push_back({'\\', -1});
            ++i;
        }
    }
    return items;
}

bool IsDigit(const Item& I) { return I.Byte >= '0' && I.Byte <= '9'; }
bool IsText(const Item& I) { return I.Byte == 9 || I.Byte == 10 || I.Byte == 13 || (I.Byte >= 32 && I.Byte <= 126); }

std::size_t RunLength(const std::vector<Item>& Items, std::size_t At, bool (*Test)(const Item&)) {
    std::size_t n = 0;
    while (At + n < Items.size() && Test(Items[At + n])) ++n;
    return n;
}

bool NumericRunAt(const std::vector<Item>& Items, std::size_t At) { return RunLength(Items, At, IsDigit) >= 14; }
bool TextRunAt(const std::vector<Item>& Items, std::size_t At) {
    const std::size_t n = RunLength(Items, At, IsText);
    return n >= 6 || (n >= 1 && At + n == Items.size());
}

enum Submode { kAlpha, kLower, kMixed, kPunct };

int ValueIn(Submode Mode, int C) {
    static const char* const kMixedChars = "0123456789&\r\t,:#-.$/+%*=^";
    static const char* const kPunctChars = ";<>@[\\]_`~!\r\t,:\n-.$/\"|*()?{}'";
    switch (Mode) {
        case kAlpha:
            if (C >= 'A' && C <= 'Z') return C - 'A';
            return C == ' ' ? 26 : -1;
        case kLower:
            if (C >= 'a' && C <= 'z') return C - 'a';
            return C == ' ' ? 26 : -1;
        case kMixed: {
            if (C == ' ') return 26;
            const char* p = C != 0 ? std::strchr(kMixedChars, C) : nullptr;
            return p != nullptr ? static_cast<int>(p - kMixedChars) : -1;
        }
        case kPunct: {
            const char* p = C != 0 ? std::strchr(kPunctChars, C) : nullptr;
            return p != nullptr ? static_cast<int>(p - kPunctChars) : -1;
        }
    }
    return -1;
}

class TextCompactor {
public:
    explicit TextCompactor(std::vector<int>& Out) : out_(Out) {}

    void Add(const std::vector<Item>& Items, std::size_t I) {
        const int c = Items[I].Byte;
        const int next = I + 1 < Items.size() ? Items[I + 1].Byte : -1;
        if (ValueIn(mode_, c) >= 0) {
            Half(ValueIn(mode_, c));
            return;
        }
        Submode target = ValueIn(kAlpha, c) >= 0 ? kAlpha : ValueIn(kLower, c) >= 0 ? kLower
                                                      : ValueIn(kMixed, c) >= 0 ? kMixed : kPunct;
        const bool nextNeedsIt = next >= 0 && ValueIn(target, next) >= 0 && ValueIn(mode_, next) < 0;
        if (target == kPunct && !nextNeedsIt && mode_ != kPunct) {
            Half(29);  // punctuation shift
            Half(ValueIn(kPunct, c));
            return;
        }
        if (target == kAlpha && mode_ == kLower && !nextNeedsIt) {
            Half(27);  // alpha shift
            Half(ValueIn(kAlpha, c));
            return;
        }
        LatchTo(target);
        Half(ValueIn(mode_, c));
    }

    // A codeword given as such: the open half is closed first.
    void Flush() {
        if (pending_ >= 0) Half(29);
    }

private:
    void LatchTo(Submode Target) {
        if (mode_ == kPunct) {
            Half(29);
            mode_ = kAlpha;
            if (Target == kAlpha) return;
        }
        switch (Target) {
            case kAlpha:
                if (mode_ == kLower) {
                    Half(28);
                    Half(28);
                } else {
                    Half(28);
                }
                break;
            case kLower: Half(27); break;
            case kMixed: Half(28); break;
            case kPunct:
                if (mode_ != kMixed) Half(28);
                Half(25);
                break;
        }
        mode_ = Target;
    }
    void Half(int V) {
        if (pending_ < 0) {
            pending_ = V;
        } else {
            out_.push_back(pending_ * 30 + V);
            pending_ = -1;
        }
    }

    std::vector<int>& out_;
    Submode mode_ = kAlpha;
    int pending_ = -1;
};

void CompactNumeric(const std::vector<Item>& Items, std::size_t From, std::size_t Count, std::vector<int>& Out) {
    Out.push_back(902);
    for (std::size_t at = 0; at < Count; at += 44) {
        const std::size_t len = std::min<std::size_t>(44, Count - at);
        std::vector<int> number{1};  // decimal digits, most significant first
        for (std::size_t k = 0; k < len; ++k) number.push_back(Items[From + at + k].Byte - '0');
        std::vector<int> base900;
        while (!(number.size() == 1 && number[0] == 0) && !number.empty()) {
            std::vector<int> quotient;
            int rem = 0;
            for (int d : number) {
                rem = rem * 10 + d;
                const int q = rem / 900;
                rem %= 900;
                if (!quotient.empty() || q != 0) quotient.push_back(q);
            }
            base900.push_back(rem);
            number = quotient.empty() ? std::vector<int>{0} : quotient;
        }
        Out.insert(Out.end(), base900.rbegin(), base900.rend());
    }
}

void CompactBytes(const std::vector<Item>& Items, std::size_t From, std::size_t Count, std::vector<int>& Out) {
    Out.push_back(Count % 6 == 0 ? 924 : 901);
    std::size_t k = 0;
    for (; k + 6 <= Count; k += 6) {
        uint64_t v = 0;
        for (int b = 0; b < 6; ++b) v = (v << 8) | static_cast<uint64_t>(Items[From + k + b].Byte);
        int group[5];
        for (int g = 4; g >= 0; --g) {
            group[g] = static_cast<int>(v % 900);
            v /= 900;
        }
        Out.insert(Out.end(), group, group + 5);
    }
    for (; k < Count; ++k) Out.push_back(Items[From + k].Byte);
}

std::vector<int> Coefficients(int K) {
    std::vector<int> g{1};
    int root = 1;
    for (int i = 1; i <= K; ++i) {
        root = root * 3 % kPrime;
        std::vector<int> next(g.size() + 1, 0);
        for (std::size_t j = 0; j < g.size(); ++j) {
            next[j + 1] = (next[j + 1] + g[j]) % kPrime;
            next[j] = (next[j] + kPrime - g[j] * root % kPrime) % kPrime;
        }
        g = next;
    }
    g.resize(static_cast<std::size_t>(K));
    return g;
}

std::vector<int> Correction(const std::vector<int>& Data, int K) {
    const std::vector<int> a = Coefficients(K);
    std::vector<int> e(static_cast<std::size_t>(K), 0);
    for (int d : Data) {
        const int t1 = (d + e[K - 1]) % kPrime;
        for (int j = K - 1; j >= 1; --j) e[j] = (e[j - 1] + kPrime - t1 * a[j] % kPrime) % kPrime;
        e[0] = (kPrime - t1 * a[0] % kPrime) % kPrime;
    }
    for (int& v : e) v = (kPrime - v) % kPrime;
    return std::vector<int>(e.rbegin(), e.rend());
}

}  // namespace

TClass TrpStPDF417Barcode::StaticClassType() {
    using P = TrpStPDF417Barcode;
    static const TClassInfo info =
        TClassBuilder<P>("TrpStPDF417Barcode", TrpStCustom2DBarcode::StaticClassType())
            .Enum("ECCLevel", rpTypeInfo<TStPDF417ECCLevels>(), &P::ECCLevel, &P::SetECCLevel, ecAuto)
            .Integer("NumColumns", &P::NumColumns, &P::SetNumColumns, 0)
            .Integer("NumRows", &P::NumRows, &P::SetNumRows, 0)
            .Boolean("Truncated", &P::Truncated, &P::SetTruncated, false)
            .Build();
    return &info;
}

TrpStPDF417Barcode::TrpStPDF417Barcode() {
    GenerateCodewords();
    SetSize(273, 81);
}

std::vector<int> TrpStPDF417Barcode::Compact(const std::string& Code) {
    const std::vector<Item> items = ReadCode(Code);
    std::vector<int> out;
    enum Mode { kByte, kNumeric, kText } mode = kByte;
    std::size_t i = 0;
    bool start = true;
    auto choose = [&](std::size_t At) { return NumericRunAt(items, At) ? kNumeric : TextRunAt(items, At) ? kText : kByte; };
    while (i < items.size()) {
        if (items[i].Codeword >= 0) {
            out.push_back(items[i++].Codeword);
            start = false;
            continue;
        }
        mode = choose(i);
        if (mode == kNumeric) {
            const std::size_t n = RunLength(items, i, IsDigit);
            CompactNumeric(items, i, n, out);
            i += n;
        } else if (mode == kText) {
            if (!start) out.push_back(900);
            TextCompactor text(out);
            while (i < items.size() && !NumericRunAt(items, i)) {
                if (items[i].Codeword >= 0) {
                    text.Flush();
                    out.push_back(items[i++].Codeword);
                    continue;
                }
                if (!IsText(items[i])) break;
                text.Add(items, i++);
            }
            text.Flush();
        } else {
            std::size_t n = 0;
            while (i + n < items.size() && items[i + n].Codeword < 0 &&
                   (n == 0 || (!NumericRunAt(items, i + n) && !TextRunAt(items, i + n))))
                ++n;
            CompactBytes(items, i, n, out);
            i += n;
        }
        start = false;
    }
    return out;
}

void TrpStPDF417Barcode::GenerateCodewords() {
    std::vector<int> data = Compact(Code());
    const int n = static_cast<int>(data.size()) + 1;
    int level = eccLevel_;
    if (level < 0) level = n < 41 ? 2 : n < 161 ? 3 : n < 321 ? 4 : 5;
    const int e = 1 << (level + 1);
    int r = numRows_, c = numColumns_;
    if (r >= 1 && c >= 1) {
    } else if (r >= 1) {
        c = 0;
        for (int k = 1; k <= 30 && c == 0; ++k)
            if (k * r - e >= n) c = k;
        if (c == 0) throw E2DBarcodeError(kTooLarge);
    } else if (c >= 1) {
        r = 0;
        for (int k = 3; k <= 90 && r == 0; ++k)
            if (k * c - e >= n) r = k;
        if (r == 0) throw E2DBarcodeError(kTooLarge);
    } else {
        c = 1;
        r = 3;
        while ((r < 90 || c < 30) && c * r - e < n) {
            if (r < 90) ++r;
            if (c * r - e < n && c < 30) ++c;
        }
    }
    if (r * c - e < 0 || r * c < n + e || r * c > 928) throw E2DBarcodeError(kTooLarge);
    for (int v : data)
        if (v < 0 || v > 928) throw E2DBarcodeError("Invalid Codeword");
    std::vector<int> all;
    all.reserve(static_cast<std::size_t>(r * c));
    all.push_back(r * c - e);
    all.insert(all.end(), data.begin(), data.end());
    all.resize(static_cast<std::size_t>(r * c - e), 900);
    const std::vector<int> ecc = Correction(all, e);
    all.insert(all.end(), ecc.begin(), ecc.end());
    codewords_ = std::move(all);
    used_ = n;
    rows_ = r;
    columns_ = c;
    level_ = level;
}

void TrpStPDF417Barcode::SetTruncated(bool Value) { Change(truncated_, Value, false); }

void TrpStPDF417Barcode::SetECCLevel(TStPDF417ECCLevels Value) {
    Change(eccLevel_, static_cast<int>(Value) - 1, true);
}

void TrpStPDF417Barcode::SetNumRows(int Value) {
    if (Value < 0 || Value > 90) throw E2DBarcodeError("Invalid number of rows");
    Change(numRows_, Value, true);
}

void TrpStPDF417Barcode::SetNumColumns(int Value) {
    if (Value < 0 || Value > 30) throw E2DBarcodeError("Invalid Number of columns");
    Change(numColumns_, Value, true);
}

void TrpStPDF417Barcode::SetBarHeight(int Value) {
    if (Value < 1 && BarHeightToWidth() == 0 && !RelativeBarHeight())
        throw E2DBarcodeError("Either BarHeight or BarHeightToWidth is required");
    if (Value < 0) throw E2DBarcodeError("Bar Height cannot be less than one");
    TrpStCustom2DBarcode::SetBarHeight(Value);
}

void TrpStPDF417Barcode::SetBarHeightToWidth(int Value) {
    if (Value == 0 && BarHeight() == 0 && !RelativeBarHeight())
        throw E2DBarcodeError("Either BarHeight or BarHeightToWidth is required");
    TrpStCustom2DBarcode::SetBarHeightToWidth(Value);
}

void TrpStPDF417Barcode::SetBarWidth(int Value) {
    if (Value < 1) throw E2DBarcodeError("Bar Width cannot be less than one");
    TrpStCustom2DBarcode::SetBarWidth(Value);
}

void TrpStPDF417Barcode::SetRelativeBarHeight(bool Value) {
    if (!Value && BarHeightToWidth() == 0 && BarHeight() == 0)
        throw E2DBarcodeError("Either BarHeight or BarHeightToWidth is required");
    TrpStCustom2DBarcode::SetRelativeBarHeight(Value);
}

int TrpStPDF417Barcode::GetBarCodeWidth(int) {
    return ((columns_ + (truncated_ ? 2 : 4)) * 17 + 1) * BarWidth();
}

int TrpStPDF417Barcode::GetBarCodeHeight(int Available) {
    if (RelativeBarHeight()) return Available;
    if (BarHeightToWidth() != 0) return BarHeightToWidth() * BarWidth() * rows_;
    return BarHeight() * rows_;
}

void TrpStPDF417Barcode::DrawBarcode(TCanvas* Canvas, const TRect& R) {
    const int r = rows_, c = columns_;
    if (codewords_.size() < static_cast<std::size_t>(r * c)) return;
    const int rowHeight = (R.Bottom - R.Top) / std::max(1, r);
    const int m = BarWidth();
    Canvas->Pen()->SetStyle(psClear);
    for (int i = 0; i < r; ++i) {
        const int cluster = i % 3;
        const int top = R.Top + i * rowHeight;
        int x = R.Left;
        // Elements as widths in modules, bar first.
        auto widths = [&](const char* Pattern) {
            bool bar = true;
            for (const char* p = Pattern; *p; ++p, bar = !bar) {
                const int w = (*p - '0') * m;
                if (bar) Canvas->FillRect(TRect{x, top, x + w, top + rowHeight});
                x += w;
            }
        };
        auto codeword = [&](int Value) {
            if (Value < 0 || Value > 928) throw E2DBarcodeError("Invalid Codeword");
            const uint32_t pattern = pdf417::kClusters[cluster][Value];
            for (int b = 16; b >= 0; --b) {
                if ((pattern >> b) & 1) Canvas->FillRect(TRect{x, top, x + m, top + rowHeight});
                x += m;
            }
        };
        const int base = 30 * (i / 3);
        const int rowsPart = (r - 1) / 3, levelPart = level_ * 3 + (r - 1) % 3, colsPart = c - 1;
        const int left = base + (cluster == 0 ? rowsPart : cluster == 1 ? levelPart : colsPart);
        const int right = base + (cluster == 0 ? colsPart : cluster == 1 ? rowsPart : levelPart);
        widths("81111113");
        codeword(left);
        for (int k = 0; k < c; ++k) codeword(codewords_[static_cast<std::size_t>(i * c + k)]);
        if (truncated_) {
            Canvas->FillRect(TRect{x, top, x + m, top + rowHeight});
        } else {
            codeword(right);
            widths("711311121");
        }
    }
}
