#pragma once
// Common controls: page control with tab sheets, status bar with panels,
// toolbar with buttons, image list; and the bitmap and speed buttons.
#include <memory>
#include <string>
#include <vector>

#include <QIcon>
#include <QProgressBar>

#include "platform/ui/Controls.h"
#include "platform/ui/StdCtrls.h"

class QTabWidget;
class QStatusBar;
class QLabel;
class QToolBar;
class QToolButton;
class TAction;
class TMenuItem;
class TPopupMenu;
class TPageControl;

// Glyphs by index, loaded from picture files or bytes.
class TImageList : public TComponent {
public:
    FAT_CLASS_NAME(TImageList)
    explicit TImageList(TComponent* AOwner) : TComponent(AOwner) {}
    // The new index; -1 when the file is not a picture.
    int AddFromFile(const std::string& FileName);
    // The desktop theme's icon of that freedesktop name ("document-save"),
    // with the fallback of ui::ThemeIcon; the new index.
    int AddThemeIcon(const std::string& Name);
    int Count() const { return static_cast<int>(icons_.size()); }
    QIcon Icon(int Index) const;

private:
    std::vector<QIcon> icons_;
};

class TTabSheet : public TWinControl {
public:
    FAT_CLASS_NAME(TTabSheet)
    explicit TTabSheet(TComponent* AOwner);
    ~TTabSheet() override;

    TPageControl* PageControl() const { return pageControl_; }
    void SetPageControl(TPageControl* Value);
    int PageIndex() const;
    bool TabVisible() const { return tabVisible_; }
    void SetTabVisible(bool Value);
    bool CanFocus() const override { return false; }

    TNotifyEvent OnShow;
    TNotifyEvent OnHide;

protected:
    std::string GetText() const override { return text_; }
    void SetTextValue(const std::string& Value) override;

private:
    friend class TPageControl;
    TPageControl* pageControl_ = nullptr;
    bool tabVisible_ = true;
};

class TPageControl : public TWinControl {
public:
    FAT_CLASS_NAME(TPageControl)
    explicit TPageControl(TComponent* AOwner);
    ~TPageControl() override;

    int PageCount() const { return static_cast<int>(pages_.size()); }
    TTabSheet* Pages(int Index) const;
    TTabSheet* ActivePage() const;
    void SetActivePage(TTabSheet* Page);
    int ActivePageIndex() const;
    void SetActivePageIndex(int Index);
    void SelectNextPage(bool GoForward);
    bool CanFocus() const override { return false; }

    // Ctrl+Tab and Ctrl+PgDn show the next page, Ctrl+Shift+Tab and
    // Ctrl+PgUp the previous one, wherever the focus is in the window; a
    // page's Alt letter shows that page. A page the keys show takes the
    // focus to its first control in tab order, as a click on the tab and a
    // click into the page would.
    // The page as the user changes it: OnChanging may refuse, OnChange
    // follows, and the focus goes to the page's first control.
    void SelectPageByUser(int Index);
    // The same without moving the focus; false when the page is not shown.
    bool ShowPageByUser(int Index);
    // Tab and Enter go on from a page's last control to the next page's
    // first one (and back), showing it, before they reach what follows
    // the page control.
    bool TabThroughPages() const { return tabThroughPages_; }
    void SetTabThroughPages(bool Value) { tabThroughPages_ = Value; }

    // OnChanging may refuse the change; OnChange runs after it.
    std::function<void(TObject* Sender, bool& AllowChange)> OnChanging;
    TNotifyEvent OnChange;

    QTabWidget* TabWidget() const { return tabs_; }

private:
    friend class TTabSheet;
    void InsertPage(TTabSheet* Page);
    void RemovePage(TTabSheet* Page);
    void SyncVisibility();
    void StepPage(bool GoForward);
    void FocusFirstControl();
    QTabWidget* tabs_;
    std::vector<TTabSheet*> pages_;
    int lastIndex_ = -1;
    bool syncing_ = false;
    bool tabThroughPages_ = false;
};

// A panel is at least Width pixels wide and never narrower than its text;
// the last one takes what the others leave.
class TStatusPanel {
public:
    std::string Text() const { return text_; }
    void SetText(const std::string& Value);
    int Width() const { return width_; }
    void SetWidth(int Value);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment Value);

private:
    friend class TStatusBar;
    void Fit();
    QLabel* label_ = nullptr;
    std::string text_;
    int width_ = 50;
    bool last_ = true;
    TAlignment alignment_ = taLeftJustify;
};

class TStatusBar : public TWinControl {
public:
    FAT_CLASS_NAME(TStatusBar)
    explicit TStatusBar(TComponent* AOwner);
    ~TStatusBar() override;

