// Subreports: a child report printed inside its band over several parent
// pages, in a box that cuts it, as sections of whole pages with their own
// numbers and paper, split into printer jobs of their own, opened and closed
// by a drill-down click; pages made again alone equal the whole run's; the
// child report travels in the stream as the subreport's child.
#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "report/rpExcept.h"
#include "report/rpGeneration.h"
#include "report/rpMainReport.h"
#include "report/rpPublisher.h"
#include "report/rpRegion.h"
#include "report/rpSubReport.h"
#include "tests/report/ModelTestSupport.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

// The child page number as the child's engine knows it while it prints.
class ChildPageText : public TestText {
public:
    using TestText::TestText;
    std::string GetText() const override {
        return "Itens pág. " + std::to_string(Band()->Report()->Engine()->AbsolutePageNo());
    }
};

// Masters 1..3 ("Ana", "Bruno", "Carla") and, for each, Counts[i] items "I<m>-<n>".
struct Data {
    std::unique_ptr<RowsTable> Masters;
    std::unique_ptr<RowsTable> Items;
    explicit Data(const std::vector<int>& Counts) {
        static const char* names[] = {"Ana", "Bruno", "Carla"};
        std::vector<std::vector<Variant>> masters, items;
        for (std::size_t m = 0; m < Counts.size(); ++m) {
            masters.push_back({Variant(static_cast<int>(m) + 1), Variant(names[m % 3])});
            for (int n = 1; n <= Counts[m]; ++n)
                items.push_back({Variant(static_cast<int>(m) + 1),
                                 Variant("I" + std::to_string(m + 1) + "-" + std::to_string(n))});
        }
        Masters = std::make_unique<RowsTable>(std::vector<std::string>{"Id", "Nome"}, masters, "Clientes");
        Items = std::make_unique<RowsTable>(std::vector<std::string>{"Id", "Item"}, items, "Itens");
        Masters->Pipeline()->Open();
        Items->Pipeline()->Open();
        Items->Pipeline()->AddLink(Masters->Pipeline(), "Id", "Id");
    }
};

// A listing of masters; each detail band holds the name and a subreport
// whose child lists the master's items under a header with its page number.
struct SubRig {
    ReportRig R;
    Data D;
    TrpDetailBand* Detail = nullptr;
    TestText* Name = nullptr;
    TrpSubReport* Sub = nullptr;
    TrpChildReport* Child = nullptr;

    SubRig(const std::vector<int>& Counts, TrpPrintBehaviorType Behavior, int32_t SubHeight = 2000,
           bool ChildHeader = true)
        : D(Counts) {
        TrpBandedReport* r = R.Report();
        r->SetDataPipeline(D.Masters->Pipeline());
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(15000);
        R.AddText(r->HeaderBand(), "HeaderText", 0, 0, 100000, 5000, "Clientes e itens");
        r->FooterBand()->SetmmHeight(12000);
        R.AddText(r->FooterBand(), "FooterText", 0, 0, 60000, 4000, "Rodapé");
        Detail = r->DetailBand();
        Detail->SetmmHeight(8000);
        Name = R.AddText(Detail, "Nome", 0, 0, 50000, 5000);
        Name->SetDataPipeline(D.Masters->Pipeline());
        Name->SetDataField("Nome");
        Sub = new TrpSubReport(R.Owner());
        Sub->SetName("Sub");
        Sub->SetUserName("Sub");
        Sub->SetBand(Detail);
        // Placed at a left and width of its own, not across the band.
        Sub->SetParentWidth(false);
        Sub->SetBounds(10000, 6000, 120000, SubHeight);
        Sub->SetPrintBehavior(Behavior);
        Child = Sub->Report();
        Child->SetDataPipeline(D.Items->Pipeline());
        if (ChildHeader) {
            auto* header = static_cast<TrpBand*>(Child->CreateBand(btHeader));
            header->SetmmHeight(5000);
            auto* page = new ChildPageText(R.Owner());
            page->SetName("ChildPage");
            page->SetUserName("ChildPage");
            page->SetBand(header);
            page->SetBounds(0, 0, 40000, 4000);
        }
        TrpDetailBand* items = Child->DetailBand();
        items->SetmmHeight(6000);
        TestText* item = R.AddText(items, "Item", 5000, 0, 40000, 5000);
        item->SetDataPipeline(D.Items->Pipeline());
        item->SetDataField("Item");
    }

