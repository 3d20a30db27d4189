// The carriers register: a new carrier's defaults, the code, CPF/CNPJ and
// address checks, the plate kept in capitals and a key another user saved.
#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include "billing/forms/Nota103.h"
#include "tests/billing/forms/RegisterFixture.h"
#include "tests/platform/ui/UiTestSupport.h"

namespace {

constexpr const char* kHeading = "Foram identificados erros, por favor corrija: \r\n\r\n";

class Carriers : public billtest::RegisterSession<TfrmNota103> {
protected:
    void FillValid() {
        Set("Nome", "Transportes Rápidos");
        Set("Natureza", "Física");
        Set("CPF_CNPJ", "52998224725");
        Set("Endereco", "Rodovia 10, km 3");
        F("Id_Municipio")->SetAsInteger(3509502);
        form->Mostra_Tudo();
    }
    void ExpectRefused(const std::string& Errors) {
        dialogs.Expect(kHeading + Errors, mrOk, "Atenção");
        EXPECT_THROW(form->btnSave->Click(), EAbort);
        EXPECT_EQ(form->qry->State(), dsInsert);
    }
};

}  // namespace

TEST_F(Carriers, ANewCarrierIsANaturalPersonInTheSettingsMunicipalityWithTheNextCode) {
    dmdb->ADOConnection->Execute("update opcao set id_municipio = 3550308");
    dmdb->ADOConnection->Execute("insert into transportador(id_transportador, nome) values(5, 'Antigo')");
    Open();
    EXPECT_EQ(form->Caption(), "Transportadores - NOTA103");
    form->btnInsert->Click();
    EXPECT_EQ(F("Id_Transportador")->AsInteger(), 6);
    EXPECT_EQ(F("Natureza")->AsString(), "Física");
    EXPECT_EQ(F("Id_Municipio")->AsInteger(), 3550308);
    EXPECT_EQ(form->PMunicipio->Caption(), "São Paulo");
    EXPECT_EQ(form->PUF_Municipio->Caption(), "SP");
    EXPECT_EQ(F("CPF_CNPJ")->EditMask(), "###.###.###-##;0; ");
}

TEST_F(Carriers, AnEmptySaveListsTheMessagesInOrder) {
    Open();
    form->btnInsert->Click();
    F("Id_Transportador")->Clear();  // a cleared code reads as 0
    ExpectRefused("O Código do Transpordor deve ser maior que 0.\r\n"
                  "O Nome não foi informado.\r\n"
                  "O CPF/CNPJ não foi informado.\r\n"
                  "O CPF informado não é válido.\r\n"
                  "O Endereço não foi informado.\r\n"
                  "O Município não foi informado.\r\n");
}

TEST_F(Carriers, CodeZeroIsRefusedAndANegativeCodePassesThatCheck) {
    Open();
    form->btnInsert->Click();
    FillValid();
    F("Id_Transportador")->SetAsInteger(0);
    ExpectRefused("O Código do Transpordor deve ser maior que 0.\r\n");
    F("Id_Transportador")->SetAsInteger(-1);
    form->btnSave->Click();
    EXPECT_EQ(Scalar("select nome from transportador where id_transportador = -1"), "Transportes Rápidos");
}

TEST_F(Carriers, TheCpfOrCnpjIsCheckedByTheNature) {
    Open();
    form->btnInsert->Click();
    FillValid();
    Set("Natureza", "Jurídica");
    form->dbeNatureza->OnExit(form->dbeNatureza);
    EXPECT_EQ(F("CPF_CNPJ")->EditMask(), "##.###.###/####-##;0; ");
    Set("CPF_CNPJ", "11222333000182");
    ExpectRefused("O CNPJ informado não é válido.\r\n");
    Set("Natureza", "Física");
    Set("CPF_CNPJ", "52998224720");
    ExpectRefused("O CPF informado não é válido.\r\n");
    Set("Natureza", "Jurídica");
    Set("CPF_CNPJ", "11222333000181");
    form->btnSave->Click();
    EXPECT_EQ(Scalar("select cpf_cnpj from transportador"), "11222333000181");
}

TEST_F(Carriers, ThePlateIsStoredInCapitalsWithoutItsDash) {
    Open();
    form->btnInsert->Click();
    FillValid();
    EXPECT_EQ(F("Placa_Veiculo")->EditMask(), "LLL-9999;0; ");
    Set("Placa_Veiculo", "abc1234");
    form->btnSave->Click();
    EXPECT_EQ(Scalar("select placa_veiculo from transportador"), "ABC1234");
    EXPECT_EQ(form->dbePlaca_Veiculo->EditText(), "ABC-1234");

    // Typed in small letters, the plate is shown and kept in capitals.
    form->btnInsert->Click();
    FillValid();
    QLineEdit* plate = form->dbePlaca_Veiculo->LineEdit();
    plate->setFocus();
    plate->setCursorPosition(0);
    QTest::keyClicks(plate, "xyz9876");
    EXPECT_EQ(form->dbePlaca_Veiculo->EditText(), "XYZ-9876");
    form->btnSave->Click();
    EXPECT_EQ(Count("select count(*) from transportador where placa_veiculo = 'XYZ9876'"), 1);
}

