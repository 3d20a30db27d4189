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
    dbeId_CFOP = PlaceLabeled<TDBEdit>(this, pnlDados, "dbeId_CFOP", dsMain, "Id_CFOP", "CFOP", 12, 110, 12, 60);
    dbeDescricao = PlaceLabeled<TDBEdit>(this, pnlDados, "dbeDescricao", dsMain, "Descricao", "Descrição", 12, 110, 40, 400);
    dbeTipo = PlaceLabeled<TDBComboBox>(this, pnlDados, "dbeTipo", dsMain, "Tipo", "Tipo", 12, 110, 68, 100);
    dbeTipo->SetStyle(csDropDownList);
    for (const char* t : {"Entrada", "Saída"}) dbeTipo->Items()->Add(t);
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
