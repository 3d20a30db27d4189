// The main window: start-up files and folders, the login at the first
// activation, menu commands behind the rights, one form per class, the
// unfinished commands, the outside programs, and Exit compacting the file.
#include <filesystem>

#include <QTimer>

#include "billing/forms/Nota111.h"
#include "billing/forms/Nota220.h"
#include "billing/forms/Nota223.h"
#include "billing/forms/Nota224.h"
#include "billing/main/uoskerun.h"
#include "platform/rtl/IniFiles.h"
#include "tests/billing/main/MainFixture.h"

namespace fs = std::filesystem;
using billtest::MainWindow;

TEST_F(MainWindow, StartUpNamesTheFilesAfterTheProgramAndWritesTheIni) {
    Create();
    EXPECT_EQ(dmdb->Get_Var("nome_arquivo_ini"), dir.file("faturamento.ini"));
    EXPECT_EQ(dmdb->Get_Var("nome_banco_dados"), dir.file("faturamento.db"));
    EXPECT_EQ(dmdb->Get_Var("nome_aplicativo"), "Quillmar OSKE 1.44 [Faturamento]");
    EXPECT_EQ(Application->Title(), "Quillmar OSKE 1.44 [Faturamento]");
    EXPECT_EQ(window->Caption(), Application->Title());
    EXPECT_EQ(window->mnuSobre->Caption(), "Sobre o Quillmar OSKE 1.44 [Faturamento]");
    EXPECT_TRUE(fs::exists(dir.file("faturamento.ini")));
    EXPECT_EQ(window->StatusBar->Panels(0)->Text(), "Banco Dados:");
    EXPECT_EQ(window->StatusBar->Panels(2)->Text(), "Emitente:");
}

TEST_F(MainWindow, AFirstArgumentNamesTheIniFileWhichIsCreatedThere) {
    std::string ini = dir.file("outra.ini");
    args = {ini};
    TfrmOske_Nf::SetCommandLine(dir.file("faturamento"), args);
    Create();
    EXPECT_EQ(dmdb->Get_Var("nome_arquivo_ini"), ini);
    EXPECT_TRUE(fs::exists(ini));
    TIniFile file(ini);
    EXPECT_EQ(file.ReadString("Database", "Database", ""), dir.file("faturamento.db"));
}

TEST_F(MainWindow, FirstShowRunsTheReleaseCheckSeamAndMakesTheNFeFolders) {
    Create();
    int checks = 0;
    window->OnReleaseCheck = [&](TfrmOske_Nf*) { ++checks; };
    window->FormShow(window);
    EXPECT_EQ(checks, 1);
    for (const char* sub : {"NFE", "NFE/Envio", "NFE/Retorno", "NFE/Arquivo", "NFE/Temp", "NFE/Certificado"})
        EXPECT_TRUE(fs::is_directory(dir.path() / sub)) << sub;
}

TEST_F(MainWindow, TheBuiltInUserLogsInOnAFreshDatabaseAndTheAnswerTimerStarts) {
    Create();
    LogInAs("Admin", "truve");
    EXPECT_TRUE(window->LoginDone());
    EXPECT_FALSE(Application->Terminated());
    EXPECT_TRUE(dmdb->ADOConnection->Connected());
    EXPECT_TRUE(fs::exists(dir.file("faturamento.db")));
    EXPECT_TRUE(window->TimerNFe->Enabled());
    EXPECT_EQ(window->TimerNFe->Interval(), 4000);
    EXPECT_NE(window->StatusBar->Panels(1)->Text().find("faturamento.db"), std::string::npos);
    // The login runs once: a later activation does not ask again.
    loginUser = "";
    window->FormActivate(window);
    EXPECT_TRUE(dmdb->ADOConnection->Connected());
}

TEST_F(MainWindow, TheAnswerPollerSeamRunsOnTheTimer) {
    Create();
    LogInAs("Admin", "truve");
    int polls = 0;
    window->OnNFeAnswers = [&](TfrmOske_Nf*) { ++polls; };
    window->TimerNFe->OnTimer(window->TimerNFe);
    EXPECT_EQ(polls, 1);
}

