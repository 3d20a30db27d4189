#include "report_output/rpBarCode.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "platform/rtl/Strings.h"
#include "report/rpDevice.h"
#include "report/rpLanguage.h"
#include "report/rpPipeline.h"
#include "report/rpPublish.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"

namespace {

std::mutex& SinkLock() {
    static std::mutex lock;
    return lock;
}

TrpBarCodeMessageSink& Sink() {
    static TrpBarCodeMessageSink sink;
    return sink;
}

double Inches(int32_t MMThousandths) { return MMThousandths / 25400.0; }

int Round(double Value) { return static_cast<int>(rpRoundHalfEven(static_cast<long double>(Value))); }

// Where a rectangle of the symbol (x along the bars' row, y down the bars)
// lands on the device for each orientation.
struct Placement {
    TrpBarCodeOrientation Orientation;
    int L, T, Wd, Hd;
    TRect Map(int X0, int Y0, int X1, int Y1) const {
        switch (Orientation) {
            case orLeftToRight: return {L + X0, T + Y0, L + X1, T + Y1};
            case orRightToLeft: return {L + Wd - X1, T + Hd - Y1, L + Wd - X0, T + Hd - Y0};
            case orTopToBottom: return {L + Wd - Y1, T + X0, L + Wd - Y0, T + X1};
            case orBottomToTop: return {L + Y0, T + Hd - X1, L + Y1, T + Hd - X0};
        }
        return {};
    }
    int TextAngle() const {
        switch (Orientation) {
            case orLeftToRight: return 0;
            case orRightToLeft: return 1800;
            case orTopToBottom: return 2700;
            case orBottomToTop: return 900;
        }
        return 0;
    }
};

// A text line written from symbol point (X, Y), its top left when upright.
void WriteText(TCanvas* Canvas, const Placement& P, int X, int Y, int Width, int Height, const std::string& Text) {
    const TRect r = P.Map(X, Y, X + Width, Y + Height);
    Canvas->SetFontAngle(P.TextAngle());
    Canvas->Brush()->SetStyle(bsClear);
    switch (P.Orientation) {
        case orLeftToRight: Canvas->TextOut(r.Left, r.Top, Text); break;
        case orRightToLeft: Canvas->TextOut(r.Right, r.Bottom, Text); break;
        case orTopToBottom: Canvas->TextOut(r.Right, r.Top, Text); break;
        case orBottomToTop: Canvas->TextOut(r.Left, r.Bottom, Text); break;
    }
    Canvas->SetFontAngle(0);
    Canvas->Brush()->SetStyle(bsSolid);
}

}  // namespace

TrpBarCodeMessageSink rpSetBarCodeMessageSink(TrpBarCodeMessageSink NewSink) {
    std::lock_guard<std::mutex> guard(SinkLock());
    TrpBarCodeMessageSink old = std::move(Sink());
    Sink() = std::move(NewSink);
    return old;
}

void rpShowBarCodeMessage(const std::string& Message) {
    TrpBarCodeMessageSink sink;
    {
        std::lock_guard<std::mutex> guard(SinkLock());
        sink = Sink();
    }
    if (sink) sink(Message);
}

// ---------------------------------------------------------------------------
// TrpDrawBarCode

TClass TrpDrawBarCode::StaticClassType() {
    using D = TrpDrawBarCode;
    static const TClassInfo info =
        TClassBuilder<D>("TrpDrawBarCode", TrpDrawCommand::StaticClassType())
            .String("AddOnCode", &D::AddOnCode, &D::SetAddOnCode)
            .Enum("Alignment", rpTypeInfo<TAlignment>(), &D::Alignment, &D::SetAlignment, taLeftJustify)
            .Boolean("AutoEncode", &D::AutoEncode, &D::SetAutoEncode, 0)
            .Boolean("AutoSize", &D::AutoSize, &D::SetAutoSize, 1)
            .Boolean("AutoSizeFont", &D::AutoSizeFont, &D::SetAutoSizeFont, 1)
            .Enum("BarCodeType", rpTypeInfo<TrpBarCodeType>(), &D::BarCodeType, &D::SetBarCodeType, bcCode39)
            .Ordinal("BarColor", TypeInfoColor(), &D::BarColor, &D::SetBarColor, clBlack)
            .Integer("BarWidth", &D::mmBarWidth, &D::SetmmBarWidth)
            .Boolean("BearerBars", &D::BearerBars, &D::SetBearerBars, 0)
            .Boolean("CalcCheckDigit", &D::CalcCheckDigit, &D::SetCalcCheckDigit, 1)
            .Ordinal("Color", TypeInfoColor(), &D::Color, &D::SetColor, clWhite)
            .String("Data", &D::Data, &D::SetData)
            .Object("Font", TFont::StaticClassType(), &D::Font, &D::SetFont)
            .Enum("Orientation", rpTypeInfo<TrpBarCodeOrientation>(), &D::Orientation, &D::SetOrientation,
                  orLeftToRight)
            .Boolean("PrintHumanReadable", &D::PrintHumanReadable, &D::SetPrintHumanReadable, 1)
            .Boolean("Transparent", &D::Transparent, &D::SetTransparent, 0)
            .Float("WideBarRatio", &D::WideBarRatio, &D::SetWideBarRatio)
            .Build();
    return &info;
}

