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

// Random steps of a model, every table check after Every steps and at the
// end; the first failure names the seed and the step.
template <typename M>
void RunSteps(M& m, unsigned seed, int steps, int every) {
    for (int i = 0; i < steps; ++i) {
        m.Step();
        if (::testing::Test::HasFatalFailure()) {
            ADD_FAILURE() << "seed " << seed << " step " << i;
            return;
        }
        if (i % every == every - 1) {
            m.CheckAll();
            if (::testing::Test::HasFatalFailure()) {
                ADD_FAILURE() << "seed " << seed << " check after step " << i;
                return;
            }
        }
    }
    m.CheckAll();
}

void RunModel(TmtPerformance performance, unsigned seed, int steps) {
    auto t = MakeItems(performance);
    t->IndexDefs()->Add("ByName", "Name", {ixCaseInsensitive});
    t->Open();
    std::mt19937 rng(seed);
    Model m(t.get(), rng);
    RunSteps(m, seed, steps, 2000);
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

namespace {

// Names from a register of people and places: accents, cases, ties under
// case-insensitive comparison ("João" / "JOÃO"), texts one a prefix of
// another, and a little broken UTF-8.
const char* const kAccented[] = {"João", "JOÃO", "joão", "Joao", "Conceição", "CONCEICAO", "conceiçao", "Ângela",
                                 "angela", "Álvaro", "alvaro", "Érica", "érica", "Zé", "ze", "Ana", "ana",
                                 "Ana Maria", "ÂNGELA", "Çedilha", "cedilha", "Ú", "u", "a\xFF", "a"};

std::string AccentedName(std::mt19937& rng) {
    std::uniform_int_distribution<int> w(0, static_cast<int>(std::size(kAccented)) - 1), n(0, 3), null(0, 30);
    if (null(rng) == 0) return {};  // a null now and then
    std::string s = kAccented[w(rng)];
    if (n(rng) == 0) s += std::string(" ") + kAccented[w(rng)];
    return s;
}

struct NameRow {
    int id;
    std::string name;  // empty: null
    double amount;
};

// The order an index of the name (case-insensitive, descending as asked)
// and then the id gives, worked out with the pt-BR comparison itself.
bool Before(const NameRow& a, const NameRow& b, bool ci, bool desc) {
    int c;
    if (a.name.empty() || b.name.empty())
        c = a.name.empty() == b.name.empty() ? 0 : (a.name.empty() ? -1 : 1);
    else
        c = ci ? AnsiCompareText(a.name, b.name) : AnsiCompareStr(a.name, b.name);
    c = c < 0 ? -1 : (c > 0 ? 1 : 0);
    if (desc) c = -c;
    if (c != 0) return c < 0;
    return a.id < b.id;
}

class IndexModel {
public:
    IndexModel(TmtMemTable* t, std::mt19937& rng) : t_(t), rng_(rng) {}

    void Step() {
        const int o = std::uniform_int_distribution<int>(0, 99)(rng_);
        if (rows_.size() < 30 || o < 30) {
            Add(o % 2 == 0);
        } else if (o < 50) {
            Edit();
        } else if (o < 65) {
            Remove();
        } else {
            LocateName(o % 3 == 0);
        }
    }

    // Each index walks the model's rows in the model's order.
    void CheckAll() {
        ASSERT_EQ(t_->RecordCount(), static_cast<int>(rows_.size()));
        struct Case {
            const char* index;
            bool ci, desc;
        };
        for (Case c : {Case{"NameId", false, false}, Case{"NameCiId", true, false}, Case{"NameDescId", false, true},
                       Case{"NameCiDescId", true, true}}) {
            std::vector<NameRow> expected = rows_;
            std::sort(expected.begin(), expected.end(),
                      [&](const NameRow& a, const NameRow& b) { return Before(a, b, c.ci, c.desc); });
            t_->SetIndexName(c.index);
            std::size_t i = 0;
            for (t_->First(); !t_->Eof(); t_->Next(), ++i) {
                ASSERT_LT(i, expected.size()) << c.index;
                ASSERT_EQ(t_->FieldByName("Id")->AsInteger(), expected[i].id) << c.index << " position " << i;
                ASSERT_EQ(t_->FieldByName("Name")->AsString(), expected[i].name) << c.index;
            }
            ASSERT_EQ(i, expected.size()) << c.index;
        }
        t_->SetIndexName("");
        std::size_t i = 0;
        for (t_->First(); !t_->Eof(); t_->Next(), ++i) {
            ASSERT_EQ(t_->FieldByName("Id")->AsInteger(), rows_[i].id) << "row order, position " << i;
            ASSERT_EQ(t_->FieldByName("Amount")->AsFloat(), rows_[i].amount);
        }
    }

private:
    int RandomPos() { return std::uniform_int_distribution<int>(0, static_cast<int>(rows_.size()) - 1)(rng_); }

    void Fill(const NameRow& r) {
        t_->FieldByName("Id")->SetAsInteger(r.id);
        if (r.name.empty())
            t_->FieldByName("Name")->Clear();
        else
            t_->FieldByName("Name")->SetAsString(r.name);
        t_->FieldByName("Amount")->SetAsFloat(r.amount);
    }

    NameRow NewRow() {
        NameRow r{nextId_++, AccentedName(rng_), std::uniform_int_distribution<int>(0, 999)(rng_) / 10.0};
        // What the table keeps of a text: broken UTF-8 is repaired on the way in.
        if (!utf8::IsValid(r.name)) r.name = utf8::Repair(r.name);
        return r;
    }

    void Add(bool insert) {
        NameRow r = NewRow();
        if (insert && !rows_.empty()) {
            const int pos = RandomPos();
            t_->SetRecNo(pos + 1);
            t_->Insert();
            Fill(r);
            t_->Post();
            rows_.insert(rows_.begin() + pos, r);
        } else {
            t_->Append();
            Fill(r);
            t_->Post();
            rows_.push_back(r);
        }
        ASSERT_EQ(t_->FieldByName("Id")->AsInteger(), r.id);
    }

    void Edit() {
        const int pos = RandomPos();
        t_->SetRecNo(pos + 1);
        NameRow& r = rows_[static_cast<std::size_t>(pos)];
        ASSERT_EQ(t_->FieldByName("Id")->AsInteger(), r.id);
        NameRow fresh = NewRow();
        --nextId_;
        r.name = fresh.name;
        r.amount = fresh.amount;
        t_->Edit();
        Fill(r);
        t_->Post();
        ASSERT_EQ(t_->FieldByName("Id")->AsInteger(), r.id);
    }

    void Remove() {
        const int pos = RandomPos();
        t_->SetRecNo(pos + 1);
        ASSERT_EQ(t_->FieldByName("Id")->AsInteger(), rows_[static_cast<std::size_t>(pos)].id);
        t_->Delete();
        rows_.erase(rows_.begin() + pos);
    }

    // A locate in row order finds the first row whose name the comparison
    // finds equal; the indexes only narrow the search.
    void LocateName(bool ci) {
        const std::string name = rows_[static_cast<std::size_t>(RandomPos())].name;
        if (name.empty()) return;
        auto it = std::find_if(rows_.begin(), rows_.end(), [&](const NameRow& r) {
            return !r.name.empty() && (ci ? AnsiCompareText(r.name, name) == 0 : r.name == name);
        });
        ASSERT_NE(it, rows_.end());
        ASSERT_TRUE(t_->Locate("Name", name, ci ? TLocateOptions{loCaseInsensitive} : TLocateOptions{}))
            << name;
        ASSERT_EQ(t_->FieldByName("Id")->AsInteger(), it->id) << name << (ci ? " (case-insensitive)" : "");
        ASSERT_EQ(t_->RecNo(), static_cast<int>(it - rows_.begin()) + 1);
    }

    TmtMemTable* t_;
    std::mt19937& rng_;
    std::vector<NameRow> rows_;
    int nextId_ = 1;
};

void RunIndexModel(TmtPerformance performance, unsigned seed, int steps) {
    auto t = MakeItems(performance);
    t->IndexDefs()->Add("NameId", "Name;Id", {});
    TIndexDef* ci = t->IndexDefs()->Add("NameCiId", "Name;Id", {});
    ci->SetCaseInsFields("Name");
    TIndexDef* desc = t->IndexDefs()->Add("NameDescId", "Name;Id", {});
    desc->SetDescFields("Name");
    TIndexDef* both = t->IndexDefs()->Add("NameCiDescId", "Name;Id", {});
    both->SetCaseInsFields("Name");
    both->SetDescFields("Name");
    t->Open();
    std::mt19937 rng(seed);
    IndexModel m(t.get(), rng);
    RunSteps(m, seed, steps, 1000);
}

}  // namespace

// Accented names under indexes that compare case-sensitively, case-
// insensitively, ascending and descending: after every kind of change each
// index holds exactly the model's rows in the pt-BR order, and locates find
// the first matching row in row order.
TEST(ModelRandom, AccentedTextIndexesFollowTheModel) { RunIndexModel(mtpfFast, 16, 8000); }

TEST(ModelRandom, AccentedTextIndexesFollowTheModelWithTextsApart) { RunIndexModel(mtpfBalanced, 2026, 5000); }
