// The PDF writer against qpdf, the poppler tools and fontTools.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <memory>
#include <regex>
#include <set>

#include <QImage>

#include "report/rpTextLayout.h"
#include "report_output/rpPDFDevice.h"
#include "report_output/rpRichText.h"
#include "report_output/rpScreenDevice.h"
#include "tests/report_output/PdfTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using filetest::AddText;
using filetest::NewPage;
using filetest::Shell;
using U = TrpPDFUtils;
using Pages = std::vector<std::unique_ptr<TrpPage>>;

void Job(TrpPDFDevice& Device, const std::string& File, const Pages& P) {
    Device.SetFileName(File);
    Device.StartJob();
    for (const auto& p : P) Device.ReceivePage(p.get());
    Device.EndJob();
}

std::string Write(const std::string& File, const Pages& P, TrpPDFSettings* Settings = nullptr) {
    TrpPDFDevice device(nullptr);
    if (Settings != nullptr) device.SetPDFSettings(Settings);
    Job(device, File, P);
    return testsupport::ReadAll(File);
}

std::string Check(const std::string& File) {
    const auto r = Shell("qpdf --check " + File);
    return r.Status == 0 ? "clean" : r.Output;
}

// The file with every stream inflated (qpdf's QDF form).
std::string Uncompressed(const std::string& File) {
    Shell("qpdf --qdf --object-streams=disable --stream-data=uncompress " + File + " " + File + ".qdf");
    return testsupport::ReadAll(File + ".qdf");
}

TrpDrawText* Font(TrpDrawText* T, const std::string& Name, TFontStyles Style = {}) {
    TFont f;
    f.SetName(Name);
    f.SetSize(10);
    f.SetStyle(Style);
    T->SetFont(&f);
    return T;
}

std::unique_ptr<TBitmap> Picture(int W, int H, TColor Color) {
    auto b = std::make_unique<TBitmap>();
    b->SetSize(W, H);
    b->Canvas()->Brush()->SetColor(Color);
    b->Canvas()->FillRect(TRect{0, 0, W, H});
    return b;
}

void Box(TrpDrawCommand* C, int Left, int Top, int Width, int Height) {
    C->SetLeft(Left);
    C->SetTop(Top);
    C->SetWidth(Width);
    C->SetHeight(Height);
}

TrpDrawImage* AddImage(TrpPage* Page, TBitmap* Bitmap, const std::string& Name, int Left, int Top) {
    auto* i = new TrpDrawImage(nullptr);
    i->Picture()->SetGraphic(Bitmap);
    i->SetImageName(Name);
    i->SetLeft(Left);
    i->SetTop(Top);
    i->SetWidth(30000);
    i->SetHeight(15000);
    Page->AddDrawCommand(i);
    return i;
}

}  // namespace

TEST(PdfUtils, NumbersColoursAndStringsAreWrittenAsReadersExpect) {
    struct {
        double v;
        const char* text;
    } numbers[] = {{12, "12.0"},          {0.5, "0.5"},     {841.8902184, "841.89022"}, {-0.0, "0.0"},
                   {-0.000001, "0.0"},    {-2.5, "-2.5"},   {1e-5, "0.00001"},          {std::nan(""), "0.0"},
                   {1.0 / 0.0, "0.0"},    {612.0, "612.0"}};
    for (const auto& n : numbers) EXPECT_EQ(U::FormatNumber(n.v), n.text) << n.v;
    EXPECT_EQ(U::ColorToPDF(static_cast<TColor>(0x8000FF)), "1.0 0.0 0.502");
    // Only the three delimiters are escaped; nothing follows the ü.
    EXPECT_EQ(U::EscapeText("a(b)c\\ü!"), "a\\(b\\)c\\\\\xFC!");
    EXPECT_EQ(U::InfoString("a(b) – €"), "(a\\(b\\) \x85 \xA0)");
    EXPECT_EQ(U::InfoString("Ω"), "<FEFF03A9>");
    EXPECT_EQ(U::EscapeName("Minha Fonte/ção"), "Minha#20Fonte#2F#C3#A7#C3#A3o");
    EXPECT_EQ(U::PenStyleToDash(3), "[ 8 3 2 3 ] 0 d");
    EXPECT_EQ(U::PenStyleToDash(5), "");
}

