#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "billing/data/Schema.h"
#include "billing/nfe/ChaveNFe.h"
#include "billing/nfe/NFeError.h"
#include "billing/nfe/NFeLoader.h"
#include "billing/nfe/XmlText.h"
#include "platform/db/SQLConnection.h"
#include "platform/rtl/Strings.h"
#include "tests/billing/nfe/SchemaCheck.h"
#include "tests/billing/nfe/fake/FakeWaitClock.h"
#include "tests/support/TestSupport.h"

using namespace billing::nfe;

namespace {

const std::string kTricky = " Ação & <Cia> \"nº\" 'ª'";

// A database made with the program's own schema, holding one issuer, one
// client, a carrier, products and invoice 123 of series 1 with three items.
class LoaderFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(dir.path() / "envio");
        std::filesystem::create_directory(dir.path() / "retorno");
        conn.SetCreateIfMissing(true);
        conn.SetDatabaseName(dir.file("faturamento.db"));
        conn.Open();
        billing::data::CreateSchema(conn.Database());

        Exec("insert into uf (id_uf, uf) values (41, 'PR'), (35, 'SP')");
        Exec("insert into municipio (id_municipio, nome, id_uf) values "
             "(4106902, :pa, 41), (3550308, :pb, 35), (4105805, :pc, 41)",
             {{"pa", "Curitiba" + kTricky}, {"pb", "São Paulo"}, {"pc", "Colombo"}});
        Exec("insert into emitente (Nome, Nome_Fantasia, Cnpj, Inscricao_Estadual, Endereco, Numero_Endereco, "
             "Bairro, Cep, Telefone, Id_Municipio, Id_Uf) values (:pnome, :pfant, '12345678000195', "
             "'10123456-89', :pend, '1º', 'Centro', '80020000', '4133334444', 4106902, '41')",
             {{"pnome", "Indústria" + kTricky}, {"pfant", ""}, {"pend", "Rua XV" + kTricky}});
        Exec("insert into cliente (Id_Cliente, Nome, Endereco, Numero_Endereco, Bairro, Cep, Telefone, "
             "Id_Municipio, CPF_CNPJ, Natureza, IE_RG) values ('0000001', :pnome, 'Av. Paulista', '1000', "
             "'Bela Vista', '01310100', '(11) 3222-1111', 3550308, '11222333000181', 'Jurídica', 'ISENTO')",
             {{"pnome", "Cliente D'Ávila" + kTricky}});
        Exec("insert into produto (Id_Produto, Descricao, Id_Unidade_Medida) values "
             "('00001', :pa, 'UN'), ('00002', 'Porca', 'PC'), ('00003', 'Arruela', 'KG')",
             {{"pa", "Parafuso" + kTricky}});
        Exec("insert into transportador (Id_Transportador, Nome, Endereco, Id_Municipio, Natureza, CPF_CNPJ, "
             "Placa_Veiculo, UF_Veiculo) values (7, :pnome, 'Rod. BR-116', 4105805, 'Jurídica', "
             "'33444555000181', 'ABC1234', 'PR')",
             {{"pnome", "Transportes" + kTricky}});
        Exec("insert into opcao (Ambiente) values ('2 - Homologação')");

        key = MontarChaveNFe("41", EncodeDate(2010, 6, 15), "12345678000195", 1, 123);
        Exec("insert into nota_fiscal (Id_Registro, Id_Nota_Fiscal, Id_Serie_Documento, Id_Cliente, Id_CFOP, "
             "Id_Transportador, Data_Emissao, Data_Saida, Valor_Base_Calculo, Valor_ICMS, Valor_Produto, "
             "Valor_Frete, Valor_Seguro, Valor_Desconto, Valor_Total_Nota, Tipo_Emissao, Finalidade_Emissao, "
             "Numero_NFe, Peso_Bruto, Peso_Liquido, Situacao_NFE, Tipo_Impressao_DANFE, Forma_Pagamento, "
             "Modalidade_Frete, Dados_Adicionais_Fisco, Dados_Adicionais_Contribuinte, Numero_Lote_NFE, "
             "Protocolo_NFe) values ('0010000123', 123, 1, '0000001', '5102', 7, :pemi, :psai, 100, 18, 100, 0, "
             "0, 0, 100, '1 - Normal', '1 - NF-e Normal', :pkey, 2.5, 2, 'Em Digitação', '1 - Retrato', "
             "'0 - Pagamento a Vista', '0 - Por conta do Emitente', '', :pcpl, '9', '141100000012345')",
             {{"pemi", Variant::FromDateTime(EncodeDate(2010, 6, 15))},
              {"psai", Variant::FromDateTime(EncodeDate(2010, 6, 16))},
              {"pkey", key},
              {"pcpl", "Entrega" + kTricky}});
        // Entered in this order: 3, 1, 2.
        AddItem("00003", "090", 10);
        AddItem("00001", "000", 50);
        AddItem("00002", "041", 40);
        Exec("insert into nota_fiscal (Id_Nota_Fiscal, Id_Serie_Documento, Numero_Lote_NFE) values (124, 1, '10')");

