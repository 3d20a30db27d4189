// Pictures: fixtures decoded to the pixels Python's PIL reads
// (tests/data/gfx/pictures/pil_pixels.txt), the stored "Data" written back
// byte for byte, decoded images shared between copies, the format registry,
// and damaged data refused without a crash.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "platform/gfx/Pictures.h"
#include "platform/rtl/Filer.h"
#include "tests/support/TestSupport.h"

namespace {

std::string Fixture(const std::string& name) { return testsupport::DataPath("gfx/pictures/" + name); }

struct PilPicture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> rgba;  // RRGGBBAA
};

std::map<std::string, PilPicture> PilPixels() {
    std::ifstream in(Fixture("pil_pixels.txt"));
    std::map<std::string, PilPicture> out;
    std::string word, name;
    while (in >> word) {
        if (word == "picture") {
            in >> name;
            PilPicture& p = out[name];
            in >> p.width >> p.height;
            continue;
        }
        out[name].rgba.push_back(static_cast<std::uint32_t>(std::stoul(word, nullptr, 16)));
    }
    return out;
}

std::string LE32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

// The stored "Data" of a picture holding the file as ClassName.
std::string DataOf(const std::string& className, const std::string& file, bool withLength) {
    return std::string(1, static_cast<char>(className.size())) + className +
           (withLength ? LE32(static_cast<std::uint32_t>(file.size())) : "") + file;
}

std::unique_ptr<TPicture> FromData(const std::string& data) {
    auto p = std::make_unique<TPicture>();
    TStringStream s(data);
    p->ReadData(s);
    return p;
}

std::string DataOf(TPicture& p) {
    TStringStream s;
    p.WriteData(s);
    return s.DataString();
}

class TFramed : public TComponent {
public:
    explicit TFramed(TComponent* AOwner) : TComponent(AOwner) {}
    FAT_CLASS(TFramed)
    TPicture Picture;
    TPicture* GetPicture() const { return const_cast<TPicture*>(&Picture); }
};

TClass TFramed::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TFramed>("TFramed", TComponent::StaticClassType())
                                       .Object("Picture", TPicture::StaticClassType(), &TFramed::GetPicture, nullptr)
                                       .Build();
    return &info;
}

}  // namespace

TEST(PictureFixtures, DecodeToThePixelsPILReads) {
    gfx::RegisterPictureFormats();
    auto pil = PilPixels();
    ASSERT_EQ(pil.size(), 12u);
    for (const auto& [name, expected] : pil) {
        TPicture p;
        p.LoadFromFile(Fixture(name));
        ASSERT_NE(p.Graphic(), nullptr) << name;
        QImage img = p.Graphic()->Image();
        ASSERT_EQ(img.width(), expected.width) << name;
        ASSERT_EQ(img.height(), expected.height) << name;
        bool jpeg = name.find(".jpg") != std::string::npos;
        int misses = 0;
        for (int y = 0; y < expected.height; ++y)
            for (int x = 0; x < expected.width; ++x) {
                std::uint32_t want = expected.rgba[static_cast<std::size_t>(y * expected.width + x)];
                QRgb got = img.pixel(x, y);
                int wa = want & 0xFF;
                int d[4] = {qRed(got) - static_cast<int>(want >> 24), qGreen(got) - static_cast<int>((want >> 16) & 0xFF),
                            qBlue(got) - static_cast<int>((want >> 8) & 0xFF), qAlpha(got) - wa};
                int tolerance = jpeg ? 1 : 0;
                bool ok = std::abs(d[3]) <= tolerance;
                // A fully transparent pixel has no colour to compare.
                if (wa != 0)
                    for (int k = 0; k < 3; ++k) ok = ok && std::abs(d[k]) <= tolerance;
                if (!ok && misses++ < 3)
                    ADD_FAILURE() << name << " (" << x << ", " << y << "): " << std::hex << got << " against " << want;
            }
    }
}

TEST(PictureFixtures, EachFormatIsItsOwnGraphicClass) {
    gfx::RegisterPictureFormats();
    struct Case {
        const char* file;
        TClass cls;
    } cases[] = {{"bmp24.bmp", TBitmap::StaticClassType()},   {"jpeg_prog.jpg", TJPEGImage::StaticClassType()},
                 {"png32.png", TPngImage::StaticClassType()},  {"gif.gif", TGIFImage::StaticClassType()},
                 {"icon_bmp.ico", TIcon::StaticClassType()}};
    for (const Case& c : cases) {
        TPicture byName, byContent;
        byName.LoadFromFile(Fixture(c.file));
        EXPECT_EQ(byName.Graphic()->ClassType(), c.cls) << c.file;
        TStringStream s(testsupport::ReadAll(Fixture(c.file)));
        byContent.LoadFromStream(s);
        EXPECT_EQ(byContent.Graphic()->ClassType(), c.cls) << c.file;
        EXPECT_EQ(byContent.Graphic()->FileBytes(), testsupport::ReadAll(Fixture(c.file)));
    }
    TPicture p;
    p.LoadFromFile(Fixture("bmp1.bmp"));
    EXPECT_EQ(p.Bitmap()->BitsPerPixel(), 1);
    EXPECT_TRUE(p.Bitmap()->Monochrome());
    p.LoadFromFile(Fixture("bmp8.bmp"));
    EXPECT_EQ(p.Bitmap()->BitsPerPixel(), 8);
}

