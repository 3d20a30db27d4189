#include "report/rpBandRTTI.h"

#include "report/rpBandEngine.h"
#include "report/rpBands.h"
#include "report/rpGroup.h"
#include "report/rpPipeline.h"

using namespace rstable;

namespace {

template <class C>
TrsMember PrintHeightRow() {
    return WEnumProp<C, TrpPrintHeightType>(
        "PrintHeight", "TrpPrintHeightType", [](C& b) { return b.PrintHeight(); },
        [](C& b, TrpPrintHeightType v) { b.SetPrintHeight(v); });
}

template <class C, class F, class S>
TrsMember FlagRow(const char* Name, F Get, S Set) {
    return WProp<C, bool>(
        Name, rsBoolean, [Get](C& b) { return (b.*Get)(); }, [Set](C& b, bool v) { (b.*Set)(v); });
}

// Where the band stopped generating, and goes on from on the next page.
TrpComponent* CurrentObject(TrpCustomBand& Band) {
    const int level = Band.CurrentLevel();
    if (level < 0 || level > 3) return nullptr;
    const std::vector<TrpComponent*>& objects = Band.Level(level + 1);
    const int i = Band.ObjectLimit();
    return i >= 0 && i < static_cast<int>(objects.size()) ? objects[static_cast<std::size_t>(i)] : nullptr;
}

}  // namespace

RP_TABLE_ADAPTER_BODY(TrsTrpCustomBandRTTI, TrsTrpBandRTTI, TrpCustomBand)

