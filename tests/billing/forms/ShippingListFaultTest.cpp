// The shipping list's save and delete against a failed write at each step
// of the disk's work and against the program dying right after each write:
// the list, its items and the settings' counter are in the file all together
// or not at all, and the clerk is told once.
#include <sqlite3.h>

#include "billing/forms/Nota201.h"
#include "tests/billing/forms/DocumentFixture.h"
#include "tests/billing/forms/FaultFixture.h"

using namespace billing::forms;

namespace {

// CI fails every second write and kills after every third (the first and
// the last always); FAT_FAULT_ALL=1 takes every one.
constexpr int kFailStep = 2;
constexpr int kKillStep = 3;

const char* const kSaveFailed = "Não foi possível salvar o Romaneio; nada foi gravado.";
const char* const kDeleteFailed = "Não foi possível excluir o Romaneio; nada foi apagado.";

class ShippingListFaultBase : public billtest::FaultSessionOn<billtest::DocumentSession> {
protected:
    void ReleaseForms() override { owner.reset(); }
    // The counter lives in the settings row: it moves with a new list.
    const std::vector<std::string> tables{"romaneio", "romaneio_item", "opcao"};
    DocumentCore* core = nullptr;

    void TypeList() {
        core = Lists();
        core->Header()->Insert();
        AddItem(core, 2, "1", 10);
        AddItem(core, 1, "7", 3);
        AddItem(core, 4, "1", 2.5);
        core->Field("Valor_Desconto")->SetAsFloat(1.5);
        core->Calcula_Total_Nota();
    }
    // List 120 stored, as the edit and the delete find it.
    void StoreList() {
        TypeList();
        core->Header()->Post();
        owner.reset();
    }
    void FindList() {
        core = Lists();
        ASSERT_TRUE(core->Header()->Locate("Id_Romaneio", Variant(120), {}));
    }

    billtest::SavePath NewList() {
        return {[this] { TypeList(); }, [this] { core->Header()->Post(); }, tables, kSaveFailed, ""};
    }
    billtest::SavePath EditedList() {
        return {[this] {
                    FindList();
                    core->Header()->Edit();
                    core->Items()->First();
                    core->DeleteItem();
                    AddItem(core, 6, "7", 3.25);
                    core->Field("Observacao")->SetAsString("Entregar cedo");
                    core->Calcula_Total_Nota();
                },
                [this] { core->Header()->Post(); }, tables, kSaveFailed, ""};
    }
    billtest::SavePath DeletedList() {
        return {[this] { FindList(); }, [this] { core->Header()->Delete(); }, tables, kDeleteFailed, ""};
    }
};

class ShippingListSaveFaults : public ShippingListFaultBase, public ::testing::WithParamInterface<int> {};

TEST_P(ShippingListSaveFaults, ANewListWithItsCounterIsSavedWholeOrNotAtAll) {
    billtest::SweepFigures f = Sweep(NewList(), GetParam(), kFailStep);
    EXPECT_GT(f.refused, 0);
    RecordProperty("operations", f.operations);
    RecordProperty("runs", f.runs);
}

TEST_P(ShippingListSaveFaults, AnEditedListKeepsItsOldItemsOrGetsAllTheNewOnes) {
    StoreList();
    billtest::SweepFigures f = Sweep(EditedList(), GetParam(), kFailStep);
    EXPECT_GT(f.refused, 0);
    RecordProperty("operations", f.operations);
    RecordProperty("runs", f.runs);
}

TEST_P(ShippingListSaveFaults, ADeletedListGoesWithItsItemsOrStaysWhole) {
    StoreList();
    billtest::SweepFigures f = Sweep(DeletedList(), GetParam(), kFailStep);
    EXPECT_GT(f.refused, 0);
    RecordProperty("operations", f.operations);
    RecordProperty("runs", f.runs);
}

INSTANTIATE_TEST_SUITE_P(Codes, ShippingListSaveFaults, ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL),
                         [](const auto& info) { return testsupport::FaultCodeName(info.param); });

class ShippingListKills : public ShippingListFaultBase {};

TEST_F(ShippingListKills, ANewListKilledAtAnyWriteIsWholeOrAbsentAtTheNextStart) {
    int kills = KillSweep(NewList(), kKillStep);
    EXPECT_GT(kills, 0);
    RecordProperty("kills", kills);
}

TEST_F(ShippingListKills, AnEditedListKilledAtAnyWriteIsOldOrNewAtTheNextStart) {
    StoreList();
    int kills = KillSweep(EditedList(), kKillStep);
    EXPECT_GT(kills, 0);
    RecordProperty("kills", kills);
}

TEST_F(ShippingListKills, ADeletedListKilledAtAnyWriteIsWholeOrGoneAtTheNextStart) {
    StoreList();
    int kills = KillSweep(DeletedList(), kKillStep);
    EXPECT_GT(kills, 0);
    RecordProperty("kills", kills);
}

// The window asks "Deseja salvar as alterações ?" when it closes with a list
// typed: Yes saves it as the save button does.
class ShippingListWindowFaults : public billtest::FaultSessionOn<billtest::DocumentSessionOn<billtest::MdiSession>>,
                                 public ::testing::WithParamInterface<int> {
protected:
    void ReleaseForms() override {
        delete form;
        form = nullptr;
    }
    void TearDown() override {
        ReleaseForms();
        DocumentSessionOn::TearDown();
    }
    TfrmNota201* form = nullptr;
};

TEST_P(ShippingListWindowFaults, ClosingWithYesSavesTheListWholeOrKeepsTheWindowAndTheList) {
    billtest::SavePath path{[this] {
                                form = new TfrmNota201(nullptr);
                                form->Core->Clock = [] { return EncodeDateTime(2010, 6, 15, 9, 41, 27, 0); };
                                form->DoCreate();
                                form->Show();
                                form->btnInsert->Click();
                                AddItem(form->Core, 2, "1", 10);
                                AddItem(form->Core, 1, "7", 3);
                            },
                            [this] {
                                form->Close();
                                // The window stays, with the list, when the save failed.
                                if (form->Core->Editing()) Abort();
                            },
                            {"romaneio", "romaneio_item", "opcao"},
                            kSaveFailed,
                            "",
                            "Deseja salvar as alterações ?"};
    billtest::SweepFigures f = Sweep(path, GetParam(), kFailStep);
    EXPECT_GT(f.refused, 0);
    RecordProperty("operations", f.operations);
    RecordProperty("runs", f.runs);
}

INSTANTIATE_TEST_SUITE_P(Codes, ShippingListWindowFaults, ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL),
                         [](const auto& info) { return testsupport::FaultCodeName(info.param); });

}  // namespace
