// The answer poller on the NF-e road: the stand-in monitor answers what the
// send folder holds, the poller applies the answers to the invoices.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <filesystem>
#include <thread>

#include "billing/data/Schema.h"
#include "billing/nfe/AnswerFiles.h"
#include "billing/nfe/AnswerWait.h"
#include "billing/nfe/AnswerXml.h"
#include "billing/nfe/ChaveNFe.h"
#include "billing/nfe/NFeServices.h"
#include "billing/nfe/SendFolder.h"
#include "billing/nfe/Danfe.h"
#include "billing/nfe/XmlText.h"
#include "platform/rtl/Strings.h"
#include "tests/billing/nfe/PollerFixture.h"
#include "tests/billing/nfe/fake/FakeWaitClock.h"

using namespace billing::nfe;
namespace fs = std::filesystem;

namespace {

class Poller : public nfetest::PollerFixture {};

bool IsDigits(const std::string& s, std::size_t n) {
    return s.size() == n && OnlyDigits(s) == s;
}

// The lines a file holds (none when it is missing).
std::vector<std::string> LinesOf(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = testsupport::ReadAll(path), line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    return lines;
}

// Waits for a file an outside program writes (it runs detached); bounded,
// and no assertion depends on how long it took.
bool AppearsSoon(const std::string& path) {
    for (int i = 0; i < 1000 && !fs::exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fs::exists(path);
}

}  // namespace

TEST(AnswerNames, TheLongestEndingWinsInAnyCase) {
    std::string id;
    EXPECT_EQ(KindOfAnswer("411000000000001-pro-rec.xml", &id), AnswerKind::ProRec);
    EXPECT_EQ(id, "411000000000001");
    EXPECT_EQ(KindOfAnswer("000000000000007-REC.XML", &id), AnswerKind::Rec);
    EXPECT_EQ(id, "000000000000007");
    EXPECT_EQ(KindOfAnswer("X-PRO-REC.ERR"), AnswerKind::ProRecErr);
    EXPECT_EQ(KindOfAnswer("K-Num-Lot.Xml"), AnswerKind::NumLot);
    EXPECT_EQ(KindOfAnswer("K-nfe.err"), AnswerKind::NFeErr);
    EXPECT_EQ(KindOfAnswer("K-nfe.err.handled"), AnswerKind::None);
    EXPECT_EQ(KindOfAnswer("K-can.xml"), AnswerKind::Can);
    EXPECT_EQ(KindOfAnswer("K-INU.ERR"), AnswerKind::InuErr);
    EXPECT_EQ(KindOfAnswer("-rec.xml"), AnswerKind::None) << "an ending alone names nothing";
}

TEST(AnswerStates, StatusGivesTheState) {
    EXPECT_EQ(StateOfStatus("100"), "Autorizada");
    EXPECT_EQ(StateOfStatus("204"), "Autorizada");
    for (const char* s : {"110", "205", "301", "302"}) EXPECT_EQ(StateOfStatus(s), "Denegada") << s;
    for (const char* s : {"539", "215", "101", ""}) EXPECT_EQ(StateOfStatus(s), "Erro") << s;
}

// The road of one invoice, from "Em Digitação" to "Autorizada" with its
// DANFE printed by the printer program the settings name.
TEST_F(Poller, TheRoadOfOneInvoiceEndsAuthorisedWithItsDanfePrinted) {
    std::string key = nfetest::InsertInvoice(conn, 1, 123, EncodeDate(2010, 6, 15));
    conn.Execute("update opcao set ia_danfe = 'Sim'");
    // A stand-in printer that records its arguments, one per line.
    std::string record = dir.file("danfe-args");
    std::string printer = dir.file("unidanfe");
    testsupport::WriteAll(printer, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> " + record +
                                       ".tmp\nmv " + record + ".tmp " + record + "\n");
    fs::permissions(printer, fs::perms::owner_all);
    config.programs.danfe = printer;
    billing::nfe::AnswerPoller::Services s;
    s.db = &conn;
    s.config = [this] { return config; };
    s.check_monitor = [](const NFeConfig&) { return true; };
    AnswerPoller real(s);  // starts the printer for real

    Transmit(key);
    EXPECT_EQ(State(key), "Em Digitação") << "writing the file changes nothing in the database";
    ASSERT_EQ(monitor->Step(), 1);
    TickReport first = real.Tick();
    EXPECT_EQ(Messages(first), "");
    EXPECT_EQ(first.handled, 2);
    EXPECT_EQ(State(key), "Aguardando");
    std::string lote = Column(key, "numero_lote_nfe");
    EXPECT_TRUE(IsDigits(lote, 15)) << lote;
    EXPECT_EQ(lote, monitor->BatchOf(key));
    std::string recibo = Column(key, "recibo_nfe");
    EXPECT_EQ(recibo, monitor->ReceiptOf(key));
    EXPECT_TRUE(Sent(recibo + "-ped-rec.xml"));

    ASSERT_EQ(monitor->Step(), 1);
    TickReport second = real.Tick();
    EXPECT_EQ(Messages(second), "");
    EXPECT_EQ(State(key), "Autorizada");
    EXPECT_EQ(Column(key, "protocolo_nfe"), monitor->ProtocolOf(key));
    EXPECT_EQ(Column(key, "erro_nfe"), "100 - AUTORIZADO O USO DA NF-E");
    // Every handled answer ends in the error folder; the return folder is empty.
    EXPECT_TRUE(InError(key + "-num-lot.xml"));
    EXPECT_TRUE(InError(lote + "-rec.xml"));
    EXPECT_TRUE(InError(recibo + "-pro-rec.xml"));
    EXPECT_TRUE(fs::is_empty(folders.retorno));

    ASSERT_TRUE(AppearsSoon(record));
    std::vector<std::string> golden = {"arquivo=" + folders.arquivamento + "/201006/" + key + "-nfe.xml",
                                       "visualizar=0", "Copias=1", "Impressora=padrao"};
    EXPECT_EQ(LinesOf(record), golden);
    EXPECT_EQ(real.Tick().handled, 0);
    EXPECT_EQ(LinesOf(record), golden) << "printed once";
}

TEST_F(Poller, PrettyPrintedAnswersTakeTheSameRoad) {
    monitor->SetPretty(true);
    std::string key = nfetest::InsertInvoice(conn, 1, 7, EncodeDate(2010, 6, 15));
    Transmit(key);
    monitor->Step();
    Tick();
    EXPECT_EQ(State(key), "Aguardando");
    EXPECT_EQ(Column(key, "recibo_nfe"), monitor->ReceiptOf(key));
    monitor->Step();
    EXPECT_EQ(Messages(Tick()), "");
    EXPECT_EQ(State(key), "Autorizada");
    EXPECT_EQ(Column(key, "protocolo_nfe"), monitor->ProtocolOf(key));
}

// Each protocol group of a batch goes to the invoice its key names.
TEST_F(Poller, ABatchOfTwoGivesEachInvoiceItsOwnState) {
    std::string a = nfetest::InsertInvoice(conn, 1, 10, EncodeDate(2010, 6, 15));
    std::string b = nfetest::InsertInvoice(conn, 1, 11, EncodeDate(2010, 6, 15));
    monitor->Script(b, {"539"});
    Transmit(a);
    Transmit(b);
    ASSERT_EQ(monitor->Step(), 2);
    ASSERT_EQ(monitor->BatchOf(a), monitor->BatchOf(b));
    Tick();
    EXPECT_EQ(State(a), "Aguardando");
    EXPECT_EQ(State(b), "Aguardando");
    EXPECT_EQ(Column(a, "recibo_nfe"), Column(b, "recibo_nfe"));
    monitor->Step();
    Tick();
    EXPECT_EQ(State(a), "Autorizada");
    EXPECT_EQ(Column(a, "erro_nfe"), "100 - AUTORIZADO O USO DA NF-E");
    EXPECT_EQ(State(b), "Erro");
    EXPECT_EQ(Column(b, "erro_nfe"), "539 - REJEIÇÃO: DUPLICIDADE DE NF-E, COM DIFERENÇA NA CHAVE DE ACESSO");
    EXPECT_EQ(Column(b, "protocolo_nfe"), "");
}

TEST_F(Poller, ABatchStillBeingProcessedIsAskedAgainUntilItsProtocolComes) {
    std::string key = nfetest::InsertInvoice(conn, 1, 12, EncodeDate(2010, 6, 15));
    monitor->Script(key, {"105", "100"});
    Transmit(key);
    monitor->Step();
    Tick();
    std::string recibo = Column(key, "recibo_nfe");
    monitor->Step();
    EXPECT_FALSE(Sent(recibo + "-ped-rec.xml"));
    TickReport r = Tick();
    EXPECT_EQ(r.handled, 1);
    EXPECT_EQ(State(key), "Aguardando");
    EXPECT_TRUE(InError(recibo + "-pro-rec.xml")) << "moved";
    EXPECT_TRUE(Sent(recibo + "-ped-rec.xml")) << "a new receipt query";
    monitor->Step();
    Tick();
    EXPECT_EQ(State(key), "Autorizada");
}

TEST_F(Poller, DeniedRefusedAndErrorAnswers) {
    std::string denied = nfetest::InsertInvoice(conn, 1, 20, EncodeDate(2010, 6, 15));
    std::string refused = nfetest::InsertInvoice(conn, 1, 21, EncodeDate(2010, 6, 15));
    std::string failed = nfetest::InsertInvoice(conn, 1, 22, EncodeDate(2010, 6, 15));
    monitor->Script(denied, {"110"});
    monitor->Script(refused, {".err"});
    Transmit(denied);
    Transmit(refused);
    monitor->Step();
    Tick();
    EXPECT_EQ(State(refused), "Erro");
    EXPECT_EQ(Column(refused, "erro_nfe"), "Rejeição: Falha no Schema XML da NF-eElemento cProd inválido");
    monitor->Step();
    Tick();
    EXPECT_EQ(State(denied), "Denegada");
    EXPECT_EQ(Column(denied, "protocolo_nfe"), monitor->ProtocolOf(denied));

    monitor->Script(failed, {"rec.err"});
    Transmit(failed);
    monitor->Step();
    Tick();
    EXPECT_EQ(State(failed), "Aguardando");
    monitor->Step();
    Tick();
    EXPECT_EQ(State(failed), "Erro");
    EXPECT_EQ(Column(failed, "erro_nfe"), "Erro na consulta do reciboServiço indisponível");
}

TEST_F(Poller, ABatchNumberAnswerSetsTheBatchWithFifteenDigits) {
    std::string key = nfetest::InsertInvoice(conn, 1, 30, EncodeDate(2009, 3, 5));
    Place(key + "-num-lot.xml", monitor->NumeroLote(123));
    Tick();
    EXPECT_EQ(State(key), "Aguardando");
    EXPECT_EQ(Column(key, "numero_lote_nfe"), "000000000000123");
    EXPECT_FALSE(InReturn(key + "-num-lot.xml"));
    EXPECT_TRUE(InError(key + "-num-lot.xml"));
}

TEST_F(Poller, AReceiptForABatchNoInvoiceHasStaysAndIsLookedAtAgain) {
    Place("000000000000999-rec.xml", monitor->RetEnviNFe("2", "41", "411000000000999"));
    EXPECT_EQ(Tick().waiting, 1);
    EXPECT_TRUE(InReturn("000000000000999-rec.xml"));
    EXPECT_EQ(Tick().waiting, 1);
    // Its batch becomes known: the next tick applies it.
    std::string key = nfetest::InsertInvoice(conn, 1, 31, EncodeDate(2010, 6, 15), "Aguardando");
    conn.Execute("update nota_fiscal set numero_lote_nfe = '000000000000999'");
    EXPECT_EQ(Tick().handled, 1);
    EXPECT_EQ(Column(key, "recibo_nfe"), "411000000000999");
    EXPECT_TRUE(Sent("411000000000999-ped-rec.xml"));
}

TEST_F(Poller, ProtocolAnswersByStatus) {
    std::string authorised = nfetest::InsertInvoice(conn, 1, 40, EncodeDate(2010, 6, 15), "Aguardando");
    std::string duplicate = nfetest::InsertInvoice(conn, 1, 41, EncodeDate(2010, 6, 15), "Aguardando");
    conn.Execute("update nota_fiscal set recibo_nfe = '411000000000040' where id_nota_fiscal = 40");
    conn.Execute("update nota_fiscal set recibo_nfe = '411000000000041', protocolo_nfe = '141000000000777' "
                 "where id_nota_fiscal = 41");
    conn.Execute("update opcao set ia_danfe = 'sIM'");
    monitor->Archive(authorised);
    Place("411000000000040-pro-rec.xml",
          monitor->RetConsReciNFe("2", "41", "411000000000040", "104",
                                  {{authorised, "100", "Autorizado o uso da NF-e", "141000000000040"}}));
    Place("411000000000041-pro-rec.xml",
          monitor->RetConsReciNFe("2", "41", "411000000000041", "104",
                                  {{duplicate, "204", "Rejeição: Duplicidade de NF-e", ""}}));
    TickReport r = Tick();
    EXPECT_EQ(r.handled, 2);
    EXPECT_EQ(State(authorised), "Autorizada");
    EXPECT_EQ(Column(authorised, "protocolo_nfe"), "141000000000040");
    EXPECT_EQ(Column(authorised, "erro_nfe"), "100 - AUTORIZADO O USO DA NF-E");
    // A duplicate submission keeps the first authorisation and prints nothing.
    EXPECT_EQ(State(duplicate), "Autorizada");
    EXPECT_EQ(Column(duplicate, "protocolo_nfe"), "141000000000777");
    EXPECT_EQ(Column(duplicate, "erro_nfe"), "204 - REJEIÇÃO: DUPLICIDADE DE NF-E");
    // "Sim" in any case prints the newly authorised one, without preview.
    EXPECT_EQ(Messages(r), "Atenção: O Impressor de DANFE " + config.programs.danfe +
                               " não foi encontrado. Faça o Download do mesmo.\r\nO programa do Impressor de DANFE "
                               "é informado no arquivo de configuração, seção [NFe], chave Danfe.\n");
}

TEST_F(Poller, UpperCaseNamesAreAnswersToo) {
    std::string key = nfetest::InsertInvoice(conn, 1, 42, EncodeDate(2010, 6, 15));
    Place(key + "-NUM-LOT.XML", monitor->NumeroLote(5));
    Tick();
    EXPECT_EQ(Column(key, "numero_lote_nfe"), "000000000000005");
    EXPECT_TRUE(InError(key + "-NUM-LOT.XML"));
}

TEST_F(Poller, AProtocolAnswerIsNeverTakenForAReceipt) {
    std::string key = nfetest::InsertInvoice(conn, 1, 43, EncodeDate(2010, 6, 15), "Aguardando");
    conn.Execute("update nota_fiscal set numero_lote_nfe = '411000000000043'");
    // Named like a batch's receipt answer ending in "-pro-rec.xml".
    Place("411000000000043-pro-rec.xml", monitor->RetEnviNFe("2", "41", "411000000000099"));
    Tick();
    EXPECT_EQ(Column(key, "recibo_nfe"), "");
    EXPECT_FALSE(Sent("411000000000099-ped-rec.xml"));
}

TEST_F(Poller, AReceiptAnswerOfAnUnknownReceiptIsToldAndMoved) {
    std::string key = nfetest::InsertInvoice(conn, 1, 44, EncodeDate(2010, 6, 15), "Aguardando");
    std::string wrong = nfetest::InsertInvoice(conn, 2, 1, EncodeDate(2010, 6, 15));
    wrong.back() = static_cast<char>('0' + (wrong.back() - '0' + 1) % 10);
    Place("411000000000044-pro-rec.xml",
          monitor->RetConsReciNFe("2", "41", "411000000000044", "104", {{wrong, "100", "", "141000000000044"}}));
    TickReport r = Tick();
    EXPECT_EQ(r.quarantined, 1) << "a key with a wrong check digit";
    EXPECT_EQ(State(key), "Aguardando");

    std::string other = billing::nfe::MontarChaveNFe("41", EncodeDate(2010, 6, 15), nfetest::kIssuerCnpj, 9, 9);
    Place("411000000000045-pro-rec.xml",
          monitor->RetConsReciNFe("2", "41", "411000000000045", "104", {{other, "100", "", "141000000000045"}}));
    r = Tick();
    EXPECT_EQ(Messages(r), "Atenção: Erro Interno do Aplicativo, o Recibo 411000000000045 não foi econtrado.\n");
    EXPECT_TRUE(InError("411000000000045-pro-rec.xml"));
}

// A bad answer is kept aside as "<name>.invalid" and never stops the tick:
// the good answers beside it are applied, and the next tick runs as usual.
TEST_F(Poller, BadAnswersAreSetAsideAndTheTickGoesOn) {
    std::string key = nfetest::InsertInvoice(conn, 1, 50, EncodeDate(2010, 6, 15));
    std::string other = nfetest::InsertInvoice(conn, 1, 51, EncodeDate(2010, 6, 15));
    Place(key + "-num-lot.xml", "<DadosLoteNfe><NumeroLoteGerado>12");                    // cut off
    Place(other + "-num-lot.xml", monitor->NumeroLote(51));                                 // good
    Place("12345-nfe.err", "Rejeição");                                                     // no key
    Place("000000000000001-rec.xml", "<retEnviNFe><tpAmb>2</tpAmb></retEnviNFe>");          // no receipt
    Place(std::string(16, '1') + "-rec.xml", monitor->RetEnviNFe("2", "41", "411000000000001"));  // 16 digits
    Place("411000000000001-pro-rec.xml", "<retConsReciNFe><tpAmb>2</tpAmb></retConsReciNFe>");  // nothing
    TickReport r = Tick();
    EXPECT_EQ(r.quarantined, 5) << Messages(r);
    EXPECT_EQ(r.handled, 1);
    EXPECT_EQ(Column(other, "numero_lote_nfe"), "000000000000051");
    EXPECT_EQ(State(key), "Em Digitação");
    EXPECT_TRUE(InError(key + "-num-lot.xml.invalid"));
    EXPECT_TRUE(InError("12345-nfe.err.invalid"));
    EXPECT_TRUE(fs::is_empty(folders.retorno));
    EXPECT_NE(Messages(r).find("\"" + key + "-num-lot.xml\" não é um documento XML válido"), std::string::npos)
        << Messages(r);
    r = Tick();
    EXPECT_EQ(r.quarantined + r.handled + r.waiting, 0);
    EXPECT_EQ(Messages(r), "");
}

TEST_F(Poller, AReceiptThatIsNoReceiptNeverNamesAFile) {
    std::string key = nfetest::InsertInvoice(conn, 1, 52, EncodeDate(2010, 6, 15), "Aguardando");
    conn.Execute("update nota_fiscal set numero_lote_nfe = '000000000000052'");
    Place("000000000000052-rec.xml", monitor->RetEnviNFe("2", "41", "../../../tmp/x"));
    TickReport r = Tick();
    EXPECT_EQ(r.quarantined, 1);
    EXPECT_EQ(Column(key, "recibo_nfe"), "");
    EXPECT_TRUE(fs::is_empty(folders.envio));
    EXPECT_FALSE(fs::exists(dir.path() / "tmp"));
}

TEST_F(Poller, ADatabaseErrorLeavesTheAnswerForTheNextTick) {
    std::string key = nfetest::InsertInvoice(conn, 1, 53, EncodeDate(2010, 6, 15));
    conn.Execute("create trigger bloqueio before update on nota_fiscal begin select raise(abort, 'bloqueado'); end");
    Place(key + "-num-lot.xml", monitor->NumeroLote(53));
    TickReport r = Tick();
    EXPECT_EQ(r.waiting, 1);
    EXPECT_TRUE(InReturn(key + "-num-lot.xml"));
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].caption, "Erro");
    EXPECT_NE(r.messages[0].text.find("bloqueado"), std::string::npos) << r.messages[0].text;
    conn.Execute("drop trigger bloqueio");
    r = Tick();
    EXPECT_EQ(r.handled, 1);
    EXPECT_EQ(Column(key, "numero_lote_nfe"), "000000000000053");
}

