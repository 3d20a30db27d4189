// The stock sqlite3 program on a database the program made: with the
// collation extension installed beside the program it checks, compacts and
// inserts into the file, and orders text as the program does.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "billing/data/Schema.h"
#include "platform/db/SQLiteDatabase.h"
#include "tests/support/DbCheck.h"
#include "tests/support/TestSupport.h"

namespace {

// What `sqlite3 Path` prints for Commands on its standard input (errors too).
std::string Shell(const std::string& Path, const std::string& Commands) {
    testsupport::TempDir tmp;
    const std::string script = tmp.file("comandos.sql");
    testsupport::WriteAll(script, Commands);
    std::string out;
    FILE* p = ::popen(("sqlite3 -bail '" + Path + "' < '" + script + "' 2>&1").c_str(), "r");
    if (p == nullptr) return "sqlite3 did not start";
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
}

std::vector<std::string> Lines(const std::string& Text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < Text.size()) {
        std::size_t end = Text.find('\n', start);
        if (end == std::string::npos) end = Text.size();
        lines.push_back(Text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

TEST(SqliteShell, TheCollationExtensionLetsTheStockProgramCheckCompactAndInsertInOurOrder) {
    testsupport::TempDir dir;
    const std::string path = dir.file("faturamento.db");
    ASSERT_TRUE(billing::data::CreateDatabaseFile(path));
    const std::vector<std::string> names = {"ávila", "Avila", "Ávila Neto", "Çaixa", "caixa", "Cabral",
                                            "éter",  "Ester", "zeta",        "Zé",    "ZEBRA", "b"};
    {
        sqlite::Database db(path);
        for (std::size_t i = 0; i < names.size(); ++i)
            db.Execute("INSERT INTO cliente (Id_Cliente, Nome) VALUES (:id, :nome)", {"id", "nome"},
                       {sqlite::Value(std::string("C") + std::to_string(i)), sqlite::Value(names[i])});
    }
    // Without the extension the stock program cannot even check the file.
    EXPECT_NE(Shell(path, "PRAGMA integrity_check;\n").find("no such collation sequence: PTBR"), std::string::npos);

    const std::string load = std::string(".load ") + FAT_PTBR_EXTENSION + "\n";
    const std::string out = Shell(path, load +
                                            "PRAGMA integrity_check;\n"
                                            "INSERT INTO cliente (Id_Cliente, Nome) VALUES ('c99', 'Ávila Filho');\n"
                                            "VACUUM;\n"
                                            "PRAGMA integrity_check;\n"
                                            "SELECT Nome FROM cliente ORDER BY Nome, Id_Cliente;\n");
    std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), names.size() + 3) << out;
    EXPECT_EQ(lines[0], "ok");
    EXPECT_EQ(lines[1], "ok");
    const std::vector<std::string> shellOrder(lines.begin() + 2, lines.end());

    // The program reads the file the shell wrote: sound, and the same order
    // (the key index the shell extended included).
    EXPECT_EQ(testsupport::CheckDatabase(path, {}).integrity, "ok");
    sqlite::Database db(path);
    std::vector<std::string> ours;
    sqlite::Statement st(db, "SELECT Nome FROM cliente ORDER BY Nome, Id_Cliente");
    while (st.Step()) ours.push_back(st.ColumnText(0));
    EXPECT_EQ(shellOrder, ours);
    sqlite::Statement key(db, "SELECT Nome FROM cliente WHERE Id_Cliente = 'C99'");
    ASSERT_TRUE(key.Step()) << "the key the shell inserted is found through the program's collation";
    EXPECT_EQ(key.ColumnText(0), "Ávila Filho");
}
