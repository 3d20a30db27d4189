// Sellers, CFOP, document series and units of measure: the first generated
// code, the defaults of a new row, the checks, the duplicate messages, the
// delete refusals of rows that invoices or products use, and the key edit
// that typing can never make writable outside an insert.
#include <QTimer>

#include "billing/forms/Nota102.h"
#include "billing/forms/Nota104.h"
#include "billing/forms/Nota118.h"
#include "billing/forms/Nota119.h"
#include "billing/forms/Pesquisa.h"
#include "tests/billing/forms/FormFixture.h"

namespace {

using billtest::ErrorBox;

class SmallRegisters : public billtest::Forms {};

}  // namespace

TEST_F(SmallRegisters, SellersAreNumberedFromOneAndNeedAName) {
    auto* f = Open<TfrmNota102>();
    EXPECT_EQ(f->Caption(), "Vendedores - NOTA102");
    EXPECT_TRUE(f->dsMain->AutoEdit());
    f->btnInsert->Click();
    EXPECT_EQ(f->qry->FieldByName("Id_Vendedor")->AsInteger(), 1);
    dialogs.Expect("O Nome não foi informado.", mrOk, "Atenção");
    EXPECT_THROW(f->btnSave->Click(), EAbort);
    EXPECT_EQ(LastBox(), ErrorBox({"O Nome não foi informado."}));
    f->qry->FieldByName("Nome")->SetAsString("Ana Souza");
    f->qry->FieldByName("Percentual_Comissao")->SetAsFloat(2.5);
    f->btnSave->Click();
    EXPECT_EQ(Scalar("select nome from vendedor where id_vendedor = 1"), "Ana Souza");
    EXPECT_EQ(f->qry->FieldByName("Percentual_Comissao")->DisplayText(), "2,50");

    f->btnInsert->Click();
    EXPECT_EQ(f->qry->FieldByName("Id_Vendedor")->AsInteger(), 2);
    f->qry->FieldByName("Id_Vendedor")->SetAsInteger(1);
    f->qry->FieldByName("Nome")->SetAsString("Outra Ana");
    dialogs.Expect("já existe", mrOk, "Atenção");
    EXPECT_THROW(f->btnSave->Click(), EAbort);
    EXPECT_EQ(LastBox(), "O Código do Vendedor \"1\" já existe.");
    f->btnCancel->Click();

    // A seller that clients name is still deleted: nothing refuses it.
    Exec("insert into cliente(id_cliente, nome, id_vendedor) values('0000001', 'Cliente', 1)");
    dialogs.Expect("Confirma a exclusão do Registro ?", mrYes, "Excluir");
    f->btnDelete->Click();
    EXPECT_EQ(Count("select count(*) from vendedor"), 0);
}

TEST_F(SmallRegisters, TypingNeverMakesTheKeyOfAStoredSellerOrSeriesWritable) {
    Exec("insert into vendedor(id_vendedor, nome) values(7, 'Bia')");
    Exec("insert into serie_documento(id_serie_documento, proximo_numero) values(1, 10)");
    auto* sellers = Open<TfrmNota102>();
    auto* series = Open<TfrmNota118>();
    struct Case {
        billing::forms::RegisterForm* form;
        TDBEdit* key;
    } cases[] = {{sellers, sellers->dbeId_Vendedor}, {series, series->dbeId_Serie_Documento}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form->Caption());
        EXPECT_TRUE(c.key->ReadOnly());  // browsing
        c.form->btnInsert->Click();
        EXPECT_FALSE(c.key->ReadOnly());
        c.form->btnCancel->Click();
        EXPECT_TRUE(c.key->ReadOnly());
        // With AutoEdit, typing into any field starts an edit of the row.
        c.form->dsMain->Edit();
        EXPECT_EQ(c.form->qry->State(), dsEdit);
        EXPECT_TRUE(c.key->ReadOnly());
        c.form->qry->Cancel();
        c.form->btnEdit->Click();
        EXPECT_TRUE(c.key->ReadOnly());
        c.form->btnCancel->Click();
    }
    // An insert saved leaves the key locked for what follows.
    sellers->btnInsert->Click();
    sellers->qry->FieldByName("Nome")->SetAsString("Caio");
    sellers->btnSave->Click();
    EXPECT_TRUE(sellers->dbeId_Vendedor->ReadOnly());
    EXPECT_EQ(sellers->dbeId_Vendedor->Color(), sellers->Color());  // and in the browse look
}

