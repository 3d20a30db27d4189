#include "billing/forms/Nota111.h"

#include "billing/data/LoginDelay.h"
#include "billing/data/Schema.h"
#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/Pesquisa.h"
#include "memtable/mtMemTable.h"
#include "platform/db/SQLiteDatabase.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"

using namespace billing::forms;

TfrmNota111* frmNota111 = nullptr;

TfrmNota111::TfrmNota111(TComponent* AOwner)
    : RegisterForm(AOwner, "Usuários - NOTA111", "Usuario", "select * from Usuario order by Id_usuario",
                   "Id_Usuario") {
    SetName("frmNota111");
    qryUsuario = qry;
    qryUsuario->SetName("qryUsuario");
    SetBounds(0, 0, 860, 500);

    dbeId_usuario = PlaceDB<TDBEdit>(this, pnlDados, "dbeId_usuario", dsMain, "Id_Usuario", 90, 12, 160, 23);
    PlaceLabel(this, pnlDados, "Usuário", 12, 16, dbeId_usuario);
    dbeNome = PlaceDB<TDBEdit>(this, pnlDados, "dbeNome", dsMain, "Nome", 90, 40, 300, 23);
    PlaceLabel(this, pnlDados, "Nome", 12, 44, dbeNome);
    dbeSenha = PlaceDB<TDBEdit>(this, pnlDados, "dbeSenha", dsMain, "Senha", 90, 68, 160, 23);
    dbeSenha->SetPasswordChar('*');
    PlaceLabel(this, pnlDados, "Senha", 12, 72, dbeSenha);
    dbeInativo = PlaceDB<TDBCheckBox>(this, pnlDados, "dbeInativo", dsMain, "Inativo", 270, 68, 100, 23);
    dbeInativo->SetCaption("Inati&vo");
    dbeInativo->SetValueChecked("Sim");
    dbeInativo->SetValueUnchecked("Não");
    SetEdits(dbeId_usuario, dbeNome);

    auto* temp = new TmtMemTable(this);
    temp->SetName("tbTemp");
    temp->FieldDefs()->Add("Permitido", ftString, 3);
    temp->FieldDefs()->Add("Id_programa", ftString, 20);
    temp->FieldDefs()->Add("Tipo", ftString, 15);
    temp->FieldDefs()->Add("descricao", ftString, billing::data::kProgramDescriptionSize);
    temp->FieldDefs()->Add("cadastro_incluir", ftString, 3);
    temp->FieldDefs()->Add("cadastro_alterar", ftString, 3);
    temp->FieldDefs()->Add("cadastro_excluir", ftString, 3);
    tbTemp = temp;
    // The rights are stored only with the user row: a tick while browsing
    // would be thrown away unseen at the next scroll or close.
    tbTemp->BeforeEdit = [this](TDataSet*) {
        if (!EditingUser()) Abort();
    };
    dsTemp = new TDataSource(this);
    dsTemp->SetName("dsTemp");
    dsTemp->SetDataSet(tbTemp);
    PlaceLabel(this, pnlDados, "Programas x Permissões", 12, 104);
    exDBGrid1 = Place<TexDBGrid>(this, pnlDados, "exDBGrid1", 12, 124, 600, 300);
    exDBGrid1->SetDataSource(dsTemp);
    Stretch(exDBGrid1);
    // Only the right changes, and only between "Sim" and "Não": whatever
    // ChangeColor does to the grid as a whole, the other columns stay
    // read-only and nothing can be typed into the check box.
    exDBGrid1->AddColumn("Permitido", "Permitido", 70)->SetCheckBox("Sim", "Não");
    exDBGrid1->AddColumn("Id_programa", "Programa", 110)->SetReadOnly(true);
    exDBGrid1->AddColumn("Tipo", "Tipo", 100)->SetReadOnly(true);
    exDBGrid1->AddColumn("descricao", "Descrição", 260)->SetReadOnly(true);
    exDBGrid1->SetReadOnly(true);
    exDBGrid1->OnDblClick = [this](TObject*) {
        // On the check box's own cell the first click of the two has
        // already switched it.
        int col = exDBGrid1->SelectedIndex();
        if (col >= 0 && col < exDBGrid1->ColumnCount() && exDBGrid1->Columns(col)->IsCheckBox()) return;
        AlternaPermissao();
    };
    exDBGrid1->OnKeyPress = [this](TObject*, char32_t& k) {
        if (k == U' ') {
            k = 0;
            AlternaPermissao();
        }
    };
    Button1 = Place<TButton>(this, pnlDados, "Button1", 624, 124, 120, 28);
    Button1->SetCaption("Marca &Todos");
    Button1->SetAnchors(TAnchors{akTop, akRight});
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    Button2 = Place<TButton>(this, pnlDados, "Button2", 624, 158, 120, 28);
    Button2->SetCaption("Desmarca T&odos");
    Button2->SetAnchors(TAnchors{akTop, akRight});
    Button2->OnClick = [this](TObject* s) { Button2Click(s); };

    AddCheck("O Usuário deve ser informado.", [this] { return !Blank("Id_Usuario"); });
    // A name the log-in would refuse to take.
    AddCheck([this]() -> std::string {
        return billing::data::HasInvisibleCharacter(Trim(qry->FieldByName("Id_Usuario")->AsString()))
                   ? billing::data::kInvisibleCharacterInName
                   : "";
    });
    // The password as typed; a row holding the stored form (a save that
    // failed in the database is being tried again) was checked before.
    AddCheck([this]() -> std::string {
        std::string senha = qry->FieldByName("Senha")->AsString();
        if (!encrypted_.empty() && senha == encrypted_) return {};
        return dmdb->PasswordRefusal(Trim(senha));
    });
    AddUniqueKey("Id_Usuario", "O Usuário ");

    // The register's own handlers wrap the pattern's.
    auto basePost = qry->BeforePost;
    qry->BeforePost = [this, basePost](TDataSet* d) {
        basePost(d);
        TField* senha = d->FieldByName("Senha");
        if (encrypted_.empty() || senha->AsString() != encrypted_) {
            encrypted_ = dmdb->EncryptPassword(Trim(senha->AsString()));
            senha->SetAsString(encrypted_);
        }
    };
    auto baseDelete = qry->BeforeDelete;
    qry->BeforeDelete = [baseDelete](TDataSet* d) {
        if (AnsiLowerCase(Trim(d->FieldByName("Id_Usuario")->AsString())) == "admin")
            Refuse("O usuário \"Admin\" não pode ser Excluído.");
        baseDelete(d);
    };
    qry->BeforeEdit = [](TDataSet* d) {
        if (AnsiLowerCase(Trim(d->FieldByName("Id_Usuario")->AsString())) == "admin")
            Refuse("O usuário \"Admin\" não pode ser Editado.");
    };
    qry->AfterEdit = [this](TDataSet* d) {
        encrypted_.clear();
        TField* senha = d->FieldByName("Senha");
        senha->SetAsString(dmdb->DeCriptografa(senha->AsString()));
    };
    qry->AfterCancel = [this](TDataSet*) {
        encrypted_.clear();
        // "Desfazer" drops the ticks with the row's changes.
        Mostra_Programas();
    };
    // The rights go with the user's row in one transaction: a failed write
    // must not leave a renamed user with the former rights.
    WriteWithRow([this](TDataSet*) { Salva_Programas(); }, nullptr);
    GuardChildRows("select id_programa from usuario_programa where id_usuario = :pid_usuario order by id_programa",
                   [this] { Mostra_Programas(); });
    qry->AfterPost = [this](TDataSet*) { encrypted_.clear(); };
    auto baseScroll = qry->AfterScroll;
    qry->AfterScroll = [this, baseScroll](TDataSet* d) {
        baseScroll(d);
        Mostra_Programas();
    };
    auto baseShow = OnShow;
    OnShow = [this, baseShow](TObject* s) {
        baseShow(s);
        Mostra_Programas();
    };
    frmNota111 = this;
}

