// The keys a clerk presses first, on the real invoice, shipping-list and
// payment-terms windows: Tab alone from the first field to Salvar, Esc in an
// item grid followed by the Enter a hurried clerk presses next, Enter through
// the installments. Nothing typed may be lost, and nothing may be saved or
// sent that the clerk did not ask for.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QStyle>
#include <QKeySequence>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "billing/forms/Nota100.h"
#include "billing/forms/Nota101.h"
#include "billing/forms/Nota102.h"
#include "billing/forms/Nota103.h"
#include "billing/forms/Nota104.h"
#include "billing/forms/Nota106.h"
#include "billing/forms/Nota107.h"
#include "billing/forms/Nota108.h"
#include "billing/forms/Nota109.h"
#include "billing/forms/Nota110.h"
#include "billing/forms/Nota111.h"
#include "billing/forms/Nota112.h"
#include "billing/forms/Nota114.h"
#include "billing/forms/Nota115.h"
#include "billing/forms/Nota116.h"
#include "billing/forms/Nota117.h"
#include "billing/forms/Nota118.h"
#include "billing/forms/Nota119.h"
#include "billing/forms/Nota200.h"
#include "billing/forms/Nota201.h"
#include "billing/nfe/AnswerPoller.h"
#include "platform/rtl/Strings.h"
#include "tests/billing/forms/DocumentFixture.h"
#include "tests/billing/forms/FormFixture.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/billing/nfe/PollerFixture.h"

namespace fs = std::filesystem;
using namespace billing::forms;

namespace {

class ClerkKeys : public billtest::DocumentSessionOn<billtest::Forms> {
protected:
    void SetUp() override {
        DocumentSessionOn::SetUp();
        fs::create_directory(dir.path() / "envio");
        dmdb->Set_Var("pasta_nfe_envio", dir.file("envio"));
        uitest::ShowActive(frame.get());
    }

public:
    template <typename T>
    T* OpenForm() {
        return billtest::Forms::Open<T>();
    }
    template <typename T>
    T* NewDocument() {
        T* f = billtest::Forms::Open<T>();
        billtest::Pump();
        f->Core->Clock = [] { return EncodeDateTime(2010, 6, 15, 9, 41, 27, 0); };
        f->btnInsert->Click();
        billtest::Pump();
        return f;
    }
    TfrmNota108* NewTerm() {
        auto* f = billtest::Forms::Open<TfrmNota108>();
        billtest::Pump();
        f->btnInsert->Click();
        f->qry->FieldByName("descricao")->SetAsString("28 dias");
        billtest::Pump();
        return f;
    }

    static QWidget* Focus() { return QApplication::focusWidget(); }
    // Keys go where the focus is; with none (a box just closed), to the
    // active window, as the window system does.
    static QWidget* KeyTarget() { return Focus() != nullptr ? Focus() : QApplication::activeWindow(); }
    static void Key(Qt::Key K, Qt::KeyboardModifiers M = Qt::NoModifier) {
        if (QWidget* w = KeyTarget()) QTest::keyClick(w, K, M);
        billtest::Pump();
    }
    static void Type(const std::string& Text) {
        for (char c : Text)
            if (QWidget* w = KeyTarget()) QTest::keyClick(w, c);
        billtest::Pump();
    }
    // Where the focus is, as the clerk reads it: a control's name, or the
    // column of the grid's current cell.
    static std::string Where() {
        TControl* c = ui::ControlOf(Focus());
        if (c == nullptr) return "<none>";
        if (auto* g = dynamic_cast<TCustomDBGrid*>(c))
            return "grid:" + (g->SelectedField() != nullptr ? g->SelectedField()->FieldName() : std::string("?"));
        return c->Name();
    }
    // Tab until the focus is in Grid (or its product lookup).
    static void TabIntoGrid(TCustomDBGrid* Grid) {
        for (int i = 0; i < 30 && ui::ControlOf(Focus()) != Grid; ++i) Key(Qt::Key_Tab);
        ASSERT_EQ(ui::ControlOf(Focus()), Grid);
    }
    bool NothingSent() { return fs::is_empty(dir.path() / "envio"); }
    using billtest::Session::Scalar;
    // A form that freed itself is not freed again.
    void Forget(TCustomForm* Form) { opened.erase(std::remove(opened.begin(), opened.end(), Form), opened.end()); }
};

// Answers every message box that comes up with Enter, as a clerk who does
// not read it, and keeps what each said. The program's own boxes take the
// place of the script while it lives.
class HurriedClerk {
public:
    HurriedClerk() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || box == answered_) return;
            answered_ = box;
            seen.push_back(box->text().toStdString());
            QTest::keyClick(box, Qt::Key_Return);
        });
        timer_.start();
    }
    std::vector<std::string> seen;

private:
    billtest::RealBoxes boxes_;
    QTimer timer_;
    QMessageBox* answered_ = nullptr;
};

// One item typed (2 of product 1 at 10,00), a new row started, Tab onto its
// product, then Esc, Enter, Enter: the row goes, nothing else.
// Alive is the form's global, cleared when the form is freed.
template <typename Form>
void EscEnterEnterFromTheProductCell(ClerkKeys& T, Form* F, Form* const& Alive, const std::string& Table) {
    T.TabIntoGrid(F->Grid);
    if (::testing::Test::HasFatalFailure()) return;
    T.Type("2");
    T.Key(Qt::Key_Tab);
    T.Type("1");
    T.Key(Qt::Key_Tab);
    T.Type("10");
    T.Key(Qt::Key_Tab);
    T.Key(Qt::Key_Tab);
    ASSERT_TRUE(F->dbeId_Produto->Focused()) << "on the product of the new row";
    ASSERT_EQ(F->Core->Items()->State(), dsInsert);

    std::vector<std::string> boxes;
    {
        HurriedClerk clerk;
        T.Key(Qt::Key_Escape);
        T.Key(Qt::Key_Return);
        T.Key(Qt::Key_Return);
        boxes = clerk.seen;
    }
    EXPECT_TRUE(boxes.empty()) << "first box: " << boxes.front();
    EXPECT_EQ(T.Scalar("select count(*) from " + Table), "0") << "nothing saved";
    EXPECT_TRUE(T.NothingSent()) << "nothing sent";
    if (Alive == nullptr) {
        ADD_FAILURE() << "the document was closed";
        T.Forget(F);
        return;
    }
    EXPECT_TRUE(F->Visible()) << "the document stays open";
    EXPECT_EQ(F->Core->Header()->State(), dsInsert) << "and still being typed";
    TDataSet* items = F->Core->Items();
    EXPECT_EQ(items->RecordCount(), 1) << "the empty row went, the typed one stayed";
    EXPECT_DOUBLE_EQ(items->FieldByName("Quantidade")->AsFloat(), 2);
    EXPECT_DOUBLE_EQ(items->FieldByName("Valor_Unitario")->AsFloat(), 10);
}

}  // namespace

TEST_F(ClerkKeys, EscEnterEnterInTheInvoiceItemsNeitherSavesNorTransmits) {
    auto* f = NewDocument<TfrmNota200>();
    EscEnterEnterFromTheProductCell(*this, f, frmNota200, "nota_fiscal");
}

TEST_F(ClerkKeys, EscEnterEnterInTheShippingListItemsSavesNothing) {
    auto* f = NewDocument<TfrmNota201>();
    EscEnterEnterFromTheProductCell(*this, f, frmNota201, "romaneio");
}

