// How the program looks to a clerk: every text of every form whole in the
// program's font, the program's icon on every window, menus with one
// accelerator per letter, no stray "-" and an icon on every command, message
// boxes with the icon of their kind, a register that grows when maximised;
// and how every window answers the keys: Tab through the fields in reading
// order, a letter of its own for every button and box, Esc on every dialog.
#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QKeySequence>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QShortcut>
#include <QTabBar>

#include "billing/forms/InformaSenha.h"
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
#include "billing/forms/DocumentForm.h"
#include "billing/forms/RegisterForm.h"
#include "billing/forms/Nota201.h"
#include "billing/forms/Nota220.h"
#include "billing/forms/Nota221.h"
#include "billing/forms/Nota223.h"
#include "billing/forms/Nota224.h"
#include "billing/forms/Nota225.h"
#include "billing/forms/Nota230.h"
#include "billing/forms/Nota231.h"
#include "billing/forms/Nota232.h"
#include "billing/forms/Nota233.h"
#include "billing/forms/Nota300.h"
#include "billing/forms/Nota301.h"
#include "billing/forms/Nota403.h"
#include "billing/forms/Nota409.h"
#include "billing/forms/Pesquisa.h"
#include "billing/forms/Sobre.h"
#include "platform/ui/Desktop.h"
#include "preview/rpPrintDialog.h"
#include "tests/billing/main/MainFixture.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TextFit.h"

namespace {

using billtest::MainWindow;

class Looks : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        Create();
        LogInAs("Admin", "truve");
    }
    // The form shown as the program shows it, then measured.
    void ExpectWhole(TCustomForm* Form, const std::string& Name) {
        Form->Show();
        billtest::Pump();
        for (const std::string& clipped : testsupport::ClippedTexts(Form->Widget()))
            ADD_FAILURE() << Name << ": " << clipped;
        QIcon icon = Form->Widget()->window()->windowIcon();
        EXPECT_EQ(icon.cacheKey(), ui::ProgramIcon().cacheKey()) << Name << " não mostra o ícone do programa";
    }
};

}  // namespace

TEST_F(Looks, FormsUseTheProgramsFontAndItsOwnIcon) {
    // The measures below mean something only in the font the program asks for.
    QFontInfo font(QApplication::font());
    EXPECT_EQ(font.family().toStdString(), ui::kFontFamily);
    EXPECT_EQ(QApplication::font().pointSize(), ui::kFontPointSize);
    // The picture inside the program was read (not the fallback, not Qt's logo).
    QIcon icon = ui::ProgramIcon();
    ASSERT_FALSE(icon.pixmap(32, 32).isNull());
    QIcon fromFile(QString::fromStdString(std::string(FAT_SOURCE_DIR) + "/billing/main/faturamento.svg"));
    EXPECT_EQ(icon.pixmap(32, 32).toImage(), fromFile.pixmap(32, 32).toImage());
}

