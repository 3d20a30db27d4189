#include <gtest/gtest.h>

#include <string>

#include "platform/db/ExprParser.h"

namespace {

std::string Tree(const std::string& text, TFilterOptions options = {}) {
    TExprParser p(text, options);
    return db::ExprNodeToText(p.Root());
}

// The error a bad text raises: its position and token.
struct Failure {
    int position = 0;
    std::string token;
    std::string message;
};

Failure FailureOf(const std::string& text) {
    try {
        TExprParser p(text, {});
    } catch (const EExprParserError& e) {
        return {e.Position(), e.Token(), e.Message()};
    }
    ADD_FAILURE() << "no error for: " << text;
    return {};
}

TEST(ExprParser, PrecedenceAndAssociativity) {
    EXPECT_EQ(Tree("A = 1 OR B = 2 AND C = 3"), "(([A] = 1) OR (([B] = 2) AND ([C] = 3)))");
    EXPECT_EQ(Tree("NOT A = 1 AND B"), "((NOT ([A] = 1)) AND [B])");
    EXPECT_EQ(Tree("A + B * C - D / 2"), "(([A] + ([B] * [C])) - ([D] / 2))");
    EXPECT_EQ(Tree("A - B - C"), "(([A] - [B]) - [C])");
    EXPECT_EQ(Tree("(A = 1 OR B = 2) AND C = 3"), "((([A] = 1) OR ([B] = 2)) AND ([C] = 3))");
    EXPECT_EQ(Tree("A MOD 3 = 1 or a % 2 = 0"), "((([A] MOD 3) = 1) OR (([a] % 2) = 0))");
    EXPECT_EQ(Tree("-A < -5"), "((-([A])) < -5)");
    EXPECT_EQ(Tree("-(5) = - -5"), "((-(5)) = (-(-5)))");
    EXPECT_EQ(Tree("A != 1"), "([A] <> 1)");
}

TEST(ExprParser, OperandsOfEveryKind) {
    EXPECT_EQ(Tree("[Valor Total] >= 10.5"), "([Valor Total] >= 10.5)");
    EXPECT_EQ(Tree("Descrição = 'Pão de queijo'"), "([Descrição] = 'Pão de queijo')");
    EXPECT_EQ(Tree("Nome = 'D''Ávila'"), "([Nome] = 'D''Ávila')");
    EXPECT_EQ(Tree("Nome = \"say \"\"hi\"\"\""), "([Nome] = 'say \"hi\"')");
    EXPECT_EQ(Tree("Emissao >= '01/12/2026'"), "([Emissao] >= '01/12/2026')");
    EXPECT_EQ(Tree("Ativo = TRUE and Pago = false"), "(([Ativo] = TRUE) AND ([Pago] = FALSE))");
    EXPECT_EQ(Tree("X = 3000000000"), "([X] = 3000000000)");
    EXPECT_EQ(Tree("X = -2147483648"), "([X] = -2147483648)");
    EXPECT_EQ(Tree("X = 2e3"), "([X] = 2000.0)");
    EXPECT_EQ(Tree("X IS NULL OR Y is not null"), "(([X] IS NULL) OR ([Y] IS NOT NULL))");
    EXPECT_EQ(Tree("X = NULL"), "([X] = NULL)");
}

TEST(ExprParser, LikeInAndFunctions) {
    EXPECT_EQ(Tree("Nome LIKE 'A*'"), "([Nome] LIKE 'A*')");
    EXPECT_EQ(Tree("Nome NOT LIKE 'A?'"), "(NOT ([Nome] LIKE 'A?'))");
    EXPECT_EQ(Tree("UF IN ('SP', 'RJ')"), "([UF] IN ('SP', 'RJ'))");
    EXPECT_EQ(Tree("UF NOT IN ('SP')"), "(NOT ([UF] IN ('SP')))");
    EXPECT_EQ(Tree("upper(Nome) = 'X'"), "(UPPER([Nome]) = 'X')");
    EXPECT_EQ(Tree("SubString(Nome, 2, 3) = 'bc'"), "(SUBSTRING([Nome], 2, 3) = 'bc')");
    EXPECT_EQ(Tree("YEAR(Emissao) = 2026 AND GETDATE() > Emissao"),
              "((YEAR([Emissao]) = 2026) AND (GETDATE() > [Emissao]))");
    EXPECT_EQ(Tree("DATE('2026-12-07', 'yyyy-mm-dd') = Emissao"),
              "(DATE('2026-12-07', 'yyyy-mm-dd') = [Emissao])");
}

TEST(ExprParser, InListsOfAnyLength) {
    std::string text = "Codigo IN (";
    for (int i = 0; i < 5000; ++i) text += (i ? ", " : "") + std::to_string(i);
    text += ")";
    TExprParser p(text, {});
    const TExprNode* list = p.Root()->Operand(1);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->NodeClass, enListElem);
    EXPECT_EQ(list->Operands.size(), 5000u);
    EXPECT_EQ(list->Operands[4999]->Value.AsInteger(), 4999);
}

