// The invoice's save and delete against a failed write at each step of the
// disk's work: the invoice, its series counter and its items are written
// all together or not at all, and the clerk is told once.
#include <sqlite3.h>

#include "tests/billing/forms/FaultFixture.h"

using namespace billing::forms;

namespace {

class InvoiceSaveFaults : public billtest::FaultSessionOn<billtest::DocumentSession>,
                          public ::testing::WithParamInterface<int> {
protected:
    const std::vector<std::string> tables{"nota_fiscal", "nota_fiscal_item", "serie_documento"};
    DocumentCore* core = nullptr;

    void TypeInvoice() {
        core = Invoices();
        core->Header()->Insert();
        AddItem(core, 1, "1", 10);
        AddItem(core, 2, "7", 5);
        AddItem(core, 3, "12", 2.5);
    }
    void Post() { core->Header()->Post(); }
};

TEST_P(InvoiceSaveFaults, ANewInvoiceIsSavedWholeOrNotAtAll) {
    billtest::SavePath path{[this] { TypeInvoice(); }, [this] { Post(); }, tables,
                            "Não foi possível salvar a Nota Fiscal; nada foi gravado.", MsgTransmitir};
    billtest::SweepFigures f = Sweep(path, GetParam(), 1);
    EXPECT_GT(f.refused, 0);
    RecordProperty("operations", f.operations);
}

TEST_P(InvoiceSaveFaults, AnEditedInvoiceKeepsItsOldItemsOrGetsAllTheNewOnes) {
    TypeInvoice();
    dialogs.Answer(mrNo);
    Post();
    billtest::SavePath path{[this] {
                                core = Invoices();
                                ASSERT_TRUE(core->Header()->Locate("Id_Nota_Fiscal", Variant(57), {}));
                                core->Header()->Edit();
                                core->Items()->First();
                                core->DeleteItem();
                                AddItem(core, 4, "1", 11);
                                core->Field("Valor_Frete")->SetAsFloat(3);
                                core->Calcula_Total_Nota();
                            },
                            [this] { Post(); }, tables, "Não foi possível salvar a Nota Fiscal; nada foi gravado.",
                            MsgTransmitir};
    billtest::SweepFigures f = Sweep(path, GetParam(), 1);
    EXPECT_GT(f.refused, 0);
}

TEST_P(InvoiceSaveFaults, ADeletedInvoiceGoesWithAllItsItemsOrStaysWhole) {
    TypeInvoice();
    dialogs.Answer(mrNo);
    Post();
    billtest::SavePath path{[this] {
                                core = Invoices();
                                ASSERT_TRUE(core->Header()->Locate("Id_Nota_Fiscal", Variant(57), {}));
                            },
                            [this] { core->Header()->Delete(); }, tables,
                            "Não foi possível excluir a Nota Fiscal; nada foi apagado.", ""};
    billtest::SweepFigures f = Sweep(path, GetParam(), 1);
    EXPECT_GT(f.refused, 0);
}

INSTANTIATE_TEST_SUITE_P(Codes, InvoiceSaveFaults, ::testing::Values(SQLITE_IOERR_WRITE, SQLITE_FULL),
                         [](const auto& info) { return info.param == SQLITE_FULL ? "DiskFull" : "IoError"; });

}  // namespace
