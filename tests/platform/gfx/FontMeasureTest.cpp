// Measuring text: advances against what fontTools reads from the font files
// (tests/data/gfx/font_oracle.txt), faces through fontconfig, metrics, and
// the same numbers on every device and thread.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/gfx/Canvas.h"
#include "platform/rtl/Strings.h"
#include "tests/support/FakeCanvas.h"
#include "tests/support/TestSupport.h"

namespace {

const char* const kText = "Relatório ção ã € ü R$";

struct OracleFace {
    std::string face, file;
    int upem = 0, winAscent = 0, winDescent = 0, avgCharWidth = 0, hheaAscender = 0, hheaDescender = 0,
        lineGap = 0, advanceWidthMax = 0;
    std::vector<std::pair<char32_t, int>> advances;
};

std::vector<OracleFace> Oracle() {
    std::ifstream in(testsupport::DataPath("gfx/font_oracle.txt"));
    std::vector<OracleFace> faces;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string key;
        s >> key;
        if (key == "face") {
            faces.emplace_back();
            std::getline(s >> std::ws, faces.back().face);
        } else if (key == "file") {
            s >> faces.back().file;
        } else if (key == "unitsPerEm") {
            s >> faces.back().upem;
        } else if (key == "winAscent") {
            OracleFace& f = faces.back();
            auto value = [&](const std::string& name) {
                std::size_t at = line.find(name + " ");
                return std::stoi(line.substr(at + name.size() + 1));
            };
            f.winAscent = value("winAscent");
            f.winDescent = value("winDescent");
            f.avgCharWidth = value("avgCharWidth");
            f.hheaAscender = value("hheaAscender");
            f.hheaDescender = value("hheaDescender");
            f.lineGap = value("lineGap");
            f.advanceWidthMax = value("advanceWidthMax");
        } else if (key.rfind("U+", 0) == 0) {
            int adv = 0;
            s >> adv;
            faces.back().advances.emplace_back(static_cast<char32_t>(std::stoul(key.substr(2), nullptr, 16)), adv);
        }
    }
    return faces;
}

void SetFace(TCanvas& c, const std::string& oracleFace, double points) {
    std::string name = oracleFace;
    TFontStyles style;
    if (auto at = name.find(":bold"); at != std::string::npos) {
        name.erase(at);
        style.Include(fsBold);
    }
    c.Font()->SetName(name);
    c.Font()->SetStyle(style);
    c.Font()->SetSizeInPoints(points);
}

std::string RunCommand(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

}  // namespace

TEST(FontOracle, AdvancesAtTheReferenceResolutionAreTheFilesAdvancesScaledLinearly) {
    std::vector<OracleFace> faces = Oracle();
    ASSERT_EQ(faces.size(), 4u);
    for (const char* name : {"Arial", "Times New Roman", "Courier New"}) {
        std::string matched = RunCommand(std::string("fc-match '") + name + "'");
        std::printf("fc-match %s: %s", name, matched.c_str());
        RecordProperty(std::string("fc-match ") + name, matched);
    }
    for (const OracleFace& face : faces) {
        TReferenceCanvas ref;
        SetFace(ref, face.face, 10);
        std::vector<double> ours = ref.Advances(kText);
        ASSERT_EQ(ours.size(), face.advances.size()) << face.face;
        double sum = 0;
        for (std::size_t i = 0; i < ours.size(); ++i) {
            double expected = face.advances[i].second * 600.0 * 10 / 72 / face.upem;
            EXPECT_NEAR(ours[i], expected, 0.001) << face.face << " U+" << std::hex << static_cast<unsigned>(face.advances[i].first);
            sum += expected;
        }
        EXPECT_NEAR(ref.TextWidthF(kText), sum, 0.001) << face.face;
        EXPECT_EQ(ref.TextWidth(kText), static_cast<int>(std::lround(sum))) << face.face;
    }
}

