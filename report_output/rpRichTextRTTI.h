#pragma once
// The scripting adapters of rich text: the draw command's colour, the
// component's text, range and selection with its file and stream methods,
// and a data rich text's AutoDisplay.
#include "report/rpPageRTTI.h"
#include "report/rpStretchRTTI.h"

RP_TABLE_ADAPTER(TrsTrpDrawRichTextRTTI, TrsTrpDrawCommandRTTI)
RP_TABLE_ADAPTER(TrsTrpCustomRichTextRTTI, TrsTrpStretchableRTTI)
RP_TABLE_ADAPTER(TrsTrpDBRichTextRTTI, TrsTrpCustomRichTextRTTI)

namespace report_output {
void RegisterRichTextAdapters();
void UnregisterRichTextAdapters();
}  // namespace report_output
