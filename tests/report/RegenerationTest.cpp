// Pages made again from the state saved at their start, page requests of
// every kind, the two passes, the last page's bands and the runs that make
// no progress.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <regex>

#include "platform/rtl/Streams.h"
#include "report/rpBandEngine.h"
#include "report/rpCacheManager.h"
#include "report/rpDialogRegistry.h"
#include "report/rpDialogs.h"
#include "report/rpExcept.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

// "Página n de N" as the engine knows it while the text prints.
class PageNoText : public TestText {
public:
    using TestText::TestText;
    std::string GetText() const override {
        TrpCustomEngine* e = Band()->Report()->Engine();
        return "Página " + std::to_string(e->AbsolutePageNo()) + " de " + std::to_string(e->AbsolutePageCount());
    }
};

// The amounts 1..k of the records up to the one the pipeline stands on.
class RunningTotalText : public TestText {
public:
    using TestText::TestText;
    std::string GetText() const override {
        TrpDataPipeline* p = GetDataPipeline();
        if (p == nullptr || !p->HasRecord()) return "Total 0";
        const long long k = p->GetFieldValue("Amount").AsInteger();
        return "Total " + std::to_string(k * (k + 1) / 2);
    }
};

std::vector<std::vector<Variant>> NumberedRows(int Count) {
    std::vector<std::vector<Variant>> rows;
    for (int i = 1; i <= Count; ++i) rows.push_back({Variant("K" + std::to_string(i)), Variant(i)});
    return rows;
}

struct Layout {
    int32_t Header = 15000;
    int32_t Detail = 6000;
    int32_t Summary = 10000;
    int32_t Footer = 12000;
    bool WithSummary = true;
    bool PageNumbers = false;
    TrpPassSettingType Passes = psOnePass;
};

struct Rig {
    ReportRig R;
    std::unique_ptr<RowsTable> Data;
    TrpDetailBand* Detail = nullptr;

    explicit Rig(int Rows, const Layout& L = Layout())
        : Data(std::make_unique<RowsTable>(std::vector<std::string>{"Key", "Amount"}, NumberedRows(Rows))) {
        TrpBandedReport* r = R.Report();
        r->SetDataPipeline(Data->Pipeline());
        r->SetPassSetting(L.Passes);
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(L.Header);
        R.AddText(r->HeaderBand(), "HeaderText", 0, 0, 100000, std::min<int32_t>(L.Header, 5000), "Relatório");
        Detail = r->DetailBand();
        Detail->SetmmHeight(L.Detail);
        TestText* key = R.AddText(Detail, "KeyText", 1000, 0, 40000, std::min<int32_t>(L.Detail, 4000));
        key->SetDataPipeline(Data->Pipeline());
        key->SetDataField("Key");
        r->FooterBand()->SetmmHeight(L.Footer);
        R.AddText(r->FooterBand(), "FooterText", 0, 0, 60000, std::min<int32_t>(L.Footer, 4000), "Rodapé");
        if (L.PageNumbers) {
            auto* no = new PageNoText(R.Owner());
            no->SetName("PageNo");
            no->SetBounds(100000, 0, 60000, 4000);
            no->SetBand(r->FooterBand());
            auto* total = new RunningTotalText(R.Owner());
            total->SetName("PageTotal");
            total->SetBounds(0, 5000, 60000, 4000);
            total->SetDataPipeline(Data->Pipeline());
            total->SetBand(r->FooterBand());
        }
        if (L.WithSummary) {
            TrpBand* summary = r->CreateBand(btSummary);
            summary->SetmmHeight(L.Summary);
            R.AddText(summary, "SummaryText", 0, 0, 80000, std::min<int32_t>(L.Summary, 5000), "Total");
        }
    }

    const std::vector<CapturedPage>& Sent() const { return R.Device()->Pages(); }
    std::vector<const CapturedPage*> Finals() const { return R.Device()->FinalPages(); }
    std::vector<const CapturedPage*> FinalsFrom(std::size_t From) const {
        std::vector<const CapturedPage*> result;
        for (std::size_t i = From; i < Sent().size(); ++i)
            if (Sent()[i].Page->Final() && !Sent()[i].Page->Calculation()) result.push_back(&Sent()[i]);
        return result;
    }
    void Request(TrpPageSettingType Setting, int Page = 0, std::vector<std::string> List = {}) {
        TrpPageRequest request;
        request.SetPageSetting(Setting);
        request.SetPageRequested(Page);
        for (const std::string& s : List) request.PageList()->Add(s);
        R.Device()->SetPageRequest(&request);
        R.Device()->RequestPage();
    }
    TrpEngine* Engine() const { return R.Report()->GenerationEngine(); }
};

