// The lookup grid and its find dialog.
#include <QApplication>
#include <QLineEdit>
#include <QStyle>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "billing/data/ReferenceTables.h"
#include "billing/forms/Pesquisa.h"
#include "platform/db/SQLQuery.h"
#include "tests/billing/forms/BillingFixture.h"
#include "tests/platform/ui/UiTestSupport.h"

namespace {

class Lookups : public billtest::Session {
protected:
    void SetUp() override {
        Session::SetUp();
        AddUser("bia", "1");
        AddUser("caio", "1");
        AddUser("Bruno", "1");
    }
    // The find dialog over the users ordered by id, on the first row.
    struct FindOverUsers {
        explicit FindOverUsers(const std::string& Default) {
            query.SetConnection(dmdb->ADOConnection);
            query.SetSQL("select id_usuario, nome from usuario order by id_usuario");
            query.Open();
            query.First();
            find.dsMain->SetDataSet(&query);
            find.CampoDefault = Default;
            find.FormShow(&find);
        }
        std::string Current() { return query.FieldByName("id_usuario")->AsString(); }
        TSQLQuery query{nullptr};
        TfrmLocalizar find{nullptr};
    };
    // Runs Action on the lookup grid once it is up.
    void WhenShown(std::function<void(TfrmPesquisa*)> Action) {
        QTimer::singleShot(0, qApp, [Action] {
            ASSERT_NE(frmPesquisa, nullptr);
            Action(frmPesquisa);
        });
    }
};

}  // namespace

TEST_F(Lookups, TheChosenRowsKeyComesBackAndCancelGivesNothing) {
    WhenShown([](TfrmPesquisa* f) {
        EXPECT_EQ(f->Caption(), "Pesquisar - Usuario");
        EXPECT_EQ(f->StatusBar->Panels(1)->Text(), "4");
        EXPECT_EQ(f->dsMain->DataSet()->FieldByName("nome")->DisplayLabel(), "Nome");
        f->dsMain->DataSet()->Locate("id_usuario", "caio", {});
        f->mnuOkClick(nullptr);
    });
    EXPECT_EQ(Pesquisa_Usuario(), "caio");

    WhenShown([](TfrmPesquisa* f) { f->BitBtn2Click(nullptr); });
    EXPECT_EQ(Pesquisa_Usuario(), "");
}

TEST_F(Lookups, AnEmptyQueryShowsABlankCountAndOkReturnsNothing) {
    WhenShown([](TfrmPesquisa* f) {
        EXPECT_EQ(f->StatusBar->Panels(1)->Text(), " ");
        f->mnuOkClick(nullptr);
    });
    EXPECT_EQ(Pesquisa_cfop(), "");
}

TEST_F(Lookups, AColumnTheQueryLacksIsAnError) {
    EXPECT_ANY_THROW(billing::forms::Pesquisa({"X", "select id_usuario from usuario", "id_usuario", ""},
                                              {"nao_existe;Nada"}));
}

TEST_F(Lookups, TypingALetterOpensTheFindDialogWithThatLetter) {
    WhenShown([](TfrmPesquisa* f) {
        QTimer::singleShot(0, qApp, [f] {
            ASSERT_NE(frmLocalizar, nullptr);
            EXPECT_EQ(frmLocalizar->edtLocalizar->Text(), "b");
            EXPECT_EQ(frmLocalizar->edtLocalizar->SelStart(), 1);
            EXPECT_EQ(frmLocalizar->cbFields->Text(), "Nome");  // the default column
            frmLocalizar->edtLocalizar->SetText("nome de c");
            frmLocalizar->btnOkClick(nullptr);
            QTimer::singleShot(0, qApp, [f] { f->mnuOkClick(nullptr); });
        });
        char32_t key = U'b';
        f->dbGridKeyPress(f->dbGrid, key);
        EXPECT_EQ(key, 0u);
    });
    EXPECT_EQ(Pesquisa_Usuario(), "caio");
}

