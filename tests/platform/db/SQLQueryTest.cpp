#include "platform/db/SQLQuery.h"
#include "platform/db/SQLSchema.h"
#include "platform/rtl/TypInfo.h"

#include "tests/platform/db/SQLFileFixture.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include <vector>

using sqlite::ColumnDef;

namespace {

const std::vector<ColumnDef> kUnidade = {{"Id_Unidade_Medida", "text(3)", false, true}, {"Descricao", "text(20)"}};

const std::vector<ColumnDef> kCliente = {
    {"Id_Cliente", "text(7)", false, true}, {"Nome", "text(50)"},           {"Data_Cadastro", "date/time"},
    {"Id_Vendedor", "integer"},             {"Percentual_Comissao", "double"}, {"Observacao", "memo"},
    {"Limite_Credito", "currency"},         {"Dias_Protesto", "smallint"},   {"Inativo", "text(3)"}};

class SQLQueryFixture : public sqltest::SQLFileFixture {
protected:
    void Fill(sqlite::Database& db) override {
        db.Exec(sqlite::CreateTableSql("Unidade_Medida", kUnidade));
        db.Exec(sqlite::CreateTableSql("Cliente", kCliente));
        db.Exec(sqlite::CreateTableSql("opcao", {{"Tipo_Impressao_DANFE", "text(15)"}, {"Dias_Protesto", "smallint"}}));
        db.Exec(sqlite::CreateTableSql("titulo_receber", {{"Id_Titulo_Receber", "counter"},
                                                          {"Id_Cliente", "text(7)"},
                                                          {"Valor_Titulo", "double"}}));
        db.Exec("insert into Unidade_Medida values ('UN', 'Unidade'), ('KG', 'Quilograma'), ('CX', 'Caixa')");
    }
    // The connection string the forms carry, with the parts the file ignores.
    std::string ConnectionString() const override {
        return "Provider=Microsoft.Jet.OLEDB.4.0;Password=\"\";User ID=Admin;Data Source=" + path +
               ";Mode=Share Deny None;Persist Security Info=True";
    }
};

}  // namespace

TEST_F(SQLQueryFixture, FieldKindsComeFromDeclaredTypes) {
    auto q = Query("select * from Cliente order by Id_Cliente");
    q->Open();
    struct Expect { const char* name; TFieldType type; int size; };
    for (const Expect& e : {Expect{"Id_Cliente", ftString, 7}, Expect{"Nome", ftString, 50},
                            Expect{"Data_Cadastro", ftDateTime, 0}, Expect{"Id_Vendedor", ftInteger, 0},
                            Expect{"Percentual_Comissao", ftFloat, 0}, Expect{"Observacao", ftMemo, 0},
                            Expect{"Limite_Credito", ftCurrency, 0}, Expect{"Dias_Protesto", ftSmallint, 0}}) {
        TField* f = q->FieldByName(e.name);
        EXPECT_EQ(f->DataType(), e.type) << e.name;
        if (e.type == ftString) {
            EXPECT_EQ(f->Size(), e.size) << e.name;
        }
    }
    // Field names are found without regard to case, as the forms write them.
    EXPECT_NE(q->FindField("id_cliente"), nullptr);
    auto t = Query("select * from titulo_receber");
    t->Open();
    EXPECT_EQ(t->FieldByName("Id_Titulo_Receber")->DataType(), ftAutoInc);
    // An expression has no declaration: its values decide.
    auto m = Query("select max(Id_Unidade_Medida) as ultimo, count(*) as total from Unidade_Medida");
    m->Open();
    EXPECT_EQ(m->FieldByName("ultimo")->AsString(), "UN");
    EXPECT_EQ(m->FieldByName("total")->AsInteger(), 3);
}

TEST_F(SQLQueryFixture, NavigatesInQueryOrder) {
    auto q = Query("select * from Unidade_Medida order by Id_Unidade_Medida");
    q->Open();
    EXPECT_EQ(q->RecordCount(), 3);
    std::vector<std::string> seen;
    for (q->First(); !q->Eof(); q->Next()) seen.push_back(q->FieldByName("Id_Unidade_Medida")->AsString());
    EXPECT_EQ(seen, (std::vector<std::string>{"CX", "KG", "UN"}));
    q->Last();
    EXPECT_EQ(q->RecNo(), 3);
    q->Prior();
    EXPECT_EQ(q->FieldByName("Descricao")->AsString(), "Quilograma");
    EXPECT_TRUE(q->Locate("Id_Unidade_Medida", Variant("un"), TLocateOptions{loCaseInsensitive}));
    EXPECT_EQ(q->FieldByName("Descricao")->AsString(), "Unidade");
}

