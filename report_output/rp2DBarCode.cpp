#include "report_output/rp2DBarCode.h"

#include <algorithm>
#include <cmath>

#include "report/rpBand.h"
#include "report/rpPipeline.h"
#include "report/rpPublish.h"
#include "report/rpReport.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"

// The caption layout is the platform's enumeration, which the drawing layer
// declares without a runtime type.
template <>
const TTypeInfo* rpTypeInfo<TTextLayout>() {
    static const TTypeInfo* type = report::detail::MakeEnumType("TTextLayout", "tlTop, tlCenter, tlBottom");
    return type;
}

namespace {

int32_t PixelsToMM(int Pixels, int PixelsPerInch) {
    return static_cast<int32_t>(std::lround(Pixels * 25400.0 / std::max(1, PixelsPerInch)));
}

int MMToPixels(int32_t Value, int PixelsPerInch) {
    return static_cast<int>(std::lround(Value * static_cast<double>(PixelsPerInch) / 25400.0));
}

}  // namespace

std::unique_ptr<TrpStCustom2DBarcode> TrpSysToolsBarCodeFactory::CreateEncoder(Trp2DBarCodeType Type) {
    if (Type == bcMaxiCode) return std::make_unique<TrpStMaxiCodeBarcode>();
    return std::make_unique<TrpStPDF417Barcode>();
}

// ---------------------------------------------------------------------------
// TrpDraw2DBarCode

TClass TrpDraw2DBarCode::StaticClassType() {
    using D = TrpDraw2DBarCode;
    static const TClassInfo info =
        TClassBuilder<D>("TrpDraw2DBarCode", TrpDrawCommand::StaticClassType())
            .Enum("Alignment", rpTypeInfo<TAlignment>(), &D::Alignment, &D::SetAlignment, taCenter)
            .Boolean("AutoScale", &D::AutoScale, &D::SetAutoScale, 1)
            .Boolean("AutoSize", &D::AutoSize, &D::SetAutoSize, 1)
            .Ordinal("BackgroundColor", TypeInfoColor(), &D::BackgroundColor, &D::SetBackgroundColor, clWhite)
            .Enum("BarCodeType", rpTypeInfo<Trp2DBarCodeType>(), &D::BarCodeType, &D::SetBarCodeType, bcPDF417)
            .Integer("BarHeight", &D::BarHeight, &D::SetBarHeight)
            .Integer("BarWidth", &D::BarWidth, &D::SetBarWidth)
            .String("Caption", &D::Caption, &D::SetCaption)
            .Enum("CaptionLayout", rpTypeInfo<TTextLayout>(), &D::CaptionLayout, &D::SetCaptionLayout, tlBottom)
            .Integer("CarrierCountryCode", &D::CarrierCountryCode, &D::SetCarrierCountryCode, 0)
            .String("CarrierPostalCode", &D::CarrierPostalCode, &D::SetCarrierPostalCode)
            .Integer("CarrierServiceClass", &D::CarrierServiceClass, &D::SetCarrierServiceClass, 0)
            .Ordinal("Color", TypeInfoColor(), &D::Color, &D::SetColor)
            .String("Data", &D::Data, &D::SetData)
            .Enum("ECCLevel", rpTypeInfo<TStPDF417ECCLevels>(), &D::ECCLevel, &D::SetECCLevel, ecAuto)
            .Boolean("ExtendedSyntax", &D::ExtendedSyntax, &D::SetExtendedSyntax, 1)
            .Object("Font", TFont::StaticClassType(), &D::Font, &D::SetFont)
            .Float("HorPixelsPerMM", &D::HorPixelsPerMM, &D::SetHorPixelsPerMM)
            .Enum("Mode", rpTypeInfo<TStMaxiCodeMode>(), &D::Mode, &D::SetMode, cmMode4)
            .Integer("NumColumns", &D::NumColumns, &D::SetNumColumns, 0)
            .Integer("NumRows", &D::NumRows, &D::SetNumRows, 0)
            .Integer("QuietZone", &D::QuietZone, &D::SetQuietZone)
            .Boolean("RelativeBarHeight", &D::RelativeBarHeight, &D::SetRelativeBarHeight, 0)
            .Boolean("Transparent", &D::Transparent, &D::SetTransparent, 0)
            .Boolean("Truncated", &D::Truncated, &D::SetTruncated, 0)
            .Float("VerPixelsPerMM", &D::VerPixelsPerMM, &D::SetVerPixelsPerMM)
            .Build();
    return &info;
}