// The keys the lookup grid shows, pressed with the focus in the grid on
// caio's row: Alt+L and the popup's Ctrl+L open the find (empty), Alt+O takes
// the row, Alt+C closes the window; Alt with a letter no button has does
// nothing and is never typed into a find.
TEST_F(Lookups, EveryLetterAndShortcutOfTheLookupGridActs) {
    const struct {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        TModalResult closed;  // by the key itself
        const char* finds;    // the finds that came up, each with its text
        const char* result;
    } cases[] = {
        {"Alt+L", Qt::Key_L, Qt::AltModifier, mrNone, "[]", ""},
        {"Ctrl+L", Qt::Key_L, Qt::ControlModifier, mrNone, "[]", ""},
        {"Alt+O", Qt::Key_O, Qt::AltModifier, mrOk, "", "caio"},
        {"Alt+C", Qt::Key_C, Qt::AltModifier, mrCancel, "", ""},
        {"Alt+B", Qt::Key_B, Qt::AltModifier, mrNone, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string found;
        // A find that comes up: what it holds is kept, and it is closed.
        QTimer closer;
        closer.setInterval(5);
        QObject::connect(&closer, &QTimer::timeout, [&found] {
            if (frmLocalizar == nullptr || !frmLocalizar->Visible()) return;
            found += "[" + frmLocalizar->edtLocalizar->Text() + "]";
            frmLocalizar->btnCancelarClick(nullptr);
        });
        closer.start();
        TModalResult closed = mrNone;
        WhenShown([&](TfrmPesquisa* f) {
            f->dsMain->DataSet()->Locate("id_usuario", "caio", {});
            f->dbGrid->View()->setFocus();
            QTest::keyClick(f->dbGrid->View(), c.key, c.mods);
            // A letter presses its button once it is drawn down.
            if (c.closed != mrNone || *c.finds != 0)
                EXPECT_TRUE(QTest::qWaitFor([&] { return f->ModalResult() != mrNone || !found.empty(); }, 2000));
            billtest::Pump();
            closed = f->ModalResult();
            if (closed == mrNone) f->BitBtn2Click(nullptr);
        });
        EXPECT_EQ(Pesquisa_Usuario(), c.result);
        EXPECT_EQ(closed, c.closed);
        EXPECT_EQ(found, c.finds);
    }
}

// The find dialog by its letters: Alt+X and Alt+L go to the column and the
// text (each its own letter), Alt+O finds, Alt+C leaves the row as it was.
TEST_F(Lookups, TheFindDialogAnswersItsOwnLetters) {
    const std::string first = Scalar("select id_usuario from usuario order by nome limit 1");
    ASSERT_NE(first, "caio");
    for (bool ok : {true, false}) {
        SCOPED_TRACE(ok ? "Alt+O" : "Alt+C");
        WhenShown([ok](TfrmPesquisa* f) {
            QTimer::singleShot(0, qApp, [f, ok] {
                ASSERT_NE(frmLocalizar, nullptr);
                uitest::ShowActive(frmLocalizar);  // in front, as the clerk has it
                QWidget* text = frmLocalizar->edtLocalizar->LineEdit();
                QTest::keyClick(text, Qt::Key_X, Qt::AltModifier);
                EXPECT_TRUE(frmLocalizar->cbFields->Focused()) << "Alt+X";
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::AltModifier);
                EXPECT_TRUE(frmLocalizar->edtLocalizar->Focused()) << "Alt+L";
                QTest::keyClicks(text, "aio");
                QTest::keyClick(text, ok ? Qt::Key_O : Qt::Key_C, Qt::AltModifier);
                // The letter presses its button once it is drawn down.
                EXPECT_TRUE(QTest::qWaitFor([] { return frmLocalizar->ModalResult() != mrNone; }, 2000))
                    << "the find stays";
                QTimer::singleShot(0, qApp, [f] { f->mnuOkClick(nullptr); });
            });
            f->dbGrid->View()->setFocus();
            QTest::keyClick(f->dbGrid->View(), 'c');
        });
        EXPECT_EQ(Pesquisa_Usuario(), ok ? "caio" : first);
    }
}

TEST_F(Lookups, WholeFieldAndCaseSensitiveFindOnlyExactValues) {
    FindOverUsers f("id_usuario");
    EXPECT_EQ(f.find.cbFields->Text(), f.query.FieldByName("id_usuario")->DisplayLabel());
    f.find.cbCoincidir->SetItemIndex(1);  // Campo Inteiro
    f.find.chkMaiscula->SetChecked(true);
    f.find.edtLocalizar->SetText("bruno");
    dialogs.Expect("\"bruno\" não foi encontrado", mrOk, "Localizar");
    f.find.btnOkClick(nullptr);
    EXPECT_EQ(f.Current(), "Admin");  // not found: stays
    f.find.edtLocalizar->SetText("Bruno");
    f.find.btnOkClick(nullptr);
    EXPECT_EQ(f.Current(), "Bruno");
    // Any part and case-insensitive.
    f.find.cbCoincidir->SetItemIndex(0);
    f.find.chkMaiscula->SetChecked(false);
    f.find.edtLocalizar->SetText("CA");
    f.find.btnOkClick(nullptr);
    EXPECT_EQ(f.Current(), "caio");
}

