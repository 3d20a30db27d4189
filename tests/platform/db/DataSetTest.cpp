// The buffered cursor of TDataSet driven through a descendant that keeps its
// records in a vector: positions, bookmarks, changes, searching, filtering,
// calculated and lookup fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/db/DB.h"
#include "tests/platform/db/VectorDataSet.h"

using testsupport::VectorDataSet;

namespace {

// A link that shows Rows rows at once, as a grid does.
class GridLink : public TDataLink {
public:
    explicit GridLink(int rows) { SetBufferCount(rows); }
    int scrolled = 0;
    int changed = 0;

protected:
    void DataSetChanged() override { ++changed; }
    void DataSetScrolled(int) override { ++scrolled; }
};

void MakeTable(VectorDataSet& d, int rows) {
    d.FieldDefs()->Add("ID", ftInteger);
    d.FieldDefs()->Add("Name", ftString, 10);
    d.Open();
    for (int i = 1; i <= rows; ++i) d.AppendRecord({Variant(i), Variant("N" + std::to_string(i))});
    d.First();
}

std::vector<int> Ids(VectorDataSet& d) {
    std::vector<int> ids;
    d.First();
    while (!d.Eof()) {
        ids.push_back(d.FieldByName("ID")->AsInteger());
        d.Next();
    }
    return ids;
}

int Id(VectorDataSet& d) { return d.FieldByName("ID")->AsInteger(); }

// --- positions and the ring of buffers -------------------------------------

TEST(DataSetCursor, WalksForwardAndBackThroughMoreRecordsThanBuffers) {
    VectorDataSet d;
    TDataSource src(nullptr);
    src.SetDataSet(&d);
    GridLink grid(4);
    grid.SetDataSource(&src);
    MakeTable(d, 25);
    EXPECT_EQ(d.BufferCount(), 4);

    std::vector<int> forward;
    for (d.First(); !d.Eof(); d.Next()) forward.push_back(Id(d));
    ASSERT_EQ(forward.size(), 25u);
    for (int i = 0; i < 25; ++i) EXPECT_EQ(forward[static_cast<std::size_t>(i)], i + 1);

    std::vector<int> backward;
    for (d.Last(); !d.Bof(); d.Prior()) backward.push_back(Id(d));
    ASSERT_EQ(backward.size(), 25u);
    EXPECT_EQ(backward.front(), 25);
    EXPECT_EQ(backward.back(), 1);

    d.First();
    EXPECT_EQ(d.MoveBy(10), 10);
    EXPECT_EQ(Id(d), 11);
    EXPECT_EQ(d.MoveBy(-4), -4);
    EXPECT_EQ(Id(d), 7);
    EXPECT_EQ(d.MoveBy(100), 18);
    EXPECT_TRUE(d.Eof());
    EXPECT_EQ(Id(d), 25);
    EXPECT_EQ(d.MoveBy(-100), -24);
    EXPECT_TRUE(d.Bof());
    EXPECT_EQ(Id(d), 1);
    grid.SetDataSource(nullptr);
}

TEST(DataSetCursor, GridWindowShowsConsecutiveRowsEndingAtTheCurrentOne) {
    VectorDataSet d;
    TDataSource src(nullptr);
    src.SetDataSet(&d);
    GridLink grid(5);
    grid.SetDataSource(&src);
    MakeTable(d, 20);
    d.MoveBy(8);  // record 9, beyond the first window
    ASSERT_EQ(grid.RecordCount(), 5);
    int active = grid.ActiveRecord();
    std::vector<int> rows;
    for (int i = 0; i < grid.RecordCount(); ++i) {
        grid.SetActiveRecord(i);
        rows.push_back(Id(d));
    }
    grid.SetActiveRecord(active);
    EXPECT_EQ(Id(d), 9);
    EXPECT_EQ(rows, (std::vector<int>{5, 6, 7, 8, 9}));
    EXPECT_EQ(active, 4);

    d.MoveBy(-6);  // record 3: the window scrolls back
    active = grid.ActiveRecord();
    grid.SetActiveRecord(0);
    int top = Id(d);
    grid.SetActiveRecord(active);
    EXPECT_EQ(Id(d), 3);
    EXPECT_EQ(top, 3 - active);
    EXPECT_GT(grid.scrolled, 0);
    grid.SetDataSource(nullptr);
}

TEST(DataSetCursor, GridsComingAndGoingKeepTheCurrentRecord) {
    VectorDataSet d;
    TDataSource src(nullptr);
    src.SetDataSet(&d);
    MakeTable(d, 20);
    d.MoveBy(9);
    ASSERT_EQ(Id(d), 10);
    {
        GridLink big(7);
        big.SetDataSource(&src);
        EXPECT_EQ(d.BufferCount(), 7);
        EXPECT_EQ(Id(d), 10);
        d.MoveBy(3);
        EXPECT_EQ(Id(d), 13);
        GridLink small(3);
        small.SetDataSource(&src);
        big.SetBufferCount(2);  // the dataset keeps the largest window asked for
        EXPECT_EQ(d.BufferCount(), 3);
        EXPECT_EQ(Id(d), 13);
        small.SetDataSource(nullptr);
        EXPECT_EQ(d.BufferCount(), 2);
        EXPECT_EQ(Id(d), 13);
        std::vector<int> rows;
        int active = big.ActiveRecord();
        for (int i = 0; i < big.RecordCount(); ++i) {
            big.SetActiveRecord(i);
            rows.push_back(Id(d));
        }
        big.SetActiveRecord(active);
        EXPECT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[static_cast<std::size_t>(active)], 13);
        EXPECT_EQ(rows[1] - rows[0], 1);
        big.SetDataSource(nullptr);
    }
    EXPECT_EQ(d.BufferCount(), 1);
    EXPECT_EQ(Id(d), 13);
    d.Next();
    EXPECT_EQ(Id(d), 14);
    d.Prior();
    d.Prior();
    EXPECT_EQ(Id(d), 12);
}

