// The users form: passwords stored upper-cased and encrypted, the built-in
// user protected, and the rights saved all together or not at all.
#include <QAbstractTableModel>
#include <QTableView>
#include <QTest>

#include "billing/forms/Nota111.h"
#include "billing/forms/Nota114.h"
#include "tests/billing/forms/BillingFixture.h"
#include "tests/platform/ui/UiTestSupport.h"

namespace {

class Users : public billtest::MdiSession {
protected:
    void SetUp() override {
        MdiSession::SetUp();
        form = new TfrmNota111(nullptr);
        form->DoCreate();
        form->Show();
    }
    void TearDown() override {
        delete form;
        MdiSession::TearDown();
    }
    void Tick(const std::string& Program, const std::string& Value) {
        ASSERT_TRUE(form->tbTemp->Locate("Id_programa", Program, {}));
        form->tbTemp->Edit();
        form->tbTemp->FieldByName("Permitido")->SetAsString(Value);
        form->tbTemp->Post();
    }
    std::string Rights(const std::string& User) {
        std::string out;
        sqlite::Statement st(dmdb->ADOConnection->Database(),
                             "select id_programa from usuario_programa where id_usuario = ?1 order by id_programa");
        st.BindText(1, User);
        while (st.Step()) out += (out.empty() ? "" : " ") + st.ColumnText(0);
        return out;
    }
    void NewUser(const std::string& Id, const std::string& Password) {
        form->btnInsert->Click();
        form->qryUsuario->FieldByName("Id_Usuario")->SetAsString(Id);
        form->qryUsuario->FieldByName("Nome")->SetAsString("Nome de " + Id);
        form->qryUsuario->FieldByName("Senha")->SetAsString(Password);
    }
    TfrmNota111* form = nullptr;
};

}  // namespace

TEST_F(Users, TheBuiltInUserSeesEveryProgramAllowedAndCannotBeEditedOrDeleted) {
    ASSERT_TRUE(form->qryUsuario->Locate("Id_Usuario", "Admin", {}));
    form->Mostra_Programas();
    EXPECT_GT(form->tbTemp->RecordCount(), 10);
    for (form->tbTemp->First(); !form->tbTemp->Eof(); form->tbTemp->Next())
        EXPECT_EQ(form->tbTemp->FieldByName("Permitido")->AsString(), "Sim");

    dialogs.Expect("O usuário \"Admin\" não pode ser Editado.", mrOk, "Atenção");
    EXPECT_THROW(form->btnEdit->Click(), EAbort);
    dialogs.Expect("Confirma a exclusão do Registro ?", mrYes, "Excluir");
    dialogs.Expect("O usuário \"Admin\" não pode ser Excluído.", mrOk, "Atenção");
    EXPECT_THROW(form->btnDelete->Click(), EAbort);
    EXPECT_EQ(Count("select count(*) from usuario where id_usuario = 'Admin'"), 1);
}

TEST_F(Users, ANewUserIsStoredWithItsPasswordUpperCasedAndItsTickedRights) {
    NewUser("carla", "sEnhá");
    EXPECT_EQ(form->qryUsuario->FieldByName("Inativo")->AsString(), "Não");
    form->Marca("Não");
    Tick("NOTA100", "Sim");
    Tick("NOTA111", "Sim");
    form->btnSave->Click();
    // "SENHÁ" stored, as the second implementation of the cipher
    // (tests/data/cipher/reference.py) encrypts it.
    EXPECT_EQ(Scalar("select senha from usuario where id_usuario = 'carla'"), "Vj/oSDkX0j4=");
    EXPECT_EQ(Rights("carla"), "NOTA100 NOTA111");

    // Saved again untouched, the password stays the same stored text.
    form->btnEdit->Click();
    EXPECT_EQ(form->qryUsuario->FieldByName("Senha")->AsString(), "SENHÁ");
    form->btnSave->Click();
    EXPECT_EQ(Scalar("select senha from usuario where id_usuario = 'carla'"), "Vj/oSDkX0j4=");

    // Unticking every program leaves no right at all.
    form->btnEdit->Click();
    form->Marca("Não");
    form->btnSave->Click();
    EXPECT_EQ(Rights("carla"), "");
    EXPECT_TRUE(LoginAccepts("carla", "senhá"));  // reopens the database: last
}

TEST_F(Users, RightsAreSavedAllTogetherOrNotAtAll) {
    AddUser("davi", "x");
    Grant("davi", "NOTA101");
    form->qryUsuario->Close();
    form->qryUsuario->Open();
    ASSERT_TRUE(form->qryUsuario->Locate("Id_Usuario", "davi", {}));
    form->Mostra_Programas();
    ASSERT_TRUE(form->tbTemp->Locate("Id_programa", "NOTA101", {}));
    EXPECT_EQ(form->tbTemp->FieldByName("Permitido")->AsString(), "Sim");

    // The second insert fails half-way.
    dmdb->ADOConnection->Execute(
        "create trigger recusa before insert on usuario_programa when new.id_programa = 'NOTA114' "
        "begin select raise(abort, 'recusado'); end");
    form->btnEdit->Click();
    form->Marca("Não");
    Tick("NOTA100", "Sim");
    Tick("NOTA114", "Sim");
    EXPECT_ANY_THROW(form->btnSave->Click());
    EXPECT_EQ(Rights("davi"), "NOTA101");
    EXPECT_FALSE(dmdb->ADOConnection->InTransaction());
}

