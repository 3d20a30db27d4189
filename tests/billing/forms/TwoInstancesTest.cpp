// Two instances of the program on one database file: the other instance is
// a second connection to the same file, writing what its own save would.
// A save never overwrites or mixes with a row the other saved since it was
// read, and a number the other took first is refused in Portuguese.
#include <cmath>
#include <functional>

#include "billing/forms/Nota102.h"
#include "billing/forms/Nota103.h"
#include "billing/forms/Nota108.h"
#include "billing/forms/Nota111.h"
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

// What the other instance does to the rows a register keeps beside its own
// (a user's rights, a term's installments) while this one edits the row.
struct ChildCase {
    const char* name;
    std::vector<std::string> there;
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
    // The save refuses, writes nothing, and the screen then shows the
    // file's row and rows; saved again from there, the change goes through
    // and keeps theirs. Stored(): the child rows of the edited row as one
    // text, from the file; Shown(): the same from the form's grid.
    void ChildRowsOfTheOtherInstanceStay(const std::vector<ChildCase>& Cases, const std::string& Table,
                                         const std::string& NameField, const std::function<std::string()>& Stored,
                                         const std::function<std::string()>& Shown) {
        int round = 0;
        for (const ChildCase& k : Cases) {
            SCOPED_TRACE(k.name);
            const std::string before = this->F(NameField)->AsString();
            this->form->btnEdit->Click();
            this->Set(NameField, "Nome " + std::to_string(++round));
            for (const std::string& sql : k.there) other.Execute(sql);
            const std::string theirs = Stored();

            this->dialogs.Expect(kChangedByAnotherUser, mrOk, "Atenção");
            EXPECT_THROW(this->form->btnSave->Click(), EAbort);
            EXPECT_EQ(this->form->qry->State(), dsBrowse);
            EXPECT_EQ(Stored(), theirs) << "their rows are not replaced";
            EXPECT_EQ(Shown(), theirs) << "the grid shows the file's rows";
            EXPECT_EQ(this->F(NameField)->AsString(), before);
            EXPECT_EQ(this->Count("select count(*) from " + Table + " where " + NameField + " = '" + before + "'"), 1);

            const std::string again = "Nome " + std::to_string(round) + "b";
            this->form->btnEdit->Click();
            this->Set(NameField, again);
            this->form->btnSave->Click();
            EXPECT_EQ(this->form->qry->State(), dsBrowse);
            EXPECT_EQ(this->Count("select count(*) from " + Table + " where " + NameField + " = '" + again + "'"), 1);
            EXPECT_EQ(Stored(), theirs);
        }
    }
    TSQLConnection other;
};
using TwoRegisterInstances = TwoInstancesOf<TfrmNota103>;
using TwoSellerInstances = TwoInstancesOf<TfrmNota102>;
using TwoUserInstances = TwoInstancesOf<TfrmNota111>;
using TwoTermInstances = TwoInstancesOf<TfrmNota108>;

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

TEST_F(TwoUserInstances, ARightTheOtherInstanceRevokedOrGrantedIsNotUndoneByThisSave) {
    AddUser("carla", "x");
    Grant("carla", "NOTA100");
    Grant("carla", "NOTA101");
    AddUser("davi", "y");
    Grant("davi", "NOTA100");
    Open();
    ASSERT_TRUE(form->qry->Locate("Id_Usuario", "carla", {}));
    auto stored = [this] {
        return Scalar("select group_concat(id_programa, ' ') from (select id_programa from usuario_programa "
                      "where id_usuario = 'carla' order by id_programa)");
    };
    auto shown = [this] {
        std::string s;
        for (form->tbTemp->First(); !form->tbTemp->Eof(); form->tbTemp->Next())
            if (form->tbTemp->FieldByName("Permitido")->AsString() == "Sim")
                s += (s.empty() ? "" : " ") + form->tbTemp->FieldByName("Id_programa")->AsString();
        return s;
    };
    ChildRowsOfTheOtherInstanceStay(
        {{"a right revoked", {"delete from usuario_programa where id_usuario = 'carla' and id_programa = 'NOTA101'"}},
         {"a right granted", {"insert into usuario_programa(id_usuario, id_programa) values('carla', 'NOTA114')"}},
         {"all rewritten alike but one",
          {"delete from usuario_programa where id_usuario = 'carla'",
           "insert into usuario_programa(id_usuario, id_programa) values('carla', 'NOTA100')",
           "insert into usuario_programa(id_usuario, id_programa) values('carla', 'NOTA102')"}}},
        "usuario", "Nome", stored, shown);

    // Another user's rights changing stops nothing.
    form->btnEdit->Click();
    Set("Nome", "Carla Dias");
    other.Execute("delete from usuario_programa where id_usuario = 'davi'");
    form->btnSave->Click();
    EXPECT_EQ(Scalar("select nome from usuario where id_usuario = 'carla'"), "Carla Dias");
    EXPECT_EQ(stored(), "NOTA100 NOTA102");
}

