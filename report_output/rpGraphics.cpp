#include "report_output/rpGraphics.h"

#include <algorithm>

#include "report/rpDrawCommand.h"
#include "report/rpLanguage.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"

namespace {

// Controls are laid out on the designer's screen in pixels.
constexpr int kGraphicSidePixels = 50;
constexpr int kLineHeightPixels = 15;
// Older reports kept a line's weight only as its pen's width in pixels.
constexpr int kLineWeightVersion = 3000;

int32_t PixelsToMM(int Pixels, int Axis) { return rpToMMThousandths(utScreenPixels, Axis, nullptr, static_cast<float>(Pixels)); }

int MMToPixels(int32_t Value, int Axis) {
    return static_cast<int>(rpRoundHalfEven(rpFromMMThousandths(Value, utScreenPixels, Axis, nullptr)));
}

}  // namespace

TClass TrpCustomGraphic::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpCustomGraphic>("TrpCustomGraphic", TrpCustomComponent::StaticClassType())
                                       .Object("Brush", TBrush::StaticClassType(), &TrpCustomGraphic::Brush,
                                               &TrpCustomGraphic::SetBrush)
                                       .Object("Pen", TPen::StaticClassType(), &TrpCustomGraphic::Pen,
                                               &TrpCustomGraphic::SetPen)
                                       .Build();
    return &info;
}

TClass TrpShape::StaticClassType() {
    static const TClassInfo info =
        rpPublishLengths(TClassBuilder<TrpShape>("TrpShape", TrpCustomGraphic::StaticClassType())
            .Set("Anchors", rpAnchorsTypeInfo(), &TrpShape::Anchors, &TrpShape::SetAnchors,
                 3)
            .Event("OnDrawCommandClick", static_cast<TrpDrawCommandEvent TrpShape::*>(&TrpPrintable::OnDrawCommandClick),
                   rpDrawCommandEventTypeInfo())
            .Event("OnDrawCommandCreate", static_cast<TrpDrawCommandEvent TrpShape::*>(&TrpPrintable::OnDrawCommandCreate),
                   rpDrawCommandEventTypeInfo())
            .Boolean("ParentHeight", &TrpShape::ParentHeight, &TrpShape::SetParentHeight, 0)
            .Boolean("ParentWidth", &TrpShape::ParentWidth, &TrpShape::SetParentWidth, 0)
            .Boolean("ReprintOnOverFlow", &TrpShape::ReprintOnOverFlow, &TrpShape::SetReprintOnOverFlow, 0)
            .Enum("Shape", rpTypeInfo<TShapeType>(), &TrpShape::Shape, &TrpShape::SetShape, stRectangle)
            .Boolean("StretchWithParent", &TrpShape::StretchWithParent, &TrpShape::SetStretchWithParent, 0)
            .Boolean("Visible", &TrpShape::Visible, &TrpShape::SetVisible, 1))
            .Build();
    return &info;
}

TClass TrpLine::StaticClassType() {
    static const TClassInfo info =
        rpPublishLengths(TClassBuilder<TrpLine>("TrpLine", TrpCustomGraphic::StaticClassType())
            .Set("Anchors", rpAnchorsTypeInfo(), &TrpLine::Anchors, &TrpLine::SetAnchors,
                 3)
            .Object("Border", TrpBorder::StaticClassType(), &TrpLine::Border, &TrpLine::SetBorder)
            .Event("OnDrawCommandClick", static_cast<TrpDrawCommandEvent TrpLine::*>(&TrpPrintable::OnDrawCommandClick),
                   rpDrawCommandEventTypeInfo())
            .Event("OnDrawCommandCreate", static_cast<TrpDrawCommandEvent TrpLine::*>(&TrpPrintable::OnDrawCommandCreate),
                   rpDrawCommandEventTypeInfo())
            .Boolean("ParentHeight", &TrpLine::ParentHeight, &TrpLine::SetParentHeight, 0)
            .Boolean("ParentWidth", &TrpLine::ParentWidth, &TrpLine::SetParentWidth, 0)
            .Enum("Position", rpTypeInfo<TrpLinePositionType>(), &TrpLine::Position, &TrpLine::SetPosition, lpTop)
            .Boolean("ReprintOnOverFlow", &TrpLine::ReprintOnOverFlow, &TrpLine::SetReprintOnOverFlow, 0)
            .Boolean("StretchWithParent", &TrpLine::StretchWithParent, &TrpLine::SetStretchWithParent, 0)
            .Enum("Style", rpTypeInfo<TrpLineStyleType>(), &TrpLine::Style, &TrpLine::SetStyle, lsSingle)
            .Boolean("Visible", &TrpLine::Visible, &TrpLine::SetVisible, 1)
            .Float("Weight", &TrpLine::Weight, &TrpLine::SetWeight, TypeInfoSingle()))
            .Build();
    return &info;
}