namespace {

// Every form the program has, each made as the program makes it; a new form
// adds its line here.
std::vector<std::pair<std::string, std::function<TCustomForm*()>>> EveryForm() {
    return {
        {"login", [] { return new TfrmNota220(nullptr); }},
        {"escolha do banco de dados", [] { return new TfrmSelecionarBancoDados(nullptr); }},
        {"bloqueio", [] { return new TfrmNota224(nullptr); }},
        {"alterar senha", [] { return new TFrmNota223(Application); }},
        {"informe a senha", [] { return new TfrmInformaSenha(nullptr); }},
        {"clientes", [] { return new TfrmNota100(Application); }},
        {"produtos", [] { return new TfrmNota101(Application); }},
        {"transportadoras", [] { return new TfrmNota103(Application); }},
        {"emitente", [] { return new TfrmNota110(Application); }},
        {"vendedores", [] { return new TfrmNota102(Application); }},
        {"CFOP", [] { return new TfrmNota104(Application); }},
        {"situação tributária", [] { return new TfrmNota106(Application); }},
        {"ajuda CST", [] { return new TfrmNota106a(nullptr); }},
        {"contas corrente", [] { return new TfrmNota107(Application); }},
        {"condições de pagamento", [] { return new TfrmNota108(Application); }},
        {"NOTA109", [] { return new TfrmNota109(Application); }},
        {"NOTA112", [] { return new TfrmNota112(Application); }},
        {"opções", [] { return new TfrmNota115(Application); }},
        {"NOTA116", [] { return new TfrmNota116(Application); }},
        {"NOTA117", [] { return new TfrmNota117(Application); }},
        {"série documentos", [] { return new TfrmNota118(Application); }},
        {"unidades de medida", [] { return new TfrmNota119(Application); }},
        {"notas fiscais", [] { return new TfrmNota200(Application); }},
        {"romaneios", [] { return new TfrmNota201(Application); }},
        {"manutenção manual",
         [] {
             auto* form = new TfrmNota225(Application);
             form->AskAccessCode = [](std::string& typed) {
                 typed = "quorventalisbrake";  // the master code opens it
                 return true;
             };
             return form;
         }},
        {"status do serviço", [] { return new TfrmNota230(Application); }},
        {"inutilizar numeração", [] { return new TfrmNota231(Application); }},
        {"gerenciar NF-e", [] { return new TfrmNota232(Application); }},
        {"NOTA232B", [] { return new TfrmNota232B(nullptr); }},
        {"exportação contábil", [] { return new TfrmNota233(Application); }},
        {"listagem de produtos", [] { return new TfrmNota301(Application); }},
        {"relatório de clientes", [] { return new TfrmNota300(Application); }},
        {"NOTA403", [] { return new TfrmNota403(Application); }},
        {"NOTA409", [] { return new TfrmNota409(Application); }},
        {"imprimir",
         [] {
             // The print dialog every listing opens, over the printers there are.
             auto* form = new TrpPrintDialogForm(nullptr, new TrpPrintDialog(Application));
             form->LoadChoices();
             return static_cast<TCustomForm*>(form);
         }},
        {"usuários", [] { return new TfrmNota111(Application); }},
        {"programas", [] { return new TfrmNota114(Application); }},
        {"log de usuário", [] { return new TfrmNota221(Application); }},
        {"pesquisa", [] { return new TfrmPesquisa(nullptr); }},
        {"localizar", [] { return new TfrmLocalizar(nullptr); }},
        {"sobre", [] { return new TfrmSobre(nullptr); }},
    };
}

QChar AltLetter(const QString& Caption) {
    QKeySequence k = QKeySequence::mnemonic(Caption);
    return k.isEmpty() ? QChar() : QChar(k[0].key() & ~Qt::KeyboardModifierMask).toUpper();
}

}  // namespace

TEST_F(Looks, EveryFormShowsItsTextsWholeWithTheProgramsIcon) {
    ExpectWhole(window, "janela principal");
    const auto forms = EveryForm();
    for (const auto& [name, make] : forms) {
        TCustomForm* form = make();
        ExpectWhole(form, name);
        delete form;
        billtest::Pump();
    }
}

namespace {

// What a clerk types into or chooses from, as Qt draws it.
bool IsField(QWidget* W) {
    return qobject_cast<QLineEdit*>(W) != nullptr || qobject_cast<QAbstractSpinBox*>(W) != nullptr ||
           qobject_cast<QComboBox*>(W) != nullptr || qobject_cast<QCheckBox*>(W) != nullptr ||
           qobject_cast<QRadioButton*>(W) != nullptr || qobject_cast<QPlainTextEdit*>(W) != nullptr ||
           qobject_cast<QAbstractItemView*>(W) != nullptr ||
           W->findChild<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly) != nullptr;
}

bool IsPushButton(QWidget* W) {
    return qobject_cast<QAbstractButton*>(W) != nullptr && !IsField(W);
}

