// Pages, their draw commands and the requests that say which pages a device wants.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "report/rpDevice.h"
#include "report/rpDrawCommand.h"
#include "report/rpExcept.h"
#include "report/rpPage.h"
#include "report/rpPageRTTI.h"
#include "report/rpRTTI.h"
#include "tests/report/ReportTestSupport.h"

namespace {

// A page as the engine makes it.
void Number(TrpPage& Page, int No, int Count, bool Last = false) {
    Page.SetAbsolutePageNo(No);
    Page.SetAbsolutePageCount(Count);
    Page.SetFirstPage(No == 1);
    Page.SetLastPage(Last);
    Page.SetFinal(true);
}

std::vector<int> RequestedOf(TrpPageRequest& Request, int Pages) {
    std::vector<int> out;
    TrpPage page(nullptr);
    for (int n = 1; n <= Pages; ++n) {
        Number(page, n, Pages, n == Pages);
        if (Request.IsRequested(&page)) out.push_back(n);
    }
    return out;
}

TEST(PageRequests, SinglePageBeyondTheEndOrBelowOneMeansTheLastOrFirstPage) {
    TrpPageRequest request;
    request.SetPageSetting(psSinglePage);
    request.SetPageRequested(9);
    EXPECT_EQ(RequestedOf(request, 5), std::vector<int>{5});
    EXPECT_EQ(request.PageRequested(), 5) << "the last page lowers the request";

    request.SetPageRequested(0);
    EXPECT_EQ(RequestedOf(request, 5), std::vector<int>{1});
    EXPECT_EQ(request.PageRequested(), 1);
}

TEST(PageRequests, RangesAndSettingsFilterThePages) {
    TrpPageRequest request;
    EXPECT_EQ(RequestedOf(request, 4), (std::vector<int>{1, 2, 3, 4}));
    request.SetPageRange(prEvenPages);
    EXPECT_EQ(RequestedOf(request, 5), (std::vector<int>{2, 4}));
    request.SetPageRange(prOddPages);
    EXPECT_EQ(RequestedOf(request, 5), (std::vector<int>{1, 3, 5}));
    request.SetPageRange(prAll);
    request.SetPageSetting(psPageRange);
    EXPECT_TRUE(RequestedOf(request, 5).empty());
    request.SetPageSetting(psFirstPage);
    EXPECT_EQ(RequestedOf(request, 5), std::vector<int>{1});
    request.SetPageSetting(psLastPage);
    EXPECT_EQ(RequestedOf(request, 5), std::vector<int>{5});
    request.SetPageSetting(psPageList);
    request.PageList()->Add("4");
    request.PageList()->Add("2");
    EXPECT_EQ(RequestedOf(request, 5), (std::vector<int>{2, 4}));
}

TEST(PageRequests, APageListIsCompleteAtItsLastEntryNotItsHighest) {
    TrpPageRequest request;
    request.SetPageSetting(psPageList);
    request.PageList()->Add("2");
    request.PageList()->Add("7");
    TrpPage page(nullptr);
    Number(page, 2, 9);
    EXPECT_FALSE(request.IsComplete(&page));
    Number(page, 7, 9);
    EXPECT_TRUE(request.IsComplete(&page));

    TrpPageRequest all;
    Number(page, 3, 3, false);
    EXPECT_FALSE(all.IsComplete(&page));
    page.SetLastPage(true);
    EXPECT_TRUE(all.IsComplete(&page));
    all.SetPageSetting(psPageRange);
    EXPECT_FALSE(all.IsComplete(&page)) << "a range never completes";
}

TEST(PageRequests, MergingWidensTheRequest) {
    TrpPageRequest mine;
    mine.SetPageSetting(psSinglePage);
    mine.SetPageRequested(5);
    TrpPageRequest three;
    three.SetPageSetting(psSinglePage);
    three.SetPageRequested(3);

    mine.Merge(&three);
    EXPECT_EQ(mine.PageSetting(), psPageList);
    EXPECT_EQ(mine.PageList()->CommaText(), "5,3");
    mine.Merge(&three);
    EXPECT_EQ(mine.PageList()->CommaText(), "5,3") << "a page already listed is not added twice";

    TrpPageRequest same;
    same.SetPageSetting(psSinglePage);
    same.SetPageRequested(3);
    same.Merge(&three);
    EXPECT_EQ(same.PageSetting(), psSinglePage);

    TrpPageRequest first;
    first.SetPageSetting(psFirstPage);
    first.Merge(&three);
    EXPECT_EQ(first.PageList()->CommaText(), "1,3");

    TrpPageRequest last;
    last.SetPageSetting(psLastPage);
    mine.Merge(&last);
    EXPECT_EQ(mine.PageSetting(), psAll);
}

TEST(PageRequests, ResetAndAssign) {
    TrpPageRequest a;
    a.SetPageSetting(psPageList);
    a.PageList()->Add("8");
    a.SetPageRequested(4);
    a.SetPageRange(prOddPages);
    TrpPageRequest b;
    b.Assign(&a);
    EXPECT_EQ(b.PageList()->CommaText(), "8");
    EXPECT_EQ(b.PageRequested(), 4);
    EXPECT_EQ(b.PageRange(), prOddPages);
    a.PageList()->Add("9");
    EXPECT_EQ(b.PageList()->Count(), 1) << "the list is copied, not shared";
    b.Reset();
    EXPECT_EQ(b.PageList()->Count(), 0);
    EXPECT_EQ(b.PageRequested(), 1);
    EXPECT_EQ(b.PageSetting(), psAll);
    EXPECT_EQ(b.PageRange(), prAll);
}

// A text command at a place, with a text.
TrpDrawText* Text(TrpPage* Page, int Left, const std::string& Value) {
    auto* t = new TrpDrawText(nullptr);
    t->SetLeft(Left);
    t->SetTop(Left * 2);
    t->SetWidth(1000);
    t->SetHeight(500);
    t->SetText(Value);
    t->SetPage(Page);
    return t;
}

TEST(Pages, ACopyIsDeepAndOutlivesNothingOfTheSource) {
    TrpPage source(nullptr);
    Number(source, 3, 7);
    source.SetDocumentName("Notas");
    source.PrinterSetup()->SetCopies(3);
    for (int i = 0; i < 20; ++i) {
        if (i % 4 == 0) {
            auto* line = new TrpDrawLine(nullptr);
            line->SetLeft(i);
            line->SetLinePosition(lpBottom);
            line->SetPage(&source);
        } else {
            Text(&source, i, "t" + std::to_string(i));
        }
    }
    auto copy = std::make_unique<TrpPage>(nullptr);
    copy->Assign(&source);
    ASSERT_EQ(copy->DrawCommandCount(), 20);
    EXPECT_EQ(copy->ComponentCount(), 20) << "the copy owns its commands";
    for (int i = 0; i < 20; ++i) {
        TrpDrawCommand* a = source.DrawCommands(i);
        TrpDrawCommand* b = copy->DrawCommands(i);
        EXPECT_NE(a, b);
        EXPECT_EQ(a->ClassType(), b->ClassType());
        EXPECT_TRUE(a->IsEqual(b)) << i;
        EXPECT_EQ(b->Page(), copy.get());
    }
    EXPECT_EQ(copy->AbsolutePageNo(), 3);
    EXPECT_EQ(copy->DocumentName(), "Notas");
    EXPECT_EQ(copy->PrinterSetup()->Copies(), 3);
    copy.reset();
    ASSERT_EQ(source.DrawCommandCount(), 20);
    EXPECT_EQ(static_cast<TrpDrawText*>(source.DrawCommands(1))->Text(), "t1");
}

TEST(Pages, AssignFromAnotherClassIsRefused) {
    TrpPage page(nullptr);
    TrpPageRequest request;
    EXPECT_THROW(page.Assign(&request), EConvertError);
    TrpDrawText text(nullptr);
    EXPECT_THROW(text.Assign(&request), EConvertError);
}

TEST(Pages, DeferredAndClickableListsFollowTheirCommands) {
    TrpPage first(nullptr);
    TrpPage second(nullptr);
    auto* calc = new TrpDrawCalc(nullptr);
    calc->SetPage(&first);
    EXPECT_TRUE(first.HasDeferredDrawCommands());
    calc->SetPage(&second);
    EXPECT_FALSE(first.HasDeferredDrawCommands()) << "the emptied list is freed";
    EXPECT_TRUE(second.HasDeferredDrawCommands());
    EXPECT_EQ(calc->Owner(), &second);
    EXPECT_EQ(first.ComponentCount(), 0);

    auto* button = Text(&first, 1, "clique");
    EXPECT_EQ(first.ClickableDrawCommandCount(), 0);
    button->SetClickable(true);
    ASSERT_EQ(first.ClickableDrawCommandCount(), 1);
    EXPECT_EQ(first.ClickableDrawCommands(0), button);
    delete button;
    EXPECT_EQ(first.ClickableDrawCommandCount(), 0) << "a freed command leaves every list";
    EXPECT_EQ(first.DrawCommandCount(), 0);
}

TEST(Pages, ClearFreesTheCommandsAndTheNumbering) {
    TrpPage page(nullptr);
    Number(page, 4, 9, true);
    page.SetPageNo(2);
    page.SetPageCount(3);
    page.SetLanguageIndex(5);
    page.SetCalculation(true);
    Text(&page, 1, "x");
    page.Clear();
    EXPECT_EQ(page.DrawCommandCount(), 0);
    EXPECT_EQ(page.AbsolutePageNo(), 0);
    EXPECT_EQ(page.AbsolutePageCount(), 0);
    EXPECT_EQ(page.PageNo(), 0);
    EXPECT_EQ(page.PageCount(), 0);
    EXPECT_EQ(page.LanguageIndex(), 0);
    EXPECT_FALSE(page.LastPage());
    EXPECT_FALSE(page.Final());
    EXPECT_FALSE(page.Calculation());
}

// Freed commands' memory is kept for the next page's commands: a command
// made there starts whole, one freed on another thread than its own goes
// back cleanly, and one used after its page freed it is still caught by the
// address checker.
TEST(Pages, CommandMemoryKeptBetweenPagesStartsCleanAndStaysGuarded) {
    TrpDrawText* freedCommand = nullptr;
    {
        TrpPage page(nullptr);
        freedCommand = Text(&page, 3, "old text");
        freedCommand->SetClickable(true);
        freedCommand->Font()->SetSize(31);
    }
#if defined(__SANITIZE_ADDRESS__)
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH((void)freedCommand->Left(), "use-after-poison|heap-use-after-free");
#endif
    TrpPage page(nullptr);
    std::vector<TrpDrawText*> made;
    for (int i = 0; i < 64; ++i) made.push_back(new TrpDrawText(nullptr));
    for (TrpDrawText* t : made) {
        EXPECT_EQ(t->Text(), "");
        EXPECT_FALSE(t->Clickable());
        EXPECT_NE(t->Font()->Size(), 31);
        EXPECT_EQ(t->Page(), nullptr);
        t->SetPage(&page);
    }
    EXPECT_EQ(page.DrawCommandCount(), 64);
    EXPECT_EQ(page.ClickableDrawCommandCount(), 0);
    std::thread other([&page] { page.FreeDrawCommands(); });
    other.join();
    EXPECT_EQ(page.DrawCommandCount(), 0);
    EXPECT_TRUE(std::find(made.begin(), made.end(), freedCommand) != made.end()) << "the freed memory went unused";
}

TEST(Pages, DescriptionsUseTheLanguageTexts) {
    TrpPage page(nullptr);
    Number(page, 3, 7);
    EXPECT_EQ(page.GetPageNoText(), "Página 3");
    EXPECT_EQ(page.GetPageDescription(), "Página 3 de 7");
}

// The outline's own command, as the outline declares it.
class TrpOutlineDrawCommand : public TrpDrawCommand {
public:
    explicit TrpOutlineDrawCommand(TComponent* AOwner) : TrpDrawCommand(AOwner) {}
    FAT_CLASS(TrpOutlineDrawCommand)
    bool IsOutline() const override { return true; }
};

TClass TrpOutlineDrawCommand::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpOutlineDrawCommand>("TrpOutlineDrawCommand", TrpDrawCommand::StaticClassType()).Build();
    return &info;
}

