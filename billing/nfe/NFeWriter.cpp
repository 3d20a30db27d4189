#include "billing/nfe/NFeWriter.h"

#include "billing/data/InscricaoEstadual.h"

#include <cmath>
#include <cstdlib>

#include "billing/data/Utils.h"
#include "billing/nfe/ChaveNFe.h"
#include "billing/nfe/NFeError.h"
#include "billing/nfe/SendFolder.h"
#include "billing/nfe/XmlText.h"
#include "platform/rtl/Strings.h"

namespace billing::nfe {

namespace {

[[noreturn]] void Fail(const std::string& field, const std::string& problem) {
    throw ENFeError("NF-e não gerada. " + field + ": " + problem + ".");
}

class Lines {
public:
    void Line(int indent, const std::string& text) {
        out_.append(static_cast<std::size_t>(indent), ' ');
        out_ += text;
        out_ += "\r\n";
    }
    void Elem(int indent, const std::string& tag, const std::string& value) {
        Line(indent, "<" + tag + ">" + value + "</" + tag + ">");
    }
    // Written only when there is something to write.
    void Optional(int indent, const std::string& tag, const std::string& value) {
        if (!value.empty()) Elem(indent, tag, value);
    }
    void Open(int indent, const std::string& tag) { Line(indent, "<" + tag + ">"); }
    void Close(int indent, const std::string& tag) { Line(indent, "</" + tag + ">"); }
    std::string Take() { return std::move(out_); }

private:
    std::string out_;
};

// A text as the file states it (`norm`, the normalised `value`), escaped.
// Nothing is cut: a text longer than the layout allows is refused, and so is
// one of which nothing the layout accepts is left (which is not the same as
// a text never typed). Empty when blank, or too short, and not required.
std::string Checked(const std::string& value, const std::string& norm, const std::string& field, int minChars,
                    int maxChars, bool required) {
    int n = Length(norm);
    if (n == 0) {
        if (!IsBlankText(value))
            Fail(field, "o texto informado (\"" + Copy(Trim(value), 1, 40) +
                            "\") não contém nenhum caractere aceito pela NF-e");
        if (required) Fail(field, "não informado");
        return {};
    }
    if (n > maxChars)
        Fail(field, "tem " + IntToStr(n) + " caracteres; a NF-e aceita no máximo " + IntToStr(maxChars));
    if (n < minChars) {
        if (required) Fail(field, "deve ter ao menos " + IntToStr(minChars) + " caracteres");
        return {};
    }
    return EscapeXml(norm);
}

// Free text (upper case, plain letters) of minChars..maxChars characters.
std::string Free(const std::string& value, const std::string& field, int minChars, int maxChars,
                 bool required) {
    return Checked(value, NormalizeFreeText(value, -1), field, minChars, maxChars, required);
}

std::string Stored(const std::string& value, const std::string& field, int maxChars) {
    return Checked(value, NormalizeStoredText(value, -1), field, 1, maxChars, true);
}

// The digits of a CPF (11) or CNPJ (14) written with or without its usual
// punctuation; refused, naming the field, when its check digits are wrong.
std::string PersonDocument(const std::string& text, bool cnpj, const std::string& field) {
    std::string t = Trim(text);
    if (t.find_first_not_of("0123456789./- ") != std::string::npos)
        Fail(field, "deve conter apenas dígitos (\"" + t + "\")");
    std::string digits = OnlyDigits(t);
    std::size_t want = cnpj ? 14 : 11;
    if (digits.size() != want) Fail(field, "deve ter " + IntToStr(static_cast<int>(want)) + " dígitos (\"" + t + "\")");
    if (!(cnpj ? ValidCgc(digits) : ValidCpf(digits)))
        Fail(field, "número inválido, os dígitos verificadores não conferem (\"" + t + "\")");
    return digits;
}

// An amount with `decimals` decimals and at most `intDigits` integer digits;
// the layout has no negative amounts.
std::string Amount(double value, int decimals, int intDigits, const std::string& field) {
    if (!std::isfinite(value)) Fail(field, "valor inválido");
    std::string s = ValorXML(decimals, value);
    if (!s.empty() && s[0] == '-') Fail(field, "valor negativo (" + s + ") não é aceito");
    std::size_t point = s.find('.');
    std::size_t integerDigits = point == std::string::npos ? s.size() : point;
    // Past fixed notation the formatter switches to an exponent ("1E18"),
    // which is short enough to pass a digit count.
    bool fixed = OnlyDigits(s).size() + (point == std::string::npos ? 0 : 1) == s.size();
    if (!fixed || static_cast<int>(integerDigits) > intDigits) Fail(field, "valor acima do limite (" + s + ")");
    return s;
}

std::string Money(double value, const std::string& field) { return Amount(value, 2, 13, field); }

// Sums and products are done on the written texts as whole numbers of their
// last decimal, so that what the file states adds up exactly, as the tax
// authority recomputes it.
long long Units(const std::string& amount) {
    long long v = 0;
    for (char c : amount)
        if (c != '.') v = v * 10 + (c - '0');
    return v;
}

constexpr long long kMoneyLimit = 1000000000000000LL;  // 13 integer digits and 2 decimals

std::string MoneyText(long long cents, const std::string& field) {
    if (cents < 0) Fail(field, "valor negativo (-" + MoneyText(-cents, field) + ") não é aceito");
    if (cents >= kMoneyLimit) Fail(field, "valor acima do limite");
    std::string digits = IntToStrZero(cents, 3);
    return digits.substr(0, digits.size() - 2) + "." + digits.substr(digits.size() - 2);
}

// Quantity (4 decimals) times unit price (4 decimals), to the cent, halves
// away from zero.
std::string ItemValue(const std::string& qty, const std::string& price, const std::string& field) {
    using Wide = unsigned __int128;  // 12 + 16 digits do not fit 64 bits
    Wide product = static_cast<Wide>(Units(qty)) * static_cast<Wide>(Units(price));
    Wide cents = (product + 500000) / 1000000;
    if (cents >= static_cast<Wide>(kMoneyLimit)) Fail(field, "valor acima do limite");
    return MoneyText(static_cast<long long>(cents), field);
}

// The ICMS group the layout lays out for a treatment ("41" and "50" share
// the exempt group's shape).
std::string IcmsGroup(const std::string& cst) { return (cst == "41" || cst == "50") ? std::string("40") : cst; }

// Groups that state an own base and tax, and those whose base is reduced.
bool StatesOwnIcms(const std::string& group) {
    return group == "00" || group == "10" || group == "20" || group == "51" || group == "70" || group == "90";
}
bool ReducesBase(const std::string& group) { return group == "20" || group == "51" || group == "70"; }

// The item's value less the reduction (hundredths of a percent), to the cent.
long long ReducedBase(long long valueCents, long long reductionUnits) {
    return (valueCents * (10000 - reductionUnits) + 5000) / 10000;
}

// The code of a coded column ("1 - Normal" gives "1"), one of `allowed`.
std::string Code(const std::string& coded, const std::string& allowed, const std::string& field) {
    std::string t = Trim(coded);
    if (t.empty()) Fail(field, "não informado");
    char c = t[0];
    if (allowed.find(c) == std::string::npos) {
        // "0 ou 1", "1, 2 ou 3": the codes as a clerk reads them.
        std::string list;
        for (std::size_t i = 0; i < allowed.size(); ++i)
            list += (i == 0 ? "" : i + 1 == allowed.size() ? " ou " : ", ") + std::string(1, allowed[i]);
        Fail(field, "código \"" + t + "\" inválido (aceitos: " + list + ")");
    }
    return std::string(1, c);
}

std::string Municipality(int code, const std::string& field) {
    if (code < 1000000 || code > 9999999) Fail(field, "código IBGE do município inválido (" + IntToStr(code) + ")");
    return IntToStr(code);
}

std::string PostalCode(const std::string& cep, const std::string& field) {
    std::string digits = OnlyDigits(cep);
    if (Trim(cep).empty()) return {};
    if (digits.size() != 8) Fail(field, "o CEP deve ter 8 dígitos (\"" + Trim(cep) + "\")");
    return digits;
}

// Digits only; a leading trunk prefix "0" goes when the number is too long.
// A number the layout cannot hold (more than 10 digits) is left out.
std::string Phone(const std::string& phone) {
    std::string digits = OnlyDigits(phone);
    while (digits.size() > 10 && digits[0] == '0') digits.erase(0, 1);
    if (digits.size() > 10) return {};
    return digits;
}

std::string Date(TDateTime date, const std::string& field) {
    uint16_t y = 0, m = 0, d = 0;
    DecodeDate(date, y, m, d);
    if (y < 2000 || y > 2099) Fail(field, "data fora do intervalo aceito (" + DataXML(date) + ")");
    return DataXML(date);
}

bool IsJuridica(const std::string& natureza) {
    return !natureza.empty() && natureza[0] == 'J';
}

void WriteAddress(Lines& x, const std::string& group, const std::string& who, const std::string& endereco,
                  const std::string& numero, const std::string& bairro, int municipio,
                  const std::string& municipioNome, const std::string& uf, const std::string& cep,
                  const std::string& telefone, bool issuer) {
    x.Open(4, group);
    x.Elem(6, "xLgr", Free(endereco, who + " - Endereço", 2, 60, true));
    x.Elem(6, "nro", Stored(numero, who + " - Número do endereço", 60));
    x.Elem(6, "xBairro", Free(bairro, who + " - Bairro", issuer ? 2 : 1, 60, true));
    x.Elem(6, "cMun", Municipality(municipio, who + " - Município"));
    x.Elem(6, "xMun", Free(municipioNome, who + " - Nome do município", 2, 60, true));
    std::string u = Trim(uf);
    if (!IsStateAbbreviation(u, !issuer)) Fail(who + " - UF", "sigla inválida (\"" + u + "\")");
    x.Elem(6, "UF", u);
    x.Optional(6, "CEP", PostalCode(cep, who + " - CEP"));
    x.Elem(6, "cPais", "1058");
    x.Elem(6, "xPais", "BRASIL");
    x.Optional(0, "fone", Phone(telefone));
    x.Close(4, group);
}

// The ICMS group of an item, as the layout lays out each tax situation. The
// system records no tax-substitution amounts, so the groups that require
// them carry zeros, as the invoice totals do.
void WriteICMS(Lines& x, const NFeItem& item, const std::string& vBC, const std::string& field, NFeTotals& sums) {
    std::string st = Trim(item.id_situacao_tributaria);
    if (st.size() != 3 || st[0] < '0' || st[0] > '2')
        Fail(field + " - Situação tributária", "código inválido (\"" + st + "\")");
    std::string orig = st.substr(0, 1);
    std::string cst = st.substr(1, 2);
    static const std::string kKnown[] = {"00", "10", "20", "30", "40", "41", "50", "51", "60", "70", "90"};
    bool known = false;
    for (const std::string& k : kKnown) known = known || k == cst;
    if (!known) Fail(field + " - Situação tributária", "código inválido (\"" + st + "\")");

    std::string group = IcmsGroup(cst);
    const std::string pICMS = Amount(item.aliquota_icms, 2, 3, field + " - Alíquota do ICMS");
    const std::string vICMS = Money(item.valor_icms, field + " - Valor do ICMS");
    auto own = [&](bool reduction) {
        std::string base = vBC;
        x.Elem(10, "modBC", "3");
        if (reduction) {
            // The product's reduction, the base it leaves and the tax on it
            // must agree on one line: an amount taxed on another base would
            // be sent contradicting itself.
            const std::string redField = field + " - Redução da base de cálculo";
            const std::string pRedBC = Amount(item.reducao_base_calculo, 2, 3, redField);
            if (Units(pRedBC) > 10000) Fail(redField, "acima de 100% (" + pRedBC + ")");
            base = MoneyText(ReducedBase(Units(vBC), Units(pRedBC)), field + " - Base de cálculo");
            const long long due = (Units(base) * Units(pICMS) + 5000) / 10000;
            if (std::llabs(due - Units(vICMS)) > 1)
                Fail(field + " - Valor do ICMS",
                     vICMS + " gravado no item não corresponde à base com a redução de " + pRedBC +
                         "% do produto (" + base + " x " + pICMS + "% = " + MoneyText(due, field) +
                         "); corrija o item ou a redução do produto");
            x.Elem(10, "pRedBC", pRedBC);
        }
        x.Elem(10, "vBC", base);
        x.Elem(10, "pICMS", pICMS);
        x.Elem(10, "vICMS", vICMS);
        sums.vBC += Units(base);
        sums.vICMS += Units(vICMS);
    };
    auto substitution = [&]() {
        x.Elem(10, "modBCST", "4");
        x.Elem(10, "vBCST", "0.00");
        x.Elem(10, "pICMSST", "0.00");
        x.Elem(10, "vICMSST", "0.00");
    };

    x.Open(6, "ICMS");
    x.Open(8, "ICMS" + group);
    x.Elem(10, "orig", orig);
    x.Elem(10, "CST", cst);
    // A zero reduction is no reduction in group 90: left out.
    if (StatesOwnIcms(group)) own(ReducesBase(group));
    if (group == "10" || group == "30" || group == "70") substitution();
    else if (group == "60") { x.Elem(10, "vBCST", "0.00"); x.Elem(10, "vICMSST", "0.00"); }
    x.Close(8, "ICMS" + group);
    x.Close(6, "ICMS");
}

void CheckKey(const NFeDocument& doc, const std::string& cUF) {
    const std::string& key = doc.nota.numero_nfe;
    const std::string field = "Chave de acesso";
    if (!ChaveValida(key)) Fail(field, "inválida (\"" + key + "\")");
    std::string aamm = DataXML(doc.nota.data_emissao);
    aamm = aamm.substr(2, 2) + aamm.substr(5, 2);
    if (key.substr(0, 2) != cUF || key.substr(2, 4) != aamm || key.substr(6, 14) != doc.emitente.cnpj ||
        key.substr(22, 3) != IntToStrZero(doc.nota.id_serie_documento, 3) ||
        key.substr(25, 9) != IntToStrZero(doc.nota.id_nota_fiscal, 9))
        Fail(field, "não corresponde ao emitente, à data de emissão, à série ou ao número da nota");
}

}  // namespace

bool IsStateCode(const std::string& code) {
    static const char* const kCodes[] = {"11", "12", "13", "14", "15", "16", "17", "21", "22", "23",
                                         "24", "25", "26", "27", "28", "29", "31", "32", "33", "35",
                                         "41", "42", "43", "50", "51", "52", "53"};
    for (const char* c : kCodes)
        if (code == c) return true;
    return false;
}

bool IsStateAbbreviation(const std::string& uf, bool allowExterior) {
    static const char* const kUFs[] = {"AC", "AL", "AM", "AP", "BA", "CE", "DF", "ES", "GO", "MA",
                                       "MG", "MS", "MT", "PA", "PB", "PE", "PI", "PR", "RJ", "RN",
                                       "RO", "RR", "RS", "SC", "SE", "SP", "TO"};
    if (allowExterior && uf == "EX") return true;
    for (const char* u : kUFs)
        if (uf == u) return true;
    return false;
}

std::string NFeFileName(const std::string& key) { return key + "-nfe.xml"; }

long long CentsXML(double value) {
    if (!std::isfinite(value)) return 0;
    const std::string s = ValorXML(2, value);
    const bool negative = !s.empty() && s[0] == '-';
    return negative ? -Units(s.substr(1)) : Units(s);
}

double StatedAmount(double value) {
    if (!(std::fabs(value) * 100 < static_cast<double>(kMoneyLimit))) return value;
    return static_cast<double>(CentsXML(value)) / 100;
}

NFeTotals ItemTotals(const NFeItem& item) {
    NFeTotals t;
    t.vProd = CentsXML(item.valor_total);
    const std::string st = Trim(item.id_situacao_tributaria);
    const std::string group = st.size() == 3 ? IcmsGroup(st.substr(1, 2)) : std::string();
    if (!StatesOwnIcms(group)) return t;
    t.vBC = t.vProd;
    if (ReducesBase(group)) {
        const std::string pRedBC = ValorXML(2, item.reducao_base_calculo);
        if (!pRedBC.empty() && pRedBC[0] != '-') t.vBC = ReducedBase(t.vProd, Units(pRedBC));
    }
    t.vICMS = CentsXML(item.valor_icms);
    return t;
}

NFeTotals InvoiceTotals(const std::vector<NFeItem>& items) {
    NFeTotals sum;
    for (const NFeItem& item : items) {
        const NFeTotals t = ItemTotals(item);
        sum.vBC += t.vBC;
        sum.vICMS += t.vICMS;
        sum.vProd += t.vProd;
    }
    return sum;
}

std::string InscricaoEstadualNFe(const std::string& ie, const std::string& uf,
                                 const std::string& party, bool issuer) {
    const std::string field = party + " - Inscrição Estadual";
    std::string t = Trim(AnsiUpperCase(ie));
    if (t == "ISENTO") return t;
    if (t.empty()) {
        if (issuer) Fail(field, "não informada");
        return t;
    }
    // A rural producer of Paraná is registered as "PR" and its number.
    std::string prefix;
    if (!issuer && t.size() > 2 && t.compare(0, 2, "PR") == 0) prefix = "PR";
    // A rural producer of São Paulo is registered as "P" and twelve digits,
    // checked by that state's rural rule; the layout takes the digits only.
    const bool ruralSP = prefix.empty() && Trim(uf) == "SP" && t.size() > 1 && t[0] == 'P';
    // Letters are never dropped: "90AB3457-44" is a mistyped registration,
    // not 90345744.
    if (t.find_first_not_of("0123456789./- ", prefix.size() + (ruralSP ? 1 : 0)) != std::string::npos)
        Fail(field, "deve conter apenas dígitos ou ISENTO (\"" + Trim(ie) + "\")");
    std::string digits = OnlyDigits(t);
    std::size_t least = prefix.empty() ? (issuer ? 2 : 1) : 4;
    std::size_t most = prefix.empty() ? 14 : 8;
    if (digits.size() < least || digits.size() > most)
        Fail(field, "deve ter de " + IntToStr(static_cast<int>(least)) + " a " + IntToStr(static_cast<int>(most)) +
                        " dígitos (\"" + Trim(ie) + "\")");
    // A registration the state's own rule rejects would be refused by the
    // authority after the clerk thinks the invoice sent.
    if (prefix.empty() && !Trim(uf).empty() && !billing::data::ValidarIE((ruralSP ? "P" : "") + digits, Trim(uf)))
        Fail(field, "inválida para a UF " + Trim(uf) + " (\"" + Trim(ie) + "\")");
    return prefix + digits;
}

std::string BuildNFeXml(const NFeDocument& doc) {
    const NFeInvoice& nf = doc.nota;
    const NFeIssuer& em = doc.emitente;
    Lines x;

    // The text is built in memory and every value is checked on the way, so
    // a refusal names the first field to correct before any file exists.
    std::string cUF = Trim(em.id_uf);
    if (cUF.size() == 1) cUF = "0" + cUF;
    if (!IsStateCode(cUF)) Fail("Emitente - Código da UF", "inválido (\"" + em.id_uf + "\")");
    // The access key carries the issuer's CNPJ as stored, so it must be bare
    // digits, and valid: a mistyped one would go to the authority in the key.
    if (em.cnpj.size() != 14 || OnlyDigits(em.cnpj) != em.cnpj)
        Fail("Emitente - CNPJ", "deve ter 14 dígitos, sem pontuação (\"" + em.cnpj + "\")");
    PersonDocument(em.cnpj, true, "Emitente - CNPJ");
    CheckKey(doc, cUF);
    const std::string& key = nf.numero_nfe;
    std::string tpAmb = Code(doc.ambiente, "12", "Configurações - Ambiente");
    if (doc.itens.empty()) Fail("Itens", "a nota fiscal não tem itens");
    if (doc.itens.size() > 990) Fail("Itens", "a nota fiscal tem mais de 990 itens");
    if (!doc.destinatario) Fail("Destinatário", "o cliente da nota fiscal não foi encontrado");
    if (nf.id_serie_documento < 0 || nf.id_serie_documento > 999)
        Fail("Nota fiscal - Série", "deve estar entre 0 e 999");
    if (nf.id_nota_fiscal < 1 || nf.id_nota_fiscal > 999999999)
        Fail("Nota fiscal - Número", "deve estar entre 1 e 999999999");

    x.Line(0, "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>");
    x.Line(0, std::string("<NFe xmlns=\"") + kNFeNamespace + "\">");
    x.Line(1, std::string("<infNFe xmlns:xsi=\"") + kXsiNamespace + "\" Id=\"NFe" + key + "\" versao=\"1.10\">");

    x.Open(2, "ide");
    x.Elem(4, "cUF", cUF);
    x.Elem(4, "cNF", key.substr(34, 9));
    x.Elem(4, "natOp", Stored(nf.id_cfop, "Nota fiscal - Natureza da operação (CFOP)", 60));
    x.Elem(4, "indPag", Code(nf.forma_pagamento, "012", "Nota fiscal - Forma de pagamento"));
    x.Elem(4, "mod", "55");
    x.Elem(4, "serie", IntToStr(nf.id_serie_documento));
    x.Elem(4, "nNF", IntToStr(nf.id_nota_fiscal));
    x.Elem(4, "dEmi", Date(nf.data_emissao, "Nota fiscal - Data de emissão"));
    if (nf.data_saida > 0) x.Elem(4, "dSaiEnt", Date(nf.data_saida, "Nota fiscal - Data de saída"));
    x.Elem(4, "tpNF", "1");
    x.Elem(4, "cMunFG", Municipality(em.id_municipio, "Emitente - Município"));
    x.Elem(4, "tpImp", Code(nf.tipo_impressao_danfe, "12", "Nota fiscal - Tipo de impressão do DANFE"));
    x.Elem(4, "tpEmis", Code(nf.tipo_emissao, "12345", "Nota fiscal - Tipo de emissão"));
    x.Elem(4, "cDV", key.substr(43, 1));
    x.Elem(4, "tpAmb", tpAmb);
    x.Elem(4, "finNFe", Code(nf.finalidade_emissao, "123", "Nota fiscal - Finalidade da emissão"));
    x.Elem(4, "procEmi", "0");
    x.Elem(4, "verProc", "1.0.0");
    x.Close(2, "ide");

    x.Open(2, "emit");
    x.Elem(4, "CNPJ", em.cnpj);
    x.Elem(4, "xNome", Free(em.nome, "Emitente - Razão social", 2, 60, true));
    x.Optional(4, "xFant", Free(em.nome_fantasia, "Emitente - Nome fantasia", 1, 60, false));
    WriteAddress(x, "enderEmit", "Emitente", em.endereco, em.numero_endereco, em.bairro, em.id_municipio,
                 em.municipio_nome, em.uf, em.cep, em.telefone, true);
    x.Elem(4, "IE", InscricaoEstadualNFe(em.inscricao_estadual, em.uf, "Emitente", true));
    x.Close(2, "emit");

    const NFeRecipient& de = *doc.destinatario;
    x.Open(2, "dest");
    if (IsJuridica(de.natureza)) {
        // A buyer abroad has no CNPJ.
        bool exterior = Trim(de.uf) == "EX" && Trim(de.cpf_cnpj).empty();
        x.Elem(4, "CNPJ", exterior ? std::string() : PersonDocument(de.cpf_cnpj, true, "Destinatário - CNPJ"));
    } else {
        x.Elem(4, "CPF", PersonDocument(de.cpf_cnpj, false, "Destinatário - CPF"));
    }
    x.Elem(4, "xNome", Free(de.nome, "Destinatário - Nome", 2, 60, true));
    WriteAddress(x, "enderDest", "Destinatário", de.endereco, de.numero_endereco, de.bairro, de.id_municipio,
                 de.municipio_nome, de.uf, de.cep, de.telefone, false);
    // A natural person's registration field may hold another document, as the
    // client register checks the state's rule only for legal persons; a rural
    // producer's registration is the state's whatever the holder's nature.
    const bool stateRule = IsJuridica(de.natureza) || billing::data::RuralProducerMark(de.ie_rg);
    x.Elem(4, "IE", InscricaoEstadualNFe(de.ie_rg, stateRule ? de.uf : std::string(), "Destinatário", false));
    x.Close(2, "dest");

    NFeTotals sums;
    int n = 0;
    for (const NFeItem& item : doc.itens) {
        ++n;
        const std::string f = "Item " + IntToStr(n);
        std::string cfop = Trim(item.id_cfop);
        if (cfop.size() != 4 || OnlyDigits(cfop) != cfop) Fail(f + " - CFOP", "inválido (\"" + cfop + "\")");
        std::string unit = Free(item.id_unidade_medida, f + " - Unidade de medida", 1, 6, true);
        std::string qty = Amount(item.quantidade, 4, 8, f + " - Quantidade");
        std::string price = Amount(item.valor_unitario, 4, 12, f + " - Valor unitário");
        // The stored total is what was agreed; when the stated quantity and
        // price do not make it, neither can be sent without changing the bill.
        // A cent either way is truncation against rounding (many systems cut
        // instead of rounding), which the authority accepts too.
        std::string value = Money(item.valor_total, f + " - Valor total");
        std::string stated = ItemValue(qty, price, f + " - Valor total");
        if (std::llabs(Units(value) - Units(stated)) > 1)
            Fail(f + " - Valor total", value + " difere de quantidade x valor unitário (" + qty + " x " + price +
                                           " = " + stated + ")");
        sums.vProd += Units(value);
        x.Line(2, "<det nItem=\"" + IntToStr(n) + "\">");
        x.Open(4, "prod");
        x.Elem(6, "cProd", Stored(item.id_produto, f + " - Código do produto", 60));
        x.Line(6, "<cEAN/>");
        x.Elem(6, "xProd", Free(item.descricao, f + " - Descrição do produto", 1, 120, true));
        x.Elem(6, "CFOP", cfop);
        x.Elem(6, "uCom", unit);
        x.Elem(6, "qCom", qty);
        x.Elem(6, "vUnCom", price);
        x.Elem(6, "vProd", value);
        x.Line(6, "<cEANTrib/>");
        x.Elem(6, "uTrib", unit);
        x.Elem(6, "qTrib", qty);
        x.Elem(6, "vUnTrib", price);
        x.Close(4, "prod");
        x.Open(4, "imposto");
        WriteICMS(x, item, value, f, sums);
        x.Open(6, "PIS");
        x.Open(8, "PISNT");
        x.Elem(11, "CST", "08");
        x.Close(8, "PISNT");
        x.Close(6, "PIS");
        x.Open(6, "COFINS");
        x.Open(8, "COFINSNT");
        x.Elem(11, "CST", "08");
        x.Close(8, "COFINSNT");
        x.Close(6, "COFINS");
        x.Close(4, "imposto");
        x.Close(2, "det");
    }

    x.Open(2, "total");
    x.Open(4, "ICMSTot");
    // The tax authority refuses totals that differ from the sum of the
    // written items, and the stored totals may be sums of unrounded values (or
    // count the base of items that carry no own ICMS), so the totals are the
    // items' written amounts added up. The stored ones are still checked:
    // one the system cannot have produced marks a damaged invoice.
    Money(nf.valor_base_calculo, "Nota fiscal - Base de cálculo do ICMS");
    Money(nf.valor_icms, "Nota fiscal - Valor do ICMS");
    Money(nf.valor_produto, "Nota fiscal - Valor dos produtos");
    const std::string stored = Money(nf.valor_total_nota, "Nota fiscal - Valor total da nota");
    // The file states these as zero; an invoice that holds one (damage, or a
    // row another program wrote) would be sent disagreeing with its bill.
    const struct {
        double value;
        const char* field;
    } unsent[] = {
        {nf.valor_bc_icms_st, "Nota fiscal - Base de cálculo do ICMS ST"},
        {nf.valor_icms_st, "Nota fiscal - Valor do ICMS ST"},
        {nf.valor_outras_despesas, "Nota fiscal - Valor de outras despesas"},
        {nf.valor_ipi, "Nota fiscal - Valor do IPI"},
    };
    for (const auto& u : unsent) {
        std::string v = Money(u.value, u.field);
        if (Units(v) != 0)
            Fail(u.field, v + " gravado na nota fiscal, mas a NF-e deste sistema não leva este valor; corrija a nota fiscal");
    }
    const std::string vFrete = Money(nf.valor_frete, "Nota fiscal - Valor do frete");
    const std::string vSeg = Money(nf.valor_seguro, "Nota fiscal - Valor do seguro");
    const std::string vDesc = Money(nf.valor_desconto, "Nota fiscal - Valor do desconto");
    const std::string vProd = MoneyText(sums.vProd, "Nota fiscal - Valor dos produtos");
    const std::string vNF = MoneyText(sums.vProd - Units(vDesc) + Units(vFrete) + Units(vSeg),
                                      "Nota fiscal - Valor total da nota");
    // The stored total is what the receivables were made from; a cent is the
    // rounding of unrounded parts, more is a bill the file would contradict.
    if (std::llabs(Units(stored) - Units(vNF)) > 1)
        Fail("Nota fiscal - Valor total da nota", "o valor gravado (" + stored + ") difere do total da NF-e (" + vNF +
                                                      " = produtos - desconto + frete + seguro)");
    x.Elem(6, "vBC", MoneyText(sums.vBC, "Nota fiscal - Base de cálculo do ICMS"));
    x.Elem(6, "vICMS", MoneyText(sums.vICMS, "Nota fiscal - Valor do ICMS"));
    x.Elem(6, "vBCST", "0.00");
    x.Elem(6, "vST", "0.00");
    x.Elem(6, "vProd", vProd);
    x.Elem(6, "vFrete", vFrete);
    x.Elem(6, "vSeg", vSeg);
    x.Elem(6, "vDesc", vDesc);
    for (const char* zero : {"vII", "vIPI", "vPIS", "vCOFINS", "vOutro"}) x.Elem(6, zero, "0.00");
    x.Elem(6, "vNF", vNF);
    x.Close(4, "ICMSTot");
    x.Close(2, "total");

    x.Open(2, "transp");
    x.Elem(4, "modFrete", Code(nf.modalidade_frete, "01", "Nota fiscal - Modalidade do frete"));
    if (doc.transportador) {
        const NFeCarrier& tr = *doc.transportador;
        Lines carrier;
        std::string natureza = AnsiUpperCase(Trim(tr.natureza));
        bool informed = !Trim(tr.cpf_cnpj).empty();
        if (!natureza.empty() && natureza[0] == 'J' && informed)
            carrier.Elem(7, "CNPJ", PersonDocument(tr.cpf_cnpj, true, "Transportador - CNPJ"));
        else if (!natureza.empty() && natureza[0] == 'F' && informed)
            carrier.Elem(7, "CPF", PersonDocument(tr.cpf_cnpj, false, "Transportador - CPF"));
        carrier.Optional(7, "xNome", Free(tr.nome, "Transportador - Nome", 1, 60, false));
        carrier.Optional(7, "xEnder", Free(tr.endereco, "Transportador - Endereço", 1, 60, false));
        carrier.Optional(7, "xMun", Free(tr.municipio_nome, "Transportador - Município", 2, 60, false));
        std::string uf = Trim(tr.uf);
        if (IsStateAbbreviation(uf, true)) carrier.Elem(7, "UF", uf);
        std::string body = carrier.Take();
        if (!body.empty()) {
            x.Open(4, "transporta");
            x.Line(0, body.substr(0, body.size() - 2));
            x.Close(4, "transporta");
        }
        // A vehicle is described by its plate and the plate's state together.
        std::string plate;
        for (char ch : UpperCase(tr.placa_veiculo))
            if ((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) plate += ch;
        std::string plateUF = Trim(UpperCase(tr.uf_veiculo));
        if (!plate.empty() && plate.size() <= 8 && IsStateAbbreviation(plateUF, true)) {
            x.Open(4, "veicTransp");
            x.Elem(6, "placa", plate);
            x.Elem(6, "UF", plateUF);
            x.Close(4, "veicTransp");
        }
    }
    x.Open(0, "vol");
    x.Elem(0, "pesoL", Amount(nf.peso_liquido, 3, 12, "Nota fiscal - Peso líquido"));
    x.Elem(0, "pesoB", Amount(nf.peso_bruto, 3, 12, "Nota fiscal - Peso bruto"));
    x.Close(0, "vol");
    x.Close(2, "transp");

    std::string fisco = Free(nf.dados_adicionais_fisco, "Dados adicionais do fisco", 1, 256, false);
    std::string cpl = Free(nf.dados_adicionais_contribuinte, "Dados adicionais do contribuinte", 1, 5000, false);
    if (!fisco.empty() || !cpl.empty()) {
        x.Open(0, "infAdic");
        x.Optional(0, "infAdFisco", fisco);
        x.Optional(0, "infCpl", cpl);
        x.Close(0, "infAdic");
    }

    x.Close(1, "infNFe");
    x.Close(0, "NFe");
    return x.Take();
}

std::string Transmitir_NFE(const NFeConfig& config, const NFeDocument& doc) {
    Verifica_Monitor_NFE(config);
    std::string text = BuildNFeXml(doc);
    return WriteToFolder(config.pasta_nfe_envio, NFeFileName(doc.nota.numero_nfe), text);
}

}  // namespace billing::nfe
