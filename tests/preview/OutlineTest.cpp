// The outline: its errors, the page nodes a report's run makes through the
// node hook, and the draw command the page finds by its registered name.
#include <set>

#include "preview/rpOutline.h"
#include "report/rpExcept.h"
#include "report/rpGroup.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

std::vector<std::vector<Variant>> Rows(int Count) {
    std::vector<std::vector<Variant>> rows;
    for (int i = 1; i <= Count; ++i) rows.push_back({Variant("K" + std::to_string(i))});
    return rows;
}

class Listener : public TrpCommunicator {
public:
    Listener() : TrpCommunicator(nullptr) { EventSet().set(88); }
    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override {
        TrpCommunicator::EventNotify(Sender, EventNumber, Params);
        if (EventNumber == 88) ++heard;
    }
    int heard = 0;
};

// A TrpReport of 120 rows, three pages, printed through a capture device.
class Outline : public ::testing::Test {
protected:
    void SetUp() override {
        report_ = new TrpReport(&owner_);
        report_->SetDataPipeline(data_.Pipeline());
        report_->CreateDefaultBands();
        report_->DetailBand()->SetmmHeight(6000);
        report_->OutlineSettings()->SetEnabled(true);
        report_->OutlineSettings()->SetCreatePageNodes(true);
        device_.SetPublisher(report_->Publisher());
    }
    void TearDown() override { device_.SetPublisher(nullptr); }
    void Print() {
        TrpPageRequest request;
        request.SetPageSetting(psAll);
        device_.SetPageRequest(&request);
        device_.RequestPage();
    }
    TrpOutline* MadeOutline() { return dynamic_cast<TrpOutline*>(report_->Outline()); }

    FixedClock clock_{RigMoment()};
    TComponent owner_{nullptr};
    RowsTable data_{{"Key"}, Rows(120), "Vendas"};
    TrpReport* report_ = nullptr;
    CaptureDevice device_;
};

}  // namespace

TEST_F(Outline, WithoutAReportItCannotBeInitialized) {
    TrpOutline outline(nullptr);
    try {
        outline.Initialize();
        FAIL() << "no error";
    } catch (const EOutlineError& e) {
        EXPECT_EQ(e.Message(), "TrpOutline.Initialize: Report is nil.");
    }
    outline.SetReport(report_);
    EXPECT_NO_THROW(outline.Initialize());
    outline.SetReport(nullptr);
    EXPECT_THROW(outline.Initialize(), EOutlineError);
}

TEST_F(Outline, EachPageGetsOneNodeAndEveryNodePassesTheReportsHook) {
    Listener listener;
    report_->AddEventNotify(&listener);
    ASSERT_NE(MadeOutline(), nullptr) << "the preview layer installs the outline maker";
    Print();
    TrpOutlineNode* root = MadeOutline()->RootNode();
    ASSERT_EQ(root->ChildNodeCount(), 3);
    for (int i = 0; i < 3; ++i) {
        auto* node = static_cast<TrpOutlineNode*>(root->ChildNodes(i));
        EXPECT_EQ(node->Caption(), "Página " + std::to_string(i + 1));
        EXPECT_EQ(node->PageNo(), i + 1);
        EXPECT_EQ(node->NodeType(), ntPage);
    }
    EXPECT_EQ(root->LastPageNo(), 3);
    EXPECT_EQ(listener.heard, 3) << "event 88 per node";
    Print();
    EXPECT_EQ(root->ChildNodeCount(), 3) << "pages asked for again keep their nodes";
    report_->RemoveEventNotify(&listener);
}

TEST_F(Outline, ARefusedNodeOrDisabledSettingsAddNothing) {
    MadeOutline()->OnNodeCreate = [](TObject*, TrpOutlineNode* Node, bool& Accept) { Accept = Node->PageNo() != 2; };
    Print();
    EXPECT_EQ(MadeOutline()->RootNode()->ChildNodeCount(), 2);

    report_->ResetPrintState();  // frees the outline
    report_->OutlineSettings()->SetCreatePageNodes(false);
    Print();
    EXPECT_EQ(MadeOutline()->NodeCreatorCount(), 0);
    EXPECT_EQ(MadeOutline()->RootNode()->ChildNodeCount(), 0);
}

