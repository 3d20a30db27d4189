#pragma once
// The data grid. It never holds a widget, nor even a model row, per record:
// its model is the data link's window of records (as many as the view shows),
// which the dataset keeps in its buffers. The current row is the dataset's
// current record; clicking or moving to another row moves the dataset, and
// the scroll bar beside the rows stands for the whole dataset.
//
// Keys: with dgTabs, while some cell can be typed in, Tab and Shift+Tab move
// cell by cell through the columns that take typing (and those typed in a
// control of their own laid over the cell); Tab past the last one goes to the
// next row, or starts one at the end. Whatever key or click leaves a cell
// being typed in first gives the text to the field; when the field refuses it
// (its message box says why) the cursor and the text stay where they are.
// The grid alone opens and closes its cell editors: a dataset change while a
// cell is being committed waits until the editor is closed, so the view never
// hears of an editor it has already let go of.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QPixmap>

#include "platform/db/DB.h"
#include "platform/rtl/Format.h"
#include "platform/ui/Controls.h"

namespace ui {
// A field's display text; a text field with an edit mask in the mask's layout.
std::string MaskedDisplayText(const TField* Field);
}  // namespace ui

class QTableView;
class QScrollBar;
class QAbstractTableModel;
class TCustomDBGrid;

enum TDBGridOption {
    dgEditing, dgAlwaysShowEditor, dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgTabs,
    dgRowSelect, dgAlwaysShowSelection, dgConfirmDelete, dgCancelOnExit, dgMultiSelect
};
using TDBGridOptions = TSet<TDBGridOption>;

class TColumn {
public:
    explicit TColumn(TCustomDBGrid* Grid) : grid_(Grid) {}

    const std::string& FieldName() const { return fieldName_; }
    void SetFieldName(const std::string& Value);
    // The field of the grid's dataset; nullptr while closed or unknown.
    TField* Field() const;
    // The title; the field's display label when not set.
    std::string Title() const;
    void SetTitle(const std::string& Value);
    // Pixels; 0 takes the field's display width.
    int Width() const;
    void SetWidth(int Value);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool Value) { readOnly_ = Value; }
    // A control of the grid's owner in which this column is typed (a lookup
    // edit laid over the cell by its owner when the column is entered): the
    // column takes no typing of its own, but Tab stops on it whenever the
    // grid's row may change.
    TWinControl* Editor() const { return editor_; }
    void SetEditor(TWinControl* Value);
    // Whether Tab stops on the column (true unless set): a column its row
    // fills by itself is still typed in after a click, but Tab passes it.
    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool Value) { tabStop_ = Value; }
    // Shows the field as a check box, ticked when it holds Checked. Nothing
    // can be typed into it: where the cell may change, a click on it or the
    // space bar switches the field between Checked and Unchecked.
    void SetCheckBox(const std::string& Checked, const std::string& Unchecked);
    bool IsCheckBox() const { return checkBox_; }
    // Shows the field (a whole number) as the picture of that index, and
    // no text: the number is the program's, the picture the user's. A value
    // without a picture shows nothing.
    void SetImages(std::vector<QPixmap> Images);
    bool HasImages() const { return !images_.empty(); }
    const std::vector<QPixmap>& Images() const { return images_; }
    const std::string& CheckedValue() const { return checked_; }
    const std::string& UncheckedValue() const { return unchecked_; }
    bool Visible() const { return visible_; }
    void SetVisible(bool Value);
    int Index() const;

private:
    friend class TCustomDBGrid;
    TCustomDBGrid* grid_;
    std::string fieldName_, title_, checked_, unchecked_;
    std::vector<QPixmap> images_;
    TWinControl* editor_ = nullptr;
    int width_ = 0;
    bool readOnly_ = false, visible_ = true, checkBox_ = false, tabStop_ = true;
};

using TDBGridClickEvent = std::function<void(TColumn* Column)>;

class TCustomDBGrid : public TWinControl {
public:
    FAT_CLASS_NAME(TCustomDBGrid)
    explicit TCustomDBGrid(TComponent* AOwner);
    ~TCustomDBGrid() override;

    TDataSource* DataSource() const;
    void SetDataSource(TDataSource* Value);
    TDataSet* DataSet() const;

    // The columns. Without columns of its own the grid shows every visible
    // field of the dataset (and rebuilds them when the fields change).
    int ColumnCount() const { return static_cast<int>(columns_.size()); }
    TColumn* Columns(int Index) const;
    TColumn* AddColumn(const std::string& FieldName, const std::string& Title = "", int Width = 0);
    void ClearColumns();
    bool CustomColumns() const { return customColumns_; }

    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool Value);
    TDBGridOptions Options() const { return options_; }
    void SetOptions(TDBGridOptions Value);

    // The column of the current cell (among the visible ones) and its field.
    int SelectedIndex() const { return selectedIndex_; }
    void SetSelectedIndex(int Value);
    TField* SelectedField() const;
    // Tab (GoForward) or Shift+Tab: the next or previous cell of a tab-stop
    // column that takes typing, the next row (a new one after the last) past the row's end,
    // out of the grid before its first cell or when nothing more can be
    // typed. A cell being typed in is committed first; a refused text keeps
    // the cursor on it.
    void TabCell(bool GoForward);
    // Enter on a cell (typed in or not) commits it and moves on as Tab
    // does, to the next row or a new one past the row's end, but never out
    // of the grid: a new row nothing was typed into keeps the cursor. Off,
    // Enter only commits the cell being typed in.
    bool EnterMovesOn() const { return enterMovesOn_; }
    void SetEnterMovesOn(bool Value) { enterMovesOn_ = Value; }
    void EnterCell();
    // A cell editor is open.
    bool EditingCell() const;
    // How the focus last came into the grid (a click moves the cursor only
    // after it).
    Qt::FocusReason EnterReason() const { return enterReason_; }
    bool WantsTabs() const override;
    // The records the user marked (dgMultiSelect), as bookmarks.
    const std::vector<TBookmark>& SelectedRows() const { return selectedRows_; }
    void ClearSelection() { selectedRows_.clear(); }

    // How many records the view shows at once.
    int VisibleRowCount() const;
    // The text of a visible cell (row within the window), as drawn.
    std::string CellText(int Row, int Col) const;
    // The window's rows as the model has them.
    int RowCount() const;

    TDBGridClickEvent OnCellClick;
    TDBGridClickEvent OnTitleClick;
    TNotifyEvent OnColEnter;
    TNotifyEvent OnColExit;

    // The focus is in the view or in a cell's editor.
    bool HasFocusInside() const;
    QTableView* View() const { return view_; }
    QScrollBar* ScrollBar() const { return scroll_; }
    QAbstractTableModel* Model() const;

