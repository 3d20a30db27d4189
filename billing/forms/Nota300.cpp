#include "billing/forms/Nota300.h"

#include "billing/forms/FormUtils.h"

using namespace billing::forms;

TfrmNota300* frmNota300 = nullptr;

TfrmNota300::TfrmNota300(TComponent* AOwner)
    : TListingForm(AOwner, billing::listings::Listing::Nota300, "frmNota300", "Relatório Clientes - NOTA300") {
    // Kept as the listing has always shown them; the listing does not read them.
    // Four choices need four rows of a radio button's height each.
    rdgClassificacao = Place<TRadioGroup>(this, this, "rdgClassificacao", 16, 12, 260, 124);
    rdgClassificacao->SetCaption(" Classificação ");
    for (const char* item : {"Ordem Alfa&bética", "Ordem &de Código", "Ordem CNP&J", "&Por Vendedor"})
        rdgClassificacao->Items()->Add(item);
    rdgClassificacao->SetItemIndex(0);
    // The states beside the classification are read after it.
    grpSituacao->SetTabOrder(rdgClassificacao->TabOrder());
    RadioGroup1 = Place<TRadioGroup>(this, this, "RadioGroup1", 16, 146, 130, 84);
    RadioGroup1->SetCaption(" Tipo Relatório ");
    for (const char* item : {"&Sintético", "Analític&o"}) RadioGroup1->Items()->Add(item);
    RadioGroup1->SetItemIndex(0);
    // The range of codes, each edit named by its label.
    auto* selecao = Place<TGroupBox>(this, this, "grpSelecao", 156, 146, 304, 84);
    selecao->SetCaption(" Seleção ");
    edtCodigoInicial = Place<TEdit>(this, selecao, "edtCodigoInicial", 110, 22, 110, 23);
    edtCodigoInicial->SetHint("Código Inicial");
    PlaceLabel(this, selecao, "Código Inicial", 10, 26, edtCodigoInicial);
    edtCodigoFinal = Place<TEdit>(this, selecao, "edtCodigoFinal", 110, 50, 110, 23);
    edtCodigoFinal->SetHint("Código Final");
    PlaceLabel(this, selecao, "Código Final", 10, 54, edtCodigoFinal);
    // The common row moves down under them.
    chkZebrado->SetTop(240);
    for (TBitBtn* b : {BitBtn1, BitBtn2, BitBtn3}) b->SetTop(276);
    SetBounds(Left(), Top(), 480, 350);
    frmNota300 = this;
}

TfrmNota300::~TfrmNota300() {
    if (frmNota300 == this) frmNota300 = nullptr;
}
