#include "platform/db/SQLiteDatabase.h"
#include "platform/db/SQLSchema.h"

#include "platform/rtl/IniFiles.h"
#include "tests/support/TestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <set>
#include <thread>

using namespace sqlite;

namespace {

class SqliteFixture : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("base.db");
        OpenOptions o;
        o.create = true;
        db.Open(path, o);
    }
    std::vector<std::string> Column(const std::string& sql) {
        std::vector<std::string> out;
        Statement st(db, sql);
        while (st.Step()) out.push_back(st.ColumnText(0));
        return out;
    }
    std::int64_t Count(const std::string& sql, const std::string& param = {}) {
        Statement st(db, sql);
        if (st.ParameterCount() > 0) st.BindText(1, param);
        st.Step();
        return st.ColumnInt64(0);
    }

    testsupport::TempDir dir;
    std::string path;
    Database db;
};

}  // namespace

TEST_F(SqliteFixture, TextColumnsCompareWithoutCaseButWithAccents) {
    db.Exec(CreateTableSql("programa", {{"Id_Programa", "text(15)", false, true}, {"Descricao", "text(30)"}}));
    db.Execute("insert into programa values(:id, :d)", {"id", "d"}, {std::string("NOTA223"), std::string("Alteração")});
    db.Execute("insert into programa values(:id, :d)", {"id", "d"}, {std::string("NOTA224"), std::string("ação")});
    EXPECT_EQ(Count("select count(*) from programa where id_programa = ?1", "Nota223"), 1);
    EXPECT_EQ(Count("select count(*) from programa where Descricao = ?1", "ALTERAÇÃO"), 1);
    // Text between double quotes, as statements of the original dialect write it.
    EXPECT_EQ(Count("select count(*) from programa where id_programa = \"nota223\""), 1);
    // Accents are a difference of their own, as in the original sort order.
    EXPECT_EQ(Count("select count(*) from programa where Descricao = ?1", "alteracao"), 0);
    // The key is unique under the same rule: a second "nota223" is a duplicate.
    try {
        db.Execute("insert into programa values('nota223', 'x')");
        FAIL() << "duplicate accepted";
    } catch (const ESQLiteError& e) {
        EXPECT_TRUE(e.IsConstraintViolation());
        EXPECT_NE(e.Message().find("UNIQUE"), std::string::npos);
    }
}

TEST_F(SqliteFixture, OrderFollowsPortugueseRules) {
    db.Exec(CreateTableSql("t", {{"Nome", "text(20)"}}));
    for (const char* n : {"bola", "Árvore", "abacaxi", "Zebra", "ação", "acao", "Ética", "eva"})
        db.Execute("insert into t values(:n)", {"n"}, {std::string(n)});
    std::vector<std::string> expected = {"abacaxi", "acao", "ação", "Árvore", "bola", "Ética", "eva", "Zebra"};
    EXPECT_EQ(Column("select Nome from t order by Nome"), expected);
}

TEST_F(SqliteFixture, LikeIgnoresCaseOfAccentedLetters) {
    db.Exec(CreateTableSql("t", {{"Nome", "text(30)"}}));
    for (const char* n : {"JOÃO DA SILVA", "joão pereira", "Joao Sem Acento", "100% algodão", "100 por cento"})
        db.Execute("insert into t values(:n)", {"n"}, {std::string(n)});
    EXPECT_EQ(Count("select count(*) from t where Nome like ?1", "joão%"), 2);
    EXPECT_EQ(Count("select count(*) from t where Nome like ?1", "%SILVA"), 1);
    EXPECT_EQ(Count("select count(*) from t where Nome like ?1", "j_ão%"), 2);
    EXPECT_EQ(Count("select count(*) from t where Nome like ?1 escape '\\'", "100\\%%"), 1);
    EXPECT_EQ(Count("select count(*) from t where Nome like ?1", "%ALGODÃO"), 1);
    EXPECT_EQ(Count("select count(*) from t where Nome like null"), 0);
    EXPECT_TRUE(Like("ÇÃO", "ç%o"));
    EXPECT_FALSE(Like("abc", "a_"));
    EXPECT_TRUE(Like("", "%"));
    // Malformed UTF-8 in user text must not break the matcher.
    EXPECT_FALSE(Like(std::string("\xC3", 1), "ab"));
    EXPECT_EQ(Column("select upper('ação') || lower('ÉTICA')"), std::vector<std::string>{"AÇÃOética"});
}

