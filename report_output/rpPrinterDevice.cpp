#include "report_output/rpPrinterDevice.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/DeviceCanvas.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "report/rpBorder.h"
#include "report/rpDialogs.h"
#include "report/rpDrawCommand.h"
#include "report/rpGeneration.h"
#include "report/rpLanguage.h"
#include "report/rpPublisher.h"
#include "report/rpRotatedText.h"
#include "report/rpTextLayout.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"
#include "report_output/rp2DBarCode.h"
#include "report_output/rpBarCode.h"
#include "report_output/rpCupsBackend.h"
#include "report_output/rpPrinterSetupRTTI.h"
#include "report_output/rpRichText.h"

namespace {

constexpr int kHorizontal = 0;
constexpr int kVertical = 1;

// Pixel lines of a weight in points at a resolution: at least one.
int WeightLines(float Weight, int Dpi) {
    return std::max(1, static_cast<int>(std::lround(static_cast<double>(Dpi) * Weight / 72.0)));
}

}  // namespace

TClass TrpPrinterDevice::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpPrinterDevice>("TrpPrinterDevice", TrpRasterDevice::StaticClassType()).Build();
    return &info;
}

TrpPrinterDevice::TrpPrinterDevice(TComponent* AOwner)
    : TrpRasterDevice(AOwner), printer_(std::make_unique<TrpPrinter>()) {}

TrpPrinterDevice::~TrpPrinterDevice() = default;

bool TrpPrinterDevice::PrinterReady() const { return printer_->PrinterInfo() != nullptr; }

void TrpPrinterDevice::ApplyPrinterSetup(const TrpPrinterSetup* Setup) { printer_->SetPrinterSetup(Setup); }

void TrpPrinterDevice::ReadPrinterSetup(TrpPrinterSetup* Setup) const {
    if (Setup != nullptr) Setup->Assign(printer_->GetPrinterSetup());
}

void TrpPrinterDevice::SetProgress(const std::string& Text) {
    auto* dialog = dynamic_cast<TrpCustomCancelDialog*>(CancelDialog());
    if (dialog == nullptr || dialog->PrintProgress() == Text) return;
    dialog->SetPrintProgress(Text);
    rpProcessMessages();
}

void TrpPrinterDevice::StartJob() {
    if (Busy()) return;
    TrpDevice::StartJob();
    SetProgress(rpLanguageText(2));
    if (StartDocument) {
        try {
            printer_->BeginDoc();
        } catch (...) {
            TrpDevice::EndJob();
            throw;
        }
    }
    canvas_ = printer_->GetCanvas();
    firstPage_ = true;
    passes_ = 1;
}

void TrpPrinterDevice::ShowProgress(TrpPage* Page) {
    const bool known = Publisher() != nullptr && Publisher()->LastPageKnown();
    if (SkipOutput() && !known) return;
    const std::string printer = printer_->GetPrinterDescription();
    if (known)
        SetProgress(Format(rpTagsToFormat(rpLanguageText(28)),
                           {std::to_string(Page->AbsolutePageNo()), std::to_string(Page->AbsolutePageCount()),
                            Page->DocumentName(), printer}));
    else
        SetProgress(
            Format(rpTagsToFormat(rpLanguageText(27)),
                   {std::to_string(Page->AbsolutePageNo()), Page->DocumentName(), printer}));
}

void TrpPrinterDevice::ReceivePage(TrpPage* Page) {
    TrpDevice::ReceivePage(Page);
    if (Page == nullptr || !Busy() || Cancelled() || !PageRequested()) return;
    ShowProgress(Page);
    if (SkipOutput()) return;
    const TrpPrinterSetup* own = printer_->PrinterSetup();
    const int copies = own->Collation() || own->DelegateCopies() ? 1 : Page->PrinterSetup()->Copies();
    for (int i = 0; i < copies; ++i) {
        StartPage(Page);
        DrawPage(Page);
        FinishPage(Page);
    }
}

