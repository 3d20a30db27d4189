#include "billing/data/LoginDelay.h"
#include "billing/data/Schema.h"
#include "billing/data/SchemaUpgrade.h"

#include "platform/rtl/Strings.h"
#include "tests/billing/data/DataTestSupport.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace billing::data;
using namespace billdata_test;

namespace {

// Releases before 2.0 had no indexes on the item tables.
void DropItemIndexes(sqlite::Database& db) {
    for (const UpgradeAction& a : ItemIndexes()) db.Exec("DROP INDEX " + a.column);
}

// A database as release 1.5 left it: the columns of steps 1.6 to 1.8 missing,
// the columns they drop still there, a one-character account check digit,
// narrow passwords, and a few rows that must survive the upgrade.
std::string MakeVersion15(const testsupport::TempDir& dir) {
    std::string path = dir.file("v15.db");
    EXPECT_TRUE(CreateDatabaseFile(path));
    sqlite::Database db(path);
    db.Exec("ALTER TABLE produto DROP COLUMN Peca");
    db.Exec("ALTER TABLE nota_fiscal DROP COLUMN Dados_Adicionais_Fisco");
    db.Exec("ALTER TABLE nota_fiscal DROP COLUMN Dados_Adicionais_Contribuinte");
    db.Exec("ALTER TABLE nota_fiscal ADD COLUMN Dados_Adicionais memo");
    for (const char* c : {"IA_Danfe", "IA_Boleto", "IA_Romaneio", "IA_Promissoria", "Impressora_Promissoria",
                          "Impressora_Danfe", "Impressora_Boleto"})
        db.Exec(std::string("ALTER TABLE opcao DROP COLUMN ") + c);
    db.Exec("ALTER TABLE opcao ADD COLUMN Impressora_Nota_Fiscal text(50)");
    db.Exec("ALTER TABLE opcao ADD COLUMN Impressora_Bloqueto text(50)");
    db.Exec("DROP TABLE " + std::string(kKeyReservationTable));
    db.Exec("DROP TABLE " + std::string(kLoginFailureTable));
    db.Exec("ALTER TABLE febraban DROP COLUMN arquivo_logotipo");
    DropItemIndexes(db);
    sqlite::AlterColumnType(db, "conta_corrente", "conta_dv", "text(1)");
    sqlite::AlterColumnType(db, "usuario", "Senha", "text(20)");
    sqlite::AlterColumnType(db, "programa", "Descricao", "text(30)");
    sqlite::AlterColumnType(db, "produto", "Id_Unidade_Medida", "text(2)");
    db.Exec("delete from programa where id_programa = 'NOTA225'");
    db.Exec("update versao set versao = '1.5'");
    db.Exec("insert into opcao(Impressora_Nota_Fiscal, Impressora_Relatorio, Ambiente) values('HP', 'Epson', "
            "'2 - Homologação')");
    db.Exec("insert into conta_corrente(id_conta_corrente, conta, conta_dv) values(1, '12345', '7')");
    db.Exec("insert into nota_fiscal(Id_Nota_Fiscal, Id_Serie_Documento, Id_Registro, Dados_Adicionais, "
            "Valor_Total_Nota) values(123, 1, '0010000123', 'obs', 99.5)");
    db.Exec("insert into usuario(id_usuario, nome, senha, inativo) values('ana', 'Ana', 'abc', 'Não')");
    db.Exec("insert into produto(id_produto, id_unidade_medida) values('00001', 'KG')");
    return path;
}

// A database as release 1.8 left it: program descriptions of 30 characters,
// the engine keeping the longer ones whole in the file all the same.
std::string MakeVersion18(const testsupport::TempDir& dir, const char* descricao = "text(30)") {
    std::string path = dir.file("v18.db");
    EXPECT_TRUE(CreateDatabaseFile(path));
    sqlite::Database db(path);
    sqlite::AlterColumnType(db, "programa", "Descricao", descricao);
    DropItemIndexes(db);
    db.Exec("update versao set versao = '1.8'");
    return path;
}

// Takes the file back to 1.1, without step 1.2's program codes, and makes
// the insertion of "NOTA231" fail with raise(<how>); the file's dump then.
std::string RefuseProgram231(const std::string& path, const std::string& how) {
    sqlite::Database db(path);
    db.Exec("update versao set versao = '1.1'");
    db.Exec("delete from programa where id_programa in ('NOTA230', 'NOTA231', 'NOTA232')");
    db.Exec("create trigger recusa before insert on programa when new.id_programa = 'NOTA231' "
            "begin select raise(" + how + ", 'programa recusado'); end");
    return Dump(db);
}

struct SchemaRow {
    std::string table, column, type;
};

std::vector<SchemaRow> ExpectedSchema() {
    std::istringstream in(testsupport::ReadAll(testsupport::DataPath("billing/schema_current.txt")));
    std::vector<SchemaRow> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream f(line);
        SchemaRow r;
        f >> r.table >> r.column >> r.type;
        rows.push_back(r);
    }
    return rows;
}

}  // namespace

