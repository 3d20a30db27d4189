// The login: refusals, the built-in user with the default password, the
// password's case, disabled users, and what a successful login leaves behind.
#include <filesystem>

#include <sys/stat.h>

#include <QTest>
#include <QTimer>

#include "billing/forms/Nota220.h"
#include "platform/db/DB.h"
#include "platform/rtl/IniFiles.h"
#include "tests/billing/forms/BillingFixture.h"
#include "tests/platform/rtl/FileFaultSupport.h"

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

TEST_F(Login, AWrongPasswordIsRefusedAndThePasswordIsClearedForRetyping) {
    Fill("Admin", "errada");
    form->SetActiveControl(form->btnOk);  // the user clicked OK
    dialogs.Expect("A senha está incorreta.", mrOk, "Atenção");
    form->btnOkClick(nullptr);
    EXPECT_EQ(form->ModalResult(), mrNone);
    EXPECT_EQ(form->tbTemp->FieldByName("Senha")->AsString(), "");
    EXPECT_EQ(form->dbeSenha->Text(), "");
    EXPECT_EQ(form->ActiveControl(), form->dbeSenha);
    EXPECT_EQ(form->tbTemp->FieldByName("Id_Usuario")->AsString(), "Admin");  // the user stays
}

// Guessing: the first three wrong passwords cost nothing; from then on each
// try waits a delay that doubles up to 30 s, shown, during which even the
// right password is not looked at; every failure is in the user log.
TEST_F(Login, AfterThreeFailuresEachTryWaitsAGrowingDelayAndFailuresAreLogged) {
    std::int64_t now = 0;
    billing::data::LoginDelays().SetClock([&now] { return now; });
    auto attempt = [&](const std::string& Password, const std::string& Box) {
        Fill("Admin", Password);
        dialogs.Expect(Box, mrOk, "Atenção");
        form->btnOkClick(nullptr);
        EXPECT_EQ(form->ModalResult(), mrNone);
    };
    for (int i = 0; i < 3; ++i) attempt("errada", "A senha está incorreta.");
    std::vector<std::string> waits;
    for (int i = 0; i < 7; ++i) {
        attempt("truve", "Aguarde");
        waits.push_back(dialogs.Shown().back().text.substr(dialogs.Shown().back().text.find("Aguarde")));
        now += billing::data::LoginDelay::DelayAfter(3 + i);
        attempt("errada", "A senha está incorreta.");
    }
    EXPECT_EQ(waits.front(), "Aguarde 1 segundo para tentar novamente.");
    EXPECT_EQ(waits[3], "Aguarde 8 segundos para tentar novamente.");
    EXPECT_EQ(waits.back(), "Aguarde 30 segundos para tentar novamente.");
    EXPECT_EQ(Count("select count(*) from usuario_log where id_usuario = 'Admin' and id_programa = 'NOTA220' "
                    "and descricao = 'Tentativa de Login com senha incorreta'"),
              10);
    now += 30000;
    Fill("Admin", "truve");
    form->btnOkClick(nullptr);
    EXPECT_EQ(form->ModalResult(), mrOk);
}

