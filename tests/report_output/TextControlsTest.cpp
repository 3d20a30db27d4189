// Labels and the text base: angle and wrapping rules, auto size and its
// alignment, export order, renames, and what a label puts on a page.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "report/rpBands.h"
#include "report/rpGroup.h"
#include "report/rpMemo.h"
#include "report/rpRotatedText.h"
#include "platform/rtl/Filer.h"
#include "report_output/rpDBText.h"
#include "report_output/rpTextControls.h"
#include "report_output/rpVariables.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/FakeCanvas.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

// The width meter gives what a single measurement gives, for every kind of
// text, in two fonts, and again after the measuring canvas was replaced.
TEST(TextControls, AWidthMeterMeasuresEveryTextAsASingleMeasurementDoes) {
    const std::vector<std::string> texts = {"",          "0",           "999.999.999,99", "-1.234,56",
                                            "Autorizada", "a\tb  c",    "WWWWiiii!?",      "Conceição",
                                            "linha\nduas", "€ 10,00",    std::string(300, 'M'),
                                            "Ítalo ÿ¡",   "a\xC3",      "\xC0\xAF",       "caf\xE9"};
    for (const auto& [name, size, bold] : {std::tuple{"Arial", 10, false}, std::tuple{"Courier New", 7, true}}) {
        TFont font;
        font.SetName(name);
        font.SetSize(size);
        if (bold) font.SetStyle(TFontStyles{fsBold});
        TrpTextWidthMeter meter(font);
        for (int round = 0; round < 2; ++round) {
            for (const std::string& text : texts)
                EXPECT_EQ(meter.Width(text), rpMeasureTextWidth(text, &font)) << name << " '" << text << "'";
            // Another canvas measures otherwise; the meter must follow it.
            rpSetMeasuringCanvasFactory([] { return std::unique_ptr<TCanvas>(testsupport::FakePrinterCanvas()); });
        }
        rpSetMeasuringCanvasFactory(nullptr);
    }
}

TEST(TextControls, AngleIsKeptWithinATurnAndAnyTurnClearsWordWrap) {
    TrpLabel label(nullptr);
    label.SetAutoSize(false);
    label.SetWordWrap(true);
    label.SetAngle(-90);
    EXPECT_EQ(label.Angle(), 270);
    EXPECT_FALSE(label.WordWrap());
    // Rotated text never wraps.
    label.SetWordWrap(true);
    EXPECT_FALSE(label.WordWrap());

    TrpLabel flat(nullptr);
    flat.SetAutoSize(false);
    for (int full : {360, -360}) {
        flat.SetWordWrap(true);
        flat.SetAngle(full);
        EXPECT_EQ(flat.Angle(), 0) << full;
        EXPECT_FALSE(flat.WordWrap()) << full;
    }
    flat.SetAngle(45);
    flat.SetAngle(400);
    EXPECT_EQ(flat.Angle(), 45);
    flat.SetAngle(0);
    flat.SetWordWrap(true);
    EXPECT_TRUE(flat.WordWrap());
}

TEST(TextControls, FullJustificationIsRefusedOnASingleText) {
    TrpLabel label(nullptr);
    label.SetTextAlignment(taCentered);
    label.SetTextAlignment(taFullJustified);
    EXPECT_EQ(label.TextAlignment(), taCentered);
}

TEST(TextControls, AutoSizeFollowsTheCaptionAndKeepsTheAlignedEdge) {
    TrpLabel left(nullptr);
    left.SetBounds(10000, 2000, 1000, 1000);
    left.SetCaption("Total geral do período");
    const int32_t longWidth = left.mmWidth();
    EXPECT_GT(longWidth, 10000);
    EXPECT_GT(left.mmHeight(), 2000);
    left.SetCaption("Total");
    EXPECT_LT(left.mmWidth(), longWidth);
    EXPECT_EQ(left.mmLeft(), 10000);

    TrpLabel right(nullptr);
    right.SetBounds(10000, 0, 1000, 1000);
    right.SetTextAlignment(taRightJustified);
    right.SetCaption("Total geral do período");
    const int32_t rightEdge = right.mmLeft() + right.mmWidth();
    const int32_t longLeft = right.mmLeft();
    right.SetCaption("Total");
    EXPECT_EQ(right.mmLeft() + right.mmWidth(), rightEdge);
    EXPECT_GT(right.mmLeft(), longLeft);

    TrpLabel centred(nullptr);
    centred.SetBounds(10000, 0, 1000, 1000);
    centred.SetTextAlignment(taCentered);
    centred.SetCaption("Total geral do período");
    const int32_t wide = centred.mmWidth();
    const int32_t wideLeft = centred.mmLeft();
    centred.SetCaption("Total");
    const int32_t slack = wide - centred.mmWidth();
    EXPECT_EQ(centred.mmLeft(), wideLeft + slack / 2);
}

