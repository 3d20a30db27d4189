#pragma once
// The 44-digit access key of an NF-e: state, year and month of emission,
// issuer's CNPJ, model, series, number, a random numeric code and a
// modulo-11 check digit. It names every file exchanged with the monitor.
#include <string>
#include <string_view>

#include "platform/rtl/DateUtils.h"

namespace billing::nfe {

// Check digit of the first 43 digits of a key (weights 2 to 9 from the
// right; remainders 0 and 1 give 0). -1 when the text is not exactly 43
// decimal digits.
int Gerar_Digito(std::string_view key43);

// A random numeric code, 0 to 99,999,998.
int RandomNumericCode();

// The key of an invoice. `codigoUF` is the issuer state's code (padded to 2
// digits), `cnpj` the issuer's 14 digits. A negative `codigoNumerico` draws a
// random one. Raises ENFeError with the issuer-register message when the
// parts cannot make a valid key (a CNPJ with punctuation, of another length
// or with wrong check digits, a state code that is not two digits, a series above 999, a number
// outside 1..999,999,999), so an invalid key is never stored.
std::string MontarChaveNFe(std::string_view codigoUF, TDateTime emissao, std::string_view cnpj,
                           int serie, int numero, int codigoNumerico = -1);

// 44 digits whose last one is the check digit of the first 43.
bool ChaveValida(std::string_view key);

// The message shown when the issuer register cannot make a key.
extern const char* const MsgErroChave;

}  // namespace billing::nfe