void TrpPrinterDevice::StartPage(TrpPage* Page) {
    if (firstPage_) {
        if (printer_->PrinterSetup()->Collation()) passes_ = printer_->PrinterSetup()->Copies();
        firstPage_ = false;
    }
    printer_->SetPrinterSetup(Page->PrinterSetup());
    printer_->NewPage();
    int x = 0, y = 0, r = 0, b = 0;
    printer_->GetPageOffsets(x, y, r, b);
    originX_ = -x;
    originY_ = -y;
    if (OnStartPage) OnStartPage(this, Page);
}

void TrpPrinterDevice::FinishPage(TrpPage* Page) {
    printer_->EndPage();
    if (OnEndPage) OnEndPage(this, Page);
}

void TrpPrinterDevice::EndJob() {
    if (!Busy()) return;
    if (!NextPass()) return;
    canvas_ = nullptr;
    TrpDevice::EndJob();
    if (EndDocument) printer_->EndDoc();
}

void TrpPrinterDevice::CancelJob() {
    canvas_ = nullptr;
    TrpDevice::CancelJob();
    if (EndDocument) printer_->EndDoc();
}

bool TrpPrinterDevice::NextPass() {
    if (passes_ <= 1) return true;
    --passes_;
    RequestPage();
    return false;
}

int TrpPrinterDevice::PageToPrinter(int32_t Thousandths, int Axis) const {
    return rpRoundHalfEven(rpFromMMThousandths(Thousandths, utPrinterPixels, Axis, printer_.get()));
}

TRect TrpPrinterDevice::DeviceRect(const TrpDrawCommand* C) const {
    TRect r;
    r.Left = PageToPrinter(C->Left(), kHorizontal) + originX_;
    r.Right = PageToPrinter(C->Left() + C->Width(), kHorizontal) + originX_;
    r.Top = PageToPrinter(C->Top(), kVertical) + originY_;
    r.Bottom = PageToPrinter(C->Top() + C->Height(), kVertical) + originY_;
    return r;
}

int TrpPrinterDevice::ScreenToPrinter(int ScreenPixels, int Axis) const {
    return rpRoundHalfEven(rpFromMMThousandths(
        rpToMMThousandths(utScreenPixels, Axis, nullptr, static_cast<float>(ScreenPixels)), utPrinterPixels, Axis,
        printer_.get()));
}

bool TrpPrinterDevice::Draw(TrpDrawCommand* Command) {
    if (Command == nullptr || canvas_ == nullptr) return false;
    rect_ = DeviceRect(Command);
    Command->DrawLeft = rect_.Left;
    Command->DrawTop = rect_.Top;
    Command->DrawRight = rect_.Right;
    Command->DrawBottom = rect_.Bottom;
    if (auto* t = dynamic_cast<TrpDrawText*>(Command)) {
        DrawText(t);
    } else if (auto* s = dynamic_cast<TrpDrawShape*>(Command)) {
        DrawShape(s);
    } else if (auto* l = dynamic_cast<TrpDrawLine*>(Command)) {
        DrawLine(l);
    } else if (auto* i = dynamic_cast<TrpDrawImage*>(Command)) {
        DrawImage(i);
    } else if (auto* r = dynamic_cast<TrpDrawRichText*>(Command)) {
        // Laid out on the reference device, as the preview lays it out.
        r->DrawOn(canvas_, rect_);
    } else if (auto* bars = dynamic_cast<TrpDrawBarCode*>(Command)) {
        // Barcodes go straight onto the printer's pixels, never scaled.
        bars->DrawOnPrinter(canvas_, rect_);
    } else if (auto* symbol = dynamic_cast<TrpDraw2DBarCode*>(Command)) {
        symbol->DrawOnPrinter(canvas_, rect_, rpScreenPixelsPerInch());
    } else {
        return false;
    }
    return true;
}