TEST_F(SQLQueryFixture, EditAppendAndDeleteReachTheFile) {
    auto q = Query("select * from Unidade_Medida order by Id_Unidade_Medida");
    q->Open();
    ASSERT_TRUE(q->Locate("Id_Unidade_Medida", Variant("KG"), {}));
    q->Edit();
    q->FieldByName("Descricao")->SetAsString("Quilo d'água");
    q->Post();
    EXPECT_EQ(q->State(), dsBrowse);

    q->Append();
    q->FieldByName("Id_Unidade_Medida")->SetAsString("PC");
    q->FieldByName("Descricao")->SetAsString("Peça");
    q->Post();
    EXPECT_EQ(q->FieldByName("Id_Unidade_Medida")->AsString(), "PC");
    EXPECT_EQ(q->RecordCount(), 4);

    ASSERT_TRUE(q->Locate("Id_Unidade_Medida", Variant("CX"), {}));
    q->Delete();
    EXPECT_EQ(q->RecordCount(), 3);
    EXPECT_EQ(q->FieldByName("Id_Unidade_Medida")->AsString(), "KG");

    conn->Close();
    EXPECT_FALSE(q->Active());
    EXPECT_EQ(FileRows("select * from Unidade_Medida order by 1"),
              (std::vector<std::string>{"KG|Quilo d'água", "PC|Peça", "UN|Unidade"}));
}

