#include "report/rpGeneration.h"

#include <algorithm>
#include <cassert>

#include <QCoreApplication>

#include "platform/rtl/Strings.h"
#include "report/rpBandEngine.h"
#include "report/rpCacheManager.h"
#include "report/rpComponent.h"
#include "report/rpDialogs.h"
#include "report/rpDrawCommand.h"
#include "report/rpExcept.h"
#include "report/rpGroup.h"
#include "report/rpLanguage.h"
#include "report/rpPipeline.h"
#include "report/rpReport.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"

// ---------------------------------------------------------------------------
// Message pump

namespace {

std::function<void()>& Pump() {
    static std::function<void()> pump;
    return pump;
}

}  // namespace

void rpSetMessagePump(std::function<void()> Pump_) { Pump() = std::move(Pump_); }

void rpProcessMessages() {
    if (Pump()) Pump()();
}

std::function<void()> rpThrottledPump(std::function<void()> Process, std::function<TDateTime()> Clock,
                                      TDateTime Interval) {
    auto last = std::make_shared<TDateTime>(-1.0e9);
    return [Process = std::move(Process), Clock = std::move(Clock), Interval, last] {
        const TDateTime now = Clock();
        if (now - *last < Interval) return;
        *last = now;
        Process();
    };
}

void rpInstallApplicationMessagePump() {
    constexpr TDateTime kInterval = 50.0 / (24.0 * 60 * 60 * 1000);
    rpSetMessagePump(rpThrottledPump(
        [] {
            if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
        },
        [] { return rpNow(); }, kInterval));
}

// ---------------------------------------------------------------------------
// Engine

TClass TrpEngine::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpEngine>("TrpEngine", TrpCustomEngine::StaticClassType()).Build();
    return &info;
}

TrpEngine::TrpEngine(TrpCustomReport* Report)
    : TrpCustomEngine(Report),
      request_(std::make_unique<TrpPageRequest>()),
      cache_(std::make_unique<TrpCacheManager>(Report)) {
    SetCacheRecordSize(kCacheRecordSize);
}

TrpEngine::~TrpEngine() {
    if (cache_ != nullptr) {
        // The engine's own records are let go while it is whole.
        cache_->Clear();
        cache_.reset();
    }
    DropKeepTogetherMark();
    DropStepBack();
    ReleaseBookmarks();
    if (mainPipeline_ != nullptr) RemoveNotify(mainPipeline_);
    if (detailPipeline_ != nullptr) RemoveNotify(detailPipeline_);
}

const std::vector<TrpCustomBand*>& TrpEngine::SectionBands(int Index) const {
    static const std::vector<TrpCustomBand*> none;
    return Index >= 0 && Index < secCount ? sections_[Index] : none;
}

void TrpEngine::Notify(TrpCommunicator* Communicator, int Operation) {
    TrpCustomEngine::Notify(Communicator, Operation);
    if (Operation != rpopFreeing || Communicator == nullptr) return;
    if (Communicator == mainPipeline_) {
        // The bookmark belonged to the pipeline going away.
        savedBookmark_ = 0;
        mainPipeline_ = nullptr;
        stepMain_ = {};
    }
    if (Communicator == detailPipeline_) {
        detailPipeline_ = nullptr;
        stepDetail_ = {};
    }
}

void TrpEngine::SetPrintPosition(int32_t Left, int32_t Position, int32_t Right) {
    printLeft_ = Left;
    printPosition_ = Position;
    printRight_ = Right;
    spaceUsed_ = std::max(spaceUsed_, Position);
}

int32_t TrpEngine::PrintableBottom() const {
    const TrpPageDef* def = Page()->PageDef();
    return def->mmHeight() - def->mmMarginBottom();
}

int32_t TrpEngine::GetPageBottom() const {
    if (Report() == nullptr) throw EPrintError("TrpEngine.GetPageBottom: No Report assigned to this engine.");
    int32_t bottom = PrintableBottom();
    // A section page prints no footer: its body reaches the margin.
    if (sectionPage_) return bottom;
    for (int s : {secColumnFooter, secFooter})
        for (TrpCustomBand* b : sections_[s])
            if (b->Visible()) bottom -= b->mmHeight();
    return bottom;
}

bool TrpEngine::Halted() const { return Stopped() || Cancelled(); }

// ---------------------------------------------------------------------------
// Run

void TrpEngine::Reset() {
    if (busy_) return;
    TrpCustomEngine::Reset();
    DropKeepTogetherMark();
    DropStepBack();
    keepTogetherGroup_ = nullptr;
    ReleaseBookmarks();
    runInitialised_ = false;
    done_ = reportComplete_ = pageCountKnown_ = pageIsFinal_ = false;
    noData_ = endOfData_ = recordStepPending_ = reAdvancePending_ = recordUnprinted_ = false;
    highestPage_ = 0;
    bandPrints_ = 0;
    section_ = secTitle;
    bandIndex_ = 0;
    secondPass_ = noDataDialogShown_ = begun_ = false;
    stalledPages_ = 0;
    progressMark_ = 0;
    ResetColumns();
    sectionSetup_ = nullptr;
    sectionPage_ = sectionNumbers_ = false;
    if (cache_ != nullptr) cache_->Clear();
    if (Page() != nullptr) Page()->FreeDrawCommands();
}

void TrpEngine::StartChildRun() {
    Reset();
    ClearStop();
    InitRun();
}

void TrpEngine::GenerateChildPage() {
    if (!runInitialised_) InitRun();
    SetAbsolutePageNo(AbsolutePageNo() + 1);
    pageIsFinal_ = true;
    spaceUsed_ = 0;
    done_ = false;
    GeneratePage();
    highestPage_ = std::max(highestPage_, AbsolutePageNo());
}

void TrpEngine::SetSectionPageNumbers(int PageNo, int PageCount) {
    sectionNumbers_ = true;
    sectionPageNo_ = PageNo;
    sectionPageCount_ = PageCount;
}