TEST(TextControls, AFixedWrappedTextKeepsItsBoundsAndAnEmptyTurnedTextGetsAFiveMillimetreBox) {
    TrpLabel wrapped(nullptr);
    wrapped.SetAutoSize(false);
    wrapped.SetWordWrap(true);
    wrapped.SetBounds(0, 0, 20000, 4000);
    wrapped.SetCaption("um texto bem longo que não cabe numa linha de dois centímetros");
    EXPECT_EQ(wrapped.mmWidth(), 20000);
    EXPECT_EQ(wrapped.mmHeight(), 4000);

    TrpLabel turned(nullptr);
    turned.SetCaption("");
    turned.SetBounds(3000, 4000, 100, 100);
    turned.SetAngle(90);
    EXPECT_EQ(turned.mmLeft(), 3000);
    EXPECT_EQ(turned.mmWidth(), 5000);
    EXPECT_EQ(turned.mmHeight(), 5000);
}

TEST(TextControls, ALabelShowingItsUserNameFollowsARename) {
    TComponent owner(nullptr);
    auto* shown = new TrpLabel(&owner);
    shown->SetUserName("Label1");
    shown->SetCaption("Label1");
    shown->SetUserName("Title");
    EXPECT_EQ(shown->Caption(), "Title");

    auto* other = new TrpLabel(&owner);
    other->SetUserName("Label2");
    other->SetCaption("Cliente");
    other->SetUserName("Heading");
    EXPECT_EQ(other->Caption(), "Cliente");
}

TEST(TextControls, SaveOrderBeyondTheListMovesToItsEnd) {
    ReportRig rig;
    rig.Report()->CreateDefaultBands();
    TrpBand* band = rig.Report()->DetailBand();
    std::vector<TrpLabel*> labels;
    for (int i = 0; i < 3; ++i) {
        auto* l = new TrpLabel(rig.Owner());
        l->SetBand(band);
        l->SetSave(true);
        labels.push_back(l);
    }
    EXPECT_EQ(labels[0]->SaveOrder(), 0);
    labels[0]->SetSaveOrder(99);
    EXPECT_EQ(labels[0]->SaveOrder(), 2);
    EXPECT_EQ(labels[1]->SaveOrder(), 0);
    labels[2]->SetSaveOrder(-5);
    EXPECT_EQ(labels[2]->SaveOrder(), 0);
    labels[1]->SetSave(false);
    EXPECT_EQ(labels[1]->SaveOrder(), -1);
}

TEST(TextControls, DeletingTheTextAGroupBreaksOnClearsTheBreak) {
    ReportRig rig;
    auto* label = new TrpLabel(rig.Owner());
    label->SetName("Chave");
    auto* group = new TrpGroup(rig.Owner());
    group->SetReport(rig.Report());
    group->SetBreakName("Chave");
    label->AddGroup(group);
    delete label;
    EXPECT_EQ(group->BreakName(), "");
}

