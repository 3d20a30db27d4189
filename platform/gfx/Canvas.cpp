#include "platform/gfx/Canvas.h"

#include <QFont>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QPolygon>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <tuple>

#include "platform/gfx/Pictures.h"
#include "platform/rtl/Strings.h"

namespace gfx {

std::u32string Characters(const std::string& Text) {
    std::u32string out;
    out.reserve(Text.size());
    for (std::size_t at = 0; at < Text.size();) out.push_back(utf8::Next(Text, at));
    return out;
}

// ---------------------------------------------------------------------------
// Devices

ImageDevice::ImageDevice(QImage* Image) : image_(Image) {}

ImageDevice::~ImageDevice() { Flush(); }

QPainter* ImageDevice::Painter() {
    if (image_ == nullptr || image_->isNull()) return nullptr;
    if (!painter_) painter_ = std::make_unique<QPainter>(image_);
    return painter_.get();
}

void ImageDevice::Flush() {
    if (painter_) {
        painter_->end();
        painter_.reset();
    }
}

namespace {
int DpiOf(int dotsPerMeter) {
    return dotsPerMeter > 0 ? static_cast<int>(std::lround(dotsPerMeter * 0.0254)) : kScreenPixelsPerInch;
}
}  // namespace

int ImageDevice::PixelsPerInchX() const { return DpiOf(image_ ? image_->dotsPerMeterX() : 0); }
int ImageDevice::PixelsPerInchY() const { return DpiOf(image_ ? image_->dotsPerMeterY() : 0); }
TSize ImageDevice::Size() const { return image_ ? TSize{image_->width(), image_->height()} : TSize{}; }

}  // namespace gfx

namespace gfx::detail {

ImageStore::ImageStore(int Width, int Height, int DpiX, int DpiY)
    : image(std::max(Width, 1), std::max(Height, 1), QImage::Format_RGB32) {
    image.fill(Qt::white);
    image.setDotsPerMeterX(static_cast<int>(std::lround((DpiX > 0 ? DpiX : kScreenPixelsPerInch) / 0.0254)));
    image.setDotsPerMeterY(static_cast<int>(std::lround((DpiY > 0 ? DpiY : kScreenPixelsPerInch) / 0.0254)));
    device = std::make_unique<ImageDevice>(&image);
}

ImageStore::~ImageStore() = default;

}  // namespace gfx::detail

TImageCanvas::TImageCanvas(int Width, int Height, int PixelsPerInchX, int PixelsPerInchY)
    : gfx::detail::ImageStore(Width, Height, PixelsPerInchX, PixelsPerInchY), TCanvas(device.get()) {}

QImage& TImageCanvas::Image() {
    device->Flush();
    return image;
}

TReferenceCanvas::TReferenceCanvas() : TCanvas(&device) {}

namespace gfx {
std::unique_ptr<TCanvas> NewLayoutCanvas(const IPageDevice*) { return std::make_unique<TReferenceCanvas>(); }
}  // namespace gfx

// ---------------------------------------------------------------------------
// TCanvas: state

namespace {

QColor ToColor(TColor c) { return QColor::fromRgb(gfx::ColorToRGB(c)); }

QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }

// The edge pixels of a rectangle.
void OnePixelFrame(QPainter& p, const QRect& f, const QColor& color) {
    p.fillRect(QRect(f.left(), f.top(), f.width(), 1), color);
    p.fillRect(QRect(f.left(), f.bottom(), f.width(), 1), color);
    p.fillRect(QRect(f.left(), f.top(), 1, f.height()), color);
    p.fillRect(QRect(f.right(), f.top(), 1, f.height()), color);
}

TRect Normalized(int X1, int Y1, int X2, int Y2) {
    return TRect{std::min(X1, X2), std::min(Y1, Y2), std::max(X1, X2), std::max(Y1, Y2)};
}

// The dash lengths of one-pixel pens, in device pixels: on, off, on, off...
const std::vector<int>& PenPattern(TPenStyle s) {
    static const std::vector<int> solid;
    static const std::vector<int> dash{18, 6};
    static const std::vector<int> dot{3, 3};
    static const std::vector<int> dashDot{9, 6, 3, 6};
    static const std::vector<int> dashDotDot{9, 3, 3, 3, 3, 3};
    switch (s) {
        case psDash: return dash;
        case psDot: return dot;
        case psDashDot: return dashDot;
        case psDashDotDot: return dashDotDot;
        default: return solid;
    }
}

Qt::BrushStyle HatchOf(TBrushStyle s) {
    switch (s) {
        case bsHorizontal: return Qt::HorPattern;
        case bsVertical: return Qt::VerPattern;
        case bsFDiagonal: return Qt::FDiagPattern;
        case bsBDiagonal: return Qt::BDiagPattern;
        case bsCross: return Qt::CrossPattern;
        case bsDiagCross: return Qt::DiagCrossPattern;
        default: return Qt::SolidPattern;
    }
}