TEST_F(SqliteFixture, ParametersCarryQuotesAndAreMatchedWithoutCase) {
    db.Exec(CreateTableSql("usuario", {{"Id_Usuario", "text(20)", false, true}, {"Senha", "text(20)"}}));
    std::string evil = "x'); drop table usuario; --\"";
    db.Execute("insert into usuario(id_usuario, senha) values(:pId, :pSenha)", {"pid", "PSENHA"},
               {evil, std::string("O'Brien")});
    EXPECT_TRUE(db.TableExists("usuario"));
    EXPECT_EQ(Column("select Id_Usuario || '|' || Senha from usuario"), std::vector<std::string>{evil + "|O'Brien"});
    // A parameter nobody gave a value is an error, not a silent null.
    EXPECT_THROW(db.Execute("delete from usuario where id_usuario = :pFalta"), ESQLiteError);
    EXPECT_EQ(Count("select count(*) from usuario"), 1);
}

TEST_F(SqliteFixture, NestedTransactionsUndoOnlyTheirOwnLevel) {
    db.Exec("create table t(n integer)");
    EXPECT_EQ(db.Begin(), 1);
    db.Exec("insert into t values(1)");
    EXPECT_EQ(db.Begin(), 2);
    db.Exec("insert into t values(2)");
    db.Rollback();
    EXPECT_EQ(db.TransactionLevel(), 1);
    db.Begin();
    db.Exec("insert into t values(3)");
    db.Commit();
    db.Commit();
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(Column("select group_concat(n) from t"), std::vector<std::string>{"1,3"});
    // Statements run together are undone together when one fails.
    EXPECT_THROW(db.Execute("insert into t values(7); insert into nao_existe values(8)"), ESQLiteError);
    EXPECT_FALSE(db.InTransaction());
    EXPECT_THROW(db.Commit(), ESQLiteError);
    {
        Transaction tr(db);
        db.Exec("insert into t values(4)");
    }  // not committed: rolled back
    EXPECT_EQ(Count("select count(*) from t"), 2);
}

TEST_F(SqliteFixture, TwoConnectionsTakingMaxPlusOneNeverCollide) {
    db.Exec(CreateTableSql("vendedor", {{"Id_Vendedor", "integer", false, true}, {"Nome", "text(40)"}}));
    db.Close();
    std::atomic<int> failures{0};
    auto worker = [&](int id) {
        try {
            Database conn(path);
            for (int i = 0; i < 40; ++i) {
                Transaction tr(conn);
                Statement st(conn, "select max(Id_Vendedor) from vendedor");
                st.Step();
                std::int64_t next = st.ColumnInt64(0) + 1;
                st.Reset();
                conn.Execute("insert into vendedor values(:id, :nome)", {"id", "nome"},
                             {next, std::string("v") + std::to_string(id)});
                tr.Commit();
            }
        } catch (const std::exception&) {
            ++failures;
        }
    };
    std::thread a(worker, 1), b(worker, 2);
    a.join();
    b.join();
    EXPECT_EQ(failures, 0);
    db.Open(path);
    EXPECT_EQ(Count("select count(distinct Id_Vendedor) from vendedor"), 80);
    EXPECT_EQ(Count("select max(Id_Vendedor) from vendedor"), 80);
}

TEST_F(SqliteFixture, OpeningRejectsMissingFilesAndNonDatabases) {
    Database other;
    EXPECT_THROW(other.Open(dir.file("nao_existe.db")), ESQLiteError);
    testsupport::WriteAll(dir.file("lixo.db"), std::string(4096, 'x'));
    try {
        other.Open(dir.file("lixo.db"));
        FAIL();
    } catch (const ESQLiteError& e) {
        EXPECT_NE(e.Message().find("não é um banco de dados"), std::string::npos) << e.Message();
    }
    EXPECT_FALSE(other.IsOpen());
}

