#include "platform/gfx/DeviceCanvas.h"

TrpDeviceCompatibleCanvas::TrpDeviceCompatibleCanvas(TCanvas* DeviceCanvas, int Width, int Height)
    : gfx::detail::ImageStore(Width, Height, DeviceCanvas->PixelsPerInchX(), DeviceCanvas->PixelsPerInchY()),
      TCanvas(device.get()),
      deviceCanvas_(DeviceCanvas) {
    // The device's font at the device's resolution, same point size.
    SetFont(*DeviceCanvas->Font());
    Font()->SetPixelsPerInch(DeviceCanvas->PixelsPerInchY());
}

QImage& TrpDeviceCompatibleCanvas::Image() {
    device->Flush();
    return image;
}

void TrpDeviceCompatibleCanvas::RenderToDevice(const TRect& Rect, TCopyMode RasterOp) {
    deviceCanvas_->DrawImage(Rect, Image(), RasterOp);
}

void rpDrawTransparentBitmap(TCanvas* Canvas, const TRect& Rect, TBitmap* Bitmap, TCopyMode) {
    if (Canvas == nullptr || Bitmap == nullptr || Bitmap->Empty()) return;
    Canvas->DrawImage(Rect, Bitmap->Image(), SRCAND);
}

void rpStretchDrawDIB(TCanvas* Canvas, const TRect& Rect, TBitmap* Bitmap, TCopyMode RasterOp) {
    if (Canvas == nullptr || Bitmap == nullptr || Bitmap->Empty()) return;
    Canvas->DrawImage(Rect, Bitmap->Image(), RasterOp);
}