bool SetPenMode(QPainter& p, TPenMode mode, QColor& color, bool raster) {
    if (mode == pmNop) return false;
    if (mode == pmBlack || mode == pmWhite) color = mode == pmBlack ? Qt::black : Qt::white;
    // Pixels combine on raster devices only; printers copy.
    static const std::pair<TPenMode, QPainter::CompositionMode> combined[] = {
        {pmNot, QPainter::RasterOp_NotDestination},
        {pmXor, QPainter::RasterOp_SourceXorDestination},
        {pmNotXor, QPainter::RasterOp_NotSourceXorDestination},
        {pmMask, QPainter::RasterOp_SourceAndDestination},
        {pmMerge, QPainter::RasterOp_SourceOrDestination},
    };
    if (raster)
        for (const auto& [m, op] : combined)
            if (m == mode) p.setCompositionMode(op);
    return true;
}

}  // namespace

// Saves the device painter's state around one drawing operation, with the
// canvas's clip and without anti-aliasing.
struct TCanvas::Scope {
    QPainter* p;
    explicit Scope(TCanvas& c) : p(c.device_->Painter()) {
        if (!p) return;
        p->save();
        p->setRenderHint(QPainter::Antialiasing, false);
        p->setRenderHint(QPainter::SmoothPixmapTransform, false);
        if (c.clip_) p->setClipRect(ToQRect(*c.clip_), Qt::IntersectClip);
    }
    ~Scope() {
        if (p) p->restore();
    }
    explicit operator bool() const { return p != nullptr; }
};

TCanvas::TCanvas(gfx::IPageDevice* Device) : device_(Device) {
    font_.SetPixelsPerInch(device_->PixelsPerInchY());
    font_.OnChange = [this](TObject*) { FontChanged(); };
}

TCanvas::~TCanvas() = default;

bool TCanvas::CanDraw() const { return device_->Painter() != nullptr; }

void TCanvas::FontChanged() {
    // The face follows the name and style only; a new size keeps it.
    if (face_ && (face_->RequestedName != font_.Name() || faceBold_ != font_.Style().Contains(fsBold) ||
                  faceItalic_ != font_.Style().Contains(fsItalic)))
        face_.reset();
    // The metrics follow the face, the size and boldness.
    if (!face_ || metricsPoints_ != font_.SizeInPoints() || metricsCell_ != font_.IsCellHeight() ||
        metricsBold_ != font_.Style().Contains(fsBold))
        metrics_.reset();
    advanceChecked_ = false;
}

void TCanvas::SetFontAngle(int Tenths) { fontAngle_ = Tenths; }

const gfx::ResolvedFace& TCanvas::Face() {
    if (!face_) {
        faceBold_ = font_.Style().Contains(fsBold);
        faceItalic_ = font_.Style().Contains(fsItalic);
        face_ = gfx::ResolveFace(font_.Name(), faceBold_, faceItalic_);
    }
    return *face_;
}

// ---------------------------------------------------------------------------
// Measuring

namespace {

// The em of a font on a device axis: points x dpi / 72, or for a cell height
// the em that gives that cell.
double EmOf(const TFont& f, int dpi, const gfx::FaceMetrics& m) {
    double px = f.SizeInPoints() * dpi / 72.0;
    if (f.IsCellHeight() && m.WinAscent + m.WinDescent > 0) px = px * m.UnitsPerEm / (m.WinAscent + m.WinDescent);
    return px;
}

}  // namespace

double TCanvas::CharAdvance(char32_t Char) {
    const gfx::FontFace& face = *Face().Face;
    const gfx::FaceMetrics& m = face.Metrics();
    return face.Advance(Char) * EmOf(font_, PixelsPerInchX(), m) / m.UnitsPerEm;
}

// The cached advances hold while the face and the em across do: a
// measuring canvas changes its font for every text, mostly to the same.
double* TCanvas::AdvanceCache() {
    if (!advanceChecked_) {
        const gfx::FontFace* face = Face().Face.get();
        const double em = EmOf(font_, PixelsPerInchX(), face->Metrics());
        if (advanceCache_.empty() || face != advanceFace_ || em != advanceEm_) {
            advanceCache_.assign(256, -1.0);
            advanceFace_ = face;
            advanceEm_ = em;
        }
        advanceChecked_ = true;
    }
    return advanceCache_.data();
}

gfx::FontMetricsF TCanvas::MeasureFont() {
    const gfx::ResolvedFace& r = Face();
    const gfx::FontFace& face = *r.Face;
    const gfx::FaceMetrics& m = face.Metrics();
    double emY = EmOf(font_, PixelsPerInchY(), m);
    double emX = EmOf(font_, PixelsPerInchX(), m);
    double sy = emY / m.UnitsPerEm, sx = emX / m.UnitsPerEm;
    gfx::FontMetricsF f;
    f.EmHeight = emY;
    f.Ascent = m.WinAscent * sy;
    f.Descent = m.WinDescent * sy;
    f.InternalLeading = f.Ascent + f.Descent - emY;
    int hheaHeight = m.HheaAscender - m.HheaDescender;
    f.ExternalLeading = std::max(0, m.HheaLineGap - ((m.WinAscent + m.WinDescent) - hheaHeight)) * sy;
    f.AveCharWidth = m.AvgCharWidth * sx;
    f.MaxCharWidth = m.MaxAdvanceWidth * sx;
    f.UnderlinePosition = -m.UnderlinePosition * sy;
    f.UnderlineThickness = std::max(1.0, m.UnderlineThickness * sy);
    f.StrikeoutPosition = m.StrikeoutPosition * sy;
    f.StrikeoutSize = std::max(1.0, m.StrikeoutSize * sy);
    f.Weight = (font_.Style().Contains(fsBold) || m.WeightClass >= 600) ? 700 : 400;
    f.FixedPitch = m.FixedPitch;
    f.TrueType = m.TrueType;
    std::tie(f.FirstChar, f.LastChar) = face.Cp1252Range();
    return f;
}

