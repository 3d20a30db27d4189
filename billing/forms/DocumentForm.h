#pragma once
// The window over a document core (DocumentCore.h): the invoice and the
// shipping-list forms place their edits on it and bind them; everything
// they decide is the core's. The base holds what both share: the button
// row, the header's lookups with their description panels, the item grid
// with its product lookup laid over the product column, the keyboard rules
// of that grid, the save question on close.
//
// Keys: the form previews keys (Enter and the arrows move between edits)
// except inside the item grid, its product lookup and a memo, which take
// Enter themselves. Keys typed into a cell of the grid reach the grid's
// OnKeyPress as well, so the decimal comma applies while a cell is edited.
// Tab and Shift+Tab move through the grid's cells, the product lookup's
// included; a click puts the cursor on the cell clicked, and the lookup
// comes only over the product's own cell.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QWidget>

#include "billing/controls/DBBButton.h"
#include "billing/forms/DocumentCore.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"


namespace billing::forms {

class DocumentForm : public TForm {
public:
    FAT_CLASS_NAME(DocumentForm)
    // Core is made here (owned by the form) by MakeCore; the item source and
    // the grid take the names given.
    DocumentForm(TComponent* AOwner, const std::string& Caption,
                 const std::function<DocumentCore*(TComponent*)>& MakeCore, const std::string& ItemSourceName,
                 const std::string& GridName);
    ~DocumentForm() override;

    DocumentCore* Core = nullptr;
    TDataSource* dsMain = nullptr;
    TDataSource* dsItems = nullptr;
    TPanel* pnlTop = nullptr;
    TPageControl* PageControl1 = nullptr;
    TTabSheet* tsGeral = nullptr;
    TPanel* pnlBotoes = nullptr;
    TexDBGrid* Grid = nullptr;
    TexDBComboDlg* dbeId_Produto = nullptr;
    TLabel* lblExcluirItem = nullptr;
    TButton* btnPedido = nullptr;
    TDBButton* btnInsert = nullptr;
    TDBButton* btnEdit = nullptr;
    TDBButton* btnSave = nullptr;
    TDBButton* DBButton1 = nullptr;  // Desfazer
    TDBButton* btnDelete = nullptr;
    TDBButton* btnFirst = nullptr;
    TDBButton* btnPrior = nullptr;
    TDBButton* btnNext = nullptr;
    TDBButton* btnLast = nullptr;
    TDBButton* DBButton2 = nullptr;  // Fechar; Esc presses it
    TDBButton* DBButton3 = nullptr;  // Pesquisar

    void FormCreate(TObject* Sender);
    virtual void FormShow(TObject* Sender);
    // Asks "Deseja salvar as alterações ?" when a row is pending; a refused
    // save keeps the form open with the row still in edit.
    void FormClose(TObject* Sender, TCloseAction& Action);
    void FormCloseQuery(TObject* Sender, bool& CanClose);
    virtual void btnInsertClick(TObject* Sender);
    virtual void btnEditClick(TObject* Sender);
    void btnSaveClick(TObject* Sender);
    void DBButton1Click(TObject* Sender);
    void DBButton2Click(TObject* Sender);
    // "Pesquisar": the document chosen in the search becomes the current one.
    virtual void DBButton3Click(TObject* Sender) = 0;
    virtual void btnPedidoClick(TObject* Sender) { (void)Sender; }
    void Mostra_Tudo() { Core->Mostra_Tudo(); }
    void Calcula_Total_Nota() { Core->Calcula_Total_Nota(); }

    // The item grid.
    void GridEnter(TObject* Sender);
    void GridExit(TObject* Sender);
    void GridKeyPress(TObject* Sender, char32_t& Key);
    void GridKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
    // The product lookup of the current item.
    void dbeId_ProdutoCustomDlg(TObject* Sender);
    void dbeId_ProdutoExit(TObject* Sender);
    void dbeId_ProdutoKeyPress(TObject* Sender, char32_t& Key);
    // Tab or Shift+Tab in the product lookup: the product is taken, then
    // the cursor moves on as in the grid.
    void ProductTab(bool GoForward);
    // Esc in the product lookup acts on the grid, never on the form: the
    // code typed is undone, then the row's typing (a new row goes).
    void ProductEscape(Word& Key);
    // Shows the product lookup over the product cell while the current
    // column is the product's and the document is being typed.
    void PlaceProductEditor();
    // Enter in an empty lookup edit opens its search and stays there.
    void LookupKeyDown(TexDBComboDlg* Edit, Word& Key);

    // The edit bound to a header field (the one a refusal points at).
    TWinControl* ControlOf(const std::string& Field) const;

protected:
    // A header lookup: its edit, its panels (one per description), its
    // search, and whether its key is a number.
    void AddLookup(const std::string& Name, TexDBComboDlg* Edit, std::vector<TPanel*> Panels,
                   std::function<std::string()> Search, bool Integer);
    // Builders on this form: a bound edit with its caption above it, a
    // description panel, a list of fixed texts.
    template <typename T>
    T* FieldEdit(TWinControl* Parent, const std::string& Name, const std::string& Field, const std::string& Caption,
                 int Left, int Top, int Width) {
        T* e = PlaceDB<T>(this, Parent, Name, dsMain, Field, Left, Top + 16, Width, 23);
        PlaceLabel(this, Parent, Caption, Left, Top, e);
        controls_.emplace_back(Field, e);
        return e;
    }
    TPanel* Description(TWinControl* Parent, const std::string& Name, int Left, int Top, int Width);
    TDBComboBox* FixedList(TWinControl* Parent, const std::string& Name, const std::string& Field,
                           const std::string& Caption, int Left, int Top, int Width,
                           std::initializer_list<const char*> Items);
    // The item grid on Parent, its columns those of the core's grid keys;
    // ReadOnly lists the fields typed nowhere.
    void BuildGrid(TWinControl* Parent, int Left, int Top, int Width, int Height,
                   const std::vector<std::string>& ReadOnly);
    // Enter and the arrows stay inside a memo.
    void KeepKeysInside(TWinControl* Control);
    // Where the focus goes after a new row, and on show.
    virtual TWinControl* InsertFocus() const = 0;
    virtual TWinControl* ShowFocus() const = 0;

private:
    struct Lookup {
        std::string name;
        TexDBComboDlg* edit;
        std::vector<TPanel*> panels;
        std::function<std::string()> search;
        bool integer;
    };
    bool SettlePending();
    void ShowLookup(const std::string& Name, const LookupResult& Result);
    void LookupSearch(const Lookup& L);
    const Lookup* LookupOf(const TWinControl* Control) const;
    int ProductColumn() const;
    // What the product lookup shows goes into the item's field.
    void TakeProduct();
    // Posts the item changed when the focus left its row for another control.
    void TakeChangedItem();
    // The width in pixels of the largest value Field's display format shows.
    int WidestValue(const TField* Field) const;
    // The narrowest the product's lookup over its cell is usable at.
    int ProductEditorWidth() const;
    void MoveToColumn(int Column);

    std::vector<Lookup> lookups_;
    std::vector<std::pair<std::string, TWinControl*>> controls_;
};

}  // namespace billing::forms
