#pragma once
// Tables shaped like the billing's buffers, for the memory table tests.
#include <memory>
#include <string>
#include <vector>

#include "memtable/mtMemTable.h"

namespace mttest {

// Id (integer), Name (string 20), Amount (float).
inline std::unique_ptr<TmtMemTable> MakeItems(TmtPerformance Performance = mtpfFast) {
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->FieldDefs()->Add("Id", ftInteger);
    t->FieldDefs()->Add("Name", ftString, 20);
    t->FieldDefs()->Add("Amount", ftFloat);
    t->SetPerformance(Performance);
    return t;
}

inline void AddItem(TDataSet* t, int Id, const std::string& Name, double Amount) {
    t->Append();
    t->FieldByName("Id")->SetAsInteger(Id);
    t->FieldByName("Name")->SetAsString(Name);
    t->FieldByName("Amount")->SetAsFloat(Amount);
    t->Post();
}

// The Id column from first to last.
inline std::vector<int> Ids(TDataSet* t) {
    std::vector<int> ids;
    t->First();
    while (!t->Eof()) {
        ids.push_back(t->FieldByName("Id")->AsInteger());
        t->Next();
    }
    return ids;
}

inline std::vector<std::string> Names(TDataSet* t) {
    std::vector<std::string> names;
    t->First();
    while (!t->Eof()) {
        names.push_back(t->FieldByName("Name")->AsString());
        t->Next();
    }
    return names;
}

}  // namespace mttest
