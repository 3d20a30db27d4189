// The grids a clerk types into, driven with real keys and clicks on the real
// windows: the invoice and shipping-list items, the payment term's
// installments. Tab and Shift+Tab go cell by cell and on to the next row,
// a click edits the cell clicked, nothing typed is lost, a refused figure
// keeps the cursor and its text, and a row is never dropped without a word.
// Qt's complaints about editors that left the view fail every test here.
#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include "billing/forms/Nota108.h"
#include "billing/forms/Nota200.h"
#include "billing/forms/Nota201.h"
#include "platform/rtl/Format.h"
#include "tests/billing/forms/DocumentFixture.h"
#include "tests/billing/forms/FormFixture.h"
#include "tests/platform/ui/UiTestSupport.h"

using namespace billing::forms;

namespace {

std::vector<std::string>* editorWarnings = nullptr;
QtMessageHandler previousHandler = nullptr;

void CatchEditorWarnings(QtMsgType Type, const QMessageLogContext& Context, const QString& Message) {
    if (editorWarnings != nullptr && Message.contains("does not belong to this view"))
        editorWarnings->push_back(Message.toStdString());
    if (previousHandler != nullptr) previousHandler(Type, Context, Message);
}

const char* const kBadFloat = "O valor 'x' não é um número válido";

class GridTyping : public billtest::DocumentSessionOn<billtest::Forms> {
protected:
    void SetUp() override {
        DocumentSessionOn::SetUp();
        editorWarnings = &warnings;
        previousHandler = qInstallMessageHandler(CatchEditorWarnings);
        uitest::ShowActive(frame.get());
    }
    void TearDown() override {
        qInstallMessageHandler(previousHandler);
        editorWarnings = nullptr;
        EXPECT_TRUE(warnings.empty()) << warnings.front();
        DocumentSessionOn::TearDown();
    }

public:
    template <typename T>
    T* OpenForm() {
        T* f = billtest::Forms::Open<T>();
        billtest::Pump();
        return f;
    }
    template <typename T>
    T* NewDocument() {
        T* f = OpenForm<T>();
        f->Core->Clock = [] { return EncodeDateTime(2010, 6, 15, 9, 41, 27, 0); };
        f->btnInsert->Click();
        billtest::Pump();
        return f;
    }

