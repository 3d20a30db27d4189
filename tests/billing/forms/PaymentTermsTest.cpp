// Payment terms and their installments: the rules the installments keep,
// the grid loaded per term, and the installments written in the term's own
// transaction, deleted with it, and never inherited by a new term.
#include <QApplication>
#include <QTest>

#include "billing/forms/Installments.h"
#include "billing/forms/Nota108.h"
#include "platform/rtl/Format.h"
#include "tests/billing/forms/FormFixture.h"
#include "tests/platform/ui/UiTestSupport.h"

using billing::forms::Installment;
using billing::forms::InstallmentValidator;

namespace {

constexpr const char* kSoma = "A soma dos percentuais das parcelas deve ser igual a 100% !";

class PaymentTerms : public billtest::Forms {
protected:
    void Grid(TfrmNota108* f, const std::vector<Installment>& Rows) {
        for (const Installment& r : Rows) {
            f->tbTemp->Append();
            f->tbTemp->FieldByName("prazo_dias")->SetAsInteger(r.prazo_dias);
            f->tbTemp->FieldByName("percentual")->SetAsFloat(r.percentual);
            f->tbTemp->Post();
        }
    }
    void ClearGrid(TfrmNota108* f) {
        while (!f->tbTemp->IsEmpty()) f->tbTemp->Delete();
    }
    // "days:percent" of the stored installments of a term, in days order.
    std::string Stored(int Term) {
        return Scalar("select group_concat(p, ' ') from (select prazo_dias || ':' || percentual as p from "
                      "condicao_pagamento_parcela where id_condicao_pagamento = " +
                      std::to_string(Term) + " order by prazo_dias)");
    }
    // "days:percent" of the grid, in grid order.
    std::string Shown(TfrmNota108* f) {
        std::string s;
        for (const Installment& r : f->Parcelas()) {
            if (!s.empty()) s += " ";
            s += std::to_string(r.prazo_dias) + ":" + FormatFloat("0.##", r.percentual);
        }
        return s;
    }
};

}  // namespace

TEST(InstallmentValidator, SharesMustMake100ToTheCentAndDaysMayNotRepeat) {
    EXPECT_EQ(InstallmentValidator::Check({{30, 50}, {60, 50}}), "");
    EXPECT_EQ(InstallmentValidator::Check({{30, 50}, {60, 40}}), kSoma);
    EXPECT_EQ(InstallmentValidator::Check({}), kSoma);
    EXPECT_EQ(InstallmentValidator::Check({{0, 100}}), "");
    EXPECT_EQ(InstallmentValidator::Check({{30, 33.33}, {60, 33.33}, {90, 33.34}}), "");
    // Zero and negative shares are not refused by themselves.
    EXPECT_EQ(InstallmentValidator::Check({{10, 0}, {30, -10}, {60, 110}}), "");
    // To the cent: 99.996 is 100.00, 99.994 is 99.99.
    EXPECT_EQ(InstallmentValidator::Check({{30, 99.996}}), "");
    EXPECT_EQ(InstallmentValidator::Check({{30, 99.994}}), kSoma);

    std::vector<Installment> tenths;
    double raw = 0;
    for (int i = 1; i <= 9; ++i) tenths.push_back({i * 10, 10.1});
    tenths.push_back({100, 9.1});
    for (const Installment& r : tenths) raw += r.percentual;
    ASSERT_NE(raw, 100.0);  // the binary sum misses 100 by a hair
    EXPECT_EQ(InstallmentValidator::Check(tenths), "");

    EXPECT_EQ(InstallmentValidator::Check({{30, 50}, {30, 50}}), "O prazo de \"30\" dias, foi informado mais de uma vez.");
    // The first number of days that comes again, in the order they appear.
    EXPECT_EQ(InstallmentValidator::Check({{60, 25}, {30, 25}, {30, 25}, {60, 25}}),
              "O prazo de \"60\" dias, foi informado mais de uma vez.");
    // The sum is checked first.
    EXPECT_EQ(InstallmentValidator::Check({{30, 50}, {30, 40}}), kSoma);
}

