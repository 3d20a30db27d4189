// Field lists, comparison, sorting, searching and index maintenance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>

#include "platform/rtl/Strings.h"
#include "tests/memtable/MemTableTestSupport.h"

using namespace mttest;

TEST(FieldList, OptionLettersAfterTheColon) {
    auto t = MakeItems();
    t->Open();
    TmtFieldList list;
    memtable::BuildIndexFieldList(t.get(), t.get(), list, "Name:dc;Id;Amount:X");
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Fields(0)->FieldName(), "Name");
    EXPECT_EQ(list.Options(0), (TmtifoOptions{mtifoDescending, mtifoCaseInsensitive}));
    EXPECT_EQ(list.Fields(1)->FieldName(), "Id");
    EXPECT_TRUE(list.Options(1).Empty());
    EXPECT_TRUE(list.Options(2).Empty()) << "an unknown letter sets nothing";
    memtable::BuildIndexFieldList(t.get(), t.get(), list, "Id:NPL");
    EXPECT_EQ(list.Options(0), (TmtifoOptions{mtifoIgnoreNull, mtifoPartial, mtifoIgnoreLocale}));
    EXPECT_THROW(memtable::BuildIndexFieldList(t.get(), t.get(), list, "Missing"), EDatabaseError);
}

TEST(FieldList, BlobsCannotBeIndexed) {
    auto t = MakeItems();
    t->FieldDefs()->Add("Notes", ftMemo);
    t->Open();
    try {
        t->AddIndex("ByNotes", "Notes", {});
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Can't index on field Notes");
    }
    EXPECT_EQ(t->IndexDefs()->IndexOf("ByNotes"), -1) << "a failed index leaves no definition";
}

TEST(Compare, PartialStringKeysAndFullCompareFlag) {
    bool full = true;
    const char* ab = "AB";
    const char* abc = "ABC";
    auto u = [](const char* s) { return reinterpret_cast<const uint8_t*>(s); };
    EXPECT_EQ(memtable::CompareFields(u(ab), u(abc), ftString, {mtifoPartial}, full, 1024), 0);
    EXPECT_FALSE(full);
    EXPECT_LT(memtable::CompareFields(u(ab), u(abc), ftString, {}, full, 1024), 0);
    EXPECT_TRUE(full);
    EXPECT_GT(memtable::CompareFields(u(abc), u(ab), ftString, {mtifoPartial}, full, 1024), 0);
    // The pt-BR collation: accents after the plain letter, before the next one.
    const char* a1 = "ação";
    const char* a2 = "acao";
    const char* b = "b";
    EXPECT_GT(memtable::CompareFields(u(a1), u(a2), ftString, {}, full, 1024), 0);
    EXPECT_LT(memtable::CompareFields(u(a1), u(b), ftString, {}, full, 1024), 0);
    EXPECT_GT(memtable::CompareFields(u(a1), u(b), ftString, {mtifoDescending}, full, 1024), 0);
    const char* upper = "AÇÃO";
    EXPECT_EQ(memtable::CompareFields(u(upper), u(a1), ftString, {mtifoCaseInsensitive}, full, 1024), 0);
    EXPECT_NE(memtable::CompareFields(u(upper), u(a1), ftString, {}, full, 1024), 0);
}

TEST(Sort, EqualKeysKeepSlotOrderAndDescendingReversesIt) {
    auto t = MakeItems();
    t->Open();
    AddItem(t.get(), 1, "b", 0);
    AddItem(t.get(), 2, "a", 0);
    AddItem(t.get(), 3, "b", 0);
    AddItem(t.get(), 4, "a", 0);
    t->AddIndex("ByName", "Name", {});
    t->SetIndexName("ByName");
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{2, 4, 1, 3}));
    t->AddIndex("ByNameDesc", "Name", {ixDescending});
    t->SetIndexName("ByNameDesc");
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{3, 1, 4, 2}));
    // A record posted into an ordered index goes before its equals.
    t->SetIndexName("ByName");
    AddItem(t.get(), 5, "a", 0);
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{5, 2, 4, 1, 3}));
    EXPECT_EQ(t->IndexName(), "ByName");
    EXPECT_EQ(t->IndexFieldNames(), "Name");
    EXPECT_TRUE(t->GetIsIndexField(t->FieldByName("Name")));
    EXPECT_FALSE(t->GetIsIndexField(t->FieldByName("Id")));
}

TEST(Sort, NullsFirstAscendingLastDescending) {
    auto t = MakeItems();
    t->Open();
    AddItem(t.get(), 1, "m", 0);
    t->Append();
    t->FieldByName("Id")->SetAsInteger(2);
    t->Post();  // Name null
    AddItem(t.get(), 3, "a", 0);
    t->SetIndexFieldNames("Name");
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{2, 3, 1}));
    t->SetIndexFieldNames("Name:D");
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{1, 3, 2}));
    t->SetIndexFieldNames("");
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{1, 2, 3}));
}

