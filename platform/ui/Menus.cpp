#include "platform/ui/Menus.h"

#include <algorithm>

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "platform/ui/ComCtrls.h"
#include "platform/ui/Forms.h"

using ui::ToQt;

namespace {

int QtKeyOf(Word Key) {
    if ((Key >= 'A' && Key <= 'Z') || (Key >= '0' && Key <= '9')) return Key;
    if (Key >= VK_F1 && Key <= VK_F12) return Qt::Key_F1 + (Key - VK_F1);
    switch (Key) {
    case VK_RETURN: return Qt::Key_Return;
    case VK_ESCAPE: return Qt::Key_Escape;
    case VK_DELETE: return Qt::Key_Delete;
    case VK_INSERT: return Qt::Key_Insert;
    case VK_BACK: return Qt::Key_Backspace;
    case VK_TAB: return Qt::Key_Tab;
    case VK_SPACE: return Qt::Key_Space;
    case VK_HOME: return Qt::Key_Home;
    case VK_END: return Qt::Key_End;
    case VK_PRIOR: return Qt::Key_PageUp;
    case VK_NEXT: return Qt::Key_PageDown;
    case VK_LEFT: return Qt::Key_Left;
    case VK_RIGHT: return Qt::Key_Right;
    case VK_UP: return Qt::Key_Up;
    case VK_DOWN: return Qt::Key_Down;
    default: return 0;
    }
}

QKeySequence Sequence(TShortCut Value) {
    int key = QtKeyOf(static_cast<Word>(Value & 0x0FFF));
    if (key == 0) return QKeySequence();
    int mods = 0;
    if (Value & scShift) mods |= Qt::SHIFT;
    if (Value & scCtrl) mods |= Qt::CTRL;
    if (Value & scAlt) mods |= Qt::ALT;
    return QKeySequence(key | mods);
}

// A caption with two accelerators ("&Ferra&mentas") keeps the last one, the
// letter the user sees underlined; Qt would take the first, which another
// item of the menu may already use.
QString MenuText(const std::string& Caption) {
    QString in = ToQt(Caption);
    qsizetype last = -1;
    for (qsizetype i = 0; i + 1 < in.size(); ++i) {
        if (in[i] != '&') continue;
        if (in[i + 1] == '&') {
            ++i;
            continue;
        }
        last = i;
    }
    QString out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '&' && i + 1 < in.size() && in[i + 1] == '&') {
            out += "&&";
            ++i;
        } else if (in[i] != '&' || i == last) {
            out += in[i];
        }
    }
    return out;
}

}  // namespace

TShortCut ShortCut(Word Key, TShiftState Shift) {
    TShortCut s = Key;
    if (Shift.Contains(ssShift)) s |= scShift;
    if (Shift.Contains(ssCtrl)) s |= scCtrl;
    if (Shift.Contains(ssAlt)) s |= scAlt;
    return s;
}

QKeySequence ui::KeySequenceOf(TShortCut Value) { return Sequence(Value); }

std::string ShortCutToText(TShortCut Value) {
    if (Value == 0) return "";
    return ui::ToStd(Sequence(Value).toString(QKeySequence::PortableText));
}

// ---------------------------------------------------------------------------
// TAction

TAction::TAction(TComponent* AOwner) : TComponent(AOwner) {}

TAction::~TAction() {
    // Clients drop their link through free notification.
    clients_.clear();
}

void TAction::SetCaption(const std::string& Value) { caption_ = Value; Changed(); }
void TAction::SetEnabled(bool Value) { enabled_ = Value; Changed(); }
void TAction::SetVisible(bool Value) { visible_ = Value; Changed(); }
void TAction::SetChecked(bool Value) { checked_ = Value; Changed(); }
void TAction::SetHint(const std::string& Value) { hint_ = Value; Changed(); }
void TAction::SetShortCut(TShortCut Value) { shortCut_ = Value; Changed(); }

bool TAction::Execute() {
    if (!enabled_ || !OnExecute) return false;
    OnExecute(this);
    return true;
}

void TAction::AddClient(TComponent* Client, std::function<void()> ChangedFn) {
    clients_.emplace_back(Client, std::move(ChangedFn));
    FreeNotification(Client);
}

