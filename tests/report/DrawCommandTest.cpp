// The draw commands: their stored form (archives keep pages), copy and
// equality rules, and the values completed from later pages.
#include <gtest/gtest.h>

#include <random>

#include <QBuffer>
#include <QImage>

#include "platform/gfx/Canvas.h"
#include "platform/rtl/Filer.h"
#include "report/rpDevice.h"
#include "report/rpDrawCommand.h"
#include "report/rpPageStore.h"
#include "report/rpRTTI.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/Mutate.h"
#include "tests/support/TestSupport.h"

namespace {

std::string ToBinary(TComponent* Component) {
    TMemoryStream binary;
    WriteComponent(binary, Component);
    return std::string(static_cast<const char*>(binary.Memory()), static_cast<std::size_t>(binary.Size()));
}

std::string BinaryToText(const std::string& Bytes) {
    TStringStream binary(Bytes);
    TStringStream text;
    ObjectBinaryToText(binary, text);
    return text.DataString();
}

std::unique_ptr<TComponent> FromBinary(const std::string& Bytes) {
    TStringStream binary(Bytes);
    return std::unique_ptr<TComponent>(ReadComponent(binary, nullptr));
}

std::unique_ptr<TComponent> FromText(const std::string& Text) {
    TStringStream text(Text);
    return std::unique_ptr<TComponent>(ReadComponentAnyForm(text, nullptr));
}

// A page holding one command of every class, with values away from their
// defaults, always the same.
std::unique_ptr<TrpPage> PageWithEveryCommand() {
    auto page = std::make_unique<TrpPage>(nullptr);
    page->SetName("Page");
    page->SetAbsolutePageNo(2);
    page->SetAbsolutePageCount(3);
    page->SetPageNo(2);
    page->SetPageCount(3);
    page->SetFinal(true);
    page->SetDocumentName("Notas fiscais");
    page->SetPrintDateTime(46000.5);
    page->SetPassSetting(psTwoPass);
    page->PrinterSetup()->SetCopies(2);

    auto* text = new TrpDrawText(nullptr);
    text->SetLeft(1000);
    text->SetTop(2000);
    text->SetWidth(30000);
    text->SetHeight(4500);
    text->SetText("Total da nota");
    text->SetAngle(90);
    text->RotatedOriginLeft = 1500;
    text->RotatedOriginTop = 6000;
    text->SetTextAlignment(taCentered);
    text->SetTransparent(true);
    text->Font()->SetName("Arial");
    text->Font()->SetSize(12);
    text->TabStopPositions()->Add("2540");
    text->WrappedText()->Add("Total da");
    text->WrappedText()->Add("nota");
    text->SetWordWrap(true);
    text->SetClickable(true);
    text->Border()->SetVisible(true);
    text->Border()->SetBorderPositions(TrpBorderPositions{bpTop, bpBottom});
    text->SetPage(page.get());

    auto* variable = new TrpDrawVariable(nullptr);
    variable->SetText("12,50");
    variable->SetTop(7000);
    variable->SetPage(page.get());

    auto* var = new TrpDrawVar(nullptr);
    var->SetVarType(vtPageSetDesc);
    var->SetText("Página 2 de 3");
    var->SetPage(page.get());

    auto* calc = new TrpDrawCalc(nullptr);
    calc->SetCalcType(ctPageCount);
    calc->SetText("3");
    calc->SetPage(page.get());

    auto* shape = new TrpDrawShape(nullptr);
    shape->SetShapeType(stRoundRect);
    shape->SetXCornerRound(3);
    shape->SetYCornerRound(4);
    shape->Brush()->SetColor(clYellow);
    shape->Pen()->SetWidth(2);
    shape->SetWidth(50000);
    shape->SetPage(page.get());

    auto* line = new TrpDrawLine(nullptr);
    line->SetLinePosition(lpLeft);
    line->SetLineStyle(lsDouble);
    line->SetWeight(1.5f);
    line->Pen()->SetColor(clRed);
    line->SetHeight(20000);
    line->SetPage(page.get());

    auto* image = new TrpDrawImage(nullptr);
    image->SetStretch(true);
    image->SetImageName("logo");
    TBitmap bitmap;
    bitmap.SetSize(2, 2);
    image->Picture()->SetGraphic(&bitmap);
    image->SetWidth(10000);
    image->SetHeight(10000);
    image->SetPage(page.get());
    return page;
}

void ExpectSamePages(TrpPage& A, TrpPage& B) {
    ASSERT_EQ(A.DrawCommandCount(), B.DrawCommandCount());
    for (int i = 0; i < A.DrawCommandCount(); ++i) {
        TrpDrawCommand* a = A.DrawCommands(i);
        TrpDrawCommand* b = B.DrawCommands(i);
        EXPECT_EQ(a->ClassType(), b->ClassType()) << i;
        EXPECT_TRUE(a->IsEqual(b)) << a->ClassName();
        EXPECT_EQ(b->Page(), &B);
        EXPECT_EQ(b->Owner(), &B);
    }
    EXPECT_EQ(A.AbsolutePageNo(), B.AbsolutePageNo());
    EXPECT_EQ(A.DocumentName(), B.DocumentName());
    EXPECT_EQ(A.PrintDateTime(), B.PrintDateTime());
    EXPECT_EQ(A.PassSetting(), B.PassSetting());
    EXPECT_TRUE(A.PrinterSetup()->IsEqual(B.PrinterSetup()));
}

TEST(StoredPages, APageWithEveryCommandReadsBackEqual) {
    auto page = PageWithEveryCommand();
    const std::string bytes = ToBinary(page.get());
    std::unique_ptr<TComponent> read = FromBinary(bytes);
    auto* back = dynamic_cast<TrpPage*>(read.get());
    ASSERT_NE(back, nullptr);
    ExpectSamePages(*page, *back);
    // Values no equality rule looks at.
    auto* text = static_cast<TrpDrawText*>(back->DrawCommands(0));
    EXPECT_EQ(text->Angle(), 90);
    EXPECT_EQ(text->RotatedOriginLeft, 1500);
    EXPECT_EQ(text->RotatedOriginTop, 6000);
    EXPECT_TRUE(text->Border()->Visible());
    EXPECT_EQ(static_cast<TrpDrawLine*>(back->DrawCommands(5))->Weight(), 1.5f);
    EXPECT_EQ(static_cast<TrpDrawImage*>(back->DrawCommands(6))->Picture()->Width(), 2);
    EXPECT_EQ(static_cast<TrpDrawImage*>(back->DrawCommands(6))->ImageName(), "logo");
    // The lists are rebuilt once the flags are read.
    EXPECT_EQ(back->ClickableDrawCommandCount(), 1);
    EXPECT_EQ(back->DeferredDrawCommandCount(), 2) << "the page-set value and the calculation";
    EXPECT_EQ(ToBinary(back), bytes) << "written again, byte for byte";
}

// The reference text was printed by the Free Pascal class library's
// ObjectBinaryToText from page_commands.bin (see page_to_text.pas): an
// independent reader of the stream format takes our page whole, and our own
// converter reads it the same way.
TEST(StoredPages, AnIndependentReaderParsesTheStoredPage) {
    auto page = PageWithEveryCommand();
    const std::string bytes = ToBinary(page.get());
    const std::string stored = testsupport::ReadAll(testsupport::DataPath("report/page_commands.bin"));
    if (bytes != stored) testsupport::WriteAll(::testing::TempDir() + "page_commands.bin", bytes);
    EXPECT_EQ(bytes, stored) << "the page's stored form changed (written to " << ::testing::TempDir() << ")";
    const std::string reference = testsupport::ReadAll(testsupport::DataPath("report/page_commands.txt"));
    ASSERT_FALSE(reference.empty());
    EXPECT_EQ(BinaryToText(stored), reference);
}

TEST(StoredPages, TurnedTextKeepsItsOriginOnlyWhenTurned) {
    TrpDrawText text(nullptr);
    text.RotatedOriginLeft = 10;
    text.RotatedOriginTop = 20;
    std::string form = BinaryToText(ToBinary(&text));
    EXPECT_EQ(form.find("RotatedOrigin"), std::string::npos) << form;
    text.SetAngle(90);
    form = BinaryToText(ToBinary(&text));
    EXPECT_NE(form.find("RotatedOriginLeft = 10"), std::string::npos) << form;
    EXPECT_NE(form.find("RotatedOriginTop = 20"), std::string::npos) << form;
    text.SetTextAlignment(taCentered);
    form = BinaryToText(ToBinary(&text));
    EXPECT_NE(form.find("TextAlignment = taCentered"), std::string::npos) << form;
    EXPECT_EQ(form.find(" Alignment ="), std::string::npos) << "the old alignment is never written";
}

TEST(StoredPages, OlderStreamsGiveTheAlignmentByItsOldName) {
    for (const auto& [ident, expected] : std::vector<std::pair<std::string, TrpTextAlignment>>{
             {"taCenter", taCentered}, {"taRightJustify", taRightJustified}, {"taLeftJustify", taLeftJustified},
             {"taJustify", taRightJustified}}) {
        auto read = FromText("object T: TrpDrawText\n  TextAlignment = taRightJustified\n  Alignment = " + ident +
                             "\nend\n");
        auto* text = dynamic_cast<TrpDrawText*>(read.get());
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->TextAlignment(), expected) << ident;
    }
}

