// The standard controls: what setting them in code and using them does,
// and the menus, toolbars and timers that forms hang commands on.
#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

#include "platform/ui/ComCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Menus.h"
#include "platform/ui/StdCtrls.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

template <typename T>
T* Put(TForm& form, int top = 0) {
    auto* c = new T(&form);
    c->SetParent(&form);
    c->SetTop(top);
    return c;
}

}  // namespace

TEST(Controls, CheckBoxRunsOnClickWhenItsStateChanges) {
    TForm form(nullptr);
    auto* box = Put<TCheckBox>(form);
    form.Show();
    int clicks = 0;
    box->OnClick = [&](TObject*) { ++clicks; };
    box->SetChecked(true);
    box->SetChecked(true);
    EXPECT_EQ(clicks, 1) << "set in code it clicks, once per change";
    QTest::mouseClick(box->Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(6, box->Height() / 2));
    EXPECT_FALSE(box->Checked());
    EXPECT_EQ(clicks, 2);
}

TEST(Controls, RadioGroupKeepsOneItemAndTellsWhenTheUserPicksAnother) {
    TForm form(nullptr);
    auto* group = Put<TRadioGroup>(form);
    group->SetCaption("Orientação");
    group->Items()->Add("Retrato");
    group->Items()->Add("Paisagem");
    EXPECT_EQ(group->ItemIndex(), -1);
    int clicks = 0;
    group->OnClick = [&](TObject*) { ++clicks; };
    group->SetItemIndex(1);
    EXPECT_EQ(clicks, 1);
    form.Show();
    uitest::Pump();
    auto buttons = group->Widget()->findChildren<QRadioButton*>();
    ASSERT_EQ(buttons.size(), 2);
    QTest::mouseClick(buttons[0], Qt::LeftButton, Qt::NoModifier, QPoint(6, buttons[0]->height() / 2));
    EXPECT_EQ(group->ItemIndex(), 0);
    EXPECT_EQ(clicks, 2);
    group->SetItemIndex(7);
    EXPECT_EQ(group->ItemIndex(), -1) << "an index outside the items selects none";
}

TEST(Controls, MemoLinesAndTextAreTheSameContent) {
    TForm form(nullptr);
    auto* memo = Put<TMemo>(form);
    memo->Lines()->Add("Primeira linha");
    memo->Lines()->Add("Observação");
    EXPECT_EQ(memo->Text(), "Primeira linha\r\nObservação");
    memo->SetText("a\r\nb\r\nc");
    EXPECT_EQ(memo->Lines()->Count(), 3);
    EXPECT_EQ(memo->Lines()->Get(2), "c");
    EXPECT_EQ(memo->TextEdit()->toPlainText().toStdString(), "a\nb\nc");
}

TEST(Controls, ComboBoxOfAFixedListShowsOnlyItsItems) {
    TForm form(nullptr);
    auto* combo = Put<TComboBox>(form);
    combo->Items()->Add("Sim");
    combo->Items()->Add("Não");
    combo->SetStyle(csDropDownList);
    combo->SetText("Não");
    EXPECT_EQ(combo->ItemIndex(), 1);
    combo->SetText("Talvez");
    EXPECT_EQ(combo->ItemIndex(), -1);
    EXPECT_EQ(combo->Text(), "");
    auto* free = Put<TComboBox>(form, 30);
    free->Items()->Add("Física");
    free->SetText("Outra");
    EXPECT_EQ(free->Text(), "Outra") << "a drop-down with an edit keeps any text";
    EXPECT_EQ(free->ItemIndex(), -1);
}

TEST(Controls, EditCaseAndPassword) {
    TForm form(nullptr);
    auto* e = Put<TEdit>(form);
    e->SetCharCase(ecUpperCase);
    e->SetText("senha");
    EXPECT_EQ(e->Text(), "SENHA");
    e->SetPasswordChar('*');
    EXPECT_EQ(e->LineEdit()->echoMode(), QLineEdit::Password);
    int changes = 0;
    e->OnChange = [&](TObject*) { ++changes; };
    e->SetText("outra");
    EXPECT_EQ(changes, 1);
}