TEST(FontOracle, TextMetricsAreTheFilesTablesAtTheDevicesResolution) {
    for (const OracleFace& face : Oracle()) {
        TReferenceCanvas ref;
        SetFace(ref, face.face, 10);
        double scale = 600.0 * 10 / 72 / face.upem;  // pixels per font unit
        gfx::FontMetricsF m = ref.ExactTextMetrics();
        EXPECT_NEAR(m.EmHeight, 83.3333, 0.0001);
        EXPECT_NEAR(m.Ascent, face.winAscent * scale, 1e-9) << face.face;
        EXPECT_NEAR(m.Descent, face.winDescent * scale, 1e-9);
        EXPECT_NEAR(m.AveCharWidth, face.avgCharWidth * scale, 1e-9);
        EXPECT_NEAR(m.MaxCharWidth, face.advanceWidthMax * scale, 1e-9);
        // The line gap beyond what the win metrics already hold.
        int extra = face.lineGap - ((face.winAscent + face.winDescent) - (face.hheaAscender - face.hheaDescender));
        EXPECT_NEAR(m.ExternalLeading, std::max(0, extra) * scale, 1e-9);

        TTextMetric tm;
        ref.GetTextMetrics(tm);
        EXPECT_EQ(tm.tmAscent, std::lround(face.winAscent * scale));
        EXPECT_EQ(tm.tmDescent, std::lround(face.winDescent * scale));
        EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
        EXPECT_EQ(tm.tmInternalLeading, tm.tmHeight - 83);
        EXPECT_EQ(static_cast<int>(tm.tmFirstChar), 32);
        EXPECT_EQ(static_cast<int>(tm.tmLastChar), 255);
        EXPECT_TRUE(tm.tmPitchAndFamily & TMPF_TRUETYPE);
        bool fixed = face.face == "Courier New";
        EXPECT_EQ((tm.tmPitchAndFamily & TMPF_FIXED_PITCH) == 0, fixed) << face.face;  // set means variable
        EXPECT_EQ(tm.tmWeight, face.face == "Arial:bold" ? 700 : 400);
    }
    // Worked by hand for Arial 10 at 600 dpi: 1854 and 434 of 2048 units.
    TReferenceCanvas ref;
    ref.Font()->SetName("Arial");
    ref.Font()->SetSize(10);
    TTextMetric tm;
    ref.GetTextMetrics(tm);
    EXPECT_EQ(tm.tmAscent, 75);   // 75.44
    EXPECT_EQ(tm.tmDescent, 18);  // 17.66
    EXPECT_EQ(tm.tmExternalLeading, 3);
    EXPECT_EQ(tm.tmAveCharWidth, 49);  // 1208 units
}

TEST(FontOracle, CharactersThirtyTwoToTwoFiftyFiveAreTheCodePage1252Ones) {
    auto faces = Oracle();
    const OracleFace& arial = faces[0];
    auto advanceOf = [&](char32_t c) {
        for (auto& [ch, adv] : arial.advances)
            if (ch == c) return adv * 600.0 * 10 / 72 / arial.upem;
        return -1.0;
    };
    TReferenceCanvas ref;
    ref.Font()->SetName("Arial");
    ref.Font()->SetSize(10);
    std::vector<double> w = ref.CharWidths(32, 255);
    ASSERT_EQ(w.size(), 224u);
    EXPECT_NEAR(w[0x20 - 32], advanceOf(U' '), 0.001);
    EXPECT_NEAR(w[0x80 - 32], advanceOf(U'€'), 0.001);  // 0x80 is the euro sign in 1252
    EXPECT_NEAR(w[0xE7 - 32], advanceOf(U'ç'), 0.001);
    EXPECT_NEAR(w[0xFC - 32], advanceOf(U'ü'), 0.001);
    EXPECT_NEAR(w['R' - 32], advanceOf(U'R'), 0.001);
}

TEST(FontResolution, OfficeFacesComeToLiberationAndScreenFacesAreSubstituted) {
    struct Case {
        const char* name;
        const char* lookedUp;
        const char* family;
    } cases[] = {
        {"Arial", "Arial", "Liberation Sans"},
        {"Times New Roman", "Times New Roman", "Liberation Serif"},
        {"Courier New", "Courier New", "Liberation Mono"},
        {"MS Sans Serif", "Arial", "Liberation Sans"},
        {"Small Fonts", "Arial", "Liberation Sans"},
        {"Fixedsys", "Arial", "Liberation Sans"},
        {"System", "Arial", "Liberation Sans"},
        {"Terminal", "Arial", "Liberation Sans"},
        {"Modern", "Arial", "Liberation Sans"},
        {"Courier", "Courier New", "Liberation Mono"},
        {"MS Serif", "Courier New", "Liberation Mono"},
    };
    for (const Case& c : cases) {
        gfx::ResolvedFace r = gfx::ResolveFace(c.name, false, false);
        EXPECT_EQ(r.RequestedName, c.name);
        EXPECT_EQ(r.LookedUpName, c.lookedUp) << c.name;
        EXPECT_EQ(r.Face->FamilyName(), c.family) << c.name;
    }
    // The table compares exactly.
    EXPECT_EQ(gfx::SubstituteScreenFont("ms sans serif"), "ms sans serif");
    EXPECT_EQ(gfx::SubstituteScreenFont("Tahoma"), "Tahoma");

    gfx::ResolvedFace bold = gfx::ResolveFace("Arial", true, true);
    EXPECT_EQ(bold.Face->StyleName(), "Bold Italic");
    EXPECT_FALSE(bold.SyntheticBold);
    EXPECT_FALSE(bold.SyntheticItalic);

    // A screen name shares the match of the family it stands for, style by
    // style: each asked after the regular face of that family was found.
    struct Styled {
        const char* name;
        bool bold, italic;
        const char* style;
    } styled[] = {{"MS Sans Serif", true, false, "Bold"}, {"System", false, true, "Italic"},
                  {"Terminal", true, true, "Bold Italic"}, {"Courier", true, false, "Bold"}};
    for (const Styled& c : styled) {
        gfx::ResolvedFace r = gfx::ResolveFace(c.name, c.bold, c.italic);
        EXPECT_EQ(r.RequestedName, c.name);
        EXPECT_EQ(r.Face->StyleName(), c.style) << c.name << " " << c.bold << c.italic;
        EXPECT_FALSE(r.SyntheticBold || r.SyntheticItalic) << c.name;
    }
}

