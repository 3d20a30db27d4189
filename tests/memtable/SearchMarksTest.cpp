// The marks that shorten the searches of a large text index are kept through
// the changes that come between searches: no locate pays for marking the
// whole index again, and the answers stay those of a brute-force model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>

#include "tests/memtable/MemTableTestSupport.h"

using namespace mttest;

namespace {

// A name of varied start and length, different for every K below 16^4.
std::string VariedName(int K) {
    static const char* const syllables[] = {"ba", "cé", "di", "fo", "gu", "lã", "me", "ni",
                                            "pô", "ra", "sé", "ti", "vo", "xu", "za", "ju"};
    std::string name;
    for (uint32_t i = 0, k = static_cast<uint32_t>(K) * 40503u % 65536u; i < 4; ++i, k /= 16) name += syllables[k % 16];
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name + (K % 3 == 0 ? " da Silva" : " Souza");
}

void ChangesBetweenLocates(int Names) {
    constexpr int kRows = 40000, kLocates = 3000, kChangeEvery = 100;
    const auto NameOf = [Names](int K) { return VariedName(K % Names); };
    auto t = MakeItems();
    t->Open();
    std::map<std::string, std::set<int>> holders;  // the model: name -> ids
    std::map<int, std::string> nameOf;
    for (int id = 1; id <= kRows; ++id) {
        AddItem(t.get(), id, NameOf(id), 0);
        holders[NameOf(id)].insert(id);
        nameOf[id] = NameOf(id);
    }
    t->AddIndex("ById", "Id", {ixUnique});
    t->AddIndex("ByName", "Name", {});
    TmtIndex* byName = t->Indexes()->Get("ByName");
    ASSERT_NE(byName, nullptr);
    std::mt19937 rng(71);
    int nextId = kRows + 1;
    auto anyId = [&] {
        auto it = nameOf.begin();
        std::advance(it, std::uniform_int_distribution<int>(0, static_cast<int>(nameOf.size()) - 1)(rng));
        return it->first;
    };
    uint64_t most = 0;
    const uint64_t start = byName->MarkWork();
    for (int i = 0; i < kLocates; ++i) {
        // Mostly names the table holds, now and then one it does not.
        const std::string sought = i % 10 == 9 ? NameOf(kRows + 20000 + i) : nameOf[anyId()];
        const auto h = holders.find(sought);
        const bool held = h != holders.end() && !h->second.empty();
        const uint64_t before = byName->MarkWork();
        ASSERT_EQ(t->Locate("Name", sought, {}), held) << sought << " at " << i;
        most = std::max(most, byName->MarkWork() - before);
        // The row order is the order of the ids: the first holder is the lowest.
        if (held) ASSERT_EQ(t->FieldByName("Id")->AsInteger(), *h->second.begin()) << sought << " at " << i;
        if (i % kChangeEvery != kChangeEvery - 1) continue;
        const int id = anyId();
        const int change = (i / kChangeEvery) % 3;
        if (change == 0) {
            ASSERT_TRUE(t->Locate("Id", id, {}));
            const std::string name = NameOf(nextId + 7 * i);
            t->Edit();
            t->FieldByName("Name")->SetAsString(name);
            t->Post();
            holders[nameOf[id]].erase(id);
            holders[name].insert(id);
            nameOf[id] = name;
        } else if (change == 1) {
            AddItem(t.get(), nextId, NameOf(nextId), 0);
            holders[NameOf(nextId)].insert(nextId);
            nameOf[nextId] = NameOf(nextId);
            ++nextId;
        } else {
            ASSERT_TRUE(t->Locate("Id", id, {}));
            t->Delete();
            holders[nameOf[id]].erase(id);
            nameOf.erase(id);
        }
    }
    // A block holds up to 2,048 entries; the whole index is 40,000.
    EXPECT_LE(most, 512u);
    EXPECT_LE(byName->MarkWork() - start, 8u * kLocates);
}

}  // namespace

