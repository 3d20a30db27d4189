// The grid over a query: the current row follows the dataset, the dataset
// follows the row, keys move and edit, and the model never holds more rows
// than the view shows.
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>

#include "platform/db/SQLConnection.h"
#include "platform/db/SQLQuery.h"
#include "platform/db/SQLSchema.h"
#include "platform/db/SQLiteDatabase.h"
#include "platform/ui/DBGrids.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

class Grid : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("itens.db");
        {
            sqlite::OpenOptions o;
            o.create = true;
            sqlite::Database db(path, o);
            db.Exec(sqlite::CreateTableSql("Item", {{"Id_Item", "integer", false, true}, {"Descricao", "text(30)"}}));
            db.Exec("with recursive n(i) as (select 1 union all select i + 1 from n where i < 50) "
                    "insert into Item select i, 'Item ' || i from n");
        }
        form = new TForm(nullptr);
        form->SetBounds(0, 0, 400, 300);
        conn = new TSQLConnection(form);
        conn->SetConnectionString("Data Source=" + path);
        conn->SetLoginPrompt(false);
        query = new TSQLQuery(form);
        query->SetConnection(conn);
        query->SetSQL("select * from Item order by Id_Item");
        source = new TDataSource(form);
        source->SetDataSet(query);
        grid = new TDBGrid(form);
        grid->SetParent(form);
        grid->SetAlign(alClient);
        query->Open();
        grid->SetDataSource(source);
        uitest::ShowActive(form);
        grid->SetFocus();
        uitest::Pump();
    }
    void TearDown() override {
        delete form;
        uitest::Pump();
    }

    int CurrentRow() const { return grid->View()->currentIndex().row(); }
    std::string CurrentCell(int col) const { return grid->CellText(CurrentRow(), col); }
    QWidget* View() const { return grid->View(); }
    // Keys go where the focus is: the first one opens the cell's editor.
    void TypeInCell(const std::string& text) {
        for (char c : text) {
            QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : View();
            uitest::Type(target, std::string(1, c));
        }
    }

    testsupport::TempDir dir;
    std::string path;
    TForm* form = nullptr;
    TSQLConnection* conn = nullptr;
    TSQLQuery* query = nullptr;
    TDataSource* source = nullptr;
    TDBGrid* grid = nullptr;
    uitest::Dialogs dialogs;
};

}  // namespace

TEST_F(Grid, ShowsTheFieldsAsColumnsAndOnlyTheRowsInView) {
    ASSERT_EQ(grid->ColumnCount(), 2);
    EXPECT_EQ(grid->Model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString().toStdString(), "Descricao");
    EXPECT_GT(grid->VisibleRowCount(), 1);
    EXPECT_LE(grid->RowCount(), grid->VisibleRowCount());
    EXPECT_EQ(grid->Model()->rowCount(), grid->RowCount());
    EXPECT_EQ(grid->CellText(0, 1), "Item 1");
    EXPECT_EQ(CurrentRow(), 0);
}

TEST_F(Grid, TheCurrentRowFollowsTheDataset) {
    query->MoveBy(3);
    EXPECT_EQ(CurrentCell(1), "Item 4");
    query->Last();
    EXPECT_EQ(CurrentCell(1), "Item 50");
    EXPECT_EQ(CurrentRow(), grid->RowCount() - 1) << "the last record sits on the last row";
    EXPECT_EQ(grid->ScrollBar()->value(), 49);
    query->Locate("Id_Item", Variant(20), {});
    EXPECT_EQ(CurrentCell(0), "20");
}

