// Copying between a memory table and the database's query component: the
// billing fills its entry buffers from queries and writes them back.
#include <gtest/gtest.h>

#include "platform/db/SQLQuery.h"
#include "platform/db/SQLSchema.h"
#include "platform/db/SQLiteDatabase.h"
#include "tests/memtable/MemTableTestSupport.h"
#include "tests/platform/db/SQLFileFixture.h"

using namespace mttest;

namespace {

class SqlCopy : public sqltest::SQLFileFixture {
protected:
    void Fill(sqlite::Database& db) override {
        db.Exec(sqlite::CreateTableSql("Nota_Fiscal_Item", {{"Id_Item", "integer", false, true},
                                                             {"Descricao", "text(40)"},
                                                             {"Quantidade", "double"},
                                                             {"Valor", "currency"},
                                                             {"Emissao", "date/time"},
                                                             {"Observacao", "memo"}}));
        db.Exec("insert into Nota_Fiscal_Item values (1, 'Caneta azul', 10, 2.5, '2026-12-01', 'nota'),"
                " (2, 'Lápis nº 2', 5, 1.25, '2026-12-02', null), (3, 'Borracha', 1, 0.9, null, null)");
    }
};

}  // namespace

TEST_F(SqlCopy, BufferTakesTheQuerysStructureAndValues) {
    auto q = Query("select * from Nota_Fiscal_Item order by Id_Item");
    auto items = std::make_unique<TmtMemTable>(nullptr);
    items->LoadFromDataSet(q.get(), mtcpoStructure);
    EXPECT_FALSE(q->Active()) << "a closed source is closed again";
    ASSERT_EQ(items->RecordCount(), 3);
    EXPECT_EQ(items->FieldByName("Descricao")->DataType(), ftString);
    EXPECT_EQ(items->FieldByName("Descricao")->Size(), 40);
    EXPECT_EQ(items->FieldByName("Observacao")->DataType(), ftMemo);
    items->First();
    EXPECT_EQ(items->FieldByName("Observacao")->AsString(), "nota");
    EXPECT_EQ(items->FieldByName("Emissao")->AsDateTime(), EncodeDate(2026, 12, 1));
    items->Next();
    EXPECT_EQ(items->FieldByName("Descricao")->AsString(), "Lápis nº 2");
    EXPECT_DOUBLE_EQ(items->FieldByName("Valor")->AsFloat(), 1.25);
    EXPECT_TRUE(items->FieldByName("Observacao")->IsNull());
    items->Next();
    EXPECT_TRUE(items->FieldByName("Emissao")->IsNull());
}

TEST_F(SqlCopy, EditedBufferGoesBackByKey) {
    auto q = Query("select * from Nota_Fiscal_Item order by Id_Item");
    auto items = std::make_unique<TmtMemTable>(nullptr);
    items->LoadFromDataSet(q.get(), mtcpoStructure);
    ASSERT_TRUE(items->Locate("Id_Item", 2, {}));
    items->Edit();
    items->FieldByName("Quantidade")->SetAsFloat(7);
    items->Post();
    items->Append();
    items->FieldByName("Id_Item")->SetAsInteger(4);
    items->FieldByName("Descricao")->SetAsString("Régua 30 cm");
    items->FieldByName("Quantidade")->SetAsFloat(2);
    items->Post();
    q->Open();
    items->UpdateToDataSet(q.get(), "Id_Item");
    q->Close();
    conn->Close();
    EXPECT_EQ(FileRows("select Id_Item, Descricao, Quantidade from Nota_Fiscal_Item order by 1"),
              (std::vector<std::string>{"1|Caneta azul|10.0", "2|Lápis nº 2|7.0", "3|Borracha|1.0",
                                        "4|Régua 30 cm|2.0"}));
}
