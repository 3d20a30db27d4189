// Pipelines against models run beside them: every range combination over
// random tables walks the records a plain loop over positions names, and
// master/detail walks with random keys (nulls, descending order, letters
// that differ only in case or accent, GUIDs under two orders) give what a
// nested-loop join gives, over memory tables and over SQLite queries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/db/SQLQuery.h"
#include "platform/db/SQLSchema.h"
#include "platform/db/SQLiteDatabase.h"
#include "platform/rtl/Strings.h"
#include "tests/report/PipelineTestSupport.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/platform/db/SQLFileFixture.h"

using pipetest::Row;
using pipetest::TablePipeline;
using pipetest::Walk;

namespace {

// ---------------------------------------------------------------------------
// Ranges

// Positions a range walks over N records, K being the range bookmark's
// position. The direction is backwards when the range ends at the first
// record, or begins at the last without ending there. A range that starts
// on the data's end it travels towards (first to first, last to last) is
// empty: the data already stands at that end.
std::vector<int> RangeModel(int N, TrpRangeBeginType Begin, TrpRangeEndType End, int Count, int K) {
    std::vector<int> out;
    if (N == 0) return out;
    const int dir = (End == reFirstRecord || (Begin == rbLastRecord && End != reLastRecord)) ? -1 : 1;
    if ((Begin == rbFirstRecord && End == reFirstRecord) || (Begin == rbLastRecord && End == reLastRecord)) return out;
    const int start = Begin == rbFirstRecord ? 0 : (Begin == rbLastRecord ? N - 1 : K);
    if (Begin == rbCurrentRecord && End == reCurrentRecord) return {K};
    int end = 0;
    switch (End) {
        case reFirstRecord: end = 0; break;
        case reLastRecord: end = N - 1; break;
        case reCurrentRecord: end = K; break;
        case reCount:
            if (Count == 0) return out;
            end = std::clamp(start + dir * (Count - 1), 0, N - 1);
            break;
    }
    for (int p = start;; p += dir) {
        out.push_back(p);
        if (p == end) break;
    }
    return out;
}

TEST(PipelineModel, EveryRangeCombinationWalksAsThePositionModelSays) {
    std::mt19937 rng(20261207);
    int cases = 0;
    for (int round = 0; round < 40; ++round) {
        const int n = static_cast<int>(rng() % 9);
        // Ids in a random order: the walk is read back through them.
        std::vector<int> ids(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) ids[static_cast<std::size_t>(i)] = 100 + i;
        std::shuffle(ids.begin(), ids.end(), rng);
        std::vector<Row> rows;
        for (int id : ids) rows.push_back({id, std::nullopt});
        TablePipeline t(rows);
        t.pipe->Open();
        for (int b = rbFirstRecord; b <= rbCurrentRecord; ++b) {
            for (int e = reFirstRecord; e <= reCount; ++e) {
                const int k = n > 0 ? static_cast<int>(rng() % static_cast<unsigned>(n)) : 0;
                const int count = static_cast<int>(rng() % static_cast<unsigned>(n + 3));
                t.pipe->SetRangeBegin(static_cast<TrpRangeBeginType>(b));
                t.pipe->SetRangeEnd(static_cast<TrpRangeEndType>(e));
                t.pipe->SetRangeEndCount(count);
                int mark = 0;
                if (n > 0) {
                    t.table->First();
                    t.table->MoveBy(k);
                    mark = t.pipe->GetBookmark();
                }
                t.pipe->SetRangeBookmark(mark);
                std::vector<int> expected;
                for (int p : RangeModel(n, static_cast<TrpRangeBeginType>(b), static_cast<TrpRangeEndType>(e), count, k))
                    expected.push_back(ids[static_cast<std::size_t>(p)]);
                EXPECT_EQ(Walk(*t.pipe, 100), expected)
                    << "n=" << n << " begin=" << b << " end=" << e << " count=" << count << " k=" << k;
                if (mark != 0) t.pipe->FreeBookmark(mark);
                ++cases;
            }
        }
        EXPECT_EQ(t.pipe->BookmarkCount(), 0);
    }
    EXPECT_EQ(cases, 40 * 12);
}

// ---------------------------------------------------------------------------
// Master/detail

// Key texts by hand: each group holds the spellings a case-insensitive,
// accent-sensitive pt-BR link treats as one key, the groups in that
// collation's order (a < á < ab < b < c < ç).
const std::vector<std::vector<std::string>> kKeyGroups = {
    {"a", "A"}, {"á", "Á"}, {"ab", "AB", "Ab", "aB"}, {"b", "B"}, {"c", "C"}, {"ç", "Ç"}};

struct Keyed {
    int id;
    int group;  // -1: null
    std::string text;
};

Keyed RandomKeyed(std::mt19937& rng, int id, bool nulls) {
    const int g = static_cast<int>(rng() % (kKeyGroups.size() + (nulls ? 1 : 0))) - (nulls ? 1 : 0);
    if (g < 0) return {id, -1, ""};
    const auto& spellings = kKeyGroups[static_cast<std::size_t>(g)];
    return {id, g, spellings[rng() % spellings.size()]};
}

std::vector<Row> Rows(const std::vector<Keyed>& K) {
    std::vector<Row> rows;
    for (const Keyed& k : K) rows.push_back({k.id, k.group < 0 ? std::nullopt : std::optional<std::string>(k.text)});
    return rows;
}

using Joined = std::vector<std::pair<int, std::vector<int>>>;

// For each master in order, the details whose key is the same (two nulls
// are the same); masters without details left out when Skip.
template <class Same>
Joined NestedLoopJoin(const std::vector<int>& MasterIds, const std::vector<int>& DetailIds, Same same, bool Skip) {
    Joined out;
    for (std::size_t m = 0; m < MasterIds.size(); ++m) {
        std::vector<int> ds;
        for (std::size_t d = 0; d < DetailIds.size(); ++d)
            if (same(m, d)) ds.push_back(DetailIds[d]);
        if (!ds.empty() || !Skip) out.push_back({MasterIds[m], ds});
    }
    return out;
}

// Walks a master and its linked detail as a report's detail band would.
Joined WalkJoin(TrpDataPipeline& Master, TrpDataPipeline& Detail) {
    std::vector<TrpDataPipeline*> all{&Master, &Detail};
    Detail.PrepareTraversal(all);
    Master.PrepareTraversal(all);
    Joined out;
    Master.First();
    while (!Master.Eof() && out.size() < 10000) {
        out.push_back({Master.GetFieldValue("Id").AsInteger(), Walk(Detail)});
        Master.Next();
    }
    return out;
}

TEST(PipelineModel, RandomKeysLinkAsANestedLoopJoin) {
    std::mt19937 rng(777);
    for (int round = 0; round < 60; ++round) {
        const bool descending = round % 2 == 1;
        const bool skip = round % 3 != 2;
        std::vector<Keyed> masters, details;
        const int nm = 1 + static_cast<int>(rng() % 8);
        const int nd = static_cast<int>(rng() % 15);
        for (int i = 0; i < nm; ++i) masters.push_back(RandomKeyed(rng, 1 + i, true));
        for (int i = 0; i < nd; ++i) details.push_back(RandomKeyed(rng, 100 + i, true));
        // The detail data comes in the link's order; nulls first.
        std::stable_sort(details.begin(), details.end(),
                         [&](const Keyed& a, const Keyed& b) { return descending ? a.group > b.group : a.group < b.group; });
        std::vector<int> mids, dids;
        for (const Keyed& k : masters) mids.push_back(k.id);
        for (const Keyed& k : details) dids.push_back(k.id);
        const Joined expected = NestedLoopJoin(
            mids, dids, [&](std::size_t m, std::size_t d) { return masters[m].group == details[d].group; }, skip);

        TablePipeline master(Rows(masters), "Master");
        TablePipeline detail(Rows(details), "Detail");
        master.pipe->Open();
        detail.pipe->Open();
        TrpMasterFieldLink* link = detail.pipe->AddLink(master.pipe.get(), "Key", "Key");
        link->SetDetailSortOrder(descending ? soDescending : soAscending);
        detail.pipe->SetSkipWhenNoRecords(skip);
        EXPECT_EQ(WalkJoin(*master.pipe, *detail.pipe), expected) << "round " << round;
        // A second run over the recorded ranges gives the same.
        EXPECT_EQ(WalkJoin(*master.pipe, *detail.pipe), expected) << "round " << round << ", again";
    }
}

// GUID texts that differ only in their first group (Data1) or only in
// their last (the node): under gcGuid the first group's number orders them,
// under gcMSSQLServer the node's.
TEST(PipelineModel, GuidKeysLinkAsANestedLoopJoinUnderBothOrders) {
    std::mt19937 rng(4242);
    for (TrpGuidCollationType order : {gcGuid, gcMSSQLServer}) {
        for (int round = 0; round < 20; ++round) {
            auto text = [&](unsigned v, bool upper) {
                char hex[16];
                std::snprintf(hex, sizeof hex, upper ? "%08X" : "%08x", v);
                return order == gcGuid ? "{" + std::string(hex) + "-0000-0000-0000-000000000000}"
                                       : "{00000000-0000-0000-0000-0000" + std::string(hex) + "}";
            };
            // Values with letters among their hex digits, so that case matters
            // to a plain text comparison but not to a GUID.
            std::vector<unsigned> values = {0x0A, 0x1F, 0xB0, 0xC3D, 0xFFFE};
            std::vector<std::pair<int, unsigned>> masters, details;
            for (int i = 0; i < 6; ++i) masters.push_back({1 + i, values[rng() % values.size()]});
            for (int i = 0; i < 12; ++i) details.push_back({100 + i, values[rng() % values.size()]});
            std::stable_sort(details.begin(), details.end(), [](auto& a, auto& b) { return a.second < b.second; });
            std::vector<Row> mrows, drows;
            std::vector<int> mids, dids;
            for (auto& [id, v] : masters) {
                mrows.push_back({id, text(v, false)});
                mids.push_back(id);
            }
            for (auto& [id, v] : details) {
                drows.push_back({id, text(v, rng() % 2 == 0)});
                dids.push_back(id);
            }
            const Joined expected = NestedLoopJoin(
                mids, dids, [&](std::size_t m, std::size_t d) { return masters[m].second == details[d].second; }, true);
            TablePipeline master(mrows, "Master", ftGuid);
            TablePipeline detail(drows, "Detail", ftGuid);
            master.pipe->Open();
            detail.pipe->Open();
            ASSERT_EQ(detail.pipe->GetFieldDataType("Key"), dtGUID);
            TrpMasterFieldLink* link = detail.pipe->AddLink(master.pipe.get(), "Key", "Key");
            link->SetGuidCollationType(order);
            EXPECT_EQ(WalkJoin(*master.pipe, *detail.pipe), expected) << "order " << order << " round " << round;
        }
    }
}

// ---------------------------------------------------------------------------
// The same over SQLite: the detail rows come in the database's own order of
// a text column, which must be the link's.

class PipelineSqlModel : public sqltest::SQLFileFixture {
protected:
    void Fill(sqlite::Database& db) override {
        db.Exec(sqlite::CreateTableSql("Mestre", {{"Id", "integer"}, {"Key", "text(20)"}}));
        db.Exec(sqlite::CreateTableSql("Item", {{"Id", "integer"}, {"Key", "text(20)"}}));
    }
    void Insert(const std::string& Table, int Id, const std::optional<std::string>& Key) {
        auto q = Query("insert into " + Table + " (Id, Key) values (:Id, :Key)");
        q->ParamByName("Id")->SetValue(Variant(Id));
        q->ParamByName("Key")->SetValue(Key ? Variant(*Key) : Null());
        q->ExecSQL();
    }
    // 40 masters and 150 details with random keys.
    void FillRandom(unsigned Seed);
    // Same key: both null, or equal once lower-cased (accents stay).
    static bool SameKey(const std::optional<std::string>& A, const std::optional<std::string>& B) {
        if (!A || !B) return !A && !B;
        return AnsiLowerCase(*A) == AnsiLowerCase(*B);
    }
    std::vector<std::pair<int, std::optional<std::string>>> masters, details;
};

// Random keys from letters that differ in case and accent.
std::optional<std::string> RandomText(std::mt19937& rng) {
    static const std::vector<std::string> letters = {"a", "A", "á", "Á", "à", "ã", "b", "B", "c", "ç", "Ç", "e", "é", "É"};
    if (rng() % 8 == 0) return std::nullopt;
    std::string s;
    const int len = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < len; ++i) s += letters[rng() % letters.size()];
    return s;
}

