// The print job of a producer: the previewer for the screen, the print and
// cancel dialogs and the device for everything else, the events in the
// order applications rely on, and the wait before a report stored by a
// pre-4.0 version first prints.
#include <chrono>
#include <memory>
#include <thread>

#include "platform/rtl/Format.h"
#include "platform/rtl/TypInfo.h"
#include "report/rpDevice.h"
#include "report/rpDialogRegistry.h"
#include "report/rpDialogs.h"
#include "report/rpExcept.h"
#include "report/rpGeneration.h"
#include "report/rpLanguage.h"
#include "report/rpProducer.h"
#include "report/rpUtils.h"

namespace {

constexpr int kConversionWaitMs = 1000;
constexpr int kPrinterProblemText = 1020;
constexpr const char* kConversionMessage = "This report will be converted to 4.0 format before printing.";

TrpConversionWait& ConversionWait() {
    static TrpConversionWait wait;
    return wait;
}

std::function<void(const std::string&)>& UserMessage() {
    static std::function<void(const std::string&)> show;
    return show;
}

TrpBackgroundPrintHandler& BackgroundHandler() {
    static TrpBackgroundPrintHandler handler;
    return handler;
}

}  // namespace

TrpConversionWait rpSetConversionWait(TrpConversionWait Wait) {
    TrpConversionWait previous = ConversionWait();
    ConversionWait() = std::move(Wait);
    return previous;
}

void rpSetUserMessage(std::function<void(const std::string&)> Show) { UserMessage() = std::move(Show); }

void rpShowUserMessage(const std::string& Text) {
    if (UserMessage()) UserMessage()(Text);
}

void rpSetBackgroundPrintHandler(TrpBackgroundPrintHandler Handler) { BackgroundHandler() = std::move(Handler); }

// ---------------------------------------------------------------------------
// Events

void TrpProducer::Fire(const TNotifyEvent& Event, int EventNumber) {
    if (Event) Event(this);
    if (EventNumber >= 0) SendEventNotify(this, EventNumber, nullptr);
}

void TrpProducer::DoAfterPrint() { Fire(AfterPrint); }
void TrpProducer::DoBeforePrint() { Fire(BeforePrint); }
void TrpProducer::DoOnCancel() { Fire(OnCancel); }
void TrpProducer::DoOnPrintingComplete() { Fire(OnPrintingComplete); }

// ---------------------------------------------------------------------------
// Entry

void TrpProducer::PrintReport() {
    // A report answering pages acts on a cancel only.
    if (Printing()) return;
    if (ConvertedFromPre40()) {
        ConvertBeforePrinting(0);
        return;
    }
    PrintWithoutConversion();
}

void TrpProducer::PrintWithoutConversion() {
    if (Printing()) return;
    SetProducing(true);
    if (DeviceType() == rpScreenDeviceName)
        PrintToScreen();
    else
        PrintToPrinter();
}

bool TrpProducer::IsNonScreenDevice() const {
    const TrpDeviceClass screen = GetDeviceClassForName(rpScreenDeviceName);
    const TrpDeviceClass mine = GetDeviceClassForName(DeviceType());
    return mine != nullptr ? mine != screen : DeviceType() != rpScreenDeviceName;
}

void TrpProducer::RunPrintJob() {
    if (BackgroundPrintSettings()->Active() && IsNonScreenDevice()) {
        PrintInBackground();
        return;
    }
    StartPrintJob();
    try {
        RequestPages();
    } catch (...) {
        // A run that did not finish ends no file: the devices drop what
        // they wrote, and a file of the same name from before stays.
        Publisher()->CancelJob();
        throw;
    }
    EndPrintJob();
}

void TrpProducer::StartPrintJob() {
    if (ConvertedFromPre40()) {
        ConvertBeforePrinting(1);
        return;
    }
    DoBeforePrint();
    if (!JobStarted() && !Cancelled()) Publisher()->Reset();
    SetJobStarted(true);
    SetCancelledFlag(false);
    Publisher()->StartJob();
}

void TrpProducer::RequestPages() { Publisher()->RequestPages(); }

