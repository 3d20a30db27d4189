#include "toolbar/rpTBItems.h"

#include <algorithm>

#include <QAction>
#include <QBoxLayout>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

#include "platform/ui/Forms.h"
#include "toolbar/rpToolbar.h"

namespace {
// The controls shown in a bar belong to their items: they leave the bar
// before it goes.
void ReleaseControls(TrpTBCustomItem* Item) {
    for (int i = 0; i < Item->Count(); ++i) {
        if (auto* c = dynamic_cast<TrpTBControlItem*>(Item->GetItem(i)); c != nullptr && c->Control() != nullptr) {
            c->Control()->hide();
            c->Control()->setParent(nullptr);
        }
    }
}
}  // namespace

// ---------------------------------------------------------------------------
// Items

TClass TrpTBCustomItem::StaticClassType() {
    using I = TrpTBCustomItem;
    static const TTypeInfo* displayMode = typinfo::Keep(MakeEnumTypeInfo(
        "TrpTBItemDisplayMode", {"nbdmDefault", "nbdmTextOnly", "nbdmTextOnlyInMenus", "nbdmImageAndText"}));
    static const TClassInfo info = TClassBuilder<I>("TrpTBCustomItem", TComponent::StaticClassType())
                                       .String("Caption", &I::Caption, &I::SetCaption)
                                       .Boolean("Checked", &I::Checked, &I::SetChecked, false)
                                       .Enum("DisplayMode", displayMode, &I::DisplayMode, &I::SetDisplayMode, nbdmDefault)
                                       .Integer("ImageIndex", &I::ImageIndex, &I::SetImageIndex, -1)
                                       .Boolean("Visible", &I::Visible, &I::SetVisible, true)
                                       .Build();
    return &info;
}

TrpTBCustomItem::TrpTBCustomItem(TComponent* AOwner) : TComponent(AOwner) {}

TrpTBCustomItem::~TrpTBCustomItem() {
    destroying_ = true;
    if (parent_ != nullptr) parent_->Remove(this);
    // Children go first, from the last; each leaves this list as it goes.
    while (!items_.empty()) delete items_.back();
    delete action_;
}

TrpTBCustomItem* TrpTBCustomItem::GetItem(int Index) const {
    if (Index < 0 || Index >= Count()) throw ETBItemError("Toolbar item index out of range");
    return items_[static_cast<std::size_t>(Index)];
}

void TrpTBCustomItem::Add(TrpTBCustomItem* Item) { Insert(Count(), Item); }

void TrpTBCustomItem::Insert(int Index, TrpTBCustomItem* Item) {
    if (Item == nullptr || Item == this) return;
    if (Index < 0 || Index > Count()) throw ETBItemError("Toolbar item index out of range");
    if (Item->parent_ != nullptr) Item->parent_->Remove(Item);
    items_.insert(items_.begin() + Index, Item);
    Item->parent_ = this;
    TreeChanged();
}

void TrpTBCustomItem::Remove(TrpTBCustomItem* Item) {
    auto it = std::find(items_.begin(), items_.end(), Item);
    if (it == items_.end()) return;
    items_.erase(it);
    Item->parent_ = nullptr;
    if (!destroying_) TreeChanged();
}

