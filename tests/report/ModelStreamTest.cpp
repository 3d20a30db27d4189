// Reports written to and read from the component stream: the current form
// and older forms with their legacy entries and conversions.
#include <gtest/gtest.h>

#include "report/rpMemo.h"

#include <random>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Streams.h"
#include "tests/support/Mutate.h"
#include "tests/report/ModelTestSupport.h"

namespace reporttest {
namespace {

// A form that streams the report objects it owns at its top level.
class TTestForm : public TComponent {
public:
    explicit TTestForm(TComponent* AOwner) : TComponent(AOwner) {}
    FAT_CLASS(TTestForm)
    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override {
        for (int i = 0; i < ComponentCount(); ++i)
            if (Components(i)->GetParentComponent() == nullptr && Root == this) Proc(Components(i));
    }
};

}  // namespace
}  // namespace reporttest

TClass reporttest::TTestForm::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TTestForm>("TTestForm", TComponent::StaticClassType()).Build();
    return &info;
}

namespace reporttest {
namespace {

class ModelStream : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterClass(TTestForm::StaticClassType());
        RegisterClass(TrpTestLabel::StaticClassType());
    }
    void TearDown() override {
        TrpBand::SetLegacyCalcConverter(nullptr);
        UnRegisterClass(TrpTestLabel::StaticClassType());
        UnRegisterClass(TTestForm::StaticClassType());
    }

    // The text form read into a new form.
    std::unique_ptr<TTestForm> ReadText(const std::string& Text) {
        TMemoryStream text, binary;
        text.WriteBytes(Text);
        text.Seek(0, soBeginning);
        ObjectTextToBinary(text, binary);
        binary.Seek(0, soBeginning);
        auto form = std::make_unique<TTestForm>(nullptr);
        ReadComponent(binary, form.get());
        return form;
    }
    static TrpCustomReport* ReportOf(TComponent* Form) {
        for (int i = 0; i < Form->ComponentCount(); ++i)
            if (auto* r = dynamic_cast<TrpCustomReport*>(Form->Components(i))) return r;
        return nullptr;
    }
};

TEST_F(ModelStream, AReportWithBandsGroupsAndObjectsReadsBackEqual) {
    TTestForm form(nullptr);
    auto* report = new TrpCustomReport(&form);
    report->SetName("Report1");
    report->CreateDefaultBands();
    auto* group = new TrpGroup(&form);
    group->SetName("Group1");
    group->SetReport(report);
    group->SetBreakName("Cliente");
    group->SetNewPage(true);
    auto* label = new TrpTestLabel(&form);
    label->SetName("Label1");
    label->SetBand(group->FooterBand());
    label->SetCaption("Total do cliente");
    label->SetBounds(1000, 2000, 30000, 5000);
    label->SetAnchors({atLeft, atBottom});
    report->GetBand(btDetail)->SetmmHeight(7000);
    report->SetPageLimit(12);

    TMemoryStream stream;
    WriteComponent(stream, &form);
    stream.Seek(0, soBeginning);
    TTestForm copy(nullptr);
    ReadComponent(stream, &copy);

    TrpCustomReport* r = ReportOf(&copy);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->PageLimit(), 12);
    EXPECT_EQ(r->VersionNo(), 10020);
    EXPECT_FALSE(r->Converted());
    ASSERT_EQ(r->BandCount(), 5);
    ASSERT_EQ(r->GroupCount(), 1);
    EXPECT_EQ(r->GetBand(btDetail)->mmHeight(), 7000);
    TrpGroup* g = r->Groups(0);
    EXPECT_EQ(g->BreakName(), "Cliente");
    EXPECT_TRUE(g->NewPage());
    ASSERT_NE(g->FooterBand(), nullptr);
    ASSERT_EQ(g->FooterBand()->ObjectCount(), 1);
    TrpComponent* l = g->FooterBand()->Objects(0);
    EXPECT_EQ(l->Caption(), "Total do cliente");
    EXPECT_EQ(l->mmLeft(), 1000);
    EXPECT_EQ(l->mmTop(), 2000);
    EXPECT_EQ(l->mmWidth(), 30000);
    EXPECT_EQ(l->mmHeight(), 5000);
    EXPECT_EQ(l->Anchors(), (TrpAnchors{atLeft, atBottom}));
    EXPECT_EQ(l->BandType(), btGroupFooter);
    EXPECT_EQ(l->GroupNo(), 0);
    // The text form names every class the reader needs.
    stream.Seek(0, soBeginning);
    TMemoryStream text;
    ObjectBinaryToText(stream, text);
    text.Seek(0, soBeginning);
    const std::string t = text.ReadAllBytes();
    EXPECT_NE(t.find("object Report1: TrpCustomReport"), std::string::npos);
    EXPECT_NE(t.find("Version = '10.02'"), std::string::npos);
}

