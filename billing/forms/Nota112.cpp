#include "billing/forms/Nota112.h"

#include "billing/forms/FormUtils.h"

using namespace billing::forms;

TfrmNota112* frmNota112 = nullptr;

TfrmNota112::TfrmNota112(TComponent* AOwner)
    : RegisterForm(AOwner, "Modelo de Impressoras - NOTA112", "Modelo_Impressora", kSql, "Id_Modelo_Impressora") {
    SetName("frmNota112");
    qryModelo_Impressora = qry;
    qryModelo_Impressora->SetName("qryModelo_Impressora");
    SetBorderStyle(bsDialog);
    SetBounds(0, 0, 860, 250);
    auto edit = [this](const char* name, const char* field, const char* caption, int top, int width) {
        return PlaceLabeled<TDBEdit>(this, pnlDados, name, dsMain, field, caption, 12, 150, top, width);
    };
    dbeId_Modelo_Impressora = edit("dbeId_Modelo_Impressora", "Id_Modelo_Impressora", "Modelo Impressora", 12, 200);
    dbeCondensa_15cpp = edit("dbeCondensa_15cpp", "Condensa_15cpp", "Condensa 15cpp", 40, 220);
    dbeImpressao_Normal = edit("dbeImpressao_Normal", "Impressao_Normal", "Restaura Normal", 68, 220);
    dbeCondensa_20cpp = edit("dbeCondensa_20cpp", "Condensa_20cpp", "Condensa 20cpp", 96, 180);
    // The edit button sets the look and leaves the focus where it was.
    SetEdits(dbeId_Modelo_Impressora, nullptr);
    WithoutSearch();
    auto baseShow = OnShow;
    OnShow = [this, baseShow](TObject* s) {
        baseShow(s);
        if (dbeId_Modelo_Impressora->CanFocus()) SetActiveControl(dbeId_Modelo_Impressora);
    };
    frmNota112 = this;
}

TfrmNota112::~TfrmNota112() {
    if (frmNota112 == this) frmNota112 = nullptr;
}
