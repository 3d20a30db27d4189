#include "billing/forms/RegisterForm.h"

#include <algorithm>

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/RecordRow.h"
#include "platform/db/SQLRowSet.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"

namespace billing::forms {

namespace {

// The register's query: rows of other tables that belong to the register's
// row are written in the row's own transaction.
class RegisterQuery : public TSQLQuery {
public:
    explicit RegisterQuery(TComponent* AOwner) : TSQLQuery(AOwner) {}
    std::function<void(TDataSet*)> withPost, withDelete;
    // Inside the transaction, before anything is written (raises to write
    // nothing), and once everything is written but not yet committed.
    std::function<void(bool Deleting)> beforeWrite, afterWrite;
    // After the commit.
    std::function<void()> committed;

protected:
    void DoBeforePost() override {
        inserting_ = State() == dsInsert;
        TSQLQuery::DoBeforePost();
    }
    // A new row takes its place in the register's order at once (the query's
    // own keeps it where it was typed), so that Primeiro, Anterior, Próximo
    // and Último walk the rows in the order a reopened form shows them.
    void DoAfterPost() override {
        if (inserting_) {
            inserting_ = false;
            Refresh();
        }
        TSQLQuery::DoAfterPost();
    }
    void InternalPost() override { Together(false, withPost, [this] { TSQLQuery::InternalPost(); }); }
    void InternalDelete() override { Together(true, withDelete, [this] { TSQLQuery::InternalDelete(); }); }

private:
    bool inserting_ = false;
    void Together(bool Deleting, const std::function<void(TDataSet*)>& Companion, const std::function<void()>& Own) {
        if (!Companion && !beforeWrite) {
            Own();
            return;
        }
        TSQLConnection* c = Connection();
        RowsMark mark = MarkRows();
        c->BeginTrans();
        try {
            if (beforeWrite) beforeWrite(Deleting);
            // The companions first: the row's own write is the last step, so
            // a failure never leaves the dataset's rows ahead of the file.
            if (Companion) Companion(this);
            Own();
            if (afterWrite) afterWrite(Deleting);
            c->CommitTrans();
        } catch (...) {
            // Even the commit may fail, after the row's own write.
            RestoreRows(std::move(mark));
            if (c->InTransaction()) c->RollbackTrans();
            throw;
        }
        if (committed) committed();
    }
};

bool IsNumberField(const TField* Field) {
    switch (Field->DataType()) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftLargeint:
    case ftAutoInc:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftFMTBcd: return true;
    default: return false;
    }
}

}  // namespace

void ShowLookup(const LookupField& L) {
    if (L.panel == nullptr) return;
    // "?" marks a code that names nothing; no code at all shows nothing.
    L.panel->SetCaption("");
    TField* f = L.edit->Field();
    if (f == nullptr || f->DataSet() == nullptr || !f->DataSet()->Active() || f->IsNull()) return;
    std::string value = f->AsString();
    if (Trim(value).empty()) return;
    // A text code typed in other capitals finds its row (the comparison
    // ignores case); the row keeps the register's spelling of it ("UN",
    // not "un"), which the NF-e and every join state.
    const TDataSet* data = f->DataSet();
    if (!IsNumberField(f) && (data->State() == dsEdit || data->State() == dsInsert)) {
        const std::string stored = dmdb->dbGetFieldValue(L.keyColumn, Variant(value), L.keyColumn, L.table);
        if (stored != "?" && stored != value && AnsiSameText(stored, value)) {
            f->SetAsString(stored);
            value = stored;
        }
    }
    L.panel->SetCaption(dmdb->dbGetFieldValue(L.keyColumn, Variant(value), L.descColumn, L.table));
}

bool StoreSearchResult(TField* Field, const std::string& Found) {
    if (Field == nullptr) return false;
    if (IsNumberField(Field)) {
        std::int64_t n = 0;
        if (!TryStrToInt64(Trim(Found), n)) return false;  // not a key of this column
        Field->SetAsString(IntToStr(static_cast<long long>(n)));
        return true;
    }
    Field->SetAsString(Found);
    return true;
}

