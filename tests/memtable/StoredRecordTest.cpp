// Stored records hold each text in its real length: a post that makes a
// text longer than its record's block moves the record, and everything that
// reaches records by id (indexes, bookmarks, versions, tables sharing the
// store) must follow it.
#include <gtest/gtest.h>

#include <random>

#include "platform/rtl/Strings.h"
#include "tests/memtable/MemTableTestSupport.h"

using namespace mttest;

namespace {

std::string Text(int length, char c) { return std::string(static_cast<std::size_t>(length), c); }

void SetName(TDataSet* t, int id, const std::string& name) {
    ASSERT_TRUE(t->Locate("Id", id, {}));
    t->Edit();
    t->FieldByName("Name")->SetAsString(name);
    t->Post();
}

}  // namespace

TEST(StoredRecords, TextsGrowAndShrinkUnderIndexesBookmarksAndAnAttachedTable) {
    for (TmtPerformance perf : {mtpfFast, mtpfBalanced, mtpfSmall}) {
        auto t = MakeItems(perf);
        t->IndexDefs()->Add("ByName", "Name", {});
        t->SetAttachMaxCount(2);
        t->Open();
        TmtMemTable view(nullptr);
        view.SetAttachedTo(t.get());
        view.Open();
        for (int i = 1; i <= 30; ++i) AddItem(t.get(), i, "n" + std::to_string(i), i);
        ASSERT_TRUE(t->Locate("Id", 7, {}));
        const TBookmark mark = t->GetBookmark();
        std::mt19937 rng(static_cast<unsigned>(perf));
        std::vector<std::string> expected(31);
        for (int i = 1; i <= 30; ++i) expected[static_cast<std::size_t>(i)] = "n" + std::to_string(i);
        for (int step = 0; step < 300; ++step) {
            const int id = 1 + static_cast<int>(rng() % 30);
            // Up to the field's 20 characters, some of them two bytes long.
            std::string name = Text(static_cast<int>(rng() % 18), static_cast<char>('a' + step % 26));
            if (step % 3 == 0) name += "ção";
            SetName(t.get(), id, name);
            if (HasFatalFailure()) return;
            expected[static_cast<std::size_t>(id)] = name;
        }
        for (int i = 1; i <= 30; ++i) {
            ASSERT_TRUE(t->Locate("Id", i, {}));
            EXPECT_EQ(t->FieldByName("Name")->AsString(), expected[static_cast<std::size_t>(i)]) << perf;
            ASSERT_TRUE(view.Locate("Id", i, {}));
            EXPECT_EQ(view.FieldByName("Name")->AsString(), expected[static_cast<std::size_t>(i)]) << perf;
        }
        // The index follows the names, the bookmark its record.
        t->SetIndexName("ByName");
        std::string prev;
        int n = 0;
        for (t->First(); !t->Eof(); t->Next(), ++n) {
            const std::string name = t->FieldByName("Name")->AsString();
            if (n > 0) {
                EXPECT_LE(AnsiCompareStr(prev, name), 0) << prev << " / " << name;
            }
            prev = name;
        }
        EXPECT_EQ(n, 30);
        ASSERT_TRUE(t->BookmarkValid(mark));
        t->GotoBookmark(mark);
        EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 7);
        EXPECT_EQ(t->FieldByName("Name")->AsString(), expected[7]);
        ASSERT_TRUE(t->Locate("Name", expected[7], {}));
    }
}

TEST(StoredRecords, OlderVersionsKeepTheirTextsWhenTheRecordMoves) {
    auto t = MakeItems();
    t->SetEnableVersioning(true);
    t->SetVersioningMode(mtvmAllSinceCheckPoint);
    t->Open();
    AddItem(t.get(), 1, "a", 1);
    AddItem(t.get(), 2, "b", 2);
    t->StartTransaction();
    SetName(t.get(), 1, Text(20, 'x'));  // longer: the stored record moves
    SetName(t.get(), 1, "é");            // shorter again
    ASSERT_TRUE(t->Locate("Id", 1, {}));
    EXPECT_EQ(t->FieldByName("Name")->OldValue(), Variant("a"));
    EXPECT_EQ(t->FieldByName("Name")->AsString(), "é");
    t->Rollback();
    ASSERT_TRUE(t->Locate("Id", 1, {}));
    EXPECT_EQ(t->FieldByName("Name")->AsString(), "a");
    EXPECT_EQ(Names(t.get()), (std::vector<std::string>{"a", "b"}));
    t->StartTransaction();
    SetName(t.get(), 2, Text(19, 'y') + "ç");
    t->Commit();
    ASSERT_TRUE(t->Locate("Id", 2, {}));
    EXPECT_EQ(t->FieldByName("Name")->AsString(), Text(19, 'y') + "ç");
}

TEST(StoredRecords, NullAndEmptyTextsStayApart) {
    auto t = MakeItems();
    t->Open();
    AddItem(t.get(), 1, "", 1);
    t->Append();
    t->FieldByName("Id")->SetAsInteger(2);
    t->Post();
    AddItem(t.get(), 3, "c", 3);
    ASSERT_TRUE(t->Locate("Id", 1, {}));
    EXPECT_FALSE(t->FieldByName("Name")->IsNull());
    EXPECT_EQ(t->FieldByName("Name")->AsString(), "");
    ASSERT_TRUE(t->Locate("Id", 2, {}));
    EXPECT_TRUE(t->FieldByName("Name")->IsNull());
    ASSERT_TRUE(t->Locate("Id", 3, {}));
    EXPECT_EQ(t->FieldByName("Name")->AsString(), "c");
    EXPECT_TRUE(t->Locate("Name", Null(), {}));
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 2) << "a null is found, an empty text is not a null";
    // The null between two texts grows and the text after it keeps its value.
    SetName(t.get(), 2, Text(20, 'z'));
    ASSERT_TRUE(t->Locate("Id", 3, {}));
    EXPECT_EQ(t->FieldByName("Name")->AsString(), "c");
    EXPECT_FALSE(t->Locate("Name", Null(), {}));
}

TEST(StoredRecords, AFilterHandlerWritingATextOfTheRecordUnderTestDoesNotLoseIt) {
    // A handler may write a field of the record it is deciding about; with a
    // longer text the stored record moves while it is being tested.
    auto t = MakeItems();
    t->Open();
    for (int i = 1; i <= 3; ++i) AddItem(t.get(), i, "x", i);
    t->SetOnFilterRecord([](TDataSet* ds, bool& accept) {
        if (ds->FieldByName("Name")->AsString() == "x") ds->FieldByName("Name")->SetAsString(Text(20, 'w'));
        accept = ds->FieldByName("Name")->AsString() == Text(20, 'w');
    });
    t->SetFiltered(true);
    EXPECT_EQ(t->RecordCount(), 3);
    t->SetFiltered(false);
    EXPECT_EQ(Names(t.get()), (std::vector<std::string>(3, Text(20, 'w'))));
}
