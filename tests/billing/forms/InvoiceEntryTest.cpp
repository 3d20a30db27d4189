// Invoice entry without a window: numbering from the series, the checks and
// their order, the completion of a save (registration id, key, state), item
// rules, sums and total, the one-transaction save and delete, and the
// transmission after the commit.
#include <filesystem>

#include "billing/nfe/ChaveNFe.h"
#include "tests/billing/forms/DocumentFixture.h"
#include "tests/billing/nfe/SchemaCheck.h"

namespace fs = std::filesystem;
using namespace billing::forms;

namespace {

class InvoiceEntry : public billtest::DocumentSession {
protected:
    std::string Counter(int Serie) {
        return Scalar("select proximo_numero from serie_documento where id_serie_documento = " +
                      std::to_string(Serie));
    }
    // A new invoice with one item of 1 x 10.00, saved.
    void SaveSimpleInvoice(DocumentCore* Core) {
        Core->Header()->Insert();
        AddItem(Core, 1, "1", 10);
        SaveInvoice(Core);
    }
    // Counts the calls of the key routine, which still makes the keys.
    static void CountKeys(DocumentCore* Core, int& Calls) {
        auto real = Invoice(Core).MakeKey;
        Invoice(Core).MakeKey = [&Calls, real](int n, int s, TDateTime d) {
            ++Calls;
            return real(n, s, d);
        };
    }
    // The box a refused save showed.
    std::string Refused(DocumentCore* Core, const std::string& Part) {
        dialogs.Expect(Part, mrOk);
        EXPECT_THROW(Core->Header()->Post(), EAbort);
        EXPECT_TRUE(Core->Editing()) << "a refused save keeps the row";
        return dialogs.Shown().empty() ? std::string() : dialogs.Shown().back().text;
    }
};

TEST_F(InvoiceEntry, TheSeriesCounterNumbersNewInvoicesAndMovesOnlyWhenOneIsSaved) {
    DocumentCore* core = Invoices();
    core->Header()->Insert();
    EXPECT_EQ(core->Field("Id_Nota_Fiscal")->AsInteger(), 57);
    EXPECT_TRUE(core->NewDocument());
    AddItem(core, 1, "1", 10);
    SaveInvoice(core);
    EXPECT_EQ(Counter(1), "58");
    SaveSimpleInvoice(core);  // 58
    EXPECT_EQ(Counter(1), "59");

    // Undoing a new invoice forgets it was new: saving an older invoice
    // afterwards leaves the counter alone (it would have gone back to 58).
    core->Header()->Insert();
    EXPECT_EQ(core->Field("Id_Nota_Fiscal")->AsInteger(), 59);
    core->Header()->Cancel();
    EXPECT_FALSE(core->NewDocument());
    ASSERT_TRUE(core->Header()->Locate("Id_Nota_Fiscal", Variant(57), {}));
    core->Header()->Edit();
    core->Field("Valor_Frete")->SetAsFloat(1);
    SaveInvoice(core);
    EXPECT_EQ(Counter(1), "59");
    EXPECT_EQ(Count("select count(*) from nota_fiscal"), 2);

    // A series never used has no counter: its first invoice is number 1.
    core->Header()->Insert();
    core->Field("Id_Serie_Documento")->SetAsInteger(2);
    core->NextNumber();
    EXPECT_EQ(core->Field("Id_Nota_Fiscal")->AsInteger(), 1);
    AddItem(core, 1, "1", 10);
    SaveInvoice(core);
    EXPECT_EQ(Counter(2), "2");
    EXPECT_EQ(Counter(1), "59");
}

TEST_F(InvoiceEntry, DefaultsOfANewInvoice) {
    DocumentCore* core = Invoices();
    core->Header()->Insert();
    EXPECT_EQ(core->Field("Situacao_NFE")->AsString(), "Em Digitação");
    EXPECT_EQ(core->Field("Tipo_Emissao")->AsString(), "1 - Normal");
    EXPECT_EQ(core->Field("Finalidade_Emissao")->AsString(), "1 - NF-e Normal");
    EXPECT_EQ(core->Field("Modalidade_Frete")->AsString(), "0 - Por conta do Emitente");
    EXPECT_EQ(core->Field("Forma_Pagamento")->AsString(), "0 - Pagamento a Vista");
    EXPECT_EQ(core->Field("Tipo_Impressao_DANFE")->AsString(), "1 - Retrato");
    EXPECT_EQ(core->Field("DANFE_Impresso")->AsString(), "Não");
    EXPECT_EQ(core->Field("Data_Emissao")->AsDateTime(), EncodeDate(2010, 6, 15));
    EXPECT_EQ(core->Field("Data_Saida")->AsDateTime(), EncodeDate(2010, 6, 15));
    EXPECT_EQ(core->Field("Hora_Saida")->AsString(), "0941");
    EXPECT_EQ(core->Field("Id_Cliente")->AsString(), "0000042");
    EXPECT_EQ(core->Field("Id_CFOP")->AsString(), "5102");
    EXPECT_EQ(core->Field("Id_Transportador")->AsInteger(), 7);
    EXPECT_TRUE(core->Field("Id_Condicao_Pagamento")->IsNull()) << "a null setting stays null";
    EXPECT_EQ(core->Shown("Cliente").texts, (std::vector<std::string>{"Comercial Silva Ltda", "Silva"}));
    EXPECT_EQ(core->Shown("CFOP").texts[0], "Venda de mercadoria");
    EXPECT_FALSE(core->Found("Vendedor")) << "the settings give an invoice no seller";
    EXPECT_EQ(core->Field("Dados_Adicionais_Contribuinte")->AsString().substr(0, 22), "BASE DE CALCULO RED P/");
    EXPECT_TRUE(core->Items()->IsEmpty());
}

TEST_F(InvoiceEntry, AnEmptySaveListsEveryMissingPartInOneBoxInOrder) {
    Exec("update opcao set id_transportador = null, id_conta_corrente = null, id_cfop = null, id_cliente = null");
    DocumentCore* core = Invoices();
    core->Header()->Insert();
    std::string shown = Refused(core, "Foram identificados erros");
    EXPECT_EQ(shown,
              "Foram identificados erros, por favor corrija: \r\n\r\n"
              "O Cliente não foi informado.\r\n"
              "O CFOP não foi informado.\r\n"
              "O Transportador não foi informado.\r\n"
              "A Conta Corrente não foi informado.\r\n"
              "Não foram informados os produtos da Nota Fiscal.\r\n");
    EXPECT_EQ(dialogs.Shown().size(), 1u);
    EXPECT_EQ(dialogs.Shown().back().caption, "Atenção");
    EXPECT_EQ(Count("select count(*) from nota_fiscal"), 0);
    EXPECT_EQ(Counter(1), "57");
}

TEST_F(InvoiceEntry, DatesTotalsAndNumbersTheSaveRefuses) {
    DocumentCore* core = Invoices();
    Exec("insert into nota_fiscal (id_nota_fiscal, id_serie_documento) values (57, 1)");
    core->Header()->Insert();
    EXPECT_EQ(core->Field("Id_Nota_Fiscal")->AsInteger(), 57);
    Refused(core, "Já existe uma Nota Fiscal com este Número e Série.");
    core->Field("Id_Nota_Fiscal")->SetAsInteger(58);
    AddItem(core, 1, "1", 100);
    core->Field("Data_Saida")->SetAsDateTime(EncodeDate(2010, 6, 14));
    EXPECT_EQ(Refused(core, "A Data de Saída não pode ser menor que a da Emissão."),
              std::string(DocumentCore::kErrorsHeading) +
                  "\r\n\r\nA Data de Saída não pode ser menor que a da Emissão.\r\n");
    core->Field("Data_Saida")->Clear();
    Refused(core, "A Data da Saída não foi Informada.");
    core->Field("Data_Saida")->SetAsDateTime(EncodeDate(2010, 6, 15));

    core->Field("Valor_Desconto")->SetAsFloat(150);
    core->Calcula_Total_Nota();
    EXPECT_DOUBLE_EQ(Num(core, "Valor_Total_Nota"), -50);
    Refused(core, "O Valor da Nota Fiscal não pode ser negativo.");
    core->Field("Valor_Desconto")->SetAsFloat(0);
    core->Calcula_Total_Nota();

    // Id_Registro holds seven digits of number.
    core->Field("Id_Nota_Fiscal")->SetAsInteger(10000000);
    Refused(core, "O Número da Nota Fiscal deve estar entre 1 e 9.999.999.");
    core->Field("Id_Nota_Fiscal")->SetAsInteger(0);
    Refused(core, "O Número da Nota Fiscal deve estar entre 1 e 9.999.999.");

    // An unknown series is refused with the focus on the series.
    std::string focused;
    core->OnFocusField = [&](const std::string& f) { focused = f; };
    core->Field("Id_Serie_Documento")->SetAsInteger(9);
    core->NextNumber();
    EXPECT_EQ(core->Field("Id_Nota_Fiscal")->AsInteger(), 0) << "an unknown series leaves the number";
    Refused(core, "A Série de Nota Fiscal Informada não existe.");
    EXPECT_EQ(focused, "Id_Serie_Documento");

    // Equal dates pass, and the highest number fits the registration id.
    core->Field("Id_Serie_Documento")->SetAsInteger(1);
    core->Field("Id_Nota_Fiscal")->SetAsInteger(9999999);
    SaveInvoice(core);
    EXPECT_EQ(Scalar("select id_registro from nota_fiscal where id_nota_fiscal = 9999999"), "0019999999");
}

TEST_F(InvoiceEntry, OnlyInvoicesBeingTypedOrInErrorCanBeEditedOrDeleted) {
    Exec("insert into nota_fiscal (id_nota_fiscal, id_serie_documento, situacao_nfe) values "
         "(1, 1, 'Autorizada'), (2, 1, 'AUTORIZADA'), (3, 1, 'erro'), (4, 1, 'Cancelada')");
    DocumentCore* core = Invoices();
    for (int n : {1, 2, 4}) {
        ASSERT_TRUE(core->Header()->Locate("Id_Nota_Fiscal", Variant(n), {}));
        std::string state = core->Field("Situacao_NFE")->AsString();
        dialogs.Expect("A Situação \"" + state + "\" não permita Editar.", mrOk, "Atenção");
        EXPECT_THROW(core->Header()->Edit(), EAbort);
        dialogs.Expect("A Situação \"" + state + "\" não permita Excluir.", mrOk, "Atenção");
        EXPECT_THROW(core->Header()->Delete(), EAbort);
        EXPECT_EQ(core->Header()->State(), dsBrowse);
    }
    EXPECT_EQ(dialogs.Shown()[0].text, "A Situação \"Autorizada\" não permita Editar.");
    ASSERT_TRUE(core->Header()->Locate("Id_Nota_Fiscal", Variant(3), {}));
    core->Header()->Edit();
    EXPECT_EQ(core->Header()->State(), dsEdit);
    core->Header()->Cancel();
    EXPECT_EQ(Count("select count(*) from nota_fiscal"), 4);
}

TEST_F(InvoiceEntry, ASaveCompletesTheRegistrationIdTheKeyAndTheState) {
    Exec("update serie_documento set proximo_numero = 123 where id_serie_documento = 1");
    DocumentCore* core = Invoices();
    int keys = 0;
    CountKeys(core, keys);
    SaveSimpleInvoice(core);
    EXPECT_EQ(keys, 1);
    EXPECT_EQ(Scalar("select id_registro from nota_fiscal"), "0010000123");
    EXPECT_EQ(Scalar("select id_registro from nota_fiscal_item"), "0010000123");
    std::string key = Scalar("select numero_nfe from nota_fiscal");
    ASSERT_EQ(key.size(), 44u);
    EXPECT_TRUE(billing::nfe::ChaveValida(key));
    // State 41, June 2010, the issuer, model 55, series 001, number 123.
    EXPECT_EQ(key.substr(0, 34), "4110061234567800019555001000000123");

    // An invoice the monitor refused goes back to typing, its error text
    // cleared and its key kept; an edit never asks for another key.
    Exec("update nota_fiscal set situacao_nfe = 'Erro', erro_nfe = 'Rejeição 215'");
    core->Header()->Refresh();
    core->Header()->Edit();
    SaveInvoice(core);
    EXPECT_EQ(Scalar("select situacao_nfe from nota_fiscal"), "Em Digitação");
    EXPECT_EQ(Scalar("select erro_nfe from nota_fiscal"), "");
    EXPECT_EQ(Scalar("select numero_nfe from nota_fiscal"), key);
    EXPECT_EQ(keys, 1);

    SaveSimpleInvoice(core);
    EXPECT_EQ(keys, 2);
}

TEST_F(InvoiceEntry, AnIssuerThatCannotMakeAKeyStopsTheSaveOfANewInvoice) {
    Exec("update emitente set cnpj = '12345678000100'");  // wrong check digits
    DocumentCore* core = Invoices();
    core->Header()->Insert();
    AddItem(core, 1, "1", 10);
    dialogs.Expect(billing::nfe::MsgErroChave, mrOk, "Erro");
    EXPECT_THROW(core->Header()->Post(), EAbort);
    EXPECT_TRUE(core->Inserting());
    EXPECT_EQ(Count("select count(*) from nota_fiscal"), 0);
    EXPECT_EQ(Counter(1), "57");
}

TEST_F(InvoiceEntry, AnEditKeepsSeriesNumberAndTheMonthOfItsKey) {
    DocumentCore* core = Invoices();
    SaveSimpleInvoice(core);
    core->Header()->Edit();
    core->Field("Data_Emissao")->SetAsDateTime(EncodeDate(2010, 7, 1));
    core->Field("Data_Saida")->SetAsDateTime(EncodeDate(2010, 7, 1));
    Refused(core, "A Data da Emissão deve ficar no mês da Chave de Acesso da NF-e (06/10).");
    core->Field("Data_Emissao")->SetAsDateTime(EncodeDate(2010, 6, 30));
    core->Field("Id_Serie_Documento")->SetAsInteger(2);
    Refused(core, "A Série e o Número de uma Nota Fiscal já salva não podem ser alterados.");
    core->Field("Id_Serie_Documento")->SetAsInteger(1);
    SaveInvoice(core);
    EXPECT_EQ(Scalar("select data_emissao from nota_fiscal"), "2010-06-30");
}

TEST_F(InvoiceEntry, ItemAndInvoiceTotals) {
    DocumentCore* core = Invoices();
    core->Header()->Insert();
    AddItem(core, 3, "1", 10.50);
    TDataSet* items = core->Items();
    EXPECT_DOUBLE_EQ(items->FieldByName("Valor_Total")->AsFloat(), 31.50);
    EXPECT_NEAR(items->FieldByName("Valor_ICMS")->AsFloat(), 5.67, 1e-12);
    AddItem(core, 3, "1", 10.50);
    EXPECT_DOUBLE_EQ(Num(core, "Valor_Produto"), 63.00);
    EXPECT_DOUBLE_EQ(Num(core, "Valor_Base_Calculo"), 63.00);
    EXPECT_NEAR(Num(core, "Valor_ICMS"), 11.34, 1e-12);
    EXPECT_DOUBLE_EQ(Num(core, "Peso_Bruto"), 6);
    EXPECT_DOUBLE_EQ(Num(core, "Peso_Liquido"), 6);
    EXPECT_DOUBLE_EQ(Num(core, "Valor_Total_Nota"), 63.00);

    core->DeleteItem();
    core->DeleteItem();
    AddItem(core, 1, "1", 100);
    core->Field("Valor_Desconto")->SetAsFloat(10);
    core->Field("Valor_Frete")->SetAsFloat(5);
    core->Field("Valor_Seguro")->SetAsFloat(2.50);
    core->Calcula_Total_Nota();
    EXPECT_DOUBLE_EQ(Num(core, "Valor_Total_Nota"), 97.50);
    SaveInvoice(core);
    EXPECT_EQ(Scalar("select valor_total_nota from nota_fiscal"), "97.5");

    // Browsing shows the stored totals: nothing is recomputed.
    core->Calcula_Total_Produtos();
    EXPECT_DOUBLE_EQ(Num(core, "Valor_Total_Nota"), 97.50);
}

TEST_F(InvoiceEntry, AnItemTaxedOnAReducedBaseTakesItsProductsReductionAndTransmits) {
    NFE_REQUIRE_SCHEMAS();
    Exec("insert into situacao_tributaria (Id_Situacao_Tributaria, Descricao) values "
         "('051', 'Diferimento'), ('070', 'Redução com ST'), ('120', 'Redução, estrangeira')");
    const struct {
        const char* cst;
        const char* reduction;  // the product's, as stored
        double rate, quantity, price, base, icms;
    } cases[] = {
        {"020", "33.33", 18, 1, 100, 66.67, 12.00},
        {"070", "10", 12, 3, 10.50, 28.35, 3.40},
        {"120", "41.67", 7, 1, 0.99, 0.58, 0.04},
        {"051", "null", 18, 2, 5, 10, 1.80},
        {"000", "33.33", 18, 1, 100, 100, 18.00},  // a full-tax situation ignores a reduction
    };
    DocumentCore* core = Invoices();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cst);
        Exec(std::string("update produto set id_cst_estadual = '") + c.cst + "', rbc_estadual = " + c.reduction +
             ", aliq_icms_estadual = " + std::to_string(c.rate) + " where id_produto = '00007'");
        core->Header()->Insert();
        AddItem(core, c.quantity, "7", c.price);
        EXPECT_NEAR(core->Items()->FieldByName("Valor_ICMS")->AsFloat(), c.icms, 0.005);
        EXPECT_NEAR(Num(core, "Valor_Base_Calculo"), c.base, 1e-9);
        EXPECT_NEAR(Num(core, "Valor_ICMS"), c.icms, 0.005);
        core->Header()->Cancel();
    }

    // Saved and transmitted, the writer finds the item agreeing with itself.
    Exec("update produto set id_cst_estadual = '020', rbc_estadual = 33.33, aliq_icms_estadual = 18 "
         "where id_produto = '00007'");
    fs::create_directory(dir.path() / "envio");
    dmdb->Set_Var("pasta_nfe_envio", dir.file("envio"));
    core->Header()->Insert();
    AddItem(core, 1, "7", 100);
    dialogs.Expect(MsgTransmitir, mrYes, "Transmitir NF-e");
    dialogs.Expect("não está instalado", mrOk);
    core->Header()->Post();
    const std::string file = dir.file("envio/" + Scalar("select numero_nfe from nota_fiscal") + "-nfe.xml");
    ASSERT_TRUE(fs::exists(file));
    const std::string xml = testsupport::ReadAll(file);
    for (const char* part : {"<pRedBC>33.33</pRedBC>", "<vBC>66.67</vBC>", "<vICMS>12.00</vICMS>"})
        EXPECT_NE(xml.find(part), std::string::npos) << part << "\n" << xml;
    EXPECT_EQ(Scalar("select valor_base_calculo from nota_fiscal"), "66.67");
}

