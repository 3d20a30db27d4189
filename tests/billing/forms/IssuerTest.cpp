// The issuer register: its one row, its checks, the logo picture and the
// issuer's name handed to the main window when the form closes.
#include <QImage>

#include "billing/forms/Nota110.h"
#include "tests/billing/forms/RegisterFixture.h"

namespace {

constexpr const char* kHeading = "Foram identificados erros, por favor corrija: \r\n\r\n";

class Issuer : public billtest::RegisterSession<TfrmNota110> {
protected:
    void SetUp() override {
        RegisterSession::SetUp();
        dmdb->OnStatusText = [this](TObject*, int Panel, const std::string& Text) {
            if (Panel == 3) statusName = Text;
        };
    }
    void TearDown() override {
        dmdb->OnStatusText = nullptr;
        RegisterSession::TearDown();
    }
    void FillValid() {
        Set("Nome", "Metalúrgica Exemplo Ltda");
        Set("Cnpj", "11222333000181");
        Set("Inscricao_Estadual", "213876054275");
        Set("Endereco", "Avenida Industrial");
        Set("Numero_Endereco", "1000");
        F("Id_Municipio")->SetAsInteger(3509502);
        form->Mostra_Tudo();
    }
    std::string statusName;
};

}  // namespace

TEST_F(Issuer, TheOneRowIsEditedWithOnlyEditSaveUndoAndClose) {
    Open();
    EXPECT_EQ(form->Caption(), "Emitente - NOTA110");
    EXPECT_EQ(form->qry->State(), dsBrowse);
    EXPECT_EQ(F("Nome")->AsString(), "Quillmar Tecnologia em Informática Ltda");
    for (TDBButton* b : {form->btnInsert, form->btnDelete, form->btnFirst, form->btnPrior, form->btnNext,
                         form->btnLast, form->DBButton2})
        EXPECT_FALSE(b->Visible()) << b->Name();
    for (TDBButton* b : {form->btnEdit, form->btnSave, form->btnCancel, form->DBButton1})
        EXPECT_TRUE(b->Visible()) << b->Name();
    EXPECT_EQ(form->dbeNome->Color(), form->Color());  // browse look
    form->btnEdit->Click();
    EXPECT_EQ(form->dbeNome->Color(), clWindow);
    FillValid();
    EXPECT_EQ(form->PMunicipio->Caption(), "Campinas");
    EXPECT_EQ(form->PUF->Caption(), "SP");
    form->btnSave->Click();
    EXPECT_EQ(Scalar("select nome from emitente"), "Metalúrgica Exemplo Ltda");
    EXPECT_EQ(Count("select count(*) from emitente"), 1);
}

TEST_F(Issuer, TheSevenChecksAreListedAndABlankCnpjGetsBothItsMessages) {
    Open();
    form->btnEdit->Click();
    for (const char* c : {"Nome", "Cnpj", "Inscricao_Estadual", "Endereco", "Numero_Endereco", "Id_Municipio"})
        F(c)->Clear();
    dialogs.Expect(std::string(kHeading) +
                       "O Nome não foi informado.\r\n"
                       "O CNPJ não foi informado.\r\n"
                       "O CNPJ não é válido.\r\n"
                       "A Inscrição Estadual não foi informada.\r\n"
                       "O Endereço não foi informado.\r\n"
                       "O Número do Endereço não foi informado.\r\n"
                       "O Município não foi informado.\r\n",
                   mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    EXPECT_EQ(form->qry->State(), dsEdit);
    FillValid();
    Set("Cnpj", "11222333000180");
    dialogs.Expect(std::string(kHeading) + "O CNPJ não é válido.\r\n", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
}

TEST_F(Issuer, AnEmptyTableOpensWithItsRowReadyToFillAndNoErrorBox) {
    dmdb->ADOConnection->Execute("delete from emitente");
    Open();  // an error box here would fail the test: nobody expects one
    EXPECT_EQ(form->qry->State(), dsInsert);
    EXPECT_EQ(form->dbeNome->Color(), clWindow);  // edit look
    EXPECT_EQ(Count("select count(*) from emitente"), 0);
    FillValid();
    form->btnSave->Click();
    EXPECT_EQ(form->qry->State(), dsBrowse);
    EXPECT_EQ(form->dbeNome->Color(), form->Color());
    EXPECT_EQ(Scalar("select cnpj from emitente"), "11222333000181");
}

TEST_F(Issuer, ALogoFileThatCannotBeReadIsReportedOnceAndShowsNoPicture) {
    std::string good = dir.file("logo.png");
    QImage picture(16, 8, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(QString::fromStdString(good)));
    std::string bad = dir.file("logo.jpg");
    testsupport::WriteAll(bad, "não é uma figura");

    Open();
    EXPECT_TRUE(form->imgLogoTipo->Empty());
    form->btnEdit->Click();
    dialogs.AnswerText(good);
    form->btnSelecionar->Click();
    EXPECT_EQ(F("Arquivo_Logotipo")->AsString(), good);
    EXPECT_FALSE(form->imgLogoTipo->Empty());

    dialogs.AnswerText(bad);
    dialogs.Expect("Não foi possível carregar o logotipo \"" + bad + "\".", mrOk, "Atenção");
    form->btnSelecionar->Click();
    EXPECT_TRUE(form->imgLogoTipo->Empty());
    // The save shows the row again without a second message.
    FillValid();
    form->btnSave->Click();
    EXPECT_EQ(Scalar("select arquivo_logotipo from emitente"), bad);

    form->btnEdit->Click();
    form->btnLimpar->Click();
    EXPECT_TRUE(F("Arquivo_Logotipo")->AsString().empty());
    EXPECT_TRUE(form->imgLogoTipo->Empty());
    form->btnSave->Click();
}

TEST_F(Issuer, ClosingAsksAboutAPendingEditFirstThenShowsTheNameItKept) {
    Open();
    form->btnEdit->Click();
    FillValid();
    Set("Nome", "Nome Novo S.A.");
    statusName.clear();
    TCloseAction action = caHide;
    dialogs.Expect("Deseja salvar as alterações ?", mrYes, "Salvar");
    form->OnClose(form, action);
    EXPECT_EQ(action, caFree);
    EXPECT_EQ(Scalar("select nome from emitente"), "Nome Novo S.A.");
    EXPECT_EQ(statusName, "Nome Novo S.A.");
}

TEST_F(Issuer, ClosingWithoutSavingShowsTheNameStillStored) {
    Open();
    form->btnEdit->Click();
    Set("Nome", "Nunca Gravado");
    statusName.clear();
    TCloseAction action = caHide;
    dialogs.Expect("Deseja salvar as alterações ?", mrNo, "Salvar");
    form->OnClose(form, action);
    EXPECT_EQ(action, caFree);
    EXPECT_EQ(statusName, "Quillmar Tecnologia em Informática Ltda");
}

TEST_F(Issuer, AClosingSaveThatFailsItsChecksKeepsTheFormOpenAndTheStatusBarAsItWas) {
    Open();
    form->btnEdit->Click();
    F("Nome")->Clear();
    statusName = "antes";
    TCloseAction action = caHide;
    dialogs.Expect("Deseja salvar as alterações ?", mrYes, "Salvar");
    dialogs.Expect("O Nome não foi informado.", mrOk, "Atenção");
    form->OnClose(form, action);
    EXPECT_EQ(action, caNone);
    EXPECT_EQ(form->qry->State(), dsEdit);
    EXPECT_EQ(statusName, "antes");
}
