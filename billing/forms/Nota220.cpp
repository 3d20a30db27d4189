#include "billing/forms/Nota220.h"

#include <filesystem>

#include "billing/data/Schema.h"
#include "billing/data/LoginDelay.h"
#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "memtable/mtMemTable.h"
#include "platform/db/SQLiteDatabase.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/IniFiles.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"

namespace fs = std::filesystem;
using namespace billing::forms;

TfrmNota220* frmNota220 = nullptr;

namespace {

bool FileExists(const std::string& Path) {
    std::error_code ec;
    return !Path.empty() && fs::is_regular_file(Path, ec);
}

std::string ExeFolder() {
    return fs::path(billing::data::AppFiles::CurrentExecutable()).parent_path().string();
}

}  // namespace

TfrmNota220::TfrmNota220(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmNota220");
    SetCaption("Identificação do Usuário - NOTA220");
    SetBorderStyle(bsDialog);
    SetPosition(poDesktopCenter);
    SetBounds(0, 0, 430, 264);

    auto* table = new TmtMemTable(this);
    table->SetName("tbTemp");
    table->FieldDefs()->Add("Id_Usuario", ftString, 20);
    // Wider than a password may be: what is typed arrives whole and a long
    // one is refused with a word instead of being cut at the edit.
    table->FieldDefs()->Add("Senha", ftString, 255);
    table->FieldDefs()->Add("Data_Movimento", ftDateTime, 0);
    table->FieldDefs()->Add("Database", ftString, 255);
    tbTemp = table;
    tbTemp->AfterInsert = [this](TDataSet* d) { tbTempAfterInsert(d); };
    dsTemp = new TDataSource(this);
    dsTemp->SetName("dsTemp");
    dsTemp->SetDataSet(tbTemp);

    auto* welcome = Place<TLabel>(this, this, "lblBemVindo", 16, 10, 380, 26);
    welcome->SetAutoSize(false);
    welcome->SetFontBold(true);
    welcome->SetFontSize(12);
    welcome->SetCaption("Seja Bem Vindo !");
    PlaceLabel(this, this, "Informe sua identificação para acessar o Sistema.", 16, 40);

    dbeId_Usuario = PlaceDB<TDBEdit>(this, this, "dbeId_Usuario", dsTemp, "Id_Usuario", 120, 74, 160, 23);
    PlaceLabel(this, this, "Usuário", 16, 78, dbeId_Usuario);

    dbeSenha = PlaceDB<TDBEdit>(this, this, "dbeSenha", dsTemp, "Senha", 120, 104, 160, 23);
    dbeSenha->SetPasswordChar('*');
    PlaceLabel(this, this, "Senha", 16, 108, dbeSenha);

    dbeData_Movimento = PlaceDB<TexDBDateTimePicker>(this, this, "dbeData_Movimento", dsTemp, "Data_Movimento", 120, 134, 120, 23);
    dbeData_Movimento->SetEpoch(1950);
    PlaceLabel(this, this, "Dt Movimento", 16, 138, dbeData_Movimento);

    exDBComboDlg1 = PlaceDB<TexDBComboDlg>(this, this, "exDBComboDlg1", dsTemp, "Database", 120, 164, 290, 23);
    exDBComboDlg1->OnCustomDlg = [this](TObject* s) { exDBComboDlg1CustomDlg(s); };
    PlaceLabel(this, this, "Banco Dados", 16, 168, exDBComboDlg1);

    btnOk = Place<TButton>(this, this, "btnOk", 224, 220, 90, 28);
    btnOk->SetCaption("&OK");
    btnOk->SetDefault(true);
    btnOk->OnClick = [this](TObject* s) { btnOkClick(s); };
    btnCancel = Place<TButton>(this, this, "btnCancel", 320, 220, 90, 28);
    btnCancel->SetCaption("&Cancelar");
    btnCancel->SetCancel(true);  // Esc gives up the login, as the button does
    btnCancel->OnClick = [this](TObject* s) { btnCancelClick(s); };

    OpenDialog = new TOpenDialog(this);
    OpenDialog->SetName("OpenDialog");
    OpenDialog->SetDefaultExt("*.db");
    OpenDialog->SetFilter("Banco Dados do Faturamento|*.db;*.DB|Todos os arquivos|*");
    OpenDialog->SetTitle("Abrir Banco Dados do OSKE Faturamento");

    OnShow = [this](TObject* s) { FormShow(s); };
    SetKeyPreview(true);
    InstallNavigation(this);
    frmNota220 = this;
}

TfrmNota220::~TfrmNota220() {
    if (frmNota220 == this) frmNota220 = nullptr;
}

void TfrmNota220::FormShow(TObject*) {
    if (!tbTemp->Active()) tbTemp->Open();
    if (tbTemp->IsEmpty() && tbTemp->State() == dsBrowse) tbTemp->Append();
    if (!Trim(tbTemp->FieldByName("Id_Usuario")->AsString()).empty()) SetActiveControl(dbeSenha);
    else SetActiveControl(dbeId_Usuario);
}