void TrpProducer::EndPrintJob() {
    const bool cancelled = Cancelled();
    if (!cancelled) Publisher()->EndJob();
    if (!IsNonScreenDevice()) return;
    DoAfterPrint();
    // A cancelled job did not complete: only its end is announced.
    if (!cancelled) DoOnPrintingComplete();
    FinishPrinting();
}

void TrpProducer::Cancel() {
    SetCancelledFlag(true);
    Publisher()->CancelJob();
}

void TrpProducer::PrintInBackground() {
    InternalPrintInBackground(nullptr, DeviceType(), TextFileName(), ArchiveFileName());
}

void TrpProducer::InternalPrintInBackground(TrpPageRequest* Request, const std::string& DeviceType_,
                                            const std::string& TextFileName_, const std::string& ArchiveFileName_) {
    if (DeviceType_ == rpScreenDeviceName)
        throw EBackgroundPrintError(
            "TrpProducer.InternalPrintInBackground: Cannot print to the screen in the background.");
    if (!BackgroundHandler())
        throw EBackgroundPrintError(
            "TrpProducer.InternalPrintInBackground: Nenhum gerenciador de impressão em segundo plano registrado.");
    BackgroundHandler()(this, Request, DeviceType_, TextFileName_, ArchiveFileName_);
}

// ---------------------------------------------------------------------------
// Screen

void TrpProducer::PrintToScreen() {
    bool made = false;
    if (previewForm_ == nullptr) {
        auto* form = dynamic_cast<TrpCustomPreviewer*>(rpCreateDialog(TrpCustomPreviewer::StaticClassType(), this));
        if (form == nullptr) {
            SetProducing(false);
            throw EPrintError("TrpProducer.PrintToScreen: Nenhum visualizador registrado para TrpCustomPreviewer.");
        }
        previewForm_ = form;
        made = true;
        form->OnClose = [this] {
            // The engine returns before the window goes: a close while pages
            // are made cancels them first.
            if (Printing()) Cancel();
            SetProducing(false);
            DoAfterPrint();
            Fire(OnPreviewFormClose, 6);
        };
        form->OnDestroy = [this] { previewForm_ = nullptr; };
        form->OnCancel = [this] {
            Cancel();
            DoOnCancel();
        };
        form->SetReport(this);
        form->SetLanguageIndex(LanguageIndex());
    }
    TrpCustomPreviewer* form = previewForm_;
    if (made) {
        Fire(OnAssignPreviewFormSettings);
        form->BeforePreview();
        Fire(OnPreviewFormCreate, 5);
    }
    if (ModalPreview()) {
        form->OnActivate = [this] {
            if (DeviceType() == rpScreenDeviceName) RunPrintJob();
        };
        form->ShowModal();
    } else {
        form->Show();
        RunPrintJob();
    }
    if (enableProcessMessages_) rpProcessMessages();
}

void TrpProducer::ClosePreview() {
    if (previewForm_ == nullptr) return;
    // The producer is going: the form's hooks must not reach it.
    TrpCustomPreviewer* form = previewForm_;
    previewForm_ = nullptr;
    form->OnActivate = form->OnClose = form->OnCancel = form->OnDestroy = nullptr;
    form->ReportFreeing();
    delete form;
}

void TrpProducer::CloseCancelDialog() {
    if (cancelDialog_ == nullptr) return;
    TrpCustomCancelDialog* dialog = cancelDialog_;
    cancelDialog_ = nullptr;
    dialog->OnCancel = dialog->OnClose = dialog->OnStart = nullptr;
    dialog->ReportFreeing();
    delete dialog;
}

// ---------------------------------------------------------------------------
// Devices

