#pragma once
// The drawn controls of a band: TrpCustomGraphic holds a pen and a brush,
// TrpShape draws a rectangle, square, rounded shape, ellipse or circle with
// them, TrpLine a horizontal or vertical rule, single or double, whose
// weight is in points.
//
// The geometry of a shape is worked out in screen pixels, as it was laid
// out on the designer's screen, and only then turned into thousandths of a
// millimetre: a pen of odd width keeps its half inside the frame, and a
// square or a circle sits centred in a control that is not square.
//
// A line keeps its Weight and its pen's width in step both ways: a new
// Weight sets the pen, and a pen set directly (older reports, scripts) sets
// the Weight. The flag that is up while the Weight writer sets the pen
// keeps the two from echoing each other.
//
// Nothing here keeps state between passes: the band decides where the
// control prints and whether it prints on each page.
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Graphics.h"
#include "report_output/rpTextControls.h"

#include "report/rpPublish.h"

class TrpCustomGraphic : public TrpCustomComponent {
public:
    explicit TrpCustomGraphic(TComponent* AOwner);
    ~TrpCustomGraphic() override;
    FAT_CLASS(TrpCustomGraphic)

    TBrush* Brush() const { return brush_.get(); }
    virtual void SetBrush(TBrush* Value);
    TPen* Pen() const { return pen_.get(); }
    virtual void SetPen(TPen* Value);
    // The pen or the brush changed: redraw, and let the band read it again.
    virtual void GraphicChanged();

    bool HasFont() const override { return false; }

    // Transparent: the brush is clear. None: the pen is clear.
    void GetFillColor(TColor& AColor, bool& ATransparent) const override;
    void GetLineColor(TColor& AColor, bool& ANone) const override;
    void SetFillColor(TColor AColor, bool ATransparent) override;
    void SetLineColor(TColor AColor, bool ANone);
    void SetLineWidth(int Value);

protected:
    bool Loading() const;

private:
    std::unique_ptr<TBrush> brush_;
    std::unique_ptr<TPen> pen_;
};

class TrpShape : public TrpCustomGraphic {
public:
    explicit TrpShape(TComponent* AOwner);
    FAT_CLASS(TrpShape)

    TShapeType Shape() const { return shape_; }
    void SetShape(TShapeType Value);
    void GraphicChanged() override;
    // One designer caption per shape kind, in the kinds' order.
    std::vector<std::string> GetChoiceList() const;
    std::string GetDefaultPropHint() const override;

    // The shape inside the control in screen pixels (Left, Top, Right,
    // Bottom) for a control of Width × Height pixels, and its corner radius.
    struct Geometry {
        int Left, Top, Right, Bottom, Radius;
    };
    static Geometry CalcGeometry(TShapeType Shape, int PenWidth, int Width, int Height);

    void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) override;

private:
    // The command's place within the print rectangle, in thousandths of a
    // millimetre, for the last size, pen, shape and screen resolution: a
    // zebra stripe prints the same shape on every row, and working it out
    // takes eight unit conversions.
    struct Placement {
        int32_t Width = -1, Height = -1;
        int PenWidth = 0;
        TShapeType Shape = stRectangle;
        int PpiX = 0, PpiY = 0;
        int32_t Left = 0, Top = 0, Right = 0, Bottom = 0, XRound = 0, YRound = 0;
    };
    const Placement& PlacementFor(int32_t Width, int32_t Height);

    TShapeType shape_ = stRectangle;
    Placement placement_;
};

class TrpLine : public TrpCustomGraphic {
public:
    explicit TrpLine(TComponent* AOwner);
    FAT_CLASS(TrpLine)

    TrpLinePositionType Position() const { return position_; }
    void SetPosition(TrpLinePositionType Value);
    TrpLineStyleType Style() const { return style_; }
    void SetStyle(TrpLineStyleType Value);
    // Points; the pen's width follows at the screen's resolution.
    float Weight() const { return weight_; }
    void SetWeight(float Value);

    void GraphicChanged() override;
    bool HasColor() const override { return false; }
    std::vector<std::string> GetChoiceList() const;
    std::string GetDefaultPropHint() const override;
    void Convert(int Version) override;
    void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) override;

private:
    // The pen width (pixels) the Weight was last worked out from.
    int cachedPenWidth_ = 1;
    TrpLinePositionType position_ = lpTop;
    bool updatingWeight_ = false;
    TrpLineStyleType style_ = lsSingle;
    float weight_ = 0.75f;
};

namespace report_output {
void RegisterGraphicClasses();
void UnregisterGraphicClasses();
}  // namespace report_output
