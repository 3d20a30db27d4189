#pragma once
// The draw commands the report's components make when their band prints:
// text, variable values (completed from later pages), shapes, lines and
// images. Each records everything a device needs to draw it; all streamed
// properties are part of the archive format.
#include <memory>
#include <string>
#include <utility>

#include "platform/gfx/Graphics.h"
#include "platform/gfx/Pictures.h"
#include "report/rpPage.h"

class TrsParamList;

class TrpDrawText : public TrpDrawCommand {
public:
    explicit TrpDrawText(TComponent* AOwner);
    ~TrpDrawText() override;
    FAT_CLASS(TrpDrawText)
    TrpDrawText* AsDrawText() final { return this; }

    void Assign(TPersistent* Source) override;
    // Place, alignment, font face/size/style, texts and layout flags; the
    // angle and the font colour are not compared.
    bool IsEqual(TrpDrawCommand* Other) override;
    // BandSaveNo and ComponentSaveNo, each right-aligned in 8 characters.
    std::string GetSaveKey() const;

    int Angle() const { return angle_; }
    void SetAngle(int Value) { angle_ = Value; }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool Value) { autoSize_ = Value; }
    TColor Color() const { return color_; }
    void SetColor(TColor Value) { color_ = Value; }
    TFont* Font() const { return &font_; }
    void SetFont(TFont* Value);
    bool ForceJustifyLastLine() const { return forceJustifyLastLine_; }
    void SetForceJustifyLastLine(bool Value) { forceJustifyLastLine_ = Value; }
    bool IsMemo() const { return isMemo_; }
    void SetIsMemo(bool Value) { isMemo_ = Value; }
    int Leading() const { return leading_; }
    void SetLeading(int Value) { leading_ = Value; }
    // The two lists are made when first asked for: most commands never
    // have either, and a page holds a thousand commands.
    TStrings* TabStopPositions() const { return List(tabStopPositions_); }
    void SetTabStopPositions(TStrings* Value);
    const std::string& Text() const { return text_; }
    void SetText(const std::string& Value) { text_ = Value; }
    void SetText(std::string&& Value) { text_ = std::move(Value); }
    TrpTextAlignment TextAlignment() const { return textAlignment_; }
    // Keeps Alignment in step (full justification is left-aligned there).
    void SetTextAlignment(TrpTextAlignment Value);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment Value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool Value) { transparent_ = Value; }
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool Value) { wordWrap_ = Value; }
    TStrings* WrappedText() const { return List(wrappedText_); }
    void SetWrappedText(TStrings* Value);
    bool BandSave() const { return bandSave_; }
    void SetBandSave(bool Value) { bandSave_ = Value; }
    int BandSaveNo() const { return bandSaveNo_; }
    void SetBandSaveNo(int Value) { bandSaveNo_ = Value; }
    bool ComponentSave() const { return componentSave_; }
    void SetComponentSave(bool Value) { componentSave_ = Value; }
    int ComponentSaveNo() const { return componentSaveNo_; }
    void SetComponentSaveNo(int Value) { componentSaveNo_ = Value; }
    int SaveLength() const { return saveLength_; }
    void SetSaveLength(int Value) { saveLength_ = Value; }

    // The origin of turned text.
    int RotatedOriginLeft = 0;
    int RotatedOriginTop = 0;

    void DefineProperties(TFiler* Filer) override;

private:
    friend class report::PageStore;
    static TStringList* List(std::unique_ptr<TStringList>& Made);
    static void AssignList(std::unique_ptr<TStringList>& Made, TStrings* Value);

    int angle_ = 0;
    bool autoSize_ = false;
    TColor color_ = clWhite;
    // Held in place: a page makes a thousand texts, each with its font.
    mutable TFont font_;
    bool forceJustifyLastLine_ = false;
    bool isMemo_ = false;
    int leading_ = 0;
    mutable std::unique_ptr<TStringList> tabStopPositions_;
    std::string text_;
    TrpTextAlignment textAlignment_ = taLeftJustified;
    TAlignment alignment_ = taLeftJustify;
    bool transparent_ = false;
    bool wordWrap_ = false;
    mutable std::unique_ptr<TStringList> wrappedText_;
    bool bandSave_ = false;
    int bandSaveNo_ = 0;
    bool componentSave_ = false;
    int componentSaveNo_ = 0;
    int saveLength_ = 0;
};