// Whether A is read before B: the blocks that hold each in their nearest
// common container (a field, a group box, a panel) compared. Side by side,
// the left one first; one above the other, the upper one first; blocks that
// share neither a line nor a column (a column of fields beside a box) are
// read in either order.
bool ReadBefore(QWidget* A, QWidget* B) {
    QWidget* common = A->parentWidget();
    while (common != nullptr && !common->isAncestorOf(B)) common = common->parentWidget();
    if (common == nullptr) return false;
    auto block = [common](QWidget* W) {
        while (W->parentWidget() != common) W = W->parentWidget();
        return W->geometry();
    };
    const QRect a = block(A), b = block(B);
    const int lines = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top());
    if (lines * 2 >= std::min(a.height(), b.height())) return a.left() < b.left();
    const int columns = std::min(a.right(), b.right()) - std::max(a.left(), b.left());
    return columns > 0 && a.top() < b.top();
}

// The field seen first: the highest, the leftmost of those.
TWinControl* TopLeft(const std::vector<TWinControl*>& Fields, QWidget* Root) {
    TWinControl* first = nullptr;
    QPoint at;
    for (TWinControl* f : Fields) {
        const QPoint p = f->Widget()->mapTo(Root, QPoint(0, 0));
        if (first == nullptr || p.y() < at.y() || (p.y() == at.y() && p.x() < at.x())) {
            first = f;
            at = p;
        }
    }
    return first;
}

// A field with nothing typed in it yet.
bool Blank(TWinControl* Field) {
    QWidget* w = Field->Widget();
    auto* edit = qobject_cast<QLineEdit*>(w);
    if (edit == nullptr) edit = w->findChild<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly);
    // A list with nothing in it offers nothing to choose.
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->isEditable() ? combo->currentText().trimmed().isEmpty() : combo->count() > 0 && combo->currentIndex() < 0;
    return edit != nullptr && qobject_cast<QAbstractSpinBox*>(w) == nullptr && edit->text().trimmed().isEmpty();
}

// A window with a row of its own (Novo, Editar): it starts typing there.
bool HasItsOwnRow(TCustomForm* Form) {
    for (int i = 0; i < Form->ComponentCount(); ++i)
        if (dynamic_cast<TDBButton*>(Form->Components(i)) != nullptr) return true;
    return false;
}

// The fields of a shown window that Tab is meant to stop at.
std::vector<TWinControl*> FieldsShown(TCustomForm* Form) {
    std::vector<TWinControl*> out;
    for (TWinControl* c : Form->TabList()) {
        QWidget* w = c->Widget();
        if (w != nullptr && w->isVisible() && w->isEnabled() && c->TabStop() && !c->PassedByTab() && c->CanFocus() &&
            IsField(w))
            out.push_back(c);
    }
    return out;
}

void PressKey(QWidget* Root, int Key, Qt::KeyboardModifiers Modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : Root;
    QTest::keyClick(target, Qt::Key(Key), Modifiers);
    billtest::Pump();
}

// A row started where the window has one, so that its fields are what a
// clerk types into; given up before the window goes.
TDataSet* StartARow(TCustomForm* Form) {
    TDBButton* insert = nullptr;
    TDataSet* data = nullptr;
    if (auto* r = dynamic_cast<billing::forms::RegisterForm*>(Form)) {
        insert = r->btnInsert;
        data = r->qry;
    } else if (auto* d = dynamic_cast<billing::forms::DocumentForm*>(Form)) {
        insert = d->btnInsert;
        data = d->Core->Header();
    }
    if (insert == nullptr || !insert->Enabled() || !insert->Visible()) return nullptr;
    insert->Click();
    billtest::Pump();
    return data;
}

void GiveUp(TDataSet* Data) {
    if (Data != nullptr && (Data->State() == dsInsert || Data->State() == dsEdit)) Data->Cancel();
    billtest::Pump();
}

}  // namespace

