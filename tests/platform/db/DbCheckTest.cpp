// The database check the fault tests judge by: it must tell every
// difference that matters (a value, its kind, a row, a column, a table) and
// see a damaged file or a file that is no database.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <fstream>

#include "tests/support/DbCheck.h"
#include "tests/support/TestSupport.h"

namespace {

using testsupport::CheckDatabase;
using testsupport::DumpTables;

class DbCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("caixa.db");
        Exec("create table Conta (id integer primary key, nome text, valor double);"
             "insert into Conta values (1, 'luz', 10.5), (2, 'água', 20);"
             "create table vazia (x);");
    }
    void Exec(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        char* msg = nullptr;
        int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
        std::string text = msg ? msg : "";
        sqlite3_free(msg);
        sqlite3_close(db);
        ASSERT_EQ(rc, SQLITE_OK) << text;
    }
    testsupport::TempDir dir;
    std::string path;
};

TEST_F(DbCheckTest, ASoundFileOpensChecksOkAndDumpsItsRowsInOrder) {
    auto check = CheckDatabase(path, {"conta", "vazia", "falta"});
    EXPECT_TRUE(check.opens);
    EXPECT_EQ(check.integrity, "ok");
    EXPECT_EQ(check.dump,
              "table conta(id, nome, valor)\n"
              "  i:1 | t:luz | f:10.5\n"
              "  i:2 | t:água | f:20\n"
              "table vazia(x)\n"
              "table falta <absent>\n");
}

TEST_F(DbCheckTest, TheDumpTellsAValueItsKindAColumnAndARowApart) {
    const std::string before = DumpTables(path, {"conta"});
    Exec("update conta set valor = 10.500000000000002 where id = 1");
    const std::string nearlySame = DumpTables(path, {"conta"});
    EXPECT_NE(nearlySame, before);
    Exec("update conta set valor = 10.5 where id = 1");
    EXPECT_EQ(DumpTables(path, {"conta"}), before);
    // The same digits as text are another value (in a column that keeps
    // what it is given).
    Exec("insert into vazia values ('1')");
    const std::string text = DumpTables(path, {"vazia"});
    Exec("update vazia set x = 1");
    EXPECT_NE(DumpTables(path, {"vazia"}), text);
    Exec("alter table conta add column obs text");
    EXPECT_NE(DumpTables(path, {"conta"}), before);
    Exec("alter table conta drop column obs; delete from conta where id = 2");
    EXPECT_NE(DumpTables(path, {"conta"}), before);
}

TEST_F(DbCheckTest, ADamagedPageFailsTheIntegrityCheck) {
    Exec("create index conta_nome on conta(nome)");
    for (int i = 0; i < 200; ++i) Exec("insert into conta(nome, valor) values ('linha " + std::to_string(i) + "', 1)");
    std::string bytes = testsupport::ReadAll(path);
    ASSERT_GT(bytes.size(), 4096u * 3);
    // Scribble over the middle of the last page (an index or table leaf).
    for (std::size_t i = bytes.size() - 3000; i < bytes.size() - 2000; ++i) bytes[i] = char(0x5a);
    testsupport::WriteAll(path, bytes);
    auto check = CheckDatabase(path, {});
    EXPECT_NE(check.integrity, "ok");
}

TEST_F(DbCheckTest, AFileThatIsNoDatabaseOrIsMissingDoesNotOpen) {
    const std::string half = dir.file("metade.db");
    testsupport::WriteAll(half, std::string("SQLite format 3") + std::string(40, '\x7f'));
    EXPECT_FALSE(CheckDatabase(half, {}).opens);
    EXPECT_FALSE(CheckDatabase(dir.file("nada.db"), {}).opens);
    EXPECT_FALSE(std::filesystem::exists(dir.file("nada.db")));
}

TEST_F(DbCheckTest, LeftoversBesideTheFileAreListed) {
    EXPECT_TRUE(testsupport::FilesBeside(path).empty());
    EXPECT_TRUE(testsupport::LeftoversOf(path).empty());
    testsupport::WriteAll(path + "-journal", "x");
    testsupport::WriteAll(dir.file("caixa.$$$"), "x");
    testsupport::WriteAll(dir.file("faturamento.ini"), "x");
    EXPECT_EQ(testsupport::FilesBeside(path), std::vector<std::string>{"caixa.db-journal"});
    EXPECT_EQ(testsupport::LeftoversOf(path, {"faturamento.ini"}),
              (std::vector<std::string>{"caixa.$$$", "caixa.db-journal"}));
}

TEST_F(DbCheckTest, TheSchemaDumpNamesEveryTableAndIndex) {
    Exec("create index conta_nome on conta(nome)");
    EXPECT_EQ(testsupport::TableNames(path), (std::vector<std::string>{"Conta", "vazia"}));
    const std::string schema = testsupport::DumpSchema(path);
    EXPECT_NE(schema.find("index conta_nome"), std::string::npos);
    EXPECT_NE(schema.find("table Conta"), std::string::npos);
}

}  // namespace
