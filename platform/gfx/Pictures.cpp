#include "platform/gfx/Pictures.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Strings.h"

namespace {

std::uint32_t LE32(const std::string& s, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}

std::uint16_t LE16(const std::string& s, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                      static_cast<unsigned char>(s[at + 1]) << 8);
}

std::string PutLE32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

[[noreturn]] void Invalid(const char* what) {
    throw EInvalidGraphic(std::string("Imagem ") + what + " inválida ou danificada");
}

constexpr int kMaxSide = 32767;
constexpr std::int64_t kMaxPixels = std::int64_t{64} * 1024 * 1024;

QImage Normalised(QImage img) {
    return img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

std::string EncodeBmp(const QImage& image) {
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    QImageWriter w(&buf, "BMP");
    if (!w.write(image.convertToFormat(QImage::Format_RGB32)))
        throw EInvalidGraphicOperation("Não foi possível gravar a imagem");
    return std::string(out.constData(), static_cast<std::size_t>(out.size()));
}

}  // namespace

// ---------------------------------------------------------------------------
// TGraphic

TClass TGraphic::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TGraphic>("TGraphic", TPersistent::StaticClassType()).Build();
    return &info;
}

QImage TGraphic::DecodeImage(const std::string& File, const char* Format, const char* What) {
    QByteArray bytes = QByteArray::fromRawData(File.data(), static_cast<qsizetype>(File.size()));
    QBuffer buf(&bytes);
    buf.open(QIODevice::ReadOnly);
    QImageReader reader(&buf, Format);
    reader.setAutoTransform(false);
    QSize size = reader.size();
    if (size.isValid() && (size.width() > kMaxSide || size.height() > kMaxSide ||
                           static_cast<std::int64_t>(size.width()) * size.height() > kMaxPixels))
        Invalid(What);
    QImage img;
    if (!reader.read(&img) || img.isNull()) Invalid(What);
    return img;
}

void TGraphic::Assign(TPersistent* Source) {
    auto* g = dynamic_cast<TGraphic*>(Source);
    if (g != nullptr && g->ClassType() == ClassType()) {
        if (g == this) return;
        transparent_ = g->transparent_;
        SetContent(g->content_);
        return;
    }
    TPersistent::Assign(Source);
}

bool TGraphic::Empty() const { return content_ == nullptr && Image().isNull(); }
int TGraphic::Width() const { return content_ ? content_->width : 0; }
int TGraphic::Height() const { return content_ ? content_->height : 0; }

void TGraphic::SetTransparent(bool Value) {
    if (Value == transparent_) return;
    transparent_ = Value;
    Changed();
}

void TGraphic::SetContent(std::shared_ptr<const Content> Value) {
    content_ = std::move(Value);
    Changed();
}

void TGraphic::Changed() {
    if (OnChange) OnChange(this);
}

QImage TGraphic::Image() const { return content_ ? content_->image : QImage(); }

const std::string& TGraphic::FileBytes() const {
    static const std::string none;
    return content_ ? content_->file : none;
}

void TGraphic::LoadFromStream(TStream& Stream) {
    std::string file = Stream.ReadAllBytes();
    if (file.empty()) {
        SetContent(nullptr);
        return;
    }
    SetContent(Decode(std::move(file)));
}

void TGraphic::SaveToStream(TStream& Stream) { Stream.WriteBytes(FileBytes()); }

void TGraphic::LoadFromFile(const std::string& FileName) {
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(f);
}

void TGraphic::SaveToFile(const std::string& FileName) {
    TFileStream f(FileName, fmCreate);
    SaveToStream(f);
}

void TGraphic::ReadData(TStream& Stream) {
    std::string rest = Stream.ReadAllBytes();
    std::string file;
    bool found = false;
    bool prefixed = rest.size() >= 4 && LE32(rest, 0) <= rest.size() - 4;
    if (DataHasLength()) {
        if (prefixed) {
            file = rest.substr(4, LE32(rest, 0));
            found = file.empty() || HasSignature(file);
        }
        if (!found && HasSignature(rest)) {  // written without its length
            file = rest;
            found = true;
        }
    } else {
        if (HasSignature(rest)) {
            file = rest;
            found = true;
        } else if (prefixed && LE32(rest, 0) == rest.size() - 4 && HasSignature(rest.substr(4))) {
            file = rest.substr(4);
            found = true;
        }
    }
    if (!found) throw EInvalidGraphic(std::string("Dados de imagem truncados ou danificados (") + ClassName() + ")");
    if (file.empty()) {
        SetContent(nullptr);
        return;
    }
    auto decoded = Decode(std::move(file));
    auto content = std::make_shared<Content>(*decoded);
    content->data = std::move(rest);
    SetContent(std::move(content));
}