// A page's dump without its page count, which a one-pass run only knows
// at its end.
std::string WithoutCount(const std::string& Dump) {
    static const std::regex counts(R"(^page (\d+)/\d+ no (\d+)/\d+)");
    return std::regex_replace(Dump, counts, "page $1/? no $2/?", std::regex_constants::format_first_only);
}

std::vector<int> PageNumbers(const std::vector<const CapturedPage*>& Pages) {
    std::vector<int> numbers;
    for (const CapturedPage* p : Pages) numbers.push_back(p->Page->AbsolutePageNo());
    return numbers;
}

// --- Regeneration ------------------------------------------------------------

TEST(Regeneration, EveryPageOfEveryGoldenComesBackAloneAsTheRunMadeIt) {
    Layout exact;
    exact.Detail = 5146;
    const std::vector<std::pair<int, Layout>> cases = {{1, Layout()}, {37, Layout()}, {120, Layout()}, {50, exact}};
    for (const auto& [rows, layout] : cases) {
        SCOPED_TRACE(std::to_string(rows) + " rows, detail " + std::to_string(layout.Detail));
        Rig b(rows, layout);
        b.R.Print();
        const auto run = b.Finals();
        ASSERT_GE(run.size(), 1u);
        std::vector<std::string> first;
        for (const CapturedPage* p : run) first.push_back(DumpPage(*p));
        // Backwards, so that each page is restored, never reached forward.
        for (int k = static_cast<int>(run.size()); k >= 1; --k) {
            const std::size_t before = b.Sent().size();
            b.R.PrintPage(k);
            const auto again = b.FinalsFrom(before);
            ASSERT_EQ(again.size(), 1u) << "page " << k;
            EXPECT_EQ(b.Sent().size() - before, 1u) << "page " << k << " alone";
            EXPECT_EQ(WithoutCount(DumpPage(*again[0])), WithoutCount(first[static_cast<std::size_t>(k - 1)]))
                << "page " << k;
        }
    }
}

TEST(Regeneration, APageReachedForwardOnAFreshReportEqualsTheFullRunsPage) {
    Rig full(120);
    full.R.Print();
    const auto run = full.Finals();
    ASSERT_EQ(run.size(), 3u);
    for (int k = 1; k <= 3; ++k) {
        Rig b(120);
        b.R.PrintPage(k);
        const auto pages = b.Finals();
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(b.Sent().size(), static_cast<std::size_t>(k)) << "the pages before it as calculation pages";
        EXPECT_EQ(WithoutCount(DumpPage(*pages[0])), WithoutCount(DumpPage(*run[static_cast<std::size_t>(k - 1)])));
    }
}

TEST(Regeneration, APageBrokenInsideARecordsPrintsComesBackWithTheRecordsRemainingPrints) {
    // Three prints per record, 43 prints a page: page 1 ends after the
    // first print of K15, page 2 starts with its other two.
    Layout l;
    l.Detail = 5900;
    Rig b(40, l);
    b.Detail->SetBandsPerRecord(3);
    b.R.Print();
    const auto run = b.Finals();
    ASSERT_GE(run.size(), 3u);
    const std::string second = DumpPage(*run[1]);
    int k15 = 0;
    const std::string k15Text = "text=\"K15\"";
    for (std::size_t at = second.find(k15Text); at != std::string::npos; at = second.find(k15Text, at + 1)) ++k15;
    EXPECT_EQ(k15, 2) << second;
    b.R.PrintPage(3);
    b.R.PrintPage(2);
    EXPECT_EQ(WithoutCount(DumpPage(*b.Finals().back())), WithoutCount(second));
}

std::string StreamBytes(TStream* Stream) {
    std::string bytes(static_cast<std::size_t>(Stream->Size()), '\0');
    Stream->Seek(0, soBeginning);
    if (!bytes.empty()) Stream->ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return bytes;
}

std::vector<std::string> CacheFilesIn(const std::string& Folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(Folder.c_str())) {
        while (dirent* e = readdir(dir))
            if (std::string(e->d_name).rfind("cch", 0) == 0) names.push_back(e->d_name);
        closedir(dir);
    }
    return names;
}

