// State registrations against the hand-worked table: the working beside each
// number is checked for its arithmetic and for the digits it names, and the
// validator must agree with the verdict for every number.
#include "billing/data/InscricaoEstadual.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

using billing::data::ValidarIE;

namespace {

struct Working {
    int position = 0;
    std::string from;
    std::vector<int> digits, weights, products;
    bool digitSum = false;
    long sum = 0;
    std::vector<std::pair<char, long>> adjustments;  // '+' or 'x', operand; value after
    std::vector<long> adjusted;
    long modulus = 0, remainder = 0;
    int result = -1;
    int given = -1;
    std::string line;
};

struct Record {
    std::string uf, form, verdict, number, note;
    std::vector<Working> steps;
    int lineNo = 0;
};

std::vector<int> Ints(const std::string& text) {
    std::istringstream in(text);
    std::vector<int> out;
    int v;
    while (in >> v) out.push_back(v);
    return out;
}

std::string Strip(const std::string& s) {
    std::size_t a = s.find_first_not_of(' ');
    std::size_t b = s.find_last_not_of(' ');
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

std::vector<std::string> Split(const std::string& s, const std::string& sep) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        std::size_t p = s.find(sep, start);
        out.push_back(Strip(s.substr(start, p == std::string::npos ? std::string::npos : p - start)));
        if (p == std::string::npos) break;
        start = p + sep.size();
    }
    return out;
}

// "dv 9 from 1-8 : 1 2 ... x 9 8 ... = 9 16 ... ; sum 120 ; + 5 = 125 ; mod 11 = 4 ; -> 7 ; given 0"
Working ParseWorking(const std::string& line) {
    Working w;
    w.line = line;
    std::vector<std::string> parts = Split(line, " ; ");
    {
        std::string head = parts[0];
        std::size_t colon = head.find(" : ");
        std::istringstream in(head.substr(0, colon));
        std::string dv, from;
        in >> dv >> w.position >> from >> w.from;
        std::string rest = head.substr(colon + 3);
        std::size_t x = rest.find(" x ");
        std::size_t eq = rest.find(" = ");
        w.digits = Ints(rest.substr(0, x));
        w.weights = Ints(rest.substr(x + 3, eq - x - 3));
        w.products = Ints(rest.substr(eq + 3));
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
        std::istringstream in(parts[i]);
        std::string word;
        in >> word;
        if (word == "sum" || word == "digitsum") {
            w.digitSum = word == "digitsum";
            in >> w.sum;
        } else if (word == "+" || word == "x") {
            long operand, value;
            std::string equals;
            in >> operand >> equals >> value;
            w.adjustments.emplace_back(word[0], operand);
            w.adjusted.push_back(value);
        } else if (word == "mod") {
            std::string equals;
            in >> w.modulus >> equals >> w.remainder;
        } else if (word == "->") {
            in >> w.result;
        } else if (word == "given") {
            in >> w.given;
        }
    }
    return w;
}

std::vector<Record> ReadTable() {
    std::istringstream in(testsupport::ReadAll(testsupport::DataPath("billing/inscricao_estadual.txt")));
    std::vector<Record> rows;
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        if (line.rfind("ie ", 0) == 0) {
            Record r;
            r.lineNo = n;
            std::size_t hash = line.find('#');
            if (hash != std::string::npos) r.note = Strip(line.substr(hash + 1));
            std::istringstream fields(line.substr(0, hash));
            std::string ie;
            fields >> ie >> r.uf >> r.form >> r.verdict >> r.number;
            rows.push_back(r);
        } else if (line.rfind("  dv ", 0) == 0) {
            rows.back().steps.push_back(ParseWorking(line));
        }
    }
    return rows;
}

// The digits a "from" list names: "1-3,*0,4-11" (positions from 1).
std::vector<int> DigitsAt(const std::string& number, const std::string& from) {
    std::vector<int> out;
    std::istringstream in(from);
    std::string part;
    while (std::getline(in, part, ',')) {
        if (part[0] == '*') {
            out.push_back(std::stoi(part.substr(1)));
            continue;
        }
        std::size_t dash = part.find('-');
        int a = std::stoi(part.substr(0, dash));
        int b = dash == std::string::npos ? a : std::stoi(part.substr(dash + 1));
        for (int p = a; p <= b; ++p) out.push_back(number.at(static_cast<std::size_t>(p - 1)) - '0');
    }
    return out;
}

const std::vector<Record>& Table() {
    static const std::vector<Record> rows = ReadTable();
    return rows;
}

}  // namespace