void TrpPrinterDevice::DrawShape(TrpDrawShape* C) {
    TCanvas* cv = canvas_;
    cv->SetPen(*C->Pen());
    cv->SetBrush(*C->Brush());
    const int penWidth = C->Pen()->Width() == 0 ? 1 : std::max(1, ScreenToPrinter(C->Pen()->Width(), kHorizontal));
    TRect r = rect_;
    switch (C->ShapeType()) {
        case stRectangle: {
            r.Right -= 1;
            r.Bottom -= 1;
            if (C->Brush()->Style() != bsClear) {
                if (C->Brush()->Style() != bsSolid) {
                    TBrush white;
                    white.SetColor(clWhite);
                    white.SetStyle(bsSolid);
                    cv->SetBrush(white);
                    cv->FillRect(TRect{r.Left + 1, r.Top + 1, r.Right, r.Bottom});
                    cv->SetBrush(*C->Brush());
                }
                cv->FillRect(TRect{r.Left + 1, r.Top + 1, r.Right, r.Bottom});
            }
            TPen line(*C->Pen());
            line.SetWidth(1);
            cv->SetPen(line);
            for (int i = 0; i < penWidth; ++i) {
                cv->MoveTo(r.Left + i, r.Top + i);
                cv->LineTo(r.Right - i, r.Top + i);
                cv->LineTo(r.Right - i, r.Bottom - i);
                cv->LineTo(r.Left + i, r.Bottom - i);
                cv->LineTo(r.Left + i, r.Top + i);
            }
            break;
        }
        case stRoundRect: {
            TPen pen(*C->Pen());
            pen.SetWidth(penWidth);
            cv->SetPen(pen);
            // The corners are lengths of the page, as the box is: taken for
            // screen pixels they outgrow the box and the corners meet.
            const int cx = PageToPrinter(C->XCornerRound(), kHorizontal);
            const int cy = PageToPrinter(C->YCornerRound(), kVertical);
            cv->RoundRect(r.Left, r.Top, r.Right, r.Bottom, cx, cy);
            break;
        }
        case stEllipse: {
            TPen pen(*C->Pen());
            pen.SetWidth(penWidth);
            cv->SetPen(pen);
            cv->Ellipse(r);
            break;
        }
        default:
            // Squares and circles are made into their general forms before
            // a command is made; one that reaches a device draws nothing.
            break;
    }
}

void TrpPrinterDevice::DrawLine(TrpDrawLine* C) {
    TCanvas* cv = canvas_;
    const TrpLinePositionType pos = C->LinePosition();
    const bool horizontal = pos == lpTop || pos == lpBottom;
    const int dpi = printer_->PixelsPerInch(horizontal ? kVertical : kHorizontal);
    const int n = WeightLines(C->Weight(), dpi);
    TPen pen(*C->Pen());
    pen.SetWidth(1);
    cv->SetPen(pen);
    const int passes = C->LineStyle() == lsDouble ? 2 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        int start = 0;
        const int axis = horizontal ? kVertical : kHorizontal;
        if (pass == 1) start = C->Pen()->Width() == 0 ? ScreenToPrinter(2, axis) : 2 * n;
        for (int i = 0; i < n; ++i) {
            const int o = start + i;
            switch (pos) {
                case lpTop: cv->MoveTo(rect_.Left, rect_.Top + o), cv->LineTo(rect_.Right, rect_.Top + o); break;
                case lpBottom:
                    cv->MoveTo(rect_.Left, rect_.Bottom - 1 - o), cv->LineTo(rect_.Right, rect_.Bottom - 1 - o);
                    break;
                case lpLeft: cv->MoveTo(rect_.Left + o, rect_.Top), cv->LineTo(rect_.Left + o, rect_.Bottom); break;
                case lpRight:
                    cv->MoveTo(rect_.Right - 1 - o, rect_.Top), cv->LineTo(rect_.Right - 1 - o, rect_.Bottom);
                    break;
            }
        }
    }
}