TEST(DataSetCursor, RecNoAndRecordCountFollowTheCursor) {
    VectorDataSet d;
    MakeTable(d, 6);
    EXPECT_EQ(d.RecordCount(), 6);
    EXPECT_EQ(d.RecNo(), 1);
    d.SetRecNo(4);
    EXPECT_EQ(Id(d), 4);
    EXPECT_EQ(d.RecNo(), 4);
    d.SetRecNo(99);  // outside: stays
    EXPECT_EQ(d.RecNo(), 4);
}

TEST(DataSetCursor, ClosedDatasetRefusesNavigationWithAClearError) {
    VectorDataSet d;
    d.FieldDefs()->Add("ID", ftInteger);
    EXPECT_THROW(d.First(), EDatabaseError);
    EXPECT_THROW(d.Edit(), EDatabaseError);
    try {
        d.Next();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Cannot perform this operation on a closed dataset");
    }
    d.Open();
    EXPECT_TRUE(d.IsEmpty());
    EXPECT_THROW(d.Delete(), EDatabaseError);
}

// --- inserts, appends, edits, deletes ---------------------------------------

TEST(DataSetChanges, InsertGoesBeforeTheCurrentRecordAndAppendAtTheEnd) {
    VectorDataSet d;
    MakeTable(d, 4);
    d.SetRecNo(3);
    d.Insert();
    d.FieldByName("ID")->SetAsInteger(30);
    d.Post();
    EXPECT_EQ(Id(d), 30);
    EXPECT_EQ(d.RecNo(), 3);
    d.Append();
    d.FieldByName("ID")->SetAsInteger(50);
    d.Post();
    EXPECT_EQ(Ids(d), (std::vector<int>{1, 2, 30, 3, 4, 50}));
}