void TrpProducer::PrintToPrinter() {
    if (cancelDialog_ != nullptr) return;
    const TrpDeviceClass deviceClass = GetDeviceClassForName(DeviceType());
    if (deviceClass == nullptr || !deviceClass->Create) {
        SetProducing(false);
        throw EPrintError(Format("TrpProducer.PrintToPrinter: Nenhuma classe de dispositivo registrada para \"%s\".",
                                 {DeviceType()}));
    }
    // A file device type still has the printer device beside it: the print
    // dialog may send the pages to paper after all.
    const bool toFile = deviceClass->InheritsFrom(TrpFileDevice::StaticClassType());
    const TrpDeviceClass printerClass = toFile ? GetDeviceClassForName("Printer") : deviceClass;
    setupChanged_ = false;
    savedPrinterSetup_ = std::make_unique<TrpPrinterSetup>(nullptr);
    savedPrinterSetup_->Assign(PrinterSetup());

    if (printerClass != nullptr && printerClass->Create &&
        !printerClass->InheritsFrom(TrpFileDevice::StaticClassType())) {
        TObject* made = printerClass->Create(this);
        printerDevice_ = dynamic_cast<TrpDevice*>(made);
        if (printerDevice_ == nullptr) {
            delete made;
            savedPrinterSetup_.reset();
            SetProducing(false);
            throw EPrintError(Format("TrpProducer.PrintToPrinter: \"%s\" não é um dispositivo.", {DeviceType()}));
        }
        printerDevice_->SetExclusive(true);
        printerDevice_->SetLanguageIndex(LanguageIndex());
        if (printerDevice_->HasPrinter()) printerDevice_->ApplyPrinterSetup(PrinterSetup());
    }

    if (ShowPrintDialog()) {
        printDialog_ =
            dynamic_cast<TrpCustomPrintDialog*>(rpCreateDialog(TrpCustomPrintDialog::StaticClassType(), nullptr));
        if (printDialog_ != nullptr) {
            printDialog_->SetReport(this);
            printDialog_->SetDeviceType(DeviceType());
            printDialog_->Printer = printerDevice_ != nullptr ? printerDevice_->Printer() : nullptr;
            printDialog_->SetLanguageIndex(LanguageIndex());
            printDialog_->AllowPrintToArchive = AllowPrintToArchive();
            printDialog_->AllowPrintToFile = AllowPrintToFile();
            printDialog_->ArchiveFileName = ArchiveFileName();
            printDialog_->TextFileName = TextFileName();
            printDialog_->BackgroundPrintActive = BackgroundPrintSettings()->Active();
            printDialog_->PageRequest()->SetPageRequested(CurrentPage());
            printDialog_->Designing = Owner() != nullptr && Owner()->ComponentState().Contains(csDesigning);
            printDialog_->PrinterSetup()->Assign(PrinterSetup());
            if (printerDevice_ != nullptr && printerDevice_->HasPrinter())
                printerDevice_->ReadPrinterSetup(printDialog_->PrinterSetup());
            printDialog_->Init();
        }
    }
    Fire(OnPrintDialogCreate);
    if (printDialog_ != nullptr) {
        TrpPrinterSetup offered(nullptr);
        offered.Assign(printDialog_->PrinterSetup());
        const bool ok = printDialog_->ShowModal();
        Fire(OnPrintDialogClose);
        BackgroundPrintSettings()->SetActive(printDialog_->BackgroundPrintActive);
        if (!ok) {
            FinishPrinting();
            return;
        }
        // The printer, copies and collation the user changed go to the
        // printer, from which the setup is read back below; what the dialog
        // left alone stays as the printer now has it.
        const TrpPrinterSetup* chosen = printDialog_->PrinterSetup();
        if (printerDevice_ != nullptr && printerDevice_->HasPrinter() &&
            (chosen->PrinterName() != offered.PrinterName() || chosen->Copies() != offered.Copies() ||
             chosen->Collation() != offered.Collation())) {
            TrpPrinterSetup now(nullptr);
            now.Assign(PrinterSetup());
            printerDevice_->ReadPrinterSetup(&now);
            if (chosen->PrinterName() != offered.PrinterName()) now.SetPrinterName(chosen->PrinterName());
            if (chosen->Copies() != offered.Copies()) now.SetCopies(chosen->Copies());
            if (chosen->Collation() != offered.Collation()) now.SetCollation(chosen->Collation());
            printerDevice_->ApplyPrinterSetup(&now);
        }
    }
    const bool background = BackgroundPrintSettings()->Active();
    if (!background) {
        TrpDevice* made = nullptr;
        try {
            made = CreateFileDevice(deviceClass);
        } catch (...) {
            FinishPrinting();
            throw;
        }
        if (made != nullptr && fileDevice_ != nullptr) {
            delete made;
            FinishPrinting();
            throw ETessaryError("TrpProducer.PrintToPrinter: The file device has already been created.");
        }
        if (made != nullptr) fileDevice_ = made;
        if (fileDevice_ == nullptr) {
            // Pages made for a printer that cannot print would be lost.
            if (printerDevice_ == nullptr || !printerDevice_->PrinterReady()) {
                rpShowUserMessage(rpLanguageText(kPrinterProblemText));
                FinishPrinting();
                return;
            }
            if (printDialog_ != nullptr) printerDevice_->SetPageRequest(printDialog_->PageRequest());
        }
    }
    // In the background the manager's own device takes the pages.
    TrpDevice* output = fileDevice_ != nullptr ? fileDevice_ : printerDevice_;
    if (output != nullptr) output->SetPublisher(Publisher());
    ReservedHook();

    if (fileDevice_ == nullptr && printerDevice_ != nullptr && printerDevice_->HasPrinter()) {
        TrpPrinterSetup chosen(nullptr);
        chosen.Assign(PrinterSetup());
        printerDevice_->ReadPrinterSetup(&chosen);
        PrinterSetup()->Assign(&chosen);
        if (chosen.PrinterName() != savedPrinterSetup_->PrinterName() ||
            chosen.Orientation() != savedPrinterSetup_->Orientation() ||
            chosen.PaperName() != savedPrinterSetup_->PaperName()) {
            setupChanged_ = true;
            DiscardPagesForOtherSetup();
        }
    }


    if (ShowCancelDialog() && !background) {
        cancelDialog_ =
            dynamic_cast<TrpCustomCancelDialog*>(rpCreateDialog(TrpCustomCancelDialog::StaticClassType(), nullptr));
        if (cancelDialog_ != nullptr) {
            cancelDialog_->SetReport(this);
            cancelDialog_->SetLanguageIndex(LanguageIndex());
            cancelDialog_->OnCancel = [this] {
                Cancel();
                DoOnCancel();
            };
            cancelDialog_->OnClose = [this] {
                Fire(OnCancelDialogClose);
                TrpDevice* device = fileDevice_ != nullptr ? fileDevice_ : printerDevice_;
                if (device != nullptr) device->SetCancelDialog(nullptr);
            };
            if (output != nullptr) output->SetCancelDialog(cancelDialog_);
        }
    }
    Fire(OnCancelDialogCreate);
    std::unique_ptr<TrpCustomCancelDialog> dialog;
    try {
        if (cancelDialog_ != nullptr) {
            if (ModalCancelDialog()) {
                cancelDialog_->OnStart = [this] { RunPrintJob(); };
                cancelDialog_->ExecuteModal();
            } else {
                cancelDialog_->Show();
                RunPrintJob();
            }
        } else if (background) {
            if (printDialog_ != nullptr)
                InternalPrintInBackground(printDialog_->PageRequest(), printDialog_->DeviceType(),
                                          printDialog_->TextFileName, printDialog_->ArchiveFileName);
            else
                PrintInBackground();
            FinishPrinting();
        } else {
            RunPrintJob();
        }
    } catch (...) {
        FinishPrinting();
        delete cancelDialog_;
        cancelDialog_ = nullptr;
        throw;
    }
    delete cancelDialog_;
    cancelDialog_ = nullptr;
}

