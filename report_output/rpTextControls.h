#pragma once
// The simple controls of a band: TrpCustomComponent (a fixed rectangle that
// may be suppressed once placed), TrpCustomText (the text controls: angle,
// wrapping, export order, the draw command's text) and TrpLabel (a caption).
//
// Auto size measures the text on the measuring canvas (the layout device
// unless a program or test installs another), so a label measures the same
// on every machine, with or without printers.
#include <functional>
#include <cstdint>
#include <string>
#include <vector>

#include "report/rpComponent.h"

class TrpCustomEngine;
class TrpGroup;

class TrpCustomComponent : public TrpComponent {
public:
    explicit TrpCustomComponent(TComponent* AOwner);
    FAT_CLASS(TrpCustomComponent)

    // A per-class code the report model reads to tell the kinds apart.
    int TypeCode() const { return typeCode_; }

    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;
    void DefineProperties(TFiler* Filer) override;

protected:
    void SetTypeCode(int Value) { typeCode_ = Value; }
    // The engine of the report this control's band belongs to, if any.
    TrpCustomEngine* ReportEngine() const;

private:
    int typeCode_ = 1;
};

using TrpGetTextEvent = std::function<void(TObject* Sender, std::string& Text)>;

// Events the text controls send.
enum : int {
    rpevGetText = 53,
};

class TrpCustomText : public TrpCustomComponent {
public:
    explicit TrpCustomText(TComponent* AOwner);
    ~TrpCustomText() override;
    FAT_CLASS(TrpCustomText)

    int Angle() const { return angle_; }
    // -359..-1 is stored plus 360; outside -359..359 the angle stays. Any
    // non-zero argument turns WordWrap off, even one that is refused.
    void SetAngle(int Value);
    bool CharWrap() const { return charWrap_; }
    void SetCharWrap(bool Value);
    const std::string& DisplayFormat() const { return displayFormat_; }
    virtual void SetDisplayFormat(const std::string& Value);
    bool Save() const { return save_; }
    void SetSave(bool Value);
    int SaveLength() const { return saveLength_; }
    void SetSaveLength(int Value);
    int SaveOrder() const;
    void SetSaveOrder(int Value);
    void UpdateSaveOrder(int Position);
    int32_t RotatedOriginLeft() const { return rotatedOriginLeft_; }
    int32_t RotatedOriginTop() const { return rotatedOriginTop_; }

    // The text before OnGetText: the caption here.
    virtual void GetPrintText(std::string& Text) const;
    // The printed text: GetPrintText, then OnGetText and event 53 while printing.
    std::string GetText() const override;

    void SetCaption(const std::string& Value) override;
    void SetWordWrap(bool Value) override;
    void SetTextAlignment(TrpTextAlignment Value) override;
    void SetAutoSize(bool Value) override;
    void FontChanged() override;
    void UpdateAutoSize() override;
    void SetName(const std::string& NewName) override;
    std::string GetDescription() const override;
    // Keeps the turned text's origin in step with the box.
    void BoundsChange() override;
    bool HasFont() const override { return true; }
    bool HasColor() const override { return true; }
    bool IsTextComponent() const override { return true; }
    void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) override;

    void AddGroup(TrpGroup* Group);
    void RemoveGroup(TrpGroup* Group);
    int GroupCount() const { return static_cast<int>(groups_.size()); }

    TrpGetTextEvent OnGetText;

    void Loaded() override;

protected:
    bool PrintingNow() const;

private:
    void UpdateRotatedOrigin();

    int angle_ = 0;
    std::vector<TrpGroup*> groups_;
    bool charWrap_ = false;
    std::string displayFormat_;
    int32_t rotatedOriginLeft_ = 0;
    int32_t rotatedOriginTop_ = 0;
    int storedSaveOrder_ = -1;
    // A read control that saves joins its band's save list at its stored
    // place (the list is not in the stream).
    void JoinSavesAfterLoad();
    bool save_ = false;
    int saveLength_ = 0;
};

class TrpLabel : public TrpCustomText {
public:
    explicit TrpLabel(TComponent* AOwner);
    FAT_CLASS(TrpLabel)

    // A caption that showed the old user name follows the new one.
    void SetUserName(const std::string& Value) override;
};

// Thousandths of a millimetre that Text takes in Font on the measuring
// canvas: its width and height, wrapped to Width when Wrap is set.
TSize rpMeasureText(const std::string& Text, const TFont* Font, bool Wrap, int32_t Width, bool CharWrap);
// rpMeasureText(Text, Font, false, 0, false).cx, for a caller that needs
// only the width: the line height is not measured.
int32_t rpMeasureTextWidth(const std::string& Text, const TFont* Font);

// rpMeasureTextWidth for many texts in one font, to the same thousandth:
// the advances of the characters up to U+00FF are looked up once, since a
// listing measures every amount it prints. Other texts are measured as usual.
class TrpTextWidthMeter {
public:
    explicit TrpTextWidthMeter(const TFont& Font) : font_(Font) {}
    const TFont& Font() const { return font_; }
    int32_t Width(const std::string& Text);

private:
    TFont font_;
    bool filled_ = false;
    unsigned generation_ = 0;
    int pixelsPerInch_ = 0;
    double advances_[256] = {};
};

namespace report_output {
void RegisterTextClasses();
void UnregisterTextClasses();
}  // namespace report_output
