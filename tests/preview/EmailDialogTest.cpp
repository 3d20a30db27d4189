// The e-mail and log-on windows offscreen, driven through their commands;
// their boxes are answered by the scripted dialog service.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include <QWidget>

#include "platform/ui/ComCtrls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "toolbar/rpTBItems.h"
#include "platform/ui/StdCtrls.h"
#include "preview/rpEmailDialog.h"
#include "report/rpDialogRegistry.h"
#include "tests/preview/DialogTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/report/ReportHarness.h"

namespace {

// Logs on only with the password "certa".
class FakeTransport : public TrpSMTPCustom {
public:
    bool IsConnected() const override { return false; }
    bool NeedsConnectionSettings() const override { return true; }
    bool LogOn() override {
        if (Password == "certa") return true;
        SetLastError("Falha no envio do e-mail: login recusado");
        return false;
    }
    bool LogOff() override { return true; }
    bool SendMail(TrpEmailMessage*) override { return true; }
    bool ReadsAttachmentsLater() const override { return false; }
};

// Sends by itself, so the files are its to delete; keeps what it was given.
class RecordingTransport : public FakeTransport {
public:
    explicit RecordingTransport(std::vector<std::string>* Attachments) : attachments_(Attachments) {}
    bool SendMail(TrpEmailMessage* Message) override {
        for (int i = 0; i < Message->Attachments()->Count(); ++i)
            attachments_->push_back(Message->Attachments()->Strings(i));
        return true;
    }

private:
    std::vector<std::string>* attachments_;
};

// The real window in its modal loop; once it shows, the user picks a file
// type, a file name and to keep the file, and sends.
class TPickingEmailDialog : public TrpEmailDialog {
public:
    explicit TPickingEmailDialog(TComponent* AOwner) : TrpEmailDialog(AOwner) {}
    FAT_CLASS(TPickingEmailDialog)
    static inline std::string Name;
    bool ShowModal() override {
        previewtest::Later([this] {
            FileTypeList()->SetItemIndex(FileTypeList()->Items()->IndexOf("ReportTextFile"));
            FileNameEdit()->SetText(Name);
            DeleteFileCheck()->SetChecked(false);
            SendClick();
        });
        return TrpEmailDialog::ShowModal();
    }
};

void Fail(const std::string& Message) { ADD_FAILURE() << Message; }

using Layout = std::vector<std::tuple<int, int, int, bool>>;

Layout Snapshot(const TrpEmailDialog& Dialog) {
    Layout out;
    for (TControl* c : Dialog.Controls()) out.emplace_back(c->Left(), c->Top(), c->Height(), c->Visible());
    return out;
}

}  // namespace

TEST(EmailDialog, SendNeedsARecipientInToAndAFileName) {
    TrpEmailDialog dialog(nullptr);
    TrpEmailSettings settings;
    settings.CarbonCopy()->Add("bia@example.com");
    settings.SetFileName("Notas");
    dialog.SetEmailSettings(&settings);
    ui::ScriptedDialogs boxes(Fail);
    boxes.Expect("At least one recipient required.", mrOk, "Email Error");
    EXPECT_FALSE(dialog.SendClick());

    dialog.ToEdit()->SetText("ana@example.com,caio@example.com");
    dialog.FileNameEdit()->SetText("");
    boxes.Expect("Please choose a file name.", mrOk, "Email Error");
    EXPECT_FALSE(dialog.SendClick());

    dialog.FileNameEdit()->SetText("Notas");
    EXPECT_TRUE(dialog.SendClick());
    EXPECT_EQ(dialog.Form()->ModalResult(), mrOk);
    EXPECT_EQ(dialog.EmailSettings()->Recipients()->Count(), 2);
    EXPECT_EQ(dialog.EmailSettings()->CarbonCopy()->Strings(0), "bia@example.com");
}

