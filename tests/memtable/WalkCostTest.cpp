// What a master/detail walk, a record count and a partial-key locate look at:
// the records of their answer and a search, never the whole table. Each case
// compares the answer with a model kept beside the table and counts the
// entries and records the operation went through (Stepped), not the time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/rtl/Strings.h"
#include "tests/memtable/MemTableTestSupport.h"

using namespace mttest;

namespace {

struct Detail {
    int id;
    int master;
    std::string name;
    bool alive = true;
};

// Id, Master (integer), Name (string 20).
std::unique_ptr<TmtMemTable> MakeDetails() {
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->FieldDefs()->Add("Id", ftInteger);
    t->FieldDefs()->Add("Master", ftInteger);
    t->FieldDefs()->Add("Name", ftString, 20);
    return t;
}

void AddDetail(TDataSet* t, const Detail& d) {
    t->Append();
    t->FieldByName("Id")->SetAsInteger(d.id);
    t->FieldByName("Master")->SetAsInteger(d.master);
    t->FieldByName("Name")->SetAsString(d.name);
    t->Post();
}

std::vector<int> SortedIds(std::vector<int> ids) {
    std::sort(ids.begin(), ids.end());
    return ids;
}

}  // namespace

// Detail tables linked to a master of 200 keys, shown in an index that starts
// with the link field (ascending, descending, and one of two fields through
// DetailFields), with versioned deletes and a filter text on top: each master
// move and the walk of its details, forwards and back, give the model's rows
// and step through no more than them and a few entries, where a scan of the
// detail table steps through every row.
TEST(WalkCost, MasterMoveAndDetailWalkStepOnlyThroughTheDetails) {
    constexpr int kMasters = 200, kRows = 6000;
    struct Case {
        const char* fields;  // the detail index
        TIndexOptions options;
        const char* detailFields;
        bool versioned;
        const char* filter;
    };
    const Case cases[] = {
        {"Master", {}, "", false, ""},
        {"Master", {ixDescending}, "", true, ""},
        {"Master;Name", {}, "Master", true, "Name <> 'n7'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fields);
        auto master = std::make_unique<TmtMemTable>(nullptr);
        master->FieldDefs()->Add("Id", ftInteger);
        master->Open();
        for (int m = 0; m < kMasters; ++m) {
            master->Append();
            master->FieldByName("Id")->SetAsInteger(m * 3);  // every third key has no detail
            master->Post();
        }
        std::mt19937 rng(7);
        std::vector<Detail> model;
        auto details = MakeDetails();
        details->SetEnableVersioning(c.versioned);
        details->IndexDefs()->Add("Link", c.fields, c.options);
        details->Open();
        for (int i = 0; i < kRows; ++i) {
            const int m = static_cast<int>(rng() % (kMasters * 3));
            model.push_back({i + 1, m, "n" + std::to_string(rng() % 10)});
            AddDetail(details.get(), model.back());
        }
        details->SetIndexName("Link");
        // Deletes of every 13th row (kept as versions when versioning).
        for (Detail& d : model) {
            if (d.id % 13 != 0) continue;
            ASSERT_TRUE(details->Locate("Id", d.id, {}));
            details->Delete();
            d.alive = false;
        }
        if (*c.filter != 0) {
            details->SetFilter(c.filter);
            details->SetFiltered(true);
        }
        TDataSource source(nullptr);
        source.SetDataSet(master.get());
        details->SetDetailFields(c.detailFields);
        details->SetMasterFields("Id");
        details->SetMasterSource(&source);

        int walked = 0;
        for (master->First(); !master->Eof(); master->Next()) {
            const uint64_t before = details->Indexes()->Stepped();
            std::vector<int> forward;
            for (details->First(); !details->Eof(); details->Next())
                forward.push_back(details->FieldByName("Id")->AsInteger());
            const uint64_t stepped = details->Indexes()->Stepped() - before;
            std::vector<int> backward;
            for (details->Last(); !details->Bof(); details->Prior())
                backward.push_back(details->FieldByName("Id")->AsInteger());
            std::reverse(backward.begin(), backward.end());

            const int key = master->FieldByName("Id")->AsInteger();
            std::vector<int> expected;
            for (const Detail& d : model)
                if (d.alive && d.master == key && (*c.filter == 0 || d.name != "n7")) expected.push_back(d.id);
            ASSERT_EQ(SortedIds(forward), expected) << "master " << key;
            ASSERT_EQ(backward, forward) << "master " << key;
            // Every record of the run is looked at once by the walk and once
            // more by the step that finds no further one.
            EXPECT_LE(stepped, 3u * (expected.size() + 2)) << "master " << key;
            walked += static_cast<int>(expected.size());
        }
        EXPECT_GT(walked, kRows / 4);
    }
}

// A versioned table with deletes, a filtered one and a detail table: the
// record count is the model's after every change, and a second count with
// nothing changed in between looks at no record; a versioned table that only
// keeps its deleted rows' versions counts none at all.
TEST(WalkCost, RecordCountLooksAtRecordsOncePerChange) {
    constexpr int kRows = 3000;
    auto t = MakeDetails();
    t->SetEnableVersioning(true);
    t->Open();
    std::vector<Detail> model;
    for (int i = 0; i < kRows; ++i) {
        model.push_back({i + 1, i % 50, "n" + std::to_string(i % 7)});
        AddDetail(t.get(), model.back());
    }
    auto count = [&](bool filtered) {
        int n = 0;
        for (const Detail& d : model)
            if (d.alive && (!filtered || d.name == "n3")) ++n;
        return n;
    };
    auto stepsOf = [&](auto&& f) {
        const uint64_t before = t->Indexes()->Stepped();
        f();
        return t->Indexes()->Stepped() - before;
    };
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        // A delete, an edit and an append each round.
        Detail& gone = model[static_cast<std::size_t>(round * 97 + 5)];
        ASSERT_TRUE(t->Locate("Id", gone.id, {}));
        t->Delete();
        gone.alive = false;
        Detail& edited = model[static_cast<std::size_t>(round * 31 + 400)];
        ASSERT_TRUE(t->Locate("Id", edited.id, {}));
        t->Edit();
        edited.name = round % 2 == 0 ? "n3" : "n4";
        t->FieldByName("Name")->SetAsString(edited.name);
        t->Post();
        model.push_back({kRows + round + 1, 0, "n3"});
        AddDetail(t.get(), model.back());

        t->SetFiltered(false);
        int n = 0;
        EXPECT_EQ(stepsOf([&] { n = t->RecordCount(); }), 0u);
        EXPECT_EQ(n, count(false));

        t->SetFilter("Name = 'n3'");
        t->SetFiltered(true);
        EXPECT_LE(stepsOf([&] { n = t->RecordCount(); }), static_cast<uint64_t>(kRows + 10));
        EXPECT_EQ(n, count(true));
        EXPECT_EQ(stepsOf([&] { n = t->RecordCount(); }), 0u);
        EXPECT_EQ(n, count(true));
        t->SetFilter("");
        t->SetFiltered(false);
    }

    // A detail table counts the master's run.
    auto master = std::make_unique<TmtMemTable>(nullptr);
    master->FieldDefs()->Add("Id", ftInteger);
    master->Open();
    master->Append();
    master->FieldByName("Id")->SetAsInteger(17);
    master->Post();
    t->AddIndex("ByMaster", "Master", {});
    t->SetIndexName("ByMaster");
    TDataSource source(nullptr);
    source.SetDataSet(master.get());
    t->SetMasterFields("Id");
    t->SetMasterSource(&source);
    int expected = 0;
    for (const Detail& d : model)
        if (d.alive && d.master == 17) ++expected;
    int n = 0;
    EXPECT_LE(stepsOf([&] { n = t->RecordCount(); }), static_cast<uint64_t>(expected + 4));
    EXPECT_EQ(n, expected);
    EXPECT_EQ(stepsOf([&] { n = t->RecordCount(); }), 0u);
}

