#pragma once
// The one-row criteria table a listing's form binds its edits to (tbTemp),
// and the criteria read back from it. Nothing in it is stored: the form
// fills it when shown and reads it when a listing is asked for.
//
// Fields: data_inicial and data_final (dates) in every listing;
// id_cliente_inicial and id_cliente_final (texts of 7) in Nota403; the
// state fields Autorizada, Cancelada and Denegada (texts of 3, "Sim") in
// Nota403 and Nota300, which the forms show and nothing reads: the state
// boxes are the form's check boxes.
#include <string>

#include "billing/data/Messages.h"
#include "billing/listings/Listing.h"

class TComponent;
class TDataSet;
class TmtMemTable;

namespace billing::listings {

// A closed table owned by Owner, named "tbTemp".
TmtMemTable* NewCriteriaTable(TComponent* Owner, Listing Kind);

// What the form's OnShow does: the table opened with one row being
// appended, both dates Today, Nota403's client range "0000000" to
// "9999999", the state fields "Sim".
void ShowCriteria(TDataSet& tbTemp, Listing Kind, TDateTime Today);

// The criteria of the table's row and the form's state boxes.
Criteria ReadCriteria(const TDataSet& tbTemp, Listing Kind, bool Autorizada, bool Cancelada, bool Denegada);

// Leaving a client edit of Nota403 with Typed in it: the field gets the
// code as seven digits, or keeps its value when Typed is no code (with
// kCodigoClienteInvalido in a box).
void ClientEditExit(TDataSet& tbTemp, const std::string& FieldName, const std::string& Typed,
                    billing::data::IMessages& Messages);

}  // namespace billing::listings
