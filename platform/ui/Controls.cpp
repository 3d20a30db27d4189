#include "platform/ui/Controls.h"

#include <algorithm>

#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QString>
#include <QWidget>

#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/ui/StdCtrls.h"

namespace {
const char* const kControlProperty = "fatControl";
}

// Forwards the widget's events to its control. The control pointer is
// cleared before the control goes, so that events sent while Qt tears the
// widget down reach nobody.
class TControl::Filter : public QObject {
public:
    explicit Filter(TControl* Control) : control(Control) {}
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (control == nullptr || control->destroying_) return false;
        return control->WidgetEvent(Watched, Event);
    }
    TControl* control;
};

namespace ui {

std::string ToStd(const QString& Text) {
    QByteArray bytes = Text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString ToQt(const std::string& Text) {
    return QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size()));
}

QColor ToQColor(TColor Color) {
    auto u = static_cast<std::uint32_t>(Color);
    if ((u & 0xFF000000u) == 0x80000000u) {
        QPalette pal = QApplication::palette();
        switch (u & 0xFF) {
        case 0x05: return pal.color(QPalette::Base);
        case 0x08: return pal.color(QPalette::Text);
        case 0x0D: return pal.color(QPalette::Highlight);
        case 0x0E: return pal.color(QPalette::HighlightedText);
        case 0x11: return pal.color(QPalette::Disabled, QPalette::Text);
        case 0x18: return pal.color(QPalette::ToolTipBase);
        default: return pal.color(QPalette::Window);
        }
    }
    if (Color == clDefault) return QApplication::palette().color(QPalette::Base);
    return QColor::fromRgb(gfx::ColorToRGB(Color));
}

Word VirtualKey(const QKeyEvent* Event) {
    int k = Event->key();
    switch (k) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    default: break;
    }
    if (k >= Qt::Key_F1 && k <= Qt::Key_F12) return static_cast<Word>(VK_F1 + (k - Qt::Key_F1));
    if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9)) return static_cast<Word>(k);
    return 0;
}

TShiftState ShiftState(const QInputEvent* Event) {
    TShiftState s;
    Qt::KeyboardModifiers m = Event->modifiers();
    if (m & Qt::ShiftModifier) s.Include(ssShift);
    if (m & Qt::ControlModifier) s.Include(ssCtrl);
    if (m & Qt::AltModifier) s.Include(ssAlt);
    return s;
}

TShiftState ShiftState(const QMouseEvent* Event) {
    TShiftState s = ShiftState(static_cast<const QInputEvent*>(Event));
    if (Event->buttons() & Qt::LeftButton) s.Include(ssLeft);
    if (Event->buttons() & Qt::RightButton) s.Include(ssRight);
    if (Event->buttons() & Qt::MiddleButton) s.Include(ssMiddle);
    return s;
}

TControl* ControlOf(const QWidget* Widget) {
    for (const QWidget* w = Widget; w != nullptr; w = w->parentWidget()) {
        QVariant v = w->property(kControlProperty);
        if (v.isValid()) return static_cast<TControl*>(v.value<void*>());
    }
    return nullptr;
}

TCustomForm* FormOf(const QWidget* Widget) {
    for (const QWidget* w = Widget; w != nullptr; w = w->parentWidget()) {
        QVariant v = w->property(kControlProperty);
        if (v.isValid()) {
            auto* c = static_cast<TControl*>(v.value<void*>());
            if (auto* f = dynamic_cast<TCustomForm*>(c)) return f;
        }
    }
    return nullptr;
}

}  // namespace ui

// ---------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
    ui::EnsureQtApplication();
}

TControl::~TControl() {
    destroying_ = true;
    if (parent_ != nullptr) parent_->RemoveControl(this);
    if (filter_ != nullptr) filter_->control = nullptr;
    if (widget_) {
        // Focus and editing signals fire while Qt takes a focused widget
        // down; by now the control they would reach is half gone.
        widget_->blockSignals(true);
        for (QObject* child : widget_->findChildren<QObject*>()) child->blockSignals(true);
        widget_->setProperty(kControlProperty, QVariant());
        delete widget_.data();
    }
}

