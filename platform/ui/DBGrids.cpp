#include "platform/ui/DBGrids.h"

#include <algorithm>

#include <QAbstractTableModel>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QWheelEvent>

#include "platform/ui/DBCtrls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"

using ui::ToQt;
using ui::ToStd;

namespace {

// A table view whose editor the grid commits and closes itself.
class GridView : public QTableView {
public:
    void Commit(QWidget* Editor) { commitData(Editor); }
    void Close(QWidget* Editor, QAbstractItemDelegate::EndEditHint Hint) { closeEditor(Editor, Hint); }
    bool Editing() const { return state() == QAbstractItemView::EditingState; }
};

}  // namespace

// ---------------------------------------------------------------------------

// Makes the cell editors and keeps the one open: its keys and its focus are
// the grid's (the grid watches it as its own), so that Tab, Enter, Esc and
// leaving the grid do what the grid says and never what the view would do
// behind its back.
class TCustomDBGrid::Delegate : public QStyledItemDelegate {
public:
    explicit Delegate(TCustomDBGrid* Grid) : grid_(Grid) {}
    QWidget* Editor() const { return editor_; }

    QWidget* createEditor(QWidget* Parent, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
        QWidget* w = QStyledItemDelegate::createEditor(Parent, Option, Index);
        editor_ = w;
        if (w != nullptr) grid_->WatchWidget(w);
        return w;
    }
    void destroyEditor(QWidget* Editor, const QModelIndex& Index) const override {
        if (Editor == editor_) {
            editor_ = nullptr;
            grid_->amount_.Reset();
        }
        QStyledItemDelegate::destroyEditor(Editor, Index);
    }

    // The focus is drawn whatever moved it (the style draws it only once a
    // key moved it, and never on a grid whose rows are picked whole): a
    // dotted frame round the current cell, or round the current row where
    // rows are picked, while the grid has the focus.
    void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
        QStyleOptionViewItem plain(Option);
        plain.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(Painter, plain, Index);
        QTableView* view = grid_->view_;
        const QModelIndex current = view->currentIndex();
        if (!current.isValid() || current.row() != Index.row() || !grid_->HasFocusInside()) return;
        const bool rows = grid_->options_.Contains(dgRowSelect);
        if (!rows && current.column() != Index.column()) return;
        const int last = view->model()->columnCount() - 1;
        const QRect r = Option.rect.adjusted(0, 0, -1, -1);
        Painter->save();
        QPen pen(Option.palette.color(Option.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                             : QPalette::Text));
        pen.setStyle(Qt::DotLine);
        Painter->setPen(pen);
        Painter->drawLine(r.topLeft(), r.topRight());
        Painter->drawLine(r.bottomLeft(), r.bottomRight());
        if (!rows || Index.column() == 0) Painter->drawLine(r.topLeft(), r.bottomLeft());
        if (!rows || Index.column() == last) Painter->drawLine(r.topRight(), r.bottomRight());
        Painter->restore();
    }

protected:
    bool eventFilter(QObject* Object, QEvent* Event) override {
        if (Event->type() == QEvent::KeyPress || Event->type() == QEvent::FocusOut) return false;
        return QStyledItemDelegate::eventFilter(Object, Event);
    }

private:
    TCustomDBGrid* grid_;
    mutable QPointer<QWidget> editor_;
};

class TCustomDBGrid::Link : public TDataLink {
public:
    explicit Link(TCustomDBGrid* Grid) : grid_(Grid) {}
    TCustomDBGrid* grid_;

protected:
    void ActiveChanged() override { grid_->LinkActive(); }
    void DataSetChanged() override { grid_->DataChanged(); }
    void DataSetScrolled(int) override { grid_->DataChanged(); }
    void LayoutChanged() override {
        grid_->LayoutChanged();
        grid_->DataChanged();
    }
    void RecordChanged(TField* Field) override { grid_->RecordChanged(Field); }
    void EditingChanged() override { grid_->EditingChanged(); }
    void UpdateData() override { grid_->UpdateData(); }
};

class TCustomDBGrid::GridModel : public QAbstractTableModel {
public:
    explicit GridModel(TCustomDBGrid* Grid) : grid_(Grid) {}
    TCustomDBGrid* grid_;