TEST_F(Login, APasswordOfTwentyCharactersOpensAndALongerOneIsRefusedWithAMessage) {
    const std::string twenty = "abcdefghij0123456789";
    AddUser("rita", twenty);
    EXPECT_TRUE(LoginAccepts("rita", twenty));
    // One more character: said so, not taken for a wrong password.
    Fill("rita", twenty + "x");
    form->SetActiveControl(form->btnOk);
    dialogs.Expect("A senha deve ter no máximo 20 caracteres.", mrOk, "Atenção");
    form->btnOkClick(nullptr);
    EXPECT_EQ(form->ModalResult(), mrNone);
    EXPECT_EQ(form->ActiveControl(), form->dbeSenha);
    // The edit takes what is typed whole, so the check sees all of it.
    form->dbeSenha->SetText(twenty + "xyz");
    EXPECT_EQ(form->PasswordText(), twenty + "xyz");
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

TEST_F(Login, AMissingDatabaseIsRefusedBeforeAnyUserCheckAndNeverMadeUp) {
    std::string missing = dir.file("outro.db");
    Fill("ninguem", "x", missing);
    dialogs.Expect("O Banco de Dados de Faturamento do OSKE \"" + missing + "\" não foi encontrado.", mrNo,
                   "Atenção");
    EXPECT_THROW(form->btnOkClick(nullptr), EAbort);
    EXPECT_EQ(dialogs.Shown().back().buttons, mbYesNo);  // the chooser is offered
    EXPECT_FALSE(std::filesystem::exists(missing));

    // The program's own database, gone from beside it, is not made again
    // either: an empty one would look like the data were lost.
    dmdb->Fechar_Banco_Dados();
    std::filesystem::remove(database);
    Fill("Admin", "truve", database);
    dialogs.Expect("\"" + database + "\" não foi encontrado.", mrNo, "Atenção");
    EXPECT_THROW(form->btnOkClick(nullptr), EAbort);
    EXPECT_FALSE(std::filesystem::exists(database));
    EXPECT_EQ(form->ModalResult(), mrNone);
}

TEST_F(Login, APipeAFolderOrALinkToNothingAtTheDatabasesNameIsNamedForWhatItIsAndAnotherNameIsAskedFor) {
    const std::string pipe = dir.file("fila.db"), folder = dir.file("pasta.db"), dangling = dir.file("atalho.db"),
                      loop = dir.file("volta.db"), gone = dir.file("sumido.db");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::filesystem::create_directory(folder);
    ASSERT_EQ(::symlink(gone.c_str(), dangling.c_str()), 0);
    ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
    const std::string nowhere = "um atalho (link simbólico) para \"" + gone + "\", que não leva a nenhum arquivo";
    const std::string round = "um atalho (link simbólico) para \"" + loop + "\", que não leva a nenhum arquivo";
    for (const auto& [path, what] : {std::pair{pipe, std::string("um arquivo especial")},
                                     std::pair{folder, std::string("uma pasta")}, std::pair{dangling, nowhere},
                                     std::pair{loop, round}}) {
        SCOPED_TRACE(path);
        const std::string standing = "O Banco de Dados \"" + path + "\" não pode ser aberto: com esse nome existe " +
                                     what + ", não um arquivo do banco de dados.";
        Fill("Admin", "truve", path);
        dialogs.Expect(standing + "\r\n\r\nDeseja escolher outro Banco de Dados ?", mrNo, "Atenção");
        EXPECT_THROW(form->btnOkClick(nullptr), EAbort);
        EXPECT_EQ(dialogs.Shown().back().buttons, mbYesNo);
        // The chooser refuses the name without offering to make a database there.
        TfrmSelecionarBancoDados chooser(nullptr);
        chooser.dbeDatabase->SetText(path);
        dialogs.Expect("\"" + path + "\" não pode ser usado: com esse nome existe " + std::string(what), mrOk,
                       "Atenção");
        chooser.Button1Click(nullptr);
        EXPECT_EQ(chooser.ModalResult(), mrNone);
        EXPECT_EQ(dialogs.Shown().back().buttons, TMsgDlgButtons{mbOK});
        // Opened all the same, the open says it too.
        dmdb->Set_Var("nome_banco_dados", path);
        try {
            dmdb->Abrir_Banco_Dados();
            ADD_FAILURE() << "opened";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), standing);
        }
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    struct stat st {};
    EXPECT_TRUE(::stat(pipe.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    // Nothing was made where the link leads.
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(gone)));
    EXPECT_TRUE(std::filesystem::is_symlink(dangling));
}

