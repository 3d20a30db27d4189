#include "platform/gfx/Graphics.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "platform/rtl/Strings.h"

namespace {

struct NamedValue {
    const char* name;
    std::int64_t value;
};

// The names stored forms use for colours, in the class library's order.
const NamedValue kColors[] = {
    {"clBlack", clBlack},
    {"clMaroon", clMaroon},
    {"clGreen", clGreen},
    {"clOlive", clOlive},
    {"clNavy", clNavy},
    {"clPurple", clPurple},
    {"clTeal", clTeal},
    {"clGray", clGray},
    {"clSilver", clSilver},
    {"clRed", clRed},
    {"clLime", clLime},
    {"clYellow", clYellow},
    {"clBlue", clBlue},
    {"clFuchsia", clFuchsia},
    {"clAqua", clAqua},
    {"clWhite", clWhite},
    {"clMoneyGreen", clMoneyGreen},
    {"clSkyBlue", clSkyBlue},
    {"clCream", clCream},
    {"clMedGray", clMedGray},
    {"clActiveBorder", clActiveBorder},
    {"clActiveCaption", clActiveCaption},
    {"clAppWorkSpace", clAppWorkSpace},
    {"clBackground", clBackground},
    {"clBtnFace", clBtnFace},
    {"clBtnHighlight", clBtnHighlight},
    {"clBtnShadow", clBtnShadow},
    {"clBtnText", clBtnText},
    {"clCaptionText", clCaptionText},
    {"clDefault", clDefault},
    {"clGradientActiveCaption", clGradientActiveCaption},
    {"clGradientInactiveCaption", clGradientInactiveCaption},
    {"clGrayText", clGrayText},
    {"clHighlight", clHighlight},
    {"clHighlightText", clHighlightText},
    {"clHotLight", clHotLight},
    {"clInactiveBorder", clInactiveBorder},
    {"clInactiveCaption", clInactiveCaption},
    {"clInactiveCaptionText", clInactiveCaptionText},
    {"clInfoBk", clInfoBk},
    {"clInfoText", clInfoText},
    {"clMenu", clMenu},
    {"clMenuBar", clMenuBar},
    {"clMenuHighlight", clMenuHighlight},
    {"clMenuText", clMenuText},
    {"clNone", clNone},
    {"clScrollBar", clScrollBar},
    {"cl3DDkShadow", cl3DDkShadow},
    {"cl3DLight", cl3DLight},
    {"clWindow", clWindow},
    {"clWindowFrame", clWindowFrame},
    {"clWindowText", clWindowText},
};

const NamedValue kCharsets[] = {
    {"ANSI_CHARSET", 0},         {"DEFAULT_CHARSET", 1},      {"SYMBOL_CHARSET", 2},
    {"MAC_CHARSET", 77},         {"SHIFTJIS_CHARSET", 128},   {"HANGEUL_CHARSET", 129},
    {"JOHAB_CHARSET", 130},      {"GB2312_CHARSET", 134},     {"CHINESEBIG5_CHARSET", 136},
    {"GREEK_CHARSET", 161},      {"TURKISH_CHARSET", 162},    {"VIETNAMESE_CHARSET", 163},
    {"HEBREW_CHARSET", 177},     {"ARABIC_CHARSET", 178},     {"BALTIC_CHARSET", 186},
    {"RUSSIAN_CHARSET", 204},    {"THAI_CHARSET", 222},       {"EASTEUROPE_CHARSET", 238},
    {"OEM_CHARSET", 255},
};

template <std::size_t N>
bool ToIdent(const NamedValue (&table)[N], std::int64_t value, std::string& ident) {
    for (const NamedValue& n : table)
        if (n.value == value) {
            ident = n.name;
            return true;
        }
    return false;
}

template <std::size_t N>
bool FromIdent(const NamedValue (&table)[N], const std::string& ident, std::int64_t& value) {
    for (const NamedValue& n : table)
        if (SameText(ident, n.name)) {
            value = n.value;
            return true;
        }
    return false;
}

// Half away from zero, as the platform's MulDiv rounds.
int RoundAway(double v) { return static_cast<int>(v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5)); }

}  // namespace

bool ColorToIdent(std::int64_t Color, std::string& Ident) { return ToIdent(kColors, Color, Ident); }

bool IdentToColor(const std::string& Ident, std::int64_t& Color) { return FromIdent(kColors, Ident, Color); }

std::string ColorToString(TColor Color) {
    std::string ident;
    if (ColorToIdent(Color, ident)) return ident;
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%08X", static_cast<unsigned>(Color));
    return buf;
}

