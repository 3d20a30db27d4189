// Stream, file, text, report-text and archive devices.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>

#include "platform/gfx/Canvas.h"
#include "platform/rtl/Filer.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "report/rpDevice.h"
#include "report/rpDrawCommand.h"
#include "report/rpExcept.h"
#include "report/rpLanguage.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"

TClass TrpStreamDevice::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpStreamDevice>("TrpStreamDevice", TrpDevice::StaticClassType()).Build();
    return &info;
}

TClass TrpFileDevice::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpFileDevice>("TrpFileDevice", TrpStreamDevice::StaticClassType()).Build();
    return &info;
}

TClass TrpTextFileDevice::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpTextFileDevice>("TrpTextFileDevice", TrpFileDevice::StaticClassType()).Build();
    return &info;
}

TClass TrpReportTextFileDevice::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpReportTextFileDevice>("TrpReportTextFileDevice", TrpFileDevice::StaticClassType()).Build();
    return &info;
}

TClass TrpArchiveDevice::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpArchiveDevice>("TrpArchiveDevice", TrpFileDevice::StaticClassType()).Build();
    return &info;
}

// ---------------------------------------------------------------------------
// Stream device

void TrpStreamDevice::SetOutputStream(TStream* Value) {
    if (outputStream_ != nullptr && outputStream_ != Value) ReleaseOutputStream();
    outputStream_ = Value;
}

void TrpStreamDevice::ReleaseOutputStream() {
    if (releasing_) return;
    releasing_ = true;
    try {
        FreeOutputStream();
    } catch (...) {
        releasing_ = false;
        throw;
    }
    releasing_ = false;
}

void TrpStreamDevice::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0 || outputStream_ == nullptr) return;
    if (outputStream_->Write(Buffer, Count) != Count) throw EWriteError(WriteFailureText());
}

void TrpStreamDevice::StartJob() {
    TrpDevice::StartJob();
    if (outputStream_ != nullptr) return;
    try {
        outputStream_ = CreateOutputStream();
    } catch (...) {
        // A file that cannot be made ends the job: the device must not stay
        // busy with nothing to write to.
        TrpDevice::CancelJob();
        throw;
    }
}

void TrpStreamDevice::EndJob() {
    TrpDevice::EndJob();
    if (outputStream_ != nullptr) ReleaseOutputStream();
}

void TrpStreamDevice::CancelJob() {
    TrpDevice::CancelJob();
    if (outputStream_ != nullptr) ReleaseOutputStream();
}

// ---------------------------------------------------------------------------
// File device

TrpFileDevice::TrpFileDevice(TComponent* AOwner) : TrpStreamDevice(AOwner) {}

TrpFileDevice::~TrpFileDevice() {
    // A subclass ended its own job already; here only the file is closed.
    if (fileStream_ != nullptr) {
        ClearOutputStream();
        try {
            fileStream_.reset();
        } catch (...) {
        }
    }
}

void TrpFileDevice::SetFileName(const std::string& Value) {
    if (!Busy()) fileName_ = Value;
}

void TrpFileDevice::SetCreateFile(bool Value) {
    if (!Busy()) createFile_ = Value;
}

TFileStream* TrpFileDevice::OpenFile() {
    if (!createFile_) return nullptr;
    // A report goes into a file of its own, never into a pipe or a device.
    // The stream checks again what it finds at the name and never opens
    // it: another program may put a pipe there after this first look.
    fileio::RefuseNonRegularTarget(fileName_);
    fileio::ClearLastFileError();
    try {
        fileStream_ = std::make_unique<TFileStream>(fileName_, fmCreate | fmRegularFileOnly);
    } catch (const EFCreateError&) {
        // The clerk reads which file and why in his words (a read-only
        // folder); a refusal said so already goes on as it is.
        if (int err = fileio::LastFileError(); err != 0)
            throw EFCreateError(fileio::SaveFailureMessage(fileName_, err, true));
        throw;
    }
    return fileStream_.get();
}

std::string TrpFileDevice::FileFailure() const {
    if (fileStream_ == nullptr || fileStream_->WriteError() == 0) return {};
    return fileio::SaveFailureMessage(fileName_, fileStream_->WriteError(), false);
}

