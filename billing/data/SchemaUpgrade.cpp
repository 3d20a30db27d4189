#include "billing/data/SchemaUpgrade.h"

#include "billing/data/LoginDelay.h"
#include "billing/data/ReferenceTables.h"
#include "billing/data/Schema.h"
#include "platform/db/SQLSchema.h"
#include "platform/rtl/Strings.h"

#include <optional>

namespace billing::data {

namespace {

UpgradeAction Program(const char* id, const char* description) {
    return {UpgradeAction::AddProgram, id, description, {}};
}
UpgradeAction Add(const char* table, const char* column, const char* type) {
    return {UpgradeAction::AddColumn, table, column, type};
}
UpgradeAction Alter(const char* table, const char* column, const char* type) {
    return {UpgradeAction::AlterColumn, table, column, type};
}
UpgradeAction Widen(const char* table, const char* column, int size) {
    return {UpgradeAction::WidenColumn, table, column, "Text(" + std::to_string(size) + ")"};
}
UpgradeAction Drop(const char* table, const char* column) {
    return {UpgradeAction::DropColumn, table, column, {}};
}

std::string IndexSql(const UpgradeAction& a) {
    std::string columns;
    std::size_t start = 0;
    while (start <= a.type.size()) {
        std::size_t comma = a.type.find(',', start);
        if (comma == std::string::npos) comma = a.type.size();
        if (!columns.empty()) columns += ", ";
        columns += sqlite::QuoteIdentifier(Trim(a.type.substr(start, comma - start)));
        start = comma + 1;
    }
    return "CREATE INDEX " + sqlite::QuoteIdentifier(a.column) + " ON " + sqlite::QuoteIdentifier(a.table) + " (" +
           columns + ")";
}

void RunAction(sqlite::Database& db, const UpgradeAction& a) {
    switch (a.kind) {
    case UpgradeAction::AddProgram:
        db.Execute("insert into programa(id_programa, Tipo, Descricao) Values(:pid_programa, :ptipo, :pdescricao)",
                   {"pid_programa", "ptipo", "pdescricao"},
                   {a.table, std::string("Rotina"), a.column});
        break;
    case UpgradeAction::AddColumn:
        db.Exec(sqlite::AddColumnSql(a.table, {a.column, a.type}));
        break;
    case UpgradeAction::AlterColumn:
    case UpgradeAction::WidenColumn:
        // The engine cannot change a column's type in place; the table is
        // rebuilt with the new declaration, keeping its rows.
        sqlite::AlterColumnType(db, a.table, a.column, a.type);
        break;
    case UpgradeAction::DropColumn:
        db.Exec("ALTER TABLE " + sqlite::QuoteIdentifier(a.table) + " DROP COLUMN " +
                sqlite::QuoteIdentifier(a.column));
        break;
    case UpgradeAction::AddIndex:
        db.Exec(IndexSql(a));
        break;
    }
}

// The declared type of a column; nothing when the table or the column is not there.
std::optional<std::string> ColumnType(sqlite::Database& db, const std::string& table, const std::string& column) {
    for (const sqlite::ColumnInfo& c : db.TableColumns(table))
        if (sqlite::CompareText(c.name, column) == 0) return c.declaredType;
    return std::nullopt;
}

bool SameType(const std::string& a, const std::string& b) {
    sqlite::DeclaredType x = sqlite::MapDeclaredType(a), y = sqlite::MapDeclaredType(b);
    return x.kind != sqlite::ColumnKind::Unknown && x.kind == y.kind &&
           (x.kind != sqlite::ColumnKind::String || x.size == y.size);
}

// Whether the file already has what the action makes (a column or a program
// code that is there, a dropped column that is gone, a column of the wanted
// type), or lacks the table or the column the action changes, as a file of
// an older release may. Such an action is passed over; any other runs, and
// whatever it raises fails its step. The state is read rather than guessed
// from the error an action raises, so that no other failure can pass for
// "already done".
bool AlreadyDone(sqlite::Database& db, const UpgradeAction& a) {
    switch (a.kind) {
    case UpgradeAction::AddProgram: {
        if (!db.TableExists("programa")) return true;
        // The key's collation ignores case: "Nota223" is "NOTA223".
        sqlite::Statement st(db, "select 1 from programa where id_programa = ?1");
        st.BindText(1, a.table);
        return st.Step();
    }
    case UpgradeAction::AddColumn:
        return !db.TableExists(a.table) || ColumnType(db, a.table, a.column).has_value();
    case UpgradeAction::AlterColumn: {
        std::optional<std::string> type = ColumnType(db, a.table, a.column);
        return !type || SameType(*type, a.type);
    }
    case UpgradeAction::WidenColumn: {
        std::optional<std::string> type = ColumnType(db, a.table, a.column);
        if (!type) return true;
        // A wider text, or a memo, already holds every value: never narrowed.
        sqlite::DeclaredType have = sqlite::MapDeclaredType(*type);
        return have.kind != sqlite::ColumnKind::String || have.size >= sqlite::MapDeclaredType(a.type).size;
    }
    case UpgradeAction::DropColumn:
        return !ColumnType(db, a.table, a.column).has_value();
    case UpgradeAction::AddIndex: {
        if (!db.TableExists(a.table)) return true;
        sqlite::Statement st(db, "select 1 from sqlite_master where type = 'index' and name = ?1");
        st.BindText(1, a.column);
        return st.Step();
    }
    }
    return false;
}

void RecordVersion(sqlite::Database& db, const std::string& version) {
    std::int64_t changed = db.Execute("update versao set versao = :pversao", {"pversao"}, {version});
    if (changed == 0) db.Execute("insert into versao(versao) values(:pversao)", {"pversao"}, {version});
}

int DeclaredSize(sqlite::Database& db, const std::string& table, const std::string& column) {
    std::optional<std::string> type = ColumnType(db, table, column);
    if (!type) return -1;
    sqlite::DeclaredType t = sqlite::MapDeclaredType(*type);
    return t.kind == sqlite::ColumnKind::String ? t.size : -1;
}

bool HasColumn(sqlite::Database& db, const std::string& table, const std::string& column) {
    for (const sqlite::ColumnInfo& c : db.TableColumns(table))
        if (sqlite::CompareText(c.name, column) == 0) return true;
    return false;
}

}  // namespace

const std::vector<UpgradeStep>& UpgradeSteps() {
    static const std::vector<UpgradeStep> steps = {
        {"1.1",
         {Program("NOTA223", "Alteração de Senha"), Program("NOTA224", "Bloqueio do Aplicativo"),
          Add("Cliente", "Faturamento_Minimo", "Double")}},
        {"1.2",
         {Program("NOTA230", "Verifica Status Serviço NF-e"), Program("NOTA231", "Inutiliza Faixa de Numeração NF-e"),
          Program("NOTA232", "Gerenciamento de NF-e"), Add("Nota_Fiscal", "Situacao_NFE", "Text(15)"),
          Add("Nota_Fiscal", "DANFE_Impresso", "Text(3)"), Add("Nota_Fiscal", "Tipo_Impressao_DANFE", "Text(15)"),
          Add("Nota_Fiscal", "Forma_Pagamento", "Text(25)"), Add("Nota_Fiscal", "Modalidade_Frete", "Text(30)"),
          Add("Opcao", "Ambiente", "Text(12)")}},
        {"1.3",
         {Add("Nota_Fiscal", "Numero_Lote_NFE", "Integer"), Alter("Opcao", "Ambiente", "Text(15)"),
          Alter("Opcao", "Tipo_Impressao_DANFE", "Text(15)")}},
        {"1.4",
         {Add("Nota_Fiscal", "Erro_NFE", "Memo"), Alter("Nota_Fiscal", "Protocolo_NFE", "Text(50)"),
          Alter("Nota_Fiscal", "Numero_Lote_NFE", "Text(15)"), Add("Nota_Fiscal", "Recibo_NFE", "Text(15)")}},
        {"1.5",
         {Program("NOTA201", "Lançamento de Romaneio"), Add("Romaneio", "Id_condicao_pagamento", "integer"),
          Add("Romaneio", "Valor_Produto", "Double"), Add("Romaneio", "Valor_Frete", "Double"),
          Add("Opcao", "Copias_DANFE", "integer")}},
        {"1.6",
         {Program("NOTA225", "Manutenção Manual (Master)"), Add("Opcao", "Impressora_Promissoria", "Text(100)"),
          Add("Opcao", "Impressora_Danfe", "Text(100)"), Add("Opcao", "Impressora_Boleto", "Text(100)"),
          Drop("Opcao", "Impressora_Nota_Fiscal"), Drop("Opcao", "Impressora_Bloqueto"),
          Alter("Opcao", "Impressora_Relatorio", "Text(100)"), Alter("Opcao", "Impressora_Romaneio", "Text(100)")}},
        {"1.7",
         {Add("Produto", "Peca", "Integer"), Drop("Nota_Fiscal", "Dados_Adicionais"),
          Add("Nota_Fiscal", "Dados_Adicionais_Fisco", "Memo"),
          Add("Nota_Fiscal", "Dados_Adicionais_Contribuinte", "Memo"), Add("Opcao", "IA_Danfe", "Text(3)"),
          Add("Opcao", "IA_Boleto", "Text(3)"), Add("Opcao", "IA_Romaneio", "Text(3)"),
          Add("Opcao", "IA_Promissoria", "Text(3)")}},
        {"1.8", {Alter("Conta_Corrente", "conta_dv", "Text(2)")}},
        // "Inutiliza Faixa de Numeração NF-e" and longer descriptions whole.
        {"1.9", {Widen("Programa", "Descricao", kProgramDescriptionSize)}},
        // An 11-digit mobile number with its area code whole in the issuer's
        // telephones, as the clients', suppliers' and carriers' already take
        // it; the banks' registered names whole.
        {"2.0",
         {Widen("Emitente", "Telefone", kTelephoneColumnSize), Widen("Emitente", "Telefax", kTelephoneColumnSize),
          Widen("Febraban", "nome", kBankNameSize), Widen("Febraban", "nome_fantasia", kBankShortNameSize)}},
    };
    static const std::vector<UpgradeStep> all = [] {
        std::vector<UpgradeStep> v = steps;
        for (const UpgradeStep& s : IndexSteps()) v.push_back(s);
        return v;
    }();
    return all;
}

const std::vector<UpgradeStep>& IndexSteps() {
    // Kept apart from the steps above: indexes only, no stored format
    // changes; a file without them reads the same rows, only slower.
    static const std::vector<UpgradeStep> steps = {
        {"2.1", ItemIndexes()},
    };
    return steps;
}

std::vector<UpgradeAction> ItemIndexes() {
    // Moving between documents reads and rewrites their items by the
    // document's key: without these every move scans every item.
    return {{UpgradeAction::AddIndex, "Nota_Fiscal_Item", "Nota_Fiscal_Item_Nota", "Id_Serie_Documento, Id_Nota_Fiscal"},
            {UpgradeAction::AddIndex, "Romaneio_Item", "Romaneio_Item_Romaneio", "Id_Romaneio"}};
}

void CreateIndexes(sqlite::Database& db) {
    for (const UpgradeAction& a : ItemIndexes())
        if (!AlreadyDone(db, a)) RunAction(db, a);
}

std::string SchemaVersion(sqlite::Database& db) {
    sqlite::Statement st(db, "select versao from versao");
    if (st.Step() && !st.ColumnIsNull(0)) return st.ColumnText(0);
    return "1.0";
}

int UnquoteBankNames(sqlite::Database& db) {
    if (!db.TableExists("febraban")) return 0;
    // The bank list of an earlier release wrapped names holding a comma in
    // double quotes ("\"CCC POUP E INV DOS ESTADOS DO PR, SP E RJ\""), which
    // no clerk types when searching. Looked for first, so that the usual
    // open takes no write lock.
    int repairs = 0;
    for (const char* column : {"nome", "nome_fantasia"}) {
        const std::string c = sqlite::QuoteIdentifier(column);
        const std::string quoted =
            "length(" + c + ") > 1 and substr(" + c + ", 1, 1) = '\"' and substr(" + c + ", -1, 1) = '\"'";
        sqlite::Statement any(db, "select 1 from febraban where " + quoted + " limit 1");
        if (!any.Step()) continue;
        db.Exec("update febraban set " + c + " = substr(" + c + ", 2, length(" + c + ") - 2) where " + quoted);
        ++repairs;
    }
    return repairs;
}

UpgradeResult UpgradeSchema(sqlite::Database& db, const std::string& UpTo) {
    UpgradeResult result;
    std::string current = "1.0";
    // A file without the table reads as the oldest version; recording the
    // first step's version then fails and reports the file as unusable.
    if (db.TableExists("versao")) current = SchemaVersion(db);
    result.fromVersion = current;
    result.toVersion = current;

    for (const UpgradeStep& step : UpgradeSteps()) {
        if (!(current < step.version)) continue;
        if (!UpTo.empty() && UpTo < step.version) return result;
        db.Begin();
        try {
            // Another instance may have made this step while this one waited
            // for the write lock.
            if (db.TableExists("versao") && !(SchemaVersion(db) < step.version)) {
                db.Commit();
                result.toVersion = SchemaVersion(db);
                continue;
            }
            for (const UpgradeAction& action : step.actions) {
                if (AlreadyDone(db, action)) {
                    ++result.statementsIgnored;
                    continue;
                }
                RunAction(db, action);
                ++result.statementsRun;
            }
            RecordVersion(db, step.version);
            ++result.statementsRun;
            db.Commit();
        } catch (...) {
            if (db.InTransaction()) db.Rollback();
            throw;
        }
        ++result.stepsRun;
        result.toVersion = step.version;
    }

    if (!UpTo.empty()) return result;

    // Fixes outside the versioned steps, each made only when needed so that
    // a second open changes nothing.
    if (!db.TableExists(kKeyReservationTable)) {
        EnsureKeyReservationTable(db);
        ++result.repairs;
    }
    // Log-in failures counted where every instance sees them.
    if (!db.TableExists(kLoginFailureTable)) {
        EnsureLoginFailureTable(db);
        ++result.repairs;
    }
    // Voided ranges, kept so that the series' counter never hands them out.
    if (!db.TableExists(kVoidedRangeTable)) {
        EnsureVoidedRangeTable(db);
        ++result.repairs;
    } else if (!HasColumn(db, kVoidedRangeTable, "data_protocolo")) {
        // The authority's date beside its protocol: a range kept before has none.
        db.Exec(sqlite::AddColumnSql(kVoidedRangeTable, {"data_protocolo", "date/time"}));
        ++result.repairs;
    }
    if (db.TableExists("febraban") && !HasColumn(db, "febraban", "arquivo_logotipo")) {
        db.Exec("ALTER TABLE febraban ADD COLUMN arquivo_logotipo text(255)");
        ++result.repairs;
    }
    int senha = DeclaredSize(db, "usuario", "Senha");
    if (senha >= 0 && senha < kPasswordColumnSize) {
        sqlite::AlterColumnType(db, "usuario", "Senha", "text(" + std::to_string(kPasswordColumnSize) + ")");
        ++result.repairs;
    }
    int unidade = DeclaredSize(db, "produto", "Id_Unidade_Medida");
    if (unidade >= 0 && unidade < kUnitColumnSize) {
        sqlite::AlterColumnType(db, "produto", "Id_Unidade_Medida", "text(" + std::to_string(kUnitColumnSize) + ")");
        ++result.repairs;
    }
    result.repairs += UnquoteBankNames(db);
    result.referenceRows = SeedReferenceTables(db).rowsInserted;
    return result;
}

}  // namespace billing::data
