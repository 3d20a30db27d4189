#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "billing/nfe/NFeError.h"
#include "billing/nfe/NFeWriter.h"
#include "billing/nfe/XmlText.h"
#include "tests/billing/nfe/Samples.h"

using namespace billing::nfe;
using nfetest::SampleDocument;
using nfetest::SampleItem;

namespace {

// The texts of every <tag> element between `from` and `to`.
std::vector<std::string> AllTexts(const std::string& xml, const std::string& tag, std::size_t from = 0,
                                  std::size_t to = std::string::npos) {
    std::vector<std::string> out;
    const std::string open = "<" + tag + ">";
    for (std::size_t p = xml.find(open, from); p != std::string::npos && p < to; p = xml.find(open, p + 1)) {
        std::size_t a = p + open.size();
        out.push_back(xml.substr(a, xml.find("</" + tag + ">", a) - a));
    }
    return out;
}

// An amount text in its smallest units ("20.02" -> 2002), read digit by digit
// so that the comparison is exact.
long long Units(const std::string& text) {
    long long v = 0;
    for (char c : text) {
        EXPECT_TRUE((c >= '0' && c <= '9') || c == '.') << text;
        if (c >= '0' && c <= '9') v = v * 10 + (c - '0');
    }
    return v;
}

std::string TotalsGroup(const std::string& xml) {
    std::size_t a = xml.find("<ICMSTot>");
    return xml.substr(a, xml.find("</ICMSTot>") - a);
}

std::string Total(const std::string& xml, const std::string& tag) {
    std::vector<std::string> v = AllTexts(TotalsGroup(xml), tag);
    return v.empty() ? "<absent>" : v[0];
}

// Sum, in cents, of `tag` over the items' groups (everything before <total>).
long long ItemsSum(const std::string& xml, const std::string& tag) {
    long long sum = 0;
    for (const std::string& t : AllTexts(xml, tag, 0, xml.find("<total>"))) sum += Units(t);
    return sum;
}

void ExpectTotalsMatchItems(const std::string& xml) {
    EXPECT_EQ(Units(Total(xml, "vProd")), ItemsSum(xml, "vProd")) << TotalsGroup(xml);
    EXPECT_EQ(Units(Total(xml, "vBC")), ItemsSum(xml, "vBC")) << TotalsGroup(xml);
    EXPECT_EQ(Units(Total(xml, "vICMS")), ItemsSum(xml, "vICMS")) << TotalsGroup(xml);
    long long vNF = Units(Total(xml, "vProd")) - Units(Total(xml, "vDesc")) + Units(Total(xml, "vFrete")) +
                    Units(Total(xml, "vSeg")) + Units(Total(xml, "vST")) + Units(Total(xml, "vII")) +
                    Units(Total(xml, "vIPI")) + Units(Total(xml, "vOutro"));
    EXPECT_EQ(Units(Total(xml, "vNF")), vNF) << TotalsGroup(xml);
}

std::string RefusalOf(const NFeDocument& doc) {
    try {
        BuildNFeXml(doc);
    } catch (const ENFeError& e) {
        return e.Message();
    }
    return "<accepted>";
}

}  // namespace

// Each item's amounts are rounded to the cent where they are written; the
// invoice's totals must be the sum of those written amounts, or the tax
// authority refuses the file, whatever the stored totals say.
TEST(NFeAmounts, TotalsAreTheSumOfTheWrittenItems) {
    NFeDocument doc = SampleDocument();
    doc.itens.clear();
    for (int n = 1; n <= 2; ++n) {
        NFeItem it = SampleItem("000", n);
        it.quantidade = 1;
        it.valor_unitario = 10.005;
        it.valor_total = 10.005;
        it.valor_icms = 1.805;
        doc.itens.push_back(it);
    }
    // As an invoice holding the unrounded sums stores them.
    doc.nota.valor_produto = doc.nota.valor_base_calculo = doc.nota.valor_total_nota = 20.01;
    doc.nota.valor_icms = 3.61;
    std::string xml = BuildNFeXml(doc);
    EXPECT_EQ(AllTexts(xml, "vProd")[0], "10.01");
    EXPECT_EQ(AllTexts(xml, "vICMS")[0], "1.81");
    EXPECT_EQ(Total(xml, "vProd"), "20.02");
    EXPECT_EQ(Total(xml, "vBC"), "20.02");
    EXPECT_EQ(Total(xml, "vICMS"), "3.62");
    EXPECT_EQ(Total(xml, "vNF"), "20.02");
    ExpectTotalsMatchItems(xml);
}

