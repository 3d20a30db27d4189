#pragma once
// The geometry rules of the report's shapes, lines and turned texts, in one
// place for the controls that fill draw commands and the devices that draw
// them.
#include "platform/gfx/Graphics.h"

// The shape kinds of shape controls, in the class library's order.
enum TShapeType { stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle };

namespace gfx {

// Rounds to the nearest integer, halves to the even one (the rounding of
// the report's conversions).
int RoundHalfEven(double Value);

struct ShapeGeometry {
    TRect Bounds;     // inside the control's box, in its pixels
    int XRadius = 0;  // corner radii of rounded shapes
    int YRadius = 0;
    TShapeType Kind = stRectangle;  // squares and circles in their general form
};

// Where a shape of that kind lies in a control Width x Height pixels with a
// pen PenWidth wide: the pen's half width in from every side, squares and
// circles centred on the shorter side, corner radii a quarter of it. A
// 100 x 40 circle with pen 3: an ellipse at (31, 1), 38 x 38, radii 10.
ShapeGeometry ShapeInBox(TShapeType Shape, int Width, int Height, int PenWidth);

// A line's weight in points as a pen width in pixels at a resolution, and
// back.
int PenWidthForWeight(double Points, int PixelsPerInch);
double WeightForPenWidth(int PenWidth, int PixelsPerInch);

// A text angle as given (degrees) to the stored one: -359..-1 turn into
// 1..359, 0..359 stay; any other value is refused (false, Angle unchanged).
bool NormalizeTextAngle(int Value, int& Angle);

}  // namespace gfx
