// Random sequences of inserts, appends, deletes, edits, locates and bookmark
// jumps, checked against a plain vector that holds the rows in the order the
// table must show them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "platform/rtl/Strings.h"
#include "tests/memtable/MemTableTestSupport.h"

using namespace mttest;

namespace {

struct Row {
    int id;
    std::string name;
    double amount;
};

const char* const kWords[] = {"caneta", "Caneta", "lápis", "Lápis", "borracha", "ação", "AÇÃO", "régua",
                              "papel", "Papel", "cola", "tesoura", "grampo", "clipe", "pasta", "envelope"};

std::string RandomName(std::mt19937& rng) {
    std::uniform_int_distribution<int> w(0, std::size(kWords) - 1), n(0, 9);
    return std::string(kWords[w(rng)]) + " " + std::to_string(n(rng));
}

class Model {
public:
    Model(TmtMemTable* t, std::mt19937& rng) : t_(t), rng_(rng) {}

    void Step() {
        std::uniform_int_distribution<int> op(0, 99);
        int o = op(rng_);
        // Deletes win once the table is large, so slots are reused often.
        if (rows_.size() > 1500 && o < 60) o += 40;
        if (rows_.size() < 5 || o < 25)
            Append();
        else if (o < 45)
            InsertAt();
        else if (o < 62)
            Delete();
        else if (o < 80)
            Edit();
        else if (o < 88)
            TakeBookmark();
        else if (o < 94)
            VisitBookmark();
        else
            LocateId();
    }

    void CheckAll() {
        // Row order.
        ASSERT_EQ(t_->RecordCount(), static_cast<int>(rows_.size()));
        t_->First();
        for (const Row& r : rows_) {
            ASSERT_FALSE(t_->Eof());
            ASSERT_EQ(t_->FieldByName("Id")->AsInteger(), r.id);
            ASSERT_EQ(t_->FieldByName("Name")->AsString(), r.name);
            ASSERT_EQ(t_->FieldByName("Amount")->AsFloat(), r.amount);
            t_->Next();
        }
        ASSERT_TRUE(t_->Eof());
        // The name index holds the same rows in name order.
        t_->SetIndexName("ByName");
        std::vector<int> seen;
        std::string prev;
        t_->First();
        while (!t_->Eof()) {
            std::string name = t_->FieldByName("Name")->AsString();
            if (!seen.empty()) {
                ASSERT_LE(AnsiCompareText(prev, name), 0) << prev << " / " << name;
            }
            prev = name;
            seen.push_back(t_->FieldByName("Id")->AsInteger());
            t_->Next();
        }
        std::vector<int> expected;
        for (const Row& r : rows_) expected.push_back(r.id);
        std::sort(seen.begin(), seen.end());
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(seen, expected);
        t_->SetIndexName("");
    }

private:
    int RandomPos() { return std::uniform_int_distribution<int>(0, static_cast<int>(rows_.size()) - 1)(rng_); }

    Row NewRow() {
        return Row{nextId_++, RandomName(rng_), std::uniform_int_distribution<int>(0, 10000)(rng_) / 100.0};
    }

    void Fill(const Row& r) {
        t_->FieldByName("Id")->SetAsInteger(r.id);
        t_->FieldByName("Name")->SetAsString(r.name);
        t_->FieldByName("Amount")->SetAsFloat(r.amount);
    }

    void GoTo(int pos) {
        t_->SetRecNo(pos + 1);
        ASSERT_EQ(t_->RecNo(), pos + 1);
        ASSERT_EQ(t_->FieldByName("Id")->AsInteger(), rows_[static_cast<std::size_t>(pos)].id);
    }

    void Append() {
        Row r = NewRow();
        t_->Append();
        Fill(r);
        t_->Post();
        rows_.push_back(r);
        ASSERT_EQ(t_->FieldByName("Id")->AsInteger(), r.id);
    }

    void InsertAt() {
        int pos = RandomPos();
        GoTo(pos);
        Row r = NewRow();
        t_->Insert();
        Fill(r);
        t_->Post();
        rows_.insert(rows_.begin() + pos, r);
        ASSERT_EQ(t_->FieldByName("Id")->AsInteger(), r.id);
        ASSERT_EQ(t_->RecNo(), pos + 1);
    }

    void Delete() {
        int pos = RandomPos();
        GoTo(pos);
        t_->Delete();
        rows_.erase(rows_.begin() + pos);
        if (!rows_.empty()) {
            int expect = std::min(pos, static_cast<int>(rows_.size()) - 1);
            ASSERT_EQ(t_->FieldByName("Id")->AsInteger(), rows_[static_cast<std::size_t>(expect)].id);
        }
    }

    void Edit() {
        int pos = RandomPos();
        GoTo(pos);
        Row& r = rows_[static_cast<std::size_t>(pos)];
        t_->Edit();
        r.name = RandomName(rng_);
        r.amount += 1;
        t_->FieldByName("Name")->SetAsString(r.name);
        t_->FieldByName("Amount")->SetAsFloat(r.amount);
        t_->Post();
        ASSERT_EQ(t_->FieldByName("Id")->AsInteger(), r.id);
    }

    void TakeBookmark() {
        int pos = RandomPos();
        GoTo(pos);
        marks_[rows_[static_cast<std::size_t>(pos)].id] = t_->GetBookmark();
        if (marks_.size() > 40) marks_.erase(marks_.begin());
    }

