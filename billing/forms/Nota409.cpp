#include "billing/forms/Nota409.h"

TfrmNota409* frmNota409 = nullptr;

TfrmNota409::TfrmNota409(TComponent* AOwner)
    : TListingForm(AOwner, billing::listings::Listing::Nota409, "frmNota409", "Resumo de Vendas por Grupo - NOTA409") {
    frmNota409 = this;
}

TfrmNota409::~TfrmNota409() {
    if (frmNota409 == this) frmNota409 = nullptr;
}
