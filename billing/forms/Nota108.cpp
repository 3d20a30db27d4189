#include "billing/forms/Nota108.h"

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/RegisterExtras.h"
#include "billing/forms/Pesquisa.h"
#include "memtable/mtMemTable.h"

using namespace billing::forms;

TfrmNota108* frmNota108 = nullptr;

TfrmNota108::TfrmNota108(TComponent* AOwner)
    : RegisterForm(AOwner, "Condições de Pagamento - NOTA108", "condicao_pagamento", kSql,
                   "id_condicao_pagamento") {
    SetName("frmNota108");
    qryCondicao_Pagamento = qry;
    qryCondicao_Pagamento->SetName("qryCondicao_Pagamento");
    SetBounds(0, 0, 860, 420);
    dbeId_Condicao_Pagamento = PlaceLabeled<TDBEdit>(this, pnlDados, "dbeId_Condicao_Pagamento", dsMain, "id_condicao_pagamento", "Código", 12, 110, 12, 80);
    dbeDescricao = PlaceLabeled<TDBEdit>(this, pnlDados, "dbeDescricao", dsMain, "descricao", "Descrição", 12, 110, 40, 260);
    dbeInativo = PlaceDB<TDBCheckBox>(this, pnlDados, "dbeInativo", dsMain, "Inativo", 390, 40, 100, 23);
    dbeInativo->SetCaption("Inati&vo");
    dbeInativo->SetValueChecked("Sim");
    dbeInativo->SetValueUnchecked("Não");
    SetEdits(dbeId_Condicao_Pagamento, dbeDescricao);

    auto* temp = new TmtMemTable(this);
    temp->SetName("tbTemp");
    temp->FieldDefs()->Add("prazo_dias", ftInteger);
    temp->FieldDefs()->Add("percentual", ftFloat);
    temp->Open();
    temp->FieldByName("prazo_dias")->SetDisplayLabel("Prazo dias");
    temp->FieldByName("percentual")->SetDisplayLabel("%");
    DressFields(temp, {{"percentual", "", "##0.00"}});
    tbTemp = temp;
    dsTemp = new TDataSource(this);
    dsTemp->SetName("dsTemp");
    dsTemp->SetDataSet(tbTemp);
    PlaceLabel(this, pnlDados, "Distrituição das Parcelas", 12, 76);
    exDBGrid1 = Place<TexDBGrid>(this, pnlDados, "exDBGrid1", 12, 96, 260, 200);
    exDBGrid1->SetDataSource(dsTemp);
    exDBGrid1->AddField("prazo_dias", 11, "Prazo dias");
    exDBGrid1->AddField("percentual", 10, "%");
    // Days Enter share Enter: each figure in its own cell, as in the item grids.
    exDBGrid1->SetEnterMovesOn(true);
    exDBGrid1->OnEnter = [this](TObject* s) { exDBGrid1Enter(s); };
    exDBGrid1->OnExit = [this](TObject* s) { exDBGrid1Exit(s); };
    PlaceLabel(this, pnlDados, "CTRL + Del para Excluir", 12, 302);

    UseIdGenerator();
    AddUniqueKey("id_condicao_pagamento", "O Código da Condição de Pagamento ");
    WriteWithRow([this](TDataSet*) { Salva_Parcelas(); },
                 [](TDataSet* d) {
                     dmdb->ADOConnection->Execute(
                         kDeleteParcelas,
                         {{"pid_condicao_pagamento", Variant(d->FieldByName("id_condicao_pagamento")->AsInteger())}});
                 });
    // Every column, in an order that ties cannot shuffle.
    GuardChildRows("select prazo_dias, percentual from Condicao_Pagamento_Parcela where id_condicao_pagamento = "
                   ":pid_condicao_pagamento order by prazo_dias, percentual",
                   [this] { Mostra_Parcelas(); });
    auto baseScroll = qry->AfterScroll;
    qry->AfterScroll = [this, baseScroll](TDataSet* d) {
        baseScroll(d);
        Mostra_Parcelas();
    };
    // "Desfazer" drops the grid's changes with the term's.
    qry->AfterCancel = [this](TDataSet*) { Mostra_Parcelas(); };
    qry->AfterOpen = [this, baseOpen = qry->AfterOpen](TDataSet* d) {
        if (baseOpen) baseOpen(d);
        Mostra_Parcelas();
    };
    frmNota108 = this;
}