// Items whose tax situation carries no own ICMS write no base and no tax, so
// the totals leave them out of those two sums (but not out of the products).
TEST(NFeAmounts, TaxTotalsCountOnlyItemsThatCarryTheTax) {
    NFeDocument doc = SampleDocument();
    doc.itens = {SampleItem("000", 1), SampleItem("040", 2), SampleItem("060", 3), SampleItem("020", 4)};
    doc.nota.valor_produto = doc.nota.valor_base_calculo = doc.nota.valor_total_nota = 126;
    doc.nota.valor_icms = 22.68;
    std::string xml = BuildNFeXml(doc);
    EXPECT_EQ(Total(xml, "vProd"), "126.00");
    EXPECT_EQ(Total(xml, "vBC"), "63.00");
    EXPECT_EQ(Total(xml, "vICMS"), "11.34");
    ExpectTotalsMatchItems(xml);
}

// The invoice total is what its parts make: products less discount plus
// freight and insurance.
TEST(NFeAmounts, InvoiceTotalFollowsItsParts) {
    NFeDocument doc = SampleDocument();
    doc.nota.valor_frete = 10.005;
    doc.nota.valor_seguro = 2.5;
    doc.nota.valor_desconto = 4.004;
    doc.nota.valor_total_nota = 40.001;  // stored from the unrounded parts
    std::string xml = BuildNFeXml(doc);
    EXPECT_EQ(Total(xml, "vFrete"), "10.01");
    EXPECT_EQ(Total(xml, "vDesc"), "4.00");
    EXPECT_EQ(Total(xml, "vNF"), "40.01");
    ExpectTotalsMatchItems(xml);

    doc.nota.valor_desconto = 50;
    EXPECT_NE(RefusalOf(doc).find("Valor total da nota"), std::string::npos) << RefusalOf(doc);
}

// Every invoice of the writer's other tests, whatever its stored totals.
TEST(NFeAmounts, TotalsMatchItemsInEveryTaxSituation) {
    NFeDocument doc = SampleDocument();
    doc.itens.clear();
    int n = 0;
    for (const char* st : {"000", "010", "020", "030", "040", "041", "050", "051", "060", "070", "090"}) {
        NFeItem it = SampleItem(st, ++n);
        it.quantidade = 1.5 * n;
        it.valor_unitario = 2.99;
        it.valor_total = it.quantidade * it.valor_unitario;
        it.valor_icms = it.valor_total * 0.18;
        doc.itens.push_back(it);
    }
    doc.nota.valor_total_nota = 0;
    for (const NFeItem& it : doc.itens) doc.nota.valor_total_nota += std::round(it.valor_total * 100) / 100;
    ExpectTotalsMatchItems(BuildNFeXml(doc));
}

// The item's value is its quantity times its unit price as the file states
// them (four decimals each), rounded half away from zero.
TEST(NFeAmounts, ItemValueIsQuantityTimesStatedPrice) {
    NFeDocument doc = SampleDocument();
    NFeItem& it = doc.itens[0];
    it.quantidade = 1.5;
    it.valor_unitario = 2.99;
    it.valor_total = doc.nota.valor_total_nota = 4.485;
    std::string xml = BuildNFeXml(doc);
    EXPECT_EQ(AllTexts(xml, "qCom")[0], "1.5000");
    EXPECT_EQ(AllTexts(xml, "vUnCom")[0], "2.9900");
    EXPECT_EQ(AllTexts(xml, "vProd")[0], "4.49");

    // A price of more decimals than the layout holds: 3 x 3.3333 still
    // rounds to the stored 10.00.
    it.quantidade = 3;
    it.valor_unitario = 10.0 / 3;
    it.valor_total = doc.nota.valor_total_nota = 10;
    xml = BuildNFeXml(doc);
    EXPECT_EQ(AllTexts(xml, "vUnCom")[0], "3.3333");
    EXPECT_EQ(AllTexts(xml, "vProd")[0], "10.00");

    // 300 x 3.3333 states 999.99, far from a stored 1000.05: a file whose item
    // does not add up is refused rather than sent or silently repriced.
    it.quantidade = 300;
    it.valor_total = doc.nota.valor_total_nota = 1000.05;
    EXPECT_NE(RefusalOf(doc).find("Item 1 - Valor total"), std::string::npos) << RefusalOf(doc);
    it.valor_total = doc.nota.valor_total_nota = 999.97;
    EXPECT_NE(RefusalOf(doc).find("Item 1 - Valor total"), std::string::npos) << RefusalOf(doc);

    // A cent either way is truncation instead of rounding: the stored total,
    // which the customer was billed, is sent as it is.
    it.valor_total = doc.nota.valor_total_nota = 1000;
    EXPECT_EQ(AllTexts(BuildNFeXml(doc), "vProd")[0], "1000.00");
    it.quantidade = 1.5;
    it.valor_unitario = 2.99;
    it.valor_total = doc.nota.valor_total_nota = 4.48;
    EXPECT_EQ(AllTexts(BuildNFeXml(doc), "vProd")[0], "4.48");
}

