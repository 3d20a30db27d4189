// The publisher between the engine and its outputs: the order of the calls
// of a print job, the page cache, exclusive devices and the device registry.
#include <gtest/gtest.h>

#include <thread>

#include "platform/rtl/Strings.h"
#include "report/rpDevice.h"
#include "report/rpDrawCommand.h"
#include "report/rpPublisher.h"
#include "report/rpRTTI.h"
#include "tests/report/ReportTestSupport.h"

namespace {

using Trace = std::vector<std::string>;

// Writes every call it gets into a shared trace.
class TRecordingDevice : public TrpDevice {
public:
    TRecordingDevice(std::string Tag, Trace* Log, bool FinalOnly = true)
        : TrpDevice(nullptr), tag(std::move(Tag)), log(Log), finalOnly(FinalOnly) {
        OnPageRequest = [this](TObject*) { log->push_back(tag + ":Request"); };
    }
    FAT_CLASS_NAME(TRecordingDevice)

    void StartJob() override {
        log->push_back(tag + ":Start");
        TrpDevice::StartJob();
    }
    void EndJob() override {
        log->push_back(tag + ":End");
        TrpDevice::EndJob();
    }
    void CancelJob() override {
        log->push_back(tag + ":Cancel");
        TrpDevice::CancelJob();
    }
    bool FinalPagesOnly() const override { return finalOnly; }
    void ReceivePage(TrpPage* Page) override {
        TrpDevice::ReceivePage(Page);
        log->push_back(tag + ":Page " + std::to_string(Page->AbsolutePageNo()));
        if (ShouldOutput()) DrawPage(Page);
    }
    bool Draw(TrpDrawCommand* Command) override {
        log->push_back(tag + ":Draw " + static_cast<TrpDrawText*>(Command)->Text());
        return true;
    }

    std::string tag;
    Trace* log;
    bool finalOnly;
};

// Generates the pages of a run when the publisher asks for them.
class TFakeProducer : public TrpCommunicator {
public:
    TFakeProducer(TrpPublisher* Publisher, int Pages, Trace* Log)
        : TrpCommunicator(nullptr), publisher(Publisher), pages(Pages), log(Log) {
        EventSet().set(rpevPublisherPageRequest);
        EventSet().set(rpevPublisherPageReceived);
        Publisher->AddEventNotify(this);
    }
    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override {
        TrpCommunicator::EventNotify(Sender, EventNumber, Params);
        if (EventNumber == rpevPublisherPageReceived) {
            TrsValue v;
            Params->GetParamValue(Params->IndexOf("Page"), v);
            auto* page = dynamic_cast<TrpPage*>(std::get<TObject*>(v));
            log->push_back("Publisher:Page " + std::to_string(page->AbsolutePageNo()));
            return;
        }
        log->push_back("Producer:Generate");
        ++runs;
        for (int n = 1; n <= pages; ++n) {
            TrpPage page(nullptr);
            Make(page, n);
            publisher->ReceivePage(&page);
        }
    }
    void Make(TrpPage& Page, int No) const {
        Page.SetAbsolutePageNo(No);
        Page.SetAbsolutePageCount(pages);
        Page.SetPageNo(No);
        Page.SetPageCount(pages);
        Page.SetFirstPage(No == 1);
        Page.SetLastPage(No == pages);
        Page.SetFinal(final);
        auto* text = new TrpDrawText(nullptr);
        text->SetText("p" + std::to_string(No));
        text->SetPage(&Page);
    }