const TrsMemberTable& TrsTrpCustomBandRTTI::MemberTable() {
    using B = TrpCustomBand;
    static const TrsMemberTable table{
        Prop<B>("AllObjectsPrinted", rsBoolean, [](B& b) { return b.AllObjectsPrinted(); }),
        Prop<B>("Count", rsInteger, [](B& b) { return b.Count(); }),
        ClassProp<B>("CurrentObject", TrpComponent::StaticClassType(), CurrentObject),
        Prop<B>("CurrentPosition", rsInteger, [](B& b) { return b.CurrentPosition(); }),
        Prop<B>("CumulativeCurrentPosition", rsInteger, [](B& b) { return b.CumulativeCurrentPosition(); }),
        Prop<B>("Generating", rsBoolean, [](B& b) { return b.Generating(); }),
        Prop<B>("GenerationComplete", rsBoolean, [](B& b) { return b.GenerationComplete(); }),
        ClassProp<B>("MaxStretchable", TrpComponent::StaticClassType(), [](B& b) { return b.MaxStretchable(); }),
        Prop<B>("OutOfSpace", rsBoolean, [](B& b) { return b.OutOfSpace(); }),
        Prop<B>("OverFlow", rsBoolean, [](B& b) { return b.OverFlow(); }),
        Prop<B>("PageBottom", rsInteger, [](B& b) { return b.PageBottom(); }),
        Prop<B>("PartialGeneration", rsBoolean, [](B& b) { return b.PartialGeneration(); }),
        Prop<B>("PartialAdjustment", rsInteger, [](B& b) { return b.PartialAdjustment(); }),
        Prop<B>("PrintingSection", rsBoolean, [](B& b) { return b.PrintingSection(); }),
        Prop<B>("PrintPositionBreak", rsBoolean, [](B& b) { return b.PrintPositionBreak(); }),
        Prop<B>("SpaceUsed", rsInteger, [](B& b) { return b.SpaceUsed(); }),
        Prop<B>("StartingPosition", rsInteger, [](B& b) { return b.StartingPosition(); }),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpPageBandRTTI, TrsTrpCustomBandRTTI, TrpPageBand)

const TrsMemberTable& TrsTrpPageBandRTTI::MemberTable() {
    static const TrsMemberTable table{PrintHeightRow<TrpPageBand>()};
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpFooterBandRTTI, TrsTrpPageBandRTTI, TrpFooterBand)

const TrsMemberTable& TrsTrpFooterBandRTTI::MemberTable() {
    static const TrsMemberTable table{PrintHeightRow<TrpFooterBand>()};
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpColumnFooterBandRTTI, TrsTrpCustomBandRTTI, TrpColumnFooterBand)

const TrsMemberTable& TrsTrpColumnFooterBandRTTI::MemberTable() {
    static const TrsMemberTable table{PrintHeightRow<TrpColumnFooterBand>()};
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpReportBandRTTI, TrsTrpCustomBandRTTI, TrpReportBand)

const TrsMemberTable& TrsTrpReportBandRTTI::MemberTable() {
    using B = TrpReportBand;
    static const TrsMemberTable table{FlagRow<B>("NewPage", &B::NewPage, &B::SetNewPage)};
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpDetailBandRTTI, TrsTrpCustomBandRTTI, TrpDetailBand)

const TrsMemberTable& TrsTrpDetailBandRTTI::MemberTable() {
    using D = TrpDetailBand;
    static const TrsMemberTable table{
        WProp<D, int32_t>(
            "BandsPerRecord", rsInteger, [](D& d) { return d.BandsPerRecord(); },
            [](D& d, int32_t v) { d.SetBandsPerRecord(v); }),
        WClassProp<D, TrpDataPipeline*>(
            "DataPipeline", TrpDataPipeline::StaticClassType(), [](D& d) { return d.GetDataPipeline(); },
            [](D& d, TrpDataPipeline* v) { d.SetDataPipeline(v); }),
        WProp<D, int32_t>(
            "PrintCount", rsInteger, [](D& d) { return d.PrintCount(); }, [](D& d, int32_t v) { d.SetPrintCount(v); }),
        Prop<D>("BandsPerRecordCount", rsInteger,
                [](D& d) {
                    auto* engine = dynamic_cast<TrpDetailBandEngine*>(d.BandEngine());
                    return engine != nullptr ? engine->BandsPerRecordCount() : 0;
                }),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpGroupBandRTTI, TrsTrpCustomBandRTTI, TrpGroupBand)

const TrsMemberTable& TrsTrpGroupBandRTTI::MemberTable() {
    using G = TrpGroupBand;
    static const TrsMemberTable table{
        WClassProp<G, TrpGroup*>(
            "Group", TrpGroup::StaticClassType(), [](G& g) { return g.Group(); },
            [](G& g, TrpGroup* v) { g.SetGroup(v); }),
        Prop<G>("Description", rsString, [](G& g) { return g.GetDescription(); }),
        FlagRow<G>("Generation", &G::Generation, &G::SetGeneration),
        FlagRow<G>("SaveGeneration", &G::SaveGeneration, &G::SetSaveGeneration),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpGroupHeaderBandRTTI, TrsTrpGroupBandRTTI, TrpGroupHeaderBand)

const TrsMemberTable& TrsTrpGroupHeaderBandRTTI::MemberTable() {
    using H = TrpGroupHeaderBand;
    static const TrsMemberTable table{
        Prop<H>("AlreadyPageBreak", rsBoolean, [](H& h) { return h.AlreadyPageBreak(); }),
    };
    return table;
}

namespace report {

namespace {

const std::vector<TrsRTTIClass>& BandAdapters() {
    static const std::vector<TrsRTTIClass> adapters{
        TrsTrpCustomBandRTTI::Instance(),       TrsTrpPageBandRTTI::Instance(),   TrsTrpFooterBandRTTI::Instance(),
        TrsTrpColumnFooterBandRTTI::Instance(), TrsTrpReportBandRTTI::Instance(), TrsTrpDetailBandRTTI::Instance(),
        TrsTrpGroupBandRTTI::Instance(),        TrsTrpGroupHeaderBandRTTI::Instance(),
    };
    return adapters;
}

}  // namespace

void RegisterBandAdapters() { RegisterRTTIClasses(BandAdapters()); }

void UnregisterBandAdapters() { UnregisterRTTIClasses(BandAdapters()); }

}  // namespace report