std::string TrpFileDevice::WriteFailureText() const {
    std::string text = FileFailure();
    return text.empty() ? TrpStreamDevice::WriteFailureText() : text;
}

TStream* TrpFileDevice::CreateOutputStream() { return OpenFile(); }

void TrpFileDevice::FreeOutputStream() {
    if (fileStream_ == nullptr) return;
    if (OutputStream() == fileStream_.get()) ClearOutputStream();
    std::unique_ptr<TFileStream> file = std::move(fileStream_);
    fileio::ClearLastFileError();
    try {
        file->Commit();
    } catch (const EWriteError&) {
        // The old file stays; the clerk learns which file and why.
        int err = file->WriteError() != 0 ? file->WriteError() : fileio::LastFileError();
        if (err != 0) throw EWriteError(fileio::SaveFailureMessage(fileName_, err, false));
        throw;
    }
}

void TrpFileDevice::DiscardFile() {
    if (fileStream_ == nullptr) return;
    if (OutputStream() == fileStream_.get()) ClearOutputStream();
    // The job wrote beside the target: dropping that leaves a file of the
    // same name from before as it was (removing the name would lose it).
    fileStream_->Discard();
    fileStream_.reset();
}

void TrpFileDevice::StartJob() {
    TrpStreamDevice::StartJob();
    UpdateStatus(nullptr);
}

void TrpFileDevice::UpdateStatus(TrpPage* Page) {
    std::string text;
    if (Page == nullptr) {
        text = rpLanguageText(2);
    } else if (SkipOutput()) {
        return;
    } else if (PageRequest()->PageSetting() != psAll || Page->PassSetting() != psTwoPass) {
        text = Format(rpTagsToFormat(rpLanguageText(27)),
                      {TVarRec(std::to_string(Page->AbsolutePageNo())), TVarRec(Page->DocumentName()), TVarRec(fileName_)});
    } else {
        text = Format(rpTagsToFormat(rpLanguageText(28)),
                      {TVarRec(std::to_string(Page->AbsolutePageNo())), TVarRec(std::to_string(Page->AbsolutePageCount())),
                       TVarRec(Page->DocumentName()), TVarRec(fileName_)});
    }
    if (text != Status()) SetStatus(text);
}

// ---------------------------------------------------------------------------
// Delimited text file

std::string TrpTextFileDevice::FileDescription() { return rpLanguageText(37); }

TrpTextFileDevice::~TrpTextFileDevice() {
    if (Busy()) {
        try {
            EndJob();
        } catch (...) {
        }
    }
}

void TrpTextFileDevice::SetTextFileType(TrpFileType Value) {
    if (!Busy()) textFileType_ = Value;
}

void TrpTextFileDevice::ClearState() {
    endOfLine_ = endOfPage_ = startOfReport_ = lastLineOfReport_ = startOfLine_ = startOfPage_ = false;
    fieldNo_ = lineNo_ = 0;
}

void TrpTextFileDevice::StartJob() {
    TrpFileDevice::StartJob();
    ClearState();
}

void TrpTextFileDevice::EndJob() {
    TrpFileDevice::EndJob();
    ClearState();
}

void TrpTextFileDevice::ReceivePage(TrpPage* Page) {
    TrpDevice::ReceivePage(Page);
    if (Page == nullptr || !PageRequested()) return;
    UpdateStatus(Page);
    if (!SkipOutput() && Busy() && !Cancelled()) SavePageToFile(Page);
}

