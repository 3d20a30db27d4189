// The memory table as the billing uses it: variable store, item buffers,
// calculated fields, emptying; and its cursor, insert and delete rules.
#include <gtest/gtest.h>

#include "platform/rtl/Strings.h"
#include "tests/memtable/MemTableTestSupport.h"

using namespace mttest;

// ---------------------------------------------------------------------------
// Billing uses

namespace {

// The run-time variable store: names of 35 characters, values of 60.
std::unique_ptr<TmtMemTable> MakeVars() {
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->FieldDefs()->Add("id_variable", ftString, 35);
    t->FieldDefs()->Add("value", ftString, 60);
    return t;
}

void SetVar(TmtMemTable* t, const std::string& name, const std::string& value) {
    std::string key = AnsiLowerCase(name);
    if (t->Locate("id_variable", key, {loCaseInsensitive}))
        t->Edit();
    else
        t->Append();
    t->FieldByName("id_variable")->SetAsString(key);
    t->FieldByName("value")->SetAsString(value);
    t->Post();
}

std::string GetVar(TmtMemTable* t, const std::string& name) {
    return VarToStr(t->Lookup("id_variable", AnsiLowerCase(name), "value"));
}

}  // namespace

TEST(BillingUse, VariableStoreReadsAndWritesByName) {
    auto t = MakeVars();
    t->Open();
    SetVar(t.get(), "NFe_Ambiente", "2");
    SetVar(t.get(), "Pasta_Envio", "/srv/nfe/envio");
    SetVar(t.get(), "nfe_ambiente", "1");  // same name, other case: replaces
    EXPECT_EQ(t->RecordCount(), 2);
    EXPECT_EQ(GetVar(t.get(), "NFE_AMBIENTE"), "1");
    EXPECT_EQ(GetVar(t.get(), "pasta_envio"), "/srv/nfe/envio");
    EXPECT_TRUE(t->Lookup("id_variable", "ausente", "value").IsNull());
    EXPECT_FALSE(t->Found());
    // A value longer than the column keeps its first 60 characters, whole.
    std::string longValue = StringOfChar("ç", 70);
    SetVar(t.get(), "Longo", longValue);
    EXPECT_EQ(GetVar(t.get(), "longo"), StringOfChar("ç", 60));
}

TEST(BillingUse, ItemBufferWithInsertsDeletesEditsAndBookmarkWalk) {
    auto t = MakeItems();
    t->Open();
    for (int i = 1; i <= 5; ++i) AddItem(t.get(), i, "item " + std::to_string(i), i * 10.0);
    // Insert before the third item.
    t->SetRecNo(3);
    t->Insert();
    t->FieldByName("Id")->SetAsInteger(99);
    t->FieldByName("Name")->SetAsString("inserido");
    t->FieldByName("Amount")->SetAsFloat(7.5);
    t->Post();
    EXPECT_EQ(t->RecNo(), 3);
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{1, 2, 99, 3, 4, 5}));
    // Delete the second, edit the last.
    t->SetRecNo(2);
    t->Delete();
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 99);
    t->Last();
    t->Edit();
    t->FieldByName("Amount")->SetAsFloat(55.0);
    t->Post();
    // Walk with a bookmark, summing, and come back.
    t->SetRecNo(2);
    TBookmark mark = t->GetBookmark();
    double sum = 0;
    t->DisableControls();
    t->First();
    while (!t->Eof()) {
        sum += t->FieldByName("Amount")->AsFloat();
        t->Next();
    }
    t->GotoBookmark(mark);
    t->EnableControls();
    EXPECT_DOUBLE_EQ(sum, 10 + 7.5 + 30 + 40 + 55);
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 99);
}

TEST(BillingUse, EmptyTableDiscardsRecordsAndBookmarksAndReportsProgress) {
    auto t = MakeItems();
    std::vector<std::pair<int, TmtProgressCode>> progress;
    t->OnProgress = [&](TDataSet*, int p, TmtProgressCode c) { progress.emplace_back(p, c); };
    t->SetProgressFlags({mtpcEmpty});
    t->Open();
    t->EmptyTable();  // even with nothing to empty
    EXPECT_EQ(progress, (std::vector<std::pair<int, TmtProgressCode>>{{0, mtpcEmpty}, {100, mtpcEmpty}}));
    AddItem(t.get(), 1, "a", 1);
    AddItem(t.get(), 2, "b", 2);
    TBookmark mark = t->GetBookmark();
    t->EmptyTable();
    EXPECT_EQ(t->RecordCount(), 0);
    EXPECT_TRUE(t->IsEmpty());
    EXPECT_FALSE(t->BookmarkValid(mark));
    AddItem(t.get(), 3, "c", 3);
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{3}));
    EXPECT_FALSE(t->BookmarkValid(mark)) << "a new record in the freed slot is not the old one";
}

