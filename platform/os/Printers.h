#pragma once
// The printers this computer knows, by name, as the settings' pick lists and
// the printing side name them. One provider is in use for the whole program:
// the system's (the print service's queues) unless a test installed a fake.
// Nothing here prints; it only names.
#include <string>
#include <vector>

namespace os {

class PrinterProvider {
public:
    virtual ~PrinterProvider() = default;
    // The installed printers' names in the system's order; empty when there
    // is none or the print service cannot be asked.
    virtual std::vector<std::string> Printers() = 0;
};

// The print service's queues as "lpstat -e" lists them, one name a line. A
// computer without lpstat, or whose print service does not answer within
// TimeoutMs, has no printers (never an error, never a hang).
class SystemPrinters : public PrinterProvider {
public:
    explicit SystemPrinters(int TimeoutMs = 5000) : timeoutMs_(TimeoutMs) {}
    std::vector<std::string> Printers() override;

private:
    int timeoutMs_;
};

// The provider in use.
PrinterProvider& Printers();
// Installs a provider (nullptr: back to the system's); returns the previous
// one (nullptr when it was the system's).
PrinterProvider* SetPrinterProvider(PrinterProvider* Provider);

// Runs a program (a bare name is looked up on PATH) with its standard input
// and error on /dev/null and returns what it wrote on its standard output.
// False when it could not start, did not end within TimeoutMs (it is then
// killed) or ended with a status other than 0.
bool ReadProgramOutput(const std::string& Program, const std::vector<std::string>& Args, std::string& Output,
                       int TimeoutMs);

}  // namespace os