void TAction::RemoveClient(TComponent* Client) {
    clients_.erase(std::remove_if(clients_.begin(), clients_.end(), [Client](auto& c) { return c.first == Client; }),
                   clients_.end());
}

void TAction::Changed() {
    for (auto& c : std::vector(clients_)) c.second();
}

// ---------------------------------------------------------------------------
// TMenuItem

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner), qaction_(new QAction) {
    ui::EnsureQtApplication();
    QObject::connect(qaction_, &QAction::triggered, qaction_, [this] {
        try {
            Click();
        } catch (const std::exception& e) {
            Application->HandleException(this, e);
        } catch (...) {
            Application->HandleException(this);
        }
    });
}

TMenuItem::~TMenuItem() {
    if (action_ != nullptr) action_->RemoveClient(this);
    if (parent_ != nullptr) parent_->Remove(this);
    std::vector<TMenuItem*> children;
    children.swap(items_);
    for (TMenuItem* c : children) {
        c->parent_ = nullptr;
        delete c;
    }
    qaction_->blockSignals(true);
    delete qaction_;
    delete menu_;
}

void TMenuItem::Apply() {
    bool separator = IsSeparator();
    qaction_->setSeparator(separator);
    std::string caption = caption_, hint = hint_;
    bool enabled = enabled_, visible = visible_, checked = checked_;
    TShortCut shortCut = shortCut_;
    if (action_ != nullptr) {
        caption = action_->Caption();
        hint = action_->Hint();
        enabled = action_->Enabled();
        visible = action_->Visible();
        checked = action_->Checked();
        shortCut = action_->ShortCut();
    }
    // A separator shows its line only: Qt would draw its "-" beside it.
    qaction_->setText(separator ? QString() : MenuText(caption));
    qaction_->setStatusTip(ToQt(hint));
    qaction_->setToolTip(ToQt(hint));
    qaction_->setEnabled(enabled);
    qaction_->setVisible(visible);
    qaction_->setCheckable(checked);
    qaction_->setChecked(checked);
    qaction_->setShortcut(Sequence(shortCut));
}

void TMenuItem::SetCaption(const std::string& Value) { caption_ = Value; Apply(); }

void TMenuItem::SetImageIndex(int Value) {
    imageIndex_ = Value;
    ApplyIcon();
}

TMenu* TMenuItem::Menu() const {
    const TMenuItem* item = this;
    while (item->parent_ != nullptr) item = item->parent_;
    return item->root_;
}

void TMenuItem::ApplyIcon() {
    TMenu* menu = Menu();
    TImageList* images = menu != nullptr ? menu->Images() : nullptr;
    int index = action_ != nullptr && action_->ImageIndex() >= 0 ? action_->ImageIndex() : imageIndex_;
    qaction_->setIcon(images != nullptr && index >= 0 ? images->Icon(index) : QIcon());
    for (TMenuItem* c : items_) c->ApplyIcon();
}
void TMenuItem::SetEnabled(bool Value) { enabled_ = Value; Apply(); }
void TMenuItem::SetVisible(bool Value) { visible_ = Value; Apply(); }
void TMenuItem::SetChecked(bool Value) { checked_ = Value; Apply(); }
void TMenuItem::SetHint(const std::string& Value) { hint_ = Value; Apply(); }
void TMenuItem::SetShortCut(TShortCut Value) { shortCut_ = Value; Apply(); }

void TMenuItem::SetAction(TAction* Value) {
    if (action_ != nullptr) action_->RemoveClient(this);
    action_ = Value;
    if (Value != nullptr) {
        caption_ = Value->Caption();
        Value->AddClient(this, [this] {
            Apply();
            ApplyIcon();
        });
    }
    Apply();
    ApplyIcon();
}

void TMenuItem::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == action_) {
        action_ = nullptr;
        Apply();
    }
}

TMenuItem* TMenuItem::Items(int Index) const {
    if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return items_[static_cast<size_t>(Index)];
}

void TMenuItem::Add(TMenuItem* Item) { Insert(Count(), Item); }

