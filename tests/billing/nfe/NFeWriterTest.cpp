#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "billing/nfe/NFeError.h"
#include "billing/nfe/NFeWriter.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"
#include "tests/billing/nfe/Samples.h"
#include "tests/billing/nfe/SchemaCheck.h"
#include "tests/support/TestSupport.h"

using namespace billing::nfe;
using nfetest::SampleDocument;
using nfetest::SampleItem;

namespace {

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    return names;
}

NFeConfig ConfigFor(const testsupport::TempDir& dir) {
    NFeConfig c;
    c.pasta_nfe_envio = dir.path().string();
    c.ambiente = "2 - Homologação";
    c.programs.monitor = dir.file("no-such-monitor");
    return c;
}

// The text between <tag> and </tag> of the first such element, or "<absent>".
std::string ElementText(const std::string& xml, const std::string& tag, std::size_t from = 0) {
    std::size_t open = xml.find("<" + tag + ">", from);
    if (open == std::string::npos) return "<absent>";
    open += tag.size() + 2;
    return xml.substr(open, xml.find("</" + tag + ">", open) - open);
}

// The ICMS group of the first item, from "<ICMS>" to "</ICMS>".
std::string IcmsGroup(const std::string& xml) {
    std::size_t a = xml.find("<ICMS>");
    std::size_t b = xml.find("</ICMS>");
    return xml.substr(a, b - a);
}

void ExpectRefused(const NFeDocument& doc, const std::string& fieldWords) {
    testsupport::TempDir dir;
    try {
        Transmitir_NFE(ConfigFor(dir), doc);
        ADD_FAILURE() << "accepted; expected a refusal naming " << fieldWords;
    } catch (const ENFeError& e) {
        EXPECT_NE(e.Message().find(fieldWords), std::string::npos) << e.Message();
    }
    EXPECT_TRUE(FolderNames(dir.path().string()).empty());
}

struct Variant {
    const char* name;
    std::function<void(NFeDocument&)> change;
};

const std::vector<Variant>& Variants() {
    static const std::vector<Variant> v = {
        {"complete", [](NFeDocument&) {}},
        {"without carrier", [](NFeDocument& d) { d.transportador.reset(); }},
        {"carrier without vehicle",
         [](NFeDocument& d) { d.transportador->placa_veiculo = d.transportador->uf_veiculo = ""; }},
        {"vehicle with only its state", [](NFeDocument& d) { d.transportador->placa_veiculo = ""; }},
        {"vehicle with only its plate", [](NFeDocument& d) { d.transportador->uf_veiculo = " "; }},
        {"natural-person carrier without address",
         [](NFeDocument& d) {
             d.transportador->natureza = "Física";
             d.transportador->cpf_cnpj = "123.456.789-09";
             d.transportador->endereco = "";
             d.transportador->municipio_nome = "";
             d.transportador->uf = "";
         }},
        {"carrier with empty register",
         [](NFeDocument& d) { d.transportador = NFeCarrier{}; }},
        {"without additional information",
         [](NFeDocument& d) { d.nota.dados_adicionais_fisco = d.nota.dados_adicionais_contribuinte = "  "; }},
        {"only the taxpayer's information", [](NFeDocument& d) { d.nota.dados_adicionais_fisco = ""; }},
        {"only the tax authority's information",
         [](NFeDocument& d) { d.nota.dados_adicionais_contribuinte = ""; }},
        {"additional information as long as the layout allows",
         [](NFeDocument& d) {
             d.nota.dados_adicionais_contribuinte = std::string(4994, 'x') + " & fim";
             d.nota.dados_adicionais_fisco = std::string(250, 'y') + " & fim";
         }},
        {"rural producer recipient of Parana", [](NFeDocument& d) { d.destinatario->ie_rg = "pr-1234.5678"; }},
        {"without trade name", [](NFeDocument& d) { d.emitente.nome_fantasia = "   "; }},
        {"natural-person recipient without phone or postal code",
         [](NFeDocument& d) {
             d.destinatario->natureza = "Física";
             d.destinatario->cpf_cnpj = "12345678909";
             d.destinatario->telefone = "";
             d.destinatario->cep = "";
             d.destinatario->ie_rg = "12.345.678-9";
         }},
        {"recipient with empty nature", [](NFeDocument& d) {
             d.destinatario->natureza = "";
             d.destinatario->cpf_cnpj = "12345678909";
         }},
        {"without exit date, exempt issuer",
         [](NFeDocument& d) {
             d.nota.data_saida = 0;
             d.emitente.inscricao_estadual = "isento";
         }},
        {"freight by the recipient, paid in instalments, landscape, production",
         [](NFeDocument& d) {
             d.nota.modalidade_frete = "1 - Por conta do Destinatário";
             d.nota.forma_pagamento = "1 - Pagamento a Prazo";
             d.nota.tipo_impressao_danfe = "2 - Paisagem";
             d.ambiente = "1 - Produção";
         }},
        {"every tax situation in one invoice",
         [](NFeDocument& d) {
             d.itens.clear();
             int n = 0;
             for (const char* origin : {"0", "1", "2"})
                 for (const char* cst : {"00", "10", "20", "30", "40", "41", "50", "51", "60", "70", "90"})
                     d.itens.push_back(SampleItem(std::string(origin) + cst, ++n));
             d.nota.valor_total_nota = 31.5 * n;
         }},
    };
    return v;
}