TEST_F(SqliteFixture, AFileThatCannotBeOpenedSaysWhyInPortugueseBeforeTheEnginesWords) {
    Database other;
    OpenOptions create;
    create.create = true;
    try {
        other.Open(dir.file("pasta_que_falta/novo.db"), create);
        FAIL();
    } catch (const ESQLiteError& e) {
        EXPECT_EQ(e.Message().rfind("A pasta do banco de dados não existe.\r\nArquivo: \"", 0), 0u) << e.Message();
        EXPECT_NE(e.Message().find("\r\n\r\nMensagem do banco de dados: unable to open database file"),
                  std::string::npos)
            << e.Message();
    }
    if (::geteuid() == 0) return;  // the superuser writes into any folder
    std::string folder = dir.file("somente_leitura");
    std::filesystem::create_directory(folder);
    ::chmod(folder.c_str(), 0555);
    try {
        other.Open(folder + "/novo.db", create);
        ADD_FAILURE() << "a read-only folder took a new database";
    } catch (const ESQLiteError& e) {
        EXPECT_EQ(e.Message().rfind("O banco de dados está em uma pasta somente leitura", 0), 0u) << e.Message();
    }
    ::chmod(folder.c_str(), 0755);
}

TEST(SqliteDates, IsoTextRoundTripsAndSortsAsTime) {
    EXPECT_EQ(DateTimeToIso(0), "1899-12-30");
    EXPECT_EQ(DateTimeToIso(45292), "2024-01-01");
    EXPECT_EQ(DateTimeToIso(45292.5), "2024-01-01 12:00:00");
    EXPECT_EQ(DateTimeToIso(45292 + 1.0 / 86400 / 1000 * 250), "2024-01-01 00:00:00.250");
    EXPECT_EQ(DateTimeToIso(-1.25), "1899-12-29 06:00:00");
    // A time that rounds up to midnight belongs to the next day.
    EXPECT_EQ(DateTimeToIso(45292.9999999999), "2024-01-02");
    for (double v : {0.0, 45292.0, 45292.5, 36526.75, -1.25, 2.0 / 3.0, 45351.0}) {
        double back = 0;
        ASSERT_TRUE(IsoToDateTime(DateTimeToIso(v), back)) << v;
        EXPECT_NEAR(back, v, 1e-8);
    }
    double d;
    EXPECT_TRUE(IsoToDateTime("2024-02-29T10:30", d));
    EXPECT_NEAR(d, 45351 + 10.5 / 24, 1e-9);
    EXPECT_FALSE(IsoToDateTime("2023-02-29", d));
    EXPECT_FALSE(IsoToDateTime("29/02/2024", d));
    EXPECT_FALSE(IsoToDateTime("2024-01-01 25:00", d));
    EXPECT_EQ(DateTimeToIso(-693593), "0001-01-01");
    EXPECT_EQ(DateTimeToIso(2958465.5), "9999-12-31 12:00:00");
    EXPECT_THROW(DateTimeToIso(1e300), ESQLiteError);
    EXPECT_THROW(DateTimeToIso(std::nan("")), ESQLiteError);
    EXPECT_LT(DateTimeToIso(45292), DateTimeToIso(45292.0001));
    EXPECT_LT(DateTimeToIso(45292.5), DateTimeToIso(45293));
}

TEST(SqliteSchema, DeclaredTypesMapToKinds) {
    struct Case { const char* decl; ColumnKind kind; int size; };
    for (const Case& c : {Case{"text(50)", ColumnKind::String, 50}, Case{"TEXT ( 7 )", ColumnKind::String, 7},
                          Case{"text", ColumnKind::String, 255}, Case{"memo", ColumnKind::Memo, 0},
                          Case{"Double", ColumnKind::Float, 0}, Case{"currency", ColumnKind::Currency, 0},
                          Case{"integer", ColumnKind::Integer, 0}, Case{"long", ColumnKind::Integer, 0},
                          Case{"smallint", ColumnKind::SmallInt, 0}, Case{"short", ColumnKind::SmallInt, 0},
                          Case{"date/time", ColumnKind::DateTime, 0}, Case{"datetime", ColumnKind::DateTime, 0},
                          Case{"yes/no", ColumnKind::Boolean, 0}, Case{"bit", ColumnKind::Boolean, 0},
                          Case{"counter", ColumnKind::AutoInc, 0}, Case{"", ColumnKind::Unknown, 0},
                          Case{"geometry", ColumnKind::Unknown, 0}}) {
        DeclaredType t = MapDeclaredType(c.decl);
        EXPECT_EQ(t.kind, c.kind) << c.decl;
        if (c.kind == ColumnKind::String) {
            EXPECT_EQ(t.size, c.size) << c.decl;
        }
    }
    EXPECT_THROW(CreateTableSql("t", {{"a", "geometry"}}), ESQLiteError);
    EXPECT_THROW(CreateTableSql("t", {{"a", "counter"}, {"b", "integer", false, true}}), ESQLiteError);
}

