// Forms: modal results, closing and freeing, key preview and focus moving,
// default and cancel buttons, MDI children, placement and alignment.
#include <QApplication>
#include <QLineEdit>

#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"
#include "tests/platform/ui/UiTestSupport.h"

namespace {

struct EditsForm {
    EditsForm() {
        form = new TForm(nullptr);
        form->SetBounds(0, 0, 300, 200);
        for (int i = 0; i < 4; ++i) {
            edits[i] = new TEdit(form);
            edits[i]->SetParent(form);
            edits[i]->SetBounds(10, 10 + i * 30, 100, 22);
        }
        ok = new TButton(form);
        ok->SetParent(form);
        ok->SetBounds(10, 140, 75, 25);
        ok->SetCaption("&OK");
        ok->SetModalResult(mrOk);
        ok->SetDefault(true);
        cancel = new TButton(form);
        cancel->SetParent(form);
        cancel->SetBounds(100, 140, 75, 25);
        cancel->SetCaption("&Cancelar");
        cancel->SetModalResult(mrCancel);
        cancel->SetCancel(true);
    }
    ~EditsForm() { delete form; }
    // The register forms' navigation: Enter and Down forward, Up back, the
    // Enter character swallowed.
    void NavigateLikeARegister() {
        form->SetKeyPreview(true);
        form->OnKeyDown = [this](TObject*, Word& Key, TShiftState) {
            if (Key == VK_RETURN || Key == VK_DOWN) form->SelectNext(form->ActiveControl(), true, true);
            else if (Key == VK_UP) form->SelectNext(form->ActiveControl(), false, true);
        };
        form->OnKeyPress = [](TObject*, char32_t& Key) {
            if (Key == U'\r') Key = 0;
        };
    }
    TForm* form;
    TEdit* edits[4];
    TButton* ok;
    TButton* cancel;
};

QWidget* Focus() { return QApplication::focusWidget(); }

}  // namespace

TEST(Forms, ShowModalReturnsTheResultOfTheButtonPressed) {
    EditsForm f;
    std::vector<std::string> events;
    f.form->OnShow = [&](TObject*) { events.push_back("show"); };
    f.form->OnClose = [&](TObject*, TCloseAction&) { events.push_back("close"); };
    uitest::Later([&] { f.ok->Click(); });
    EXPECT_EQ(f.form->ShowModal(), mrOk);
    EXPECT_FALSE(f.form->Widget()->isVisible());
    EXPECT_EQ(events, (std::vector<std::string>{"show", "close"}));
    uitest::Later([&] { f.form->Close(); });
    EXPECT_EQ(f.form->ShowModal(), mrCancel) << "closing a modal form cancels it";
}

TEST(Forms, CloseQueryCanKeepAModalFormOpen) {
    EditsForm f;
    int asked = 0;
    f.form->OnCloseQuery = [&](TObject*, bool& CanClose) {
        CanClose = ++asked > 1;
        if (!CanClose) uitest::Later([&] { f.cancel->Click(); });
    };
    uitest::Later([&] { f.ok->Click(); });
    EXPECT_EQ(f.form->ShowModal(), mrCancel);
    EXPECT_EQ(asked, 2);
}

TEST(Forms, AFormThatAsksToBeFreedOnCloseIsFreedByTheEventLoop) {
    auto* form = new TForm(nullptr);
    bool destroyed = false;
    form->OnDestroy = [&](TObject*) { destroyed = true; };
    form->OnClose = [](TObject*, TCloseAction& Action) { Action = caFree; };
    form->Show();
    form->Close();
    EXPECT_FALSE(destroyed) << "not from inside its own handlers";
    uitest::Pump();
    EXPECT_TRUE(destroyed);
}

TEST(Forms, AReleasedFormFreedMeanwhileIsNotFreedTwice) {
    auto* form = new TForm(nullptr);
    int destroyed = 0;
    form->OnDestroy = [&](TObject*) { ++destroyed; };
    form->Show();
    form->Release();
    delete form;
    uitest::Pump();
    EXPECT_EQ(destroyed, 1);
}

TEST(Forms, AModalFormFreedOnCloseGoesAfterReturningItsResult) {
    auto* form = new TForm(nullptr);
    bool destroyed = false;
    form->OnDestroy = [&](TObject*) { destroyed = true; };
    form->OnClose = [](TObject*, TCloseAction& Action) { Action = caFree; };
    uitest::Later([form] { form->SetModalResult(mrYes); });
    EXPECT_EQ(form->ShowModal(), mrYes);
    uitest::Pump();
    EXPECT_TRUE(destroyed);
}

