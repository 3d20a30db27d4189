#include "billing/forms/Installments.h"

#include <cmath>

namespace billing::forms {

std::string InstallmentValidator::Check(const std::vector<Installment>& Rows) {
    double sum = 0;
    // Days in the order they first appear, with how often each comes.
    std::vector<std::pair<int, int>> days;
    for (const Installment& row : Rows) {
        sum += row.percentual;
        auto it = days.begin();
        while (it != days.end() && it->first != row.prazo_dias) ++it;
        if (it == days.end()) days.emplace_back(row.prazo_dias, 1);
        else ++it->second;
    }
    // Cents: shares typed with two decimals sum to 100 only up to the
    // binary rounding of their sum (nine of 10.1 and one of 9.1).
    if (std::round(sum * 100.0) != 10000.0) return kSumMessage;
    for (const auto& [prazo, count] : days) {
        if (count > 1) return "O prazo de \"" + std::to_string(prazo) + "\" dias, foi informado mais de uma vez.";
    }
    return {};
}

}  // namespace billing::forms
