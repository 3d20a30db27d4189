#include "report/rpBorder.h"

#include <memory>

#include "report/rpUnits.h"

TClass TrpFont::StaticClassType() {
    // The same properties as a font, with the size stored instead of the height.
    static const TClassInfo info = TClassBuilder<TrpFont>("TrpFont", TFont::StaticClassType())
                                       .Integer("Height", &TrpFont::Height, &TrpFont::SetStoredHeight)
                                       .NotStored()
                                       .Integer("Size", &TrpFont::Size, &TrpFont::SetSize)
                                       .Build();
    return &info;
}

namespace {

const TTypeInfo* BorderPositionsType() {
    static const TTypeInfo* t = typinfo::Intern(
        std::make_shared<TTypeInfo>(MakeSetTypeInfo("TrpBorderPositions", *rpTypeInfo<TrpBorderPositionType>())));
    return t;
}

}  // namespace

TClass TrpBorder::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpBorder>("TrpBorder", TPersistent::StaticClassType())
            .Set("BorderPositions", BorderPositionsType(), &TrpBorder::BorderPositions, &TrpBorder::SetBorderPositions, 0)
            .Ordinal("Color", TypeInfoColor(), &TrpBorder::Color, &TrpBorder::SetColor, clBlack)
            .Enum("Style", TypeInfoPenStyle(), &TrpBorder::Style, &TrpBorder::SetStyle, psSolid)
            .Boolean("Visible", &TrpBorder::Visible, &TrpBorder::SetVisible, 0)
            .Float("Weight", &TrpBorder::Weight, &TrpBorder::SetWeight, TypeInfoSingle())
            .Build();
    return &info;
}

void TrpBorder::Changed() {
    if (OnChange) OnChange(this);
}

void TrpBorder::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TrpBorder*>(Source);
    if (other == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    SetBorderPositions(other->positions_);
    SetColor(other->color_);
    SetStyle(other->style_);
    SetVisible(other->visible_);
    SetWeight(other->weight_);
}

void TrpBorder::SetBorderPositions(TrpBorderPositions Value) {
    if (Value == positions_) return;
    previous_ = positions_;
    positions_ = Value;
    Changed();
}

void TrpBorder::SetColor(TColor Value) {
    if (Value == color_) return;
    color_ = Value;
    Changed();
}

void TrpBorder::SetStyle(TPenStyle Value) {
    if (Value == style_) return;
    style_ = Value;
    Changed();
}

void TrpBorder::SetVisible(bool Value) {
    if (Value == visible_) return;
    visible_ = Value;
    Changed();
}

void TrpBorder::SetWeight(float Value) {
    if (Value == weight_) return;
    weight_ = Value;
    Changed();
}

int32_t TrpBorder::mmWeight() const {
    return rpToMMThousandths(utInches, 0, nullptr, static_cast<float>(static_cast<long double>(weight_) / 72));
}

int TrpBorder::spWeight() const {
    const int32_t pixels = rpRoundHalfEven(static_cast<long double>(rpScreenPixelsPerInch(0)) * weight_ / 72);
    return pixels == 0 ? 1 : pixels;
}

TPoint rpBorderAdjustedOrigin(const TrpBorder& Border, int Angle, int X, int Y, const TObject* Printer) {
    int wx = Border.spWeight();
    int wy = wx;
    if (const auto* device = dynamic_cast<const TrpDeviceResolution*>(Printer)) {
        wx = rpRoundHalfEven(static_cast<long double>(device->PixelsPerInch(0)) * Border.Weight() / 72);
        wy = rpRoundHalfEven(static_cast<long double>(device->PixelsPerInch(1)) * Border.Weight() / 72);
    }
    const TrpBorderPositions p = Border.BorderPositions();
    if (Angle >= 1 && Angle <= 90) {
        if (p.Contains(bpLeft)) X += wx;
        if (p.Contains(bpBottom)) Y -= wy;
    } else if (Angle >= 91 && Angle <= 180) {
        if (p.Contains(bpRight)) X -= wx;
        if (p.Contains(bpBottom)) Y -= wy;
    } else if (Angle >= 181 && Angle <= 270) {
        if (p.Contains(bpRight)) X -= wx;
        if (p.Contains(bpTop)) Y += wy;
    } else {
        if (p.Contains(bpLeft)) X += wx;
        if (p.Contains(bpTop)) Y += wy;
    }
    return TPoint{X, Y};
}

namespace report {

void RegisterBorderClasses() {
    RegisterClass(TrpFont::StaticClassType());
    RegisterClass(TrpBorder::StaticClassType());
}

void UnregisterBorderClasses() {
    UnRegisterClass(TrpBorder::StaticClassType());
    UnRegisterClass(TrpFont::StaticClassType());
}

}  // namespace report
