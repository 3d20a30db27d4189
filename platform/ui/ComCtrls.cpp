#include "platform/ui/ComCtrls.h"

#include <algorithm>

#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

#include <QEvent>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>
#include <QShortcutEvent>
#include <QStyle>

#include "platform/ui/Desktop.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"

using ui::ToQt;

// ---------------------------------------------------------------------------
// TImageList

int TImageList::AddFromFile(const std::string& FileName) {
    QPixmap p;
    if (!p.load(ToQt(FileName))) return -1;
    icons_.emplace_back(p);
    return Count() - 1;
}

int TImageList::AddThemeIcon(const std::string& Name) {
    icons_.push_back(ui::ThemeIcon(Name));
    return Count() - 1;
}

QIcon TImageList::Icon(int Index) const {
    if (Index < 0 || Index >= Count()) return QIcon();
    return icons_[static_cast<size_t>(Index)];
}

// ---------------------------------------------------------------------------
// TTabSheet, TPageControl

TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner) {
    auto* w = new QWidget;
    SetWidget(w);
}

TTabSheet::~TTabSheet() {
    if (pageControl_ != nullptr) pageControl_->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* Value) {
    if (pageControl_ == Value) return;
    if (pageControl_ != nullptr) pageControl_->RemovePage(this);
    pageControl_ = Value;
    SetParent(Value);
    if (Value != nullptr) Value->InsertPage(this);
}

int TTabSheet::PageIndex() const {
    if (pageControl_ == nullptr) return -1;
    auto& p = pageControl_->pages_;
    return static_cast<int>(std::find(p.begin(), p.end(), this) - p.begin());
}

void TTabSheet::SetTabVisible(bool Value) {
    tabVisible_ = Value;
    if (pageControl_ != nullptr) pageControl_->tabs_->setTabVisible(PageIndex(), Value);
}

void TTabSheet::SetTextValue(const std::string& Value) {
    text_ = Value;
    if (pageControl_ != nullptr) pageControl_->tabs_->setTabText(PageIndex(), ToQt(Value));
}

namespace {

// A page's Alt letter shows its page the way the other keys do (OnChanging
// asked, the focus taken into the page), not the tab bar's own way, which
// only switches.
class PageMnemonics : public QObject {
public:
    PageMnemonics(QTabBar* Bar, std::function<void(int)> Select) : QObject(Bar), bar_(Bar), select_(std::move(Select)) {
        Bar->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Watched != bar_ || Event->type() != QEvent::Shortcut) return false;
        const QKeySequence key = static_cast<QShortcutEvent*>(Event)->key();
        for (int i = 0; i < bar_->count(); ++i) {
            if (!bar_->isTabVisible(i) || QKeySequence::mnemonic(bar_->tabText(i)) != key) continue;
            select_(i);
            return true;
        }
        return false;
    }

private:
    QTabBar* bar_;
    std::function<void(int)> select_;
};

}  // namespace

