#include "billing/data/Utils.h"

#include "platform/rtl/Strings.h"

#include <cstdlib>

namespace {

// Modulo-11 check digit with weights 2, 3, ... from the right, starting
// again at 2 after maxWeight.
int Mod11Digit(std::string_view digits, int maxWeight = 9) {
    int sum = 0;
    int weight = 2;
    for (std::size_t i = digits.size(); i-- > 0;) {
        sum += (digits[i] - '0') * weight;
        weight = weight == maxWeight ? 2 : weight + 1;
    }
    int r = sum % 11;
    return r < 2 ? 0 : 11 - r;
}

// The digits of a written CPF/CNPJ; false when it holds anything but digits
// and the usual punctuation.
bool DigitsOf(std::string_view text, std::string& digits) {
    digits.clear();
    for (char c : text) {
        if (c >= '0' && c <= '9') digits += c;
        else if (c == '.' || c == '-' || c == '/' || c == ' ' || c == '\t') continue;
        else return false;
    }
    return true;
}

bool AllSame(const std::string& digits) {
    return digits.find_first_not_of(digits[0]) == std::string::npos;
}

}  // namespace

std::string Dv(std::string_view Digits) {
    std::string digits;
    for (char c : Digits)
        if (c >= '0' && c <= '9') digits += c;
    if (digits.empty()) return {};
    return std::string(1, static_cast<char>('0' + Mod11Digit(digits)));
}

bool ValidCpf(std::string_view Cpf) {
    std::string d;
    if (!DigitsOf(Cpf, d) || d.size() != 11 || AllSame(d)) return false;
    // CPF weights grow from the right without cycling (10..2, then 11..2).
    int d1 = Mod11Digit(std::string_view(d).substr(0, 9), 11);
    if (d[9] - '0' != d1) return false;
    int d2 = Mod11Digit(std::string_view(d).substr(0, 10), 11);
    return d[10] - '0' == d2;
}

bool ValidCgc(std::string_view Cnpj) {
    std::string d;
    if (!DigitsOf(Cnpj, d) || d.size() != 14 || AllSame(d)) return false;
    // CNPJ weights cycle 2..9 from the right: exactly the modulo-11 digit.
    int d1 = Mod11Digit(std::string_view(d).substr(0, 12));
    if (d[12] - '0' != d1) return false;
    int d2 = Mod11Digit(std::string_view(d).substr(0, 13));
    return d[13] - '0' == d2;
}

std::string RemoveAcentos(std::string_view Text) {
    std::string out;
    out.reserve(Text.size());
    std::size_t pos = 0;
    while (pos < Text.size()) {
        char32_t c = utf8::Next(Text, pos);
        char plain = 0;
        switch (c) {
        case U'À': case U'Á': case U'Â': case U'Ã': case U'Ä': case U'Å': plain = 'A'; break;
        case U'à': case U'á': case U'â': case U'ã': case U'ä': case U'å': plain = 'a'; break;
        case U'Ç': plain = 'C'; break;
        case U'ç': plain = 'c'; break;
        case U'È': case U'É': case U'Ê': case U'Ë': plain = 'E'; break;
        case U'è': case U'é': case U'ê': case U'ë': plain = 'e'; break;
        case U'Ì': case U'Í': case U'Î': case U'Ï': plain = 'I'; break;
        case U'ì': case U'í': case U'î': case U'ï': plain = 'i'; break;
        case U'Ñ': plain = 'N'; break;
        case U'ñ': plain = 'n'; break;
        case U'Ò': case U'Ó': case U'Ô': case U'Õ': case U'Ö': plain = 'O'; break;
        case U'ò': case U'ó': case U'ô': case U'õ': case U'ö': plain = 'o'; break;
        case U'Ù': case U'Ú': case U'Û': case U'Ü': plain = 'U'; break;
        case U'ù': case U'ú': case U'û': case U'ü': plain = 'u'; break;
        case U'Ý': case U'Ÿ': plain = 'Y'; break;
        case U'ý': case U'ÿ': plain = 'y'; break;
        default: break;
        }
        if (plain) out += plain;
        else utf8::Append(out, c);
    }
    return out;
}

std::string Space(int Count) {
    return Count > 0 ? std::string(static_cast<std::size_t>(Count), ' ') : std::string();
}

std::string Replicate(std::string_view Ch, int Count) {
    if (Count <= 0 || Ch.empty()) return {};
    std::size_t pos = 0;
    utf8::Next(Ch, pos);
    std::string_view one = Ch.substr(0, pos);
    std::string out;
    out.reserve(one.size() * static_cast<std::size_t>(Count));
    for (int i = 0; i < Count; ++i) out += one;
    return out;
}

std::string Replicate(char Ch, int Count) {
    return Count > 0 ? std::string(static_cast<std::size_t>(Count), Ch) : std::string();
}
