#pragma once
// Controls: the common ground of every window element. A control is a
// component (its owner frees it) that wraps one Qt widget; a windowed control
// (TWinControl) can take the focus and hold child controls, which it frees
// when it goes, as the class library does.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>

#include "platform/db/DB.h"  // TAlignment is shared with the fields
#include "platform/gfx/Graphics.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/Object.h"

class QWidget;
class QObject;
class QEvent;
class QInputEvent;
class QKeyEvent;
class QMouseEvent;
class QString;
class QColor;

class TWinControl;
class TCustomForm;
class TForm;
class TPopupMenu;

// Colours (TColor, clBlack...) come from the drawing layer.

// ---------------------------------------------------------------------------
// Keys: the platform's virtual-key codes, which handlers compare against.

using Word = std::uint16_t;
inline constexpr Word VK_BACK = 8;
inline constexpr Word VK_TAB = 9;
inline constexpr Word VK_RETURN = 13;
inline constexpr Word VK_SHIFT = 16;
inline constexpr Word VK_CONTROL = 17;
inline constexpr Word VK_MENU = 18;
inline constexpr Word VK_ESCAPE = 27;
inline constexpr Word VK_SPACE = 32;
inline constexpr Word VK_PRIOR = 33;
inline constexpr Word VK_NEXT = 34;
inline constexpr Word VK_END = 35;
inline constexpr Word VK_HOME = 36;
inline constexpr Word VK_LEFT = 37;
inline constexpr Word VK_UP = 38;
inline constexpr Word VK_RIGHT = 39;
inline constexpr Word VK_DOWN = 40;
inline constexpr Word VK_INSERT = 45;
inline constexpr Word VK_DELETE = 46;
inline constexpr Word VK_F1 = 112;
inline constexpr Word VK_F2 = 113;
inline constexpr Word VK_F3 = 114;
inline constexpr Word VK_F4 = 115;
inline constexpr Word VK_F5 = 116;
inline constexpr Word VK_F6 = 117;
inline constexpr Word VK_F7 = 118;
inline constexpr Word VK_F8 = 119;
inline constexpr Word VK_F9 = 120;
inline constexpr Word VK_F10 = 121;
inline constexpr Word VK_F11 = 122;
inline constexpr Word VK_F12 = 123;

enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem>;

using TKeyEvent = std::function<void(TObject* Sender, Word& Key, TShiftState Shift)>;
// The typed character as a code point; setting it to 0 swallows it, setting
// another character types that one instead.
using TKeyPressEvent = std::function<void(TObject* Sender, char32_t& Key)>;

enum TMouseButton { mbLeft, mbRight, mbMiddle };
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
// The parent's edges a control keeps its distance to when the parent
// resizes: left and right together stretch it, right alone moves it.
enum TAnchorKind { akLeft, akTop, akRight, akBottom };
using TAnchors = TSet<TAnchorKind>;
enum TCursor : int { crDefault = 0, crArrow = -2, crHourGlass = -11, crSQLWait = -17, crHandPoint = -21 };

// Modal results, as buttons and message boxes return them.
using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;
inline constexpr TModalResult mrAll = 8;
inline constexpr TModalResult mrNoToAll = 9;
inline constexpr TModalResult mrYesToAll = 10;

// ---------------------------------------------------------------------------

class TControl : public TComponent {
public:
    FAT_CLASS_NAME(TControl)
    explicit TControl(TComponent* AOwner);
    ~TControl() override;

    // The visual container; the control's widget lives inside the parent's.
    TWinControl* Parent() const { return parent_; }
    virtual void SetParent(TWinControl* AParent);

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetLeft(int Value) { SetBounds(Value, Top(), Width(), Height()); }
    void SetTop(int Value) { SetBounds(Left(), Value, Width(), Height()); }
    void SetWidth(int Value) { SetBounds(Left(), Top(), Value, Height()); }
    void SetHeight(int Value) { SetBounds(Left(), Top(), Width(), Value); }
    virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    int ClientWidth() const;
    int ClientHeight() const;