void TrpProducer::DiscardPagesForOtherSetup() {
    SetProducing(false);
    Publisher()->ClearPages();
    ResetPrintState();
    SetProducing(true);
}

TrpDevice* TrpProducer::CreateFileDevice(TClass DeviceClass) {
    const TClass fileClass = TrpFileDevice::StaticClassType();
    const TClass archiveClass = TrpArchiveDevice::StaticClassType();
    const bool isFile = DeviceClass->InheritsFrom(fileClass);
    const bool isArchive = DeviceClass->InheritsFrom(archiveClass);
    TrpCustomPrintDialog* dialog = printDialog_;
    TClass makeClass = nullptr;
    bool archive = false;
    if (dialog != nullptr ? dialog->PrintToFile : isFile && !isArchive) {
        makeClass = DeviceClass;
        if (dialog != nullptr) {
            const TClass chosen = GetDeviceClassForName(dialog->DeviceType());
            if (chosen != nullptr) makeClass = chosen;
        }
    } else if (dialog != nullptr ? dialog->PrintToArchive : isArchive) {
        makeClass = isArchive ? DeviceClass : archiveClass;
        if (dialog != nullptr) {
            const TClass chosen = GetDeviceClassForName(dialog->DeviceType());
            if (chosen != nullptr && chosen->InheritsFrom(archiveClass)) makeClass = chosen;
        }
        archive = true;
    }
    if (makeClass == nullptr) return nullptr;
    if (!makeClass->Create || !makeClass->InheritsFrom(fileClass))
        throw EPrintError(Format("TrpProducer.PrintToPrinter: \"%s\" não é um dispositivo de arquivo.",
                                 {makeClass->Name}));
    auto* device = static_cast<TrpFileDevice*>(dynamic_cast<TrpDevice*>(makeClass->Create(this)));
    device->SetLanguageIndex(LanguageIndex());
    if (archive) {
        device->SetFileName(dialog != nullptr ? dialog->ArchiveFileName : ArchiveFileName());
    } else {
        if (auto* text = dynamic_cast<TrpTextFileDevice*>(device)) {
            text->SetReport(this);
            text->OnSaveText = [this](TObject* Sender, std::string& Text) { SaveText(Sender, Text); };
            text->SetTextFileType(TextFileType());
        }
        device->SetFileName(dialog != nullptr ? dialog->TextFileName : TextFileName());
    }
    // Only the devices that write PDF know these options.
    const TPropInfo* pdf = device->ClassType()->FindProp("PDFSettings");
    if (pdf != nullptr && pdf->SetObject) pdf->SetObject(device, PDFSettings());
    if (dialog != nullptr) device->SetPageRequest(dialog->PageRequest());
    return device;
}

