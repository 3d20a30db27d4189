#include "report_output/rpScreenDevice.h"

#include <algorithm>
#include <cmath>

#include "report/rpBorder.h"
#include "report/rpGeneration.h"
#include "report/rpLanguage.h"
#include "report/rpMemo.h"
#include "report/rpProducer.h"
#include "report/rpPublisher.h"
#include "report/rpReport.h"
#include "report/rpRotatedText.h"
#include "report/rpTextLayout.h"
#include "report/rpUnits.h"
#include "report_output/rp2DBarCode.h"
#include "report_output/rpBarCode.h"
#include "report_output/rpRichText.h"

namespace {

constexpr int kStatusStarting = 2;
constexpr int kStatusCalculating = 4;
constexpr int kStatusSkipped = 10;

int Round(double Value) { return rpRoundHalfEven(static_cast<long double>(Value)); }

// Removes the paragraph markup the wrapped lines carry; true when found.
bool StripMarkup(std::string& Line) {
    const std::string markup(TrpTextMarkups::LineBreakMarkup);
    if (Line.size() >= markup.size() && Line.compare(Line.size() - markup.size(), markup.size(), markup) == 0) {
        Line.erase(Line.size() - markup.size());
        return true;
    }
    return false;
}

}  // namespace

TClass TrpScreenDevice::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpScreenDevice>("TrpScreenDevice", TrpRasterDevice::StaticClassType()).Build();
    return &info;
}

TrpScreenDevice::TrpScreenDevice(TComponent* AOwner)
    : TrpRasterDevice(AOwner), currentPage_(std::make_unique<TrpPage>(nullptr)) {
    viewer_ = dynamic_cast<TrpScreenViewer*>(AOwner);
    if (viewer_ != nullptr)
        canvas_ = std::make_unique<TImageCanvas>(std::max(1, viewer_->BoxWidth()), std::max(1, viewer_->BoxHeight()),
                                                 PixelsPerInch(0), PixelsPerInch(1));
    PageRequest()->SetPageSetting(psFirstPage);
    PageRequest()->SetPageRequested(1);
    EventSet().set(rpevNoData);
}

TrpScreenDevice::~TrpScreenDevice() = default;

int TrpScreenDevice::PixelsPerInch(int Axis) const { return rpScreenPixelsPerInch(Axis); }

const QImage* TrpScreenDevice::PageImage() const { return canvas_ ? &canvas_->Image() : nullptr; }

double TrpScreenDevice::ScreenPixels(int32_t Value, int Axis) const {
    return rpFromMMThousandths(Value, utScreenPixels, Axis, nullptr);
}

double TrpScreenDevice::SpWidth() const { return ScreenPixels(currentPage_->PageDef()->mmWidth(), 0); }
double TrpScreenDevice::SpHeight() const { return ScreenPixels(currentPage_->PageDef()->mmHeight(), 1); }

// ---------------------------------------------------------------------------
// Job steps

// A status update lets the window's messages run, and the user may close the
// preview meanwhile, freeing this device: each step looks whether it is
// still there before it goes on.
void TrpScreenDevice::StartJob() {
    const std::weak_ptr<char> alive = LifeToken();
    TrpRasterDevice::StartJob();
    if (alive.expired()) return;
    SetStatus(rpLanguageText(kStatusStarting));
    if (alive.expired()) return;
    currentPage_->Clear();
}

void TrpScreenDevice::CancelJob() {
    const std::weak_ptr<char> alive = LifeToken();
    SetStatus(currentPage_->GetPageNoText());
    if (alive.expired()) return;
    TrpRasterDevice::CancelJob();
}

void TrpScreenDevice::EndJob() {
    const std::weak_ptr<char> alive = LifeToken();
    const bool known = Publisher() != nullptr && Publisher()->LastPageKnown();
    SetStatus(known ? currentPage_->GetPageDescription() : currentPage_->GetPageNoText());
    if (alive.expired()) return;
    TrpRasterDevice::EndJob();
}