void BindLookup(const LookupField& L) {
    LookupField copy = L;
    L.edit->OnExit = [copy](TObject*) { ShowLookup(copy); };
    L.edit->OnCustomDlg = [copy](TObject*) {
        if (!copy.search) return;
        std::string found = copy.search();
        if (found.empty()) return;  // cancelled: the field stays as it was
        TField* f = copy.edit->Field();
        if (f == nullptr || f->DataSet() == nullptr) return;
        TDataSetState state = f->DataSet()->State();
        if (state != dsEdit && state != dsInsert) return;  // nothing to write into
        if (StoreSearchResult(f, found)) ShowLookup(copy);
    };
}

void SaveChecks::Add(const std::string& Message, std::function<bool()> Passes) {
    Add([Message, Passes = std::move(Passes)] { return Passes() ? std::string() : Message; });
}

void SaveChecks::Add(std::function<std::string()> Problem) { checks_.push_back(std::move(Problem)); }

void SaveChecks::Run(std::string& Errors) const {
    Errors.clear();
    for (const auto& check : checks_) {
        std::string problem = check();
        if (!problem.empty()) Errors += problem + "\r\n";
    }
    if (!Errors.empty()) Refuse("Foram identificados erros, por favor corrija: \r\n\r\n" + Errors);
}

RegisterForm::RegisterForm(TComponent* AOwner, const std::string& Caption, const std::string& Table,
                           const std::string& Sql, const std::string& KeyColumn)
    : TForm(AOwner), table_(Table), keyColumn_(KeyColumn) {
    SetCaption(Caption);
    SetFormStyle(fsMDIChild);
    SetBorderStyle(bsSingle);
    SetBorderIcons(TBorderIcons{biSystemMenu, biMinimize});
    SetBounds(0, 0, 860, 420);

    qry = new RegisterQuery(this);
    qry->SetName("qry" + Table);
    qry->SetConnection(dmdb->ADOConnection);
    qry->SetSQL(Sql);
    qry->AfterInsert = [this](TDataSet* d) { AfterInsertDefaults(d); };
    qry->BeforePost = [this](TDataSet* d) { BeforePostChecks(d); };
    qry->BeforeDelete = [this](TDataSet* d) { BeforeDeleteChecks(d); };
    qry->AfterScroll = [this](TDataSet*) { Mostra_Tudo(); };
    GuardAgainstOtherUsers(qry, [this](const std::vector<std::string>& Columns) { return DuplicateMessage(Columns); });
    dsMain = new TDataSource(this);
    dsMain->SetName("dsMain");
    dsMain->SetAutoEdit(false);
    dsMain->SetDataSet(qry);

    RecordRow row = PlaceRecordRow(this, dsMain, 372, "btnCancel", "DBButton2", "DBButton1");
    pnlBotoes = row.panel;
    btnInsert = row.insert;
    btnEdit = row.edit;
    btnSave = row.save;
    btnCancel = row.cancel;
    btnDelete = row.remove;
    btnFirst = row.first;
    btnPrior = row.prior;
    btnNext = row.next;
    btnLast = row.last;
    DBButton2 = row.search;
    DBButton1 = row.close;
    btnInsert->OnClick = [this](TObject* s) { btnInsertClick(s); };
    btnEdit->OnClick = [this](TObject* s) { btnEditClick(s); };
    btnSave->OnClick = [this](TObject* s) { btnSaveClick(s); };
    btnCancel->OnClick = [this](TObject* s) { btnCancelClick(s); };
    DBButton1->OnClick = [this](TObject* s) { DBButton1Click(s); };
    DBButton2->OnClick = [this](TObject* s) { DBButton2Click(s); };

    pnlDados = Place<TPanel>(this, this, "pnlDados", 0, 0, 860, 372);
    pnlDados->SetAlign(alClient);
    pnlDados->SetBevelOuter(bvNone);

    InstallNavigation(this);
    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    OnCloseQuery = [this](TObject* s, bool& c) { FormCloseQuery(s, c); };
}

