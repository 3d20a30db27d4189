#include "billing/listings/ReportLibrary.h"

#include "platform/rtl/TypInfo.h"
#include "preview/rpPreviewRegister.h"
#include "report/rpRegister.h"
#include "report_output/rpOutputRegister.h"

namespace billing::listings {

namespace {
bool registeredHere = false;
}  // namespace

void UseReportLibrary() {
    // The report library registers its group class among the first; a
    // caller that registered the libraries itself keeps them its own.
    if (registeredHere || GetClass("TrpGroup") != nullptr) return;
    report::registerAll();
    report_output::registerAll();
    preview::registerAll();
    registeredHere = true;
}

void ReleaseReportLibrary() {
    if (!registeredHere) return;
    preview::unregisterAll();
    report_output::unregisterAll();
    report::unregisterAll();
    registeredHere = false;
}

}  // namespace billing::listings