    void Reset() {
        beginResetModel();
        endResetModel();
    }
    void RowChanged(int Row) {
        if (Row < 0 || Row >= rowCount()) return;
        Q_EMIT dataChanged(index(Row, 0), index(Row, std::max(0, columnCount() - 1)));
    }
    void IndicatorChanged() {
        if (rowCount() > 0) Q_EMIT headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : grid_->RowCount();
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(grid_->VisibleColumns().size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return QVariant();
        std::vector<TColumn*> cols = grid_->VisibleColumns();
        if (index.column() >= static_cast<int>(cols.size())) return QVariant();
        TColumn* column = cols[static_cast<size_t>(index.column())];
        TField* f = column->Field();
        if (f == nullptr) return QVariant();
        if (column->IsCheckBox()) {
            if (role != Qt::CheckStateRole) return QVariant();
            return Read(index.row(), f, false, true) == column->CheckedValue() ? Qt::Checked : Qt::Unchecked;
        }
        if (column->HasImages()) {
            if (role != Qt::DecorationRole) return QVariant();
            int image = -1;
            if (!TryStrToInt(Trim(Read(index.row(), f, false, true)), image) || image < 0 ||
                image >= static_cast<int>(column->Images().size()))
                return QVariant();
            return column->Images()[static_cast<size_t>(image)];
        }
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return ToQt(Read(index.row(), f, role == Qt::EditRole));
        case Qt::TextAlignmentRole: {
            TAlignment a = f->Alignment();
            Qt::Alignment h = a == taRightJustify ? Qt::AlignRight : a == taCenter ? Qt::AlignHCenter : Qt::AlignLeft;
            return QVariant::fromValue(h | Qt::AlignVCenter);
        }
        default:
            return QVariant();
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole) return QVariant();
        if (orientation == Qt::Horizontal) {
            std::vector<TColumn*> cols = grid_->VisibleColumns();
            if (section < 0 || section >= static_cast<int>(cols.size())) return QVariant();
            return ToQt(cols[static_cast<size_t>(section)]->Title());
        }
        if (section != grid_->link_->ActiveRecord()) return QString();
        TDataSet* ds = grid_->DataSet();
        if (ds == nullptr) return QString();
        if (ds->State() == dsInsert) return QString("*");
        if (ds->State() == dsEdit) return QString("I");
        return QString::fromUtf8("\u25B6");
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (index.isValid() && index.row() == grid_->link_->ActiveRecord() && grid_->CanEditCell(index.column()) &&
            grid_->CheckColumn(index.column()) == nullptr)
            f |= Qt::ItemIsEditable;
        return f;
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (!index.isValid()) return false;
        if (role == Qt::CheckStateRole) {
            if (index.row() != grid_->link_->ActiveRecord()) return false;
            bool ok = grid_->SetChecked(index.column(), value.toInt() == Qt::Checked);
            RowChanged(index.row());
            return ok;
        }
        if (role != Qt::EditRole || grid_->CheckColumn(index.column()) != nullptr) return false;
        if (index.row() != grid_->link_->ActiveRecord()) return false;
        std::vector<TColumn*> cols = grid_->VisibleColumns();
        TField* f = cols[static_cast<size_t>(index.column())]->Field();
        if (f == nullptr) return false;
        bool ok = false;
        grid_->Guarded([&] {
            if (!grid_->link_->Edit()) return;
            const std::string text = ToStd(value.toString());
            if (text == f->Text()) {
                ok = true;
                return;
            }
            // Amounts as they are written, as a number edit takes them.
            f->SetText(grid_->TakesAmount(f) ? grid_->amount_.Left(text, FormatSettings) : text);
            ok = true;
        });
        // A refused text stays in the editor: the row, unchanged, is not
        // drawn again (which would put the field's value back into it).
        grid_->commitFailed_ = !ok;
        if (ok) RowChanged(index.row());
        return ok;
    }

private:
    // A record of the window, read by making its buffer the active one for
    // the moment.
    std::string Read(int Row, TField* Field, bool ForEdit, bool Value = false) const {
        Link& link = *grid_->link_;
        int old = link.ActiveRecord();
        link.SetActiveRecord(Row);
        std::string text;
        try {
            text = Value ? Field->AsString() : ForEdit ? Field->Text() : grid_->ShownText(Field);
        } catch (...) {
            text.clear();
        }
        link.SetActiveRecord(old);
        return text;
    }
};

namespace ui {

std::string MaskedDisplayText(const TField* Field) {
    // A text field with an edit mask shows in the mask's layout (a CNPJ as
    // "12.345.678/0001-90"), as the class library's string fields do.
    bool text = Field->DataType() == ftString || Field->DataType() == ftWideString || Field->DataType() == ftFixedChar;
    if (!text || Field->EditMask().empty() || Field->OnGetText || Field->IsNull()) return Field->DisplayText();
    const std::string value = Field->AsString();
    return EditMask(EditMask::LayoutFor(Field->EditMask(), value)).Shown(value);
}

}  // namespace ui

std::string TCustomDBGrid::ShownText(const TField* Field) const { return ui::MaskedDisplayText(Field); }

// ---------------------------------------------------------------------------
// TColumn

void TColumn::SetFieldName(const std::string& Value) {
    fieldName_ = Value;
    grid_->ColumnsChanged();
}

TField* TColumn::Field() const {
    TDataSet* ds = grid_->DataSet();
    if (ds == nullptr || fieldName_.empty()) return nullptr;
    return ds->FindField(fieldName_);
}

std::string TColumn::Title() const {
    if (!title_.empty()) return title_;
    TField* f = Field();
    return f != nullptr ? f->DisplayLabel() : fieldName_;
}

void TColumn::SetEditor(TWinControl* Value) {
    if (editor_ != nullptr && editor_->KeyOwner() == grid_) editor_->SetKeyOwner(nullptr);
    editor_ = Value;
    if (Value != nullptr) Value->SetKeyOwner(grid_);
}