// Tab from a window's first field goes through its fields in their reading
// order before it reaches any button: a help, a lookup or the window's
// action waits after the fields, where a space typed into a description
// cannot press it. A window opens with the cursor in its first field.
TEST_F(Looks, TabGoesThroughEveryWindowsFieldsInReadingOrderBeforeAnyButton) {
    int walked = 0;
    for (const auto& [name, make] : EveryForm()) {
        SCOPED_TRACE(name);
        TCustomForm* form = make();
        uitest::ShowActive(form);
        QWidget* root = form->Widget();
        std::vector<TWinControl*> fields = FieldsShown(form);
        auto before = [](TWinControl* A, TWinControl* B) { return ReadBefore(A->Widget(), B->Widget()); };
        // Opened, the cursor waits in a field with no empty field before it
        // (a window with a row of its own starts it with Novo, tried
        // elsewhere).
        auto* opened = dynamic_cast<TWinControl*>(ui::ControlOf(QApplication::focusWidget()));
        if (!HasItsOwnRow(form) && opened != nullptr) {
            const bool field = std::find(fields.begin(), fields.end(), opened) != fields.end();
            for (TWinControl* f : fields)
                EXPECT_FALSE(f != opened && Blank(f) && (!field || before(f, opened)))
                    << "abre em " << opened->Name() << ", antes vem " << f->Name() << ", vazio";
        }
        TDataSet* row = StartARow(form);
        fields = FieldsShown(form);
        // The walk starts where the window puts the cursor, else at the
        // field seen first; a field read before that start (the sale date
        // left of a new invoice's series) is reached by Shift+Tab.
        auto* first = dynamic_cast<TWinControl*>(ui::ControlOf(QApplication::focusWidget()));
        if (std::find(fields.begin(), fields.end(), first) == fields.end()) first = TopLeft(fields, root);
        std::erase_if(fields, [&](TWinControl* f) { return f != first && before(f, first); });
        if (fields.size() >= 2) {
            ++walked;
            first->SetFocus();
            billtest::Pump();
            std::vector<TWinControl*> met;
            std::string button;
            for (std::size_t n = 0; n < fields.size() * 3 + 20; ++n) {
                TControl* at = ui::ControlOf(QApplication::focusWidget());
                auto* control = dynamic_cast<TWinControl*>(at);
                if (control != nullptr && std::find(fields.begin(), fields.end(), control) != fields.end()) {
                    if (!met.empty() && met.front() == control && met.back() != control) break;  // round
                    if (met.empty() || met.back() != control) met.push_back(control);
                } else if (control != nullptr && IsPushButton(control->Widget())) {
                    button = ui::ToStd(static_cast<QAbstractButton*>(control->Widget())->text());
                    break;
                }
                PressKey(root, Qt::Key_Tab);
            }
            std::string road;
            for (TWinControl* m : met) road += " " + m->Name();
            for (TWinControl* f : fields)
                EXPECT_NE(std::find(met.begin(), met.end(), f), met.end())
                    << f->Name() << " não foi alcançado antes do botão \"" << button << "\":" << road;
            for (std::size_t i = 1; i < met.size(); ++i)
                EXPECT_FALSE(before(met[i], met[i - 1])) << met[i - 1]->Name() << " antes de " << met[i]->Name();
        }
        GiveUp(row);
        delete form;
        billtest::Pump();
    }
    EXPECT_GT(walked, 25);
}