namespace {

// One stop of the road by Tab: where the focus must be, and what the clerk
// types there before the next Tab ("" types nothing).
struct Stop {
    const char* where;
    const char* typed;
};

// Tabs from the focus the new document starts with to Salvar, typing at
// each stop; returns the stops met, each as Where() tells it.
std::vector<std::string> WalkByTab(ClerkKeys& T, const std::vector<Stop>& Road, TWinControl* Salvar) {
    std::vector<std::string> met;
    for (std::size_t i = 0; i < Road.size() + 5 && ui::ControlOf(ClerkKeys::Focus()) != Salvar; ++i) {
        met.push_back(ClerkKeys::Where());
        if (i < Road.size() && met.back() == Road[i].where) ClerkKeys::Type(Road[i].typed);
        ClerkKeys::Key(Qt::Key_Tab);
    }
    met.push_back(ClerkKeys::Where());
    return met;
}

std::vector<std::string> Names(const std::vector<Stop>& Road) {
    std::vector<std::string> out;
    for (const Stop& s : Road) out.push_back(s.where);
    return out;
}

}  // namespace

// The invoice's fields in the order Tab reaches them, one item typed; the
// discount, the second total and the payment choice typed or passed by.
std::vector<Stop> InvoiceRoad(const char* Discount, const char* Total, const char* Payment) {
    return {
        {"dbeId_Serie_Documento", ""}, {"dbeData_Saida", ""},      {"dbeId_CFOP", "6102"},
        {"dbeId_Conta_Corrente", "1"}, {"dbeId_Cliente", "42"},    {"dbeId_Vendedor", ""},
        {"dbeId_Transportador", "7"},  {"grid:Quantidade", "3"},   {"dbeId_Produto", "1"},
        {"grid:Valor_Unitario", "10.50"}, {"grid:Quantidade", ""}, {"dbeId_Produto", ""},
        {"grid:Valor_Unitario", ""},   {"dbeValor_Desconto", Discount}, {"DBEdit1", Total},
        {"DBEdit2", ""},               {"dbeFinalidade_Emissao", ""}, {"dbeTipo_Emissao", ""},
        {"dbeForma_Pagamento", Payment}, {"dbeModalidade_Frete", ""}, {"dbeTipo_ImpressaoDANFE", ""},
        {"DBMemo2", ""},               {"btnSave", ""},
    };
}

// The header as it reads, the item grid (one item, then the untouched new
// row passed by), the totals one can type, the choices of the "Outros" page,
// Salvar: read-only fields and the button that does nothing yet are passed
// by. Written by hand from the window's layout; the totals below are worked
// out by hand as well.
TEST_F(ClerkKeys, TheClerksRoadByTabThroughTheInvoice) {
    Exec("update opcao set id_transportador = null, id_conta_corrente = null, id_cfop = null, id_cliente = null");
    auto* f = NewDocument<TfrmNota200>();
    const std::vector<Stop> road = InvoiceRoad("1,50", "2", "1");
    EXPECT_EQ(WalkByTab(*this, road, f->btnSave), Names(road));
    ASSERT_TRUE(f->btnSave->Focused());
    dialogs.Expect(MsgTransmitir, mrNo, "Transmitir NF-e");
    Key(Qt::Key_Return);
    EXPECT_EQ(f->Core->Header()->State(), dsBrowse);
    EXPECT_EQ(Scalar("select id_cfop || '|' || id_conta_corrente || '|' || id_cliente || '|' || id_vendedor || '|' || "
                     "id_transportador || '|' || printf('%.2f|%.2f|%.2f|%.2f|%.2f', valor_produto, valor_icms, "
                     "valor_desconto, valor_frete, valor_total_nota) from nota_fiscal"),
              "6102|1|0000042|3|7|31.50|5.67|1.50|2.00|32.00");
    EXPECT_EQ(Scalar("select group_concat(quantidade || '*' || id_produto || '@' || valor_unitario || ' ' || id_cfop) "
                     "from nota_fiscal_item"),
              "3.0*00001@10.5 6102");
    // The payment chosen on the second page, by Tab alone.
    EXPECT_EQ(Scalar("select forma_pagamento from nota_fiscal"), "1 - Pagamento a Prazo");
}

TEST_F(ClerkKeys, TheClerksRoadByTabThroughTheShippingList) {
    Exec("update opcao set id_transportador = null, id_conta_corrente = null, id_cliente = null, "
         "id_vendedor = null");
    auto* f = NewDocument<TfrmNota201>();
    const std::vector<Stop> road = {
        {"dbeData_emissao", ""},       {"dbeId_Cliente", "42"},       {"dbeId_Vendedor", "3"},
        {"dbeId_Transportador", "7"},  {"dbeId_Conta_Corrente", "1"}, {"DBEdit3", "URGENTE"},
        {"grid:Quantidade", "3"},      {"dbeId_Produto", "1"},        {"grid:Valor_Unitario", "10.50"},
        {"grid:Quantidade", ""},       {"dbeId_Produto", ""},         {"grid:Valor_Unitario", ""},
        {"dbeValor_Desconto", "1,50"}, {"btnSave", ""},
    };
    EXPECT_EQ(WalkByTab(*this, road, f->btnSave), Names(road));
    ASSERT_TRUE(f->btnSave->Focused());
    Key(Qt::Key_Return);
    EXPECT_EQ(f->Core->Header()->State(), dsBrowse);
    EXPECT_EQ(Scalar("select id_cliente || '|' || id_vendedor || '|' || id_transportador || '|' || id_conta_corrente || "
                     "'|' || observacao || '|' || printf('%.2f|%.2f|%.2f', valor_produto, valor_desconto, valor_total) "
                     "from romaneio"),
              "0000042|3|7|1|URGENTE|31.50|1.50|30.00");
    EXPECT_EQ(Scalar("select group_concat(quantidade || '*' || id_produto || '@' || valor_unitario) from romaneio_item"),
              "3.0*00001@10.5");
}

// A row started before the header has a CFOP takes it once the header has
// one; without any, the refusal keeps every figure typed in the row.
TEST_F(ClerkKeys, AnItemRowTakesTheHeadersCfopAndARefusedOneKeepsItsFigures) {
    Exec("update opcao set id_cfop = null");
    auto* f = NewDocument<TfrmNota200>();
    TDataSet* items = f->Core->Items();
    QTest::mouseClick(f->Grid->View()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(20, f->Grid->View()->viewport()->height() - 10));
    billtest::Pump();
    Type("3");
    Key(Qt::Key_Tab);
    Type("1");
    Key(Qt::Key_Tab);
    Type("10.50");
    dialogs.Expect("Código '' de CFOP não cadastrado.", mrOk, "Atenção");
    Key(Qt::Key_Tab);
    EXPECT_EQ(items->State(), dsInsert) << "the refused row stays";
    EXPECT_DOUBLE_EQ(items->FieldByName("Quantidade")->AsFloat(), 3);
    EXPECT_EQ(items->FieldByName("Id_Produto")->AsString(), "00001");
    EXPECT_DOUBLE_EQ(items->FieldByName("Valor_Unitario")->AsFloat(), 10.5);

    // The clerk types the CFOP in the header: the row takes it.
    f->dbeId_CFOP->SetFocus();
    billtest::Pump();
    Type("5102");
    Key(Qt::Key_Tab);
    EXPECT_EQ(f->PCFOP->Caption(), "Venda de mercadoria");
    dialogs.Expect(MsgTransmitir, mrNo, "Transmitir NF-e");
    QTest::mouseClick(f->btnSave->Widget(), Qt::LeftButton);
    billtest::Pump();
    EXPECT_EQ(f->Core->Header()->State(), dsBrowse);
    EXPECT_EQ(Scalar("select group_concat(quantidade || '*' || id_produto || '@' || valor_unitario || ' ' || id_cfop) "
                     "from nota_fiscal_item"),
              "3.0*00001@10.5 5102");
}

