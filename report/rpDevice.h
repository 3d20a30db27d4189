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
#include <memory>
#include <string_view>
#include <string>
#include <vector>

#include "platform/rtl/Streams.h"
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

// A device whose output is a stream of bytes. The stream is either given
// from outside (OutputStream set before StartJob; not owned) or made by
// CreateOutputStream at StartJob and released by FreeOutputStream when the
// job ends or is cancelled.
class TrpStreamDevice : public TrpDevice {
public:
    explicit TrpStreamDevice(TComponent* AOwner) : TrpDevice(AOwner) {}
    FAT_CLASS(TrpStreamDevice)

    TStream* OutputStream() const { return outputStream_; }
    // Releases the stream set before (FreeOutputStream), then takes Value.
    virtual void SetOutputStream(TStream* Value);
    // Nothing when Count is 0 or there is no stream; EWriteError when the
    // stream takes fewer bytes.
    virtual void Write(const void* Buffer, int64_t Count);
    void Write(std::string_view Bytes) { Write(Bytes.data(), static_cast<int64_t>(Bytes.size())); }

    void StartJob() override;
    void EndJob() override;
    void CancelJob() override;

protected:
    // The stream for the job; nullptr when none is made here.
    virtual TStream* CreateOutputStream() { return nullptr; }
    virtual void FreeOutputStream() {}
    // The message of a write the stream did not take whole.
    virtual std::string WriteFailureText() const { return "Stream write error"; }
    // FreeOutputStream, once, even when releasing triggers itself.
    void ReleaseOutputStream();
    void ClearOutputStream() { outputStream_ = nullptr; }

private:
    TStream* outputStream_ = nullptr;
    bool releasing_ = false;
};

class TFileStream;

// A device that writes its pages into a file it creates (CreateFile), or
// into an output stream given by its caller (e-mail). Devices that own
// their file free it when the job ends; a device freed in mid-job ends it.
class TrpFileDevice : public TrpStreamDevice {
public:
    explicit TrpFileDevice(TComponent* AOwner);
    ~TrpFileDevice() override;
    FAT_CLASS(TrpFileDevice)

    static std::string DefaultExt() { return ""; }
    static std::string FileFilter() { return ""; }
    static std::string FileDescription() { return ""; }

    const std::string& FileName() const { return fileName_; }
    // Ignored while a job runs.
    virtual void SetFileName(const std::string& Value);
    bool CreateFile() const { return createFile_; }
    virtual void SetCreateFile(bool Value);
    void WriteBuffer(const void* Buffer, int64_t Count) { Write(Buffer, Count); }

    void StartJob() override;
    // The progress text of the page (nullptr: "Acessando os dados..."),
    // kept as the device's status.
    virtual void UpdateStatus(TrpPage* Page);

protected:
    // The file stream on FileName (overwriting), or nullptr without
    // CreateFile.
    virtual TFileStream* OpenFile();
    TStream* CreateOutputStream() override;
    void FreeOutputStream() override;
    // Drops what the job wrote: nothing of a failed or cancelled job stays
    // behind, and a file the job would have replaced stays as it was.
    void DiscardFile();
    TFileStream* FileStream() const { return fileStream_.get(); }
    // When the file's own write failed (a full disk): what to tell, in
    // Portuguese with the file's name; "" otherwise.
    std::string FileFailure() const;
    std::string WriteFailureText() const override;

private:
    bool createFile_ = true;
    std::string fileName_;
    std::unique_ptr<TFileStream> fileStream_;
};

// A file device whose file holds the texts of the report's saved text
// controls, one line per band print: delimited, fixed-width or as the
// OnSaveText handler makes them. Text is written in code page 1252.
class TrpTextFileDevice : public TrpFileDevice {
public:
    explicit TrpTextFileDevice(TComponent* AOwner) : TrpFileDevice(AOwner) {}
    ~TrpTextFileDevice() override;
    FAT_CLASS(TrpTextFileDevice)

    std::string DeviceName() const override { return "TextFile"; }
    static std::string DefaultExt() { return "txt"; }
    static std::string FileFilter() { return "Text files|*.TXT|All files|*.*"; }
    static std::string FileDescription();

    TrpFileType TextFileType() const { return textFileType_; }
    // Ignored while a job runs.
    void SetTextFileType(TrpFileType Value);
    TObject* Report() const { return report_; }
    void SetReport(TObject* Value) { report_ = Value; }
    // Sender is the device; the handler may change the text. The
    // component that made the text is SaveComponent() meanwhile.
    std::function<void(TObject* Sender, std::string& Text)> OnSaveText;
    TObject* SaveComponent() const { return saveComponent_; }

