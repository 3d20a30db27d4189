#pragma once
// The value types of drawing: colours, geometry, and the font, pen and brush
// that canvases draw with and that stored forms and report pages carry.
//
// A font, pen or brush is a persistent value: copying or assigning copies
// every attribute (never the OnChange handler, which belongs to the object
// that owns it), and its published properties stream as the class library
// streams them ("Font.Height = -11", "Pen.Style = psDash"). Nothing here
// touches a device: a canvas reads these values when it draws.
//
// A font keeps its size in points, exactly. Height (pixels at the font's
// PixelsPerInch, negative for the character height as the class library has
// it) is derived from it, so that the reference measuring device and every
// drawing device scale the same size linearly, whatever PixelsPerInch the
// font was last told.
#include <cstdint>
#include <string>

#include "platform/rtl/Component.h"
#include "platform/rtl/TypInfo.h"

// ---------------------------------------------------------------------------
// Colours: 0x00BBGGRR, or a system colour (high byte 0x80) that the window
// layer resolves through its palette and the drawing devices through a fixed
// table (gfx::ColorToRGB).

using TColor = std::int32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clLtGray = 0xC0C0C0;
inline constexpr TColor clDkGray = 0x808080;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clMoneyGreen = 0xC0DCC0;
inline constexpr TColor clSkyBlue = 0xF0CAA6;
inline constexpr TColor clCream = 0xF0FBFF;
inline constexpr TColor clMedGray = 0xA4A0A0;

// Where a text stands in the height of its box.
enum TTextLayout { tlTop, tlCenter, tlBottom };

inline constexpr TColor clScrollBar = static_cast<TColor>(0x80000000);
inline constexpr TColor clBackground = static_cast<TColor>(0x80000001);
inline constexpr TColor clActiveCaption = static_cast<TColor>(0x80000002);
inline constexpr TColor clInactiveCaption = static_cast<TColor>(0x80000003);
inline constexpr TColor clMenu = static_cast<TColor>(0x80000004);
inline constexpr TColor clWindow = static_cast<TColor>(0x80000005);
inline constexpr TColor clWindowFrame = static_cast<TColor>(0x80000006);
inline constexpr TColor clMenuText = static_cast<TColor>(0x80000007);
inline constexpr TColor clWindowText = static_cast<TColor>(0x80000008);
inline constexpr TColor clCaptionText = static_cast<TColor>(0x80000009);
inline constexpr TColor clActiveBorder = static_cast<TColor>(0x8000000A);
inline constexpr TColor clInactiveBorder = static_cast<TColor>(0x8000000B);
inline constexpr TColor clAppWorkSpace = static_cast<TColor>(0x8000000C);
inline constexpr TColor clHighlight = static_cast<TColor>(0x8000000D);
inline constexpr TColor clHighlightText = static_cast<TColor>(0x8000000E);
inline constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);
inline constexpr TColor clBtnShadow = static_cast<TColor>(0x80000010);
inline constexpr TColor clGrayText = static_cast<TColor>(0x80000011);
inline constexpr TColor clBtnText = static_cast<TColor>(0x80000012);
inline constexpr TColor clInactiveCaptionText = static_cast<TColor>(0x80000013);
inline constexpr TColor clBtnHighlight = static_cast<TColor>(0x80000014);
inline constexpr TColor cl3DDkShadow = static_cast<TColor>(0x80000015);
inline constexpr TColor cl3DLight = static_cast<TColor>(0x80000016);
inline constexpr TColor clInfoText = static_cast<TColor>(0x80000017);
inline constexpr TColor clInfoBk = static_cast<TColor>(0x80000018);
inline constexpr TColor clHotLight = static_cast<TColor>(0x8000001A);
inline constexpr TColor clGradientActiveCaption = static_cast<TColor>(0x8000001B);
inline constexpr TColor clGradientInactiveCaption = static_cast<TColor>(0x8000001C);
inline constexpr TColor clMenuHighlight = static_cast<TColor>(0x8000001D);
inline constexpr TColor clMenuBar = static_cast<TColor>(0x8000001E);
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