// Days Enter share Enter, twice, then Enter on cells nobody typed in: each
// figure in its own cell, the term never saved by an Enter.
TEST_F(ClerkKeys, EnterThroughTheInstallmentsFillsEachCellAndSavesNothing) {
    auto* f = NewTerm();
    TabIntoGrid(f->exDBGrid1);
    Type("28");
    Key(Qt::Key_Return);
    Type("50");
    Key(Qt::Key_Return);
    Type("56");
    Key(Qt::Key_Return);
    Type("50");
    Key(Qt::Key_Return);
    for (int i = 0; i < 4; ++i) Key(Qt::Key_Return);
    EXPECT_EQ(ui::ControlOf(Focus()), f->exDBGrid1) << "Enter never leaves the grid";
    EXPECT_EQ(f->qry->State(), dsInsert) << "no Enter saved the term";
    EXPECT_EQ(Scalar("select count(*) from condicao_pagamento"), "0");
    EXPECT_EQ(f->tbTemp->RecordCount(), 2);

    QTest::mouseClick(f->btnSave->Widget(), Qt::LeftButton);
    billtest::Pump();
    EXPECT_EQ(f->qry->State(), dsBrowse);
    EXPECT_EQ(Scalar("select group_concat(prazo_dias || ':' || percentual, ' ') from (select * from "
                     "condicao_pagamento_parcela order by prazo_dias)"),
              "28:50.0 56:50.0");
}

// A figure refused in a new row and undone with Esc leaves an empty row:
// Salvar, pressed by its key (the grid keeps the focus) or clicked, stores
// the installments typed, and no 0 days / 0,00 % one.
TEST_F(ClerkKeys, AnEmptyInstallmentRowIsNeverSaved) {
    auto* f = billtest::Forms::Open<TfrmNota108>();
    billtest::Pump();
    for (bool byKey : {true, false}) {
        SCOPED_TRACE(byKey ? "Salvar by its key" : "Salvar clicked");
        f->btnInsert->Click();
        f->qry->FieldByName("descricao")->SetAsString("30 dias");
        billtest::Pump();
        TabIntoGrid(f->exDBGrid1);
        Type("30");
        Key(Qt::Key_Tab);
        Type("100");
        Key(Qt::Key_Tab);
        ASSERT_EQ(f->tbTemp->State(), dsInsert);
        Type("x");
        dialogs.Expect("não é um número inteiro válido", mrOk);
        Key(Qt::Key_Tab);
        Key(Qt::Key_Escape);
        // The button's accelerator presses it where the focus is; offscreen
        // windows have no accelerators, so the press is made here.
        if (byKey) {
            f->btnSave->Click();
            billtest::Pump();
        } else {
            QTest::mouseClick(f->btnSave->Widget(), Qt::LeftButton);
            billtest::Pump();
        }
        EXPECT_EQ(f->qry->State(), dsBrowse);
        EXPECT_EQ(Scalar("select group_concat(prazo_dias || ':' || percentual, ' ') from condicao_pagamento_parcela "
                         "where id_condicao_pagamento = " + f->qry->FieldByName("id_condicao_pagamento")->AsString()),
                  "30:100.0");
    }
}

namespace {

// The Alt letters of the main window's menus (Cadastros, Lançamentos,
// Relatórios, Financeiro, Ferramentas by its "m", Ajuda): a window's own
// letters must leave them to the menus.
const std::set<QChar> kMenuLetters = {'C', 'L', 'R', 'F', 'M', 'A'};

QChar AltLetter(const QString& Caption) {
    QKeySequence k = QKeySequence::mnemonic(Caption);
    return k.isEmpty() ? QChar() : QChar(k[0].key() & ~Qt::KeyboardModifierMask);
}

bool Inside(const TControl* C, const TControl* Ancestor) {
    for (; C != nullptr; C = C->Parent())
        if (C == Ancestor) return true;
    return false;
}

// What a clerk types into on a page: edits, lists, check boxes, memos and
// grids that are shown, enabled, stopped at by Tab and not read-only.
std::vector<TWinControl*> Typeable(TTabSheet* Page) {
    std::vector<TWinControl*> out;
    for (TWinControl* c : Page->TabList()) {
        bool shown = true;
        for (const TControl* a = c; a != Page; a = a->Parent()) shown = shown && a->Visible() && a->Enabled();
        const bool field = dynamic_cast<TCustomEdit*>(c) != nullptr || dynamic_cast<TCustomComboBox*>(c) != nullptr ||
                           dynamic_cast<TCheckBox*>(c) != nullptr || dynamic_cast<TCustomMemo*>(c) != nullptr ||
                           dynamic_cast<TCustomDBGrid*>(c) != nullptr;
        if (field && shown && c->TabStop() && !c->PassedByTab()) out.push_back(c);
    }
    return out;
}

}  // namespace