TEST(Forms, EnterAndDownMoveToTheNextControlAndUpToThePrevious) {
    EditsForm f;
    f.NavigateLikeARegister();
    f.edits[2]->SetEnabled(false);
    int pressedInEdit = 0;
    f.edits[0]->OnKeyPress = [&](TObject*, char32_t&) { ++pressedInEdit; };
    uitest::ShowActive(f.form);
    f.edits[0]->SetFocus();
    uitest::Pump();
    uitest::Key(Focus(), Qt::Key_Return);
    EXPECT_EQ(Focus(), f.edits[1]->Widget());
    EXPECT_EQ(pressedInEdit, 0) << "the Enter character is swallowed";
    uitest::Key(Focus(), Qt::Key_Down);
    EXPECT_EQ(Focus(), f.edits[3]->Widget()) << "a disabled control is skipped";
    uitest::Key(Focus(), Qt::Key_Up);
    EXPECT_EQ(Focus(), f.edits[1]->Widget());
    f.edits[3]->SetTabOrder(0);
    EXPECT_EQ(f.form->FindNextControl(nullptr, true, true), f.edits[3]);
    EXPECT_EQ(f.form->FindNextControl(f.cancel, true, true), f.edits[3]) << "wraps around";
}

TEST(Forms, EnterPressesTheDefaultButtonAndEscTheCancelButton) {
    EditsForm f;
    uitest::Later([&] {
        f.edits[0]->SetFocus();
        uitest::Key(f.edits[0]->Widget(), Qt::Key_Escape);
    });
    EXPECT_EQ(f.form->ShowModal(), mrCancel);
    uitest::Later([&] {
        f.edits[1]->SetFocus();
        uitest::Key(f.edits[1]->Widget(), Qt::Key_Return);
    });
    EXPECT_EQ(f.form->ShowModal(), mrOk);
}

TEST(Forms, MdiChildrenLiveInTheMainFormsWorkspace) {
    auto* frame = new TForm(nullptr);
    frame->SetFormStyle(fsMDIForm);
    frame->SetBounds(0, 0, 640, 480);
    TCustomForm* previousMain = Application->MainForm();
    Application->SetMainForm(frame);
    frame->Show();
    auto* child = new TForm(nullptr);
    child->SetFormStyle(fsMDIChild);
    child->SetCaption("Clientes - NOTA100");
    child->OnClose = [](TObject*, TCloseAction& Action) { Action = caFree; };
    child->SetBounds(10, 20, 300, 200);
    child->Show();
    uitest::Pump();
    EXPECT_EQ(child->Left(), 10) << "placed inside the workspace as designed";
    EXPECT_EQ(child->Top(), 20);
    EXPECT_EQ(child->Width(), 300);
    EXPECT_EQ(frame->MDIChildCount(), 1);
    EXPECT_EQ(frame->MDIChildren(0), child);
    EXPECT_EQ(frame->ActiveMDIChild(), child);
    child->Close();
    uitest::Pump();
    EXPECT_EQ(frame->MDIChildCount(), 0);
    // A child left open when the frame goes keeps working on its own.
    auto* orphan = new TForm(nullptr);
    orphan->SetFormStyle(fsMDIChild);
    orphan->Show();
    delete frame;
    Application->SetMainForm(previousMain);
    orphan->SetCaption("ainda aqui");
    EXPECT_EQ(orphan->Caption(), "ainda aqui");
    delete orphan;
}

TEST(Forms, AnMdiChildWithoutAFrameIsRefused) {
    TCustomForm* previousMain = Application->MainForm();
    Application->SetMainForm(nullptr);
    TForm child(nullptr);
    child.SetFormStyle(fsMDIChild);
    EXPECT_THROW(child.Show(), EInvalidOperation);
    Application->SetMainForm(previousMain);
}

TEST(Forms, ScreenCentredFormsSitInTheMiddle) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 300, 200);
    form.SetPosition(poScreenCenter);
    form.Show();
    EXPECT_EQ(form.Left(), (Screen->Width() - 300) / 2);
    EXPECT_EQ(form.Top(), (Screen->Height() - 200) / 2);
    // The register forms' own rule keeps 140 pixels off the screen height.
    form.SetLeft((Screen->Width() - form.Width()) / 2);
    form.SetTop((Screen->Height() - 140 - form.Height()) / 2);
    EXPECT_EQ(form.Top(), (Screen->Height() - 340) / 2);
}