TEST_F(InvoiceEntry, ItemsTakeTheirProductTheHeaderCfopAndAreChecked) {
    DocumentCore* core = Invoices();
    TDataSet* items = core->Items();
    core->Header()->Insert();
    core->NewItemRow();
    EXPECT_EQ(items->FieldByName("id_cfop")->AsString(), "5102") << "a new item takes the header's CFOP";
    items->FieldByName("Quantidade")->SetAsFloat(2);
    EXPECT_TRUE(core->ApplyProduct("7"));
    EXPECT_EQ(items->FieldByName("Id_Produto")->AsString(), "00007");
    EXPECT_EQ(items->FieldByName("Descricao_Abreviada")->AsString(), "PORCA");
    EXPECT_EQ(items->FieldByName("Id_Situacao_Tributaria")->AsString(), "020");
    EXPECT_DOUBLE_EQ(items->FieldByName("Aliquota_ICMS")->AsFloat(), 12);
    EXPECT_EQ(items->FieldByName("id_unidade_medida")->AsString(), "PC");
    items->FieldByName("Valor_Unitario")->SetAsFloat(5);
    items->Post();
    EXPECT_EQ(items->RecordCount(), 1);

    // An unknown product fills nothing, and its row is refused, naming the
    // code, instead of vanishing.
    core->NewItemRow();
    EXPECT_FALSE(core->ApplyProduct("99"));
    EXPECT_EQ(items->FieldByName("Id_Produto")->AsString(), "00099");
    EXPECT_TRUE(items->FieldByName("Descricao_Abreviada")->IsNull());
    dialogs.Expect("O Produto '00099' não está cadastrado. Corrija o código do produto ou exclua o item com "
                   "Ctrl+Delete.",
                   mrOk, "Atenção");
    EXPECT_THROW(items->Post(), EAbort);
    EXPECT_EQ(items->State(), dsInsert);
    // A figure without a product is refused too; a row with nothing typed
    // goes without a word.
    items->FieldByName("Id_Produto")->Clear();
    items->FieldByName("Quantidade")->SetAsFloat(4);
    dialogs.Expect("O Produto do item não foi informado. Informe o produto ou exclua o item com Ctrl+Delete.", mrOk,
                   "Atenção");
    EXPECT_THROW(items->Post(), EAbort);
    items->FieldByName("Quantidade")->Clear();
    items->Post();
    EXPECT_EQ(items->RecordCount(), 1);
    // So is one whose code was changed to an unknown one.
    items->First();
    items->Edit();
    EXPECT_FALSE(core->ApplyProduct("98"));
    dialogs.Expect("O Produto '00098' não está cadastrado. Corrija o código do produto ou exclua o item com "
                   "Ctrl+Delete.",
                   mrOk, "Atenção");
    EXPECT_THROW(items->Post(), EAbort);
    items->Cancel();
    EXPECT_EQ(items->RecordCount(), 1);
    EXPECT_EQ(items->FieldByName("Descricao_Abreviada")->AsString(), "PORCA");
    items->Delete();

    // Unregistered CFOP and tax situation, each code in single quotes.
    core->Field("Id_CFOP")->SetAsString("6102");
    core->NewItemRow();
    EXPECT_EQ(items->FieldByName("id_cfop")->AsString(), "6102");
    items->FieldByName("id_cfop")->SetAsString("9999");
    core->ApplyProduct("1");
    items->FieldByName("Quantidade")->SetAsFloat(1);
    dialogs.Expect("Código '9999' de CFOP não cadastrado.", mrOk, "Atenção");
    EXPECT_THROW(items->Post(), EAbort);
    EXPECT_EQ(items->State(), dsInsert);
    items->FieldByName("id_cfop")->SetAsString("5102");
    core->ApplyProduct("12");
    dialogs.Expect("Código '999' da situação tributária não cadastrado.", mrOk, "Atenção");
    EXPECT_THROW(items->Post(), EAbort);
    // The header's save posts a pending item first, so the same check stops it.
    dialogs.Expect("Código '999' da situação tributária não cadastrado.", mrOk);
    EXPECT_THROW(core->Header()->Post(), EAbort);
    core->ApplyProduct("1");
    items->Post();
    EXPECT_EQ(items->RecordCount(), 1);
}