TEST(Sort, TwoFieldsAndEditsMoveRecords) {
    auto t = MakeItems();
    t->Open();
    AddItem(t.get(), 1, "b", 2);
    AddItem(t.get(), 2, "a", 9);
    AddItem(t.get(), 3, "b", 1);
    t->SortOn("Name;Amount", {});
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{2, 3, 1}));
    t->First();
    t->Edit();
    t->FieldByName("Name")->SetAsString("c");
    t->Post();
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 2) << "the posted record stays current";
    EXPECT_EQ(t->RecNo(), 3);
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{3, 1, 2}));
}

// Thousands of rows, a few names each held by rows in many blocks: the sort
// walks them in the collation's order (compared pairwise, not through keys),
// amounts then row order breaking ties, and keeps that order through the
// searches and edits that come after it.
TEST(Sort, LargeSortsFollowTheCollationThroughLaterChanges) {
    const char* const names[] = {"ação", "Acao", "acao", "Ábaco", "abaco", "Éden", "eden", "zebra", "Zé", ""};
    std::mt19937 rng(2058);
    struct Item {
        int id;
        std::string name;
        double amount;
    };
    std::vector<Item> rows;
    // Amounts on both sides of zero, in quarters: their order is not their
    // bytes' and ties are many.
    auto amount = [&rng] { return (static_cast<int>(rng() % 50) - 25) / 4.0; };
    auto t = MakeItems();
    t->Open();
    for (int id = 1; id <= 6000; ++id) {
        Item item{id, names[rng() % 10], amount()};
        AddItem(t.get(), id, item.name, item.amount);
        rows.push_back(item);
    }
    // -1, 0 or 1 as the two rows' names and then amounts compare.
    auto compare = [](const Item& a, const Item& b) {
        // An empty text is stored as null, which sorts first.
        int c = a.name.empty() || b.name.empty() ? int(!a.name.empty()) - int(!b.name.empty())
                                                 : AnsiCompareStr(a.name, b.name);
        if (c == 0) c = a.amount < b.amount ? -1 : (a.amount > b.amount ? 1 : 0);
        return c;
    };
    for (const bool descending : {false, true}) {
        std::vector<Item> order = rows;
        std::sort(order.begin(), order.end(), [&](const Item& a, const Item& b) {
            const int c = compare(a, b);
            return descending ? (c != 0 ? c > 0 : a.id > b.id) : (c != 0 ? c < 0 : a.id < b.id);
        });
        std::vector<int> expected;
        for (const Item& item : order) expected.push_back(item.id);
        t->SortOn("Name;Amount", descending ? TmtMemTableCompareOptions{mtcoDescending} : TmtMemTableCompareOptions{});
        ASSERT_EQ(Ids(t.get()), expected) << (descending ? "descending" : "ascending");
        const bool held = std::any_of(rows.begin(), rows.end(), [](const Item& i) { return i.name == "eden" && i.amount == -1.75; });
        ASSERT_EQ(t->Locate("Name;Amount", VarArrayOf({"eden", -1.75}), {}), held);
        for (int k = 0; k < 20; ++k) {
            Item& item = rows[rng() % rows.size()];
            ASSERT_TRUE(t->Locate("Id", item.id, {}));
            item.name = names[rng() % 10];
            item.amount = amount();
            t->Edit();
            t->FieldByName("Name")->SetAsString(item.name);
            t->FieldByName("Amount")->SetAsFloat(item.amount);
            t->Post();
        }
        // An edited row goes before the rows of its key: the order holds up
        // to ties.
        const std::vector<int> walked = Ids(t.get());
        ASSERT_EQ(walked.size(), rows.size());
        for (std::size_t i = 1; i < walked.size(); ++i) {
            const int c = compare(rows[walked[i - 1] - 1], rows[walked[i] - 1]);
            ASSERT_TRUE(descending ? c >= 0 : c <= 0) << "at " << i << (descending ? ", descending" : "");
        }
    }
}

// More rows than the size at which a sort first counts how many of its
// texts are distinct, nearly all of them different: the walk is in the
// collation's order with every row once, and each name is found again.
TEST(Sort, MostlyDistinctNamesOfALargeTable) {
    constexpr int kRows = 66000;
    std::mt19937 rng(66000);
    std::vector<std::string> names(kRows + 1);
    auto t = MakeItems();
    t->Open();
    for (int id = 1; id <= kRows; ++id) {
        // A few repeats, empty names (nulls) and accented first letters.
        const int n = id % 50 == 0 ? id / 2 : id;
        names[static_cast<std::size_t>(id)] =
            id % 997 == 0 ? std::string() : std::string(n % 3 == 0 ? "\xC3\x81" : "a") + std::to_string(n * 7919 % 100003);
        AddItem(t.get(), id, names[static_cast<std::size_t>(id)], static_cast<double>(rng() % 5));
    }
    t->SortOn("Name;Amount", {});
    std::vector<int> seen;
    int prev = 0;
    for (t->First(); !t->Eof(); t->Next()) {
        const int id = t->FieldByName("Id")->AsInteger();
        if (prev != 0) {
            const std::string& a = names[static_cast<std::size_t>(prev)];
            const std::string& b = names[static_cast<std::size_t>(id)];
            ASSERT_TRUE(a.empty() || (!b.empty() && AnsiCompareStr(a, b) <= 0)) << a << " before " << b;
        }
        prev = id;
        seen.push_back(id);
    }
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(kRows));
    std::sort(seen.begin(), seen.end());
    ASSERT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
    for (int id = 1; id <= kRows; id += 611) {
        const std::string& name = names[static_cast<std::size_t>(id)];
        if (name.empty()) continue;
        ASSERT_TRUE(t->Locate("Name", name, {})) << name;
        ASSERT_EQ(t->FieldByName("Name")->AsString(), name);
    }
}

