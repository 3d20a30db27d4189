#include "report_output/rpPDFDevice.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/rtl/Strings.h"

TClass TrpPDFDevice::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpPDFDevice>("TrpPDFDevice", TrpFileDevice::StaticClassType())
            .Object("PDFSettings", TrpPDFSettings::StaticClassType(), &TrpPDFDevice::PDFSettings,
                    &TrpPDFDevice::SetPDFSettings)
            .Build();
    return &info;
}

namespace {

// Deflating a page costs two to three times drawing it: a worker per spare
// core, up to eight, keeps it off the page loop.
int DefaultThreads() {
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores - 1, 0, 8);
}

}  // namespace

TrpPDFDevice::TrpPDFDevice(TComponent* AOwner)
    : TrpFileDevice(AOwner), settings_(std::make_unique<TrpPDFSettings>()), threads_(DefaultThreads()) {}

TrpPDFDevice::~TrpPDFDevice() {
    if (Busy()) {
        try {
            EndJob();
        } catch (...) {
            Abandon();
        }
    }
}

void TrpPDFDevice::SetPDFSettings(TrpPDFSettings* Value) {
    if (Value != nullptr) settings_->Assign(Value);
}

void TrpPDFDevice::Abandon() {
    // The workers first: they may still be deflating the pending buffers.
    workers_.reset();
    pending_.clear();
    spare_.clear();
    output_.reset();
    xref_.reset();
    renderers_.reset();
    pageTree_ = nullptr;
    DiscardFile();
    ClearOutputStream();
}

void TrpPDFDevice::RethrowAbandoned() {
    // Asked before the file goes: a full disk is told with the file's name.
    const std::string failure = FileFailure();
    TrpDevice::CancelJob();
    Abandon();
    if (!failure.empty()) throw EWriteError(failure);
    throw;
}

void TrpPDFDevice::StartJob() {
    TrpFileDevice::StartJob();
    if (OutputStream() == nullptr) return;
    try {
        output_ = std::make_unique<TrpPDFOutput>(OutputStream());
        xref_ = std::make_unique<TrpPDFXref>(output_.get());
        renderers_ = std::make_unique<TrpPDFRendererManager>();
        workers_ = std::make_unique<rpworkers::WorkerPool>(threads_);
        xref_->Workers = workers_.get();
        TrpPDFUtils::WriteLine(output_.get(), "%PDF-1.3");
        procSet_ = xref_->AddNew(std::make_unique<TrpPDFProcSet>())->ObjectNumber();
        extGState_ = xref_->AddNew(std::make_unique<TrpPDFGState>())->ObjectNumber();
        auto info = std::make_unique<TrpPDFInfo>();
        info->Author = settings_->Author();
        info->Keywords = settings_->Keywords();
        info->Subject = settings_->Subject();
        info->Title = settings_->Title();
        info_ = xref_->AddNew(std::move(info))->ObjectNumber();
        catalog_ = xref_->AddNew(std::make_unique<TrpPDFCatalog>())->ObjectNumber();
        pageTree_ = xref_->AddNew(std::make_unique<TrpPDFPageTree>());
    } catch (...) {
        RethrowAbandoned();
    }
}

void TrpPDFDevice::ReceivePage(TrpPage* Page) {
    TrpDevice::ReceivePage(Page);
    if (Page == nullptr || !PageRequested()) return;
    UpdateStatus(Page);
    if (SkipOutput() || !Busy() || Cancelled()) return;
    try {
        RenderPage(Page);
    } catch (...) {
        RethrowAbandoned();
    }
}