TEST(PdfDevice, AOnePageFileNumbersItsObjectsAndQpdfFindsItClean) {
    testsupport::TempDir dir;
    Pages pages;
    pages.emplace_back(NewPage(1, true));
    Font(AddText(pages[0].get(), "Olá", 10000, 10000), "Courier");
    TrpPDFSettings settings;
    settings.SetTitle("C:\\notas) 5 €");
    const std::string pdf = Write(dir.file("one.pdf"), pages, &settings);
    EXPECT_EQ(Check(dir.file("one.pdf")), "clean");
    EXPECT_EQ(pdf.rfind("%PDF-1.3\r\n1 0 obj\r\n[/PDF /Text /ImageB /ImageC]\r\nendobj\r\n", 0), 0u);
    EXPECT_NE(pdf.find("6 0 obj\r\n<< /Length "), std::string::npos);
    EXPECT_NE(pdf.find("7 0 obj\r\n<< /Type /Font\r\n/Subtype /Type1\r\n/Name /Courier\r\n"), std::string::npos);
    EXPECT_NE(pdf.find("8 0 obj\r\n<< /Type /Page\r\n/Parent 5 0 R\r\n/MediaBox [0 0 595 841.89022]"),
              std::string::npos);
    EXPECT_NE(pdf.find("/Contents 6 0 R"), std::string::npos);
    EXPECT_NE(pdf.find("trailer\r\n<< /Size 9\r\n/Info 3 0 R\r\n/Root 4 0 R\r\n>>"), std::string::npos);
    EXPECT_TRUE(std::regex_search(pdf, std::regex("/Length [0-9]+ +\r\n"))) << "nine places for the length";
    const std::string info = Shell("pdfinfo " + dir.file("one.pdf")).Output;
    EXPECT_TRUE(std::regex_search(info, std::regex("PDF version: +1\\.3\n"))) << info;
    EXPECT_TRUE(std::regex_search(info, std::regex("Title: +C:\\\\notas\\) 5 €\n"))) << info;
    EXPECT_TRUE(std::regex_search(info, std::regex("Page size: +595 x 841\\.89 pts \\(A4\\)"))) << info;

    Pages letter;
    letter.emplace_back(NewPage(1, true, 215900, 279401));
    EXPECT_NE(Write(dir.file("letter.pdf"), letter).find("/MediaBox [0 0 612 792.00326]"), std::string::npos);
    const std::string letterInfo = Shell("pdfinfo " + dir.file("letter.pdf")).Output;
    EXPECT_TRUE(std::regex_search(letterInfo, std::regex("Page size: +612 x 792\\.003 pts \\(letter\\)"))) << letterInfo;
}

TEST(PdfDevice, EmptyLongAndRepeatedJobsAreValidFilesNumberedFromOne) {
    testsupport::TempDir dir;
    TrpPDFDevice device(nullptr);
    Job(device, dir.file("empty.pdf"), {});
    EXPECT_EQ(Check(dir.file("empty.pdf")), "clean");
    Pages hundred;
    for (int i = 1; i <= 100; ++i) {
        hundred.emplace_back(NewPage(i, i == 100));
        Font(AddText(hundred.back().get(), "Página " + std::to_string(i), 10000, 10000), "Arial");
    }
    Job(device, dir.file("hundred.pdf"), hundred);
    EXPECT_EQ(Check(dir.file("hundred.pdf")), "clean");
    EXPECT_NE(Shell("pdfinfo " + dir.file("hundred.pdf")).Output.find(" 100\n"), std::string::npos);
    // The same device, a second job: a file of its own, from object 1.
    Pages one;
    one.emplace_back(NewPage(1, true));
    Font(AddText(one[0].get(), "x", 0, 0), "Courier");
    Job(device, dir.file("again.pdf"), one);
    EXPECT_EQ(Check(dir.file("again.pdf")), "clean");
    EXPECT_NE(testsupport::ReadAll(dir.file("again.pdf")).find("/Size 9\r\n"), std::string::npos);
    // Cancelled: no file, and the device is free again.
    device.SetFileName(dir.file("cancel.pdf"));
    device.StartJob();
    device.ReceivePage(one[0].get());
    device.CancelJob();
    EXPECT_FALSE(device.Busy());
    EXPECT_FALSE(std::filesystem::exists(dir.file("cancel.pdf")));
}