TEST(OutlineDrawCommand, APageHoldsOneFoundByItsRegisteredName) {
    EXPECT_EQ(GetClass("TrpOutlineDrawCommand"), TrpOutlineDrawCommand::StaticClassType());
    TrpPage page(nullptr);
    auto* first = new TrpOutlineDrawCommand(nullptr);
    page.AddDrawCommand(first);
    EXPECT_EQ(page.GetOutlineDrawCommand(), first);
    TrpOutlineDrawCommand second(nullptr);
    EXPECT_THROW(page.AddDrawCommand(&second), EOutlineError);
    EXPECT_EQ(page.DrawCommandCount(), 1);
    EXPECT_FALSE(first->Draw(nullptr)) << "no device draws it";
}

// A grouped listing: each group becomes one node, under the node of the
// page on which its header printed, whatever the group's size; the
// report's own hook sees every node.
TEST(GroupOutline, EachGroupIsANodeUnderThePageWhereItsHeaderPrinted) {
    FixedClock clock{RigMoment()};
    TComponent owner(nullptr);
    std::vector<std::vector<Variant>> rows;
    const int sizes[] = {3, 40, 1, 17, 60, 2, 25};
    for (int g = 0; g < 7; ++g)
        for (int i = 0; i < sizes[g]; ++i) rows.push_back({Variant("Cidade " + std::to_string(g + 1))});
    RowsTable data({"Cidade"}, rows, "Vendas");
    auto* report = new TrpReport(&owner);
    report->SetDataPipeline(data.Pipeline());
    report->CreateDefaultBands();
    report->DetailBand()->SetmmHeight(6000);
    auto* group = new TrpGroup(&owner);
    group->SetName("grpCidade");
    group->SetReport(report);
    group->SetDataPipeline(data.Pipeline());
    group->SetBreakName("Cidade");
    report->CreateDefaultBands();
    group->HeaderBand()->SetmmHeight(8000);
    auto* caption = new TestText(&owner);
    caption->SetName("txtCidade");
    caption->SetUserName("txtCidade");
    caption->SetBand(group->HeaderBand());
    caption->SetDataPipeline(data.Pipeline());
    caption->SetDataField("Cidade");
    int hooked = 0;
    report->OnOutlineNodeCreate = [&hooked](TObject*, TObject*, TObject*, bool&) { ++hooked; };
    CaptureDevice device;
    device.SetPublisher(report->Publisher());
    TrpPageRequest request;
    request.SetPageSetting(psAll);
    device.SetPageRequest(&request);
    device.RequestPage();

    // Where each header first printed (it prints again atop the pages a
    // group goes on to), read from the pages themselves.
    std::vector<std::vector<std::string>> headers;
    std::set<std::string> seen;
    for (const CapturedPage* page : device.FinalPages()) {
        headers.emplace_back();
        for (int i = 0; i < page->Page->DrawCommandCount(); ++i)
            if (page->Makers[static_cast<std::size_t>(i)].second == "txtCidade") {
                const std::string text = static_cast<TrpDrawText*>(page->Page->DrawCommands(i))->Text();
                if (seen.insert(text).second) headers.back().push_back(text);
            }
    }
    ASSERT_GE(headers.size(), 4u);
    auto* outline = dynamic_cast<TrpOutline*>(report->Outline());
    ASSERT_NE(outline, nullptr);
    TrpOutlineNode* root = outline->RootNode();
    ASSERT_EQ(root->ChildNodeCount(), static_cast<int>(headers.size()));
    int groups = 0;
    for (int p = 0; p < root->ChildNodeCount(); ++p) {
        auto* pageNode = static_cast<TrpOutlineNode*>(root->ChildNodes(p));
        std::vector<std::string> captions;
        for (int i = 0; i < pageNode->ChildNodeCount(); ++i) {
            auto* node = static_cast<TrpOutlineNode*>(pageNode->ChildNodes(i));
            captions.push_back(node->Caption());
            EXPECT_EQ(node->NodeType(), ntGroup);
            EXPECT_EQ(node->PageNo(), p + 1);
        }
        groups += pageNode->ChildNodeCount();
        EXPECT_EQ(captions, headers[static_cast<std::size_t>(p)]) << "page " << p + 1;
    }
    EXPECT_EQ(groups, 7);
    EXPECT_EQ(hooked, root->ChildNodeCount() + 7);
    device.SetPublisher(nullptr);
}
