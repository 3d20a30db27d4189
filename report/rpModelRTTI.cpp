#include "report/rpModelRTTI.h"

#include "report/rpAutoSearch.h"
#include "report/rpBandedReport.h"
#include "report/rpCacheManager.h"
#include "report/rpBands.h"
#include "report/rpCache.h"
#include "report/rpComponent.h"
#include "report/rpDBPipeline.h"
#include "report/rpDevice.h"
#include "report/rpDialogs.h"
#include "report/rpDrawCommand.h"
#include "report/rpGeneration.h"
#include "report/rpGroup.h"
#include "report/rpMainReport.h"
#include "report/rpPage.h"
#include "report/rpParameters.h"
#include "report/rpPipeline.h"
#include "report/rpPipelineFields.h"
#include "report/rpPrinterSetup.h"
#include "report/rpProducer.h"
#include "report/rpReport.h"
#include "report/rpSettings.h"
#include "report/rpUnits.h"

using namespace rstable;

int32_t rsScreenPixels(int32_t mm) {
    return static_cast<int32_t>(rpRoundHalfEven(rpFromMMThousandths(mm, utScreenPixels, 1, nullptr)));
}

namespace {

TrpEngine* EngineOf(const TrpCustomReport& r) { return dynamic_cast<TrpEngine*>(r.Engine()); }

int32_t PageNoOf(const TrpCustomReport& r) {
    TrpCustomEngine* e = r.Engine();
    return e != nullptr && e->Page() != nullptr ? e->Page()->PageNo() : 0;
}

int32_t PageCountOf(const TrpCustomReport& r) {
    TrpCustomEngine* e = r.Engine();
    return e != nullptr && e->Page() != nullptr ? e->Page()->PageCount() : 0;
}

// Each anchor pseudo-property and the combination it stands for.
struct AnchorName {
    const char* Name;
    TrpAnchors Anchors;
};
const AnchorName kAnchorNames[] = {
    {"AnchorNone", {}},
    {"AnchorLeft", {atLeft}},
    {"AnchorTop", {atTop}},
    {"AnchorRight", {atRight}},
    {"AnchorBottom", {atBottom}},
    {"AnchorLeftTop", {atLeft, atTop}},
    {"AnchorRightTop", {atTop, atRight}},
    {"AnchorLeftBottom", {atLeft, atBottom}},
    {"AnchorRightBottom", {atRight, atBottom}},
};

TrsMember AnchorRow(const AnchorName& a) {
    const TrpAnchors set = a.Anchors;
    // Whatever is written, writing the name assigns its combination.
    TrsMember m = WProp<TrpComponent, bool>(
        a.Name, rsBoolean, [set](TrpComponent& c) { return c.Anchors() == set; },
        [set](TrpComponent& c, bool) { c.SetAnchors(set); });
    return m;
}

}  // namespace

// ---------------------------------------------------------------------------

RP_TABLE_ADAPTER_BODY(TrsTrpCommunicatorRTTI, TrsTComponentRTTI, TrpCommunicator)

