// The report's band and group lists, default bands, no-data behaviours,
// column positions and its side of a run.
#include <algorithm>
#include <random>

#include <gtest/gtest.h>

#include "platform/rtl/Format.h"
#include "report/rpExcept.h"
#include "report/rpLanguage.h"
#include "tests/report/ModelTestSupport.h"

namespace reporttest {
namespace {

using ReportStructure = ModelFixture;

// One letter per band, to compare orders at a glance: T title, H header,
// C column header, 0..2 group headers, D detail, a..c group footers of
// groups 0..2, c column footer is "K", F footer, S summary, P page style.
std::string Letters(const TrpCustomReport* Report) {
    std::string out;
    for (int i = 0; i < Report->BandCount(); ++i) {
        TrpBand* b = Report->Bands(i);
        switch (b->Kind()) {
            case btTitle: out += 'T'; break;
            case btHeader: out += 'H'; break;
            case btColumnHeader: out += 'C'; break;
            case btGroupHeader: out += static_cast<char>('0' + static_cast<TrpGroupBand*>(b)->GroupIndex()); break;
            case btDetail: out += 'D'; break;
            case btGroupFooter: out += static_cast<char>('a' + static_cast<TrpGroupBand*>(b)->GroupIndex()); break;
            case btColumnFooter: out += 'K'; break;
            case btFooter: out += 'F'; break;
            case btSummary: out += 'S'; break;
            case btPageStyle: out += 'P'; break;
        }
    }
    return out;
}

TEST_F(ReportStructure, BandsOfEveryKindAndThreeGroupsAddedInAnyOrderStandInRankOrder) {
    for (unsigned seed : {1u, 7u, 42u, 2024u, 99991u}) {
        auto owner = std::make_unique<TComponent>(nullptr);
        auto* r = new TrpCustomReport(owner.get());
        std::vector<std::function<void()>> adders;
        for (TrpBandType kind : {btTitle, btHeader, btColumnHeader, btDetail, btColumnFooter, btFooter, btSummary,
                                 btPageStyle})
            adders.push_back([&, kind] { report::CreateBandOfKind(kind, owner.get())->SetReport(r); });
        for (int g = 0; g < 3; ++g) adders.push_back([&] { (new TrpGroup(owner.get()))->SetReport(r); });
        std::mt19937 random(seed);
        std::shuffle(adders.begin(), adders.end(), random);
        for (auto& add : adders) add();
        // Inner group footers come first: the footer of group 2 before group 0's.
        EXPECT_EQ(Letters(r), "THC012DcbaKFSP") << "seed " << seed;
    }
}

TEST_F(ReportStructure, RemovingAGroupRenumbersAndResortsTheRest) {
    AddBand<TrpDetailBand>();
    TrpGroup* outer = AddGroup();
    TrpGroup* middle = AddGroup();
    AddGroup();
    EXPECT_EQ(Letters(report), "012Dcba");
    delete middle;
    EXPECT_EQ(Letters(report), "01Dba");
    EXPECT_EQ(outer->GroupIndex(), 0);
    EXPECT_EQ(report->GroupCount(), 2);
    delete outer;
    EXPECT_EQ(Letters(report), "0Da");
}

TEST_F(ReportStructure, ThePageStyleSortsFirstWhileTheReportPrints) {
    AddBand<TrpPageStyle>();
    AddBand<TrpDetailBand>();
    AddBand<TrpHeaderBand>();
    EXPECT_EQ(Letters(report), "HDP");
    report->SetPrinting(true);
    report->SortBands();
    EXPECT_EQ(Letters(report), "PHD");
    report->SetPrinting(false);
    report->SortBands();
    EXPECT_EQ(Letters(report), "HDP");
}

TEST_F(ReportStructure, RankTextsAreRightAlignedNumbers) {
    auto* detail = AddBand<TrpDetailBand>();
    TrpGroup* g = AddGroup();
    EXPECT_EQ(detail->GetRank(), "       5");
    EXPECT_EQ(g->HeaderBand()->GetRank(), "       4       0");
    EXPECT_EQ(g->FooterBand()->GetRank(), "       699999998");
    TrpGroupFooterBand loose(form.get());
    EXPECT_EQ(loose.GetRank(), "") << "a group band without a group sorts first";
}

TEST_F(ReportStructure, BandKindsHaveTheirTypeFlags) {
    auto value = [](TrpBand* b) { return rpBandTypeFlagsValue(b->GetBandTypeFlags()); };
    EXPECT_EQ(value(AddBand<TrpTitleBand>()), 1);
    EXPECT_EQ(value(AddBand<TrpSummaryBand>()), 2);
    EXPECT_EQ(value(AddBand<TrpHeaderBand>()), 4);
    EXPECT_EQ(value(AddBand<TrpFooterBand>()), 8);
    EXPECT_EQ(value(AddBand<TrpColumnHeaderBand>()), 16);
    EXPECT_EQ(value(AddBand<TrpColumnFooterBand>()), 32);
    EXPECT_EQ(value(AddBand<TrpDetailBand>()), 256);
    EXPECT_EQ(value(AddBand<TrpPageStyle>()), 4);
    TrpGroup* g = AddGroup();
    EXPECT_EQ(value(g->FooterBand()), 128);
    EXPECT_EQ(value(g->HeaderBand()), 64 + 4) << "reprinted on following pages by default";
    report->SetColumns(2);
    EXPECT_EQ(value(g->HeaderBand()), 64 + 4 + 16);
    g->SetReprintOnSubsequentPage(false);
    g->SetReprintOnSubsequentColumn(false);
    EXPECT_EQ(value(g->HeaderBand()), 64);
}

TEST_F(ReportStructure, DefaultBandsAreHeaderDetailAndFooterOnce) {
    report->CreateDefaultBands();
    EXPECT_EQ(Letters(report), "HDF");
    report->CreateDefaultBands();
    EXPECT_EQ(report->BandCount(), 3) << "a second call adds nothing";
    EXPECT_TRUE(report->Modified());
    EXPECT_EQ(report->UpdateCount(), 0);
}

TEST_F(ReportStructure, DefaultBandsWithTwoColumnsAddColumnHeaderAndFooter) {
    report->SetColumns(2);
    report->CreateDefaultBands();
    EXPECT_EQ(Letters(report), "HCDKF");
    report->CreateDefaultBands();
    EXPECT_EQ(report->BandCount(), 5);
    // Back at one column, a new report leaves them out again.
    auto* single = new TrpCustomReport(form.get());
    single->SetColumns(2);
    single->SetColumns(1);
    single->CreateDefaultBands();
    EXPECT_EQ(Letters(single), "HDF");
}

TEST_F(ReportStructure, GetBandFindsKindsAndGroupBands) {
    report->CreateDefaultBands();
    TrpGroup* g0 = AddGroup();
    TrpGroup* g1 = AddGroup();
    EXPECT_EQ(report->GetBand(btDetail)->Kind(), btDetail);
    EXPECT_EQ(report->GetBand(btGroupHeader, 1), g1->HeaderBand());
    EXPECT_EQ(report->GetBand(btGroupFooter, 0), g0->FooterBand());
    EXPECT_EQ(report->GetBand(btGroupFooter, 2), nullptr);
    EXPECT_EQ(report->GetBand(btSummary), nullptr);
}

TEST_F(ReportStructure, NoDataBehaviorsStayConsistent) {
    using S = TrpNoDataBehaviors;
    EXPECT_EQ(report->NoDataBehaviors(), (S{ndBlankPage}));
    report->SetNoDataBehaviors(S{ndBlankPage, ndBlankReport});
    EXPECT_EQ(report->NoDataBehaviors(), (S{ndBlankReport}));
    report->SetNoDataBehaviors(S{ndBlankPage, ndBlankReport});
    EXPECT_EQ(report->NoDataBehaviors(), (S{ndBlankPage})) << "from a blank report, the page wins";
    report->SetNoDataBehaviors(S{});
    EXPECT_EQ(report->NoDataBehaviors(), (S{ndBlankPage}));
    report->SetNoDataBehaviors(S{ndMessageOnPage, ndBlankPage});
    EXPECT_EQ(report->NoDataBehaviors(), (S{ndBlankPage}));
    report->SetNoDataBehaviors(S{ndMessageOnPage, ndBlankReport});
    EXPECT_EQ(report->NoDataBehaviors(), (S{ndMessageOnPage, ndBlankReport}));
}

TEST_F(ReportStructure, AssigningAPipelineTogglesAutoStopAndFreeingItClearsTheReference) {
    EXPECT_TRUE(report->AutoStop());
    auto* pipeline = new TTestPipeline(form.get());
    report->SetDataPipeline(pipeline);
    EXPECT_FALSE(report->AutoStop());
    report->SetDataPipeline(nullptr);
    EXPECT_TRUE(report->AutoStop());
    report->SetDataPipeline(pipeline);
    delete pipeline;
    EXPECT_EQ(report->DataPipeline(), nullptr);
    EXPECT_TRUE(report->AutoStop());
}

TEST_F(ReportStructure, ThePageLimitEndsGenerationAtItsPage) {
    int endPages = 0;
    report->OnEndPage = [&](TObject*) { ++endPages; };
    report->SetPageLimit(3);
    for (int page = 1; page <= 3; ++page) {
        EXPECT_FALSE(report->Engine()->PageLimitReached()) << page;
        report->Engine()->SetAbsolutePageNo(page);
        report->Engine()->OnCheckPageLimit();
    }
    EXPECT_TRUE(report->Engine()->PageLimitReached());
    EXPECT_EQ(endPages, 3);

    report->SetPageLimit(0);
    report->Engine()->Reset();
    report->Engine()->SetAbsolutePageNo(1000);
    report->Engine()->OnCheckPageLimit();
    EXPECT_FALSE(report->Engine()->PageLimitReached());
}

TEST_F(ReportStructure, APrintErrorCarriesTheReportsTextAndTheCause) {
    try {
        report->HandlePrintError(Exception("Disco cheio"));
        FAIL() << "no error raised";
    } catch (const EPrintError& e) {
        EXPECT_EQ(std::string(e.what()), rpLanguageText(1023) + "\r\n\r\nDisco cheio");
        EXPECT_EQ(rpLanguageText(1023), "Não foi possível gerar o relatório.");
    }
    report->Engine()->SetSuppressErrors(true);
    EXPECT_NO_THROW(report->HandlePrintError(Exception("Disco cheio")));
}

TEST_F(ReportStructure, AReportReleasedFromItsOwnEventWhileGeneratingGoesWhenGenerationEnds) {
    bool freed = false;
    // A component told of the report's end by free notification.
    struct Watch : TComponent {
        explicit Watch(bool& Flag) : TComponent(nullptr), flag(Flag) {}
        void Notification(TComponent* C, TOperation Op) override {
            if (Op == opRemove && C == watched) flag = true;
            TComponent::Notification(C, Op);
        }
        bool& flag;
        TComponent* watched = nullptr;
    } watch(freed);
    watch.watched = report;
    report->FreeNotification(&watch);

    report->OnEndPage = [this](TObject*) { report->Release(); };
    report->Engine()->SetGenerating(true);
    report->Engine()->OnCheckPageLimit();  // the event frees the report
    EXPECT_FALSE(freed) << "the run still stands on the report";
    EXPECT_TRUE(report->ReleasePending());
    EXPECT_TRUE(report->Engine()->Stopped());
    report->Engine()->SetGenerating(false);
    EXPECT_TRUE(freed);
    EXPECT_EQ(form->ComponentCount(), 0);
}

TEST_F(ReportStructure, AReportReleasedOutsideARunGoesAtOnce) {
    report->Release();
    EXPECT_EQ(form->ComponentCount(), 0);
}

TEST_F(ReportStructure, FreeingTheReportFreesItsBandsGroupsAndObjects) {
    report->CreateDefaultBands();
    AddLabel(report->GetBand(btDetail));
    AddGroup();
    EXPECT_EQ(form->ComponentCount(), 1 + 3 + 1 + 3);
    delete report;
    EXPECT_EQ(form->ComponentCount(), 0);
}

TEST_F(ReportStructure, ColumnPositionsAreReadWhateverTheDecimalSeparator) {
    const TFormatSettings saved = FormatSettings;
    FormatSettings.DecimalSeparator = ',';
    TStringList stored;
    stored.Add("25400");
    stored.Add("50800.0");
    report->StoredColumnPositions()->Assign(&stored);
    EXPECT_EQ(report->ColumnPosition(0), 25400);
    EXPECT_EQ(report->ColumnPosition(1), 50800);
    FormatSettings.DecimalSeparator = '.';
    EXPECT_EQ(report->ColumnPosition(1), 50800);
    EXPECT_EQ(report->ColumnPosition(2), -1);
    FormatSettings = saved;
}

TEST_F(ReportStructure, OldColumnPositionsInUnitsConvertWithAPointUnderAnyLocale) {
    const TFormatSettings saved = FormatSettings;
    FormatSettings.DecimalSeparator = ',';
    TStringList stored;
    stored.Add("1.5");  // inches, as old reports wrote them
    stored.Add("0,5");
    report->StoredColumnPositions()->Assign(&stored);
    report->Convert(2500);
    // 1.5 / 0.03937 = 38.100 mm; 0.5 / 0.03937 = 12.700 mm.
    EXPECT_EQ(report->ColumnPosition(0), 38100);
    EXPECT_EQ(report->ColumnPosition(1), 12700);
    EXPECT_EQ(report->PassSetting(), psTwoPass);
    EXPECT_FALSE(report->AutoStop());
    FormatSettings = saved;
}

TEST_F(ReportStructure, ColumnsNeverGoBelowOneAndShareThePrintableWidth) {
    report->SetColumns(0);
    EXPECT_EQ(report->Columns(), 1);
    report->SetColumns(4);
    EXPECT_EQ(report->mmColumnWidth(), report->mmPrintableWidth() / 4);
    report->SetUnits(utMMThousandths);
    report->SetColumnWidth(static_cast<float>(report->mmPrintableWidth() / 2));
    EXPECT_EQ(report->Columns(), 2) << "only two columns of that width fit";
    report->SetColumnWidth(0);
    EXPECT_EQ(report->Columns(), 1);
}

TEST_F(ReportStructure, UnitsReachBandsGroupsAndObjects) {
    report->CreateDefaultBands();
    TrpTestLabel* label = AddLabel(report->GetBand(btDetail));
    TrpGroup* g = AddGroup();
    report->SetUnits(utMillimeters);
    EXPECT_EQ(report->GetBand(btHeader)->Units(), utMillimeters);
    EXPECT_EQ(g->Units(), utMillimeters);
    EXPECT_EQ(g->HeaderBand()->Units(), utMillimeters);
    EXPECT_EQ(label->Units(), utMillimeters);
    EXPECT_FLOAT_EQ(report->GetBand(btHeader)->Height(), 13.229f);
}

TEST_F(ReportStructure, NoDataListenersMayChangeTheTwoFlags) {
    TEventListener listener({rpevNoData});
    listener.answer = [](TObject*, int, TrsParamList* params) {
        params->SetParamValue(params->IndexOf("aShowDialog"), TrsValue(false));
    };
    report->AddEventNotify(&listener);
    bool handlerRan = false;
    report->OnNoData = [&](TObject*, TObject*, bool& show, TObject*, bool& add) {
        handlerRan = true;
        add = true;
    };
    bool show = true, add = false;
    report->DoNoData(nullptr, show, nullptr, add);
    EXPECT_TRUE(handlerRan);
    EXPECT_FALSE(show);
    EXPECT_TRUE(add);
    report->RemoveEventNotify(&listener);
}

}  // namespace
}  // namespace reporttest

