// The dialog service: captions and buttons of the boxes, answers taken from
// the script, surprises reported, and the application's failure box.
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <fstream>

#include <QAbstractItemModel>
#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include "platform/ui/Dialogs.h"
#include "platform/ui/StdCtrls.h"
#include "tests/platform/ui/UiTestSupport.h"

namespace {

// A script whose complaints are collected instead of failing the test.
struct Recording {
    std::vector<std::string> complaints;
    ui::ScriptedDialogs script{[this](const std::string& m) { complaints.push_back(m); }};
};

// The program's own boxes for as long as it lives, each handed to Act once
// it is up and active (it runs its own event loop).
class RealBoxes {
public:
    explicit RealBoxes(std::function<void(QWidget*)> Act) : script_(ui::SetDialogService(nullptr)), act_(std::move(Act)) {
        ui::EnsureQtApplication();  // the timer needs the application's thread
        timer_ = std::make_unique<QTimer>();
        timer_->setInterval(5);
        QObject::connect(timer_.get(), &QTimer::timeout, [this] {
            QWidget* box = QApplication::activeModalWidget();
            if (box == nullptr || box == seen_) return;
            seen_ = box;
            box->activateWindow();
            QApplication::setActiveWindow(box);
            (void)QTest::qWaitForWindowActive(box, 1000);
            act_(box);
        });
        timer_->start();
    }
    ~RealBoxes() { ui::SetDialogService(script_); }

private:
    ui::DialogService* script_;
    std::function<void(QWidget*)> act_;
    std::unique_ptr<QTimer> timer_;
    QWidget* seen_ = nullptr;
};

QChar Letter(const QString& Caption) {
    const QKeySequence k = QKeySequence::mnemonic(Caption);
    return k.isEmpty() ? QChar() : QChar(k[0].key() & ~Qt::KeyboardModifierMask).toUpper();
}

}  // namespace

TEST(Dialogs, MessageBoxesTakeTheCaptionOfTheirKindAndAnswerFromTheScript) {
    uitest::Dialogs d;
    d.Answer(mrYes).Answer(mrOk).Answer(mrCancel);
    EXPECT_EQ(MessageDlg("Deseja Transmitir esta NF-e para Sefaz ?", mtConfirmation, mbYesNo), mrYes);
    EXPECT_EQ(MessageDlg("O Nome não foi informado.", mtWarning, {mbOK}), mrOk);
    EXPECT_EQ(MessageDlg("Falhou.", mtError, mbOKCancel), mrCancel);
    ASSERT_EQ(d.Shown().size(), 3u);
    EXPECT_EQ(d.Shown()[0].caption, "Confirmação");
    EXPECT_EQ(d.Shown()[0].buttons, mbYesNo);
    EXPECT_EQ(d.Shown()[1].caption, "Atenção");
    EXPECT_EQ(d.Shown()[2].caption, "Erro");
    EXPECT_EQ(ui::ButtonCaption(mbYes), "&Sim");
    EXPECT_EQ(ui::ButtonCaption(mbNo), "&Não");
    EXPECT_EQ(ui::ButtonCaption(mbCancel), "&Cancelar");
}

TEST(Dialogs, ApplicationMessageBoxMapsFlagsToButtonsIconAndDefault) {
    uitest::Dialogs d;
    d.Expect("Confirma a exclusão do Registro ?", mrNo, "Excluir");
    EXPECT_EQ(Application->MessageBox("Confirma a exclusão do Registro ?", "Excluir",
                                      MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2),
              IDNO);
    const ui::BoxRequest& r = d.Shown().back();
    EXPECT_EQ(r.buttons, mbYesNo);
    EXPECT_EQ(r.type, mtConfirmation);
    EXPECT_EQ(r.defaultButton, mbNo);
    d.Answer(mrOk);
    EXPECT_EQ(Application->MessageBox("Esta opção está sendo Implementada. Aguarde.", "Atenção", MB_ICONEXCLAMATION), IDOK);
    EXPECT_EQ(d.Shown().back().type, mtWarning);
    EXPECT_EQ(d.Shown().back().buttons, TMsgDlgButtons{mbOK});
}

