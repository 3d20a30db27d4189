// The cancel dialog runs the job from its timer once it shows and closes
// when the job ends; the template error dialog answers as its buttons say;
// the template dialog opens and saves the file chosen.
#include <stdexcept>

#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"
#include "preview/rpCancelDialog.h"
#include "preview/rpDialogForms.h"
#include "report/rpDialogRegistry.h"
#include "report/rpMainReport.h"
#include "report/rpTemplate.h"
#include "tests/preview/DialogTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace previewtest;

TEST(CancelDialog, TheJobStartsFromTheTimerOnceTheDialogShowsAndAnOKClosesIt) {
    TrpCancelDialog dialog(nullptr);
    int closed = 0;
    bool shownWhenStarted = false;
    std::string shownProgress;
    dialog.OnClose = [&] { ++closed; };
    dialog.OnStart = [&] {
        shownWhenStarted = dialog.Form()->Visible() && dialog.Form()->Modal();
        dialog.SetPrintProgress("Imprimindo a página 1");
        shownProgress = dialog.Form()->Progress->Caption();
        dialog.Close();  // as FinishPrinting does
        EXPECT_EQ(closed, 0) << "the window goes once the job returns";
    };
    {
        ui::ManualTimerClock clock;
        Later([&] {
            clock.Advance(TrpCancelDialog::StartDelay - 1);
            EXPECT_FALSE(shownWhenStarted) << "not before 10 ms";
            clock.Advance(1);
        });
        dialog.ExecuteModal();
    }
    EXPECT_TRUE(shownWhenStarted);
    EXPECT_EQ(shownProgress, "Imprimindo a página 1");
    EXPECT_EQ(dialog.PrintProgress(), "Imprimindo a página 1") << "devices read it back";
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(dialog.Form()->Visible());
}