    std::vector<const CapturedPage*> Print() {
        R.Print();
        return R.Device()->FinalPages();
    }
};

struct Placed {
    int Page;
    const TrpDrawText* Text;
};

std::vector<Placed> TextsOf(const std::vector<const CapturedPage*>& Pages, const std::string& Name) {
    std::vector<Placed> out;
    for (std::size_t p = 0; p < Pages.size(); ++p)
        for (int i = 0; i < Pages[p]->Page->DrawCommandCount(); ++i)
            if (Pages[p]->Makers[static_cast<std::size_t>(i)].second == Name)
                if (auto* t = dynamic_cast<const TrpDrawText*>(Pages[p]->Page->DrawCommands(i)))
                    out.push_back({static_cast<int>(p) + 1, t});
    return out;
}

std::vector<std::string> Words(const std::vector<Placed>& Texts) {
    std::vector<std::string> out;
    for (const Placed& p : Texts) out.push_back(p.Text->Text());
    return out;
}

std::vector<std::string> ExpectedItems(const std::vector<int>& Counts) {
    std::vector<std::string> out;
    for (std::size_t m = 0; m < Counts.size(); ++m)
        for (int n = 1; n <= Counts[m]; ++n) out.push_back("I" + std::to_string(m + 1) + "-" + std::to_string(n));
    return out;
}

std::string WithoutCount(const std::string& Dump) {
    static const std::regex counts(R"(^page (\d+)/\d+ no (\d+)/\d+)");
    return std::regex_replace(Dump, counts, "page $1/? no $2/?", std::regex_constants::format_first_only);
}

// Every page asked for again alone, last first, comes back as the run made it.
void ExpectPagesComeBackAlone(ReportRig& R) {
    const auto run = R.Device()->FinalPages();
    std::vector<std::string> first;
    for (const CapturedPage* p : run) first.push_back(WithoutCount(DumpPage(*p)));
    for (int k = static_cast<int>(run.size()); k >= 1; --k) {
        const std::size_t before = R.Device()->Pages().size();
        R.PrintPage(k);
        const auto& sent = R.Device()->Pages();
        ASSERT_EQ(sent.size(), before + 1) << "page " << k << " alone";
        EXPECT_EQ(WithoutCount(DumpPage(sent.back())), first[static_cast<std::size_t>(k - 1)]) << "page " << k;
    }
}

// A printer that notes which final pages each of its jobs printed.
class JobRecorder : public TrpDevice {
public:
    JobRecorder() : TrpDevice(nullptr) {}
    bool HasPrinter() const override { return true; }
    void StartJob() override {
        if (!Busy()) jobs.emplace_back();
        TrpDevice::StartJob();
    }
    void ReceivePage(TrpPage* Page) override {
        TrpDevice::ReceivePage(Page);
        if (Page != nullptr && Page->Final() && !Page->Calculation() && !jobs.empty())
            jobs.back().push_back(Page->AbsolutePageNo());
    }
    std::vector<std::vector<int>> jobs;
};

// --- Inside the band ------------------------------------------------------------

