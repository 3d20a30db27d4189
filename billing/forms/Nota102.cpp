#include "billing/forms/Nota102.h"

#include "billing/forms/FormUtils.h"
#include "billing/forms/Pesquisa.h"

using namespace billing::forms;

TfrmNota102* frmNota102 = nullptr;

TfrmNota102::TfrmNota102(TComponent* AOwner)
    : RegisterForm(AOwner, "Vendedores - NOTA102", "Vendedor", kSql, "Id_Vendedor") {
    SetName("frmNota102");
    qryVendedor = qry;
    qryVendedor->SetName("qryVendedor");
    SetBounds(0, 0, 860, 250);
    dbeId_Vendedor = PlaceDB<TDBEdit>(this, pnlDados, "dbeId_Vendedor", dsMain, "Id_Vendedor", 110, 12, 80, 23);
    PlaceLabel(this, pnlDados, "Código", 12, 16, dbeId_Vendedor);
    dbeNome = PlaceDB<TDBEdit>(this, pnlDados, "dbeNome", dsMain, "Nome", 110, 40, 320, 23);
    PlaceLabel(this, pnlDados, "Nome", 12, 44, dbeNome);
    dbePercentual_Comissao =
        PlaceDB<TDBEdit>(this, pnlDados, "dbePercentual_Comissao", dsMain, "Percentual_Comissao", 110, 68, 80, 23);
    PlaceLabel(this, pnlDados, "% Comissão", 12, 72, dbePercentual_Comissao);
    dbeEmail = PlaceDB<TDBEdit>(this, pnlDados, "dbeEmail", dsMain, "email", 110, 96, 420, 23);
    PlaceLabel(this, pnlDados, "eMail", 12, 100, dbeEmail);
    SetEdits(dbeId_Vendedor, dbeNome);
    SetFieldFormat("Percentual_Comissao", "#0.00");

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