void TColumn::SetTitle(const std::string& Value) {
    title_ = Value;
    grid_->ColumnsChanged();
}

int TColumn::Width() const {
    if (width_ > 0) return width_;
    TField* f = Field();
    int chars = f != nullptr ? f->DisplayWidth() : 10;
    const QFontMetrics fm = grid_->view_->fontMetrics();
    // A short code is mostly capitals, wider than the average letter ("MG"
    // in a two-character column): it gets room for that many of the widest.
    int text = std::max(chars * fm.averageCharWidth(),
                        fm.horizontalAdvance(QString(std::clamp(chars, 0, 3), QLatin1Char('W'))));
    int title = fm.horizontalAdvance(ToQt(Title())) + 8;
    return std::max(text + 8, std::min(title, 200));
}

void TColumn::SetWidth(int Value) {
    width_ = Value;
    grid_->ColumnsChanged();
}

void TColumn::SetImages(std::vector<QPixmap> Images) {
    images_ = std::move(Images);
    grid_->ColumnsChanged();
}

void TColumn::SetCheckBox(const std::string& Checked, const std::string& Unchecked) {
    checkBox_ = true;
    checked_ = Checked;
    unchecked_ = Unchecked;
    grid_->ColumnsChanged();
}

void TColumn::SetVisible(bool Value) {
    visible_ = Value;
    grid_->ColumnsChanged();
}

int TColumn::Index() const {
    for (int i = 0; i < grid_->ColumnCount(); ++i)
        if (grid_->Columns(i) == this) return i;
    return -1;
}

// ---------------------------------------------------------------------------
// TCustomDBGrid

TCustomDBGrid::TCustomDBGrid(TComponent* AOwner)
    : TWinControl(AOwner),
      link_(std::make_unique<Link>(this)),
      model_(std::make_unique<GridModel>(this)),
      delegate_(std::make_unique<Delegate>(this)) {
    frame_ = new QWidget;
    auto* layout = new QHBoxLayout(frame_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* view = new GridView;
    view_ = view;
    scroll_ = new QScrollBar(Qt::Vertical);
    layout->addWidget(view_, 1);
    layout->addWidget(scroll_);
    view_->setModel(model_.get());
    view_->setItemDelegate(delegate_.get());
    view_->setTabKeyNavigation(false);
    view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setSelectionBehavior(QAbstractItemView::SelectItems);
    // A click picks the cell and the keys typed next go into it: an editor
    // opened later by the click itself would refuse them meanwhile.
    view_->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::DoubleClicked);
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
    view_->verticalHeader()->setFixedWidth(14);
    frame_->setFocusProxy(view_);
    SetWidget(frame_);
    WatchWidget(view_);
    WatchWidget(view_->viewport());
    SetBounds(0, 0, 320, 120);

    QObject::connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, view_,
                     [this](const QModelIndex& now, const QModelIndex& before) {
                         if (syncing_ || !now.isValid()) return;
                         if (now.column() != before.column() && now.column() != selectedIndex_) {
                             Guarded([&] {
                                 if (OnColExit) OnColExit(this);
                                 selectedIndex_ = now.column();
                                 if (OnColEnter) OnColEnter(this);
                             });
                         }
                         if (now.row() != link_->ActiveRecord()) RowPicked(now.row());
                     });
    QObject::connect(view_, &QTableView::clicked, view_, [this](const QModelIndex& index) {
        // (A check box's cell switches on the button's release: see WidgetEvent.)
        std::vector<TColumn*> cols = VisibleColumns();
        if (index.column() < static_cast<int>(cols.size()) && OnCellClick)
            Guarded([&] { OnCellClick(cols[static_cast<size_t>(index.column())]); });
    });
    QObject::connect(view_->horizontalHeader(), &QHeaderView::sectionClicked, view_, [this](int section) {
        std::vector<TColumn*> cols = VisibleColumns();
        if (section < static_cast<int>(cols.size()) && OnTitleClick)
            Guarded([&] { OnTitleClick(cols[static_cast<size_t>(section)]); });
    });
    QObject::connect(view_->horizontalHeader(), &QHeaderView::sectionResized, view_, [this](int section, int, int size) {
        if (syncing_) return;
        std::vector<TColumn*> cols = VisibleColumns();
        if (section < static_cast<int>(cols.size())) cols[static_cast<size_t>(section)]->width_ = size;
    });
    QObject::connect(scroll_, &QScrollBar::actionTriggered, scroll_, [this](int action) {
        if (syncing_) return;
        TDataSet* ds = DataSet();
        if (ds == nullptr || !ds->Active()) return;
        Guarded([&] {
            switch (action) {
            case QAbstractSlider::SliderSingleStepAdd: MoveBy(1); break;
            case QAbstractSlider::SliderSingleStepSub: MoveBy(-1); break;
            case QAbstractSlider::SliderPageStepAdd: MoveBy(VisibleRowCount()); break;
            case QAbstractSlider::SliderPageStepSub: MoveBy(-VisibleRowCount()); break;
            case QAbstractSlider::SliderToMinimum: ds->First(); break;
            case QAbstractSlider::SliderToMaximum: ds->Last(); break;
            case QAbstractSlider::SliderMove: {
                int target = scroll_->sliderPosition();
                if (ds->RecordCount() >= 0 && ds->RecNo() >= 1) {
                    ds->SetRecNo(target + 1);
                } else if (target <= scroll_->minimum()) {
                    ds->First();
                } else if (target >= scroll_->maximum()) {
                    ds->Last();
                }
                break;
            }
            default: break;
            }
        });
        SyncScrollBar();
    });
}