TEST(BillingUse, CalculatedFieldsAreComputedOnFetchAndCanBeIndexed) {
    auto t = MakeItems();
    t->FieldDefs()->Add("Qty", ftInteger);
    // Persistent fields: the data fields and one calculated total.
    for (int i = 0; i < t->FieldDefs()->Count(); ++i) t->FieldDefs()->Items(i)->CreateField(nullptr);
    auto* total = new TFloatField(nullptr);
    total->SetFieldName("Total");
    total->SetFieldKind(fkCalculated);
    total->SetDataSet(t.get());
    t->OnCalcFields = [](TDataSet* ds) {
        ds->FieldByName("Total")->SetAsFloat(ds->FieldByName("Amount")->AsFloat() *
                                             ds->FieldByName("Qty")->AsInteger());
    };
    t->Open();
    auto add = [&](int id, double amount, int qty) {
        t->Append();
        t->FieldByName("Id")->SetAsInteger(id);
        t->FieldByName("Amount")->SetAsFloat(amount);
        t->FieldByName("Qty")->SetAsInteger(qty);
        t->Post();
    };
    add(1, 2.5, 4);   // 10
    add(2, 1.0, 3);   // 3
    add(3, 10.0, 2);  // 20
    t->First();
    EXPECT_DOUBLE_EQ(t->FieldByName("Total")->AsFloat(), 10);
    t->SetIndexFieldNames("Total");
    EXPECT_TRUE(t->RecalcOnIndex());
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{2, 1, 3}));
    EXPECT_DOUBLE_EQ(t->Lookup("Id", 3, "Total").AsDouble(), 20.0);
}

TEST(BillingUse, LocateWithoutOptions) {
    auto t = MakeItems();
    t->Open();
    AddItem(t.get(), 1, "Caneta azul", 1);
    AddItem(t.get(), 2, "caneta azul", 2);
    AddItem(t.get(), 3, "Caneta", 3);
    EXPECT_TRUE(t->Locate("Name", "caneta azul", {}));
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 2);
    EXPECT_FALSE(t->Locate("Name", "Caneta az", {}));
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 2);
    EXPECT_TRUE(t->Locate("Name;Amount", VarArrayOf({"Caneta", 3.0}), {}));
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 3);
    EXPECT_TRUE(t->Locate("Name", "CANETA AZ", {loCaseInsensitive, loPartialKey}));
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 1);
}

// ---------------------------------------------------------------------------
// Cursor, insert, delete

TEST(Cursor, InsertGoesBeforeTheCurrentRecordAppendGoesLast) {
    auto t = MakeItems();
    t->Open();
    for (int i = 1; i <= 4; ++i) AddItem(t.get(), i, "x", 0);
    t->SetRecNo(3);
    t->Insert();
    t->FieldByName("Id")->SetAsInteger(10);
    t->Post();
    t->First();
    t->Append();
    t->FieldByName("Id")->SetAsInteger(20);
    t->Post();
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{1, 2, 10, 3, 4, 20}));
}

TEST(Cursor, InsertIntoEmptyTableAndAtTheTop) {
    auto t = MakeItems();
    t->Open();
    t->Insert();
    t->FieldByName("Id")->SetAsInteger(1);
    t->Post();
    t->First();
    t->Insert();
    t->FieldByName("Id")->SetAsInteger(0);
    t->Post();
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{0, 1}));
}

TEST(Cursor, RecNoAndCountFollowTheFilter) {
    auto t = MakeItems();
    t->Open();
    for (int i = 1; i <= 10; ++i) AddItem(t.get(), i, "x", i);
    t->SetOnFilterRecord([](TDataSet* ds, bool& accept) { accept = ds->FieldByName("Id")->AsInteger() % 2 == 0; });
    t->SetFiltered(true);
    t->SetRecNo(4);
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 4);
    EXPECT_EQ(t->RecNo(), 4);
    t->SetRecNo(5);  // hidden by the filter: stays
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 4);
    int before = t->FieldByName("Id")->AsInteger();
    EXPECT_EQ(t->RecordCount(), 5);
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), before) << "counting leaves the cursor";
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{2, 4, 6, 8, 10}));
    t->SetFiltered(false);
    EXPECT_EQ(t->RecordCount(), 10);
}