void TrpProducer::FinishPrinting() {
    if (cancelDialog_ != nullptr) cancelDialog_->Close();
    if (setupChanged_) DiscardPagesForOtherSetup();
    if (!SavePrinterSetup() && savedPrinterSetup_ != nullptr) PrinterSetup()->Assign(savedPrinterSetup_.get());
    delete printDialog_;
    printDialog_ = nullptr;
    savedPrinterSetup_.reset();
    if (fileDevice_ != nullptr) {
        fileDevice_->SetPublisher(nullptr);
        delete fileDevice_;
        fileDevice_ = nullptr;
    }
    if (printerDevice_ != nullptr) {
        printerDevice_->SetPublisher(nullptr);
        delete printerDevice_;
        printerDevice_ = nullptr;
    }
    SetProducing(false);
    setupChanged_ = false;
    SendEventNotify(this, rpevPrintingFinished, nullptr);
}

// ---------------------------------------------------------------------------
// Conversion of old reports

void TrpProducer::ConvertBeforePrinting(int From) {
    if (Printing()) return;
    rpShowUserMessage(kConversionMessage);
    SetPrinting(true);
    bool waiting = true;
    const TrpConversionWait& wait = ConversionWait();
    try {
        if (wait.StartTimer) {
            wait.StartTimer(kConversionWaitMs, [&waiting] { waiting = false; });
            while (waiting) {
                if (wait.Pump)
                    wait.Pump();
                else
                    rpProcessMessages();
            }
            if (wait.StopTimer) wait.StopTimer();
        } else {
            // Real time, not the report clock, which tests hold still.
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kConversionWaitMs);
            while (std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                if (wait.Pump)
                    wait.Pump();
                else
                    rpProcessMessages();
            }
        }
    } catch (...) {
        SetPrinting(false);
        throw;
    }
    ClearConvertedFromPre40();
    SetPrinting(false);
    if (From == 1) {
        DoBeforePrint();
        if (!JobStarted() && !Cancelled()) Publisher()->Reset();
        SetJobStarted(true);
        SetCancelledFlag(false);
        Publisher()->RequestPages();
        if (Cancelled()) Publisher()->CancelJob();
        if (IsNonScreenDevice()) {
            DoAfterPrint();
            DoOnPrintingComplete();
        }
        return;
    }
    PrintWithoutConversion();
}
