// Locates that another index narrows give the answer of a plain scan of the
// table's own order, whatever that index's options; adding an index leaves
// the cursor where it was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <random>

#include "platform/rtl/Strings.h"
#include "tests/memtable/MemTableTestSupport.h"

using namespace mttest;

namespace {

struct TextRow {
    int id;
    const char* a;  // nullptr: null
    const char* b;
};

// Id, A, B (texts) and I (integer, may be null).
std::unique_ptr<TmtMemTable> MakeTexts(const std::vector<TextRow>& rows) {
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->FieldDefs()->Add("Id", ftInteger);
    t->FieldDefs()->Add("A", ftString, 10);
    t->FieldDefs()->Add("B", ftString, 10);
    t->FieldDefs()->Add("I", ftInteger);
    t->Open();
    for (const TextRow& r : rows) {
        t->Append();
        t->FieldByName("Id")->SetAsInteger(r.id);
        if (r.a != nullptr) t->FieldByName("A")->SetAsString(r.a);
        if (r.b != nullptr) t->FieldByName("B")->SetAsString(r.b);
        t->Post();
    }
    return t;
}

}  // namespace

// Two text fields sought case-insensitively through an index that orders
// them case-sensitively: the rows that match are not one run of that order
// ("a","z" sorts between "a","a" and "A","a"). Each answer is the first row
// a scan finds with the pt-BR comparison.
TEST(LocateNarrowing, CaseInsensitiveSearchOnTwoFieldsThroughACaseSensitiveIndex) {
    const char* const as[] = {"a", "A", "b", "B"};
    const char* const bs[] = {"a", "A", "z", "Z"};
    std::vector<TextRow> rows;
    for (int copy = 0; copy < 2; ++copy)
        for (int j = 3; j >= 0; --j)
            for (int i = 0; i < 4; ++i) rows.push_back({static_cast<int>(rows.size()) + 1, as[i], bs[j]});
    auto t = MakeTexts(rows);
    t->AddIndex("AB", "A;B", {});
    for (const char* ka : as) {
        for (const char* kb : bs) {
            int expected = -1;
            for (const TextRow& r : rows)
                if (AnsiCompareText(r.a, ka) == 0 && AnsiCompareText(r.b, kb) == 0) {
                    expected = r.id;
                    break;
                }
            ASSERT_TRUE(t->Locate("A;B", VarArrayOf({ka, kb}), {loCaseInsensitive})) << ka << ";" << kb;
            EXPECT_EQ(t->FieldByName("Id")->AsInteger(), expected) << ka << ";" << kb;
        }
    }
}

// An index that skips null keys (N) or compares texts partially (P) has no
// order a search can bisect: a locate of null finds the null row, and an
// exact locate finds each text the table holds.
TEST(LocateNarrowing, IndexesOfNullSkippingAndPartialFieldsDoNotNarrow) {
    std::vector<TextRow> rows;
    const char* const texts[] = {"ab", "abc", "a", "b", "abd", "ba", "bab", "c", "ca", "cab", "abca"};
    for (int k = 0; k < 33; ++k) rows.push_back({k + 1, texts[k % 11], texts[(k * 7) % 11]});
    auto t = MakeTexts(rows);
    for (int k = 0; k < 33; ++k) {
        t->SetRecNo(k + 1);
        t->Edit();
        if (k != 17) t->FieldByName("I")->SetAsInteger(k % 6);
        t->Post();
    }
    t->AddIndex("INull", "I:N", {});
    t->AddIndex("APartial", "A:P", {});
    ASSERT_TRUE(t->Locate("I", Null(), {}));
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 18);
    EXPECT_TRUE(t->FieldByName("I")->IsNull());
    for (const char* text : texts) {
        ASSERT_TRUE(t->Locate("A", text, {})) << text;
        EXPECT_EQ(t->FieldByName("A")->AsString(), text);
        int first = 0;
        while (std::strcmp(rows[static_cast<std::size_t>(first)].a, text) != 0) ++first;
        EXPECT_EQ(t->FieldByName("Id")->AsInteger(), first + 1) << text;
    }
}

// A number that is no number is equal to no stored value, whether the
// locate scans or goes through an index of the field.
TEST(LocateNarrowing, NaNMatchesNoRowScannedOrIndexed) {
    for (bool indexed : {false, true}) {
        auto t = MakeItems();
        t->Open();
        for (int i = 0; i < 30; ++i) AddItem(t.get(), i + 1, "x", 1.5 + i % 3);
        if (indexed) t->AddIndex("ByAmount", "Amount", {});
        t->SetRecNo(4);
        EXPECT_FALSE(t->Locate("Amount", std::numeric_limits<double>::quiet_NaN(), {})) << indexed;
        EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 4);
        EXPECT_TRUE(t->Lookup("Amount", std::numeric_limits<double>::quiet_NaN(), "Id").IsNull());
        EXPECT_TRUE(t->Locate("Amount", 2.5, {}));
        EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 2);
    }
}

