#pragma once
// The scripting adapters of the printable controls: text controls, database
// texts and totals, shapes, lines and images. Each names what its control
// adds to a component (see rpRTTITable.h for how a row reads and writes);
// a text control's Text writes its caption unless the control shows data,
// and a line answers its Position under the name LinePosition as well.
#include "report/rpModelRTTI.h"

// AutoSize, CharWrap, Color, the export settings, Text, OnGetText.
RP_TABLE_ADAPTER(TrsTrpCustomTextRTTI, TrsTrpComponentRTTI)
// The field's raw value and the repeated-value state.
RP_TABLE_ADAPTER(TrsTrpDBTextRTTI, TrsTrpCustomTextRTTI)
// The total, Clear and the look-ahead operations.
RP_TABLE_ADAPTER(TrsTrpDBCalcRTTI, TrsTrpDBTextRTTI)
RP_TABLE_ADAPTER(TrsTrpCustomGraphicRTTI, TrsTrpComponentRTTI)
RP_TABLE_ADAPTER(TrsTrpShapeRTTI, TrsTrpCustomGraphicRTTI)
RP_TABLE_ADAPTER(TrsTrpLineRTTI, TrsTrpCustomGraphicRTTI)
RP_TABLE_ADAPTER(TrsTrpCustomImageRTTI, TrsTrpComponentRTTI)
RP_TABLE_ADAPTER(TrsTrpDBImageRTTI, TrsTrpCustomImageRTTI)

namespace report_output {
void RegisterControlAdapters();
void UnregisterControlAdapters();
}  // namespace report_output