TEST(SubReport, ChildDetailRunsOverSeveralParentPagesContinuingItsNumbering) {
    const std::vector<int> counts{3, 70, 2};
    SubRig s(counts, pbChild);
    const auto pages = s.Print();
    ASSERT_GE(pages.size(), 2u);
    // Every item once, in order, inside the subreport's columns.
    const auto items = TextsOf(pages, "Item");
    EXPECT_EQ(Words(items), ExpectedItems(counts));
    for (const Placed& p : items) EXPECT_EQ(p.Text->Left(), 6350 + 10000 + 5000);
    // Bruno's child goes on over the next page: its page numbers go on too,
    // and Carla's child starts again at 1.
    std::vector<std::pair<int, std::string>> numbers;
    for (const Placed& p : TextsOf(pages, "ChildPage")) numbers.emplace_back(p.Page, p.Text->Text());
    ASSERT_GE(numbers.size(), 4u);
    EXPECT_EQ(numbers[0], std::make_pair(1, std::string("Itens pág. 1")));
    EXPECT_EQ(numbers[1], std::make_pair(1, std::string("Itens pág. 1")));
    EXPECT_EQ(numbers[2], std::make_pair(2, std::string("Itens pág. 2")));
    EXPECT_EQ(numbers.back().second, "Itens pág. 1");
    // The parent's header and footer are on every parent page.
    EXPECT_EQ(TextsOf(pages, "FooterText").size(), pages.size());
    ExpectGolden("subreport_child_pages", DumpPages(pages));
    ExpectPagesComeBackAlone(s.R);
}

TEST(SubReport, TwoPassesGiveTheOnePassPagesChildrenAndSectionsAlike) {
    for (TrpPrintBehaviorType behavior : {pbChild, pbSection}) {
        std::vector<std::string> dumps[2];
        for (int passes = 0; passes < 2; ++passes) {
            SubRig s({3, 70, 2}, behavior);
            s.R.Report()->SetPassSetting(passes == 0 ? psOnePass : psTwoPass);
            for (const CapturedPage* p : s.Print())
                dumps[passes].push_back(std::regex_replace(WithoutCount(DumpPage(*p)), std::regex(" pass=\\d"), ""));
        }
        EXPECT_GE(dumps[0].size(), 2u);
        EXPECT_EQ(dumps[0], dumps[1]) << "behaviour " << behavior;
    }
}

TEST(SubReport, ChildWithoutRecordsPrintsNothingAndTakesNoRoom) {
    SubRig s({2, 0, 1}, pbChild);
    const auto pages = s.Print();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(Words(TextsOf(pages, "Item")), ExpectedItems({2, 0, 1}));
    // Bruno's band is as tall as his name; Carla follows right below.
    const auto names = TextsOf(pages, "Nome");
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[2].Text->Top() - names[1].Text->Top(), 5000);
}

TEST(SubReport, TheChildsTitleAndSummaryPrintOnlyOutsideTheParentsBand) {
    struct Case {
        TrpPrintBehaviorType Behavior;
        std::size_t Titles;
    } cases[] = {{pbChild, 0}, {pbFixed, 1}, {pbSection, 1}};
    for (const Case& c : cases) {
        SubRig s({2}, c.Behavior, 30000, false);
        s.Detail->SetmmHeight(40000);
        for (auto [kind, name] : {std::pair{btTitle, "TituloFilho"}, std::pair{btSummary, "ResumoFilho"}}) {
            TrpBand* band = s.Child->CreateBand(kind);
            band->SetmmHeight(4000);
            s.R.AddText(band, name, 0, 0, 40000, 4000, name);
        }
        const auto pages = s.Print();
        EXPECT_EQ(Words(TextsOf(pages, "Item")), ExpectedItems({2})) << "behaviour " << c.Behavior;
        EXPECT_EQ(TextsOf(pages, "TituloFilho").size(), c.Titles) << "behaviour " << c.Behavior;
        EXPECT_EQ(TextsOf(pages, "ResumoFilho").size(), c.Titles) << "behaviour " << c.Behavior;
    }
}

// A text whose value cannot be read.
class FailingText : public TestText {
public:
    using TestText::TestText;
    std::string GetText() const override { throw EPrintError("valor ilegível"); }
};

TEST(SubReport, AChildThatFailsGivesItsPageHookBackAndKeepsToItself) {
    SubRig s({2}, pbChild);
    auto* failing = new FailingText(s.R.Owner());
    failing->SetName("Falha");
    failing->SetBand(s.Child->DetailBand());
    failing->SetBounds(50000, 0, 20000, 4000);
    int sent = 0;
    s.Child->GenerationEngine()->OnSendPage = [&sent] { ++sent; };
    EXPECT_ANY_THROW(s.R.Print());
    // The hook is the child's own again, and nothing of the child reached
    // the parent's device.
    ASSERT_TRUE(static_cast<bool>(s.Child->GenerationEngine()->OnSendPage));
    s.Child->GenerationEngine()->OnSendPage();
    EXPECT_EQ(sent, 1);
    EXPECT_TRUE(TextsOf(s.R.Device()->FinalPages(), "Item").empty());
}

