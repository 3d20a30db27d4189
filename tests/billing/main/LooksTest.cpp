// How the program looks to a clerk: every text of every form whole in the
// program's font, the program's icon on every window, menus with one
// accelerator per letter, no stray "-" and an icon on every command, message
// boxes with the icon of their kind, a register that grows when maximised.
#include <functional>
#include <map>
#include <set>

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QKeySequence>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QShortcut>
#include <QTabBar>

#include "billing/forms/InformaSenha.h"
#include "billing/forms/Nota100.h"
#include "billing/forms/Nota101.h"
#include "billing/forms/Nota102.h"
#include "billing/forms/Nota103.h"
#include "billing/forms/Nota104.h"
#include "billing/forms/Nota106.h"
#include "billing/forms/Nota107.h"
#include "billing/forms/Nota108.h"
#include "billing/forms/Nota109.h"
#include "billing/forms/Nota110.h"
#include "billing/forms/Nota111.h"
#include "billing/forms/Nota112.h"
#include "billing/forms/Nota114.h"
#include "billing/forms/Nota115.h"
#include "billing/forms/Nota116.h"
#include "billing/forms/Nota117.h"
#include "billing/forms/Nota118.h"
#include "billing/forms/Nota119.h"
#include "billing/forms/Nota200.h"
#include "billing/forms/Nota201.h"
#include "billing/forms/Nota220.h"
#include "billing/forms/Nota221.h"
#include "billing/forms/Nota223.h"
#include "billing/forms/Nota224.h"
#include "billing/forms/Nota225.h"
#include "billing/forms/Nota230.h"
#include "billing/forms/Nota231.h"
#include "billing/forms/Nota232.h"
#include "billing/forms/Nota233.h"
#include "billing/forms/Nota301.h"
#include "billing/forms/Pesquisa.h"
#include "billing/forms/Sobre.h"
#include "platform/ui/Desktop.h"
#include "tests/billing/main/MainFixture.h"
#include "tests/support/TextFit.h"

namespace {

using billtest::MainWindow;

class Looks : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        Create();
        LogInAs("Admin", "truve");
    }
    // The form shown as the program shows it, then measured.
    void ExpectWhole(TCustomForm* Form, const std::string& Name) {
        Form->Show();
        billtest::Pump();
        for (const std::string& clipped : testsupport::ClippedTexts(Form->Widget()))
            ADD_FAILURE() << Name << ": " << clipped;
        QIcon icon = Form->Widget()->window()->windowIcon();
        EXPECT_EQ(icon.cacheKey(), ui::ProgramIcon().cacheKey()) << Name << " não mostra o ícone do programa";
    }
};

}  // namespace

TEST_F(Looks, FormsUseTheProgramsFontAndItsOwnIcon) {
    // The measures below mean something only in the font the program asks for.
    QFontInfo font(QApplication::font());
    EXPECT_EQ(font.family().toStdString(), ui::kFontFamily);
    EXPECT_EQ(QApplication::font().pointSize(), ui::kFontPointSize);
    // The picture inside the program was read (not the fallback, not Qt's logo).
    QIcon icon = ui::ProgramIcon();
    ASSERT_FALSE(icon.pixmap(32, 32).isNull());
    QIcon fromFile(QString::fromStdString(std::string(FAT_SOURCE_DIR) + "/billing/main/faturamento.svg"));
    EXPECT_EQ(icon.pixmap(32, 32).toImage(), fromFile.pixmap(32, 32).toImage());
}

