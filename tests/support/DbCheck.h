#pragma once
// What a test looks at after a write was failed or the writer was killed:
// the database file as the next start of the program would find it.
//
// Every check opens the file on a connection of its own, straight on the
// engine and not through the program's database layer, so that what the
// layer does on open (and might do wrong) is not taken for granted: a hot
// journal is rolled back by the engine as it would be for any reader, and
// nothing else is repaired.
//
// Dumps are plain text, one line per row in rowid order, each value with its
// storage class, so that two dumps are equal exactly when the tables hold
// the same rows, and a dump taken before and one taken after a path are the
// two outcomes an interrupted path may leave.
#include <string>
#include <vector>

namespace testsupport {

struct DbCheck {
    // The file opens as a database (not merely as a file of bytes).
    bool opens = false;
    // The lines of PRAGMA integrity_check joined by "\n" ("ok" for a sound
    // file), or the engine's message when it could not run.
    std::string integrity;
    // The dump of the tables asked for (see DumpTables).
    std::string dump;
};

// Opens Path (which must exist: nothing is created), runs the integrity
// check and dumps Tables. A file that is not a database gives opens=false
// and the engine's message in integrity.
DbCheck CheckDatabase(const std::string& Path, const std::vector<std::string>& Tables);

// Per table: a line "table NAME(col, col, ...)" with the columns in their
// order, then one line per row in rowid order ("<absent>" for a table the
// file does not hold). Table names are matched without regard to case.
std::string DumpTables(const std::string& Path, const std::vector<std::string>& Tables);

// The names of the file's own tables (not the engine's sqlite_ ones), in
// alphabetical order.
std::vector<std::string> TableNames(const std::string& Path);

// The schema as the file states it: every table's and index's SQL, sorted.
std::string DumpSchema(const std::string& Path);

// The entries of the folder that holds Path whose names begin with Path's
// file name but are not it ("x.db-journal", "x.db.tmp.1234"), sorted. A
// leftover under another name ("x.$$$") is found by LeftoversOf.
std::vector<std::string> FilesBeside(const std::string& Path);

// Every entry of the folder of Path other than Path itself and the names
// in Expected, sorted: what a path left behind that it should not have.
std::vector<std::string> LeftoversOf(const std::string& Path, const std::vector<std::string>& Expected = {});

}  // namespace testsupport