// Every page of every form that has pages, by the keyboard alone: Ctrl+Tab
// and Ctrl+PgDn forward, Ctrl+Shift+Tab and Ctrl+PgUp back, each page's own
// Alt letter; on each page Tab reaches every field there is to type in. The
// letters are the window's own: none twice, none a menu's.
TEST_F(ClerkKeys, EveryPageAndEveryFieldOnItIsReachedByKeysAlone) {
    struct PagedForm {
        const char* name;
        std::function<std::pair<TCustomForm*, TPageControl*>(ClerkKeys&)> open;
    };
    auto registerForm = [](auto* f) {
        billtest::Pump();
        f->btnInsert->Click();
        billtest::Pump();
        return std::pair<TCustomForm*, TPageControl*>(f, f->PageControl1);
    };
    const std::vector<PagedForm> forms = {
        {"Clientes", [&](ClerkKeys&) { return registerForm(billtest::Forms::Open<TfrmNota100>()); }},
        {"Fornecedores", [&](ClerkKeys&) { return registerForm(billtest::Forms::Open<TfrmNota109>()); }},
        {"Febraban", [&](ClerkKeys&) { return registerForm(billtest::Forms::Open<TfrmNota116>()); }},
        {"Opções",
         [this](ClerkKeys&) {
             auto* f = billtest::Forms::Open<TfrmNota115>();
             billtest::Pump();
             f->DBButton1->Click();  // Editar: the settings have no new row
             billtest::Pump();
             return std::pair<TCustomForm*, TPageControl*>(f, f->PageControl1);
         }},
        {"Nota Fiscal",
         [](ClerkKeys& T) {
             auto* f = T.NewDocument<TfrmNota200>();
             return std::pair<TCustomForm*, TPageControl*>(f, f->PageControl1);
         }},
    };
    for (const PagedForm& pf : forms) {
        SCOPED_TRACE(pf.name);
        auto [form, pages] = pf.open(*this);
        ASSERT_GE(pages->PageCount(), 2);

        // The letters first: a page without one needs the mouse.
        std::map<QChar, std::string> letters;
        for (QAbstractButton* b : form->Widget()->findChildren<QAbstractButton*>()) {
            QChar l = AltLetter(b->text());
            if (!l.isNull() && b->isVisibleTo(form->Widget())) letters.emplace(l.toUpper(), b->text().toStdString());
        }
        QTabBar* bar = pages->TabWidget()->tabBar();
        for (int i = 0; i < bar->count(); ++i) {
            const QChar l = AltLetter(bar->tabText(i)).toUpper();
            const std::string tab = bar->tabText(i).toStdString();
            EXPECT_FALSE(l.isNull()) << "página \"" << tab << "\" sem letra";
            if (l.isNull()) continue;
            EXPECT_EQ(kMenuLetters.count(l), 0u) << "\"" << tab << "\" usa a letra de um menu";
            auto [it, fresh] = letters.emplace(l, tab);
            EXPECT_TRUE(fresh) << "\"" << tab << "\" e \"" << it->second << "\" usam a mesma letra";
        }

        // Forward page by page, then Tab over each page; each walk starts
        // on the page before, shown by its letter, wherever Tab left off.
        const Qt::Key forwardKeys[] = {Qt::Key_Tab, Qt::Key_PageDown};
        for (int i = 0; i < pages->PageCount(); ++i) {
            SCOPED_TRACE(pages->Pages(i)->Caption());
            const QChar letter = AltLetter(bar->tabText(std::max(i - 1, 0)));
            ASSERT_FALSE(letter.isNull());
            Key(Qt::Key(letter.unicode()), Qt::AltModifier);
            EXPECT_EQ(pages->ActivePageIndex(), std::max(i - 1, 0)) << "Alt+" << letter.toLatin1();
            if (i > 0) Key(forwardKeys[i % 2], Qt::ControlModifier);
            ASSERT_EQ(pages->ActivePageIndex(), i);
            TTabSheet* page = pages->Pages(i);
            std::vector<TWinControl*> fields = Typeable(page);
            if (!fields.empty()) {
                EXPECT_TRUE(Inside(ui::ControlOf(Focus()), page)) << "the focus went into the page: " << Where();
            }
            std::set<TControl*> reached;
            for (std::size_t n = 0; n < fields.size() * 3 + 30 && pages->ActivePageIndex() == i; ++n) {
                reached.insert(ui::ControlOf(Focus()));
                Key(Qt::Key_Tab);
            }
            for (TWinControl* f : fields)
                EXPECT_TRUE(reached.count(f) > 0) << f->Name() << " não foi alcançado por Tab";
        }
        // And back, with the other two keys.
        pages->SetActivePageIndex(pages->PageCount() - 1);
        billtest::Pump();
        for (int i = pages->PageCount() - 2; i >= 0; --i) {
            if (i % 2 == 0) Key(Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
            else Key(Qt::Key_PageUp, Qt::ControlModifier);
            EXPECT_EQ(pages->ActivePageIndex(), i) << "back to " << pages->Pages(i)->Caption();
        }
        Forget(form);
        delete form;
        billtest::Pump();
    }
}

// Alt+Down opens the search of every lookup of every form, wherever the
// lookup sits (on a later page, in the header of a document) and whatever
// the form does with Down alone; each lookup's hint names the key.
TEST_F(ClerkKeys, OneKeyOpensTheSearchOfEveryLookupAndItsHintNamesIt) {
    const std::vector<std::pair<const char*, std::function<TCustomForm*()>>> forms = {
        {"Clientes",
         [this] {
             auto* f = billtest::Forms::Open<TfrmNota100>();
             billtest::Pump();
             f->btnInsert->Click();
             return f;
         }},
        {"Opções",
         [this] {
             auto* f = billtest::Forms::Open<TfrmNota115>();
             billtest::Pump();
             f->DBButton1->Click();
             return f;
         }},
        {"Nota Fiscal", [this] { return NewDocument<TfrmNota200>(); }},
        {"Romaneio", [this] { return NewDocument<TfrmNota201>(); }},
    };
    for (const auto& [name, open] : forms) {
        SCOPED_TRACE(name);
        TCustomForm* form = open();
        billtest::Pump();
        int lookups = 0;
        for (int i = 0; i < form->ComponentCount(); ++i) {
            auto* lookup = dynamic_cast<TexDBComboDlg*>(form->Components(i));
            // The product's lookup comes only over its cell, and is tried there below.
            if (lookup == nullptr || !lookup->Visible()) continue;
            SCOPED_TRACE(lookup->Name());
            ++lookups;
            for (TControl* c = lookup; c != nullptr; c = c->Parent())
                if (auto* page = dynamic_cast<TTabSheet*>(c)) page->PageControl()->SetActivePage(page);
            lookup->SetFocus();
            billtest::Pump();
            ASSERT_TRUE(lookup->Focused());
            int searches = 0;
            const TNotifyEvent search = lookup->OnCustomDlg;
            lookup->OnCustomDlg = [&](TObject*) { ++searches; };
            Key(Qt::Key_Down, Qt::AltModifier);
            lookup->OnCustomDlg = search;
            EXPECT_EQ(searches, 1) << "Alt+↓ não abriu a pesquisa";
            EXPECT_NE(lookup->Hint().find("Alt+↓"), std::string::npos) << lookup->Hint();
        }
        EXPECT_GT(lookups, 0);
        Forget(form);
        delete form;
        billtest::Pump();
    }
}

// The product's search in an invoice item, by the same key, for real: the
// search dialog comes and its choice fills the item.
TEST_F(ClerkKeys, TheSameKeySearchesTheProductOfAnItem) {
    auto* f = NewDocument<TfrmNota200>();
    TabIntoGrid(f->Grid);
    Type("2");
    Key(Qt::Key_Tab);
    ASSERT_TRUE(f->dbeId_Produto->Focused()) << Where();
    int searches = 0;
    const TNotifyEvent search = f->dbeId_Produto->OnCustomDlg;
    f->dbeId_Produto->OnCustomDlg = [&](TObject*) { ++searches; };
    Key(Qt::Key_Down, Qt::AltModifier);
    f->dbeId_Produto->OnCustomDlg = search;
    EXPECT_EQ(searches, 1);
    EXPECT_NE(f->dbeId_Produto->Hint().find("Alt+↓"), std::string::npos);
}

// The record buttons by their keys, with the focus in a field: Alt+Home,
// Alt+PgDn, Alt+End, Alt+PgUp walk the records; Alt+P searches; each
// button's hint names its key, and none is a menu's Alt letter.
TEST_F(ClerkKeys, TheRecordButtonsHaveKeysNamedInTheirHints) {
    for (int n : {5, 6, 7})
        Exec("insert into nota_fiscal (id_registro, id_nota_fiscal, id_serie_documento, situacao_nfe) values ('001000000" +
             std::to_string(n) + "', " + std::to_string(n) + ", 1, 'Em Digitação')");
    auto* invoice = billtest::Forms::Open<TfrmNota200>();
    billtest::Pump();
    auto* sellers = billtest::Forms::Open<TfrmNota102>();
    billtest::Pump();
    struct Walked {
        const char* name;
        TCustomForm* form;
        TDataSet* data;
        TWinControl* field;
        std::string column;
        std::vector<std::string> keys;  // first, last
        TDBButton *first, *prior, *next, *last, *search;
    };
    const std::vector<Walked> table = {
        {"Nota Fiscal", invoice, invoice->Core->Header(), invoice->dbeId_CFOP, "Id_Nota_Fiscal", {"5", "7"},
         invoice->btnFirst, invoice->btnPrior, invoice->btnNext, invoice->btnLast, invoice->DBButton3},
        {"Vendedores", sellers, sellers->qry, sellers->dbeNome, "Id_Vendedor", {"3", "4"}, sellers->btnFirst,
         sellers->btnPrior, sellers->btnNext, sellers->btnLast, sellers->DBButton2},
    };
    for (const Walked& w : table) {
        SCOPED_TRACE(w.name);
        w.form->Show();
        billtest::Pump();
        w.field->SetFocus();
        billtest::Pump();
        auto at = [&] { return w.data->FieldByName(w.column)->AsString(); };
        Key(Qt::Key_Home, Qt::AltModifier);
        EXPECT_EQ(at(), w.keys[0]) << "Alt+Home";
        Key(Qt::Key_PageDown, Qt::AltModifier);
        EXPECT_NE(at(), w.keys[0]) << "Alt+PgDn";
        Key(Qt::Key_End, Qt::AltModifier);
        EXPECT_EQ(at(), w.keys[1]) << "Alt+End";
        Key(Qt::Key_PageUp, Qt::AltModifier);
        EXPECT_NE(at(), w.keys[1]) << "Alt+PgUp";
        const struct {
            TDBButton* button;
            const char* key;
        } hints[] = {{w.first, "Alt+Home"}, {w.prior, "Alt+PgUp"}, {w.next, "Alt+PgDn"}, {w.last, "Alt+End"},
                     {w.search, "Alt+P"}};
        for (const auto& h : hints) EXPECT_NE(h.button->Hint().find(h.key), std::string::npos) << h.button->Name();
        // Pesquisar by its letter, which no menu takes.
        const QChar letter = AltLetter(ui::ToQt(w.search->Caption()));
        EXPECT_EQ(letter, QChar('P'));
        EXPECT_EQ(kMenuLetters.count(letter.toUpper()), 0u);
        bool searched = false;
        const TNotifyEvent search = w.search->OnClick;
        w.search->OnClick = [&](TObject*) { searched = true; };
        Key(Qt::Key_P, Qt::AltModifier);
        // The letter presses the button as a click does, once it is drawn down.
        EXPECT_TRUE(QTest::qWaitFor([&] { return searched; }, 2000)) << "Alt+P";
        w.search->OnClick = search;
    }
}

// Ranges voided ahead of a series' next number, as the authority answered
// them through the NF-e monitor: the invoices typed next (Novo, an item,
// Salvar, all clicked) take the numbers left, never a voided one. Ranges
// overlapping and touching one another are passed together; a range of
// another series and one the authority refused are no gap.
TEST_F(ClerkKeys, TheSeriesPassesOverTheRangesVoidedAheadOfIt) {
    Exec("update serie_documento set proximo_numero = 5 where id_serie_documento = 1");
    const fs::path retorno = dir.path() / "retorno";
    fs::create_directory(retorno);
    billing::nfe::NFeConfig config;
    config.pasta_nfe_envio = dir.file("envio");
    config.pasta_nfe_retorno = retorno.string();
    config.pasta_nfe_arquivamento = dir.file("envio");
    config.pasta_nfe_erro = dir.file("envio");
    config.ambiente = "2 - Homologação";
    std::vector<std::string> told;
    config.notify = [&told](const std::string& Text, const std::string&) { told.push_back(Text); };
    billing::nfe::AnswerPoller poller(nfetest::RunningMonitorServices(dmdb->ADOConnection, [&config] { return config; }));
    const struct {
        const char* status;
        int serie, first, last;
    } answers[] = {
        {"102", 1, 7, 8}, {"102", 1, 8, 10}, {"102", 1, 11, 11},  // ahead of 5, overlapping, touching
        {"102", 2, 5, 6},                                         // another series
        {"241", 1, 13, 13},                                       // refused: 13 stays free
    };
    int n = 0;
    for (const auto& a : answers) {
        testsupport::WriteAll((retorno / ("ID" + std::to_string(++n) + "-inu.xml")).string(),
                              std::string("<retInutNFe versao=\"1.07\"><infInut><tpAmb>2</tpAmb><cStat>") + a.status +
                                  "</cStat><xMotivo>Inutilizacao</xMotivo><cUF>41</cUF><ano>10</ano><mod>55</mod>"
                                  "<serie>" + std::to_string(a.serie) + "</serie><nNFIni>" + std::to_string(a.first) +
                                  "</nNFIni><nNFFin>" + std::to_string(a.last) +
                                  "</nNFFin><nProt>141100000000009</nProt></infInut></retInutNFe>");
    }
    EXPECT_EQ(poller.Tick().handled, 5);
    EXPECT_EQ(Scalar("select proximo_numero from serie_documento where id_serie_documento = 1"), "5")
        << "a range ahead leaves the counter as it is";

    auto* f = billtest::Forms::Open<TfrmNota200>();
    billtest::Pump();
    f->Core->Clock = [] { return EncodeDateTime(2010, 6, 15, 9, 41, 27, 0); };
    std::vector<int> offered;
    for (int i = 0; i < 5; ++i) {
        QTest::mouseClick(f->btnInsert->Widget(), Qt::LeftButton);
        billtest::Pump();
        ASSERT_EQ(f->Core->Header()->State(), dsInsert);
        offered.push_back(f->Core->Field("Id_Nota_Fiscal")->AsInteger());
        AddItem(f->Core, 1, "1", 10);
        dialogs.Expect(MsgTransmitir, mrNo, "Transmitir NF-e");
        QTest::mouseClick(f->btnSave->Widget(), Qt::LeftButton);
        billtest::Pump();
        ASSERT_EQ(f->Core->Header()->State(), dsBrowse) << "invoice " << offered.back();
    }
    EXPECT_EQ(offered, (std::vector<int>{5, 6, 12, 13, 14}));
    EXPECT_EQ(Scalar("select group_concat(id_nota_fiscal, ' ') from (select id_nota_fiscal from nota_fiscal "
                     "where id_serie_documento = 1 order by id_nota_fiscal)"),
              "5 6 12 13 14");
    EXPECT_EQ(Scalar("select proximo_numero from serie_documento where id_serie_documento = 1"), "15");
}

namespace {

// The model column of a field in a document's grid.
int ColumnOf(TCustomDBGrid* Grid, const std::string& Field) {
    for (int i = 0; i < Grid->ColumnCount(); ++i)
        if (Grid->Columns(i)->FieldName() == Field) return i;
    return -1;
}

std::string Cell(TCustomDBGrid* Grid, int Row, const std::string& Field) {
    QAbstractItemModel* model = Grid->Model();
    return model->data(model->index(Row, ColumnOf(Grid, Field)), Qt::DisplayRole).toString().toStdString();
}

}  // namespace

// Amounts as a clerk sees them in the invoice's grid: a million whole in
// Valor Total, a price of three decimals as typed (and as stored and sent),
// the product's lookup inside its own column, and a quantity changed and left
// by a click carried into the totals at once.
TEST_F(ClerkKeys, TheItemGridShowsAmountsWholeAndItsTotalsFollowEveryChange) {
    auto* f = NewDocument<TfrmNota200>();
    TabIntoGrid(f->Grid);
    for (const char* typed : {"1", "1", "8,755", "1000", "7", "5000"}) {
        Type(typed);
        Key(Qt::Key_Tab);
    }
    TDataSet* items = f->Core->Items();
    ASSERT_EQ(items->RecordCount(), 2);
    EXPECT_EQ(Cell(f->Grid, 0, "Valor_Unitario"), "8,755");
    EXPECT_EQ(Cell(f->Grid, 1, "Valor_Total"), "5.000.000,00");
    QTableView* view = f->Grid->View();
    const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
    EXPECT_GE(view->columnWidth(ColumnOf(f->Grid, "Valor_Total")),
              view->fontMetrics().horizontalAdvance("999.999.999,99") + margin)
        << "the largest amount shows whole";

    // The product's lookup over the first row's product: within its column.
    QRect product = view->visualRect(f->Grid->Model()->index(0, ColumnOf(f->Grid, "Id_Produto")));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, product.center());
    billtest::Pump();
    ASSERT_TRUE(f->dbeId_Produto->Visible());
    QRect cfop = view->visualRect(f->Grid->Model()->index(0, ColumnOf(f->Grid, "id_cfop")));
    const QPoint cfopLeft = view->viewport()->mapTo(f->Grid->Parent()->ClientWidget(), cfop.topLeft());
    EXPECT_LE(f->dbeId_Produto->Left() + f->dbeId_Produto->Width(), cfopLeft.x()) << "the CFOP stays in sight";
    EXPECT_EQ(f->dbeId_Produto->Width(), product.width());

    // A new quantity for the first item, left by a click on the discount.
    QRect quantity = view->visualRect(f->Grid->Model()->index(0, ColumnOf(f->Grid, "Quantidade")));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, quantity.center());
    billtest::Pump();
    Type("2");
    QTest::mouseClick(f->dbeValor_Desconto->Widget(), Qt::LeftButton);
    billtest::Pump();
    // 2 x 8,755 = 17,51 and 1.000 x 5.000,00, each to the cent, added.
    EXPECT_EQ(f->dbeValor_Produto->Text(), "5.000.017,51");
    EXPECT_EQ(f->dbeValor_Total_Nota->Text(), "5.000.017,51");

    dialogs.Expect(MsgTransmitir, mrYes, "Transmitir NF-e");
    dialogs.Expect("não está instalado", mrOk);
    QTest::mouseClick(f->btnSave->Widget(), Qt::LeftButton);
    billtest::Pump();
    ASSERT_EQ(f->Core->Header()->State(), dsBrowse);
    EXPECT_EQ(Scalar("select group_concat(quantidade || '*' || valor_unitario, ' ') from nota_fiscal_item"),
              "2.0*8.755 1000.0*5000.0");
    EXPECT_EQ(Scalar("select printf('%.2f', valor_total_nota) from nota_fiscal"), "5000017.51");
    EXPECT_EQ(Cell(f->Grid, 0, "Valor_Unitario"), "8,755") << "as stored, once saved";
    const std::string xml = testsupport::ReadAll(dir.file("envio/" + Scalar("select numero_nfe from nota_fiscal") +
                                                          "-nfe.xml"));
    for (const char* part : {"<vUnCom>8.7550</vUnCom>", "<vProd>17.51</vProd>", "<vProd>5000000.00</vProd>",
                             "<vNF>5000017.51</vNF>"})
        EXPECT_NE(xml.find(part), std::string::npos) << part;
}

