#include "preview/rpPrintDialog.h"

#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/StdCtrls.h"
#include "report/rpDevice.h"
#include "report/rpPrinterList.h"
#include "report/rpProducer.h"
#include "report/rpUtils.h"

namespace {

enum : int {
    txPrint = 1036,
    txPrinter = 1037,
    txPrinterName = 1038,
    txPageRange = 1039,
    txAll = 1040,
    txCurrentPage = 1041,
    txPages = 1042,
    txPageHint = 1043,
    txCopies = 1044,
    txNumberOfCopies = 1045,
    txCollate = 1046,
    txPrintToFile = 1047,
    txFileType = 1048,
    txFileName = 1049,
    txPrintToArchive = 1050,
    txBackground = 1051,
    txOK = 1052,
    txCancel = 1053,
    txPrintWhich = 1054,
    txAllInRange = 1055,
    txOddPages = 1056,
    txEvenPages = 1057,
    txNoPages = 1058,
    txBadCopies = 1059,
    txNoFileName = 1060,
    txBrowse = 1070,
};

// The copies typed; 0 when the text is no whole number.
int ParseCopies(const std::string& Text) {
    const std::string t = Trim(Text);
    if (t.empty() || t.size() > 4) return 0;
    int n = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

void Warn(const std::string& Text) { MessageDlg(Text, mtWarning, {mbOK}); }

constexpr const char* kNoPrinter = "Nenhuma impressora está instalada.";

}  // namespace

TClass TrpPrintDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpPrintDialog>("TrpPrintDialog", TrpCustomPrintDialog::StaticClassType()).Build();
    return &info;
}

TrpPrintDialog::TrpPrintDialog(TComponent* AOwner)
    : TrpCustomPrintDialog(AOwner),
      printerNames_(std::make_unique<TStringList>()),
      fileDeviceNames_(std::make_unique<TStringList>()),
      form_(std::make_unique<TrpPrintDialogForm>(nullptr, this)) {}

TrpPrintDialog::~TrpPrintDialog() = default;

void TrpPrintDialog::SetReport(TrpProducer* Value) {
    TrpCustomPrintDialog::SetReport(Value);
    form_->SetReport(Value);
}

void TrpPrintDialog::SetLanguageIndex(int Value) {
    TrpCustomPrintDialog::SetLanguageIndex(Value);
    form_->SetLanguageIndex(Value);
}

bool TrpPrintDialog::BackgroundAllowed() const {
    return Report() != nullptr && Report()->BackgroundPrintSettings()->Enabled();
}