TrpDraw2DBarCode::TrpDraw2DBarCode(TComponent* AOwner) : TrpDrawCommand(AOwner), font_(std::make_unique<TrpFont>()) {
    SetDataType(dtGraphic);
}

TrpDraw2DBarCode::~TrpDraw2DBarCode() = default;

void TrpDraw2DBarCode::SetFont(TFont* Value) {
    if (Value != nullptr) font_->Assign(Value);
}

void TrpDraw2DBarCode::Assign(TPersistent* Source) {
    TrpDrawCommand::Assign(Source);
    auto* o = dynamic_cast<TrpDraw2DBarCode*>(Source);
    if (o == nullptr || o == this) return;
    alignment_ = o->alignment_;
    autoScale_ = o->autoScale_;
    autoSize_ = o->autoSize_;
    backgroundColor_ = o->backgroundColor_;
    barCodeType_ = o->barCodeType_;
    barHeight_ = o->barHeight_;
    barWidth_ = o->barWidth_;
    caption_ = o->caption_;
    captionLayout_ = o->captionLayout_;
    carrierCountryCode_ = o->carrierCountryCode_;
    carrierPostalCode_ = o->carrierPostalCode_;
    carrierServiceClass_ = o->carrierServiceClass_;
    color_ = o->color_;
    data_ = o->data_;
    eccLevel_ = o->eccLevel_;
    extendedSyntax_ = o->extendedSyntax_;
    font_->Assign(o->font_.get());
    horPixelsPerMM_ = o->horPixelsPerMM_;
    mode_ = o->mode_;
    numColumns_ = o->numColumns_;
    numRows_ = o->numRows_;
    quietZone_ = o->quietZone_;
    relativeBarHeight_ = o->relativeBarHeight_;
    transparent_ = o->transparent_;
    truncated_ = o->truncated_;
    verPixelsPerMM_ = o->verPixelsPerMM_;
}

std::unique_ptr<TrpStCustom2DBarcode> TrpDraw2DBarCode::MakeEncoder(int Width, int Height) const {
    auto encoder = TrpSysToolsBarCodeFactory::CreateEncoder(barCodeType_);
    if (Width > 0 && Height > 0) encoder->SetSize(Width, Height);
    encoder->Font()->Assign(font_.get());
    encoder->SetAlignment(alignment_);
    encoder->SetBackgroundColor(backgroundColor_);
    encoder->SetBarWidth(barWidth_);
    encoder->SetBarHeight(barHeight_);
    encoder->SetCaptionLayout(captionLayout_);
    encoder->SetExtendedSyntax(extendedSyntax_);
    encoder->SetRelativeBarHeight(relativeBarHeight_);
    encoder->SetQuietZone(quietZone_);
    encoder->SetColor(color_);
    if (auto* pdf = dynamic_cast<TrpStPDF417Barcode*>(encoder.get())) {
        pdf->SetECCLevel(eccLevel_);
        pdf->SetNumColumns(numColumns_);
        pdf->SetNumRows(numRows_);
        pdf->SetTruncated(truncated_);
    } else if (auto* maxi = dynamic_cast<TrpStMaxiCodeBarcode*>(encoder.get())) {
        if (horPixelsPerMM_ > 0) maxi->SetHorPixelsPerMM(horPixelsPerMM_);
        if (verPixelsPerMM_ > 0) maxi->SetVerPixelsPerMM(verPixelsPerMM_);
        maxi->SetAutoScale(autoScale_);
        maxi->SetCarrierCountryCode(carrierCountryCode_);
        maxi->SetCarrierServiceClass(carrierServiceClass_);
        if (mode_ <= cmMode3) maxi->SetCarrierPostalCode(carrierPostalCode_);
        maxi->SetMode(mode_);
    }
    encoder->SetCode(data_);
    encoder->SetCaption(caption_);
    return encoder;
}

void TrpDraw2DBarCode::Measure(int ScreenPixelsPerInch) {
    auto encoder = MakeEncoder();
    encoder->SetResolution(ScreenPixelsPerInch, ScreenPixelsPerInch);
    TImageCanvas canvas(1, 1, ScreenPixelsPerInch);
    canvas.SetFont(*font_);
    int th = caption_.empty() ? 0 : canvas.TextHeight(caption_);
    if (th == 0) th = quietZone_;
    const int w = encoder->BarCodeWidth() + 2 * quietZone_;
    const int h = (barCodeType_ == bcPDF417 ? encoder->BarCodeHeight() + th : encoder->BarCodeHeight()) + 2 * quietZone_;
    SetWidth(PixelsToMM(w, ScreenPixelsPerInch));
    SetHeight(PixelsToMM(h, ScreenPixelsPerInch));
}

