#pragma once
// What the generation tests stand on: a device that keeps a deep copy of
// every page it receives, a canonical text dump of a page compared with
// reviewed golden files, a recorder of the events report objects send, a
// text component, a pipeline over rows held in memory, and a report set up
// on A4 with 6350 margins at a fixed moment.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Format.h"
#include "platform/rtl/Variant.h"
#include "report/rpBandedReport.h"
#include "report/rpDevice.h"
#include "report/rpDrawCommand.h"
#include "memtable/mtMemTable.h"
#include "report/rpDBPipeline.h"
#include "report/rpPipeline.h"
#include "report/rpUtils.h"

namespace reporttest {

// One page as it reached the device, with who made each of its commands
// (the components may be gone by the time the page is looked at).
struct CapturedPage {
    std::unique_ptr<TrpPage> Page;
    // Per command: the band's and the component's user names.
    std::vector<std::pair<std::string, std::string>> Makers;
};

class CaptureDevice : public TrpDevice {
public:
    explicit CaptureDevice(TComponent* AOwner = nullptr);
    void ReceivePage(TrpPage* Page) override;
    bool FinalPagesOnly() const override { return false; }

    const std::vector<CapturedPage>& Pages() const { return pages_; }
    // The pages a printer would print: final, not calculation pages.
    std::vector<const CapturedPage*> FinalPages() const;

private:
    std::vector<CapturedPage> pages_;
};

// The canonical dump: the page's fields, then one line per command with
// its class, band, component, rectangle in thousandths of a millimetre,
// font, colour, alignment and text, a line's position, style, weight and
// pen, an image's key, flags and picture (class, size, bytes and their
// fingerprint).
std::string DumpPage(const CapturedPage& Page);
std::string DumpPages(const std::vector<const CapturedPage*>& Pages);

// Compares Text with tests/data/report/<Name>.txt; UPDATE_GOLDENS=1
// rewrites the file instead (to be reviewed before it is committed).
void ExpectGolden(const std::string& Name, const std::string& Text);

// Notes every event it hears: the engine's page number then, the sender and
// the event number.
class EventRecorder : public TrpCommunicator {
public:
    struct Entry {
        int Page;
        std::string Sender;
        int Event;
    };
    explicit EventRecorder(TrpCustomEngine* Engine) : TrpCommunicator(nullptr), engine_(Engine) {}
    ~EventRecorder() override;
    void Listen(TrpCommunicator* Sender, std::initializer_list<int> Events);
    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override;
    // Adds an entry of the test's own (a handler that ran).
    void Note(const std::string& Sender, int Event);
    const std::vector<Entry>& Entries() const { return entries_; }
    // "page:sender:event" per entry, one per line.
    std::string Trace() const;

private:
    TrpCustomEngine* engine_;
    std::vector<TrpCommunicator*> senders_;
    std::vector<Entry> entries_;
};

// A text on a band: its caption, or the value of its data field in the
// current record of its pipeline.
class TestText : public TrpComponent {
public:
    explicit TestText(TComponent* AOwner);
    bool IsDataAware() const override { return true; }
    bool HasFont() const override { return true; }
    std::string GetText() const override;
    void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) override;
};

// Rows of values in a memory table, walked through a dataset pipeline.
// Each field is text (of TextSize characters, a memo past what a string
// field holds) unless its first row's value is an integer.
class RowsTable {
public:
    RowsTable(std::vector<std::string> Fields, const std::vector<std::vector<Variant>>& Rows,
              const std::string& Name = "Rows", int TextSize = 60);
    ~RowsTable();
    RowsTable(const RowsTable&) = delete;
    RowsTable& operator=(const RowsTable&) = delete;

    TrpDBPipeline* Pipeline() const { return pipeline_.get(); }
    TmtMemTable* Table() const { return table_.get(); }

private:
    std::unique_ptr<TmtMemTable> table_;
    std::unique_ptr<TDataSource> source_;
    std::unique_ptr<TrpDBPipeline> pipeline_;
};

// A banded report (its own texts are Brazilian Portuguese) on A4 with 6350 margins, a
// capture device connected to its publisher, the Brazilian number and date
// settings and a fixed moment for its print date.
class ReportRig {
public:
    ReportRig();
    ~ReportRig();
    ReportRig(const ReportRig&) = delete;
    ReportRig& operator=(const ReportRig&) = delete;

    TrpBandedReport* Report() const { return report_; }
    CaptureDevice* Device() const { return device_.get(); }
    TComponent* Owner() const { return owner_.get(); }
    // A text on Band at (Left, Top) of Width × Height.
    TestText* AddText(TrpBand* Band, const std::string& Name, int32_t Left, int32_t Top, int32_t Width,
                      int32_t Height, const std::string& Caption = {});
    // Asks for every page (psAll) or for one page through the device.
    void Print();
    void PrintPage(int PageNo);

private:
    std::unique_ptr<TComponent> owner_;
    TrpBandedReport* report_;
    std::unique_ptr<CaptureDevice> device_;
    TrpClock previousClock_;
    TFormatSettings previousSettings_;
};

// 2026-03-14 09:30:00, the moment every rig prints at.
TDateTime RigMoment();

}  // namespace reporttest
