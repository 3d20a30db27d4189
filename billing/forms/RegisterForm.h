#pragma once
// The shape every master-data register shares: one query over one table, a
// row of record buttons, data-aware edits, lookups with a description panel
// beside them, and the checks that run before every save. A register derives
// from RegisterForm, places its edits on pnlDados and states only what it
// adds: checks, unique keys, delete refusals, lookups and the defaults of a
// new row.
#include <functional>
#include <string>
#include <vector>

#include <QWidget>

#include "billing/controls/DBBButton.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/RecordRow.h"
#include "platform/db/SQLQuery.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"

namespace billing::forms {

// A foreign key typed in Edit (a field of the form's dataset) and described
// in Panel from Table.DescColumn by KeyColumn; Search is its dialog.
struct LookupField {
    TexDBComboDlg* edit;
    TPanel* panel;
    std::string table, descColumn, keyColumn;
    std::function<std::string()> search;
};
// The panel shows "?" and then the description of the key the edit's field
// holds ("?" when no row has it, or the field is empty).
void ShowLookup(const LookupField& L);
// Leaving the edit shows the description; its button runs the search and
// stores a chosen key (only while the row is being edited).
void BindLookup(const LookupField& L);
// A search result written into a key field: a number column takes only a
// whole number (anything else changes nothing and gives false); a text
// column takes the text as it is, leading zeros and letters kept.
bool StoreSearchResult(TField* Field, const std::string& Found);

// A data-aware control bound to Field of Source with its caption in a label
// at LabelLeft on the same line (the label focuses the control).
template <typename T>
T* PlaceLabeled(TComponent* Owner, TWinControl* Parent, const std::string& Name, TDataSource* Source,
                const std::string& Field, const std::string& Caption, int LabelLeft, int Left, int Top, int Width) {
    T* c = PlaceDB<T>(Owner, Parent, Name, Source, Field, Left, Top, Width, 23);
    PlaceLabel(Owner, Parent, Caption, LabelLeft, Top + 4, c);
    return c;
}
// A new page of Pages, captioned Caption.
TTabSheet* AddPage(TPageControl* Pages, const std::string& Caption);

// The checks a row passes before it is saved, in the order they were added.
class SaveChecks {
public:
    // A check: Passes false adds Message to the list.
    void Add(const std::string& Message, std::function<bool()> Passes);
    // A check whose message depends on the row: "" when the row passes.
    void Add(std::function<std::string()> Problem);
    // Runs every check. When any fails, shows "Foram identificados erros,
    // por favor corrija: " and the messages, one a line, in one box, then
    // aborts silently (the row stays in edit). Errors keeps the list.
    void Run(std::string& Errors) const;

private:
    std::vector<std::function<std::string()>> checks_;
};

class RegisterForm : public TForm {
public:
    FAT_CLASS_NAME(RegisterForm)
    // Caption as "Vendedores - NOTA102"; Sql selects every column of Table
    // ordered by KeyColumn.
    RegisterForm(TComponent* AOwner, const std::string& Caption, const std::string& Table, const std::string& Sql,
                 const std::string& KeyColumn);
    ~RegisterForm() override;

    TSQLQuery* qry = nullptr;
    TDataSource* dsMain = nullptr;
    TPanel* pnlDados = nullptr;
    TPanel* pnlBotoes = nullptr;
    TDBButton* btnInsert = nullptr;
    TDBButton* btnEdit = nullptr;
    TDBButton* btnSave = nullptr;
    TDBButton* btnCancel = nullptr;
    TDBButton* btnDelete = nullptr;
    TDBButton* btnFirst = nullptr;
    TDBButton* btnPrior = nullptr;
    TDBButton* btnNext = nullptr;
    TDBButton* btnLast = nullptr;
    TDBButton* DBButton1 = nullptr;  // Fechar; Esc presses it
    TDBButton* DBButton2 = nullptr;  // Pesquisar

    const std::string& Table() const { return table_; }
    const std::string& KeyColumn() const { return keyColumn_; }

    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    // Asks "Deseja salvar as alterações ?" (Sim, Não, Cancelar) when a row
    // is pending; Cancelar, and a refused save, keep the form open with the
    // row still in edit.
    void FormClose(TObject* Sender, TCloseAction& Action);
    // The same question asked before anything closes the form, so that a
    // frame closing its database first can let the user keep his row.
    void FormCloseQuery(TObject* Sender, bool& CanClose);
    // Posts (Yes) or drops (No) a pending row; false when the save was
    // refused or the user cancelled (Cancel, Esc, the box's close button).
    bool SettlePending();
    virtual void btnInsertClick(TObject* Sender);
    virtual void btnEditClick(TObject* Sender);
    virtual void btnSaveClick(TObject* Sender);
    virtual void btnCancelClick(TObject* Sender);
    virtual void DBButton1Click(TObject* Sender);
    virtual void DBButton2Click(TObject* Sender);
    // Every lookup panel (and whatever else the row shows).
    virtual void Mostra_Tudo();