TfrmNota111::~TfrmNota111() {
    tbTemp->BeforeEdit = nullptr;
    qry->BeforeEdit = nullptr;
    qry->AfterEdit = nullptr;
    qry->AfterCancel = nullptr;
    qry->AfterPost = nullptr;
    if (frmNota111 == this) frmNota111 = nullptr;
}

std::string TfrmNota111::Search() { return Pesquisa_Usuario(); }

void TfrmNota111::NewRow(TDataSet* DataSet) {
    encrypted_.clear();
    DataSet->FieldByName("Inativo")->SetAsString("Não");
}

void TfrmNota111::Mostra_Programas() {
    if (!tbTemp->Active()) tbTemp->Open();
    tbTemp->DisableControls();
    while (!tbTemp->IsEmpty()) tbTemp->Delete();
    NoteChildRows();
    std::string user = qry->Active() && !qry->IsEmpty() ? qry->FieldByName("Id_Usuario")->AsString() : "";
    std::vector<std::string> allowed;
    {
        sqlite::Statement a(dmdb->ADOConnection->Database(),
                            "select * from usuario_programa where id_usuario = :pid_usuario order by id_programa");
        a.BindText(1, user);
        while (a.Step()) {
            for (int c = 0; c < a.ColumnCount(); ++c)
                if (AnsiLowerCase(a.ColumnName(c)) == "id_programa") allowed.push_back(AnsiUpperCase(a.ColumnText(c)));
        }
    }
    sqlite::Statement b(dmdb->ADOConnection->Database(), "select id_programa, tipo, descricao from programa order by id_programa");
    while (b.Step()) {
        std::string programa = b.ColumnText(0);
        bool ok = user == "Admin";
        for (const std::string& p : allowed) ok = ok || p == AnsiUpperCase(programa);
        tbTemp->Append();
        tbTemp->FieldByName("Permitido")->SetAsString(ok ? "Sim" : "Não");
        tbTemp->FieldByName("Id_programa")->SetAsString(programa);
        tbTemp->FieldByName("Tipo")->SetAsString(b.ColumnIsNull(1) ? "" : b.ColumnText(1));
        tbTemp->FieldByName("descricao")->SetAsString(b.ColumnIsNull(2) ? "" : b.ColumnText(2));
        tbTemp->Post();
    }
    tbTemp->First();
    tbTemp->EnableControls();
}