TEST(SubReport, ChildKeptTogetherMovesWholeToTheNextPage) {
    // Bruno's 30 items do not fit below a tall title but fit a page of their own.
    SubRig s({1, 30}, pbChild);
    s.Sub->SetKeepTogether(true);
    s.Detail->SetmmHeight(8000);
    s.R.Report()->CreateBand(btTitle)->SetmmHeight(150000);
    const auto pages = s.Print();
    ASSERT_EQ(pages.size(), 2u);
    const auto items = TextsOf(pages, "Item");
    EXPECT_EQ(Words(items), ExpectedItems({1, 30}));
    for (const Placed& p : items)
        if (p.Text->Text().rfind("I2-", 0) == 0) EXPECT_EQ(p.Page, 2) << p.Text->Text();
    ExpectPagesComeBackAlone(s.R);
}

// --- Fixed box ----------------------------------------------------------------------

TEST(SubReport, FixedBoxShowsWhatFitsOfEachChildAndCutsTheRest) {
    // 20 mm: the header (5) and two items (6 each) fit, the third would end at 23.
    const std::vector<int> counts{5, 1, 4};
    SubRig s(counts, pbFixed, 20000);
    s.Detail->SetmmHeight(28000);
    const auto pages = s.Print();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(Words(TextsOf(pages, "Item")),
              (std::vector<std::string>{"I1-1", "I1-2", "I2-1", "I3-1", "I3-2"}));
    const auto names = TextsOf(pages, "Nome");
    ASSERT_EQ(names.size(), 3u);
    for (const Placed& p : TextsOf(pages, "Item")) {
        // Inside the box of the record it belongs to.
        const int m = p.Text->Text()[1] - '1';
        const int32_t boxTop = names[static_cast<std::size_t>(m)].Text->Top() + 6000;
        EXPECT_GE(p.Text->Top(), boxTop);
        EXPECT_LE(p.Text->Top() + p.Text->Height(), boxTop + 20000);
    }
    ExpectGolden("subreport_fixed_box", DumpPages(pages));
    ExpectPagesComeBackAlone(s.R);
}

TEST(SubReport, FixedBoxTallerThanThePageEndsWithAPrintErrorInsteadOfWaitingForever) {
    for (bool traverse : {false, true}) {
        SubRig s({1}, pbFixed, 300000);
        s.Sub->SetTraverseAllData(traverse);
        s.Detail->SetmmHeight(310000);
        s.Detail->SetPrintHeight(phDynamic);
        EXPECT_THROW(s.R.Print(), EPrintError) << traverse;
        EXPECT_LE(s.R.Device()->Pages().size(), 4u);
    }
}

TEST(SubReport, FixedBoxTraversingAllDataCarriesOnInTheBoxOnTheNextPages) {
    // 20 mm: the child's header and two items a box, so Ana's five items
    // take three boxes, one a parent page, each a child page further on.
    const std::vector<int> counts{5, 1};
    SubRig s(counts, pbFixed, 20000);
    s.Sub->SetTraverseAllData(true);
    s.Detail->SetmmHeight(28000);
    s.Detail->SetPrintHeight(phStatic);
    const auto pages = s.Print();
    EXPECT_EQ(s.Detail->PrintHeight(), phStatic) << "the band keeps its height";
    EXPECT_EQ(Words(TextsOf(pages, "Item")), ExpectedItems(counts));
    std::vector<std::pair<int, std::string>> numbers;
    for (const Placed& p : TextsOf(pages, "ChildPage")) numbers.emplace_back(p.Page, p.Text->Text());
    EXPECT_EQ(numbers, (std::vector<std::pair<int, std::string>>{
                           {1, "Itens pág. 1"}, {2, "Itens pág. 2"}, {3, "Itens pág. 3"}, {3, "Itens pág. 1"}}));
    std::map<int, int> itemsOnPage;
    for (const Placed& p : TextsOf(pages, "Item")) ++itemsOnPage[p.Page];
    EXPECT_EQ(itemsOnPage, (std::map<int, int>{{1, 2}, {2, 2}, {3, 2}}));
    ExpectGolden("subreport_fixed_traverse", DumpPages(pages));
    ExpectPagesComeBackAlone(s.R);

    // In a band that grows the box grows with its child like a child inside it.
    SubRig grown(counts, pbFixed, 20000);
    grown.Sub->SetTraverseAllData(true);
    grown.Detail->SetmmHeight(28000);
    grown.Detail->SetPrintHeight(phDynamic);
    const auto one = grown.Print();
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(Words(TextsOf(one, "Item")), ExpectedItems(counts));
    EXPECT_EQ(TextsOf(one, "ChildPage").size(), 2u);
}