namespace {

// What a partial key matches, as the locate defines it: the text cut to the
// key's length in characters equals the key, with or without case.
bool StartsWithKey(const std::string& text, const std::string& key, bool ci) {
    const std::size_t n = Length(key);
    std::size_t cut = 0;
    for (std::size_t chars = 0; cut < text.size() && chars < n; ++chars) {
        ++cut;
        while (cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) ++cut;
    }
    const std::string head = text.substr(0, cut);
    return ci ? AnsiSameText(head, key) : AnsiSameStr(head, key);
}

// Letters without case or accents, as the collation's first level sees them
// (a stroke is an accent there too, and so is the dot of "l·").
std::string Plain(const std::string& s) {
    std::string plain = AnsiLowerCase(RemoveAccents(s));
    for (std::size_t at; (at = plain.find("ł")) != std::string::npos;) plain.replace(at, std::strlen("ł"), "l");
    for (std::size_t at; (at = plain.find("l·")) != std::string::npos;) plain.replace(at, std::strlen("l·"), "l");
    return plain;
}

}  // namespace

// Partial-key locates of names in pt-BR, with and without case, through the
// row order and through indexes of the name (plain, case-insensitive,
// descending) made current: each finds the first row of the table's order
// that a scan finds, and steps only through the rows whose name starts with
// the key's letters, never through the whole table (a key no row starts
// with steps through none).
TEST(WalkCost, PartialKeyLocateIsARangeSearchInAnIndexOfTheField) {
    const std::vector<std::string> first = {
        "Ana",   "ana",    "ANA",    "Ána",   "Álvaro", "alvaro", "André",   "Andre",   "Bruno",    "Çarla",
        "Carla", "carla",  "Łukasz", "l·lum", "L·lum",  "Lluís",  "Ágata",   "Zé",      "zezinho",  "São Paulo",
        "sao",   "O'Brien", "obrien", "co-op", "coop",   "Élida",  "ação",    "Acácio",  "\u0e40\u0e01"};
    const std::vector<std::string> last = {" Silva", " Souza", "", " Ávila", " d'Ávila", " Lima"};
    std::vector<std::pair<int, std::string>> rows;  // id, name ("" stored as empty; id % 97 == 3: null)
    auto t = MakeDetails();
    t->Open();
    constexpr int kRows = 2400;
    for (int i = 0; i < kRows; ++i) {
        const std::string name = first[(i * 7) % first.size()] + last[(i / 3) % last.size()];
        rows.push_back({i + 1, i % 97 == 3 ? std::string("\x01null") : name});
        t->Append();
        t->FieldByName("Id")->SetAsInteger(i + 1);
        if (i % 97 != 3) t->FieldByName("Name")->SetAsString(name);
        t->Post();
    }
    t->AddIndex("ByName", "Name", {});
    t->AddIndex("ByNameCI", "Name", {ixCaseInsensitive});
    t->AddIndex("ByNameDesc", "Name", {ixDescending});
    const std::vector<std::string> keys = {"",   "a",  "A",   "an",  "ana", "Ana",   "á",  "Á",   "al", "l",
                                           "L",  "l·", "lu",  "ll",  "ag",  "ág",    "sao", "são", "São P",
                                           "co", "co-", "O'", "ob",  "zz",  "Zé",    "ze",  "ç",   "c",   "Ł",
                                           "ł",  "a\u0301", "Ávila", "ação", "aca", "\u0e40", "Qx", "ANA S"};
    // Last, in row order with no index of the name: the index a locate adds
    // for itself (AutoAddIndexes) serves the partial keys too.
    for (const char* index : {"", "ByName", "ByNameCI", "ByNameDesc", "auto"}) {
        if (std::string(index) == "auto") {
            t->SetIndexName("");
            for (const char* name : {"ByName", "ByNameCI", "ByNameDesc"}) t->DeleteIndex(name);
            t->SetAutoAddIndexes(true);
        } else {
            t->SetIndexName(index);
        }
        // The table's order, walked: the order a scan goes through.
        std::vector<int> order;
        for (t->First(); !t->Eof(); t->Next()) order.push_back(t->FieldByName("Id")->AsInteger());
        for (bool ci : {false, true}) {
            for (const std::string& key : keys) {
                SCOPED_TRACE(std::string(index) + (ci ? " ci " : " cs ") + key);
                int expected = -1, letters = 0;
                uint64_t scan = order.size();  // the rows a scan reads up to its answer
                for (std::size_t k = 0; k < order.size(); ++k) {
                    const std::string& name = rows[static_cast<std::size_t>(order[k] - 1)].second;
                    if (name == "\x01null") continue;
                    if (expected < 0 && StartsWithKey(name, key, ci)) {
                        expected = order[k];
                        scan = k + 1;
                    }
                    if (Plain(name).rfind(Plain(key), 0) == 0) ++letters;
                }
                TLocateOptions options{loPartialKey};
                if (ci) options.Include(loCaseInsensitive);
                t->First();
                const uint64_t before = t->Indexes()->Stepped();
                const bool found = t->Locate("Name", key, options);
                const uint64_t stepped = t->Indexes()->Stepped() - before;
                ASSERT_EQ(found, expected >= 0);
                if (found) EXPECT_EQ(t->FieldByName("Id")->AsInteger(), expected);
                // (A Thai vowel sign goes after the consonant that follows
                // it: a key ending in one has no run of its own.) In another
                // order than the index's, the cheaper of its scan and the
                // index's run, with at most as much again spent on the other.
                const bool another = std::string(index).empty() || std::string(index) == "auto";
                const uint64_t cheaper = another ? std::min<uint64_t>(scan, letters) : letters;
                if (key != "\u0e40") EXPECT_LE(stepped, (another ? 2 : 1) * cheaper + 2);
            }
        }
    }
}

