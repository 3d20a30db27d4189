#pragma once
// The small text and number routines every billing unit uses: zero-filled
// codes (IntToStrZero, which the runtime's Strings.h provides to every layer),
// check digits, CPF/CNPJ validity, accents, runs of a character.
// Texts are UTF-8 and every count is in characters.
#include <string>
#include <string_view>

#include "platform/rtl/Strings.h"

// The modulo-11 check digit (weights 2 to 9 from the right, cycling) of a
// digit string, as one character: "0" when the remainder is below 2, else
// 11 - remainder. Characters other than digits are skipped; "" when there
// are no digits at all.
std::string Dv(std::string_view Digits);

// Validity of a CPF (11 digits) or a CNPJ (14 digits). Punctuation of the
// usual written forms (".", "-", "/" and blanks) is accepted; any other
// character, a wrong count of digits, a run of one repeated digit
// ("111.111.111-11") or a wrong check digit make the number invalid.
bool ValidCpf(std::string_view Cpf);
bool ValidCgc(std::string_view Cnpj);

// Accented letters of the Latin-1 range replaced by their plain letters,
// keeping case ("Ação" -> "Acao"); every other character is kept as it is
// ("º" stays).
std::string RemoveAcentos(std::string_view Text);

// Count blanks; "" for a count of 0 or less.
std::string Space(int Count);
// Ch (one character, possibly accented) repeated Count times; "" for a count
// of 0 or less.
std::string Replicate(std::string_view Ch, int Count);
std::string Replicate(char Ch, int Count);
