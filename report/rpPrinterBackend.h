#pragma once
// The print service as the report library sees it: its queues, the system's
// default queue, what a queue can do (media with their PWG names, sizes and
// margins, trays, sides, colour modes, resolution) and the submission of a
// finished PDF file with its job options. The report layer declares it; the
// output layer installs the spooler's implementation at start-up and tests
// install fakes. Until one is installed there is no queue at all.
//
// Capabilities are asked for only when a caller needs them: asking a queue
// may mean a round trip to a printer on the network.
#include <string>
#include <utility>
#include <vector>

// One medium a queue offers. Sizes and margins in hundredths of a
// millimetre, portrait (the spooler's own unit).
struct TrpBackendMedia {
    std::string Name;  // PWG self-describing name: "iso_a4_210x297mm"
    int Width = 0;
    int Length = 0;
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

struct TrpBackendCapabilities {
    std::vector<TrpBackendMedia> Media;
    std::string DefaultMedia;
    std::vector<std::string> MediaSources;  // "auto", "manual", "tray-1"...
    std::string DefaultMediaSource;
    std::vector<std::string> Sides;       // "one-sided", "two-sided-long-edge"...
    std::vector<std::string> ColorModes;  // "monochrome", "color"...
    int CopiesMax = 1;
    // Dots per inch; 0 when the queue does not say.
    int ResolutionX = 0;
    int ResolutionY = 0;
};

struct TrpBackendDestination {
    std::string Name;      // queue name
    std::string Instance;  // empty for the queue itself
    bool IsDefault = false;
    std::string DeviceUri;
};

// The options of one submitted job, as the spooler names them.
struct TrpBackendJob {
    std::string Title;
    std::vector<std::pair<std::string, std::string>> Options;
};

class TrpPrinterBackend {
public:
    virtual ~TrpPrinterBackend() = default;
    virtual std::vector<TrpBackendDestination> Destinations() = 0;
    // The capabilities of a destination ("name" or "name/instance"); false
    // when the queue cannot be asked (the lists then stay empty).
    virtual bool Capabilities(const std::string& Destination, TrpBackendCapabilities& Caps) = 0;
    // Sends the file to the destination; the job's id, or 0 with the
    // spooler's message in Error when the queue is missing, stopped or
    // refuses the job.
    virtual int SubmitFile(const std::string& Destination, const std::string& FileName, const TrpBackendJob& Job,
                           std::string& Error) = 0;
};

// The installed backend (never nullptr: one without queues until one is
// set). rpSetPrinterBackend does not take ownership; nullptr restores the
// empty one. Returns the backend it replaces.
TrpPrinterBackend* rpGetPrinterBackend();
TrpPrinterBackend* rpSetPrinterBackend(TrpPrinterBackend* Backend);