    TrpPublisher* publisher;
    int pages;
    Trace* log;
    int runs = 0;
    bool final = true;
};

TEST(Publisher, AFivePageJobReachesThreeDevicesInProtocolOrder) {
    Trace log;
    TrpPublisher publisher(nullptr);
    TFakeProducer producer(&publisher, 5, &log);
    TRecordingDevice a("A", &log), b("B", &log), c("C", &log);
    for (TRecordingDevice* d : {&a, &b, &c}) d->SetPublisher(&publisher);
    b.PageRequest()->SetPageSetting(psSinglePage);
    b.PageRequest()->SetPageRequested(2);

    a.RequestPage();

    Trace expected{"A:Start", "B:Start", "C:Start", "A:Request", "B:Request", "C:Request", "Producer:Generate"};
    for (int n = 1; n <= 5; ++n) {
        const std::string p = std::to_string(n);
        expected.push_back("A:Page " + p);
        expected.push_back("A:Draw p" + p);
        // B stops waiting once its single page is there.
        if (n <= 2) expected.push_back("B:Page " + p);
        if (n == 2) expected.push_back("B:Draw p2");
        expected.push_back("C:Page " + p);
        expected.push_back("C:Draw p" + p);
        expected.push_back("Publisher:Page " + p);
    }
    expected.insert(expected.end(), {"A:End", "B:End", "C:End"});
    EXPECT_EQ(log, expected);
    for (TRecordingDevice* d : {&a, &b, &c}) {
        EXPECT_FALSE(d->Busy());
        EXPECT_TRUE(d->Waiting()) << "ready for the next job";
    }
    EXPECT_FALSE(publisher.JobRunning());
    EXPECT_EQ(publisher.PageRequest()->PageSetting(), psAll) << "the combined request is reset";
}

// A caching publisher with one device that has asked for a run of 5 pages.
struct CachedRun {
    CachedRun() {
        publisher.SetCachePages(true);
        screen.SetPublisher(&publisher);
        screen.RequestPage();
    }
    Trace log;
    TrpPublisher publisher{nullptr};
    TFakeProducer producer{&publisher, 5, &log};
    TRecordingDevice screen{"S", &log};
};

TEST(Publisher, ACachedPageListIsServedInItsOrderAndCompletesAtItsLastEntry) {
    CachedRun run;
    auto& [log, publisher, producer, screen] = run;
    ASSERT_EQ(publisher.CachedPageCount(), 5);
    ASSERT_EQ(producer.runs, 1);

    log.clear();
    screen.PageRequest()->SetPageSetting(psPageList);
    screen.PageRequest()->PageList()->Add("5");
    screen.PageRequest()->PageList()->Add("3");
    screen.RequestPage();
    EXPECT_EQ(producer.runs, 1) << "served from the cache";
    EXPECT_EQ(log, (Trace{"S:Start", "S:Request", "S:Page 5", "S:Draw p5", "Publisher:Page 5", "S:Page 3", "S:Draw p3",
                          "Publisher:Page 3", "S:End"}));
}

TEST(Publisher, AWholeRunInTheCacheIsServedWithoutGenerating) {
    CachedRun run;
    auto& [log, publisher, producer, d] = run;
    d.RequestPage();
    EXPECT_EQ(producer.runs, 1);
    EXPECT_TRUE(publisher.LastPageKnown());
    EXPECT_EQ(publisher.LastPageNo(), 5);

    // A cache missing a page cannot serve everything and generates again.
    publisher.ClearPages();
    d.RequestPage();
    EXPECT_EQ(producer.runs, 2);
}

TEST(Publisher, ExclusiveDevicesTakeTurnsAndFallBack) {
    Trace log;
    TrpPublisher publisher(nullptr);
    TFakeProducer producer(&publisher, 1, &log);
    TRecordingDevice a("A", &log), b("B", &log);
    for (TRecordingDevice* d : {&a, &b}) d->SetExclusive(true);
    a.SetPublisher(&publisher);
    b.SetPublisher(&publisher);
    ASSERT_EQ(publisher.DeviceCount(), 1);
    EXPECT_EQ(publisher.Devices(0), &b);

    b.RequestPage();
    EXPECT_NE(std::find(log.begin(), log.end(), "B:Page 1"), log.end());
    EXPECT_EQ(std::find(log.begin(), log.end(), "A:Page 1"), log.end());

    log.clear();
    b.SetPublisher(nullptr);
    ASSERT_EQ(publisher.DeviceCount(), 1);
    EXPECT_EQ(publisher.Devices(0), &a);
    a.RequestPage();
    EXPECT_NE(std::find(log.begin(), log.end(), "A:Page 1"), log.end());

    // Exclusivity is fixed while connected.
    a.SetExclusive(false);
    EXPECT_TRUE(a.Exclusive());
}

TEST(Publisher, AFreedDeviceLeavesItsPublisherAndItsGroup) {
    Trace log;
    TrpPublisher publisher(nullptr);
    TRecordingDevice a("A", &log);
    a.SetExclusive(true);
    a.SetPublisher(&publisher);
    {
        TRecordingDevice b("B", &log);
        b.SetExclusive(true);
        b.SetPublisher(&publisher);
        EXPECT_EQ(publisher.Devices(0), &b);
    }
    ASSERT_EQ(publisher.DeviceCount(), 1);
    EXPECT_EQ(publisher.Devices(0), &a);
    {
        auto other = std::make_unique<TrpPublisher>(nullptr);
        a.SetPublisher(other.get());
    }
    EXPECT_EQ(a.Publisher(), nullptr) << "a freed publisher is forgotten";
    EXPECT_EQ(publisher.DeviceCount(), 0);
}

TEST(Publisher, PagesThatAreNotFinalOrOnlyCalculatedAreNotOutput) {
    Trace log;
    TrpPublisher publisher(nullptr);
    publisher.SetCachePages(true);
    TFakeProducer producer(&publisher, 1, &log);
    TRecordingDevice screen("S", &log, false), printer("P", &log);
    screen.SetPublisher(&publisher);
    printer.SetPublisher(&publisher);
    for (TRecordingDevice* d : {&screen, &printer}) d->StartJob();

    TrpPage draft(nullptr);
    producer.Make(draft, 1);
    draft.SetFinal(false);
    draft.SetLastPage(false);
    publisher.ReceivePage(&draft);
    EXPECT_NE(std::find(log.begin(), log.end(), "S:Draw p1"), log.end());
    EXPECT_EQ(std::find(log.begin(), log.end(), "P:Draw p1"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "P:Page 1"), log.end()) << "the page still reaches the printer";
    EXPECT_EQ(publisher.CachedPageCount(), 0) << "drafts are not cached";

    log.clear();
    TrpPage calc(nullptr);
    producer.Make(calc, 1);
    calc.SetCalculation(true);
    publisher.ReceivePage(&calc);
    EXPECT_EQ(log, (Trace{"S:Page 1", "P:Page 1", "Publisher:Page 1"}));
    EXPECT_EQ(publisher.CachedPageCount(), 0);
    EXPECT_TRUE(screen.Waiting() && printer.Waiting()) << "a calculation page completes nothing";
}

TEST(Publisher, InactiveDevicesAreLeftOut) {
    Trace log;
    TrpPublisher publisher(nullptr);
    TFakeProducer producer(&publisher, 2, &log);
    TRecordingDevice a("A", &log), off("X", &log);
    a.SetPublisher(&publisher);
    off.SetPublisher(&publisher);
    off.SetActive(false);
    a.RequestPage();
    for (const std::string& line : log) EXPECT_NE(line.rfind("X:", 0), 0u) << line;
    EXPECT_EQ(log.front(), "A:Start");
}

TEST(Publisher, CancelReachesTheWaitingDevices) {
    Trace log;
    TrpPublisher publisher(nullptr);
    TRecordingDevice a("A", &log);
    a.SetPublisher(&publisher);
    publisher.StartJob();
    EXPECT_TRUE(a.Busy());
    publisher.CancelJob();
    EXPECT_FALSE(a.Busy());
    EXPECT_TRUE(a.Cancelled());
    publisher.StartJob();
    EXPECT_FALSE(a.Cancelled()) << "a new job clears the cancel";
    publisher.CancelJob();
    publisher.ResetDevices();
    EXPECT_FALSE(a.Cancelled());
    EXPECT_EQ(log, (Trace{"A:Start", "A:Cancel", "A:Start", "A:Cancel"}));
}

TEST(Publisher, CachingALaterPageRaisesTheCountsOfEarlierOnes) {
    TrpPublisher publisher(nullptr);
    publisher.SetCachePages(true);
    TrpPage third(nullptr);
    third.SetAbsolutePageNo(3);
    third.SetAbsolutePageCount(3);
    third.SetPageNo(3);
    third.SetPageCount(3);
    third.SetFinal(true);
    auto* count = new TrpDrawCalc(nullptr);
    count->SetCalcType(ctPageCount);
    count->SetText("3");
    count->SetPage(&third);
    auto* fixed = new TrpDrawCalc(nullptr);
    fixed->SetCalcType(ctPageCount);
    publisher.ReceivePage(&third);

    TrpPage seventh(nullptr);
    seventh.SetAbsolutePageNo(7);
    seventh.SetAbsolutePageCount(7);
    seventh.SetPageNo(7);
    seventh.SetPageCount(7);
    seventh.SetFinal(true);
    fixed->SetText("set by hand");
    fixed->SetPage(&seventh);
    publisher.ReceivePage(&seventh);

    TrpPage* cached = publisher.FindCachedPage(3);
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(cached->AbsolutePageCount(), 7);
    EXPECT_EQ(cached->PageCount(), 7);
    EXPECT_EQ(static_cast<TrpDrawText*>(cached->DrawCommands(0))->Text(), "7");
    // The newest page's counts did not change: its texts are left alone.
    EXPECT_EQ(static_cast<TrpDrawText*>(publisher.FindCachedPage(7)->DrawCommands(0))->Text(), "set by hand");
    EXPECT_EQ(third.PageCount(), 3) << "the generated page itself is not touched";

    // Another numbering group keeps its own page count.
    TrpPage other(nullptr);
    other.SetAbsolutePageNo(8);
    other.SetAbsolutePageCount(8);
    other.SetPageCount(1);
    other.SetControlGroupBreakNo(1);
    other.SetFinal(true);
    publisher.ReceivePage(&other);
    EXPECT_EQ(cached->AbsolutePageCount(), 8);
    EXPECT_EQ(cached->PageCount(), 7);
}

TEST(Publisher, ASecondCopyOfAPageReplacesTheFirst) {
    TrpPublisher publisher(nullptr);
    publisher.SetCachePages(true);
    TrpPage page(nullptr);
    page.SetAbsolutePageNo(2);
    page.SetFinal(true);
    page.SetDocumentName("first");
    publisher.ReceivePage(&page);
    page.SetDocumentName("second");
    publisher.ReceivePage(&page);
    ASSERT_EQ(publisher.CachedPageCount(), 1);
    EXPECT_EQ(publisher.FindCachedPage(2)->DocumentName(), "second");
    EXPECT_EQ(publisher.FindCachedPage(3), nullptr);
    publisher.Reset();
    EXPECT_EQ(publisher.CachedPageCount(), 0);
}

TEST(Publisher, StatusAndScreenOnly) {
    Trace log;
    TrpPublisher publisher(nullptr);
    EXPECT_TRUE(publisher.ScreenDevicesOnly());
    TRecordingDevice a("A", &log), b("B", &log);
    a.SetPublisher(&publisher);
    b.SetPublisher(&publisher);
    EXPECT_FALSE(publisher.ScreenDevicesOnly());
    EXPECT_EQ(publisher.GetDeviceStatus(), "");
    b.SetStatus("Imprimindo");
    EXPECT_EQ(publisher.GetDeviceStatus(), "Imprimindo");
    publisher.SetDeviceStatus("Pronto");
    EXPECT_EQ(a.Status(), "Pronto");

    TRecordingDevice alone("Z", &log);
    alone.RequestPage();
    EXPECT_TRUE(log.empty()) << "no publisher, no request";
}

TEST(Devices, CommandsBeyondThePaperAreNotDrawn) {
    Trace log;
    TRecordingDevice d("D", &log);
    TrpPage page(nullptr);
    for (int left : {0, page.PageDef()->mmWidth(), page.PageDef()->mmWidth() + 1}) {
        auto* t = new TrpDrawText(nullptr);
        t->SetLeft(left);
        t->SetText(std::to_string(left));
        t->SetPage(&page);
    }
    auto* low = new TrpDrawText(nullptr);
    low->SetTop(page.PageDef()->mmHeight() + 1);
    low->SetText("low");
    low->SetPage(&page);
    d.DrawPage(&page);
    EXPECT_EQ(log, (Trace{"D:Draw 0", "D:Draw " + std::to_string(page.PageDef()->mmWidth())}));
}

class TOtherDevice : public TrpDevice {
public:
    explicit TOtherDevice(TComponent* AOwner) : TrpDevice(AOwner) {}
    FAT_CLASS(TOtherDevice)
};

TClass TOtherDevice::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TOtherDevice>("TOtherDevice", TrpDevice::StaticClassType()).Build();
    return &info;
}

