#include "billing/data/SchemaUpgrade.h"

#include "billing/data/Schema.h"
#include "platform/db/SQLSchema.h"

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
UpgradeAction Drop(const char* table, const char* column) {
    return {UpgradeAction::DropColumn, table, column, {}};
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
        // The engine cannot change a column's type in place; the table is
        // rebuilt with the new declaration, keeping its rows.
        sqlite::AlterColumnType(db, a.table, a.column, a.type);
        break;
    case UpgradeAction::DropColumn:
        db.Exec("ALTER TABLE " + sqlite::QuoteIdentifier(a.table) + " DROP COLUMN " +
                sqlite::QuoteIdentifier(a.column));
        break;
    }
}

// A column already there or already dropped, a missing table or column
// (plain SQL errors), or a program code already present (a constraint).
bool IsAlreadyDone(const Exception& e) {
    const auto* sql = dynamic_cast<const ESQLiteError*>(&e);
    if (!sql) return true;
    return sql->PrimaryCode() == 1 /* SQLITE_ERROR */ || sql->IsConstraintViolation();
}

void RecordVersion(sqlite::Database& db, const std::string& version) {
    std::int64_t changed = db.Execute("update versao set versao = :pversao", {"pversao"}, {version});
    if (changed == 0) db.Execute("insert into versao(versao) values(:pversao)", {"pversao"}, {version});
}

int DeclaredSize(sqlite::Database& db, const std::string& table, const std::string& column) {
    for (const sqlite::ColumnInfo& c : db.TableColumns(table)) {
        if (sqlite::CompareText(c.name, column) == 0) {
            sqlite::DeclaredType t = sqlite::MapDeclaredType(c.declaredType);
            return t.kind == sqlite::ColumnKind::String ? t.size : -1;
        }
    }
    return -1;
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
    };
    return steps;
}

std::string SchemaVersion(sqlite::Database& db) {
    sqlite::Statement st(db, "select versao from versao");
    if (st.Step() && !st.ColumnIsNull(0)) return st.ColumnText(0);
    return "1.0";
}

UpgradeResult UpgradeSchema(sqlite::Database& db) {
    UpgradeResult result;
    std::string current = "1.0";
    // A file without the table reads as the oldest version; recording the
    // first step's version then fails and reports the file as unusable.
    if (db.TableExists("versao")) current = SchemaVersion(db);
    result.fromVersion = current;
    result.toVersion = current;

    for (const UpgradeStep& step : UpgradeSteps()) {
        if (!(current < step.version)) continue;
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
                db.Begin();
                try {
                    RunAction(db, action);
                    db.Commit();
                    ++result.statementsRun;
                } catch (const Exception& e) {
                    db.Rollback();
                    // Some failures (a full disk, an I/O error) make the engine
                    // drop the whole step: going on would run the rest outside
                    // it and record a version the file does not have.
                    if (!db.InTransaction()) throw;
                    // Only "already done" failures may be passed over; any
                    // other leaves the step undone, to be run at the next open.
                    if (!IsAlreadyDone(e)) throw;
                    ++result.statementsIgnored;
                }
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

    // Fixes outside the versioned steps, each made only when needed so that
    // a second open changes nothing.
    if (!db.TableExists(kKeyReservationTable)) {
        EnsureKeyReservationTable(db);
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
    return result;
}

}  // namespace billing::data
