// The desktop look: Qt's own texts in Portuguese, icons that never leave a
// hole, file filters, menus without a stray "-", shortcut keys in popup
// menus, status panels and toolbars that fit their texts, anchored controls
// and maximised or fixed-size windows.
#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QSignalSpy>
#include <QStyleHints>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>

#include "platform/ui/ComCtrls.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Menus.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

QStringList Texts(const QList<QAbstractButton*>& Buttons) {
    QStringList out;
    for (QAbstractButton* b : Buttons) out << b->text();
    return out;
}

}  // namespace

TEST(Desktop, QtsOwnDialogsAndMenusSpeakPortuguese) {
    ui::EnsureQtApplication();
    ASSERT_TRUE(ui::QtTranslationsLoaded()) << "qt6-translations-l10n (scripts/install-deps) não está instalado";
    // The words of Qt's pt_BR catalogue.
    QMessageBox box(QMessageBox::Question, "t", "x", QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), "&Sim");
    EXPECT_EQ(box.button(QMessageBox::No)->text(), "&Não");
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "Cancelar");

    QFileDialog open;
    open.setOption(QFileDialog::DontUseNativeDialog, true);
    QDialogButtonBox* buttons = open.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(Texts(buttons->buttons()), (QStringList{"&Abrir", "Cancelar"}));
    QStringList labels;
    for (QLabel* l : open.findChildren<QLabel*>()) labels << l->text();
    EXPECT_TRUE(labels.contains("&Nome do arquivo:")) << labels.join(" | ").toStdString();

    QLineEdit edit;
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    EXPECT_TRUE(menu->actions().front()->text().startsWith("&Desfazer")) << menu->actions().front()->text().toStdString();
}

TEST(Desktop, IconsComeFromTheThemeAndAMissingOneIsNeverAHole) {
    ui::EnsureQtApplication();
    EXPECT_TRUE(ui::HasThemeIcon("document-save")) << "tema de ícones " << ui::kIconTheme << " não instalado";
    EXPECT_FALSE(ui::ThemeIcon("document-save").pixmap(24, 24).isNull());
    EXPECT_FALSE(ui::HasThemeIcon("zzfaturamento4711"));
    EXPECT_FALSE(ui::ThemeIcon("zzfaturamento4711").pixmap(24, 24).isNull());
}

TEST(Desktop, AFileFilterListsEachPatternOnceWhateverItsCase) {
    EXPECT_EQ(ui::QtFileFilter("Banco Dados do Faturamento|*.db;*.DB|Todos os arquivos|*"),
              "Banco Dados do Faturamento (*.db);;Todos os arquivos (*)");
    EXPECT_EQ(ui::QtFileFilter("Imagens|*.JPG;*.jpg;*.png;*.Png;*.PNG"), "Imagens (*.JPG *.png)");
    // A description that already names its patterns does not name them twice.
    EXPECT_EQ(ui::QtFileFilter("JPEG Image File (*.jpg)|*.jpg|Bitmaps (*.bmp)|*.bmp"),
              "JPEG Image File (*.jpg);;Bitmaps (*.bmp)");
}

TEST(Desktop, TheFileDialogListsBothSpellingsOfAnExtension) {
    // The filter shows "*.db" once; the dialog still lists "B.DB".
    ui::EnsureQtApplication();
    testsupport::TempDir dir;
    for (const char* name : {"a.db", "B.DB", "c.txt"}) testsupport::WriteAll(dir.file(name), "x");
    QFileDialog d(nullptr, "t", QString(), ui::QtFileFilter("Banco Dados|*.db;*.DB"));
    d.setOption(QFileDialog::DontUseNativeDialog, true);
    auto* model = d.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    // The dialog reads the folder in a thread of its own and says when done.
    QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
    d.setDirectory(QString::fromStdString(dir.path().string()));
    d.show();
    ASSERT_TRUE(loaded.wait(10000));
    uitest::Pump();
    auto* view = d.findChild<QAbstractItemView*>("listView");
    ASSERT_NE(view, nullptr);
    QStringList shown;
    for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r)
        shown << view->model()->index(r, 0, view->rootIndex()).data().toString();
    shown.sort();
    EXPECT_EQ(shown, (QStringList{"B.DB", "a.db"}));
}