TEST_F(MainWindow, OpeningAFormTwiceGivesOneFormBroughtToTheFront) {
    Create();
    LogInAs("Admin", "truve");
    window->Usurios1Click(nullptr);
    TfrmNota111* first = frmNota111;
    ASSERT_NE(first, nullptr);
    window->Usurios1Click(nullptr);
    EXPECT_EQ(frmNota111, first);
    EXPECT_EQ(window->MDIChildCount(), 1);
    first->SetWindowState(wsMinimized);
    window->Usurios1Click(nullptr);
    EXPECT_EQ(first->WindowState(), wsNormal);
}

TEST_F(MainWindow, ACommandWithoutTheRightShowsTheRefusalAndOpensNothing) {
    Create();
    LogInAs("Admin", "truve");
    AddUser("lia", "abc");
    dmdb->ADOConnection->Execute("insert into usuario_programa(id_usuario, id_programa) values('lia', 'NOTA223')");
    dmdb->Set_Var("id_usuario", "lia");

    dialogs.Expect("Você não tem permissão para acessar esta opção.", mrOk, "Atenção");
    window->Usurios1Click(nullptr);
    EXPECT_EQ(window->MDIChildCount(), 0);

    // The key is passed as "Nota223"; the stored code is upper case.
    window->AlterarSenha1Click(nullptr);
    EXPECT_EQ(window->MDIChildCount(), 1);
    EXPECT_NE(FrmNota223, nullptr);
}

TEST_F(MainWindow, CommandsNotBuiltYetSaySo) {
    Create();
    LogInAs("Admin", "truve");
    for (const char* caption : {"Clientes", "Febraban", "Opções...", "Lançar Notas Fiscais Eletrônicas (NF-e)"}) {
        dialogs.Expect("Esta opção está sendo Implementada. Aguarde.", mrOk, "Atenção");
        TMenuItem* item = window->MainMenu1->FindItem(caption);
        ASSERT_NE(item, nullptr) << caption;
        item->Click();
    }
    dialogs.Expect("Rotina sendo aprimorada", mrOk);
    window->MainMenu1->FindItem("Lançar Pedidos")->Click();
    EXPECT_FALSE(window->Programas1->Visible());
}

TEST_F(MainWindow, TheLockCommandCoversTheApplicationUntilThePasswordIsTyped) {
    Create();
    LogInAs("Admin", "truve");
    bool wasUp = false;
    QTimer::singleShot(0, qApp, [&] {
        for (int i = 0; i < Screen->FormCount(); ++i) {
            auto* lock = dynamic_cast<TfrmNota224*>(Screen->Forms(i));
            if (lock == nullptr || !lock->Modal()) continue;
            wasUp = true;
            lock->edtSenha->SetText("ERRADA");
            lock->Close();  // refused, stays up
            QTimer::singleShot(0, qApp, [lock] {
                lock->edtSenha->SetText("TRUVE");
                lock->Button1->Click();
            });
        }
    });
    window->mnuBloquear_AplicativoClick(nullptr);
    EXPECT_TRUE(wasUp);
}

TEST_F(MainWindow, OutsideProgramsStartDetachedAndMissingOnesAreExplained) {
    Create();
    std::vector<std::string> started;
    window->StartProgram = [&](const std::string& p, const std::vector<std::string>&) {
        started.push_back(p);
        return true;
    };
    std::string support = dir.file("suporte");
    dialogs.Expect("O arquivo \"" + support + "\" não foi encontrado.", mrOk, "Erro");
    window->mnuSuporteClick(nullptr);
    EXPECT_TRUE(started.empty());
    testsupport::WriteAll(support, "#!/bin/sh\n");
    window->mnuSuporteClick(nullptr);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], support);

    // With no calculator on the PATH the user is told, nothing crashes.
    std::string path = qEnvironmentVariable("PATH").toStdString();
    qputenv("PATH", dir.path().string().c_str());
    dialogs.Expect("Nenhuma calculadora foi encontrada", mrOk, "Erro");
    window->ToolButton6Click(nullptr);
    fs::path calc = dir.path() / "galculator";
    testsupport::WriteAll(calc.string(), "#!/bin/sh\n");
    fs::permissions(calc, fs::perms::owner_all);
    window->ToolButton6Click(nullptr);
    qputenv("PATH", path.c_str());
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[1], calc.string());
}

