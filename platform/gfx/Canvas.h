#pragma once
// The canvas: one way to measure and draw text, lines, shapes and pictures on
// every device (an image at a given resolution, a printer page, the
// reference measuring device), with the platform's drawing semantics that
// report code is written against: rectangles exclude their right and bottom
// edges, LineTo leaves out its last pixel, one-pixel pens dash in device
// pixels, text is placed by the top-left corner of its cell and turned
// counter-clockwise around it.
//
// Measuring. Every canvas measures the same way: a character's advance is its
// unhinted advance in the font file scaled linearly (advance x points x
// dpi / 72 / unitsPerEm), never rounded per character; a text's width is the
// sum, rounded once. A text therefore measures the same on every machine and
// in proportion on every device. Layout (auto size, wrapping, rotated bounds,
// PDF metrics) measures on the reference device (TReferenceCanvas, 600 dpi)
// whatever the output; devices only draw.
//
// Drawing. Lines, frames and fills are drawn without anti-aliasing, pixel for
// pixel; text is the font's outlines filled with anti-aliasing, at the
// measured positions. No QGuiApplication is needed: canvases over images and
// the measuring device work on any thread (one canvas per thread).
//
// Test fakes measure without fonts by overriding the measuring hooks
// (tests/support/FakeCanvas.h).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QImage>

#include "platform/gfx/FontEngine.h"
#include "platform/gfx/Graphics.h"

class QPainter;
class TGraphic;

namespace gfx {

// A surface a canvas draws on: a printer's page, an image, or nothing at all
// (a device that only measures). The printer layer implements it over a
// QPrinter; the painter stays the device's.
class IPageDevice {
public:
    virtual ~IPageDevice() = default;
    // The painter of the current page; nullptr for a device that only
    // measures (the canvas then draws nothing).
    virtual QPainter* Painter() = 0;
    virtual int PixelsPerInchX() const = 0;
    virtual int PixelsPerInchY() const = 0;
    // The drawable size in device pixels.
    virtual TSize Size() const = 0;
    // The image behind a raster device (nullptr for printers and PDF, which
    // have no pixels to read back and no raster operations).
    virtual QImage* Image() { return nullptr; }
};

// The resolution layout is measured at.
inline constexpr int kReferencePixelsPerInch = 600;

// A font's measures in pixels of a device, exact.
struct FontMetricsF {
    double EmHeight = 0;  // the character height: points x dpi / 72
    double Ascent = 0;
    double Descent = 0;
    double InternalLeading = 0;  // Ascent + Descent - EmHeight
    double ExternalLeading = 0;
    double AveCharWidth = 0;
    double MaxCharWidth = 0;
    double UnderlinePosition = 0;  // below the baseline, positive down
    double UnderlineThickness = 0;
    double StrikeoutPosition = 0;  // above the baseline, positive up
    double StrikeoutSize = 0;
    int Weight = 400;
    bool FixedPitch = false;
    bool TrueType = true;
    char32_t FirstChar = 32;  // code page 1252 codes 32..255 that have a glyph
    char32_t LastChar = 255;
};

}  // namespace gfx

// The platform's text metric record, in whole device pixels (each measure
// rounded from the exact one; tmHeight = tmAscent + tmDescent).
struct TTextMetric {
    int tmHeight = 0;
    int tmAscent = 0;
    int tmDescent = 0;
    int tmInternalLeading = 0;
    int tmExternalLeading = 0;
    int tmAveCharWidth = 0;
    int tmMaxCharWidth = 0;
    int tmWeight = 400;
    int tmOverhang = 0;
    int tmDigitizedAspectX = 0;
    int tmDigitizedAspectY = 0;
    char32_t tmFirstChar = 32;
    char32_t tmLastChar = 255;
    char32_t tmDefaultChar = 0;  // the face's missing-glyph box
    char32_t tmBreakChar = 32;
    std::uint8_t tmItalic = 0;
    std::uint8_t tmUnderlined = 0;
    std::uint8_t tmStruckOut = 0;
    std::uint8_t tmPitchAndFamily = 0;
    std::uint8_t tmCharSet = 0;
};
// tmPitchAndFamily bits. TMPF_FIXED_PITCH is set for a VARIABLE pitch font,
// as the platform has it.
inline constexpr std::uint8_t TMPF_FIXED_PITCH = 0x01;
inline constexpr std::uint8_t TMPF_VECTOR = 0x02;
inline constexpr std::uint8_t TMPF_TRUETYPE = 0x04;

