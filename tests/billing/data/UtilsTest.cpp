#include "billing/data/LoginDelay.h"
#include "billing/data/Utils.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct Number {
    std::string kind, expected, text;
};

std::vector<Number> ReadTable() {
    std::istringstream in(testsupport::ReadAll(testsupport::DataPath("billing/cpf_cnpj.txt")));
    std::vector<Number> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Number n;
        fields >> n.kind >> n.expected >> n.text;
        rows.push_back(n);
    }
    return rows;
}

std::string DigitsOnly(const std::string& s) {
    std::string d;
    for (char c : s)
        if (c >= '0' && c <= '9') d += c;
    return d;
}

}  // namespace

TEST(Dv, ModuloElevenCheckDigit) {
    EXPECT_EQ(Dv("000042"), "6");   // 2*2 + 4*3 = 16, 11 - 5
    EXPECT_EQ(Dv("000001"), "9");   // remainder 2
    EXPECT_EQ(Dv("000006"), "0");   // remainder 1
    EXPECT_EQ(Dv("000000"), "0");   // remainder 0
    // 7*2 + 5*3 + 4*4 + 3*5 + 2*6 + 1*7 = 79, remainder 2: the marks are skipped.
    EXPECT_EQ(Dv("123457"), "9");
    EXPECT_EQ(Dv("12-34.57"), "9");
    EXPECT_EQ(Dv(""), "");
    EXPECT_EQ(Dv("abc"), "");
}

TEST(Dv, AgreesWithTheFirstCnpjCheckDigit) {
    // The first CNPJ check digit is this same rule over the first 12 digits.
    int checked = 0;
    for (const Number& n : ReadTable()) {
        if (n.kind != "cnpj" || n.expected != "valid") continue;
        std::string d = DigitsOnly(n.text);
        EXPECT_EQ(Dv(d.substr(0, 12)), d.substr(12, 1)) << n.text;
        EXPECT_EQ(Dv(d.substr(0, 13)), d.substr(13, 1)) << n.text;
        ++checked;
    }
    EXPECT_GE(checked, 20);
}

TEST(ValidCpfCgc, PublishedTable) {
    int counts[4] = {};
    for (const Number& n : ReadTable()) {
        bool valid = n.expected == "valid";
        if (n.kind == "cpf") {
            EXPECT_EQ(ValidCpf(n.text), valid) << n.text;
            EXPECT_FALSE(ValidCgc(n.text)) << n.text;
            ++counts[valid ? 0 : 1];
        } else {
            EXPECT_EQ(ValidCgc(n.text), valid) << n.text;
            EXPECT_FALSE(ValidCpf(n.text)) << n.text;
            ++counts[valid ? 2 : 3];
        }
    }
    for (int c : counts) EXPECT_GE(c, 20);
}

TEST(ValidCpfCgc, RejectsRepeatedDigitsAndForeignCharacters) {
    EXPECT_FALSE(ValidCpf("111.111.111-11"));
    EXPECT_FALSE(ValidCpf("000.000.000-00"));
    EXPECT_FALSE(ValidCgc("00.000.000/0000-00"));
    EXPECT_FALSE(ValidCgc("99999999999999"));
    EXPECT_FALSE(ValidCpf("529.982.247-2X"));
    EXPECT_FALSE(ValidCpf("529982247-25a"));
    EXPECT_FALSE(ValidCpf(""));
    EXPECT_FALSE(ValidCgc(""));
    // Written with or without punctuation.
    EXPECT_TRUE(ValidCpf("52998224725"));
    EXPECT_TRUE(ValidCpf(" 529.982.247-25 "));
    EXPECT_TRUE(ValidCgc("11222333000181"));
}

TEST(RemoveAcentos, PlainLettersKeepingCase) {
    EXPECT_EQ(RemoveAcentos("AÇÃO É ÓTIMA"), "ACAO E OTIMA");
    EXPECT_EQ(RemoveAcentos("São Paulo - Paraná"), "Sao Paulo - Parana");
    EXPECT_EQ(RemoveAcentos("ÀÁÂÃÄÈÉÊËÌÍÎÏÒÓÔÕÖÙÚÛÜÑÝ"), "AAAAAEEEEIIIIOOOOOUUUUNY");
    EXPECT_EQ(RemoveAcentos("àáâãäèéêëìíîïòóôõöùúûüñýÿç"), "aaaaaeeeeiiiiooooouuuunyyc");
    EXPECT_EQ(RemoveAcentos("Rua nº 5"), "Rua nº 5");
    EXPECT_EQ(RemoveAcentos(""), "");
    // Longer than the old 255-character limit: nothing is cut.
    std::string longText(300, 'a');
    EXPECT_EQ(RemoveAcentos(longText + "é"), longText + "e");
}

TEST(SpaceReplicate, RunsOfACharacter) {
    EXPECT_EQ(Space(3), "   ");
    EXPECT_EQ(Space(0), "");
    EXPECT_EQ(Space(-2), "");
    EXPECT_EQ(Replicate('-', 4), "----");
    EXPECT_EQ(Replicate("ç", 3), "ççç");
    EXPECT_EQ(Replicate("=", 0), "");
    EXPECT_EQ(Replicate("=", -5), "");
}

// User names: what shows nothing or moves nothing on screen makes a second
// spelling of a name that looks the same, and is refused; letters of any
// script, accents, digits and visible signs are not.
TEST(InvisibleCharacters, NamesThatLookTheSameAreRefusedVisibleOnesTaken) {
    for (const char* name : {"Ad\u00ADmin", "Ad\u200Bmin", "Adm\u200Cin", "Ad\u200Dmin", "Ad\u2060min",
                             "\uFEFFAdmin", "Ad\u034Fmin", "Ad\u200Emin", "Ad\u202Emin", "Adm\x01in", "Ad\x7Fmin",
                             "Ad\u0085min", "Ad\u00A0min", "Ad\u3000min", "Ad\uE000min", "Admin\uFE0F",
                             "Ad\U000E0041min", "Ad\u115Fmin", "Ad\u180Emin", "Ad\u2028min", "Ad\tmin",
                             "Ad\xE9min"})
        EXPECT_TRUE(billing::data::HasInvisibleCharacter(name)) << testing::PrintToString(std::string(name));
    for (const char* name : {"Admin", "José da Silva", "ação", "O'Brien", "Ana-Maria", "Zoë", "日本", "user_01", ""})
        EXPECT_FALSE(billing::data::HasInvisibleCharacter(name)) << name;
}