TEST(CancelDialog, AJobThatFailsClosesTheDialogAndItsErrorReachesTheCaller) {
    TrpCancelDialog dialog(nullptr);
    dialog.OnStart = [] { throw std::runtime_error("sem papel"); };
    EXPECT_THROW(
        {
            try {
                dialog.ExecuteModal();
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "sem papel");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_FALSE(dialog.Form()->Visible());

    // A job that returns without closing it does not leave it up.
    dialog.OnStart = [] {};
    dialog.ExecuteModal();
    EXPECT_FALSE(dialog.Form()->Visible());
}

TEST(CancelDialog, CancelAsksTheProducerToStopAndClosesADialogWithoutAJob) {
    TrpCancelDialog dialog(nullptr);
    int cancelled = 0;
    dialog.OnCancel = [&] { ++cancelled; };
    dialog.OnStart = [&] {
        dialog.Form()->Cancel->Click();
        EXPECT_TRUE(dialog.Form()->Modal()) << "the job ends it, not the button";
        EXPECT_EQ(dialog.Form()->Progress->Caption(), "Cancelando...");
        dialog.SetPrintProgress("Imprimindo a página 2");
        EXPECT_EQ(dialog.Form()->Progress->Caption(), "Cancelando...") << "progress no longer shown";
    };
    dialog.ExecuteModal();
    EXPECT_EQ(cancelled, 1);

    dialog.Show();
    dialog.Form()->Cancel->Click();
    EXPECT_EQ(cancelled, 2);
    EXPECT_FALSE(dialog.Form()->Visible()) << "nothing runs: the button closes it";
}

TEST(CancelDialog, AFreedProducerIsNoLongerCalled) {
    TrpCancelDialog dialog(nullptr);
    bool called = false;
    dialog.OnCancel = dialog.OnClose = [&] { called = true; };
    dialog.ReportFreeing();
    dialog.Show();
    dialog.Form()->Cancel->Click();
    EXPECT_FALSE(called);
}

TEST(TemplateErrorDialog, ItsButtonsIgnoreOnceIgnoreAllOrStopTheLoad) {
    TrpTemplateErrorDialog dialog(nullptr);
    dialog.SetErrorMessage("Propriedade desconhecida\r\nIgnora o erro e continua?");
    EXPECT_EQ(dialog.Message()->Caption(), "Propriedade desconhecida\r\nIgnora o erro e continua?");
    const struct {
        std::function<void()> press;
        TrpCustomTemplateErrorDialog::TAnswer answer;
        bool ok;
    } cases[] = {
        {[&] { dialog.Yes()->Click(); }, TrpCustomTemplateErrorDialog::taIgnore, true},
        {[&] { dialog.YesToAll()->Click(); }, TrpCustomTemplateErrorDialog::taIgnoreAll, true},
        {[&] { dialog.No()->Click(); }, TrpCustomTemplateErrorDialog::taCancel, false},
        {[&] { dialog.Form()->Close(); }, TrpCustomTemplateErrorDialog::taCancel, false},
    };
    for (const auto& c : cases) {
        Later(c.press);
        EXPECT_EQ(dialog.ShowModal(), c.ok);
        EXPECT_EQ(dialog.Answer(), c.answer);
    }
}

TEST(DialogRegistry, EveryDialogThePrintRunMakesHasADefaultForm) {
    const char* abstracts[] = {"TrpCustomPrintDialog", "TrpCustomCancelDialog", "TrpCustomAutoSearchDialog",
                               "TrpCustomNoDataDialog", "TrpCustomTemplateErrorDialog"};
    for (const char* name : abstracts) {
        const TClass concrete = GetFormClass(name);
        ASSERT_NE(concrete, nullptr) << name;
        std::unique_ptr<TObject> made(concrete->Create(nullptr));
        auto* dialog = dynamic_cast<TrpCustomReportDialog*>(made.get());
        ASSERT_NE(dialog, nullptr) << name;
        dialog->SetLanguageIndex(0);
    }
}

namespace {
class EmailForm : public TrpCustomEmailDialog {
public:
    using TrpCustomEmailDialog::TrpCustomEmailDialog;
    bool ShowModal() override { return true; }
};
}  // namespace

TEST(EmailDialog, ItEditsACopyOfTheSettingsItWasGiven) {
    TrpEmailSettings settings;
    settings.SetSubject("Notas de dezembro");
    EmailForm dialog(nullptr);
    dialog.SetEmailSettings(&settings);
    EXPECT_EQ(dialog.EmailSettings()->Subject(), "Notas de dezembro");
    dialog.EmailSettings()->SetSubject("Outro assunto");
    EXPECT_EQ(settings.Subject(), "Notas de dezembro") << "the caller's settings stay until it reads them back";
    dialog.SetEmailSettings(nullptr);
    EXPECT_EQ(dialog.EmailSettings()->Subject(), "Outro assunto");
}

// The template dialog of the registry: the file chosen through the common
// dialogs is where the template is saved and opened from; a cancelled
// choice changes nothing, and a file that is no template is reported and
// leaves the report as it was.
TEST(TemplateDialog, ItSavesAndOpensTheTemplateInTheFileChosen) {
    testsupport::TempDir dir;
    const std::string path = dir.file("notas.rtm");
    TComponent owner(nullptr);
    auto* report = new TrpReport(&owner);
    report->SetName("rptNotas");
    report->CreateDefaultBands();
    report->SetPageLimit(3);
    TClass kind = GetFormClass(TrpCustomTemplateDialog::StaticClassType());
    ASSERT_EQ(kind, TrpTemplateDialog::StaticClassType()) << "registered at start-up";
    std::unique_ptr<TrpCustomTemplateDialog> dialog(
        static_cast<TrpCustomTemplateDialog*>(CreateInstance(kind, nullptr)));
    dialog->SetTemplate(report->Template());
    {
        Boxes boxes;
        dialog->SetMode(TrpCustomTemplateDialog::tdSave);
        boxes.AnswerText(path);
        EXPECT_TRUE(dialog->ShowModal());
        ASSERT_EQ(boxes.Shown().size(), 1u);
        EXPECT_EQ(boxes.Shown()[0].kind, ui::BoxKind::SaveFile);
        EXPECT_EQ(boxes.Shown()[0].caption, "Salvar modelo");
        EXPECT_EQ(boxes.Shown()[0].filter, "Modelos de relatório (*.rtm)|*.rtm|Todos os arquivos (*.*)|*.*");
    }
    EXPECT_EQ(report->Template()->FileName(), path);
    ASSERT_FALSE(testsupport::ReadAll(path).empty());

    report->SetPageLimit(9);
    dialog->SetMode(TrpCustomTemplateDialog::tdOpen);
    {
        Boxes boxes;
        boxes.Cancel();
        EXPECT_FALSE(dialog->ShowModal());
    }
    EXPECT_EQ(report->PageLimit(), 9);
    {
        Boxes boxes;
        boxes.AnswerText(path);
        EXPECT_TRUE(dialog->ShowModal());
        EXPECT_EQ(boxes.Shown()[0].caption, "Abrir modelo");
    }
    EXPECT_EQ(report->PageLimit(), 3);

    const std::string junk = dir.file("lixo.rtm");
    testsupport::WriteAll(junk, "isto não é um modelo");
    report->SetPageLimit(5);
    {
        Boxes boxes;
        boxes.AnswerText(junk);
        boxes.Expect("Não foi possível abrir o modelo", mrOk, "Erro");
        EXPECT_FALSE(dialog->ShowModal());
    }
    EXPECT_EQ(report->PageLimit(), 5);
    EXPECT_EQ(report->Template()->FileName(), path) << "the template keeps its file";
}