void TrpPrintDialog::Init() {
    TrpPrinterList* printers = GetPrinterList();
    printerNames_->Clear();
    // Only what prints is offered: the screen's pseudo printer only
    // measures pages, and "Default" is that same screen while no printer
    // is the default.
    const std::string defaultName = printers->DefaultPrinterName();
    const bool noDefault = SameText(defaultName, "Screen");
    TStringList names;
    printers->GetPrinterNames(&names);
    for (int i = 0; i < names.Count(); ++i)
        if (!SameText(names[i], "Screen") && !(noDefault && SameText(names[i], "Default"))) printerNames_->Add(names[i]);
    PrinterName = PrinterSetup()->PrinterName();
    if (PrinterName.empty() || SameText(PrinterName, "Default")) PrinterName = defaultName;
    shownPrinterName_ = PrinterName;
    if (printerNames_->Count() > 0 && printerNames_->IndexOf(PrinterName) < 0) {
        // A printer that is not there (the printer device then stands in
        // the screen for it) is not offered: the report's own printer is, or
        // the default one, or the first installed. Offered in its place, it
        // is taken on OK.
        const std::string own = Report() != nullptr ? Report()->PrinterSetup()->PrinterName() : std::string();
        PrinterName = printerNames_->IndexOf(own) >= 0            ? own
                      : printerNames_->IndexOf(defaultName) >= 0 ? defaultName
                                                                 : (*printerNames_)[0];
        shownPrinterName_ = PrinterSetup()->PrinterName();
    }

    fileDeviceNames_->Clear();
    TStringList devices;
    GetDeviceClasses(&devices);
    const TClass fileClass = TrpFileDevice::StaticClassType();
    const TClass archiveClass = TrpArchiveDevice::StaticClassType();
    for (int i = 0; i < devices.Count(); ++i) {
        const TClass c = DeviceClassOf(&devices, i);
        if (c != nullptr && c->InheritsFrom(fileClass) && !c->InheritsFrom(archiveClass))
            fileDeviceNames_->Add(devices[i]);
    }
    const TClass current = GetDeviceClassForName(DeviceType());
    const bool currentIsArchive = current != nullptr && current->InheritsFrom(archiveClass);
    const bool currentIsFile = current != nullptr && current->InheritsFrom(fileClass) && !currentIsArchive;
    PrintToFile = AllowPrintToFile && currentIsFile;
    PrintToArchive = AllowPrintToArchive && currentIsArchive;
    FileDeviceType = currentIsFile ? DeviceType() : (fileDeviceNames_->Count() > 0 ? (*fileDeviceNames_)[0] : "");
    if (NoPrinter() && !PrintToFile && !PrintToArchive) {
        // Without a printer the output that can be written is chosen.
        if (AllowPrintToFile && fileDeviceNames_->Count() > 0)
            PrintToFile = true;
        else if (AllowPrintToArchive)
            PrintToArchive = true;
    }

    switch (PageRequest()->PageSetting()) {
        case psSinglePage: Range = prgCurrentPage; break;
        case psPageList:
            Range = prgPages;
            PageText = PageRequest()->PageList()->CommaText();
            break;
        default: Range = prgAll; break;
    }
    OddEven = PageRequest()->PageRange();
    CopiesText = IntToStr(PrinterSetup()->Copies() > 0 ? PrinterSetup()->Copies() : 1);
    Collation = PrinterSetup()->Collation();
    if (!BackgroundAllowed()) BackgroundPrintActive = false;
    form_->LoadChoices();
}

bool TrpPrintDialog::Accept() {
    const int copies = ParseCopies(CopiesText);
    if (copies < 1) {
        Warn(rpCaption(txBadCopies, "O número de cópias deve ser um número maior que zero."));
        return false;
    }
    TStringList pages;
    if (Range == prgPages) {
        rpTextToPageList(PageText, &pages, true);
        if (pages.Count() == 0) {
            Warn(rpCaption(txNoPages, "Informe as páginas a imprimir, por exemplo 1,3-5."));
            return false;
        }
    }
    const bool toFile = AllowPrintToFile && PrintToFile;
    const bool toArchive = AllowPrintToArchive && PrintToArchive && !toFile;
    if (!toFile && !toArchive && NoPrinter()) {
        Warn(AllowPrintToFile || AllowPrintToArchive
                 ? std::string(kNoPrinter) + " Marque a impressão para arquivo para gravar o relatório."
                 : std::string(kNoPrinter) + " Instale uma impressora para imprimir o relatório.");
        return false;
    }
    if ((toFile && Trim(TextFileName).empty()) || (toArchive && Trim(ArchiveFileName).empty())) {
        Warn(rpCaption(txNoFileName, "Informe o nome do arquivo."));
        return false;
    }

    TrpPageRequest* request = PageRequest();
    switch (Range) {
        case prgAll: request->SetPageSetting(psAll); break;
        case prgCurrentPage: request->SetPageSetting(psSinglePage); break;
        case prgPages:
            request->SetPageSetting(psPageList);
            request->SetPageList(&pages);
            break;
    }
    request->SetPageRange(OddEven);
    PrinterSetup()->SetCopies(copies);
    PrinterSetup()->SetCollation(Collation);
    // The setup may name the default printer as "Default": it keeps that
    // name unless the user picked another printer, or the pages made for it
    // would be thrown away as made for a different one.
    if (!PrinterName.empty() && PrinterName != shownPrinterName_) PrinterSetup()->SetPrinterName(PrinterName);
    PrintToFile = toFile;
    PrintToArchive = toArchive;
    if (toFile && !FileDeviceType.empty()) SetDeviceType(FileDeviceType);
    if (!BackgroundAllowed()) BackgroundPrintActive = false;
    return true;
}