const char* const kAllSituations[] = {"000", "010", "020", "030", "040", "041",
                                      "050", "051", "060", "070", "090"};

}  // namespace

// Every variant, for every tax situation, is a valid layout 1.10 document.
TEST(NFeWriter, EveryInvoiceValidatesAgainstTheLayout) {
    NFE_REQUIRE_SCHEMAS();
    for (const char* cst : kAllSituations) {
        for (const Variant& v : Variants()) {
            SCOPED_TRACE(std::string(cst) + ", " + v.name);
            testsupport::TempDir dir;
            NFeDocument doc = SampleDocument(cst);
            v.change(doc);
            std::string path = Transmitir_NFE(ConfigFor(dir), doc);
            EXPECT_EQ(path, dir.file(doc.nota.numero_nfe + "-nfe.xml"));
            std::string bytes = testsupport::ReadAll(path);
            EXPECT_TRUE(utf8::IsValid(bytes));
            nfetest::CheckResult wf = nfetest::WellFormed(path);
            EXPECT_TRUE(wf.ok) << wf.output;
            nfetest::CheckResult r = nfetest::ValidateFile(path, "nfe_v1.10.xsd", true);
            EXPECT_TRUE(r.ok) << r.output << "\n" << bytes;
            EXPECT_EQ(FolderNames(dir.path().string()).size(), 1u);
        }
    }
}

// The oracle itself: a document the layout refuses must fail, so that a
// passing validation above means something.
TEST(NFeWriter, SchemaCheckRefusesAnInvalidDocument) {
    NFE_REQUIRE_SCHEMAS();
    testsupport::TempDir dir;
    std::string xml = BuildNFeXml(SampleDocument());
    std::size_t a = xml.find("<cNF>");
    std::string broken = xml.substr(0, a) + xml.substr(xml.find("</cNF>") + 6);
    testsupport::WriteAll(dir.file("broken.xml"), broken);
    EXPECT_FALSE(nfetest::ValidateFile(dir.file("broken.xml"), "nfe_v1.10.xsd", true).ok);
    testsupport::WriteAll(dir.file("whole.xml"), xml);
    EXPECT_FALSE(nfetest::ValidateFile(dir.file("whole.xml"), "nfe_v1.10.xsd", false).ok);  // unsigned
    EXPECT_TRUE(nfetest::ValidateFile(dir.file("whole.xml"), "nfe_v1.10.xsd", true).ok);
}

