#pragma once
// The PDF device: writes the finished pages of a report as a PDF 1.3 file
// (device name "PDF"). Each page becomes one deflated content stream drawn by
// the renderers (rpPDFRenderers.h); fonts and images are shared objects,
// numbered when first used and written once at the end of the job.
//
// State between jobs: none. StartJob makes a new object table, font and
// image managers and renderer manager, so every job on one device writes a
// complete file numbered from 1. A cancelled job, or one whose writing
// failed, leaves no file behind.
#include <deque>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "report/rpDevice.h"
#include "report/rpSettings.h"
#include "report_output/rpPDF.h"
#include "report_output/rpPDFRenderers.h"
#include "report_output/rpWorkerPool.h"

class TrpPDFDevice : public TrpFileDevice {
public:
    explicit TrpPDFDevice(TComponent* AOwner);
    ~TrpPDFDevice() override;
    FAT_CLASS(TrpPDFDevice)

    std::string DeviceName() const override { return "PDF"; }
    static std::string DefaultExt() { return "pdf"; }
    static std::string FileFilter() { return "PDF files|*.pdf"; }
    static std::string FileDescription() { return "PDF File"; }

    TrpPDFSettings* PDFSettings() const { return settings_.get(); }
    void SetPDFSettings(TrpPDFSettings* Value);

    void StartJob() override;
    void EndJob() override;
    void CancelJob() override;
    void ReceivePage(TrpPage* Page) override;

    // Workers that deflate page contents while later pages render (0: all
    // on the calling thread); the file is the same whatever the number.
    // Taken at StartJob.
    int CompressionThreads() const { return threads_; }
    void SetCompressionThreads(int Value) { threads_ = Value < 0 ? 0 : Value; }

    // The object table of the running job (nullptr outside one).
    TrpPDFXref* Xref() const { return xref_.get(); }
    // The command that opens a finished file for the user ("" when the
    // session has no desktop to open it on).
    static std::string OpenCommand(const std::string& FileName);

protected:
    virtual void RenderPage(TrpPage* Page);

private:
    void Abandon();
    // Inside a catch: abandons the job and raises again what was caught
    // (a failed write of the file in Portuguese, with its name).
    [[noreturn]] void RethrowAbandoned();
    // Writes the pages whose contents are deflated, in page order; with
    // All, waits for every one.
    void WriteFinishedPages(bool All);

    // A drawn page waiting for its content to be deflated and written.
    struct Pending {
        std::unique_ptr<TMemoryStream> Buffer;
        TrpPDFContent* Content = nullptr;
        TrpPDFPage* Page = nullptr;
        std::future<void> Deflated;
    };

    std::unique_ptr<TrpPDFSettings> settings_;
    std::unique_ptr<TrpPDFOutput> output_;
    std::unique_ptr<TrpPDFXref> xref_;
    std::unique_ptr<TrpPDFRendererManager> renderers_;
    TrpPDFPageTree* pageTree_ = nullptr;
    std::deque<Pending> pending_;
    // Content buffers of written pages, kept for the next pages.
    std::vector<std::unique_ptr<TMemoryStream>> spare_;
    // After the buffers: destroyed (and joined) before them.
    std::unique_ptr<rpworkers::WorkerPool> workers_;
    int procSet_ = 0, extGState_ = 0, info_ = 0, catalog_ = 0;
    int64_t startXref_ = 0;
    int threads_;
};

namespace report_output {
void RegisterPDFDevice();
void UnregisterPDFDevice();
}  // namespace report_output
