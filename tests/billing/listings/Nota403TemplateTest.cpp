// The issued-invoices layout as another implementation of the component
// stream writes it (tests/data/report/templates/nota403.pas): ours loads
// the binary and the text forms, writes the binary again byte for byte and
// the text as it came, and the loaded layout prints as the one built in code.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "billing/listings/InvoiceListing.h"
#include "billing/listings/ListingFormats.h"
#include "billing/listings/ListingReport.h"
#include "platform/rtl/Filer.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/SafeFile.h"
#include "report/rpMainReport.h"
#include "report/rpTemplate.h"
#include "report_output/rpTextControls.h"
#include "tests/billing/listings/ListingFixture.h"
#include "tests/support/report/ReportHarness.h"

namespace {

using namespace billing::listings;

std::string Saved(TrpCustomReport* R, TrpFormatType Format) {
    const TrpFormatType old = R->Template()->Format();
    R->Template()->SetFormat(Format);
    TMemoryStream s;
    R->Template()->SaveToStream(&s);
    R->Template()->SetFormat(old);
    return s.DataBytes();
}

void Load(ListingReport& Report, const std::string& Data) {
    TMemoryStream s;
    s.WriteBytes(Data);
    s.Seek(0, soBeginning);
    Report.LoadLayout(s);
}

std::string DataFile(const std::string& Name) {
    const auto path = std::filesystem::path(FAT_TEST_DATA_DIR) / "report/templates" / Name;
    return std::filesystem::exists(path) ? fileio::ReadFileBytes(path.string()) : std::string();
}

std::string ToText(const std::string& Binary) {
    TMemoryStream in, out;
    in.WriteBytes(Binary);
    in.Seek(0, soBeginning);
    ObjectBinaryToText(in, out);
    return out.DataBytes();
}

class Nota403Template : public listingtest::Database {
protected:
    void SetUp() override {
        listingtest::Database::SetUp();
        previous_ = FormatSettings;
        FormatSettings.DecimalSeparator = ',';
        FormatSettings.ThousandSeparator = '.';
        Invoice(1, 1234, "0000001", "2024-03-05", "Autorizada", 1500.25, 270.05, 12.5);
        Invoice(1, 1235, "0000002", "2024-03-05", "Cancelada", 999.99, 10, 1);
        Invoice(1, 1236, "0000010", "2024-03-06", "Autorizada", 100.10, 18.02, 0.75);
        Invoice(2, 7, "0000002", "2024-03-07", "Denegada", 42, 4.2, 0.2);
        bin = DataFile("nota403.bin");
        txt = DataFile("nota403.txt");
        ASSERT_FALSE(bin.empty() || txt.empty()) << "missing reference streams";
    }
    void TearDown() override {
        FormatSettings = previous_;
        listingtest::Database::TearDown();
    }

    // The pages of a run over the fixture's March, the layout from Layout
    // when one is given.
    std::string Pages(const std::string& Layout) {
        InvoiceListing listing(Listing::Nota403, db(), messages());
        Criteria c = Criteria::Initial(Day(2024, 3, 1));
        c.dataFinal = Day(2024, 3, 31);
        EXPECT_TRUE(listing.Gerar_Relatorio(c, "Admin"));
        TDataSource rows(nullptr);
        rows.SetDataSet(&listing.Query());
        ListingReport report(Listing::Nota403, &rows);
        if (!Layout.empty()) Load(report, Layout);
        report.SetHeader(listing.Header(), "Crédito");
        report.SetZebra(true);
        reporttest::CaptureDevice device;
        device.SetPublisher(report.Report()->Publisher());
        TrpPageRequest all;
        all.SetPageSetting(psAll);
        device.SetPageRequest(&all);
        device.RequestPage();
        // The printing time is the one thing two runs may print differently.
        static const std::regex printed(R"(\d{2,4}[-/]\d{2}[-/]\d{2,4} \d{2}:\d{2}:\d{2})");
        return std::regex_replace(reporttest::DumpPages(device.FinalPages()), printed, "<printed>");
    }

    TFormatSettings previous_;
    std::string bin, txt;
};

TEST_F(Nota403Template, TheOtherImplementationsStreamsLoadAndOursWriteThemByteForByte) {
    ListingReport built(Listing::Nota403, nullptr);
    EXPECT_EQ(Saved(built.Report(), ftBinary), bin);
    EXPECT_EQ(ToText(bin), txt);
    for (const std::string* theirs : {&bin, &txt}) {
        ListingReport loaded(Listing::Nota403, nullptr);
        Load(loaded, *theirs);
        EXPECT_EQ(Saved(loaded.Report(), ftBinary), bin);
        // Written as text, read back and written as binary again: the same.
        ListingReport again(Listing::Nota403, nullptr);
        Load(again, Saved(loaded.Report(), ftASCII));
        EXPECT_EQ(Saved(again.Report(), ftBinary), bin);
        auto* caption = dynamic_cast<TrpLabel*>(loaded.Find("rpLabel10"));
        ASSERT_NE(caption, nullptr);
        EXPECT_EQ(caption->Caption(), "* Não são consideradas na totalização");
    }
}

TEST_F(Nota403Template, TheLoadedLayoutPrintsAsTheOneBuiltInCode) {
    const std::string built = Pages("");
    ASSERT_NE(built.find("1.600,35"), std::string::npos) << built;
    ASSERT_NE(built.find("<printed>"), std::string::npos) << built;
    EXPECT_EQ(Pages(bin), built);
    EXPECT_EQ(Pages(txt), built);
}

}  // namespace