TEST(NFeWriter, IcmsGroupFollowsTheTaxSituation) {
    struct Case {
        const char* st;
        const char* group;
        bool ownTax;
        bool reduction;
        bool substitution;
    } cases[] = {
        {"000", "ICMS00", true, false, false}, {"010", "ICMS10", true, false, true},
        {"020", "ICMS20", true, true, false},  {"030", "ICMS30", false, false, true},
        {"040", "ICMS40", false, false, false}, {"141", "ICMS40", false, false, false},
        {"250", "ICMS40", false, false, false}, {"051", "ICMS51", true, true, false},
        {"060", "ICMS60", false, false, false}, {"070", "ICMS70", true, true, true},
        {"090", "ICMS90", true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.st);
        std::string icms = IcmsGroup(BuildNFeXml(SampleDocument(c.st)));
        EXPECT_NE(icms.find(std::string("<") + c.group + ">"), std::string::npos) << icms;
        EXPECT_EQ(ElementText(icms, "orig"), std::string(1, c.st[0]));
        EXPECT_EQ(ElementText(icms, "CST"), std::string(c.st + 1));
        EXPECT_EQ(ElementText(icms, "vICMS") != "<absent>", c.ownTax);
        EXPECT_EQ(ElementText(icms, "pRedBC") != "<absent>", c.reduction);
        EXPECT_EQ(ElementText(icms, "modBCST") != "<absent>", c.substitution);
        if (c.ownTax) {
            EXPECT_EQ(ElementText(icms, "vBC"), "31.50");
            EXPECT_EQ(ElementText(icms, "pICMS"), "18.00");
            EXPECT_EQ(ElementText(icms, "vICMS"), "5.67");
        }
    }
}

TEST(NFeWriter, ValuesAsTheLayoutWantsThem) {
    NFeDocument doc = SampleDocument();
    std::string xml = BuildNFeXml(doc);
    const std::string& key = doc.nota.numero_nfe;

    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\r\n", 0), 0u);
    EXPECT_NE(xml.find("Id=\"NFe" + key + "\" versao=\"1.10\""), std::string::npos);
    EXPECT_EQ(ElementText(xml, "cNF"), key.substr(34, 9));
    EXPECT_EQ(ElementText(xml, "cDV"), key.substr(43));
    EXPECT_EQ(ElementText(xml, "dEmi"), "2010-06-15");
    EXPECT_EQ(ElementText(xml, "dSaiEnt"), "2010-06-16");
    EXPECT_EQ(ElementText(xml, "tpAmb"), "2");
    EXPECT_EQ(ElementText(xml, "indPag"), "0");
    EXPECT_EQ(ElementText(xml, "tpImp"), "1");
    // Free text escaped once, in capitals, ordinals as plain letters.
    EXPECT_EQ(ElementText(xml, "xNome"),
              "INDUSTRIA EXEMPLO LTDA ACAO &amp; &lt;CIA&gt; &quot;NO&quot; &#39;A&#39; CA");
    EXPECT_EQ(ElementText(xml, "nro"), "123 &amp; &#39;A&#39;");
    // Postal codes and phones carry digits only; a trunk zero goes.
    EXPECT_EQ(ElementText(xml, "CEP"), "80020000");
    EXPECT_EQ(ElementText(xml, "fone"), "4133334444");
    std::size_t dest = xml.find("<dest>");
    EXPECT_EQ(ElementText(xml, "fone", dest), "1132221111");
    EXPECT_EQ(ElementText(xml, "CNPJ", dest), "11222333000181");
    EXPECT_EQ(ElementText(xml, "IE", dest), "ISENTO");
    EXPECT_EQ(ElementText(xml, "IE"), "1012345689");
    EXPECT_EQ(ElementText(xml, "qCom"), "3.0000");
    EXPECT_EQ(ElementText(xml, "vUnCom"), "10.5000");
    EXPECT_EQ(ElementText(xml, "pesoB"), "1.500");
    EXPECT_EQ(ElementText(xml, "placa"), "ABC1234");
    // A line break in a note is one blank, and nothing of the text is lost.
    EXPECT_EQ(ElementText(xml, "infCpl"),
              "PEDIDO NO 77 ENTREGAR A TARDE ACAO &amp; &lt;CIA&gt; &quot;NO&quot; &#39;A&#39; CA");
    // CR LF line ends, no bare LF.
    for (std::size_t p = xml.find('\n'); p != std::string::npos; p = xml.find('\n', p + 1))
        ASSERT_EQ(xml[p - 1], '\r');
}

