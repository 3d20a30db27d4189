#include "platform/gfx/FontEngine.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <map>
#include <tuple>

#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"

namespace gfx {

namespace {

// One FreeType library for the process; creating and freeing faces goes
// through its lock, as FreeType asks.
struct Library {
    FT_Library lib = nullptr;
    std::mutex lock;
    Library() {
        if (FT_Init_FreeType(&lib) != 0) lib = nullptr;
    }
    ~Library() {
        if (lib) FT_Done_FreeType(lib);
    }
};

// Faces outlive every canvas, also those that static objects hold at exit:
// the library and the cache are never destroyed.
Library& TheLibrary() {
    static Library* l = new Library;
    return *l;
}

struct OutlineSink {
    QPainterPath* path;
};

int MoveTo(const FT_Vector* to, void* user) {
    auto* p = static_cast<OutlineSink*>(user)->path;
    p->closeSubpath();
    p->moveTo(static_cast<qreal>(to->x), static_cast<qreal>(to->y));
    return 0;
}

int LineTo(const FT_Vector* to, void* user) {
    static_cast<OutlineSink*>(user)->path->lineTo(static_cast<qreal>(to->x), static_cast<qreal>(to->y));
    return 0;
}

int ConicTo(const FT_Vector* c, const FT_Vector* to, void* user) {
    static_cast<OutlineSink*>(user)->path->quadTo(static_cast<qreal>(c->x), static_cast<qreal>(c->y),
                                                  static_cast<qreal>(to->x), static_cast<qreal>(to->y));
    return 0;
}

int CubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    static_cast<OutlineSink*>(user)->path->cubicTo(static_cast<qreal>(c1->x), static_cast<qreal>(c1->y),
                                                   static_cast<qreal>(c2->x), static_cast<qreal>(c2->y),
                                                   static_cast<qreal>(to->x), static_cast<qreal>(to->y));
    return 0;
}

}  // namespace

struct FontFace::Impl {
    FT_Face face = nullptr;
};

std::string SubstituteScreenFont(const std::string& Name) {
    if (Name == "Courier" || Name == "MS Serif") return "Courier New";
    if (Name == "Fixedsys" || Name == "Modern" || Name == "MS Sans Serif" || Name == "Small Fonts" ||
        Name == "System" || Name == "Terminal")
        return "Arial";
    return Name;
}

FontFace::FontFace(std::string File, int Index) : file_(std::move(File)), index_(Index), impl_(new Impl) {
    Library& l = TheLibrary();
    {
        std::lock_guard<std::mutex> g(l.lock);
        if (l.lib == nullptr || FT_New_Face(l.lib, file_.c_str(), index_, &impl_->face) != 0) impl_->face = nullptr;
    }
    FT_Face f = impl_->face;
    if (f == nullptr) throw EInvalidOperation("Não foi possível abrir a fonte \"" + file_ + "\"");
    family_ = f->family_name ? f->family_name : "";
    style_ = f->style_name ? f->style_name : "";
    FaceMetrics& m = metrics_;
    m.UnitsPerEm = f->units_per_EM > 0 ? f->units_per_EM : 1000;
    m.HheaAscender = f->ascender;
    m.HheaDescender = f->descender;
    m.HheaLineGap = f->height - (f->ascender - f->descender);
    m.MaxAdvanceWidth = f->max_advance_width;
    m.UnderlinePosition = f->underline_position;
    m.UnderlineThickness = f->underline_thickness;
    m.FixedPitch = FT_IS_FIXED_WIDTH(f) != 0;
    m.TrueType = FT_IS_SFNT(f) != 0 && FT_IS_SCALABLE(f) != 0;
    if (auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(f, FT_SFNT_HHEA))) {
        m.HheaAscender = hhea->Ascender;
        m.HheaDescender = hhea->Descender;
        m.HheaLineGap = hhea->Line_Gap;
        m.MaxAdvanceWidth = hhea->advance_Width_Max;
    }
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF) {
        m.WinAscent = os2->usWinAscent;
        m.WinDescent = os2->usWinDescent;
        m.AvgCharWidth = os2->xAvgCharWidth;
        m.StrikeoutPosition = os2->yStrikeoutPosition;
        m.StrikeoutSize = os2->yStrikeoutSize;
        m.WeightClass = os2->usWeightClass;
    }
    if (m.WinAscent == 0 && m.WinDescent == 0) {
        m.WinAscent = m.HheaAscender;
        m.WinDescent = -m.HheaDescender;
    }
    if (m.AvgCharWidth <= 0) m.AvgCharWidth = Advance(U'x');
    if (m.StrikeoutSize <= 0) {
        m.StrikeoutSize = m.UnderlineThickness > 0 ? m.UnderlineThickness : m.UnitsPerEm / 20;
        m.StrikeoutPosition = m.WinAscent / 3;
    }
    if (m.UnderlineThickness <= 0) m.UnderlineThickness = m.UnitsPerEm / 20;
}

FontFace::~FontFace() {
    if (impl_->face) {
        std::lock_guard<std::mutex> g(TheLibrary().lock);
        FT_Done_Face(impl_->face);
    }
}