TEST(Controls, PageControlShowsOnePageAndFocusSkipsTheHiddenOnes) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 400, 300);
    auto* pages = Put<TPageControl>(form);
    auto* geral = new TTabSheet(&form);
    geral->SetPageControl(pages);
    geral->SetCaption("&Geral");
    auto* obs = new TTabSheet(&form);
    obs->SetPageControl(pages);
    obs->SetCaption("Observações");
    auto* nome = new TEdit(&form);
    nome->SetParent(geral);
    auto* memo = new TMemo(&form);
    memo->SetParent(obs);
    EXPECT_EQ(pages->PageCount(), 2);
    EXPECT_EQ(pages->ActivePage(), geral);
    EXPECT_EQ(pages->TabWidget()->tabText(1).toStdString(), "Observações");
    EXPECT_EQ(form.FindNextControl(nullptr, true, true), nome);
    EXPECT_EQ(form.FindNextControl(nome, true, true), nome) << "the memo's page is hidden";
    int changes = 0;
    pages->OnChange = [&](TObject*) { ++changes; };
    pages->SetActivePageIndex(1);
    EXPECT_EQ(changes, 0) << "set in code, the page changes silently";
    EXPECT_EQ(form.FindNextControl(nullptr, true, true), memo);
    pages->TabWidget()->setCurrentIndex(0);
    EXPECT_EQ(changes, 1);
    delete obs;
    EXPECT_EQ(pages->PageCount(), 1);
}

// The focus is drawn on every kind of control the program moves it to, as
// the clerk moves through a form with the keyboard: a check box, a list
// and the page tabs look otherwise than when another control has it.
TEST(Controls, TheFocusIsDrawnOnCheckBoxesListsAndPageTabs) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 400, 300);
    auto* edit = Put<TEdit>(form);
    edit->SetBounds(10, 10, 120, 23);
    auto* check = Put<TCheckBox>(form);
    check->SetBounds(10, 40, 150, 23);
    check->SetCaption("Inativo");
    auto* combo = Put<TComboBox>(form);
    combo->SetBounds(10, 70, 150, 23);
    combo->SetStyle(csDropDownList);
    combo->Items()->Add("Física");
    combo->Items()->Add("Jurídica");
    combo->SetItemIndex(0);
    auto* pages = Put<TPageControl>(form);
    pages->SetBounds(10, 100, 300, 150);
    for (const char* caption : {"Geral", "Outros"}) {
        auto* sheet = new TTabSheet(&form);
        sheet->SetPageControl(pages);
        sheet->SetCaption(caption);
    }
    uitest::ShowActive(&form);
    const struct {
        const char* name;
        TWinControl* control;
        QWidget* drawn;
    } cases[] = {{"check box", check, check->Widget()},
                 {"list", combo, combo->Widget()},
                 {"page tabs", pages, pages->TabWidget()->tabBar()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        edit->SetFocus();
        uitest::Pump();
        const QImage without = c.drawn->grab().toImage();
        c.control->SetFocus();
        uitest::Pump();
        ASSERT_TRUE(c.drawn->hasFocus() || c.drawn->isAncestorOf(QApplication::focusWidget()) ||
                    QApplication::focusWidget() == c.drawn);
        EXPECT_NE(c.drawn->grab().toImage(), without) << "no focus drawn";
    }
}

TEST(Controls, TimerRunsItsHandlerOnlyWhileEnabled) {
    TTimer timer(nullptr);
    timer.SetEnabled(false);
    timer.SetInterval(5);
    int ticks = 0;
    timer.OnTimer = [&](TObject*) { ++ticks; };
    QTest::qWait(30);
    EXPECT_EQ(ticks, 0);
    timer.SetEnabled(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }, 2000));
    timer.SetEnabled(false);
    int stopped = ticks;
    QTest::qWait(30);
    EXPECT_EQ(ticks, stopped);
}

