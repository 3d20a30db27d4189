#pragma once
// The screen device: renders one page at a time into an off-screen image at
// the zoom its viewer asks for, keeps the viewer's status text current while
// pages are generated, and redraws the deferred values (page numbers, page
// counts) of the page it shows as later pages arrive. It is the only device
// that takes pages that are not final, so that a two-pass report can be
// looked at while its first pass runs.
//
// The device knows the viewer (built above it, in the preview layer) only
// through TrpScreenViewer. A device without a viewer renders at 100 % into
// an image the page's size plus a margin; tests and the PDF device's
// generic renderer use it so.
//
// Lengths: commands hold thousandths of a millimetre; they are first turned
// into screen pixels at 100 % (the screen's resolution, 96 in tests) and
// then scaled by the zoom into image pixels. Each drawn command keeps its
// image rectangle (DrawLeft..DrawBottom) for hit tests.
//
// Invariants: the current page is the device's own deep copy; the image and
// its canvas are renewed together; the zoom in use is at least 1 % and the
// image at least 1 x 1, whatever the size of the viewer's box.
#include <memory>
#include <string>

#include "platform/gfx/Canvas.h"
#include "report/rpDevice.h"
#include "report/rpDrawCommand.h"
#include "report/rpTypes.h"

class TrpProducer;

// What the screen device needs of the viewer that shows its pages.
class TrpScreenViewer {
public:
    virtual ~TrpScreenViewer() = default;
    // The visible area (the scroll box), in pixels.
    virtual int BoxWidth() const = 0;
    virtual int BoxHeight() const = 0;
    virtual TrpZoomSettingType ViewerZoomSetting() const = 0;
    virtual int ViewerZoomPercentage() const = 0;
    // Behind the page, and the page itself.
    virtual TColor ViewerColor() const = 0;
    virtual TColor ViewerPageColor() const = 0;
    virtual TrpProducer* ViewerReport() const = 0;
    virtual bool ViewerEnabled() const { return true; }
    virtual bool ViewerDestroying() const { return false; }
    // The paint box is hidden while the zoom changes; the device shows it
    // again (and the scroll box) once the page is drawn.
    virtual bool PaintBoxVisible() const = 0;
    virtual void ShowPaintBox() = 0;
    virtual void ShowScrollBox() = 0;
    // Stops and restarts repainting while the image is rebuilt.
    virtual void LockUpdates(bool Locked) = 0;
    // Copies a rectangle of the device's image onto the paint box at once.
    virtual void CopyToPaintBox(const TRect& Rect) = 0;
    virtual void UpdateScrollBars() = 0;
    virtual void RepaintViewer() = 0;
    virtual void StatusChanged() = 0;
    virtual void PageChanged() = 0;
    // The publisher went away: the viewer forgets its report.
    virtual void ReportGone() = 0;
};

class TrpScreenDevice : public TrpRasterDevice {
public:
    explicit TrpScreenDevice(TComponent* AOwner);
    ~TrpScreenDevice() override;
    FAT_CLASS(TrpScreenDevice)

    std::string DeviceName() const override { return "Screen"; }
    bool FinalPagesOnly() const override { return false; }
    void StartJob() override;
    void CancelJob() override;
    void EndJob() override;
    void Reset() override;
    void SetStatus(const std::string& Value) override;
    void ReceivePage(TrpPage* Page) override;
    bool Draw(TrpDrawCommand* Command) override;
    bool Redraw(TrpDrawCommand* Command) override;
    void Notify(TrpCommunicator* Communicator, int Operation) override;
    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override;

    // Navigation: each asks the publisher for a page, unless a job runs.
    void GotoPage(int PageNo);
    void FirstPage();
    void LastPage();
    void CancelReport();

    // Rebuilds the image for the current page at the viewer's zoom and
    // draws the page into it.
    void DisplayPage();
    // Forgets the page shown and shows an empty page of the report's size.
    void ResetDisplay();
    // The first clickable command whose image rectangle holds (X, Y).
    bool FindClickable(int X, int Y, TrpDrawCommand*& Command) const;

    TrpPage* CurrentPage() const { return currentPage_.get(); }
    int AbsolutePageNo() const { return currentPage_->AbsolutePageNo(); }
    // The percentage in use; -1 before the first display.
    int Zoom() const { return zoom_; }
    // The page image (nullptr before the first display) and its canvas.
    const QImage* PageImage() const;
    TCanvas* Canvas() const { return canvas_.get(); }
    int OffsetX() const { return offsetX_; }
    int OffsetY() const { return offsetY_; }
    int PageWidth() const { return pageWidth_; }
    int PageHeight() const { return pageHeight_; }
    double ScaleX() const { return scaleX_; }
    double ScaleY() const { return scaleY_; }
    bool ShowStatus() const { return showStatus_; }
    void SetShowStatus(bool Value) { showStatus_ = Value; }
    TrpScreenViewer* Viewer() const { return viewer_; }
    // The viewer the device serves; nullptr renders on its own.
    void SetViewer(TrpScreenViewer* Value) { viewer_ = Value; }
    // The screen's pixels per inch the device converts with.
    int PixelsPerInch(int Axis) const;

    TNotifyEvent OnPageDisplayed;

    // Computes and stores the command's image rectangle (DrawLeft ..
    // DrawBottom); the commands that draw themselves on the canvas (rich
    // text, barcodes) place themselves by it.
    void CalcDrawRect(TrpDrawCommand* Command);

protected:
    // The zoom the viewer's setting gives for its box (at least 1).
    int CalcZoom();
    void SizePageBitmap();
    virtual void DrawText(TrpDrawText* Command);
    // The two text renderers: unturned text line by line, and turned text.
    virtual void DrawPlainText(TrpDrawText* Command);
    virtual void DrawRotatedText(TrpDrawText* Command);
    virtual void DrawShape(TrpDrawShape* Command);
    virtual void DrawLine(TrpDrawLine* Command);
    virtual void DrawImage(TrpDrawImage* Command);
    void DrawBorder(TrpBorder* Border, const TRect& Rect);
    // Screen pixels at 100 % of a length in thousandths of a millimetre.
    double ScreenPixels(int32_t Value, int Axis) const;
    // The distance between two lines of the text as the page was laid out
    // (the reference device's), in pixels of the page at the zoom.
    double ReferenceLinePitch(TrpDrawText* Command) const;

private:
    void RebuildBitmap();
    // The page's size in screen pixels at 100 %.
    double SpWidth() const;
    double SpHeight() const;

    int zoom_ = -1;
    std::unique_ptr<TImageCanvas> canvas_;
    std::unique_ptr<TrpPage> currentPage_;
    int offsetX_ = 0;
    int offsetY_ = 0;
    int pageHeight_ = 0;
    int pageWidth_ = 0;
    double scaleX_ = 1;
    double scaleY_ = 1;
    bool showStatus_ = true;
    TrpScreenViewer* viewer_ = nullptr;
    bool redrawing_ = false;
};

namespace report_output {
void RegisterScreenDeviceClasses();
void UnregisterScreenDeviceClasses();
}  // namespace report_output