gfx::FontMetricsF TCanvas::ExactTextMetrics() {
    if (!metrics_) {
        metrics_ = MeasureFont();
        metricsPoints_ = font_.SizeInPoints();
        metricsCell_ = font_.IsCellHeight();
        metricsBold_ = font_.Style().Contains(fsBold);
    }
    return *metrics_;
}

void TCanvas::GetTextMetrics(TTextMetric& M) {
    gfx::FontMetricsF f = ExactTextMetrics();
    M = TTextMetric{};
    M.tmAscent = static_cast<int>(std::lround(f.Ascent));
    M.tmDescent = static_cast<int>(std::lround(f.Descent));
    M.tmHeight = M.tmAscent + M.tmDescent;
    M.tmInternalLeading = M.tmHeight - static_cast<int>(std::lround(f.EmHeight));
    M.tmExternalLeading = static_cast<int>(std::lround(f.ExternalLeading));
    M.tmAveCharWidth = static_cast<int>(std::lround(f.AveCharWidth));
    M.tmMaxCharWidth = static_cast<int>(std::lround(f.MaxCharWidth));
    M.tmWeight = f.Weight;
    M.tmFirstChar = f.FirstChar;
    M.tmLastChar = f.LastChar;
    M.tmBreakChar = 32;
    M.tmItalic = font_.Style().Contains(fsItalic) ? 1 : 0;
    M.tmUnderlined = font_.Style().Contains(fsUnderline) ? 1 : 0;
    M.tmStruckOut = font_.Style().Contains(fsStrikeOut) ? 1 : 0;
    M.tmPitchAndFamily = static_cast<std::uint8_t>((f.FixedPitch ? 0 : TMPF_FIXED_PITCH) |
                                                   (f.TrueType ? TMPF_VECTOR | TMPF_TRUETYPE : 0));
    M.tmCharSet = font_.Charset() == DEFAULT_CHARSET ? ANSI_CHARSET : font_.Charset();
    M.tmDigitizedAspectX = PixelsPerInchX();
    M.tmDigitizedAspectY = PixelsPerInchY();
}

std::vector<double> TCanvas::Advances(const std::string& Text) {
    std::vector<double> out;
    for (char32_t c : gfx::Characters(Text)) {
        if (c < 256) {
            double& a = AdvanceCache()[c];
            if (a < 0) a = CharAdvance(c);
            out.push_back(a);
        } else {
            out.push_back(CharAdvance(c));
        }
    }
    return out;
}

std::vector<double> TCanvas::CharWidths(int First, int Last) {
    std::vector<double> out;
    for (int c = std::max(First, 0); c <= std::min(Last, 255); ++c)
        out.push_back(CharAdvance(utf8::Cp1252Char(static_cast<unsigned char>(c))));
    return out;
}

double TCanvas::RunWidth(const std::u32string& Chars, const std::vector<int>* TabStops, int TabOrigin, double StartX,
                         bool Justify) {
    double x = StartX;
    double extra = (Justify && breakCount_ > 0) ? breakExtra_ / breakCount_ : 0;
    double blank = -1;
    for (char32_t c : Chars) {
        if (c == U'\t' && TabStops != nullptr) {
            double rel = x - TabOrigin;
            if (TabStops->empty() || TabStops->size() == 1) {
                double step;
                if (TabStops->empty()) {
                    TTextMetric tm;
                    GetTextMetrics(tm);
                    step = 8.0 * std::max(1, tm.tmAveCharWidth);
                } else {
                    step = std::max(1, std::abs((*TabStops)[0]));
                }
                x = TabOrigin + (std::floor(rel / step + 1e-9) + 1) * step;
            } else {
                bool found = false;
                for (int s : *TabStops) {
                    if (std::abs(s) > rel + 1e-9) {
                        x = TabOrigin + std::abs(s);
                        found = true;
                        break;
                    }
                }
                if (!found) {
                    if (blank < 0) blank = CharAdvance(U' ');
                    x += blank;
                }
            }
            continue;
        }
        double a;
        if (c < 256) {
            double& cached = AdvanceCache()[c];
            if (cached < 0) cached = CharAdvance(c);
            a = cached;
        } else {
            a = CharAdvance(c);
        }
        x += a;
        if (c == U' ') x += extra;
    }
    return x - StartX;
}

double TCanvas::TextWidthF(const std::string& Text) {
    // Decoded into a buffer kept from text to text: measuring runs per text printed.
    widthChars_.clear();
    for (std::size_t at = 0; at < Text.size();) widthChars_.push_back(utf8::Next(Text, at));
    return RunWidth(widthChars_, nullptr, 0, 0, true);
}