TEST(DataSetChanges, FailingPostKeepsEditStateAndTheTypedValues) {
    VectorDataSet d;
    MakeTable(d, 3);
    d.SetRecNo(2);
    bool refuse = true;
    d.BeforePost = [&](TDataSet*) {
        if (refuse) Abort();
    };
    d.Edit();
    d.FieldByName("Name")->SetAsString("changed");
    EXPECT_THROW(d.Post(), EAbort);
    EXPECT_EQ(d.State(), dsEdit);
    EXPECT_EQ(d.FieldByName("Name")->AsString(), "changed");
    EXPECT_TRUE(d.Modified());

    // Nothing reached the stored record: another reader still sees the old value.
    refuse = false;
    d.Post();
    EXPECT_EQ(d.State(), dsBrowse);
    EXPECT_EQ(d.FieldByName("Name")->AsString(), "changed");
    d.First();
    d.Next();
    EXPECT_EQ(d.FieldByName("Name")->AsString(), "changed");
}

TEST(DataSetChanges, FailedInsertKeepsTheNewRowUntilCancelled) {
    VectorDataSet d;
    MakeTable(d, 2);
    d.FieldByName("Name")->SetRequired(true);
    d.Append();
    d.FieldByName("ID")->SetAsInteger(7);
    try {
        d.Post();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Field 'Name' must have a value");
    }
    EXPECT_EQ(d.State(), dsInsert);
    EXPECT_EQ(d.FieldByName("ID")->AsInteger(), 7);
    EXPECT_EQ(d.RecordCount(), 2);
    d.Cancel();
    EXPECT_EQ(d.RecordCount(), 2);
}

TEST(DataSetChanges, PostErrorHandlerMayRetryOrAbort) {
    VectorDataSet d;
    MakeTable(d, 1);
    d.FieldByName("Name")->SetRequired(true);
    int calls = 0;
    d.OnPostError = [&](TDataSet* ds, EDatabaseError&, TDataAction& action) {
        ++calls;
        ds->FieldByName("Name")->SetAsString("fixed");
        action = daRetry;
    };
    d.Append();
    d.FieldByName("ID")->SetAsInteger(2);
    d.Post();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(d.FieldByName("Name")->AsString(), "fixed");

    d.OnPostError = [](TDataSet*, EDatabaseError&, TDataAction& action) { action = daAbort; };
    d.Append();
    EXPECT_THROW(d.Post(), EAbort);
    EXPECT_EQ(d.State(), dsInsert);
    d.Cancel();
}

TEST(DataSetChanges, RefusedDeleteKeepsTheRecordAndErrorHandlersMayRetry) {
    VectorDataSet d;
    MakeTable(d, 3);
    d.SetRecNo(2);
    std::vector<std::string> log;
    d.BeforeDelete = [&](TDataSet*) {
        log.push_back("before");
        Abort();  // "Existe(m) ... Não pode Excluir."
    };
    d.AfterScroll = [&](TDataSet*) { log.push_back("scroll"); };
    EXPECT_THROW(d.Delete(), EAbort);
    EXPECT_EQ(log, (std::vector<std::string>{"before"}));
    EXPECT_EQ(d.RecordCount(), 3);
    EXPECT_EQ(Id(d), 2);

}

// A store that is busy now and then, as a locked file is.
class FlakyDataSet : public VectorDataSet {
public:
    int failures = 0;

protected:
    void InternalDelete() override {
        if (failures > 0) {
            --failures;
            DatabaseError("registro bloqueado");
        }
        VectorDataSet::InternalDelete();
    }
};

TEST(DataSetChanges, DeleteErrorHandlerRetriesOrGivesUp) {
    FlakyDataSet d;
    MakeTable(d, 3);
    d.SetRecNo(2);
    int attempts = 0;
    d.OnDeleteError = [&](TDataSet* ds, EDatabaseError& e, TDataAction& action) {
        EXPECT_EQ(ds->State(), dsBrowse);
        EXPECT_EQ(e.Message(), "registro bloqueado");
        ++attempts;
        action = daRetry;
    };
    d.failures = 2;
    d.Delete();
    EXPECT_EQ(attempts, 2);
    EXPECT_EQ(Ids(d), (std::vector<int>{1, 3}));

    d.OnDeleteError = [&](TDataSet*, EDatabaseError&, TDataAction& action) { action = daFail; };
    d.failures = 1;
    d.Last();
    EXPECT_THROW(d.Delete(), EDatabaseError);
    EXPECT_EQ(d.RecordCount(), 2);
    EXPECT_EQ(Id(d), 3);
}

