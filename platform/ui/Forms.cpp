#include "platform/ui/Forms.h"

#include <algorithm>
#include <cstdio>

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMoveEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/ui/ComCtrls.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Menus.h"
#include "platform/ui/StdCtrls.h"

TApplication* Application = new TApplication(nullptr);
TScreen* Screen = new TScreen(nullptr);

namespace {

std::vector<TCustomForm*>& AllForms() {
    static auto* forms = new std::vector<TCustomForm*>;
    return *forms;
}

}  // namespace

// The top-level widget of a form: tells the form about closing, showing and
// activation.
class FormWindow : public QWidget {
public:
    explicit FormWindow(TCustomForm* Form) : form(Form) {}
    TCustomForm* form;

protected:
    void closeEvent(QCloseEvent* Event) override {
        Event->ignore();
        if (form == nullptr) return;
        bool close = false;
        try {
            close = form->WindowCloseRequested();
        } catch (const std::exception& e) {
            Application->HandleException(form, e);
        } catch (...) {
            Application->HandleException(form);
        }
        (void)close;
    }
    // OnShow and OnHide follow the form's own visibility, not every show
    // and hide of its widget: the MDI workspace hides and shows a child's
    // widget as it is minimised, maximised and restored, and the window
    // system shows a window again after minimising. A form's OnShow often
    // opens or moves its datasets, which would post a row being typed.
    void showEvent(QShowEvent* Event) override {
        QWidget::showEvent(Event);
        if (form == nullptr || form->shownNotified_) return;
        form->shownNotified_ = true;
        guarded([this] { form->DoShow(); });
    }
    void hideEvent(QHideEvent* Event) override {
        QWidget::hideEvent(Event);
        if (form != nullptr && !Event->spontaneous() && !form->shownNotified_) guarded([this] { form->DoHide(); });
    }
    void resizeEvent(QResizeEvent* Event) override {
        QWidget::resizeEvent(Event);
        if (form != nullptr && form->OnResize) guarded([this] { form->OnResize(form); });
    }
    void moveEvent(QMoveEvent* Event) override {
        QWidget::moveEvent(Event);
        if (form != nullptr && isWindow()) guarded([this] { form->WindowMoved(); });
    }
    void changeEvent(QEvent* Event) override {
        QWidget::changeEvent(Event);
        if (form != nullptr && Event->type() == QEvent::WindowStateChange && isWindow()) {
            guarded([this] { form->WindowStateChanged(); });
            return;
        }
        if (form == nullptr || Event->type() != QEvent::ActivationChange) return;
        if (form->FormStyle() == fsMDIChild) return;  // the MDI area tells those
        if (isActiveWindow()) guarded([this] { form->DoActivate(); });
        else guarded([this] { form->DoDeactivate(); });
    }

private:
    void guarded(const std::function<void()>& f) {
        try {
            f();
        } catch (const std::exception& e) {
            Application->HandleException(form, e);
        } catch (...) {
            Application->HandleException(form);
        }
    }
};

// ---------------------------------------------------------------------------
// TCustomForm

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner), alive_(std::make_shared<bool>(true)) {
    window_ = new FormWindow(this);
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    client_ = new QWidget(window_);
    layout->addWidget(client_);
    SetWidget(window_);
    WatchWidget(client_);
    window_->resize(320, 240);
    AllForms().push_back(this);
}

TCustomForm::~TCustomForm() {
    *alive_ = false;
    if (OnDestroy) {
        try {
            OnDestroy(this);
        } catch (...) {
        }
    }
    if (modalLoop_ != nullptr) modalLoop_->exit();
    auto& all = AllForms();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    // MDI children outlive their frame's widgets: take them out first.
    for (TCustomForm* f : std::vector<TCustomForm*>(all)) {
        if (f->subWindow_ && mdiArea_ != nullptr && f->subWindow_->mdiArea() == mdiArea_) {
            QMdiSubWindow* s = f->subWindow_;
            f->window_->hide();
            f->window_->setParent(nullptr);
            f->subWindow_ = nullptr;
            delete s;
        }
    }
    // Free what the form holds while its window still stands.
    while (ControlCount() > 0) delete Controls(ControlCount() - 1);
    DestroyComponents();
    if (subWindow_) {
        QMdiSubWindow* s = subWindow_;
        window_->setParent(nullptr);
        delete s;
    }
    window_->form = nullptr;
}