TrpDrawBarCode::TrpDrawBarCode(TComponent* AOwner) : TrpDrawCommand(AOwner), font_(std::make_unique<TrpFont>()) {
    SetDataType(dtGraphic);
    font_->SetName("Courier New");
}

TrpDrawBarCode::~TrpDrawBarCode() = default;

void TrpDrawBarCode::SetFont(TFont* Value) {
    if (Value != nullptr) font_->Assign(Value);
}

void TrpDrawBarCode::Assign(TPersistent* Source) {
    TrpDrawCommand::Assign(Source);
    auto* o = dynamic_cast<TrpDrawBarCode*>(Source);
    if (o == nullptr || o == this) return;
    addOnCode_ = o->addOnCode_;
    autoEncode_ = o->autoEncode_;
    autoSize_ = o->autoSize_;
    autoSizeFont_ = o->autoSizeFont_;
    barCodeType_ = o->barCodeType_;
    barColor_ = o->barColor_;
    mmBarWidth_ = o->mmBarWidth_;
    bearerBars_ = o->bearerBars_;
    calcCheckDigit_ = o->calcCheckDigit_;
    color_ = o->color_;
    data_ = o->data_;
    font_->Assign(o->font_.get());
    alignment_ = o->alignment_;
    orientation_ = o->orientation_;
    printHumanReadable_ = o->printHumanReadable_;
    printing_ = o->printing_;
    transparent_ = o->transparent_;
    wideBarRatio_ = o->wideBarRatio_;
    dataValid_ = o->dataValid_;
}

bool TrpDrawBarCode::Draw(TrpDevice* Device) { return TrpDrawCommand::Draw(Device); }

int TrpDrawBarCode::ModulePixels(int PixelsPerInch) const {
    return std::max(1, Round(Inches(mmBarWidth_) * PixelsPerInch));
}