TEST(Dialogs, ABoxNobodyExpectedIsReportedAndAnsweredSafely) {
    Recording rec;
    EXPECT_EQ(MessageDlg("Apagar tudo?", mtConfirmation, mbYesNo), mrNo) << "the careful answer";
    ASSERT_EQ(rec.complaints.size(), 1u);
    EXPECT_NE(rec.complaints[0].find("Apagar tudo?"), std::string::npos);
}

TEST(Dialogs, AnExpectationThatDoesNotMatchAndAnUnusedAnswerAreReported) {
    Recording rec;
    rec.script.Expect("Senha", mrOk);
    MessageDlg("Usuário inválido", mtWarning, {mbOK});
    EXPECT_EQ(rec.complaints.size(), 1u);
    rec.script.Answer(mrYes);
    rec.script.Verify();
    EXPECT_EQ(rec.complaints.size(), 2u);
}

TEST(Dialogs, InputBoxesGiveTheTypedTextOrKeepTheDefault) {
    uitest::Dialogs d;
    d.AnswerText("1234").Cancel().Cancel();
    EXPECT_EQ(InputBox("Senha", "Informe a senha", "x"), "1234");
    EXPECT_EQ(InputBox("Senha", "Informe a senha", "x"), "x");
    std::string value = "antes";
    EXPECT_FALSE(InputQuery("Valor", "Novo valor", value));
    EXPECT_EQ(value, "antes");
    EXPECT_EQ(d.Shown()[0].kind, ui::BoxKind::Input);
    EXPECT_EQ(d.Shown()[0].value, "x");
}

TEST(Dialogs, FileAndFolderChoicesCarryTheirSettingsAndAnswer) {
    uitest::Dialogs d;
    TOpenDialog open(nullptr);
    open.SetFilter("Banco Dados Microsoft Access|*.MDB");
    open.SetDefaultExt("*.MDB");
    open.SetTitle("Abrir Banco Dados do OSKE Faturamento");
    open.SetInitialDir("/dados");
    d.AnswerText("/dados/fatura.mdb").Cancel();
    EXPECT_TRUE(open.Execute());
    EXPECT_EQ(open.FileName(), "/dados/fatura.mdb");
    EXPECT_FALSE(open.Execute());
    EXPECT_EQ(open.FileName(), "/dados/fatura.mdb") << "a cancelled choice keeps the name";
    EXPECT_EQ(d.Shown()[0].kind, ui::BoxKind::OpenFile);
    EXPECT_EQ(d.Shown()[0].caption, "Abrir Banco Dados do OSKE Faturamento");
    EXPECT_EQ(d.Shown()[0].filter, "Banco Dados Microsoft Access|*.MDB");
    EXPECT_EQ(d.Shown()[0].initialDir, "/dados");

    TSaveDialog save(nullptr);
    d.AnswerText("/tmp/saida.txt");
    EXPECT_TRUE(save.Execute());
    EXPECT_EQ(d.Shown().back().kind, ui::BoxKind::SaveFile);

    std::string folder = "/";
    d.AnswerText("/tmp");
    EXPECT_TRUE(SelectDirectory("Pasta", "", folder));
    EXPECT_EQ(folder, "/tmp");
    EXPECT_EQ(d.Shown().back().kind, ui::BoxKind::Folder);
}