TPageControl::TPageControl(TComponent* AOwner) : TWinControl(AOwner), tabs_(new QTabWidget) {
    SetWidget(tabs_);
    SetBounds(0, 0, 289, 193);
    // The keys a desktop's page controls take, wherever the focus is in
    // the window (a form has one page control at most; two would take
    // turns).
    const struct {
        QKeyCombination key;
        bool forward;
    } keys[] = {{Qt::CTRL | Qt::Key_Tab, true},
                {Qt::CTRL | Qt::Key_PageDown, true},
                {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, false},
                {Qt::CTRL | Qt::SHIFT | Qt::Key_Tab, false},
                {Qt::CTRL | Qt::Key_PageUp, false}};
    for (const auto& k : keys) {
        auto* shortcut = new QShortcut(QKeySequence(k.key), tabs_);
        shortcut->setContext(Qt::WindowShortcut);
        const bool forward = k.forward;
        auto step = [this, forward] { Guarded([&] { StepPage(forward); }); };
        QObject::connect(shortcut, &QShortcut::activated, tabs_, step);
        QObject::connect(shortcut, &QShortcut::activatedAmbiguously, tabs_, step);
    }
    new PageMnemonics(tabs_->tabBar(), [this](int Index) { Guarded([&] { SelectPageByUser(Index); }); });
    QObject::connect(tabs_->tabBar(), &QTabBar::tabBarClicked, tabs_, [this](int index) {
        if (syncing_ || index == tabs_->currentIndex() || !OnChanging) return;
        bool allow = true;
        Guarded([&] { OnChanging(this, allow); });
        if (!allow) {
            // Qt switches after the click: put the old page back at once.
            syncing_ = true;
            int keep = tabs_->currentIndex();
            QMetaObject::invokeMethod(tabs_, [this, keep] {
                tabs_->setCurrentIndex(keep);
                syncing_ = false;
            }, Qt::QueuedConnection);
        }
    });
    QObject::connect(tabs_, &QTabWidget::currentChanged, tabs_, [this](int index) {
        SyncVisibility();
        if (syncing_ || index == lastIndex_) return;
        int previous = lastIndex_;
        lastIndex_ = index;
        Guarded([&] {
            if (previous >= 0 && previous < PageCount() && Pages(previous)->OnHide) Pages(previous)->OnHide(Pages(previous));
            if (index >= 0 && index < PageCount() && Pages(index)->OnShow) Pages(index)->OnShow(Pages(index));
            if (OnChange) OnChange(this);
        });
    });
}

TPageControl::~TPageControl() {
    for (TTabSheet* p : pages_) p->pageControl_ = nullptr;
}

