#include "billing/forms/Nota104.h"

#include "billing/forms/FormUtils.h"
#include "billing/forms/Pesquisa.h"

using namespace billing::forms;

TfrmNota104* frmNota104 = nullptr;

TfrmNota104::TfrmNota104(TComponent* AOwner) : RegisterForm(AOwner, "CFOP - NOTA104", "CFOP", kSql, "id_cfop") {
    SetName("frmNota104");
    qryCFOP = qry;
    qryCFOP->SetName("qryCFOP");
    SetBounds(0, 0, 860, 220);
    dbeId_CFOP = PlaceDB<TDBEdit>(this, pnlDados, "dbeId_CFOP", dsMain, "Id_CFOP", 110, 12, 60, 23);
    PlaceLabel(this, pnlDados, "CFOP", 12, 16, dbeId_CFOP);
    dbeDescricao = PlaceDB<TDBEdit>(this, pnlDados, "dbeDescricao", dsMain, "Descricao", 110, 40, 400, 23);
    PlaceLabel(this, pnlDados, "Descrição", 12, 44, dbeDescricao);
    dbeTipo = PlaceDB<TDBComboBox>(this, pnlDados, "dbeTipo", dsMain, "Tipo", 110, 68, 100, 23);
    dbeTipo->SetStyle(csDropDownList);
    for (const char* t : {"Entrada", "Saída"}) dbeTipo->Items()->Add(t);
    PlaceLabel(this, pnlDados, "Tipo", 12, 72, dbeTipo);
    SetEdits(dbeId_CFOP, dbeDescricao);

    AddCheck("O CFOP não foi informado.", [this] { return !Blank("Id_cfop"); });
    AddCheck("A Descrição não foi informada.", [this] { return !Blank("descricao"); });
    AddUniqueKey("id_cfop", "O Código de CFOP ");
    AddDeleteRefusal(kCountSql, " Nota(s) Fiscai(s) com este CFOP. Não pode Excluir.");
    frmNota104 = this;
}

TfrmNota104::~TfrmNota104() {
    if (frmNota104 == this) frmNota104 = nullptr;
}

std::string TfrmNota104::Search() { return Pesquisa_cfop(); }

void TfrmNota104::NewRow(TDataSet* DataSet) { DataSet->FieldByName("tipo")->SetAsString("Saída"); }
