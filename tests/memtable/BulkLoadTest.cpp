// Loading many records at once: when nothing listens to each record the
// table adds them straight to its store; the rows, the field events and
// what the controls are told must be those of the record-by-record load.
#include <gtest/gtest.h>

#include <cmath>

#include "memtable/mtStreamFormat.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/Strings.h"
#include "tests/memtable/MemTableTestSupport.h"

using namespace mttest;

namespace {

// Every kind the direct copy handles, a few it leaves to the fields, nulls,
// a text longer than the target takes and one with a byte that is no UTF-8.
std::unique_ptr<TmtMemTable> MixedSource() {
    auto s = std::make_unique<TmtMemTable>(nullptr);
    s->FieldDefs()->Add("Id", ftInteger);
    s->FieldDefs()->Add("Nome", ftString, 30);
    s->FieldDefs()->Add("Valor", ftFloat);
    s->FieldDefs()->Add("Qtd", ftSmallint);
    s->FieldDefs()->Add("Ativo", ftBoolean);
    s->FieldDefs()->Add("Emissao", ftDateTime);
    s->FieldDefs()->Add("Total", ftLargeint);
    s->FieldDefs()->Add("Obs", ftMemo);
    s->Open();
    for (int i = 1; i <= 120; ++i) {
        s->Append();
        s->FieldByName("Id")->SetAsInteger(i);
        if (i % 7 != 0) s->FieldByName("Nome")->SetAsString(i % 5 == 0 ? "Ação e serviço de entrega " + std::to_string(i) : "n" + std::to_string(i));
        if (i % 11 != 0) s->FieldByName("Valor")->SetAsFloat(i * 1.25);
        s->FieldByName("Qtd")->SetAsInteger(i % 300 - 150);
        if (i % 3 != 0) s->FieldByName("Ativo")->SetAsBoolean(i % 2 == 0);
        s->FieldByName("Emissao")->SetAsDateTime(46000.75 + i);
        s->FieldByName("Total")->SetAsLargeInt(int64_t{1} << (i % 40));
        if (i % 4 == 0) s->FieldByName("Obs")->SetAsString("obs " + std::to_string(i));
        s->Post();
    }
    // A text byte that is no UTF-8, written past the field's own repair.
    s->First();
    s->Edit();
    const char raw[] = "caf\xE9";
    s->FieldByName("Nome")->SetData(raw);
    s->Post();
    return s;
}

// The same fields, the name shorter.
std::unique_ptr<TmtMemTable> Target() {
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->FieldDefs()->Add("Id", ftInteger);
    t->FieldDefs()->Add("Nome", ftString, 12);
    t->FieldDefs()->Add("Valor", ftFloat);
    t->FieldDefs()->Add("Qtd", ftSmallint);
    t->FieldDefs()->Add("Ativo", ftBoolean);
    t->FieldDefs()->Add("Emissao", ftDateTime);
    t->FieldDefs()->Add("Total", ftLargeint);
    t->FieldDefs()->Add("Obs", ftMemo);
    t->Open();
    return t;
}

std::vector<std::string> Dump(TDataSet* t) {
    std::vector<std::string> rows;
    for (t->First(); !t->Eof(); t->Next()) {
        std::string row;
        for (TField* f : t->Fields()->List()) row += (f->IsNull() ? "<null>" : f->AsString()) + "|";
        rows.push_back(row);
    }
    return rows;
}

// Counts what the table's controls are told.
class CountingLink : public TDataLink {
public:
    std::vector<std::string> log;

protected:
    void ActiveChanged() override { log.push_back("active"); }
    void EditingChanged() override { log.push_back(Editing() ? "editing" : "browsing"); }
    void DataSetChanged() override { log.push_back("changed"); }
    void DataSetScrolled(int) override { log.push_back("scrolled"); }
    void RecordChanged(TField* f) override { log.push_back("record " + (f ? f->FieldName() : std::string("*"))); }
};

}  // namespace

