// The register pattern through a small register of units of measure: new,
// edit, save, cancel and delete through the record buttons, the checks
// listed in one box, duplicate keys, a delete refused while referenced, the
// save question on closing and a lookup's description panel.
#include <QTest>

#include "billing/forms/RegisterForm.h"
#include "tests/billing/forms/BillingFixture.h"

namespace {

using billing::forms::RegisterForm;

class TfrmUnidades : public RegisterForm {
public:
    explicit TfrmUnidades(TComponent* AOwner)
        : RegisterForm(AOwner, "Unidades de Medida - NOTA119", "Unidade_Medida",
                       "select * from Unidade_Medida order by Id_Unidade_Medida", "Id_Unidade_Medida") {
        dbeId = Place(pnlDados, "dbeId_Unidade_Medida", "Id_Unidade_Medida", 12);
        dbeDescricao = Place(pnlDados, "dbeDescricao", "Descricao", 40);
        SetEdits(dbeId, dbeDescricao);
        AddCheck("A Unidade deve ser informada.", [this] { return !Blank("Id_Unidade_Medida"); });
        AddCheck("A Descrição deve ser informada.", [this] { return !Blank("Descricao"); });
        AddUniqueKey("Id_Unidade_Medida", "A Unidade de Medida ");
        AddDeleteRefusal("select count(id_produto) as contador from produto where id_unidade_medida = :pid_unidade_medida",
                         " Produto(s) com esta Unidade de Medida. Não pode Excluir.");
    }
    TDBEdit* Place(TWinControl* Parent, const std::string& Name, const std::string& Field, int Top) {
        auto* e = billing::forms::Place<TDBEdit>(this, Parent, Name, 100, Top, 200, 23);
        e->SetDataSource(dsMain);
        e->SetDataField(Field);
        return e;
    }
    TDBEdit* dbeId;
    TDBEdit* dbeDescricao;
};

// A register with a lookup: sellers of a fictitious list that point at a unit.
class TfrmComLookup : public RegisterForm {
public:
    explicit TfrmComLookup(TComponent* AOwner)
        : RegisterForm(AOwner, "Produtos - TESTE", "Produto", "select * from produto order by id_produto",
                       "id_produto") {
        dbeUnidade = billing::forms::Place<TexDBComboDlg>(this, pnlDados, "dbeId_Unidade_Medida", 100, 12, 80, 23);
        dbeUnidade->SetDataSource(dsMain);
        dbeUnidade->SetDataField("Id_Unidade_Medida");
        pnlUnidade = billing::forms::Place<TPanel>(this, pnlDados, "pnlUnidade", 190, 12, 200, 23);
        AddLookup({dbeUnidade, pnlUnidade, "unidade_medida", "descricao", "id_unidade_medida",
                   [this] { return chosen; }});
        AddCheck("A Unidade de Medida não foi encontrada.", [this] { return !Missing(pnlUnidade); });
        UseIdGenerator();
    }
    TexDBComboDlg* dbeUnidade;
    TPanel* pnlUnidade;
    std::string chosen;
};

class Register : public billtest::MdiSession {
protected:
    void SetUp() override {
        MdiSession::SetUp();
        form = new TfrmUnidades(nullptr);
        form->DoCreate();
        form->Show();
    }
    void TearDown() override {
        delete form;
        MdiSession::TearDown();
    }
    TfrmUnidades* form = nullptr;
};

}  // namespace