    static QWidget* Target(TCustomDBGrid* Grid) {
        return QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : Grid->View();
    }
    void Key(TCustomDBGrid* Grid, Qt::Key K, Qt::KeyboardModifiers M = Qt::NoModifier) {
        QTest::keyClick(Target(Grid), K, M);
        billtest::Pump();
    }
    void Type(TCustomDBGrid* Grid, const std::string& Text) {
        for (char c : Text) QTest::keyClick(Target(Grid), c);
        billtest::Pump();
    }
    void ClickCell(TCustomDBGrid* Grid, int Row, int Col) {
        QRect cell = Grid->View()->visualRect(Grid->Model()->index(Row, Col));
        QTest::mouseClick(Grid->View()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        billtest::Pump();
    }
    // Below the rows: an empty grid has nothing else to click.
    void ClickGrid(TCustomDBGrid* Grid) {
        QTest::mouseClick(Grid->View()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(20, Grid->View()->viewport()->height() - 10));
        billtest::Pump();
    }
    static bool InGrid(TCustomDBGrid* Grid) { return ui::ControlOf(QApplication::focusWidget()) == Grid; }
    // A cell editor of the grid has the focus.
    static bool Editing(TCustomDBGrid* Grid) {
        QWidget* w = QApplication::focusWidget();
        return w != nullptr && w->parentWidget() == Grid->View()->viewport();
    }
    static std::string EditorText() {
        auto* e = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        return e != nullptr ? e->text().toStdString() : std::string("<no editor>");
    }
    static int Column(TCustomDBGrid* Grid, const std::string& Field) {
        for (int i = 0; i < Grid->ColumnCount(); ++i)
            if (SameText(Grid->Columns(i)->FieldName(), Field)) return i;
        return -1;
    }
    static std::string SelectedField(TCustomDBGrid* Grid) {
        return Grid->SelectedField() != nullptr ? Grid->SelectedField()->FieldName() : std::string();
    }

    // Saves the document with its button; its stored items, quantity*product@price.
    std::string Saved(DocumentForm* Form, const std::string& Table) {
        QTest::mouseClick(Form->btnSave->Widget(), Qt::LeftButton);
        billtest::Pump();
        EXPECT_EQ(Form->Core->Header()->State(), dsBrowse);
        return Scalar("select group_concat(quantidade || '*' || id_produto || '@' || valor_unitario, ' ') from "
                      "(select * from " + Table + " order by rowid)");
    }

    std::vector<std::string> warnings;
};

// The sequences of the invoice and of the shipping list: quantity Tab
// product Tab price Tab starts the next item; a click on the price cell
// types the price, never the product.
template <typename Form>
void TypeTwoItemsWithTab(GridTyping& T, Form* f, TCustomDBGrid* Grid) {
    TDataSet* items = f->Core->Items();
    T.ClickGrid(Grid);
    T.Type(Grid, "2");
    T.Key(Grid, Qt::Key_Tab);
    ASSERT_TRUE(f->dbeId_Produto->Focused()) << "Tab goes from the quantity to the product";
    T.Type(Grid, "1");
    T.Key(Grid, Qt::Key_Tab);
    EXPECT_TRUE(GridTyping::InGrid(Grid)) << "the focus stays in the grid";
    EXPECT_EQ(GridTyping::SelectedField(Grid), "Valor_Unitario");
    EXPECT_EQ(items->FieldByName("Descricao_Abreviada")->AsString(), "PARAFUSO");
    T.Type(Grid, "35.90");
    T.Key(Grid, Qt::Key_Tab);
    EXPECT_EQ(items->State(), dsInsert) << "Tab from the price starts the next item";
    EXPECT_EQ(items->RecordCount(), 1);
    EXPECT_EQ(GridTyping::SelectedField(Grid), "Quantidade");

    T.Type(Grid, "3");
    T.Key(Grid, Qt::Key_Tab);
    T.Type(Grid, "7");
    T.Key(Grid, Qt::Key_Tab);
    // The clerk clicks the price cell instead of typing on.
    T.ClickCell(Grid, Grid->View()->currentIndex().row(), GridTyping::Column(Grid, "Valor_Unitario"));
    EXPECT_FALSE(f->dbeId_Produto->Visible()) << "a click on the price never reopens the product's lookup";
    T.Type(Grid, "2.5");
    EXPECT_EQ(GridTyping::EditorText(), "2,5");
    EXPECT_EQ(items->FieldByName("Id_Produto")->AsString(), "00007");
    EXPECT_EQ(items->FieldByName("Descricao_Abreviada")->AsString(), "PORCA");
}

}  // namespace

TEST_F(GridTyping, TheInvoiceItemsTypedWithTabAndAClickAreSavedAsTyped) {
    auto* f = NewDocument<TfrmNota200>();
    TypeTwoItemsWithTab(*this, f, f->Grid);
    dialogs.Expect(MsgTransmitir, mrNo, "Transmitir NF-e");
    EXPECT_EQ(Saved(f, "nota_fiscal_item"), "2.0*00001@35.9 3.0*00007@2.5");
}

TEST_F(GridTyping, TheShippingListItemsTypedWithTabAndAClickAreSavedAsTyped) {
    auto* f = NewDocument<TfrmNota201>();
    TypeTwoItemsWithTab(*this, f, f->Grid);
    EXPECT_EQ(Saved(f, "romaneio_item"), "2.0*00001@35.9 3.0*00007@2.5");
}

TEST_F(GridTyping, AnItemWithoutAKnownProductIsNamedInsteadOfDropped) {
    auto* f = NewDocument<TfrmNota200>();
    TDataSet* items = f->Core->Items();
    ClickGrid(f->Grid);
    Type(f->Grid, "2");
    Key(f->Grid, Qt::Key_Tab);
    Type(f->Grid, "99");
    Key(f->Grid, Qt::Key_Tab);
    Type(f->Grid, "10");
    const char* unknown =
        "O Produto '00099' não está cadastrado. Corrija o código do produto ou exclua o item com Ctrl+Delete.";
    dialogs.Expect(unknown, mrOk, "Atenção");
    Key(f->Grid, Qt::Key_Tab);
    EXPECT_EQ(items->State(), dsInsert) << "the row stays for the clerk to mend";
    EXPECT_EQ(SelectedField(f->Grid), "Valor_Unitario");
    EXPECT_DOUBLE_EQ(items->FieldByName("Valor_Unitario")->AsFloat(), 10);
    dialogs.Expect(unknown, mrOk, "Atenção");
    QTest::mouseClick(f->btnSave->Widget(), Qt::LeftButton);
    billtest::Pump();
    EXPECT_EQ(f->Core->Header()->State(), dsInsert) << "the save is refused, not made without the item";
    EXPECT_EQ(Count("select count(*) from nota_fiscal"), 0);
}

TEST_F(GridTyping, InstallmentsTypedWithTabAreTwoRowsAndABadFigureKeepsItsCell) {
    auto* f = OpenForm<TfrmNota108>();
    f->btnInsert->Click();
    f->qry->FieldByName("descricao")->SetAsString("30/60");
    TexDBGrid* grid = f->exDBGrid1;
    ClickGrid(grid);
    Type(grid, "30");
    Key(grid, Qt::Key_Tab);
    Type(grid, "50");
    Key(grid, Qt::Key_Tab);
    Type(grid, "60");
    Key(grid, Qt::Key_Tab);
    Type(grid, "50");
    EXPECT_EQ(f->tbTemp->RecordCount(), 1) << "the first installment was posted, not overwritten";
    EXPECT_EQ(SelectedField(grid), "percentual");
    EXPECT_EQ(EditorText(), "50");

    // Tab from the last column: a new row, on its days.
    Key(grid, Qt::Key_Tab);
    EXPECT_EQ(f->tbTemp->State(), dsInsert);
    EXPECT_EQ(f->tbTemp->RecordCount(), 2);
    EXPECT_EQ(SelectedField(grid), "prazo_dias");

    // A figure the field refuses: the box, then the cursor and the text stay.
    Key(grid, Qt::Key_Backtab, Qt::ShiftModifier);  // the untouched row goes
    EXPECT_EQ(f->tbTemp->State(), dsBrowse);
    EXPECT_EQ(SelectedField(grid), "percentual");
    Type(grid, "x");
    dialogs.Expect(kBadFloat, mrOk);
    Key(grid, Qt::Key_Tab);
    EXPECT_EQ(SelectedField(grid), "percentual");
    EXPECT_TRUE(Editing(grid));
    EXPECT_EQ(EditorText(), "x");
    Key(grid, Qt::Key_Escape);
    EXPECT_FALSE(Editing(grid));

    // Down keeps the column between rows.
    ClickCell(grid, 0, Column(grid, "percentual"));
    Key(grid, Qt::Key_Down);
    EXPECT_EQ(f->tbTemp->RecNo(), 2);
    EXPECT_EQ(SelectedField(grid), "percentual");
    // Tab from the last column of a row goes to the next row's first.
    Key(grid, Qt::Key_Up);
    Key(grid, Qt::Key_Tab);
    EXPECT_EQ(f->tbTemp->RecNo(), 2);
    EXPECT_EQ(f->tbTemp->RecordCount(), 2);
    EXPECT_EQ(SelectedField(grid), "prazo_dias");

    QTest::mouseClick(f->btnSave->Widget(), Qt::LeftButton);
    billtest::Pump();
    EXPECT_EQ(f->qry->State(), dsBrowse);
    EXPECT_EQ(Scalar("select group_concat(prazo_dias || ':' || percentual, ' ') from (select * from "
                     "condicao_pagamento_parcela order by prazo_dias)"),
              "30:50.0 60:50.0");
}

// Amounts typed into the cells as they are written in Brazil, key by key,
// with or without thousands points or with a keypad point, are the values
// they say: in the invoice's quantity and unit price and in an
// installment's percentage. A click on another cell gives the text to the
// field; no box may appear.
TEST_F(GridTyping, AmountsTypedAsWrittenInBrazilAreStoredAsTheirValue) {
    const struct {
        const char* keys;
        double value;
    } cases[] = {
        {"5.000,00", 5000}, {"1.000.000", 1000000}, {"5000,00", 5000}, {"3.5", 3.5},
        {"12,50", 12.5},    {"1.234,567", 1234.567}, {"5.000", 5000},   {"0.125", 0.125},
    };
    // Types each case into Field's cell of the first row, then clicks Other's.
    auto check = [&](TCustomDBGrid* Grid, const char* Field, const char* Other) {
        TDataSet* ds = Grid->DataSet();
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(Field) + " <- " + c.keys);
            ClickCell(Grid, 0, Column(Grid, Field));
            Type(Grid, c.keys);
            ClickCell(Grid, 0, Column(Grid, Other));
            EXPECT_FALSE(Editing(Grid) && SelectedField(Grid) == Field) << "refused: " << EditorText();
            EXPECT_DOUBLE_EQ(ds->FieldByName(Field)->AsFloat(), c.value);
            if (Editing(Grid)) Key(Grid, Qt::Key_Escape);
        }
    };

    auto* invoice = NewDocument<TfrmNota200>();
    ClickGrid(invoice->Grid);
    Type(invoice->Grid, "2");
    Key(invoice->Grid, Qt::Key_Tab);
    Type(invoice->Grid, "1");
    Key(invoice->Grid, Qt::Key_Tab);
    ASSERT_EQ(SelectedField(invoice->Grid), "Valor_Unitario");
    check(invoice->Grid, "Quantidade", "Valor_Unitario");
    check(invoice->Grid, "Valor_Unitario", "Quantidade");

    auto* terms = OpenForm<TfrmNota108>();
    terms->btnInsert->Click();
    ClickGrid(terms->exDBGrid1);
    Type(terms->exDBGrid1, "30");
    Key(terms->exDBGrid1, Qt::Key_Tab);
    check(terms->exDBGrid1, "percentual", "prazo_dias");
}