void TrpDraw2DBarCode::DrawOnPrinter(TCanvas* Canvas, const TRect& DeviceRect, int ScreenPixelsPerInch) {
    auto encoder = MakeEncoder(MMToPixels(Width(), ScreenPixelsPerInch), MMToPixels(Height(), ScreenPixelsPerInch));
    encoder->SetResolution(ScreenPixelsPerInch, ScreenPixelsPerInch);
    int left = DeviceRect.Left, top = DeviceRect.Top;
    if (Border()->Visible()) {
        if (Border()->BorderPositions().Contains(bpLeft))
            left += static_cast<int>(std::lround(Canvas->PixelsPerInchX() * Border()->Weight() / 72.0));
        if (Border()->BorderPositions().Contains(bpTop))
            top += static_cast<int>(std::lround(Canvas->PixelsPerInchY() * Border()->Weight() / 72.0));
    }
    encoder->PaintTo(Canvas, left, top);
    DrawLeft = DeviceRect.Left;
    DrawTop = DeviceRect.Top;
    DrawRight = DeviceRect.Right;
    DrawBottom = DeviceRect.Bottom;
}

void TrpDraw2DBarCode::DrawOnScreen(TCanvas* Canvas, const TRect& Rect, int ScreenPixelsPerInch) {
    // Laid out as on paper, at the reference device's resolution, and that
    // picture scaled into the screen's rectangle. The quiet zone and the
    // caption are device pixels: a symbol laid out at the screen's own
    // resolution took other shares of its box and showed shorter, wider and
    // further right than the PDF and the printer print it.
    const int w = std::max(1, static_cast<int>(std::lround(Width() / 25400.0 * gfx::kReferencePixelsPerInch)));
    const int h = std::max(1, static_cast<int>(std::lround(Height() / 25400.0 * gfx::kReferencePixelsPerInch)));
    TImageCanvas paper(w, h, gfx::kReferencePixelsPerInch);
    paper.Brush()->SetColor(clWhite);
    paper.FillRect(TRect{0, 0, w, h});
    DrawOnPrinter(&paper, TRect{0, 0, w, h}, ScreenPixelsPerInch);
    Canvas->DrawImage(Rect, paper.Image(), transparent_ ? SRCAND : SRCCOPY);
    DrawLeft = Rect.Left;
    DrawTop = Rect.Top;
    DrawRight = Rect.Right;
    DrawBottom = Rect.Bottom;
}

// ---------------------------------------------------------------------------
// TrpCustom2DBarCode

