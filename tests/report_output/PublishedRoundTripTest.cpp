// Every published property and event of every class on the palette, of a
// group and of the report, set away from what a new object holds, saved as
// a template (binary and text, in a file and in a database row) and loaded
// into a new report: each comes back, or the test names the class, the
// component and the property that did not.
#include <gtest/gtest.h>

#include <algorithm>
#include <any>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "memtable/mtMemTable.h"
#include "platform/db/SQLQuery.h"
#include "platform/db/SQLiteDatabase.h"
#include "platform/gfx/Graphics.h"
#include "platform/gfx/Pictures.h"
#include "platform/rtl/TypInfo.h"
#include "report/rpBands.h"
#include "report/rpDBPipeline.h"
#include "report/rpGroup.h"
#include "report/rpMainReport.h"
#include "report/rpMemo.h"
#include "report/rpRegComponents.h"
#include "report/rpRegion.h"
#include "report/rpSubReport.h"
#include "report/rpTemplate.h"
#include "report_output/rpDBText.h"
#include "report_output/rpImages.h"
#include "report_output/rpTextControls.h"
#include "report_output/rpVariables.h"
#include "tests/support/TestSupport.h"

namespace {

// A handler for each event type a template may name, registered on the
// form under one name per event so that a load finds it again.
std::any HandlerOfType(const std::string& Type) {
    static const std::map<std::string, std::function<std::any()>> handlers = {
        {"TNotifyEvent", [] { return std::any(TNotifyEvent([](TObject*) {})); }},
        {"TrpDrawCommandEvent", [] { return std::any(TrpDrawCommandEvent([](TObject*, TrpDrawCommand*) {})); }},
        {"TrpGetTextEvent", [] { return std::any(TrpGetTextEvent([](TObject*, std::string&) {})); }},
        {"TrpFormatEvent",
         [] {
             return std::any(TrpFormatEvent(
                 [](TObject*, const std::string&, TrpDataType, const Variant&, std::string&) {}));
         }},
        {"TrpVarCalcEvent", [] { return std::any(TrpVarCalcEvent([](TObject*, Variant&) {})); }},
        {"TrpGetMemoEvent", [] { return std::any(TrpGetMemoEvent([](TObject*, TStrings*) {})); }},
        {"TrpGetPictureEvent", [] { return std::any(TrpGetPictureEvent([](TObject*, TPicture*) {})); }},
        {"TrpGetBreakValueEvent", [] { return std::any(TrpGetBreakValueEvent([](TObject*, std::string&) {})); }},
        {"TrpReportInitializeEvent", [] { return std::any(TrpReportInitializeEvent([](TObject*, bool&) {})); }},
        {"TrpOutlineNodeCreateEvent",
         [] { return std::any(TrpReportOutlineNodeEvent([](TObject*, TObject*, TObject*, bool&) {})); }},
        {"TrpNoDataEvent", [] { return std::any(TrpNoDataEvent([](TObject*, TObject*, bool&, TObject*, bool&) {})); }},
        {"TrpPageRequestEvent", [] { return std::any(TrpPageRequestEvent([](TObject*, TrpPageRequest*) {})); }},
        {"TrpSaveTextEvent",
         [] { return std::any(std::function<void(TObject*, std::string&)>([](TObject*, std::string&) {})); }},
    };
    auto it = handlers.find(Type);
    return it == handlers.end() ? std::any() : it->second();
}

std::string HandlerName(const TObject* Owner, const TPropInfo* Prop) {
    std::string owner = Owner->ClassName();
    if (auto* c = dynamic_cast<const TComponent*>(Owner)) owner = c->Name();
    return owner + Prop->Name;
}

// The form a report lives on, with the pipelines its components and its
// template name, and every handler the layout names.
struct Form {
    explicit Form(TDataSource* Templates) : owner(std::make_unique<TComponent>(nullptr)) {
        owner->SetName("frmNotas");
        rows = std::make_unique<TmtMemTable>(nullptr);
        rows->FieldDefs()->Add("Valor", ftFloat);
        rows->FieldDefs()->Add("Cidade", ftString, 30);
        rows->Open();
        source.SetDataSet(rows.get());
        pipeline = new TrpDBPipeline(owner.get());
        pipeline->SetName("plNotas");
        pipeline->SetDataSource(&source);
        templates = new TrpDBPipeline(owner.get());
        templates->SetName("plMatrizes");
        templates->SetDataSource(Templates);
        report = new TrpReport(owner.get());
        report->SetName("rptNotas");
        for (const std::string& type : eventTypes)
            for (const std::string& name : handlerNames[type]) owner->RegisterMethod(name, HandlerOfType(type));
    }
    ~Form() { owner.reset(); }