// The cursor stays on its record when an index is added: while the current
// index waits unsorted for a rebuild, and while another index that is not
// kept up to date holds duplicates of a unique key. Walking on from the
// cursor gives each record once.
TEST(LocateNarrowing, AddingAnIndexKeepsTheCursorOnItsRecord) {
    auto t = MakeItems();
    t->IndexDefs()->Add("Loose", "Name", {ixNonMaintained});
    t->IndexDefs()->Add("UniqueAmount", "Amount", {ixUnique, ixNonMaintained});
    t->Open();
    const char* const names[] = {"maria", "ana", "pedro", "bia", "joão", "carla", "zeca", "davi"};
    for (int i = 0; i < 8; ++i) AddItem(t.get(), i + 1, names[i], i % 3);
    t->SetIndexName("Loose");
    t->Locate("Id", 5, {});
    t->Edit();
    t->FieldByName("Name")->SetAsString("aaron");
    t->Post();
    ASSERT_FALSE(t->CurIndex()->IsOrdered());
    const std::vector<int> order = Ids(t.get());
    for (int id : {1, 5, 7}) {
        ASSERT_TRUE(t->Locate("Id", id, {}));
        const int recNo = t->RecNo();
        try {
            t->AddIndex("ById" + std::to_string(id), "Id", {});
        } catch (const EMemTableDupKey&) {
        }
        EXPECT_EQ(t->FieldByName("Id")->AsInteger(), id);
        EXPECT_EQ(t->RecNo(), recNo);
        std::vector<int> rest;
        for (; !t->Eof(); t->Next()) rest.push_back(t->FieldByName("Id")->AsInteger());
        EXPECT_EQ(rest, std::vector<int>(order.begin() + (recNo - 1), order.end())) << id;
        EXPECT_EQ(Ids(t.get()), order);
    }
}

// A value that many rows hold, narrowed by an index other than the current
// one: each of them is not looked for in the current index on its own.
// Counted in the progress the searches report every 100 records they walk,
// which grows with the square of the rows for that.
TEST(LocateNarrowing, ManyMatchesThroughAnotherIndexTakeLinearWork) {
    auto t = MakeItems();
    // Compared through a handler: the indexes compare records, not keys.
    long compares = 0;
    t->OnCompareFields = [&](TDataSet*, TField*, const void* k, const void* a, TFieldType, TmtifoOptions, bool&,
                             int& result) {
        ++compares;
        result = std::strcmp(static_cast<const char*>(k), static_cast<const char*>(a));
        result = result < 0 ? -1 : (result > 0 ? 1 : 0);
    };
    t->Open();
    constexpr int kRows = 3000;
    for (int i = 0; i < kRows; ++i) AddItem(t.get(), i + 1, i % 7 == 3 ? "outro" : "mesmo", i);
    t->AddIndex("ByName", "Name", {});
    t->AddIndex("ByNameToo", "Name", {});
    t->SetIndexName("ByName");
    const std::vector<int> order = Ids(t.get());
    int expected = -1;
    for (int id : order)
        if ((id - 1) % 7 != 3) {
            expected = id;
            break;
        }
    long reports = 0;
    t->SetProgressFlags({mtpcSearch});
    t->OnProgress = [&](TDataSet*, int, TmtProgressCode) { ++reports; };
    t->First();
    compares = 0;
    // Through the other index (the last one defined is tried first).
    ASSERT_TRUE(t->Locate("Name", "mesmo", {}));
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), expected);
    EXPECT_LT(reports, kRows / 10);
    EXPECT_LT(compares, 4L * kRows);
}

// Deletes followed by appends put new records in freed slots: their ids are
// low, their places in the row order last. A locate through another index
// still finds the first holder in row order, and steps through no more than
// the holders of the value and a few entries, as on a table never changed:
// never through the whole table. Each case churns more, then seeks names of
// one, two and three holders, among them the appended ones.
TEST(LocateNarrowing, LocatesAfterDeletesAndAppendsStepOnlyThroughTheirMatches) {
    constexpr int kRows = 12000, kNames = kRows / 2;
    auto name = [](int k) { return "Cliente " + std::to_string(k); };
    struct Item {
        int id;
        std::string name;
    };
    std::vector<Item> rows;  // the model, in row order
    auto t = MakeItems();
    t->Open();
    for (int i = 0; i < kRows; ++i) {
        rows.push_back({i + 1, name(i % kNames)});  // rows i and i + kNames share a name
        AddItem(t.get(), rows.back().id, rows.back().name, i);
    }
    t->AddIndex("ByName", "Name", {});
    int next = kRows + 1;
    struct Case {
        int churn;            // delete-then-append pairs before the locates
        std::vector<int> sought;  // name numbers
    };
    const Case cases[] = {
        {0, {7, 4321, kNames - 1}},
        {1, {10, 11, 12, 5000}},
        {3, {20, 21, 22, 23, 24, 25, 3000}},
        {40, {30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 4000, 5999}},
    };
    for (const Case& c : cases) {
        for (int k = 0; k < c.churn; ++k) {
            // Deletes a row near the start; the append takes its slot and
            // holds a name that earlier rows hold too (and, for odd k, one of
            // the names sought next, so that it is a third holder).
            const std::size_t at = 5 + static_cast<std::size_t>(k) * 37 % 400;
            t->SetRecNo(static_cast<int>(at) + 1);
            ASSERT_EQ(t->FieldByName("Id")->AsInteger(), rows[at].id);
            t->Delete();
            rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(at));
            const int n = k % 2 == 1 ? c.sought[static_cast<std::size_t>(k / 2) % c.sought.size()] : 100 + k;
            rows.push_back({next++, name(n)});
            AddItem(t.get(), rows.back().id, rows.back().name, 0);
        }
        for (int n : c.sought) {
            int expected = -1, holders = 0;
            for (const Item& r : rows)
                if (r.name == name(n)) {
                    if (expected < 0) expected = r.id;
                    ++holders;
                }
            ASSERT_GT(holders, 0);
            t->First();
            const uint64_t before = t->Indexes()->Stepped();
            ASSERT_TRUE(t->Locate("Name", name(n), {})) << name(n);
            const uint64_t stepped = t->Indexes()->Stepped() - before;
            EXPECT_EQ(t->FieldByName("Id")->AsInteger(), expected) << name(n) << " after " << c.churn;
            EXPECT_LE(stepped, 2u * static_cast<uint64_t>(holders) + 2) << name(n) << " after " << c.churn;
        }
    }
}

