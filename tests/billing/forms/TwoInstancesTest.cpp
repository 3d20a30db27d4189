// Two instances of the program on one database file: the other instance is
// a second connection to the same file, writing what its own save would.
// A save never overwrites or mixes with a row the other saved since it was
// read, and a number the other took first is refused in Portuguese.
#include <functional>

#include "billing/forms/Nota102.h"
#include "billing/forms/Nota103.h"
#include "billing/forms/RecordRow.h"
#include "tests/billing/forms/DocumentFixture.h"
#include "tests/billing/forms/RegisterFixture.h"

using namespace billing::forms;

namespace {

class TwoInvoiceInstances : public billtest::DocumentSession {
protected:
    void SetUp() override {
        billtest::DocumentSession::SetUp();
        other.SetDatabaseName(database);
    }
    void TearDown() override {
        other.Close();
        billtest::DocumentSession::TearDown();
    }
    TSQLConnection other;
};

template <typename Form>
class TwoInstancesOf : public billtest::RegisterSession<Form> {
protected:
    void SetUp() override {
        billtest::RegisterSession<Form>::SetUp();
        other.SetDatabaseName(this->database);
    }
    void TearDown() override {
        other.Close();
        billtest::RegisterSession<Form>::TearDown();
    }
    TSQLConnection other;
};
using TwoRegisterInstances = TwoInstancesOf<TfrmNota103>;
using TwoSellerInstances = TwoInstancesOf<TfrmNota102>;

}  // namespace