TEST_F(ModelStream, DataMemoKeepsItsFieldAndSettingsAndStoresNoLines) {
    TTestForm form(nullptr);
    auto* report = new TrpCustomReport(&form);
    report->SetName("Report1");
    report->CreateDefaultBands();
    TrpBand* detail = report->GetBand(btDetail);
    auto* memo = new TrpMemo(&form);
    memo->SetName("Memo1");
    memo->SetBand(detail);
    TStringList lines;
    lines.Add("linha um");
    lines.Add("linha dois");
    memo->SetLines(&lines);
    auto* dbMemo = new TrpDBMemo(&form);
    dbMemo->SetName("DBMemo1");
    dbMemo->SetBand(detail);
    dbMemo->SetDataField("Observacao");
    dbMemo->SetAutoDisplay(false);
    dbMemo->SetText("não é guardado");
    dbMemo->SetSuppressRepeatedValues(true);
    dbMemo->SetParentDataPipeline(false);
    dbMemo->SetmmLeading(500);
    dbMemo->SetStretch(true);

    TMemoryStream stream;
    WriteComponent(stream, &form);
    stream.Seek(0, soBeginning);
    TMemoryStream text;
    ObjectBinaryToText(stream, text);
    text.Seek(0, soBeginning);
    const std::string t = text.ReadAllBytes();
    const std::size_t dbAt = t.find("object DBMemo1: TrpDBMemo");
    ASSERT_NE(dbAt, std::string::npos);
    EXPECT_EQ(t.find("Lines.Strings", dbAt), std::string::npos) << "a data memo's text comes from its data";
    EXPECT_NE(t.find("Lines.Strings"), std::string::npos) << "a plain memo keeps its lines";

    stream.Seek(0, soBeginning);
    TTestForm copy(nullptr);
    ReadComponent(stream, &copy);
    auto* m = dynamic_cast<TrpMemo*>(copy.FindComponent("Memo1"));
    auto* d = dynamic_cast<TrpDBMemo*>(copy.FindComponent("DBMemo1"));
    ASSERT_NE(m, nullptr);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(m->Lines()->Count(), 2);
    EXPECT_EQ(m->Lines()->Strings(1), "linha dois");
    EXPECT_EQ(d->DataField(), "Observacao");
    EXPECT_FALSE(d->AutoDisplay());
    EXPECT_TRUE(d->SuppressRepeatedValues());
    EXPECT_TRUE(d->EventSet().test(35)) << "read back, it still hears the record steps";
    EXPECT_FALSE(d->ParentDataPipeline());
    EXPECT_EQ(d->mmLeading(), 500);
    EXPECT_TRUE(d->Stretch());
    EXPECT_EQ(d->GetLines()->Count(), 0);
    // Defaults are not written.
    auto* plain = new TrpDBMemo(&form);
    plain->SetName("DBMemo2");
    plain->SetBand(detail);
    TMemoryStream again, againText;
    WriteComponent(again, &form);
    again.Seek(0, soBeginning);
    ObjectBinaryToText(again, againText);
    againText.Seek(0, soBeginning);
    const std::string t2 = againText.ReadAllBytes();
    const std::size_t at2 = t2.find("object DBMemo2: TrpDBMemo");
    ASSERT_NE(at2, std::string::npos);
    const std::string tail = t2.substr(at2);
    EXPECT_EQ(tail.find("AutoDisplay"), std::string::npos);
    EXPECT_EQ(tail.find("SuppressRepeatedValues"), std::string::npos);
}

TEST_F(ModelStream, StoredColumnPositionsAreNotRewrittenOnLoad) {
    const TFormatSettings saved = FormatSettings;
    FormatSettings.DecimalSeparator = ',';
    auto form = ReadText(
        "object Form: TTestForm\n"
        "  object Report1: TrpCustomReport\n"
        "    Columns = 2\n"
        "    ColumnPositions.Strings = (\n"
        "      '0'\n"
        "      '101600.0')\n"
        "    Version = '10.02'\n"
        "  end\n"
        "end\n");
    TrpCustomReport* r = ReportOf(form.get());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->StoredColumnPositions()->Strings(1), "101600.0");
    EXPECT_EQ(r->ColumnPosition(1), 101600);
    FormatSettings = saved;
}

