#pragma once
// TrpEngine: turns a banded report into pages. It files the report's bands
// into per-kind sections, walks them on every page, lets each band generate
// itself through its band engine, ends the page (the footer, the bands'
// end of section, the page-limit hook, the last page's bands, the stamp,
// the page sent) and repeats until the page request is served, the data
// ends, the page limit is reached or the run is stopped.
//
// Before a page is made for the first time, the engine, its groups, bands
// and objects save their state into the cache manager as that page's
// record; a page made again starts from its record and nothing else, so
// any page can be asked for alone, in any order. A two-pass report makes
// every page once as a calculation page to learn the page count, then
// serves the request from the saved states.
//
// A subreport drives its child report's engine one page at a time
// (StartChildRun, GenerateChildPage) and keeps the child's records itself,
// by the parent's page. A section subreport makes the following pages
// section pages: its paper, no page style, title, header or footer, the
// walk going on where it stood; it asks again when a page is restored.
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/rtl/DateUtils.h"
#include "report/rpBands.h"
#include "report/rpEngine.h"
#include "report/rpPage.h"
#include "report/rpPipeline.h"

class TrpBandEngine;
class TrpDetailBandEngine;
class TrpCacheManager;
class TrpGroup;

// Notifications the engine sends to its listeners.
enum : int {
    rpevFirstPageStarted = 13,
    rpevPageCountKnown = 14,
    rpevRecordTraversed = 35,
    rpevPageFinished = 90,
    rpevReportBeginning = 134,
    rpevPipelinesOpened = 135,
    rpevNoRoomForDynamicBand = 139,
    rpevPageBeforeCurrent = 141,
};

// The application's message pump, run after each component, band and page
// so that a stop request is seen. Headless it does nothing.
void rpSetMessagePump(std::function<void()> Pump);
void rpProcessMessages();
// A pump that runs Process at most once per Interval of Clock (days),
// so that generation does not spend its time in the event loop.
std::function<void()> rpThrottledPump(std::function<void()> Process, std::function<TDateTime()> Clock,
                                      TDateTime Interval);
// Lets the application's event loop run every 50 ms of the report clock
// while a report generates (nothing without an application object).
void rpInstallApplicationMessagePump();

class TrpEngine : public TrpCustomEngine {
public:
    // The sections, in walking order of the band lists.
    enum Section {
        secPageStyle = 0,
        secHeader,
        secTitle,
        secColumnHeader,
        secGroupHeaders,
        secDetail,
        secGroupFooters,
        secSummary,
        secColumnFooter,
        secFooter,
        secCount
    };

    explicit TrpEngine(TrpCustomReport* Report);
    ~TrpEngine() override;
    FAT_CLASS(TrpEngine)

    TrpEngine* AsGenerationEngine() final { return this; }

    // --- Pages ---
    // Generates what the request asks for. Pages already made are made
    // again from the state saved at their start; new ones follow the last
    // page made, those not asked for going out as calculation pages. A
    // two-pass report first runs to its end to learn the page count. A
    // request made while another is served is ignored.
    void ProcessPageRequest(TrpPageRequest* Request);
    void Reset() override;
    // 0: back to no run; else the page count as it stands.
    void InitPageCount(int Count);
    bool PageCountKnown() const { return pageCountKnown_; }
    // The number and count the current page goes out with, and its page
    // number texts print: a section's own, or a group's own where it
    // numbers its pages afresh, else the run's.
    int PageNo() const;
    int PageCount() const;
    // The highest page made in this run (its state and those before it are
    // kept for regeneration).
    int HighestPage() const { return highestPage_; }
    bool SecondPass() const { return secondPass_; }
    // The per-page state records of the engine, its bands, groups and
    // objects.
    TrpCacheManager* CacheManager() const { return cache_.get(); }

    // Size of the record SaveToCache writes.
    static constexpr int kCacheRecordSize = 68;
    void ResetCache(int Page) override;
    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;
    bool ReportComplete() const { return reportComplete_; }
    bool PageIsFinal() const { return pageIsFinal_; }
    TDateTime PrintDateTime() const { return printDateTime_; }

