// Printable components on bands: defaults, setters, anchors, data binding
// and the draw commands they make.
#include <gtest/gtest.h>

#include "report/rpPage.h"
#include "tests/report/ModelTestSupport.h"

namespace reporttest {
namespace {

using Components = ModelFixture;

TEST_F(Components, DefaultsAtNinetySixDotsPerInch) {
    TrpTestLabel label(form.get());
    // 65 and 17 pixels at 96 dpi: 65 / 96 / 0.03937 mm and 17 / 96 / 0.03937 mm.
    EXPECT_EQ(label.mmWidth(), 17198);
    EXPECT_EQ(label.mmHeight(), 4498);
    EXPECT_EQ(label.mmLeft(), 0);
    EXPECT_EQ(label.Color(), 0xFFFFFF);
    EXPECT_TRUE(label.Visible());
    EXPECT_EQ(label.Units(), utInches);
    EXPECT_EQ(label.Anchors(), (TrpAnchors{atLeft, atTop}));
    EXPECT_TRUE(label.ParentDataPipeline());
    EXPECT_EQ(label.GroupNo(), -1);
    EXPECT_EQ(label.BandType(), btDetail);

    TrpDetailBand band(form.get());
    EXPECT_EQ(band.mmHeight(), 13229) << "50 pixels";
    EXPECT_TRUE(band.Visible());
    EXPECT_FALSE(band.Save());
    EXPECT_EQ(band.PrintHeight(), phStatic);
    EXPECT_EQ(band.Units(), utInches);
    EXPECT_EQ(band.PrintKind(), TrpBandPrintKind::Records);
}

TEST_F(Components, AnchorSettersRefuseOpposingSides) {
    auto* detail = AddBand<TrpDetailBand>();
    TrpTestLabel* label = AddLabel(detail);
    label->SetAnchors({atLeft, atRight});
    EXPECT_EQ(label->Anchors(), (TrpAnchors{atLeft, atTop}));
    label->SetAnchors({atTop, atBottom});
    EXPECT_EQ(label->Anchors(), (TrpAnchors{atLeft, atTop}));
    label->SetAnchors({atRight, atBottom});
    EXPECT_EQ(label->Anchors(), (TrpAnchors{atRight, atBottom}));
    EXPECT_TRUE(label->ShiftWithParent());
    label->SetShiftWithParent(false);
    EXPECT_EQ(label->Anchors(), (TrpAnchors{atRight, atTop}));
}

TEST_F(Components, ABottomAnchoredComponentFollowsItsGrowingBand) {
    auto* detail = AddBand<TrpDetailBand>();
    TrpTestLabel* bottom = AddLabel(detail);
    TrpTestLabel* top = AddLabel(detail);
    bottom->SetAnchors({atLeft, atBottom});
    bottom->SetmmTop(6000);
    top->SetmmTop(6000);
    detail->SetmmHeight(detail->mmHeight() + 5000);
    EXPECT_EQ(bottom->mmTop(), 11000);
    EXPECT_EQ(top->mmTop(), 6000);
    detail->SetmmHeight(detail->mmHeight() - 2000);
    EXPECT_EQ(bottom->mmTop(), 9000);
}

TEST_F(Components, ARightAnchoredComponentFollowsTheColumnWidth) {
    auto* detail = AddBand<TrpDetailBand>();
    TrpTestLabel* label = AddLabel(detail);
    label->SetAnchors({atRight, atTop});
    label->SetmmLeft(100000);
    const int32_t full = report->mmPrintableWidth();
    report->SetColumns(2);  // resets the bands
    EXPECT_EQ(label->mmLeft(), 100000 + (full / 2 - full));
}

TEST_F(Components, ParentWidthAndHeightFillTheBand) {
    auto* detail = AddBand<TrpDetailBand>();
    TrpTestLabel* label = AddLabel(detail);
    label->SetmmLeft(5000);
    label->SetParentWidth(true);
    EXPECT_EQ(label->mmLeft(), 0);
    EXPECT_EQ(label->mmWidth(), report->mmPrintableWidth());
    label->SetmmWidth(10);
    EXPECT_EQ(label->mmWidth(), report->mmPrintableWidth()) << "ignored while ParentWidth";
    label->SetParentHeight(true);
    EXPECT_EQ(label->mmHeight(), detail->mmHeight());
}

TEST_F(Components, PositionSettersClipToTheBand) {
    auto* detail = AddBand<TrpDetailBand>();
    TrpTestLabel* label = AddLabel(detail);
    label->SetmmLeft(-10);
    EXPECT_EQ(label->mmLeft(), 0);
    label->SetmmLeft(report->mmPrintableWidth() + 1);
    EXPECT_EQ(label->mmLeft(), report->mmPrintableWidth());
    label->SetmmTop(-1);
    EXPECT_EQ(label->mmTop(), 0);
    label->SetmmWidth(-5);
    EXPECT_EQ(label->mmWidth(), 0);
    label->SetmmHeight(-5);
    EXPECT_EQ(label->mmHeight(), 0);
    // Beyond the band only while designing.
    label->SetmmTop(99999);
    EXPECT_EQ(label->mmTop(), 99999);
    label->SetDesigning(true);
    label->SetmmTop(88888);
    EXPECT_EQ(label->mmTop(), detail->mmHeight());
}

TEST_F(Components, AlignmentAndTextAlignmentMoveTogether) {
    TrpTestLabel label(form.get());
    label.SetTextAlignment(taFullJustified);
    EXPECT_EQ(label.TextAlignment(), taLeftJustified) << "only a memo fills its lines";
    label.SetAlignment(taCenter);
    EXPECT_EQ(label.TextAlignment(), taCentered);
    label.SetTextAlignment(taRightJustified);
    EXPECT_EQ(label.Alignment(), taRightJustify);
    label.memo = true;
    label.SetTextAlignment(taFullJustified);
    EXPECT_EQ(label.TextAlignment(), taFullJustified);
    EXPECT_EQ(label.Alignment(), taLeftJustify);
}

TEST_F(Components, JoiningAGroupFooterSetsBandTypeAndGroupNo) {
    report->CreateDefaultBands();
    AddGroup();
    TrpGroup* inner = AddGroup();
    TrpTestLabel* label = AddLabel(report->GetBand(btDetail));
    label->SetBand(inner->FooterBand());
    EXPECT_EQ(label->BandType(), btGroupFooter);
    EXPECT_EQ(label->GroupNo(), 1);
    EXPECT_EQ(report->GetBand(btDetail)->ObjectCount(), 0);
    EXPECT_EQ(inner->FooterBand()->IndexOfObject(label), 0);
    label->SetBand(report->GetBand(btHeader));
    EXPECT_EQ(label->BandType(), btHeader);
    EXPECT_EQ(label->GroupNo(), -1);
}

TEST_F(Components, ObjectsGetUniqueUserNamesFromTheirClass) {
    auto* detail = AddBand<TrpDetailBand>();
    EXPECT_EQ(AddLabel(detail)->UserName(), "TestLabel1");
    EXPECT_EQ(AddLabel(detail)->UserName(), "TestLabel2");
}

TEST_F(Components, AnotherPipelineThanTheBandsClearsParentDataPipeline) {
    auto* mine = new TTestPipeline(form.get());
    auto* other = new TTestPipeline(form.get());
    report->SetDataPipeline(mine);
    auto* detail = AddBand<TrpDetailBand>();
    TrpTestLabel* label = AddLabel(detail);
    label->SetParentDataPipeline(true);
    EXPECT_EQ(label->DataPipeline(), mine);
    label->SetDataPipeline(other);
    EXPECT_FALSE(label->ParentDataPipeline());
    label->SetParentDataPipeline(true);
    EXPECT_EQ(label->DataPipeline(), mine);
    delete mine;
    EXPECT_EQ(label->DataPipeline(), nullptr) << "a freed pipeline is forgotten";
}

class TDataLabel : public TrpTestLabel {
public:
    using TrpTestLabel::TrpTestLabel;
    bool IsDataAware() const override { return true; }
    bool IsCalculated() const override { return calculated; }
    void Reset() override {
        TrpTestLabel::Reset();
        ++resets;
    }
    bool calculated = false;
    int resets = 0;
};

TEST_F(Components, DataIsAvailableOnlyFromAnOpenPipelineOnARecordWithTheField) {
    auto* pipeline = new TTestPipeline(form.get());
    pipeline->fields["Cliente"] = "Padaria Central";
    TDataLabel label(form.get());
    EXPECT_FALSE(label.DataAvailable());
    label.SetDataPipeline(pipeline);
    label.SetDataField("Cliente");
    EXPECT_TRUE(label.DataAvailable());
    pipeline->record = false;
    EXPECT_FALSE(label.DataAvailable());
    pipeline->record = true;
    pipeline->open = false;
    EXPECT_FALSE(label.DataAvailable());
    pipeline->open = true;
    label.SetDataField("Cidade");
    EXPECT_FALSE(label.DataAvailable());
    TrpTestLabel plain(form.get());
    plain.SetDataPipeline(pipeline);
    plain.SetDataField("Cliente");
    EXPECT_FALSE(plain.DataAvailable()) << "an object that is not data aware takes no field";
}

TEST_F(Components, InitClearsTheRunStateAndResetsCalculatedObjects) {
    TDataLabel label(form.get());
    label.SetOverFlow(true);
    label.SetPrinted(true);
    label.Init();
    EXPECT_FALSE(label.OverFlow());
    EXPECT_FALSE(label.Printed());
    EXPECT_EQ(label.resets, 0);
    label.calculated = true;
    label.Init();
    EXPECT_EQ(label.resets, 1);

    label.SetGenerationComplete(true);
    label.SetSpaceUsed(300);
    label.SetOutOfSpace(true);
    label.InitGeneration();
    EXPECT_FALSE(label.GenerationComplete());
    EXPECT_EQ(label.SpaceUsed(), 0);
    EXPECT_FALSE(label.OutOfSpace());
}

TEST_F(Components, OnPrintRunsBeforeItsEventIsBroadcast) {
    TrpTestLabel label(form.get());
    std::vector<std::string> order;
    label.OnPrint = [&](TObject*) { order.push_back("handler"); };
    TEventListener listener({rpevOnPrint});
    listener.answer = [&](TObject*, int, TrsParamList*) { order.push_back("event"); };
    label.AddEventNotify(&listener);
    label.DoOnPrint();
    EXPECT_EQ(order, (std::vector<std::string>{"handler", "event"}));
    label.RemoveEventNotify(&listener);
}

// --- Draw commands ---

TEST_F(Components, ATextComponentMakesItsTextCommandOnThePage) {
    auto* detail = AddBand<TrpDetailBand>();
    TrpTestLabel* label = AddLabel(detail);
    label->SetCaption("Nota Fiscal 1234");
    label->SetBounds(6350, 3175, 50800, 4498);
    label->Font()->SetName("Arial");
    label->Font()->SetSize(12);
    label->SetTag(7);
    TrpPage page(nullptr);
    TrpDrawCommand* made = label->CreateDrawCommand(&page);
    ASSERT_EQ(page.DrawCommandCount(), 1);
    auto* text = dynamic_cast<TrpDrawText*>(page.DrawCommands(0));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text, made);
    EXPECT_EQ(text->Text(), "Nota Fiscal 1234");
    EXPECT_EQ(text->Left(), 6350);
    EXPECT_EQ(text->Top(), 3175);
    EXPECT_EQ(text->Width(), 50800);
    EXPECT_EQ(text->Height(), 4498);
    EXPECT_EQ(text->Font()->Name(), "Arial");
    EXPECT_EQ(text->Font()->Size(), 12);
    EXPECT_EQ(text->Tag(), 7);
    EXPECT_EQ(text->ReportComponent, label);
    EXPECT_FALSE(text->Clickable()) << "nobody listens for clicks";
}

TEST_F(Components, ACommandIsClickableOnlyWithAHandlerOrAClickListener) {
    TrpTestLabel label(form.get());
    TrpPage page(nullptr);
    EXPECT_FALSE(label.CreateDrawCommand(&page)->Clickable());

    TEventListener other({rpevDrawCommandCreate});
    label.AddEventNotify(&other);
    EXPECT_FALSE(label.CreateDrawCommand(&page)->Clickable()) << "a listener for other events does not count";

    TEventListener clicks({rpevDrawCommandClick});
    label.AddEventNotify(&clicks);
    TrpDrawCommand* heard = label.CreateDrawCommand(&page);
    EXPECT_TRUE(heard->Clickable());
    heard->DoClick();
    EXPECT_EQ(clicks.heard, std::vector<int>{rpevDrawCommandClick});
    label.RemoveEventNotify(&clicks);
    label.RemoveEventNotify(&other);

    TrpDrawCommand* clicked = nullptr;
    auto answersItsClick = [&](TrpDrawCommand* c) {
        EXPECT_TRUE(c->Clickable());
        c->DoClick();
        EXPECT_EQ(clicked, c);
    };
    label.OnDrawCommandClick = [&](TObject*, TrpDrawCommand* c) { clicked = c; };
    TrpDrawCommand* handled = label.CreateDrawCommand(&page);
    answersItsClick(handled);
    EXPECT_EQ(page.ClickableDrawCommandCount(), 2);

    // A command the creation handler makes clickable answers clicks too.
    label.OnDrawCommandClick = nullptr;
    TrpDrawCommand* plain = label.CreateDrawCommand(&page);
    EXPECT_FALSE(plain->Clickable());
    plain->DoClick();
    EXPECT_EQ(clicked, handled) << "a command nobody clicks answers nothing";
    label.OnDrawCommandCreate = [&](TObject*, TrpDrawCommand* c) {
        c->SetClickable(true);
        label.OnDrawCommandClick = [&](TObject*, TrpDrawCommand* c) { clicked = c; };
    };
    answersItsClick(label.CreateDrawCommand(&page));
    EXPECT_EQ(page.ClickableDrawCommandCount(), 3);
}

TEST_F(Components, OnDrawCommandCreateSeesTheCommandBeforeItJoinsThePage) {
    TrpTestLabel label(form.get());
    label.SetCaption("antes");
    TrpPage page(nullptr);
    bool onPageAlready = true;
    int commandsThen = -1;
    label.OnDrawCommandCreate = [&](TObject* sender, TrpDrawCommand* c) {
        EXPECT_EQ(sender, &label);
        onPageAlready = c->Page() != nullptr;
        commandsThen = page.DrawCommandCount();
        static_cast<TrpDrawText*>(c)->SetText("mudado");
    };
    TEventListener listener({rpevDrawCommandCreate});
    TObject* seen = nullptr;
    listener.answer = [&](TObject*, int, TrsParamList* params) {
        TrsValue v;
        params->GetParamValue(0, v);
        seen = std::get<TObject*>(v);
    };
    label.AddEventNotify(&listener);
    label.CreateDrawCommand(&page);
    EXPECT_FALSE(onPageAlready);
    EXPECT_EQ(commandsThen, 0);
    EXPECT_EQ(static_cast<TrpDrawText*>(page.DrawCommands(0))->Text(), "mudado");
    EXPECT_EQ(seen, page.DrawCommands(0)) << "listeners hear of it after it joined";
    label.RemoveEventNotify(&listener);
}

TEST_F(Components, OnlyPendingVisibleComponentsDraw) {
    TrpTestLabel label(form.get());
    TrpPage page(nullptr);
    label.DrawIfVisible(&page);
    EXPECT_EQ(page.DrawCommandCount(), 0) << "not pending";
    label.PrepareReprint();
    label.SetVisible(false);
    label.DrawIfVisible(&page);
    EXPECT_EQ(page.DrawCommandCount(), 0) << "invisible";
    label.SetVisible(true);
    label.PrepareReprint();
    label.DrawIfVisible(&page);
    EXPECT_EQ(page.DrawCommandCount(), 1);
    label.SetOverFlow(true);
    label.AfterBandPrint();
    EXPECT_FALSE(label.DrawComponent());
}

TEST_F(Components, AClickAfterTheComponentWasFreedDoesNothing) {
    auto* label = new TrpTestLabel(form.get());
    int clicks = 0;
    label->OnDrawCommandClick = [&](TObject*, TrpDrawCommand*) { ++clicks; };
    TrpPage page(nullptr);
    TrpDrawCommand* c = label->CreateDrawCommand(&page);
    delete label;
    c->DoClick();
    EXPECT_EQ(clicks, 0);
}

}  // namespace
}  // namespace reporttest

