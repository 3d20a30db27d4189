// Every data-aware control bound to one record of a query: what it shows,
// what typing into it writes when the record is posted, and what a cancel
// puts back.
#include <QAction>
#include <QClipboard>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "platform/db/SQLiteDatabase.h"
#include "tests/platform/ui/SampleForm.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TestSupport.h"

using uitest::Key;
using uitest::Type;

namespace {

class DataControls : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("clientes.db");
        sample::CreateDatabase(path);
        form = new sample::ClientForm(nullptr, path);
    }
    void TearDown() override {
        delete form;
        uitest::Pump();
    }

    // The stored row, read through a connection of its own.
    std::string Stored(const std::string& column) {
        sqlite::Database db(path);
        sqlite::Statement st(db, "select " + column + " from Cliente where Id_Cliente = '0000421'");
        if (!st.Step()) return "<no row>";
        return st.ColumnIsNull(0) ? "<null>" : st.ColumnText(0);
    }

    void Focus(TWinControl* c) {
        c->SetFocus();
        uitest::Pump();
    }

    testsupport::TempDir dir;
    std::string path;
    sample::ClientForm* form = nullptr;
    uitest::Dialogs dialogs;
};

QLineEdit* LineOf(TCustomEdit* e) { return e->LineEdit(); }

// A form over a one-row table of a new database file, its query open.
struct OneRowForm {
    OneRowForm(const std::string& Path, const std::string& Table, const std::vector<sqlite::ColumnDef>& Columns,
               const std::string& Row) {
        {
            sqlite::OpenOptions o;
            o.create = true;
            sqlite::Database db(Path, o);
            db.Exec(sqlite::CreateTableSql(Table, Columns));
            db.Exec("insert into " + Table + " values (" + Row + ")");
        }
        form.SetBounds(0, 0, 400, 200);
        auto* conn = new TSQLConnection(&form);
        conn->SetConnectionString("Data Source=" + Path);
        conn->SetLoginPrompt(false);
        conn->Open();
        query = new TSQLQuery(&form);
        query->SetConnection(conn);
        query->SetSQL("select * from " + Table);
        source = new TDataSource(&form);
        source->SetDataSet(query);
        query->Open();
    }
    TForm form{nullptr};
    TSQLQuery* query = nullptr;
    TDataSource* source = nullptr;
};

}  // namespace

TEST_F(DataControls, EachControlShowsTheFieldOfTheCurrentRecord) {
    EXPECT_EQ(form->dbeNome->Text(), "Padaria Pão de Açúcar Ltda");
    // Masks without saved literals: the field holds digits, the edit shows the layout.
    EXPECT_EQ(form->dbeId_Cliente->EditText(), "000042-1");
    EXPECT_EQ(form->dbeCep->EditText(), "01310-100");
    EXPECT_EQ(form->dbeCep->Text(), "01310100");
    EXPECT_EQ(form->dbeNatureza->Text(), "Jurídica");
    EXPECT_EQ(form->dbeNatureza->ItemIndex(), 1);
    EXPECT_FALSE(form->chkInativo->Checked());
    EXPECT_EQ(form->dbeData_Cadastro->EditText(), "15/03/2024");
    EXPECT_EQ(form->dbeId_Vendedor->Text(), "João Gonçalves");
    EXPECT_EQ(form->dbeId_Vendedor->KeyValue(), "1");
    EXPECT_EQ(form->dbeId_Municipio->Text(), "3550308");
    EXPECT_EQ(form->dbeObservacao->Text(), "Entrega às terças-feiras.");
    EXPECT_EQ(form->dbeHistorico->Text(), "");
    // A string field limits what can be typed to its size.
    EXPECT_EQ(LineOf(form->dbeNome)->maxLength(), 50);
}