TEST_F(InvoiceEntry, StoredItemsFollowTheBufferInEntryOrder) {
    DocumentCore* core = Invoices();
    core->Header()->Insert();
    AddItem(core, 1, "7", 1);
    AddItem(core, 2, "1", 2);
    AddItem(core, 3, "7", 3);
    SaveInvoice(core);
    EXPECT_EQ(Count("select count(*) from nota_fiscal_item where id_nota_fiscal = 57 and id_serie_documento = 1"), 3);

    core->Header()->Edit();
    core->Items()->First();
    core->Items()->Next();
    core->DeleteItem();
    SaveInvoice(core);
    EXPECT_EQ(Dump("nota_fiscal_item"),
              "0010000057|57|1|00007|PC|020|1.0|1.0|1.0|5102|12.0|0.12|\n"
              "0010000057|57|1|00007|PC|020|3.0|3.0|9.0|5102|12.0|1.08|\n");

    // Shown again in the order typed, the totals as stored.
    core->Header()->First();
    core->Header()->Last();
    ASSERT_EQ(core->Items()->RecordCount(), 2);
    core->Items()->First();
    EXPECT_DOUBLE_EQ(core->Items()->FieldByName("Quantidade")->AsFloat(), 1);
    core->Items()->Next();
    EXPECT_DOUBLE_EQ(core->Items()->FieldByName("Quantidade")->AsFloat(), 3);
    EXPECT_DOUBLE_EQ(Num(core, "Valor_Produto"), 10);
}

