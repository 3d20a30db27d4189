// The dialog service: captions and buttons of the boxes, answers taken from
// the script, surprises reported, and the application's failure box.
#include <QPushButton>

#include "platform/ui/Dialogs.h"
#include "platform/ui/StdCtrls.h"
#include "tests/platform/ui/UiTestSupport.h"

namespace {

// A script whose complaints are collected instead of failing the test.
struct Recording {
    std::vector<std::string> complaints;
    ui::ScriptedDialogs script{[this](const std::string& m) { complaints.push_back(m); }};
};

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
    EXPECT_EQ(ui::ButtonCaption(mbCancel), "Cancelar");
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