TEST(PictureData, StoredDataIsWrittenBackByteForByte) {
    gfx::RegisterPictureFormats();
    struct Case {
        const char* cls;
        const char* file;
        bool withLength;
    } cases[] = {{"TBitmap", "bmp8.bmp", true},    {"TJPEGImage", "jpeg_base.jpg", true}, {"TPngImage", "png8.png", false},
                 {"TGIFImage", "gif.gif", false}, {"TIcon", "icon.ico", false},          {"TPNGObject", "png24.png", false}};
    for (const Case& c : cases) {
        std::string file = testsupport::ReadAll(Fixture(c.file));
        std::string data = DataOf(c.cls, file, c.withLength);
        auto p = FromData(data);
        ASSERT_NE(p->Graphic(), nullptr) << c.cls;
        EXPECT_GT(p->Width(), 0) << c.cls;
        EXPECT_EQ(DataOf(*p), c.cls == std::string("TPNGObject") ? DataOf("TPngImage", file, false) : data) << c.cls;
    }
    // A picture made from a file writes the stored form of its class.
    TPicture p;
    p.LoadFromFile(Fixture("bmp24.bmp"));
    std::string file = testsupport::ReadAll(Fixture("bmp24.bmp"));
    EXPECT_EQ(DataOf(p), DataOf("TBitmap", file, true));
    // Data written without its length (some writers do) is still read.
    auto loose = FromData(DataOf("TBitmap", file, false));
    EXPECT_EQ(loose->Width(), 7);
}

TEST(PictureData, APictureRoundTripsThroughAStoredForm) {
    gfx::RegisterPictureFormats();
    RegisterClass(TFramed::StaticClassType());
    TFramed f(nullptr);
    f.SetName("Logo");
    f.Picture.LoadFromFile(Fixture("jpeg_base.jpg"));
    TMemoryStream bin;
    WriteComponent(bin, &f);
    bin.SetPosition(0);
    TStringStream text;
    ObjectBinaryToText(bin, text);
    EXPECT_NE(text.DataString().find("Picture.Data = {\n    0A544A504547496D616765"), std::string::npos)
        << text.DataString();
    bin.SetPosition(0);
    std::unique_ptr<TFramed> back(static_cast<TFramed*>(ReadComponent(bin, nullptr)));
    ASSERT_NE(back->Picture.Graphic(), nullptr);
    EXPECT_EQ(back->Picture.Graphic()->ClassType(), TJPEGImage::StaticClassType());
    EXPECT_EQ(back->Picture.Graphic()->FileBytes(), f.Picture.Graphic()->FileBytes());

    // An empty picture writes nothing at all.
    TFramed empty(nullptr);
    empty.SetName("Nothing");
    TMemoryStream none;
    WriteComponent(none, &empty);
    none.SetPosition(0);
    TStringStream noneText;
    ObjectBinaryToText(none, noneText);
    EXPECT_EQ(noneText.DataString(), "object Nothing: TFramed\nend\n");

    // A damaged picture inside a form is a read error of the form.
    std::string damaged = DataOf("TBitmap", testsupport::ReadAll(Fixture("bmp24.bmp")).substr(0, 60), true);
    TStringStream form("object Logo: TFramed\n  Picture.Data = {\n" + [&] {
        std::string hex;
        for (unsigned char ch : damaged) {
            char b[3];
            std::snprintf(b, sizeof b, "%02X", ch);
            hex += b;
        }
        return hex;
    }() + "}\nend\n");
    TStringStream formBin;
    ObjectTextToBinary(form, formBin);
    formBin.SetPosition(0);
    EXPECT_THROW(std::unique_ptr<TComponent>(ReadComponent(formBin, nullptr)), EReadError);
}