TEST_F(Grid, TheDatasetFollowsTheRowTheUserPicks) {
    QTableView* v = grid->View();
    QRect r = v->visualRect(grid->Model()->index(2, 1));
    QTest::mouseClick(v->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    EXPECT_EQ(query->FieldByName("Id_Item")->AsInteger(), 3);
    EXPECT_EQ(grid->SelectedIndex(), 1);
    EXPECT_EQ(grid->SelectedField(), query->FieldByName("Descricao"));
}

TEST_F(Grid, KeysMoveThroughTheWholeDataset) {
    uitest::Key(View(), Qt::Key_Down);
    EXPECT_EQ(query->RecNo(), 2);
    uitest::Key(View(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(query->RecNo(), 50);
    uitest::Key(View(), Qt::Key_PageUp);
    EXPECT_EQ(query->RecNo(), 50 - grid->VisibleRowCount());
    uitest::Key(View(), Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(query->RecNo(), 1);
    uitest::Key(View(), Qt::Key_Up);
    EXPECT_EQ(query->RecNo(), 1) << "nothing before the first record";
    EXPECT_EQ(query->State(), dsBrowse);
}

TEST_F(Grid, TheScrollBarStandsForTheWholeDataset) {
    QScrollBar* s = grid->ScrollBar();
    EXPECT_EQ(s->maximum(), 49);
    s->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(query->RecNo(), 50);
    s->setSliderPosition(24);
    s->triggerAction(QAbstractSlider::SliderMove);
    EXPECT_EQ(query->RecNo(), 25);
    EXPECT_EQ(CurrentCell(1), "Item 25");
}

TEST_F(Grid, TypingInACellEditsTheFieldAndPostWritesIt) {
    grid->SetSelectedIndex(1);
    TypeInCell("Novo");
    EXPECT_EQ(query->State(), dsEdit);
    uitest::Key(QApplication::focusWidget(), Qt::Key_Return);
    uitest::Pump();  // Qt commits a cell on Enter from the event loop
    EXPECT_EQ(query->FieldByName("Descricao")->AsString(), "Novo");
    query->Post();
    sqlite::Database db(path);
    sqlite::Statement st(db, "select Descricao from Item where Id_Item = 1");
    ASSERT_TRUE(st.Step());
    EXPECT_EQ(st.ColumnText(0), "Novo");
}

TEST_F(Grid, APostWhileACellIsBeingTypedKeepsWhatWasTyped) {
    grid->SetSelectedIndex(1);
    TypeInCell("Meio");
    query->Post();
    EXPECT_EQ(query->FieldByName("Descricao")->AsString(), "Meio");
}

TEST_F(Grid, AReadOnlyGridOrColumnNeverStartsAnEdit) {
    grid->SetReadOnly(true);
    grid->SetSelectedIndex(1);
    uitest::Type(View(), "x");
    EXPECT_EQ(query->State(), dsBrowse);
    grid->SetReadOnly(false);
    grid->AddColumn("Id_Item", "Código")->SetReadOnly(true);
    grid->AddColumn("Descricao", "Descrição");
    grid->SetSelectedIndex(0);
    uitest::Type(View(), "9");
    EXPECT_EQ(query->State(), dsBrowse);
    EXPECT_EQ(grid->Model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QString::fromUtf8("Descrição"));
}

TEST_F(Grid, CtrlDeleteAsksBeforeDeleting) {
    dialogs.Expect("Excluir registro?", mrCancel, "Confirmação");
    uitest::Key(View(), Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(query->RecordCount(), 50);
    dialogs.Expect("Excluir registro?", mrOk);
    uitest::Key(View(), Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(query->RecordCount(), 49);
    EXPECT_EQ(CurrentCell(1), "Item 2");
}

TEST_F(Grid, DownPastTheLastRecordAppendsAndUpDropsTheEmptyRow) {
    query->Last();
    uitest::Key(View(), Qt::Key_Down);
    EXPECT_EQ(query->State(), dsInsert);
    EXPECT_EQ(grid->Model()->headerData(CurrentRow(), Qt::Vertical, Qt::DisplayRole).toString(), "*");
    uitest::Key(View(), Qt::Key_Up);
    EXPECT_EQ(query->State(), dsBrowse);
    EXPECT_EQ(query->RecordCount(), 50);
}

TEST_F(Grid, AGridOfTheOtherKindTakesColumnsInCharacters) {
    auto* ww = new TexDBGrid(form);
    ww->SetParent(form);
    ww->SetBounds(0, 0, 300, 150);
    TColumn* c = ww->AddField("Descricao", 10, "%");
    ww->SetDataSource(source);
    ww->SetAlternatingRowColor(true);
    EXPECT_EQ(ww->ColumnCount(), 1);
    EXPECT_EQ(c->Title(), "%");
    EXPECT_GT(c->Width(), 40);
    EXPECT_EQ(ww->View()->columnWidth(0), c->Width());
    query->Next();
    EXPECT_EQ(ww->CellText(ww->View()->currentIndex().row(), 0), "Item 2");
}

TEST_F(Grid, ClosingTheDatasetEmptiesTheGrid) {
    query->Close();
    EXPECT_EQ(grid->RowCount(), 0);
    query->Open();
    EXPECT_EQ(grid->CellText(0, 1), "Item 1");
}

TEST_F(Grid, ATextColumnWithAnEditMaskShowsTheMasksLayout) {
    query->Edit();
    query->FieldByName("Descricao")->SetAsString("12345678000190");
    query->Post();
    query->FieldByName("Descricao")->SetEditMask("##.###.###/####-##;0; ");
    grid->Refresh();
    query->First();
    EXPECT_EQ(grid->CellText(0, 1), "12.345.678/0001-90");
    EXPECT_EQ(grid->CellText(1, 1).substr(0, 8), "It.em .2") << "a shorter value fills the first places";
}

TEST_F(Grid, ACheckBoxColumnSwitchesBetweenItsTwoValuesAndTakesNoTypedText) {
    query->Close();
    conn->Execute("update Item set Descricao = case when Id_Item % 2 = 0 then 'Sim' else 'Não' end");
    query->Open();
    grid->AddColumn("Id_Item");
    grid->AddColumn("Descricao", "Ativo")->SetCheckBox("Sim", "Não");
    uitest::Pump();
    QAbstractTableModel* model = grid->Model();
    QTableView* view = grid->View();
    ASSERT_EQ(query->FieldByName("Id_Item")->AsInteger(), 1);
    QModelIndex cell = model->index(CurrentRow(), 1);
    EXPECT_EQ(model->data(cell, Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(model->data(model->index(CurrentRow() + 1, 1), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(grid->CellText(CurrentRow(), 1), "");  // a box, no text
    EXPECT_FALSE(model->flags(cell).testFlag(Qt::ItemIsEditable));

    view->setCurrentIndex(cell);
    TypeInCell("talvez");
    uitest::Pump();
    EXPECT_EQ(query->FieldByName("Descricao")->AsString(), "Não");
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_EQ(query->FieldByName("Descricao")->AsString(), "Sim");
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(cell).center());
    EXPECT_EQ(query->FieldByName("Descricao")->AsString(), "Não");
    query->Post();

    // Read-only, it shows and nothing more.
    grid->SetReadOnly(true);
    QTest::keyClick(view, Qt::Key_Space);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(cell).center());
    EXPECT_FALSE(model->setData(cell, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(query->FieldByName("Descricao")->AsString(), "Não");
    EXPECT_EQ(query->State(), dsBrowse);
}