// The colour's name in stored forms ("clBlack"); false for a colour without one.
bool ColorToIdent(std::int64_t Color, std::string& Ident);
// Case-insensitive; false for an unknown name.
bool IdentToColor(const std::string& Ident, std::int64_t& Color);
// "clRed", or "$00BBGGRR" for a colour without a name.
std::string ColorToString(TColor Color);
// A name or a number ("$FF", "255"); EConvertError otherwise.
TColor StringToColor(const std::string& Text);

namespace gfx {
// 0x00RRGGBB of a colour; system colours take the fixed values of a standard
// desktop scheme (window white, text black, button face silver...), since
// devices that print and measure know no window palette.
std::uint32_t ColorToRGB(TColor Color);
}  // namespace gfx

// ---------------------------------------------------------------------------
// Geometry, in device pixels (or in whatever unit the caller works in).

struct TPoint {
    int X = 0;
    int Y = 0;
    bool operator==(const TPoint&) const = default;
};

struct TSize {
    int cx = 0;
    int cy = 0;
    bool operator==(const TSize&) const = default;
};

// Right and Bottom are exclusive, as the platform's rectangles are.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool Contains(TPoint P) const { return P.X >= Left && P.X < Right && P.Y >= Top && P.Y < Bottom; }
    bool operator==(const TRect&) const = default;
};

inline TPoint Point(int X, int Y) { return TPoint{X, Y}; }
inline TRect Rect(int Left, int Top, int Right, int Bottom) { return TRect{Left, Top, Right, Bottom}; }
inline TRect Bounds(int Left, int Top, int Width, int Height) { return TRect{Left, Top, Left + Width, Top + Height}; }

// ---------------------------------------------------------------------------
// Enumerations of fonts, pens and brushes.

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
enum TFontPitch { fpDefault, fpVariable, fpFixed };

using TFontCharset = std::uint8_t;
inline constexpr TFontCharset ANSI_CHARSET = 0;
inline constexpr TFontCharset DEFAULT_CHARSET = 1;
inline constexpr TFontCharset SYMBOL_CHARSET = 2;
inline constexpr TFontCharset OEM_CHARSET = 255;

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode {
    pmBlack,
    pmWhite,
    pmNop,
    pmNot,
    pmCopy,
    pmNotCopy,
    pmMergePenNot,
    pmMaskPenNot,
    pmMergeNotPen,
    pmMaskNotPen,
    pmMerge,
    pmNotMerge,
    pmMask,
    pmNotMask,
    pmXor,
    pmNotXor
};
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

// Property types, for the published properties of the classes that hold
// these values.
const TTypeInfo* TypeInfoColor();
const TTypeInfo* TypeInfoFontCharset();
const TTypeInfo* TypeInfoFontStyle();
const TTypeInfo* TypeInfoFontStyles();
const TTypeInfo* TypeInfoFontPitch();
const TTypeInfo* TypeInfoPenStyle();
const TTypeInfo* TypeInfoPenMode();
const TTypeInfo* TypeInfoBrushStyle();

namespace gfx {
// The logical resolution of the screen, in pixels per inch. Fixed, so that a
// layout in screen pixels is the same on every machine.
inline constexpr int kScreenPixelsPerInch = 96;
}  // namespace gfx

// ---------------------------------------------------------------------------

// What fonts, pens and brushes share: a change notice for their owner.
class TGraphicsObject : public TPersistent {
public:
    FAT_CLASS(TGraphicsObject)
    TGraphicsObject() = default;
    // A copy carries the value, not the owner's handler.
    TGraphicsObject(const TGraphicsObject&) : TPersistent() {}
    TGraphicsObject& operator=(const TGraphicsObject&) { return *this; }

    // Called after every change of a value, when set.
    TNotifyEvent OnChange;

protected:
    void Changed();
};

class TFont : public TGraphicsObject {
public:
    FAT_CLASS(TFont)
    TFont() = default;
    TFont(const TFont& Other);
    TFont& operator=(const TFont& Other);