TEST(PictureData, CopiesShareTheDecodedImage) {
    gfx::RegisterPictureFormats();
    TPicture a;
    a.LoadFromFile(Fixture("png32.png"));
    TPicture b, c;
    b.Assign(&a);
    c.Assign(&b);
    EXPECT_EQ(b.Graphic()->Image().constBits(), a.Graphic()->Image().constBits());
    EXPECT_EQ(c.Graphic()->Image().constBits(), a.Graphic()->Image().constBits());
    EXPECT_NE(b.Graphic(), a.Graphic());
    // Drawing on a copy's bitmap leaves the original alone.
    TPicture bmp;
    bmp.LoadFromFile(Fixture("bmp24.bmp"));
    TPicture copy;
    copy.Assign(&bmp);
    copy.Bitmap()->Canvas()->Brush()->SetColor(clRed);
    copy.Bitmap()->Canvas()->FillRect(Rect(0, 0, 7, 5));
    EXPECT_EQ(copy.Bitmap()->Image().pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(bmp.Graphic()->Image().pixel(0, 0), 0xFF000000u);
    // The drawn bitmap no longer claims the file it came from.
    TStringStream saved;
    copy.Bitmap()->SaveToStream(saved);
    TBitmap reread;
    saved.SetPosition(0);
    reread.LoadFromStream(saved);
    EXPECT_EQ(reread.Image().pixel(3, 2), 0xFFFF0000u);
    EXPECT_NE(saved.DataString(), testsupport::ReadAll(Fixture("bmp24.bmp")));
}

TEST(PictureData, DamagedDataIsAnErrorOrAnEmptyPicture) {
    gfx::RegisterPictureFormats();
    std::string bmp = testsupport::ReadAll(Fixture("bmp24.bmp"));
    // A length past the end of the data.
    std::string longer = std::string("\x07TBitmap") + LE32(static_cast<std::uint32_t>(bmp.size() + 10)) + bmp;
    EXPECT_THROW(FromData(longer), EInvalidGraphic);
    EXPECT_THROW(FromData(std::string("\x07TBitmap") + LE32(0xFFFFFFF0u) + bmp), EInvalidGraphic);
    // A class name longer than the data.
    EXPECT_THROW(FromData("\x30TBitmap"), EInvalidGraphic);
    // Pixels cut short, a header that claims more rows than there are.
    EXPECT_THROW(FromData(DataOf("TBitmap", bmp.substr(0, bmp.size() - 7), true)), EInvalidGraphic);
    // A JPEG that stops after its first bytes.
    std::string jpeg = testsupport::ReadAll(Fixture("jpeg_base.jpg"));
    EXPECT_THROW(FromData(DataOf("TJPEGImage", jpeg.substr(0, 40), true)), EInvalidGraphic);
    // An icon whose directory points past the file.
    std::string ico = testsupport::ReadAll(Fixture("icon_bmp.ico"));
    ico[14] = static_cast<char>(0x7F);  // the image's size
    EXPECT_THROW(FromData(DataOf("TIcon", ico, false)), EInvalidGraphic);
    // Not the format its class says.
    EXPECT_THROW(FromData(DataOf("TJPEGImage", bmp, true)), EInvalidGraphic);
    // A class the program does not know: an empty picture, no error.
    auto unknown = FromData(DataOf("TSomethingElse", bmp, true));
    EXPECT_EQ(unknown->Graphic(), nullptr);
    // A bitmap of no bytes is an empty bitmap.
    auto zero = FromData(DataOf("TBitmap", "", true));
    ASSERT_NE(zero->Graphic(), nullptr);
    EXPECT_TRUE(zero->Graphic()->Empty());
    // A failed load leaves the picture as it was.
    TPicture kept;
    kept.LoadFromFile(Fixture("png24.png"));
    TStringStream bad(longer);
    EXPECT_THROW(kept.ReadData(bad), EInvalidGraphic);
    EXPECT_EQ(kept.Graphic()->ClassType(), TPngImage::StaticClassType());
}

TEST(PictureRegistry, FormatsByExtensionAndByName) {
    gfx::RegisterPictureFormats();
    EXPECT_EQ(TPicture::GraphicClassForExtension("JPG"), TJPEGImage::StaticClassType());
    EXPECT_EQ(TPicture::GraphicClassForExtension(".jpeg"), TJPEGImage::StaticClassType());
    EXPECT_EQ(TPicture::GraphicClassForExtension("bmp"), TBitmap::StaticClassType());
    EXPECT_EQ(TPicture::GraphicClassForExtension("emf"), TMetafile::StaticClassType());
    EXPECT_EQ(TPicture::GraphicClassForExtension("tif"), nullptr);
    EXPECT_EQ(TPicture::GraphicClassForName("tjpegimage"), TJPEGImage::StaticClassType());
    EXPECT_EQ(GetClass("TJPEGImage"), TJPEGImage::StaticClassType());  // the class registry knows it too
    EXPECT_NE(TPicture::FileFilter().find("Imagens JPEG (*.jpg)|*.jpg"), std::string::npos);

    TPicture p;
    EXPECT_THROW(p.LoadFromFile("/tmp/logo.tif"), EInvalidGraphic);
    // Without JPEG registered a JPEG picture is unknown, and a stored one empty.
    TPicture::UnregisterGraphicClass(TJPEGImage::StaticClassType());
    EXPECT_EQ(TPicture::GraphicClassForExtension("jpg"), nullptr);
    EXPECT_THROW(p.LoadFromFile(Fixture("jpeg_base.jpg")), EInvalidGraphic);
    auto stored = FromData(DataOf("TJPEGImage", testsupport::ReadAll(Fixture("jpeg_base.jpg")), true));
    EXPECT_EQ(stored->Graphic(), nullptr);
    gfx::RegisterPictureFormats();
    EXPECT_EQ(TPicture::GraphicClassForExtension("jpg"), TJPEGImage::StaticClassType());
}

TEST(PictureBitmap, ABitmapMadeHereIsWhiteKeepsItsPixelsAndDrawsTransparent) {
    TBitmap b;
    EXPECT_TRUE(b.Empty());
    b.SetSize(4, 3);
    EXPECT_FALSE(b.Empty());
    EXPECT_EQ(b.Image().pixel(3, 2), 0xFFFFFFFFu);
    b.Canvas()->SetPixel(0, 0, clBlue);
    b.SetSize(6, 5);  // grows: the pixel stays, the rest is white
    EXPECT_EQ(b.Image().pixel(0, 0), 0xFF0000FFu);
    EXPECT_EQ(b.Image().pixel(5, 4), 0xFFFFFFFFu);
    b.Canvas()->SetPixel(5, 4, clLime);  // the canvas goes on after a resize
    EXPECT_EQ(b.Image().pixel(5, 4), 0xFF00FF00u);

    // Transparent: the bottom-left colour is left out.
    b.Canvas()->SetPixel(0, 4, clRed);
    b.Canvas()->SetPixel(2, 2, clRed);
    b.SetTransparent(true);
    EXPECT_EQ(b.TransparentColor(), clRed);
    TImageCanvas c(6, 5, 96);
    c.Brush()->SetColor(clYellow);
    c.FillRect(Rect(0, 0, 6, 5));
    c.Draw(0, 0, &b);
    EXPECT_EQ(c.Image().pixel(2, 2), 0xFFFFFF00u);  // red: the yellow shows
    EXPECT_EQ(c.Image().pixel(0, 0), 0xFF0000FFu);
    EXPECT_EQ(c.Image().pixel(3, 3), 0xFFFFFFFFu);

    // Another kind of picture assigned to a bitmap brings its pixels.
    gfx::RegisterPictureFormats();
    TPicture png;
    png.LoadFromFile(Fixture("png24.png"));
    TBitmap fromPng;
    fromPng.Assign(png.Graphic());
    EXPECT_EQ(fromPng.Width(), 7);
    EXPECT_EQ(fromPng.Image().pixel(1, 0), png.Graphic()->Image().pixel(1, 0));
}

TEST(PictureMetafile, KeptAsBytesSizedByItsHeaderDrawnAsAFrame) {
    // A placeable Windows metafile: 1440 units per inch, 2880 x 1440 units.
    std::string wmf = LE32(0x9AC6CDD7u) + std::string("\0\0", 2) + std::string("\0\0\0\0", 4) +
                      std::string("\x40\x0B\xA0\x05", 4) + std::string("\xA0\x05", 2) + std::string(4, '\0') +
                      std::string(2, '\0') + std::string("\x01\x00\x09\x00\x00\x03", 6) + std::string(12, '\0');
    TMetafile m;
    TStringStream s(wmf);
    m.LoadFromStream(s);
    EXPECT_EQ(m.MMWidth(), 5080);  // two inches
    EXPECT_EQ(m.MMHeight(), 2540);
    EXPECT_EQ(m.Width(), 192);
    EXPECT_EQ(m.Height(), 96);
    EXPECT_FALSE(m.Enhanced());
    EXPECT_TRUE(m.Image().isNull());
    TImageCanvas c(20, 20, 96);
    c.StretchDraw(Rect(2, 2, 18, 18), &m);
    EXPECT_EQ(c.Image().pixel(2, 10), 0xFF808080u);
    EXPECT_EQ(c.Image().pixel(10, 10), 0xFFFFFFFFu);
    // Its stored data round-trips too.
    TPicture p;
    p.SetGraphic(&m);
    std::string data = DataOf(p);
    EXPECT_EQ(data, DataOf("TMetafile", wmf, true));
    EXPECT_EQ(DataOf(*FromData(data)), data);
}