// Text alignment of TextOut (SetTextAlign): the reference point is the
// cell's top (default), baseline or bottom, and its left (default), right
// or centre.
inline constexpr unsigned TA_LEFT = 0;
inline constexpr unsigned TA_TOP = 0;
inline constexpr unsigned TA_RIGHT = 2;
inline constexpr unsigned TA_CENTER = 6;
inline constexpr unsigned TA_BOTTOM = 8;
inline constexpr unsigned TA_BASELINE = 24;

// DrawText flags.
inline constexpr unsigned DT_TOP = 0x0;
inline constexpr unsigned DT_LEFT = 0x0;
inline constexpr unsigned DT_CENTER = 0x1;
inline constexpr unsigned DT_RIGHT = 0x2;
inline constexpr unsigned DT_VCENTER = 0x4;
inline constexpr unsigned DT_BOTTOM = 0x8;
inline constexpr unsigned DT_WORDBREAK = 0x10;
inline constexpr unsigned DT_SINGLELINE = 0x20;
inline constexpr unsigned DT_EXPANDTABS = 0x40;
inline constexpr unsigned DT_NOCLIP = 0x100;
inline constexpr unsigned DT_EXTERNALLEADING = 0x200;
inline constexpr unsigned DT_CALCRECT = 0x400;
inline constexpr unsigned DT_NOPREFIX = 0x800;

// Raster operations of image drawing (CopyMode). SRCCOPY and SRCAND work on
// every device: SRCAND makes white pixels transparent (the use it has:
// black drawing over what is there), since printers and PDF know no raster
// operations. The others combine pixels on raster devices and copy elsewhere.
using TCopyMode = std::uint32_t;
inline constexpr TCopyMode SRCCOPY = 0x00CC0020;
inline constexpr TCopyMode SRCPAINT = 0x00EE0086;
inline constexpr TCopyMode SRCAND = 0x008800C6;
inline constexpr TCopyMode SRCINVERT = 0x00660046;
inline constexpr TCopyMode SRCERASE = 0x00440328;
inline constexpr TCopyMode NOTSRCCOPY = 0x00330008;
inline constexpr TCopyMode BLACKNESS = 0x00000042;
inline constexpr TCopyMode WHITENESS = 0x00FF0062;
inline constexpr TCopyMode cmSrcCopy = SRCCOPY;
inline constexpr TCopyMode cmSrcAnd = SRCAND;
inline constexpr TCopyMode cmSrcPaint = SRCPAINT;
inline constexpr TCopyMode cmSrcInvert = SRCINVERT;

class TCanvas : public TPersistent {
public:
    FAT_CLASS_NAME(TCanvas)
    // Device is not owned and must outlive the canvas.
    explicit TCanvas(gfx::IPageDevice* Device);
    ~TCanvas() override;
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    gfx::IPageDevice* Device() const { return device_; }
    int PixelsPerInchX() const { return device_->PixelsPerInchX(); }
    int PixelsPerInchY() const { return device_->PixelsPerInchY(); }
    // False for a device that only measures.
    bool CanDraw() const;

    TFont* Font() { return &font_; }
    TPen* Pen() { return &pen_; }
    TBrush* Brush() { return &brush_; }
    void SetFont(const TFont& Value) { font_.Assign(const_cast<TFont*>(&Value)); }
    void SetPen(const TPen& Value) { pen_.Assign(const_cast<TPen*>(&Value)); }
    void SetBrush(const TBrush& Value) { brush_.Assign(const_cast<TBrush*>(&Value)); }

    // The angle text is written at, in tenths of a degree counter-clockwise
    // (a rotated font's escapement).
    int FontAngle() const { return fontAngle_; }
    void SetFontAngle(int Tenths);

    // Lines with the pen; the pen position moves to the end. LineTo leaves
    // out the last pixel.
    TPoint PenPos() const { return penPos_; }
    void SetPenPos(TPoint Value) { penPos_ = Value; }
    void MoveTo(int X, int Y);
    void LineTo(int X, int Y);
    void Polyline(const std::vector<TPoint>& Points);

