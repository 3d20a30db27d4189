#include "billing/forms/Nota102.h"

#include "billing/forms/FormUtils.h"
#include "billing/forms/RegisterExtras.h"
#include "billing/forms/Pesquisa.h"

using namespace billing::forms;

TfrmNota102* frmNota102 = nullptr;

TfrmNota102::TfrmNota102(TComponent* AOwner)
    : RegisterForm(AOwner, "Vendedores - NOTA102", "Vendedor", kSql, "Id_Vendedor") {
    SetName("frmNota102");
    qryVendedor = qry;
    qryVendedor->SetName("qryVendedor");
    SetBounds(0, 0, 860, 250);
    dbeId_Vendedor = PlaceLabeled<TDBEdit>(this, pnlDados, "dbeId_Vendedor", dsMain, "Id_Vendedor", "Código", 12, 110, 12, 80);
    dbeNome = PlaceLabeled<TDBEdit>(this, pnlDados, "dbeNome", dsMain, "Nome", "Nome", 12, 110, 40, 320);
    dbePercentual_Comissao = PlaceLabeled<TDBEdit>(this, pnlDados, "dbePercentual_Comissao", dsMain, "Percentual_Comissao", "% Comissão", 12, 110, 68, 80);
    dbeEmail = PlaceLabeled<TDBEdit>(this, pnlDados, "dbeEmail", dsMain, "email", "eMail", 12, 110, 96, 420);
    SetEdits(dbeId_Vendedor, dbeNome);
    DressFields(qry, {{"Percentual_Comissao", "", "#0.00"}});

    UseIdGenerator();
    UseAutoEdit();
    AddCheck("O Nome não foi informado.", [this] { return !Blank("nome"); });
    AddUniqueKey("Id_Vendedor", "O Código do Vendedor ");
    frmNota102 = this;
}

TfrmNota102::~TfrmNota102() {
    if (frmNota102 == this) frmNota102 = nullptr;
}

std::string TfrmNota102::Search() { return Pesquisa_Vendedor(); }