FontFace::Glyph& FontFace::Load(char32_t Char, bool WithOutline) const {
    auto it = glyphs_.find(Char);
    if (it == glyphs_.end()) {
        Glyph g;
        g.index = FT_Get_Char_Index(impl_->face, static_cast<FT_ULong>(Char));
        FT_Fixed adv = 0;
        if (FT_Get_Advance(impl_->face, g.index, FT_LOAD_NO_SCALE, &adv) == 0) g.advance = static_cast<int>(adv);
        it = glyphs_.emplace(Char, std::move(g)).first;
    }
    Glyph& g = it->second;
    if (WithOutline && !g.outlined) {
        g.outlined = true;
        if (FT_Load_Glyph(impl_->face, g.index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0 &&
            impl_->face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
            FT_Outline_Funcs funcs{};
            funcs.move_to = MoveTo;
            funcs.line_to = LineTo;
            funcs.conic_to = ConicTo;
            funcs.cubic_to = CubicTo;
            OutlineSink sink{&g.path};
            FT_Outline_Decompose(&impl_->face->glyph->outline, &funcs, &sink);
            g.path.closeSubpath();
            // TrueType outlines wind one way for ink and the other for holes.
            g.path.setFillRule(Qt::WindingFill);
        }
    }
    return g;
}

bool FontFace::HasGlyph(char32_t Char) const {
    std::lock_guard<std::mutex> g(lock_);
    return Load(Char, false).index != 0;
}

const FontFace::Low& FontFace::LowTable() const {
    std::call_once(lowOnce_, [this] {
        std::lock_guard<std::mutex> g(lock_);
        for (char32_t c = 0; c < 256; ++c) low_.advance[c] = Load(c, false).advance;
        char32_t first = 255, last = 32;
        for (int c = 32; c <= 255; ++c)
            if (Load(utf8::Cp1252Char(static_cast<unsigned char>(c)), false).index != 0) {
                first = std::min<char32_t>(first, static_cast<char32_t>(c));
                last = static_cast<char32_t>(c);
            }
        if (first > last) first = last = 32;
        low_.range = {first, last};
    });
    return low_;
}

std::pair<char32_t, char32_t> FontFace::Cp1252Range() const { return LowTable().range; }

int FontFace::Advance(char32_t Char) const {
    if (Char < 256) return LowTable().advance[Char];
    std::lock_guard<std::mutex> g(lock_);
    return Load(Char, false).advance;
}

QPainterPath FontFace::Outline(char32_t Char) const {
    std::lock_guard<std::mutex> g(lock_);
    return Load(Char, true).path;
}

// ---------------------------------------------------------------------------
// Resolution

namespace {

struct FaceCache {
    std::mutex lock;
    bool initialised = false;
    std::map<std::pair<std::string, int>, std::shared_ptr<const FontFace>> byFile;
    std::map<std::tuple<std::string, bool, bool>, ResolvedFace> byName;
    // By the name looked up: the old screen names that stand for one family
    // share its match, which costs a pass over every rule of the system's
    // font configuration.
    std::map<std::tuple<std::string, bool, bool>, ResolvedFace> byLookedUp;
};

FaceCache& TheCache() {
    static FaceCache* c = new FaceCache;
    return *c;
}

std::string PatternString(FcPattern* p, const char* object) {
    FcChar8* s = nullptr;
    if (FcPatternGetString(p, object, 0, &s) == FcResultMatch && s != nullptr) return reinterpret_cast<char*>(s);
    return {};
}

int PatternInt(FcPattern* p, const char* object, int fallback) {
    int v = 0;
    return FcPatternGetInteger(p, object, 0, &v) == FcResultMatch ? v : fallback;
}

}  // namespace

ResolvedFace ResolveFace(const std::string& Name, bool Bold, bool Italic) {
    FaceCache& c = TheCache();
    std::lock_guard<std::mutex> g(c.lock);
    auto key = std::make_tuple(Name, Bold, Italic);
    if (auto it = c.byName.find(key); it != c.byName.end()) return it->second;
    if (!c.initialised) {
        FcInit();
        c.initialised = true;
    }

    ResolvedFace r;
    r.LookedUpName = SubstituteScreenFont(Name);
    auto lookedUpKey = std::make_tuple(r.LookedUpName, Bold, Italic);
    if (auto it = c.byLookedUp.find(lookedUpKey); it != c.byLookedUp.end()) r = it->second;
    r.RequestedName = Name;
    if (r.Face) {
        c.byName.emplace(key, r);
        return r;
    }
    FcPattern* pat = FcPatternCreate();
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(r.LookedUpName.c_str()));
    FcPatternAddInteger(pat, FC_WEIGHT, Bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pat, FC_SLANT, Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pat, &result);
    FcPatternDestroy(pat);
    if (match == nullptr) throw EInvalidOperation("Nenhuma fonte instalada");
    std::string file = PatternString(match, FC_FILE);
    int index = PatternInt(match, FC_INDEX, 0);
    int weight = PatternInt(match, FC_WEIGHT, FC_WEIGHT_REGULAR);
    int slant = PatternInt(match, FC_SLANT, FC_SLANT_ROMAN);
    FcPatternDestroy(match);
    if (file.empty()) throw EInvalidOperation("Nenhuma fonte instalada");

    auto& face = c.byFile[{file, index}];
    if (!face) face = std::make_shared<const FontFace>(file, index);
    r.Face = face;
    r.SyntheticBold = Bold && weight < FC_WEIGHT_DEMIBOLD;
    r.SyntheticItalic = Italic && slant == FC_SLANT_ROMAN;
    c.byName.emplace(key, r);
    c.byLookedUp.emplace(std::move(lookedUpKey), r);
    return r;
}

}  // namespace gfx
