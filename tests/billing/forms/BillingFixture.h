#pragma once
// A billing session for window tests: a fresh database in a temporary
// folder opened by the program's data module, the data services' messages
// routed to a dialog script that fails the test on any box nobody expected,
// and small helpers to add users and read rows back.
#include <memory>
#include <string>

#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "platform/db/SQLiteDatabase.h"
#include "platform/rtl/Strings.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "tests/support/TestSupport.h"

namespace billtest {

class Dialogs : public ui::ScriptedDialogs {
public:
    Dialogs() : ui::ScriptedDialogs([](const std::string& m) { ADD_FAILURE() << m; }) {}
};

inline void Pump() {
    for (int i = 0; i < 3; ++i) Application->ProcessMessages();
}

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        ui::EnsureQtApplication();
        billing::forms::InstallUiMessages();
        database = dir.file("faturamento.db");
        module = new Tdmdb(nullptr);
        dmdb = module;
        dmdb->Set_Var("nome_arquivo_ini", dir.file("faturamento.ini"));
        dmdb->Set_Var("nome_banco_dados", database);
        dmdb->Set_Var("id_usuario", "Admin");
        dmdb->Set_Var("nome_aplicativo", "Quillmar OSKE 1.44 [Faturamento]");
        dmdb->Set_Var("mascara_produto", "#.##.###.###;0; ");
        dmdb->Abrir_Banco_Dados();
    }
    void TearDown() override {
        Pump();
        dialogs.Verify();
        delete module;
        dmdb = nullptr;
    }

    // A user whose password is stored the way the program stores it.
    void AddUser(const std::string& Id, const std::string& Password, const std::string& Inativo = "Não") {
        dmdb->ADOConnection->Execute(
            "insert into usuario(id_usuario, nome, senha, inativo) values(:pid, :pnome, :psenha, :pinativo)",
            {{"pid", Variant(Id)}, {"pnome", Variant("Nome de " + Id)},
             {"psenha", Variant(dmdb->EncryptPassword(Password))}, {"pinativo", Variant(Inativo)}});
    }
    void Grant(const std::string& User, const std::string& Program) {
        dmdb->ADOConnection->Execute("insert into usuario_programa(id_usuario, id_programa) values(:pu, :pp)",
                                     {{"pu", Variant(User)}, {"pp", Variant(Program)}});
    }
    // The first column of the first row, "" when none (or null).
    std::string Scalar(const std::string& Sql) {
        sqlite::Statement st(dmdb->ADOConnection->Database(), Sql);
        if (!st.Step() || st.ColumnIsNull(0)) return {};
        return st.ColumnText(0);
    }
    int Count(const std::string& Sql) { return std::stoi(Scalar(Sql)); }

    testsupport::TempDir dir;
    std::string database;
    Tdmdb* module = nullptr;
    Dialogs dialogs;
};

// A session with an MDI frame as the main form, shown, so that register
// forms open as its children and run their OnShow.
class MdiSession : public Session {
protected:
    void SetUp() override {
        Session::SetUp();
        frame = std::make_unique<TForm>(nullptr);
        frame->SetFormStyle(fsMDIForm);
        Application->SetMainForm(frame.get());
        frame->Show();
    }
    void TearDown() override {
        Application->SetMainForm(nullptr);
        frame.reset();
        Session::TearDown();
    }
    std::unique_ptr<TForm> frame;
};

}  // namespace billtest