    std::unique_ptr<TComponent> owner;
    std::unique_ptr<TmtMemTable> rows;
    TDataSource source{nullptr};
    TrpDBPipeline* pipeline;
    TrpDBPipeline* templates;
    TrpReport* report;

    // Filled while the first layout is made: every handler name by type.
    static inline std::set<std::string> eventTypes;
    static inline std::map<std::string, std::set<std::string>> handlerNames;
};

// What each property is set to, where a plain "something else" does not fit.
struct Links {
    TrpGroup* group;
    TrpComponent* anchor;  // what stretchables shift relative to
    TrpComponent* text;    // a text a group may break on
    // Properties left alone: some settings exclude others, so every class
    // is made twice, each copy with one side of each such pair.
    std::set<std::string> skip;
    // Barcode kinds that allow the settings of each side.
    std::string barCodeType;
};

// Reprinting on overflow, following the parent's size and becoming a
// section exclude stretching, shifting, a position of one's own and a
// drill-down; an add-on code needs an EAN/UPC symbol, automatic encoding
// and a free font size need Code 128; turned text does not wrap.
const std::set<std::string> kFirstSideOnly = {"ReprintOnOverFlow", "StretchWithParent", "ParentWidth", "ParentHeight",
                                              "PrintBehavior", "NewPrintJob", "ResetPageNo", "AddOnCode", "WordWrap"};
const std::set<std::string> kSecondSideOnly = {"Stretch",       "ShiftRelativeTo", "DrillDownComponent", "Left", "Top",
                                               "AutoEncode",    "AutoSizeFont",    "KeepTogether",       "Angle"};

bool IsReference(const TPropInfo* P) {
    return P->PropType->ClassType != nullptr && P->PropType->ClassType->InheritsFrom(TComponent::StaticClassType());
}

void Change(TObject* Obj, const Links& L, Form& F, const std::string& Path);

void ChangeProp(TObject* Obj, const TPropInfo* P, const Links& L, Form& F, const std::string& Path) {
    const std::string& n = P->Name;
    if (L.skip.count(n) != 0 && dynamic_cast<TrpComponent*>(Obj) != nullptr) return;
    switch (P->Kind()) {
        case tkInteger: {
            if (P->PropType->Name == "TColor") {
                P->SetOrd(Obj, P->GetOrd(Obj) == 0x3366CC ? 0x0080FF : 0x3366CC);
            } else if (n == "Angle") {
                P->SetOrd(Obj, 90);
            } else if (n == "CalcOrder") {
                // A position among the band's variables: the first.
                P->SetOrd(Obj, 0);
            } else if (n == "Charset") {
                P->SetOrd(Obj, 0);
            } else {
                P->SetOrd(Obj, P->GetOrd(Obj) + 3);
            }
            return;
        }
        case tkEnumeration: {
            const auto& names = P->PropType->EnumNames;
            const auto count = static_cast<std::int64_t>(names.size());
            std::int64_t v = (P->GetOrd(Obj) + 1) % count;
            // A flag goes against its stored default, whatever an earlier
            // setting did to it.
            if (P->PropType == TypeInfoBoolean() && P->Default != NoDefault) v = P->Default == 0 ? 1 : 0;
            if (n == "BarCodeType")
                for (std::int64_t i = 0; i < count; ++i)
                    if (names[static_cast<std::size_t>(i)] == L.barCodeType) v = i;
            if (n == "DataType") v = dtInteger;
            if (n == "PrintBehavior") v = pbFixed;
            if (n == "ResetType") v = veGroupEnd;
            if (n == "CalcType" && dynamic_cast<TrpVariable*>(Obj) != nullptr) v = veGroupStart;
            if (n == "BreakType") v = btCustomField;
            P->SetOrd(Obj, v);
            return;
        }
        case tkSet: {
            const std::int64_t all = (std::int64_t{1} << P->PropType->EnumNames.size()) - 1;
            // Anchored top and right: a stretching control may not hold the bottom.
            P->SetOrd(Obj, n == "Anchors" ? (1 << atTop) | (1 << atRight) : ~P->GetOrd(Obj) & all);
            return;
        }
        case tkFloat:
            P->SetFloat(Obj, P->GetFloat(Obj) == 0 ? 0.5L : P->GetFloat(Obj) * 1.25L);
            return;
        case tkString:
        case tkLString:
        case tkUString:
        case tkWString: {
            std::string v = "Valor " + Path;
            if (n == "DataField") v = "Valor";
            if (n == "DisplayFormat") v = "#,0.00";
            if (n == "BreakName") v = L.text->Name();
            if (n == "RichText") v = "{\\rtf1 Texto {\\b rico}}";
            if (n == "Data" || n == "CarrierPostalCode") v = "1301";
            if (n == "AddOnCode") v = "12";
            if (n == "GraphicType") v = "JPEG";
            P->SetStr(Obj, v);
            return;
        }
        case tkMethod: {
            const std::any handler = HandlerOfType(P->PropType->Name);
            ASSERT_TRUE(handler.has_value()) << Path << ": no handler of type " << P->PropType->Name;
            const std::string name = HandlerName(Obj, P);
            Form::eventTypes.insert(P->PropType->Name);
            Form::handlerNames[P->PropType->Name].insert(name);
            F.owner->RegisterMethod(name, handler);
            ASSERT_TRUE(P->SetMethod(Obj, &handler, name)) << Path;
            return;
        }
        case tkClass: {
            if (IsReference(P)) {
                TComponent* target = nullptr;
                if (n == "ShiftRelativeTo" || n == "DrillDownComponent") target = L.anchor;
                if (n == "ResetGroup" || n == "ResetComponent" || n == "CalcComponent") target = L.group;
                if (target != nullptr && target != Obj) P->SetObject(Obj, target);
                return;
            }
            TObject* sub = P->GetObject(Obj);
            if (auto* lines = dynamic_cast<TStrings*>(sub)) {
                lines->SetText(n == "TabStopPositions" ? "2540\n5080" : "Primeira linha\nSegunda linha");
            } else if (auto* picture = dynamic_cast<TPicture*>(sub)) {
                picture->LoadFromFile(testsupport::DataPath("gfx/pictures/jpeg_base.jpg"));
            } else if (sub != nullptr) {
                Change(sub, L, F, Path);
            }
            return;
        }
        default: ADD_FAILURE() << Path << ": a property of kind " << P->Kind() << " is not covered";
    }
}

void Change(TObject* Obj, const Links& L, Form& F, const std::string& Path) {
    // The kind of symbol or picture first: what the others allow follows it.
    std::vector<const TPropInfo*> props = Obj->ClassType()->PropList();
    std::stable_partition(props.begin(), props.end(),
                          [](const TPropInfo* p) { return p->Name == "BarCodeType" || p->Name == "GraphicType"; });
    for (const TPropInfo* p : props) {
        if (p->Name == "Name" || !p->Writable()) continue;
        // A font's size and height are one setting: the size is changed.
        if (dynamic_cast<TFont*>(Obj) != nullptr && p->Name == "Height") continue;
        ChangeProp(Obj, p, L, F, Path + "." + p->Name);
    }
}

// The properties of A and B that differ, each as "Path.Property".
void Differences(const TObject* A, const TObject* B, const std::string& Path, std::vector<std::string>& Out) {
    for (const TPropInfo* p : A->ClassType()->PropList()) {
        const std::string at = Path + "." + p->Name;
        if (p->Name == "Name") continue;
        switch (p->Kind()) {
            case tkInteger:
            case tkEnumeration:
            case tkSet:
            case tkChar:
                if (p->GetOrd(A) != p->GetOrd(B)) Out.push_back(at);
                break;
            case tkFloat: {
                const long double a = p->GetFloat(A), b = p->GetFloat(B);
                if (std::fabs(static_cast<double>(a - b)) > 1e-3 * std::max(1.0, std::fabs(static_cast<double>(a))))
                    Out.push_back(at);
                break;
            }
            case tkString:
            case tkLString:
            case tkUString:
            case tkWString:
                if (p->GetStr(A) != p->GetStr(B)) Out.push_back(at);
                break;
            case tkMethod:
                if (p->GetMethodName(A) != p->GetMethodName(B)) Out.push_back(at);
                break;
            case tkClass: {
                TObject* a = p->GetObject(A);
                TObject* b = p->GetObject(B);
                if (IsReference(p)) {
                    auto name = [](TObject* o) { return o ? static_cast<TComponent*>(o)->Name() : std::string(); };
                    if (name(a) != name(b)) Out.push_back(at);
                } else if (a == nullptr || b == nullptr) {
                    if (a != b) Out.push_back(at);
                } else if (auto* lines = dynamic_cast<TStrings*>(a)) {
                    if (lines->Text() != static_cast<TStrings*>(b)->Text()) Out.push_back(at);
                } else if (auto* picture = dynamic_cast<TPicture*>(a)) {
                    auto* other = static_cast<TPicture*>(b);
                    if (picture->Width() != other->Width() || picture->Height() != other->Height()) Out.push_back(at);
                } else if (auto* graphic = dynamic_cast<TGraphic*>(a)) {
                    auto* other = static_cast<TGraphic*>(b);
                    if (graphic->Empty() != other->Empty() || graphic->Width() != other->Width() ||
                        graphic->Height() != other->Height())
                        Out.push_back(at);
                } else {
                    Differences(a, b, at, Out);
                }
                break;
            }
            default: Out.push_back(at + " (not compared)");
        }
    }
}

std::string Joined(const std::vector<std::string>& Items) {
    std::string out;
    for (const std::string& i : Items) out += (out.empty() ? "" : ", ") + i;
    return out;
}

// What each class publishes, as its description lists it (the data
// pipeline is published but stored by name).
std::map<std::string, std::string> Listed() {
    // Every printable publishes its print event.
    const std::string printable = "OnPrint ";
    const std::string common = printable + "Anchors Border Color OnDrawCommandClick OnDrawCommandCreate "
                                           "ReprintOnOverFlow Transparent Visible UserName Height Left Top Width ";
    const std::string stretch = "KeepTogether ShiftRelativeTo Stretch BottomOffset OverFlowOffset ";
    const std::string memo = common + stretch + "CharWrap Font Leading TabStopPositions TextAlignment ";
    const std::string graphic = printable + "Anchors OnDrawCommandClick OnDrawCommandCreate ParentHeight "
                                            "ParentWidth Pen ReprintOnOverFlow StretchWithParent UserName Visible "
                                            "Height Left Top Width ";
    const std::string image = printable + "AutoSize Center DirectDraw MaintainAspectRatio ReprintOnOverFlow Stretch "
                                          "Transparent Visible Height Left Top Width Anchors Border "
                                          "OnDrawCommandClick OnDrawCommandCreate ";
    const std::string rich = common + stretch;
    const std::string bar = common + "AddOnCode AutoEncode AutoSizeFont BarCodeType BarColor BarWidth BearerBars "
                                     "CalcCheckDigit Orientation PrintHumanReadable WideBarRatio Alignment AutoSize "
                                     "Font ";
    const std::string bar2 = common + "Alignment AutoSize Font AutoScale BackgroundColor BarCodeType BarHeight "
                                      "BarWidth CaptionLayout CarrierCountryCode CarrierPostalCode "
                                      "CarrierServiceClass ECCLevel ExtendedSyntax HorPixelsPerMM Mode NumColumns "
                                      "NumRows PrintHumanReadable QuietZone RelativeBarHeight Truncated "
                                      "VerPixelsPerMM ";
    const std::string text = printable + "Anchors AutoSize Border Color Font OnDrawCommandClick OnDrawCommandCreate "
                             "TextAlignment Transparent UserName Visible WordWrap Height Left Top Width Angle "
                             "CharWrap OnGetText ReprintOnOverFlow SaveOrder Save SaveLength ";
    const std::string dbText = text + "BlankWhenZero DataField DisplayFormat OnFormat ParentDataPipeline "
                                      "ReprintOnSubsequent ResetGroup SuppressRepeatedValues ";
    return {
        {"TrpMemo", memo + "Caption Lines"},
        {"TrpDBMemo", memo + "AutoDisplay DataField DataPipeline OnGetMemo ParentDataPipeline SuppressRepeatedValues"},
        {"TrpRegion", printable + stretch + "Anchors Brush Caption OnDrawCommandClick OnDrawCommandCreate ParentHeight "
                                "ParentWidth Pen ReprintOnOverFlow StretchWithParent Transparent UserName Height Left "
                                "Top Width"},
        {"TrpSubReport", printable + "Anchors ParentWidth Visible Left Top Width Height " + stretch +
                             "PrintBehavior NewPrintJob ParentPrinterSetup ResetPageNo TraverseAllData ExpandAll "
                             "DrillDownComponent StopPosition OutlineSettings DataPipeline"},
        {"TrpPageBreak", printable + "Visible"},
        {"TrpRichText", rich + "Caption MailMerge RichText"},
        {"TrpDBRichText", rich + "AutoDisplay DataField DataPipeline OnGetRichText ParentDataPipeline"},
        {"TrpBarCode", bar + "Data"},
        {"TrpDBBarCode", bar + "DataField DataPipeline"},
        {"Trp2DBarCode", bar2 + "Data"},
        {"TrpDB2DBarCode", bar2 + "DataField DataPipeline"},
        {"TrpLabel", text + "Caption"},
        {"TrpDBText", dbText + "DataPipeline"},
        {"TrpDBCalc", dbText + "DataPipeline DBCalcType LookAhead OnCalc OnGroupBreak"},
        {"TrpShape", graphic + "Brush Shape"},
        {"TrpLine", graphic + "Border Position Style Weight"},
        {"TrpImage", image + "Picture"},
        {"TrpDBImage", image + "DataField DataPipeline ParentDataPipeline AutoDisplay GraphicType OnGetPicture"},
        {"TrpVariable", text + "CalcType CalcComponent ResetType ResetComponent CalcOrder DataType LookAhead "
                               "BlankWhenZero OnCalc OnReset OldOnCalc OnFormat DisplayFormat"},
        {"TrpSystemVariable", text + "VarType OnFormat DisplayFormat"},
        {"TrpCalc", printable + "CalcType CustomType OnCalc OnFormat DisplayFormat Alignment"},
        {"TrpGroup", "AfterGroupBreak BeforeGroupBreak BreakName BreakType HeaderForOrphanedFooter KeepTogether "
                     "OnGetBreakValue OutlineSettings NewColumn NewPage NewColumnThreshold NewPageThreshold "
                     "ResetPageNo ReprintOnSubsequentColumn ReprintOnSubsequentPage Tag UserName DataPipeline"},
        {"TrpReport", "OnInitializeParameters OnOutlineNodeCreate DataPipeline OnNoData Icon ShowAutoSearchDialog "
                      "OnCancelDialogCreate OnCancelDialogClose OnPageRequest OnAssignPreviewFormSettings "
                      "OnPreviewFormCreate OnPreviewFormClose OnPrintDialogCreate OnPrintDialogClose OnSaveText"},
        {"TrpChildReport", "DataPipeline OnNoData"},
    };
}

class PublishedRoundTripTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("matrizes.db");
        {
            sqlite::OpenOptions o;
            o.create = true;
            sqlite::Database db(path, o);
        }
        conn.SetConnectionString("Data Source=" + path);
        conn.SetLoginPrompt(false);
        conn.Open();
        conn.Execute(sqlite::CreateTableSql("Matrizes", {{"Nome", "text(40)"}, {"Matriz", "longbinary"}}));
        query.SetConnection(&conn);
        query.SetSQL("select * from Matrizes");
        query.Open();
        templates.SetDataSet(&query);
    }

    testsupport::TempDir dir;
    std::string path;
    TSQLConnection conn;
    TSQLQuery query;
    TDataSource templates{nullptr};
};

