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
#include "platform/db/SQLQuery.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"

namespace billing::forms {

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
    // Refuses a delete while CountSql (one parameter, given the current
    // row's key) counts referencing rows: "Existe(m) " + count + Text.
    void AddDeleteRefusal(const std::string& CountSql, const std::string& Text);

    // A foreign key typed in Edit (a field of the query) and described in
    // Panel from Table.DescColumn by KeyColumn; Search is its dialog.
    struct Lookup {
        TexDBComboDlg* edit;
        TPanel* panel;
        std::string table, descColumn, keyColumn;
        std::function<std::string()> search;
    };
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

    std::string table_;
    std::string keyColumn_;
    TDBEdit* keyEdit_ = nullptr;
    TWinControl* firstEdit_ = nullptr;
    bool idGenerator_ = false;
    std::vector<std::function<std::string()>> checks_;
    std::vector<std::pair<std::string, std::string>> uniqueKeys_;
    std::vector<std::pair<std::string, std::string>> deleteRefusals_;
    std::vector<Lookup> lookups_;
    std::string lastErrors_;
};

}  // namespace billing::forms
