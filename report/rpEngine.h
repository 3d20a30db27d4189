#pragma once
// TrpCustomEngine: the base of the generation engine a report owns. It
// holds the page under construction, the run's state sets and the hooks
// through which the report hears of page events. The page loop itself is
// the generation engine's.
#include <functional>
#include <memory>

#include "report/rpBand.h"
#include "report/rpCache.h"

class TrpCustomReport;
class TrpPage;

// The run's own state: passes and run control.
enum class TrpEngineState {
    Running,
    FirstPass,
    SecondPass,
    Complete,
    Stopping,
};
using TrpEngineStates = TSet<TrpEngineState>;

// What the engine prints now: a page band reprints its header, the title or
// the summary is printing, the last page was reached.
enum class TrpEnginePrintState {
    GroupStart,
    LastPageKnown,
    PageCountKnown,
    TitlePrinting,
    SummaryPrinting,
    GroupEnd,
};
using TrpEnginePrintStates = TSet<TrpEnginePrintState>;

// The sections the engine is generating now (its band state).
enum class TrpEngineSection {
    Title,
    Summary,
    PageHeader,
    PageFooter,
    ColumnHeader,
    ColumnFooter,
    GroupHeader,
    GroupFooter,
    Detail,
};
using TrpEngineSections = TSet<TrpEngineSection>;

// The section in which a band of that type flag generates.
TrpEngineSection rpSectionOf(TrpBandTypeFlag Flag);
// Whether any of a band's type flags names a section being generated.
bool rpBandGeneratesIn(TrpBandTypeFlags Flags, TrpEngineSections Sections);

class TrpEngine;

class TrpCustomEngine : public TrpCacheable {
public:
    explicit TrpCustomEngine(TrpCustomReport* Report);
    ~TrpCustomEngine() override;
    FAT_CLASS(TrpCustomEngine)

    TrpCustomReport* Report() const { return report_; }
    // The generation engine this is, or nullptr: what band engines and
    // components ask at every print, cheaper than a cast.
    virtual TrpEngine* AsGenerationEngine() { return nullptr; }
    // The page under construction (owned).
    TrpPage* Page() const { return page_.get(); }

    int AbsolutePageNo() const { return absolutePageNo_; }
    void SetAbsolutePageNo(int Value) { absolutePageNo_ = Value; }
    int AbsolutePageCount() const { return absolutePageCount_; }
    void SetAbsolutePageCount(int Value) { absolutePageCount_ = Value; }

    // The communicator's state flags, passed on by the report.
    using TrpCacheable::ExcludeState;
    using TrpCacheable::IncludeState;
    TrpEngineStates RunState() const { return state_; }
    void IncludeState(TrpEngineStates Flags) { state_ += Flags; }
    void ExcludeState(TrpEngineStates Flags) { state_ -= Flags; }
    TrpEnginePrintStates PrintState() const { return printState_; }
    void IncludePrintState(TrpEnginePrintStates Flags) { printState_ += Flags; }
    void ExcludePrintState(TrpEnginePrintStates Flags) { printState_ -= Flags; }
    // The engine sections generating now, against which a band's type
    // flags decide whether it keeps generating.
    TrpEngineSections BandState() const { return bandState_; }
    void SetBandState(TrpEngineSections Value) { bandState_ = Value; }

    bool Generating() const { return generating_; }
    void SetGenerating(bool Value);
    bool Stopped() const { return stop_; }
    void Stop() { stop_ = true; }
    // A new page loop starts unstopped.
    void ClearStop() { stop_ = false; }
    bool Cancelled() const { return cancelled_; }
    void SetCancelled(bool Value) { cancelled_ = Value; }
    bool SuppressErrors() const { return suppressErrors_; }
    void SetSuppressErrors(bool Value) { suppressErrors_ = Value; }
    bool PageLimitReached() const { return pageLimitReached_; }
    // Ends generation after the current page.
    void SetPageLimitReached() { pageLimitReached_ = true; }
    // Back to the state before a run.
    virtual void Reset();

    void SetPageDef(int32_t Width, int32_t Height, int32_t PrintableWidth, int32_t PrintableHeight);

    // Hooks, each called only when assigned.
    std::function<void()> OnEndPage;
    std::function<void()> OnBeforeSendPage;
    std::function<void(bool& Cached)> OnCacheQuery;
    std::function<void()> OnCheckPageLimit;
    std::function<void()> OnSendPage;
    std::function<void()> OnRestoreState;
    std::function<void()> OnResetCache;
    std::function<void()> OnSaveState;
    // Called when a run ends (generating goes from true to false).
    std::function<void()> OnGenerationEnded;

private:
    int absolutePageNo_ = 0;
    int absolutePageCount_ = 0;
    TrpEngineStates state_;
    TrpEnginePrintStates printState_;
    TrpEngineSections bandState_;
    bool stop_ = false;
    bool generating_ = false;
    bool pageLimitReached_ = false;
    bool suppressErrors_ = false;
    bool cancelled_ = false;
    std::unique_ptr<TrpPage> page_;
    int32_t pageDef_[4] = {0, 0, 0, 0};
    TrpCustomReport* report_;
};