// Numbers with gaps and repeats in an index of many blocks, fresh from its
// sort and then changed at its start, middle and end: every value held is
// found at its first row, every value between them is not.
TEST(Locate, NumbersOfALargeIndexBeforeAndAfterChanges) {
    auto t = MakeItems();
    t->Open();
    std::vector<std::pair<int, int>> rows;  // (id, number) in row order
    for (int i = 0; i < 5000; ++i) {
        const int number = 3 * i - (i % 10 == 0 ? 3 : 0);  // every tenth repeats the one before
        rows.emplace_back(i + 1, number);
        AddItem(t.get(), i + 1, "n", number);
    }
    t->AddIndex("ByAmount", "Amount", {});
    auto check = [&](const char* when) {
        for (int v = -4; v <= 15002; ++v) {
            const auto first = std::find_if(rows.begin(), rows.end(), [v](const auto& r) { return r.second == v; });
            ASSERT_EQ(t->Locate("Amount", v, {}), first != rows.end()) << when << ", " << v;
            if (first != rows.end()) ASSERT_EQ(t->FieldByName("Id")->AsInteger(), first->first) << when << ", " << v;
        }
    };
    check("fresh");
    for (int at : {4999, 2500, 0}) {
        t->SetIndexName("");
        t->SetRecNo(at + 1);
        t->Delete();
        rows.erase(rows.begin() + at);
    }
    AddItem(t.get(), 6001, "n", 7500);
    rows.emplace_back(6001, 7500);
    check("changed");
}

TEST(Unique, DuplicateKeyIsRefusedAndLeavesTheTableUnchanged) {
    auto t = MakeItems();
    t->IndexDefs()->Add("PK", "Id", {ixUnique});
    t->Open();
    AddItem(t.get(), 1, "a", 1);
    AddItem(t.get(), 2, "b", 2);
    t->Append();
    t->FieldByName("Id")->SetAsInteger(1);
    try {
        t->Post();
        FAIL();
    } catch (const EMemTableDupKey& e) {
        EXPECT_EQ(e.Message(), "Duplicate index value. Operation aborted.");
    }
    EXPECT_EQ(t->State(), dsInsert);
    t->Cancel();
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{1, 2}));
    // Editing a record to its own key is no duplicate; to another's is.
    t->First();
    t->Edit();
    t->FieldByName("Id")->SetAsInteger(1);
    t->Post();
    t->Edit();
    t->FieldByName("Id")->SetAsInteger(2);
    EXPECT_THROW(t->Post(), EMemTableDupKey);
    t->Cancel();
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{1, 2}));
    // Building a unique index over duplicates fails and leaves nothing behind.
    AddItem(t.get(), 3, "a", 3);
    EXPECT_THROW(t->AddIndex("UName", "Name", {ixUnique}), EMemTableDupKey);
    EXPECT_EQ(t->IndexDefs()->IndexOf("UName"), -1);
    EXPECT_EQ(t->Indexes()->Get("UName"), nullptr);
}

TEST(Indexes, IncompleteDefinitionIsRefused) {
    auto t = MakeItems();
    t->IndexDefs()->Add("NoFields", "", {});
    try {
        t->Open();
        FAIL();
    } catch (const EMemTableError& e) {
        EXPECT_EQ(e.Message(), "Missing Name or FieldNames in IndexDef!");
    }
    EXPECT_FALSE(t->Active());
}

namespace {

// Locate through a scan and, past 20 records, through an index: both must
// find the first matching record of the current order.
void CheckLocateAgreesWithScan(int rows, bool withIndex, TLocateOptions options) {
    auto t = MakeItems();
    if (withIndex) t->IndexDefs()->Add("ByName", "Name", {ixCaseInsensitive});
    t->Open();
    std::mt19937 rng(static_cast<unsigned>(rows));
    const char* names[] = {"Ação", "ação", "AÇÃO", "acao", "Beta", "beta", "Gama", "gama", "delta"};
    std::vector<std::string> stored;
    for (int i = 0; i < rows; ++i) {
        std::string n = names[std::uniform_int_distribution<int>(0, 8)(rng)];
        AddItem(t.get(), i, n, 0);
        stored.push_back(n);
    }
    for (const char* key : {"Ação", "ação", "acao", "ACAO", "beta", "BETA", "delta", "zeta", "Ac"}) {
        int expected = -1;
        for (int i = 0; i < rows; ++i) {
            std::string s = stored[static_cast<std::size_t>(i)];
            std::string k = key;
            if (options.Contains(loPartialKey)) s = Copy(s, 1, Length(k));
            bool eq = options.Contains(loCaseInsensitive) ? AnsiSameText(s, k) : AnsiSameStr(s, k);
            if (eq) {
                expected = i;
                break;
            }
        }
        t->Last();
        bool found = t->Locate("Name", key, options);
        EXPECT_EQ(found, expected >= 0) << key << " rows " << rows;
        if (found && expected >= 0) {
            EXPECT_EQ(t->FieldByName("Id")->AsInteger(), expected) << key << " rows " << rows;
        }
    }
}

}  // namespace

