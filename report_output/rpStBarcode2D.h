#pragma once
// The base of the two-dimensional encoders (PDF417, MaxiCode): a plain
// object that owns the bitmap its symbol is laid out in, with the quiet
// zone and an optional caption around it, and copies that bitmap to any
// canvas at any resolution.
//
// Every property change lays the bitmap out again; a change that fails
// (an encoding error, a refused size) puts the old value back before the
// E2DBarcodeError passes on, so the encoder is never left half changed.
// Sizes here are device pixels of the bitmap.
//
// The encoders are plain objects, not windows: the control members they
// publish besides their own (Align, Cursor, Enabled, ParentColor,
// ParentShowHint, ShowHint, Visible and the mouse events) are kept and
// read back so that what sets them by name finds them, and change nothing
// in the symbol; the events run when a host that shows the encoder tells
// it of a click (Click, DblClick).
#include <QImage>
#include <functional>
#include <memory>
#include <string>

#include "platform/db/DB.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/Graphics.h"
#include "platform/gfx/Pictures.h"
#include "platform/rtl/TypInfo.h"
#include "report/rpExcept.h"
#include "report/rpTypes.h"

// The caption layout's runtime type (defined with the report side's 2D
// bar codes).
template <>
const TTypeInfo* rpTypeInfo<TTextLayout>();

// The control members' types as the encoder keeps them: the window layer's
// alignment (alNone..alClient) and cursor numbers; mouse handlers get the
// button (0 left, 1 right, 2 middle) and the shift state's bits.
using TSt2DMouseEvent = std::function<void(TObject* Sender, int Button, int Shift, int X, int Y)>;
using TSt2DMouseMoveEvent = std::function<void(TObject* Sender, int Shift, int X, int Y)>;

class TrpStCustom2DBarcode : public TObject {
public:
    FAT_CLASS(TrpStCustom2DBarcode)
    TrpStCustom2DBarcode();
    virtual ~TrpStCustom2DBarcode();
    TrpStCustom2DBarcode(const TrpStCustom2DBarcode&) = delete;
    TrpStCustom2DBarcode& operator=(const TrpStCustom2DBarcode&) = delete;

    const std::string& Code() const { return code_; }
    void SetCode(const std::string& Value);
    int BarWidth() const { return barWidth_; }
    virtual void SetBarWidth(int Value);
    int BarHeight() const { return barHeight_; }
    virtual void SetBarHeight(int Value);
    int BarHeightToWidth() const { return barHeightToWidth_; }
    virtual void SetBarHeightToWidth(int Value);
    bool RelativeBarHeight() const { return relativeBarHeight_; }
    virtual void SetRelativeBarHeight(bool Value);
    TColor BackgroundColor() const { return backgroundColor_; }
    void SetBackgroundColor(TColor Value);
    TColor Color() const { return color_; }
    void SetColor(TColor Value);
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& Value);
    bool ExtendedSyntax() const { return extendedSyntax_; }
    void SetExtendedSyntax(bool Value);
    int QuietZone() const { return quietZone_; }
    void SetQuietZone(int Value);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment Value);
    TTextLayout CaptionLayout() const { return captionLayout_; }
    void SetCaptionLayout(TTextLayout Value);
    TFont* Font() { return &font_; }
    std::string Version() const { return "4.03"; }

    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetWidth(int Value) { SetSize(Value, height_); }
    void SetHeight(int Value) { SetSize(width_, Value); }
    void SetSize(int Width, int Height);
    // The bitmap's resolution (pixels per inch), 96 by default.
    int PixelsPerInchX() const { return ppiX_; }
    int PixelsPerInchY() const { return ppiY_; }
    void SetResolution(int PixelsPerInchX, int PixelsPerInchY);

    const QImage& Bitmap() const { return bitmap_; }
    TRect SymbolRect() const { return symbol_; }
    // The bitmap as a picture object (a copy, made on each call); setting
    // it copies the picture into the owned bitmap.
    TBitmap* BitmapObject();
    void SetBitmapObject(TBitmap* Value);

    // The control members (see above).
    int Align() const { return align_; }
    void SetAlign(int Value) { align_ = Value; }
    int Cursor() const { return cursor_; }
    void SetCursor(int Value) { cursor_ = Value; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value) { enabled_ = Value; }
    bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool Value) { parentColor_ = Value; }
    bool ParentShowHint() const { return parentShowHint_; }
    void SetParentShowHint(bool Value) { parentShowHint_ = Value; }
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool Value) { showHint_ = Value; }
    bool Visible() const { return visible_; }
    void SetVisible(bool Value) { visible_ = Value; }
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TSt2DMouseEvent OnMouseDown;
    TSt2DMouseMoveEvent OnMouseMove;
    TSt2DMouseEvent OnMouseUp;
    // What a host showing the encoder tells it (a click only when enabled).
    void Click();
    void DblClick();
    int BarCodeWidth() { return GetBarCodeWidth(width_); }
    int BarCodeHeight() { return GetBarCodeHeight(height_); }

    virtual int GetBarCodeWidth(int Available) = 0;
    virtual int GetBarCodeHeight(int Available) = 0;
    virtual void GenerateCodewords() = 0;
    // Draws the symbol into Canvas at rectangle R (the symbol rectangle).
    virtual void DrawBarcode(TCanvas* Canvas, const TRect& R) = 0;
    // The symbol laid out for another resolution into Target; Width and
    // Height return its size. The encoder's own settings are restored.
    virtual void RenderToResolution(QImage& Target, int ResolutionX, int& Width, int& Height, int ResolutionY);

    // Lays out the bitmap at the current size.
    void Layout();
    // Draws the symbol on Canvas at its resolution with its top left at X, Y.
    void PaintTo(TCanvas* Canvas, int X, int Y);

protected:
    // Runs Change; when it or the layout that follows fails, Restore puts
    // the old value back and the error passes on.
    template <class T>
    void Change(T& Field, T Value, bool Encode);

private:
    std::string code_;
    int barWidth_ = 2;
    TColor backgroundColor_ = clWhite;
    std::string caption_;
    bool extendedSyntax_ = true;
    bool relativeBarHeight_ = false;
    int barHeightToWidth_ = 0;
    int barHeight_ = 8;
    int quietZone_ = 8;
    TAlignment alignment_ = taCenter;
    TTextLayout captionLayout_ = tlBottom;
    TRect symbol_{};
    TColor color_ = clBlack;
    TFont font_;
    int width_ = 329;
    int height_ = 50;
    int ppiX_ = 96;
    int ppiY_ = 96;
    QImage bitmap_;
    std::unique_ptr<TBitmap> bitmapObject_;
    int align_ = 0;
    int cursor_ = 0;
    bool enabled_ = true;
    bool parentColor_ = false;
    bool parentShowHint_ = true;
    bool showHint_ = false;
    bool visible_ = true;
};

template <class T>
void TrpStCustom2DBarcode::Change(T& Field, T Value, bool Encode) {
    T old = Field;
    Field = Value;
    try {
        if (Encode) GenerateCodewords();
        Layout();
    } catch (...) {
        Field = old;
        try {
            if (Encode) GenerateCodewords();
            Layout();
        } catch (...) {
        }
        throw;
    }
}
