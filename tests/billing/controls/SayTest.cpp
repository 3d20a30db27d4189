// The text-report printer, byte for byte: rows and columns, overprint, page
// breaks, headers and footers with their macros, guarded events, the code
// page of the work file, write failures, the preview and the boxed header.
#include <filesystem>

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "billing/controls/JLPSay.h"
#include "billing/data/dmdbu.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"
#include "tests/platform/rtl/FileFaultSupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// 5 March 2024, 14:30:05.
TDateTime FixedNow() { return EncodeDateTime(2024, 3, 5, 14, 30, 5, 0); }

std::string Spaces(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

class Say : public ::testing::Test {
protected:
    void SetUp() override {
        say.SetWorkFolder(dir.path().string());
        say.SetClock(FixedNow);
    }
    // The work file after the report ends.
    std::string Finish() {
        say.EndReport();
        return testsupport::ReadAll(say.WorkFile());
    }

    testsupport::TempDir dir;
    TSay say{nullptr};
};

}  // namespace

TEST_F(Say, ARowFarDownWritesTheRowsBeforeItAsEmptyLines) {
    ASSERT_TRUE(say.StartReport());
    say.Say(3, 0, "quarta");
    EXPECT_EQ(Finish(), "\r\n\r\n\r\nquarta\r\n");
}

TEST_F(Say, ALowerColumnOnTheSameRowIsPrintedOverTheLine) {
    ASSERT_TRUE(say.StartReport());
    say.Say(0, 10, "A");
    say.Say(0, 5, "B");
    EXPECT_EQ(Finish(), Spaces(10) + "A\r" + Spaces(5) + "B\r\n");
    // A later, higher column just goes on after what is there.
    ASSERT_TRUE(say.StartReport());
    say.Say(0, 2, "ab");
    say.Say(0, 6, "c");
    EXPECT_EQ(Finish(), "  ab  c\r\n");
}

TEST_F(Say, AnEarlierRowBeginsANewPageOnTheSameFileLine) {
    ASSERT_TRUE(say.StartReport());
    EXPECT_EQ(say.Page(), 1);
    say.Say(2, 0, "fim da 1");
    say.Say(1, 3, "segunda");
    EXPECT_EQ(say.Page(), 2);
    EXPECT_EQ(say.Row(), 1);
    EXPECT_EQ(Finish(), "\r\n\r\nfim da 1\f\r\r\n   segunda\r\n");
}

TEST_F(Say, NewPageOnRowZeroBeginsNoPageButLaterDoes) {
    say.SetStartPag(7);
    ASSERT_TRUE(say.StartReport());
    say.NewPage();
    EXPECT_EQ(say.Page(), 7);
    say.Say(0, 0, "a");
    say.Say(1, 0, "b");
    say.NewPage();
    EXPECT_EQ(say.Page(), 8);
    say.SayLn("c");
    say.SayLn("d");
    EXPECT_EQ(Finish(), "a\r\nb\f\rc\r\nd\r\n\r\n");
}

TEST_F(Say, SettingsAreKeptWithinTheirLimits) {
    EXPECT_EQ(say.Copies(), 1);
    EXPECT_EQ(say.Output(), "PRN");
    EXPECT_EQ(say.StartPag(), 1);
    EXPECT_FALSE(say.EjectEnd());
    EXPECT_FALSE(say.PreviewReadOnly());
    say.SetCopies(0);
    EXPECT_EQ(say.Copies(), 1);
    say.SetCopies(3);
    EXPECT_EQ(say.Copies(), 3);
    say.SetMargin(-3);
    EXPECT_EQ(say.Margin(), 0);
    say.SetMargin(2);
    ASSERT_TRUE(say.StartReport());
    say.Say(0, 3, "x");
    say.Say(0, 1, "y");
    EXPECT_EQ(Finish(), "     x\r   y\r\n");
}

