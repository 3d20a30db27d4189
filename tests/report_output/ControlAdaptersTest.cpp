// The scripting adapters as a script meets them: every member of the
// table in tests/data/report_output/scripting_members.txt answers by name
// in any case with its type, access and event number, and the members with
// logic of their own (database text and total state, look-ahead, group
// break values, regions and drawing order, band captions) read and write
// what the model does.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

#include "report/rpBands.h"
#include "report/rpDBPipeline.h"
#include "report/rpExcept.h"
#include "report/rpGroup.h"
#include "report/rpLanguage.h"
#include "report/rpMemo.h"
#include "report/rpRegion.h"
#include "report/rpMainReport.h"
#include "report/rpReport.h"
#include "report_output/rpControlsRTTI.h"
#include "report_output/rpDBText.h"
#include "report_output/rpGraphics.h"
#include "report_output/rpImages.h"
#include "report_output/rpTextControls.h"
#include "report_output/rpVariables.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

std::string InCase(std::string s, int (*To)(int)) {
    for (char& c : s) c = static_cast<char>(To(static_cast<unsigned char>(c)));
    return s;
}

TrsRTTIClass AdapterOf(TObject* Object) { return TrsRTTIClassRegistry::GetRTTIClass(Object->ClassType()); }

TrsValue Get(TObject* Object, const std::string& Name) {
    TrsValue v;
    EXPECT_TRUE(AdapterOf(Object)->GetPropValue(Object, Name, v)) << Name;
    return v;
}

bool Set(TObject* Object, const std::string& Name, const TrsValue& Value) {
    return AdapterOf(Object)->SetPropValue(Object, Name, Value);
}

TrsValue Obj(TObject* o) { return TrsValue(std::in_place_type<TObject*>, o); }

// One object of each class the table names, on a report with a group and a
// pipeline with a field.
struct Objects {
    RowsTable data{{"Valor", "Grupo"}, {{Variant(1), Variant("A")}}};
    TComponent owner{nullptr};
    TrpReport* report = new TrpReport(&owner);
    TrpGroup* group = new TrpGroup(&owner);
    std::map<std::string, TObject*> byClass;

    template <class T>
    T* Place() {
        auto* c = new T(&owner);
        c->SetBand(report->GetBand(btDetail, 0));
        byClass[c->ClassName()] = c;
        return c;
    }

    Objects() {
        report->CreateBand(btDetail);
        group->SetReport(report);
        Place<TrpLabel>();
        Place<TrpDBText>();
        Place<TrpDBCalc>();
        Place<TrpShape>();
        Place<TrpLine>();
        Place<TrpImage>();
        Place<TrpDBImage>();
        Place<TrpVariable>();
        Place<TrpSystemVariable>();
        byClass["TrpReport"] = report;
        byClass["TrpGroup"] = group;
        byClass["TrpDetailBand"] = report->GetBand(btDetail, 0);
        byClass["TrpField"] = data.Pipeline()->CreateField("Extra", dtString, 10);
        byClass["TrpDBPipeline"] = data.Pipeline();
        Place<TrpMemo>();
        for (TrpBandType kind : {btTitle, btHeader}) {
            TrpBand* band = report->CreateBand(kind);
            byClass[band->ClassName()] = band;
        }
        byClass["TrpGroupHeaderBand"] = group->HeaderBand();
    }
};

struct Row {
    int line;
    std::string cls, member, type, access, event;
};

std::vector<Row> ReadRows() {
    std::ifstream in(std::string(FAT_TEST_DATA_DIR) + "/report_output/scripting_members.txt");
    EXPECT_TRUE(in.good());
    std::vector<Row> rows;
    std::string text;
    for (int n = 1; std::getline(in, text); ++n) {
        if (text.empty() || text[0] == '#') continue;
        std::istringstream fields(text);
        Row r{n, {}, {}, {}, {}, {}};
        fields >> r.cls >> r.member >> r.type >> r.access >> r.event;
        rows.push_back(r);
    }
    return rows;
}