TEST_F(DataControls, TypingIntoEveryControlEditsAndPostWritesTheRecord) {
    uitest::ShowActive(form);
    form->dbeId_Municipio->OnCustomDlg = [this](TObject*) {
        // What a lookup button does: start the edit, write the chosen key.
        form->qryCliente->Edit();
        form->qryCliente->FieldByName("Id_Municipio")->SetAsInteger(3304557);
    };

    Focus(form->dbeNome);
    Type(LineOf(form->dbeNome), "Mercearia São José");
    EXPECT_EQ(form->qryCliente->State(), dsEdit) << "typing starts the edit";
    Focus(form->dbeCep);
    Type(LineOf(form->dbeCep), "04567890");
    EXPECT_EQ(form->dbeCep->EditText(), "04567-890");
    // Up and Down move between controls on this form: pick by the first letter.
    Focus(form->dbeNatureza);
    Type(form->dbeNatureza->ComboBox(), "F");
    Focus(form->dbeData_Cadastro);
    Type(LineOf(form->dbeData_Cadastro), "01021999");
    Focus(form->dbeId_Vendedor);
    Type(form->dbeId_Vendedor->ComboBox(), "M");
    EXPECT_EQ(form->qryCliente->FieldByName("Id_Vendedor")->AsInteger(), 2) << "a lookup choice writes at once";
    form->dbeId_Municipio->DoCustomDlg();
    EXPECT_EQ(form->dbeId_Municipio->Text(), "3304557");
    Focus(form->dbeObservacao);
    QTest::keyClick(form->dbeObservacao->TextEdit(), Qt::Key_End, Qt::ControlModifier);
    Type(form->dbeObservacao->TextEdit(), " Ligar antes.");
    Focus(form->dbeHistorico);
    Type(form->dbeHistorico->TextEdit(), "Cliente desde 2024.");
    Focus(form->chkInativo);
    Key(form->chkInativo->Widget(), Qt::Key_Space);
    EXPECT_TRUE(form->chkInativo->Checked());

    QTest::mouseClick(static_cast<QPushButton*>(form->btnSave->Widget()), Qt::LeftButton);
    EXPECT_EQ(form->qryCliente->State(), dsBrowse);

    EXPECT_EQ(Stored("Nome"), "Mercearia São José");
    EXPECT_EQ(Stored("Cep"), "04567890");
    EXPECT_EQ(Stored("Natureza"), "Física");
    EXPECT_EQ(Stored("substr(Data_Cadastro, 1, 10)"), "1999-02-01");
    EXPECT_EQ(Stored("Id_Vendedor"), "2");
    EXPECT_EQ(Stored("Id_Municipio"), "3304557");
    EXPECT_EQ(Stored("Observacao"), "Entrega às terças-feiras. Ligar antes.");
    EXPECT_EQ(Stored("Historico"), "Cliente desde 2024.");
    EXPECT_EQ(Stored("Inativo"), "Sim");
    // After the post the controls show the stored values.
    EXPECT_EQ(form->dbeId_Vendedor->Text(), "Márcia Araújo");
    EXPECT_EQ(form->dbeNatureza->Text(), "Física");
}

TEST_F(DataControls, CancelPutsEveryControlBackAndWritesNothing) {
    uitest::ShowActive(form);
    Focus(form->dbeNome);
    Type(LineOf(form->dbeNome), "Outro nome");
    Focus(form->dbeCep);
    Type(LineOf(form->dbeCep), "99999999");
    Focus(form->chkInativo);
    Key(form->chkInativo->Widget(), Qt::Key_Space);
    Focus(form->dbeData_Cadastro);
    Key(LineOf(form->dbeData_Cadastro), Qt::Key_Delete);
    Focus(form->dbeObservacao);
    Type(form->dbeObservacao->TextEdit(), "x");

    QTest::mouseClick(static_cast<QPushButton*>(form->btnCancel->Widget()), Qt::LeftButton);
    EXPECT_EQ(form->qryCliente->State(), dsBrowse);
    EXPECT_EQ(form->dbeNome->Text(), "Padaria Pão de Açúcar Ltda");
    EXPECT_EQ(form->dbeCep->Text(), "01310100");
    EXPECT_FALSE(form->chkInativo->Checked());
    EXPECT_EQ(form->dbeData_Cadastro->EditText(), "15/03/2024");
    EXPECT_EQ(form->dbeObservacao->Text(), "Entrega às terças-feiras.");
    EXPECT_EQ(Stored("Nome"), "Padaria Pão de Açúcar Ltda");
    EXPECT_EQ(Stored("Inativo"), "Não");
}