void TrpDrawBarCode::DrawBarCode(TCanvas* Canvas, int Left, bool Paint, int PixelsPerInchX, int PixelsPerInchY,
                                 int Top) {
    const int across = Vertical() ? PixelsPerInchY : PixelsPerInchX;
    const int along = Vertical() ? PixelsPerInchX : PixelsPerInchY;
    const double w = Inches(mmBarWidth_);
    const int m = ModulePixels(across);
    barcode::EncodeRequest request;
    request.Type = barCodeType_;
    request.Data = data_;
    request.AddOn = addOnCode_;
    request.CalcCheckDigit = calcCheckDigit_;
    request.AutoEncode = autoEncode_;
    request.Narrow = m;
    request.Wide = std::max(m, Round(w * across * wideBarRatio_));
    barcode::EncodeResult encoded;
    if (dataValid_) {
        encoded = barcode::Encode(request);
        if (!encoded.Valid) {
            dataValid_ = false;
            if (!printing_) rpShowBarCodeMessage(encoded.Message);
        }
    }
    columns_ = encoded.Columns;
    addOnColumns_ = encoded.AddOnColumns;
    const bool valid = dataValid_ && encoded.Valid;
    const std::string shown = valid ? encoded.Data : data_;
    encodedData_ = shown;
    const int n = static_cast<int>(columns_.size());
    const bool upcEan = barcode::IsUpcEan(barCodeType_);
    int quiet = 0;
    if (upcEan) quiet = Round(9 * w * across);
    else if (barCodeType_ == bcInt2of5) quiet = Round(0.03 * n);
    int W = barCodeType_ == bcPostnet ? n : n + 2 * quiet;
    if (!addOnColumns_.empty()) W += 9 * m + static_cast<int>(addOnColumns_.size());

    int h;
    if (!autoSize_) {
        h = Round(Inches(Vertical() ? Width() : Height()) * along);
    } else {
        switch (barCodeType_) {
            case bcUPC_A:
            case bcUPC_E: h = Round(PixelsPerInchX * Inches(Round(73.85 * mmBarWidth_))); break;
            case bcEAN_13:
            case bcEAN_8: h = Round(0.85 * n); break;
            case bcInt2of5: h = Round(0.6 * W); break;
            case bcCode128: h = std::max(Round(0.15 * W), Round(0.25 * along)); break;
            case bcCode39:
            case bcCodabar: h = Round(0.25 * W); break;
            case bcPostnet: h = Round(0.125 * along); break;
            case bcFIM: h = 20 * m; break;
            case bcMSI: h = Round(0.2 * W); break;
        }
        h = std::max(h, 5);
    }

    // The text font: scaled to the symbol while it fits, or as given.
    Canvas->SetFont(*font_);
    std::string text;
    if (printHumanReadable_) {
        if (barCodeType_ == bcCode128) {
            const std::string bytes = Utf8ToCp1252(shown);
            std::string plain;
            for (unsigned char c : bytes)
                if (c >= 32 && c <= 126) plain.push_back(static_cast<char>(c));
            text = plain;
        } else {
            text = shown;
        }
    }
    if (autoSizeFont_ && valid) {
        const double points = std::max(1.0, h / 4.0 * 72.0 / along);
        int size = std::max(1, static_cast<int>(points));
        const int chars = upcEan ? 6 : std::max<int>(1, static_cast<int>(utf8::CharCount(text)));
        const int room = upcEan ? 42 * m : W;
        for (;; --size) {
            Canvas->Font()->SetSize(size);
            if (size <= 1 || Canvas->TextWidth("0") * chars <= room) break;
        }
    }
    const int th = printHumanReadable_ && !text.empty() ? Canvas->TextHeight("0") : 0;
    int b = h;
    if (printHumanReadable_ && th > 0) {
        if (!autoSize_) b = std::max(1, h - th);
        else h += th;
    }
    const int Wd = Vertical() ? h : W;
    const int Hd = Vertical() ? W : h;
    pixelWidth_ = Wd;
    pixelHeight_ = Hd;
    if (!Paint) return;

    const Placement place{orientation_, Left, Top, Wd, Hd};
    Canvas->Pen()->SetStyle(psClear);
    if (!transparent_) {
        Canvas->Brush()->SetStyle(bsSolid);
        Canvas->Brush()->SetColor(color_);
        Canvas->FillRect(TRect{Left, Top, Left + Wd, Top + Hd});
    }
    if (!valid) return;
    Canvas->Brush()->SetStyle(bsSolid);
    Canvas->Brush()->SetColor(barColor_);
    const int barHeight = upcEan && th > 0 ? b - m + (h - b) / 2 : b;
    auto bars = [&](const std::string& Cols, int X0, int Y0, int Height) {
        for (int i = 0; i < static_cast<int>(Cols.size());) {
            int j = i;
            while (j < static_cast<int>(Cols.size()) && Cols[j] == Cols[i]) ++j;
            const char c = Cols[i];
            if (X0 + j > W) break;
            if (barCodeType_ == bcPostnet && c != '0') {
                const int tall = c == '2' ? Height : Round(0.4 * Height);
                Canvas->FillRect(place.Map(X0 + i, Y0 + Height - tall, X0 + j, Y0 + Height));
            } else if (c == '1') {
                Canvas->FillRect(place.Map(X0 + i, Y0, X0 + j, Y0 + Height));
            }
            i = j;
        }
    };
    bars(columns_, quiet, 0, barHeight);
    if (!addOnColumns_.empty()) bars(addOnColumns_, quiet + n + 9 * m, th, std::max(1, barHeight - th));
    if (bearerBars_) {
        Canvas->FillRect(place.Map(0, 0, W, 3 * m));
        Canvas->FillRect(place.Map(0, b - 3 * m, W, b));
    }
    if (th == 0) return;
    Canvas->Font()->SetColor(barColor_);
    if (!upcEan) {
        const int tw = Canvas->TextWidth(text);
        int x = 0;
        if (alignment_ == taRightJustify) x = W - tw;
        else if (alignment_ == taCenter) x = (W - tw) / 2;
        WriteText(Canvas, place, x, b, tw, th, text);
        return;
    }
    // UPC/EAN: digit groups in white boxes cut into the lower ends of the
    // bars; outer digits beside the symbol.
    auto group = [&](int FromModule, int ToModule, const std::string& Digits) {
        const int x0 = quiet + FromModule * m, x1 = quiet + ToModule * m;
        Canvas->Brush()->SetColor(color_);
        Canvas->FillRect(place.Map(x0, b - m, x1, h));
        Canvas->Brush()->SetColor(barColor_);
        const int tw = Canvas->TextWidth(Digits);
        WriteText(Canvas, place, x0 + (x1 - x0 - tw) / 2, b - m, tw, th, Digits);
    };
    auto outside = [&](int X, const std::string& Digit) {
        WriteText(Canvas, place, X, b - m, Canvas->TextWidth(Digit), th, Digit);
    };
    const std::string d = shown;
    if (barCodeType_ == bcUPC_A && d.size() >= 12) {
        outside(0, d.substr(0, 1));
        group(10, 45, d.substr(1, 5));
        group(50, 85, d.substr(6, 5));
        outside(quiet + n + m, d.substr(11, 1));
    } else if (barCodeType_ == bcUPC_E && d.size() >= 7) {
        group(3, 42, d.substr(0, 6));
        outside(quiet + n + m, d.substr(6, 1));
    } else if (barCodeType_ == bcEAN_13 && d.size() >= 13) {
        outside(0, d.substr(0, 1));
        group(3, 45, d.substr(1, 6));
        group(50, 92, d.substr(7, 6));
    } else if (barCodeType_ == bcEAN_8 && d.size() >= 8) {
        group(3, 31, d.substr(0, 4));
        group(36, 64, d.substr(4, 4));
    }
    if (!addOnColumns_.empty()) {
        const int x0 = quiet + n + 9 * m;
        const int tw = Canvas->TextWidth(addOnCode_);
        WriteText(Canvas, place, x0 + (static_cast<int>(addOnColumns_.size()) - tw) / 2, 0, tw, th, addOnCode_);
    }
}

