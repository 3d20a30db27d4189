#include "billing/forms/Nota107.h"

#include "billing/forms/FormUtils.h"
#include "billing/forms/RegisterExtras.h"
#include "billing/forms/Pesquisa.h"
#include "platform/rtl/Strings.h"

using namespace billing::forms;

TfrmNota107* frmNota107 = nullptr;

namespace billing::forms {

std::string composeDescription(const std::string& Febraban, const std::string& Banco, const std::string& Agencia,
                               const std::string& Conta, const std::string& ContaDv) {
    std::string text = Febraban + " - " + Banco + " / Ag. " + Agencia + " C/C " + Conta + "-" + ContaDv;
    return Copy(text, 1, kDescricaoContaSize);
}

}  // namespace billing::forms

TfrmNota107::TfrmNota107(TComponent* AOwner)
    : RegisterForm(AOwner, "Contas Corrente - NOTA107", "Conta_Corrente", kSql, "Id_Conta_Corrente") {
    SetName("frmNota107");
    qryConta_Corrente = qry;
    qryConta_Corrente->SetName("qryConta_Corrente");
    SetBounds(0, 0, 860, 290);
    dbeId_Conta_Corrente = PlaceLabeled<TDBEdit>(this, pnlDados, "dbeId_Conta_Corrente", dsMain, "id_conta_corrente", "Código", 12, 120, 12, 80);
    dbeId_Febraban = PlaceLabeled<TexDBComboDlg>(this, pnlDados, "dbeId_Febraban", dsMain, "id_febraban", "Febraban", 12, 120, 40, 80);
    PFebraban = Place<TPanel>(this, pnlDados, "PFebraban", 206, 40, 300, 23);
    PFebraban->SetAlignment(taLeftJustify);
    DBEdit2 = PlaceLabeled<TDBEdit>(this, pnlDados, "DBEdit2", dsMain, "agencia", "Agência", 12, 120, 68, 60);
    DBEdit3 = PlaceLabeled<TDBEdit>(this, pnlDados, "DBEdit3", dsMain, "conta", "Conta / DV", 12, 120, 96, 90);
    PlaceLabel(this, pnlDados, "-", 215, 100);
    DBEdit4 = PlaceDB<TDBEdit>(this, pnlDados, "DBEdit4", dsMain, "conta_dv", 226, 96, 36, 23);
    dbeCodigo_Cedente = PlaceLabeled<TDBEdit>(this, pnlDados, "dbeCodigo_Cedente", dsMain, "codigo_cedente", "Código Cedente", 12, 120, 124, 260);
    dbtDescricao = PlaceDB<TDBText>(this, pnlDados, "dbtDescricao", dsMain, "descricao", 120, 156, 420, 23);
    PlaceLabel(this, pnlDados, "Descrição", 12, 156);
    dbeInativo = PlaceDB<TDBCheckBox>(this, pnlDados, "dbeInativo", dsMain, "Inativo", 120, 184, 100, 23);
    dbeInativo->SetCaption("Inati&vo");
    dbeInativo->SetValueChecked("Sim");
    dbeInativo->SetValueUnchecked("Não");
    SetEdits(dbeId_Conta_Corrente, dbeId_Febraban);
    DressFields(qry, {{"conta_dv", "##;0; ", ""}});

    febraban_ = {dbeId_Febraban, PFebraban, "Febraban", "nome_fantasia", "id_febraban", [] { return Pesquisa_Febraban(); }};
    AddLookup(febraban_);
    dbeId_Febraban->OnExit = [this](TObject*) {
        Mostra_Febraban();
        Atualiza_Descricao();
    };
    for (TDBEdit* part : {DBEdit2, DBEdit3, DBEdit4}) part->OnExit = [this](TObject*) { Atualiza_Descricao(); };

    UseIdGenerator();
    AddUniqueKey("id_conta_corrente", "O Código da Conta Corrente ");
    frmNota107 = this;
}

TfrmNota107::~TfrmNota107() {
    if (frmNota107 == this) frmNota107 = nullptr;
}

std::string TfrmNota107::Search() { return Pesquisa_Conta_Corrente(); }

void TfrmNota107::NewRow(TDataSet* DataSet) { DataSet->FieldByName("Inativo")->SetAsString("Não"); }

void TfrmNota107::BeforeChecks(TDataSet*) { Atualiza_Descricao(); }

void TfrmNota107::Mostra_Febraban() { Mostra(febraban_); }

void TfrmNota107::Atualiza_Descricao() {
    if (qry->State() != dsEdit && qry->State() != dsInsert) return;
    auto text = [this](const char* f) { return qry->FieldByName(f)->AsString(); };
    qry->FieldByName("descricao")->SetAsString(composeDescription(text("id_febraban"), PFebraban->Caption(),
                                                                  text("agencia"), text("conta"), text("conta_dv")));
}
