// The management desk without its window: listing and refreshing, the
// commands on the current invoice, and the cancellation with its wait.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "billing/data/Messages.h"
#include "billing/nfe/NFeManagement.h"
#include "platform/db/SQLQuery.h"
#include "platform/rtl/SafeFile.h"
#include "tests/billing/nfe/PollerFixture.h"
#include "tests/billing/nfe/fake/FakeWaitClock.h"

using namespace billing::nfe;
using billing::data::DefaultMessages;
namespace fs = std::filesystem;

namespace {

class Management : public nfetest::PollerFixture {
protected:
    void SetUp() override {
        PollerFixture::SetUp();
        DefaultMessages().Clear();
        desk = std::make_unique<NFeManagement>(nullptr, conn, [this] { return config; });
    }
    void TearDown() override {
        desk.reset();
        DefaultMessages().Clear();
    }
    int Number() const { return desk->Query()->FieldByName("Id_Nota_Fiscal")->AsInteger(); }
    std::unique_ptr<NFeManagement> desk;
};

}  // namespace

TEST(ManagementStatus, ImagesAndLegendFollowTheState) {
    EXPECT_EQ(StatusImage("Em Digitação"), 0);
    EXPECT_EQ(StatusImage("Gerada"), 1);
    EXPECT_EQ(StatusImage("Aguardando"), 2);
    EXPECT_EQ(StatusImage("Autorizada"), 3);
    EXPECT_EQ(StatusImage("Erro"), 4);
    EXPECT_EQ(StatusImage("Cancelada"), 5);
    EXPECT_EQ(StatusImage("Denegada"), 6);
    EXPECT_EQ(StatusImage("AUTORIZADA"), -1) << "compared exactly";
    EXPECT_EQ(StatusLegend()[4], "Rejeitada");
}

TEST_F(Management, TheFilterListsOneStateAndAllListsEveryInvoiceLastSelected) {
    nfetest::InsertInvoice(conn, 2, 1, EncodeDate(2010, 6, 15), "Erro");
    nfetest::InsertInvoice(conn, 1, 9, EncodeDate(2010, 6, 15), "Autorizada");
    nfetest::InsertInvoice(conn, 1, 3, EncodeDate(2010, 6, 15), "Erro");
    nfetest::InsertInvoice(conn, 1, 4, EncodeDate(2010, 6, 15), "Cancelada");
    desk->Mostra_Dados("Erro");
    EXPECT_EQ(desk->Query()->RecordCount(), 2);
    EXPECT_EQ(Number(), 1) << "series 2 comes last";
    desk->Mostra_Dados("Todas");
    std::vector<std::string> order;
    for (desk->Query()->First(); !desk->Query()->Eof(); desk->Query()->Next())
        order.push_back(desk->Field("Id_Serie_Documento") + "/" + desk->Field("Id_Nota_Fiscal") + " " +
                        desk->Field("Status"));
    EXPECT_EQ(order, (std::vector<std::string>{"1/3 4", "1/4 5", "1/9 3", "2/1 4"}));
    desk->Mostra_Dados("Todas");
    EXPECT_EQ(desk->Field("Id_Serie_Documento"), "2");
    EXPECT_EQ(desk->Query()->FieldByName("Id_Serie_Documento")->DisplayText(), "002");
}

// Invoices whose client left the register still list, with "?" for the client.
TEST_F(Management, AnInvoiceOfADeletedClientStillLists) {
    nfetest::InsertInvoice(conn, 1, 5, EncodeDate(2010, 6, 15), "Autorizada", "0000099");
    desk->Mostra_Dados("Todas");
    ASSERT_EQ(desk->Query()->RecordCount(), 1);
    EXPECT_EQ(desk->Field("Nome"), "?");
    EXPECT_EQ(desk->Field("Nome_Fantasia"), "?");
}