// Without an error folder the answer cannot move; renamed where it lies, it
// is never applied twice, and the problem is told once for that folder.
TEST_F(Poller, AnAnswerThatCannotMoveIsRenamedAndNeverAppliedTwice) {
    std::string key = nfetest::InsertInvoice(conn, 1, 54, EncodeDate(2010, 6, 15));
    config.pasta_nfe_erro = dir.file("sem-pasta");
    Place(key + "-nfe.err", "Rejeição: falha\r\n");
    TickReport r = Tick();
    EXPECT_EQ(State(key), "Erro");
    EXPECT_TRUE(InReturn(key + "-nfe.err.handled"));
    EXPECT_FALSE(InReturn(key + "-nfe.err"));
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_NE(r.messages[0].text.find(".handled"), std::string::npos);
    conn.Execute("update nota_fiscal set situacao_nfe = 'Em Digitação'");
    Place(key + "-num-lot.xml", monitor->NumeroLote(54));
    r = Tick();
    EXPECT_EQ(State(key), "Aguardando") << "the error was not applied again";
    EXPECT_TRUE(r.messages.empty()) << "told once for this folder: " << Messages(r);
}

TEST_F(Poller, AMissingReturnFolderIsToldOncePerFolder) {
    config.pasta_nfe_retorno = dir.file("nao-existe");
    TickReport r = Tick();
    EXPECT_EQ(Messages(r), "Atenção: A pasta de retorno \"" + dir.file("nao-existe") +
                               "\" não existe !\r\nInforme a pasta em Ferramentas > Opções..., página \"NF-e\"; ela "
                               "vale assim que for salva.\n");
    EXPECT_TRUE(r.monitor_running);
    EXPECT_TRUE(Tick().messages.empty());
    config.pasta_nfe_retorno = dir.file("outra");
    EXPECT_EQ(Tick().messages.size(), 1u);
    config.pasta_nfe_retorno = folders.retorno;
    EXPECT_TRUE(Tick().messages.empty());
    config.pasta_nfe_retorno = dir.file("outra");
    EXPECT_EQ(Tick().messages.size(), 1u) << "missing again after it was found";
}

