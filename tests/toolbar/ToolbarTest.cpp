// The toolbar pieces offscreen: the item tree and its errors, grouped
// checks, the bar as tool bar or menu bar, docking and the tool pictures.
#include <memory>
#include <string>

#include <QAction>
#include <QMenuBar>
#include <QToolBar>
#include <gtest/gtest.h>

#include "platform/rtl/Strings.h"
#include "platform/rtl/TypInfo.h"
#include "platform/ui/Forms.h"
#include "tests/support/PublishedTable.h"
#include "toolbar/rpToolbar.h"

namespace {

class Toolbar : public ::testing::Test {
protected:
    void SetUp() override {
        Application->Initialize();
        form_ = std::make_unique<TForm>(nullptr);
        dock_ = new TrpTBTDock(form_.get());
        dock_->SetParent(form_.get());
        dock_->SetAlign(alTop);
        bar_ = new TrpToolbar(form_.get());
        bar_->SetCurrentDock(dock_);
    }
    std::unique_ptr<TForm> form_;
    TrpTBTDock* dock_ = nullptr;
    TrpToolbar* bar_ = nullptr;
};

TEST_F(Toolbar, AnIndexOutsideTheChildrenIsAnItemError) {
    TrpTBTCustomItem* a = bar_->AddButton();
    TrpTBTCustomItem* b = bar_->AddButton();
    EXPECT_EQ(bar_->Items()->GetItem(0), a);
    EXPECT_EQ(bar_->Items()->GetItem(1), b);
    for (int index : {-1, 2, 100}) {
        try {
            bar_->Items()->GetItem(index);
            ADD_FAILURE() << index;
        } catch (const ETBItemError& e) {
            EXPECT_EQ(e.Message(), "Toolbar item index out of range");
        }
    }
}

TEST_F(Toolbar, CheckingAnItemUnchecksItsGroupAmongItsSiblingsOnly) {
    TrpTBTCustomItem* a = bar_->AddButton();
    TrpTBTCustomItem* b = bar_->AddButton();
    TrpTBTCustomItem* other = bar_->AddButton();
    TrpTBTCustomItem* loose = bar_->AddButton();
    TrpSubMenuItem* menu = bar_->AddSubMenu();
    TrpTBTCustomItem* nested = menu->AddItem();
    for (TrpTBCustomItem* i : {a, b, nested}) i->SetGroupIndex(1);
    other->SetGroupIndex(2);
    other->SetChecked(true);
    loose->SetChecked(true);
    nested->SetChecked(true);
    a->SetChecked(true);
    b->SetChecked(true);
    EXPECT_FALSE(a->Checked());
    EXPECT_TRUE(b->Checked());
    EXPECT_TRUE(other->Checked());
    EXPECT_TRUE(loose->Checked());
    EXPECT_TRUE(nested->Checked());
    EXPECT_FALSE(a->Action()->isChecked());
    EXPECT_TRUE(b->Action()->isChecked());
}

// What an item publishes, as the framework's description lists it, and set
// by name as a stored form sets it: the views follow, and a check by name
// unchecks the item's group as a check in code does.
TEST_F(Toolbar, TheListedItemPropertiesArePublishedAndSetThroughTheItemsOwnSetters) {
    std::size_t checked = 0;
    const std::vector<std::string> failures = testsupport::CheckPublishedSubjects(
        {"toolbar-items"},
        [](const std::string& Name) {
            return SameText(Name, "TrpTBCustomItem") ? std::vector<TClass>{TrpTBCustomItem::StaticClassType()}
                                                     : std::vector<TClass>{};
        },
        &checked);
    EXPECT_EQ(checked, 5u);
    std::string text;
    for (const std::string& f : failures) text += "\n  " + f;
    EXPECT_TRUE(failures.empty()) << failures.size() << " missing:" << text;

    TrpTBTCustomItem* a = bar_->AddButton();
    TrpTBTCustomItem* b = bar_->AddButton();
    a->SetGroupIndex(3);
    b->SetGroupIndex(3);
    SetOrdProp(a, "Checked", 1);
    SetOrdProp(b, "Checked", 1);
    EXPECT_FALSE(a->Action()->isChecked());
    EXPECT_TRUE(b->Action()->isChecked());
    EXPECT_EQ(GetOrdProp(a, "Checked"), 0);
    SetStrProp(a, "Caption", "Próxima página");
    EXPECT_EQ(a->Action()->text().toStdString(), "Próxima página");
    SetOrdProp(a, "Visible", 0);
    EXPECT_FALSE(a->Action()->isVisible());
    SetEnumProp(a, "DisplayMode", "nbdmTextOnly");
    EXPECT_FALSE(a->Action()->isIconVisibleInMenu());
    SetOrdProp(a, "ImageIndex", GetToolImageList()->GetImageIndex("RPPRINT"));
    EXPECT_FALSE(a->Action()->icon().isNull());
}

TEST_F(Toolbar, TheBarShowsItsItemsAsToolBarOrMenuBarAndFollowsTheirChanges) {
    TrpTBTCustomItem* print = bar_->AddButton();
    print->SetCaption("Imprimir");
    int clicks = 0;
    print->OnClick = [&clicks](TObject*) { ++clicks; };
    TrpSubMenuItem* file = bar_->AddSubMenu();
    file->SetCaption("Arquivo");
    file->AddItem()->SetCaption("Sair");
    file->AddSeparator();
    ASSERT_NE(qobject_cast<QToolBar*>(bar_->Bar()), nullptr);
    EXPECT_TRUE(qobject_cast<QToolBar*>(bar_->Bar())->actions().contains(print->Action()));
    bar_->SetMenuBar(true);
    auto* menuBar = qobject_cast<QMenuBar*>(bar_->Bar());
    ASSERT_NE(menuBar, nullptr);
    ASSERT_EQ(menuBar->actions().size(), 2);
    EXPECT_EQ(menuBar->actions()[1]->text().toStdString(), "Arquivo");
    EXPECT_EQ(menuBar->actions()[1]->menu()->actions().size(), 2);
    print->SetCaption("Imprimir relatório");
    EXPECT_EQ(menuBar->actions()[0]->text().toStdString(), "Imprimir relatório");
    print->Action()->trigger();
    EXPECT_EQ(clicks, 1);
    bar_->SetMenuBar(false);
    EXPECT_NE(qobject_cast<QToolBar*>(bar_->Bar()), nullptr);
    delete print;
    EXPECT_EQ(bar_->Items()->Count(), 1);
}

TEST_F(Toolbar, ABarMovesBetweenDockAndFloating) {
    EXPECT_EQ(bar_->CurrentDock(), dock_);
    EXPECT_EQ(dock_->ToolbarCount(), 1);
    EXPECT_EQ(bar_->Widget()->parentWidget(), dock_->Widget());
    bar_->SetCurrentDock(nullptr);
    EXPECT_EQ(dock_->ToolbarCount(), 0);
    EXPECT_TRUE(bar_->Floating());
    EXPECT_TRUE(bar_->Widget()->isWindow());
    bar_->SetCurrentDock(dock_);
    EXPECT_FALSE(bar_->Widget()->isWindow());
    EXPECT_EQ(dock_->ToolbarCount(), 1);
}

TEST(ToolImages, NamesKeepTheirIndexAndMissingPicturesAreBlankOrMinusOne) {
    Application->Initialize();
    TrpToolImageList* list = GetToolImageList();
    EXPECT_EQ(list, GetToolImageList());
    const int print = list->GetImageIndex("RPPRINT");
    EXPECT_GE(print, 0);
    EXPECT_EQ(list->GetImageIndex("RPPRINT"), print);
    EXPECT_EQ(list->GetImageIndexNoDefault("RPPRINT"), print);
    EXPECT_FALSE(list->Icon(print).isNull());
    EXPECT_EQ(list->GetImageIndexNoDefault("RPNOSUCHPICTURE"), -1);
    const int blank = list->GetImageIndex("RPNOSUCHPICTURE");
    EXPECT_GE(blank, 0);
    EXPECT_NE(blank, print);
    for (const char* name : {"RPEMAIL", "RPNEW", "RPFIRST", "RPPRIOR", "RPNEXT", "RPLAST", "RPCLOSE"})
        EXPECT_GE(list->GetImageIndexNoDefault(name), 0) << name;
}

}  // namespace