TEST_F(SqliteFixture, CreatedTablesKeepTheirDeclarations) {
    db.Exec(CreateTableSql("titulo_receber", {{"Id_Titulo_Receber", "autoincrement"},
                                              {"Id_Cliente", "text(7)"},
                                              {"Data_Vencimento", "date/time"},
                                              {"Valor_Titulo", "double"},
                                              {"Pago", "yes/no"}}));
    db.Exec(CreateTableSql("nota_fiscal", {{"Id_Nota_Fiscal", "integer", true, true},
                                           {"Id_Serie_Documento", "integer", true, true},
                                           {"Numero_NFe", "text(44)"}}));
    db.Exec(AddColumnSql("nota_fiscal", {"Erro_NFE", "memo"}));
    auto cols = db.TableColumns("Titulo_Receber");
    ASSERT_EQ(cols.size(), 5u);
    EXPECT_EQ(MapDeclaredType(cols[1].declaredType).size, 7);
    EXPECT_EQ(MapDeclaredType(cols[2].declaredType).kind, ColumnKind::DateTime);
    EXPECT_EQ(MapDeclaredType(cols[4].declaredType).kind, ColumnKind::Boolean);
    EXPECT_TRUE(db.IsAutoIncrement("titulo_receber", "Id_Titulo_Receber"));
    EXPECT_FALSE(db.IsAutoIncrement("titulo_receber", "Id_Cliente"));
    EXPECT_EQ(db.PrimaryKey("nota_fiscal"), (std::vector<std::string>{"Id_Nota_Fiscal", "Id_Serie_Documento"}));
    EXPECT_TRUE(db.PrimaryKey("titulo_receber").size() == 1);
    EXPECT_EQ(MapDeclaredType(db.TableColumns("nota_fiscal").back().declaredType).kind, ColumnKind::Memo);
    db.Exec("insert into titulo_receber(Id_Cliente) values('C1')");
    db.Exec("insert into titulo_receber(Id_Cliente) values('C2')");
    EXPECT_EQ(db.LastInsertRowId(), 2);
    EXPECT_TRUE(db.TableColumns("nao_existe").empty());
}

TEST_F(SqliteFixture, AlteringAColumnTypeKeepsRowsKeyAndIndexes) {
    db.Exec(CreateTableSql("Opcao", {{"Id", "integer", false, true}, {"Ambiente", "text(12)"}, {"Dias", "smallint"}}));
    db.Exec("CREATE INDEX opcao_ambiente ON Opcao(Ambiente)");
    db.Exec("insert into Opcao values (1, '1 - Produção', 5), (2, 'x', null)");
    AlterColumnType(db, "opcao", "ambiente", "Text(15)");
    auto cols = db.TableColumns("Opcao");
    ASSERT_EQ(cols.size(), 3u);
    EXPECT_EQ(MapDeclaredType(cols[1].declaredType).size, 15);
    EXPECT_EQ(db.PrimaryKey("Opcao"), std::vector<std::string>{"Id"});
    EXPECT_EQ(Column("select Ambiente from Opcao order by Id"), (std::vector<std::string>{"1 - Produção", "x"}));
    EXPECT_EQ(Count("select count(*) from sqlite_master where name = 'opcao_ambiente'"), 1);
    // The collation came along: the text still compares without case.
    EXPECT_EQ(Count("select count(*) from Opcao where Ambiente = ?1", "1 - PRODUÇÃO"), 1);
    EXPECT_THROW(AlterColumnType(db, "Opcao", "Nao_Existe", "text(3)"), ESQLiteError);
    EXPECT_THROW(AlterColumnType(db, "Nao_Existe", "x", "text(3)"), ESQLiteError);
    EXPECT_FALSE(db.InTransaction());
}