TEST(PdfDevice, FontsAreTrueTypeWhenInstalledAndStandardOtherwise) {
    testsupport::TempDir dir;
    Pages pages;
    pages.emplace_back(NewPage(1, true));
    TrpPage* p = pages[0].get();
    Font(AddText(p, "Relatório de Notas – ção ã € ü Müller", 10000, 10000, 150000), "Arial", {fsBold});
    Font(AddText(p, "Helvetica", 10000, 20000), "Arial Unicode MS");
    Font(AddText(p, "Courier", 10000, 30000), "Courier", {fsBold, fsItalic});
    Font(AddText(p, "Times", 10000, 40000), "MS Sans Serif");
    Font(AddText(p, "Símbolos", 10000, 50000), "Wingdings");
    const std::string file = dir.file("fonts.pdf");
    Write(file, pages);
    EXPECT_EQ(Check(file), "clean");
    const std::string fonts = Shell("pdffonts " + file).Output;
    EXPECT_TRUE(std::regex_search(fonts, std::regex("Arial,Bold +TrueType +WinAnsi +no"))) << fonts;
    EXPECT_TRUE(std::regex_search(fonts, std::regex("Helvetica +Type 1 +WinAnsi +no"))) << fonts;
    EXPECT_TRUE(std::regex_search(fonts, std::regex("Courier-BoldOblique +Type 1 +WinAnsi +no"))) << fonts;
    EXPECT_TRUE(std::regex_search(fonts, std::regex("Times-Roman +Type 1 +WinAnsi +no"))) << fonts;
    EXPECT_TRUE(std::regex_search(fonts, std::regex("ZapfDingbats +Type 1"))) << fonts;
    const auto text = Shell("pdftotext -f 1 -l 1 " + file + " -").Output;
    EXPECT_EQ(text.substr(0, text.find('\n')), "Relatório de Notas – ção ã € ü Müller");
    const std::string pdf = testsupport::ReadAll(file);
    EXPECT_NE(pdf.find("/Flags 32\r\n"), std::string::npos) << "Arial: neither fixed-pitch nor symbolic";

    // The widths are Liberation Sans Bold's advances per 1000 units of em.
    const std::string face = Shell("fc-match 'Arial:bold' -f '%{file}'").Output;
    const std::string script = dir.file("widths.py");
    testsupport::WriteAll(script, R"(import re, sys
from fontTools.ttLib import TTFont
pdf = open(sys.argv[1], 'rb').read()
first = int(re.search(rb'/FirstChar (\d+)', pdf).group(1))
num = int(re.search(rb'/Widths (\d+) 0 R', pdf).group(1))
arr = re.search(rb'\r\n' + str(num).encode() + rb' 0 obj\r\n\[(.*?)\]', pdf, re.S).group(1)
widths = [float(x) for x in arr.split()]
font = TTFont(sys.argv[2])
cmap = font.getBestCmap(); hmtx = font['hmtx']; upem = font['head'].unitsPerEm
bad = 0
for i, w in enumerate(widths):
    code = first + i
    try:
        ch = bytes([code]).decode('cp1252')
    except UnicodeDecodeError:
        continue
    g = cmap.get(ord(ch))
    if g is None:
        continue
    if abs(hmtx[g][0] * 1000 / upem - w) > 1e-4:
        bad += 1
print(len(widths), bad)
)");
    EXPECT_EQ(Shell("/usr/bin/python3 " + script + " " + file + " " + face).Output, "224 0\n");
}

using namespace std::string_literals;