TEST_F(Management, TheRefreshKeepsTheSelectedInvoiceWhileRowsAreAddedBeforeIt) {
    nfetest::InsertInvoice(conn, 1, 10, EncodeDate(2010, 6, 15), "Aguardando");
    nfetest::InsertInvoice(conn, 1, 20, EncodeDate(2010, 6, 15), "Aguardando");
    nfetest::InsertInvoice(conn, 1, 30, EncodeDate(2010, 6, 15), "Aguardando");
    desk->Mostra_Dados("Todas");
    ASSERT_TRUE(desk->Localizar("20"));
    nfetest::InsertInvoice(conn, 1, 5, EncodeDate(2010, 6, 15));
    nfetest::InsertInvoice(conn, 1, 15, EncodeDate(2010, 6, 15));
    conn.Execute("update nota_fiscal set situacao_nfe = 'Autorizada' where id_nota_fiscal = 20");
    desk->Atualizar_Dados();
    EXPECT_EQ(Number(), 20);
    EXPECT_EQ(desk->Field("Status"), "3");
    EXPECT_EQ(desk->Query()->RecordCount(), 5);
    // Gone: the last one is selected.
    conn.Execute("delete from nota_fiscal where id_nota_fiscal = 20");
    desk->Atualizar_Dados();
    EXPECT_EQ(Number(), 30);
}

TEST_F(Management, LocateTakesOnlyANumberThatIsListed) {
    nfetest::InsertInvoice(conn, 1, 12, EncodeDate(2010, 6, 15));
    nfetest::InsertInvoice(conn, 1, 13, EncodeDate(2010, 6, 15));
    desk->Mostra_Dados("Todas");
    EXPECT_TRUE(desk->Localizar(" 12 "));
    EXPECT_EQ(Number(), 12);
    for (const char* typed : {"abc", "12a", "", "99", "-12", "1.2"}) EXPECT_FALSE(desk->Localizar(typed)) << typed;
    EXPECT_EQ(Number(), 12);
}

TEST_F(Management, TransmitSaysTransmittedOnlyWhenAFileWasWritten) {
    std::string typing = nfetest::InsertInvoice(conn, 1, 1, EncodeDate(2010, 6, 15));
    desk->Mostra_Dados("Todas");
    desk->Transmitir();
    EXPECT_TRUE(Sent(typing + "-nfe.xml"));
    EXPECT_EQ(shown, (std::vector<std::string>{"Transmitida: Nota Fiscal foi Transmitida para a SEFAZ !"}));

    // Waiting for its batch: only the receipt query goes.
    shown.clear();
    conn.Execute("update nota_fiscal set situacao_nfe = 'Aguardando', recibo_nfe = '411000000000001'");
    desk->Atualizar_Dados();
    desk->Transmitir();
    EXPECT_TRUE(Sent("411000000000001-ped-rec.xml"));
    EXPECT_EQ(shown.size(), 1u);

    shown.clear();
    conn.Execute("update nota_fiscal set recibo_nfe = ''");
    desk->Atualizar_Dados();
    desk->Transmitir();
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "Erro: Erro Interno de Aplicativo, esta situação de NFE deveria ter um número de recibo."}));

    for (const char* state : {"Autorizada", "Cancelada"}) {
        shown.clear();
        conn.Execute("update nota_fiscal set situacao_nfe = :p", {{"p", Variant(state)}});
        desk->Atualizar_Dados();
        desk->Transmitir();
        EXPECT_EQ(shown, (std::vector<std::string>{"Atenção: A situação desta NF-e não permite Retransmitir !"}));
    }

    // Nothing written (the send folder is gone): no "Transmitida".
    shown.clear();
    conn.Execute("update nota_fiscal set situacao_nfe = 'Erro'");
    desk->Atualizar_Dados();
    fs::remove_all(folders.envio);
    desk->Transmitir();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("Erro: ", 0), 0u) << shown[0];
}

TEST_F(Management, CommandsOnAnEmptyListDoNothing) {
    desk->Mostra_Dados("Denegada");
    desk->Transmitir();
    EXPECT_FALSE(desk->ImprimirDanfe());
    EXPECT_FALSE(desk->PodeCancelar());
    nfetest::FakeWaitClock clock;
    EXPECT_EQ(desk->ConsultarSituacao(nullptr, clock.Services()), nullptr);
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(fs::is_empty(folders.envio));
}

