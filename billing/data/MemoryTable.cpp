#include "billing/data/MemoryTable.h"

#include "platform/db/SQLQuery.h"
#include "platform/db/SQLSchema.h"

namespace billing::data {

// Backed by a private in-memory database per table, with a key-less table
// of the same fields; the rows are never written to disk.
TDataSet* NewMemoryTable(TComponent* Owner, const std::string& Name, const std::vector<MemoryField>& Fields) {
    auto* connection = new TSQLConnection(Owner);
    connection->SetName(Name + "Store");
    connection->SetDatabaseName(":memory:");
    connection->SetCreateIfMissing(true);
    connection->Open();
    std::vector<sqlite::ColumnDef> columns;
    for (const MemoryField& f : Fields)
        columns.push_back({f.name, f.size > 0 ? "text(" + std::to_string(f.size) + ")" : std::string("memo")});
    connection->Execute(sqlite::CreateTableSql(Name, columns));

    auto* table = new TSQLTable(Owner);
    table->SetName(Name);
    table->SetConnection(connection);
    table->SetTableName(Name);
    table->Open();
    return table;
}

}  // namespace billing::data
