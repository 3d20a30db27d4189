// The clients register: codes with their check digit, the settings' defaults,
// the checks in their order, the CPF/CNPJ and state-registration rules by
// nature, the fantasy name, the address copy and the duplicate tests.
//
// Check digits of the codes below, worked by hand (modulo 11, weights 2, 3,
// ... from the right, remainder below 2 gives 0, else 11 - remainder):
//   000001: 1x2 = 2, r 2, 9 -> 0000019      000042: 2x2 + 4x3 = 16, r 5, 6 -> 0000426
//   000043: 3x2 + 4x3 = 18, r 7, 4 -> 0000434
//   999999: 9x(2+3+4+5+6+7) = 243 = 22x11 + 1, r 1, 0 -> 9999990
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "billing/forms/Nota100.h"
#include "billing/forms/Pesquisa.h"
#include "platform/rtl/DateUtils.h"
#include "platform/ui/DBGrids.h"
#include "tests/billing/forms/RegisterFixture.h"

namespace {

constexpr const char* kHeading = "Foram identificados erros, por favor corrija: \r\n\r\n";

class Clients : public billtest::RegisterSession<TfrmNota100> {
protected:
    void SetUp() override {
        RegisterSession::SetUp();
        dmdb->ADOConnection->Execute(
            "update opcao set id_municipio = 3550308, id_vendedor = 7, id_condicao_pagamento = 3, "
            "limite_credito = 1500");
    }
    // A natural person in São Paulo that passes every check.
    void FillValid() {
        Set("Nome", "Maria da Silva");
        Set("Natureza", "Física");
        Set("CPF_CNPJ", "52998224725");
        Set("Endereco", "Rua das Flores");
        Set("Numero_Endereco", "12");
        Set("Bairro", "Centro");
        Set("Cep", "01001000");
        F("Id_Municipio")->SetAsInteger(3550308);
        F("Id_Vendedor")->SetAsInteger(7);
        F("id_condicao_pagamento")->SetAsInteger(3);
        if (F("Data_Cadastro")->IsNull()) F("Data_Cadastro")->SetAsDateTime(Date());
        form->Mostra_Tudo();
    }
    void AddClient(const std::string& Id, const std::string& CpfCnpj) {
        dmdb->ADOConnection->Execute("insert into cliente(id_cliente, nome, cpf_cnpj) values(:pid, 'Outro', :pcpf)",
                                     {{"pid", Variant(Id)}, {"pcpf", Variant(CpfCnpj)}});
    }
    void ExpectRefused(const std::string& Errors) {
        dialogs.Expect(kHeading + Errors, mrOk, "Atenção");
        EXPECT_THROW(form->btnSave->Click(), EAbort);
        EXPECT_EQ(form->qry->State(), dsInsert);
    }
    void ExpectSaved() {
        form->btnSave->Click();
        EXPECT_EQ(form->qry->State(), dsBrowse);
    }
};

}  // namespace

TEST_F(Clients, TheFirstClientGetsCodeOneWithItsCheckDigitAndTheSettingsDefaults) {
    Open();
    EXPECT_EQ(form->Caption(), "Clientes - NOTA100");
    form->btnInsert->Click();
    EXPECT_EQ(F("Id_Cliente")->AsString(), "0000019");
    EXPECT_EQ(form->dbeId_Cliente->EditText(), "000001-9");
    EXPECT_EQ(F("Natureza")->AsString(), "Jurídica");
    EXPECT_EQ(F("Bloqueto")->AsString(), "Sim");
    EXPECT_EQ(F("Tributado")->AsString(), "Sim");
    EXPECT_EQ(F("Bloqueado")->AsString(), "Não");
    EXPECT_EQ(F("Inativo")->AsString(), "Não");
    EXPECT_EQ(F("Data_Cadastro")->AsDateTime(), Date());
    EXPECT_EQ(F("Id_Municipio")->AsInteger(), 3550308);
    EXPECT_EQ(F("Id_Municipio_Cobranca")->AsInteger(), 3550308);
    EXPECT_EQ(F("Id_Vendedor")->AsInteger(), 7);
    EXPECT_EQ(F("id_condicao_pagamento")->AsInteger(), 3);
    EXPECT_DOUBLE_EQ(F("Limite_Credito")->AsFloat(), 1500);
    // The panels show what the defaults name.
    EXPECT_EQ(form->PMunicipio->Caption(), "São Paulo");
    EXPECT_EQ(form->PUF_Municipio->Caption(), "SP");
    EXPECT_EQ(form->PMunicipio_Cobranca->Caption(), "São Paulo");
    EXPECT_EQ(form->PVendedor->Caption(), "Ana Vendas");
    EXPECT_EQ(form->PCondicao_Pagamento->Caption(), "30 dias");
}

