#pragma once
// What the report library knows of the installed printers: a process-wide
// list of printer infos, each with its capability lists (papers with their
// sizes and codes, trays with their codes). The printer setup reads paper
// and tray names through it and nothing else, so that the spooler behind it
// (or a fake in tests) can be exchanged. Until the program installs one, the
// list knows no printer at all.
//
// The list the program installs (TrpPrinterList over a TrpPrinterBackend)
// holds two pseudo entries first, "Screen" (measure against the screen,
// never print) and "Default" (whatever queue is the system default at the
// time), then one entry per spooler destination, an instance as
// "name/instance". Templates store the platform's paper and tray codes, so
// the spooler's media and sources are mapped onto those codes here, and
// every list is normalised to hold a "Custom" paper (256, last) and a
// "Default" tray (7, first).
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/rtl/Lists.h"
#include "report/rpPrinterBackend.h"

// The capability lists of one printer, parallel by index. Paper sizes are
// tenths of a millimetre as decimal texts, portrait; codes are decimal texts.
class TrpPrinterCapabilities {
public:
    TStringList BinCodes;
    TStringList BinNames;
    TStringList PaperHeights;
    TStringList PaperNames;
    TStringList PaperCodes;
    TStringList PaperWidths;
    std::string PrinterName;
    bool DriverCopies = false;

    // Appends one paper (name, code, width and height in tenths of a mm).
    void AddPaper(const std::string& Name, int Code, int Width, int Height);
    void AddBin(const std::string& Name, int Code);
};

// Every list gets a "Custom" paper, last, and no paper of size 0 (Custom
// aside); names missing for codes come from the paper table.
void rpNormalisePapers(TrpPrinterCapabilities& Caps);
// The two tray lists cut to the same length, "Default" (7) first.
void rpNormaliseBins(TrpPrinterCapabilities& Caps);

// The platform's paper names and sizes by paper code. PaperSizeForCode
// leaves Width and Height as they were for a code without a size.
void PaperSizeForCode(int Code, int& Width, int& Height);
std::string PaperNameTable(int Code);

// One printer as the list holds it. The base keeps the capabilities it was
// given; the screen and spooler infos fetch theirs on first use.
class TrpPrinterInfo {
public:
    explicit TrpPrinterInfo(std::string PrinterName, std::string DeviceName = "", std::string PortName = "");
    virtual ~TrpPrinterInfo() = default;
    TrpPrinterInfo(const TrpPrinterInfo&) = delete;
    TrpPrinterInfo& operator=(const TrpPrinterInfo&) = delete;

    const std::string& PrinterName() const { return name_; }
    const std::string& DeviceName() const { return device_; }
    const std::string& PortName() const { return port_; }
    // The port (the spooler's device URI) when device and port are known;
    // empty otherwise.
    std::string DeviceOnPort() const;
    // False once no drawing surface could be made for this printer.
    bool Valid() const { return valid_; }
    void SetValid(bool Value) { valid_ = Value; }
    virtual TrpPrinterCapabilities* GetCapabilities();

protected:
    std::string name_;
    std::string device_;
    std::string port_;
    bool valid_ = true;
    TrpPrinterCapabilities caps_;
    std::recursive_mutex lock_;
};

// The screen's 13 papers and its one tray.
class TrpScreenPrinterInfo : public TrpPrinterInfo {
public:
    TrpScreenPrinterInfo();
    TrpPrinterCapabilities* GetCapabilities() override;

private:
    bool fetched_ = false;
};

// One spooler destination. Its capabilities are asked for on first use and
// kept; the spooler's own names stay reachable by code for the job options.
class TrpQueuePrinterInfo : public TrpPrinterInfo {
public:
    TrpQueuePrinterInfo(TrpPrinterBackend* Backend, const TrpBackendDestination& Destination);
    TrpPrinterCapabilities* GetCapabilities() override;

    // The PWG media of a paper code; nullptr for none (256, unknown).
    const TrpBackendMedia* MediaForCode(int Code);
    // The media-source keyword of a tray code; empty for none.
    std::string SourceForBin(int Code);
    // The tray code of the queue's own default source (7 when it names none).
    int DefaultBin();
    // The queue's resolution; 0 when it does not say.
    int ResolutionX();
    int ResolutionY();
    bool SupportsColor();
    const TrpBackendCapabilities& QueueCapabilities();

private:
    void Fetch();

    TrpPrinterBackend* backend_;
    bool fetched_ = false;
    TrpBackendCapabilities queue_;
    std::vector<std::pair<int, TrpBackendMedia>> mediaByCode_;
    std::vector<std::pair<int, std::string>> sourceByBin_;
    int defaultBin_ = 7;
};

// The paper code of a PWG medium: the fixed names, else the listed paper
// within 1 mm of its size, else 0 (the caller numbers it from 257 up).
int rpPaperCodeForMedia(const TrpBackendMedia& Media);
// The tray code of a media-source keyword at Index of the queue's list.
int rpBinCodeForSource(const std::string& Source, int Index);

class TrpPrinterList {
public:
    // A list without entries (fakes fill their own).
    TrpPrinterList();
    // "Screen", "Default" and the backend's destinations.
    explicit TrpPrinterList(TrpPrinterBackend* Backend);
    virtual ~TrpPrinterList();
    TrpPrinterList(const TrpPrinterList&) = delete;
    TrpPrinterList& operator=(const TrpPrinterList&) = delete;

    // The info of an installed printer ("Default" is the system's default
    // printer, "device on port" is found by its device); an unknown name
    // gives the default printer's info; nullptr when there is none.
    virtual TrpPrinterInfo* GetPrinterInfo(const std::string& Name);
    // The name of the system's default printer ("Screen" when there is none).
    virtual std::string DefaultPrinterName();
    virtual void GetPrinterNames(TStrings* Names);
    // The printer whose resolution converts printer pixels; nullptr means the
    // screen's.
    virtual TObject* SharedPrinter();
    // Asks the backend again: every info is replaced, the shared printer
    // freed. The infos replaced stay alive with the list: setups and
    // printers still point at them.
    void Refresh();
    // Reads the system default again.
    void RefreshDefault();

private:
    int IndexOfName(const std::string& Name) const;
    void SetDefaultFrom(const std::vector<TrpBackendDestination>& Destinations);
    std::string DeviceToListName(const std::string& Device) const;

    std::recursive_mutex lock_;
    TrpPrinterBackend* backend_ = nullptr;
    std::vector<std::unique_ptr<TrpPrinterInfo>> entries_;
    std::vector<std::unique_ptr<TrpPrinterInfo>> retired_;
    std::string defaultName_ = "Screen";
    std::unique_ptr<TObject> shared_;
};

// The installed list (never nullptr: a list without printers until one is set).
TrpPrinterList* GetPrinterList();
// Installs List (not owned; nullptr restores the empty one) and returns the
// one it replaces.
TrpPrinterList* rpSetPrinterList(TrpPrinterList* List);
// The info whose lists stand in when a setup has no printer: one "Custom"
// paper (code 256) and one "Default" tray (code 7).
TrpPrinterInfo* rpNoPrinterInfo();
// Makes the shared printer (the output layer installs it); without one the
// lists have none.
void rpSetSharedPrinterFactory(std::function<std::unique_ptr<TObject>()> Factory);