// The compact page list: a page comes back whole (every command of every
// class, the values no stream keeps, the lists) and equal to a copy made
// when it was handed in, whatever happens to the original afterwards.
TEST(PageStore, APageComesBackAsACopyWouldWholeAndUntouchedByLaterChanges) {
    auto page = PageWithEveryCommand();
    TComponent maker(nullptr);
    int clicks = 0;
    for (int i = 0; i < page->DrawCommandCount(); ++i) {
        TrpDrawCommand* c = page->DrawCommands(i);
        c->ReportComponent = &maker;
        c->OnClick = [&clicks](TObject*) { ++clicks; };
    }
    auto* text = static_cast<TrpDrawText*>(page->DrawCommands(0));
    text->SetTag(-7);
    text->TagString = "nota 12";
    text->DrawLeft = 1;
    text->DrawTop = -2;
    text->DrawRight = 300;
    text->DrawBottom = 40;
    text->SetDataType(dtDouble);
    text->SetLeading(3);
    text->SetBandSave(true);
    text->SetBandSaveNo(12);
    text->SetComponentSaveNo(-1);
    text->SetAlignment(taRightJustify);
    text->Font()->SetStyle(TFontStyles{fsBold, fsItalic});
    text->Font()->SetSizeInPoints(9.75);
    // The same font again, and a named command (kept as a copy of its own).
    auto* second = new TrpDrawText(nullptr);
    second->Font()->Assign(text->Font());
    second->SetText("");
    second->SetPage(page.get());
    auto* named = new TrpDrawText(nullptr);
    named->SetName("Named");
    named->SetText("com nome");
    named->SetPage(page.get());

    TrpPage copy(nullptr);
    copy.Assign(page.get());
    report::PageStore store;
    store.Add(page.get());
    text->SetText("changed later");
    text->Font()->SetName("Courier New");
    page->SetAbsolutePageNo(9);

    std::unique_ptr<TrpPage> back = store.Page(0);
    ASSERT_NE(back, nullptr);
    ExpectSamePages(copy, *back);
    EXPECT_EQ(ToBinary(back.get()), ToBinary(&copy));
    EXPECT_EQ(back->ClickableDrawCommandCount(), 1);
    EXPECT_EQ(back->DeferredDrawCommandCount(), 2);
    auto* t = static_cast<TrpDrawText*>(back->DrawCommands(0));
    EXPECT_EQ(t->Tag(), -7);
    EXPECT_EQ(t->TagString, "nota 12");
    EXPECT_EQ(t->DrawRect(), (TRect{1, -2, 300, 40}));
    EXPECT_EQ(t->DataType(), dtDouble);
    EXPECT_EQ(t->ReportComponent, &maker);
    EXPECT_EQ(t->Font()->SizeInPoints(), 9.75);
    EXPECT_EQ(t->TextAlignment(), taRightJustified);
    EXPECT_EQ(t->WrappedText()->Count(), 2);
    EXPECT_EQ(t->TabStopPositions()->Strings(0), "2540");
    EXPECT_EQ(t->Border()->BorderPositions(), (TrpBorderPositions{bpTop, bpBottom}));
    EXPECT_EQ(static_cast<TrpDrawText*>(back->DrawCommands(7))->Font()->Style(), (TFontStyles{fsBold, fsItalic}));
    t->DoClick();
    EXPECT_EQ(clicks, 1) << "the clickable command keeps its handler";
    // Served again, the page is the same.
    EXPECT_EQ(ToBinary(store.Page(0).get()), ToBinary(&copy));
}