void TrpScreenDevice::Reset() {
    TrpRasterDevice::Reset();
    if (viewer_ != nullptr && viewer_->ViewerEnabled()) ResetDisplay();
    PageRequest()->SetPageSetting(psFirstPage);
    PageRequest()->SetPageRequested(1);
}

void TrpScreenDevice::SetStatus(const std::string& Value) {
    if (!showStatus_) return;
    TrpRasterDevice::SetStatus(Value);
    if (viewer_ != nullptr) viewer_->StatusChanged();
    // The viewer may go while the messages run: nothing of it is touched
    // after this.
    rpProcessMessages();
}

void TrpScreenDevice::ReceivePage(TrpPage* Page) {
    if (Page == nullptr) return;
    TrpRasterDevice::ReceivePage(Page);
    const std::weak_ptr<char> alive = LifeToken();
    if (!PageRequested()) {
        if (Page->Calculation())
            SetStatus(rpFormatLanguageText(kStatusCalculating, {Page->AbsolutePageNo(), Page->DocumentName()}));
        if (alive.expired()) return;
        if (currentPage_->AbsolutePageCount() != Page->AbsolutePageCount()) {
            currentPage_->SetAbsolutePageCount(Page->AbsolutePageCount());
            if (currentPage_->ControlGroupBreakNo() == Page->ControlGroupBreakNo())
                currentPage_->SetPageCount(Page->PageCount());
            if (currentPage_->HasDeferredDrawCommands() && canvas_ != nullptr) {
                currentPage_->RecalculateDrawCommands(this);
                rpProcessMessages();
            }
        }
        return;
    }
    // The first pass of a two-pass report makes its pages for counting
    // only; the screen shows the one it asked for all the same, so that the
    // user sees it while the count is worked out.
    const bool firstPass = SkipOutput() && Page->Calculation() && !Page->Final() &&
                           Page->PassSetting() == psTwoPass;
    if (SkipOutput() && !firstPass) {
        const bool known = Publisher() != nullptr && Publisher()->LastPageKnown();
        if (!known)
            SetStatus(rpFormatLanguageText(kStatusCalculating, {Page->AbsolutePageNo(), Page->DocumentName()}));
        else
            SetStatus(rpFormatLanguageText(kStatusSkipped, {Page->AbsolutePageNo(), Page->AbsolutePageCount(),
                                                            Page->DocumentName()}));
        return;
    }
    if (!Busy() || Cancelled()) return;
    currentPage_->Assign(Page);
    DisplayPage();
    if (viewer_ != nullptr) viewer_->UpdateScrollBars();
    const bool known = Publisher() != nullptr && Publisher()->LastPageKnown();
    SetStatus(known ? currentPage_->GetPageDescription() : currentPage_->GetPageNoText());
    if (alive.expired()) return;
    if (viewer_ != nullptr) {
        viewer_->RepaintViewer();
        viewer_->PageChanged();
    }
}

void TrpScreenDevice::Notify(TrpCommunicator* Communicator, int Operation) {
    if (Operation == rpopFreeing && Communicator != nullptr && Communicator == Publisher() && viewer_ != nullptr &&
        !viewer_->ViewerDestroying())
        viewer_->ReportGone();
    TrpRasterDevice::Notify(Communicator, Operation);
}

void TrpScreenDevice::EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) {
    TrpRasterDevice::EventNotify(Sender, EventNumber, Params);
    if (EventNumber == rpevNoData && viewer_ != nullptr &&
        Sender == static_cast<TObject*>(viewer_->ViewerReport()))
        DisplayPage();
}

// ---------------------------------------------------------------------------
// Navigation

void TrpScreenDevice::GotoPage(int PageNo) {
    if (Busy() || PageNo == currentPage_->AbsolutePageNo()) return;
    PageRequest()->SetPageSetting(psSinglePage);
    PageRequest()->SetPageRequested(PageNo);
    RequestPage();
}

