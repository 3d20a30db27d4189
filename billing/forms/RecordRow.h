#pragma once
// What every register and document form shares at its bottom edge: the row
// of record buttons bound to the form's data source, and what closing the
// form does with a row still being typed.
#include <functional>
#include <string>
#include <vector>

#include "billing/controls/DBBButton.h"
#include "platform/db/DB.h"
#include "platform/db/SQLQuery.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"

namespace billing::forms {

// The buttons, left to right, each performing its action on the source's
// dataset before the form's own click handler; all start disabled and follow
// the dataset's state.
struct RecordRow {
    TPanel* panel = nullptr;
    TDBButton* insert = nullptr;
    TDBButton* edit = nullptr;
    TDBButton* save = nullptr;
    TDBButton* cancel = nullptr;
    TDBButton* remove = nullptr;
    TDBButton* first = nullptr;
    TDBButton* prior = nullptr;
    TDBButton* next = nullptr;
    TDBButton* last = nullptr;
    TDBButton* search = nullptr;
    TDBButton* close = nullptr;  // the form's Cancel button: Esc presses it
};

// The row on a panel aligned to the bottom of Form, at Top. The undo, search
// and close buttons take the names given: registers and documents name them
// differently.
RecordRow PlaceRecordRow(TCustomForm* Form, TDataSource* Source, int Top, const std::string& CancelName,
                         const std::string& SearchName, const std::string& CloseName);

// Lays the row's visible buttons side by side, each as wide as its caption
// and glyph need and never narrower than the others' common width; a hidden
// button leaves no gap. PlaceRecordRow does it; a form that hides or
// renames a button does it again.
void ArrangeRecordRow(const RecordRow& Row);

// Closing with a pending row asks "Deseja salvar as alterações ?": Sim posts
// it (false when the checks refuse it, the row staying in edit), Não drops
// it, Cancelar (or Esc) keeps form and row as they were (false). A form
// that closes is back in its browse look.
bool SettlePendingRow(TCustomForm* Form, TDataSet* DataSet);

// What a save tells the clerk when another instance saved or deleted the
// row since it was read.
extern const char* const kChangedByAnotherUser;

// Guards the saves and deletes of Query against another instance working on
// the same file. A row another user changed since it was read is not
// written: the clerk gets kChangedByAnotherUser, the rows are read again
// (the typed changes are dropped) and the post aborts silently. A key
// another user took between the checks and the insert is refused with
// Duplicate(the key columns the engine names) instead of the engine's
// text, the row staying in insert.
void GuardAgainstOtherUsers(TSQLQuery* Query,
                            std::function<std::string(const std::vector<std::string>& Columns)> Duplicate);

}  // namespace billing::forms