TEST_F(InvoiceEntry, AnItemWhoseProductWasDeletedStaysAndStopsTheSave) {
    DocumentCore* core = Invoices();
    core->Header()->Insert();
    AddItem(core, 1, "1", 10);
    AddItem(core, 2, "7", 5);
    SaveInvoice(core);
    Exec("delete from produto where id_produto = '00007'");
    core->Header()->Refresh();
    core->Mostra_Tudo();
    ASSERT_EQ(core->Items()->RecordCount(), 2);
    core->Items()->Last();
    EXPECT_EQ(core->Items()->FieldByName("Descricao_Abreviada")->AsString(), "PRODUTO NÃO CADASTRADO");

    core->Header()->Edit();
    // Passing over its product code leaves the row as it is.
    core->Items()->Last();
    EXPECT_FALSE(core->ApplyProduct("00007"));
    EXPECT_EQ(core->Items()->FieldByName("Descricao_Abreviada")->AsString(), "PRODUTO NÃO CADASTRADO");
    EXPECT_EQ(Refused(core, "O Produto '00007' não está mais cadastrado; exclua o item ou cadastre o produto."),
              std::string(DocumentCore::kErrorsHeading) +
                  "\r\n\r\nO Produto '00007' não está mais cadastrado; exclua o item ou cadastre o produto.\r\n");
    core->Items()->Last();
    core->DeleteItem();
    SaveInvoice(core);
    EXPECT_EQ(Count("select count(*) from nota_fiscal_item"), 1);
    EXPECT_DOUBLE_EQ(Num(core, "Valor_Total_Nota"), 10);
}