void TrpScreenDevice::FirstPage() {
    if (Busy() || Cancelled() || currentPage_->AbsolutePageNo() == 1) return;
    PageRequest()->SetPageSetting(psFirstPage);
    RequestPage();
}

void TrpScreenDevice::LastPage() {
    if (Busy() || Cancelled() || currentPage_->LastPage()) return;
    PageRequest()->SetPageSetting(psLastPage);
    RequestPage();
}

void TrpScreenDevice::CancelReport() {
    if (viewer_ != nullptr && viewer_->ViewerReport() != nullptr) viewer_->ViewerReport()->Cancel();
}

// ---------------------------------------------------------------------------
// Zoom and the image

int TrpScreenDevice::CalcZoom() {
    const double spW = SpWidth(), spH = SpHeight();
    if (viewer_ == nullptr || spW <= 0 || spH <= 0) return 100;
    const int ppi = PixelsPerInch(0);
    const int mH = Round(ppi * 0.125);
    const int mV = Round(ppi * 0.25);
    const double ratio = spW / spH;
    int zoom = 100;
    switch (viewer_->ViewerZoomSetting()) {
        case zs100Percent: zoom = 100; break;
        case zsPercentage: zoom = viewer_->ViewerZoomPercentage(); break;
        case zsWholePage: {
            const int boxW = std::max(1, viewer_->BoxWidth());
            const int boxH = std::max(1, viewer_->BoxHeight());
            int pageH = boxH - mV;
            int pageW = Round(pageH * ratio);
            if (boxW > 2 * mV && boxH > 2 * mV) {
                // Narrows the page until it fits across; a step that makes no
                // progress ends the loop (a tiny box).
                while (mV > 0 && boxW <= pageW && pageH > mV) {
                    pageH -= mV;
                    pageW = Round(pageH * ratio);
                }
            }
            zoom = Round(pageH / spH * 100);
            break;
        }
        case zsPageWidth: {
            const int pageW = viewer_->BoxWidth() - 2 * mH - Round(ppi * 0.1458);
            const int pageH = Round(pageW / ratio);
            zoom = Round(pageH / spH * 100);
            break;
        }
    }
    // A tiny box must not drive the zoom to nothing.
    return std::max(1, zoom);
}

void TrpScreenDevice::SizePageBitmap() {
    const int m = Round(PixelsPerInch(0) * 0.125);
    zoom_ = CalcZoom();
    const double spW = SpWidth(), spH = SpHeight();
    pageHeight_ = Round(spH * zoom_ / 100);
    pageWidth_ = Round(spW * zoom_ / 100);
    int w = 0, h = 0;
    if (viewer_ == nullptr) {
        h = static_cast<int>(spH) + 2 * m;
        w = static_cast<int>(spW) + 2 * m;
    } else {
        h = std::max(viewer_->BoxHeight(), pageHeight_ + 2 * m);
        w = std::max(viewer_->BoxWidth(), pageWidth_ + 2 * m);
    }
    canvas_ = std::make_unique<TImageCanvas>(std::max(1, w), std::max(1, h), PixelsPerInch(0), PixelsPerInch(1));
}

void TrpScreenDevice::RebuildBitmap() {
    canvas_.reset();
    SizePageBitmap();
    canvas_->Brush()->SetStyle(bsSolid);
    canvas_->Brush()->SetColor(viewer_ != nullptr ? viewer_->ViewerColor() : clBtnShadow);
    canvas_->FillRect(TRect{0, 0, canvas_->Image().width(), canvas_->Image().height()});
}