TEST(BulkLoad, DirectLoadGivesTheRowsTheRecordByRecordLoadGives) {
    auto src = MixedSource();
    auto direct = Target();
    direct->LoadFromDataSet(src.get(), 0);
    auto byRecord = Target();
    int posts = 0;
    byRecord->BeforePost = [&](TDataSet*) { ++posts; };  // a handler: every record goes through Post
    byRecord->LoadFromDataSet(src.get(), 0);
    EXPECT_EQ(posts, 120);
    EXPECT_EQ(direct->RecordCount(), 120);
    EXPECT_EQ(Dump(direct.get()), Dump(byRecord.get()));
    // What the fields' setters would have made of the values.
    direct->First();
    EXPECT_EQ(direct->FieldByName("Nome")->AsString(), "café");
    ASSERT_TRUE(direct->Locate("Id", 5, {}));
    EXPECT_EQ(direct->FieldByName("Nome")->AsString(), "Ação e servi");
    EXPECT_EQ(direct->FieldByName("Emissao")->AsDateTime(), 46005.75);
    ASSERT_TRUE(direct->Locate("Id", 7, {}));
    EXPECT_TRUE(direct->FieldByName("Nome")->IsNull());
}

TEST(BulkLoad, FieldEventsStillRunForEveryValue) {
    auto src = MakeItems();
    src->Open();
    for (int i = 1; i <= 50; ++i) AddItem(src.get(), i, "item " + std::to_string(i), i);
    int counts[2][2] = {};
    for (int pass = 0; pass < 2; ++pass) {
        auto t = MakeItems();
        t->Open();
        if (pass == 1) t->OnNewRecord = [](TDataSet*) {};
        TField* name = t->FieldByName("Name");
        name->OnValidate = [&](TField*) { ++counts[pass][0]; };
        name->OnChange = [&](TField*) { ++counts[pass][1]; };
        t->LoadFromDataSet(src.get(), 0);
        EXPECT_EQ(Ids(t.get()).size(), 50u);
    }
    EXPECT_EQ(counts[0][0], 50);
    EXPECT_EQ(counts[0][1], 50);
    EXPECT_EQ(counts[1][0], counts[0][0]);
    EXPECT_EQ(counts[1][1], counts[0][1]);
}

TEST(BulkLoad, OnlyAQuietTableTakesRecordsDirectly) {
    auto t = MakeItems();
    t->Open();
    {
        TmtBulkLoad bulk(t.get());
        EXPECT_FALSE(bulk.Direct()) << "controls enabled: they must hear of each record";
    }
    t->DisableControls();
    {
        TmtBulkLoad bulk(t.get());
        EXPECT_TRUE(bulk.Direct());
    }
    t->FieldByName("Id")->SetRequired(true);
    {
        TmtBulkLoad bulk(t.get());
        EXPECT_FALSE(bulk.Direct()) << "a required field is checked by Post";
    }
    t->FieldByName("Id")->SetRequired(false);
    t->AfterPost = [](TDataSet*) {};
    {
        TmtBulkLoad bulk(t.get());
        EXPECT_FALSE(bulk.Direct());
    }
    t->AfterPost = nullptr;
    t->Append();
    {
        TmtBulkLoad bulk(t.get());
        EXPECT_FALSE(bulk.Direct()) << "a record being inserted";
    }
    t->Cancel();
    t->EnableControls();
}