void TCustomForm::DoCreate() {
    if (created_) return;
    created_ = true;
    if (OnCreate) OnCreate(this);
}

QWidget* TCustomForm::ClientWidget() const { return client_; }

QWidget* TCustomForm::OuterWidget() const {
    if (subWindow_) return subWindow_;
    return window_;
}

std::string TCustomForm::GetText() const { return text_; }

void TCustomForm::SetTextValue(const std::string& Value) {
    text_ = Value;
    window_->setWindowTitle(ui::ToQt(Value));
}

void TCustomForm::ApplyColor() {
    QPalette pal = window_->palette();
    pal.setColor(QPalette::Window, ui::ToQColor(Color()));
    window_->setPalette(pal);
    window_->setAutoFillBackground(true);
}

void TCustomForm::SetFormStyle(TFormStyle Value) {
    if (formStyle_ == Value) return;
    formStyle_ = Value;
    if (Value == fsMDIForm && mdiArea_ == nullptr) {
        mdiArea_ = new QMdiArea(client_);
        mdiArea_->setBackground(QBrush(QColor(0x80, 0x80, 0x80)));
        mdiArea_->show();
        QObject::connect(mdiArea_, &QMdiArea::subWindowActivated, mdiArea_, [](QMdiSubWindow* w) {
            for (TCustomForm* f : AllForms()) {
                if (f->formStyle_ != fsMDIChild || !f->subWindow_) continue;
                try {
                    if (f->subWindow_ == w) f->DoActivate();
                } catch (const std::exception& e) {
                    Application->HandleException(f, e);
                }
            }
        });
        Realign();
    }
    ApplyWindowFlags();
}

void TCustomForm::PlaceRemainder(int ALeft, int ATop, int AWidth, int AHeight) {
    if (mdiArea_ != nullptr) mdiArea_->setGeometry(ALeft, ATop, AWidth, AHeight);
}

void TCustomForm::SetBorderStyle(TFormBorderStyle Value) {
    borderStyle_ = Value;
    ApplyWindowFlags();
}

void TCustomForm::SetBorderIcons(TBorderIcons Value) {
    borderIcons_ = Value;
    ApplyWindowFlags();
}

bool TCustomForm::FixedSize() const {
    return borderStyle_ == bsDialog || borderStyle_ == bsSingle || borderStyle_ == bsToolWindow;
}

void TCustomForm::ApplyWindowFlags() {
    // An MDI child's frame is the workspace's sub-window, which draws its own
    // buttons; only windows of the desktop get the window manager's.
    if (formStyle_ == fsMDIChild) return;
    Qt::WindowFlags f = borderStyle_ == bsDialog || borderStyle_ == bsToolWindow || borderStyle_ == bsSizeToolWin
                            ? Qt::Dialog
                            : Qt::Window;
    if (borderStyle_ == bsNone) {
        f |= Qt::FramelessWindowHint;
    } else {
        // Only the buttons the form asks for: a dialog has no minimise or
        // maximise box, a fixed-size window no maximise box.
        f |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        if (borderIcons_.Contains(biSystemMenu)) f |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        bool dialog = borderStyle_ == bsDialog || borderStyle_ == bsToolWindow || borderStyle_ == bsSizeToolWin;
        if (!dialog && borderIcons_.Contains(biSystemMenu) && borderIcons_.Contains(biMinimize))
            f |= Qt::WindowMinimizeButtonHint;
        if (!dialog && !FixedSize() && borderIcons_.Contains(biSystemMenu) && borderIcons_.Contains(biMaximize))
            f |= Qt::WindowMaximizeButtonHint;
    }
    if (formStyle_ == fsStayOnTop) f |= Qt::WindowStaysOnTopHint;
    if (window_->windowFlags() == f) return;
    bool shown = window_->isVisible();
    window_->setWindowFlags(f);  // hides a shown window
    if (shown) window_->show();
}

