// One side of the listing benchmark, in its own process so that its peak
// memory is its own: the issued-invoices listing (zebra on, two passes, A4)
// over rows made from a fixed seed in a memory table, every final page kept
// by a storing device. Timed as the peer times its run: from the making of
// the listing's layout, through the loading of its fonts at their first use,
// to the last page. The rows are loaded and the system's font list read
// (fontconfig's cache) before the clock starts, as the peer loads its
// dataset and builds its font cache before its clock.
//
//   bench_listing_ours ROWS REPEATS
//
// Prints "key value" lines that bench_listing reads: pages, grand total,
// the best time of the repeats, the peak resident set (VmHWM).
#include <fontconfig/fontconfig.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "billing/listings/ListingReport.h"
#include "bench/report/ListingRows.h"
#include "memtable/mtMemTable.h"
#include "platform/gfx/Pictures.h"
#include "platform/rtl/DateUtils.h"
#include "report/rpCacheManager.h"
#include "report/rpDevice.h"
#include "report/rpMainReport.h"
#include "report/rpPage.h"
#include "report/rpPageStore.h"
#include "report/rpRegister.h"
#include "report/rpReport.h"
#include "report_output/rpOutputRegister.h"

namespace {

// Keeps every final page, as a viewer's page list would.
class StoringDevice : public TrpDevice {
public:
    StoringDevice() : TrpDevice(nullptr) {}
    void ReceivePage(TrpPage* Page) override {
        TrpDevice::ReceivePage(Page);
        if (Page == nullptr || !Page->Final() || Page->Calculation()) return;
        commands += Page->DrawCommandCount();
        pages.Add(Page);
    }
    report::PageStore pages;
    long commands = 0;
};


long PeakKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 5;
    gfx::RegisterPictureFormats();
    report::registerAll();
    report_output::registerAll();
    FcInit();
    {
        TmtMemTable table(nullptr);
        const double grand = listingbench::Fill(table, rows);
        TDataSource source(nullptr);
        source.SetDataSet(&table);
        std::unique_ptr<billing::listings::ListingReport> made;

        double best = 1e300;
        size_t pages = 0;
        long commands = 0;
        std::size_t storeBytes = 0;
        double printedTotal = 0;
        for (int r = 0; r < repeats; ++r) {
            made.reset();
            const auto start = std::chrono::steady_clock::now();
            made = std::make_unique<billing::listings::ListingReport>(billing::listings::Listing::Nota403, &source);
            billing::listings::ListingReport& listing = *made;
            billing::listings::HeaderTexts header;
            listing.SetHeader(header, "Benchmark");
            listing.SetZebra(true);
            auto device = std::make_unique<StoringDevice>();
            device->SetPublisher(listing.Report()->Publisher());
            TrpPageRequest all;
            all.SetPageSetting(psAll);
            device->SetPageRequest(&all);
            device->RequestPage();
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (s < best) best = s;
            pages = static_cast<size_t>(device->pages.Count());
            commands = device->commands;
            storeBytes = device->pages.MemoryInUse();
            printedTotal = listing.Sequencer().Total().valores[0];
            device->SetPublisher(nullptr);
        }
        // The state cache as the full run left it, then one page made again
        // alone from the state saved at its start.
        billing::listings::ListingReport& listing = *made;
        TrpCacheManager* cache = listing.Report()->CacheManager();
        std::printf("cache_pages %d\n", cache->HighestPage() + 1);
        std::printf("cache_bytes %lld\n", static_cast<long long>(cache->MemoryInUse()));
        const int single = pages >= 1500 ? 1500 : static_cast<int>(pages / 2 + 1);
        {
            StoringDevice device;
            device.SetPublisher(listing.Report()->Publisher());
            TrpPageRequest one;
            one.SetPageSetting(psSinglePage);
            one.SetPageRequested(single);
            device.SetPageRequest(&one);
            const auto start = std::chrono::steady_clock::now();
            device.RequestPage();
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::printf("single_page %d\n", single);
            std::printf("single_pages_made %d\n", device.pages.Count());
            std::unique_ptr<TrpPage> alone = device.pages.Page(0);
            std::printf("single_number %d\n", alone ? alone->AbsolutePageNo() : -1);
            std::printf("single_seconds %.6f\n", s);
            device.SetPublisher(nullptr);
        }
        std::printf("pages %zu\n", pages);
        std::printf("commands %ld\n", commands);
        std::printf("store_bytes %zu\n", storeBytes);
        std::printf("total %.2f\n", printedTotal);
        std::printf("expected %.2f\n", grand);
        std::printf("seconds %.6f\n", best);
        std::fflush(stdout);
    }
    std::printf("peak_kib %ld\n", PeakKiB());
    report_output::unregisterAll();
    report::unregisterAll();
    return 0;
}