int TrpTBCustomItem::IndexOf(const TrpTBCustomItem* Item) const {
    auto it = std::find(items_.begin(), items_.end(), Item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TrpTBCustomItem::TreeChanged() {
    for (TrpTBCustomItem* i = this; i != nullptr; i = i->parent_)
        if (i->OnTreeChange) {
            i->OnTreeChange();
            return;
        }
}

QAction* TrpTBCustomItem::Action() const {
    if (action_ == nullptr) {
        auto* self = const_cast<TrpTBCustomItem*>(this);
        self->action_ = new QAction();
        QObject::connect(action_, &QAction::triggered, [self](bool) { self->Click(); });
        self->UpdateAction();
    }
    return action_;
}

void TrpTBCustomItem::UpdateAction() {
    if (action_ == nullptr) return;
    action_->setText(ui::ToQt(caption_));
    action_->setToolTip(ui::ToQt(hint_.empty() ? caption_ : hint_));
    action_->setCheckable(checked_ || groupIndex_ != 0);
    action_->setChecked(checked_);
    action_->setEnabled(enabled_);
    action_->setVisible(visible_);
    action_->setSeparator(IsSeparator());
    action_->setShortcut(QKeySequence(ui::ToQt(shortCut_)));
    action_->setIcon(imageIndex_ >= 0 ? GetToolImageList()->Icon(imageIndex_) : QIcon());
    action_->setIconVisibleInMenu(displayMode_ != nbdmTextOnlyInMenus && displayMode_ != nbdmTextOnly);
}

void TrpTBCustomItem::SetCaption(const std::string& Value) {
    caption_ = Value;
    UpdateAction();
}

void TrpTBCustomItem::SetChecked(bool Value) {
    if (checked_ == Value) return;
    checked_ = Value;
    if (Value && groupIndex_ != 0 && parent_ != nullptr)
        for (TrpTBCustomItem* sibling : parent_->items_)
            if (sibling != this && sibling->groupIndex_ == groupIndex_ && sibling->checked_) {
                sibling->checked_ = false;
                sibling->UpdateAction();
            }
    UpdateAction();
}

void TrpTBCustomItem::SetDisplayMode(TrpTBItemDisplayMode Value) {
    displayMode_ = Value;
    UpdateAction();
    TreeChanged();
}

void TrpTBCustomItem::SetEnabled(bool Value) {
    enabled_ = Value;
    UpdateAction();
}

void TrpTBCustomItem::SetHint(const std::string& Value) {
    hint_ = Value;
    UpdateAction();
}

void TrpTBCustomItem::SetImageIndex(int Value) {
    imageIndex_ = Value;
    UpdateAction();
}

void TrpTBCustomItem::SetVisible(bool Value) {
    visible_ = Value;
    UpdateAction();
}

void TrpTBCustomItem::SetShortCut(const std::string& Value) {
    shortCut_ = Value;
    UpdateAction();
}

void TrpTBCustomItem::Click() {
    if (groupIndex_ != 0) SetChecked(true);
    if (OnClick) OnClick(this);
}

void TrpTBTCustomItem::SetMinWidth(int Value) {
    minWidth_ = std::max(0, Value);
    TreeChanged();
}

TrpTBControlItem::TrpTBControlItem(TComponent* AOwner, QWidget* Control) : TrpTBTCustomItem(AOwner) {
    SetControl(Control);
}

TrpTBControlItem::~TrpTBControlItem() {
    // Out of the bar first, so that the bar does not free it twice.
    if (control_ != nullptr) control_->setParent(nullptr);
    if (Parent() != nullptr) Parent()->Remove(this);
    delete control_.data();
}

void TrpTBControlItem::SetControl(QWidget* Value) {
    if (Value == control_) return;
    if (control_ != nullptr) control_->setParent(nullptr);
    delete control_.data();
    control_ = Value;
    TreeChanged();
}

// ---------------------------------------------------------------------------
// Dock

TrpTBTDock::TrpTBTDock(TComponent* AOwner) : TWinControl(AOwner) {
    auto* w = new QWidget;
    // No colour of its own: the window's shows through.
    w->setAutoFillBackground(false);
    SetWidget(w);
    auto* layout = new QVBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addStretch(1);
}

TrpTBTDock::~TrpTBTDock() {
    // The toolbars are components of their own: their widgets must not go
    // down with the dock's.
    for (TrpTBTToolbar* t : toolbars_) {
        t->dock_ = nullptr;
        if (t->Widget() != nullptr) {
            t->Widget()->hide();
            t->Widget()->setParent(nullptr);
        }
    }
}

void TrpTBTDock::AddToolbar(TrpTBTToolbar* Toolbar) {
    toolbars_.push_back(Toolbar);
    auto* layout = static_cast<QVBoxLayout*>(Widget()->layout());
    layout->insertWidget(layout->count() - 1, Toolbar->Widget());
    Toolbar->Widget()->show();
    ArrangeToolbars();
}

void TrpTBTDock::RemoveToolbar(TrpTBTToolbar* Toolbar) {
    toolbars_.erase(std::remove(toolbars_.begin(), toolbars_.end(), Toolbar), toolbars_.end());
    if (Widget() != nullptr && Toolbar->Widget() != nullptr) Widget()->layout()->removeWidget(Toolbar->Widget());
    ArrangeToolbars();
}

void TrpTBTDock::ArrangeToolbars() {
    if (Widget() == nullptr) return;
    int h = 0;
    for (TrpTBTToolbar* t : toolbars_) h += t->Widget()->sizeHint().height();
    if (h > 0) SetHeight(h);
}

// ---------------------------------------------------------------------------
// Toolbar

TrpTBTToolbar::TrpTBTToolbar(TComponent* AOwner)
    : TWinControl(AOwner), root_(std::make_unique<TrpTBCustomItem>(nullptr)) {
    auto* w = new QWidget;
    SetWidget(w);
    layout_ = new QHBoxLayout(w);
    layout_->setContentsMargins(0, 0, 0, 0);
    root_->OnTreeChange = [this] { Rebuild(); };
    Rebuild();
}

TrpTBTToolbar::~TrpTBTToolbar() {
    if (dock_ != nullptr) dock_->RemoveToolbar(this);
    ReleaseControls(root_.get());
    // The bar's widgets refer to the items' actions: they go first.
    delete bar_.data();
    root_.reset();
}

void TrpTBTToolbar::SetCurrentDock(TrpTBTDock* Dock) {
    if (Dock == dock_ && (Dock != nullptr || floating_)) return;
    if (dock_ != nullptr) dock_->RemoveToolbar(this);
    dock_ = Dock;
    if (Dock != nullptr) {
        floating_ = false;
        Widget()->setWindowFlags(Qt::Widget);
        Dock->AddToolbar(this);
    } else {
        // Floats as a small tool window over the form it belongs to.
        floating_ = true;
        TCustomForm* form = GetParentForm();
        QWidget* over = form != nullptr ? form->Widget() : nullptr;
        Widget()->setParent(over, Qt::Tool);
        Widget()->show();
    }
}

void TrpTBTToolbar::SetMenuBar(bool Value) {
    if (menuBar_ == Value) return;
    menuBar_ = Value;
    Rebuild();
    if (dock_ != nullptr) dock_->ArrangeToolbars();
}

void TrpTBTToolbar::AddToMenu(QMenu* Menu, TrpTBCustomItem* Item) {
    if (Item->IsSeparator()) {
        Menu->addSeparator();
    } else if (Item->IsSubMenu()) {
        QMenu* sub = Menu->addMenu(ui::ToQt(Item->Caption()));
        sub->menuAction()->setVisible(Item->Visible());
        for (int i = 0; i < Item->Count(); ++i) AddToMenu(sub, Item->GetItem(i));
    } else {
        Menu->addAction(Item->Action());
    }
}


void TrpTBTToolbar::Rebuild() {
    if (root_) ReleaseControls(root_.get());
    delete bar_.data();
    if (!root_ || !layout_) return;
    if (menuBar_) {
        auto* bar = new QMenuBar;
        for (int i = 0; i < root_->Count(); ++i) {
            TrpTBCustomItem* item = root_->GetItem(i);
            if (item->IsSubMenu()) {
                QMenu* menu = bar->addMenu(ui::ToQt(item->Caption()));
                menu->menuAction()->setVisible(item->Visible());
                for (int k = 0; k < item->Count(); ++k) AddToMenu(menu, item->GetItem(k));
            } else if (item->IsSeparator()) {
                bar->addSeparator();
            } else {
                bar->addAction(item->Action());
            }
        }
        bar_ = bar;
    } else {
        auto* bar = new QToolBar;
        bar->setMovable(false);
        bar->setFloatable(false);
        for (int i = 0; i < root_->Count(); ++i) {
            TrpTBCustomItem* item = root_->GetItem(i);
            if (item->IsSeparator()) {
                bar->addSeparator();
                continue;
            }
            if (auto* c = dynamic_cast<TrpTBControlItem*>(item); c != nullptr) {
                if (c->Control() != nullptr) {
                    // The bar frees the host, never the item's control.
                    auto* host = new QWidget;
                    host->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
                    auto* hostLayout = new QHBoxLayout(host);
                    hostLayout->setContentsMargins(2, 0, 2, 0);
                    hostLayout->addWidget(c->Control());
                    QAction* a = bar->addWidget(host);
                    a->setVisible(c->Visible());
                    c->Control()->show();
                    if (c->MinWidth() > 0) c->Control()->setMinimumWidth(c->MinWidth());
                }
                continue;
            }
            QToolButton* button = nullptr;
            if (item->IsSubMenu()) {
                // The menu belongs to the button, which the bar frees.
                button = new QToolButton;
                button->setDefaultAction(item->Action());
                auto* menu = new QMenu(button);
                for (int k = 0; k < item->Count(); ++k) AddToMenu(menu, item->GetItem(k));
                button->setMenu(menu);
                button->setPopupMode(QToolButton::InstantPopup);
                bar->addWidget(button);
            } else {
                bar->addAction(item->Action());
                button = qobject_cast<QToolButton*>(bar->widgetForAction(item->Action()));
            }
            if (button == nullptr) continue;
            const bool hasImage = item->ImageIndex() >= 0;
            switch (item->DisplayMode()) {
                case nbdmTextOnly: button->setToolButtonStyle(Qt::ToolButtonTextOnly); break;
                case nbdmImageAndText: button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon); break;
                default:
                    button->setToolButtonStyle(hasImage ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextOnly);
                    break;
            }
            if (auto* t = dynamic_cast<TrpTBTCustomItem*>(item); t != nullptr && t->MinWidth() > 0)
                button->setMinimumWidth(t->MinWidth());
        }
        bar_ = bar;
    }
    layout_->addWidget(bar_);
}