TEST_F(PaymentTerms, ATermIsSavedWithItsInstallmentsOnlyWhenTheyAreRight) {
    auto* f = Open<TfrmNota108>();
    EXPECT_EQ(f->Caption(), "Condições de Pagamento - NOTA108");
    f->btnInsert->Click();
    EXPECT_EQ(f->qry->FieldByName("id_condicao_pagamento")->AsInteger(), 1);
    EXPECT_EQ(f->qry->FieldByName("Inativo")->AsString(), "Não");
    f->qry->FieldByName("descricao")->SetAsString("30/60");

    dialogs.Expect(kSoma, mrOk, "Atenção");
    EXPECT_THROW(f->btnSave->Click(), EAbort);  // an empty grid
    EXPECT_EQ(LastBox(), kSoma);

    Grid(f, {{60, 50}, {30, 40}});
    dialogs.Expect(kSoma, mrOk, "Atenção");
    EXPECT_THROW(f->btnSave->Click(), EAbort);
    EXPECT_EQ(LastBox(), kSoma);

    ClearGrid(f);
    Grid(f, {{30, 50}, {30, 50}});
    dialogs.Expect("foi informado mais de uma vez", mrOk, "Atenção");
    EXPECT_THROW(f->btnSave->Click(), EAbort);
    EXPECT_EQ(LastBox(), "O prazo de \"30\" dias, foi informado mais de uma vez.");
    EXPECT_EQ(f->qry->State(), dsInsert);
    EXPECT_EQ(Count("select count(*) from condicao_pagamento"), 0);
    EXPECT_EQ(Count("select count(*) from condicao_pagamento_parcela"), 0);

    ClearGrid(f);
    Grid(f, {{60, 50}, {30, 50}});
    f->btnSave->Click();
    EXPECT_EQ(Scalar("select descricao from condicao_pagamento where id_condicao_pagamento = 1"), "30/60");
    EXPECT_EQ(Stored(1), "30:50.0 60:50.0");

    // Saved again as it is, the same installments are there.
    f->btnEdit->Click();
    f->btnSave->Click();
    EXPECT_EQ(Stored(1), "30:50.0 60:50.0");
    EXPECT_EQ(Count("select count(*) from condicao_pagamento_parcela"), 2);
}

TEST_F(PaymentTerms, TheGridFollowsTheTermAndUndoDropsItsChanges) {
    Exec("insert into condicao_pagamento(id_condicao_pagamento, descricao, inativo) values(1, 'A vista', 'Não')");
    Exec("insert into condicao_pagamento(id_condicao_pagamento, descricao, inativo) values(2, '3x', 'Não')");
    Exec("insert into condicao_pagamento_parcela values(1, 0, 100)");
    Exec("insert into condicao_pagamento_parcela values(2, 90, 33.34)");
    Exec("insert into condicao_pagamento_parcela values(2, 30, 33.33)");
    Exec("insert into condicao_pagamento_parcela values(2, 60, 33.33)");
    auto* f = Open<TfrmNota108>();
    EXPECT_EQ(Shown(f), "0:100");
    f->btnNext->Click();
    EXPECT_EQ(Shown(f), "30:33,33 60:33,33 90:33,34");
    f->btnEdit->Click();
    Grid(f, {{120, 5}});
    f->btnCancel->Click();
    EXPECT_EQ(Shown(f), "30:33,33 60:33,33 90:33,34");
    f->btnEdit->Click();
    f->btnSave->Click();  // 33.33 + 33.33 + 33.34 makes 100
    EXPECT_EQ(Stored(2), "30:33.33 60:33.33 90:33.34");
}