namespace {

// Every form the program has, each made as the program makes it; a new form
// adds its line here.
std::vector<std::pair<std::string, std::function<TCustomForm*()>>> EveryForm() {
    return {
        {"login", [] { return new TfrmNota220(nullptr); }},
        {"escolha do banco de dados", [] { return new TfrmSelecionarBancoDados(nullptr); }},
        {"bloqueio", [] { return new TfrmNota224(nullptr); }},
        {"alterar senha", [] { return new TFrmNota223(Application); }},
        {"informe a senha", [] { return new TfrmInformaSenha(nullptr); }},
        {"clientes", [] { return new TfrmNota100(Application); }},
        {"produtos", [] { return new TfrmNota101(Application); }},
        {"transportadoras", [] { return new TfrmNota103(Application); }},
        {"emitente", [] { return new TfrmNota110(Application); }},
        {"vendedores", [] { return new TfrmNota102(Application); }},
        {"CFOP", [] { return new TfrmNota104(Application); }},
        {"situação tributária", [] { return new TfrmNota106(Application); }},
        {"ajuda CST", [] { return new TfrmNota106a(nullptr); }},
        {"contas corrente", [] { return new TfrmNota107(Application); }},
        {"condições de pagamento", [] { return new TfrmNota108(Application); }},
        {"NOTA109", [] { return new TfrmNota109(Application); }},
        {"NOTA112", [] { return new TfrmNota112(Application); }},
        {"opções", [] { return new TfrmNota115(Application); }},
        {"NOTA116", [] { return new TfrmNota116(Application); }},
        {"NOTA117", [] { return new TfrmNota117(Application); }},
        {"série documentos", [] { return new TfrmNota118(Application); }},
        {"unidades de medida", [] { return new TfrmNota119(Application); }},
        {"notas fiscais", [] { return new TfrmNota200(Application); }},
        {"romaneios", [] { return new TfrmNota201(Application); }},
        {"manutenção manual",
         [] {
             auto* form = new TfrmNota225(Application);
             form->AskAccessCode = [](std::string& typed) {
                 typed = "quorventalisbrake";  // the master code opens it
                 return true;
             };
             return form;
         }},
        {"status do serviço", [] { return new TfrmNota230(Application); }},
        {"inutilizar numeração", [] { return new TfrmNota231(Application); }},
        {"gerenciar NF-e", [] { return new TfrmNota232(Application); }},
        {"NOTA232B", [] { return new TfrmNota232B(nullptr); }},
        {"exportação contábil", [] { return new TfrmNota233(Application); }},
        {"listagem de produtos", [] { return new TfrmNota301(Application); }},
        {"usuários", [] { return new TfrmNota111(Application); }},
        {"programas", [] { return new TfrmNota114(Application); }},
        {"log de usuário", [] { return new TfrmNota221(Application); }},
        {"pesquisa", [] { return new TfrmPesquisa(nullptr); }},
        {"localizar", [] { return new TfrmLocalizar(nullptr); }},
        {"sobre", [] { return new TfrmSobre(nullptr); }},
    };
}

QChar AltLetter(const QString& Caption) {
    QKeySequence k = QKeySequence::mnemonic(Caption);
    return k.isEmpty() ? QChar() : QChar(k[0].key() & ~Qt::KeyboardModifierMask).toUpper();
}

}  // namespace

TEST_F(Looks, EveryFormShowsItsTextsWholeWithTheProgramsIcon) {
    ExpectWhole(window, "janela principal");
    const auto forms = EveryForm();
    for (const auto& [name, make] : forms) {
        TCustomForm* form = make();
        ExpectWhole(form, name);
        delete form;
        billtest::Pump();
    }
}

