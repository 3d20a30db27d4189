#pragma once
// TrpGroup: splits the detail data of a report into runs sharing a break
// value. A group owns its header and footer bands, tells the engine whether
// it starts on a new page or column or keeps together, numbers the pages
// within it and fires the group events. Groups nest in the order of the
// report's group list, outermost first.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "report/rpCache.h"
#include "report/rpSettings.h"
#include "report/rpTypes.h"

class TrpCustomReport;
class TrpDataPipeline;
class TrpComponent;
class TrpGroupHeaderBand;
class TrpGroupFooterBand;
class TrpCustomBand;
class TrpCacheManager;

using TrpGetBreakValueEvent = std::function<void(TObject* Sender, std::string& BreakValue)>;

// Events a group sends.
enum : int {
    rpevBeforeGroupBreak = 28,
    rpevGroupHeaderBand = 29,
    rpevGroupFooterBand = 30,
    rpevGetBreakValue = 31,
    rpevGroupBreak = 68,
};

class TrpGroup : public TrpCacheable {
public:
    explicit TrpGroup(TComponent* AOwner);
    ~TrpGroup() override;
    FAT_CLASS(TrpGroup)

    static constexpr int kCacheRecordSize = 24;

    // --- Membership ---
    TrpCustomReport* Report() const { return report_; }
    // Leaves the old report with both bands, joins the new one with them.
    void SetReport(TrpCustomReport* Value);
    int GroupIndex() const;
    TrpGroupHeaderBand* HeaderBand() const { return header_; }
    TrpGroupFooterBand* FooterBand() const { return footer_; }
    void SetHeaderBand(TrpGroupHeaderBand* Value);
    void SetFooterBand(TrpGroupFooterBand* Value);
    // The text the group breaks on, as the band captions show it.
    std::string BreakText() const;
    // A band read from a stream takes the place of the one the group made.
    void AdoptBand(TrpGroupHeaderBand* Band);
    void AdoptBand(TrpGroupFooterBand* Band);
    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;
    // A header or footer band freed before the group.
    void BandGone(const TrpCustomBand* Band);
    std::string GetDescription() const;
    void UpdateBandCaptions();

    // --- Properties ---
    TrpBreakType BreakType() const { return breakType_; }
    // Only while the group has a report that is not printing.
    void SetBreakType(TrpBreakType Value);
    const std::string& BreakName() const { return breakName_; }
    void SetBreakName(const std::string& Value);
    void RenameBreakComponent(const std::string& OldName, const std::string& NewName);
    TrpComponent* BreakComponent();
    TrpDataPipeline* DataPipeline() const { return dataPipeline_; }
    void SetDataPipeline(TrpDataPipeline* Value);
    bool KeepTogether() const { return keepTogether_; }
    void SetKeepTogether(bool Value);
    bool NewPage() const { return newPage_; }
    void SetNewPage(bool Value);
    bool NewColumn() const { return newColumn_; }
    void SetNewColumn(bool Value);
    bool HeaderForOrphanedFooter() const { return headerForOrphanedFooter_; }
    void SetHeaderForOrphanedFooter(bool Value);
    bool ReprintOnSubsequentPage() const { return reprintOnSubsequentPage_; }
    void SetReprintOnSubsequentPage(bool Value);
    bool ReprintOnSubsequentColumn() const { return reprintOnSubsequentColumn_; }
    void SetReprintOnSubsequentColumn(bool Value);
    bool ResetPageNo() const { return resetPageNo_; }
    void SetResetPageNo(bool Value) { resetPageNo_ = Value; }
    int32_t mmNewPageThreshold() const { return mmNewPageThreshold_; }
    int32_t mmNewColumnThreshold() const { return mmNewColumnThreshold_; }
    float NewPageThreshold() const;
    void SetNewPageThreshold(float Value);
    float NewColumnThreshold() const;
    void SetNewColumnThreshold(float Value);
    TrpUnitType Units() const { return units_; }
    void SetUnits(TrpUnitType Value) { units_ = Value; }
    int GroupTag() const { return tag_; }
    void SetGroupTag(int Value) { tag_ = Value; }

    // --- Breaks ---
    std::string GetBreakValue();
    // The value the break source gives now (the field's text or the break
    // component's), before OnGetBreakValue and its scripted listeners: a
    // listener may read it without being called again.
    std::string CurrentValue();
    // The value of the last break check, and the one it was compared with.
    const std::string& BreakValue() const { return breakValue_; }
    const std::string& PriorValue() const { return previousBreakValue_; }
    // The engine calls this for each record; true on a break.
    bool CheckForBreak();
    // The group starts again with the groups around it: both bands print.
    void Restart();
    // After the group's state was put back from a page record, the value it
    // compares with is read again before the next record step.
    bool BreakValueStale() const { return breakValueStale_; }
    void RefreshBreakValue();
    bool BreakPending() const { return breakPending_; }
    int GroupInstance() const { return groupInstance_; }
    int FirstPage() const { return firstPage_; }
    void SetFirstPage(int Value) { firstPage_ = Value; }
    // The column the instance started in (the second run counter).
    int StartColumn() const { return secondCounter_; }
    void SetStartColumn(int Value) { secondCounter_ = Value; }
    int LastPage() const { return lastPage_; }
    void SetLastPage(int Value) { lastPage_ = Value; }
    bool KeptTogetherDone() const { return keptTogetherDone_; }
    void ResetLinkedCalcs();
    void DoBeforeGroupBreak();
    void DoAfterGroupBreak();