TEST_F(TwoInvoiceInstances, ASaveOverARowTheOtherInstanceChangedSavesNothingAndReloads) {
    struct Case {
        const char* name;
        std::function<void(DocumentCore*)> here;  // this instance's change
        std::vector<std::string> there;           // the other instance's save
    };
    const std::vector<Case> cases = {
        {"freight here, items there",
         [](DocumentCore* c) {
             c->Field("Valor_Frete")->SetAsFloat(50);
             c->Calcula_Total_Nota();
         },
         {"update nota_fiscal_item set quantidade = 2, valor_total = 20, valor_icms = 3.6",
          "update nota_fiscal set valor_produto = 20, valor_base_calculo = 20, valor_icms = 3.6, "
          "peso_bruto = 2, peso_liquido = 2, valor_total_nota = 20"}},
        {"items here, freight there", [](DocumentCore* c) { AddItem(c, 1, "1", 10); },
         {"update nota_fiscal set valor_frete = 50, valor_total_nota = 60"}},
        {"freight here, only an item's product there",
         [](DocumentCore* c) {
             c->Field("Valor_Frete")->SetAsFloat(50);
             c->Calcula_Total_Nota();
         },
         {"update nota_fiscal_item set id_produto = '00007'"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Exec("delete from nota_fiscal_item");
        Exec("delete from nota_fiscal");
        DocumentCore* core = Invoices();
        core->Header()->Insert();
        AddItem(core, 1, "1", 10);
        SaveInvoice(core);

        core->Header()->Edit();
        k.here(core);
        for (const std::string& sql : k.there) other.Execute(sql);
        const std::string theirs = Dump({"nota_fiscal", "nota_fiscal_item"});

        dialogs.Expect(kChangedByAnotherUser, mrOk, "Atenção");
        EXPECT_THROW(core->Header()->Post(), EAbort);
        EXPECT_EQ(Dump({"nota_fiscal", "nota_fiscal_item"}), theirs) << "nothing of this save was written";
        EXPECT_FALSE(core->Editing());
        // The screen shows the file's row and items again.
        EXPECT_EQ(std::stod(Scalar("select valor_total_nota from nota_fiscal")), Num(core, "Valor_Total_Nota"));
        EXPECT_EQ(Scalar("select group_concat(id_produto || 'x' || cast(quantidade as integer)) from nota_fiscal_item"),
                  core->Items()->FieldByName("Id_Produto")->AsString() + "x" +
                      core->Items()->FieldByName("Quantidade")->AsString());
        // Saved again from the reloaded row, the change goes through whole.
        core->Header()->Edit();
        core->Field("Valor_Seguro")->SetAsFloat(1);
        core->Calcula_Total_Nota();
        SaveInvoice(core);
        EXPECT_EQ(Scalar("select valor_total_nota - valor_produto - coalesce(valor_frete, 0) - valor_seguro "
                         "from nota_fiscal"),
                  "0.0");
        delete core;
    }
}

TEST_F(TwoInvoiceInstances, ANumberTheOtherInstanceSavedBetweenTheCheckAndTheInsertIsRefusedInPortuguese) {
    DocumentCore* core = Invoices();
    core->Header()->Insert();
    AddItem(core, 1, "1", 10);
    auto checks = core->Header()->BeforePost;
    core->Header()->BeforePost = [&](TDataSet* d) {
        checks(d);
        other.Execute("insert into nota_fiscal (id_nota_fiscal, id_serie_documento, id_cliente) "
                      "values (57, 1, '0000043')");
        other.Execute("insert into nota_fiscal_item (id_nota_fiscal, id_serie_documento, id_produto, quantidade) "
                      "values (57, 1, '00007', 9)");
    };
    dialogs.Expect("Já existe uma Nota Fiscal com este Número e Série.", mrOk, "Atenção");
    EXPECT_THROW(core->Header()->Post(), EAbort);
    EXPECT_TRUE(core->Inserting());
    EXPECT_EQ(Scalar("select id_cliente || ' ' || (select group_concat(id_produto || 'x' || quantidade) "
                     "from nota_fiscal_item) from nota_fiscal"),
              "0000043 00007x9.0")
        << "the other instance's invoice and items stay";
    EXPECT_EQ(Scalar("select proximo_numero from serie_documento where id_serie_documento = 1"), "57");
    core->Header()->BeforePost = checks;
    core->Header()->Cancel();
}

TEST_F(TwoRegisterInstances, ARowTheOtherInstanceChangedIsNotOverwrittenAndIsReloaded) {
    dmdb->ADOConnection->Execute("insert into transportador(id_transportador, nome, endereco, natureza, cpf_cnpj, "
                                 "id_municipio) values(5, 'Transportes Rápidos', 'Rua A', 'Física', "
                                 "'52998224725', 3509502)");
    Open();
    form->btnEdit->Click();
    Set("Endereco", "Rua B");
    other.Execute("update transportador set nome = 'Rápidos & Filhos' where id_transportador = 5");
    dialogs.Expect(kChangedByAnotherUser, mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    EXPECT_EQ(form->qry->State(), dsBrowse);
    EXPECT_EQ(F("Nome")->AsString(), "Rápidos & Filhos");
    EXPECT_EQ(F("Endereco")->AsString(), "Rua A");
    EXPECT_EQ(Scalar("select nome || '|' || endereco from transportador"), "Rápidos & Filhos|Rua A");

    // A row the other deleted is reported the same way, and deleting a row
    // the other changed deletes nothing.
    other.Execute("update transportador set endereco = 'Rua C'");
    dialogs.Expect(kChangedByAnotherUser, mrOk, "Atenção");
    EXPECT_THROW(form->qry->Delete(), EAbort);
    EXPECT_EQ(Scalar("select endereco from transportador"), "Rua C");
    EXPECT_EQ(F("Endereco")->AsString(), "Rua C");
}

// The sellers register states no clash of its own: the save layer words it.
TEST_F(TwoSellerInstances, ACodeTheOtherInstanceSavedBetweenTheCheckAndTheInsertIsRefusedInPortuguese) {
    Open();
    form->btnInsert->Click();
    Set("Nome", "Carla Dias");
    int code = F("Id_Vendedor")->AsInteger();
    auto checks = form->qry->BeforePost;
    form->qry->BeforePost = [&](TDataSet* d) {
        checks(d);
        other.Execute("insert into vendedor(id_vendedor, nome) values(:pid, 'Outro')", {{"pid", Variant(code)}});
    };
    dialogs.Expect("O Código do Vendedor \"" + std::to_string(code) + "\" já existe.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    EXPECT_EQ(form->qry->State(), dsInsert);
    EXPECT_EQ(Scalar("select nome from vendedor where id_vendedor = " + std::to_string(code)), "Outro");
    form->qry->BeforePost = checks;
}
