#include "report_output/rpStBarcode2D.h"

#include <algorithm>

#include "report/rpPublish.h"
#include "report/rpTypes.h"

namespace {

QImage NewBitmap(int Width, int Height, int PpiX, int PpiY) {
    QImage image(std::max(1, Width), std::max(1, Height), QImage::Format_RGB32);
    image.setDotsPerMeterX(static_cast<int>(PpiX / 0.0254 + 0.5));
    image.setDotsPerMeterY(static_cast<int>(PpiY / 0.0254 + 0.5));
    return image;
}

using typinfo::Keep;

const TTypeInfo* CursorType() {
    static const TTypeInfo* t = [] {
        TTypeInfo info = *TypeInfoInteger();
        info.Name = "TCursor";
        return Keep(info);
    }();
    return t;
}

}  // namespace

TClass TrpStCustom2DBarcode::StaticClassType() {
    using B = TrpStCustom2DBarcode;
    static const TClassInfo info =
        TClassBuilder<B>("TrpStCustom2DBarcode", TObject::StaticClassType())
            .String("Code", &B::Code, &B::SetCode)
            .Integer("BarWidth", &B::BarWidth, &B::SetBarWidth, 2)
            .Ordinal("BackgroundColor", TypeInfoColor(), &B::BackgroundColor, &B::SetBackgroundColor, clWhite)
            .String("Caption", &B::Caption, &B::SetCaption)
            .Boolean("ExtendedSyntax", &B::ExtendedSyntax, &B::SetExtendedSyntax, true)
            .Boolean("RelativeBarHeight", &B::RelativeBarHeight, &B::SetRelativeBarHeight, false)
            .Integer("BarHeightToWidth", &B::BarHeightToWidth, &B::SetBarHeightToWidth, 0)
            .Integer("BarHeight", &B::BarHeight, &B::SetBarHeight, 8)
            .Integer("QuietZone", &B::QuietZone, &B::SetQuietZone, 8)
            .Enum("Alignment", rpTypeInfo<TAlignment>(), &B::Alignment, &B::SetAlignment, taCenter)
            .Enum("CaptionLayout", rpTypeInfo<TTextLayout>(), &B::CaptionLayout, &B::SetCaptionLayout, tlBottom)
            .Object("Bitmap", TBitmap::StaticClassType(), &B::BitmapObject, &B::SetBitmapObject)
            .NotStored()
            .Ordinal("Color", TypeInfoColor(), &B::Color, &B::SetColor, clBlack)
            .String("Version", &B::Version, nullptr)
            .NotStored()
            .Integer("BarCodeHeight", &B::BarCodeHeight, nullptr)
            .NotStored()
            .Integer("BarCodeWidth", &B::BarCodeWidth, nullptr)
            .NotStored()
            .Object("Font", TFont::StaticClassType(), &B::Font, nullptr)
            .Enum("Align", TypeInfoAlign(), &B::Align, &B::SetAlign, 0)
            .Ordinal("Cursor", CursorType(), &B::Cursor, &B::SetCursor, 0)
            .Boolean("Enabled", &B::Enabled, &B::SetEnabled, true)
            .Boolean("ParentColor", &B::ParentColor, &B::SetParentColor, false)
            .Boolean("ParentShowHint", &B::ParentShowHint, &B::SetParentShowHint, true)
            .Boolean("ShowHint", &B::ShowHint, &B::SetShowHint, false)
            .Boolean("Visible", &B::Visible, &B::SetVisible, true)
            .Event("OnClick", &B::OnClick)
            .Event("OnDblClick", &B::OnDblClick)
            .Event("OnMouseDown", &B::OnMouseDown, rpEventTypeInfo("TMouseEvent"))
            .Event("OnMouseMove", &B::OnMouseMove, rpEventTypeInfo("TMouseMoveEvent"))
            .Event("OnMouseUp", &B::OnMouseUp, rpEventTypeInfo("TMouseEvent"))
            .Build();
    return &info;
}

TrpStCustom2DBarcode::TrpStCustom2DBarcode() { font_.SetName("Arial"); }

TrpStCustom2DBarcode::~TrpStCustom2DBarcode() = default;

void TrpStCustom2DBarcode::SetCode(const std::string& Value) { Change(code_, Value, true); }
void TrpStCustom2DBarcode::SetExtendedSyntax(bool Value) { Change(extendedSyntax_, Value, true); }
void TrpStCustom2DBarcode::SetCaption(const std::string& Value) { Change(caption_, Value, false); }
void TrpStCustom2DBarcode::SetBackgroundColor(TColor Value) { Change(backgroundColor_, Value, false); }
void TrpStCustom2DBarcode::SetColor(TColor Value) { Change(color_, Value, false); }
void TrpStCustom2DBarcode::SetAlignment(TAlignment Value) { Change(alignment_, Value, false); }
void TrpStCustom2DBarcode::SetCaptionLayout(TTextLayout Value) { Change(captionLayout_, Value, false); }
void TrpStCustom2DBarcode::SetBarWidth(int Value) { Change(barWidth_, Value, false); }
void TrpStCustom2DBarcode::SetBarHeight(int Value) { Change(barHeight_, Value, false); }
void TrpStCustom2DBarcode::SetRelativeBarHeight(bool Value) { Change(relativeBarHeight_, Value, false); }

void TrpStCustom2DBarcode::SetBarHeightToWidth(int Value) {
    if (Value < 0) throw E2DBarcodeError("BarHeightToWidth cannot be less than one");
    Change(barHeightToWidth_, Value, false);
}

void TrpStCustom2DBarcode::SetQuietZone(int Value) {
    if (Value < 0) throw E2DBarcodeError("Invalid Quiet Zone");
    Change(quietZone_, Value, false);
}

