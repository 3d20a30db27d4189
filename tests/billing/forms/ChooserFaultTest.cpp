// The database chooser's "create a new database" against a failed write at
// each step of the disk's work: the new file is whole or absent, nothing
// half-made stays in the folder, and the clerk reads one message.
#include <sqlite3.h>

#include "billing/data/Schema.h"
#include "billing/forms/Nota220.h"
#include "tests/billing/forms/BillingFixture.h"
#include "tests/support/DbCheck.h"
#include "tests/support/FaultVfs.h"

namespace {

class ChooserFaults : public billtest::Session, public ::testing::WithParamInterface<int> {
protected:
    testsupport::FaultVfs vfs;
};

TEST_P(ChooserFaults, ANewDatabaseFromTheChooserIsWholeOrAbsentAndAFailureIsToldOnce) {
    const int code = GetParam();
    const std::string reference = dir.file("referencia.db");
    vfs.Count();
    ASSERT_TRUE(billing::data::CreateDatabaseFile(reference));
    vfs.Off();
    const int total = vfs.Operations();
    const std::string whole = testsupport::DumpSchema(reference) +
                              testsupport::DumpTables(reference, testsupport::TableNames(reference));
    int refused = 0;
    const std::vector<int> plan = testsupport::FaultPlan(total, std::max(1, total / 12));
    for (int n : plan) {
        SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(total));
        testsupport::TempDir folder;
        const std::string path = folder.file("nova empresa.db");
        TfrmSelecionarBancoDados chooser(nullptr);
        chooser.dbeDatabase->SetText(path);
        // The question is answered Yes and any box after it OK; what each
        // said is judged below.
        ui::ScriptedDialogs script([](const std::string&) {});
        script.Answer(mrYes);
        script.Answer(mrOk);
        vfs.Fail(n, code);
        chooser.Button1->Click();
        vfs.Off();
        EXPECT_TRUE(vfs.Faulted());
        const auto& shown = script.Shown();
        ASSERT_GE(shown.size(), 1u);
        EXPECT_NE(shown[0].text.find("Deseja criar um novo Banco de Dados"), std::string::npos);
        if (chooser.ModalResult() == mrOk) {
            EXPECT_EQ(shown.size(), 1u);
            testsupport::DbCheck check = testsupport::CheckDatabase(path, {});
            EXPECT_EQ(check.integrity, "ok");
            EXPECT_EQ(testsupport::DumpSchema(path) + testsupport::DumpTables(path, testsupport::TableNames(path)),
                      whole);
            EXPECT_EQ(dmdb->Get_Var("nome_banco_dados"), path);
        } else {
            ++refused;
            ASSERT_EQ(shown.size(), 2u);
            EXPECT_EQ(shown[1].caption, "Erro");
            EXPECT_EQ(shown[1].text.rfind("Não foi possível criar o Banco de Dados \"" + path + "\".", 0), 0u)
                << shown[1].text;
            EXPECT_FALSE(std::filesystem::exists(path));
            EXPECT_EQ(dmdb->Get_Var("nome_banco_dados"), database);
        }
        EXPECT_EQ(testsupport::LeftoversOf(path), std::vector<std::string>{}) << vfs.FaultedOperation();
    }
    EXPECT_GT(refused, 0);
    RecordProperty("operations", total);
    RecordProperty("runs", static_cast<int>(plan.size()));
}

INSTANTIATE_TEST_SUITE_P(Codes, ChooserFaults, ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL),
                         [](const auto& info) { return testsupport::FaultCodeName(info.param); });

}  // namespace