void TMenuItem::Insert(int Index, TMenuItem* Item) {
    if (Item->parent_ != nullptr) throw EInvalidOperation("O item de menu já está em outro menu");
    Index = std::clamp(Index, 0, Count());
    items_.insert(items_.begin() + Index, Item);
    Item->parent_ = this;
    Item->ApplyIcon();
    Rebuild();
}

void TMenuItem::Remove(TMenuItem* Item) {
    auto it = std::find(items_.begin(), items_.end(), Item);
    if (it == items_.end()) return;
    items_.erase(it);
    Item->parent_ = nullptr;
    Rebuild();
}

void TMenuItem::Delete(int Index) {
    TMenuItem* item = Items(Index);
    Remove(item);
    delete item;
}

void TMenuItem::Clear() {
    while (Count() > 0) Delete(Count() - 1);
}

int TMenuItem::IndexOf(const TMenuItem* Item) const {
    auto it = std::find(items_.begin(), items_.end(), Item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TMenuItem::EnsureMenu() {
    if (menu_ != nullptr) return;
    menu_ = new QMenu;
    qaction_->setMenu(menu_);
}

void TMenuItem::Rebuild() {
    if (root_ == nullptr || !items_.empty()) EnsureMenu();
    if (menu_ != nullptr) {
        for (QAction* a : menu_->actions()) menu_->removeAction(a);
        for (TMenuItem* c : items_) menu_->addAction(c->qaction_);
    }
    if (root_ != nullptr) root_->ItemsChanged();
}

void TMenuItem::Click() {
    if (action_ != nullptr && action_->Execute()) return;
    if (OnClick) OnClick(this);
}

// ---------------------------------------------------------------------------
// Menus

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner), items_(new TMenuItem(this)) {
    items_->root_ = this;
}

void TMenu::SetImages(TImageList* Value) {
    if (images_ != nullptr) images_->RemoveFreeNotification(this);
    images_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
    items_->ApplyIcon();
}

void TMenu::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == images_) {
        images_ = nullptr;
        items_->ApplyIcon();
    }
}

TMenuItem* TMenu::FindItem(const std::string& Caption) const {
    std::function<TMenuItem*(TMenuItem*)> find = [&](TMenuItem* item) -> TMenuItem* {
        for (int i = 0; i < item->Count(); ++i) {
            TMenuItem* c = item->Items(i);
            std::string plain;
            for (char ch : c->Caption())
                if (ch != '&') plain += ch;
            if (plain == Caption || c->Caption() == Caption) return c;
            if (TMenuItem* d = find(c)) return d;
        }
        return nullptr;
    };
    return find(items_);
}

TMenuItem* TMenu::FindShortCut(TShortCut Value) const {
    if (Value == 0) return nullptr;
    std::function<TMenuItem*(TMenuItem*)> find = [&](TMenuItem* item) -> TMenuItem* {
        for (int i = 0; i < item->Count(); ++i) {
            TMenuItem* c = item->Items(i);
            const TAction* a = c->Action();
            if (!(a != nullptr ? a->Visible() && a->Enabled() : c->Visible() && c->Enabled())) continue;
            if ((a != nullptr ? a->ShortCut() : c->ShortCut()) == Value) return c;
            if (TMenuItem* d = find(c)) return d;
        }
        return nullptr;
    };
    return find(items_);
}

TMainMenu::TMainMenu(TComponent* AOwner) : TMenu(AOwner), bar_(new QMenuBar) {}

TMainMenu::~TMainMenu() {
    if (bar_) delete bar_.data();
}

void TMainMenu::ItemsChanged() {
    if (!bar_) return;
    for (QAction* a : bar_->actions()) bar_->removeAction(a);
    for (int i = 0; i < items_->Count(); ++i) bar_->addAction(items_->Items(i)->QtAction());
}

TPopupMenu::TPopupMenu(TComponent* AOwner) : TMenu(AOwner) { items_->EnsureMenu(); }

TPopupMenu::~TPopupMenu() = default;

QMenu* TPopupMenu::Menu() const { return items_->QtMenu(); }

void TPopupMenu::Popup(int X, int Y) {
    if (OnPopup) OnPopup(this);
    items_->QtMenu()->popup(QPoint(X, Y));
}