void TGraphic::WriteData(TStream& Stream) {
    if (content_ && !content_->data.empty()) {
        Stream.WriteBytes(content_->data);
        return;
    }
    std::string file;
    {
        TStringStream s;
        SaveToStream(s);
        file = s.DataString();
    }
    if (DataHasLength()) Stream.WriteBytes(PutLE32(static_cast<std::uint32_t>(file.size())));
    Stream.WriteBytes(file);
}

void TGraphic::Draw(TCanvas* Canvas, const TRect& R) {
    QImage img = Image();
    if (Canvas == nullptr || img.isNull()) return;
    Canvas->DrawImage(R, img, Canvas->CopyMode());
}


std::shared_ptr<TGraphic::Content> TGraphic::PixelsContent(QImage Image, std::string File, int Bits) {
    auto c = std::make_shared<Content>();
    c->image = std::move(Image);
    c->width = c->image.width();
    c->height = c->image.height();
    c->bits = Bits;
    c->file = std::move(File);
    return c;
}

// ---------------------------------------------------------------------------
// TBitmap

struct TBitmap::Paint {
    QImage image;
    std::unique_ptr<gfx::ImageDevice> device;
    std::unique_ptr<TCanvas> canvas;
};

TClass TBitmap::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TBitmap>("TBitmap", TGraphic::StaticClassType()).Build();
    return &info;
}

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
    if (paint_ && paint_->device) paint_->device->Flush();
}

bool TBitmap::HasSignature(const std::string& File) const { return File.size() >= 2 && File[0] == 'B' && File[1] == 'M'; }

std::shared_ptr<const TGraphic::Content> TBitmap::Decode(std::string File) const {
    // The headers are checked here, so that a length that runs past the end
    // of the file is refused before any pixel is read.
    if (File.size() < 26 || !HasSignature(File)) Invalid("BMP");
    std::uint32_t headerSize = LE32(File, 14);
    if (headerSize < 12 || headerSize > File.size() - 14) Invalid("BMP");
    std::int64_t width, height;
    int bits;
    std::uint32_t compression = 0;
    if (headerSize == 12) {
        width = LE16(File, 18);
        height = static_cast<std::int16_t>(LE16(File, 20));
        bits = LE16(File, 24);
    } else {
        if (headerSize < 40) Invalid("BMP");
        width = static_cast<std::int32_t>(LE32(File, 18));
        height = static_cast<std::int32_t>(LE32(File, 22));
        bits = LE16(File, 28);
        compression = LE32(File, 30);
    }
    std::int64_t rows = std::llabs(height);
    if (width <= 0 || rows == 0 || width > kMaxSide || rows > kMaxSide || width * rows > kMaxPixels) Invalid("BMP");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) Invalid("BMP");
    if (compression == 0 || compression == 3) {
        std::int64_t rowBytes = ((width * bits + 31) / 32) * 4;
        std::int64_t offset = LE32(File, 10);
        if (offset > static_cast<std::int64_t>(File.size()) || rowBytes * rows > static_cast<std::int64_t>(File.size()) - offset)
            Invalid("BMP");
    }
    QImage image = Normalised(DecodeImage(File, "BMP", "BMP"));
    return PixelsContent(std::move(image), std::move(File), bits);
}

void TBitmap::Assign(TPersistent* Source) {
    if (Source == this) return;
    if (auto* b = dynamic_cast<TBitmap*>(Source)) {
        pixelFormat_ = b->pixelFormat_;
        transparentColor_ = b->transparentColor_;
        SetTransparent(b->Transparent());
        paint_.reset();
        if (b->paint_) {
            SetContent(PixelsContent(b->Image(), {}, 24));
        } else {
            SetContent(b->GetContent());
        }
        return;
    }
    if (auto* g = dynamic_cast<TGraphic*>(Source)) {
        // Another kind of picture: its pixels become the bitmap's.
        paint_.reset();
        QImage img = g->Image();
        if (img.isNull()) {
            SetContent(nullptr);
            return;
        }
        SetContent(PixelsContent(img, {}, 24));
        return;
    }
    TGraphic::Assign(Source);
}