TEST(EmailDialog, ARowShownPushesWhatFollowsByItsHeightPlusSixAndTogglingTwiceRestoresAll) {
    TrpEmailDialog dialog(nullptr);
    TMemo* body = dialog.BodyMemo();
    const Layout start = Snapshot(dialog);
    const int bottom = body->Top() + body->Height();
    for (int r = 0; r < TrpEmailDialog::erRowCount; ++r) {
        const auto row = static_cast<TrpEmailDialog::TRow>(r);
        const int top = body->Top();
        dialog.ToggleRow(row);
        EXPECT_TRUE(dialog.RowShown(row));
        EXPECT_TRUE(dialog.RowItem(row)->Checked());
        EXPECT_EQ(body->Top(), top + (row == TrpEmailDialog::erAdvanced ? 25 : 19) + 6) << r;
        EXPECT_EQ(body->Top() + body->Height(), bottom);
        dialog.ToggleRow(row);
        EXPECT_FALSE(dialog.RowItem(row)->Checked());
        EXPECT_EQ(Snapshot(dialog), start) << r;
    }
    // Two rows shown never overlap.
    dialog.ToggleRow(TrpEmailDialog::erFrom);
    dialog.ToggleRow(TrpEmailDialog::erBCC);
    EXPECT_GE(dialog.BCCEdit()->Top(), dialog.FromEdit()->Top() + 19 + 6);
    EXPECT_GE(body->Top(), dialog.BCCEdit()->Top() + 19);
}

TEST(EmailDialog, FileTypesLeaveOutScreenAndPrinterAndAttachAppends) {
    TrpEmailDialog dialog(nullptr);
    TStrings* types = dialog.FileTypeList()->Items();
    EXPECT_EQ(types->IndexOf("Screen"), -1);
    EXPECT_EQ(types->IndexOf("Printer"), -1);

    dialog.AttachEdit()->SetText("a.pdf");
    ui::ScriptedDialogs boxes(Fail);
    boxes.AnswerText("/tmp/b.pdf");
    dialog.AttachClick();
    EXPECT_EQ(dialog.AttachEdit()->Text(), "a.pdf,/tmp/b.pdf");
    dialog.AttachEdit()->SetText("");
    boxes.AnswerText("/tmp/c.pdf");
    dialog.AttachClick();
    EXPECT_EQ(dialog.AttachEdit()->Text(), "/tmp/c.pdf");
    // Several files chosen at once are attached together.
    boxes.AnswerText("/tmp/d.pdf\n/tmp/notas de março.pdf");
    dialog.AttachClick();
    EXPECT_EQ(dialog.AttachEdit()->Text(), "/tmp/c.pdf,/tmp/d.pdf,\"/tmp/notas de março.pdf\"");
    EXPECT_TRUE(boxes.Shown().back().multiSelect);
}

TEST(EmailDialog, TheLogOnTestSaysSuccessfulOnlyWhenTheLogOnWorks) {
    TrpSMTPPlugIn::Register([] { return std::make_unique<FakeTransport>(); });
    TrpEmailLoginDialog login(nullptr);
    login.SetHostAddress("smtp.example.com");
    login.SetUserName("fatura");
    login.SetPassword("errada");
    {
        ui::ScriptedDialogs boxes(Fail);
        boxes.Expect("login recusado", mrOk, "Email Error");
        EXPECT_FALSE(login.btnTestClick());
    }
    {
        login.edtPass->SetText("certa");
        ui::ScriptedDialogs boxes(Fail);
        boxes.Expect("Test Successful", mrOk);
        EXPECT_TRUE(login.btnTestClick());
    }
    login.btnOkClick();
    EXPECT_EQ(login.Password(), "certa");
    TrpSMTPPlugIn::Register([] { return std::make_unique<TrpSMTPXdgEmail>(); });
}

TClass TPickingEmailDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TPickingEmailDialog>("TPickingEmailDialog", TrpEmailDialog::StaticClassType()).Build();
    return &info;
}

