// Random operations on a memory table and on a brute-force model of the same
// rows: appends, inserts, edits of indexed fields, deletes, deletes followed
// at once by an append (which takes the freed slot), indexes added, removed
// and selected, sorts, filters, locates and lookups with every option,
// bookmarks, and the memo of each row read where a locate lands. The model
// keeps the rows in row order and answers every question by walking them;
// the table must agree. Every other sequence runs on the layout that keeps
// long texts compressed through the table's field handlers, which refuse
// anything they did not compress (a memo goes through the blob stream
// handlers only).
//
// A short run belongs to every test run; MEMTABLE_DIFF_OPERATIONS=5000000
// (and MEMTABLE_DIFF_SEED) runs as many operations as asked. A disagreement
// is reported with the shortest sequence of operations found that still
// shows it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <sstream>

#include "platform/rtl/Strings.h"
#include "tests/memtable/MemTableTestSupport.h"

namespace {

using OptText = std::optional<std::string>;
using OptInt = std::optional<int>;
using OptReal = std::optional<double>;

struct Row {
    int id = 0;
    OptText a, b;
    OptInt i;
    OptReal f;
    OptText m;  // the memo: never sought, read back where a locate lands
};

enum Col { cA, cB, cI, cF };
const char* const kColName[] = {"A", "B", "I", "F"};

// One field of an index or a locate, with its option letters.
struct FieldSpec {
    Col col;
    bool ci = false, desc = false, ignoreNull = false, partial = false, byteOrder = false;
};

std::string SpecText(const std::vector<FieldSpec>& fields) {
    std::string s;
    for (const FieldSpec& f : fields) {
        if (!s.empty()) s += ";";
        s += kColName[f.col];
        std::string letters;
        if (f.ci) letters += "C";
        if (f.desc) letters += "D";
        if (f.ignoreNull) letters += "N";
        if (f.partial) letters += "P";
        if (f.byteOrder) letters += "L";
        if (!letters.empty()) s += ":" + letters;
    }
    return s;
}

struct IndexSpec {
    std::vector<FieldSpec> fields;
    bool allCi = false, allDesc = false, unique = false, nonMaintained = false;
    // The options each field compares with: its letters and the index-wide ones.
    std::vector<FieldSpec> Effective() const {
        std::vector<FieldSpec> r = fields;
        for (FieldSpec& f : r) {
            f.ci = f.ci || allCi;
            f.desc = f.desc || allDesc;
        }
        return r;
    }
    bool Loose() const {
        for (const FieldSpec& f : fields)
            if (f.ignoreNull || f.partial) return true;
        return false;
    }
};

struct Value {
    bool null = true;
    bool text = false;
    std::string s;
    double n = 0;
};

Value Get(const Row& r, Col c) {
    Value v;
    switch (c) {
        case cA: if (r.a) { v.null = false; v.text = true; v.s = *r.a; } break;
        case cB: if (r.b) { v.null = false; v.text = true; v.s = *r.b; } break;
        case cI: if (r.i) { v.null = false; v.n = *r.i; } break;
        case cF: if (r.f) { v.null = false; v.n = *r.f; } break;
    }
    return v;
}

int Sgn(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

int CompareTextsAs(const std::string& a, const std::string& b, const FieldSpec& o) {
    if (o.byteOrder) return Sgn(o.ci ? CompareText(a, b) : CompareStr(a, b));
    return Sgn(o.ci ? AnsiCompareText(a, b) : AnsiCompareStr(a, b));
}

// The order an index of these fields gives two rows (0: the index cannot
// tell them apart).
int IndexOrder(const std::vector<FieldSpec>& fields, const Row& x, const Row& y) {
    for (const FieldSpec& o : fields) {
        Value a = Get(x, o.col), b = Get(y, o.col);
        int c;
        if (a.null || b.null)
            c = a.null == b.null ? 0 : (a.null ? -1 : 1);
        else if (a.text)
            c = CompareTextsAs(a.s, b.s, o);
        else
            c = a.n < b.n ? -1 : (b.n < a.n ? 1 : 0);
        if (o.desc) c = -c;
        if (c != 0) return c;
    }
    return 0;
}

// A sought value: null, a text, a number, or a number that is no number.
struct Sought {
    Value v;
    bool nan = false;
};

// Whether a row matches a locate: field by field, a partial text match that
// is not whole ends the comparison as a match.
bool Matches(const Row& r, const std::vector<FieldSpec>& fields, const std::vector<Sought>& key) {
    // A sought number that is no number matches nothing.
    for (const Sought& s : key)
        if (s.nan) return false;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        const FieldSpec& o = fields[k];
        const Sought& s = key[k];
        Value v = Get(r, o.col);
        if (s.v.null) {
            if (o.ignoreNull) continue;
            if (!v.null) return false;
            continue;
        }
        if (v.null) return false;
        if (!s.v.text) {
            if (s.v.n != v.n) return false;
            continue;
        }
        std::string have = v.s;
        bool whole = true;
        if (o.partial) {
            const std::size_t ls = Length(s.v.s), lh = Length(have);
            if (ls != lh) {
                whole = false;
                if (ls < lh) have = have.substr(0, utf8::ByteOffset(have, ls));
            }
        }
        if (CompareTextsAs(s.v.s, have, o) != 0) return false;
        if (!whole) return true;
    }
    return true;
}

enum class Filter { None, IAbove, IAtMost, FAtLeast };

struct Op {
    enum Kind { Append, Insert, Edit, Delete, AddIndex, DropIndex, Select, Sort, SetFilter, Locate, Lookup,
                Mark, Visit, Replace } kind;
    Row row;                 // Append, Insert (before id), Edit (of row.id), Replace (appended)
    int id = 0;              // Insert: before; Delete, Mark, Replace (deleted)
    std::string name;        // AddIndex, DropIndex, Select ("" row order)
    IndexSpec index;         // AddIndex, Sort
    Filter filter = Filter::None;
    double limit = 0;
    std::vector<FieldSpec> fields;  // Locate, Lookup
    std::vector<Sought> key;
    bool ci = false, partial = false;
    int slot = 0;            // Mark, Visit
};

std::string RowText(const Row& r) {
    std::ostringstream s;
    s << "Id=" << r.id << " A=" << (r.a ? "'" + *r.a + "'" : "null") << " B=" << (r.b ? "'" + *r.b + "'" : "null")
      << " I=" << (r.i ? std::to_string(*r.i) : "null") << " F=" << (r.f ? std::to_string(*r.f) : "null")
      << " M=" << (r.m ? "'" + *r.m + "'" : "null");
    return s.str();
}

std::string OpText(const Op& op) {
    std::ostringstream s;
    auto spec = [](const IndexSpec& x) {
        std::string t = "'" + SpecText(x.fields) + "'";
        if (x.allCi) t += " ixCaseInsensitive";
        if (x.allDesc) t += " ixDescending";
        if (x.unique) t += " ixUnique";
        if (x.nonMaintained) t += " ixNonMaintained";
        return t;
    };
    auto key = [&] {
        std::string t;
        for (const Sought& k : op.key) {
            if (!t.empty()) t += ", ";
            t += k.nan ? "NaN" : k.v.null ? "null" : k.v.text ? "'" + k.v.s + "'" : std::to_string(k.v.n);
        }
        return t;
    };
    switch (op.kind) {
        case Op::Append: s << "Append " << RowText(op.row); break;
        case Op::Insert: s << "Insert before Id " << op.id << ": " << RowText(op.row); break;
        case Op::Edit: s << "Edit " << RowText(op.row); break;
        case Op::Delete: s << "Delete Id " << op.id; break;
        case Op::AddIndex: s << "AddIndex " << op.name << " " << spec(op.index); break;
        case Op::DropIndex: s << "DeleteIndex " << op.name; break;
        case Op::Select: s << "Select index '" << op.name << "'"; break;
        case Op::Sort: s << "SortOn " << spec(op.index); break;
        case Op::SetFilter: s << "Filter " << static_cast<int>(op.filter) << " " << op.limit; break;
        case Op::Locate:
            s << "Locate '" << SpecText(op.fields) << "' = (" << key() << ")" << (op.ci ? " loCaseInsensitive" : "")
              << (op.partial ? " loPartialKey" : "");
            break;
        case Op::Lookup: s << "Lookup '" << SpecText(op.fields) << "' = (" << key() << ")"; break;
        case Op::Mark: s << "Bookmark " << op.slot << " at Id " << op.id; break;
        case Op::Visit: s << "GotoBookmark " << op.slot; break;
        case Op::Replace: s << "Delete Id " << op.id << ", then Append " << RowText(op.row); break;
    }
    return s.str();
}

const char* const kTexts[] = {"a", "A", "b", "B", "ab", "AB", "Ab", "á", "Á", "ba", "abc", "ç", "Ç"};

class Generator {
public:
    explicit Generator(unsigned seed) : rng_(seed) {}

