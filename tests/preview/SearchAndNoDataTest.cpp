// The auto-search dialog asks a report's criteria and writes the typed
// values back; the engine shows the no-data dialog when a report finds
// nothing.
#include "platform/ui/StdCtrls.h"
#include "preview/rpDialogForms.h"
#include "report/rpGroup.h"
#include "report/rpAutoSearch.h"
#include "report/rpMainReport.h"
#include "tests/preview/DialogTestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace previewtest;
using namespace reporttest;

namespace {

}  // namespace

TEST(AutoSearchDialog, EachCriterionIsAskedAndTheTypedValueGoesBackOnOK) {
    TComponent owner(nullptr);
    auto* report = new TrpReport(&owner);
    report->SetShowAutoSearchDialog(true);
    auto* client = new TrpAutoSearchField(&owner);
    client->SetFieldName("Cliente");
    client->SetSearchExpression("A");
    auto* city = new TrpAutoSearchField(&owner);
    city->SetFieldName("Cidade");
    report->AddAutoSearchField(client);
    report->AddAutoSearchField(city);

    std::vector<std::string> shown;
    auto answer = [&](bool Ok) {
        Later([&, Ok] {
            auto* dialog = dynamic_cast<TrpAutoSearchDialog*>(report->AutoSearchDialog());
            ASSERT_NE(dialog, nullptr);
            ASSERT_EQ(dialog->EditCount(), 2);
            shown = {dialog->Labels(0)->Caption() + "=" + dialog->Edits(0)->Text(),
                     dialog->Labels(1)->Caption() + "=" + dialog->Edits(1)->Text()};
            dialog->Edits(1)->SetText("Goiânia");
            dialog->Form()->SetModalResult(mrCancel);
            if (Ok) dialog->Form()->DefaultButton()->Click();
        });
    };
    answer(false);
    EXPECT_FALSE(report->DisplayAutoSearchDialog());
    EXPECT_EQ(city->SearchExpression(), "") << "a cancelled dialog changes nothing";
    answer(true);
    EXPECT_TRUE(report->DisplayAutoSearchDialog());
    EXPECT_EQ(shown, (std::vector<std::string>{"Cliente=A", "Cidade="}));
    EXPECT_EQ(city->SearchExpression(), "Goiânia");
    EXPECT_EQ(client->SearchExpression(), "A");
    report->RemoveAutoSearchField(client);
    report->RemoveAutoSearchField(city);
}

TEST(NoDataDialog, AReportWithoutDataShowsItOnce) {
    ReportRig rig;
    RowsTable empty({"Key"}, {{Variant("x")}});
    empty.Table()->EmptyTable();
    rig.Report()->SetDataPipeline(empty.Pipeline());
    rig.Report()->CreateDefaultBands();
    rig.Report()->SetNoDataBehaviors(TrpNoDataBehaviors{ndBlankPage, ndMessageDialog});
    int shown = 0;
    std::string caption;
    rig.Report()->OnNoData = [&](TObject*, TObject* Dialog, bool& Show, TObject*, bool&) {
        auto* dialog = dynamic_cast<TrpNoDataDialog*>(Dialog);
        ASSERT_NE(dialog, nullptr) << "the registered default";
        EXPECT_TRUE(Show);
        Later([&, dialog] {
            ++shown;
            caption = dialog->Form()->Caption() + ": " + dialog->Message()->Caption();
            dialog->OK()->Click();
        });
    };
    rig.Print();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(caption, "Sem dados: Nenhum dado encontrado.");
}
