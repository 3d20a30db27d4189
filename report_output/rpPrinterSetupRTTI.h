#pragma once
// The printer setup as scripts see it: its published options plus the
// values only code reads (tray code, the printer's lists, printable size)
// and the two that are set only this way (Units converts, DelegateCopies is
// written without an event). Writes go through the setup's own setters.
#include "report/rpRTTI.h"
#include "report/rpRTTITable.h"

RP_TABLE_ADAPTER(TrsTrpPrinterSetupRTTI, TrsTObjectRTTI)
