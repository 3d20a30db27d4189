#pragma once
// Document entry without a window: the header row of an invoice or of a
// shipping list, its item buffer, the sums and the save, driven the way the
// entry forms drive them, so that tests can type a whole document without
// showing anything. The two kinds of document differ in a policy
// (DocumentPolicies.h): table and number, defaults, checks, what the items
// carry and what follows the save.
//
// Invariants a reader must keep:
// - The item buffer always shows the current header row: it is refilled
//   whenever the header moves, is undone or starts a new document (a new one
//   starts empty), and its changes live only in memory until the header is
//   saved.
// - Header, counter and items are written in one transaction, inside the
//   header's own post: a failure undoes all three and leaves the row in edit
//   or insert, with a message; nothing that follows a save (the transmit
//   question) runs before the commit.
// - Deleting a document deletes its items in the same transaction.
// - The counter moves with every save of a new document, in its
//   transaction, and with no other save.
// - Nothing but a save posts the header: opening, showing or resizing the
//   window never moves a row being typed.
// - Sums and total are written only while the header is in edit or insert.
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "billing/nfe/NFeDocument.h"
#include "memtable/mtMemTable.h"
#include "platform/db/SQLQuery.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/DateUtils.h"

namespace billing::forms {

class DocumentCore;

// A foreign key of the header shown beside its edit: Field holds the key,
// Table.KeyColumn is looked up, Columns are the descriptions shown (one per
// panel).
struct LookupDef {
    std::string name;  // "CFOP", "Cliente", "Vendedor"...
    std::string field;
    std::string table;
    std::string keyColumn;
    std::vector<std::string> columns;
    bool integerKey = false;
};

// What a lookup found: the descriptions, or nothing (the panels then show
// "?"). A found row may have empty descriptions.
struct LookupResult {
    bool found = false;
    bool empty = true;  // no code typed: nothing to show, nothing missing to mark
    std::vector<std::string> texts;
};

// What a key typed in the item grid does.
enum class GridMove { None, NextColumn, NewItem };
struct GridKeyResult {
    char32_t key = 0;            // the character the grid receives (0: none)
    bool searchProduct = false;  // the product search runs first
    GridMove move = GridMove::None;
    int column = 0;              // where the cursor goes (NextColumn: column + 1; NewItem: quantity's)
};

// The keyboard rules of an item grid, by field: Enter in the product column
// with no product opens the search; Enter in the unit-price column starts a
// new item on its quantity; any other Enter moves to the next column. The
// "." and "," of an amount are the grid cell's to read, as in a number edit.
// Columns count from 1 after the row indicator, as the grid numbers them.
class GridKeyPolicy {
public:
    GridKeyPolicy(std::vector<std::string> Fields, std::string ProductField, std::string NewItemField,
                  std::string FirstField);
    // The grid's column count, the indicator included.
    int ColumnCount() const { return static_cast<int>(fields_.size()) + 1; }
    const std::vector<std::string>& Fields() const { return fields_; }
    // 0 when the field is not a column.
    int ColumnOf(const std::string& Field) const;
    // "" outside 1..ColumnCount() - 1.
    std::string FieldOf(int Column) const;
    GridKeyResult Apply(int Column, char32_t Key, const std::string& ProductText) const;
    // The fields an item is typed in, in order (quantity, product, unit
    // price): Tab goes through these; the others take what the product and
    // the header give and are changed after a click.
    bool Typed(const std::string& Field) const;

private:
    std::vector<std::string> fields_;
    std::string productField_, newItemField_, firstField_;
};

// The header query: its post and its delete run, with whatever the document
// writes beside the row, in one transaction.
class DocumentQuery : public TSQLQuery {
public:
    FAT_CLASS_NAME(DocumentQuery)
    explicit DocumentQuery(TComponent* AOwner) : TSQLQuery(AOwner) {}