TEST(Regeneration, MemoryAndFileCachesHoldTheSameStatesAndMakeTheSamePages) {
    char folderTemplate[] = "/tmp/rpregenXXXXXX";
    ASSERT_NE(mkdtemp(folderTemplate), nullptr);
    const std::string folder = folderTemplate;

    Rig memory(120);
    Rig files(120);
    files.Engine()->CacheManager()->SetTempFolder(folder);
    files.Engine()->CacheManager()->SetMemoryLimit(0);
    memory.R.Print();
    files.R.Print();
    TrpCacheManager* m = memory.Engine()->CacheManager();
    TrpCacheManager* f = files.Engine()->CacheManager();
    EXPECT_EQ(m->Mode(), 0);
    ASSERT_EQ(f->Mode(), 1) << "no memory: the states went to files";
    EXPECT_FALSE(f->CacheFileNames().empty());
    ASSERT_EQ(m->StreamCount(), f->StreamCount());
    for (int i = 0; i < m->StreamCount(); ++i) {
        EXPECT_EQ(m->StreamRecordSize(i), f->StreamRecordSize(i));
        EXPECT_EQ(StreamBytes(m->Streams(i)), StreamBytes(f->Streams(i))) << "stream " << i;
    }
    EXPECT_EQ(DumpPages(memory.Finals()), DumpPages(files.Finals()));
    files.R.PrintPage(2);
    memory.R.PrintPage(2);
    EXPECT_EQ(DumpPage(*files.Finals().back()), DumpPage(*memory.Finals().back()));
    EXPECT_TRUE(CacheFilesIn(folder).empty()) << "the files left the folder as they were opened";
    f->Clear();
    EXPECT_TRUE(CacheFilesIn(folder).empty());
    rmdir(folder.c_str());
}

TEST(Regeneration, ARunKilledWhileItsStatesAreInFilesLeavesNoFile) {
    char folderTemplate[] = "/tmp/rpkilledXXXXXX";
    ASSERT_NE(mkdtemp(folderTemplate), nullptr);
    const std::string folder = folderTemplate;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Rig b(120);
        b.Engine()->CacheManager()->SetTempFolder(folder);
        b.Engine()->CacheManager()->SetMemoryLimit(0);
        int printed = 0;
        // Killed on page 2, its cache files open.
        b.Detail->AfterPrint = [&](TObject*) {
            if (++printed == 60) {
                if (b.Engine()->CacheManager()->Mode() != 1) _exit(2);
                kill(getpid(), SIGKILL);
            }
        };
        b.R.Print();
        _exit(3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_TRUE(CacheFilesIn(folder).empty());
    rmdir(folder.c_str());
}

TEST(Regeneration, OnePassAndTwoPassRunsDifferOnlyInPageCounts) {
    Layout two;
    two.Passes = psTwoPass;
    Rig a(120);
    Rig b(120, two);
    a.R.Print();
    b.R.Print();
    const auto one = a.Finals();
    const auto both = b.Finals();
    ASSERT_EQ(one.size(), both.size());
    for (std::size_t i = 0; i < one.size(); ++i) {
        const std::string x = DumpPage(*one[i]);
        std::string y = DumpPage(*both[i]);
        EXPECT_EQ(WithoutCount(x), std::regex_replace(WithoutCount(y), std::regex("pass=1"), "pass=0"));
        EXPECT_EQ(both[i]->Page->AbsolutePageCount(), static_cast<int>(both.size()));
    }
}

// --- Requests ----------------------------------------------------------------

TEST(Requests, ASinglePageBeyondAKnownCountGivesTheLastPage) {
    Rig b(120);
    b.R.Print();
    const std::size_t before = b.Sent().size();
    b.R.PrintPage(5);
    const auto pages = b.FinalsFrom(before);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0]->Page->AbsolutePageNo(), 3);
    EXPECT_TRUE(pages[0]->Page->LastPage());
}

TEST(Requests, ASinglePageBeyondTheEndOfAFreshRunGivesItsLastPage) {
    Rig b(120);
    b.R.PrintPage(5);
    EXPECT_EQ(PageNumbers(b.Finals()), (std::vector<int>{3}));
}

TEST(Requests, AListOfPagesThatDoNotExistGeneratesNothing) {
    Rig b(120);
    b.R.Print();
    const std::size_t before = b.Sent().size();
    b.Request(psPageList, 0, {"0", "-1", "4", "9", "x", ""});
    EXPECT_EQ(b.Sent().size(), before);
}