namespace reporttest {
namespace {

using ComponentData = ModelFixture;

class TDataText : public TrpTestLabel {
public:
    using TrpTestLabel::TrpTestLabel;
    bool IsDataAware() const override { return true; }
};

class TNamedPipeline : public TTestPipeline {
public:
    using TTestPipeline::TTestPipeline;
    std::string GetFieldDisplayName(const std::string& Name) const override { return "Nome do " + Name; }
};

TEST_F(ComponentData, LengthsReadAndWriteInTheComponentsUnits) {
    TrpTestLabel label(form.get());
    label.SetLeft(1.0f);
    EXPECT_EQ(label.mmLeft(), 25400);
    EXPECT_FLOAT_EQ(label.Left(), 1.0f);
    label.SetUnits(utMillimeters);
    label.SetWidth(12.5f);
    EXPECT_EQ(label.mmWidth(), 12500);
    EXPECT_EQ(label.spLeft(), 96) << "one inch at 96 dpi";
    label.SetspBounds(48, 96, 96, 24);
    EXPECT_EQ(label.mmLeft(), 12700);
    EXPECT_EQ(label.mmTop(), 25400);
    EXPECT_EQ(label.mmWidth(), 25400);
    EXPECT_EQ(label.mmHeight(), 6350);
}

TEST_F(ComponentData, AFieldGivesTheCaptionItsDisplayName) {
    auto* pipeline = new TNamedPipeline(form.get());
    TDataText text(form.get());
    text.SetName("txtCliente");
    text.SetDataPipeline(pipeline);
    text.SetDataField("Cliente");
    EXPECT_EQ(text.GetCaption(), "Nome do Cliente");
    EXPECT_EQ(text.GetDescription(), "Nome do Cliente");
    text.SetDataField("");
    EXPECT_EQ(text.GetCaption(), "txtCliente");
    text.SetDataField("Cidade");
    text.RenameDataField(pipeline, "CIDADE", "Municipio");
    EXPECT_EQ(text.DataField(), "Municipio") << "field names compare without case";
}

TEST_F(ComponentData, ANewReportPipelineReachesObjectsAndGroupsThatFollowIt) {
    auto* first = new TTestPipeline(form.get());
    auto* second = new TTestPipeline(form.get());
    second->fields["Cliente"] = "x";
    report->CreateDefaultBands();
    auto* follower = new TDataText(form.get());
    follower->SetBand(report->GetBand(btHeader));
    TrpGroup* g = AddGroup();
    report->SetDataPipeline(first);
    EXPECT_EQ(follower->DataPipeline(), first);
    EXPECT_EQ(g->DataPipeline(), first);

    // Objects without a pipeline take the new one only when it has their field.
    auto* stranger = new TDataText(form.get());
    stranger->SetBand(report->GetBand(btHeader));
    stranger->SetDataField("Inexistente");
    auto* newcomer = new TDataText(form.get());
    newcomer->SetBand(report->GetBand(btHeader));
    newcomer->SetDataField("Cliente");
    auto* alone = new TDataText(form.get());
    alone->SetBand(report->GetBand(btHeader));
    alone->SetParentDataPipeline(false);
    alone->SetDataPipeline(first);
    report->SetDataPipeline(second);
    EXPECT_EQ(follower->DataPipeline(), second);
    EXPECT_EQ(g->DataPipeline(), second);
    EXPECT_EQ(stranger->DataPipeline(), nullptr);
    EXPECT_EQ(newcomer->DataPipeline(), second);
    EXPECT_EQ(alone->DataPipeline(), first) << "it chose its own pipeline";

    auto* detail = static_cast<TrpDetailBand*>(report->GetBand(btDetail));
    auto* own = new TTestPipeline(form.get());
    detail->SetDataPipeline(own);
    auto* onDetail = new TDataText(form.get());
    onDetail->SetBand(detail);
    onDetail->SetParentDataPipeline(true);
    EXPECT_EQ(onDetail->DataPipeline(), own);
    report->SetDataPipeline(first);
    EXPECT_EQ(onDetail->DataPipeline(), own) << "a detail band with its own pipeline keeps it";
}

TEST_F(ComponentData, AResetGroupIsHeardAfterItsBreak) {
    TrpGroup* g = AddGroup();
    auto* label = AddLabel(AddBand<TrpDetailBand>());
    label->SetResetGroup(g);
    EXPECT_TRUE(label->EventSet().test(rpevAfterGroupBreak));
    EXPECT_EQ(g->EventNotifyCount(), 1);
    label->SetResetGroup(nullptr);
    EXPECT_FALSE(label->EventSet().test(rpevAfterGroupBreak));
    EXPECT_EQ(g->EventNotifyCount(), 0);
    label->SetResetGroup(g);
    delete g;
    EXPECT_EQ(label->ResetGroup(), nullptr);
}

TEST_F(ComponentData, ANewPageSizeResetsTheBandsAndMovesAnchoredObjects) {
    report->CreateDefaultBands();
    TrpTestLabel* right = AddLabel(report->GetBand(btHeader));
    right->SetAnchors({atRight, atTop});
    right->SetmmLeft(150000);
    TEventListener listener({rpevBandReset});
    report->GetBand(btHeader)->AddEventNotify(&listener);
    TrpPrinterSetup same(nullptr);
    same.Assign(report->PrinterSetup());
    report->SetPrinterSetup(&same);
    EXPECT_TRUE(listener.heard.empty()) << "the same page needs no new layout";

    TrpPrinterSetup narrower(nullptr);
    narrower.Assign(report->PrinterSetup());
    const int32_t before = report->mmPrintableWidth();
    narrower.SetUnits(utMMThousandths);
    narrower.SetMarginLeft(static_cast<float>(narrower.PageDef()->mmMarginLeft() + 10000));
    report->SetPrinterSetup(&narrower);
    EXPECT_EQ(report->mmPrintableWidth(), before - 10000);
    EXPECT_FALSE(listener.heard.empty());
    EXPECT_EQ(right->mmLeft(), 140000) << "right-anchored objects follow the narrower page";
    report->GetBand(btHeader)->RemoveEventNotify(&listener);
}

}  // namespace
}  // namespace reporttest

