#pragma once
// State registration (Inscrição Estadual, "IE") check: whether a number is
// well formed for the state that issued it, by that state's own rule
// (length, fixed prefix, weights, modulus and the mapping of the remainder
// to a check digit), with every form a state has published and still sees in
// use: Bahia's 8- and 9-digit numbers under modulus 10 or 11, the old and new
// numbers of Pernambuco, Rondônia and Tocantins, Rio Grande do Norte's 9 and
// 10 digits, Amapá's three number ranges, Goiás's range and its one
// exception, São Paulo's trade and rural-producer numbers, and so on.
//
// What it takes: the registration as Tdmdb::CorrigeIE leaves it (digits
// only), and the state's two-letter abbreviation in either case. São Paulo's
// rural producers write a "P" in front of their twelve digits; that "P" is
// the only letter taken, and only for SP. Anything else with a letter or a
// mark, an empty number, a wrong length for the state and an unknown state
// ("?", as a missing municipality shows it) are invalid. "ISENTO" is not a
// registration: callers that accept exempt clients test for it themselves.
//
// The answer is only about the form of the number: a well-formed number may
// still be unknown to the state's register.
#include <string_view>

namespace billing::data {

bool ValidarIE(std::string_view Ie, std::string_view Uf);

// Whether a registration is written as a São Paulo rural producer's: a "P"
// (either case) and then no other letter ("P-01100424.3/002",
// "P011004243002"; not Paraná's "PR..."). Such a registration is the state's
// whatever the holder's nature, so it is judged by ValidarIE even for a
// natural person, whose field may otherwise hold an identity card number.
bool RuralProducerMark(std::string_view Ie);

}  // namespace billing::data