TTabSheet* TPageControl::Pages(int Index) const {
    if (Index < 0 || Index >= PageCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return pages_[static_cast<size_t>(Index)];
}

void TPageControl::InsertPage(TTabSheet* Page) {
    pages_.push_back(Page);
    syncing_ = true;
    tabs_->addTab(Page->Widget(), ToQt(Page->Caption()));
    syncing_ = false;
    if (lastIndex_ < 0) lastIndex_ = tabs_->currentIndex();
    SyncVisibility();
}

void TPageControl::RemovePage(TTabSheet* Page) {
    auto it = std::find(pages_.begin(), pages_.end(), Page);
    if (it == pages_.end()) return;
    syncing_ = true;
    tabs_->removeTab(static_cast<int>(it - pages_.begin()));
    syncing_ = false;
    pages_.erase(it);
    lastIndex_ = tabs_->currentIndex();
    SyncVisibility();
}

void TPageControl::SyncVisibility() {
    int current = tabs_->currentIndex();
    for (int i = 0; i < PageCount(); ++i) pages_[static_cast<size_t>(i)]->SetVisibleFlag(i == current);
}

TTabSheet* TPageControl::ActivePage() const {
    int i = tabs_->currentIndex();
    return i >= 0 && i < PageCount() ? pages_[static_cast<size_t>(i)] : nullptr;
}

void TPageControl::SetActivePage(TTabSheet* Page) {
    auto it = std::find(pages_.begin(), pages_.end(), Page);
    if (it != pages_.end()) SetActivePageIndex(static_cast<int>(it - pages_.begin()));
}

int TPageControl::ActivePageIndex() const { return tabs_->currentIndex(); }

void TPageControl::SetActivePageIndex(int Index) {
    if (Index < 0 || Index >= PageCount()) return;
    // Set in code, the class library runs neither OnChanging nor OnChange.
    syncing_ = true;
    tabs_->setCurrentIndex(Index);
    syncing_ = false;
    lastIndex_ = Index;
    SyncVisibility();
}

bool TPageControl::ShowPageByUser(int Index) {
    if (Index < 0 || Index >= PageCount() || !tabs_->isTabVisible(Index) || !tabs_->isTabEnabled(Index)) return false;
    if (Index != tabs_->currentIndex()) {
        bool allow = true;
        if (OnChanging) OnChanging(this, allow);
        if (!allow) return false;
        tabs_->setCurrentIndex(Index);
    }
    return ActivePageIndex() == Index;
}

void TPageControl::SelectPageByUser(int Index) {
    if (ShowPageByUser(Index)) FocusFirstControl();
}

void TPageControl::StepPage(bool GoForward) {
    const int n = PageCount();
    for (int step = 1; step < n; ++step) {
        const int i = (ActivePageIndex() + (GoForward ? step : n * 2 - step)) % n;
        if (tabs_->isTabVisible(i) && tabs_->isTabEnabled(i)) {
            SelectPageByUser(i);
            return;
        }
    }
}

void TPageControl::FocusFirstControl() {
    TTabSheet* page = ActivePage();
    if (page == nullptr) return;
    for (TWinControl* c : page->TabList()) {
        if (!c->CanFocus() || !c->TabStop() || c->PassedByTab()) continue;
        ui::ShowFocusOf(c->Widget());
        c->SetFocus();
        return;
    }
    // Nothing to type in on the page: the tabs keep the focus, and the
    // arrows go on from there.
    ui::ShowFocusOf(tabs_->tabBar());
    tabs_->tabBar()->setFocus(Qt::TabFocusReason);
}

void TPageControl::SelectNextPage(bool GoForward) {
    if (PageCount() == 0) return;
    int i = (ActivePageIndex() + (GoForward ? 1 : PageCount() - 1)) % PageCount();
    tabs_->setCurrentIndex(i);
}

// ---------------------------------------------------------------------------
// TStatusBar

void TStatusPanel::SetText(const std::string& Value) {
    text_ = Value;
    if (label_ != nullptr) label_->setText(ToQt(Value));
    Fit();
}

void TStatusPanel::SetWidth(int Value) {
    width_ = Value;
    Fit();
}

void TStatusPanel::Fit() {
    if (label_ == nullptr) return;
    // The widths were chosen for another system's font: the text decides
    // when it needs more.
    int need = text_.empty() ? 0 : label_->sizeHint().width();
    if (last_) {
        label_->setMinimumWidth(need);
        label_->setMaximumWidth(QWIDGETSIZE_MAX);
    } else {
        label_->setFixedWidth(std::max({0, width_, need}));
    }
}

void TStatusPanel::SetAlignment(TAlignment Value) {
    alignment_ = Value;
    if (label_ != nullptr)
        label_->setAlignment((Value == taCenter ? Qt::AlignHCenter : Value == taRightJustify ? Qt::AlignRight : Qt::AlignLeft) |
                             Qt::AlignVCenter);
}

TStatusBar::TStatusBar(TComponent* AOwner) : TWinControl(AOwner), bar_(new QStatusBar) {
    SetWidget(bar_);
    bar_->setSizeGripEnabled(false);
    simple_ = new QLabel;
    simple_->setTextFormat(Qt::PlainText);
    bar_->addWidget(simple_, 1);
    simple_->hide();
    SetBounds(0, 0, 200, 19);
    FitHeight();
    SetAlign(alBottom);
}

TStatusBar::~TStatusBar() = default;

void TStatusBar::FitHeight() {
    // Tall enough for the descenders ("_", "g") of the font in use.
    int need = bar_->sizeHint().height();
    if (need > Height()) SetHeight(need);
}

TStatusPanel* TStatusBar::Panels(int Index) const {
    if (Index < 0 || Index >= PanelCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return panels_[static_cast<size_t>(Index)].get();
}

TStatusPanel* TStatusBar::AddPanel() {
    auto p = std::make_unique<TStatusPanel>();
    p->label_ = new QLabel;
    p->label_->setTextFormat(Qt::PlainText);
    p->label_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // The last panel takes what the others leave.
    if (!panels_.empty()) {
        panels_.back()->last_ = false;
        panels_.back()->Fit();
    }
    bar_->addWidget(p->label_, 1);
    p->label_->setVisible(!simplePanel_);
    p->SetAlignment(taLeftJustify);
    panels_.push_back(std::move(p));
    FitHeight();
    return panels_.back().get();
}

void TStatusBar::SetSimplePanel(bool Value) {
    simplePanel_ = Value;
    simple_->setVisible(Value);
    for (auto& p : panels_) p->label_->setVisible(!Value);
}

void TStatusBar::SetSimpleText(const std::string& Value) {
    simpleText_ = Value;
    simple_->setText(ToQt(Value));
}

// ---------------------------------------------------------------------------
// TToolBar, TToolButton

TToolBar::TToolBar(TComponent* AOwner) : TWinControl(AOwner) {
    auto* f = new QFrame;
    f->setFocusPolicy(Qt::NoFocus);
    SetWidget(f);
    overflow_ = new QToolButton(f);
    overflow_->setObjectName(QStringLiteral("fatToolBarOverflow"));
    overflow_->setAutoRaise(true);
    overflow_->setFocusPolicy(Qt::NoFocus);
    overflow_->setIcon(f->style()->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton));
    overflow_->setToolTip(QStringLiteral("Mais botões"));
    overflow_->setPopupMode(QToolButton::InstantPopup);
    overflow_->setMenu(new QMenu(overflow_));
    overflow_->hide();
    SetBounds(0, 0, 150, 29);
    SetAlign(alTop);
}

bool TToolBar::WidgetEvent(QObject* Watched, QEvent* Event) {
    if (Watched == Widget() && Event->type() == QEvent::Resize) Relayout();
    return TWinControl::WidgetEvent(Watched, Event);
}

void TToolBar::SetImages(TImageList* Value) {
    if (images_ != nullptr) images_->RemoveFreeNotification(this);
    images_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
    for (int i = 0; i < ButtonCount(); ++i) Buttons(i)->ApplyIcon();
    Relayout();
}

void TToolBar::Notification(TComponent* AComponent, TOperation Operation) {
    TWinControl::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == images_) images_ = nullptr;
}