bool TrpPrintDialog::ShowModal() {
    form_->LoadChoices();
    return form_->ShowModal() == mrOk;
}

// ---------------------------------------------------------------------------

namespace {

template <typename T>
T* Place(TWinControl* Parent, TComponent* Owner, int Left, int Top, int Width, int Height) {
    auto* c = new T(Owner);
    c->SetParent(Parent);
    c->SetBounds(Left, Top, Width, Height);
    return c;
}

}  // namespace

TrpPrintDialogForm::TrpPrintDialogForm(TComponent* AOwner, TrpPrintDialog* Dialog)
    : TrpForm(AOwner), dialog_(Dialog) {
    SetBounds(0, 0, 470, 470);
    PrinterBox = Place<TGroupBox>(this, this, 8, 8, 454, 60);
    PrinterLabel = Place<TLabel>(PrinterBox, this, 12, 26, 60, 20);
    Printers = Place<TComboBox>(PrinterBox, this, 80, 22, 360, 24);
    Printers->SetStyle(csDropDownList);
    NoPrinter = Place<TLabel>(PrinterBox, this, 80, 26, 360, 20);
    NoPrinter->SetCaption(kNoPrinter);
    NoPrinter->SetVisible(false);

    RangeBox = Place<TGroupBox>(this, this, 8, 74, 292, 190);
    AllPages = Place<TRadioButton>(RangeBox, this, 12, 24, 260, 20);
    CurrentPage = Place<TRadioButton>(RangeBox, this, 12, 48, 260, 20);
    Pages = Place<TRadioButton>(RangeBox, this, 12, 72, 80, 20);
    PageText = Place<TEdit>(RangeBox, this, 96, 70, 182, 24);
    PageHint = Place<TLabel>(RangeBox, this, 12, 98, 266, 40);
    PageHint->SetAutoSize(false);
    PageHint->SetWordWrap(true);
    OddEvenLabel = Place<TLabel>(RangeBox, this, 12, 148, 64, 20);
    OddEven = Place<TComboBox>(RangeBox, this, 78, 144, 200, 24);
    OddEven->SetStyle(csDropDownList);

    CopiesBox = Place<TGroupBox>(this, this, 308, 74, 154, 190);
    CopiesLabel = Place<TLabel>(CopiesBox, this, 12, 28, 96, 20);
    Copies = Place<TEdit>(CopiesBox, this, 110, 24, 34, 24);
    Collation = Place<TCheckBox>(CopiesBox, this, 12, 60, 130, 20);

    PrintToFile = Place<TCheckBox>(this, this, 8, 274, 300, 20);
    FileTypeLabel = Place<TLabel>(this, this, 28, 302, 60, 20);
    FileType = Place<TComboBox>(this, this, 96, 298, 200, 24);
    FileType->SetStyle(csDropDownList);
    FileNameLabel = Place<TLabel>(this, this, 28, 332, 60, 20);
    FileName = Place<TEdit>(this, this, 96, 328, 280, 24);
    Browse = Place<TButton>(this, this, 382, 328, 80, 24);
    PrintToArchive = Place<TCheckBox>(this, this, 8, 362, 300, 20);
    ArchiveName = Place<TEdit>(this, this, 96, 386, 280, 24);
    Background = Place<TCheckBox>(this, this, 8, 416, 300, 20);

    OK = Place<TButton>(this, this, 296, 436, 80, 26);
    OK->SetDefault(true);
    Cancel = Place<TButton>(this, this, 382, 436, 80, 26);
    Cancel->SetCancel(true);
    Cancel->SetModalResult(mrCancel);

    OK->OnClick = [this](TObject*) {
        StoreChoices();
        if (dialog_->Accept()) SetModalResult(mrOk);
    };
    Browse->OnClick = [this](TObject*) { BrowseFile(); };
    const TNotifyEvent enable = [this](TObject*) { EnableControls(); };
    AllPages->OnClick = CurrentPage->OnClick = Pages->OnClick = enable;
    PrintToFile->OnClick = [this](TObject*) {
        if (PrintToFile->Checked()) PrintToArchive->SetChecked(false);
        EnableControls();
    };
    PrintToArchive->OnClick = [this](TObject*) {
        if (PrintToArchive->Checked()) PrintToFile->SetChecked(false);
        EnableControls();
    };
    // Typing a page list chooses it.
    PageText->OnChange = [this](TObject*) {
        if (!PageText->Text().empty() && !Pages->Checked()) Pages->SetChecked(true);
        EnableControls();
    };
    // Each label's letter goes to the control it names.
    PrinterLabel->SetFocusControl(Printers);
    OddEvenLabel->SetFocusControl(OddEven);
    CopiesLabel->SetFocusControl(Copies);
    FileTypeLabel->SetFocusControl(FileType);
    FileNameLabel->SetFocusControl(FileName);
    LanguageChanged();
}