TEST_F(Management, OnlyAnAuthorisedInvoiceMayBeCancelled) {
    nfetest::InsertInvoice(conn, 1, 1, EncodeDate(2010, 6, 15), "Erro");
    desk->Mostra_Dados("Todas");
    EXPECT_FALSE(desk->PodeCancelar());
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "Atenção: Somente NF-e com situação \"Autorizada\" pode ser Cancelada."}));
    conn.Execute("update nota_fiscal set situacao_nfe = 'Autorizada'");
    desk->Atualizar_Dados();
    EXPECT_TRUE(desk->PodeCancelar());
}

TEST_F(Management, TheInvoiceStatusAnswerIsHeardWhenItComes) {
    std::string key = nfetest::InsertInvoice(conn, 1, 1, EncodeDate(2010, 6, 15), "Autorizada");
    desk->Mostra_Dados("Todas");
    nfetest::FakeWaitClock clock;
    std::string heard = "<nothing>";
    auto wait = desk->ConsultarSituacao([&](const std::string& text, const std::string&) { heard = text; },
                                        clock.Services());
    ASSERT_NE(wait, nullptr);
    EXPECT_TRUE(Sent(key + "-ped-sit.xml"));
    monitor->Step();
    clock.Advance(2000);
    EXPECT_EQ(heard, "Rejeição: NF-e não consta na base de dados da SEFAZ\r\n");
}

// --- cancellation -----------------------------------------------------------

namespace {

class Cancellation : public nfetest::PollerFixture {
protected:
    void SetUp() override {
        PollerFixture::SetUp();
        DefaultMessages().Clear();
        key = nfetest::InsertInvoice(conn, 1, 77, EncodeDate(2010, 6, 15), "Autorizada");
        conn.Execute("update nota_fiscal set protocolo_nfe = '141000000000077'");
        cancel = std::make_unique<NFeCancellation>(conn, [this] { return config; }, clock.Services());
        cancel->OnFinished = [this] { ++finished; };
    }
    void TearDown() override { DefaultMessages().Clear(); }
    NFeCancellation::Start Confirm(const std::string& reason, bool yes = true) {
        DefaultMessages().QueueAnswer(yes);
        return cancel->Confirmar(key, Column(key, "protocolo_nfe"), reason);
    }
    // Another program on the same folders and database, whose poller lists
    // the return folder first: one tick in a child that waits for nothing
    // of this program's (`endWaits` ends the child's copies of them). What
    // it would tell its clerk is returned.
    std::string AnotherProgramTicks(const std::function<void()>& endWaits, const std::string& machine = "") {
        const std::string said = dir.file("outro-programa.txt");
        const pid_t child = ::fork();
        if (child == 0) {
            fileio::SetThisMachineForTests(machine);
            endWaits();
            TSQLConnection own;
            own.SetDatabaseName(dir.file("faturamento.db"));
            own.Open();
            TickReport r =
                Shown(own, AnswerPoller(nfetest::RunningMonitorServices(&own, [this] { return config; })).Tick());
            testsupport::WriteAll(said, Messages(r));
            ::_exit(r.handled == 1 ? 0 : 1);
        }
        int status = -1;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other program applied the answer";
        return testsupport::ReadAll(said);
    }
    const std::string kReason = "Cliente desistiu da compra";
    nfetest::FakeWaitClock clock;
    std::string key;
    std::unique_ptr<NFeCancellation> cancel;
    int finished = 0;
};

}  // namespace

