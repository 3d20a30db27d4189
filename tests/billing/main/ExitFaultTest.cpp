// Exit's compaction against a failed write at each step of the disk's work:
// the file keeps every row and its place, and the clerk is told once that
// it was kept as it was.
#include <sqlite3.h>

#include <filesystem>

#include "tests/billing/main/MainFixture.h"
#include "tests/support/DbCheck.h"
#include "tests/support/FaultVfs.h"

namespace fs = std::filesystem;

namespace {

class ExitFaults : public billtest::MainWindow, public ::testing::WithParamInterface<int> {
protected:
    testsupport::FaultVfs vfs;
};

TEST_P(ExitFaults, ACompactionThatFailsAtAnyWriteKeepsTheFileAndSaysSoOnce) {
    const std::string path = dir.file("faturamento.db");
    Create();
    LogInAs("Admin", "truve");
    dmdb->ADOConnection->Execute("create table lixo(t text)");
    for (int i = 0; i < 120; ++i)
        dmdb->ADOConnection->Execute("insert into lixo values(:p)", {{"p", Variant(std::string(2000, 'x'))}});
    dmdb->ADOConnection->Execute("delete from lixo where rowid % 3 <> 0");
    dmdb->Fechar_Banco_Dados();
    const std::string pristine = testsupport::ReadAll(path);
    const std::vector<std::string> names = testsupport::TableNames(path);
    const std::string rows = testsupport::DumpTables(path, names);

    auto restart = [&] {
        if (dmdb->ADOConnection->Connected()) dmdb->Fechar_Banco_Dados();
        testsupport::WriteAll(path, pristine);
        dmdb->Abrir_Banco_Dados();
        Application->ClearTerminated();
    };
    restart();
    vfs.Count();
    window->mnuSairClick(nullptr);
    vfs.Off();
    const int total = vfs.Operations();
    ASSERT_LT(fs::file_size(path), pristine.size());

    int refused = 0;
    const std::vector<int> plan = testsupport::FaultPlan(total, std::max(1, total / 8));
    for (int n : plan) {
        SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(total));
        restart();
        ui::ScriptedDialogs quiet([](const std::string&) {});
        quiet.Answer(mrOk);
        vfs.Fail(n, GetParam());
        window->mnuSairClick(nullptr);
        vfs.Off();
        EXPECT_TRUE(vfs.Faulted());
        EXPECT_TRUE(Application->Terminated());
        EXPECT_FALSE(dmdb->ADOConnection->Connected());
        testsupport::DbCheck check = testsupport::CheckDatabase(path, names);
        EXPECT_EQ(check.integrity, "ok");
        EXPECT_EQ(check.dump, rows);
        EXPECT_EQ(testsupport::LeftoversOf(path, {"faturamento.ini", "NFE"}), std::vector<std::string>{});
        const auto& shown = quiet.Shown();
        if (fs::file_size(path) == pristine.size()) {
            ++refused;
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].caption, "Atenção");
            EXPECT_EQ(shown[0].text.rfind("Não foi possível compactar o Banco de Dados. O arquivo foi mantido como "
                                          "estava.",
                                          0),
                      0u)
                << shown[0].text;
        } else {
            EXPECT_TRUE(shown.empty());
        }
    }
    EXPECT_GT(refused, 0);
    RecordProperty("operations", total);
    RecordProperty("runs", static_cast<int>(plan.size()));
    Application->ClearTerminated();
}

INSTANTIATE_TEST_SUITE_P(Codes, ExitFaults, ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL),
                         [](const auto& info) { return testsupport::FaultCodeName(info.param); });

}  // namespace