void TrpEngine::BuildBandLists() {
    TrpCustomReport* report = Report();
    if (report->BandCount() == 0) report->CreateDefaultBands();
    for (auto& list : sections_) list.clear();
    report->SortBands();
    for (int i = 0; i < report->BandCount(); ++i) {
        auto* band = dynamic_cast<TrpCustomBand*>(report->Bands(i));
        if (band == nullptr) continue;
        const TrpBandTypeFlags flags = band->GetBandTypeFlags();
        int section = -1;
        if (flags.Contains(TrpBandTypeFlag::Title) || dynamic_cast<TrpTitleBand*>(band) != nullptr)
            section = secTitle;
        else if (flags.Contains(TrpBandTypeFlag::GroupHeader))
            section = secGroupHeaders;
        else if (flags.Contains(TrpBandTypeFlag::PageHeader) && dynamic_cast<TrpPageStyle*>(band) != nullptr)
            section = secPageStyle;
        else if (flags.Contains(TrpBandTypeFlag::PageHeader))
            section = secHeader;
        else if (flags.Contains(TrpBandTypeFlag::ColumnHeader) || dynamic_cast<TrpColumnHeaderBand*>(band))
            section = secColumnHeader;
        else if (flags.Contains(TrpBandTypeFlag::Detail))
            section = secDetail;
        else if (flags.Contains(TrpBandTypeFlag::GroupFooter))
            section = secGroupFooters;
        else if (flags.Contains(TrpBandTypeFlag::ColumnFooter) || dynamic_cast<TrpColumnFooterBand*>(band))
            section = secColumnFooter;
        else if (flags.Contains(TrpBandTypeFlag::PageFooter))
            section = secFooter;
        else if (flags.Contains(TrpBandTypeFlag::Summary) || dynamic_cast<TrpSummaryBand*>(band))
            section = secSummary;
        if (section >= 0) sections_[section].push_back(band);
    }
    lastBand_ = nullptr;
    for (int s : {secSummary, secGroupFooters, secDetail})
        if (!sections_[s].empty()) {
            lastBand_ = sections_[s].back();
            break;
        }
}

void TrpEngine::InitRun() {
    if (runInitialised_) return;
    TrpCustomReport* report = Report();
    const bool top = report->ParentReport() == nullptr;
    // A print job has started the job before its first page: the run's
    // beginning is the engine's to announce once.
    const bool begin = top && !begun_;
    if (begin) {
        report->NotifyReportBegin();
        SendEventNotify(this, rpevReportBeginning, nullptr);
        report->ReportBegin();
    }
    // The main pipeline opens and stands on its first record.
    TrpDataPipeline* pipeline = report->DataPipeline();
    if (pipeline != mainPipeline_) {
        if (mainPipeline_ != nullptr) RemoveNotify(mainPipeline_);
        mainPipeline_ = pipeline;
        if (mainPipeline_ != nullptr) AddNotify(mainPipeline_);
    }
    if (mainPipeline_ != nullptr) {
        mainPipeline_->Open();
        if (!mainPipeline_->Active()) {
            report->HandlePrintError(EPrintError(rpLanguageText(40) + ": " + mainPipeline_->GetUserName()));
            return;
        }
        TrpDataPipelineList reachable(report);
        std::vector<TrpDataPipeline*> pipelines;
        for (int i = 0; i < reachable.Count(); ++i) pipelines.push_back(reachable.Pipelines(i));
        mainPipeline_->PrepareTraversal(pipelines);
        if (top && savedBookmark_ == 0) savedBookmark_ = mainPipeline_->GetBookmark();
        mainPipeline_->First();
    }
    if (!OpenDetailPipeline()) return;
    if (detailPipeline_ != nullptr)
        noData_ = !SkipEmptyDetails() || Halted();
    else
        noData_ = mainPipeline_ != nullptr && (mainPipeline_->Eof() || Halted());
    if (begin) {
        report->StartRun();
        report->SetJobStarted(true);
        begun_ = true;
        SendEventNotify(this, rpevPipelinesOpened, nullptr);
    }
    report->AfterStartRun();

    SetBandState({});
    ExcludePrintState(PrintState());
    endOfData_ = recordStepPending_ = reAdvancePending_ = recordUnprinted_ = false;
    reportComplete_ = pageCountKnown_ = false;
    BuildBandLists();
    columnCount_ = std::max(report->Columns(), 1);
    auto* detailBand = sections_[secDetail].empty() ? nullptr : dynamic_cast<TrpDetailBand*>(sections_[secDetail].front());
    topToBottom_ = columnCount_ > 1 && detailBand != nullptr && detailBand->ColumnTraversal() == ctTopToBottom;
    leftToRight_ = columnCount_ > 1 && detailBand != nullptr && detailBand->ColumnTraversal() == ctLeftToRight;
    // Across the page the detail's own engine fills the columns.
    if (detailBand != nullptr) detailBand->UpdateBandEngine();
    ResetColumns();
    for (auto& list : sections_)
        for (TrpCustomBand* band : list) band->BandEngine()->InitObjects();
    // The states saved page by page start with this run.
    cache_->Reset();
    secondPass_ = false;
    stalledPages_ = 0;
    progressMark_ = 0;
    StartGroups();
    SetBandState({TrpEngineSection::GroupHeader, TrpEngineSection::Title});
    printDateTime_ = report->ParentReport() != nullptr
                         ? static_cast<TrpEngine*>(report->ParentReport()->Engine())->PrintDateTime()
                         : rpNow();
    section_ = secTitle;
    bandIndex_ = 0;
    highestPage_ = 0;
    SetAbsolutePageNo(0);
    SetAbsolutePageCount(0);
    runInitialised_ = true;
    // Without a detail band, or without records, the body has nothing to walk.
    if (noData_ || sections_[secDetail].empty()) EndOfData();
    // The first record is traversed as much as the ones the steps reach:
    // totals and variables count it before anything prints.
    else if (mainPipeline_ != nullptr || detailPipeline_ != nullptr)
        TraverseRecord();
    if (noData_ && report->NoDataBehaviors().Contains(ndBlankPage)) {
        done_ = true;
        reportComplete_ = true;
        if (report->NoDataBehaviors().Contains(ndMessageDialog)) ShowNoDataDialog();
    }
}

void TrpEngine::EndOfData() {
    endOfData_ = true;
    SetBandState(BandState() + TrpEngineSections{TrpEngineSection::Summary, TrpEngineSection::GroupFooter});
}

void TrpEngine::EndOfReport() {
    EndOfData();
    reportComplete_ = true;
}

void TrpEngine::NextRecord() {
    recordUnprinted_ = false;
    SetBandState(BandState() - TrpEngineSections{TrpEngineSection::PageHeader, TrpEngineSection::ColumnHeader,
                                                TrpEngineSection::GroupHeader} +
                 TrpEngineSections{TrpEngineSection::Detail});
    if (endOfData_) return;
    if (detailPipeline_ != nullptr) {
        RefreshStaleGroups();
        HoldStepBack();
        if (!AdvancePipelines()) {
            // The bands that follow see the last record printed.
            EndOfData();
            StepBack();
            return;
        }
        if (CheckGroupBreaks()) {
            StepBack();
            reAdvancePending_ = true;
            return;
        }
        recordStepPending_ = true;
        return;
    }
    if (mainPipeline_ == nullptr) {
        // Without a pipeline the detail prints once.
        EndOfData();
        return;
    }
    const int before = mainPipeline_->RecordIndex();
    RefreshStaleGroups();
    mainPipeline_->Next();
    if (mainPipeline_->Eof()) {
        EndOfData();
        // A range or a link that ended moved the data past the last record
        // printed: the bands that follow see that record again.
        if (mainPipeline_->RecordIndex() != before) mainPipeline_->Prior();
        return;
    }
    if (CheckGroupBreaks()) {
        // The footers of the groups that ended print with their last record;
        // the step is made again before the next headers.
        mainPipeline_->Prior();
        reAdvancePending_ = true;
        return;
    }
    recordStepPending_ = true;
}