TEST(Locate, SameAnswerWithAndWithoutAnIndex) {
    for (int rows : {20, 21, 60}) {
        for (bool withIndex : {false, true}) {
            CheckLocateAgreesWithScan(rows, withIndex, {});
            CheckLocateAgreesWithScan(rows, withIndex, {loCaseInsensitive});
            CheckLocateAgreesWithScan(rows, withIndex, {loPartialKey});
            CheckLocateAgreesWithScan(rows, withIndex, {loCaseInsensitive, loPartialKey});
        }
    }
}

TEST(Locate, AutoIndexFromTwentyOneRecords) {
    auto t = MakeItems();
    t->SetAutoAddIndexes(true);
    t->Open();
    for (int i = 0; i < 20; ++i) AddItem(t.get(), i, "n" + std::to_string(i), i);
    EXPECT_TRUE(t->Locate("Name;Id", VarArrayOf({"n7", 7}), {}));
    EXPECT_EQ(t->Indexes()->Get("__MT__AUTO_Name;Id"), nullptr) << "20 records are scanned";
    AddItem(t.get(), 20, "n20", 20);
    EXPECT_TRUE(t->Locate("Name;Id", VarArrayOf({"N7", 7}), {loCaseInsensitive}));
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 7);
    EXPECT_NE(t->Indexes()->Get("__MT__AUTO_Name;Id"), nullptr);
    // The case-insensitive index must not make a case-sensitive locate match.
    EXPECT_FALSE(t->Locate("Name;Id", VarArrayOf({"N7", 7}), {}));
    EXPECT_TRUE(t->Locate("Name;Id", VarArrayOf({"n7", 7}), {}));
}

TEST(Locate, KeyValueErrors) {
    auto t = MakeItems();
    t->Open();
    AddItem(t.get(), 1, "a", 1);
    try {
        t->Locate("Id;Name", 1, {});
        FAIL();
    } catch (const EMemTableError& e) {
        EXPECT_EQ(e.Message(), "More fields than values");
    }
    try {
        t->Locate("", 1, {});
        FAIL();
    } catch (const EMemTableError& e) {
        EXPECT_EQ(e.Message(), "There must be at least one field");
    }
}

TEST(Locate, RespectsTheFilterAndFindsNulls) {
    auto t = MakeItems();
    t->Open();
    for (int i = 0; i < 30; ++i) AddItem(t.get(), i, i % 2 == 0 ? "par" : "impar", i);
    t->Append();
    t->FieldByName("Id")->SetAsInteger(100);
    t->Post();
    EXPECT_TRUE(t->Locate("Name", Null(), {}));
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 100);
    t->SetOnFilterRecord([](TDataSet* ds, bool& accept) { accept = ds->FieldByName("Amount")->AsFloat() >= 10; });
    t->SetFiltered(true);
    EXPECT_TRUE(t->Locate("Name", "par", {}));
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 10);
}

TEST(Indexes, RowOrderSurvivesARebuild) {
    auto t = MakeItems();
    t->Open();
    for (int i = 1; i <= 4; ++i) AddItem(t.get(), i, "x", 0);
    t->SetRecNo(2);
    t->Insert();
    t->FieldByName("Id")->SetAsInteger(9);
    t->Post();
    std::vector<int> before = Ids(t.get());
    t->Indexes()->RowOrderIndex()->Rebuild();
    t->Refresh();
    EXPECT_EQ(Ids(t.get()), before);
}

TEST(Indexes, DisabledIndexesAreRebuiltWhenSelected) {
    auto t = MakeItems();
    t->IndexDefs()->Add("ByAmount", "Amount", {});
    t->Open();
    t->SetEnableIndexes(false);
    AddItem(t.get(), 1, "a", 3);
    AddItem(t.get(), 2, "b", 1);
    t->Delete();
    AddItem(t.get(), 3, "c", 2);
    t->SetEnableIndexes(true);
    EXPECT_FALSE(t->Indexes()->Get("ByAmount")->IsOrdered());
    t->SetIndexName("ByAmount");
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{3, 1}));
}

