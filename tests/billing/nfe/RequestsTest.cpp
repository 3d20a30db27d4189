#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "billing/nfe/ChaveNFe.h"
#include "billing/nfe/NFeError.h"
#include "billing/nfe/Requests.h"
#include "platform/rtl/Strings.h"
#include "tests/billing/nfe/SchemaCheck.h"
#include "tests/billing/nfe/fake/FakeWaitClock.h"
#include "tests/support/TestSupport.h"

using namespace billing::nfe;

namespace {

const std::string kKey = "35080599999090910270550010000000015180051273";
const std::string kJust = "Erro de digitação: cliente São João & <Cia> nº 1";

struct Folders {
    testsupport::TempDir root;
    NFeConfig config;
    Folders() {
        std::filesystem::create_directory(root.path() / "envio");
        std::filesystem::create_directory(root.path() / "retorno");
        std::filesystem::create_directory(root.path() / "erro");
        config.pasta_nfe_envio = root.file("envio");
        config.pasta_nfe_retorno = root.file("retorno");
        config.pasta_nfe_erro = root.file("erro");
        config.ambiente = "2 - Homologação";
        config.programs.monitor = root.file("no-such-monitor");
    }
    std::string Sent(const std::string& name) const { return root.file("envio/" + name); }
    std::string Answer(const std::string& name) const { return root.file("retorno/" + name); }
    std::string Kept(const std::string& name) const { return root.file("erro/" + name); }

    // Starts the service-status or invoice-status request; its end lands in
    // finished / text / failure.
    void Status(TDateTime when = EncodeDateTime(2009, 3, 5, 9, 5, 7, 0), const std::string& cUF = "41") {
        Reset();
        wait = Consultar_Status_Servico(config, cUF, Recorder(), when, clock.Services());
    }
    void Situation(const std::string& key) {
        Reset();
        wait = Consultar_Situacao_NFE(config, key, Recorder(), clock.Services());
    }
    // Moves the clock until the request ends, at most `ms`.
    void Run(int ms = 60000) {
        for (int waited = 0; !finished && waited < ms; waited += 100) clock.Advance(100);
    }

    nfetest::FakeWaitClock clock;
    std::unique_ptr<AnswerWait> wait;
    bool finished = false;
    std::string text, failure;

private:
    void Reset() {
        finished = false;
        text.clear();
        failure.clear();
    }
    RequestDone Recorder() {
        return [this](const std::string& t, const std::string& f) {
            finished = true;
            text = t;
            failure = f;
        };
    }
};



void ExpectValid(const std::string& path, const std::string& xsd, bool signature = false) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(std::filesystem::exists(path));
    std::string bytes = testsupport::ReadAll(path);
    EXPECT_TRUE(utf8::IsValid(bytes));
    nfetest::CheckResult wf = nfetest::WellFormed(path);
    EXPECT_TRUE(wf.ok) << wf.output;
    nfetest::CheckResult r = nfetest::ValidateFile(path, xsd, signature);
    EXPECT_TRUE(r.ok) << r.output << "\n" << bytes;
}

}  // namespace

TEST(RequestFiles, EveryRequestValidatesAgainstItsSchema) {
    NFE_REQUIRE_SCHEMAS();
    Folders f;
    ASSERT_TRUE(Consultar_Situacao_Lote(f.config, "411000012345678"));
    ExpectValid(f.Sent("411000012345678-ped-rec.xml"), "consReciNFe_v1.10.xsd");

    f.Status(EncodeDateTime(2009, 3, 5, 9, 5, 7, 0));
    ExpectValid(f.Sent("20090305T090507-ped-sta.xml"), "consStatServ_v1.07.xsd");

    f.Situation(kKey);
    ExpectValid(f.Sent(kKey + "-ped-sit.xml"), "consSitNFe_v1.07.xsd");

    RequestIssuer issuer{"41", "12345678000195"};
    ASSERT_TRUE(Inutilizar_NFE(f.config, issuer, 1, 10, 12, kJust, EncodeDate(2009, 7, 1)));
    std::string id = "4109123456780001955500100000001000000001" "2";
    ExpectValid(f.Sent(id + "-ped-inu.xml"), "inutNFe_v1.07.xsd", true);

    ASSERT_TRUE(Cancelar_NFE(f.config, kKey, " 141080000012345 ", kJust));
    ExpectValid(f.Sent(kKey + "-ped-can.xml"), "cancNFe_v1.07.xsd", true);
}