void TrpEngine::FinishRecord() {
    if (reAdvancePending_) {
        reAdvancePending_ = false;
        recordStepPending_ = false;
        if (detailPipeline_ != nullptr)
            AdvancePipelines();
        else if (mainPipeline_ != nullptr)
            mainPipeline_->Next();
        TraverseRecord();
        if (!BandState().Contains(TrpEngineSection::Summary))
            SetBandState(BandState() - TrpEngineSections{TrpEngineSection::GroupFooter});
        SetBandState(BandState() + TrpEngineSections{TrpEngineSection::GroupHeader, TrpEngineSection::Detail});
        return;
    }
    if (recordStepPending_) {
        recordStepPending_ = false;
        TraverseRecord();
    }
}

void TrpEngine::TraverseRecord() {
    recordUnprinted_ = true;
    SendEventNotify(this, rpevRecordTraversed, nullptr);
}

void TrpEngine::TakeBackUnprintedRecord() {
    if (recordUnprinted_) SendEventNotify(this, rpevNoRoomForDynamicBand, nullptr);
}

// ---------------------------------------------------------------------------
// The detail band's own pipeline

bool TrpEngine::OpenDetailPipeline() {
    TrpDataPipeline* pipeline = nullptr;
    if (auto* band = dynamic_cast<TrpDetailBand*>(Report()->GetBand(btDetail)))
        pipeline = band->OwnDataPipeline();
    if (pipeline == mainPipeline_) pipeline = nullptr;
    if (pipeline != detailPipeline_) {
        DropStepBack();
        if (detailPipeline_ != nullptr) RemoveNotify(detailPipeline_);
        detailPipeline_ = pipeline;
        if (detailPipeline_ != nullptr) AddNotify(detailPipeline_);
    }
    if (detailPipeline_ == nullptr) return true;
    detailPipeline_->Open();
    if (!detailPipeline_->Active()) {
        Report()->HandlePrintError(EPrintError(rpLanguageText(40) + ": " + detailPipeline_->GetUserName()));
        return false;
    }
    detailPipeline_->First();
    return true;
}

bool TrpEngine::SkipEmptyDetails() {
    // A record of the report's without details has nothing to print.
    while (detailPipeline_->Eof()) {
        if (mainPipeline_ == nullptr || Halted()) return false;
        mainPipeline_->Next();
        if (mainPipeline_->Eof()) return false;
        detailPipeline_->First();
    }
    return true;
}

bool TrpEngine::AdvancePipelines() {
    detailPipeline_->Next();
    if (!detailPipeline_->Eof()) return true;
    if (mainPipeline_ == nullptr) return false;
    mainPipeline_->Next();
    if (mainPipeline_->Eof()) return false;
    detailPipeline_->First();
    return SkipEmptyDetails();
}

void TrpEngine::HoldStepBack() {
    DropStepBack();
    if (mainPipeline_ != nullptr && mainPipeline_->Active()) stepMain_ = mainPipeline_->SavePosition();
    if (detailPipeline_ != nullptr && detailPipeline_->Active()) stepDetail_ = detailPipeline_->SavePosition();
    stepHeld_ = true;
}

void TrpEngine::StepBack() {
    if (!stepHeld_) {
        // Nothing held (a group rolled back since): one record back.
        if (detailPipeline_ != nullptr && !detailPipeline_->Bof())
            detailPipeline_->Prior();
        else if (mainPipeline_ != nullptr)
            mainPipeline_->Prior();
        return;
    }
    if (mainPipeline_ != nullptr) mainPipeline_->RestorePosition(stepMain_);
    if (detailPipeline_ != nullptr) detailPipeline_->RestorePosition(stepDetail_);
    DropStepBack();
}

void TrpEngine::DropStepBack() {
    if (stepMain_.HasBookmark && mainPipeline_ != nullptr) mainPipeline_->FreeBookmark(stepMain_.Bookmark);
    if (stepDetail_.HasBookmark && detailPipeline_ != nullptr) detailPipeline_->FreeBookmark(stepDetail_.Bookmark);
    stepMain_ = {};
    stepDetail_ = {};
    stepHeld_ = false;
}

// ---------------------------------------------------------------------------
// Page requests

void TrpEngine::RestorePipelinePositions() {
    if (mainPipeline_ == nullptr || savedBookmark_ == 0) return;
    if (mainPipeline_->Active()) mainPipeline_->GotoBookmark(savedBookmark_);
}

void TrpEngine::ReleaseBookmarks() {
    if (savedBookmark_ != 0 && mainPipeline_ != nullptr) mainPipeline_->FreeBookmark(savedBookmark_);
    savedBookmark_ = 0;
}

void TrpEngine::ProcessPageRequest(TrpPageRequest* Request) {
    if (busy_) {
        // A device asked again from inside generation: the running request
        // serves it.
        assert(!"TrpEngine.ProcessPageRequest: a request is already being served");
        return;
    }
    busy_ = true;
    request_->Assign(Request);
    // Every page of a finished run is made afresh: the data may have
    // changed since. Single pages come from the saved states.
    if (runInitialised_ && pageCountKnown_ && request_->PageSetting() == psAll) {
        // Still the same job: its beginning is not announced again.
        const bool begun = begun_;
        busy_ = false;
        Reset();
        busy_ = true;
        begun_ = begun;
    }
    SetGenerating(true);
    try {
        PageLoop();
    } catch (...) {
        // The pipeline goes back to where the run found it, and the place
        // held for that is let go; the next request starts a new run.
        RestorePipelinePositions();
        ReleaseBookmarks();
        if (cache_ != nullptr) cache_->Clear();
        runInitialised_ = pageCountKnown_ = secondPass_ = false;
        highestPage_ = 0;
        busy_ = false;
        Report()->SetPrinting(false);
        SetGenerating(false);
        throw;
    }
    busy_ = false;
    // A stopped run cannot be picked up where it halted: the next request
    // starts a new one.
    if (Stopped() || Cancelled()) Reset();
    Report()->SetPrinting(false);
    // Last: a report freed from one of its events goes now, and this
    // engine with it.
    SetGenerating(false);
}

void TrpEngine::InitPageCount(int Count) {
    if (Count == 0) {
        Reset();
        return;
    }
    SetAbsolutePageCount(Count);
    pageCountKnown_ = false;
    if (Page() != nullptr) Page()->FreeDrawCommands();
}

void TrpEngine::PageLoop() {
    done_ = false;
    ClearStop();
    InitRun();
    if (done_ || Halted()) return;
    const bool twoPass = Report()->PassSetting() == psTwoPass && Report()->ParentReport() == nullptr;
    if (twoPass && !pageCountKnown_) {
        // The calculation pass: every page, none final, to learn the count.
        secondPass_ = false;
        Report()->FireEvent(Report()->OnStartFirstPass, rpevStartFirstPass);
        RunToEnd();
        if (Halted()) return;
        Report()->FireEvent(Report()->OnEndFirstPass, rpevEndFirstPass);
    }
    const bool startsSecond = twoPass && !secondPass_;
    secondPass_ = twoPass;
    if (startsSecond) Report()->FireEvent(Report()->OnStartSecondPass, rpevStartSecondPass);
    ServeRequest();
    if (startsSecond && !Halted()) Report()->FireEvent(Report()->OnEndSecondPass, rpevEndSecondPass);
}

