// The table's filters read a record's own fields straight from it: every
// expression must give what the variant evaluator over the table's fields
// gives, value or error, and field names must follow the table when its
// fields are made again.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "memtable/mtFilter.h"
#include "platform/rtl/Strings.h"
#include "tests/memtable/MemTableTestSupport.h"
#include "tests/memtable/RandomFilter.h"

namespace {

// A (3), B (null, or -2), N (0), D (a date), S ("ação  "), as the random texts expect.
std::unique_ptr<TmtMemTable> FuzzTable(TmtPerformance Performance, bool WithB) {
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->FieldDefs()->Add("A", ftInteger);
    t->FieldDefs()->Add("B", ftSmallint);
    t->FieldDefs()->Add("N", ftFloat);
    t->FieldDefs()->Add("D", ftDateTime);
    t->FieldDefs()->Add("S", ftString, 20);
    t->SetPerformance(Performance);
    t->Open();
    t->Append();
    t->FieldByName("A")->SetAsInteger(3);
    if (WithB) t->FieldByName("B")->SetAsInteger(-2);
    t->FieldByName("N")->SetAsFloat(0);
    t->FieldByName("D")->SetAsDateTime(EncodeDate(2026, 12, 7));
    t->FieldByName("S")->SetAsString("ação  ");
    t->Post();
    t->First();
    return t;
}

struct Outcome {
    bool raised = false;
    std::string error;
    Variant value;
};

template <typename F>
Outcome Attempt(F&& f) {
    Outcome o;
    try {
        o.value = f();
    } catch (const Exception& e) {
        o.raised = true;
        o.error = std::string(e.ClassName()) + ": " + e.Message();
    }
    return o;
}

bool Same(const Variant& a, const Variant& b) {
    if (a.VarType() != b.VarType()) return false;
    if (a.IsNull() || a.IsEmpty()) return true;
    if (a.IsArray()) {
        if (a.LowBound() != b.LowBound() || a.HighBound() != b.HighBound()) return false;
        for (int i = a.LowBound(); i <= a.HighBound(); ++i)
            if (!Same(a.GetElement(i), b.GetElement(i))) return false;
        return true;
    }
    return VarToStr(a) == VarToStr(b);
}

}  // namespace

TEST(FilterRecord, EveryExpressionGivesWhatTheVariantEvaluatorGives) {
    for (auto [perf, withB] : {std::pair{mtpfFast, false}, std::pair{mtpfBalanced, false}, std::pair{mtpfFast, true}}) {
        auto t = FuzzTable(perf, withB);
        PmtRecord record = t->Common()->Record(0);
        ASSERT_NE(record, nullptr);
        std::mt19937 rng(11);
        int values = 0, errors = 0;
        for (int i = 0; i < 20000; ++i) {
            const std::string text = mttest::RandomFilterText(rng, 4, false);
            std::unique_ptr<TmtFilterExpression> e;
            try {
                e = std::make_unique<TmtFilterExpression>(text, i % 2 ? TFilterOptions{foCaseInsensitive}
                                                                      : TFilterOptions{});
            } catch (const Exception&) {
                continue;
            }
            const Outcome byFields = Attempt([&] { return e->Evaluate(t.get()); });
            const Outcome byRecord = Attempt([&] { return e->EvaluateRecord(t.get(), record); });
            ASSERT_EQ(byRecord.raised, byFields.raised) << text << ": " << byFields.error << byRecord.error;
            if (byFields.raised) {
                ASSERT_EQ(byRecord.error, byFields.error) << text;
                ++errors;
                continue;
            }
            ASSERT_TRUE(Same(byRecord.value, byFields.value))
                << text << ": " << VarToStr(byRecord.value) << " (" << byRecord.value.VarType() << ") / "
                << VarToStr(byFields.value) << " (" << byFields.value.VarType() << ")";
            const Outcome accepts = Attempt([&] { return Variant(e->AcceptsRecord(t.get(), record)); });
            const Outcome accepted = Attempt([&] { return Variant(memtable::FilterResultAccepts(byFields.value)); });
            ASSERT_EQ(accepts.raised, accepted.raised) << text;
            if (!accepts.raised) ASSERT_EQ(accepts.value.AsBoolean(), accepted.value.AsBoolean()) << text;
            ++values;
        }
        EXPECT_GT(values, 5000);
        EXPECT_GT(errors, 100);
    }
}

TEST(FilterRecord, FieldNamesFollowTheFieldsWhenTheTableReopens) {
    auto t = mttest::MakeItems();
    t->Open();
    mttest::AddItem(t.get(), 1, "um", 1);
    mttest::AddItem(t.get(), 2, "dois", 5);
    mttest::AddItem(t.get(), 3, "três", 9);
    t->SetFilter("Amount > 4 AND NAME <> 'dois'");
    t->SetFiltered(true);
    EXPECT_EQ(mttest::Ids(t.get()), (std::vector<int>{3}));
    // The same names, other places and kinds: the filter reads them anew.
    t->Close();
    t->FieldDefs()->Clear();
    t->FieldDefs()->Add("Name", ftString, 30);
    t->FieldDefs()->Add("Amount", ftInteger);
    t->FieldDefs()->Add("Id", ftInteger);
    t->Open();
    t->SetFiltered(false);
    for (auto [id, name, amount] : {std::tuple{1, "dois", 7}, std::tuple{2, "quatro", 3}, std::tuple{3, "cinco", 8}}) {
        t->Append();
        t->FieldByName("Id")->SetAsInteger(id);
        t->FieldByName("Name")->SetAsString(name);
        t->FieldByName("Amount")->SetAsInteger(amount);
        t->Post();
    }
    t->SetFiltered(true);
    EXPECT_EQ(mttest::Ids(t.get()), (std::vector<int>{3}));
}

TEST(FilterRecord, AnUnknownFieldIsTheFieldLookupsError) {
    auto t = mttest::MakeItems();
    t->Open();
    mttest::AddItem(t.get(), 1, "um", 1);
    t->SetFilter("Missing = 1");
    try {
        t->SetFiltered(true);
        t->First();
        FAIL() << "an unknown field must be refused";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message().find("Missing"), std::string::npos) << e.Message();
    }
}

TEST(FilterRecord, CalculatedFieldsAreReadThroughTheirFields) {
    auto t = mttest::MakeItems();
    auto* twice = new TFloatField(t.get());
    twice->SetFieldName("Twice");
    twice->SetFieldKind(fkCalculated);
    twice->SetDataSet(t.get());
    for (const char* n : {"Id", "Name", "Amount"}) {
        TFieldDef* def = t->FieldDefs()->Find(n);
        TField* f = def->CreateField(t.get());
        f->SetIndex(t->FieldCount() - 1);
    }
    t->OnCalcFields = [](TDataSet* ds) {
        ds->FieldByName("Twice")->SetAsFloat(ds->FieldByName("Amount")->AsFloat() * 2);
    };
    t->Open();
    for (int i = 1; i <= 5; ++i) mttest::AddItem(t.get(), i, "n", i);
    t->SetFilter("Twice >= 6 AND Id < 5");
    t->SetFiltered(true);
    EXPECT_EQ(mttest::Ids(t.get()), (std::vector<int>{3, 4}));
}
