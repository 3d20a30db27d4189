#include "report/rpBandRTTI.h"

#include "report/rpBandEngine.h"
#include "report/rpBands.h"
#include "report/rpGroup.h"
#include "report/rpPipeline.h"

using namespace rstable;

namespace {

// The page and column bands name PrintHeight again, each for its own kind.
template <class C>
const TrsMemberTable& PrintHeightTable() {
    static const TrsMemberTable table{
        WEnumProp<C, TrpPrintHeightType>("PrintHeight", "TrpPrintHeightType", &C::PrintHeight, &C::SetPrintHeight)};
    return table;
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
        Prop<B>("AllObjectsPrinted", rsBoolean, &B::AllObjectsPrinted),
        Prop<B>("Count", rsInteger, &B::Count),
        ClassProp<B>("CurrentObject", TrpComponent::StaticClassType(), CurrentObject),
        Prop<B>("CurrentPosition", rsInteger, &B::CurrentPosition),
        Prop<B>("CumulativeCurrentPosition", rsInteger, &B::CumulativeCurrentPosition),
        Prop<B>("Generating", rsBoolean, &B::Generating),
        Prop<B>("GenerationComplete", rsBoolean, &B::GenerationComplete),
        ClassProp<B>("MaxStretchable", TrpComponent::StaticClassType(), &B::MaxStretchable),
        Prop<B>("OutOfSpace", rsBoolean, &B::OutOfSpace),
        Prop<B>("OverFlow", rsBoolean, &B::OverFlow),
        Prop<B>("PageBottom", rsInteger, &B::PageBottom),
        Prop<B>("PartialGeneration", rsBoolean, &B::PartialGeneration),
        Prop<B>("PartialAdjustment", rsInteger, &B::PartialAdjustment),
        Prop<B>("PrintingSection", rsBoolean, &B::PrintingSection),
        Prop<B>("PrintPositionBreak", rsBoolean, &B::PrintPositionBreak),
        Prop<B>("SpaceUsed", rsInteger, &B::SpaceUsed),
        Prop<B>("StartingPosition", rsInteger, &B::StartingPosition),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpPageBandRTTI, TrsTrpCustomBandRTTI, TrpPageBand)

const TrsMemberTable& TrsTrpPageBandRTTI::MemberTable() { return PrintHeightTable<TrpPageBand>(); }

RP_TABLE_ADAPTER_BODY(TrsTrpFooterBandRTTI, TrsTrpPageBandRTTI, TrpFooterBand)

const TrsMemberTable& TrsTrpFooterBandRTTI::MemberTable() { return PrintHeightTable<TrpFooterBand>(); }

RP_TABLE_ADAPTER_BODY(TrsTrpColumnFooterBandRTTI, TrsTrpCustomBandRTTI, TrpColumnFooterBand)

const TrsMemberTable& TrsTrpColumnFooterBandRTTI::MemberTable() { return PrintHeightTable<TrpColumnFooterBand>(); }

RP_TABLE_ADAPTER_BODY(TrsTrpReportBandRTTI, TrsTrpCustomBandRTTI, TrpReportBand)

const TrsMemberTable& TrsTrpReportBandRTTI::MemberTable() {
    using B = TrpReportBand;
    static const TrsMemberTable table{WProp<B, bool>("NewPage", rsBoolean, &B::NewPage, &B::SetNewPage)};
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpDetailBandRTTI, TrsTrpCustomBandRTTI, TrpDetailBand)

const TrsMemberTable& TrsTrpDetailBandRTTI::MemberTable() {
    using D = TrpDetailBand;
    static const TrsMemberTable table{
        WProp<D, int32_t>("BandsPerRecord", rsInteger, &D::BandsPerRecord, &D::SetBandsPerRecord),
        WClassProp<D, TrpDataPipeline*>("DataPipeline", TrpDataPipeline::StaticClassType(), &D::GetDataPipeline,
                                        &D::SetDataPipeline),
        WProp<D, int32_t>("PrintCount", rsInteger, &D::PrintCount, &D::SetPrintCount),
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
        WClassProp<G, TrpGroup*>("Group", TrpGroup::StaticClassType(), &G::Group, &G::SetGroup),
        Prop<G>("Description", rsString, &G::GetDescription),
        WProp<G, bool>("Generation", rsBoolean, &G::Generation, &G::SetGeneration),
        WProp<G, bool>("SaveGeneration", rsBoolean, &G::SaveGeneration, &G::SetSaveGeneration),
    };
    return table;
}

RP_TABLE_ADAPTER_BODY(TrsTrpGroupHeaderBandRTTI, TrsTrpGroupBandRTTI, TrpGroupHeaderBand)

const TrsMemberTable& TrsTrpGroupHeaderBandRTTI::MemberTable() {
    using H = TrpGroupHeaderBand;
    static const TrsMemberTable table{
        Prop<H>("AlreadyPageBreak", rsBoolean, &H::AlreadyPageBreak),
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
