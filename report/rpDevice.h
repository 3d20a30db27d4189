#pragma once
// An output of the report (screen, printer, text file, archive, PDF): it is
// connected to a publisher, states which pages it wants through its page
// request, and outputs the pages the publisher hands it. Devices of one
// exclusive group take turns: only the most recently connected one is fed.
//
// A device is idle (waiting, not busy) until StartJob; busy until EndJob
// (idle and waiting again) or CancelJob (cancelled until the next StartJob
// or Reset).
#include <functional>
#include <string>
#include <vector>

#include "report/rpComm.h"
#include "report/rpPage.h"
#include "report/rpTypes.h"

class TrpPublisher;
class TrpPrinterSetup;

// Notifications of the page traffic (event numbers).
enum : int {
    rpevDevicePageReceived = 98,     // a device received a page; "Page"
    rpevPublisherPageReceived = 99,  // the publisher dispatched a page; "Page"
    rpevPublisherPageRequest = 100,  // pages must be generated for the combined request
    rpevPublisherReset = 109,        // the publisher was reset
};

using TrpPageEvent = std::function<void(TObject* Sender, TrpPage* Page)>;

class TrpDevice : public TrpCommunicator {
public:
    explicit TrpDevice(TComponent* AOwner);
    ~TrpDevice() override;
    FAT_CLASS(TrpDevice)

    // The name the registry and the report's device type use; the base's is
    // the class name.
    virtual std::string DeviceName() const;

    virtual void SetExclusive(bool Value);
    virtual void SetExclusiveGroup(const std::string& Value);
    virtual void SetStatus(const std::string& Value);
    virtual void CancelJob();
    // Renders one command; true when the device handles its class.
    virtual bool Draw(TrpDrawCommand* Command);
    // Renders again a command whose value changed.
    virtual bool Redraw(TrpDrawCommand* Command);
    virtual void EndJob();
    // Whether only final pages are output (all but the screen).
    virtual bool FinalPagesOnly() const { return true; }
    // The base step every device runs first: is the page wanted, is its
    // output skipped, does it complete the request.
    virtual void ReceivePage(TrpPage* Page);
    virtual void Reset();
    virtual void StartJob();

    // Draws the page's commands that start within the paper.
    void DrawPage(TrpPage* Page);
    // Asks the publisher for the pages of PageRequest.
    void RequestPage();

    bool Active() const { return active_; }
    void SetActive(bool Value);
    bool Busy() const { return busy_; }
    bool Cancelled() const { return cancelled_; }
    bool Waiting() const { return waiting_; }
    bool Exclusive() const { return exclusive_; }
    const std::string& ExclusiveGroup() const { return exclusiveGroup_; }
    const std::string& Status() const { return status_; }
    TrpPageRequest* PageRequest() const { return pageRequest_.get(); }
    void SetPageRequest(TrpPageRequest* Value);
    TrpPublisher* Publisher() const { return publisher_; }
    void SetPublisher(TrpPublisher* Value);
    // The page just received was asked for / is not to be output.
    bool PageRequested() const { return pageRequested_; }
    bool SkipOutput() const { return skipOutput_; }
    // Whether a received page is to be output now (busy, not cancelled,
    // requested, not skipped).
    bool ShouldOutput() const { return busy_ && !cancelled_ && pageRequested_ && !skipOutput_; }
    TObject* CancelDialog() const { return cancelDialog_; }
    void SetCancelDialog(TObject* Value) { cancelDialog_ = Value; }

    void Notify(TrpCommunicator* Communicator, int Operation) override;

