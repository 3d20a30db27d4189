#include "billing/forms/Nota114.h"

#include "billing/forms/FormUtils.h"

using namespace billing::forms;

TfrmNota114* frmNota114 = nullptr;

TfrmNota114::TfrmNota114(TComponent* AOwner)
    : RegisterForm(AOwner, "Programas - NOTA114", "Programa", "select * from Programa order by Id_Programa",
                   "Id_Programa") {
    SetName("frmNota114");
    qryPrograma = qry;
    qryPrograma->SetName("qryPrograma");
    SetBounds(0, 0, 860, 220);
    dbeId_Programa = PlaceDB<TDBEdit>(this, pnlDados, "dbeId_Programa", dsMain, "Id_Programa", 100, 12, 140, 23);
    PlaceLabel(this, pnlDados, "Programa", 12, 16, dbeId_Programa);
    dbeDescricao = PlaceDB<TDBEdit>(this, pnlDados, "dbeDescricao", dsMain, "Descricao", 100, 40, 300, 23);
    PlaceLabel(this, pnlDados, "Descrição", 12, 44, dbeDescricao);
    dbeTipo = PlaceDB<TDBComboBox>(this, pnlDados, "dbeTipo", dsMain, "Tipo", 100, 68, 140, 23);
    for (const char* t : {"Cadastro", "Relatório", "Rotina", "Outros"}) dbeTipo->Items()->Add(t);
    PlaceLabel(this, pnlDados, "Tipo", 12, 72, dbeTipo);
    SetEdits(dbeId_Programa, dbeDescricao);
    // No search on this register; its close button reads "Cancelar".
    DBButton2->SetVisible(false);
    DBButton1->SetCaption("&Cancelar");
    AddCheck("O Programa deve ser informado.", [this] { return !Blank("Id_Programa"); });
    AddUniqueKey("Id_Programa", "O Programa ");
    frmNota114 = this;
}

TfrmNota114::~TfrmNota114() {
    if (frmNota114 == this) frmNota114 = nullptr;
}

void TfrmNota114::NewRow(TDataSet* DataSet) { DataSet->FieldByName("Tipo")->SetAsString("Cadastro"); }
