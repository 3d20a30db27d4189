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
#include <QImage>
#include <memory>
#include <string>

#include "platform/db/DB.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/Graphics.h"
#include "report/rpExcept.h"

class TrpStCustom2DBarcode {
public:
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
    void SetSize(int Width, int Height);
    // The bitmap's resolution (pixels per inch), 96 by default.
    int PixelsPerInchX() const { return ppiX_; }
    int PixelsPerInchY() const { return ppiY_; }
    void SetResolution(int PixelsPerInchX, int PixelsPerInchY);

    const QImage& Bitmap() const { return bitmap_; }
    TRect SymbolRect() const { return symbol_; }
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