namespace {

// A grid a clerk types into, on a new document: how to open it, and the
// cells typed in one row, in Tab order, with a text for each and the value
// it gives.
struct Typed {
    const char* field;
    const char* text;
    double value;
};
enum class Kind { Invoice, ShippingList, Installments };
struct GridCase {
    const char* name;
    Kind kind;
    std::vector<Typed> cells;
    bool enterMovesOn;  // Enter goes to the next column (the item grids' rule) or stays
};

void PrintTo(const GridCase& Case, std::ostream* Out) { *Out << Case.name; }

class EveryGrid : public GridTyping, public ::testing::WithParamInterface<GridCase> {
protected:
    // The grid of a new document of the case's kind.
    TCustomDBGrid* OpenCase(TCustomForm*& Form) {
        switch (GetParam().kind) {
        case Kind::Invoice: {
            auto* f = NewDocument<TfrmNota200>();
            Form = f;
            return f->Grid;
        }
        case Kind::ShippingList: {
            auto* f = NewDocument<TfrmNota201>();
            Form = f;
            return f->Grid;
        }
        case Kind::Installments: {
            auto* f = OpenForm<TfrmNota108>();
            f->btnInsert->Click();
            Form = f;
            return f->exDBGrid1;
        }
        }
        return nullptr;
    }
};

}  // namespace

