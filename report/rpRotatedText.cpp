#include "report/rpRotatedText.h"

#include <cmath>
#include <numbers>

#include "report/rpTextLayout.h"
#include "report/rpUnits.h"

namespace {

double Round3(double V) { return std::nearbyint(V * 1000.0) / 1000.0; }

int32_t Round(double V) { return rpRoundHalfEven(static_cast<long double>(V)); }

// The origin's corner groups include 0 with the first quadrant.
int OriginGroup(int A) { return A <= 90 ? 1 : A <= 180 ? 2 : A <= 270 ? 3 : 4; }

}  // namespace

int TrpRotatedText::NormalAngle(int Angle) { return ((Angle % 360) + 360) % 360; }

int TrpRotatedText::Quadrant(int Angle) {
    const int a = NormalAngle(Angle);
    if (a >= 1 && a <= 90) return 1;
    if (a >= 91 && a <= 180) return 2;
    if (a >= 181 && a <= 270) return 3;
    return 4;
}

TSize TrpRotatedText::CalcTextExtent(TCanvas* Canvas, const std::string& Text, const TFont* Font,
                                     TrpTextAlignment Alignment, int Angle) {
    (void)Angle;  // the size is taken unturned; the angle only turns the box
    if (Font) Canvas->SetFont(*Font);
    unsigned flags = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS;
    if (Alignment == taRightJustified) flags |= DT_RIGHT;
    if (Alignment == taCentered) flags |= DT_CENTER;
    TRect r{};
    Canvas->DrawText(Text, r, flags);
    return TSize{rpCanvasPixelsToMM(Canvas, 0, r.Width()), rpCanvasPixelsToMM(Canvas, 1, r.Height())};
}

void TrpRotatedText::AlignTextRect(int Angle, TrpTextAlignment Alignment, int X, int Y, TRect& Rect,
                                   int ContainerWidth, int ContainerHeight, int Width, int Height) {
    const int dX = Width - ContainerWidth;
    const int dY = Height - ContainerHeight;
    const bool left = Alignment == taLeftJustified || Alignment == taFullJustified;
    if (Alignment == taCentered) {
        Rect.Left = X - dX / 2;
        Rect.Top = Y - dY / 2;
    } else {
        switch (Quadrant(Angle)) {
            case 1: Rect.Left = left ? X : X - dX; Rect.Top = left ? Y - dY : Y; break;
            case 2: Rect.Left = X - (left ? dX : 0); Rect.Top = left ? Y - dY : Y; break;
            case 3: Rect.Left = left ? X - dX : X; Rect.Top = left ? Y : Y - dY; break;
            default: Rect.Left = left ? X : X - dX; Rect.Top = left ? Y : Y - dY; break;
        }
    }
    Rect.Right = Rect.Left + Width;
    Rect.Bottom = Rect.Top + Height;
}

void TrpRotatedText::CalcOriginForAngle(TPoint Point, int Angle, TrpTextAlignment Alignment, TPoint& Origin,
                                        int Height, int Width) {
    const double d = Alignment == taCentered ? 2.0 : 1.0;
    const int w = Round(Width / d);
    const int h = Round(Height / d);
    switch (Quadrant(Angle)) {
        case 1: Origin = {Point.X - w, Point.Y + h}; break;
        case 2: Origin = {Point.X + w, Point.Y + h}; break;
        case 3: Origin = {Point.X + w, Point.Y - h}; break;
        default: Origin = {Point.X - w, Point.Y - h}; break;
    }
}

TrpTurnedBox TrpRotatedText::CalcTurnedBox(int32_t RW, int32_t RH, int32_t W, int32_t H, int Angle, bool WordWrap,
                                           int32_t BorderWeight) {
    const double rad = NormalAngle(Angle) * std::numbers::pi / 180.0;
    const double c = Round3(std::cos(rad));
    const double s = Round3(std::sin(rad));
    const double t = c == 0 ? 0 : Round3(std::tan(rad));
    TrpTurnedBox b;
    b.BoxW = RW;
    b.BoxH = RH;
    b.hc = H * c;
    b.hs = H * s;
    if (WordWrap) {
        b.TextLen = W;
        b.TextH = H;
        b.wc = W * c;
        b.ws = W * s;
    } else {
        if (RH >= RW) {
            if (c == 0) {
                b.wc = 0;
                b.ws = RH;
            } else {
                b.wc = RW - std::fabs(b.hs);
                b.ws = t * b.wc;
            }
            if (Round(std::fabs(b.hc) + std::fabs(b.ws)) > RH) {
                b.ws = RH - std::fabs(b.hc);
                b.wc = t != 0 ? b.ws / t : 0;
            }
        } else {
            b.ws = RH - std::fabs(b.hc);
            if (t != 0) {
                b.wc = b.ws / t;
            } else if (s == 0) {
                b.wc = RW;
                b.ws = 0;
            } else {
                b.wc = 0;
            }
            if (Round(std::fabs(b.wc) + std::fabs(b.hs)) > RW) {
                b.wc = RW - std::fabs(b.hs);
                b.ws = t * b.wc;
            }
        }
        b.TextLen = Round(std::sqrt(b.wc * b.wc + b.ws * b.ws));
        b.TextH = H;
    }
    b.ExtentX = Round(std::fabs(b.wc) + std::fabs(b.hs));
    b.ExtentY = Round(std::fabs(b.hc) + std::fabs(b.ws));
    if (WordWrap) {
        b.BoxW = b.ExtentX + 2 * BorderWeight;
        b.BoxH = b.ExtentY + 2 * BorderWeight;
    }
    if (b.TextLen == 0) b.TextLen = b.BoxW;
    // An empty text in an empty box has no direction to share out.
    b.RatioC = b.TextLen != 0 ? std::fabs(b.wc) / b.TextLen : 0;
    b.RatioS = b.TextLen != 0 ? std::fabs(b.ws) / b.TextLen : 0;
    return b;
}