TEST(Desktop, SeparatorsShowNoDashAndPopupMenusShowTheirShortcuts) {
    TForm form(nullptr);
    auto* popup = new TPopupMenu(&form);
    auto* find = new TMenuItem(&form);
    find->SetCaption("Localizar");
    find->SetShortCut(ShortCut('L', TShiftState{ssCtrl}));
    auto* line = new TMenuItem(&form);
    line->SetCaption("-");
    auto* ok = new TMenuItem(&form);
    ok->SetCaption("OK");
    popup->Items()->Add(find);
    popup->Items()->Add(line);
    popup->Items()->Add(ok);
    // Of two marked letters the last one is the accelerator, as it is drawn.
    auto* tools = new TMenuItem(&form);
    tools->SetCaption("&Ferra&mentas && &&Cia");
    EXPECT_EQ(tools->QtAction()->text(), "Ferra&mentas && &&Cia");
    EXPECT_EQ(tools->Caption(), "&Ferra&mentas && &&Cia");
    delete tools;
    EXPECT_TRUE(line->IsSeparator());
    EXPECT_TRUE(line->QtAction()->isSeparator());
    EXPECT_TRUE(line->QtAction()->text().isEmpty());
    // A popup menu leaves room for the shortcut's text only when it shows it.
    EXPECT_TRUE(QGuiApplication::styleHints()->showShortcutsInContextMenus());
    QMenu* menu = popup->Menu();
    int with = menu->sizeHint().width();
    find->SetShortCut(0);
    menu->adjustSize();
    int without = menu->sizeHint().width();
    EXPECT_GT(with, without);
}

TEST(Desktop, MenuItemsShowTheGlyphOfTheirMenusImages) {
    TForm form(nullptr);
    auto* images = new TImageList(&form);
    int save = images->AddThemeIcon("document-save");
    auto* menu = new TMainMenu(&form);
    auto* file = new TMenuItem(&form);
    file->SetCaption("&Arquivo");
    auto* item = new TMenuItem(&form);
    item->SetCaption("&Salvar");
    item->SetImageIndex(save);
    file->Add(item);
    menu->Items()->Add(file);
    EXPECT_TRUE(item->QtAction()->icon().isNull()) << "no images yet";
    menu->SetImages(images);
    EXPECT_EQ(item->QtAction()->icon().cacheKey(), images->Icon(save).cacheKey());
    delete images;
    EXPECT_TRUE(item->QtAction()->icon().isNull()) << "images gone";
}

TEST(Desktop, StatusPanelsWidenToTheirTextAndTheBarToItsFont) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 800, 300);
    auto* bar = new TStatusBar(&form);
    bar->SetParent(&form);
    TStatusPanel* label = bar->AddPanel();
    label->SetWidth(20);
    label->SetText("Banco Dados:");
    TStatusPanel* path = bar->AddPanel();
    path->SetText("/uma/pasta/bem/comprida/para/o/banco/de/dados/faturamento_2024.db");
    uitest::ShowActive(&form);
    QList<QLabel*> labels;
    for (QLabel* l : bar->Widget()->findChildren<QLabel*>())
        if (l->isVisible()) labels << l;
    ASSERT_EQ(labels.size(), 2);
    for (QLabel* l : labels) {
        EXPECT_GE(l->width(), l->sizeHint().width()) << l->text().toStdString();
        EXPECT_GE(l->height(), l->fontMetrics().height()) << l->text().toStdString();
    }
    // A width wider than the text is kept.
    label->SetWidth(300);
    uitest::Pump();
    EXPECT_GE(labels[0]->width(), 300);
}

TEST(Desktop, AToolbarTooNarrowMovesItsLastButtonsIntoAMenu) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 700, 200);
    auto* bar = new TToolBar(&form);
    bar->SetParent(&form);
    bar->SetShowCaptions(true);
    std::vector<std::string> clicked;
    for (const char* caption : {"Clientes", "Produtos", "Transportadoras", "-", "Calculadora", "Sair"}) {
        auto* b = new TToolButton(&form);
        b->SetParent(bar);
        if (std::string(caption) == "-") {
            b->SetStyle(tbsSeparator);
            continue;
        }
        b->SetCaption(caption);
        b->OnClick = [&clicked, caption](TObject*) { clicked.push_back(caption); };
    }
    uitest::ShowActive(&form);
    EXPECT_FALSE(bar->OverflowButton()->isVisible()) << "all fit";

    form.SetBounds(0, 0, 260, 200);
    uitest::Pump();
    ASSERT_TRUE(bar->OverflowButton()->isVisible());
    QStringList items;
    for (QAction* a : bar->OverflowButton()->menu()->actions())
        items << (a->isSeparator() ? QString("-") : a->text());
    ASSERT_FALSE(items.isEmpty());
    EXPECT_EQ(items.back(), "Sair");
    EXPECT_NE(items.front(), "-") << "no separator first";
    // The arrow sits at the bar's end, right of every button still shown.
    EXPECT_EQ(bar->OverflowButton()->geometry().right(), bar->Widget()->width() - 1);
    for (int i = 0; i < bar->ButtonCount(); ++i) {
        TToolButton* b = bar->Buttons(i);
        EXPECT_EQ(b->Widget()->isVisible(), !b->Overflowed());
        if (!b->Overflowed()) {
            EXPECT_LE(b->Left() + b->Width(), bar->OverflowButton()->x());
        }
    }
    // A command in the menu does what its button does.
    bar->OverflowButton()->menu()->actions().back()->trigger();
    EXPECT_EQ(clicked, (std::vector<std::string>{"Sair"}));

    form.SetBounds(0, 0, 700, 200);
    uitest::Pump();
    EXPECT_FALSE(bar->OverflowButton()->isVisible());
    for (int i = 0; i < bar->ButtonCount(); ++i) EXPECT_FALSE(bar->Buttons(i)->Overflowed());
}

