#pragma once
// Menus and actions: the main menu of a form, popup menus, their items and
// the actions that items and tool buttons share.
#include <string>
#include <vector>

#include <QKeySequence>
#include <QMenuBar>
#include <QPointer>

#include "platform/ui/Controls.h"

class QAction;
class QMenu;
class QMenuBar;
class TMenuItem;
class TImageList;

// Key code with scShift / scCtrl / scAlt, as the class library packs it.
using TShortCut = std::uint16_t;
inline constexpr TShortCut scShift = 0x2000;
inline constexpr TShortCut scCtrl = 0x4000;
inline constexpr TShortCut scAlt = 0x8000;
TShortCut ShortCut(Word Key, TShiftState Shift);
// "Ctrl+L", "F5"...; empty for 0.
std::string ShortCutToText(TShortCut Value);
namespace ui {
// The key sequence Qt matches for a shortcut; empty for 0.
QKeySequence KeySequenceOf(TShortCut Value);
}  // namespace ui

// A command with a caption, state and handler that several controls show.
class TAction : public TComponent {
public:
    FAT_CLASS_NAME(TAction)
    explicit TAction(TComponent* AOwner);
    ~TAction() override;

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& Value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value);
    bool Visible() const { return visible_; }
    void SetVisible(bool Value);
    bool Checked() const { return checked_; }
    void SetChecked(bool Value);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& Value);
    TShortCut ShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut Value);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int Value) { imageIndex_ = Value; Changed(); }

    // Runs OnExecute when enabled; true when a handler ran.
    virtual bool Execute();
    TNotifyEvent OnExecute;

    // Clients are told when a property changes.
    void AddClient(TComponent* Client, std::function<void()> Changed);
    void RemoveClient(TComponent* Client);

private:
    void Changed();
    std::string caption_, hint_;
    bool enabled_ = true, visible_ = true, checked_ = false;
    TShortCut shortCut_ = 0;
    int imageIndex_ = -1;
    std::vector<std::pair<TComponent*, std::function<void()>>> clients_;
};

class TActionList : public TComponent {
public:
    FAT_CLASS_NAME(TActionList)
    explicit TActionList(TComponent* AOwner) : TComponent(AOwner) {}
};

class TMenuItem : public TComponent {
public:
    FAT_CLASS_NAME(TMenuItem)
    explicit TMenuItem(TComponent* AOwner);
    ~TMenuItem() override;

    // "-" makes a separator.
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& Value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value);
    bool Visible() const { return visible_; }
    void SetVisible(bool Value);
    bool Checked() const { return checked_; }
    void SetChecked(bool Value);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& Value);
    TShortCut ShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut Value);
    // The glyph of the menu's Images shown beside the caption (-1: none).
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int Value);
    TAction* Action() const { return action_; }
    void SetAction(TAction* Value);

    // Sub-items; an item frees its sub-items.
    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int Index) const;
    TMenuItem* Parent() const { return parent_; }
    void Add(TMenuItem* Item);
    void Insert(int Index, TMenuItem* Item);
    void Remove(TMenuItem* Item);
    void Delete(int Index);
    void Clear();
    int IndexOf(const TMenuItem* Item) const;
    bool IsSeparator() const { return caption_ == "-"; }

    // The action, else OnClick.
    virtual void Click();
    TNotifyEvent OnClick;

    QAction* QtAction() const { return qaction_; }
    // The submenu (created on the first sub-item).
    QMenu* QtMenu() const { return menu_; }
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    friend class TMenu;
    friend class TMainMenu;
    friend class TPopupMenu;
    void Apply();
    // Sets the glyph of this item and of its sub-items from the menu's Images.
    void ApplyIcon();
    class TMenu* Menu() const;
    void EnsureMenu();
    void Rebuild();
    std::string caption_, hint_;
    bool enabled_ = true, visible_ = true, checked_ = false;
    TShortCut shortCut_ = 0;
    int imageIndex_ = -1;
    TAction* action_ = nullptr;
    QAction* qaction_;
    QMenu* menu_ = nullptr;
    std::vector<TMenuItem*> items_;
    TMenuItem* parent_ = nullptr;
    class TMenu* root_ = nullptr;  // set on the root item of a menu
};

class TMenu : public TComponent {
public:
    FAT_CLASS_NAME(TMenu)
    explicit TMenu(TComponent* AOwner);
    // The root item; top-level items are its sub-items.
    TMenuItem* Items() const { return items_; }
    // The item whose caption (without "&") is Caption, searched depth first.
    TMenuItem* FindItem(const std::string& Caption) const;
    // The shown, enabled item (under shown, enabled parents) whose shortcut,
    // its own or its action's, is Value; nullptr when none.
    TMenuItem* FindShortCut(TShortCut Value) const;
    // The glyphs the items' ImageIndex points into.
    TImageList* Images() const { return images_; }
    void SetImages(TImageList* Value);
    void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
    friend class TMenuItem;
    virtual void ItemsChanged() {}
    TMenuItem* items_;
    TImageList* images_ = nullptr;
};

class TMainMenu : public TMenu {
public:
    FAT_CLASS_NAME(TMainMenu)
    explicit TMainMenu(TComponent* AOwner);
    ~TMainMenu() override;
    QMenuBar* MenuBar() const { return bar_; }

protected:
    void ItemsChanged() override;

private:
    QPointer<QMenuBar> bar_;
};

class TPopupMenu : public TMenu {
public:
    FAT_CLASS_NAME(TPopupMenu)
    explicit TPopupMenu(TComponent* AOwner);
    ~TPopupMenu() override;
    // Shows the menu at screen position X, Y (OnPopup runs first).
    void Popup(int X, int Y);
    TNotifyEvent OnPopup;
    QMenu* Menu() const;
};
