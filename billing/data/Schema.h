#pragma once
// The billing database's tables at the current schema version, and the
// creation of a new, empty database file holding them.
#include "platform/db/SQLSchema.h"
#include "platform/db/SQLiteDatabase.h"

#include <string>
#include <vector>

namespace billing::data {

// The version a database made here starts at, and the last step of the upgrade.
inline constexpr const char* kSchemaVersion = "2.1";

// programa.Descricao: the longest built-in description, "Inutiliza Faixa de
// Numeração NF-e", has 33 characters.
inline constexpr int kProgramDescriptionSize = 50;

// Stored passwords are the Base64 of the encrypted text: 24 characters up to
// 15 typed characters, 32 up to 23. The column is wide enough for any
// password the forms take, so an encrypted password is never cut.
inline constexpr int kPasswordColumnSize = 64;

// The longest password a user types, in characters: what the login's edit
// takes. Every form that sets a password holds to it, so a password once
// stored can always be typed again.
inline constexpr int kPasswordMaxLength = 20;

// Numbers handed out by Id_Generator but not yet stored in their tables
// (table name, key column, value); see Tdmdb::Id_Generator.
inline constexpr const char* kKeyReservationTable = "chave_reservada";

// Number ranges of a series that the tax authority accepted as voided
// (series, first and last number): no invoice may be numbered inside one,
// whichever way the series' counter reaches it.
inline constexpr const char* kVoidedRangeTable = "numeracao_inutilizada";

// A product's unit of measure is a key of unidade_medida, whose codes have
// three characters; a narrower column would cut a three-letter unit.
inline constexpr int kUnitColumnSize = 3;

// Telephones are kept as typed digits: area code and an 11-digit mobile
// number fit, with room for a country code or an extension.
inline constexpr int kTelephoneColumnSize = 14;

// The banks' names as the Central Bank registers them (the longest has 147
// characters, the longest short name 60).
inline constexpr int kBankNameSize = 160;
inline constexpr int kBankShortNameSize = 60;

struct TableDef {
    std::string name;
    std::vector<sqlite::ColumnDef> columns;
};

struct ProgramDef {
    const char* id;
    const char* tipo;
    const char* descricao;
};

// Every table of the current version, with its columns in order.
const std::vector<TableDef>& CurrentSchema();
const TableDef* FindTable(const std::string& name);

// The program codes the rights refer to: every key the menu checks and the
// login's own code.
const std::vector<ProgramDef>& BuiltInPrograms();

// Creates every table, the programa rows and the versao row, in one
// transaction, on an empty database.
void CreateSchema(sqlite::Database& db);

// The table that keeps reserved keys; created when missing.
void EnsureKeyReservationTable(sqlite::Database& db);

// The table of voided ranges; created when missing.
void EnsureVoidedRangeTable(sqlite::Database& db);

// Creates a database file at path holding the current schema and the
// reference rows (states, municipalities, banks; see ReferenceTables.h). The file is
// built under a new temporary name in the same folder (".<name>.novo-<pid>-XXXXXX")
// and linked into place only when complete, so neither a failure nor the
// program's death ever leaves a half-made database at path; a file that
// appeared at path meanwhile (another instance) is kept. What a creation
// killed half-way left under its temporary name is removed by a later one,
// or by any later open of the database, once provably abandoned
// (RemoveDeadCreations). Returns true when it
// created the file.
bool CreateDatabaseFile(const std::string& path);

// Removes what creations of path left behind that is provably abandoned:
// a half-made copy (and its journal) whose writer's lock can be taken here
// and that has not changed for a day (fileio::ClaimAbandoned), and a second
// name of the database itself (a creation killed after linking it into
// place). Never judged by the process id a name carries: in a shared
// folder the copy may be another machine's, or another pid namespace's, in
// the making, and it stays.
void RemoveDeadCreations(const std::string& path);

}  // namespace billing::data