TEST(Desktop, AnchoredControlsKeepTheirDistanceToTheEdgesTheyAreAnchoredTo) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 400, 300);
    auto* grid = new TPanel(&form);
    grid->SetParent(&form);
    grid->SetBounds(10, 10, 300, 200);  // 90 from the right, 90 from the bottom
    grid->SetAnchors(TAnchors{akLeft, akTop, akRight, akBottom});
    auto* button = new TButton(&form);
    button->SetParent(&form);
    button->SetBounds(320, 10, 70, 25);  // 10 from the right
    button->SetAnchors(TAnchors{akTop, akRight});
    auto* fixed = new TButton(&form);
    fixed->SetParent(&form);
    fixed->SetBounds(10, 250, 70, 25);
    form.SetBounds(0, 0, 600, 500);
    EXPECT_EQ(grid->Left(), 10);
    EXPECT_EQ(grid->Top(), 10);
    EXPECT_EQ(grid->Width(), 500);
    EXPECT_EQ(grid->Height(), 400);
    EXPECT_EQ(button->Left(), 520);
    EXPECT_EQ(button->Width(), 70);
    EXPECT_EQ(fixed->Left(), 10);
    EXPECT_EQ(fixed->Top(), 250);
    // Placed again, the control counts its distances from where it now is.
    button->SetBounds(500, 10, 70, 25);
    form.SetBounds(0, 0, 500, 500);
    EXPECT_EQ(button->Left(), 400);
}

TEST(Desktop, AMaximisedWindowCoversTheScreensFreeAreaAndADialogKeepsItsSize) {
    TForm main(nullptr);
    main.SetBounds(0, 0, 300, 200);
    main.SetWindowState(wsMaximized);
    uitest::ShowActive(&main);
    QRect area = ui::AvailableScreenArea(main.Widget());
    EXPECT_TRUE(main.Widget()->frameGeometry().contains(area));

    TForm dialog(nullptr);
    dialog.SetBorderStyle(bsDialog);
    dialog.SetBounds(10, 10, 320, 180);
    uitest::ShowActive(&dialog);
    QWidget* w = dialog.Widget();
    EXPECT_EQ(w->minimumSize(), QSize(320, 180));
    EXPECT_EQ(w->maximumSize(), QSize(320, 180));
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowCloseButtonHint);
    // Resized by the program, it keeps the new size.
    dialog.SetBounds(10, 10, 400, 200);
    EXPECT_EQ(w->size(), QSize(400, 200));
    EXPECT_EQ(w->maximumSize(), QSize(400, 200));
}

TEST(Desktop, AHeadingSizesToItsTextAfterItsFontGrows) {
    TForm form(nullptr);
    auto* heading = new TLabel(&form);
    heading->SetParent(&form);
    heading->SetCaption("Aplicativo Bloqueado ! - NOTA224");
    int plain = heading->Width();
    heading->SetFontBold(true);
    heading->SetFontSize(12);
    auto* label = static_cast<QLabel*>(heading->Widget());
    EXPECT_GT(heading->Width(), plain);
    EXPECT_GE(heading->Width(), label->sizeHint().width());
    EXPECT_GE(heading->Height(), label->sizeHint().height());
}

TEST(Desktop, AGridAnchoredInATabSheetGrowsWithTheForm) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 600, 400);
    auto* pages = new TPageControl(&form);
    pages->SetParent(&form);
    pages->SetAlign(alClient);
    auto* first = new TTabSheet(&form);
    first->SetPageControl(pages);
    first->SetCaption("Geral");
    auto* second = new TTabSheet(&form);
    second->SetPageControl(pages);
    second->SetCaption("Itens");
    // Placed 10 pixels from each edge of the page, before anything is shown.
    int width = second->ClientWidth(), height = second->ClientHeight();
    ASSERT_GT(width, 500);
    auto* grid = new TPanel(&form);
    grid->SetParent(second);
    grid->SetBounds(10, 10, width - 20, height - 20);
    grid->SetAnchors(TAnchors{akLeft, akTop, akRight, akBottom});
    uitest::ShowActive(&form);
    form.SetBounds(0, 0, 800, 500);
    pages->SetActivePage(second);
    uitest::Pump();
    EXPECT_EQ(second->ClientWidth() - (grid->Left() + grid->Width()), 10);
    EXPECT_EQ(second->ClientHeight() - (grid->Top() + grid->Height()), 10);
    EXPECT_GT(grid->Width(), width);
}