TEST_F(SmallRegisters, TheSellerSearchMovesToTheChosenSeller) {
    Exec("insert into vendedor(id_vendedor, nome) values(3, 'Carla')");
    Exec("insert into vendedor(id_vendedor, nome) values(9, 'Bruno')");
    auto* f = Open<TfrmNota102>();
    QTimer::singleShot(0, qApp, [] {
        ASSERT_NE(frmPesquisa, nullptr);
        EXPECT_EQ(frmPesquisa->Caption(), "Pesquisar - Vendedor");
        frmPesquisa->dsMain->DataSet()->Locate("nome", "Bruno", {});
        frmPesquisa->mnuOkClick(nullptr);
    });
    f->DBButton2->Click();
    EXPECT_EQ(f->qry->FieldByName("Nome")->AsString(), "Bruno");
}

TEST_F(SmallRegisters, ANewCfopIsASaleAndAUsedOneCannotBeDeleted) {
    auto* f = Open<TfrmNota104>();
    EXPECT_EQ(f->Caption(), "CFOP - NOTA104");
    f->btnInsert->Click();
    EXPECT_EQ(f->qry->FieldByName("Tipo")->AsString(), "Saída");
    dialogs.Expect("Foram identificados erros", mrOk, "Atenção");
    EXPECT_THROW(f->btnSave->Click(), EAbort);
    EXPECT_EQ(LastBox(), ErrorBox({"O CFOP não foi informado.", "A Descrição não foi informada."}));
    f->qry->FieldByName("Id_CFOP")->SetAsString("5102");
    f->qry->FieldByName("Descricao")->SetAsString("Venda de mercadoria");
    f->btnSave->Click();
    f->btnInsert->Click();
    f->qry->FieldByName("Id_CFOP")->SetAsString("6102");
    f->qry->FieldByName("Descricao")->SetAsString("Venda fora do estado");
    f->btnSave->Click();
    EXPECT_EQ(Scalar("select tipo from cfop where id_cfop = '5102'"), "Saída");

    f->btnInsert->Click();
    f->qry->FieldByName("Id_CFOP")->SetAsString("5102");
    f->qry->FieldByName("Descricao")->SetAsString("De novo");
    dialogs.Expect("já existe", mrOk, "Atenção");
    EXPECT_THROW(f->btnSave->Click(), EAbort);
    EXPECT_EQ(LastBox(), "O Código de CFOP \"5102\" já existe.");
    f->btnCancel->Click();

    Exec("insert into nota_fiscal(id_nota_fiscal, id_serie_documento, id_cfop) values(1, 1, '5102')");
    Exec("insert into nota_fiscal(id_nota_fiscal, id_serie_documento, id_cfop) values(2, 1, '5102')");
    ASSERT_TRUE(f->qry->Locate("id_cfop", "5102", {}));
    dialogs.Expect("Confirma a exclusão do Registro ?", mrYes, "Excluir");
    dialogs.Expect("Não pode Excluir", mrOk, "Atenção");
    EXPECT_THROW(f->btnDelete->Click(), EAbort);
    EXPECT_EQ(LastBox(), "Existe(m) 2 Nota(s) Fiscai(s) com este CFOP. Não pode Excluir.");
    ASSERT_TRUE(f->qry->Locate("id_cfop", "6102", {}));
    dialogs.Expect("Confirma a exclusão do Registro ?", mrYes, "Excluir");
    f->btnDelete->Click();
    EXPECT_EQ(Scalar("select group_concat(id_cfop) from cfop"), "5102");
}