TEST_F(Carriers, ACodeAnotherUserSavedMeanwhileShowsTheDuplicateMessage) {
    Open();
    form->btnInsert->Click();
    FillValid();
    int code = F("Id_Transportador")->AsInteger();
    // The other user writes the same code by hand while this row is open.
    dmdb->ADOConnection->Execute("insert into transportador(id_transportador, nome) values(:pid, 'Outro')",
                                 {{"pid", Variant(code)}});
    dialogs.Expect("O Código do Transportador \"" + std::to_string(code) + "\" já existe.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    EXPECT_EQ(form->qry->State(), dsInsert);
    EXPECT_EQ(Count("select count(*) from transportador"), 1);
}

// An empty register shows no carrier: its municipality panels are blank, not
// the "?" of a carrier whose municipality is missing; a new row names the
// settings' municipality, and undoing it leaves the panels blank again.
TEST_F(Carriers, AnEmptyRegisterShowsNoMunicipalityAndNoQuestionMark) {
    dmdb->ADOConnection->Execute("update opcao set id_municipio = 3550308");
    Open();
    ASSERT_TRUE(form->qry->IsEmpty());
    EXPECT_EQ(form->PMunicipio->Caption(), "");
    EXPECT_EQ(form->PUF_Municipio->Caption(), "");
    form->btnInsert->Click();
    EXPECT_EQ(form->PMunicipio->Caption(), "São Paulo");
    F("Id_Municipio")->Clear();
    form->Mostra_Tudo();
    // A row being typed without one shows nothing to look up; the save
    // names what is missing.
    EXPECT_EQ(form->PMunicipio->Caption(), "");
    EXPECT_EQ(form->PUF_Municipio->Caption(), "");
    dialogs.Expect("O Município não foi informado.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    F("Id_Municipio")->SetAsInteger(1);
    form->Mostra_Tudo();
    EXPECT_EQ(form->PMunicipio->Caption(), "?");  // a code that names no municipality
    form->btnCancel->Click();
    EXPECT_EQ(form->PMunicipio->Caption(), "");
    EXPECT_EQ(form->PUF_Municipio->Caption(), "");
}

// The keys a clerk presses on the carrier's form: Down in the nature list
// chooses the next nature without leaving it, and a plate that does not fit
// its layout is refused naming the plate.
TEST_F(Carriers, DownChoosesTheNextNatureAndABadPlateIsRefusedByName) {
    Open();
    uitest::ShowActive(frame.get());
    form->btnInsert->Click();
    FillValid();
    form->dbeNatureza->SetFocus();
    billtest::Pump();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    billtest::Pump();
    EXPECT_EQ(form->ActiveControl(), form->dbeNatureza);
    EXPECT_EQ(form->dbeNatureza->Text(), "Jurídica");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(form->dbeNatureza->Text(), "Física");

    QLineEdit* plate = form->dbePlaca_Veiculo->LineEdit();
    form->dbePlaca_Veiculo->SetFocus();
    billtest::Pump();
    plate->setCursorPosition(0);
    QTest::keyClicks(plate, "ab12");
    dialogs.Expect("Valor inválido em Placa.", mrOk);
    form->dbeModelo_Veiculo->SetFocus();
    billtest::Pump();
    EXPECT_EQ(dialogs.Pending(), 0);
    EXPECT_EQ(form->ActiveControl(), form->dbePlaca_Veiculo);
}

// The refusal of a bad plate tells the clerk to press Esc to abandon the
// change: Esc takes the plate back to what the row holds, in the form, with
// no question about saving (whose Sim would only refuse the plate again);
// the carrier is then saved with the plate typed next.
TEST_F(Carriers, EscAfterARefusedPlateAbandonsItAsTheMessageSays) {
    Open();
    uitest::ShowActive(frame.get());
    form->btnInsert->Click();
    FillValid();
    QLineEdit* plate = form->dbePlaca_Veiculo->LineEdit();
    form->dbePlaca_Veiculo->SetFocus();
    billtest::Pump();
    plate->setCursorPosition(0);
    QTest::keyClicks(plate, "AB");
    dialogs.Expect("Valor inválido em Placa. Use a tecla Esc para abandonar as alterações.", mrOk);
    form->dbeModelo_Veiculo->SetFocus();
    billtest::Pump();
    ASSERT_EQ(dialogs.Pending(), 0);
    ASSERT_EQ(form->ActiveControl(), form->dbePlaca_Veiculo);

    // Any box now (the save question) fails the test.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    billtest::Pump();
    EXPECT_EQ(form->ActiveControl(), form->dbePlaca_Veiculo);
    EXPECT_EQ(form->dbePlaca_Veiculo->Text(), "") << "the plate typed is abandoned";
    EXPECT_EQ(form->qry->State(), dsInsert) << "the carrier is still being typed";

    form->dbeModelo_Veiculo->SetFocus();
    billtest::Pump();
    EXPECT_EQ(form->ActiveControl(), form->dbeModelo_Veiculo) << "nothing refused is left";
    form->dbePlaca_Veiculo->SetFocus();
    billtest::Pump();
    plate->setCursorPosition(0);
    QTest::keyClicks(plate, "abc1234");
    QTest::mouseClick(form->btnSave->Widget(), Qt::LeftButton);
    billtest::Pump();
    EXPECT_EQ(form->qry->State(), dsBrowse);
    EXPECT_EQ(Scalar("select placa_veiculo from transportador"), "ABC1234");
}
