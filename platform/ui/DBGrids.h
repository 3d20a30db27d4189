#pragma once
// The data grid. It never holds a widget, nor even a model row, per record:
// its model is the data link's window of records (as many as the view shows),
// which the dataset keeps in its buffers. The current row is the dataset's
// current record; clicking or moving to another row moves the dataset, and
// the scroll bar beside the rows stands for the whole dataset.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QPixmap>

#include "platform/db/DB.h"
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
    int width_ = 0;
    bool readOnly_ = false, visible_ = true, checkBox_ = false;
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

    QTableView* View() const { return view_; }
    QScrollBar* ScrollBar() const { return scroll_; }
    QAbstractTableModel* Model() const;

protected:
    friend class TColumn;
    bool AcceptKey(QKeyEvent* Event) override;
    bool WidgetEvent(QObject* Watched, QEvent* Event) override;
    void DoExit() override;
    bool WantsReturns() const override;
    void ColumnsChanged();

private:
    class Link;
    class GridModel;
    friend class Link;
    friend class GridModel;
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
    // The check box column at Col, or nullptr.
    TColumn* CheckColumn(int Col) const;
    // Writes the checked or unchecked value of a check box column into the
    // current record, when the cell may change.
    bool SetChecked(int Col, bool Checked);
    bool ToggleChecked(int Col);
    // Some column other than a check box takes typed text.
    bool TypableColumn() const;
    std::string ShownText(const TField* Field) const;

    QWidget* frame_;
    QTableView* view_;
    QScrollBar* scroll_;
    std::unique_ptr<Link> link_;
    std::unique_ptr<GridModel> model_;
    std::vector<std::unique_ptr<TColumn>> columns_;
    std::vector<TBookmark> selectedRows_;
    bool customColumns_ = false;
    bool readOnly_ = false;
    TDBGridOptions options_{dgEditing, dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgTabs,
                            dgConfirmDelete, dgCancelOnExit};
    int selectedIndex_ = 0;
    bool syncing_ = false;
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
