// Mutated filter texts: the parser either builds a tree or raises its own
// error with a position inside the text; it never crashes, hangs or leaks
// (the sanitizer build checks the last two).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/db/ExprParser.h"
#include "platform/rtl/Strings.h"

namespace {

const std::vector<std::string> kSeeds = {
    "Nome = 'Ana'",
    "[Valor Total] >= 10.5 AND Ativo = TRUE",
    "UF IN ('SP', 'RJ', 'MG') OR Cidade LIKE 'São*'",
    "NOT (Emissao < '01/12/2026') AND Numero MOD 2 = 0",
    "SUBSTRING(Descricao, 2, 3) = 'abc' OR UPPER(Nome) = 'JOÃO'",
    "YEAR(Emissao) = 2026 AND MONTH(Emissao) IN (1, 2, 3)",
    "X IS NULL OR Y IS NOT NULL OR -Z * (A + B) / C % 3 <> 1e3",
    "DATE('2026-12-07', 'yyyy-mm-dd') = Emissao AND TRIM(Nome) <> ''",
    "Nome NOT LIKE '[a-c]?*' AND Codigo NOT IN (1)",
};

const std::vector<std::string> kPieces = {
    "(", ")", "'", "\"", "[", "]", ",", "=", "<>", "<", ">=", "+", "-", "*", "/", "%", " AND ", " OR ",
    " NOT ", " LIKE ", " IN ", " IS ", " NULL ", " MOD ", "TRUE", "UPPER(", "SUBSTRING(", "GETDATE()",
    "0", "9999999999999999999999", "1.5", "1e999", ".", "é", "ção", "\xC3", "\xFF", "\t", "", "''''",
};

std::string Mutate(std::string s, std::mt19937& rng) {
    const int steps = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < steps; ++i) {
        const std::size_t at = s.empty() ? 0 : rng() % (s.size() + 1);
        switch (rng() % 6) {
            case 0:  // insert a piece of the grammar
                s.insert(at, kPieces[rng() % kPieces.size()]);
                break;
            case 1:  // insert any byte
                s.insert(at, 1, static_cast<char>(rng() % 256));
                break;
            case 2:  // delete a run
                if (!s.empty()) s.erase(at == s.size() ? at - 1 : at, 1 + rng() % 4);
                break;
            case 3:  // duplicate a run (grows nesting and lists)
                if (!s.empty()) {
                    const std::size_t from = rng() % s.size();
                    const std::string run = s.substr(from, 1 + rng() % 12);
                    for (int k = static_cast<int>(rng() % 3); k >= 0; --k) s.insert(at, run);
                }
                break;
            case 4:  // join with another seed
                s += (rng() % 2 ? " AND " : " OR ") + kSeeds[rng() % kSeeds.size()];
                break;
            default:  // replace a byte
                if (!s.empty()) s[rng() % s.size()] = static_cast<char>(rng() % 128);
                break;
        }
    }
    return s;
}

TEST(ExprParserFuzz, HundredThousandMutatedTexts) {
    std::mt19937 rng(20261207);
    int parsed = 0, refused = 0;
    for (int i = 0; i < 100000; ++i) {
        const std::string text = Mutate(kSeeds[rng() % kSeeds.size()], rng);
        const TFilterOptions options = (i % 3 == 0) ? TFilterOptions{foCaseInsensitive}
                                                    : (i % 3 == 1 ? TFilterOptions{foNoPartialCompare} : TFilterOptions{});
        try {
            TExprParser p(text, options);
            ++parsed;
            // What was parsed reads back into the same tree (the text form
            // parenthesises every level, so only trees within the nesting limit).
            if (p.Root() == nullptr || p.Root()->Depth >= TExprParser::MaxNesting / 2) continue;
            const std::string once = db::ExprNodeToText(p.Root());
            TExprParser again(once, options);
            ASSERT_EQ(db::ExprNodeToText(again.Root()), once) << "text: " << text;
        } catch (const EExprParserError& e) {
            ++refused;
            const int chars = Length(text);
            ASSERT_GE(e.Position(), 1) << text;
            ASSERT_LE(e.Position(), chars + 1) << text;
            // The token named is the text found at that position.
            ASSERT_EQ(Copy(text, e.Position(), Length(e.Token())), e.Token()) << text << " / " << e.Message();
        }
    }
    // Both outcomes were exercised in quantity.
    EXPECT_GT(parsed, 10000);
    EXPECT_GT(refused, 10000);
}

}  // namespace