int TBitmap::Width() const { return paint_ ? paint_->image.width() : TGraphic::Width(); }
int TBitmap::Height() const { return paint_ ? paint_->image.height() : TGraphic::Height(); }

QImage TBitmap::Image() const {
    if (paint_) {
        if (paint_->device) paint_->device->Flush();
        return paint_->image;
    }
    return TGraphic::Image();
}

int TBitmap::BitsPerPixel() const {
    if (paint_ || !GetContent()) {
        switch (pixelFormat_) {
            case pf1bit: return 1;
            case pf4bit: return 4;
            case pf8bit: return 8;
            case pf15bit:
            case pf16bit: return 16;
            case pf32bit: return 32;
            default: return 24;
        }
    }
    return GetContent()->bits;
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
    if (Value == pixelFormat_) return;
    pixelFormat_ = Value;
    Changed();
}

TColor TBitmap::TransparentColor() const {
    if (transparentColor_ != clDefault) return transparentColor_;
    QImage img = Image();
    if (img.isNull()) return clDefault;
    QRgb v = img.pixel(0, img.height() - 1);
    return static_cast<TColor>(qRed(v) | (qGreen(v) << 8) | (qBlue(v) << 16));
}

void TBitmap::SetTransparentColor(TColor Value) {
    if (Value == transparentColor_) return;
    transparentColor_ = Value;
    Changed();
}

void TBitmap::MakeOwn() {
    if (paint_) return;
    auto p = std::make_unique<Paint>();
    QImage current = TGraphic::Image();
    p->image = current.isNull() ? QImage() : current.copy();
    paint_ = std::move(p);
}

void TBitmap::SetSize(int NewWidth, int NewHeight) {
    NewWidth = std::clamp(NewWidth, 0, kMaxSide);
    NewHeight = std::clamp(NewHeight, 0, kMaxSide);
    if (NewWidth == Width() && NewHeight == Height()) return;
    MakeOwn();
    // The canvas stays valid: its device paints the new pixels from now on.
    if (paint_->device) paint_->device->Flush();
    QImage old = paint_->image;
    if (NewWidth == 0 || NewHeight == 0) {
        paint_->image = QImage();
    } else {
        QImage img(NewWidth, NewHeight, old.isNull() ? QImage::Format_RGB32 : old.format());
        img.fill(Qt::white);
        img.setDotsPerMeterX(3780);  // 96 dpi
        img.setDotsPerMeterY(3780);
        if (!old.isNull()) {
            QPainter p(&img);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.drawImage(0, 0, old);
        }
        paint_->image = img;
    }
    SetContent(nullptr);
}

void TBitmap::SetWidth(int Value) { SetSize(Value, Height()); }
void TBitmap::SetHeight(int Value) { SetSize(Width(), Value); }

TCanvas* TBitmap::Canvas() {
    MakeOwn();
    if (!paint_->canvas) {
        if (paint_->image.isNull()) {
            // A canvas needs pixels: an empty bitmap draws into a 1 x 1 white
            // one until it is sized.
            paint_->image = QImage(1, 1, QImage::Format_RGB32);
            paint_->image.fill(Qt::white);
        }
        if (paint_->image.dotsPerMeterX() <= 0) {
            paint_->image.setDotsPerMeterX(3780);
            paint_->image.setDotsPerMeterY(3780);
        }
        paint_->device = std::make_unique<gfx::ImageDevice>(&paint_->image);
        paint_->canvas = std::make_unique<TCanvas>(paint_->device.get());
        SetContent(nullptr);  // the pixels are the bitmap's own from now on
    }
    return paint_->canvas.get();
}

void TBitmap::SaveToStream(TStream& Stream) {
    if (!paint_ && !FileBytes().empty()) {
        Stream.WriteBytes(FileBytes());
        return;
    }
    QImage img = Image();
    if (img.isNull()) return;
    Stream.WriteBytes(EncodeBmp(img));
}