TEST_F(Clients, TheNextCodeFollowsTheLargestAndAStoredCodeThatIsNoNumberStartsAgain) {
    AddClient("0000426", "1");
    Open();
    form->btnInsert->Click();
    EXPECT_EQ(F("Id_Cliente")->AsString(), "0000434");
    form->btnCancel->Click();

    AddClient("ABC1234", "2");
    form->btnInsert->Click();
    EXPECT_EQ(F("Id_Cliente")->AsString(), "0000019");
}

TEST_F(Clients, NoCodeIsMadeUpPastTheLastSixDigitNumber) {
    AddClient("9999990", "1");
    Open();
    dialogs.Expect("Os Códigos de Cliente chegaram ao último, 999999. Informe um código livre.", mrOk, "Atenção");
    form->btnInsert->Click();
    EXPECT_EQ(form->qry->State(), dsInsert);
    EXPECT_TRUE(F("Id_Cliente")->IsNull());
    // A free code typed by hand is taken.
    FillValid();
    Set("Id_Cliente", "42");
    ExpectSaved();
    EXPECT_EQ(Count("select count(*) from cliente where id_cliente = '0000426'"), 1);
}

TEST_F(Clients, ATypedCodeIsZeroFilledWithItsCheckDigitAndANonNumberIsCleared) {
    Open();
    form->btnInsert->Click();
    Set("Id_Cliente", "42");
    form->Atribui_Codigo_Cliente();
    EXPECT_EQ(F("Id_Cliente")->AsString(), "0000426");
    // A wrong check digit typed is put right.
    Set("Id_Cliente", "0000421");
    form->Atribui_Codigo_Cliente();
    EXPECT_EQ(F("Id_Cliente")->AsString(), "0000426");

    Set("Id_Cliente", "abc");
    form->Atribui_Codigo_Cliente();
    EXPECT_TRUE(F("Id_Cliente")->IsNull());
    // The save settles the code first, so it reports the missing one.
    Set("Id_Cliente", "x1");
    FillValid();
    ExpectRefused("O Código do Cliente não foi informado.\r\n");
}

TEST_F(Clients, AnEmptySaveListsEveryMessageInItsOrder) {
    dmdb->ADOConnection->Execute("update opcao set id_municipio = null, id_vendedor = null, "
                                 "id_condicao_pagamento = null");
    Open();
    form->btnInsert->Click();
    F("Id_Cliente")->Clear();
    F("Data_Cadastro")->Clear();
    ExpectRefused("O Código do Cliente não foi informado.\r\n"
                  "O Nome não foi informado.\r\n"
                  "A data do cadastro não foi informada.\r\n"
                  "O CPF/CNPJ não foi informado.\r\n"
                  "O CNPJ é inválido.\r\n"
                  "O Endereço não foi informado.\r\n"
                  "O Número do Endereço não foi informado.\r\n"
                  "O Bairro não foi informado.\r\n"
                  "O Município não foi informado.\r\n"
                  "O CEP não foi informado.\r\n"
                  "O CEP não é válido.\r\n"
                  "O Vendedor Padrão não foi informado.\r\n"
                  "A Condição de Pagamento não foi informada.\r\n");
    EXPECT_EQ(Count("select count(*) from cliente"), 0);
}