TEST_F(Register, NewEditSaveCancelAndDeleteThroughTheButtons) {
    EXPECT_TRUE(form->qry->Active());
    EXPECT_TRUE(form->btnInsert->Enabled());
    EXPECT_FALSE(form->btnEdit->Enabled());  // empty table

    EXPECT_EQ(form->dbeDescricao->Color(), form->Color());  // browse look
    form->btnInsert->Click();
    EXPECT_EQ(form->qry->State(), dsInsert);
    EXPECT_FALSE(form->dbeId->ReadOnly());
    EXPECT_EQ(form->dbeDescricao->Color(), clWindow);  // edit look
    form->qry->FieldByName("Id_Unidade_Medida")->SetAsString("KG");
    form->qry->FieldByName("Descricao")->SetAsString("Quilograma");
    form->btnSave->Click();
    EXPECT_EQ(form->qry->State(), dsBrowse);
    EXPECT_EQ(form->dbeDescricao->Color(), form->Color());
    EXPECT_EQ(Scalar("select descricao from unidade_medida where id_unidade_medida = 'KG'"), "Quilograma");

    form->btnEdit->Click();
    EXPECT_TRUE(form->dbeId->ReadOnly());
    form->qry->FieldByName("Descricao")->SetAsString("Quilo");
    form->btnCancel->Click();
    EXPECT_EQ(Scalar("select descricao from unidade_medida where id_unidade_medida = 'KG'"), "Quilograma");

    // Saving an edited row with its own key is no duplicate.
    form->btnEdit->Click();
    form->qry->FieldByName("Descricao")->SetAsString("Quilo");
    form->btnSave->Click();
    EXPECT_EQ(Scalar("select descricao from unidade_medida where id_unidade_medida = 'KG'"), "Quilo");

    dialogs.Expect("Confirma a exclusão do Registro ?", mrNo, "Excluir");
    form->btnDelete->Click();
    EXPECT_EQ(Count("select count(*) from unidade_medida"), 1);
    dialogs.Expect("Confirma a exclusão do Registro ?", mrYes, "Excluir");
    form->btnDelete->Click();
    EXPECT_EQ(Count("select count(*) from unidade_medida"), 0);
}

