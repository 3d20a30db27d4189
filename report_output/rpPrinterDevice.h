#pragma once
// The device that puts a print job's pages on paper. It receives pages
// from the publisher like every device, applies each page's printer setup
// to its own TrpPrinter (so paper and orientation may change from page to
// page), makes the copies the setup asks for and draws each command on the
// printer's canvas in printer pixels.
//
// Copies: with Collation the whole job runs Copies passes, each asking the
// publisher for all pages again; without it each page is printed Copies
// times in a row, unless DelegateCopies lets the queue make them (the job
// settings then carry the count). State between passes: the pass counter
// and the first-page flag only.
#include <memory>

#include "report/rpDevice.h"
#include "report_output/rpPrinter.h"

class TrpDrawText;
class TrpDrawShape;
class TrpDrawLine;
class TrpDrawImage;
class TrpBorder;

class TrpPrinterDevice : public TrpRasterDevice {
public:
    explicit TrpPrinterDevice(TComponent* AOwner);
    ~TrpPrinterDevice() override;
    FAT_CLASS(TrpPrinterDevice)

    std::string DeviceName() const override { return "Printer"; }
    void StartJob() override;
    void ReceivePage(TrpPage* Page) override;
    void EndJob() override;
    void CancelJob() override;
    bool Draw(TrpDrawCommand* Command) override;

    bool HasPrinter() const override { return true; }
    bool PrinterReady() const override;
    void ApplyPrinterSetup(const TrpPrinterSetup* Setup) override;
    void ReadPrinterSetup(TrpPrinterSetup* Setup) const override;

    // True when the job is done; otherwise one pass less remains and the
    // pages were asked for again.
    virtual bool NextPass();
    virtual void DrawShape(TrpDrawShape* Command);
    virtual void DrawLine(TrpDrawLine* Command);
    virtual void DrawImage(TrpDrawImage* Command);
    virtual void DrawText(TrpDrawText* Command);

    TrpPrinter* Printer() const { return printer_.get(); }
    TCanvas* Canvas() const { return canvas_; }
    bool StartDocument = true;
    bool EndDocument = true;
    TrpPageEvent OnStartPage;
    TrpPageEvent OnEndPage;

private:
    void StartPage(TrpPage* Page);
    void FinishPage(TrpPage* Page);
    void ShowProgress(TrpPage* Page);
    void SetProgress(const std::string& Text);
    TRect DeviceRect(const TrpDrawCommand* Command) const;
    int ScreenToPrinter(int ScreenPixels, int Axis) const;
    // A length of the page (thousandths of a millimetre) in printer pixels.
    int PageToPrinter(int32_t Thousandths, int Axis) const;
    void DrawBorder(const TrpBorder* Border, const TRect& Rect);

    std::unique_ptr<TrpPrinter> printer_;
    TCanvas* canvas_ = nullptr;
    int passes_ = 1;
    bool firstPage_ = true;
    int originX_ = 0;
    int originY_ = 0;
    TRect rect_;
};

namespace report_output {
void RegisterPrinterClasses();
void UnregisterPrinterClasses();
}  // namespace report_output