int TCanvas::TextWidth(const std::string& Text) { return static_cast<int>(std::lround(TextWidthF(Text))); }

int TCanvas::TextHeight(const std::string&) {
    TTextMetric tm;
    GetTextMetrics(tm);
    return tm.tmHeight;
}

TSize TCanvas::TextExtent(const std::string& Text) { return TSize{TextWidth(Text), TextHeight(Text)}; }

TSize TCanvas::TabbedTextExtent(const std::string& Text, const std::vector<int>& TabStops) {
    double w = RunWidth(gfx::Characters(Text), &TabStops, 0, 0, true);
    return TSize{static_cast<int>(std::lround(w)), TextHeight(Text)};
}

void TCanvas::SetTextJustification(int BreakExtra, int BreakCount) {
    breakExtra_ = BreakCount > 0 ? BreakExtra : 0;
    breakCount_ = BreakCount > 0 ? BreakCount : 0;
}

// ---------------------------------------------------------------------------
// Lines

void TCanvas::DrawLine(QPainter& P, TPoint From, TPoint To, bool LastPixel) {
    QColor color = ToColor(pen_.Color());
    if (!SetPenMode(P, pen_.Mode(), color, device_->Image() != nullptr)) return;
    if (pen_.Width() > 1) {
        // A wide pen is solid with round ends, as the platform's wide pens are.
        QPen pen(color, pen_.Width(), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        P.setPen(pen);
        P.drawLine(QPointF(From.X + 0.5, From.Y + 0.5), QPointF(To.X + 0.5, To.Y + 0.5));
        return;
    }
    // One-pixel lines pixel for pixel (Bresenham), the dash pattern counted
    // in device pixels and carried on from the previous segment.
    const std::vector<int>& pattern = PenPattern(pen_.Style());
    int period = 0;
    for (int n : pattern) period += n;
    auto on = [&](int pos) {
        if (period == 0) return true;
        int at = pos % period;
        for (std::size_t i = 0; i < pattern.size(); ++i) {
            if (at < pattern[i]) return i % 2 == 0;
            at -= pattern[i];
        }
        return true;
    };
    int x = From.X, y = From.Y;
    int dx = std::abs(To.X - x), dy = -std::abs(To.Y - y);
    int sx = x < To.X ? 1 : -1, sy = y < To.Y ? 1 : -1;
    int err = dx + dy;
    // Runs of lit pixels along a row or a column become one rectangle.
    QRect run;
    auto flush = [&] {
        if (!run.isNull()) P.fillRect(run, color);
        run = QRect();
    };
    auto plot = [&](int px, int py) {
        if (!run.isNull()) {
            if (run.height() == 1 && run.top() == py && (px == run.right() + 1 || px == run.left() - 1) &&
                (run.width() > 1 || dx >= -dy)) {
                run = run.united(QRect(px, py, 1, 1));
                return;
            }
            if (run.width() == 1 && run.left() == px && (py == run.bottom() + 1 || py == run.top() - 1)) {
                run = run.united(QRect(px, py, 1, 1));
                return;
            }
            flush();
        }
        run = QRect(px, py, 1, 1);
    };
    for (;;) {
        bool last = x == To.X && y == To.Y;
        if (last && !LastPixel) break;
        if (on(penPatternPos_)) plot(x, y);
        ++penPatternPos_;
        if (last) break;
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
    flush();
}

void TCanvas::MoveTo(int X, int Y) {
    penPos_ = TPoint{X, Y};
    penPatternPos_ = 0;
}

void TCanvas::LineTo(int X, int Y) {
    TPoint to{X, Y};
    if (pen_.Style() != psClear) {
        Scope s(*this);
        if (s) DrawLine(*s.p, penPos_, to, false);
    }
    penPos_ = to;
}

void TCanvas::Polyline(const std::vector<TPoint>& Points) {
    if (Points.empty()) return;
    TPoint keep = penPos_;
    MoveTo(Points[0].X, Points[0].Y);
    for (std::size_t i = 1; i < Points.size(); ++i) LineTo(Points[i].X, Points[i].Y);
    penPos_ = keep;
}

// ---------------------------------------------------------------------------
// Shapes

void TCanvas::FillShape(QPainter& P, const QPainterPath& Path) {
    if (brush_.Style() == bsClear) return;
    P.setPen(Qt::NoPen);
    if (brush_.Style() != bsSolid) P.fillPath(Path, QBrush(Qt::white));
    P.fillPath(Path, QBrush(ToColor(brush_.Color()), HatchOf(brush_.Style())));
}

void TCanvas::StrokeShape(QPainter& P, const QPainterPath& Path) {
    if (pen_.Style() == psClear) return;
    QColor color = ToColor(pen_.Color());
    if (!SetPenMode(P, pen_.Mode(), color, device_->Image() != nullptr)) return;
    QPen pen(color);
    if (pen_.Width() > 1) {
        pen.setWidth(pen_.Width());
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
    } else {
        pen.setWidth(0);  // cosmetic: one device pixel
        const std::vector<int>& pattern = PenPattern(pen_.Style());
        if (!pattern.empty()) {
            QList<qreal> dashes;
            for (int n : pattern) dashes.append(n);
            pen.setDashPattern(dashes);
        }
    }
    P.setPen(pen);
    P.setBrush(Qt::NoBrush);
    P.drawPath(Path);
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
    Scope s(*this);
    if (!s) return;
    TRect r = Normalized(X1, Y1, X2, Y2);
    if (r.IsEmpty()) return;
    QPainter& p = *s.p;
    int w = std::max(1, pen_.Width());
    if (pen_.Style() == psClear) {
        // Without a pen the platform fills one pixel less each way.
        QPainterPath fill;
        fill.addRect(QRectF(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
        FillShape(p, fill);
        return;
    }
    int inset = (pen_.Style() == psInsideFrame || w == 1) ? 0 : -(w / 2);
    QPainterPath fill;
    fill.addRect(QRectF(r.Left, r.Top, r.Width(), r.Height()));
    FillShape(p, fill);
    if (w == 1 && pen_.Style() != psSolid && pen_.Style() != psInsideFrame) {
        TPoint keep = penPos_;
        penPatternPos_ = 0;
        DrawLine(p, {r.Left, r.Top}, {r.Right - 1, r.Top}, false);
        DrawLine(p, {r.Right - 1, r.Top}, {r.Right - 1, r.Bottom - 1}, false);
        DrawLine(p, {r.Right - 1, r.Bottom - 1}, {r.Left, r.Bottom - 1}, false);
        DrawLine(p, {r.Left, r.Bottom - 1}, {r.Left, r.Top}, false);
        penPos_ = keep;
        return;
    }
    // Solid outlines: w nested one-pixel frames.
    QColor color = ToColor(pen_.Color());
    if (!SetPenMode(p, pen_.Mode(), color, device_->Image() != nullptr)) return;
    for (int i = 0; i < w; ++i) {
        int d = inset + i;
        QRect f(r.Left + d, r.Top + d, r.Width() - 2 * d, r.Height() - 2 * d);
        if (f.width() <= 0 || f.height() <= 0) break;
        OnePixelFrame(p, f, color);
    }
}

namespace {
// The outline rectangle of a shape's bounding box for a pen: the pen's
// centre line, inside the box for an inside frame.
QRectF OutlineBox(const TRect& r, int penWidth, bool inside) {
    // Through the centres of the edge pixels: a w-wide box lights w pixels.
    QRectF b(r.Left + 0.5, r.Top + 0.5, r.Width() - 1, r.Height() - 1);
    if (inside && penWidth > 1) {
        qreal d = penWidth / 2.0;
        b.adjust(d, d, -d, -d);
    }
    return b;
}
}  // namespace

void TCanvas::CurvedShape(int X1, int Y1, int X2, int Y2, const std::function<void(QPainterPath&, const QRectF&)>& Add) {
    Scope s(*this);
    if (!s) return;
    TRect r = Normalized(X1, Y1, X2, Y2);
    if (r.IsEmpty()) return;
    QPainterPath path;
    Add(path, OutlineBox(r, pen_.Width(), pen_.Style() == psInsideFrame));
    FillShape(*s.p, path);
    StrokeShape(*s.p, path);
}

void TCanvas::RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3) {
    CurvedShape(X1, Y1, X2, Y2, [&](QPainterPath& path, const QRectF& box) {
        path.addRoundedRect(box, std::abs(X3) / 2.0, std::abs(Y3) / 2.0);
    });
}

void TCanvas::Ellipse(int X1, int Y1, int X2, int Y2) {
    CurvedShape(X1, Y1, X2, Y2, [](QPainterPath& path, const QRectF& box) { path.addEllipse(box); });
}

void TCanvas::Polygon(const std::vector<TPoint>& Points) {
    if (Points.size() < 2) return;
    Scope s(*this);
    if (!s) return;
    QPolygonF poly;
    for (const TPoint& pt : Points) poly << QPointF(pt.X, pt.Y);
    QPainterPath path;
    path.addPolygon(poly);
    path.closeSubpath();
    path.setFillRule(Qt::OddEvenFill);
    FillShape(*s.p, path);
    if (pen_.Style() == psClear) return;
    if (pen_.Width() <= 1) {
        TPoint keep = penPos_;
        penPatternPos_ = 0;
        for (std::size_t i = 0; i < Points.size(); ++i)
            DrawLine(*s.p, Points[i], Points[(i + 1) % Points.size()], false);
        penPos_ = keep;
    } else {
        StrokeShape(*s.p, path);
    }
}

void TCanvas::FillRect(const TRect& R) {
    Scope s(*this);
    if (!s) return;
    TRect r = Normalized(R.Left, R.Top, R.Right, R.Bottom);
    if (r.IsEmpty()) return;
    QPainterPath path;
    path.addRect(QRectF(r.Left, r.Top, r.Width(), r.Height()));
    FillShape(*s.p, path);
}

void TCanvas::FrameRect(const TRect& R) {
    Scope s(*this);
    if (!s) return;
    TRect r = Normalized(R.Left, R.Top, R.Right, R.Bottom);
    if (r.IsEmpty()) return;
    OnePixelFrame(*s.p, ToQRect(r), ToColor(brush_.Color()));
}

TColor TCanvas::Pixel(int X, int Y) const {
    QImage* img = device_->Image();
    if (img == nullptr || !img->valid(X, Y)) return clNone;
    QRgb v = img->pixel(X, Y);
    return static_cast<TColor>(qRed(v) | (qGreen(v) << 8) | (qBlue(v) << 16));
}

void TCanvas::SetPixel(int X, int Y, TColor Color) {
    Scope s(*this);
    if (!s) return;
    s.p->fillRect(QRect(X, Y, 1, 1), ToColor(Color));
}

// ---------------------------------------------------------------------------
// Pictures

void TCanvas::Draw(int X, int Y, TGraphic* Graphic) {
    if (Graphic == nullptr || Graphic->Empty()) return;
    Graphic->Draw(this, Bounds(X, Y, Graphic->Width(), Graphic->Height()));
}

void TCanvas::StretchDraw(const TRect& R, TGraphic* Graphic) {
    if (Graphic == nullptr || Graphic->Empty()) return;
    Graphic->Draw(this, R);
}

void TCanvas::DrawImage(const TRect& Dest, const QImage& Image, TCopyMode Rop) {
    Scope s(*this);
    if (!s || Dest.IsEmpty()) return;
    QPainter& p = *s.p;
    QRect target = ToQRect(Dest);
    if (Rop == BLACKNESS || Rop == WHITENESS) {
        p.fillRect(target, Rop == BLACKNESS ? Qt::black : Qt::white);
        return;
    }
    if (Image.isNull()) return;
    bool raster = device_->Image() != nullptr;
    if (Rop == SRCAND) {
        // White becomes transparent: the same result as the platform's AND
        // for black on white, on every device.
        QImage masked = Image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < masked.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
            for (int x = 0; x < masked.width(); ++x)
                if ((line[x] & 0x00FFFFFFu) == 0x00FFFFFFu) line[x] = 0;
        }
        p.drawImage(target, masked);
        return;
    }
    if (raster) {
        switch (Rop) {
            case SRCPAINT: p.setCompositionMode(QPainter::RasterOp_SourceOrDestination); break;
            case SRCINVERT: p.setCompositionMode(QPainter::RasterOp_SourceXorDestination); break;
            case SRCERASE: p.setCompositionMode(QPainter::RasterOp_SourceAndNotDestination); break;
            case NOTSRCCOPY: p.setCompositionMode(QPainter::RasterOp_NotSource); break;
            default: break;
        }
    }
    p.drawImage(target, Image);
}

void TCanvas::IntersectClipRect(const TRect& R) {
    if (!clip_) {
        clip_ = R;
        return;
    }
    TRect c = *clip_;
    TRect r{std::max(c.Left, R.Left), std::max(c.Top, R.Top), std::min(c.Right, R.Right), std::min(c.Bottom, R.Bottom)};
    if (r.IsEmpty()) r = TRect{r.Left, r.Top, r.Left, r.Top};
    clip_ = r;
}

// ---------------------------------------------------------------------------
// Text

namespace {

// The face as a font Qt can embed, one per face and thread: Qt embeds a
// font only when it knows the font's file, so the face comes from Qt's font
// database by its names, and is taken only when the names agree.
QRawFont RawFontOf(const gfx::FontFace& Face) {
    // Qt's font database stands on the application object.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return QRawFont();
    thread_local std::map<std::pair<std::string, int>, QRawFont> fonts;
    auto [it, added] = fonts.try_emplace({Face.File(), Face.Index()});
    if (added) {
        QFont font(QString::fromStdString(Face.FamilyName()));
        font.setStyleName(QString::fromStdString(Face.StyleName()));
        font.setPixelSize(64);
        font.setStyleStrategy(QFont::StyleStrategy(QFont::NoFontMerging | QFont::PreferOutline));
        font.setHintingPreference(QFont::PreferNoHinting);
        QRawFont raw = QRawFont::fromFont(font);
        if (raw.isValid() && raw.familyName().toStdString() == Face.FamilyName() &&
            raw.styleName().toStdString() == Face.StyleName())
            it->second = raw;
    }
    return it->second;
}

}  // namespace

void TCanvas::DrawTextRun(QPainter& P, double X, double Y, const std::u32string& Chars, unsigned Align,
                          const std::vector<int>* TabStops, int TabOrigin, bool Opaque) {
    gfx::FontMetricsF m = ExactTextMetrics();
    double width = RunWidth(Chars, TabStops, TabOrigin, X, true);
    double x0 = 0;
    if ((Align & TA_CENTER) == TA_CENTER)
        x0 = -width / 2;
    else if (Align & TA_RIGHT)
        x0 = -width;
    double baseline = m.Ascent;
    if ((Align & TA_BASELINE) == TA_BASELINE)
        baseline = 0;
    else if (Align & TA_BOTTOM)
        baseline = -m.Descent;

    QTransform t;
    t.translate(X, Y);
    t.rotate(-fontAngle_ / 10.0);  // counter-clockwise on a y-down device
    P.setTransform(t, true);

    if (Opaque && brush_.Style() == bsSolid)
        P.fillRect(QRectF(x0, baseline - m.Ascent, width, m.Ascent + m.Descent), ToColor(brush_.Color()));

    const gfx::ResolvedFace& face = Face();
    const gfx::FaceMetrics& fm = face.Face->Metrics();
    double sx = EmOf(font_, PixelsPerInchX(), fm) / fm.UnitsPerEm;
    double sy = EmOf(font_, PixelsPerInchY(), fm) / fm.UnitsPerEm;
    double extra = breakCount_ > 0 ? breakExtra_ / breakCount_ : 0;
    QColor color = ToColor(font_.Color());
    // A PDF (a printer's job, a file) gets the text as text, laid out at the
    // same places as the outlines elsewhere: the reader can select and copy
    // it, and a print service passes it on.
    if (P.paintEngine() != nullptr && P.paintEngine()->type() == QPaintEngine::Pdf && !face.SyntheticBold &&
        !face.SyntheticItalic && std::abs(sx - sy) < 1e-9 * std::max(1.0, sx)) {
        QRawFont raw = RawFontOf(*face.Face);
        if (raw.isValid()) {
            raw.setPixelSize(sx * fm.UnitsPerEm);
            QList<quint32> glyphs;
            QList<QPointF> positions;
            double at = x0;
            for (char32_t c : Chars) {
                if (c == U'\t' && TabStops != nullptr) {
                    std::u32string one(1, c);
                    at += RunWidth(one, TabStops, TabOrigin, X + at, false);
                    continue;
                }
                const QList<quint32> g = raw.glyphIndexesForString(QString::fromUcs4(&c, 1));
                if (!g.isEmpty() && g.front() != 0 && face.Face->HasGlyph(c)) {
                    glyphs.append(g.front());
                    positions.append(QPointF(at, baseline));
                }
                at += CharAdvance(c);
                if (c == U' ') at += breakCount_ > 0 ? breakExtra_ / breakCount_ : 0;
            }
            if (!glyphs.isEmpty()) {
                QGlyphRun glyphRun;
                glyphRun.setRawFont(raw);
                glyphRun.setGlyphIndexes(glyphs);
                glyphRun.setPositions(positions);
                P.setPen(color);
                P.drawGlyphRun(QPointF(0, 0), glyphRun);
            }
            if (font_.Style().Contains(fsUnderline))
                P.fillRect(QRectF(x0, baseline + m.UnderlinePosition - m.UnderlineThickness / 2, width,
                                  m.UnderlineThickness),
                           color);
            if (font_.Style().Contains(fsStrikeOut))
                P.fillRect(QRectF(x0, baseline - m.StrikeoutPosition, width, m.StrikeoutSize), color);
            return;
        }
    }
    QPainterPath run;
    run.setFillRule(Qt::WindingFill);
    double pen = x0;
    for (char32_t c : Chars) {
        if (c == U'\t' && TabStops != nullptr) {
            std::u32string one(1, c);
            pen += RunWidth(one, TabStops, TabOrigin, X + pen, false);
            continue;
        }
        QTransform g(sx, 0, 0, -sy, pen, baseline);
        if (face.SyntheticItalic) g = QTransform(sx, 0, 0.2 * sy, -sy, pen, baseline);
        run.addPath(g.map(face.Face->Outline(c)));
        pen += CharAdvance(c);
        if (c == U' ') pen += extra;
    }
    P.setRenderHint(QPainter::Antialiasing, true);
    P.fillPath(run, color);
    if (face.SyntheticBold) P.strokePath(run, QPen(color, m.EmHeight / 30.0));
    if (font_.Style().Contains(fsUnderline))
        P.fillRect(QRectF(x0, baseline + m.UnderlinePosition - m.UnderlineThickness / 2, width, m.UnderlineThickness),
                   color);
    if (font_.Style().Contains(fsStrikeOut))
        P.fillRect(QRectF(x0, baseline - m.StrikeoutPosition, width, m.StrikeoutSize), color);
}

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
    Scope s(*this);
    if (s) DrawTextRun(*s.p, X, Y, gfx::Characters(Text), textAlign_, nullptr, 0, true);
    penPos_ = TPoint{X + TextWidth(Text), Y};
}

void TCanvas::TextRect(const TRect& R, int X, int Y, const std::string& Text) {
    Scope s(*this);
    if (!s) return;
    QPainter& p = *s.p;
    p.setClipRect(ToQRect(R), Qt::IntersectClip);
    if (brush_.Style() == bsSolid) p.fillRect(ToQRect(R), ToColor(brush_.Color()));
    DrawTextRun(p, X, Y, gfx::Characters(Text), textAlign_, nullptr, 0, false);
}

TSize TCanvas::TabbedTextOut(int X, int Y, const std::string& Text, const std::vector<int>& TabStops, int TabOrigin) {
    std::u32string chars = gfx::Characters(Text);
    {
        Scope s(*this);
        if (s) DrawTextRun(*s.p, X, Y, chars, textAlign_ & ~(TA_RIGHT | TA_CENTER), &TabStops, TabOrigin, true);
    }
    double w = RunWidth(chars, &TabStops, TabOrigin, X, true);
    return TSize{static_cast<int>(std::lround(w)), TextHeight(Text)};
}

namespace {

// A line of DrawText: its characters.
std::u32string StripPrefixes(const std::u32string& s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == U'&') {
            if (i + 1 < s.size() && s[i + 1] == U'&') {
                out.push_back(U'&');
                ++i;
            }
            continue;
        }
        out.push_back(s[i]);
    }
    return out;
}