TEST_F(Users, AUserWithoutAnIdOrWithATakenIdIsRefused) {
    NewUser("", "x");
    dialogs.Expect("O Usuário deve ser informado.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    form->qryUsuario->FieldByName("Id_Usuario")->SetAsString("admin");
    dialogs.Expect("O Usuário \"admin\" já existe.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    form->btnCancel->Click();
    EXPECT_EQ(Count("select count(*) from usuario"), 1);
}

TEST_F(Users, ANewProgramStartsAsARegister) {
    auto* programs = new TfrmNota114(nullptr);
    programs->DoCreate();
    programs->Show();
    programs->btnInsert->Click();
    EXPECT_EQ(programs->qryPrograma->FieldByName("Tipo")->AsString(), "Cadastro");
    programs->qryPrograma->FieldByName("Id_Programa")->SetAsString("NOTA999");
    programs->qryPrograma->FieldByName("Descricao")->SetAsString("Teste");
    programs->btnSave->Click();
    EXPECT_EQ(Scalar("select tipo from programa where id_programa = 'NOTA999'"), "Cadastro");
    delete programs;
}

TEST_F(Users, ARightIsTickedOnlyWhileTheUserIsBeingEditedSoNoTickIsSilentlyLost) {
    AddUser("eva", "x");
    form->qryUsuario->Close();
    form->qryUsuario->Open();
    ASSERT_TRUE(form->qryUsuario->Locate("Id_Usuario", "eva", {}));
    form->Mostra_Programas();
    ASSERT_TRUE(form->tbTemp->Locate("Id_programa", "NOTA100", {}));
    ASSERT_EQ(form->tbTemp->FieldByName("Permitido")->AsString(), "Não");

    // Browsing, a double click or the space bar changes nothing that could not be saved.
    form->exDBGrid1->SetSelectedIndex(1);  // on the program's code
    form->exDBGrid1->OnDblClick(form->exDBGrid1);
    EXPECT_EQ(form->tbTemp->FieldByName("Permitido")->AsString(), "Não");
    char32_t space = U' ';
    form->exDBGrid1->OnKeyPress(form->exDBGrid1, space);
    EXPECT_EQ(form->tbTemp->FieldByName("Permitido")->AsString(), "Não");

    form->btnEdit->Click();
    ASSERT_TRUE(form->tbTemp->Locate("Id_programa", "NOTA100", {}));
    form->exDBGrid1->SetSelectedIndex(1);
    form->exDBGrid1->OnDblClick(form->exDBGrid1);
    EXPECT_EQ(form->tbTemp->FieldByName("Permitido")->AsString(), "Sim");
    form->btnSave->Click();
    EXPECT_EQ(Rights("eva"), "NOTA100");
}

TEST_F(Users, APasswordOfTwentyCharactersIsStoredAndALongerOrBlankOneIsRefused) {
    const std::string twenty = "abcdefghij0123456789";
    NewUser("gil", twenty + "k");
    dialogs.Expect("A senha deve ter no máximo 20 caracteres.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    EXPECT_EQ(form->qryUsuario->State(), dsInsert);
    EXPECT_EQ(Count("select count(*) from usuario where id_usuario = 'gil'"), 0);

    form->qryUsuario->FieldByName("Senha")->SetAsString("   ");
    dialogs.Expect("A senha não pode ficar em branco.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    EXPECT_EQ(Count("select count(*) from usuario where id_usuario = 'gil'"), 0);

    form->qryUsuario->FieldByName("Senha")->SetAsString(twenty);
    form->btnSave->Click();

    // Editing a user cannot leave him without a password either.
    ASSERT_TRUE(form->qryUsuario->Locate("Id_Usuario", "gil", {}));
    form->btnEdit->Click();
    form->qryUsuario->FieldByName("Senha")->SetAsString("");
    dialogs.Expect("A senha não pode ficar em branco.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    form->btnCancel->Click();

    EXPECT_TRUE(LoginAccepts("gil", twenty));  // reopens the database: last
    EXPECT_FALSE(LoginAccepts("gil", twenty + "k"));
}

TEST_F(Users, OnlyTheRightCanChangeInTheGridAndOnlyToSimOrNao) {
    AddUser("ivo", "x");
    form->qryUsuario->Close();
    form->qryUsuario->Open();
    ASSERT_TRUE(form->qryUsuario->Locate("Id_Usuario", "ivo", {}));
    form->btnEdit->Click();  // the edit look: the grid is no longer read-only as a whole
    ASSERT_FALSE(form->exDBGrid1->ReadOnly());
    ASSERT_TRUE(form->tbTemp->Locate("Id_programa", "NOTA100", {}));
    QAbstractTableModel* model = form->exDBGrid1->Model();
    QTableView* view = form->exDBGrid1->View();
    int row = view->currentIndex().row();
    ASSERT_GE(row, 0);
    // No column takes typed text; the right shows as a check box.
    for (int col = 0; col < model->columnCount(); ++col)
        EXPECT_FALSE(model->flags(model->index(row, col)).testFlag(Qt::ItemIsEditable)) << col;
    EXPECT_EQ(model->data(model->index(row, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);

    // Typing into the cells changes nothing.
    form->exDBGrid1->SetFocus();
    for (int col : {1, 0}) {
        view->setCurrentIndex(model->index(row, col));
        QTest::keyClicks(view, "talvez");
        QTest::keyClick(view, Qt::Key_Return);
        billtest::Pump();
    }
    EXPECT_EQ(form->tbTemp->FieldByName("Permitido")->AsString(), "Não");
    EXPECT_EQ(form->tbTemp->FieldByName("Id_programa")->AsString(), "NOTA100");

    // The space bar, a double click and the check box each switch it once.
    view->setCurrentIndex(model->index(row, 0));
    QTest::keyClick(view, Qt::Key_Space);
    billtest::Pump();
    EXPECT_EQ(form->tbTemp->FieldByName("Permitido")->AsString(), "Sim");
    EXPECT_EQ(model->data(model->index(row, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
    // A double click as the window system sends it: press, release, the
    // double click, release.
    auto doubleClick = [&](int col) {
        QPoint at = view->visualRect(model->index(row, col)).center();
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at);
        billtest::Pump();
    };
    doubleClick(2);  // on the program's type
    EXPECT_EQ(form->tbTemp->FieldByName("Permitido")->AsString(), "Não");
    doubleClick(0);  // on the check box itself
    EXPECT_EQ(form->tbTemp->FieldByName("Permitido")->AsString(), "Sim");
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(model->index(row, 0)).center());
    billtest::Pump();
    EXPECT_EQ(form->tbTemp->FieldByName("Permitido")->AsString(), "Não");
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(model->index(row, 3)).center());
    billtest::Pump();
    EXPECT_EQ(form->tbTemp->FieldByName("Permitido")->AsString(), "Não");  // elsewhere a click only moves
    EXPECT_TRUE(model->setData(model->index(row, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(form->tbTemp->FieldByName("Permitido")->AsString(), "Sim");
    form->btnSave->Click();
    EXPECT_EQ(Rights("ivo"), "NOTA100");
    EXPECT_EQ(Count("select count(*) from usuario_programa where id_programa not in (select id_programa from programa)"),
              0);
}

// The clerk's mouse and keys on the rights grid: a click on the check box of
// another row switches that row's right at once, and the arrows move between
// the rows without leaving the grid or adding a row at its end.
TEST_F(Users, AClickOnAnyRowsCheckBoxSwitchesItAndTheArrowsStayInTheGrid) {
    AddUser("joa", "x");
    form->qryUsuario->Close();
    form->qryUsuario->Open();
    ASSERT_TRUE(form->qryUsuario->Locate("Id_Usuario", "joa", {}));
    uitest::ShowActive(frame.get());
    form->btnEdit->Click();
    QAbstractTableModel* model = form->exDBGrid1->Model();
    QTableView* view = form->exDBGrid1->View();
    ASSERT_GE(model->rowCount(), 4);
    auto program = [&](int row) { return model->data(model->index(row, 1), Qt::DisplayRole).toString().toStdString(); };
    const std::string third = program(2), second = program(1);
    auto clickBox = [&](int row) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(model->index(row, 0)).center());
        billtest::Pump();
    };
    clickBox(2);
    EXPECT_EQ(form->tbTemp->FieldByName("Id_programa")->AsString(), third);
    EXPECT_EQ(form->tbTemp->FieldByName("Permitido")->AsString(), "Sim");
    clickBox(1);
    EXPECT_EQ(form->tbTemp->FieldByName("Permitido")->AsString(), "Sim");

    const int rows = form->tbTemp->RecordCount();
    form->exDBGrid1->SetFocus();
    billtest::Pump();
    QTest::keyClick(view, Qt::Key_Down);
    billtest::Pump();
    EXPECT_EQ(form->ActiveControl(), form->exDBGrid1) << "Down moves to the next row, inside the grid";
    EXPECT_EQ(form->tbTemp->FieldByName("Id_programa")->AsString(), third);
    form->tbTemp->Last();
    QTest::keyClick(view, Qt::Key_Down);
    billtest::Pump();
    EXPECT_EQ(form->ActiveControl(), form->exDBGrid1);
    EXPECT_EQ(form->tbTemp->RecordCount(), rows) << "no empty right at the end";
    EXPECT_EQ(form->tbTemp->State(), dsBrowse);
    QTest::keyClick(view, Qt::Key_Up);
    billtest::Pump();
    EXPECT_EQ(form->ActiveControl(), form->exDBGrid1);

    form->btnSave->Click();
    std::string expected = second < third ? second + " " + third : third + " " + second;
    EXPECT_EQ(Rights("joa"), expected);
}
