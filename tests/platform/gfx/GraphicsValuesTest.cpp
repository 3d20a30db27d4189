// Fonts, pens and brushes as values: sizes and heights, copies, change
// notices, and their place in stored forms.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/gfx/Graphics.h"
#include "platform/rtl/Filer.h"

namespace {

class TStyled : public TComponent {
public:
    explicit TStyled(TComponent* AOwner) : TComponent(AOwner) {}
    FAT_CLASS(TStyled)
    TFont Font;
    TPen Pen;
    TBrush Brush;
    TFont* GetFont() const { return const_cast<TFont*>(&Font); }
    TPen* GetPen() const { return const_cast<TPen*>(&Pen); }
    TBrush* GetBrush() const { return const_cast<TBrush*>(&Brush); }
};

TClass TStyled::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TStyled>("TStyled", TComponent::StaticClassType())
                                       .Object("Brush", TBrush::StaticClassType(), &TStyled::GetBrush, nullptr)
                                       .Object("Font", TFont::StaticClassType(), &TStyled::GetFont, nullptr)
                                       .Object("Pen", TPen::StaticClassType(), &TStyled::GetPen, nullptr)
                                       .Build();
    return &info;
}

std::string ToText(TComponent* c) {
    TMemoryStream bin;
    WriteComponent(bin, c);
    bin.SetPosition(0);
    TStringStream out;
    ObjectBinaryToText(bin, out);
    return out.DataString();
}

std::unique_ptr<TStyled> FromText(const std::string& text) {
    RegisterClass(TStyled::StaticClassType());
    TStringStream in(text), bin;
    ObjectTextToBinary(in, bin);
    bin.SetPosition(0);
    return std::unique_ptr<TStyled>(static_cast<TStyled*>(ReadComponent(bin, nullptr)));
}

}  // namespace

TEST(FontSize, HeightIsTheSizeInPixelsAtTheFontsResolutionRoundedHalfAway) {
    TFont f;
    EXPECT_EQ(f.Name(), "MS Sans Serif");
    EXPECT_EQ(f.Size(), 8);
    EXPECT_EQ(f.Height(), -11);  // 8 * 96 / 72 = 10.67
    f.SetSize(10);
    EXPECT_EQ(f.Height(), -13);  // 13.33
    f.SetSize(9);
    EXPECT_EQ(f.Height(), -12);  // 12.0
    f.SetSize(15);
    EXPECT_EQ(f.Height(), -20);
    f.SetPixelsPerInch(600);
    EXPECT_EQ(f.Size(), 15);
    EXPECT_EQ(f.Height(), -125);
    f.SetSize(10);
    EXPECT_EQ(f.Height(), -83);  // 83.33
    f.SetSize(11);
    EXPECT_EQ(f.Height(), -92);  // 91.67
}

TEST(FontSize, AHeightGivenInPixelsKeepsItsExactSize) {
    TFont f;
    f.SetHeight(-13);  // a device scaling a font: exact
    EXPECT_DOUBLE_EQ(f.SizeInPoints(), 9.75);
    f.SetStoredHeight(-13);  // a stored form: what 10 points give at 96 ppi
    EXPECT_DOUBLE_EQ(f.SizeInPoints(), 10.0);
    f.SetPixelsPerInch(600);
    EXPECT_EQ(f.Height(), -83);
    f.SetPixelsPerInch(96);
    f.SetStoredHeight(-14);  // no whole size gives 14 pixels (10 -> 13, 11 -> 15)
    EXPECT_DOUBLE_EQ(f.SizeInPoints(), 10.5);
    EXPECT_EQ(f.Size(), 11);
    EXPECT_EQ(f.Height(), -14);
    f.SetPixelsPerInch(192);
    EXPECT_EQ(f.Height(), -28);  // the same size, twice the pixels
    f.SetHeight(20);             // a cell height
    EXPECT_TRUE(f.IsCellHeight());
    EXPECT_EQ(f.Height(), 20);
    f.SetSize(-16);  // a negative size is a height in pixels
    EXPECT_EQ(f.Height(), 16);
    f.SetSize(12);
    EXPECT_FALSE(f.IsCellHeight());
    f.SetSize(0);  // nothing to draw with: ignored
    f.SetHeight(0);
    f.SetName("");
    EXPECT_EQ(f.Size(), 12);
    EXPECT_EQ(f.Name(), "MS Sans Serif");
}

TEST(GraphicsValues, CopiesCarryTheValueAndNeverTheOwnersHandler) {
    int changes = 0;
    TFont a;
    a.OnChange = [&](TObject*) { ++changes; };
    a.SetName("Arial");
    a.SetStyle({fsBold, fsUnderline});
    a.SetColor(clRed);
    EXPECT_EQ(changes, 3);
    a.SetColor(clRed);  // no change, no notice
    EXPECT_EQ(changes, 3);

    TFont b(a);
    EXPECT_FALSE(b.OnChange);
    EXPECT_TRUE(b == a);
    b.SetSize(20);
    EXPECT_EQ(changes, 3);
    EXPECT_FALSE(b == a);
    a = b;  // assignment notifies the owner of the target
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(a.Size(), 20);

    TPen p;
    TFont* asFont = &a;
    EXPECT_THROW(asFont->Assign(&p), EConvertError);

    TPen pen;
    pen.SetStyle(psDot);
    pen.SetWidth(-3);  // refused
    EXPECT_EQ(pen.Width(), 1);
    TPen penCopy(pen);
    EXPECT_TRUE(penCopy == pen);
    penCopy.SetMode(pmXor);
    EXPECT_FALSE(penCopy == pen);
}

