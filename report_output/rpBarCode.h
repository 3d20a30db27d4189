#pragma once
// One-dimensional barcodes in a report: TrpCustomBarCode holds the
// properties and checks the data, TrpBarCode prints fixed data,
// TrpDBBarCode a field's value. Each generation fills a TrpDrawBarCode,
// which turns the data into device pixel columns (rpBarCodeEncoders.h) and
// paints them, with the human-readable text, bearer bars and add-on, on a
// printer canvas directly or, for the screen, through a bitmap.
//
// Bars are whole device pixels: a module is round(bar width x resolution)
// columns, and each run of equal columns is one filled rectangle, never
// antialiased, so that a scanner sees the widths the encoder chose.
//
// Messages about refused data go to the barcode message sink: the program
// installs its dialog there; tests and worker threads a recorder. Model
// code never opens a box itself, and nothing is shown while printing.
#include <functional>
#include <memory>
#include <string>

#include "platform/gfx/Canvas.h"
#include "report/rpDrawCommand.h"
#include "report/rpRTTI.h"
#include "report/rpModelRTTI.h"
#include "report/rpRelatv.h"
#include "report_output/rpBarCodeEncoders.h"
#include "report_output/rpTextControls.h"

using TrpBarCodeMessageSink = std::function<void(const std::string& Message)>;
// Installs the sink (nullptr: messages are dropped); returns the previous.
TrpBarCodeMessageSink rpSetBarCodeMessageSink(TrpBarCodeMessageSink Sink);
void rpShowBarCodeMessage(const std::string& Message);

class TrpDrawBarCode : public TrpDrawCommand {
public:
    explicit TrpDrawBarCode(TComponent* AOwner);
    ~TrpDrawBarCode() override;
    FAT_CLASS(TrpDrawBarCode)

    void Assign(TPersistent* Source) override;
    // The printer and screen devices paint barcodes through DrawOnPrinter
    // and DrawOnScreen; every other device is asked as for any command.
    bool Draw(TrpDevice* Device) override;

    // Measures (Paint false) or paints the symbol with its top left at
    // Left, Top for a device of the given resolutions; the measured size in
    // device pixels is kept in PixelWidth and PixelHeight.
    void DrawBarCode(TCanvas* Canvas, int Left, bool Paint, int PixelsPerInchX, int PixelsPerInchY, int Top);
    // Directly on a printer canvas, in the command's device rectangle.
    void DrawOnPrinter(TCanvas* Canvas, const TRect& DeviceRect);
    // Through a bitmap at the screen's resolution, stretched into Rect.
    void DrawOnScreen(TCanvas* Canvas, const TRect& Rect, int ScreenPixelsPerInch);

    const std::string& AddOnCode() const { return addOnCode_; }
    void SetAddOnCode(const std::string& Value) { addOnCode_ = Value; }
    bool AutoEncode() const { return autoEncode_; }
    void SetAutoEncode(bool Value) { autoEncode_ = Value; }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool Value) { autoSize_ = Value; }
    bool AutoSizeFont() const { return autoSizeFont_; }
    void SetAutoSizeFont(bool Value) { autoSizeFont_ = Value; }
    TrpBarCodeType BarCodeType() const { return barCodeType_; }
    void SetBarCodeType(TrpBarCodeType Value) { barCodeType_ = Value; }
    TColor BarColor() const { return barColor_; }
    void SetBarColor(TColor Value) { barColor_ = Value; }
    int32_t mmBarWidth() const { return mmBarWidth_; }
    void SetmmBarWidth(int32_t Value) { mmBarWidth_ = Value; }
    bool BearerBars() const { return bearerBars_; }
    void SetBearerBars(bool Value) { bearerBars_ = Value; }
    bool CalcCheckDigit() const { return calcCheckDigit_; }
    void SetCalcCheckDigit(bool Value) { calcCheckDigit_ = Value; }
    TColor Color() const { return color_; }
    void SetColor(TColor Value) { color_ = Value; }
    const std::string& Data() const { return data_; }
    void SetData(const std::string& Value) { data_ = Value; }
    TrpFont* Font() const { return font_.get(); }
    void SetFont(TFont* Value);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment Value) { alignment_ = Value; }
    TrpBarCodeOrientation Orientation() const { return orientation_; }
    void SetOrientation(TrpBarCodeOrientation Value) { orientation_ = Value; }
    bool PrintHumanReadable() const { return printHumanReadable_; }
    void SetPrintHumanReadable(bool Value) { printHumanReadable_ = Value; }
    bool Printing() const { return printing_; }
    void SetPrinting(bool Value) { printing_ = Value; }
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool Value) { transparent_ = Value; }
    double WideBarRatio() const { return wideBarRatio_; }
    void SetWideBarRatio(double Value) { wideBarRatio_ = Value; }
    bool DataValid() const { return dataValid_; }
    void SetDataValid(bool Value) { dataValid_ = Value; }
    int PixelWidth() const { return pixelWidth_; }
    int PixelHeight() const { return pixelHeight_; }
    // The column buffers of the last encoding.
    const std::string& Columns() const { return columns_; }
    const std::string& AddOnColumns() const { return addOnColumns_; }
    // The data as the last encoding rewrote it (appended check digits, the
    // set characters of Code 128); the data itself when it was refused.
    const std::string& EncodedData() const { return encodedData_; }
    // Pixel columns of a module for a device of that resolution.
    int ModulePixels(int PixelsPerInch) const;