namespace reporttest {
namespace {

using ReportPipelines = ModelFixture;

TEST_F(ReportPipelines, PipelinesAreListedOnceRenamedAndReplaced) {
    auto* clientes = new TTestPipeline(form.get());
    clientes->SetUserName("Clientes");
    auto* itens = new TTestPipeline(form.get());
    itens->SetUserName("Itens");
    auto* novos = new TTestPipeline(form.get());
    report->CreateDefaultBands();
    report->SetDataPipeline(clientes);
    static_cast<TrpDetailBand*>(report->GetBand(btDetail))->SetDataPipeline(itens);
    auto* text = new TDataText(form.get());
    text->SetBand(report->GetBand(btHeader));
    text->SetParentDataPipeline(true);
    text->SetDataField("Nome");
    auto* other = new TDataText(form.get());
    other->SetBand(report->GetBand(btFooter));
    other->SetDataPipeline(itens);
    TrpGroup* g = AddGroup();
    g->SetDataPipeline(clientes);
    g->SetBreakName("nome");

    std::vector<TrpDataPipeline*> list;
    report->AddDataPipelinesToList(list);
    EXPECT_EQ(list, (std::vector<TrpDataPipeline*>{clientes, itens}));

    report->RenameDataField(clientes, "NOME", "RazaoSocial");
    EXPECT_EQ(text->DataField(), "RazaoSocial");
    EXPECT_EQ(g->BreakName(), "RazaoSocial");

    report->ReplaceDataPipelineByName("Itens", novos);
    EXPECT_EQ(other->DataPipeline(), novos);
    EXPECT_EQ(report->DataPipeline(), clientes);
    report->ReplaceDataPipelineByName("Clientes", novos);
    EXPECT_EQ(report->DataPipeline(), novos);
    EXPECT_EQ(g->DataPipeline(), novos);
}

}  // namespace
}  // namespace reporttest
