#pragma once
// "Resumo de Vendas por Grupo - NOTA409": the sales of a period summed by
// product group.
#include "billing/forms/ListingForm.h"

class TfrmNota409 : public TListingForm {
public:
    FAT_CLASS_NAME(TfrmNota409)
    explicit TfrmNota409(TComponent* AOwner);
    ~TfrmNota409() override;
};

extern TfrmNota409* frmNota409;