TClass TrpCustom2DBarCode::StaticClassType() {
    using C = TrpCustom2DBarCode;
    static const TClassInfo info = [] {
        TClassBuilder<C> builder("TrpCustom2DBarCode", TrpCustomComponent::StaticClassType());
        rpPublishAnchors(builder)
            .Object("Border", TrpBorder::StaticClassType(), &C::Border, &C::SetBorder)
            // Of the symbol and its caption.
            .Enum("Alignment", rpTypeInfo<TAlignment>(), &C::Alignment, &C::SetAlignment, taLeftJustify)
            .Boolean("AutoSize", &C::AutoSize, &C::SetAutoSize, 1)
            // Bars and caption; black from the constructor, so always written.
            .Ordinal("Color", TypeInfoColor(), &C::Color, &C::SetColor)
            // The caption's.
            .Object("Font", TFont::StaticClassType(), &C::Font, &C::SetFont)
            .Boolean("ReprintOnOverFlow", &C::ReprintOnOverFlow, &C::SetReprintOnOverFlow, 0)
            .Boolean("Transparent", &C::Transparent, &C::SetTransparent, 0)
            .Boolean("Visible", &C::Visible, &C::SetVisible, 1)
            .Boolean("AutoScale", &C::AutoScale, &C::SetAutoScale, 1)
            .Ordinal("BackgroundColor", TypeInfoColor(), &C::BackgroundColor, &C::SetBackgroundColor, clWhite)
            .Enum("BarCodeType", rpTypeInfo<Trp2DBarCodeType>(), &C::BarCodeType, &C::SetBarCodeType, bcPDF417)
            .Integer("BarHeight", &C::BarHeight, &C::SetBarHeight, 2)
            .Integer("BarWidth", &C::BarWidth, &C::SetBarWidth, 2)
            .Enum("CaptionLayout", rpTypeInfo<TTextLayout>(), &C::CaptionLayout, &C::SetCaptionLayout, tlBottom)
            .Integer("CarrierCountryCode", &C::CarrierCountryCode, &C::SetCarrierCountryCode, 0)
            .String("CarrierPostalCode", &C::CarrierPostalCode, &C::SetCarrierPostalCode)
            .Integer("CarrierServiceClass", &C::CarrierServiceClass, &C::SetCarrierServiceClass, 0)
            .Enum("ECCLevel", rpTypeInfo<TStPDF417ECCLevels>(), &C::ECCLevel, &C::SetECCLevel, ecAuto)
            .Boolean("ExtendedSyntax", &C::ExtendedSyntax, &C::SetExtendedSyntax, 1)
            .Float("HorPixelsPerMM", &C::HorPixelsPerMM, &C::SetHorPixelsPerMM, TypeInfoExtended())
            .Enum("Mode", rpTypeInfo<TStMaxiCodeMode>(), &C::Mode, &C::SetMode, cmMode4)
            .Integer("NumColumns", &C::NumColumns, &C::SetNumColumns, 0)
            .Integer("NumRows", &C::NumRows, &C::SetNumRows, 0)
            .Boolean("PrintHumanReadable", &C::PrintHumanReadable, &C::SetPrintHumanReadable, 1)
            .Integer("QuietZone", &C::QuietZone, &C::SetQuietZone, 8)
            .Boolean("RelativeBarHeight", &C::RelativeBarHeight, &C::SetRelativeBarHeight, 0)
            .Boolean("Truncated", &C::Truncated, &C::SetTruncated, 0)
            .Float("VerPixelsPerMM", &C::VerPixelsPerMM, &C::SetVerPixelsPerMM, TypeInfoExtended());
        rpPublishDrawCommandEvents(builder);
        rpPublishLengths(builder);
        return builder.Build();
    }();
    return &info;
}

TrpCustom2DBarCode::TrpCustom2DBarCode(TComponent* AOwner) : TrpCustomComponent(AOwner) {
    SetDrawCommandClass(TrpDraw2DBarCode::StaticClassType());
    SetDefaultAutoSize(true);
    SetColor(clBlack);
}

TrpCustom2DBarCode::~TrpCustom2DBarCode() = default;

bool TrpCustom2DBarCode::Loading() const { return IsReading() || ComponentState().Contains(csLoading); }

void TrpCustom2DBarCode::SetBarCodeType(Trp2DBarCodeType Value) {
    if (Value == barCodeType_) return;
    BeforePropertyChange("BarCodeType");
    barCodeType_ = Value;
    if (!Loading()) data_ = IsDataAware() ? "DB2DBarCode" : "2DBarCode";
    UpdateAutoSize();
    PropertyChange();
}

void TrpCustom2DBarCode::SetData(const std::string& Value) {
    if (Value == data_) return;
    BeforePropertyChange("Data");
    data_ = Value;
    UpdateAutoSize();
    if (!IsDataAware()) PropertyChange();
}

void TrpCustom2DBarCode::FillCommand(TrpDraw2DBarCode* C) const {
    C->SetAlignment(Alignment());
    C->SetAutoScale(autoScale_);
    C->SetAutoSize(AutoSize());
    C->SetBackgroundColor(backgroundColor_);
    C->SetBarCodeType(barCodeType_);
    C->SetBarHeight(barHeight_);
    C->SetBarWidth(barWidth_);
    C->SetCaption(GetCaption());
    C->SetCaptionLayout(captionLayout_);
    C->SetCarrierCountryCode(carrierCountryCode_);
    C->SetCarrierPostalCode(carrierPostalCode_);
    C->SetCarrierServiceClass(carrierServiceClass_);
    C->SetColor(Color());
    C->SetData(GetData());
    C->SetECCLevel(eccLevel_);
    C->SetExtendedSyntax(extendedSyntax_);
    C->SetFont(Font());
    C->SetHorPixelsPerMM(horPixelsPerMM_);
    C->SetMode(mode_);
    C->SetNumColumns(numColumns_);
    C->SetNumRows(numRows_);
    C->SetQuietZone(quietZone_);
    C->SetRelativeBarHeight(relativeBarHeight_);
    C->SetTransparent(Transparent());
    C->SetTruncated(truncated_);
    C->SetVerPixelsPerMM(verPixelsPerMM_);
}

