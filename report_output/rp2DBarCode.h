#pragma once
// Two-dimensional barcodes in a report: TrpCustom2DBarCode holds the
// properties of both symbologies, Trp2DBarCode prints fixed data,
// TrpDB2DBarCode a field's value. Each generation fills a TrpDraw2DBarCode,
// which makes a fresh encoder (TrpSysToolsBarCodeFactory) whenever it
// measures or paints: encoders keep nothing between passes.
//
// An encoder error while a report generates goes to the report's print
// error handling (EPrintError), as any other generation failure does;
// outside a run it passes to the caller as the E2DBarcodeError it is.
#include <memory>
#include <string>

#include "report/rpDrawCommand.h"
#include "report_output/rpMaxiCode.h"
#include "report_output/rpPDF417.h"
#include "report_output/rpTextControls.h"

class TrpSysToolsBarCodeFactory {
public:
    // A new encoder of the type; the caller owns it.
    static std::unique_ptr<TrpStCustom2DBarcode> CreateEncoder(Trp2DBarCodeType Type);
};

class TrpDraw2DBarCode : public TrpDrawCommand {
public:
    explicit TrpDraw2DBarCode(TComponent* AOwner);
    ~TrpDraw2DBarCode() override;
    FAT_CLASS(TrpDraw2DBarCode)

    void Assign(TPersistent* Source) override;

    // A fresh encoder with the command's properties, sized Width x Height
    // pixels (0: its own size).
    std::unique_ptr<TrpStCustom2DBarcode> MakeEncoder(int Width = 0, int Height = 0) const;
    // The command's width and height (thousandths of a millimetre) from the
    // symbol measured at ScreenPixelsPerInch.
    void Measure(int ScreenPixelsPerInch);
    // At the printer's resolution, in the command's device rectangle.
    void DrawOnPrinter(TCanvas* Canvas, const TRect& DeviceRect, int ScreenPixelsPerInch);
    // Through a bitmap at the screen's resolution, stretched into Rect.
    void DrawOnScreen(TCanvas* Canvas, const TRect& Rect, int ScreenPixelsPerInch);

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment Value) { alignment_ = Value; }
    bool AutoScale() const { return autoScale_; }
    void SetAutoScale(bool Value) { autoScale_ = Value; }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool Value) { autoSize_ = Value; }
    TColor BackgroundColor() const { return backgroundColor_; }
    void SetBackgroundColor(TColor Value) { backgroundColor_ = Value; }
    Trp2DBarCodeType BarCodeType() const { return barCodeType_; }
    void SetBarCodeType(Trp2DBarCodeType Value) { barCodeType_ = Value; }
    int BarHeight() const { return barHeight_; }
    void SetBarHeight(int Value) { barHeight_ = Value; }
    int BarWidth() const { return barWidth_; }
    void SetBarWidth(int Value) { barWidth_ = Value; }
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& Value) { caption_ = Value; }
    TTextLayout CaptionLayout() const { return captionLayout_; }
    void SetCaptionLayout(TTextLayout Value) { captionLayout_ = Value; }
    int CarrierCountryCode() const { return carrierCountryCode_; }
    void SetCarrierCountryCode(int Value) { carrierCountryCode_ = Value; }
    const std::string& CarrierPostalCode() const { return carrierPostalCode_; }
    void SetCarrierPostalCode(const std::string& Value) { carrierPostalCode_ = Value; }
    int CarrierServiceClass() const { return carrierServiceClass_; }
    void SetCarrierServiceClass(int Value) { carrierServiceClass_ = Value; }
    TColor Color() const { return color_; }
    void SetColor(TColor Value) { color_ = Value; }
    const std::string& Data() const { return data_; }
    void SetData(const std::string& Value) { data_ = Value; }
    TStPDF417ECCLevels ECCLevel() const { return eccLevel_; }
    void SetECCLevel(TStPDF417ECCLevels Value) { eccLevel_ = Value; }
    bool ExtendedSyntax() const { return extendedSyntax_; }
    void SetExtendedSyntax(bool Value) { extendedSyntax_ = Value; }
    TrpFont* Font() const { return font_.get(); }
    void SetFont(TFont* Value);
    double HorPixelsPerMM() const { return horPixelsPerMM_; }
    void SetHorPixelsPerMM(double Value) { horPixelsPerMM_ = Value; }
    TStMaxiCodeMode Mode() const { return mode_; }
    void SetMode(TStMaxiCodeMode Value) { mode_ = Value; }
    int NumColumns() const { return numColumns_; }
    void SetNumColumns(int Value) { numColumns_ = Value; }
    int NumRows() const { return numRows_; }
    void SetNumRows(int Value) { numRows_ = Value; }
    int QuietZone() const { return quietZone_; }
    void SetQuietZone(int Value) { quietZone_ = Value; }
    bool RelativeBarHeight() const { return relativeBarHeight_; }
    void SetRelativeBarHeight(bool Value) { relativeBarHeight_ = Value; }
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool Value) { transparent_ = Value; }
    bool Truncated() const { return truncated_; }
    void SetTruncated(bool Value) { truncated_ = Value; }
    double VerPixelsPerMM() const { return verPixelsPerMM_; }
    void SetVerPixelsPerMM(double Value) { verPixelsPerMM_ = Value; }

