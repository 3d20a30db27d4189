#pragma once
// TrpProducer: the base of every report object. It owns what turns a
// report into output without knowing how pages are made: the output device
// by name, the printer setup, the publisher that hands pages to devices,
// the print options and events, and the version stamp of the stored report.
// The print flow itself (dialogs, devices, background printing) is built on
// this structure.
#include <functional>
#include <memory>
#include <string>

#include "platform/gfx/Pictures.h"
#include "report/rpPrinterSetup.h"
#include "report/rpPublisher.h"
#include "report/rpRelatv.h"
#include "report/rpSettings.h"
#include "report/rpTypes.h"

// The version this program writes into stored reports, and its number.
inline constexpr const char* rpProgramVersion = "10.02";
inline constexpr int rpProgramVersionNo = 10020;

// The screen device's name.
inline constexpr const char* rpScreenDeviceName = "Screen";

class TrpDevice;
class TrpCustomPreviewer;
class TrpCustomPrintDialog;
class TrpCustomCancelDialog;
class TrpCustomReportDialog;

// The wait before a report stored by a version older than 4.0 first
// prints: StartTimer calls its tick once after the milliseconds given,
// Pump lets the application run meanwhile. Tests inject both.
struct TrpConversionWait {
    std::function<void(int Milliseconds, std::function<void()> Tick)> StartTimer;
    std::function<void()> StopTimer;
    std::function<void()> Pump;
};
// Installs the wait; returns the previous one. Without a timer the wait
// counts a second on the report clock while pumping messages.
TrpConversionWait rpSetConversionWait(TrpConversionWait Wait);
// Shows a message to the user (nothing without an application).
void rpSetUserMessage(std::function<void(const std::string&)> Show);
void rpShowUserMessage(const std::string& Text);
// Hands a producer to the background print manager; without one a
// background run raises EBackgroundPrintError.
using TrpBackgroundPrintHandler = std::function<void(class TrpProducer* Producer, TrpPageRequest* Request,
                                                     const std::string& DeviceType, const std::string& TextFileName,
                                                     const std::string& ArchiveFileName)>;
void rpSetBackgroundPrintHandler(TrpBackgroundPrintHandler Handler);

// Events a producer sends.
enum : int {
    rpevReportEnd = 0,
    rpevReportBegin = 1,
    rpevNotifyReportBegin = 70,
    rpevNotifyReportEnd = 71,
    rpevSaveText = 9,
    rpevPrintingFinished = 89,
    rpevPageRequest = 140,
};

class TrpProducer : public TrpRelative {
public:
    explicit TrpProducer(TComponent* AOwner);
    ~TrpProducer() override;
    FAT_CLASS(TrpProducer)

    // --- Run state ---
    // Set while the report answers a page request; most writers ignore
    // changes meanwhile.
    bool Printing() const { return printing_; }
    void SetPrinting(bool Value) { printing_ = Value; }
    // A print run (preview or device) is in progress.
    bool Producing() const { return producing_; }
    void SetProducing(bool Value) { producing_ = Value; }
    bool JobStarted() const { return jobStarted_; }
    void SetJobStarted(bool Value) { jobStarted_ = Value; }
    bool Cancelled() const { return cancelled_; }
    bool ReportActive() const { return reportActive_; }
    // Unless printing, the job must start again.
    virtual void ResetPrintState();
    virtual void ReportBegin();
    virtual void ReportEnd();
    virtual void NotifyReportBegin();
    virtual void NotifyReportEnd();
    // An error raised while generating: the job is cancelled.
    virtual void HandlePrintError(const std::exception& Error);

    // --- Device ---
    const std::string& DeviceType() const { return deviceType_; }
    // Outside loading a name no device class is registered for is refused.
    virtual void SetDeviceType(const std::string& Value);
    // 0 printer, 1 screen, 2 text file, 3 archive.
    virtual void SetDeviceKind(int Kind);

    // --- Printer setup and publisher (owned) ---
    TrpPrinterSetup* PrinterSetup() const { return printerSetup_.get(); }
    // Copies Setup; a change of the page (size, margins or paper) is
    // announced as such, anything else as a plain change.
    void SetPrinterSetup(TrpPrinterSetup* Setup);
    virtual bool AllowPrinterSetupChange(TrpPageDef* NewPageDef);
    virtual void PrinterSetupChanged() {}
    virtual void SendPrinterSetupChanged() { PrinterSetupChanged(); }
    TrpPublisher* Publisher() const { return publisher_.get(); }
    // A device asked for pages.
    virtual void PageRequest(TObject* Sender, TrpPageRequest* Request);
    virtual void DoOnPageRequest(TObject* Sender, TrpPageRequest* Request);