TEST(DataSetChanges, OldAndNewValuesOfAPendingEdit) {
    VectorDataSet d;
    MakeTable(d, 2);
    d.Edit();
    d.FieldByName("Name")->SetAsString("novo");
    EXPECT_EQ(d.FieldByName("Name")->OldValue().AsString(), "N1");
    EXPECT_EQ(d.FieldByName("Name")->NewValue().AsString(), "novo");
    int changes = 0;
    TDataSource src(nullptr);
    src.SetDataSet(&d);
    src.OnDataChange = [&](TObject*, TField*) { ++changes; };
    d.FieldByName("Name")->SetNewValue(Variant("outro"));
    EXPECT_EQ(changes, 0);  // written quietly, as the class library does
    EXPECT_EQ(d.FieldByName("Name")->AsString(), "outro");
    EXPECT_EQ(d.State(), dsEdit);
    d.Cancel();
    d.Append();
    EXPECT_TRUE(d.FieldByName("Name")->OldValue().IsNull());
    d.Cancel();
}

TEST(DataSetChanges, ReadOnlyDatasetRefusesChanges) {
    VectorDataSet d;
    MakeTable(d, 2);
    d.SetReadOnly(true);
    EXPECT_THROW(d.Edit(), EDatabaseError);
    EXPECT_THROW(d.Append(), EDatabaseError);
    EXPECT_THROW(d.Delete(), EDatabaseError);
    EXPECT_EQ(d.State(), dsBrowse);
    EXPECT_FALSE(d.FieldByName("Name")->CanModify());
}

TEST(DataSetChanges, WritingAFieldOutsideEditStateIsRefused) {
    VectorDataSet d;
    MakeTable(d, 1);
    try {
        d.FieldByName("Name")->SetAsString("x");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Dataset is not in edit mode.");
    }
    EXPECT_EQ(d.FieldByName("Name")->AsString(), "N1");
}

TEST(DataSetChanges, DeleteEverythingLeavesAnEmptyDatasetThatAcceptsNewRows) {
    VectorDataSet d;
    MakeTable(d, 3);
    while (!d.IsEmpty()) d.Delete();
    EXPECT_TRUE(d.Bof());
    EXPECT_TRUE(d.Eof());
    EXPECT_EQ(d.RecordCount(), 0);
    EXPECT_TRUE(d.FieldByName("ID")->IsNull());
    d.Edit();  // an empty dataset starts a new row instead
    EXPECT_EQ(d.State(), dsInsert);
    d.FieldByName("ID")->SetAsInteger(1);
    d.Post();
    EXPECT_EQ(d.RecordCount(), 1);
}

TEST(DataSetChanges, RefreshFiresItsEventsAroundAResync) {
    VectorDataSet d;
    MakeTable(d, 3);
    d.SetRecNo(2);
    std::vector<std::string> log;
    d.BeforeRefresh = [&](TDataSet*) { log.push_back("before"); };
    d.AfterRefresh = [&](TDataSet*) { log.push_back("after"); };
    d.BeforeScroll = [&](TDataSet*) { log.push_back("scroll"); };
    d.Edit();
    d.FieldByName("Name")->SetAsString("pending");
    d.Refresh();  // a pending edit is posted first
    EXPECT_EQ(log, (std::vector<std::string>{"before", "after"}));
    EXPECT_EQ(d.FieldByName("Name")->AsString(), "pending");
    EXPECT_EQ(Id(d), 2);
}

