// Record versions, nested transactions and tables attached to one store.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "tests/memtable/MemTableTestSupport.h"

using namespace mttest;

namespace {

int VersionCount(TmtMemTable* t, int id) {
    PmtRecord r = nullptr;
    for (int i = 0; i < t->Common()->RecordCount(); ++i) {
        PmtRecord s = t->Common()->Record(i);
        if (s == nullptr) continue;
        t->Locate("Id", id, {});
        PmtRecord a = t->GetActiveRecord();
        if (a != nullptr && s->RecordID == a->RecordID) r = s;
    }
    int n = 0;
    for (PmtRecord v = r == nullptr ? nullptr : r->PrevRecordVersion; v != nullptr; v = v->PrevRecordVersion) ++n;
    return n;
}

void EditAmount(TDataSet* t, int id, double amount) {
    ASSERT_TRUE(t->Locate("Id", id, {}));
    t->Edit();
    t->FieldByName("Amount")->SetAsFloat(amount);
    t->Post();
}

std::unique_ptr<TmtMemTable> VersionedItems(TmtVersioningMode mode) {
    auto t = MakeItems();
    t->SetEnableVersioning(true);
    t->SetVersioningMode(mode);
    return t;
}

}  // namespace

TEST(Versions, OneSinceCheckpointKeepsOneAllKeepsEvery) {
    for (auto [mode, expected] : {std::pair{mtvm1SinceCheckPoint, 1}, std::pair{mtvmAllSinceCheckPoint, 2}}) {
        auto t = VersionedItems(mode);
        t->Open();
        AddItem(t.get(), 1, "a", 1);
        EditAmount(t.get(), 1, 2);
        EditAmount(t.get(), 1, 3);
        EXPECT_EQ(VersionCount(t.get(), 1), expected) << mode;
        EXPECT_EQ(t->UpdateStatus(), usModified);
    }
}

TEST(Versions, DeletedRecordIsHiddenAndItsBookmarkStale) {
    auto t = VersionedItems(mtvm1SinceCheckPoint);
    t->Open();
    AddItem(t.get(), 1, "a", 1);
    AddItem(t.get(), 2, "b", 2);
    TBookmark mark = t->GetBookmark();
    t->Delete();
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{1}));
    EXPECT_EQ(t->RecordCount(), 1);
    EXPECT_FALSE(t->BookmarkValid(mark));
    EXPECT_EQ(t->Common()->DeletedCount(), 1);
}

TEST(Transactions, NeedMultiVersionVersioning) {
    auto t = MakeItems();
    t->Open();
    try {
        t->StartTransaction();
        FAIL();
    } catch (const EMemTableError& e) {
        EXPECT_EQ(e.Message(), "Transactioning requires multiversion versioning.");
    }
}

TEST(Transactions, RollbackRestoresTheStateAtStart) {
    auto t = VersionedItems(mtvmAllSinceCheckPoint);
    t->Open();
    AddItem(t.get(), 1, "a", 1);
    AddItem(t.get(), 2, "b", 2);
    AddItem(t.get(), 3, "c", 3);
    t->StartTransaction();
    AddItem(t.get(), 4, "d", 4);
    EditAmount(t.get(), 4, 40);  // inserted then modified
    EditAmount(t.get(), 1, 10);
    ASSERT_TRUE(t->Locate("Id", 2, {}));
    t->Delete();
    t->SetRecNo(1);
    t->Insert();
    t->FieldByName("Id")->SetAsInteger(5);
    t->Post();
    t->Rollback();
    EXPECT_EQ(t->TransactionLevel(), 0);
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(t->Locate("Id", 1, {}));
    EXPECT_EQ(t->FieldByName("Amount")->AsFloat(), 1);
    // The slots of the rolled-back inserts are free again.
    int used = 0;
    for (int i = 0; i < t->Common()->RecordCount(); ++i) used += t->Common()->Record(i) != nullptr;
    EXPECT_EQ(used, 3);
}

TEST(Transactions, CommittingAnInnerLevelKeepsWhatTheOuterRollbackNeeds) {
    auto t = VersionedItems(mtvmAllSinceCheckPoint);
    t->Open();
    AddItem(t.get(), 1, "a", 1);
    t->StartTransaction();
    EditAmount(t.get(), 1, 2);
    t->StartTransaction();
    EditAmount(t.get(), 1, 3);
    AddItem(t.get(), 2, "b", 2);
    t->Commit();
    EXPECT_EQ(t->TransactionLevel(), 1);
    ASSERT_TRUE(t->Locate("Id", 1, {}));
    EXPECT_EQ(t->FieldByName("Amount")->AsFloat(), 3);
    t->Rollback();
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{1}));
    ASSERT_TRUE(t->Locate("Id", 1, {}));
    EXPECT_EQ(t->FieldByName("Amount")->AsFloat(), 1);
}