// --- Sections -------------------------------------------------------------------------

TEST(SubReport, SectionsPrintWholePagesOnTheirOwnPaperNumberedFromOne) {
    const std::vector<int> counts{50, 40};
    SubRig s(counts, pbSection);
    s.Sub->SetParentPrinterSetup(false);
    TrpPageDef* def = s.Child->PrinterSetup()->PageDef();
    def->SetmmWidth(297000);
    def->SetmmHeight(210000);
    def->SetmmMarginLeft(10000);
    def->SetmmMarginTop(10000);
    def->SetmmMarginRight(10000);
    def->SetmmMarginBottom(10000);
    EXPECT_FALSE(s.Sub->ParentPrinterSetup());
    const auto pages = s.Print();
    EXPECT_EQ(Words(TextsOf(pages, "Item")), ExpectedItems(counts));
    // Pages holding items are landscape section pages: no parent header or
    // footer, numbered within their section.
    std::map<int, int> sectionPages;  // page -> its number
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const TrpPage* page = pages[i]->Page.get();
        bool hasItems = false;
        for (const auto& maker : pages[i]->Makers) hasItems = hasItems || maker.second == "Item";
        if (!hasItems) continue;
        sectionPages[static_cast<int>(i) + 1] = page->PageNo();
        EXPECT_EQ(page->PageDef()->mmWidth(), 297000) << "page " << i + 1;
        for (const auto& maker : pages[i]->Makers) {
            EXPECT_NE(maker.second, "HeaderText") << "page " << i + 1;
            EXPECT_NE(maker.second, "FooterText") << "page " << i + 1;
        }
    }
    // Items of 6 mm under a 5 mm header on 190 mm: 30 a page, so two pages
    // for Ana and two for Bruno, each section from 1.
    std::vector<int> numbers;
    for (const auto& [page, no] : sectionPages) numbers.push_back(no);
    EXPECT_EQ(numbers, (std::vector<int>{1, 2, 1, 2}));
    for (const Placed& p : TextsOf(pages, "ChildPage")) EXPECT_EQ(p.Text->Top(), 10000);
    ExpectGolden("subreport_sections", DumpPages(pages));
    ExpectPagesComeBackAlone(s.R);
}

TEST(SubReport, ASecondPassNumbersSectionPagesOfTheSectionsCount) {
    SubRig s({50, 10}, pbSection);
    s.R.Report()->SetPassSetting(psTwoPass);
    std::vector<std::string> numbers;
    for (const CapturedPage* p : s.Print())
        numbers.push_back(std::to_string(p->Page->PageNo()) + "/" + std::to_string(p->Page->PageCount()));
    // Ana's page, her section of two, Bruno's page, his section of one.
    EXPECT_EQ(numbers, (std::vector<std::string>{"1/5", "1/2", "2/2", "4/5", "1/1"}));
}

