#pragma once
// The print dialog the producer shows before device output. TrpPrintDialog
// keeps the user's choices (printer, pages, copies, collation, output to a
// file or an archive, background printing) and turns them into what the
// producer reads back after OK: the page request, the printer setup, the
// device type and the file names. TrpPrintDialogForm is its window; it
// only copies the controls to the choices and back.
//
// A page list ("1,3-5") always becomes a psPageList request: the pages are
// listed one by one, so a list with gaps prints only what it names.
#include <memory>
#include <string>

#include "platform/rtl/Lists.h"
#include "preview/rpForm.h"
#include "report/rpDialogs.h"

class TButton;
class TCheckBox;
class TComboBox;
class TEdit;
class TGroupBox;
class TLabel;
class TRadioButton;
class TrpPrintDialogForm;

enum TrpPrintRange { prgAll, prgCurrentPage, prgPages };

class TrpPrintDialog : public TrpCustomPrintDialog {
public:
    explicit TrpPrintDialog(TComponent* AOwner);
    ~TrpPrintDialog() override;
    FAT_CLASS(TrpPrintDialog)

    void SetReport(TrpProducer* Value) override;
    void SetLanguageIndex(int Value) override;
    // Reads the printers and the file devices and sets the choices from the
    // fields the producer filled.
    void Init() override;
    bool ShowModal() override;

    // --- The choices ---
    TStrings* PrinterNames() const { return printerNames_.get(); }
    // No printer is installed: only a file or an archive can be written.
    bool NoPrinter() const { return printerNames_->Count() == 0; }
    std::string PrinterName;
    TrpPrintRange Range = prgAll;
    std::string PageText;
    TrpPageRangeType OddEven = prAll;
    // As typed; Accept checks it.
    std::string CopiesText = "1";
    bool Collation = false;
    // The registered devices that write files (archives apart).
    TStrings* FileDeviceNames() const { return fileDeviceNames_.get(); }
    std::string FileDeviceType;
    // The report's background printing may be chosen.
    bool BackgroundAllowed() const;

    // Checks the choices and writes them where the producer reads them.
    // False, with a warning shown, when they cannot be printed (no page
    // named, no copies, no file name, nothing that can print).
    bool Accept();

    TrpPrintDialogForm* Form() const { return form_.get(); }

private:
    std::unique_ptr<TStringList> printerNames_;
    std::unique_ptr<TStringList> fileDeviceNames_;
    std::unique_ptr<TrpPrintDialogForm> form_;
    std::string shownPrinterName_;
};

class TrpPrintDialogForm : public TrpForm {
public:
    FAT_CLASS_NAME(TrpPrintDialogForm)
    TrpPrintDialogForm(TComponent* AOwner, TrpPrintDialog* Dialog);

    // Choices to controls, and back.
    void LoadChoices();
    void StoreChoices();

    TGroupBox* PrinterBox;
    TLabel* PrinterLabel;
    TComboBox* Printers;
    // Stands in the printers' place when none is installed.
    TLabel* NoPrinter;
    TGroupBox* RangeBox;
    TRadioButton* AllPages;
    TRadioButton* CurrentPage;
    TRadioButton* Pages;
    TEdit* PageText;
    TLabel* PageHint;
    TLabel* OddEvenLabel;
    TComboBox* OddEven;
    TGroupBox* CopiesBox;
    TLabel* CopiesLabel;
    TEdit* Copies;
    TCheckBox* Collation;
    TCheckBox* PrintToFile;
    TLabel* FileTypeLabel;
    TComboBox* FileType;
    TLabel* FileNameLabel;
    TEdit* FileName;
    TButton* Browse;
    TCheckBox* PrintToArchive;
    TEdit* ArchiveName;
    TCheckBox* Background;
    TButton* OK;
    TButton* Cancel;

protected:
    void LanguageChanged() override;

private:
    void EnableControls();
    void BrowseFile();
    TrpPrintDialog* dialog_;
};
