// Copying records and structure between a memory table and other datasets,
// updating by key, and the state a failed copy leaves behind.
#include <gtest/gtest.h>

#include "tests/memtable/MemTableTestSupport.h"

using namespace mttest;

namespace {

std::unique_ptr<TmtMemTable> Source(int rows) {
    auto s = MakeItems();
    s->Open();
    for (int i = 1; i <= rows; ++i) AddItem(s.get(), i, "item " + std::to_string(i), i * 1.5);
    return s;
}

}  // namespace

TEST(Copy, LoadLimitStopsTheLoadAndSaysSo) {
    auto src = Source(25);
    auto t = MakeItems();
    t->SetLoadLimit(10);
    t->LoadFromDataSet(src.get(), 0);
    EXPECT_EQ(t->RecordCount(), 10);
    EXPECT_EQ(t->LoadCount(), 10);
    EXPECT_FALSE(t->LoadedCompletely());
    t->SetLoadLimit(-1);
    t->LoadFromDataSet(src.get(), 0);
    EXPECT_EQ(t->RecordCount(), 25);
    EXPECT_EQ(t->LoadCount(), 25);
    EXPECT_TRUE(t->LoadedCompletely());
    // A limit equal to the source's size loads it completely.
    t->SetLoadLimit(25);
    t->LoadFromDataSet(src.get(), 0);
    EXPECT_TRUE(t->LoadedCompletely());
}

TEST(Copy, StructureAndPropertiesComeFromTheSource) {
    auto src = Source(3);
    src->FieldByName("Amount")->SetDisplayLabel("Valor");
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->LoadFromDataSet(src.get(), mtcpoStructure | mtcpoProperties);
    ASSERT_TRUE(t->Active());
    EXPECT_EQ(t->FieldDefs()->Count(), 3);
    EXPECT_EQ(t->FieldByName("Amount")->DisplayLabel(), "Valor");
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(t->FieldByName("Name")->Size(), 20);
    try {
        t->LoadFromDataSet(src.get(), mtcpoStructure | mtcpoAppend);
        FAIL();
    } catch (const EMemTableError& e) {
        EXPECT_EQ(e.Message(), "Cannot both append and copy structure.");
    }
}

TEST(Copy, AppendKeepsExistingRecordsAndSourcePositionIsRestored) {
    auto src = Source(3);
    src->SetRecNo(2);
    auto t = MakeItems();
    t->Open();
    AddItem(t.get(), 100, "own", 0);
    t->LoadFromDataSet(src.get(), mtcpoAppend);
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{100, 1, 2, 3}));
    EXPECT_EQ(src->FieldByName("Id")->AsInteger(), 2);
    EXPECT_FALSE(t->ControlsDisabled());
    EXPECT_FALSE(src->ControlsDisabled());
}

TEST(Copy, SaveToDataSetFillsTheDestination) {
    auto t = Source(4);
    auto dest = MakeItems();
    dest->Open();
    t->SaveToDataSet(dest.get(), 0);
    EXPECT_EQ(t->SaveCount(), 4);
    EXPECT_EQ(Ids(dest.get()), (std::vector<int>{1, 2, 3, 4}));
    // A closed destination is opened for the copy and closed again.
    auto closed = MakeItems();
    t->SaveToDataSet(closed.get(), 0);
    EXPECT_FALSE(closed->Active());
}

TEST(Copy, AutoIncrementOfANonEmptyDestinationIsItsOwn) {
    auto make = [] {
        auto t = std::make_unique<TmtMemTable>(nullptr);
        t->FieldDefs()->Add("Seq", ftAutoInc);
        t->FieldDefs()->Add("Name", ftString, 10);
        return t;
    };
    auto src = make();
    src->SetAutoIncMinValue(50);
    src->Open();
    for (const char* n : {"a", "b"}) {
        src->Append();
        src->FieldByName("Name")->SetAsString(n);
        src->Post();
    }
    auto dest = make();
    dest->Open();
    dest->Append();
    dest->FieldByName("Name")->SetAsString("z");
    dest->Post();  // Seq 0
    dest->LoadFromDataSet(src.get(), mtcpoAppend);
    std::vector<int> seq;
    dest->First();
    while (!dest->Eof()) {
        seq.push_back(dest->FieldByName("Seq")->AsInteger());
        dest->Next();
    }
    EXPECT_EQ(seq, (std::vector<int>{0, 1, 2}));
    // Into an empty table the values come along.
    auto fresh = make();
    fresh->LoadFromDataSet(src.get(), 0);
    fresh->First();
    EXPECT_EQ(fresh->FieldByName("Seq")->AsInteger(), 50);
}

