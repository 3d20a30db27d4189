// A layout holding one of every control on the palette (whatever classes
// are registered when the test runs), inside regions, a subreport and a
// group, saved as a template and loaded back: the pages are the same.
#include <gtest/gtest.h>

#include "platform/gfx/Graphics.h"
#include "report/rpBands.h"
#include "report/rpGroup.h"
#include "report/rpMainReport.h"
#include "report/rpMemo.h"
#include "report/rpPageBreak.h"
#include "report/rpRegComponents.h"
#include "report/rpRegion.h"
#include "report/rpSubReport.h"
#include "report/rpTemplate.h"
#include "report_output/rp2DBarCode.h"
#include "report_output/rpBarCode.h"
#include "report_output/rpImages.h"
#include "report_output/rpRichText.h"
#include "report_output/rpTextControls.h"
#include "tests/support/TestSupport.h"
#include "tests/support/report/ReportHarness.h"

namespace {

using reporttest::ReportRig;
using reporttest::RowsTable;

// Gives a control of any class something to print.
void Fill(TrpComponent* C, TrpDataPipeline* Pipeline, const std::string& Text) {
    if (auto* bar = dynamic_cast<TrpCustomBarCode*>(C)) {
        bar->SetData("123456");
    } else if (auto* bar2 = dynamic_cast<TrpCustom2DBarCode*>(C)) {
        bar2->SetData("Nota 2D " + Text);
    } else if (auto* rich = dynamic_cast<TrpRichText*>(C)) {
        rich->SetRichText("{\\rtf1 Texto {\\b rico} " + Text + "}");
    } else if (auto* memo = dynamic_cast<TrpMemo*>(C)) {
        memo->Lines()->SetText("Primeira linha\nSegunda linha " + Text);
    } else if (auto* image = dynamic_cast<TrpImage*>(C)) {
        TPicture picture;
        picture.LoadFromFile(testsupport::DataPath("gfx/pictures/jpeg_base.jpg"));
        image->SetPicture(&picture);
    } else if (!C->IsDataAware()) {
        C->SetCaption(Text);
    }
    // Settings of their own, which a load must bring back.
    if (C->HasFont()) {
        C->Font()->SetSize(11);
        C->Font()->SetStyle(TFontStyles{fsBold});
        C->SetTextAlignment(taCentered);
    }
    if (C->IsDataAware()) {
        C->SetDataPipeline(Pipeline);
        C->SetDataField("Valor");
    }
}

// The pages' dump, with what the common dump leaves out of the symbols and
// the rich text.
std::string Dump(const std::vector<const reporttest::CapturedPage*>& Pages) {
    std::string out = reporttest::DumpPages(Pages);
    for (const reporttest::CapturedPage* p : Pages)
        for (int i = 0; i < p->Page->DrawCommandCount(); ++i) {
            TrpDrawCommand* c = p->Page->DrawCommands(i);
            if (auto* bar = dynamic_cast<TrpDrawBarCode*>(c))
                out += "bars " + bar->Data() + " " + std::to_string(static_cast<int>(bar->BarCodeType())) + "\n";
            if (auto* bar2 = dynamic_cast<TrpDraw2DBarCode*>(c))
                out += "symbol " + bar2->Data() + " " + std::to_string(static_cast<int>(bar2->BarCodeType())) + "\n";
            if (auto* rich = dynamic_cast<TrpDrawRichText*>(c); rich != nullptr && rich->RichTextStream() != nullptr)
                out += "rich " + rich->RichTextStream()->DataBytes() + "\n";
        }
    return out;
}

TEST(TemplateRoundTrip, AReportUsingEveryRegisteredControlPrintsTheSamePagesAfterSaveAndLoad) {
    ReportRig rig;
    std::vector<std::vector<Variant>> rows;
    for (int i = 1; i <= 12; ++i)
        rows.push_back({Variant("K" + std::to_string(i)), Variant(std::to_string(i * 1000 + 7)),
                        Variant(i <= 7 ? "Campinas" : "Santos")});
    RowsTable data({"Key", "Valor", "City"}, rows);
    rig.Owner()->InsertComponent(data.Pipeline());
    data.Pipeline()->SetName("plNotas");
    TrpBandedReport* r = rig.Report();
    r->SetDataPipeline(data.Pipeline());
    r->CreateDefaultBands();
    r->CreateBand(btTitle);
    r->CreateBand(btSummary);
    auto* group = new TrpGroup(rig.Owner());
    group->SetName("grpCidade");
    group->SetReport(r);
    group->SetDataPipeline(data.Pipeline());
    group->SetBreakName("City");
    r->CreateDefaultBands();
    r->DetailBand()->SetmmHeight(30000);

    // Every palette class once on the detail band, the report library's
    // containers taking part as what they are.
    std::vector<std::string> placed;
    TrpRegion* region = nullptr;
    TrpSubReport* sub = nullptr;
    int n = 0;
    for (const TrpRegComponent& entry : rpRegisteredComponents()) {
        auto* c = dynamic_cast<TrpComponent*>(CreateInstance(entry.ComponentClass, rig.Owner()));
        ASSERT_NE(c, nullptr) << entry.ComponentClass->Name;
        const std::string name = "c" + std::string(entry.ComponentClass->Name).substr(3);
        c->SetName(name);
        c->SetUserName(name);
        placed.push_back(name);
        if (auto* brk = dynamic_cast<TrpPageBreak*>(c)) {
            // Splits the summary: what follows it prints on the next page.
            brk->SetBand(r->SummaryBand());
            brk->SetmmTop(6000);
            continue;
        }
        c->SetBand(r->DetailBand());
        c->SetBounds((n % 8) * 24000, (n / 8) * 10000, 22000, 9000);
        ++n;
        if ((region = region != nullptr ? region : dynamic_cast<TrpRegion*>(c)) == c) continue;
        if ((sub = sub != nullptr ? sub : dynamic_cast<TrpSubReport*>(c)) == c) continue;
        Fill(c, data.Pipeline(), name);
    }
    ASSERT_NE(region, nullptr);
    ASSERT_NE(sub, nullptr);
    auto* inRegion = new TrpLabel(rig.Owner());
    inRegion->SetName("lblNaRegiao");
    inRegion->SetUserName("lblNaRegiao");
    inRegion->SetBand(r->DetailBand());
    region->AddObject(inRegion);
    inRegion->SetCaption("Na região");
    TrpChildReport* child = sub->Report();
    child->CreateDefaultBands();
    auto* inChild = new TrpLabel(rig.Owner());
    inChild->SetName("lblNoFilho");
    inChild->SetUserName("lblNoFilho");
    inChild->SetBand(child->GetBand(btDetail));
    inChild->SetCaption("No subrelatório");
    struct Text {
        TrpBand* band;
        const char* name;
        int32_t top;
    };
    for (const Text& t : {Text{r->TitleBand(), "lblTitulo", 0}, Text{group->HeaderBand(), "lblCidade", 0},
                          Text{group->FooterBand(), "lblFimCidade", 0}, Text{r->SummaryBand(), "lblAntes", 0},
                          Text{r->SummaryBand(), "lblDepois", 8000}}) {
        auto* l = new TrpLabel(rig.Owner());
        l->SetName(t.name);
        l->SetUserName(t.name);
        l->SetBand(t.band);
        l->SetmmTop(t.top);
        l->SetCaption(t.name);
    }

    rig.Print();
    const auto first = rig.Device()->FinalPages();
    const std::string before = Dump(first);
    ASSERT_GE(first.size(), 3u);
    // Everything that draws has drawn (the containers draw what they hold;
    // a field holds no picture).
    for (const std::string& name : placed) {
        if (name == "cRegion" || name == "cSubReport" || name == "cPageBreak" || name == "cDBImage") continue;
        EXPECT_NE(before.find("component=" + name + " "), std::string::npos) << name;
    }
    for (const char* name : {"lblNaRegiao", "lblNoFilho", "lblDepois", "lblFimCidade"})
        EXPECT_NE(before.find(name), std::string::npos) << name;

    auto text = [](TrpCustomReport* Report) {
        Report->Template()->SetFormat(ftASCII);
        TMemoryStream s;
        Report->Template()->SaveToStream(&s);
        return s.DataBytes();
    };
    const std::string layout = text(r);
    // Each form loaded into a report of its own, over the same rows.
    for (TrpFormatType format : {ftBinary, ftASCII}) {
        SCOPED_TRACE(format);
        r->Template()->SetFormat(format);
        TMemoryStream stored;
        r->Template()->SaveToStream(&stored);
        ReportRig copy;
        RowsTable copyData({"Key", "Valor", "City"}, rows);
        copy.Owner()->InsertComponent(copyData.Pipeline());
        copyData.Pipeline()->SetName("plNotas");
        copy.Report()->SetName(r->Name());
        stored.Seek(0, soBeginning);
        copy.Report()->Template()->LoadFromStream(&stored);
        EXPECT_EQ(copy.Owner()->ComponentCount(), rig.Owner()->ComponentCount());
        EXPECT_EQ(text(copy.Report()), layout);
        copy.Print();
        EXPECT_EQ(Dump(copy.Device()->FinalPages()), before);
    }
}

}  // namespace