TEST_F(Clients, TelephonesHaveTenOrElevenDigitsOrNone) {
    EXPECT_TRUE(TfrmNota100::Valida_Telefone(""));
    EXPECT_TRUE(TfrmNota100::Valida_Telefone("   "));
    EXPECT_TRUE(TfrmNota100::Valida_Telefone("1132105400"));
    EXPECT_TRUE(TfrmNota100::Valida_Telefone("11932105400"));  // a mobile number
    EXPECT_FALSE(TfrmNota100::Valida_Telefone("113210540"));
    EXPECT_FALSE(TfrmNota100::Valida_Telefone("119321054001"));
    EXPECT_FALSE(TfrmNota100::Valida_Telefone("11 3210540"));
    EXPECT_FALSE(TfrmNota100::Valida_Telefone("(11)32105400"));

    Open();
    form->btnInsert->Click();
    FillValid();
    Set("Telefone", "113210540");
    Set("Telefax", "119321054001");
    ExpectRefused("O número de telefone informado é inválido.\r\nO número do telefax informado é inválido.\r\n");
    Set("Telefone", "1132105400");
    F("Telefax")->Clear();
    ExpectSaved();
    EXPECT_EQ(Scalar("select telefone from cliente"), "1132105400");
}

TEST_F(Clients, ACepOfSevenDigitsIsNotValid) {
    Open();
    form->btnInsert->Click();
    FillValid();
    Set("Cep", "0100100");
    ExpectRefused("O CEP não é válido.\r\n");
    Set("Cep", "01001000");
    ExpectSaved();
}

TEST_F(Clients, ANaturalPersonSavesWithAValidCpfWhateverTheRegistration) {
    Open();
    form->btnInsert->Click();
    FillValid();
    Set("IE_RG", "123");  // an identity card, not a state registration
    ExpectSaved();
    EXPECT_EQ(Scalar("select ie_rg from cliente"), "123");

    form->btnInsert->Click();
    FillValid();
    Set("CPF_CNPJ", "52998224724");
    ExpectRefused("O CPF é inválido.\r\n");
}

TEST_F(Clients, ACompanysRegistrationIsCheckedAgainstItsMunicipalitysState) {
    Open();
    form->btnInsert->Click();
    FillValid();
    Set("Natureza", "Jurídica");
    Set("CPF_CNPJ", "11222333000181");
    Set("IE_RG", "85420178");  // a registration of RJ
    form->Mostra_Tudo();
    ExpectRefused("A Inscrição Estadual informada não é Válida.\r\n");
    // The same number for a company in Rio de Janeiro is right.
    F("Id_Municipio")->SetAsInteger(3304557);
    ExpectSaved();
    EXPECT_EQ(Scalar("select ie_rg from cliente"), "85420178");

    // In São Paulo a registration of SP passes; an empty one is not checked.
    form->btnInsert->Click();
    FillValid();
    Set("Natureza", "Jurídica");
    Set("CPF_CNPJ", "11444777000161");
    Set("IE_RG", "213876054275");
    ExpectSaved();
    form->btnInsert->Click();
    FillValid();
    Set("Natureza", "Jurídica");
    Set("CPF_CNPJ", "04252011000110");
    ExpectSaved();

    // A company without a municipality has no state, so no registration is valid.
    form->btnInsert->Click();
    FillValid();
    Set("Natureza", "Jurídica");
    Set("CPF_CNPJ", "11222333000181");
    Set("IE_RG", "213876054275");
    F("Id_Municipio")->Clear();
    ExpectRefused("A Inscrição Estadual informada não é Válida.\r\nO Município não foi informado.\r\n");

    Set("CPF_CNPJ", "11222333000182");
    F("Id_Municipio")->SetAsInteger(3550308);
    ExpectRefused("O CNPJ é inválido.\r\n");
}

TEST_F(Clients, LeavingTheRegistrationKeepsOnlyItsDigits) {
    Open();
    form->btnInsert->Click();
    Set("IE_RG", " 213.876.054.275 ");
    form->dbeIE_RGExit(form->dbeIE_RG);
    EXPECT_EQ(F("IE_RG")->AsString(), "213876054275");
}

