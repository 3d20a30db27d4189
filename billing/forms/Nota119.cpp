#include "billing/forms/Nota119.h"

#include "billing/forms/FormUtils.h"
#include "billing/forms/Pesquisa.h"
#include "platform/rtl/Strings.h"

using namespace billing::forms;

TfrmNota119* frmNota119 = nullptr;

TfrmNota119::TfrmNota119(TComponent* AOwner)
    : RegisterForm(AOwner, "Unidades de Medida - NOTA119", "Unidade_Medida", kSql, "Id_Unidade_Medida") {
    SetName("frmNota119");
    qryUnidade_Medida = qry;
    qryUnidade_Medida->SetName("qryUnidade_Medida");
    SetBounds(0, 0, 860, 200);
    dbeId_Unidade_Medida = PlaceLabeled<TDBEdit>(this, pnlDados, "dbeId_Unidade_Medida", dsMain, "Id_Unidade_Medida", "Código", 12, 110, 12, 50);
    dbeId_Unidade_Medida->SetCharCase(ecUpperCase);
    dbeDescricao = PlaceLabeled<TDBEdit>(this, pnlDados, "dbeDescricao", dsMain, "Descricao", "Descrição", 12, 110, 40, 200);
    SetEdits(dbeId_Unidade_Medida, dbeDescricao);

    AddCheck("O Código da Unidade de Medida não foi informado.", [this] { return !Blank("id_Unidade_Medida"); });
    AddCheck("A Descrição não foi informada.", [this] { return !Blank("descricao"); });
    AddUniqueKey("id_Unidade_Medida", "O Código da Unidade Medida ");
    AddDeleteRefusal(kCountSql, " Produto(s) com esta Unidade de Medida. Não pode Excluir.");
    frmNota119 = this;
}

TfrmNota119::~TfrmNota119() {
    if (frmNota119 == this) frmNota119 = nullptr;
}

std::string TfrmNota119::Search() { return Pesquisa_Unidade_Medida(); }

void TfrmNota119::BeforeChecks(TDataSet* DataSet) {
    // The edit types in upper case; a code that reached the field some other
    // way is stored the same.
    if (DataSet->State() != dsInsert) return;
    TField* code = DataSet->FieldByName("id_Unidade_Medida");
    std::string upper = AnsiUpperCase(code->AsString());
    if (upper != code->AsString()) code->SetAsString(upper);
}