TEST_F(InvoiceEntry, AFailedItemWriteUndoesHeaderCounterAndItems) {
    DocumentCore* core = Invoices();
    int keys = 0;
    CountKeys(core, keys);
    SaveSimpleInvoice(core);  // 57, one item
    const std::string before = Dump({"nota_fiscal", "nota_fiscal_item", "serie_documento"});
    Exec("create temp trigger segundo_item before insert on nota_fiscal_item when (select count(*) from "
         "nota_fiscal_item where id_nota_fiscal = new.id_nota_fiscal and id_serie_documento = "
         "new.id_serie_documento) = 1 begin select raise(abort, 'falha simulada no segundo item'); end");

    // A new invoice: its header, its counter and its first item are undone.
    core->Header()->Insert();
    AddItem(core, 1, "1", 10);
    AddItem(core, 2, "7", 5);
    std::string shown = Refused(core, "Não foi possível salvar a Nota Fiscal; nada foi gravado.");
    EXPECT_NE(shown.find("falha simulada no segundo item"), std::string::npos) << shown;
    EXPECT_EQ(dialogs.Shown().back().caption, "Erro");
    EXPECT_EQ(Dump({"nota_fiscal", "nota_fiscal_item", "serie_documento"}), before);
    EXPECT_EQ(core->Items()->RecordCount(), 2) << "the typed items stay for another try";

    // Once the cause is gone the same row saves, with the key made the first time.
    Exec("drop trigger segundo_item");
    SaveInvoice(core);
    EXPECT_EQ(keys, 2);
    EXPECT_EQ(Count("select count(*) from nota_fiscal"), 2);
    EXPECT_EQ(Count("select count(*) from nota_fiscal_item where id_nota_fiscal = 58"), 2);
    EXPECT_EQ(Counter(1), "59");
    EXPECT_EQ(core->Header()->RecordCount(), 2) << "the query holds the row once";

    // An edit: the items deleted before the rewrite come back.
    const std::string saved = Dump({"nota_fiscal", "nota_fiscal_item", "serie_documento"});
    Exec("create temp trigger segundo_item before insert on nota_fiscal_item when (select count(*) from "
         "nota_fiscal_item where id_nota_fiscal = new.id_nota_fiscal) = 1 begin select raise(abort, 'falha'); end");
    core->Header()->Edit();
    core->Field("Valor_Frete")->SetAsFloat(3);
    core->Calcula_Total_Nota();
    Refused(core, "Não foi possível salvar a Nota Fiscal");
    EXPECT_EQ(Dump({"nota_fiscal", "nota_fiscal_item", "serie_documento"}), saved);
    EXPECT_EQ(core->Header()->State(), dsEdit);
}