TEST(SubReport, SectionWithoutResetPageNoContinuesTheMainNumbering) {
    SubRig s({50}, pbSection);
    s.Sub->SetResetPageNo(false);
    const auto pages = s.Print();
    ASSERT_GE(pages.size(), 3u);
    for (const CapturedPage* p : pages) EXPECT_EQ(p->Page->PageNo(), p->Page->AbsolutePageNo());
    ExpectGolden("subreport_sections_continued", DumpPages(pages));
    ExpectPagesComeBackAlone(s.R);
}

TEST(SubReport, NewPrintJobPrintsTheSectionAsAJobOfItsOwn) {
    SubRig s({50}, pbSection);
    s.Sub->SetNewPrintJob(true);
    s.R.Report()->CreateBand(btSummary)->SetmmHeight(10000);
    s.R.AddText(s.R.Report()->SummaryBand(), "Resumo", 0, 0, 40000, 5000, "Resumo");
    JobRecorder printer;
    TrpPageRequest request;
    request.SetPageSetting(psAll);
    printer.SetPageRequest(&request);
    TrpPublisher* publisher = s.R.Report()->Publisher();
    printer.SetPublisher(publisher);
    publisher->StartJob();
    s.R.Print();
    publisher->EndJob();
    printer.SetPublisher(nullptr);
    // The listing's first page, the section's two pages, the summary's page.
    ASSERT_EQ(printer.jobs.size(), 3u);
    EXPECT_EQ(printer.jobs[0], (std::vector<int>{1}));
    EXPECT_EQ(printer.jobs[1], (std::vector<int>{2, 3}));
    EXPECT_EQ(printer.jobs[2], (std::vector<int>{4}));
    EXPECT_EQ(Words(TextsOf(s.R.Device()->FinalPages(), "Resumo")), (std::vector<std::string>{"Resumo"}));
}

// --- Drill-down ------------------------------------------------------------------------

TEST(SubReport, DrillDownClickedTwiceRestoresTheCollapsedListing) {
    SubRig s({2, 3, 1}, pbChild);
    s.Sub->SetDrillDownComponent(s.Name);
    const auto collapsed = s.Print();
    ASSERT_EQ(collapsed.size(), 1u);
    const std::string first = DumpPages(collapsed);
    EXPECT_TRUE(TextsOf(collapsed, "Item").empty());

    auto click = [&s](const std::string& Who) {
        for (const Placed& p : TextsOf(s.R.Device()->FinalPages(), "Nome"))
            if (p.Text->Text() == Who) {
                ASSERT_TRUE(p.Text->Clickable());
                const_cast<TrpDrawText*>(p.Text)->DoClick();
                return;
            }
        FAIL() << Who;
    };
    click("Bruno");
    EXPECT_TRUE(s.Sub->IsExpanded("Bruno"));
    const std::size_t before = s.R.Device()->Pages().size();
    s.R.Print();
    const auto& sent = s.R.Device()->Pages();
    std::vector<const CapturedPage*> expanded;
    for (std::size_t i = before; i < sent.size(); ++i) expanded.push_back(&sent[i]);
    EXPECT_EQ(Words(TextsOf(expanded, "Item")), (std::vector<std::string>{"I2-1", "I2-2", "I2-3"}));

    click("Bruno");
    EXPECT_FALSE(s.Sub->IsExpanded("Bruno"));
    const std::size_t again = s.R.Device()->Pages().size();
    s.R.Print();
    std::vector<const CapturedPage*> restored;
    for (std::size_t i = again; i < s.R.Device()->Pages().size(); ++i) restored.push_back(&s.R.Device()->Pages()[i]);
    EXPECT_EQ(DumpPages(restored), first);
}

TEST(SubReport, AnExpandedChildOverSeveralPagesComesBackAlonePageByPage) {
    SubRig s({2, 70, 3}, pbChild);
    s.Sub->SetDrillDownComponent(s.Name);
    s.Sub->ToggleExpanded("Bruno");
    const auto pages = s.Print();
    ASSERT_GE(pages.size(), 2u);
    EXPECT_EQ(Words(TextsOf(pages, "Item")), ExpectedItems({0, 70}));
    ExpectPagesComeBackAlone(s.R);
}

// --- Properties and the child report's hooks -----------------------------------------