TEST(Dialogs, AFailureThatReachesTheEventLoopShowsItsMessageCaptionedErro) {
    uitest::Dialogs d;
    TForm form(nullptr);
    auto* b = new TButton(&form);
    b->SetParent(&form);
    b->OnClick = [](TObject*) { throw EConvertError("'abc' não é um número válido"); };
    d.Expect("'abc' não é um número válido.", mrOk, "Erro");
    QTest::mouseClick(static_cast<QPushButton*>(b->Widget()), Qt::LeftButton);
    EXPECT_EQ(d.Pending(), 0);
    b->OnClick = [](TObject*) { throw Exception("Não foi possível abrir o Banco de Dados!"); };
    d.Expect("Não foi possível abrir o Banco de Dados!", mrOk, "Erro");
    QTest::mouseClick(static_cast<QPushButton*>(b->Widget()), Qt::LeftButton);
    EXPECT_EQ(d.Shown().back().text, "Não foi possível abrir o Banco de Dados!") << "no dot after \"!\"";
    // The silent exception shows nothing.
    b->OnClick = [](TObject*) { Abort(); };
    QTest::mouseClick(static_cast<QPushButton*>(b->Widget()), Qt::LeftButton);
    EXPECT_EQ(d.Shown().size(), 2u);
    // Called in code, Click lets the failure through to the caller.
    b->OnClick = [](TObject*) { throw Exception("direto"); };
    EXPECT_THROW(b->Click(), Exception);
}

TEST(Dialogs, AnApplicationHandlerReplacesTheFailureBox) {
    uitest::Dialogs d;
    std::string seen;
    Application->OnException = [&](TObject*, const std::exception& e) { seen = e.what(); };
    Application->HandleException(nullptr, Exception("falha"));
    Application->OnException = nullptr;
    EXPECT_EQ(seen, "falha");
    EXPECT_TRUE(d.Shown().empty());
}

// A box with every button there is, each pressed by its Alt letter: the
// letters differ and each gives its own answer; so does the OK / Cancelar
// of a question such as "Excluir registro?".
TEST(Dialogs, EveryButtonOfABoxAnswersByItsOwnLetter) {
    const struct {
        TMsgDlgBtn button;
        const char* text;
        TModalResult answer;
    } buttons[] = {{mbYes, "Sim", mrYes},
                   {mbNo, "Não", mrNo},
                   {mbOK, "OK", mrOk},
                   {mbCancel, "Cancelar", mrCancel},
                   {mbAbort, "Abortar", mrAbort},
                   {mbRetry, "Repetir", mrRetry},
                   {mbIgnore, "Ignorar", mrIgnore},
                   {mbAll, "Todos", mrAll},
                   {mbNoToAll, "Não para Todos", mrNoToAll},
                   {mbYesToAll, "Sim para Todos", mrYesToAll}};
    const TMsgDlgButtons every{mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll};
    for (const TMsgDlgButtons& set : {every, mbOKCancel}) {
        for (const auto& b : buttons) {
            if (!set.Contains(b.button)) continue;
            SCOPED_TRACE(b.text);
            std::set<QChar> letters;
            bool pressedNothing = false;
            RealBoxes boxes([&](QWidget* Box) {
                // A letter that pressed nothing leaves the box up: Esc ends it.
                QTimer::singleShot(200, Box, [Box, &pressedNothing] {
                    pressedNothing = true;
                    QTest::keyClick(Box, Qt::Key_Escape);
                });
                QChar mine;
                for (QPushButton* p : Box->findChildren<QPushButton*>()) {
                    const QChar l = Letter(p->text());
                    EXPECT_FALSE(l.isNull()) << "\"" << p->text().toStdString() << "\" sem letra";
                    EXPECT_TRUE(letters.insert(l).second) << "\"" << p->text().toStdString() << "\" repete a letra";
                    if (QString(p->text()).remove('&') == QString::fromUtf8(b.text)) mine = l;
                }
                ASSERT_FALSE(mine.isNull()) << "no button " << b.text;
                QTest::keyClick(Box, Qt::Key(mine.unicode()), Qt::AltModifier);
            });
            EXPECT_EQ(MessageDlg("Excluir registro?", mtConfirmation, set), b.answer);
            EXPECT_FALSE(pressedNothing) << "Alt+" << b.text;
        }
    }
}