// ---------------------------------------------------------------------------
// Pen and brush

TrpCustomGraphic::TrpCustomGraphic(TComponent* AOwner)
    : TrpCustomComponent(AOwner), brush_(std::make_unique<TBrush>()), pen_(std::make_unique<TPen>()) {
    StoremmBounds(mmLeft(), mmTop(), PixelsToMM(kGraphicSidePixels, 0), PixelsToMM(kGraphicSidePixels, 1));
    brush_->OnChange = [this](TObject*) { GraphicChanged(); };
    pen_->OnChange = [this](TObject*) { GraphicChanged(); };
}

TrpCustomGraphic::~TrpCustomGraphic() {
    brush_->OnChange = nullptr;
    pen_->OnChange = nullptr;
}

bool TrpCustomGraphic::Loading() const {
    return IsReading();
}

void TrpCustomGraphic::SetBrush(TBrush* Value) {
    if (Value == nullptr) return;
    brush_->Assign(Value);
    GraphicChanged();
}

void TrpCustomGraphic::SetPen(TPen* Value) {
    if (Value == nullptr) return;
    pen_->Assign(Value);
    GraphicChanged();
}

void TrpCustomGraphic::GraphicChanged() {
    if (Loading()) return;
    Invalidate();
    PropertyChange();
    UpdateBand();
}

void TrpCustomGraphic::GetFillColor(TColor& AColor, bool& ATransparent) const {
    AColor = brush_->Color();
    ATransparent = brush_->Style() == bsClear;
}

void TrpCustomGraphic::GetLineColor(TColor& AColor, bool& ANone) const {
    AColor = pen_->Color();
    ANone = pen_->Style() == psClear;
}

void TrpCustomGraphic::SetFillColor(TColor AColor, bool ATransparent) {
    // The pen and brush notices are held back so that the control hears
    // of the change once.
    auto notice = std::move(brush_->OnChange);
    if (!ATransparent && brush_->Color() != AColor) {
        BeforePropertyChange("Brush.Color");
        brush_->SetColor(AColor);
        PropertyChange();
    }
    if (ATransparent && brush_->Style() != bsClear) {
        BeforePropertyChange("Brush.Style");
        brush_->SetStyle(bsClear);
        PropertyChange();
    } else if (!ATransparent && brush_->Style() == bsClear) {
        BeforePropertyChange("Brush.Style");
        brush_->SetStyle(bsSolid);
        PropertyChange();
    }
    brush_->OnChange = std::move(notice);
    GraphicChanged();
}

void TrpCustomGraphic::SetLineColor(TColor AColor, bool ANone) {
    auto notice = std::move(pen_->OnChange);
    if (!ANone && pen_->Color() != AColor) {
        BeforePropertyChange("Pen.Color");
        pen_->SetColor(AColor);
        PropertyChange();
    }
    if (ANone && pen_->Style() != psClear) {
        BeforePropertyChange("Pen.Style");
        pen_->SetStyle(psClear);
        PropertyChange();
    } else if (!ANone && pen_->Style() == psClear) {
        BeforePropertyChange("Pen.Style");
        pen_->SetStyle(psSolid);
        PropertyChange();
    }
    pen_->OnChange = std::move(notice);
    GraphicChanged();
}