void TrpDrawBarCode::DrawOnPrinter(TCanvas* Canvas, const TRect& DeviceRect) {
    printing_ = true;
    const int ppiX = Canvas->PixelsPerInchX(), ppiY = Canvas->PixelsPerInchY();
    int left = DeviceRect.Left, top = DeviceRect.Top;
    if (Border()->Visible()) {
        if (Border()->BorderPositions().Contains(bpLeft)) left += Round(ppiX * Border()->Weight() / 72.0);
        if (Border()->BorderPositions().Contains(bpTop)) top += Round(ppiY * Border()->Weight() / 72.0);
    }
    DrawBarCode(Canvas, left, true, ppiX, ppiY, top);
    DrawLeft = DeviceRect.Left;
    DrawTop = DeviceRect.Top;
    DrawRight = DeviceRect.Right;
    DrawBottom = DeviceRect.Bottom;
    printing_ = false;
}

void TrpDrawBarCode::DrawOnScreen(TCanvas* Canvas, const TRect& Rect, int ScreenPixelsPerInch) {
    // Measured at the resolution it is painted at: the text under the bars
    // measured at another would size the picture for a taller text, and the
    // bars would shrink when the picture is fitted to the rectangle.
    TImageCanvas measure(1, 1, ScreenPixelsPerInch);
    DrawBarCode(&measure, 0, false, ScreenPixelsPerInch, ScreenPixelsPerInch, 0);
    TImageCanvas bitmap(std::max(1, pixelWidth_), std::max(1, pixelHeight_), ScreenPixelsPerInch);
    bitmap.Brush()->SetColor(clWhite);
    bitmap.FillRect(TRect{0, 0, pixelWidth_, pixelHeight_});
    DrawBarCode(&bitmap, 0, true, ScreenPixelsPerInch, ScreenPixelsPerInch, 0);
    Canvas->DrawImage(Rect, bitmap.Image(), transparent_ ? SRCAND : SRCCOPY);
    DrawLeft = Rect.Left;
    DrawTop = Rect.Top;
    DrawRight = Rect.Right;
    DrawBottom = Rect.Bottom;
}

// ---------------------------------------------------------------------------
// TrpCustomBarCode