// A box whose text is shorter than its caption is wide enough to show the
// caption whole in the title bar, beside the window's buttons.
TEST(Dialogs, ABoxIsAsWideAsItsCaption) {
    const std::string caption = "Faturamento - Sistema de Emissão de Notas Fiscais";
    int width = 0, needed = 0;
    {
        RealBoxes boxes([&](QWidget* Box) {
            QFont bold = Box->font();
            bold.setBold(true);
            // The caption in a title bar's bold, and three buttons of 24 pixels.
            needed = QFontMetrics(bold).horizontalAdvance(QString::fromStdString(caption)) + 3 * 24;
            width = Box->width();
            QTest::keyClick(Box, Qt::Key_Return);
        });
        ui::BoxRequest r;
        r.kind = ui::BoxKind::Message;
        r.caption = caption;
        r.text = "Rotina sendo aprimorada";
        r.type = mtCustom;
        r.buttons = TMsgDlgButtons{mbOK};
        ui::Dialogs().Show(r);
    }
    EXPECT_GE(width, needed);
}

// A folder listed by the file dialog in Portuguese: the column titles, each
// entry's type and its date in the Brazilian form, and no English among the
// dialog's words, whatever the system's locale.
TEST(Dialogs, TheFileDialogListsAFolderInPortuguese) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("listagem-" + std::to_string(QCoreApplication::applicationPid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "Notas");
    std::ofstream(folder / "logo.png") << "imagem";
    // 15 June 2010, 09:41 local time, for both entries.
    const QDateTime when(QDate(2010, 6, 15), QTime(9, 41));
    const auto stamp = std::chrono::file_clock::from_sys(
        std::chrono::sys_seconds(std::chrono::seconds(when.toSecsSinceEpoch())));
    for (const char* name : {"Notas", "logo.png"}) fs::last_write_time(folder / name, stamp);
    std::map<std::string, std::pair<std::string, std::string>> listed;  // name -> type, date
    std::vector<std::string> titles, english;
    {
        RealBoxes boxes([&](QWidget* Box) {
            auto* dialog = qobject_cast<QFileDialog*>(Box);
            ASSERT_NE(dialog, nullptr);
            dialog->setViewMode(QFileDialog::Detail);
            auto* view = dialog->findChild<QTreeView*>();
            ASSERT_NE(view, nullptr);
            QAbstractItemModel* model = view->model();
            const QModelIndex root = view->rootIndex();
            EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(root) == 2; }, 5000));
            for (int c = 0; c < 4; ++c)
                titles.push_back(model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString().toStdString());
            for (int r = 0; r < model->rowCount(root); ++r)
                listed[model->index(r, 0, root).data().toString().toStdString()] = {
                    model->index(r, 2, root).data().toString().toStdString(),
                    model->index(r, 3, root).data().toString().toStdString()};
            static const char* const kEnglish[] = {"Look in", "File name", "Files of type", "Back", "Forward",
                                                   "Parent Directory", "Create New Folder", "List View",
                                                   "Detail View", "Open", "Cancel", "Folder", "Date Modified"};
            auto check = [&](const QString& Text) {
                for (const char* word : kEnglish)
                    if (QString(Text).remove('&').remove(':').trimmed() == QLatin1String(word))
                        english.push_back(Text.toStdString());
            };
            for (QLabel* l : Box->findChildren<QLabel*>()) check(l->text());
            for (QAbstractButton* b : Box->findChildren<QAbstractButton*>()) {
                check(b->text());
                check(b->toolTip());
            }
            dialog->reject();
        });
        TOpenDialog open(nullptr);
        open.SetFilter("Imagens|*.png;*.jpg");
        open.SetInitialDir(folder.string());
        EXPECT_FALSE(open.Execute());
    }
    fs::remove_all(folder);
    EXPECT_EQ(titles, (std::vector<std::string>{"Nome", "Tamanho", "Tipo", "Data de modificação"}));
    EXPECT_EQ(listed["Notas"], (std::pair<std::string, std::string>{"Pasta", "15/06/2010 09:41"}));
    EXPECT_EQ(listed["logo.png"], (std::pair<std::string, std::string>{"Arquivo PNG", "15/06/2010 09:41"}));
    EXPECT_TRUE(english.empty()) << english.front();
}
