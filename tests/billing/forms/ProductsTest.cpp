// The products register: the reduced code taken from the structured one, the
// description copy, the lookups that must name existing rows, the duplicate
// tests and the product mask that changes only how the code is shown.
#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include "billing/forms/Nota101.h"
#include "tests/billing/forms/RegisterFixture.h"
#include "tests/platform/ui/UiTestSupport.h"

namespace {

constexpr const char* kHeading = "Foram identificados erros, por favor corrija: \r\n\r\n";

class Products : public billtest::RegisterSession<TfrmNota101> {
protected:
    void SetUp() override {
        RegisterSession::SetUp();
        auto run = [](const char* sql) { dmdb->ADOConnection->Execute(sql); };
        run("insert into unidade_medida(id_unidade_medida, descricao) values('UN', 'Unidade')");
        run("insert into unidade_medida(id_unidade_medida, descricao) values('CXA', 'Caixa grande')");
        run("insert into situacao_tributaria(id_situacao_tributaria, descricao) values('000', 'Tributada')");
        run("insert into situacao_tributaria(id_situacao_tributaria, descricao) values('040', 'Isenta')");
    }
    void FillValid(const std::string& Estruturado) {
        Set("Id_Produto_estrutura", Estruturado);
        form->Atribui_Codigo_Produto();
        Set("Descricao_Abreviada", "Parafuso");
        Set("Descricao", "Parafuso sextavado");
        Set("Id_Unidade_Medida", "UN");
        Set("Id_CST_Estadual", "000");
        Set("Id_CST_Interestadual", "040");
        form->Mostra_Tudo();
    }
    void AddProduct(const std::string& Reduzida, const std::string& Estruturado) {
        dmdb->ADOConnection->Execute(
            "insert into produto(id_produto, id_produto_estrutura, descricao) values(:p1, :p2, 'Outro')",
            {{"p1", Variant(Reduzida)}, {"p2", Variant(Estruturado)}});
    }
};

}  // namespace

TEST_F(Products, TheReducedCodeIsTheTypedOneZeroFilledOrTheStructuredCodesFirstFiveDigits) {
    EXPECT_EQ(TfrmNota101::CodigoReduzido("", "123456789"), "12345");
    EXPECT_EQ(TfrmNota101::CodigoReduzido("7", "123456789"), "00007");
    EXPECT_EQ(TfrmNota101::CodigoReduzido(" 123 ", ""), "00123");
    EXPECT_EQ(TfrmNota101::CodigoReduzido("", "001234567"), "00123");
    EXPECT_EQ(TfrmNota101::CodigoReduzido("abc", "123456789"), "00000");
    EXPECT_EQ(TfrmNota101::CodigoReduzido("", ""), "00000");

    Open();
    EXPECT_EQ(form->Caption(), "Cadastro de Produtos - NOTA101");
    form->btnInsert->Click();
    EXPECT_EQ(F("Tipo")->AsString(), "Analítica");
    Set("Id_Produto_estrutura", "123456789");
    form->dbeId_Produto_estrutura->OnExit(form->dbeId_Produto_estrutura);
    EXPECT_EQ(F("Id_Produto")->AsString(), "12345");
    Set("Id_Produto", "7");
    form->dbeId_Produto->OnExit(form->dbeId_Produto);
    EXPECT_EQ(F("Id_Produto")->AsString(), "00007");
    Set("Id_Produto", "x");
    form->Atribui_Codigo_Produto();
    EXPECT_EQ(F("Id_Produto")->AsString(), "00000");
    form->btnCancel->Click();

    // An existing product keeps its codes: the rule is for new rows only.
    AddProduct("00042", "420000000");
    form->qry->Close();
    form->qry->Open();
    form->btnEdit->Click();
    EXPECT_TRUE(form->dbeId_Produto->ReadOnly());
    EXPECT_TRUE(form->dbeId_Produto_estrutura->ReadOnly());
    Set("Id_Produto", "42");
    form->Atribui_Codigo_Produto();
    EXPECT_EQ(F("Id_Produto")->AsString(), "42");
    form->btnCancel->Click();
}

