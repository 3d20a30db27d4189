#pragma once
// Drawing pictures for devices: an off-screen canvas that matches a device,
// and bitmaps stretched onto a device with a raster operation. Printers and
// PDF (Qt's print engines) know no raster operations, so a "transparent"
// bitmap (SRCAND: black drawn over what is there) is drawn with its white
// pixels left out, on every device alike. There are no palettes: every
// device is true colour.
#include "platform/gfx/Canvas.h"
#include "platform/gfx/Pictures.h"

// An off-screen canvas of Width x Height device pixels at the device's
// resolution, white, whose fonts keep their point size at that resolution;
// RenderToDevice copies it onto the device.
class TrpDeviceCompatibleCanvas : private gfx::detail::ImageStore, public TCanvas {
public:
    TrpDeviceCompatibleCanvas(TCanvas* DeviceCanvas, int Width, int Height);
    // Copies the pixels into Rect of the device (stretched when Rect's size
    // differs) with RasterOp (SRCCOPY, SRCAND...).
    void RenderToDevice(const TRect& Rect, TCopyMode RasterOp);
    QImage& Image();

private:
    TCanvas* deviceCanvas_;
};

// The bitmap stretched into Rect with its white pixels transparent (RasterOp
// is not needed: every device of this system stretches).
void rpDrawTransparentBitmap(TCanvas* Canvas, const TRect& Rect, TBitmap* Bitmap, TCopyMode RasterOp);
// The bitmap stretched into Rect, nearest pixel, with RasterOp.
void rpStretchDrawDIB(TCanvas* Canvas, const TRect& Rect, TBitmap* Bitmap, TCopyMode RasterOp);