TEST_F(PublishedRoundTripTest, EveryPublishedPropertyAndEventComesBackFromEveryKindOfTemplate) {
    std::vector<std::string> missing;
    for (const auto& [kind, names] : Listed()) {
        TClass c = GetClass(kind);
        ASSERT_NE(c, nullptr) << kind;
        std::istringstream in(names);
        for (std::string name; in >> name;)
            if (c->FindProp(name) == nullptr) missing.push_back(kind + "." + name);
    }
    EXPECT_TRUE(missing.empty()) << "not published: " << Joined(missing);

    Form form(&templates);
    TrpReport* r = form.report;
    r->SetDataPipeline(form.pipeline);
    r->CreateDefaultBands();
    auto* group = new TrpGroup(form.owner.get());
    group->SetName("grpCidade");
    group->SetReport(r);
    group->SetDataPipeline(form.pipeline);
    group->SetBreakName("Cidade");
    r->CreateDefaultBands();
    TrpBand* detail = r->GetBand(btDetail);
    detail->SetmmHeight(80000);
    auto* region = new TrpRegion(form.owner.get());
    region->SetName("rgnItens");
    region->SetBand(detail);
    region->SetBounds(0, 0, 150000, 70000);
    auto* anchor = new TrpMemo(form.owner.get());
    anchor->SetName("mmoAncora");
    anchor->SetBand(detail);
    region->AddObject(anchor);
    auto* text = new TrpLabel(form.owner.get());
    text->SetName("lblCidade");
    text->SetBand(group->HeaderBand());
    const Links links{group, anchor, text};

    auto* onBand = new TrpMemo(form.owner.get());
    onBand->SetName("mmoAncoraBanda");
    onBand->SetBand(detail);

    // Two components of every class on the palette, in the region when
    // they can be in one, on the pipeline when they take data.
    std::vector<TrpComponent*> made;
    std::map<std::string, std::vector<std::string>> unchanged;  // by class: what either copy left as new
    for (const TrpRegComponent& entry : rpRegisteredComponents()) {
        const std::string kind = entry.ComponentClass->Name;
        for (int side = 0; side < 2; ++side) {
            auto* c = dynamic_cast<TrpComponent*>(CreateInstance(entry.ComponentClass, form.owner.get()));
            ASSERT_NE(c, nullptr) << kind;
            c->SetName("c" + kind.substr(3) + (side == 0 ? "" : "B"));
            c->SetBand(detail);
            c->SetBounds(1000, 1000, 20000, 8000);
            const bool boxed = kind != "TrpRegion" && kind != "TrpPageBreak" && kind != "TrpSubReport";
            if (boxed) region->AddObject(c);
            if (c->IsDataAware() || GetPropInfo(c, "DataPipeline") != nullptr) c->SetDataPipeline(form.pipeline);
            made.push_back(c);
            Links l = links;
            l.anchor = boxed ? anchor : onBand;
            l.skip = side == 0 ? kSecondSideOnly : kFirstSideOnly;
            // A subreport takes its parent's width until told otherwise, and
            // a section always does: its own width goes with the side that
            // leaves it a child.
            if (kind == "TrpSubReport") {
                if (side == 0) l.skip.insert("ParentWidth");
                else l.skip.erase("ParentWidth");
            }
            l.barCodeType = side == 0 ? "bcUPC_A" : "bcCode128";
            const std::string at = kind + " " + c->Name();
            Change(c, l, form, at);
            std::unique_ptr<TComponent> fresh(static_cast<TComponent*>(CreateInstance(entry.ComponentClass, nullptr)));
            std::vector<std::string> differ;
            Differences(c, fresh.get(), at, differ);
            std::vector<std::string> same;
            for (const TPropInfo* p : c->ClassType()->PropList()) {
                bool changed = false;
                for (const std::string& d : differ)
                    changed = changed || d == at + "." + p->Name || d.rfind(at + "." + p->Name + ".", 0) == 0;
                if (!changed && p->Name != "Name") same.push_back(p->Name);
            }
            if (side == 0) {
                unchanged[kind] = same;
            } else {
                std::vector<std::string> both;
                for (const std::string& name : same)
                    if (std::find(unchanged[kind].begin(), unchanged[kind].end(), name) != unchanged[kind].end())
                        both.push_back(kind + "." + name);
                unchanged[kind] = both;
            }
        }
    }
    Change(group, links, form, "TrpGroup grpCidade");
    // Breaking on a component's text, the group reads no pipeline and keeps
    // none; a second group, on a data field, keeps its own.
    group->SetDataPipeline(nullptr);
    auto* byField = new TrpGroup(form.owner.get());
    byField->SetName("grpValor");
    byField->SetReport(r);
    byField->SetDataPipeline(form.pipeline);
    byField->SetBreakName("Valor");
    for (const TPropInfo* p : r->ClassType()->PropList())
        if (p->Kind() == tkMethod) ChangeProp(r, p, links, form, "TrpReport rptNotas." + p->Name);
    // The report's icon and its search-dialog switch, away from a new report's.
    r->Icon()->LoadFromFile(testsupport::DataPath("gfx/pictures/icon.ico"));
    ASSERT_FALSE(r->Icon()->Empty());
    r->SetShowAutoSearchDialog(!r->ShowAutoSearchDialog());

    // Nothing is left as a new object has it, but bearer bars, which only
    // an Interleaved 2 of 5 symbol takes.
    std::vector<std::string> same;
    for (const auto& [kind, names] : unchanged)
        for (const std::string& name : names)
            if (name != "TrpBarCode.BearerBars" && name != "TrpDBBarCode.BearerBars") same.push_back(name);
    EXPECT_TRUE(same.empty()) << "left as new: " << Joined(same);

    struct Way {
        const char* name;
        TrpFormatType format;
        TrpSaveToType to;
    };
    for (const Way& way : {Way{"binary file", ftBinary, stFile}, Way{"text file", ftASCII, stFile},
                           Way{"binary row", ftBinary, stDatabase}, Way{"text row", ftASCII, stDatabase}}) {
        SCOPED_TRACE(way.name);
        auto place = [&](TrpReport* Report, Form& On) {
            TrpReportTemplate* t = Report->Template();
            t->SetFormat(way.format);
            t->SetSaveTo(way.to);
            t->SetFileName(dir.file(std::string(way.name) + ".rtm"));
            t->DatabaseSettings()->SetDataPipeline(On.templates);
            t->DatabaseSettings()->SetNameField("Nome");
            t->DatabaseSettings()->SetTemplateField("Matriz");
            t->DatabaseSettings()->SetName(way.name);
        };
        place(r, form);
        r->Template()->Save();

        Form copy(&templates);
        place(copy.report, copy);
        copy.report->Template()->Load();
        std::vector<std::string> differ;
        Differences(r, copy.report, "TrpReport rptNotas", differ);
        auto* group2 = dynamic_cast<TrpGroup*>(copy.owner->FindComponent("grpCidade"));
        ASSERT_NE(group2, nullptr);
        Differences(group, group2, "TrpGroup grpCidade", differ);
        auto* byField2 = dynamic_cast<TrpGroup*>(copy.owner->FindComponent("grpValor"));
        ASSERT_NE(byField2, nullptr);
        ASSERT_NE(byField2->DataPipeline(), nullptr);
        Differences(byField, byField2, "TrpGroup grpValor", differ);
        made.push_back(region);
        for (TrpComponent* c : made) {
            auto* loaded = copy.owner->FindComponent(c->Name());
            ASSERT_NE(loaded, nullptr) << c->Name();
            ASSERT_EQ(loaded->ClassType(), c->ClassType()) << c->Name();
            Differences(c, loaded, std::string(c->ClassName()) + " " + c->Name(), differ);
        }
        made.pop_back();
        EXPECT_TRUE(differ.empty()) << "differ after loading: " << Joined(differ);
    }
}

}  // namespace