void TrpPrinterDevice::DrawBorder(const TrpBorder* Border, const TRect& R) {
    if (Border == nullptr || !Border->Visible()) return;
    TCanvas* cv = canvas_;
    TPen pen;
    pen.SetColor(Border->Color());
    pen.SetStyle(Border->Style());
    pen.SetWidth(1);
    cv->SetPen(pen);
    const int nx = WeightLines(Border->Weight(), printer_->PixelsPerInch(kHorizontal)) + 1;
    const int ny = WeightLines(Border->Weight(), printer_->PixelsPerInch(kVertical)) + 1;
    const TrpBorderPositions sides = Border->BorderPositions();
    for (int i = 0; i < ny; ++i) {
        if (sides.Contains(bpTop)) cv->MoveTo(R.Left, R.Top + i), cv->LineTo(R.Right, R.Top + i);
        if (sides.Contains(bpBottom)) cv->MoveTo(R.Left, R.Bottom - 1 - i), cv->LineTo(R.Right, R.Bottom - 1 - i);
    }
    for (int i = 0; i < nx; ++i) {
        if (sides.Contains(bpLeft)) cv->MoveTo(R.Left + i, R.Top), cv->LineTo(R.Left + i, R.Bottom);
        if (sides.Contains(bpRight)) cv->MoveTo(R.Right - 1 - i, R.Top), cv->LineTo(R.Right - 1 - i, R.Bottom);
    }
}

void TrpPrinterDevice::DrawImage(TrpDrawImage* C) {
    TPicture* picture = C->Picture();
    if (picture == nullptr || picture->Graphic() == nullptr || picture->Graphic()->Empty()) return;
    TCanvas* cv = canvas_;
    TGraphic* g = picture->Graphic();
    int w = ScreenToPrinter(g->Width(), kHorizontal);
    int h = ScreenToPrinter(g->Height(), kVertical);
    TRect target = rect_;
    const bool clip = !C->Stretch();
    if (C->Stretch()) {
        if (C->MaintainAspectRatio()) {
            const double scale = rpScaleToFit(w, h, rect_.Width(), rect_.Height());
            w = static_cast<int>(std::lround(w * scale));
            h = static_cast<int>(std::lround(h * scale));
            target = TRect{rect_.Left, rect_.Top, rect_.Left + w, rect_.Top + h};
            if (C->Center()) {
                const int dx = (rect_.Width() - w) / 2, dy = (rect_.Height() - h) / 2;
                target = TRect{target.Left + dx, target.Top + dy, target.Right + dx, target.Bottom + dy};
            }
        }
    } else {
        target = TRect{rect_.Left, rect_.Top, rect_.Left + w, rect_.Top + h};
        if (C->Center()) {
            const int dx = (rect_.Width() - w) / 2, dy = (rect_.Height() - h) / 2;
            target = TRect{target.Left + dx, target.Top + dy, target.Right + dx, target.Bottom + dy};
        }
    }
    const auto oldClip = cv->ClipRect();
    if (clip) cv->IntersectClipRect(rect_);
    const TCopyMode mode = C->Transparent() ? SRCAND : SRCCOPY;
    cv->SetCopyMode(mode);
    TBitmap* bitmap = C->AsBitmap();
    if (bitmap != nullptr && !(C->DirectDraw() && bitmap->Monochrome())) {
        // Printers know no raster operations: a transparent picture is
        // drawn with its white left out.
        if (C->Transparent())
            rpDrawTransparentBitmap(cv, target, bitmap, SRCCOPY);
        else
            rpStretchDrawDIB(cv, target, bitmap, SRCCOPY);
    } else {
        cv->StretchDraw(target, g);
    }
    cv->SetClipRect(oldClip);
    DrawBorder(C->Border(), rect_);
}