void TControl::SetWidget(QWidget* Widget) {
    widget_ = Widget;
    filter_ = new Filter(this);
    filter_->setParent(Widget);
    Widget->setProperty(kControlProperty, QVariant::fromValue<void*>(this));
    Widget->installEventFilter(filter_);
    Widget->hide();
}

void TControl::WatchWidget(QWidget* Inner) {
    if (filter_ == nullptr || Inner == nullptr) return;
    Inner->installEventFilter(filter_);
}

void TControl::SetParent(TWinControl* AParent) {
    if (parent_ == AParent) return;
    if (parent_ != nullptr) parent_->RemoveControl(this);
    parent_ = AParent;
    if (widget_) {
        QRect g = widget_->geometry();
        widget_->setParent(AParent != nullptr ? AParent->ClientWidget() : nullptr);
        widget_->setGeometry(g);
        widget_->setVisible(AParent != nullptr && visible_);
    }
    if (parent_ != nullptr) {
        parent_->InsertControl(this);
        if (parentColor_) SetColor(parent_->Color());
    }
    CaptureAnchors();
}

int TControl::Left() const { return GeometryWidget() ? GeometryWidget()->geometry().x() : 0; }
int TControl::Top() const { return GeometryWidget() ? GeometryWidget()->geometry().y() : 0; }
int TControl::Width() const { return GeometryWidget() ? GeometryWidget()->geometry().width() : 0; }
int TControl::Height() const { return GeometryWidget() ? GeometryWidget()->geometry().height() : 0; }

int TControl::ClientWidth() const {
    auto* w = dynamic_cast<const TWinControl*>(this);
    QWidget* c = w ? w->ClientWidget() : widget_.data();
    return c ? c->width() : 0;
}

int TControl::ClientHeight() const {
    auto* w = dynamic_cast<const TWinControl*>(this);
    QWidget* c = w ? w->ClientWidget() : widget_.data();
    return c ? c->height() : 0;
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    QWidget* g = GeometryWidget();
    if (g == nullptr) return;
    g->setGeometry(ALeft, ATop, std::max(0, AWidth), std::max(0, AHeight));
    CaptureAnchors();
    if (align_ != alNone && parent_ != nullptr) parent_->Realign();
    if (auto* w = dynamic_cast<TWinControl*>(this)) w->Realign();
}

void TControl::SetAlign(TAlign Value) {
    if (align_ == Value) return;
    align_ = Value;
    if (parent_ != nullptr) parent_->Realign();
}

void TControl::SetAnchors(TAnchors Value) {
    anchors_ = Value;
    CaptureAnchors();
}

void TControl::CaptureAnchors() {
    QWidget* g = GeometryWidget();
    QWidget* client = parent_ != nullptr ? parent_->ClientWidget() : nullptr;
    if (g == nullptr || client == nullptr) return;
    QRect r = g->geometry();
    rightMargin_ = client->width() - (r.x() + r.width());
    bottomMargin_ = client->height() - (r.y() + r.height());
}

void TControl::SetVisible(bool Value) {
    visible_ = Value;
    if (widget_ && parent_ != nullptr) widget_->setVisible(Value);
    if (align_ != alNone && parent_ != nullptr) parent_->Realign();
}

bool TControl::Showing() const { return widget_ && widget_->isVisible(); }

void TControl::SetEnabled(bool Value) {
    enabled_ = Value;
    if (widget_) widget_->setEnabled(Value);
}

void TControl::SetColor(TColor Value) {
    color_ = Value;
    parentColor_ = false;
    ApplyColor();
    if (auto* w = dynamic_cast<TWinControl*>(this)) {
        for (int i = 0; i < w->ControlCount(); ++i) {
            TControl* c = w->Controls(i);
            if (c->parentColor_) {
                c->SetColor(Value);
                c->parentColor_ = true;
            }
        }
    }
}