    // Operations for a table that holds about Live rows (the generator keeps
    // its own list of live ids so that edits and deletes mostly hit).
    Op Next() {
        const int o = Pick(100);
        Op op;
        if (live_.size() < 22 || (o < 22 && live_.size() < 70)) {
            op.kind = Pick(3) == 0 && !live_.empty() ? Op::Insert : Op::Append;
            op.row = NewRow();
            if (op.kind == Op::Insert) op.id = AnyId();
            live_.push_back(op.row.id);
            return op;
        }
        if (o < 36) {
            op.kind = Op::Edit;
            op.row = NewRow();
            --nextId_;
            op.row.id = AnyId();
            return op;
        }
        if (o < 44) {
            // Half of the deletes are followed by an append, which reuses
            // the freed slot: a low id late in the row order.
            op.kind = Pick(2) == 0 ? Op::Replace : Op::Delete;
            const std::size_t at = static_cast<std::size_t>(Pick(static_cast<int>(live_.size())));
            op.id = live_[at];
            live_.erase(live_.begin() + static_cast<std::ptrdiff_t>(at));
            if (op.kind == Op::Replace) {
                op.row = NewRow();
                live_.push_back(op.row.id);
            }
            return op;
        }
        if (o < 49) {
            op.kind = Op::AddIndex;
            op.name = "X" + std::to_string(Pick(4));
            op.index = RandomIndex();
            return op;
        }
        if (o < 51) {
            op.kind = Op::DropIndex;
            op.name = "X" + std::to_string(Pick(4));
            return op;
        }
        if (o < 57) {
            op.kind = Op::Select;
            op.name = Pick(4) == 0 ? std::string() : "X" + std::to_string(Pick(4));
            return op;
        }
        if (o < 59) {
            op.kind = Op::Sort;
            op.index = RandomIndex();
            op.index.unique = false;
            op.index.nonMaintained = false;
            return op;
        }
        if (o < 61) {
            op.kind = Op::SetFilter;
            op.filter = static_cast<Filter>(Pick(4));
            op.limit = op.filter == Filter::FAtLeast ? Pick(5) - 1.5 : Pick(6);
            if (Pick(2) == 0) op.filter = Filter::None;
            return op;
        }
        if (o < 66) {
            op.kind = Op::Mark;
            op.slot = Pick(4);
            op.id = AnyId();
            return op;
        }
        if (o < 70) {
            op.kind = Op::Visit;
            op.slot = Pick(4);
            return op;
        }
        op.kind = o < 92 ? Op::Locate : Op::Lookup;
        const int n = 1 + (Pick(3) == 0 ? 1 : 0) + (Pick(8) == 0 ? 1 : 0);
        std::vector<Col> cols = {cA, cB, cI, cF};
        std::shuffle(cols.begin(), cols.end(), rng_);
        if (Pick(2) == 0) cols = Pick(2) == 0 ? std::vector<Col>{cA, cB, cI} : std::vector<Col>{cB, cA, cF};
        for (int k = 0; k < n; ++k) {
            FieldSpec f{cols[static_cast<std::size_t>(k)]};
            if (op.kind == Op::Locate && Pick(10) == 0) f.ignoreNull = true;
            if (op.kind == Op::Locate && Pick(12) == 0) f.partial = true;
            if (op.kind == Op::Locate && Pick(12) == 0) f.ci = true;
            if (op.kind == Op::Locate && Pick(15) == 0) f.byteOrder = true;
            op.fields.push_back(f);
        }
        op.ci = op.kind == Op::Locate && Pick(2) == 0;
        op.partial = op.kind == Op::Locate && Pick(5) == 0;
        for (const FieldSpec& f : op.fields) op.key.push_back(RandomSought(f.col));
        return op;
    }

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

private:
    int AnyId() {
        if (live_.empty() || Pick(25) == 0) return 999999;
        return live_[static_cast<std::size_t>(Pick(static_cast<int>(live_.size())))];
    }