TEST(Devices, TheRegistryKeepsOrderAndFindsNamesWithoutCase) {
    RegisterDeviceClass(TrpRasterDevice::StaticClassType(), "Raster");
    RegisterDeviceClass(TOtherDevice::StaticClassType());
    RegisterDeviceClass(TrpRasterDevice::StaticClassType(), "Again");
    RegisterDeviceClass(nullptr);
    TStringList names;
    GetDeviceClasses(&names);
    EXPECT_EQ(names.CommaText(), "Raster,TOtherDevice");
    EXPECT_EQ(DeviceClassOf(&names, 1), TOtherDevice::StaticClassType());
    EXPECT_EQ(DeviceClassOf(&names, 2), nullptr);
    EXPECT_EQ(GetDeviceClassForName("raster"), TrpRasterDevice::StaticClassType());
    EXPECT_EQ(GetClass("TOtherDevice"), TOtherDevice::StaticClassType()) << "registered for streaming too";
    UnregisterDeviceClass(TOtherDevice::StaticClassType());
    UnregisterDeviceClass(TrpRasterDevice::StaticClassType());
    EXPECT_EQ(GetDeviceClassForName("TOtherDevice"), nullptr);
    EXPECT_EQ(GetClass("TOtherDevice"), nullptr);
    TOtherDevice d(nullptr);
    EXPECT_EQ(d.DeviceName(), "TOtherDevice");
}

}  // namespace