TEST(DataSetChanges, ExceptionInOnNewRecordReturnsToBrowse) {
    VectorDataSet d;
    MakeTable(d, 2);
    d.SetRecNo(2);
    d.OnNewRecord = [](TDataSet*) { throw Exception("sem numeração"); };
    EXPECT_THROW(d.Append(), Exception);
    EXPECT_EQ(d.State(), dsBrowse);
    EXPECT_EQ(d.RecordCount(), 2);
    EXPECT_FALSE(d.FieldByName("ID")->IsNull());
}

// --- bookmarks ---------------------------------------------------------------

TEST(DataSetBookmarks, SurviveInsertsAndDeletesOfOtherRecords) {
    VectorDataSet d;
    MakeTable(d, 5);
    d.SetRecNo(3);
    TBookmark b = d.GetBookmark();
    ASSERT_FALSE(b.empty());

    d.First();
    d.Insert();
    d.FieldByName("ID")->SetAsInteger(100);
    d.Post();
    d.Last();
    d.Delete();
    d.First();
    d.Next();
    d.Next();  // record 2 now (after the insert at the top)
    d.Delete();

    EXPECT_TRUE(d.BookmarkValid(b));
    d.GotoBookmark(b);
    EXPECT_EQ(Id(d), 3);
    EXPECT_EQ(d.RecNo(), 3);
}

TEST(DataSetBookmarks, AreRejectedCleanlyOnceTheirRecordIsGone) {
    VectorDataSet d;
    MakeTable(d, 5);
    d.SetRecNo(2);
    TBookmark gone = d.GetBookmark();
    d.Delete();
    d.SetRecNo(3);
    int scrolls = 0;
    d.BeforeScroll = [&](TDataSet*) { ++scrolls; };
    EXPECT_FALSE(d.BookmarkValid(gone));
    EXPECT_THROW(d.GotoBookmark(gone), EDatabaseError);
    EXPECT_EQ(scrolls, 0);
    // Position and buffers are as before.
    EXPECT_EQ(Id(d), 4);
    EXPECT_EQ(d.RecNo(), 3);
    d.Next();
    EXPECT_EQ(Id(d), 5);
}

TEST(DataSetBookmarks, CompareFollowsRecordOrderAndInsertStateHasNone) {
    VectorDataSet d;
    MakeTable(d, 4);
    TBookmark first = d.GetBookmark();
    d.Last();
    TBookmark last = d.GetBookmark();
    EXPECT_LT(d.CompareBookmarks(first, last), 0);
    EXPECT_GT(d.CompareBookmarks(last, first), 0);
    EXPECT_EQ(d.CompareBookmarks(first, first), 0);
    d.Append();
    EXPECT_TRUE(d.GetBookmark().empty());
    d.Cancel();
    d.GotoBookmark(TBookmark{});  // no bookmark: nothing happens
    EXPECT_EQ(Id(d), 4);
}

// --- searching ---------------------------------------------------------------

TEST(DataSetSearch, LocateHonoursCaseAndPartialKeyOptions) {
    VectorDataSet d;
    d.FieldDefs()->Add("ID", ftInteger);
    d.FieldDefs()->Add("Name", ftString, 20);
    d.Open();
    d.AppendRecord({Variant(1), Variant("ABC")});
    d.AppendRecord({Variant(2), Variant("Ábaco")});
    d.AppendRecord({Variant(3), Variant("abd")});
    d.First();

    EXPECT_FALSE(d.Locate("Name", Variant("AB"), {}));
    EXPECT_EQ(Id(d), 1);
    EXPECT_TRUE(d.Locate("Name", Variant("AB"), {loPartialKey}));
    EXPECT_EQ(Id(d), 1);
    EXPECT_TRUE(d.Locate("Name", Variant("ABD"), {loCaseInsensitive}));
    EXPECT_EQ(Id(d), 3);
    EXPECT_TRUE(d.Locate("Name", Variant("ábaco"), {loCaseInsensitive}));
    EXPECT_EQ(Id(d), 2);
    EXPECT_TRUE(d.Locate("ID;Name", VarArrayOf({Variant(3), Variant("abd")}), {}));
    EXPECT_EQ(Id(d), 3);
    EXPECT_FALSE(d.Locate("ID;Name", VarArrayOf({Variant(3), Variant("ABC")}), {}));
    EXPECT_THROW(d.Locate("Missing", Variant(1), {}), EDatabaseError);
    EXPECT_THROW(d.Locate("ID;Name", Variant(1), {}), EDatabaseError);
}