TEST(FontResolution, TheFontKeepsTheNameItWasGiven) {
    TReferenceCanvas screenFace, arial;
    screenFace.Font()->SetName("MS Sans Serif");
    screenFace.Font()->SetSize(8);
    arial.Font()->SetName("Arial");
    arial.Font()->SetSize(8);
    EXPECT_EQ(screenFace.Font()->Name(), "MS Sans Serif");
    EXPECT_DOUBLE_EQ(screenFace.TextWidthF(kText), arial.TextWidthF(kText));
}

TEST(Measuring, ATextMeasuresInProportionOnEveryDevice) {
    TReferenceCanvas ref;
    TImageCanvas screen(10, 10, 96);
    TImageCanvas odd(10, 10, 300, 150);
    for (TCanvas* c : std::initializer_list<TCanvas*>{&ref, &screen, &odd}) {
        c->Font()->SetName("Times New Roman");
        c->Font()->SetSize(11);
    }
    double atRef = ref.TextWidthF(kText);
    EXPECT_NEAR(screen.TextWidthF(kText), atRef * 96 / 600, 1e-9);
    EXPECT_NEAR(odd.TextWidthF(kText), atRef * 300 / 600, 1e-9);
    // Heights follow the vertical resolution, widths the horizontal one.
    EXPECT_NEAR(odd.ExactTextMetrics().Ascent, ref.ExactTextMetrics().Ascent * 150 / 600, 1e-9);
    EXPECT_NEAR(odd.ExactTextMetrics().AveCharWidth, ref.ExactTextMetrics().AveCharWidth * 300 / 600, 1e-9);
    // A whole-pixel width is the exact one rounded once, not a sum of
    // rounded advances.
    EXPECT_EQ(screen.TextWidth(kText), std::lround(atRef * 96 / 600));
    // A size in points, whatever the font's own PixelsPerInch says.
    EXPECT_EQ(screen.Font()->PixelsPerInch(), 96);
    EXPECT_EQ(ref.Font()->PixelsPerInch(), 600);
    EXPECT_EQ(ref.Font()->Height(), -92);
}

TEST(Measuring, EveryThreadMeasuresAlike) {
    TReferenceCanvas main;
    main.Font()->SetName("Arial");
    main.Font()->SetSize(9);
    main.Font()->SetStyle({fsItalic});
    const double expected = main.TextWidthF(kText);
    std::vector<double> got(8, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                TReferenceCanvas c;
                c.Font()->SetName(i % 2 ? "Arial" : "MS Sans Serif");
                c.Font()->SetSize(9);
                c.Font()->SetStyle({fsItalic});
                double w = c.TextWidthF(kText);
                if (i == 0 || w != got[t]) got[t] = w;
            }
        });
    for (auto& th : threads) th.join();
    for (double w : got) EXPECT_DOUBLE_EQ(w, expected);
}