TEST(PageStore, PagesAreFoundByTheirNumberAndNothingOutOfRange) {
    report::PageStore store;
    for (int n : {3, 1, 2}) {
        TrpPage page(nullptr);
        page.SetAbsolutePageNo(n);
        auto* line = new TrpDrawLine(nullptr);
        line->SetTop(n * 1000);
        line->SetPage(&page);
        store.Add(&page);
    }
    store.Add(nullptr);
    ASSERT_EQ(store.Count(), 3);
    EXPECT_EQ(store.IndexOfPage(1), 1);
    EXPECT_EQ(store.IndexOfPage(4), -1);
    EXPECT_EQ(store.Page(store.IndexOfPage(2))->DrawCommands(0)->Top(), 2000);
    EXPECT_EQ(store.Page(3), nullptr);
    EXPECT_EQ(store.Page(-1), nullptr);
    EXPECT_GT(store.MemoryInUse(), 0u);
    store.Clear();
    EXPECT_EQ(store.Count(), 0);
    EXPECT_EQ(store.IndexOfPage(1), -1);
}

// Fonts, pens and brushes are shared by value: one differing from the last
// few in a single value is a value of its own, whichever was seen before,
// and a store cleared starts its shared values afresh.
TEST(PageStore, AFontPenOrBrushDifferingInOneValueKeepsThatValue) {
    using FontChange = void (*)(TFont&);
    const FontChange fontChanges[] = {
        [](TFont& f) { f.SetName("Courier New"); },      [](TFont& f) { f.SetSizeInPoints(9.75); },
        [](TFont& f) { f.SetHeight(13); },               [](TFont& f) { f.SetColor(clRed); },
        [](TFont& f) { f.SetCharset(2); },               [](TFont& f) { f.SetPitch(fpFixed); },
        [](TFont& f) { f.SetStyle(TFontStyles{fsBold}); }, [](TFont& f) { f.SetPixelsPerInch(600); },
    };
    using PenChange = void (*)(TPen&);
    const PenChange penChanges[] = {
        [](TPen& p) { p.SetColor(clRed); }, [](TPen& p) { p.SetMode(pmXor); },
        [](TPen& p) { p.SetStyle(psDash); }, [](TPen& p) { p.SetWidth(3); },
    };
    using BrushChange = void (*)(TBrush&);
    const BrushChange brushChanges[] = {[](TBrush& b) { b.SetColor(clRed); },
                                        [](TBrush& b) { b.SetStyle(bsDiagCross); }};
    TFont base;
    base.SetName("Arial");
    TrpPage page(nullptr);
    // Each changed value between two plain ones.
    for (FontChange change : fontChanges)
        for (int i = 0; i < 3; ++i) {
            auto* t = new TrpDrawText(nullptr);
            t->Font()->Assign(&base);
            if (i == 1) change(*t->Font());
            t->SetPage(&page);
        }
    for (PenChange change : penChanges)
        for (int i = 0; i < 3; ++i) {
            auto* l = new TrpDrawLine(nullptr);
            if (i == 1) change(*l->Pen());
            l->SetPage(&page);
        }
    for (BrushChange change : brushChanges)
        for (int i = 0; i < 3; ++i) {
            auto* s = new TrpDrawShape(nullptr);
            if (i == 1) change(*s->Brush());
            s->SetPage(&page);
        }
    TrpPage copy(nullptr);
    copy.Assign(&page);
    report::PageStore store;
    store.Add(&page);
    store.Add(&page);
    for (int n = 0; n < 2; ++n) {
        std::unique_ptr<TrpPage> back = store.Page(n);
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(back->DrawCommandCount(), copy.DrawCommandCount());
        for (int i = 0; i < copy.DrawCommandCount(); ++i) {
            SCOPED_TRACE(i);
            TrpDrawCommand* want = copy.DrawCommands(i);
            TrpDrawCommand* got = back->DrawCommands(i);
            if (auto* t = dynamic_cast<TrpDrawText*>(want)) {
                const TFont* f = static_cast<TrpDrawText*>(got)->Font();
                EXPECT_TRUE(*f == *t->Font());
                EXPECT_EQ(f->IsCellHeight(), t->Font()->IsCellHeight());
                EXPECT_EQ(f->PixelsPerInch(), t->Font()->PixelsPerInch());
            } else if (auto* l = dynamic_cast<TrpDrawLine*>(want)) {
                EXPECT_TRUE(*static_cast<TrpDrawLine*>(got)->Pen() == *l->Pen());
            } else {
                auto* s = static_cast<TrpDrawShape*>(want);
                EXPECT_TRUE(*static_cast<TrpDrawShape*>(got)->Brush() == *s->Brush());
            }
        }
    }
    // After a clear the numbers seen before name nothing.
    store.Clear();
    TrpPage other(nullptr);
    auto* t = new TrpDrawText(nullptr);
    t->Font()->SetName("Times New Roman");
    t->SetPage(&other);
    auto* l = new TrpDrawLine(nullptr);
    l->Pen()->SetWidth(7);
    l->SetPage(&other);
    store.Add(&other);
    std::unique_ptr<TrpPage> back = store.Page(0);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(static_cast<TrpDrawText*>(back->DrawCommands(0))->Font()->Name(), "Times New Roman");
    EXPECT_EQ(static_cast<TrpDrawLine*>(back->DrawCommands(1))->Pen()->Width(), 7);
}

