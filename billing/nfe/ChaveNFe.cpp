#include "billing/nfe/ChaveNFe.h"

#include <chrono>
#include <random>

#include "billing/data/Utils.h"
#include "billing/nfe/NFeError.h"
#include "billing/nfe/XmlText.h"
#include "platform/rtl/Strings.h"

namespace billing::nfe {

const char* const MsgErroChave =
    "Houve um erro Interno na geração da Chave da NFe, verifique se o cadastro de Emitentes "
    "está corretamente preenchido.";

namespace {

constexpr std::string_view kWeights = "4329876543298765432987654329876543298765432";

bool AllDigits(std::string_view s) {
    for (char ch : s)
        if (ch < '0' || ch > '9') return false;
    return true;
}

}  // namespace

int Gerar_Digito(std::string_view key43) {
    if (key43.size() != 43 || !AllDigits(key43)) return -1;
    int sum = 0;
    for (std::size_t i = 0; i < 43; ++i) sum += (key43[i] - '0') * (kWeights[i] - '0');
    int r = sum % 11;
    return r < 2 ? 0 : 11 - r;
}

int RandomNumericCode() {
    thread_local std::mt19937 generator(static_cast<unsigned>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count() ^ std::random_device{}()));
    std::uniform_int_distribution<int> dist(0, 99999998);
    return dist(generator);
}

std::string MontarChaveNFe(std::string_view codigoUF, TDateTime emissao, std::string_view cnpj,
                           int serie, int numero, int codigoNumerico) {
    std::string uf(codigoUF);
    if (uf.size() == 1) uf = "0" + uf;
    uint16_t y = 0, m = 0, d = 0;
    DecodeDate(emissao, y, m, d);
    // A CNPJ with wrong check digits is a mistyped issuer register: a key
    // made from it would carry the error to every file of the invoice.
    // The refusal names what to correct after the general text.
    std::string why;
    const std::string shown(cnpj);
    if (uf.size() != 2 || !AllDigits(uf))
        why = "Emitente - Código da UF do município: inválido (\"" + uf + "\")";
    else if (cnpj.size() != 14 || !AllDigits(cnpj))
        why = "Emitente - CNPJ: deve ter 14 dígitos, sem pontuação (\"" + shown + "\")";
    else if (!ValidCgc(cnpj))
        why = "Emitente - CNPJ: número inválido, os dígitos verificadores não conferem (\"" + shown + "\")";
    else if (serie < 0 || serie > 999)
        why = "Nota fiscal - Série: deve estar entre 0 e 999 (" + IntToStr(serie) + ")";
    else if (numero < 1 || numero > 999999999)
        why = "Nota fiscal - Número: deve estar entre 1 e 999999999 (" + IntToStr(numero) + ")";
    else if (codigoNumerico > 99999999 || y < 1)
        why = "Nota fiscal - Data de emissão ou código numérico inválidos";
    if (!why.empty()) throw ENFeError(std::string(MsgErroChave) + "\r\n\r\n" + why + ".");
    if (codigoNumerico < 0) codigoNumerico = RandomNumericCode();
    std::string key = uf + IntToStrZero(y % 100, 2) + IntToStrZero(m, 2) + std::string(cnpj) + "55" +
                      IntToStrZero(serie, 3) + IntToStrZero(numero, 9) + IntToStrZero(codigoNumerico, 9);
    key += static_cast<char>('0' + Gerar_Digito(key));
    return key;
}

bool ChaveValida(std::string_view key) {
    return key.size() == 44 && AllDigits(key) && Gerar_Digito(key.substr(0, 43)) == key[43] - '0';
}

}  // namespace billing::nfe