void TrpPrintDialogForm::LanguageChanged() {
    SetCaption(rpCaption(txPrint, "Imprimir"));
    PrinterBox->SetCaption(rpCaption(txPrinter, "Impressora"));
    PrinterLabel->SetCaption(rpCaption(txPrinterName, "&Nome:"));
    RangeBox->SetCaption(rpCaption(txPageRange, "Intervalo de páginas"));
    AllPages->SetCaption(rpCaption(txAll, "&Todas"));
    CurrentPage->SetCaption(rpCaption(txCurrentPage, "Página &atual"));
    Pages->SetCaption(rpCaption(txPages, "&Páginas:"));
    PageHint->SetCaption(
        rpCaption(txPageHint, "Informe números e/ou intervalos de páginas separados por vírgulas. Ex.: 1,3-5"));
    OddEvenLabel->SetCaption(rpCaption(txPrintWhich, "Impri&mir:"));
    const int oddEven = OddEven->ItemIndex();
    OddEven->Items()->Clear();
    OddEven->Items()->Add(rpCaption(txAllInRange, "Todas as páginas do intervalo"));
    OddEven->Items()->Add(rpCaption(txOddPages, "Páginas ímpares"));
    OddEven->Items()->Add(rpCaption(txEvenPages, "Páginas pares"));
    OddEven->SetItemIndex(oddEven < 0 ? 0 : oddEven);
    CopiesBox->SetCaption(rpCaption(txCopies, "Cópias"));
    CopiesLabel->SetCaption(rpCaption(txNumberOfCopies, "Número de cópia&s:"));
    Collation->SetCaption(rpCaption(txCollate, "Interca&lar"));
    PrintToFile->SetCaption(rpCaption(txPrintToFile, "Imprimir para arq&uivo"));
    FileTypeLabel->SetCaption(rpCaption(txFileType, "T&ipo:"));
    FileNameLabel->SetCaption(rpCaption(txFileName, "Ar&quivo:"));
    Browse->SetCaption(rpCaption(txBrowse, "P&rocurar..."));
    PrintToArchive->SetCaption(rpCaption(txPrintToArchive, "Imprimir para arquivo &de relatório"));
    Background->SetCaption(rpCaption(txBackground, "Imprimir em se&gundo plano"));
    OK->SetCaption(rpCaption(txOK, "&OK"));
    Cancel->SetCaption(rpCaption(txCancel, "&Cancelar"));
}