void TBitmap::Draw(TCanvas* Canvas, const TRect& R) {
    QImage img = Image();
    if (Canvas == nullptr || img.isNull()) return;
    if (Transparent()) {
        TColor t = TransparentColor();
        QRgb key = qRgb(t & 0xFF, (t >> 8) & 0xFF, (t >> 16) & 0xFF) & 0x00FFFFFFu;
        QImage masked = img.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < masked.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
            for (int x = 0; x < masked.width(); ++x)
                if ((line[x] & 0x00FFFFFFu) == key) line[x] = 0;
        }
        Canvas->DrawImage(R, masked, SRCCOPY);
        return;
    }
    Canvas->DrawImage(R, img, Canvas->CopyMode());
}

// ---------------------------------------------------------------------------
// Icons, JPEG, GIF, PNG

TClass TIcon::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TIcon>("TIcon", TGraphic::StaticClassType()).Build();
    return &info;
}

bool TIcon::HasSignature(const std::string& File) const {
    return File.size() >= 4 && File[0] == 0 && File[1] == 0 && (File[2] == 1 || File[2] == 2) && File[3] == 0;
}

std::shared_ptr<const TGraphic::Content> TIcon::Decode(std::string File) const {
    // The directory: every image it names must lie inside the file.
    if (File.size() < 6 || !HasSignature(File)) Invalid("ICO");
    std::size_t count = LE16(File, 4);
    if (count == 0 || 6 + 16 * count > File.size()) Invalid("ICO");
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t entry = 6 + 16 * i;
        std::uint64_t size = LE32(File, entry + 8), offset = LE32(File, entry + 12);
        if (size == 0 || offset < 6 + 16 * count || offset + size > File.size()) Invalid("ICO");
    }
    QImage image = Normalised(DecodeImage(File, "ICO", "ICO"));
    return PixelsContent(std::move(image), std::move(File), 32);
}

TClass TJPEGImage::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TJPEGImage>("TJPEGImage", TGraphic::StaticClassType()).Build();
    return &info;
}

bool TJPEGImage::HasSignature(const std::string& File) const {
    return File.size() >= 3 && static_cast<unsigned char>(File[0]) == 0xFF &&
           static_cast<unsigned char>(File[1]) == 0xD8 && static_cast<unsigned char>(File[2]) == 0xFF;
}

std::shared_ptr<const TGraphic::Content> TJPEGImage::Decode(std::string File) const {
    if (!HasSignature(File)) Invalid("JPEG");
    QImage image = Normalised(DecodeImage(File, "JPEG", "JPEG"));
    return PixelsContent(std::move(image), std::move(File), 24);
}

TClass TGIFImage::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TGIFImage>("TGIFImage", TGraphic::StaticClassType()).Build();
    return &info;
}

bool TGIFImage::HasSignature(const std::string& File) const {
    return File.size() >= 6 && (File.compare(0, 6, "GIF87a") == 0 || File.compare(0, 6, "GIF89a") == 0);
}

std::shared_ptr<const TGraphic::Content> TGIFImage::Decode(std::string File) const {
    if (File.size() < 13 || !HasSignature(File)) Invalid("GIF");
    QImage image = Normalised(DecodeImage(File, "GIF", "GIF"));
    return PixelsContent(std::move(image), std::move(File), 8);
}

TClass TPngImage::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TPngImage>("TPngImage", TGraphic::StaticClassType()).Build();
    return &info;
}

bool TPngImage::HasSignature(const std::string& File) const {
    return File.size() >= 8 && File.compare(0, 8, std::string("\x89PNG\r\n\x1a\n", 8)) == 0;
}

std::shared_ptr<const TGraphic::Content> TPngImage::Decode(std::string File) const {
    if (!HasSignature(File)) Invalid("PNG");
    QImage image = Normalised(DecodeImage(File, "PNG", "PNG"));
    int bits = image.hasAlphaChannel() ? 32 : 24;
    return PixelsContent(std::move(image), std::move(File), bits);
}

// ---------------------------------------------------------------------------
// TMetafile

TClass TMetafile::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TMetafile>("TMetafile", TGraphic::StaticClassType()).Build();
    return &info;
}