TEST_F(PaymentTerms, AFailedInstallmentWriteKeepsTheStoredTermAndItsInstallments) {
    Exec("insert into condicao_pagamento(id_condicao_pagamento, descricao, inativo) values(1, 'A vista', 'Não')");
    Exec("insert into condicao_pagamento_parcela values(1, 0, 100)");
    auto* f = Open<TfrmNota108>();
    f->btnEdit->Click();
    f->qry->FieldByName("descricao")->SetAsString("30/60");
    ClearGrid(f);
    Grid(f, {{30, 50}, {60, 50}});
    // The second installment of the rewrite fails, as a full disk would.
    Exec("create trigger falha before insert on condicao_pagamento_parcela when (select count(*) from "
         "condicao_pagamento_parcela where id_condicao_pagamento = new.id_condicao_pagamento) >= 1 "
         "begin select raise(abort, 'disco cheio'); end");
    EXPECT_ANY_THROW(f->btnSave->Click());
    EXPECT_EQ(f->qry->State(), dsEdit);
    EXPECT_EQ(Stored(1), "0:100.0");
    EXPECT_EQ(Scalar("select descricao from condicao_pagamento"), "A vista");

    Exec("drop trigger falha");
    f->btnSave->Click();
    EXPECT_EQ(Stored(1), "30:50.0 60:50.0");
    EXPECT_EQ(Scalar("select descricao from condicao_pagamento"), "30/60");
}

TEST_F(PaymentTerms, ADeletedTermTakesItsInstallmentsAndANewTermStartsEmpty) {
    Exec("insert into condicao_pagamento(id_condicao_pagamento, descricao, inativo) values(1, 'A vista', 'Não')");
    Exec("insert into condicao_pagamento(id_condicao_pagamento, descricao, inativo) values(2, '2x', 'Não')");
    Exec("insert into condicao_pagamento_parcela values(1, 0, 100)");
    Exec("insert into condicao_pagamento_parcela values(2, 30, 50)");
    Exec("insert into condicao_pagamento_parcela values(2, 60, 50)");
    auto* f = Open<TfrmNota108>();
    f->btnLast->Click();
    dialogs.Expect("Confirma a exclusão do Registro ?", mrYes, "Excluir");
    f->btnDelete->Click();
    EXPECT_EQ(Count("select count(*) from condicao_pagamento_parcela where id_condicao_pagamento = 2"), 0);
    EXPECT_EQ(Stored(1), "0:100.0");

    // Installments left behind under any number (by an older release) never
    // show up in a new term.
    for (int id = 2; id <= 6; ++id) Exec("insert into condicao_pagamento_parcela values(" + std::to_string(id) + ", 15, 100)");
    f->btnInsert->Click();
    EXPECT_TRUE(f->tbTemp->IsEmpty());
    f->btnCancel->Click();
    EXPECT_EQ(Shown(f), "0:100");
}

// The installments as the clerk types them, keys only: into the empty grid,
// Tab to the share, Down for the next installment (Left back to the days);
// nothing typed is dropped and the term is saved with all three.
TEST_F(PaymentTerms, InstallmentsTypedIntoTheGridAreAllKept) {
    uitest::ShowActive(frame.get());
    auto* f = Open<TfrmNota108>();
    billtest::Pump();
    f->btnInsert->Click();
    f->qry->FieldByName("descricao")->SetAsString("30/60/90");
    f->exDBGrid1->SetFocus();
    billtest::Pump();
    auto key = [](Qt::Key k) {
        QTest::keyClick(QApplication::focusWidget(), k);
        billtest::Pump();
    };
    auto type = [](const std::string& text) {
        for (char c : text) QTest::keyClick(QApplication::focusWidget(), c);
        billtest::Pump();
    };
    type("30");
    key(Qt::Key_Tab);
    type("33,33");
    key(Qt::Key_Down);
    key(Qt::Key_Left);
    type("60");
    key(Qt::Key_Tab);
    type("33,33");
    key(Qt::Key_Down);
    key(Qt::Key_Left);
    type("90");
    key(Qt::Key_Tab);
    type("33,34");
    EXPECT_EQ(f->ActiveControl(), f->exDBGrid1);
    EXPECT_EQ(Shown(f), "30:33,33 60:33,33 90:33,34");
    QTest::mouseClick(f->btnSave->Widget(), Qt::LeftButton);
    billtest::Pump();
    EXPECT_EQ(f->qry->State(), dsBrowse);
    EXPECT_EQ(Stored(1), "30:33.33 60:33.33 90:33.34");
}