// Every button of every form is reached by the keyboard: Tab stops at it,
// and it has an Alt letter (or a key of its own, as the record row's walk
// has); so has every check box and option, on every page. No letter serves
// two things in one window, buttons, boxes, the controls labels name and
// pages all counted; and each letter acts: a check box turns, an option is
// chosen, a label's control takes the cursor.
TEST_F(Looks, EveryButtonIsReachedByTabAndHasALetterOfItsOwnThatActs) {
    int buttons = 0, acted = 0;
    for (const auto& [name, make] : EveryForm()) {
        SCOPED_TRACE(name);
        TCustomForm* form = make();
        uitest::ShowActive(form);
        QWidget* root = form->Widget();
        std::map<QChar, std::string> letters;
        std::set<QObject*> claimed;
        auto claim = [&](QObject* Owner, const QString& Text) {
            const QChar l = AltLetter(Text);
            if (l.isNull() || (Owner != nullptr && !claimed.insert(Owner).second)) return;
            auto [it, fresh] = letters.emplace(l, Text.toStdString());
            EXPECT_TRUE(fresh) << "\"" << Text.toStdString() << "\" e \"" << it->second << "\" usam a mesma letra";
        };
        auto press = [&](const QString& Text) { PressKey(root, AltLetter(Text).unicode(), Qt::AltModifier); };
        // Every page in turn, so that a box on a later page is counted too.
        std::vector<std::pair<QTabWidget*, int>> pages = {{nullptr, 0}};
        for (QTabWidget* tabs : root->findChildren<QTabWidget*>())
            for (int i = 0; i < tabs->count(); ++i) pages.emplace_back(tabs, i);
        for (const auto& [tabs, index] : pages) {
            if (tabs != nullptr) {
                if (!tabs->isVisible()) continue;
                tabs->setCurrentIndex(index);
                billtest::Pump();
            }
            for (QAbstractButton* b : root->findChildren<QAbstractButton*>()) {
                if (!b->isVisibleTo(root) || claimed.count(b) > 0) continue;
                claim(b, b->text());
                const bool box = qobject_cast<QCheckBox*>(b) != nullptr || qobject_cast<QRadioButton*>(b) != nullptr;
                if (box) {
                    EXPECT_FALSE(AltLetter(b->text()).isNull()) << "\"" << b->text().toStdString() << "\" sem letra";
                    if (AltLetter(b->text()).isNull() || !b->isEnabled()) continue;
                    // The letter turns a check box and back, and chooses an option.
                    // The letter clicks the box once it is drawn pressed.
                    const bool was = b->isChecked();
                    const bool option = qobject_cast<QRadioButton*>(b) != nullptr;
                    press(b->text());
                    EXPECT_TRUE(QTest::qWaitFor([&] { return option ? b->isChecked() : b->isChecked() != was; }, 1000))
                        << "Alt+" << b->text().toStdString() << (option ? " não escolheu" : " não marcou");
                    if (!option) {
                        press(b->text());
                        EXPECT_TRUE(QTest::qWaitFor([&] { return b->isChecked() == was; }, 1000))
                            << "Alt+" << b->text().toStdString() << " não desmarcou";
                    }
                    ++acted;
                    continue;
                }
                auto* button = dynamic_cast<TButton*>(ui::ControlOf(b));
                if (button == nullptr || ui::ControlOf(b)->Widget() != b) continue;
                ++buttons;
                const bool ownKey = !b->findChildren<QShortcut*>().isEmpty();
                EXPECT_TRUE(!AltLetter(b->text()).isNull() || ownKey)
                    << "\"" << b->text().toStdString() << "\" sem letra";
                // Orders are not imported yet: their button stays off the
                // document's road by Tab.
                if (button->Name() == "btnPedido") continue;
                EXPECT_TRUE(button->TabStop() && (b->focusPolicy() & Qt::TabFocus) != 0)
                    << "\"" << b->text().toStdString() << "\" fora da ordem do Tab";
            }
            for (QLabel* l : root->findChildren<QLabel*>()) {
                if (l->buddy() == nullptr || !l->isVisibleTo(root) || claimed.count(l) > 0) continue;
                claim(l, l->text());
                if (AltLetter(l->text()).isNull() || !l->buddy()->isVisible() || !l->buddy()->isEnabled()) continue;
                press(l->text());
                QWidget* focus = QApplication::focusWidget();
                EXPECT_TRUE(focus != nullptr && (focus == l->buddy() || l->buddy()->isAncestorOf(focus)))
                    << "Alt+" << l->text().toStdString() << " não levou o cursor ao campo";
                ++acted;
            }
        }
        for (QTabBar* bar : root->findChildren<QTabBar*>())
            for (int i = 0; i < bar->count(); ++i) claim(nullptr, bar->tabText(i));
        delete form;
        billtest::Pump();
    }
    EXPECT_GT(buttons, 100);
    EXPECT_GT(acted, 25);
}

