#pragma once
// What the printer tests share: a spooler stand-in that lists queues and
// records the jobs sent to it, a list installed over it for one test, and a
// page sink that paints each page onto an image at the printer's resolution.
#include <QImage>
#include <QPainter>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "report/rpPrinterList.h"
#include "report_output/rpPrinter.h"

namespace printertest {

class FakeBackend : public TrpPrinterBackend {
public:
    struct Job {
        std::string Destination;
        TrpBackendJob Options;
        std::string Head;  // the file's first bytes
    };
    std::vector<TrpBackendDestination> Queues;
    std::map<std::string, TrpBackendCapabilities> Caps;
    std::vector<std::string> CapabilityCalls;
    std::vector<Job> Jobs;
    std::string Refusal;  // a spooler message: every job is refused with it

    std::vector<TrpBackendDestination> Destinations() override { return Queues; }
    bool Capabilities(const std::string& Destination, TrpBackendCapabilities& C) override {
        CapabilityCalls.push_back(Destination);
        auto it = Caps.find(Destination);
        if (it == Caps.end()) return false;
        C = it->second;
        return true;
    }
    int SubmitFile(const std::string& Destination, const std::string& FileName, const TrpBackendJob& J,
                   std::string& Error) override;

    // Option Name of the last job; "" when absent.
    std::string Option(const std::string& Name) const;
};

// A laser queue "Laser" (default; A4, Letter, a postcard size and an odd
// size; trays auto/tray-1/tray-2/envelope; 600 dpi) and "Etiquetas"
// without any media.
void AddStandardQueues(FakeBackend& Backend);

// Installs Backend and a list over it for the life of the object.
class InstalledList {
public:
    explicit InstalledList(TrpPrinterBackend* Backend);
    ~InstalledList();
    TrpPrinterList* List() const { return list_.get(); }

private:
    TrpPrinterBackend* previousBackend_;
    std::unique_ptr<TrpPrinterList> list_;
    TrpPrinterList* previousList_;
};

// Pages painted on images (white, at the page's resolution); each page's
// format kept.
class ImageSink : public TrpPrinterPageSink {
public:
    struct Page {
        TrpPageFormat Format;
        std::shared_ptr<QImage> Image;
    };
    std::shared_ptr<std::vector<Page>> Pages = std::make_shared<std::vector<Page>>();
    // False: formats only, nothing painted (full pages at 600 dpi are big).
    bool Paint = true;
    void BeginDocument(const std::string&) override {}
    QPainter* BeginPage(const TrpPageFormat& Format) override;
    void EndPage() override {
        if (painter_.isActive()) painter_.end();
    }
    bool EndDocument() override { return false; }

private:
    QPainter painter_;
};

}  // namespace printertest