// Locates through an index of numbers, whatever their spread: clustered,
// with huge gaps, repeated, negative, descending. Each answer is checked
// against a scan of the rows in row order.
TEST(Locate, NumberIndexesFindTheFirstMatchWhateverTheSpread) {
    std::mt19937 rng(31);
    auto value = [&](int i) -> double {
        switch (i % 5) {
            case 0: return static_cast<double>(i);                              // dense
            case 1: return 1e9 + static_cast<double>(rng() % 50);               // a far cluster, repeated
            case 2: return -static_cast<double>(rng() % 1000000) * 1000.0;      // wide, negative
            case 3: return static_cast<double>(rng() % 7);                      // few values, many times
            default: return std::ldexp(1.0, static_cast<int>(rng() % 60));      // powers of two
        }
    };
    for (const char* fields : {"Amount", "Amount:D", "Id"}) {
        auto t = MakeItems();
        t->IndexDefs()->Add("ByValue", fields, {});
        t->Open();
        std::vector<std::pair<int, double>> rows;
        // Blocks enough that a guess between the ends can miss by many.
        for (int i = 0; i < 20000; ++i) {
            const double v = value(i);
            const int id = static_cast<int>(rng() % 100000) - 50000;
            AddItem(t.get(), id, "x", v);
            rows.emplace_back(id, v);
        }
        const bool byId = std::string(fields) == "Id";
        for (int probe = 0; probe < 600; ++probe) {
            // Present keys mostly, absent ones now and then.
            const auto& row = rows[rng() % rows.size()];
            double key = byId ? row.first : row.second;
            if (probe % 7 == 0) key += byId ? 100000 : 0.5;
            auto first = std::find_if(rows.begin(), rows.end(),
                                      [&](const auto& r) { return (byId ? r.first : r.second) == key; });
            const bool found = byId ? t->Locate("Id", static_cast<int>(key), {}) : t->Locate("Amount", key, {});
            ASSERT_EQ(found, first != rows.end()) << fields << " " << key;
            if (found) ASSERT_EQ(t->RecNo(), static_cast<int>(first - rows.begin()) + 1) << fields << " " << key;
        }
    }
}

// A locate by number starts from where the key falls between the index's
// ends: as appends, edits and deletes move those ends and the count, every
// key is still found at its row, and keys outside or between them are not.
TEST(Locate, NumberIndexFollowsItsEndsAsTheTableChanges) {
    auto t = MakeItems();
    t->IndexDefs()->Add("PK", "Id", {ixUnique});
    t->Open();
    std::vector<int> rows;  // ids in row order
    for (int i = 0; i < 300; ++i) {
        AddItem(t.get(), 1000 + 3 * i, "x", i);
        rows.push_back(1000 + 3 * i);
    }
    auto check = [&](const char* step) {
        const auto [low, high] = std::minmax_element(rows.begin(), rows.end());
        for (int key : {*low, *high, *low - 1, *high + 1, *low + 1, rows[rows.size() / 2], rows[rows.size() / 3] + 1,
                        -5, 2000000000}) {
            const auto at = std::find(rows.begin(), rows.end(), key);
            const bool found = t->Locate("Id", key, {});
            ASSERT_EQ(found, at != rows.end()) << step << " " << key;
            if (found) ASSERT_EQ(t->RecNo(), static_cast<int>(at - rows.begin()) + 1) << step << " " << key;
        }
    };
    check("filled");
    AddItem(t.get(), 5000000, "far", 0);  // the top end leaps
    rows.push_back(5000000);
    check("appended far");
    t->First();
    t->Delete();  // the bottom end moves up
    rows.erase(rows.begin());
    check("first deleted");
    ASSERT_TRUE(t->Locate("Id", 1450, {}));
    t->Edit();
    t->FieldByName("Id")->SetAsInteger(-7);  // a middle key becomes the bottom end
    t->Post();
    *std::find(rows.begin(), rows.end(), 1450) = -7;
    check("middle edited below");
    t->Last();
    t->Delete();  // the top end falls back
    rows.pop_back();
    check("last deleted");
}