TEST_F(MainWindow, ClosingTheWindowClosesTheDatabaseWithoutCompacting) {
    Create();
    LogInAs("Admin", "truve");
    dmdb->ADOConnection->Execute("create table lixo(t text)");
    for (int i = 0; i < 200; ++i)
        dmdb->ADOConnection->Execute("insert into lixo values(:p)", {{"p", Variant(std::string(2000, 'x'))}});
    dmdb->ADOConnection->Execute("delete from lixo");
    auto before = fs::file_size(dir.file("faturamento.db"));
    TCloseAction action = caHide;
    window->FormClose(window, action);
    EXPECT_FALSE(dmdb->ADOConnection->Connected());
    EXPECT_EQ(fs::file_size(dir.file("faturamento.db")), before);
}

TEST_F(MainWindow, ClosingTheWindowAsksEveryOpenRegisterAboutItsPendingRowFirst) {
    Create();
    LogInAs("Admin", "truve");
    window->Usurios1Click(nullptr);
    ASSERT_NE(frmNota111, nullptr);
    TfrmNota111* users = frmNota111;
    users->btnInsert->Click();
    users->qryUsuario->FieldByName("Nome")->SetAsString("Sem id");

    // A refused save keeps the window, the row and the database.
    dialogs.Expect("Deseja salvar as alterações ?", mrYes, "Salvar");
    dialogs.Expect("O Usuário deve ser informado.", mrOk, "Atenção");
    EXPECT_FALSE(window->CloseQuery());
    EXPECT_EQ(users->qryUsuario->State(), dsInsert);
    dialogs.Expect("Deseja salvar as alterações ?", mrYes, "Salvar");
    dialogs.Expect("O Usuário deve ser informado.", mrOk, "Atenção");
    window->mnuSairClick(nullptr);
    EXPECT_FALSE(Application->Terminated());
    EXPECT_TRUE(dmdb->ADOConnection->Connected());
    EXPECT_EQ(users->qryUsuario->State(), dsInsert);

    // Mended, the row is saved before the database closes.
    users->qryUsuario->FieldByName("Id_Usuario")->SetAsString("rui");
    users->qryUsuario->FieldByName("Senha")->SetAsString("abc");
    dialogs.Expect("Deseja salvar as alterações ?", mrYes, "Salvar");
    EXPECT_TRUE(window->CloseQuery());
    EXPECT_EQ(users->qryUsuario->State(), dsBrowse);
    sqlite::Statement st(dmdb->ADOConnection->Database(), "select nome from usuario where id_usuario = 'rui'");
    ASSERT_TRUE(st.Step());
    EXPECT_EQ(st.ColumnText(0), "Sem id");
}

// Both of these end the application: they come last.
TEST_F(MainWindow, ZExitClosesAndCompactsTheDatabase) {
    Create();
    LogInAs("Admin", "truve");
    dmdb->ADOConnection->Execute("create table lixo(t text)");
    for (int i = 0; i < 200; ++i)
        dmdb->ADOConnection->Execute("insert into lixo values(:p)", {{"p", Variant(std::string(2000, 'x'))}});
    dmdb->ADOConnection->Execute("delete from lixo");
    auto before = fs::file_size(dir.file("faturamento.db"));
    window->mnuSairClick(nullptr);
    EXPECT_FALSE(dmdb->ADOConnection->Connected());
    EXPECT_LT(fs::file_size(dir.file("faturamento.db")), before);
    EXPECT_TRUE(Application->Terminated());
}

TEST_F(MainWindow, ZZCancellingTheLoginEndsTheProgram) {
    Create();
    window->ShowLogin = [] {
        // The real form in its modal loop, cancelled by the user.
        TfrmNota220 login(nullptr);
        QTimer::singleShot(0, qApp, [] {
            if (frmNota220 != nullptr) frmNota220->btnCancel->Click();
        });
        return login.ShowModal();
    };
    window->FormActivate(window);
    EXPECT_TRUE(window->LoginDone());
    EXPECT_TRUE(Application->Terminated());
}

TEST_F(MainWindow, ALoginThatFailsToRunEndsTheProgramInsteadOfLettingTheLastUserIn) {
    Create();
    window->ShowLogin = []() -> TModalResult { throw EInvalidOperation("a janela de login falhou"); };
    EXPECT_THROW(window->FormActivate(window), EInvalidOperation);
    EXPECT_TRUE(window->LoginDone());
    EXPECT_TRUE(Application->Terminated());
}
