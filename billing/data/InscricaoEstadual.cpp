#include "billing/data/InscricaoEstadual.h"

#include <cstdint>
#include <initializer_list>
#include <string>

namespace billing::data {

namespace {

using Weights = std::initializer_list<int>;

int Digit(std::string_view d, std::size_t i) { return d[i] - '0'; }

// Digits from position From (0-based) times the weights, in order.
int Sum(std::string_view d, std::size_t From, Weights W) {
    int s = 0;
    std::size_t i = From;
    for (int w : W) s += Digit(d, i++) * w;
    return s;
}

// The rule most states publish: 11 minus the remainder by 11, where
// remainders 0 and 1 (which would give 11 and 10) give 0.
int Mod11(int Sum) {
    int r = Sum % 11;
    return r < 2 ? 0 : 11 - r;
}

// 10 minus the remainder by 10, 0 when the remainder is 0.
int Mod10(int Sum) {
    int r = Sum % 10;
    return r == 0 ? 0 : 10 - r;
}

// 11 minus the remainder, where 10 and 11 give 0 and 1 (the unit's digit).
int Mod11Units(int Sum) {
    int dv = 11 - Sum % 11;
    return dv >= 10 ? dv - 10 : dv;
}

bool StartsWith(std::string_view d, std::string_view Prefix) { return d.substr(0, Prefix.size()) == Prefix; }

std::int64_t Number(std::string_view d) {
    std::int64_t n = 0;
    for (char c : d) n = n * 10 + (c - '0');
    return n;
}

constexpr Weights k9to2 = {9, 8, 7, 6, 5, 4, 3, 2};

// Nine digits, the last checked by Mod11 over the first eight (weights 9 to 2).
bool Plain9(std::string_view d) { return d.size() == 9 && Mod11(Sum(d, 0, k9to2)) == Digit(d, 8); }

// Acre and the Federal District: thirteen digits, two check digits.
bool Thirteen(std::string_view d, std::string_view Prefix) {
    return d.size() == 13 && StartsWith(d, Prefix) &&
           Mod11(Sum(d, 0, {4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2})) == Digit(d, 11) &&
           Mod11(Sum(d, 0, {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2})) == Digit(d, 12);
}

bool AL(std::string_view d) {
    // The third digit is the kind of company: normal, rural producer,
    // substitute, itinerant micro-company, micro-company.
    if (d.size() != 9 || !StartsWith(d, "24") || std::string_view("03578").find(d[2]) == std::string_view::npos)
        return false;
    int r = Sum(d, 0, k9to2) * 10 % 11;
    return (r == 10 ? 0 : r) == Digit(d, 8);
}

bool AP(std::string_view d) {
    if (d.size() != 9 || !StartsWith(d, "03")) return false;
    // The number without its check digit chooses the constants.
    std::int64_t base = Number(d.substr(0, 8));
    int p = 0, whenEleven = 0;
    if (base <= 3017000) {
        p = 5;
    } else if (base <= 3019022) {
        p = 9;
        whenEleven = 1;
    }
    int dv = 11 - (p + Sum(d, 0, k9to2)) % 11;
    if (dv == 10) dv = 0;
    else if (dv == 11) dv = whenEleven;
    return dv == Digit(d, 8);
}

bool AM(std::string_view d) {
    if (d.size() != 9) return false;
    int s = Sum(d, 0, k9to2);
    int dv = s < 11 ? 11 - s : Mod11(s);
    return dv == Digit(d, 8);
}

bool BA(std::string_view d) {
    if (d.size() != 8 && d.size() != 9) return false;
    // The leading digit (the second one in the 9-digit numbers) chooses the
    // modulus; the last check digit is worked first and enters the other.
    std::size_t lead = d.size() == 8 ? 0 : 1;
    bool mod10 = std::string_view("0123458").find(d[lead]) != std::string_view::npos;
    auto dv = [mod10](int s) { return mod10 ? Mod10(s) : Mod11(s); };
    std::size_t n = d.size() - 2;  // digits before the check digits
    int second = 0, first = 0;
    for (std::size_t i = 0; i < n; ++i) {
        second += Digit(d, i) * static_cast<int>(n + 1 - i);
        first += Digit(d, i) * static_cast<int>(n + 2 - i);
    }
    if (dv(second) != Digit(d, n + 1)) return false;
    first += Digit(d, n + 1) * 2;
    return dv(first) == Digit(d, n);
}

bool GO(std::string_view d) {
    if (d.size() != 9 || !(StartsWith(d, "10") || StartsWith(d, "11") || StartsWith(d, "15"))) return false;
    std::int64_t base = Number(d.substr(0, 8));
    // One registration was issued with either check digit.
    if (base == 11094402) return d[8] == '0' || d[8] == '1';
    int r = Sum(d, 0, k9to2) % 11;
    int dv = 11 - r;
    if (r == 0) dv = 0;
    else if (r == 1) dv = base >= 10103105 && base <= 10119997 ? 1 : 0;
    return dv == Digit(d, 8);
}

bool MT(std::string_view d) {
    return d.size() == 11 && Mod11(Sum(d, 0, {3, 2, 9, 8, 7, 6, 5, 4, 3, 2})) == Digit(d, 10);
}

bool MG(std::string_view d) {
    if (d.size() != 13) return false;
    // First check digit: a 0 goes in after the 3-digit municipality code,
    // weights alternate 1 and 2, and the digits of each product are added.
    std::string twelve = std::string(d.substr(0, 3)) + "0" + std::string(d.substr(3, 8));
    int s = 0;
    for (std::size_t i = 0; i < twelve.size(); ++i) {
        int product = Digit(twelve, i) * (i % 2 == 0 ? 1 : 2);
        s += product / 10 + product % 10;
    }
    if (Mod10(s) != Digit(d, 11)) return false;
    return Mod11(Sum(d, 0, {3, 2, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2})) == Digit(d, 12);
}

bool PR(std::string_view d) {
    return d.size() == 10 && Mod11(Sum(d, 0, {3, 2, 7, 6, 5, 4, 3, 2})) == Digit(d, 8) &&
           Mod11(Sum(d, 0, {4, 3, 2, 7, 6, 5, 4, 3, 2})) == Digit(d, 9);
}

bool PE(std::string_view d) {
    if (d.size() == 9)  // the current numbers
        return Mod11(Sum(d, 0, {8, 7, 6, 5, 4, 3, 2})) == Digit(d, 7) && Mod11(Sum(d, 0, k9to2)) == Digit(d, 8);
    if (d.size() == 14)  // the older register's numbers
        return Mod11Units(Sum(d, 0, {5, 4, 3, 2, 1, 9, 8, 7, 6, 5, 4, 3, 2})) == Digit(d, 13);
    return false;
}

bool RJ(std::string_view d) { return d.size() == 8 && Mod11(Sum(d, 0, {2, 7, 6, 5, 4, 3, 2})) == Digit(d, 7); }

bool RN(std::string_view d) {
    if (!StartsWith(d, "20")) return false;
    int s;
    if (d.size() == 9) s = Sum(d, 0, k9to2);
    else if (d.size() == 10) s = Sum(d, 0, {10, 9, 8, 7, 6, 5, 4, 3, 2});
    else return false;
    int r = s * 10 % 11;
    return (r == 10 ? 0 : r) == Digit(d, d.size() - 1);
}

bool RS(std::string_view d) {
    return d.size() == 10 && Mod11(Sum(d, 0, {2, 9, 8, 7, 6, 5, 4, 3, 2})) == Digit(d, 9);
}

bool RO(std::string_view d) {
    if (d.size() == 9)  // older numbers: the municipality code does not count
        return Mod11Units(Sum(d, 3, {6, 5, 4, 3, 2})) == Digit(d, 8);
    if (d.size() == 14) return Mod11Units(Sum(d, 0, {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2})) == Digit(d, 13);
    return false;
}

bool RR(std::string_view d) {
    return d.size() == 9 && StartsWith(d, "24") && Sum(d, 0, {1, 2, 3, 4, 5, 6, 7, 8}) % 9 == Digit(d, 8);
}

bool SP(std::string_view d, bool Rural) {
    if (d.size() != 12) return false;
    // Only the unit's digit of the remainder is written.
    if (Sum(d, 0, {1, 3, 4, 5, 6, 7, 8, 10}) % 11 % 10 != Digit(d, 8)) return false;
    // A rural producer's number ends in three free digits.
    return Rural || Sum(d, 0, {3, 2, 10, 9, 8, 7, 6, 5, 4, 3, 2}) % 11 % 10 == Digit(d, 11);
}

bool TO(std::string_view d) {
    if (d.size() == 9) return Plain9(d);
    if (d.size() != 11) return false;
    // Older numbers carry the kind of company in the third and fourth
    // digits, which do not count: rural producer, trade and industry,
    // rudimentary company, and the suspended older register.
    std::string_view kind = d.substr(2, 2);
    if (kind != "01" && kind != "02" && kind != "03" && kind != "99") return false;
    std::string counted = std::string(d.substr(0, 2)) + std::string(d.substr(4, 6));
    return Mod11(Sum(counted, 0, k9to2)) == Digit(d, 10);
}

}  // namespace

bool ValidarIE(std::string_view Ie, std::string_view Uf) {
    if (Uf.size() != 2) return false;
    std::string uf;
    for (char c : Uf) uf += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;

    bool rural = false;
    if (uf == "SP" && !Ie.empty() && (Ie[0] == 'P' || Ie[0] == 'p')) {
        rural = true;
        Ie.remove_prefix(1);
    }
    if (Ie.empty()) return false;
    for (char c : Ie)
        if (c < '0' || c > '9') return false;
    std::string_view d = Ie;

    if (uf == "AC") return Thirteen(d, "01");
    if (uf == "AL") return AL(d);
    if (uf == "AP") return AP(d);
    if (uf == "AM") return AM(d);
    if (uf == "BA") return BA(d);
    if (uf == "CE") return Plain9(d);
    if (uf == "DF") return Thirteen(d, "07");
    if (uf == "ES") return Plain9(d);
    if (uf == "GO") return GO(d);
    if (uf == "MA") return StartsWith(d, "12") && Plain9(d);
    if (uf == "MT") return MT(d);
    if (uf == "MS") return StartsWith(d, "28") && Plain9(d);
    if (uf == "MG") return MG(d);
    if (uf == "PA") return StartsWith(d, "15") && Plain9(d);
    if (uf == "PB") return Plain9(d);
    if (uf == "PR") return PR(d);
    if (uf == "PE") return PE(d);
    if (uf == "PI") return Plain9(d);
    if (uf == "RJ") return RJ(d);
    if (uf == "RN") return RN(d);
    if (uf == "RS") return RS(d);
    if (uf == "RO") return RO(d);
    if (uf == "RR") return RR(d);
    if (uf == "SC") return Plain9(d);
    if (uf == "SP") return SP(d, rural);
    if (uf == "SE") return Plain9(d);
    if (uf == "TO") return TO(d);
    return false;
}

bool RuralProducerMark(std::string_view Ie) {
    while (!Ie.empty() && Ie.front() == ' ') Ie.remove_prefix(1);
    if (Ie.size() < 2 || (Ie[0] != 'P' && Ie[0] != 'p')) return false;
    for (char c : Ie.substr(1))
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return false;
    return Ie.find_first_of("0123456789") != std::string_view::npos;
}

}  // namespace billing::data