// Every button of every form is reached by the keyboard: Tab stops at it,
// and it has an Alt letter (or a key of its own, as the record row's walk
// has); no letter serves two things in one window, buttons, boxes, the
// controls labels name and pages all counted.
TEST_F(Looks, EveryButtonIsReachedByTabAndHasALetterOfItsOwn) {
    int buttons = 0;
    for (const auto& [name, make] : EveryForm()) {
        SCOPED_TRACE(name);
        TCustomForm* form = make();
        form->Show();
        billtest::Pump();
        QWidget* root = form->Widget();
        std::map<QChar, std::string> letters;
        auto claim = [&](const QString& Text) {
            const QChar l = AltLetter(Text);
            if (l.isNull()) return;
            auto [it, fresh] = letters.emplace(l, Text.toStdString());
            EXPECT_TRUE(fresh) << "\"" << Text.toStdString() << "\" e \"" << it->second << "\" usam a mesma letra";
        };
        for (QAbstractButton* b : root->findChildren<QAbstractButton*>()) {
            if (!b->isVisibleTo(root)) continue;
            claim(b->text());
            auto* button = dynamic_cast<TButton*>(ui::ControlOf(b));
            if (button == nullptr || ui::ControlOf(b)->Widget() != b) continue;
            ++buttons;
            const bool ownKey = !b->findChildren<QShortcut*>().isEmpty();
            EXPECT_TRUE(!AltLetter(b->text()).isNull() || ownKey) << "\"" << b->text().toStdString() << "\" sem letra";
            // Orders are not imported yet: their button stays off the
            // document's road by Tab.
            if (button->Name() == "btnPedido") continue;
            EXPECT_TRUE(button->TabStop() && (b->focusPolicy() & Qt::TabFocus) != 0)
                << "\"" << b->text().toStdString() << "\" fora da ordem do Tab";
        }
        for (QLabel* l : root->findChildren<QLabel*>())
            if (l->buddy() != nullptr && l->isVisibleTo(root)) claim(l->text());
        for (QTabBar* bar : root->findChildren<QTabBar*>())
            for (int i = 0; i < bar->count(); ++i) claim(bar->tabText(i));
        delete form;
        billtest::Pump();
    }
    EXPECT_GT(buttons, 100);
}

TEST_F(Looks, MenusHaveOneAcceleratorPerLetterNoDashItemsAndAnIconOnEveryCommand) {
    std::function<void(const QList<QAction*>&, const std::string&)> walk = [&](const QList<QAction*>& actions,
                                                                              const std::string& where) {
        std::map<int, std::string> letters;
        for (QAction* a : actions) {
            std::string text = a->text().toStdString();
            if (a->isSeparator()) {
                EXPECT_TRUE(a->text().isEmpty()) << where << ": separador com texto \"" << text << "\"";
                continue;
            }
            EXPECT_NE(a->text().trimmed(), "-") << where;
            if (!a->isVisible()) continue;
            QKeySequence mnemonic = QKeySequence::mnemonic(a->text());
            // Every entry is reached by a letter, the menu open.
            EXPECT_FALSE(mnemonic.isEmpty()) << where << ": \"" << text << "\" sem letra";
            if (!mnemonic.isEmpty()) {
                int key = mnemonic[0].key() & ~Qt::AltModifier;
                auto [it, fresh] = letters.emplace(key, text);
                EXPECT_TRUE(fresh) << where << ": \"" << text << "\" e \"" << it->second << "\" usam a mesma letra";
            }
            if (a->menu() != nullptr) walk(a->menu()->actions(), where + " > " + text);
            else EXPECT_FALSE(a->icon().name().isEmpty()) << where << ": \"" << text << "\" sem ícone do tema";
        }
    };
    walk(window->MainMenu1->MenuBar()->actions(), "menu principal");
    walk(window->popLink->Menu()->actions(), "Links Importantes");
    // Alt+M is the tools menu's, as its caption shows.
    QAction* tools = window->MainMenu1->MenuBar()->actions().at(4);
    EXPECT_EQ(QKeySequence::mnemonic(tools->text()), QKeySequence(Qt::ALT | Qt::Key_M));
}

TEST_F(Looks, TheToolbarShowsIconsAndMovesWhatDoesNotFitBehindAnArrow) {
    TToolBar* bar = window->ToolBar1;
    for (int i = 0; i < bar->ButtonCount(); ++i) {
        TToolButton* b = bar->Buttons(i);
        if (b->Style() == tbsSeparator) continue;
        EXPECT_FALSE(b->Button()->icon().name().isEmpty()) << b->Caption() << " sem ícone do tema";
    }
    // The frame starts maximised, over the screen's whole free area.
    EXPECT_EQ(window->WindowState(), wsMaximized);
    EXPECT_TRUE(window->Widget()->frameGeometry().contains(ui::AvailableScreenArea(window->Widget())));
    // No empty band: the bar is as tall as its buttons.
    EXPECT_EQ(window->CoolBar1->Height(), bar->ButtonHeight());
    window->SetWindowState(wsNormal);
    window->SetBounds(0, 0, 600, 500);
    billtest::Pump();
    ASSERT_TRUE(bar->OverflowButton()->isVisible());
    QStringList overflowed;
    for (QAction* a : bar->OverflowButton()->menu()->actions())
        if (!a->isSeparator()) overflowed << a->text();
    // The last buttons go first; "Sair" and the links are still one click away.
    EXPECT_TRUE(overflowed.contains("Sair")) << overflowed.join(", ").toStdString();
    EXPECT_TRUE(overflowed.contains("Links Importantes")) << overflowed.join(", ").toStdString();
    for (int i = 0; i < bar->ButtonCount(); ++i) {
        TToolButton* b = bar->Buttons(i);
        if (b->Overflowed() || b->Style() == tbsSeparator) continue;
        EXPECT_LE(b->Left() + b->Width(), bar->OverflowButton()->x()) << b->Caption() << " sob a seta";
    }
}