void TfrmNota220::tbTempAfterInsert(TDataSet* DataSet) {
    DataSet->FieldByName("Data_Movimento")->SetAsDateTime(Date());
    DataSet->FieldByName("Id_Usuario")->SetAsString(dmdb->Get_Var("id_usuario"));
    DataSet->FieldByName("Database")->SetAsString(dmdb->Get_Var("nome_banco_dados"));
}

void TfrmNota220::exDBComboDlg1CustomDlg(TObject*) {
    OpenDialog->SetInitialDir(ExeFolder());
    if (!OpenDialog->Execute()) return;
    if (tbTemp->State() == dsBrowse) tbTemp->Edit();
    tbTemp->FieldByName("Database")->SetAsString(OpenDialog->FileName());
}

std::string TfrmNota220::UserText() const { return dbeId_Usuario->Text(); }
std::string TfrmNota220::PasswordText() const { return dbeSenha->Text(); }
std::string TfrmNota220::DatabaseText() const { return exDBComboDlg1->Text(); }

void TfrmNota220::btnOkClick(TObject*) {
    // What is typed but not yet written into the row counts.
    if (tbTemp->State() == dsEdit || tbTemp->State() == dsInsert) tbTemp->UpdateRecord();
    std::string user = Trim(UserText());
    std::string password = PasswordText();
    if (user.empty()) {
        Box("Informe o Usuário !", "Atenção");
        dbeId_Usuario->SetFocus();
        return;
    }
    // Another spelling of a name that looks the same: the database would
    // find the user by it.
    if (billing::data::HasInvisibleCharacter(user)) {
        Box(billing::data::kInvisibleCharacterInName, "Atenção");
        dbeId_Usuario->SetFocus();
        return;
    }
    if (Trim(password).empty()) {
        Box("Informe a Senha !", "Atenção");
        dbeSenha->SetFocus();
        return;
    }
    if (Length(password) > billing::data::kPasswordMaxLength) {
        Box(dmdb->PasswordRefusal(password), "Atenção");
        ClearPassword();
        return;
    }
    std::string database = Trim(DatabaseText());
    if (!FileExists(database)) {
        if (!OfferDatabaseChooser(database)) Abort();
        database = dmdb->Get_Var("nome_banco_dados");
        if (tbTemp->State() == dsBrowse) tbTemp->Edit();
        tbTemp->FieldByName("Database")->SetAsString(database);
    }

    dmdb->Set_Var("nome_banco_dados", database);
    dmdb->Abrir_Banco_Dados();

    // Guessing is slowed down: after three failures in a row the user, as
    // the register finds the name, waits before the password is even
    // looked at.
    UserRecord row;
    const bool found = FindUser(user, row);
    PasswordTry attempt(user, found ? &row : nullptr);
    if (attempt.Waiting()) {
        ClearPassword();
        return;
    }
    if (!found) {
        attempt.Failed("NOTA220", "Tentativa de Login com Usuário inexistente");
        Box("O Usuário informado não existe !", "Atenção");
        dbeId_Usuario->SetFocus();
        return;
    }
    if (!dmdb->PasswordMatches(password, row.senha)) {
        attempt.Failed("NOTA220", "Tentativa de Login com senha incorreta");
        Box("A senha está incorreta.", "Atenção");
        ClearPassword();
        return;
    }
    attempt.Succeeded();
    // A disabled user is kept out here, not only at the password change; the
    // built-in Admin cannot be disabled, so the system never locks itself out.
    if (AnsiSameText(Trim(row.inativo), "Sim") && !AnsiSameText(row.id, "Admin")) {
        Box("O Usuário \"" + user + "\" está com o acesso desabilitado.\r\n\r\nEntre em contato com o Administrador do Sistema",
            "Usuário Desabilitado");
        dbeId_Usuario->SetFocus();
        return;
    }
    dmdb->Set_Var("id_usuario", row.id.empty() ? user : row.id);
    // The user is who they said: a settings file that cannot be written
    // loses only the next start's proposal, told once.
    dmdb->SalvaIniAvisandoUmaVez();
    dmdb->Usuario_Log("NOTA220", "Usuário fez o Login no Sistema");
    SetModalResult(mrOk);
}

void TfrmNota220::ClearPassword() {
    // Ready for typing again, without the old text to delete first.
    if (tbTemp->State() == dsBrowse) tbTemp->Edit();
    tbTemp->FieldByName("Senha")->SetAsString("");
    dbeSenha->SetText("");
    dbeSenha->SetFocus();
}

void TfrmNota220::btnCancelClick(TObject*) { SetModalResult(mrCancel); }

// ---------------------------------------------------------------------------