TEST(PdfDevice, APictureIsStoredOnceAndItsSamplesAreRawRgb) {
    testsupport::TempDir dir;
    auto logo = Picture(100, 50, static_cast<TColor>(0x0000FF));
    Pages pages;
    for (int i = 1; i <= 10; ++i) {
        pages.emplace_back(NewPage(i, i == 10));
        AddImage(pages.back().get(), logo.get(), "logo", 10000, 10000);
    }
    const std::string file = dir.file("logo.pdf");
    Write(file, pages);
    EXPECT_EQ(Check(file), "clean");
    const std::string list = Shell("pdfimages -list " + file).Output;
    std::smatch m;
    std::set<std::string> objects;
    int rows = 0;
    std::regex row(R"(\n\s*(\d+)\s+\d+\s+image\s+100\s+50\s+rgb\s+3\s+8\s+image\s+no\s+(\d+)\s+0)");
    for (auto it = std::sregex_iterator(list.begin(), list.end(), row); it != std::sregex_iterator(); ++it) {
        ++rows;
        objects.insert((*it)[2]);
    }
    EXPECT_EQ(rows, 10) << list;
    ASSERT_EQ(objects.size(), 1u) << list;
    const auto raw = Shell("qpdf --show-object=" + *objects.begin() + " --filtered-stream-data " + file);
    ASSERT_EQ(raw.Output.size(), 15000u);
    EXPECT_EQ(raw.Output.substr(0, 3), "\xFF\x00\x00"s) << "red, green, blue";
}

TEST(PdfDevice, EveryRendererWritesOperatorsQpdfAccepts) {
    using namespace std::string_literals;
    testsupport::TempDir dir;
    Pages pages;
    pages.emplace_back(NewPage(1, true));
    TrpPage* p = pages[0].get();
    auto* line = new TrpDrawLine(nullptr);
    Box(line, 10000, 10000, 100000, 2000);
    line->SetWeight(1);
    line->SetLineStyle(lsDouble);
    p->AddDrawCommand(line);
    const TShapeType kinds[] = {stRectangle, stRoundRect, stEllipse, stCircle};
    for (int i = 0; i < 4; ++i) {
        auto* s = new TrpDrawShape(nullptr);
        Box(s, 10000 + i * 30000, 20000, 25000, 15000);
        s->SetXCornerRound(3000);
        s->SetYCornerRound(2000);
        if (i == 0) s->Pen()->SetStyle(psClear);
        p->AddDrawCommand(s);
    }
    auto* both = new TrpDrawShape(nullptr);
    Box(both, 0, 0, 1000, 1000);
    both->Pen()->SetStyle(psClear);
    both->Brush()->SetStyle(bsClear);
    p->AddDrawCommand(both);
    auto* framed = Font(AddText(p, "Centro", 10000, 40000, 60000), "Arial");
    framed->SetAlignment(taCenter);
    framed->SetTransparent(false);
    framed->Border()->SetVisible(true);
    framed->Border()->SetBorderPositions({bpLeft, bpTop});
    framed->Font()->SetStyle({fsUnderline, fsStrikeOut});
    Font(AddText(p, "Noventa", 10000, 60000), "Arial")->SetAngle(90);
    Font(AddText(p, "Duzentos e setenta", 40000, 60000), "Arial")->SetAngle(270);
    auto* memo = Font(AddText(p, "", 10000, 100000, 60000, 30000), "Times New Roman");
    memo->SetWordWrap(true);
    memo->SetTextAlignment(taFullJustified);
    memo->WrappedText()->Add("um dois tres");
    memo->WrappedText()->Add("quatro cinco" + std::string(TrpTextMarkups::LineBreakMarkup));
    memo->WrappedText()->Add("palavra");
    memo->WrappedText()->Add("seis sete");
    auto* narrow = Font(AddText(p, "", 10000, 140000, 0, 10000), "Arial");
    narrow->SetWordWrap(true);
    narrow->SetTextAlignment(taFullJustified);
    narrow->SetForceJustifyLastLine(true);
    narrow->WrappedText()->Add("x");
    for (TrpTextAlignment a : {taLeftJustified, taRightJustified, taCentered}) {
        auto* w = Font(AddText(p, "", 80000, 100000 + 20000 * static_cast<int>(a), 60000, 15000), "Arial");
        w->SetWordWrap(true);
        w->SetTextAlignment(a);
        w->WrappedText()->Add("linha um");
        w->WrappedText()->Add("coluna\tdois");
    }
    auto pic = Picture(200, 200, clGreen);
    AddImage(p, pic.get(), "", 100000, 200000)->Border()->SetVisible(true);
    const std::string file = dir.file("all.pdf");
    Write(file, pages);
    EXPECT_EQ(Check(file), "clean");
    const std::string q = Uncompressed(file);
    EXPECT_NE(q.find("0.0 1.0 -1.0 0.0 0 0 cm"), std::string::npos);
    EXPECT_NE(q.find("0.0 -1.0 1.0 0.0 0 0 cm"), std::string::npos);
    EXPECT_EQ(q.find("-0.0 "), std::string::npos);
    EXPECT_EQ(q.find("nan"), std::string::npos);
    EXPECT_EQ(q.find("inf"), std::string::npos);
    // A clear pen fills only; nothing at all for clear pen and brush.
    EXPECT_NE(q.find(" re\nf\n"), std::string::npos);
    EXPECT_EQ(q.find("0.0 0.0 0.02834 0.02834 re"), std::string::npos);
    // Justified: the first line is spread word by word; the paragraph's
    // last line, a one-word line and the last line keep their spacing.
    EXPECT_NE(q.find("(um) Tj"), std::string::npos);
    EXPECT_NE(q.find("(quatro cinco) Tj"), std::string::npos);
    EXPECT_NE(q.find("(seis sete) Tj"), std::string::npos);
    EXPECT_NE(q.find("/Im"), std::string::npos) << "an unnamed picture gets a name of its own";
    const auto text = Shell("pdftotext " + file + " -").Output;
    EXPECT_NE(text.find("Centro"), std::string::npos) << text;
    EXPECT_NE(text.find("linha um"), std::string::npos) << text;
}