// (A folder under an answer's name is set aside: see OtherFileSystemTest.)
TEST_F(Poller, OtherFilesAndFoldersInTheReturnFolderAreLeftAlone) {
    std::string key = nfetest::InsertInvoice(conn, 1, 55, EncodeDate(2010, 6, 15));
    Place(key + "-sit.xml", "<retConsSitNFe/>");
    Place("." + key + "-nfe.err", "escondido");
    fs::create_directory(folders.retorno + "/" + key + "-pasta");
    TickReport r = Tick();
    EXPECT_EQ(r.handled + r.quarantined + r.waiting, 0);
    EXPECT_EQ(State(key), "Em Digitação");
    EXPECT_TRUE(InReturn(key + "-sit.xml"));
}

// Nothing waits for a voiding's answer: the poller records it on the
// unissued invoices of the range, never on one the tax authority knows.
TEST_F(Poller, AVoidingAnswerIsAppliedToTheUnissuedInvoicesOfItsRange) {
    std::string typed = nfetest::InsertInvoice(conn, 1, 5, EncodeDate(2010, 6, 15));
    std::string authorised = nfetest::InsertInvoice(conn, 1, 6, EncodeDate(2010, 6, 15), "Autorizada");
    std::string outside = nfetest::InsertInvoice(conn, 1, 7, EncodeDate(2010, 6, 15), "Erro");
    const std::string id = "ID41101234567800019555001000000005000000006";
    Place(id + "-inu.xml",
          "<retInutNFe versao=\"1.07\"><infInut><tpAmb>2</tpAmb><cStat>102</cStat>"
          "<xMotivo>Inutilizacao de numero homologado</xMotivo><cUF>41</cUF><ano>10</ano><mod>55</mod>"
          "<serie>1</serie><nNFIni>5</nNFIni><nNFFin>6</nNFFin><nProt>141100000000009</nProt></infInut></retInutNFe>");
    Place("ID2-inu.err", "Falha na comunicação");
    TickReport r = Tick();
    EXPECT_EQ(r.handled, 2);
    EXPECT_EQ(State(typed), "Inutilizada");
    EXPECT_EQ(Column(typed, "protocolo_nfe"), "141100000000009");
    EXPECT_EQ(State(authorised), "Autorizada");
    EXPECT_EQ(State(outside), "Erro");
    EXPECT_TRUE(InError(id + "-inu.xml"));
    EXPECT_NE(Messages(r).find("Sucesso: A numeração de 5 a 6 da série 1 foi inutilizada."), std::string::npos);
    EXPECT_NE(Messages(r).find("Falhou: A Inutilização \"ID2\" não foi aceita !\r\n\r\nFalha na comunicação"),
              std::string::npos);
}