// One script through every grid: Esc drops a cell's typing, Tab and
// Shift+Tab go cell by cell, Enter commits, a click picks the cell, Tab past
// the row posts it and starts the next, Shift+Tab and Esc drop an untouched
// new row, Down starts a new row on its first cell, and a refused figure
// keeps its cell and its text.
TEST_P(EveryGrid, TabShiftTabEnterDownClickAndEsc) {
    const GridCase& c = GetParam();
    TCustomForm* form = nullptr;
    TCustomDBGrid* grid = OpenCase(form);
    TDataSet* ds = grid->DataSet();
    const Typed& first = c.cells.front();
    const Typed& last = c.cells.back();
    auto value = [ds](const Typed& t) { return ds->FieldByName(t.field)->AsFloat(); };

    ClickGrid(grid);
    ASSERT_TRUE(InGrid(grid));
    EXPECT_EQ(SelectedField(grid), first.field);

    Type(grid, first.text);
    Key(grid, Qt::Key_Escape);
    EXPECT_FALSE(Editing(grid));
    EXPECT_EQ(value(first), 0) << "Esc drops what the cell was given";
    EXPECT_TRUE(form->Visible()) << "Esc in a cell never closes the window";

    Type(grid, first.text);
    Key(grid, Qt::Key_Tab);
    EXPECT_DOUBLE_EQ(value(first), first.value);
    EXPECT_EQ(SelectedField(grid), c.cells[1].field);
    Key(grid, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(SelectedField(grid), first.field);
    EXPECT_TRUE(InGrid(grid));

    Type(grid, "1");
    Key(grid, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(value(first), 1) << "Enter gives the cell's text to its field";
    EXPECT_EQ(SelectedField(grid), c.enterMovesOn ? c.cells[1].field : first.field);

    ClickCell(grid, 0, Column(grid, first.field));
    EXPECT_EQ(SelectedField(grid), first.field);
    for (const Typed& t : c.cells) {
        Type(grid, t.text);
        Key(grid, Qt::Key_Tab);
    }
    EXPECT_EQ(ds->RecordCount(), 1);
    EXPECT_EQ(ds->State(), dsInsert) << "Tab past the row starts the next one";
    EXPECT_EQ(SelectedField(grid), first.field);

    Key(grid, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(ds->State(), dsBrowse) << "Shift+Tab drops the untouched new row";
    EXPECT_EQ(ds->RecordCount(), 1);
    EXPECT_EQ(SelectedField(grid), last.field);
    for (const Typed& t : c.cells) EXPECT_DOUBLE_EQ(value(t), t.value) << t.field;

    Key(grid, Qt::Key_Down);
    EXPECT_EQ(ds->State(), dsInsert) << "Down past the last row starts a new one";
    EXPECT_EQ(SelectedField(grid), first.field) << "on its first cell";
    Key(grid, Qt::Key_Escape);
    EXPECT_EQ(ds->State(), dsBrowse) << "Esc drops the untouched new row";
    EXPECT_EQ(ds->RecordCount(), 1);
    EXPECT_TRUE(form->Visible());

    ClickCell(grid, 0, Column(grid, last.field));
    Type(grid, "x");
    dialogs.Expect(kBadFloat, mrOk);
    Key(grid, Qt::Key_Tab);
    EXPECT_EQ(SelectedField(grid), last.field);
    EXPECT_EQ(EditorText(), "x") << "the refused text stays in its cell";
    Key(grid, Qt::Key_Escape);
    EXPECT_FALSE(Editing(grid));
    EXPECT_DOUBLE_EQ(value(last), last.value);
}

INSTANTIATE_TEST_SUITE_P(
    Grids, EveryGrid,
    ::testing::Values(
        GridCase{"Invoice", Kind::Invoice,
                 {{"Quantidade", "2", 2}, {"Id_Produto", "1", 1}, {"Valor_Unitario", "3.5", 3.5}}, true},
        GridCase{"ShippingList", Kind::ShippingList,
                 {{"Quantidade", "2", 2}, {"Id_Produto", "1", 1}, {"Valor_Unitario", "3.5", 3.5}}, true},
        GridCase{"Installments", Kind::Installments, {{"prazo_dias", "30", 30}, {"percentual", "100", 100}}, true}),
    [](const ::testing::TestParamInfo<GridCase>& Info) { return std::string(Info.param.name); });
