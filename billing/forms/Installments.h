#pragma once
// The installments of a payment term (days after the invoice date and the
// share of the total due then) and the rules a term's installments keep
// before the term is saved. No window here: the payment-terms form hands the
// rows of its grid over.
#include <string>
#include <vector>

namespace billing::forms {

struct Installment {
    int prazo_dias = 0;
    double percentual = 0;
};

class InstallmentValidator {
public:
    static constexpr const char* kSumMessage = "A soma dos percentuais das parcelas deve ser igual a 100% !";

    // "" when the rows may be saved; else the first failure's message:
    // the percentages, summed in grid order and rounded to cents, must make
    // 100 (so an empty list never passes); then no number of days may come
    // twice (the first one repeated is named). Zero or negative percentages
    // are not refused.
    static std::string Check(const std::vector<Installment>& Rows);
};

}  // namespace billing::forms
