#pragma once
// The print service of this system (CUPS) behind the report library's
// printer backend: destinations as the spooler lists them (its lpoptions
// instances included), capabilities from the queue's IPP attributes, and
// jobs submitted as PDF files. Every call opens its own connection, so the
// backend may be used from any thread.
#include <string>

#include "report/rpPrinterBackend.h"

class TrpCupsBackend : public TrpPrinterBackend {
public:
    // Server "host:port" (a private spooler); empty: the system's.
    explicit TrpCupsBackend(std::string Server = "");
    std::vector<TrpBackendDestination> Destinations() override;
    bool Capabilities(const std::string& Destination, TrpBackendCapabilities& Caps) override;
    int SubmitFile(const std::string& Destination, const std::string& FileName, const TrpBackendJob& Job,
                   std::string& Error) override;

private:
    std::string server_;
};
