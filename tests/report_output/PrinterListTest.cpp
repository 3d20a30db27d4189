// The printers the library sees: the pseudo entries, the spooler's queues
// mapped onto the platform's paper and tray codes, and the normalised lists.
#include <gtest/gtest.h>

#include "report/rpPrinterList.h"
#include "report/rpPrinterSetup.h"
#include "tests/report_output/PrinterTestSupport.h"

using printertest::FakeBackend;
using printertest::InstalledList;

namespace {

std::vector<std::string> Texts(const TStrings& L) {
    std::vector<std::string> out;
    for (int i = 0; i < L.Count(); ++i) out.push_back(L[i]);
    return out;
}

TEST(PaperLists, MissingNamesComeFromTheTableFromTheSizeOrFromTheCode) {
    struct Case {
        int Code;
        bool Sized;
        std::string Name;
    };
    for (const Case& c : {Case{11, true, "A5 148 x 210 mm"}, Case{300, true, "123 x 45 mm"}}) {
        TrpPrinterCapabilities caps;
        caps.PaperNames.Add("Um");
        caps.PaperNames.Add("Dois");
        for (int code : {1, 9, c.Code}) caps.PaperCodes.Add(std::to_string(code));
        for (int w : {2159, 2100}) caps.PaperWidths.Add(std::to_string(w));
        for (int h : {2794, 2970}) caps.PaperHeights.Add(std::to_string(h));
        if (c.Sized) {
            caps.PaperWidths.Add("1234");
            caps.PaperHeights.Add("456");
        }
        rpNormalisePapers(caps);
        ASSERT_GE(caps.PaperNames.Count(), 3) << c.Code;
        EXPECT_EQ(caps.PaperNames[2], c.Name);
    }
}

TEST(PaperLists, AUserPaperBecomesCustomAndMovesLastAndEmptySizesGo) {
    TrpPrinterCapabilities caps;
    caps.AddPaper("Tamanho do usuário (User)", 300, 1000, 1000);
    caps.AddPaper("Vazio", 301, 0, 0);
    caps.AddPaper("A4 210 x 297 mm", 9, 2100, 2970);
    rpNormalisePapers(caps);
    EXPECT_EQ(Texts(caps.PaperNames), (std::vector<std::string>{"A4 210 x 297 mm", "Custom"}));
    EXPECT_EQ(Texts(caps.PaperCodes), (std::vector<std::string>{"9", "300"}));
    EXPECT_EQ(caps.PaperWidths.Count(), 2);
}

TEST(PaperLists, TheTableNamesNothingForCodes48And49) {
    EXPECT_EQ(PaperNameTable(48), "Unknown");
    EXPECT_EQ(PaperNameTable(49), "Unknown");
    EXPECT_EQ(PaperNameTable(29), " Envelope C3  324 x 458 mm");
    int w = -1, h = -1;
    PaperSizeForCode(48, w, h);
    EXPECT_EQ(w, -1) << "no size: the values stay";
    PaperSizeForCode(28, w, h);
    EXPECT_EQ(w, 1620);
    EXPECT_EQ(h, 2290);
}

TEST(PrinterList, WithoutQueuesTheDefaultIsTheScreenWithItsThirteenPapers) {
    FakeBackend none;
    InstalledList installed(&none);
    TrpPrinterList* list = installed.List();
    EXPECT_EQ(list->DefaultPrinterName(), "Screen");
    TStringList names;
    list->GetPrinterNames(&names);
    EXPECT_EQ(Texts(names), (std::vector<std::string>{"Screen", "Default"}));
    TrpPrinterInfo* info = list->GetPrinterInfo("Default");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->PrinterName(), "Screen");
    TrpPrinterCapabilities* caps = info->GetCapabilities();
    EXPECT_EQ(Texts(caps->PaperNames),
              (std::vector<std::string>{"Custom", "Letter 8 1/2 x 11 in", "Legal 8 12 x 14 in", "A3 297 x 420 mm",
                                        "A4 210 x 297 mm", "11 x 17 in", "US Std Fanfold 14 7/8 x 11 in",
                                        "German Std Fanfold 8 1/2 x 12 in", "Envelope #9 3 7/8 x 8 7/8",
                                        "Envelope #10 4 18 x 9 1/2", "Envelope #11 4 12 x 10 3/8",
                                        "Envelope #12 4 276 x 11", "Envelope #14 5 x 11 1/2"}));
    EXPECT_EQ(caps->PaperWidths[0], "0");
    EXPECT_EQ(caps->PaperWidths[4], "2100");
    EXPECT_EQ(Texts(caps->BinNames), (std::vector<std::string>{"Default"}));
    EXPECT_TRUE(none.CapabilityCalls.empty());
}