TEST(DataSetSearch, LookupAnswersWithoutMovingOrFiringEvents) {
    VectorDataSet d;
    MakeTable(d, 5);
    d.SetRecNo(2);
    int events = 0;
    d.BeforeScroll = [&](TDataSet*) { ++events; };
    d.AfterScroll = [&](TDataSet*) { ++events; };
    EXPECT_EQ(VarToStr(d.Lookup("ID", Variant(4), "Name")), "N4");
    Variant both = d.Lookup("ID", Variant(5), "ID;Name");
    ASSERT_TRUE(both.IsArray());
    EXPECT_EQ(both.GetElement(1).AsString(), "N5");
    EXPECT_TRUE(d.Lookup("ID", Variant(42), "Name").IsNull());
    EXPECT_EQ(events, 0);
    EXPECT_EQ(Id(d), 2);
    d.Next();
    EXPECT_EQ(Id(d), 3);
}

TEST(DataSetSearch, LookupDuringAnEditLeavesTheEditPending) {
    VectorDataSet d;
    MakeTable(d, 4);
    d.SetRecNo(2);
    d.Edit();
    d.FieldByName("Name")->SetAsString("typing");
    EXPECT_EQ(VarToStr(d.Lookup("ID", Variant(4), "Name")), "N4");
    EXPECT_EQ(d.State(), dsEdit);
    EXPECT_EQ(d.FieldByName("Name")->AsString(), "typing");
    d.Cancel();
    EXPECT_EQ(d.FieldByName("Name")->AsString(), "N2");

    d.Insert();
    d.FieldByName("ID")->SetAsInteger(99);
    EXPECT_EQ(VarToStr(d.Lookup("ID", Variant(1), "Name")), "N1");
    d.Post();
    EXPECT_EQ(Ids(d), (std::vector<int>{1, 99, 2, 3, 4}));
}

TEST(DataSetSearch, FilterRecordHidesRowsFromEveryWalk) {
    VectorDataSet d;
    MakeTable(d, 10);
    d.SetOnFilterRecord([](TDataSet* ds, bool& accept) { accept = ds->FieldByName("ID")->AsInteger() % 3 == 0; });
    EXPECT_EQ(d.RecordCount(), 10);  // not yet Filtered
    d.SetFiltered(true);
    EXPECT_EQ(Ids(d), (std::vector<int>{3, 6, 9}));
    EXPECT_EQ(d.RecordCount(), 3);
    EXPECT_FALSE(d.Locate("ID", Variant(4), {}));
    EXPECT_TRUE(d.Locate("ID", Variant(9), {}));
    EXPECT_EQ(d.RecNo(), 3);
    d.SetFiltered(false);
    EXPECT_EQ(d.RecordCount(), 10);
    EXPECT_EQ(Id(d), 1);
}

// --- calculated and lookup fields --------------------------------------------