void TrpCustomGraphic::SetLineWidth(int Value) {
    auto notice = std::move(pen_->OnChange);
    pen_->SetWidth(Value);
    pen_->OnChange = std::move(notice);
    GraphicChanged();
}

// ---------------------------------------------------------------------------
// Shape

TrpShape::TrpShape(TComponent* AOwner) : TrpCustomGraphic(AOwner) {
    SetDrawCommandClass(TrpDrawShape::StaticClassType());
    SetDefaultPropName("Shape");
}

void TrpShape::SetShape(TShapeType Value) {
    if (!Loading()) BeforePropertyChange("Shape");
    shape_ = Value;
    GraphicChanged();
}

// A clear brush is what makes a shape transparent.
void TrpShape::GraphicChanged() {
    TrpCustomGraphic::GraphicChanged();
    const bool clear = Brush()->Style() == bsClear;
    if (Transparent() != clear) TrpCustomGraphic::SetTransparent(clear);
}

std::vector<std::string> TrpShape::GetChoiceList() const {
    std::vector<std::string> list;
    for (int n = 318; n <= 323; ++n) list.push_back(rpLanguageText(n));
    return list;
}

std::string TrpShape::GetDefaultPropHint() const { return rpLanguageText(118); }

TrpShape::Geometry TrpShape::CalcGeometry(TShapeType Shape, int PenWidth, int Width, int Height) {
    const int half = PenWidth / 2;
    Geometry g{half, half, half + Width - 2 * half, half + Height - 2 * half, 0};
    const int side = std::min(Width, Height);
    if (Shape == stSquare || Shape == stRoundSquare || Shape == stCircle) {
        const int dx = (Width - side) / 2;
        const int dy = (Height - side) / 2;
        g.Left += dx;
        g.Top += dy;
        g.Right -= dx;
        g.Bottom -= dy;
    }
    g.Radius = side / 4;
    return g;
}

const TrpShape::Placement& TrpShape::PlacementFor(int32_t Width, int32_t Height) {
    const int pen = Pen()->Width();
    const int ppiX = rpScreenPixelsPerInch(0);
    const int ppiY = rpScreenPixelsPerInch(1);
    Placement& p = placement_;
    if (p.Width == Width && p.Height == Height && p.PenWidth == pen && p.Shape == shape_ && p.PpiX == ppiX &&
        p.PpiY == ppiY)
        return p;
    const int width = MMToPixels(Width, 0);
    const int height = MMToPixels(Height, 1);
    const Geometry g = CalcGeometry(shape_, pen, width, height);
    p = Placement{Width,
                  Height,
                  pen,
                  shape_,
                  ppiX,
                  ppiY,
                  PixelsToMM(g.Left, 0),
                  PixelsToMM(g.Top, 1),
                  PixelsToMM(g.Right, 0),
                  PixelsToMM(g.Bottom, 1),
                  PixelsToMM(g.Radius, 0),
                  PixelsToMM(g.Radius, 1)};
    return p;
}

void TrpShape::PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) {
    TrpCustomGraphic::PropertiesToDrawCommand(DrawCommand);
    auto* command = DrawCommand != nullptr ? DrawCommand->AsDrawShape() : nullptr;
    if (command == nullptr) return;
    const TRect rect = PrintRect();
    const Placement& p = PlacementFor(rect.Right - rect.Left, rect.Bottom - rect.Top);
    const int32_t left = p.Left + rect.Left;
    const int32_t top = p.Top + rect.Top;
    const int32_t right = p.Right + rect.Left;
    const int32_t bottom = p.Bottom + rect.Top;
    command->SetBrush(Brush());
    command->SetPen(Pen());
    command->SetLeft(left);
    command->SetTop(top);
    command->SetHeight(bottom - top);
    command->SetWidth(right - left);
    command->SetXCornerRound(p.XRound);
    command->SetYCornerRound(p.YRound);
    TShapeType kind = shape_;
    if (kind == stSquare) kind = stRectangle;
    else if (kind == stRoundSquare) kind = stRoundRect;
    else if (kind == stCircle) kind = stEllipse;
    command->SetShapeType(kind);
}