TEST_F(Say, HeaderAndFooterMacrosIgnoreCaseAndFollowTheClock) {
    TStringList header;
    header.Add("Pagina &page. em &Date. as &TIME.");
    header.Add("----");
    say.SetHeader(&header);
    header.Clear();  // the component keeps its own copy
    TStringList footer;
    footer.Add("rodape &PAGE.");
    say.SetFooter(&footer);
    ASSERT_TRUE(say.StartReport());
    // The header leaves the current row on its last line.
    EXPECT_EQ(say.Row(), 1);
    say.Say(2, 0, "corpo");
    say.Say(0, 0, "");  // a new page
    EXPECT_EQ(Finish(),
              "Pagina 1 em 05/03/2024 as 14:30:05\r\n"
              "----\r\n"
              "\r\n"
              "corpo\r\n"  // the footer begins on the row after the last one used
              "rodape 1\r\n"
              "\f\rPagina 2 em 05/03/2024 as 14:30:05\r\n"
              "----\r\n"
              "\r\n"
              "rodape 2\r\n"
              "\r\n");
}

TEST_F(Say, EjectEndPutsAFormFeedBeforeTheLastLineEnd) {
    say.SetEjectEnd(true);
    ASSERT_TRUE(say.StartReport());
    say.Say(0, 0, "x");
    EXPECT_EQ(Finish(), "x\f\r\n");
}

TEST_F(Say, TheWorkFileHoldsOneCodePage1252BytePerCharacter) {
    ASSERT_TRUE(say.StartReport());
    say.Say(0, 0, "Ação");
    say.Say(0, 6, "é");       // columns count characters, not bytes
    say.Say(1, 0, "→ ok €");  // no 1252 byte for the arrow; the euro has one
    EXPECT_EQ(Finish(), "A\xE7\xE3o  \xE9\r\n? ok \x80\r\n");
}

TEST_F(Say, AReportStartsOnceInItsOwnNewFileAndIsDeletedWithTheComponent) {
    ASSERT_TRUE(say.StartReport());
    EXPECT_FALSE(say.StartReport()) << "a report is already open";
    std::string first = say.WorkFile();
    EXPECT_EQ(fs::path(first).parent_path(), dir.path());
    EXPECT_EQ(fs::path(first).extension(), ".prn");
    say.EndReport();
    EXPECT_TRUE(fs::exists(first));
    say.EndReport();  // nothing open: nothing happens
    say.Say(0, 0, "ignorado");
    ASSERT_TRUE(say.StartReport());
    EXPECT_FALSE(fs::exists(first)) << "the previous work file is replaced";
    std::string second = say.WorkFile();
    {
        TSay other(nullptr);
        other.SetWorkFolder(dir.path().string());
        ASSERT_TRUE(other.StartReport());
        EXPECT_NE(other.WorkFile(), second);
        other.EndReport();
        EXPECT_TRUE(fs::exists(other.WorkFile()));
        second = other.WorkFile();
    }
    EXPECT_FALSE(fs::exists(second));
}

TEST_F(Say, AFolderWhereNoFileCanBeMadeLeavesTheReportIdle) {
    say.SetWorkFolder(dir.file("nao-existe"));
    EXPECT_FALSE(say.StartReport());
    EXPECT_FALSE(say.Active());
    say.Say(0, 0, "nada");
    say.EndReport();
}

TEST_F(Say, EventsFireOnceAndASayFromAHandlerDoesNotFireItsOwnEventAgain) {
    int says = 0, rows = 0, before = 0, after = 0;
    say.OnSay = [&](TObject* s) {
        ++says;
        EXPECT_EQ(s, &say);
        if (says == 1) say.Say(0, 20, "<");  // no second OnSay from here
    };
    say.OnNewRow = [&](TObject*) { ++rows; };
    say.BeforeNewPag = [&](TObject*) { ++before; };
    say.AfterNewPag = [&](TObject*) { ++after; };
    ASSERT_TRUE(say.StartReport());
    EXPECT_EQ(after, 1);
    say.Say(0, 0, "a");
    EXPECT_EQ(says, 1);
    say.Say(1, 0, "b");
    EXPECT_EQ(says, 2);
    EXPECT_EQ(rows, 1);
    say.Say(0, 0, "c");
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 2);
    std::string text = Finish();
    EXPECT_EQ(before, 2);
    EXPECT_EQ(text, Spaces(20) + "<\ra\r\nb\f\rc\r\n");
}