TEST(Requests, AListIsServedInItsOwnOrderByNumber) {
    Rig b(300);  // 7 pages
    b.Request(psPageList, 0, {"5", "3", " 07", "5x"});
    EXPECT_EQ(PageNumbers(b.Finals()), (std::vector<int>{5, 3, 7}));
    for (const CapturedPage& p : b.Sent())
        if (p.Page->AbsolutePageNo() != 5 && p.Page->AbsolutePageNo() != 3 && p.Page->AbsolutePageNo() != 7)
            EXPECT_TRUE(p.Page->Calculation());
}

TEST(Requests, TheLastPageOfAFreshReportIsTheOnlyFinalPage) {
    Rig b(120);
    b.Request(psLastPage);
    EXPECT_EQ(PageNumbers(b.Finals()), (std::vector<int>{3}));
    EXPECT_TRUE(b.Finals()[0]->Page->LastPage());
    int calculation = 0;
    for (const CapturedPage& p : b.Sent()) calculation += p.Page->Calculation() ? 1 : 0;
    EXPECT_EQ(calculation, 3) << "pages 1 to 3 reached the end, then page 3 came back as final";
}

TEST(Requests, TheFirstPageAndBackwardSinglePages) {
    Rig b(120);
    b.Request(psFirstPage);
    EXPECT_EQ(PageNumbers(b.Finals()), (std::vector<int>{1}));
    EXPECT_EQ(b.Sent().size(), 1u);
    b.R.PrintPage(3);
    b.R.PrintPage(2);
    b.R.PrintPage(1);
    EXPECT_EQ(PageNumbers(b.Finals()), (std::vector<int>{1, 3, 2, 1}));
    EXPECT_EQ(WithoutCount(DumpPage(*b.Finals()[0])), WithoutCount(DumpPage(*b.Finals()[3])));
}

TEST(Requests, TwoPassesSendFinalPagesInTheSecondOnly) {
    Layout two;
    two.Passes = psTwoPass;
    Rig b(120, two);
    EventRecorder events(b.Engine());
    events.Listen(b.R.Report(), {rpevStartFirstPass, rpevEndFirstPass, rpevStartSecondPass, rpevEndSecondPass});
    b.R.PrintPage(2);
    ASSERT_EQ(b.Sent().size(), 4u) << "three calculation pages, then page 2";
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_FALSE(b.Sent()[i].Page->Final());
        EXPECT_TRUE(b.Sent()[i].Page->Calculation());
    }
    EXPECT_EQ(PageNumbers(b.Finals()), (std::vector<int>{2}));
    EXPECT_EQ(b.Finals()[0]->Page->AbsolutePageCount(), 3);
    EXPECT_EQ(events.Trace(), "0:Report:20\n3:Report:16\n3:Report:22\n2:Report:18\n");
}

TEST(Requests, APageSettingChangeIsAskedOfTheSavedStatesOnly) {
    // A fresh single page of a one-pass report is not the whole run.
    Rig b(120);
    b.R.PrintPage(2);
    EXPECT_FALSE(b.Engine()->PageCountKnown());
    EXPECT_EQ(b.Engine()->HighestPage(), 2);
    b.R.Print();
    EXPECT_EQ(PageNumbers(b.Finals()), (std::vector<int>{2, 1, 2, 3}));
    EXPECT_TRUE(b.Engine()->PageCountKnown());
}

// --- Page n of N -------------------------------------------------------------

TEST(PageOfPages, TwoPassesNumberEveryPageWithTheFinalCount) {
    // 56 details of 4594 fill the body of 257300 exactly; the 57th starts
    // page 2.
    Layout l;
    l.Detail = 4594;
    l.WithSummary = false;
    l.PageNumbers = true;
    l.Passes = psTwoPass;
    for (const auto& [rows, pages] : std::vector<std::pair<int, int>>{{0, 1}, {1, 1}, {56, 1}, {57, 2}, {10000, 179}}) {
        SCOPED_TRACE(std::to_string(rows) + " rows");
        Rig b(rows, l);
        if (rows == 0) b.R.Report()->SetNoDataBehaviors({ndBlankReport});
        b.R.Print();
        const auto finals = b.Finals();
        ASSERT_EQ(static_cast<int>(finals.size()), pages);
        int lastKey = 0;
        for (int k = 1; k <= pages; ++k) {
            const CapturedPage& p = *finals[static_cast<std::size_t>(k - 1)];
            const std::string dump = DumpPage(p);
            const std::string expected = "text=\"Página " + std::to_string(k) + " de " + std::to_string(pages) + "\"";
            EXPECT_NE(dump.find(expected), std::string::npos) << dump.substr(0, 300);
            // The footer's total is that of the records up to the page's last.
            int keys = 0;
            for (std::size_t i = 0; i < p.Makers.size(); ++i)
                keys += p.Makers[i].second == "KeyText" ? 1 : 0;
            lastKey += keys;
            const long long total = static_cast<long long>(lastKey) * (lastKey + 1) / 2;
            EXPECT_NE(dump.find("text=\"Total " + std::to_string(total) + "\""), std::string::npos)
                << "page " << k << ": " << dump.substr(dump.size() > 400 ? dump.size() - 400 : 0);
        }
        EXPECT_EQ(lastKey, rows);
        const int k = (pages + 1) / 2;
        const std::string firstRun = DumpPage(*finals[static_cast<std::size_t>(k - 1)]);
        b.R.PrintPage(k);
        EXPECT_EQ(DumpPage(*b.Finals().back()), firstRun) << "page " << k << " made again";
    }
}