    // --- The printer behind a printing device; devices without one answer
    // as if any setup suits them ---
    virtual bool HasPrinter() const { return false; }
    // The printer object itself, for the print dialog to show and change.
    virtual TObject* Printer() const { return nullptr; }
    // Whether the printer can be drawn on at all (it has a device context).
    virtual bool PrinterReady() const { return true; }
    // Gives the report's options to the printer.
    virtual void ApplyPrinterSetup(const TrpPrinterSetup* Setup) { (void)Setup; }
    // Copies the printer's options as they now stand (the print dialog may
    // have changed them) into Setup.
    virtual void ReadPrinterSetup(TrpPrinterSetup* Setup) const { (void)Setup; }
    // The language of the device's messages.
    int LanguageIndex() const { return languageIndex_; }
    void SetLanguageIndex(int Value) { languageIndex_ = Value; }

    TNotifyEvent OnCancelJob;
    TNotifyEvent OnPageRequest;
    TrpPageEvent OnPageReceive;
    TNotifyEvent OnStartJob;
    TNotifyEvent OnEndJob;
    TNotifyEvent OnPublisherChange;

protected:
    void SetWaiting(bool Value) { waiting_ = Value; }

private:
    friend class TrpPublisher;
    bool active_ = true;
    bool busy_ = false;
    bool cancelled_ = false;
    TObject* cancelDialog_ = nullptr;
    bool skipOutput_ = false;
    bool pageRequested_ = false;
    std::unique_ptr<TrpPageRequest> pageRequest_;
    TrpPublisher* publisher_ = nullptr;
    bool exclusive_ = false;
    std::string exclusiveGroup_;
    std::string status_;
    bool waiting_ = true;
    int languageIndex_ = 0;
};

// A device that writes its pages into a file.
class TrpFileDevice : public TrpDevice {
public:
    explicit TrpFileDevice(TComponent* AOwner) : TrpDevice(AOwner) {}
    FAT_CLASS(TrpFileDevice)

    const std::string& FileName() const { return fileName_; }
    virtual void SetFileName(const std::string& Value) { fileName_ = Value; }

private:
    std::string fileName_;
};

// A file device whose file holds the fields of the report's text controls;
// each line it writes passes through OnSaveText first.
class TrpTextFileDevice : public TrpFileDevice {
public:
    explicit TrpTextFileDevice(TComponent* AOwner) : TrpFileDevice(AOwner) {}
    FAT_CLASS(TrpTextFileDevice)

    TrpFileType TextFileType() const { return textFileType_; }
    void SetTextFileType(TrpFileType Value) { textFileType_ = Value; }
    TObject* Report() const { return report_; }
    void SetReport(TObject* Value) { report_ = Value; }
    std::function<void(TObject* Sender, std::string& Text)> OnSaveText;

private:
    TrpFileType textFileType_ = ftComma;
    TObject* report_ = nullptr;
};

// A file device that stores the pages themselves, to be viewed again later.
class TrpArchiveDevice : public TrpFileDevice {
public:
    explicit TrpArchiveDevice(TComponent* AOwner) : TrpFileDevice(AOwner) {}
    FAT_CLASS(TrpArchiveDevice)
};

// The common base of the devices that paint on a canvas (screen, printer).
class TrpRasterDevice : public TrpDevice {
public:
    explicit TrpRasterDevice(TComponent* AOwner) : TrpDevice(AOwner) {}
    FAT_CLASS(TrpRasterDevice)
};

using TrpDeviceClass = TClass;

// The registry of device classes, in registration order. DeviceName is the
// name the class answers (its class name when empty). A class is also
// registered for streaming.
void RegisterDeviceClass(TrpDeviceClass Class, const std::string& DeviceName = "");
void UnregisterDeviceClass(TrpDeviceClass Class);
// Adds each class's device name with the class as object (read it back
// with DeviceClassOf).
void GetDeviceClasses(TStrings* List);
TrpDeviceClass DeviceClassOf(const TStrings* List, int Index);
// Case-insensitive; nullptr when unknown.
TrpDeviceClass GetDeviceClassForName(const std::string& Name);

namespace report {
void RegisterDeviceClasses();
void UnregisterDeviceClasses();
}  // namespace report