    // --- Sections and bands ---
    const std::vector<TrpCustomBand*>& SectionBands(int Index) const;
    int CurrentSection() const { return section_; }
    TrpCustomBand* CurrentBand() const { return currentBand_; }

    // --- Print position, thousandths of a millimetre ---
    int32_t PrintLeft() const { return printLeft_; }
    int32_t PrintTop() const { return printTop_; }
    int32_t PrintRight() const { return printRight_; }
    int32_t PrintPosition() const { return printPosition_; }
    void SetPrintPosition(int32_t Left, int32_t Position, int32_t Right);
    // The page height less the bottom margin and the visible footers.
    int32_t GetPageBottom() const;
    // The page's printable bottom, footers included.
    int32_t PrintableBottom() const;
    int32_t SpaceUsed() const { return spaceUsed_; }
    void AddBandHeight(int32_t Height) { bandHeightPrinted_ += Height; }
    void CountBandOnPage() { ++bandsOnPage_; }
    // The bands printed whole on the current page so far.
    int PageBandCount() const { return bandsOnPage_; }
    void CountBandPrint() { ++bandPrints_; }
    // The bands generated so far in the run: tells apart the lines of a
    // text export.
    int ReportBandCount() const { return bandPrints_; }
    bool GetBodyStarted() const { return bodyStarted_; }
    void SetBodyStarted(bool Value) {
        bodyStarted_ = Value;
        if (Value) columnBodyStarted_ = true;
    }
    bool DetailPrintedOnPage() const { return detailPrintedOnPage_; }
    void SetDetailPrintedOnPage(bool Value) { detailPrintedOnPage_ = Value; }

    // --- Data ---
    bool EndOfDataReached() const { return endOfData_; }
    bool NoData() const { return noData_; }
    void EndOfData();
    void EndOfReport();
    // The record step of the detail band: the band printed its record.
    void NextRecord();
    // The record last traversed (event 35, counted by every total) has
    // printed something of itself: it belongs to this page and column.
    // Until then a column or page that ends gives it back (event 139, sent
    // as the column's or the page's footer starts): a detail without room,
    // or the header of the group it opens, moved it on.
    void RecordPrinted() { recordUnprinted_ = false; }
    // Completes a pending record step before the next detail print.
    void FinishRecord();
    TrpDataPipeline* MainPipeline() const { return mainPipeline_; }
    // The detail band's own pipeline when it is not the report's: it walks
    // its records first, and the report's moves on when it runs out.
    TrpDataPipeline* DetailPipeline() const { return detailPipeline_; }

    void Notify(TrpCommunicator* Communicator, int Operation) override;

    // --- Groups ---
    // The group kept together whose instance is being generated.
    TrpGroup* KeepTogetherGroup() const { return keepTogetherGroup_; }
    // A group's instance ended: its mark goes with it. Every page starts
    // without one, so that a page generated alone from its record keeps
    // groups together exactly as the whole run did.
    void SetKeepTogetherGroup(TrpGroup* Value);
    // Whether moving a group on could help it: the body of this page (down
    // the page in columns, of this column), or the title above it, already
    // holds something else. A column that holds nothing yet has the room of
    // every other column of its page.
    bool KeepTogetherQuery() const { return (topToBottom_ ? columnBodyStarted_ : bodyStarted_) || titleOnPage_; }
    // A record or a group footer stands on this page: a group that starts
    // now may be sent to a new page. On a page holding neither, a new page
    // would give it no more room.
    bool RecordContentOnPage() const { return detailPrintedOnPage_ || footerPrintedOnPage_; }
    // --- Columns ---
    // The column being filled, from 0 (0 also outside columns).
    int CurrentColumn() const { return column_; }
    void SetCurrentColumn(int Value) { column_ = Value; }
    // The report's columns, and whether the detail fills them down the
    // page (the engine moves from column to column) or across it (the
    // detail's horizontal engine does).
    int ColumnCount() const { return columnCount_; }
    bool TopToBottomColumns() const { return topToBottom_; }
    bool LeftToRightColumns() const { return leftToRight_; }
    // The left edge of Column (from 0): the stored position, else the
    // margin and the column widths before it. A column without a stored
    // position stops the run with text 43.
    int32_t ColumnLeft(int Column);
    int32_t ColumnWidth() const;
    // Across the page: which columns got their header and footer on it.
    bool GetColumnHeaderPrinted(int Column) const;
    void SetColumnHeaderPrinted(int Column, bool Value);
    bool GetColumnFooterPrinted(int Column) const;
    void SetColumnFooterPrinted(int Column, bool Value);
    // The column header (at Top) or footer (at the page's foot) of Column,
    // leaving the print position as it was. Its start or end event fires.
    void GenerateColumnHeader(int Column, int32_t Top);
    void GenerateColumnFooter(int Column);
    // Where column footers stand on: the page's foot above its footers.
    int32_t ColumnFooterBottom() const;
    // The group headers printed again above a group footer that moved to a
    // new page.
    bool ReprintingForFooter() const { return reprintingForFooter_; }
    // The engine's own part of a keep-together mark: where the walk, the
    // data and the page stood before the group's header. Rolling back puts
    // all of it back and takes the group's output off the page.
    void MarkKeepTogether();
    void RollBackKeepTogether();