TEST_F(TwoTermInstances, AnInstallmentTheOtherInstanceChangedIsNotUndoneByThisSaveOrDelete) {
    for (const char* sql : {"insert into condicao_pagamento(id_condicao_pagamento, descricao) values(4, 'À vista')",
                            "insert into condicao_pagamento_parcela values(3, 30, 50)",
                            "insert into condicao_pagamento_parcela values(3, 60, 50)",
                            "insert into condicao_pagamento_parcela values(4, 0, 100)"})
        dmdb->ADOConnection->Execute(sql);
    Open();
    ASSERT_TRUE(form->qry->Locate("id_condicao_pagamento", 3, {}));
    auto stored = [this] {
        // Shares in thousandths: the text of a share hides a change by a hair.
        return Scalar("select group_concat(p, ' ') from (select prazo_dias || ':' || cast(round(percentual * 1000) "
                      "as integer) as p from condicao_pagamento_parcela where id_condicao_pagamento = 3 "
                      "order by prazo_dias, percentual)");
    };
    auto shown = [this] {
        std::string s;
        for (const billing::forms::Installment& r : form->Parcelas())
            s += (s.empty() ? "" : " ") + std::to_string(r.prazo_dias) + ":" +
                 std::to_string(std::llround(r.percentual * 1000));
        return s;
    };
    ChildRowsOfTheOtherInstanceStay(
        {{"shares changed",
          {"update condicao_pagamento_parcela set percentual = 40 where id_condicao_pagamento = 3 and prazo_dias = 30",
           "update condicao_pagamento_parcela set percentual = 60 where id_condicao_pagamento = 3 and prazo_dias = 60"}},
         {"an installment added",
          {"update condicao_pagamento_parcela set percentual = 30 where id_condicao_pagamento = 3 and prazo_dias = 60",
           "insert into condicao_pagamento_parcela values(3, 90, 30)"}},
         // The same installments written again by a share that moved by less than a cent.
         {"a share moved by a hair",
          {"update condicao_pagamento_parcela set percentual = 30.000000000000004 where id_condicao_pagamento = 3 "
           "and prazo_dias = 90"}}},
        "condicao_pagamento", "descricao", stored, shown);

    // A delete over installments the other changed deletes nothing.
    other.Execute("delete from condicao_pagamento_parcela where id_condicao_pagamento = 3 and prazo_dias = 90");
    other.Execute("update condicao_pagamento_parcela set percentual = 60 where id_condicao_pagamento = 3 and "
                  "prazo_dias = 60");
    dialogs.Expect(kChangedByAnotherUser, mrOk, "Atenção");
    EXPECT_THROW(form->qry->Delete(), EAbort);
    EXPECT_EQ(stored(), "30:40000 60:60000");
    EXPECT_EQ(Count("select count(*) from condicao_pagamento where id_condicao_pagamento = 3"), 1);

    // Another term's installments changing stops nothing.
    form->btnEdit->Click();
    Set("descricao", "30/60");
    other.Execute("update condicao_pagamento_parcela set prazo_dias = 1 where id_condicao_pagamento = 4");
    form->btnSave->Click();
    EXPECT_EQ(Scalar("select descricao from condicao_pagamento where id_condicao_pagamento = 3"), "30/60");
    EXPECT_EQ(stored(), "30:40000 60:60000");
}