TEST(TextControls, ALabelPrintsItsCaptionWrappedInItsRectangle) {
    ReportRig rig;
    TrpBandedReport* r = rig.Report();
    r->CreateDefaultBands();
    r->HeaderBand()->SetmmHeight(20000);
    auto* title = new TrpLabel(rig.Owner());
    title->SetBand(r->HeaderBand());
    title->SetAutoSize(false);
    title->SetWordWrap(true);
    title->SetBounds(1000, 2000, 25000, 15000);
    title->SetCaption("Relação de notas fiscais emitidas no período");
    title->OnGetText = [](TObject*, std::string& Text) { Text += " (teste)"; };
    rig.Print();
    auto pages = rig.Device()->FinalPages();
    ASSERT_FALSE(pages.empty());
    const TrpDrawText* drawn = nullptr;
    for (int i = 0; i < pages[0]->Page->DrawCommandCount(); ++i)
        if (auto* t = dynamic_cast<const TrpDrawText*>(pages[0]->Page->DrawCommands(i))) drawn = t;
    ASSERT_NE(drawn, nullptr);
    EXPECT_EQ(drawn->Text(), "Relação de notas fiscais emitidas no período (teste)");
    EXPECT_EQ(drawn->Left(), 6350 + 1000);
    EXPECT_EQ(drawn->Width(), 25000);
    ASSERT_NE(drawn->WrappedText(), nullptr);
    EXPECT_GT(drawn->WrappedText()->Count(), 1);
    std::string joined;
    for (int i = 0; i < drawn->WrappedText()->Count(); ++i) joined += drawn->WrappedText()->Strings(i);
    EXPECT_NE(joined.find("Relação"), std::string::npos);
}

TEST(TextControls, ATurnedTextSizesItsBoxByTheTurnedExtentAndCarriesItsOriginToThePage) {
    const std::string caption = "Total geral do período";
    auto canvas = rpNewMeasuringCanvas();
    TrpLabel flat(nullptr);
    const TSize unturned = TrpRotatedText::CalcTextExtent(canvas.get(), caption, flat.Font(), taLeftJustified, 0);
    ASSERT_GT(unturned.cx, unturned.cy);

    // Standing up, the box swaps the text's sides; the text starts at the
    // box's foot and runs upward, so its origin is the bottom-left corner.
    // Upside down it starts at the bottom-right; at 270 at the top-right.
    struct Case {
        int angle;
        bool swapped;
        bool right, bottom;
    };
    for (const Case c : {Case{90, true, false, true}, Case{180, false, true, true}, Case{270, true, true, false}}) {
        ReportRig rig;
        TrpBandedReport* r = rig.Report();
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(80000);
        auto* label = new TrpLabel(rig.Owner());
        label->SetBand(r->HeaderBand());
        label->SetBounds(2000, 3000, 1000, 1000);
        label->SetCaption(caption);
        label->SetAngle(c.angle);
        EXPECT_EQ(label->mmWidth(), c.swapped ? unturned.cy : unturned.cx) << c.angle;
        EXPECT_EQ(label->mmHeight(), c.swapped ? unturned.cx : unturned.cy) << c.angle;
        EXPECT_EQ(label->RotatedOriginLeft(), c.right ? label->mmWidth() : 0) << c.angle;
        EXPECT_EQ(label->RotatedOriginTop(), c.bottom ? label->mmHeight() : 0) << c.angle;

        rig.Print();
        auto pages = rig.Device()->FinalPages();
        ASSERT_FALSE(pages.empty());
        const TrpDrawText* drawn = nullptr;
        for (int i = 0; i < pages[0]->Page->DrawCommandCount(); ++i)
            if (auto* t = dynamic_cast<const TrpDrawText*>(pages[0]->Page->DrawCommands(i))) drawn = t;
        ASSERT_NE(drawn, nullptr);
        EXPECT_EQ(drawn->Angle(), c.angle);
        EXPECT_EQ(drawn->RotatedOriginLeft, c.right ? label->mmWidth() : 0) << c.angle;
        EXPECT_EQ(drawn->RotatedOriginTop, c.bottom ? label->mmHeight() : 0) << c.angle;
    }
}

// The text export makes one line of each band printed: the saved texts of
// one record share their band's number, the next record has a higher one,
// and a new run numbers from the start again.
TEST(TextControls, SavedTextsCarryTheNumberOfTheBandPrintThatMadeThem) {
    RowsTable data({"Nome"}, {{Variant("Ana")}, {Variant("Bruno")}, {Variant("Carla")}});
    ReportRig rig;
    TrpBandedReport* r = rig.Report();
    r->SetDataPipeline(data.Pipeline());
    r->CreateDefaultBands();
    TrpBand* detail = r->DetailBand();
    detail->SetmmHeight(6000);
    detail->SetSave(true);
    for (const char* name : {"Primeiro", "Segundo"}) {
        auto* l = new TrpLabel(rig.Owner());
        l->SetName(name);
        l->SetBand(detail);
        l->SetCaption(name);
        l->SetSave(true);
    }
    std::vector<int> firstRun;
    for (int run = 0; run < 2; ++run) {
        rig.Print();
        auto pages = rig.Device()->FinalPages();
        ASSERT_FALSE(pages.empty());
        std::vector<int> numbers;
        for (int i = 0; i < pages[0]->Page->DrawCommandCount(); ++i)
            if (auto* t = dynamic_cast<const TrpDrawText*>(pages[0]->Page->DrawCommands(i)))
                if (t->BandSave() && t->ComponentSave()) numbers.push_back(t->BandSaveNo());
        ASSERT_EQ(numbers.size(), 6U);
        for (std::size_t i = 0; i < numbers.size(); i += 2) {
            EXPECT_EQ(numbers[i], numbers[i + 1]) << i;
            EXPECT_GT(numbers[i], 0) << i;
            if (i > 0) EXPECT_GT(numbers[i], numbers[i - 1]) << i;
        }
        if (run == 0)
            firstRun = numbers;
        else
            EXPECT_EQ(numbers, firstRun);
    }
}