TEST(Controls, AManualClockRunsTimersOnlyAsFarAsItIsMovedOn) {
    ui::ManualTimerClock clock;
    TTimer slow(nullptr), fast(nullptr);
    slow.SetInterval(1000);
    fast.SetInterval(300);
    std::string order;
    slow.OnTimer = [&](TObject*) { order += "S"; };
    fast.OnTimer = [&](TObject*) { order += "f"; };
    QCoreApplication::processEvents();  // the event loop alone moves nothing
    EXPECT_EQ(order, "");
    clock.Advance(999);
    EXPECT_EQ(order, "fff");
    clock.Advance(1);
    EXPECT_EQ(order, "fffS");
    clock.Advance(200);  // fast's fourth tick falls at 1200
    EXPECT_EQ(order, "fffSf");
    fast.SetEnabled(false);
    clock.Advance(1000);
    EXPECT_EQ(order, "fffSfS");
    // Enabling starts a full interval from now.
    clock.Advance(100);
    fast.SetEnabled(true);
    clock.Advance(299);
    EXPECT_EQ(order, "fffSfS");
    clock.Advance(1);
    EXPECT_EQ(order, "fffSfSf");
    // A handler that stops its own timer is not run again.
    slow.OnTimer = [&](TObject*) {
        order += "X";
        slow.SetEnabled(false);
    };
    clock.Advance(5000);
    EXPECT_EQ(order.substr(order.find('X')), "X" + std::string(order.size() - order.find('X') - 1, 'f'));
    EXPECT_EQ(std::count(order.begin(), order.end(), 'X'), 1);
}

TEST(Controls, StatusBarPanelsHoldTheirTexts) {
    TForm form(nullptr);
    auto* bar = Put<TStatusBar>(form);
    bar->AddPanel()->SetText("Banco Dados:");
    bar->Panels(0)->SetWidth(75);
    bar->AddPanel()->SetText("/dados/fatura.db");
    EXPECT_EQ(bar->PanelCount(), 2);
    EXPECT_EQ(bar->Panels(1)->Text(), "/dados/fatura.db");
    auto labels = bar->Widget()->findChildren<QLabel*>();
    bool found = false;
    for (QLabel* l : labels) found = found || l->text() == "Banco Dados:";
    EXPECT_TRUE(found);
    EXPECT_EQ(bar->Align(), alBottom);
    EXPECT_THROW(bar->Panels(5), EListError);
}

TEST(Menus, ItemsRunTheirHandlersAndShareActionsWithToolButtons) {
    TForm form(nullptr);
    auto* menu = new TMainMenu(&form);
    form.SetMenu(menu);
    auto* cadastros = new TMenuItem(&form);
    cadastros->SetCaption("&Cadastros");
    menu->Items()->Add(cadastros);
    auto* clientes = new TMenuItem(&form);
    clientes->SetCaption("&Clientes");
    clientes->SetShortCut(ShortCut('L', {ssCtrl}));
    cadastros->Add(clientes);
    auto* sep = new TMenuItem(&form);
    sep->SetCaption("-");
    cadastros->Add(sep);
    int opened = 0;
    clientes->OnClick = [&](TObject*) { ++opened; };
    clientes->QtAction()->trigger();
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(sep->QtAction()->isSeparator());
    EXPECT_EQ(ShortCutToText(clientes->ShortCut()), "Ctrl+L");
    EXPECT_EQ(menu->FindItem("Clientes"), clientes);
    EXPECT_EQ(menu->MenuBar()->actions().size(), 1);

    auto* sair = new TAction(&form);
    sair->SetCaption("Sai&r");
    sair->SetHint("Sair do Sistema");
    int exits = 0;
    sair->OnExecute = [&](TObject*) { ++exits; };
    auto* item = new TMenuItem(&form);
    item->SetAction(sair);
    cadastros->Add(item);
    auto* bar = Put<TToolBar>(form);
    auto* button = new TToolButton(&form);
    button->SetParent(bar);
    button->SetAction(sair);
    EXPECT_EQ(button->Caption(), "Sai&r");
    EXPECT_EQ(button->Hint(), "Sair do Sistema");
    QTest::mouseClick(button->Button(), Qt::LeftButton);
    item->QtAction()->trigger();
    EXPECT_EQ(exits, 2);
    sair->SetEnabled(false);
    EXPECT_FALSE(item->QtAction()->isEnabled());
    EXPECT_FALSE(button->Enabled());
    delete sair;
    EXPECT_EQ(item->Action(), nullptr) << "items forget an action that goes";
    EXPECT_EQ(button->Action(), nullptr);
    delete clientes;
    EXPECT_EQ(cadastros->Count(), 2);
}