TEST(EmailDialog, TheChosenFileTypeNameAndDeleteChoiceReachTheFirstReport) {
    testsupport::TempDir dir;
    std::vector<std::string> sent;
    TrpSMTPPlugIn::Register([&sent] { return std::make_unique<RecordingTransport>(&sent); });
    RegisterFormClass(TrpCustomEmailDialog::StaticClassType(), TPickingEmailDialog::StaticClassType());
    TPickingEmailDialog::Name = dir.file("escolhido");

    reporttest::ReportRig rig;
    rig.Report()->CreateDefaultBands();
    rig.AddText(rig.Report()->DetailBand(), "Texto", 0, 0, 50000, 5000, "Relatório");
    TrpEmailSettings* s = rig.Report()->EmailSettings();
    s->SetShowEmailDialog(true);
    s->SetReportFormat("PDF");
    s->SetDeleteFile(true);
    s->Recipients()->Add("ana@example.com");
    TrpEmail email;
    email.AddReport(rig.Report());
    const bool ok = email.Send();
    RegisterFormClass(TrpCustomEmailDialog::StaticClassType(), TrpEmailDialog::StaticClassType());
    TrpSMTPPlugIn::Register([] { return std::make_unique<TrpSMTPXdgEmail>(); });

    ASSERT_TRUE(ok);
    const std::string expected = dir.file("escolhido.txt");
    EXPECT_EQ(sent, std::vector<std::string>{expected});
    EXPECT_EQ(s->ReportFormat(), "ReportTextFile");
    EXPECT_EQ(s->FileName(), expected);
    EXPECT_FALSE(s->DeleteFile());
    // Kept although the transport sent it itself.
    EXPECT_TRUE(std::filesystem::exists(expected));
}

TEST(EmailDialog, TheStatusBarCountsWhatGoesWithTheMessage) {
    struct Case {
        std::vector<std::string> attachments;
        const char* fileName;
        const char* status;
    };
    for (const Case& c : {Case{{}, "", "Nenhum anexo"}, Case{{}, "notas.pdf", "1 anexo: notas.pdf"},
                          Case{{"/tmp/a.txt", "/tmp/b.txt"}, "notas.pdf", "3 anexos: notas.pdf"},
                          Case{{"/tmp/a.txt"}, "", "1 anexo"}}) {
        TrpEmailDialog dialog(nullptr);
        TrpEmailSettings settings;
        for (const std::string& a : c.attachments) settings.Attachments()->Add(a);
        settings.SetFileName(c.fileName);
        dialog.SetEmailSettings(&settings);
        ASSERT_NE(dialog.StatusBar(), nullptr);
        EXPECT_EQ(dialog.StatusBar()->Name(), "sbEmailStatus");
        EXPECT_EQ(dialog.StatusBar()->SimpleText(), c.status);
    }
}

TEST(EmailDialog, ItsMenusAndToolbarAreTheNamedClassesInTheirPlaces) {
    TrpEmailDialog dialog(nullptr);
    ASSERT_NE(dialog.Menu(), nullptr);
    EXPECT_EQ(dialog.Menu()->ClassName(), "TrpEmailMenu");
    EXPECT_TRUE(dialog.Menu()->MenuBar());
    TrpTBCustomItem* bar = dialog.Menu()->Items();
    ASSERT_EQ(bar->Count(), 3);
    EXPECT_EQ(bar->GetItem(0)->ClassName(), "TrpEmailFileMenu");
    EXPECT_EQ(bar->GetItem(1)->ClassName(), "TrpEmailOptionsMenu");
    EXPECT_EQ(bar->GetItem(2)->ClassName(), "TrpEmailConnectionMenu");
    EXPECT_EQ(bar->GetItem(2), dialog.ConnectionMenu());
    EXPECT_FALSE(dialog.ConnectionVisible()) << "only for transports that need a log-on";
    TrpTBCustomItem* options = bar->GetItem(1);
    EXPECT_EQ(options->GetItem(options->Count() - 1)->ClassName(), "TrpEmailReportMenu");
    ASSERT_NE(dialog.Toolbar(), nullptr);
    EXPECT_EQ(dialog.Toolbar()->ClassName(), "TrpEmailToolbar");
    EXPECT_EQ(dialog.Toolbar()->Items()->GetItem(0), dialog.SendButton());
}