TEST_F(SQLQueryFixture, RefusedPostKeepsTheRowInEdit) {
    auto q = Query("select * from Unidade_Medida order by Id_Unidade_Medida");
    q->BeforePost = [](TDataSet* ds) {
        if (ds->FieldByName("Descricao")->AsString().empty()) Abort();
    };
    q->Open();
    q->Edit();
    q->FieldByName("Descricao")->SetAsString("");
    EXPECT_THROW(q->Post(), EAbort);
    EXPECT_EQ(q->State(), dsEdit);
    EXPECT_EQ(q->FieldByName("Id_Unidade_Medida")->AsString(), "CX");
    q->FieldByName("Descricao")->SetAsString("Caixa grande");
    q->Post();

    // The database refuses a key that exists already under another case:
    // the new row stays in insert with what was typed.
    q->Append();
    q->FieldByName("Id_Unidade_Medida")->SetAsString("un");
    q->FieldByName("Descricao")->SetAsString("Duplicada");
    try {
        q->Post();
        FAIL() << "duplicate key accepted";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message().find("restrição"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(q->State(), dsInsert);
    EXPECT_EQ(q->FieldByName("Descricao")->AsString(), "Duplicada");
    q->Cancel();
    EXPECT_EQ(q->RecordCount(), 3);
    EXPECT_EQ(FileRows("select Descricao from Unidade_Medida where Id_Unidade_Medida = 'CX'"),
              std::vector<std::string>{"Caixa grande"});
    EXPECT_EQ(FileRows("select count(*) from Unidade_Medida"), std::vector<std::string>{"3"});
}

TEST_F(SQLQueryFixture, ParametersMatchWithoutCaseAndBindQuotesSafely) {
    auto q = Query("select Descricao from Unidade_Medida where Id_Unidade_Medida = :pId_Unidade");
    ASSERT_EQ(q->Parameters()->Count(), 1);
    q->Parameters()->ParamByName("PID_UNIDADE")->SetValue(Variant("kg"));
    q->Open();
    ASSERT_EQ(q->RecordCount(), 1);
    EXPECT_EQ(q->Fields()->Fields(0)->AsString(), "Quilograma");
    EXPECT_THROW(q->ParamByName("pOutro"), EDatabaseError);

    auto ins = Query("insert into Unidade_Medida(Id_Unidade_Medida, Descricao) values(:pid, :pDescricao)");
    ins->ParamByName("pID")->SetValue(Variant("X'"));
    ins->ParamByName("pdescricao")->SetValue(Variant("'); delete from Unidade_Medida; --"));
    EXPECT_EQ(ins->ExecSQL(), 1);
    EXPECT_EQ(ins->RowsAffected(), 1);
    EXPECT_EQ(FileRows("select count(*) from Unidade_Medida"), std::vector<std::string>{"4"});
    EXPECT_EQ(FileRows("select Descricao from Unidade_Medida where Id_Unidade_Medida = 'X'''"),
              std::vector<std::string>{"'); delete from Unidade_Medida; --"});
    EXPECT_EQ(conn->Execute("update Unidade_Medida set Descricao = :pD where Id_Unidade_Medida = :pId",
                            {{"PD", Variant("O'Neil")}, {"pid", Variant("x'")}}),
              1);
    EXPECT_EQ(FileRows("select count(*) from Unidade_Medida where Descricao = 'o''neil'"),
              std::vector<std::string>{"1"});
    // A statement that returns no rows is not opened.
    EXPECT_THROW(ins->Open(), EDatabaseError);
    EXPECT_EQ(FileRows("select count(*) from Unidade_Medida"), std::vector<std::string>{"4"});
}

TEST_F(SQLQueryFixture, ChangingTheTextKeepsValuesOfSameNamedParameters) {
    auto q = Query("select * from Unidade_Medida where Id_Unidade_Medida = :pId");
    q->ParamByName("pid")->SetValue(Variant("UN"));
    q->SetSQL("select * from Unidade_Medida where Id_Unidade_Medida = :PID or Descricao = ':naoParam' or Descricao = :pDesc");
    ASSERT_EQ(q->Parameters()->Count(), 2);
    EXPECT_EQ(q->ParamByName("pId")->Value().AsString(), "UN");
    q->ParamByName("pDesc")->SetValue(Variant("caixa"));
    q->Open();
    EXPECT_EQ(q->RecordCount(), 2);
}

TEST_F(SQLQueryFixture, NullsReadAsZeroOrEmpty) {
    conn->Execute("insert into Cliente(Id_Cliente) values('C1')");
    auto q = Query("select * from Cliente");
    q->Open();
    for (const char* name : {"Nome", "Data_Cadastro", "Id_Vendedor", "Percentual_Comissao", "Observacao"}) {
        EXPECT_TRUE(q->FieldByName(name)->IsNull()) << name;
    }
    EXPECT_EQ(q->FieldByName("Nome")->AsString(), "");
    EXPECT_EQ(q->FieldByName("Id_Vendedor")->AsInteger(), 0);
    EXPECT_EQ(q->FieldByName("Percentual_Comissao")->AsFloat(), 0.0);
    EXPECT_EQ(q->FieldByName("Observacao")->AsString(), "");
}

TEST_F(SQLQueryFixture, ValuesOfEveryKindRoundTripThroughTheFile) {
    auto q = Query("select * from Cliente order by Id_Cliente");
    q->Open();
    q->Append();
    q->FieldByName("Id_Cliente")->SetAsString("0000001");
    q->FieldByName("Nome")->SetAsString("José da Conceição");
    q->FieldByName("Data_Cadastro")->SetAsDateTime(45292.75);  // 2024-01-01 18:00
    q->FieldByName("Id_Vendedor")->SetAsInteger(12);
    q->FieldByName("Percentual_Comissao")->SetAsFloat(2.5);
    q->FieldByName("Observacao")->SetAsString(std::string(5000, 'x') + "ção");
    q->FieldByName("Dias_Protesto")->SetAsInteger(5);
    q->Post();
    conn->Close();
    EXPECT_EQ(FileRows("select Data_Cadastro, Id_Vendedor, typeof(Id_Vendedor), Percentual_Comissao from Cliente"),
              std::vector<std::string>{"2024-01-01 18:00:00|12|integer|2.5"});
    q->Open();
    EXPECT_EQ(q->FieldByName("Nome")->AsString(), "José da Conceição");
    EXPECT_DOUBLE_EQ(q->FieldByName("Data_Cadastro")->AsDateTime(), 45292.75);
    EXPECT_EQ(q->FieldByName("Id_Vendedor")->AsInteger(), 12);
    EXPECT_EQ(q->FieldByName("Observacao")->AsString(), std::string(5000, 'x') + "ção");
    EXPECT_EQ(q->FieldByName("Dias_Protesto")->AsInteger(), 5);
}

TEST_F(SQLQueryFixture, CounterGetsItsValueAtPost) {
    auto q = Query("select * from titulo_receber order by Id_Titulo_Receber");
    q->Open();
    for (int i = 0; i < 2; ++i) {
        q->Append();
        q->FieldByName("Id_Cliente")->SetAsString("C" + std::to_string(i));
        q->Post();
        EXPECT_EQ(q->FieldByName("Id_Titulo_Receber")->AsInteger(), i + 1);
    }
    // A counter that came back from the database can then be edited by.
    q->First();
    q->Edit();
    q->FieldByName("Valor_Titulo")->SetAsFloat(10.5);
    q->Post();
    EXPECT_EQ(FileRows("select Id_Titulo_Receber, Valor_Titulo from titulo_receber order by 1"),
              (std::vector<std::string>{"1|10.5", "2|"}));
}

TEST_F(SQLQueryFixture, KeylessOneRowTableIsEditable) {
    conn->Execute("insert into opcao values('Retrato', 5)");
    auto q = Query("select * from opcao");
    q->Open();
    ASSERT_TRUE(q->CanModify());
    q->Edit();
    q->FieldByName("Tipo_Impressao_DANFE")->SetAsString("Paisagem");
    q->Post();
    // Two equal rows: an edit changes only the one on screen.
    q->Append();
    q->FieldByName("Tipo_Impressao_DANFE")->SetAsString("Paisagem");
    q->FieldByName("Dias_Protesto")->SetAsInteger(5);
    q->Post();
    q->First();
    q->Edit();
    q->FieldByName("Dias_Protesto")->SetAsInteger(9);
    q->Post();
    EXPECT_EQ(FileRows("select Tipo_Impressao_DANFE, Dias_Protesto from opcao order by 2"),
              (std::vector<std::string>{"Paisagem|5", "Paisagem|9"}));
    q->Delete();
    EXPECT_EQ(FileRows("select count(*) from opcao"), std::vector<std::string>{"1"});
}

TEST_F(SQLQueryFixture, RowChangedByAnotherUserIsNotOverwritten) {
    auto q = Query("select * from Unidade_Medida order by Id_Unidade_Medida");
    q->Open();
    conn->Execute("delete from Unidade_Medida where Id_Unidade_Medida = 'CX'");
    q->Edit();
    q->FieldByName("Descricao")->SetAsString("Caixeta");
    EXPECT_THROW(q->Post(), EDatabaseError);
    EXPECT_EQ(q->State(), dsEdit);
    EXPECT_EQ(q->FieldByName("Descricao")->AsString(), "Caixeta");
    q->Cancel();
    EXPECT_EQ(FileRows("select count(*) from Unidade_Medida"), std::vector<std::string>{"2"});
}

TEST_F(SQLQueryFixture, RefreshReadsOtherUsersChangesAndKeepsThePosition) {
    auto q = Query("select * from Unidade_Medida order by Id_Unidade_Medida");
    q->Open();
    q->Last();
    TSQLConnection other;
    other.SetDatabaseName(path);
    other.Execute("insert into Unidade_Medida values('AA', 'Primeira')");
    other.Execute("update Unidade_Medida set Descricao = 'Quilo' where Id_Unidade_Medida = 'KG'");
    TBookmark un = q->GetBookmark();
    ASSERT_TRUE(q->Locate("Id_Unidade_Medida", Variant("CX"), {}));
    TBookmark cx = q->GetBookmark();
    ASSERT_TRUE(q->Locate("Id_Unidade_Medida", Variant("KG"), {}));
    other.Execute("delete from Unidade_Medida where Id_Unidade_Medida = 'CX'");
    q->Refresh();
    EXPECT_EQ(q->RecordCount(), 3);
    EXPECT_EQ(q->FieldByName("Id_Unidade_Medida")->AsString(), "KG");
    EXPECT_EQ(q->FieldByName("Descricao")->AsString(), "Quilo");
    EXPECT_EQ(q->RecNo(), 2);
    // Bookmarks of rows still there survive; the deleted row's is refused.
    EXPECT_FALSE(q->BookmarkValid(cx));
    ASSERT_TRUE(q->BookmarkValid(un));
    q->GotoBookmark(un);
    EXPECT_EQ(q->FieldByName("Id_Unidade_Medida")->AsString(), "UN");
}

TEST_F(SQLQueryFixture, JoinsAndExpressionsAreReadOnly) {
    conn->Execute("insert into Cliente(Id_Cliente, Nome) values('C1', 'Ana')");
    conn->Execute("insert into titulo_receber(Id_Cliente) values('C1')");
    auto q = Query("select t.Id_Titulo_Receber, c.Nome from titulo_receber t inner join Cliente c on c.Id_Cliente = t.Id_Cliente");
    q->Open();
    EXPECT_FALSE(q->CanModify());
    EXPECT_THROW(q->Edit(), EDatabaseError);
    auto e = Query("select Id_Unidade_Medida, upper(Descricao) as D from Unidade_Medida");
    e->Open();
    ASSERT_TRUE(e->CanModify());
    EXPECT_TRUE(e->FieldByName("D")->ReadOnly());
    e->SetReadOnly(true);
    e->Open();
    EXPECT_FALSE(e->CanModify());
    // Without the key (or, in a keyless table, all of its columns) a row
    // cannot be told from another that looks the same: not editable.
    conn->Execute("insert into Cliente(Id_Cliente, Nome) values('C2', 'Ana')");
    auto noKey = Query("select Nome from Cliente");
    noKey->Open();
    EXPECT_FALSE(noKey->CanModify());
    conn->Execute("insert into opcao values('Retrato', 5)");
    auto partial = Query("select Tipo_Impressao_DANFE from opcao");
    partial->Open();
    EXPECT_FALSE(partial->CanModify());
}

TEST_F(SQLQueryFixture, TransactionsOfTheConnectionCoverQueries) {
    EXPECT_EQ(conn->BeginTrans(), 1);
    EXPECT_TRUE(conn->InTransaction());
    auto q = Query("select * from Unidade_Medida");
    q->Open();
    q->Append();
    q->FieldByName("Id_Unidade_Medida")->SetAsString("LT");
    q->Post();
    conn->RollbackTrans();
    EXPECT_FALSE(conn->InTransaction());
    EXPECT_EQ(FileRows("select count(*) from Unidade_Medida"), std::vector<std::string>{"3"});
}

TEST_F(SQLQueryFixture, ConnectionStringNamesTheFile) {
    EXPECT_EQ(conn->DatabaseName(), path);
    EXPECT_EQ(TSQLConnection::ConnectionStringValue("a=1; Data Source = \"c:\\x;y.mdb\" ;b=2", "data source"),
              "c:\\x;y.mdb");
    TSQLConnection missing;
    missing.SetConnectionString("Data Source=" + dir.file("nao_existe.mdb"));
    EXPECT_THROW(missing.Open(), EDatabaseError);
    EXPECT_FALSE(missing.Connected());
    std::vector<std::string> events;
    TSQLConnection c;
    c.BeforeConnect = [&](TObject*) { events.push_back("BeforeConnect"); };
    c.AfterConnect = [&](TObject*) { events.push_back("AfterConnect"); };
    c.BeforeDisconnect = [&](TObject*) { events.push_back("BeforeDisconnect"); };
    c.AfterDisconnect = [&](TObject*) { events.push_back("AfterDisconnect"); };
    c.SetFileName(path);
    c.SetConnected(true);
    c.Compact();
    c.SetConnected(false);
    EXPECT_EQ(events, (std::vector<std::string>{"BeforeConnect", "AfterConnect", "BeforeDisconnect", "AfterDisconnect"}));
}

TEST_F(SQLQueryFixture, TableComponentReadsTheWholeTable) {
    TSQLTable t;
    t.SetConnection(conn.get());
    t.SetTableName("Unidade_Medida");
    t.Open();
    EXPECT_EQ(t.RecordCount(), 3);
    EXPECT_TRUE(t.CanModify());
}

TEST_F(SQLQueryFixture, LargeResultsStayNavigable) {
    conn->Execute(
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 100000) "
        "insert into titulo_receber(Id_Cliente, Valor_Titulo) select 'C' || i, i * 1.5 from n");
    auto q = Query("select * from titulo_receber order by Id_Titulo_Receber");
    q->Open();
    EXPECT_EQ(q->RecordCount(), 100000);
    q->Last();
    EXPECT_EQ(q->FieldByName("Id_Cliente")->AsString(), "C100000");
    q->SetRecNo(50000);
    EXPECT_EQ(q->FieldByName("Id_Titulo_Receber")->AsInteger(), 50000);
}

TEST_F(SQLQueryFixture, PersistentFieldsShowAndWriteOnlyTheirColumns) {
    auto q = Query("select * from Unidade_Medida order by Id_Unidade_Medida");
    auto* id = new TStringField(q.get());
    id->SetFieldName("Id_Unidade_Medida");
    id->SetSize(3);
    id->SetDataSet(q.get());
    auto* desc = new TStringField(q.get());
    desc->SetFieldName("Descricao");
    desc->SetSize(20);
    desc->SetDataSet(q.get());
    q->Open();
    EXPECT_EQ(q->FieldCount(), 2);
    q->Edit();
    desc->SetAsString("Caixa de papelão");
    q->Post();
    q->Append();
    id->SetAsString("MT");
    q->Post();
    q->Close();
    EXPECT_EQ(q->FieldCount(), 2);  // persistent fields outlive the close
    EXPECT_EQ(FileRows("select Id_Unidade_Medida, coalesce(Descricao, 'NULL') from Unidade_Medida order by 1"),
              (std::vector<std::string>{"CX|Caixa de papelão", "KG|Quilograma", "MT|NULL", "UN|Unidade"}));
}

TEST_F(SQLQueryFixture, FilterDecidesWhichRowsAreSeen) {
    auto q = Query("select * from Unidade_Medida order by Id_Unidade_Medida");
    q->SetOnFilterRecord([](TDataSet* ds, bool& accept) {
        accept = ds->FieldByName("Id_Unidade_Medida")->AsString() != "KG";
    });
    q->SetFiltered(true);
    q->Open();
    EXPECT_EQ(q->RecordCount(), 2);
    std::vector<std::string> seen;
    for (q->First(); !q->Eof(); q->Next()) seen.push_back(q->FieldByName("Id_Unidade_Medida")->AsString());
    EXPECT_EQ(seen, (std::vector<std::string>{"CX", "UN"}));

    // Switching the filter off and on again on the open query takes effect at once.
    q->SetFiltered(false);
    EXPECT_EQ(q->RecordCount(), 3);
    EXPECT_EQ(q->FieldByName("Id_Unidade_Medida")->AsString(), "CX");
    q->Last();
    EXPECT_EQ(q->FieldByName("Id_Unidade_Medida")->AsString(), "UN");
    q->SetFiltered(true);
    EXPECT_EQ(q->RecordCount(), 2);
    q->Next();
    EXPECT_EQ(q->FieldByName("Id_Unidade_Medida")->AsString(), "UN");
}

TEST_F(SQLQueryFixture, DetailFollowsItsMaster) {
    conn->Execute("insert into Cliente(Id_Cliente, Nome) values ('C1', 'Ana'), ('C2', 'Bia')");
    conn->Execute("insert into titulo_receber(Id_Cliente, Valor_Titulo) values ('C1', 10), ('C1', 20), ('C2', 5)");
    auto master = Query("select * from Cliente order by Id_Cliente");
    TDataSource ds(nullptr);
    ds.SetDataSet(master.get());
    auto detail = Query("select * from titulo_receber where Id_Cliente = :Id_Cliente order by Valor_Titulo");
    detail->SetDataSource(&ds);
    master->Open();
    detail->Open();
    EXPECT_EQ(detail->RecordCount(), 2);
    master->Next();
    EXPECT_EQ(detail->RecordCount(), 1);
    EXPECT_DOUBLE_EQ(detail->FieldByName("Valor_Titulo")->AsFloat(), 5.0);
    master->First();
    EXPECT_EQ(detail->RecordCount(), 2);
    detail->Close();
    ds.SetDataSet(nullptr);
}

// Two instances of the program on one file, each numbering new rows as the
// registers do (largest key + 1) inside a write transaction.
TEST_F(SQLQueryFixture, TwoProcessesTakingMaxPlusOneNeverShareAKey) {
    conn->Execute(sqlite::CreateTableSql("vendedor", {{"Id_Vendedor", "integer", false, true}, {"Nome", "text(40)"}}));
    conn->Close();  // no connection may cross the fork
    const std::string go = dir.file("go");
    auto work = [this, &go](const char* who) -> int {
        // Both start together, so that their transactions overlap.
        while (::access(go.c_str(), F_OK) != 0) ::usleep(1000);
        try {
            TSQLConnection c;
            c.SetDatabaseName(path);
            TSQLQuery next;
            next.SetConnection(&c);
            next.SetSQL("select max(Id_Vendedor) as id_max from vendedor");
            TSQLQuery ins;
            ins.SetConnection(&c);
            ins.SetSQL("insert into vendedor(Id_Vendedor, Nome) values(:pId, :pNome)");
            for (int i = 0; i < 100; ++i) {
                c.BeginTrans();
                next.Open();
                int id = next.FieldByName("id_max")->AsInteger() + 1;
                next.Close();
                ins.ParamByName("pId")->SetValue(Variant(id));
                ins.ParamByName("pNome")->SetValue(Variant(std::string(who)));
                ins.ExecSQL();
                c.CommitTrans();
            }
            return 0;
        } catch (...) {
            return 1;
        }
    };
    pid_t a = fork();
    if (a == 0) _exit(work("a"));
    pid_t b = fork();
    if (b == 0) _exit(work("b"));
    testsupport::WriteAll(go, "1");
    int statusA = 0, statusB = 0;
    waitpid(a, &statusA, 0);
    waitpid(b, &statusB, 0);
    EXPECT_TRUE(WIFEXITED(statusA) && WEXITSTATUS(statusA) == 0);
    EXPECT_TRUE(WIFEXITED(statusB) && WEXITSTATUS(statusB) == 0);
    EXPECT_EQ(FileRows("select count(*), count(distinct Id_Vendedor), max(Id_Vendedor) from vendedor"),
              std::vector<std::string>{"200|200|200"});
}

TEST_F(SQLQueryFixture, DateParametersCompareWithStoredDates) {
    // 2024-01-10, 2024-01-15 14:30 and 2024-02-01.
    conn->Execute("insert into Cliente(Id_Cliente, Data_Cadastro) values ('A', :d1), ('B', :d2), ('C', :d3)",
                  {{"d1", Variant::FromDateTime(45301)},
                   {"d2", Variant::FromDateTime(45306 + 14.5 / 24)},
                   {"d3", Variant::FromDateTime(45323)}});
    auto q = Query("select Id_Cliente from Cliente where Data_Cadastro >= :pIni and Data_Cadastro < :pFim "
                   "order by Data_Cadastro");
    q->ParamByName("pIni")->SetAsDate(45306.9);  // the day counts, not the hour
    q->ParamByName("pFim")->SetValue(Variant("01/02/2024"));
    q->ParamByName("pFim")->SetDataType(ftDate);
    q->Open();
    ASSERT_EQ(q->RecordCount(), 1);
    EXPECT_EQ(q->FieldByName("Id_Cliente")->AsString(), "B");
    q->Close();
    q->ParamByName("pIni")->SetValue(Variant("2024-01-01"));  // already the stored form
    q->Open();
    EXPECT_EQ(q->RecordCount(), 2);
}

TEST_F(SQLQueryFixture, EmptyTextIsReported) {
    auto q = Query("  ");
    try {
        q->Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message().find("Nenhum comando SQL"), std::string::npos) << e.Message();
    }
    EXPECT_FALSE(q->Active());
}