// Distinct names, as a register of clients holds them, and partial keys of
// one to three letters, the row order current and an index of the name
// present (plain or case-blind): the first row in row order that starts
// with the key comes long before the end of the key's run in the index.
// A locate reads no more than twice what the cheaper of a scan of the row
// order and the index's run reads, and finds the scan's answer.
TEST(WalkCost, ShortPartialKeysOverDistinctNamesReadTheCheaperRoad) {
    constexpr int kRows = 20000;
    std::mt19937 rng(6);
    std::vector<std::string> names;
    auto t = MakeDetails();
    t->Open();
    for (int i = 0; i < kRows; ++i) {
        std::string name;
        for (int k = 0; k < 6; ++k) name += static_cast<char>((k == 0 ? 'A' : 'a') + rng() % 26);
        names.push_back(name + " " + std::to_string(i));
        AddDetail(t.get(), {i + 1, 0, names.back()});
    }
    for (const char* index : {"ByName", "ByNameCI"}) {
        t->AddIndex(index, "Name", std::string(index) == "ByName" ? TIndexOptions{} : TIndexOptions{ixCaseInsensitive});
        for (int k = 0; k < 60; ++k) {
            const std::string& of = names[rng() % names.size()];
            std::string key = of.substr(0, 1 + k % 3);
            const bool ci = k % 2 == 1;
            if (ci) key = AnsiLowerCase(key);
            uint64_t scan = kRows, run = 0;
            int expected = -1;
            for (int i = 0; i < kRows; ++i) {
                const std::string cut = names[static_cast<std::size_t>(i)].substr(0, key.size());
                if ((ci ? AnsiCompareText(cut, key) : AnsiCompareStr(cut, key)) != 0) continue;
                if (expected < 0) {
                    expected = i + 1;
                    scan = static_cast<uint64_t>(i) + 1;
                }
                ++run;
            }
            SCOPED_TRACE(std::string(index) + " " + key + (ci ? " ci" : " cs"));
            TLocateOptions options{loPartialKey};
            if (ci) options.Include(loCaseInsensitive);
            t->First();
            const uint64_t before = t->Indexes()->Stepped();
            ASSERT_TRUE(t->Locate("Name", key, options));
            const uint64_t stepped = t->Indexes()->Stepped() - before;
            EXPECT_EQ(t->FieldByName("Id")->AsInteger(), expected);
            EXPECT_LE(stepped, 2 * std::min(scan, run) + 2) << "scan " << scan << ", run " << run;
        }
    }
}

