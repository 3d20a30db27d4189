// The main window: start-up files and folders, the login at the first
// activation, menu commands behind the rights, one form per class, the
// unfinished commands, the outside programs, and Exit compacting the file.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <sys/stat.h>
#include <thread>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "billing/forms/Nota100.h"
#include "billing/forms/Nota101.h"
#include "billing/forms/Nota102.h"
#include "billing/forms/Nota103.h"
#include "billing/forms/Nota104.h"
#include "billing/forms/Nota106.h"
#include "billing/forms/Nota107.h"
#include "billing/forms/Nota108.h"
#include "billing/forms/Nota110.h"
#include "billing/forms/Nota111.h"
#include "billing/forms/Nota115.h"
#include "billing/forms/Nota118.h"
#include "billing/forms/Nota119.h"
#include "billing/forms/Nota200.h"
#include "billing/forms/Nota201.h"
#include "billing/forms/Nota220.h"
#include "billing/forms/Nota223.h"
#include "billing/forms/InformaSenha.h"
#include "billing/forms/Nota224.h"
#include "billing/forms/Nota225.h"
#include "billing/forms/Nota230.h"
#include "billing/forms/Nota231.h"
#include "billing/forms/Nota232.h"
#include "billing/nfe/NFeLoader.h"
#include "billing/nfe/NFeSettings.h"
#include "billing/forms/Nota233.h"
#include "billing/forms/Nota301.h"
#include "billing/main/uoskerun.h"
#include "platform/rtl/IniFiles.h"
#include "platform/ui/ExtCtrls.h"
#include "tests/billing/main/MainFixture.h"
#include "tests/billing/nfe/fake/FakeMonitor.h"
#include "tests/billing/nfe/fake/SampleDatabase.h"

namespace fs = std::filesystem;
using billtest::MainWindow;

