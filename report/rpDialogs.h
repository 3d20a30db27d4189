#pragma once
// The dialogs a print run shows, as the report library sees them: abstract
// forms whose concrete classes the preview layer registers (RegisterFormClass).
// The producer makes them by the abstract class's name and talks to them
// only through what is declared here; tests register fakes.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Component.h"
#include "report/rpPage.h"
#include "report/rpPrinterSetup.h"
#include "report/rpSettings.h"

class TrpProducer;
class TrpTemplate;

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
    // The producer is about to free this dialog (or itself): the dialog
    // forgets the producer and calls none of its hooks from now on.
    virtual void ReportFreeing() { report_ = nullptr; }

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
    // The printer device's printer, which the dialog edits; nullptr
    // without one.
    TObject* Printer = nullptr;
    bool AllowPrintToArchive = false;
    bool AllowPrintToFile = false;
    std::string ArchiveFileName;
    std::string TextFileName;
    // The user chose to print in the background / to a file / to an archive.
    bool BackgroundPrintActive = false;
    bool PrintToFile = false;
    bool PrintToArchive = false;
    TrpPageRequest* PageRequest() const { return pageRequest_.get(); }
    // The printer's options as the dialog shows and changes them (printer,
    // copies, collation); the producer fills it from the printer before
    // Init and gives it back to the printer after OK.
    TrpPrinterSetup* PrinterSetup() const { return printerSetup_.get(); }
    // The report's owner is being designed.
    bool Designing = false;
    // Called once every field is set, before the dialog is shown.
    virtual void Init() {}

private:
    std::string deviceType_;
    std::unique_ptr<TrpPageRequest> pageRequest_;
    std::unique_ptr<TrpPrinterSetup> printerSetup_;
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

    // The criteria to ask for, in order (not owned).
    const std::vector<TComponent*>& AutoSearchFields() const { return autoSearchFields_; }
    virtual void SetAutoSearchFields(const std::vector<TComponent*>& Value) { autoSearchFields_ = Value; }
    // Called once the fields are set, before the dialog is shown.
    virtual void Init() {}
    std::function<void()> OnClose;

private:
    std::vector<TComponent*> autoSearchFields_;
};

// Asks what to do about an error met while a template is read.
class TrpCustomTemplateErrorDialog : public TrpCustomReportDialog {
public:
    using TrpCustomReportDialog::TrpCustomReportDialog;
    FAT_CLASS(TrpCustomTemplateErrorDialog)

    // The user's answer.
    enum TAnswer { taIgnore, taIgnoreAll, taCancel };

    const std::string& ErrorMessage() const { return errorMessage_; }
    virtual void SetErrorMessage(const std::string& Value) { errorMessage_ = Value; }
    // Valid once ShowModal returned.
    TAnswer Answer() const { return answer_; }

protected:
    void SetAnswer(TAnswer Value) { answer_ = Value; }

private:
    std::string errorMessage_;
    TAnswer answer_ = taCancel;
};

// Lets the user choose the file a template is opened from or saved to, and
// then opens or saves it there: the template's file name follows the
// choice, its format stays. ShowModal answers false when the user cancelled
// or the file could not be read or written (the user was told why); the
// template then holds what it held before.
class TrpCustomTemplateDialog : public TrpCustomReportDialog {
public:
    using TrpCustomReportDialog::TrpCustomReportDialog;
    FAT_CLASS(TrpCustomTemplateDialog)

    enum TMode { tdOpen, tdSave };

    TrpTemplate* Template() const { return template_; }
    void SetTemplate(TrpTemplate* Value) { template_ = Value; }
    TMode Mode() const { return mode_; }
    void SetMode(TMode Value) { mode_ = Value; }
    // The file chosen (the template's own before the dialog is shown).
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& Value) { fileName_ = Value; }

private:
    TrpTemplate* template_ = nullptr;
    TMode mode_ = tdOpen;
    std::string fileName_;
};

// Base of the e-mail dialog: it edits its own copy of the settings, which
// the caller reads back after OK.
class TrpCustomEmailDialog : public TrpCustomReportDialog {
public:
    explicit TrpCustomEmailDialog(TComponent* AOwner);
    ~TrpCustomEmailDialog() override;
    FAT_CLASS(TrpCustomEmailDialog)

    TrpEmailSettings* EmailSettings() const { return emailSettings_.get(); }
    // Copies Value (nullptr is ignored).
    virtual void SetEmailSettings(TrpEmailSettings* Value);

private:
    std::unique_ptr<TrpEmailSettings> emailSettings_;
};

// Makes the registered dialog for Abstract with Owner; nullptr when none is
// registered.
TrpCustomReportDialog* rpCreateDialog(TClass Abstract, TComponent* Owner);