TEST(Schema, NewFileHoldsEveryTableAndColumn) {
    testsupport::TempDir dir;
    std::string path = dir.file("novo.db");
    ASSERT_TRUE(CreateDatabaseFile(path));
    sqlite::Database db(path);
    EXPECT_EQ(SchemaVersion(db), kSchemaVersion);
    EXPECT_EQ(Scalar(db, "select count(*) from versao"), "1");

    std::vector<SchemaRow> expected = ExpectedSchema();
    ASSERT_GT(expected.size(), 250u);
    for (const SchemaRow& r : expected) {
        ASSERT_TRUE(db.TableExists(r.table)) << r.table;
        if (r.column == "-") continue;
        std::string declared = ColumnType(db, r.table, r.column);
        ASSERT_FALSE(declared.empty()) << r.table << "." << r.column;
        if (r.type == "-") continue;
        sqlite::DeclaredType want = sqlite::MapDeclaredType(r.type == "text" ? "text(255)" : r.type);
        if (want.kind == sqlite::ColumnKind::AutoInc) {
            EXPECT_TRUE(db.IsAutoIncrement(r.table, r.column)) << r.table << "." << r.column;
            continue;
        }
        sqlite::DeclaredType got = sqlite::MapDeclaredType(declared);
        EXPECT_EQ(static_cast<int>(got.kind), static_cast<int>(want.kind)) << r.table << "." << r.column;
        if (r.type != "text" && want.kind == sqlite::ColumnKind::String) {
            if (r.table == "usuario" && r.column == "Senha") EXPECT_EQ(got.size, kPasswordColumnSize);
            // An 11-digit mobile number with its area code.
            else if (r.table == "emitente" && (r.column == "Telefone" || r.column == "Telefax"))
                EXPECT_EQ(got.size, kTelephoneColumnSize);
            else EXPECT_EQ(got.size, want.size) << r.table << "." << r.column;
        }
    }
}

TEST(Schema, EveryMenuRightHasItsProgramRow) {
    testsupport::TempDir dir;
    std::string path = dir.file("novo.db");
    ASSERT_TRUE(CreateDatabaseFile(path));
    sqlite::Database db(path);
    // The menu's keys in its own spelling; stored codes are upper case.
    for (const char* key : {"Nota100", "Nota101", "Nota104", "Nota106", "Nota119", "Nota102", "Nota103", "Nota118",
                            "Nota108", "Nota107", "Nota110", "Nota200", "Nota201", "Nota232", "Nota231", "Nota230",
                            "Nota403", "Nota409", "Nota300", "Nota301", "Nota115", "Nota223", "Nota224", "Nota111",
                            "Nota114", "Nota221", "Nota225", "Nota233", "NOTA220"}) {
        sqlite::Statement st(db, "select tipo from programa where id_programa = :p");
        st.BindText(1, key);
        EXPECT_TRUE(st.Step()) << key;
    }
}

TEST(Schema, CreationKeepsAFileThatIsAlreadyThere) {
    testsupport::TempDir dir;
    std::string path = dir.file("novo.db");
    ASSERT_TRUE(CreateDatabaseFile(path));
    {
        sqlite::Database db(path);
        db.Exec("insert into cfop(id_cfop, descricao) values('5102', 'Venda')");
    }
    EXPECT_FALSE(CreateDatabaseFile(path));
    sqlite::Database db(path);
    EXPECT_EQ(Scalar(db, "select descricao from cfop"), "Venda");
    // No temporary file is left behind.
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) (void)e, ++files;
    EXPECT_EQ(files, 1);
}