void TCustomForm::ApplySizeConstraints() {
    // A fixed border takes no resize grips; a window that is maximised or an
    // MDI child keeps its sizes free.
    if (formStyle_ != fsMDIChild && FixedSize() && pendingState_ == wsNormal) {
        window_->setFixedSize(window_->size());
    } else {
        window_->setMinimumSize(0, 0);
        window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
}

void TCustomForm::SyncClientArea() {
    // A hidden window's layout waits for the show to place the client area;
    // the controls aligned in it, and those anchored to its edges, need its
    // true size now, while the form is being built.
    if (window_->isVisible()) return;
    if (QLayout* l = window_->layout()) {
        l->invalidate();
        l->activate();
    }
}

TWindowState TCustomForm::WindowState() const {
    QWidget* w = OuterWidget();
    if (!w->isVisible()) return pendingState_;
    if (w->isMinimized()) return wsMinimized;
    if (w->isMaximized()) return wsMaximized;
    return wsNormal;
}

void TCustomForm::SetWindowState(TWindowState Value) {
    pendingState_ = Value;
    QWidget* w = OuterWidget();
    if (!w->isVisible()) return;
    switch (Value) {
    case wsMinimized: w->showMinimized(); break;
    case wsMaximized:
        if (!subWindow_ && !w->isMaximized()) {
            ApplySizeConstraints();
            w->setGeometry(ui::AvailableScreenArea(w));
        }
        w->showMaximized();
        break;
    default: w->showNormal(); break;
    }
}

void TCustomForm::SetMenu(TMainMenu* Value) {
    menu_ = Value;
    auto* layout = static_cast<QVBoxLayout*>(window_->layout());
    layout->setMenuBar(Value != nullptr ? Value->MenuBar() : nullptr);
    SyncClientArea();
    Realign();
}

TWinControl* TCustomForm::ActiveControl() const { return activeControl_; }

void TCustomForm::SetActiveControl(TWinControl* Control) {
    activeControl_ = Control;
    if (Control != nullptr && Control->Widget() != nullptr) {
        ui::ShowFocusOf(Control->Widget());
        Control->Widget()->setFocus(Qt::OtherFocusReason);
    }
}

namespace {

// The hidden page that holds Control, when Tab may show it to reach Control:
// every other control up to the form is shown and enabled, and the page's
// control walks its pages by Tab. nullptr otherwise.
TTabSheet* PageTabWouldShow(const TWinControl* Control) {
    TTabSheet* hidden = nullptr;
    for (const TControl* c = Control; c != nullptr; c = c->Parent()) {
        if (!c->Enabled()) return nullptr;
        if (c->Visible() || dynamic_cast<const TCustomForm*>(c) != nullptr) continue;
        auto* page = dynamic_cast<TTabSheet*>(const_cast<TControl*>(c));
        if (hidden != nullptr || page == nullptr || page->PageControl() == nullptr ||
            !page->PageControl()->TabThroughPages() || !page->TabVisible())
            return nullptr;
        hidden = page;
    }
    if (hidden == nullptr || Control->Widget() == nullptr) return nullptr;
    QWidget* w = Control->Widget();
    return w->focusPolicy() != Qt::NoFocus || w->focusProxy() != nullptr ? hidden : nullptr;
}

}  // namespace

TWinControl* TCustomForm::FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop) const {
    std::vector<TWinControl*> list = TabList();
    if (list.empty()) return nullptr;
    int n = static_cast<int>(list.size());
    int start = -1;
    for (int i = 0; i < n; ++i) {
        if (list[static_cast<size_t>(i)] == CurControl) start = i;
    }
    if (start < 0) start = GoForward ? n - 1 : 0;
    // The last step comes back to the start: alone, it is its own next.
    for (int step = 1; step <= n; ++step) {
        int i = GoForward ? (start + step) % n : (start - step + n * 2) % n;
        TWinControl* c = list[static_cast<size_t>(i)];
        if ((c->CanFocus() || PageTabWouldShow(c) != nullptr) &&
            (!CheckTabStop || (c->TabStop() && !c->PassedByTab())))
            return c;
    }
    return nullptr;
}