// Names whose first letters differ from a key's only in an accent or in case
// sort in among the names that start with the key (pt-BR orders by the
// letters first): thousands of "Açucena" come before the first "Álvaro".
// A partial-key locate through the name's index, current, finds what a scan
// finds, and once it has been through the table it reads only the runs of
// entries that hold names of the key's start letters, not every "Açucena"
// again; a change in between is seen at once. Runs holding a name the
// case-blind fold cannot take (Æ, a ligature, Thai, bytes that are no
// UTF-8) are read whole.
TEST(WalkCost, PartialKeyLocatesGoPastNamesOfOtherAccents) {
    const std::vector<std::string> first = {"Açucena", "Álvaro", "álvaro", "Ana",   "ÂNGELA", "Ângela", "Antônio",
                                            "Antonio", "Cecília", "César",  "Édson", "Eduardo", "Elaine", "Ênio",
                                            "Joao",    "João",    "joão",   "Joaquim"};
    const std::vector<std::string> rare = {"ÆLFRED", "Ælfred", "\xef\xac\x80" "f",  "\u0e40\u0e01", "l\u00b7l",
                                           "\xc3\x81\xc3", "A\u0301lvaro"};
    auto t = MakeDetails();
    t->Open();
    std::vector<std::string> names;  // by id - 1
    auto add = [&](const std::string& name) {
        names.push_back(name);
        AddDetail(t.get(), {static_cast<int>(names.size()), 0, name});
    };
    std::mt19937 rng(5);
    for (int i = 0; i < 12000; ++i) {
        // Açucena, Ana, Antonio and Joao ten times as often as the others.
        std::size_t f = rng() % (first.size() + 36);
        if (f >= first.size()) f = std::vector<std::size_t>{0, 3, 7, 14}[(f - first.size()) % 4];
        add(first[f] + " " + static_cast<char>('A' + rng() % 26) + static_cast<char>('a' + rng() % 26));
    }
    for (int i = 0; i < 40; ++i) add(rare[static_cast<std::size_t>(i) % rare.size()] + " " + std::to_string(i));
    t->AddIndex("ByName", "Name", {});
    t->AddIndex("ByNameCI", "Name", {ixCaseInsensitive});
    t->AddIndex("ByNameDesc", "Name", {ixDescending});
    const std::vector<std::string> keys = {"Á",  "á",  "Â",    "Ê",        "Ên",  "Joã",      "João",       "joão",
                                           "Cé", "Ant", "Antô", "Ângela X", "ÂN",  "Æ",        "æ",          "\xef\xac\x80",
                                           "l",  "A",  "a",    "\xc3\x81",  "Ab", "Álvaro Zz", "\u0e40\u0e01", ""};
    auto lower = [](const std::string& s, std::size_t chars) {
        return AnsiLowerCase(s.substr(0, utf8::ByteOffset(s, std::min(chars, static_cast<std::size_t>(Length(s))))));
    };
    for (const char* index : {"ByName", "ByNameCI", "ByNameDesc"}) {
        t->SetIndexName(index);
        for (int round = 0; round < 2; ++round) {
            if (round == 1) {
                // Among the first "Açucena": the first "Â…" and "á…" now.
                add("Âcucena Aa");
                add("ácucena Aa");
            }
            std::vector<int> order;
            for (t->First(); !t->Eof(); t->Next()) order.push_back(t->FieldByName("Id")->AsInteger());
            for (bool ci : {false, true}) {
                for (const std::string& key : keys) {
                    SCOPED_TRACE(std::string(index) + (ci ? " ci " : " cs ") + key + " round " + std::to_string(round));
                    // The first match in the table's order, and the names
                    // before it whose first letters (up to four) are the
                    // key's but for case: those the locate must read.
                    int expected = -1;
                    uint64_t sameStart = 0;
                    const std::size_t letters = std::min<std::size_t>(static_cast<std::size_t>(Length(key)), 4);
                    for (int id : order) {
                        const std::string& name = names[static_cast<std::size_t>(id - 1)];
                        if (StartsWithKey(name, key, ci)) {
                            expected = id;
                            break;
                        }
                        if (lower(name, letters) == lower(key, letters)) ++sameStart;
                    }
                    TLocateOptions options{loPartialKey};
                    if (ci) options.Include(loCaseInsensitive);
                    for (int pass = 0; pass < 2; ++pass) {
                        t->First();
                        const uint64_t before = t->Indexes()->Stepped();
                        const bool found = t->Locate("Name", key, options);
                        const uint64_t stepped = t->Indexes()->Stepped() - before;
                        ASSERT_EQ(found, expected >= 0) << pass;
                        if (found) {
                            EXPECT_EQ(t->FieldByName("Id")->AsInteger(), expected) << pass;
                        }
                        // The second time: the runs of other start letters
                        // are gone past, and a few runs on the edges (or
                        // holding a rare name) are read whole.
                        if (pass == 1 && !key.empty())
                            EXPECT_LE(stepped, sameStart + 4 * TmtIndex::kPrefixRun) << pass;
                    }
                }
            }
        }
    }
}

// The case fold that lets a case-blind partial key go past runs of names
// folds exactly as the collation does on every character it takes: two of
// them are equal but for case to AnsiSameText exactly when their folds are
// equal. It refuses those where a fold of single characters cannot follow
// the collation (ß and æ are two letters to it, ª is an a).
TEST(WalkCost, CaseFoldOfPartialKeysIsTheCollations) {
    std::vector<std::string> taken;
    for (char32_t c = 0x20; c <= 0x24F; ++c) {
        std::string s;
        utf8::Append(s, c);
        std::string folded;
        if (memtable::FoldCase(s, folded)) taken.push_back(s);
    }
    EXPECT_GE(taken.size(), 150u);
    std::string unused;
    for (const char* refused : {"ß", "æ", "Æ", "ª", "º", "µ", "²", "\u00a0", "\u00ad", "Ÿ", "ﬀ", "\t"})
        EXPECT_FALSE(memtable::FoldCase(refused, unused)) << refused;
    for (const std::string& a : taken) {
        std::string fa;
        memtable::FoldCase(a, fa);
        for (const std::string& b : taken) {
            std::string fb;
            memtable::FoldCase(b, fb);
            ASSERT_EQ(AnsiSameText(a, b), fa == fb) << a << " " << b;
        }
    }
}