void TrpCustom2DBarCode::UpdateAutoSize() {
    if (Loading()) return;
    TrpDraw2DBarCode command(nullptr);
    FillCommand(&command);
    try {
        command.Measure(rpScreenPixelsPerInch());
    } catch (const E2DBarcodeError&) {
        // Data the encoder refuses keeps the last size; generation says why.
        Invalidate();
        return;
    }
    SetBounds(mmLeft(), mmTop(), command.Width(), command.Height());
    Invalidate();
}

void TrpCustom2DBarCode::PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) {
    TrpCustomComponent::PropertiesToDrawCommand(DrawCommand);
    auto* c = dynamic_cast<TrpDraw2DBarCode*>(DrawCommand);
    if (c == nullptr) return;
    FillCommand(c);
    const TRect r = PrintRect();
    c->SetLeft(r.Left);
    c->SetTop(r.Top);
    try {
        c->Measure(rpScreenPixelsPerInch());
    } catch (const E2DBarcodeError& e) {
        TrpCustomReport* report = Band() != nullptr ? Band()->Report() : nullptr;
        if (report == nullptr) throw;
        c->SetData({});
        report->HandlePrintError(EPrintError("TrpCustom2DBarCode.PropertiesToDrawCommand: " + e.Message()));
    }
}

// ---------------------------------------------------------------------------
// Trp2DBarCode, TrpDB2DBarCode

TClass Trp2DBarCode::StaticClassType() {
    static const TClassInfo info = TClassBuilder<Trp2DBarCode>("Trp2DBarCode", TrpCustom2DBarCode::StaticClassType())
                                       .String("Data", &Trp2DBarCode::Data, &Trp2DBarCode::SetData)
                                       .Build();
    return &info;
}

Trp2DBarCode::Trp2DBarCode(TComponent* AOwner) : TrpCustom2DBarCode(AOwner) { SetDefaultPropName("Data"); }

TClass TrpDB2DBarCode::StaticClassType() {
    static const TClassInfo info =
        rpPublishDataPipeline(TClassBuilder<TrpDB2DBarCode>("TrpDB2DBarCode", TrpCustom2DBarCode::StaticClassType())
            .String("DataField", &TrpDB2DBarCode::DataField, &TrpDB2DBarCode::SetDataField))
            .Build();
    return &info;
}

TrpDB2DBarCode::TrpDB2DBarCode(TComponent* AOwner) : TrpCustom2DBarCode(AOwner) {
    TrpCustom2DBarCode::SetData("DB2DBarCode");
}

std::string TrpDB2DBarCode::GetData() const {
    TrpDataPipeline* pipeline = GetDataPipeline();
    if (!DataAvailable() || pipeline == nullptr) return GetPrinting() ? std::string() : Data();
    try {
        const TrpDataType type = pipeline->GetFieldDataType(DataField());
        const Variant value = pipeline->GetFieldValue(DataField());
        return value.IsNull() ? std::string() : rpFormatValue("", type, value);
    } catch (const std::exception&) {
        return {};
    }
}

void TrpDB2DBarCode::SetCaption(const std::string&) { TrpCustom2DBarCode::SetData(GetData()); }

void TrpDB2DBarCode::SetDataField(const std::string& Value) {
    TrpCustom2DBarCode::SetDataField(Value);
    if (Loading()) return;
    TrpCustom2DBarCode::SetData(GetData());
    PropertyChange();
}

namespace report_output {

void Register2DBarCodeClasses() {
    RegisterClass(TrpDraw2DBarCode::StaticClassType());
    RegisterClass(TrpCustom2DBarCode::StaticClassType());
    RegisterClass(Trp2DBarCode::StaticClassType());
    RegisterClass(TrpDB2DBarCode::StaticClassType());
}

void Unregister2DBarCodeClasses() {
    UnRegisterClass(TrpDB2DBarCode::StaticClassType());
    UnRegisterClass(Trp2DBarCode::StaticClassType());
    UnRegisterClass(TrpCustom2DBarCode::StaticClassType());
    UnRegisterClass(TrpDraw2DBarCode::StaticClassType());
}

}  // namespace report_output
