#include "platform/gfx/Shapes.h"

#include <algorithm>
#include <cmath>

namespace gfx {

int RoundHalfEven(double Value) { return static_cast<int>(std::nearbyint(Value)); }

ShapeGeometry ShapeInBox(TShapeType Shape, int Width, int Height, int PenWidth) {
    int h = PenWidth / 2;
    ShapeGeometry g;
    g.Bounds = TRect{h, h, h + Width - 2 * h, h + Height - 2 * h};
    int m = std::min(Width, Height);
    if (Shape == stSquare || Shape == stRoundSquare || Shape == stCircle) {
        int dx = (Width - m) / 2, dy = (Height - m) / 2;
        g.Bounds.Left += dx;
        g.Bounds.Top += dy;
        g.Bounds.Right -= dx;
        g.Bounds.Bottom -= dy;
    }
    g.XRadius = g.YRadius = m / 4;
    switch (Shape) {
        case stSquare: g.Kind = stRectangle; break;
        case stRoundSquare: g.Kind = stRoundRect; break;
        case stCircle: g.Kind = stEllipse; break;
        default: g.Kind = Shape; break;
    }
    return g;
}

int PenWidthForWeight(double Points, int PixelsPerInch) { return RoundHalfEven(PixelsPerInch * Points / 72.0); }

double WeightForPenWidth(int PenWidth, int PixelsPerInch) {
    return PixelsPerInch > 0 ? PenWidth / static_cast<double>(PixelsPerInch) * 72.0 : 0.0;
}

bool NormalizeTextAngle(int Value, int& Angle) {
    if (Value >= -359 && Value <= -1) {
        Angle = Value + 360;
        return true;
    }
    if (Value >= 0 && Value <= 359) {
        Angle = Value;
        return true;
    }
    return false;
}

}  // namespace gfx