std::string TrpTextFileDevice::QuoteCommaValue(const std::string& Value) {
    // Quoted by the report already: left alone, as files written before
    // read back.
    if (Value.size() >= 2 && Value.front() == '"' && Value.back() == '"') return Value;
    if (Value.find_first_of(", \"\r\n") == std::string::npos) return Value;
    std::string out = "\"";
    for (char c : Value) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

void TrpTextFileDevice::SavePageToFile(TrpPage* Page) {
    std::vector<TrpDrawText*> texts;
    for (int i = 0; i < Page->DrawCommandCount(); ++i) {
        auto* t = dynamic_cast<TrpDrawText*>(Page->DrawCommands(i));
        if (t != nullptr && t->BandSave() && t->ComponentSave()) texts.push_back(t);
    }
    if (texts.empty()) return;
    std::stable_sort(texts.begin(), texts.end(),
                     [](TrpDrawText* a, TrpDrawText* b) { return a->GetSaveKey() < b->GetSaveKey(); });
    std::string separator;
    if (textFileType_ == ftComma) separator = ",";
    if (textFileType_ == ftTab) separator = "\t";
    startOfPage_ = true;
    endOfPage_ = false;
    startOfReport_ = Page->AbsolutePageNo() == 1;
    const int lastBand = texts.back()->BandSaveNo();
    size_t i = 0;
    while (i < texts.size()) {
        const int band = texts[i]->BandSaveNo();
        size_t end = i;
        while (end < texts.size() && texts[end]->BandSaveNo() == band) ++end;
        fieldNo_ = 0;
        startOfLine_ = true;
        endOfLine_ = false;
        lastLineOfReport_ = Page->LastPage() && band == lastBand;
        std::string line;
        for (size_t k = i; k < end; ++k) {
            TrpDrawText* t = texts[k];
            if (k + 1 == end) endOfLine_ = true;
            if (k + 1 == texts.size()) endOfLine_ = endOfPage_ = true;
            std::string value = t->Text();
            if (textFileType_ == ftFixedLength) value = rpPadText(value, t->SaveLength(), t->Alignment());
            if (textFileType_ == ftComma) value = QuoteCommaValue(value);
            saveComponent_ = t->ReportComponent;
            if (OnSaveText) OnSaveText(this, value);
            saveComponent_ = nullptr;
            startOfPage_ = false;
            if (startOfLine_) {
                startOfLine_ = false;
                line += value;
            } else {
                line += separator + value;
            }
            ++fieldNo_;
        }
        if (!line.empty()) {
            Write(Utf8ToCp1252(line));
            if (textFileType_ != ftCustom && !(Page->LastPage() && endOfPage_)) Write("\r\n");
        }
        startOfReport_ = false;
        ++lineNo_;
        i = end;
    }
}

// ---------------------------------------------------------------------------
// Report text file

namespace {

// A screen canvas (96 dpi) that measures only: the character cell of the
// grid is the screen's.
gfx::MeasureOnlyDevice& ScreenDevice() {
    static gfx::MeasureOnlyDevice device{96, 96};
    return device;
}

class ScreenMeasure : public TCanvas {
public:
    ScreenMeasure() : TCanvas(&ScreenDevice()) {}
};

struct GridText {
    std::string Text;
    int32_t Left, Top, Width;
    int Alignment;
    bool AutoSize;
};

}  // namespace

std::string TrpReportTextFileDevice::FileDescription() { return rpLanguageText(12); }

TrpReportTextFileDevice::~TrpReportTextFileDevice() {
    if (Busy()) {
        try {
            EndJob();
        } catch (...) {
        }
    }
}

void TrpReportTextFileDevice::ReceivePage(TrpPage* Page) {
    TrpDevice::ReceivePage(Page);
    if (Page == nullptr || !PageRequested()) return;
    UpdateStatus(Page);
    if (!SkipOutput() && Busy() && !Cancelled()) SavePageToFile(Page);
}

void TrpReportTextFileDevice::SavePageToFile(TrpPage* Page) {
    ScreenMeasure canvas;
    auto toMM = [](int Pixels, int Axis) {
        return static_cast<int32_t>(std::lround(rpFromScreenPixels(Pixels, utMMThousandths, Axis, nullptr)));
    };
    std::vector<GridText> texts;
    TFont* firstFont = nullptr;
    std::multimap<std::string, size_t> order;
    for (int i = 0; i < Page->DrawCommandCount(); ++i) {
        auto* t = dynamic_cast<TrpDrawText*>(Page->DrawCommands(i));
        if (t == nullptr) continue;
        const int align = static_cast<int>(t->Alignment());
        if (t->WrappedText()->Count() > 0) {
            canvas.SetFont(*t->Font());
            const int32_t h = toMM(canvas.TextHeight("0"), 1);
            for (int l = 0; l < t->WrappedText()->Count(); ++l)
                texts.push_back({t->WrappedText()->Strings(l), t->Left(), t->Top() + h * l, t->Width(), align,
                                 t->AutoSize()});
        } else {
            texts.push_back({t->Text(), t->Left(), t->Top(), t->Width(), align, t->AutoSize()});
        }
        if (firstFont == nullptr) firstFont = t->Font();
    }
    if (texts.empty()) return;
    std::stable_sort(texts.begin(), texts.end(), [](const GridText& a, const GridText& b) {
        return Format("%8d%8d", {TVarRec(a.Top), TVarRec(a.Left)}) < Format("%8d%8d", {TVarRec(b.Top), TVarRec(b.Left)});
    });
    // The grid: a fixed-pitch cell no narrower than the report's own text.
    int size = fontSize_;
    if (autoFontSize_) {
        TFont probe;
        probe.SetName("Courier New");
        probe.SetSize(8);
        canvas.SetFont(probe);
        const int w8 = canvas.TextWidth("0");
        probe.SetSize(10);
        canvas.SetFont(probe);
        const int w10 = canvas.TextWidth("0");
        canvas.SetFont(*firstFont);
        const int own = canvas.TextWidth("0");
        size = w8 >= own ? 8 : w10 >= own ? 10 : 12;
    }
    TFont cellFont;
    cellFont.SetName("Courier New");
    cellFont.SetSize(size);
    canvas.SetFont(cellFont);
    const TrpPageDef* def = Page->PageDef();
    int32_t cellW = 0, cellH = 0;
    if (calcGridFromFont_) {
        cellW = std::max(1, toMM(canvas.TextWidth("0"), 0));
        cellH = std::max(1, toMM(canvas.TextHeight("0"), 1));
        charsPerLine_ = def->mmWidth() / cellW;
        linesPerPage_ = def->mmHeight() / cellH;
    } else {
        cellW = std::max(1, def->mmWidth() / std::max(1, charsPerLine_));
        cellH = std::max(1, def->mmHeight() / std::max(1, linesPerPage_));
    }
    const std::string blank(static_cast<size_t>(std::max(0, charsPerLine_)), ' ');
    std::u32string line = gfx::Characters(blank);
    int lineNo = 1;
    auto writeLine = [&]() {
        std::u32string trimmed = line;
        while (!trimmed.empty() && trimmed.back() == U' ') trimmed.pop_back();
        std::string utf8;
        for (char32_t c : trimmed) utf8::Append(utf8, c);
        if (!utf8.empty()) Write(Utf8ToCp1252(utf8));
        if (!(Page->LastPage() && lineNo == linesPerPage_)) Write("\r\n");
        ++lineNo;
        line = gfx::Characters(blank);
    };
    size_t next = 0;
    while (next < texts.size() && lineNo <= linesPerPage_) {
        const GridText& t = texts[next];
        // Texts above the paper's edge go to the first row and column.
        const int row = std::max(0, t.Top) / cellH + 1;
        if (row != lineNo) {
            if (row < lineNo) {  // never reached: sorted by row
                ++next;
                continue;
            }
            writeLine();
            continue;
        }
        const int column = std::max(0, t.Left) / cellW + 1;
        int width = std::max(0, t.Width) / cellW + 1;
        const std::u32string chars = gfx::Characters(t.Text);
        if (t.AutoSize) width = std::max(width, static_cast<int>(chars.size()));
        const std::u32string padded = gfx::Characters(rpPadText(t.Text, width, t.Alignment));
        const size_t at = static_cast<size_t>(column - 1);
        if (line.size() < at) line.resize(at, U' ');
        line.erase(at, std::min(padded.size(), line.size() - at));
        line.insert(at, padded);
        ++next;
    }
    while (lineNo <= linesPerPage_) writeLine();
}

// ---------------------------------------------------------------------------
// Archive

std::string TrpArchiveDevice::FileDescription() { return rpLanguageText(34); }

TrpArchiveDevice::~TrpArchiveDevice() {
    if (Busy()) {
        try {
            EndJob();
        } catch (...) {
        }
    }
    DropTempFile();
}

void TrpArchiveDevice::DropTempFile() {
    // An open page file has no name any more (see StartJob); the name
    // may be another's by now.
    if (pageStream_ == nullptr && !tempFileName_.empty()) std::remove(tempFileName_.c_str());
    pageStream_.reset();
    tempFileName_.clear();
}

void TrpArchiveDevice::WriteInt32(int64_t Value) {
    if (Value > std::numeric_limits<int32_t>::max())
        throw EPrintError("TrpArchiveDevice.SavePage: the archive is larger than 2 GB");
    const auto v = static_cast<uint32_t>(Value);
    const unsigned char bytes[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                    static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    Write(bytes, 4);
}

void TrpArchiveDevice::StartJob() {
    TrpFileDevice::StartJob();
    if (!Busy()) return;
    DropTempFile();
    tempFileName_ = rpGetTempFileName(rpGetTempPath(), "arc");
    try {
        if (tempFileName_.empty()) throw EFOpenError("arc");
        pageStream_ = std::make_unique<TFileStream>(tempFileName_, fmOpenReadWrite);
        // Nameless once open: a program killed in the middle of a job leaves
        // nothing behind in the shared temporary folder.
        ::unlink(tempFileName_.c_str());
    } catch (const Exception&) {
        const std::string name = tempFileName_.empty() ? rpGetTempPath() + "arc" : tempFileName_;
        DropTempFile();
        TrpDevice::CancelJob();
        DiscardFile();
        throw EPrintError(Format(rpTagsToFormat(rpLanguageText(67)), {TVarRec(name)}));
    }
    if (OutputStream() != nullptr) OutputStream()->SetPosition(4);
}

void TrpArchiveDevice::ReceivePage(TrpPage* Page) {
    TrpDevice::ReceivePage(Page);
    if (Page == nullptr || !PageRequested()) return;
    UpdateStatus(Page);
    if (SkipOutput() || !Busy() || Cancelled()) return;
    try {
        SavePage(Page);
    } catch (...) {
        DropTempFile();
        TrpDevice::CancelJob();
        DiscardFile();
        ClearOutputStream();
        throw;
    }
}

void TrpArchiveDevice::SavePage(TrpPage* Page) {
    if (pageStream_ == nullptr || OutputStream() == nullptr) return;
    if (!Page->LastPage() && outlineOnLastPageOnly_) {
        if (TrpDrawCommand* outline = Page->GetOutlineDrawCommand()) {
            Page->RemoveDrawCommand(outline);
            delete outline;
        }
    }
    WriteInt32(pageStream_->Position());
    WriteInt32(Page->AbsolutePageNo());
    WriteComponent(*pageStream_, Page);
}

void TrpArchiveDevice::EndJob() {
    if (!Busy()) return;
    try {
        if (OutputStream() != nullptr && pageStream_ != nullptr) {
            TStream* out = OutputStream();
            const int64_t dataOffset = out->Position();
            pageStream_->SetPosition(0);
            if (pageStream_->Size() > 0) out->CopyFrom(*pageStream_, pageStream_->Size());
            if (out->Position() > std::numeric_limits<int32_t>::max())
                throw EPrintError("TrpArchiveDevice.EndJob: the archive is larger than 2 GB");
            out->SetPosition(0);
            WriteInt32(dataOffset);
        }
    } catch (...) {
        DropTempFile();
        TrpDevice::CancelJob();
        DiscardFile();
        ClearOutputStream();
        throw;
    }
    DropTempFile();
    TrpFileDevice::EndJob();
}

void TrpArchiveDevice::CancelJob() {
    DropTempFile();
    // The header was never patched: such a file is of no use to anyone.
    DiscardFile();
    TrpFileDevice::CancelJob();
}

namespace report {

void RegisterFileDeviceClasses() {
    RegisterDeviceClass(TrpTextFileDevice::StaticClassType(), "TextFile");
    RegisterDeviceClass(TrpReportTextFileDevice::StaticClassType(), "ReportTextFile");
    RegisterDeviceClass(TrpArchiveDevice::StaticClassType(), "ArchiveFile");
}

void UnregisterFileDeviceClasses() {
    UnregisterDeviceClass(TrpArchiveDevice::StaticClassType());
    UnregisterDeviceClass(TrpReportTextFileDevice::StaticClassType());
    UnregisterDeviceClass(TrpTextFileDevice::StaticClassType());
}

}  // namespace report