TEST(Cursor, FindFirstAppliesTheFilterHandlerEvenWhenNotFiltered) {
    auto t = MakeItems();
    t->Open();
    for (int i = 1; i <= 6; ++i) AddItem(t.get(), i, "x", i);
    t->SetOnFilterRecord([](TDataSet* ds, bool& accept) { accept = ds->FieldByName("Id")->AsInteger() > 3; });
    EXPECT_TRUE(t->FindFirst());
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 4);
    EXPECT_TRUE(t->FindNext());
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 5);
    EXPECT_TRUE(t->FindLast());
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 6);
    EXPECT_FALSE(t->FindNext());
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 6);
}

TEST(Cursor, WritesOutsideEditAndToReadOnlyTablesAreRefused) {
    auto t = MakeItems();
    t->Open();
    AddItem(t.get(), 1, "a", 1);
    try {
        t->FieldByName("Name")->SetAsString("b");
        FAIL() << "write in browse state";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Dataset is not in edit mode.");
    }
    t->Edit();
    t->FieldByName("Name")->SetReadOnly(true);
    try {
        t->FieldByName("Name")->SetAsString("b");
        FAIL() << "write to a read-only field";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Field Name is read only");
    }
    t->Cancel();
    t->FieldByName("Name")->SetReadOnly(false);
    t->SetReadOnly(true);
    EXPECT_THROW(t->Edit(), EDatabaseError);
}

TEST(Cursor, StringsCountCharactersAndNeverSplitOne) {
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->FieldDefs()->Add("Short", ftString, 5);
    t->FieldDefs()->Add("Long", ftString, 30);  // a block of its own outside mtpfFast
    t->SetPerformance(mtpfBalanced);
    t->Open();
    t->Append();
    t->FieldByName("Short")->SetAsString("ÁÉÍÓÚÇ");
    t->FieldByName("Long")->SetAsString("Informação fiscal 😀 com emoji e acentuação longa");
    t->Post();
    EXPECT_EQ(t->FieldByName("Short")->AsString(), "ÁÉÍÓÚ");
    EXPECT_EQ(t->FieldByName("Long")->AsString(), "Informação fiscal 😀 com emoji ");
    EXPECT_EQ(Length(t->FieldByName("Long")->AsString()), 30);
    t->Edit();
    t->FieldByName("Long")->Clear();
    t->Post();
    EXPECT_TRUE(t->FieldByName("Long")->IsNull());
}

TEST(Cursor, BlobValuesLiveInTheRecord) {
    auto t = MakeItems();
    t->FieldDefs()->Add("Notes", ftMemo);
    t->Open();
    t->Append();
    t->FieldByName("Id")->SetAsInteger(1);
    t->FieldByName("Notes")->SetAsString("linha 1\nlinha 2 — ação");
    t->Post();
    AddItem(t.get(), 2, "b", 0);
    t->First();
    EXPECT_EQ(t->FieldByName("Notes")->AsString(), "linha 1\nlinha 2 — ação");
    t->Next();
    EXPECT_TRUE(t->FieldByName("Notes")->IsNull());
    t->First();
    t->Edit();
    t->FieldByName("Notes")->SetAsString("outra");
    t->Cancel();
    EXPECT_EQ(t->FieldByName("Notes")->AsString(), "linha 1\nlinha 2 — ação");
}

TEST(Cursor, AutoIncrementNumbersNewRecords) {
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->FieldDefs()->Add("Seq", ftAutoInc);
    t->FieldDefs()->Add("Name", ftString, 10);
    t->SetAutoIncMinValue(100);
    t->Open();
    for (const char* n : {"a", "b", "c"}) {
        t->Append();
        t->FieldByName("Name")->SetAsString(n);
        t->Post();
    }
    t->First();
    std::vector<int> seq;
    while (!t->Eof()) {
        seq.push_back(t->FieldByName("Seq")->AsInteger());
        t->Next();
    }
    EXPECT_EQ(seq, (std::vector<int>{100, 101, 102}));
}