    // The text that the last refused save showed ("" when none).
    const std::string& LastErrors() const { return lastErrors_; }

protected:
    // The key edit (writable only for a new row) and the first edit after it.
    virtual TDBEdit* KeyEdit() const { return keyEdit_; }
    virtual TWinControl* FirstEdit() const { return firstEdit_; }
    void SetEdits(TDBEdit* Key, TWinControl* First) {
        keyEdit_ = Key;
        firstEdit_ = First;
    }
    // The register's search dialog ("" when cancelled); none by default.
    virtual std::string Search() { return {}; }
    // Defaults of a new row (after the key, when generated).
    virtual void NewRow(TDataSet* DataSet) { (void)DataSet; }

    // A check before saving: Passes false appends Message to the error list.
    void AddCheck(const std::string& Message, std::function<bool()> Passes);
    // A check whose message depends on the row: Problem gives "" when the
    // row passes, else the message to list.
    void AddCheck(std::function<std::string()> Problem);
    // Blank: the field's text, trimmed, is empty.
    bool Blank(const std::string& Field) const;
    // A new row whose Column value already exists is refused with
    // MessagePrefix + "\"" + value + "\" já existe.".
    void AddUniqueKey(const std::string& Column, const std::string& MessagePrefix);
    // Integer keys: the next number on every new row.
    void UseIdGenerator() { idGenerator_ = true; }
    // Typing into a control starts an edit. The key edit then stays
    // writable only while a new row is inserted, so an edit started by
    // typing can never change a stored row's key.
    void UseAutoEdit();
    // No "Pesquisar" button; the close button reads "Cancelar".
    void WithoutSearch();
    // Closing asks nothing: a pending row is dropped.
    void CloseWithoutAsking();
    // On a register with tab pages, edit moves the focus only when the
    // first page is the one shown; insert and undo show the first page.
    void FocusOnFirstPageOnly(TPageControl* Pages) { pages_ = Pages; }
    // The first page, and the focus in its first field (the key edit, or
    // the first edit after it), as a fresh window starts.
    void ToFirstField();
    // Tab pages filling the data panel, named PageControl1 (see
    // FocusOnFirstPageOnly).
    TPageControl* PlacePages();
    // Runs before the checks of every save, after the lookup panels were
    // refreshed: what the row derives from its other columns, or checks of
    // its own that refuse at once.
    virtual void BeforeChecks(TDataSet* DataSet) { (void)DataSet; }
    // Rows of other tables that belong to this one: OnPost runs before the
    // row's own write and OnDelete before its delete, each in the same
    // transaction as the row, so a failure of either leaves both as they
    // were (the row stays in edit, or is not deleted).
    void WriteWithRow(std::function<void(TDataSet*)> OnPost, std::function<void(TDataSet*)> OnDelete);
    // Those rows as StoredSql reads them (its one parameter is the row's
    // key; a fixed order) are guarded as the row itself is: the save of a
    // stored row, or its delete, writes nothing when another user changed
    // them since the form showed them, and the clerk is told as for the row
    // (everything is read again: Show fills the grid from the file). The
    // form calls NoteChildRows just before it reads them to show them.
    void GuardChildRows(const std::string& StoredSql, std::function<void()> Show);
    void NoteChildRows();
    // Refuses a delete while CountSql (one parameter, given the current
    // row's key) counts referencing rows: "Existe(m) " + count + Text.
    void AddDeleteRefusal(const std::string& CountSql, const std::string& Text);

    using Lookup = LookupField;
    void AddLookup(const Lookup& L);
    void Mostra(const Lookup& L);
    // A panel that shows "?" names a missing or wrong reference.
    static bool Missing(const TPanel* Panel);
    // Keeps Enter and the arrows inside a memo.
    void KeepKeysInside(TDBMemo* Memo);

private:
    void BeforePostChecks(TDataSet* DataSet);
    void BeforeDeleteChecks(TDataSet* DataSet);
    void AfterInsertDefaults(TDataSet* DataSet);
    // The register's own duplicate message for a key the engine refused.
    std::string DuplicateMessage(const std::vector<std::string>& Columns) const;
    using ChildRowSet = std::vector<std::vector<sqlite::Value>>;
    ChildRowSet ReadChildRows(const Variant& Key) const;

    std::string table_;
    std::string keyColumn_;
    TDBEdit* keyEdit_ = nullptr;
    TWinControl* firstEdit_ = nullptr;
    bool idGenerator_ = false;
    TPageControl* pages_ = nullptr;
    SaveChecks checks_;
    std::vector<std::pair<std::string, std::string>> uniqueKeys_;
    std::vector<std::pair<std::string, std::string>> deleteRefusals_;
    std::vector<Lookup> lookups_;
    std::string lastErrors_;
    std::string childSql_;
    Variant childKey_;  // empty: no stored row shown
    ChildRowSet childRows_;
    Variant writtenKey_;
    ChildRowSet writtenRows_;
};

}  // namespace billing::forms