TBitmap* TrpStCustom2DBarcode::BitmapObject() {
    if (bitmapObject_ == nullptr) bitmapObject_ = std::make_unique<TBitmap>();
    bitmapObject_->SetSize(bitmap_.width(), bitmap_.height());
    bitmapObject_->Canvas()->DrawImage(TRect{0, 0, bitmap_.width(), bitmap_.height()}, bitmap_, cmSrcCopy);
    return bitmapObject_.get();
}

void TrpStCustom2DBarcode::SetBitmapObject(TBitmap* Value) {
    if (Value == nullptr) return;
    bitmap_ = Value->Image().convertToFormat(QImage::Format_RGB32);
}

void TrpStCustom2DBarcode::Click() {
    if (enabled_ && OnClick) OnClick(this);
}

void TrpStCustom2DBarcode::DblClick() {
    if (enabled_ && OnDblClick) OnDblClick(this);
}

void TrpStCustom2DBarcode::SetSize(int Width, int Height) {
    width_ = std::max(1, Width);
    height_ = std::max(1, Height);
    Layout();
}

void TrpStCustom2DBarcode::SetResolution(int PixelsPerInchX, int PixelsPerInchY) {
    ppiX_ = PixelsPerInchX > 0 ? PixelsPerInchX : 96;
    ppiY_ = PixelsPerInchY > 0 ? PixelsPerInchY : 96;
    Layout();
}

void TrpStCustom2DBarcode::Layout() {
    const int W = width_, H = height_;
    bitmap_ = NewBitmap(W, H, ppiX_, ppiY_);
    bitmap_.fill(QColor(backgroundColor_ & 0xFF, (backgroundColor_ >> 8) & 0xFF, (backgroundColor_ >> 16) & 0xFF));
    gfx::ImageDevice device(&bitmap_);
    TCanvas canvas(&device);
    canvas.SetFont(font_);
    canvas.Font()->SetColor(color_);
    canvas.Pen()->SetColor(color_);
    const int th = canvas.TextHeight("Yg0");
    const int tw = caption_.empty() ? 0 : canvas.TextWidth(caption_);
    int cx = 0;
    if (alignment_ == taRightJustify) cx = std::max(0, W - tw);
    else if (alignment_ == taCenter) cx = W - tw > 0 ? W / 2 - tw / 2 : 0;
    int cy = 0, topMargin = 0, bottomMargin = 0;
    switch (captionLayout_) {
        case tlTop:
            if (!caption_.empty()) topMargin = th + 4;
            break;
        case tlCenter: cy = H - th >= 1 ? H / 2 - th / 2 : 0; break;
        case tlBottom:
            cy = std::max(0, H - 2 - th);
            if (cy < 1) cy = 0;
            if (!caption_.empty()) bottomMargin = th + 4;
            break;
    }
    const int available = H - 2 * quietZone_ - topMargin - bottomMargin;
    const int h = GetBarCodeHeight(available);
    const int w = GetBarCodeWidth(W);
    if (available > h) {
        topMargin += (available - h) / 2;
        bottomMargin += (available - h) / 2;
    }
    int left = quietZone_, right = W - quietZone_;
    if (w < W - 2 * quietZone_) {
        if (alignment_ == taLeftJustify) right = w + quietZone_;
        else if (alignment_ == taRightJustify) left = W - w - quietZone_;
        else {
            left = (W - w) / 2;
            right = W - (W - w) / 2;
        }
    }
    symbol_ = TRect{left, quietZone_ + topMargin, right, H - quietZone_ - bottomMargin};
    canvas.Brush()->SetColor(color_);
    canvas.Brush()->SetStyle(bsSolid);
    DrawBarcode(&canvas, symbol_);
    if (!caption_.empty()) {
        canvas.Brush()->SetColor(backgroundColor_);
        canvas.TextOut(cx, cy, caption_);
    }
    device.Flush();
}

void TrpStCustom2DBarcode::RenderToResolution(QImage& Target, int ResolutionX, int& Width, int& Height,
                                              int ResolutionY) {
    const int keepX = ppiX_, keepY = ppiY_, keepW = width_, keepH = height_;
    const int keepBar = barWidth_, keepBarH = barHeight_;
    if (ResolutionX > 0 && ResolutionY > 0) {
        const double fx = static_cast<double>(ResolutionX) / ppiX_;
        const double fy = static_cast<double>(ResolutionY) / ppiY_;
        barWidth_ = std::max(1, static_cast<int>(barWidth_ * fx));
        barHeight_ = std::max(1, static_cast<int>(barHeight_ * fy));
        width_ = std::max(1, static_cast<int>(width_ * fx));
        height_ = std::max(1, static_cast<int>(height_ * fy));
        ppiX_ = ResolutionX;
        ppiY_ = ResolutionY;
    }
    try {
        Layout();
    } catch (...) {
        ppiX_ = keepX, ppiY_ = keepY, width_ = keepW, height_ = keepH, barWidth_ = keepBar, barHeight_ = keepBarH;
        throw;
    }
    Target = bitmap_.copy();
    Width = width_;
    Height = height_;
    ppiX_ = keepX, ppiY_ = keepY, width_ = keepW, height_ = keepH, barWidth_ = keepBar, barHeight_ = keepBarH;
    Layout();
}

void TrpStCustom2DBarcode::PaintTo(TCanvas* Canvas, int X, int Y) {
    if (Canvas == nullptr) return;
    QImage image;
    int w = 0, h = 0;
    RenderToResolution(image, Canvas->PixelsPerInchX(), w, h, Canvas->PixelsPerInchY());
    Canvas->DrawImage(TRect{X, Y, X + w, Y + h}, image, SRCCOPY);
}