// The value of a calculated variable that later data may complete: while
// deferred it listens (event 67) for look-ahead values under its key.
class TrpDrawVariable : public TrpDrawText {
public:
    explicit TrpDrawVariable(TComponent* AOwner);
    ~TrpDrawVariable() override;
    FAT_CLASS(TrpDrawVariable)

    void Assign(TPersistent* Source) override;
    bool IsDeferred() override { return deferred_; }
    // True while still listening for its value.
    bool Recalculate() override;

    bool Deferred() const { return deferred_; }
    void SetDeferred(bool Value);
    const std::string& LookAheadKey() const { return lookAheadKey_; }
    void SetLookAheadKey(const std::string& Value) { lookAheadKey_ = Value; }
    int TraversalCount() const { return traversalCount_; }
    // The private listener the senders of look-ahead values are linked to;
    // nullptr while not deferred.
    TrpCommunicator* Listener() const { return listener_.get(); }

private:
    void LookAheadValueChanged(TObject* Sender, TObject* EventSender, int EventNumber, TrsParamList* Params);

    bool deferred_ = false;
    std::string lookAheadKey_;
    int traversalCount_ = 0;
    std::unique_ptr<TrpCommunicator> listener_;
};

// The value of a system variable (date, page number, page count...).
class TrpDrawVar : public TrpDrawText {
public:
    explicit TrpDrawVar(TComponent* AOwner) : TrpDrawText(AOwner) {}
    FAT_CLASS(TrpDrawVar)

    void Assign(TPersistent* Source) override;
    bool IsDeferred() override;
    bool Recalculate() override;
    // Date and time values are equal to any other date or time value.
    bool IsEqual(TrpDrawCommand* Other) override;

    TrpVarType VarType() const { return varType_; }
    // On a page, the command moves onto or off its deferred list.
    void SetVarType(TrpVarType Value);

private:
    TrpVarType varType_ = vtDate;
};

// The value of a calculation component; always on its page's deferred list.
class TrpDrawCalc : public TrpDrawText {
public:
    explicit TrpDrawCalc(TComponent* AOwner) : TrpDrawText(AOwner) {}
    FAT_CLASS(TrpDrawCalc)

    void Assign(TPersistent* Source) override;
    bool IsDeferred() override { return true; }
    bool Recalculate() override;

    TrpCalcType CalcType() const { return calcType_; }
    void SetCalcType(TrpCalcType Value) { calcType_ = Value; }

private:
    TrpCalcType calcType_ = ctDate;
};

class TrpDrawShape : public TrpDrawCommand {
public:
    explicit TrpDrawShape(TComponent* AOwner);
    ~TrpDrawShape() override;
    FAT_CLASS(TrpDrawShape)
    TrpDrawShape* AsDrawShape() final { return this; }

    void Assign(TPersistent* Source) override;
    bool IsEqual(TrpDrawCommand* Other) override;

    TBrush* Brush() const { return &brush_; }
    void SetBrush(TBrush* Value);
    TPen* Pen() const { return &pen_; }
    void SetPen(TPen* Value);
    TShapeType ShapeType() const { return shapeType_; }
    void SetShapeType(TShapeType Value) { shapeType_ = Value; }
    int XCornerRound() const { return xCornerRound_; }
    void SetXCornerRound(int Value) { xCornerRound_ = Value; }
    int YCornerRound() const { return yCornerRound_; }
    void SetYCornerRound(int Value) { yCornerRound_ = Value; }

private:
    friend class report::PageStore;
    mutable TBrush brush_;
    mutable TPen pen_;
    TShapeType shapeType_ = stRectangle;
    int xCornerRound_ = 0;
    int yCornerRound_ = 0;
};

