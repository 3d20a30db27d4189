#include "report_output/rpBarCodeEncoders.h"

#include <array>
#include <cctype>
#include <cstring>
#include <algorithm>
#include <vector>

#include "platform/rtl/Strings.h"
#include "report/rpLanguage.h"
#include "report/rpUnits.h"

namespace barcode {

namespace {

// Code 128 symbol values 0..105 as bar/space widths, bar first.
const char* const kCode128[106] = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212", "221213", "221312",
    "231212", "112232", "122132", "122231", "113222", "123122", "123221", "223211", "221132", "221231", "213212",
    "223112", "312131", "311222", "321122", "321221", "312212", "322112", "322211", "212123", "212321", "232121",
    "111323", "131123", "131321", "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331",
    "132131", "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311", "213131", "311123",
    "311321", "331121", "312113", "312311", "332111", "314111", "221411", "431111", "111224", "111422", "121124",
    "121421", "141122", "141221", "112214", "112412", "122114", "122411", "142112", "142211", "241211", "221114",
    "413111", "241112", "134111", "111242", "121142", "121241", "114212", "124112", "124211", "411212", "421112",
    "421211", "212141", "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232"};
const char* const kCode128Stop = "1100011101011";

// EAN/UPC set A (odd parity); set C is its complement, set B set C reversed.
const char* const kEanA[10] = {"0001101", "0011001", "0010011", "0111101", "0100011",
                               "0110001", "0101111", "0111011", "0110111", "0001011"};
const char* const kEan13Parity[10] = {"AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                                      "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"};
const char* const kUpcEParity[10] = {"BBBAAA", "BBABAA", "BBAABA", "BBAAAB", "BABBAA",
                                     "BAABBA", "BAAABB", "BABABA", "BABAAB", "BAABAB"};
const char* const kAddOn5Parity[10] = {"BBAAA", "BABAA", "BAABA", "BAAAB", "ABBAA",
                                       "AABBA", "AAABB", "ABABA", "ABAAB", "AABAB"};

const char* const kInt2of5[10] = {"00110", "10001", "01001", "11000", "00101",
                                  "10100", "01100", "00011", "10010", "01010"};
const char* const kPostnet[10] = {"22111", "11122", "11212", "11221", "12112",
                                  "12121", "12211", "21112", "21121", "21211"};

struct WideNarrow {
    char Char;
    const char* Pattern;
};
const WideNarrow kCode39[] = {
    {'0', "000110100"}, {'1', "100100001"}, {'2', "001100001"}, {'3', "101100000"}, {'4', "000110001"},
    {'5', "100110000"}, {'6', "001110000"}, {'7', "000100101"}, {'8', "100100100"}, {'9', "001100100"},
    {'A', "100001001"}, {'B', "001001001"}, {'C', "101001000"}, {'D', "000011001"}, {'E', "100011000"},
    {'F', "001011000"}, {'G', "000001101"}, {'H', "100001100"}, {'I', "001001100"}, {'J', "000011100"},
    {'K', "100000011"}, {'L', "001000011"}, {'M', "101000010"}, {'N', "000010011"}, {'O', "100010010"},
    {'P', "001010010"}, {'Q', "000000111"}, {'R', "100000110"}, {'S', "001000110"}, {'T', "000010110"},
    {'U', "110000001"}, {'V', "011000001"}, {'W', "111000000"}, {'X', "010010001"}, {'Y', "110010000"},
    {'Z', "011010000"}, {'-', "010000101"}, {'.', "110000100"}, {' ', "011000100"}, {'$', "010101000"},
    {'/', "010100010"}, {'+', "010001010"}, {'%', "000101010"}, {'*', "010010100"}};
const WideNarrow kCodabar[] = {
    {'0', "0000011"}, {'1', "0000110"}, {'2', "0001001"}, {'3', "1100000"}, {'4', "0010010"},
    {'5', "1000010"}, {'6', "0100001"}, {'7', "0100100"}, {'8', "0110000"}, {'9', "1001000"},
    {'-', "0001100"}, {'$', "0011000"}, {':', "1000101"}, {'/', "1010001"}, {'.', "1010100"},
    {'+', "0010101"}, {'A', "0011010"}, {'B', "0101001"}, {'C', "0001011"}, {'D', "0001110"}};

template <std::size_t N>
const char* Lookup(const WideNarrow (&Table)[N], char C) {
    for (const WideNarrow& e : Table)
        if (e.Char == C) return e.Pattern;
    return nullptr;
}

bool AllDigits(const std::string& S) {
    for (unsigned char c : S)
        if (c < '0' || c > '9') return false;
    return true;
}

// Refused data: the column buffer stays empty.
struct Refused {
    std::string Message;
};

// Appends elements to a column buffer, refusing a symbol that grows past
// the limit instead of writing beyond it.
class Columns {
public:
    Columns(std::string& Out, int Narrow, int Wide) : out_(Out), narrow_(Narrow), wide_(Wide) {}

    void Run(char C, int Count) {
        if (Count <= 0) return;
        if (out_.size() + static_cast<std::size_t>(Count) > static_cast<std::size_t>(kMaxBarCodeColumns))
            throw Refused{"O código de barras passa de " + std::to_string(kMaxBarCodeColumns) +
                          " colunas; reduza a largura da barra ou os dados"};
        out_.append(static_cast<std::size_t>(Count), C);
    }
    // Module patterns: one module per character.
    void Modules(const char* Pattern) {
        for (const char* p = Pattern; *p; ++p) Run(*p, narrow_);
    }
    // Width patterns ("212222"): bar first, alternating.
    void Widths(const char* Pattern) {
        bool bar = true;
        for (const char* p = Pattern; *p; ++p, bar = !bar) Run(bar ? '1' : '0', narrow_ * (*p - '0'));
    }
    // Wide/narrow patterns ("00110", 1 = wide), bar first, alternating.
    void WideNarrowElements(const char* Pattern) {
        bool bar = true;
        for (const char* p = Pattern; *p; ++p, bar = !bar) Run(bar ? '1' : '0', *p == '1' ? wide_ : narrow_);
    }
    int Narrow() const { return narrow_; }

private:
    std::string& out_;
    int narrow_;
    int wide_;
};

std::string EanDigit(int Digit, char Set) {
    std::string p = kEanA[Digit];
    if (Set == 'A') return p;
    for (char& c : p) c = c == '1' ? '0' : '1';  // set C
    if (Set == 'C') return p;
    return std::string(p.rbegin(), p.rend());  // set B
}

// Full-length digits with the check digit worked out when asked.
std::string WithCheckDigit(const std::string& Data, std::size_t FullLength, bool Calc) {
    if (!Calc) return Data;
    std::string body = Data.size() == FullLength ? Data.substr(0, FullLength - 1) : Data;
    return body + static_cast<char>('0' + UpcEanCheckDigit(body));
}

void EncodeUpcA(std::string& Data, bool Calc, Columns& C) {
    Data = WithCheckDigit(Data, 12, Calc);
    C.Modules("101");
    for (int i = 0; i < 6; ++i) C.Modules(EanDigit(Data[i] - '0', 'A').c_str());
    C.Modules("01010");
    for (int i = 6; i < 12; ++i) C.Modules(EanDigit(Data[i] - '0', 'C').c_str());
    C.Modules("101");
}

void EncodeEan13(std::string& Data, bool Calc, Columns& C) {
    Data = WithCheckDigit(Data, 13, Calc);
    const char* parity = kEan13Parity[Data[0] - '0'];
    C.Modules("101");
    for (int i = 1; i < 7; ++i) C.Modules(EanDigit(Data[i] - '0', parity[i - 1]).c_str());
    C.Modules("01010");
    for (int i = 7; i < 13; ++i) C.Modules(EanDigit(Data[i] - '0', 'C').c_str());
    C.Modules("101");
}

void EncodeEan8(std::string& Data, bool Calc, Columns& C) {
    Data = WithCheckDigit(Data, 8, Calc);
    C.Modules("101");
    for (int i = 0; i < 4; ++i) C.Modules(EanDigit(Data[i] - '0', 'A').c_str());
    C.Modules("01010");
    for (int i = 4; i < 8; ++i) C.Modules(EanDigit(Data[i] - '0', 'C').c_str());
    C.Modules("101");
}

void EncodeUpcE(std::string& Data, bool Calc, Columns& C) {
    if (Calc) {
        const std::string six = Data.substr(0, 6);
        Data = six + static_cast<char>('0' + UpcEanCheckDigit(ExpandUpcE(six)));
    }
    const char* parity = kUpcEParity[Data[6] - '0'];
    C.Modules("101");
    for (int i = 0; i < 6; ++i) C.Modules(EanDigit(Data[i] - '0', parity[i]).c_str());
    C.Modules("010101");
}

void EncodeAddOn(const std::string& AddOn, Columns& C) {
    std::string parity;
    if (AddOn.size() == 2) {
        static const char* const kTwo[4] = {"AA", "AB", "BA", "BB"};
        parity = kTwo[((AddOn[0] - '0') * 10 + (AddOn[1] - '0')) % 4];
    } else {
        int sum = 0;
        for (int i = 0; i < 5; ++i) sum += (AddOn[i] - '0') * (i % 2 == 0 ? 3 : 9);
        parity = kAddOn5Parity[sum % 10];
    }
    C.Modules("1011");
    for (std::size_t i = 0; i < AddOn.size(); ++i) {
        if (i > 0) C.Modules("01");
        C.Modules(EanDigit(AddOn[i] - '0', parity[i]).c_str());
    }
}

void EncodeInt2of5(std::string& Data, bool Calc, Columns& C) {
    if (Data.size() % 2 == 1 && Calc) {
        int sum = 0;
        for (std::size_t i = 0; i < Data.size(); ++i) sum += (Data[i] - '0') * (i % 2 == 0 ? 3 : 1);
        Data += static_cast<char>('0' + (10 - sum % 10) % 10);
    }
    C.WideNarrowElements("0000");
    for (std::size_t i = 0; i + 1 < Data.size(); i += 2) {
        const char* bars = kInt2of5[Data[i] - '0'];
        const char* spaces = kInt2of5[Data[i + 1] - '0'];
        char pair[11] = {};
        for (int k = 0; k < 5; ++k) {
            pair[2 * k] = bars[k];
            pair[2 * k + 1] = spaces[k];
        }
        C.WideNarrowElements(pair);
    }
    C.WideNarrowElements("100");
}

void EncodeCode39(std::string& Data, Columns& C) {
    std::string text = Data;
    if (text.empty() || text.front() != '*') text.insert(text.begin(), '*');
    if (text.size() < 2 || text.back() != '*') text.push_back('*');
    for (char ch : text) {
        const char* p = Lookup(kCode39, static_cast<char>(std::toupper(static_cast<unsigned char>(ch))));
        if (p == nullptr) throw Refused{rpLanguageText(430)};
        C.WideNarrowElements(p);
        C.Run('0', C.Narrow());
    }
}

void EncodeCodabar(const std::string& Data, Columns& C) {
    for (char ch : Data) {
        const char* p = Lookup(kCodabar, static_cast<char>(std::toupper(static_cast<unsigned char>(ch))));
        if (p == nullptr) throw Refused{rpLanguageText(652)};
        C.WideNarrowElements(p);
        C.Run('0', C.Narrow());
    }
}

void EncodeMsi(std::string& Data, bool CalcCheckDigit, Columns& C) {
    if (CalcCheckDigit) Data += static_cast<char>('0' + MsiCheckDigit(Data));
    C.Modules("110");
    for (char ch : Data) {
        const int d = ch - '0';
        for (int bit = 3; bit >= 0; --bit) C.Modules((d >> bit) & 1 ? "110" : "100");
    }
    C.Modules("100100");
}

void EncodePostnet(std::string& Data, Columns& C) {
    std::string digits;
    for (char ch : Data)
        if (ch != '-') digits.push_back(ch);
    const int check = PostnetCheckDigit(digits);
    Data += static_cast<char>('0' + check);
    digits += static_cast<char>('0' + check);
    const int gap = static_cast<int>(rpRoundHalfEven(C.Narrow() * 1.375L));
    auto bar = [&](char kind) {
        C.Run(kind, C.Narrow());
        C.Run('0', gap);
    };
    bar('2');
    for (char ch : digits)
        for (const char* p = kPostnet[ch - '0']; *p; ++p) bar(*p);
    C.Run('2', C.Narrow());
}

void EncodeFim(const std::string& Data, Columns& C) {
    const char ch = static_cast<char>(std::toupper(static_cast<unsigned char>(Data[0])));
    const char* pattern = ch == 'A' ? "110010011" : ch == 'B' ? "101101101" : "110101011";
    for (const char* p = pattern; *p; ++p) {
        C.Run(*p, C.Narrow());
        C.Run('0', C.Narrow());
    }
}

// Code 128 over code page 1252 bytes.
void EncodeCode128(const std::string& Bytes, Columns& C) {
    auto b = [&](std::size_t i) { return static_cast<unsigned char>(Bytes[i]); };
    if (Bytes.empty() || b(0) < kStartA || b(0) > kStartC) throw Refused{rpLanguageText(451)};
    char set = static_cast<char>('A' + (b(0) - kStartA));
    long sum = b(0) - 105;
    long weight = 1;
    std::vector<int> values{static_cast<int>(b(0) - 105)};
    bool shifted = false;
    auto emit = [&](int value) {
        values.push_back(value);
        sum += weight * value;
        ++weight;
    };
    for (std::size_t i = 1; i < Bytes.size(); ++i) {
        const unsigned char ch = b(i);
        bool shiftNow = false;
        if (ch >= kStartA && ch <= kStartC) throw Refused{rpLanguageText(452)};
        if (ch >= kFNC3 && ch <= kFNC1) {
            if (set == 'C' && ch <= kCodeC) throw Refused{rpLanguageText(457)};
            emit(ch - 105);
            switch (ch) {
                case kShift:
                    if (shifted) throw Refused{rpLanguageText(458)};
                    set = set == 'A' ? 'B' : 'A';
                    shiftNow = true;
                    break;
                case kCodeC: set = 'C'; break;
                case kCodeB:
                    if (set != 'B') set = 'B';
                    break;
                case kCodeA:
                    if (set != 'A') set = 'A';
                    break;
                default: break;
            }
        } else if (set == 'C') {
            if (i + 1 >= Bytes.size()) throw Refused{rpLanguageText(455)};
            const unsigned char second = b(i + 1);
            if (!std::isdigit(ch) || !std::isdigit(second)) throw Refused{rpLanguageText(456)};
            emit((ch - '0') * 10 + (second - '0'));
            ++i;
        } else if (ch >= 32 && ch <= 95) {
            emit(ch - 32);
        } else if (ch >= 96 && ch <= 127) {
            if (set != 'B') {
                std::string character = Cp1252ToUtf8(std::string(1, static_cast<char>(ch)));
                throw Refused{rpFormatLanguageText(453, {TVarRec(character)})};
            }
            emit(ch - 32);
        } else if (ch >= 211 && ch <= 242) {
            if (set != 'A') throw Refused{rpLanguageText(454)};
            emit(ch - 211 + 64);
        } else {
            std::string character = Cp1252ToUtf8(std::string(1, static_cast<char>(ch)));
            throw Refused{rpFormatLanguageText(459, {TVarRec(character)})};
        }
        if (shifted && !shiftNow) {
            set = set == 'A' ? 'B' : 'A';
            shifted = false;
        } else if (shiftNow) {
            shifted = true;
        }
    }
    values.push_back(static_cast<int>(sum % 103));
    for (int v : values) C.Widths(kCode128[v]);
    C.Modules(kCode128Stop);
}

// Code 128 data typed as text: the symbol carries ASCII only, control
// characters through set A. Any other character is refused by name rather
// than sent as the function or control character its code page byte
// stands for in the explicit notation.
std::string Code128TextBytes(const std::string& Text) {
    std::string bytes;
    for (std::size_t pos = 0; pos < Text.size();) {
        const char32_t c = utf8::Next(Text, pos);
        if (c < 32) bytes.push_back(static_cast<char>(211 + c));
        else if (c < 128) bytes.push_back(static_cast<char>(c));
        else throw Refused{rpFormatLanguageText(459, {TVarRec(utf8::Encode(c))})};
    }
    return bytes;
}

}  // namespace

bool IsUpcEan(TrpBarCodeType Type) {
    return Type == bcUPC_A || Type == bcUPC_E || Type == bcEAN_13 || Type == bcEAN_8;
}

int UpcEanCheckDigit(const std::string& Digits) {
    int sum = 0;
    const std::size_t n = Digits.size();
    for (std::size_t i = 0; i < n; ++i) sum += (Digits[n - 1 - i] - '0') * (i % 2 == 0 ? 3 : 1);
    return (10 - sum % 10) % 10;
}

int MsiCheckDigit(const std::string& Digits) {
    int sum = 0;
    const std::size_t n = Digits.size();
    for (std::size_t i = 0; i < n; ++i) {
        int d = Digits[n - 1 - i] - '0';
        if (i % 2 == 0) {
            d *= 2;
            if (d > 9) d -= 9;
        }
        sum += d;
    }
    return static_cast<int>((10 * n - sum) % 10);
}

int PostnetCheckDigit(const std::string& Digits) {
    int sum = 0;
    for (char c : Digits) sum += c - '0';
    return (10 - sum % 10) % 10;
}

std::string ExpandUpcE(const std::string& SixDigits) {
    const std::string& d = SixDigits;
    std::string upc;
    switch (d[5]) {
        case '0':
        case '1':
        case '2': upc = d.substr(0, 2) + d[5] + "0000" + d.substr(2, 3); break;
        case '3': upc = d.substr(0, 3) + "00000" + d.substr(3, 2); break;
        case '4': upc = d.substr(0, 4) + "00000" + d.substr(4, 1); break;
        default: upc = d.substr(0, 5) + "0000" + d[5]; break;
    }
    return ("0" + upc).substr(0, 11);
}

std::string AutoEncodeCode128(const std::string& Input) {
    std::string s;
    for (unsigned char c : Input)
        if (!(c >= kStartA && c <= kStartC) && !(c >= kShift && c <= kCodeA)) s.push_back(static_cast<char>(c));
    const std::size_t n = s.size();
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    auto inA = [&](std::size_t i) {
        const unsigned char c = at(i);
        return (c >= 32 && c <= 95) || c == kFNC3 || c == kFNC2 || c == kFNC1 || (c >= 211 && c <= 242);
    };
    auto inB = [&](std::size_t i) {
        const unsigned char c = at(i);
        return (c >= 32 && c <= 127) || c == kFNC3 || c == kFNC2 || c == kFNC1;
    };
    // Digit pairs, formed left to right. FNC1 stands alone in set C, so it
    // never takes a digit away from its pair.
    std::vector<bool> pairable(n, false);
    for (std::size_t i = 0; i < n;) {
        if (std::isdigit(at(i)) && i + 1 < n && std::isdigit(at(i + 1))) {
            pairable[i] = pairable[i + 1] = true;
            i += 2;
        } else {
            ++i;
        }
    }
    enum { kA = 1, kB = 2, kC = 4 };
    auto flags = [&](std::size_t i) {
        return (inA(i) ? kA : 0) | (inB(i) ? kB : 0) | (pairable[i] || at(i) == kFNC1 ? kC : 0);
    };
    auto pick = [](int f) { return f & kC ? 'C' : f & kA ? 'A' : 'B'; };
    auto choose = [&](std::size_t p) {
        int cand = kA | kB | kC;
        std::size_t q = p;
        for (; q < n; ++q) {
            cand &= flags(q);
            if ((cand & kC) && at(q) != kFNC1) return 'C';
            if (cand == kA || cand == kB || cand == kC || cand == 0) break;
        }
        if (q >= n || cand == 0) cand = flags(p);
        return pick(cand);
    };
    std::string out;
    if (n == 0) return out;
    char set = choose(0);
    out.push_back(static_cast<char>(set == 'A' ? kStartA : set == 'B' ? kStartB : kStartC));
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = at(i);
        if (c == kFNC1) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        if (!pairable[i]) {
            if (set == 'C') {
                set = choose(i);
                out.push_back(static_cast<char>(set == 'A' ? kCodeA : kCodeB));
            }
            if (set == 'A' && !inA(i)) {
                if (i + 1 >= n || inB(i + 1)) {
                    out.push_back(static_cast<char>(kCodeB));
                    set = 'B';
                } else {
                    out.push_back(static_cast<char>(kShift));
                }
            } else if (set == 'B' && !inB(i)) {
                if (i + 1 >= n || inA(i + 1)) {
                    out.push_back(static_cast<char>(kCodeA));
                    set = 'A';
                } else {
                    out.push_back(static_cast<char>(kShift));
                }
            }
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        if (set != 'C') {
            const std::size_t remaining = n - i;
            if ((remaining >= 3 && i + 2 < n && pairable[i + 2]) || remaining == 2) {
                out.push_back(static_cast<char>(kCodeC));
                set = 'C';
            }
        }
        out.push_back(s[i]);
        out.push_back(s[i + 1]);
        i += 2;
    }
    return out;
}

std::string ValidateData(TrpBarCodeType Type, const std::string& Data, bool CalcCheckDigit) {
    if (Data.empty()) return {};
    const std::size_t n = utf8::CharCount(Data);
    auto lengthRule = [&](std::size_t Short, int LengthText, int CheckText, int DigitText) -> std::string {
        if (n != Short && n != Short + 1) return rpLanguageText(LengthText);
        if (n == Short && !CalcCheckDigit) return rpLanguageText(CheckText);
        if (!AllDigits(Data)) return rpLanguageText(DigitText);
        return {};
    };
    switch (Type) {
        case bcUPC_A: return lengthRule(11, 438, 439, 440);
        case bcUPC_E: return lengthRule(6, 648, 649, 650);
        case bcEAN_13: return lengthRule(12, 431, 432, 433);
        case bcEAN_8: return lengthRule(7, 645, 646, 647);
        case bcInt2of5:
            if (!AllDigits(Data)) return rpLanguageText(434);
            if (n % 2 == 1 && !CalcCheckDigit) return rpLanguageText(435);
            return {};
        case bcCode128: return {};
        case bcCode39: {
            auto ok = [](char c, bool End) {
                return std::isalnum(static_cast<unsigned char>(c)) || std::strchr(" $%+-./", c) != nullptr ||
                       (End && c == '*');
            };
            for (std::size_t i = 0; i < Data.size(); ++i)
                if (!ok(Data[i], i == 0 || i + 1 == Data.size())) return rpLanguageText(430);
            return {};
        }
        case bcPostnet:
            for (char c : Data)
                if (!std::isdigit(static_cast<unsigned char>(c)) && c != '-') return rpLanguageText(436);
            return {};
        case bcFIM:
            if (Data.size() != 1 || std::strchr("ABCabc", Data[0]) == nullptr) return rpLanguageText(651);
            return {};
        case bcCodabar: {
            auto startStop = [](char c) { return std::strchr("ABCDabcd", c) != nullptr && c != 0; };
            for (char c : Data)
                if (!std::isdigit(static_cast<unsigned char>(c)) && (c == 0 || std::strchr("$+-./:", c) == nullptr) &&
                    !startStop(c))
                    return rpLanguageText(652);
            if (!startStop(Data.front()) || !startStop(Data.back())) return rpLanguageText(653);
            for (std::size_t i = 1; i + 1 < Data.size(); ++i)
                if (startStop(Data[i])) return rpLanguageText(654) + " " + rpLanguageText(655);
            return {};
        }
        case bcMSI:
            if (!AllDigits(Data)) return "MSI Barcodes must be numeric";
            return {};
    }
    return {};
}

std::string SampleData(TrpBarCodeType Type, bool CalcCheckDigit, bool DataAware) {
    switch (Type) {
        case bcUPC_A: return CalcCheckDigit ? "01234567890" : "012345678905";
        case bcUPC_E: return CalcCheckDigit ? "012345" : "0123456";
        case bcEAN_13: return "0012345678905";
        case bcEAN_8: return "20123451";
        case bcInt2of5: return CalcCheckDigit ? "0123456789" : "01234567";
        case bcCode128:
            return Cp1252ToUtf8(std::string(1, static_cast<char>(kStartC)) + "1234" +
                                std::string(1, static_cast<char>(kCodeB)) + " abcd");
        case bcCode39: return DataAware ? "DBBarCode" : "BarCode";
        case bcPostnet: return "012345678";
        case bcFIM: return "A";
        case bcCodabar: return "A01234B";
        case bcMSI: return "0139725";
    }
    return {};
}

EncodeResult Encode(const EncodeRequest& Request) {
    EncodeResult result;
    result.Data = Request.Data;
    if (Trim(Request.Data).empty()) return result;
    const std::string problem = ValidateData(Request.Type, Request.Data, Request.CalcCheckDigit);
    if (!problem.empty()) {
        result.Valid = false;
        result.Message = problem;
        return result;
    }
    std::string data = Utf8ToCp1252(Request.Data);
    const int narrow = std::max(1, Request.Narrow);
    const int wide = std::max(narrow, Request.Wide);
    try {
        Columns c(result.Columns, narrow, wide);
        switch (Request.Type) {
            case bcUPC_A: EncodeUpcA(data, Request.CalcCheckDigit, c); break;
            case bcUPC_E: EncodeUpcE(data, Request.CalcCheckDigit, c); break;
            case bcEAN_13: EncodeEan13(data, Request.CalcCheckDigit, c); break;
            case bcEAN_8: EncodeEan8(data, Request.CalcCheckDigit, c); break;
            case bcInt2of5: EncodeInt2of5(data, Request.CalcCheckDigit, c); break;
            case bcCode128:
                // Data that opens with a start character is written in the
                // function-character notation; anything else is text.
                if (Request.AutoEncode) {
                    const unsigned char first = data.empty() ? 0 : static_cast<unsigned char>(data[0]);
                    const bool notation = first >= kStartA && first <= kStartC;
                    data = AutoEncodeCode128(notation ? data : Code128TextBytes(Request.Data));
                }
                EncodeCode128(data, c);
                break;
            case bcCode39: EncodeCode39(data, c); break;
            case bcPostnet: EncodePostnet(data, c); break;
            case bcFIM: EncodeFim(data, c); break;
            case bcCodabar: EncodeCodabar(data, c); break;
            case bcMSI: EncodeMsi(data, Request.CalcCheckDigit, c); break;
        }
        if (IsUpcEan(Request.Type) && !Request.AddOn.empty()) {
            if ((Request.AddOn.size() != 2 && Request.AddOn.size() != 5) || !AllDigits(Request.AddOn))
                throw Refused{rpLanguageText(424)};
            Columns addOn(result.AddOnColumns, narrow, wide);
            EncodeAddOn(Request.AddOn, addOn);
        }
    } catch (const Refused& refused) {
        result.Valid = false;
        result.Message = refused.Message;
        result.Columns.clear();
        result.AddOnColumns.clear();
        return result;
    }
    result.Data = Cp1252ToUtf8(data);
    return result;
}

}  // namespace barcode
