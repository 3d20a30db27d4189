#pragma once
// A register form open inside a shown MDI frame on a fresh database, with
// the rows its lookups name: two states, three municipalities, a seller, a
// payment term, units of measure and tax situations.
#include <memory>

#include "tests/billing/forms/BillingFixture.h"

namespace billtest {

template <typename Form>
class RegisterSession : public Session {
protected:
    void SetUp() override {
        Session::SetUp();
        auto run = [](const char* sql) { dmdb->ADOConnection->Execute(sql); };
        run("insert into uf(id_uf, uf) values(35, 'SP')");
        run("insert into uf(id_uf, uf) values(33, 'RJ')");
        run("insert into municipio(id_municipio, nome, id_uf) values(3550308, 'São Paulo', 35)");
        run("insert into municipio(id_municipio, nome, id_uf) values(3509502, 'Campinas', 35)");
        run("insert into municipio(id_municipio, nome, id_uf) values(3304557, 'Rio de Janeiro', 33)");
        run("insert into vendedor(id_vendedor, nome) values(7, 'Ana Vendas')");
        run("insert into condicao_pagamento(id_condicao_pagamento, descricao) values(3, '30 dias')");
        frame = std::make_unique<TForm>(nullptr);
        frame->SetFormStyle(fsMDIForm);
        Application->SetMainForm(frame.get());
        frame->Show();  // children show (and run their OnShow) inside a shown frame
    }
    void TearDown() override {
        if (form != nullptr && (form->qry->State() == dsEdit || form->qry->State() == dsInsert)) form->qry->Cancel();
        delete form;
        Application->SetMainForm(nullptr);
        frame.reset();
        Session::TearDown();
    }
    Form* Open() {
        form = new Form(nullptr);
        form->DoCreate();
        form->Show();
        return form;
    }
    TField* F(const std::string& Name) { return form->qry->FieldByName(Name); }
    void Set(const std::string& Name, const std::string& Value) { F(Name)->SetAsString(Value); }

    std::unique_ptr<TForm> frame;
    Form* form = nullptr;
};

}  // namespace billtest