TEST(Schema, CreationInAMissingFolderFailsCleanly) {
    testsupport::TempDir dir;
    EXPECT_THROW(CreateDatabaseFile(dir.file("nada/novo.db")), Exception);
    EXPECT_FALSE(std::filesystem::exists(dir.file("nada/novo.db")));
}

TEST(SchemaUpgrade, CurrentVersionRunsNothing) {
    testsupport::TempDir dir;
    std::string path = dir.file("novo.db");
    ASSERT_TRUE(CreateDatabaseFile(path));
    std::string before = DumpFile(path);
    sqlite::Database db(path);
    UpgradeResult r = UpgradeSchema(db);
    EXPECT_EQ(r.fromVersion, kSchemaVersion);
    EXPECT_EQ(r.stepsRun, 0);
    EXPECT_EQ(r.statementsRun, 0);
    EXPECT_EQ(r.repairs, 0);
    EXPECT_EQ(Dump(db), before);
}

TEST(SchemaUpgrade, FromVersion15ToCurrentInOneRun) {
    testsupport::TempDir dir;
    std::string path = MakeVersion15(dir);
    sqlite::Database db(path);
    UpgradeResult r = UpgradeSchema(db);
    EXPECT_EQ(r.fromVersion, "1.5");
    EXPECT_EQ(r.toVersion, kSchemaVersion);
    EXPECT_EQ(r.stepsRun, 6);
    EXPECT_EQ(SchemaVersion(db), kSchemaVersion);
    EXPECT_EQ(Scalar(db, "select count(*) from versao"), "1");

    for (const char* c : {"IA_Danfe", "IA_Boleto", "IA_Romaneio", "IA_Promissoria", "Impressora_Promissoria",
                          "Impressora_Danfe", "Impressora_Boleto"})
        EXPECT_TRUE(HasColumn(db, "opcao", c)) << c;
    EXPECT_FALSE(HasColumn(db, "opcao", "Impressora_Nota_Fiscal"));
    EXPECT_FALSE(HasColumn(db, "opcao", "Impressora_Bloqueto"));
    EXPECT_TRUE(HasColumn(db, "produto", "Peca"));
    EXPECT_FALSE(HasColumn(db, "nota_fiscal", "Dados_Adicionais"));
    EXPECT_TRUE(HasColumn(db, "nota_fiscal", "Dados_Adicionais_Fisco"));
    EXPECT_TRUE(HasColumn(db, "nota_fiscal", "Dados_Adicionais_Contribuinte"));
    EXPECT_EQ(sqlite::MapDeclaredType(ColumnType(db, "conta_corrente", "conta_dv")).size, 2);
    EXPECT_EQ(sqlite::MapDeclaredType(ColumnType(db, "opcao", "Impressora_Relatorio")).size, 100);
    EXPECT_EQ(sqlite::MapDeclaredType(ColumnType(db, "usuario", "Senha")).size, kPasswordColumnSize);
    EXPECT_EQ(sqlite::MapDeclaredType(ColumnType(db, "programa", "Descricao")).size, kProgramDescriptionSize);
    EXPECT_EQ(sqlite::MapDeclaredType(ColumnType(db, "produto", "Id_Unidade_Medida")).size, 3);
    EXPECT_TRUE(db.TableExists(kKeyReservationTable));
    EXPECT_TRUE(db.TableExists(kLoginFailureTable));  // log-in failures counted by every instance
    EXPECT_TRUE(HasColumn(db, "febraban", "arquivo_logotipo"));  // the bank-code form keeps the logo there
    EXPECT_EQ(Scalar(db, "select descricao from programa where id_programa = 'Nota225'"),
              "Manutenção Manual (Master)");
    EXPECT_EQ(Scalar(db, "select tipo from programa where id_programa = 'NOTA225'"), "Rotina");

    // Rows survive the rebuilt tables.
    EXPECT_EQ(Scalar(db, "select Impressora_Relatorio from opcao"), "Epson");
    EXPECT_EQ(Scalar(db, "select Ambiente from opcao"), "2 - Homologação");
    EXPECT_EQ(Scalar(db, "select conta_dv from conta_corrente where id_conta_corrente = 1"), "7");
    EXPECT_EQ(Scalar(db, "select Valor_Total_Nota from nota_fiscal where Id_Nota_Fiscal = 123"), "99.5");
    EXPECT_EQ(Scalar(db, "select senha from usuario where id_usuario = 'ANA'"), "abc");
    EXPECT_EQ(Scalar(db, "select id_unidade_medida from produto where id_produto = '00001'"), "KG");
    // Keys and collation survive too: a second invoice with the same key is refused.
    EXPECT_THROW(db.Exec("insert into nota_fiscal(Id_Nota_Fiscal, Id_Serie_Documento) values(123, 1)"),
                 ESQLiteError);
}

