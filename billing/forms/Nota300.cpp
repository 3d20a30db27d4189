#include "billing/forms/Nota300.h"

#include "billing/forms/FormUtils.h"

using namespace billing::forms;

TfrmNota300* frmNota300 = nullptr;

TfrmNota300::TfrmNota300(TComponent* AOwner)
    : TListingForm(AOwner, billing::listings::Listing::Nota300, "frmNota300", "Relatório Clientes - NOTA300") {
    // Kept as the listing has always shown them; the listing does not read them.
    rdgClassificacao = Place<TRadioGroup>(this, this, "rdgClassificacao", 16, 12, 260, 96);
    rdgClassificacao->SetCaption(" Classificação ");
    for (const char* item : {"Ordem Alfabética", "Ordem de Código", "Ordem CNPJ", "Por Vendedor"})
        rdgClassificacao->Items()->Add(item);
    rdgClassificacao->SetItemIndex(0);
    RadioGroup1 = Place<TRadioGroup>(this, this, "RadioGroup1", 16, 112, 130, 80);
    RadioGroup1->SetCaption(" Tipo Relatório ");
    for (const char* item : {"Sintético", "Analítico"}) RadioGroup1->Items()->Add(item);
    RadioGroup1->SetItemIndex(0);
    auto* selecao = Place<TGroupBox>(this, this, "grpSelecao", 150, 112, 126, 80);
    selecao->SetCaption(" Seleção ");
    edtCodigoInicial = Place<TEdit>(this, selecao, "edtCodigoInicial", 8, 20, 110, 23);
    edtCodigoInicial->SetHint("Código Inicial");
    edtCodigoFinal = Place<TEdit>(this, selecao, "edtCodigoFinal", 8, 48, 110, 23);
    edtCodigoFinal->SetHint("Códgo Final");
    frmNota300 = this;
}

TfrmNota300::~TfrmNota300() {
    if (frmNota300 == this) frmNota300 = nullptr;
}