TEST_F(Say, AWriteFailureEndsTheReportWithAMessageInsteadOfRaising) {
    ui::EnsureQtApplication();
    ui::ScriptedDialogs dialogs([](const std::string& m) { ADD_FAILURE() << m; });
    dialogs.Expect("Não foi possível gravar o relatório", mrOk, "Erro");
    ASSERT_TRUE(say.StartReport());
    {
        filefaults::DiskFullAfter limit(64);
        say.Say(0, 0, std::string(200, 'x'));
        say.Say(1, 0, "y");  // writes row 0: past the limit
        EXPECT_FALSE(say.Active());
        say.Say(2, 0, "z");
        say.EndReport();
    }
    dialogs.Verify();
}

TEST_F(Say, ThePreviewShowsTheFileAndRewritesItOnlyWhenEditedAndConfirmed) {
    ui::EnsureQtApplication();
    ui::ScriptedDialogs dialogs([](const std::string& m) { ADD_FAILURE() << m; });
    ASSERT_TRUE(say.StartReport());
    say.Say(0, 0, "Relatório");
    say.Say(1, 0, "linha 2");
    // Preview ends the open report first.
    std::string shown;
    auto edit = [&](const std::string& typed) {
        QTimer::singleShot(0, qApp, [&, typed] {
            TForm* window = say.PreviewWindow();
            ASSERT_NE(window, nullptr);
            // Without a title, the work file's name alone: no temporary folder.
            EXPECT_EQ(window->Caption(), std::filesystem::path(say.WorkFile()).filename().string());
            EXPECT_EQ(window->Caption().find('/'), std::string::npos);
            EXPECT_EQ(window->Width(), 600);
            TMemo* editor = say.PreviewEditor();
            QPlainTextEdit* text = editor->TextEdit();
            EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::NoWrap);
            EXPECT_EQ(text->font().family(), "Liberation Mono");
            EXPECT_EQ(text->font().pointSize(), 8);
            shown = editor->Text();
            if (!typed.empty()) {
                text->setFocus();
                text->moveCursor(QTextCursor::End);
                text->insertPlainText(QString::fromStdString(typed));  // as typed: the editor has the focus
            }
            window->Close();
        });
        say.Preview();
    };
    std::string original = "Relat\xF3rio\r\nlinha 2\r\n";
    edit("");
    EXPECT_EQ(shown, "Relatório\r\nlinha 2\r\n");
    EXPECT_EQ(testsupport::ReadAll(say.WorkFile()), original) << "nothing edited, nothing asked";

    dialogs.Expect("Você alterou manualmente o relatório.\r\nDeseja Salvar as alterações?", mrNo);
    edit("fim");
    EXPECT_EQ(testsupport::ReadAll(say.WorkFile()), original);

    dialogs.Expect("Deseja Salvar as alterações?", mrYes);
    edit("ção");
    EXPECT_EQ(testsupport::ReadAll(say.WorkFile()), original + "\xE7\xE3o");

    say.SetPreviewReadOnly(true);
    edit("");
    EXPECT_TRUE(say.PreviewEditor() == nullptr);
    dialogs.Verify();
}

// Esc closes the preview from its text, as it closes every other window;
// Enter and Tab stay the text's.
TEST_F(Say, EscClosesThePreviewFromItsText) {
    ui::EnsureQtApplication();
    ASSERT_TRUE(say.StartReport());
    say.Say(0, 0, "Relatório");
    bool stillOpen = true;
    QTimer::singleShot(0, qApp, [&] {
        TForm* window = say.PreviewWindow();
        QPlainTextEdit* text = say.PreviewEditor()->TextEdit();
        text->setFocus();
        QTest::keyClick(text, Qt::Key_Escape);
        stillOpen = window->ModalResult() == mrNone;
        // Left open, it is closed here so that the test ends.
        if (stillOpen) window->Close();
    });
    say.Preview();
    EXPECT_FALSE(stillOpen);
}

