// The report an application prints: the steps before its first page, the
// events around its data, its description and outline, and the child
// report that hands its questions to the report containing it.
#include <gtest/gtest.h>

#include "report/rpDialogRegistry.h"
#include "report/rpDialogs.h"
#include "report/rpExcept.h"
#include "report/rpMainReport.h"
#include "report/rpRTTI.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

std::vector<std::string> trail;
bool searchAnswer = true;

class FakeAutoSearchDialog : public TrpCustomAutoSearchDialog {
public:
    FAT_CLASS(FakeAutoSearchDialog)
    using TrpCustomAutoSearchDialog::TrpCustomAutoSearchDialog;
    bool ShowModal() override {
        trail.push_back("search dialog");
        return searchAnswer;
    }
};

TClass FakeAutoSearchDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<FakeAutoSearchDialog>("FakeAutoSearchDialog", TrpCustomAutoSearchDialog::StaticClassType())
            .Build();
    return &info;
}

class FakePreview : public TrpCustomPreviewer {
public:
    FAT_CLASS(FakePreview)
    using TrpCustomPreviewer::TrpCustomPreviewer;
    bool ShowModal() override {
        if (OnActivate) OnActivate();
        if (OnClose) OnClose();
        return true;
    }
    void Show() override {}
};

TClass FakePreview::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<FakePreview>("FakePreview", TrpCustomPreviewer::StaticClassType()).Build();
    return &info;
}

class Outline : public TrpReportOutline {
public:
    void Initialize() override { trail.push_back("outline"); }
};

std::vector<std::vector<Variant>> Rows(int Count) {
    std::vector<std::vector<Variant>> rows;
    for (int i = 1; i <= Count; ++i) rows.push_back({Variant("K" + std::to_string(i))});
    return rows;
}

// A TrpReport over 10 rows printing to the screen through a fake preview,
// whose device is a capture device.
class MainReport : public ::testing::Test {
protected:
    void SetUp() override {
        trail.clear();
        searchAnswer = true;
        RegisterFormClass(TrpCustomPreviewer::StaticClassType(), FakePreview::StaticClassType());
        data_ = std::make_unique<RowsTable>(std::vector<std::string>{"Key"}, Rows(10), "Vendas");
        report_ = new TrpReport(&owner_);
        report_->SetName("Report");
        report_->SetDataPipeline(data_->Pipeline());
        report_->CreateDefaultBands();
        auto* key = new TestText(&owner_);
        key->SetName("KeyText");
        key->SetBounds(0, 0, 40000, 4000);
        key->SetBand(report_->DetailBand());
        key->SetDataPipeline(data_->Pipeline());
        key->SetDataField("Key");
        device_.SetPublisher(report_->Publisher());
        auto note = [](const char* Name) { return [Name](TObject*) { trail.push_back(Name); }; };
        report_->BeforeAutoSearchDialogCreate = note("BeforeAutoSearchDialogCreate");
        report_->AfterAutoSearchDialogCreate = note("AfterAutoSearchDialogCreate");
        report_->OnAutoSearchDialogClose = note("OnAutoSearchDialogClose");
        report_->OnGetAutoSearchValues = note("OnGetAutoSearchValues");
        report_->BeforeOpenDataPipelines = note("BeforeOpenDataPipelines");
        report_->AfterOpenDataPipelines = note("AfterOpenDataPipelines");
        report_->BeforePrint = note("BeforePrint");
    }
    void TearDown() override {
        device_.SetPublisher(nullptr);
        UnregisterFormClass(TrpCustomAutoSearchDialog::StaticClassType());
        UnregisterFormClass(TrpCustomPreviewer::StaticClassType());
    }
    std::string Trail() const {
        std::string s;
        for (const std::string& e : trail) s += (s.empty() ? "" : ", ") + e;
        return s;
    }
    std::size_t Printed() const { return device_.FinalPages().size(); }

    FixedClock clock_{RigMoment()};
    TComponent owner_{nullptr};
    std::unique_ptr<RowsTable> data_;
    TrpReport* report_ = nullptr;
    CaptureDevice device_;
};

TEST_F(MainReport, WithoutTheAutoSearchDialogItsEventStillComesAndPrintingGoesOn) {
    report_->PrintReport();
    EXPECT_EQ(Trail(), "BeforeAutoSearchDialogCreate, BeforePrint, BeforeOpenDataPipelines, AfterOpenDataPipelines");
    EXPECT_EQ(Printed(), 1u);
}

TEST_F(MainReport, AnAutoSearchDialogThatIsNotRegisteredIsLeftOut) {
    report_->SetShowAutoSearchDialog(true);
    TrpAutoSearchField field(nullptr);
    report_->AddAutoSearchField(&field);
    report_->PrintReport();
    EXPECT_EQ(Trail(),
              "BeforeAutoSearchDialogCreate, OnGetAutoSearchValues, BeforePrint, BeforeOpenDataPipelines, "
              "AfterOpenDataPipelines");
    EXPECT_EQ(Printed(), 1u);
}