TEST(NFeWriter, OptionalGroupsLeftOutWhenEmpty) {
    NFeDocument doc = SampleDocument();
    doc.emitente.nome_fantasia = "";
    doc.nota.dados_adicionais_fisco = doc.nota.dados_adicionais_contribuinte = "";
    doc.transportador->placa_veiculo = "";
    doc.destinatario->telefone = "0800 123 4567 89";
    doc.nota.data_saida = 0;
    std::string xml = BuildNFeXml(doc);
    EXPECT_EQ(xml.find("<xFant"), std::string::npos);
    EXPECT_EQ(xml.find("<infAdic>"), std::string::npos);
    EXPECT_EQ(xml.find("<veicTransp>"), std::string::npos);
    EXPECT_EQ(xml.find("<dSaiEnt>"), std::string::npos);
    EXPECT_EQ(ElementText(xml, "fone", xml.find("<dest>")), "<absent>");

    doc.transportador.reset();
    xml = BuildNFeXml(doc);
    EXPECT_EQ(xml.find("<transporta>"), std::string::npos);
    EXPECT_NE(xml.find("<modFrete>0</modFrete>"), std::string::npos);
}

TEST(NFeWriter, RecipientDocumentFollowsNature) {
    NFeDocument doc = SampleDocument();
    std::size_t dest;
    std::string xml = BuildNFeXml(doc);
    dest = xml.find("<dest>");
    EXPECT_NE(ElementText(xml, "CNPJ", dest), "<absent>");

    for (const char* natureza : {"Física", ""}) {
        doc.destinatario->natureza = natureza;
        doc.destinatario->cpf_cnpj = "123.456.789-09";
        xml = BuildNFeXml(doc);
        dest = xml.find("<dest>");
        std::string group = xml.substr(dest, xml.find("</dest>") - dest);
        EXPECT_EQ(group.find("<CNPJ>"), std::string::npos);
        EXPECT_EQ(ElementText(xml, "CPF", dest), "12345678909");
    }
}

// A São Paulo rural producer, usually a natural person, is registered as "P"
// and twelve digits; the file states the digits, and the state's rural rule
// (weights 1,3,4,5,6,7,8,10 on the first eight digits, the remainder's unit
// in the ninth: 0+3+4+0+0+28+16+40 = 91, 91 mod 11 = 3) judges them.
TEST(NFeWriter, ARuralProducersRegistrationIsWrittenAsItsDigitsAndJudgedByTheRuralRule) {
    const struct {
        const char* natureza;
        const char* ie;
        const char* uf;
        const char* written;  // or, when refused, the refusal's words
        bool refused = false;
    } cases[] = {
        {"Física", "P-01100424.3/002", "SP", "011004243002"},
        {"Física", "P011004243002", "SP", "011004243002"},
        {"Física", "p011004243002", "SP", "011004243002"},
        {"Jurídica", "P011004243002", "SP", "011004243002"},
        {"Física", "P-01100424.4/002", "SP", "inválida para a UF SP", true},  // wrong check digit
        {"Física", "P011004243002", "PR", "deve conter apenas dígitos", true},  // only São Paulo writes a "P"
        {"Física", "12.345.678-9", "SP", "123456789"},  // an identity card stays as it was
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.natureza) + " " + c.ie + " " + c.uf);
        NFeDocument doc = SampleDocument();
        doc.destinatario->natureza = c.natureza;
        doc.destinatario->cpf_cnpj = std::string(c.natureza) == "Física" ? "123.456.789-09" : "11222333000181";
        doc.destinatario->ie_rg = c.ie;
        doc.destinatario->uf = c.uf;
        if (std::string(c.uf) == "PR") {
            doc.destinatario->id_municipio = 4106902;
            doc.destinatario->municipio_nome = "Curitiba";
        }
        if (c.refused) {
            ExpectRefused(doc, std::string("Destinatário - Inscrição Estadual: ") + c.written);
            continue;
        }
        std::string xml = BuildNFeXml(doc);
        EXPECT_EQ(ElementText(xml, "IE", xml.find("<dest>")), c.written);
    }
}

