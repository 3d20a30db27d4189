#pragma once
// The scripting adapters of variables and system variables: the value in
// each of its kinds, the calculation settings and the calc/reset events.
#include "report_output/rpControlsRTTI.h"

// Variables are text controls: what a name here does not answer, the text
// control's adapter does.
RP_TABLE_ADAPTER(TrsTrpVariableRTTI, TrsTrpCustomTextRTTI)
RP_TABLE_ADAPTER(TrsTrpSystemVariableRTTI, TrsTrpCustomTextRTTI)

namespace report_output {
void RegisterVariableAdapters();
void UnregisterVariableAdapters();
}  // namespace report_output
