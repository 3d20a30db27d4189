#pragma once
// "Relatório Notas Fiscais Emitidas - NOTA403": the invoices of a period and
// a client range, filtered by their NF-e state.
#include "billing/forms/ListingForm.h"

class TfrmNota403 : public TListingForm {
public:
    FAT_CLASS_NAME(TfrmNota403)
    explicit TfrmNota403(TComponent* AOwner);
    ~TfrmNota403() override;

    TDBEdit* dbeId_Cliente_Inicial = nullptr;
    TDBEdit* dbeId_Cliente_Final = nullptr;

    // Leaving a client edit writes the code as seven digits; a text that is
    // no code is refused with a message and the previous code stays.
    void dbeId_Cliente_InicialExit(TObject* Sender);
    void dbeId_Cliente_FinalExit(TObject* Sender);
};

extern TfrmNota403* frmNota403;