TCustomDBGrid::~TCustomDBGrid() {
    view_->blockSignals(true);
    view_->selectionModel()->blockSignals(true);
    view_->setModel(nullptr);
    view_->setItemDelegate(nullptr);
    link_->SetDataSource(nullptr);
}

TDataSource* TCustomDBGrid::DataSource() const { return link_->DataSource(); }

void TCustomDBGrid::SetDataSource(TDataSource* Value) {
    link_->SetDataSource(Value);
    LinkActive();
}

TDataSet* TCustomDBGrid::DataSet() const { return link_->DataSet(); }

QAbstractTableModel* TCustomDBGrid::Model() const { return model_.get(); }

TColumn* TCustomDBGrid::Columns(int Index) const {
    if (Index < 0 || Index >= ColumnCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return columns_[static_cast<size_t>(Index)].get();
}

TColumn* TCustomDBGrid::AddColumn(const std::string& FieldName, const std::string& Title, int Width) {
    if (!customColumns_) columns_.clear();
    customColumns_ = true;
    auto c = std::make_unique<TColumn>(this);
    c->fieldName_ = FieldName;
    c->title_ = Title;
    c->width_ = Width;
    columns_.push_back(std::move(c));
    ColumnsChanged();
    return columns_.back().get();
}

void TCustomDBGrid::ClearColumns() {
    columns_.clear();
    customColumns_ = false;
    LayoutChanged();
    DataChanged();
}

std::vector<TColumn*> TCustomDBGrid::VisibleColumns() const {
    std::vector<TColumn*> out;
    for (auto& c : columns_)
        if (c->Visible()) out.push_back(c.get());
    return out;
}

void TCustomDBGrid::ColumnsChanged() {
    syncing_ = true;
    model_->Reset();
    std::vector<TColumn*> cols = VisibleColumns();
    for (size_t i = 0; i < cols.size(); ++i) view_->setColumnWidth(static_cast<int>(i), cols[i]->Width());
    syncing_ = false;
    SyncCurrent();
}

void TCustomDBGrid::SetReadOnly(bool Value) {
    readOnly_ = Value;
    if (Value) CommitCell(false);
}

void TCustomDBGrid::SetOptions(TDBGridOptions Value) {
    options_ = Value;
    view_->horizontalHeader()->setVisible(Value.Contains(dgTitles));
    view_->verticalHeader()->setVisible(Value.Contains(dgIndicator));
    view_->setShowGrid(Value.Contains(dgColLines) || Value.Contains(dgRowLines));
    view_->setSelectionBehavior(Value.Contains(dgRowSelect) ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    view_->horizontalHeader()->setSectionResizeMode(Value.Contains(dgColumnResize) ? QHeaderView::Interactive
                                                                                   : QHeaderView::Fixed);
}

bool TCustomDBGrid::WantsReturns() const {
    // A row being typed takes Esc (it is undone) before the form's cancel
    // button does; and while the grid can be typed in at all, Enter and Esc
    // are its own, so that neither a hurried Esc nor the Enter after it
    // reaches the form's buttons.
    TDataSet* ds = DataSet();
    return EditingCell() || (ds != nullptr && ds->Active() && (ds->State() == dsEdit || ds->State() == dsInsert)) ||
           CanEditRow();
}

bool TCustomDBGrid::EditingCell() const { return static_cast<GridView*>(view_)->Editing(); }

bool TCustomDBGrid::TakesAmount(const TField* Field) { return ui::TakesDecimals(Field) && Field->EditMask().empty(); }

void TCustomDBGrid::KeyPressed(char32_t& Key) {
    std::vector<TColumn*> cols = VisibleColumns();
    const int col = view_->currentIndex().isValid() ? view_->currentIndex().column() : selectedIndex_;
    TField* f = col >= 0 && col < static_cast<int>(cols.size()) ? cols[static_cast<size_t>(col)]->Field() : nullptr;
    if (f == nullptr || !TakesAmount(f)) return;
    auto* line = qobject_cast<QLineEdit*>(delegate_->Editor());
    if (!EditingCell() || line == nullptr) {
        // The key opens the cell's editor, in place of what the cell showed.
        amount_.Reset();
        if (!CanEditCell(col)) return;
        std::string none;
        amount_.KeyPressed(Key, none, 0, 0, FormatSettings);
        return;
    }
    std::string text = ToStd(line->text());
    const int caret = line->cursorPosition();
    if (amount_.KeyPressed(Key, text, caret, static_cast<int>(line->selectedText().size()), FormatSettings)) {
        line->setText(ToQt(text));
        line->setCursorPosition(caret);
    }
}

bool TCustomDBGrid::WantsTabs() const {
    return options_.Contains(dgTabs) && !options_.Contains(dgRowSelect) && EdgeStop(true) >= 0;
}

void TCustomDBGrid::SetSelectedIndex(int Value) {
    if (Value < 0 || Value >= static_cast<int>(VisibleColumns().size())) return;
    selectedIndex_ = Value;
    SyncCurrent();
}

TField* TCustomDBGrid::SelectedField() const {
    std::vector<TColumn*> cols = VisibleColumns();
    if (selectedIndex_ < 0 || selectedIndex_ >= static_cast<int>(cols.size())) return nullptr;
    return cols[static_cast<size_t>(selectedIndex_)]->Field();
}

int TCustomDBGrid::VisibleRowCount() const {
    int h = view_->verticalHeader()->defaultSectionSize();
    int rows = h > 0 ? view_->viewport()->height() / h : 1;
    return std::max(1, rows);
}

int TCustomDBGrid::RowCount() const { return link_->Active() ? link_->RecordCount() : 0; }

std::string TCustomDBGrid::CellText(int Row, int Col) const {
    return ToStd(model_->data(model_->index(Row, Col), Qt::DisplayRole).toString());
}

bool TCustomDBGrid::CanEditRow() const {
    if (readOnly_ || !options_.Contains(dgEditing) || !link_->Active() || link_->ReadOnly()) return false;
    return link_->Editing() || (DataSource() != nullptr && DataSource()->AutoEdit());
}

bool TCustomDBGrid::CanEditCell(int Col) const {
    if (!CanEditRow()) return false;
    std::vector<TColumn*> cols = VisibleColumns();
    if (Col < 0 || Col >= static_cast<int>(cols.size()) || cols[static_cast<size_t>(Col)]->ReadOnly()) return false;
    TField* f = cols[static_cast<size_t>(Col)]->Field();
    return f != nullptr && f->CanModify();
}

bool TCustomDBGrid::IsTabStop(int Col) const {
    std::vector<TColumn*> cols = VisibleColumns();
    if (Col < 0 || Col >= static_cast<int>(cols.size()) || !cols[static_cast<size_t>(Col)]->TabStop()) return false;
    return CanEditCell(Col) || (cols[static_cast<size_t>(Col)]->Editor() != nullptr && CanEditRow());
}

int TCustomDBGrid::EdgeStop(bool First) const {
    const int count = static_cast<int>(VisibleColumns().size());
    for (int i = 0; i < count; ++i) {
        int c = First ? i : count - 1 - i;
        if (IsTabStop(c)) return c;
    }
    return -1;
}

void TCustomDBGrid::SelectColumn(int Col) {
    if (Col < 0 || Col >= static_cast<int>(VisibleColumns().size())) return;
    if (Col == selectedIndex_) {
        SyncCurrent();
        return;
    }
    Guarded([&] {
        if (OnColExit) OnColExit(this);
    });
    selectedIndex_ = Col;
    SyncCurrent();
    Guarded([&] {
        if (OnColEnter) OnColEnter(this);
    });
}

void TCustomDBGrid::LeaveGrid(bool GoForward) {
    if (TCustomForm* form = GetParentForm()) form->SelectNext(this, GoForward, true);
}

bool TCustomDBGrid::CommitCell(bool KeepOnFailure) {
    auto* view = static_cast<GridView*>(view_);
    QWidget* editor = delegate_->Editor();
    if (committing_ || !view->Editing() || editor == nullptr) return true;
    committing_ = true;
    commitFailed_ = false;
    view->Commit(editor);
    const bool failed = commitFailed_;
    if (failed && KeepOnFailure && !resetPending_) {
        // The text stays for the clerk to mend, in the cell it was typed in.
        committing_ = false;
        editor->setFocus();
        return false;
    }
    view->Close(editor, QAbstractItemDelegate::NoHint);
    committing_ = false;
    if (resetPending_) {
        resetPending_ = false;
        DataChanged();
    }
    return !failed;
}

void TCustomDBGrid::CancelCell() {
    auto* view = static_cast<GridView*>(view_);
    if (QWidget* editor = delegate_->Editor(); view->Editing() && editor != nullptr)
        view->Close(editor, QAbstractItemDelegate::RevertModelCache);
}

bool TCustomDBGrid::Step(int Distance) {
    TDataSet* ds = DataSet();
    bool moved = false;
    Guarded([&] { moved = ds->MoveBy(Distance) != 0; });
    return moved;
}

bool TCustomDBGrid::CanAppend() const {
    TDataSet* ds = DataSet();
    return ds != nullptr && ds->State() == dsBrowse && ds->CanModify() && CanEditRow() && TypableColumn();
}

void TCustomDBGrid::TabCell(bool GoForward) {
    TDataSet* ds = DataSet();
    if (ds == nullptr || !ds->Active() || !CommitCell(true)) return;
    const int count = static_cast<int>(VisibleColumns().size());
    const int step = GoForward ? 1 : -1;
    for (int c = selectedIndex_ + step; c >= 0 && c < count; c += step) {
        if (IsTabStop(c)) {
            SelectColumn(c);
            return;
        }
    }
    // Past the row's edge. A new row nothing was typed into is not left for
    // another one.
    const bool untouched = ds->State() == dsInsert && !ds->Modified();
    if (GoForward) {
        if (untouched) {
            LeaveGrid(true);
            return;
        }
        if (!Step(1)) {
            // A refused row keeps the cursor (its message said why).
            if (ds->State() != dsBrowse) return;
            if (!CanAppend()) {
                LeaveGrid(true);
                return;
            }
            Guarded([&] { ds->Append(); });
            if (ds->State() != dsInsert) {
                LeaveGrid(true);
                return;
            }
        }
        SelectColumn(EdgeStop(true));
        return;
    }
    if (untouched) {
        Guarded([&] { ds->Cancel(); });
        if (ds->IsEmpty()) {
            LeaveGrid(false);
            return;
        }
    } else if (!Step(-1)) {
        if (ds->State() == dsBrowse) LeaveGrid(false);
        return;
    }
    SelectColumn(EdgeStop(false));
}

void TCustomDBGrid::EnterCell() {
    TDataSet* ds = DataSet();
    if (ds == nullptr || !ds->Active() || !CommitCell(true)) return;
    const bool untouched = ds->State() == dsInsert && !ds->Modified();
    const int count = static_cast<int>(VisibleColumns().size());
    bool later = false;
    for (int c = selectedIndex_ + 1; c < count && !later; ++c) later = IsTabStop(c);
    // The last cell of a row nothing was typed into: no further row, and
    // not out of the grid either.
    if (!later && untouched) return;
    TabCell(true);
}

TColumn* TCustomDBGrid::CheckColumn(int Col) const {
    std::vector<TColumn*> cols = VisibleColumns();
    if (Col < 0 || Col >= static_cast<int>(cols.size())) return nullptr;
    TColumn* c = cols[static_cast<size_t>(Col)];
    return c->IsCheckBox() ? c : nullptr;
}

bool TCustomDBGrid::SetChecked(int Col, bool Checked) {
    TColumn* column = CheckColumn(Col);
    if (column == nullptr || !CanEditCell(Col)) return false;
    bool ok = false;
    Guarded([&] {
        TField* f = column->Field();
        if (f == nullptr || !link_->Edit()) return;
        f->SetAsString(Checked ? column->CheckedValue() : column->UncheckedValue());
        ok = true;
    });
    return ok;
}

bool TCustomDBGrid::ToggleChecked(int Col) {
    TColumn* column = CheckColumn(Col);
    TField* f = column != nullptr ? column->Field() : nullptr;
    return f != nullptr && SetChecked(Col, f->AsString() != column->CheckedValue());
}

void TCustomDBGrid::LinkActive() {
    LayoutChanged();
    UpdateBufferCount();
    DataChanged();
}

void TCustomDBGrid::LayoutChanged() {
    if (!customColumns_) {
        columns_.clear();
        TDataSet* ds = DataSet();
        if (ds != nullptr && link_->Active()) {
            for (int i = 0; i < ds->FieldCount(); ++i) {
                TField* f = ds->Fields()->Fields(i);
                if (!f->Visible()) continue;
                auto c = std::make_unique<TColumn>(this);
                c->fieldName_ = f->FieldName();
                columns_.push_back(std::move(c));
            }
        }
    }
    ColumnsChanged();
}

void TCustomDBGrid::DataChanged() {
    // The view lets go of its editors on a reset: never while it is still
    // being handed one's text.
    if (committing_) {
        resetPending_ = true;
        return;
    }
    CommitCell(false);
    syncing_ = true;
    model_->Reset();
    syncing_ = false;
    SyncCurrent();
    SyncScrollBar();
}

void TCustomDBGrid::RecordChanged(TField*) {
    model_->RowChanged(link_->ActiveRecord());
}

void TCustomDBGrid::EditingChanged() { model_->IndicatorChanged(); }

void TCustomDBGrid::UpdateData() {
    // A text the field refused stops the post; its message was shown.
    if (!CommitCell(true)) Abort();
}

void TCustomDBGrid::SyncCurrent() {
    if (!link_->Active() || RowCount() == 0) return;
    int cols = static_cast<int>(VisibleColumns().size());
    if (cols == 0) return;
    int col = std::clamp(selectedIndex_, 0, cols - 1);
    syncing_ = true;
    view_->setCurrentIndex(model_->index(link_->ActiveRecord(), col));
    syncing_ = false;
    model_->IndicatorChanged();
}

void TCustomDBGrid::SyncScrollBar() {
    TDataSet* ds = DataSet();
    syncing_ = true;
    if (ds == nullptr || !ds->Active() || ds->IsEmpty()) {
        scroll_->setRange(0, 0);
    } else if (ds->RecordCount() >= 0 && ds->RecNo() >= 1) {
        scroll_->setRange(0, std::max(0, ds->RecordCount() - 1));
        scroll_->setPageStep(VisibleRowCount());
        scroll_->setValue(ds->RecNo() - 1);
    } else {
        // Without record numbers: top, middle or bottom.
        scroll_->setRange(0, 2);
        scroll_->setPageStep(1);
        scroll_->setValue(ds->Bof() ? 0 : ds->Eof() ? 2 : 1);
    }
    syncing_ = false;
}

void TCustomDBGrid::UpdateBufferCount() {
    int rows = VisibleRowCount();
    if (rows != link_->BufferCount()) {
        link_->SetBufferCount(rows);
        DataChanged();
    }
}

void TCustomDBGrid::MoveBy(int Distance) {
    TDataSet* ds = DataSet();
    if (ds == nullptr || !ds->Active() || Distance == 0) return;
    ds->MoveBy(Distance);
}

void TCustomDBGrid::RowPicked(int Row) {
    Guarded([&] { MoveBy(Row - link_->ActiveRecord()); });
    SyncCurrent();
}

bool TCustomDBGrid::TypableColumn() const {
    std::vector<TColumn*> cols = VisibleColumns();
    for (int i = 0; i < static_cast<int>(cols.size()); ++i)
        if (CheckColumn(i) == nullptr && CanEditCell(i)) return true;
    return false;
}

bool TCustomDBGrid::AcceptKey(QKeyEvent* Event) {
    TDataSet* ds = DataSet();
    if (ds == nullptr || !ds->Active()) return true;
    TShiftState shift = ui::ShiftState(Event);
    bool ctrl = shift.Contains(ssCtrl);
    const int key = Event->key();
    if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && !ctrl && !shift.Contains(ssAlt)) {
        // Here only while the grid keeps Tab (WantsTabs).
        TabCell(key == Qt::Key_Tab && !shift.Contains(ssShift));
        return false;
    }
    if (enterMovesOn_ && (key == Qt::Key_Return || key == Qt::Key_Enter) && shift.Empty() && CanEditRow()) {
        EnterCell();
        return false;
    }
    if (EditingCell()) {
        // Keys that leave the cell take what it holds with them; a text the
        // field refuses keeps the cursor on it.
        switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter: CommitCell(true); return false;
        case Qt::Key_Escape: CancelCell(); return false;
        case Qt::Key_Down:
        case Qt::Key_Up:
        case Qt::Key_PageDown:
        case Qt::Key_PageUp:
            if (!CommitCell(true)) return false;
            break;
        case Qt::Key_Home:
        case Qt::Key_End:
            if (!ctrl) return true;
            if (!CommitCell(true)) return false;
            break;
        default: return true;
        }
    }
    bool canChange = !readOnly_ && options_.Contains(dgEditing) && ds->CanModify() && !link_->ReadOnly();
    switch (key) {
    case Qt::Key_Down:
        if (ds->State() == dsInsert && !ds->Modified()) return false;
        // A new row only where something can be typed into it; its typing
        // starts at its first cell.
        if (!Step(1) && ds->Eof() && CanAppend()) {
            ds->Append();
            SelectColumn(EdgeStop(true));
        }
        return false;
    case Qt::Key_Up:
        if (ds->State() == dsInsert && !ds->Modified()) {
            ds->Cancel();
            return false;
        }
        MoveBy(-1);
        return false;
    case Qt::Key_PageDown: MoveBy(VisibleRowCount()); return false;
    case Qt::Key_PageUp: MoveBy(-VisibleRowCount()); return false;
    case Qt::Key_Home:
        if (!ctrl) return true;
        ds->First();
        return false;
    case Qt::Key_End:
        if (!ctrl) return true;
        ds->Last();
        return false;
    case Qt::Key_Insert:
        if (canChange && DataSource()->AutoEdit()) ds->Insert();
        return false;
    case Qt::Key_Delete:
        if (!ctrl) return true;
        if (canChange && !ds->IsEmpty()) {
            if (!options_.Contains(dgConfirmDelete) || MessageDlg("Excluir registro?", mtConfirmation, mbOKCancel) == mrOk)
                ds->Delete();
        }
        return false;
    case Qt::Key_Escape:
        if (ds->State() == dsEdit || ds->State() == dsInsert) {
            ds->Cancel();
            return false;
        }
        // Nothing to undo: the Esc still stays with a grid that can be typed
        // in, never closing the form under the clerk's hands.
        return !CanEditRow();
    case Qt::Key_Space:
        if (options_.Contains(dgMultiSelect)) {
            TBookmark b = ds->GetBookmark();
            auto it = std::find(selectedRows_.begin(), selectedRows_.end(), b);
            if (it != selectedRows_.end()) selectedRows_.erase(it);
            else selectedRows_.push_back(b);
            return false;
        }
        break;
    default:
        break;
    }
    if (CheckColumn(view_->currentIndex().column()) != nullptr) {
        // Nothing is typed into a check box; the space bar switches it.
        if (Event->key() == Qt::Key_Space && shift.Empty()) {
            ToggleChecked(view_->currentIndex().column());
            return false;
        }
        if (ui::IsEditingKey(Event, false) || Event->key() == Qt::Key_F2) return false;
    }
    if (ui::IsEditingKey(Event, false) || Event->key() == Qt::Key_F2) {
        // An empty grid has no current cell yet: the key goes to the
        // selected column of the row the edit starts.
        int col = view_->currentIndex().isValid() ? view_->currentIndex().column() : selectedIndex_;
        if (!CanEditCell(col)) return false;
        if (!link_->Edit()) return false;
        if (!view_->currentIndex().isValid()) SyncCurrent();
    }
    return true;
}

