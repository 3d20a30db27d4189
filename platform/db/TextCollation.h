#pragma once
// The name of the collation every text column is declared with. The
// connections of the program register it (SQLiteDatabase.cpp) and so does
// the loadable extension for the sqlite3 program (ptbr/), both with the
// program's one pt-BR comparison, AnsiCompareText.
namespace sqlite {

inline constexpr const char* kTextCollation = "PTBR";

}  // namespace sqlite