TEST_F(ModelStream, AnOldReportIsConvertedOnceLoaded) {
    int converted = 0;
    TrpBand* seen = nullptr;
    bool loadedWhenConverted = false;
    TrpBand::SetLegacyCalcConverter([&](TrpBand* band) {
        ++converted;
        seen = band;
        loadedWhenConverted = !band->ComponentState().Contains(csLoading) &&
                              !band->Objects(0)->ComponentState().Contains(csLoading) &&
                              !band->Report()->ComponentState().Contains(csLoading);
    });
    auto form = ReadText(
        "object Form: TTestForm\n"
        "  object Report1: TrpCustomReport\n"
        "    RulerUnits = utMillimeters\n"
        "    Device = dvPrinter\n"
        "    ColumnPositions.Strings = (\n"
        "      '12.5')\n"
        "    Version = '2.0'\n"
        "    object Detail: TrpDetailBand\n"
        "      mmHeight = 50\n"
        "      OnPrint = DetailPrint\n"
        "      Left = 3\n"
        "      object Label1: TrpTestLabel\n"
        "        Alignment = taCenter\n"
        "        ShiftWithParent = True\n"
        "        DataSource = Clientes\n"
        "      end\n"
        "    end\n"
        "  end\n"
        "end\n");
    TrpCustomReport* r = ReportOf(form.get());
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(r->Converted());
    EXPECT_TRUE(r->ConvertedFromPre40());
    EXPECT_EQ(r->Version(), "10.02");
    EXPECT_EQ(r->Units(), utMillimeters);
    EXPECT_EQ(r->DeviceType(), "Printer");
    EXPECT_FALSE(r->AutoStop()) << "reports before 4.1 did not stop by themselves";
    EXPECT_EQ(r->PassSetting(), psTwoPass);
    EXPECT_EQ(r->ColumnPosition(0), 12500) << "12.5 mm, read with a point under a comma locale";
    TrpBand* detail = r->GetBand(btDetail);
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(detail->mmHeight(), 13229) << "50 screen pixels";
    EXPECT_EQ(detail->LegacyPrintHandlerName(), "DetailPrint");
    ASSERT_EQ(detail->ObjectCount(), 1);
    TrpComponent* label = detail->Objects(0);
    EXPECT_EQ(label->TextAlignment(), taCentered);
    EXPECT_EQ(label->Anchors(), (TrpAnchors{atLeft, atBottom}));
    EXPECT_EQ(label->DataPipelineName(), "Clientes");
    // The step that needs the later classes ran once, after loading.
    EXPECT_EQ(converted, 1);
    EXPECT_EQ(seen, detail);
    EXPECT_TRUE(loadedWhenConverted);
    EXPECT_FALSE(detail->LegacyCalcConversionPending());
}

TEST_F(ModelStream, DamagedStreamsAreRefusedOrReadIntoSoundReports) {
    TTestForm form(nullptr);
    auto* report = new TrpCustomReport(&form);
    report->SetName("Report1");
    report->SetColumns(2);
    report->CreateDefaultBands();
    auto* group = new TrpGroup(&form);
    group->SetReport(report);
    group->SetBreakName("Cliente");
    for (TrpBand* band : {report->GetBand(btDetail), static_cast<TrpBand*>(group->HeaderBand())}) {
        auto* label = new TrpTestLabel(&form);
        label->SetBand(band);
        label->SetCaption("Cliente");
    }
    TMemoryStream stream;
    WriteComponent(stream, &form);
    const std::string good = stream.DataBytes();

    std::mt19937 random(5);
    int read = 0;
    for (int round = 0; round < 20000; ++round) {
        const std::string bytes = testsupport::MutateBytes(good, random);
        TMemoryStream damaged;
        damaged.WriteBytes(bytes);
        damaged.Seek(0, soBeginning);
        TTestForm copy(nullptr);
        try {
            ReadComponent(damaged, &copy);
            ++read;
        } catch (const Exception&) {
            continue;
        }
        // Whatever was read hangs together: every band's objects point back at it.
        TrpCustomReport* r = ReportOf(&copy);
        if (r == nullptr) continue;
        ASSERT_GE(r->Columns(), 1);
        for (int b = 0; b < r->BandCount(); ++b) {
            TrpBand* band = r->Bands(b);
            ASSERT_EQ(band->Report(), r);
            for (int i = 0; i < band->ObjectCount(); ++i) ASSERT_EQ(band->Objects(i)->Band(), band);
        }
    }
    EXPECT_GT(read, 0) << "some damage leaves a readable stream";
}

TEST_F(ModelStream, BetaBuildVersionsCountAsBeforeFour) {
    auto late = ReadText(
        "object Form: TTestForm\n"
        "  object Report1: TrpCustomReport\n"
        "    Version = '10.02 Beta Build 8'\n"
        "  end\n"
        "end\n");
    EXPECT_TRUE(ReportOf(late.get())->ConvertedFromPre40());
    EXPECT_TRUE(ReportOf(late.get())->Converted());
    EXPECT_EQ(ReportOf(late.get())->VersionNo(), 10020);
}

}  // namespace
}  // namespace reporttest

TClass reporttest::TrpTestLabel::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpTestLabel>("TrpTestLabel", TrpComponent::StaticClassType())
                                       .String("Caption", &TrpTestLabel::Caption, &TrpTestLabel::SetCaption)
                                       .Set("Anchors", rpAnchorsTypeInfo(), &TrpTestLabel::Anchors,
                                            &TrpTestLabel::SetAnchors, 3)
                                       .Build();
    return &info;
}