void TrpPrinterDevice::DrawText(TrpDrawText* C) {
    TCanvas* cv = canvas_;
    TFont font(*C->Font());
    font.SetName(TrpDeviceSubstitutions::SubstituteFont(font.Name()));
    if (C->Angle() != 0) {
        if (C->Text().empty()) return;
        cv->SetFont(font);
        const TrpRotatedPlacement place = TrpRotatedText::CalcTextBounds(
            cv, C->Text(), C->Font(), TRect{0, 0, C->Width(), C->Height()}, C->Border(), C->TextAlignment(),
            C->WordWrap(), C->Angle());
        int x = rect_.Left + rpRoundHalfEven(rpFromMMThousandths(place.Origin.X, utPrinterPixels, kHorizontal,
                                                                  printer_.get()));
        int y = rect_.Top +
                rpRoundHalfEven(rpFromMMThousandths(place.Origin.Y, utPrinterPixels, kVertical, printer_.get()));
        if (!C->Transparent()) {
            TBrush b;
            b.SetColor(C->Color());
            cv->SetBrush(b);
            cv->FillRect(rect_);
        }
        if (C->Border()->Visible()) {
            const TPoint p = rpBorderAdjustedOrigin(*C->Border(), C->Angle(), x, y, printer_.get());
            x = p.X;
            y = p.Y;
        }
        const auto oldClip = cv->ClipRect();
        cv->IntersectClipRect(rect_);
        TextOutRotated(cv, &font, x, y, C->Text(), C->Angle());
        cv->SetClipRect(oldClip);
        DrawBorder(C->Border(), rect_);
        return;
    }
    const bool memo = C->IsMemo();
    std::vector<int> tabs;
    if (memo && C->TabStopPositions() != nullptr && C->TabStopPositions()->Count() > 0)
        TrpPlainText::CalcTabStops(utPrinterPixels, C->TabStopPositions(), printer_.get(), tabs);
    cv->SetFont(font);
    const TrpBorder* border = C->Border();
    const bool bordered = border != nullptr && border->Visible();
    const TrpBorderPositions sides = bordered ? border->BorderPositions() : TrpBorderPositions{};
    const int bx = WeightLines(bordered ? border->Weight() : 0, printer_->PixelsPerInch(kHorizontal));
    const int by = WeightLines(bordered ? border->Weight() : 0, printer_->PixelsPerInch(kVertical));
    TTextMetric tm;
    cv->GetTextMetrics(tm);
    const int leading =
        memo ? static_cast<int>(rpFromMMThousandths(C->Leading(), utPrinterPixels, kVertical, printer_.get())) : 0;
    const int lineHeight = tm.tmHeight + leading;
    TRect r = rect_;
    if (C->AutoSize() && !C->WordWrap() && !C->Text().empty() && r.Height() < lineHeight) r.Bottom = r.Top + lineHeight;
    std::vector<std::string> lines;
    if (C->WordWrap()) {
        for (int i = 0; i < C->WrappedText()->Count(); ++i) lines.push_back((*C->WrappedText())[i]);
    } else if (!C->Text().empty()) {
        lines.push_back(C->Text());
    }
    const std::string markup(TrpTextMarkups::LineBreakMarkup);
    auto strip = [&markup](std::string& Line) {
        const std::size_t at = Line.find(markup);
        if (at == std::string::npos) return false;
        Line.erase(at, markup.size());
        return true;
    };
    if (C->AutoSize()) {
        int widest = 0;
        for (std::string line : lines) {
            strip(line);
            widest = std::max(widest, TrpPlainText::GetTabbedTextWidth(cv, line, tabs));
        }
        widest += (sides.Contains(bpLeft) ? bx : 0) + (sides.Contains(bpRight) ? bx : 0);
        switch (C->TextAlignment()) {
            case taRightJustified: r.Left = r.Right - widest; break;
            case taCentered: {
                const int centre = r.Left + r.Width() / 2;
                r.Left = centre - widest / 2;
                r.Right = r.Left + widest;
                break;
            }
            default: r.Right = r.Left + widest; break;
        }
    }
    if (!C->Transparent()) {
        TBrush b;
        b.SetColor(C->Color());
        cv->SetBrush(b);
        cv->FillRect(r);
    }
    cv->Brush()->SetStyle(bsClear);
    if (bordered) r.Bottom += by;
    int y = r.Top + (sides.Contains(bpTop) ? by : 0);
    const int shift = bx + (memo ? leading : 0);
    for (std::string line : lines) {
        const bool paragraphEnd = strip(line);
        const int width = TrpPlainText::GetTabbedTextWidth(cv, line, tabs);
        int x = r.Left;
        bool justified = false;
        switch (C->TextAlignment()) {
            case taRightJustified: x = r.Right - width - (sides.Contains(bpRight) ? shift : 0); break;
            case taCentered: x = r.Left + (r.Width() - width) / 2; break;
            case taFullJustified: {
                x += sides.Contains(bpLeft) ? shift : 0;
                std::string trimmed = Trim(line);
                const bool spread =
                    !paragraphEnd || (C->ForceJustifyLastLine() && trimmed.find(' ') != std::string::npos);
                if (spread) {
                    const TRect span{r.Left + (sides.Contains(bpLeft) ? bx : 0), y,
                                     r.Right - (sides.Contains(bpRight) ? bx : 0), y + lineHeight};
                    TrpPlainText::JustifyLine(cv, line, span, tabs);
                    justified = true;
                } else {
                    cv->SetTextJustification(0, 0);
                }
                break;
            }
            default: x += sides.Contains(bpLeft) ? shift : 0; break;
        }
        // A line moved by its alignment takes its tab stops from where it
        // starts, as it was measured.
        const bool moved = C->TextAlignment() == taRightJustified || C->TextAlignment() == taCentered;
        if (memo || line.find('\t') != std::string::npos)
            cv->TabbedTextOut(x, y, line, tabs, moved ? x : r.Left);
        else
            cv->TextRect(TRect{r.Left, y, r.Right, y + lineHeight}, x, y, line);
        if (justified) cv->SetTextJustification(0, 0);
        y += lineHeight;
    }
    if (C->AutoSize()) {
        C->DrawLeft = r.Left;
        C->DrawRight = r.Right;
        C->DrawBottom = r.Top + lineHeight * static_cast<int>(lines.size()) + (sides.Contains(bpTop) ? by : 0) +
                        (sides.Contains(bpBottom) ? by : 0);
    }
    TRect frame = r;
    if (memo) frame.Bottom += tm.tmDescent;
    DrawBorder(border, frame);
}