TEST(SchemaUpgrade, SecondRunChangesNothing) {
    testsupport::TempDir dir;
    std::string path = MakeVersion15(dir);
    {
        sqlite::Database db(path);
        UpgradeSchema(db);
    }
    std::string before = DumpFile(path);
    sqlite::Database db(path);
    UpgradeResult r = UpgradeSchema(db);
    EXPECT_EQ(r.stepsRun, 0);
    EXPECT_EQ(r.statementsRun, 0);
    EXPECT_EQ(r.repairs, 0);
    EXPECT_EQ(Dump(db), before);
}

TEST(SchemaUpgrade, FailingStatementsAreSkippedOneByOne) {
    testsupport::TempDir dir;
    std::string path = MakeVersion15(dir);
    sqlite::Database db(path);
    // Step 1.6 will find this column already there, and 1.7 its program...
    db.Exec("ALTER TABLE opcao ADD COLUMN Impressora_Danfe text(100)");
    UpgradeResult r = UpgradeSchema(db);
    EXPECT_EQ(r.toVersion, kSchemaVersion);
    EXPECT_GE(r.statementsIgnored, 1);
    // ...while the statements around it still ran.
    EXPECT_TRUE(HasColumn(db, "opcao", "Impressora_Promissoria"));
    EXPECT_TRUE(HasColumn(db, "opcao", "Impressora_Boleto"));
}

TEST(SchemaUpgrade, OldFileWithoutVersionRowGetsOne) {
    testsupport::TempDir dir;
    std::string path = MakeVersion15(dir);
    sqlite::Database db(path);
    db.Exec("delete from versao");
    UpgradeResult r = UpgradeSchema(db);
    EXPECT_EQ(r.fromVersion, "1.0");
    EXPECT_EQ(r.stepsRun, 11);
    EXPECT_EQ(SchemaVersion(db), kSchemaVersion);
    EXPECT_EQ(Scalar(db, "select count(*) from versao"), "1");
    EXPECT_EQ(UpgradeSchema(db).stepsRun, 0);
}

TEST(SchemaUpgrade, FileWithoutVersionTableFailsUntouched) {
    testsupport::TempDir dir;
    std::string path = MakeVersion15(dir);
    {
        sqlite::Database db(path);
        db.Exec("DROP TABLE versao");
    }
    std::string before = DumpFile(path);
    sqlite::Database db(path);
    EXPECT_THROW(UpgradeSchema(db), ESQLiteError);
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(Dump(db), before);
}

TEST(SchemaUpgrade, StepUndoneByTheEngineIsNotRecorded) {
    testsupport::TempDir dir;
    std::string path = MakeVersion15(dir);
    // Stands in for what a full disk or an I/O error can do half-way
    // through a step: the engine drops the whole transaction.
    std::string before = RefuseProgram231(path, "rollback");
    sqlite::Database db(path);
    EXPECT_THROW(UpgradeSchema(db), Exception);
    EXPECT_FALSE(db.InTransaction());
    // The step is either whole or not there: the file stays at 1.1, with
    // nothing of step 1.2 in it, so the next open runs the step again.
    EXPECT_EQ(SchemaVersion(db), "1.1");
    EXPECT_EQ(Dump(db), before);
}