TEST(BulkLoad, ADirectLoadEndsOnTheLastRecordAndKeepsIndexesAndUniqueness) {
    auto t = MakeItems();
    t->IndexDefs()->Add("PK", "Id", {ixUnique});
    t->IndexDefs()->Add("ByName", "Name", {ixCaseInsensitive});
    t->Open();
    AddItem(t.get(), 100, "zeta", 0);
    t->DisableControls();
    {
        TmtBulkLoad bulk(t.get());
        ASSERT_TRUE(bulk.Direct());
        for (int i = 1; i <= 30; ++i) {
            bulk.Append();
            t->FieldByName("Id")->SetAsInteger(i);
            t->FieldByName("Name")->SetAsString(i % 2 ? "Ímpar " + std::to_string(i) : "par " + std::to_string(i));
            bulk.Post();
        }
        bulk.Append();
        t->FieldByName("Id")->SetAsInteger(5);
        EXPECT_THROW(bulk.Post(), EMemTableDupKey);
        bulk.Cancel();
        EXPECT_EQ(bulk.Count(), 30);
    }
    t->EnableControls();
    EXPECT_EQ(t->State(), dsBrowse);
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 30) << "the cursor is on the last record added";
    EXPECT_EQ(t->RecordCount(), 31);
    t->SetIndexName("ByName");
    t->First();
    EXPECT_EQ(t->FieldByName("Name")->AsString(), "Ímpar 1");
    EXPECT_TRUE(t->Locate("Name", "ÍMPAR 29", {loCaseInsensitive}));
    EXPECT_EQ(t->FieldByName("Id")->AsInteger(), 29);
}

namespace {

// A stream of "id;name" lines, loaded in bulk.
class BulkLineFormat : public TmtCustomStreamFormat {
public:
    explicit BulkLineFormat(TComponent* Owner) : TmtCustomStreamFormat(Owner) {}
    bool direct = false;

    void SaveData(TmtCustomMemTable*) override {}
    void LoadDef(TmtCustomMemTable*) override {
        lines_.clear();
        const std::string all = WorkStream()->ReadAllBytes();
        std::size_t start = 0;
        while (start < all.size()) {
            std::size_t end = all.find('\n', start);
            if (end == std::string::npos) end = all.size();
            lines_.push_back(all.substr(start, end - start));
            start = end + 1;
        }
    }
    bool DetermineLoadFieldIndex(TmtCustomMemTable* DataSet, int Position, int, int& MapEntry, int) override {
        MapEntry = DataSet->Fields()->Fields(Position)->Index();
        return true;
    }
    void LoadData(TmtCustomMemTable* DataSet) override {
        TmtBulkLoad bulk(DataSet);
        direct = bulk.Direct();
        for (const std::string& line : lines_) {
            const std::size_t sep = line.find(';');
            bulk.Append();
            DataSet->FieldByName("Id")->SetAsString(line.substr(0, sep));
            DataSet->FieldByName("Name")->SetAsString(line.substr(sep + 1));
            bulk.Post();
        }
    }

private:
    std::vector<std::string> lines_;
};

}  // namespace

TEST(BulkLoad, AStreamFormatLoadsInBulkAndABadRowStopsItCleanly) {
    auto t = MakeItems();
    t->Open();
    BulkLineFormat format(nullptr);
    TMemoryStream good;
    good.WriteBytes("1;um\n2;dois\n3;três");
    t->LoadFromStreamViaFormat(&good, &format);
    EXPECT_TRUE(format.direct);
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(Names(t.get()), (std::vector<std::string>{"um", "dois", "três"}));
    TMemoryStream bad;
    bad.WriteBytes("4;quatro\nx;cinco\n6;seis");
    EXPECT_THROW(t->LoadFromStreamViaFormat(&bad, &format), EDatabaseError);
    EXPECT_EQ(t->State(), dsBrowse);
    EXPECT_FALSE(t->ControlsDisabled());
    EXPECT_EQ(Ids(t.get()), (std::vector<int>{1, 2, 3, 4})) << "the rows before the bad one stay";
}

TEST(BulkLoad, ControlsAreToldWhatTheRecordByRecordLoadTellsThem) {
    auto src = MixedSource();
    std::vector<std::string> logs[2];
    for (int pass = 0; pass < 2; ++pass) {
        auto t = Target();
        if (pass == 1) t->AfterInsert = [](TDataSet*) {};
        TDataSource ds(nullptr);
        ds.SetDataSet(t.get());
        CountingLink link;
        link.SetDataSource(&ds);
        link.log.clear();
        t->LoadFromDataSet(src.get(), 0);
        logs[pass] = link.log;
        EXPECT_EQ(t->RecordCount(), 120);
    }
    EXPECT_EQ(logs[0], logs[1]);
}