    // Shapes: the pen outlines, the brush fills (a hatch over opaque white).
    // The right and bottom edges are excluded.
    void Rectangle(int X1, int Y1, int X2, int Y2);
    void Rectangle(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
    // X3, Y3: width and height of the corner ellipse.
    void RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3);
    void Ellipse(int X1, int Y1, int X2, int Y2);
    void Ellipse(const TRect& R) { Ellipse(R.Left, R.Top, R.Right, R.Bottom); }
    void Polygon(const std::vector<TPoint>& Points);
    // The brush alone over the rectangle.
    void FillRect(const TRect& R);
    // A one-pixel frame in the brush's colour.
    void FrameRect(const TRect& R);
    // Raster devices only: the pixel's colour (clNone elsewhere and outside).
    TColor Pixel(int X, int Y) const;
    void SetPixel(int X, int Y, TColor Color);

    // Pictures.
    TCopyMode CopyMode() const { return copyMode_; }
    void SetCopyMode(TCopyMode Value) { copyMode_ = Value; }
    void Draw(int X, int Y, TGraphic* Graphic);
    void StretchDraw(const TRect& R, TGraphic* Graphic);
    // An image stretched into Dest with a raster operation (nearest pixel,
    // as the platform's colour-on-colour stretching).
    void DrawImage(const TRect& Dest, const QImage& Image, TCopyMode Rop);

    // Clipping: drawing stays inside the clip rectangle, when there is one.
    std::optional<TRect> ClipRect() const { return clip_; }
    void SetClipRect(std::optional<TRect> Value) { clip_ = Value; }
    void IntersectClipRect(const TRect& R);

    // Text, with the font, at the font angle; the brush (when solid) fills
    // the text's cell first.
    unsigned TextAlign() const { return textAlign_; }
    void SetTextAlign(unsigned Flags) { textAlign_ = Flags; }
    void TextOut(int X, int Y, const std::string& Text);
    // Clipped to R; a solid brush fills R first.
    void TextRect(const TRect& R, int X, int Y, const std::string& Text);
    // Tabs expand to the tab stops (pixels from TabOrigin): no stop means
    // every 8 average character widths, one stop every that distance, more
    // stops each in turn and one blank past the last. Returns the extent.
    TSize TabbedTextOut(int X, int Y, const std::string& Text, const std::vector<int>& TabStops, int TabOrigin);
    TSize TabbedTextExtent(const std::string& Text, const std::vector<int>& TabStops);
    // Lays out or measures text in a rectangle (DT_ flags); with DT_CALCRECT
    // R receives the size the text takes and nothing is drawn. Returns the
    // height of the text.
    int DrawText(const std::string& Text, TRect& R, unsigned Flags);
    // The lines DrawText lays Text out in for a rectangle Width pixels wide
    // (DT_WORDBREAK, DT_SINGLELINE, DT_EXPANDTABS and DT_NOPREFIX count):
    // paragraphs at line breaks, words kept whole, blanks at a break dropped.
    std::vector<std::string> BreakLines(const std::string& Text, int Width, unsigned Flags);
    // Spreads BreakExtra pixels over the next texts' BreakCount blanks, until
    // set again (0, 0 resets); measuring takes it into account.
    void SetTextJustification(int BreakExtra, int BreakCount);

    int TextWidth(const std::string& Text);
    int TextHeight(const std::string& Text);
    TSize TextExtent(const std::string& Text);
    // The exact width in pixels (justification included).
    double TextWidthF(const std::string& Text);
    // The exact advance of each character of Text, justification excluded.
    std::vector<double> Advances(const std::string& Text);
    // The exact advances of the code page 1252 characters First..Last.
    std::vector<double> CharWidths(int First, int Last);
    void GetTextMetrics(TTextMetric& Metric);
    gfx::FontMetricsF ExactTextMetrics();

protected:
    // The measuring hooks, at this canvas's font and resolution: the advance
    // of one character along X, and the font's measures. The font engine
    // answers by default.
    virtual double CharAdvance(char32_t Char);
    virtual gfx::FontMetricsF MeasureFont();

    // The resolved face of the current font (valid until the font changes).
    const gfx::ResolvedFace& Face();

private:
    struct Scope;
    struct LineRun;
    void FontChanged();
    void DrawLine(QPainter& P, TPoint From, TPoint To, bool LastPixel);
    void FillShape(QPainter& P, const class QPainterPath& Path);
    // A shape whose path Add makes in the outline box: filled, then outlined.
    void CurvedShape(int X1, int Y1, int X2, int Y2,
                     const std::function<void(class QPainterPath&, const class QRectF&)>& Add);
    void StrokeShape(QPainter& P, const class QPainterPath& Path);
    void DrawTextRun(QPainter& P, double X, double Y, const std::u32string& Chars, unsigned Align,
                     const std::vector<int>* TabStops, int TabOrigin, bool Opaque);
    double RunWidth(const std::u32string& Chars, const std::vector<int>* TabStops, int TabOrigin, double StartX,
                    bool Justify);
    std::vector<std::u32string> Lines(const std::string& Text, double Width, unsigned Flags);