    // --- Generation, told by the group's bands ---
    // The header band begins a new instance of the group (its break).
    void BreakStarting(bool Continuing);
    // The header band prints the group's first page.
    void GroupStarted(int Page, int Column);
    // The header found no room on the page it started on after all: the
    // instance starts where it prints.
    void WithdrawStart();
    // The footer printed completely: the instance ends.
    void FooterPrinted();

    // --- Page numbers within the group ---
    bool IsFirstPage() const;
    int GroupPageNo() const;
    // The last page of the instance that started last: known once its
    // footer printed, in a second pass from the first.
    int GroupPageCount() const;

    // --- Keep together ---
    // The instance's state and page as they were before its header, kept
    // for the one move to the next page an instance is allowed.
    void StartKeepTogether();
    bool KeepTogetherSaved() const { return keepTogetherSaved_; }
    // Puts everything back as it was before the header; false when the
    // instance already had its retry (it then splits).
    bool RestoreKeepTogether();

    // --- Run and cache ---
    void StartRun();
    void AfterStartRun() {}
    void ResetCache(int Page) override;
    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;

    void ResolveDataPipelineName(TComponent* Owner);
    void ReplaceDataPipeline(const std::string& Name, TrpDataPipeline* Pipeline);
    void RenameDataField(const std::string& OldName, const std::string& NewName);
    void Convert(int Version);

    TNotifyEvent AfterGroupBreak;
    TNotifyEvent BeforeGroupBreak;
    TrpGetBreakValueEvent OnGetBreakValue;

    // --- Outline ---
    // Whether the group's instances become outline nodes (CreateNode).
    TrpOutlineSettings* OutlineSettings() const { return outlineSettings_.get(); }
    void SetOutlineSettings(TrpOutlineSettings* Value);
    // The caption of the instance's node: its break value.
    const std::string& OutlineCaption() const { return breakValue_; }
    // The name of the class that makes the group's nodes.
    static const char* OutlineNodeCreatorClassName() { return "TrpOutlineGroupNodeCreator"; }
    // What prints inside one instance of the group after its header, for
    // the outline to hang beneath the instance's node: the next group's
    // header band or, for the innermost group, the detail band and the
    // group's footer band, each followed by the subreports it holds. Made
    // anew from the report's bands on each call (bands and groups move in
    // the designer).
    const std::vector<TrpCommunicator*>& OutlineList();

    void Notify(TrpCommunicator* Communicator, int Operation) override;
    void ChangeOwner(TComponent* NewOwner) override;
    void IncludeState(std::uint16_t Flags) override;
    void ExcludeState(std::uint16_t Flags) override;
    void DefineProperties(TFiler* Filer) override;
    void Loaded() override;
    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* Value) override;

protected:
    bool AcceptsParent() const override { return false; }

private:
    bool IsReading() const;
    void ResetReportPrintState();
    bool Printing() const;
    TrpCustomReport* MainReport() const;
    // The engine's page cache, when it keeps one.
    TrpCacheManager* PageCache() const;

    std::unique_ptr<TrpOutlineSettings> outlineSettings_;
    std::vector<TrpCommunicator*> outlineList_;
    TrpComponent* breakComponent_ = nullptr;
    bool breakPending_ = false;
    int groupInstance_ = 0;
    TrpBreakType breakType_ = btDataField;
    std::string breakName_;
    std::string breakValue_;
    TrpDataPipeline* dataPipeline_ = nullptr;
    std::string dataPipelineName_;
    int firstPage_ = 1;
    int secondCounter_ = 1;
    bool breakValueStale_ = false;
    std::unique_ptr<TrpCacheManager> keepCache_;
    bool keepTogetherSaved_ = false;
    int lastPage_ = 1;
    // The first page and the footer's page (0 until it prints) of every
    // instance of the run. Not part of a page's record: a page made again
    // (in the second pass, or alone) numbers by the whole run's pages.
    std::map<int, std::pair<int, int>> instancePages_;
    // The instance whose header started last: the pages from its first on
    // are its own, a page shared with the instance before included.
    int startedInstance_ = 0;
    // What the last start replaced, for WithdrawStart.
    struct Start {
        int FirstPage, Column, Instance, InstanceFirst;
    } replaced_{1, 1, 0, 0};
    int LastOwnedPage(int Instance) const;
    TrpGroupFooterBand* footer_ = nullptr;
    TrpGroupHeaderBand* header_ = nullptr;
    bool headerForOrphanedFooter_ = true;
    bool keepTogether_ = false;
    bool keptTogetherDone_ = false;
    bool newColumn_ = false;
    bool newPage_ = false;
    int32_t mmNewColumnThreshold_ = 0;
    int32_t mmNewPageThreshold_ = 0;
    std::string previousBreakValue_;
    TrpCustomReport* report_ = nullptr;
    bool reprintOnSubsequentColumn_ = true;
    bool reprintOnSubsequentPage_ = true;
    bool resetPageNo_ = false;
    bool componentDirty_ = true;
    int tag_ = 0;
    TrpUnitType units_ = utInches;
    std::string legacyFieldName_;
    bool legacyReprint_ = true;
    bool destroying_ = false;
};