// --- Last page ---------------------------------------------------------------

TEST(LastPage, AHeaderKeptOffTheLastPageLeavesItAndTheBodyMovesUp) {
    Rig b(120);
    b.R.Report()->HeaderBand()->SetPrintOnLastPage(false);
    b.R.Print();
    const auto pages = b.Finals();
    ASSERT_EQ(pages.size(), 3u);
    const std::string middle = DumpPage(*pages[1]);
    const std::string last = DumpPage(*pages[2]);
    EXPECT_NE(middle.find("HeaderText"), std::string::npos);
    EXPECT_EQ(last.find("HeaderText"), std::string::npos) << last;
    // The first detail stood under the 15000 header; it now stands at the
    // top margin, and the footer stays where it was.
    EXPECT_NE(last.find("rect=7350,6350,40000x4000 font=MS Sans Serif/8/-/#000008 color=#FFFFFF align=0/0 "
                        "text=\"K85\""),
              std::string::npos)
        << last;
    EXPECT_NE(last.find("component=FooterText rect=6350,278650,"), std::string::npos) << last;
}

TEST(LastPage, AFooterKeptOffTheLastPageIsNotPrintedThere) {
    Rig b(120);
    b.R.Report()->FooterBand()->SetPrintOnLastPage(false);
    b.R.Print();
    const auto pages = b.Finals();
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_NE(DumpPage(*pages[1]).find("FooterText"), std::string::npos);
    EXPECT_EQ(DumpPage(*pages[2]).find("FooterText"), std::string::npos);
    b.R.PrintPage(3);
    EXPECT_EQ(DumpPage(*b.Finals().back()).find("FooterText"), std::string::npos) << "nor when it is made again";
}

// --- No progress -------------------------------------------------------------

std::string PrintAndCatch(Rig& B) {
    try {
        B.R.Print();
    } catch (const EPrintError& e) {
        return e.what();
    }
    return {};
}

TEST(NoProgress, ARunThatCannotMoveStopsWithinFourPages) {
    {
        SCOPED_TRACE("dynamic band holding a fixed object taller than the page");
        Rig b(5);
        b.Detail->SetPrintHeight(phDynamic);
        b.R.AddText(b.Detail, "Tall", 0, 0, 10000, 400000, "Alto");
        const std::string message = PrintAndCatch(b);
        EXPECT_FALSE(message.empty());
        EXPECT_LE(b.Engine()->AbsolutePageNo(), 4) << message;
        EXPECT_LE(b.Sent().size(), 4u);
    }
    {
        SCOPED_TRACE("title taller than the page");
        Rig b(5);
        TrpBand* title = b.R.Report()->CreateBand(btTitle);
        title->SetmmHeight(400000);
        EXPECT_FALSE(PrintAndCatch(b).empty());
        EXPECT_LE(b.Engine()->AbsolutePageNo(), 4);
    }
    {
        SCOPED_TRACE("the run is ready again afterwards");
        Rig b(5);
        b.Detail->SetmmHeight(400000);
        EXPECT_FALSE(PrintAndCatch(b).empty());
        b.Detail->SetmmHeight(6000);
        b.R.Print();
        EXPECT_EQ(PageNumbers(b.FinalsFrom(b.Sent().size() - 1)), (std::vector<int>{1}));
    }
}

// A band that never finds room yet never says it gave up: only the engine
// can see that the run stands still.
class StuckBand : public TrpDetailBand {
public:
    using TrpDetailBand::TrpDetailBand;
    void Generate() override {
        ++Calls;
        SetOutOfSpace(true);
    }
    int Calls = 0;
};