TEST(Pages, OnlyOneOutlineCommandPerPage) {
    RegisterClass(TrpOutlineDrawCommand::StaticClassType());
    TrpPage page(nullptr);
    EXPECT_EQ(page.GetOutlineDrawCommand(), nullptr);
    auto* first = new TrpOutlineDrawCommand(nullptr);
    first->SetPage(&page);
    EXPECT_EQ(page.GetOutlineDrawCommand(), first);
    auto second = std::make_unique<TrpOutlineDrawCommand>(nullptr);
    try {
        second->SetPage(&page);
        ADD_FAILURE() << "a second outline command was accepted";
    } catch (const EOutlineError& e) {
        EXPECT_EQ(e.Message(), "TrpPage.AddDrawCommand: Cannot add more than one draw outline command per page.");
    }
    EXPECT_EQ(page.DrawCommandCount(), 1) << "raised before the command was added";
    EXPECT_EQ(second->Page(), nullptr);
    UnRegisterClass(TrpOutlineDrawCommand::StaticClassType());
}

TEST(Pages, FindDrawCommandTakesSubclasses) {
    TrpPage page(nullptr);
    auto* line = new TrpDrawLine(nullptr);
    line->SetPage(&page);
    auto* var = new TrpDrawVar(nullptr);
    var->SetPage(&page);
    EXPECT_EQ(page.FindDrawCommand(TrpDrawText::StaticClassType()), var);
    EXPECT_EQ(page.FindDrawCommand(TrpDrawCommand::StaticClassType()), line);
    EXPECT_EQ(page.FindDrawCommand(TrpDrawImage::StaticClassType()), nullptr);
}