// A wide report's preview opens wide enough to show its 132 columns whole,
// as far as the screen allows: no line is cut at the right.
TEST_F(Say, AWideReportsPreviewOpensWideEnoughForItsColumns) {
    ui::EnsureQtApplication();
    ASSERT_TRUE(say.StartReport());
    std::string line;
    for (int i = 0; i < 132; ++i) line += static_cast<char>('0' + i % 10);
    say.Say(0, 0, line);
    say.Say(1, 0, "TOTAL");
    int width = 0, needed = 0, screen = 0, hidden = -1;
    QTimer::singleShot(0, qApp, [&] {
        TForm* window = say.PreviewWindow();
        ASSERT_NE(window, nullptr);
        QPlainTextEdit* text = say.PreviewEditor()->TextEdit();
        width = window->Width();
        screen = QGuiApplication::primaryScreen()->availableGeometry().width();
        needed = QFontMetrics(QFont(QStringLiteral("Liberation Mono"), 8)).horizontalAdvance(QString::fromStdString(line));
        hidden = text->horizontalScrollBar()->maximum();
        window->Close();
    });
    say.Preview();
    EXPECT_GE(width, std::min(needed, screen));
    EXPECT_LE(width, std::max(screen, 600));
    if (needed + 40 < screen) EXPECT_EQ(hidden, 0) << "the longest line scrolls sideways";
}

TEST_F(Say, AnEditThatCannotBeSavedIsToldOnceAndTheReportStaysAsPrinted) {
    ui::EnsureQtApplication();
    ASSERT_TRUE(say.StartReport());
    say.Say(0, 0, "Relatório");
    say.EndReport();
    const std::string printed = testsupport::ReadAll(say.WorkFile());
    std::vector<ui::BoxRequest> shown;
    filefaults::FileSavePath p;
    p.Prepare = [&] { testsupport::WriteAll(say.WorkFile(), printed); };
    p.Act = [&] {
        ui::ScriptedDialogs quiet([](const std::string&) {});
        quiet.Answer(mrYes);
        QTimer::singleShot(0, qApp, [&] {
            QPlainTextEdit* text = say.PreviewEditor()->TextEdit();
            text->setFocus();
            text->moveCursor(QTextCursor::End);
            text->insertPlainText(QStringLiteral("fim"));
            say.PreviewWindow()->Close();
        });
        say.Preview();
        shown = quiet.Shown();
    };
    p.Files = [&] { return testsupport::ReadAll(say.WorkFile()); };
    p.Folders = {dir.path()};
    p.CheckFailure = [&] {
        // The question, then the one error.
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[1].caption, "Erro");
        EXPECT_EQ(shown[1].text.rfind("Não foi possível gravar as alterações do relatório.\r\nCannot write file", 0), 0u)
            << shown[1].text;
    };
    // A forked child cannot hold the editor's window: the failed writes only.
    filefaults::FileSweepFigures f = filefaults::Sweep(filefaults::Fault::FailedWrite, p);
    EXPECT_EQ(f.writes, 1);
}

TEST_F(Say, APreviewOfAMissingWorkFileIsAMessage) {
    ui::EnsureQtApplication();
    ui::ScriptedDialogs dialogs([](const std::string& m) { ADD_FAILURE() << m; });
    dialogs.Expect("não foi encontrado", mrOk, "Erro");
    say.Preview();  // never started
    ASSERT_TRUE(say.StartReport());
    say.EndReport();
    say.DeleteWorkFile();
    dialogs.Expect("não foi encontrado", mrOk, "Erro");
    say.Preview();
    dialogs.Verify();
}

// ---------------------------------------------------------------------------
// The boxed header

namespace {

class TopHeader : public Say {
protected:
    void SetUp() override {
        Say::SetUp();
        dmdb = &module;
        module.Set_Var("nome_aplicativo", "Quillmar OSKE 1.44 [Faturamento]");
    }
    void TearDown() override { dmdb = nullptr; }
    Tdmdb module{nullptr};
};

}  // namespace