namespace {

// A page list entry as a page number; 0 when it is none.
int ListedPage(const std::string& Entry) {
    const std::string text = Trim(Entry);
    if (text.empty() || text.size() > 9) return 0;
    for (char c : text)
        if (c < '0' || c > '9') return 0;
    return std::stoi(text);
}

}  // namespace

void TrpEngine::ServeRequest() {
    const TrpPageRequest& r = *request_;
    switch (r.PageSetting()) {
        case psAll:
        case psPageRange:
            // The devices pick the pages of a range from the whole run.
            for (int n = 1;; ++n)
                if (!ServePage(n, true, false) || Halted()) break;
            break;
        case psFirstPage: ServePage(1, true, false); break;
        case psLastPage: ServePage(std::numeric_limits<int>::max(), true, true); break;
        case psSinglePage: ServePage(std::max(r.PageRequested(), 1), true, true); break;
        case psPageList:
            for (int i = 0; i < r.PageList()->Count() && !Halted(); ++i) {
                const int n = ListedPage(r.PageList()->Strings(i));
                if (n < 1 || (pageCountKnown_ && n > AbsolutePageCount())) continue;
                ServePage(n, true, false);
            }
            break;
    }
}

bool TrpEngine::ServePage(int N, bool Final, bool ToLast) {
    // The pages before a new one are made first, as calculation pages.
    while (!pageCountKnown_ && highestPage_ < N - 1 && !Halted()) MakePage(highestPage_ + 1, false);
    if (Halted()) return false;
    if (pageCountKnown_ && N > AbsolutePageCount()) {
        if (!ToLast || AbsolutePageCount() < 1) return false;
        N = AbsolutePageCount();
    }
    if (N < 1) return false;
    MakePage(N, Final);
    return !Halted();
}

void TrpEngine::RunToEnd() {
    while (!pageCountKnown_ && !Halted()) MakePage(highestPage_ + 1, false);
}

void TrpEngine::MakePage(int N, bool Final) {
    if (N <= highestPage_) {
        if (N <= AbsolutePageNo()) SendEventNotify(this, rpevPageBeforeCurrent, nullptr);
        cache_->RestorePage(N - 1);
    } else {
        cache_->SavePage(N - 1);
    }
    SetAbsolutePageNo(N);
    const bool passFinal = Report()->PassSetting() != psTwoPass || secondPass_ || Report()->ParentReport() != nullptr;
    pageIsFinal_ = Final && passFinal;
    spaceUsed_ = 0;
    done_ = false;
    GeneratePage();
    if (Halted()) return;
    highestPage_ = std::max(highestPage_, N);
    rpProcessMessages();
}

// ---------------------------------------------------------------------------
// Page state records

namespace {

// Where the engine's parts of its record stand.
enum : int {
    recRecordStep = 0,
    recReAdvance = 1,
    recEndOfData = 2,
    recNoData = 3,
    recBandIndex = 4,
    recSection = 8,
    recStalledPages = 12,
    recPrintStates = 16,  // one bit per print state member
    recHasDetail = 17,
    recDetailPrints = 18,  // 16 bits
    recProgressMark = 20,
    recSections = 24,  // one byte per enabled section
    recHasMain = 33,
    recReportComplete = 34,
    recRecordUnprinted = 35,
    recMainPosition = 36,
    recDetailPosition = 52,
};

constexpr int kPrintStateCount = static_cast<int>(TrpEnginePrintState::GroupEnd) + 1;
constexpr int kSectionCount = static_cast<int>(TrpEngineSection::Detail) + 1;

void PutPosition(TrpCacheRecord& R, int At, const TrpDataPipeline::Position& P) {
    R.PutBool(At, (P.States & rppsFirstRecord) != 0);
    R.PutBool(At + 1, (P.States & rppsLastRecord) != 0);
    R.PutBool(At + 2, (P.States & rppsNoRecords) != 0);
    auto* bytes = static_cast<unsigned char*>(R.Data());
    bytes[At + 3] =
        static_cast<unsigned char>((P.HasBookmark ? 1 : 0) | (P.DataTraversed ? 2 : 0) | (P.NoMatch ? 4 : 0));
    R.PutInt(At + 4, P.Bookmark);
    R.PutInt(At + 8, P.TraversalCount);
    R.PutInt(At + 12, P.RecordIndex);
}

TrpDataPipeline::Position GetPosition(const TrpCacheRecord& R, int At) {
    TrpDataPipeline::Position p;
    p.States = static_cast<std::uint8_t>((R.GetBool(At) ? rppsFirstRecord : 0) |
                                         (R.GetBool(At + 1) ? rppsLastRecord : 0) |
                                         (R.GetBool(At + 2) ? rppsNoRecords : 0));
    const auto flags = static_cast<const unsigned char*>(R.Data())[At + 3];
    p.HasBookmark = (flags & 1) != 0;
    p.DataTraversed = (flags & 2) != 0;
    p.NoMatch = (flags & 4) != 0;
    p.Bookmark = R.GetInt(At + 4);
    p.TraversalCount = R.GetInt(At + 8);
    p.RecordIndex = R.GetInt(At + 12);
    return p;
}

}  // namespace

TrpDetailBandEngine* TrpEngine::DetailEngine() const {
    if (sections_[secDetail].empty()) return nullptr;
    return dynamic_cast<TrpDetailBandEngine*>(sections_[secDetail].front()->BandEngine());
}