TEST_F(Lookups, AnyPartOfTheFieldFindsTheTextInTheMiddleAndNothingFoundIsSaid) {
    dmdb->ADOConnection->Execute("update usuario set nome = 'Maria da Conceição' where id_usuario = 'caio'");
    FindOverUsers f("nome");
    EXPECT_EQ(f.find.cbCoincidir->Text(), "Qualquer parte do Campo");
    f.find.edtLocalizar->SetText("Conce");
    f.find.btnOkClick(nullptr);
    EXPECT_EQ(f.Current(), "caio");
    // Whatever case, accented letters included.
    f.query.First();
    f.find.edtLocalizar->SetText("CONCEIÇÃO");
    f.find.btnOkClick(nullptr);
    EXPECT_EQ(f.Current(), "caio");

    // Nothing found: said, and the row stays.
    f.query.First();
    f.find.edtLocalizar->SetText("Xavier");
    dialogs.Expect("\"Xavier\" não foi encontrado em \"Nome\".", mrOk, "Localizar");
    f.find.btnOkClick(nullptr);
    EXPECT_EQ(f.Current(), "Admin");
    // The whole field must match under "Campo Inteiro".
    f.find.cbCoincidir->SetItemIndex(1);
    f.find.edtLocalizar->SetText("Conceição");
    dialogs.Expect("não foi encontrado", mrOk, "Localizar");
    f.find.btnOkClick(nullptr);
    EXPECT_EQ(f.Current(), "Admin");
}

TEST_F(Lookups, TheGridAlternatesItsRowColourAndTakesOnlyWholeWidths) {
    WhenShown([](TfrmPesquisa* f) {
        EXPECT_TRUE(f->dbGrid->AlternatingRowColor());
        EXPECT_TRUE(f->dbGrid->View()->alternatingRowColors());
        TDataSet* data = f->dsMain->DataSet();
        EXPECT_EQ(data->FieldByName("id_usuario")->DisplayWidth(), 15);
        EXPECT_EQ(data->FieldByName("nome")->DisplayWidth(), 40);
        EXPECT_EQ(data->FieldByName("inativo")->DisplayWidth(), 3);
        f->BitBtn2Click(nullptr);
    });
    // A width that is not a whole number leaves the field's own.
    billing::forms::Pesquisa({"Usuario", "select id_usuario, nome, inativo from usuario", "id_usuario", "nome"},
                             {"id_usuario;Usuario;;15", "nome;Nome;;12abc", "inativo;Inativo;;7.5"});
}

