#pragma once
// The collation and functions every Database registers on its connection
// (see SQLiteDatabase.h), for a connection opened straight on the engine: a
// tool, or a test's own look at the file, must read the text indexes with
// the rule they were built with.
struct sqlite3;

namespace sqlite {

void RegisterTextRules(sqlite3* db);

}  // namespace sqlite
