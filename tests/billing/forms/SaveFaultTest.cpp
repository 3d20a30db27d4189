// Save paths against a failed write at each step of the disk's work: an
// invoice with its series counter and its items, a user with its rights and
// a carrier are written all together or not at all, and the clerk is told
// once.
#include <sqlite3.h>

#include "billing/forms/Nota103.h"
#include "billing/forms/Nota111.h"
#include "tests/billing/forms/DocumentFixture.h"
#include "tests/billing/forms/FaultFixture.h"
#include "tests/billing/forms/RegisterFixture.h"

using namespace billing::forms;

namespace {

class InvoiceSaveFaults : public billtest::FaultSessionOn<billtest::DocumentSession>,
                          public ::testing::WithParamInterface<int> {
protected:
    void ReleaseForms() override { owner.reset(); }
    const std::vector<std::string> tables{"nota_fiscal", "nota_fiscal_item", "serie_documento"};
    DocumentCore* core = nullptr;
    std::string key;

    // The access key carries a random code: every run of a sweep gets the
    // one made first, so that the runs' rows compare.
    DocumentCore* OpenInvoices() {
        core = Invoices();
        auto real = Invoice(core).MakeKey;
        Invoice(core).MakeKey = [this, real](int n, int s, TDateTime d) {
            if (key.empty()) key = real(n, s, d);
            return key;
        };
        return core;
    }
    void TypeInvoice() {
        OpenInvoices();
        core->Header()->Insert();
        AddItem(core, 1, "1", 10);
        AddItem(core, 2, "7", 5);
        AddItem(core, 3, "1", 2.5);
    }
    void Post() { core->Header()->Post(); }
    // Invoice 57 with its three items, stored before the path under test.
    void SavedInvoice() {
        TypeInvoice();
        dialogs.Answer(mrNo);
        Post();
    }
    billtest::SavePath EditPath() {
        return {[this] {
                    OpenInvoices();
                    ASSERT_TRUE(core->Header()->Locate("Id_Nota_Fiscal", Variant(57), {}));
                    core->Header()->Edit();
                    core->Items()->First();
                    core->DeleteItem();
                    AddItem(core, 4, "1", 11);
                    core->Field("Valor_Frete")->SetAsFloat(3);
                    core->Calcula_Total_Nota();
                },
                [this] { Post(); }, tables, "Não foi possível salvar a Nota Fiscal; nada foi gravado.", MsgTransmitir};
    }
    billtest::SavePath DeletePath() {
        return {[this] {
                    OpenInvoices();
                    ASSERT_TRUE(core->Header()->Locate("Id_Nota_Fiscal", Variant(57), {}));
                },
                [this] { core->Header()->Delete(); }, tables, "Não foi possível excluir a Nota Fiscal; nada foi apagado.",
                ""};
    }
};

TEST_P(InvoiceSaveFaults, ANewInvoiceIsSavedWholeOrNotAtAll) {
    billtest::SavePath path{[this] { TypeInvoice(); }, [this] { Post(); }, tables,
                            "Não foi possível salvar a Nota Fiscal; nada foi gravado.", MsgTransmitir};
    billtest::SweepFigures f = Sweep(path, GetParam(), 1);
    EXPECT_GT(f.refused, 0);
    RecordProperty("operations", f.operations);
}

TEST_P(InvoiceSaveFaults, AnEditedInvoiceKeepsItsOldItemsOrGetsAllTheNewOnes) {
    SavedInvoice();
    billtest::SweepFigures f = Sweep(EditPath(), GetParam(), 1);
    EXPECT_GT(f.refused, 0);
}

TEST_P(InvoiceSaveFaults, ADeletedInvoiceGoesWithAllItsItemsOrStaysWhole) {
    SavedInvoice();
    billtest::SweepFigures f = Sweep(DeletePath(), GetParam(), 1);
    EXPECT_GT(f.refused, 0);
}

TEST_F(InvoiceSaveFaults, AnEditedInvoiceKilledAtAnyWriteHasItsOldItemsOrAllTheNewOnesAtTheNextStart) {
    SavedInvoice();
    EXPECT_GT(KillSweep(EditPath(), 1), 0);
}

TEST_F(InvoiceSaveFaults, ADeletedInvoiceKilledAtAnyWriteIsWholeOrGoneWithItsItemsAtTheNextStart) {
    SavedInvoice();
    EXPECT_GT(KillSweep(DeletePath(), 1), 0);
}

class UserSaveFaults : public billtest::FaultSessionOn<billtest::MdiSession>,
                       public ::testing::WithParamInterface<int> {
protected:
    void ReleaseForms() override {
        if (form != nullptr && form->qryUsuario->State() != dsBrowse) form->qryUsuario->Cancel();
        delete form;
        form = nullptr;
    }
    void TearDown() override {
        ReleaseForms();
        MdiSession::TearDown();
    }
    void Tick(const std::string& Program, const std::string& Value) {
        ASSERT_TRUE(form->tbTemp->Locate("Id_programa", Program, {}));
        form->tbTemp->Edit();
        form->tbTemp->FieldByName("Permitido")->SetAsString(Value);
        form->tbTemp->Post();
    }
    void StoredUser() {
        AddUser("davi", "x");
        Grant("davi", "NOTA101");
        Grant("davi", "NOTA103");
    }
    billtest::SavePath EditPath() {
        return {[this] {
                    form = new TfrmNota111(nullptr);
                    form->DoCreate();
                    form->Show();
                    ASSERT_TRUE(form->qryUsuario->Locate("Id_Usuario", "davi", {}));
                    form->btnEdit->Click();
                    form->qryUsuario->FieldByName("Nome")->SetAsString("Davi Rocha");
                    form->Marca("Não");
                    Tick("NOTA100", "Sim");
                    Tick("NOTA103", "Sim");
                    Tick("NOTA114", "Sim");
                },
                [this] { form->btnSave->Click(); }, {"usuario", "usuario_programa"}, "", ""};
    }
    TfrmNota111* form = nullptr;
};

TEST_P(UserSaveFaults, AUserAndItsRightsAreSavedTogetherOrNotAtAll) {
    StoredUser();
    billtest::SweepFigures f = Sweep(EditPath(), GetParam(), 1);
    EXPECT_GT(f.refused, 0);
}

TEST_F(UserSaveFaults, AUserEditKilledAtAnyWriteHasItsOldRightsOrAllTheNewOnesAtTheNextStart) {
    StoredUser();
    EXPECT_GT(KillSweep(EditPath(), 1), 0);
}

class CarrierSaveFaults : public billtest::FaultSessionOn<billtest::RegisterSession<TfrmNota103>>,
                          public ::testing::WithParamInterface<int> {
protected:
    void ReleaseForms() override {
        if (form != nullptr && form->qry->State() != dsBrowse) form->qry->Cancel();
        delete form;
        form = nullptr;
    }
};

TEST_P(CarrierSaveFaults, ANewCarrierIsSavedOrNotAtAll) {
    billtest::SavePath path{[this] {
                                Open();
                                form->btnInsert->Click();
                                Set("Nome", "Transportes Rápidos");
                                Set("Natureza", "Física");
                                Set("CPF_CNPJ", "52998224725");
                                Set("Endereco", "Rodovia 10, km 3");
                                F("Id_Municipio")->SetAsInteger(3509502);
                                form->Mostra_Tudo();
                            },
                            [this] { form->btnSave->Click(); }, {"transportador"}, "", ""};
    billtest::SweepFigures f = Sweep(path, GetParam(), 1);
    EXPECT_GT(f.refused, 0);
}

INSTANTIATE_TEST_SUITE_P(Codes, UserSaveFaults, ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL),
                         [](const auto& info) { return testsupport::FaultCodeName(info.param); });
INSTANTIATE_TEST_SUITE_P(Codes, CarrierSaveFaults, ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL),
                         [](const auto& info) { return testsupport::FaultCodeName(info.param); });
INSTANTIATE_TEST_SUITE_P(Codes, InvoiceSaveFaults, ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL),
                         [](const auto& info) { return testsupport::FaultCodeName(info.param); });

}  // namespace
