// Shipping lists without a window: the settings' counter, CFOP 5102 on the
// list and its items, the checks, the total without insurance, and the same
// all-or-nothing save and delete as invoices. Also the keyboard rules of
// both item grids.
#include "tests/billing/forms/DocumentFixture.h"

using namespace billing::forms;

namespace {

class ShippingListEntry : public billtest::DocumentSession {
protected:
    std::string Counter() { return Scalar("select numero_proximo_romaneio from opcao"); }
    std::string Refused(DocumentCore* Core, const std::string& Part, const std::string& Caption = "Atenção") {
        dialogs.Expect(Part, mrOk, Caption);
        EXPECT_THROW(Core->Header()->Post(), EAbort);
        EXPECT_TRUE(Core->Editing());
        return dialogs.Shown().empty() ? std::string() : dialogs.Shown().back().text;
    }
};

TEST_F(ShippingListEntry, TheSettingsCounterNumbersListsAndMovesOnlyWhenANewOneIsSaved) {
    DocumentCore* core = Lists();
    core->Header()->Insert();
    EXPECT_EQ(core->Field("Id_Romaneio")->AsInteger(), 120);
    EXPECT_EQ(core->Field("Id_CFOP")->AsString(), "5102");
    EXPECT_EQ(core->Field("Id_Vendedor")->AsInteger(), 3);
    EXPECT_EQ(core->Field("Data_Emissao")->AsDateTime(), EncodeDate(2010, 6, 15));
    EXPECT_EQ(core->Shown("Cliente").texts, (std::vector<std::string>{"Comercial Silva Ltda"}));
    AddItem(core, 2, "1", 10);
    core->Header()->Post();
    EXPECT_EQ(Counter(), "121");

    core->Header()->Edit();
    core->Field("Observacao")->SetAsString("Entregar cedo");
    core->Header()->Post();
    EXPECT_EQ(Counter(), "121");

    core->Header()->Insert();
    core->Header()->Cancel();
    core->Header()->First();
    core->Header()->Edit();
    core->Header()->Post();
    EXPECT_EQ(Counter(), "121");

    // A counter never set counts as 1.
    Exec("update opcao set numero_proximo_romaneio = null");
    core->Header()->Insert();
    EXPECT_EQ(core->Field("Id_Romaneio")->AsInteger(), 1);
    AddItem(core, 1, "7", 3);
    core->Header()->Post();
    EXPECT_EQ(Counter(), "2");
    EXPECT_EQ(Dump("romaneio_item"),
              "120|00001|UN|000|2.0|10.0|20.0|5102|18.0|3.6|\n"
              "1|00007|PC|020|1.0|3.0|3.0|5102|12.0|0.36|\n");
}

TEST_F(ShippingListEntry, AClientCodeTypedShortIsPaddedAsOnTheInvoice) {
    DocumentCore* core = Lists();
    core->Header()->Insert();
    core->Field("Id_Cliente")->SetAsString("43");
    core->ClientExit("43");
    EXPECT_EQ(core->Field("Id_Cliente")->AsString(), "0000043");
    EXPECT_TRUE(core->Found("Cliente"));
    EXPECT_EQ(core->Shown("Cliente").texts, (std::vector<std::string>{"Mercado Costa Ltda"}));
    // Browsing, the code is only looked up, never written.
    core->Header()->Cancel();
    EXPECT_NO_THROW(core->ClientExit("43"));
}

TEST_F(ShippingListEntry, EveryItemIsStoredWithTheListsCfop) {
    DocumentCore* core = Lists();
    core->Header()->Insert();
    AddItem(core, 1, "1", 10);
    AddItem(core, 1, "7", 10);
    AddItem(core, 1, "12", 10);  // no tax situation check on a list
    core->Header()->Post();
    EXPECT_EQ(Scalar("select id_cfop from romaneio"), "5102");
    EXPECT_EQ(Count("select count(*) from romaneio_item where id_cfop = '5102'"), 3);
}

TEST_F(ShippingListEntry, ChecksInTheirOrderAndATotalWithoutInsurance) {
    Exec("update opcao set id_transportador = null, id_conta_corrente = null, id_cliente = null");
    DocumentCore* core = Lists();
    core->Header()->Insert();
    core->Field("Data_Emissao")->Clear();
    EXPECT_EQ(Refused(core, "Foram identificados erros"),
              "Foram identificados erros, por favor corrija: \r\n\r\n"
              "O Cliente não foi informado.\r\n"
              "O Transportador não foi informado.\r\n"
              "A Conta Corrente não foi informado.\r\n"
              "A Data da Emissão não foi Informada.\r\n"
              "Não foram informados os produtos da Nota Fiscal.\r\n");

    core->Field("Id_Cliente")->SetAsString("0000043");
    core->Field("Id_Transportador")->SetAsInteger(7);
    core->Field("Id_Conta_Corrente")->SetAsInteger(1);
    core->Field("Data_Emissao")->SetAsDateTime(EncodeDate(2010, 6, 15));
    core->Field("Valor_Frete")->SetAsFloat(7.25);
    AddItem(core, 2, "1", 100);
    core->Field("Valor_Desconto")->SetAsFloat(20);
    core->Calcula_Total_Nota();
    EXPECT_DOUBLE_EQ(Num(core, "Valor_Produto"), 200);
    EXPECT_DOUBLE_EQ(Num(core, "Valor_Base_Calculo"), 200);
    EXPECT_DOUBLE_EQ(Num(core, "Valor_ICMS"), 36);
    EXPECT_DOUBLE_EQ(Num(core, "Valor_Total"), 187.25);

    core->Field("Valor_Desconto")->SetAsFloat(300);
    core->Calcula_Total_Nota();
    Refused(core, "O Valor do Romaneio não pode ser negativo.");
    core->Field("Valor_Desconto")->SetAsFloat(20);
    core->Calcula_Total_Nota();

    Exec("insert into romaneio (id_romaneio) values (120)");
    Refused(core, "Já existe um Romaneio com este Número.");
    core->Field("Id_Romaneio")->SetAsInteger(0);
    Refused(core, "O Número do Romaneio deve ser maior que zero.");
    core->Field("Id_Romaneio")->SetAsInteger(121);
    core->Header()->Post();
    EXPECT_EQ(Scalar("select valor_total from romaneio where id_romaneio = 121"), "187.25");
}

TEST_F(ShippingListEntry, AFailedItemWriteUndoesEverything) {
    DocumentCore* core = Lists();
    core->Header()->Insert();
    AddItem(core, 1, "1", 10);
    core->Header()->Post();
    const std::string before = Dump({"romaneio", "romaneio_item", "opcao"});
    Exec("create temp trigger segundo_item before insert on romaneio_item when (select count(*) from romaneio_item "
         "where id_romaneio = new.id_romaneio) = 1 begin select raise(abort, 'falha simulada'); end");
    core->Header()->Insert();
    AddItem(core, 1, "1", 10);
    AddItem(core, 2, "7", 10);
    EXPECT_NE(Refused(core, "Não foi possível salvar o Romaneio; nada foi gravado.", "Erro").find("falha simulada"),
              std::string::npos);
    EXPECT_EQ(Dump({"romaneio", "romaneio_item", "opcao"}), before);

    core->Header()->Cancel();
    core->Header()->Edit();
    AddItem(core, 3, "7", 1);
    Refused(core, "Não foi possível salvar o Romaneio", "Erro");
    EXPECT_EQ(Dump({"romaneio", "romaneio_item", "opcao"}), before);
}

TEST_F(ShippingListEntry, ADeletedListLeavesNoItemsAndANewListStartsEmpty) {
    DocumentCore* core = Lists();
    core->Header()->Insert();
    AddItem(core, 1, "1", 10);
    AddItem(core, 1, "7", 10);
    core->Header()->Post();
    core->Header()->Delete();
    EXPECT_EQ(Count("select count(*) from romaneio"), 0);
    EXPECT_EQ(Count("select count(*) from romaneio_item"), 0);

    // Rows an older program left under a number the counter gives again.
    Exec("insert into romaneio_item (id_romaneio, id_produto, quantidade) values (121, '00001', 5)");
    Exec("update opcao set numero_proximo_romaneio = 121");
    core->Header()->Insert();
    EXPECT_EQ(core->Field("Id_Romaneio")->AsInteger(), 121);
    EXPECT_TRUE(core->Items()->IsEmpty());
    AddItem(core, 2, "7", 1);
    core->Header()->Post();
    EXPECT_EQ(Dump("romaneio_item"), "121|00007|PC|020|2.0|1.0|2.0|5102|12.0|0.24|\n");
}

TEST_F(ShippingListEntry, ItemsChangeOnlyWithTheirList) {
    DocumentCore* core = Lists();
    core->Header()->Insert();
    AddItem(core, 1, "1", 10);
    core->Header()->Post();
    // Browsing: the buffer shows what is stored and refuses changes.
    EXPECT_THROW(core->Items()->Edit(), EAbort);
    EXPECT_THROW(core->Items()->Append(), EAbort);
    core->DeleteItem();
    EXPECT_EQ(core->Items()->RecordCount(), 1);
    EXPECT_FALSE(core->ApplyProduct("7"));
    // An undo drops what was typed.
    core->Header()->Edit();
    AddItem(core, 5, "7", 1);
    EXPECT_EQ(core->Items()->RecordCount(), 2);
    core->Header()->Cancel();
    EXPECT_EQ(core->Items()->RecordCount(), 1);
}

// Column, key and product text against what the grid gets and does; worked
// from the column lists of each grid.
struct KeyCase {
    int column;
    char32_t key;
    const char* product;
    char32_t replaced;
    bool search;
    GridMove move;
    int target;
};

void CheckKeys(const GridKeyPolicy& keys, const std::vector<KeyCase>& cases) {
    for (const KeyCase& c : cases) {
        GridKeyResult r = keys.Apply(c.column, c.key, c.product);
        SCOPED_TRACE("column " + std::to_string(c.column) + " (" + keys.FieldOf(c.column) + "), key " +
                     std::to_string(static_cast<int>(c.key)));
        EXPECT_EQ(r.key, c.replaced);
        EXPECT_EQ(r.searchProduct, c.search);
        EXPECT_EQ(r.move, c.move);
        EXPECT_EQ(r.column, c.target);
    }
}

TEST(GridKeys, TheInvoiceGrid) {
    InvoicePolicy invoice;
    const GridKeyPolicy& keys = invoice.Keys();
    EXPECT_EQ(keys.ColumnCount(), 11);
    EXPECT_EQ(keys.FieldOf(8), "Valor_Unitario");
    const char32_t enter = 13;
    CheckKeys(keys, {
                        // An amount's "." is the cell's to read (GridAmounts).
                        {1, U'.', "", U'.', false, GridMove::None, 0},
                        {1, U'5', "", U'5', false, GridMove::None, 0},
                        {2, U'.', "", U'.', false, GridMove::None, 0},
                        {6, U'.', "", U'.', false, GridMove::None, 0},
                        {8, U'.', "", U'.', false, GridMove::None, 0},
                        {10, U'.', "", U'.', false, GridMove::None, 0},
                        {1, enter, "", 0, false, GridMove::NextColumn, 2},
                        {2, enter, " ", 0, true, GridMove::NextColumn, 3},
                        {2, enter, "00007", 0, false, GridMove::NextColumn, 3},
                        {7, enter, "", 0, false, GridMove::NextColumn, 8},
                        {8, enter, "", 0, false, GridMove::NewItem, 1},
                        {9, enter, "", 0, false, GridMove::NextColumn, 10},
                        {10, enter, "", 0, false, GridMove::None, 0},
                    });
}

TEST(GridKeys, TheShippingListGrid) {
    ShippingListPolicy list;
    const GridKeyPolicy& keys = list.Keys();
    EXPECT_EQ(keys.ColumnCount(), 10);
    EXPECT_EQ(keys.FieldOf(3), "id_unidade_medida");
    const char32_t enter = 13;
    CheckKeys(keys, {
                        {1, U'.', "", U'.', false, GridMove::None, 0},
                        {7, U'.', "", U'.', false, GridMove::None, 0},
                        {8, U'.', "", U'.', false, GridMove::None, 0},
                        {2, enter, "", 0, true, GridMove::NextColumn, 3},
                        {6, enter, "", 0, false, GridMove::NextColumn, 7},
                        {7, enter, "", 0, false, GridMove::NewItem, 1},
                        {9, enter, "", 0, false, GridMove::None, 0},
                    });
}

}  // namespace

