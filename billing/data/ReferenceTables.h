#pragma once
// The reference rows every database needs before a register can be saved:
// the 27 states (uf), every Brazilian municipality with its IBGE code
// (municipio) and the banks' compensation codes (febraban). Without them the
// issuer, clients and carriers are refused for want of a municipality and a
// bank account shows "?" for its bank.
//
// The rows come from billing/data/referencia (see its README for source,
// licence and date), compiled into the program. A table is filled only while
// it has no row, so what a clerk added or changed is never touched, and all
// three are filled in one transaction: a failure leaves every table as it was.
#include "platform/db/SQLiteDatabase.h"

#include <string>
#include <vector>

namespace billing::data {

// One table of billing/data/referencia: its column names and its rows.
struct ReferenceTable {
    std::string name;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
};

// The tables in the order they are filled: uf, municipio, febraban. The
// municipality's state (municipio.id_uf) is the first two digits of its code.
const std::vector<ReferenceTable>& ReferenceTables();

struct SeedResult {
    int tablesFilled = 0;
    int rowsInserted = 0;
};

// Fills each reference table that exists and has no row. Raises (with
// nothing written) when a row cannot be stored.
SeedResult SeedReferenceTables(sqlite::Database& db);

}  // namespace billing::data
