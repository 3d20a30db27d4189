// The record store: layout, record ids and serials, settings.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "platform/rtl/TypInfo.h"
#include "tests/memtable/MemTableTestSupport.h"

using namespace mttest;

TEST(Store, LocaleIdSplitsIntoLanguageSubLanguageAndSort) {
    TmtMemTable t(nullptr);
    EXPECT_EQ(t.LocaleID(), 1024);
    EXPECT_EQ(t.LanguageID(), 0);
    EXPECT_EQ(t.SubLanguageID(), 1);
    EXPECT_EQ(t.SortID(), 0);
    t.SetLocaleID(0x10416);  // pt-BR with sort 1
    EXPECT_EQ(t.LanguageID(), 0x16);
    EXPECT_EQ(t.SubLanguageID(), 1);
    EXPECT_EQ(t.SortID(), 1);
    t.SetSortID(0);
    EXPECT_EQ(t.LocaleID(), 0x0416);
}

TEST(Store, LongStringsLiveApartOnlyOutsideFastMode) {
    struct Case {
        TmtPerformance perf;
        bool indirect13;
        bool compressed13;
    };
    for (Case c : {Case{mtpfFast, false, false}, Case{mtpfBalanced, true, false}, Case{mtpfSmall, true, true}}) {
        auto t = std::make_unique<TmtMemTable>(nullptr);
        t->FieldDefs()->Add("S12", ftString, 12);
        t->FieldDefs()->Add("S13", ftString, 13);
        t->FieldDefs()->Add("M", ftMemo);
        t->SetPerformance(c.perf);
        t->Open();
        TmtCommon* s = t->Common();
        EXPECT_EQ(s->FieldFlags(1) & memtable::kFlagIndirect, 0) << c.perf;
        EXPECT_EQ((s->FieldFlags(2) & memtable::kFlagIndirect) != 0, c.indirect13) << c.perf;
        EXPECT_EQ((s->FieldFlags(2) & memtable::kFlagCompressed) != 0, c.compressed13) << c.perf;
        EXPECT_NE(s->FieldFlags(3) & memtable::kFlagIndirect, 0) << "a blob always lives apart";
        // The values read back alike whatever the layout.
        t->Append();
        t->FieldByName("S12")->SetAsString("doze letras!");
        t->FieldByName("S13")->SetAsString("treze letras!");
        t->FieldByName("M")->SetAsString("memo");
        t->Post();
        t->First();
        EXPECT_EQ(t->FieldByName("S12")->AsString(), "doze letras!");
        EXPECT_EQ(t->FieldByName("S13")->AsString(), "treze letras!");
        EXPECT_EQ(t->FieldByName("M")->AsString(), "memo");
    }
}

TEST(Store, FreedSlotIsReusedWithTheNextSerial) {
    auto t = MakeItems();
    t->Open();
    AddItem(t.get(), 1, "a", 1);
    TmtCommon* s = t->Common();
    PmtRecord first = s->Record(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->UniqueRecordID, 0);
    t->Delete();
    EXPECT_EQ(s->Record(0), nullptr);
    AddItem(t.get(), 2, "b", 2);
    PmtRecord again = s->Record(0);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->RecordID, 0);
    EXPECT_EQ(again->UniqueRecordID, 1);
    EXPECT_EQ(s->RecordCount(), 1);
}

TEST(Store, ClearChangesTheTableIdentity) {
    auto t = MakeItems();
    t->Open();
    AddItem(t.get(), 1, "a", 1);
    TBookmark mark = t->GetBookmark();
    int32_t before = t->Common()->TableID();
    t->EmptyTable();
    EXPECT_NE(t->Common()->TableID(), before);
    EXPECT_GE(t->Common()->TableID(), 0);
    EXPECT_LE(t->Common()->TableID(), 1073741824);
    AddItem(t.get(), 1, "a", 1);
    EXPECT_FALSE(t->BookmarkValid(mark));
}

TEST(Store, AttachCountRules) {
    auto t = MakeItems();
    EXPECT_THROW(t->SetAttachMaxCount(0), ERangeError);
    t->SetAttachMaxCount(3);
    EXPECT_EQ(t->AttachMaxCount(), 3);
    t->Open();
    try {
        t->SetAttachMaxCount(4);
        FAIL();
    } catch (const EMemTableError& e) {
        EXPECT_EQ(e.Message(), "Table must be closed for this operation.");
    }
}

TEST(Store, StandaloneOnlyWithoutAttachments) {
    auto a = MakeItems();
    a->SetStandalone(true);
    EXPECT_TRUE(a->Standalone());
    a->SetStandalone(false);
    auto b = std::make_unique<TmtMemTable>(nullptr);
    b->SetAttachedTo(a.get());
    try {
        a->SetStandalone(true);
        FAIL();
    } catch (const EMemTableError& e) {
        EXPECT_EQ(e.Message(), "Children are attached to this table.");
    }
    try {
        b->SetStandalone(true);
        FAIL();
    } catch (const EMemTableError& e) {
        EXPECT_EQ(e.Message(), "Table is attached to another table.");
    }
}

TEST(Store, StandaloneAndBackLeavesTheStoreFreeForOtherThreads) {
    auto t = MakeItems();
    t->SetStandalone(true);
    t->SetStandalone(false);
    t->Open();
    AddItem(t.get(), 1, "a", 1);
    // A thread of its own, left behind rather than waited for if it hangs.
    auto taken = std::make_shared<std::promise<void>>();
    std::future<void> done = taken->get_future();
    TmtCommon* store = t->Common();
    std::thread([store, taken] {
        store->Lock();
        store->Unlock();
        taken->set_value();
    }).detach();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready)
        << "the store's lock stayed with the thread that switched the mode";
}

TEST(Store, UnsupportedFieldTypeNamesTheDefinition) {
    TmtMemTable t(nullptr);
    t.FieldDefs()->Add("Cur", ftCursor);
    try {
        t.Open();
        FAIL();
    } catch (const EMemTableError& e) {
        EXPECT_EQ(e.Message(), "Fielddef Cur (Cur) Datatype 22 not supported.");
    }
}

TEST(Published, TheTableIsCreatedAndReachedByName) {
    TClass cls = GetClass("TmtMemTable");
    ASSERT_NE(cls, nullptr);
    std::unique_ptr<TObject> obj(CreateInstance(cls, nullptr));
    auto* t = dynamic_cast<TmtMemTable*>(obj.get());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(GetEnumProp(t, "Performance"), "mtpfFast");
    SetEnumProp(t, "Performance", "mtpfBalanced");
    EXPECT_EQ(t->Performance(), mtpfBalanced);
    SetStrProp(t, "IndexFieldNames", "Name");
    EXPECT_EQ(t->IndexFieldNames(), "Name");
    EXPECT_EQ(GetOrdProp(t, "LoadLimit"), -1);
    EXPECT_EQ(GetOrdProp(t, "LocaleID"), 1024);
    EXPECT_EQ(SetToString(GetPropInfo(t, "ProgressFlags")->PropType, GetOrdProp(t, "ProgressFlags")),
              "[mtpcLoad,mtpcSave,mtpcCopy]");
    EXPECT_TRUE(IsPublishedProp(t, "Filtered"));
}