// Thai, Lao, New Tai Lue and Tai Viet write some vowels before the
// consonant they follow in speech, and the collation weighs the pair as
// consonant then vowel: "กเ", a text cut inside "กเก", weighs as "เก".
// A partial locate finds what a scan of the current order finds, whatever
// index of the name exists, current or not, plain or case-blind.
TEST(LocateNarrowing, PartialKeysOfScriptsWhoseLettersContractFindTheScansAnswer) {
    struct Script {
        const char* name;
        std::vector<std::string> letters;  // consonants, vowels written first, a vowel after
    };
    const Script scripts[] = {
        {"Thai", {"ก", "ข", "เ", "แ", "โ", "า", "a", "A"}},
        {"Lao", {"ກ", "ຂ", "ເ", "ແ", "ໂ", "າ", "a", "A"}},
        {"New Tai Lue", {"ᦀ", "ᦁ", "ᦵ", "ᦶ", "ᦺ", "ᦰ", "a"}},
        {"Tai Viet", {"ꪀ", "ꪁ", "ꪵ", "ꪹ", "ꪼ", "ꪱ", "a"}},
    };
    std::mt19937 rng(80);
    for (const Script& s : scripts) {
        const auto& l = s.letters;
        auto letter = [&] { return l[std::uniform_int_distribution<std::size_t>(0, l.size() - 1)(rng)]; };
        for (int rows : {30, 700}) {
            auto t = MakeItems();
            t->Open();
            std::map<int, std::string> names;
            for (int i = 0; i < rows; ++i) {
                // The first row is consonant, vowel written first, consonant.
                std::string name = i == 0 ? l[0] + l[2] + l[0] + "a" : "";
                for (int k = std::uniform_int_distribution<int>(1, 4)(rng); i > 0 && k > 0; --k) name += letter();
                names[i + 1] = name;
                AddItem(t.get(), i + 1, name, i);
            }
            std::vector<std::string> keys{l[2] + l[0], l[3] + l[1], l[0] + l[2]};
            while (keys.size() < 16) keys.push_back(letter() + (keys.size() % 3 == 0 ? "" : letter()));
            for (int state = 0; state < 5; ++state) {
                // 0 no index, 1 and 2 a plain one not current and current, 3
                // and 4 a case-blind one the same.
                if (state == 1) t->AddIndex("ByName", "Name", {});
                if (state == 3) {
                    t->SetIndexName("");
                    t->DeleteIndex("ByName");
                    t->AddIndex("ByNameCI", "Name", {ixCaseInsensitive});
                }
                t->SetIndexName(state == 2 ? "ByName" : state == 4 ? "ByNameCI" : "");
                const std::vector<int> order = Ids(t.get());
                for (const std::string& key : keys) {
                    for (bool ci : {true, false}) {
                        int expected = -1;
                        const std::size_t chars = static_cast<std::size_t>(Length(key));
                        for (int id : order) {
                            std::string have = names[id];
                            if (static_cast<std::size_t>(Length(have)) > chars)
                                have = have.substr(0, utf8::ByteOffset(have, chars));
                            if ((ci ? AnsiCompareText(have, key) : AnsiCompareStr(have, key)) == 0) {
                                expected = id;
                                break;
                            }
                        }
                        TLocateOptions o{loPartialKey};
                        if (ci) o.Include(loCaseInsensitive);
                        const bool found = t->Locate("Name", key, o);
                        const int got = found ? t->FieldByName("Id")->AsInteger() : -1;
                        EXPECT_EQ(got, expected) << s.name << ", " << rows << " rows, index state " << state
                                                 << ", key " << key << (ci ? " case-blind" : "");
                    }
                }
            }
        }
    }
}