TEST(Forms, AlignedControlsShareTheClientArea) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 400, 300);
    auto* top = new TPanel(&form);
    top->SetParent(&form);
    top->SetHeight(30);
    top->SetAlign(alTop);
    auto* bottom = new TPanel(&form);
    bottom->SetParent(&form);
    bottom->SetHeight(40);
    bottom->SetAlign(alBottom);
    auto* client = new TPanel(&form);
    client->SetParent(&form);
    client->SetAlign(alClient);
    form.Show();
    uitest::Pump();
    EXPECT_EQ(top->Top(), 0);
    EXPECT_EQ(top->Width(), form.ClientWidth());
    EXPECT_EQ(bottom->Top(), form.ClientHeight() - 40);
    EXPECT_EQ(client->Top(), 30);
    EXPECT_EQ(client->Height(), form.ClientHeight() - 70);
    form.SetBounds(0, 0, 500, 400);
    uitest::Pump();
    EXPECT_EQ(bottom->Top(), form.ClientHeight() - 40);
    EXPECT_EQ(client->Width(), 500);
}

TEST(Forms, OnCreateRunsOnceAndCaptionsShowAsGiven) {
    TForm form(nullptr);
    int created = 0;
    form.OnCreate = [&](TObject*) { ++created; };
    form.SetCaption("Identificação do Usuário - NOTA220");
    form.Show();
    form.Hide();
    form.Show();
    EXPECT_EQ(created, 1);
    EXPECT_EQ(form.Widget()->windowTitle().toStdString(), "Identificação do Usuário - NOTA220");
}

TEST(Forms, FreeingAFormFreesItsControlsAndAControlFreedAloneLeavesItsParent) {
    auto* form = new TForm(nullptr);
    auto* panel = new TPanel(form);
    panel->SetParent(form);
    auto* edit = new TEdit(form);
    edit->SetParent(panel);
    bool editGone = false;
    struct Watch : TComponent {
        explicit Watch(bool& flag) : TComponent(nullptr), flag_(flag) {}
        void Notification(TComponent*, TOperation Operation) override {
            if (Operation == opRemove) flag_ = true;
        }
        bool& flag_;
    } watch(editGone);
    edit->FreeNotification(&watch);
    delete panel;
    EXPECT_TRUE(editGone) << "a panel frees the controls it holds";
    EXPECT_EQ(form->ComponentCount(), 0);
    EXPECT_EQ(form->ControlCount(), 0);
    delete form;
}

TEST(Forms, ShowingRunsOnShowThenOnActivate) {
    TForm form(nullptr);
    std::vector<std::string> events;
    form.OnShow = [&](TObject*) { events.push_back("show"); };
    form.OnActivate = [&](TObject*) { events.push_back("activate"); };
    uitest::ShowActive(&form);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0], "show");
    EXPECT_EQ(events[1], "activate");
    EXPECT_TRUE(form.Active());
}

// Run ends for good (Terminated stays set), so it runs in a process of its own.
TEST(ApplicationDeathTest, RunShowsTheMainFormAndEndsWhenItCloses) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TForm* main = nullptr;
            Application->CreateForm(main);
            bool shown = false;
            main->OnShow = [&](TObject*) {
                shown = true;
                uitest::Later([main] { main->Close(); });
            };
            Application->Run();
            std::exit(shown && Application->Terminated() && Application->MainForm() == nullptr &&
                              Application->ComponentCount() == 0
                          ? 0
                          : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(Application, BusyCursorShowsWhileItLives) {
    {
        ui::BusyCursor busy;
        EXPECT_EQ(Screen->Cursor(), crHourGlass);
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(Screen->Cursor(), crDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_GT(Screen->Width(), 0);
    EXPECT_GT(Screen->Height(), 0);
}

TEST(Forms, AFailureLeavingAnyEventHandlerIsShownAndTheLoopGoesOn) {
    ui::EnsureQtApplication();
    uitest::Dialogs dialogs;
    // A timer's handler, not a control's: nothing of ours stands between it
    // and Qt but the application's own dispatch.
    dialogs.Expect("O relógio parou.", mrOk, "Erro");
    QTimer::singleShot(0, qApp, [] { throw Exception("O relógio parou."); });
    uitest::Pump();
    EXPECT_EQ(dialogs.Pending(), 0);
    bool later = false;
    QTimer::singleShot(0, qApp, [&later] { later = true; });
    uitest::Pump();
    EXPECT_TRUE(later);
}