// Detail tables whose current index does not start with the link (row
// order, an index on Id descending) while another index does, or none does
// and the table adds one: integer and text links, one and two fields,
// ascending and descending, with versioned deletes, a filter text, deletes
// and appends while linked, and edits, deletes and appends between two
// rounds. Each master move shows the model's rows in the current index's
// order, and the move, the walk and the record count step through the
// link's records and a score of entries for each, not the table, with few
// details per master or many; a whole round, its link and its changes
// included, reads the current index once at most besides a block of it for
// each change. A count right after an edit of the link in another view reads
// none of the link's records unless a filter text is on.
TEST(WalkCost, MasterDetailFindsTheLinkThroughAnIndexThatIsNotCurrent) {
    constexpr int kRows = 12000;
    constexpr uint64_t kBlock = memtable::BlockList<int32_t>::kFull, kSweep = 16;
    struct Case {
        const char* link;          // the detail index on the link ("": none)
        TIndexOptions options;
        const char* detailFields;  // linked to the master's Id (and Tag)
        bool byIdDescending;       // current index: Id descending, else row order
        bool versioned;
        const char* filter;
        bool autoAdd;
        int masters;
    };
    const Case cases[] = {
        {"Master", {}, "Master", false, false, "", false, 120},
        {"Master", {ixDescending}, "Master", true, true, "", false, 120},
        {"Master;Name", {}, "Master;Name", false, true, "Id <> 17", false, 120},
        {"Name", {}, "Name", true, false, "", false, 120},
        {"Name", {ixDescending}, "Name", false, true, "Master > 40", false, 120},
        {"", {}, "Master", true, false, "", true, 120},
        // About four hundred details per master.
        {"Master", {}, "Master", true, true, "", false, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.detailFields) + " over index '" + c.link + "', " + std::to_string(c.masters) +
                     " masters");
        const int masters = c.masters;
        const bool text = std::string(c.detailFields) == "Name";
        const bool two = std::string(c.detailFields).find(';') != std::string::npos;
        auto master = std::make_unique<TmtMemTable>(nullptr);
        master->FieldDefs()->Add("Id", ftInteger);
        master->FieldDefs()->Add("Tag", ftString, 20);
        master->Open();
        for (int m = 0; m < masters; ++m) {
            master->Append();
            master->FieldByName("Id")->SetAsInteger(m);
            master->FieldByName("Tag")->SetAsString(two ? "n" + std::to_string(m % 3) : "n" + std::to_string(m));
            master->Post();
        }
        std::mt19937 rng(11);
        std::vector<Detail> model;  // in the order of the appends: the row order
        auto details = MakeDetails();
        details->SetEnableVersioning(c.versioned);
        details->SetAutoAddIndexes(c.autoAdd);
        if (*c.link != 0) details->IndexDefs()->Add("Link", c.link, c.options);
        details->IndexDefs()->Add("ById", "Id", {ixDescending});
        // Another view of the same records, whose edits the detail table
        // is not told of at once.
        TmtMemTable view(nullptr);
        view.SetAttachedTo(details.get());
        view.SetAttachedAutoRefresh(false);
        details->Open();
        view.Open();
        int nextId = 1;
        auto add = [&] {
            const int m = static_cast<int>(rng() % (masters + masters / 4));
            model.push_back({nextId++, m, "n" + std::to_string(two ? rng() % 3 : rng() % (masters + 20))});
            AddDetail(details.get(), model.back());
        };
        for (int i = 0; i < kRows; ++i) add();
        if (c.byIdDescending) details->SetIndexName("ById");
        details->SetFilter(c.filter);
        auto remove = [&](Detail& d) {
            ASSERT_TRUE(details->Locate("Id", d.id, {}));
            details->Delete();
            d.alive = false;
        };
        for (Detail& d : model)
            if (d.id % 11 == 0) remove(d);
        TDataSource source(nullptr);
        source.SetDataSet(master.get());
        auto link = [&](bool on) {
            details->SetFiltered(on && *c.filter != 0);
            if (!on) details->SetMasterSource(nullptr);
            details->SetDetailFields(on ? c.detailFields : "");
            details->SetMasterFields(on ? (text ? "Tag" : two ? "Id;Tag" : "Id") : "");
            details->SetMasterSource(on ? &source : nullptr);
        };
        auto shown = [&](const Detail& d, int key, const std::string& tag) {
            if (!d.alive) return false;
            if (text ? d.name != tag : d.master != key || (two && d.name != tag)) return false;
            if (std::string(c.filter) == "Id <> 17" && d.id == 17) return false;
            return std::string(c.filter) != "Master > 40" || d.master > 40;
        };
        auto linkedRecords = [&](int key, const std::string& tag) {
            int n = 0;
            for (const Detail& d : model)
                n += d.alive && (text ? d.name == tag : d.master == key && (!two || d.name == tag)) ? 1 : 0;
            return n;
        };
        for (int round = 0; round < 2; ++round) {
            const uint64_t roundFrom = details->Indexes()->Stepped();
            uint64_t allowed = kRows;
            uint64_t moveFrom = details->Indexes()->Stepped();
            link(true);
            int walked = 0;
            for (master->First(); !master->Eof(); moveFrom = details->Indexes()->Stepped(), master->Next()) {
                const uint64_t moved = details->Indexes()->Stepped() - moveFrom;
                const int key = master->FieldByName("Id")->AsInteger();
                const std::string tag = master->FieldByName("Tag")->AsString();
                std::vector<int> expected;
                for (const Detail& d : model)
                    if (shown(d, key, tag)) expected.push_back(d.id);
                if (c.byIdDescending) std::sort(expected.rbegin(), expected.rend());
                const uint64_t before = details->Indexes()->Stepped();
                std::vector<int> forward;
                for (details->First(); !details->Eof(); details->Next())
                    forward.push_back(details->FieldByName("Id")->AsInteger());
                const int count = details->RecordCount();
                const uint64_t stepped = details->Indexes()->Stepped() - before;
                std::vector<int> backward;
                for (details->Last(); !details->Bof(); details->Prior())
                    backward.push_back(details->FieldByName("Id")->AsInteger());
                std::reverse(backward.begin(), backward.end());
                ASSERT_EQ(forward, expected) << "master " << key << " round " << round;
                ASSERT_EQ(backward, forward) << "master " << key;
                ASSERT_EQ(count, static_cast<int>(expected.size())) << "master " << key;
                // The run is read to place its records in the current order,
                // then walked, then counted.
                const auto run = static_cast<uint64_t>(linkedRecords(key, tag));
                EXPECT_LE(stepped, 5 * run + 8) << "master " << key;
                // The move places the run's records, each found by its key
                // among the few of that key, reads the current index on by
                // kSweep entries for each, and shows the first; the first
                // move holds the link, which places the records of the
                // master it finds current. In the row order an id is found
                // in its block by its distance from the block's first, else
                // by bisection; a block whose ids reused slots put out of
                // place is read once for those.
                EXPECT_LE(moved, (key == 0 ? 3 : 1) * (kSweep + 3) * run + 8 + (c.byIdDescending ? 0 : kBlock))
                    << "master " << key << " round " << round;
                // Placed at the move, walked both ways and counted.
                allowed += 7 * run + 8;
                walked += static_cast<int>(expected.size());
                // An edit of the link in another view of the records: the
                // first detail shown goes to the next master. The count
                // after it takes the length of the link's run, where
                // nothing but the link hides a record: none is read nor
                // placed.
                if (key % 3 == 1 && !forward.empty()) {
                    const int moved = forward.front();
                    ASSERT_TRUE(view.Locate("Id", moved, {}));
                    view.Edit();
                    for (Detail& d : model)
                        if (d.id == moved) {
                            if (text)
                                d.name = "n" + std::to_string(key + 1);
                            else
                                d.master = key + 1;
                            view.FieldByName("Master")->SetAsInteger(d.master);
                            view.FieldByName("Name")->SetAsString(d.name);
                        }
                    view.Post();
                    int left = 0;
                    for (const Detail& d : model) left += shown(d, key, tag) ? 1 : 0;
                    const uint64_t from = details->Indexes()->Stepped();
                    ASSERT_EQ(details->RecordCount(), left) << "master " << key;
                    const uint64_t counted = details->Indexes()->Stepped() - from;
                    EXPECT_LE(counted, *c.filter == 0 ? 0u : 2 * run + 8) << "master " << key;
                    allowed += 2 * run + 8 + kBlock;
                }
                // A delete while linked: the next move sees it gone.
                if (key % 7 == 0 && !forward.empty()) {
                    details->Last();
                    const int gone = details->FieldByName("Id")->AsInteger();
                    details->Delete();
                    for (Detail& d : model)
                        if (d.id == gone) d.alive = false;
                    allowed += kBlock;
                }
                // An append while linked, of the next master's: first of
                // the descending order, last of the row order.
                if (key % 5 == 0) {
                    const int next = key + 1;
                    model.push_back({nextId++, next, "n" + std::to_string(two ? next % 3 : next)});
                    AddDetail(details.get(), model.back());
                    allowed += kBlock;
                }
            }
            EXPECT_GT(walked, kRows / 8);
            EXPECT_LE(details->Indexes()->Stepped() - roundFrom, allowed) << "round " << round;
            // Edits of the link's fields, deletes and appends, unlinked.
            link(false);
            for (int k = 0; k < 60; ++k) {
                Detail& d = model[rng() % model.size()];
                if (!d.alive) continue;
                ASSERT_TRUE(details->Locate("Id", d.id, {}));
                details->Edit();
                d.master = static_cast<int>(rng() % masters);
                if (!two) d.name = "n" + std::to_string(rng() % masters);
                details->FieldByName("Master")->SetAsInteger(d.master);
                details->FieldByName("Name")->SetAsString(d.name);
                details->Post();
            }
            for (int k = 0; k < 40; ++k)
                if (Detail& d = model[rng() % model.size()]; d.alive) remove(d);
            for (int k = 0; k < 40; ++k) add();
        }
    }
}