// An index made over rows already in the table writes each distinct key once,
// after its sort: those keys must be the very bytes a locate or an insert
// makes for the same values, for every number type, nulls and descending
// fields included, alone and after a text.
TEST(Sort, KeysWrittenAfterTheSortMatchTheKeysOfLocatesAndInserts) {
    const TFieldType types[] = {ftSmallint, ftWord, ftBoolean, ftInteger, ftFloat, ftDate};
    for (TFieldType type : types) {
        for (const char* fields : {"V", "V:D", "T;V", "T:D;V:D"}) {
            SCOPED_TRACE(std::string(fields) + " type " + std::to_string(static_cast<int>(type)));
            auto t = std::make_unique<TmtMemTable>(nullptr);
            t->FieldDefs()->Add("T", ftString, 10);
            t->FieldDefs()->Add("V", type);
            t->Open();
            std::mt19937 rng(5);
            // (text, value or null)
            std::vector<std::pair<std::string, std::optional<int>>> rows;
            auto value = [&]() -> std::optional<int> {
                if (rng() % 9 == 0) return std::nullopt;
                if (type == ftBoolean) return static_cast<int>(rng() % 2);
                if (type == ftWord) return static_cast<int>(rng() % 60000);
                return static_cast<int>(rng() % 2000) - 1000;
            };
            auto add = [&](const std::string& text, std::optional<int> v) {
                t->Append();
                t->FieldByName("T")->SetAsString(text);
                if (v) {
                    if (type == ftBoolean) t->FieldByName("V")->SetAsBoolean(*v != 0);
                    else if (type == ftFloat || type == ftDate) t->FieldByName("V")->SetAsFloat(*v + 0.25);
                    else t->FieldByName("V")->SetAsInteger(*v);
                }
                t->Post();
                rows.emplace_back(text, v);
            };
            auto key = [&](std::optional<int> v) -> Variant {
                if (!v) return Null();
                if (type == ftBoolean) return Variant(*v != 0);
                if (type == ftFloat || type == ftDate) return Variant(*v + 0.25);
                return Variant(*v);
            };
            for (int i = 0; i < 300; ++i) add(std::string(1, static_cast<char>('a' + rng() % 4)), value());
            t->AddIndex("I", fields, {});
            t->SetIndexName("I");
            // Rows added after the sort go beside the equal keys the sort wrote.
            for (int i = 0; i < 30; ++i) add(std::string(1, static_cast<char>('a' + rng() % 4)), value());
            const bool two = std::string(fields).find(';') != std::string::npos;
            for (const auto& [text, v] : rows) {
                const bool found = two ? t->Locate("T;V", VarArrayOf({text, key(v)}), {}) : t->Locate("V", key(v), {});
                ASSERT_TRUE(found) << text << " " << (v ? std::to_string(*v) : "null");
                if (two) EXPECT_EQ(t->FieldByName("T")->AsString(), text);
                EXPECT_EQ(t->FieldByName("V")->IsNull(), !v.has_value());
            }
            // The order of the index: each row's value no smaller (no larger
            // descending) than the one before, nulls first ascending.
            const bool desc = std::string(fields).find(":D") != std::string::npos;
            std::optional<double> last;
            std::string lastText;
            bool first = true;
            int count = 0;
            for (t->First(); !t->Eof(); t->Next(), ++count) {
                const std::string text = t->FieldByName("T")->AsString();
                std::optional<double> v;
                if (!t->FieldByName("V")->IsNull())
                    v = type == ftBoolean ? (t->FieldByName("V")->AsBoolean() ? 1.0 : 0.0) : t->FieldByName("V")->AsFloat();
                if (!first && (!two || text == lastText)) {
                    const bool ordered = desc ? (!v || (last && *last >= *v)) : (!last || (v && *last <= *v));
                    ASSERT_TRUE(ordered) << "row " << count;
                }
                first = false;
                last = v;
                lastText = text;
            }
            EXPECT_EQ(count, 330);
        }
    }
}

// A sort leaves its keys to be written when a search needs them, and the
// first searches do without: locates in the sorted order, exact and
// case-blind, ascending and descending, before and after the keys are
// written (more locates than go without them), each answer the first match
// of the order, found by a search and not by reading the run.
TEST(Sort, LocatesBeforeAndAfterTheKeysAreWrittenStopOnTheFirstMatch) {
    constexpr int kRows = 6000, kNames = 400, kLocates = 300;
    for (bool descending : {false, true}) {
        SCOPED_TRACE(descending ? "descending" : "ascending");
        auto t = std::make_unique<TmtMemTable>(nullptr);
        t->FieldDefs()->Add("Name", ftString, 20);
        t->Open();
        std::mt19937 rng(11);
        std::vector<std::string> names;
        for (int i = 0; i < kRows; ++i) {
            std::string name = "Cliente " + std::to_string(rng() % kNames);
            if (rng() % 3 == 0) name = AnsiUpperCase(name);
            t->Append();
            t->FieldByName("Name")->SetAsString(name);
            t->Post();
            names.push_back(name);
        }
        t->SortOn("Name", descending ? TmtMemTableCompareOptions{mtcoDescending} : TmtMemTableCompareOptions{});
        struct Asked {
            std::string name;
            bool blind;
            int recNo;
        };
        std::vector<Asked> asked;
        for (int i = 0; i < kLocates; ++i) {
            const std::string name = names[rng() % names.size()];
            const bool blind = i % 2 == 1;
            const uint64_t before = t->Indexes()->Stepped();
            ASSERT_TRUE(t->Locate("Name", name, blind ? TLocateOptions{loCaseInsensitive} : TLocateOptions{}))
                << i << " " << name;
            // A bisection of the order, never the run of a name (15 rows on
            // average, 45 case-blind).
            EXPECT_LE(t->Indexes()->Stepped() - before, 8u) << i << " " << name;
            asked.push_back({name, blind, t->RecNo()});
        }
        // The order as shown: each answer is the first row of it that matches.
        std::vector<std::string> shown;
        for (t->First(); !t->Eof(); t->Next()) shown.push_back(t->FieldByName("Name")->AsString());
        ASSERT_EQ(shown.size(), static_cast<std::size_t>(kRows));
        for (std::size_t i = 0; i < asked.size(); ++i) {
            const Asked& a = asked[i];
            auto first = std::find_if(shown.begin(), shown.end(), [&](const std::string& s) {
                return a.blind ? AnsiSameText(s, a.name) : s == a.name;
            });
            EXPECT_EQ(a.recNo, static_cast<int>(first - shown.begin()) + 1) << i << " " << a.name;
        }
    }
}