const std::map<std::string, int> kCodes{
    {"integer", rsInteger},   {"single", rsSingle}, {"double", rsDouble},   {"extended", rsExtended},
    {"currency", rsCurrency}, {"char", rsChar},     {"string", rsString},   {"datetime", rsDateTime},
    {"date", rsDate},         {"time", rsTime},     {"boolean", rsBoolean}, {"variant", rsVariant},
    {"class", rsClass},       {"enum", rsEnum},     {"method", rsMethod},   {"event", rsMethod},
};

TEST(ControlAdapters, EveryMemberAnswersInAnyCaseWithItsTypeAccessAndEventNumber) {
    Objects o;
    const std::vector<Row> rows = ReadRows();
    ASSERT_GT(rows.size(), 200u);
    for (const Row& r : rows) {
        SCOPED_TRACE("line " + std::to_string(r.line) + ": " + r.cls + "." + r.member);
        ASSERT_TRUE(o.byClass.count(r.cls)) << "no object of this class";
        TObject* object = o.byClass[r.cls];
        TClass cls = object->ClassType();
        TrsRTTIClass adapter = AdapterOf(object);
        ASSERT_NE(adapter, nullptr);
        TrsMemberDescriptor rec, lower, upper;
        if (!adapter->GetPropRec(cls, r.member, rec)) {
            ADD_FAILURE() << "not answered";
            continue;
        }
        ASSERT_TRUE(adapter->GetPropRec(cls, InCase(r.member, std::tolower), lower));
        ASSERT_TRUE(adapter->GetPropRec(cls, InCase(r.member, std::toupper), upper));
        EXPECT_EQ(lower.Name, rec.Name);
        EXPECT_EQ(upper.DataType, rec.DataType);

        const std::string kind = r.type.substr(0, r.type.find(':'));
        const std::string typeName = r.type.find(':') == std::string::npos ? "" : r.type.substr(r.type.find(':') + 1);
        ASSERT_TRUE(kCodes.count(kind)) << r.type;
        EXPECT_EQ(rec.DataType, kCodes.at(kind));
        if (kind == "enum") EXPECT_EQ(rec.EnumTypeName, typeName);
        if (kind == "class" && !typeName.empty()) {
            ASSERT_NE(rec.ClassType, nullptr);
            EXPECT_EQ(rec.ClassType->Name, typeName);
        }
        if (kind == "event") {
            if (r.event != "*") EXPECT_EQ(rec.EventNumber, r.event == "-" ? -1 : std::stoi(r.event));
            TStringList events;
            adapter->GetEventList(cls, &events);
            EXPECT_GE(events.IndexOf(rec.Name), 0) << "not among the events";
            continue;
        }
        if (kind == "method") {
            TStringList names;
            adapter->GetPropList(cls, &names);
            EXPECT_GE(names.IndexOf(rec.Name), 0) << "not listed";
            continue;
        }
        TrsValue before;
        ASSERT_TRUE(adapter->GetPropValue(object, InCase(r.member, std::tolower), before)) << "not readable";
        if (r.access == "-") continue;
        TStringList names;
        adapter->GetPropList(cls, &names);
        EXPECT_GE(names.IndexOf(rec.Name), 0) << "not listed";
        EXPECT_EQ(rec.ReadOnly, r.access == "r");
        if (r.access == "r") {
            EXPECT_FALSE(adapter->SetPropValue(object, r.member, before)) << "a read-only member took a value";
            TrsValue after;
            ASSERT_TRUE(adapter->GetPropValue(object, r.member, after));
            EXPECT_EQ(after, before);
        }
    }
}

// Rows of Grupo and Valor, a group on Grupo, a database text of Valor in
// the detail and a total of Valor in the group footer.
struct Listing {
    std::unique_ptr<RowsTable> data;
    ReportRig rig;
    TrpGroup* group = nullptr;
    TrpDBText* text = nullptr;
    TrpDBCalc* total = nullptr;

