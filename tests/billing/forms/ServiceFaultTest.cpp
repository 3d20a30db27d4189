// Save paths outside the registers against a failed write and a kill at
// each step of the disk's work: the password change, a user-log line, the
// manual NF-e correction, and the answer poller applying an answer and then
// moving its file (batch number, late cancellation, voiding). Each writes
// all of its rows or none; a refused answer stays in the return folder and
// the next tick applies it, so an answer is never lost.
#include <sqlite3.h>

#include <filesystem>

#include "billing/forms/Nota223.h"
#include "billing/nfe/AnswerPoller.h"
#include "billing/nfe/NFeServices.h"
#include "tests/billing/forms/FaultFixture.h"
#include "tests/billing/nfe/fake/FakeMonitor.h"
#include "tests/billing/nfe/fake/SampleDatabase.h"

namespace fs = std::filesystem;

namespace {

class ServiceFaults : public billtest::FaultSessionOn<billtest::Session>, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        FaultSessionOn::SetUp();
        // The log's clock stands still, so that a retry's line compares with
        // the counting run's.
        dmdb->ADOConnection->Execute("create trigger relogio_parado after insert on usuario_log begin "
                                     "update usuario_log set data = '2010-06-15', hora = '09:41:00' "
                                     "where rowid = new.rowid; end");
    }
    void ReleaseForms() override {
        if (change != nullptr) change->Close();
        change = nullptr;
        billtest::Pump();
    }
    void TearDown() override {
        ReleaseForms();
        Session::TearDown();
    }
    void Record(const char* Path, const billtest::SweepFigures& F) {
        RecordProperty(std::string(Path) + "_operations", F.operations);
        RecordProperty(std::string(Path) + "_runs", F.runs);
        if (std::getenv("FAT_FAULT_FIGURES"))
            std::fprintf(stderr, "%s: %d operations, %d runs, %d refused\n", Path, F.operations, F.runs, F.refused);
    }
    // An invoice left in "Erro" and the correction that authorises it.
    static billing::nfe::CorrecaoNFe InvoiceInErrorAndItsCorrection() {
        dmdb->ADOConnection->Execute("insert into nota_fiscal(id_registro, id_nota_fiscal, id_serie_documento, "
                                     "situacao_nfe) values('0010000020', 20, 1, 'Erro')");
        billing::nfe::CorrecaoNFe row;
        row.serie = 1;
        row.numero = 20;
        row.protocolo = "141000000000020";
        row.situacao = "Autorizada";
        return row;
    }
    TFrmNota223* change = nullptr;
};

class PollerFaults : public ServiceFaults {
protected:
    void SetUp() override {
        ServiceFaults::SetUp();
        folders = nfetest::MakeFolders(dir.path().string() + "/nfe");
        config.pasta_nfe_envio = folders.envio;
        config.pasta_nfe_retorno = folders.retorno;
        config.pasta_nfe_arquivamento = folders.arquivamento;
        config.pasta_nfe_erro = folders.erro;
        config.ambiente = "2 - Homologação";
        billing::nfe::AnswerPoller::Services s;
        s.db = dmdb->ADOConnection;
        s.config = [this] { return config; };
        s.check_monitor = [](const billing::nfe::NFeConfig&) { return true; };
        s.start_danfe = [](const billing::nfe::NFeConfig&, const billing::nfe::DanfeCommand&) { return true; };
        poller = std::make_unique<billing::nfe::AnswerPoller>(s);
    }
    // The answer in the return folder and nothing in the error folder, as
    // before the tick; then the tick. A tick that could not write its
    // answer is told in a box and counts as refused.
    billtest::SavePath Answer(const std::string& Name, const std::string& Text) {
        return {[this, Name, Text] {
                    for (const auto& e : fs::directory_iterator(folders.erro)) fs::remove(e.path());
                    testsupport::WriteAll(folders.retorno + "/" + Name, Text);
                },
                [this, Name] {
                    billing::nfe::TickReport r = poller->Tick();
                    if (r.waiting > 0) {
                        EXPECT_TRUE(fs::exists(folders.retorno + "/" + Name)) << "a refused answer stays";
                        ui::Dialogs().Show({ui::BoxKind::Message, "Erro", r.messages.front().text, mtError});
                        Abort();
                    }
                    EXPECT_EQ(r.handled, 1);
                    EXPECT_FALSE(fs::exists(folders.retorno + "/" + Name)) << "applied once";
                },
                {"nota_fiscal"},
                "Não foi possível gravar no Banco de Dados a resposta do Monitor de NF-e",
                ""};
    }
    std::string Key(int Numero, const std::string& State) {
        return nfetest::InsertInvoice(*dmdb->ADOConnection, 1, Numero, EncodeDate(2010, 6, 15), State);
    }

    nfetest::NFeFolders folders;
    billing::nfe::NFeConfig config;
    std::unique_ptr<billing::nfe::AnswerPoller> poller;
    nfetest::FakeMonitor* monitor = nullptr;
};

}  // namespace

