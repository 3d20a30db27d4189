#pragma once
// "Relatório Clientes - NOTA300": the invoices issued today. Its
// classification, type and selection controls are shown and take no part in
// the listing.
#include "billing/forms/ListingForm.h"

class TfrmNota300 : public TListingForm {
public:
    FAT_CLASS_NAME(TfrmNota300)
    explicit TfrmNota300(TComponent* AOwner);
    ~TfrmNota300() override;

    TRadioGroup* rdgClassificacao = nullptr;
    TRadioGroup* RadioGroup1 = nullptr;
    TEdit* edtCodigoInicial = nullptr;
    TEdit* edtCodigoFinal = nullptr;
};

extern TfrmNota300* frmNota300;