TEST(Transactions, APostThatChangesNothingDoesNotJoinTheLevel) {
    auto t = VersionedItems(mtvmAllSinceCheckPoint);
    t->Open();
    AddItem(t.get(), 1, "a", 1);
    t->StartTransaction();
    EditAmount(t.get(), 1, 2);
    t->Commit();  // 2 is committed
    t->StartTransaction();
    ASSERT_TRUE(t->Locate("Id", 1, {}));
    t->Edit();
    t->Post();  // nothing changed
    t->Rollback();
    ASSERT_TRUE(t->Locate("Id", 1, {}));
    EXPECT_EQ(t->FieldByName("Amount")->AsFloat(), 2);
}

TEST(Transactions, RandomNestedLevelsAgainstSnapshots) {
    auto t = VersionedItems(mtvmAllSinceCheckPoint);
    t->Open();
    std::mt19937 rng(77);
    struct Row {
        int id;
        double amount;
    };
    std::vector<Row> rows;
    std::vector<std::vector<Row>> snapshots;
    int next = 1;
    auto check = [&] {
        t->First();
        for (const Row& r : rows) {
            ASSERT_FALSE(t->Eof());
            ASSERT_EQ(t->FieldByName("Id")->AsInteger(), r.id);
            ASSERT_EQ(t->FieldByName("Amount")->AsFloat(), r.amount);
            t->Next();
        }
        ASSERT_TRUE(t->Eof());
    };
    for (int step = 0; step < 3000; ++step) {
        int op = std::uniform_int_distribution<int>(0, 99)(rng);
        int n = static_cast<int>(rows.size());
        auto pick = [&] { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
        if (op < 8 && snapshots.size() < 4) {
            t->StartTransaction();
            snapshots.push_back(rows);
        } else if (op < 14 && !snapshots.empty()) {
            t->Commit();
            snapshots.pop_back();
        } else if (op < 20 && !snapshots.empty()) {
            t->Rollback();
            rows = snapshots.back();
            snapshots.pop_back();
        } else if (op < 45 || n < 3) {
            Row r{next++, static_cast<double>(step)};
            AddItem(t.get(), r.id, "x", r.amount);
            rows.push_back(r);
        } else if (op < 60) {
            int p = pick();
            t->SetRecNo(p + 1);
            Row r{next++, static_cast<double>(step)};
            t->Insert();
            t->FieldByName("Id")->SetAsInteger(r.id);
            t->FieldByName("Amount")->SetAsFloat(r.amount);
            t->Post();
            rows.insert(rows.begin() + p, r);
        } else if (op < 75) {
            int p = pick();
            t->SetRecNo(p + 1);
            t->Delete();
            rows.erase(rows.begin() + p);
        } else if (op < 90) {
            int p = pick();
            t->SetRecNo(p + 1);
            t->Edit();
            t->FieldByName("Amount")->SetAsFloat(-step);
            t->Post();
            rows[static_cast<std::size_t>(p)].amount = -step;
        } else {
            int p = pick();
            t->SetRecNo(p + 1);
            t->Edit();
            t->Post();  // no change
        }
        if (step % 50 == 0 || op < 20) {
            check();
            if (::testing::Test::HasFatalFailure()) {
                ADD_FAILURE() << "step " << step << " level " << snapshots.size();
                return;
            }
        }
    }
    while (!snapshots.empty()) {
        t->Rollback();
        rows = snapshots.back();
        snapshots.pop_back();
    }
    check();
}

// ---------------------------------------------------------------------------
// Attached tables

TEST(Attached, TablesSeeEachOthersChanges) {
    auto owner = MakeItems();
    auto view = std::make_unique<TmtMemTable>(nullptr);
    view->SetAttachedTo(owner.get());
    owner->Open();
    view->Open();
    AddItem(owner.get(), 1, "a", 1);
    AddItem(owner.get(), 2, "b", 2);
    EXPECT_EQ(Ids(view.get()), (std::vector<int>{1, 2}));
    AddItem(view.get(), 3, "c", 3);
    EditAmount(view.get(), 1, 100);
    EXPECT_EQ(Ids(owner.get()), (std::vector<int>{1, 2, 3}));
    ASSERT_TRUE(owner->Locate("Id", 1, {}));
    EXPECT_EQ(owner->FieldByName("Amount")->AsFloat(), 100);
    // Each has its own cursor and order.
    view->SetIndexFieldNames("Amount:D");
    EXPECT_EQ(Ids(view.get()), (std::vector<int>{1, 3, 2}));
    EXPECT_EQ(Ids(owner.get()), (std::vector<int>{1, 2, 3}));
    ASSERT_TRUE(owner->Locate("Id", 2, {}));
    owner->Delete();
    EXPECT_EQ(Ids(view.get()), (std::vector<int>{1, 3}));
    // The other table's cursor follows.
    ASSERT_TRUE(owner->Locate("Id", 3, {}));
    view->SyncCursorWith(owner.get());
    EXPECT_EQ(view->FieldByName("Id")->AsInteger(), 3);
}

TEST(Attached, ClosingTheOwnerClosesTheOthersClosingAnAttachedOneKeepsRecords) {
    auto owner = MakeItems();
    auto view = std::make_unique<TmtMemTable>(nullptr);
    view->SetAttachedTo(owner.get());
    view->Open();  // opens the owner first
    EXPECT_TRUE(owner->Active());
    AddItem(view.get(), 1, "a", 1);
    view->Close();
    EXPECT_EQ(owner->RecordCount(), 1);
    view->Open();
    EXPECT_EQ(Ids(view.get()), (std::vector<int>{1}));
    owner->Close();
    EXPECT_FALSE(view->Active());
    owner->Open();
    EXPECT_EQ(owner->RecordCount(), 0);
}

TEST(Attached, AttachRules) {
    auto a = MakeItems();
    auto b = std::make_unique<TmtMemTable>(nullptr);
    auto c = std::make_unique<TmtMemTable>(nullptr);
    try {
        a->SetAttachedTo(a.get());
        FAIL();
    } catch (const EMemTableError& e) {
        EXPECT_EQ(e.Message(), "Cant attach memorytable to it self.");
    }
    b->SetAttachedTo(a.get());
    try {
        c->SetAttachedTo(b.get());
        FAIL();
    } catch (const EMemTableError& e) {
        EXPECT_EQ(e.Message(), "Cant attach to another table which itself is an attachment.");
    }
    b->SetAttachedTo(nullptr);
    b->FieldDefs()->Add("X", ftInteger);
    b->Open();
    EXPECT_EQ(b->RecordCount(), 0);
}

TEST(Attached, DestroyingTheOwnerLeavesTheOthersUsable) {
    auto owner = MakeItems();
    auto view = std::make_unique<TmtMemTable>(nullptr);
    view->SetAttachedTo(owner.get());
    owner->Open();
    view->Open();
    AddItem(owner.get(), 1, "a", 1);
    owner.reset();
    EXPECT_FALSE(view->Active());
    EXPECT_EQ(view->AttachedTo(), nullptr);
    view->Open();  // its own store now, with the copied definitions
    AddItem(view.get(), 7, "z", 0);
    EXPECT_EQ(Ids(view.get()), (std::vector<int>{7}));
}

TEST(Attached, EditOfARecordAnotherTableDeletedFailsCleanly) {
    auto owner = MakeItems();
    auto view = std::make_unique<TmtMemTable>(nullptr);
    view->SetAttachedTo(owner.get());
    owner->Open();
    view->Open();
    AddItem(owner.get(), 1, "a", 1);
    AddItem(owner.get(), 2, "b", 2);
    ASSERT_TRUE(view->Locate("Id", 2, {}));
    view->Edit();
    view->FieldByName("Name")->SetAsString("changed");
    ASSERT_TRUE(owner->Locate("Id", 2, {}));
    owner->Delete();
    AddItem(owner.get(), 3, "c", 3);  // takes the freed slot
    EXPECT_THROW(view->Post(), EDatabaseError);
    view->Cancel();
    EXPECT_EQ(Ids(owner.get()), (std::vector<int>{1, 3}));
    ASSERT_TRUE(owner->Locate("Id", 3, {}));
    EXPECT_EQ(owner->FieldByName("Name")->AsString(), "c") << "the record in the reused slot is untouched";
}

// Indexes switched off while another index is current leave the row order
// behind; a rollback, a commit or a return to the row order reloads it from
// the store, where rows placed in slots an earlier rollback freed lie in the
// order the slots are reused (last freed first). A second table attached to
// the store, open or closed, through which nothing is done, changes none of
// these answers.
TEST(Attached, AnIdleAttachedTableChangesNoReloadedRowOrder) {
    enum class Second { None, Open, Closed };
    enum class Then { Rollback, Commit, BackToRowOrder };
    for (Then then : {Then::Rollback, Then::Commit, Then::BackToRowOrder}) {
        for (Second second : {Second::None, Second::Open, Second::Closed}) {
            auto t = VersionedItems(mtvmAllSinceCheckPoint);
            std::unique_ptr<TmtMemTable> idle;
            if (second != Second::None) {
                idle = std::make_unique<TmtMemTable>(nullptr);
                idle->SetAttachedTo(t.get());
            }
            t->Open();
            if (second == Second::Open) idle->Open();
            t->SetEnableIndexes(false);
            t->SetIndexFieldNames("Name");
            // Slots 0, 1 and 2 are taken, then freed by the rollback.
            t->StartTransaction();
            for (int id : {1, 2, 3}) AddItem(t.get(), id, "n" + std::to_string(id), id);
            t->Rollback();
            // Reused last freed first: 10 takes slot 2, 11 slot 1, 12 slot 0.
            std::vector<int> freed = {0, 1, 2};
            std::map<int, int> idOfSlot;
            for (int id : {10, 11, 12}) {
                AddItem(t.get(), id, "n" + std::to_string(id), id);
                idOfSlot[freed.back()] = id;
                freed.pop_back();
            }
            std::vector<int> slotOrder;
            for (const auto& [slot, id] : idOfSlot) slotOrder.push_back(id);
            ASSERT_EQ(slotOrder, (std::vector<int>{12, 11, 10}));
            if (then != Then::BackToRowOrder) {
                t->StartTransaction();
                AddItem(t.get(), 20, "n20", 20);
                if (then == Then::Rollback) {
                    t->Rollback();
                } else {
                    t->Commit();
                    slotOrder.push_back(20);  // the next fresh slot
                }
            }
            t->SetIndexFieldNames("");
            EXPECT_EQ(Ids(t.get()), slotOrder) << "then " << static_cast<int>(then) << ", second table "
                                               << static_cast<int>(second);
        }
    }
}

// A detail table linked by K, an index on K present and another index (on V)
// current, or the link's index, or a sort: the details are walked once, then
// a transaction is committed with nothing changed, then one with a delete.
// The commit rebuilds the indexes, which moves records of equal keys, and
// the detail set must still show the master's records alone.
TEST(Transactions, ACommitWithALinkOpenKeepsTheDetailSet) {
    for (const char* current : {"ByV", "ByK", "sort"}) {
        SCOPED_TRACE(current);
        TmtMemTable master(nullptr);
        master.FieldDefs()->Add("Id", ftInteger);
        master.Open();
        for (int m = 0; m < 2; ++m) {
            master.Append();
            master.FieldByName("Id")->SetAsInteger(m);
            master.Post();
        }
        master.Last();  // key 1
        TmtMemTable details(nullptr);
        details.FieldDefs()->Add("Id", ftInteger);
        details.FieldDefs()->Add("K", ftInteger);
        details.FieldDefs()->Add("V", ftInteger);
        details.SetEnableVersioning(true);
        details.SetVersioningMode(mtvmAllSinceCheckPoint);
        details.IndexDefs()->Add("ByK", "K", {});
        details.IndexDefs()->Add("ByV", "V", {});
        details.Open();
        for (int id = 1; id <= 10; ++id) {
            details.Append();
            details.FieldByName("Id")->SetAsInteger(id);
            details.FieldByName("K")->SetAsInteger(id % 2 == 0 ? 1 : 0);
            details.FieldByName("V")->SetAsInteger((id * 7) % 3);
            details.Post();
        }
        // Equal keys out of slot order: edits put them after their equals.
        for (int id : {6, 1, 10, 4}) {
            ASSERT_TRUE(details.Locate("Id", id, {}));
            details.Edit();
            details.FieldByName("V")->SetAsInteger(details.FieldByName("V")->AsInteger());
            details.FieldByName("Id")->SetAsInteger(id);
            details.Post();
        }
        if (std::string(current) == "sort")
            details.SortOn("V", {});
        else
            details.SetIndexName(current);
        TDataSource source(nullptr);
        source.SetDataSet(&master);
        details.SetDetailFields("K");
        details.SetMasterFields("Id");
        details.SetMasterSource(&source);
        auto shown = [&] {
            std::vector<int> ids = Ids(&details);
            std::sort(ids.begin(), ids.end());
            return ids;
        };
        ASSERT_EQ(shown(), (std::vector<int>{2, 4, 6, 8, 10}));
        details.StartTransaction();
        details.Commit();
        EXPECT_EQ(details.RecordCount(), 5);
        EXPECT_EQ(shown(), (std::vector<int>{2, 4, 6, 8, 10}));
        details.StartTransaction();
        ASSERT_TRUE(details.Locate("Id", 4, {}));
        details.Delete();
        details.Commit();
        EXPECT_EQ(details.RecordCount(), 4);
        EXPECT_EQ(shown(), (std::vector<int>{2, 6, 8, 10}));
        details.Indexes()->ReBuildAll();
        EXPECT_EQ(shown(), (std::vector<int>{2, 6, 8, 10}));
        master.First();
        EXPECT_EQ(shown(), (std::vector<int>{1, 3, 5, 7, 9}));
    }
}