TEST_F(Clients, TheCpfCnpjMaskFollowsTheNature) {
    Open();
    form->btnInsert->Click();
    Set("CPF_CNPJ", "11222333000181");
    EXPECT_EQ(F("CPF_CNPJ")->EditMask(), "##.###.###/####-##;0; ");
    EXPECT_EQ(form->dbeCPF_CNPJ->EditText(), "11.222.333/0001-81");
    Set("Natureza", "Física");
    form->dbeNatureza->OnExit(form->dbeNatureza);
    EXPECT_EQ(F("CPF_CNPJ")->EditMask(), "###.###.###-##;0; ");
    Set("CPF_CNPJ", "52998224725");
    EXPECT_EQ(form->dbeCPF_CNPJ->EditText(), "529.982.247-25");
    EXPECT_EQ(F("CPF_CNPJ")->AsString(), "52998224725");  // the marks are not stored
}

TEST_F(Clients, ABlankFantasyNameTakesTheNamesFirstWord) {
    EXPECT_EQ(TfrmNota100::NomeFantasiaDe("Maria da Silva"), "Maria");  // no blank after the word
    EXPECT_EQ(TfrmNota100::NomeFantasiaDe("Maria"), "");
    EXPECT_EQ(TfrmNota100::NomeFantasiaDe("  Comercial Ltda"), "Comercial");
    // A first word longer than the column is cut to its 25 characters.
    EXPECT_EQ(TfrmNota100::NomeFantasiaDe("Supercalifragilisticexpialidocious Ltda"),
              "Supercalifragilisticexpia");

    Open();
    form->btnInsert->Click();
    Set("Nome", "Padaria Pão Quente");
    form->dbeNome->OnExit(form->dbeNome);
    EXPECT_EQ(F("Nome_Fantasia")->AsString(), "Padaria");
    // A fantasy name already given stays.
    Set("Nome_Fantasia", "Pão Quente");
    Set("Nome", "Outra Padaria");
    form->Nome_Fantasia();
    EXPECT_EQ(F("Nome_Fantasia")->AsString(), "Pão Quente");
    // Stored as it was derived: the word alone.
    Set("Nome_Fantasia", "");
    FillValid();
    form->dbeNome->OnExit(form->dbeNome);
    ExpectSaved();
    EXPECT_EQ(Scalar("select '[' || nome_fantasia || ']' from cliente"), "[Maria]");
}

TEST_F(Clients, TheAddressCopyWritesTheSixBillingColumnsAndShowsTheMunicipality) {
    Open();
    form->btnInsert->Click();
    FillValid();
    Set("Endereco_Complemento", "sala 3");
    F("Id_Municipio")->SetAsInteger(3509502);
    F("Id_Municipio_Cobranca")->SetAsInteger(3304557);
    Set("Cep_Cobranca", "20000000");
    form->Mostra_Tudo();
    EXPECT_EQ(form->PMunicipio_Cobranca->Caption(), "Rio de Janeiro");
    form->btnDuplica->Click();
    EXPECT_EQ(F("Endereco_Cobranca")->AsString(), "Rua das Flores");
    EXPECT_EQ(F("Endereco_Cobranca_Complemento")->AsString(), "sala 3");
    EXPECT_EQ(F("Bairro_Cobranca")->AsString(), "Centro");
    EXPECT_EQ(F("Id_Municipio_Cobranca")->AsInteger(), 3509502);
    EXPECT_EQ(F("Numero_Endereco_Cobranca")->AsString(), "12");
    EXPECT_EQ(F("Cep_Cobranca")->AsString(), "01001000");
    EXPECT_EQ(form->PMunicipio_Cobranca->Caption(), "Campinas");
    EXPECT_EQ(form->PUF_Municipio_Cobranca->Caption(), "SP");
    ExpectSaved();
    EXPECT_EQ(Scalar("select bairro_cobranca from cliente"), "Centro");
}