    // Run inside the transaction, before the row itself is written.
    std::function<void()> WithinPost;
    std::function<void()> WithinDelete;
    // A failed write: the reason, once everything was undone. The query then
    // aborts silently, keeping the row in edit or insert.
    std::function<void(bool Deleting, const std::string& Reason)> OnWriteFailed;
    // Writes each statement on its own when false. Only the crash tests turn
    // it off, to show that they do see a save left half-written.
    bool Transactional = true;

protected:
    void InternalPost() override;
    void InternalDelete() override;

private:
    void InTransaction(bool Deleting, const std::function<void()>& Work);
};

// Sums of the item buffer.
// The ICMS base of an item worth Total: the product's base reduction applies
// to the situations taxed on a reduced base (CST 20, 51, 70).
double IcmsBase(double Total, const std::string& Situacao, double Reducao);

struct ItemSums {
    double total = 0;      // sum of item totals
    double icms = 0;       // sum of item ICMS
    double base = 0;       // sum of item ICMS bases (reduced where the product says)
    double quantity = 0;   // sum of quantities
};

// An item as written to the database: the values the NF-e writer reads back
// (the description is the product's, and is not stored with the item).
using ItemRow = billing::nfe::NFeItem;

// What one kind of document does its own way.
class DocumentPolicy {
public:
    virtual ~DocumentPolicy() = default;
    // The header table ("Nota_Fiscal"): the query is "qry" + it.
    virtual std::string Table() const = 0;
    virtual std::string HeaderSql() const = 0;
    // The item buffer's name ("tbNota_Fiscal_Item").
    virtual std::string ItemBufferName() const = 0;
    // "a Nota Fiscal", "o Romaneio": the messages of a failed write.
    virtual std::string Noun() const = 0;
    virtual bool ItemsHaveCfop() const = 0;
    virtual std::vector<LookupDef> Lookups() const = 0;
    virtual const GridKeyPolicy& Keys() const = 0;
    // Display formats and masks of the header fields.
    virtual void DressHeader(DocumentCore& Core) const { (void)Core; }
    // A new row: its defaults and its number.
    virtual void Defaults(DocumentCore& Core) = 0;
    // The number of a new document from its counter.
    virtual void NextNumber(DocumentCore& Core) = 0;
    // Refusals of an edit or a delete (silent abort after the message).
    virtual void BeforeEdit(DocumentCore& Core) { (void)Core; }
    virtual void BeforeDelete(DocumentCore& Core) { (void)Core; }
    // Leaving the client edit with what was typed.
    virtual void ClientExit(DocumentCore& Core, const std::string& Typed);
    // Checks and completion before the header is written, in order.
    virtual void BeforePost(DocumentCore& Core) = 0;
    // A new item row and an item about to be posted.
    virtual void NewItem(DocumentCore& Core) { (void)Core; }
    virtual void CheckItem(DocumentCore& Core) { (void)Core; }
    // The header's sums and total.
    virtual void WriteSums(DocumentCore& Core, const ItemSums& Sums) = 0;
    virtual void WriteTotal(DocumentCore& Core) = 0;
    // The stored items of the current header, in entry order, with the
    // product's short description and whether the product still exists:
    // the query's columns are those of ItemRow plus Produto_Descricao and
    // Produto_Cadastrado (null when the product is gone).
    virtual std::string LoadSql() const = 0;
    virtual void BindHeaderKey(DocumentCore& Core, TSQLQuery& Query) const = 0;
    // Inside the save's transaction: the counter of a new document, then
    // the items (all deleted, the buffer's written again).
    virtual void AdvanceCounter(DocumentCore& Core) = 0;
    virtual void DeleteItems(DocumentCore& Core) = 0;
    virtual void InsertItem(DocumentCore& Core, const ItemRow& Item) = 0;
    // Inside the save of an edited document or its delete, before anything
    // is written: raises (with the reason to show) when the stored row no
    // longer allows it, so that a window left open over a row that changed
    // meanwhile cannot overwrite it.
    virtual void CheckStored(DocumentCore& Core, bool Deleting) {
        (void)Core;
        (void)Deleting;
    }
    // A new document whose number another instance saved first.
    virtual std::string Duplicate() const { return "Já existe " + Noun() + " com este Número."; }
    // After the commit.
    virtual void AfterCommit(DocumentCore& Core) { (void)Core; }
};

class DocumentCore : public TComponent {
public:
    FAT_CLASS_NAME(DocumentCore)
    DocumentCore(TComponent* AOwner, std::unique_ptr<DocumentPolicy> Policy);
    ~DocumentCore() override;

    DocumentQuery* Header() const { return header_; }
    TmtMemTable* Items() const { return items_; }
    DocumentPolicy& Policy() const { return *policy_; }
    const GridKeyPolicy& Keys() const { return policy_->Keys(); }

    // --- seams the window (or a test) sets
    // The current date and time; Now() unless set.
    std::function<TDateTime()> Clock;
    // A lookup was shown again: the panels follow.
    std::function<void(const std::string& Name, const LookupResult& Result)> OnLookup;
    // A refusal points at the edit of this header field.
    std::function<void(const std::string& Field)> OnFocusField;
    // The product search ("" when cancelled); Pesquisa_Produto unless set.
    std::function<std::string()> SearchProduct;