    void StartJob() override;
    void EndJob() override;
    void ReceivePage(TrpPage* Page) override;

    bool EndOfLine() const { return endOfLine_; }
    bool EndOfPage() const { return endOfPage_; }
    bool StartOfReport() const { return startOfReport_; }
    int FieldNo() const { return fieldNo_; }
    int LineNo() const { return lineNo_; }
    bool LastLineOfReport() const { return lastLineOfReport_; }
    bool StartOfLine() const { return startOfLine_; }
    bool StartOfPage() const { return startOfPage_; }

    // A value as a delimited field: within quotes when it holds a comma, a
    // blank, a quote or a line break, inner quotes doubled; a value that
    // comes quoted already stays as it is.
    static std::string QuoteCommaValue(const std::string& Value);

private:
    void SavePageToFile(TrpPage* Page);
    void ClearState();

    bool endOfLine_ = false;
    bool endOfPage_ = false;
    bool startOfReport_ = false;
    int fieldNo_ = 0;
    int lineNo_ = 0;
    bool lastLineOfReport_ = false;
    bool startOfLine_ = false;
    bool startOfPage_ = false;
    TrpFileType textFileType_ = ftComma;
    TObject* report_ = nullptr;
    TObject* saveComponent_ = nullptr;
};

// A file device that writes each page as a plain-text picture of it: the
// texts placed on a grid of fixed-pitch character cells, in code page 1252.
class TrpReportTextFileDevice : public TrpFileDevice {
public:
    explicit TrpReportTextFileDevice(TComponent* AOwner) : TrpFileDevice(AOwner) {}
    ~TrpReportTextFileDevice() override;
    FAT_CLASS(TrpReportTextFileDevice)

    std::string DeviceName() const override { return "ReportTextFile"; }
    static std::string DefaultExt() { return "txt"; }
    static std::string FileFilter() { return "Text files|*.TXT|All files|*.*"; }
    static std::string FileDescription();

    bool CalcGridFromFont() const { return calcGridFromFont_; }
    void SetCalcGridFromFont(bool Value) { calcGridFromFont_ = Value; }
    bool AutoFontSize() const { return autoFontSize_; }
    void SetAutoFontSize(bool Value) { autoFontSize_ = Value; }
    int CharsPerLine() const { return charsPerLine_; }
    void SetCharsPerLine(int Value) { charsPerLine_ = Value; }
    int LinesPerPage() const { return linesPerPage_; }
    void SetLinesPerPage(int Value) { linesPerPage_ = Value; }
    int FontSize() const { return fontSize_; }
    void SetFontSize(int Value) { fontSize_ = Value; }

    void ReceivePage(TrpPage* Page) override;

private:
    void SavePageToFile(TrpPage* Page);

    bool calcGridFromFont_ = true;
    bool autoFontSize_ = true;
    int charsPerLine_ = 80;
    int linesPerPage_ = 66;
    int fontSize_ = 12;
};

// A file device that stores the pages themselves (as component streams,
// behind an index of offsets), to be viewed or printed again later.
// The pages are gathered in a temporary file "arc..." while the index
// grows; EndJob appends them. A cancelled or failed job leaves no file.
class TrpArchiveDevice : public TrpFileDevice {
public:
    explicit TrpArchiveDevice(TComponent* AOwner) : TrpFileDevice(AOwner) {}
    ~TrpArchiveDevice() override;
    FAT_CLASS(TrpArchiveDevice)

    std::string DeviceName() const override { return "ArchiveFile"; }
    static std::string DefaultExt() { return "raf"; }
    static std::string FileFilter() { return "Archive files|*.RAF|All files|*.*"; }
    static std::string FileDescription();

    bool OutlineOnLastPageOnly() const { return outlineOnLastPageOnly_; }
    void SetOutlineOnLastPageOnly(bool Value) { outlineOnLastPageOnly_ = Value; }
    // The temporary file of the running job ("" outside one).
    const std::string& TempFileName() const { return tempFileName_; }

    void StartJob() override;
    void EndJob() override;
    void CancelJob() override;
    void ReceivePage(TrpPage* Page) override;

protected:
    virtual void SavePage(TrpPage* Page);

private:
    void DropTempFile();
    void WriteInt32(int64_t Value);

    std::unique_ptr<TFileStream> pageStream_;
    std::string tempFileName_;
    bool outlineOnLastPageOnly_ = true;
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
// The text, report-text and archive devices under their device names;
// called by the output library's registration.
void RegisterFileDeviceClasses();
void UnregisterFileDeviceClasses();
}  // namespace report
