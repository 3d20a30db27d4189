#pragma once
// One printer as the report library drives it: a spooler queue (or the
// "Screen" pseudo printer, which measures and never prints), its job
// settings, its canvas and the document and page brackets of a print run.
//
// The job settings record takes the place of the platform's device mode: it
// is what the queue is asked for (paper by code and PWG media, a size of its
// own, orientation, copies, collation, sides, tray, colour mode, output
// file), and it is mirrored to and from the printer's own TrpPrinterSetup.
// While a document prints, new settings wait for the next page, and the
// printer name cannot change.
//
// Printing: every page is drawn through the canvas into a temporary PDF
// (Qt's PDF engine, full page, at the queue's resolution); the finished file is
// submitted to the queue with the settings of the document's first page as
// job options. Paper size and orientation may change from page to page (the
// PDF carries each page's size); a tray is a job option, so a page that
// needs another tray needs a print run of its own. A setup's output file
// name receives the PDF instead of the queue.
//
// The canvas's pixels are those of the printable area, as the platform's
// printer pages have them: the drawing origin sits at the media's left and
// top margins (the page offsets), so the device subtracts them.
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/gfx/Canvas.h"
#include "report/rpPrinterList.h"
#include "report/rpPrinterSetup.h"
#include "report/rpUnits.h"

class QPainter;

struct TrpJobSettings {
    // Which fields the record sets (the platform's device mode bits).
    enum : unsigned {
        jfOrientation = 0x0001,
        jfPaperSize = 0x0002,
        jfPaperLength = 0x0004,
        jfPaperWidth = 0x0008,
        jfCopies = 0x0100,
        jfDefaultSource = 0x0200,
        jfDuplex = 0x1000,
        jfCollate = 0x8000,
    };
    unsigned Fields = 0;
    std::string Printer;
    int PaperCode = 0;
    std::string Media;  // the PWG name of PaperCode on this queue; empty for a size of its own
    // Portrait size in tenths of a millimetre (a size of its own).
    int PaperWidth = 0;
    int PaperLength = 0;
    int Orientation = 1;  // 1 portrait, 2 landscape
    int Copies = 1;
    bool Collate = false;
    int Duplex = 1;  // 1 one-sided, 2 short edge (dpHorizontal), 3 long edge (dpVertical)
    int Source = 7;  // tray code
    std::string ColorMode;
    std::string OutputFile;
};

// The spooler options of a job made with Settings on Info's queue.
TrpBackendJob rpJobOptions(const TrpJobSettings& Settings, TrpPrinterInfo* Info, const std::string& Title);

// Where the pages of a document go. The printer asks for one painter per
// page in device pixels of the printable area's origin.
struct TrpPageFormat {
    int WidthTenths = 0;   // the page as printed, tenths of a millimetre
    int HeightTenths = 0;
    bool Landscape = false;
    int PixelsPerInchX = 600;
    int PixelsPerInchY = 600;
    int OffsetX = 0;  // printable area's origin on the paper, pixels
    int OffsetY = 0;
};

class TrpPrinterPageSink {
public:
    virtual ~TrpPrinterPageSink() = default;
    virtual void BeginDocument(const std::string& FileName) = 0;
    virtual QPainter* BeginPage(const TrpPageFormat& Format) = 0;
    virtual void EndPage() = 0;
    // True when the file holds the document.
    virtual bool EndDocument() = 0;
};

// The PDF writer every printer uses unless told otherwise.
std::unique_ptr<TrpPrinterPageSink> rpNewPdfPageSink();

class TrpCustomPrinter : public TObject, public TrpDeviceResolution {
public:
    TrpCustomPrinter();
    ~TrpCustomPrinter() override;
    TrpCustomPrinter(const TrpCustomPrinter&) = delete;
    TrpCustomPrinter& operator=(const TrpCustomPrinter&) = delete;

    // Document and page brackets. BeginDoc raises EPrintError on the
    // "Screen" printer; EndDoc raises it when the queue refuses the job.
    void BeginDoc();
    void NewPage();
    void EndPage();
    void EndDoc();

    bool Aborted() const { return aborted_; }
    void SetAborted(bool Value) { aborted_ = Value; }
    bool Printing() const { return printing_; }
    int PageNumber() const { return pageNumber_; }
    const std::string& DocumentName() const { return documentName_; }
    void SetDocumentName(const std::string& Value) { documentName_ = Value; }
    const std::string& OutputFileName() const { return outputFileName_; }
    void SetOutputFileName(const std::string& Value) { outputFileName_ = Value; }
    const std::string& PrinterName() const { return printerName_; }
    // Ignored while printing; an unknown or invalid printer falls back to
    // "Screen".
    void SetPrinterName(const std::string& Name);
    TrpPrinterInfo* PrinterInfo();
    std::string GetPrinterDescription();
    TrpPrinterCapabilities* GetCapabilities();

    const TrpJobSettings& JobSettings() const { return settings_; }
    // While printing the settings wait for the next page.
    void SetJobSettings(const TrpJobSettings& Value);
    // Lets the user edit the job settings; OnDevModeChange fires when
    // confirmed. False when no dialog is installed or it was cancelled.
    bool ShowPrinterProperties();
    TNotifyEvent OnDevModeChange;

    TCanvas* GetCanvas();
    int PixelsPerInch(int Axis) const override;
    void GetPageOffsets(int& X, int& Y, int& Right, int& Bottom);
    bool IsColor();

    // Tests give the printer another destination for its pages.
    std::function<std::unique_ptr<TrpPrinterPageSink>()> PageSinkFactory;

protected:
    using Guard = std::lock_guard<std::recursive_mutex>;
    mutable std::recursive_mutex lock_;

private:
    class Surface;
    void ReadMetrics();
    TrpPageFormat CurrentFormat() const;

    bool aborted_ = false;
    bool printing_ = false;
    bool pageStarted_ = false;
    bool pending_ = false;
    int pageNumber_ = 0;
    std::string documentName_;
    std::string outputFileName_;
    std::string printerName_ = "Default";
    TrpPrinterInfo* info_ = nullptr;
    TrpJobSettings settings_;
    TrpJobSettings pendingSettings_;
    TrpJobSettings documentSettings_;
    int ppiX_ = 600;
    int ppiY_ = 600;
    int offsetX_ = 0, offsetY_ = 0, unprintableRight_ = 0, unprintableBottom_ = 0;
    std::unique_ptr<Surface> surface_;
    std::unique_ptr<TCanvas> canvas_;
    std::unique_ptr<TrpPrinterPageSink> sink_;
    std::string fileName_;
    bool temporaryFile_ = false;
};

class TrpPrinter : public TrpCustomPrinter {
public:
    TrpPrinter();
    ~TrpPrinter() override;

    TrpPrinterSetup* PrinterSetup() const { return setup_.get(); }
    // Takes over a setup that differs from the printer's own and writes it
    // into the job settings.
    void SetPrinterSetup(const TrpPrinterSetup* Setup);
    // The job settings read back into the printer's own setup.
    TrpPrinterSetup* GetPrinterSetup();

    void WriteSetupToSettings();
    void ReadSettingsToSetup();

private:
    std::unique_ptr<TrpPrinterSetup> setup_;
};

// The printer used where no other is at hand (unit conversion, measuring).
TrpPrinter* GetSharedPrinter();

// The properties dialog: edits Settings for Printer; true when confirmed.
using TrpPrinterPropertiesDialog = std::function<bool(TrpCustomPrinter& Printer, TrpJobSettings& Settings)>;
TrpPrinterPropertiesDialog rpSetPrinterPropertiesDialog(TrpPrinterPropertiesDialog Dialog);
