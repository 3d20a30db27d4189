// The lookup grid and its find dialog.
#include <QTimer>

#include "billing/forms/Pesquisa.h"
#include "platform/db/SQLQuery.h"
#include "tests/billing/forms/BillingFixture.h"

namespace {

class Lookups : public billtest::Session {
protected:
    void SetUp() override {
        Session::SetUp();
        AddUser("bia", "1");
        AddUser("caio", "1");
        AddUser("Bruno", "1");
    }
    // Runs Action on the lookup grid once it is up.
    void WhenShown(std::function<void(TfrmPesquisa*)> Action) {
        QTimer::singleShot(0, qApp, [Action] {
            ASSERT_NE(frmPesquisa, nullptr);
            Action(frmPesquisa);
        });
    }
};

}  // namespace

TEST_F(Lookups, TheChosenRowsKeyComesBackAndCancelGivesNothing) {
    WhenShown([](TfrmPesquisa* f) {
        EXPECT_EQ(f->Caption(), "Pesquisar - Usuario");
        EXPECT_EQ(f->StatusBar->Panels(1)->Text(), "4");
        EXPECT_EQ(f->dsMain->DataSet()->FieldByName("nome")->DisplayLabel(), "Nome");
        f->dsMain->DataSet()->Locate("id_usuario", "caio", {});
        f->mnuOkClick(nullptr);
    });
    EXPECT_EQ(Pesquisa_Usuario(), "caio");

    WhenShown([](TfrmPesquisa* f) { f->BitBtn2Click(nullptr); });
    EXPECT_EQ(Pesquisa_Usuario(), "");
}

TEST_F(Lookups, AnEmptyQueryShowsABlankCountAndOkReturnsNothing) {
    WhenShown([](TfrmPesquisa* f) {
        EXPECT_EQ(f->StatusBar->Panels(1)->Text(), " ");
        f->mnuOkClick(nullptr);
    });
    EXPECT_EQ(Pesquisa_cfop(), "");
}

TEST_F(Lookups, AColumnTheQueryLacksIsAnError) {
    EXPECT_ANY_THROW(billing::forms::Pesquisa({"X", "select id_usuario from usuario", "id_usuario", ""},
                                              {"nao_existe;Nada"}));
}

TEST_F(Lookups, TypingALetterOpensTheFindDialogWithThatLetter) {
    WhenShown([](TfrmPesquisa* f) {
        QTimer::singleShot(0, qApp, [f] {
            ASSERT_NE(frmLocalizar, nullptr);
            EXPECT_EQ(frmLocalizar->edtLocalizar->Text(), "b");
            EXPECT_EQ(frmLocalizar->edtLocalizar->SelStart(), 1);
            EXPECT_EQ(frmLocalizar->cbFields->Text(), "Nome");  // the default column
            frmLocalizar->edtLocalizar->SetText("nome de c");
            frmLocalizar->btnOkClick(nullptr);
            QTimer::singleShot(0, qApp, [f] { f->mnuOkClick(nullptr); });
        });
        char32_t key = U'b';
        f->dbGridKeyPress(f->dbGrid, key);
        EXPECT_EQ(key, 0u);
    });
    EXPECT_EQ(Pesquisa_Usuario(), "caio");
}

TEST_F(Lookups, WholeFieldAndCaseSensitiveFindOnlyExactValues) {
    TSQLQuery query(nullptr);
    query.SetConnection(dmdb->ADOConnection);
    query.SetSQL("select id_usuario, nome from usuario order by id_usuario");
    query.Open();
    query.First();
    TfrmLocalizar find(nullptr);
    find.dsMain->SetDataSet(&query);
    find.CampoDefault = "id_usuario";
    find.FormShow(&find);
    EXPECT_EQ(find.cbFields->Text(), query.FieldByName("id_usuario")->DisplayLabel());
    find.cbCoincidir->SetItemIndex(1);  // Campo Inteiro
    find.chkMaiscula->SetChecked(true);
    find.edtLocalizar->SetText("bruno");
    find.btnOkClick(nullptr);
    EXPECT_EQ(query.FieldByName("id_usuario")->AsString(), "Admin");  // not found: stays
    find.edtLocalizar->SetText("Bruno");
    find.btnOkClick(nullptr);
    EXPECT_EQ(query.FieldByName("id_usuario")->AsString(), "Bruno");
    // Partial and case-insensitive: the start of the value is enough.
    find.cbCoincidir->SetItemIndex(0);
    find.chkMaiscula->SetChecked(false);
    find.edtLocalizar->SetText("CA");
    find.btnOkClick(nullptr);
    EXPECT_EQ(query.FieldByName("id_usuario")->AsString(), "caio");
}
