#pragma once
// The scripting adapters of the band kinds: the generation state every
// band keeps while it prints, and the few settings each kind adds.
#include "report/rpModelRTTI.h"

// The generation state, read-only: AllObjectsPrinted, Count, CurrentObject,
// the positions, the flags of a partial or overflowing print.
RP_TABLE_ADAPTER(TrsTrpCustomBandRTTI, TrsTrpBandRTTI)
// PrintHeight.
RP_TABLE_ADAPTER(TrsTrpPageBandRTTI, TrsTrpCustomBandRTTI)
RP_TABLE_ADAPTER(TrsTrpFooterBandRTTI, TrsTrpPageBandRTTI)
RP_TABLE_ADAPTER(TrsTrpColumnFooterBandRTTI, TrsTrpCustomBandRTTI)
// NewPage.
RP_TABLE_ADAPTER(TrsTrpReportBandRTTI, TrsTrpCustomBandRTTI)
// BandsPerRecord, DataPipeline, PrintCount and the engine's BandsPerRecordCount.
RP_TABLE_ADAPTER(TrsTrpDetailBandRTTI, TrsTrpCustomBandRTTI)
// Group, Description and the two generation flags.
RP_TABLE_ADAPTER(TrsTrpGroupBandRTTI, TrsTrpCustomBandRTTI)
// AlreadyPageBreak.
RP_TABLE_ADAPTER(TrsTrpGroupHeaderBandRTTI, TrsTrpGroupBandRTTI)

namespace report {
void RegisterBandAdapters();
void UnregisterBandAdapters();
}  // namespace report