TClass TrpCustomBarCode::StaticClassType() {
    using C = TrpCustomBarCode;
    static const TClassInfo info = [] {
        TClassBuilder<C> builder("TrpCustomBarCode", TrpCustomComponent::StaticClassType());
        rpPublishAnchors(builder)
            .String("AddOnCode", &C::AddOnCode, &C::SetAddOnCode)
            .Boolean("AutoEncode", &C::AutoEncode, &C::SetAutoEncode, 0)
            .Boolean("AutoSizeFont", &C::AutoSizeFont, &C::SetAutoSizeFont, 1)
            .Enum("BarCodeType", rpTypeInfo<TrpBarCodeType>(), &C::BarCodeType, &C::SetBarCodeType)
            .Ordinal("BarColor", TypeInfoColor(), &C::BarColor, &C::SetBarColor, clBlack)
            .Float("BarWidth", &C::BarWidth, &C::SetBarWidth, TypeInfoSingle())
            .NotStored()
            .Boolean("BearerBars", &C::BearerBars, &C::SetBearerBars, 0)
            .Boolean("CalcCheckDigit", &C::CalcCheckDigit, &C::SetCalcCheckDigit, 1)
            .Enum("Orientation", rpTypeInfo<TrpBarCodeOrientation>(), &C::Orientation, &C::SetOrientation,
                  orLeftToRight)
            .Boolean("PrintHumanReadable", &C::PrintHumanReadable, &C::SetPrintHumanReadable, 1)
            .Float("WideBarRatio", &C::WideBarRatio, &C::SetWideBarRatio, TypeInfoSingle())
            .NotStored()
            .Object("Border", TrpBorder::StaticClassType(), &C::Border, &C::SetBorder)
            .Enum("Alignment", rpTypeInfo<TAlignment>(), &C::Alignment, &C::SetAlignment, taLeftJustify)
            .Boolean("AutoSize", &C::AutoSize, &C::SetAutoSize, 1)
            .Ordinal("Color", TypeInfoColor(), &C::Color, &C::SetColor, clWhite)
            .Object("Font", TFont::StaticClassType(), &C::Font, &C::SetFont)
            .Boolean("ReprintOnOverFlow", &C::ReprintOnOverFlow, &C::SetReprintOnOverFlow, 0)
            .Boolean("Transparent", &C::Transparent, &C::SetTransparent, 0)
            .Boolean("Visible", &C::Visible, &C::SetVisible, 1);
        rpPublishDrawCommandEvents(builder);
        rpPublishLengths(builder);
        return builder.Build();
    }();
    return &info;
}

TrpCustomBarCode::TrpCustomBarCode(TComponent* AOwner) : TrpCustomComponent(AOwner) {
    SetDefaultAutoSize(true);
    SetColor(clWhite);
    Font()->SetName("Courier New");
    StoremmBounds(mmLeft(), mmTop(), 38862, 12911);
    SetDrawCommandClass(TrpDrawBarCode::StaticClassType());
}

TrpCustomBarCode::~TrpCustomBarCode() = default;

bool TrpCustomBarCode::Loading() const { return IsReading() || ComponentState().Contains(csLoading); }

void TrpCustomBarCode::ShowError(const std::string& Message) {
    if (Loading() || GetPrinting()) return;
    rpShowBarCodeMessage(Message);
}

void TrpCustomBarCode::Signal(const char* Name) {
    BeforePropertyChange(Name);
    UpdateAutoSize();
    PropertyChange();
}

bool TrpCustomBarCode::ValidateData(const std::string& Data) {
    const std::string problem = barcode::ValidateData(barCodeType_, Data, calcCheckDigit_);
    dataValid_ = problem.empty();
    if (!dataValid_) ShowError(problem);
    return dataValid_;
}

void TrpCustomBarCode::EndUpdate() {
    if (updateLock_ > 0) --updateLock_;
    if (updateLock_ > 0) return;
    if (AutoSize()) UpdateAutoSize();
    else Invalidate();
}

void TrpCustomBarCode::SetBarCodeType(TrpBarCodeType Value) {
    if (Value == barCodeType_) return;
    BeforePropertyChange("BarCodeType");
    BeginUpdate();
    barCodeType_ = Value;
    if (!Loading()) {
        data_ = barcode::SampleData(Value, calcCheckDigit_, IsDataAware());
        dataValid_ = true;
        if (Value == bcPostnet || Value == bcFIM) {
            TrpCustomComponent::SetAutoSize(true);
            printHumanReadable_ = false;
        }
        if (barcode::IsUpcEan(Value)) autoSizeFont_ = true;
        if (Value == bcCode128) autoEncode_ = true;
        switch (Value) {
            case bcUPC_A:
            case bcUPC_E:
            case bcEAN_13:
            case bcEAN_8: mmBarWidth_ = 330; break;
            case bcInt2of5: mmBarWidth_ = 381; break;
            case bcPostnet: mmBarWidth_ = 508; break;
            case bcFIM: mmBarWidth_ = 787; break;
            default: mmBarWidth_ = 254; break;
        }
        if (!addOnCode_.empty() && !barcode::IsUpcEan(Value)) addOnCode_.clear();
    }
    EndUpdate();
    PropertyChange();
}