// A voided range that holds a series' next number moves it past the range:
// an invoice numbered inside it would be refused as voided already.
TEST_F(Poller, AVoidedRangeHoldingTheSeriesNextNumberMovesItPastTheRange) {
    const struct {
        int next, first, last, expected;
    } cases[] = {
        {5, 5, 6, 7},  {6, 5, 6, 7},  {5, 5, 5, 6},   {4, 5, 6, 4},
        {7, 5, 6, 7},  {1, 1, 999, 1000}, {100, 1, 99, 100},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.next) + " in " + std::to_string(c.first) + "-" + std::to_string(c.last));
        conn.Execute("delete from serie_documento");
        conn.Execute(std::string("delete from ") + billing::data::kVoidedRangeTable);
        conn.Execute("insert into serie_documento (id_serie_documento, proximo_numero) values (1, :pn), (2, :pn)",
                     {{"pn", Variant(c.next)}});
        const std::string id = "ID4110123456780001955500100000000" + std::to_string(++n);
        Place(id + "-inu.xml", "<retInutNFe versao=\"1.07\"><infInut><tpAmb>2</tpAmb><cStat>102</cStat>"
                               "<xMotivo>Inutilizacao de numero homologado</xMotivo><cUF>41</cUF><ano>10</ano>"
                               "<mod>55</mod><serie>1</serie><nNFIni>" + std::to_string(c.first) +
                               "</nNFIni><nNFFin>" + std::to_string(c.last) +
                               "</nNFFin><nProt>141100000000009</nProt></infInut></retInutNFe>");
        TickReport r = Tick();
        EXPECT_EQ(r.handled, 1);
        EXPECT_EQ(Scalar("select proximo_numero from serie_documento where id_serie_documento = 1"),
                  std::to_string(c.expected));
        EXPECT_EQ(Scalar("select proximo_numero from serie_documento where id_serie_documento = 2"),
                  std::to_string(c.next))
            << "another series keeps its number";
    }
    // A range voided ahead of the counter leaves it as it is and is kept for
    // its series: the number after 4 passes over 5 to 6; another series'
    // does not.
    conn.Execute(std::string("delete from ") + billing::data::kVoidedRangeTable);
    conn.Execute("update serie_documento set proximo_numero = 4");
    Place("ID41101234567800019555001000000005000000098-inu.xml",
          "<retInutNFe versao=\"1.07\"><infInut><tpAmb>2</tpAmb><cStat>102</cStat><xMotivo>Homologado</xMotivo>"
          "<serie>1</serie><nNFIni>5</nNFIni><nNFFin>6</nNFFin><nProt>141100000000010</nProt></infInut></retInutNFe>");
    Tick();
    EXPECT_EQ(Scalar("select proximo_numero from serie_documento where id_serie_documento = 1"), "4");
    EXPECT_EQ(billing::nfe::ProximoNumeroNaoInutilizado(conn, 1, 4), 4);
    EXPECT_EQ(billing::nfe::ProximoNumeroNaoInutilizado(conn, 1, 5), 7);
    EXPECT_EQ(billing::nfe::ProximoNumeroNaoInutilizado(conn, 2, 5), 5);
    EXPECT_EQ(Scalar(std::string("select protocolo from ") + billing::data::kVoidedRangeTable), "141100000000010");
    // A refused voiding moves nothing.
    conn.Execute(std::string("delete from ") + billing::data::kVoidedRangeTable);
    conn.Execute("update serie_documento set proximo_numero = 5");
    Place("ID41101234567800019555001000000005000000099-inu.xml",
          "<retInutNFe versao=\"1.07\"><infInut><tpAmb>2</tpAmb><cStat>241</cStat><xMotivo>Rejeicao</xMotivo>"
          "<serie>1</serie><nNFIni>5</nNFIni><nNFFin>6</nNFFin></infInut></retInutNFe>");
    Tick();
    EXPECT_EQ(Scalar("select proximo_numero from serie_documento where id_serie_documento = 1"), "5");
}