void TControl::SetParentColor(bool Value) {
    parentColor_ = Value;
    if (Value && parent_ != nullptr) {
        SetColor(parent_->Color());
        parentColor_ = true;
    }
}

void TControl::ApplyColor() {
    if (!widget_) return;
    QPalette pal = widget_->palette();
    pal.setColor(widget_->backgroundRole(), ui::ToQColor(color_));
    widget_->setPalette(pal);
    widget_->setAutoFillBackground(true);
}

void TControl::SetHint(const std::string& Value) {
    hint_ = Value;
    if (widget_) widget_->setToolTip(ui::ToQt(Value));
}

bool TControl::FontBold() const { return widget_ && widget_->font().bold(); }

void TControl::SetFontBold(bool Value) {
    if (!widget_) return;
    QFont f = widget_->font();
    f.setBold(Value);
    widget_->setFont(f);
    FontChanged();
}

int TControl::FontSize() const { return widget_ ? widget_->font().pointSize() : 0; }

void TControl::SetFontSize(int Value) {
    if (!widget_ || Value <= 0) return;
    QFont f = widget_->font();
    f.setPointSize(Value);
    widget_->setFont(f);
    FontChanged();
}

void TControl::SetFontColor(TColor Value) {
    fontColor_ = Value;
    if (!widget_) return;
    QPalette pal = widget_->palette();
    pal.setColor(widget_->foregroundRole(), ui::ToQColor(Value));
    pal.setColor(QPalette::Text, ui::ToQColor(Value));
    widget_->setPalette(pal);
}

void TControl::SetCursor(TCursor Value) {
    cursor_ = Value;
    if (!widget_) return;
    switch (Value) {
    case crHourGlass:
    case crSQLWait: widget_->setCursor(Qt::WaitCursor); break;
    case crHandPoint: widget_->setCursor(Qt::PointingHandCursor); break;
    default: widget_->unsetCursor(); break;
    }
}

void TControl::SetPopupMenu(TPopupMenu* Value) {
    if (popupMenu_ != nullptr) popupMenu_->RemoveFreeNotification(this);
    popupMenu_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
    if (widget_) widget_->setContextMenuPolicy(Value ? Qt::CustomContextMenu : Qt::DefaultContextMenu);
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == popupMenu_) popupMenu_ = nullptr;
}

TCustomForm* TControl::GetParentForm() const {
    const TControl* c = this;
    while (c->parent_ != nullptr) c = c->parent_;
    return dynamic_cast<TCustomForm*>(const_cast<TControl*>(c));
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}

void TControl::BringToFront() {
    if (widget_) widget_->raise();
}

void TControl::Repaint() {
    if (widget_) widget_->update();
}

void TControl::Guarded(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const std::exception& e) {
        Application->HandleException(this, e);
    } catch (...) {
        Application->HandleException(this);
    }
}

bool TControl::WidgetEvent(QObject* Watched, QEvent* Event) {
    (void)Watched;
    switch (Event->type()) {
    case QEvent::MouseButtonDblClick:
        Guarded([this] { DoDblClick(); });
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        auto* me = static_cast<QMouseEvent*>(Event);
        const TMouseEvent& handler = Event->type() == QEvent::MouseButtonPress ? OnMouseDown : OnMouseUp;
        if (handler) {
            TMouseButton b = me->button() == Qt::RightButton ? mbRight
                             : me->button() == Qt::MiddleButton ? mbMiddle : mbLeft;
            TShiftState s;
            if (me->modifiers() & Qt::ShiftModifier) s.Include(ssShift);
            if (me->modifiers() & Qt::ControlModifier) s.Include(ssCtrl);
            QPoint p = me->position().toPoint();
            Guarded([&] { handler(this, b, s, p.x(), p.y()); });
        }
        return false;
    }
    case QEvent::ContextMenu:
        if (popupMenu_ != nullptr) {
            auto* ce = static_cast<QContextMenuEvent*>(Event);
            popupMenu_->Popup(ce->globalPos().x(), ce->globalPos().y());
            return true;
        }
        return false;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// TWinControl

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
    // From here on the widgets only come apart: what they signal or send
    // while the children go would reach a control already half destroyed.
    destroying_ = true;
    if (Widget() != nullptr) {
        Widget()->blockSignals(true);
        for (QObject* child : Widget()->findChildren<QObject*>()) child->blockSignals(true);
    }
    // A windowed control frees the controls it holds, whoever owns them.
    while (!controls_.empty()) {
        TControl* c = controls_.back();
        controls_.pop_back();
        c->parent_ = nullptr;
        delete c;
    }
}