TEST_F(SQLQueryFixture, BookmarksSurviveChangesToOtherRows) {
    auto q = Query("select * from Unidade_Medida order by Id_Unidade_Medida");
    q->Open();
    ASSERT_TRUE(q->Locate("Id_Unidade_Medida", Variant("KG"), {}));
    TBookmark kg = q->GetBookmark();
    q->First();
    TBookmark cx = q->GetBookmark();
    q->Insert();
    q->FieldByName("Id_Unidade_Medida")->SetAsString("AA");
    q->Post();
    EXPECT_EQ(q->RecNo(), 1);  // inserted before the row it was on
    ASSERT_TRUE(q->Locate("Id_Unidade_Medida", Variant("CX"), {}));
    q->Delete();
    EXPECT_EQ(q->CompareBookmarks(q->GetBookmark(), kg), 0);  // the row after the deleted one
    q->GotoBookmark(kg);
    EXPECT_EQ(q->FieldByName("Id_Unidade_Medida")->AsString(), "KG");
    EXPECT_FALSE(q->BookmarkValid(cx));
    EXPECT_THROW(q->GotoBookmark(cx), EDatabaseError);
    EXPECT_EQ(q->FieldByName("Id_Unidade_Medida")->AsString(), "KG");
}

TEST_F(SQLQueryFixture, ComponentsAreReachedByName) {
    TClass cls = GetClass("TSQLTable");
    ASSERT_NE(cls, nullptr);
    std::unique_ptr<TObject> obj(CreateInstance(cls));
    auto* t = dynamic_cast<TSQLTable*>(obj.get());
    ASSERT_NE(t, nullptr);
    SetObjectProp(t, "Connection", conn.get());
    SetStrProp(t, "TableName", "Unidade_Medida");
    t->Open();
    EXPECT_EQ(t->RecordCount(), 3);
    EXPECT_TRUE(IsPublishedProp(t, "SQL"));
    EXPECT_EQ(GetStrProp(conn.get(), "ConnectionString"), conn->ConnectionString());
}

