// The delta handler: the state each recorded change is resolved as, retries,
// linking with its table, and the table's state after a failing hook.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "memtable/mtDelta.h"
#include "memtable/mtMemTable.h"

namespace {

std::unique_ptr<TmtMemTable> MakeTable() {
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->FieldDefs()->Add("Id", ftInteger);
    t->FieldDefs()->Add("Nome", ftString, 20);
    t->Open();
    return t;
}

void Add(TDataSet* t, int id) {
    t->Append();
    t->FieldByName("Id")->SetAsInteger(id);
    t->FieldByName("Nome")->SetAsString("n" + std::to_string(id));
    t->Post();
}

bool GoTo(TDataSet* t, int id) { return t->Locate("Id", id, {}); }

class Recorder : public TmtCustomDeltaHandler {
public:
    explicit Recorder(TComponent* Owner) : TmtCustomDeltaHandler(Owner) {}
    std::vector<std::string> calls;
    int retries = 0;       // ModifyRecord asks this many times to be called again
    int failOnInsert = -1;  // InsertRecord raises for this id

protected:
    int Id() const {
        int32_t len = 0;
        TField* f = DataSet()->FieldByName("Id");
        const uint8_t* v = DataSet()->Common()->FieldValue(CurrentRecord(), f->FieldNo(), f, len);
        return v == nullptr ? -1 : memtable::ReadValue<int32_t>(v);
    }
    void Note(const char* what) { calls.push_back(std::string(what) + " " + std::to_string(Id())); }
    void BeforeRecord() override { calls.push_back("before"); }
    void AfterRecord() override { calls.push_back("after"); }
    void InsertRecord(bool&, TUpdateStatus&) override {
        if (Id() == failOnInsert) throw EMemTableError("target refused the row");
        Note("insert");
    }
    void DeleteRecord(bool&, TUpdateStatus&) override { Note("delete"); }
    void ModifyRecord(bool& Retry, TUpdateStatus&) override {
        Note("modify");
        if (retries > 0) {
            --retries;
            Retry = true;
        }
    }
    void UnmodifiedRecord(bool&, TUpdateStatus&) override { Note("unmodified"); }
};

TEST(Delta, ResolveWithoutTable) {
    Recorder h(nullptr);
    try {
        h.Resolve();
        FAIL() << "no error";
    } catch (const EMemTableError& e) {
        EXPECT_EQ(e.Message(), "Delta handler is not assigned to any memorytables.");
    }
}

TEST(Delta, EachChangeGoesToItsOperation) {
    auto t = MakeTable();
    Add(t.get(), 1);
    Add(t.get(), 2);
    Add(t.get(), 3);
    t->SetEnableVersioning(true);
    ASSERT_TRUE(GoTo(t.get(), 1));
    t->Edit();
    t->FieldByName("Nome")->SetAsString("changed");
    t->Post();
    ASSERT_TRUE(GoTo(t.get(), 2));
    t->Delete();
    Add(t.get(), 4);
    Add(t.get(), 5);
    ASSERT_TRUE(GoTo(t.get(), 5));
    t->Delete();  // inserted and deleted since versioning began: nothing to do

    Recorder h(nullptr);
    h.SetDataSet(t.get());
    h.Resolve();
    std::vector<std::string> ops;
    for (const std::string& c : h.calls)
        if (c != "before" && c != "after") ops.push_back(c);
    std::sort(ops.begin(), ops.end());
    EXPECT_EQ(ops, (std::vector<std::string>{"delete 2", "insert 4", "modify 1", "unmodified 3", "unmodified 5"}));
    EXPECT_EQ(h.calls.front(), "before");
    EXPECT_EQ(h.calls.back(), "after");
    EXPECT_EQ(h.CurrentRecord(), nullptr);
}

TEST(Delta, RetryCallsTheSameRecordAgain) {
    auto t = MakeTable();
    Add(t.get(), 1);
    t->SetEnableVersioning(true);
    t->First();
    t->Edit();
    t->FieldByName("Nome")->SetAsString("x");
    t->Post();
    Recorder h(nullptr);
    h.SetDataSet(t.get());
    h.retries = 2;
    h.Resolve();
    EXPECT_EQ(h.calls, (std::vector<std::string>{"before", "modify 1", "modify 1", "modify 1", "after"}));
}

TEST(Delta, FailingHookLeavesTheTableUnlocked) {
    auto t = MakeTable();
    t->SetEnableVersioning(true);
    Add(t.get(), 7);
    Recorder h(nullptr);
    h.SetDataSet(t.get());
    h.failOnInsert = 7;
    EXPECT_THROW(h.Resolve(), EMemTableError);
    EXPECT_TRUE(t->AttachedAutoRefresh());
    EXPECT_FALSE(t->Common()->LockedByTable());
    // Another thread can take the store.
    auto other = std::async(std::launch::async, [&] {
        t->Common()->Lock();
        t->Common()->Unlock();
    });
    EXPECT_EQ(other.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

// A hook that writes a longer text into the record it resolves moves the
// stored record to a bigger block; the record it reads next is that one.
class Lengthener : public Recorder {
public:
    using Recorder::Recorder;

protected:
    void ModifyRecord(bool& Retry, TUpdateStatus& State) override {
        ASSERT_TRUE(GoTo(DataSet(), Id()));
        DataSet()->Edit();
        DataSet()->FieldByName("Nome")->SetAsString(std::string(20, 'L'));
        DataSet()->Post();
        Recorder::ModifyRecord(Retry, State);
    }
};

TEST(Delta, AHookThatLengthensTheRecordReadsItWhereItMoved) {
    auto t = MakeTable();
    Add(t.get(), 1);
    Add(t.get(), 2);
    t->SetEnableVersioning(true);
    ASSERT_TRUE(GoTo(t.get(), 2));
    t->Edit();
    t->FieldByName("Nome")->SetAsString("y");
    t->Post();
    Lengthener h(nullptr);
    h.SetDataSet(t.get());
    h.Resolve();
    EXPECT_EQ(h.calls, (std::vector<std::string>{"before", "unmodified 1", "after", "before", "modify 2", "after"}));
    ASSERT_TRUE(GoTo(t.get(), 2));
    EXPECT_EQ(t->FieldByName("Nome")->AsString(), std::string(20, 'L'));
}

TEST(Delta, LinkingFollowsBothSides) {
    auto t = MakeTable();
    auto first = std::make_unique<Recorder>(nullptr);
    first->SetDataSet(t.get());
    EXPECT_EQ(t->DeltaHandler(), first.get());
    Recorder second(nullptr);
    second.SetDataSet(t.get());
    EXPECT_EQ(t->DeltaHandler(), &second);
    EXPECT_EQ(first->DataSet(), nullptr);
    // A handler that goes away leaves no reference behind.
    first->SetDataSet(t.get());
    first.reset();
    EXPECT_EQ(t->DeltaHandler(), nullptr);
    second.SetDataSet(t.get());
    t.reset();
    EXPECT_EQ(second.DataSet(), nullptr);
}

}  // namespace