TEST_F(Register, EveryFailedCheckIsListedInOneBoxAndTheRowStaysInInsert) {
    form->btnInsert->Click();
    form->qry->FieldByName("Descricao")->SetAsString("   ");
    dialogs.Expect("Foram identificados erros, por favor corrija: \r\n\r\nA Unidade deve ser informada.\r\n"
                   "A Descrição deve ser informada.\r\n",
                   mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    EXPECT_EQ(form->qry->State(), dsInsert);
    EXPECT_EQ(Count("select count(*) from unidade_medida"), 0);

    // Mended, it saves.
    form->qry->FieldByName("Id_Unidade_Medida")->SetAsString("UN");
    form->qry->FieldByName("Descricao")->SetAsString("Unidade");
    form->btnSave->Click();
    EXPECT_EQ(Count("select count(*) from unidade_medida"), 1);
}

TEST_F(Register, ANewRowWithAnExistingKeyIsRefused) {
    dmdb->ADOConnection->Execute("insert into unidade_medida(id_unidade_medida, descricao) values('CX', 'Caixa')");
    form->btnInsert->Click();
    form->qry->FieldByName("Id_Unidade_Medida")->SetAsString("CX");
    form->qry->FieldByName("Descricao")->SetAsString("Outra caixa");
    dialogs.Expect("A Unidade de Medida \"CX\" já existe.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    EXPECT_EQ(form->qry->State(), dsInsert);
    EXPECT_EQ(Scalar("select descricao from unidade_medida where id_unidade_medida = 'CX'"), "Caixa");
}

TEST_F(Register, ADeleteIsRefusedWhileOtherRowsReferToTheRecord) {
    dmdb->ADOConnection->Execute("insert into unidade_medida(id_unidade_medida, descricao) values('PC', 'Peça')");
    dmdb->ADOConnection->Execute("insert into produto(id_produto, id_unidade_medida) values(1, 'PC')");
    form->qry->Close();
    form->qry->Open();
    dialogs.Expect("Confirma a exclusão do Registro ?", mrYes, "Excluir");
    dialogs.Expect("Existe(m) 1 Produto(s) com esta Unidade de Medida. Não pode Excluir.", mrOk, "Atenção");
    EXPECT_THROW(form->btnDelete->Click(), EAbort);
    EXPECT_EQ(Count("select count(*) from unidade_medida"), 1);
}

TEST_F(Register, ClosingWithAPendingRowAsksAndNoDropsIt) {
    form->btnInsert->Click();
    form->qry->FieldByName("Id_Unidade_Medida")->SetAsString("LT");
    form->qry->FieldByName("Descricao")->SetAsString("Litro");
    TCloseAction action = caHide;
    dialogs.Expect("Deseja salvar as alterações ?", mrNo, "Salvar");
    form->FormClose(form, action);
    EXPECT_EQ(action, caFree);
    EXPECT_EQ(Count("select count(*) from unidade_medida"), 0);
}

TEST_F(Register, ClosingAndSavingARowThatFailsItsChecksKeepsTheFormOpen) {
    form->btnInsert->Click();
    TCloseAction action = caHide;
    dialogs.Expect("Deseja salvar as alterações ?", mrYes, "Salvar");
    dialogs.Expect("Foram identificados erros, por favor corrija:", mrOk, "Atenção");
    form->FormClose(form, action);
    EXPECT_EQ(action, caNone);
    EXPECT_EQ(form->qry->State(), dsInsert);
    form->qry->Cancel();
}

TEST_F(Register, CancellingTheSaveQuestionKeepsTheFormAndItsRowAsTheyWere) {
    form->btnInsert->Click();
    form->qry->FieldByName("Id_Unidade_Medida")->SetAsString("LT");
    form->qry->FieldByName("Descricao")->SetAsString("Litro");
    TCloseAction action = caHide;
    dialogs.Expect("Deseja salvar as alterações ?", mrCancel, "Salvar");
    form->FormClose(form, action);
    EXPECT_EQ(dialogs.Shown().back().buttons, mbYesNoCancel);
    EXPECT_EQ(action, caNone);
    EXPECT_EQ(form->qry->State(), dsInsert);
    EXPECT_EQ(form->qry->FieldByName("Descricao")->AsString(), "Litro");
    EXPECT_EQ(form->dbeDescricao->Color(), clWindow);  // still the edit look
    dialogs.Expect("Deseja salvar as alterações ?", mrCancel, "Salvar");
    EXPECT_FALSE(form->CloseQuery());
    EXPECT_EQ(form->qry->State(), dsInsert);
    EXPECT_EQ(Count("select count(*) from unidade_medida"), 0);
    form->qry->Cancel();
}

TEST_F(Register, EscapeAndTheBoxCloseButtonAnswerCancel) {
    billtest::RealBoxes boxes;  // the program's own box, as the user sees it
    for (bool useEscape : {true, false}) {
        form->btnInsert->Click();
        form->qry->FieldByName("Id_Unidade_Medida")->SetAsString("LT");
        bool seen = false;
        boxes.WhenShown([&](QMessageBox* box) {
            seen = true;
            if (useEscape) QTest::keyClick(box, Qt::Key_Escape);
            else box->close();
        });
        form->DBButton1->Click();  // Fechar
        EXPECT_TRUE(seen);
        ASSERT_EQ(form->qry->State(), dsInsert) << "the row was dropped";
        ASSERT_TRUE(form->Visible());
        EXPECT_EQ(form->qry->FieldByName("Id_Unidade_Medida")->AsString(), "LT");
        form->qry->Cancel();
    }
}

TEST_F(Register, EnterMovesToTheNextFieldAndUpMovesBack) {
    form->btnEdit->SetEnabled(true);
    form->SetActiveControl(form->dbeId);
    Word key = VK_RETURN;
    form->OnKeyDown(form, key, TShiftState{});
    EXPECT_EQ(key, 0);
    EXPECT_EQ(form->ActiveControl(), form->dbeDescricao);
    key = VK_UP;
    form->OnKeyDown(form, key, TShiftState{});
    EXPECT_EQ(form->ActiveControl(), form->dbeId);
    form->SetActiveControl(form->btnInsert);
    key = VK_RETURN;
    form->OnKeyDown(form, key, TShiftState{});
    EXPECT_EQ(key, VK_RETURN);  // left for the button to press
    char32_t typed = U'\r';
    form->OnKeyPress(form, typed);
    EXPECT_EQ(typed, 0u);  // no beep
}

TEST_F(Register, ALookupShowsItsDescriptionAndAMissingOneFailsTheSave) {
    dmdb->ADOConnection->Execute("insert into unidade_medida(id_unidade_medida, descricao) values('KG', 'Quilograma')");
    auto* lookup = new TfrmComLookup(nullptr);
    lookup->DoCreate();
    lookup->Show();
    lookup->btnInsert->Click();
    EXPECT_EQ(lookup->qry->FieldByName("id_produto")->AsInteger(), 1);  // the next key of an empty table

    // A cancelled search leaves the field as it was.
    lookup->chosen = "";
    lookup->dbeUnidade->DoCustomDlg();
    EXPECT_TRUE(lookup->qry->FieldByName("Id_Unidade_Medida")->IsNull());

    lookup->chosen = "KG";
    lookup->dbeUnidade->DoCustomDlg();
    EXPECT_EQ(lookup->qry->FieldByName("Id_Unidade_Medida")->AsString(), "KG");
    EXPECT_EQ(lookup->pnlUnidade->Caption(), "Quilograma");

    lookup->qry->FieldByName("Id_Unidade_Medida")->SetAsString("ZZ");
    dialogs.Expect("A Unidade de Medida não foi encontrada.", mrOk, "Atenção");
    EXPECT_THROW(lookup->btnSave->Click(), EAbort);
    EXPECT_EQ(lookup->pnlUnidade->Caption(), "?");
    lookup->qry->Cancel();
    delete lookup;
}

TEST_F(Register, ALookupKeepsTheChosenKeyAsTextLeadingZerosIncluded) {
    dmdb->ADOConnection->Execute("insert into unidade_medida(id_unidade_medida, descricao) values('01', 'Um')");
    dmdb->ADOConnection->Execute("insert into unidade_medida(id_unidade_medida, descricao) values('1', 'Outro')");
    dmdb->ADOConnection->Execute("insert into unidade_medida(id_unidade_medida, descricao) values('2X', 'Dois')");
    auto* lookup = new TfrmComLookup(nullptr);
    lookup->DoCreate();
    lookup->Show();
    lookup->btnInsert->Click();
    lookup->chosen = "01";
    lookup->dbeUnidade->DoCustomDlg();
    EXPECT_EQ(lookup->qry->FieldByName("Id_Unidade_Medida")->AsString(), "01");
    EXPECT_EQ(lookup->pnlUnidade->Caption(), "Um");
    lookup->chosen = "2X";
    lookup->dbeUnidade->DoCustomDlg();
    EXPECT_EQ(lookup->qry->FieldByName("Id_Unidade_Medida")->AsString(), "2X");
    EXPECT_EQ(lookup->pnlUnidade->Caption(), "Dois");
    lookup->qry->Cancel();
    delete lookup;
}

TEST_F(Register, ACloseQuerySettlesThePendingRowBeforeTheFormGoes) {
    form->btnInsert->Click();
    form->qry->FieldByName("Id_Unidade_Medida")->SetAsString("M");
    dialogs.Expect("Deseja salvar as alterações ?", mrYes, "Salvar");
    dialogs.Expect("A Descrição deve ser informada.", mrOk, "Atenção");
    EXPECT_FALSE(form->CloseQuery());
    EXPECT_EQ(form->qry->State(), dsInsert);

    form->qry->FieldByName("Descricao")->SetAsString("Metro");
    dialogs.Expect("Deseja salvar as alterações ?", mrYes, "Salvar");
    EXPECT_TRUE(form->CloseQuery());
    EXPECT_EQ(form->qry->State(), dsBrowse);
    EXPECT_EQ(Scalar("select descricao from unidade_medida where id_unidade_medida = 'M'"), "Metro");
    // Settled, the close itself asks nothing more.
    TCloseAction action = caHide;
    form->FormClose(form, action);
    EXPECT_EQ(action, caFree);
}

// Rows typed out of order are walked in the register's order at once, as a
// reopened form shows them: Primeiro, Próximo and Último clicked as a clerk
// clicks them, the saved row staying the current one.
TEST_F(Register, TheRecordButtonsWalkNewRowsInTheRegistersOrderAtOnce) {
    for (const char* unit : {"PC", "CX", "UN", "AA"}) {
        QTest::mouseClick(form->btnInsert->Widget(), Qt::LeftButton);
        form->qry->FieldByName("Id_Unidade_Medida")->SetAsString(unit);
        form->qry->FieldByName("Descricao")->SetAsString(std::string("Unidade ") + unit);
        QTest::mouseClick(form->btnSave->Widget(), Qt::LeftButton);
        ASSERT_EQ(form->qry->State(), dsBrowse);
        EXPECT_EQ(form->dbeId->Text(), unit);  // the saved row stays shown
    }
    // The order SQLite gives the same rows.
    std::vector<std::string> expected;
    {
        sqlite::Statement st(dmdb->ADOConnection->Database(),
                             "select id_unidade_medida from unidade_medida order by id_unidade_medida");
        while (st.Step()) expected.push_back(st.ColumnText(0));
    }
    std::vector<std::string> walked;
    QTest::mouseClick(form->btnFirst->Widget(), Qt::LeftButton);
    walked.push_back(form->dbeId->Text());
    while (form->btnNext->Enabled()) {
        QTest::mouseClick(form->btnNext->Widget(), Qt::LeftButton);
        if (walked.back() == form->dbeId->Text()) break;  // Próximo on the last row
        walked.push_back(form->dbeId->Text());
    }
    EXPECT_EQ(walked, expected);
    QTest::mouseClick(form->btnLast->Widget(), Qt::LeftButton);
    EXPECT_EQ(form->dbeId->Text(), "UN");
}