TControl* TWinControl::Controls(int Index) const {
    if (Index < 0 || Index >= ControlCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return controls_[static_cast<size_t>(Index)];
}

void TWinControl::InsertControl(TControl* Control) {
    controls_.push_back(Control);
    if (Control->Align() != alNone) Realign();
}

void TWinControl::RemoveControl(TControl* Control) {
    auto it = std::find(controls_.begin(), controls_.end(), Control);
    if (it != controls_.end()) controls_.erase(it);
    if (!Destroying() && Control->Align() != alNone) Realign();
}

int TWinControl::TabOrder() const {
    if (Parent() == nullptr) return -1;
    int n = 0;
    for (TControl* c : Parent()->controls_) {
        if (c == this) return n;
        if (dynamic_cast<TWinControl*>(c) != nullptr) ++n;
    }
    return -1;
}

void TWinControl::SetTabOrder(int Value) {
    TWinControl* p = Parent();
    if (p == nullptr) return;
    auto& list = p->controls_;
    list.erase(std::find(list.begin(), list.end(), this));
    // Position among the windowed siblings; the graphic ones keep theirs.
    int n = 0;
    auto it = list.begin();
    for (; it != list.end(); ++it) {
        if (dynamic_cast<TWinControl*>(*it) == nullptr) continue;
        if (n == Value) break;
        ++n;
    }
    list.insert(it, this);
}

bool TWinControl::VisibleAndEnabledUpToForm() const {
    for (const TControl* c = this; c != nullptr; c = c->Parent()) {
        if (!c->Enabled()) return false;
        if (!c->Visible() && dynamic_cast<const TCustomForm*>(c) == nullptr) return false;
    }
    return true;
}

bool TWinControl::CanFocus() const {
    if (!VisibleAndEnabledUpToForm() || Widget() == nullptr) return false;
    return Widget()->focusPolicy() != Qt::NoFocus || Widget()->focusProxy() != nullptr;
}

namespace ui {

void ShowFocusOf(QWidget* Widget) {
    // The style draws the focus of check boxes, lists and page tabs only in a
    // window whose focus moved by the keyboard; here the program moves it
    // for the keyboard (Enter, the arrows, the first field of a form).
    if (Widget != nullptr && Widget->window() != nullptr)
        Widget->window()->setAttribute(Qt::WA_KeyboardFocusChange);
}

}  // namespace ui

void TWinControl::SetFocus() {
    if (TCustomForm* f = GetParentForm()) {
        f->SetActiveControl(this);
    } else if (Widget()) {
        ui::ShowFocusOf(Widget());
        Widget()->setFocus(Qt::OtherFocusReason);
    }
}

bool TWinControl::Focused() const {
    QWidget* fw = QApplication::focusWidget();
    if (fw == nullptr || Widget() == nullptr) return false;
    if (fw == Widget()) return true;
    return controls_.empty() && Widget()->isAncestorOf(fw);
}

std::vector<TWinControl*> TWinControl::TabList() const {
    std::vector<TWinControl*> out;
    for (TControl* c : controls_) {
        if (auto* w = dynamic_cast<TWinControl*>(c)) {
            out.push_back(w);
            std::vector<TWinControl*> inner = w->TabList();
            out.insert(out.end(), inner.begin(), inner.end());
        }
    }
    return out;
}

void TWinControl::Realign() {
    QWidget* client = ClientWidget();
    if (client == nullptr || realigning_) return;
    realigning_ = true;
    QRect r = client->rect();
    for (TControl* c : controls_) {
        if (c->Align() != alNone) continue;
        TAnchors a = c->Anchors();
        if (!a.Contains(akRight) && !a.Contains(akBottom)) continue;
        QWidget* w = c->GeometryWidget();
        if (w == nullptr) continue;
        QRect g = w->geometry();
        int right = r.width() - c->rightMargin_;
        int bottom = r.height() - c->bottomMargin_;
        if (a.Contains(akRight)) {
            if (a.Contains(akLeft)) g.setWidth(std::max(0, right - g.x()));
            else g.moveLeft(right - g.width());
        }
        if (a.Contains(akBottom)) {
            if (a.Contains(akTop)) g.setHeight(std::max(0, bottom - g.y()));
            else g.moveTop(bottom - g.height());
        }
        if (g == w->geometry()) continue;
        w->setGeometry(g);
        if (auto* wc = dynamic_cast<TWinControl*>(c)) wc->Realign();
    }
    for (TAlign a : {alTop, alBottom, alLeft, alRight, alClient}) {
        for (TControl* c : controls_) {
            if (c->Align() != a || !c->Visible()) continue;
            QWidget* w = c->GeometryWidget();
            if (w == nullptr) continue;
            switch (a) {
            case alTop:
                w->setGeometry(r.left(), r.top(), r.width(), w->height());
                r.setTop(r.top() + w->height());
                break;
            case alBottom:
                w->setGeometry(r.left(), r.bottom() + 1 - w->height(), r.width(), w->height());
                r.setBottom(r.bottom() - w->height());
                break;
            case alLeft:
                w->setGeometry(r.left(), r.top(), w->width(), r.height());
                r.setLeft(r.left() + w->width());
                break;
            case alRight:
                w->setGeometry(r.right() + 1 - w->width(), r.top(), w->width(), r.height());
                r.setRight(r.right() - w->width());
                break;
            case alClient:
                w->setGeometry(r);
                break;
            default: break;
            }
            if (auto* wc = dynamic_cast<TWinControl*>(c)) wc->Realign();
        }
    }
    PlaceRemainder(r.left(), r.top(), std::max(0, r.width()), std::max(0, r.height()));
    realigning_ = false;
}

void TWinControl::DoEnter() {
    if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
    if (OnExit) OnExit(this);
}

namespace {

// Alt and a key, nothing else held (Ctrl+Alt is AltGr on some keyboards).
bool AltOnly(const QKeyEvent* Event) {
    return (Event->modifiers() & ~Qt::KeypadModifier) == Qt::AltModifier;
}

// The control of Form whose Alt letter the key is: a shown, enabled button
// or the control a label names. A window inside the main window shares its
// Alt letters with the main window's menus; the window's own come first. A
// window of its own answers its letters here too, whatever its focused
// control does with the key (a grid takes typed letters as a search) and
// whether or not the platform delivers the buttons' own shortcuts. The main
// window holds the others' controls: its letters are its menus'.
QWidget* OwnMnemonic(TCustomForm* Form, const QKeyEvent* Event) {
    if (Form == nullptr || Form->FormStyle() == fsMDIForm || !AltOnly(Event)) return nullptr;
    const int key = Event->key();
    if (key == 0 || key >= Qt::Key_Escape) return nullptr;
    QWidget* top = Form->Widget();
    if (top == nullptr) return nullptr;
    const QKeySequence wanted(QKeyCombination(Qt::AltModifier, Qt::Key(QChar(key).toUpper().unicode())));
    for (QAbstractButton* b : top->findChildren<QAbstractButton*>()) {
        if (b->isVisibleTo(top) && b->isEnabled() && QKeySequence::mnemonic(b->text()) == wanted) return b;
    }
    for (QLabel* l : top->findChildren<QLabel*>()) {
        QWidget* buddy = l->buddy();
        if (buddy != nullptr && l->isVisibleTo(top) && buddy->isVisibleTo(top) && buddy->isEnabled() &&
            QKeySequence::mnemonic(l->text()) == wanted)
            return l;
    }
    return nullptr;
}

// The item of a popup menu whose shortcut the key is: the menu of the
// control, else of the controls around it. A popup's shortcut answers while
// the focus is in its control, not only while the popup is open.
TMenuItem* PopupShortCut(TControl* Control, const QKeyEvent* Event) {
    const Word key = ui::VirtualKey(Event);
    if (key == 0) return nullptr;
    const TShortCut wanted = ShortCut(key, ui::ShiftState(Event));
    for (TControl* c = Control; c != nullptr; c = c->Parent()) {
        if (c->PopupMenu() == nullptr) continue;
        if (TMenuItem* item = c->PopupMenu()->FindShortCut(wanted)) return item;
    }
    return nullptr;
}

void PressMnemonic(QWidget* Target) {
    if (auto* b = qobject_cast<QAbstractButton*>(Target)) {
        // As the letter presses a button anywhere: drawn down, then clicked.
        b->animateClick();
    } else if (auto* l = qobject_cast<QLabel*>(Target); l != nullptr && l->buddy() != nullptr) {
        l->buddy()->setFocus(Qt::ShortcutFocusReason);
    }
}

}  // namespace

bool TWinControl::HandleKey(QKeyEvent* Event) {
    TCustomForm* form = GetParentForm();
    Word key = ui::VirtualKey(Event);
    TShiftState shift = ui::ShiftState(Event);
    bool swallowed = false;
    // A grid's cell editor keeps Enter and Esc inside the grid while the
    // grid is being typed in: an Esc meant for a cell never closes the form.
    const bool wantsReturns = WantsReturns() || (keyOwner_ != nullptr && keyOwner_->WantsReturns());
    Guarded([&] {
        if (QWidget* own = OwnMnemonic(form, Event)) {
            PressMnemonic(own);
            swallowed = true;
            return;
        }
        if (TMenuItem* item = PopupShortCut(this, Event)) {
            item->Click();
            swallowed = true;
            return;
        }
        if (key != 0) {
            // Esc belongs to the form's cancel button before anyone else,
            // but for a change the control itself takes back with it: the
            // message of a refused value tells the user to press Esc to
            // abandon it, and closing the form would only ask to save it.
            if (key == VK_ESCAPE && shift.Empty() && form != nullptr && !wantsReturns && !EscapeUndoes()) {
                TButton* b = form->CancelButton();
                if (b != nullptr && b->VisibleAndEnabledUpToForm()) {
                    b->Click();
                    swallowed = true;
                    return;
                }
            }
            // Enter on a focused button presses it.
            if ((key == VK_RETURN) && shift.Empty()) {
                if (auto* b = dynamic_cast<TButton*>(this)) {
                    b->Click();
                    swallowed = true;
                    return;
                }
            }
            QWidget* focusBefore = QApplication::focusWidget();
            if (form != nullptr && form != this && form->KeyPreview() && form->OnKeyDown) form->OnKeyDown(form, key, shift);
            if (key != 0 && OnKeyDown) OnKeyDown(this, key, shift);
            // A handler that moved the focus (Enter as Tab) has used the key.
            if (key == 0 || QApplication::focusWidget() != focusBefore) {
                swallowed = true;
                return;
            }
            if (form != nullptr && !wantsReturns && key == VK_RETURN && shift.Empty()) {
                TButton* b = form->DefaultButton();
                if (b != nullptr && b->VisibleAndEnabledUpToForm()) {
                    b->Click();
                    swallowed = true;
                    return;
                }
            }
            if (key == VK_TAB && !shift.Contains(ssCtrl) && form != nullptr && !WantsTabs()) {
                form->SelectNext(this, !shift.Contains(ssShift), true);
                swallowed = true;
                return;
            }
        }
        QString text = Event->text();
        if (!text.isEmpty()) {
            QList<uint> ucs = text.toUcs4();
            char32_t ch = ucs.isEmpty() ? 0 : static_cast<char32_t>(ucs.front());
            bool typed = ch >= 32 ? ch != 127 : (ch == 13 || ch == 27 || ch == 8);
            // A letter held with Alt is a command the window has no use for,
            // never text (a search would start with it).
            if (AltOnly(Event)) typed = false;
            if (typed) {
                char32_t original = ch;
                if (form != nullptr && form != this && form->KeyPreview() && form->OnKeyPress) form->OnKeyPress(form, ch);
                if (ch != 0 && OnKeyPress) OnKeyPress(this, ch);
                if (ch != 0) KeyPressed(ch);
                if (ch == 0) {
                    swallowed = true;
                    return;
                }
                if (ch != original) {
                    // The handler typed another character: deliver that one.
                    QKeyEvent replaced(QEvent::KeyPress, 0, Event->modifiers(),
                                       QString::fromUcs4(&ch, 1));
                    // The control has its say on the key it gets (a grid
                    // starts the row's edit before its cell takes it).
                    if (!AcceptKey(&replaced)) {
                        swallowed = true;
                        return;
                    }
                    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : Widget();
                    filter_->control = nullptr;
                    QApplication::sendEvent(target, &replaced);
                    filter_->control = this;
                    swallowed = true;
                    return;
                }
            }
        }
        if (!AcceptKey(Event)) swallowed = true;
        // Unused here, it would reach the parent and the cancel button.
        else if (key == VK_ESCAPE && wantsReturns && !WantsReturns())
            swallowed = true;
    });
    return swallowed;
}

bool TWinControl::WidgetEvent(QObject* Watched, QEvent* Event) {
    switch (Event->type()) {
    case QEvent::ShortcutOverride:
        // The window's own Alt letter before the main window's menus, and a
        // popup's shortcut before any other: the key then comes as a key
        // press (HandleKey).
        if (OwnMnemonic(GetParentForm(), static_cast<QKeyEvent*>(Event)) != nullptr ||
            PopupShortCut(this, static_cast<QKeyEvent*>(Event)) != nullptr) {
            Event->accept();
            return true;
        }
        return false;
    case QEvent::KeyPress:
        return HandleKey(static_cast<QKeyEvent*>(Event));
    case QEvent::KeyRelease:
        if (OnKeyUp) {
            Word key = ui::VirtualKey(static_cast<QKeyEvent*>(Event));
            TShiftState shift = ui::ShiftState(static_cast<QKeyEvent*>(Event));
            if (key != 0) Guarded([&] { OnKeyUp(this, key, shift); });
        }
        return false;
    case QEvent::FocusIn: {
        auto reason = static_cast<QFocusEvent*>(Event)->reason();
        if (reason == Qt::PopupFocusReason) return false;
        if (TCustomForm* f = GetParentForm()) f->activeControl_ = this;
        // Moving between the control's own parts, or its window coming back
        // to the front, is no entering.
        if (focusInside_) return false;
        focusInside_ = true;
        Guarded([this] { DoEnter(); });
        return false;
    }
    case QEvent::FocusOut: {
        auto reason = static_cast<QFocusEvent*>(Event)->reason();
        if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason) return false;
        // A grid's cell editor or a combo's line is still this control.
        QWidget* next = QApplication::focusWidget();
        if (next != nullptr && ui::ControlOf(next) == this) return false;
        if (!focusInside_) return false;
        focusInside_ = false;
        Guarded([this] { DoExit(); });
        return false;
    }
    case QEvent::Resize:
        if (Watched == ClientWidget()) Realign();
        return TControl::WidgetEvent(Watched, Event);
    default:
        return TControl::WidgetEvent(Watched, Event);
    }
}