TEST(NFeWriter, InvalidValuesStopWithTheFieldNamed) {
    NFeDocument doc = SampleDocument();
    doc.itens.clear();
    ExpectRefused(doc, "não tem itens");

    doc = SampleDocument();
    doc.nota.valor_total_nota = -0.5;
    ExpectRefused(doc, "Valor total da nota: valor negativo");

    doc = SampleDocument();
    doc.itens[0].quantidade = -1;
    ExpectRefused(doc, "Item 1 - Quantidade");

    for (const char* ie : {"12AB34", "", "1", "123456789012345"}) {
        doc = SampleDocument();
        doc.emitente.inscricao_estadual = ie;
        ExpectRefused(doc, "Emitente - Inscrição Estadual");
    }

    doc = SampleDocument();
    doc.destinatario.reset();
    ExpectRefused(doc, "Destinatário");

    doc = SampleDocument();
    doc.destinatario->cpf_cnpj = "123";
    ExpectRefused(doc, "Destinatário - CNPJ");

    doc = SampleDocument();
    doc.destinatario->nome = " ";
    ExpectRefused(doc, "Destinatário - Nome");

    doc = SampleDocument();
    doc.destinatario->cep = "8000-000";
    ExpectRefused(doc, "Destinatário - CEP");

    doc = SampleDocument("099");
    ExpectRefused(doc, "Item 1 - Situação tributária");

    doc = SampleDocument("300");
    ExpectRefused(doc, "Item 1 - Situação tributária");

    doc = SampleDocument();
    doc.nota.modalidade_frete = "9 - Sem frete";
    ExpectRefused(doc, "Modalidade do frete");

    doc = SampleDocument();
    doc.nota.numero_nfe[43] = doc.nota.numero_nfe[43] == '0' ? '1' : '0';
    ExpectRefused(doc, "Chave de acesso");

    doc = SampleDocument();
    doc.nota.id_nota_fiscal = 124;  // the key names 123
    ExpectRefused(doc, "Chave de acesso");

    doc = SampleDocument();
    doc.itens[0].aliquota_icms = 1000;
    ExpectRefused(doc, "Alíquota do ICMS");
}

TEST(NFeWriter, RunningTwiceReplacesTheFile) {
    testsupport::TempDir dir;
    NFeDocument doc = SampleDocument();
    std::string path = Transmitir_NFE(ConfigFor(dir), doc);
    doc.nota.valor_total_nota = 99.99;
    doc.nota.valor_frete = 68.49;  // the total follows its parts: 31.50 + 68.49
    EXPECT_EQ(Transmitir_NFE(ConfigFor(dir), doc), path);
    EXPECT_NE(testsupport::ReadAll(path).find("<vNF>99.99</vNF>"), std::string::npos);
    EXPECT_EQ(FolderNames(dir.path().string()).size(), 1u);
}

// While a file is being written the monitor sees only a name it ignores.
TEST(NFeWriter, TemporaryNameIsNoRequest) {
    testsupport::TempDir dir;
    for (const char* suffix : {"-nfe.xml", "-ped-rec.xml", "-ped-sta.xml", "-ped-sit.xml", "-ped-inu.xml",
                               "-ped-can.xml"}) {
        fileio::AtomicFile file(dir.file(std::string("41100612345678000195550010000001230029714081") + suffix));
        std::string temp = std::filesystem::path(file.TempPath()).filename().string();
        EXPECT_EQ(std::filesystem::path(file.TempPath()).parent_path(), dir.path());
        // No ".xml" ending at all, so no request suffix either.
        EXPECT_FALSE(temp.size() >= 4 && temp.compare(temp.size() - 4, 4, ".xml") == 0) << temp;
    }
}