TEST(Menus, AToolButtonBoundToAMenuItemRunsItsCommand) {
    TForm form(nullptr);
    auto* item = new TMenuItem(&form);
    item->SetCaption("Clientes");
    item->SetHint("Cadastro de clientes");
    int opened = 0;
    item->OnClick = [&](TObject*) { ++opened; };
    auto* bar = Put<TToolBar>(form);
    auto* button = new TToolButton(&form);
    button->SetParent(bar);
    button->SetMenuItem(item);
    EXPECT_EQ(button->Caption(), "Clientes");
    button->Click();
    EXPECT_EQ(opened, 1);
    auto* popup = new TPopupMenu(&form);
    auto* link = new TMenuItem(&form);
    link->SetCaption("Consulta NF-e na Sefaz");
    popup->Items()->Add(link);
    auto* drop = new TToolButton(&form);
    drop->SetParent(bar);
    drop->SetStyle(tbsDropDown);
    drop->SetDropdownMenu(popup);
    EXPECT_EQ(drop->Button()->menu(), popup->Menu());
    EXPECT_EQ(popup->Menu()->actions().size(), 1);
}

TEST(Controls, BitButtonKindsSetCaptionAndResult) {
    TForm form(nullptr);
    auto* ok = Put<TBitBtn>(form);
    ok->SetKind(bkOK);
    EXPECT_EQ(ok->Caption(), "OK");
    EXPECT_EQ(ok->ModalResult(), mrOk);
    EXPECT_EQ(form.DefaultButton(), ok);
    auto* cancel = Put<TBitBtn>(form);
    cancel->SetKind(bkCancel);
    EXPECT_EQ(cancel->Caption(), "Cancelar");
    EXPECT_EQ(form.CancelButton(), cancel);
    delete cancel;
    EXPECT_EQ(form.CancelButton(), nullptr) << "a freed button is no longer the cancel button";
    EXPECT_FALSE(ok->LoadGlyphFromFile("/nao/existe.bmp"));
    EXPECT_FALSE(ok->HasGlyph());
}

TEST(Controls, ImageLoadsAPictureFileAndFitsItProportionally) {
    testsupport::TempDir dir;
    QImage picture(200, 100, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(QString::fromStdString(dir.file("logo.png"))));
    TForm form(nullptr);
    auto* image = Put<TImage>(form);
    image->SetBounds(0, 0, 100, 100);
    image->SetCenter(true);
    image->SetStretch(true);
    image->SetProportional(true);
    EXPECT_TRUE(image->LoadFromFile(dir.file("logo.png")));
    EXPECT_FALSE(image->Empty());
    EXPECT_EQ(image->PictureWidth(), 100);
    EXPECT_EQ(image->PictureHeight(), 50) << "the shape is kept";
    EXPECT_FALSE(image->LoadFromFile(dir.file("nao-existe.png")));
    EXPECT_TRUE(image->Empty()) << "a file that cannot be read clears the image";
}
