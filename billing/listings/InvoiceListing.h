#pragma once
// The query of the invoice listings (Nota403 and Nota300) and the run that
// checks the criteria and opens it, as the forms' Gerar_Relatorio does
// before the report prints.
//
// Every value is a bound parameter, the states left out too. The period
// runs to the end of its last day: an invoice stored with a time of day
// still falls inside it. Invoices in the state "Erro" are always left out;
// a state whose box is not marked is left out as well.
#include <memory>
#include <string>

#include "billing/data/Messages.h"
#include "billing/listings/Listing.h"

class TSQLConnection;
class TSQLQuery;

namespace billing::listings {

// Sets Query's text and parameters for Kind (Nota403 or Nota300) under C;
// the query is left closed.
void PrepareInvoiceQuery(TSQLQuery& Query, Listing Kind, const Criteria& C);

class InvoiceListing {
public:
    InvoiceListing(Listing Kind, TSQLConnection& Db, billing::data::IMessages& Messages);
    ~InvoiceListing();

    // Checks C, prepares and opens the query and makes the header texts;
    // false when a message was shown (refused criteria, or no invoice), and
    // then nothing is to print. On success the query stands on its first
    // row, ready for the report's pipeline.
    bool Gerar_Relatorio(const Criteria& C, const std::string& Usuario);

    Listing Kind() const { return kind_; }
    // The rows the report walks (dsNota_Fiscal's dataset).
    TSQLQuery& Query() const { return *query_; }
    const HeaderTexts& Header() const { return header_; }

private:
    Listing kind_;
    TSQLConnection& db_;
    billing::data::IMessages& messages_;
    std::unique_ptr<TSQLQuery> query_;
    HeaderTexts header_;
};

}  // namespace billing::listings