TEST_F(MainReport, TheAutoSearchDialogShowsOnlyWithFieldsAndItsCancelStopsThePrint) {
    RegisterFormClass(TrpCustomAutoSearchDialog::StaticClassType(), FakeAutoSearchDialog::StaticClassType());
    report_->SetShowAutoSearchDialog(true);
    report_->PrintReport();
    EXPECT_EQ(Trail(),
              "BeforeAutoSearchDialogCreate, AfterAutoSearchDialogCreate, BeforePrint, BeforeOpenDataPipelines, "
              "AfterOpenDataPipelines")
        << "no field: made, not shown";
    EXPECT_EQ(report_->AutoSearchDialog(), nullptr) << "freed after the step";

    trail.clear();
    TrpAutoSearchField field(nullptr);
    report_->AddAutoSearchField(&field);
    report_->PrintReport();
    EXPECT_EQ(Trail(),
              "BeforeAutoSearchDialogCreate, AfterAutoSearchDialogCreate, search dialog, OnAutoSearchDialogClose, "
              "OnGetAutoSearchValues, BeforePrint, BeforeOpenDataPipelines, AfterOpenDataPipelines");

    trail.clear();
    searchAnswer = false;
    const std::size_t before = Printed();
    report_->PrintReport();
    EXPECT_EQ(Trail(),
              "BeforeAutoSearchDialogCreate, AfterAutoSearchDialogCreate, search dialog, OnAutoSearchDialogClose");
    EXPECT_EQ(Printed(), before) << "cancelled: nothing printed";
    EXPECT_FALSE(report_->Producing());
    report_->RemoveAutoSearchField(&field);
}

TEST_F(MainReport, CriteriaAreMadeAnnouncedFoundByNameAndDescribed) {
    TrpCommunicator listener(nullptr);
    listener.EventSet().set(rpevAutoSearchFieldCreated);
    std::vector<TObject*> announced;
    listener.OnEventNotify = [&announced](TObject*, TObject*, int, TrsParamList* Params) {
        TrsValue v;
        ASSERT_TRUE(Params->GetParamValue(Params->IndexOf("aAutoSearchField"), v));
        announced.push_back(std::get<TObject*>(v));
    };
    report_->AddEventNotify(&listener);
    TrpAutoSearchField* client = report_->CreateAutoSearchCriteria("Rows", "Cliente", soEqual, "Silva", true);
    TrpAutoSearchField* amount =
        report_->CreateAutoSearchCriteria("Rows", "Valor", "Valor total", dtCurrency, soBetween, "10,20", false,
                                          &owner_);
    TrpAutoSearchField* empty = report_->CreateAutoSearchCriteria("Rows", "Obs", soBlank, "", false);
    TrpAutoSearchField* all = report_->CreateAutoSearchCriteria("Rows", "UF", soEqual, "SP", false);
    all->SetShowAllValues(true);
    report_->RemoveEventNotify(&listener);

    EXPECT_EQ(announced, (std::vector<TObject*>{client, amount, empty, all}));
    ASSERT_EQ(report_->AutoSearchFieldCount(), 4);
    EXPECT_EQ(client->Owner(), &owner_);
    EXPECT_NE(client->Name(), amount->Name()) << "each gets a name of its own";
    EXPECT_TRUE(client->Mandatory());
    EXPECT_EQ(report_->AutoSearchCriteriaByName("ROWS", "valor"), amount) << "case aside";
    EXPECT_EQ(report_->AutoSearchCriteriaByName("Outro", "Valor"), nullptr);

    TStringList lines;
    report_->GetAutoSearchDescriptionLines(&lines);
    EXPECT_EQ(lines.Text(), "Cliente = Silva\ne Valor total entre 10,20\ne Obs vazio\n")
        << "a criterion asking for every record filters nothing";
    EXPECT_EQ(report_->AutoSearchDescription(),
              "Cliente = Silva e Valor total entre 10,20 e Obs vazio e UF = SP");

    // A copy takes everything; the criteria alone are what the user typed.
    TrpAutoSearchField copy(nullptr);
    copy.Assign(amount);
    EXPECT_EQ(copy.FieldAlias(), "Valor total");
    EXPECT_EQ(copy.DataType(), dtCurrency);
    TrpAutoSearchField typed(nullptr);
    typed.SetFieldName("Outro");
    typed.AssignCriteria(all);
    EXPECT_EQ(typed.FieldName(), "Outro");
    EXPECT_EQ(typed.SearchExpression(), "SP");
    EXPECT_TRUE(typed.ShowAllValues());

    // A criterion freed by its owner leaves the report's list.
    delete empty;
    EXPECT_EQ(report_->AutoSearchFieldCount(), 3);
}

