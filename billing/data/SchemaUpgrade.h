#pragma once
// Brings a database made by an older release to the current schema.
//
// The schema version is the text in table versao. Every step whose version
// is above it (plain text order) runs, in order, each in its own
// transaction: its statements run one by one, a failing one (a column that
// is already there, a program code already present, a column already
// dropped) is undone alone and skipped, and the step ends by recording its
// version. Any other failure (a full disk, an I/O error), and a failing
// record, undoes the whole step and goes to the caller, so a file is never
// left half-way through a step nor at a version it does not have.
#include "platform/db/SQLiteDatabase.h"

#include <string>
#include <vector>

namespace billing::data {

struct UpgradeAction {
    enum Kind { AddProgram, AddColumn, AlterColumn, DropColumn };
    Kind kind;
    std::string table;   // or the program code
    std::string column;  // or the program's description
    std::string type;    // declared type of a new or altered column
};

struct UpgradeStep {
    std::string version;
    std::vector<UpgradeAction> actions;
};

// The steps from "1.1" to the current version.
const std::vector<UpgradeStep>& UpgradeSteps();

struct UpgradeResult {
    std::string fromVersion;   // as read ("1.0" when versao has no row)
    std::string toVersion;
    int stepsRun = 0;
    int statementsRun = 0;     // including the version records
    int statementsIgnored = 0;
    int repairs = 0;           // fixes outside the versioned steps
};

// Runs the steps the database needs. Raises when a version cannot be
// recorded (a file without the versao table). A versao table without rows
// gets its row, so the steps do not run again at every open.
UpgradeResult UpgradeSchema(sqlite::Database& db);

// Current version text of a database ("1.0" when versao has no row).
std::string SchemaVersion(sqlite::Database& db);

}  // namespace billing::data