bool TCustomDBGrid::HasFocusInside() const {
    const QWidget* f = QApplication::focusWidget();
    return f != nullptr && (f == view_ || view_->isAncestorOf(f));
}

bool TCustomDBGrid::WidgetEvent(QObject* Watched, QEvent* Event) {
    if (Event->type() == QEvent::FocusIn) enterReason_ = static_cast<QFocusEvent*>(Event)->reason();
    // The focus frame comes and goes with the focus.
    if (Event->type() == QEvent::FocusIn || Event->type() == QEvent::FocusOut) view_->viewport()->update();
    if (Watched == view_->viewport()) {
        // A click on a check box's cell switches it, also on a row that was
        // not the current one: the press moves the cursor to that row (and
        // the view forgets the cell it was pressed on), the release in the
        // same cell switches it. The second click of a double click does
        // not count again.
        switch (Event->type()) {
        case QEvent::MouseButtonPress: {
            auto* me = static_cast<QMouseEvent*>(Event);
            checkPress_ = {-1, -1};
            // A cell being typed in is committed before the click moves on;
            // a text its field refuses keeps the cursor there.
            if (!CommitCell(true)) return true;
            if (me->button() == Qt::LeftButton) {
                QModelIndex at = view_->indexAt(me->position().toPoint());
                if (at.isValid() && CheckColumn(at.column()) != nullptr) checkPress_ = {at.row(), at.column()};
            }
            break;
        }
        case QEvent::MouseButtonDblClick: checkPress_ = {-1, -1}; break;
        case QEvent::MouseButtonRelease: {
            auto* me = static_cast<QMouseEvent*>(Event);
            if (me->button() == Qt::LeftButton && checkPress_.first >= 0) {
                QModelIndex at = view_->indexAt(me->position().toPoint());
                std::pair<int, int> pressed = checkPress_;
                checkPress_ = {-1, -1};
                if (at.isValid() && at.row() == pressed.first && at.column() == pressed.second &&
                    at.row() == link_->ActiveRecord())
                    ToggleChecked(at.column());
            }
            break;
        }
        default: break;
        }
        if (Event->type() == QEvent::Wheel) {
            auto* we = static_cast<QWheelEvent*>(Event);
            int steps = we->angleDelta().y() / 120;
            if (steps != 0) Guarded([&] { MoveBy(-steps * 3); });
            return true;
        }
        if (Event->type() == QEvent::Resize) UpdateBufferCount();
    }
    return TWinControl::WidgetEvent(Watched, Event);
}