namespace {

// A window as the clerk starts it: its record data, its pages (none for
// most registers), the letter that starts a row (Novo; Editar for the
// issuer, which has no new row) and the field each key must leave the
// focus in, read off the window's layout: its key, else its first field.
struct FreshStart {
    const char* name;
    std::function<TCustomForm*(ClerkKeys&)> open;
    std::function<TDataSet*(TCustomForm*)> data;
    Qt::Key start;
    const char* afterStart;
    const char* afterUndo;
};

template <typename T>
std::function<TCustomForm*(ClerkKeys&)> Opener() {
    return [](ClerkKeys& Test) -> TCustomForm* {
        TCustomForm* f = Test.OpenForm<T>();
        billtest::Pump();
        return f;
    };
}

TDataSet* RegisterData(TCustomForm* F) { return static_cast<RegisterForm*>(F)->qry; }
TDataSet* DocumentData(TCustomForm* F) { return static_cast<DocumentForm*>(F)->Core->Header(); }

TPageControl* PagesOf(TCustomForm* F) {
    for (int i = 0; i < F->ComponentCount(); ++i)
        if (auto* p = dynamic_cast<TPageControl*>(F->Components(i)); p != nullptr && p->PageCount() > 1) return p;
    return nullptr;
}

}  // namespace

