#include <gtest/gtest.h>

#include <string>

#include "billing/nfe/ChaveNFe.h"
#include "billing/nfe/NFeError.h"

using namespace billing::nfe;

namespace {

// 42 zeros and one digit in the last position (weight 2).
std::string LastDigit(int d) { return std::string(42, '0') + std::to_string(d); }

}  // namespace

TEST(CheckDigit, PublishedKeys) {
    // The national manual's worked example and the layout 1.10 sample key.
    EXPECT_EQ(Gerar_Digito("5206043300991100250655012000000780026730161"), 5);
    EXPECT_EQ(Gerar_Digito("3508059999909091027055001000000001518005127"), 3);
    EXPECT_TRUE(ChaveValida("52060433009911002506550120000007800267301615"));
    EXPECT_TRUE(ChaveValida("35080599999090910270550010000000015180051273"));
    EXPECT_FALSE(ChaveValida("52060433009911002506550120000007800267301614"));
}

TEST(CheckDigit, RemaindersZeroAndOneGiveZero) {
    EXPECT_EQ(Gerar_Digito(LastDigit(0)), 0);  // sum 0, remainder 0
    EXPECT_EQ(Gerar_Digito(LastDigit(6)), 0);  // sum 12, remainder 1
    EXPECT_EQ(Gerar_Digito(LastDigit(1)), 9);  // remainder 2
    EXPECT_EQ(Gerar_Digito(LastDigit(5)), 1);  // remainder 10
}

TEST(CheckDigit, RefusesWhatIsNotFortyThreeDigits) {
    EXPECT_EQ(Gerar_Digito(std::string(42, '1')), -1);
    EXPECT_EQ(Gerar_Digito(std::string(44, '1')), -1);
    EXPECT_EQ(Gerar_Digito(std::string(42, '1') + "A"), -1);
    EXPECT_EQ(Gerar_Digito(""), -1);
}

TEST(AccessKey, PartsInOrder) {
    std::string key = MontarChaveNFe("41", EncodeDate(2009, 3, 5), "12345678000195", 1, 123, 4567);
    ASSERT_EQ(key.size(), 44u);
    EXPECT_EQ(key.substr(0, 43), "4109031234567800019555001000000123000004567");
    EXPECT_TRUE(ChaveValida(key));
    // A one-digit state code is padded.
    EXPECT_EQ(MontarChaveNFe("5", EncodeDate(2010, 12, 1), "12345678000195", 0, 1, 0).substr(0, 6), "051012");
}

TEST(AccessKey, TwoKeysForOneInvoiceDifferOnlyInTheCode) {
    bool differed = false;
    for (int i = 0; i < 5 && !differed; ++i) {
        std::string a = MontarChaveNFe("41", EncodeDate(2009, 3, 5), "12345678000195", 1, 123);
        std::string b = MontarChaveNFe("41", EncodeDate(2009, 3, 5), "12345678000195", 1, 123);
        EXPECT_EQ(a.substr(0, 34), b.substr(0, 34));
        EXPECT_TRUE(ChaveValida(a));
        EXPECT_TRUE(ChaveValida(b));
        differed = a != b;
    }
    EXPECT_TRUE(differed);
}

TEST(AccessKey, IncompleteIssuerRegisterIsRefused) {
    TDateTime d = EncodeDate(2009, 3, 5);
    EXPECT_THROW(MontarChaveNFe("41", d, "12.345.678/0001-95", 1, 1), ENFeError);
    EXPECT_THROW(MontarChaveNFe("41", d, "", 1, 1), ENFeError);
    // A mistyped CNPJ (last check digit off by one) never makes a key.
    EXPECT_THROW(MontarChaveNFe("41", d, "12345678000196", 1, 1), ENFeError);
    EXPECT_THROW(MontarChaveNFe("", d, "12345678000195", 1, 1), ENFeError);
    EXPECT_THROW(MontarChaveNFe("41", d, "12345678000195", 1000, 1), ENFeError);
    EXPECT_THROW(MontarChaveNFe("41", d, "12345678000195", 1, 0), ENFeError);
    try {
        MontarChaveNFe("41", d, "123", 1, 1);
    } catch (const ENFeError& e) {
        // The general text first, then the field to correct.
        EXPECT_EQ(e.Message(), std::string(MsgErroChave) +
                                   "\r\n\r\nEmitente - CNPJ: deve ter 14 dígitos, sem pontuação (\"123\").");
    }
}