// Locates and lookups on two fields where an index holds one of them (a
// unique key on Id, an index on Name), none of them current: the answer is
// the scan's, the first match in the current order (row order, or an index
// on Master), found among the records of the indexed field's value.
TEST(WalkCost, LocateOnTwoFieldsNarrowsByAnIndexOnEitherField) {
    constexpr int kRows = 6000;
    auto t = MakeDetails();
    t->IndexDefs()->Add("ById", "Id", {ixUnique});
    t->IndexDefs()->Add("ByName", "Name", {});
    t->IndexDefs()->Add("ByMaster", "Master", {});
    t->Open();
    std::mt19937 rng(5);
    std::vector<Detail> model;
    for (int i = 0; i < kRows; ++i) {
        model.push_back({i + 1, static_cast<int>(rng() % 40), "n" + std::to_string(rng() % 300)});
        AddDetail(t.get(), model.back());
    }
    struct Case {
        const char* fields;
        bool idFirst;  // Id;Name, else Name;Master
        const char* current;
        bool lookup;
    };
    const Case cases[] = {
        {"Id;Name", true, "", false},         {"Name;Id", true, "", false},
        {"Name;Master", false, "", false},    {"Master;Name", false, "ByMaster", false},
        {"Id;Name", true, "ByMaster", true},  {"Name;Master", false, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fields) + " in " + (*c.current != 0 ? c.current : "row order"));
        t->SetIndexName(c.current);
        std::vector<int> order;  // ids in the current order
        for (t->First(); !t->Eof(); t->Next()) order.push_back(t->FieldByName("Id")->AsInteger());
        for (int k = 0; k < 200; ++k) {
            const Detail& pick = model[rng() % model.size()];
            // Half the keys hold a second value of another row: a miss.
            const Detail& other = model[rng() % model.size()];
            const bool miss = k % 2 == 1;
            const int id = pick.id, masterKey = miss ? other.master : pick.master;
            const std::string name = miss && c.idFirst ? other.name : pick.name;
            const bool idFirst = std::string(c.fields).rfind("Id", 0) == 0;
            const bool nameFirst = std::string(c.fields).rfind("Name", 0) == 0;
            Variant key = c.idFirst ? (idFirst ? VarArrayOf({id, name}) : VarArrayOf({name, id}))
                                    : (nameFirst ? VarArrayOf({name, masterKey}) : VarArrayOf({masterKey, name}));
            int expected = -1;
            int sameValue = 0;  // records of the indexed field's value
            int currentRun = 0;  // records of the current index's value
            for (int i : order) {
                const Detail& d = model[static_cast<std::size_t>(i - 1)];
                const bool hit = c.idFirst ? d.id == id && d.name == name : d.name == name && d.master == masterKey;
                if (hit && expected < 0) expected = i;
                sameValue += (c.idFirst ? d.id == id : d.name == name) ? 1 : 0;
                currentRun += *c.current != 0 && d.master == masterKey ? 1 : 0;
            }
            t->First();
            const uint64_t before = t->Indexes()->Stepped();
            int got = -1;
            if (c.lookup) {
                Variant v = t->Lookup(c.fields, key, "Id");
                got = v.IsNull() ? -1 : v.AsInteger();
            } else if (t->Locate(c.fields, key, {})) {
                got = t->FieldByName("Id")->AsInteger();
            }
            const uint64_t stepped = t->Indexes()->Stepped() - before;
            ASSERT_EQ(got, expected) << "key " << k;
            // The matches are placed in the current order among the
            // current index's records of their value.
            EXPECT_LE(stepped, 2u * static_cast<uint64_t>(sameValue) + static_cast<uint64_t>(currentRun) + 8)
                << "key " << k;
        }
    }
}