TEST_F(Login, AMissingDatabaseIsReplacedThroughTheChooser) {
    std::string missing = dir.file("sumido.db");
    std::string other = dir.file("outro.db");
    billing::data::CreateDatabaseFile(other);
    Fill("Admin", "truve", missing);
    dialogs.Expect("\"" + missing + "\" não foi encontrado.", mrYes, "Atenção");
    bool chooserShown = false;
    QTimer::singleShot(0, qApp, [&] {
        for (int i = 0; i < Screen->FormCount(); ++i) {
            auto* chooser = dynamic_cast<TfrmSelecionarBancoDados*>(Screen->Forms(i));
            if (chooser == nullptr || !chooser->Modal()) continue;
            chooserShown = true;
            EXPECT_EQ(chooser->dbeDatabase->Text(), missing);
            chooser->dbeDatabase->SetText(other);
            chooser->Button1->Click();
        }
    });
    form->btnOkClick(nullptr);
    EXPECT_TRUE(chooserShown);
    EXPECT_EQ(form->ModalResult(), mrOk);
    EXPECT_EQ(dmdb->Get_Var("nome_banco_dados"), other);
    EXPECT_EQ(dmdb->ADOConnection->DatabaseName(), other);
    EXPECT_EQ(form->tbTemp->FieldByName("Database")->AsString(), other);
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(Login, ADatabaseInAFolderTheProgramCannotWriteIsReportedAndLeftAsItIs) {
    std::filesystem::create_directories(dir.file("somente"));
    std::string locked = dir.file("somente/fat.db");
    billing::data::CreateDatabaseFile(locked);
    std::string before = testsupport::ReadAll(locked);
    dmdb->CanWrite = [&](const std::string& Path) { return Path != dir.file("somente"); };
    Fill("Admin", "truve", locked);
    try {
        form->btnOkClick(nullptr);
        ADD_FAILURE() << "opened";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message().find("somente leitura"), std::string::npos) << e.Message();
        EXPECT_NE(e.Message().find(locked), std::string::npos) << e.Message();
    }
    EXPECT_EQ(form->ModalResult(), mrNone);
    EXPECT_EQ(testsupport::ReadAll(locked), before);
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

TEST_F(Login, TheDatabaseChooserAcceptsAFileThatExistsOrMakesANewOneWhenAsked) {
    TfrmSelecionarBancoDados chooser(nullptr);
    chooser.FormShow(&chooser);
    EXPECT_EQ(chooser.dbeDatabase->Text(), database);

    std::string missing = dir.file("sumido.db");
    chooser.dbeDatabase->SetText(missing);
    dialogs.Expect("O Banco de Dados \"" + missing + "\" não foi encontrado !", mrNo, "Atenção");
    chooser.Button1Click(nullptr);
    EXPECT_EQ(chooser.ModalResult(), mrNone);
    EXPECT_EQ(dmdb->Get_Var("nome_banco_dados"), database);
    EXPECT_FALSE(std::filesystem::exists(missing));

    std::string other = dir.file("outro.db");
    testsupport::WriteAll(other, "");
    chooser.dbeDatabase->SetText("  " + other + " ");
    chooser.Button1Click(nullptr);
    EXPECT_EQ(chooser.ModalResult(), mrOk);
    EXPECT_EQ(dmdb->Get_Var("nome_banco_dados"), other);

    // Asked for, a new database is made at the typed name, ready to open.
    TfrmSelecionarBancoDados again(nullptr);
    std::string fresh = dir.file("novo.db");
    again.dbeDatabase->SetText(fresh);
    dialogs.Expect("O Banco de Dados \"" + fresh + "\" não foi encontrado !", mrYes, "Atenção");
    again.Button1Click(nullptr);
    EXPECT_EQ(again.ModalResult(), mrOk);
    EXPECT_EQ(dmdb->Get_Var("nome_banco_dados"), fresh);
    sqlite::Database made(fresh);
    sqlite::Statement st(made, "select versao from versao");
    ASSERT_TRUE(st.Step());
    EXPECT_EQ(st.ColumnText(0), billing::data::kSchemaVersion);

    // A name that cannot be made is explained, and the chooser stays.
    TfrmSelecionarBancoDados third(nullptr);
    std::string impossible = dir.file("nao/existe/novo.db");
    third.dbeDatabase->SetText(impossible);
    dialogs.Expect("não foi encontrado !", mrYes, "Atenção");
    dialogs.Expect("Não foi possível criar o Banco de Dados", mrOk, "Erro");
    third.Button1Click(nullptr);
    EXPECT_EQ(third.ModalResult(), mrNone);
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

// What the login leaves for the next start (the database and the user) goes
// into the settings file in one write: a failed write is told once and the
// login still goes through; a kill leaves the old pair or the new one.
class LoginSettingsFaults : public Login, public ::testing::WithParamInterface<filefaults::Fault> {};

TEST_P(LoginSettingsFaults, TheNextStartFindsTheOldDatabaseAndUserOrTheNewOnes) {
    const std::string ini = dir.file("faturamento.ini");
    const bool viaForm = GetParam() == filefaults::Fault::FailedWrite;
    std::vector<ui::BoxRequest> shown;
    filefaults::FileSavePath p;
    p.Prepare = [&] {
        testsupport::WriteAll(ini, "[Database]\r\nDatabase=/dados/antigo.db\r\nUser=ana\r\n[NFe]\r\nMonitor=uninfe\r\n");
        dmdb->Set_Var("id_usuario", "");
        form = std::make_unique<TfrmNota220>(nullptr);
        form->FormShow(form.get());
        Fill("Admin", "Truve", database);
    };
    p.Act = [&] {
        if (!viaForm) {
            // A forked child has no windows: the data module's save alone.
            dmdb->Set_Var("id_usuario", "Admin");
            dmdb->Arquivo_Ini("Salva");
            return;
        }
        ui::ScriptedDialogs quiet([](const std::string&) {});
        form->btnOkClick(nullptr);
        shown = quiet.Shown();
        EXPECT_EQ(form->ModalResult(), mrOk) << "the login goes through";
    };
    p.Files = [&] { return testsupport::ReadAll(ini); };
    p.Folders = {dir.path()};
    p.CheckFailure = [&] {
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].caption, "Atenção");
        EXPECT_EQ(shown[0].text.rfind("Não foi possível gravar o arquivo de configuração \"" + ini + "\".\r\n\r\n" +
                                          "Cannot write file",
                                      0),
                  0u)
            << shown[0].text;
    };
    filefaults::FileSweepFigures f = filefaults::Sweep(GetParam(), p);
    EXPECT_EQ(f.writes, 1);
    // The other sections of the file are kept by the save.
    TIniFile after(ini);
    EXPECT_EQ(after.ReadString("NFe", "Monitor", ""), "uninfe");
    if (!viaForm) EXPECT_EQ(after.ReadString("Database", "Database", ""), database);
}