const TrsMemberTable& TrsTrpCommunicatorRTTI::MemberTable() {
    static const TrsMemberTable table{
        WProp<TrpCommunicator, std::string>(
            "UserName", rsString, [](TrpCommunicator& c) { return c.UserName(); },
            [](TrpCommunicator& c, const std::string& v) { c.SetUserName(v); }),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpCacheableRTTI, TrsTrpRelativeRTTI, TrpCacheable)

const TrsMemberTable& TrsTrpCacheableRTTI::MemberTable() {
    static const TrsMemberTable table{
        Prop<TrpCacheable>("CacheCount", rsInteger, [](TrpCacheable& c) { return c.CacheCount(); }),
        Prop<TrpCacheable>("CachePageCount", rsInteger, [](TrpCacheable& c) { return c.CachePageCount(); }),
        Prop<TrpCacheable>("CachePosition", rsInteger, [](TrpCacheable& c) { return c.CachePosition(); }),
        Prop<TrpCacheable>("CacheRecordSize", rsInteger, [](TrpCacheable& c) { return c.CacheRecordSize(); }),
        ClassProp<TrpCacheable>("CacheStream", TStream::StaticClassType(),
                                [](TrpCacheable& c) { return c.CacheStream(); }),
    };
    return table;
}

// ---------------------------------------------------------------------------
// Producer and reports

RP_TABLE_ADAPTER_BODY(TrsTrpProducerRTTI, TrsTrpRelativeRTTI, TrpProducer)

const TrsMemberTable& TrsTrpProducerRTTI::MemberTable() {
    using P = TrpProducer;
    static const TrsMemberTable table{
        Event("AfterPrint", rpevReportEnd),
        Event("BeforePrint", rpevReportBegin),
        Event("OnCancel", 2),
        Event("OnCancelDialogCreate", 3),
        Event("OnCancelDialogClose", 4),
        Event("OnAssignPreviewFormSettings", 105),
        Event("OnPageRequest", rpevPageRequest),
        Event("OnPreviewFormCreate", 5),
        Event("OnPreviewFormClose", 6),
        Event("OnPrintDialogCreate", 7),
        Event("OnPrintDialogClose", 8),
        Event("OnSaveText", 9, {{"Text", rsString, true}}),
        Procedure<P>("Cancel", [](P& p) { p.Cancel(); }),
        ClassProp<P>("CancelDialog", nullptr, [](P& p) { return static_cast<TObject*>(p.CancelDialog()); }),
        ClassProp<P>("FileDevice", TrpDevice::StaticClassType(), [](P& p) { return p.FileDevice(); }),
        ClassProp<P>("PreviewForm", nullptr, [](P& p) { return static_cast<TObject*>(p.PreviewForm()); }),
        ClassProp<P>("PrinterSetup", TrpPrinterSetup::StaticClassType(), [](P& p) { return p.PrinterSetup(); }),
        ClassProp<P>("Printer", nullptr, [](P& p) { return p.GetPrinter(); }),
        ClassProp<P>("PrintDialog", nullptr, [](P& p) { return static_cast<TObject*>(p.PrintDialog()); }),
        ClassProp<P>("PrinterDevice", TrpDevice::StaticClassType(), [](P& p) { return p.PrinterDevice(); }),
        ClassProp<P>("Publisher", TrpPublisher::StaticClassType(), [](P& p) { return p.Publisher(); }),
        Prop<P>("Converted", rsBoolean, [](P& p) { return p.Converted(); }),
        Prop<P>("ConvertedFromPre40", rsBoolean, [](P& p) { return p.ConvertedFromPre40(); }),
        Prop<P>("EnableProcessMessages", rsBoolean, [](P& p) { return p.EnableProcessMessages(); }),
        Prop<P>("Printing", rsBoolean, [](P& p) { return p.Printing(); }),
        Prop<P>("Producing", rsBoolean, [](P& p) { return p.Producing(); }),
        Prop<P>("CurrentPage", rsInteger, [](P& p) { return p.CurrentPage(); }),
        Prop<P>("LanguageIndex", rsInteger, [](P& p) { return p.LanguageIndex(); }),
        Prop<P>("VersionNo", rsInteger, [](P& p) { return p.VersionNo(); }),
        Prop<P>("Version", rsString, [](P& p) { return p.Version(); }),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpCustomReportRTTI, TrsTrpProducerRTTI, TrpCustomReport)

const TrsMemberTable& TrsTrpCustomReportRTTI::MemberTable() {
    using R = TrpCustomReport;
    auto absolutePage = [](R& r) { return r.Engine() ? r.Engine()->AbsolutePageNo() : 0; };
    auto pageNo = [](R& r) { return PageNoOf(r); };
    static const TrsMemberTable table{
        Prop<R>("AbsolutePage", rsInteger, absolutePage),
        Prop<R>("AbsolutePageNo", rsInteger, absolutePage),
        Prop<R>("AbsolutePageCount", rsInteger,
                [](R& r) { return r.Engine() ? r.Engine()->AbsolutePageCount() : 0; }),
        Prop<R>("BandCount", rsInteger, [](R& r) { return r.BandCount(); }),
        Prop<R>("CurrentColumn", rsInteger, [](R& r) { return EngineOf(r) ? EngineOf(r)->CurrentColumn() : 0; }),
        Prop<R>("DonePrinting", rsBoolean, [](R& r) { return EngineOf(r) ? EngineOf(r)->ReportComplete() : false; }),
        ClassProp<R>("Engine", TrpCustomEngine::StaticClassType(), [](R& r) { return r.Engine(); }),
        Prop<R>("FirstPass", rsBoolean, [](R& r) { return EngineOf(r) ? !EngineOf(r)->SecondPass() : false; }),
        Prop<R>("GroupCount", rsInteger, [](R& r) { return r.GroupCount(); }),
        ClassProp<R>("MainReport", TrpCustomReport::StaticClassType(), [](R& r) { return r.GetMainReport(); }),
        Prop<R>("mmColumnWidth", rsInteger, [](R& r) { return r.mmColumnWidth(); }),
        Prop<R>("Modified", rsBoolean, [](R& r) { return r.Modified(); }),
        Prop<R>("Page", rsInteger, pageNo),
        Prop<R>("PageNo", rsInteger, pageNo),
        Prop<R>("PageCount", rsInteger, [](R& r) { return PageCountOf(r); }),
        ClassProp<R>("ParentReport", TrpCustomReport::StaticClassType(), [](R& r) { return r.ParentReport(); }),
        Prop<R>("PrintDateTime", rsDateTime,
                [](R& r) { return EngineOf(r) ? static_cast<double>(EngineOf(r)->PrintDateTime()) : 0.0; }),
        Prop<R>("PrintingAsSubReport", rsBoolean, [](R& r) { return r.PrintingAsSubReport(); }),
        Prop<R>("ReportBandCount", rsInteger, [](R& r) { return EngineOf(r) ? EngineOf(r)->ReportBandCount() : 0; }),
        Prop<R>("SecondPass", rsBoolean, [](R& r) { return EngineOf(r) ? EngineOf(r)->SecondPass() : false; }),
        Prop<R>("spColumnWidth", rsInteger, [](R& r) { return rsScreenPixels(r.mmColumnWidth()); }),
        Indexed<R>("Bands", TrpBand::StaticClassType(), [](R& r) { return r.BandCount(); },
                   [](R& r, int i) { return r.Bands(i); }),
        Indexed<R>("Groups", TrpGroup::StaticClassType(), [](R& r) { return r.GroupCount(); },
                   [](R& r, int i) { return r.Groups(i); }),
        Method<R>("GetBand",
                  {{"BandType", rsEnum, false, nullptr, "TrpBandType"},
                   {"GroupIndex", rsInteger},
                   {"Result", rsClass, false, TrpBand::StaticClassType()}},
                  [](R& r, TrsParamList& list) {
                      TrsValue kind, index;
                      if (!list.GetParamValue(0, kind) || !list.GetParamValue(1, index)) return false;
                      const int32_t k = std::get<int32_t>(kind);
                      TrpBand* band = nullptr;
                      if (k >= 0 && k <= static_cast<int32_t>(btPageStyle))
                          band = r.GetBand(static_cast<TrpBandType>(k), std::get<int32_t>(index));
                      list.SetParamValue(2, TrsValue(std::in_place_type<TObject*>, band));
                      return true;
                  }),
        Procedure<R>("Stop", [](R& r) {
            if (r.Engine()) r.Engine()->Stop();
        }),
        Procedure<R>("PageLimitReached", [](R& r) {
            if (r.Engine()) r.Engine()->SetPageLimitReached();
        }),
        Event("OnEndColumn", rpevEndColumn),
        Event("OnEndFirstPass", rpevEndFirstPass),
        Event("OnEndPage", rpevEndPage),
        Event("OnEndSecondPass", rpevEndSecondPass),
        Event("OnStartColumn", rpevStartColumn),
        Event("OnStartFirstPass", rpevStartFirstPass),
        Event("OnStartPage", rpevStartPage),
        Event("OnStartSecondPass", rpevStartSecondPass),
        Event("OnNoData", rpevNoData,
              {{"aDialog", rsClass}, {"aShowDialog", rsBoolean, true}, {"aDrawCommand", rsClass},
               {"aAddDrawCommand", rsBoolean, true}}),
        Event("OnPrintingComplete", rpevPrintingFinished),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpBandedReportRTTI, TrsTrpCustomReportRTTI, TrpBandedReport)

const TrsMemberTable& TrsTrpBandedReportRTTI::MemberTable() {
    using B = TrpBandedReport;
    auto groupCount = [](B& r) { return r.GroupCount(); };
    auto header = [](B& r, int i) { return r.GroupHeaderBand(i); };
    auto footer = [](B& r, int i) { return r.GroupFooterBand(i); };
    auto fixed = [](const char* name, TrpBandType kind) {
        return ClassProp<B>(name, TrpBand::StaticClassType(), [kind](B& r) { return r.GetBand(kind, 0); });
    };
    static const TrsMemberTable table{
        fixed("Title", btTitle),
        fixed("TitleBand", btTitle),
        fixed("Header", btHeader),
        fixed("HeaderBand", btHeader),
        fixed("ColumnHeader", btColumnHeader),
        fixed("ColumnHeaderBand", btColumnHeader),
        fixed("Detail", btDetail),
        fixed("DetailBand", btDetail),
        fixed("ColumnFooter", btColumnFooter),
        fixed("ColumnFooterBand", btColumnFooter),
        fixed("Footer", btFooter),
        fixed("FooterBand", btFooter),
        fixed("Summary", btSummary),
        fixed("SummaryBand", btSummary),
        Indexed<B>("GroupHeader", TrpGroupHeaderBand::StaticClassType(), groupCount, header),
        Indexed<B>("GroupHeaderBand", TrpGroupHeaderBand::StaticClassType(), groupCount, header),
        Indexed<B>("GroupFooter", TrpGroupFooterBand::StaticClassType(), groupCount, footer),
        Indexed<B>("GroupFooterBand", TrpGroupFooterBand::StaticClassType(), groupCount, footer),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpReportRTTI, TrsTrpBandedReportRTTI, TrpReport)

const TrsMemberTable& TrsTrpReportRTTI::MemberTable() {
    using R = TrpReport;
    static const TrsMemberTable table{
        Event("BeforeOpenDataPipelines", rpevReportBeginning),
        Event("AfterOpenDataPipelines", rpevPipelinesOpened),
        Event("BeforeAutoSearchDialogCreate", rpevBeforeAutoSearchDialogCreate),
        Event("AfterAutoSearchDialogCreate", 10),
        Event("OnAutoSearchDialogClose", 11),
        Event("OnGetAutoSearchValues", rpevGetAutoSearchValues),
        Event("OnInitializeParameters", rpevInitializeParameters, {{"aCancel", rsBoolean, true}}),
        Event("OnOutlineNodeCreate", 88,
              {{"NodeCreator", rsClass}, {"Node", rsClass}, {"Accept", rsBoolean, true}}),
        ClassProp<R>("ActiveReport", TrpCustomReport::StaticClassType(), [](R& r) { return &r; }),
        ClassProp<R>("AutoSearchDialog", TrpCustomAutoSearchDialog::StaticClassType(),
                     [](R& r) { return r.AutoSearchDialog(); }),
        ClassProp<R>("CacheManager", TrpCacheManager::StaticClassType(), [](R& r) { return r.CacheManager(); }),
        Prop<R>("AutoSearchDescription", rsString, [](R& r) { return r.AutoSearchDescription(); }),
        Prop<R>("AutoSearchFieldCount", rsInteger, [](R& r) { return r.AutoSearchFieldCount(); }),
        WProp<R, bool>(
            "CachePages", rsBoolean, [](R& r) { return r.CachePages(); },
            [](R& r, bool v) { r.SetCachePages(v); }),
        // Written by copying the list given into the report's own; none empties it.
        WClassProp<R, TrpParameterList*>(
            "Parameters", TrpParameterList::StaticClassType(), [](R& r) { return r.Parameters(); },
            [](R& r, TrpParameterList* v) { r.Parameters()->Assign(v); }),
        Indexed<R>("AutoSearchFields", TrpAutoSearchField::StaticClassType(),
                   [](R& r) { return r.AutoSearchFieldCount(); }, [](R& r, int i) { return r.AutoSearchFields(i); }),
        Method<R>("AutoSearchCriteriaByName",
                  {{"aDataPipelineName", rsString},
                   {"aFieldName", rsString},
                   {"Result", rsClass, false, TrpAutoSearchField::StaticClassType()}},
                  [](R& r, TrsParamList& list) {
                      TrsValue pipeline, field;
                      if (!list.GetParamValue(0, pipeline) || !list.GetParamValue(1, field)) return false;
                      TrpAutoSearchField* found = r.AutoSearchCriteriaByName(std::get<std::string>(pipeline),
                                                                             std::get<std::string>(field));
                      list.SetParamValue(2, TrsValue(std::in_place_type<TObject*>, found));
                      return true;
                  }),
        Method<R>("CreateAutoSearchCriteria",
                  {{"aDataPipelineName", rsString},
                   {"aFieldName", rsString},
                   {"aOperator", rsEnum, false, nullptr, "TrpSearchOperatorType"},
                   {"aExpression", rsString},
                   {"aMandatory", rsBoolean},
                   {"Result", rsClass, false, TrpAutoSearchField::StaticClassType()}},
                  [](R& r, TrsParamList& list) {
                      TrsValue args[5];
                      for (int i = 0; i < 5; ++i)
                          if (!list.GetParamValue(i, args[i])) return false;
                      const int32_t op = std::get<int32_t>(args[2]);
                      if (op < soEqual || op > soNotBlank) return false;
                      TrpAutoSearchField* made = r.CreateAutoSearchCriteria(
                          std::get<std::string>(args[0]), std::get<std::string>(args[1]),
                          static_cast<TrpSearchOperatorType>(op), std::get<std::string>(args[3]),
                          std::get<bool>(args[4]));
                      list.SetParamValue(5, TrsValue(std::in_place_type<TObject*>, made));
                      return true;
                  }),
        Method<R>("GetAutoSearchDescriptionLines", {{"aLines", rsClass, false, TStrings::StaticClassType()}},
                  [](R& r, TrsParamList& list) {
                      TrsValue lines;
                      if (!list.GetParamValue(0, lines)) return false;
                      auto* target = dynamic_cast<TStrings*>(std::get<TObject*>(lines));
                      if (target == nullptr) return false;
                      r.GetAutoSearchDescriptionLines(target);
                      return true;
                  }),
        Procedure<R>("DisplayAutoSearchDialog", [](R& r) { r.DisplayAutoSearchDialog(); }),
    };
    return table;
}

// ---------------------------------------------------------------------------
// Bands, groups, components

RP_TABLE_ADAPTER_BODY(TrsTrpBandRTTI, TrsTrpCacheableRTTI, TrpBand)

const TrsMemberTable& TrsTrpBandRTTI::MemberTable() {
    using B = TrpBand;
    static const TrsMemberTable table{
        WProp<B, std::string>(
            "Caption", rsString, [](B& b) { return b.Caption(); }, [](B& b, const std::string& v) { b.SetCaption(v); }),
        WProp<B, float>(
            "Height", rsSingle, [](B& b) { return b.Height(); }, [](B& b, float v) { b.SetHeight(v); }),
        Prop<B>("Index", rsInteger, [](B& b) { return b.IndexInReport(); }),
        Prop<B>("mmBottomOffset", rsInteger, [](B& b) { return b.mmBottomOffset(); }),
        Prop<B>("mmHeight", rsInteger, [](B& b) { return b.mmHeight(); }),
        Prop<B>("mmPrintPosition", rsInteger, [](B& b) { return b.mmPrintPosition(); }),
        Prop<B>("ObjectCount", rsInteger, [](B& b) { return b.ObjectCount(); }),
        WEnumProp<B, TrpPrintHeightType>(
            "PrintHeight", "TrpPrintHeightType", [](B& b) { return b.PrintHeight(); },
            [](B& b, TrpPrintHeightType v) { b.SetPrintHeight(v); }),
        Prop<B>("Rank", rsString, [](B& b) { return b.GetRank(); }),
        WClassProp<B, TrpCustomReport*>(
            "Report", TrpCustomReport::StaticClassType(), [](B& b) { return b.Report(); },
            [](B& b, TrpCustomReport* v) { b.SetReport(v); }),
        WProp<B, bool>(
            "Save", rsBoolean, [](B& b) { return b.Save(); }, [](B& b, bool v) { b.SetSave(v); }),
        Prop<B>("SaveCount", rsInteger, [](B& b) { return b.SaveCount(); }),
        Prop<B>("spHeight", rsInteger, [](B& b) { return rsScreenPixels(b.mmHeight()); }),
        EnumProp<B>("Units", "TrpUnitType", [](B& b) { return b.Units(); }),
        Prop<B>("VariableCount", rsInteger, [](B& b) { return b.VariableCount(); }),
        WProp<B, bool>(
            "Visible", rsBoolean, [](B& b) { return b.Visible(); }, [](B& b, bool v) { b.SetVisible(v); }),
        Indexed<B>("Objects", TrpComponent::StaticClassType(), [](B& b) { return b.ObjectCount(); },
                   [](B& b, int i) { return b.Objects(i); }),
        Indexed<B>("Saves", TrpComponent::StaticClassType(), [](B& b) { return b.SaveCount(); },
                   [](B& b, int i) { return b.Saves(i); }),
        Indexed<B>("Variables", TrpComponent::StaticClassType(), [](B& b) { return b.VariableCount(); },
                   [](B& b, int i) { return b.Variables(i); }),
        Event("AfterPrint", rpevAfterPrint),
        Event("BeforePrint", rpevBeforePrint),
        Event("AfterGenerate", rpevAfterGenerate),
        Event("BeforeGenerate", rpevBeforeGenerate),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpGroupRTTI, TrsTrpCacheableRTTI, TrpGroup)

const TrsMemberTable& TrsTrpGroupRTTI::MemberTable() {
    using G = TrpGroup;
    static const TrsMemberTable table{
        ClassProp<G>("BreakComponent", TrpComponent::StaticClassType(), [](G& g) { return g.BreakComponent(); }),
        Prop<G>("Breaking", rsBoolean, [](G& g) { return g.BreakPending(); }),
        Prop<G>("BreakNo", rsInteger, [](G& g) { return g.GroupInstance(); }),
        Prop<G>("Description", rsString, [](G& g) { return g.GetDescription(); }),
        Prop<G>("FirstPage", rsBoolean, [](G& g) { return g.IsFirstPage(); }),
        Prop<G>("FirstPageNo", rsInteger, [](G& g) { return g.FirstPage(); }),
        ClassProp<G>("FooterBand", TrpGroupFooterBand::StaticClassType(), [](G& g) { return g.FooterBand(); }),
        Prop<G>("GroupNo", rsInteger, [](G& g) { return g.GroupIndex(); }),
        ClassProp<G>("HeaderBand", TrpGroupHeaderBand::StaticClassType(), [](G& g) { return g.HeaderBand(); }),
        Prop<G>("Index", rsInteger, [](G& g) { return g.GroupIndex(); }),
        Prop<G>("KeptTogether", rsBoolean, [](G& g) { return g.KeptTogetherDone(); }),
        Prop<G>("LastPageNo", rsInteger, [](G& g) { return g.LastPage(); }),
        Prop<G>("mmNewColumnThreshold", rsInteger, [](G& g) { return g.mmNewColumnThreshold(); }),
        Prop<G>("mmNewPageThreshold", rsInteger, [](G& g) { return g.mmNewPageThreshold(); }),
        Prop<G>("PageNo", rsInteger, [](G& g) { return g.GroupPageNo(); }),
        Prop<G>("PageCount", rsInteger, [](G& g) { return g.GroupPageCount(); }),
        WClassProp<G, TrpCustomReport*>(
            "Report", TrpCustomReport::StaticClassType(), [](G& g) { return g.Report(); },
            [](G& g, TrpCustomReport* v) { g.SetReport(v); }),
        EnumProp<G>("Units", "TrpUnitType", [](G& g) { return g.Units(); }),
        Event("AfterGroupBreak", rpevAfterGroupBreak),
        Event("BeforeGroupBreak", rpevBeforeGroupBreak),
        Event("BeforeHeader", rpevGroupHeaderBand),
        Event("BeforeFooter", rpevGroupFooterBand),
        Event("OnGetBreakValue", rpevGetBreakValue, {{"BreakValue", rsString, true}}),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpPrintableRTTI, TrsTrpCacheableRTTI, TrpPrintable)

const TrsMemberTable& TrsTrpPrintableRTTI::MemberTable() {
    using P = TrpPrintable;
    // A length in thousandths of a millimetre, in Units, and in screen
    // pixels, each written through the setter of its own unit.
    using MM = int32_t (P::*)() const;
    using SetMM = void (P::*)(int32_t);
    using InUnits = float (P::*)() const;
    using SetInUnits = void (P::*)(float);
    auto mm = [](const char* Name, MM Get, SetMM Set) {
        return WProp<P, int32_t>(
            Name, rsInteger, [Get](P& p) { return (p.*Get)(); }, [Set](P& p, int32_t v) { (p.*Set)(v); });
    };
    auto inUnits = [](const char* Name, InUnits Get, SetInUnits Set) {
        return WProp<P, float>(
            Name, rsSingle, [Get](P& p) { return (p.*Get)(); }, [Set](P& p, float v) { (p.*Set)(v); });
    };
    // Index of the side in (left, top, width, height).
    auto sp = [](const char* Name, int Side) {
        return WProp<P, int32_t>(
            Name, rsInteger,
            [Side](P& p) {
                const int32_t bounds[] = {p.spLeft(), p.spTop(), p.spWidth(), p.spHeight()};
                return bounds[Side];
            },
            [Side](P& p, int32_t v) {
                int32_t bounds[] = {p.spLeft(), p.spTop(), p.spWidth(), p.spHeight()};
                bounds[Side] = v;
                p.SetspBounds(bounds[0], bounds[1], bounds[2], bounds[3]);
            });
    };
    auto flag = [](const char* Name, bool (P::*Get)() const) {
        return Prop<P>(Name, rsBoolean, [Get](P& p) { return (p.*Get)(); });
    };
    static const TrsMemberTable table{
        mm("mmLeft", &P::mmLeft, &P::SetmmLeft),
        mm("mmTop", &P::mmTop, &P::SetmmTop),
        mm("mmWidth", &P::mmWidth, &P::SetmmWidth),
        mm("mmHeight", &P::mmHeight, &P::SetmmHeight),
        inUnits("Left", &P::Left, &P::SetLeft),
        inUnits("Top", &P::Top, &P::SetTop),
        inUnits("Width", &P::Width, &P::SetWidth),
        inUnits("Height", &P::Height, &P::SetHeight),
        sp("spLeft", 0),
        sp("spTop", 1),
        sp("spWidth", 2),
        sp("spHeight", 3),
        Prop<P>("DefaultPropHint", rsString, [](P& p) { return p.GetDefaultPropHint(); }),
        Prop<P>("DefaultPropName", rsString, [](P& p) { return p.DefaultPropName(); }),
        Prop<P>("Description", rsString, [](P& p) { return p.GetDescription(); }),
        flag("DrawComponent", &P::DrawComponent),
        flag("GenerationComplete", &P::GenerationComplete),
        flag("OutOfSpace", &P::OutOfSpace),
        flag("OverFlow", &P::OverFlow),
        Prop<P>("SpaceUsed", rsInteger, [](P& p) { return p.SpaceUsed(); }),
        WProp<P, bool>(
            "ShiftWithParent", rsBoolean, [](P& p) { return p.ShiftWithParent(); },
            [](P& p, bool v) { p.SetShiftWithParent(v); }),
        WProp<P, std::string>(
            "Text", rsString, [](P& p) { return p.GetText(); }, [](P& p, const std::string& v) { p.SetText(v); }),
        Event("OnPrint", rpevOnPrint),
        Event("OnDrawCommandCreate", rpevDrawCommandCreate,
              {{"aDrawCommand", rsClass, false, TrpDrawCommand::StaticClassType()}}),
        Event("OnDrawCommandClick", rpevDrawCommandClick,
              {{"aDrawCommand", rsClass, false, TrpDrawCommand::StaticClassType()}}),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpComponentRTTI, TrsTrpPrintableRTTI, TrpComponent)

const TrsMemberTable& TrsTrpComponentRTTI::MemberTable() {
    using C = TrpComponent;
    static const TrsMemberTable table{
        WClassProp<C, TrpBand*>(
            "Band", TrpBand::StaticClassType(), [](C& c) { return c.Band(); },
            [](C& c, TrpBand* v) { c.SetBand(v); }),
        EnumProp<C>("BandType", "TrpBandType", [](C& c) { return c.BandType(); }),
        Prop<C>("GroupNo", rsInteger, [](C& c) { return c.GroupNo(); }),
        WProp<C, bool>(
            "ParentDataPipeline", rsBoolean, [](C& c) { return c.ParentDataPipeline(); },
            [](C& c, bool v) { c.SetParentDataPipeline(v); }),
        WClassProp<C, TrpGroup*>(
            "ResetGroup", TrpGroup::StaticClassType(), [](C& c) { return c.ResetGroup(); },
            [](C& c, TrpGroup* v) { c.SetResetGroup(v); }),
        AnchorRow(kAnchorNames[0]),
        AnchorRow(kAnchorNames[1]),
        AnchorRow(kAnchorNames[2]),
        AnchorRow(kAnchorNames[3]),
        AnchorRow(kAnchorNames[4]),
        AnchorRow(kAnchorNames[5]),
        AnchorRow(kAnchorNames[6]),
        AnchorRow(kAnchorNames[7]),
        AnchorRow(kAnchorNames[8]),
    };
    return table;
}

// ---------------------------------------------------------------------------
// Pipelines and fields

RP_TABLE_ADAPTER_BODY(TrsTrpFieldRTTI, TrsTrpRelativeRTTI, TrpField)

const TrsMemberTable& TrsTrpFieldRTTI::MemberTable() {
    using F = TrpField;
    static const TrsMemberTable table{
        Prop<F>("AsDouble", rsDouble, [](F& f) { return f.AsDouble(); }),
        Prop<F>("AsString", rsString, [](F& f) { return f.AsString(); }),
        Prop<F>("IsNull", rsBoolean, [](F& f) { return f.IsNull(); }),
        ClassProp<F>("DataPipeline", TrpDataPipeline::StaticClassType(), [](F& f) { return f.DataPipeline(); }),
        Prop<F>("Value", rsVariant, [](F& f) { return f.Value(); }),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpDataPipelineRTTI, TrsTrpRelativeRTTI, TrpDataPipeline)

const TrsMemberTable& TrsTrpDataPipelineRTTI::MemberTable() {
    using D = TrpDataPipeline;
    using CD = TrpCustomDataPipeline;
    auto state = [](std::uint8_t flag) { return [flag](D& d) { return (d.States() & flag) != 0; }; };
    static const TrsMemberTable table{
        Prop<D>("Active", rsBoolean, [](D& d) { return d.Active(); }),
        Prop<D>("BOF", rsBoolean, [](D& d) { return d.Bof(); }),
        Prop<D>("EOF", rsBoolean, [](D& d) { return d.Eof(); }),
        Prop<D>("DataTraversed", rsBoolean, [](D& d) { return d.DataTraversed(); }),
        Prop<D>("FirstRecord", rsBoolean, state(rppsFirstRecord)),
        Prop<D>("LastRecord", rsBoolean, state(rppsLastRecord)),
        Prop<D>("NoRecords", rsBoolean, state(rppsNoRecords)),
        WProp<D, bool>(
            "SkipWhenNoRecords", rsBoolean, [](D& d) { return d.SkipWhenNoRecords(); },
            [](D& d, bool v) { d.SetSkipWhenNoRecords(v); }),
        WProp<D, bool>(
            "Visible", rsBoolean, [](D& d) { return d.Visible(); }, [](D& d, bool v) { d.SetVisible(v); }),
        Prop<D>("TraversalCount", rsInteger, [](D& d) { return d.TraversalCount(); }),
        Prop<CD>("FieldCount", rsInteger, [](CD& d) { return d.FieldCount(); }),
        Prop<CD>("LinkCount", rsInteger, [](CD& d) { return d.LinkCount(); }),
        ClassProp<CD>("CurrentField", TrpField::StaticClassType(), [](CD& d) { return d.CurrentField(); }),
        ClassProp<D>("DataView", TComponent::StaticClassType(), [](D&) { return static_cast<TObject*>(nullptr); }),
        ClassProp<D>("MasterDataPipeline", TrpDataPipeline::StaticClassType(),
                     [](D& d) { return d.MasterDataPipeline(); }),
        Method<CD>("AddLink",
                   {{"MasterPipeline", rsClass, false, TrpDataPipeline::StaticClassType()},
                    {"MasterFieldAlias", rsString},
                    {"DetailFieldAlias", rsString},
                    {"Result", rsClass, false, TrpMasterFieldLink::StaticClassType()}},
                   [](CD& d, TrsParamList& list) {
                       TrsValue master, masterAlias, detailAlias;
                       if (!list.GetParamValue(0, master) || !list.GetParamValue(1, masterAlias) ||
                           !list.GetParamValue(2, detailAlias))
                           return false;
                       auto* m = dynamic_cast<TrpDataPipeline*>(std::get<TObject*>(master));
                       TrpMasterFieldLink* link = d.AddLink(m, std::get<std::string>(masterAlias),
                                                            std::get<std::string>(detailAlias));
                       list.SetParamValue(3, TrsValue(std::in_place_type<TObject*>, link));
                       return true;
                   }),
        Method<D>("IsLinked", {{"Result", rsBoolean}},
                  [](D& d, TrsParamList& list) {
                      list.SetParamValue(0, d.IsLinked());
                      return true;
                  }),
        Procedure<CD>("FreeLinks", [](CD& d) { d.FreeLinks(); }),
        Method<D>("GetFieldValue", {{"FieldName", rsString}, {"Result", rsVariant}},
                  [](D& d, TrsParamList& list) {
                      TrsValue name;
                      if (!list.GetParamValue(0, name)) return false;
                      list.SetParamValue(1, d.GetFieldValue(std::get<std::string>(name)));
                      return true;
                  }),
        Method<D>("FieldValues", {{"FieldName", rsString}, {"Result", rsVariant}},
                  [](D& d, TrsParamList& list) {
                      TrsValue name;
                      if (!list.GetParamValue(0, name)) return false;
                      list.SetParamValue(1, d.GetFieldValue(std::get<std::string>(name)));
                      return true;
                  }),
        Method<CD>("FieldObjects",
                   {{"FieldName", rsString}, {"Result", rsClass, false, TrpField::StaticClassType()}},
                   [](CD& d, TrsParamList& list) {
                       TrsValue name;
                       if (!list.GetParamValue(0, name)) return false;
                       TrpField* found = nullptr;
                       for (int i = 0; i < d.FieldCount() && found == nullptr; ++i)
                           if (SameText(d.Fields(i)->FieldAlias(), std::get<std::string>(name))) found = d.Fields(i);
                       list.SetParamValue(1, TrsValue(std::in_place_type<TObject*>, found));
                       return true;
                   }),
        Indexed<CD>("Fields", TrpField::StaticClassType(), [](CD& d) { return d.FieldCount(); },
                    [](CD& d, int i) { return d.Fields(i); }),
        Indexed<CD>("Links", TrpMasterFieldLink::StaticClassType(), [](CD& d) { return d.LinkCount(); },
                    [](CD& d, int i) { return d.Links(i); }),
        Event("AfterClose", rpevAfterClose),
        Event("AfterOpen", rpevAfterOpen),
        Event("BeforeClose", rpevBeforeClose),
        Event("BeforeOpen", rpevBeforeOpen),
        Event("OnRecordPositionChange", rpevRecordPositionChange),
        Event("OnMasterRecordPositionChange", rpevMasterRecordPositionChange),
        Event("OnTraversal", rpevTraversal),
        Event("OnGotoBookmark", rpevGotoBookmark),
        Event("OnDataChange", rpevDataChange),
        Event("OnFirst", rpevFirst),
        Event("OnNext", rpevNext),
        Event("OnPrior", rpevPrior),
        Event("OnLast", rpevLast),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpDBPipelineRTTI, TrsTrpDataPipelineRTTI, TrpDBPipeline)

const TrsMemberTable& TrsTrpDBPipelineRTTI::MemberTable() {
    using D = TrpDBPipeline;
    static const TrsMemberTable table{
        WProp<D, bool>(
            "AutoCreateFields", rsBoolean, [](D& d) { return d.AutoCreateFields(); },
            [](D& d, bool v) { d.SetAutoCreateFields(v); }),
        WProp<D, int32_t>(
            "MoveBy", rsInteger, [](D& d) { return d.MoveBy(); }, [](D& d, int32_t v) { d.SetMoveBy(v); }),
        WEnumProp<D, TrpRangeBeginType>(
            "RangeBegin", "TrpRangeBeginType", [](D& d) { return d.RangeBegin(); },
            [](D& d, TrpRangeBeginType v) { d.SetRangeBegin(v); }),
        WEnumProp<D, TrpRangeEndType>(
            "RangeEnd", "TrpRangeEndType", [](D& d) { return d.RangeEnd(); },
            [](D& d, TrpRangeEndType v) { d.SetRangeEnd(v); }),
        WProp<D, int32_t>(
            "RangeEndCount", rsInteger, [](D& d) { return d.RangeEndCount(); },
            [](D& d, int32_t v) { d.SetRangeEndCount(v); }),
        ClassProp<D>("SQL", nullptr, [](D&) { return static_cast<TObject*>(nullptr); }),
    };
    return table;
}

namespace report {

namespace {

const std::vector<TrsRTTIClass>& ModelAdapters() {
    static const std::vector<TrsRTTIClass> adapters{
        TrsTrpCommunicatorRTTI::Instance(), TrsTrpCacheableRTTI::Instance(),  TrsTrpProducerRTTI::Instance(),
        TrsTrpCustomReportRTTI::Instance(), TrsTrpBandedReportRTTI::Instance(), TrsTrpReportRTTI::Instance(),
        TrsTrpBandRTTI::Instance(),         TrsTrpGroupRTTI::Instance(),      TrsTrpPrintableRTTI::Instance(),
        TrsTrpComponentRTTI::Instance(),
        TrsTrpFieldRTTI::Instance(),        TrsTrpDataPipelineRTTI::Instance(), TrsTrpDBPipelineRTTI::Instance(),
    };
    return adapters;
}

}  // namespace

void RegisterModelAdapters() { RegisterRTTIClasses(ModelAdapters()); }

void UnregisterModelAdapters() { UnregisterRTTIClasses(ModelAdapters()); }

}  // namespace report
