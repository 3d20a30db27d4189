#pragma once
// The scripting adapters of the communicator, producer, report, band, group
// and component classes, and of the pipelines and fields: each names the
// run-time members, methods and event numbers its class adds to what the
// class publishes (see rpRTTITable.h for how a row reads and writes).
#include "report/rpRTTITable.h"
#include "report/rpRelatv.h"

// CacheCount, CachePageCount, CachePosition, CacheRecordSize, CacheStream.
RP_TABLE_ADAPTER(TrsTrpCacheableRTTI, TrsTrpRelativeRTTI)
// The print options, dialogs and devices, Cancel, and the print events.
RP_TABLE_ADAPTER(TrsTrpProducerRTTI, TrsTrpRelativeRTTI)
// The engine's page numbers and passes, Bands/Groups by index, GetBand, Stop.
RP_TABLE_ADAPTER(TrsTrpCustomReportRTTI, TrsTrpProducerRTTI)
// The fixed bands by name and the group bands by index.
RP_TABLE_ADAPTER(TrsTrpBandedReportRTTI, TrsTrpCustomReportRTTI)
// The report's own events and its parameters.
RP_TABLE_ADAPTER(TrsTrpReportRTTI, TrsTrpBandedReportRTTI)
RP_TABLE_ADAPTER(TrsTrpBandRTTI, TrsTrpCacheableRTTI)
RP_TABLE_ADAPTER(TrsTrpGroupRTTI, TrsTrpCacheableRTTI)
// The bounds in thousandths of a millimetre, in Units and in screen pixels,
// the generation state, the text and the draw command events.
RP_TABLE_ADAPTER(TrsTrpPrintableRTTI, TrsTrpCacheableRTTI)
// Band, the anchor pseudo-properties and the component's place in its band.
RP_TABLE_ADAPTER(TrsTrpComponentRTTI, TrsTrpPrintableRTTI)
RP_TABLE_ADAPTER(TrsTrpFieldRTTI, TrsTrpRelativeRTTI)
RP_TABLE_ADAPTER(TrsTrpDataPipelineRTTI, TrsTrpRelativeRTTI)
// SQL answers none: no data view here publishes one.
RP_TABLE_ADAPTER(TrsTrpDBPipelineRTTI, TrsTrpDataPipelineRTTI)

// Thousandths of a millimetre in screen pixels, as the "sp" members answer.
int32_t rsScreenPixels(int32_t mm);
// And back: screen pixels in thousandths of a millimetre.
int32_t rsFromScreenPixels(int32_t Pixels);

namespace report {
void RegisterModelAdapters();
void UnregisterModelAdapters();
}  // namespace report
