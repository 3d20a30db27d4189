#pragma once
// The login: who the user is, which database he works on. Shown modally at
// the main window's first activation; the result is mrOk after a successful
// login and mrCancel when the user gives up.
#include <string>

#include <QWidget>

#include "platform//db/DB.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"

class TfrmNota220 : public TForm {
public:
    FAT_CLASS_NAME(TfrmNota220)
    explicit TfrmNota220(TComponent* AOwner);
    ~TfrmNota220() override;

    TDataSet* tbTemp = nullptr;  // Id_Usuario, Senha, Data_Movimento, Database
    TDataSource* dsTemp = nullptr;
    TDBEdit* dbeId_Usuario = nullptr;
    TDBEdit* dbeSenha = nullptr;
    TexDBDateTimePicker* dbeData_Movimento = nullptr;
    TexDBComboDlg* exDBComboDlg1 = nullptr;
    TButton* btnOk = nullptr;
    TButton* btnCancel = nullptr;
    TOpenDialog* OpenDialog = nullptr;

    // The database the program creates by itself on a fresh machine: a
    // missing file of this name is created at login instead of refused.
    const std::string& DefaultDatabase() const { return defaultDatabase_; }
    void SetDefaultDatabase(const std::string& Value) { defaultDatabase_ = Value; }

    void FormShow(TObject* Sender);
    void tbTempAfterInsert(TDataSet* DataSet);
    void exDBComboDlg1CustomDlg(TObject* Sender);
    void btnOkClick(TObject* Sender);
    void btnCancelClick(TObject* Sender);

    // The field values as typed (the edits' pending text included).
    std::string UserText() const;
    std::string PasswordText() const;
    std::string DatabaseText() const;

private:
    std::string defaultDatabase_;
};

// The database chooser: names the database file alone.
class TfrmSelecionarBancoDados : public TForm {
public:
    FAT_CLASS_NAME(TfrmSelecionarBancoDados)
    explicit TfrmSelecionarBancoDados(TComponent* AOwner);

    TexDBComboDlg* dbeDatabase = nullptr;  // unbound: an edit with a browse button
    TOpenDialog* OpenDialog = nullptr;
    TButton* Button1 = nullptr;
    TButton* Button2 = nullptr;

    void FormShow(TObject* Sender);
    void dbeDatabaseCustomDlg(TObject* Sender);
    void dbeDatabaseKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
    void Button1Click(TObject* Sender);
    void Button2Click(TObject* Sender);
};

extern TfrmNota220* frmNota220;