TEST_F(Cancellation, TheReasonMustHaveFifteenToTwoHundredFiftyFiveCharacters) {
    using S = NFeCancellation::Start;
    EXPECT_EQ(cancel->Confirmar(key, "141000000000077", "  " + std::string(14, 'a') + "  "), S::ReasonRefused);
    EXPECT_EQ(shown.back(),
              "Atenção: A descrição para o motivo de cancelamento deve ter no minímo 15 caracteres !");
    EXPECT_EQ(cancel->Confirmar(key, "141000000000077", std::string(256, 'b')), S::ReasonRefused);
    EXPECT_EQ(shown.back(),
              "Atenção: A descrição para o motivo de cancelamento deve ter no máximo 255 caracteres !");
    EXPECT_TRUE(fs::is_empty(folders.envio));
    EXPECT_EQ(Confirm(std::string(15, 'c'), false), S::NotConfirmed);
    EXPECT_EQ(DefaultMessages().Entries().back().text,
              "Atenção: Esta operação não poderá ser de desfeita.\r\nConfirma o Cancelamento ?");
    EXPECT_TRUE(fs::is_empty(folders.envio));
    EXPECT_EQ(Confirm(std::string(255, 'd')), S::Waiting);
    EXPECT_TRUE(Sent(key + "-ped-can.xml"));
}

TEST_F(Cancellation, WithoutAProtocolNothingIsAsked) {
    EXPECT_EQ(cancel->Confirmar(key, "  ", kReason), NFeCancellation::Start::Refused);
    EXPECT_EQ(shown, (std::vector<std::string>{"Atenção: A NF-e não possui protocolo, não pode Cancelar !"}));
    EXPECT_TRUE(DefaultMessages().Entries().empty());
}

TEST_F(Cancellation, AcceptedStoresCancelledWithTheCancellationsProtocol) {
    ASSERT_EQ(Confirm(kReason), NFeCancellation::Start::Waiting);
    EXPECT_TRUE(cancel->Waiting());
    monitor->Step();
    clock.Advance(2000);
    EXPECT_FALSE(cancel->Waiting());
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(State(key), "Cancelada");
    std::string protocol = Column(key, "protocolo_nfe");
    EXPECT_NE(protocol, "141000000000077");
    EXPECT_EQ(protocol.size(), 15u);
    EXPECT_EQ(Column(key, "erro_nfe"), "101 CANCELAMENTO DE NF-E HOMOLOGADO\r\n");
    EXPECT_EQ(shown.back(), "Sucesso: A Nota Fiscal foi cancelada com Sucesso !\r\n\r\nProtocolo: " + protocol);
    EXPECT_TRUE(InError(key + "-can.xml"));
    EXPECT_TRUE(fs::is_empty(folders.retorno));
}

TEST_F(Cancellation, RefusedOrFailedLeavesTheInvoiceAuthorised) {
    monitor->ScriptCancel(key, "220");
    Confirm(kReason);
    monitor->Step();
    clock.Advance(2000);
    EXPECT_EQ(State(key), "Autorizada");
    EXPECT_EQ(shown.back(), "Falhou: A Nota Fiscal não pode ser Cancelada !\r\n\r\n220 REJEIÇÃO: NF-E AUTORIZADA HÁ "
                            "MAIS DE 7 DIAS (168 HORAS)\r\n");

    monitor->ScriptCancel(key, ".err");
    Confirm(kReason);
    monitor->Step();
    clock.Advance(2000);
    EXPECT_EQ(State(key), "Autorizada");
    EXPECT_EQ(shown.back(),
              "Falhou: A Nota Fiscal não pode ser Cancelada !\r\n\r\nFalha na comunicação com a SEFAZTente novamente");
    EXPECT_EQ(Column(key, "protocolo_nfe"), "141000000000077");
    EXPECT_EQ(finished, 2);
}

TEST_F(Cancellation, NoAnswerInTimeEndsTheWaitAndTakesTheRequestBack) {
    config.cancel_wait_ms = 120000;
    Confirm(kReason);
    clock.Advance(118000);
    EXPECT_TRUE(cancel->Waiting());
    clock.Advance(2000);
    EXPECT_FALSE(cancel->Waiting());
    EXPECT_EQ(shown.back(), "Atenção: Não houve resposta do Monitor de NF-e. A NF-e não foi alterada.");
    EXPECT_FALSE(Sent(key + "-ped-can.xml")) << "never sent behind the user's back";
    EXPECT_EQ(State(key), "Autorizada");
}

