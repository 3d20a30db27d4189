#pragma once
// Pictures: the graphic classes (bitmap, icon, metafile, JPEG, GIF, PNG), the
// picture that holds one of them, and the registry of picture formats by file
// extension and by class name.
//
// A graphic keeps the bytes it was loaded from, so that the "Data" a stored
// form carries is written back byte for byte, and the decoded image, which
// copies share (a page copied for the cache and for every device decodes its
// pictures once). Decoding happens when a graphic is loaded: a graphic that
// loaded is drawable, and a corrupt one is an EInvalidGraphic at load, never
// a crash later.
//
// The formats: bitmaps, icons and metafiles are always known; JPEG, GIF and
// PNG are registered explicitly at start-up (gfx::RegisterPictureFormats),
// as the program's units register what they offer. Metafiles are kept as
// bytes and drawn as an empty frame: there is no metafile renderer here.
//
// The stored "Data" of a picture: a length byte and the graphic's class name
// ("TBitmap"), then the graphic's own data: a 32-bit little-endian length and
// the file's bytes for bitmaps, JPEG images and metafiles, the file's bytes
// alone for icons, GIF and PNG images. Every length is checked against what
// remains: a truncated or corrupt picture is an error (an unknown class name
// an empty picture), never a read past the end.
#include <memory>
#include <string>
#include <vector>

#include <QImage>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Graphics.h"
#include "platform/rtl/Streams.h"

FAT_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
FAT_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception)

class TGraphic;
using TGraphicClass = TClass;

class TGraphic : public TPersistent {
public:
    FAT_CLASS(TGraphic)
    TGraphic() = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;

    // Another graphic of the same class shares this one's content.
    void Assign(TPersistent* Source) override;

    bool Empty() const;
    // In pixels (metafiles: at the screen's resolution).
    virtual int Width() const;
    virtual int Height() const;
    // Drawn with its transparent parts left out.
    bool Transparent() const { return transparent_; }
    virtual void SetTransparent(bool Value);

    // A whole file of the graphic's format. Raises EInvalidGraphic for data
    // that is not of the format or does not decode; the graphic is then
    // unchanged.
    virtual void LoadFromStream(TStream& Stream);
    virtual void SaveToStream(TStream& Stream);
    void LoadFromFile(const std::string& FileName);
    void SaveToFile(const std::string& FileName);
    // The graphic's part of a picture's stored "Data" (see the header), from
    // the stream's position to its end.
    virtual void ReadData(TStream& Stream);
    virtual void WriteData(TStream& Stream);

    // Draws the graphic stretched into R (nearest pixel).
    virtual void Draw(TCanvas* Canvas, const TRect& R);

    // The decoded pixels (RGB32, or ARGB32 when the graphic has transparent
    // parts); null for an empty graphic and for a metafile. Copies share them.
    virtual QImage Image() const;
    // The file's bytes as loaded (or as last saved).
    const std::string& FileBytes() const;
    // True when a file starting with these bytes is of this graphic's format.
    bool CanLoad(const std::string& FileStart) const { return HasSignature(FileStart); }

    TNotifyEvent OnChange;

protected:
    // What loading produced; immutable once made, shared between copies.
    struct Content {
        std::string file;  // the file's bytes
        std::string data;  // the stored "Data" part, as read (empty: made from file)
        QImage image;
        int width = 0;
        int height = 0;
        int bits = 24;  // bits per pixel of the file's pixels
    };
    // Decodes a whole file of the format into a content; EInvalidGraphic.
    virtual std::shared_ptr<const Content> Decode(std::string File) const = 0;
    // True when the stored data is a length and the file (bitmap, JPEG,
    // metafile), false when it is the file alone.
    virtual bool DataHasLength() const { return true; }
    // The file's first bytes, by which a stored form without its length is
    // still recognised.
    virtual bool HasSignature(const std::string& File) const = 0;
    // A content of decoded pixels, with the file they came from (empty for
    // pixels made here).
    static std::shared_ptr<Content> PixelsContent(QImage Image, std::string File, int Bits);
    void SetContent(std::shared_ptr<const Content> Value);
    const std::shared_ptr<const Content>& GetContent() const { return content_; }
    void Changed();
    // Decodes with Qt's reader of the format (nullptr: any), refusing
    // pictures too large to be real (over 32,767 pixels a side or 64
    // megapixels).
    static QImage DecodeImage(const std::string& File, const char* Format, const char* What);

private:
    std::shared_ptr<const Content> content_;
    bool transparent_ = false;
};

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

class TBitmap : public TGraphic {
public:
    FAT_CLASS(TBitmap)
    TBitmap();
    ~TBitmap() override;

    void Assign(TPersistent* Source) override;
    int Width() const override;
    int Height() const override;
    // A new size keeps the pixels that remain and makes the rest white.
    void SetWidth(int Value);
    void SetHeight(int Value);
    void SetSize(int NewWidth, int NewHeight);
    TPixelFormat PixelFormat() const { return pixelFormat_; }
    void SetPixelFormat(TPixelFormat Value);
    // Bits per pixel of the pixels as loaded (24 for a bitmap made here).
    int BitsPerPixel() const;
    bool Monochrome() const { return BitsPerPixel() == 1; }
    // The colour that a transparent bitmap leaves out: the bottom-left
    // pixel, unless set.
    TColor TransparentColor() const;
    void SetTransparentColor(TColor Value);