TEST(NFeWriter, FailedWriteLeavesNoFile) {
    testsupport::TempDir dir;
    NFeConfig config = ConfigFor(dir);
    config.pasta_nfe_envio = dir.file("missing");
    EXPECT_THROW(Transmitir_NFE(config, SampleDocument()), ENFeError);
    EXPECT_TRUE(FolderNames(dir.path().string()).empty());

    config.pasta_nfe_envio = "";
    EXPECT_THROW(Transmitir_NFE(config, SampleDocument()), ENFeError);

    // The file system refuses the file half-way (as a full disk does): the
    // folder keeps only what it had, without a partial or temporary file.
    config = ConfigFor(dir);
    NFeDocument doc = SampleDocument();
    testsupport::WriteAll(dir.file(doc.nota.numero_nfe + "-nfe.xml"), "old");
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    auto previous = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool refused = false;
    try {
        Transmitir_NFE(config, doc);
    } catch (const ENFeError& e) {
        refused = true;
        EXPECT_NE(e.Message().find("Não foi possível gravar"), std::string::npos) << e.Message();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, previous);
    EXPECT_TRUE(refused);
    EXPECT_EQ(FolderNames(dir.path().string()), std::vector<std::string>{doc.nota.numero_nfe + "-nfe.xml"});
    EXPECT_EQ(testsupport::ReadAll(dir.file(doc.nota.numero_nfe + "-nfe.xml")), "old");
}

