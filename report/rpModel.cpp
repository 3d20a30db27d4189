#include "report/rpModel.h"

#include <vector>

#include "report/rpBandedReport.h"
#include "report/rpBands.h"
#include "report/rpComponent.h"
#include "report/rpEngine.h"
#include "report/rpGroup.h"
#include "report/rpMainReport.h"
#include "report/rpPipeline.h"
#include "report/rpReport.h"

namespace report {

namespace {

const std::vector<TClass>& ModelClasses() {
    static const std::vector<TClass> classes = {
        TrpCacheable::StaticClassType(),        TrpDataPipeline::StaticClassType(),
        TrpPrintable::StaticClassType(),        TrpComponent::StaticClassType(),
        TrpCustomEngine::StaticClassType(),     TrpBand::StaticClassType(),
        TrpCustomBand::StaticClassType(),       TrpBasicBand::StaticClassType(),
        TrpPageBand::StaticClassType(),         TrpHeaderBand::StaticClassType(),
        TrpFooterBand::StaticClassType(),       TrpReportBand::StaticClassType(),
        TrpTitleBand::StaticClassType(),        TrpSummaryBand::StaticClassType(),
        TrpColumnHeaderBand::StaticClassType(), TrpColumnFooterBand::StaticClassType(),
        TrpDetailBand::StaticClassType(),       TrpGroupBand::StaticClassType(),
        TrpGroupHeaderBand::StaticClassType(),  TrpGroupFooterBand::StaticClassType(),
        TrpPageStyle::StaticClassType(),        TrpGroup::StaticClassType(),
        TrpProducer::StaticClassType(),         TrpCustomReport::StaticClassType(),
        TrpBandedReport::StaticClassType(),     TrpReport::StaticClassType(),
        TrpChildReport::StaticClassType(),
    };
    return classes;
}

}  // namespace

void RegisterModelClasses() {
    for (TClass c : ModelClasses()) RegisterClass(c);
}

void UnregisterModelClasses() {
    for (TClass c : ModelClasses()) UnRegisterClass(c);
}

}  // namespace report
