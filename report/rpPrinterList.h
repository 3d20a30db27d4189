#pragma once
// What the report library knows of the installed printers: a process-wide
// list of printer infos, each with its capability lists (papers with their
// sizes and codes, trays with their codes). The printer setup reads paper
// and tray names through it and nothing else, so that the spooler behind it
// (or a fake in tests) can be exchanged. Until the program installs one, the
// list knows no printer at all.
#include <memory>
#include <mutex>
#include <string>

#include "platform/rtl/Lists.h"

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

// One printer as the list holds it. The base keeps the capabilities it was
// given; a spooler-backed info fetches them on first use.
class TrpPrinterInfo {
public:
    explicit TrpPrinterInfo(std::string PrinterName);
    virtual ~TrpPrinterInfo() = default;
    TrpPrinterInfo(const TrpPrinterInfo&) = delete;
    TrpPrinterInfo& operator=(const TrpPrinterInfo&) = delete;

    const std::string& PrinterName() const { return name_; }
    virtual TrpPrinterCapabilities* GetCapabilities();

protected:
    std::string name_;
    TrpPrinterCapabilities caps_;
    std::recursive_mutex lock_;
};

class TrpPrinterList {
public:
    virtual ~TrpPrinterList() = default;
    // The info of an installed printer ("Default" is the system's default
    // printer); nullptr when no such printer is installed.
    virtual TrpPrinterInfo* GetPrinterInfo(const std::string& Name) = 0;
    // The name of the system's default printer ("Screen" when there is none).
    virtual std::string DefaultPrinterName() = 0;
    virtual void GetPrinterNames(TStrings* Names) = 0;
    // The printer whose resolution converts printer pixels; nullptr means the
    // screen's.
    virtual TObject* SharedPrinter() { return nullptr; }
};

// The installed list (never nullptr: a list without printers until one is set).
TrpPrinterList* GetPrinterList();
// Installs List (not owned; nullptr restores the empty one) and returns the
// one it replaces.
TrpPrinterList* rpSetPrinterList(TrpPrinterList* List);
// The info whose lists stand in when a setup has no printer: one "Custom"
// paper (code 256) and one "Default" tray (code 7).
TrpPrinterInfo* rpNoPrinterInfo();