TEST(SubReport, PropertyRulesFollowThePrintBehaviour) {
    SubRig s({1}, pbChild);
    TrpSubReport* sub = s.Sub;
    EXPECT_TRUE(sub->Stretch());
    EXPECT_EQ(s.Detail->PrintHeight(), phDynamic);
    // ResetPageNo belongs to sections.
    sub->SetResetPageNo(false);
    EXPECT_TRUE(sub->ResetPageNo());
    // NewPrintJob makes a section, which stops stretching and lets the
    // drill-down go; a section does not take a drill-down.
    sub->SetDrillDownComponent(s.Name);
    EXPECT_EQ(sub->DrillDownComponent(), s.Name);
    sub->SetNewPrintJob(true);
    EXPECT_EQ(sub->PrintBehavior(), pbSection);
    EXPECT_FALSE(sub->Stretch());
    EXPECT_EQ(sub->DrillDownComponent(), nullptr);
    sub->SetDrillDownComponent(s.Name);
    EXPECT_EQ(sub->DrillDownComponent(), nullptr);
    sub->SetParentWidth(false);
    EXPECT_TRUE(sub->ParentWidth());
    sub->SetResetPageNo(false);
    EXPECT_FALSE(sub->ResetPageNo());
    // A box is never kept together.
    sub->SetPrintBehavior(pbFixed);
    EXPECT_FALSE(sub->NewPrintJob());
    sub->SetKeepTogether(true);
    EXPECT_FALSE(sub->KeepTogether());
    // In a region a section is refused, and a section placed there becomes a box.
    auto* region = new TrpRegion(s.R.Owner());
    region->SetBand(s.Detail);
    sub->SetPrintBehavior(pbSection);
    region->AddObject(sub);
    EXPECT_EQ(sub->PrintBehavior(), pbFixed);
    sub->SetPrintBehavior(pbSection);
    EXPECT_EQ(sub->PrintBehavior(), pbFixed);
}

// A new subreport takes its band's width; a layout stores the setting only
// when it differs from that.
TEST(SubReport, ANewSubreportTakesTheWidthOfItsParent) {
    TrpSubReport fresh(nullptr);
    EXPECT_TRUE(fresh.ParentWidth());
    const TPropInfo* p = GetPropInfo(TrpSubReport::StaticClassType(), "ParentWidth");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Default, 1);
}

TEST(SubReport, ScriptsReachTheSettingsAndTheChildButCannotReplaceIt) {
    SubRig s({1}, pbChild);
    const TrsRTTI* adapter = TrsRTTIClassRegistry::GetRTTIClass(TrpSubReport::StaticClassType());
    ASSERT_NE(adapter, nullptr);
    TrsValue value;
    ASSERT_TRUE(adapter->GetPropValue(s.Sub, "Report", value));
    EXPECT_EQ(std::get<TObject*>(value), static_cast<TObject*>(s.Child));
    EXPECT_FALSE(adapter->SetPropValue(s.Sub, "Report", TrsValue(static_cast<TObject*>(nullptr))));
    EXPECT_TRUE(adapter->SetPropValue(s.Sub, "NewPrintJob", TrsValue(true)));
    ASSERT_TRUE(adapter->GetPropValue(s.Sub, "PrintBehavior", value));
    EXPECT_EQ(std::get<int32_t>(value), static_cast<int32_t>(pbSection));
    EXPECT_FALSE(adapter->SetPropValue(s.Sub, "PrintBehavior", TrsValue(int32_t{7})));
    EXPECT_EQ(s.Sub->PrintBehavior(), pbSection);
}