TEST_F(SqliteFixture, SchemaStatementsOfTheOriginalDialectRun) {
    db.Exec(CreateTableSql("Nota_Fiscal", {{"Id_Nota_Fiscal", "integer", false, true},
                                           {"Protocolo_NFE", "text(20)"},
                                           {"Dados_Adicionais", "memo"}}));
    db.Exec("insert into Nota_Fiscal(Id_Nota_Fiscal, Protocolo_NFE) values (1, 'P1')");
    ExecuteJetDdl(db, "ALTER TABLE Nota_Fiscal ADD COLUMN Situacao_NFE Text(15)");
    ExecuteJetDdl(db, "ALTER TABLE Nota_Fiscal Alter Protocolo_NFE Text (50)");
    ExecuteJetDdl(db, "ALTER TABLE [Nota_Fiscal] DROP COLUMN Dados_Adicionais");
    ExecuteJetDdl(db, "ALTER TABLE Nota_Fiscal ADD COLUMN Valor_PIS Double;");
    // Re-running a step: the column is there already, as the original reported.
    EXPECT_THROW(ExecuteJetDdl(db, "ALTER TABLE Nota_Fiscal ADD COLUMN Situacao_NFE Text(15)"), ESQLiteError);
    EXPECT_THROW(ExecuteJetDdl(db, "ALTER TABLE Nota_Fiscal DROP COLUMN Dados_Adicionais"), ESQLiteError);
    std::vector<std::string> decl;
    for (const ColumnInfo& c : db.TableColumns("nota_fiscal")) decl.push_back(c.name + " " + LowerText(c.declaredType));
    EXPECT_EQ(decl, (std::vector<std::string>{"Id_Nota_Fiscal integer", "Protocolo_NFE text(50)",
                                              "Situacao_NFE text(15)", "Valor_PIS double"}));
    db.Exec("update Nota_Fiscal set Situacao_NFE = 'Autorizada'");
    // The added text column compares without case like the others.
    EXPECT_EQ(Count("select count(*) from Nota_Fiscal where Situacao_NFE = ?1", "AUTORIZADA"), 1);
    EXPECT_EQ(Column("select Protocolo_NFE from Nota_Fiscal"), std::vector<std::string>{"P1"});
    ExecuteJetDdl(db, "update Nota_Fiscal set Valor_PIS = 1.5");
    EXPECT_EQ(Column("select Valor_PIS from Nota_Fiscal"), std::vector<std::string>{"1.5"});
}

// The database and the settings file keep users' passwords: on a shared
// machine a new one is readable by its owner only, whatever the umask, or by
// the group too in a folder an administrator made set-group-ID for it. A file
// that exists keeps the permissions it has.
TEST(PrivateFiles, NewDatabaseAndSettingsFilesAreTheOwnersOnly) {
    testsupport::TempDir dir;
    auto modeOf = [](const std::string& path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_mode & 07777;
    };
    auto makeBoth = [](const std::string& folder) {
        OpenOptions o;
        o.create = true;
        Database db(folder + "/faturamento.db", o);
        db.Exec("CREATE TABLE IF NOT EXISTS t(a)");
        db.Exec("INSERT INTO t VALUES (1)");
        TIniFile(folder + "/faturamento.ini").WriteString("Database", "User", "ANA");
    };
    const std::string own = dir.file("pessoal"), shared = dir.file("grupo");
    ASSERT_EQ(::mkdir(own.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(shared.c_str(), 0770), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 02770), 0);
    const mode_t old = ::umask(0);
    makeBoth(own);
    makeBoth(shared);
    EXPECT_EQ(modeOf(own + "/faturamento.db"), 0600u);
    EXPECT_EQ(modeOf(own + "/faturamento.ini"), 0600u);
    EXPECT_EQ(modeOf(shared + "/faturamento.db"), 0660u);
    EXPECT_EQ(modeOf(shared + "/faturamento.ini"), 0660u);

    ::chmod((own + "/faturamento.db").c_str(), 0640);
    ::chmod((own + "/faturamento.ini").c_str(), 0644);
    makeBoth(own);
    ::umask(old);
    EXPECT_EQ(modeOf(own + "/faturamento.db"), 0640u);
    EXPECT_EQ(modeOf(own + "/faturamento.ini"), 0644u);
}