// Novo and Desfazer by their letters, from wherever the last row left the
// clerk (the last page, Tab on to a button, where a space would press it):
// each puts the first page up and the focus in its first field, as the
// window showed them fresh. Every register and both documents.
TEST_F(ClerkKeys, NovoAndDesfazerStartOnTheFirstPageInItsFirstField) {
    const std::vector<FreshStart> windows = {
        {"Clientes", Opener<TfrmNota100>(), RegisterData, Qt::Key_N, "dbeId_Cliente", "dbeId_Cliente"},
        {"Produtos", Opener<TfrmNota101>(), RegisterData, Qt::Key_N, "dbeId_Produto_estrutura",
         "dbeId_Produto_estrutura"},
        {"Vendedores", Opener<TfrmNota102>(), RegisterData, Qt::Key_N, "dbeId_Vendedor", "dbeId_Vendedor"},
        {"Transportadores", Opener<TfrmNota103>(), RegisterData, Qt::Key_N, "dbeId_Transportador",
         "dbeId_Transportador"},
        {"CFOP", Opener<TfrmNota104>(), RegisterData, Qt::Key_N, "dbeId_CFOP", "dbeId_CFOP"},
        {"Situação Tributária", Opener<TfrmNota106>(), RegisterData, Qt::Key_N, "dbeId_Situacao_Tributaria",
         "dbeId_Situacao_Tributaria"},
        {"Contas Corrente", Opener<TfrmNota107>(), RegisterData, Qt::Key_N, "dbeId_Conta_Corrente",
         "dbeId_Conta_Corrente"},
        {"Condições de Pagamento", Opener<TfrmNota108>(), RegisterData, Qt::Key_N, "dbeId_Condicao_Pagamento",
         "dbeId_Condicao_Pagamento"},
        {"Fornecedores", Opener<TfrmNota109>(), RegisterData, Qt::Key_N, "dbeId_Fornecedor", "dbeId_Fornecedor"},
        {"Emitente", Opener<TfrmNota110>(), RegisterData, Qt::Key_E, "dbeNome", "dbeNome"},
        {"Usuários", Opener<TfrmNota111>(), RegisterData, Qt::Key_N, "dbeId_usuario", "dbeId_usuario"},
        {"Modelos de Impressoras", Opener<TfrmNota112>(), RegisterData, Qt::Key_N, "dbeId_Modelo_Impressora",
         "dbeId_Modelo_Impressora"},
        {"Programas", Opener<TfrmNota114>(), RegisterData, Qt::Key_N, "dbeId_Programa", "dbeId_Programa"},
        {"Febraban", Opener<TfrmNota116>(), RegisterData, Qt::Key_N, "dbeId_Febraban", "dbeId_Febraban"},
        {"Título Receber", Opener<TfrmNota117>(), RegisterData, Qt::Key_N, "dbeId_Cliente", "dbeId_Titulo_Receber"},
        {"Série Documentos", Opener<TfrmNota118>(), RegisterData, Qt::Key_N, "dbeId_Serie_Documento",
         "dbeId_Serie_Documento"},
        {"Unidades de Medida", Opener<TfrmNota119>(), RegisterData, Qt::Key_N, "dbeId_Unidade_Medida",
         "dbeId_Unidade_Medida"},
        {"Nota Fiscal", Opener<TfrmNota200>(), DocumentData, Qt::Key_N, "dbeId_Serie_Documento",
         "dbeId_Serie_Documento"},
        {"Romaneio", Opener<TfrmNota201>(), DocumentData, Qt::Key_N, "dbeData_emissao", "dbeId_Romaneio"},
    };
    for (const FreshStart& w : windows) {
        SCOPED_TRACE(w.name);
        TCustomForm* form = w.open(*this);
        if (auto* d = dynamic_cast<DocumentForm*>(form))
            d->Core->Clock = [] { return EncodeDateTime(2010, 6, 15, 9, 41, 27, 0); };
        TDataSet* data = w.data(form);
        TPageControl* pages = PagesOf(form);
        auto page = [&] { return pages != nullptr ? pages->ActivePageIndex() : 0; };
        // Off to the last page, and Tab on until a button has the focus.
        auto wander = [&] {
            if (pages != nullptr)
                for (int i = 1; i < pages->PageCount(); ++i) Key(Qt::Key_Tab, Qt::ControlModifier);
            for (int i = 0; i < 120 && dynamic_cast<TButton*>(ui::ControlOf(Focus())) == nullptr; ++i)
                Key(Qt::Key_Tab);
            ASSERT_NE(dynamic_cast<TButton*>(ui::ControlOf(Focus())), nullptr) << Where();
        };
        auto press = [&](Qt::Key Letter, TDataSetState Then) {
            Key(Letter, Qt::AltModifier);
            EXPECT_TRUE(QTest::qWaitFor([&] { return data->State() == Then; }, 2000));
            billtest::Pump();
        };

        press(w.start, w.start == Qt::Key_N ? dsInsert : dsEdit);
        EXPECT_EQ(page(), 0);
        EXPECT_EQ(Where(), w.afterStart) << "a fresh window";
        wander();
        press(Qt::Key_D, dsBrowse);  // Desfazer
        EXPECT_EQ(page(), 0) << "Desfazer";
        EXPECT_EQ(Where(), w.afterUndo) << "Desfazer";
        wander();
        press(w.start, w.start == Qt::Key_N ? dsInsert : dsEdit);
        EXPECT_EQ(page(), 0) << "the second row";
        EXPECT_EQ(Where(), w.afterStart) << "the second row";
        press(Qt::Key_D, dsBrowse);
        Forget(form);
        delete form;
        billtest::Pump();
    }
}