    TAlign Align() const { return align_; }
    void SetAlign(TAlign Value);
    // Anchors count from the bounds and the parent's size when they are set
    // (and whenever SetBounds places the control again).
    TAnchors Anchors() const { return anchors_; }
    void SetAnchors(TAnchors Value);

    bool Visible() const { return visible_; }
    virtual void SetVisible(bool Value);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible with every parent up to the window.
    bool Showing() const;

    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool Value);

    // Caption and Text are the same string, as in the class library.
    std::string Caption() const { return GetText(); }
    void SetCaption(const std::string& Value) { SetText(Value); }
    std::string Text() const { return GetText(); }
    void SetText(const std::string& Value) { SetTextValue(Value); }

    TColor Color() const { return color_; }
    virtual void SetColor(TColor Value);
    bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool Value);

    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& Value);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool Value) { showHint_ = Value; }

    bool FontBold() const;
    void SetFontBold(bool Value);
    int FontSize() const;  // points
    void SetFontSize(int Value);
    TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor Value);

    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor Value);

    TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* Value);

    // The form the control sits on, walking the parents; nullptr when none.
    TCustomForm* GetParentForm() const;
    virtual void Click();
    void BringToFront();
    void Refresh() { Repaint(); }
    void Repaint();
    void Invalidate() { Repaint(); }
    void Update() { Repaint(); }

    // The Qt widget behind the control, for the window layer and for tests.
    QWidget* Widget() const { return widget_; }

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;

    void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
    // Takes the widget this control stands for; called once by each
    // concrete control's constructor.
    void SetWidget(QWidget* Widget);
    // Also watches events of an inner widget (the editor inside a composite).
    void WatchWidget(QWidget* Inner);
    virtual std::string GetText() const { return text_; }
    virtual void SetTextValue(const std::string& Value) { text_ = Value; }
    // Called for every event of the widget (and the watched inner ones);
    // true consumes it.
    virtual bool WidgetEvent(QObject* Watched, QEvent* Event);
    virtual void ApplyColor();
    // The font's size or weight changed (a label that sizes to its text
    // measures again).
    virtual void FontChanged() {}
    // The widget whose geometry is the control's (a form in an MDI frame
    // answers with its frame).
    virtual QWidget* GeometryWidget() const { return widget_; }
    virtual void DoDblClick() { if (OnDblClick) OnDblClick(this); }
    // Runs a handler where the event loop called us: a failure goes to the
    // application's exception handler instead of leaving through Qt.
    void Guarded(const std::function<void()>& Action);
    bool Destroying() const { return destroying_; }
    // Changes Visible without touching the widget (a container that shows
    // and hides its pages itself).
    void SetVisibleFlag(bool Value) { visible_ = Value; }

    std::string text_;

private:
    friend class TWinControl;
    class Filter;
    QPointer<QWidget> widget_;
    Filter* filter_ = nullptr;
    TWinControl* parent_ = nullptr;
    void CaptureAnchors();
    TAlign align_ = alNone;
    TAnchors anchors_{akLeft, akTop};
    int rightMargin_ = 0;   // the parent's width minus the control's right edge
    int bottomMargin_ = 0;  // the parent's height minus the control's bottom edge
    bool visible_ = true;
    bool enabled_ = true;
    TColor color_ = clBtnFace;
    bool parentColor_ = false;
    TColor fontColor_ = clWindowText;
    std::string hint_;
    bool showHint_ = false;
    TCursor cursor_ = crDefault;
    TPopupMenu* popupMenu_ = nullptr;
    bool destroying_ = false;
};

// A control that takes the focus and holds others.
class TWinControl : public TControl {
public:
    FAT_CLASS_NAME(TWinControl)
    explicit TWinControl(TComponent* AOwner);
    ~TWinControl() override;

    int ControlCount() const { return static_cast<int>(controls_.size()); }
    TControl* Controls(int Index) const;