void TrpCustomBarCode::SetAddOnCode(const std::string& Value) {
    if (Value == addOnCode_) return;
    // A stream holds the add-on before the symbol kind that allows it.
    if (Loading()) {
        addOnCode_ = Value;
        return;
    }
    if (!Value.empty() && !barcode::IsUpcEan(barCodeType_)) return ShowError(rpLanguageText(423));
    if (Value.size() != 0 && Value.size() != 2 && Value.size() != 5) return ShowError(rpLanguageText(424));
    BeforePropertyChange("AddOnCode");
    addOnCode_ = Value;
    UpdateAutoSize();
    PropertyChange();
}

void TrpCustomBarCode::SetAutoEncode(bool Value) {
    if (Value == autoEncode_) return;
    if (Loading()) {
        autoEncode_ = Value;
        return;
    }
    if (Value && barCodeType_ != bcCode128) return;
    BeforePropertyChange("AutoEncode");
    autoEncode_ = Value;
    UpdateAutoSize();
    PropertyChange();
}

void TrpCustomBarCode::SetAutoSizeFont(bool Value) {
    if (Value == autoSizeFont_) return;
    if (!Value && barcode::IsUpcEan(barCodeType_)) return ShowError(rpLanguageText(426));
    BeforePropertyChange("AutoSizeFont");
    autoSizeFont_ = Value;
    UpdateAutoSize();
    PropertyChange();
}

void TrpCustomBarCode::SetBarColor(TColor Value) {
    if (Value == barColor_) return;
    BeforePropertyChange("BarColor");
    barColor_ = Value;
    if (Font()->Color() != Value) Font()->SetColor(Value);
    Invalidate();
    PropertyChange();
}

float TrpCustomBarCode::BarWidth() const { return rpFromMMThousandths(mmBarWidth_, Units(), 0, nullptr); }

void TrpCustomBarCode::SetBarWidth(float Value) {
    const int32_t mm = rpToMMThousandths(Units(), 0, nullptr, Value);
    if (mm == mmBarWidth_) return;
    if (!Loading()) {
        // The limits are 0.004 and 0.1 inch, themselves allowed.
        const int32_t low = rpToMMThousandths(utInches, 0, nullptr, 0.004f);
        const int32_t high = rpToMMThousandths(utInches, 0, nullptr, 0.1f);
        if (mm < low || mm > high) {
            const int32_t limit = mm < low ? low : high;
            const std::string shown = FloatToStr(rpFromMMThousandths(limit, Units(), 0, nullptr));
            return ShowError(rpFormatLanguageText(mm < low ? 427 : 428, {TVarRec(shown)}));
        }
    }
    BeforePropertyChange("BarWidth");
    mmBarWidth_ = mm;
    if (Loading()) return;
    UpdateAutoSize();
    PropertyChange();
}

void TrpCustomBarCode::SetBearerBars(bool Value) {
    if (Value == bearerBars_) return;
    if (Value && barCodeType_ != bcInt2of5) return ShowError(rpLanguageText(429));
    BeforePropertyChange("BearerBars");
    bearerBars_ = Value;
    UpdateAutoSize();
    PropertyChange();
}

void TrpCustomBarCode::SetCalcCheckDigit(bool Value) {
    if (Value == calcCheckDigit_) return;
    BeforePropertyChange("CalcCheckDigit");
    calcCheckDigit_ = Value;
    if (Loading()) return;
    ValidateData(GetData());
    UpdateAutoSize();
    PropertyChange();
}

void TrpCustomBarCode::SetData(const std::string& Value) {
    if (Value == data_) return;
    BeforePropertyChange("Data");
    data_ = Value;
    if (Loading()) return;
    ValidateData(Value);
    UpdateAutoSize();
    if (!IsDataAware()) PropertyChange();
}

void TrpCustomBarCode::SetOrientation(TrpBarCodeOrientation Value) {
    if (Value == orientation_) return;
    orientation_ = Value;
    Signal("Orientation");
}

void TrpCustomBarCode::SetPrintHumanReadable(bool Value) {
    if (Value == printHumanReadable_) return;
    printHumanReadable_ = Value;
    Signal("PrintHumanReadable");
}

float TrpCustomBarCode::WideBarRatio() const {
    return static_cast<float>(mmWideBarRatio_ / 1000.0 * 0.03937);
}

void TrpCustomBarCode::SetWideBarRatio(float Value) {
    if (Value <= 0) return;
    const int32_t held = rpRoundHalfEven(Value / 0.03937L * 1000.0L);
    if (held == mmWideBarRatio_) return;
    mmWideBarRatio_ = held;
    if (Loading()) return;
    Signal("WideBarRatio");
}

void TrpCustomBarCode::SetAutoSize(bool Value) {
    if (!Value && (barCodeType_ == bcPostnet || barCodeType_ == bcFIM)) return ShowError(rpLanguageText(425));
    TrpCustomComponent::SetAutoSize(Value);
    UpdateAutoSize();
}

