#pragma once
// The data module's memory tables (the variable store and the issuer table):
// open, empty tables of text fields, reached only through the TDataSet
// interface, so that the engine behind them is chosen here alone.
#include "platform/db/DB.h"

#include <string>
#include <vector>

namespace billing::data {

struct MemoryField {
    std::string name;
    int size = 0;  // characters; 0 for a text of any length
};

// A table owned by Owner, named Name, open and empty.
TDataSet* NewMemoryTable(TComponent* Owner, const std::string& Name, const std::vector<MemoryField>& Fields);

}  // namespace billing::data