namespace {

TEST(Publisher, CancellingEndsTheDevicesThatAlreadyHaveTheirPages) {
    Trace log;
    TrpPublisher publisher(nullptr);
    TFakeProducer producer(&publisher, 3, &log);
    producer.pages = 0;  // the run stays open
    TRecordingDevice all("A", &log), single("S", &log);
    all.SetPublisher(&publisher);
    single.SetPublisher(&publisher);
    single.PageRequest()->SetPageSetting(psFirstPage);
    all.RequestPage();
    TrpPage first(nullptr);
    producer.pages = 3;
    producer.Make(first, 1);
    publisher.ReceivePage(&first);
    ASSERT_FALSE(single.Waiting());
    ASSERT_TRUE(single.Busy());

    log.clear();
    publisher.CancelJob();
    EXPECT_EQ(log, (Trace{"A:Cancel", "S:End"}));
    EXPECT_FALSE(all.Busy());
    EXPECT_FALSE(single.Busy()) << "no device stays busy";
    EXPECT_FALSE(single.Cancelled());
    publisher.StartJob();
    EXPECT_TRUE(single.Busy()) << "the next job starts it again";
}

}  // namespace

namespace {

// Asks the publisher again from inside a page dispatch.
class TEagerDevice : public TrpDevice {
public:
    TEagerDevice() : TrpDevice(nullptr) {}
    FAT_CLASS_NAME(TEagerDevice)
    void ReceivePage(TrpPage* Page) override {
        TrpDevice::ReceivePage(Page);
        pages.push_back(Page->AbsolutePageNo());
        if (Publisher() != nullptr) Publisher()->SetDeviceStatus("página " + std::to_string(pages.size()));
        if (Publisher() != nullptr) Publisher()->StartJob();
    }
    std::vector<int> pages;
};

TEST(Publisher, ADeviceMayCallBackFromInsideADispatch) {
    TrpPublisher publisher(nullptr);
    TEagerDevice device;
    device.SetPublisher(&publisher);
    TrpPage page(nullptr);
    page.SetAbsolutePageNo(1);
    publisher.ReceivePage(&page);
    EXPECT_EQ(device.pages, std::vector<int>{1});
    EXPECT_TRUE(device.Busy());
    EXPECT_EQ(device.Status(), "página 1");
}

TEST(Publisher, EachPageReachesEveryDeviceBeforeAnotherThreadsPage) {
    TrpPublisher publisher(nullptr);
    std::vector<std::unique_ptr<TEagerDevice>> devices;
    for (int i = 0; i < 3; ++i) {
        devices.push_back(std::make_unique<TEagerDevice>());
        devices.back()->SetPublisher(&publisher);
    }
    auto run = [&publisher](int First) {
        for (int n = First; n < First + 300; ++n) {
            TrpPage page(nullptr);
            page.SetAbsolutePageNo(n);
            publisher.ReceivePage(&page);
        }
    };
    std::thread a(run, 1000);
    std::thread b(run, 5000);
    a.join();
    b.join();
    ASSERT_EQ(devices[0]->pages.size(), 600u);
    for (const auto& d : devices) EXPECT_EQ(d->pages, devices[0]->pages);
}

}  // namespace