TfrmSelecionarBancoDados::TfrmSelecionarBancoDados(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmSelecionarBancoDados");
    SetCaption("Selecionar Banco de Dados");
    SetBorderStyle(bsDialog);
    SetPosition(poDesktopCenter);
    SetBounds(0, 0, 460, 140);
    dbeDatabase = Place<TexDBComboDlg>(this, this, "dbeDatabase", 16, 36, 420, 23);
    dbeDatabase->OnCustomDlg = [this](TObject* s) { dbeDatabaseCustomDlg(s); };
    dbeDatabase->OnKeyDown = [this](TObject* s, Word& k, TShiftState sh) { dbeDatabaseKeyDown(s, k, sh); };
    PlaceLabel(this, this, "Banco Dados", 16, 14, dbeDatabase);
    Button1 = Place<TButton>(this, this, "Button1", 250, 80, 90, 28);
    Button1->SetCaption("&OK");
    Button1->SetDefault(true);
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    Button2 = Place<TButton>(this, this, "Button2", 346, 80, 90, 28);
    Button2->SetCaption("&Cancelar");
    Button2->SetCancel(true);
    Button2->OnClick = [this](TObject* s) { Button2Click(s); };
    OpenDialog = new TOpenDialog(this);
    OpenDialog->SetFilter("Banco Dados do Faturamento|*.db;*.DB|Todos os arquivos|*");
    OpenDialog->SetTitle("Abrir Banco Dados do OSKE Faturamento");
    OnShow = [this](TObject* s) { FormShow(s); };
}

void TfrmSelecionarBancoDados::FormShow(TObject*) { dbeDatabase->SetText(dmdb->Get_Var("nome_banco_dados")); }

void TfrmSelecionarBancoDados::dbeDatabaseCustomDlg(TObject*) {
    std::string current = Trim(dbeDatabase->Text());
    OpenDialog->SetInitialDir(current.empty() ? ExeFolder() : fs::path(current).parent_path().string());
    if (OpenDialog->Execute()) dbeDatabase->SetText(OpenDialog->FileName());
}

void TfrmSelecionarBancoDados::dbeDatabaseKeyDown(TObject* Sender, Word& Key, TShiftState) {
    if (Key == VK_F5) {
        Key = 0;
        dbeDatabaseCustomDlg(Sender);
    }
}

void TfrmSelecionarBancoDados::Button1Click(TObject*) {
    std::string text = Trim(dbeDatabase->Text());
    if (FileExists(text)) {
        dmdb->Set_Var("nome_banco_dados", text);
        SetModalResult(mrOk);
        return;
    }
    // Something else stands at the name: no database can be made there.
    if (std::string obstacle = sqlite::DatabaseObstacle(text); !obstacle.empty()) {
        Box(sqlite::DatabaseObstacleMessage(text, obstacle, "não pode ser usado") + "\r\n\r\nEscolha outro nome.",
            "Atenção");
        dbeDatabase->SetFocus();
        return;
    }
    // The one place besides the first start where a database is made, and
    // only when the user says so.
    if (!text.empty() &&
        AskYesNo("O Banco de Dados \"" + dbeDatabase->Text() + "\" não foi encontrado !\r\n\r\n"
                 "Deseja criar um novo Banco de Dados, vazio, com este nome ?",
                 "Atenção")) {
        try {
            billing::data::CreateDatabaseFile(text);
        } catch (const Exception& e) {
            Box("Não foi possível criar o Banco de Dados \"" + text + "\".\r\n\r\n" + e.Message(), "Erro", mtError);
            dbeDatabase->SetFocus();
            return;
        }
        dmdb->Set_Var("nome_banco_dados", text);
        SetModalResult(mrOk);
        return;
    }
    if (text.empty()) Box("O Banco de Dados \"" + dbeDatabase->Text() + "\" não foi encontrado !", "Atenção");
    dbeDatabase->SetFocus();
}

void TfrmSelecionarBancoDados::Button2Click(TObject*) { SetModalResult(mrCancel); }

// ---------------------------------------------------------------------------

namespace billing::forms {

bool OfferDatabaseChooser(const std::string& Path) {
    const std::string obstacle = sqlite::DatabaseObstacle(Path);
    const std::string question =
        obstacle.empty() ? "O Banco de Dados de Faturamento do OSKE \"" + Path + "\" não foi encontrado.\r\n\r\n"
                           "Deseja escolher outro Banco de Dados, ou criar um novo ?"
                         : sqlite::DatabaseObstacleMessage(Path, obstacle, "não pode ser aberto") +
                               "\r\n\r\nDeseja escolher outro Banco de Dados ?";
    if (!AskYesNo(question, "Atenção")) return false;
    dmdb->Set_Var("nome_banco_dados", Path);  // the chooser starts from it
    TfrmSelecionarBancoDados chooser(nullptr);
    return chooser.ShowModal() == mrOk;
}

}  // namespace billing::forms