RegisterForm::~RegisterForm() {
    // The query's handlers reach into this form: none may run while it goes.
    qry->AfterInsert = nullptr;
    qry->BeforePost = nullptr;
    qry->BeforeDelete = nullptr;
    qry->AfterScroll = nullptr;
    qry->AfterRefresh = nullptr;
    qry->OnPostError = nullptr;
    qry->OnDeleteError = nullptr;
    auto* q = static_cast<RegisterQuery*>(qry);
    q->withPost = nullptr;
    q->withDelete = nullptr;
    q->beforeWrite = nullptr;
    q->afterWrite = nullptr;
    q->committed = nullptr;
    if (dsMain != nullptr) dsMain->OnStateChange = nullptr;
}

void RegisterForm::FormCreate(TObject*) { CenterForm(this); }

void RegisterForm::FormShow(TObject*) {
    // A register may have hidden or renamed a button since the row was made.
    ArrangeRecordRow({pnlBotoes, btnInsert, btnEdit, btnSave, btnCancel, btnDelete, btnFirst, btnPrior, btnNext,
                      btnLast, DBButton2, DBButton1});
    if (!qry->Active()) qry->Open();
    ChangeColor(this, false);
    Mostra_Tudo();
    if (btnInsert->CanFocus()) SetActiveControl(btnInsert);
}

void RegisterForm::FormClose(TObject*, TCloseAction& Action) {
    Action = SettlePending() ? caFree : caNone;
}

void RegisterForm::FormCloseQuery(TObject*, bool& CanClose) {
    if (!SettlePending()) CanClose = false;
}

bool RegisterForm::SettlePending() { return SettlePendingRow(this, qry); }

void RegisterForm::btnInsertClick(TObject*) {
    if (TDBEdit* key = KeyEdit()) key->SetReadOnly(false);
    ChangeColor(this, true);
    ToFirstField();
}

void RegisterForm::btnEditClick(TObject*) {
    if (TDBEdit* key = KeyEdit()) key->SetReadOnly(true);
    ChangeColor(this, true);
    if (pages_ != nullptr && pages_->ActivePageIndex() != 0) return;
    if (TWinControl* first = FirstEdit(); first != nullptr && first->CanFocus()) first->SetFocus();
}

void RegisterForm::btnSaveClick(TObject*) { ChangeColor(this, false); }
void RegisterForm::btnCancelClick(TObject*) {
    ChangeColor(this, false);
    // The panels show the row now current, not the one just undone.
    Mostra_Tudo();
    ToFirstField();
}

void RegisterForm::ToFirstField() {
    // Wherever the last row left the clerk (a later page, a button), the
    // next one starts where a fresh window starts: a key typed there must
    // never press a button or land in another page's field.
    if (pages_ != nullptr && pages_->PageCount() > 0) pages_->SetActivePageIndex(0);
    for (TWinControl* c : {static_cast<TWinControl*>(KeyEdit()), FirstEdit()}) {
        if (c != nullptr && c->CanFocus()) {
            c->SetFocus();
            return;
        }
    }
    // Both locked (a lookup while browsing): the page's first field that
    // takes the focus.
    TWinControl* area = pnlDados;
    if (pages_ != nullptr && pages_->PageCount() > 0) area = pages_->Pages(0);
    for (TWinControl* c : area->TabList()) {
        if (c->TabStop() && c->CanFocus()) {
            c->SetFocus();
            return;
        }
    }
}

void RegisterForm::DBButton1Click(TObject*) { Close(); }