void PipelineSqlModel::FillRandom(unsigned Seed) {
    std::mt19937 rng(Seed);
    for (int i = 0; i < 40; ++i) {
        masters.push_back({1 + i, RandomText(rng)});
        Insert("Mestre", 1 + i, masters.back().second);
    }
    for (int i = 0; i < 150; ++i) {
        details.push_back({1000 + i, RandomText(rng)});
        Insert("Item", 1000 + i, details.back().second);
    }
}

TEST_F(PipelineSqlModel, DetailRowsInTheDatabasesOrderLinkAsANestedLoopJoin) {
    FillRandom(31337);
    auto masterQuery = Query("select Id, Key from Mestre order by Id");
    auto detailQuery = Query("select Id, Key from Item order by Key, Id");
    TDataSource masterSource(nullptr), detailSource(nullptr);
    masterSource.SetDataSet(masterQuery.get());
    detailSource.SetDataSet(detailQuery.get());
    TrpDBPipeline master(nullptr), detail(nullptr);
    master.SetName("plMestre");
    detail.SetName("plItem");
    master.SetDataSource(&masterSource);
    detail.SetDataSource(&detailSource);
    master.Open();
    detail.Open();
    detail.AddLink(&master, "Key", "Key");

    // The detail ids in the order the query gives them.
    std::vector<int> dids;
    std::vector<std::optional<std::string>> dkeys;
    for (detailQuery->First(); !detailQuery->Eof(); detailQuery->Next()) {
        dids.push_back(detailQuery->FieldByName("Id")->AsInteger());
        TField* k = detailQuery->FieldByName("Key");
        dkeys.push_back(k->IsNull() ? std::nullopt : std::optional<std::string>(k->AsString()));
    }
    std::vector<int> mids;
    for (auto& m : masters) mids.push_back(m.first);
    auto same = [&](std::size_t m, std::size_t d) { return SameKey(masters[m].second, dkeys[d]); };
    std::vector<std::string> reports;
    TrpLinkOrderReporter previous =
        rpSetLinkOrderReporter([&](TrpDataPipeline*, const std::string& m) { reports.push_back(m); });
    const Joined got = WalkJoin(master, detail);
    rpSetLinkOrderReporter(previous);
    EXPECT_EQ(got, NestedLoopJoin(mids, dids, same, true));
    EXPECT_TRUE(reports.empty());
    std::size_t linked = 0;
    for (const auto& g : got) linked += g.second.size();
    EXPECT_GT(linked, 20u);
}

