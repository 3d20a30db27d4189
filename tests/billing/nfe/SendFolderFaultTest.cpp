// The files handed to the monitor against a full disk at each write and a
// kill between each step: the NF-e itself and every request file are either
// the one that was there or the complete new one, never a part the monitor
// could pick up, and a failure is told in Portuguese naming the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "billing/nfe/NFeError.h"
#include "billing/nfe/NFeWriter.h"
#include "billing/nfe/Requests.h"
#include "tests/billing/nfe/Samples.h"
#include "tests/billing/nfe/fake/FakeWaitClock.h"
#include "tests/platform/rtl/FileFaultSupport.h"
#include "tests/support/TestSupport.h"

using namespace billing::nfe;
namespace fs = std::filesystem;

namespace {

const std::string kKey = "35080599999090910270550010000000015180051273";

// One file the program puts in the send folder: its name and how it is made.
struct Request {
    const char* name;
    std::string file;  // under the send folder, or the monitor's folder for the last batch
    std::function<void(const NFeConfig&, nfetest::FakeWaitClock&, std::unique_ptr<AnswerWait>&)> write;
};

const std::vector<Request>& Requests() {
    static const std::vector<Request> list = {
        {"NFe", NFeFileName("41100612345678000195550010000001230029714081"),
         [](const NFeConfig& c, nfetest::FakeWaitClock&, std::unique_ptr<AnswerWait>&) {
             NFeDocument doc = nfetest::SampleDocument();
             doc.nota.numero_nfe = "41100612345678000195550010000001230029714081";
             Transmitir_NFE(c, doc);
         }},
        {"BatchReceipt", "411000012345678-ped-rec.xml",
         [](const NFeConfig& c, nfetest::FakeWaitClock&, std::unique_ptr<AnswerWait>&) {
             Consultar_Situacao_Lote(c, "411000012345678");
         }},
        {"ServiceStatus", "20090305T090507-ped-sta.xml",
         [](const NFeConfig& c, nfetest::FakeWaitClock& clock, std::unique_ptr<AnswerWait>& wait) {
             wait = Consultar_Status_Servico(c, "41", [](const std::string&, const std::string&) {},
                                             EncodeDateTime(2009, 3, 5, 9, 5, 7, 0), clock.Services());
         }},
        {"InvoiceStatus", kKey + "-ped-sit.xml",
         [](const NFeConfig& c, nfetest::FakeWaitClock& clock, std::unique_ptr<AnswerWait>& wait) {
             wait = Consultar_Situacao_NFE(c, kKey, [](const std::string&, const std::string&) {}, clock.Services());
         }},
        {"Voiding", "41101234567800019555001000000010000000012-ped-inu.xml",
         [](const NFeConfig& c, nfetest::FakeWaitClock&, std::unique_ptr<AnswerWait>&) {
             Inutilizar_NFE(c, {"41", "12345678000195"}, 1, 10, 12, "Numeração pulada na emissão",
                            EncodeDate(2010, 6, 15));
         }},
        {"Cancellation", kKey + "-ped-can.xml",
         [](const NFeConfig& c, nfetest::FakeWaitClock&, std::unique_ptr<AnswerWait>&) {
             Cancelar_NFE(c, kKey, "141000000000020", "Cliente desistiu da compra");
         }},
        {"LastBatch", "../monitor/uninfelote.xml",
         [](const NFeConfig& c, nfetest::FakeWaitClock&, std::unique_ptr<AnswerWait>&) {
             Verifica_Numero_Lote(c, 124);
         }},
    };
    return list;
}

class SendFolderFaults : public ::testing::TestWithParam<std::tuple<std::size_t, filefaults::Fault>> {
protected:
    void SetUp() override {
        fs::create_directory(root.path() / "envio");
        fs::create_directory(root.path() / "monitor");
        config.pasta_nfe_envio = root.file("envio");
        config.ambiente = "2 - Homologação";
        config.programs.monitor = root.file("monitor/no-such-monitor");
        config.programs.lote_file = root.file("monitor/uninfelote.xml");
    }
    const Request& Req() const { return Requests()[std::get<0>(GetParam())]; }
    std::string Target() const { return (root.path() / "envio" / Req().file).lexically_normal().string(); }

    testsupport::TempDir root;
    NFeConfig config;
    nfetest::FakeWaitClock clock;
    std::unique_ptr<AnswerWait> wait;
    std::string error;
};

std::string Name(const ::testing::TestParamInfo<std::tuple<std::size_t, filefaults::Fault>>& p) {
    return std::string(Requests()[std::get<0>(p.param)].name) +
           (std::get<1>(p.param) == filefaults::Fault::FailedWrite ? "FailedWrite" : "Killed");
}

}  // namespace

TEST_P(SendFolderFaults, TheFileIsTheOneThereBeforeOrTheCompleteNewOneAndAFailureNamesIt) {
    filefaults::FileSavePath p;
    // A request of the same name not yet picked up by the monitor.
    p.Prepare = [&] {
        wait.reset();
        testsupport::WriteAll(Target(), "<anterior/>\r\n");
        error.clear();
    };
    p.Act = [&] {
        try {
            Req().write(config, clock, wait);
        } catch (const ENFeError& e) {
            error = e.Message();
        }
        wait.reset();
    };
    p.Files = [&] { return testsupport::ReadAll(Target()); };
    p.Folders = {fs::path(Target()).parent_path()};
    p.CheckFailure = [&] {
        EXPECT_EQ(error.rfind("Não foi possível gravar o arquivo \"" + Target() + "\". Cannot write file", 0), 0u)
            << error;
    };
    filefaults::FileSweepFigures f = filefaults::Sweep(std::get<1>(GetParam()), p);
    // One write, then the rename: the monitor never sees a part.
    EXPECT_EQ(f.writes, 1);
    EXPECT_EQ(f.stops, 3);
}

INSTANTIATE_TEST_SUITE_P(Files, SendFolderFaults,
                         ::testing::Combine(::testing::Range<std::size_t>(0, 7), filefaults::BothFaults()), Name);