TEST_F(Cancellation, AnAnswerAfterTheWaitIsAppliedByThePoller) {
    config.cancel_wait_ms = 120000;
    Confirm(kReason);
    // The monitor takes the request and answers only after the wait.
    fs::remove(folders.envio + "/" + key + "-ped-can.xml");
    clock.Advance(120000);
    EXPECT_FALSE(cancel->Waiting());
    EXPECT_NE(shown.back().find("a resposta ainda pode chegar e será aplicada"), std::string::npos) << shown.back();
    EXPECT_EQ(State(key), "Autorizada");

    Place(key + "-can.xml", monitor->RetCancNFe("2", key, "101", "141000000000999"));
    TickReport r = Tick();
    EXPECT_EQ(r.handled, 1);
    EXPECT_EQ(State(key), "Cancelada");
    EXPECT_EQ(Column(key, "protocolo_nfe"), "141000000000999");
    EXPECT_TRUE(InError(key + "-can.xml"));
    EXPECT_NE(Messages(r).find("Sucesso: A NF-e " + key + " foi cancelada com Sucesso !"), std::string::npos);
}

TEST_F(Cancellation, ThePollerLeavesAnAnswerTheWaitIsLookingFor) {
    Confirm(kReason);
    Place(key + "-can.xml", monitor->RetCancNFe("2", key, "101", "141000000000999"));
    EXPECT_EQ(Tick().handled, 0);
    EXPECT_TRUE(InReturn(key + "-can.xml"));
    clock.Advance(2000);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(State(key), "Cancelada");
    EXPECT_EQ(shown.back(), "Sucesso: A Nota Fiscal foi cancelada com Sucesso !\r\n\r\nProtocolo: 141000000000999");
}

TEST_F(Cancellation, EndedMidWaitChangesNothingLater) {
    Confirm(kReason);
    cancel.reset();
    EXPECT_FALSE(Sent(key + "-ped-can.xml"));
    EXPECT_EQ(clock.Running(), 0);
    // An answer arriving now is nobody's.
    testsupport::WriteAll(folders.retorno + "/" + key + "-can.xml",
                          monitor->RetCancNFe("2", key, "101", "141000000000999"));
    clock.Advance(10000);
    EXPECT_EQ(State(key), "Autorizada");
    EXPECT_EQ(finished, 0);
}

TEST_F(Cancellation, AnAcceptedAnswerWithoutProtocolIsNotStored) {
    Confirm(kReason);
    testsupport::WriteAll(folders.retorno + "/" + key + "-can.xml", monitor->RetCancNFe("2", key, "101", ""));
    clock.Advance(2000);
    EXPECT_EQ(State(key), "Autorizada");
    EXPECT_EQ(shown.back(), "Erro: Atenção: Não retornou protocolo NF-e, não pode Cancelar");
}

