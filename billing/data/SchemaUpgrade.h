#pragma once
// Brings a database made by an older release to the current schema.
//
// The schema version is the text in table versao. Every step whose version
// is above it (plain text order) runs, in order, each in one transaction:
// its actions run one by one, except those the file already has (a column
// or a program code already there, a column already dropped or already of
// the wanted type or wider) or cannot take (its table or column is missing),
// which are passed over; the step ends by recording its version. Any failure
// of an action that runs (a full disk, an I/O error, a column type the
// rebuild cannot declare, any exception at all) and a failing record undo the
// whole step and go to the caller, so a file is never left half-way through a
// step nor at a version it does not have.
#include "platform/db/SQLiteDatabase.h"

#include <string>
#include <vector>

namespace billing::data {

struct UpgradeAction {
    // WidenColumn makes a text column at least the given size, never narrower.
    // AddIndex makes the index `column` on `table` over the columns `type`.
    enum Kind { AddProgram, AddColumn, AlterColumn, WidenColumn, DropColumn, AddIndex };
    Kind kind;
    std::string table;   // or the program code
    std::string column;  // or the program's description, or the index's name
    std::string type;    // declared type of a new or altered column, or the index's columns
};

struct UpgradeStep {
    std::string version;
    std::vector<UpgradeAction> actions;
};

// The steps from "1.1" to the current version.
const std::vector<UpgradeStep>& UpgradeSteps();
// The step (part of UpgradeSteps) that adds the indexes of the item tables
// by their document ("2.1").
const std::vector<UpgradeStep>& IndexSteps();
std::vector<UpgradeAction> ItemIndexes();
// Makes those indexes where they are missing (a new database).
void CreateIndexes(sqlite::Database& db);

struct UpgradeResult {
    std::string fromVersion;   // as read ("1.0" when versao has no row)
    std::string toVersion;
    int stepsRun = 0;
    int statementsRun = 0;     // including the version records
    int statementsIgnored = 0; // actions passed over as already done
    int repairs = 0;           // fixes outside the versioned steps
    int referenceRows = 0;     // states, municipalities and banks given to empty tables
};

// Runs the steps the database needs, then fills the reference tables (uf,
// municipio, febraban) that have no row (see ReferenceTables.h). Raises when a version cannot be
// recorded (a file without the versao table). A versao table without rows
// gets its row, so the steps do not run again at every open.
// UpTo, when given, stops after the step of that version (the repairs
// outside the steps are then left for a later full run).
UpgradeResult UpgradeSchema(sqlite::Database& db, const std::string& UpTo = {});

// Drops the double quotes an earlier release's bank list left around some
// bank names; the number of columns mended (0 when none needed it). Part of
// UpgradeSchema's repairs.
int UnquoteBankNames(sqlite::Database& db);

// Current version text of a database ("1.0" when versao has no row).
std::string SchemaVersion(sqlite::Database& db);

}  // namespace billing::data
