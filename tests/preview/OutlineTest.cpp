// The outline: its errors, the page nodes a report's run makes through the
// node hook, and the draw command the page finds by its registered name.
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "preview/rpOutline.h"
#include "report/rpExcept.h"
#include "report/rpGroup.h"
#include "report/rpSubReport.h"
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

// Every page of the report, through the device (which stays connected).
void PrintAllPages(CaptureDevice& Device, TrpReport* Report) {
    Device.SetPublisher(Report->Publisher());
    TrpPageRequest request;
    request.SetPageSetting(psAll);
    Device.SetPageRequest(&request);
    Device.RequestPage();
}

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
    PrintAllPages(device, report);

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

// Two nested groups: the outer group's outline list is the inner group's
// header, the inner group's is the detail band (with the subreports it
// holds) and its own footer; each city's node hangs under the node of the
// state it prints in, not beside it under the page.
TEST(GroupOutline, AnInnerGroupsNodesHangUnderTheNodeOfTheInstanceTheyPrintIn) {
    FixedClock clock{RigMoment()};
    TComponent owner(nullptr);
    const std::vector<std::pair<std::string, std::vector<std::string>>> states = {
        {"SP", {"Campinas", "Santos", "Sorocaba"}}, {"RJ", {"Niteroi"}}, {"MG", {"Contagem", "Uberaba"}}};
    std::vector<std::vector<Variant>> rows;
    for (const auto& [state, cities] : states)
        for (const std::string& city : cities)
            for (int i = 0; i < 2; ++i) rows.push_back({Variant(state), Variant(city)});
    RowsTable data({"Estado", "Cidade"}, rows, "Vendas");
    auto* report = new TrpReport(&owner);
    report->SetDataPipeline(data.Pipeline());
    report->CreateDefaultBands();
    report->DetailBand()->SetmmHeight(5000);
    TrpGroup* groups[2];
    const char* fields[2] = {"Estado", "Cidade"};
    for (int g = 0; g < 2; ++g) {
        groups[g] = new TrpGroup(&owner);
        groups[g]->SetName(std::string("grp") + fields[g]);
        groups[g]->SetReport(report);
        groups[g]->SetDataPipeline(data.Pipeline());
        groups[g]->SetBreakName(fields[g]);
    }
    report->CreateDefaultBands();
    for (TrpGroup* g : groups) g->HeaderBand()->SetmmHeight(6000);

    const std::vector<TrpCommunicator*> outer = groups[0]->OutlineList();
    EXPECT_EQ(outer, std::vector<TrpCommunicator*>{groups[1]->HeaderBand()});
    const std::vector<TrpCommunicator*> inner = groups[1]->OutlineList();
    EXPECT_EQ(inner, (std::vector<TrpCommunicator*>{report->DetailBand(), groups[1]->FooterBand()}));

    CaptureDevice device;
    PrintAllPages(device, report);
    auto* outline = dynamic_cast<TrpOutline*>(report->Outline());
    ASSERT_NE(outline, nullptr);

    // Every state node, wherever it is, with the cities under it.
    std::vector<std::pair<std::string, std::vector<std::string>>> found;
    std::function<void(TrpOutlineNode*)> walk = [&](TrpOutlineNode* node) {
        for (int i = 0; i < node->ChildNodeCount(); ++i) {
            auto* child = static_cast<TrpOutlineNode*>(node->ChildNodes(i));
            if (child->Key().rfind("grpEstado:", 0) == 0) {
                found.push_back({child->Caption(), {}});
                for (int c = 0; c < child->ChildNodeCount(); ++c) {
                    auto* city = static_cast<TrpOutlineNode*>(child->ChildNodes(c));
                    EXPECT_EQ(city->Key().rfind("grpCidade:", 0), 0u) << city->Key();
                    found.back().second.push_back(city->Caption());
                }
            } else {
                EXPECT_NE(child->Key().rfind("grpCidade:", 0), 0u) << "a city outside its state: " << child->Caption();
                walk(child);
            }
        }
    };
    walk(outline->RootNode());
    EXPECT_EQ(found, states);
    device.SetPublisher(nullptr);

    // A subreport in the detail band follows the band in the inner list.
    auto* sub = new TrpSubReport(&owner);
    sub->SetName("subItens");
    sub->SetBand(report->DetailBand());
    EXPECT_EQ(groups[1]->OutlineList(),
              (std::vector<TrpCommunicator*>{report->DetailBand(), sub, groups[1]->FooterBand()}));
}