// Two stations on one return folder: the other one's poller applies the
// answer a window here waits for, a cancellation's or a voiding's. The
// window tells its clerk what the database holds for its request, and the
// other station tells its clerk nothing of a request it did not make.
TEST_F(Cancellation, AnAnswerAnotherStationAppliedFirstIsToldByTheWindowThatWaitsForIt) {
    ASSERT_EQ(Confirm(kReason), NFeCancellation::Start::Waiting);
    monitor->Step();
    EXPECT_EQ(AnotherProgramTicks([this] { cancel.reset(); }), "");
    const std::string protocol = Column(key, "protocolo_nfe");
    ASSERT_EQ(State(key), "Cancelada");
    clock.Advance(2000);
    ASSERT_EQ(finished, 1);
    EXPECT_EQ(shown.back(), "Sucesso: A Nota Fiscal foi cancelada com Sucesso !\r\n\r\nProtocolo: " + protocol);

    std::string identifier, heard;
    ASSERT_TRUE(Inutilizar_NFE(conn, config, 1, 5, 6, "Numeração pulada na emissão", &identifier));
    std::unique_ptr<AnswerWait> wait = Aguardar_Inutilizacao(
        conn, config, {1, 5, 6, "Numeração pulada na emissão"}, identifier,
        [&](const std::vector<PollerMessage>& shown, bool) {
            for (const PollerMessage& m : shown) heard += m.caption + ": " + m.text;
        },
        clock.Services());
    Place(identifier + "-inu.xml",
          "<retInutNFe versao=\"1.07\"><infInut><tpAmb>2</tpAmb><cStat>102</cStat>"
          "<xMotivo>Inutilizacao de numero homologado</xMotivo><cUF>41</cUF><ano>10</ano><mod>55</mod>"
          "<serie>1</serie><nNFIni>5</nNFIni><nNFFin>6</nNFFin><nProt>141100000000009</nProt></infInut></retInutNFe>");
    EXPECT_EQ(AnotherProgramTicks([&] { wait.reset(); }), "");
    clock.Advance(2000);
    EXPECT_EQ(heard, "Sucesso: A numeração foi inutilizada.\r\n\r\nSituação: 102 - Inutilizacao de numero "
                     "homologado\r\nProtocolo: 141100000000009\r\n");
    EXPECT_EQ(Scalar("select protocolo from numeracao_inutilizada where numero_inicial = 5 and numero_final = 6"),
              "141100000000009");
}

