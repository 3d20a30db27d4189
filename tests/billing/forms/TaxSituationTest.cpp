// Tax situation codes: the structure of a CST, the zero-filling of a code
// typed into a new row, the checks in their order, the delete refusal of a
// code that invoice items hold, and the help window.
#include <QTimer>

#include "billing/forms/Nota106.h"
#include "tests/billing/forms/FormFixture.h"

namespace {

using billtest::ErrorBox;

constexpr const char* kInvalid = "O Código da CST é inválido, verifique a ajuda da tabela.";
constexpr const char* kDescricao = "A Descrição não foi informada.";
constexpr const char* kDigitos = "O Código da Situação Tributária deve ter 3 digítos.";

class TaxSituations : public billtest::Forms {
protected:
    // What leaving the code edit after typing Code does.
    void Type(TfrmNota106* f, const std::string& Code) {
        f->qry->FieldByName("Id_Situacao_Tributaria")->SetAsString(Code);
        f->dbeId_Situacao_TributariaExit(f->dbeId_Situacao_Tributaria);
    }
};

}  // namespace

TEST(Valida_CST, OriginThenTreatment) {
    for (const char* good : {"000", "141", "290", "010", "060", "270", " 090 "}) EXPECT_TRUE(Valida_CST(good)) << good;
    for (const char* bad : {"300", "015", "042", "", "00", "0000", "9", "A00", "0 0", "-10"})
        EXPECT_FALSE(Valida_CST(bad)) << bad;
}

TEST_F(TaxSituations, ACodeTypedIntoANewRowIsZeroFilledAndChecked) {
    auto* f = Open<TfrmNota106>();
    EXPECT_EQ(f->Caption(), "Situação Tributária - NOTA106");
    EXPECT_EQ(f->qry->FieldByName("Id_Situacao_Tributaria")->EditMask(), "999;0; ");
    f->btnInsert->Click();
    Type(f, "42");
    EXPECT_EQ(f->qry->FieldByName("Id_Situacao_Tributaria")->AsString(), "042");
    f->qry->FieldByName("Descricao")->SetAsString("Quarenta e dois");
    dialogs.Expect("Foram identificados erros", mrOk, "Atenção");
    EXPECT_THROW(f->btnSave->Click(), EAbort);
    EXPECT_EQ(LastBox(), ErrorBox({kInvalid}));

    Type(f, "90");
    EXPECT_EQ(f->qry->FieldByName("Id_Situacao_Tributaria")->AsString(), "090");
    f->btnSave->Click();
    EXPECT_EQ(Scalar("select descricao from situacao_tributaria where id_situacao_tributaria = '090'"),
              "Quarenta e dois");
}

TEST_F(TaxSituations, AnEmptyCodeGetsBothCodeMessagesInTheirPlaces) {
    auto* f = Open<TfrmNota106>();
    f->btnInsert->Click();
    Type(f, "");
    dialogs.Expect("Foram identificados erros", mrOk, "Atenção");
    EXPECT_THROW(f->btnSave->Click(), EAbort);
    EXPECT_EQ(LastBox(), ErrorBox({kInvalid, kDescricao, kDigitos}));
    f->qry->FieldByName("Descricao")->SetAsString("Sem código");
    dialogs.Expect("Foram identificados erros", mrOk, "Atenção");
    EXPECT_THROW(f->btnSave->Click(), EAbort);
    EXPECT_EQ(LastBox(), ErrorBox({kInvalid, kDigitos}));

    for (const char* code : {"300", "015"}) {
        Type(f, code);
        dialogs.Expect("Foram identificados erros", mrOk, "Atenção");
        EXPECT_THROW(f->btnSave->Click(), EAbort);
        EXPECT_EQ(LastBox(), ErrorBox({kInvalid})) << code;
    }
    for (const char* code : {"000", "141", "290"}) {
        Type(f, code);
        f->btnSave->Click();
        EXPECT_EQ(f->qry->State(), dsBrowse) << code;
        f->btnInsert->Click();
        f->qry->FieldByName("Descricao")->SetAsString("Outra");
    }
    Type(f, "0");
    dialogs.Expect("já existe", mrOk, "Atenção");
    EXPECT_THROW(f->btnSave->Click(), EAbort);
    EXPECT_EQ(LastBox(), "O Código de CST \"000\" já existe.");
    f->btnCancel->Click();
    EXPECT_EQ(Scalar("select group_concat(id_situacao_tributaria) from (select id_situacao_tributaria from "
                     "situacao_tributaria order by 1)"),
              "000,141,290");
}