private:
    TAlignment alignment_ = taCenter;
    bool autoScale_ = true;
    bool autoSize_ = true;
    TColor backgroundColor_ = clWhite;
    Trp2DBarCodeType barCodeType_ = bcPDF417;
    int barHeight_ = 8;
    int barWidth_ = 2;
    std::string caption_;
    TTextLayout captionLayout_ = tlBottom;
    int carrierCountryCode_ = 0;
    std::string carrierPostalCode_;
    int carrierServiceClass_ = 0;
    TColor color_ = clBlack;
    std::string data_;
    TStPDF417ECCLevels eccLevel_ = ecAuto;
    bool extendedSyntax_ = true;
    std::unique_ptr<TrpFont> font_;
    double horPixelsPerMM_ = 0;
    TStMaxiCodeMode mode_ = cmMode4;
    int numColumns_ = 0;
    int numRows_ = 0;
    int quietZone_ = 8;
    bool relativeBarHeight_ = false;
    bool transparent_ = false;
    bool truncated_ = false;
    double verPixelsPerMM_ = 0;
};

class TrpCustom2DBarCode : public TrpCustomComponent {
public:
    explicit TrpCustom2DBarCode(TComponent* AOwner);
    ~TrpCustom2DBarCode() override;
    FAT_CLASS(TrpCustom2DBarCode)