// A listing's pages repeat the same few commands a row down: each page
// comes back whole whichever page is asked for first, a shape first seen
// on a later page or met again at a place of its own included, and the
// repeated rows cost a few bytes each.
TEST(PageStore, RepeatedRowsComeBackInPlaceOnEveryPageAndCostFewBytes) {
    constexpr int kRows = 50;
    auto makePage = [](int Number) {
        auto page = std::make_unique<TrpPage>(nullptr);
        page->SetAbsolutePageNo(Number);
        for (int r = 0; r < kRows; ++r) {
            const int top = 30000 + r * 4500;
            auto* t = new TrpDrawText(nullptr);
            t->SetLeft(16000);
            t->SetTop(top);
            t->SetWidth(17200);
            t->SetHeight(4200);
            t->SetText(std::to_string(Number * 1000 + r) + ",00");
            t->SetPage(page.get());
            auto* l = new TrpDrawLine(nullptr);
            // A rule that steps aside on the last rows, and one only on
            // the second page.
            l->SetLeft(r < kRows - 2 ? 13500 : 13600 + r);
            l->SetTop(top);
            l->SetWidth(300);
            l->SetHeight(4500);
            l->SetPage(page.get());
            if (Number == 2) {
                auto* s = new TrpDrawShape(nullptr);
                s->Brush()->SetColor(clSilver);
                s->SetTop(top - r);
                s->SetPage(page.get());
            }
        }
        return page;
    };
    report::PageStore store;
    std::vector<std::string> copies;
    int commands = 0;
    for (int n = 1; n <= 3; ++n) {
        auto page = makePage(n);
        TrpPage copy(nullptr);
        copy.Assign(page.get());
        copies.push_back(ToBinary(&copy));
        commands += page->DrawCommandCount();
        store.Add(page.get());
    }
    for (int n : {2, 0, 1, 2}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(ToBinary(store.Page(n).get()), copies[static_cast<std::size_t>(n)]);
    }
    EXPECT_LT(store.MemoryInUse(), static_cast<std::size_t>(commands) * 16 + 4096);
}

