#pragma once
// Fonts as files: the face a font name resolves to (fontconfig), its metrics
// and advances read straight from the font file (FreeType, unhinted, in font
// units) and its glyph outlines for drawing.
//
// Why not Qt's fonts: Qt's font database needs a QGuiApplication and hints
// glyphs for the screen, so a text would measure differently on the screen,
// on a printer and on a worker thread. Here a width is the sum of the hmtx
// advances scaled linearly (advance x em / unitsPerEm), with no hinting and no
// kerning, the same on every machine and every thread; drawing fills the same
// outlines, so what is drawn is what was measured.
//
// Thread safety: every function here may be called from any thread. Faces
// are loaded once and shared; their caches are guarded inside.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

#include <QPainterPath>

namespace gfx {

// The screen-only faces of the original platform, mapped to faces that every
// device has: "Courier" and "MS Serif" to "Courier New"; "Fixedsys",
// "Modern", "MS Sans Serif", "Small Fonts", "System" and "Terminal" to
// "Arial" (exact, case-sensitive names); any other name unchanged.
std::string SubstituteScreenFont(const std::string& Name);

// What a face's tables say, in font units.
struct FaceMetrics {
    int UnitsPerEm = 2048;
    int WinAscent = 0;   // OS/2 usWinAscent: the cell above the baseline
    int WinDescent = 0;  // OS/2 usWinDescent: below it
    int HheaAscender = 0;
    int HheaDescender = 0;  // negative
    int HheaLineGap = 0;
    int AvgCharWidth = 0;     // OS/2 xAvgCharWidth
    int MaxAdvanceWidth = 0;  // hhea advanceWidthMax
    int UnderlinePosition = 0;  // post, negative below the baseline
    int UnderlineThickness = 0;
    int StrikeoutPosition = 0;  // OS/2, above the baseline
    int StrikeoutSize = 0;
    int WeightClass = 400;
    bool FixedPitch = false;
    bool TrueType = false;  // outlines from a TrueType or OpenType file
};

// One face of one font file: immutable metrics, and advances and outlines
// read on first use.
class FontFace {
public:
    FontFace(std::string File, int Index);
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    const std::string& File() const { return file_; }
    int Index() const { return index_; }
    const std::string& FamilyName() const { return family_; }
    const std::string& StyleName() const { return style_; }
    const FaceMetrics& Metrics() const { return metrics_; }

    // True when the face has a glyph of its own for the character.
    bool HasGlyph(char32_t Char) const;
    // The advance width in font units; a character without a glyph takes the
    // face's missing-glyph box.
    int Advance(char32_t Char) const;
    // The outline in font units, y up, origin on the baseline.
    QPainterPath Outline(char32_t Char) const;
    // The lowest and highest 8-bit code (32..255, read as Windows-1252)
    // whose character has a glyph here; both 32 when none has.
    std::pair<char32_t, char32_t> Cp1252Range() const;

private:
    struct Glyph {
        unsigned index = 0;
        int advance = 0;
        bool outlined = false;
        QPainterPath path;
    };
    Glyph& Load(char32_t Char, bool WithOutline) const;
    // Every text measures through the first 256 code points and the 8-bit
    // range: read once, then without the lock.
    struct Low {
        int advance[256] = {};
        std::pair<char32_t, char32_t> range{32, 32};
    };
    const Low& LowTable() const;

    std::string file_;
    int index_;
    std::string family_;
    std::string style_;
    FaceMetrics metrics_;
    struct Impl;
    std::unique_ptr<Impl> impl_;
    mutable std::mutex lock_;
    mutable std::unordered_map<char32_t, Glyph> glyphs_;
    mutable std::once_flag lowOnce_;
    mutable Low low_;
};

// A font name and style resolved to a face.
struct ResolvedFace {
    std::shared_ptr<const FontFace> Face;
    std::string RequestedName;  // as the font named it
    std::string LookedUpName;   // after the screen-font substitution
    bool SyntheticBold = false;    // bold asked for, the face is not bold
    bool SyntheticItalic = false;  // italic asked for, the face is upright
};

// Resolves a name through the substitution table and fontconfig (Arial,
// Times New Roman and Courier New come to Liberation Sans, Serif and Mono).
// An unknown name takes fontconfig's default face; never fails while any
// font is installed (EInvalidOperation "Nenhuma fonte instalada" otherwise).
ResolvedFace ResolveFace(const std::string& Name, bool Bold, bool Italic);

}  // namespace gfx