TEST_F(Poller, ABatchRefusedAsAWholeIsAnErrorNotAnEndlessQuery) {
    std::string key = nfetest::InsertInvoice(conn, 1, 56, EncodeDate(2010, 6, 15), "Aguardando");
    conn.Execute("update nota_fiscal set recibo_nfe = '411000000000056'");
    Place("411000000000056-pro-rec.xml", monitor->RetConsReciNFe("2", "41", "411000000000056", "225", {}));
    Tick();
    EXPECT_EQ(State(key), "Erro");
    EXPECT_EQ(Column(key, "erro_nfe"), "225 - REJEIÇÃO: CÓDIGO 225");
    EXPECT_FALSE(Sent("411000000000056-ped-rec.xml"));
}

TEST_F(Poller, NothingHappensWhileTheDatabaseIsClosed) {
    std::string key = nfetest::InsertInvoice(conn, 1, 57, EncodeDate(2010, 6, 15));
    Place(key + "-num-lot.xml", monitor->NumeroLote(57));
    conn.Close();
    TickReport r = Tick();
    EXPECT_EQ(r.handled + r.waiting, 0);
    EXPECT_FALSE(conn.Connected()) << "a tick never opens the database";
    EXPECT_TRUE(InReturn(key + "-num-lot.xml"));
}