TEST(RequestFiles, NamesAndContents) {
    Folders f;
    Consultar_Situacao_Lote(f.config, "411000012345678");
    std::string rec = testsupport::ReadAll(f.Sent("411000012345678-ped-rec.xml"));
    EXPECT_NE(rec.find("<nRec>411000012345678</nRec>"), std::string::npos);
    EXPECT_EQ(rec.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<consReciNFe xmlns:xsi=", 0), 0u);

    // The service status names the issuer's own state.
    f.Status(EncodeDateTime(2009, 3, 5, 9, 5, 7, 0), "35");
    std::string sta = testsupport::ReadAll(f.Sent("20090305T090507-ped-sta.xml"));
    EXPECT_NE(sta.find("<tpAmb>2</tpAmb><cUF>35</cUF><xServ>STATUS</xServ></consStatServ>"), std::string::npos);

    std::string inu = BuildInutilizacao("1", {"41", "12345678000195"}, EncodeDate(2009, 7, 1), 1, 10, 12, kJust);
    EXPECT_NE(inu.find("<infInut Id=\"ID41091234567800019555001000000010000000012\">"), std::string::npos);
    EXPECT_NE(inu.find("<ano>09</ano>"), std::string::npos);
    EXPECT_NE(inu.find("<serie>1</serie>\r\n<nNFIni>10</nNFIni>\r\n<nNFFin>12</nNFFin>"), std::string::npos);
    EXPECT_NE(inu.find("<xJust>ERRO DE DIGITACAO: CLIENTE SAO JOAO &amp; &lt;CIA&gt; NO 1</xJust>"),
              std::string::npos);

    std::string can = BuildCancelamento("2", kKey, "141080000012345", kJust);
    EXPECT_NE(can.find("<infCanc Id=\"NFe" + kKey + "\">"), std::string::npos);
    EXPECT_NE(can.find("<nProt>141080000012345</nProt>"), std::string::npos);

    EXPECT_EQ(BuildUltimoLote(17),
              "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<DadosLoteNfe>\r\n"
              "<UltimoLoteEnviado>17</UltimoLoteEnviado>\r\n</DadosLoteNfe>\r\n");
}

TEST(RequestFiles, InvalidRequestsWriteNothing) {
    Folders f;
    EXPECT_THROW(Consultar_Situacao_Lote(f.config, "12/../../x"), ENFeError);
    EXPECT_THROW(f.Situation(kKey.substr(0, 43) + "0"), ENFeError);
    EXPECT_THROW(f.Status(Now(), "99"), ENFeError);
    EXPECT_EQ(f.clock.Running(), 0) << "a request not written is not waited for";
    RequestIssuer issuer{"41", "12345678000195"};
    EXPECT_THROW(Inutilizar_NFE(f.config, issuer, 1, 12, 10, kJust), ENFeError);
    EXPECT_THROW(Inutilizar_NFE(f.config, issuer, 1, 10, 12, "curta demais"), ENFeError);
    // Too long is refused as too short is: never cut.
    EXPECT_THROW(Inutilizar_NFE(f.config, issuer, 1, 10, 12, std::string(256, 'j')), ENFeError);
    EXPECT_THROW(Inutilizar_NFE(f.config, {"41", "12345678000196"}, 1, 10, 12, kJust), ENFeError);
    EXPECT_THROW(Inutilizar_NFE(f.config, {"41", "12.345.678/0001-95"}, 1, 10, 12, kJust), ENFeError);
    EXPECT_THROW(Cancelar_NFE(f.config, kKey, "12345", kJust), ENFeError);
    f.config.ambiente = "";
    EXPECT_THROW(Consultar_Situacao_Lote(f.config, "411000012345678"), ENFeError);
    EXPECT_TRUE(std::filesystem::is_empty(f.config.pasta_nfe_envio));
}

TEST(RequestFiles, CancellationWithoutProtocolWritesNothing) {
    Folders f;
    std::string shown;
    f.config.notify = [&](const std::string& text, const std::string&) { shown = text; };
    EXPECT_FALSE(Cancelar_NFE(f.config, kKey, "   ", kJust));
    EXPECT_EQ(shown, "Erro Interno do Aplicativo, a NF-e \"" + kKey + "\" não possui protocolo !");
    EXPECT_TRUE(std::filesystem::is_empty(f.config.pasta_nfe_envio));
}

TEST(RequestAnswers, ReasonsOfTheAnswerFile) {
    Folders f;
    testsupport::WriteAll(f.Answer(kKey + "-sit.xml"),
                          "<?xml version=\"1.0\"?>\r\n<retConsSitNFe><cStat>100</cStat>"
                          "<xMotivo>Autorizado o uso da NF-e</xMotivo>\r\n"
                          "<xMotivo>Rejei\xC3\xA7\xC3\xA3o &amp; outra</xMotivo></retConsSitNFe>\r\n");
    f.Situation(kKey);
    f.Run();
    EXPECT_EQ(f.text, "Autorizado o uso da NF-e\r\nRejeição & outra\r\n");
    EXPECT_EQ(f.failure, "");
    EXPECT_FALSE(std::filesystem::exists(f.Answer(kKey + "-sit.xml")));
    // The request stays: the monitor removes it.
    EXPECT_TRUE(std::filesystem::exists(f.Sent(kKey + "-ped-sit.xml")));
}

TEST(RequestAnswers, ErrorFileTextJoined) {
    Folders f;
    testsupport::WriteAll(f.Answer("20090305T090507-sta.err"), "Falha na\r\nconex\xC3\xA3o\r\n");
    f.Status();
    f.Run();
    EXPECT_EQ(f.text, "Falha naconexão");
    EXPECT_FALSE(std::filesystem::exists(f.Answer("20090305T090507-sta.err")));
}

// The wait runs on the caller's own loop: nothing happens until its timer
// ticks, the answer is looked for every 2 seconds, and the service status
// gives up after the third look.
TEST(RequestAnswers, AnswerArrivingWhileWaitingIsSeenAtTheNextStep) {
    Folders f;
    f.Status(EncodeDateTime(2010, 1, 2, 3, 4, 5, 0));
    EXPECT_FALSE(f.finished);
    f.clock.Advance(2000);
    EXPECT_FALSE(f.finished);
    testsupport::WriteAll(f.Answer("20100102T030405-sta.xml"), "<xMotivo>Servico em Operacao</xMotivo>");
    f.clock.Advance(1999);
    EXPECT_FALSE(f.finished) << "looked for only every 2 seconds";
    f.clock.Advance(1);
    EXPECT_TRUE(f.finished);
    EXPECT_EQ(f.text, "Servico em Operacao\r\n");
    EXPECT_EQ(f.clock.Running(), 0);
}

TEST(RequestAnswers, NoAnswerAfterThreeOrFourSteps) {
    Folders f;
    f.Status();
    f.clock.Advance(4000);
    EXPECT_FALSE(f.finished);
    f.clock.Advance(2000);
    ASSERT_TRUE(f.finished);
    EXPECT_EQ(f.text, MsgSemConexao);

    f.Situation(kKey);
    f.clock.Advance(6000);
    EXPECT_FALSE(f.finished);
    f.clock.Advance(2000);
    ASSERT_TRUE(f.finished);
    EXPECT_EQ(f.text, "");
    EXPECT_EQ(f.failure, "");
}

TEST(RequestAnswers, DestroyingTheWaitEndsItWithoutAWord) {
    Folders f;
    f.Status();
    f.wait.reset();
    testsupport::WriteAll(f.Answer("20090305T090507-sta.xml"), "<xMotivo>Servico em Operacao</xMotivo>");
    f.clock.Advance(60000);
    EXPECT_FALSE(f.finished);
    EXPECT_TRUE(std::filesystem::exists(f.Answer("20090305T090507-sta.xml")));
}

// An answer that cannot be understood is evidence: it is kept in the error
// folder, whole, and the user is told what is wrong with it instead of being
// told that there was no connection.
TEST(RequestAnswers, UnusableAnswerIsKeptInTheErrorFolderAndReported) {
    Folders f;
    const std::string garbled = "<retConsStatServ><cStat>107</cStat></retConsStatServ>";
    testsupport::WriteAll(f.Answer("20090305T090507-sta.xml"), garbled);
    f.Status();
    f.Run();
    EXPECT_NE(f.failure.find("A resposta do Monitor de NF-e \"20090305T090507-sta.xml\" não pôde ser interpretada"),
              std::string::npos)
        << f.failure;
    EXPECT_NE(f.failure.find("movido para \"" + f.Kept("20090305T090507-sta.xml") + "\""), std::string::npos)
        << f.failure;
    EXPECT_EQ(f.failure.find("conexão"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(f.Answer("20090305T090507-sta.xml")));
    EXPECT_EQ(testsupport::ReadAll(f.Kept("20090305T090507-sta.xml")), garbled);

    // A reason cut off in the middle is not a reason.
    testsupport::WriteAll(f.Answer(kKey + "-sit.xml"), "<xMotivo>Autorizado o u");
    f.Situation(kKey);
    f.Run();
    EXPECT_NE(f.failure.find("não pôde ser interpretada"), std::string::npos) << f.failure;
    EXPECT_EQ(testsupport::ReadAll(f.Kept(kKey + "-sit.xml")), "<xMotivo>Autorizado o u");

    // An error file with nothing in it says nothing.
    testsupport::WriteAll(f.Answer("20090305T090507-sta.err"), "\r\n");
    f.Status();
    f.Run();
    EXPECT_NE(f.failure.find("\"20090305T090507-sta.err\" está vazia"), std::string::npos) << f.failure;
    EXPECT_TRUE(std::filesystem::exists(f.Kept("20090305T090507-sta.err")));
}

TEST(RequestAnswers, UnreadableAnswerIsMovedNotDeleted) {
    Folders f;
    // Something under the answer's name that cannot be read as a file.
    std::filesystem::create_directory(f.Answer(kKey + "-sit.xml"));
    testsupport::WriteAll(f.Answer(kKey + "-sit.xml/inside"), "x");
    f.Situation(kKey);
    f.Run();
    EXPECT_NE(f.failure.find("\"" + kKey + "-sit.xml\" não pôde ser lida"), std::string::npos) << f.failure;
    EXPECT_FALSE(std::filesystem::exists(f.Answer(kKey + "-sit.xml")));
    EXPECT_EQ(testsupport::ReadAll(f.Kept(kKey + "-sit.xml/inside")), "x");
}

TEST(RequestAnswers, WithoutAnErrorFolderTheUnusableAnswerStaysInPlace) {
    Folders f;
    f.config.pasta_nfe_erro = "";
    testsupport::WriteAll(f.Answer(kKey + "-sit.xml"), "nada");
    f.Situation(kKey);
    f.Run();
    EXPECT_NE(f.failure.find("mantido em \"" + f.Answer(kKey + "-sit.xml") + "\""), std::string::npos) << f.failure;
    EXPECT_NE(f.failure.find("A pasta de erro de NF-e não está configurada."), std::string::npos) << f.failure;
    EXPECT_EQ(testsupport::ReadAll(f.Answer(kKey + "-sit.xml")), "nada");
}

// The monitor may still be writing an answer when it is first seen: it gets
// the remaining steps before it is taken as unusable.
TEST(RequestAnswers, AnAnswerStillBeingWrittenGetsTheRemainingSteps) {
    Folders f;
    const std::string answer = f.Answer("20100102T030405-sta.xml");
    testsupport::WriteAll(answer, "<xMotivo>Servi");
    f.Status(EncodeDateTime(2010, 1, 2, 3, 4, 5, 0));
    f.clock.Advance(4000);
    EXPECT_FALSE(f.finished);
    testsupport::WriteAll(answer, "<xMotivo>Servico em Operacao</xMotivo>");
    f.clock.Advance(2000);
    ASSERT_TRUE(f.finished);
    EXPECT_EQ(f.text, "Servico em Operacao\r\n");
    EXPECT_TRUE(std::filesystem::is_empty(f.root.file("erro")));
}

TEST(LastBatchFile, WrittenBesideTheMonitor) {
    Folders f;
    f.config.programs.monitor = f.root.file("monitor");
    Verifica_Numero_Lote(f.config, 42);
    EXPECT_NE(testsupport::ReadAll(f.root.file("uninfelote.xml")).find("<UltimoLoteEnviado>42</UltimoLoteEnviado>"),
              std::string::npos);
    Verifica_Numero_Lote(f.config, 43);
    EXPECT_NE(testsupport::ReadAll(f.root.file("uninfelote.xml")).find(">43<"), std::string::npos);
}