class TrpDrawLine : public TrpDrawCommand {
public:
    explicit TrpDrawLine(TComponent* AOwner);
    ~TrpDrawLine() override;
    FAT_CLASS(TrpDrawLine)
    TrpDrawLine* AsDrawLine() final { return this; }

    void Assign(TPersistent* Source) override;
    // The weight is not compared.
    bool IsEqual(TrpDrawCommand* Other) override;

    TrpLinePositionType LinePosition() const { return linePosition_; }
    void SetLinePosition(TrpLinePositionType Value) { linePosition_ = Value; }
    TrpLineStyleType LineStyle() const { return lineStyle_; }
    void SetLineStyle(TrpLineStyleType Value) { lineStyle_ = Value; }
    TPen* Pen() const { return &pen_; }
    void SetPen(TPen* Value);
    float Weight() const { return weight_; }
    void SetWeight(float Value) { weight_ = Value; }

private:
    friend class report::PageStore;
    TrpLinePositionType linePosition_ = lpTop;
    TrpLineStyleType lineStyle_ = lsSingle;
    mutable TPen pen_;
    float weight_ = 0;
};

class TrpDrawImage : public TrpDrawCommand {
public:
    explicit TrpDrawImage(TComponent* AOwner);
    ~TrpDrawImage() override;
    FAT_CLASS(TrpDrawImage)

    void Assign(TPersistent* Source) override;

    bool Center() const { return center_; }
    void SetCenter(bool Value) { center_ = Value; }
    bool MaintainAspectRatio() const { return maintainAspectRatio_; }
    void SetMaintainAspectRatio(bool Value) { maintainAspectRatio_ = Value; }
    TPicture* Picture() const { return picture_.get(); }
    void SetPicture(TPicture* Value);
    bool Scale() const { return scale_; }
    void SetScale(bool Value) { scale_ = Value; }
    bool Stretch() const { return stretch_; }
    void SetStretch(bool Value) { stretch_ = Value; }
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool Value) { transparent_ = Value; }
    bool DirectDraw() const { return directDraw_; }
    void SetDirectDraw(bool Value) { directDraw_ = Value; }
    const std::string& ImageName() const { return imageName_; }
    void SetImageName(const std::string& Value) { imageName_ = Value; }
    // Whether the picture is streamed with the command.
    bool PictureStored() const { return pictureStored_; }
    void SetPictureStored(bool Value) { pictureStored_ = Value; }
    // nullptr for a metafile; the picture's own bitmap; else a bitmap drawn
    // from the graphic once and kept.
    TBitmap* AsBitmap();

private:
    bool center_ = false;
    bool maintainAspectRatio_ = false;
    std::unique_ptr<TPicture> picture_;
    bool scale_ = false;
    bool stretch_ = false;
    bool transparent_ = false;
    bool directDraw_ = false;
    std::string imageName_;
    bool pictureStored_ = true;
    std::unique_ptr<TBitmap> bitmap_;
};

class TCanvas;

// Thousandths of a millimetre in inches.
float MMThousandthsToInches(int32_t Value);
// Writes Text at (X, Y) in Font turned Angle degrees counter-clockwise,
// without filling behind it; the canvas's font, angle and brush are as
// they were afterwards.
void TextOutRotated(TCanvas* Canvas, TFont* Font, int X, int Y, const std::string& Text, int Angle);

namespace report {
// Makes a command of one of the classes above directly, as the class
// registry's factory would (no owner); nullptr for any other class.
using DrawCommandMaker = TrpDrawCommand* (*)();
DrawCommandMaker BuiltInDrawCommandMaker(TClass Class);

void RegisterDrawCommandClasses();
void UnregisterDrawCommandClasses();
}  // namespace report