TEST(PrinterList, QueuesAreListedAfterThePseudoEntriesAndAskedOnlyWhenNeeded) {
    FakeBackend b;
    printertest::AddStandardQueues(b);
    b.Queues.push_back({"Laser", "rascunho", false, "ipp://10.0.0.5/ipp/print"});
    InstalledList installed(&b);
    TStringList names;
    installed.List()->GetPrinterNames(&names);
    EXPECT_EQ(Texts(names), (std::vector<std::string>{"Screen", "Default", "Laser", "Etiquetas", "Laser/rascunho"}));
    EXPECT_EQ(installed.List()->DefaultPrinterName(), "Laser");
    EXPECT_TRUE(b.CapabilityCalls.empty()) << "capabilities are fetched lazily";
    EXPECT_EQ(installed.List()->GetPrinterInfo("Laser/rascunho")->DeviceOnPort(), "ipp://10.0.0.5/ipp/print");
    EXPECT_EQ(installed.List()->GetPrinterInfo("laser on ipp://10.0.0.5/ipp/print")->PrinterName(), "Laser");
    EXPECT_EQ(installed.List()->GetPrinterInfo("Etiquetas on usb://Zebra/LP2844")->PrinterName(), "Etiquetas");
    EXPECT_EQ(installed.List()->GetPrinterInfo("Nenhuma")->PrinterName(), "Laser") << "unknown: the default";
}

TEST(PrinterList, ARefreshLeavesTheInfosSetupsHoldReadable) {
    FakeBackend b;
    printertest::AddStandardQueues(b);
    InstalledList installed(&b);
    TrpPrinterSetup setup;
    setup.SetPrinterName("Laser");
    TrpPrinterInfo* before = setup.PrinterInfo();
    installed.List()->Refresh();
    EXPECT_EQ(before->PrinterName(), "Laser");
    TStringList papers;
    setup.GetPaperNames(&papers);
    EXPECT_EQ(papers.Count(), 5);
    EXPECT_NE(installed.List()->GetPrinterInfo("Laser"), before) << "a fresh info for new lookups";
}

TEST(PrinterList, MediaAndSourcesMapOntoThePlatformCodes) {
    FakeBackend b;
    printertest::AddStandardQueues(b);
    InstalledList installed(&b);
    auto* laser = dynamic_cast<TrpQueuePrinterInfo*>(installed.List()->GetPrinterInfo("Laser"));
    ASSERT_NE(laser, nullptr);
    TrpPrinterCapabilities* caps = laser->GetCapabilities();
    EXPECT_EQ(Texts(caps->PaperCodes), (std::vector<std::string>{"9", "1", "43", "257", "256"}));
    EXPECT_EQ(Texts(caps->PaperNames), (std::vector<std::string>{"A4 210 x 297 mm", "Letter 8 1/2 x 11 in",
                                                                 "Japanese Postcard 100 x 148 mm", "100 x 150 mm",
                                                                 "Custom"}));
    EXPECT_EQ(caps->PaperWidths[1], "2159");
    EXPECT_EQ(Texts(caps->BinNames), (std::vector<std::string>{"Default", "auto", "tray-1", "tray-2", "envelope"}));
    EXPECT_EQ(Texts(caps->BinCodes), (std::vector<std::string>{"7", "7", "1", "2", "259"}));
    EXPECT_EQ(laser->DefaultBin(), 1);
    EXPECT_EQ(laser->MediaForCode(257)->Name, "om_small-photo_100x150mm");
    EXPECT_TRUE(caps->DriverCopies);
    EXPECT_EQ(b.CapabilityCalls, std::vector<std::string>{"Laser"}) << "once, then kept";
    laser->GetCapabilities();
    EXPECT_EQ(b.CapabilityCalls.size(), 1u);

    TrpPrinterCapabilities* labels = installed.List()->GetPrinterInfo("Etiquetas")->GetCapabilities();
    EXPECT_EQ(Texts(labels->PaperNames), std::vector<std::string>{"Custom"});
    EXPECT_EQ(Texts(labels->PaperCodes), std::vector<std::string>{"256"});
    EXPECT_EQ(Texts(labels->BinNames), std::vector<std::string>{"Default"});
    EXPECT_EQ(Texts(labels->BinCodes), std::vector<std::string>{"7"});
}

}  // namespace