    int PanelCount() const { return static_cast<int>(panels_.size()); }
    TStatusPanel* Panels(int Index) const;
    TStatusPanel* AddPanel();
    // One text over the whole bar instead of the panels.
    bool SimplePanel() const { return simplePanel_; }
    void SetSimplePanel(bool Value);
    const std::string& SimpleText() const { return simpleText_; }
    void SetSimpleText(const std::string& Value);
    bool CanFocus() const override { return false; }

private:
    void FitHeight();
    QStatusBar* bar_;
    std::vector<std::unique_ptr<TStatusPanel>> panels_;
    QLabel* simple_;
    bool simplePanel_ = false;
    std::string simpleText_;
};

enum TToolButtonStyle { tbsButton, tbsCheck, tbsDropDown, tbsSeparator, tbsDivider };

class TToolButton : public TGraphicControl {
public:
    FAT_CLASS_NAME(TToolButton)
    explicit TToolButton(TComponent* AOwner);
    ~TToolButton() override;

    TToolButtonStyle Style() const { return style_; }
    void SetStyle(TToolButtonStyle Value);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int Value);
    bool Down() const;
    void SetDown(bool Value);
    // A menu item whose caption, hint, state and command the button takes.
    TMenuItem* MenuItem() const { return menuItem_; }
    void SetMenuItem(TMenuItem* Value);
    TAction* Action() const { return action_; }
    void SetAction(TAction* Value);
    TPopupMenu* DropdownMenu() const { return dropdownMenu_; }
    void SetDropdownMenu(TPopupMenu* Value);
    void SetParent(TWinControl* AParent) override;
    void SetEnabled(bool Value) override;
    void SetVisible(bool Value) override;
    void Click() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

    QToolButton* Button() const { return button_; }
    // Whether the bar had no room for it: it is then an item of the bar's
    // overflow menu instead.
    bool Overflowed() const { return overflowed_; }

protected:
    std::string GetText() const override { return text_; }
    void SetTextValue(const std::string& Value) override;

private:
    friend class TToolBar;
    void ApplyIcon();
    QToolButton* button_;
    TToolButtonStyle style_ = tbsButton;
    int imageIndex_ = -1;
    TMenuItem* menuItem_ = nullptr;
    TAction* action_ = nullptr;
    TPopupMenu* dropdownMenu_ = nullptr;
    bool overflowed_ = false;
};

// Buttons left to right, all as tall as the tallest. When the bar is
// narrower than its buttons, those that do not fit move into a menu behind
// an arrow at the bar's right end, so no command ever vanishes.
class TToolBar : public TWinControl {
public:
    FAT_CLASS_NAME(TToolBar)
    explicit TToolBar(TComponent* AOwner);

    TImageList* Images() const { return images_; }
    void SetImages(TImageList* Value);
    bool ShowCaptions() const { return showCaptions_; }
    void SetShowCaptions(bool Value);
    int ButtonCount() const;
    TToolButton* Buttons(int Index) const;
    // The height every button takes (the tallest one's); a bar that shows
    // all of them whole is this tall.
    int ButtonHeight() const;
    // The arrow that opens the overflow menu (hidden while all buttons fit).
    QToolButton* OverflowButton() const { return overflow_; }
    bool CanFocus() const override { return false; }
    void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
    bool WidgetEvent(QObject* Watched, QEvent* Event) override;

private:
    friend class TToolButton;
    void Relayout();
    void FillOverflowMenu(const std::vector<TToolButton*>& Hidden);
    TImageList* images_ = nullptr;
    bool showCaptions_ = false;
    bool relayingOut_ = false;
    QToolButton* overflow_ = nullptr;
};

enum TBitBtnKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };

class TBitBtn : public TButton {
public:
    FAT_CLASS_NAME(TBitBtn)
    explicit TBitBtn(TComponent* AOwner);

    // Sets caption and modal result of the standard buttons ("OK", "Cancelar"...).
    TBitBtnKind Kind() const { return kind_; }
    void SetKind(TBitBtnKind Value);
    // False when the file is not a picture (the glyph is cleared).
    bool LoadGlyphFromFile(const std::string& FileName);
    void SetGlyph(const QIcon& Icon);
    bool HasGlyph() const;

private:
    TBitBtnKind kind_ = bkCustom;
};

class TSpeedButton : public TBitBtn {
public:
    FAT_CLASS_NAME(TSpeedButton)
    explicit TSpeedButton(TComponent* AOwner);
    bool Flat() const { return flat_; }
    void SetFlat(bool Value);

private:
    bool flat_ = false;
};

// A progress bar from Min to Max showing Position.
class TProgressBar : public TWinControl {
public:
    FAT_CLASS_NAME(TProgressBar)
    explicit TProgressBar(TComponent* AOwner);

    int Min() const { return min_; }
    void SetMin(int Value);
    int Max() const { return max_; }
    void SetMax(int Value);
    int Position() const { return position_; }
    // Kept within Min..Max.
    void SetPosition(int Value);
    void StepBy(int Delta) { SetPosition(position_ + Delta); }

private:
    void Apply();
    QProgressBar* bar_;
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
};