void TCustomForm::SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop) {
    TWinControl* next = FindNextControl(CurControl, GoForward, CheckTabStop);
    if (next == nullptr) return;
    if (TTabSheet* page = PageTabWouldShow(next)) {
        // Shown as a click on its tab would; a page that may not be left
        // keeps the focus where it was.
        if (!page->PageControl()->ShowPageByUser(page->PageIndex())) return;
    }
    // The control entered hears which way the focus came (a grid starts at
    // its first or its last cell).
    activeControl_ = next;
    if (next->Widget() != nullptr) next->Widget()->setFocus(GoForward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

void TCustomForm::RegisterButton(TButton* Button, bool Default, bool Cancel) {
    if (Default) defaultButton_ = Button;
    else if (defaultButton_ == Button) defaultButton_ = nullptr;
    if (Cancel) cancelButton_ = Button;
    else if (cancelButton_ == Button) cancelButton_ = nullptr;
}

void TCustomForm::ForgetButton(TButton* Button) {
    if (defaultButton_ == Button) defaultButton_ = nullptr;
    if (cancelButton_ == Button) cancelButton_ = nullptr;
}

void TCustomForm::AttachToMdiFrame() {
    if (subWindow_) return;
    TCustomForm* frame = Application->MainForm();
    if (frame == nullptr || frame == this || frame->mdiArea_ == nullptr)
        throw EInvalidOperation("Não é possível criar o formulário. Não há formulários MDI ativos.");
    QRect designed = window_->geometry();
    subWindow_ = frame->mdiArea_->addSubWindow(window_);
    subWindow_->setAttribute(Qt::WA_DeleteOnClose, false);
    // The designed bounds become the frame's, inside the workspace.
    subWindow_->setGeometry(designed.x(), designed.y(), designed.width(), designed.height());
}

void TCustomForm::PlaceWindow() {
    if (placed_) return;
    placed_ = true;
    QWidget* w = OuterWidget();
    int width = w->width(), height = w->height();
    switch (position_) {
    case poScreenCenter:
    case poDesktopCenter:
        w->setGeometry((Screen->Width() - width) / 2, (Screen->Height() - height) / 2, width, height);
        break;
    case poMainFormCenter:
    case poOwnerFormCenter: {
        TCustomForm* main = Application->MainForm();
        if (main != nullptr && main != this && main->Visible()) {
            QRect r = main->OuterWidget()->geometry();
            w->setGeometry(r.x() + (r.width() - width) / 2, r.y() + (r.height() - height) / 2, width, height);
        } else {
            w->setGeometry((Screen->Width() - width) / 2, (Screen->Height() - height) / 2, width, height);
        }
        break;
    }
    default: break;
    }
}

void TCustomForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    QWidget* w = OuterWidget();
    if (w == window_ && window_->minimumSize() == window_->maximumSize()) {
        // A fixed-size window takes the new size as its fixed one.
        window_->setMinimumSize(0, 0);
        window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        w->setGeometry(ALeft, ATop, std::max(0, AWidth), std::max(0, AHeight));
        if (window_->isVisible()) ApplySizeConstraints();
    } else {
        w->setGeometry(ALeft, ATop, std::max(0, AWidth), std::max(0, AHeight));
    }
    SyncClientArea();
    Realign();
}

void TCustomForm::SetVisible(bool Value) {
    if (Value) {
        Show();
        return;
    }
    TControl::SetVisible(false);
    shownNotified_ = false;
    OuterWidget()->hide();
    window_->hide();
}

void TCustomForm::Show() {
    DoCreate();
    if (formStyle_ == fsMDIChild) AttachToMdiFrame();
    TControl::SetVisible(true);
    PlaceWindow();
    QWidget* w = OuterWidget();
    if (!subWindow_) ApplySizeConstraints();
    window_->show();
    switch (pendingState_) {
    case wsMaximized:
        // Without a window manager nobody maximises the window: it takes the
        // screen's free area itself, and under a manager that is where the
        // maximised window goes anyway.
        if (!subWindow_ && !w->isMaximized()) w->setGeometry(ui::AvailableScreenArea(w));
        w->showMaximized();
        break;
    case wsMinimized: w->showMinimized(); break;
    default: w->show(); break;
    }
    w->raise();
    if (subWindow_) {
        subWindow_->mdiArea()->setActiveSubWindow(subWindow_);
    } else {
        w->activateWindow();
    }
    Realign();
    ActivateFocus();
}

void TCustomForm::ActivateFocus() {
    TWinControl* target = activeControl_;
    if (target == nullptr || !target->CanFocus()) target = FindNextControl(nullptr, true, true);
    if (target != nullptr) SetActiveControl(target);
}

void TCustomForm::DoShow() {
    if (OnShow) OnShow(this);
}

void TCustomForm::DoActivate() {
    if (OnActivate) OnActivate(this);
}

bool TCustomForm::Active() const {
    if (subWindow_) return subWindow_->mdiArea()->activeSubWindow() == subWindow_;
    return window_->isActiveWindow();
}

bool TCustomForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    return canClose;
}

