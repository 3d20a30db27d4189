#include "billing/forms/DocumentForm.h"

#include <algorithm>

#include <QAbstractItemModel>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <QTableView>

#include "billing/forms/FormUtils.h"
#include "billing/forms/RecordRow.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"

namespace billing::forms {

namespace {

// An edit counts as empty when it shows nothing but blanks and the literals
// of its mask.
bool ShowsNothing(const std::string& Text) {
    return Text.find_first_not_of(" -./_") == std::string::npos;
}

}  // namespace

int DocumentForm::ProductEditorWidth() const {
    // A product code (five digits), the lookup's button beside it and the
    // edit's frame.
    QTableView* view = Grid->View();
    const int icon = view->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, view);
    return view->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + icon + 16;
}

int DocumentForm::WidestValue(const TField* Field) const {
    // An amount column is as wide as the largest value its display format
    // lays out in full (999.999.999,99 for money): an amount is never cut.
    auto* number = dynamic_cast<const TNumericField*>(Field);
    if (number == nullptr || number->DisplayFormat().empty()) return 0;
    // Decimals shown only when a value has them (a price's third and
    // fourth) take no room of their own.
    std::string sample;
    bool decimals = false;
    for (char c : number->DisplayFormat()) {
        if (c == ';') break;
        if (c == '0' || (c == '#' && !decimals)) sample += '9';
        else if (c == ',' && !decimals) sample += FormatSettings.ThousandSeparator;
        else if (c == '.') {
            sample += FormatSettings.DecimalSeparator;
            decimals = true;
        }
    }
    QTableView* view = Grid->View();
    // The margins the style keeps around a cell's text, and the grid line.
    const int margins = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
    return view->fontMetrics().horizontalAdvance(ui::ToQt(sample)) + margins + 1;
}