TEST_F(MainWindow, StartUpNamesTheFilesAfterTheProgramAndWritesTheIni) {
    Create();
    EXPECT_EQ(dmdb->Get_Var("nome_arquivo_ini"), dir.file("faturamento.ini"));
    EXPECT_EQ(dmdb->Get_Var("nome_banco_dados"), dir.file("faturamento.db"));
    EXPECT_EQ(dmdb->Get_Var("nome_aplicativo"), "Quillmar OSKE 1.44 [Faturamento]");
    EXPECT_EQ(Application->Title(), "Quillmar OSKE 1.44 [Faturamento]");
    EXPECT_EQ(window->Caption(), Application->Title());
    EXPECT_EQ(window->mnuSobre->Caption(), "S&obre o Quillmar OSKE 1.44 [Faturamento]");
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

// A shared install: the program's folder is set-group-ID for the clerks'
// group and the umask the usual 022. The NF-e folders follow the database's
// rule: the group's (so a second clerk writes requests there too) in such a
// folder, the owner's alone in any other.
TEST_F(MainWindow, TheNFeFoldersAreTheGroupsInASharedFolderAndPrivateElsewhere) {
    const char* subs[] = {"NFE", "NFE/Envio", "NFE/Retorno", "NFE/Arquivo", "NFE/Temp", "NFE/Certificado"};
    mode_t old = ::umask(022);
    Create();
    for (unsigned folderMode : {02775u, 0755u}) {
        SCOPED_TRACE(folderMode);
        fs::remove_all(dir.path() / "NFE");
        ASSERT_EQ(::chmod(dir.path().c_str(), folderMode), 0);
        window->Cria_Pastas_NFE();
        for (const char* sub : subs) {
            struct stat st {};
            ASSERT_EQ(::stat((dir.path() / sub).c_str(), &st), 0) << sub;
            EXPECT_EQ(st.st_mode & 07777, folderMode == 02775u ? 02770u : 0700u) << sub;
        }
    }
    ::umask(old);
}

// A shared install upgraded from a release that made the NF-e folders 2755:
// at the next start they become the group's as new ones are, so a second
// clerk can write requests; a folder whose mode someone chose otherwise, or
// one in a folder that is not shared, is left as it is.
TEST_F(MainWindow, NFeFoldersAnEarlierReleaseMadeBecomeTheGroupsInASharedInstall) {
    const char* subs[] = {"NFE", "NFE/Envio", "NFE/Retorno", "NFE/Arquivo", "NFE/Temp", "NFE/Certificado"};
    mode_t old = ::umask(022);
    Create();
    struct Case {
        unsigned installMode, earlierMode, expected;
    };
    for (const Case& c : {Case{02775u, 02755u, 02770u}, Case{02775u, 02750u, 02750u}, Case{0755u, 0755u, 0755u},
                          Case{02775u, 02770u, 02770u}}) {
        SCOPED_TRACE(testing::Message() << std::oct << c.installMode << " " << c.earlierMode);
        fs::remove_all(dir.path() / "NFE");
        ASSERT_EQ(::chmod(dir.path().c_str(), c.installMode), 0);
        for (const char* sub : subs) {
            ASSERT_EQ(::mkdir((dir.path() / sub).c_str(), 0700), 0) << sub;
            ASSERT_EQ(::chmod((dir.path() / sub).c_str(), c.earlierMode), 0) << sub;
        }
        window->Cria_Pastas_NFE();
        for (const char* sub : subs) {
            struct stat st {};
            ASSERT_EQ(::stat((dir.path() / sub).c_str(), &st), 0) << sub;
            EXPECT_EQ(st.st_mode & 07777, c.expected) << sub;
        }
    }
    ::umask(old);
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

TEST_F(MainWindow, ADatabaseGoneFromBesideTheProgramIsReportedAndNeverMadeAgain) {
    Create();  // the first start makes the INI and the database
    std::string database = dir.file("faturamento.db");
    ASSERT_TRUE(fs::exists(database));
    Application->SetMainForm(nullptr);
    delete window;
    fs::remove(database);

    Create();  // the next start: an empty database would pass for the lost data
    EXPECT_FALSE(fs::exists(database));
    dialogs.Expect("\"" + database + "\" não foi encontrado.", mrNo, "Atenção");
    window->Abrir_Banco_Dados();
    EXPECT_FALSE(fs::exists(database));
    EXPECT_FALSE(dmdb->ADOConnection->Connected());
    EXPECT_FALSE(window->TimerNFe->Enabled());
}

// A new user finds the NF-e monitor's and DANFE printer's programs in the INI
// file once the database is open, and may change them there.
TEST_F(MainWindow, OpeningTheDatabaseWritesTheNFeProgramsIntoTheIni) {
    Create();
    TIniFile before(dir.file("faturamento.ini"));
    EXPECT_FALSE(before.SectionExists("NFe"));
    LogInAs("Admin", "truve");
    ASSERT_TRUE(dmdb->ADOConnection->Connected());
    TIniFile after(dir.file("faturamento.ini"));
    EXPECT_EQ(after.ReadString("NFe", "Monitor", "<absent>"), "uninfe");
    EXPECT_EQ(after.ReadString("NFe", "Danfe", "<absent>"), "unidanfe");
}

TEST_F(MainWindow, TheAnswerPollerRunsEveryFourSecondsWhileTheDatabaseIsOpen) {
    ui::ManualTimerClock clock;  // time moves only when the test says so
    Create();
    int polls = 0;
    window->OnNFeAnswers = [&](TfrmOske_Nf* sender) {
        EXPECT_EQ(sender, window);
        ++polls;
    };
    clock.Advance(60000);
    EXPECT_EQ(polls, 0) << "nothing to poll before the login";
    LogInAs("Admin", "truve");
    clock.Advance(3999);
    EXPECT_EQ(polls, 0);
    clock.Advance(1);
    EXPECT_EQ(polls, 1);
    clock.Advance(8000);
    EXPECT_EQ(polls, 3);
    TCloseAction action = caHide;
    window->FormClose(window, action);  // the database closes
    clock.Advance(60000);
    EXPECT_EQ(polls, 3);
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
    for (const char* caption : {"Romaneios Emitidos", "Febraban", "Modelos Impressoras", "Títulos a Receber",
                                "Gerar Arquivo Remessa"}) {
        dialogs.Expect("Esta opção está sendo Implementada. Aguarde.", mrOk, "Atenção");
        TMenuItem* item = window->MainMenu1->FindItem(caption);
        ASSERT_NE(item, nullptr) << caption;
        item->Click();
    }
    dialogs.Expect("Rotina sendo aprimorada", mrOk);
    window->MainMenu1->FindItem("Lançar Pedidos")->Click();
    EXPECT_FALSE(window->Programas1->Visible());
}

TEST_F(MainWindow, InvoicesAndShippingListsOpenTheirEntryForms) {
    Create();
    LogInAs("Admin", "truve");
    window->MainMenu1->FindItem("Lançar Notas Fiscais Eletrônicas (NF-e)")->Click();
    ASSERT_NE(frmNota200, nullptr);
    EXPECT_EQ(frmNota200->Caption(), "Nota Fiscais Eletrônicas (NF-e) - NOTA200");
    // The toolbar's button runs the same command: the open form comes forward.
    TToolButton* lancar = nullptr;
    for (int i = 0; i < window->ComponentCount(); ++i)
        if (auto* b = dynamic_cast<TToolButton*>(window->Components(i)); b != nullptr && b->Caption() == "Lançar NF-e")
            lancar = b;
    ASSERT_NE(lancar, nullptr);
    lancar->Click();
    EXPECT_EQ(window->MDIChildCount(), 1);
    window->MainMenu1->FindItem("Lançar Romaneios")->Click();
    ASSERT_NE(frmNota201, nullptr);
    EXPECT_EQ(frmNota201->Caption(), "Romaneios - NOTA201");
    EXPECT_EQ(window->MDIChildCount(), 2);

    // Behind their own rights.
    AddUser("lia", "abc");
    dmdb->Set_Var("id_usuario", "lia");
    delete frmNota201;
    dialogs.Expect("Você não tem permissão para acessar esta opção.", mrOk, "Atenção");
    window->EmitirRomaneio1Click(nullptr);
    EXPECT_EQ(frmNota201, nullptr);
}

TEST_F(MainWindow, TheRegisterCommandsAndTheirToolbarButtonsOpenTheRegisters) {
    Create();
    LogInAs("Admin", "truve");
    // The toolbar's first three buttons carry the menu's commands.
    const struct {
        const char* button;
        std::function<TCustomForm*()> form;
    } buttons[] = {{"ToolButton1", [] { return frmNota100; }},
                   {"ToolButton2", [] { return frmNota101; }},
                   {"ToolButton3", [] { return frmNota103; }}};
    int open = 0;
    for (const auto& b : buttons) {
        auto* button = dynamic_cast<TToolButton*>(window->FindComponent(b.button));
        ASSERT_NE(button, nullptr) << b.button;
        button->Click();
        billtest::Pump();
        ASSERT_NE(b.form(), nullptr) << b.button;
        EXPECT_EQ(window->MDIChildCount(), ++open);
    }
    EXPECT_EQ(frmNota100->Caption(), "Clientes - NOTA100");
    EXPECT_EQ(frmNota101->Caption(), "Cadastro de Produtos - NOTA101");
    EXPECT_EQ(frmNota103->Caption(), "Transportadores - NOTA103");

    window->MainMenu1->FindItem("&Emitente")->Click();
    ASSERT_NE(frmNota110, nullptr);
    EXPECT_EQ(frmNota110->Caption(), "Emitente - NOTA110");
    EXPECT_EQ(window->MDIChildCount(), 4);
    // The menu items open the same forms, without a second copy.
    for (const char* caption : {"&Clientes", "&Produtos", "&Transportadoras"}) {
        TMenuItem* item = window->MainMenu1->FindItem(caption);
        ASSERT_NE(item, nullptr) << caption;
        item->Click();
    }
    EXPECT_EQ(window->MDIChildCount(), 4);
}

TEST_F(MainWindow, TheRegistersAskForTheirOwnRights) {
    Create();
    LogInAs("Admin", "truve");
    AddUser("lia", "abc");
    dmdb->ADOConnection->Execute("insert into usuario_programa(id_usuario, id_programa) values('lia', 'NOTA101')");
    dmdb->Set_Var("id_usuario", "lia");
    for (const char* caption : {"&Clientes", "&Transportadoras", "&Emitente"}) {
        dialogs.Expect("Você não tem permissão para acessar esta opção.", mrOk, "Atenção");
        window->MainMenu1->FindItem(caption)->Click();
    }
    EXPECT_EQ(window->MDIChildCount(), 0);
    window->MainMenu1->FindItem("&Produtos")->Click();
    EXPECT_EQ(window->MDIChildCount(), 1);
}

TEST_F(MainWindow, TheProductListingAndTheAccountingExportOpenTheirFormsBehindTheirRights) {
    Create();
    LogInAs("Admin", "truve");
    auto* listing = dynamic_cast<TMenuItem*>(window->FindComponent("Produtos1"));
    ASSERT_NE(listing, nullptr);
    EXPECT_EQ(listing->Caption(), "&Produtos");
    EXPECT_EQ(listing->Parent()->Caption(), "&Cadastros");
    EXPECT_EQ(listing->Parent()->Parent()->Caption(), "&Relatórios");
    TMenuItem* export_ = window->MainMenu1->FindItem("Gerar Arquivo Center Contábeis");
    ASSERT_NE(export_, nullptr);
    EXPECT_EQ(export_->Parent()->Caption(), "&Ferra&mentas");

    AddUser("lia", "abc");
    dmdb->ADOConnection->Execute("insert into usuario_programa(id_usuario, id_programa) values('lia', 'NOTA301')");
    dmdb->Set_Var("id_usuario", "lia");
    dialogs.Expect("Você não tem permissão para acessar esta opção.", mrOk, "Atenção");
    export_->Click();
    EXPECT_EQ(window->MDIChildCount(), 0);
    listing->Click();
    ASSERT_NE(frmNota301, nullptr);
    EXPECT_EQ(frmNota301->Caption(), "Relatório Produtos - NOTA301");

    dmdb->Set_Var("id_usuario", "Admin");
    export_->Click();
    ASSERT_NE(frmNota233, nullptr);
    EXPECT_EQ(frmNota233->Caption(), "Gerar Arquivo Center Contábeis - Nota233");
    listing->Click();
    EXPECT_EQ(window->MDIChildCount(), 2) << "an open form is brought to the front";
}

TEST_F(MainWindow, TheStatusBarShowsTheIssuersNewNameOnceItsFormCloses) {
    Create();
    LogInAs("Admin", "truve");
    EXPECT_EQ(window->StatusBar->Panels(3)->Text(), "Quillmar Tecnologia em Informática Ltda");
    window->Emitente1Click(nullptr);
    TfrmNota110* issuer = frmNota110;
    ASSERT_NE(issuer, nullptr);
    issuer->btnEdit->Click();
    issuer->qryEmitente->FieldByName("Nome")->SetAsString("Comércio Novo Ltda");
    // Closing with the edit pending asks first; the answer saves it.
    dialogs.Expect("Deseja salvar as alterações ?", mrYes, "Salvar");
    dialogs.Expect("O CNPJ não foi informado.", mrOk, "Atenção");
    issuer->Close();
    billtest::Pump();
    EXPECT_EQ(window->StatusBar->Panels(3)->Text(), "Quillmar Tecnologia em Informática Ltda");
    ASSERT_EQ(frmNota110, issuer);  // refused: still open

    auto& q = *issuer->qryEmitente;
    q.FieldByName("Cnpj")->SetAsString("11222333000181");
    q.FieldByName("Inscricao_Estadual")->SetAsString("213876054275");
    q.FieldByName("Endereco")->SetAsString("Rua Um");
    q.FieldByName("Numero_Endereco")->SetAsString("1");
    dmdb->ADOConnection->Execute("insert or ignore into uf(id_uf, uf) values(41, 'PR')");
    dmdb->ADOConnection->Execute("insert or ignore into municipio(id_municipio, nome, id_uf) values(4106902, 'Curitiba', 41)");
    dialogs.Expect("Deseja salvar as alterações ?", mrYes, "Salvar");
    issuer->Close();
    billtest::Pump();
    EXPECT_EQ(window->StatusBar->Panels(3)->Text(), "Comércio Novo Ltda");
    EXPECT_EQ(frmNota110, nullptr);

    // Saved by Salvar with the window left open: named at once.
    window->Emitente1Click(nullptr);
    issuer = frmNota110;
    ASSERT_NE(issuer, nullptr);
    issuer->btnEdit->Click();
    issuer->qryEmitente->FieldByName("Nome")->SetAsString("Comércio Outro Ltda");
    issuer->btnSave->Click();
    billtest::Pump();
    EXPECT_EQ(issuer->qryEmitente->State(), dsBrowse);
    EXPECT_EQ(window->StatusBar->Panels(3)->Text(), "Comércio Outro Ltda");
    EXPECT_EQ(frmNota110, issuer);
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
            billtest::Pump();  // the window system places it
            QRect covered = lock->Widget()->window()->geometry();
            EXPECT_TRUE(covered.contains(window->Widget()->window()->geometry()))
                << "the lock must hide the forms behind it";
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
    TfrmNota111* users = UsersWithPendingRow("Sem id");
    ASSERT_NE(users, nullptr);

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

TEST_F(MainWindow, EscapeAtTheSaveQuestionKeepsTheProgramTheFormAndTheRow) {
    Create();
    LogInAs("Admin", "truve");
    TfrmNota111* users = UsersWithPendingRow("Rui Barbosa");
    ASSERT_NE(users, nullptr);
    users->qryUsuario->FieldByName("Id_Usuario")->SetAsString("rui");

    // The program's own boxes, answered as a user would: Esc, then the
    // box's close button.
    billtest::RealBoxes boxes;
    int asked = 0;
    auto answer = [&](QMessageBox* box) {
        ++asked;
        EXPECT_NE(box->text().toStdString().find("Deseja salvar as alterações ?"), std::string::npos);
        EXPECT_EQ(box->buttons().size(), 3);  // Sim, Não, Cancelar
        if (asked == 1) QTest::keyClick(box, Qt::Key_Escape);
        else box->close();
    };
    boxes.WhenShown(answer);
    window->mnuSairClick(nullptr);
    boxes.WhenShown(answer);
    EXPECT_FALSE(window->CloseQuery());

    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(Application->Terminated());
    EXPECT_TRUE(dmdb->ADOConnection->Connected());
    EXPECT_EQ(window->MDIChildCount(), 1);
    EXPECT_EQ(users->qryUsuario->State(), dsInsert);
    EXPECT_EQ(users->qryUsuario->FieldByName("Nome")->AsString(), "Rui Barbosa");
    sqlite::Statement st(dmdb->ADOConnection->Database(), "select count(*) from usuario where id_usuario = 'rui'");
    ASSERT_TRUE(st.Step());
    EXPECT_EQ(st.ColumnInt64(0), 0);
    users->qryUsuario->Cancel();
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
        QObject context;
        std::function<void()> cancel = [&] {
            if (login.Visible()) login.btnCancel->Click();
            else QTimer::singleShot(0, &context, cancel);  // its modal loop has not begun yet
        };
        QTimer::singleShot(0, &context, cancel);
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

TEST_F(MainWindow, TheRegisterAndSettingsCommandsOpenTheirForms) {
    Create();
    LogInAs("Admin", "truve");
    const struct {
        const char* caption;
        std::function<bool(TCustomForm*)> is;
        const char* title;
    } commands[] = {
        {"CFOP", [](TCustomForm* f) { return dynamic_cast<TfrmNota104*>(f) != nullptr; }, "CFOP - NOTA104"},
        {"&Situação Tributária", [](TCustomForm* f) { return dynamic_cast<TfrmNota106*>(f) != nullptr; },
         "Situação Tributária - NOTA106"},
        {"Unidades de Medida", [](TCustomForm* f) { return dynamic_cast<TfrmNota119*>(f) != nullptr; },
         "Unidades de Medida - NOTA119"},
        {"&Vendedores", [](TCustomForm* f) { return dynamic_cast<TfrmNota102*>(f) != nullptr; },
         "Vendedores - NOTA102"},
        {"Série Documentos", [](TCustomForm* f) { return dynamic_cast<TfrmNota118*>(f) != nullptr; },
         "Série Documentos - NOTA118"},
        {"Condições de Pagamento", [](TCustomForm* f) { return dynamic_cast<TfrmNota108*>(f) != nullptr; },
         "Condições de Pagamento - NOTA108"},
        {"Contas Corrente", [](TCustomForm* f) { return dynamic_cast<TfrmNota107*>(f) != nullptr; },
         "Contas Corrente - NOTA107"},
        {"&Opções...", [](TCustomForm* f) { return dynamic_cast<TfrmNota115*>(f) != nullptr; }, "Opções - NOTA115"},
    };
    int open = 0;
    for (const auto& c : commands) {
        TMenuItem* item = window->MainMenu1->FindItem(c.caption);
        ASSERT_NE(item, nullptr) << c.caption;
        item->Click();
        ASSERT_EQ(window->MDIChildCount(), ++open) << c.caption;
        TCustomForm* form = window->MDIChildren(open - 1);
        EXPECT_TRUE(c.is(form)) << c.caption;
        EXPECT_EQ(form->Caption(), c.title);
    }
    // Again: the open form comes to the front, no second copy.
    window->MainMenu1->FindItem("CFOP")->Click();
    EXPECT_EQ(window->MDIChildCount(), open);
}

TEST_F(MainWindow, TheRegisterCommandsAskForTheirRights) {
    Create();
    LogInAs("Admin", "truve");
    AddUser("lia", "abc");
    dmdb->ADOConnection->Execute("insert into usuario_programa(id_usuario, id_programa) values('lia', 'NOTA119')");
    dmdb->Set_Var("id_usuario", "lia");
    dialogs.Expect("Você não tem permissão para acessar esta opção.", mrOk, "Atenção");
    window->mnuCfgConfiguraClick(nullptr);
    EXPECT_EQ(window->MDIChildCount(), 0);
    window->UnidadesdeMedida1Click(nullptr);
    EXPECT_EQ(window->MDIChildCount(), 1);
}

TEST_F(MainWindow, ACancelledLoginOpensNoDatabaseAndMakesNone) {
    // Not the first start: the INI names a database that is not there.
    std::string missing = dir.file("empresa.db");
    testsupport::WriteAll(dir.file("faturamento.ini"), "[Database]\nDatabase=" + missing + "\nUser=Admin\n");
    Create();
    window->ShowLogin = [] { return static_cast<TModalResult>(mrCancel); };
    window->FormActivate(window);
    EXPECT_TRUE(Application->Terminated());
    EXPECT_FALSE(dmdb->ADOConnection->Connected());
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_FALSE(fs::exists(dir.file("faturamento.db")));
}

// --- NF-e ------------------------------------------------------------------

TEST_F(MainWindow, TheNFeCommandsOpenTheirForms) {
    Create();
    LogInAs("Admin", "truve");
    auto* gerenciar = dynamic_cast<TToolButton*>(window->FindComponent("ToolButton7"));
    ASSERT_NE(gerenciar, nullptr);
    EXPECT_EQ(gerenciar->Caption(), "Gerenciar NF-e");
    gerenciar->Click();
    billtest::Pump();
    ASSERT_NE(frmNota232, nullptr);
    EXPECT_EQ(frmNota232->Caption(), "Gerenciamento de NF-e - NOTA232");
    window->MainMenu1->FindItem("Gerenciar Notas Fiscais Eletrônicas (NF-e)")->Click();
    EXPECT_EQ(window->MDIChildCount(), 1);
    window->MainMenu1->FindItem("Inutilizar Numeração NF-e")->Click();
    ASSERT_NE(frmNota231, nullptr);
    EXPECT_EQ(frmNota231->Caption(), "Inutilizar Faixa Numeração NF-e - NOTA231");
    window->MainMenu1->FindItem("Verificar Status Serviço NF-e")->Click();
    ASSERT_NE(frmNota230, nullptr);
    EXPECT_EQ(frmNota230->Caption(), "Verificar Status Serviço NF-e - NOTA230");
    // The master correction asks its code first; cancelled, it closes.
    bool asked = false;
    int looks = 0;
    // Timers left waiting die with this test's context, not after its locals.
    QObject context;
    std::function<void()> cancelPrompt = [&] {
        for (int i = 0; i < Screen->FormCount(); ++i) {
            auto* prompt = dynamic_cast<TfrmInformaSenha*>(Screen->Forms(i));
            if (prompt == nullptr || !prompt->Modal()) continue;
            asked = true;
            prompt->Button2Click(nullptr);
            return;
        }
        if (++looks < 100) QTimer::singleShot(0, &context, cancelPrompt);  // not up yet
    };
    QTimer::singleShot(0, &context, cancelPrompt);
    window->MainMenu1->FindItem("Manutenção Manual (somente Master)")->Click();
    billtest::Pump();
    EXPECT_TRUE(asked);
    EXPECT_EQ(frmNota225, nullptr);
    EXPECT_EQ(window->MDIChildCount(), 3);
}

TEST_F(MainWindow, TheNFeCommandsAskForTheirOwnRights) {
    Create();
    LogInAs("Admin", "truve");
    AddUser("lia", "abc");
    dmdb->Set_Var("id_usuario", "lia");
    for (const char* caption : {"Gerenciar Notas Fiscais Eletrônicas (NF-e)", "Inutilizar Numeração NF-e",
                                "Verificar Status Serviço NF-e", "Manutenção Manual (somente Master)"}) {
        dialogs.Expect("Você não tem permissão para acessar esta opção.", mrOk, "Atenção");
        window->MainMenu1->FindItem(caption)->Click();
    }
    EXPECT_EQ(window->MDIChildCount(), 0);
}

// The road of one invoice through the main window's answer timer: the
// stand-in monitor answers, the timer's ticks apply the answers, and the
// authorised invoice's DANFE is printed by the printer program of the INI.
// The invoice's window, kept in front meanwhile, follows each state the
// answers bring, Editar and Excluir going off once the invoice can no longer
// change, without the clerk touching anything.
TEST_F(MainWindow, AnInvoiceIsAuthorisedThroughTheAnswerTimer) {
    ui::ManualTimerClock clock;
    nfeAnswers = true;
    Create();
    LogInAs("Admin", "truve");
    nfetest::NFeFolders folders = nfetest::MakeFolders(dir.file("nfe"));
    nfetest::InsertRegisters(*dmdb->ADOConnection, folders);
    dmdb->ADOConnection->Execute("update opcao set ia_danfe = 'Sim'");
    dmdb->Inicia_Banco_Dados();
    std::string record = dir.file("danfe-args");
    std::string printer = dir.file("unidanfe");
    testsupport::WriteAll(printer, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > " + record +
                                       ".tmp\nmv " + record + ".tmp " + record + "\n");
    fs::permissions(printer, fs::perms::owner_all);
    TIniFile ini(dir.file("faturamento.ini"));
    ini.WriteString("NFe", "Danfe", printer);
    // This test program runs: the monitor check finds "the monitor" running.
    ini.WriteString("NFe", "Monitor", fs::read_symlink("/proc/self/exe").string());
    nfetest::FakeMonitor monitor({folders.envio, folders.retorno, folders.arquivamento});
    std::string key = nfetest::InsertInvoice(*dmdb->ADOConnection, 1, 1, EncodeDate(2010, 6, 15));
    auto Scalar = [](const std::string& sql) {
        sqlite::Statement st(dmdb->ADOConnection->Database(), sql);
        return st.Step() && !st.ColumnIsNull(0) ? st.ColumnText(0) : std::string();
    };
    window->mnuLancar_VendaClick(nullptr);
    ASSERT_NE(frmNota200, nullptr);
    TfrmNota200* form = frmNota200;
    billtest::Pump();
    ASSERT_EQ(form->DBEdit3->Text(), "Em Digitação");
    EXPECT_TRUE(form->btnEdit->Enabled());
    EXPECT_TRUE(form->btnDelete->Enabled());
    ASSERT_FALSE(billing::nfe::Transmitir_NFE(*dmdb->ADOConnection, billing::nfe::Config_NFe(*dmdb), key).empty());

    monitor.Step();
    clock.Advance(4000);
    EXPECT_EQ(Scalar("select situacao_nfe from nota_fiscal"), "Aguardando");
    EXPECT_EQ(Scalar("select recibo_nfe from nota_fiscal"), monitor.ReceiptOf(key));
    EXPECT_TRUE(window->TimerNFe->Enabled());
    EXPECT_EQ(form->DBEdit3->Text(), "Aguardando");
    EXPECT_FALSE(form->btnEdit->Enabled());
    EXPECT_FALSE(form->btnDelete->Enabled());
    monitor.Step();
    clock.Advance(4000);
    EXPECT_EQ(Scalar("select situacao_nfe from nota_fiscal"), "Autorizada");
    EXPECT_EQ(Scalar("select protocolo_nfe from nota_fiscal"), monitor.ProtocolOf(key));
    EXPECT_EQ(form->DBEdit3->Text(), "Autorizada");
    EXPECT_EQ(form->dbeProtocolo_NFe->Text(), monitor.ProtocolOf(key));
    EXPECT_FALSE(form->btnEdit->Enabled());
    EXPECT_TRUE(form->btnInsert->Enabled());
    for (int i = 0; i < 1000 && !fs::exists(record); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(testsupport::ReadAll(record), "arquivo=" + folders.arquivamento + "/201006/" + key +
                                                "-nfe.xml\nvisualizar=0\nCopias=1\nImpressora=padrao\n");
}

// A cancellation the answer timer reads is told as a success: the
// information icon, not the warning one.
TEST_F(MainWindow, ACancellationReadByTheAnswerTimerIsToldWithTheInformationIcon) {
    ui::ManualTimerClock clock;
    nfeAnswers = true;
    Create();
    LogInAs("Admin", "truve");
    nfetest::NFeFolders folders = nfetest::MakeFolders(dir.file("nfe"));
    nfetest::InsertRegisters(*dmdb->ADOConnection, folders);
    dmdb->Inicia_Banco_Dados();
    window->CheckNFeMonitor = [](const billing::nfe::NFeConfig&) { return true; };
    const std::string key =
        nfetest::InsertInvoice(*dmdb->ADOConnection, 1, 1, EncodeDate(2010, 6, 15), "Autorizada", nfetest::kClient);
    testsupport::WriteAll(folders.retorno + "/" + key + "-can.xml",
                          "<retCancNFe versao=\"1.07\"><infCanc><tpAmb>2</tpAmb><cStat>101</cStat><xMotivo>"
                          "Cancelamento de NF-e homologado</xMotivo><chNFe>" + key +
                              "</chNFe><nProt>141100000000321</nProt></infCanc></retCancNFe>");
    dialogs.Expect("foi cancelada com Sucesso", mrOk, "Sucesso");
    clock.Advance(4000);
    ASSERT_FALSE(dialogs.Shown().empty());
    EXPECT_EQ(dialogs.Shown().back().caption, "Sucesso");
    EXPECT_EQ(dialogs.Shown().back().type, mtInformation);
}

// What a tick has to say comes after its file work, while the timer is
// stopped; the timer runs again afterwards, and the same missing folder is
// not told again at every tick.
TEST_F(MainWindow, TheAnswerTimerTellsItsProblemsOnceAndGoesOn) {
    ui::ManualTimerClock clock;
    nfeAnswers = true;
    Create();
    LogInAs("Admin", "truve");
    window->CheckNFeMonitor = [](const billing::nfe::NFeConfig&) { return true; };
    dmdb->Set_Var("pasta_nfe_retorno", dir.file("sem-retorno"));
    dialogs.Expect("A pasta de retorno \"" + dir.file("sem-retorno") + "\" não existe !", mrOk, "Atenção");
    clock.Advance(4000);
    EXPECT_TRUE(window->TimerNFe->Enabled());
    clock.Advance(40000);  // ten more ticks, nothing more to say
    EXPECT_TRUE(window->TimerNFe->Enabled());
}

// The login opens the database before it knows the password is right: the
// answer timer waits for the login to end, so none of its boxes come up over
// it. Then a fresh installation's missing return folder is told once, with
// where to set it, and the folder saved in the settings counts at once.
TEST_F(MainWindow, TheAnswerTimerWaitsForTheLoginAndTellsAMissingFolderOnce) {
    ui::ManualTimerClock clock;
    nfeAnswers = true;
    Create();
    window->CheckNFeMonitor = [](const billing::nfe::NFeConfig&) { return true; };
    window->ShowLogin = [this, &clock] {
        TfrmNota220 login(nullptr);
        login.FormShow(&login);
        login.tbTemp->FieldByName("Id_Usuario")->SetAsString("Admin");
        login.tbTemp->FieldByName("Senha")->SetAsString("errada");
        dialogs.Expect("A senha está incorreta.", mrOk);
        login.btnOkClick(nullptr);
        EXPECT_TRUE(dmdb->ADOConnection->Connected());
        clock.Advance(20000);  // the clerk types the password again: no box meanwhile
        login.tbTemp->FieldByName("Senha")->SetAsString("truve");
        login.btnOkClick(nullptr);
        return login.ModalResult() == mrOk ? mrOk : mrCancel;
    };
    window->FormActivate(window);
    window->Show();
    billtest::Pump();
    EXPECT_EQ(dialogs.Shown().size(), 1u) << "only the login's own box";
    dialogs.Expect("A pasta de retorno dos arquivos NF-e não foi informada.", mrOk, "Atenção");
    clock.Advance(4000);
    ASSERT_FALSE(dialogs.Shown().empty());
    EXPECT_NE(dialogs.Shown().back().text.find("Ferramentas > Opções"), std::string::npos);
    clock.Advance(40000);  // ten more ticks, nothing more to say

    std::string retorno = dir.file("retorno"), erro = dir.file("erro");
    fs::create_directories(retorno);
    fs::create_directories(erro);
    window->mnuCfgConfiguraClick(nullptr);
    ASSERT_NE(frmNota115, nullptr);
    frmNota115->DBButton1->Click();
    frmNota115->qryOpcao->FieldByName("Pasta_NFe_Retorno")->SetAsString(retorno);
    frmNota115->qryOpcao->FieldByName("Pasta_NFe_Erro")->SetAsString(erro);
    frmNota115->qryOpcao->FieldByName("copias_danfe")->SetAsInteger(1);
    frmNota115->DBButton2->Click();
    testsupport::WriteAll(retorno + "/sem-chave-nfe.err", "erro");
    dialogs.Expect("sem-chave-nfe.err", mrOk, "Atenção");
    clock.Advance(4000);
    EXPECT_FALSE(fs::exists(retorno + "/sem-chave-nfe.err")) << "the saved folder is read without a restart";
}

namespace {

// Every command of a menu: the items that have no items of their own and
// are not separators, in menu order.
void Commands(TMenuItem* Item, std::vector<TMenuItem*>& Out) {
    for (int i = 0; i < Item->Count(); ++i) {
        TMenuItem* child = Item->Items(i);
        if (child->Count() > 0) Commands(child, Out);
        else if (child->Caption() != "-") Out.push_back(child);
    }
}

// The commands open to every user: the unfinished ones without a right of
// their own, the placeholder for orders, leaving, help and the links.
bool OpenToEveryone(const std::string& Name) {
    static const std::set<std::string> open{
        "Febraban1",           "mnuSair",        "LanarPedidos1",       "RomaneiosEmitidos1",
        "BloquetosEmitidos1",  "mnuTitulo_Receber", "GerarArquivoRemessa1", "LerArquivoRetorno1",
        "BoletosEmitidos1",    "tulosaReceber2", "ModelosImpressoras1", "mnuSuporte",
        "mnuSobre",            "ConsultaNFenaSefaz1", "ConsultaInutilizaoSefaz1"};
    return open.count(Name) > 0;
}

}  // namespace

TEST_F(MainWindow, AUserWithoutRightsIsRefusedEveryGuardedCommandBeforeAnythingOpens) {
    Create();
    LogInAs("Admin", "truve");
    AddUser("lia", "abc");
    dmdb->Set_Var("id_usuario", "lia");
    std::vector<TMenuItem*> commands;
    Commands(window->MainMenu1->Items(), commands);
    Commands(window->popLink->Items(), commands);
    ASSERT_GT(commands.size(), 30u);

    int guarded = 0;
    for (TMenuItem* item : commands) {
        if (OpenToEveryone(item->Name())) continue;
        SCOPED_TRACE(item->Name() + " \"" + item->Caption() + "\"");
        ++guarded;
        const std::size_t boxes = dialogs.Shown().size();
        dialogs.Expect("Você não tem permissão para acessar esta opção.", mrOk, "Atenção");
        item->Click();
        billtest::Pump();
        EXPECT_EQ(dialogs.Shown().size(), boxes + 1) << "one box: the refusal, nothing after it";
        EXPECT_EQ(window->MDIChildCount(), 0);
        EXPECT_EQ(dialogs.Pending(), 0);
    }
    // Every command the table gives a right: registers, entries, reports and tools.
    EXPECT_EQ(guarded, 28);

    // Every toolbar button bound to a command runs a command of the menu.
    for (int i = 0; i < window->ToolBar1->ButtonCount(); ++i) {
        TMenuItem* item = window->ToolBar1->Buttons(i)->MenuItem();
        if (item != nullptr) EXPECT_NE(std::find(commands.begin(), commands.end(), item), commands.end());
    }
}

TEST_F(MainWindow, AdminOpensEveryGuardedCommandsFormOrItsMessage) {
    Create();
    LogInAs("Admin", "truve");
    std::vector<TMenuItem*> commands;
    Commands(window->MainMenu1->Items(), commands);
    for (TMenuItem* item : commands) {
        // The lock and the master's correction ask a password in a modal
        // box first; their own tests answer it.
        if (OpenToEveryone(item->Name()) || item == window->mnuBloquear_Aplicativo ||
            item->Name() == "ManutenoManualsomenteMaster1")
            continue;
        SCOPED_TRACE(item->Name() + " \"" + item->Caption() + "\"");
        const int before = window->MDIChildCount();
        ui::ScriptedDialogs quiet([](const std::string&) {});
        quiet.Answer(mrOk);
        item->Click();
        billtest::Pump();
        const bool opened = window->MDIChildCount() == before + 1;
        const bool told = quiet.Shown().size() == 1 &&
                          quiet.Shown()[0].text == "Esta opção está sendo Implementada. Aguarde.";
        EXPECT_TRUE(opened != told) << "its form or the unfinished-command message";
        for (const ui::BoxRequest& box : quiet.Shown())
            EXPECT_EQ(box.text.find("permissão"), std::string::npos) << box.text;
    }
}

// The two small windows a clerk opens over the main window, by their keys
// alone: Esc cancels each; its Alt letters ("&Cancelar", "Senha &Atual")
// are its own, never the main window's menus (Cadastros, Ajuda), which stay
// shut.
TEST_F(MainWindow, EscAndTheirOwnAltLettersGetOutOfRelatorioProdutosAndAlterarSenha) {
    Create();
    LogInAs("Admin", "truve");
    struct Small {
        const char* name;
        std::function<TCustomForm*()> open;  // by the menu, as the clerk does
        std::function<bool()> gone;
    };
    auto viaMenu = [this](const char* name) {
        auto* item = dynamic_cast<TMenuItem*>(window->FindComponent(name));
        EXPECT_NE(item, nullptr) << name;
        if (item != nullptr) item->Click();
        billtest::Pump();
    };
    const std::vector<Small> windows = {
        {"Relatório Produtos",
         [&] {
             viaMenu("Produtos1");  // Relatórios > Cadastros > Produtos
             return static_cast<TCustomForm*>(frmNota301);
         },
         [] { return frmNota301 == nullptr; }},
        {"Alterar Senha",
         [&] {
             viaMenu("AlterarSenha1");
             return static_cast<TCustomForm*>(FrmNota223);
         },
         [] { return FrmNota223 == nullptr; }},
    };
    auto key = [](Qt::Key K, Qt::KeyboardModifiers M = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget()
                                                                 : QApplication::activeWindow();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, K, M);
        billtest::Pump();
    };
    auto noMenuOpen = [] {
        QWidget* popup = QApplication::activePopupWidget();
        if (popup != nullptr) popup->close();
        return popup == nullptr;
    };
    for (const Small& w : windows) {
        SCOPED_TRACE(w.name);
        for (bool byEsc : {true, false}) {
            SCOPED_TRACE(byEsc ? "Esc" : "Alt+C");
            TCustomForm* form = w.open();
            ASSERT_NE(form, nullptr);
            ASSERT_TRUE(form->Visible());
            if (byEsc) key(Qt::Key_Escape);
            else key(Qt::Key_C, Qt::AltModifier);
            EXPECT_TRUE(QTest::qWaitFor([&] { return w.gone(); }, 2000)) << "a janela ficou aberta";
            EXPECT_TRUE(noMenuOpen()) << "um menu da janela principal se abriu";
            if (!w.gone()) {
                delete form;
                billtest::Pump();
            }
        }
    }
    // "Senha &Atual": Alt+A goes back to the current password, not to Ajuda.
    viaMenu("AlterarSenha1");
    ASSERT_NE(FrmNota223, nullptr);
    FrmNota223->edtRedigita->SetFocus();
    billtest::Pump();
    key(Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(noMenuOpen()) << "Alt+A abriu o menu Ajuda";
    EXPECT_TRUE(FrmNota223->edtAtual->Focused());
}