TEST_F(Poller, TheMonitorsAbsenceIsToldOnceUntilItRuns) {
    bool running = false;
    billing::nfe::AnswerPoller::Services s;
    s.db = &conn;
    s.config = [this] { return config; };
    s.check_monitor = [&running](const NFeConfig& c) {
        if (!running) c.Notify(MsgMonitorNaoInstalado, "Atenção");
        return running;
    };
    AnswerPoller p(s);
    EXPECT_EQ(p.Tick().messages.size(), 1u);
    EXPECT_EQ(p.Tick().messages.size(), 0u);
    running = true;
    EXPECT_TRUE(p.Tick().monitor_running);
    running = false;
    EXPECT_EQ(p.Tick().messages.size(), 1u) << "gone again";
}

// An answer is data, never instructions: entities it declares are not
// expanded (neither a file of this machine nor a billion laughs).
TEST(AnswerXml, DeclaredEntitiesAreNeverExpanded) {
    std::string outside =
        "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e SYSTEM \"file:///etc/hostname\">]>"
        "<r><xMotivo>a&e;b</xMotivo></r>";
    std::optional<XmlElement> doc = ParseXml(outside);
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->Text("xMotivo"), "ab");
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"hahahahahahahahahaha\">";
    for (char c = 'b'; c <= 'j'; ++c) {
        std::string ten;
        for (int i = 0; i < 10; ++i) ten += std::string("&") + static_cast<char>(c - 1) + ";";
        laughs += std::string("<!ENTITY ") + c + " \"" + ten + "\">";
    }
    laughs += "]><r><xMotivo>&j;</xMotivo></r>";
    doc = ParseXml(laughs);
    if (doc) EXPECT_LT(doc->Text("xMotivo").value_or("").size(), 100u);
    std::string problem;
    EXPECT_FALSE(ParseXml("<r><a></r>", &problem));
    EXPECT_NE(problem.find("não é um documento XML válido"), std::string::npos) << problem;
}