TEST(DrawTexts, FullJustificationIsLeftForThePlatform) {
    TrpDrawText text(nullptr);
    text.SetTextAlignment(taFullJustified);
    EXPECT_EQ(text.Alignment(), taLeftJustify);
    text.SetTextAlignment(taCentered);
    EXPECT_EQ(text.Alignment(), taCenter);
    text.SetAlignment(taRightJustify);
    EXPECT_EQ(text.TextAlignment(), taRightJustified);
}

TEST(DrawTexts, EqualityLeavesOutTheAngleAndTheFontColour) {
    TrpDrawText a(nullptr), b(nullptr);
    a.SetText("x");
    b.SetText("x");
    b.SetAngle(45);
    b.Font()->SetColor(clRed);
    EXPECT_TRUE(a.IsEqual(&b));
    b.Font()->SetSize(20);
    EXPECT_FALSE(a.IsEqual(&b));
    b.Font()->SetSize(a.Font()->Size());
    b.WrappedText()->Add("x");
    EXPECT_FALSE(a.IsEqual(&b));
    TrpDrawShape shape(nullptr);
    EXPECT_FALSE(a.IsEqual(&shape));
    a.SetBandSaveNo(3);
    a.SetComponentSaveNo(12);
    EXPECT_EQ(a.GetSaveKey(), "       3      12");
}