TEST(DataSetCalcFields, CalculatedAndLookupFieldsFollowEachRecord) {
    VectorDataSet cities;
    cities.FieldDefs()->Add("Code", ftInteger);
    cities.FieldDefs()->Add("City", ftString, 30);
    cities.Open();
    cities.AppendRecord({Variant(10), Variant("Curitiba")});
    cities.AppendRecord({Variant(20), Variant("Maringá")});

    VectorDataSet people;
    auto* id = new TIntegerField(&people);
    id->SetFieldName("ID");
    id->SetDataSet(&people);
    auto* code = new TIntegerField(&people);
    code->SetFieldName("CityCode");
    code->SetDataSet(&people);
    auto* twice = new TIntegerField(&people);
    twice->SetFieldName("Twice");
    twice->SetFieldKind(fkCalculated);
    twice->SetDataSet(&people);
    auto* city = new TStringField(&people);
    city->SetFieldName("CityName");
    city->SetSize(30);
    city->SetFieldKind(fkLookup);
    city->SetLookupDataSet(&cities);
    city->SetKeyFields("CityCode");
    city->SetLookupKeyFields("Code");
    city->SetLookupResultField("City");
    city->SetDataSet(&people);
    people.OnCalcFields = [](TDataSet* ds) {
        ds->FieldByName("Twice")->SetAsInteger(ds->FieldByName("ID")->AsInteger() * 2);
    };
    people.Open();
    people.AppendRecord({Variant(1), Variant(20)});
    people.AppendRecord({Variant(2), Variant(99)});
    people.First();
    EXPECT_EQ(people.FieldByName("Twice")->AsInteger(), 2);
    EXPECT_EQ(people.FieldByName("CityName")->AsString(), "Maringá");
    people.Next();
    EXPECT_EQ(people.FieldByName("Twice")->AsInteger(), 4);
    EXPECT_TRUE(people.FieldByName("CityName")->IsNull());

    // A changed key recomputes while editing.
    people.Edit();
    people.FieldByName("CityCode")->SetAsInteger(10);
    EXPECT_EQ(people.FieldByName("CityName")->AsString(), "Curitiba");
    EXPECT_THROW(people.FieldByName("Twice")->SetAsInteger(5), EDatabaseError);
    people.Post();
    EXPECT_EQ(people.FieldByName("CityName")->AsString(), "Curitiba");
}

TEST(DataSetCalcFields, IncompleteLookupIsRefusedAtOpen) {
    VectorDataSet people;
    auto* id = new TIntegerField(&people);
    id->SetFieldName("ID");
    id->SetDataSet(&people);
    auto* city = new TStringField(&people);
    city->SetFieldName("CityName");
    city->SetFieldKind(fkLookup);
    city->SetDataSet(&people);
    EXPECT_THROW(people.Open(), EDatabaseError);
    EXPECT_FALSE(people.Active());
}

}  // namespace

