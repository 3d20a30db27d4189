// The order of dataset and data-source events for a script of operations,
// compared line by line with what an independent implementation of the same
// dataset model printed for the same script (tests/data/db/event_order.pas
// and its output event_order.txt).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/db/DB.h"
#include "tests/platform/db/VectorDataSet.h"
#include "tests/support/TestSupport.h"

namespace {

class EventScript {
public:
    EventScript() {
        d.FieldDefs()->Add("ID", ftInteger);
        d.FieldDefs()->Add("Name", ftString, 20);
        d.FieldDefs()->Add("Note", ftString, 20);
        ds.SetDataSet(&d);
        ds.OnStateChange = [this](TObject*) { Line(std::string("StateChange ") + DataSetStateName(d.State())); };
        ds.OnDataChange = [this](TObject*, TField* f) {
            Line("DataChange " + (f == nullptr ? std::string("nil") : f->FieldName()) + " " +
                 DataSetStateName(d.State()));
        };
        auto ev = [this](const char* name) {
            return [this, name](TDataSet* s) { Line(std::string(name) + " " + DataSetStateName(s->State())); };
        };
        d.BeforeOpen = ev("BeforeOpen");
        d.AfterOpen = ev("AfterOpen");
        d.BeforeClose = ev("BeforeClose");
        d.AfterClose = ev("AfterClose");
        d.BeforeInsert = ev("BeforeInsert");
        d.AfterInsert = ev("AfterInsert");
        d.BeforeEdit = ev("BeforeEdit");
        d.AfterEdit = ev("AfterEdit");
        d.BeforePost = [this](TDataSet* s) {
            Line(std::string("BeforePost ") + DataSetStateName(s->State()));
            if (failPost) throw Exception("refused");
        };
        d.AfterPost = ev("AfterPost");
        d.BeforeCancel = ev("BeforeCancel");
        d.AfterCancel = ev("AfterCancel");
        d.BeforeDelete = ev("BeforeDelete");
        d.AfterDelete = ev("AfterDelete");
        d.BeforeScroll = ev("BeforeScroll");
        d.AfterScroll = ev("AfterScroll");
        d.BeforeRefresh = ev("BeforeRefresh");
        d.AfterRefresh = ev("AfterRefresh");
        d.OnNewRecord = ev("OnNewRecord");
        d.OnPostError = [this](TDataSet* s, EDatabaseError&, TDataAction& action) {
            Line(std::string("OnPostError ") + DataSetStateName(s->State()));
            action = daFail;
        };
    }

    void Line(const std::string& s) { lines.push_back(s); }
    void Step(const std::string& s) { Line("-- " + s); }

    static std::string B(bool v) { return v ? "TRUE" : "FALSE"; }

    void Show() {
        std::ostringstream o;
        if (d.Active() && d.IsEmpty() && d.State() == dsBrowse) {
            o << "at empty count=" << d.RecordCount() << " bof=" << B(d.Bof()) << " eof=" << B(d.Eof());
        } else if (d.Active()) {
            o << "at recno=" << d.RecNo() << " count=" << d.RecordCount() << " bof=" << B(d.Bof())
              << " eof=" << B(d.Eof()) << " id=" << d.FieldByName("ID")->AsString()
              << " name=" << d.FieldByName("Name")->AsString() << " state=" << DataSetStateName(d.State());
        } else {
            o << "at closed state=" << DataSetStateName(d.State());
        }
        Line(o.str());
    }

    void Add(int id, const std::string& name) {
        d.Append();
        d.FieldByName("ID")->SetAsInteger(id);
        d.FieldByName("Name")->SetAsString(name);
        d.Post();
    }

    void TryPost() {
        try {
            d.Post();
            Line("post ok");
        } catch (const Exception& e) {
            Line(std::string("post failed: ") + e.ClassName());
        }
    }

