// The login: refusals, the built-in user with the default password, the
// password's case, disabled users, and what a successful login leaves behind.
#include <filesystem>

#include <QTest>
#include <QTimer>

#include "billing/forms/Nota220.h"
#include "platform/rtl/IniFiles.h"
#include "tests/billing/forms/BillingFixture.h"

namespace {

class Login : public billtest::Session {
protected:
    void SetUp() override {
        Session::SetUp();
        form = std::make_unique<TfrmNota220>(nullptr);
        form->FormShow(form.get());
    }
    void TearDown() override {
        form.reset();
        Session::TearDown();
    }
    void Fill(const std::string& User, const std::string& Password, const std::string& Database = "") {
        form->tbTemp->FieldByName("Id_Usuario")->SetAsString(User);
        form->tbTemp->FieldByName("Senha")->SetAsString(Password);
        if (!Database.empty()) form->tbTemp->FieldByName("Database")->SetAsString(Database);
    }
    std::unique_ptr<TfrmNota220> form;
};

}  // namespace

TEST_F(Login, TheRowStartsWithTheLastUserTheDatabaseAndToday) {
    EXPECT_EQ(form->tbTemp->FieldByName("Id_Usuario")->AsString(), "Admin");
    EXPECT_EQ(form->tbTemp->FieldByName("Database")->AsString(), database);
    EXPECT_EQ(form->exDBComboDlg1->Text(), database);
    EXPECT_EQ(form->ActiveControl(), form->dbeSenha);  // a known user goes straight to the password
}

TEST_F(Login, AdminWithTheDefaultPasswordInAnyCaseGetsIn) {
    Fill("admin", "Truve");
    form->btnOkClick(nullptr);
    EXPECT_EQ(form->ModalResult(), mrOk);
    EXPECT_TRUE(AnsiSameText(dmdb->Get_Var("id_usuario"), "Admin"));
    EXPECT_EQ(Scalar("select descricao from usuario_log where id_programa = 'NOTA220'"),
              "Usuário fez o Login no Sistema");
    // The next start proposes this database and user.
    TIniFile ini(dir.file("faturamento.ini"));
    EXPECT_EQ(ini.ReadString("Database", "Database", ""), database);
    EXPECT_TRUE(AnsiSameText(ini.ReadString("Database", "User", ""), "Admin"));
}

TEST_F(Login, AWrongPasswordIsRefusedAndTheFormStays) {
    Fill("Admin", "errada");
    dialogs.Expect("A senha está incorreta.", mrOk, "Atenção");
    form->btnOkClick(nullptr);
    EXPECT_EQ(form->ModalResult(), mrNone);
    EXPECT_EQ(form->tbTemp->FieldByName("Senha")->AsString(), "errada");
}

TEST_F(Login, AnUnknownUserIsRefused) {
    Fill("fulano", "truve");
    dialogs.Expect("O Usuário informado não existe !", mrOk, "Atenção");
    form->btnOkClick(nullptr);
    EXPECT_EQ(form->ModalResult(), mrNone);
}

TEST_F(Login, EmptyUserAndEmptyPasswordAreAskedFor) {
    Fill("  ", "x");
    dialogs.Expect("Informe o Usuário !", mrOk, "Atenção");
    form->btnOkClick(nullptr);
    Fill("Admin", " ");
    dialogs.Expect("Informe a Senha !", mrOk, "Atenção");
    form->btnOkClick(nullptr);
    EXPECT_EQ(form->ModalResult(), mrNone);
}