TEST_F(TopHeader, TheBoxCentresItsTextsBetweenItsEdgesShiftedByHalfTheMargin) {
    ASSERT_TRUE(say.StartReport());
    module.TopHeader(&say, 120, "NOTA301", "RELATÓRIO DE PRODUTOS", "Ordem de Código", 19, true);
    EXPECT_EQ(say.Row(), 4);
    std::vector<std::string> lines = testsupport::CrLfLines(Cp1252ToUtf8(Finish()));
    ASSERT_EQ(lines.size(), 5u);
    std::string stars = Spaces(19) + std::string(120, '*');
    EXPECT_EQ(lines[0], stars);
    // Client (19 characters) at 70; the page item ends at column 138.
    EXPECT_EQ(lines[1], Spaces(19) + "* Sys : Quillmar OSKE 1.44 [Faturamento]" + Spaces(11) + "QUILLMAR TECNOLOGIA" +
                            Spaces(31) + "Pag. : 0000000001 *");
    // A title of 21 characters starts at column 69.
    EXPECT_EQ(lines[2], Spaces(19) + "* Prg : NOTA301" + Spaces(35) + "RELATÓRIO DE PRODUTOS" + Spaces(30) +
                            "Data : 05/03/2024 *");
    EXPECT_EQ(lines[2].find("RELAT"), 69u);
    EXPECT_EQ(lines[3], Spaces(19) + "* Sup : QUILLMAR" + Spaces(37) + "Ordem de Código" + Spaces(33) +
                            "Hora : 14:30:05   *");
    EXPECT_EQ(lines[4], stars);
    for (const std::string& l : lines) EXPECT_EQ(Length(l), 139) << l;
    EXPECT_EQ(module.Get_Var("nome_cliente"), "QUILLMAR TECNOLOGIA");
}

TEST_F(TopHeader, OffRowZeroTheBoxBeginsANewPageWithoutTheClient) {
    ASSERT_TRUE(say.StartReport());
    say.Say(3, 0, "antes");
    module.TopHeader(&say, 40, "NOTA999", "T", "S", 2, false);
    EXPECT_EQ(say.Page(), 2);
    std::vector<std::string> lines = testsupport::CrLfLines(Finish());
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[3], "antes\f\r  " + std::string(40, '*'));
    // The right-hand item at 2 + 40 - 19 = 23 is printed over a longer name.
    EXPECT_EQ(lines[4], "  * Sys : Quillmar OSKE 1.44 [Faturamento]\r" + Spaces(23) + "Pag. : 0000000002 *");
    // A one-character title: trunc((40 - 2 - 1) / 2 + 2) + 1 + 2 / 2 = 22.
    EXPECT_EQ(lines[5], "  * Prg : NOTA999" + Spaces(5) + "TData : 05/03/2024 *");
    EXPECT_EQ(lines[6], "  * Sup : QUILLMAR" + Spaces(4) + "SHora : 14:30:05   *");
    EXPECT_EQ(lines[7], "  " + std::string(40, '*'));
}

// The product listing's preview is captioned by the report's own title, as
// its boxed header prints it, not by the work file it reads.
TEST_F(TopHeader, ThePreviewOfAReportWithTheBoxedHeaderIsCaptionedByItsTitle) {
    ui::EnsureQtApplication();
    ASSERT_TRUE(say.StartReport());
    module.TopHeader(&say, 120, "NOTA301", "RELATÓRIO DE PRODUTOS", "Ordem de Código", 19, true);
    std::string caption;
    QTimer::singleShot(0, qApp, [&] {
        ASSERT_NE(say.PreviewWindow(), nullptr);
        caption = say.PreviewWindow()->Caption();
        say.PreviewWindow()->Close();
    });
    say.Preview();
    EXPECT_EQ(caption, "RELATÓRIO DE PRODUTOS - NOTA301");
}
