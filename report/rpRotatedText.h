#pragma once
// Where rotated text goes. Every device (screen, printer, PDF) asks these
// functions where to put a turned text and how large its box is, so that
// all of them place it alike; drawing it is the graphics layer's.
//
// Angles are whole degrees counter-clockwise, taken modulo 360. The text is
// measured unturned (W and H) and the turned box is worked out from the
// sine, cosine and tangent rounded to three decimals; every rounding to a
// whole length is to nearest with halves to even, except the centring in
// TrpRotatedText::AlignTextRect, whose halves go toward zero. Lengths are in
// whatever unit the caller passes (thousandths of a millimetre or pixels).
#include <cstdint>
#include <string>

#include "platform/gfx/Canvas.h"
#include "report/rpBorder.h"
#include "report/rpTypes.h"

// The turned text box: the box's size, the text's length along its
// direction and its height, the extents the turned text covers, and the
// text's projections on the axes (hc = H cos, hs = H sin, wc and ws the
// length's) with their shares of the text's length.
struct TrpTurnedBox {
    int32_t BoxW = 0, BoxH = 0;
    int32_t TextLen = 0, TextH = 0;
    int32_t ExtentX = 0, ExtentY = 0;
    double hc = 0, ws = 0, wc = 0, hs = 0, RatioC = 0, RatioS = 0;
};

// A turned text placed in a rectangle: the box, the point the text is
// drawn from and the rectangle it is drawn in.
struct TrpRotatedPlacement {
    TrpTurnedBox Box;
    TPoint Origin;
    TRect Rect;
};

class TrpRotatedText {
public:
    // 0..359.
    static int NormalAngle(int Angle);
    // 1: 1-90, 2: 91-180, 3: 181-270, 4: 0 and 271-359.
    static int Quadrant(int Angle);
    // The unturned size of Text in Font, in thousandths of a millimetre
    // (with the canvas's resolution).
    static TSize CalcTextExtent(TCanvas* Canvas, const std::string& Text, const TFont* Font,
                                TrpTextAlignment Alignment, int Angle);
    // A rectangle of Width x Height placed at (X, Y) against a container,
    // by quadrant and alignment.
    static void AlignTextRect(int Angle, TrpTextAlignment Alignment, int X, int Y, TRect& Rect, int ContainerWidth,
                              int ContainerHeight, int Width, int Height);
    // Point moved by the text's size by quadrant (by half of it when
    // centred).
    static void CalcOriginForAngle(TPoint Point, int Angle, TrpTextAlignment Alignment, TPoint& Origin, int Height,
                                   int Width);
    // The turned box of a W x H text in a RW x RH rectangle. BorderWeight is
    // added around a word-wrapped box (0 for none).
    static TrpTurnedBox CalcTurnedBox(int32_t RW, int32_t RH, int32_t W, int32_t H, int Angle, bool WordWrap,
                                      int32_t BorderWeight);
    // The origin of a W-wide text in Box placed at (X, Y).
    static TPoint BoxOrigin(const TrpTurnedBox& Box, int X, int Y, int32_t W, int Angle, TrpTextAlignment Alignment);

    // Measures Text and places it in Rect: the box and its origin, with
    // the border's weight around a word-wrapped box when it is shown.
    // Rect.Left/Top is where the box goes; Placement.Rect is Rect.
    static TrpRotatedPlacement CalcTextBounds(TCanvas* Canvas, const std::string& Text, const TFont* Font,
                                              const TRect& Rect, const TrpBorder* Border,
                                              TrpTextAlignment Alignment, bool WordWrap, int Angle);
    // As CalcTextBounds, with the drawing rectangle: without word wrap the
    // point and the box's size (Right = BoxW, Bottom = BoxH); with word wrap
    // the box placed in Rect as AlignTextRect places it, the origin then
    // taken from the placed box.
    static TrpRotatedPlacement CalcTextRect(TCanvas* Canvas, const std::string& Text, const TFont* Font,
                                            const TRect& Rect, const TrpBorder* Border, TrpTextAlignment Alignment,
                                            bool WordWrap, int Angle);
    // The same from a measured text (W x H), for callers that measured it.
    static TrpRotatedPlacement PlaceText(int32_t W, int32_t H, const TRect& Rect, int32_t BorderWeight,
                                         TrpTextAlignment Alignment, bool WordWrap, int Angle, bool PlaceBox);
};
