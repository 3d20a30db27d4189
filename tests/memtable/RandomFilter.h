#pragma once
// Random filter texts over the fields A, B, N, D and S, for the tests that
// evaluate many expressions: operands of every kind the evaluator meets,
// functions, lists, arithmetic, logic and masks, nested.
#include <random>
#include <string>
#include <vector>

namespace mttest {

inline const std::vector<std::string>& FilterOperands() {
    static const std::vector<std::string> operands = {
        "A", "B", "N", "D", "S", "0", "1", "-3", "2.5", "NULL", "TRUE", "'x'", "'12'", "'07/12/2026'", "'a*'",
        "GETDATE()", "UPPER(S)", "SUBSTRING(S, 2)", "SUBSTRING(S, A, B)", "YEAR(D)", "DATE(D)", "TIME(N)",
        "TRIM(S)", "DATE('2026', 'yyyy')", "HOUR(S)"};
    return operands;
}

inline std::string RandomFilterText(std::mt19937& rng, int depth, bool withClock = true) {
    static const std::vector<std::string> binary = {" = ", " <> ", " < ", " >= ", " + ", " - ", " * ", " / ",
                                                    " MOD ", " % ", " AND ", " OR ", " LIKE "};
    const auto& operands = FilterOperands();
    const unsigned r = rng() % 10;
    if (depth <= 0 || r < 3) {
        std::string o = operands[rng() % operands.size()];
        // The clock differs between two evaluations of one text.
        while (!withClock && o == "GETDATE()") o = operands[rng() % operands.size()];
        return o;
    }
    if (r == 3) return "NOT (" + RandomFilterText(rng, depth - 1, withClock) + ")";
    if (r == 4) return "(" + RandomFilterText(rng, depth - 1, withClock) + ") IS NULL";
    if (r == 5) {
        std::string list = RandomFilterText(rng, depth - 1, withClock) + " IN (";
        const int n = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < n; ++i) list += (i ? ", " : "") + RandomFilterText(rng, depth - 2, withClock);
        return list + ")";
    }
    return "(" + RandomFilterText(rng, depth - 1, withClock) + binary[rng() % binary.size()] +
           RandomFilterText(rng, depth - 1, withClock) + ")";
}

}  // namespace mttest