TEST_F(Looks, MessageBoxesCarryTheIconOfTheirKind) {
    // A success informs...
    window->AlterarSenha1Click(window);
    billtest::Pump();
    ASSERT_NE(FrmNota223, nullptr);
    FrmNota223->edtAtual->SetText("truve");
    FrmNota223->edtNova->SetText("nova");
    FrmNota223->edtRedigita->SetText("nova");
    dialogs.Expect("Sua senha foi alterada com sucesso", mrOk, "Sucesso");
    FrmNota223->btnOkClick(nullptr);
    billtest::Pump();
    ASSERT_FALSE(dialogs.Shown().empty());
    EXPECT_EQ(dialogs.Shown().back().type, mtInformation);
    // ...a failure is an error.
    window->StartProgram = [](const std::string&, const std::vector<std::string>&) { return false; };
    dialogs.Answer(mrOk);
    window->ToolButton6Click(window);
    EXPECT_EQ(dialogs.Shown().back().type, mtError);
}

TEST_F(Looks, ARegisterMaximisedGrowsItsGridAndKeepsItsButtonsBesideIt) {
    window->Usurios1Click(window);
    billtest::Pump();
    ASSERT_NE(frmNota111, nullptr);
    int gridRight = frmNota111->pnlDados->ClientWidth() - (frmNota111->exDBGrid1->Left() + frmNota111->exDBGrid1->Width());
    int gridBottom = frmNota111->pnlDados->ClientHeight() - (frmNota111->exDBGrid1->Top() + frmNota111->exDBGrid1->Height());
    int buttonRight = frmNota111->pnlDados->ClientWidth() - frmNota111->Button1->Left();
    int width = frmNota111->exDBGrid1->Width();
    int panel = frmNota111->pnlDados->ClientWidth();
    frmNota111->SetWindowState(wsMaximized);
    billtest::Pump();
    ASSERT_NE(frmNota111->pnlDados->ClientWidth(), panel);
    EXPECT_EQ(frmNota111->exDBGrid1->Width() - width, frmNota111->pnlDados->ClientWidth() - panel);
    EXPECT_EQ(frmNota111->pnlDados->ClientWidth() - (frmNota111->exDBGrid1->Left() + frmNota111->exDBGrid1->Width()),
              gridRight);
    EXPECT_EQ(frmNota111->pnlDados->ClientHeight() - (frmNota111->exDBGrid1->Top() + frmNota111->exDBGrid1->Height()),
              gridBottom);
    EXPECT_EQ(frmNota111->pnlDados->ClientWidth() - frmNota111->Button1->Left(), buttonRight);
}

TEST_F(Looks, TheDesktopEntryIsValidAndNamesTheProgramAndItsIcon) {
    std::string entry = std::string(FAT_SOURCE_DIR) + "/billing/main/faturamento.desktop";
    std::string text = testsupport::ReadAll(entry);
    EXPECT_NE(text.find("\nExec=faturamento\n"), std::string::npos);
    EXPECT_NE(text.find("\nIcon=faturamento\n"), std::string::npos);
    QProcess validate;
    validate.start("desktop-file-validate", {QString::fromStdString(entry)});
    if (!validate.waitForStarted()) GTEST_SKIP() << "desktop-file-validate (desktop-file-utils) não está instalado";
    validate.waitForFinished();
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();
}