TEST(PdfImages, SamplesAreNormalisedBlackIsZeroAndAlphaOverWhite) {
    using namespace std::string_literals;
    QImage inverted(10, 1, QImage::Format_Mono);
    inverted.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    inverted.fill(0);
    inverted.setPixel(0, 0, 1);
    EXPECT_EQ(TrpPDFXObject::Samples(inverted, true), "\x7F\xC0"s) << "white is 1, black 0, two bytes a row";
    QImage alpha(1, 1, QImage::Format_ARGB32);
    alpha.fill(qRgba(0, 0, 0, 0));
    EXPECT_EQ(TrpPDFXObject::Samples(alpha, false), "\xFF\xFF\xFF"s);
}

namespace {

// A command no renderer knows by its class, as a bar code is.
class TStampCommand : public TrpDrawCommand {
public:
    explicit TStampCommand(TComponent* AOwner) : TrpDrawCommand(AOwner) {}
    FAT_CLASS(TStampCommand)
};

}  // namespace

TClass TStampCommand::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TStampCommand>("TStampCommand", TrpDrawCommand::StaticClassType()).Build();
    return &info;
}

TEST(PdfRenderers, CommandsFallBackAlongTheirAncestryToTheGenericPicture) {
    EXPECT_EQ(FindRendererClass(TrpDrawCalc::StaticClassType())->Name, "TrpPDFRendererText");
    EXPECT_EQ(FindRendererClass(TStampCommand::StaticClassType())->Name, "TrpPDFRendererGeneric");
    int painted = 0;
    rpSetCommandPainter([&](TrpDrawCommand*, TBitmap* Bitmap) {
        ++painted;
        Bitmap->Canvas()->Brush()->SetColor(clBlack);
        Bitmap->Canvas()->FillRect(TRect{0, 0, Bitmap->Width() / 2, Bitmap->Height()});
        return true;
    });
    testsupport::TempDir dir;
    Pages pages;
    pages.emplace_back(NewPage(1, true));
    for (int i = 0; i < 2; ++i) {
        auto* stamp = new TStampCommand(nullptr);
        Box(stamp, 10000, 10000 + i * 30000, 40000, 20000);
        pages[0]->AddDrawCommand(stamp);
    }
    auto* calc = new TrpDrawCalc(nullptr);
    calc->SetText("Soma 42");
    Box(calc, 10000, 80000, 40000, 5000);
    pages[0]->AddDrawCommand(calc);
    const std::string file = dir.file("generic.pdf");
    Write(file, pages);
    rpSetCommandPainter(nullptr);
    EXPECT_EQ(painted, 2);
    EXPECT_EQ(Check(file), "clean");
    const std::string q = Uncompressed(file);
    EXPECT_NE(q.find("/rpGeneric0 Do"), std::string::npos);
    EXPECT_NE(q.find("/rpGeneric1 Do"), std::string::npos);
    EXPECT_NE(Shell("pdftotext " + file + " -").Output.find("Soma 42"), std::string::npos);
}