void TrpPDFDevice::RenderPage(TrpPage* Page) {
    if (xref_ == nullptr) return;
    using U = TrpPDFUtils;
    ++xref_->PageCounter;
    const double pageHeight = U::MMToPoints(Page->PageDef()->mmHeight());
    const int pageWidth = static_cast<int>(std::lround(U::MMToPoints(Page->PageDef()->mmWidth())));
    std::unique_ptr<TMemoryStream> buffer;
    if (!spare_.empty()) {
        buffer = std::move(spare_.back());
        spare_.pop_back();
    } else {
        buffer = std::make_unique<TrpPDFContentBuffer>();
        buffer->SetCapacity(256 * 1024);
    }
    // The content stream takes its number before the fonts and images that
    // the page introduces; its body is written once the page is drawn.
    auto* content = xref_->Reserve(std::make_unique<TrpPDFContent>(buffer.get(), settings_->CompressionLevel()));
    const TClass outline = GetClass("TrpOutlineDrawCommand");
    for (int i = 0; i < Page->DrawCommandCount(); ++i) {
        TrpDrawCommand* command = Page->DrawCommands(i);
        if (outline != nullptr && command->ClassType()->InheritsFrom(outline)) continue;
        TrpPDFRenderer* renderer = renderers_->GetRenderer(command);
        if (renderer == nullptr) continue;
        renderer->SetDrawCommand(command);
        renderer->Content = buffer.get();
        renderer->PDFSettings = settings_.get();
        renderer->Xref = xref_.get();
        renderer->PageHeight = pageHeight;
        renderer->Render();
    }
    auto page = std::make_unique<TrpPDFPage>();
    page->Parent = pageTree_->ObjectNumber();
    page->ProcSet = procSet_;
    page->ExtGState = extGState_;
    page->Contents = content->ReservedNumber();
    page->PageHeight = pageHeight;
    page->PageWidth = pageWidth;
    // This page's entries are the last ones: long jobs need not scan every
    // earlier page's.
    TrpPDFImageManager& images = xref_->ImageManager();
    int first = images.Count();
    while (first > 0 && images.Images(first - 1).PageCounter == xref_->PageCounter) --first;
    for (int i = first; i < images.Count(); ++i) {
        const TrpPDFImage& image = images.Images(i);
        if (image.PageCounter != xref_->PageCounter) continue;
        const std::string line = "/" + image.Name + " " + std::to_string(image.ObjectNumber) + " 0 R";
        if (std::find(page->XObjects.begin(), page->XObjects.end(), line) == page->XObjects.end())
            page->XObjects.push_back(line);
    }
    TrpPDFFontManager& fonts = xref_->FontManager();
    for (int i = 0; i < fonts.Count(); ++i)
        page->Fonts.push_back("/" + fonts.Fonts(i)->Info().PDFName + " " +
                              std::to_string(fonts.Fonts(i)->ObjectNumber()) + " 0 R");
    // Numbered now, after what the page introduced; written after its
    // content, which a worker deflates meanwhile.
    TrpPDFPage* pageObject = xref_->Reserve(std::move(page));
    pageTree_->AddKid(pageObject->ReservedNumber());
    Pending p;
    p.Buffer = std::move(buffer);
    p.Content = content;
    p.Page = pageObject;
    p.Deflated = workers_->Run([content] { content->Compress(); });
    pending_.push_back(std::move(p));
    WriteFinishedPages(false);
}

void TrpPDFDevice::WriteFinishedPages(bool All) {
    // A few pages ahead of the file at most: enough to keep every worker
    // busy, few enough to bound the memory held.
    const size_t ahead = 2 * static_cast<size_t>(workers_->Threads());
    while (!pending_.empty()) {
        Pending& p = pending_.front();
        const auto ready = [&p] { return p.Deflated.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
        if (!ready() && !All && pending_.size() <= ahead) break;
        // Rather than sleep until this page is deflated, deflate the pages
        // no worker has taken yet.
        while (!ready() && workers_->RunOne()) {
        }
        p.Deflated.get();
        p.Content->Write(output_.get(), p.Content->ReservedNumber());
        p.Page->Write(output_.get(), p.Page->ReservedNumber());
        p.Buffer->SetSize(0);
        spare_.push_back(std::move(p.Buffer));
        pending_.pop_front();
    }
}

void TrpPDFDevice::EndJob() {
    if (!Busy()) return;
    if (xref_ != nullptr) {
        try {
            WriteFinishedPages(true);
            pageTree_->Finish();
            for (TrpPDFXObject* x : xref_->XObjects()) {
                x->SetOffset(output_->Position());
                output_->WriteBytes(x->Body());
            }
            xref_->FontManager().WriteBodies(output_.get());
            xref_->WriteXrefAndTrailer(info_, catalog_);
            output_->Flush();
        } catch (...) {
            RethrowAbandoned();
        }
        workers_.reset();
        spare_.clear();
        output_.reset();
        xref_.reset();
        renderers_.reset();
        pageTree_ = nullptr;
    }
    TrpFileDevice::EndJob();
    if (settings_->OpenPDFFile() && std::filesystem::exists(FileName())) {
        const std::string command = OpenCommand(FileName());
        if (!command.empty()) (void)std::system(command.c_str());
    }
}

void TrpPDFDevice::CancelJob() {
    Abandon();
    TrpFileDevice::CancelJob();
}

std::string TrpPDFDevice::OpenCommand(const std::string& FileName) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool desktop = (display != nullptr && *display != '\0') || (wayland != nullptr && *wayland != '\0');
    if (!desktop) return "";
    std::string quoted = "'";
    for (char c : FileName) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    quoted += "'";
    return "xdg-open " + quoted + " >/dev/null 2>&1 &";
}

namespace report_output {

void RegisterPDFDevice() {
    RegisterPDFRenderers();
    RegisterDeviceClass(TrpPDFDevice::StaticClassType(), "PDF");
}

void UnregisterPDFDevice() {
    UnregisterDeviceClass(TrpPDFDevice::StaticClassType());
    UnregisterPDFRenderers();
}

}  // namespace report_output