// Esc closes every window that has a way out (a "Cancelar", a "Fechar"), as
// that button does, wherever the window put the cursor; so does the
// button's own letter. Registers and documents keep Esc for the row being
// typed.
TEST_F(Looks, EscAndTheWayOutsLetterCloseEveryDialog) {
    int closed = 0;
    for (const auto& [name, make] : EveryForm()) {
        SCOPED_TRACE(name);
        for (const bool byEsc : {true, false}) {
            SCOPED_TRACE(byEsc ? "Esc" : "a letra");
            TCustomForm* form = make();
            uitest::ShowActive(form);
            QWidget* root = form->Widget();
            QString wayOut;
            for (QAbstractButton* b : root->findChildren<QAbstractButton*>()) {
                const QString text = QString(b->text()).remove('&').remove("...").trimmed();
                if (b->isVisibleTo(root) && (text == "Cancelar" || text == "Fechar")) wayOut = b->text();
            }
            if (wayOut.isEmpty() || HasItsOwnRow(form)) {
                delete form;
                billtest::Pump();
                break;
            }
            closed += byEsc ? 1 : 0;
            QPointer<QWidget> alive = root;
            if (byEsc) PressKey(root, Qt::Key_Escape);
            else PressKey(root, AltLetter(wayOut).unicode(), Qt::AltModifier);
            // A dialog shown modally ends its loop with the answer.
            EXPECT_TRUE(QTest::qWaitFor(
                [&] { return alive.isNull() || !alive->isVisible() || form->ModalResult() != mrNone; }, 2000))
                << "a janela ficou aberta";
            billtest::Pump();
            if (!alive.isNull()) delete form;
            billtest::Pump();
        }
    }
    EXPECT_GT(closed, 10);
}

TEST_F(Looks, MenusHaveOneAcceleratorPerLetterNoDashItemsAndAnIconOnEveryCommand) {
    std::function<void(const QList<QAction*>&, const std::string&)> walk = [&](const QList<QAction*>& actions,
                                                                              const std::string& where) {
        std::map<int, std::string> letters;
        for (QAction* a : actions) {
            std::string text = a->text().toStdString();
            if (a->isSeparator()) {
                EXPECT_TRUE(a->text().isEmpty()) << where << ": separador com texto \"" << text << "\"";
                continue;
            }
            EXPECT_NE(a->text().trimmed(), "-") << where;
            if (!a->isVisible()) continue;
            QKeySequence mnemonic = QKeySequence::mnemonic(a->text());
            // Every entry is reached by a letter, the menu open.
            EXPECT_FALSE(mnemonic.isEmpty()) << where << ": \"" << text << "\" sem letra";
            if (!mnemonic.isEmpty()) {
                int key = mnemonic[0].key() & ~Qt::AltModifier;
                auto [it, fresh] = letters.emplace(key, text);
                EXPECT_TRUE(fresh) << where << ": \"" << text << "\" e \"" << it->second << "\" usam a mesma letra";
            }
            if (a->menu() != nullptr) walk(a->menu()->actions(), where + " > " + text);
            else EXPECT_FALSE(a->icon().name().isEmpty()) << where << ": \"" << text << "\" sem ícone do tema";
        }
    };
    walk(window->MainMenu1->MenuBar()->actions(), "menu principal");
    walk(window->popLink->Menu()->actions(), "Links Importantes");
    // Alt+M is the tools menu's, as its caption shows.
    QAction* tools = window->MainMenu1->MenuBar()->actions().at(4);
    EXPECT_EQ(QKeySequence::mnemonic(tools->text()), QKeySequence(Qt::ALT | Qt::Key_M));
}

TEST_F(Looks, TheToolbarShowsIconsAndMovesWhatDoesNotFitBehindAnArrow) {
    TToolBar* bar = window->ToolBar1;
    for (int i = 0; i < bar->ButtonCount(); ++i) {
        TToolButton* b = bar->Buttons(i);
        if (b->Style() == tbsSeparator) continue;
        EXPECT_FALSE(b->Button()->icon().name().isEmpty()) << b->Caption() << " sem ícone do tema";
    }
    // The frame starts maximised, over the screen's whole free area.
    EXPECT_EQ(window->WindowState(), wsMaximized);
    EXPECT_TRUE(window->Widget()->frameGeometry().contains(ui::AvailableScreenArea(window->Widget())));
    // No empty band: the bar is as tall as its buttons.
    EXPECT_EQ(window->CoolBar1->Height(), bar->ButtonHeight());
    window->SetWindowState(wsNormal);
    window->SetBounds(0, 0, 600, 500);
    billtest::Pump();
    ASSERT_TRUE(bar->OverflowButton()->isVisible());
    QStringList overflowed;
    for (QAction* a : bar->OverflowButton()->menu()->actions())
        if (!a->isSeparator()) overflowed << a->text();
    // The last buttons go first; "Sair" and the links are still one click away.
    EXPECT_TRUE(overflowed.contains("Sair")) << overflowed.join(", ").toStdString();
    EXPECT_TRUE(overflowed.contains("Links Importantes")) << overflowed.join(", ").toStdString();
    for (int i = 0; i < bar->ButtonCount(); ++i) {
        TToolButton* b = bar->Buttons(i);
        if (b->Overflowed() || b->Style() == tbsSeparator) continue;
        EXPECT_LE(b->Left() + b->Width(), bar->OverflowButton()->x()) << b->Caption() << " sob a seta";
    }
}