// The series' counter only ever rises: numbers the other instance saved
// meanwhile are never handed out again, whatever number this save had. A
// number the other took first is refused with a box that says how to take
// the next, and the next one saves.
TEST_F(TwoInvoiceInstances, TheSeriesCounterNeverGoesBackAndATakenNumberSaysHowToTakeTheNext) {
    struct Case {
        const char* name;
        std::vector<std::string> there;  // while this instance types its invoice 57
        int counter;                     // the series' counter after this save
    };
    const std::vector<Case> cases = {
        {"nothing there", {}, 58},
        {"higher numbers saved there",
         {"insert into nota_fiscal (id_nota_fiscal, id_serie_documento, id_cliente) values (58, 1, '0000043')",
          "insert into nota_fiscal (id_nota_fiscal, id_serie_documento, id_cliente) values (59, 1, '0000043')",
          "update serie_documento set proximo_numero = 60 where id_serie_documento = 1"},
         60},
        {"the counter set back by hand there",
         {"update serie_documento set proximo_numero = 3 where id_serie_documento = 1"}, 58},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Exec("delete from nota_fiscal_item");
        Exec("delete from nota_fiscal");
        Exec("update serie_documento set proximo_numero = 57 where id_serie_documento = 1");
        DocumentCore* core = Invoices();
        core->Header()->Insert();
        ASSERT_EQ(core->Field("Id_Nota_Fiscal")->AsInteger(), 57);
        AddItem(core, 1, "1", 10);
        for (const std::string& sql : k.there) other.Execute(sql);
        SaveInvoice(core);
        EXPECT_EQ(Scalar("select proximo_numero from serie_documento where id_serie_documento = 1"),
                  std::to_string(k.counter));
        // The next invoice takes the counter and saves.
        core->Header()->Insert();
        EXPECT_EQ(core->Field("Id_Nota_Fiscal")->AsInteger(), k.counter);
        AddItem(core, 2, "1", 10);
        SaveInvoice(core);
        EXPECT_EQ(Count("select count(*) from nota_fiscal where id_nota_fiscal = " + std::to_string(k.counter)), 1);
        delete core;
    }

    // The other instance saves the number this one took: the box says how
    // to take the next, and doing so saves with the items kept.
    DocumentCore* core = Invoices();
    core->Header()->Insert();
    const int taken = core->Field("Id_Nota_Fiscal")->AsInteger();
    AddItem(core, 3, "7", 5);
    other.Execute("insert into nota_fiscal (id_nota_fiscal, id_serie_documento, id_cliente) values (:pn, 1, "
                  "'0000043')",
                  {{"pn", Variant(taken)}});
    other.Execute("update serie_documento set proximo_numero = :pn where id_serie_documento = 1",
                  {{"pn", Variant(taken + 1)}});
    dialogs.Expect("Já existe uma Nota Fiscal com este Número e Série.\r\n\r\nPara tomar o próximo número da série, "
                   "digite de novo a Série e saia do campo",
                   mrOk, "Atenção");
    EXPECT_THROW(core->Header()->Post(), EAbort);
    EXPECT_TRUE(core->Inserting());
    core->NextNumber();  // leaving the series edit
    EXPECT_EQ(core->Field("Id_Nota_Fiscal")->AsInteger(), taken + 1);
    SaveInvoice(core);
    EXPECT_EQ(Scalar("select cast(quantidade as integer) || 'x' || id_produto from nota_fiscal_item where "
                     "id_nota_fiscal = " + std::to_string(taken + 1)),
              "3x00007");
    EXPECT_EQ(Scalar("select proximo_numero from serie_documento where id_serie_documento = 1"),
              std::to_string(taken + 2));
    delete core;

    // The shipping lists' counter the same way.
    DocumentCore* lists = Lists();
    lists->Header()->Insert();
    ASSERT_EQ(lists->Field("Id_Romaneio")->AsInteger(), 120);
    AddItem(lists, 1, "1", 10);
    other.Execute("update opcao set numero_proximo_romaneio = 130");
    lists->Header()->Post();
    EXPECT_EQ(Scalar("select numero_proximo_romaneio from opcao"), "130");
    delete lists;
}