// Answer files that are not what they seem: a huge sparse file, a name too
// long for any ending, names already used in the error folder and a folder
// of junk. None is read whole, each is kept under a name that fits without
// replacing another, and one tick shows one box whatever it set aside.
TEST_F(Poller, AnswersThatAreNotSmallFilesAreSetAsideUnderFreeNamesWithOneBox) {
    std::string key = nfetest::InsertInvoice(conn, 1, 60, EncodeDate(2010, 6, 15));
    std::string huge = Place(key + "-nfe.err", "");
    ASSERT_EQ(::truncate(huge.c_str(), 1536LL * 1024 * 1024), 0);
    std::string longName = std::string(255 - 8, '9') + "-nfe.err";
    Place(longName, "Rejeição");
    TickReport r = Tick();
    EXPECT_EQ(r.quarantined, 2) << Messages(r);
    EXPECT_EQ(State(key), "Em Digitação") << "a 1.5 GB answer is not an answer";
    EXPECT_TRUE(fs::is_empty(folders.retorno)) << "the long name left the return folder too";
    ASSERT_EQ(r.messages.size(), 1u) << Messages(r);
    EXPECT_NE(r.messages[0].text.find("2 respostas do Monitor de NF-e não foram aplicadas"), std::string::npos);
    EXPECT_NE(r.messages[0].text.find("\"" + key + "-nfe.err\" não pôde ser lida (tem mais de 1024 KB"),
              std::string::npos)
        << r.messages[0].text;
    for (const auto& e : fs::directory_iterator(folders.erro)) EXPECT_LE(e.path().filename().string().size(), 255u);

    // The same names again: what the error folder keeps is never replaced.
    fs::remove(huge);
    for (int i = 0; i < 2; ++i) {
        Place("12345-nfe.err", "Rejeição " + std::to_string(i));
        Place(key + "-nfe.err", "Rejeição " + std::to_string(i));
        EXPECT_EQ(Tick().messages.size(), 1u);
    }
    std::set<std::string> kept;
    for (const auto& e : fs::directory_iterator(folders.erro)) kept.insert(testsupport::ReadAll(e.path().string()));
    EXPECT_TRUE(kept.count("Rejeição 0") && kept.count("Rejeição 1")) << "both answers of each name are kept";
    EXPECT_EQ(std::distance(fs::directory_iterator(folders.erro), fs::directory_iterator()), 6);

    // Thirty junk answers: one box that counts them.
    for (int i = 0; i < 30; ++i) Place(std::to_string(i) + "-nfe.err", "lixo");
    r = Tick();
    EXPECT_EQ(r.quarantined, 30);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text.rfind("30 respostas", 0), 0u) << r.messages[0].text;
}

// A window waiting for an answer neither hangs on a pipe nor reads a device
// behind a link: both are unusable answers at once.
TEST_F(Poller, AWaitNeverOpensAPipeOrFollowsALinkAtTheAnswersName) {
    for (const char* kind : {"pipe", "link"}) {
        SCOPED_TRACE(kind);
        std::string answer = folders.retorno + "/" + kind + "-sit.xml";
        if (std::string(kind) == "pipe") ASSERT_EQ(::mkfifo(answer.c_str(), 0600), 0);
        else fs::create_symlink("/dev/zero", answer);
        // Whatever blocks on the pipe is let go after a while, so that a
        // fault shows as a wrong outcome rather than a test that never ends.
        std::thread unblock;
        if (std::string(kind) == "pipe")
            unblock = std::thread([answer] {
                std::this_thread::sleep_for(std::chrono::seconds(2));
                int fd = ::open(answer.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) ::close(fd);
            });
        nfetest::FakeWaitClock clock;
        WaitResult result;
        AnswerWait wait(clock.Services(), answer, answer + ".err", 1000, 2000, nullptr,
                        [&result](const WaitResult& r) { result = r; });
        wait.Start();
        clock.Advance(3000);
        if (unblock.joinable()) unblock.join();
        EXPECT_EQ(result.outcome, WaitOutcome::Unusable);
        EXPECT_LE(result.bytes.size(), kAnswerSizeLimit);
        EXPECT_NE(result.problem.find(std::string(kind) == "pipe" ? "não é um arquivo comum" : "atalho"),
                  std::string::npos)
            << result.problem;
        fs::remove(answer);
    }
}