TEST(Pages, WritingThePrinterSetupCopiesAndNilIsIgnored) {
    TrpPage page(nullptr);
    TrpPrinterSetup setup;
    setup.SetCopies(4);
    setup.SetOrientation(poLandscape);
    page.SetPrinterSetup(&setup);
    EXPECT_NE(page.PrinterSetup(), &setup);
    EXPECT_EQ(page.PrinterSetup()->Copies(), 4);
    EXPECT_EQ(page.PageDef()->mmWidth(), setup.PageDef()->mmWidth());
    page.SetPrinterSetup(nullptr);
    EXPECT_EQ(page.PrinterSetup()->Copies(), 4);
}

TEST(DrawCommands, AssignCopiesEverythingButThePage) {
    TrpPage page(nullptr);
    TrpDrawText* source = Text(&page, 7, "abc");
    source->SetClickable(true);
    source->TagString = "marca";
    source->SetTag(42);
    source->DrawLeft = 1;
    source->DrawBottom = 9;
    int clicks = 0;
    source->OnClick = [&](TObject*) { ++clicks; };
    source->Border()->SetVisible(true);
    TrpDrawText copy(nullptr);
    copy.Assign(source);
    EXPECT_EQ(copy.Page(), nullptr);
    EXPECT_TRUE(copy.Clickable());
    EXPECT_EQ(copy.TagString, "marca");
    EXPECT_EQ(copy.Tag(), 42);
    EXPECT_EQ(copy.DrawRect().Left, 1);
    EXPECT_EQ(copy.DrawRect().Bottom, 9);
    EXPECT_TRUE(copy.Border()->Visible());
    EXPECT_TRUE(copy.IsEqual(source));
    copy.DoClick();
    EXPECT_EQ(clicks, 1);
    copy.SetLeft(8);
    EXPECT_FALSE(copy.IsEqual(source));
}