// 40,000 rows of distinct names or of 40 names, an index on the name, and a
// change (an edit of a row's name, an append or a delete) after every 100th
// locate, in a table that marks its index after max(64, rows / 1,024) quiet
// searches and drops the marks at the next change: each locate may make at
// most a few blocks' marks, and all the marking together stays a few
// entries per locate.
TEST(SearchMarks, ChangesBetweenLocatesKeepTheMarks) {
    for (const int names : {65536, 40}) {
        SCOPED_TRACE(names);
        ChangesBetweenLocates(names);
    }
}

namespace {

// Sorts as its number does: room for others between two of them.
std::string Numbered(int K, const std::string& Suffix = "") {
    char text[16];
    std::snprintf(text, sizeof text, "Nome %07d", K);
    return text + Suffix;
}

}  // namespace

// The marks at the edges of the index's blocks, through the changes that
// move them: a name put before a block's first, a block's first deleted, a
// block filled until it splits, a block emptied. After each, every name
// held and the names around every edge that nobody holds are sought, and
// answered as a model of the table answers, with no more marking than the
// blocks the change split. 12,800 names make blocks of 512 entries when
// the index is made, so that the edges are known from outside.
TEST(SearchMarks, BlockEdgesMovedByChangesKeepTheirMarks) {
    constexpr int kRows = 12800, kBlock = 512, kStep = 10;
    auto t = MakeItems();
    t->Open();
    std::map<std::string, int> model;  // name -> id; names are unique here
    int nextId = 1;
    auto add = [&](const std::string& Name) {
        AddItem(t.get(), nextId, Name, 0);
        model[Name] = nextId++;
    };
    auto remove = [&](const std::string& Name) {
        ASSERT_TRUE(t->Locate("Name", Name, {})) << Name;
        t->Delete();
        model.erase(Name);
    };
    for (int k = 0; k < kRows; ++k) add(Numbered(k * kStep));
    t->AddIndex("ByName", "Name", {});
    TmtIndex* byName = t->Indexes()->Get("ByName");
    ASSERT_NE(byName, nullptr);
    // Every name held, and around every edge the names nobody holds.
    auto seekAll = [&](const char* Step) {
        std::vector<std::string> sought;
        for (const auto& [name, id] : model) sought.push_back(name);
        for (int head = 0; head < kRows; head += kBlock)
            for (int k = std::max(0, head - 2) * kStep - 1; k <= (head + 2) * kStep + 1; ++k)
                sought.push_back(Numbered(k, "b"));
        for (const std::string& name : sought) {
            const auto m = model.find(name);
            ASSERT_EQ(t->Locate("Name", name, {}), m != model.end()) << Step << ": " << name;
            if (m != model.end()) ASSERT_EQ(t->FieldByName("Id")->AsInteger(), m->second) << Step << ": " << name;
        }
    };
    seekAll("made");
    ASSERT_GT(byName->MarkWork(), 0u);  // the searches above went by the marks
    const struct {
        const char* step;
        std::function<void()> change;
    } steps[] = {
        {"a name before each block's first",
         [&] {
             for (int head = kBlock; head < kRows; head += kBlock) add(Numbered(head * kStep - 1));
         }},
        {"every other block's first deleted",
         [&] {
             for (int head = 0; head < kRows; head += 2 * kBlock) remove(Numbered(head * kStep));
         }},
        {"a block filled until it splits, twice",
         [&] {
             for (int i = 0; i < 2 * kBlock + 40; ++i)
                 add(Numbered((5 * kBlock + 1) * kStep, "a" + std::to_string(1000 + i)));
         }},
        {"a block emptied",
         [&] {
             for (int k = 7 * kBlock - 1; k <= 8 * kBlock + 1; ++k)
                 if (model.count(Numbered(k * kStep)) != 0) remove(Numbered(k * kStep));
         }},
    };
    for (const auto& s : steps) {
        s.change();
        const uint64_t before = byName->MarkWork();
        seekAll(s.step);
        // Only the blocks a change split are marked again (16 entries a
        // mark); a first entry left stale costs the whole index's marks
        // again, about 800.
        EXPECT_LE(byName->MarkWork() - before, 128u) << s.step;
    }
}