bool IsBlank(char32_t c) { return c == U' ' || c == U'\t'; }

}  // namespace

std::vector<std::u32string> TCanvas::Lines(const std::string& Text, double Width, unsigned Flags) {
    std::u32string all = gfx::Characters(Text);
    if (!(Flags & DT_NOPREFIX)) all = StripPrefixes(all);
    std::vector<int> noStops;
    const std::vector<int>* tabs = (Flags & DT_EXPANDTABS) ? &noStops : nullptr;
    auto width = [&](const std::u32string& s) { return RunWidth(s, tabs, 0, 0, true); };

    // Paragraphs, then lines.
    std::vector<std::u32string> paragraphs;
    if (Flags & DT_SINGLELINE) {
        std::u32string one;
        for (char32_t c : all)
            if (c != U'\r' && c != U'\n') one.push_back(c);
        paragraphs.push_back(one);
    } else {
        std::u32string cur;
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (all[i] == U'\r' || all[i] == U'\n') {
                paragraphs.push_back(cur);
                cur.clear();
                if (all[i] == U'\r' && i + 1 < all.size() && all[i + 1] == U'\n') ++i;
            } else {
                cur.push_back(all[i]);
            }
        }
        paragraphs.push_back(cur);
    }
    std::vector<std::u32string> lines;
    double avail = Width;
    for (const std::u32string& para : paragraphs) {
        if (!(Flags & DT_WORDBREAK) || (Flags & DT_SINGLELINE)) {
            lines.push_back(para);
            continue;
        }
        // Greedy by words: a word with the blanks after it goes on the line
        // while the line without its trailing blanks fits; a word wider than
        // the rectangle stands alone.
        std::u32string line;
        std::size_t i = 0;
        bool any = false;
        while (i < para.size()) {
            std::size_t j = i;
            while (j < para.size() && !IsBlank(para[j])) ++j;
            std::u32string word = para.substr(i, j - i);
            std::size_t k = j;
            while (k < para.size() && IsBlank(para[k])) ++k;
            std::u32string blanks = para.substr(j, k - j);
            if (!line.empty() && width(line + word) > avail + 1e-9) {
                while (!line.empty() && IsBlank(line.back())) line.pop_back();
                lines.push_back(line);
                line.clear();
            }
            line += word + blanks;
            any = true;
            i = k;
        }
        while (!line.empty() && IsBlank(line.back())) line.pop_back();
        if (!line.empty() || !any) lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> TCanvas::BreakLines(const std::string& Text, int Width, unsigned Flags) {
    std::vector<std::string> out;
    for (const std::u32string& l : Lines(Text, Width, Flags)) {
        std::string s;
        for (char32_t c : l) utf8::Append(s, c);
        out.push_back(std::move(s));
    }
    return out;
}

int TCanvas::DrawText(const std::string& Text, TRect& R, unsigned Flags) {
    TTextMetric tm;
    GetTextMetrics(tm);
    int lineHeight = tm.tmHeight + ((Flags & DT_EXTERNALLEADING) ? tm.tmExternalLeading : 0);
    std::vector<int> noStops;
    const std::vector<int>* tabs = (Flags & DT_EXPANDTABS) ? &noStops : nullptr;
    auto width = [&](const std::u32string& s) { return RunWidth(s, tabs, 0, 0, true); };
    std::vector<std::u32string> lines = Lines(Text, R.Width(), Flags);
    int height = lineHeight * static_cast<int>(lines.size());

    if (Flags & DT_CALCRECT) {
        double widest = 0;
        for (const auto& l : lines) widest = std::max(widest, width(l));
        R.Right = R.Left + static_cast<int>(std::lround(widest));
        R.Bottom = R.Top + height;
        return height;
    }

    Scope s(*this);
    if (!s) return height;
    QPainter& p = *s.p;
    if (!(Flags & DT_NOCLIP)) p.setClipRect(ToQRect(R), Qt::IntersectClip);
    int y = R.Top;
    if (Flags & DT_SINGLELINE) {
        if (Flags & DT_BOTTOM)
            y = R.Bottom - lineHeight;
        else if (Flags & DT_VCENTER)
            y = R.Top + (R.Height() - lineHeight) / 2;
    }
    for (const auto& l : lines) {
        double w = width(l);
        double x = R.Left;
        if (Flags & DT_RIGHT)
            x = R.Right - w;
        else if (Flags & DT_CENTER)
            x = R.Left + (R.Width() - w) / 2;
        p.save();
        DrawTextRun(p, x, y, l, TA_LEFT | TA_TOP, tabs, static_cast<int>(x), true);
        p.restore();
        y += lineHeight;
    }
    return height;
}