TEST(SchemaUpgrade, StepThatCannotWriteIsNotRecorded) {
    testsupport::TempDir dir;
    std::string path = MakeVersion15(dir);
    {
        sqlite::Database db(path);
        db.Exec("VACUUM");  // no free pages left for the steps to reuse
    }
    std::string before = DumpFile(path);
    sqlite::Database db(path);
    // No room for the rebuilt tables of steps 1.6 and 1.8: that is no
    // "already done" failure, and the version must not claim the step.
    std::int64_t pages = std::stoll(Scalar(db, "pragma page_count"));
    db.Exec("pragma max_page_count = " + std::to_string(pages));
    EXPECT_THROW(UpgradeSchema(db), Exception);
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(SchemaVersion(db), "1.5");
    EXPECT_EQ(Dump(db), before);
}

TEST(Schema, EveryBuiltInProgramDescriptionFitsItsColumn) {
    testsupport::TempDir dir;
    std::string path = dir.file("novo.db");
    ASSERT_TRUE(CreateDatabaseFile(path));
    sqlite::Database db(path);
    const int size = sqlite::MapDeclaredType(ColumnType(db, "programa", "Descricao")).size;
    // The longest one, 33 characters.
    EXPECT_GE(size, Length(std::string("Inutiliza Faixa de Numeração NF-e")));
    for (const ProgramDef& p : BuiltInPrograms()) EXPECT_LE(Length(std::string(p.descricao)), size) << p.id;
}

TEST(SchemaUpgrade, ProgramDescriptionsAreWidenedWithEveryRowWhole) {
    testsupport::TempDir dir;
    std::string path = MakeVersion18(dir);
    sqlite::Database db(path);
    db.Exec("insert into programa(id_programa, tipo, descricao) values('NOTA999', 'Outros', "
            "'Trinta caracteres exatos aqui.')");
    UpgradeResult r = UpgradeSchema(db);
    EXPECT_EQ(r.fromVersion, "1.8");
    EXPECT_EQ(r.toVersion, kSchemaVersion);
    EXPECT_EQ(r.stepsRun, 3);
    EXPECT_EQ(sqlite::MapDeclaredType(ColumnType(db, "programa", "Descricao")).size, kProgramDescriptionSize);
    EXPECT_EQ(Scalar(db, "select descricao from programa where id_programa = 'NOTA231'"),
              "Inutiliza Faixa de Numeração NF-e");
    EXPECT_EQ(Scalar(db, "select descricao from programa where id_programa = 'NOTA999'"),
              "Trinta caracteres exatos aqui.");
    EXPECT_EQ(Scalar(db, "select count(*) from programa"), std::to_string(BuiltInPrograms().size() + 1));
    // Still the key: a second row with the same code is refused.
    EXPECT_THROW(db.Exec("insert into programa(id_programa) values('nota231')"), ESQLiteError);
}

TEST(SchemaUpgrade, AWiderDescriptionIsNeverNarrowed) {
    testsupport::TempDir dir;
    std::string path = MakeVersion18(dir, "text(80)");
    sqlite::Database db(path);
    const std::string longText(70, 'd');
    db.Execute("update programa set descricao = :p where id_programa = 'NOTA231'", {"p"}, {longText});
    UpgradeResult r = UpgradeSchema(db);
    EXPECT_EQ(r.toVersion, kSchemaVersion);
    // With the four widenings of 2.0, which a new file already has.
    EXPECT_EQ(r.statementsIgnored, 1 + 4);
    EXPECT_EQ(sqlite::MapDeclaredType(ColumnType(db, "programa", "Descricao")).size, 80);
    EXPECT_EQ(Scalar(db, "select descricao from programa where id_programa = 'NOTA231'"), longText);
}

TEST(SchemaUpgrade, AFailureThatIsNotAlreadyDoneStopsTheStep) {
    testsupport::TempDir dir;
    std::string path = MakeVersion15(dir);
    // Something refuses the program code that is not there yet: no
    // duplicate, so the step must not be recorded as made.
    std::string before = RefuseProgram231(path, "abort");
    {
        sqlite::Database db(path);
        EXPECT_THROW(UpgradeSchema(db), ESQLiteError);
        EXPECT_FALSE(db.InTransaction());
        EXPECT_EQ(SchemaVersion(db), "1.1");
        EXPECT_EQ(Dump(db), before);
    }
    {
        // A column whose type the rebuilt table cannot declare: step 1.8
        // cannot widen the account check digit, and says so instead of
        // recording a version the file does not have.
        sqlite::Database db(path);
        db.Exec("drop trigger recusa");
        db.Exec("update versao set versao = '1.7'");
        db.Exec("alter table conta_corrente add column Pagina hyperlink");
        before = Dump(db);
        EXPECT_THROW(UpgradeSchema(db), Exception);
        EXPECT_FALSE(db.InTransaction());
        EXPECT_EQ(SchemaVersion(db), "1.7");
        EXPECT_EQ(sqlite::MapDeclaredType(ColumnType(db, "conta_corrente", "conta_dv")).size, 1);
        EXPECT_EQ(Dump(db), before);
    }
}

