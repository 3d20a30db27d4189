// The settings form's save against a failed write at each step of the
// disk's work and against the program dying after each write: the one
// settings row is the old one or the new one, never half of each, and the
// clerk reads one message.
#include <sqlite3.h>

#include "billing/forms/Nota115.h"
#include "tests/billing/forms/FaultFixture.h"

namespace {

class SettingsSaveFaults : public billtest::FaultSessionOn<billtest::MdiSession>,
                           public ::testing::WithParamInterface<int> {
protected:
    void ReleaseForms() override {
        if (form != nullptr && form->qryOpcao->State() != dsBrowse) form->qryOpcao->Cancel();
        delete form;
        form = nullptr;
    }
    void TearDown() override {
        ReleaseForms();
        MdiSession::TearDown();
    }
    // Every kind of column the row holds, changed at once.
    void TypeSettings() {
        form = new TfrmNota115(nullptr);
        form->DoCreate();
        form->Show();
        form->DBButton1->Click();
        auto set = [this](const char* name, const std::string& value) {
            form->qryOpcao->FieldByName(name)->SetAsString(value);
        };
        form->qryOpcao->FieldByName("copias_danfe")->SetAsInteger(2);
        set("tipo_impressao_danfe", "2 - Paisagem");
        set("ambiente", "2 - Homologação");
        set("pasta_nfe_envio", dir.file("nfe/envio"));
        set("pasta_nfe_retorno", dir.file("nfe/retorno"));
        set("arquivo_certificado_digital", dir.file("certificado.pfx"));
        form->qryOpcao->FieldByName("limite_credito")->SetAsFloat(1500.75);
        form->qryOpcao->FieldByName("dias_protesto")->SetAsInteger(5);
        set("pode_alterar_serie", "Sim");
        set("id_cliente", "1234567");
    }
    const std::vector<std::string> tables{"opcao"};
    TfrmNota115* form = nullptr;
};

TEST_P(SettingsSaveFaults, TheSettingsRowIsSavedWholeOrNotAtAll) {
    billtest::SavePath path{[this] { TypeSettings(); }, [this] { form->DBButton2->Click(); }, tables, "", ""};
    billtest::SweepFigures f = Sweep(path, GetParam(), 1);
    EXPECT_GT(f.refused, 0);
    // A refused save keeps the typed values for the retry, and the folders
    // in force follow what the file holds.
    EXPECT_EQ(dmdb->Get_Var("pasta_nfe_envio"), dir.file("nfe/envio"));
    RecordProperty("operations", f.operations);
}

TEST_F(SettingsSaveFaults, ASettingsSaveKilledAtAnyWriteIsWholeOrAbsentAtTheNextStart) {
    billtest::SavePath path{[this] { TypeSettings(); }, [this] { form->DBButton2->Click(); }, tables, "", ""};
    int kills = KillSweep(path, 1);
    EXPECT_GT(kills, 0);
    RecordProperty("kills", kills);
}

INSTANTIATE_TEST_SUITE_P(Codes, SettingsSaveFaults, ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL),
                         [](const auto& info) { return testsupport::FaultCodeName(info.param); });

}  // namespace