TEST_F(InvoiceEntry, DeletingAnInvoiceDeletesItsItemsInTheSameTransaction) {
    DocumentCore* core = Invoices();
    core->Header()->Insert();
    AddItem(core, 1, "1", 10);
    AddItem(core, 2, "7", 5);
    SaveInvoice(core);
    SaveSimpleInvoice(core);  // 58 stays

    ASSERT_TRUE(core->Header()->Locate("Id_Nota_Fiscal", Variant(57), {}));
    Exec("create temp trigger sem_exclusao before delete on nota_fiscal begin select raise(abort, 'bloqueado'); end");
    const std::string before = Dump({"nota_fiscal", "nota_fiscal_item"});
    dialogs.Expect("Não foi possível excluir a Nota Fiscal; nada foi apagado.", mrOk, "Erro");
    EXPECT_THROW(core->Header()->Delete(), EAbort);
    EXPECT_EQ(Dump({"nota_fiscal", "nota_fiscal_item"}), before);

    Exec("drop trigger sem_exclusao");
    core->Header()->Delete();
    EXPECT_EQ(Count("select count(*) from nota_fiscal_item where id_nota_fiscal = 57"), 0);
    EXPECT_EQ(Count("select count(*) from nota_fiscal_item where id_nota_fiscal = 58"), 1);
    EXPECT_EQ(Count("select count(*) from nota_fiscal"), 1);
}

