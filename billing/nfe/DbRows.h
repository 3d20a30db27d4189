#pragma once
// Reading rows in the NF-e routines: a query on the connection with bound
// parameters, and columns read as plain values (a null column gives the
// empty value of its type).
#include <memory>
#include <string>

#include "platform/db/SQLQuery.h"

namespace billing::nfe::rows {

inline std::unique_ptr<TSQLQuery> Query(TSQLConnection& db, const std::string& sql) {
    auto q = std::make_unique<TSQLQuery>();
    q->SetConnection(&db);
    q->SetSQL(sql);
    return q;
}

inline std::string Str(const TDataSet& q, const char* column) {
    TField* f = q.FieldByName(column);
    return f->IsNull() ? std::string() : f->AsString();
}

inline double Num(const TDataSet& q, const char* column) {
    TField* f = q.FieldByName(column);
    return f->IsNull() ? 0.0 : f->AsFloat();
}

inline int Int(const TDataSet& q, const char* column) {
    TField* f = q.FieldByName(column);
    return f->IsNull() ? 0 : f->AsInteger();
}

inline TDateTime When(const TDataSet& q, const char* column) {
    TField* f = q.FieldByName(column);
    return f->IsNull() ? 0.0 : f->AsDateTime();
}

}  // namespace billing::nfe::rows