TEST_F(DataControls, ADateLeftEmptyStoresNull) {
    uitest::ShowActive(form);
    Focus(form->dbeData_Cadastro);
    LineOf(form->dbeData_Cadastro)->selectAll();
    Key(LineOf(form->dbeData_Cadastro), Qt::Key_Delete);
    EXPECT_TRUE(form->dbeData_Cadastro->IsEmpty());
    form->qryCliente->Post();
    EXPECT_EQ(Stored("Data_Cadastro"), "<null>");
    EXPECT_EQ(form->dbeData_Cadastro->Date(), 0);
}

TEST_F(DataControls, AnImpossibleDateIsRefusedWithAMessageAndTheRecordStaysInEdit) {
    uitest::ShowActive(form);
    Focus(form->dbeData_Cadastro);
    Type(LineOf(form->dbeData_Cadastro), "31022024");
    dialogs.Expect("31/02/2024", mrOk, "Erro");
    form->dbeNome->SetFocus();
    uitest::Pump();
    EXPECT_EQ(dialogs.Pending(), 0);
    EXPECT_TRUE(form->dbeData_Cadastro->Focused()) << "the focus goes back to the wrong date";
    EXPECT_EQ(form->qryCliente->State(), dsEdit);
    EXPECT_THROW(form->qryCliente->Post(), EDBEditError);
    EXPECT_EQ(Stored("substr(Data_Cadastro, 1, 10)"), "2024-03-15");
}

TEST_F(DataControls, WithoutAutoEditTypingChangesNothingUntilTheRecordIsInEdit) {
    form->dsMain->SetAutoEdit(false);
    uitest::ShowActive(form);
    Focus(form->dbeNome);
    Type(LineOf(form->dbeNome), "abc");
    Key(form->chkInativo->Widget(), Qt::Key_Space);
    EXPECT_EQ(form->qryCliente->State(), dsBrowse);
    EXPECT_EQ(form->dbeNome->Text(), "Padaria Pão de Açúcar Ltda");
    form->qryCliente->Edit();
    Focus(form->dbeNome);
    LineOf(form->dbeNome)->selectAll();
    Type(LineOf(form->dbeNome), "abc");
    EXPECT_EQ(form->dbeNome->Text(), "abc");
    form->qryCliente->Post();
    EXPECT_EQ(Stored("Nome"), "abc");
}

TEST_F(DataControls, AReadOnlyControlNeverStartsAnEdit) {
    form->dbeNome->SetReadOnly(true);
    uitest::ShowActive(form);
    Focus(form->dbeNome);
    Type(LineOf(form->dbeNome), "abc");
    EXPECT_EQ(form->qryCliente->State(), dsBrowse);
    EXPECT_EQ(form->dbeNome->Text(), "Padaria Pão de Açúcar Ltda");
}

TEST_F(DataControls, ChangesMadeThroughTheDatasetShowInTheControls) {
    form->qryCliente->Edit();
    form->qryCliente->FieldByName("Inativo")->SetAsString("Sim");
    form->qryCliente->FieldByName("Natureza")->SetAsString("Física");
    form->qryCliente->FieldByName("Id_Vendedor")->SetAsInteger(2);
    form->qryCliente->FieldByName("Data_Cadastro")->Clear();
    EXPECT_TRUE(form->chkInativo->Checked());
    EXPECT_EQ(form->dbeNatureza->Text(), "Física");
    EXPECT_EQ(form->dbeId_Vendedor->Text(), "Márcia Araújo");
    EXPECT_TRUE(form->dbeData_Cadastro->IsEmpty());
    // A value that is neither "Sim" nor "Não" shows the box greyed.
    form->qryCliente->FieldByName("Inativo")->SetAsString("Talvez");
    EXPECT_EQ(form->chkInativo->State(), cbGrayed);
}

TEST_F(DataControls, EscapeDropsWhatWasTypedInTheControl) {
    uitest::ShowActive(form);
    Focus(form->dbeNome);
    Type(LineOf(form->dbeNome), "Outro");
    Key(LineOf(form->dbeNome), Qt::Key_Escape);
    EXPECT_EQ(form->dbeNome->Text(), "Padaria Pão de Açúcar Ltda");
    form->qryCliente->Post();
    EXPECT_EQ(Stored("Nome"), "Padaria Pão de Açúcar Ltda");
}