TEST_F(SmallRegisters, SeriesStartAtOneKeepAnEmptyNextNumberAndAUsedOneStays) {
    auto* f = Open<TfrmNota118>();
    EXPECT_EQ(f->Caption(), "Série Documentos - NOTA118");
    EXPECT_FALSE(f->DBButton2->Visible());
    EXPECT_EQ(f->DBButton1->Caption(), "&Cancelar");
    f->btnInsert->Click();
    EXPECT_EQ(f->qry->FieldByName("Id_Serie_Documento")->AsInteger(), 1);
    f->btnSave->Click();  // no next number: nothing refuses it
    EXPECT_EQ(Count("select count(*) from serie_documento where id_serie_documento = 1 and proximo_numero is null"),
              1);

    f->btnInsert->Click();
    f->qry->FieldByName("Id_Serie_Documento")->SetAsInteger(1);
    dialogs.Expect("já existe", mrOk, "Atenção");
    EXPECT_THROW(f->btnSave->Click(), EAbort);
    EXPECT_EQ(LastBox(), "O Código da Série de Documento \"1\" já existe.");
    f->qry->FieldByName("Id_Serie_Documento")->SetAsInteger(2);
    f->qry->FieldByName("Proximo_Numero")->SetAsInteger(1234567);
    f->btnSave->Click();
    EXPECT_EQ(f->qry->FieldByName("Proximo_Numero")->DisplayText(), "1.234.567");

    Exec("insert into nota_fiscal(id_nota_fiscal, id_serie_documento) values(10, 1)");
    ASSERT_TRUE(f->qry->Locate("id_serie_documento", 1, {}));
    dialogs.Expect("Confirma a exclusão do Registro ?", mrYes, "Excluir");
    dialogs.Expect("Não pode Excluir", mrOk, "Atenção");
    EXPECT_THROW(f->btnDelete->Click(), EAbort);
    EXPECT_EQ(LastBox(), "Existe(m) 1 Nota(s) Fiscai(s) com esta Série. Não pode Excluir.");
    ASSERT_TRUE(f->qry->Locate("id_serie_documento", 2, {}));
    dialogs.Expect("Confirma a exclusão do Registro ?", mrYes, "Excluir");
    f->btnDelete->Click();
    EXPECT_EQ(Scalar("select group_concat(id_serie_documento) from serie_documento"), "1");
}

TEST_F(SmallRegisters, UnitsAreStoredInUpperCaseAndAUsedOneStays) {
    auto* f = Open<TfrmNota119>();
    EXPECT_EQ(f->Caption(), "Unidades de Medida - NOTA119");
    EXPECT_EQ(f->dbeId_Unidade_Medida->CharCase(), ecUpperCase);
    f->btnInsert->Click();
    dialogs.Expect("Foram identificados erros", mrOk, "Atenção");
    EXPECT_THROW(f->btnSave->Click(), EAbort);
    EXPECT_EQ(LastBox(), ErrorBox({"O Código da Unidade de Medida não foi informado.",
                                   "A Descrição não foi informada."}));
    f->qry->FieldByName("Id_Unidade_Medida")->SetAsString("kg");
    f->qry->FieldByName("Descricao")->SetAsString("Quilograma");
    f->btnSave->Click();
    EXPECT_EQ(Scalar("select id_unidade_medida from unidade_medida"), "KG");

    // Codes compare without regard to case: "Kg" is the unit already there.
    f->btnInsert->Click();
    f->qry->FieldByName("Id_Unidade_Medida")->SetAsString("Kg");
    f->qry->FieldByName("Descricao")->SetAsString("Quilo");
    dialogs.Expect("já existe", mrOk, "Atenção");
    EXPECT_THROW(f->btnSave->Click(), EAbort);
    EXPECT_EQ(LastBox(), "O Código da Unidade Medida \"KG\" já existe.");
    f->qry->FieldByName("Id_Unidade_Medida")->SetAsString("un");
    f->qry->FieldByName("Descricao")->SetAsString("Unidade");
    f->btnSave->Click();

    Exec("insert into produto(id_produto, id_unidade_medida) values('00001', 'KG')");
    ASSERT_TRUE(f->qry->Locate("id_unidade_medida", "KG", {}));
    dialogs.Expect("Confirma a exclusão do Registro ?", mrYes, "Excluir");
    dialogs.Expect("Não pode Excluir", mrOk, "Atenção");
    EXPECT_THROW(f->btnDelete->Click(), EAbort);
    EXPECT_EQ(LastBox(), "Existe(m) 1 Produto(s) com esta Unidade de Medida. Não pode Excluir.");
    ASSERT_TRUE(f->qry->Locate("id_unidade_medida", "UN", {}));
    dialogs.Expect("Confirma a exclusão do Registro ?", mrYes, "Excluir");
    f->btnDelete->Click();
    EXPECT_EQ(Scalar("select group_concat(id_unidade_medida) from unidade_medida"), "KG");
}