TEST(DrawVars, DatesAreAllAlikeButPageNumbersAreCompared) {
    TrpDrawVar date(nullptr), time(nullptr);
    date.SetVarType(vtDate);
    time.SetVarType(vtTime);
    time.SetLeft(5000);
    time.SetText("10:00");
    EXPECT_TRUE(date.IsEqual(&time));
    TrpDrawVar no1(nullptr), no2(nullptr);
    no1.SetVarType(vtPageNo);
    no2.SetVarType(vtPageNo);
    no1.SetText("1");
    no2.SetText("2");
    EXPECT_FALSE(no1.IsEqual(&no2));
    no2.SetText("1");
    EXPECT_TRUE(no1.IsEqual(&no2));
    no2.SetVarType(vtPageCount);
    EXPECT_FALSE(no1.IsEqual(&no2));
    EXPECT_FALSE(no1.IsEqual(&date));
}

// A report component with the format its page numbers are shown in.
class TNumberField : public TComponent {
public:
    explicit TNumberField(TComponent* AOwner) : TComponent(AOwner) {}
    FAT_CLASS(TNumberField)
    const std::string& DisplayFormat() const { return format; }
    void SetDisplayFormat(const std::string& Value) { format = Value; }
    std::string format;
};

TClass TNumberField::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TNumberField>("TNumberField", TComponent::StaticClassType())
            .String("DisplayFormat", &TNumberField::DisplayFormat, &TNumberField::SetDisplayFormat)
            .Build();
    return &info;
}

// A new command of class C on Page.
template <class C>
C* OnPage(TrpPage& Page) {
    auto* c = new C(nullptr);
    c->SetPage(&Page);
    return c;
}

TEST(DrawVars, PageValuesAreRecalculatedOnTheirPage) {
    TrpPage page(nullptr);
    page.SetPageNo(4);
    page.SetPageCount(9);
    auto* desc = OnPage<TrpDrawVar>(page);
    desc->SetVarType(vtPageSetDesc);
    auto* date = OnPage<TrpDrawVar>(page);
    date->SetText("07/12/2026");
    TNumberField maker(nullptr);
    maker.format = "000";
    auto* count = new TrpDrawVar(nullptr);
    count->SetVarType(vtPageCount);
    count->ReportComponent = &maker;
    count->SetPage(&page);
    EXPECT_EQ(page.DeferredDrawCommandCount(), 2) << "dates are not deferred, a kind set on the page counts";
    page.RecalculateDrawCommands(nullptr);
    EXPECT_EQ(desc->Text(), "Página 4 de 9");
    EXPECT_EQ(count->Text(), "009");
    EXPECT_EQ(date->Text(), "07/12/2026");
    EXPECT_FALSE(date->Recalculate());
}

// Says which commands a page asked it to redraw.
class TRedrawDevice : public TrpDevice {
public:
    TRedrawDevice() : TrpDevice(nullptr) {}
    FAT_CLASS_NAME(TRedrawDevice)
    bool Redraw(TrpDrawCommand* Command) override {
        redrawn.push_back(Command);
        return true;
    }
    std::vector<TrpDrawCommand*> redrawn;
};

TEST(DrawCalcs, OnlyPageKindsAreRecalculatedAndRedrawn) {
    TrpPage page(nullptr);
    page.SetPageNo(1);
    page.SetPageCount(2);
    auto* set = OnPage<TrpDrawCalc>(page);
    set->SetCalcType(ctPageSet);
    auto* custom = OnPage<TrpDrawCalc>(page);
    custom->SetCalcType(ctCustom);
    custom->SetText("R$ 10,00");
    custom->SetPage(&page);
    EXPECT_EQ(page.DeferredDrawCommandCount(), 2) << "every calculation is deferred";
    TRedrawDevice device;
    page.RecalculateDrawCommands(&device);
    EXPECT_EQ(set->Text(), "1 de 2");
    EXPECT_EQ(custom->Text(), "R$ 10,00");
    EXPECT_EQ(device.redrawn, std::vector<TrpDrawCommand*>{set});
}

