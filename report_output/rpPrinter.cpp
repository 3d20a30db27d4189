#include "report_output/rpPrinter.h"

#include <QFile>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/rtl/Format.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"
#include "report/rpExcept.h"
#include "report/rpUtils.h"

namespace {

constexpr int kHorizontal = 0;
constexpr int kVertical = 1;
constexpr int kCustomCode = 256;
constexpr int kDefaultResolution = 600;

int ListInt(const TStrings& List, int Index) {
    if (Index < 0 || Index >= List.Count()) return 0;
    return std::atoi(List[Index].c_str());
}

bool IsScreen(const TrpPrinterInfo* Info) { return Info != nullptr && Info->PrinterName() == "Screen"; }

// Why nothing can print on the printer asked for (which resolved to the
// screen's measuring pseudo printer), in words the user can act on.
std::string NoPrinterMessage(const std::string& Asked) {
    TStringList names;
    GetPrinterList()->GetPrinterNames(&names);
    int installed = 0;
    for (int i = 0; i < names.Count(); ++i)
        if (names[i] != "Screen" && names[i] != "Default") ++installed;
    if (installed == 0) return "Nenhuma impressora está instalada.";
    if (Asked.empty() || AnsiSameText(Asked, "Default"))
        return "Nenhuma impressora padrão está definida: escolha uma das impressoras instaladas.";
    if (AnsiSameText(Asked, "Screen"))
        return "A impressora \"Screen\" só mede as páginas e não imprime: escolha uma das impressoras instaladas.";
    return "A impressora \"" + Asked + "\" não está instalada.";
}

// Hundredths of a millimetre to pixels at Dpi.
int HundredthsToPixels(int Value, int Dpi) { return static_cast<int>(std::lround(Value / 2540.0 * Dpi)); }

std::string MillimetreText(int Tenths) {
    if (Tenths % 10 == 0) return std::to_string(Tenths / 10);
    return std::to_string(Tenths / 10) + "." + std::to_string(Tenths % 10);
}

// Pages of a PDF made by Qt's PDF engine (the one its printer uses in PDF
// mode, without the printer's need of an application object, so that a
// background thread prints too): full page, the given resolution, each page
// its own size and orientation.
class TrpPdfPageSink : public TrpPrinterPageSink {
public:
    void BeginDocument(const std::string& FileName) override {
        fileName_ = FileName;
        // Written beside the name and renamed over it: the name is never
        // opened, so a pipe another program puts there meanwhile is refused
        // or replaced, never fed.
        fileio::ClearLastFileError();
        try {
            file_ = std::make_unique<fileio::AtomicFile>(FileName, true);
        } catch (const EFCreateError&) {
            if (int err = fileio::LastFileError(); err != 0)
                throw EPrintError(fileio::SaveFailureMessage(FileName, err, true));
            throw;
        }
        if (!device_.open(file_->Fd(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
            throw EPrintError("Não foi possível gravar o arquivo \"" + FileName + "\".");
        printer_ = std::make_unique<QPdfWriter>(&device_);
        printer_->setPdfVersion(QPagedPaintDevice::PdfVersion_1_4);
        printer_->setCreator(QStringLiteral("Faturamento"));
    }
    QPainter* BeginPage(const TrpPageFormat& F) override {
        const double w = (F.Landscape ? F.HeightTenths : F.WidthTenths) / 10.0;
        const double h = (F.Landscape ? F.WidthTenths : F.HeightTenths) / 10.0;
        const QPageLayout layout(QPageSize(QSizeF(w, h), QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
                                 F.Landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(0, 0, 0, 0));
        if (!painter_.isActive()) {
            printer_->setResolution(F.PixelsPerInchX);
            printer_->setPageLayout(layout);
            if (!painter_.begin(printer_.get())) return nullptr;
        } else {
            printer_->setPageLayout(layout);
            printer_->newPage();
        }
        // Qt's device pixels are at the resolution asked for; the origin
        // goes to the printable area, as the canvas expects.
        painter_.resetTransform();
        painter_.translate(F.OffsetX, F.OffsetY);
        return &painter_;
    }
    void EndPage() override {}
    bool EndDocument() override {
        bool ended = painter_.isActive() && painter_.end();
        printer_.reset();
        ended = device_.flush() && ended;
        device_.close();
        if (!ended || !file_) {
            if (file_) file_->Discard();
            return false;
        }
        fileio::ClearLastFileError();
        try {
            file_->Commit();
        } catch (const EWriteError&) {
            if (int err = fileio::LastFileError(); err != 0)
                throw EPrintError(fileio::SaveFailureMessage(fileName_, err, false));
            throw;
        }
        return true;
    }

private:
    std::string fileName_;
    std::unique_ptr<fileio::AtomicFile> file_;
    QFile device_;
    std::unique_ptr<QPdfWriter> printer_;
    QPainter painter_;
};

TrpPrinterPropertiesDialog& PropertiesDialog() {
    static TrpPrinterPropertiesDialog d;
    return d;
}

}  // namespace

std::unique_ptr<TrpPrinterPageSink> rpNewPdfPageSink() { return std::make_unique<TrpPdfPageSink>(); }

TrpPrinterPropertiesDialog rpSetPrinterPropertiesDialog(TrpPrinterPropertiesDialog Dialog) {
    TrpPrinterPropertiesDialog old = std::move(PropertiesDialog());
    PropertiesDialog() = std::move(Dialog);
    return old;
}

TrpBackendJob rpJobOptions(const TrpJobSettings& S, TrpPrinterInfo* Info, const std::string& Title) {
    TrpBackendJob job;
    job.Title = Title;
    auto* queue = dynamic_cast<TrpQueuePrinterInfo*>(Info);
    auto add = [&job](const std::string& k, const std::string& v) { job.Options.emplace_back(k, v); };
    const bool ownSize = S.PaperCode == kCustomCode || (S.Fields & (TrpJobSettings::jfPaperWidth)) != 0;
    if (ownSize && S.PaperWidth > 0 && S.PaperLength > 0)
        add("media", "Custom." + MillimetreText(S.PaperWidth) + "x" + MillimetreText(S.PaperLength) + "mm");
    else if (!S.Media.empty())
        add("media", S.Media);
    if ((S.Fields & TrpJobSettings::jfDefaultSource) != 0 && queue != nullptr && S.Source != queue->DefaultBin()) {
        const std::string source = queue->SourceForBin(S.Source);
        if (!source.empty()) add("media-source", source);
    }
    add("sides", S.Duplex == 2 ? "two-sided-short-edge" : S.Duplex == 3 ? "two-sided-long-edge" : "one-sided");
    add("copies", std::to_string(std::max(1, S.Copies)));
    add("collate", S.Collate ? "true" : "false");
    // The IPP name of the same choice, for queues that know no "collate".
    if (S.Copies > 1)
        add("multiple-document-handling",
            S.Collate ? "separate-documents-collated-copies" : "separate-documents-uncollated-copies");
    if (!S.ColorMode.empty()) add("print-color-mode", S.ColorMode);
    return job;
}

// ---------------------------------------------------------------------------
// TrpCustomPrinter

// The canvas's surface: the sink's painter between NewPage and EndPage,
// nothing (measuring only) otherwise.
class TrpCustomPrinter::Surface : public gfx::IPageDevice {
public:
    explicit Surface(TrpCustomPrinter& P) : printer_(P) {}
    QPainter* Painter() override { return painter; }
    int PixelsPerInchX() const override { return printer_.ppiX_; }
    int PixelsPerInchY() const override { return printer_.ppiY_; }
    TSize Size() const override { return size; }
    QPainter* painter = nullptr;
    TSize size;

private:
    TrpCustomPrinter& printer_;
};

TrpCustomPrinter::TrpCustomPrinter() : surface_(std::make_unique<Surface>(*this)) {}

TrpCustomPrinter::~TrpCustomPrinter() {
    if (printing_) {
        aborted_ = true;
        try {
            EndDoc();
        } catch (...) {
        }
    }
}

TrpPrinterInfo* TrpCustomPrinter::PrinterInfo() {
    Guard g(lock_);
    if (info_ == nullptr) {
        info_ = GetPrinterList()->GetPrinterInfo(printerName_);
        if (info_ == nullptr || !info_->Valid()) info_ = GetPrinterList()->GetPrinterInfo("Screen");
        ReadMetrics();
    }
    return info_;
}

void TrpCustomPrinter::SetPrinterName(const std::string& Name) {
    Guard g(lock_);
    if (printing_) return;
    if (Name == "Default") {
        GetPrinterList()->RefreshDefault();
    }
    TrpPrinterInfo* info = GetPrinterList()->GetPrinterInfo(Name);
    if (info == nullptr || !info->Valid()) info = GetPrinterList()->GetPrinterInfo("Screen");
    if (info == nullptr) {
        printerName_ = Name;
        info_ = nullptr;
        return;
    }
    if (info != info_) {
        info_ = info;
        printerName_ = AnsiSameText(Name, "Default") ? std::string("Default") : info->PrinterName();
        settings_.Printer = printerName_;
        ReadMetrics();
    }
}

std::string TrpCustomPrinter::GetPrinterDescription() {
    Guard g(lock_);
    if (printerName_ == "Default") return GetPrinterList()->DefaultPrinterName();
    return printerName_;
}

TrpPrinterCapabilities* TrpCustomPrinter::GetCapabilities() {
    TrpPrinterInfo* info = PrinterInfo();
    return info != nullptr ? info->GetCapabilities() : rpNoPrinterInfo()->GetCapabilities();
}

void TrpCustomPrinter::ReadMetrics() {
    auto* queue = dynamic_cast<TrpQueuePrinterInfo*>(info_);
    if (queue == nullptr) {
        // The screen, or no printer at all: measure as the screen does.
        ppiX_ = rpScreenPixelsPerInch(kHorizontal);
        ppiY_ = rpScreenPixelsPerInch(kVertical);
        offsetX_ = offsetY_ = unprintableRight_ = unprintableBottom_ = 0;
        return;
    }
    ppiX_ = queue->ResolutionX() > 0 ? queue->ResolutionX() : kDefaultResolution;
    ppiY_ = queue->ResolutionY() > 0 ? queue->ResolutionY() : ppiX_;
    offsetX_ = offsetY_ = unprintableRight_ = unprintableBottom_ = 0;
    if (const TrpBackendMedia* m = queue->MediaForCode(settings_.PaperCode)) {
        const bool landscape = settings_.Orientation == 2;
        // Margins are given for the portrait sheet; landscape turns them
        // counter-clockwise.
        const int left = landscape ? m->Bottom : m->Left;
        const int top = landscape ? m->Left : m->Top;
        const int right = landscape ? m->Top : m->Right;
        const int bottom = landscape ? m->Right : m->Bottom;
        offsetX_ = HundredthsToPixels(left, ppiX_);
        offsetY_ = HundredthsToPixels(top, ppiY_);
        unprintableRight_ = HundredthsToPixels(right, ppiX_);
        unprintableBottom_ = HundredthsToPixels(bottom, ppiY_);
    }
}

int TrpCustomPrinter::PixelsPerInch(int Axis) const {
    Guard g(lock_);
    return Axis == kVertical ? ppiY_ : ppiX_;
}

void TrpCustomPrinter::GetPageOffsets(int& X, int& Y, int& Right, int& Bottom) {
    Guard g(lock_);
    PrinterInfo();
    X = offsetX_;
    Y = offsetY_;
    Right = unprintableRight_;
    Bottom = unprintableBottom_;
}

bool TrpCustomPrinter::IsColor() {
    auto* queue = dynamic_cast<TrpQueuePrinterInfo*>(PrinterInfo());
    return queue == nullptr || queue->SupportsColor();
}

TCanvas* TrpCustomPrinter::GetCanvas() {
    Guard g(lock_);
    PrinterInfo();
    if (canvas_ == nullptr) canvas_ = std::make_unique<TCanvas>(surface_.get());
    return canvas_.get();
}

void TrpCustomPrinter::SetJobSettings(const TrpJobSettings& Value) {
    Guard g(lock_);
    if (printing_) {
        pendingSettings_ = Value;
        pending_ = true;
        return;
    }
    settings_ = Value;
    ReadMetrics();
}

bool TrpCustomPrinter::ShowPrinterProperties() {
    TrpPrinterPropertiesDialog& dialog = PropertiesDialog();
    if (!dialog) return false;
    TrpJobSettings copy;
    {
        Guard g(lock_);
        copy = settings_;
    }
    if (!dialog(*this, copy)) return false;
    SetJobSettings(copy);
    if (OnDevModeChange) OnDevModeChange(this);
    return true;
}

TrpPageFormat TrpCustomPrinter::CurrentFormat() const {
    TrpPageFormat f;
    f.Landscape = settings_.Orientation == 2;
    int w = settings_.PaperWidth, h = settings_.PaperLength;
    if (settings_.PaperCode != kCustomCode && (settings_.Fields & TrpJobSettings::jfPaperWidth) == 0) {
        // A listed paper: its size from the printer's list.
        TrpPrinterCapabilities* caps = info_ != nullptr ? info_->GetCapabilities() : nullptr;
        const int i = caps != nullptr ? caps->PaperCodes.IndexOf(std::to_string(settings_.PaperCode)) : -1;
        if (i >= 0) {
            w = ListInt(caps->PaperWidths, i);
            h = ListInt(caps->PaperHeights, i);
        }
    }
    if (w <= 0 || h <= 0) {
        w = 2100;
        h = 2970;
    }
    f.WidthTenths = f.Landscape ? h : w;
    f.HeightTenths = f.Landscape ? w : h;
    f.PixelsPerInchX = ppiX_;
    f.PixelsPerInchY = ppiY_;
    f.OffsetX = offsetX_;
    f.OffsetY = offsetY_;
    return f;
}

void TrpCustomPrinter::BeginDoc() {
    Guard g(lock_);
    if (printing_) return;
    TrpPrinterInfo* info = PrinterInfo();
    if (info == nullptr || IsScreen(info)) throw EPrintError(NoPrinterMessage(printerName_));
    temporaryFile_ = outputFileName_.empty();
    if (!temporaryFile_) fileio::RefuseNonRegularTarget(outputFileName_);
    fileName_ = temporaryFile_ ? rpGetTempFileName(rpGetTempPath(), "prn") : outputFileName_;
    if (fileName_.empty()) throw EPrintError("TrpPrinter.BeginDoc: Não foi possível criar o arquivo temporário.");
    sink_ = PageSinkFactory ? PageSinkFactory() : rpNewPdfPageSink();
    sink_->BeginDocument(fileName_);
    printing_ = true;
    aborted_ = false;
    pageNumber_ = 0;
    pageStarted_ = false;
    documentSettings_ = settings_;
}

void TrpCustomPrinter::NewPage() {
    Guard g(lock_);
    if (!printing_ || pageStarted_) return;
    pageStarted_ = true;
    if (pending_) {
        pending_ = false;
        settings_ = pendingSettings_;
        ReadMetrics();
    }
    const TrpPageFormat f = CurrentFormat();
    surface_->painter = sink_->BeginPage(f);
    surface_->size = TSize{static_cast<int>(std::lround(f.WidthTenths / 254.0 * f.PixelsPerInchX)),
                           static_cast<int>(std::lround(f.HeightTenths / 254.0 * f.PixelsPerInchY))};
    if (pageNumber_ == 0) documentSettings_ = settings_;
    ++pageNumber_;
}

void TrpCustomPrinter::EndPage() {
    Guard g(lock_);
    if (!printing_ || !pageStarted_) return;
    pageStarted_ = false;
    surface_->painter = nullptr;
    sink_->EndPage();
}

void TrpCustomPrinter::EndDoc() {
    Guard g(lock_);
    if (!printing_) return;
    if (pageStarted_) EndPage();
    bool written = false;
    try {
        written = sink_->EndDocument() && pageNumber_ > 0;
    } catch (...) {
        // The file could not be put in place (a full disk): the job is over.
        sink_.reset();
        printing_ = pageStarted_ = aborted_ = false;
        pageNumber_ = 0;
        if (temporaryFile_) std::remove(fileName_.c_str());
        throw;
    }
    sink_.reset();
    printing_ = false;
    pageStarted_ = false;
    const bool aborted = aborted_;
    aborted_ = false;
    const int pages = pageNumber_;
    pageNumber_ = 0;
    if (!temporaryFile_) return;
    std::string error;
    int job = 0;
    if (written && !aborted && pages > 0) {
        const std::string queue = info_ != nullptr ? info_->PrinterName() : printerName_;
        job = rpGetPrinterBackend()->SubmitFile(queue, fileName_,
                                                rpJobOptions(documentSettings_, info_, documentName_), error);
    }
    std::remove(fileName_.c_str());
    if (written && !aborted && pages > 0 && job <= 0) {
        const std::string queue = info_ != nullptr ? info_->PrinterName() : printerName_;
        throw EPrintError(error.empty() ? "A impressora \"" + queue + "\" não aceitou o trabalho de impressão." : error);
    }
}

// ---------------------------------------------------------------------------
// TrpPrinter

TrpPrinter::TrpPrinter() : setup_(std::make_unique<TrpPrinterSetup>(nullptr)) {
    setup_->OnPageDefChange = [this](TObject*) { WriteSetupToSettings(); };
    setup_->OnChange = [this](TObject*) { WriteSetupToSettings(); };
    setup_->OnGetPrinter = [this](TObject*, TObject*& Printer) { Printer = this; };
}

TrpPrinter::~TrpPrinter() {
    setup_->OnPageDefChange = nullptr;
    setup_->OnChange = nullptr;
    setup_->OnGetPrinter = nullptr;
}

void TrpPrinter::SetPrinterSetup(const TrpPrinterSetup* Setup) {
    if (Setup == nullptr) return;
    Guard g(lock_);
    auto* given = const_cast<TrpPrinterSetup*>(Setup);
    TrpPrinterInfo* info = PrinterInfo();
    TrpPrinterInfo* wanted = GetPrinterList()->GetPrinterInfo(given->PrinterDescription());
    const bool otherPrinter = info != nullptr && wanted != nullptr && info != wanted;
    if (!otherPrinter && setup_->IsEqual(given)) return;
    if (!Printing() && !AnsiSameText(PrinterName(), given->PrinterName())) SetPrinterName(given->PrinterName());
    setup_->SetActive(false);
    setup_->Assign(given);
    WriteSetupToSettings();
    setup_->SetActive(true);
}

TrpPrinterSetup* TrpPrinter::GetPrinterSetup() {
    ReadSettingsToSetup();
    return setup_.get();
}

void TrpPrinter::WriteSetupToSettings() {
    Guard g(lock_);
    TrpPrinterSetup& s = *setup_;
    const bool wasActive = s.Active();
    s.SetActive(false);
    SetPrinterName(s.PrinterName());
    SetDocumentName(s.DocumentName());
    SetOutputFileName(s.OutputFileName());
    TrpJobSettings j = JobSettings();
    j.Printer = PrinterName();
    j.Fields = TrpJobSettings::jfOrientation | TrpJobSettings::jfPaperSize | TrpJobSettings::jfCopies |
               TrpJobSettings::jfDuplex;
    j.Copies = s.DelegateCopies() && !s.Collation() ? s.Copies() : 1;
    j.Collate = s.Collation();
    j.Duplex = static_cast<int>(s.Duplex()) + 1;
    j.Orientation = static_cast<int>(s.Orientation()) + 1;
    // The paper code is looked up in the printer's lists, which only a
    // ready setup does.
    s.SetActive(wasActive);
    j.PaperCode = s.PaperSize();
    s.SetActive(false);
    const bool landscape = s.Orientation() == poLandscape;
    j.Media.clear();
    j.PaperWidth = j.PaperLength = 0;
    if (s.PaperName() == "Custom" || j.PaperCode == kCustomCode) {
        j.Fields |= TrpJobSettings::jfPaperLength | TrpJobSettings::jfPaperWidth;
        const int w = rpRoundHalfEven(static_cast<long double>(s.PageDef()->mmWidth()) / 100);
        const int h = rpRoundHalfEven(static_cast<long double>(s.PageDef()->mmHeight()) / 100);
        j.PaperWidth = landscape ? h : w;
        j.PaperLength = landscape ? w : h;
    } else if (auto* queue = dynamic_cast<TrpQueuePrinterInfo*>(PrinterInfo())) {
        if (const TrpBackendMedia* m = queue->MediaForCode(j.PaperCode)) j.Media = m->Name;
    }
    TrpPrinterCapabilities* caps = GetCapabilities();
    const int bin = caps->BinNames.IndexOf(s.BinName());
    if (bin >= 0) {
        j.Fields |= TrpJobSettings::jfDefaultSource;
        auto* queue = dynamic_cast<TrpQueuePrinterInfo*>(PrinterInfo());
        const int driverDefault = queue != nullptr ? queue->DefaultBin() : 7;
        j.Source = s.BinName() == "Default" ? driverDefault : ListInt(caps->BinCodes, bin);
    }
    SetJobSettings(j);
    s.SetActive(wasActive);
}

void TrpPrinter::ReadSettingsToSetup() {
    Guard g(lock_);
    TrpPrinterSetup& s = *setup_;
    const bool wasActive = s.Active();
    s.SetActive(false);
    const TrpJobSettings j = JobSettings();
    if (PrinterName() != s.PrinterName()) s.SetPrinterName(PrinterName());
    if ((j.Fields & TrpJobSettings::jfDuplex) != 0 && j.Duplex >= 1 && j.Duplex <= 3)
        s.SetDuplex(static_cast<TrpDuplexType>(j.Duplex - 1));
    if ((j.Fields & TrpJobSettings::jfOrientation) != 0 && (j.Orientation == 1 || j.Orientation == 2))
        s.SetOrientation(static_cast<TPrinterOrientation>(j.Orientation - 1));
    const bool landscape = s.Orientation() == poLandscape;
    TrpPrinterCapabilities* caps = GetCapabilities();
    // Sizes go straight into the page definition: through Units (inches
    // by default, rounded to screen pixels) 100 mm would come back as
    // 100.013 mm.
    auto setSize = [&s, landscape](int Width, int Height) {
        s.PageDef()->SetmmWidth((landscape ? Height : Width) * 100);
        s.PageDef()->SetmmHeight((landscape ? Width : Height) * 100);
    };
    if ((j.Fields & TrpJobSettings::jfPaperSize) != 0) {
        const int i = caps->PaperCodes.IndexOf(std::to_string(j.PaperCode));
        if (i >= 0 && i < caps->PaperNames.Count()) {
            s.SetPaperName(caps->PaperNames[i]);
            setSize(ListInt(caps->PaperWidths, i), ListInt(caps->PaperHeights, i));
        }
    }
    if (j.PaperCode == kCustomCode && j.PaperWidth > 0 && j.PaperLength > 0) setSize(j.PaperWidth, j.PaperLength);
    if ((j.Fields & TrpJobSettings::jfDefaultSource) != 0) {
        auto* queue = dynamic_cast<TrpQueuePrinterInfo*>(PrinterInfo());
        const int driverDefault = queue != nullptr ? queue->DefaultBin() : 7;
        if (j.Source == driverDefault) {
            s.SetBinName("Default");
        } else {
            const int i = caps->BinCodes.IndexOf(std::to_string(j.Source));
            if (i >= 0 && i < caps->BinNames.Count()) s.SetBinName(caps->BinNames[i]);
        }
    }
    s.SetActive(wasActive);
}

TrpPrinter* GetSharedPrinter() { return dynamic_cast<TrpPrinter*>(GetPrinterList()->SharedPrinter()); }