TEST(RichText, PlainTextOfStoredRichTextKeepsWordsAndLines) {
    EXPECT_EQ(TexDBRichEdit::PlainText("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Cora\\'e7\\'e3o\\par linha 2}"),
              "Coração\r\nlinha 2");
    EXPECT_EQ(TexDBRichEdit::PlainText("texto simples"), "texto simples");
    EXPECT_EQ(TexDBRichEdit::PlainText("{\\rtf1 a\\{b\\}}"), "a{b}");
}

TEST_F(DataControls, TheLookupListFollowsItsDatasetAndTheButtonOfTheEditRunsItsHandler) {
    form->qryVendedor->Append();
    form->qryVendedor->FieldByName("Id_Vendedor")->SetAsInteger(3);
    form->qryVendedor->FieldByName("Nome")->SetAsString("Ângela Nóbrega");
    form->qryVendedor->Post();
    EXPECT_EQ(form->dbeId_Vendedor->Items()->Count(), 3);
    form->qryCliente->Edit();
    form->qryCliente->FieldByName("Id_Vendedor")->SetAsInteger(3);
    EXPECT_EQ(form->dbeId_Vendedor->Text(), "Ângela Nóbrega");
    form->qryCliente->FieldByName("Id_Vendedor")->SetAsInteger(99);
    EXPECT_EQ(form->dbeId_Vendedor->ItemIndex(), -1) << "a key outside the list shows nothing";
    form->qryCliente->Cancel();

    int pressed = 0;
    form->dbeId_Municipio->OnCustomDlg = [&](TObject* Sender) {
        EXPECT_EQ(Sender, form->dbeId_Municipio);
        ++pressed;
    };
    QList<QAction*> actions = LineOf(form->dbeId_Municipio)->actions();
    ASSERT_FALSE(actions.isEmpty());
    actions.front()->trigger();
    EXPECT_EQ(pressed, 1);
    form->dbeId_Municipio->SetEnabled(false);
    form->dbeId_Municipio->DoCustomDlg();
    EXPECT_EQ(pressed, 1) << "a disabled edit's button does nothing";
}

TEST_F(DataControls, ClassNamesAreTheOnesFormsSwitchLooksBy) {
    // Forms switch colours and locks by exact class name, never by kind.
    EXPECT_EQ(form->dbeNome->ClassName(), "TDBEdit");
    EXPECT_EQ(form->dbeId_Municipio->ClassName(), "TexDBComboDlg");
    EXPECT_EQ(form->dbeData_Cadastro->ClassName(), "TexDBDateTimePicker");
    EXPECT_EQ(form->dbeHistorico->ClassName(), "TexDBRichEdit");
    EXPECT_EQ(form->dbeObservacao->ClassName(), "TDBMemo");
    EXPECT_EQ(form->chkInativo->ClassName(), "TDBCheckBox");
    EXPECT_EQ(form->dbeNatureza->ClassName(), "TDBComboBox");
    EXPECT_EQ(form->dbeId_Vendedor->ClassName(), "TDBLookupComboBox");
    EXPECT_EQ(form->btnSave->ClassName(), "TButton");
    int locked = 0;
    for (int i = 0; i < form->ComponentCount(); ++i) {
        auto* c = dynamic_cast<TControl*>(form->Components(i));
        if (c == nullptr) continue;
        std::string n = c->ClassName();
        if (n == "TDBComboBox" || n == "TDBCheckBox" || n == "TexDBComboDlg" || n == "TexDBDateTimePicker") {
            c->SetEnabled(false);
            c->SetColor(clBtnFace);
            ++locked;
        }
    }
    EXPECT_EQ(locked, 4);
    EXPECT_FALSE(form->chkInativo->Widget()->isEnabled());
    EXPECT_EQ(form->dbeNatureza->Color(), clBtnFace);
}