    OptText Text() {
        if (Pick(9) == 0) return std::nullopt;
        return std::string(kTexts[Pick(static_cast<int>(std::size(kTexts)))]);
    }

    Row NewRow() {
        Row r;
        r.id = nextId_++;
        r.a = Text();
        r.b = Text();
        if (Pick(8) != 0) r.i = Pick(7);
        if (Pick(8) != 0) r.f = (Pick(7) - 2) * 0.75;
        if (Pick(4) != 0) {
            static const char* const memos[] = {"", "nota", "observação: entregar à tarde", "Z"};
            r.m = std::string(memos[Pick(4)]) + std::string(static_cast<std::size_t>(Pick(3)) * 20, 'x');
            if (r.m->empty()) r.m.reset();  // an empty memo reads as null
        }
        return r;
    }

    Sought RandomSought(Col c) {
        Sought s;
        if (c == cF && Pick(12) == 0) {
            s.nan = true;
            s.v.null = false;
            return s;
        }
        if (Pick(10) == 0) return s;  // null
        s.v.null = false;
        if (c == cA || c == cB) {
            s.v.text = true;
            s.v.s = kTexts[Pick(static_cast<int>(std::size(kTexts)))];
            if (Pick(6) == 0) s.v.s = s.v.s.substr(0, 1);
        } else if (c == cI) {
            s.v.n = Pick(8);
        } else {
            s.v.n = (Pick(8) - 2) * 0.75;
        }
        return s;
    }

    IndexSpec RandomIndex() {
        IndexSpec x;
        // Now and then one of the orders of A alone, plain, case-blind or
        // descending: the table often holds several indexes of one field,
        // any of them current.
        if (Pick(4) == 0) {
            const int order = Pick(3);
            x.fields.push_back(FieldSpec{cA, order == 1, order == 2});
            return x;
        }
        std::vector<Col> cols = {cA, cB, cI, cF};
        std::shuffle(cols.begin(), cols.end(), rng_);
        if (Pick(2) == 0) cols = Pick(2) == 0 ? std::vector<Col>{cA, cB, cI} : std::vector<Col>{cB, cA, cF};
        const int n = 1 + Pick(3);
        for (int k = 0; k < n; ++k) {
            FieldSpec f{cols[static_cast<std::size_t>(k)]};
            const bool text = f.col == cA || f.col == cB;
            f.ci = text && Pick(3) == 0;
            f.desc = Pick(4) == 0;
            f.byteOrder = text && Pick(8) == 0;
            f.ignoreNull = Pick(12) == 0;
            f.partial = text && Pick(12) == 0;
            x.fields.push_back(f);
        }
        x.allCi = Pick(5) == 0;
        x.allDesc = Pick(8) == 0;
        // A non-maintained index shows none of the rows added after it was
        // built, which the model does not follow; its own tests cover it.
        x.unique = !x.Loose() && Pick(6) == 0;
        return x;
    }

    std::mt19937 rng_;
    std::vector<int> live_;
    int nextId_ = 1;
};

TIndexOptions OptionsOf(const IndexSpec& x) {
    TIndexOptions o;
    if (x.allCi) o.Include(ixCaseInsensitive);
    if (x.allDesc) o.Include(ixDescending);
    if (x.unique) o.Include(ixUnique);
    if (x.nonMaintained) o.Include(ixNonMaintained);
    return o;
}

// Drives one table and the model through a sequence; the first disagreement
// is returned as text.
class Replay {
public:
    // Compressed: texts long enough to be kept in blocks of their own, which
    // the smallest layout compresses through the table's handlers.
    explicit Replay(bool Compressed) : t_(std::make_unique<TmtMemTable>(nullptr)) {
        t_->FieldDefs()->Add("Id", ftInteger);
        t_->FieldDefs()->Add("A", ftString, Compressed ? 16 : 8);
        t_->FieldDefs()->Add("B", ftString, Compressed ? 16 : 8);
        if (Compressed) {
            t_->SetPerformance(mtpfSmall);
            // Marked, so that the decompressor knows what it did not compress.
            t_->OnCompressField = [](TDataSet*, TField*, const void* Buffer, int& Size, std::string& Out) {
                const auto* b = static_cast<const char*>(Buffer);
                Out.assign(b, b + Size);
                std::reverse(Out.begin(), Out.end());
                Out.insert(Out.begin(), '\x7F');
                Size = static_cast<int>(Out.size());
            };
            t_->OnDecompressField = [](TDataSet*, TField* Field, const void* Buffer, int& Size, std::string& Out) {
                const auto* b = static_cast<const char*>(Buffer);
                if (Size < 1 || b[0] != '\x7F') throw EMemTableError("not compressed data in field " + Field->FieldName());
                Out.assign(b + 1, b + Size);
                std::reverse(Out.begin(), Out.end());
                Size = static_cast<int>(Out.size());
            };
            const auto flip = [](TDataSet*, TStream* From, TStream* To) {
                From->Seek(0, soBeginning);
                std::string bytes = From->ReadAllBytes();
                for (char& c : bytes) c = static_cast<char>(c ^ 0x5A);
                To->WriteBytes(bytes);
            };
            t_->OnCompressBlobStream = flip;
            t_->OnDecompressBlobStream = flip;
        }
        t_->FieldDefs()->Add("I", ftInteger);
        t_->FieldDefs()->Add("F", ftFloat);
        t_->FieldDefs()->Add("M", ftMemo);
        t_->Open();
    }