// ---------------------------------------------------------------------------
// Line

TrpLine::TrpLine(TComponent* AOwner) : TrpCustomGraphic(AOwner) {
    Brush()->OnChange = nullptr;
    Brush()->SetStyle(bsClear);
    Brush()->OnChange = [this](TObject*) { GraphicChanged(); };
    TrpCustomGraphic::SetTransparent(true);
    StoremmBounds(mmLeft(), mmTop(), PixelsToMM(kGraphicSidePixels, 0), PixelsToMM(kLineHeightPixels, 1));
    SetDrawCommandClass(TrpDrawLine::StaticClassType());
    SetDefaultPropName("Position");
    cachedPenWidth_ = Pen()->Width();
}

void TrpLine::SetPosition(TrpLinePositionType Value) {
    if (Value == position_) return;
    if (!Loading()) BeforePropertyChange("Position");
    position_ = Value;
    GraphicChanged();
}

void TrpLine::SetStyle(TrpLineStyleType Value) {
    if (!Loading()) BeforePropertyChange("Style");
    style_ = Value;
    GraphicChanged();
}

void TrpLine::SetWeight(float Value) {
    if (Value == weight_) return;
    if (!Loading()) BeforePropertyChange("Weight");
    updatingWeight_ = true;
    weight_ = Value;
    const int width = static_cast<int>(rpRoundHalfEven(static_cast<long double>(rpScreenPixelsPerInch()) * Value / 72.0L));
    Pen()->SetWidth(width);
    cachedPenWidth_ = Pen()->Width();
    updatingWeight_ = false;
}

void TrpLine::GraphicChanged() {
    TrpCustomGraphic::GraphicChanged();
    if (updatingWeight_) return;
    if (Pen()->Width() != cachedPenWidth_) {
        cachedPenWidth_ = Pen()->Width();
        weight_ = static_cast<float>(Pen()->Width()) / static_cast<float>(rpScreenPixelsPerInch()) * 72.0f;
    }
}

std::vector<std::string> TrpLine::GetChoiceList() const {
    return {rpLanguageText(182), rpLanguageText(325), rpLanguageText(181), rpLanguageText(327)};
}

std::string TrpLine::GetDefaultPropHint() const { return rpLanguageText(117); }

void TrpLine::Convert(int Version) {
    TrpCustomGraphic::Convert(Version);
    if (Version < kLineWeightVersion)
        weight_ = static_cast<float>(Pen()->Width()) / static_cast<float>(rpScreenPixelsPerInch()) * 72.0f;
    cachedPenWidth_ = Pen()->Width();
}

void TrpLine::PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) {
    TrpCustomGraphic::PropertiesToDrawCommand(DrawCommand);
    auto* command = DrawCommand != nullptr ? DrawCommand->AsDrawLine() : nullptr;
    if (command == nullptr) return;
    const TRect rect = PrintRect();
    command->SetLineStyle(style_);
    command->SetLinePosition(position_);
    command->SetLeft(rect.Left);
    command->SetTop(rect.Top);
    command->SetHeight(rect.Bottom - rect.Top);
    command->SetWidth(rect.Right - rect.Left);
    command->SetPen(Pen());
    command->SetWeight(weight_);
}

namespace report_output {

void RegisterGraphicClasses() {
    RegisterClass(TrpCustomGraphic::StaticClassType());
    RegisterClass(TrpShape::StaticClassType());
    RegisterClass(TrpLine::StaticClassType());
}

void UnregisterGraphicClasses() {
    UnRegisterClass(TrpLine::StaticClassType());
    UnRegisterClass(TrpShape::StaticClassType());
    UnRegisterClass(TrpCustomGraphic::StaticClassType());
}

}  // namespace report_output
