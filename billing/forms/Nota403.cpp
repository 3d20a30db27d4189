#include "billing/forms/Nota403.h"

#include "billing/data/Messages.h"
#include "billing/forms/FormUtils.h"
#include "billing/listings/CriteriaTable.h"
#include "memtable/mtMemTable.h"

using namespace billing::forms;

TfrmNota403* frmNota403 = nullptr;

TfrmNota403::TfrmNota403(TComponent* AOwner)
    : TListingForm(AOwner, billing::listings::Listing::Nota403, "frmNota403",
                   "Relatório Notas Fiscais Emitidas - NOTA403") {
    dbeId_Cliente_Inicial =
        PlaceDB<TDBEdit>(this, this, "dbeId_Cliente_Inicial", dsTemp, "id_cliente_inicial", 130, top_, 90, 23);
    PlaceLabel(this, this, "Cliente Inicial", 16, top_ + 4, dbeId_Cliente_Inicial);
    top_ += 32;
    dbeId_Cliente_Final =
        PlaceDB<TDBEdit>(this, this, "dbeId_Cliente_Final", dsTemp, "id_cliente_final", 130, top_, 90, 23);
    PlaceLabel(this, this, "Cliente Final", 16, top_ + 4, dbeId_Cliente_Final);
    top_ += 32;
    // The states on the right are read after the range of clients.
    grpSituacao->SetTabOrder(dbeId_Cliente_Final->TabOrder());
    dbeId_Cliente_Inicial->OnExit = [this](TObject* s) { dbeId_Cliente_InicialExit(s); };
    dbeId_Cliente_Final->OnExit = [this](TObject* s) { dbeId_Cliente_FinalExit(s); };
    frmNota403 = this;
}

TfrmNota403::~TfrmNota403() {
    if (frmNota403 == this) frmNota403 = nullptr;
}

void TfrmNota403::dbeId_Cliente_InicialExit(TObject*) {
    billing::listings::ClientEditExit(*tbTemp, "id_cliente_inicial", dbeId_Cliente_Inicial->Text(),
                                      billing::data::Messages());
}

void TfrmNota403::dbeId_Cliente_FinalExit(TObject*) {
    billing::listings::ClientEditExit(*tbTemp, "id_cliente_final", dbeId_Cliente_Final->Text(),
                                      billing::data::Messages());
}