TEST_F(Lookups, MoneyShowsWithItsCentsAndThousands) {
    dmdb->ADOConnection->Execute("insert into cliente(id_cliente, nome_fantasia) values('0000027', 'Silva')");
    dmdb->ADOConnection->Execute("insert into nota_fiscal(id_registro, id_nota_fiscal, id_serie_documento, id_cliente, valor_total_nota) "
         "values('0010000001', 1, 1, '0000027', 230), ('0010000002', 2, 1, '0000027', 1234.5)");
    WhenShown([](TfrmPesquisa* f) {
        TDataSet* data = f->dsMain->DataSet();
        int column = -1;
        for (int c = 0; c < f->dbGrid->ColumnCount(); ++c)
            if (AnsiSameText(f->dbGrid->Columns(c)->FieldName(), "valor_total_nota")) column = c;
        ASSERT_GE(column, 0);
        data->First();
        EXPECT_EQ(data->FieldByName("valor_total_nota")->DisplayText(), "230,00");
        std::vector<std::string> shown;
        for (int row = 0; row < f->dbGrid->RowCount(); ++row) shown.push_back(f->dbGrid->CellText(row, column));
        EXPECT_EQ(shown, (std::vector<std::string>{"230,00", "1.234,50"}));
        f->BitBtn2Click(nullptr);
    });
    Pesquisa_Nota_Fiscal();
}
// Names are typed as they come, without accents or in capitals: the find
// dialog finds the row a reader would, the first in the list's order whose
// name has those letters, as a model that strips accents and case tells.
TEST_F(Lookups, TextTypedWithoutAccentsOrInOtherCapitalsFindsTheSameRows) {
    billing::data::SeedReferenceTables(dmdb->ADOConnection->Database());  // every municipality
    TSQLQuery query(nullptr);
    query.SetConnection(dmdb->ADOConnection);
    query.SetSQL("select id_municipio, nome from municipio order by nome");
    query.Open();
    std::vector<std::string> names;
    for (query.First(); !query.Eof(); query.Next()) names.push_back(query.FieldByName("nome")->AsString());
    auto letters = [](const std::string& s) { return AnsiUpperCase(RemoveAccents(s)); };
    const struct {
        const char* typed;
        bool whole;
    } cases[] = {
        {"goiania", true},    {"GOIANIA", true},      {"Goiânia", true},     {"goiania", false},
        {"sao paulo", true},  {"SAO PAULO", true},    {"São Paulo", true},   {"sao paulo", false},
        {"sÃo pAULO", false}, {"brasilia", true},     {"de goiania", false}, {"maceio", true},
        {"joao pessoa", true}, {"paraíba", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        std::string expected;
        for (const std::string& n : names)
            if (c.whole ? letters(n) == letters(c.typed) : letters(n).find(letters(c.typed)) != std::string::npos) {
                expected = n;
                break;
            }
        ASSERT_FALSE(expected.empty());
        query.Last();  // the search starts from the top whatever the row
        TfrmLocalizar find(nullptr);
        find.dsMain->SetDataSet(&query);
        find.CampoDefault = "nome";
        find.FormShow(&find);
        find.cbCoincidir->SetItemIndex(c.whole ? 1 : 0);
        uitest::Type(find.edtLocalizar->LineEdit(), c.typed);
        ASSERT_EQ(find.edtLocalizar->Text(), c.typed);
        find.btnOkClick(nullptr);
        EXPECT_EQ(query.FieldByName("nome")->AsString(), expected);
        find.dsMain->SetDataSet(nullptr);
    }
}

// Typed as a clerk types into the bank search: the first letter opens the
// find dialog on the bank's full name, the rest of the name finds it.
TEST_F(Lookups, TheBankSearchStartsOnTheFullNameAndFindsTheBankAClerkTypes) {
    billing::data::SeedReferenceTables(dmdb->ADOConnection->Database());  // a new database's banks
    WhenShown([](TfrmPesquisa* f) {
        EXPECT_EQ(f->dsMain->DataSet()->FieldByName("nome")->DisplayLabel(), "Nome");
        QTimer::singleShot(0, qApp, [f] {
            ASSERT_NE(frmLocalizar, nullptr);
            EXPECT_EQ(frmLocalizar->cbFields->Text(), "Nome");
            QTest::keyClicks(frmLocalizar->edtLocalizar->LineEdit(), "anco do Brasil");
            EXPECT_EQ(frmLocalizar->edtLocalizar->Text(), "Banco do Brasil");
            frmLocalizar->btnOk->Click();
            QTimer::singleShot(0, qApp, [f] {
                EXPECT_EQ(f->dsMain->DataSet()->FieldByName("nome")->AsString(), "Banco do Brasil S.A.");
                QTest::keyClick(f->dbGrid->View(), Qt::Key_Return);
            });
        });
        f->dbGrid->View()->setFocus();
        QTest::keyClick(f->dbGrid->View(), 'B');
    });
    EXPECT_EQ(Pesquisa_Febraban(), "1");
}

// A search that names no default column (the carriers') or one its query
// lacks still starts on a column: the first text one, never an empty choice.
TEST_F(Lookups, TheFindDialogStartsOnAColumnWhenTheSearchNamesNone) {
    for (const char* column : {"", "descricao"}) {
        SCOPED_TRACE(column);
        FindOverUsers f(column);
        EXPECT_EQ(f.find.cbFields->Text(), f.query.FieldByName("id_usuario")->DisplayLabel());
        f.find.edtLocalizar->SetText("caio");
        f.find.btnOkClick(nullptr);
        EXPECT_EQ(f.Current(), "caio");
    }
}

// Every state's abbreviation shows whole in the municipality search, the
// widest capitals ("MG", "GO", "RO") included: measured with the grid's font
// and the margins its style keeps around a cell's text.
TEST_F(Lookups, TheMunicipalitySearchShowsEveryStateWhole) {
    billing::data::SeedReferenceTables(dmdb->ADOConnection->Database());  // a new database's states and towns
    WhenShown([](TfrmPesquisa* f) {
        QTableView* view = f->dbGrid->View();
        int column = -1;
        for (int c = 0; c < f->dbGrid->ColumnCount(); ++c)
            if (AnsiSameText(f->dbGrid->Columns(c)->FieldName(), "uf")) column = c;
        ASSERT_GE(column, 0);
        const int margins = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
        const QFontMetrics fm(view->font());
        int states = 0;
        sqlite::Statement st(dmdb->ADOConnection->Database(), "select uf from uf order by uf");
        while (st.Step()) {
            const QString uf = QString::fromStdString(st.ColumnText(0));
            ++states;
            EXPECT_LE(fm.horizontalAdvance(uf) + margins, view->columnWidth(column)) << uf.toStdString();
        }
        EXPECT_EQ(states, 27);
        f->BitBtn2Click(nullptr);
    });
    Pesquisa_Municipio();
}