// Two programs on one database and one return folder (two stations, or two
// windows of one), each ticking as fast as it can while answers arrive: each
// answer is applied once (the database counts it), each authorised
// invoice's DANFE is started once, one copy of every answer ends in the
// error folder, and neither program tells the clerk anything about the
// answers the other took first. Once with the error folder beside the
// return folder (moved there) and once on another file system (copied).
TEST_F(Poller, TwoProgramsOnOneFolderApplyEachAnswerOnceAndTellNothingFalse) {
    conn.Execute("create table aplicacao_teste (chave text)");
    conn.Execute("create trigger aplicacao_teste after update of situacao_nfe on nota_fiscal "
                 "begin insert into aplicacao_teste values (new.numero_nfe); end");
    conn.Execute("update opcao set ia_danfe = 'Sim'");
    config.programs.danfe = fs::read_symlink("/proc/self/exe").string();
    struct Answer {
        std::string key, name, bytes;
        bool authorised = false;
    };
    int number = 100;
    for (bool across : {false, true}) {
        SCOPED_TRACE(across ? "error folder on another file system" : "error folder on the same file system");
        SetOtherFileSystemForTests(across ? folders.erro : "");
        for (const auto& e : fs::directory_iterator(folders.erro)) fs::remove(e.path());
        const std::string run = dir.file(across ? "entre" : "mesmo");
        fs::create_directory(run);
        std::vector<Answer> answers;
        for (int n = 1; n <= 60; ++n) {
            Answer a;
            const int id = ++number;
            const std::string recibo = "4110000000" + std::to_string(10000 + id);
            switch (n % 3) {
            case 0:
                a.key = nfetest::InsertInvoice(conn, 1, id, EncodeDate(2010, 6, 15));
                a.name = a.key + "-nfe.err";
                a.bytes = "Rejeição " + std::to_string(id);
                break;
            case 1:
                a.key = nfetest::InsertInvoice(conn, 1, id, EncodeDate(2010, 6, 15));
                a.name = a.key + "-num-lot.xml";
                a.bytes = monitor->NumeroLote(id);
                break;
            default:
                a.key = nfetest::InsertInvoice(conn, 1, id, EncodeDate(2010, 6, 15), "Aguardando");
                conn.Execute("update nota_fiscal set recibo_nfe = :pr where numero_nfe = :pk",
                             {{"pr", Variant(recibo)}, {"pk", Variant(a.key)}});
                monitor->Archive(a.key);
                a.name = recibo + "-pro-rec.xml";
                a.bytes = monitor->RetConsReciNFe("2", "41", recibo, "104",
                                                  {{a.key, "100", "Autorizado o uso da NF-e",
                                                    "1411000000" + std::to_string(10000 + id)}});
                a.authorised = true;
            }
            answers.push_back(a);
        }
        const std::string stop = run + "/fim";
        const std::string danfes = run + "/danfes.txt";
        auto program = [&](int which) {
            TSQLConnection own;
            own.SetDatabaseName(dir.file("faturamento.db"));
            own.Open();
            const std::string said = run + "/disse-" + std::to_string(which) + ".txt";
            AnswerPoller::Services s;
            s.db = &own;
            s.config = [this] { return config; };
            s.check_monitor = [](const NFeConfig&) { return true; };
            s.start_danfe = [danfes](const NFeConfig&, const DanfeCommand& c) {
                int fd = ::open(danfes.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
                const std::string line = c.args.at(0) + "\n";
                (void)!::write(fd, line.data(), line.size());
                ::close(fd);
                return true;
            };
            AnswerPoller p(s);
            for (int tick = 0; tick < 20000; ++tick) {
                const bool last = fs::exists(stop);
                TickReport r = p.Tick();
                if (!r.messages.empty()) {
                    int fd = ::open(said.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
                    const std::string text = Messages(r);
                    (void)!::write(fd, text.data(), text.size());
                    ::close(fd);
                }
                if (last) break;
            }
            ::_exit(0);
        };
        pid_t children[2];
        for (int i = 0; i < 2; ++i) {
            children[i] = ::fork();
            ASSERT_GE(children[i], 0);
            if (children[i] == 0) program(i);
        }
        // The monitor's answers arrive a few at a time, each whole at once.
        for (std::size_t i = 0; i < answers.size(); ++i) {
            const std::string hidden = folders.retorno + "/.chegando";
            testsupport::WriteAll(hidden, answers[i].bytes);
            fs::rename(hidden, folders.retorno + "/" + answers[i].name);
            if (i % 6 == 5) {
                for (int wait = 0; wait < 2000 && !fs::is_empty(folders.retorno); ++wait)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        for (int wait = 0; wait < 4000 && !fs::is_empty(folders.retorno); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        testsupport::WriteAll(stop, "");
        for (pid_t child : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        SetOtherFileSystemForTests("");

        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(testsupport::ReadAll(run + "/disse-" + std::to_string(i) + ".txt"), "")
                << "program " << i << " told the clerk of answers the other took";
        const std::string started = testsupport::ReadAll(danfes);
        for (const Answer& a : answers) {
            SCOPED_TRACE(a.name);
            EXPECT_EQ(Scalar("select count(*) from aplicacao_teste where chave = ?1", a.key), "1");
            EXPECT_FALSE(InReturn(a.name));
            EXPECT_EQ(testsupport::ReadAll(folders.erro + "/" + a.name), a.bytes);
            std::size_t times = 0;
            for (std::size_t at = started.find(a.key); at != std::string::npos; at = started.find(a.key, at + 1))
                ++times;
            EXPECT_EQ(times, a.authorised ? 1u : 0u) << "DANFEs started";
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(folders.erro), fs::directory_iterator()),
                  static_cast<std::ptrdiff_t>(answers.size()))
            << "one copy of each answer in the error folder";
    }
}