INSTANTIATE_TEST_SUITE_P(Faults, LoginSettingsFaults, filefaults::BothFaults(), filefaults::FaultName);

// The INI given on the command line sits in a folder the clerk cannot write,
// the database in another: the login says so once, in Portuguese, and goes
// on; a later save in the session (another log-in, the database chooser)
// says nothing more and raises nothing.
TEST_F(Login, AnIniInAReadOnlyFolderIsToldOnceAndTheLoginGoesOn) {
    namespace fs = std::filesystem;
    const std::string ini = dir.file("faturamento.ini");
    testsupport::WriteAll(ini, "[Database]\r\nDatabase=/dados/antigo.db\r\nUser=ana\r\n");
    fs::create_directory(dir.path() / "dados");
    const std::string other = dir.file("dados/empresa.db");
    ASSERT_TRUE(billing::data::CreateDatabaseFile(other));
    const std::string folder = dir.path().string();
    dmdb->CanWrite = [folder, ini](const std::string& Path) { return Path != folder && Path != ini; };

    std::vector<ui::BoxRequest> shown;
    for (int attempt = 0; attempt < 2; ++attempt) {
        form = std::make_unique<TfrmNota220>(nullptr);
        form->FormShow(form.get());
        Fill("Admin", "TRUVE", other);
        ui::ScriptedDialogs quiet([](const std::string&) {});
        form->btnOkClick(nullptr);
        EXPECT_EQ(form->ModalResult(), mrOk) << "the login goes through";
        for (const ui::BoxRequest& b : quiet.Shown()) shown.push_back(b);
    }
    EXPECT_NO_THROW(dmdb->SalvaIniAvisandoUmaVez());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "Atenção");
    EXPECT_EQ(shown[0].text, "Não foi possível gravar o arquivo de configuração \"" + ini + "\".\r\n\r\nA pasta \"" +
                                 folder + "\" é somente leitura. O banco de dados e o usuário escolhidos não serão "
                                          "lembrados na próxima vez que o programa for aberto.");
    EXPECT_EQ(testsupport::ReadAll(ini), "[Database]\r\nDatabase=/dados/antigo.db\r\nUser=ana\r\n");
    EXPECT_EQ(dmdb->Get_Var("nome_banco_dados"), other);
    dmdb->CanWrite = nullptr;
}