TColor StringToColor(const std::string& Text) {
    std::int64_t v = 0;
    if (IdentToColor(Text, v)) return static_cast<TColor>(v);
    std::string t = Trim(Text);
    bool hex = !t.empty() && t[0] == '$';
    std::string digits = hex ? t.substr(1) : t;
    bool negative = !hex && !digits.empty() && digits[0] == '-';
    if (negative) digits.erase(0, 1);
    if (digits.empty() || digits.size() > (hex ? 8u : 10u)) throw EConvertError("'" + Text + "' is not a valid integer value");
    std::int64_t n = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            throw EConvertError("'" + Text + "' is not a valid integer value");
        n = n * (hex ? 16 : 10) + d;
    }
    if (negative) n = -n;
    if (!hex && (n < INT32_MIN || n > INT32_MAX)) throw EConvertError("'" + Text + "' is not a valid integer value");
    return static_cast<TColor>(static_cast<std::uint32_t>(n));
}

namespace gfx {

std::uint32_t ColorToRGB(TColor Color) {
    auto u = static_cast<std::uint32_t>(Color);
    if ((u & 0xFF000000u) == 0x80000000u) {
        switch (u & 0xFF) {
            case 0x01: return 0x3A6EA5;  // desktop
            case 0x02: return 0x0A246A;  // active caption
            case 0x03: return 0x808080;
            case 0x05: return 0xFFFFFF;  // window
            case 0x06: return 0x000000;
            case 0x07:
            case 0x08:
            case 0x09:
            case 0x12:
            case 0x17: return 0x000000;  // texts
            case 0x0C: return 0x808080;
            case 0x0D: return 0x0A246A;  // highlight
            case 0x0E: return 0xFFFFFF;
            case 0x10: return 0x808080;  // button shadow
            case 0x11: return 0x808080;  // grey text
            case 0x13: return 0xD4D0C8;
            case 0x14: return 0xFFFFFF;  // button highlight
            case 0x15: return 0x404040;
            case 0x18: return 0xFFFFE1;  // tooltip background
            case 0x1A: return 0x000080;
            default: return 0xD4D0C8;  // button face, menus, borders
        }
    }
    if (Color == clDefault) return 0xFFFFFF;
    if (Color == clNone) return 0x000000;
    return ((u & 0xFF) << 16) | (u & 0xFF00) | ((u >> 16) & 0xFF);
}

}  // namespace gfx

// ---------------------------------------------------------------------------
// Property types

namespace {

using typinfo::Keep;

}  // namespace

const TTypeInfo* TypeInfoColor() {
    static const TTypeInfo* t = [] {
        TTypeInfo i;
        i.Kind = tkInteger;
        i.Name = "TColor";
        i.MinValue = INT32_MIN;
        i.MaxValue = INT32_MAX;
        i.IdentToInt = IdentToColor;
        i.IntToIdent = ColorToIdent;
        return Keep(std::move(i));
    }();
    return t;
}

const TTypeInfo* TypeInfoFontCharset() {
    static const TTypeInfo* t = [] {
        TTypeInfo i;
        i.Kind = tkInteger;
        i.Name = "TFontCharset";
        i.MinValue = 0;
        i.MaxValue = 255;
        i.IdentToInt = [](const std::string& s, std::int64_t& v) { return FromIdent(kCharsets, s, v); };
        i.IntToIdent = [](std::int64_t v, std::string& s) { return ToIdent(kCharsets, v, s); };
        return Keep(std::move(i));
    }();
    return t;
}