    // --- A child report's run, driven by the subreport that holds it ---
    // A new run: the child's pipelines open on their first record.
    void StartChildRun();
    // The run's next page, made on Page() and sent through the page-sent
    // hook (the subreport takes its commands from there).
    void GenerateChildPage();
    bool RunInitialised() const { return runInitialised_; }

    // --- Sections of whole pages, printed by a subreport ---
    // From the next page on the pages carry Setup's paper and only the
    // body: no page style, title, header or footer, and the walk goes on
    // where it stood. nullptr: ordinary pages again from the next one.
    // The subreport asks again when a page is made alone from its record.
    void SetSectionPrinterSetup(TrpPrinterSetup* Setup) { sectionSetup_ = Setup; }
    TrpPrinterSetup* SectionPrinterSetup() const { return sectionSetup_; }
    bool SectionPage() const { return sectionPage_; }
    // The number and count the current page is stamped with in place of
    // the run's (a section that numbers its own pages).
    void SetSectionPageNumbers(int PageNo, int PageCount);

private:
    void BuildBandLists();
    void InitRun();
    void PageLoop();
    void ServeRequest();
    // Page N final or not, reaching it page by page when it is new; False
    // when it does not exist.
    bool ServePage(int N, bool Final, bool ToLast);
    // Every page not yet made, none final.
    void RunToEnd();
    void MakePage(int N, bool Final);
    void GeneratePage();
    void GenerateSectionPage();
    // The body from Section and Index on, until the page or the column is
    // full or the report ends.
    void WalkBody(int Section, int Index);
    // Header and footer bands that stay off the last page leave it; what
    // was under the header moves up into its place.
    void OmitLastPageBands();
    // A page that ends with no body and the run where it stood before adds
    // one to the stall count; four such pages in a row stop the run.
    void CheckProgress();
    std::uint32_t ProgressMark() const;
    TrpDetailBandEngine* DetailEngine() const;
    void ShowNoDataDialog();
    // False when the page filled up (and ended) or the run stopped.
    bool GenerateSection(int Section, int From, int To = -1);
    void EndPage();
    // Down the page: the column is full; the next one starts, or the page
    // ends. False when the page ended.
    bool EndColumn();
    bool StartColumn(int Column);
    void ResetColumns();
    // The body from where the walk stands: the bands the last page (or
    // column) left, then section by section (the page's end is the
    // caller's).
    void WalkBody();
    void StampPage();
    void AddNoDataMessage();
    void RestorePipelinePositions();
    void ReleaseBookmarks();
    // The detail pipeline opens on its first record; False when it cannot.
    bool OpenDetailPipeline();
    // With a detail pipeline of its own: one record on (the detail's next,
    // else the report's next and the detail's first); False at the end.
    // The step back returns to where the last step started, so that the
    // step made again lands where the first did.
    bool AdvancePipelines();
    bool SkipEmptyDetails();
    void HoldStepBack();
    void StepBack();
    void DropStepBack();
    bool Halted() const;
    // Event 35 for the record the pipelines stand on, not yet printed.
    void TraverseRecord();
    // Event 139 when the record last traversed did not print before the
    // footer about to start (the band state names which one).
    void TakeBackUnprintedRecord();
    // Groups: the values read again after a restore, the break test after a
    // record step (true on a break), the headers above an orphaned footer.
    void StartGroups();
    // The group whose pages number afresh, if any.
    TrpGroup* PageNumberingGroup() const;
    void RefreshStaleGroups();
    bool CheckGroupBreaks();
    void ReprintHeadersAboveFooter(int FooterIndex);
    bool RollBackOnOverflow(int Section);
    void DropKeepTogetherMark();

