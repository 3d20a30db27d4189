// The row order's runs of consecutive ids answer each record's position as
// the order itself does, through appends, inserts, deletes and reused slots,
// and give up (never answer wrong) once the runs are too many.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "memtable/mtRowRuns.h"

namespace {

using memtable::RowRuns;

// Runs of consecutive ids the order holds, as few as they can be.
std::size_t FewestRuns(const std::vector<int32_t>& Order) {
    std::size_t runs = 0;
    for (std::size_t i = 0; i < Order.size(); ++i)
        if (i == 0 || Order[i] != Order[i - 1] + 1) ++runs;
    return runs;
}

TEST(RowRuns, EveryIdIsPlacedAsTheOrderPlacesItThroughGeneratedChanges) {
    for (unsigned seed = 1; seed <= 30; ++seed) {
        std::mt19937 rng(seed);
        std::vector<int32_t> order, freed;
        int32_t nextId = 0;
        RowRuns runs;
        runs.Clear();
        const bool heavy = seed > 20;
        const int start = heavy ? 1000 : static_cast<int>(rng() % 300);
        for (int i = 0; i < start; ++i) order.push_back(nextId++);
        runs.Reset(order.size(), [&](std::size_t i) { return order[i]; });
        ASSERT_TRUE(runs.Valid());
        // Mostly appends and deletes, as a register in use; the later seeds
        // delete often enough to pass the limit and give up.
        const unsigned deleteShare = heavy ? 45 : 20;
        bool gaveUp = false;
        for (int step = 0; step < (heavy ? 800 : 600); ++step) {
            const unsigned what = static_cast<unsigned>(rng() % 100);
            if (what < deleteShare && !order.empty()) {
                const auto pos = static_cast<int32_t>(rng() % order.size());
                freed.push_back(order[static_cast<std::size_t>(pos)]);
                order.erase(order.begin() + pos);
                runs.Erase(pos);
            } else {
                // A slot freed earlier is taken again now and then, as the
                // store reuses them; a tenth of the records go in the middle.
                int32_t id = nextId;
                if (!freed.empty() && rng() % 4 == 0) {
                    id = freed.back();
                    freed.pop_back();
                } else {
                    ++nextId;
                }
                const auto pos = rng() % 10 == 0 && !order.empty() ? static_cast<int32_t>(rng() % order.size())
                                                                   : static_cast<int32_t>(order.size());
                order.insert(order.begin() + pos, id);
                runs.Insert(pos, id);
            }
            if (!runs.Valid()) {
                gaveUp = true;
                continue;
            }
            ASSERT_FALSE(gaveUp) << "seed " << seed << ": the runs came back without a reset";
            if (heavy && step % 4 != 0) continue;
            std::vector<int32_t> where(static_cast<std::size_t>(nextId), -1);
            for (std::size_t p = 0; p < order.size(); ++p) where[static_cast<std::size_t>(order[p])] = static_cast<int32_t>(p);
            for (int32_t id = -1; id <= nextId; ++id) {
                const int32_t expected = id >= 0 && id < nextId ? where[static_cast<std::size_t>(id)] : -1;
                ASSERT_EQ(runs.PositionOf(id), expected) << "seed " << seed << " step " << step << " id " << id;
            }
        }
        if (heavy) EXPECT_TRUE(gaveUp) << "seed " << seed << ": never passed the limit";
        // A reset on the order as it stands answers again while its runs are few.
        runs.Reset(order.size(), [&](std::size_t i) { return order[i]; });
        EXPECT_EQ(runs.Valid(), FewestRuns(order) <= RowRuns::kMaxRuns) << "seed " << seed;
        if (runs.Valid())
            for (std::size_t p = 0; p < order.size(); ++p) ASSERT_EQ(runs.PositionOf(order[p]), static_cast<int32_t>(p));
    }
}

}  // namespace
