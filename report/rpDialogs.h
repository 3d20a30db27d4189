#pragma once
// The dialogs a print run shows, as the report library sees them: abstract
// forms whose concrete classes the preview layer registers (RegisterFormClass).
// The producer makes them by the abstract class's name and talks to them
// only through what is declared here; tests register fakes.
#include <functional>
#include <string>

#include "platform/rtl/Component.h"
#include "report/rpPage.h"

class TrpProducer;

// What every report dialog is given before it is shown.
class TrpCustomReportDialog : public TComponent {
public:
    explicit TrpCustomReportDialog(TComponent* AOwner) : TComponent(AOwner) {}
    FAT_CLASS(TrpCustomReportDialog)

    TrpProducer* Report() const { return report_; }
    virtual void SetReport(TrpProducer* Value) { report_ = Value; }
    int LanguageIndex() const { return languageIndex_; }
    virtual void SetLanguageIndex(int Value) { languageIndex_ = Value; }
    // True: OK, False: cancelled.
    virtual bool ShowModal() = 0;

private:
    TrpProducer* report_ = nullptr;
    int languageIndex_ = 0;
};

// Tells that the report found no data.
class TrpCustomNoDataDialog : public TrpCustomReportDialog {
public:
    using TrpCustomReportDialog::TrpCustomReportDialog;
    FAT_CLASS(TrpCustomNoDataDialog)
};

// Lets the user choose printer, pages, copies and file output.
class TrpCustomPrintDialog : public TrpCustomReportDialog {
public:
    explicit TrpCustomPrintDialog(TComponent* AOwner);
    ~TrpCustomPrintDialog() override;
    FAT_CLASS(TrpCustomPrintDialog)

    const std::string& DeviceType() const { return deviceType_; }
    void SetDeviceType(const std::string& Value) { deviceType_ = Value; }
    bool AllowPrintToArchive = false;
    bool AllowPrintToFile = false;
    std::string ArchiveFileName;
    std::string TextFileName;
    // The user chose to print in the background / to a file / to an archive.
    bool BackgroundPrintActive = false;
    bool PrintToFile = false;
    bool PrintToArchive = false;
    TrpPageRequest* PageRequest() const { return pageRequest_.get(); }

private:
    std::string deviceType_;
    std::unique_ptr<TrpPageRequest> pageRequest_;
};

// Shown while pages go to a device; its cancel hook stops the job.
class TrpCustomCancelDialog : public TrpCustomReportDialog {
public:
    using TrpCustomReportDialog::TrpCustomReportDialog;
    FAT_CLASS(TrpCustomCancelDialog)

    std::function<void()> OnCancel;
    std::function<void()> OnClose;
    // Run by a modal dialog once it shows: the job itself.
    std::function<void()> OnStart;
    // Shows the dialog and, modal, runs OnStart inside it.
    virtual void ExecuteModal() = 0;
    virtual void Show() = 0;
    // Ends the dialog (its OnClose runs).
    virtual void Close() = 0;
    // The text telling which page goes where; devices read it back to skip
    // unchanged updates.
    const std::string& PrintProgress() const { return printProgress_; }
    void SetPrintProgress(const std::string& Value) {
        printProgress_ = Value;
        PrintProgressChanged();
    }

protected:
    virtual void PrintProgressChanged() {}

private:
    std::string printProgress_;
};

// The preview window: it asks for its pages itself once active.
class TrpCustomPreviewer : public TrpCustomReportDialog {
public:
    using TrpCustomReportDialog::TrpCustomReportDialog;
    FAT_CLASS(TrpCustomPreviewer)

    // Run when the window becomes active (the job of a modal preview).
    std::function<void()> OnActivate;
    std::function<void()> OnClose;
    std::function<void()> OnCancel;
    std::function<void()> OnDestroy;
    virtual void BeforePreview() {}
    virtual void Show() = 0;
};

// Asks the user for the values of a report's auto-search fields.
class TrpCustomAutoSearchDialog : public TrpCustomReportDialog {
public:
    using TrpCustomReportDialog::TrpCustomReportDialog;
    FAT_CLASS(TrpCustomAutoSearchDialog)
};

// Makes the registered dialog for Abstract with Owner; nullptr when none is
// registered.
TrpCustomReportDialog* rpCreateDialog(TClass Abstract, TComponent* Owner);
