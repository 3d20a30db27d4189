#include "billing/data/MemoryTable.h"

#include "memtable/mtMemTable.h"

namespace billing::data {

TDataSet* NewMemoryTable(TComponent* Owner, const std::string& Name, const std::vector<MemoryField>& Fields) {
    auto* table = new TmtMemTable(Owner);
    table->SetName(Name);
    for (const MemoryField& f : Fields) {
        if (f.size > 0) table->FieldDefs()->Add(f.name, ftString, f.size);
        else table->FieldDefs()->Add(f.name, ftMemo);
    }
    table->Open();
    return table;
}

}  // namespace billing::data