    std::vector<TrpCustomBand*> sections_[secCount];
    TrpCustomBand* lastBand_ = nullptr;
    TrpCustomBand* currentBand_ = nullptr;
    int section_ = secTitle;
    int bandIndex_ = 0;
    std::unique_ptr<TrpPageRequest> request_;
    bool busy_ = false;
    bool done_ = false;
    bool reportComplete_ = false;
    bool pageCountKnown_ = false;
    bool pageIsFinal_ = false;
    bool pageEnded_ = false;
    bool runInitialised_ = false;
    bool noData_ = false;
    bool endOfData_ = false;
    bool recordStepPending_ = false;
    bool reAdvancePending_ = false;
    bool recordUnprinted_ = false;
    bool bodyStarted_ = false;
    bool detailPrintedOnPage_ = false;
    int highestPage_ = 0;
    int32_t printLeft_ = 0;
    int32_t printTop_ = 0;
    int32_t printRight_ = 0;
    int32_t printPosition_ = 0;
    int32_t spaceUsed_ = 0;
    int32_t bandHeightPrinted_ = 0;
    int bandsOnPage_ = 0;
    int bandPrints_ = 0;
    TDateTime printDateTime_ = 0;
    TrpDataPipeline* mainPipeline_ = nullptr;
    TrpDataPipeline* detailPipeline_ = nullptr;
    TrpDataPipeline::Position stepMain_, stepDetail_;
    bool stepHeld_ = false;
    int savedBookmark_ = 0;
    std::unique_ptr<TrpCacheManager> cache_;
    bool secondPass_ = false;
    bool noDataDialogShown_ = false;
    bool begun_ = false;
    int stalledPages_ = 0;
    std::uint32_t progressMark_ = 0;

    struct KeepTogetherMark {
        int Section = 0;
        int BandIndex = 0;
        bool EndOfData = false;
        bool RecordStepPending = false;
        bool ReAdvancePending = false;
        bool RecordUnprinted = false;
        bool ReportComplete = false;
        bool BodyStarted = false;
        bool ColumnBodyStarted = false;
        // Only the title above the columns made the move worth it: every
        // column of this page starts as low, so the group goes to the next
        // page, not the next column.
        bool ToNextPage = false;
        bool DetailPrinted = false;
        bool FooterPrinted = false;
        TrpEngineSections BandState;
        TrpEnginePrintStates PrintState;
        int32_t Left = 0, Position = 0, Right = 0, SpaceUsed = 0, BandHeight = 0;
        int BandsOnPage = 0;
        int DrawCount = 0;
        int Bookmark = 0;
        int DetailBookmark = 0;
        int Column = 0;
    };
    TrpGroup* keepTogetherGroup_ = nullptr;
    std::unique_ptr<KeepTogetherMark> keepMark_;
    bool footerPrintedOnPage_ = false;
    int column_ = 0;
    int columnCount_ = 1;
    bool topToBottom_ = false;
    bool leftToRight_ = false;
    bool columnEnded_ = false;
    // Down the page: a column has begun on this page (a page that ends in
    // its title has none, so no column footer either).
    bool columnsOpen_ = false;
    // A title printed on this page: what follows it may move to the next.
    bool titleOnPage_ = false;
    // Down the page: the current column holds something of the body.
    bool columnBodyStarted_ = false;
    bool columnBand_ = false;
    int32_t columnTop_ = 0;
    std::vector<bool> columnHeaderPrinted_;
    std::vector<bool> columnFooterPrinted_;
    bool reprintingForFooter_ = false;

    TrpPrinterSetup* sectionSetup_ = nullptr;
    bool sectionPage_ = false;
    bool sectionPaperOnPage_ = false;
    bool sectionNumbers_ = false;
    int sectionPageNo_ = 0;
    int sectionPageCount_ = 0;
};