TEST_F(TaxSituations, EditingAStoredRowDoesNotPadItsCode) {
    Exec("insert into situacao_tributaria(id_situacao_tributaria, descricao) values('90', 'Antigo')");
    auto* f = Open<TfrmNota106>();
    f->btnEdit->Click();
    EXPECT_TRUE(f->dbeId_Situacao_Tributaria->ReadOnly());
    f->dbeId_Situacao_TributariaExit(f->dbeId_Situacao_Tributaria);
    EXPECT_EQ(f->qry->FieldByName("Id_Situacao_Tributaria")->AsString(), "90");
    f->btnCancel->Click();
}

TEST_F(TaxSituations, ACodeThatInvoiceItemsHoldAsTextCannotBeDeleted) {
    Exec("insert into situacao_tributaria(id_situacao_tributaria, descricao) values('010', 'Com ST')");
    Exec("insert into situacao_tributaria(id_situacao_tributaria, descricao) values('020', 'Redução')");
    Exec("insert into nota_fiscal_item(id_registro, id_nota_fiscal, id_situacao_tributaria) "
         "values('0010000001', 1, '010')");
    auto* f = Open<TfrmNota106>();
    ASSERT_TRUE(f->qry->Locate("id_situacao_tributaria", "010", {}));
    dialogs.Expect("Confirma a exclusão do Registro ?", mrYes, "Excluir");
    dialogs.Expect("Não pode Excluir", mrOk, "Atenção");
    EXPECT_THROW(f->btnDelete->Click(), EAbort);
    EXPECT_EQ(LastBox(),
              "Existe(m) 1 Item(s) de Nota(s) Fiscai(s) com esta Situação Tributária. Não pode Excluir.");
    ASSERT_TRUE(f->qry->Locate("id_situacao_tributaria", "020", {}));
    dialogs.Expect("Confirma a exclusão do Registro ?", mrYes, "Excluir");
    f->btnDelete->Click();
    EXPECT_EQ(Scalar("select group_concat(id_situacao_tributaria) from situacao_tributaria"), "010");
}

TEST_F(TaxSituations, TheHelpWindowListsBothTablesOnLightYellow) {
    auto* f = Open<TfrmNota106>();
    bool shown = false;
    QTimer::singleShot(0, qApp, [&shown] {
        ASSERT_NE(frmNota106a, nullptr);
        shown = frmNota106a->Modal();
        EXPECT_EQ(frmNota106a->Caption(), "Ajuda CST - NOTA106A");
        EXPECT_EQ(frmNota106a->Color(), static_cast<TColor>(0xE1FFFF));  // RGB 255, 255, 225
        EXPECT_EQ(frmNota106a->RichEdit1->Color(), frmNota106a->Color());
        EXPECT_TRUE(frmNota106a->RichEdit1->ReadOnly());
        std::string text = frmNota106a->RichEdit1->Text();
        for (const char* line :
             {"Códigos de Situação Tributária (CST)", "Tabela A - Origem da Mercadoria",
              "2 - Estrangeira - Adquirida no mercado interno", "Tabela B - Tributação pelo ICMS",
              "41 - Não tributada", "70 - Com redução de base de cálculo e cobrança do ICMS por substituição "
                                    "tributária",
              "onde o 1° dígito indicará a origem da mercadoria, com base na Tabela A"})
            EXPECT_NE(text.find(line), std::string::npos) << line;
        EXPECT_EQ(frmNota106a->Button1->Caption(), "Fec&har");  // Alt+F is a menu's
        frmNota106a->Button1->Click();
    });
    f->SpeedButton1->Click();
    EXPECT_TRUE(shown);
    billtest::Pump();
    EXPECT_EQ(frmNota106a, nullptr);
}
