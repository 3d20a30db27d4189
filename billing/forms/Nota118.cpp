#include "billing/forms/Nota118.h"

#include "billing/forms/FormUtils.h"
#include "billing/forms/RegisterExtras.h"

using namespace billing::forms;

TfrmNota118* frmNota118 = nullptr;

TfrmNota118::TfrmNota118(TComponent* AOwner)
    : RegisterForm(AOwner, "Série Documentos - NOTA118", "Serie_Documento", kSql, "Id_Serie_Documento") {
    SetName("frmNota118");
    qrySerie_Documento = qry;
    qrySerie_Documento->SetName("qrySerie_Documento");
    SetBounds(0, 0, 860, 200);
    dbeId_Serie_Documento = PlaceLabeled<TDBEdit>(this, pnlDados, "dbeId_Serie_Documento", dsMain, "Id_Serie_Documento", "Série", 12, 120, 12, 60);
    dbeProximo_Numero = PlaceLabeled<TDBEdit>(this, pnlDados, "dbeProximo_Numero", dsMain, "Proximo_Numero", "Próximo Número", 12, 120, 40, 100);
    SetEdits(dbeId_Serie_Documento, dbeProximo_Numero);
    DressFields(qry, {{"Id_Serie_Documento", "", "##0"}, {"Proximo_Numero", "", "###,###,##0"}});
    WithoutSearch();

    UseIdGenerator();
    UseAutoEdit();
    AddUniqueKey("id_serie_documento", "O Código da Série de Documento ");
    AddDeleteRefusal(kCountSql, " Nota(s) Fiscai(s) com esta Série. Não pode Excluir.");
    frmNota118 = this;
}

TfrmNota118::~TfrmNota118() {
    if (frmNota118 == this) frmNota118 = nullptr;
}