    explicit Listing(const std::vector<std::pair<std::string, int>>& Rows) {
        std::vector<std::vector<Variant>> rows;
        for (const auto& [g, v] : Rows) rows.push_back({Variant(v), Variant(g)});
        data = std::make_unique<RowsTable>(std::vector<std::string>{"Valor", "Grupo"}, rows);
        TrpBandedReport* r = rig.Report();
        r->SetDataPipeline(data->Pipeline());
        r->CreateDefaultBands();
        r->DetailBand()->SetmmHeight(6000);
        group = new TrpGroup(rig.Owner());
        group->SetReport(r);
        group->SetDataPipeline(data->Pipeline());
        group->SetBreakName("Grupo");
        text = Add<TrpDBText>(r->DetailBand());
        total = Add<TrpDBCalc>(group->FooterBand());
        total->SetResetGroup(group);
    }
    template <class T>
    T* Add(TrpBand* Band) {
        auto* c = new T(rig.Owner());
        c->SetBand(Band);
        c->SetBounds(0, 0, 30000, 5000);
        c->SetDataPipeline(data->Pipeline());
        c->SetDataField("Valor");
        return c;
    }
};

TEST(ControlAdapters, ADatabaseTextAnswersItsRawValueAndWhatItLastPrinted) {
    // Without a pipeline the raw value is the integer 0.
    TrpDBText alone(nullptr);
    const Variant none = std::get<Variant>(Get(&alone, "fieldvalue"));
    EXPECT_EQ(none.VarType(), varInteger);
    EXPECT_EQ(none.AsInteger(), 0);

    Listing l({{"A", 5}, {"A", 5}, {"B", 7}});
    l.text->SetSuppressRepeatedValues(true);
    std::vector<std::string> seen;
    l.rig.Report()->DetailBand()->AfterPrint = [&](TObject*) {
        const Variant raw = std::get<Variant>(Get(l.text, "FieldValue"));
        seen.push_back(VarToStr(raw) + "/" + std::get<std::string>(Get(l.text, "PriorValue")) + "/" +
                       (std::get<bool>(Get(l.text, "PriorValueSame")) ? "same" : "new") + "/" +
                       (std::get<bool>(Get(l.text, "AlreadyPrinted")) ? "printed" : "not"));
    };
    l.rig.Print();
    // The repeated 5 is the same as before and was printed already.
    EXPECT_EQ(seen, (std::vector<std::string>{"5/5/new/printed", "5/5/same/printed", "7/7/new/printed"}));
    EXPECT_EQ(std::get<int32_t>(Get(l.text, "FirstPage")), 1);
}

// A database pipeline whose field values cannot be read once told so.
struct FailingPipeline : TrpDBPipeline {
    using TrpDBPipeline::TrpDBPipeline;
    bool fail = false;
    Variant GetFieldValue(const std::string& FieldName) override {
        if (fail) throw EDatabaseError("campo ilegível");
        return TrpDBPipeline::GetFieldValue(FieldName);
    }
};

TEST(ControlAdapters, AFieldValueThatCannotBeReadStopsTheRunButNotAScriptOutsideIt) {
    RowsTable data({"Valor"}, {{Variant(4)}, {Variant(9)}});
    TDataSource source(nullptr);
    source.SetDataSet(data.Table());
    FailingPipeline pipeline(nullptr);
    pipeline.SetDataSource(&source);
    ReportRig rig;
    rig.Report()->SetDataPipeline(&pipeline);
    rig.Report()->CreateDefaultBands();
    auto* text = new TrpDBText(rig.Owner());
    text->SetBand(rig.Report()->DetailBand());
    text->SetDataPipeline(&pipeline);
    text->SetDataField("Valor");

    pipeline.Open();
    pipeline.fail = true;
    EXPECT_EQ(std::get<Variant>(Get(text, "FieldValue")).AsInteger(), 0);
    pipeline.fail = false;

    int read = 0;
    rig.Report()->DetailBand()->BeforePrint = [&](TObject*) {
        pipeline.fail = ++read == 2;
        Get(text, "fieldvalue");
    };
    EXPECT_THROW(rig.Print(), EPrintError);
    EXPECT_EQ(read, 2) << "the run went on after the failure";
    rig.Report()->DetailBand()->BeforePrint = nullptr;
    pipeline.Close();
}