// A detail query that takes its key from the master's data source follows
// the master through the database, without field links: the master
// pipeline finds it as its detail when the run is prepared.
TEST_F(PipelineSqlModel, ADetailQueryOnTheMastersDataSourceFollowsItWithoutLinks) {
    FillRandom(2718);
    auto masterQuery = Query("select Id, Key from Mestre order by Id");
    auto detailQuery = Query("select Id, Key from Item where Key = :Key order by Id");
    TDataSource masterSource(nullptr), detailSource(nullptr);
    masterSource.SetDataSet(masterQuery.get());
    detailQuery->SetDataSource(&masterSource);
    detailSource.SetDataSet(detailQuery.get());
    TrpDBPipeline master(nullptr), detail(nullptr);
    master.SetName("plMestre");
    detail.SetName("plItem");
    master.SetDataSource(&masterSource);
    detail.SetDataSource(&detailSource);
    master.Open();
    detail.Open();
    const Joined got = WalkJoin(master, detail);
    EXPECT_EQ(detail.MasterDataPipeline(), &master);
    EXPECT_EQ(detail.LinkCount(), 0);
    std::vector<int> mids, dids;
    for (auto& m : masters) mids.push_back(m.first);
    for (auto& d : details) dids.push_back(d.first);
    // "=" never matches a null key.
    auto same = [&](std::size_t m, std::size_t d) {
        return masters[m].second && SameKey(masters[m].second, details[d].second);
    };
    EXPECT_EQ(got, NestedLoopJoin(mids, dids, same, true));
    std::size_t linked = 0;
    for (const auto& g : got) linked += g.second.size();
    EXPECT_GT(linked, 20u);
}

}  // namespace