        config.pasta_nfe_envio = dir.file("envio");
        config.pasta_nfe_retorno = dir.file("retorno");
        config.ambiente = "2 - Homologação";
        config.programs.monitor = dir.file("monitor");
        config.notify = [this](const std::string& text, const std::string& caption) {
            shown.push_back(caption + ": " + text);
        };
    }

    void Exec(const std::string& sql, const std::vector<std::pair<std::string, Variant>>& params = {}) {
        conn.Execute(sql, params);
    }

    void AddItem(const std::string& product, const std::string& cst, double total) {
        Exec("insert into nota_fiscal_item (Id_Registro, Id_Nota_Fiscal, Id_Serie_Documento, Id_Produto, "
             "Id_Unidade_Medida, Id_Situacao_Tributaria, Quantidade, Valor_Unitario, Valor_Total, Id_CFOP, "
             "Aliquota_icms, Valor_icms) values ('0010000123', 123, 1, :pprod, 'UN', :pcst, 1, :pv, :pv, "
             "'5102', 18, :picms)",
             {{"pprod", product}, {"pcst", cst}, {"pv", total}, {"picms", total * 0.18}});
    }

    testsupport::TempDir dir;
    TSQLConnection conn;
    NFeConfig config;
    std::string key;
    std::vector<std::string> shown;
};

}  // namespace

TEST_F(LoaderFixture, ReadsTheInvoiceWithItsRegisters) {
    LoadResult r = LoadNFeDocument(conn, key);
    ASSERT_TRUE(r.document);
    EXPECT_FALSE(r.carrier_missing);
    const NFeDocument& d = *r.document;
    EXPECT_EQ(d.ambiente, "2 - Homologação");
    EXPECT_EQ(d.nota.id_nota_fiscal, 123);
    EXPECT_EQ(DataXML(d.nota.data_emissao), "2010-06-15");
    EXPECT_EQ(d.emitente.id_uf, "41");
    EXPECT_EQ(d.emitente.uf, "PR");
    EXPECT_EQ(d.emitente.municipio_nome, "Curitiba" + kTricky);
    ASSERT_TRUE(d.destinatario);
    EXPECT_EQ(d.destinatario->uf, "SP");
    EXPECT_EQ(d.destinatario->nome, "Cliente D'Ávila" + kTricky);
    ASSERT_EQ(d.itens.size(), 3u);
    EXPECT_EQ(d.itens[0].id_produto, "00003");
    EXPECT_EQ(d.itens[1].descricao, "Parafuso" + kTricky);
    EXPECT_EQ(d.itens[2].id_situacao_tributaria, "041");
    ASSERT_TRUE(d.transportador);
    EXPECT_EQ(d.transportador->municipio_nome, "Colombo");
    EXPECT_EQ(d.nota.dados_adicionais_contribuinte, "Entrega" + kTricky);

    EXPECT_FALSE(LoadNFeDocument(conn, std::string(44, '9')).document);
}