TEST(DrawCommands, ScreenFontsAreSubstituted) {
    EXPECT_EQ(TrpDeviceSubstitutions::SubstituteFont("Courier"), "Courier New");
    EXPECT_EQ(TrpDeviceSubstitutions::SubstituteFont("MS Serif"), "Courier New");
    EXPECT_EQ(TrpDeviceSubstitutions::SubstituteFont("MS Sans Serif"), "Arial");
    EXPECT_EQ(TrpDeviceSubstitutions::SubstituteFont("Terminal"), "Arial");
    EXPECT_EQ(TrpDeviceSubstitutions::SubstituteFont("courier"), "courier") << "the comparison heeds case";
    EXPECT_EQ(TrpDeviceSubstitutions::SubstituteFont("Tahoma"), "Tahoma");
}

}  // namespace

namespace {

TEST(Pages, ACommandAddedOrRemovedDirectlyKnowsWhereItStands) {
    TrpPage first(nullptr), second(nullptr);
    auto* text = new TrpDrawText(nullptr);
    first.AddDrawCommand(text);
    EXPECT_EQ(text->Page(), &first);
    second.AddDrawCommand(text);
    EXPECT_EQ(text->Page(), &second);
    EXPECT_EQ(first.DrawCommandCount(), 0) << "never on two pages";
    second.RemoveDrawCommand(text);
    EXPECT_EQ(text->Page(), nullptr);
    EXPECT_EQ(text->Owner(), nullptr);
    delete text;
    EXPECT_EQ(second.DrawCommandCount(), 0);
}

TEST(Pages, ACommandWhoseKindChangedLeavesTheDeferredListWhenFreed) {
    TrpPage page(nullptr);
    auto* number = new TrpDrawVar(nullptr);
    number->SetVarType(vtPageNo);
    number->SetPage(&page);
    ASSERT_EQ(page.DeferredDrawCommandCount(), 1);
    number->SetVarType(vtDate);
    delete number;
    EXPECT_FALSE(page.HasDeferredDrawCommands());
    page.RecalculateDrawCommands(nullptr);
}

TEST(PageScripting, CommandsAndPagesAsScriptsSeeThem) {
    TrpPage page(nullptr), other(nullptr);
    auto* text = new TrpDrawText(nullptr);
    text->SetPage(&page);
    const TrsRTTI* adapter = TrsRTTIClassRegistry::GetRTTIClass(TrpDrawText::StaticClassType());
    ASSERT_NE(adapter, nullptr);
    TrsValue v;
    ASSERT_TRUE(adapter->GetPropValue(text, "Page", v));
    EXPECT_EQ(std::get<TObject*>(v), &page);
    ASSERT_TRUE(adapter->SetPropValue(text, "Page", static_cast<TObject*>(&other)));
    EXPECT_EQ(text->Page(), &other);
    EXPECT_EQ(page.DrawCommandCount(), 0);
    EXPECT_FALSE(adapter->SetPropValue(text, "Clickable", true)) << "read-only";
    ASSERT_TRUE(adapter->SetPropValue(text, "RedrawPage", true));
    EXPECT_TRUE(text->RedrawPage);

    const TrsRTTI* pages = TrsRTTIClassRegistry::GetRTTIClass(TrpPage::StaticClassType());
    ASSERT_NE(pages, nullptr);
    ASSERT_TRUE(pages->GetPropValue(&other, "DrawCommandCount", v));
    EXPECT_EQ(std::get<int32_t>(v), 1);
    TrsMemberDescriptor rec;
    ASSERT_TRUE(pages->GetPropRec(TrpPage::StaticClassType(), "DrawCommands", rec));
    EXPECT_EQ(rec.ClassType, TrpDrawCommand::StaticClassType());
    auto params = pages->GetParams("DrawCommands");
    int32_t index = 0;
    TObject* result = nullptr;
    params->BindParam(0, &index);
    params->BindParam(1, &result);
    ASSERT_TRUE(pages->CallMethod(&other, "DrawCommands", false, params.get()));
    EXPECT_EQ(result, text);

    auto remove = pages->GetParams("RemoveDrawCommand");
    TObject* command = text;
    remove->BindParam(0, &command);
    ASSERT_TRUE(pages->CallMethod(&other, "RemoveDrawCommand", false, remove.get()));
    EXPECT_EQ(other.DrawCommandCount(), 0);
    EXPECT_EQ(text->Page(), nullptr);
    delete text;
}

}  // namespace