void TrpEngine::SaveToCache(int Page) {
    TrpCacheRecord r(kCacheRecordSize);
    r.PutBool(recRecordStep, recordStepPending_);
    r.PutBool(recReAdvance, reAdvancePending_);
    r.PutBool(recEndOfData, endOfData_);
    r.PutBool(recNoData, noData_);
    r.PutInt(recBandIndex, bandIndex_);
    r.PutInt(recSection, section_);
    r.PutInt(recStalledPages, stalledPages_);
    auto* bytes = static_cast<unsigned char*>(r.Data());
    for (int i = 0; i < kPrintStateCount; ++i)
        if (PrintState().Contains(static_cast<TrpEnginePrintState>(i))) bytes[recPrintStates] |= 1u << i;
    for (int i = 0; i < kSectionCount; ++i)
        r.PutBool(recSections + i, BandState().Contains(static_cast<TrpEngineSection>(i)));
    r.PutBool(recReportComplete, reportComplete_);
    r.PutBool(recRecordUnprinted, recordUnprinted_);
    if (mainPipeline_ != nullptr && mainPipeline_->Active()) {
        r.PutBool(recHasMain, true);
        PutPosition(r, recMainPosition, mainPipeline_->SavePosition());
    }
    if (detailPipeline_ != nullptr && detailPipeline_->Active()) {
        r.PutBool(recHasDetail, true);
        PutPosition(r, recDetailPosition, detailPipeline_->SavePosition());
    }
    r.PutInt(recProgressMark, static_cast<std::int32_t>(progressMark_));
    // The detail band's prints of its current record so far.
    if (auto* detail = DetailEngine()) {
        const int prints = std::min(detail->BandsPerRecordCount(), 0xFFFF);
        bytes[recDetailPrints] = static_cast<unsigned char>(prints & 0xFF);
        bytes[recDetailPrints + 1] = static_cast<unsigned char>(prints >> 8);
    }
    if (!WriteCacheRecord(Page, r.Data())) {
        // The record is not kept: neither are the places it held.
        const TrpDataPipeline::Position p = GetPosition(r, recMainPosition);
        if (mainPipeline_ != nullptr && p.HasBookmark) mainPipeline_->FreeBookmark(p.Bookmark);
        const TrpDataPipeline::Position d = GetPosition(r, recDetailPosition);
        if (detailPipeline_ != nullptr && r.GetBool(recHasDetail) && d.HasBookmark)
            detailPipeline_->FreeBookmark(d.Bookmark);
    }
}

void TrpEngine::RestoreFromCache(int Page) {
    TrpCacheRecord r(kCacheRecordSize);
    if (!ReadCacheRecord(Page, r.Data())) {
        // Another page's state would slip into this one.
        throw EPrintError(Format("TrpEngine.RestoreFromCache: A página %d não foi guardada no cache.", {Page + 1}));
    }
    recordStepPending_ = r.GetBool(recRecordStep);
    reAdvancePending_ = r.GetBool(recReAdvance);
    endOfData_ = r.GetBool(recEndOfData);
    noData_ = r.GetBool(recNoData);
    bandIndex_ = r.GetInt(recBandIndex);
    section_ = r.GetInt(recSection);
    stalledPages_ = r.GetInt(recStalledPages);
    TrpEnginePrintStates print;
    const auto* bytes = static_cast<const unsigned char*>(r.Data());
    for (int i = 0; i < kPrintStateCount; ++i)
        if ((bytes[recPrintStates] & (1u << i)) != 0) print.Include(static_cast<TrpEnginePrintState>(i));
    ExcludePrintState(PrintState());
    IncludePrintState(print);
    TrpEngineSections sections;
    for (int i = 0; i < kSectionCount; ++i)
        if (r.GetBool(recSections + i)) sections.Include(static_cast<TrpEngineSection>(i));
    SetBandState(sections);
    reportComplete_ = r.GetBool(recReportComplete);
    recordUnprinted_ = r.GetBool(recRecordUnprinted);
    if (r.GetBool(recHasMain) && mainPipeline_ != nullptr)
        mainPipeline_->RestorePosition(GetPosition(r, recMainPosition));
    // After the report's: a detail linked to it follows its master first.
    if (r.GetBool(recHasDetail) && detailPipeline_ != nullptr)
        detailPipeline_->RestorePosition(GetPosition(r, recDetailPosition));
    // The step a restored page may take back is the one made again.
    DropStepBack();
    progressMark_ = static_cast<std::uint32_t>(r.GetInt(recProgressMark));
    if (auto* detail = DetailEngine())
        detail->SetBandsPerRecordCount(bytes[recDetailPrints] | (bytes[recDetailPrints + 1] << 8));
    // Pages without room count from the page made now.
    for (auto& list : sections_)
        for (TrpCustomBand* band : list) band->BandEngine()->ForgetLastPrint();
}

void TrpEngine::ResetCache(int Page) {
    // The places the records from Page on hold are let go.
    if (mainPipeline_ == nullptr && detailPipeline_ == nullptr) return;
    for (int p = std::max(Page, 0); p <= CachePageCount(); ++p) {
        TrpCacheRecord r(kCacheRecordSize);
        if (!ReadCacheRecord(p, r.Data())) continue;
        if (r.GetBool(recHasMain) && mainPipeline_ != nullptr) {
            const TrpDataPipeline::Position pos = GetPosition(r, recMainPosition);
            if (pos.HasBookmark) mainPipeline_->FreeBookmark(pos.Bookmark);
        }
        if (r.GetBool(recHasDetail) && detailPipeline_ != nullptr) {
            const TrpDataPipeline::Position pos = GetPosition(r, recDetailPosition);
            if (pos.HasBookmark) detailPipeline_->FreeBookmark(pos.Bookmark);
        }
    }
}

void TrpEngine::GeneratePage() {
    TrpCustomReport* report = Report();
    TrpPage* page = Page();
    page->FreeDrawCommands();
    pageEnded_ = false;
    bodyStarted_ = false;
    columnBodyStarted_ = false;
    detailPrintedOnPage_ = false;
    footerPrintedOnPage_ = false;
    titleOnPage_ = false;
    columnsOpen_ = false;
    SetKeepTogetherGroup(nullptr);
    bandsOnPage_ = 0;
    if (!sections_[secDetail].empty()) sections_[secDetail].front()->SetCount(0);
    if (AbsolutePageNo() == 1) {
        SendEventNotify(this, rpevFirstPageStarted, nullptr);
        SetBandState(BandState() + TrpEngineSections{TrpEngineSection::Detail});
    }
    report->FireEvent(report->OnStartPage, rpevStartPage);
    sectionPage_ = sectionSetup_ != nullptr;
    sectionNumbers_ = false;
    if (sectionPage_) {
        page->SetPrinterSetup(sectionSetup_);
        sectionPaperOnPage_ = true;
    } else if (sectionPaperOnPage_) {
        page->SetPrinterSetup(report->PrinterSetup());
        sectionPaperOnPage_ = false;
    }
    const TrpPageDef* def = page->PageDef();
    printLeft_ = def->mmMarginLeft();
    printTop_ = def->mmMarginTop();
    printRight_ = def->mmWidth() - def->mmMarginRight();
    printPosition_ = printTop_;
    spaceUsed_ = printTop_;
    if (!pageCountKnown_ && AbsolutePageNo() > AbsolutePageCount()) SetAbsolutePageCount(AbsolutePageNo());
    for (auto& list : sections_)
        for (TrpCustomBand* band : list) band->BandEngineNotify();

    if (sectionPage_) {
        // The section's band goes on where it stood, alone on the page.
        GenerateSectionPage();
        return;
    }
    // The page's top: its background, the title once, the header.
    SetBandState(BandState() + TrpEngineSections{TrpEngineSection::PageHeader});
    GenerateSection(secPageStyle, 0);
    if (!pageEnded_ && !Halted() && BandState().Contains(TrpEngineSection::Title)) {
        GenerateSection(secTitle, 0);
        if (!pageEnded_) SetBandState(BandState() - TrpEngineSections{TrpEngineSection::Title});
    }
    if (!pageEnded_ && !Halted()) {
        SetBandState(BandState() + TrpEngineSections{TrpEngineSection::PageHeader});
        GenerateSection(secHeader, 0);
    }
    if (pageEnded_ || Halted()) return;
    ResetColumns();
    if (topToBottom_) {
        // The columns run down from under the page's header.
        columnTop_ = printPosition_;
        if (!StartColumn(0)) {
            if (!pageEnded_ && !Halted()) EndPage();
            return;
        }
    }
    for (;;) {
        WalkBody();
        if (pageEnded_ || Halted()) return;
        // Down the page, a full column hands the walk on to the next one.
        if (!columnEnded_) break;
        columnEnded_ = false;
    }
    EndPage();
}