TEST(PdfRenderers, TextsLandInTheirBoxesAsPopplerReadsThem) {
    testsupport::TempDir dir;
    Pages pages;
    pages.emplace_back(NewPage(1, true));
    // Box left 28.35 pt, top 113.39 pt, 170.08 pt wide.
    Font(AddText(pages[0].get(), "Esquerda", 10000, 40000, 60000), "Arial");
    Font(AddText(pages[0].get(), "Direita", 10000, 60000, 60000), "Arial")->SetAlignment(taRightJustify);
    const std::string file = dir.file("box.pdf");
    Write(file, pages);
    const std::string html = Shell("pdftotext -bbox " + file + " -").Output;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(html, m, std::regex(R"re(xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="[0-9.]+" yMax="[0-9.]+">Esquerda)re")))
        << html;
    EXPECT_NEAR(std::stod(m[1]), 28.35, 0.5);
    EXPECT_NEAR(std::stod(m[2]), 113.39, 2.0);
    ASSERT_TRUE(std::regex_search(html, m, std::regex(R"re(xMax="([0-9.]+)" yMax="[0-9.]+">Direita)re"))) << html;
    EXPECT_NEAR(std::stod(m[1]), 28.35 + 170.08, 1.0);
}

namespace {

// The box of the dark pixels of Image within Region; empty when none.
QRect InkBox(const QImage& Image, const QRect& Region) {
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

int Px96(int Thousandths) { return static_cast<int>(std::lround(Thousandths / 25400.0 * 96)); }

}  // namespace

TEST(PdfRenderers, PopplersPictureOfAPageAndTheScreensAgreeInkBoxByInkBox) {
    testsupport::TempDir dir;
    TrpScreenDevice screen(nullptr);
    TrpPage* page = screen.CurrentPage();
    page->PageDef()->SetmmWidth(210000);
    page->PageDef()->SetmmHeight(297000);
    page->SetFinal(true);
    page->SetLastPage(true);
    std::vector<TrpDrawCommand*> commands;
    commands.push_back(Font(AddText(page, "Relatório de Notas", 20000, 20000, 60000, 8000), "Arial"));
    commands.push_back(Font(AddText(page, "Total", 20000, 30000, 60000, 8000), "Times New Roman", {fsBold}));
    commands.back()->SetPage(page);
    static_cast<TrpDrawText*>(commands.back())->SetAlignment(taRightJustify);
    auto* rect = new TrpDrawShape(nullptr);
    Box(rect, 20000, 45000, 50000, 20000);
    rect->Brush()->SetColor(clBlack);
    rect->SetPage(page);
    commands.push_back(rect);
    auto* ellipse = new TrpDrawShape(nullptr);
    Box(ellipse, 90000, 45000, 40000, 20000);
    ellipse->SetShapeType(stEllipse);
    ellipse->Pen()->SetWidth(2);
    ellipse->Brush()->SetStyle(bsClear);
    ellipse->SetPage(page);
    commands.push_back(ellipse);
    auto* line = new TrpDrawLine(nullptr);
    Box(line, 20000, 75000, 100000, 5000);
    line->SetWeight(2);
    line->SetPage(page);
    commands.push_back(line);
    screen.DisplayPage();
    const QImage& shown = *screen.PageImage();

    TrpPDFDevice pdf(nullptr);
    pdf.SetFileName(dir.file("page.pdf"));
    pdf.StartJob();
    pdf.ReceivePage(page);
    pdf.EndJob();
    ASSERT_EQ(Shell("pdftoppm -r 96 -gray " + dir.file("page.pdf") + " " + dir.file("p")).Status, 0);
    QImage printed(QString::fromStdString(dir.file("p-1.pgm")));
    ASSERT_FALSE(printed.isNull());
    for (TrpDrawCommand* c : commands) {
        const QRect region(Px96(c->Left()) - 4, Px96(c->Top()) - 4, Px96(c->Width()) + 8, Px96(c->Height()) + 8);
        const QRect a = InkBox(printed, region);
        const QRect b = InkBox(shown, region.translated(screen.OffsetX(), screen.OffsetY()))
                            .translated(-screen.OffsetX(), -screen.OffsetY());
        ASSERT_FALSE(a.isNull()) << c->ClassName();
        ASSERT_FALSE(b.isNull()) << c->ClassName();
        EXPECT_NEAR(a.left(), b.left(), 2) << c->ClassName();
        EXPECT_NEAR(a.top(), b.top(), 2) << c->ClassName();
        EXPECT_NEAR(a.right(), b.right(), 2) << c->ClassName();
        EXPECT_NEAR(a.bottom(), b.bottom(), 2) << c->ClassName();
    }
}

TEST(PdfRenderers, RichTextReachesTheFileAsTheScreensPictureAndAStreamTakesTheWholeFile) {
    testsupport::TempDir dir;
    Pages pages;
    pages.emplace_back(NewPage(1, true));
    auto* rich = new TrpDrawRichText(nullptr);
    Box(rich, 20000, 20000, 80000, 20000);
    rich->RichTextStream()->WriteBytes("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs40 {\\b Negrito} texto\\par}");
    rich->SetStartCharPos(0);
    rich->SetEndCharPos(100);
    pages[0]->AddDrawCommand(rich);
    // Into a stream the caller owns, as e-mail does.
    TMemoryStream stream;
    TrpPDFDevice device(nullptr);
    device.SetCreateFile(false);
    device.SetOutputStream(&stream);
    device.StartJob();
    device.ReceivePage(pages[0].get());
    device.EndJob();
    const std::string file = dir.file("rich.pdf");
    testsupport::WriteAll(file, stream.DataBytes());
    EXPECT_EQ(Check(file), "clean");
    const std::string list = Shell("pdfimages -list " + file).Output;
    EXPECT_NE(list.find(" 302    76  rgb "), std::string::npos) << list;
    ASSERT_EQ(Shell("pdftoppm -r 96 -gray " + file + " " + dir.file("r")).Status, 0);
    const QImage printed(QString::fromStdString(dir.file("r-1.pgm")));
    EXPECT_FALSE(InkBox(printed, QRect(Px96(20000), Px96(20000), Px96(80000), Px96(20000))).isNull())
        << "the rich text's ink is in the picture";
}

namespace {

// A disk that is full.
class FullDisk : public TMemoryStream {
public:
    int64_t Write(const void*, int64_t) override { return 0; }
};

}  // namespace

TEST(PdfDevice, AWriteFailureIsReportedAndFreesTheDevice) {
    Pages pages;
    pages.emplace_back(NewPage(1, true));
    Font(AddText(pages[0].get(), "x", 0, 0), "Arial");
    FullDisk disk;
    TrpPDFDevice device(nullptr);
    device.SetCreateFile(false);
    device.SetOutputStream(&disk);
    device.StartJob();
    device.ReceivePage(pages[0].get());
    EXPECT_THROW(device.EndJob(), EWriteError);
    EXPECT_FALSE(device.Busy());
}