TEST_F(Looks, MessageBoxesCarryTheIconOfTheirKind) {
    // A success informs...
    window->AlterarSenha1Click(window);
    billtest::Pump();
    ASSERT_NE(FrmNota223, nullptr);
    FrmNota223->edtAtual->SetText("truve");
    FrmNota223->edtNova->SetText("nova");
    FrmNota223->edtRedigita->SetText("nova");
    dialogs.Expect("Sua senha foi alterada com sucesso", mrOk, "Sucesso");
    FrmNota223->btnOkClick(nullptr);
    billtest::Pump();
    ASSERT_FALSE(dialogs.Shown().empty());
    EXPECT_EQ(dialogs.Shown().back().type, mtInformation);
    // ...a failure is an error.
    window->StartProgram = [](const std::string&, const std::vector<std::string>&) { return false; };
    dialogs.Answer(mrOk);
    window->ToolButton6Click(window);
    EXPECT_EQ(dialogs.Shown().back().type, mtError);
}

TEST_F(Looks, ARegisterMaximisedGrowsItsGridAndKeepsItsButtonsBesideIt) {
    window->Usurios1Click(window);
    billtest::Pump();
    ASSERT_NE(frmNota111, nullptr);
    int gridRight = frmNota111->pnlDados->ClientWidth() - (frmNota111->exDBGrid1->Left() + frmNota111->exDBGrid1->Width());
    int gridBottom = frmNota111->pnlDados->ClientHeight() - (frmNota111->exDBGrid1->Top() + frmNota111->exDBGrid1->Height());
    int buttonRight = frmNota111->pnlDados->ClientWidth() - frmNota111->Button1->Left();
    int width = frmNota111->exDBGrid1->Width();
    int panel = frmNota111->pnlDados->ClientWidth();
    frmNota111->SetWindowState(wsMaximized);
    billtest::Pump();
    ASSERT_NE(frmNota111->pnlDados->ClientWidth(), panel);
    EXPECT_EQ(frmNota111->exDBGrid1->Width() - width, frmNota111->pnlDados->ClientWidth() - panel);
    EXPECT_EQ(frmNota111->pnlDados->ClientWidth() - (frmNota111->exDBGrid1->Left() + frmNota111->exDBGrid1->Width()),
              gridRight);
    EXPECT_EQ(frmNota111->pnlDados->ClientHeight() - (frmNota111->exDBGrid1->Top() + frmNota111->exDBGrid1->Height()),
              gridBottom);
    EXPECT_EQ(frmNota111->pnlDados->ClientWidth() - frmNota111->Button1->Left(), buttonRight);
}

TEST_F(Looks, TheDesktopEntryIsValidAndNamesTheProgramAndItsIcon) {
    std::string entry = std::string(FAT_SOURCE_DIR) + "/billing/main/faturamento.desktop";
    std::string text = testsupport::ReadAll(entry);
    EXPECT_NE(text.find("\nExec=faturamento\n"), std::string::npos);
    EXPECT_NE(text.find("\nIcon=faturamento\n"), std::string::npos);
    QProcess validate;
    validate.start("desktop-file-validate", {QString::fromStdString(entry)});
    if (!validate.waitForStarted()) GTEST_SKIP() << "desktop-file-validate (desktop-file-utils) não está instalado";
    validate.waitForFinished();
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();
}