    gfx::IPageDevice* device_;
    TFont font_;
    TPen pen_;
    TBrush brush_;
    int fontAngle_ = 0;
    TPoint penPos_;
    std::optional<TRect> clip_;
    unsigned textAlign_ = TA_LEFT | TA_TOP;
    TCopyMode copyMode_ = SRCCOPY;
    int penPatternPos_ = 0;  // where a dashed pen's pattern goes on along a polyline
    double breakExtra_ = 0;
    int breakCount_ = 0;
    std::optional<gfx::ResolvedFace> face_;
    bool faceBold_ = false, faceItalic_ = false;  // the style face_ was resolved for
    std::optional<gfx::FontMetricsF> metrics_;
    double metricsPoints_ = 0;  // the font values metrics_ was measured for
    bool metricsCell_ = false, metricsBold_ = false;
    std::vector<double> advanceCache_;  // code points below 256
    std::u32string widthChars_;
    const gfx::FontFace* advanceFace_ = nullptr;  // the face and em the cache holds for
    double advanceEm_ = 0;
    bool advanceChecked_ = false;  // since the font last changed
    double* AdvanceCache();
};

namespace gfx {

// A device that measures only, at any resolution (printers named by a report
// but absent, fakes in tests).
class MeasureOnlyDevice : public IPageDevice {
public:
    MeasureOnlyDevice(int PixelsPerInchX, int PixelsPerInchY, TSize Size = {})
        : dpiX_(PixelsPerInchX), dpiY_(PixelsPerInchY), size_(Size) {}
    QPainter* Painter() override { return nullptr; }
    int PixelsPerInchX() const override { return dpiX_; }
    int PixelsPerInchY() const override { return dpiY_; }
    TSize Size() const override { return size_; }

private:
    int dpiX_, dpiY_;
    TSize size_;
};

// The canvas layout is measured on: the reference device, whatever printer
// the report names (Printer is not consulted: a printer only draws, so that
// the screen, every printer and the PDF break lines in the same places).
std::unique_ptr<TCanvas> NewLayoutCanvas(const IPageDevice* Printer = nullptr);

// A device over an image the caller keeps (a bitmap's pixels, a page buffer).
class ImageDevice : public IPageDevice {
public:
    // Image must outlive the device; its resolution comes from its dots per
    // metre (96 dpi when unset).
    explicit ImageDevice(QImage* Image);
    ~ImageDevice() override;
    QPainter* Painter() override;
    int PixelsPerInchX() const override;
    int PixelsPerInchY() const override;
    TSize Size() const override;
    QImage* Image() override { return image_; }
    // Ends painting so that the image can be read or copied.
    void Flush();

private:
    QImage* image_;
    std::unique_ptr<QPainter> painter_;
};

// Decodes UTF-8 text into characters (malformed bytes as their 1252 ones).
std::u32string Characters(const std::string& Text);

}  // namespace gfx

namespace gfx::detail {
// What the canvases below own; a base so that it exists before the canvas.
struct ImageStore {
    ImageStore(int Width, int Height, int DpiX, int DpiY);
    ~ImageStore();
    QImage image;
    std::unique_ptr<ImageDevice> device;
};
struct MeasureStore {
    MeasureOnlyDevice device{kReferencePixelsPerInch, kReferencePixelsPerInch};
};
}  // namespace gfx::detail

// A canvas over its own image: RGB32, white, at the given resolution.
class TImageCanvas : private gfx::detail::ImageStore, public TCanvas {
public:
    TImageCanvas(int Width, int Height, int PixelsPerInchX, int PixelsPerInchY);
    TImageCanvas(int Width, int Height, int PixelsPerInch) : TImageCanvas(Width, Height, PixelsPerInch, PixelsPerInch) {}
    // The pixels drawn so far.
    QImage& Image();
};

// The reference measuring device: metrics only, 600 dpi, whatever printer a
// report names. Drawing on it does nothing.
class TReferenceCanvas : private gfx::detail::MeasureStore, public TCanvas {
public:
    TReferenceCanvas();
};
