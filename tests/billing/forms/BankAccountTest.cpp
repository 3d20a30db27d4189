// Bank accounts: the description composed from bank, branch, account and
// check digit (cut to its column), refreshed on leaving a part and always on
// saving, the bank's name panel, and the defaults of a new account.
#include "billing/forms/Nota107.h"
#include "tests/billing/forms/FormFixture.h"

using billing::forms::composeDescription;

namespace {

class BankAccounts : public billtest::Forms {};

}  // namespace

TEST(composeDescription, BankBranchAccountAndDigitCutToTheColumn) {
    EXPECT_EQ(composeDescription("1", "BANCO X", "1234", "56789", "0"), "1 - BANCO X / Ag. 1234 C/C 56789-0");
    EXPECT_EQ(composeDescription("", "?", "", "", ""), " - ? / Ag.  C/C -");
    // 55 and 70 characters made; the first 45 characters (not bytes) kept,
    // as Python's slicing of the same texts gives them.
    EXPECT_EQ(composeDescription("104", "Caixa Econômica Federal", "0001", "1234567", "89"),
              "104 - Caixa Econômica Federal / Ag. 0001 C/C ");
    EXPECT_EQ(composeDescription("1", "BANCO DO ESTADO DE SÃO PAULO S.A. - BANESPA", "1234", "56789", "0"),
              "1 - BANCO DO ESTADO DE SÃO PAULO S.A. - BANES");
}

TEST_F(BankAccounts, ANewAccountIsActiveNumberedAndDescribedFromItsParts) {
    Exec("insert into febraban(id_febraban, nome, nome_fantasia) values(1, 'Banco do Brasil S.A.', 'BANCO X')");
    Exec("insert into conta_corrente(id_conta_corrente, descricao) values(4, 'Antiga')");
    auto* f = Open<TfrmNota107>();
    EXPECT_EQ(f->Caption(), "Contas Corrente - NOTA107");
    f->btnInsert->Click();
    EXPECT_EQ(f->qry->FieldByName("id_conta_corrente")->AsInteger(), 5);
    EXPECT_EQ(f->qry->FieldByName("Inativo")->AsString(), "Não");

    f->qry->FieldByName("id_febraban")->SetAsInteger(1);
    f->dbeId_Febraban->OnExit(f->dbeId_Febraban);
    EXPECT_EQ(f->PFebraban->Caption(), "BANCO X");
    f->qry->FieldByName("agencia")->SetAsString("1234");
    f->qry->FieldByName("conta")->SetAsString("56789");
    f->qry->FieldByName("conta_dv")->SetAsString("0");
    f->DBEdit4->OnExit(f->DBEdit4);  // only the digit's field left: the description follows at once
    EXPECT_EQ(f->qry->FieldByName("descricao")->AsString(), "1 - BANCO X / Ag. 1234 C/C 56789-0");

    // Changed without leaving the field, saving composes it anyway.
    f->qry->FieldByName("agencia")->SetAsString("4321");
    f->btnSave->Click();
    EXPECT_EQ(Scalar("select descricao from conta_corrente where id_conta_corrente = 5"),
              "1 - BANCO X / Ag. 4321 C/C 56789-0");
    EXPECT_EQ(Scalar("select inativo from conta_corrente where id_conta_corrente = 5"), "Não");
}

TEST_F(BankAccounts, AnUnknownBankShowsItsQuestionMarkAndALongDescriptionIsCut) {
    auto* f = Open<TfrmNota107>();
    f->btnInsert->Click();
    f->qry->FieldByName("id_febraban")->SetAsInteger(1);
    f->qry->FieldByName("agencia")->SetAsString("1234");
    f->qry->FieldByName("conta")->SetAsString("56789");
    f->qry->FieldByName("conta_dv")->SetAsString("0");
    f->btnSave->Click();
    EXPECT_EQ(f->PFebraban->Caption(), "?");
    EXPECT_EQ(Scalar("select descricao from conta_corrente"), "1 - ? / Ag. 1234 C/C 56789-0");

    Exec("insert into febraban(id_febraban, nome, nome_fantasia) values(104, 'Caixa', 'Caixa Econômica Federal')");
    f->btnEdit->Click();
    f->qry->FieldByName("id_febraban")->SetAsInteger(104);
    f->qry->FieldByName("agencia")->SetAsString("0001");
    f->qry->FieldByName("conta")->SetAsString("1234567");
    f->qry->FieldByName("conta_dv")->SetAsString("89");
    f->btnSave->Click();
    EXPECT_EQ(Scalar("select descricao from conta_corrente"), "104 - Caixa Econômica Federal / Ag. 0001 C/C ");
}

TEST_F(BankAccounts, ANewAccountWithAStoredCodeIsRefused) {
    Exec("insert into conta_corrente(id_conta_corrente, descricao) values(1, 'Antiga')");
    auto* f = Open<TfrmNota107>();
    f->btnInsert->Click();
    f->qry->FieldByName("id_conta_corrente")->SetAsInteger(1);
    dialogs.Expect("já existe", mrOk, "Atenção");
    EXPECT_THROW(f->btnSave->Click(), EAbort);
    EXPECT_EQ(LastBox(), "O Código da Conta Corrente \"1\" já existe.");
    EXPECT_EQ(f->qry->State(), dsInsert);
    f->btnCancel->Click();
    EXPECT_EQ(Scalar("select descricao from conta_corrente"), "Antiga");
}