void TrpCustomBarCode::SetFont(TFont* Value) {
    if ((State() & 1024) != 0) return;
    TrpCustomComponent::SetFont(Value);
}

void TrpCustomBarCode::FontChanged() {
    TrpCustomComponent::FontChanged();
    if (Font()->Color() != barColor_) barColor_ = Font()->Color();
    if (!Loading()) UpdateAutoSize();
}

void TrpCustomBarCode::BoundsChange() { TrpCustomComponent::BoundsChange(); }

std::string TrpCustomBarCode::GetDefaultPropHint() const { return rpLanguageText(694); }

void TrpCustomBarCode::FillCommand(TrpDrawBarCode* C) {
    C->SetAddOnCode(addOnCode_);
    C->SetAutoEncode(autoEncode_);
    C->SetAutoSize(AutoSize());
    C->SetAutoSizeFont(autoSizeFont_);
    C->SetBarCodeType(barCodeType_);
    C->SetBarColor(barColor_);
    C->SetmmBarWidth(mmBarWidth_);
    C->SetBearerBars(bearerBars_);
    C->SetCalcCheckDigit(calcCheckDigit_);
    C->SetColor(Color());
    const std::string data = GetData();
    C->SetData(data);
    C->SetFont(Font());
    C->SetAlignment(Alignment());
    C->SetOrientation(orientation_);
    C->SetPrintHumanReadable(printHumanReadable_);
    C->SetTransparent(Transparent());
    C->SetWideBarRatio(WideBarRatio());
    C->SetDataValid(barcode::ValidateData(barCodeType_, data, calcCheckDigit_).empty());
}

TrpDrawBarCode* TrpCustomBarCode::SizingCommand() {
    if (!sizingCommand_) sizingCommand_ = std::make_unique<TrpDrawBarCode>(nullptr);
    FillCommand(sizingCommand_.get());
    sizingCommand_->SetLeft(0);
    sizingCommand_->SetTop(0);
    sizingCommand_->SetWidth(mmWidth());
    sizingCommand_->SetHeight(mmHeight());
    sizingCommand_->SetPrinting(true);
    TReferenceCanvas canvas;
    sizingCommand_->DrawBarCode(&canvas, 0, false, canvas.PixelsPerInchX(), canvas.PixelsPerInchY(), 0);
    return sizingCommand_.get();
}

void TrpCustomBarCode::UpdateAutoSize() {
    if (Loading() || updateLock_ > 0) return;
    if (AutoSize()) {
        TrpDrawBarCode* c = SizingCommand();
        if (c->DataValid()) {
            TReferenceCanvas canvas;
            const int32_t w = static_cast<int32_t>(std::lround(c->PixelWidth() * 25400.0 / canvas.PixelsPerInchX()));
            const int32_t h = static_cast<int32_t>(std::lround(c->PixelHeight() * 25400.0 / canvas.PixelsPerInchY()));
            SetBounds(mmLeft(), mmTop(), w, h);
        }
    }
    Invalidate();
}

void TrpCustomBarCode::PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) {
    TrpCustomComponent::PropertiesToDrawCommand(DrawCommand);
    auto* c = dynamic_cast<TrpDrawBarCode*>(DrawCommand);
    if (c == nullptr) return;
    FillCommand(c);
    c->SetPrinting(true);
    const TRect r = PrintRect();
    c->SetLeft(r.Left);
    c->SetTop(r.Top);
    c->SetWidth(r.Right - r.Left);
    c->SetHeight(r.Bottom - r.Top);
    TReferenceCanvas canvas;
    c->DrawBarCode(&canvas, 0, false, canvas.PixelsPerInchX(), canvas.PixelsPerInchY(), 0);
    c->SetWidth(static_cast<int32_t>(std::lround(c->PixelWidth() * 25400.0 / canvas.PixelsPerInchX())));
    c->SetHeight(static_cast<int32_t>(std::lround(c->PixelHeight() * 25400.0 / canvas.PixelsPerInchY())));
    c->SetPrinting(false);
    if (c->DataValid() && BarCodeType() != bcPostnet) {
        // The page carries the data the bars hold. MSI's check digit is then
        // part of the data and must not be appended a second time; Postnet
        // appends its digit always, so its data stays as typed.
        c->SetData(c->EncodedData());
        if (BarCodeType() == bcMSI) c->SetCalcCheckDigit(false);
    }
    c->SetDataValid(barcode::ValidateData(BarCodeType(), c->Data(), c->CalcCheckDigit()).empty());
}