void TToolBar::SetShowCaptions(bool Value) {
    showCaptions_ = Value;
    for (int i = 0; i < ButtonCount(); ++i) Buttons(i)->ApplyIcon();
    Relayout();
}

int TToolBar::ButtonCount() const {
    int n = 0;
    for (int i = 0; i < ControlCount(); ++i)
        if (dynamic_cast<TToolButton*>(Controls(i)) != nullptr) ++n;
    return n;
}

TToolButton* TToolBar::Buttons(int Index) const {
    int n = 0;
    for (int i = 0; i < ControlCount(); ++i) {
        if (auto* b = dynamic_cast<TToolButton*>(Controls(i))) {
            if (n == Index) return b;
            ++n;
        }
    }
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

int TToolBar::ButtonHeight() const {
    int h = 22;
    for (int i = 0; i < ButtonCount(); ++i) {
        TToolButton* b = Buttons(i);
        if (b->style_ != tbsSeparator && b->style_ != tbsDivider) h = std::max(h, b->button_->sizeHint().height());
    }
    return h;
}

void TToolBar::Relayout() {
    if (relayingOut_ || Destroying()) return;
    relayingOut_ = true;
    struct Item {
        TToolButton* button;
        int width;
    };
    std::vector<Item> items;
    int total = 0;
    for (int i = 0; i < ButtonCount(); ++i) {
        TToolButton* b = Buttons(i);
        if (!b->Visible()) continue;
        bool separator = b->style_ == tbsSeparator || b->style_ == tbsDivider;
        int w = separator ? 8 : std::max(23, b->button_->sizeHint().width());
        items.push_back({b, w});
        total += w;
    }
    int h = ButtonHeight();
    int room = Widget()->width();
    bool overflowing = total > room;
    int limit = room;
    if (overflowing) limit -= overflow_->sizeHint().width();
    int x = 0;
    std::vector<TToolButton*> hidden;
    for (const Item& it : items) {
        bool fits = !overflowing || (hidden.empty() && x + it.width <= limit);
        it.button->overflowed_ = !fits;
        if (!fits) {
            it.button->Widget()->hide();
            hidden.push_back(it.button);
            continue;
        }
        it.button->Widget()->setGeometry(x, 0, it.width, h);
        it.button->Widget()->show();
        x += it.width;
    }
    if (overflowing) {
        int w = overflow_->sizeHint().width();
        overflow_->setGeometry(room - w, 0, w, h);
        overflow_->show();
        overflow_->raise();
    } else {
        overflow_->hide();
    }
    FillOverflowMenu(hidden);
    relayingOut_ = false;
}

void TToolBar::FillOverflowMenu(const std::vector<TToolButton*>& Hidden) {
    QMenu* menu = overflow_->menu();
    menu->clear();
    bool pendingSeparator = false;
    for (TToolButton* b : Hidden) {
        if (b->style_ == tbsSeparator || b->style_ == tbsDivider) {
            pendingSeparator = !menu->isEmpty();
            continue;
        }
        if (pendingSeparator) menu->addSeparator();
        pendingSeparator = false;
        QString text = b->button_->text();
        QAction* a = menu->addAction(b->button_->icon(), text);
        a->setToolTip(b->button_->toolTip());
        a->setEnabled(b->button_->isEnabled());
        if (b->button_->menu() != nullptr) {
            a->setMenu(b->button_->menu());
        } else {
            QObject::connect(a, &QAction::triggered, menu, [b] { b->Guarded([b] { b->Click(); }); });
        }
    }
}

TToolButton::TToolButton(TComponent* AOwner) : TGraphicControl(AOwner), button_(new QToolButton) {
    SetWidget(button_);
    button_->setAutoRaise(true);
    button_->setFocusPolicy(Qt::NoFocus);
    int icon = button_->style()->pixelMetric(QStyle::PM_ToolBarIconSize, nullptr, button_);
    button_->setIconSize(QSize(icon, icon));
    QObject::connect(button_, &QToolButton::clicked, button_, [this] { Guarded([this] { Click(); }); });
}

TToolButton::~TToolButton() {
    if (action_ != nullptr) action_->RemoveClient(this);
}

void TToolButton::SetParent(TWinControl* AParent) {
    TGraphicControl::SetParent(AParent);
    if (dynamic_cast<TToolBar*>(AParent) != nullptr) ApplyIcon();
}

void TToolButton::SetTextValue(const std::string& Value) {
    text_ = Value;
    button_->setText(ToQt(Value));
    if (auto* bar = dynamic_cast<TToolBar*>(Parent())) bar->Relayout();
}

void TToolButton::SetStyle(TToolButtonStyle Value) {
    style_ = Value;
    button_->setCheckable(Value == tbsCheck);
    button_->setEnabled(Value != tbsSeparator && Value != tbsDivider && Enabled());
    if (Value == tbsDropDown) button_->setPopupMode(QToolButton::MenuButtonPopup);
    if (auto* bar = dynamic_cast<TToolBar*>(Parent())) bar->Relayout();
}

void TToolButton::SetImageIndex(int Value) {
    imageIndex_ = Value;
    ApplyIcon();
}

void TToolButton::ApplyIcon() {
    auto* bar = dynamic_cast<TToolBar*>(Parent());
    if (bar != nullptr && bar->Images() != nullptr && imageIndex_ >= 0) button_->setIcon(bar->Images()->Icon(imageIndex_));
    else button_->setIcon(QIcon());
    if (button_->icon().isNull()) button_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    else if (bar != nullptr) button_->setToolButtonStyle(bar->ShowCaptions() ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
    if (bar != nullptr) bar->Relayout();
}

bool TToolButton::Down() const { return button_->isChecked() || button_->isDown(); }

void TToolButton::SetDown(bool Value) {
    if (button_->isCheckable()) button_->setChecked(Value);
    else button_->setDown(Value);
}

void TToolButton::SetEnabled(bool Value) {
    TGraphicControl::SetEnabled(Value);
    if (style_ == tbsSeparator || style_ == tbsDivider) button_->setEnabled(false);
    if (auto* bar = dynamic_cast<TToolBar*>(Parent()); bar != nullptr && overflowed_) bar->Relayout();
}

void TToolButton::SetVisible(bool Value) {
    TGraphicControl::SetVisible(Value);
    if (auto* bar = dynamic_cast<TToolBar*>(Parent())) bar->Relayout();
}

void TToolButton::SetMenuItem(TMenuItem* Value) {
    if (menuItem_ != nullptr) menuItem_->RemoveFreeNotification(this);
    menuItem_ = Value;
    if (Value != nullptr) {
        Value->FreeNotification(this);
        SetCaption(Value->Caption());
        SetHint(Value->Hint());
        SetEnabled(Value->Enabled());
        if (Value->ImageIndex() >= 0) SetImageIndex(Value->ImageIndex());
    }
}

void TToolButton::SetAction(TAction* Value) {
    if (action_ != nullptr) action_->RemoveClient(this);
    action_ = Value;
    if (Value != nullptr) {
        auto apply = [this] {
            SetCaption(action_->Caption());
            SetHint(action_->Hint());
            SetEnabled(action_->Enabled());
            SetVisible(action_->Visible());
            if (action_->ImageIndex() >= 0) SetImageIndex(action_->ImageIndex());
        };
        Value->AddClient(this, apply);
        apply();
    }
}

void TToolButton::SetDropdownMenu(TPopupMenu* Value) {
    if (dropdownMenu_ != nullptr) dropdownMenu_->RemoveFreeNotification(this);
    dropdownMenu_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
    button_->setMenu(Value != nullptr ? Value->Menu() : nullptr);
    if (Value != nullptr) button_->setPopupMode(style_ == tbsDropDown ? QToolButton::MenuButtonPopup : QToolButton::InstantPopup);
}

void TToolButton::Notification(TComponent* AComponent, TOperation Operation) {
    TGraphicControl::Notification(AComponent, Operation);
    if (Operation != opRemove) return;
    if (AComponent == menuItem_) menuItem_ = nullptr;
    if (AComponent == action_) action_ = nullptr;
    if (AComponent == dropdownMenu_) {
        dropdownMenu_ = nullptr;
        button_->setMenu(nullptr);
    }
}

void TToolButton::Click() {
    if (action_ != nullptr && action_->Execute()) return;
    if (menuItem_ != nullptr) {
        menuItem_->Click();
        return;
    }
    TGraphicControl::Click();
}

// ---------------------------------------------------------------------------
// TBitBtn, TSpeedButton

TBitBtn::TBitBtn(TComponent* AOwner) : TButton(AOwner) {}

void TBitBtn::SetKind(TBitBtnKind Value) {
    kind_ = Value;
    struct K {
        const char* caption;
        TModalResult result;
    };
    static const K kinds[] = {{"", mrNone},         {"OK", mrOk},         {"Cancelar", mrCancel}, {"&Ajuda", mrNone},
                              {"&Sim", mrYes},      {"&Não", mrNo},       {"&Fechar", mrNone},    {"Abortar", mrAbort},
                              {"&Repetir", mrRetry}, {"&Ignorar", mrIgnore}, {"&Todos", mrAll}};
    if (Value == bkCustom) return;
    SetCaption(kinds[Value].caption);
    SetModalResult(kinds[Value].result);
    if (Value == bkOK || Value == bkYes) SetDefault(true);
    if (Value == bkCancel || Value == bkNo) SetCancel(true);
}

bool TBitBtn::LoadGlyphFromFile(const std::string& FileName) {
    QPixmap p;
    if (!p.load(ToQt(FileName))) {
        button_->setIcon(QIcon());
        return false;
    }
    button_->setIcon(QIcon(p));
    return true;
}

void TBitBtn::SetGlyph(const QIcon& Icon) { button_->setIcon(Icon); }
bool TBitBtn::HasGlyph() const { return !button_->icon().isNull(); }

TSpeedButton::TSpeedButton(TComponent* AOwner) : TBitBtn(AOwner) {
    button_->setFocusPolicy(Qt::NoFocus);
    SetTabStop(false);
}

void TSpeedButton::SetFlat(bool Value) {
    flat_ = Value;
    button_->setFlat(Value);
}

// ---------------------------------------------------------------------------
// TProgressBar

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner), bar_(new QProgressBar) {
    SetWidget(bar_);
    bar_->setTextVisible(false);
    SetBounds(0, 0, 150, 16);
    Apply();
}

void TProgressBar::SetMin(int Value) {
    min_ = Value;
    if (max_ < min_) max_ = min_;
    SetPosition(position_);
}

void TProgressBar::SetMax(int Value) {
    max_ = Value;
    if (min_ > max_) min_ = max_;
    SetPosition(position_);
}

void TProgressBar::SetPosition(int Value) {
    position_ = std::clamp(Value, min_, max_);
    Apply();
}

void TProgressBar::Apply() {
    bar_->setRange(min_, max_);
    bar_->setValue(position_);
}
