// A report stores its option objects with its layout, converts them when an
// older layout is read, and tells a real beta stamp from a look-alike.
#include <memory>

#include "report/rpReport.h"
#include "tests/report/ReportTestSupport.h"

namespace {

using reporttest::StoredText;

std::unique_ptr<TrpCustomReport> ReadReport(const std::string& Text) {
    return std::unique_ptr<TrpCustomReport>(
        dynamic_cast<TrpCustomReport*>(reporttest::ReadStoredText(Text, nullptr)));
}

TEST(ProducerOptions, TheOptionObjectsAreStoredWithTheReport) {
    TrpCustomReport report(nullptr);
    report.SetName("Vendas");
    report.EmailSettings()->SetSubject("Vendas do mês");
    report.EmailSettings()->Recipients()->Add("gerente@exemplo.com.br");
    report.BackgroundPrintSettings()->SetEnabled(true);
    report.BackgroundPrintSettings()->SetActive(true);
    report.PDFSettings()->SetTitle("Vendas");
    report.PreviewFormSettings()->SetZoomPercentage(80);
    report.TextSearchSettings()->SetWholeWord(true);
    const std::string text = StoredText(&report);
    for (const char* line : {"EmailSettings.Subject = 'Vendas do m", "BackgroundPrintSettings.Active = True",
                             "PDFSettings.Title = 'Vendas'", "PreviewFormSettings.ZoomPercentage = 80",
                             "TextSearchSettings.WholeWord = True"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;

    const auto back = ReadReport(text);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->EmailSettings()->Subject(), "Vendas do mês");
    EXPECT_EQ(back->EmailSettings()->Recipients()->Count(), 1);
    EXPECT_TRUE(back->BackgroundPrintSettings()->Active());
    EXPECT_EQ(back->PDFSettings()->Title(), "Vendas");
    EXPECT_EQ(back->PreviewFormSettings()->ZoomPercentage(), 80);
    EXPECT_TRUE(back->TextSearchSettings()->WholeWord());

    // A writer copies into the report's own object.
    TrpPDFSettings pdf;
    pdf.SetAuthor("Contabilidade");
    report.SetPDFSettings(&pdf);
    EXPECT_NE(report.PDFSettings(), &pdf);
    EXPECT_EQ(report.PDFSettings()->Author(), "Contabilidade");
    report.SetPDFSettings(nullptr);
    EXPECT_EQ(report.PDFSettings()->Author(), "Contabilidade");
}

TEST(ProducerOptions, OlderLayoutsLoseTheTextSearch) {
    struct Case {
        const char* version;
        bool searchEnabled;
    };
    for (const Case& c : {Case{"7.0", false}, Case{"7.01", true}, Case{"10.02", true}}) {
        const auto report = ReadReport(std::string("object Vendas: TrpCustomReport\n  Version = '") + c.version +
                                       "'\nend\n");
        ASSERT_NE(report, nullptr);
        EXPECT_EQ(report->TextSearchSettings()->Enabled(), c.searchEnabled) << c.version;
    }
}

TEST(ProducerOptions, OnlyADigitAfterTheBetaStampMakesABeta) {
    struct Case {
        const char* version;
        bool pre40;
    };
    const Case cases[] = {
        {"10.02 Beta Build 8", true},  {"10.02 Beta Build 3", true}, {"10.02 Beta Build x", false},
        {"10.02 Beta Build", false},   {"10.02 Beta Build  9", false}, {"10.02", false},
    };
    for (const Case& c : cases) {
        const auto report =
            ReadReport(std::string("object Vendas: TrpCustomReport\n  Version = '") + c.version + "'\nend\n");
        ASSERT_NE(report, nullptr);
        EXPECT_EQ(report->ConvertedFromPre40(), c.pre40) << c.version;
        EXPECT_EQ(report->Converted(), c.pre40) << c.version;
        EXPECT_EQ(report->VersionNo(), 10020) << c.version;
    }
}

}  // namespace