void TrpCustomBarCode::DefineProperties(TFiler* Filer) {
    TrpCustomComponent::DefineProperties(Filer);
    Filer->DefineProperty(
        "mmBarWidth", [this](TReader* Reader) { mmBarWidth_ = static_cast<int32_t>(Reader->ReadInteger()); },
        [this](TWriter* Writer) { Writer->WriteInteger(mmBarWidth_); },
        true);
    Filer->DefineProperty(
        "mmWideBarRatio", [this](TReader* Reader) { mmWideBarRatio_ = static_cast<int32_t>(Reader->ReadInteger()); },
        [this](TWriter* Writer) { Writer->WriteInteger(mmWideBarRatio_); },
        true);
}

// ---------------------------------------------------------------------------
// TrpBarCode, TrpDBBarCode

TClass TrpBarCode::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpBarCode>("TrpBarCode", TrpCustomBarCode::StaticClassType())
            .String("Data", &TrpBarCode::Data, &TrpBarCode::SetData)
            .Build();
    return &info;
}

TrpBarCode::TrpBarCode(TComponent* AOwner) : TrpCustomBarCode(AOwner) {
    SetDefaultPropName("Data");
    SetData("BarCode");
}

TClass TrpDBBarCode::StaticClassType() {
    static const TClassInfo info =
        rpPublishDataPipeline(TClassBuilder<TrpDBBarCode>("TrpDBBarCode", TrpCustomBarCode::StaticClassType())
            .String("DataField", &TrpDBBarCode::DataField, &TrpDBBarCode::SetDataField))
            .Build();
    return &info;
}

TrpDBBarCode::TrpDBBarCode(TComponent* AOwner) : TrpCustomBarCode(AOwner) {
    TrpCustomBarCode::SetData("DBBarCode");
}

std::string TrpDBBarCode::GetData() const {
    TrpDataPipeline* pipeline = GetDataPipeline();
    if (!DataAvailable() || pipeline == nullptr) {
        if (GetPrinting()) return {};
        return barcode::SampleData(BarCodeType(), CalcCheckDigit(), true);
    }
    TrpDataType type = dtNotKnown;
    Variant value;
    try {
        type = pipeline->GetFieldDataType(DataField());
        value = pipeline->GetFieldValue(DataField());
    } catch (const std::exception&) {
        return {};
    }
    if (value.IsNull()) return {};
    return rpFormatValue("", type, value);
}

void TrpDBBarCode::SetCaption(const std::string&) { TrpCustomBarCode::SetData(GetData()); }

void TrpDBBarCode::SetDataField(const std::string& Value) {
    TrpCustomBarCode::SetDataField(Value);
    if (Loading()) return;
    TrpCustomBarCode::SetData(GetData());
    PropertyChange();
}

// ---------------------------------------------------------------------------
// Scripting

RP_TABLE_ADAPTER_BODY(TrsTrpBarCodeRTTI, TrsTrpComponentRTTI, TrpBarCode)

const TrsMemberTable& TrsTrpBarCodeRTTI::MemberTable() {
    using rstable::Published;
    static const TrsMemberTable table{
        Published("AddOnCode", rsString),
        Published("Data", rsString),
        Published("AutoEncode", rsBoolean),
        Published("AutoSizeFont", rsBoolean),
        Published("BearerBars", rsBoolean),
        Published("CalcCheckDigit", rsBoolean),
        Published("PrintHumanReadable", rsBoolean),
        Published("BarWidth", rsSingle),
        Published("WideBarRatio", rsSingle),
        Published("BarCodeType", rsEnum, "TrpBarCodeType"),
        Published("Orientation", rsEnum, "TrpBarCodeOrientation"),
        Published("BarColor", rsEnum, "TColor"),
    };
    return table;
}

namespace report_output {

void RegisterBarCodeClasses() {
    RegisterClass(TrpDrawBarCode::StaticClassType());
    RegisterClass(TrpCustomBarCode::StaticClassType());
    RegisterClass(TrpBarCode::StaticClassType());
    RegisterClass(TrpDBBarCode::StaticClassType());
    RegisterRTTIClass(TrsTrpBarCodeRTTI::Instance());
}

void UnregisterBarCodeClasses() {
    UnregisterRTTIClass(TrsTrpBarCodeRTTI::Instance());
    UnRegisterClass(TrpDBBarCode::StaticClassType());
    UnRegisterClass(TrpBarCode::StaticClassType());
    UnRegisterClass(TrpCustomBarCode::StaticClassType());
    UnRegisterClass(TrpDrawBarCode::StaticClassType());
}

}  // namespace report_output