TfrmNota108::~TfrmNota108() {
    qry->AfterCancel = nullptr;
    qry->AfterOpen = nullptr;
    if (frmNota108 == this) frmNota108 = nullptr;
}

std::string TfrmNota108::Search() { return Pesquisa_Condicao_Pagamento(); }

void TfrmNota108::NewRow(TDataSet* DataSet) {
    DataSet->FieldByName("Inativo")->SetAsString("Não");
    // A new term starts with no installments, whatever was stored under its
    // number before.
    Mostra_Parcelas();
}

void TfrmNota108::Mostra_Parcelas() {
    if (tbTemp->State() == dsEdit || tbTemp->State() == dsInsert) tbTemp->Cancel();
    static_cast<TmtMemTable*>(tbTemp)->EmptyTable();
    NoteChildRows();
    if (!qry->Active() || qry->IsEmpty() || qry->State() == dsInsert) return;
    TSQLQuery parcelas(this);
    parcelas.SetConnection(dmdb->ADOConnection);
    parcelas.SetSQL(kSelectParcelas);
    parcelas.ParamByName("pid_condicao_Pagamento")->SetAsInteger(qry->FieldByName("id_condicao_pagamento")->AsInteger());
    parcelas.Open();
    tbTemp->DisableControls();
    try {
        for (; !parcelas.Eof(); parcelas.Next()) {
            tbTemp->Append();
            for (const char* name : {"prazo_dias", "percentual"}) {
                TField* from = parcelas.FieldByName(name);
                if (!from->IsNull()) tbTemp->FieldByName(name)->SetValue(from->Value());
            }
            tbTemp->Post();
        }
    } catch (...) {
        tbTemp->EnableControls();
        throw;
    }
    tbTemp->EnableControls();
    tbTemp->First();
}

namespace {

// A row with neither days nor share: what a refused figure undone with Esc
// leaves behind, never an installment.
bool EmptyInstallment(TDataSet* Rows) {
    return Rows->FieldByName("prazo_dias")->IsNull() && Rows->FieldByName("percentual")->IsNull();
}

}  // namespace

void TfrmNota108::PostPendingGridRow() {
    if (tbTemp->State() == dsInsert && EmptyInstallment(tbTemp)) tbTemp->Cancel();
    else if (tbTemp->State() == dsEdit || tbTemp->State() == dsInsert) tbTemp->Post();
}

std::vector<Installment> TfrmNota108::Parcelas() {
    PostPendingGridRow();
    std::vector<Installment> rows;
    TBookmark mark = tbTemp->GetBookmark();
    tbTemp->DisableControls();
    tbTemp->First();
    while (!tbTemp->Eof()) {
        if (!EmptyInstallment(tbTemp))
            rows.push_back(
                {tbTemp->FieldByName("prazo_dias")->AsInteger(), tbTemp->FieldByName("percentual")->AsFloat()});
        tbTemp->Next();
    }
    if (!mark.empty() && tbTemp->BookmarkValid(mark)) tbTemp->GotoBookmark(mark);
    tbTemp->EnableControls();
    return rows;
}

void TfrmNota108::BeforeChecks(TDataSet*) {
    std::string error = InstallmentValidator::Check(Parcelas());
    if (!error.empty()) Refuse(error);
}

void TfrmNota108::Salva_Parcelas() {
    int id = qry->FieldByName("id_condicao_pagamento")->AsInteger();
    TSQLConnection* c = dmdb->ADOConnection;
    c->Execute(kDeleteParcelas, {{"pid_condicao_pagamento", Variant(id)}});
    for (const Installment& row : Parcelas()) {
        c->Execute(kInsertParcela, {{"pid_condicao_Pagamento", Variant(id)},
                                    {"pprazo_dias", Variant(row.prazo_dias)},
                                    {"ppercentual", Variant(row.percentual)}});
    }
}

void TfrmNota108::exDBGrid1Enter(TObject*) { SetKeyPreview(false); }

void TfrmNota108::exDBGrid1Exit(TObject*) {
    PostPendingGridRow();
    SetKeyPreview(true);
}