TEST_F(Products, AnEmptySaveListsTheMessagesInOrder) {
    Open();
    form->btnInsert->Click();
    F("Tipo")->Clear();
    dialogs.Expect(std::string(kHeading) +
                       "O Código Estruturado do produto não foi informado.\r\n"
                       "A Descrição Abreviada não foi informado.\r\n"
                       "A Descrição não foi informado.\r\n"
                       "O Tipo de Produto não foi informado.\r\n"
                       "A Unidade de Medida não foi informado.\r\n"
                       "O código da CST no estado não foi informado.\r\n"
                       "O código da CST fora do estado não foi informado.\r\n",
                   mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
}

TEST_F(Products, TheShortDescriptionFillsABlankDescription) {
    Open();
    form->btnInsert->Click();
    Set("Descricao_Abreviada", "  Porca M8 ");
    form->dbeDescricao_Abreviada->OnExit(form->dbeDescricao_Abreviada);
    EXPECT_EQ(F("Descricao")->AsString(), "Porca M8");
    Set("Descricao_Abreviada", "Outra");
    form->dbeDescricao_AbreviadaExit(nullptr);
    EXPECT_EQ(F("Descricao")->AsString(), "Porca M8");
}

TEST_F(Products, ACstOutsideTheTableShowsAQuestionMarkAndFailsTheSave) {
    Open();
    form->btnInsert->Click();
    FillValid("123456789");
    EXPECT_EQ(form->PSituacao_Tributaria_Estadual->Caption(), "Tributada");
    EXPECT_EQ(form->PSituacao_Tributaria_Interestadual->Caption(), "Isenta");
    EXPECT_EQ(form->PUnidade_Medida->Caption(), "Unidade");
    Set("Id_CST_Interestadual", "041");
    form->dbeId_CST_Interestadual->OnExit(form->dbeId_CST_Interestadual);
    EXPECT_EQ(form->PSituacao_Tributaria_Interestadual->Caption(), "?");
    dialogs.Expect(std::string(kHeading) + "O código da CST fora do estado não foi informado.\r\n", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    Set("Id_CST_Interestadual", "040");
    form->btnSave->Click();
    EXPECT_EQ(Scalar("select id_cst_interestadual from produto"), "040");
}

TEST_F(Products, AThreeLetterUnitIsStoredWhole) {
    Open();
    form->btnInsert->Click();
    FillValid("555000111");
    Set("Id_Unidade_Medida", "CXA");
    form->btnSave->Click();
    EXPECT_EQ(Scalar("select id_unidade_medida from produto"), "CXA");
    EXPECT_EQ(form->PUnidade_Medida->Caption(), "Caixa grande");
}

// A unit typed in other capitals is the register's unit: stored as the
// register holds it, so the invoice and its NF-e state "UN", not "un".
TEST_F(Products, AUnitTypedInOtherCapitalsIsStoredAsTheUnitRegisterHoldsIt) {
    const struct {
        const char* typed;
        const char* stored;
    } cases[] = {{"un", "UN"}, {"Un", "UN"}, {"cxa", "CXA"}, {"CxA", "CXA"}, {"UN", "UN"}};
    Open();
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        form->btnInsert->Click();
        FillValid(std::to_string(555000111 + 1000000 * ++n));
        Set("Id_Unidade_Medida", c.typed);
        form->btnSave->Click();
        EXPECT_EQ(Scalar("select id_unidade_medida from produto where id_produto_estrutura = '" +
                         std::to_string(555000111 + 1000000 * n) + "'"),
                  c.stored);
    }
    // A unit the register lacks is still refused.
    form->btnInsert->Click();
    FillValid("999000111");
    Set("Id_Unidade_Medida", "kg");
    dialogs.Expect("A Unidade de Medida não foi informado.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
}

TEST_F(Products, ANewProductReusingAReducedOrStructuredCodeIsRefused) {
    AddProduct("12345", "999999999");
    Open();
    form->btnInsert->Click();
    FillValid("123456789");  // a different structured code, the same reduced one
    dialogs.Expect("O Código do Produto \"12345\" já existe.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    EXPECT_EQ(form->qry->State(), dsInsert);

    Set("Id_Produto", "54321");
    Set("Id_Produto_estrutura", "999999999");
    dialogs.Expect("O Código Estruturado \"999999999\" já existe.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);

    Set("Id_Produto_estrutura", "543210000");
    form->btnSave->Click();
    EXPECT_EQ(Count("select count(*) from produto"), 2);
}

TEST_F(Products, TheProductMaskChangesOnlyHowTheCodeIsShown) {
    AddProduct("12345", "123456789");
    Open();
    EXPECT_EQ(form->dbeId_Produto_estrutura->EditText(), "1.23.456.789");
    delete form;
    form = nullptr;

    dmdb->Set_Var("mascara_produto", "###-###-###;0; ");
    Open();
    EXPECT_EQ(F("Id_Produto_estrutura")->EditMask(), "###-###-###;0; ");
    EXPECT_EQ(form->dbeId_Produto_estrutura->EditText(), "123-456-789");
    form->btnInsert->Click();
    FillValid("987654321");
    EXPECT_EQ(form->dbeId_Produto_estrutura->EditText(), "987-654-321");
    form->btnSave->Click();
    EXPECT_EQ(Scalar("select id_produto_estrutura from produto where id_produto = '98765'"), "987654321");
}

// A price of three decimals typed on the form is shown as it is stored, in
// browse as after the save, never rounded to the cent on screen.
TEST_F(Products, APriceShowsTheDecimalsItIsStoredWith) {
    Open();
    uitest::ShowActive(frame.get());
    form->btnInsert->Click();
    FillValid("101000000");
    form->dbePreco_Venda->SetFocus();
    billtest::Pump();
    QTest::keyClicks(QApplication::focusWidget(), "8,755");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    billtest::Pump();
    QTest::mouseClick(form->btnSave->Widget(), Qt::LeftButton);
    billtest::Pump();
    ASSERT_EQ(form->qry->State(), dsBrowse);
    EXPECT_EQ(Scalar("select preco_venda from produto"), "8.755");
    EXPECT_EQ(form->dbePreco_Venda->Text(), "8,755");
    // Whole cents keep their two decimals; a thousand keeps its point.
    for (const auto& [stored, shown] : std::vector<std::pair<const char*, const char*>>{
             {"1234.5", "1.234,50"}, {"0.1255", "0,1255"}, {"7", "7,00"}}) {
        dmdb->ADOConnection->Execute(std::string("update produto set preco_venda = ") + stored);
        form->qry->Refresh();
        EXPECT_EQ(form->dbePreco_Venda->Text(), shown) << stored;
    }
}

// A structured code shorter than the mask reads as typed: no separator of the
// places it leaves empty trails it ("1.01.00", never "1.01.00 ."). Typing in
// it lays the whole mask out again.
TEST_F(Products, AShortCodeShowsWithoutTheSeparatorsOfItsEmptyPlaces) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"10100", "1.01.00"}, {"1234", "1.23.4"}, {"1", "1"}, {"123456789", "1.23.456.789"}};
    for (const auto& [stored, shown] : cases) AddProduct(std::string(stored).substr(0, 5), stored);
    Open();
    uitest::ShowActive(frame.get());
    billtest::Pump();
    for (const auto& [stored, shown] : cases) {
        ASSERT_TRUE(form->qry->Locate("id_produto_estrutura", stored, {}));
        EXPECT_EQ(form->dbeId_Produto_estrutura->EditText(), shown) << stored;
        EXPECT_EQ(form->dbeId_Produto_estrutura->Text(), stored);
    }
    form->dbeId_Produto_estrutura->SetFocus();
    billtest::Pump();
    EXPECT_EQ(form->dbeId_Produto_estrutura->EditText(), "1.23.456.789");
    form->qry->Locate("id_produto_estrutura", "10100", {});
    form->btnInsert->Click();
    FillValid("");
    form->dbeId_Produto_estrutura->SetFocus();
    billtest::Pump();
    QLineEdit* code = form->dbeId_Produto_estrutura->LineEdit();
    code->setCursorPosition(0);
    QTest::keyClicks(code, "20101");
    EXPECT_EQ(form->dbeId_Produto_estrutura->EditText(), "2.01.01 .   ") << "typed through the mask";
    QTest::keyClick(code, Qt::Key_Tab);
    billtest::Pump();
    EXPECT_EQ(form->dbeId_Produto_estrutura->EditText(), "2.01.01");
    QTest::mouseClick(form->btnSave->Widget(), Qt::LeftButton);
    billtest::Pump();
    EXPECT_EQ(form->qry->State(), dsBrowse);
    EXPECT_EQ(Scalar("select count(*) from produto where id_produto_estrutura = '20101'"), "1");
}