    void VisitBookmark() {
        if (marks_.empty()) return;
        auto it = marks_.begin();
        std::advance(it, std::uniform_int_distribution<int>(0, static_cast<int>(marks_.size()) - 1)(rng_));
        auto row = std::find_if(rows_.begin(), rows_.end(), [&](const Row& r) { return r.id == it->first; });
        if (row == rows_.end()) {
            ASSERT_FALSE(t_->BookmarkValid(it->second)) << "bookmark of deleted row " << it->first;
            int before = t_->FieldByName("Id")->AsInteger();
            EXPECT_THROW(t_->GotoBookmark(it->second), EDatabaseError);
            ASSERT_EQ(t_->FieldByName("Id")->AsInteger(), before);
            marks_.erase(it);
            return;
        }
        ASSERT_TRUE(t_->BookmarkValid(it->second));
        t_->GotoBookmark(it->second);
        ASSERT_EQ(t_->FieldByName("Id")->AsInteger(), row->id);
        ASSERT_EQ(t_->FieldByName("Name")->AsString(), row->name);
        ASSERT_EQ(t_->RecNo(), static_cast<int>(row - rows_.begin()) + 1);
    }

    void LocateId() {
        int pos = RandomPos();
        const Row& r = rows_[static_cast<std::size_t>(pos)];
        t_->First();
        ASSERT_TRUE(t_->Locate("Id", r.id, {}));
        ASSERT_EQ(t_->RecNo(), pos + 1);
        ASSERT_FALSE(t_->Locate("Id", -5, {}));
        ASSERT_EQ(t_->FieldByName("Id")->AsInteger(), r.id) << "a failed locate keeps the cursor";
    }

    TmtMemTable* t_;
    std::mt19937& rng_;
    std::vector<Row> rows_;
    std::map<int, TBookmark> marks_;
    int nextId_ = 1;
};

void RunModel(TmtPerformance performance, unsigned seed, int steps) {
    auto t = MakeItems(performance);
    t->IndexDefs()->Add("ByName", "Name", {ixCaseInsensitive});
    t->Open();
    std::mt19937 rng(seed);
    Model m(t.get(), rng);
    for (int i = 0; i < steps; ++i) {
        m.Step();
        if (::testing::Test::HasFatalFailure()) {
            ADD_FAILURE() << "seed " << seed << " step " << i;
            return;
        }
        if (i % 2000 == 1999) {
            m.CheckAll();
            if (::testing::Test::HasFatalFailure()) {
                ADD_FAILURE() << "seed " << seed << " check after step " << i;
                return;
            }
        }
    }
    m.CheckAll();
}

}  // namespace

TEST(ModelRandom, FixedFieldsManyOperations) { RunModel(mtpfFast, 20261207, 60000); }

TEST(ModelRandom, IndirectStringsManyOperations) { RunModel(mtpfBalanced, 4242, 40000); }

// The same kind of churn with a sorted index current: after each post the
// posted record is the current one, and a walk gives the names in order.
TEST(ModelRandom, SortedCurrentIndexStaysSortedAndFollowsPosts) {
    auto t = MakeItems(mtpfBalanced);
    t->IndexDefs()->Add("ByName", "Name:D;Amount", {});
    t->Open();
    t->SetIndexName("ByName");
    std::mt19937 rng(99);
    std::map<int, std::pair<std::string, double>> model;
    int next = 1;
    auto check = [&] {
        ASSERT_EQ(t->RecordCount(), static_cast<int>(model.size()));
        std::map<int, std::pair<std::string, double>> seen;
        std::string prevName;
        double prevAmount = 0;
        bool first = true;
        for (t->First(); !t->Eof(); t->Next()) {
            std::string name = t->FieldByName("Name")->AsString();
            double amount = t->FieldByName("Amount")->AsFloat();
            if (!first) {
                int c = AnsiCompareStr(prevName, name);
                ASSERT_GE(c, 0) << prevName << " / " << name;
                if (c == 0) {
                    ASSERT_LE(prevAmount, amount);
                }
            }
            first = false;
            prevName = name;
            prevAmount = amount;
            seen[t->FieldByName("Id")->AsInteger()] = {name, amount};
        }
        ASSERT_EQ(seen, model);
    };
    for (int step = 0; step < 6000; ++step) {
        int op = std::uniform_int_distribution<int>(0, 9)(rng);
        if (model.size() < 3 || op < 4) {
            int id = next++;
            std::string name = RandomName(rng);
            double amount = std::uniform_int_distribution<int>(0, 50)(rng);
            if (op % 2 == 0 && !model.empty()) {
                t->Insert();
            } else {
                t->Append();
            }
            t->FieldByName("Id")->SetAsInteger(id);
            t->FieldByName("Name")->SetAsString(name);
            t->FieldByName("Amount")->SetAsFloat(amount);
            t->Post();
            model[id] = {name, amount};
            ASSERT_EQ(t->FieldByName("Id")->AsInteger(), id) << "step " << step;
        } else {
            auto it = model.begin();
            std::advance(it, std::uniform_int_distribution<int>(0, static_cast<int>(model.size()) - 1)(rng));
            ASSERT_TRUE(t->Locate("Id", it->first, {}));
            if (op < 7) {
                t->Edit();
                it->second.first = RandomName(rng);
                t->FieldByName("Name")->SetAsString(it->second.first);
                t->Post();
                ASSERT_EQ(t->FieldByName("Id")->AsInteger(), it->first) << "step " << step;
            } else {
                t->Delete();
                model.erase(it);
            }
        }
        if (step % 500 == 0) {
            check();
            if (HasFatalFailure()) return;
        }
    }
    check();
}
