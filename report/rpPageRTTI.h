#pragma once
// What scripts see of pages and draw commands beyond their published
// properties: a command's page (writing it moves the command), whether it
// is clickable and whether the page is to be redrawn; a page's commands.
#include "report/rpRTTITable.h"
#include "report/rpRelatv.h"

// Adds Page (read and write), Clickable (read-only) and RedrawPage.
RP_TABLE_ADAPTER(TrsTrpDrawCommandRTTI, TrsTrpRelativeRTTI)
// The text command adds nothing of its own.
RP_TABLE_ADAPTER(TrsTrpDrawTextRTTI, TrsTrpDrawCommandRTTI)
// Adds DrawCommandCount (read-only), the function DrawCommands(Index) and
// the method RemoveDrawCommand(aDrawCommand).
RP_TABLE_ADAPTER(TrsTrpPageRTTI, TrsTrpRelativeRTTI)

namespace report {
void RegisterPageAdapters();
void UnregisterPageAdapters();
}  // namespace report