TEST(ExprParser, FilterOptionsMakeTextComparisons) {
    TExprParser plain("Nome = 'ana'", {});
    EXPECT_EQ(plain.Root()->NodeClass, enBinary);

    TExprParser folded("Nome = 'ana'", {foCaseInsensitive});
    EXPECT_EQ(folded.Root()->NodeClass, enCompare);
    EXPECT_TRUE(folded.Root()->CaseInsensitive);
    EXPECT_FALSE(folded.Root()->Partial);

    // A trailing "*" compares the leading characters (here 3 characters, one accented).
    TExprParser partial("Nome = 'Joã*'", {});
    ASSERT_EQ(partial.Root()->NodeClass, enCompare);
    EXPECT_FALSE(partial.Root()->CaseInsensitive);
    EXPECT_TRUE(partial.Root()->Partial);
    EXPECT_EQ(partial.Root()->PartialLength, 3);
    EXPECT_EQ(partial.Root()->Operand(1)->Value.AsString(), "Joã");

    TExprParser whole("Nome = 'Jo*'", {foNoPartialCompare});
    EXPECT_EQ(whole.Root()->NodeClass, enBinary);
    EXPECT_EQ(whole.Root()->Operand(1)->Value.AsString(), "Jo*");

    // Ordering comparisons and field-to-field comparisons stay plain.
    EXPECT_EQ(TExprParser("Nome > 'a'", {foCaseInsensitive}).Root()->NodeClass, enBinary);
    EXPECT_EQ(TExprParser("Nome = Apelido", {foCaseInsensitive}).Root()->NodeClass, enBinary);
}

TEST(ExprParser, EmptyTextHasNoRoot) {
    EXPECT_EQ(TExprParser("", {}).Root(), nullptr);
    EXPECT_EQ(TExprParser("  \t\n", {}).Root(), nullptr);
}

TEST(ExprParser, FieldNamesOnceEach) {
    TExprParser p("A = 1 OR [b c] = a AND UPPER(D) IN (E, 'x')", {});
    EXPECT_EQ(p.FieldNames(), (std::vector<std::string>{"A", "b c", "D", "E"}));
}

TEST(ExprParser, ErrorsNamePositionAndToken) {
    struct Case {
        const char* text;
        int position;
        const char* token;
    } cases[] = {
        {"A = ", 5, ""},
        {"A = 'abc", 5, "'abc"},
        {"(A = 1", 7, ""},
        {"A = 1)", 6, ")"},
        {"A $ 1", 3, "$"},
        {"FOO(A) = 1", 1, "FOO"},
        {"[Nome = 1", 1, "[Nome = 1"},
        {"A IS 1", 6, "1"},
        {"A IN 1", 6, "1"},
        {"A IN ()", 7, ")"},
        {"1 2", 3, "2"},
        {"A = 12abc", 5, "12abc"},
        {"Ação = = 1", 8, "="},
        {"A AND", 6, ""},
        {"[] = 1", 1, "[]"},
        {"A = 1 OR OR B", 10, "OR"},
    };
    for (const Case& c : cases) {
        const Failure f = FailureOf(c.text);
        EXPECT_EQ(f.position, c.position) << c.text << " -> " << f.message;
        EXPECT_EQ(f.token, c.token) << c.text << " -> " << f.message;
        EXPECT_NE(f.message.find("position " + std::to_string(c.position)), std::string::npos) << f.message;
    }
    EXPECT_EQ(FailureOf("A = 1)").message, "Invalid filter expression at position 6, \")\": operator or end of text expected");
}

TEST(ExprParser, DeepTextIsRefusedNotOverflowed) {
    std::string ok = std::string(100, '(') + "A" + std::string(100, ')');
    EXPECT_EQ(Tree(ok), "[A]");
    const std::string deep = std::string(100000, '(') + "A" + std::string(100000, ')');
    const Failure f = FailureOf(deep);
    EXPECT_EQ(f.token, "(");
    std::string nots;
    for (int i = 0; i < 50000; ++i) nots += "NOT ";
    EXPECT_EQ(FailureOf(nots + "A").token, "NOT");
    std::string chain = "A";
    for (int i = 0; i < 5000; ++i) chain += " + A";
    EXPECT_NE(FailureOf(chain).message.find("too long"), std::string::npos);
}

}  // namespace