// The window that asked is gone before the monitor answers: its program
// was killed, or the window gave up and the program was started again.
// Each of the five answers is then told to exactly one clerk, with its
// text and caption (the caption gives the icon): by the program that
// applies it, or, when another station applied it while the asking one
// might still have waited, by the asking station at its next start; a kill
// of that program before its box came up leaves it to the next.
TEST_F(Cancellation, ALateAnswerIsToldToOneClerkOnceWhenTheProgramThatAskedHasEnded) {
    config.cancel_wait_ms = 120000;
    const std::string voidingReason = "Numeração pulada na emissão";
    auto voidingAnswer = [](int first, int last) {
        return "<retInutNFe versao=\"1.07\"><infInut><tpAmb>2</tpAmb><cStat>102</cStat>"
               "<xMotivo>Inutilizacao de numero homologado</xMotivo><cUF>41</cUF><ano>10</ano><mod>55</mod>"
               "<serie>1</serie><nNFIni>" +
               std::to_string(first) + "</nNFIni><nNFFin>" + std::to_string(last) +
               "</nNFFin><nProt>141100000000009</nProt></infInut></retInutNFe>";
    };
    struct Answer {
        const char* ending;
        bool voiding;
    };
    const std::vector<Answer> answers{
        {"-can.xml", false}, {"-can.xml", false}, {"-can.err", false}, {"-inu.xml", true}, {"-inu.err", true}};
    int round = 0;
    for (bool killed : {true, false})
        for (bool twoStations : {false, true})
            for (std::size_t a = 0; a < answers.size(); ++a) {
                ++round;
                const Answer& answer = answers[a];
                const int first = 10 * round, last = first + 1;
                SCOPED_TRACE(std::string(killed ? "killed" : "gave up") + (twoStations ? ", two stations" : "") +
                             ", answer " + std::to_string(a));
                // The request, by a program that then ends.
                std::string id = key;
                if (killed) {
                    const std::string protocol = Column(key, "protocolo_nfe");
                    ASSERT_TRUE(testsupport::KilledInChild([&] {
                        TSQLConnection own;
                        own.SetDatabaseName(dir.file("faturamento.db"));
                        own.Open();
                        // Killed while its window waits: nothing of it ends.
                        if (answer.voiding) {
                            std::string identifier;
                            Inutilizar_NFE(own, config, 1, first, last, voidingReason, &identifier);
                            auto wait = Aguardar_Inutilizacao(own, config, {1, first, last, voidingReason}, identifier,
                                                              nullptr, clock.Services());
                            ::raise(SIGKILL);
                        }
                        NFeCancellation asking(own, [this] { return config; }, clock.Services());
                        DefaultMessages().QueueAnswer(true);
                        asking.Confirmar(key, protocol, kReason);
                        ::raise(SIGKILL);
                    }));
                } else if (answer.voiding) {
                    std::string heard = "?";
                    ASSERT_TRUE(Inutilizar_NFE(conn, config, 1, first, last, voidingReason, &id));
                    auto wait = Aguardar_Inutilizacao(
                        conn, config, {1, first, last, voidingReason}, id,
                        [&](const std::vector<PollerMessage>& shown, bool) {
                            heard = shown.size() == 1 ? shown[0].text : "";
                        },
                        clock.Services());
                    fs::remove(folders.envio + "/" + id + "-ped-inu.xml");
                    clock.Advance(VoidingWaitMs(config));
                    ASSERT_EQ(heard, std::string("A numeração não foi inutilizada.\r\n\r\n") + MsgSemConexao);
                } else {
                    ASSERT_EQ(Confirm(kReason), NFeCancellation::Start::Waiting);
                    fs::remove(folders.envio + "/" + key + "-ped-can.xml");
                    clock.Advance(config.cancel_wait_ms);
                    ASSERT_FALSE(cancel->Waiting());
                    ASSERT_NE(shown.back().find("a resposta ainda pode chegar e será aplicada"), std::string::npos);
                }
                // The monitor took the request.
                for (const auto& e : fs::directory_iterator(folders.envio)) {
                    const std::string name = e.path().filename().string();
                    if (answer.voiding && name.size() > 12 && name.substr(name.size() - 12) == "-ped-inu.xml")
                        id = name.substr(0, name.size() - 12);
                    fs::remove(e.path());
                }
                ForgetThisProgramForTests();

                std::string bytes, told;
                switch (a) {
                case 0:
                    bytes = monitor->RetCancNFe("2", key, "101", "141000000000999");
                    told = "Sucesso: A NF-e " + key + " foi cancelada com Sucesso !\r\n\r\nProtocolo: 141000000000999";
                    break;
                case 1:
                    bytes = monitor->RetCancNFe("2", key, "220", "");
                    told = "Falhou: A NF-e " + key +
                           " não pode ser Cancelada !\r\n\r\n220 REJEIÇÃO: NF-E AUTORIZADA HÁ MAIS DE 7 DIAS (168 "
                           "HORAS)\r\n";
                    break;
                case 2:
                    bytes = "Falha na comunicação com a SEFAZ";
                    told = "Falhou: A NF-e " + key + " não pode ser Cancelada !\r\n\r\n" + bytes;
                    break;
                case 3:
                    bytes = voidingAnswer(first, last);
                    told = "Sucesso: A numeração de " + std::to_string(first) + " a " + std::to_string(last) +
                           " da série 1 foi inutilizada.\r\n\r\nProtocolo: 141100000000009";
                    break;
                default:
                    bytes = "Serviço paralisado momentaneamente";
                    told = "Falhou: A Inutilização \"" + id + "\" não foi aceita !\r\n\r\n" + bytes;
                }
                Place(id + answer.ending, bytes);
                std::string said = twoStations ? AnotherProgramTicks([] {}, "outra-estacao") : "";
                // The start that would tell it is killed before its box comes
                // up: the one after tells it.
                ASSERT_TRUE(testsupport::KilledInChild([&] {
                    poller->Tick();
                    ::raise(SIGKILL);
                }));
                TickReport here = Tick();
                said += Messages(here);
                EXPECT_EQ(said, told + "\n");
                EXPECT_TRUE(fs::is_empty(folders.retorno));
                // Told once: nothing is left to tell later.
                EXPECT_EQ(Messages(Tick()), "");
                if (a == 0) EXPECT_EQ(State(key), "Cancelada");
                if (a == 3)
                    EXPECT_EQ(Scalar("select protocolo from numeracao_inutilizada where numero_inicial = " +
                                     std::to_string(first)),
                              "141100000000009");
                // The next round asks of an authorised invoice again.
                conn.Execute("update nota_fiscal set situacao_nfe = 'Autorizada', protocolo_nfe = '141000000000077'");
            }
}