void RegisterForm::DBButton2Click(TObject*) {
    std::string found = Search();
    if (!found.empty()) qry->Locate(keyColumn_, found, {});
}

void RegisterForm::Mostra_Tudo() {
    for (const Lookup& l : lookups_) Mostra(l);
}

void RegisterForm::AddCheck(const std::string& Message, std::function<bool()> Passes) {
    checks_.Add(Message, std::move(Passes));
}

void RegisterForm::AddCheck(std::function<std::string()> Problem) { checks_.Add(std::move(Problem)); }

bool RegisterForm::Blank(const std::string& Field) const { return Trim(qry->FieldByName(Field)->AsString()).empty(); }

void RegisterForm::AddUniqueKey(const std::string& Column, const std::string& MessagePrefix) {
    uniqueKeys_.emplace_back(Column, MessagePrefix);
}

void RegisterForm::AddDeleteRefusal(const std::string& CountSql, const std::string& Text) {
    deleteRefusals_.emplace_back(CountSql, Text);
}

void RegisterForm::AddLookup(const Lookup& L) {
    lookups_.push_back(L);
    BindLookup(L);
}

void RegisterForm::Mostra(const Lookup& L) { ShowLookup(L); }

void RegisterForm::UseAutoEdit() {
    dsMain->SetAutoEdit(true);
    dsMain->OnStateChange = [this](TObject*) {
        TDBEdit* key = KeyEdit();
        if (key == nullptr) return;
        bool inserting = qry->State() == dsInsert;
        if (inserting == !key->ReadOnly()) return;
        // Locked, it keeps the browse colour, as the edit button leaves it.
        if (!inserting) key->SetColor(Color());
        key->SetReadOnly(!inserting);
    };
}

void RegisterForm::WithoutSearch() {
    DBButton2->SetVisible(false);
    DBButton1->SetLeft(DBButton2->Left());
    // Its letter is the window's while it is in front, as in Relatório
    // Produtos: no other letter of "Cancelar" is free of the row's.
    DBButton1->SetCaption("&Cancelar");
}

TTabSheet* AddPage(TPageControl* Pages, const std::string& Caption) {
    auto* page = new TTabSheet(Pages->Owner());
    page->SetPageControl(Pages);
    page->SetCaption(Caption);
    return page;
}

TPageControl* RegisterForm::PlacePages() {
    auto* pages = Place<TPageControl>(this, pnlDados, "PageControl1", 0, 0, pnlDados->Width(), pnlDados->Height());
    pages->SetAlign(alClient);
    FocusOnFirstPageOnly(pages);
    return pages;
}

void RegisterForm::CloseWithoutAsking() {
    OnCloseQuery = nullptr;
    OnClose = [this](TObject*, TCloseAction& Action) {
        if (qry->State() == dsEdit || qry->State() == dsInsert) qry->Cancel();
        Action = caFree;
    };
}

void RegisterForm::WriteWithRow(std::function<void(TDataSet*)> OnPost, std::function<void(TDataSet*)> OnDelete) {
    auto* q = static_cast<RegisterQuery*>(qry);
    q->withPost = std::move(OnPost);
    q->withDelete = std::move(OnDelete);
}

void RegisterForm::GuardChildRows(const std::string& StoredSql, std::function<void()> Show) {
    childSql_ = StoredSql;
    // A refused save or delete reads the row again: its rows follow.
    qry->AfterRefresh = [Show](TDataSet*) { Show(); };
    auto* q = static_cast<RegisterQuery*>(qry);
    q->beforeWrite = [this](bool Deleting) {
        // A new row has no rows of its own yet: a key another user took
        // meanwhile is refused as a duplicate.
        if (!Deleting && qry->State() != dsEdit) return;
        if (!childKey_.IsEmpty() && ReadChildRows(childKey_) != childRows_) throw sqlite::ERowChanged();
    };
    q->afterWrite = [this](bool Deleting) {
        writtenKey_ = Deleting ? Variant() : qry->FieldByName(keyColumn_)->Value();
        writtenRows_ = Deleting ? ChildRowSet() : ReadChildRows(writtenKey_);
    };
    q->committed = [this] {
        childKey_ = writtenKey_;
        childRows_ = std::move(writtenRows_);
    };
}