    virtual std::string GetData() const { return data_; }
    std::string GetCaption() const override { return printHumanReadable_ ? GetData() : std::string(); }
    void SetCaption(const std::string& Value) override { SetData(Value); }
    void UpdateAutoSize() override;
    void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) override;
    bool HasFont() const override { return true; }
    bool HasColor() const override { return true; }

    Trp2DBarCodeType BarCodeType() const { return barCodeType_; }
    void SetBarCodeType(Trp2DBarCodeType Value);
    bool AutoScale() const { return autoScale_; }
    void SetAutoScale(bool Value) { Set("AutoScale", autoScale_, Value); }
    TColor BackgroundColor() const { return backgroundColor_; }
    void SetBackgroundColor(TColor Value) { Set("BackgroundColor", backgroundColor_, Value); }
    int BarHeight() const { return barHeight_; }
    void SetBarHeight(int Value) { Set("BarHeight", barHeight_, Value); }
    int BarWidth() const { return barWidth_; }
    void SetBarWidth(int Value) { Set("BarWidth", barWidth_, Value); }
    TTextLayout CaptionLayout() const { return captionLayout_; }
    void SetCaptionLayout(TTextLayout Value) { Set("CaptionLayout", captionLayout_, Value); }
    int CarrierCountryCode() const { return carrierCountryCode_; }
    void SetCarrierCountryCode(int Value) { Set("CarrierCountryCode", carrierCountryCode_, Value); }
    const std::string& CarrierPostalCode() const { return carrierPostalCode_; }
    void SetCarrierPostalCode(const std::string& Value) { Set("CarrierPostalCode", carrierPostalCode_, Value); }
    int CarrierServiceClass() const { return carrierServiceClass_; }
    void SetCarrierServiceClass(int Value) { Set("CarrierServiceClass", carrierServiceClass_, Value); }
    const std::string& Data() const { return data_; }
    void SetData(const std::string& Value);
    TStPDF417ECCLevels ECCLevel() const { return eccLevel_; }
    void SetECCLevel(TStPDF417ECCLevels Value) { Set("ECCLevel", eccLevel_, Value); }
    bool ExtendedSyntax() const { return extendedSyntax_; }
    void SetExtendedSyntax(bool Value) { Set("ExtendedSyntax", extendedSyntax_, Value); }
    double HorPixelsPerMM() const { return horPixelsPerMM_; }
    void SetHorPixelsPerMM(double Value) { Set("HorPixelsPerMM", horPixelsPerMM_, Value); }
    TStMaxiCodeMode Mode() const { return mode_; }
    void SetMode(TStMaxiCodeMode Value) { Set("Mode", mode_, Value); }
    int NumColumns() const { return numColumns_; }
    void SetNumColumns(int Value) { Set("NumColumns", numColumns_, Value); }
    int NumRows() const { return numRows_; }
    void SetNumRows(int Value) { Set("NumRows", numRows_, Value); }
    bool PrintHumanReadable() const { return printHumanReadable_; }
    void SetPrintHumanReadable(bool Value) { Set("PrintHumanReadable", printHumanReadable_, Value); }
    int QuietZone() const { return quietZone_; }
    void SetQuietZone(int Value) { Set("QuietZone", quietZone_, Value); }
    bool RelativeBarHeight() const { return relativeBarHeight_; }
    void SetRelativeBarHeight(bool Value) { Set("RelativeBarHeight", relativeBarHeight_, Value); }
    bool Truncated() const { return truncated_; }
    void SetTruncated(bool Value) { Set("Truncated", truncated_, Value); }
    double VerPixelsPerMM() const { return verPixelsPerMM_; }
    void SetVerPixelsPerMM(double Value) { Set("VerPixelsPerMM", verPixelsPerMM_, Value); }

    void FillCommand(TrpDraw2DBarCode* Command) const;

protected:
    bool Loading() const;
    template <class T>
    void Set(const char* Name, T& Field, T Value) {
        if (Field == Value) return;
        BeforePropertyChange(Name);
        Field = Value;
        UpdateAutoSize();
        PropertyChange();
    }

private:
    Trp2DBarCodeType barCodeType_ = bcPDF417;
    bool autoScale_ = true;
    TColor backgroundColor_ = clWhite;
    int barHeight_ = 8;
    int barWidth_ = 2;
    TTextLayout captionLayout_ = tlBottom;
    int carrierCountryCode_ = 0;
    std::string carrierPostalCode_;
    int carrierServiceClass_ = 0;
    std::string data_ = "2DBarCode";
    TStPDF417ECCLevels eccLevel_ = ecAuto;
    bool extendedSyntax_ = true;
    double horPixelsPerMM_ = 0;
    TStMaxiCodeMode mode_ = cmMode4;
    int numColumns_ = 0;
    int numRows_ = 0;
    bool printHumanReadable_ = true;
    bool relativeBarHeight_ = false;
    int quietZone_ = 8;
    bool truncated_ = false;
    double verPixelsPerMM_ = 0;
};

class Trp2DBarCode : public TrpCustom2DBarCode {
public:
    explicit Trp2DBarCode(TComponent* AOwner);
    FAT_CLASS(Trp2DBarCode)
};

class TrpDB2DBarCode : public TrpCustom2DBarCode {
public:
    explicit TrpDB2DBarCode(TComponent* AOwner);
    FAT_CLASS(TrpDB2DBarCode)

    std::string GetData() const override;
    bool IsDataAware() const override { return true; }
    void SetCaption(const std::string& Value) override;
    void SetDataField(const std::string& Value) override;
};

namespace report_output {
void Register2DBarCodeClasses();
void Unregister2DBarCodeClasses();
}  // namespace report_output
