#pragma once
// Reading rendered symbols back with ZXing, an independent decoder: the
// image gets a white margin and is read as grey levels.
#define ZX_USE_UTF8 1
#include <QImage>
#include <QPainter>
#include <ZXing/ReadBarcode.h>
#include <string>

namespace barcodetest {

struct Decoded {
    bool Valid = false;
    std::string Text;   // UTF-8
    std::string Bytes;  // the message's bytes
    std::string Format;
};

inline Decoded Decode(const QImage& Image, ZXing::BarcodeFormats Formats, bool Pure = false, int Margin = 40) {
    QImage framed(Image.width() + 2 * Margin, Image.height() + 2 * Margin, QImage::Format_Grayscale8);
    framed.fill(255);
    {
        QPainter p(&framed);
        p.drawImage(Margin, Margin, Image.convertToFormat(QImage::Format_Grayscale8));
    }
    ZXing::DecodeHints hints;
    hints.setFormats(Formats);
    hints.setTryHarder(true);
    hints.setIsPure(Pure);
    hints.setEanAddOnSymbol(ZXing::EanAddOnSymbol::Read);
    const auto r = ZXing::ReadBarcode(
        ZXing::ImageView(framed.constBits(), framed.width(), framed.height(), ZXing::ImageFormat::Lum,
                         static_cast<int>(framed.bytesPerLine())),
        hints);
    Decoded d;
    d.Valid = r.isValid();
    d.Text = r.text();
    d.Bytes.assign(r.bytes().begin(), r.bytes().end());
    d.Format = ZXing::ToString(r.format());
    return d;
}

}  // namespace barcodetest