TEST_F(InvoiceEntry, TheClientCodeIsPaddedAndItsSellerOffered) {
    DocumentCore* core = Invoices();
    std::map<std::string, std::vector<std::string>> panels;
    core->OnLookup = [&](const std::string& name, const LookupResult& r) {
        panels[name] = r.found ? r.texts : std::vector<std::string>(r.texts.size(), "?");
    };
    core->Header()->Insert();
    // No seller yet: the client's own is taken without a question.
    core->ClientExit("42");
    EXPECT_EQ(core->Field("Id_Cliente")->AsString(), "0000042");
    EXPECT_EQ(core->Field("Id_Vendedor")->AsInteger(), 3);
    EXPECT_EQ(panels["Vendedor"][0], "Ana Souza");

    dialogs.Expect("Deseja substituir o vendedor atual pelo padrão do cliente ?", mrYes, "Atenção");
    core->ClientExit("43");
    EXPECT_EQ(core->Field("Id_Vendedor")->AsInteger(), 4);
    EXPECT_EQ(panels["Vendedor"][0], "Bruno Lima") << "the panel shows the seller just taken";
    EXPECT_EQ(panels["Cliente"], (std::vector<std::string>{"Mercado Costa Ltda", "Costa"}));

    dialogs.Expect("Deseja substituir o vendedor atual pelo padrão do cliente ?", mrNo);
    core->ClientExit("42");
    EXPECT_EQ(core->Field("Id_Vendedor")->AsInteger(), 4);

    core->ClientExit("44");  // a client without a seller offers none
    EXPECT_EQ(core->Field("Id_Vendedor")->AsInteger(), 4);

    // A code that is not a number stays as typed; the save names the client.
    core->ClientExit("A1B");
    EXPECT_EQ(core->Field("Id_Cliente")->AsString(), "A1B");
    EXPECT_EQ(panels["Cliente"], (std::vector<std::string>{"?", "?"}));
    AddItem(core, 1, "1", 10);
    Refused(core, "O Cliente não foi informado.");
}

TEST_F(InvoiceEntry, YesToTheTransmitQuestionWritesAValidNFeAndNoWritesNothing) {
    NFE_REQUIRE_SCHEMAS();
    fs::create_directory(dir.path() / "envio");
    dmdb->Set_Var("pasta_nfe_envio", dir.file("envio"));
    DocumentCore* core = Invoices();
    core->Header()->Insert();
    AddItem(core, 3, "1", 10.50);
    AddItem(core, 2, "7", 4.25);
    dialogs.Expect(MsgTransmitir, mrYes, "Transmitir NF-e");
    dialogs.Expect("não está instalado", mrOk);  // the monitor is not on this machine
    core->Header()->Post();
    std::string key = Scalar("select numero_nfe from nota_fiscal");
    std::string file = dir.file("envio/" + key + "-nfe.xml");
    ASSERT_TRUE(fs::exists(file));
    nfetest::CheckResult r = nfetest::ValidateFile(file, "nfe_v1.10.xsd", true);
    EXPECT_TRUE(r.ok) << r.output;
    std::string xml = testsupport::ReadAll(file);
    EXPECT_NE(xml.find("<vNF>40.00</vNF>"), std::string::npos) << xml;

    fs::remove(file);
    core->Header()->Edit();
    SaveInvoice(core);
    EXPECT_TRUE(fs::is_empty(dir.path() / "envio"));

    // The writer's refusal is shown; the invoice stays saved.
    Exec("update cliente set cpf_cnpj = '11222333000100'");
    core->Header()->Edit();
    core->Field("Valor_Frete")->SetAsFloat(1);
    core->Calcula_Total_Nota();
    dialogs.Expect(MsgTransmitir, mrYes);
    dialogs.Expect("não está instalado", mrOk);
    dialogs.Expect("NF-e não gerada", mrOk, "Erro");
    core->Header()->Post();
    EXPECT_EQ(core->Header()->State(), dsBrowse);
    EXPECT_EQ(Scalar("select valor_frete from nota_fiscal"), "1.0");
    EXPECT_TRUE(fs::is_empty(dir.path() / "envio"));
}

}  // namespace

namespace {

// An item as typed: quantity in thousandths, unit price in ten-thousandths,
// the product's rate and reduction in hundredths of a percent.
struct TypedItem {
    long long quantity, price, rate;
    const char* cst;
    long long reduction;
};

long long HalfUp(long long numerator, long long denominator) { return (numerator + denominator / 2) / denominator; }

// The element's text inside the file's ICMSTot group.
std::string Total(const std::string& Xml, const std::string& Element) {
    const std::size_t group = Xml.find("<ICMSTot>");
    const std::size_t open = Xml.find("<" + Element + ">", group);
    const std::size_t close = Xml.find("</" + Element + ">", open);
    if (group == std::string::npos || open == std::string::npos || close == std::string::npos) return "<none>";
    return Xml.substr(open + Element.size() + 2, close - open - Element.size() - 2);
}

std::string Cents(long long Value) {
    return std::to_string(Value / 100) + "." + (Value % 100 < 10 ? "0" : "") + std::to_string(Value % 100);
}

}  // namespace