TEST(NoProgress, TheEngineStopsARunThatStandsStillWhateverItsBands) {
    ReportRig r;
    RowsTable data({"Key", "Amount"}, NumberedRows(3));
    r.Report()->SetDataPipeline(data.Pipeline());
    auto* stuck = new StuckBand(r.Owner());
    stuck->SetReport(r.Report());
    r.Report()->CreateBand(btHeader)->SetmmHeight(10000);
    std::string message;
    try {
        r.Print();
    } catch (const EPrintError& e) {
        message = e.what();
    }
    EXPECT_NE(message.find("não avança"), std::string::npos) << message;
    EXPECT_EQ(r.Report()->Engine()->AbsolutePageNo(), 4);
    EXPECT_EQ(stuck->Calls, 4);
    EXPECT_EQ(r.Device()->Pages().size(), 3u) << "the fourth page is not sent";
}

// --- No data -----------------------------------------------------------------

int noDataShown = 0;

class FakeNoDataDialog : public TrpCustomNoDataDialog {
public:
    FAT_CLASS(FakeNoDataDialog)
    using TrpCustomNoDataDialog::TrpCustomNoDataDialog;
    bool ShowModal() override {
        ++noDataShown;
        EXPECT_NE(Report(), nullptr);
        return true;
    }
};

TClass FakeNoDataDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<FakeNoDataDialog>("FakeNoDataDialog", TrpCustomNoDataDialog::StaticClassType()).Build();
    return &info;
}

TEST(NoData, TheDialogShowsOncePerJobAndIsLeftOutWhenNoneIsRegistered) {
    noDataShown = 0;
    {
        Rig b(0);
        b.R.Report()->SetNoDataBehaviors({ndBlankPage, ndMessageDialog});
        b.R.Print();
        EXPECT_TRUE(b.Sent().empty()) << "no dialog registered: the run goes on without it";
    }
    RegisterFormClass(TrpCustomNoDataDialog::StaticClassType(), FakeNoDataDialog::StaticClassType());
    {
        Rig b(0);
        b.R.Report()->SetNoDataBehaviors({ndBlankPage, ndMessageDialog});
        b.R.Print();
        EXPECT_EQ(noDataShown, 1);
        EXPECT_TRUE(b.Sent().empty());
    }
    {
        Rig b(0);
        b.R.Report()->SetNoDataBehaviors({ndBlankReport, ndMessageOnPage, ndMessageDialog});
        b.R.Print();
        EXPECT_EQ(noDataShown, 2);
        ASSERT_EQ(b.Finals().size(), 1u);
        EXPECT_NE(DumpPage(*b.Finals()[0]).find("font=Arial/12"), std::string::npos);
    }
    {
        Rig b(3);
        b.R.Report()->SetNoDataBehaviors({ndBlankPage, ndMessageDialog});
        b.R.Print();
        EXPECT_EQ(noDataShown, 2) << "data: no dialog";
    }
    UnregisterFormClass(TrpCustomNoDataDialog::StaticClassType());
}

}  // namespace

namespace {

// --- Page style pages ----------------------------------------------------------

TEST(PageStylePages, RangesAndListsByNumber) {
    Rig b(1);
    auto* style = dynamic_cast<TrpPageStyle*>(b.R.Report()->CreateBand(btPageStyle));
    ASSERT_NE(style, nullptr);
    struct Row {
        int Start, End, Page;
        bool Prints;
    };
    style->SetPageSetting(psPageRange);
    for (const Row& r : std::vector<Row>{{2, 4, 1, false},
                                         {2, 4, 2, true},
                                         {2, 4, 4, true},
                                         {2, 4, 5, false},
                                         {0, 4, 1, true},
                                         {0, 4, 5, false},
                                         {3, 0, 2, false},
                                         {3, 0, 900, true},
                                         {0, 0, 7, true}}) {
        style->SetStartPage(r.Start);
        style->SetEndPage(r.End);
        EXPECT_EQ(style->PrintsOnPage(r.Page, 0), r.Prints) << r.Start << ".." << r.End << " page " << r.Page;
    }
    style->SetPageSetting(psPageList);
    style->PageList()->Clear();
    for (const char* entry : {" 3", "07", "1x", "", "-2"}) style->PageList()->Add(entry);
    const std::vector<std::pair<int, bool>> listed = {{3, true}, {7, true}, {1, false}, {2, false}, {-2, false}};
    for (const auto& [page, prints] : listed)
        EXPECT_EQ(style->PrintsOnPage(page, 0), prints) << "page " << page;
}

}  // namespace