void TrpEngine::WalkBody() {
    // Group footers still to print need the record they were left with.
    if (section_ != secGroupFooters) FinishRecord();

    // The body goes on where the last page left it.
    int section = section_;
    int index = bandIndex_;
    if (section <= secDetail) {
        section = secGroupHeaders;
        index = 0;
    } else if (section == secGroupFooters) {
        // The footers left over go on from the first that did not print,
        // below the headers of their groups.
        ReprintHeadersAboveFooter(index);
        if (pageEnded_ || columnEnded_ || Halted()) return;
    }
    WalkBody(section, index);
}

void TrpEngine::GenerateSectionPage() {
    WalkBody(section_, bandIndex_);
    if (!pageEnded_ && !Halted()) EndPage();
}

void TrpEngine::WalkBody(int section, int index) {
    while (!pageEnded_ && !Halted()) {
        if (section == secSummary && !endOfData_) {
            section = secGroupHeaders;
            index = 0;
        }
        section_ = section;
        // A group that ended left its record step for the new group's headers.
        if (section == secGroupHeaders) FinishRecord();
        if (!GenerateSection(section, index)) return;
        if (section == secSummary) break;
        index = 0;
        if (section == secGroupFooters)
            section = endOfData_ ? secSummary : secGroupHeaders;
        else
            ++section;
    }
}

bool TrpEngine::GenerateSection(int Section, int From, int To) {
    const std::vector<TrpCustomBand*> list = sections_[Section];
    bool full = false;
    bool movedToNextPage = false;
    int i = std::max(From, 0);
    const int end = To < 0 ? static_cast<int>(list.size()) : std::min(To, static_cast<int>(list.size()));
    for (; i < end; ++i) {
        TrpCustomBand* band = list[static_cast<std::size_t>(i)];
        currentBand_ = band;
        if (Section == section_) bandIndex_ = i;
        band->Generate();
        if (Halted()) return false;
        // A header kept with its group is not yet the body: the group may
        // still move to the next page.
        const auto* header = Section == secGroupHeaders ? dynamic_cast<TrpGroupHeaderBand*>(band) : nullptr;
        const bool heldApart = header != nullptr && header->Group() != nullptr && header->Group()->KeepTogether();
        if (band->SpaceUsed() >= 1 && Section > secColumnHeader && Section != secFooter &&
            Section != secColumnFooter && !heldApart)
            SetBodyStarted(true);
        if (Section == secGroupFooters && band->SpaceUsed() >= 1) footerPrintedOnPage_ = true;
        if (Section == secTitle && band->SpaceUsed() >= 1) titleOnPage_ = true;
        spaceUsed_ = std::max(spaceUsed_, printPosition_);
        if (band->OutOfSpace()) {
            full = true;
            const bool toNextPage = keepMark_ && keepMark_->ToNextPage;
            movedToNextPage = RollBackOnOverflow(Section) && toNextPage;
            break;
        }
        if (band == lastBand_ && endOfData_) reportComplete_ = true;
        rpProcessMessages();
    }
    if (Section == section_) bandIndex_ = full ? i : static_cast<int>(list.size());
    if (Section == secGroupHeaders && !full)
        SetBandState(BandState() - TrpEngineSections{TrpEngineSection::Title, TrpEngineSection::PageHeader,
                                                     TrpEngineSection::ColumnHeader});
    if (full && !BandState().Contains(TrpEngineSection::PageFooter) && !columnBand_) {
        // The page's top (its style, title and header) spans the columns:
        // a break there ends the page, never a column not yet begun. A
        // section's pages start after this page, not in its next column.
        if (topToBottom_ && Section >= secColumnHeader && !movedToNextPage && sectionSetup_ == nullptr)
            EndColumn();
        else
            EndPage();
        return false;
    }
    return !full;
}

// ---------------------------------------------------------------------------
// Page end

void TrpEngine::EndPage() {
    if (pageEnded_) return;
    pageEnded_ = true;
    TrpCustomReport* report = Report();
    // The page's last bands see the last record printed, not the next one.
    if (recordStepPending_ && (mainPipeline_ != nullptr || detailPipeline_ != nullptr)) {
        if (detailPipeline_ != nullptr)
            StepBack();
        else
            mainPipeline_->Prior();
        recordStepPending_ = false;
        reAdvancePending_ = true;
    }
    // The columns close at the page's foot; the page footer spans the page.
    if (topToBottom_ && columnsOpen_ && !GetColumnFooterPrinted(column_)) GenerateColumnFooter(column_);
    if (leftToRight_ && detailPrintedOnPage_)
        for (int c = 0; c < columnCount_ && !Halted(); ++c)
            if (!GetColumnFooterPrinted(c)) GenerateColumnFooter(c);
    if (Halted()) return;
    const TrpPageDef* def = Page()->PageDef();
    printLeft_ = def->mmMarginLeft();
    printRight_ = def->mmWidth() - def->mmMarginRight();
    if (!sectionPage_) {
        SetBandState(BandState() + TrpEngineSections{TrpEngineSection::PageFooter});
        TakeBackUnprintedRecord();
        GenerateSection(secFooter, 0);
        SetBandState(BandState() - TrpEngineSections{TrpEngineSection::PageFooter});
    }
    // A record not printed yet stays unprinted: a page that ends before it
    // prints (a group header whose page break ends the page holds nothing
    // of it) gives it back again, so it counts on the page it prints on.
    if (Halted()) return;
    if (endOfData_ && reportComplete_ && !pageCountKnown_) {
        pageCountKnown_ = true;
        SetAbsolutePageCount(AbsolutePageNo());
        SendEventNotify(this, rpevPageCountKnown, nullptr);
    }
    CheckProgress();
    if (Halted()) return;
    for (int i = 0; i < report->BandCount(); ++i) report->Bands(i)->EndOfSection();
    if (dynamic_cast<TrpSummaryBand*>(currentBand_) != nullptr)
        ExcludePrintState({TrpEnginePrintState::SummaryPrinting});
    if (OnCheckPageLimit) OnCheckPageLimit();
    if (PageLimitReached() && !pageCountKnown_) {
        // The limit is where the run ends: its page is the last.
        pageCountKnown_ = reportComplete_ = true;
        SetAbsolutePageCount(AbsolutePageNo());
        SendEventNotify(this, rpevPageCountKnown, nullptr);
    }
    if (pageCountKnown_ && AbsolutePageNo() == AbsolutePageCount() && pageIsFinal_) OmitLastPageBands();
    if (OnBeforeSendPage) OnBeforeSendPage();
    if (noData_ && report->NoDataBehaviors().Contains(ndBlankReport) &&
        report->NoDataBehaviors().Contains(ndMessageOnPage) && Page()->DrawCommandCount() > 0)
        AddNoDataMessage();
    StampPage();
    if (OnSendPage) OnSendPage();
    // Done: every page asked for is out.
    if (request_->PageSetting() == psSinglePage)
        done_ = done_ || (request_->PageRequested() <= AbsolutePageNo() && pageIsFinal_) || reportComplete_;
    else
        done_ = done_ || reportComplete_;
    if (OnEndPage) OnEndPage();
    SendEventNotify(this, rpevPageFinished, nullptr);
}

