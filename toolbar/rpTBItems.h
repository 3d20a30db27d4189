#pragma once
// The toolbar framework as the preview and e-mail windows use it: items
// (buttons, sub-menus, separators) in a tree, toolbars that show the items
// of their root either as a tool bar or as a menu bar, and the docks that
// hold toolbars at a window's edge. Qt draws them (QToolBar, QMenuBar);
// there are no themes.
//
// An item owns its children: freeing an item frees them, and an item freed
// by its component owner first leaves its parent. Each item keeps one
// QAction that every view of it shares, so a change of caption, check,
// picture or visibility shows wherever the item is shown. A change of the
// tree (an item added or removed) makes the toolbar build its bar again.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QWidget>

#include "platform/rtl/SysUtils.h"
#include "platform/rtl/TypInfo.h"
#include "platform/ui/Controls.h"

class QAction;
class QMenu;
class QMenuBar;
class QToolBar;
class QBoxLayout;

// A misuse of the item tree (an index outside the children).
class ETBItemError : public Exception {
public:
    using Exception::Exception;
};

// How a button shows: picture alone when it has one, text alone (also in
// menus), or both.
enum TrpTBItemDisplayMode { nbdmDefault, nbdmTextOnly, nbdmTextOnlyInMenus, nbdmImageAndText };

class TrpTBCustomItem : public TComponent {
public:
    // Publishes Caption, Checked, DisplayMode, ImageIndex and Visible.
    FAT_CLASS(TrpTBCustomItem)
    explicit TrpTBCustomItem(TComponent* AOwner);
    ~TrpTBCustomItem() override;

    // The child at Index; ETBItemError "Toolbar item index out of range"
    // outside 0..Count-1.
    TrpTBCustomItem* GetItem(int Index) const;
    TrpTBCustomItem* Items(int Index) const { return GetItem(Index); }
    int Count() const { return static_cast<int>(items_.size()); }
    // Appends Item (taking it from its former parent) and owns it.
    void Add(TrpTBCustomItem* Item);
    void Insert(int Index, TrpTBCustomItem* Item);
    // Takes Item out without freeing it.
    void Remove(TrpTBCustomItem* Item);
    int IndexOf(const TrpTBCustomItem* Item) const;
    TrpTBCustomItem* Parent() const { return parent_; }

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& Value);
    // Setting it unchecks the parent's other items of the same GroupIndex
    // (when that is not 0).
    bool Checked() const { return checked_; }
    void SetChecked(bool Value);
    TrpTBItemDisplayMode DisplayMode() const { return displayMode_; }
    void SetDisplayMode(TrpTBItemDisplayMode Value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int Value) { groupIndex_ = Value; }
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& Value);
    // An index into the shared tool image list; -1 for none.
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int Value);
    bool Visible() const { return visible_; }
    void SetVisible(bool Value);
    // A key sequence in Qt's portable text ("Ctrl+P"); empty for none.
    const std::string& ShortCut() const { return shortCut_; }
    void SetShortCut(const std::string& Value);

    // Runs OnClick (the views call it when the user picks the item).
    virtual void Click();
    TNotifyEvent OnClick;

    // Whether the item is a line between others / opens its children.
    virtual bool IsSeparator() const { return false; }
    virtual bool IsSubMenu() const { return false; }

    // The action the views show.
    QAction* Action() const;
    // Called after the tree below changed (the toolbar rebuilds).
    std::function<void()> OnTreeChange;

protected:
    void TreeChanged();
    // The views refresh from the item's values.
    void UpdateAction();

private:
    TrpTBCustomItem* parent_ = nullptr;
    std::vector<TrpTBCustomItem*> items_;
    std::string caption_;
    bool checked_ = false;
    TrpTBItemDisplayMode displayMode_ = nbdmDefault;
    bool enabled_ = true;
    int groupIndex_ = 0;
    std::string hint_;
    int imageIndex_ = -1;
    bool visible_ = true;
    std::string shortCut_;
    QAction* action_ = nullptr;
    bool destroying_ = false;
};

// An item of the toolbars proper, with a minimum width.
class TrpTBTCustomItem : public TrpTBCustomItem {
public:
    FAT_CLASS_NAME(TrpTBTCustomItem)
    using TrpTBCustomItem::TrpTBCustomItem;
    int MinWidth() const { return minWidth_; }
    void SetMinWidth(int Value);

private:
    int minWidth_ = 0;
};

class TrpTBSeparatorItem : public TrpTBTCustomItem {
public:
    FAT_CLASS_NAME(TrpTBSeparatorItem)
    using TrpTBTCustomItem::TrpTBTCustomItem;
    bool IsSeparator() const override { return true; }
};

// An item that shows a control of its own in a tool bar (a page number
// box); the item owns the control.
class TrpTBControlItem : public TrpTBTCustomItem {
public:
    FAT_CLASS_NAME(TrpTBControlItem)
    explicit TrpTBControlItem(TComponent* AOwner, QWidget* Control = nullptr);
    ~TrpTBControlItem() override;
    QWidget* Control() const { return control_.data(); }
    void SetControl(QWidget* Value);

private:
    // Qt may free it with its window first.
    QPointer<QWidget> control_;
};

class TrpTBTToolbar;

// The strip at a window's edge that holds toolbars one under the other.
class TrpTBTDock : public TWinControl {
public:
    FAT_CLASS_NAME(TrpTBTDock)
    explicit TrpTBTDock(TComponent* AOwner);
    ~TrpTBTDock() override;
    int ToolbarCount() const { return static_cast<int>(toolbars_.size()); }
    TrpTBTToolbar* Toolbars(int Index) const { return toolbars_.at(static_cast<std::size_t>(Index)); }
    // Fits the dock's height to its toolbars.
    void ArrangeToolbars();

private:
    friend class TrpTBTToolbar;
    void AddToolbar(TrpTBTToolbar* Toolbar);
    void RemoveToolbar(TrpTBTToolbar* Toolbar);
    std::vector<TrpTBTToolbar*> toolbars_;
};

// A bar showing the children of its root item.
class TrpTBTToolbar : public TWinControl {
public:
    FAT_CLASS_NAME(TrpTBTToolbar)
    explicit TrpTBTToolbar(TComponent* AOwner);
    ~TrpTBTToolbar() override;

    TrpTBCustomItem* Items() const { return root_.get(); }
    TrpTBTDock* CurrentDock() const { return dock_; }
    // Moves the bar into Dock; nullptr floats it over its parent form.
    void SetCurrentDock(TrpTBTDock* Dock);
    bool MenuBar() const { return menuBar_; }
    // True shows the items as a menu bar (full width, no close button,
    // keyboard accelerators); False as a tool bar again.
    void SetMenuBar(bool Value);
    // The Qt bar now showing (a QToolBar or a QMenuBar).
    QWidget* Bar() const { return bar_.data(); }
    // Builds the bar again from the items.
    void Rebuild();
    bool Floating() const { return dock_ == nullptr && floating_; }

private:
    friend class TrpTBTDock;
    void AddToMenu(QMenu* Menu, TrpTBCustomItem* Item);
    std::unique_ptr<TrpTBCustomItem> root_;
    TrpTBTDock* dock_ = nullptr;
    bool menuBar_ = false;
    bool floating_ = false;
    // Qt frees it with the window when the window goes first.
    QPointer<QWidget> bar_;
    QPointer<QBoxLayout> layout_;
};