TEST(ControlAdapters, ATotalIsClearedAndAnswersItsLookAheadByKey) {
    Listing l({{"A", 2}, {"A", 3}, {"B", 10}});
    l.rig.Report()->SetPassSetting(psTwoPass);
    l.total->SetLookAhead(true);
    std::vector<std::string> keys, totals;
    l.group->FooterBand()->AfterPrint = [&](TObject*) {
        std::unique_ptr<TrsParamList> params = AdapterOf(l.total)->GetParams("getlookaheadkey");
        ASSERT_NE(params, nullptr);
        std::string key;
        params->BindParam(0, &key);
        ASSERT_TRUE(AdapterOf(l.total)->CallMethod(l.total, "GetLookAheadKey", false, params.get()));
        keys.push_back(key);
        // The group's total, then cleared as its break would clear it.
        totals.push_back(VarToStr(std::get<Variant>(Get(l.total, "Value"))) + "/" +
                         FloatToStr(std::get<double>(Get(l.total, "Divisor"))));
        ASSERT_TRUE(AdapterOf(l.total)->CallMethod(l.total, "CLEAR", false, nullptr));
        totals.back() += "/" + VarToStr(std::get<Variant>(Get(l.total, "value")));
    };
    l.rig.Print();
    EXPECT_EQ(totals, (std::vector<std::string>{"5/2/0", "10/1/0", "5/2/0", "10/1/0"}));
    ASSERT_EQ(keys.size(), 4u);  // both passes
    EXPECT_EQ(keys[2], keys[0]);
    EXPECT_NE(keys[0], keys[1]);
    auto lookAhead = [&](std::string key) {
        std::unique_ptr<TrsParamList> params = AdapterOf(l.total)->GetParams("GetLookAheadValue");
        std::string result = "?";
        params->BindParam(0, &key);
        params->BindParam(1, &result);
        EXPECT_TRUE(AdapterOf(l.total)->CallMethod(l.total, "getlookaheadvalue", false, params.get()));
        return result;
    };
    EXPECT_EQ(lookAhead(keys[0]), "5");
    EXPECT_EQ(lookAhead(keys[1]), "10");
    EXPECT_EQ(lookAhead("nenhuma"), "0");
}

TEST(ControlAdapters, AGroupAnswersTheValueItBrokeOnTheOneBeforeAndTheOneComing) {
    Listing l({{"A", 1}, {"A", 2}, {"B", 3}, {"C", 4}});
    std::vector<std::string> breaks;
    int calls = 0;
    // A handler that reads the value coming is not called again by reading it.
    l.group->OnGetBreakValue = [&](TObject*, std::string& Value) {
        ++calls;
        EXPECT_EQ(std::get<std::string>(Get(l.group, "CurrentValue")), Value);
        Value = "[" + Value + "]";
    };
    l.group->BeforeGroupBreak = [&](TObject*) {
        breaks.push_back(std::get<std::string>(Get(l.group, "PriorValue")) + "->" +
                         std::get<std::string>(Get(l.group, "breakvalue")));
    };
    l.rig.Print();
    EXPECT_GT(calls, 0);
    EXPECT_EQ(breaks, (std::vector<std::string>{"[A]->[A]", "[A]->[B]", "[B]->[C]"}));
}

