// The option objects a report stores with its layout: their defaults, the
// rules that tie one value to another, Assign and Clear, and that a layout
// written and read back keeps every published value.
#include <memory>

#include "report/rpEnumRegistry.h"
#include "report/rpExcept.h"
#include "report/rpSettings.h"
#include "tests/report/ReportTestSupport.h"

namespace {

// A component publishing every settings object as a nested property, as a
// report does; it counts the outline's change notices.
class SettingsHost : public TComponent, public IrpOutlineSettingsOwner {
public:
    FAT_CLASS(SettingsHost)
    explicit SettingsHost(TComponent* AOwner) : TComponent(AOwner), outline_(this) {}

    TrpEmailSettings* Email() const { return &email_; }
    void SetEmail(TrpEmailSettings* Value) { email_.Assign(Value); }
    TrpPreviewFormSettings* Preview() const { return &preview_; }
    void SetPreview(TrpPreviewFormSettings* Value) { preview_.Assign(Value); }
    TrpTextSearchSettings* Search() const { return &search_; }
    void SetSearch(TrpTextSearchSettings* Value) { search_.Assign(Value); }
    TrpBackgroundPrintSettings* Background() const { return &background_; }
    void SetBackground(TrpBackgroundPrintSettings* Value) { background_.Assign(Value); }
    TrpPDFSettings* PDF() const { return &pdf_; }
    void SetPDF(TrpPDFSettings* Value) { pdf_.Assign(Value); }
    TrpOutlineReportSettings* Outline() const { return &outline_; }
    void SetOutline(TrpOutlineReportSettings* Value) { outline_.Assign(Value); }