void TCustomDBGrid::DoEnter() {
    // Tab comes in at the row's first cell that takes typing, Shift+Tab at
    // its last, as they go on from there.
    if ((enterReason_ == Qt::TabFocusReason || enterReason_ == Qt::BacktabFocusReason) && options_.Contains(dgTabs) &&
        !options_.Contains(dgRowSelect)) {
        const int edge = EdgeStop(enterReason_ == Qt::TabFocusReason);
        if (edge >= 0) {
            selectedIndex_ = edge;
            SyncCurrent();
        }
    }
    TWinControl::DoEnter();
}

void TCustomDBGrid::DoExit() {
    CommitCell(true);
    TDataSet* ds = DataSet();
    // A column typed in its own editor is still this row's typing.
    if (options_.Contains(dgCancelOnExit) && ds != nullptr && ds->State() == dsInsert && !ds->Modified() &&
        !InColumnEditor())
        ds->Cancel();
    TWinControl::DoExit();
}

bool TCustomDBGrid::InColumnEditor() const {
    TControl* now = ui::ControlOf(QApplication::focusWidget());
    if (now == nullptr) return false;
    for (const auto& c : columns_)
        if (c->Editor() == now) return true;
    return false;
}

// ---------------------------------------------------------------------------

TexDBGrid::TexDBGrid(TComponent* AOwner) : TCustomDBGrid(AOwner) {}

void TexDBGrid::SetAlternatingRowColor(bool Value) {
    alternating_ = Value;
    View()->setAlternatingRowColors(Value);
}

TColumn* TexDBGrid::AddField(const std::string& FieldName, int WidthInChars, const std::string& Title, bool ReadOnly) {
    int avg = View()->fontMetrics().averageCharWidth();
    TColumn* c = AddColumn(FieldName, Title, WidthInChars > 0 ? WidthInChars * avg + 8 : 0);
    c->SetReadOnly(ReadOnly);
    return c;
}