TEST(Measuring, TabsJustificationAndWrappingWorkedByHand) {
    // The fake canvas: 12 points at 96 dpi is an em of 16 pixels; "a" is 8
    // pixels, a blank 4, "W" 13.328; the average width 8.
    auto c = testsupport::FakeScreenCanvas();
    c->Font()->SetSize(12);
    EXPECT_DOUBLE_EQ(c->TextWidthF("aW a"), 8 + 13.328 + 4 + 8);
    EXPECT_EQ(c->TabbedTextExtent("aa\tb", {40}).cx, 40 + 8);  // one stop: every 40 px
    EXPECT_EQ(c->TabbedTextExtent("aaaaaa\tb", {40}).cx, 80 + 8);
    EXPECT_EQ(c->TabbedTextExtent("a\tb\tc", {20, 50}).cx, 50 + 8);
    EXPECT_EQ(c->TabbedTextExtent("a\tb\tc\td", {20, 50}).cx, 50 + 8 + 4 + 8);  // a blank past the last stop
    EXPECT_EQ(c->TabbedTextExtent("a\tb", {}).cx, 64 + 8);                     // 8 average widths
    c->SetTextJustification(30, 3);
    EXPECT_DOUBLE_EQ(c->TextWidthF("a a a a"), 4 * 8 + 3 * 4 + 30);
    c->SetTextJustification(0, 0);
    EXPECT_DOUBLE_EQ(c->TextWidthF("a a a a"), 4 * 8 + 3 * 4);

    TTextMetric tm;
    c->GetTextMetrics(tm);
    EXPECT_EQ(tm.tmHeight, 14 + 4);  // 14.4 and 4.0
    TRect r{10, 20, 80, 20};
    int h = c->DrawText("aaaa bbbb cccc", r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    EXPECT_EQ(h, 2 * 18);
    EXPECT_EQ(r, (TRect{10, 20, 10 + 68, 20 + 36}));  // "aaaa bbbb" is 68 wide
    EXPECT_EQ(c->BreakLines("aaaa bbbb  cccc\r\n\r\nd", 70, DT_WORDBREAK),
              (std::vector<std::string>{"aaaa bbbb", "cccc", "", "d"}));
    // A word wider than the rectangle stands alone, whole.
    EXPECT_EQ(c->BreakLines("a bbbbbbbbbbbb c", 40, DT_WORDBREAK), (std::vector<std::string>{"a", "bbbbbbbbbbbb", "c"}));
    // Prefix characters: "&&" is one ampersand, a single one is dropped.
    EXPECT_EQ(c->BreakLines("S&alvar && sair", 1000, DT_WORDBREAK), (std::vector<std::string>{"Salvar & sair"}));
    EXPECT_EQ(c->BreakLines("a\r\nb", 1000, DT_SINGLELINE), (std::vector<std::string>{"ab"}));
}

TEST(Measuring, FakeCanvasesScaleTheirEmOnEachAxis) {
    auto screen = testsupport::FakeScreenCanvas();
    auto printer = testsupport::FakePrinterCanvas();
    auto dotMatrix = testsupport::FakeNonSquareCanvas();
    for (auto* c : {screen.get(), printer.get(), dotMatrix.get()}) c->Font()->SetSize(9);
    EXPECT_DOUBLE_EQ(screen->TextWidthF("mama"), 2 * 0.833 * 12 + 2 * 0.5 * 12);
    EXPECT_DOUBLE_EQ(printer->TextWidthF("mama"), 2 * 0.833 * 75 + 2 * 0.5 * 75);
    EXPECT_DOUBLE_EQ(dotMatrix->TextWidthF("mama"), 2 * 0.833 * 45 + 2 * 0.5 * 45);
    EXPECT_DOUBLE_EQ(dotMatrix->ExactTextMetrics().EmHeight, 22.5);
    dotMatrix->Font()->SetName("Courier New");
    EXPECT_DOUBLE_EQ(dotMatrix->TextWidthF("mi"), 2 * 0.6 * 45);
}

TEST(LayoutMeasuring, AMemoWrapsTheSameWithoutAPrinterAndWithPrintersOf300And600Dpi) {
    const std::string memo =
        "Relatório de notas fiscais emitidas no período, com os valores de ICMS, PIS e COFINS "
        "de cada item e o total geral ao final.\r\nObservação: valores em R$ (reais), "
        "conversão pelo câmbio do dia; € não se aplica.";
    const int widthMicrons = 61000;  // 61 mm
    auto layoutLines = [&](const gfx::IPageDevice* printer) {
        auto c = gfx::NewLayoutCanvas(printer);
        c->Font()->SetName("Arial");
        c->Font()->SetSize(10);
        int widthPixels = static_cast<int>(widthMicrons / 25400.0 * c->PixelsPerInchX());
        return c->BreakLines(memo, widthPixels, DT_WORDBREAK | DT_NOPREFIX);
    };
    auto fake300 = std::make_unique<testsupport::TFakeMeasureCanvas>(300, 300);
    auto fake600 = testsupport::FakePrinterCanvas();
    std::vector<std::string> none = layoutLines(nullptr);
    EXPECT_EQ(layoutLines(fake300->Device()), none);
    EXPECT_EQ(layoutLines(fake600->Device()), none);
    ASSERT_GE(none.size(), 4u);
    EXPECT_EQ(none.front().rfind("Relatório de notas", 0), 0u);

    // Measured on the printers themselves the breaks would move: the test
    // would catch layout that measured on the device.
    auto onDevice = [&](TCanvas& c) {
        c.Font()->SetName("Arial");
        c.Font()->SetSize(10);
        return c.BreakLines(memo, static_cast<int>(widthMicrons / 25400.0 * c.PixelsPerInchX()), DT_WORDBREAK);
    };
    EXPECT_NE(onDevice(*fake300), none);
}