TEST(ControlAdapters, ComponentsMoveBetweenRegionsAndInTheDrawingOrderByName) {
    Objects o;
    TrpBand* detail = o.report->GetBand(btDetail, 0);
    auto* line = dynamic_cast<TrpLine*>(o.byClass["TrpLine"]);
    auto* shape = dynamic_cast<TrpShape*>(o.byClass["TrpShape"]);
    auto* region = new TrpRegion(&o.owner);
    region->SetBand(detail);

    ASSERT_TRUE(Set(line, "region", Obj(region)));
    ASSERT_TRUE(Set(shape, "Region", Obj(region)));
    EXPECT_EQ(std::get<TObject*>(Get(line, "Region")), region);
    EXPECT_EQ(std::get<TObject*>(Get(line, "Parent")), region);
    EXPECT_EQ(std::get<int32_t>(Get(line, "ParentIndex")), 0);
    EXPECT_EQ(std::get<int32_t>(Get(shape, "parentindex")), 1);
    // Siblings share the parent: the region's last component has none,
    // though the band holds more objects after it.
    auto* after = new TrpLabel(&o.owner);
    after->SetBand(detail);
    EXPECT_EQ(std::get<TObject*>(Get(line, "NextSibling")), shape);
    EXPECT_EQ(std::get<TObject*>(Get(shape, "nextsibling")), nullptr);
    EXPECT_EQ(detail->Objects(detail->IndexOfObject(shape) + 1), after);
    // A region cannot hold itself; none takes the component out.
    EXPECT_FALSE(Set(region, "Region", Obj(region)));
    ASSERT_TRUE(Set(line, "Region", Obj(nullptr)));
    EXPECT_EQ(line->ParentRegion(), nullptr);
    EXPECT_EQ(std::get<TObject*>(Get(line, "Parent")), detail);
    EXPECT_EQ(std::get<int32_t>(Get(line, "ParentIndex")), detail->IndexOfObject(line));

    // The drawing order: writing ZOrder moves the component there.
    ASSERT_TRUE(Set(line, "ZOrder", int32_t{0}));
    EXPECT_EQ(detail->Objects(0), line);
    EXPECT_EQ(std::get<int32_t>(Get(line, "zorder")), 0);
    TrpLine loose(nullptr);
    EXPECT_FALSE(Set(&loose, "ZOrder", int32_t{0}));
}

TEST(ControlAdapters, TextLinesAndBandsWriteThroughTheirSetters) {
    Objects o;
    // Writing a label's text writes its caption, with the caption's change notice.
    struct CountingLabel : TrpLabel {
        using TrpLabel::TrpLabel;
        int changes = 0;
        void PropertyChange() override {
            ++changes;
            TrpLabel::PropertyChange();
        }
    } label(nullptr), direct(nullptr);
    ASSERT_TRUE(Set(&label, "text", std::string("Total geral")));
    EXPECT_EQ(label.Caption(), "Total geral");
    EXPECT_EQ(std::get<std::string>(Get(&label, "Text")), "Total geral");
    direct.SetCaption("Total geral");
    EXPECT_GT(label.changes, 0);
    EXPECT_EQ(label.changes, direct.changes);

    auto* line = dynamic_cast<TrpLine*>(o.byClass["TrpLine"]);
    ASSERT_TRUE(Set(line, "Position", int32_t{lpBottom}));
    EXPECT_EQ(std::get<int32_t>(Get(line, "LinePosition")), lpBottom);

    // The band's caption follows the language text a script chooses.
    TrpBand* detail = o.report->GetBand(btDetail, 0);
    EXPECT_EQ(std::get<int32_t>(Get(detail, "CaptionIndex")), 189);
    ASSERT_TRUE(Set(detail, "captionindex", int32_t{194}));
    EXPECT_EQ(detail->Caption(), rpLanguageText(194));
    detail->LanguageChanged();
    EXPECT_EQ(detail->Caption(), rpLanguageText(194));
    ASSERT_TRUE(Set(detail, "spHeight", int32_t{96}));
    EXPECT_EQ(detail->mmHeight(), 25400);
    // The group's footer ends the report until a summary comes after it;
    // without a group the detail would.
    EXPECT_FALSE(std::get<bool>(Get(detail, "LastBand")));
    EXPECT_TRUE(std::get<bool>(Get(o.group->FooterBand(), "LastBand")));
    TrpBand* summary = o.report->CreateBand(btSummary);
    EXPECT_FALSE(std::get<bool>(Get(o.group->FooterBand(), "LastBand")));
    EXPECT_TRUE(std::get<bool>(Get(summary, "LastBand")));
    o.group->SetReport(nullptr);
    summary->SetReport(nullptr);
    EXPECT_TRUE(std::get<bool>(Get(detail, "lastband")));
}

}  // namespace