void TCustomForm::SetModalResult(TModalResult Value) {
    modalResult_ = Value;
    if (Value != mrNone && modalLoop_ != nullptr) modalLoop_->exit();
}

bool TCustomForm::WindowCloseRequested() {
    Close();
    return false;
}

void TCustomForm::Close() {
    if (Modal()) {
        SetModalResult(mrCancel);
        return;
    }
    if (closing_) return;
    closing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{closing_};
    if (!CloseQuery()) return;
    TCloseAction action = caHide;
    if (formStyle_ == fsMDIChild) action = borderIcons_.Contains(biMinimize) ? caMinimize : caNone;
    DoClose(action);
    if (action == caNone) return;
    if (Application->MainForm() == this) {
        Application->Terminate();
        return;
    }
    switch (action) {
    case caHide: SetVisible(false); break;
    case caMinimize: SetWindowState(wsMinimized); break;
    case caFree: Release(); break;
    default: break;
    }
}

void TCustomForm::Release() {
    shownNotified_ = false;
    OuterWidget()->hide();
    window_->hide();
    std::weak_ptr<bool> alive = alive_;
    QTimer::singleShot(0, qApp, [this, alive] {
        if (auto a = alive.lock(); a && *a) delete this;
    });
}

TModalResult TCustomForm::ShowModal() {
    if (Visible() && OuterWidget()->isVisible()) throw EInvalidOperation("Não é possível tornar modal uma janela visível");
    if (formStyle_ == fsMDIChild) throw EInvalidOperation("Não é possível tornar modal uma janela MDI");
    DoCreate();
    modalResult_ = mrNone;
    window_->setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    modalLoop_ = &loop;
    std::weak_ptr<bool> alive = alive_;
    struct Restore {
        TCustomForm* form;
        std::weak_ptr<bool> alive;
        ~Restore() {
            if (auto a = alive.lock(); a && *a) {
                form->modalLoop_ = nullptr;
                form->shownNotified_ = false;
                form->window_->hide();
                form->TControl::SetVisible(false);
                form->window_->setWindowModality(Qt::NonModal);
            }
        }
    } restore{this, alive};
    Show();
    TCloseAction action = caNone;
    for (;;) {
        if (modalResult_ == mrNone && !Application->Terminated()) loop.exec();
        if (auto a = alive.lock(); !a || !*a) return mrCancel;  // freed by a handler meanwhile
        if (Application->Terminated()) {
            modalResult_ = mrCancel;
            break;
        }
        if (modalResult_ == mrNone) continue;
        action = caNone;
        if (CloseQuery()) {
            action = caHide;
            DoClose(action);
        }
        if (action == caNone) {
            modalResult_ = mrNone;
            continue;
        }
        break;
    }
    TModalResult result = modalResult_;
    if (action == caFree) Release();
    return result;
}