DocumentForm::DocumentForm(TComponent* AOwner, const std::string& Caption,
                           const std::function<DocumentCore*(TComponent*)>& MakeCore,
                           const std::string& ItemSourceName, const std::string& GridName)
    : TForm(AOwner) {
    SetCaption(Caption);
    SetFormStyle(fsMDIChild);
    SetBorderStyle(bsSingle);
    SetBorderIcons(TBorderIcons{biSystemMenu, biMinimize});
    // The frame, title bar included: what a 1024 x 768 screen leaves for the
    // workspace under the menu, the toolbar and a desktop panel. The pages
    // hold 420 points of height below their tabs.
    SetBounds(0, 0, 860, 580);

    Core = MakeCore(this);
    Core->SetName("Core");
    dsMain = new TDataSource(this);
    dsMain->SetName("dsMain");
    dsMain->SetAutoEdit(false);
    dsMain->SetDataSet(Core->Header());
    dsItems = new TDataSource(this);
    dsItems->SetName(ItemSourceName);
    dsItems->SetDataSet(Core->Items());
    Core->OnLookup = [this](const std::string& Name, const LookupResult& Result) { ShowLookup(Name, Result); };
    Core->OnFocusField = [this](const std::string& Field) {
        TWinControl* c = ControlOf(Field);
        if (c != nullptr && c->CanFocus()) c->SetFocus();
    };

    RecordRow row = PlaceRecordRow(this, dsMain, 532, "DBButton1", "DBButton3", "DBButton2");
    pnlBotoes = row.panel;
    btnInsert = row.insert;
    btnEdit = row.edit;
    btnSave = row.save;
    DBButton1 = row.cancel;
    btnDelete = row.remove;
    btnFirst = row.first;
    btnPrior = row.prior;
    btnNext = row.next;
    btnLast = row.last;
    DBButton3 = row.search;
    DBButton2 = row.close;
    btnInsert->OnClick = [this](TObject* s) { btnInsertClick(s); };
    btnEdit->OnClick = [this](TObject* s) { btnEditClick(s); };
    btnSave->OnClick = [this](TObject* s) { btnSaveClick(s); };
    DBButton1->OnClick = [this](TObject* s) { DBButton1Click(s); };
    DBButton2->OnClick = [this](TObject* s) { DBButton2Click(s); };
    DBButton3->OnClick = [this](TObject* s) { DBButton3Click(s); };

    pnlTop = Place<TPanel>(this, this, "pnlTop", 0, 0, 860, 50);
    pnlTop->SetAlign(alTop);
    pnlTop->SetBevelOuter(bvNone);
    PageControl1 = Place<TPageControl>(this, this, "PageControl1", 0, 50, 860, 482);
    PageControl1->SetAlign(alClient);
    // The road by Tab and Enter goes through every page before the buttons:
    // the NF-e's choices on the later pages are no click away.
    PageControl1->SetTabThroughPages(true);
    tsGeral = new TTabSheet(this);
    tsGeral->SetName("tsGeral");
    tsGeral->SetPageControl(PageControl1);
    tsGeral->SetCaption("&Geral");

    // On the third row of lookups, right of the last one, where no
    // description runs under it.
    btnPedido = Place<TButton>(this, tsGeral, "btnPedido", 724, 98, 120, 26);
    btnPedido->SetCaption("Ped&ido...");
    // Orders are not imported yet: the button waits for a click, out of the
    // clerk's Tab and Enter road through the document.
    btnPedido->SetTabStop(false);
    btnPedido->OnClick = [this](TObject* s) { btnPedidoClick(s); };

    Grid = Place<TexDBGrid>(this, tsGeral, GridName, 4, 160, 840, 200);

    InstallNavigation(this);
    // Enter in an empty lookup edit opens its search before the form moves on.
    OnKeyDown = [this](TObject*, Word& Key, TShiftState) {
        if (Key == VK_RETURN)
            if (const Lookup* l = LookupOf(ActiveControl())) LookupKeyDown(l->edit, Key);
        if (Key != 0) NavigationKeyDown(this, Key);
    };
    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
    // Coming back to a window left open: the answers of the NF-e monitor or
    // another window may have changed the document shown meanwhile.
    OnActivate = [this](TObject*) { Core->Refresh(); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    OnCloseQuery = [this](TObject* s, bool& c) { FormCloseQuery(s, c); };
}

DocumentForm::~DocumentForm() {
    Core->OnLookup = nullptr;
    Core->OnFocusField = nullptr;
}

TPanel* DocumentForm::Description(TWinControl* Parent, const std::string& Name, int Left, int Top, int Width) {
    auto* p = Place<TPanel>(this, Parent, Name, Left, Top + 16, Width, 23);
    p->SetAlignment(taLeftJustify);
    p->SetBevelOuter(bvLowered);
    p->SetCaption("");
    return p;
}

TDBComboBox* DocumentForm::FixedList(TWinControl* Parent, const std::string& Name, const std::string& Field,
                                     const std::string& Caption, int Left, int Top, int Width,
                                     std::initializer_list<const char*> Items) {
    auto* c = FieldEdit<TDBComboBox>(Parent, Name, Field, Caption, Left, Top, Width);
    for (const char* item : Items) c->Items()->Add(item);
    return c;
}

void DocumentForm::BuildGrid(TWinControl* Parent, int Left, int Top, int Width, int Height,
                             const std::vector<std::string>& ReadOnly) {
    Grid->SetParent(Parent);
    Grid->SetBounds(Left, Top, Width, Height);
    Grid->SetDataSource(dsItems);
    Grid->SetOptions(TDBGridOptions{dgEditing, dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgTabs,
                                    dgCancelOnExit});
    for (const std::string& f : Core->Keys().Fields()) {
        TField* field = Core->Items()->FieldByName(f);
        // The product is typed in its own lookup laid over the cell.
        bool readOnly = field->Calculated() || f == "Id_Produto" ||
                        std::find(ReadOnly.begin(), ReadOnly.end(), f) != ReadOnly.end();
        // Wide enough for the value and for the whole heading; a short code
        // takes no more than its own width (the product's keeps room for
        // the lookup's button), leaving the rest to the description.
        const bool shortCode = f != "Id_Produto" && field->DisplayWidth() <= 8;
        const int chars = shortCode ? field->DisplayWidth() : std::max(field->DisplayWidth() / 2, 8);
        const int heading = Grid->View()->horizontalHeader()->fontMetrics().horizontalAdvance(
                                ui::ToQt(field->DisplayLabel())) + 16;
        TColumn* c = Grid->AddField(f, chars, field->DisplayLabel(), readOnly);
        c->SetWidth(std::max({c->Width(), heading, WidestValue(field)}));
        // The product's lookup lies over its cell: the code and the
        // lookup's button fit in the column, and the lookup covers no other.
        if (f == "Id_Produto") c->SetWidth(std::max(c->Width(), ProductEditorWidth()));
        c->SetTabStop(Core->Keys().Typed(f));
    }
    // What the columns leave of the grid (its frame, row indicator and a
    // vertical scroll bar kept aside) goes to the product's description, so
    // that a long one shows whole while the grid has room for it.
    QTableView* view = Grid->View();
    const int indicator = view->verticalHeader()->isHidden() ? 0 : view->verticalHeader()->width();
    int room = Width - 2 * view->frameWidth() - indicator -
               view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    TColumn* description = nullptr;
    for (int i = 0; i < Grid->ColumnCount(); ++i) {
        room -= Grid->Columns(i)->Width();
        if (Grid->Columns(i)->FieldName() == "Descricao_Abreviada") description = Grid->Columns(i);
    }
    if (description != nullptr && room > 0) description->SetWidth(description->Width() + room);
    Grid->OnEnter = [this](TObject* s) { GridEnter(s); };
    Grid->OnExit = [this](TObject* s) { GridExit(s); };
    Grid->OnKeyPress = [this](TObject* s, char32_t& k) { GridKeyPress(s, k); };
    Grid->OnKeyDown = [this](TObject* s, Word& k, TShiftState sh) { GridKeyDown(s, k, sh); };
    Grid->OnColEnter = [this](TObject*) { PlaceProductEditor(); };
    // A click leaves the cursor where it lands: the product's lookup comes
    // only over the product's own cell.
    Grid->OnCellClick = [this](TColumn*) { PlaceProductEditor(); };

    dbeId_Produto = PlaceDB<TexDBComboDlg>(this, Parent, "dbeId_Produto", dsItems, "Id_Produto", Left, Top, 90, 23);
    dbeId_Produto->SetTabStop(false);
    dbeId_Produto->Hide();
    dbeId_Produto->OnCustomDlg = [this](TObject* s) { dbeId_ProdutoCustomDlg(s); };
    dbeId_Produto->OnExit = [this](TObject* s) { dbeId_ProdutoExit(s); };
    dbeId_Produto->OnKeyPress = [this](TObject* s, char32_t& k) { dbeId_ProdutoKeyPress(s, k); };
    dbeId_Produto->OnEnter = [this](TObject*) { SetKeyPreview(false); };
    // Tab and Shift+Tab go on through the grid's cells, the product taken;
    // Esc is the grid's.
    dbeId_Produto->OnKeyDown = [this](TObject*, Word& Key, TShiftState Shift) {
        if (Key == VK_ESCAPE && Shift.Empty()) {
            ProductEscape(Key);
            return;
        }
        if (Key != VK_TAB || Shift.Contains(ssCtrl)) return;
        Key = 0;
        ProductTab(!Shift.Contains(ssShift));
    };
    // The product column is typed in the lookup: Tab stops on it.
    Grid->Columns(ProductColumn() - 1)->SetEditor(dbeId_Produto);

    lblExcluirItem = PlaceLabel(this, Parent, "[ Ctrl+Delete para Excluir Item ]  ", Left, Top + Height + 2);
}

void DocumentForm::KeepKeysInside(TWinControl* Control) {
    Control->OnEnter = [this](TObject*) { SetKeyPreview(false); };
    Control->OnExit = [this](TObject*) { SetKeyPreview(true); };
}

void DocumentForm::AddLookup(const std::string& Name, TexDBComboDlg* Edit, std::vector<TPanel*> Panels,
                             std::function<std::string()> Search, bool Integer) {
    lookups_.push_back(Lookup{Name, Edit, std::move(Panels), std::move(Search), Integer});
    Edit->OnExit = [this, Name](TObject*) {
        if (Name == "Cliente")
            Core->ClientExit(Core->Field("Id_Cliente")->AsString());
        else
            Core->Mostra(Name);
    };
    Edit->OnCustomDlg = [this, Name](TObject*) {
        for (const Lookup& l : lookups_)
            if (l.name == Name) LookupSearch(l);
    };
}

void DocumentForm::LookupSearch(const Lookup& L) {
    if (!L.search) return;
    std::string found = L.search();
    // Cancelled, or nothing to write into: the field stays as it was.
    if (found.empty() || !Core->Editing()) return;
    TField* f = L.edit->Field();
    if (f == nullptr) return;
    if (L.integer)
        f->SetAsInteger(StrToInt(found));
    else
        f->SetAsString(found);
    if (L.name == "Cliente")
        Core->ClientExit(found);
    else
        Core->Mostra(L.name);
}

const DocumentForm::Lookup* DocumentForm::LookupOf(const TWinControl* Control) const {
    for (const Lookup& l : lookups_)
        if (l.edit == Control) return &l;
    return nullptr;
}

void DocumentForm::LookupKeyDown(TexDBComboDlg* Edit, Word& Key) {
    if (Key != VK_RETURN || !ShowsNothing(Edit->Text())) return;
    Edit->DoCustomDlg();
    if (Edit->CanFocus()) Edit->SetFocus();
    Key = 0;
}

void DocumentForm::ShowLookup(const std::string& Name, const LookupResult& Result) {
    for (const Lookup& l : lookups_) {
        if (l.name != Name) continue;
        for (std::size_t i = 0; i < l.panels.size(); ++i)
            l.panels[i]->SetCaption(Result.found && i < Result.texts.size() ? Result.texts[i]
                                    : Result.empty                      ? std::string()
                                                                        : std::string("?"));
    }
}

TWinControl* DocumentForm::ControlOf(const std::string& Field) const {
    for (const auto& [field, control] : controls_)
        if (SameText(field, Field)) return control;
    return nullptr;
}

void DocumentForm::FormCreate(TObject*) {
    CenterForm(this);
    // Tab walks the header as it reads, then the items, then the totals and
    // the buttons, whatever order the controls were made in.
    for (TWinControl* area : {static_cast<TWinControl*>(this), static_cast<TWinControl*>(pnlTop)}) ReadingOrder(area);
    for (int i = 0; i < PageControl1->PageCount(); ++i) ReadingOrder(PageControl1->Pages(i));
}

void DocumentForm::FormShow(TObject*) {
    ChangeColor(this, false);
    PageControl1->SetActivePageIndex(0);
    Core->Open();
    if (TWinControl* c = ShowFocus(); c != nullptr && c->CanFocus()) SetActiveControl(c);
}

void DocumentForm::FormClose(TObject*, TCloseAction& Action) { Action = SettlePending() ? caFree : caNone; }

void DocumentForm::FormCloseQuery(TObject*, bool& CanClose) {
    if (!SettlePending()) CanClose = false;
}

bool DocumentForm::SettlePending() { return SettlePendingRow(this, Core->Header()); }

void DocumentForm::btnInsertClick(TObject*) {
    ChangeColor(this, true);
    // A new document starts on its first page, whatever page the last one
    // was left on.
    PageControl1->SetActivePageIndex(0);
    if (TWinControl* c = InsertFocus(); c != nullptr && c->CanFocus()) c->SetFocus();
}

void DocumentForm::btnEditClick(TObject*) { ChangeColor(this, true); }

void DocumentForm::btnSaveClick(TObject*) {
    dbeId_Produto->Hide();
    ChangeColor(this, false);
}

void DocumentForm::DBButton1Click(TObject*) {
    dbeId_Produto->Hide();
    ChangeColor(this, false);
    // Undone, the window is as freshly shown: a key typed next never lands
    // on a button or a later page.
    PageControl1->SetActivePageIndex(0);
    if (TWinControl* c = ShowFocus(); c != nullptr && c->CanFocus()) c->SetFocus();
}

void DocumentForm::DBButton2Click(TObject*) { Close(); }

// ---------------------------------------------------------------------------
// The item grid

void DocumentForm::GridEnter(TObject*) {
    SetKeyPreview(false);
    // An empty grid has no cell to type in: its first item is there to be
    // typed (and goes again, untouched, when the grid is left).
    if (Core->Editing() && Core->Items()->IsEmpty() && Core->Items()->State() == dsBrowse) Core->NewItemRow();
    // A click moves the cursor after the focus came: the cell clicked
    // decides (OnCellClick), not the column the cursor had before.
    if (Grid->EnterReason() != Qt::MouseFocusReason) PlaceProductEditor();
}

void DocumentForm::GridExit(TObject*) {
    SetKeyPreview(true);
    TakeChangedItem();
}

void DocumentForm::TakeChangedItem() {
    // An item changed and left for another part of the document (a click on
    // the discount, a lookup, a button) is taken at once, so that the totals
    // follow it; moving between its cells, its product's lookup included,
    // is still typing it. A new row is taken by its own Enter or by Salvar.
    TControl* now = ui::ControlOf(QApplication::focusWidget());
    if (now == nullptr || now == Grid || now == dbeId_Produto) return;
    TDataSet* items = Core->Items();
    if (items->State() != dsEdit) return;
    items->UpdateRecord();
    items->Post();
}

int DocumentForm::ProductColumn() const { return Core->Keys().ColumnOf("Id_Produto"); }

void DocumentForm::MoveToColumn(int Column) {
    Grid->SetSelectedIndex(Column - 1);
    if (Grid->CanFocus()) Grid->SetFocus();
    PlaceProductEditor();
}

void DocumentForm::GridKeyPress(TObject*, char32_t& Key) {
    int column = Grid->SelectedIndex() + 1;
    GridKeyResult r = Core->Keys().Apply(column, Key, Core->Items()->FieldByName("Id_Produto")->AsString());
    Key = r.key;
    if (r.searchProduct) dbeId_ProdutoCustomDlg(dbeId_Produto);
    TDataSet* items = Core->Items();
    if (r.move == GridMove::NextColumn) {
        // What the cell holds is the field's before the cursor moves on.
        if (items->State() == dsEdit || items->State() == dsInsert) items->UpdateRecord();
        MoveToColumn(r.column);
    } else if (r.move == GridMove::NewItem) {
        Core->NewItemRow();
        MoveToColumn(r.column);
    }
}

void DocumentForm::GridKeyDown(TObject*, Word& Key, TShiftState Shift) {
    if (Key == VK_DELETE && Shift.Contains(ssCtrl)) {
        Core->DeleteItem();
        Key = 0;
    }
}

void DocumentForm::PlaceProductEditor() {
    if (dbeId_Produto == nullptr) return;
    const int column = ProductColumn() - 1;
    if (!Core->Editing() || Grid->SelectedIndex() != column || Core->Items()->IsEmpty()) {
        if (dbeId_Produto->Visible() && !dbeId_Produto->Focused()) dbeId_Produto->Hide();
        return;
    }
    QTableView* view = Grid->View();
    QRect cell = view->visualRect(Grid->Model()->index(std::max(0, view->currentIndex().row()), column));
    QWidget* parent = Grid->Parent() != nullptr ? Grid->Parent()->ClientWidget() : nullptr;
    QPoint at = parent != nullptr ? view->viewport()->mapTo(parent, cell.topLeft()) : cell.topLeft();
    dbeId_Produto->SetBounds(at.x(), at.y() - 2, cell.width(), cell.height() + 4);
    dbeId_Produto->Show();
    dbeId_Produto->BringToFront();
    if (dbeId_Produto->CanFocus()) dbeId_Produto->SetFocus();
}

void DocumentForm::dbeId_ProdutoCustomDlg(TObject*) { Core->SearchItemProduct(); }

void DocumentForm::dbeId_ProdutoExit(TObject*) {
    SetKeyPreview(true);
    // An unknown code fills nothing: its row goes when posted.
    Core->ApplyProduct(dbeId_Produto->Field() != nullptr ? dbeId_Produto->Field()->AsString() : std::string());
    dbeId_Produto->Hide();
    TakeChangedItem();
}

void DocumentForm::TakeProduct() {
    if (dbeId_Produto->Field() != nullptr && Core->Items()->State() != dsBrowse) Core->Items()->UpdateRecord();
}

void DocumentForm::ProductTab(bool GoForward) {
    TakeProduct();
    Core->ApplyProduct(dbeId_Produto->Field() != nullptr ? dbeId_Produto->Field()->AsString() : std::string());
    Grid->TabCell(GoForward);
    // Still here: the cursor went to another cell of the grid.
    if (dbeId_Produto->Focused() && Grid->CanFocus()) Grid->SetFocus();
}

void DocumentForm::ProductEscape(Word& Key) {
    // A code typed in the cell is undone by the edit itself first.
    if (dbeId_Produto->Modified()) return;
    Key = 0;
    TDataSet* items = Core->Items();
    if (items->State() == dsEdit || items->State() == dsInsert) items->Cancel();
    dbeId_Produto->Hide();
    if (Grid->CanFocus()) Grid->SetFocus();
    PlaceProductEditor();
}

void DocumentForm::dbeId_ProdutoKeyPress(TObject*, char32_t& Key) {
    if (Key != 13) return;
    const int column = ProductColumn();
    TakeProduct();
    GridKeyResult r = Core->Keys().Apply(column, Key, dbeId_Produto->Text());
    Key = 0;
    if (r.searchProduct) dbeId_ProdutoCustomDlg(dbeId_Produto);
    dbeId_ProdutoExit(dbeId_Produto);
    if (r.move == GridMove::NextColumn) MoveToColumn(r.column);
}

}  // namespace billing::forms