TEST_F(LoaderFixture, TransmitWritesAValidDocument) {
    NFE_REQUIRE_SCHEMAS();
    std::string path = Transmitir_NFE(conn, config, key);
    ASSERT_EQ(path, dir.file("envio/" + key + "-nfe.xml"));
    nfetest::CheckResult r = nfetest::ValidateFile(path, "nfe_v1.10.xsd", true);
    EXPECT_TRUE(r.ok) << r.output << testsupport::ReadAll(path);
    // The monitor is not installed: said once, and the file is written anyway.
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(LoaderFixture, MissingInvoiceClientCarrierOrProduct) {
    EXPECT_EQ(Transmitir_NFE(conn, config, std::string(44, '9')), "");
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), "Erro Interno Sistema: A NFE \"" + std::string(44, '9') +
                                " não foi encontrada, não pode Enviar");

    Exec("update transportador set Id_Transportador = 8");
    shown.clear();
    EXPECT_NE(Transmitir_NFE(conn, config, key), "");
    EXPECT_EQ(shown.back(), "Atenção: Erro interno do Aplicativo. O transportador da NF não foi encontrado !");
    EXPECT_EQ(testsupport::ReadAll(dir.file("envio/" + key + "-nfe.xml")).find("<transporta>"), std::string::npos);
    std::filesystem::remove(dir.file("envio/" + key + "-nfe.xml"));

    Exec("delete from produto where Id_Produto = '00002'");
    try {
        Transmitir_NFE(conn, config, key);
        ADD_FAILURE() << "an item without its product was accepted";
    } catch (const ENFeError& e) {
        EXPECT_NE(e.Message().find("Item 3"), std::string::npos) << e.Message();
    }

    Exec("delete from cliente");
    EXPECT_THROW(Transmitir_NFE(conn, config, key), ENFeError);
    EXPECT_TRUE(std::filesystem::is_empty(config.pasta_nfe_envio));
}

// The invoice's IPI, ICMS-ST and other expenses are read, so an invoice that
// holds them is refused instead of being sent without them.
TEST_F(LoaderFixture, StoredAmountsTheFileCannotStateStopTheTransmission) {
    for (const char* column : {"Valor_IPI", "Valor_ICMS_ST", "Valor_BC_ICMS_ST", "Valor_Outras_Despesas"}) {
        SCOPED_TRACE(column);
        Exec(std::string("update nota_fiscal set ") + column + " = 7.5 where Id_Nota_Fiscal = 123");
        try {
            Transmitir_NFE(conn, config, key);
            ADD_FAILURE() << "accepted";
        } catch (const ENFeError& e) {
            EXPECT_NE(e.Message().find("7.50 gravado na nota fiscal"), std::string::npos) << e.Message();
        }
        EXPECT_TRUE(std::filesystem::is_empty(config.pasta_nfe_envio));
        Exec(std::string("update nota_fiscal set ") + column + " = 0 where Id_Nota_Fiscal = 123");
    }
    EXPECT_NE(Transmitir_NFE(conn, config, key), "");
}

TEST_F(LoaderFixture, KeyFromTheIssuerRegister) {
    std::string k = Gerar_Chave_NFe(conn, 123, 1, EncodeDate(2009, 3, 5));
    EXPECT_EQ(k.substr(0, 34), "4109031234567800019555001000000123");
    EXPECT_TRUE(ChaveValida(k));

    Exec("update emitente set Cnpj = '12345678000196'");
    EXPECT_THROW(Gerar_Chave_NFe(conn, 123, 1, EncodeDate(2009, 3, 5)), ENFeError);
    Exec("update emitente set Cnpj = '12.345.678/0001-95'");
    EXPECT_THROW(Gerar_Chave_NFe(conn, 123, 1, EncodeDate(2009, 3, 5)), ENFeError);
    Exec("delete from emitente");
    EXPECT_THROW(Gerar_Chave_NFe(conn, 123, 1, EncodeDate(2009, 3, 5)), ENFeError);
}

TEST_F(LoaderFixture, RequestsThatReadTheDatabase) {
    NFE_REQUIRE_SCHEMAS();
    nfetest::FakeWaitClock clock;
    auto wait = Consultar_Status_Servico(conn, config, nullptr, clock.Services());
    EXPECT_TRUE(wait->Waiting());
    bool found = false;
    for (const auto& e : std::filesystem::directory_iterator(config.pasta_nfe_envio)) {
        std::string name = e.path().filename().string();
        if (name.size() > 12 && name.substr(name.size() - 12) == "-ped-sta.xml") {
            found = true;
            EXPECT_NE(testsupport::ReadAll(e.path().string()).find("<cUF>41</cUF>"), std::string::npos);
            EXPECT_TRUE(nfetest::ValidateFile(e.path().string(), "consStatServ_v1.07.xsd").ok);
        }
    }
    EXPECT_TRUE(found);

    EXPECT_TRUE(Cancelar_NFE(conn, config, key, "Cliente desistiu da compra"));
    EXPECT_TRUE(nfetest::ValidateFile(dir.file("envio/" + key + "-ped-can.xml"), "cancNFe_v1.07.xsd", true).ok);
    EXPECT_FALSE(Cancelar_NFE(conn, config, std::string(44, '9'), "Cliente desistiu da compra"));
    EXPECT_NE(shown.back().find("não foi encontrada"), std::string::npos);

    EXPECT_TRUE(Inutilizar_NFE(conn, config, 1, 10, 12, "Numeração pulada por engano"));

    // The highest batch number by value: 10, not "9".
    Verifica_Numero_Lote(conn, config);
    EXPECT_NE(testsupport::ReadAll(dir.file("uninfelote.xml")).find("<UltimoLoteEnviado>10</UltimoLoteEnviado>"),
              std::string::npos);
}