    void Run() {
        Step("open");
        d.Open();
        Show();

        Step("append Ana");
        Add(1, "Ana");
        Show();
        Step("append Bruno");
        Add(2, "Bruno");
        Step("append Carla");
        Add(3, "Carla");
        Show();

        Step("first");
        d.First();
        Show();
        Step("next");
        d.Next();
        Show();
        Step("last");
        d.Last();
        Show();
        Step("next at end");
        d.Next();
        Show();
        Step("prior");
        d.Prior();
        Show();
        Step("moveby -1");
        d.MoveBy(-1);
        Show();
        Step("prior at start");
        d.Prior();
        Show();

        Step("edit and cancel");
        d.Edit();
        d.FieldByName("Name")->SetAsString("Alice");
        Show();
        d.Cancel();
        Show();

        Step("edit and post");
        d.Next();
        d.Edit();
        d.FieldByName("Note")->SetAsString("vip");
        d.Post();
        Show();

        Step("edit with refused post");
        d.Edit();
        d.FieldByName("Name")->SetAsString("Beto");
        failPost = true;
        TryPost();
        Show();
        Step("post again");
        failPost = false;
        TryPost();
        Show();

        Step("insert with refused post");
        d.Insert();
        d.FieldByName("ID")->SetAsInteger(9);
        d.FieldByName("Name")->SetAsString("Zeca");
        failPost = true;
        TryPost();
        Show();
        failPost = false;
        d.Cancel();
        Show();

        Step("insert in the middle");
        d.Insert();
        d.FieldByName("ID")->SetAsInteger(4);
        d.FieldByName("Name")->SetAsString("Dora");
        d.Post();
        Show();

        Step("post in browse state");
        TryPost();

        Step("cancel in browse state");
        d.Cancel();
        Show();

        Step("edit twice");
        d.Edit();
        d.Edit();
        d.Cancel();

        Step("append while editing");
        d.Edit();
        d.FieldByName("Note")->SetAsString("auto");
        d.Append();
        Show();
        d.Cancel();
        Show();
        d.First();
        d.Next();
        Show();

        Step("scroll while editing");
        d.Edit();
        d.FieldByName("Note")->SetAsString("moved");
        d.Next();
        Show();

        Step("delete");
        d.Delete();
        Show();

        Step("delete last");
        d.Last();
        d.Delete();
        Show();

        Step("disabled controls");
        d.DisableControls();
        d.First();
        d.Next();
        d.Edit();
        d.FieldByName("Note")->SetAsString("quiet");
        d.Post();
        d.EnableControls();
        Show();

        Step("locate");
        if (d.Locate("Name", Variant("Ana"), {})) Line("found");
        Show();
        Step("locate missing");
        if (!d.Locate("Name", Variant("Nobody"), {})) Line("not found");
        Show();

        Step("required field missing");
        d.FieldByName("ID")->SetRequired(true);
        d.Append();
        d.FieldByName("Name")->SetAsString("Eva");
        TryPost();
        Show();
        d.Cancel();
        Show();

        Step("reopen with records");
        d.Close();
        d.Open();
        Show();

        Step("delete all");
        while (!d.IsEmpty()) d.Delete();
        Show();

        Step("close");
        d.Close();
        Show();
    }

    testsupport::VectorDataSet d;
    TDataSource ds{nullptr};
    bool failPost = false;
    std::vector<std::string> lines;
};

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

// A grid on the same data source makes the dataset keep several records in
// its ring of buffers; what the script sees must not change.
class GridLink : public TDataLink {
public:
    explicit GridLink(int rows) { SetBufferCount(rows); }
};

class EventOrder : public ::testing::TestWithParam<int> {};

TEST_P(EventOrder, MatchesIndependentImplementation) {
    std::string expectedText = testsupport::ReadAll(testsupport::DataPath("db/event_order.txt"));
    ASSERT_FALSE(expectedText.empty());
    std::vector<std::string> expected = SplitLines(expectedText);

    EventScript script;
    GridLink grid(GetParam());
    grid.SetDataSource(&script.ds);
    script.Run();
    grid.SetDataSource(nullptr);

    std::size_t n = std::min(expected.size(), script.lines.size());
    for (std::size_t i = 0; i < n; ++i) {
        // Report the first difference with its step, which is where a fault shows.
        if (expected[i] != script.lines[i]) {
            std::string step;
            for (std::size_t j = i + 1; j-- > 0;)
                if (expected[j].rfind("-- ", 0) == 0) {
                    step = expected[j];
                    break;
                }
            FAIL() << "line " << i + 1 << " (" << step << ")\n  expected: " << expected[i]
                   << "\n  actual:   " << script.lines[i];
        }
    }
    EXPECT_EQ(expected.size(), script.lines.size());
}

INSTANTIATE_TEST_SUITE_P(BufferCounts, EventOrder, ::testing::Values(1, 2, 3, 10));

}  // namespace