namespace {

// Random walks of every cursor and change operation, checked after each step
// against a plain vector and position, with windows of several sizes so that
// the ring of buffers fills, scrolls and shifts in every direction.
class RandomWalk : public ::testing::TestWithParam<int> {};

TEST_P(RandomWalk, CursorAndContentsMatchASimpleModel) {
    VectorDataSet d;
    TDataSource src(nullptr);
    src.SetDataSet(&d);
    GridLink grid(GetParam());
    grid.SetDataSource(&src);
    GridLink other(1);
    d.FieldDefs()->Add("ID", ftInteger);
    d.Open();

    std::vector<int> model;
    int pos = 0;
    int nextValue = 1;
    std::mt19937 rng(12345u + static_cast<unsigned>(GetParam()));
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto n = [&] { return static_cast<int>(model.size()); };

    for (int step = 0; step < 3000; ++step) {
        int op = pick(13);
        std::string what;
        switch (op) {
            case 0: what = "first"; d.First(); pos = 0; break;
            case 1: what = "last"; d.Last(); pos = std::max(0, n() - 1); break;
            case 2: what = "next"; d.Next(); pos = std::min(pos + 1, std::max(0, n() - 1)); break;
            case 3: what = "prior"; d.Prior(); pos = std::max(pos - 1, 0); break;
            case 4: {
                int k = pick(15) - 7;
                what = "moveby " + std::to_string(k);
                d.MoveBy(k);
                pos = std::clamp(pos + k, 0, std::max(0, n() - 1));
                break;
            }
            case 5: {
                what = "insert";
                int v = nextValue++;
                d.Insert();
                d.FieldByName("ID")->SetAsInteger(v);
                d.Post();
                model.insert(model.begin() + std::min(pos, n()), v);
                break;
            }
            case 6: {
                what = "append";
                int v = nextValue++;
                d.AppendRecord({Variant(v)});
                model.push_back(v);
                pos = n() - 1;
                break;
            }
            case 7:
                what = "edit";
                if (n() > 0) {
                    int v = nextValue++;
                    d.Edit();
                    d.FieldByName("ID")->SetAsInteger(v);
                    d.Post();
                    model[static_cast<std::size_t>(pos)] = v;
                }
                break;
            case 8:
                what = "delete";
                if (n() > 0) {
                    d.Delete();
                    model.erase(model.begin() + pos);
                    pos = std::min(pos, std::max(0, n() - 1));
                }
                break;
            case 9:
                what = pick(2) ? "cancel insert" : "cancel append";
                if (what == "cancel insert")
                    d.Insert();
                else
                    d.Append();
                d.FieldByName("ID")->SetAsInteger(-1);
                d.Cancel();
                if (what == "cancel append") pos = std::max(0, n() - 1);
                break;
            case 10: {
                if (n() == 0) break;
                int target = model[static_cast<std::size_t>(pick(n()))];
                what = "locate " + std::to_string(target);
                ASSERT_TRUE(d.Locate("ID", Variant(target), {}));
                pos = static_cast<int>(std::find(model.begin(), model.end(), target) - model.begin());
                break;
            }
            case 12: {
                // A second grid opens or closes: the window changes size.
                int rows = pick(9);
                what = "window " + std::to_string(rows);
                if (rows == 0)
                    other.SetDataSource(nullptr);
                else {
                    other.SetBufferCount(rows);
                    other.SetDataSource(&src);
                }
                break;
            }
            case 11: {
                if (n() == 0) break;
                what = "bookmark";
                TBookmark b = d.GetBookmark();
                int keep = pos;
                d.MoveBy(pick(9) - 4);
                d.GotoBookmark(b);
                pos = keep;
                break;
            }
        }
        ASSERT_EQ(d.RecordCount(), n()) << "step " << step << " " << what;
        if (n() > 0) {
            ASSERT_EQ(d.FieldByName("ID")->AsInteger(), model[static_cast<std::size_t>(pos)])
                << "step " << step << " " << what;
            ASSERT_EQ(d.RecNo(), pos + 1) << "step " << step << " " << what;
            ASSERT_LE(grid.RecordCount(), GetParam());
            ASSERT_GE(grid.ActiveRecord(), 0);
            ASSERT_LT(grid.ActiveRecord(), grid.RecordCount());
            if (other.DataSource() != nullptr) {
                ASSERT_GE(other.ActiveRecord(), 0);
                ASSERT_LT(other.ActiveRecord(), other.RecordCount());
            }
            // Every row of the grid's window is the record the model has there.
            int active = grid.ActiveRecord();
            for (int i = 0; i < grid.RecordCount(); ++i) {
                grid.SetActiveRecord(i);
                int at = pos - active + i;
                ASSERT_TRUE(at >= 0 && at < n()) << "step " << step << " " << what;
                ASSERT_EQ(d.FieldByName("ID")->AsInteger(), model[static_cast<std::size_t>(at)])
                    << "step " << step << " " << what << " row " << i;
            }
            grid.SetActiveRecord(active);
        } else {
            ASSERT_TRUE(d.IsEmpty());
        }
        if (step % 100 == 99) {
            TBookmark here = d.GetBookmark();
            ASSERT_EQ(Ids(d), model) << "step " << step;
            if (!here.empty()) d.GotoBookmark(here);
        }
    }
    grid.SetDataSource(nullptr);
    other.SetDataSource(nullptr);
}

INSTANTIATE_TEST_SUITE_P(WindowSizes, RandomWalk, ::testing::Values(1, 2, 5, 11));

}  // namespace