TEST(SubReport, DescriptionsAndThePrinterSetupFollowTheParent) {
    SubRig s({1}, pbChild);
    s.Sub->SetCaption("Itens do cliente");
    EXPECT_EQ(s.Sub->GetDescription(), "Itens do cliente: Itens");
    EXPECT_EQ(s.Child->GetReportDescription(), "Itens do cliente");
    EXPECT_EQ(s.Child->GetMainReport(), s.R.Report());
    // The child starts with the main report's paper and gives it up once
    // its own is changed.
    EXPECT_TRUE(s.Child->PrinterSetup()->IsEqual(s.R.Report()->PrinterSetup()));
    EXPECT_TRUE(s.Sub->ParentPrinterSetup());
    s.Child->PrinterSetup()->PageDef()->SetmmMarginLeft(20000);
    s.Child->PrinterSetupChanged();
    EXPECT_FALSE(s.Sub->ParentPrinterSetup());
    s.Sub->SetParentPrinterSetup(true);
    EXPECT_EQ(s.Child->PrinterSetup()->PageDef()->mmMarginLeft(), 6350);
    // Without a pipeline the description says so.
    TrpSubReport bare(nullptr);
    bare.SetCaption("Vazio");
    EXPECT_EQ(bare.GetDescription(), "Vazio: sem fonte de dados");
}

// A form that streams the report objects it owns at its top level.
class SubForm : public TComponent {
public:
    explicit SubForm(TComponent* AOwner) : TComponent(AOwner) {}
    FAT_CLASS(SubForm)
    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override {
        for (int i = 0; i < ComponentCount(); ++i)
            if (Components(i)->GetParentComponent() == nullptr && Root == this) Proc(Components(i));
    }
};

}  // namespace

TClass SubForm::StaticClassType() {
    static const TClassInfo info = TClassBuilder<SubForm>("SubForm", TComponent::StaticClassType()).Build();
    return &info;
}

TEST(SubReportStream, TheChildReportTravelsAsTheSubreportsChild) {
    RegisterClass(SubForm::StaticClassType());
    RegisterClass(TrpTestLabel::StaticClassType());
    {
        SubForm form(nullptr);
        auto* report = new TrpBandedReport(&form);
        report->SetName("Relatorio");
        TrpDetailBand* detail = report->DetailBand();
        auto* sub = new TrpSubReport(&form);
        sub->SetName("Sub1");
        sub->SetBand(detail);
        sub->SetPrintBehavior(pbSection);
        sub->SetResetPageNo(false);
        TrpChildReport* child = sub->Report();
        ASSERT_NE(child, nullptr);
        auto* label = new TrpTestLabel(&form);
        label->SetName("ItemLabel");
        label->SetBand(child->DetailBand());
        label->SetCaption("Item");

        TMemoryStream stream;
        WriteComponent(stream, &form);
        stream.Seek(0, soBeginning);
        TMemoryStream text;
        ObjectBinaryToText(stream, text);
        text.Seek(0, soBeginning);
        const std::string t = text.ReadAllBytes();
        // Nested: the child report's object sits inside the subreport's.
        const auto subAt = t.find("object Sub1: TrpSubReport");
        const auto childAt = t.find(": TrpChildReport");
        ASSERT_NE(subAt, std::string::npos);
        ASSERT_NE(childAt, std::string::npos);
        EXPECT_LT(subAt, childAt);
        EXPECT_NE(t.find("PrintBehavior = pbSection"), std::string::npos);

        stream.Seek(0, soBeginning);
        SubForm copy(nullptr);
        ReadComponent(stream, &copy);
        auto* readSub = dynamic_cast<TrpSubReport*>(copy.FindComponent("Sub1"));
        ASSERT_NE(readSub, nullptr);
        EXPECT_EQ(readSub->PrintBehavior(), pbSection);
        EXPECT_FALSE(readSub->ResetPageNo());
        EXPECT_FALSE(readSub->Stretch());
        TrpChildReport* readChild = readSub->ChildReport();
        ASSERT_NE(readChild, nullptr);
        EXPECT_EQ(readChild->SubReport(), readSub);
        ASSERT_NE(readChild->GetBand(btDetail), nullptr);
        ASSERT_EQ(readChild->GetBand(btDetail)->ObjectCount(), 1);
        EXPECT_EQ(readChild->GetBand(btDetail)->Objects(0)->Caption(), "Item");
        EXPECT_EQ(readChild->GetMainReport(), copy.FindComponent("Relatorio"));
    }
    UnRegisterClass(TrpTestLabel::StaticClassType());
    UnRegisterClass(SubForm::StaticClassType());
}