    std::optional<std::string> Run(const std::vector<Op>& ops) {
        for (std::size_t k = 0; k < ops.size(); ++k) {
            std::optional<std::string> bad;
            try {
                bad = Apply(ops[k]);
                if (!bad) bad = Check();
            } catch (const std::exception& e) {
                bad = std::string("unexpected exception: ") + e.what();
            }
            if (bad) {
                kind_ = std::to_string(static_cast<int>(ops[k].kind)) + ":" +
                        bad->substr(0, bad->find_first_of("0123456789'"));
                return "operation " + std::to_string(k) + " (" + OpText(ops[k]) + "): " + *bad;
            }
        }
        return std::nullopt;
    }

private:
    Row* Find(int id) {
        for (Row& r : rows_)
            if (r.id == id) return &r;
        return nullptr;
    }
    bool Passes(const Row& r) const {
        switch (filter_) {
            case Filter::None: return true;
            case Filter::IAbove: return r.i && *r.i > limit_;
            case Filter::IAtMost: return r.i && *r.i <= limit_;
            case Filter::FAtLeast: return r.f && *r.f >= limit_;
        }
        return true;
    }
    // Would a change to Row break a unique index (Self: the row's own id)?
    bool Duplicates(const Row& row, int self) const {
        for (const auto& [name, x] : indexes_) {
            if (!x.unique) continue;
            for (const Row& r : rows_)
                if (r.id != self && IndexOrder(x.Effective(), r, row) == 0) return true;
        }
        return false;
    }
    bool HasDuplicates(const IndexSpec& x) const {
        for (std::size_t p = 0; p < rows_.size(); ++p)
            for (std::size_t q = p + 1; q < rows_.size(); ++q)
                if (IndexOrder(x.Effective(), rows_[p], rows_[q]) == 0) return true;
        return false;
    }

    void Fill(const Row& r) {
        t_->FieldByName("Id")->SetAsInteger(r.id);
        if (r.a) t_->FieldByName("A")->SetAsString(*r.a); else t_->FieldByName("A")->Clear();
        if (r.b) t_->FieldByName("B")->SetAsString(*r.b); else t_->FieldByName("B")->Clear();
        if (r.i) t_->FieldByName("I")->SetAsInteger(*r.i); else t_->FieldByName("I")->Clear();
        if (r.f) t_->FieldByName("F")->SetAsFloat(*r.f); else t_->FieldByName("F")->Clear();
        if (r.m) t_->FieldByName("M")->SetAsString(*r.m); else t_->FieldByName("M")->Clear();
    }

    // Puts the cursor on a row through a bookmark of the walk, not through
    // a locate (which is under test).
    bool Reach(int id) {
        if (Walk()) return false;
        for (std::size_t k = 0; k < order_.size(); ++k)
            if (order_[k] == id) {
                t_->SetRecNo(static_cast<int>(k) + 1);
                cursor_ = CurrentId();
                return cursor_ == id;
            }
        return false;
    }
    int CurrentId() const { return t_->IsEmpty() ? -1 : t_->FieldByName("Id")->AsInteger(); }

    // Posts the current insert or edit; a unique index refusing it cancels.
    std::optional<std::string> Post(bool refused) {
        try {
            t_->Post();
        } catch (const EMemTableDupKey&) {
            t_->Cancel();
            if (!refused) return "refused as a duplicate";
            return std::nullopt;
        }
        if (refused) return "a duplicate key of a unique index was taken";
        return std::nullopt;
    }