// The counter reaches the last number a list's 32-bit column holds: that
// number is taken and saved once, the counter moves past it without wrapping,
// and the next new list is refused with a box that says the numbers are
// spent, not that its number exists; nothing wraps round to a used number.
TEST_F(ShippingListEntry, TheCounterStopsAtTheLastNumberAndTheClerkIsToldSo) {
    const std::int64_t last = 2147483647;  // the largest 32-bit integer
    Exec("update opcao set numero_proximo_romaneio = " + std::to_string(last - 1));
    DocumentCore* core = Lists();
    for (std::int64_t expected : {last - 1, last}) {
        core->Header()->Insert();
        EXPECT_EQ(core->Field("Id_Romaneio")->AsInteger(), expected);
        AddItem(core, 1, "1", 10);
        core->Header()->Post();
        EXPECT_EQ(Counter(), std::to_string(expected + 1));
    }
    for (int again = 0; again < 2; ++again) {
        core->Header()->Insert();
        AddItem(core, 1, "1", 10);
        Refused(core, "Os números de Romaneio se esgotaram");
        core->Header()->Cancel();
    }
    EXPECT_EQ(Counter(), std::to_string(last + 1));
    EXPECT_EQ(Count("select count(*) from romaneio where id_romaneio < 1 or id_romaneio > 2147483647"), 0);
    EXPECT_EQ(Count("select count(*) from romaneio where id_romaneio >= 2147483646"), 2);
}