void TrpPrintDialogForm::LoadChoices() {
    TrpPrintDialog& d = *dialog_;
    Printers->Items()->Assign(*d.PrinterNames());
    Printers->SetItemIndex(d.PrinterNames()->IndexOf(d.PrinterName));
    Printers->SetVisible(!d.NoPrinter());
    NoPrinter->SetVisible(d.NoPrinter());
    AllPages->SetChecked(d.Range == prgAll);
    CurrentPage->SetChecked(d.Range == prgCurrentPage);
    Pages->SetChecked(d.Range == prgPages);
    PageText->SetText(d.PageText);
    OddEven->SetItemIndex(static_cast<int>(d.OddEven));
    Copies->SetText(d.CopiesText);
    Collation->SetChecked(d.Collation);
    FileType->Items()->Assign(*d.FileDeviceNames());
    FileType->SetItemIndex(d.FileDeviceNames()->IndexOf(d.FileDeviceType));
    PrintToFile->SetChecked(d.AllowPrintToFile && d.PrintToFile);
    FileName->SetText(d.TextFileName);
    PrintToArchive->SetChecked(d.AllowPrintToArchive && d.PrintToArchive);
    ArchiveName->SetText(d.ArchiveFileName);
    Background->SetChecked(d.BackgroundPrintActive);
    EnableControls();
}

void TrpPrintDialogForm::StoreChoices() {
    TrpPrintDialog& d = *dialog_;
    if (Printers->ItemIndex() >= 0) d.PrinterName = Printers->Text();
    d.Range = Pages->Checked() ? prgPages : CurrentPage->Checked() ? prgCurrentPage : prgAll;
    d.PageText = PageText->Text();
    d.OddEven = static_cast<TrpPageRangeType>(OddEven->ItemIndex() < 0 ? 0 : OddEven->ItemIndex());
    d.CopiesText = Copies->Text();
    d.Collation = Collation->Checked();
    d.PrintToFile = PrintToFile->Checked();
    if (FileType->ItemIndex() >= 0) d.FileDeviceType = FileType->Text();
    d.TextFileName = FileName->Text();
    d.PrintToArchive = PrintToArchive->Checked();
    d.ArchiveFileName = ArchiveName->Text();
    d.BackgroundPrintActive = Background->Checked();
}

void TrpPrintDialogForm::EnableControls() {
    TrpPrintDialog& d = *dialog_;
    const bool file = d.AllowPrintToFile && PrintToFile->Checked();
    const bool archive = d.AllowPrintToArchive && PrintToArchive->Checked();
    PrintToFile->SetVisible(d.AllowPrintToFile);
    FileTypeLabel->SetVisible(d.AllowPrintToFile);
    FileType->SetVisible(d.AllowPrintToFile);
    FileNameLabel->SetVisible(d.AllowPrintToFile);
    FileName->SetVisible(d.AllowPrintToFile);
    Browse->SetVisible(d.AllowPrintToFile);
    FileType->SetEnabled(file);
    FileName->SetEnabled(file);
    Browse->SetEnabled(file);
    PrintToArchive->SetVisible(d.AllowPrintToArchive);
    ArchiveName->SetVisible(d.AllowPrintToArchive);
    ArchiveName->SetEnabled(archive);
    Background->SetVisible(d.BackgroundAllowed());
    // The rows offered stack up under the page range; the buttons follow
    // them, with no empty band for the rows left out.
    int y = 274;
    if (d.AllowPrintToFile) {
        PrintToFile->SetTop(y);
        FileTypeLabel->SetTop(y + 28);
        FileType->SetTop(y + 24);
        FileNameLabel->SetTop(y + 58);
        FileName->SetTop(y + 54);
        Browse->SetTop(y + 54);
        y += 88;
    }
    if (d.AllowPrintToArchive) {
        PrintToArchive->SetTop(y);
        ArchiveName->SetTop(y + 24);
        y += 54;
    }
    if (d.BackgroundAllowed()) {
        Background->SetTop(y);
        y += 20;
    }
    OK->SetTop(y);
    Cancel->SetTop(y);
    SetHeight(y + OK->Height() + 8);
    // Output to a file has no printer, copies or collation.
    Printers->SetEnabled(!file && !archive);
    Copies->SetEnabled(!file && !archive);
    Collation->SetEnabled(!file && !archive);
    CurrentPage->SetEnabled(!d.Designing);
}

void TrpPrintDialogForm::BrowseFile() {
    TSaveDialog save(nullptr);
    save.SetFileName(FileName->Text());
    if (save.Execute()) FileName->SetText(save.FileName());
}
