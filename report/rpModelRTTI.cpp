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
#include "report/rpRegion.h"
#include "report/rpReport.h"
#include "report/rpSettings.h"
#include "report/rpUnits.h"

using namespace rstable;

int32_t rsScreenPixels(int32_t mm) {
    return static_cast<int32_t>(rpRoundHalfEven(rpFromMMThousandths(mm, utScreenPixels, 1, nullptr)));
}

int32_t rsFromScreenPixels(int32_t Pixels) {
    return rpToMMThousandths(utScreenPixels, 1, nullptr, static_cast<float>(Pixels));
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

// The band that ends the report: its last summary band, else its last
// group footer (the outermost group's), else its last detail band.
bool IsLastBand(const TrpBand& Band) {
    TrpCustomReport* r = Band.Report();
    if (r == nullptr) return false;
    for (TrpBandType kind : {btSummary, btGroupFooter, btDetail}) {
        const TrpBand* last = nullptr;
        for (int i = 0; i < r->BandCount(); ++i)
            if (r->Bands(i)->Kind() == kind) last = r->Bands(i);
        if (last != nullptr) return last == &Band;
    }
    return false;
}

// The order a component is drawn in: its place among its region's or its
// band's objects, -1 outside both.
int32_t ParentIndexOf(const TrpComponent& c) {
    if (auto* region = dynamic_cast<TrpCustomRegion*>(c.ParentRegion())) return region->IndexOfObject(&c);
    return c.IndexInBand();
}

TObject* ParentOf(const TrpComponent& c) {
    if (c.ParentRegion() != nullptr) return c.ParentRegion();
    return c.Band();
}

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

RP_TABLE_ADAPTER_BODY(TrsTrpCacheableRTTI, TrsTrpRelativeRTTI, TrpCacheable)

const TrsMemberTable& TrsTrpCacheableRTTI::MemberTable() {
    static const TrsMemberTable table{
        Prop<TrpCacheable>("CacheCount", rsInteger, &TrpCacheable::CacheCount),
        Prop<TrpCacheable>("CachePageCount", rsInteger, &TrpCacheable::CachePageCount),
        Prop<TrpCacheable>("CachePosition", rsInteger, &TrpCacheable::CachePosition),
        Prop<TrpCacheable>("CacheRecordSize", rsInteger, &TrpCacheable::CacheRecordSize),
        ClassProp<TrpCacheable>("CacheStream", TStream::StaticClassType(), &TrpCacheable::CacheStream),
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
        ClassProp<P>("FileDevice", TrpDevice::StaticClassType(), &P::FileDevice),
        ClassProp<P>("PreviewForm", nullptr, [](P& p) { return static_cast<TObject*>(p.PreviewForm()); }),
        ClassProp<P>("PrinterSetup", TrpPrinterSetup::StaticClassType(), &P::PrinterSetup),
        ClassProp<P>("Printer", nullptr, &P::GetPrinter),
        ClassProp<P>("PrintDialog", nullptr, [](P& p) { return static_cast<TObject*>(p.PrintDialog()); }),
        ClassProp<P>("PrinterDevice", TrpDevice::StaticClassType(), &P::PrinterDevice),
        ClassProp<P>("Publisher", TrpPublisher::StaticClassType(), &P::Publisher),
        ClassProp<P>("Icon", TIcon::StaticClassType(), &P::Icon),
        WProp<P, bool>("ShowAutoSearchDialog", rsBoolean, &P::ShowAutoSearchDialog, &P::SetShowAutoSearchDialog),
        Prop<P>("Converted", rsBoolean, &P::Converted),
        Prop<P>("ConvertedFromPre40", rsBoolean, &P::ConvertedFromPre40),
        Prop<P>("EnableProcessMessages", rsBoolean, &P::EnableProcessMessages),
        Prop<P>("Printing", rsBoolean, &P::Printing),
        Prop<P>("Producing", rsBoolean, &P::Producing),
        Prop<P>("CurrentPage", rsInteger, &P::CurrentPage),
        Prop<P>("LanguageIndex", rsInteger, &P::LanguageIndex),
        Prop<P>("VersionNo", rsInteger, &P::VersionNo),
        Prop<P>("Version", rsString, &P::Version),
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
        Prop<R>("AbsolutePageCount", rsInteger, [](R& r) { return r.Engine() ? r.Engine()->AbsolutePageCount() : 0; }),
        Prop<R>("BandCount", rsInteger, &R::BandCount),
        Prop<R>("CurrentColumn", rsInteger, [](R& r) { return EngineOf(r) ? EngineOf(r)->CurrentColumn() : 0; }),
        Prop<R>("DonePrinting", rsBoolean, [](R& r) { return EngineOf(r) ? EngineOf(r)->ReportComplete() : false; }),
        ClassProp<R>("Engine", TrpCustomEngine::StaticClassType(), &R::Engine),
        Prop<R>("FirstPass", rsBoolean, [](R& r) { return EngineOf(r) ? !EngineOf(r)->SecondPass() : false; }),
        Prop<R>("GroupCount", rsInteger, &R::GroupCount),
        ClassProp<R>("MainReport", TrpCustomReport::StaticClassType(), &R::GetMainReport),
        Prop<R>("mmColumnWidth", rsInteger, &R::mmColumnWidth),
        // Stored by name; a class that publishes it answers through its metadata.
        Yielding(WClassProp<R, TrpDataPipeline*>("DataPipeline", TrpDataPipeline::StaticClassType(),
                                                 &R::DataPipeline, &R::SetDataPipeline)),
        Prop<R>("Modified", rsBoolean, &R::Modified),
        Prop<R>("Page", rsInteger, pageNo),
        Prop<R>("PageNo", rsInteger, pageNo),
        Prop<R>("PageCount", rsInteger, [](R& r) { return PageCountOf(r); }),
        Prop<R>("PageBandCount", rsInteger, [](R& r) { return EngineOf(r) ? EngineOf(r)->PageBandCount() : 0; }),
        // No designer is ever attached here.
        ClassProp<R>("ReportDesigner", nullptr, [](R&) { return static_cast<TObject*>(nullptr); }),
        ClassProp<R>("ParentReport", TrpCustomReport::StaticClassType(), &R::ParentReport),
        Prop<R>("PrintDateTime", rsDateTime,
                [](R& r) { return EngineOf(r) ? static_cast<double>(EngineOf(r)->PrintDateTime()) : 0.0; }),
        Prop<R>("PrintingAsSubReport", rsBoolean, &R::PrintingAsSubReport),
        Prop<R>("ReportBandCount", rsInteger, [](R& r) { return EngineOf(r) ? EngineOf(r)->ReportBandCount() : 0; }),
        Prop<R>("SecondPass", rsBoolean, [](R& r) { return EngineOf(r) ? EngineOf(r)->SecondPass() : false; }),
        Prop<R>("spColumnWidth", rsInteger, [](R& r) { return rsScreenPixels(r.mmColumnWidth()); }),
        Indexed<R>("Bands", TrpBand::StaticClassType(), &R::BandCount, [](R& r, int i) { return r.Bands(i); }),
        Indexed<R>("Groups", TrpGroup::StaticClassType(), &R::GroupCount, [](R& r, int i) { return r.Groups(i); }),
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
        Procedure<R>("Stop",
                     [](R& r) {
                         if (r.Engine()) r.Engine()->Stop();
                     }),
        Procedure<R>("PageLimitReached",
                     [](R& r) {
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
              {{"aDialog", rsClass},
               {"aShowDialog", rsBoolean, true},
               {"aDrawCommand", rsClass},
               {"aAddDrawCommand", rsBoolean, true}}),
        Event("OnPrintingComplete", rpevPrintingFinished),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpBandedReportRTTI, TrsTrpCustomReportRTTI, TrpBandedReport)

const TrsMemberTable& TrsTrpBandedReportRTTI::MemberTable() {
    using B = TrpBandedReport;
    auto groupCount = &B::GroupCount;
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
        Event("OnOutlineNodeCreate", 88, {{"NodeCreator", rsClass}, {"Node", rsClass}, {"Accept", rsBoolean, true}}),
        ClassProp<R>("ActiveReport", TrpCustomReport::StaticClassType(), [](R& r) { return &r; }),
        ClassProp<R>("AutoSearchDialog", TrpCustomAutoSearchDialog::StaticClassType(), &R::AutoSearchDialog),
        ClassProp<R>("CacheManager", TrpCacheManager::StaticClassType(), &R::CacheManager),
        Prop<R>("AutoSearchDescription", rsString, &R::AutoSearchDescription),
        Prop<R>("AutoSearchFieldCount", rsInteger, &R::AutoSearchFieldCount),
        WProp<R, bool>("CachePages", rsBoolean, &R::CachePages, &R::SetCachePages),
        // Written by copying the list given into the report's own; none empties it.
        WClassProp<R, TrpParameterList*>("Parameters", TrpParameterList::StaticClassType(), &R::Parameters,
                                         [](R& r, TrpParameterList* v) { r.Parameters()->Assign(v); }),
        Indexed<R>("AutoSearchFields", TrpAutoSearchField::StaticClassType(), &R::AutoSearchFieldCount,
                   [](R& r, int i) { return r.AutoSearchFields(i); }),
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
        WProp<B, std::string>("Caption", rsString, &B::Caption, &B::SetCaption),
        WProp<B, int32_t>("CaptionIndex", rsInteger, &B::CaptionIndex, &B::SetCaptionIndex),
        WProp<B, bool>("DrawPage", rsBoolean, &B::DrawPage, &B::SetDrawPage),
        WProp<B, float>("Height", rsSingle, &B::Height, &B::SetHeight),
        Prop<B>("Index", rsInteger, &B::IndexInReport),
        Prop<B>("LastBand", rsBoolean, [](B& b) { return IsLastBand(b); }),
        Prop<B>("mmBottomOffset", rsInteger, &B::mmBottomOffset),
        Prop<B>("mmHeight", rsInteger, &B::mmHeight),
        Prop<B>("mmPrintPosition", rsInteger, &B::mmPrintPosition),
        Prop<B>("mmTop", rsInteger, &B::RecordedTop),
        Prop<B>("mmWidth", rsInteger, &B::AvailableWidth),
        Prop<B>("ObjectCount", rsInteger, &B::ObjectCount),
        WEnumProp<B, TrpPrintHeightType>("PrintHeight", "TrpPrintHeightType", &B::PrintHeight, &B::SetPrintHeight),
        Prop<B>("Rank", rsString, &B::GetRank),
        WClassProp<B, TrpCustomReport*>("Report", TrpCustomReport::StaticClassType(), &B::Report, &B::SetReport),
        WProp<B, bool>("Save", rsBoolean, &B::Save, &B::SetSave),
        Prop<B>("SaveCount", rsInteger, &B::SaveCount),
        WProp<B, int32_t>(
            "spHeight", rsInteger, [](B& b) { return rsScreenPixels(b.mmHeight()); },
            [](B& b, int32_t v) { b.SetmmHeight(rsFromScreenPixels(v)); }),
        WProp<B, int32_t>(
            "spTop", rsInteger, [](B& b) { return rsScreenPixels(b.RecordedTop()); },
            [](B& b, int32_t v) { b.SetRecordedTop(rsFromScreenPixels(v)); }),
        Prop<B>("spWidth", rsInteger, [](B& b) { return rsScreenPixels(b.AvailableWidth()); }),
        EnumProp<B>("Units", "TrpUnitType", &B::Units),
        Prop<B>("VariableCount", rsInteger, &B::VariableCount),
        WProp<B, bool>("Visible", rsBoolean, &B::Visible, &B::SetVisible),
        Indexed<B>("Objects", TrpComponent::StaticClassType(), &B::ObjectCount,
                   [](B& b, int i) { return b.Objects(i); }),
        Indexed<B>("Saves", TrpComponent::StaticClassType(), &B::SaveCount, [](B& b, int i) { return b.Saves(i); }),
        Indexed<B>("Variables", TrpComponent::StaticClassType(), &B::VariableCount,
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
        ClassProp<G>("BreakComponent", TrpComponent::StaticClassType(), &G::BreakComponent),
        Prop<G>("Breaking", rsBoolean, &G::BreakPending),
        Yielding(WClassProp<G, TrpDataPipeline*>("DataPipeline", TrpDataPipeline::StaticClassType(),
                                                 &G::DataPipeline, &G::SetDataPipeline)),
        Prop<G>("BreakNo", rsInteger, &G::GroupInstance),
        Prop<G>("BreakValue", rsString, [](G& g) { return g.BreakValue(); }),
        Prop<G>("CurrentValue", rsString, &G::CurrentValue),
        Prop<G>("FirstColumn", rsInteger, &G::StartColumn),
        Prop<G>("Description", rsString, &G::GetDescription),
        Prop<G>("FirstPage", rsBoolean, &G::IsFirstPage),
        Prop<G>("FirstPageNo", rsInteger, &G::FirstPage),
        ClassProp<G>("FooterBand", TrpGroupFooterBand::StaticClassType(), &G::FooterBand),
        Prop<G>("GroupNo", rsInteger, &G::GroupIndex),
        ClassProp<G>("HeaderBand", TrpGroupHeaderBand::StaticClassType(), &G::HeaderBand),
        Prop<G>("Index", rsInteger, &G::GroupIndex),
        Prop<G>("KeptTogether", rsBoolean, &G::KeptTogetherDone),
        Prop<G>("LastPageNo", rsInteger, &G::LastPage),
        Prop<G>("mmNewColumnThreshold", rsInteger, &G::mmNewColumnThreshold),
        Prop<G>("mmNewPageThreshold", rsInteger, &G::mmNewPageThreshold),
        // Read-only here, unlike a relative's.
        Prop<G>("Position", rsInteger, &G::Position),
        Prop<G>("PageNo", rsInteger, &G::GroupPageNo),
        Prop<G>("PageCount", rsInteger, &G::GroupPageCount),
        Prop<G>("PriorValue", rsString, [](G& g) { return g.PriorValue(); }),
        WClassProp<G, TrpCustomReport*>("Report", TrpCustomReport::StaticClassType(), &G::Report, &G::SetReport),
        EnumProp<G>("Units", "TrpUnitType", &G::Units),
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
    // A length in thousandths of a millimetre, in Units and in screen pixels
    // is written through the setter of its own unit; the screen pixels move
    // one side (left, top, width, height) of the bounds.
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
    static const TrsMemberTable table{
        WProp<P, int32_t>("mmLeft", rsInteger, &P::mmLeft, &P::SetmmLeft),
        WProp<P, int32_t>("mmTop", rsInteger, &P::mmTop, &P::SetmmTop),
        WProp<P, int32_t>("mmWidth", rsInteger, &P::mmWidth, &P::SetmmWidth),
        WProp<P, int32_t>("mmHeight", rsInteger, &P::mmHeight, &P::SetmmHeight),
        WProp<P, float>("Left", rsSingle, &P::Left, &P::SetLeft),
        WProp<P, float>("Top", rsSingle, &P::Top, &P::SetTop),
        WProp<P, float>("Width", rsSingle, &P::Width, &P::SetWidth),
        WProp<P, float>("Height", rsSingle, &P::Height, &P::SetHeight),
        sp("spLeft", 0),
        sp("spTop", 1),
        sp("spWidth", 2),
        sp("spHeight", 3),
        Prop<P>("DefaultPropHint", rsString, &P::GetDefaultPropHint),
        Prop<P>("DefaultPropName", rsString, &P::DefaultPropName),
        EnumProp<P>("DefaultPropEditType", "TrpPropEditType", &P::DefaultPropEditType),
        ClassProp<P>("LookupPipeline", TrpDataPipeline::StaticClassType(), &P::GetDataPipeline),
        // A component's place in its band's drawing order (0 at the back);
        // writing moves it there. -1 off a band.
        WProp<P, int32_t>(
            "ZOrder", rsInteger,
            [](P& p) {
                auto* c = dynamic_cast<TrpComponent*>(&p);
                return c != nullptr ? c->IndexInBand() : -1;
            },
            [](P& p, int32_t v) {
                auto* c = dynamic_cast<TrpComponent*>(&p);
                if (c == nullptr || c->Band() == nullptr || v < 0) return false;
                c->Band()->MoveObject(c->IndexInBand(), v);
                return true;
            }),
        Prop<P>("Description", rsString, &P::GetDescription),
        Prop<P>("DrawComponent", rsBoolean, &P::DrawComponent),
        Prop<P>("GenerationComplete", rsBoolean, &P::GenerationComplete),
        Prop<P>("OutOfSpace", rsBoolean, &P::OutOfSpace),
        Prop<P>("OverFlow", rsBoolean, &P::OverFlow),
        Prop<P>("SpaceUsed", rsInteger, &P::SpaceUsed),
        WProp<P, bool>("ShiftWithParent", rsBoolean, &P::ShiftWithParent, &P::SetShiftWithParent),
        WProp<P, std::string>("Text", rsString, &P::GetText, &P::SetText),
        // Every printable answers these, whether or not its class publishes
        // them; a class that publishes one answers through its metadata.
        Yielding(WEnumProp<P, TAlignment>("Alignment", "TAlignment", &P::Alignment, &P::SetAlignment)),
        Yielding(WProp<P, bool>("AutoSize", rsBoolean, &P::AutoSize, &P::SetAutoSize)),
        Yielding(WProp<P, std::string>("Caption", rsString, &P::Caption, &P::SetCaption)),
        Yielding(WProp<P, std::string>("DataField", rsString, &P::DataField, &P::SetDataField)),
        Yielding(WClassProp<P, TrpDataPipeline*>("DataPipeline", TrpDataPipeline::StaticClassType(),
                                                  &P::GetDataPipeline, &P::SetDataPipeline)),
        Yielding(ClassProp<P>("Font", TrpFont::StaticClassType(), &P::Font)),
        Yielding(WProp<P, bool>("ParentHeight", rsBoolean, &P::ParentHeight, &P::SetParentHeight)),
        Yielding(WProp<P, bool>("ParentWidth", rsBoolean, &P::ParentWidth, &P::SetParentWidth)),
        Yielding(WProp<P, bool>("ReprintOnOverFlow", rsBoolean, &P::ReprintOnOverFlow, &P::SetReprintOnOverFlow)),
        Yielding(WProp<P, bool>("ResetOnCompute", rsBoolean, &P::ResetOnCompute, &P::SetResetOnCompute)),
        Yielding(WProp<P, bool>("StretchWithParent", rsBoolean, &P::StretchWithParent, &P::SetStretchWithParent)),
        Yielding(WEnumProp<P, TrpUnitType>("Units", "TrpUnitType", &P::Units, &P::SetUnits)),
        Yielding(WProp<P, bool>("Visible", rsBoolean, &P::Visible, &P::SetVisible)),
        Yielding(WProp<P, bool>("WordWrap", rsBoolean, &P::WordWrap, &P::SetWordWrap)),
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
        WClassProp<C, TrpBand*>("Band", TrpBand::StaticClassType(), &C::Band, &C::SetBand),
        EnumProp<C>("BandType", "TrpBandType", &C::BandType),
        Prop<C>("Index", rsInteger, &C::IndexInBand),
        ClassProp<C>("NextSibling", TrpComponent::StaticClassType(), &C::GetNextSibling),
        Prop<C>("ParentIndex", rsInteger, [](C& c) { return ParentIndexOf(c); }),
        Prop<C>("GroupNo", rsInteger, &C::GroupNo),
        ClassProp<C>("Parent", TComponent::StaticClassType(), [](C& c) { return ParentOf(c); }),
        WProp<C, bool>("ParentDataPipeline", rsBoolean, &C::ParentDataPipeline, &C::SetParentDataPipeline),
        // Writing a region moves the component into it; none takes it out of
        // the one holding it. A region that cannot hold it is refused.
        WClassProp<C, TrpCustomRegion*>("Region", TrpCustomRegion::StaticClassType(),
                                        [](C& c) { return dynamic_cast<TrpCustomRegion*>(c.ParentRegion()); },
                                        [](C& c, TrpCustomRegion* region) {
                                            if (region != nullptr) return region->AddObject(&c);
                                            if (auto* old = dynamic_cast<TrpCustomRegion*>(c.ParentRegion()))
                                                old->RemoveObject(&c);
                                            return true;
                                        }),
        WClassProp<C, TrpGroup*>("ResetGroup", TrpGroup::StaticClassType(), &C::ResetGroup, &C::SetResetGroup),
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
        Prop<F>("AsDouble", rsDouble, &F::AsDouble),
        ClassProp<F>("AsPicture", TBlobField::StaticClassType(), &F::AsPicture),
        Prop<F>("AsString", rsString, &F::AsString),
        Prop<F>("IsNull", rsBoolean, &F::IsNull),
        ClassProp<F>("DataPipeline", TrpDataPipeline::StaticClassType(), &F::DataPipeline),
        Prop<F>("Value", rsVariant, &F::Value),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpDataPipelineRTTI, TrsTrpRelativeRTTI, TrpDataPipeline)

const TrsMemberTable& TrsTrpDataPipelineRTTI::MemberTable() {
    using D = TrpDataPipeline;
    using CD = TrpCustomDataPipeline;
    auto state = [](std::uint8_t flag) { return [flag](D& d) { return (d.States() & flag) != 0; }; };
    static const TrsMemberTable table{
        Prop<D>("Active", rsBoolean, &D::Active),
        Prop<D>("BOF", rsBoolean, &D::Bof),
        Prop<D>("EOF", rsBoolean, &D::Eof),
        Prop<D>("DataTraversed", rsBoolean, &D::DataTraversed),
        Prop<D>("FirstRecord", rsBoolean, state(rppsFirstRecord)),
        Prop<D>("LastRecord", rsBoolean, state(rppsLastRecord)),
        Prop<D>("NoRecords", rsBoolean, state(rppsNoRecords)),
        WProp<D, bool>("SkipWhenNoRecords", rsBoolean, &D::SkipWhenNoRecords, &D::SetSkipWhenNoRecords),
        WProp<D, bool>("Visible", rsBoolean, &D::Visible, &D::SetVisible),
        Prop<D>("TraversalCount", rsInteger, &D::TraversalCount),
        Prop<CD>("FieldCount", rsInteger, &CD::FieldCount),
        Prop<CD>("LinkCount", rsInteger, &CD::LinkCount),
        ClassProp<CD>("CurrentField", TrpField::StaticClassType(), &CD::CurrentField),
        ClassProp<D>("DataView", TComponent::StaticClassType(), [](D&) { return static_cast<TObject*>(nullptr); }),
        ClassProp<D>("MasterDataPipeline", TrpDataPipeline::StaticClassType(), &D::MasterDataPipeline),
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
        Method<CD>("FieldObjects", {{"FieldName", rsString}, {"Result", rsClass, false, TrpField::StaticClassType()}},
                   [](CD& d, TrsParamList& list) {
                       TrsValue name;
                       if (!list.GetParamValue(0, name)) return false;
                       TrpField* found = nullptr;
                       for (int i = 0; i < d.FieldCount() && found == nullptr; ++i)
                           if (SameText(d.Fields(i)->FieldAlias(), std::get<std::string>(name))) found = d.Fields(i);
                       list.SetParamValue(1, TrsValue(std::in_place_type<TObject*>, found));
                       return true;
                   }),
        Indexed<CD>("Fields", TrpField::StaticClassType(), &CD::FieldCount, [](CD& d, int i) { return d.Fields(i); }),
        Indexed<CD>("Links", TrpMasterFieldLink::StaticClassType(), &CD::LinkCount,
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
        WProp<D, bool>("AutoCreateFields", rsBoolean, &D::AutoCreateFields, &D::SetAutoCreateFields),
        WProp<D, int32_t>("MoveBy", rsInteger, &D::MoveBy, &D::SetMoveBy),
        WEnumProp<D, TrpRangeBeginType>("RangeBegin", "TrpRangeBeginType", &D::RangeBegin, &D::SetRangeBegin),
        WEnumProp<D, TrpRangeEndType>("RangeEnd", "TrpRangeEndType", &D::RangeEnd, &D::SetRangeEnd),
        WProp<D, int32_t>("RangeEndCount", rsInteger, &D::RangeEndCount, &D::SetRangeEndCount),
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