// A CPF or CNPJ whose check digits are wrong is a mistyped number that would
// name somebody else in a legal document: nothing is written, and the
// message names the party and the field.
TEST(NFeWriter, DocumentNumbersWithWrongCheckDigitsAreRefused) {
    struct Case {
        const char* field;
        std::function<void(NFeDocument&)> change;
    } cases[] = {
        {"Emitente - CNPJ: número inválido", [](NFeDocument& d) { d.emitente.cnpj = "12345678000196"; }},
        {"Destinatário - CNPJ: número inválido",
         [](NFeDocument& d) { d.destinatario->cpf_cnpj = "11.222.333/0001-82"; }},
        {"Destinatário - CNPJ: deve conter apenas dígitos",
         [](NFeDocument& d) { d.destinatario->cpf_cnpj = "11.222.333/OOO1-81"; }},
        {"Destinatário - CPF: número inválido",
         [](NFeDocument& d) {
             d.destinatario->natureza = "Física";
             d.destinatario->cpf_cnpj = "123.456.789-00";
         }},
        {"Destinatário - CPF: número inválido",  // right digits for the rule, but a repeated run
         [](NFeDocument& d) {
             d.destinatario->natureza = "Física";
             d.destinatario->cpf_cnpj = "111.111.111-11";
         }},
        {"Transportador - CNPJ: número inválido",
         [](NFeDocument& d) { d.transportador->cpf_cnpj = "33444555000172"; }},
        {"Transportador - CNPJ: deve conter apenas dígitos",
         [](NFeDocument& d) { d.transportador->cpf_cnpj = "ISENTO"; }},
        {"Transportador - CPF: número inválido",
         [](NFeDocument& d) {
             d.transportador->natureza = "Física";
             d.transportador->cpf_cnpj = "123.456.789-10";
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        NFeDocument doc = SampleDocument();
        c.change(doc);
        ExpectRefused(doc, c.field);
    }
    // The valid numbers of the sample, punctuated or bare, are written bare.
    std::string xml = BuildNFeXml(SampleDocument());
    EXPECT_EQ(ElementText(xml, "CNPJ", xml.find("<dest>")), "11222333000181");
    EXPECT_EQ(ElementText(xml, "CNPJ", xml.find("<transporta>")), "33444555000181");
}

// Letters in a state registration are a typing error, not noise to drop:
// "90AB3457-44" must not become 90345744.
TEST(NFeWriter, StateRegistrationWithLettersIsRefusedNotStripped) {
    NFeDocument doc = SampleDocument();
    doc.emitente.inscricao_estadual = "90AB3457-44";
    ExpectRefused(doc, "Emitente - Inscrição Estadual: deve conter apenas dígitos ou ISENTO (\"90AB3457-44\")");
    doc = SampleDocument();
    doc.destinatario->ie_rg = "90AB3457-44";
    ExpectRefused(doc, "Destinatário - Inscrição Estadual: deve conter apenas dígitos ou ISENTO (\"90AB3457-44\")");

    doc = SampleDocument();
    doc.destinatario->ie_rg = " 110.222.336.000 ";
    std::string xml = BuildNFeXml(doc);
    EXPECT_EQ(ElementText(xml, "IE", xml.find("<dest>")), "110222336000");
    doc.destinatario->ie_rg = "";
    xml = BuildNFeXml(doc);
    EXPECT_NE(xml.find("<IE></IE>", xml.find("<dest>")), std::string::npos);  // always written, also empty

    // Each state's own rule judges the digits: PR 10123456-89 (weights 3,2,7,6,5,4,3,2:
    // 80 mod 11 = 3, digit 8; then 4,3,2,7,6,5,4,3,2: 112 mod 11 = 2, digit 9).
    EXPECT_EQ(InscricaoEstadualNFe("10.123.456-89", "PR", "Emitente", true), "1012345689");
    doc = SampleDocument();
    doc.emitente.inscricao_estadual = "10.123.456-78";
    ExpectRefused(doc, "Emitente - Inscrição Estadual: inválida para a UF PR (\"10.123.456-78\")");
    doc = SampleDocument();
    doc.destinatario->ie_rg = "903.457.44-1";  // nine digits: a SP registration has twelve
    ExpectRefused(doc, "Destinatário - Inscrição Estadual: inválida para a UF SP");

    // The one check every registration passes.
    EXPECT_EQ(InscricaoEstadualNFe("isento", "SP", "Destinatário", false), "ISENTO");
    EXPECT_EQ(InscricaoEstadualNFe("PR 1234-5678", "PR", "Destinatário", false), "PR12345678");
    EXPECT_THROW(InscricaoEstadualNFe("PR 1234-5678", "PR", "Emitente", true), ENFeError);
    EXPECT_THROW(InscricaoEstadualNFe("", "PR", "Emitente", true), ENFeError);
    EXPECT_THROW(InscricaoEstadualNFe("1234567890123456", "PR", "Destinatário", false), ENFeError);
}

// The additional texts are legal statements: one longer than the layout holds
// is refused whole, never sent with its end cut off.
TEST(NFeWriter, AdditionalTextsLongerThanTheLayoutAreRefusedNotCut) {
    NFeDocument doc = SampleDocument();
    doc.nota.dados_adicionais_fisco = std::string(257, 'f');
    ExpectRefused(doc, "Dados adicionais do fisco: tem 257 caracteres; a NF-e aceita no máximo 256");
    doc = SampleDocument();
    doc.nota.dados_adicionais_contribuinte = std::string(5001, 'c');
    ExpectRefused(doc, "Dados adicionais do contribuinte: tem 5001 caracteres; a NF-e aceita no máximo 5000");
    // Counted as written: each "Œ" is written "OE".
    doc = SampleDocument();
    doc.nota.dados_adicionais_contribuinte.clear();
    for (int i = 0; i < 2500; ++i) doc.nota.dados_adicionais_contribuinte += "Œ";
    EXPECT_EQ(ElementText(BuildNFeXml(doc), "infCpl").size(), 5000u);
    doc.nota.dados_adicionais_contribuinte += "Œ";
    ExpectRefused(doc, "Dados adicionais do contribuinte: tem 5002 caracteres");

    doc = SampleDocument();
    doc.nota.dados_adicionais_fisco = std::string(254, 'f') + "\r\n";
    doc.nota.dados_adicionais_fisco += "g";
    EXPECT_EQ(ElementText(BuildNFeXml(doc), "infAdFisco"), std::string(254, 'F') + " G");  // the line break is one blank
}

// A text of which nothing the layout accepts is left was typed all the same:
// the user is told that, not that the field is empty.
TEST(NFeWriter, TextOfWhichNothingIsLeftIsReportedAsSuch) {
    NFeDocument doc = SampleDocument();
    doc.destinatario->nome = "\xF0\x9F\x98\x80\xF0\x9F\x98\x80";
    ExpectRefused(doc, "Destinatário - Nome: o texto informado (\"\xF0\x9F\x98\x80\xF0\x9F\x98\x80\") não contém "
                       "nenhum caractere aceito pela NF-e");
    doc = SampleDocument();
    doc.emitente.nome_fantasia = "\xE2\x9C\x94";  // optional, but typed
    ExpectRefused(doc, "Emitente - Nome fantasia: o texto informado");
    doc = SampleDocument();
    doc.destinatario->nome = " \r\n ";
    ExpectRefused(doc, "Destinatário - Nome: não informado");
}