TEST_P(ServiceFaults, APasswordChangeIsSavedOrNotAtAll) {
    AddUser("ana", "velha");
    dmdb->Set_Var("id_usuario", "ana");
    billtest::SavePath path{[this] {
                                change = new TFrmNota223(nullptr);
                                change->FormShow(change);
                                change->edtAtual->SetText("velha");
                                change->edtNova->SetText("nova");
                                change->edtRedigita->SetText("nova");
                            },
                            [this] { change->btnOkClick(nullptr); change = nullptr; },
                            {"usuario"},
                            "",
                            "Sua senha foi alterada com sucesso."};
    billtest::SweepFigures f = Sweep(path, GetParam(), 1);
    EXPECT_GT(f.refused, 0);
    Record("password", f);
}

TEST_P(ServiceFaults, AUserLogLineIsWrittenOrNotAtAll) {
    billtest::SavePath path{[] {}, [] { dmdb->Usuario_Log("NOTA220", "Usuário fez o Login no Sistema"); },
                            {"usuario_log"}, "", ""};
    billtest::SweepFigures f = Sweep(path, GetParam(), 1);
    EXPECT_GT(f.refused, 0);
    Record("user_log", f);
}

TEST_P(ServiceFaults, AManualNFeCorrectionAndItsLogLineAreWrittenTogetherOrNotAtAll) {
    const billing::nfe::CorrecaoNFe row = InvoiceInErrorAndItsCorrection();
    billtest::SavePath path{[] {}, [row] { billing::nfe::GravarCorrecao(*dmdb, row); },
                            {"nota_fiscal", "usuario_log"}, "", ""};
    billtest::SweepFigures f = Sweep(path, GetParam(), 1);
    EXPECT_GT(f.refused, 0);
    Record("nfe_correction", f);
}

TEST_F(ServiceFaults, KilledAtAnyWriteThePasswordLogAndCorrectionAreOldOrNew) {
    AddUser("ana", "velha");
    const billing::nfe::CorrecaoNFe row = InvoiceInErrorAndItsCorrection();
    int kills = KillSweep({[] {},
                           [] {
                               dmdb->ADOConnection->Execute("update usuario set senha = 'x' where id_usuario = 'ana'");
                           },
                           {"usuario"}, "", ""},
                          1);
    kills += KillSweep({[] {}, [] { dmdb->Usuario_Log("NOTA220", "Login"); }, {"usuario_log"}, "", ""}, 1);
    kills += KillSweep({[] {}, [row] { billing::nfe::GravarCorrecao(*dmdb, row); }, {"nota_fiscal", "usuario_log"},
                        "", ""},
                       1);
    EXPECT_GT(kills, 0);
    RecordProperty("kills", kills);
}

TEST_P(PollerFaults, AnAnswerIsAppliedOnceAndARefusedOneIsAppliedAtTheNextTick) {
    const std::string lot = Key(31, "Gerada");
    const std::string cancelled = Key(32, "Autorizada");
    Key(33, "Em Digitação");
    nfetest::FakeMonitor fake({folders.envio, folders.retorno, folders.arquivamento});
    struct Case {
        const char* name;
        std::string file, text;
    } cases[] = {
        {"batch_number", lot + "-num-lot.xml", fake.NumeroLote(31)},
        {"late_cancellation", cancelled + "-can.xml", fake.RetCancNFe("2", cancelled, "101", "141000000000032")},
        {"voiding", "ID4110-inu.xml",
         "<retInutNFe><infInut><cStat>102</cStat><xMotivo>Homologado</xMotivo><serie>1</serie>"
         "<nNFIni>33</nNFIni><nNFFin>33</nNFFin><nProt>141000000000033</nProt></infInut></retInutNFe>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        billtest::SweepFigures f = Sweep(Answer(c.file, c.text), GetParam(), 1);
        EXPECT_GT(f.refused, 0);
        Record(c.name, f);
    }
}

TEST_F(PollerFaults, KilledAtAnyWriteAnAnswerIsAppliedOrStillWaiting) {
    const std::string cancelled = Key(32, "Autorizada");
    nfetest::FakeMonitor fake({folders.envio, folders.retorno, folders.arquivamento});
    const std::string name = cancelled + "-can.xml";
    billtest::SavePath path = Answer(name, fake.RetCancNFe("2", cancelled, "101", "141000000000032"));
    bool mixed = false;
    int kills = KillSweep(path, 1, &mixed);
    EXPECT_FALSE(mixed);
    EXPECT_GT(kills, 0);
    // Whatever a kill left, the answer is either applied or still there.
    if (Scalar("select situacao_nfe from nota_fiscal where numero_nfe = '" + cancelled + "'") != "Cancelada") {
        EXPECT_TRUE(fs::exists(folders.retorno + "/" + name));
    }
    RecordProperty("kills", kills);
}

INSTANTIATE_TEST_SUITE_P(Codes, ServiceFaults, ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL),
                         [](const auto& info) { return testsupport::FaultCodeName(info.param); });
INSTANTIATE_TEST_SUITE_P(Codes, PollerFaults, ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL),
                         [](const auto& info) { return testsupport::FaultCodeName(info.param); });