    // --- Version ---
    const std::string& Version() const { return version_; }
    int VersionNo() const { return versionNo_; }
    bool Converted() const { return converted_; }
    bool ConvertedFromPre40() const { return convertedFromPre40_; }
    virtual void Convert(int Version);

    // --- Options (ignored while printing) ---
    bool AllowPrintToArchive() const { return allowPrintToArchive_; }
    void SetAllowPrintToArchive(bool Value);
    bool AllowPrintToFile() const { return allowPrintToFile_; }
    void SetAllowPrintToFile(bool Value);
    const std::string& ArchiveFileName() const { return archiveFileName_; }
    void SetArchiveFileName(const std::string& Value);
    const std::string& TextFileName() const { return textFileName_; }
    void SetTextFileName(const std::string& Value);
    TrpFileType TextFileType() const { return textFileType_; }
    void SetTextFileType(TrpFileType Value);
    bool ShowPrintDialog() const { return showPrintDialog_; }
    void SetShowPrintDialog(bool Value);
    bool ShowCancelDialog() const { return showCancelDialog_; }
    void SetShowCancelDialog(bool Value);
    bool ModalPreview() const { return modalPreview_; }
    void SetModalPreview(bool Value);
    bool ModalCancelDialog() const { return modalCancelDialog_; }
    void SetModalCancelDialog(bool Value);
    bool SavePrinterSetup() const { return savePrinterSetup_; }
    void SetSavePrinterSetup(bool Value) { savePrinterSetup_ = Value; }
    int CurrentPage() const { return currentPage_; }
    void SetCurrentPage(int Value) { currentPage_ = Value; }
    TrpLanguageType Language() const { return language_; }
    int LanguageIndex() const { return static_cast<int>(language_); }
    virtual void SetLanguage(TrpLanguageType Value);
    virtual void LanguageChanged() {}

    // --- Option objects (owned; a writer copies into them) ---
    TrpBackgroundPrintSettings* BackgroundPrintSettings() const { return backgroundPrintSettings_.get(); }
    void SetBackgroundPrintSettings(TrpBackgroundPrintSettings* Value);
    TrpEmailSettings* EmailSettings() const { return emailSettings_.get(); }
    void SetEmailSettings(TrpEmailSettings* Value);
    TrpPDFSettings* PDFSettings() const { return pdfSettings_.get(); }
    void SetPDFSettings(TrpPDFSettings* Value);
    // Its change event is the preview's to apply the change to an open form.
    TrpPreviewFormSettings* PreviewFormSettings() const { return previewFormSettings_.get(); }
    void SetPreviewFormSettings(TrpPreviewFormSettings* Value);
    TrpTextSearchSettings* TextSearchSettings() const { return textSearchSettings_.get(); }
    void SetTextSearchSettings(TrpTextSearchSettings* Value);

    // The printer pages are made for (a resolution source for the units);
    // nullptr without one.
    virtual TObject* GetPrinter() const { return nullptr; }

    // --- Print job ---
    // Prints to the device named by DeviceType: the screen through the
    // registered previewer, any other device with the print and cancel
    // dialogs when registered. Ignored while the report generates.
    virtual void PrintReport();
    virtual void PrintWithoutConversion();
    virtual void RunPrintJob();
    virtual void StartPrintJob();
    virtual void RequestPages();
    virtual void EndPrintJob();
    // Stops the job: the only request acted on while pages are generated.
    virtual void Cancel();
    virtual void PrintInBackground();
    virtual void InternalPrintInBackground(TrpPageRequest* Request, const std::string& DeviceType,
                                           const std::string& TextFileName, const std::string& ArchiveFileName);
    // True when the device class of DeviceType is not the screen's.
    virtual bool IsNonScreenDevice() const;
    virtual bool DisplayAutoSearchDialog() { return false; }
    bool EnableProcessMessages() const { return enableProcessMessages_; }
    virtual void SetEnableProcessMessages(bool Value) { enableProcessMessages_ = Value; }
    bool ShowAutoSearchDialog() const { return showAutoSearchDialog_; }
    void SetShowAutoSearchDialog(bool Value) { showAutoSearchDialog_ = Value; }
    // Given to the dialogs and the preview form; empty until set. The writer
    // copies the icon given (none empties it) and is ignored while printing.
    TIcon* Icon() const { return icon_.get(); }
    void SetIcon(TIcon* Value);
    TrpCustomPreviewer* PreviewForm() const { return previewForm_; }
    TrpCustomPrintDialog* PrintDialog() const { return printDialog_; }
    TrpCustomCancelDialog* CancelDialog() const { return cancelDialog_; }
    TrpDevice* PrinterDevice() const { return printerDevice_; }
    // The text-file or archive device of the running job.
    TrpDevice* FileDevice() const { return fileDevice_; }
    // The user changed the printer or paper in the print dialog: the pages
    // made so far were for another page and are made again.
    bool SetupChanged() const { return setupChanged_; }