// Broadcasts look-ahead values as the variables that compute them do.
void SendLookAhead(TrpCommunicator& Sender, std::string Key, int32_t Count, std::string Text) {
    TrsParamList params;
    params.AddParam("aLookAheadKey", rsString, false, true);
    params.AddParam("aTraversalCount", rsInteger, false, true);
    params.AddParam("aText", rsString, false, true);
    params.BindConstParam(0, &Key);
    params.BindConstParam(1, &Count);
    params.BindConstParam(2, &Text);
    Sender.SendEventNotify(&Sender, 67, &params);
}

TEST(DrawVariables, ALookAheadValueKeepsTheLatestTraversal) {
    TrpDrawVariable v(nullptr);
    v.SetLookAheadKey("Total");
    v.SetDeferred(true);
    TrpCommunicator sender(nullptr);
    sender.AddEventNotify(v.Listener());
    for (int count : {1, 3, 2}) SendLookAhead(sender, "Total", count, "valor " + std::to_string(count));
    EXPECT_EQ(v.Text(), "valor 3");
    EXPECT_EQ(v.TraversalCount(), 3);
    EXPECT_TRUE(v.Recalculate()) << "still listening";

    // A copy hears the same senders.
    TrpDrawVariable copy(nullptr);
    copy.Assign(&v);
    EXPECT_TRUE(copy.Deferred());
    EXPECT_EQ(copy.TraversalCount(), 0) << "the count is not copied";
    SendLookAhead(sender, "Total", 4, "valor 4");
    EXPECT_EQ(copy.Text(), "valor 4");

    SendLookAhead(sender, "Outro", 9, "outro");
    EXPECT_EQ(v.Text(), "valor 4");
    EXPECT_FALSE(v.Recalculate()) << "another key ends the listening";
    v.SetDeferred(false);
    EXPECT_EQ(v.Listener(), nullptr);
    EXPECT_FALSE(v.IsDeferred());
}

TEST(DrawVariables, ADeferredVariableJoinsItsPagesDeferredList) {
    TrpPage page(nullptr);
    auto* v = new TrpDrawVariable(nullptr);
    v->SetPage(&page);
    EXPECT_FALSE(page.HasDeferredDrawCommands());
    v->SetDeferred(true);
    EXPECT_TRUE(page.HasDeferredDrawCommands());
    v->SetDeferred(false);
    EXPECT_FALSE(page.HasDeferredDrawCommands());
}

TEST(DrawShapesAndLines, EqualityRules) {
    TrpDrawShape a(nullptr), b(nullptr);
    EXPECT_EQ(a.DataType(), dtGraphic);
    b.Pen()->SetWidth(3);
    EXPECT_FALSE(a.IsEqual(&b));
    b.Assign(&a);
    EXPECT_TRUE(a.IsEqual(&b));
    b.SetShapeType(stEllipse);
    EXPECT_FALSE(a.IsEqual(&b));

    TrpDrawLine l1(nullptr), l2(nullptr);
    l2.SetWeight(4.0f);
    EXPECT_TRUE(l1.IsEqual(&l2)) << "the weight is not compared";
    l2.Pen()->SetStyle(psDash);
    EXPECT_FALSE(l1.IsEqual(&l2));
    l2.Assign(&l1);
    EXPECT_EQ(l2.Weight(), 0.0f);
    l2.SetLineStyle(lsDouble);
    EXPECT_FALSE(l1.IsEqual(&l2));
}

TEST(DrawImages, AJpegIsDrawnOnceIntoABitmapOfItsSize) {
    gfx::RegisterPictureFormats();
    QImage source(7, 5, QImage::Format_RGB32);
    source.fill(Qt::blue);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(source.save(&buffer, "JPEG"));
    TStringStream stream(std::string(jpeg.constData(), static_cast<std::size_t>(jpeg.size())));
    TrpDrawImage image(nullptr);
    image.Picture()->LoadFromStream(stream);
    ASSERT_NE(dynamic_cast<TJPEGImage*>(image.Picture()->Graphic()), nullptr);
    TBitmap* bitmap = image.AsBitmap();
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->Width(), 7);
    EXPECT_EQ(bitmap->Height(), 5);
    EXPECT_EQ(image.AsBitmap(), bitmap);

    TBitmap own;
    own.SetSize(3, 3);
    image.Picture()->SetGraphic(&own);
    EXPECT_EQ(image.AsBitmap(), image.Picture()->Graphic()) << "a bitmap is used as it is";
    TrpDrawImage empty(nullptr);
    EXPECT_EQ(empty.AsBitmap(), nullptr);
}

}  // namespace

