// The model's scripting adapters and the component class registry: names in
// any letter case, the anchor pseudo-properties, read-only names refused,
// event numbers and parameters, indexed members out of range, and every
// published property of every described class reachable with the
// descriptor its metadata gives.
#include <gtest/gtest.h>

#include <cctype>
#include <memory>

#include "platform/rtl/Strings.h"
#include "report/rpBandedReport.h"
#include "report/rpBands.h"
#include "report/rpComponent.h"
#include "report/rpDBPipeline.h"
#include "report/rpGroup.h"
#include "report/rpMainReport.h"
#include "report/rpMemo.h"
#include "report/rpModelRTTI.h"
#include "report/rpParameters.h"
#include "report/rpRegComponents.h"
#include "report/rpTreeNodes.h"
#include "tests/report/ReportTestSupport.h"

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

struct Model {
    TComponent owner{nullptr};
    TrpReport* report = new TrpReport(&owner);
    TrpGroup* group = nullptr;
    TrpMemo* memo = new TrpMemo(&owner);
    TrpDBPipeline* pipeline = new TrpDBPipeline(&owner);
    TrpTreeNode* node = new TrpTreeNode(&owner);
    Model() {
        group = new TrpGroup(&owner);
        group->SetReport(report);
        report->CreateBand(btDetail);
        memo->SetBand(report->GetBand(btDetail, 0));
    }
};

TrsRTTIClass AdapterOf(TObject* Object) { return TrsRTTIClassRegistry::GetRTTIClass(Object->ClassType()); }

TEST(ModelAdapterTest, NamesAnswerInAnyLetterCase) {
    Model m;
    EXPECT_EQ(AdapterOf(m.report)->ClassName(), "TrsTrpReportRTTI");
    m.report->SetDeviceType("Screen");
    struct Case {
        TObject* object;
        const char* name;
        const char* canonical;
    };
    for (const Case& c : {Case{m.report, "absolutepageno", "AbsolutePageNo"}, Case{m.report, "ABSOLUTEPAGENO", "AbsolutePageNo"},
                          Case{m.report, "devicetype", "DeviceType"}, Case{m.pipeline, "eof", "EOF"},
                          Case{m.pipeline, "EoF", "EOF"}, Case{m.group, "breakno", "BreakNo"},
                          Case{m.node, "childnodecount", "ChildNodeCount"}, Case{m.node, "INDEX", "Index"},
                          Case{m.report->Parameters(), "insertmode", "InsertMode"}}) {
        SCOPED_TRACE(c.name);
        TrsRTTIClass adapter = AdapterOf(c.object);
        ASSERT_NE(adapter, nullptr);
        TrsMemberDescriptor lower, exact;
        ASSERT_TRUE(adapter->GetPropRec(c.object->ClassType(), c.name, lower));
        ASSERT_TRUE(adapter->GetPropRec(c.object->ClassType(), c.canonical, exact));
        EXPECT_EQ(lower.Name, exact.Name);
        EXPECT_EQ(lower.DataType, exact.DataType);
        TrsValue a, b;
        ASSERT_TRUE(adapter->GetPropValue(c.object, c.name, a));
        ASSERT_TRUE(adapter->GetPropValue(c.object, c.canonical, b));
        EXPECT_EQ(a, b);
    }
    TrsValue device;
    ASSERT_TRUE(AdapterOf(m.report)->GetPropValue(m.report, "devicetype", device));
    EXPECT_EQ(std::get<std::string>(device), "Screen");
}

TEST(ModelAdapterTest, WritingAnAnchorNameAssignsItsCombinationWhateverTheValue) {
    struct Case {
        const char* name;
        TrpAnchors anchors;
    };
    const Case cases[] = {{"AnchorNone", {}},
                          {"AnchorLeft", {atLeft}},
                          {"AnchorTop", {atTop}},
                          {"AnchorRight", {atRight}},
                          {"AnchorBottom", {atBottom}},
                          {"AnchorLeftTop", {atLeft, atTop}},
                          {"AnchorRightTop", {atTop, atRight}},
                          {"AnchorLeftBottom", {atLeft, atBottom}},
                          {"AnchorRightBottom", {atRight, atBottom}}};
    Model m;
    TrsRTTIClass adapter = AdapterOf(m.memo);
    for (const Case& c : cases) {
        for (bool written : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (written ? " True" : " False"));
            m.memo->SetAnchors({atLeft, atTop, atRight, atBottom});
            ASSERT_TRUE(adapter->SetPropValue(m.memo, Lower(c.name), written));
            EXPECT_TRUE(m.memo->Anchors() == c.anchors);
            // Only the name of the combination now reads True.
            for (const Case& other : cases) {
                TrsValue v;
                ASSERT_TRUE(adapter->GetPropValue(m.memo, other.name, v));
                EXPECT_EQ(std::get<bool>(v), other.anchors == c.anchors) << other.name;
            }
        }
    }
}