    // A canvas over the pixels; drawing on it makes the bitmap its own (the
    // bytes it was loaded from are dropped, a save writes the new pixels).
    TCanvas* Canvas();

    void SaveToStream(TStream& Stream) override;
    void Draw(TCanvas* Canvas, const TRect& R) override;
    QImage Image() const override;

protected:
    std::shared_ptr<const Content> Decode(std::string File) const override;
    bool HasSignature(const std::string& File) const override;

private:
    struct Paint;
    void MakeOwn();
    TPixelFormat pixelFormat_ = pf24bit;
    TColor transparentColor_ = clDefault;
    std::unique_ptr<Paint> paint_;
};

class TIcon : public TGraphic {
public:
    FAT_CLASS(TIcon)

protected:
    std::shared_ptr<const Content> Decode(std::string File) const override;
    bool DataHasLength() const override { return false; }
    bool HasSignature(const std::string& File) const override;
};

class TJPEGImage : public TGraphic {
public:
    FAT_CLASS(TJPEGImage)

protected:
    std::shared_ptr<const Content> Decode(std::string File) const override;
    bool HasSignature(const std::string& File) const override;
};

// The first frame of a GIF.
class TGIFImage : public TGraphic {
public:
    FAT_CLASS(TGIFImage)

protected:
    std::shared_ptr<const Content> Decode(std::string File) const override;
    bool DataHasLength() const override { return false; }
    bool HasSignature(const std::string& File) const override;
};

class TPngImage : public TGraphic {
public:
    FAT_CLASS(TPngImage)

protected:
    std::shared_ptr<const Content> Decode(std::string File) const override;
    bool DataHasLength() const override { return false; }
    bool HasSignature(const std::string& File) const override;
};

// Windows metafiles (placeable) and enhanced metafiles: the bytes and the
// size their header gives; drawn as an empty frame.
class TMetafile : public TGraphic {
public:
    FAT_CLASS(TMetafile)
    bool Enhanced() const;
    // The picture's size in hundredths of a millimetre.
    int MMWidth() const;
    int MMHeight() const;
    int Width() const override;
    int Height() const override;
    void Draw(TCanvas* Canvas, const TRect& R) override;
    QImage Image() const override { return {}; }

protected:
    // The content's width and height are the hundredths of a millimetre.
    std::shared_ptr<const Content> Decode(std::string File) const override;
    bool HasSignature(const std::string& File) const override;
};

class TPicture : public TPersistent {
public:
    FAT_CLASS(TPicture)
    TPicture();
    ~TPicture() override;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // Another picture's graphic is copied, sharing its content; a graphic is
    // copied in; nullptr empties the picture.
    void Assign(TPersistent* Source) override;

    // nullptr when empty.
    TGraphic* Graphic() const { return graphic_.get(); }
    // A copy of Value (of its class), or empty for nullptr.
    void SetGraphic(TGraphic* Value);
    // The graphic as that class; a picture holding another class (or none)
    // gets an empty graphic of that class first.
    TBitmap* Bitmap();
    TIcon* Icon();
    TMetafile* Metafile();
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }

    // By the file's extension, through the registry; EInvalidGraphic for an
    // unknown extension or a file that does not load (the picture is then
    // unchanged).
    void LoadFromFile(const std::string& FileName);
    void SaveToFile(const std::string& FileName);
    // Any registered format, recognised by its first bytes.
    void LoadFromStream(TStream& Stream);

    // The stored form: "Data", written only when the picture holds a graphic.
    void DefineProperties(TFiler* Filer) override;
    void ReadData(TStream& Stream);
    void WriteData(TStream& Stream);

    // Registry of file formats (extension without the dot, compared without
    // regard to case; a registered extension takes the new class).
    static void RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                  TGraphicClass GraphicClass);
    static void UnregisterGraphicClass(TGraphicClass GraphicClass);
    // nullptr when unknown.
    static TGraphicClass GraphicClassForExtension(const std::string& Extension);
    static TGraphicClass GraphicClassForName(const std::string& ClassName);
    // "Bitmaps (*.bmp)|*.bmp|..." for the file dialogs.
    static std::string FileFilter();

    TNotifyEvent OnChange;

private:
    void Changed();
    void Adopt(std::unique_ptr<TGraphic> Graphic);
    template <typename G>
    G* As();
    std::unique_ptr<TGraphic> graphic_;
};

namespace gfx {
// Registers JPEG ("jpg", "jpeg"), GIF ("gif") and PNG ("png") with the
// picture formats and their classes with the class registry. Idempotent.
void RegisterPictureFormats();
// An empty graphic of a registered class (nullptr for a class that is not a
// graphic).
std::unique_ptr<TGraphic> NewGraphic(TGraphicClass Class);
}  // namespace gfx