void TrpScreenDevice::DisplayPage() {
    const TrpPageDef* def = currentPage_->PageDef();
    if (def->mmWidth() == 0 || def->mmHeight() == 0) return;
    if (viewer_ != nullptr && !viewer_->PaintBoxVisible()) {
        viewer_->LockUpdates(true);
        viewer_->ShowPaintBox();
        RebuildBitmap();
        viewer_->LockUpdates(false);
        viewer_->RepaintViewer();
    } else {
        RebuildBitmap();
    }
    const int bw = canvas_->Image().width(), bh = canvas_->Image().height();
    offsetX_ = (bw - pageWidth_) / 2;
    offsetY_ = (bh - pageHeight_) / 2;
    canvas_->Brush()->SetStyle(bsSolid);
    canvas_->Brush()->SetColor(viewer_ != nullptr ? viewer_->ViewerPageColor() : clWhite);
    canvas_->FillRect(Bounds(offsetX_, offsetY_, pageWidth_, pageHeight_));
    const double spW = SpWidth(), spH = SpHeight();
    scaleX_ = spW > 0 ? pageWidth_ / spW : 1;
    scaleY_ = spH > 0 ? pageHeight_ / spH : 1;
    SendEventNotify(this, 92, nullptr);
    DrawPage(currentPage_.get());
    SendEventNotify(this, 93, nullptr);
    if (viewer_ != nullptr) viewer_->ShowScrollBox();
    if (OnPageDisplayed) OnPageDisplayed(this);
}

void TrpScreenDevice::ResetDisplay() {
    currentPage_->FreeDrawCommands();
    if (viewer_ != nullptr && viewer_->ViewerReport() != nullptr)
        currentPage_->SetPrinterSetup(viewer_->ViewerReport()->PrinterSetup());
    DisplayPage();
    if (viewer_ != nullptr) viewer_->RepaintViewer();
}

