// The text collation of the program's databases as a loadable SQLite
// extension, for the stock sqlite3 program: with it an administrator can run
// PRAGMA integrity_check, VACUUM or an insert on a file whose schema names
// the collation, and indexes keep the order the program built them in
// because the comparison is the program's own (AnsiCompareText).
//
//   sqlite3 faturamento.db
//   sqlite> .load /usr/local/lib/faturamento/faturamento_ptbr
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

#include <string_view>

#include "platform/db/TextCollation.h"
#include "platform/rtl/Strings.h"

namespace {

int Compare(void*, int lenA, const void* a, int lenB, const void* b) {
    return AnsiCompareText(std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(lenA)),
                           std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(lenB)));
}

}  // namespace

extern "C" {

// The name sqlite3 derives from the file name "faturamento_ptbr".
__attribute__((visibility("default"))) int sqlite3_faturamentoptbr_init(sqlite3* db, char** error,
                                                                         const sqlite3_api_routines* api) {
    SQLITE_EXTENSION_INIT2(api);
    const int rc = sqlite3_create_collation_v2(db, sqlite::kTextCollation, SQLITE_UTF8, nullptr, Compare, nullptr);
    if (rc != SQLITE_OK && error != nullptr) *error = sqlite3_mprintf("cannot register the collation");
    return rc;
}

// For a copy renamed by hand, and for load_extension() with no entry point.
__attribute__((visibility("default"))) int sqlite3_extension_init(sqlite3* db, char** error,
                                                                   const sqlite3_api_routines* api) {
    return sqlite3_faturamentoptbr_init(db, error, api);
}
}