TEST_F(DataControls, AFieldLabelShowsTheDisplayText) {
    auto* text = new TDBText(form);
    text->SetParent(form);
    text->SetDataSource(form->dsMain);
    text->SetDataField("Nome");
    EXPECT_EQ(text->Caption(), "Padaria Pão de Açúcar Ltda");
    form->qryCliente->Edit();
    form->qryCliente->FieldByName("Nome")->SetAsString("Outro");
    EXPECT_EQ(text->Caption(), "Outro");
    form->qryCliente->Cancel();
    form->qryCliente->Close();
    EXPECT_EQ(text->Caption(), "");
    EXPECT_EQ(form->dbeNome->Text(), "") << "a closed dataset empties the controls";
}

TEST_F(DataControls, AQueryReopenedWhileTheControlsAreOffIsShownAndEditedThroughItsNewFields) {
    // The reopening frees the fields the edits showed and makes new ones;
    // the disabled controls hear of it only when they come back.
    uitest::ShowActive(form);
    form->qryCliente->DisableControls();
    form->qryCliente->Close();
    form->qryCliente->Open();
    form->qryCliente->EnableControls();
    EXPECT_EQ(form->dbeNome->Text(), "Padaria Pão de Açúcar Ltda");
    EXPECT_EQ(form->dbeData_Cadastro->EditText(), "15/03/2024");
    Focus(form->dbeNome);
    Type(LineOf(form->dbeNome), "Mercearia São José");
    Focus(form->dbeData_Cadastro);
    Type(LineOf(form->dbeData_Cadastro), "01021999");
    form->dbeNome->SetFocus();
    uitest::Pump();
    form->qryCliente->Post();
    EXPECT_EQ(Stored("Nome"), "Mercearia São José");
    EXPECT_EQ(Stored("substr(Data_Cadastro, 1, 10)"), "1999-02-01");
}

TEST_F(DataControls, ControlsOutliveTheirDataSourceAndDataset) {
    auto* grid = new TDBGrid(form);
    grid->SetParent(form);
    grid->SetDataSource(form->dsMain);
    delete form->qryCliente;
    EXPECT_EQ(form->dbeNome->Text(), "");
    EXPECT_EQ(grid->RowCount(), 0);
    delete form->dsMain;
    EXPECT_EQ(form->dbeNome->DataSource(), nullptr);
    EXPECT_EQ(grid->DataSource(), nullptr);
    uitest::ShowActive(form);
    form->dbeNome->SetFocus();
    Type(LineOf(form->dbeNome), "x");
    form->chkInativo->SetFocus();
    uitest::Pump();
}