private:
    bool Vertical() const { return orientation_ == orTopToBottom || orientation_ == orBottomToTop; }

    std::string addOnCode_;
    bool autoEncode_ = false;
    bool autoSize_ = true;
    bool autoSizeFont_ = true;
    TrpBarCodeType barCodeType_ = bcCode39;
    TColor barColor_ = clBlack;
    int32_t mmBarWidth_ = 254;
    bool bearerBars_ = false;
    bool calcCheckDigit_ = true;
    TColor color_ = clWhite;
    std::string data_;
    std::unique_ptr<TrpFont> font_;
    TAlignment alignment_ = taLeftJustify;
    TrpBarCodeOrientation orientation_ = orLeftToRight;
    bool printHumanReadable_ = true;
    bool printing_ = false;
    bool transparent_ = false;
    double wideBarRatio_ = 3.0;
    int pixelWidth_ = 0;
    int pixelHeight_ = 0;
    bool dataValid_ = true;
    std::string addOnColumns_;
    std::string columns_;
    std::string encodedData_;
};

class TrpCustomBarCode : public TrpCustomComponent {
public:
    explicit TrpCustomBarCode(TComponent* AOwner);
    ~TrpCustomBarCode() override;
    FAT_CLASS(TrpCustomBarCode)

    virtual void ShowError(const std::string& Message);
    virtual std::string GetData() const { return data_; }
    virtual void SetBarCodeType(TrpBarCodeType Value);

    const std::string& AddOnCode() const { return addOnCode_; }
    void SetAddOnCode(const std::string& Value);
    bool AutoEncode() const { return autoEncode_; }
    void SetAutoEncode(bool Value);
    bool AutoSizeFont() const { return autoSizeFont_; }
    void SetAutoSizeFont(bool Value);
    TrpBarCodeType BarCodeType() const { return barCodeType_; }
    TColor BarColor() const { return barColor_; }
    void SetBarColor(TColor Value);
    // In the component's Units.
    float BarWidth() const;
    void SetBarWidth(float Value);
    int32_t mmBarWidth() const { return mmBarWidth_; }
    bool BearerBars() const { return bearerBars_; }
    void SetBearerBars(bool Value);
    bool CalcCheckDigit() const { return calcCheckDigit_; }
    void SetCalcCheckDigit(bool Value);
    const std::string& Data() const { return data_; }
    void SetData(const std::string& Value);
    TrpBarCodeOrientation Orientation() const { return orientation_; }
    void SetOrientation(TrpBarCodeOrientation Value);
    bool PrintHumanReadable() const { return printHumanReadable_; }
    void SetPrintHumanReadable(bool Value);
    float WideBarRatio() const;
    void SetWideBarRatio(float Value);
    int32_t mmWideBarRatio() const { return mmWideBarRatio_; }
    bool DataValid() const { return dataValid_; }

    void BeginUpdate() { ++updateLock_; }
    void EndUpdate();

    void UpdateAutoSize() override;
    void BoundsChange() override;
    void FontChanged() override;
    std::string GetCaption() const override { return GetData(); }
    std::string GetDefaultPropHint() const override;
    void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) override;
    void SetAutoSize(bool Value) override;
    void SetCaption(const std::string& Value) override { SetData(Value); }
    void SetFont(TFont* Value) override;
    void DefineProperties(TFiler* Filer) override;
    bool HasFont() const override { return true; }
    bool HasColor() const override { return true; }

    // The draw command filled and measured for the component's own size.
    TrpDrawBarCode* SizingCommand();

protected:
    bool Loading() const;
    bool ValidateData(const std::string& Data);
    void FillCommand(TrpDrawBarCode* Command);
    void Signal(const char* Name);

private:
    std::string addOnCode_;
    bool autoEncode_ = false;
    bool autoSizeFont_ = true;
    TrpBarCodeType barCodeType_ = bcCode39;
    TColor barColor_ = clBlack;
    int32_t mmBarWidth_ = 254;
    bool bearerBars_ = false;
    bool calcCheckDigit_ = true;
    std::string data_ = "Barcode";
    std::unique_ptr<TrpDrawBarCode> sizingCommand_;
    TrpBarCodeOrientation orientation_ = orLeftToRight;
    bool printHumanReadable_ = true;
    int32_t mmWideBarRatio_ = 76200;
    int updateLock_ = 0;
    bool dataValid_ = true;
};

class TrpBarCode : public TrpCustomBarCode {
public:
    explicit TrpBarCode(TComponent* AOwner);
    FAT_CLASS(TrpBarCode)
};

class TrpDBBarCode : public TrpCustomBarCode {
public:
    explicit TrpDBBarCode(TComponent* AOwner);
    FAT_CLASS(TrpDBBarCode)

    std::string GetData() const override;
    bool IsDataAware() const override { return true; }
    void SetCaption(const std::string& Value) override;
    void SetDataField(const std::string& Value) override;
};

// What scripts see of a barcode: its published properties by name, with
// their scripting types; values go through the published properties.
// Other names go to the component adapter.
RP_TABLE_ADAPTER(TrsTrpBarCodeRTTI, TrsTrpComponentRTTI)

namespace report_output {
void RegisterBarCodeClasses();
void UnregisterBarCodeClasses();
}  // namespace report_output
