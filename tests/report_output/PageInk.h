#pragma once
// Pictures of printed pages as a reader sees them: a page written to PDF
// and rasterised by pdftoppm, or drawn by the screen device at a zoom, and
// the ink found inside a box of either.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <QImage>

#include "report/rpPage.h"
#include "report_output/rpPDFDevice.h"
#include "report_output/rpScreenDevice.h"
#include "tests/report_output/PdfTestSupport.h"

namespace pageink {

// The box of the dark pixels of Image within Region; empty when none.
inline QRect InkBox(const QImage& Image, const QRect& Region) {
    int l = INT_MAX, t = INT_MAX, r = -1, b = -1;
    const QRect area = Region.intersected(Image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(Image.pixel(x, y)) < 160) {
                l = std::min(l, x);
                t = std::min(t, y);
                r = std::max(r, x);
                b = std::max(b, y);
            }
    return r < 0 ? QRect() : QRect(QPoint(l, t), QPoint(r, b));
}

inline int InkCount(const QImage& Image, const QRect& Region) {
    int n = 0;
    const QRect area = Region.intersected(Image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(Image.pixel(x, y)) < 160) ++n;
    return n;
}

// A shape's outline as its ink shows it: its box, and how far its top and
// left sides run along the box's edge (a sharp corner runs the whole side,
// a rounded one stops short by about its radius, an ellipse touches only).
struct Outline {
    QRect Box;
    int TopRun = 0, LeftRun = 0;
};

inline Outline OutlineOf(const QImage& Image, const QRect& Region) {
    Outline o;
    o.Box = InkBox(Image, Region);
    if (o.Box.isNull()) return o;
    o.TopRun = InkBox(Image, QRect(o.Box.left(), o.Box.top(), o.Box.width(), 1)).width();
    o.LeftRun = InkBox(Image, QRect(o.Box.left(), o.Box.top(), 1, o.Box.height())).height();
    return o;
}

// A length in thousandths of a millimetre as pixels at Dpi.
inline int Px(int Thousandths, double Dpi) { return static_cast<int>(std::lround(Thousandths / 25400.0 * Dpi)); }

// The box of a command in pixels of a picture at Dpi, grown by Margin.
inline QRect BoxOf(const TrpDrawCommand* C, double Dpi, int Margin = 0) {
    return QRect(Px(C->Left(), Dpi) - Margin, Px(C->Top(), Dpi) - Margin, Px(C->Width(), Dpi) + 2 * Margin,
                 Px(C->Height(), Dpi) + 2 * Margin);
}

// The pages written to a PDF file in Dir.
inline std::string WritePdf(const std::vector<TrpPage*>& Pages, const std::string& File) {
    TrpPDFDevice device(nullptr);
    device.SetFileName(File);
    device.StartJob();
    for (TrpPage* p : Pages) device.ReceivePage(p);
    device.EndJob();
    return File;
}

// Page PageNo (from 1) of File as pdftoppm draws it at Dpi, in grey.
inline QImage PdfPicture(const std::string& File, int PageNo, int Dpi) {
    const std::string base = File + ".p" + std::to_string(PageNo);
    filetest::Shell("pdftoppm -r " + std::to_string(Dpi) + " -gray -png -singlefile -f " + std::to_string(PageNo) +
                    " -l " + std::to_string(PageNo) + " " + File + " " + base);
    return QImage(QString::fromStdString(base + ".png"));
}

inline std::string PdfText(const std::string& File, const std::string& Options = "") {
    return filetest::Shell("pdftotext " + Options + " " + File + " -").Output;
}

// A viewer box showing a page at a zoom setting.
class ZoomViewer : public TrpScreenViewer {
public:
    ZoomViewer(TrpZoomSettingType Setting, int Percentage, int Width = 1000, int Height = 700)
        : setting_(Setting), percentage_(Percentage), width_(Width), height_(Height) {}
    int BoxWidth() const override { return width_; }
    int BoxHeight() const override { return height_; }
    TrpZoomSettingType ViewerZoomSetting() const override { return setting_; }
    int ViewerZoomPercentage() const override { return percentage_; }
    TColor ViewerColor() const override { return clBtnShadow; }
    TColor ViewerPageColor() const override { return clWhite; }
    TrpProducer* ViewerReport() const override { return nullptr; }
    bool PaintBoxVisible() const override { return true; }
    void ShowPaintBox() override {}
    void ShowScrollBox() override {}
    void LockUpdates(bool) override {}
    void CopyToPaintBox(const TRect&) override {}
    void UpdateScrollBars() override {}
    void RepaintViewer() override {}
    void StatusChanged() override {}
    void PageChanged() override {}
    void ReportGone() override {}

private:
    TrpZoomSettingType setting_;
    int percentage_, width_, height_;
};

// The page as the preview draws it at a zoom: the page's own pixels only,
// and the pixels per inch they stand for.
struct ScreenShot {
    QImage Image;
    double Dpi = 96;
};

inline ScreenShot ScreenPicture(TrpPage* Page, TrpZoomSettingType Setting, int Percentage) {
    ZoomViewer viewer(Setting, Percentage);
    TrpScreenDevice device(nullptr);
    device.SetViewer(&viewer);
    device.CurrentPage()->Assign(Page);
    device.DisplayPage();
    ScreenShot shot;
    shot.Image = device.PageImage()->copy(device.OffsetX(), device.OffsetY(), device.PageWidth(), device.PageHeight());
    shot.Dpi = device.PixelsPerInch(0) * device.ScaleX();
    device.SetViewer(nullptr);
    return shot;
}

// The zooms a reader looks at a page in: 50, 75, 100 and 200 % and the
// whole page.
struct Zoom {
    TrpZoomSettingType Setting;
    int Percentage;
    const char* Name;
};

inline const std::vector<Zoom>& ReaderZooms() {
    static const std::vector<Zoom> zooms = {{zsPercentage, 50, "50"},   {zsPercentage, 75, "75"},
                                            {zsPercentage, 100, "100"}, {zsPercentage, 200, "200"},
                                            {zsWholePage, 0, "whole"}};
    return zooms;
}

// Keeps a picture for a person to look at, when FAT_SHOTS names a folder.
inline void Keep(const QImage& Image, const std::string& Name) {
    const char* dir = std::getenv("FAT_SHOTS");
    if (dir != nullptr && *dir != 0) Image.save(QString::fromStdString(std::string(dir) + "/" + Name));
}

}  // namespace pageink