void RegisterForm::NoteChildRows() {
    if (childSql_.empty()) return;
    // Read before the form reads them to show them: a change slipping in
    // between makes the save refuse, never pass unseen.
    const bool stored = qry->Active() && !qry->IsEmpty() && qry->State() == dsBrowse;
    childKey_ = stored ? qry->FieldByName(keyColumn_)->Value() : Variant();
    childRows_ = stored ? ReadChildRows(childKey_) : ChildRowSet();
}

RegisterForm::ChildRowSet RegisterForm::ReadChildRows(const Variant& Key) const {
    TParameter key(nullptr, "key");
    key.SetValue(Key);
    sqlite::Statement st(dmdb->ADOConnection->Database(), childSql_);
    st.Bind(1, key.ToSQLValue());
    ChildRowSet rows;
    while (st.Step()) {
        std::vector<sqlite::Value>& row = rows.emplace_back();
        for (int c = 0; c < st.ColumnCount(); ++c) row.push_back(st.ColumnValue(c));
    }
    return rows;
}

bool RegisterForm::Missing(const TPanel* Panel) {
    // An empty panel is a lookup with no code in it.
    return Panel->Caption() == "?" || Trim(Panel->Caption()).empty();
}

void RegisterForm::KeepKeysInside(TDBMemo* Memo) {
    Memo->OnEnter = [this](TObject*) { SetKeyPreview(false); };
    Memo->OnExit = [this](TObject*) { SetKeyPreview(true); };
}

void RegisterForm::AfterInsertDefaults(TDataSet* DataSet) {
    if (idGenerator_) dmdb->Id_Generator(keyColumn_, table_, DataSet);
    NewRow(DataSet);
}

void RegisterForm::BeforePostChecks(TDataSet* DataSet) {
    // Lookups typed by hand count with what they show now.
    Mostra_Tudo();
    BeforeChecks(DataSet);
    checks_.Run(lastErrors_);
    if (DataSet->State() != dsInsert) return;
    for (const auto& [column, prefix] : uniqueKeys_) {
        Variant value(DataSet->FieldByName(column)->AsString());
        if (dmdb->JaExisteChave({value}, {column}, table_))
            Refuse(prefix + "\"" + DataSet->FieldByName(column)->AsString() + "\" já existe.");
    }
}

std::string RegisterForm::DuplicateMessage(const std::vector<std::string>& Columns) const {
    for (const auto& [column, prefix] : uniqueKeys_) {
        for (const std::string& c : Columns) {
            if (SameText(c, column)) return prefix + "\"" + qry->FieldByName(column)->AsString() + "\" já existe.";
        }
    }
    // A key the register does not check by itself (a generated code that
    // another instance generated too).
    std::string value;
    for (const std::string& c : Columns) {
        if (TField* f = qry->FindField(c)) value += (value.empty() ? "" : " ") + f->AsString();
    }
    return "O Código \"" + value + "\" já existe.";
}

void RegisterForm::BeforeDeleteChecks(TDataSet* DataSet) {
    for (const auto& [sql, text] : deleteRefusals_) {
        TSQLQuery count(this);
        count.SetConnection(dmdb->ADOConnection);
        count.SetSQL(sql);
        if (count.ParamCount() > 0) count.Params()->Items(0)->SetValue(DataSet->FieldByName(keyColumn_)->Value());
        count.Open();
        int n = count.IsEmpty() ? 0 : count.Fields()->Fields(0)->AsInteger();
        count.Close();
        if (n > 0) Refuse("Existe(m) " + std::to_string(n) + text);
    }
}

}  // namespace billing::forms
