// Mutated picture data: every stored "Data" must end in a picture (that can
// be measured and drawn) or an EInvalidGraphic, never in a crash, a read
// past the end, a leak or another exception (the sanitizer build watches).
#include <gtest/gtest.h>

#include <QtGlobal>
#include <chrono>
#include <iostream>
#include <random>

#include "platform/gfx/Pictures.h"
#include "tests/support/Mutate.h"
#include "tests/support/TestSupport.h"

namespace {

std::string LE32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string Seed(const std::string& cls, const std::string& fixture, bool withLength) {
    std::string file = testsupport::ReadAll(testsupport::DataPath("gfx/pictures/" + fixture));
    return std::string(1, static_cast<char>(cls.size())) + cls +
           (withLength ? LE32(static_cast<std::uint32_t>(file.size())) : "") + file;
}

}  // namespace

TEST(PictureFuzz, HundredThousandMutatedDataStreamsEndInAPictureOrAnError) {
    gfx::RegisterPictureFormats();
    // The image readers complain about every damaged file they meet.
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    std::string emf(88, '\0');
    emf.replace(0, 4, LE32(1));
    emf.replace(4, 4, LE32(88));
    emf.replace(32, 4, LE32(2540));
    emf.replace(36, 4, LE32(1270));
    emf.replace(40, 4, LE32(0x464D4520u));
    emf.replace(48, 4, LE32(88));
    const std::vector<std::string> seeds = {
        Seed("TBitmap", "bmp24.bmp", true),   Seed("TBitmap", "bmp1.bmp", true),
        Seed("TBitmap", "bmp8.bmp", true),    Seed("TJPEGImage", "jpeg_base.jpg", true),
        Seed("TJPEGImage", "jpeg_prog.jpg", true), Seed("TPngImage", "png8.png", false),
        Seed("TPngImage", "png32.png", false), Seed("TGIFImage", "gif.gif", false),
        Seed("TIcon", "icon_bmp.ico", false), Seed("TIcon", "icon.ico", false),
        std::string("\x09TMetafile") + LE32(88) + emf,
    };
    std::mt19937 rng(20240611);
    int pictures = 0, errors = 0;
    auto start = std::chrono::steady_clock::now();
    constexpr int kRuns = 100000;
    for (int run = 0; run < kRuns; ++run) {
        std::string data = testsupport::MutateBytes(seeds[static_cast<std::size_t>(run) % seeds.size()], rng);
        try {
            TPicture p;
            TStringStream s(data);
            p.ReadData(s);
            if (TGraphic* g = p.Graphic()) {
                // Whatever loaded can be measured, drawn and written back.
                EXPECT_GE(g->Width(), 0);
                if (run % 50 == 0) {
                    TImageCanvas c(8, 8, 96);
                    c.StretchDraw(Rect(0, 0, 8, 8), g);
                    TStringStream out;
                    p.WriteData(out);
                }
            }
            ++pictures;
        } catch (const EInvalidGraphic&) {
            ++errors;
        } catch (const std::exception& e) {
            ADD_FAILURE() << "run " << run << ": " << e.what();
        }
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(pictures + errors, kRuns);
    // The mutations must reach both outcomes, or they test nothing.
    EXPECT_GT(pictures, kRuns / 20);
    EXPECT_GT(errors, kRuns / 20);
    std::cout << "pictures " << pictures << ", errors " << errors << ", "
              << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count()
              << " ms\n";
}