TEST_F(SQLQueryFixture, BlobBytesRoundTrip) {
    conn->Execute(sqlite::CreateTableSql("imagem", {{"Id", "integer", false, true}, {"Dados", "longbinary"}}));
    const std::string bytes("\x89PNG\0\x01\xff\0end", 11);
    auto q = Query("select * from imagem");
    q->Open();
    EXPECT_EQ(q->FieldByName("Dados")->DataType(), ftBlob);
    q->Append();
    q->FieldByName("Id")->SetAsInteger(1);
    q->FieldByName("Dados")->SetAsString(bytes);
    q->Post();
    q->Close();
    EXPECT_EQ(FileRows("select typeof(Dados), length(Dados) from imagem"), std::vector<std::string>{"blob|11"});
    q->Open();
    EXPECT_EQ(q->FieldByName("Dados")->AsString(), bytes);
    q->Edit();
    q->FieldByName("Dados")->Clear();
    q->Post();
    EXPECT_TRUE(q->FieldByName("Dados")->IsNull());
    EXPECT_EQ(FileRows("select count(*) from imagem where Dados is null"), std::vector<std::string>{"1"});
}

TEST_F(SQLQueryFixture, EditingOneValueLeavesTheRestOfTheRowAlone) {
    conn->Execute(
        "insert into Cliente values ('C1', 'Ana', '2024-03-05', 7, 2.5, 'nota', 10.25, 3, 'Não'), "
        "('C2', 'Bruno', null, null, null, null, null, null, null)");
    auto q = Query("select * from Cliente order by Id_Cliente");
    q->Open();
    auto values = [&q] {
        std::vector<std::string> v;
        for (int i = 0; i < q->FieldCount(); ++i)
            v.push_back(q->Fields()->Fields(i)->IsNull() ? "NULL" : q->Fields()->Fields(i)->AsString());
        return v;
    };
    const std::vector<std::string> ana = values();
    q->Edit();
    // Longer, shorter, null to value and value to null, in the middle of the row.
    q->FieldByName("Nome")->SetAsString("Ana Conceição de Magalhães Brandão");
    q->FieldByName("Id_Vendedor")->Clear();
    q->FieldByName("Observacao")->SetAsString(std::string(5000, 'x'));
    q->FieldByName("Nome")->SetAsString("Ana C.");
    std::vector<std::string> edited = ana;
    edited[1] = "Ana C.";
    edited[3] = "NULL";
    edited[5] = std::string(5000, 'x');
    EXPECT_EQ(values(), edited);
    q->Cancel();
    EXPECT_EQ(values(), ana);

    q->Next();
    q->Edit();
    q->FieldByName("Percentual_Comissao")->SetAsFloat(1.75);
    q->FieldByName("Inativo")->SetAsString("Sim");
    q->Post();
    q->First();
    EXPECT_EQ(values(), ana);
    q->Next();
    EXPECT_EQ(q->FieldByName("Percentual_Comissao")->AsFloat(), 1.75);
    EXPECT_EQ(q->FieldByName("Inativo")->AsString(), "Sim");
    EXPECT_TRUE(q->FieldByName("Nome")->AsString() == "Bruno");
    EXPECT_TRUE(q->FieldByName("Data_Cadastro")->IsNull());
    EXPECT_EQ(FileRows("select Id_Cliente, Nome, coalesce(Percentual_Comissao, 'NULL'), coalesce(Inativo, 'NULL') "
                       "from Cliente order by 1"),
              (std::vector<std::string>{"C1|Ana|2.5|Não", "C2|Bruno|1.75|Sim"}));
}