void TrpEngine::StampPage() {
    TrpCustomReport* report = Report();
    TrpPage* page = Page();
    page->SetAbsolutePageNo(AbsolutePageNo());
    page->SetAbsolutePageCount(AbsolutePageCount());
    page->SetPageNo(PageNo());
    page->SetPageCount(PageCount());
    // The pages of one group instance share their count: a page learns it
    // from the later pages of its own instance only.
    if (const TrpGroup* group = PageNumberingGroup(); group != nullptr && !sectionNumbers_) {
        page->SetControlGroupBreakNo(group->FirstPage());
        // The page header printed before the page knew whose numbers it
        // carries (the group that starts further down): every page number
        // text takes the numbers the page goes out with, the header's as
        // the footer's.
        page->RecalculateDrawCommands(nullptr);
    }
    page->SetDocumentName(page->PrinterSetup()->DocumentName());
    page->SetFirstPage(AbsolutePageNo() == 1);
    page->SetLanguageIndex(report->LanguageIndex());
    page->SetLastPage(reportComplete_ && pageCountKnown_ && AbsolutePageNo() == AbsolutePageCount());
    page->SetPassSetting(report->PassSetting());
    page->SetPrintDateTime(printDateTime_);
    page->SetFinal(report->PassSetting() != psTwoPass || report->ParentReport() != nullptr ||
                   (secondPass_ && pageIsFinal_));
    page->SetCalculation(!pageIsFinal_);
}

void TrpEngine::AddNoDataMessage() {
    TrpPage* page = Page();
    const TrpPageDef* def = page->PageDef();
    auto* text = new TrpDrawText(nullptr);
    const int32_t width = rpToMMThousandths(utScreenPixels, 0, nullptr, 110);
    const int32_t height = rpToMMThousandths(utScreenPixels, 1, nullptr, 18);
    text->SetText(rpLanguageText(1034));
    text->Font()->SetName("Arial");
    text->Font()->SetSize(12);
    text->Font()->SetColor(clBlack);
    text->SetTransparent(true);
    text->SetAlignment(taCenter);
    text->SetWidth(width);
    text->SetHeight(height);
    text->SetLeft(def->mmMarginLeft() + (def->PrintableWidth() - width) / 2);
    text->SetTop(def->mmMarginTop() + (spaceUsed_ - def->mmMarginTop() - height) / 2);
    bool showDialog = false;
    bool add = true;
    Report()->DoNoData(nullptr, showDialog, text, add);
    if (add)
        page->AddDrawCommand(text);
    else
        delete text;
    if (Report()->NoDataBehaviors().Contains(ndMessageDialog)) ShowNoDataDialog();
}

// ---------------------------------------------------------------------------
// Last page, progress, no data

void TrpEngine::OmitLastPageBands() {
    TrpPage* page = Page();
    auto omitted = [](const std::vector<TrpCustomBand*>& List, std::vector<TrpCustomBand*>& Into) {
        int32_t height = 0;
        for (TrpCustomBand* band : List) {
            auto* pageBand = dynamic_cast<TrpPageBand*>(band);
            if (pageBand == nullptr || pageBand->PrintOnLastPage() || !band->Visible()) continue;
            Into.push_back(band);
            height += band->mmHeight();
        }
        return height;
    };
    std::vector<TrpCustomBand*> gone;
    const int32_t headerHeight = omitted(sections_[secHeader], gone);
    const int32_t footerHeight = omitted(sections_[secFooter], gone);
    if (gone.empty()) return;
    auto bandOf = [](TrpDrawCommand* Command) -> TrpBand* {
        auto* component = dynamic_cast<TrpComponent*>(Command->ReportComponent);
        return component != nullptr ? component->Band() : nullptr;
    };
    bool headerPrinted = false;
    for (int i = page->DrawCommandCount() - 1; i >= 0; --i) {
        TrpBand* band = bandOf(page->DrawCommands(i));
        if (band == nullptr || std::find(gone.begin(), gone.end(), band) == gone.end()) continue;
        headerPrinted = headerPrinted || dynamic_cast<TrpHeaderBand*>(band) != nullptr;
        TrpDrawCommand* command = page->DrawCommands(i);
        page->RemoveDrawCommand(command);
        delete command;
    }
    for (int i = 0; i < page->DrawCommandCount(); ++i) {
        TrpDrawCommand* command = page->DrawCommands(i);
        TrpBand* band = bandOf(command);
        // The page's background stays with the page, not with the body.
        const bool stays = dynamic_cast<TrpTitleBand*>(band) != nullptr ||
                           dynamic_cast<TrpFooterBand*>(band) != nullptr ||
                           dynamic_cast<TrpPageStyle*>(band) != nullptr;
        if (dynamic_cast<TrpColumnFooterBand*>(band) != nullptr)
            command->SetTop(command->Top() + footerHeight);
        else if (!stays && headerPrinted)
            command->SetTop(command->Top() - headerHeight);
    }
}

std::uint32_t TrpEngine::ProgressMark() const {
    // Where the run stands: section, band, record and how far the band got.
    std::uint32_t mark = 2166136261u;
    auto mix = [&mark](std::int64_t Value) {
        mark ^= static_cast<std::uint32_t>(Value) ^ static_cast<std::uint32_t>(Value >> 32);
        mark *= 16777619u;
    };
    mix(section_);
    mix(bandIndex_);
    mix(mainPipeline_ != nullptr ? mainPipeline_->RecordIndex() : -1);
    mix(detailPipeline_ != nullptr ? detailPipeline_->RecordIndex() : -1);
    mix(endOfData_);
    if (currentBand_ != nullptr) {
        mix(currentBand_->CurrentLevel());
        mix(currentBand_->ObjectLimit());
        mix(currentBand_->PartialGeneration());
        mix(currentBand_->OverFlow());
    }
    return mark | 1u;
}