    int TabOrder() const;
    void SetTabOrder(int Value);
    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool Value) { tabStop_ = Value; }

    // Showing, enabled and of a kind that takes the focus.
    virtual bool CanFocus() const;
    virtual void SetFocus();
    bool Focused() const;

    // Arranges the aligned children (top, bottom, left, right, then client)
    // and keeps the anchored ones at their distances from the edges.
    void Realign();

    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeyPress;

    // The widget that children are placed in (a scroll area's or a group
    // box's inner widget, a form's client area).
    virtual QWidget* ClientWidget() const { return Widget(); }
    // Whether the control wants Enter, Esc and the arrows for itself, so
    // that the form does not take them.
    virtual bool WantsReturns() const { return false; }
    // Whether Tab stays in the control (a grid moving between its columns).
    virtual bool WantsTabs() const { return false; }
    // Whether the control holds a change of its own that Esc takes back (a
    // data-aware edit the user typed into, or whose value its field
    // refused): Esc then undoes that change before it reaches the form's
    // cancel button.
    virtual bool EscapeUndoes() const { return false; }
    // Whether Tab and the form's Enter navigation pass the control by (an
    // edit the user cannot type into); a click still focuses it.
    virtual bool PassedByTab() const { return false; }
    // The control this one types for (a grid whose cell it edits, laid over
    // the cell): while that owner wants Enter and Esc, they never reach the
    // form's default or cancel button from here, and an Esc this control
    // leaves unused is the owner's.
    TWinControl* KeyOwner() const { return keyOwner_; }
    void SetKeyOwner(TWinControl* Value) { keyOwner_ = Value; }
    // The child windowed controls in tab order.
    std::vector<TWinControl*> TabList() const;
    // A label that names this control (its FocusControl) tells it the
    // caption the user reads, without accelerator or closing colon; a
    // data-aware control gives it to its field, so that what the dataset
    // says about the field names it as the form does.
    virtual void LabelCaptionChanged(const std::string& Caption) { (void)Caption; }

    // Whether the control is visible and enabled up to its form, by the
    // controls' own flags (so it answers before the form is shown).
    bool VisibleAndEnabledUpToForm() const;

    // Runs the class library's key protocol for a key event that reached
    // this control: the form's preview, OnKeyDown, the dialog keys, then
    // OnKeyPress. Returns true when the event was swallowed.
    bool HandleKey(QKeyEvent* Event);

protected:
    friend class TControl;
    friend class TCustomForm;
    bool WidgetEvent(QObject* Watched, QEvent* Event) override;
    virtual void DoEnter();
    virtual void DoExit();
    // Before a key reaches the widget: false refuses it (a data-aware edit
    // that cannot start editing).
    virtual bool AcceptKey(QKeyEvent* Event) { (void)Event; return true; }
    // The control's own say on a typed character, after OnKeyPress: 0
    // swallows it, another character is typed instead.
    virtual void KeyPressed(char32_t& Key) { (void)Key; }
    void InsertControl(TControl* Control);
    void RemoveControl(TControl* Control);
    // Gets the client space the aligned children left over (an MDI frame
    // puts its workspace there).
    virtual void PlaceRemainder(int ALeft, int ATop, int AWidth, int AHeight) {
        (void)ALeft; (void)ATop; (void)AWidth; (void)AHeight;
    }

private:
    std::vector<TControl*> controls_;
    bool tabStop_ = true;
    TWinControl* keyOwner_ = nullptr;
    bool realigning_ = false;
    bool focusInside_ = false;
};

// A control without a window of its own in the class library (labels,
// images, shapes): it never takes the focus.
class TGraphicControl : public TControl {
public:
    FAT_CLASS_NAME(TGraphicControl)
    using TControl::TControl;
};

namespace ui {

// Qt <-> the system's strings and colours.
std::string ToStd(const QString& Text);
QString ToQt(const std::string& Text);
QColor ToQColor(TColor Color);

// Converts a Qt key event to the virtual-key code and shift state the
// handlers expect (0 when the key has no code).
Word VirtualKey(const QKeyEvent* Event);
// The modifier keys held during a key or mouse event; a mouse event adds
// the buttons held.
TShiftState ShiftState(const QInputEvent* Event);
TShiftState ShiftState(const QMouseEvent* Event);

// Marks the widget's window as one whose focus the keyboard moves, so that
// the focus of every kind of control is drawn.
void ShowFocusOf(QWidget* Widget);

}  // namespace ui