// Locates through a large text index whose values share their first
// characters, ascending and descending, as rows come in with other starts,
// go, and change: each answer is checked against a scan of the rows in row
// order. Enough locates run between the changes for the index to take its
// search shortcuts for an unchanged index, and to drop them after a change;
// with many distinct names (short runs of one key) and with few (long runs,
// which the shortcuts mark run by run), and through an index of two fields,
// which a locate by the name searches with a part of its key.
TEST(Locate, TextIndexesFindTheFirstMatchAsTheirSharedStartChanges) {
    for (int names : {300, 12})
    for (const char* fields : {"Name", "Name:D", "Name;Amount"}) {
        SCOPED_TRACE(std::string(fields) + ", " + std::to_string(names) + " names");
        auto t = MakeItems();
        t->Open();
        std::mt19937 rng(11);
        std::vector<std::pair<int, std::string>> rows;  // (id, name) in row order
        auto client = [&](int n) {
            char s[32];
            std::snprintf(s, sizeof s, "Cliente %04d Ltda", n);
            return std::string(s);
        };
        for (int i = 0; i < 5000; ++i) {
            rows.emplace_back(i, client(static_cast<int>(rng() % static_cast<unsigned>(names))));
            AddItem(t.get(), i, rows.back().second, i % 3);
        }
        t->AddIndex("ByName", fields, {});
        auto check = [&](const char* phase) {
            SCOPED_TRACE(phase);
            const std::string absent[] = {"Cliente", "Clien", "Cliente 9999 Ltda", "Cliente 0000", "Ana", "Zeca", ""};
            for (int probe = 0; probe < 300; ++probe) {
                const std::string name = probe % 9 == 0 ? absent[static_cast<std::size_t>(probe / 9) % std::size(absent)]
                                                        : rows[rng() % rows.size()].second;
                auto first = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.second == name; });
                ASSERT_EQ(t->Locate("Name", name, {}), first != rows.end()) << name;
                if (first != rows.end()) ASSERT_EQ(t->FieldByName("Id")->AsInteger(), first->first) << name;
            }
        };
        check("as sorted");
        // Rows whose names start otherwise: nothing is shared any more.
        for (int i = 0; i < 40; ++i) {
            rows.emplace_back(5000 + i, (i % 2 == 0 ? "Ana " : "Zeca ") + std::to_string(i % 7));
            AddItem(t.get(), rows.back().first, rows.back().second, rows.back().first % 3);
        }
        check("after appends");
        for (int i = 0; i < 200; ++i) {
            const int at = static_cast<int>(rng() % rows.size());
            t->SetRecNo(at + 1);
            ASSERT_EQ(t->FieldByName("Id")->AsInteger(), rows[static_cast<std::size_t>(at)].first);
            t->Delete();
            rows.erase(rows.begin() + at);
        }
        check("after deletes");
        // Edits bring in many new names: the index keeps more texts' keys.
        for (int i = 0; i < 400; ++i) {
            const int at = static_cast<int>(rng() % rows.size());
            t->SetRecNo(at + 1);
            t->Edit();
            rows[static_cast<std::size_t>(at)].second = client(static_cast<int>(rng() % 2000));
            t->FieldByName("Name")->SetAsString(rows[static_cast<std::size_t>(at)].second);
            t->Post();
        }
        check("after edits");
    }
}

namespace {

// A row of the tables of names below: Id, Name (string 60), Amount.
struct Item {
    int id;
    std::string name;
    double amount;
};

std::unique_ptr<TmtMemTable> MakeNamesTable() {
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->FieldDefs()->Add("Id", ftInteger);
    t->FieldDefs()->Add("Name", ftString, 60);
    t->FieldDefs()->Add("Amount", ftFloat);
    t->Open();
    return t;
}

// The names as the table compares them: an empty text is stored as null,
// which sorts first.
int CompareNames(const Item& a, const Item& b, bool Insensitive) {
    if (a.name.empty() || b.name.empty()) return int(!a.name.empty()) - int(!b.name.empty());
    return Insensitive ? AnsiCompareText(a.name, b.name) : AnsiCompareStr(a.name, b.name);
}

}  // namespace

