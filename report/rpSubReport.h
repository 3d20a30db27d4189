#pragma once
// TrpSubReport: a component that holds a whole report of its own, a
// TrpChildReport with its own bands, pipelines and engine, and prints it
// inside the report that contains it. PrintBehavior says where the child's
// pages go: into the component's room on the parent's page, carrying on
// over the parent's pages without its title and summary (pbChild); into a
// box of the component's own size, cut there, or with TraverseAllData
// carried on in the box on the next pages (pbFixed); or as a section of
// whole pages of its own, on its own paper and with its own page numbers
// when ResetPageNo is set, between the parent's pages (pbSection).
// NewPrintJob splits the printer job around a section.
//
// The child engine makes one child page per call; while it does, its
// page-sent hook belongs to the subreport, which takes the page's draw
// commands and puts them on the parent's page at the component's place.
// The hook goes back to the child on every way out, errors included.
//
// State between parent pages: where the child run stands (running, page
// number and count, complete), the section bookkeeping and the stretchable's
// own state, in the 48-byte page record; the child's engine, bands and
// objects keep theirs in a cache of the subreport indexed by the parent's
// page, so that a parent page made again alone continues the child exactly
// where the whole run did.
//
// Drill-down: with a DrillDownComponent and ExpandAll off, a record's child
// prints only when the component's text for that record is among the
// expanded keys; clicking the component's draw command toggles its key and
// asks the main report to make its pages again.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Lists.h"
#include "report/rpStretchRTTI.h"
#include "report/rpRelatv.h"
#include "report/rpStretchable.h"

class TrpCacheManager;
class TrpChildReport;
class TrpCustomReport;
class TrpDrawCommand;
class TrpEngine;
class TrpOutlineSettings;
class TrpPrinterSetup;

class TrpSubReport : public TrpStretchable {
public:
    explicit TrpSubReport(TComponent* AOwner);
    ~TrpSubReport() override;
    FAT_CLASS(TrpSubReport)

    static constexpr int kSubReportRecordSize = 48;

    // The child report, made on first need once the band's report is known.
    TrpChildReport* Report();
    // The child report as it stands, nullptr when none was made yet.
    TrpChildReport* ChildReport() const { return report_; }
    // The previous child report's run is reset and unlinked.
    void SetReport(TrpChildReport* Value);

    TrpPrintBehaviorType PrintBehavior() const { return printBehavior_; }
    // pbSection is refused inside a region.
    void SetPrintBehavior(TrpPrintBehaviorType Value);
    bool NewPrintJob() const { return newPrintJob_; }
    // True makes the subreport a section.
    void SetNewPrintJob(bool Value);
    bool ParentPrinterSetup() const { return parentPrinterSetup_; }
    // True copies the main report's printer setup into the child report.
    void SetParentPrinterSetup(bool Value);
    // The child report found its printer setup changed away from the main
    // report's: it no longer follows it.
    void DropParentPrinterSetup() { parentPrinterSetup_ = false; }
    bool ResetPageNo() const { return resetPageNo_; }
    // Only a section numbers its own pages; for the others it is ignored.
    void SetResetPageNo(bool Value);
    bool TraverseAllData() const { return traverseAllData_; }
    void SetTraverseAllData(bool Value);
    bool ExpandAll() const { return expandAll_; }
    void SetExpandAll(bool Value);
    TrpComponent* DrillDownComponent() const { return drillDown_; }
    // Only for pbChild (clearing is always allowed); a component serves one
    // subreport of its band at a time.
    void SetDrillDownComponent(TrpComponent* Value);
    TrpOutlineSettings* OutlineSettings() const { return outlineSettings_.get(); }
    void SetOutlineSettings(TrpOutlineSettings* Value);

    // --- Drill-down ---
    const TStringList* ExpandedKeys() const { return expanded_.get(); }
    bool IsExpanded(const std::string& Key) const;
    // Adds the key when missing, removes it when present.
    void ToggleExpanded(const std::string& Key);
    // What a click on a drill-down draw command does: toggles its record's
    // key and has the main report's pages made again.
    void DrillDownClick(TrpDrawCommand* Command);

