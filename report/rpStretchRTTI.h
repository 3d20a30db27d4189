#pragma once
// The scripting adapters of stretchables, memos and regions: their members
// by name, as scripts and the designer reach them.
#include "report/rpModelRTTI.h"

// The shift chain and the generation state (read-only); KeepTogether,
// ShiftRelativeTo and Stretch go through their setters.
RP_TABLE_ADAPTER(TrsTrpStretchableRTTI, TrsTrpComponentRTTI)
// CharWrap, Color, Leading, Lines, TabStopPositions, Text; read-only
// MemoStream, mmLeading, PrintLines, spLeading.
RP_TABLE_ADAPTER(TrsTrpCustomMemoRTTI, TrsTrpStretchableRTTI)
// Adds "AutoDisplay" and the event "OnGetMemo" (86, with "Lines").
RP_TABLE_ADAPTER(TrsTrpDBMemoRTTI, TrsTrpCustomMemoRTTI)
// Brush, Pen, ParentWidth; read-only ObjectCount and MaxStretchable; Objects(Index).
RP_TABLE_ADAPTER(TrsTrpCustomRegionRTTI, TrsTrpStretchableRTTI)

namespace report {
void RegisterStretchAdapters();
void UnregisterStretchAdapters();
}  // namespace report