    // Opens the header on its last row, as the form opens. A document being
    // typed is left as it is.
    void Open();
    // Reads the header's rows again, keeping the current one, and shows it
    // as stored (lookups and items); nothing while a document is typed.
    void Refresh();
    TDateTime CurrentTime() const;
    // Header in edit or insert.
    bool Editing() const;
    bool Inserting() const;
    // A new document whose save will move the counter.
    bool NewDocument() const { return newDocument_; }
    bool LoadingItems() const { return loading_; }

    // --- the header
    TField* Field(const std::string& Name) const { return header_->FieldByName(Name); }
    // The trimmed text of a header field is empty.
    bool Blank(const std::string& Name) const;
    // Every lookup, then the stored items of the current row.
    void Mostra_Tudo();
    void Mostra(const std::string& Name);
    // Every lookup, without touching the items.
    void ShowLookups();
    const LookupResult& Shown(const std::string& Name) const;
    bool Found(const std::string& Name) const { return Shown(Name).found; }
    // The values of the first row of Sql (one parameter, bound to Value), by
    // column; no row gives an empty map.
    std::map<std::string, Variant> ReadRow(const std::string& Sql, const std::string& Param,
                                           const Variant& Value) const;
    // "select * from opcao": the settings row, empty when there is none.
    std::map<std::string, Variant> Settings() const;
    // Copies these settings columns into the same header fields; a null stays null.
    void CopySettings(const std::map<std::string, Variant>& Row, const std::vector<std::string>& Columns);
    // Leaving the client edit.
    void ClientExit(const std::string& Typed) { policy_->ClientExit(*this, Typed); }
    // The number from the counter (only for a new row).
    void NextNumber() { policy_->NextNumber(*this); }

    // Collected checks: every failing message, each followed by CR LF, in
    // one box under the usual heading; then the silent abort.
    struct Check {
        std::string message;
        bool failed;
    };
    void Collect(const std::vector<Check>& Checks);
    // The text of the last refused save ("" when none).
    const std::string& LastErrors() const { return lastErrors_; }
    // Checks the items must pass at every save: there is one, and every
    // product still exists.
    std::vector<Check> ItemChecks() const;

    // --- the items
    // Fills the current item from a typed product code; false (nothing
    // filled) when no product has it. A blank text does nothing (true).
    bool ApplyProduct(const std::string& Typed);
    // The product search for the current item; the chosen code goes into
    // the item, which is then filled. False when cancelled.
    bool SearchItemProduct();
    // Starts the next item (Enter on the unit price).
    void NewItemRow();
    // Deletes the current item (Ctrl+Delete).
    void DeleteItem();
    void Calcula_Total_Produtos();
    void Calcula_Total_Nota();
    // Reloads the stored items of the current header (empty for a new one).
    void LoadItems();
    // The buffer's rows as they would be written (rows without a product
    // are left out).
    std::vector<ItemRow> BufferRows() const;

    // The heading of the collected checks' box.
    static const char* const kErrorsHeading;
    // A typed code zero-filled to Width when it is a number ("7" gives
    // "00007"); anything else is kept as typed, so that the checks report it
    // instead of a conversion error.
    static std::string PadCode(const std::string& Typed, int Width);

private:
    void BuildItems();
    void HeaderAfterInsert();
    void HeaderBeforeEdit();
    void HeaderBeforeDelete();
    void HeaderBeforePost();
    void HeaderAfterPost();
    void HeaderAfterCancel();
    void WriteWithinPost();
    void WriteFailed(bool Deleting, const std::string& Reason);
    void ItemGuard();
    void ItemCalc();
    void ItemAfterInsert();
    void ItemBeforePost();
    void ItemAfterPost();
    LookupResult Find(const LookupDef& Def) const;
    // The current header's stored items as one text, to tell whether
    // another instance saved them since they were read.
    std::string StoredItems();

    std::unique_ptr<DocumentPolicy> policy_;
    DocumentQuery* header_ = nullptr;
    TmtMemTable* items_ = nullptr;
    std::vector<LookupDef> lookups_;
    std::map<std::string, LookupResult> shown_;
    bool newDocument_ = false;
    bool loading_ = false;
    std::string lastErrors_;
    std::string storedItems_;   // as read with the current header row
    std::string writtenItems_;  // as the save in progress wrote them
};

}  // namespace billing::forms