namespace {

// The page a control sits on shown, as Ctrl+Tab would show it.
void ShowPageOf(TControl* C) {
    for (TControl* c = C; c != nullptr; c = c->Parent())
        if (auto* page = dynamic_cast<TTabSheet*>(c)) page->PageControl()->SetActivePage(page);
}

// The list's text in other capitals, as a text kept from before the list
// was spelled as it is now; "" when it has no letters to change.
std::string OtherCapitals(const std::string& Item) {
    std::string other = AnsiUpperCase(Item);
    if (other == Item) other = AnsiLowerCase(Item);
    return other == Item ? std::string() : other;
}

}  // namespace

// A data-aware combo passed by Tab, back and forth, leaves its field as it
// was, even when the text differs from a list entry only in its capitals:
// only a choice writes. Every combo of every window with a new row; then
// the invoice's own road by Tab, whose "1 - NF-e Normal" is saved as it was.
TEST_F(ClerkKeys, PassingACombosByTabChangesNothingOnlyAChoiceDoes) {
    const std::vector<FreshStart> windows = {
        {"Clientes", Opener<TfrmNota100>(), RegisterData, Qt::Key_N, "", ""},
        {"Produtos", Opener<TfrmNota101>(), RegisterData, Qt::Key_N, "", ""},
        {"Transportadores", Opener<TfrmNota103>(), RegisterData, Qt::Key_N, "", ""},
        {"CFOP", Opener<TfrmNota104>(), RegisterData, Qt::Key_N, "", ""},
        {"Situação Tributária", Opener<TfrmNota106>(), RegisterData, Qt::Key_N, "", ""},
        {"Contas Corrente", Opener<TfrmNota107>(), RegisterData, Qt::Key_N, "", ""},
        {"Fornecedores", Opener<TfrmNota109>(), RegisterData, Qt::Key_N, "", ""},
        {"Emitente", Opener<TfrmNota110>(), RegisterData, Qt::Key_E, "", ""},
        {"Usuários", Opener<TfrmNota111>(), RegisterData, Qt::Key_N, "", ""},
        {"Febraban", Opener<TfrmNota116>(), RegisterData, Qt::Key_N, "", ""},
        {"Nota Fiscal", Opener<TfrmNota200>(), DocumentData, Qt::Key_N, "", ""},
        {"Romaneio", Opener<TfrmNota201>(), DocumentData, Qt::Key_N, "", ""},
    };
    int combos = 0;
    for (const FreshStart& w : windows) {
        SCOPED_TRACE(w.name);
        TCustomForm* form = w.open(*this);
        TDataSet* data = w.data(form);
        Key(w.start, Qt::AltModifier);
        ASSERT_TRUE(QTest::qWaitFor([&] { return data->State() == dsInsert || data->State() == dsEdit; }, 2000));
        billtest::Pump();
        for (int i = 0; i < form->ComponentCount(); ++i) {
            auto* combo = dynamic_cast<TDBComboBox*>(form->Components(i));
            if (combo == nullptr || combo->Field() == nullptr || combo->Items()->Count() == 0) continue;
            for (int item = 0; item < combo->Items()->Count(); ++item) {
                const std::string kept = OtherCapitals(combo->Items()->Strings(item));
                const int size = combo->Field()->Size();
                if (kept.empty() || (size > 0 && static_cast<int>(kept.size()) > size)) continue;
                SCOPED_TRACE(combo->Name() + " = " + kept);
                ShowPageOf(combo);
                billtest::Pump();
                if (!combo->CanFocus()) break;
                ++combos;
                combo->Field()->SetAsString(kept);
                combo->SetFocus();
                billtest::Pump();
                Key(Qt::Key_Tab, Qt::ShiftModifier);
                Key(Qt::Key_Tab);
                EXPECT_EQ(Where(), combo->Name()) << "Tab came back";
                Key(Qt::Key_Tab);
                EXPECT_EQ(combo->Field()->AsString(), kept);
            }
            // A choice by the keys writes the list's text.
            if (!combo->CanFocus()) continue;
            combo->SetFocus();
            billtest::Pump();
            combo->Field()->SetAsString(OtherCapitals(combo->Items()->Strings(0)));
            if (combo->Style() == csDropDownList || OtherCapitals(combo->Items()->Strings(0)).empty()) continue;
            Key(Qt::Key_Down, Qt::AltModifier);
            Key(Qt::Key_Home);
            Key(Qt::Key_Return);
            Key(Qt::Key_Tab);
            EXPECT_EQ(combo->Field()->AsString(), combo->Items()->Strings(0)) << combo->Name() << ": a choice";
        }
        Key(Qt::Key_D, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return data->State() == dsBrowse; }, 2000));
        Forget(form);
        delete form;
        billtest::Pump();
    }
    EXPECT_GT(combos, 10);

    // The invoice's road, as a clerk walks it: every choice kept as it was.
    Exec("update opcao set id_transportador = null, id_conta_corrente = null, id_cfop = null, id_cliente = null");
    auto* f = NewDocument<TfrmNota200>();
    const std::vector<Stop> road = InvoiceRoad("", "", "");
    const std::string choices = "select finalidade_emissao || '|' || tipo_emissao || '|' || "
                                "coalesce(forma_pagamento, '') || '|' || coalesce(modalidade_frete, '') || '|' || "
                                "coalesce(tipo_impressao_danfe, '') from nota_fiscal";
    EXPECT_EQ(WalkByTab(*this, road, f->btnSave), Names(road));
    dialogs.Expect(MsgTransmitir, mrNo, "Transmitir NF-e");
    Key(Qt::Key_Return);
    ASSERT_EQ(f->Core->Header()->State(), dsBrowse);
    const std::string saved = Scalar(choices);
    EXPECT_EQ(saved.substr(0, saved.find('|', saved.find('|') + 1)), "1 - NF-e Normal|1 - Normal");
    // Edited and walked again from its first field: nothing changes.
    f->btnEdit->Click();
    billtest::Pump();
    f->dbeId_CFOP->SetFocus();
    billtest::Pump();
    for (int i = 0; i < 40 && !f->btnSave->Focused(); ++i) Key(Qt::Key_Tab);
    ASSERT_TRUE(f->btnSave->Focused()) << Where();
    dialogs.Expect(MsgTransmitir, mrNo, "Transmitir NF-e");
    Key(Qt::Key_Return);
    EXPECT_EQ(Scalar(choices), saved);
}