TEST(Cursor, StaleBookmarkIsAClearErrorNotACrash) {
    auto t = MakeItems();
    t->Open();
    AddItem(t.get(), 1, "a", 1);
    AddItem(t.get(), 2, "b", 2);
    TBookmark mark = t->GetBookmark();
    t->Delete();
    EXPECT_FALSE(t->BookmarkValid(mark));
    EXPECT_THROW(t->GotoBookmark(mark), EDatabaseError);
    AddItem(t.get(), 3, "c", 3);  // reuses the slot
    EXPECT_FALSE(t->BookmarkValid(mark));
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 3);
    TBookmark other = t->GetBookmark();
    t->First();
    EXPECT_LT(t->CompareBookmarks(t->GetBookmark(), other), 0);
}

TEST(Cursor, ClosingTheTableDiscardsItsRecords) {
    auto t = MakeItems();
    t->Open();
    AddItem(t.get(), 1, "a", 1);
    t->Close();
    t->Open();
    EXPECT_EQ(t->RecordCount(), 0);
}

TEST(Cursor, NoFieldDefinitionsIsAnError) {
    TmtMemTable t(nullptr);
    try {
        t.Open();
        FAIL();
    } catch (const EMemTableError& e) {
        EXPECT_EQ(e.Message(), "There must be at least one field");
    }
    EXPECT_FALSE(t.Active());
}

// ---------------------------------------------------------------------------
// Filters, master/detail, locking

TEST(Filter, FilterTextSelectsRecords) {
    auto t = MakeItems();
    t->Open();
    for (int i = 1; i <= 6; ++i) AddItem(t.get(), i, i % 2 ? "ímpar" : "par", i * 10.0);
    t->SetFilter("Amount > 25 and Name = 'par'");
    t->SetFiltered(true);
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{4, 6}));
    EXPECT_EQ(t->RecordCount(), 2);
    t->SetFilter("");
    EXPECT_EQ(t->RecordCount(), 6);
}

TEST(MasterDetail, DetailShowsTheMastersItemsAndTakesItsKey) {
    auto master = std::make_unique<TmtMemTable>(nullptr);
    master->FieldDefs()->Add("Nota", ftInteger);
    master->Open();
    for (int n : {10, 20}) {
        master->Append();
        master->FieldByName("Nota")->SetAsInteger(n);
        master->Post();
    }
    auto items = MakeItems();
    items->FieldDefs()->Add("Nota", ftInteger);
    items->Open();
    auto add = [&](int id, int nota) {
        items->Append();
        items->FieldByName("Id")->SetAsInteger(id);
        items->FieldByName("Nota")->SetAsInteger(nota);
        items->Post();
    };
    add(1, 10);
    add(2, 20);
    add(3, 10);
    TDataSource source(nullptr);
    source.SetDataSet(master.get());
    items->SetDetailFields("Nota");
    items->SetMasterFields("Nota");
    items->SetMasterSource(&source);
    master->First();
    EXPECT_EQ(Ids(items.get()), (std::vector<int>{1, 3}));
    master->Next();
    EXPECT_EQ(Ids(items.get()), (std::vector<int>{2}));
    items->Append();
    EXPECT_EQ(items->FieldByName("Nota")->AsInteger(), 20);
    items->FieldByName("Id")->SetAsInteger(4);
    items->Post();
    EXPECT_EQ(Ids(items.get()), (std::vector<int>{2, 4}));
    items->SetMasterSource(nullptr);
    EXPECT_EQ(items->RecordCount(), 4);
    try {
        TDataSource own(nullptr);
        own.SetDataSet(items.get());
        items->SetMasterSource(&own);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message().find("Selfreferencing master/detail relations not allowed."), std::string::npos);
    }
}

TEST(Locking, LockSilencesControlsUntilUnlock) {
    auto t = MakeItems();
    t->Open();
    TDataSource source(nullptr);
    source.SetDataSet(t.get());
    int changes = 0;
    source.OnDataChange = [&](TObject*, TField*) { ++changes; };
    t->Lock();
    AddItem(t.get(), 1, "a", 1);
    t->Unlock();
    EXPECT_EQ(changes, 0);
    AddItem(t.get(), 2, "b", 2);
    EXPECT_GT(changes, 0);
}

TEST(Reposition, AutoRepositionFollowsThePostedRecord) {
    auto t = MakeItems();
    t->SetAutoReposition(true);
    t->Open();
    AddItem(t.get(), 1, "c", 0);
    AddItem(t.get(), 2, "a", 0);
    t->SetIndexFieldNames("Name");
    AddItem(t.get(), 3, "b", 0);
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 3);
    EXPECT_EQ(t->RecNo(), 2);
}