    // --- Child run, as the parent pages saw it ---
    bool ChildRunning() const { return childRunning_; }
    bool ChildComplete() const { return childComplete_; }
    // Child pages printed so far in this child run.
    int ChildPageCounter() const { return childPageCounter_; }

    void SetDataPipeline(TrpDataPipeline* Value) override;
    void ResolveDataPipelineName(TComponent* Owner) override;
    void SetBand(TrpBand* Value) override;
    void SetStretch(bool Value) override;
    void SetKeepTogether(bool Value) override;
    void SetShiftRelativeTo(TrpStretchable* Value) override;
    void SetParentWidth(bool Value) override;
    void SetRegion(TrpCustomRegion* Value) override;
    // "<caption>: <pipeline>", or the text of a report without data.
    std::string GetDescription() const override;
    bool HasColor() const override { return false; }
    bool HasFont() const override { return false; }
    bool IsPlainObject() const override { return false; }
    void LanguageChanged() override;
    void RenameDataField(TrpDataPipeline* Pipeline, const std::string& OldName, const std::string& NewName) override;
    void ReplaceDataPipeline(TrpDataPipeline* NewPipeline, const std::string& OldName) override;
    void AddDataPipelineToList(std::vector<TrpDataPipeline*>& List) const override;
    void ChangeOwner(TComponent* NewOwner) override;

    void StartRun() override;
    void Init() override;
    void ResetCache(int Page) override;
    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;
    void Draw(TrpPage* Page) override;
    void Notify(TrpCommunicator* Communicator, int Operation) override;
    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override;
    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;
    void DefineProperties(TFiler* Filer) override;
    void Loaded() override;

protected:
    void GenerateContent() override;

private:
    TrpEngine* ChildEngine() const;
    TrpEngine* ParentEngine() const;
    TrpCustomReport* MainReport() const;
    // The child's objects, in the order the cache keeps them.
    std::vector<TrpCacheable*> ChildCacheables() const;
    void ApplyParentPrinterSetup();
    void LinkChild();
    void UnlinkChild();
    void HookDrillDown(bool On);
    bool Collapsed() const;
    // One child page on a page of Width × Height without margins (or on
    // Setup's page when given); its commands wait for Draw.
    void GenerateChildPage(int32_t Width, int32_t Height, const TrpPrinterSetup* Setup);
    void StartChild();
    void GenerateInside();
    void GenerateFixed();
    void GenerateSection();
    void FreePending();
    void FillRecord(TrpCacheRecord& Record) const;

    TrpChildReport* report_ = nullptr;
    TrpPrintBehaviorType printBehavior_ = pbChild;
    bool newPrintJob_ = false;
    bool parentPrinterSetup_ = true;
    bool resetPageNo_ = true;
    bool traverseAllData_ = false;
    bool expandAll_ = false;
    TrpComponent* drillDown_ = nullptr;
    std::unique_ptr<TrpOutlineSettings> outlineSettings_;
    std::unique_ptr<TStringList> expanded_;
    std::unique_ptr<TrpCacheManager> childCache_;
    std::unique_ptr<TrpPrinterSetup> childSetup_;
    // The commands of the child page made last, until Draw places them.
    std::vector<TrpDrawCommand*> pending_;
    int32_t pendingLeft_ = 0;
    int32_t pendingTop_ = 0;

    bool childRunning_ = false;
    bool childComplete_ = false;
    bool childFinished_ = false;
    bool moreToPrint_ = false;
    int childPageNo_ = 0;
    int childPageCount_ = 0;
    int childPageCounter_ = 0;
    bool sectionStarted_ = false;
    bool sectionDone_ = false;
    // The parent page a section's first page follows, and the page count
    // of each section finished in this run (a second pass numbers its
    // pages "n of the section's count").
    int sectionFirstPage_ = 0;
    std::map<int, int> sectionCounts_;
};

// The subreport's scripting members: its published settings and the child
// report (Report, read only).
RP_TABLE_ADAPTER(TrsTrpSubReportRTTI, TrsTrpStretchableRTTI)

namespace report {
// The class and its scripting adapter.
void RegisterSubReportClasses();
void UnregisterSubReportClasses();
}  // namespace report