    void Assign(TPersistent* Source) override;
    // What Assign does with another font, for a caller that holds one
    // already (no cast of the source).
    void AssignValue(const TFont& Source);

    // The face asked for, kept as given; the drawing layer resolves it.
    const std::string& Name() const { return name_; }
    void SetName(const std::string& Value);
    // Whole points: the exact size rounded half away from zero.
    int Size() const;
    void SetSize(int Value);
    // The exact size in points, which measuring and drawing scale from.
    double SizeInPoints() const { return points_; }
    void SetSizeInPoints(double Value);
    // Pixels at PixelsPerInch: negative for the character height (the em),
    // positive for the cell height (em plus internal leading). 0 keeps the
    // size. The size becomes exactly |Value| x 72 / PixelsPerInch points
    // (-13 at 96 ppi is 9.75 points), as a device that scales a font asks.
    int Height() const;
    void SetHeight(int Value);
    // The published Height, as stored forms and scripts set it: a height
    // that a whole point size gives at PixelsPerInch is that size (-13 at 96
    // ppi is 10 points), any other is exact (-14 is 10.5 points).
    void SetStoredHeight(int Value);
    // True when the size was given as a cell height (a positive Height).
    bool IsCellHeight() const { return cellHeight_; }
    TColor Color() const { return color_; }
    void SetColor(TColor Value);
    TFontCharset Charset() const { return charset_; }
    void SetCharset(TFontCharset Value);
    TFontPitch Pitch() const { return pitch_; }
    void SetPitch(TFontPitch Value);
    TFontStyles Style() const { return style_; }
    void SetStyle(TFontStyles Value);
    // The resolution Height refers to. Changing it keeps the size in points.
    int PixelsPerInch() const { return pixelsPerInch_; }
    void SetPixelsPerInch(int Value);

    // Same face, size, style, colour, pitch and character set (the
    // resolution Height refers to is not part of the value).
    bool operator==(const TFont& Other) const;

private:
    void CopyFrom(const TFont& Other);

    std::string name_ = "MS Sans Serif";
    double points_ = 8.0;
    bool cellHeight_ = false;
    TColor color_ = clWindowText;
    TFontCharset charset_ = DEFAULT_CHARSET;
    TFontPitch pitch_ = fpDefault;
    TFontStyles style_;
    int pixelsPerInch_ = gfx::kScreenPixelsPerInch;
};

class TPen : public TGraphicsObject {
public:
    FAT_CLASS(TPen)
    TPen() = default;
    TPen(const TPen& Other);
    TPen& operator=(const TPen& Other);

    void Assign(TPersistent* Source) override;
    // What Assign does with another pen, for a caller that holds one
    // already (no cast of the source).
    void AssignValue(const TPen& Source);

    TColor Color() const { return color_; }
    void SetColor(TColor Value);
    TPenMode Mode() const { return mode_; }
    void SetMode(TPenMode Value);
    TPenStyle Style() const { return style_; }
    void SetStyle(TPenStyle Value);
    // Device pixels; below 1 counts as 1 when drawn.
    int Width() const { return width_; }
    void SetWidth(int Value);

    bool operator==(const TPen& Other) const;

private:
    TColor color_ = clBlack;
    TPenMode mode_ = pmCopy;
    TPenStyle style_ = psSolid;
    int width_ = 1;
};

class TBrush : public TGraphicsObject {
public:
    FAT_CLASS(TBrush)
    TBrush() = default;
    TBrush(const TBrush& Other);
    TBrush& operator=(const TBrush& Other);

    void Assign(TPersistent* Source) override;
    // What Assign does with another brush, for a caller that holds one
    // already (no cast of the source).
    void AssignValue(const TBrush& Source);

    TColor Color() const { return color_; }
    // A colour given to a clear brush makes it solid, as the class library does.
    void SetColor(TColor Value);
    TBrushStyle Style() const { return style_; }
    void SetStyle(TBrushStyle Value);

    bool operator==(const TBrush& Other) const;

private:
    TColor color_ = clWhite;
    TBrushStyle style_ = bsSolid;
};