namespace {

TEST(DrawHelpers, TurnedTextLeavesTheCanvasAsItWas) {
    TImageCanvas canvas(120, 120, 96);
    canvas.Brush()->SetColor(clWhite);
    canvas.FillRect(TRect{0, 0, 120, 120});
    canvas.Font()->SetName("Courier New");
    TFont font;
    font.SetName("Arial");
    font.SetSize(14);
    TextOutRotated(&canvas, &font, 60, 100, "WWW", 90);
    EXPECT_EQ(canvas.Brush()->Style(), bsSolid);
    EXPECT_EQ(canvas.FontAngle(), 0);
    EXPECT_EQ(canvas.Font()->Name(), "Courier New");
    // Turned up from (60, 100), the text stands above and to the right of
    // its origin, not to the right along the bottom.
    const QImage image = canvas.Image();
    int above = 0, beside = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 120; ++x) {
            if (image.pixel(x, y) == qRgb(255, 255, 255)) continue;
            if (y < 95 && x >= 58) ++above;
            if (y >= 100 && x > 80) ++beside;
        }
    EXPECT_GT(above, 0);
    EXPECT_EQ(beside, 0);
    EXPECT_NEAR(MMThousandthsToInches(25400), 1.0f, 0.001f);
}

}  // namespace

namespace {

// Every command a page lists is one of its own draw commands, on its lists
// only when its flags say so.
void ExpectSoundPage(TrpPage& Page) {
    int clickable = 0, deferred = 0;
    for (int i = 0; i < Page.DrawCommandCount(); ++i) {
        TrpDrawCommand* c = Page.DrawCommands(i);
        ASSERT_NE(dynamic_cast<TrpDrawCommand*>(static_cast<TObject*>(c)), nullptr);
        ASSERT_EQ(c->Page(), &Page);
        ASSERT_EQ(c->Owner(), &Page);
        clickable += c->Clickable();
        deferred += c->IsDeferred();
    }
    ASSERT_EQ(Page.ClickableDrawCommandCount(), clickable);
    ASSERT_EQ(Page.DeferredDrawCommandCount(), deferred);
}

TEST(StoredPages, AnArchivedPageNamingAnotherKindOfChildKeepsOnlyItsCommands) {
    auto read = FromText(
        "object Page: TrpPage\n"
        "  object TrpRelative\n"
        "  end\n"
        "  object TrpDrawVar\n"
        "    VarType = vtPageNo\n"
        "    Clickable = True\n"
        "  end\n"
        "end\n");
    auto* page = dynamic_cast<TrpPage*>(read.get());
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->DrawCommandCount(), 1);
    ExpectSoundPage(*page);
    EXPECT_EQ(page->DeferredDrawCommandCount(), 1);
    page->RecalculateDrawCommands(nullptr);
}

// Archives come from disk: a damaged one is refused or read into a sound
// page, never a crash or a leak.
TEST(StoredPages, DamagedArchivesAreRefusedOrReadSoundly) {
    const std::string stored = testsupport::ReadAll(testsupport::DataPath("report/page_commands.bin"));
    ASSERT_FALSE(stored.empty());
    std::mt19937 random(24);
    int read = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::string bytes = testsupport::MutateBytes(stored, random);
        std::unique_ptr<TComponent> result;
        try {
            result = FromBinary(bytes);
        } catch (const EReadError&) {
            continue;
        } catch (const EConvertError&) {
            continue;
        }
        auto* page = dynamic_cast<TrpPage*>(result.get());
        if (page == nullptr) continue;
        ++read;
        ExpectSoundPage(*page);
        TrpPage copy(nullptr);
        copy.Assign(page);
        ASSERT_EQ(copy.DrawCommandCount(), page->DrawCommandCount());
    }
    EXPECT_GT(read, 0) << "some damage leaves a readable page";
}

}  // namespace