    std::optional<std::string> Apply(const Op& op) {
        switch (op.kind) {
            case Op::Append:
            case Op::Insert: {
                if (Find(op.row.id) != nullptr) return std::nullopt;
                int before = -1;
                bool insert = false;
                if (op.kind == Op::Insert && Find(op.id) != nullptr && Passes(*Find(op.id)) && Reach(op.id)) {
                    insert = true;
                    before = op.id;
                }
                const bool refused = Duplicates(op.row, -1);
                if (insert)
                    t_->Insert();
                else
                    t_->Append();
                Fill(op.row);
                if (auto bad = Post(refused)) return bad;
                dirty_ = true;
                if (refused) {
                    cursor_ = -1;
                    return std::nullopt;
                }
                auto at = rows_.end();
                // The row order places an insert before the current row only
                // while the row order is the table's order.
                if (insert && current_.empty())
                    at = std::find_if(rows_.begin(), rows_.end(), [&](const Row& r) { return r.id == before; });
                rows_.insert(at, op.row);
                cursor_ = Passes(op.row) ? op.row.id : -1;
                return std::nullopt;
            }
            case Op::Edit: {
                Row* r = Find(op.row.id);
                if (r == nullptr || !Passes(*r) || !Reach(r->id)) return std::nullopt;
                const bool refused = Duplicates(op.row, op.row.id);
                t_->Edit();
                Fill(op.row);
                if (auto bad = Post(refused)) return bad;
                dirty_ = true;
                if (!refused) *r = op.row;
                cursor_ = Passes(*r) && !refused ? r->id : -1;
                return std::nullopt;
            }
            case Op::Delete: {
                Row* r = Find(op.id);
                if (r == nullptr || !Passes(*r) || !Reach(r->id)) return std::nullopt;
                t_->Delete();
                rows_.erase(rows_.begin() + (r - rows_.data()));
                dirty_ = true;
                cursor_ = -1;
                return std::nullopt;
            }
            case Op::Replace: {
                Op del;
                del.kind = Op::Delete;
                del.id = op.id;
                if (auto bad = Apply(del)) return bad;
                Op add;
                add.kind = Op::Append;
                add.row = op.row;
                return Apply(add);
            }
            case Op::AddIndex: {
                if (indexes_.count(op.name) != 0) return std::nullopt;
                const bool fails = op.index.unique && HasDuplicates(op.index);
                try {
                    t_->AddIndex(op.name, SpecText(op.index.fields), OptionsOf(op.index));
                } catch (const EMemTableDupKey&) {
                    if (!fails) return std::string("refused as a duplicate");
                    return std::nullopt;
                }
                if (fails) return std::string("an index of duplicate keys was made unique");
                indexes_[op.name] = op.index;
                return std::nullopt;
            }
            case Op::DropIndex: {
                if (indexes_.count(op.name) == 0) return std::nullopt;
                t_->DeleteIndex(op.name);
                indexes_.erase(op.name);
                if (current_ == op.name) {
                    current_.clear();
                    cursor_ = -1;
                }
                dirty_ = true;
                return std::nullopt;
            }
            case Op::Select: {
                if (!op.name.empty() && indexes_.count(op.name) == 0) return std::nullopt;
                t_->SetIndexName(op.name);
                current_ = op.name;
                dirty_ = true;
                return std::nullopt;
            }
            case Op::Sort: {
                const int before = cursor_;
                t_->SortOn(SpecText(op.index.fields), [&] {
                    TmtMemTableCompareOptions o;
                    if (op.index.allCi) o.Include(mtcoCaseInsensitive);
                    if (op.index.allDesc) o.Include(mtcoDescending);
                    return o;
                }());
                indexes_["__MT__SORT"] = op.index;
                current_ = "__MT__SORT";
                dirty_ = true;
                cursor_ = before;
                return std::nullopt;
            }
            case Op::SetFilter: {
                if (op.filter == Filter::None) {
                    t_->SetFiltered(false);
                    t_->SetFilter("");
                } else {
                    const char* text = op.filter == Filter::IAbove ? "I > " : op.filter == Filter::IAtMost ? "I <= "
                                                                                                         : "F >= ";
                    std::ostringstream s;
                    s << text << op.limit;
                    t_->SetFilter(s.str());
                    t_->SetFiltered(true);
                }
                filter_ = op.filter;
                limit_ = op.limit;
                dirty_ = true;
                cursor_ = -1;
                return std::nullopt;
            }
            case Op::Locate:
            case Op::Lookup: return Seek(op);
            case Op::Mark: {
                Row* r = Find(op.id);
                if (r == nullptr || !Passes(*r) || !Reach(r->id)) return std::nullopt;
                marks_[op.slot] = {r->id, t_->GetBookmark()};
                return std::nullopt;
            }
            case Op::Visit: {
                auto m = marks_.find(op.slot);
                if (m == marks_.end()) return std::nullopt;
                Row* r = Find(m->second.first);
                if (r == nullptr) {
                    if (t_->BookmarkValid(m->second.second)) return std::string("a deleted row's bookmark is valid");
                    marks_.erase(m);
                    return std::nullopt;
                }
                if (!Passes(*r)) return std::nullopt;
                if (!t_->BookmarkValid(m->second.second)) return std::string("a live row's bookmark is not valid");
                t_->GotoBookmark(m->second.second);
                if (CurrentId() != r->id)
                    return "the bookmark of Id " + std::to_string(r->id) + " shows Id " + std::to_string(CurrentId());
                cursor_ = r->id;
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    Variant KeyVariant(const Op& op) const {
        std::vector<Variant> values;
        for (std::size_t k = 0; k < op.key.size(); ++k) {
            const Sought& s = op.key[k];
            if (s.nan)
                values.emplace_back(std::numeric_limits<double>::quiet_NaN());
            else if (s.v.null)
                values.push_back(Null());
            else if (s.v.text)
                values.emplace_back(s.v.s);
            else if (op.fields[k].col == cI)
                values.emplace_back(static_cast<int>(s.v.n));
            else
                values.emplace_back(s.v.n);
        }
        return values.size() == 1 ? values[0] : VarArrayOf(values);
    }

    std::optional<std::string> Seek(const Op& op) {
        if (auto bad = Walk()) return bad;
        std::vector<FieldSpec> fields = op.fields;
        for (FieldSpec& f : fields) {
            f.ci = f.ci || op.ci;
            f.partial = f.partial || op.partial;
        }
        int expected = -1;
        for (int id : order_)
            if (Matches(*Find(id), fields, op.key)) {
                expected = id;
                break;
            }
        const int before = CurrentId();
        if (op.kind == Op::Lookup) {
            Variant v = t_->Lookup(SpecText(op.fields), KeyVariant(op), "Id");
            const int got = v.IsNull() ? -1 : v.AsInteger();
            if (got != expected)
                return "lookup gives Id " + std::to_string(got) + ", the model Id " + std::to_string(expected);
            if (CurrentId() != before) return std::string("a lookup moved the cursor");
            return std::nullopt;
        }
        TLocateOptions o;
        if (op.ci) o.Include(loCaseInsensitive);
        if (op.partial) o.Include(loPartialKey);
        const bool found = t_->Locate(SpecText(op.fields), KeyVariant(op), o);
        const int got = found ? CurrentId() : -1;
        if (got != expected)
            return "locate finds Id " + std::to_string(got) + ", the model Id " + std::to_string(expected) + " (" +
                   (expected > 0 ? RowText(*Find(expected)) : std::string("none")) + ")";
        if (found) {
            cursor_ = got;
            const Row& r = *Find(got);
            TField* m = t_->FieldByName("M");
            if (m->IsNull() != !r.m.has_value() || (r.m && m->AsString() != *r.m))
                return "the memo of Id " + std::to_string(got) + " reads " +
                       (m->IsNull() ? std::string("null") : "'" + m->AsString() + "'");
        } else if (CurrentId() != before) {
            return std::string("a failed locate moved the cursor");
        }
        return std::nullopt;
    }

    // Reads the table's order (what a walk shows) into order_ and checks it
    // against the model: the same rows, in row order or sorted by the index.
    std::optional<std::string> Walk() {
        if (!dirty_) return std::nullopt;
        const int at = CurrentId();
        TBookmark mark = t_->IsEmpty() ? TBookmark{} : t_->GetBookmark();
        order_.clear();
        for (t_->First(); !t_->Eof(); t_->Next()) order_.push_back(t_->FieldByName("Id")->AsInteger());
        if (at >= 0) t_->GotoBookmark(mark);
        std::vector<int> expected;
        for (const Row& r : rows_)
            if (Passes(r)) expected.push_back(r.id);
        if (current_.empty()) {
            if (order_ != expected) return std::string("the row order differs from the model's");
        } else {
            std::vector<int> a = order_, b = expected;
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
            if (a != b) return "index " + current_ + " holds other rows than the model";
            const IndexSpec& x = indexes_.at(current_);
            if (t_->CurIndex()->IsOrdered() && !x.Loose()) {
                for (std::size_t k = 1; k < order_.size(); ++k)
                    if (IndexOrder(x.Effective(), *Find(order_[k - 1]), *Find(order_[k])) > 0)
                        return "index " + current_ + " puts " + RowText(*Find(order_[k - 1])) + " before " +
                               RowText(*Find(order_[k]));
            }
        }
        dirty_ = false;
        return std::nullopt;
    }

    std::optional<std::string> Check() {
        if (cursor_ >= 0 && CurrentId() != cursor_)
            return "the cursor shows Id " + std::to_string(CurrentId()) + " instead of Id " + std::to_string(cursor_);
        if (cursor_ < 0) cursor_ = CurrentId();
        return Walk();
    }

public:
    // What kind of disagreement the run ended on: the operation and the
    // words of the message.
    std::string kind_;

private:
    std::unique_ptr<TmtMemTable> t_;
    std::vector<Row> rows_;
    std::map<std::string, IndexSpec> indexes_;
    std::string current_;
    Filter filter_ = Filter::None;
    double limit_ = 0;
    int cursor_ = -1;
    std::map<int, std::pair<int, TBookmark>> marks_;
    std::vector<int> order_;
    bool dirty_ = true;
};

std::optional<std::string> RunOps(const std::vector<Op>& ops, bool compressed, std::string* kind = nullptr) {
    Replay replay(compressed);
    auto bad = replay.Run(ops);
    if (kind != nullptr) *kind = replay.kind_;
    return bad;
}

// Leaves out chunks of the sequence, then single operations, for as long as
// the same kind of disagreement stays.
std::vector<Op> Shrink(std::vector<Op> ops, bool compressed) {
    std::string kind, now;
    RunOps(ops, compressed, &kind);
    std::size_t chunk = ops.size() / 2;
    while (chunk >= 1) {
        bool removed = false;
        for (std::size_t from = 0; from < ops.size();) {
            std::vector<Op> shorter(ops.begin(), ops.begin() + static_cast<std::ptrdiff_t>(from));
            shorter.insert(shorter.end(), ops.begin() + static_cast<std::ptrdiff_t>(std::min(ops.size(), from + chunk)),
                           ops.end());
            if (RunOps(shorter, compressed, &now) && now == kind) {
                ops = std::move(shorter);
                removed = true;
            } else {
                from += chunk;
            }
        }
        if (!removed) chunk /= 2;
    }
    return ops;
}

long EnvNumber(const char* name, long fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::strtol(v, nullptr, 10) : fallback;
}

}  // namespace

TEST(Differential, TableAgreesWithABruteForceModel) {
    const long total = EnvNumber("MEMTABLE_DIFF_OPERATIONS", 12000);
    const unsigned seed = static_cast<unsigned>(EnvNumber("MEMTABLE_DIFF_SEED", 58));
    constexpr long kPerSequence = 1500;
    for (long done = 0, n = 0; done < total; done += kPerSequence, ++n) {
        Generator g(seed + static_cast<unsigned>(n));
        std::vector<Op> ops;
        for (long k = 0; k < kPerSequence; ++k) ops.push_back(g.Next());
        // Every other sequence on the layout that compresses long texts.
        const bool compressed = n % 2 == 1;
        if (auto bad = RunOps(ops, compressed)) {
            std::vector<Op> shortest = Shrink(ops, compressed);
            std::string text;
            for (const Op& op : shortest) text += "  " + OpText(op) + "\n";
            FAIL() << "seed " << seed + n << ": " << *bad << "\nshortest sequence that shows it ("
                   << shortest.size() << " operations" << (compressed ? ", compressed texts" : "")
                   << "): " << RunOps(shortest, compressed).value_or("?") << "\n" << text;
        }
    }
}

// The blocks an index keeps its entries in, against a plain vector: appends,
// inserts and deletes anywhere, reads by position, across many block splits
// and emptied blocks.
TEST(Differential, BlockListAgreesWithAVector) {
    std::mt19937 rng(2058);
    memtable::BlockList<int32_t> blocks;
    std::vector<int> plain;
    auto same = [&] {
        for (std::size_t i = 0; i < plain.size(); ++i) ASSERT_EQ(blocks[i], plain[i]) << "at " << i;
    };
    // Appends alone, then deletes at the end, leave every block but the last
    // as full as appends make them; an insert elsewhere ends that.
    for (int i = 0; i < 5000; ++i) {
        blocks.push_back(2000000 + i);
        plain.push_back(2000000 + i);
    }
    same();
    for (int k = 0; k < 1100; ++k) {
        blocks.erase(plain.size() - 1);
        plain.pop_back();
    }
    same();
    blocks.insert(1500, 3000000);
    plain.insert(plain.begin() + 1500, 3000000);
    same();
    for (int step = 0; step < 60000; ++step) {
        const int o = std::uniform_int_distribution<int>(0, 9)(rng);
        if (plain.empty() || o < 5 || (step > 40000 && o < 3)) {
            const std::size_t at = std::uniform_int_distribution<std::size_t>(0, plain.size())(rng);
            if (o == 0) {
                blocks.push_back(step);
                plain.push_back(step);
            } else {
                blocks.insert(at, step);
                plain.insert(plain.begin() + static_cast<std::ptrdiff_t>(at), step);
            }
        } else if (o < (step > 40000 ? 9 : 7)) {
            const std::size_t at = std::uniform_int_distribution<std::size_t>(0, plain.size() - 1)(rng);
            blocks.erase(at);
            plain.erase(plain.begin() + static_cast<std::ptrdiff_t>(at));
        } else {
            const std::size_t at = std::uniform_int_distribution<std::size_t>(0, plain.size() - 1)(rng);
            ASSERT_EQ(blocks[at], plain[at]) << "step " << step;
            ASSERT_EQ(blocks.Find(plain[at]), static_cast<long>(at)) << "step " << step;
            ASSERT_EQ(blocks.Find(step + 1000000), -1);
        }
        ASSERT_EQ(blocks.size(), plain.size());
        if (step % 5000 == 0 || step == 59999) {
            std::size_t i = 0;
            for (std::size_t b = 0; b < blocks.Blocks(); ++b) {
                ASSERT_EQ(blocks.BlockStart(b), i);
                for (std::size_t k = 0; k < blocks.BlockSize(b); ++k, ++i) ASSERT_EQ(blocks.BlockData(b)[k], plain[i]);
            }
            ASSERT_EQ(i, plain.size());
        }
    }
}

// Indexes of thousands of rows, held in many blocks, through inserts, edits
// and deletes anywhere: each stays in order with every row once, and
// locates through them find the first matching row of the row order.
TEST(Differential, LargeIndexesFollowChangesAnywhere) {
    std::mt19937 rng(58058);
    auto t = mttest::MakeItems();
    t->IndexDefs()->Add("ByName", "Name", {});
    t->IndexDefs()->Add("ByAmount", "Amount", {});
    t->Open();
    struct Item {
        int id;
        std::string name;
        double amount;
    };
    std::vector<Item> rows;  // in row order
    int next = 1;
    auto fresh = [&] {
        char name[24];
        std::snprintf(name, sizeof name, "Cliente %04d", std::uniform_int_distribution<int>(0, 2999)(rng));
        return Item{next++, name, std::uniform_int_distribution<int>(0, 99999)(rng) / 100.0};
    };
    auto fill = [&](const Item& r) {
        t->FieldByName("Id")->SetAsInteger(r.id);
        t->FieldByName("Name")->SetAsString(r.name);
        t->FieldByName("Amount")->SetAsFloat(r.amount);
    };
    for (int i = 0; i < 9000; ++i) {
        rows.push_back(fresh());
        t->Append();
        fill(rows.back());
        t->Post();
    }
    for (int step = 0; step < 4000; ++step) {
        const int o = std::uniform_int_distribution<int>(0, 2)(rng);
        const std::size_t at = std::uniform_int_distribution<std::size_t>(0, rows.size() - 1)(rng);
        t->SetRecNo(static_cast<int>(at) + 1);
        ASSERT_EQ(t->FieldByName("Id")->AsInteger(), rows[at].id) << "step " << step;
        if (o == 0) {
            rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(at), fresh());
            t->Insert();
            fill(rows[at]);
            t->Post();
        } else if (o == 1) {
            const int id = rows[at].id;
            rows[at] = fresh();
            --next;
            rows[at].id = id;
            t->Edit();
            fill(rows[at]);
            t->Post();
        } else {
            rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(at));
            t->Delete();
        }
    }
    std::vector<int> all;
    for (const Item& r : rows) all.push_back(r.id);
    std::sort(all.begin(), all.end());
    std::map<int, const Item*> byId;
    for (const Item& r : rows) byId[r.id] = &r;
    for (const char* index : {"ByName", "ByAmount"}) {
        t->SetIndexName(index);
        std::vector<int> seen;
        const Item* prev = nullptr;
        for (t->First(); !t->Eof(); t->Next()) {
            const Item* r = byId.at(t->FieldByName("Id")->AsInteger());
            if (prev != nullptr) {
                if (std::string(index) == "ByName") {
                    ASSERT_LE(AnsiCompareStr(prev->name, r->name), 0) << index;
                } else {
                    ASSERT_LE(prev->amount, r->amount) << index;
                }
            }
            prev = r;
            seen.push_back(r->id);
        }
        std::sort(seen.begin(), seen.end());
        ASSERT_EQ(seen, all) << index;
    }
    t->SetIndexName("");
    for (int k = 0; k < 300; ++k) {
        const Item& pick = rows[std::uniform_int_distribution<std::size_t>(0, rows.size() - 1)(rng)];
        const bool byName = k % 2 == 0;
        const auto first = std::find_if(rows.begin(), rows.end(), [&](const Item& r) {
            return byName ? r.name == pick.name : r.amount == pick.amount;
        });
        ASSERT_TRUE(byName ? t->Locate("Name", pick.name, {}) : t->Locate("Amount", pick.amount, {}));
        ASSERT_EQ(t->FieldByName("Id")->AsInteger(), first->id) << (byName ? pick.name : std::to_string(pick.amount));
    }
}

// A detail table linked to a master (DetailFields on one field or two), with
// versioning for transactions, another index or a sort current, or the
// link's own index: random master moves, walks, counts, edits that move a
// detail to another master, deletes, appends, and transactions started,
// committed and rolled back among them. After each step the detail set is
// the model's: the master's records, each once, in the current order. A
// commit rebuilds the indexes (equal keys go back to slot order), so what
// remembers positions in them must let go of them.
TEST(Differential, MasterDetailAgreesThroughCommitsAndRollbacks) {
    struct D {
        int id, k;
        std::string t;
        int v;
    };
    struct Case {
        const char* detailFields;  // "K" or "K;T"
        const char* current;       // "ByV", "ByVD", "Link", "sort", "" (row order)
    };
    const Case cases[] = {{"K", "ByV"},  {"K", "Link"}, {"K", "sort"},   {"K", ""},
                          {"K;T", "ByV"}, {"K;T", "ByVD"}, {"K;T", "sort"}, {"K", "ByVD"}};
    constexpr int kMasters = 6, kSteps = 700;
    auto tagOf = [](int m) { return std::string(m % 2 == 0 ? "a" : "b"); };
    for (const Case& c : cases) {
        for (unsigned seed = 1; seed <= 3; ++seed) {
            SCOPED_TRACE(std::string(c.detailFields) + " with '" + c.current + "' current, seed " +
                         std::to_string(seed));
            const bool two = std::string(c.detailFields) == "K;T";
            std::mt19937 rng(seed * 7919 + static_cast<unsigned>(std::string(c.current).size()));
            auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
            auto master = std::make_unique<TmtMemTable>(nullptr);
            master->FieldDefs()->Add("Id", ftInteger);
            master->FieldDefs()->Add("Tag", ftString, 4);
            master->Open();
            for (int m = 0; m < kMasters; ++m) {
                master->Append();
                master->FieldByName("Id")->SetAsInteger(m);
                master->FieldByName("Tag")->SetAsString(tagOf(m));
                master->Post();
            }
            auto details = std::make_unique<TmtMemTable>(nullptr);
            details->FieldDefs()->Add("Id", ftInteger);
            details->FieldDefs()->Add("K", ftInteger);
            details->FieldDefs()->Add("T", ftString, 4);
            details->FieldDefs()->Add("V", ftInteger);
            details->SetEnableVersioning(true);
            details->SetVersioningMode(mtvmAllSinceCheckPoint);
            details->IndexDefs()->Add("Link", c.detailFields, {});
            details->IndexDefs()->Add("ByV", "V", {});
            details->IndexDefs()->Add("ByVD", "V", {ixDescending});
            details->Open();
            std::vector<D> rows;  // every live detail
            int nextId = 1;
            auto append = [&](int k, const std::string& t) {
                D d{nextId++, k, t, pick(4)};
                details->Append();
                details->FieldByName("Id")->SetAsInteger(d.id);
                details->FieldByName("K")->SetAsInteger(d.k);
                details->FieldByName("T")->SetAsString(d.t);
                details->FieldByName("V")->SetAsInteger(d.v);
                details->Post();
                rows.push_back(d);
            };
            for (int i = 0; i < 60; ++i) {
                const int k = pick(kMasters);
                append(k, pick(3) == 0 ? tagOf(k + 1) : tagOf(k));
            }
            if (std::string(c.current) == "sort")
                details->SortOn("V", {});
            else
                details->SetIndexName(c.current);
            TDataSource source(nullptr);
            source.SetDataSet(master.get());
            details->SetDetailFields(c.detailFields);
            details->SetMasterFields(two ? "Id;Tag" : "Id");
            details->SetMasterSource(&source);
            master->First();
            std::vector<std::vector<D>> saved;  // the rows at each transaction's start
            int key = 0;
            std::string log;
            auto shown = [&] {
                std::vector<int> ids;
                for (const D& d : rows)
                    if (d.k == key && (!two || d.t == tagOf(key))) ids.push_back(d.id);
                std::sort(ids.begin(), ids.end());
                return ids;
            };
            auto walk = [&] {
                std::vector<int> ids;
                for (details->First(); !details->Eof(); details->Next())
                    ids.push_back(details->FieldByName("Id")->AsInteger());
                return ids;
            };
            // Stands on a shown detail picked at random; its id, or -1 when none shows.
            auto goToShown = [&] {
                const std::vector<int> ids = walk();
                if (ids.empty()) return -1;
                const int at = pick(static_cast<int>(ids.size()));
                details->First();
                for (int i = 0; i < at; ++i) details->Next();
                return details->FieldByName("Id")->AsInteger();
            };
            auto valueOf = [&](int id) {
                for (const D& d : rows)
                    if (d.id == id) return d.v;
                return -1;
            };
            for (int step = 0; step < kSteps; ++step) {
                const int o = pick(100);
                if (o < 12) {
                    key = pick(kMasters);
                    ASSERT_TRUE(master->Locate("Id", key, {}));
                    log += " move " + std::to_string(key);
                } else if (o < 22 && saved.size() < 3) {
                    details->StartTransaction();
                    saved.push_back(rows);
                    log += " start";
                } else if (o < 32 && !saved.empty()) {
                    details->Commit();
                    saved.pop_back();
                    log += " commit";
                } else if (o < 38 && !saved.empty()) {
                    details->Rollback();
                    rows = saved.back();
                    saved.pop_back();
                    log += " rollback";
                } else if (o < 58) {
                    // An edit of a shown detail: another master, or another value.
                    const int id = goToShown();
                    if (id < 0) continue;
                    D* d = nullptr;
                    for (D& r : rows)
                        if (r.id == id) d = &r;
                    ASSERT_NE(d, nullptr);
                    details->Edit();
                    if (pick(2) == 0) {
                        d->k = pick(kMasters);
                        d->t = tagOf(d->k);
                        details->FieldByName("K")->SetAsInteger(d->k);
                        details->FieldByName("T")->SetAsString(d->t);
                    } else {
                        d->v = pick(4);
                        details->FieldByName("V")->SetAsInteger(d->v);
                    }
                    details->Post();
                    log += " edit " + std::to_string(id);
                } else if (o < 72) {
                    const int id = goToShown();
                    if (id < 0) continue;
                    details->Delete();
                    rows.erase(std::find_if(rows.begin(), rows.end(), [&](const D& r) { return r.id == id; }));
                    log += " delete " + std::to_string(id);
                } else if (o < 88) {
                    append(key, tagOf(key));
                    log += " append " + std::to_string(nextId - 1);
                } else {
                    log += " walk";
                }
                const std::vector<int> got = walk();
                std::vector<int> sorted = got;
                std::sort(sorted.begin(), sorted.end());
                ASSERT_EQ(sorted, shown()) << "step " << step << ":" << log;
                ASSERT_EQ(details->RecordCount(), static_cast<int>(got.size())) << "step " << step << ":" << log;
                const std::string cur = c.current;
                if (cur != "" && cur != "Link")
                    for (std::size_t i = 1; i < got.size(); ++i) {
                        const int a = valueOf(got[i - 1]), b = valueOf(got[i]);
                        ASSERT_TRUE(cur == "ByVD" ? a >= b : a <= b) << "step " << step << ":" << log;
                    }
            }
        }
    }
}