    void OutlineSettingsChanged(TrpOutlineSettings* Settings) override {
        EXPECT_EQ(Settings, &outline_);
        ++outlineChanges;
    }
    int outlineChanges = 0;

private:
    mutable TrpEmailSettings email_;
    mutable TrpPreviewFormSettings preview_;
    mutable TrpTextSearchSettings search_;
    mutable TrpBackgroundPrintSettings background_;
    mutable TrpPDFSettings pdf_;
    mutable TrpOutlineReportSettings outline_;
};

TClass SettingsHost::StaticClassType() {
    using H = SettingsHost;
    static const TClassInfo info =
        TClassBuilder<H>("SettingsHost", TComponent::StaticClassType())
            .Object("BackgroundPrintSettings", TrpBackgroundPrintSettings::StaticClassType(), &H::Background,
                    &H::SetBackground)
            .Object("EmailSettings", TrpEmailSettings::StaticClassType(), &H::Email, &H::SetEmail)
            .Object("OutlineSettings", TrpOutlineReportSettings::StaticClassType(), &H::Outline, &H::SetOutline)
            .Object("PDFSettings", TrpPDFSettings::StaticClassType(), &H::PDF, &H::SetPDF)
            .Object("PreviewFormSettings", TrpPreviewFormSettings::StaticClassType(), &H::Preview, &H::SetPreview)
            .Object("TextSearchSettings", TrpTextSearchSettings::StaticClassType(), &H::Search, &H::SetSearch)
            .Build();
    return &info;
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { RegisterClass(SettingsHost::StaticClassType()); }
    void TearDown() override { UnRegisterClass(SettingsHost::StaticClassType()); }

    static std::string AsText(TComponent* Component) { return reporttest::StoredText(Component); }
    static std::unique_ptr<SettingsHost> ReadBack(TComponent* Component) {
        return std::unique_ptr<SettingsHost>(
            dynamic_cast<SettingsHost*>(reporttest::ReadStoredText(AsText(Component), nullptr)));
    }
};

TEST_F(SettingsTest, ZoomPercentageIsKeptBetween25And250AndMakesTheZoomAPercentage) {
    struct Case {
        int set;
        int stored;
    };
    const Case cases[] = {{10, 25}, {400, 250}, {25, 25}, {250, 250}, {24, 25}, {251, 250}, {-3, 25}, {120, 120}};
    for (const Case& c : cases) {
        TrpPreviewFormSettings s;
        int changes = 0;
        s.OnChange = [&](TObject* Sender) {
            EXPECT_EQ(Sender, &s);
            ++changes;
        };
        s.SetZoomPercentage(c.set);
        EXPECT_EQ(s.ZoomPercentage(), c.stored) << c.set;
        EXPECT_EQ(s.ZoomSetting(), zsPercentage) << c.set;
        EXPECT_EQ(changes, 2) << "one notice for the zoom kind, one for the percentage";
    }
}

TEST_F(SettingsTest, PreviewSettersAlwaysNotifyButAssignStaysQuiet) {
    TrpPreviewFormSettings s;
    int changes = 0;
    s.OnChange = [&](TObject*) { ++changes; };
    s.SetWindowState(rpwsMaximized);
    s.SetZoomSetting(zsPageWidth);
    s.SetZoomSetting(zsPageWidth);
    EXPECT_EQ(changes, 3) << "an unchanged value is announced as well";

    TrpPreviewFormSettings source;
    source.SetWindowState(rpwsMinimized);
    source.SetZoomPercentage(75);
    changes = 0;
    s.Assign(&source);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(s.WindowState(), rpwsMinimized);
    EXPECT_EQ(s.ZoomSetting(), zsPercentage);
    EXPECT_EQ(s.ZoomPercentage(), 75);
}

TEST_F(SettingsTest, DefaultsOfNewObjects) {
    TrpEmailSettings email;
    EXPECT_EQ(email.ReportFormat(), "PDF");
    EXPECT_FALSE(email.Enabled());
    EXPECT_TRUE(email.PreviewInEmailClient());
    EXPECT_FALSE(email.ShowEmailDialog());
    EXPECT_TRUE(email.DeleteFile());
    EXPECT_EQ(email.Recipients()->Count(), 0);

    TrpPreviewFormSettings preview;
    EXPECT_EQ(preview.WindowState(), rpwsNormal);
    EXPECT_EQ(preview.ZoomSetting(), zsWholePage);
    EXPECT_EQ(preview.ZoomPercentage(), 100);

    TrpTextSearchSettings search;
    EXPECT_EQ(search.DefaultString(), "<FindText>");
    EXPECT_TRUE(search.Enabled());
    EXPECT_FALSE(search.Visible());
    EXPECT_FALSE(search.CaseSensitive());

    TrpPDFSettings pdf;
    EXPECT_EQ(pdf.CompressionLevel(), TrpCompressionLevel::clDefault);
    EXPECT_FALSE(pdf.OpenPDFFile());
    EXPECT_TRUE(pdf.ScaleImages());
    EXPECT_TRUE(pdf.CacheImages());

    TrpOutlineReportSettings outline;
    EXPECT_TRUE(outline.CreateNode());
    EXPECT_TRUE(outline.CreatePageNodes());
    EXPECT_TRUE(outline.Enabled());
    EXPECT_TRUE(outline.Visible());
}

TEST_F(SettingsTest, ClearingEmailSettingsShowsTheDialogAndStopsThePreviewUnlikeANewObject) {
    TrpEmailSettings email;
    email.SetReportFormat("TXT");
    email.Recipients()->Add("compras@exemplo.com.br");
    email.Attachments()->Add("/tmp/nota.xml");
    email.Body()->Add("Segue a nota.");
    email.SetSubject("Nota 12");
    email.SetPassword("segredo");
    email.SetEnabled(true);
    email.SetDeleteFile(false);
    email.Clear();
    EXPECT_EQ(email.ReportFormat(), "PDF");
    EXPECT_EQ(email.Recipients()->Count(), 0);
    EXPECT_EQ(email.Attachments()->Count(), 0);
    EXPECT_EQ(email.Body()->Count(), 0);
    EXPECT_EQ(email.Subject(), "");
    EXPECT_EQ(email.Password(), "");
    EXPECT_FALSE(email.Enabled());
    EXPECT_TRUE(email.DeleteFile());
    EXPECT_TRUE(email.ShowEmailDialog()) << "a new object starts with False";
    EXPECT_FALSE(email.PreviewInEmailClient()) << "a new object starts with True";
}

TEST_F(SettingsTest, EmailAssignCopiesTheHiddenValuesAndNotTheLists) {
    TrpEmailSettings source;
    source.Attachments()->Add("/tmp/a.pdf");
    source.SetDeleteFile(false);
    source.CarbonCopy()->Add("fiscal@exemplo.com.br");
    source.SetFromName("Loja");
    TrpEmailSettings copy;
    copy.Assign(&source);
    EXPECT_EQ(copy.Attachments()->Text(), source.Attachments()->Text());
    EXPECT_FALSE(copy.DeleteFile());
    EXPECT_EQ(copy.FromName(), "Loja");
    source.CarbonCopy()->Add("outro@exemplo.com.br");
    EXPECT_EQ(copy.CarbonCopy()->Count(), 1) << "the list is copied, not shared";
    copy.SetRecipients(nullptr);
    EXPECT_EQ(copy.Recipients()->Count(), 0);
}

TEST_F(SettingsTest, AValueThatNeedsAnotherStaysOffWithoutIt) {
    // Background printing: Active only while Enabled.
    TrpBackgroundPrintSettings bg;
    bg.SetActive(true);
    EXPECT_FALSE(bg.Active());
    bg.SetEnabled(true);
    EXPECT_FALSE(bg.Active()) << "enabling later does not switch it on";
    bg.SetActive(true);
    EXPECT_TRUE(bg.Active());

    TrpTextSearchSettings search;
    search.SetEnabled(false);
    search.SetVisible(true);
    EXPECT_FALSE(search.Visible());
    search.SetEnabled(true);
    search.SetVisible(true);
    EXPECT_TRUE(search.Visible());

    TrpOutlineReportSettings outline;
    outline.SetEnabled(false);
    EXPECT_FALSE(outline.Visible()) << "clearing Enabled hides the outline";
    outline.SetVisible(true);
    EXPECT_FALSE(outline.Visible());
    outline.SetEnabled(true);
    EXPECT_FALSE(outline.Visible());
}

TEST_F(SettingsTest, PdfAssignLeavesImageCachingAsItIs) {
    TrpPDFSettings source;
    source.SetAuthor("Financeiro");
    source.SetCompressionLevel(TrpCompressionLevel::clMax);
    source.SetCacheImages(false);
    TrpPDFSettings copy;
    copy.Assign(&source);
    EXPECT_EQ(copy.Author(), "Financeiro");
    EXPECT_EQ(copy.CompressionLevel(), TrpCompressionLevel::clMax);
    EXPECT_TRUE(copy.CacheImages());
}

TEST_F(SettingsTest, AssignFromAnotherClassIsRefused) {
    TrpPDFSettings pdf;
    TrpEmailSettings email;
    TrpBackgroundPrintSettings bg;
    TrpOutlineSettings groupOutline;
    TrpOutlineReportSettings reportOutline;
    EXPECT_THROW(pdf.Assign(&email), EConvertError);
    EXPECT_THROW(email.Assign(&bg), EConvertError);
    EXPECT_THROW(bg.Assign(nullptr), EConvertError);
    EXPECT_THROW(reportOutline.Assign(&groupOutline), EConvertError);
}

TEST_F(SettingsTest, TheSearchSettingsRefuseToLoseTheirNotificationObject) {
    TrpCommunicator survivor(nullptr);
    auto search = std::make_unique<TrpTextSearchSettings>();
    TrpCommunicator* walkie = search->WalkieTalkie();
    ASSERT_NE(walkie, nullptr);
    walkie->AddNotify(&survivor);
    try {
        walkie->Notify(walkie, rpopFreeing);
        FAIL() << "no error";
    } catch (const ESearchError& e) {
        EXPECT_EQ(e.Message(),
                  "TrpTextSearchSettings.WalkieTalkieNotifyEvent: Don't free the embedded walkie talkie!");
    }
    // The refusal leaves it where it was: still listening.
    EXPECT_EQ(walkie->NotifyCount(), 1);
    {
        TrpCommunicator watched(nullptr);
        walkie->AddNotify(&watched);
    }  // a watched object that goes: forgotten quietly
    EXPECT_EQ(walkie->NotifyCount(), 1);
    // Destroying the settings takes the walkie talkie along and unlinks it;
    // the survivor, destroyed afterwards, holds no trace of it.
    search.reset();
    EXPECT_EQ(survivor.NotifyCount(), 0);
}

TEST_F(SettingsTest, OutlineChangesReachTheOwnerExceptWhileItIsRead) {
    SettingsHost host(nullptr);
    host.Outline()->SetCreateNode(false);
    host.Outline()->SetCreatePageNodes(false);
    host.Outline()->SetVisible(false);
    EXPECT_EQ(host.outlineChanges, 3);
    TrpOutlineReportSettings other;
    host.Outline()->Assign(&other);
    EXPECT_EQ(host.outlineChanges, 4);
    EXPECT_TRUE(host.Outline()->CreateNode());

    for (TComponentStateItem state : {csLoading, csReading}) {
        host.SetComponentStateFlag(state, true);
        host.Outline()->SetEnabled(false);
        host.Outline()->Assign(&other);
        host.SetComponentStateFlag(state, false);
    }
    EXPECT_EQ(host.outlineChanges, 4);
}

TEST_F(SettingsTest, NewObjectsStoreOnlyWhatHasNoDefault) {
    SettingsHost host(nullptr);
    host.SetName("Host");
    const std::string text = AsText(&host);
    for (const char* line : {"TextSearchSettings.DefaultString = '<FindText>'", "TextSearchSettings.Enabled = True",
                             "OutlineSettings.CreateNode = True", "OutlineSettings.Visible = True"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    for (const char* name : {"EmailSettings.Enabled", "EmailSettings.PreviewInEmailClient", "PDFSettings.ScaleImages",
                             "PDFSettings.CompressionLevel", "PreviewFormSettings.", "BackgroundPrintSettings.",
                             "CacheImages"})
        EXPECT_EQ(text.find(name), std::string::npos) << name << "\n" << text;
}

TEST_F(SettingsTest, EveryPublishedValueSurvivesWritingAndReading) {
    SettingsHost host(nullptr);
    host.SetName("Host");
    TrpEmailSettings* e = host.Email();
    e->SetReportFormat("RTF");
    e->BlindCarbonCopy()->Add("oculto@exemplo.com.br");
    e->Body()->Add("Prezado cliente,");
    e->Body()->Add("segue o relatório de vendas.");
    e->CarbonCopy()->Add("copia@exemplo.com.br");
    e->Recipients()->Add("cliente@exemplo.com.br");
    e->SetEnabled(true);
    e->SetPreviewInEmailClient(false);
    e->SetShowEmailDialog(true);
    e->SetFileName("vendas.pdf");
    e->SetFromAddress("loja@exemplo.com.br");
    e->SetFromName("Loja Ação");
    e->SetHostAddress("smtp.exemplo.com.br");
    e->SetPassword("x1");
    e->SetReplyTo("resposta@exemplo.com.br");
    e->SetSubject("Vendas de março");
    e->SetUserName("loja");
    host.Preview()->SetWindowState(rpwsMaximized);
    host.Preview()->SetZoomPercentage(150);
    TrpTextSearchSettings* s = host.Search();
    s->SetCaseSensitive(true);
    s->SetDefaultString("nota");
    s->SetSearchFromCurrentPage(true);
    s->SetShowAll(true);
    s->SetVisible(true);
    s->SetWholeWord(true);
    host.Background()->SetEnabled(true);
    host.Background()->SetActive(true);
    TrpPDFSettings* p = host.PDF();
    p->SetAuthor("Financeiro");
    p->SetCompressionLevel(TrpCompressionLevel::clNone);
    p->SetKeywords("vendas, março");
    p->SetOpenPDFFile(true);
    p->SetScaleImages(false);
    p->SetSubject("Vendas");
    p->SetTitle("Relatório");
    host.Outline()->SetCreatePageNodes(false);

    const std::string text = AsText(&host);
    EXPECT_NE(text.find("PDFSettings.CompressionLevel = clNone"), std::string::npos) << text;
    EXPECT_NE(text.find("PreviewFormSettings.WindowState = wsMaximized"), std::string::npos) << text;
    EXPECT_NE(text.find("PreviewFormSettings.ZoomSetting = zsPercentage"), std::string::npos) << text;

    const std::unique_ptr<SettingsHost> back = ReadBack(&host);
    ASSERT_NE(back, nullptr);
    const TrpEmailSettings* b = back->Email();
    EXPECT_EQ(b->ReportFormat(), "RTF");
    EXPECT_EQ(b->BlindCarbonCopy()->Text(), e->BlindCarbonCopy()->Text());
    EXPECT_EQ(b->Body()->Text(), e->Body()->Text());
    EXPECT_EQ(b->CarbonCopy()->Text(), e->CarbonCopy()->Text());
    EXPECT_EQ(b->Recipients()->Text(), e->Recipients()->Text());
    EXPECT_TRUE(b->Enabled());
    EXPECT_FALSE(b->PreviewInEmailClient());
    EXPECT_TRUE(b->ShowEmailDialog());
    EXPECT_EQ(b->FileName(), "vendas.pdf");
    EXPECT_EQ(b->FromAddress(), "loja@exemplo.com.br");
    EXPECT_EQ(b->FromName(), "Loja Ação");
    EXPECT_EQ(b->HostAddress(), "smtp.exemplo.com.br");
    EXPECT_EQ(b->Password(), "x1");
    EXPECT_EQ(b->ReplyTo(), "resposta@exemplo.com.br");
    EXPECT_EQ(b->Subject(), "Vendas de março");
    EXPECT_EQ(b->UserName(), "loja");
    EXPECT_EQ(back->Preview()->WindowState(), rpwsMaximized);
    EXPECT_EQ(back->Preview()->ZoomSetting(), zsPercentage);
    EXPECT_EQ(back->Preview()->ZoomPercentage(), 150);
    const TrpTextSearchSettings* bs = back->Search();
    EXPECT_TRUE(bs->CaseSensitive());
    EXPECT_EQ(bs->DefaultString(), "nota");
    EXPECT_TRUE(bs->Enabled());
    EXPECT_TRUE(bs->SearchFromCurrentPage());
    EXPECT_TRUE(bs->ShowAll());
    EXPECT_TRUE(bs->Visible());
    EXPECT_TRUE(bs->WholeWord());
    EXPECT_TRUE(back->Background()->Enabled());
    EXPECT_TRUE(back->Background()->Active()) << "Enabled is read before Active";
    const TrpPDFSettings* bp = back->PDF();
    EXPECT_EQ(bp->Author(), "Financeiro");
    EXPECT_EQ(bp->CompressionLevel(), TrpCompressionLevel::clNone);
    EXPECT_EQ(bp->Keywords(), "vendas, março");
    EXPECT_TRUE(bp->OpenPDFFile());
    EXPECT_FALSE(bp->ScaleImages());
    EXPECT_EQ(bp->Subject(), "Vendas");
    EXPECT_EQ(bp->Title(), "Relatório");
    EXPECT_FALSE(back->Outline()->CreatePageNodes());
    EXPECT_TRUE(back->Outline()->Visible());
    EXPECT_EQ(back->outlineChanges, 0) << "values read from a stream are no changes";
}

TEST_F(SettingsTest, TheClassesAndTheirEnumerationsAreRegistered) {
    for (const char* name : {"TrpEmailSettings", "TrpPreviewFormSettings", "TrpTextSearchSettings",
                             "TrpBackgroundPrintSettings", "TrpPDFSettings", "TrpOutlineSettings",
                             "TrpOutlineReportSettings"})
        EXPECT_NE(FindClass(name), nullptr) << name;
    const TTypeInfo* zoom = EnumRegistry().Find("TrpZoomSettingType");
    ASSERT_NE(zoom, nullptr);
    EXPECT_EQ(GetEnumName(zoom, 3), "zsPercentage");
    const TTypeInfo* window = EnumRegistry().Find("TWindowState");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetEnumName(window, rpwsMinimized), "wsMinimized");
    EXPECT_EQ(GetEnumName(window, rpwsMaximized), "wsMaximized");
}

}  // namespace