TEST(Copy, UpdateToDataSetEditsByKeyAndAppendsTheRest) {
    auto t = Source(3);
    auto dest = MakeItems();
    dest->Open();
    AddItem(dest.get(), 2, "old", 0);
    AddItem(dest.get(), 9, "other", 0);
    t->UpdateToDataSet(dest.get(), "Id");
    EXPECT_EQ(Ids(dest.get()), (std::vector<int>{2, 9, 1, 3}));
    ASSERT_TRUE(dest->Locate("Id", 2, {}));
    EXPECT_EQ(dest->FieldByName("Name")->AsString(), "item 2");
    // Edit only: nothing appended.
    auto only = MakeItems();
    only->Open();
    AddItem(only.get(), 3, "old", 0);
    t->UpdateToDataSetEx(only.get(), "Id", mtufEdit);
    EXPECT_EQ(Ids(only.get()), (std::vector<int>{3}));
    EXPECT_EQ(only->FieldByName("Name")->AsString(), "item 3");
}

TEST(Copy, AFailedLoadRestoresTheTablesState) {
    auto src = Source(5);
    src->Last();
    src->Edit();
    src->FieldByName("Id")->SetAsInteger(1);  // duplicate of the first
    src->Post();
    src->SetRecNo(3);
    auto t = MakeItems();
    t->IndexDefs()->Add("PK", "Id", {ixUnique});
    t->Open();
    t->SetOnFilterRecord([](TDataSet*, bool& accept) { accept = true; });
    t->SetFiltered(true);
    EXPECT_THROW(t->LoadFromDataSet(src.get(), mtcpoDontDisableIndexes), EMemTableDupKey);
    EXPECT_TRUE(t->Filtered());
    EXPECT_TRUE(t->EnableIndexes());
    EXPECT_FALSE(t->ControlsDisabled());
    EXPECT_FALSE(src->ControlsDisabled());
    EXPECT_EQ(t->State(), dsBrowse);
    EXPECT_EQ(t->CurrentActivity(), memtable::actNone);
    EXPECT_EQ(src->FieldByName("Id")->AsInteger(), 3);
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{1, 2, 3, 4})) << "what was posted before the failure stays";
    // A closed source is opened for the load and closed again.
    auto other = MakeItems();
    other->FieldDefs()->Add("Extra", ftInteger);
    other->Open();
    other->Close();
    EXPECT_NO_THROW(t->LoadFromDataSet(other.get(), 0));
    EXPECT_FALSE(other->Active());
}

TEST(Copy, CopyRecordsEventsCanRefuseRecords) {
    auto src = Source(6);
    auto t = MakeItems();
    t->Open();
    t->OnLoadRecord = [](TDataSet* ds, bool& accept) { accept = ds->FieldByName("Id")->AsInteger() % 3 != 0; };
    int fields = 0;
    t->OnLoadField = [&](TDataSet*, int, TField*) { ++fields; };
    src->First();
    EXPECT_EQ(t->CopyRecords(src.get(), t.get(), -1, false, false), 4);
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{1, 2, 4, 5}));
    EXPECT_EQ(fields, 6 * 3);
}

TEST(Copy, ProgressIsReportedForCopies) {
    auto src = Source(250);
    auto t = MakeItems();
    std::vector<int> seen;
    t->OnProgress = [&](TDataSet*, int p, TmtProgressCode c) {
        if (c == mtpcCopy) seen.push_back(p);
    };
    t->LoadFromDataSet(src.get(), 0);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

TEST(Copy, AFailedSaveRestoresBothSides) {
    auto t = Source(3);
    t->Last();
    t->Edit();
    t->FieldByName("Id")->SetAsInteger(1);
    t->Post();
    auto dest = MakeItems();
    dest->IndexDefs()->Add("PK", "Id", {ixUnique});
    EXPECT_THROW(t->SaveToDataSet(dest.get(), 0), EMemTableDupKey);
    EXPECT_FALSE(dest->Active()) << "a destination that was closed is closed again";
    EXPECT_FALSE(dest->ControlsDisabled());
    EXPECT_FALSE(t->ControlsDisabled());
    EXPECT_EQ(t->CurrentActivity(), memtable::actNone);
    dest->Open();
    EXPECT_THROW(t->UpdateToDataSet(dest.get(), "Name"), EMemTableDupKey);
    EXPECT_EQ(dest->State(), dsBrowse);
    EXPECT_FALSE(dest->ControlsDisabled());
    EXPECT_EQ(Ids(dest.get()), (std::vector<int>{1, 2}));
}

TEST(Copy, DuplicatesFoundWhenIndexesComeBackAreReported) {
    auto src = Source(3);
    src->Last();
    src->Edit();
    src->FieldByName("Id")->SetAsInteger(1);
    src->Post();
    auto t = MakeItems();
    t->IndexDefs()->Add("PK", "Id", {ixUnique});
    t->Open();
    // Indexes are off during the load: the duplicate shows when they are rebuilt.
    EXPECT_THROW(t->LoadFromDataSet(src.get(), 0), EMemTableDupKey);
    EXPECT_TRUE(t->EnableIndexes());
    EXPECT_FALSE(t->ControlsDisabled());
    EXPECT_EQ(t->RecordCount(), 3) << "nothing loaded is lost";
}