// Names of people that share long starts (a run of one first name and
// surname, then another), so that ranking them reads their keys several
// bytes in, nulls and repeats among them: an index and a sort on two fields
// hold the rows in the order a stable sort by the pt-BR comparison gives,
// walked forwards and backwards.
TEST(Sort, NamesOfLongSharedStartsFollowAStableSortByTheCollation) {
    const char* const starts[] = {"Maria Aparecida dos Santos ", "Maria Aparecida dos Santos Ferreira ",
                                  "Mária Aparecida dos Santos ", "José Carlos da Conceição ", "Jose Carlos da Conceicao ",
                                  "Ana ", "ÁNA "};
    constexpr int kRows = 20000;
    std::mt19937 rng(8);
    std::vector<Item> rows;
    auto t = MakeNamesTable();
    for (int id = 1; id <= kRows; ++id) {
        const unsigned k = static_cast<unsigned>(rng());
        std::string name = id % 211 == 0 ? std::string()
                                         : starts[k % 7] + std::to_string(k / 7 % (id % 5 == 0 ? 40 : 100000));
        rows.push_back({id, name, static_cast<double>(rng() % 3)});
        AddItem(t.get(), id, name, rows.back().amount);
    }
    auto before = [](const Item& a, const Item& b, bool amounts) {
        int c = CompareNames(a, b, false);
        if (c == 0 && amounts) c = a.amount < b.amount ? -1 : (a.amount > b.amount ? 1 : 0);
        return c < 0;
    };
    auto backwards = [](TDataSet* d) {
        std::vector<int> ids;
        for (d->Last(); !d->Bof(); d->Prior()) ids.push_back(d->FieldByName("Id")->AsInteger());
        std::reverse(ids.begin(), ids.end());
        return ids;
    };
    for (const bool amounts : {false, true}) {
        std::vector<Item> order = rows;
        std::stable_sort(order.begin(), order.end(), [&](const Item& a, const Item& b) { return before(a, b, amounts); });
        std::vector<int> expected;
        for (const Item& item : order) expected.push_back(item.id);
        if (amounts) {
            t->SortOn("Name;Amount", {});
        } else {
            t->AddIndex("ByName", "Name", {});
            t->SetIndexName("ByName");
        }
        ASSERT_EQ(Ids(t.get()), expected) << (amounts ? "sort" : "index");
        ASSERT_EQ(backwards(t.get()), expected) << (amounts ? "sort" : "index");
    }
}

// Texts that tie on their letters alone and differ in accents or case (or
// not at all under the case-insensitive option), with long shared starts,
// letters beyond Latin, characters read through the collator and nulls,
// mostly distinct: a sort ranks them first by their letters, then by whole
// keys where those tie. In every option the walk is a stable sort by the
// comparison, and stays ordered once the keys are written for a search and
// rows come in after it.
TEST(Sort, TextsTiedOnTheirLettersFollowTheComparisonInEveryOption) {
    const char* const words[] = {"João", "Joao", "JOÃO", "joão", "Ação", "Acao", "AÇÃO", "ação", "Conceição",
                                 "Maria Aparecida dos Santos Conceição", "Maria Aparecida dos Santos Conceicao",
                                 "MARIA APARECIDA DOS SANTOS CONCEIÇÃO", "Ωμέγα", "ωμεγα", "Жанна", "жанна",
                                 "中文", "L\xC2\xB7l", "a\xCC\x81", "\xC3\xA1", ""};
    constexpr int kRows = 4000;
    std::mt19937 rng(20261209);
    std::vector<Item> rows;
    auto t = MakeNamesTable();
    auto add = [&](int id) {
        const std::string word = words[rng() % std::size(words)];
        const std::string name = word.empty() ? word : word + " " + std::to_string(rng() % 400);
        rows.push_back({id, name, static_cast<double>(rng() % 2)});
        AddItem(t.get(), id, name, rows.back().amount);
    };
    for (int id = 1; id <= kRows; ++id) add(id);
    for (const bool insensitive : {false, true})
    for (const bool descending : {false, true}) {
        SCOPED_TRACE(std::string(insensitive ? "case-insensitive" : "case-sensitive") +
                     (descending ? ", descending" : ""));
        auto compare = [&](const Item& a, const Item& b) {
            int c = CompareNames(a, b, insensitive);
            if (c == 0) c = a.amount < b.amount ? -1 : (a.amount > b.amount ? 1 : 0);
            return descending ? -c : c;
        };
        std::vector<Item> order = rows;
        std::sort(order.begin(), order.end(), [&](const Item& a, const Item& b) {
            const int c = compare(a, b);
            return c != 0 ? c < 0 : (descending ? a.id > b.id : a.id < b.id);
        });
        std::vector<int> expected;
        for (const Item& item : order) expected.push_back(item.id);
        TmtMemTableCompareOptions options;
        if (insensitive) options.Include(mtcoCaseInsensitive);
        if (descending) options.Include(mtcoDescending);
        t->SortOn("Name;Amount", options);
        ASSERT_EQ(Ids(t.get()), expected);
        // A search writes the keys; rows added then go among their equals.
        const Item& sought = *std::find_if(rows.begin(), rows.end(), [](const Item& i) { return !i.name.empty(); });
        ASSERT_TRUE(t->Locate("Name;Amount", VarArrayOf({sought.name, sought.amount}), {}));
        for (int k = 0; k < 50; ++k) add(static_cast<int>(rows.size()) + 1);
        const std::vector<int> walked = Ids(t.get());
        ASSERT_EQ(walked.size(), rows.size());
        for (std::size_t i = 1; i < walked.size(); ++i)
            ASSERT_LE(compare(rows[walked[i - 1] - 1], rows[walked[i] - 1]), 0) << "at " << i;
    }
}