namespace {
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr std::uint32_t kEmfSignature = 0x464D4520u;  // " EMF"

bool IsEmf(const std::string& f) { return f.size() >= 88 && LE32(f, 0) == 1 && LE32(f, 40) == kEmfSignature; }
bool IsPlaceable(const std::string& f) { return f.size() >= 22 && LE32(f, 0) == kPlaceableKey; }
bool IsPlainWmf(const std::string& f) {
    return f.size() >= 18 && (LE16(f, 0) == 1 || LE16(f, 0) == 2) && LE16(f, 2) == 9;
}
}  // namespace

bool TMetafile::HasSignature(const std::string& File) const {
    return IsEmf(File) || IsPlaceable(File) || IsPlainWmf(File);
}

bool TMetafile::Enhanced() const { return IsEmf(FileBytes()); }

std::shared_ptr<const TGraphic::Content> TMetafile::Decode(std::string File) const {
    auto c = std::make_shared<Content>();
    if (IsEmf(File)) {
        std::uint32_t headerSize = LE32(File, 4), total = LE32(File, 48);
        if (headerSize < 88 || headerSize > File.size() || total < headerSize || total > File.size()) Invalid("EMF");
        // rclFrame: hundredths of a millimetre.
        std::int64_t w = static_cast<std::int32_t>(LE32(File, 32)) - static_cast<std::int64_t>(static_cast<std::int32_t>(LE32(File, 24)));
        std::int64_t h = static_cast<std::int32_t>(LE32(File, 36)) - static_cast<std::int64_t>(static_cast<std::int32_t>(LE32(File, 28)));
        if (w < 0 || h < 0 || w > 10000000 || h > 10000000) Invalid("EMF");
        c->width = static_cast<int>(w);  // hundredths of a mm until converted below
        c->height = static_cast<int>(h);
    } else if (IsPlaceable(File)) {
        std::int64_t w = static_cast<std::int16_t>(LE16(File, 10)) - static_cast<std::int64_t>(static_cast<std::int16_t>(LE16(File, 6)));
        std::int64_t h = static_cast<std::int16_t>(LE16(File, 12)) - static_cast<std::int64_t>(static_cast<std::int16_t>(LE16(File, 8)));
        int inch = LE16(File, 14);
        if (inch == 0 || w < 0 || h < 0) Invalid("WMF");
        c->width = static_cast<int>(w * 2540 / inch);
        c->height = static_cast<int>(h * 2540 / inch);
    } else if (IsPlainWmf(File)) {
        // No size in a plain Windows metafile: nothing to place it by.
        c->width = c->height = 0;
    } else {
        Invalid("de metarquivo");
    }
    c->bits = 0;
    c->file = std::move(File);
    return c;
}

int TMetafile::MMWidth() const { return GetContent() ? GetContent()->width : 0; }
int TMetafile::MMHeight() const { return GetContent() ? GetContent()->height : 0; }

int TMetafile::Width() const {
    int mm = GetContent() ? GetContent()->width : 0;
    return static_cast<int>(std::lround(mm * static_cast<double>(gfx::kScreenPixelsPerInch) / 2540.0));
}

int TMetafile::Height() const {
    int mm = GetContent() ? GetContent()->height : 0;
    return static_cast<int>(std::lround(mm * static_cast<double>(gfx::kScreenPixelsPerInch) / 2540.0));
}

void TMetafile::Draw(TCanvas* Canvas, const TRect& R) {
    if (Canvas == nullptr || !GetContent()) return;
    TBrush keep = *Canvas->Brush();
    Canvas->Brush()->SetColor(clGray);
    Canvas->FrameRect(R);
    Canvas->SetBrush(keep);
}

// ---------------------------------------------------------------------------
// Registry

