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
    // Empties the password and puts the cursor there.
    void ClearPassword();
};

// The database chooser: names the database file alone. A name that does not
// exist is refused, unless the user asks for a new, empty database there.
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

namespace billing::forms {

// The database at Path is missing, or something else stands at its name (a
// pipe, a device, a folder): says so, naming it and what stands there, and
// offers the chooser; true when the user chose (nome_banco_dados then names an
// existing file), false when he would not or cancelled the chooser.
bool OfferDatabaseChooser(const std::string& Path);

}  // namespace billing::forms