int TCustomForm::MDIChildCount() const {
    if (mdiArea_ == nullptr) return 0;
    return static_cast<int>(mdiArea_->subWindowList().size());
}

TCustomForm* TCustomForm::MDIChildren(int Index) const {
    if (mdiArea_ == nullptr) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    QList<QMdiSubWindow*> list = mdiArea_->subWindowList(QMdiArea::CreationOrder);
    if (Index < 0 || Index >= list.size()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return ui::FormOf(list[Index]->widget());
}

TCustomForm* TCustomForm::ActiveMDIChild() const {
    if (mdiArea_ == nullptr) return nullptr;
    QMdiSubWindow* s = mdiArea_->activeSubWindow();
    if (s == nullptr) s = mdiArea_->currentSubWindow();
    return s ? ui::FormOf(s->widget()) : nullptr;
}

void TCustomForm::Cascade() {
    if (mdiArea_ != nullptr) mdiArea_->cascadeSubWindows();
}

void TCustomForm::Tile() {
    if (mdiArea_ != nullptr) mdiArea_->tileSubWindows();
}

// ---------------------------------------------------------------------------
// TApplication

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

TApplication::~TApplication() = default;

void TApplication::Initialize() { ui::EnsureQtApplication(); }

void TApplication::Run() {
    ui::EnsureQtApplication();
    running_ = true;
    if (mainForm_ != nullptr && !terminated_) {
        try {
            mainForm_->Show();
        } catch (const std::exception& e) {
            HandleException(this, e);
        }
    }
    if (!terminated_) QApplication::exec();
    running_ = false;
    DestroyComponents();
    mainForm_ = nullptr;
}

void TApplication::Terminate() {
    terminated_ = true;
    if (QCoreApplication::instance() != nullptr) QCoreApplication::exit(0);
}

void TApplication::ClearTerminated() {
    if (!terminated_) return;
    terminated_ = false;
    // Qt remembers an exit asked outside its main loop and ends every later
    // event loop at once (a modal window would spin); only a main loop that
    // starts and ends forgets it.
    if (QCoreApplication::instance() != nullptr && !running_) {
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }
}

void TApplication::ProcessMessages() {
    ui::EnsureQtApplication();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TApplication::HandleException(TObject* Sender) {
    try {
        throw;
    } catch (const std::exception& e) {
        HandleException(Sender, e);
    } catch (...) {
        ShowException(Exception("Erro desconhecido"));
    }
}

void TApplication::HandleException(TObject* Sender, const std::exception& E) {
    if (dynamic_cast<const EAbort*>(&E) != nullptr) return;
    if (OnException) {
        OnException(Sender, E);
        return;
    }
    ShowException(E);
}

void TApplication::ShowException(const std::exception& E) {
    std::string message;
    if (auto* ex = dynamic_cast<const Exception*>(&E)) message = ex->Message();
    else message = E.what();
    // The box ends the sentence as the class library's does: a dot after
    // any last character above "." (letters, digits, "?"), none after ".",
    // "!" or ")".
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') message += '.';
    MessageBox(message, "Erro", MB_OK | MB_ICONSTOP);
}

int TApplication::MessageBox(const std::string& Text, const std::string& Caption, int Flags) {
    ui::BoxRequest r;
    r.kind = ui::BoxKind::Message;
    r.text = Text;
    r.caption = Caption;
    switch (Flags & 0x0F) {
    case MB_OKCANCEL: r.buttons = {mbOK, mbCancel}; break;
    case MB_ABORTRETRYIGNORE: r.buttons = {mbAbort, mbRetry, mbIgnore}; break;
    case MB_YESNOCANCEL: r.buttons = {mbYes, mbNo, mbCancel}; break;
    case MB_YESNO: r.buttons = {mbYes, mbNo}; break;
    case MB_RETRYCANCEL: r.buttons = {mbRetry, mbCancel}; break;
    default: r.buttons = {mbOK}; break;
    }
    switch (Flags & 0xF0) {
    case MB_ICONSTOP: r.type = mtError; break;
    case MB_ICONQUESTION: r.type = mtConfirmation; break;
    case MB_ICONEXCLAMATION: r.type = mtWarning; break;
    case MB_ICONINFORMATION: r.type = mtInformation; break;
    default: r.type = mtCustom; break;
    }
    std::vector<TMsgDlgBtn> order;
    for (TMsgDlgBtn b : {mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore})
        if (r.buttons.Contains(b)) order.push_back(b);
    size_t def = static_cast<size_t>((Flags & 0xF00) >> 8);
    r.defaultButton = def < order.size() ? order[def] : order.front();
    return ui::Dialogs().Show(r).result;
}

void TApplication::SetTitle(const std::string& Value) {
    // Kept here, not as Qt's display name: Qt would add that name to every
    // window's caption, and the window manager then cuts the caption short.
    title_ = Value;
    ui::EnsureQtApplication();
}

std::string TApplication::ExeName() const {
    ui::EnsureQtApplication();
    return ui::ToStd(QCoreApplication::applicationFilePath());
}

void TApplication::SetHint(const std::string& Value) {
    hint_ = Value;
    if (OnHint) OnHint(this);
}

void TApplication::BringToFront() {
    if (mainForm_ != nullptr) {
        mainForm_->OuterWidget()->raise();
        mainForm_->OuterWidget()->activateWindow();
    }
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == mainForm_) mainForm_ = nullptr;
}

// ---------------------------------------------------------------------------
// TScreen

int TScreen::Width() const {
    ui::EnsureQtApplication();
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().width() : 0;
}

int TScreen::Height() const {
    ui::EnsureQtApplication();
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().height() : 0;
}

void TScreen::SetCursor(TCursor Value) {
    ui::EnsureQtApplication();
    if (Value == cursor_) return;
    bool busy = Value == crHourGlass || Value == crSQLWait;
    bool wasOverridden = cursor_ != crDefault;
    cursor_ = Value;
    if (Value == crDefault) {
        if (wasOverridden) QApplication::restoreOverrideCursor();
        return;
    }
    QCursor c(busy ? Qt::WaitCursor : Value == crHandPoint ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (wasOverridden) QApplication::changeOverrideCursor(c);
    else QApplication::setOverrideCursor(c);
}

TCustomForm* TScreen::ActiveForm() const {
    QWidget* w = QApplication::activeWindow();
    return w ? ui::FormOf(w) : nullptr;
}

TWinControl* TScreen::ActiveControl() const {
    QWidget* w = QApplication::focusWidget();
    return w ? dynamic_cast<TWinControl*>(ui::ControlOf(w)) : nullptr;
}

int TScreen::FormCount() const { return static_cast<int>(AllForms().size()); }

TCustomForm* TScreen::Forms(int Index) const {
    if (Index < 0 || Index >= FormCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return AllForms()[static_cast<size_t>(Index)];
}

// ---------------------------------------------------------------------------

namespace ui {

namespace {

// The last net under every event handler: a failure that leaves one (a
// toolbar action, a timer, a queued call) is shown as the application shows
// failures, and the event loop, with every window on it, goes on. Qt itself
// must never see an exception pass through it.
class GuardedApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* Receiver, QEvent* Event) override {
        try {
            return QApplication::notify(Receiver, Event);
        } catch (...) {
            Handle();
        }
        return false;
    }

private:
    static void Handle() {
        try {
            if (Application != nullptr) {
                Application->HandleException(nullptr);
                return;
            }
            throw;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "Erro desconhecido\n");
        }
    }
};

}  // namespace

void StartApplication(int& argc, char** argv) {
    if (QCoreApplication::instance() != nullptr) return;
    new GuardedApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ApplyDesktopLook();
}

void EnsureQtApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    static int argc = 1;
    static char name[] = "faturamento";
    static char* argv[] = {name, nullptr};
    StartApplication(argc, argv);
}

BusyCursor::BusyCursor() : previous_(Screen->Cursor()) { Screen->SetCursor(crHourGlass); }
BusyCursor::~BusyCursor() { Screen->SetCursor(previous_); }

}  // namespace ui