// Amounts too large for fixed decimals must not slip through in another
// notation.
TEST(NFeAmounts, HugeAmountsAreRefused) {
    for (double v : {1e17, 1e18, 1e21}) {
        SCOPED_TRACE(v);
        NFeDocument doc = SampleDocument();
        doc.nota.valor_frete = v;
        EXPECT_NE(RefusalOf(doc).find("Valor do frete"), std::string::npos) << RefusalOf(doc);
        doc = SampleDocument();
        doc.nota.peso_bruto = v;
        EXPECT_NE(RefusalOf(doc).find("Peso bruto"), std::string::npos) << RefusalOf(doc);
    }
}

// Negative zeros and amounts that round to zero never carry a sign.
TEST(NFeAmounts, NoNegativeZero) {
    NFeDocument doc = SampleDocument();
    doc.nota.valor_frete = -0.0;
    doc.nota.valor_seguro = -0.004;
    doc.nota.valor_desconto = -0.0;
    std::string xml = BuildNFeXml(doc);
    EXPECT_EQ(xml.find(">-"), std::string::npos);
    EXPECT_EQ(Total(xml, "vFrete"), "0.00");
    EXPECT_EQ(Total(xml, "vSeg"), "0.00");
    EXPECT_EQ(Total(xml, "vNF"), "31.50");
}

// The file states no IPI, no ICMS-ST and no other expenses; an invoice that
// holds one would be sent disagreeing with its bill, so it is refused by the
// amount's name. Less than half a cent is no amount.
TEST(NFeAmounts, AmountsTheFileDoesNotStateAreRefusedByName) {
    struct Case {
        double NFeInvoice::*member;
        const char* field;
    } cases[] = {
        {&NFeInvoice::valor_outras_despesas, "Nota fiscal - Valor de outras despesas: 12.34 gravado"},
        {&NFeInvoice::valor_ipi, "Nota fiscal - Valor do IPI: 12.34 gravado"},
        {&NFeInvoice::valor_icms_st, "Nota fiscal - Valor do ICMS ST: 12.34 gravado"},
        {&NFeInvoice::valor_bc_icms_st, "Nota fiscal - Base de cálculo do ICMS ST: 12.34 gravado"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        NFeDocument doc = SampleDocument();
        doc.nota.*c.member = 12.34;
        EXPECT_NE(RefusalOf(doc).find(c.field), std::string::npos) << RefusalOf(doc);
        doc.nota.*c.member = 0.004;
        EXPECT_EQ(RefusalOf(doc), "<accepted>");
    }
}

// The stored total is what the receivables were made from: a file whose total
// differs from it by more than a cent is refused, naming both amounts.
TEST(NFeAmounts, StoredTotalFarFromTheFilesTotalIsRefused) {
    NFeDocument doc = SampleDocument();  // the file states 31.50
    for (double stored : {31.52, 31.48, 0.0, 315.0}) {
        SCOPED_TRACE(stored);
        doc.nota.valor_total_nota = stored;
        std::string refusal = RefusalOf(doc);
        EXPECT_NE(refusal.find("Valor total da nota: o valor gravado (" + ValorXML(2, stored) +
                               ") difere do total da NF-e (31.50"),
                  std::string::npos)
            << refusal;
    }
    for (double stored : {31.51, 31.49, 31.495}) {
        SCOPED_TRACE(stored);
        doc.nota.valor_total_nota = stored;
        EXPECT_EQ(Total(BuildNFeXml(doc), "vNF"), "31.50");
    }
}