const TTypeInfo* TypeInfoFontStyle() {
    static const TTypeInfo* t = Keep(MakeEnumTypeInfo("TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}));
    return t;
}

const TTypeInfo* TypeInfoFontStyles() {
    static const TTypeInfo* t = Keep(MakeSetTypeInfo("TFontStyles", *TypeInfoFontStyle()));
    return t;
}

const TTypeInfo* TypeInfoFontPitch() {
    static const TTypeInfo* t = Keep(MakeEnumTypeInfo("TFontPitch", {"fpDefault", "fpVariable", "fpFixed"}));
    return t;
}

const TTypeInfo* TypeInfoPenStyle() {
    static const TTypeInfo* t = Keep(MakeEnumTypeInfo(
        "TPenStyle", {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear", "psInsideFrame"}));
    return t;
}

const TTypeInfo* TypeInfoPenMode() {
    static const TTypeInfo* t = Keep(MakeEnumTypeInfo(
        "TPenMode", {"pmBlack", "pmWhite", "pmNop", "pmNot", "pmCopy", "pmNotCopy", "pmMergePenNot", "pmMaskPenNot",
                     "pmMergeNotPen", "pmMaskNotPen", "pmMerge", "pmNotMerge", "pmMask", "pmNotMask", "pmXor",
                     "pmNotXor"}));
    return t;
}

const TTypeInfo* TypeInfoBrushStyle() {
    static const TTypeInfo* t = Keep(MakeEnumTypeInfo("TBrushStyle", {"bsSolid", "bsClear", "bsHorizontal", "bsVertical",
                                                                      "bsFDiagonal", "bsBDiagonal", "bsCross",
                                                                      "bsDiagCross"}));
    return t;
}

// ---------------------------------------------------------------------------
// TGraphicsObject

TClass TGraphicsObject::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TGraphicsObject>("TGraphicsObject", TPersistent::StaticClassType()).Build();
    return &info;
}

void TGraphicsObject::Changed() {
    if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------
// TFont

TClass TFont::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TFont>("TFont", TGraphicsObject::StaticClassType())
            .Ordinal("Charset", TypeInfoFontCharset(), &TFont::Charset, &TFont::SetCharset)
            .Ordinal("Color", TypeInfoColor(), &TFont::Color, &TFont::SetColor)
            .Integer("Height", &TFont::Height, &TFont::SetStoredHeight)
            .String("Name", &TFont::Name, &TFont::SetName)
            .Enum("Pitch", TypeInfoFontPitch(), &TFont::Pitch, &TFont::SetPitch, fpDefault)
            .Integer("Size", &TFont::Size, &TFont::SetSize)
            .NotStored()
            .Set("Style", TypeInfoFontStyles(), &TFont::Style, &TFont::SetStyle)
            .Build();
    return &info;
}

TFont::TFont(const TFont& Other) : TGraphicsObject(Other) { CopyFrom(Other); }

TFont& TFont::operator=(const TFont& Other) {
    if (this != &Other) Assign(const_cast<TFont*>(&Other));
    return *this;
}

void TFont::CopyFrom(const TFont& Other) {
    name_ = Other.name_;
    points_ = Other.points_;
    cellHeight_ = Other.cellHeight_;
    color_ = Other.color_;
    charset_ = Other.charset_;
    pitch_ = Other.pitch_;
    style_ = Other.style_;
    pixelsPerInch_ = Other.pixelsPerInch_;
}

void TFont::Assign(TPersistent* Source) {
    if (auto* f = dynamic_cast<TFont*>(Source)) {
        AssignValue(*f);
        return;
    }
    TGraphicsObject::Assign(Source);
}

void TFont::AssignValue(const TFont& Source) {
    if (&Source == this) return;
    CopyFrom(Source);
    Changed();
}

void TFont::SetName(const std::string& Value) {
    if (Value.empty() || Value == name_) return;  // a font always names a face
    name_ = Value;
    Changed();
}

int TFont::Size() const { return RoundAway(points_); }

void TFont::SetSize(int Value) {
    if (Value < 0) {
        // A negative size is a height in pixels, as the class library reads it.
        SetHeight(-Value);
        return;
    }
    SetSizeInPoints(Value);
}

void TFont::SetSizeInPoints(double Value) {
    if (!(Value > 0) || !std::isfinite(Value)) return;
    if (Value == points_ && !cellHeight_) return;
    points_ = Value;
    cellHeight_ = false;
    Changed();
}

int TFont::Height() const {
    int h = RoundAway(points_ * pixelsPerInch_ / 72.0);
    return cellHeight_ ? h : -h;
}

void TFont::SetHeight(int Value) {
    if (Value == 0 || Value == INT32_MIN) return;
    double points = std::abs(static_cast<double>(Value)) * 72.0 / pixelsPerInch_;
    bool cell = Value > 0;
    if (points == points_ && cell == cellHeight_) return;
    points_ = points;
    cellHeight_ = cell;
    Changed();
}

void TFont::SetColor(TColor Value) {
    if (Value == color_) return;
    color_ = Value;
    Changed();
}

void TFont::SetCharset(TFontCharset Value) {
    if (Value == charset_) return;
    charset_ = Value;
    Changed();
}

void TFont::SetPitch(TFontPitch Value) {
    if (Value == pitch_) return;
    pitch_ = Value;
    Changed();
}

void TFont::SetStyle(TFontStyles Value) {
    if (Value == style_) return;
    style_ = Value;
    Changed();
}

void TFont::SetPixelsPerInch(int Value) {
    if (Value <= 0) return;
    pixelsPerInch_ = Value;
}

void TFont::SetStoredHeight(int Value) {
    // A height that a whole point size gives (-13 at 96 ppi is 10 points) is
    // that size: stored forms keep the height only, and a 10-point font must
    // stay 10 points on a 600-dpi device, not become 9.75.
    if (Value < 0 && Value != INT32_MIN) {
        int whole = RoundAway(-static_cast<double>(Value) * 72.0 / pixelsPerInch_);
        if (whole > 0 && RoundAway(whole * pixelsPerInch_ / 72.0) == -Value) {
            SetSizeInPoints(whole);
            return;
        }
    }
    SetHeight(Value);
}

bool TFont::operator==(const TFont& Other) const {
    return name_ == Other.name_ && points_ == Other.points_ && cellHeight_ == Other.cellHeight_ &&
           color_ == Other.color_ && charset_ == Other.charset_ && pitch_ == Other.pitch_ && style_ == Other.style_;
}

// ---------------------------------------------------------------------------
// TPen

TClass TPen::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TPen>("TPen", TGraphicsObject::StaticClassType())
                                       .Ordinal("Color", TypeInfoColor(), &TPen::Color, &TPen::SetColor, clBlack)
                                       .Enum("Mode", TypeInfoPenMode(), &TPen::Mode, &TPen::SetMode, pmCopy)
                                       .Enum("Style", TypeInfoPenStyle(), &TPen::Style, &TPen::SetStyle, psSolid)
                                       .Integer("Width", &TPen::Width, &TPen::SetWidth, 1)
                                       .Build();
    return &info;
}

TPen::TPen(const TPen& Other)
    : TGraphicsObject(Other), color_(Other.color_), mode_(Other.mode_), style_(Other.style_), width_(Other.width_) {}

TPen& TPen::operator=(const TPen& Other) {
    if (this != &Other) Assign(const_cast<TPen*>(&Other));
    return *this;
}

void TPen::Assign(TPersistent* Source) {
    if (auto* p = dynamic_cast<TPen*>(Source)) {
        AssignValue(*p);
        return;
    }
    TGraphicsObject::Assign(Source);
}

void TPen::AssignValue(const TPen& Source) {
    if (&Source == this) return;
    color_ = Source.color_;
    mode_ = Source.mode_;
    style_ = Source.style_;
    width_ = Source.width_;
    Changed();
}

void TPen::SetColor(TColor Value) {
    if (Value == color_) return;
    color_ = Value;
    Changed();
}

void TPen::SetMode(TPenMode Value) {
    if (Value == mode_) return;
    mode_ = Value;
    Changed();
}

void TPen::SetStyle(TPenStyle Value) {
    if (Value == style_) return;
    style_ = Value;
    Changed();
}

void TPen::SetWidth(int Value) {
    if (Value < 0 || Value == width_) return;
    width_ = Value;
    Changed();
}

bool TPen::operator==(const TPen& Other) const {
    return color_ == Other.color_ && mode_ == Other.mode_ && style_ == Other.style_ && width_ == Other.width_;
}

// ---------------------------------------------------------------------------
// TBrush

TClass TBrush::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TBrush>("TBrush", TGraphicsObject::StaticClassType())
            .Ordinal("Color", TypeInfoColor(), &TBrush::Color, &TBrush::SetColor, clWhite)
            .Enum("Style", TypeInfoBrushStyle(), &TBrush::Style, &TBrush::SetStyle, bsSolid)
            .Build();
    return &info;
}

TBrush::TBrush(const TBrush& Other) : TGraphicsObject(Other), color_(Other.color_), style_(Other.style_) {}

TBrush& TBrush::operator=(const TBrush& Other) {
    if (this != &Other) Assign(const_cast<TBrush*>(&Other));
    return *this;
}

void TBrush::Assign(TPersistent* Source) {
    if (auto* b = dynamic_cast<TBrush*>(Source)) {
        AssignValue(*b);
        return;
    }
    TGraphicsObject::Assign(Source);
}

void TBrush::AssignValue(const TBrush& Source) {
    if (&Source == this) return;
    color_ = Source.color_;
    style_ = Source.style_;
    Changed();
}

void TBrush::SetColor(TColor Value) {
    if (Value == color_ && style_ != bsClear) return;
    color_ = Value;
    if (style_ == bsClear) style_ = bsSolid;
    Changed();
}

void TBrush::SetStyle(TBrushStyle Value) {
    if (Value == style_) return;
    style_ = Value;
    Changed();
}

bool TBrush::operator==(const TBrush& Other) const { return color_ == Other.color_ && style_ == Other.style_; }

namespace {
const bool registered =
    (RegisterClasses({TFont::StaticClassType(), TPen::StaticClassType(), TBrush::StaticClassType()}), true);
}  // namespace