TPoint TrpRotatedText::BoxOrigin(const TrpTurnedBox& B, int X, int Y, int32_t W, int Angle,
                                 TrpTextAlignment Alignment) {
    const int g = OriginGroup(NormalAngle(Angle));
    TPoint o;
    switch (g) {
        case 1: o = {X, Y + B.BoxH - Round(std::fabs(B.hc))}; break;
        case 2: o = {X + B.BoxW - Round(std::fabs(B.hs)), Y + B.BoxH}; break;
        case 3: o = {X + B.BoxW, Y + Round(std::fabs(B.hc))}; break;
        default: o = {X + Round(std::fabs(B.hs)), Y}; break;
    }
    if (Alignment != taRightJustified && Alignment != taCentered) return o;
    const double d = Alignment == taCentered ? 2.0 : 1.0;
    // The unused length along the text's direction, on each axis.
    const int ux = Round(std::fabs(B.wc) / d) - Round(W * B.RatioC / d);
    const int uy = Round(std::fabs(B.ws) / d) - Round(W * B.RatioS / d);
    switch (g) {
        case 1: o.X += ux; o.Y -= uy; break;
        case 2: o.X -= ux; o.Y -= uy; break;
        case 3: o.X -= ux; o.Y += uy; break;
        default: o.X += ux; o.Y += uy; break;
    }
    return o;
}

TrpRotatedPlacement TrpRotatedText::PlaceText(int32_t W, int32_t H, const TRect& Rect, int32_t BorderWeight,
                                              TrpTextAlignment Alignment, bool WordWrap, int Angle, bool PlaceBox) {
    TrpRotatedPlacement p;
    p.Box = CalcTurnedBox(Rect.Width(), Rect.Height(), W, H, Angle, WordWrap, BorderWeight);
    p.Rect = Rect;
    TPoint at{Rect.Left, Rect.Top};
    if (PlaceBox) {
        if (WordWrap) {
            AlignTextRect(Angle, Alignment, Rect.Left, Rect.Top, p.Rect, Rect.Width(), Rect.Height(), p.Box.BoxW,
                          p.Box.BoxH);
            at = {p.Rect.Left, p.Rect.Top};
        } else {
            p.Rect = TRect{Rect.Left, Rect.Top, p.Box.BoxW, p.Box.BoxH};
        }
    }
    p.Origin = BoxOrigin(p.Box, at.X, at.Y, W, Angle, Alignment);
    return p;
}

namespace {
int32_t ShownWeight(const TrpBorder* Border) { return Border && Border->Visible() ? Border->mmWeight() : 0; }
}  // namespace

TrpRotatedPlacement TrpRotatedText::CalcTextBounds(TCanvas* Canvas, const std::string& Text, const TFont* Font,
                                                   const TRect& Rect, const TrpBorder* Border,
                                                   TrpTextAlignment Alignment, bool WordWrap, int Angle) {
    const TSize size = CalcTextExtent(Canvas, Text, Font, Alignment, Angle);
    return PlaceText(size.cx, size.cy, Rect, ShownWeight(Border), Alignment, WordWrap, Angle, false);
}

TrpRotatedPlacement TrpRotatedText::CalcTextRect(TCanvas* Canvas, const std::string& Text, const TFont* Font,
                                                 const TRect& Rect, const TrpBorder* Border,
                                                 TrpTextAlignment Alignment, bool WordWrap, int Angle) {
    const TSize size = CalcTextExtent(Canvas, Text, Font, Alignment, Angle);
    return PlaceText(size.cx, size.cy, Rect, ShownWeight(Border), Alignment, WordWrap, Angle, true);
}