// A number edit as the clerk types into it: "." is the decimal separator of
// money and rates, and what a field cannot take is said in Portuguese by
// the caption of the edit's label, also after the query is opened again.
TEST(NumberEdits, APointIsTheDecimalSeparatorAndRefusalsNameTheLabel) {
    testsupport::TempDir dir;
    uitest::Dialogs dialogs;
    OneRowForm f(dir.file("vendas.db"), "Venda",
                 {{"Id_Venda", "integer", false, true},
                  {"Valor_Frete", "double"},
                  {"Percentual_Comissao", "double"},
                  {"Id_Vendedor", "integer"}},
                 "1, 0, 0, 0");
    TForm& form = f.form;
    TSQLQuery* query = f.query;
    TDataSource* source = f.source;
    auto edit = [&](const std::string& field, const std::string& caption, int top) {
        auto* e = new TDBEdit(&form);
        e->SetParent(&form);
        e->SetBounds(150, top, 120, 23);
        e->SetDataSource(source);
        e->SetDataField(field);
        auto* l = new TLabel(&form);
        l->SetParent(&form);
        l->SetBounds(10, top + 4, 130, 16);
        l->SetCaption(caption);
        l->SetFocusControl(e);
        return e;
    };
    TDBEdit* frete = edit("Valor_Frete", "Valor do &Frete:", 10);
    TDBEdit* comissao = edit("Percentual_Comissao", "% Comissão", 40);
    TDBEdit* vendedor = edit("Id_Vendedor", "Vendedor", 70);
    uitest::ShowActive(&form);
    auto refusal = [&] {
        try {
            query->UpdateRecord();
        } catch (const EDatabaseError& e) {
            return e.Message();
        }
        return std::string("aceito");
    };

    auto retype = [](TDBEdit* e, const std::string& text) {
        e->SetFocus();
        uitest::Pump();
        LineOf(e)->selectAll();
        Type(LineOf(e), text);
    };
    retype(frete, "3.5");
    EXPECT_EQ(LineOf(frete)->text().toStdString(), "3,5");
    // Pasted with a point: the point is the decimal separator too.
    QApplication::clipboard()->setText("7.25");
    comissao->SetFocus();
    uitest::Pump();
    LineOf(comissao)->selectAll();
    Key(LineOf(comissao), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(LineOf(comissao)->text().toStdString(), "7.25");
    query->Post();
    EXPECT_DOUBLE_EQ(query->FieldByName("Valor_Frete")->AsFloat(), 3.5);
    EXPECT_DOUBLE_EQ(query->FieldByName("Percentual_Comissao")->AsFloat(), 7.25);

    query->Close();
    query->Open();
    retype(frete, "abc");
    EXPECT_EQ(refusal(), "O valor 'abc' não é um número válido para Valor do Frete.");
    retype(frete, "1,5");
    retype(vendedor, "abcSouza");
    EXPECT_EQ(refusal(), "O valor 'abcSouza' não é um número inteiro válido para Vendedor.");
    // A point in a whole number is no separator: still refused, by name.
    retype(vendedor, "3.5");
    EXPECT_EQ(refusal(), "O valor '3.5' não é um número inteiro válido para Vendedor.");
    query->Cancel();
}

// Amounts typed as they are written in Brazil, with or without the thousands
// points, or with the keypad's point for the decimals: each key sequence is
// stored as the value a Brazilian reader gives it.
TEST(NumberEdits, AmountsTypedAsWrittenInBrazilAreStoredAsTheirValue) {
    testsupport::TempDir dir;
    uitest::Dialogs dialogs;
    OneRowForm f(dir.file("clientes.db"), "Cliente",
                 {{"Id_Cliente", "integer", false, true},
                  {"Limite_Credito", "double"},
                  {"Observacao", "text(20)"}},
                 "1, 0, ''");
    TForm& form = f.form;
    TSQLQuery* query = f.query;
    TDataSource* source = f.source;
    dynamic_cast<TFloatField*>(query->FieldByName("Limite_Credito"))->SetDisplayFormat("###,###,##0.00");
    auto* limite = new TDBEdit(&form);
    limite->SetParent(&form);
    limite->SetBounds(150, 10, 120, 23);
    limite->SetDataSource(source);
    limite->SetDataField("Limite_Credito");
    auto* other = new TDBEdit(&form);
    other->SetParent(&form);
    other->SetBounds(150, 40, 120, 23);
    other->SetDataSource(source);
    other->SetDataField("Observacao");
    uitest::ShowActive(&form);

    const struct {
        const char* keys;
        double value;
    } cases[] = {
        {"5.000,00", 5000},         {"5000,00", 5000},         {"5.000", 5000},
        {"1.234.567,89", 1234567.89}, {"1.000.000", 1000000},  {"3.5", 3.5},
        {"0.500", 0.5},             {"12.50", 12.5},           {"1234.56", 1234.56},
        {"10,5", 10.5},             {"-1.500,25", -1500.25},   {"999.999.999,99", 999999999.99},
        {"7", 7},                   {"2.500,5", 2500.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        limite->SetFocus();
        uitest::Pump();
        LineOf(limite)->selectAll();
        Type(LineOf(limite), c.keys);
        other->SetFocus();  // leaving writes the field
        uitest::Pump();
        EXPECT_FALSE(limite->Focused()) << "refused";
        EXPECT_EQ(dialogs.Shown().size(), 0u);
        EXPECT_DOUBLE_EQ(query->FieldByName("Limite_Credito")->AsFloat(), c.value);
        // What the edit shows is taken back as it stands.
        limite->SetFocus();
        uitest::Pump();
        const std::string shown = LineOf(limite)->text().toStdString();
        LineOf(limite)->selectAll();
        Type(LineOf(limite), shown);
        other->SetFocus();
        uitest::Pump();
        EXPECT_DOUBLE_EQ(query->FieldByName("Limite_Credito")->AsFloat(), c.value) << shown;
    }
    query->Cancel();
}