namespace {

// One index of the matrix: plain, case-blind, descending or unique.
enum class Kind { Plain, Blind, Desc, Unique };
const char* KindName(Kind k) {
    return k == Kind::Plain ? "Plain" : k == Kind::Blind ? "Blind" : k == Kind::Desc ? "Desc" : "Unique";
}

// Every set of one to three of the given kinds.
std::vector<std::vector<Kind>> SetsOf(const std::vector<Kind>& kinds) {
    std::vector<std::vector<Kind>> sets;
    for (unsigned mask = 1; mask < (1u << kinds.size()); ++mask) {
        std::vector<Kind> s;
        for (std::size_t i = 0; i < kinds.size(); ++i)
            if (mask >> i & 1) s.push_back(kinds[i]);
        if (s.size() <= 3) sets.push_back(s);
    }
    return sets;
}

std::string AsciiLower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

// The one rule for a search, cell by cell: index sets of one to three
// indexes of Name (plain, case-blind, descending, unique), each current in
// turn and the row order; locates exact and partial, with and without
// loCaseInsensitive, on one to three fields. For every cell the entries the
// locate steps through stay within a few times those of the cheapest way,
// worked out here by brute force over the rows: the scan of the current
// order up to its first match; the current index's run of the name (as the
// index and the search compare it) up to its first match; another index's
// run, read whole and its matches placed in the current order.
TEST(WalkCost, EverySearchReadsWithinAFewTimesTheCheapestWay) {
    constexpr int kRows = 3000;
    const char* const kCases[] = {"nome ", "Nome ", "NOME "};
    struct R {
        int id, master;
        std::string name, lower;
    };
    int cells = 0;
    for (const bool distinct : {false, true}) {
        std::mt19937 rng(distinct ? 5 : 3);
        std::vector<R> rows;
        for (int i = 0; i < kRows; ++i) {
            const int base = distinct ? i : static_cast<int>(rng() % 12);
            const int master = static_cast<int>(rng() % 7);
            const std::string name = std::string(kCases[rng() % 3]) + std::to_string(base);
            rows.push_back({i + 1, master, name, AsciiLower(name)});
        }
        const std::vector<std::vector<Kind>> sets =
            distinct ? std::vector<std::vector<Kind>>{{Kind::Unique},
                                                      {Kind::Unique, Kind::Blind},
                                                      {Kind::Unique, Kind::Desc},
                                                      {Kind::Unique, Kind::Blind, Kind::Desc}}
                     : SetsOf({Kind::Plain, Kind::Blind, Kind::Desc});
        for (const std::vector<Kind>& set : sets) {
            // -1: the row order; set.size(): a sort on the name, then the locates.
            for (int current = -1; current <= static_cast<int>(set.size()); ++current) {
                const bool sorted = current == static_cast<int>(set.size());
                std::vector<Kind> ways = set;
                if (sorted) ways.push_back(Kind::Plain);
                auto t = MakeDetails();
                t->Open();
                for (const R& r : rows) AddDetail(t.get(), {r.id, r.master, r.name});
                // The current one first: a tie goes to none of the others.
                std::vector<Kind> order = set;
                if (current >= 0 && !sorted)
                    std::rotate(order.begin(), order.begin() + current, order.begin() + current + 1);
                for (Kind k : order)
                    t->AddIndex(KindName(k), "Name",
                                k == Kind::Blind    ? TIndexOptions{ixCaseInsensitive}
                                : k == Kind::Desc   ? TIndexOptions{ixDescending}
                                : k == Kind::Unique ? TIndexOptions{ixUnique}
                                                    : TIndexOptions{});
                if (sorted)
                    t->SortOn("Name", {});
                else
                    t->SetIndexName(current < 0 ? "" : KindName(set[static_cast<std::size_t>(current)]));
                std::string setText;
                for (Kind k : set) setText += std::string(KindName(k)) + " ";
                SCOPED_TRACE(setText + "with " + (current < 0 ? "the row order" : sorted ? "a sort" : t->IndexName()) +
                             " current" +
                             (distinct ? ", distinct names" : ""));
                std::vector<int> walk;  // row numbers in the current order
                for (t->First(); !t->Eof(); t->Next()) walk.push_back(t->FieldByName("Id")->AsInteger() - 1);
                ASSERT_EQ(walk.size(), rows.size());
                std::vector<int> at(rows.size());
                for (std::size_t p = 0; p < walk.size(); ++p) at[static_cast<std::size_t>(walk[p])] = static_cast<int>(p);
                for (int fields = 1; fields <= 3; ++fields)
                    for (const bool partial : {false, true})
                        for (const bool ci : {false, true})
                            for (int k = 0; k < 4; ++k) {
                                const R& from = rows[rng() % rows.size()];
                                std::string name = from.name;
                                if (ci) name = k % 2 == 0 ? AsciiLower(name) : AnsiUpperCase(name);
                                if (partial) name = name.substr(0, name.size() - (k == 3 ? 3 : 1));
                                if (k == 2 && !partial) name += "x";  // a miss
                                const int master = k == 1 ? (from.master + 1) % 7 : from.master;
                                const std::string lower = AsciiLower(name);
                                auto nameIs = [&](const R& r, bool blind) {
                                    const std::string& have = blind ? r.lower : r.name;
                                    const std::string& key = blind ? lower : name;
                                    if (partial) return have.size() >= key.size() && have.compare(0, key.size(), key) == 0;
                                    return have == key;
                                };
                                // A partial name that is not the whole text ends the
                                // comparison as a match: the fields after it are not compared.
                                auto matches = [&](const R& r) {
                                    if (partial && nameIs(r, ci) && r.name.size() != name.size()) return true;
                                    return nameIs(r, ci) && (fields < 2 || r.master == master) &&
                                           (fields < 3 || r.id == from.id);
                                };
                                // The brute force: each way's entries, the cheapest of them.
                                int firstAt = -1;
                                for (std::size_t p = 0; p < walk.size() && firstAt < 0; ++p)
                                    if (matches(rows[static_cast<std::size_t>(walk[p])])) firstAt = static_cast<int>(p);
                                long cheapest = firstAt >= 0 ? firstAt + 1 : kRows;
                                for (std::size_t x = 0; x < ways.size(); ++x) {
                                    // A partial key's run holds every case of its start
                                    // in any index: the collation orders letters before case.
                                    const bool blind = ways[x] == Kind::Blind || ci || partial;
                                    long run = 0, hits = 0, runFrom = kRows;
                                    for (std::size_t i = 0; i < rows.size(); ++i)
                                        if (nameIs(rows[i], blind)) {
                                            ++run;
                                            hits += matches(rows[i]) ? 1 : 0;
                                            runFrom = std::min<long>(runFrom, at[i]);
                                        }
                                    if (static_cast<int>(x) == current)
                                        cheapest = std::min(cheapest, firstAt >= 0 ? firstAt - runFrom + 1 : run);
                                    else
                                        cheapest = std::min(cheapest, run + hits);
                                }
                                cheapest = std::max(cheapest, 1L);
                                std::string fieldText = fields == 1 ? "Name" : fields == 2 ? "Name;Master" : "Name;Master;Id";
                                std::vector<Variant> values = {Variant(name), Variant(master), Variant(from.id)};
                                TLocateOptions o;
                                if (ci) o.Include(loCaseInsensitive);
                                if (partial) o.Include(loPartialKey);
                                const uint64_t before = t->Indexes()->Stepped();
                                const bool found =
                                    fields == 1 ? t->Locate(fieldText, name, o)
                                                : t->Locate(fieldText,
                                                            VarArrayOf(std::vector<Variant>(values.begin(),
                                                                                            values.begin() + fields)),
                                                            o);
                                const uint64_t stepped = t->Indexes()->Stepped() - before;
                                const std::string cell = fieldText + " = '" + name + "'" + (ci ? " loCaseInsensitive" : "") +
                                                         (partial ? " loPartialKey" : "");
                                ASSERT_EQ(found, firstAt >= 0) << cell;
                                if (found) ASSERT_EQ(t->RecNo(), firstAt + 1) << cell;
                                EXPECT_LE(stepped, static_cast<uint64_t>(4 * cheapest + 2 * 12 + 8))
                                    << cell << ", cheapest " << cheapest;
                                ++cells;
                            }
            }
        }
    }
    EXPECT_GT(cells, 1000);
}

// Counts and moves of a detail table whose masters' details lie all over
// it (every twelfth row), with the row order, the link's index or another
// index current, with and without versioning: after each master move, after
// an edit of the link, a delete and an append, the count is the model's and
// reads the length of the link's run, not its records' places; a move reads
// within a few times the master's details.
TEST(WalkCost, EveryLinkCountAndMoveReadsWithinAFewTimesItsRun) {
    constexpr int kMasters = 12, kRows = 2400;
    for (const char* current : {"", "Link", "ByName"})
        for (const bool versioned : {false, true}) {
            SCOPED_TRACE(std::string(*current == 0 ? "row order" : current) + (versioned ? ", versioned" : ""));
            auto master = std::make_unique<TmtMemTable>(nullptr);
            master->FieldDefs()->Add("Id", ftInteger);
            master->Open();
            for (int m = 0; m < kMasters; ++m) {
                master->Append();
                master->FieldByName("Id")->SetAsInteger(m);
                master->Post();
            }
            auto details = MakeDetails();
            details->SetEnableVersioning(versioned);
            details->Open();
            std::vector<Detail> model;
            int nextId = 1;
            for (int i = 0; i < kRows; ++i) {
                model.push_back({nextId++, i % kMasters, "n" + std::to_string(i % 37)});
                AddDetail(details.get(), model.back());
            }
            details->AddIndex("Link", "Master", {});
            details->AddIndex("ByName", "Name", {});
            details->SetIndexName(current);
            TDataSource source(nullptr);
            source.SetDataSet(master.get());
            details->SetMasterFields("Id");
            details->SetDetailFields("Master");
            details->SetMasterSource(&source);
            master->First();
            auto steps = [&](auto&& f) {
                const uint64_t before = details->Indexes()->Stepped();
                f();
                return details->Indexes()->Stepped() - before;
            };
            auto run = [&](int key) {
                int n = 0;
                for (const Detail& d : model) n += d.alive && d.master == key ? 1 : 0;
                return n;
            };
            constexpr uint64_t kLog = 12;
            for (int move = 0; move < 3 * kMasters; ++move) {
                const int key = master->FieldByName("Id")->AsInteger();
                int n = 0;
                const uint64_t moved = steps([&] { details->First(); });
                EXPECT_LE(moved, static_cast<uint64_t>(20 * run(key)) + 4 * kLog) << "move " << move;
                EXPECT_LE(steps([&] { n = details->RecordCount(); }), 4 * kLog) << "move " << move;
                EXPECT_EQ(n, run(key)) << "move " << move;
                switch (move % 4) {
                    case 0: {  // the first detail shown goes to the next master
                        const int id = details->FieldByName("Id")->AsInteger();
                        details->Edit();
                        details->FieldByName("Master")->SetAsInteger((key + 1) % kMasters);
                        details->Post();
                        for (Detail& d : model)
                            if (d.id == id) d.master = (key + 1) % kMasters;
                        break;
                    }
                    case 1: {
                        details->Last();
                        const int id = details->FieldByName("Id")->AsInteger();
                        details->Delete();
                        for (Detail& d : model)
                            if (d.id == id) d.alive = false;
                        break;
                    }
                    case 2:
                        model.push_back({nextId++, key, "n" + std::to_string(nextId % 37)});
                        AddDetail(details.get(), model.back());
                        break;
                    default: break;
                }
                EXPECT_LE(steps([&] { n = details->RecordCount(); }), 4 * kLog) << "move " << move;
                EXPECT_EQ(n, run(key)) << "move " << move;
                std::vector<int> shown;
                for (details->First(); !details->Eof(); details->Next())
                    shown.push_back(details->FieldByName("Id")->AsInteger());
                std::vector<int> expected;
                for (const Detail& d : model)
                    if (d.alive && d.master == key) expected.push_back(d.id);
                ASSERT_EQ(SortedIds(shown), expected) << "move " << move;
                master->Next();
                if (master->Eof()) master->First();
            }
        }
}