// The invoice states what its NF-e states: every item's value, base and tax
// each to the cent, added up (what the tax authority validates), never a sum
// of unrounded parts rounded once. Form, table and file agree to the cent.
TEST_F(InvoiceEntry, TheTotalsAreTheSumsOfTheItemsCentsAsTheNFeStatesThem) {
    NFE_REQUIRE_SCHEMAS();
    Exec("insert into situacao_tributaria (Id_Situacao_Tributaria, Descricao) values ('040', 'Isenta')");
    const struct {
        const char* name;
        std::vector<TypedItem> items;
        long long discount, freight, insurance;  // cents
    } cases[] = {
        // ICMS 12,924 + 15,0012 + 1,53125: 29,45 item by item, 29,46 rounded once.
        {"three items", {{1000, 718000, 1800, "000", 0}, {1000, 833400, 1800, "000", 0}, {2500, 87500, 700, "000", 0}},
         0, 0, 0},
        {"many small taxes", {{1000, 700, 700, "000", 0}, {1000, 700, 700, "000", 0}, {1000, 700, 700, "000", 0},
                              {1000, 700, 700, "000", 0}, {1000, 700, 700, "000", 0}},
         0, 0, 0},
        {"half cents in values", {{3000, 3350, 1800, "000", 0}, {1000, 10050, 1200, "000", 0}, {7000, 1450, 1700, "000", 0}},
         100, 355, 0},
        {"reduced base", {{1000, 1000000, 1800, "020", 3333}, {3000, 105000, 1200, "020", 1000}, {1000, 9900, 700, "020", 4167}},
         0, 0, 250},
        {"an exempt item", {{2000, 12345, 1800, "000", 0}, {1000, 50000, 1800, "040", 0}}, 0, 1000, 0},
        {"fractions of a unit", {{12345, 12345678, 1700, "000", 0}, {333, 33333, 1800, "000", 0}}, 99, 1, 1},
    };
    fs::create_directory(dir.path() / "envio");
    dmdb->Set_Var("pasta_nfe_envio", dir.file("envio"));
    DocumentCore* core = Invoices();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Exec("delete from produto");
        long long products = 0, base = 0, icms = 0;
        for (std::size_t i = 0; i < c.items.size(); ++i) {
            const TypedItem& t = c.items[i];
            const std::string code = "0010" + std::to_string(i);
            Exec("insert into produto (Id_Produto, Descricao, Descricao_Abreviada, Id_Unidade_Medida, "
                 "Id_CST_Estadual, Aliq_ICMS_Estadual, RBC_Estadual) values (:pid, 'Produto', 'PRODUTO', 'UN', :pcst, "
                 ":prate, :pred)",
                 {{"pid", Variant(code)},
                  {"pcst", Variant(std::string(t.cst))},
                  {"prate", Variant(static_cast<double>(t.rate) / 100)},
                  {"pred", Variant(static_cast<double>(t.reduction) / 100)}});
            // Value: quantity x price, to the cent. Base: the value less the
            // reduction, to the cent. Tax: the rate of the base, to the cent.
            const long long value = HalfUp(t.quantity * t.price, 100000);
            products += value;
            if (std::string(t.cst) == "040") continue;
            const long long itemBase = t.reduction == 0 ? value : HalfUp(value * (10000 - t.reduction), 10000);
            base += itemBase;
            // Without a reduction the tax is taken on the exact value.
            icms += t.reduction == 0 ? HalfUp(t.quantity * t.price * t.rate, 1000000000)
                                     : HalfUp(itemBase * t.rate, 10000);
        }
        const long long total = products - c.discount + c.freight + c.insurance;

        core->Header()->Insert();
        for (std::size_t i = 0; i < c.items.size(); ++i)
            AddItem(core, static_cast<double>(c.items[i].quantity) / 1000, "0010" + std::to_string(i),
                    static_cast<double>(c.items[i].price) / 10000);
        core->Field("Valor_Desconto")->SetAsFloat(static_cast<double>(c.discount) / 100);
        core->Field("Valor_Frete")->SetAsFloat(static_cast<double>(c.freight) / 100);
        core->Field("Valor_Seguro")->SetAsFloat(static_cast<double>(c.insurance) / 100);
        core->Calcula_Total_Nota();
        dialogs.Expect(MsgTransmitir, mrYes, "Transmitir NF-e");
        dialogs.Expect("não está instalado", mrOk);
        core->Header()->Post();
        const std::string key = core->Field("Numero_NFe")->AsString();
        const std::string where = " from nota_fiscal where numero_nfe = '" + key + "'";
        const std::string xml = testsupport::ReadAll(dir.file("envio/" + key + "-nfe.xml"));
        const struct {
            const char* column;
            const char* element;
            long long cents;
        } totals[] = {{"valor_produto", "vProd", products},
                      {"valor_base_calculo", "vBC", base},
                      {"valor_icms", "vICMS", icms},
                      {"valor_total_nota", "vNF", total}};
        for (const auto& t : totals) {
            SCOPED_TRACE(t.column);
            EXPECT_EQ(Scalar("select printf('%.2f', " + std::string(t.column) + ")" + where), Cents(t.cents));
            EXPECT_EQ(Scalar("select cast(round(" + std::string(t.column) + " * 100) as integer) = " +
                             std::to_string(t.cents) + " and abs(" + t.column + " * 100 - " +
                             std::to_string(t.cents) + ") < 1e-6" + where),
                      "1")
                << "stored as the cents themselves";
            EXPECT_EQ(Total(xml, t.element), Cents(t.cents));
        }
        nfetest::CheckResult r = nfetest::ValidateFile(dir.file("envio/" + key + "-nfe.xml"), "nfe_v1.10.xsd", true);
        EXPECT_TRUE(r.ok) << r.output;
    }
}