void TrpEngine::CheckProgress() {
    const std::uint32_t mark = ProgressMark();
    if (bodyStarted_ || reportComplete_ || mark != progressMark_) {
        stalledPages_ = 0;
        progressMark_ = mark;
        return;
    }
    // The fourth page in a row that left the run where it was.
    if (++stalledPages_ < 3) return;
    stalledPages_ = 0;
    Report()->HandlePrintError(EPrintError(
        Format("O relatório não avança: %d páginas seguidas terminaram sem imprimir o corpo.", {4})));
}

void TrpEngine::ShowNoDataDialog() {
    if (noDataDialogShown_) return;
    noDataDialogShown_ = true;
    TrpCustomReport* report = Report();
    std::unique_ptr<TrpCustomReportDialog> dialog(rpCreateDialog(TrpCustomNoDataDialog::StaticClassType(), nullptr));
    bool show = dialog != nullptr;
    bool add = false;
    report->DoNoData(dialog.get(), show, nullptr, add);
    if (dialog == nullptr || !show) return;
    dialog->SetReport(report);
    dialog->SetLanguageIndex(report->LanguageIndex());
    dialog->ShowModal();
}

// ---------------------------------------------------------------------------
// Columns

void TrpEngine::ResetColumns() {
    column_ = 0;
    columnEnded_ = false;
    const auto count = static_cast<std::size_t>(columnCount_ > 1 ? columnCount_ : 0);
    columnHeaderPrinted_.assign(count, false);
    columnFooterPrinted_.assign(count, false);
}

int32_t TrpEngine::ColumnWidth() const {
    const int32_t width = Report()->mmColumnWidth();
    if (width > 0) return width;
    return Page()->PageDef()->PrintableWidth() / std::max(columnCount_, 1);
}

int32_t TrpEngine::ColumnLeft(int Column) {
    TrpCustomReport* report = Report();
    const TrpPageDef* def = Page()->PageDef();
    if (report->StoredColumnPositions()->Count() == 0) return def->mmMarginLeft() + Column * ColumnWidth();
    const int32_t left = report->ColumnPosition(Column);
    if (left < 0) {
        report->HandlePrintError(EPrintError(rpFormatLanguageText(43, {Column + 1}) + "."));
        return def->mmMarginLeft();
    }
    return left;
}

bool TrpEngine::GetColumnHeaderPrinted(int Column) const {
    return Column >= 0 && Column < static_cast<int>(columnHeaderPrinted_.size()) &&
           columnHeaderPrinted_[static_cast<std::size_t>(Column)];
}

void TrpEngine::SetColumnHeaderPrinted(int Column, bool Value) {
    if (Column >= 0 && Column < static_cast<int>(columnHeaderPrinted_.size()))
        columnHeaderPrinted_[static_cast<std::size_t>(Column)] = Value;
}

bool TrpEngine::GetColumnFooterPrinted(int Column) const {
    return Column >= 0 && Column < static_cast<int>(columnFooterPrinted_.size()) &&
           columnFooterPrinted_[static_cast<std::size_t>(Column)];
}

void TrpEngine::SetColumnFooterPrinted(int Column, bool Value) {
    if (Column >= 0 && Column < static_cast<int>(columnFooterPrinted_.size()))
        columnFooterPrinted_[static_cast<std::size_t>(Column)] = Value;
}

int32_t TrpEngine::ColumnFooterBottom() const {
    int32_t bottom = PrintableBottom();
    for (TrpCustomBand* b : sections_[secFooter])
        if (b->Visible()) bottom -= b->mmHeight();
    return bottom;
}

void TrpEngine::GenerateColumnHeader(int Column, int32_t Top) {
    if (GetColumnHeaderPrinted(Column)) return;
    SetColumnHeaderPrinted(Column, true);
    TrpCustomReport* report = Report();
    report->FireEvent(report->OnStartColumn, rpevStartColumn);
    const int32_t left = printLeft_, position = printPosition_, right = printRight_, used = spaceUsed_;
    const int saved = column_;
    column_ = Column;
    printLeft_ = ColumnLeft(Column);
    printPosition_ = Top;
    SetBandState(BandState() + TrpEngineSections{TrpEngineSection::ColumnHeader});
    columnBand_ = true;
    GenerateSection(secColumnHeader, 0);
    columnBand_ = false;
    SetBandState(BandState() - TrpEngineSections{TrpEngineSection::ColumnHeader});
    const int32_t below = printPosition_;
    column_ = saved;
    printLeft_ = left;
    printRight_ = right;
    printPosition_ = position;
    spaceUsed_ = used;
    // Down the page the detail starts under its column's header.
    if (topToBottom_) {
        printPosition_ = below;
        spaceUsed_ = std::max(spaceUsed_, below);
    }
}

void TrpEngine::GenerateColumnFooter(int Column) {
    if (GetColumnFooterPrinted(Column)) return;
    SetColumnFooterPrinted(Column, true);
    TrpCustomReport* report = Report();
    const int32_t left = printLeft_, position = printPosition_, right = printRight_, used = spaceUsed_;
    const int saved = column_;
    column_ = Column;
    printLeft_ = ColumnLeft(Column);
    SetBandState(BandState() + TrpEngineSections{TrpEngineSection::ColumnFooter});
    // A column's footer closes what printed in it: down the page the
    // record left over goes to the next column or page, across the page
    // (every column's footer prints at the page's end) to the next page.
    TakeBackUnprintedRecord();
    columnBand_ = true;
    GenerateSection(secColumnFooter, 0);
    columnBand_ = false;
    SetBandState(BandState() - TrpEngineSections{TrpEngineSection::ColumnFooter});
    column_ = saved;
    printLeft_ = left;
    printRight_ = right;
    printPosition_ = position;
    spaceUsed_ = used;
    report->FireEvent(report->OnEndColumn, rpevEndColumn);
}

bool TrpEngine::StartColumn(int Column) {
    const TrpPageDef* def = Page()->PageDef();
    const int32_t pageRight = def->mmWidth() - def->mmMarginRight();
    const int32_t left = ColumnLeft(Column);
    if (Halted()) return false;
    // Without stored positions a column that passes the page's edge is not
    // used.
    if (Report()->StoredColumnPositions()->Count() == 0 && left + ColumnWidth() > pageRight) return false;
    column_ = Column;
    columnsOpen_ = true;
    columnBodyStarted_ = false;
    printLeft_ = left;
    printPosition_ = columnTop_;
    printRight_ = pageRight;
    GenerateColumnHeader(Column, columnTop_);
    // The groups going on repeat their headers in the new column.
    if (Column > 0) SetBandState(BandState() + TrpEngineSections{TrpEngineSection::ColumnHeader});
    return !Halted();
}

bool TrpEngine::EndColumn() {
    GenerateColumnFooter(column_);
    if (Halted()) return false;
    if (column_ + 1 < columnCount_) {
        // The record the full column left pending is the next column's first.
        if (StartColumn(column_ + 1)) {
            columnEnded_ = true;
            return true;
        }
        if (Halted()) return false;
    }
    EndPage();
    return false;
}