namespace reporttest {
namespace {

using ReportNames = ModelFixture;

TEST_F(ReportNames, RenamingADesignedReportRenamesObjectsNamedAfterIt) {
    report->SetName("rptNotas");
    report->CreateDefaultBands();
    TrpTestLabel* named = AddLabel(report->GetBand(btDetail));
    named->SetName("rptNotasTotal");
    TrpTestLabel* other = AddLabel(report->GetBand(btDetail));
    other->SetName("lblCliente");
    TrpGroup* g = AddGroup();
    g->SetName("rptNotasGrupo");
    report->SetName("rptVendas");
    EXPECT_EQ(named->Name(), "rptNotasTotal") << "only while designing with renaming on";
    report->SetName("rptNotas");
    report->IncludeState(rpstDesigning);
    report->SetName("rptFaturas");
    EXPECT_EQ(named->Name(), "rptFaturasTotal");
    EXPECT_EQ(g->Name(), "rptFaturasGrupo");
    EXPECT_EQ(other->Name(), "lblCliente");
}

TEST_F(ReportNames, TwoReportsOnOneFormEachHaveTheirOwnUserNames) {
    report->CreateDefaultBands();
    auto* second = new TrpCustomReport(form.get());
    second->CreateDefaultBands();
    TrpTestLabel* mine = AddLabel(report->GetBand(btDetail));
    auto* theirs = new TrpTestLabel(form.get());
    theirs->SetBand(second->GetBand(btDetail));
    EXPECT_EQ(mine->UserName(), "TestLabel1");
    EXPECT_EQ(theirs->UserName(), "TestLabel1");
    EXPECT_EQ(report->FindUserName("TestLabel1"), mine);
    EXPECT_EQ(second->FindUserName("testlabel1"), theirs);
    EXPECT_EQ(report->FindUserName("Detail"), report->GetBand(btDetail));
    auto* pipeline = new TTestPipeline(form.get());
    pipeline->SetUserName("Clientes");
    EXPECT_EQ(report->FindUserName("Clientes"), pipeline) << "the form's other objects are found";
}

TEST_F(ReportNames, StateFlagsReachEveryBandGroupObjectAndTheEngine) {
    report->CreateDefaultBands();
    TrpTestLabel* label = AddLabel(report->GetBand(btDetail));
    TrpGroup* g = AddGroup();
    report->IncludeState(rpstJoined);
    EXPECT_TRUE(label->State() & rpstJoined);
    EXPECT_TRUE(g->FooterBand()->State() & rpstJoined);
    EXPECT_TRUE(report->Engine()->State() & rpstJoined);
    report->ExcludeState(rpstJoined);
    EXPECT_FALSE(label->State() & rpstJoined);
    EXPECT_FALSE(report->Engine()->State() & rpstJoined);
}

TEST_F(ReportNames, ChangesAreNotMarkedWhileUpdating) {
    report->BeginUpdate();
    report->BeginUpdate();
    EXPECT_TRUE(report->State() & rpstUpdating);
    report->SetModified(true);
    EXPECT_FALSE(report->Modified());
    report->EndUpdate();
    EXPECT_TRUE(report->State() & rpstUpdating) << "still one level inside";
    report->EndUpdate();
    report->EndUpdate();
    EXPECT_EQ(report->UpdateCount(), 0);
    EXPECT_FALSE(report->State() & rpstUpdating);
    report->SetModified(true);
    EXPECT_TRUE(report->Modified());
}

TEST_F(ReportNames, ObjectsAreVisitedEngineGroupsThenBandsWithTheirObjects) {
    report->CreateDefaultBands();
    TrpTestLabel* label = AddLabel(report->GetBand(btDetail));
    TrpGroup* g = AddGroup();
    std::vector<TObject*> seen;
    report->ForEachObject([&](TObject* o, void*) { seen.push_back(o); }, nullptr);
    std::vector<TObject*> expected{report->Engine(), g};
    for (int i = 0; i < report->BandCount(); ++i) {
        expected.push_back(report->Bands(i));
        if (report->Bands(i) == report->GetBand(btDetail)) expected.push_back(label);
    }
    EXPECT_EQ(seen, expected);
}

TEST_F(ReportNames, TransferMovesBandsGroupsAndSettings) {
    auto* source = new TrpCustomReport(form.get());
    source->SetColumns(2);
    source->CreateDefaultBands();
    source->SetPageLimit(4);
    AddLabel(source->GetBand(btDetail))->SetCaption("movido");
    auto* g = new TrpGroup(form.get());
    g->SetReport(source);
    report->CreateDefaultBands();
    report->Transfer(source);
    EXPECT_EQ(source->BandCount(), 0);
    EXPECT_EQ(source->GroupCount(), 0);
    EXPECT_EQ(Letters(report), "HC0DaKF");
    EXPECT_EQ(report->Columns(), 2);
    EXPECT_EQ(report->PageLimit(), 4);
    EXPECT_EQ(g->Report(), report);
    EXPECT_EQ(report->GetBand(btDetail)->Objects(0)->Caption(), "movido");
}

TEST_F(ReportNames, ALanguageChangeRereadsTheBandCaptions) {
    report->CreateDefaultBands();
    TrpBand* header = report->GetBand(btHeader);
    header->SetCaption("velho");
    report->LanguageChanged();
    EXPECT_EQ(header->Caption(), "Cabeçalho");
}

TEST_F(ReportNames, RunStartsReachBandsInOrderThenGroups) {
    class TRunLabel : public TrpTestLabel {
    public:
        TRunLabel(TComponent* Owner, std::vector<std::string>& Log, std::string Name)
            : TrpTestLabel(Owner), log(Log), name(std::move(Name)) {}
        void StartRun() override { log.push_back(name); }
        void AfterStartRun() override { log.push_back("after " + name); }
        std::vector<std::string>& log;
        std::string name;
    };
    report->CreateDefaultBands();
    std::vector<std::string> log;
    (new TRunLabel(form.get(), log, "footer"))->SetBand(report->GetBand(btFooter));
    (new TRunLabel(form.get(), log, "header"))->SetBand(report->GetBand(btHeader));
    report->StartRun();
    report->AfterStartRun();
    EXPECT_EQ(log, (std::vector<std::string>{"header", "footer", "after header", "after footer"}));
}

}  // namespace
}  // namespace reporttest