TEST_F(Login, AMissingDatabaseIsRefusedBeforeAnyUserCheck) {
    std::string missing = dir.file("outro.db");
    Fill("ninguem", "x", missing);
    dialogs.Expect("O Banco de Dados de Faturamento do OSKE \"" + missing + "\" não foi encontrado.", mrOk,
                   "Atenção");
    EXPECT_THROW(form->btnOkClick(nullptr), EAbort);
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(Login, TheProgramsOwnDatabaseIsCreatedOnAFreshMachine) {
    std::string fresh = dir.file("novo.db");
    form->SetDefaultDatabase(fresh);
    Fill("Admin", "TRUVE", fresh);
    form->btnOkClick(nullptr);
    EXPECT_EQ(form->ModalResult(), mrOk);
    EXPECT_TRUE(std::filesystem::exists(fresh));
    EXPECT_EQ(dmdb->Get_Var("nome_banco_dados"), fresh);
}

TEST_F(Login, AccentedPasswordsWorkWhateverCaseTheyAreTypedIn) {
    AddUser("maria", "ação");
    Fill("MARIA", "AÇÃO");
    form->btnOkClick(nullptr);
    EXPECT_EQ(form->ModalResult(), mrOk);
    EXPECT_EQ(dmdb->Get_Var("id_usuario"), "maria");
}

TEST_F(Login, ADisabledUserCannotLogIn) {
    AddUser("jose", "segredo", "Sim");
    Fill("jose", "segredo");
    dialogs.Expect("está com o acesso desabilitado", mrOk, "Usuário Desabilitado");
    form->btnOkClick(nullptr);
    EXPECT_EQ(form->ModalResult(), mrNone);
}

TEST_F(Login, ShownModallyOkAndCancelEndTheLoop) {
    auto modal = std::make_unique<TfrmNota220>(nullptr);
    TfrmNota220* f = modal.get();
    QTimer::singleShot(0, qApp, [f] { f->btnCancel->Click(); });
    EXPECT_EQ(f->ShowModal(), mrCancel);

    auto second = std::make_unique<TfrmNota220>(nullptr);
    TfrmNota220* g = second.get();
    QTimer::singleShot(0, qApp, [g] {
        g->tbTemp->FieldByName("Senha")->SetAsString("truve");
        g->btnOk->Click();
    });
    EXPECT_EQ(g->ShowModal(), mrOk);
}

TEST_F(Login, TheDatabaseChooserAcceptsOnlyAFileThatExists) {
    TfrmSelecionarBancoDados chooser(nullptr);
    chooser.FormShow(&chooser);
    EXPECT_EQ(chooser.dbeDatabase->Text(), database);

    std::string missing = dir.file("sumido.db");
    chooser.dbeDatabase->SetText(missing);
    dialogs.Expect("O Banco de Dados \"" + missing + "\" não foi encontrado !", mrOk, "Atenção");
    chooser.Button1Click(nullptr);
    EXPECT_EQ(chooser.ModalResult(), mrNone);
    EXPECT_EQ(dmdb->Get_Var("nome_banco_dados"), database);

    std::string other = dir.file("outro.db");
    testsupport::WriteAll(other, "");
    chooser.dbeDatabase->SetText("  " + other + " ");
    chooser.Button1Click(nullptr);
    EXPECT_EQ(chooser.ModalResult(), mrOk);
    EXPECT_EQ(dmdb->Get_Var("nome_banco_dados"), other);
}

TEST_F(Login, EscGivesUpTheLoginAsCancelarDoes) {
    auto modal = std::make_unique<TfrmNota220>(nullptr);
    TfrmNota220* f = modal.get();
    EXPECT_EQ(f->CancelButton(), f->btnCancel);
    QTimer::singleShot(0, qApp, [f] { QTest::keyClick(f->dbeSenha->Widget(), Qt::Key_Escape); });
    EXPECT_EQ(f->ShowModal(), mrCancel);
}

TEST_F(Login, AFileThatIsNoDatabaseIsExplainedInPortugueseFirst) {
    std::string junk = dir.file("planilha.db");
    testsupport::WriteAll(junk, std::string(4096, 'x'));
    Fill("Admin", "truve", junk);
    dialogs.Expect("O arquivo não é um banco de dados válido ou está danificado.", mrOk, "Erro");
    QTest::mouseClick(form->btnOk->Widget(), Qt::LeftButton);
    ASSERT_FALSE(dialogs.Shown().empty());
    const ui::BoxRequest& box = dialogs.Shown().back();
    // The sentence first, the file, then the engine's own words for support.
    EXPECT_EQ(box.text.rfind("O arquivo não é um banco de dados válido", 0), 0u) << box.text;
    EXPECT_NE(box.text.find("Arquivo: \"" + junk + "\""), std::string::npos) << box.text;
    EXPECT_NE(box.text.find("Mensagem do banco de dados: file is not a database"), std::string::npos) << box.text;
    EXPECT_EQ(box.type, mtError);
    EXPECT_EQ(form->ModalResult(), mrNone);
}