namespace {

struct Format {
    std::string extension;
    std::string description;
    TGraphicClass graphicClass;
};

struct FormatRegistry {
    std::mutex lock;
    std::vector<Format> formats;
    FormatRegistry() {
        formats = {{"bmp", "Bitmaps", TBitmap::StaticClassType()},
                   {"ico", "Ícones", TIcon::StaticClassType()},
                   {"emf", "Metarquivos avançados", TMetafile::StaticClassType()},
                   {"wmf", "Metarquivos", TMetafile::StaticClassType()}};
        RegisterClasses({TBitmap::StaticClassType(), TIcon::StaticClassType(), TMetafile::StaticClassType()});
    }
};

FormatRegistry& Formats() {
    static FormatRegistry r;
    return r;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

std::string ExtensionOf(const std::string& FileName) {
    std::size_t slash = FileName.find_last_of('/');
    std::size_t dot = FileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return Lower(FileName.substr(dot + 1));
}

}  // namespace

namespace gfx {

void RegisterPictureFormats() {
    TPicture::RegisterFileFormat("jpg", "Imagens JPEG", TJPEGImage::StaticClassType());
    TPicture::RegisterFileFormat("jpeg", "Imagens JPEG", TJPEGImage::StaticClassType());
    TPicture::RegisterFileFormat("gif", "Imagens GIF", TGIFImage::StaticClassType());
    TPicture::RegisterFileFormat("png", "Imagens PNG", TPngImage::StaticClassType());
}

std::unique_ptr<TGraphic> NewGraphic(TGraphicClass Class) {
    if (Class == nullptr || !Class->InheritsFrom(TGraphic::StaticClassType()) || !Class->Create) return nullptr;
    std::unique_ptr<TObject> o(Class->Create(nullptr));
    auto* g = dynamic_cast<TGraphic*>(o.get());
    if (g == nullptr) return nullptr;
    o.release();
    return std::unique_ptr<TGraphic>(g);
}

}  // namespace gfx

void TPicture::RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                  TGraphicClass GraphicClass) {
    if (GraphicClass == nullptr) return;
    FormatRegistry& r = Formats();
    std::lock_guard<std::mutex> g(r.lock);
    RegisterClass(GraphicClass);
    std::string ext = Lower(Extension);
    for (Format& f : r.formats)
        if (f.extension == ext) {
            f.description = Description;
            f.graphicClass = GraphicClass;
            return;
        }
    r.formats.push_back({ext, Description, GraphicClass});
}

void TPicture::UnregisterGraphicClass(TGraphicClass GraphicClass) {
    FormatRegistry& r = Formats();
    std::lock_guard<std::mutex> g(r.lock);
    r.formats.erase(std::remove_if(r.formats.begin(), r.formats.end(),
                                   [&](const Format& f) { return f.graphicClass == GraphicClass; }),
                    r.formats.end());
}

TGraphicClass TPicture::GraphicClassForExtension(const std::string& Extension) {
    FormatRegistry& r = Formats();
    std::lock_guard<std::mutex> g(r.lock);
    std::string ext = Lower(Extension);
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    for (const Format& f : r.formats)
        if (f.extension == ext) return f.graphicClass;
    return nullptr;
}

TGraphicClass TPicture::GraphicClassForName(const std::string& ClassName) {
    FormatRegistry& r = Formats();
    std::lock_guard<std::mutex> g(r.lock);
    for (const Format& f : r.formats) {
        if (SameText(f.graphicClass->Name, ClassName)) return f.graphicClass;
        // Stored forms of older programs name their PNG class so.
        if (f.graphicClass == TPngImage::StaticClassType() && SameText(ClassName, "TPNGObject")) return f.graphicClass;
    }
    return nullptr;
}

std::string TPicture::FileFilter() {
    FormatRegistry& r = Formats();
    std::lock_guard<std::mutex> g(r.lock);
    std::string all, each;
    for (const Format& f : r.formats) {
        if (!all.empty()) all += ";";
        all += "*." + f.extension;
        each += "|" + f.description + " (*." + f.extension + ")|*." + f.extension;
    }
    return "Todas as imagens (" + all + ")|" + all + each;
}

// ---------------------------------------------------------------------------
// TPicture

TClass TPicture::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TPicture>("TPicture", TPersistent::StaticClassType()).Build();
    return &info;
}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::Changed() {
    if (OnChange) OnChange(this);
}

void TPicture::Adopt(std::unique_ptr<TGraphic> Graphic) {
    graphic_ = std::move(Graphic);
    if (graphic_) graphic_->OnChange = [this](TObject*) { Changed(); };
    Changed();
}