TEST(InscricaoEstadualTable, EveryWorkingAddsUpAndNamesTheNumbersOwnDigits) {
    ASSERT_GT(Table().size(), 150u);
    for (const Record& r : Table()) {
        for (const Working& w : r.steps) {
            SCOPED_TRACE("line " + std::to_string(r.lineNo) + ": " + r.number + "\n" + w.line);
            EXPECT_EQ(w.digits, DigitsAt(r.number, w.from));
            ASSERT_EQ(w.digits.size(), w.weights.size());
            ASSERT_EQ(w.digits.size(), w.products.size());
            long sum = 0;
            for (std::size_t i = 0; i < w.digits.size(); ++i) {
                EXPECT_EQ(w.products[i], w.digits[i] * w.weights[i]) << "product " << i + 1;
                sum += w.digitSum ? w.products[i] / 10 + w.products[i] % 10 : w.products[i];
            }
            EXPECT_EQ(w.sum, sum);
            long value = w.sum;
            for (std::size_t i = 0; i < w.adjustments.size(); ++i) {
                value = w.adjustments[i].first == '+' ? value + w.adjustments[i].second
                                                      : value * w.adjustments[i].second;
                EXPECT_EQ(w.adjusted[i], value);
            }
            ASSERT_GT(w.modulus, 0);
            EXPECT_EQ(w.remainder, value % w.modulus);
            ASSERT_GE(w.result, 0);
            ASSERT_LE(w.result, 9);
            int carried = r.number.at(static_cast<std::size_t>(w.position - 1)) - '0';
            // "given" is written exactly where the number's digit differs.
            if (w.given >= 0) {
                EXPECT_EQ(w.given, carried);
                EXPECT_NE(w.result, carried);
            } else {
                EXPECT_EQ(w.result, carried);
            }
        }
        // A valid number matches every worked digit; an invalid one fails a
        // digit or is wrong in form (and says why).
        bool allMatch = true;
        for (const Working& w : r.steps) allMatch = allMatch && w.given < 0;
        if (r.verdict == "valid") {
            EXPECT_TRUE(allMatch && !r.steps.empty()) << "line " << r.lineNo;
        } else if (allMatch) {
            EXPECT_FALSE(r.note.empty()) << "line " << r.lineNo << " is invalid without a reason";
        }
    }
}

TEST(InscricaoEstadualTable, EveryStateAndFormHasAValidAndAnInvalidNumber) {
    std::map<std::string, std::set<std::string>> verdicts;
    for (const Record& r : Table()) verdicts[r.uf + " " + r.form].insert(r.verdict);
    const char* forms[] = {"AC 13-digit", "AL 9-digit", "AP range-1", "AP range-2", "AP range-3", "AM 9-digit",
                           "BA 8-digit-mod10", "BA 8-digit-mod11", "BA 9-digit-mod10", "BA 9-digit-mod11",
                           "CE 9-digit", "DF 13-digit", "ES 9-digit", "GO 9-digit", "GO 9-digit-range",
                           "GO 9-digit-exception", "MA 9-digit", "MT 11-digit", "MS 9-digit", "MG 13-digit",
                           "PA 9-digit", "PB 9-digit", "PR 10-digit", "PE 9-digit", "PE 14-digit", "PI 9-digit",
                           "RJ 8-digit", "RN 9-digit", "RN 10-digit", "RS 10-digit", "RO 9-digit", "RO 14-digit",
                           "RR 9-digit", "SC 9-digit", "SP 12-digit", "SP rural", "SE 9-digit", "TO 9-digit",
                           "TO 11-digit"};
    std::set<std::string> states;
    for (const char* f : forms) {
        EXPECT_EQ(verdicts[f], (std::set<std::string>{"invalid", "valid"})) << f;
        states.insert(std::string(f).substr(0, 2));
        EXPECT_TRUE(verdicts[std::string(f).substr(0, 2) + " length"].count("invalid")) << f;
    }
    EXPECT_EQ(states.size(), 27u);
}

TEST(ValidarIE, AgreesWithEveryHandWorkedNumber) {
    for (const Record& r : Table()) {
        EXPECT_EQ(ValidarIE(r.number, r.uf), r.verdict == "valid")
            << "line " << r.lineNo << ": " << r.uf << " " << r.number << " (" << r.note << ")";
    }
}

TEST(ValidarIE, TheStateIsTakenInEitherCaseAndNothingElseCounts) {
    EXPECT_TRUE(ValidarIE("213876054275", "sp"));
    EXPECT_TRUE(ValidarIE("p027316588001", "Sp"));
    EXPECT_FALSE(ValidarIE("", "SP"));
    EXPECT_FALSE(ValidarIE("P", "SP"));
    EXPECT_FALSE(ValidarIE("213876054275", ""));
    EXPECT_FALSE(ValidarIE("213876054275", " SP"));
    EXPECT_FALSE(ValidarIE(" 213876054275", "SP"));
    EXPECT_FALSE(ValidarIE("ISENTO", "SP"));
    // The same digits are a registration of one state and not of another.
    EXPECT_TRUE(ValidarIE("85420178", "RJ"));
    EXPECT_FALSE(ValidarIE("85420178", "SP"));
}
