#pragma once
// The scripting adapters of variables and system variables: the value in
// each of its kinds, the calculation settings and the calc/reset events.
#include "report/rpModelRTTI.h"

RP_TABLE_ADAPTER(TrsTrpVariableRTTI, TrsTrpComponentRTTI)
RP_TABLE_ADAPTER(TrsTrpSystemVariableRTTI, TrsTrpComponentRTTI)

namespace report_output {
void RegisterVariableAdapters();
void UnregisterVariableAdapters();
}  // namespace report_output