void TfrmNota111::Salva_Programas() {
    std::string user = qry->FieldByName("Id_Usuario")->AsString();
    std::vector<std::string> ticked;
    TBookmark mark = tbTemp->GetBookmark();
    tbTemp->DisableControls();
    for (tbTemp->First(); !tbTemp->Eof(); tbTemp->Next()) {
        if (tbTemp->FieldByName("Permitido")->AsString() == "Sim")
            ticked.push_back(tbTemp->FieldByName("Id_programa")->AsString());
    }
    if (!mark.empty() && tbTemp->BookmarkValid(mark)) tbTemp->GotoBookmark(mark);
    tbTemp->EnableControls();
    // All the rights or none: a failure half-way leaves the former ones.
    TSQLConnection* db = dmdb->ADOConnection;
    db->BeginTrans();
    try {
        db->Execute("delete from usuario_programa where id_usuario = :pid_usuario", {{"pid_usuario", Variant(user)}});
        for (const std::string& p : ticked)
            db->Execute("insert into usuario_programa(id_usuario, id_programa) values(:pid_usuario, :pid_programa)",
                        {{"pid_usuario", Variant(user)}, {"pid_programa", Variant(p)}});
        db->CommitTrans();
    } catch (...) {
        db->RollbackTrans();
        throw;
    }
}

bool TfrmNota111::EditingUser() const { return qry->State() == dsEdit || qry->State() == dsInsert; }

void TfrmNota111::Marca(const std::string& Value) {
    if (!EditingUser() || !tbTemp->Active() || tbTemp->IsEmpty()) return;
    TBookmark mark = tbTemp->GetBookmark();
    tbTemp->DisableControls();
    for (tbTemp->First(); !tbTemp->Eof(); tbTemp->Next()) {
        tbTemp->Edit();
        tbTemp->FieldByName("Permitido")->SetAsString(Value);
        tbTemp->Post();
    }
    if (!mark.empty() && tbTemp->BookmarkValid(mark)) tbTemp->GotoBookmark(mark);
    tbTemp->EnableControls();
}

void TfrmNota111::AlternaPermissao() {
    if (!EditingUser() || !tbTemp->Active() || tbTemp->IsEmpty()) return;
    bool on = tbTemp->FieldByName("Permitido")->AsString() == "Sim";
    tbTemp->Edit();
    tbTemp->FieldByName("Permitido")->SetAsString(on ? "Não" : "Sim");
    tbTemp->Post();
}
