#pragma once
// Forms, the application object and the screen.
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Controls.h"

class QMdiArea;
class QMdiSubWindow;
class QEventLoop;
class QMenuBar;
class TMainMenu;

enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter,
                 poDesktopCenter, poMainFormCenter, poOwnerFormCenter };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSet<TBorderIcon>;
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TCustomForm : public TWinControl {
public:
    FAT_CLASS_NAME(TCustomForm)
    explicit TCustomForm(TComponent* AOwner);
    ~TCustomForm() override;

    // Runs OnCreate once; Application->CreateForm calls it, and Show and
    // ShowModal call it for a form that was built without.
    void DoCreate();

    TFormStyle FormStyle() const { return formStyle_; }
    void SetFormStyle(TFormStyle Value);
    TPosition Position() const { return position_; }
    void SetPosition(TPosition Value) { position_ = Value; }
    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TFormBorderStyle Value);
    TBorderIcons BorderIcons() const { return borderIcons_; }
    void SetBorderIcons(TBorderIcons Value);
    TWindowState WindowState() const;
    void SetWindowState(TWindowState Value);
    bool KeyPreview() const { return keyPreview_; }
    void SetKeyPreview(bool Value) { keyPreview_ = Value; }

    TMainMenu* Menu() const { return menu_; }
    void SetMenu(TMainMenu* Value);

    // The control that has (or will get, when the form shows) the focus.
    TWinControl* ActiveControl() const;
    void SetActiveControl(TWinControl* Control);
    // Moves the focus from CurControl to the next (or previous) control in
    // tab order, wrapping around; CheckTabStop skips controls without TabStop
    // and those Tab passes by (PassedByTab).
    void SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop);
    // The control following CurControl in tab order; nullptr when none.
    TWinControl* FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop) const;

    void Show();
    void Close();
    // Frees the form once the event loop is back (safe from its own handlers).
    void Release();
    bool CloseQuery();
    // Shows the form modally and runs the event loop until ModalResult is
    // set or the form closes; returns the result (mrCancel when closed).
    TModalResult ShowModal();
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult Value);
    bool Modal() const { return modalLoop_ != nullptr; }
    bool Active() const;

    // The button that Enter presses and the one Esc presses.
    class TButton* DefaultButton() const { return defaultButton_; }
    class TButton* CancelButton() const { return cancelButton_; }

    // MDI frame: its children, the active one, arranging them.
    int MDIChildCount() const;
    TCustomForm* MDIChildren(int Index) const;
    TCustomForm* ActiveMDIChild() const;
    void Cascade();
    void Tile();
    QMdiArea* MdiArea() const { return mdiArea_; }

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TNotifyEvent OnResize;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;

    QWidget* ClientWidget() const override;
    bool CanFocus() const override { return false; }
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    void SetVisible(bool Value) override;

protected:
    friend class TButton;
    friend class TWinControl;
    friend class FormWindow;
    void PlaceRemainder(int ALeft, int ATop, int AWidth, int AHeight) override;
    friend class TApplication;
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;
    void ApplyColor() override;
    virtual void DoShow();
    virtual void DoHide() { if (OnHide) OnHide(this); }
    virtual void DoActivate();
    virtual void DoDeactivate() { if (OnDeactivate) OnDeactivate(this); }
    virtual void DoClose(TCloseAction& Action) { if (OnClose) OnClose(this, Action); }
    void RegisterButton(class TButton* Button, bool Default, bool Cancel);
    void ForgetButton(class TButton* Button);
    // The window as the user sees it: the window widget, or its MDI frame.
    QWidget* OuterWidget() const;
    QWidget* GeometryWidget() const override { return OuterWidget(); }
    // The window asked to close by the user (close box, Alt+F4).
    bool WindowCloseRequested();
    // The top-level window was minimised, maximised or restored, or moved,
    // by the program or by the window manager.
    virtual void WindowStateChanged() {}
    virtual void WindowMoved() {}
    void PlaceWindow();
    // The window manager's buttons and frame for the border style and icons.
    void ApplyWindowFlags();
    // A dialog or single border keeps the size it was given.
    void ApplySizeConstraints();
    bool FixedSize() const;
    void SyncClientArea();

private:
    void AttachToMdiFrame();
    void Layout();
    void ActivateFocus();

    class FormWindow* window_ = nullptr;
    QWidget* client_ = nullptr;
    QMdiArea* mdiArea_ = nullptr;
    QPointer<QMdiSubWindow> subWindow_;
    TMainMenu* menu_ = nullptr;
    TFormStyle formStyle_ = fsNormal;
    TPosition position_ = poDesigned;
    TFormBorderStyle borderStyle_ = bsSizeable;
    TBorderIcons borderIcons_{biSystemMenu, biMinimize, biMaximize};
    TWindowState pendingState_ = wsNormal;
    bool keyPreview_ = false;
    bool created_ = false;
    bool placed_ = false;
    bool closing_ = false;
    // OnShow ran for the current showing; cleared when the program hides
    // the form.
    bool shownNotified_ = false;
    TModalResult modalResult_ = mrNone;
    QEventLoop* modalLoop_ = nullptr;
    TWinControl* activeControl_ = nullptr;
    class TButton* defaultButton_ = nullptr;
    class TButton* cancelButton_ = nullptr;
    std::shared_ptr<bool> alive_;
};