    TNotifyEvent BeforePrint;
    TNotifyEvent AfterPrint;
    TNotifyEvent OnCancel;
    TNotifyEvent OnCancelDialogCreate;
    TNotifyEvent OnCancelDialogClose;
    TNotifyEvent OnAssignPreviewFormSettings;
    TNotifyEvent OnPreviewFormCreate;
    TNotifyEvent OnPreviewFormClose;
    TNotifyEvent OnPrintDialogCreate;
    TNotifyEvent OnPrintDialogClose;
    TNotifyEvent OnPrintingComplete;
    std::function<void(TObject*, std::string&)> OnSaveText;
    // A text-file device is about to write Text; the handler may change it.
    virtual void SaveText(TObject* Sender, std::string& Text) { DoOnSaveText(Sender, Text); }
    // The handler first, then event 9 whose parameter "Text" the
    // listeners may change too.
    virtual void DoOnSaveText(TObject* Sender, std::string& Text);
    TrpPageRequestEvent OnPageRequest;

    void DefineProperties(TFiler* Filer) override;
    void Loaded() override;

protected:
    bool IsReading() const;
    void SetCancelledFlag(bool Value) { cancelled_ = Value; }
    void ClearConvertedFromPre40() { convertedFromPre40_ = false; }
    void SetConvertedFromPre40(bool Value) { convertedFromPre40_ = Value; }
    virtual void DoAfterPrint();
    virtual void DoBeforePrint();
    virtual void DoOnCancel();
    virtual void DoOnPrintingComplete();
    // Runs once the job's output device is joined to the publisher, before
    // the printer's setup is read back; nothing here.
    virtual void ReservedHook() {}
    void Fire(const TNotifyEvent& Event, int EventNumber = -1);

private:
    void PrintToScreen();
    void PrintToPrinter();
    void FinishPrinting();
    // The text-file or archive device the run writes to; nullptr when it
    // prints.
    TrpDevice* CreateFileDevice(TClass DeviceClass);
    void DiscardPagesForOtherSetup();
    // Waits the conversion second; From: 0 PrintReport, 1 StartPrintJob.
    void ConvertBeforePrinting(int From);
    void ClosePreview();
    // Tells the cancel dialog that the producer goes, and frees it.
    void CloseCancelDialog();

private:
    std::unique_ptr<TrpPrinterSetup> printerSetup_;
    std::unique_ptr<TrpPublisher> publisher_;
    std::unique_ptr<TrpBackgroundPrintSettings> backgroundPrintSettings_;
    std::unique_ptr<TrpEmailSettings> emailSettings_;
    std::unique_ptr<TrpPDFSettings> pdfSettings_;
    std::unique_ptr<TrpPreviewFormSettings> previewFormSettings_;
    std::unique_ptr<TrpTextSearchSettings> textSearchSettings_;
    std::unique_ptr<TIcon> icon_;
    bool allowPrintToArchive_ = false;
    bool allowPrintToFile_ = false;
    std::string archiveFileName_;
    bool reportActive_ = false;
    bool converted_ = false;
    int currentPage_ = 1;
    std::string deviceType_ = rpScreenDeviceName;
    bool jobStarted_ = false;
    TrpLanguageType language_ = lgDefault;
    bool modalCancelDialog_ = true;
    bool modalPreview_ = true;
    bool cancelled_ = false;
    bool printing_ = false;
    bool producing_ = false;
    bool savePrinterSetup_ = false;
    bool showCancelDialog_ = true;
    bool showPrintDialog_ = true;
    std::string textFileName_;
    TrpFileType textFileType_ = ftComma;
    std::string version_ = "1.0";
    bool enableProcessMessages_ = true;
    bool showAutoSearchDialog_ = false;
    bool setupChanged_ = false;
    TrpCustomPreviewer* previewForm_ = nullptr;
    TrpCustomPrintDialog* printDialog_ = nullptr;
    TrpCustomCancelDialog* cancelDialog_ = nullptr;
    TrpDevice* printerDevice_ = nullptr;
    TrpDevice* fileDevice_ = nullptr;
    std::unique_ptr<TrpPrinterSetup> savedPrinterSetup_;
    int versionNo_ = 1000;
    bool convertedFromPre40_ = false;
};