// What the writer and the loader refuse, and what they now say. Each case
// was written or worded otherwise before: a reduced-base line that
// contradicted itself, a stored text cut on reading, a refused re-send that
// left its older file for the monitor, a freight mode "(aceitos: 01)", an
// issuer CNPJ refused without naming the field.

namespace {

std::string Refusal(const std::function<void()>& act) {
    try {
        act();
    } catch (const ENFeError& e) {
        return e.Message();
    }
    return "(aceito)";
}

// The text of the first element named `tag` after `from`.
std::string ElementAfter(const std::string& xml, const std::string& from, const std::string& tag) {
    std::size_t at = xml.find(from);
    if (at == std::string::npos) return "(sem " + from + ")";
    std::size_t open = xml.find("<" + tag + ">", at);
    if (open == std::string::npos) return "(sem " + tag + ")";
    open += tag.size() + 2;
    return xml.substr(open, xml.find("</" + tag + ">", open) - open);
}

}  // namespace

TEST_F(LoaderFixture, AReducedBaseItemStatesTheProductsReductionOrIsRefusedByItsNumber) {
    NFE_REQUIRE_SCHEMAS();
    // Item 2: 100,00 at 18 % on a base reduced by 33,33 % is 12,00 of ICMS.
    Exec("update produto set RBC_Estadual = 33.33 where Id_Produto = '00001'");
    Exec("update nota_fiscal_item set Id_Situacao_Tributaria = '020', Valor_Unitario = 100, Valor_Total = 100, "
         "Valor_icms = 12 where Id_Produto = '00001'");
    Exec("update nota_fiscal set Valor_Total_Nota = 150, Valor_Produto = 150 where Id_Nota_Fiscal = 123");
    std::string path = Transmitir_NFE(conn, config, key);
    ASSERT_FALSE(path.empty());
    nfetest::CheckResult r = nfetest::ValidateFile(path, "nfe_v1.10.xsd", true);
    EXPECT_TRUE(r.ok) << r.output;
    std::string xml = testsupport::ReadAll(path);
    const std::string item = "<det nItem=\"2\">";
    EXPECT_EQ(ElementAfter(xml, item, "CST"), "20");
    EXPECT_EQ(ElementAfter(xml, item, "pRedBC"), "33.33");
    EXPECT_EQ(ElementAfter(xml, item, "vBC"), "66.67");
    EXPECT_EQ(ElementAfter(xml, item, "pICMS"), "18.00");
    EXPECT_EQ(ElementAfter(xml, item, "vICMS"), "12.00");
    // The totals add the reduced base: 10,00 (item 1) + 66,67.
    EXPECT_EQ(ElementAfter(xml, "<ICMSTot>", "vBC"), "76.67");

    // A stored tax that the product's reduction does not give is refused,
    // naming the item, and with it the file of the earlier send goes.
    Exec("update nota_fiscal_item set Valor_icms = 18 where Id_Produto = '00001'");
    std::string message = Refusal([&] { Transmitir_NFE(conn, config, key); });
    EXPECT_EQ(message.rfind("NF-e não gerada. Item 2 - Valor do ICMS: 18.00 gravado no item não corresponde à base "
                            "com a redução de 33.33% do produto (66.67 x 18.00% = 12.00)",
                            0),
              0u)
        << message;
}