class TForm : public TCustomForm {
public:
    FAT_CLASS_NAME(TForm)
    explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
};

// ---------------------------------------------------------------------------

using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;

// Message box flags and answers of Application->MessageBox.
inline constexpr int MB_OK = 0x00;
inline constexpr int MB_OKCANCEL = 0x01;
inline constexpr int MB_ABORTRETRYIGNORE = 0x02;
inline constexpr int MB_YESNOCANCEL = 0x03;
inline constexpr int MB_YESNO = 0x04;
inline constexpr int MB_RETRYCANCEL = 0x05;
inline constexpr int MB_ICONHAND = 0x10;
inline constexpr int MB_ICONERROR = 0x10;
inline constexpr int MB_ICONSTOP = 0x10;
inline constexpr int MB_ICONQUESTION = 0x20;
inline constexpr int MB_ICONEXCLAMATION = 0x30;
inline constexpr int MB_ICONWARNING = 0x30;
inline constexpr int MB_ICONINFORMATION = 0x40;
inline constexpr int MB_ICONASTERISK = 0x40;
inline constexpr int MB_DEFBUTTON1 = 0x000;
inline constexpr int MB_DEFBUTTON2 = 0x100;
inline constexpr int MB_DEFBUTTON3 = 0x200;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

class TApplication : public TComponent {
public:
    FAT_CLASS_NAME(TApplication)
    explicit TApplication(TComponent* AOwner);
    ~TApplication() override;

    // Makes sure the Qt application exists (a program's main passes its
    // arguments through ui::StartApplication first).
    void Initialize();
    // Creates a form owned by the application; the first becomes MainForm.
    template <typename T>
    void CreateForm(T*& Reference) {
        T* form = new T(this);
        Reference = form;
        if (mainForm_ == nullptr) mainForm_ = form;
        form->DoCreate();
    }
    TCustomForm* MainForm() const { return mainForm_; }
    void SetMainForm(TCustomForm* Form) { mainForm_ = Form; }

    // Shows the main form and runs the event loop until Terminate or until
    // the main form closes; then frees the forms.
    void Run();
    void Terminate();
    bool Terminated() const { return terminated_; }
    // A process that hosts one main window after another (the tests) starts
    // each on an application that has not been told to end.
    void ClearTerminated();
    // Handles the events waiting in the queue, deferred frees included.
    void ProcessMessages();

    // The default handler of failures that reach the event loop: EAbort is
    // silent; OnException when set; otherwise a box captioned "Erro" with
    // the message.
    void HandleException(TObject* Sender);
    void HandleException(TObject* Sender, const std::exception& E);
    void ShowException(const std::exception& E);

    // A platform message box: Flags combine MB_ buttons and icon; the answer
    // is one of the ID values.
    int MessageBox(const std::string& Text, const std::string& Caption, int Flags = MB_OK);

    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& Value);
    std::string ExeName() const;
    const std::string& HintText() const { return hint_; }
    void SetHint(const std::string& Value);
    void BringToFront();

    TExceptionEvent OnException;
    TNotifyEvent OnHint;

    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    TCustomForm* mainForm_ = nullptr;
    bool terminated_ = false;
    bool running_ = false;
    std::string title_;
    std::string hint_;
};

class TScreen : public TComponent {
public:
    FAT_CLASS_NAME(TScreen)
    explicit TScreen(TComponent* AOwner) : TComponent(AOwner) {}

    // The primary screen's size in pixels.
    int Width() const;
    int Height() const;
    // crHourGlass and the other busy cursors show over every window until
    // set back to crDefault.
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor Value);
    TCustomForm* ActiveForm() const;
    TWinControl* ActiveControl() const;
    int FormCount() const;
    TCustomForm* Forms(int Index) const;

private:
    TCursor cursor_ = crDefault;
};

extern TApplication* Application;
extern TScreen* Screen;

namespace ui {

// Creates the Qt application with the program's arguments (once; later
// calls do nothing). Controls create one without arguments when a program
// or a test did not.
void StartApplication(int& argc, char** argv);
void EnsureQtApplication();

// The form object behind a Qt widget, walking up the widget's parents.
TCustomForm* FormOf(const QWidget* Widget);
// The control whose widget (or a watched inner widget) is this one.
TControl* ControlOf(const QWidget* Widget);

// Sets the busy cursor for the life of the object.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    TCursor previous_;
};

}  // namespace ui
