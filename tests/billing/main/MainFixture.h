#pragma once
// The main window as the program creates it, over a fresh database in a
// temporary folder, with the real login driven without its modal loop.
#include <string>
#include <vector>

#include "billing/forms/Nota111.h"
#include "billing/forms/Nota220.h"
#include "billing/main/uoskerun.h"
#include "tests/billing/forms/BillingFixture.h"

namespace billtest {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ui::EnsureQtApplication();
        billing::forms::InstallUiMessages();
        module = new Tdmdb(nullptr);
        dmdb = module;
        TfrmOske_Nf::SetCommandLine(dir.file("faturamento"), args);
    }
    void TearDown() override {
        if (window != nullptr) {
            for (int i = window->MDIChildCount() - 1; i >= 0; --i) delete window->MDIChildren(i);
            Application->SetMainForm(nullptr);
            delete window;
        }
        billtest::Pump();
        Application->ClearTerminated();
        dialogs.Verify();
        delete module;
        dmdb = nullptr;
    }
    // Creates the window as the program does; the login is the real form,
    // driven without its modal loop.
    void Create() {
        window = new TfrmOske_Nf(nullptr);
        Application->SetMainForm(window);
        window->ShowLogin = [this] {
            TfrmNota220 login(nullptr);
            login.FormShow(&login);
            if (!loginUser.empty()) {
                login.tbTemp->FieldByName("Id_Usuario")->SetAsString(loginUser);
                login.tbTemp->FieldByName("Senha")->SetAsString(loginPassword);
                login.btnOkClick(nullptr);
            }
            return login.ModalResult() == mrOk ? mrOk : mrCancel;
        };
        // A slow test must not meet the answer poller's boxes by chance:
        // only the tests about it let it run.
        if (!nfeAnswers) window->OnNFeAnswers = nullptr;
        window->DoCreate();
    }
    // Logs in through the first activation, then shows the window (its
    // children only show inside a shown frame).
    void LogInAs(const std::string& User, const std::string& Password) {
        loginUser = User;
        loginPassword = Password;
        window->FormActivate(window);
        window->Show();
        billtest::Pump();
    }
    // The users register open with a new row being typed (its name given).
    TfrmNota111* UsersWithPendingRow(const std::string& Nome) {
        window->Usurios1Click(nullptr);
        TfrmNota111* users = frmNota111;
        if (users == nullptr) return nullptr;
        users->btnInsert->Click();
        users->qryUsuario->FieldByName("Nome")->SetAsString(Nome);
        return users;
    }
    void AddUser(const std::string& Id, const std::string& Password) {
        dmdb->ADOConnection->Execute("insert into usuario(id_usuario, nome, senha, inativo) values(:p1, :p1, :p2, 'Não')",
                                     {{"p1", Variant(Id)}, {"p2", Variant(dmdb->EncryptPassword(Password))}});
    }

    testsupport::TempDir dir;
    std::vector<std::string> args;
    Tdmdb* module = nullptr;
    TfrmOske_Nf* window = nullptr;
    std::string loginUser, loginPassword;
    bool nfeAnswers = false;
    billtest::Dialogs dialogs;
};

}  // namespace billtest