bool TrpScreenDevice::FindClickable(int X, int Y, TrpDrawCommand*& Command) const {
    Command = nullptr;
    for (int i = 0; i < currentPage_->ClickableDrawCommandCount(); ++i) {
        TrpDrawCommand* c = currentPage_->ClickableDrawCommands(i);
        if (c->Clickable() && X >= c->DrawLeft && X <= c->DrawRight && Y >= c->DrawTop && Y <= c->DrawBottom) {
            Command = c;
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------
// Drawing

void TrpScreenDevice::CalcDrawRect(TrpDrawCommand* Command) {
    const double L = std::trunc(ScreenPixels(Command->Left(), 0));
    const double T = ScreenPixels(Command->Top(), 1);
    const double W = ScreenPixels(Command->Width(), 0);
    const double H = std::trunc(ScreenPixels(Command->Height(), 1));
    Command->DrawLeft = Round(L * scaleX_) + offsetX_;
    Command->DrawTop = Round(T * scaleY_) + offsetY_;
    Command->DrawRight = Round((L + std::trunc(W)) * scaleX_) + offsetX_;
    Command->DrawBottom = Round((T + H) * scaleY_) + offsetY_;
}

bool TrpScreenDevice::Draw(TrpDrawCommand* Command) {
    if (Command == nullptr || canvas_ == nullptr) return false;
    CalcDrawRect(Command);
    if (auto* text = dynamic_cast<TrpDrawText*>(Command)) {
        DrawText(text);
        return true;
    }
    if (auto* shape = dynamic_cast<TrpDrawShape*>(Command)) {
        DrawShape(shape);
        return true;
    }
    if (auto* line = dynamic_cast<TrpDrawLine*>(Command)) {
        DrawLine(line);
        return true;
    }
    if (auto* image = dynamic_cast<TrpDrawImage*>(Command)) {
        DrawImage(image);
        return true;
    }
    if (auto* rich = dynamic_cast<TrpDrawRichText*>(Command)) {
        // Laid out on the reference device as on paper, scaled to the zoom.
        rich->DrawOn(canvas_.get(), Command->DrawRect());
        return true;
    }
    // Barcodes are drawn at the screen's resolution into a bitmap that is
    // stretched to the zoom, so the bars keep their proportions.
    if (auto* bars = dynamic_cast<TrpDrawBarCode*>(Command)) {
        bars->DrawOnScreen(canvas_.get(), Command->DrawRect(), PixelsPerInch(0));
        return true;
    }
    if (auto* symbol = dynamic_cast<TrpDraw2DBarCode*>(Command)) {
        symbol->DrawOnScreen(canvas_.get(), Command->DrawRect(), PixelsPerInch(0));
        return true;
    }
    return false;
}

bool TrpScreenDevice::Redraw(TrpDrawCommand* Command) {
    if (canvas_ == nullptr) return true;
    auto* text = dynamic_cast<TrpDrawText*>(Command);
    const bool wasTransparent = text != nullptr && text->Transparent();
    // The new value must cover the old one.
    if (wasTransparent) text->SetTransparent(false);
    bool drawn = false;
    try {
        drawn = Draw(Command);
    } catch (...) {
        if (wasTransparent) text->SetTransparent(true);
        throw;
    }
    if (wasTransparent) text->SetTransparent(true);
    if (drawn && viewer_ != nullptr) viewer_->CopyToPaintBox(Command->DrawRect());
    return drawn;
}

void TrpScreenDevice::DrawBorder(TrpBorder* Border, const TRect& R) {
    if (Border == nullptr || !Border->Visible()) return;
    const TrpBorderPositions sides = Border->BorderPositions();
    if (sides.Empty()) return;
    TCanvas* c = canvas_.get();
    c->Pen()->SetStyle(Border->Style());
    c->Pen()->SetColor(Border->Color());
    c->Pen()->SetWidth(1);
    const int w = std::max(1, Round(PixelsPerInch(0) * Border->Weight() / 72.0 * scaleX_));
    for (int i = 0; i < w; ++i) {
        if (sides.Contains(bpLeft)) {
            c->MoveTo(R.Left + i, R.Top);
            c->LineTo(R.Left + i, R.Bottom);
        }
        if (sides.Contains(bpTop)) {
            c->MoveTo(R.Left, R.Top + i);
            c->LineTo(R.Right, R.Top + i);
        }
        if (sides.Contains(bpRight)) {
            c->MoveTo(R.Right - 1 - i, R.Top);
            c->LineTo(R.Right - 1 - i, R.Bottom);
        }
        if (sides.Contains(bpBottom)) {
            c->MoveTo(R.Left, R.Bottom - 1 - i);
            c->LineTo(R.Right, R.Bottom - 1 - i);
        }
    }
}

void TrpScreenDevice::DrawShape(TrpDrawShape* Command) {
    TCanvas* c = canvas_.get();
    c->SetPen(*Command->Pen());
    c->SetBrush(*Command->Brush());
    const int penWidth = Round(Command->Pen()->Width() * scaleX_);
    TRect r = Command->DrawRect();
    switch (Command->ShapeType()) {
        case stRectangle: {
            r.Right -= 1;
            r.Bottom -= 1;
            const int w = std::max(1, penWidth);
            c->Pen()->SetWidth(1);
            if (Command->Brush()->Style() != bsClear) {
                c->FillRect(TRect{r.Left + 1, r.Top + 1, r.Right, r.Bottom});
            }
            if (Command->Pen()->Style() == psClear) break;
            c->Brush()->SetStyle(bsClear);
            for (int i = 0; i < w; ++i) c->Rectangle(r.Left + i, r.Top + i, r.Right + 1 - i, r.Bottom + 1 - i);
            break;
        }
        case stRoundRect:
            c->Pen()->SetWidth(std::max(1, penWidth));
            c->RoundRect(r.Left, r.Top, r.Right, r.Bottom, Round(ScreenPixels(Command->XCornerRound(), 0) * scaleX_),
                         Round(ScreenPixels(Command->YCornerRound(), 1) * scaleY_));
            break;
        case stEllipse:
            c->Pen()->SetWidth(std::max(1, penWidth));
            c->Ellipse(r);
            break;
        case stSquare:
        case stRoundSquare:
        case stCircle: break;
    }
    DrawBorder(Command->Border(), Command->DrawRect());
}

void TrpScreenDevice::DrawLine(TrpDrawLine* Command) {
    TCanvas* c = canvas_.get();
    const int t = std::max(1, Round(PixelsPerInch(0) * Command->Weight() / 72.0 * scaleX_));
    const int strands = Command->LineStyle() == lsDouble ? 2 : 1;
    int left = Command->DrawLeft, top = Command->DrawTop, right = Command->DrawRight, bottom = Command->DrawBottom;
    if (Command->LinePosition() == lpBottom) bottom -= 1;
    if (Command->LinePosition() == lpRight) right -= 1;
    c->SetPen(*Command->Pen());
    c->Pen()->SetWidth(1);
    for (int s = 0; s < strands; ++s) {
        const int start = s * 2 * t;
        for (int k = 0; k < t; ++k) {
            const int o = start + k;
            switch (Command->LinePosition()) {
                case lpTop: c->MoveTo(left, top + o); c->LineTo(right, top + o); break;
                case lpBottom: c->MoveTo(left, bottom - o); c->LineTo(right, bottom - o); break;
                case lpLeft: c->MoveTo(left + o, top); c->LineTo(left + o, bottom); break;
                case lpRight: c->MoveTo(right - o, top); c->LineTo(right - o, bottom); break;
            }
        }
    }
    DrawBorder(Command->Border(), Command->DrawRect());
}

void TrpScreenDevice::DrawImage(TrpDrawImage* Command) {
    TCanvas* c = canvas_.get();
    TPicture* picture = Command->Picture();
    TGraphic* graphic = picture != nullptr ? picture->Graphic() : nullptr;
    const TRect box = Command->DrawRect();
    if (graphic != nullptr && graphic->Width() > 0 && graphic->Height() > 0) {
        const TCopyMode mode = Command->Transparent() ? SRCAND : SRCCOPY;
        TRect dest = box;
        bool clip = false;
        const int bw = box.Width(), bh = box.Height();
        if (Command->Stretch() && Command->MaintainAspectRatio()) {
            const double k = std::min(static_cast<double>(bw) / graphic->Width(),
                                      static_cast<double>(bh) / graphic->Height());
            const int w = Round(graphic->Width() * k), h = Round(graphic->Height() * k);
            dest = Command->Center() ? Bounds(box.Left + (bw - w) / 2, box.Top + (bh - h) / 2, w, h)
                                     : Bounds(box.Left, box.Top, w, h);
        } else if (!Command->Stretch()) {
            const int w = Round(graphic->Width() * scaleX_), h = Round(graphic->Height() * scaleY_);
            dest = Command->Center() ? Bounds(box.Left + (bw - w) / 2, box.Top + (bh - h) / 2, w, h)
                                     : Bounds(box.Left, box.Top, w, h);
            clip = true;
        }
        const std::optional<TRect> oldClip = c->ClipRect();
        if (clip) c->IntersectClipRect(box);
        TBitmap* bitmap = Command->DirectDraw() ? nullptr : Command->AsBitmap();
        if (bitmap != nullptr)
            c->DrawImage(dest, bitmap->Image(), mode);
        else {
            c->SetCopyMode(mode);
            c->StretchDraw(dest, graphic);
            c->SetCopyMode(SRCCOPY);
        }
        c->SetClipRect(oldClip);
    }
    DrawBorder(Command->Border(), box);
}

void TrpScreenDevice::DrawText(TrpDrawText* Command) {
    TCanvas* c = canvas_.get();
    TFont font(*Command->Font());
    font.SetName(TrpDeviceSubstitutions::SubstituteFont(font.Name()));
    // The font's height in screen pixels at 100 %, scaled as the page is.
    font.SetPixelsPerInch(PixelsPerInch(1));
    const int height = std::max(1, Round(std::abs(font.Height()) * scaleY_));
    font.SetHeight(font.Height() > 0 ? height : -height);
    c->SetFont(font);
    if (Command->Angle() != 0)
        DrawRotatedText(Command);
    else
        DrawPlainText(Command);
}

void TrpScreenDevice::DrawRotatedText(TrpDrawText* Command) {
    if (Command->Text().empty()) return;
    TCanvas* c = canvas_.get();
    TRect r = Command->DrawRect();
    // Measuring selects the command's own font at 100 %; the text is drawn
    // with the font scaled to the zoom.
    TFont font(*c->Font());
    // Placed at 100 % on a canvas of the screen's resolution, then scaled.
    const TrpRotatedPlacement place = TrpRotatedText::CalcTextBounds(
        c, Command->Text(), Command->Font(), TRect{0, 0, Command->Width(), Command->Height()}, Command->Border(),
        Command->TextAlignment(), Command->WordWrap(), Command->Angle());
    int x = r.Left + Round(ScreenPixels(place.Origin.X, 0) * scaleX_);
    int y = r.Top + Round(ScreenPixels(place.Origin.Y, 1) * scaleY_);
    if (Command->Border()->Visible()) {
        const TPoint p = rpBorderAdjustedOrigin(*Command->Border(), Command->Angle(), x, y, nullptr);
        x = p.X;
        y = p.Y;
    }
    if (!Command->Transparent()) {
        c->Brush()->SetStyle(bsSolid);
        c->Brush()->SetColor(Command->Color());
        c->FillRect(r);
    }
    const std::optional<TRect> oldClip = c->ClipRect();
    c->IntersectClipRect(r);
    TextOutRotated(c, &font, x, y, Command->Text(), Command->Angle());
    c->SetClipRect(oldClip);
    DrawBorder(Command->Border(), r);
}

double TrpScreenDevice::ReferenceLinePitch(TrpDrawText* Command) const {
    int32_t pitch = 0;
    TrpPlainText::CalcLinesPerHeight(Command->Font(), Command->IsMemo() ? Command->Leading() : 0, pitch, nullptr, 0,
                                     &rpSharedMeasuringCanvas());
    // Not through whole screen pixels at 100 %: that is the drift itself.
    return pitch / 25400.0 * PixelsPerInch(1) * scaleY_;
}

void TrpScreenDevice::DrawPlainText(TrpDrawText* Command) {
    TCanvas* c = canvas_.get();
    TRect r = Command->DrawRect();
    std::vector<std::string> lines;
    const bool wrapped = Command->WrappedText() != nullptr && Command->WrappedText()->Count() > 0;
    if (wrapped)
        for (int i = 0; i < Command->WrappedText()->Count(); ++i) lines.push_back(Command->WrappedText()->Get(i));
    else
        lines.push_back(Command->Text());
    const bool memo = Command->IsMemo();
    // Lines stand at the pitch the page was laid out with on the reference
    // device, scaled to the zoom: a pitch of whole screen pixels drifts down
    // line by line and the last lines of a stretched memo slide out of its box.
    double lineHeight = ReferenceLinePitch(Command);
    if (wrapped && !lines.empty()) {
        const int n = static_cast<int>(lines.size());
        const double target = static_cast<double>(r.Height()) / n;
        if (std::abs(lineHeight - Round(target)) > 0.1 * lineHeight && lineHeight > target) {
            // More lines than the rectangle holds: the font shrinks until
            // they fit.
            int leading = memo ? Round(ScreenPixels(Command->Leading(), 1) * scaleY_) : 0;
            TTextMetric tm;
            c->GetTextMetrics(tm);
            int shrunk = tm.tmHeight + leading;
            while (shrunk > r.Height() / n) {
                if (leading > 0) {
                    --leading;
                } else {
                    const int h = std::abs(c->Font()->Height());
                    if (h < 2) break;
                    c->Font()->SetHeight(-(h - 1));
                }
                c->GetTextMetrics(tm);
                shrunk = tm.tmHeight + leading;
            }
            lineHeight = shrunk;
        }
    }
    std::vector<int> tabs;
    if (Command->TabStopPositions() != nullptr && Command->TabStopPositions()->Count() > 0) {
        TrpPlainText::CalcTabStops(utScreenPixels, Command->TabStopPositions(), nullptr, tabs);
        for (int& t : tabs) t = Round(t * scaleX_);
    }
    if (Command->WordWrap()) {
        // Text must never spill out at a small zoom.
        for (const std::string& raw : lines) {
            std::string line = raw;
            StripMarkup(line);
            while (TrpPlainText::GetTabbedTextWidth(c, line, tabs) > r.Width() && std::abs(c->Font()->Height()) > 1)
                c->Font()->SetHeight(-(std::abs(c->Font()->Height()) - 1));
        }
    }
    if (Command->AutoSize() && !Command->WordWrap() && !Command->Text().empty()) {
        const int w = c->TextWidth(Command->Text());
        if (w > r.Width()) {
            if (Command->TextAlignment() == taRightJustified)
                r.Left = r.Right - w;
            else
                r.Right = r.Left + w;
        }
    }
    if (!Command->Transparent()) {
        c->Brush()->SetStyle(bsSolid);
        c->Brush()->SetColor(Command->Color());
        c->FillRect(r);
    }
    c->Brush()->SetStyle(bsClear);
    int justifyWidth = r.Width();
    if (Command->Border()->Visible()) {
        const int bw = std::max(1, Round(PixelsPerInch(0) * Command->Border()->Weight() / 72.0 * scaleX_));
        if (Command->Border()->BorderPositions().Contains(bpLeft)) justifyWidth -= bw;
        if (Command->Border()->BorderPositions().Contains(bpRight)) justifyWidth -= bw;
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int y = r.Top + Round(static_cast<double>(i) * lineHeight);
        std::string line = lines[i];
        // A memo marks every paragraph's last line; its last line on a page
        // may end mid-paragraph and is then spread like the others.
        const bool paragraphEnd = StripMarkup(line) || (i + 1 == lines.size() && !memo);
        int x = r.Left;
        bool justified = false;
        switch (Command->TextAlignment()) {
            case taLeftJustified: break;
            case taRightJustified: x = r.Right - TrpPlainText::GetTabbedTextWidth(c, line, tabs); break;
            case taCentered: x = r.Left + (r.Width() - TrpPlainText::GetTabbedTextWidth(c, line, tabs)) / 2; break;
            case taFullJustified:
                if ((!paragraphEnd || Command->ForceJustifyLastLine()) && line.find(' ') != std::string::npos) {
                    TrpPlainText::JustifyLine(c, line, TRect{r.Left, r.Top, r.Left + justifyWidth, r.Bottom}, tabs);
                    justified = true;
                }
                break;
        }
        if (line.find('\t') != std::string::npos) {
            // Tabs go to the tab stops, measured from where the line starts.
            const std::optional<TRect> oldClip = c->ClipRect();
            c->IntersectClipRect(r);
            c->TabbedTextOut(x, y, line, tabs, x);
            c->SetClipRect(oldClip);
        } else if (memo && !tabs.empty())
            c->TabbedTextOut(x, y, line, tabs, r.Left);
        else if (Command->AutoSize() && !memo)
            c->TextOut(x, y, line);
        else {
            // The command holds the characters that fit the box on the
            // reference device, and the paper shows every one of them. The
            // screen's font at this zoom may run a little wider: its last
            // letter goes on past the box instead of being cut in half.
            TRect clip = r;
            const int w = c->TextWidth(line);
            if (x < r.Left || x + w > r.Right) {
                // A slanted or overhanging last letter keeps its ink too.
                const int slack = std::max(2, std::abs(c->Font()->Height()) / 2);
                clip.Left = std::min(r.Left, x - slack);
                clip.Right = std::max(r.Right, x + w + slack);
            }
            c->TextRect(clip, x, y, line);
        }
        if (justified) c->SetTextJustification(0, 0);
    }
    DrawBorder(Command->Border(), r);
}

namespace report_output {

void RegisterScreenDeviceClasses() { RegisterDeviceClass(TrpScreenDevice::StaticClassType(), "Screen"); }

void UnregisterScreenDeviceClasses() { UnregisterDeviceClass(TrpScreenDevice::StaticClassType()); }

}  // namespace report_output