// A report saved and read back (a template, or the copy that prints in the
// background) must print every text control as it was: its own text and its
// whole look come through the component stream.
TEST(TextControls, EveryTextControlKeepsItsTextAndLookThroughTheComponentStream) {
    auto label = std::make_unique<TrpLabel>(nullptr);
    label->SetCaption("Relatório de março – notas");
    auto field = std::make_unique<TrpDBText>(nullptr);
    field->SetDataField("Valor");
    auto counter = std::make_unique<TrpSystemVariable>(nullptr);
    counter->SetVarType(vtPageNo);
    auto calc = std::make_unique<TrpCalc>(nullptr);
    for (TrpCustomText* control : std::initializer_list<TrpCustomText*>{label.get(), field.get(), counter.get(), calc.get()}) {
        SCOPED_TRACE(control->ClassName());
        control->SetName("Texto");
        control->SetAutoSize(!control->AutoSize());
        control->SetColor(0x00FFCC);
        control->SetTransparent(true);
        control->SetTextAlignment(taRightJustified);
        control->SetWordWrap(true);
        control->SetVisible(false);
        control->SetReprintOnOverFlow(true);
        control->SetAnchors(TrpAnchors{atLeft, atBottom});
        control->Font()->SetName("Courier New");
        control->Font()->SetSize(14);
        control->Font()->SetStyle(TFontStyles{fsBold});
        control->Border()->SetVisible(true);

        TMemoryStream stream;
        WriteComponent(stream, control);
        stream.Seek(0, soBeginning);
        std::unique_ptr<TComponent> read(ReadComponent(stream, nullptr));
        auto* back = dynamic_cast<TrpCustomText*>(read.get());
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->AutoSize(), control->AutoSize());
        EXPECT_EQ(back->Color(), 0x00FFCC);
        EXPECT_TRUE(back->Transparent());
        EXPECT_EQ(back->TextAlignment(), taRightJustified);
        EXPECT_TRUE(back->WordWrap());
        EXPECT_FALSE(back->Visible());
        EXPECT_TRUE(back->ReprintOnOverFlow());
        EXPECT_EQ(back->Anchors(), (TrpAnchors{atLeft, atBottom}));
        EXPECT_EQ(back->Font()->Name(), "Courier New");
        EXPECT_EQ(back->Font()->Size(), 14);
        EXPECT_EQ(back->Font()->Style(), TFontStyles{fsBold});
        EXPECT_TRUE(back->Border()->Visible());
    }
    TMemoryStream stream;
    for (TComponent* c : std::initializer_list<TComponent*>{label.get(), field.get(), counter.get()}) WriteComponent(stream, c);
    stream.Seek(0, soBeginning);
    std::unique_ptr<TComponent> labelBack(ReadComponent(stream, nullptr));
    std::unique_ptr<TComponent> fieldBack(ReadComponent(stream, nullptr));
    std::unique_ptr<TComponent> counterBack(ReadComponent(stream, nullptr));
    EXPECT_EQ(static_cast<TrpLabel*>(labelBack.get())->Caption(), "Relatório de março – notas");
    EXPECT_EQ(static_cast<TrpDBText*>(fieldBack.get())->DataField(), "Valor");
    EXPECT_EQ(static_cast<TrpSystemVariable*>(counterBack.get())->VarType(), vtPageNo);
}

}  // namespace