TEST(ModelAdapterTest, EventsCarryTheirNumbersAndParameters) {
    Model m;
    struct Case {
        TObject* object;
        const char* name;
        int number;
        std::vector<std::pair<std::string, int>> params;
    };
    const Case cases[] = {
        {m.group, "OnGetBreakValue", 31, {{"BreakValue", rsString}}},
        {m.report, "OnPageRequest", 140, {}},
        {m.pipeline, "OnLast", 45, {}},
        {m.report, "OnInitializeParameters", 136, {{"aCancel", rsBoolean}}},
        {m.report, "OnStartPage", 21, {}},
        {m.report->GetBand(btDetail, 0), "BeforeGenerate", 26, {}},
        {m.pipeline, "BeforeOpen", 130, {}},
        {m.memo, "OnPrint", 32, {}},
        {m.memo, "OnDrawCommandClick", 85, {{"aDrawCommand", rsClass}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TrsRTTIClass adapter = AdapterOf(c.object);
        TrsMemberDescriptor rec;
        ASSERT_TRUE(adapter->GetPropRec(c.object->ClassType(), c.name, rec));
        EXPECT_EQ(rec.EventNumber, c.number);
        EXPECT_EQ(rec.DataType, rsMethod);
        std::unique_ptr<TrsParamList> params = adapter->GetParams(c.name);
        if (c.params.empty()) {
            EXPECT_TRUE(params == nullptr || params->Count() == 0);
            continue;
        }
        ASSERT_NE(params, nullptr);
        ASSERT_EQ(params->Count(), static_cast<int>(c.params.size()));
        for (int i = 0; i < params->Count(); ++i) {
            EXPECT_EQ(params->Names(i), c.params[static_cast<std::size_t>(i)].first);
            EXPECT_EQ(params->Items(i)->DataType, c.params[static_cast<std::size_t>(i)].second);
        }
        TStringList events;
        adapter->GetEventList(c.object->ClassType(), &events);
        EXPECT_GE(events.IndexOf(c.name), 0);
    }
}

TEST(ModelAdapterTest, ReadOnlyNamesRefuseWritingAndKeepTheirValue) {
    Model m;
    TrsRTTIClass producer = AdapterOf(m.report);
    const std::string version = m.report->Version();
    EXPECT_FALSE(producer->SetPropValue(m.report, "Version", std::string("99")));
    EXPECT_FALSE(producer->SetPropValue(m.report, "version", std::string("99")));
    EXPECT_EQ(m.report->Version(), version);

    // Every name an adapter lists as read-only refuses a value of its own type.
    for (TObject* object : std::initializer_list<TObject*>{
             m.report, m.group, m.memo, m.pipeline, m.report->GetBand(btDetail, 0), m.report->CreateBand(btTitle),
             m.report->CreateBand(btFooter), m.group->HeaderBand(), m.node, m.report->Parameters()}) {
        TrsRTTIClass adapter = AdapterOf(object);
        TStringList names;
        adapter->GetPropList(object->ClassType(), &names);
        for (int i = 0; i < names.Count(); ++i) {
            TrsMemberDescriptor rec;
            if (!adapter->GetPropRec(object->ClassType(), names.Get(i), rec) || !rec.ReadOnly) continue;
            if (rec.DataType == rsMethod) continue;
            TrsValue v;
            if (!adapter->GetPropValue(object, names.Get(i), v)) v = int32_t{0};
            EXPECT_FALSE(adapter->SetPropValue(object, names.Get(i), v)) << object->ClassName() << "." << names.Get(i);
        }
    }
}

TEST(ModelAdapterTest, WritableNamesGoThroughTheSetters) {
    Model m;
    TrsRTTIClass pipelines = AdapterOf(m.pipeline);
    EXPECT_EQ(pipelines, TrsTrpDBPipelineRTTI::Instance());
    // Visible is the data pipeline adapter's: the database one hands it on.
    TrsMemberDescriptor fromDB, fromData;
    ASSERT_TRUE(pipelines->GetPropRec(m.pipeline->ClassType(), "visible", fromDB));
    ASSERT_TRUE(TrsTrpDataPipelineRTTI::Instance()->GetPropRec(m.pipeline->ClassType(), "Visible", fromData));
    EXPECT_EQ(fromDB.Name, fromData.Name);
    EXPECT_EQ(fromDB.DataType, rsBoolean);
    ASSERT_TRUE(pipelines->SetPropValue(m.pipeline, "VISIBLE", false));
    EXPECT_FALSE(m.pipeline->Visible());
    TrsValue sql;
    ASSERT_TRUE(pipelines->GetPropValue(m.pipeline, "SQL", sql));
    EXPECT_EQ(std::get<TObject*>(sql), nullptr);
    EXPECT_FALSE(pipelines->SetPropValue(m.pipeline, "SQL", TrsValue(std::in_place_type<TObject*>, nullptr)));

    TrsRTTIClass bands = AdapterOf(m.report->GetBand(btDetail, 0));
    TrpBand* detail = m.report->GetBand(btDetail, 0);
    ASSERT_TRUE(bands->SetPropValue(detail, "height", 1.5));
    EXPECT_FLOAT_EQ(detail->Height(), 1.5f);
    TrsValue mm;
    ASSERT_TRUE(bands->GetPropValue(detail, "mmHeight", mm));
    EXPECT_EQ(std::get<int32_t>(mm), detail->mmHeight());
}

TEST(ModelAdapterTest, AnIndexOutsideItsListAnswersNil) {
    Model m;
    TrpBand* detail = m.report->GetBand(btDetail, 0);
    struct Case {
        TObject* object;
        const char* name;
        int32_t index;
        TObject* expected;
    };
    const Case cases[] = {
        {m.report, "GroupHeader", 0, m.group->HeaderBand()},
        {m.report, "GroupHeader", 1, nullptr},
        {m.report, "GroupFooterBand", -1, nullptr},
        {m.report, "Groups", 0, m.group},
        {m.report, "Groups", 7, nullptr},
        {m.report, "Bands", 1000, nullptr},
        {detail, "Objects", 0, m.memo},
        {detail, "Objects", 1, nullptr},
        {detail, "Saves", 0, nullptr},
        {m.pipeline, "Fields", 3, nullptr},
        {m.pipeline, "Links", 0, nullptr},
        {m.report, "AutoSearchFields", 0, nullptr},
        {m.node, "ChildNodes", 0, nullptr},
        {m.report->Parameters(), "ItemsByIndex", -1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "(" + std::to_string(c.index) + ")");
        TrsRTTIClass adapter = AdapterOf(c.object);
        std::unique_ptr<TrsParamList> params = adapter->GetParams(c.name);
        ASSERT_NE(params, nullptr);
        int32_t index = c.index;
        TObject* result = reinterpret_cast<TObject*>(&index);  // anything but nil
        params->BindParam(0, &index);
        params->BindParam(1, &result);
        ASSERT_TRUE(adapter->CallMethod(c.object, c.name, true, params.get()));
        EXPECT_EQ(result, c.expected);
    }
}

TEST(ModelAdapterTest, EachBandKindAnswersThroughItsOwnAdapterAndItsParents) {
    Model m;
    struct Case {
        TrpBand* band;
        const char* adapter;
        const char* ownMember;
    };
    const Case cases[] = {
        {m.report->CreateBand(btTitle), "TrsTrpReportBandRTTI", "newpage"},
        {m.report->CreateBand(btHeader), "TrsTrpPageBandRTTI", "PRINTHEIGHT"},
        {m.report->CreateBand(btColumnHeader), "TrsTrpCustomBandRTTI", "StartingPosition"},
        {m.report->GetBand(btDetail, 0), "TrsTrpDetailBandRTTI", "bandsperrecordcount"},
        {m.report->CreateBand(btColumnFooter), "TrsTrpColumnFooterBandRTTI", "PrintHeight"},
        {m.report->CreateBand(btFooter), "TrsTrpFooterBandRTTI", "PrintHeight"},
        {m.report->CreateBand(btSummary), "TrsTrpReportBandRTTI", "NewPage"},
        {m.report->CreateBand(btPageStyle), "TrsTrpCustomBandRTTI", "CurrentObject"},
        {m.group->HeaderBand(), "TrsTrpGroupHeaderBandRTTI", "AlreadyPageBreak"},
        {m.group->FooterBand(), "TrsTrpGroupBandRTTI", "savegeneration"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.adapter);
        ASSERT_NE(c.band, nullptr);
        TrsRTTIClass adapter = AdapterOf(c.band);
        EXPECT_EQ(adapter->ClassName(), c.adapter);
        TStringList names;
        adapter->GetPropList(c.band->ClassType(), &names);
        // Its own member, the generation state, the band's and the cache's.
        for (const char* name : {c.ownMember, "CurrentPosition", "mmHeight", "CacheRecordSize"}) {
            TrsValue v;
            EXPECT_TRUE(adapter->GetPropValue(c.band, name, v)) << name;
            EXPECT_GE(names.IndexOf(name), 0) << name;
        }
    }
}

TEST(ModelAdapterTest, BandAndStretchableMembersWriteThroughTheirSetters) {
    Model m;
    auto* title = dynamic_cast<TrpTitleBand*>(m.report->CreateBand(btTitle));
    auto* footer = dynamic_cast<TrpFooterBand*>(m.report->CreateBand(btFooter));
    auto* detail = dynamic_cast<TrpDetailBand*>(m.report->GetBand(btDetail, 0));
    TrpGroupHeaderBand* header = m.group->HeaderBand();
    auto* other = new TrpMemo(&m.owner);
    other->SetBand(detail);
    auto set = [](TObject* o, const char* name, const TrsValue& v) { return AdapterOf(o)->SetPropValue(o, name, v); };
    auto object = [](TObject* o) { return TrsValue(std::in_place_type<TObject*>, o); };

    ASSERT_TRUE(set(title, "NewPage", true));
    EXPECT_TRUE(title->NewPage());
    // The setters' own rules apply: at least one band a record, a footer
    // measured from the bottom margin stays static.
    ASSERT_TRUE(set(detail, "BandsPerRecord", int32_t{0}));
    EXPECT_EQ(detail->BandsPerRecord(), 1);
    ASSERT_TRUE(set(footer, "printheight", int32_t{phDynamic}));
    EXPECT_EQ(footer->PrintHeight(), phStatic);
    // A number that names no print height is refused, not stored.
    EXPECT_FALSE(set(detail, "PrintHeight", int32_t{7}));
    EXPECT_FALSE(set(detail, "PrintHeight", int32_t{-1}));
    EXPECT_EQ(detail->PrintHeight(), phStatic);
    ASSERT_TRUE(set(detail, "DataPipeline", object(m.pipeline)));
    EXPECT_EQ(detail->OwnDataPipeline(), m.pipeline);
    EXPECT_FALSE(set(detail, "DataPipeline", object(m.memo)));
    EXPECT_EQ(detail->OwnDataPipeline(), m.pipeline);
    ASSERT_TRUE(set(header, "Generation", true));
    EXPECT_TRUE(header->Generation());
    TrsValue group;
    ASSERT_TRUE(AdapterOf(header)->GetPropValue(header, "group", group));
    EXPECT_EQ(std::get<TObject*>(group), m.group);

    ASSERT_TRUE(set(other, "ShiftRelativeTo", object(m.memo)));
    EXPECT_EQ(other->ShiftRelativeTo(), m.memo);
    TrsValue shifters;
    ASSERT_TRUE(AdapterOf(m.memo)->GetPropValue(m.memo, "ShifterCount", shifters));
    EXPECT_EQ(std::get<int32_t>(shifters), 1);
    EXPECT_FALSE(set(other, "ShiftRelativeTo", object(detail)));
    EXPECT_EQ(other->ShiftRelativeTo(), m.memo);
    ASSERT_TRUE(set(m.memo, "KeepTogether", true));
    EXPECT_TRUE(m.memo->KeepTogether());

    // Each unit of a length writes through its own setter.
    ASSERT_TRUE(set(m.memo, "mmleft", int32_t{25400}));
    EXPECT_EQ(m.memo->mmLeft(), 25400);
    EXPECT_FLOAT_EQ(m.memo->Left(), 1.0f);  // inches
    ASSERT_TRUE(set(m.memo, "Width", 2.0));
    EXPECT_EQ(m.memo->mmWidth(), 50800);
    ASSERT_TRUE(set(m.memo, "spTop", int32_t{96}));
    EXPECT_EQ(m.memo->spTop(), 96);
    EXPECT_EQ(m.memo->mmLeft(), 25400);
}

// Calls a report method with the arguments bound in order; the last
// parameter receives the result.
template <class... A>
bool CallReport(TrpReport* Report, const char* Name, TObject*& Result, A*... Args) {
    std::unique_ptr<TrsParamList> params = AdapterOf(Report)->GetParams(Name);
    if (params == nullptr || params->Count() != static_cast<int>(sizeof...(A)) + 1) return false;
    int i = 0;
    (params->BindParam(i++, Args), ...);
    params->BindParam(i, &Result);
    return AdapterOf(Report)->CallMethod(Report, Name, true, params.get());
}

TEST(ModelAdapterTest, ScriptsCreateFindAndDescribeAutoSearchCriteria) {
    Model m;
    std::string pipeline = "Clientes", field = "Nome", expression = "Sil";
    int32_t op = soLike;
    bool mandatory = true;
    TObject* made = nullptr;
    ASSERT_TRUE(CallReport(m.report, "CreateAutoSearchCriteria", made, &pipeline, &field, &op, &expression,
                           &mandatory));
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(m.report->AutoSearchFieldCount(), 1);
    EXPECT_EQ(m.report->AutoSearchFields(0), made);
    EXPECT_EQ(m.report->AutoSearchFields(0)->SearchOperator(), soLike);
    // An operator outside the enumeration creates nothing.
    op = 99;
    TObject* refused = nullptr;
    EXPECT_FALSE(CallReport(m.report, "CreateAutoSearchCriteria", refused, &pipeline, &field, &op, &expression,
                            &mandatory));
    EXPECT_EQ(m.report->AutoSearchFieldCount(), 1);

    std::string lowerPipeline = "clientes", upperField = "NOME";
    TObject* found = nullptr;
    ASSERT_TRUE(CallReport(m.report, "AutoSearchCriteriaByName", found, &lowerPipeline, &upperField));
    EXPECT_EQ(found, made);
    TrsValue count, description;
    ASSERT_TRUE(AdapterOf(m.report)->GetPropValue(m.report, "autosearchfieldcount", count));
    EXPECT_EQ(std::get<int32_t>(count), 1);
    ASSERT_TRUE(AdapterOf(m.report)->GetPropValue(m.report, "AutoSearchDescription", description));
    EXPECT_NE(std::get<std::string>(description).find("Sil"), std::string::npos);
}

TEST(ModelAdapterTest, WritingParametersCopiesTheListAndNoneEmptiesIt) {
    Model m;
    TrpParameterList given(&m.owner);
    given.Add("Ano", dtInteger, Variant(int32_t{2026}));
    TrsRTTIClass adapter = AdapterOf(m.report);
    ASSERT_TRUE(adapter->SetPropValue(m.report, "parameters", TrsValue(std::in_place_type<TObject*>, &given)));
    ASSERT_EQ(m.report->Parameters()->Count(), 1);
    EXPECT_NE(m.report->Parameters()->Items(0), given.Items(0));
    EXPECT_TRUE(m.report->Parameters()->InList("ano"));
    TrsValue read;
    ASSERT_TRUE(adapter->GetPropValue(m.report, "Parameters", read));
    EXPECT_EQ(std::get<TObject*>(read), m.report->Parameters());
    ASSERT_TRUE(adapter->SetPropValue(m.report, "Parameters", TrsValue(std::in_place_type<TObject*>, nullptr)));
    EXPECT_EQ(m.report->Parameters()->Count(), 0);
}

// The descriptor a published property's metadata gives.
void ExpectMatchesMetadata(TClass Class, const TPropInfo& p) {
    TrsRTTIClass adapter = TrsRTTIClassRegistry::GetRTTIClass(Class);
    ASSERT_NE(adapter, nullptr);
    SCOPED_TRACE(Class->Name + "." + p.Name);
    TrsMemberDescriptor rec;
    ASSERT_TRUE(adapter->GetPropRec(Class, Lower(p.Name), rec));
    if (p.Kind() == tkMethod) return;  // events: numbers checked above
    int code = GetRTTIDataType(p.PropType);
    if (code == rsEnum && p.PropType->Name == "Boolean") code = rsBoolean;
    // Colours are integers in the metadata and named "TColor" to scripts.
    if (code == rsInteger && rec.EnumTypeName == "TColor" && p.PropType->Name == "TColor") code = rsEnum;
    EXPECT_EQ(rec.DataType, code);
    if (code == rsClass) EXPECT_EQ(rec.ClassType, p.PropType->ClassType);
    if (code == rsEnum) EXPECT_EQ(rec.EnumTypeName, p.PropType->Name);
}

TEST(ModelAdapterTest, EveryPublishedPropertyOfEveryDescribedClassIsReachable) {
    int checked = 0;
    for (TrsRTTIClass adapter : TrsRTTIClassRegistry::Adapters()) {
        TClass described = adapter->DescribedClass();
        for (const TPropInfo* p : described->PropList()) {
            ExpectMatchesMetadata(described, *p);
            ++checked;
        }
    }
    for (const TrpRegComponent& entry : rpRegisteredComponents())
        for (const TPropInfo* p : entry.ComponentClass->PropList()) ExpectMatchesMetadata(entry.ComponentClass, *p);
    EXPECT_GT(checked, 100);
}

TEST(ComponentRegistryTest, StartUpRegistersTheLibrarysControlsAndReplacesAnEntryOnASecondRegistration) {
    for (const char* name : {"TrpMemo", "TrpDBMemo", "TrpRegion", "TrpSubReport", "TrpPageBreak"}) {
        SCOPED_TRACE(name);
        TrpRegComponent entry;
        ASSERT_TRUE(rpFindRegisteredComponent(name, entry));
        EXPECT_NE(GetClass(name), nullptr);
    }
    EXPECT_NE(GetClass("TrpGroup"), nullptr);
    std::unique_ptr<TComponent> read(reporttest::ReadStoredText("object M: TrpMemo\nend\n", nullptr));
    EXPECT_NE(dynamic_cast<TrpMemo*>(read.get()), nullptr);

    const auto count = rpRegisteredComponents().size();
    rpRegisterComponent(TrpMemo::StaticClassType(), "Data Components", 9, 0, "Memo", 0);
    TrpRegComponent entry;
    ASSERT_TRUE(rpFindRegisteredComponent("trpmemo", entry));
    EXPECT_EQ(entry.PageName, "Data Components");
    EXPECT_EQ(entry.Position, 9);
    EXPECT_EQ(rpRegisteredComponents().size(), count);
    EXPECT_EQ(GetClass("TrpMemo"), TrpMemo::StaticClassType());
    rpRegisterComponent(TrpMemo::StaticClassType(), "Standard Components", 1, 0, "", 175);
}

TEST(ComponentRegistryTest, WithoutItsProceduresRegisteringFails) {
    rpSetComponentProcs(nullptr, nullptr);
    try {
        rpRegisterComponent(TrpMemo::StaticClassType(), "Standard Components", 1, 0, "", 175);
        ADD_FAILURE() << "registered without procedures";
    } catch (const EComponentError& e) {
        EXPECT_EQ(e.Message(), "Unable to register component classes.");
    }
    try {
        rpUnregisterComponent(TrpMemo::StaticClassType());
        ADD_FAILURE() << "unregistered without procedures";
    } catch (const EComponentError& e) {
        EXPECT_EQ(e.Message(), "Unable to unregister component classes.");
    }
    rpSetComponentProcs(&RegisterComponentClass, &UnregisterComponentClass);
    EXPECT_NE(GetClass("TrpMemo"), nullptr);
}

}  // namespace