// Guessing counts per user as the register finds the name, in the database:
// spellings the database takes for one user share one count, a name with an
// invisible or control character is refused before anything is looked at
// or counted, and a new start of the program (nothing kept in memory, the
// file opened again) or another instance on its own connection still waits.
TEST_F(Login, FailuresCountPerUserAsTheRegisterFindsItAndOutliveTheProcess) {
    std::int64_t now = 1000000;
    auto clock = [&now] { return now; };
    billing::data::LoginDelays().SetClock(clock);
    const int logged = Count("select count(*) from usuario_log");
    // What the edit lets through of what may be typed or pasted; the rest
    // of such characters is in the data module's own test.
    const std::vector<std::string> hidden = {
        "Ad\u00ADmin",  // soft hyphen
        "Ad\u200Bmin",  // zero-width space
        "Adm\u200Cin",  // zero-width non-joiner
        "Ad\u200Dmin",  // zero-width joiner
        "Ad\u2060min",  // word joiner
    };
    for (const std::string& name : hidden) {
        SCOPED_TRACE(testing::PrintToString(name));
        Fill(name, "truve");
        dialogs.Expect(billing::data::kInvisibleCharacterInName, mrOk, "Atenção");
        form->btnOkClick(nullptr);
        EXPECT_EQ(form->ModalResult(), mrNone);
    }
    EXPECT_EQ(Count("select count(*) from usuario_log"), logged) << "no name was looked at";

    // Three spellings, one user: the fourth try waits, even with the right
    // password.
    for (const char* name : {"ADMIN", "admin", "aDmIn"}) {
        Fill(name, "errada");
        dialogs.Expect("A senha está incorreta.", mrOk, "Atenção");
        form->btnOkClick(nullptr);
    }
    Fill("Admin", "truve");
    dialogs.Expect("Aguarde 1 segundo", mrOk, "Atenção");
    form->btnOkClick(nullptr);
    EXPECT_EQ(form->ModalResult(), mrNone);
    EXPECT_EQ(Count("select count(*) from usuario_log where id_usuario = 'Admin' and descricao = "
                    "'Tentativa de Login com senha incorreta'"),
              3);

    // A new start: nothing in memory, the file opened again.
    billing::data::LoginDelays() = billing::data::LoginDelay(clock);
    form = std::make_unique<TfrmNota220>(nullptr);
    form->FormShow(form.get());
    Fill("admin", "truve");
    dialogs.Expect("Aguarde 1 segundo", mrOk, "Atenção");
    form->btnOkClick(nullptr);
    EXPECT_EQ(form->ModalResult(), mrNone);
    // Another instance, on its own connection, sees the same wait.
    {
        sqlite::Database other(database);
        EXPECT_EQ(billing::data::LoginDelay(clock).Remaining(other, billing::data::LoginKey("admin", "Admin")), 1000);
    }

    now += 1000;
    Fill("admin", "truve");
    form->btnOkClick(nullptr);
    EXPECT_EQ(form->ModalResult(), mrOk);
}