TEST_F(MainReport, AParametersHandlerThatCancelsStopsThePrintSilently) {
    report_->OnInitializeParameters = [](TObject*, bool& Cancel) {
        trail.push_back("OnInitializeParameters");
        Cancel = true;
    };
    report_->PrintReport();
    EXPECT_EQ(Trail(), "OnInitializeParameters");
    EXPECT_EQ(Printed(), 0u);
}

TEST_F(MainReport, TheDescriptionNamesThePipelineOrTellsThereIsNone) {
    EXPECT_EQ(report_->GetReportDescription(), "Relatório: Vendas");
    report_->SetDataPipeline(nullptr);
    EXPECT_EQ(report_->GetReportDescription(), "sem fonte de dados");
}

TEST_F(MainReport, TheOutlineStartsAfreshWithEachRequestAndGoesWithThePrintState) {
    EXPECT_EQ(report_->Outline(), nullptr) << "no outline maker: no outline";
    int made = 0;
    const TrpReportOutlineFactory previous = rpSetReportOutlineFactory([&](TrpReport*) {
        ++made;
        return std::make_unique<Outline>();
    });
    report_->PrintReport();
    EXPECT_EQ(made, 1);
    EXPECT_NE(Trail().find("outline"), std::string::npos);
    report_->ResetPrintState();
    report_->Outline();
    EXPECT_EQ(made, 2) << "the print state's reset let the outline go";
    rpSetReportOutlineFactory(previous);
}

TEST_F(MainReport, CachePagesHoldsStillWhilePrintingAndReachesThePublisher) {
    report_->SetPrinting(true);
    report_->SetCachePages(true);
    EXPECT_FALSE(report_->CachePages());
    report_->SetPrinting(false);
    report_->SetCachePages(true);
    EXPECT_TRUE(report_->CachePages());
    report_->PrintReport();
    EXPECT_TRUE(report_->Publisher()->CachePages());
    EXPECT_EQ(report_->CacheManager(), report_->GenerationEngine()->CacheManager());
}

TEST_F(MainReport, AChildReportHandsItsCancelAndChangesToItsParent) {
    auto* child = new TrpChildReport(&owner_);
    auto* grandchild = new TrpChildReport(&owner_);
    child->SetParentReport(report_);
    grandchild->SetParentReport(child);
    EXPECT_EQ(grandchild->GetMainReport(), report_);
    EXPECT_EQ(child->GetMainReport(), report_);
    TrpChildReport alone(nullptr);
    EXPECT_EQ(alone.GetMainReport(), nullptr);

    report_->SetModified(false);
    grandchild->SetModified(true);
    EXPECT_TRUE(child->Modified());
    EXPECT_TRUE(report_->Modified());
    report_->SetModified(false);
    child->SetModified(false);
    grandchild->SetSaveAsTemplate(true);
    grandchild->SetModified(true);
    EXPECT_FALSE(child->Modified()) << "a template keeps its changes to itself";

    // The grandchild's cancel reaches its parent child report, not the
    // report printed.
    grandchild->Cancel();
    EXPECT_TRUE(grandchild->Cancelled());
    EXPECT_TRUE(child->Cancelled());
    EXPECT_FALSE(report_->Cancelled());
    EXPECT_TRUE(grandchild->GenerationEngine()->Stopped());
}

TEST(MainReportStream, AnOldReportKeepsItsPageLimitOrientationAndOutlineAsStored) {
    TComponent owner(nullptr);
    std::unique_ptr<TComponent> read(ReadStoredText("object Report: TrpReport\n"
                                                    "  NoDataPages = 3\n"
                                                    "  Orientation = poLandscape\n"
                                                    "  PreviewPages = 2\n"
                                                    "  RowSpacing = 1.5\n"
                                                    "  DataSource = dsVendas\n"
                                                    "  SuppressFormFeed = True\n"
                                                    "end\n",
                                                    nullptr));
    auto* report = dynamic_cast<TrpReport*>(read.get());
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->PageLimit(), 3);
    EXPECT_EQ(report->PrinterSetup()->Orientation(), poLandscape);
    EXPECT_FALSE(report->OutlineSettings()->Enabled()) << "older than the outline";
    EXPECT_EQ(report->LegacyDataSourceName(), "dsVendas");
    EXPECT_TRUE(report->Converted());
    const std::string stored = StoredText(report);
    EXPECT_EQ(stored.find("NoDataPages"), std::string::npos) << "old properties are read, never written";

    TrpReport fresh(nullptr);
    EXPECT_TRUE(fresh.OutlineSettings()->Enabled());
    EXPECT_EQ(fresh.PrinterSetup()->Orientation(), poPortrait);
}

}  // namespace