void TPicture::SetGraphic(TGraphic* Value) {
    if (Value == graphic_.get()) return;
    if (Value == nullptr) {
        Adopt(nullptr);
        return;
    }
    auto copy = gfx::NewGraphic(Value->ClassType());
    if (!copy) throw EInvalidGraphicOperation(std::string("Classe de imagem desconhecida: ") + Value->ClassName());
    copy->Assign(Value);
    Adopt(std::move(copy));
}

void TPicture::Assign(TPersistent* Source) {
    if (Source == this) return;
    if (Source == nullptr) {
        Adopt(nullptr);
        return;
    }
    if (auto* p = dynamic_cast<TPicture*>(Source)) {
        SetGraphic(p->graphic_.get());
        return;
    }
    if (auto* g = dynamic_cast<TGraphic*>(Source)) {
        SetGraphic(g);
        return;
    }
    TPersistent::Assign(Source);
}

template <typename G>
G* TPicture::As() {
    if (auto* g = dynamic_cast<G*>(graphic_.get()); g != nullptr && graphic_->ClassType() == G::StaticClassType())
        return g;
    auto fresh = std::make_unique<G>();
    G* raw = fresh.get();
    Adopt(std::move(fresh));
    return raw;
}

TBitmap* TPicture::Bitmap() { return As<TBitmap>(); }
TIcon* TPicture::Icon() { return As<TIcon>(); }
TMetafile* TPicture::Metafile() { return As<TMetafile>(); }

void TPicture::LoadFromFile(const std::string& FileName) {
    TGraphicClass cls = GraphicClassForExtension(ExtensionOf(FileName));
    if (cls == nullptr) throw EInvalidGraphic("Formato de imagem desconhecido: ." + ExtensionOf(FileName));
    auto g = gfx::NewGraphic(cls);
    if (!g) throw EInvalidGraphic("Formato de imagem desconhecido: ." + ExtensionOf(FileName));
    g->LoadFromFile(FileName);
    Adopt(std::move(g));
}

void TPicture::SaveToFile(const std::string& FileName) {
    if (graphic_) graphic_->SaveToFile(FileName);
}

void TPicture::LoadFromStream(TStream& Stream) {
    std::string bytes = Stream.ReadAllBytes();
    std::vector<TGraphicClass> classes;
    {
        FormatRegistry& r = Formats();
        std::lock_guard<std::mutex> g(r.lock);
        for (const Format& f : r.formats)
            if (std::find(classes.begin(), classes.end(), f.graphicClass) == classes.end())
                classes.push_back(f.graphicClass);
    }
    for (TGraphicClass cls : classes) {
        auto g = gfx::NewGraphic(cls);
        if (!g || !g->CanLoad(bytes)) continue;
        TStringStream s(bytes);
        g->LoadFromStream(s);
        Adopt(std::move(g));
        return;
    }
    throw EInvalidGraphic("Formato de imagem desconhecido");
}

void TPicture::ReadData(TStream& Stream) {
    std::string all = Stream.ReadAllBytes();
    if (all.empty()) {
        Adopt(nullptr);
        return;
    }
    std::size_t nameLength = static_cast<unsigned char>(all[0]);
    if (nameLength > all.size() - 1) throw EInvalidGraphic("Dados de imagem truncados");
    std::string name = all.substr(1, nameLength);
    TGraphicClass cls = GraphicClassForName(name);
    if (cls == nullptr) {
        // A class this program does not know: the picture stays empty.
        Adopt(nullptr);
        return;
    }
    auto g = gfx::NewGraphic(cls);
    if (!g) {
        Adopt(nullptr);
        return;
    }
    TStringStream rest(all.substr(1 + nameLength));
    g->ReadData(rest);
    Adopt(std::move(g));
}

void TPicture::WriteData(TStream& Stream) {
    if (!graphic_) return;
    std::string name = graphic_->ClassName();
    unsigned char n = static_cast<unsigned char>(name.size());
    Stream.WriteBuffer(&n, 1);
    Stream.WriteBytes(name);
    graphic_->WriteData(Stream);
}

void TPicture::DefineProperties(TFiler* Filer) {
    Filer->DefineBinaryProperty(
        "Data",
        [this](TStream* s) {
            try {
                ReadData(*s);
            } catch (const EInvalidGraphic& e) {
                throw EReadError(e.Message());
            }
        },
        [this](TStream* s) { WriteData(*s); }, graphic_ != nullptr && !graphic_->Empty());
}