namespace report_output {

namespace {

std::unique_ptr<TObject> NewSharedPrinter() { return std::make_unique<TrpPrinter>(); }

// The system's spooler and the list over it, while the classes are
// registered; a backend installed before (a test's) is kept.
struct SystemPrinters {
    TrpCupsBackend backend;
    std::unique_ptr<TrpPrinterList> list;
    TrpPrinterBackend* previousBackend = nullptr;
    TrpPrinterList* previousList = nullptr;
};

std::unique_ptr<SystemPrinters>& Installed() {
    static std::unique_ptr<SystemPrinters> s;
    return s;
}

}  // namespace

void RegisterPrinterClasses() {
    RegisterDeviceClass(TrpPrinterDevice::StaticClassType(), "Printer");
    rpSetSharedPrinterFactory(NewSharedPrinter);
    RegisterRTTIClass(TrsTrpPrinterSetupRTTI::Instance());
    if (Installed() == nullptr) {
        auto s = std::make_unique<SystemPrinters>();
        // A backend installed before (a test's) stays in use.
        s->previousBackend = rpSetPrinterBackend(nullptr);
        const bool hadOne = s->previousBackend != rpGetPrinterBackend();
        rpSetPrinterBackend(hadOne ? s->previousBackend : &s->backend);
        if (!hadOne) s->previousBackend = nullptr;
        s->list = std::make_unique<TrpPrinterList>(rpGetPrinterBackend());
        s->previousList = rpSetPrinterList(s->list.get());
        Installed() = std::move(s);
    }
}

void UnregisterPrinterClasses() {
    if (Installed() != nullptr) {
        rpSetPrinterList(nullptr);
        rpSetPrinterBackend(Installed()->previousBackend);
        Installed().reset();
    }
    UnregisterRTTIClass(TrsTrpPrinterSetupRTTI::Instance());
    rpSetSharedPrinterFactory(nullptr);
    UnregisterDeviceClass(TrpPrinterDevice::StaticClassType());
}

}  // namespace report_output