// The rows live in blocks; a row bigger than a block, and edits that add
// more rows than a block holds, must leave every earlier row readable.
TEST_F(SQLQueryFixture, BigRowsAndManyPostsKeepEveryRowReadable) {
    conn->Execute(sqlite::CreateTableSql("imagem", {{"Id", "integer", false, true}, {"Dados", "longbinary"},
                                                   {"Obs", "memo"}}));
    conn->Execute(
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 60) "
        "insert into imagem(Id, Obs) select i, 'obs ' || i from n");
    std::string big(600 * 1024, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
    auto q = Query("select * from imagem order by Id");
    q->Open();
    ASSERT_TRUE(q->Locate("Id", Variant(30), {}));
    q->Edit();
    q->FieldByName("Dados")->SetAsString(big);
    q->Post();
    q->First();
    TBookmark first = q->GetBookmark();
    for (char round : {'a', 'b'}) {
        for (q->First(); !q->Eof(); q->Next()) {
            q->Edit();
            q->FieldByName("Obs")->SetAsString(std::string(5000, round) + std::to_string(q->FieldByName("Id")->AsInteger()));
            q->Post();
        }
    }
    q->GotoBookmark(first);
    EXPECT_EQ(q->FieldByName("Id")->AsInteger(), 1);
    int n = 0;
    for (q->First(); !q->Eof(); q->Next()) {
        ++n;
        const int id = q->FieldByName("Id")->AsInteger();
        ASSERT_EQ(id, n);
        ASSERT_EQ(q->FieldByName("Obs")->AsString(), std::string(5000, 'b') + std::to_string(id));
        if (id == 30) {
            ASSERT_EQ(q->FieldByName("Dados")->AsString(), big);
        } else {
            ASSERT_TRUE(q->FieldByName("Dados")->IsNull());
        }
    }
    EXPECT_EQ(n, 60);
    q->Refresh();
    ASSERT_TRUE(q->Locate("Id", Variant(30), {}));
    EXPECT_EQ(q->FieldByName("Dados")->AsString(), big);
    EXPECT_EQ(FileRows("select count(*) from imagem where Obs like 'bbbb%'"), std::vector<std::string>{"60"});
}