protected:
    friend class TColumn;
    bool AcceptKey(QKeyEvent* Event) override;
    // A cell of a money, quantity or rate field takes its amount as a number
    // edit does: "5.000,00", "1.000.000", "5000,00", a keypad's "3.5".
    void KeyPressed(char32_t& Key) override;
    bool WidgetEvent(QObject* Watched, QEvent* Event) override;
    void DoEnter() override;
    void DoExit() override;
    bool WantsReturns() const override;
    void ColumnsChanged();

private:
    class Link;
    class GridModel;
    class Delegate;
    friend class Link;
    friend class GridModel;
    friend class Delegate;
    void LinkActive();
    void DataChanged();
    void RecordChanged(TField* Field);
    void EditingChanged();
    void LayoutChanged();
    void UpdateData();
    void SyncCurrent();
    void SyncScrollBar();
    void UpdateBufferCount();
    void RowPicked(int Row);
    void MoveBy(int Distance);
    std::vector<TColumn*> VisibleColumns() const;
    bool CanEditCell(int Col) const;
    // Whether the row may change through the grid at all.
    bool CanEditRow() const;
    // A cell Tab stops on: one that takes typing or a check, or a column
    // with an editor of its own.
    bool IsTabStop(int Col) const;
    // The first (or last) tab stop of a row; -1 when none.
    int EdgeStop(bool First) const;
    // Makes Col the current column, telling OnColExit and OnColEnter.
    void SelectColumn(int Col);
    // The focus goes to the control after (or before) the grid.
    void LeaveGrid(bool GoForward);
    // Gives the open editor's text to its field; false when the field
    // refused it, the editor then stays open with the text (KeepOnFailure)
    // or is closed all the same.
    bool CommitCell(bool KeepOnFailure);
    // Closes the open editor, dropping what was typed.
    void CancelCell();
    // Moves the dataset by Distance; false when it did not move (an edge, or
    // a row that could not be posted).
    bool Step(int Distance);
    // The row being typed may be left for a new one at the end.
    bool CanAppend() const;
    // The check box column at Col, or nullptr.
    TColumn* CheckColumn(int Col) const;
    // Writes the checked or unchecked value of a check box column into the
    // current record, when the cell may change.
    bool SetChecked(int Col, bool Checked);
    bool ToggleChecked(int Col);
    // Some column other than a check box takes typed text.
    bool TypableColumn() const;
    std::string ShownText(const TField* Field) const;
    // The field's text is an amount, typed as such.
    static bool TakesAmount(const TField* Field);

    QWidget* frame_;
    QTableView* view_;
    QScrollBar* scroll_;
    std::unique_ptr<Link> link_;
    std::unique_ptr<GridModel> model_;
    std::unique_ptr<Delegate> delegate_;
    std::vector<std::unique_ptr<TColumn>> columns_;
    std::vector<TBookmark> selectedRows_;
    // The separator keys of the cell being typed in.
    TAmountTyping amount_;
    bool customColumns_ = false;
    bool readOnly_ = false;
    bool enterMovesOn_ = false;
    TDBGridOptions options_{dgEditing, dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgTabs,
                            dgConfirmDelete, dgCancelOnExit};
    int selectedIndex_ = 0;
    bool syncing_ = false;
    // A commit is running; a dataset change meanwhile resets the view after
    // it (resetPending_).
    bool committing_ = false;
    bool resetPending_ = false;
    // The last text given to a field was refused.
    bool commitFailed_ = false;
    Qt::FocusReason enterReason_ = Qt::OtherFocusReason;
    // The focus is in a column's own editor.
    bool InColumnEditor() const;
    // The check box cell (row, column) a left button went down on.
    std::pair<int, int> checkPress_{-1, -1};
};

class TDBGrid : public TCustomDBGrid {
public:
    FAT_CLASS_NAME(TDBGrid)
    explicit TDBGrid(TComponent* AOwner) : TCustomDBGrid(AOwner) {}
};

class TexDBGrid : public TCustomDBGrid {
public:
    FAT_CLASS_NAME(TexDBGrid)
    explicit TexDBGrid(TComponent* AOwner);
    // Every other row in a second colour.
    bool AlternatingRowColor() const { return alternating_; }
    void SetAlternatingRowColor(bool Value);
    // A column of FieldName, Width characters wide, with Title.
    TColumn* AddField(const std::string& FieldName, int WidthInChars, const std::string& Title, bool ReadOnly = false);

private:
    bool alternating_ = false;
};