// An 11-digit mobile number with its area code did not fit the issuer's
// 10-character telephones; the banks' registered names did not fit theirs.
TEST(SchemaUpgrade, TheIssuersTelephonesTakeAMobileNumberAndTheBanksTheirWholeNames) {
    testsupport::TempDir dir;
    std::string path = dir.file("v19.db");
    ASSERT_TRUE(CreateDatabaseFile(path));
    sqlite::Database db(path);
    sqlite::AlterColumnType(db, "emitente", "Telefone", "text(10)");
    sqlite::AlterColumnType(db, "emitente", "Telefax", "text(10)");
    sqlite::AlterColumnType(db, "febraban", "nome", "text(60)");
    sqlite::AlterColumnType(db, "febraban", "nome_fantasia", "text(30)");
    db.Exec("update versao set versao = '1.9'");
    db.Exec("insert into emitente(nome, telefone, telefax) values('Emitente', '4133334444', '4133335555')");
    UpgradeResult r = UpgradeSchema(db);
    EXPECT_EQ(r.toVersion, kSchemaVersion);
    for (const char* c : {"Telefone", "Telefax"})
        EXPECT_EQ(sqlite::MapDeclaredType(ColumnType(db, "emitente", c)).size, 14) << c;
    EXPECT_GE(sqlite::MapDeclaredType(ColumnType(db, "febraban", "nome")).size, 147);
    EXPECT_GE(sqlite::MapDeclaredType(ColumnType(db, "febraban", "nome_fantasia")).size, 60);
    EXPECT_EQ(Scalar(db, "select telefone || '/' || telefax from emitente"), "4133334444/4133335555");
}

// Moving between documents reads their items by the document's key: new
// files have an index for it, and the upgrade gives one to older files.
TEST(SchemaUpgrade, ItemsAreFoundByTheirDocumentThroughAnIndexInNewAndUpgradedFiles) {
    testsupport::TempDir dir;
    auto plan = [](sqlite::Database& db, const std::string& sql) {
        sqlite::Statement st(db, "EXPLAIN QUERY PLAN " + sql);
        std::string out;
        while (st.Step()) out += st.ColumnText(3) + "\n";
        return out;
    };
    const std::string items = "select * from nota_fiscal_item where id_serie_documento = 1 and id_nota_fiscal = 7";
    const std::string listItems = "select * from romaneio_item where id_romaneio = 7";
    std::string fresh = dir.file("novo.db"), old = dir.file("antigo.db");
    ASSERT_TRUE(CreateDatabaseFile(fresh));
    ASSERT_TRUE(CreateDatabaseFile(old));
    {
        sqlite::Database db(old);
        db.Exec("DROP INDEX Nota_Fiscal_Item_Nota");
        db.Exec("DROP INDEX Romaneio_Item_Romaneio");
        db.Exec("update versao set versao = '2.0'");
        EXPECT_EQ(plan(db, items).find("USING INDEX"), std::string::npos) << "the old file scans";
        UpgradeResult r = UpgradeSchema(db);
        EXPECT_EQ(r.stepsRun, 1);
        EXPECT_EQ(SchemaVersion(db), kSchemaVersion);
    }
    for (const std::string& path : {fresh, old}) {
        sqlite::Database db(path);
        EXPECT_NE(plan(db, items).find("USING INDEX Nota_Fiscal_Item_Nota"), std::string::npos) << path;
        EXPECT_NE(plan(db, listItems).find("USING INDEX Romaneio_Item_Romaneio"), std::string::npos) << path;
    }
}