// Novo puts the focus in a field that already holds its value (the series
// of Opções, today's date, a new code): the value is selected whole, so that
// what the clerk types replaces it, on a fresh window and on the row after
// Desfazer, where the focus was in that field already.
TEST_F(ClerkKeys, APreFilledFieldTakesTheFocusSelected) {
    const std::vector<FreshStart> windows = {
        {"Nota Fiscal", Opener<TfrmNota200>(), DocumentData, Qt::Key_N, "dbeId_Serie_Documento", ""},
        {"Romaneio", Opener<TfrmNota201>(), DocumentData, Qt::Key_N, "dbeData_emissao", ""},
        {"Série Documentos", Opener<TfrmNota118>(), RegisterData, Qt::Key_N, "dbeId_Serie_Documento", ""},
        {"Vendedores", Opener<TfrmNota102>(), RegisterData, Qt::Key_N, "dbeId_Vendedor", ""},
    };
    for (const FreshStart& w : windows) {
        SCOPED_TRACE(w.name);
        TCustomForm* form = w.open(*this);
        if (auto* d = dynamic_cast<DocumentForm*>(form))
            d->Core->Clock = [] { return EncodeDateTime(2010, 6, 15, 9, 41, 27, 0); };
        TDataSet* data = w.data(form);
        for (const char* round : {"fresh", "after Desfazer"}) {
            SCOPED_TRACE(round);
            Key(w.start, Qt::AltModifier);
            ASSERT_TRUE(QTest::qWaitFor([&] { return data->State() == dsInsert; }, 2000));
            billtest::Pump();
            ASSERT_EQ(Where(), w.afterStart);
            auto* edit = dynamic_cast<TCustomEdit*>(ui::ControlOf(Focus()));
            ASSERT_NE(edit, nullptr);
            EXPECT_FALSE(Trim(edit->Text()).empty()) << "pre-filled";
            EXPECT_EQ(edit->SelText(), edit->Text()) << "selected whole";
            Key(Qt::Key_D, Qt::AltModifier);
            ASSERT_TRUE(QTest::qWaitFor([&] { return data->State() == dsBrowse; }, 2000));
        }
        Forget(form);
        delete form;
        billtest::Pump();
    }
    // The series typed over the one Opções gives: 2, not 0012.
    auto* f = NewDocument<TfrmNota200>();
    ASSERT_TRUE(f->dbeId_Serie_Documento->Focused());
    Type("2");
    Key(Qt::Key_Tab);
    EXPECT_EQ(f->Core->Field("Id_Serie_Documento")->AsInteger(), 2);
}

// Opening a combo's list (Alt+Down) and leaving it by Esc is no choice: the
// stored text stays, as shown and as saved, even where the list spells it in
// other capitals. The new invoice's own "1 - NF-e Normal" beside the list's
// "1 - NF-e normal" first, then every entry of every combo of the invoice
// and of the registers with the most lists.
TEST_F(ClerkKeys, OpeningACombosListAndLeavingItByEscKeepsTheStoredText) {
    const std::vector<FreshStart> windows = {
        {"Nota Fiscal", Opener<TfrmNota200>(), DocumentData, Qt::Key_N, "", ""},
        {"Clientes", Opener<TfrmNota100>(), RegisterData, Qt::Key_N, "", ""},
        {"Produtos", Opener<TfrmNota101>(), RegisterData, Qt::Key_N, "", ""},
    };
    int tried = 0;
    for (const FreshStart& w : windows) {
        SCOPED_TRACE(w.name);
        TCustomForm* form = w.open(*this);
        TDataSet* data = w.data(form);
        Key(w.start, Qt::AltModifier);
        ASSERT_TRUE(QTest::qWaitFor([&] { return data->State() == dsInsert; }, 2000));
        billtest::Pump();
        std::vector<std::pair<TDBComboBox*, std::string>> cases;
        if (auto* invoice = dynamic_cast<TfrmNota200*>(form))
            cases.emplace_back(invoice->dbeFinalidade_Emissao, data->FieldByName("Finalidade_Emissao")->AsString());
        for (int i = 0; i < form->ComponentCount(); ++i) {
            auto* combo = dynamic_cast<TDBComboBox*>(form->Components(i));
            if (combo == nullptr || combo->Field() == nullptr || combo->Style() == csDropDownList) continue;
            for (int item = 0; item < combo->Items()->Count(); ++item) {
                const std::string kept = OtherCapitals(combo->Items()->Strings(item));
                const int size = combo->Field()->Size();
                if (!kept.empty() && (size == 0 || static_cast<int>(kept.size()) <= size)) cases.emplace_back(combo, kept);
            }
        }
        for (const auto& [combo, kept] : cases) {
            SCOPED_TRACE(combo->Name() + " = " + kept);
            ShowPageOf(combo);
            billtest::Pump();
            if (!combo->CanFocus()) continue;
            ++tried;
            combo->Field()->SetAsString(kept);
            combo->SetFocus();
            billtest::Pump();
            Key(Qt::Key_Down, Qt::AltModifier);
            EXPECT_EQ(combo->Text(), kept) << "shown with the list open";
            EXPECT_EQ(combo->Field()->AsString(), kept) << "stored with the list open";
            Key(Qt::Key_Escape);
            EXPECT_FALSE(combo->DroppedDown());
            Key(Qt::Key_Tab);
            EXPECT_EQ(combo->Field()->AsString(), kept) << "after Esc";
        }
        Key(Qt::Key_D, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return data->State() == dsBrowse; }, 2000));
        Forget(form);
        delete form;
        billtest::Pump();
    }
    EXPECT_GT(tried, 5);
}

// The registers without a search close by their "Cancelar" and its letter,
// with the focus in a field.
TEST_F(ClerkKeys, TheRegistersCancelarClosesByItsLetter) {
    const std::vector<std::pair<const char*, std::function<TCustomForm*(ClerkKeys&)>>> windows = {
        {"Série Documentos", Opener<TfrmNota118>()}, {"Fornecedores", Opener<TfrmNota109>()},
        {"Modelos de Impressoras", Opener<TfrmNota112>()}, {"Febraban", Opener<TfrmNota116>()},
        {"Título Receber", Opener<TfrmNota117>()},
    };
    for (const auto& [name, open] : windows) {
        SCOPED_TRACE(name);
        TCustomForm* form = open(*this);
        QPointer<QWidget> alive = form->Widget();
        Forget(form);
        EXPECT_NE(Where(), "<none>");
        Key(Qt::Key_C, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return alive.isNull(); }, 2000)) << "a janela ficou aberta";
        if (!alive.isNull()) delete form;
        billtest::Pump();
    }
}