TEST_F(Clients, ANewClientClashesOnItsCodeItsCodesBodyAndItsCpfCnpj) {
    AddClient("0000426", "11222333000181");
    AddClient("0000431", "22222222222");  // another release's check digit
    Open();

    form->btnInsert->Click();
    FillValid();
    Set("Id_Cliente", "42");
    dialogs.Expect("O Código de Cliente \"0000426\" já existe.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);

    Set("Id_Cliente", "43");
    dialogs.Expect("O Código de Cliente \"0000431\" já existe.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);

    Set("Id_Cliente", "44");
    Set("Natureza", "Jurídica");
    Set("CPF_CNPJ", "11222333000181");
    dialogs.Expect("O CPF/CNPJ \"11222333000181\" já existe.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    EXPECT_EQ(Count("select count(*) from cliente"), 2);
    form->btnCancel->Click();

    // An edited client may share another's CPF/CNPJ: only new rows are tested.
    form->qry->Locate("Id_Cliente", "0000431", {});
    form->btnEdit->Click();
    FillValid();
    Set("Natureza", "Jurídica");
    Set("CPF_CNPJ", "11222333000181");
    form->btnSave->Click();
    EXPECT_EQ(Count("select count(*) from cliente where cpf_cnpj = '11222333000181'"), 2);
}

TEST_F(Clients, ACodeAnotherUserSavedMeanwhileShowsTheDuplicateMessage) {
    Open();
    form->btnInsert->Click();
    FillValid();
    // The other user's row lands between this save's checks and its write.
    auto checks = form->qry->BeforePost;
    form->qry->BeforePost = [&](TDataSet* d) {
        checks(d);
        AddClient("0000019", "33333333333");
    };
    dialogs.Expect("O Código de Cliente \"0000019\" já existe.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    EXPECT_EQ(form->qry->State(), dsInsert);
    form->qry->BeforePost = checks;
    EXPECT_EQ(Scalar("select nome from cliente where id_cliente = '0000019'"), "Outro");
}

TEST_F(Clients, TheMunicipalityButtonWritesTheChosenKeyAndShowsItsState) {
    Open();
    form->btnInsert->Click();
    QTimer::singleShot(0, qApp, [] {
        ASSERT_NE(frmPesquisa, nullptr);
        EXPECT_EQ(frmPesquisa->Caption(), "Pesquisar - Municípios");
        frmPesquisa->dsMain->DataSet()->Locate("nome", "Rio de Janeiro", {});
        frmPesquisa->mnuOkClick(nullptr);
    });
    form->dbeId_Municipio->DoCustomDlg();
    EXPECT_EQ(F("Id_Municipio")->AsInteger(), 3304557);
    EXPECT_EQ(form->PMunicipio->Caption(), "Rio de Janeiro");
    EXPECT_EQ(form->PUF_Municipio->Caption(), "RJ");
    EXPECT_EQ(form->PMunicipio_Cobranca->Caption(), "São Paulo");  // the other address is its own
}

// Typed into the edits as a clerk types them: an 11-digit mobile number keeps
// its last digit, and a São Paulo rural producer's registration its "P".
TEST_F(Clients, ATelephoneShowsTheLandlineOrTheMobileLayoutByItsDigitsTypedAndStored) {
    Open();
    form->btnInsert->Click();
    FillValid();
    const struct {
        const char* typed;
        bool backspace;  // one digit taken back after typing
        const char* shown;
        const char* stored;
    } cases[] = {
        {"4133334444", false, "(41) 3333-4444", "4133334444"},
        {"41999998888", false, "(41) 99999-8888", "41999998888"},
        {"41999998888", true, "(41) 9999-9888", "4199999888"},
        {"4133334444a", false, "(41) 3333-4444", "4133334444"},  // a letter does not move the layout
    };
    QLineEdit* line = form->dbeTelefone->LineEdit();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + (c.backspace ? " <-" : ""));
        Set("Telefone", "");
        line->setFocus();
        line->setCursorPosition(0);
        QTest::keyClicks(line, c.typed);
        if (c.backspace) QTest::keyClick(line, Qt::Key_Backspace);
        EXPECT_EQ(form->dbeTelefone->EditText(), c.shown);
        F("Telefone")->DataSet()->UpdateRecord();
        EXPECT_EQ(F("Telefone")->AsString(), c.stored);
    }
    // Read back, each number has its own layout in the edit and in a grid.
    ExpectSaved();
    for (const char* stored : {"4133334444", "41999998888"}) {
        SCOPED_TRACE(stored);
        dmdb->ADOConnection->Execute(std::string("update cliente set telefone = '") + stored + "'");
        form->qry->Close();
        form->qry->Open();
        const std::string shown = std::string(stored).size() == 10 ? "(41) 3333-4444" : "(41) 99999-8888";
        EXPECT_EQ(form->dbeTelefone->EditText(), shown);
        EXPECT_EQ(ui::MaskedDisplayText(F("Telefone")), shown);
    }
}

TEST_F(Clients, AMobileNumberAndARuralProducersRegistrationAreKeptAsTyped) {
    Open();
    form->btnInsert->Click();
    FillValid();
    Set("Natureza", "Jurídica");
    Set("CPF_CNPJ", "11222333000181");
    auto type = [](TDBEdit* edit, const char* text) {
        QLineEdit* line = edit->LineEdit();
        line->setFocus();
        line->setCursorPosition(0);
        QTest::keyClicks(line, text);
        edit->Field()->DataSet()->UpdateRecord();  // what leaving the edit does
    };
    type(form->dbeTelefone, "11987654321");
    EXPECT_EQ(F("Telefone")->AsString(), "11987654321");
    type(form->dbeIE_RG, "p-01100424.3/002");
    form->dbeIE_RGExit(form->dbeIE_RG);
    EXPECT_EQ(F("IE_RG")->AsString(), "P011004243002");
    ExpectSaved();
    EXPECT_EQ(Scalar("select telefone || ' ' || ie_rg from cliente"), "11987654321 P011004243002");

    // The rural rule checks the ninth digit; outside São Paulo a "P" is no registration.
    form->btnEdit->Click();
    Set("IE_RG", "P011004253002");
    dialogs.Expect(std::string(kHeading) + "A Inscrição Estadual informada não é Válida.\r\n", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    Set("IE_RG", "P011004243002");
    F("Id_Municipio")->SetAsInteger(3304557);
    form->Mostra_Tudo();
    dialogs.Expect(std::string(kHeading) + "A Inscrição Estadual informada não é Válida.\r\n", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
}

// A rural producer is usually a natural person: the "P" registration is the
// state's all the same, so its check digit is judged by the rural rule,
// while a natural person's identity card number in the same field is not.
TEST_F(Clients, ANaturalPersonsRuralProducerRegistrationIsJudgedByTheRuralRule) {
    Open();
    form->btnInsert->Click();
    FillValid();  // a natural person in São Paulo
    const struct {
        const char* typed;
        const char* stored;
        bool valid;
    } cases[] = {
        {"P-01100424.4/002", "P011004244002", false},  // ninth digit 4, the rule gives 3
        {"p-01100424.3/002", "P011004243002", true},
        {"12.345.678-X", "12345678", true},  // an identity card: no state rule
    };
    QLineEdit* line = form->dbeIE_RG->LineEdit();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        if (form->qry->State() == dsBrowse) form->btnEdit->Click();
        Set("IE_RG", "");
        line->setFocus();
        line->setCursorPosition(0);
        QTest::keyClicks(line, c.typed);
        F("IE_RG")->DataSet()->UpdateRecord();
        form->dbeIE_RGExit(form->dbeIE_RG);
        EXPECT_EQ(F("IE_RG")->AsString(), c.stored);
        if (!c.valid) {
            ExpectRefused("A Inscrição Estadual informada não é Válida.\r\n");
            continue;
        }
        ExpectSaved();
        EXPECT_EQ(Scalar("select ie_rg from cliente where cpf_cnpj = '52998224725'"), c.stored);
    }
}
