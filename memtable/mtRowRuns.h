#pragma once
// The row order as runs of consecutive record ids: appends make one run, a
// delete splits one in two, a reused slot adds one at the end. While there
// are few, a record's position follows from its id without reading the
// order itself, whose entries a link's records would each read from a
// different place in memory. Too many runs and it gives up until the order
// is made again; a caller then reads the order as before.

#include <algorithm>
#include <cstdint>
#include <vector>

namespace memtable {

class RowRuns {
public:
    static constexpr std::size_t kMaxRuns = 256;

    bool Valid() const { return valid_; }

    void Clear() {
        runs_.clear();
        byId_.clear();
        count_ = 0;
        valid_ = true;
    }

    // Ends with what an order of Count ids made one by one would leave.
    template <typename IdAt>
    void Reset(std::size_t Count, IdAt Id) {
        Clear();
        for (std::size_t i = 0; i < Count && valid_; ++i) Append(Id(i));
    }

    void Append(int32_t Id) {
        if (!valid_) return;
        if (!runs_.empty() && runs_.back().id + runs_.back().len == Id) {
            ++runs_.back().len;
        } else {
            if (runs_.size() == kMaxRuns) return GiveUp();
            runs_.push_back(Run{count_, Id, 1});
            sorted_ = false;
        }
        ++count_;
    }

    void Insert(int32_t Pos, int32_t Id) {
        if (!valid_) return;
        if (Pos >= count_) return Append(Id);
        std::size_t r = RunAt(Pos);
        Run& run = runs_[r];
        if (Pos == run.pos && r > 0 && runs_[r - 1].id + runs_[r - 1].len == Id) {
            ++runs_[r - 1].len;  // it continues the run before
        } else if (Pos == run.pos && run.id == Id + 1) {
            --run.id;  // it opens this run
            ++run.len;
            sorted_ = false;
            ++r;  // this run's position stays
        } else {
            if (runs_.size() + 2 > kMaxRuns) return GiveUp();
            if (Pos > run.pos) {
                const int32_t head = Pos - run.pos;
                runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(r) + 1,
                             Run{Pos, run.id + head, run.len - head});
                runs_[r].len = head;
                ++r;
            }
            runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(r), Run{Pos, Id, 1});
            ++r;
            sorted_ = false;
        }
        for (std::size_t k = r; k < runs_.size(); ++k) ++runs_[k].pos;
        ++count_;
    }

    void Erase(int32_t Pos) {
        if (!valid_ || Pos < 0 || Pos >= count_) return;
        std::size_t r = RunAt(Pos);
        Run& run = runs_[r];
        if (run.len == 1) {
            runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(r));
        } else if (Pos == run.pos) {
            ++run.id;
            --run.len;
            ++r;
        } else if (Pos == run.pos + run.len - 1) {
            --run.len;
            ++r;
        } else {
            if (runs_.size() == kMaxRuns) return GiveUp();
            const int32_t head = Pos - run.pos;
            const Run tail{Pos + 1, run.id + head + 1, run.len - head - 1};
            run.len = head;
            runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(r) + 1, tail);
            ++r;
        }
        sorted_ = false;
        for (std::size_t k = r; k < runs_.size(); ++k) --runs_[k].pos;
        --count_;
    }

    // The position of record Id, -1 where the order does not hold it.
    int32_t PositionOf(int32_t Id) const {
        if (!sorted_) SortById();
        auto it = std::upper_bound(byId_.begin(), byId_.end(), Id,
                                   [&](int32_t V, uint32_t R) { return V < runs_[R].id; });
        if (it == byId_.begin()) return -1;
        const Run& run = runs_[*(it - 1)];
        return Id < run.id + run.len ? run.pos + (Id - run.id) : -1;
    }

private:
    struct Run {
        int32_t pos, id, len;
    };
    std::size_t RunAt(int32_t Pos) const {
        auto it = std::upper_bound(runs_.begin(), runs_.end(), Pos, [](int32_t P, const Run& R) { return P < R.pos; });
        return static_cast<std::size_t>(it - runs_.begin()) - 1;
    }
    void SortById() const {
        byId_.resize(runs_.size());
        for (std::size_t k = 0; k < runs_.size(); ++k) byId_[k] = static_cast<uint32_t>(k);
        std::sort(byId_.begin(), byId_.end(), [&](uint32_t a, uint32_t b) { return runs_[a].id < runs_[b].id; });
        sorted_ = true;
    }
    void GiveUp() {
        runs_.clear();
        runs_.shrink_to_fit();
        byId_.clear();
        valid_ = false;
    }
    std::vector<Run> runs_;  // in position order
    mutable std::vector<uint32_t> byId_;  // runs_ by first id
    mutable bool sorted_ = true;
    bool valid_ = true;
    int32_t count_ = 0;
};

}  // namespace memtable