TEST(GraphicsValues, AColourGivenToAClearBrushMakesItSolid) {
    TBrush b;
    b.SetStyle(bsClear);
    b.SetColor(clWhite);
    EXPECT_EQ(b.Style(), bsSolid);
    b.SetStyle(bsDiagCross);
    b.SetColor(clRed);
    EXPECT_EQ(b.Style(), bsDiagCross);
}

TEST(ColourNames, NamedColoursAndNumbersBothWays) {
    EXPECT_EQ(ColorToString(clRed), "clRed");
    EXPECT_EQ(ColorToString(clWindowText), "clWindowText");
    EXPECT_EQ(ColorToString(0x123456), "$00123456");
    EXPECT_EQ(StringToColor("clwindow"), clWindow);
    EXPECT_EQ(StringToColor("$FF"), clRed);
    EXPECT_EQ(StringToColor("16711680"), clBlue);
    EXPECT_EQ(StringToColor("-2147483643"), clWindow);
    EXPECT_THROW(StringToColor("clNoSuchColour"), EConvertError);
    EXPECT_THROW(StringToColor("$1G"), EConvertError);
    EXPECT_THROW(StringToColor(""), EConvertError);
    EXPECT_EQ(gfx::ColorToRGB(clRed), 0xFF0000u);
    EXPECT_EQ(gfx::ColorToRGB(0x123456), 0x563412u);
    EXPECT_EQ(gfx::ColorToRGB(clWindow), 0xFFFFFFu);
    EXPECT_EQ(gfx::ColorToRGB(clWindowText), 0x000000u);
}

TEST(GraphicsStreaming, DefaultsAreWrittenAsStoredFormsHaveThem) {
    TStyled s(nullptr);
    s.SetName("Box");
    EXPECT_EQ(ToText(&s),
              "object Box: TStyled\n"
              "  Font.Charset = DEFAULT_CHARSET\n"
              "  Font.Color = clWindowText\n"
              "  Font.Height = -11\n"
              "  Font.Name = 'MS Sans Serif'\n"
              "  Font.Style = []\n"
              "end\n");
}

TEST(GraphicsStreaming, ChangedValuesRoundTripByNameAndNumber) {
    TStyled s(nullptr);
    s.SetName("Box");
    s.Font.SetName("Courier New");
    s.Font.SetSize(10);
    s.Font.SetStyle({fsBold, fsItalic});
    s.Font.SetColor(0x0080FF);
    s.Font.SetCharset(ANSI_CHARSET);
    s.Font.SetPitch(fpFixed);
    s.Pen.SetColor(clNavy);
    s.Pen.SetStyle(psDashDotDot);
    s.Pen.SetWidth(3);
    s.Pen.SetMode(pmNotXor);
    s.Brush.SetColor(clSilver);
    s.Brush.SetStyle(bsFDiagonal);
    std::string text = ToText(&s);
    EXPECT_EQ(text,
              "object Box: TStyled\n"
              "  Brush.Color = clSilver\n"
              "  Brush.Style = bsFDiagonal\n"
              "  Font.Charset = ANSI_CHARSET\n"
              "  Font.Color = 33023\n"
              "  Font.Height = -13\n"
              "  Font.Name = 'Courier New'\n"
              "  Font.Pitch = fpFixed\n"
              "  Font.Style = [fsBold, fsItalic]\n"
              "  Pen.Color = clNavy\n"
              "  Pen.Mode = pmNotXor\n"
              "  Pen.Style = psDashDotDot\n"
              "  Pen.Width = 3\n"
              "end\n");
    auto back = FromText(text);
    EXPECT_TRUE(back->Font == s.Font) << ToText(back.get());
    EXPECT_TRUE(back->Pen == s.Pen);
    EXPECT_TRUE(back->Brush == s.Brush);
}

TEST(GraphicsStreaming, OlderFormsWithSizesNumbersAndUnknownNames) {
    auto s = FromText(
        "object Box: TStyled\n"
        "  Font.Charset = 0\n"
        "  Font.Color = -2147483640\n"
        "  Font.Size = 12\n"
        "  Brush.Style = bsClear\n"
        "end\n");
    EXPECT_EQ(s->Font.Charset(), ANSI_CHARSET);
    EXPECT_EQ(s->Font.Color(), clWindowText);
    EXPECT_EQ(s->Font.Size(), 12);
    EXPECT_EQ(s->Brush.Style(), bsClear);
    EXPECT_THROW(FromText("object Box: TStyled\n  Font.Color = clNotAColour\nend\n"), EReadError);
    EXPECT_THROW(FromText("object Box: TStyled\n  Font.Charset = 300\nend\n"), EReadError);
}
