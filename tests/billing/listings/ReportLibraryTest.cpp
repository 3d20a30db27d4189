// The report library, its outputs and the preview register when the first
// listing is made, not at start-up, and unregister at the program's end;
// a caller that registered them itself keeps them.
#include <gtest/gtest.h>

#include "billing/listings/ListingReport.h"
#include "billing/listings/ReportLibrary.h"
#include "platform/db/DB.h"
#include "platform/rtl/TypInfo.h"
#include "preview/rpPreviewRegister.h"
#include "report/rpRegister.h"
#include "report_output/rpOutputRegister.h"

namespace {

using namespace billing::listings;

bool Registered() {
    // One class of each library.
    const bool report = GetClass("TrpGroup") != nullptr;
    const bool output = GetClass("TrpLabel") != nullptr;
    const bool preview = GetClass("TrpViewer") != nullptr;
    EXPECT_EQ(report, output);
    EXPECT_EQ(report, preview);
    return report;
}

TEST(ReportLibrary, AFirstListingRegistersTheLibrariesAndTheEndUnregistersOnlyThose) {
    // This program's environment registered them: a listing leaves them to it.
    ASSERT_TRUE(Registered());
    UseReportLibrary();
    ReleaseReportLibrary();
    EXPECT_TRUE(Registered());

    // As at the program's start.
    preview::unregisterAll();
    report_output::unregisterAll();
    report::unregisterAll();
    ASSERT_FALSE(Registered());
    {
        TDataSource rows(nullptr);
        ListingReport listing(Listing::Nota403, &rows);
        EXPECT_TRUE(Registered());
        ListingReport second(Listing::Nota409, &rows);  // registers nothing twice
    }
    EXPECT_TRUE(Registered());
    ReleaseReportLibrary();
    EXPECT_FALSE(Registered());
    ReleaseReportLibrary();  // once only

    report::registerAll();
    report_output::registerAll();
    preview::registerAll();
}

}  // namespace