TEST_F(LoaderFixture, AStoredTextLongerThanItsColumnIsRefusedNamingTheFieldNotCut) {
    struct Case {
        std::string sql, field;
        int length, size;
    } cases[] = {
        {"update cliente set Endereco = :ptext", "Destinatário - Endereço", 61, 30},
        {"update emitente set Endereco = :ptext", "Emitente - Endereço", 100, 50},
        {"update transportador set Nome = :ptext", "Transportador - Nome", 41, 40},
        {"update produto set Descricao = :ptext where Id_Produto = '00002'", "Item 3 - Descrição do produto", 51,
         50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        // Written around the forms, as another program or a hand edit does.
        std::string text = "Rua " + std::string(c.length - 5, 'x') + "é";
        ASSERT_EQ(utf8::CharCount(text), static_cast<std::size_t>(c.length));
        Exec(c.sql, {{"ptext", text}});
        std::string message = Refusal([&] { LoadNFeDocument(conn, key); });
        EXPECT_EQ(message, "NF-e não gerada. " + c.field + ": o texto gravado tem " + IntToStr(c.length) +
                               " caracteres e o campo aceita " + IntToStr(c.size) + " (\"" + text +
                               "\"); corrija o cadastro.");
        Exec(c.sql, {{"ptext", std::string("Curto")}});
    }
    EXPECT_NE(Transmitir_NFE(conn, config, key), "");
}

TEST_F(LoaderFixture, ARefusedResendTakesTheEarlierUnsentFileBackFromTheSendFolder) {
    const std::string file = dir.file("envio/" + key + "-nfe.xml");
    ASSERT_EQ(Transmitir_NFE(conn, config, key), file);
    // Corrected after the first send, wrongly: the monitor has not taken the
    // first file yet.
    Exec("update cliente set CPF_CNPJ = '11222333000180'");
    std::string message = Refusal([&] { Transmitir_NFE(conn, config, key); });
    EXPECT_NE(message.find("Destinatário - CNPJ"), std::string::npos) << message;
    EXPECT_NE(message.find("foi retirado da pasta de envio"), std::string::npos) << message;
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(std::filesystem::is_empty(config.pasta_nfe_envio));
    // Once the monitor took the file there is nothing to take back.
    message = Refusal([&] { Transmitir_NFE(conn, config, key); });
    EXPECT_EQ(message.find("pasta de envio"), std::string::npos) << message;
}

TEST_F(LoaderFixture, FreightModeAndIssuerCnpjRefusalsSayWhatToCorrect) {
    Exec("update nota_fiscal set Modalidade_Frete = '2 - Outros' where Id_Nota_Fiscal = 123");
    EXPECT_EQ(Refusal([&] { Transmitir_NFE(conn, config, key); }),
              "NF-e não gerada. Nota fiscal - Modalidade do frete: código \"2 - Outros\" inválido (aceitos: 0 ou 1).");
    Exec("update emitente set Cnpj = '12345678000196'");
    std::string message = Refusal([&] { Gerar_Chave_NFe(conn, 124, 1, EncodeDate(2010, 6, 15)); });
    EXPECT_EQ(message.rfind(MsgErroChave, 0), 0u) << message;
    EXPECT_NE(message.find("Emitente - CNPJ: número inválido, os dígitos verificadores não conferem "
                           "(\"12345678000196\")"),
              std::string::npos)
        << message;
}

// A São Paulo rural producer's registration is kept as "P" and twelve
// digits; the layout takes digits, checked by the state's rural rule. An
// 11-digit mobile number does not fit the layout's telephone and is left out
// while the rest of the document is written.
TEST_F(LoaderFixture, ARuralProducerOfSaoPauloAndAMobileNumberAreWrittenAsTheLayoutTakesThem) {
    NFE_REQUIRE_SCHEMAS();
    Exec("update cliente set IE_RG = 'P011004243002', Telefone = '11987654321'");
    std::string path = Transmitir_NFE(conn, config, key);
    ASSERT_FALSE(path.empty());
    nfetest::CheckResult r = nfetest::ValidateFile(path, "nfe_v1.10.xsd", true);
    EXPECT_TRUE(r.ok) << r.output;
    std::string xml = testsupport::ReadAll(path);
    EXPECT_EQ(ElementAfter(xml, "</enderDest>", "IE"), "011004243002");
    std::string dest = xml.substr(xml.find("<enderDest>"), xml.find("</enderDest>") - xml.find("<enderDest>"));
    EXPECT_EQ(dest.find("<fone>"), std::string::npos);
    EXPECT_EQ(ElementAfter(xml, "<enderEmit>", "fone"), "4133334444");

    // The rural rule's check digit (the ninth) is wrong here.
    Exec("update cliente set IE_RG = 'P011004253002'");
    EXPECT_NE(Refusal([&] { Transmitir_NFE(conn, config, key); })
                  .find("Destinatário - Inscrição Estadual: inválida para a UF SP (\"P011004253002\")"),
              std::string::npos);
}
